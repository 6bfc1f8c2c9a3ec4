// The main window's command table and what is built from it: the menus, the tool bar, the
// texts of section "Main" of the language file and the routing of every command.
#include "shell/MainWindow.h"

#include "core/Options.h"
#include "core/ProgramContext.h"
#include "link/CommLink.h"
#include "link/MaintenanceMode.h"
#include "link/TransferEngine.h"
#include "platform/DialogTitle.h"
#include "platform/IniFile.h"
#include "platform/Paths.h"
#include "platform/PumpEvents.h"
#include "shell/OptionsWindow.h"
#include "ui/AboutBox.h"
#include "ui/CommSetupDialog.h"
#include "ui/FormActivation.h"
#include "ui/HelpViewer.h"
#include "ui/KeypadWindow.h"
#include "ui/MaintenanceDialog.h"
#include "ui/TransferCommands.h"

#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <algorithm>
#include <optional>

namespace {

using C = MainCommand;
using T = TableCommand;

// Where a command's menu item goes.
enum class Place { File, Parameter, MenuBar, Monitoring, Tools, Help, ToolBarOnly };

// What a command waits for before it runs (MainWindow::mayRun): nothing, the window being
// enabled (no monitor run), or also its menu item being enabled.
enum class Gate { None, Window, Item };

enum Flag : unsigned {
    Checkable = 1,       // item and button show a check mark
    Disabled = 2,        // until the drive's verdict or the command's own window
    Hidden = 4,          // the menu item is not shown
    MirrorSeparator = 8, // the separator before the item is shown only with the table
    Opener = 16,         // item and button open the table: enabled while it is not shown
};

// Object name, language key in section "Main" (none: the text never changes) and the
// English text.
struct Label {
    const char* name = nullptr;
    const char* key = nullptr;
    const char* text = nullptr;
};

// A tool button's picture: one of the style's, or a glyph in a tinted square.
struct Icon {
    QStyle::StandardPixmap standard = QStyle::SP_CustomBase;
    const char* glyph = nullptr;
    QRgb color = 0;
};
constexpr Icon standard(QStyle::StandardPixmap p) {
    return {p, nullptr, 0};
}
constexpr Icon glyph(const char* text, int r, int g, int b) {
    return {QStyle::SP_CustomBase, text, qRgb(r, g, b)};
}

// One command: its menu item, its tool button, its gate and what it does. A command with
// neither handler nor table command has no window yet and does nothing.
struct CommandRow {
    MainCommand command;
    Place place;
    const char* separatorBefore = nullptr; // object name of a separator before the item
    Label item;
    QKeySequence shortcut;
    Label button;
    Icon icon;
    Gate gate = Gate::None;
    void (MainWindow::*handler)() = nullptr;
    // The table command whose state the item and button follow; without a handler the
    // command is forwarded to the table window.
    std::optional<TableCommand> table;
    unsigned flags = 0;
};

// In the menus' order; every MainCommand has its row.
const CommandRow kCommands[] = {
    {.command = C::New,
     .place = Place::File,
     .item = {"ParaMakeNew", "Menu11", "New"},
     .shortcut = QKeySequence(Qt::CTRL | Qt::Key_N),
     .button = {"ToolBnew", "ToolB2", "New"},
     .icon = standard(QStyle::SP_FileIcon),
     .gate = Gate::Window,
     .handler = &MainWindow::newParameterSet},
    {.command = C::Open,
     .place = Place::File,
     .item = {"ParaOpen", "Menu12", "Open"},
     .shortcut = QKeySequence(Qt::CTRL | Qt::Key_O),
     .button = {"ToolBopen", "ToolB3", "Open"},
     .icon = standard(QStyle::SP_DialogOpenButton),
     .gate = Gate::Window,
     .handler = &MainWindow::openParameterFile},
    {.command = C::Save,
     .place = Place::File,
     .item = {"ParaSaveOverWrite", "Menu13", "Save"},
     .button = {"ToolBsav", "ToolB4", "Save"},
     .icon = standard(QStyle::SP_DialogSaveButton),
     .gate = Gate::Window,
     .handler = &MainWindow::saveParameterFile},
    {.command = C::SaveAs,
     .place = Place::File,
     .item = {"ParaSaveChangeName", "Menu14", "Save As"},
     .button = {"ToolBsavas", "ToolB5", "Save As"},
     .icon = glyph("S+", 60, 90, 200),
     .gate = Gate::Window,
     .handler = &MainWindow::saveParameterFileAs},
    {.command = C::PrinterSetup,
     .place = Place::File,
     .separatorBefore = "N5",
     .item = {"PrinterSetup", nullptr, "Printer Setup"},
     .handler = &MainWindow::printerSetup,
     .flags = Hidden},
    {.command = C::PageSetup,
     .place = Place::File,
     .item = {"PrintSetup", "Menu16", "Page Setup"},
     .button = {"ToolBprinter", "ToolB6", "Page Setup"},
     .icon = glyph("Pg", 110, 110, 110),
     .gate = Gate::Item,
     .handler = &MainWindow::pageSetup},
    {.command = C::Print,
     .place = Place::File,
     .item = {"Print", "Menu17", "Print"},
     .button = {"ToolBprint", "ToolB7", "Preview and Print"},
     .icon = glyph("Pr", 110, 110, 110),
     .gate = Gate::Item,
     .handler = &MainWindow::printParameters},
    {.command = C::CommSetup,
     .place = Place::File,
     .separatorBefore = "N6",
     .item = {"RS232C1", "Menu18", "RS-232C Setup"},
     .button = {"ToolBrs", "ToolB8", "RS-232C Setup"},
     .icon = glyph("RS", 0, 130, 130),
     .gate = Gate::Window,
     .handler = &MainWindow::communicationSetup},
    {.command = C::Exit,
     .place = Place::File,
     .separatorBefore = "N7",
     .item = {"ToolsEnd", "Menu19", "Exit"},
     .handler = &MainWindow::exitProgram},

    {.command = C::ParameterTable,
     .place = Place::Parameter,
     .item = {"ParameterEditor", "Menu21", "Parameter Table"},
     .button = {"ToolBTable", "ToolB9", "Parameter Table"},
     .icon = standard(QStyle::SP_FileDialogDetailedView),
     .gate = Gate::Item,
     .handler = &MainWindow::showParameterTable,
     .flags = Opener},
    {.command = C::Undo,
     .place = Place::Parameter,
     .separatorBefore = "N15",
     .item = {"PopUndo2", "Menu22", "Undo"},
     .shortcut = QKeySequence(Qt::CTRL | Qt::Key_Z),
     .button = {"ToolBundo", "ToolB10", "Undo"},
     .icon = standard(QStyle::SP_ArrowBack),
     .gate = Gate::Item,
     .handler = &MainWindow::undo,
     .table = T::Undo},
    {.command = C::Redo,
     .place = Place::Parameter,
     .item = {"PopRedo2", "Menu23", "Redo"},
     .shortcut = QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_Z),
     .button = {"ToolBredo", "ToolB11", "Redo"},
     .icon = standard(QStyle::SP_ArrowForward),
     .gate = Gate::Item,
     .handler = &MainWindow::redo,
     .table = T::Redo},
    {.command = C::Copy,
     .place = Place::Parameter,
     .separatorBefore = "N16",
     .item = {"PopCopy2", "Menu24", "Copy"},
     .shortcut = QKeySequence(Qt::CTRL | Qt::Key_C),
     .gate = Gate::Window,
     .table = T::Copy,
     .flags = MirrorSeparator},
    {.command = C::Import,
     .place = Place::Parameter,
     .separatorBefore = "N1",
     .item = {"DownLoad", "Menu25", "Parameter Import"},
     .button = {"ToolBpr", "ToolB12", "Parameter Import"},
     .icon = glyph("R", 40, 150, 60),
     .gate = Gate::Item,
     .handler = &MainWindow::importAll,
     .flags = MirrorSeparator | Disabled},
    {.command = C::Export,
     .place = Place::Parameter,
     .item = {"UpLoad", "Menu26", "Parameter Export"},
     .button = {"ToolBpw", "ToolB13", "Parameter Export"},
     .icon = glyph("W", 200, 90, 40),
     .gate = Gate::Item,
     .handler = &MainWindow::exportAll,
     .flags = Disabled},
    {.command = C::SelectedImport,
     .place = Place::Parameter,
     .separatorBefore = "N17",
     .item = {"PopDownLoad2", "Menu27", "Selected Parameter Import"},
     .shortcut = QKeySequence(Qt::Key_F3),
     .button = {"ToolBpsr", "ToolB14", "Selected Parameter Import"},
     .icon = glyph("r", 40, 150, 60),
     .gate = Gate::Item,
     .handler = &MainWindow::importSelected,
     .table = T::DownLoad},
    {.command = C::SelectedExport,
     .place = Place::Parameter,
     .item = {"PopUpLoad2", "Menu28", "Selected Parameter Export"},
     .shortcut = QKeySequence(Qt::Key_F2),
     .button = {"ToolBpsw", "ToolB15", "Selected Parameter Export"},
     .icon = glyph("w", 200, 90, 40),
     .gate = Gate::Item,
     .handler = &MainWindow::exportSelected,
     .table = T::UpLoad},
    {.command = C::Comparison,
     .place = Place::Parameter,
     .separatorBefore = "N20",
     .item = {"PopComp", "Menu2j", "Parameter Comparison"},
     .button = {"ToolBpcp", "ToolB21", "Parameter Comparison"},
     .icon = glyph("=", 120, 60, 160),
     .gate = Gate::Item,
     .handler = &MainWindow::compareAll,
     .flags = MirrorSeparator | Disabled},
    {.command = C::ChangedOnly,
     .place = Place::Parameter,
     .separatorBefore = "N18",
     .item = {"PopChgDisp2", "Menu29", "'Changed' Only"},
     .gate = Gate::Window,
     .table = T::ChgDisp,
     .flags = Checkable},
    {.command = C::CurrentVoltage,
     .place = Place::Parameter,
     .item = {"PopCVDisp2", "Menu2l", "Current/Voltage"},
     .button = {"ToolBCV", "ToolB24", "Current/Voltage"},
     .icon = glyph("CV", 200, 160, 0),
     .gate = Gate::Item,
     .table = T::CVDisp,
     .flags = Checkable},
    {.command = C::Quick,
     .place = Place::Parameter,
     .item = {"PopQuick2", "Menu2k", "Quick"},
     .button = {"ToolBQuick", "ToolB23", "Quick"},
     .icon = glyph("Q", 0, 120, 200),
     .gate = Gate::Item,
     .table = T::Quick,
     .flags = Checkable},
    {.command = C::Select,
     .place = Place::Parameter,
     .separatorBefore = "N22",
     .item = {"PopSlct2", "Menu2a", "Select"},
     .shortcut = QKeySequence(Qt::CTRL | Qt::Key_S),
     .gate = Gate::Window,
     .table = T::Slct},
    {.command = C::SelectClear,
     .place = Place::Parameter,
     .item = {"PopSlctUnlock2", "Menu2b", "Select Clear"},
     .shortcut = QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_S),
     .gate = Gate::Window,
     .table = T::SlctUnlock},
    {.command = C::Blind,
     .place = Place::Parameter,
     .item = {"PopBlind2", "Menu2c", "Blind"},
     .gate = Gate::Window,
     .table = T::Blind,
     .flags = Checkable},
    {.command = C::AllParameters,
     .place = Place::Parameter,
     .item = {"PopDisp2", "Menu2d", "All Parameters"},
     .gate = Gate::Item,
     .table = T::Disp},
    {.command = C::Hex,
     .place = Place::Parameter,
     .separatorBefore = "N23",
     .item = {"PopHexDisp2", "Menu2e", "Hex."},
     .gate = Gate::Window,
     .table = T::HexDisp,
     .flags = MirrorSeparator},
    {.command = C::Dec,
     .place = Place::Parameter,
     .item = {"PopDecDisp2", "Menu2f", "Dec."},
     .gate = Gate::Window,
     .table = T::DecDisp},
    {.command = C::Shipment,
     .place = Place::Parameter,
     .separatorBefore = "N19",
     .item = {"PopDef2", "Menu2g", "Shipment"},
     .gate = Gate::Window,
     .table = T::Def,
     .flags = MirrorSeparator},
    {.command = C::ParameterHelp,
     .place = Place::Parameter,
     .separatorBefore = "N4",
     .item = {"PopParaHelp2", "Menu2h", "Show Parameter Help"},
     .shortcut = QKeySequence(Qt::Key_F10),
     .gate = Gate::Item,
     .handler = &MainWindow::parameterHelp,
     .table = T::ParaHelp,
     .flags = MirrorSeparator},
    {.command = C::Find,
     .place = Place::Parameter,
     .separatorBefore = "N21",
     .item = {"PopFind2", "Menu2i", "Find"},
     .shortcut = QKeySequence(Qt::CTRL | Qt::Key_F),
     .button = {"ToolBfind", "ToolB16", "Find"},
     .icon = glyph("F", 90, 90, 90),
     .gate = Gate::Item,
     .table = T::Find,
     .flags = MirrorSeparator},

    {.command = C::KeyPad,
     .place = Place::MenuBar,
     .item = {"InvRun", "Menu3", "Key Pad"},
     .button = {"ToolBpanel", "ToolB17", "Key Pad"},
     .icon = glyph("K", 80, 80, 80),
     .gate = Gate::Item,
     .handler = &MainWindow::keyPad,
     .flags = Disabled},

    {.command = C::InverterInfo,
     .place = Place::Monitoring,
     .item = {"MonInvInfo", "Menu41", "Inverter Info."},
     .button = {"ToolBInvInfo", "ToolB22", "Inverter Information"},
     .icon = standard(QStyle::SP_MessageBoxInformation),
     .gate = Gate::Item,
     .handler = &MainWindow::inverterInformation,
     .flags = Disabled},
    {.command = C::MonitorChart,
     .place = Place::Monitoring,
     .item = {"MonChart", "Menu42", "Monitor"},
     .button = {"ToolBmon", "ToolB18", "Monitoring"},
     .icon = glyph("M", 0, 140, 70),
     .gate = Gate::Item,
     .handler = &MainWindow::monitorChart,
     .flags = Disabled},

    {.command = C::EnvironmentOptions,
     .place = Place::Tools,
     .item = {"MMItoolsSetting", "Menu51", "Environment Options"},
     .button = {"ToolBop", "ToolB19", "Environment Options"},
     .icon = glyph("O", 120, 120, 40),
     .gate = Gate::Window,
     .handler = &MainWindow::environmentOptions},
    {.command = C::MaintenanceMode,
     .place = Place::Tools,
     .item = {"MMIMt", "Menu52", "Maintenance Mode"},
     .gate = Gate::Window,
     .handler = &MainWindow::maintenanceMode,
     .flags = Hidden},

    {.command = C::HelpContents,
     .place = Place::Help,
     .item = {"MMItoolsHelp", "Menu61", "Contents"},
     .shortcut = QKeySequence(Qt::Key_F1),
     .button = {"ToolBhelp", "ToolB20", "Help"},
     .icon = glyph("?", 40, 90, 180),
     .handler = &MainWindow::helpContents},
    {.command = C::About,
     .place = Place::Help,
     .item = {"Version", "Menu62", "About"},
     .handler = &MainWindow::about},

    // Its image is the link's state (MainWindow::setLinkIcon).
    {.command = C::CommunicationCheck,
     .place = Place::ToolBarOnly,
     .button = {"ToolBline", "ToolB1", "Communication Check"},
     .gate = Gate::Window,
     .handler = &MainWindow::communicationCheck},
};
static_assert(std::size(kCommands) == kMainCommandCount);

