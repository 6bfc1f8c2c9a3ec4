#include "shell/MainWindow.h"
#include "core/ProgramFolder.h"

#include "core/Options.h"
#include "core/ParaFile.h"
#include "core/ParameterStore.h"
#include "core/ProgramContext.h"
#include "link/CommLink.h"
#include "link/TransferEngine.h"
#include "platform/IniFile.h"
#include "platform/Paths.h"
#include "platform/PumpEvents.h"
#include "shell/OptionsWindow.h"
#include "shell/StartUp.h"
#include "ui/CommSetupDialog.h"
#include "ui/HelpViewer.h"
#include "ui/KeypadWindow.h"
#include "ui/TransferCommands.h"

#include <QAbstractPrintDialog>
#include <QApplication>
#include <QCloseEvent>
#include <QColorDialog>
#include <QErrorMessage>
#include <QFileDialog>
#include <QFontDialog>
#include <QHash>
#include <QInputDialog>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QPrinterInfo>
#include <QProgressDialog>
#include <QStyle>
#include <QTextBrowser>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

namespace {

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

QIcon linkIconImage(LinkIcon icon) {
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor c = icon == LinkIcon::Failed ? QColor(220, 40, 40)
                     : icon == LinkIcon::Busy ? QColor(240, 200, 0)
                                              : QColor(40, 170, 60);
    p.setPen(c.darker(160));
    p.setBrush(c);
    p.drawEllipse(QRectF(2.5, 2.5, 11, 11));
    return QIcon(pm);
}

const QString kMain = QStringLiteral("Main");

} // namespace

// ---- MainWindow --------------------------------------------------------------------------------

