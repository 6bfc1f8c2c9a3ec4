#include "shell/MainWindow.h"
#include "core/ProgramFolder.h"

#include "core/ConversionBases.h"
#include "core/Messages.h"
#include "core/Options.h"
#include "core/ParameterStore.h"
#include "core/ProgramContext.h"
#include "link/CommLink.h"
#include "link/TransferEngine.h"
#include "platform/IniFile.h"
#include "platform/Paths.h"
#include "platform/Prompter.h"
#include "platform/PumpEvents.h"
#include "shell/StartUp.h"
#include "ui/CommSetupDialog.h"
#include "ui/HelpViewer.h"
#include "ui/PageSetupWindow.h"
#include "ui/TransferCommands.h"

#include <QApplication>
#include <QCloseEvent>
#include <QMenuBar>
#include <QPainter>
#include <QToolBar>
#include <QWindow>
#include <optional>

namespace {

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

} // namespace

// ---- MainWindow --------------------------------------------------------------------------------

MainWindow::MainWindow(ProgramContext& context, Options& options, Asker& asker, CommLink* link,
                       QWidget* parent)
    : QMainWindow(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                              Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      context_(context), options_(options), link_(link), asker_(asker),
      fileCommands_(std::make_unique<FileCommands>(context, options, *this, asker_)) {
    setObjectName(QStringLiteral("Main"));
    setWindowTitle(QString::fromLatin1(kProductName));
    buildMenus();
    buildToolBar();
    bindTableCommands();
    setLinkIcon(LinkIcon::Idle);
    FormActivation::watch(this, [this] { checkDriveUnlessTransferring(); });
    FormActivation::deferWith(this, [this](std::function<void()> handler) {
        if (link_)
            link_->whenLineFree(std::move(handler));
        else
            handler();
    });
    // The table sets its flag when it becomes active; any other window but this one clears it.
    FormActivation::observe(this, [this](QWidget* w) {
        if (w != this && !qobject_cast<ParameterTableWindow*>(w))
            driveCheckState_.tableActive = false;
    });
}

MainWindow::~MainWindow() {
    if (link_)
        link_->setView(nullptr);
    releaseStore();
}

void MainWindow::adoptStore(std::unique_ptr<ParameterStore> store) {
    context_.store = store.get();
    store_ = std::move(store);
}

void MainWindow::releaseStore() {
    if (store_ && context_.store == store_.get())
        context_.store = nullptr;
    store_.reset();
}

void MainWindow::setCpuVersions(const QStringList& names, const QStringList& numbers) {
    cpuVersionNames_ = names;
    cpuVersionNumbers_ = numbers;
}

// ---- Start-up and shut-down ---------------------------------------------------------------

void MainWindow::startProgram(const QString& fileArgument, const QString& programFileFolder) {
    move(0, 0);
    setMinimumWidth(639);
    resize(639, height());
    fitHeightToBars();
    if (fileArgument.isEmpty())
        StartUp::NormalStart(*this);
    else
        StartUp::FileArgumentStart(*this, fileArgument, programFileFolder);
    // The language is known now: its texts, and the height they need, are in before the
    // window is made (resizing it once shown moves what stands under it).
    if (!context_.startupAborted && !shown_)
        ApplyMainTexts();
}

void MainWindow::fitHeightToBars() {
    const int height = menuBar()->sizeHint().height() + toolBar->sizeHint().height();
    if (minimumHeight() == height && maximumHeight() == height)
        return;
    const QPoint frame = pos();
    setFixedHeight(height);
    // A made window's resize keeps the place of its inside, which would push the caption off
    // the top of the screen: the frame stays where it was.
    if (QWindow* native = windowHandle())
        native->setFramePosition(frame);
}

void MainWindow::showEvent(QShowEvent* e) {
    QMainWindow::showEvent(e);
    if (!shown_ && !e->spontaneous()) {
        shown_ = true;
        completeStart();
    }
}

void MainWindow::completeStart() {
    if (context_.startupAborted)
        return;
    ApplyMainTexts();
    FillPrinterList();
    UpdateCurrentVoltageCommands();
    ApplyQuickSetting();
    SetHelpFileName();
    item(MainCommand::MaintenanceMode)->setVisible(true);
    if (table_)
        table_->Show();
    driveCheckState_.warningDue = true;
    firstShowDone_ = true;
    fileArgumentStart_ = false;
}

void MainWindow::checkDriveUnlessTransferring() {
    // A transfer command's own windows activate this one in passing; the command has made its
    // checks and must not be reconnected under its feet.
    if (TransferCommands::running())
        return;
    CheckSpSetup();
}

void MainWindow::CheckSpSetup() {
    if (specialSetupCheck_)
        specialSetupCheck_();
}

bool MainWindow::mayClose() const {
    // Closing in the middle of a transfer would free the windows and the link it is running on
    // and leave the drive half written.
    return !(monitorHooks_.running && monitorHooks_.running()) &&
           !(transfers_ && transfers_->transferActive()) && !TransferCommands::running();
}

void MainWindow::shutDown() {
    ProgramFolder::StoreSavedPaths(context_);
    // The options are kept at every close, not only when their window was closed: the
    // start-up form reads "CheckLang" and "CheckInv" from the file, and without them the next
    // start would not offer the language and drive chosen this time.
    if (const std::optional<Notice> failure = options_.saveSettings().failure)
        showNotice(*failure);
    if (link_ && link_->PortOpen())
        link_->closePort();
    HelpViewer::closeAll();
}

void MainWindow::closeEvent(QCloseEvent* e) {
    if (!mayClose()) {
        e->ignore();
        return;
    }
    shutDown();
    e->accept();
    // The table and other windows of their own would otherwise keep the program running.
    QCoreApplication::quit();
}

// ---- Routines of the first show -----------------------------------------------------------

void MainWindow::UpdateCurrentVoltageCommands() {
    // Offered when the capacity file lists current/voltage items and the drive type gives
    // the rated values they are shown against; without those the display shows only zeros.
    tableCommands_.setEnabled(TableCommand::CVDisp, ConversionBasesAvailable(context_));
}

void MainWindow::ApplyQuickSetting() {
    const QString& info = context_.drive.files.infoIniPath;
    quickSetting_ = info.isEmpty() ? 0
                                   : IniFile(Paths::resolvedOrAsGiven(info))
                                         .readInteger(QStringLiteral("Setup"), QStringLiteral("Quick"), 0);
    tableCommands_.setVisible(TableCommand::Quick, quickSetting_ > 0);
}

void MainWindow::SetHelpFileName() {
    ProgramContext& context = context_;
    const QString ext =
        options_.hlpParameterHelp.checked() ? QStringLiteral(").hlp") : QStringLiteral(").chm");
    context.paths.parameterHelpFile =
        Paths::join(context.drive.files.typeFolder,
                    context.drive.identity.typeName + "(" + context.language.suffix + ext);
    tableCommands_.setEnabled(TableCommand::ParaHelp, !context.drive.files.typeFolder.isEmpty() &&
                                                          Paths::exists(context.paths.parameterHelpFile));
}

// ---- Monitor -------------------------------------------------------------------------------

void MainWindow::setMonitorCommandEnabled(bool on) {
    item(MainCommand::MonitorChart)->setEnabled(on);
    button(MainCommand::MonitorChart)->setEnabled(on);
}

void MainWindow::rebuildMonitor() {
    if (monitorHooks_.rebuild)
        monitorHooks_.rebuild();
}

// ---- The link ------------------------------------------------------------------------------

void MainWindow::connectAgain() {
    PumpEvents();
    if (link_) {
        link_->allowPortMessage();
        link_->ConnectDrive();
    }
}

void MainWindow::communicationSetup() {
    if (!commSetupDialog_)
        return;
    commSetupDialog_->exec();
    connectAgain();
}

void MainWindow::communicationCheck() {
    if (!link_ || link_->ConnectDrive())
        return;
    if (commSetupDialog_)
        commSetupDialog_->exec();
    connectAgain();
}

void MainWindow::setLinkIcon(LinkIcon icon) {
    linkIcon_ = icon;
    QAction* iconButton = button(MainCommand::CommunicationCheck);
    if (!iconButton)
        return;
    iconButton->setIcon(linkIconImage(icon));
    showLinkHint();
    // The line's short waits (the silent interval, the drain) hold the thread: drawn now.
    if (QWidget* w = toolBar->widgetForAction(iconButton); w && w->isVisible())
        w->repaint();
}

void MainWindow::showLinkHint() {
    QAction* iconButton = button(MainCommand::CommunicationCheck);
    if (!iconButton || linkHint_.isEmpty())
        return;
    iconButton->setToolTip(linkIcon_ == LinkIcon::Failed && !linkOffHint_.isEmpty()
                               ? linkHint_ + u'\n' + linkOffHint_
                               : linkHint_);
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
    std::optional<MainCommand> follower;
    switch (command) {
    case DriveCommand::Import:
        follower = MainCommand::Import;
        break;
    case DriveCommand::Export:
        follower = MainCommand::Export;
        break;
    case DriveCommand::Comparison:
        follower = MainCommand::Comparison;
        break;
    case DriveCommand::KeyPad:
        follower = MainCommand::KeyPad;
        break;
    case DriveCommand::InverterInfo:
        follower = MainCommand::InverterInfo;
        break;
    default:
        break;
    }
    if (follower) {
        item(*follower)->setEnabled(enabled);
        button(*follower)->setEnabled(enabled);
    }
}

bool MainWindow::driveCommandRequested(DriveCommand command) const {
    const int i = static_cast<int>(command);
    return i >= 0 && i < int(std::size(requested_)) && requested_[i];
}

// ---- FileCommandHost ----------------------------------------------------------------------

bool MainWindow::openEnabled() const {
    return item(MainCommand::Open)->isEnabled();
}
bool MainWindow::saveAsEnabled() const {
    return item(MainCommand::SaveAs)->isEnabled();
}
bool MainWindow::newEnabled() const {
    return item(MainCommand::New)->isEnabled();
}
bool MainWindow::saveEnabled() const {
    return item(MainCommand::Save)->isEnabled();
}

void MainWindow::setSaveEnabled(bool on) {
    item(MainCommand::Save)->setEnabled(on);
    button(MainCommand::Save)->setEnabled(on);
}

void MainWindow::setCaption(const QString& caption) {
    setWindowTitle(caption);
}
QString MainWindow::commentText() const {
    return pageSetupWindow_ ? pageSetupWindow_->comment() : QString();
}
void MainWindow::setCommentText(const QString& text) {
    if (pageSetupWindow_)
        pageSetupWindow_->setComment(text);
}
bool MainWindow::acceptUnwritableCharacters(const QString& characters) {
    return Prompter::instance().message(UnwritableCharactersQuestion(context_, characters),
                                        context_.texts.caption, BoxIcon::Warning, BoxButtons::YesNo,
                                        this) == BoxAnswer::Yes;
}
bool MainWindow::blindViewOn() const {
    return tableCommands_.checked(TableCommand::Blind);
}

void MainWindow::refreshTable() {
    if (table_)
        table_->RefreshAll();
}

void MainWindow::focusTableGrid() {
    // The table disables its tool button while it is open.
    if (!button(MainCommand::ParameterTable)->isEnabled() && table_)
        table_->FocusGrid();
}

QList<QStringList> MainWindow::tableRows() const {
    return table_ ? table_->rows() : QList<QStringList>();
}

void MainWindow::clearPortMessageShown() {
    if (link_)
        link_->allowPortMessage();
}

void MainWindow::runStartupForm() {
    if (startupForm_)
        startupForm_();
}

void MainWindow::reloadCommSettings() {
    if (commSetupDialog_)
        commSetupDialog_->LoadCommSettings();
}

void MainWindow::rearmSpecialSetupWarning() {
    driveCheckState_.warningDue = true;
    driveCheckState_.warningShown = false;
}

void MainWindow::showTable() {
    if (button(MainCommand::ParameterTable)->isEnabled() && table_)
        table_->Show();
    focusTableGrid();
}

void MainWindow::applyDriveTypeCommands() {
    ApplyQuickSetting();
    SetHelpFileName();
}

void MainWindow::quitApplication() {
    QCoreApplication::quit();
}