const CommandRow* rowOf(MainCommand command) {
    const auto* row = std::find_if(std::begin(kCommands), std::end(kCommands),
                                   [command](const CommandRow& r) { return r.command == command; });
    return row == std::end(kCommands) ? nullptr : row;
}

// The menus of the menu bar; the Key Pad item sits between Parameter and Monitoring.
struct MenuRow {
    Place place;
    QMenu* MainWindow::*menu;
    Label title;
};
const MenuRow kMenus[] = {
    {Place::File, &MainWindow::fileMenu, {"FileMenu", "Menu1", "Files"}},
    {Place::Parameter, &MainWindow::parameterMenu, {"ParameterMenu", "Menu2", "Parameter"}},
    {Place::Monitoring, &MainWindow::monitoringMenu, {"Monitor", "Menu4", "Monitoring"}},
    {Place::Tools, &MainWindow::toolsMenu, {"option", "Menu5", "Tools"}},
    {Place::Help, &MainWindow::helpMenu, {"Help1", "Menu6", "Help"}},
};

// The tool bar from left to right: a command's button or a separator (named or not).
struct ToolSlot {
    MainCommand command;
    const char* separator = nullptr;
};
constexpr ToolSlot kSeparator{MainCommand::New, ""};
// The separator before the Quick button comes and goes with it.
constexpr ToolSlot kQuickSeparator{MainCommand::New, "ToolButton7"};
const ToolSlot kToolBar[] = {
    {C::CommunicationCheck},
    kSeparator,
    {C::New},
    {C::Open},
    {C::Save},
    {C::SaveAs},
    {C::PageSetup},
    {C::Print},
    {C::CommSetup},
    kSeparator,
    {C::ParameterTable},
    {C::Undo},
    {C::Redo},
    {C::Import},
    {C::Export},
    {C::SelectedImport},
    {C::SelectedExport},
    {C::Comparison},
    {C::Find},
    {C::CurrentVoltage},
    kQuickSeparator,
    {C::Quick},
    kSeparator,
    {C::KeyPad},
    kSeparator,
    {C::InverterInfo},
    {C::MonitorChart},
    kSeparator,
    {C::EnvironmentOptions},
    kSeparator,
    {C::HelpContents},
};