MainWindow::MainWindow(ProgramContext& context, Options& options, CommLink* link, QWidget* parent)
    : QMainWindow(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                              Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      context_(context), options_(options), link_(link),
      fileCommands_(std::make_unique<FileCommands>(context, options, *this)),
      CommentsChk(fileCommands_->CommentsChk), CommentsBuff(fileCommands_->CommentsBuff),
      CFG_CNum(fileCommands_->CFG_CNum), CFG_Val(fileCommands_->CFG_Val) {
    setObjectName(QStringLiteral("Main"));
    setWindowTitle(QString::fromLatin1(kProductName));
    buildMenus();
    buildToolBar();
    bindTableCommands();
    setLinkIcon(LinkIcon::Idle);
    FormActivation::watch(this, [this] { FormActivate(); });
    // The table sets its flag when it becomes active; any other window but this one clears it.
    FormActivation::observe(this, [this](QWidget* w) {
        if (w != this && !qobject_cast<ParameterTableWindow*>(w))
            ParaTableAct = false;
    });
}

MainWindow::~MainWindow() {
    if (link_)
        link_->setView(nullptr);
    releaseStore();
}

void MainWindow::adoptStore(std::unique_ptr<ParameterStore> store) {
    context_.Parameters = store.get();
    store_ = std::move(store);
}

void MainWindow::releaseStore() {
    if (store_ && context_.Parameters == store_.get())
        context_.Parameters = nullptr;
    store_.reset();
}

QAction* MainWindow::item(QMenu* menu, const char* name, const QString& text, void (MainWindow::*handler)(),
                          const QKeySequence& shortcut) {
    auto* a = new QAction(text, this);
    a->setObjectName(QString::fromLatin1(name));
    if (!shortcut.isEmpty()) {
        a->setShortcut(shortcut);
        // Works while the table (a window of its own) is active too.
        a->setShortcutContext(Qt::ApplicationShortcut);
    }
    if (handler)
        connect(a, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
    if (menu)
        menu->addAction(a);
    else
        addAction(a);
    return a;
}

QAction* MainWindow::separator(QMenu* menu, const char* name) {
    QAction* s = menu->addSeparator();
    s->setObjectName(QString::fromLatin1(name));
    return s;
}

QAction* MainWindow::button(const char* name, void (MainWindow::*handler)(), QAction* gate) {
    auto* a = new QAction(this);
    a->setObjectName(QString::fromLatin1(name));
    if (handler)
        connect(a, &QAction::triggered, this, [this, handler, gate] {
            // A tool button's command runs only while its menu item is enabled.
            if (gate && !gate->isEnabled())
                return;
            (this->*handler)();
        });
    ToolBar1->addAction(a);
    return a;
}

void MainWindow::buildMenus() {
    QMenuBar* bar = menuBar();
    FileMenu = bar->addMenu(QStringLiteral("Files"));
    FileMenu->setObjectName(QStringLiteral("FileMenu"));
    ParaMakeNew = item(FileMenu, "ParaMakeNew", QStringLiteral("New"), &MainWindow::ParaMakeNewClick,
                       QKeySequence(Qt::CTRL | Qt::Key_N));
    ParaOpen = item(FileMenu, "ParaOpen", QStringLiteral("Open"), &MainWindow::ParaOpenClick,
                    QKeySequence(Qt::CTRL | Qt::Key_O));
    ParaSaveOverWrite =
        item(FileMenu, "ParaSaveOverWrite", QStringLiteral("Save"), &MainWindow::ParaSaveOverWriteClick);
    ParaSaveChangeName =
        item(FileMenu, "ParaSaveChangeName", QStringLiteral("Save As"), &MainWindow::ParaSaveChangeNameClick);
    separator(FileMenu, "N5");
    PrinterSetup = item(FileMenu, "PrinterSetup", QStringLiteral("Printer Setup"), nullptr);
    PrinterSetup->setVisible(false);
    PrintSetup = item(FileMenu, "PrintSetup", QStringLiteral("Page Setup"), nullptr);
    Print = item(FileMenu, "Print", QStringLiteral("Print"), nullptr);
    separator(FileMenu, "N6");
    RS232C1 = item(FileMenu, "RS232C1", QStringLiteral("RS-232C Setup"), &MainWindow::RS232C1Click);
    separator(FileMenu, "N7");
    ToolsEnd = item(FileMenu, "ToolsEnd", QStringLiteral("Exit"), &MainWindow::ToolsEndClick);

    ParameterMenu = bar->addMenu(QStringLiteral("Parameter"));
    ParameterMenu->setObjectName(QStringLiteral("ParameterMenu"));
    QMenu* m = ParameterMenu;
    ParameterEditor =
        item(m, "ParameterEditor", QStringLiteral("Parameter Table"), &MainWindow::ParameterEditorClick);
    separator(m, "N15");
    PopUndo2 = item(m, "PopUndo2", QStringLiteral("Undo"), &MainWindow::PopUndo2Click,
                    QKeySequence(Qt::CTRL | Qt::Key_Z));
    PopRedo2 = item(m, "PopRedo2", QStringLiteral("Redo"), &MainWindow::PopRedo2Click,
                    QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_Z));
    N16 = separator(m, "N16");
    PopCopy2 = item(m, "PopCopy2", QStringLiteral("Copy"), &MainWindow::PopCopy2Click,
                    QKeySequence(Qt::CTRL | Qt::Key_C));
    N1 = separator(m, "N1");
    DownLoad = item(m, "DownLoad", QStringLiteral("Parameter Import"), &MainWindow::DownLoadClick);
    UpLoad = item(m, "UpLoad", QStringLiteral("Parameter Export"), &MainWindow::UpLoadClick);
    separator(m, "N17");
    PopDownLoad2 = item(m, "PopDownLoad2", QStringLiteral("Selected Parameter Import"),
                        &MainWindow::PopDownLoad2Click, QKeySequence(Qt::Key_F3));
    PopUpLoad2 = item(m, "PopUpLoad2", QStringLiteral("Selected Parameter Export"),
                      &MainWindow::PopUpLoad2Click, QKeySequence(Qt::Key_F2));
    N20 = separator(m, "N20");
    PopComp = item(m, "PopComp", QStringLiteral("Parameter Comparison"), &MainWindow::PopCompClick);
    separator(m, "N18");
    PopChgDisp2 = item(m, "PopChgDisp2", QStringLiteral("'Changed' Only"), &MainWindow::PopChgDisp2Click);
    PopCVDisp2 = item(m, "PopCVDisp2", QStringLiteral("Current/Voltage"), &MainWindow::PopCVDisp2Click);
    PopQuick2 = item(m, "PopQuick2", QStringLiteral("Quick"), &MainWindow::PopQuick2Click);
    separator(m, "N22");
    PopSlct2 = item(m, "PopSlct2", QStringLiteral("Select"), &MainWindow::PopSlct2Click,
                    QKeySequence(Qt::CTRL | Qt::Key_S));
    PopSlctUnlock2 = item(m, "PopSlctUnlock2", QStringLiteral("Select Clear"),
                          &MainWindow::PopSlctUnlock2Click, QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_S));
    PopBlind2 = item(m, "PopBlind2", QStringLiteral("Blind"), &MainWindow::PopBlind2Click);
    PopDisp2 = item(m, "PopDisp2", QStringLiteral("All Parameters"), &MainWindow::PopDisp2Click);
    N23 = separator(m, "N23");
    PopHexDisp2 = item(m, "PopHexDisp2", QStringLiteral("Hex."), &MainWindow::PopHexDisp2Click);
    PopDecDisp2 = item(m, "PopDecDisp2", QStringLiteral("Dec."), &MainWindow::PopDecDisp2Click);
    N19 = separator(m, "N19");
    PopDef2 = item(m, "PopDef2", QStringLiteral("Shipment"), &MainWindow::PopDef2Click);
    N4 = separator(m, "N4");
    PopParaHelp2 = item(m, "PopParaHelp2", QStringLiteral("Show Parameter Help"),
                        &MainWindow::PopParaHelp2Click, QKeySequence(Qt::Key_F10));
    N21 = separator(m, "N21");
    PopFind2 = item(m, "PopFind2", QStringLiteral("Find"), &MainWindow::PopFind2Click,
                    QKeySequence(Qt::CTRL | Qt::Key_F));
    for (QAction* a : {PopChgDisp2, PopCVDisp2, PopQuick2, PopBlind2})
        a->setCheckable(true);

    InvRun = bar->addAction(QStringLiteral("Key Pad"));
    InvRun->setObjectName(QStringLiteral("InvRun"));
    connect(InvRun, &QAction::triggered, this, [this] { InvRunClick(); });

    Monitor = bar->addMenu(QStringLiteral("Monitoring"));
    Monitor->setObjectName(QStringLiteral("Monitor"));
    MonInvInfo = item(Monitor, "MonInvInfo", QStringLiteral("Inverter Info."), nullptr);
    MonChart = item(Monitor, "MonChart", QStringLiteral("Monitor"), nullptr);

    option = bar->addMenu(QStringLiteral("Tools"));
    option->setObjectName(QStringLiteral("option"));
    MMItoolsSetting = item(option, "MMItoolsSetting", QStringLiteral("Environment Options"),
                           &MainWindow::MMItoolsSettingClick);
    MMIMt = item(option, "MMIMt", QStringLiteral("Maintenance Mode"), nullptr);
    MMIMt->setVisible(false);

    Help1 = bar->addMenu(QStringLiteral("Help"));
    Help1->setObjectName(QStringLiteral("Help1"));
    MMItoolsHelp = item(Help1, "MMItoolsHelp", QStringLiteral("Contents"), &MainWindow::MMItoolsHelpClick,
                        QKeySequence(Qt::Key_F1));
    Version = item(Help1, "Version", QStringLiteral("About"), nullptr);

    // The drive commands wait for the connection's verdict; commands whose windows this
    // program does not have yet are not offered.
    for (QAction* a : {PrinterSetup, PrintSetup, Print, DownLoad, UpLoad, PopComp, InvRun, MonInvInfo,
                       MonChart, MMIMt, Version})
        a->setEnabled(false);
}

