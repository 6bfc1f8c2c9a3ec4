#pragma once
// The parameter table window: one row per parameter of the loaded drive type with its
// code, number, name, value, limits, unit and changed mark. The rows and the state live in
// ParameterTable (no window); this window shows them in a grid, with the pop-up menu, the
// placement under the main window and the show, activate and close rules.
//
// Created once at start-up, hidden; its constructor does not touch the data store (after an
// aborted start the store does not exist). The start-up then calls placeAndFill.
#include "table/ParameterHelp.h"
#include "table/ParameterTable.h"
#include "table/SelectedTransfer.h"
#include "table/TableCommands.h"
#include "table/UndoRedo.h"
#include "table/ValueEntry.h"
#include "table/ViewCommands.h"
#include "ui/FindDialog.h"

#include <QRect>
#include <QStringList>
#include <QTableView>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>

class QAction;
class QMenu;
class ParaGridDelegate;

// What the table needs of the main window; MainWindow implements it.
class TableWindowHost {
public:
    virtual ~TableWindowHost() = default;
    // The command states the main window's twins are bound to (owned by the main window).
    virtual TableCommands& tableCommands() = 0;
    // The main window's outer rectangle (frame included): the table opens under it.
    virtual QRect mainFrameGeometry() const = 0;
    // The hidden flag "Parameter Table Active": set when the table becomes active.
    virtual void setParaTableAct(bool on) = 0;
    // Enables the Current/Voltage commands when the capacity file listed any.
    virtual void UpdateCurrentVoltageCommands() = 0;
    // The special-setup check run at every activation of the table.
    virtual void CheckSpSetup() = 0;
    // What the table asks the user goes here.
    virtual Asker& asker() = 0;
};

// The table window as the main window uses it (ParameterTableWindow; a stand-in in tests).
class TableWindowControl {
public:
    virtual ~TableWindowControl() = default;
    // Makes the window visible (not modal).
    virtual void Show() = 0;
    // Rebuilds the rows from the data store.
    virtual void RefreshAll() = 0;
    // The grid takes the keyboard focus when it can.
    virtual void FocusGrid() = 0;
    // The grid's texts, row 0 being the titles.
    virtual QList<QStringList> rows() const = 0;
    // Does what the command's item in the table's pop-up menu does.
    virtual void runCommand(TableCommand command) = 0;
};

// The grid, without the item view's habits the table does not have: typing a letter does
// not jump to a row, Ctrl+C and Ctrl+A do nothing of their own, the right button does not
// move the highlighted block.
class ParameterGridView : public QTableView {
    Q_OBJECT
public:
    explicit ParameterGridView(QWidget* parent = nullptr);
    void keyboardSearch(const QString&) override {}
    // The table's own key handling runs first; true when it took the key.
    std::function<bool(QKeyEvent*)> keyDown;
    // The user moved the current cell (mouse or keyboard); programmatic moves do not count.
    std::function<void()> userMoved;

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
};

class ParameterTableWindow : public QWidget, public TableWindowControl {
    Q_OBJECT
public:
    // The table of the program the context describes, with its options; link is the
    // program's drive link for the selected transfers (none: nothing connects).
    ParameterTableWindow(ProgramContext& context, Options& options, CommLink* link, TableWindowHost& host,
                         QWidget* parent = nullptr);
    ~ParameterTableWindow() override;

    // ---- What the main window and the start-up call --------------------------------------
    // Fills the window once; does nothing once start-up has failed.
    void placeAndFill();
    // Makes the window visible, not modal.
    void Show() override;
    // Rebuilds the table after the parameter set changed.
    void RefreshAll() override;
    // The grid takes the keyboard focus (and its window becomes active) when it can.
    void FocusGrid() override;
    // The grid's texts, row 0 being the titles.
    const TextGrid& cells() const { return core_.grid(); }
    QList<QStringList> rows() const override;
    void runCommand(TableCommand command) override;
    bool blindChecked() const { return core_.commands().checked(TableCommand::Blind); }

    // ---- The window's own routines ---------------------------------------------------------
    void ApplyLanguage();
    void FillRows();
    void UpdateLimits();
    void FillFindBuffer();
    ParameterTable& core() { return core_; }
    const ParameterTable& core() const { return core_; }
    ValueEntry& entry() { return entry_; }
    ViewCommands& views() { return views_; }
    SelectedTransfer& transfer() { return transfer_; }
    FindSearch& findSearch() { return find_; }
    UndoRedo& undoRedo() { return undoRedo_; }
    // Where the window goes for a main window with this outer rectangle (frame included).
    static QRect placementUnder(const QRect& mainFrame);