QIcon glyphIcon(const QString& glyph, const QColor& color) {
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(color.darker(150));
    p.setBrush(color.lighter(170));
    p.drawRoundedRect(QRectF(0.5, 0.5, 15, 15), 3, 3);
    QFont f = p.font();
    f.setPixelSize(glyph.size() > 1 ? 8 : 11);
    f.setBold(true);
    p.setFont(f);
    p.setPen(color.darker(200));
    p.drawText(QRect(0, 0, 16, 16), Qt::AlignCenter, glyph);
    return QIcon(pm);
}

bool runs(const CommandRow& row) {
    return row.handler || row.table;
}

} // namespace

// ---- Building ---------------------------------------------------------------------------------

void MainWindow::buildMenus() {
    QMenuBar* bar = menuBar();
    QMenu* menu = nullptr;
    std::optional<Place> place;
    for (const CommandRow& row : kCommands) {
        if (row.place == Place::ToolBarOnly)
            continue;
        if (row.place != place) {
            place = row.place;
            menu = nullptr;
            for (const MenuRow& m : kMenus) {
                if (m.place != row.place)
                    continue;
                menu = bar->addMenu(QString::fromLatin1(m.title.text));
                menu->setObjectName(QString::fromLatin1(m.title.name));
                this->*m.menu = menu;
            }
        }
        if (row.separatorBefore && menu) {
            QAction* s = menu->addSeparator();
            s->setObjectName(QString::fromLatin1(row.separatorBefore));
            if (row.flags & MirrorSeparator)
                tableCommands_.bindMirrorSeparator(s);
        }
        const QString text = QString::fromLatin1(row.item.text);
        // An entry of the menu bar itself belongs to the bar.
        QAction* a = menu ? new QAction(text, this) : bar->addAction(text);
        a->setObjectName(QString::fromLatin1(row.item.name));
        if (!row.shortcut.isEmpty()) {
            a->setShortcut(row.shortcut);
            // Works while the table (a window of its own) is active too.
            a->setShortcutContext(Qt::ApplicationShortcut);
        }
        if (runs(row))
            connect(a, &QAction::triggered, this, [this, c = row.command] { run(c); });
        if (menu)
            menu->addAction(a);
        a->setCheckable(row.flags & Checkable);
        if (row.flags & Hidden)
            a->setVisible(false);
        // The drive commands wait for the connection's verdict; commands whose windows this
        // program does not have yet are not offered.
        if (row.flags & Disabled)
            a->setEnabled(false);
        items_[std::size_t(row.command)] = a;
    }
}