void MainWindow::buildToolBar() {
    ToolBar1 = addToolBar(QStringLiteral("ToolBar1"));
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setMovable(false);
    ToolBar1->setFloatable(false);
    ToolBar1->setIconSize(QSize(16, 16));
    ToolBar1->setToolButtonStyle(Qt::ToolButtonIconOnly);
    // Every button has to fit the bar's fixed width.
    ToolBar1->setStyleSheet(QStringLiteral("QToolBar { spacing: 0px; padding: 0px; } "
                                           "QToolButton { padding: 1px; margin: 0px; }"));
    ToolBar1->toggleViewAction()->setEnabled(false);
    setContextMenuPolicy(Qt::NoContextMenu);

    QStyle* st = style();
    ToolBline = button("ToolBline", &MainWindow::ToolBlineClick, nullptr);
    ToolBar1->addSeparator();
    ToolBnew = button("ToolBnew", &MainWindow::ParaMakeNewClick, ParaMakeNew);
    ToolBnew->setIcon(st->standardIcon(QStyle::SP_FileIcon));
    ToolBopen = button("ToolBopen", &MainWindow::ParaOpenClick, ParaOpen);
    ToolBopen->setIcon(st->standardIcon(QStyle::SP_DialogOpenButton));
    ToolBsav = button("ToolBsav", &MainWindow::ParaSaveOverWriteClick, ParaSaveOverWrite);
    ToolBsav->setIcon(st->standardIcon(QStyle::SP_DialogSaveButton));
    ToolBsavas = button("ToolBsavas", &MainWindow::ParaSaveChangeNameClick, ParaSaveChangeName);
    ToolBsavas->setIcon(glyphIcon(QStringLiteral("S+"), QColor(60, 90, 200)));
    ToolBprinter = button("ToolBprinter", nullptr, PrintSetup);
    ToolBprinter->setIcon(glyphIcon(QStringLiteral("Pg"), QColor(110, 110, 110)));
    ToolBprint = button("ToolBprint", nullptr, Print);
    ToolBprint->setIcon(glyphIcon(QStringLiteral("Pr"), QColor(110, 110, 110)));
    ToolBrs = button("ToolBrs", &MainWindow::RS232C1Click, nullptr);
    ToolBrs->setIcon(glyphIcon(QStringLiteral("RS"), QColor(0, 130, 130)));
    ToolBar1->addSeparator();
    ToolBTable = button("ToolBTable", &MainWindow::ParameterEditorClick, ParameterEditor);
    ToolBTable->setIcon(st->standardIcon(QStyle::SP_FileDialogDetailedView));
    ToolBundo = button("ToolBundo", &MainWindow::PopUndo2Click, nullptr);
    ToolBundo->setIcon(st->standardIcon(QStyle::SP_ArrowBack));
    ToolBredo = button("ToolBredo", &MainWindow::PopRedo2Click, nullptr);
    ToolBredo->setIcon(st->standardIcon(QStyle::SP_ArrowForward));
    ToolBpr = button("ToolBpr", &MainWindow::DownLoadClick, DownLoad);
    ToolBpr->setIcon(glyphIcon(QStringLiteral("R"), QColor(40, 150, 60)));
    ToolBpw = button("ToolBpw", &MainWindow::UpLoadClick, UpLoad);
    ToolBpw->setIcon(glyphIcon(QStringLiteral("W"), QColor(200, 90, 40)));
    ToolBpsr = button("ToolBpsr", &MainWindow::PopDownLoad2Click, nullptr);
    ToolBpsr->setIcon(glyphIcon(QStringLiteral("r"), QColor(40, 150, 60)));
    ToolBpsw = button("ToolBpsw", &MainWindow::PopUpLoad2Click, nullptr);
    ToolBpsw->setIcon(glyphIcon(QStringLiteral("w"), QColor(200, 90, 40)));
    ToolBpcp = button("ToolBpcp", &MainWindow::PopCompClick, PopComp);
    ToolBpcp->setIcon(glyphIcon(QStringLiteral("="), QColor(120, 60, 160)));
    ToolBfind = button("ToolBfind", &MainWindow::PopFind2Click, nullptr);
    ToolBfind->setIcon(glyphIcon(QStringLiteral("F"), QColor(90, 90, 90)));
    ToolBCV = button("ToolBCV", &MainWindow::PopCVDisp2Click, nullptr);
    ToolBCV->setIcon(glyphIcon(QStringLiteral("CV"), QColor(200, 160, 0)));
    ToolBCV->setCheckable(true);
    ToolButton7 = ToolBar1->addSeparator();
    ToolButton7->setObjectName(QStringLiteral("ToolButton7"));
    ToolBQuick = button("ToolBQuick", &MainWindow::PopQuick2Click, nullptr);
    ToolBQuick->setIcon(glyphIcon(QStringLiteral("Q"), QColor(0, 120, 200)));
    ToolBQuick->setCheckable(true);
    ToolBar1->addSeparator();
    ToolBpanel = button("ToolBpanel", &MainWindow::InvRunClick, InvRun);
    ToolBpanel->setIcon(glyphIcon(QStringLiteral("K"), QColor(80, 80, 80)));
    ToolBar1->addSeparator();
    ToolBInvInfo = button("ToolBInvInfo", nullptr, MonInvInfo);
    ToolBInvInfo->setIcon(st->standardIcon(QStyle::SP_MessageBoxInformation));
    ToolBmon = button("ToolBmon", nullptr, MonChart);
    ToolBmon->setIcon(glyphIcon(QStringLiteral("M"), QColor(0, 140, 70)));
    ToolBar1->addSeparator();
    ToolBop = button("ToolBop", &MainWindow::MMItoolsSettingClick, nullptr);
    ToolBop->setIcon(glyphIcon(QStringLiteral("O"), QColor(120, 120, 40)));
    ToolBar1->addSeparator();
    ToolBhelp = button("ToolBhelp", &MainWindow::MMItoolsHelpClick, nullptr);
    ToolBhelp->setIcon(glyphIcon(QStringLiteral("?"), QColor(40, 90, 180)));

    // Their tool buttons likewise.
    for (QAction* a :
         {ToolBprinter, ToolBprint, ToolBpr, ToolBpw, ToolBpcp, ToolBpanel, ToolBInvInfo, ToolBmon})
        a->setEnabled(false);
}