    // ---- Command handlers (their twins in the main window call them) ----------------------
    void undoStep();
    void redoStep();
    void copyToClipboard();
    void toggleChangedOnly();
    void toggleCurrentVoltage();
    void toggleQuickView();
    void toggleSelected();
    void clearSelectedParameters();
    void hideSelected();
    void showAllParameters();
    void showHex();
    void showDecimal();
    void restoreShipmentValues();
    void showParameterHelp();
    void ShowFind();
    void findNextClicked();
    void findDialogClosed();
    void ImportSelected();
    void exportTargets();
    void closeTable();

    // ---- Parameter help and dropped files -------------------------------------------------
    ParameterHelp& help() { return help_; }
    // Loads files dropped on the table; the start-up wires it to the file commands.
    std::function<void(const QStringList&)> loadDroppedFiles;
    // The files of a drop, handled once the drop event is over.
    void handleDroppedFiles(const QStringList& paths);

    // ---- Value rules under the names the program uses -------------------------------------
    int IndexOfComNo(const QString& comNo) const;
    qint64 ValueOfComNo(const QString& comNo) const;
    QString ValueTextOfComNo(const QString& comNo) const;
    QString DefaultOf(const QString& comNo) { return core_.DefaultOf(comNo); }
    int UpdateChangedFlag(const QString& comNo, double raw, bool* ok = nullptr) {
        return core_.UpdateChangedFlag(comNo, raw, ok);
    }
    QString FormatValue(int index, double displayValue) const;
    static QString ToHexText(double raw, bool* ok = nullptr);
    qint64 ParseHex(const QString& digits, int index, bool* ok = nullptr) const;
    QString CurrentVoltageText(const QString& rawText, int index, bool* ok = nullptr) const;
    QString ParseCurrentVoltage(const QString& text, int index, bool* ok = nullptr) const;
    // These two use the table's out-of-range mark and row search.
    double ClampToRange(const QString& valueText, int index) { return core_.ClampToRange(valueText, index); }
    int GridRowOfIndex(int index) { return core_.GridRowOfIndex(index); }

    // ---- Controls ----------------------------------------------------------------------------
    ParameterGridView* gridView = nullptr;
    QMenu* popupMenu = nullptr;
    QAction *PopUndo = nullptr, *PopRedo = nullptr, *PopCopy = nullptr, *PopDownLoad = nullptr,
            *PopUpLoad = nullptr, *PopChgDisp = nullptr, *PopCVDisp = nullptr, *PopQuick = nullptr,
            *PopSlct = nullptr, *PopSlctUnlock = nullptr, *PopBlind = nullptr, *PopDisp = nullptr,
            *PopHexDisp = nullptr, *PopDecDisp = nullptr, *PopDef = nullptr, *PopParaHelp = nullptr,
            *PopFind = nullptr, *PopClose = nullptr;
    QAction* quickSeparator = nullptr; // the separator after Quick
    FindDialog* findDialog = nullptr;  // made at the first Find

protected:
    void markTableShown();
    void refreshOnActivation();
    void applyColumnWidths();
    // Sizes the columns to the widest texts of the rows now filled (see TableColumnFit).
    void fitColumns();
    // Widens the window where the columns' texts need more than its grid's client width.
    void widenToFit();
    void markTableClosed();
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dragMoveEvent(QDragMoveEvent* e) override;
    void dropEvent(QDropEvent* e) override;

private:
    void buildPopupMenu();
    QAction* popupItem(TableCommand c, const char* name, const QString& text,
                       void (ParameterTableWindow::*handler)());
    void showPopupMenu(const QPoint& pos);
    bool gridKey(QKeyEvent* e);
    // The conversion bases for the current/voltage display (the monitor's base reading).
    void readConversionBases();
    void scrollToRow(int row, bool toTop);

    TableWindowHost& host_;
    ParameterTable core_;
    UndoRedo undoRedo_{core_};
    ValueEntry entry_{core_, undoRedo_};
    ViewCommands views_{core_};
    CommLink* link_ = nullptr; // the program's drive link (none: nothing connects)
    ProgramDriveLink driveLink_;
    SelectedTransfer transfer_{core_, driveLink_};
    FindSearch find_{core_};
    ParameterHelp help_;
    ParaGridDelegate* delegate_ = nullptr;
    class UnderMainWindow* placement_ = nullptr; // made by placeAndFill
    std::array<int, TC_Count> neededWidths_{};   // the least width of each column's texts
    int fittedWidth_ = 0;                        // the width the columns widened the window to
    // The handler of each command's pop-up item (runCommand).
    std::array<void (ParameterTableWindow::*)(), kTableCommandCount> commandHandlers_{};
};
