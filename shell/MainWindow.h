#pragma once
// The main window: a menu bar and one tool bar at the top left of the screen. It routes its
// commands to the file commands, the parameter table, the set-up dialogs and help, shows the
// drive link's icon, and holds the hidden state flags other windows read and write.
//
// Its menu items and tool buttons are separate actions, named as the program names them:
// the table shows and hides the menu items while it disables or presses the buttons, and a
// button's command runs only while its menu item is enabled. The menu items' shortcuts are
// application-wide (they work while the table is the active window); a window that offers
// the same commands must not register the same shortcuts again, or Qt fires neither.
#include "core/FileCommands.h"
#include "link/LinkView.h"
#include "table/TableCommands.h"
#include "ui/FormActivation.h"
#include "ui/ParameterTableWindow.h"

#include <QKeySequence>
#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

class QAction;
class QMenu;
class QToolBar;
class CommLink;
class CommSetupDialog;
class KeypadWindow;
class Options;
class OptionsWindow;
class ParameterStore;
class TransferCommands;
struct ProgramContext;

// What the main window calls on the parameter table window. The start-up wires these to the
// table; a command whose hook is empty does nothing.
struct TableHooks {
    std::function<void()> Show;       // make the window visible (not modal)
    std::function<void()> RefreshAll; // rebuild the rows from the data store
    std::function<void()> FocusGrid;  // the grid takes the focus when it can
    std::function<QList<QStringList>()> Rows;
    // The table's own handlers the Parameter menu forwards to.
    std::function<void()> PopUndoClick, PopRedoClick, PopCopyClick, PopChgDispClick, PopCVDispClick,
        PopQuickClick, PopSlctClick, PopSlctUnlockClick, PopBlindClick, PopDispClick, PopHexDispClick,
        PopDecDispClick, PopDefClick, PopParaHelpClick, ShowFind, ImportSelected, PopUpLoadClick;
};

class MainWindow : public QMainWindow, public LinkView, public FileCommandHost, public TableWindowHost {
    Q_OBJECT
    ProgramContext& context_;
    Options& options_;
    CommLink* link_;
    // Before the public names, so that they can refer to its lists.
    std::unique_ptr<FileCommands> fileCommands_;

public:
    // Builds the window (menus, tool bar, icons) of the program the context describes, with
    // its options and drive link (none: the drive commands do nothing); the start-up itself
    // runs in FormCreate. Nothing given is owned.
    MainWindow(ProgramContext& context, Options& options, CommLink* link, QWidget* parent = nullptr);
    ~MainWindow() override;

    // ---- Hidden state (never shown) ------------------------------------------------------
    bool ParaTableAct = false; // the table is the active window
    bool DrvChkAct = false;    // the special-setup warning is due
    bool DrvChkd = false;      // ... and was shown
    bool StartUp = false;      // set at the first show: a later start-up form comes from New
    bool AssOp = false;        // a start with a file argument until the first show
    bool ComCancel = false;
    bool TypeCheck = false;
    bool FormCheck = false;
    bool CPUCheck = false;
    QStringList I_CpuForm_M; // CPU versions of the selected type and their numbers
    QStringList I_CpuNo_M;
    QStringList cbPrinter;
    // The file commands keep these; the names are the program's.
    bool& CommentsChk;
    QString& CommentsBuff;
    QStringList& CFG_CNum;
    QStringList& CFG_Val;