void MainWindow::buildToolBar() {
    toolBar = addToolBar(QStringLiteral("ToolBar1"));
    toolBar->setObjectName(QStringLiteral("ToolBar1"));
    toolBar->setMovable(false);
    toolBar->setFloatable(false);
    toolBar->setIconSize(QSize(16, 16));
    toolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    // Every button has to fit the bar's fixed width.
    toolBar->setStyleSheet(QStringLiteral("QToolBar { spacing: 0px; padding: 0px; } "
                                          "QToolButton { padding: 1px; margin: 0px; }"));
    toolBar->toggleViewAction()->setEnabled(false);
    setContextMenuPolicy(Qt::NoContextMenu);

    for (const ToolSlot& slot : kToolBar) {
        if (slot.separator) {
            QAction* s = toolBar->addSeparator();
            if (*slot.separator) {
                s->setObjectName(QString::fromLatin1(slot.separator));
                quickSeparator = s;
            }
            continue;
        }
        const CommandRow* found = rowOf(slot.command);
        if (!found)
            continue;
        const CommandRow& row = *found;
        auto* a = new QAction(this);
        a->setObjectName(QString::fromLatin1(row.button.name));
        if (runs(row))
            connect(a, &QAction::triggered, this, [this, c = row.command] {
                // A tool button's command runs only while its menu item is enabled.
                if (const QAction* gate = item(c); gate && !gate->isEnabled())
                    return;
                run(c);
            });
        toolBar->addAction(a);
        if (row.icon.glyph)
            a->setIcon(glyphIcon(QString::fromLatin1(row.icon.glyph), QColor(row.icon.color)));
        else if (row.icon.standard != QStyle::SP_CustomBase)
            a->setIcon(style()->standardIcon(row.icon.standard));
        a->setCheckable(row.flags & Checkable);
        if (row.flags & Disabled)
            a->setEnabled(false);
        buttons_[std::size_t(row.command)] = a;
    }
}