void MainWindow::bindTableCommands() {
    TableCommands& c = tableCommands_;
    const std::pair<TableCommand, QAction*> mirrors[] = {
        {TableCommand::Undo, PopUndo2},       {TableCommand::Redo, PopRedo2},
        {TableCommand::Copy, PopCopy2},       {TableCommand::DownLoad, PopDownLoad2},
        {TableCommand::UpLoad, PopUpLoad2},   {TableCommand::ChgDisp, PopChgDisp2},
        {TableCommand::CVDisp, PopCVDisp2},   {TableCommand::Quick, PopQuick2},
        {TableCommand::Slct, PopSlct2},       {TableCommand::SlctUnlock, PopSlctUnlock2},
        {TableCommand::Blind, PopBlind2},     {TableCommand::Disp, PopDisp2},
        {TableCommand::HexDisp, PopHexDisp2}, {TableCommand::DecDisp, PopDecDisp2},
        {TableCommand::Def, PopDef2},         {TableCommand::ParaHelp, PopParaHelp2},
        {TableCommand::Find, PopFind2},
    };
    for (const auto& [command, action] : mirrors)
        c.bindMirrorItem(command, action);
    const std::pair<TableCommand, QAction*> buttons[] = {
        {TableCommand::Undo, ToolBundo},  {TableCommand::Redo, ToolBredo}, {TableCommand::DownLoad, ToolBpsr},
        {TableCommand::UpLoad, ToolBpsw}, {TableCommand::CVDisp, ToolBCV}, {TableCommand::Quick, ToolBQuick},
        {TableCommand::Find, ToolBfind},
    };
    for (const auto& [command, action] : buttons)
        c.bindToolButton(command, action);
    for (QAction* s : {N16, N1, N20, N23, N19, N4, N21})
        c.bindMirrorSeparator(s);
    c.bindSeparatorOf(TableCommand::Quick, ToolButton7);
    c.bindOpener(ParameterEditor);
    c.bindOpener(ToolBTable);
    // All Parameters is offered only once the Blind view is on.
    c.setEnabled(TableCommand::Disp, false);
}