    // ---- Menus ---------------------------------------------------------------------------
    QMenu* FileMenu = nullptr;
    QAction *ParaMakeNew = nullptr, *ParaOpen = nullptr, *ParaSaveOverWrite = nullptr,
            *ParaSaveChangeName = nullptr, *PrinterSetup = nullptr, *PrintSetup = nullptr, *Print = nullptr,
            *RS232C1 = nullptr, *ToolsEnd = nullptr;
    QMenu* ParameterMenu = nullptr;
    QAction *ParameterEditor = nullptr, *PopUndo2 = nullptr, *PopRedo2 = nullptr, *PopCopy2 = nullptr,
            *DownLoad = nullptr, *UpLoad = nullptr, *PopDownLoad2 = nullptr, *PopUpLoad2 = nullptr,
            *PopComp = nullptr, *PopChgDisp2 = nullptr, *PopCVDisp2 = nullptr, *PopQuick2 = nullptr,
            *PopSlct2 = nullptr, *PopSlctUnlock2 = nullptr, *PopBlind2 = nullptr, *PopDisp2 = nullptr,
            *PopHexDisp2 = nullptr, *PopDecDisp2 = nullptr, *PopDef2 = nullptr, *PopParaHelp2 = nullptr,
            *PopFind2 = nullptr;
    // Separators of the Parameter menu the table shows and hides with its mirror items.
    QAction *N16 = nullptr, *N1 = nullptr, *N20 = nullptr, *N23 = nullptr, *N19 = nullptr, *N4 = nullptr,
            *N21 = nullptr;
    QAction* InvRun = nullptr; // the Key Pad entry of the menu bar
    QMenu* Monitor = nullptr;
    QAction *MonInvInfo = nullptr, *MonChart = nullptr;
    QMenu* option = nullptr;
    QAction *MMItoolsSetting = nullptr, *MMIMt = nullptr;
    QMenu* Help1 = nullptr;
    QAction *MMItoolsHelp = nullptr, *Version = nullptr;

    // ---- Tool bar ------------------------------------------------------------------------
    QToolBar* ToolBar1 = nullptr;
    QAction *ToolBline = nullptr, *ToolBnew = nullptr, *ToolBopen = nullptr, *ToolBsav = nullptr,
            *ToolBsavas = nullptr, *ToolBprinter = nullptr, *ToolBprint = nullptr, *ToolBrs = nullptr,
            *ToolBTable = nullptr, *ToolBundo = nullptr, *ToolBredo = nullptr, *ToolBpr = nullptr,
            *ToolBpw = nullptr, *ToolBpsr = nullptr, *ToolBpsw = nullptr, *ToolBpcp = nullptr,
            *ToolBfind = nullptr, *ToolBCV = nullptr, *ToolButton7 = nullptr, *ToolBQuick = nullptr,
            *ToolBpanel = nullptr, *ToolBInvInfo = nullptr, *ToolBmon = nullptr, *ToolBop = nullptr,
            *ToolBhelp = nullptr;
    // The image ToolBline shows (0 failed, 1 idle, 2 busy).
    LinkIcon linkIcon() const { return linkIcon_; }

    // ---- Wiring --------------------------------------------------------------------------
    TableHooks table;
    // The states of the table's commands; the main menu's twins, the tool buttons and the
    // table's pop-up items follow them.
    TableCommands& tableCommands() override { return tableCommands_; }
    ProgramContext& context() { return context_; }
    Options& options() { return options_; }
    // The communication set-up dialog and the environment options (created after this window).
    CommSetupDialog* RSset = nullptr;
    OptionsWindow* optionsWindow = nullptr;
    // The keypad, once the Key Pad command has made it.
    KeypadWindow* keypadWindow() const;
    // Parameter Import, Export and Comparison (created after this window, with the drive checks).
    TransferCommands* transfers = nullptr;
    // The start-up form, run modally (New and the start-up sequence): creates it, shows it
    // unless its creation set StartupAbort, frees it.
    std::function<void()> startupForm;
    // The special-setup check run at activation (it reconnects and may warn once).
    std::function<void()> specialSetupCheck;
    FileCommands& fileCommands() { return *fileCommands_; }
    // The data store the start-up created (owned by the window).
    void adoptStore(std::unique_ptr<ParameterStore> store);
    void releaseStore();
    ParameterStore* store() const { return store_.get(); }