void MainWindow::bindTableCommands() {
    TableCommands& c = tableCommands_;
    for (const CommandRow& row : kCommands) {
        QAction* itemAction = item(row.command);
        QAction* buttonAction = button(row.command);
        if (row.table) {
            c.bindMirrorItem(*row.table, itemAction);
            if (buttonAction)
                c.bindToolButton(*row.table, buttonAction);
        }
        if (row.flags & Opener) {
            c.bindOpener(itemAction);
            c.bindOpener(buttonAction);
        }
    }
    c.bindSeparatorOf(TableCommand::Quick, quickSeparator);
    // All Parameters is offered only once the Blind view is on.
    c.setEnabled(TableCommand::Disp, false);
}

// ---- Texts ------------------------------------------------------------------------------------

void MainWindow::ApplyMainTexts() {
    fileCommands_->updateFilters();
    const ProgramContext& context = context_;
    std::unique_ptr<IniFile> ini;
    if (!context.language.iniPath.isEmpty())
        ini = std::make_unique<IniFile>(Paths::resolvedOrAsGiven(context.language.iniPath));
    auto text = [&](const Label& label) {
        const QString d = QString::fromUtf8(label.text);
        return ini ? ini->readString(QStringLiteral("Main"), QString::fromLatin1(label.key), d) : d;
    };
    for (const MenuRow& m : kMenus)
        (this->*m.menu)->setTitle(text(m.title));
    for (const CommandRow& row : kCommands) {
        if (QAction* a = item(row.command); a && row.item.key)
            a->setText(text(row.item));
        if (QAction* b = button(row.command)) {
            const QString hint = text(row.button);
            b->setText(hint);
            b->setToolTip(hint);
        }
    }
    linkHint_ = button(MainCommand::CommunicationCheck)->toolTip();
    linkOffHint_ = text({"ToolBline", "ToolB1Off", "Not connected to the drive: a click connects again."});
    showLinkHint();
    fitHeightToBars();
}