// ---- Start-up and shut-down ---------------------------------------------------------------

void MainWindow::FormCreate(const QString& fileArgument, const QString& programFileFolder) {
    move(0, 0);
    const int height = menuBar()->sizeHint().height() + ToolBar1->sizeHint().height();
    setMinimumWidth(639);
    resize(639, height);
    setFixedHeight(height);
    if (fileArgument.isEmpty())
        StartUp::NormalStart(*this);
    else
        StartUp::FileArgumentStart(*this, fileArgument, programFileFolder);
}

void MainWindow::showEvent(QShowEvent* e) {
    QMainWindow::showEvent(e);
    if (!shown_ && !e->spontaneous()) {
        shown_ = true;
        FormShow();
    }
}

void MainWindow::FormShow() {
    if (context_.StartupAbort)
        return;
    ApplyMainTexts();
    FillPrinterList();
    UpdateCurrentVoltageCommands();
    ApplyQuickSetting();
    SetHelpFileName();
    // Its command comes with maintenance mode; the item stays disabled until then.
    MMIMt->setVisible(true);
    // A file given at start-up keeps its comment for the next save.
    if (CommentsChk)
        PrintSetComment = CommentsBuff;
    if (table.Show)
        table.Show();
    DrvChkAct = true;
    StartUp = true;
    AssOp = false;
}

void MainWindow::FormActivate() {
    // A transfer command's own windows activate this one in passing; the command has made its
    // checks and must not be reconnected under its feet.
    if (TransferCommands::running())
        return;
    CheckSpSetup();
}

void MainWindow::CheckSpSetup() {
    if (specialSetupCheck)
        specialSetupCheck();
}

bool MainWindow::FormCloseQuery() const {
    // Closing in the middle of a transfer would free the windows and the link it is running on
    // and leave the drive half written.
    return context_.MonitorRunning == 0 && !(transfers && transfers->job().active) &&
           !TransferCommands::running();
}

void MainWindow::FormClose() {
    ProgramFolder::StoreSavedPaths(context_);
    // The options are kept at every close, not only when their window was closed: the
    // start-up form reads "CheckLang" and "CheckInv" from the file, and without them the next
    // start would not offer the language and drive chosen this time.
    options_.saveSettings();
    if (link_ && link_->PortOpen())
        link_->closePort();
    HelpViewer::closeAll();
}

void MainWindow::closeEvent(QCloseEvent* e) {
    if (!FormCloseQuery()) {
        e->ignore();
        return;
    }
    FormClose();
    e->accept();
    // The table and other windows of their own would otherwise keep the program running.
    QCoreApplication::quit();
}

// ---- Routines of the first show -----------------------------------------------------------