    // ---- Start-up and shut-down ----------------------------------------------------------
    // Placement, then the normal start or the start with a file argument (empty = normal),
    // which takes the program file's folder as the program folder.
    void FormCreate(const QString& fileArgument = QString(), const QString& programFileFolder = QString());
    // The first show's routines; with StartupAbort set it does nothing (the caller ends).
    void FormShow();
    void FormActivate();
    // False while a monitor run or a transfer command is in progress.
    bool FormCloseQuery() const;
    // Writes the folders back, closes the port and the help windows.
    void FormClose();

    // ---- Routines of the first show (also run by New) ------------------------------------
    void ApplyMainTexts();
    void FillPrinterList();
    void UpdateCurrentVoltageCommands() override;
    void ApplyQuickSetting();
    void SetHelpFileName();
    int QuickSetting = 0;
    // Title and filter of the chooser for a missing drive-type or capacity file.
    const QString& openDialog2Title() const { return openDialog2Title_; }
    const QString& openDialog2Filter() const { return openDialog2Filter_; }
    // The page set-up's comment box until that window exists.
    QString PrintSetComment;

    // ---- Commands ------------------------------------------------------------------------
    void ParaMakeNewClick();
    void ParaOpenClick();
    void ParaSaveOverWriteClick();
    void ParaSaveChangeNameClick();
    void RS232C1Click();
    void ToolsEndClick();
    void ParameterEditorClick();
    void PopUndo2Click();
    void DownLoadClick();
    void UpLoadClick();
    void PopCompClick();
    void PopDownLoad2Click();
    void PopUpLoad2Click();
    void PopRedo2Click();
    void PopCopy2Click();
    void PopChgDisp2Click();
    void PopCVDisp2Click();
    void PopQuick2Click();
    void PopSlct2Click();
    void PopSlctUnlock2Click();
    void PopBlind2Click();
    void PopDisp2Click();
    void PopHexDisp2Click();
    void PopDecDisp2Click();
    void PopDef2Click();
    void PopParaHelp2Click();
    void PopFind2Click();
    void InvRunClick();
    void MMItoolsSettingClick();
    void MMItoolsHelpClick();
    void ToolBlineClick();
    // A help request while the window is active (F1 without the menu).
    void FormHelp();

    // ---- TableWindowHost -------------------------------------------------------------------
    QRect mainFrameGeometry() const override { return frameGeometry(); }
    void setParaTableAct(bool on) override { ParaTableAct = on; }
    void CheckSpSetup() override;

    // ---- LinkView ------------------------------------------------------------------------
    void setLinkIcon(LinkIcon icon) override;
    // Inverter information, whose window this program does not have yet, stays disabled.
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
    bool blindViewOn() const override;
    void refreshTable() override;
    void focusTableGrid() override;
    QList<QStringList> tableRows() const override;
    void clearPortMessageShown() override;
    void runStartupForm() override;
    void reloadCommSettings() override;
    void rearmSpecialSetupWarning() override;
    void showTable() override;
    void applyDriveTypeCommands() override;
    void quitApplication() override;

protected:
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    void buildMenus();
    void buildToolBar();
    void bindTableCommands();
    QAction* item(QMenu* menu, const char* name, const QString& text, void (MainWindow::*handler)(),
                  const QKeySequence& shortcut = QKeySequence());
    QAction* button(const char* name, void (MainWindow::*handler)(), QAction* gate);
    QAction* separator(QMenu* menu, const char* name);
    // True when a command may run: the window is enabled (no monitor run) and, for a gated
    // command, its menu item is enabled.
    bool mayRun(const QAction* gate) const;
    void forward(const QAction* gate, const std::function<void()>& handler);
    void connectAgain();

    std::unique_ptr<ParameterStore> store_;
    QPointer<KeypadWindow> keypad_;
    TableCommands tableCommands_;
    QString openDialog2Title_;
    QString openDialog2Filter_;
    LinkIcon linkIcon_ = LinkIcon::Idle;
    bool shown_ = false;
    bool requested_[8] = {};
};