// Read when asked: the first load runs before the main window's texts are applied.
DriveFileDialog MainWindow::missingFileDialog() const {
    if (context_.language.iniPath.isEmpty())
        return {};
    const IniFile ini(Paths::resolvedOrAsGiven(context_.language.iniPath));
    const QString section = QStringLiteral("Main");
    return {dialogTitle(ini.readString(section, QStringLiteral("ToolB3"), QStringLiteral("Open"))),
            ini.readString(section, QStringLiteral("OpenFile2"),
                           QStringLiteral("Inv Type Datas (*.inv)|*.inv|Inv Capa Datas (*.cap)|*.cap"))};
}

// ---- Routing ----------------------------------------------------------------------------------

bool MainWindow::mayRun(const QAction* gate) const {
    // While a monitor run holds the link the window is disabled; its shortcuts must not act.
    if (!isEnabled())
        return false;
    return !gate || gate->isEnabled();
}

void MainWindow::run(MainCommand command) {
    // A command that comes while the link waits for the drive (from the accessibility bus: the
    // user's own clicks wait for the end of the wait) runs after that wait, not inside it.
    if (link_) {
        const QPointer<MainWindow> self(this);
        link_->whenLineFree([self, command] {
            if (self)
                self->runNow(command);
        });
        return;
    }
    runNow(command);
}