void MainWindow::ApplyMainTexts() {
    fileCommands_->updateFilters();
    const ProgramContext& g = context_;
    std::unique_ptr<IniFile> ini;
    if (!g.LanguageIniPath.isEmpty())
        ini = std::make_unique<IniFile>(Paths::resolvedOrAsGiven(g.LanguageIniPath));
    auto text = [&](const char* key, const char* def) {
        const QString d = QString::fromUtf8(def);
        return ini ? ini->readString(kMain, QString::fromLatin1(key), d) : d;
    };
    openDialog2Filter_ = text("OpenFile2", "Inv Type Datas (*.inv)|*.inv|Inv Capa Datas (*.cap)|*.cap");
    openDialog2Title_ = text("ToolB3", "Open");

    struct MenuText {
        QMenu* menu;
        const char* key;
        const char* def;
    };
    for (const MenuText& t :
         {MenuText{FileMenu, "Menu1", "Files"}, MenuText{ParameterMenu, "Menu2", "Parameter"},
          MenuText{Monitor, "Menu4", "Monitoring"}, MenuText{option, "Menu5", "Tools"},
          MenuText{Help1, "Menu6", "Help"}})
        t.menu->setTitle(text(t.key, t.def));
    InvRun->setText(text("Menu3", "Key Pad"));

    struct ItemText {
        QAction* action;
        const char* key;
        const char* def;
    };
    const ItemText items[] = {
        {ParaMakeNew, "Menu11", "New"},
        {ParaOpen, "Menu12", "Open"},
        {ParaSaveOverWrite, "Menu13", "Save"},
        {ParaSaveChangeName, "Menu14", "Save As"},
        {PrintSetup, "Menu16", "Page Setup"},
        {Print, "Menu17", "Print"},
        {RS232C1, "Menu18", "RS-232C Setup"},
        {ToolsEnd, "Menu19", "Exit"},
        {ParameterEditor, "Menu21", "Parameter Table"},
        {PopUndo2, "Menu22", "Undo"},
        {PopRedo2, "Menu23", "Redo"},
        {PopCopy2, "Menu24", "Copy"},
        {DownLoad, "Menu25", "Parameter Import"},
        {UpLoad, "Menu26", "Parameter Export"},
        {PopDownLoad2, "Menu27", "Selected Parameter Import"},
        {PopUpLoad2, "Menu28", "Selected Parameter Export"},
        {PopComp, "Menu2j", "Parameter Comparison"},
        {PopChgDisp2, "Menu29", "'Changed' Only"},
        {PopCVDisp2, "Menu2l", "Current/Voltage"},
        {PopQuick2, "Menu2k", "Quick"},
        {PopSlct2, "Menu2a", "Select"},
        {PopSlctUnlock2, "Menu2b", "Select Clear"},
        {PopBlind2, "Menu2c", "Blind"},
        {PopDisp2, "Menu2d", "All Parameters"},
        {PopHexDisp2, "Menu2e", "Hex."},
        {PopDecDisp2, "Menu2f", "Dec."},
        {PopDef2, "Menu2g", "Shipment"},
        {PopParaHelp2, "Menu2h", "Show Parameter Help"},
        {PopFind2, "Menu2i", "Find"},
        {MonInvInfo, "Menu41", "Inverter Info."},
        {MonChart, "Menu42", "Monitor"},
        {MMItoolsSetting, "Menu51", "Environment Options"},
        {MMIMt, "Menu52", "Maintenance Mode"},
        {MMItoolsHelp, "Menu61", "Contents"},
        {Version, "Menu62", "About"},
    };
    for (const ItemText& t : items)
        t.action->setText(text(t.key, t.def));

    const ItemText hints[] = {
        {ToolBline, "ToolB1", "Communication Check"},
        {ToolBnew, "ToolB2", "New"},
        {ToolBopen, "ToolB3", "Open"},
        {ToolBsav, "ToolB4", "Save"},
        {ToolBsavas, "ToolB5", "Save As"},
        {ToolBprinter, "ToolB6", "Page Setup"},
        {ToolBprint, "ToolB7", "Preview and Print"},
        {ToolBrs, "ToolB8", "RS-232C Setup"},
        {ToolBTable, "ToolB9", "Parameter Table"},
        {ToolBundo, "ToolB10", "Undo"},
        {ToolBredo, "ToolB11", "Redo"},
        {ToolBpr, "ToolB12", "Parameter Import"},
        {ToolBpw, "ToolB13", "Parameter Export"},
        {ToolBpsr, "ToolB14", "Selected Parameter Import"},
        {ToolBpsw, "ToolB15", "Selected Parameter Export"},
        {ToolBfind, "ToolB16", "Find"},
        {ToolBpanel, "ToolB17", "Key Pad"},
        {ToolBmon, "ToolB18", "Monitoring"},
        {ToolBop, "ToolB19", "Environment Options"},
        {ToolBhelp, "ToolB20", "Help"},
        {ToolBpcp, "ToolB21", "Parameter Comparison"},
        {ToolBInvInfo, "ToolB22", "Inverter Infomation"},
        {ToolBQuick, "ToolB23", "Quick"},
        {ToolBCV, "ToolB24", "Current/Voltage"},
    };
    for (const ItemText& t : hints) {
        const QString hint = text(t.key, t.def);
        t.action->setText(hint);
        t.action->setToolTip(hint);
    }
}

void MainWindow::FillPrinterList() {
    if (!options_.PrinterChk.checked())
        return;
    cbPrinter.clear();
    const QStringList names = QPrinterInfo::availablePrinterNames();
    for (const QString& n : names) {
        const int dot = n.indexOf(u'.');
        cbPrinter << (dot >= 0 ? n.left(dot) : n);
    }
    // The print commands come with the printing windows; until then they stay disabled
    // whether a printer exists or not.
}

void MainWindow::UpdateCurrentVoltageCommands() {
    tableCommands_.setEnabled(TableCommand::CVDisp, !context_.ListBuff.isEmpty());
}

void MainWindow::ApplyQuickSetting() {
    const QString& info = context_.InfoIniPath;
    QuickSetting = info.isEmpty() ? 0
                                  : IniFile(Paths::resolvedOrAsGiven(info))
                                        .readInteger(QStringLiteral("Setup"), QStringLiteral("Quick"), 0);
    tableCommands_.setVisible(TableCommand::Quick, QuickSetting > 0);
}

