#pragma once
// The main window: a menu bar and one tool bar at the top left of the screen. It routes its
// commands to the file commands, the parameter table, the set-up dialogs and help, shows the
// drive link's icon, and keeps the state of the program's start (read through it).
//
// Every command is one row of the command table (MainCommands.cpp): its menu item and its
// tool button are separate actions, named by the object names the language file and the
// tests know: the table shows and hides the menu items while it disables or presses the
// buttons, and a button's command runs only while its menu item is enabled. The menu items'
// shortcuts are application-wide (they work while the table is the active window); a window
// that offers the same commands must not register the same shortcuts again, or Qt fires
// neither.
#include "core/FileCommands.h"
#include "link/DriveChecks.h"
#include "link/LinkView.h"
#include "table/TableCommands.h"
#include "ui/FormActivation.h"
#include "ui/ParameterTableWindow.h"

#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <array>
#include <functional>
#include <memory>

class QAction;
class QMenu;
class QPrinter;
class PageSetupWindow;
class ParameterPrintWindow;
class QToolBar;
class CommLink;
class CommSetupDialog;
class KeypadWindow;
class Options;
class OptionsWindow;
class ParameterStore;
class TransferCommands;
struct ProgramContext;

// The main window's commands, in the order of its menus; CommunicationCheck is the link
// icon's tool button, which has no menu item.
enum class MainCommand {
    New,
    Open,
    Save,
    SaveAs,
    PrinterSetup,
    PageSetup,
    Print,
    CommSetup,
    Exit,
    ParameterTable,
    Undo,
    Redo,
    Copy,
    Import,
    Export,
    SelectedImport,
    SelectedExport,
    Comparison,
    ChangedOnly,
    CurrentVoltage,
    Quick,
    Select,
    SelectClear,
    Blind,
    AllParameters,
    Hex,
    Dec,
    Shipment,
    ParameterHelp,
    Find,
    KeyPad,
    InverterInfo,
    MonitorChart,
    EnvironmentOptions,
    MaintenanceMode,
    HelpContents,
    About,
    CommunicationCheck,
};
inline constexpr int kMainCommandCount = int(MainCommand::CommunicationCheck) + 1;