void MainWindow::runNow(MainCommand command) {
    const CommandRow* found = rowOf(command);
    if (!found)
        return;
    const CommandRow& row = *found;
    if (row.gate == Gate::Window && !mayRun(nullptr))
        return;
    if (row.gate == Gate::Item && !mayRun(item(command)))
        return;
    if (row.handler)
        (this->*row.handler)();
    else if (row.table && table_)
        table_->runCommand(*row.table);
}

void MainWindow::newParameterSet() {
    fileCommands_->newParameterSet();
}
void MainWindow::openParameterFile() {
    fileCommands_->openParameterFile();
}
void MainWindow::saveParameterFile() {
    fileCommands_->saveParameterFile();
}
void MainWindow::saveParameterFileAs() {
    fileCommands_->saveParameterFileAs();
}

void MainWindow::exitProgram() {
    close();
}

void MainWindow::showParameterTable() {
    if (table_)
        table_->Show();
}

void MainWindow::undo() {
    if (table_)
        table_->runCommand(TableCommand::Undo);
    focusTableGrid();
}

void MainWindow::redo() {
    if (table_)
        table_->runCommand(TableCommand::Redo);
    focusTableGrid();
}

void MainWindow::importAll() {
    if (transfers_)
        transfers_->importAll();
}
void MainWindow::exportAll() {
    if (transfers_)
        transfers_->exportAll();
}
void MainWindow::compareAll() {
    if (transfers_)
        transfers_->compareAll();
}
void MainWindow::importSelected() {
    if (transfers_)
        transfers_->importSelected();
}
void MainWindow::exportSelected() {
    if (transfers_)
        transfers_->exportSelected();
}

void MainWindow::parameterHelp() {
    // F10 opens the help of the table's current parameter only when the table was the last
    // of the program's windows to be active.
    if (tableActive() && table_)
        table_->runCommand(TableCommand::ParaHelp);
}

void MainWindow::keyPad() {
    if (!link_)
        return;
    // Made on first use and kept: a child of this window, freed with it.
    if (!keypad_)
        keypad_ = new KeypadWindow(context_, options_, *link_, this);
    keypad_->exec();
}

KeypadWindow* MainWindow::keypadWindow() const {
    return keypad_;
}

void MainWindow::inverterInformation() {
    if (inverterInfo_)
        inverterInfo_();
}

void MainWindow::monitorChart() {
    if (monitorHooks_.show)
        monitorHooks_.show();
}

void MainWindow::environmentOptions() {
    if (optionsWindow_)
        optionsWindow_->exec();
}

void MainWindow::maintenanceMode() {
    if (!link_)
        return;
    MaintenanceMode mode(*link_, options_, context_);
    MaintenanceDialog dialog(mode, this);
    dialog.exec();
    PumpEvents();
    // After an unlock the table has the maintenance parameters too.
    if (mode.unlocked() && table_)
        table_->RefreshAll();
}

void MainWindow::about() {
    AboutBox box(context_, readMemoryStatus, this);
    box.exec();
}

void MainWindow::helpContents() {
    ProgramContext& context = context_;
    context.paths.helpFile =
        Paths::join(context.paths.programFolder,
                    QString::fromLatin1(kProductName) + "(" + context.language.suffix + ").chm");
    HelpViewer::displayTopic(context.paths.helpFile);
}

void MainWindow::FormHelp() {
    if (!context_.paths.helpFile.isEmpty())
        HelpViewer::displayTopic(context_.paths.helpFile);
}