void MainWindow::SetHelpFileName() {
    ProgramContext& g = context_;
    const QString ext = options_.WinHelpSlct.checked() ? QStringLiteral(").hlp") : QStringLiteral(").chm");
    g.ParaHelpFilePath = Paths::join(g.TypeFolder, g.DriveTypeName + "(" + g.LanguageSuffix + ext);
    tableCommands_.setEnabled(TableCommand::ParaHelp,
                              !g.TypeFolder.isEmpty() && Paths::exists(g.ParaHelpFilePath));
}

// ---- Commands -----------------------------------------------------------------------------

bool MainWindow::mayRun(const QAction* gate) const {
    // While a monitor run holds the link the window is disabled; its shortcuts must not act.
    if (!isEnabled())
        return false;
    return !gate || gate->isEnabled();
}

void MainWindow::forward(const QAction* gate, const std::function<void()>& handler) {
    if (mayRun(gate) && handler)
        handler();
}

void MainWindow::ParaMakeNewClick() {
    if (mayRun(nullptr))
        fileCommands_->ParaMakeNewClick();
}
void MainWindow::ParaOpenClick() {
    if (mayRun(nullptr))
        fileCommands_->ParaOpenClick();
}
void MainWindow::ParaSaveOverWriteClick() {
    if (mayRun(nullptr))
        fileCommands_->ParaSaveOverWriteClick();
}
void MainWindow::ParaSaveChangeNameClick() {
    if (mayRun(nullptr))
        fileCommands_->ParaSaveChangeNameClick();
}

void MainWindow::connectAgain() {
    PumpEvents();
    if (link_) {
        link_->PortMsgShown = false;
        link_->ConnectDrive();
    }
}

void MainWindow::RS232C1Click() {
    if (!mayRun(nullptr) || !RSset)
        return;
    RSset->exec();
    connectAgain();
}

void MainWindow::ToolBlineClick() {
    if (!mayRun(nullptr))
        return;
    if (!link_ || link_->ConnectDrive())
        return;
    if (RSset)
        RSset->exec();
    connectAgain();
}

void MainWindow::ToolsEndClick() {
    close();
}

void MainWindow::ParameterEditorClick() {
    forward(ParameterEditor, table.Show);
}

void MainWindow::PopUndo2Click() {
    if (!mayRun(PopUndo2))
        return;
    if (table.PopUndoClick)
        table.PopUndoClick();
    focusTableGrid();
}

void MainWindow::PopRedo2Click() {
    if (!mayRun(PopRedo2))
        return;
    if (table.PopRedoClick)
        table.PopRedoClick();
    focusTableGrid();
}

void MainWindow::DownLoadClick() {
    if (mayRun(DownLoad) && transfers)
        transfers->DownLoadClick();
}

void MainWindow::UpLoadClick() {
    if (mayRun(UpLoad) && transfers)
        transfers->UpLoadClick();
}

void MainWindow::PopCompClick() {
    if (mayRun(PopComp) && transfers)
        transfers->PopCompClick();
}

void MainWindow::PopDownLoad2Click() {
    if (mayRun(PopDownLoad2) && transfers)
        transfers->PopDownLoad2Click();
}

void MainWindow::PopUpLoad2Click() {
    if (mayRun(PopUpLoad2) && transfers)
        transfers->PopUpLoad2Click();
}

void MainWindow::PopCopy2Click() {
    forward(nullptr, table.PopCopyClick);
}
void MainWindow::PopChgDisp2Click() {
    forward(nullptr, table.PopChgDispClick);
}
void MainWindow::PopCVDisp2Click() {
    forward(PopCVDisp2, table.PopCVDispClick);
}
void MainWindow::PopQuick2Click() {
    forward(PopQuick2, table.PopQuickClick);
}
void MainWindow::PopSlct2Click() {
    forward(nullptr, table.PopSlctClick);
}
void MainWindow::PopSlctUnlock2Click() {
    forward(nullptr, table.PopSlctUnlockClick);
}
void MainWindow::PopBlind2Click() {
    forward(nullptr, table.PopBlindClick);
}
void MainWindow::PopDisp2Click() {
    forward(PopDisp2, table.PopDispClick);
}
void MainWindow::PopHexDisp2Click() {
    forward(nullptr, table.PopHexDispClick);
}
void MainWindow::PopDecDisp2Click() {
    forward(nullptr, table.PopDecDispClick);
}
void MainWindow::PopDef2Click() {
    forward(nullptr, table.PopDefClick);
}

void MainWindow::PopParaHelp2Click() {
    // F10 opens the help of the table's current parameter only when the table was the last
    // of the program's windows to be active.
    if (ParaTableAct)
        forward(PopParaHelp2, table.PopParaHelpClick);
}

void MainWindow::PopFind2Click() {
    forward(PopFind2, table.ShowFind);
}

void MainWindow::InvRunClick() {
    if (!mayRun(InvRun) || !link_)
        return;
    // Made on first use and kept: a child of this window, freed with it.
    if (!keypad_)
        keypad_ = new KeypadWindow(context_, options_, *link_, this);
    keypad_->exec();
}