class MainWindow : public QMainWindow,
                   public LinkView,
                   public FileCommandHost,
                   public TableWindowHost,
                   public SpecialSetupWarningHost {
    Q_OBJECT
    ProgramContext& context_;
    Options& options_;
    CommLink* link_;
    // Which window is active and the special-setup warning's arming; the drive checks read it.
    DriveCheckState driveCheckState_;
    // Shows the boxes and dialogs of core's operations (the file commands' among them): the
    // program's one asker.
    Asker& asker_;
    // Before the public names, so that they can refer to its lists.
    std::unique_ptr<FileCommands> fileCommands_;

public:
    // Builds the window (menus, tool bar, icons) of the program the context describes, with
    // its options, the asker of its questions and drive link (none: the drive commands do
    // nothing); the start-up itself runs in startProgram. Nothing given is owned.
    MainWindow(ProgramContext& context, Options& options, Asker& asker, CommLink* link,
               QWidget* parent = nullptr);
    ~MainWindow() override;

    const DriveCheckState& driveCheckState() const { return driveCheckState_; }
    bool tableActive() const { return driveCheckState_.tableActive; }

    // ---- The program's start --------------------------------------------------------------
    // The first show has run: a later start-up form comes from New.
    bool firstShowDone() const { return firstShowDone_; }
    // Started with a file argument, until the first show.
    bool fileArgumentStart() const { return fileArgumentStart_; }
    void setFileArgumentStart() { fileArgumentStart_ = true; }
    // The CPU versions of the selected drive type, as names ("V110") and as numbers ("110");
    // the start-up form replaces them when it closes.
    const QStringList& cpuVersionNames() const { return cpuVersionNames_; }
    const QStringList& cpuVersionNumbers() const { return cpuVersionNumbers_; }
    void setCpuVersions(const QStringList& names, const QStringList& numbers);
    // The printers the printer check found.
    const QStringList& installedPrinters() const { return installedPrinters_; }

    // ---- Menus and tool bar --------------------------------------------------------------
    QMenu* fileMenu = nullptr;
    QMenu* parameterMenu = nullptr;
    QMenu* monitoringMenu = nullptr;
    QMenu* toolsMenu = nullptr;
    QMenu* helpMenu = nullptr;
    QToolBar* toolBar = nullptr;
    // The tool bar's separator before the Quick button, which comes and goes with it.
    QAction* quickSeparator = nullptr;
    // A command's menu item (the Key Pad entry of the menu bar for KeyPad) and its tool
    // button; null where the command has none.
    QAction* item(MainCommand command) const { return items_[std::size_t(command)]; }
    QAction* button(MainCommand command) const { return buttons_[std::size_t(command)]; }
    // The image of the link icon's button (0 failed, 1 idle, 2 busy).
    LinkIcon linkIcon() const { return linkIcon_; }

    // ---- Wiring --------------------------------------------------------------------------
    // The parameter table window the Parameter menu's commands go to (none: they do nothing).
    void setTable(TableWindowControl* table) { table_ = table; }
    // The states of the table's commands; the main menu's twins, the tool buttons and the
    // table's pop-up items follow them.
    TableCommands& tableCommands() override { return tableCommands_; }
    ProgramContext& context() { return context_; }
    Options& options() { return options_; }
    // The communication set-up dialog and the environment options (created after this window;
    // null: their commands do nothing).
    void setCommSetupDialog(CommSetupDialog* dialog) { commSetupDialog_ = dialog; }
    void setOptionsWindow(OptionsWindow* window) { optionsWindow_ = window; }
    OptionsWindow* optionsWindow() const { return optionsWindow_; }
    // The keypad, once the Key Pad command has made it.
    KeypadWindow* keypadWindow() const;
    // Parameter Import, Export and Comparison (created after this window, with the drive checks).
    void setTransfers(TransferCommands* transfers) { transfers_ = transfers; }
    // The start-up form, run modally (New and the start-up sequence): creates it, shows it
    // unless its creation set startupAborted, frees it.
    void setStartupForm(std::function<void()> run) { startupForm_ = std::move(run); }
    // The special-setup check run at activation (it reconnects and may warn once).
    void setSpecialSetupCheck(std::function<void()> check) { specialSetupCheck_ = std::move(check); }
    // "Inverter Info.": connect, read the drive's information, show it (set by the start-up).
    void setInverterInfo(std::function<void()> show) { inverterInfo_ = std::move(show); }
    FileCommands& fileCommands() { return *fileCommands_; }
    // The asker the window answers core's questions with.
    Asker& asker() override { return asker_; }
    // The data store the start-up created (owned by the window).
    void adoptStore(std::unique_ptr<ParameterStore> store);
    void releaseStore();
    ParameterStore* store() const { return store_.get(); }

    // ---- Start-up and shut-down ----------------------------------------------------------
    // Placement, then the normal start or the start with a file argument (empty = normal),
    // which takes the program file's folder as the program folder.
    void startProgram(const QString& fileArgument = QString(), const QString& programFileFolder = QString());
    // The first show's routines; with startupAborted set it does nothing (the caller ends).
    void completeStart();
    void checkDriveUnlessTransferring();
    // False while a monitor run or a transfer command is in progress.
    bool mayClose() const;
    // Writes the folders back, closes the port and the help windows.
    void shutDown();

    // ---- Routines of the first show (also run by New) ------------------------------------
    // The menus' and tool buttons' texts from section "Main" of the language file.
    void ApplyMainTexts();
    // The window is as high as its menu bar and tool bar: the menu bar's height follows the
    // font of its captions (Japanese ones are taller), so this runs again after the texts.
    void fitHeightToBars();
    void FillPrinterList();
    void UpdateCurrentVoltageCommands() override;
    void ApplyQuickSetting();
    void SetHelpFileName();

    // ---- Printing (PrintCommands.cpp) ------------------------------------------------------
    // The page set-up window (its comment is the one a save writes), the parameter print
    // window and the program's printer; the start-up creates them after this window.
    void setPageSetupWindow(PageSetupWindow* window) { pageSetupWindow_ = window; }
    void setPrintWindow(ParameterPrintWindow* window) { printWindow_ = window; }
    void setPrinter(QPrinter* printer) { printer_ = printer; }
    // "Page Setup": the page set-up, modal; the printer takes its orientation.
    void pageSetup();
    // "Print": the print window with the parameter list's preview.
    void printParameters();
    // "Printer Setup": the printer's own dialog (the menu item is never shown).
    void printerSetup();
    // Page Setup, Printer Setup and Print with their tool buttons. The print window turns
    // them off while it is shown; without a printer (the printer check) they stay off.
    void setPrintCommandsEnabled(bool on);

    // ---- Commands ------------------------------------------------------------------------
    // Runs a command as its menu item does: nothing while the window is disabled for a
    // monitor run, nothing for a gated command whose item is disabled; then its handler or
    // the table command it forwards.
    void run(MainCommand command);
    // What the commands do once they may run.
    void newParameterSet();
    void openParameterFile();
    void saveParameterFile();
    void saveParameterFileAs();
    void communicationSetup();
    void exitProgram();
    void showParameterTable();
    void undo();
    void redo();
    void importAll();
    void exportAll();
    void compareAll();
    void importSelected();
    void exportSelected();
    void parameterHelp();
    void keyPad();
    // "Inverter Info.": the start-up's inverterInfo, which connects and shows what it read.
    void inverterInformation();
    // "Monitor": the monitor window, not modal.
    void monitorChart();
    void environmentOptions();
    // Maintenance mode: the password window, then the table rebuilt when it unlocked.
    void maintenanceMode();
    void helpContents();
    // The about box, modal, created for this showing.
    void about();
    // The link icon's button: connects, and on failure offers the set-up and tries again.
    void communicationCheck();
    // A help request while the window is active (F1 without the menu).
    void FormHelp();

    // ---- Monitor -------------------------------------------------------------------------
    // The monitor window's entry points; the start-up wires them to the window.
    struct MonitorHooks {
        std::function<void()> show;                // show it, not modal
        std::function<void()> rebuild;             // follow a new drive type (lists, saved set-up)
        std::function<void(bool)> setPrintEnabled; // its Print button (the printer check)
        std::function<bool()> running;             // a run holds the link
    };
    void setMonitorHooks(MonitorHooks hooks) { monitorHooks_ = std::move(hooks); }
    // The monitor enables the command when the drive type has items and while it is closed.
    void setMonitorCommandEnabled(bool on);
    void rebuildMonitor() override;

    // ---- TableWindowHost -------------------------------------------------------------------
    QRect mainFrameGeometry() const override { return frameGeometry(); }
    void setParaTableAct(bool on) override { driveCheckState_.tableActive = on; }
    void CheckSpSetup() override;

    // ---- SpecialSetupWarningHost ------------------------------------------------------------
    bool specialSetupWarningDue() const override { return driveCheckState_.specialSetupWarningDue(); }
    void specialSetupWarningShown() override { driveCheckState_.specialSetupWarningShown(); }

    // ---- LinkView ------------------------------------------------------------------------
    void setLinkIcon(LinkIcon icon) override;
    void setDriveCommandEnabled(DriveCommand command, bool enabled) override;
    bool driveCommandRequested(DriveCommand command) const;

    // ---- FileCommandHost -----------------------------------------------------------------
    bool openEnabled() const override;
    bool saveAsEnabled() const override;
    bool newEnabled() const override;
    bool saveEnabled() const override;
    void setSaveEnabled(bool on) override;
    void setCaption(const QString& caption) override;
    QString commentText() const override;
    void setCommentText(const QString& text) override;
    bool acceptUnwritableCharacters(const QString& characters) override;
    bool blindViewOn() const override;
    void refreshTable() override;
    void focusTableGrid() override;
    QList<QStringList> tableRows() const override;
    void clearPortMessageShown() override;
    void runStartupForm() override;
    DriveFileDialog missingFileDialog() const override;
    void reloadCommSettings() override;
    void rearmSpecialSetupWarning() override;
    void showTable() override;
    void applyDriveTypeCommands() override;
    void quitApplication() override;

protected:
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    // run() once the line is free.
    void runNow(MainCommand command);
    // Built from the command table (MainCommands.cpp).
    void buildMenus();
    void buildToolBar();
    void bindTableCommands();
    // True when a command may run: the window is enabled (no monitor run) and, for a gated
    // command, its menu item is enabled.
    bool mayRun(const QAction* gate) const;
    void connectAgain();
    // The link icon's hint: with the failed icon, what a click on it does.
    void showLinkHint();

    std::unique_ptr<ParameterStore> store_;
    QPointer<KeypadWindow> keypad_;
    TableCommands tableCommands_;
    TableWindowControl* table_ = nullptr;
    std::array<QAction*, kMainCommandCount> items_{};
    std::array<QAction*, kMainCommandCount> buttons_{};
    LinkIcon linkIcon_ = LinkIcon::Idle;
    QString linkHint_;
    QString linkOffHint_;
    bool shown_ = false;
    bool requested_[8] = {};
    bool noPrinter_ = false; // the printer check found none
    QStringList installedPrinters_;
    bool firstShowDone_ = false;
    bool fileArgumentStart_ = false;
    QStringList cpuVersionNames_;
    QStringList cpuVersionNumbers_;
    int quickSetting_ = 0; // Info.ini's [Setup] Quick: the drive type has a Quick view

    CommSetupDialog* commSetupDialog_ = nullptr;
    OptionsWindow* optionsWindow_ = nullptr;
    TransferCommands* transfers_ = nullptr;
    PageSetupWindow* pageSetupWindow_ = nullptr;
    ParameterPrintWindow* printWindow_ = nullptr;
    QPrinter* printer_ = nullptr;
    std::function<void()> startupForm_;
    std::function<void()> specialSetupCheck_;
    std::function<void()> inverterInfo_;
    MonitorHooks monitorHooks_;
};