KeypadWindow* MainWindow::keypadWindow() const {
    return keypad_;
}

void MainWindow::MMItoolsSettingClick() {
    if (!mayRun(nullptr) || !optionsWindow)
        return;
    optionsWindow->exec();
}

void MainWindow::MMItoolsHelpClick() {
    ProgramContext& g = context_;
    g.HelpFilePath =
        Paths::join(g.ProgramFolder, QString::fromLatin1(kProductName) + "(" + g.LanguageSuffix + ").chm");
    HelpViewer::displayTopic(g.HelpFilePath);
}

void MainWindow::FormHelp() {
    if (!context_.HelpFilePath.isEmpty())
        HelpViewer::displayTopic(context_.HelpFilePath);
}

// ---- LinkView -----------------------------------------------------------------------------

void MainWindow::setLinkIcon(LinkIcon icon) {
    linkIcon_ = icon;
    if (!ToolBline)
        return;
    ToolBline->setIcon(linkIconImage(icon));
    // The exchange that follows blocks the event loop: draw now.
    if (QWidget* w = ToolBar1->widgetForAction(ToolBline); w && w->isVisible())
        w->repaint();
}

void MainWindow::setDriveCommandEnabled(DriveCommand command, bool enabled) {
    const int i = static_cast<int>(command);
    if (i >= 0 && i < int(std::size(requested_)))
        requested_[i] = enabled;
    // The selected transfers are the table's commands: one state for the table's item, the
    // menu item and the tool button.
    if (command == DriveCommand::SelectedImport)
        tableCommands_.setEnabled(TableCommand::DownLoad, enabled);
    else if (command == DriveCommand::SelectedExport)
        tableCommands_.setEnabled(TableCommand::UpLoad, enabled);
    // Inverter information comes with its own window; until then the connection's verdict
    // is kept but its command stays disabled.
    std::pair<QAction*, QAction*> itemAndButton{nullptr, nullptr};
    switch (command) {
    case DriveCommand::Import:
        itemAndButton = {DownLoad, ToolBpr};
        break;
    case DriveCommand::Export:
        itemAndButton = {UpLoad, ToolBpw};
        break;
    case DriveCommand::Comparison:
        itemAndButton = {PopComp, ToolBpcp};
        break;
    case DriveCommand::KeyPad:
        itemAndButton = {InvRun, ToolBpanel};
        break;
    default:
        break;
    }
    if (itemAndButton.first) {
        itemAndButton.first->setEnabled(enabled);
        itemAndButton.second->setEnabled(enabled);
    }
}

bool MainWindow::driveCommandRequested(DriveCommand command) const {
    const int i = static_cast<int>(command);
    return i >= 0 && i < int(std::size(requested_)) && requested_[i];
}

// ---- FileCommandHost ----------------------------------------------------------------------

bool MainWindow::openEnabled() const {
    return ParaOpen->isEnabled();
}
bool MainWindow::saveAsEnabled() const {
    return ParaSaveChangeName->isEnabled();
}
bool MainWindow::newEnabled() const {
    return ParaMakeNew->isEnabled();
}
bool MainWindow::saveEnabled() const {
    return ParaSaveOverWrite->isEnabled();
}

void MainWindow::setSaveEnabled(bool on) {
    ParaSaveOverWrite->setEnabled(on);
    ToolBsav->setEnabled(on);
}

void MainWindow::setCaption(const QString& caption) {
    setWindowTitle(caption);
}
QString MainWindow::commentText() const {
    return PrintSetComment;
}
void MainWindow::setCommentText(const QString& text) {
    PrintSetComment = text;
}
bool MainWindow::blindViewOn() const {
    return tableCommands_.checked(TableCommand::Blind);
}

void MainWindow::refreshTable() {
    if (table.RefreshAll)
        table.RefreshAll();
}

void MainWindow::focusTableGrid() {
    // The table disables its tool button while it is open.
    if (!ToolBTable->isEnabled() && table.FocusGrid)
        table.FocusGrid();
}

QList<QStringList> MainWindow::tableRows() const {
    return table.Rows ? table.Rows() : QList<QStringList>();
}

void MainWindow::clearPortMessageShown() {
    if (link_)
        link_->PortMsgShown = false;
}

void MainWindow::runStartupForm() {
    if (startupForm)
        startupForm();
}

void MainWindow::reloadCommSettings() {
    if (RSset)
        RSset->LoadCommSettings();
}

void MainWindow::rearmSpecialSetupWarning() {
    DrvChkAct = true;
    DrvChkd = false;
}

void MainWindow::showTable() {
    if (ToolBTable->isEnabled() && table.Show)
        table.Show();
    focusTableGrid();
}

void MainWindow::applyDriveTypeCommands() {
    ApplyQuickSetting();
    SetHelpFileName();
}

void MainWindow::quitApplication() {
    QCoreApplication::quit();
}
