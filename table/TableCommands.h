#pragma once
// The states of the parameter table's commands that have twins in the main window. One
// state per command (enabled, checked, visible) drives the table's pop-up item, the main
// menu's item and the tool button together, so they can never disagree. The items only
// show the state: a click on a checkable item does not change it, the command's handler
// does.
//
// Beside the command states: whether the table window is shown (the main menu's twins and
// their separators are visible only then, the table's tool buttons are usable only then,
// and the table command itself is disabled while it is shown), and whether the table's
// pop-up menu may open (not during a monitor run).
//
// A command whose handler this program does not have yet is "unavailable": every item of
// it stays disabled whatever its state says.
#include <QList>
#include <QObject>
#include <QPointer>
#include <array>

class QAction;

enum class TableCommand {
    Undo,       // PopUndo, PopUndo2, ToolBundo
    Redo,       // PopRedo, PopRedo2, ToolBredo
    Copy,       // PopCopy, PopCopy2
    DownLoad,   // PopDownLoad, PopDownLoad2, ToolBpsr (selected parameter import)
    UpLoad,     // PopUpLoad, PopUpLoad2, ToolBpsw (selected parameter export)
    ChgDisp,    // PopChgDisp, PopChgDisp2
    CVDisp,     // PopCVDisp, PopCVDisp2, ToolBCV
    Quick,      // PopQuick, PopQuick2, ToolBQuick
    Slct,       // PopSlct, PopSlct2
    SlctUnlock, // PopSlctUnlock, PopSlctUnlock2
    Blind,      // PopBlind, PopBlind2
    Disp,       // PopDisp, PopDisp2 (All Parameters)
    HexDisp,    // PopHexDisp, PopHexDisp2
    DecDisp,    // PopDecDisp, PopDecDisp2
    Def,        // PopDef, PopDef2 (Shipment)
    ParaHelp,   // PopParaHelp, PopParaHelp2
    Find,       // PopFind, PopFind2, ToolBfind
};
inline constexpr int kTableCommandCount = int(TableCommand::Find) + 1;

class TableCommands : public QObject {
    Q_OBJECT
public:
    TableCommands();
    ~TableCommands() override;

    // ---- State --------------------------------------------------------------------------
    bool enabled(TableCommand c) const { return s(c).enabled; }
    bool checked(TableCommand c) const { return s(c).checked; }
    // Offered at all (Quick is hidden for a drive type without a Quick view).
    bool visible(TableCommand c) const { return s(c).visible; }
    bool available(TableCommand c) const { return s(c).available; }
    void setEnabled(TableCommand c, bool on);
    void setChecked(TableCommand c, bool on);
    void setVisible(TableCommand c, bool on);
    // The table has a handler for the command (set by the table window).
    void setAvailable(TableCommand c, bool on);

    bool tableShown() const { return tableShown_; }
    void setTableShown(bool on);
    // False while a monitor run is in progress: the table's pop-up menu does not open.
    bool popupMenuEnabled() const { return popupMenuEnabled_; }
    void setPopupMenuEnabled(bool on);

    // ---- What the items show ------------------------------------------------------------
    // The table's own pop-up item. Undo, Redo, the selected import and export, Shipment and
    // Find are never shown in the pop-up menu (their twins and shortcuts are the way in).
    bool popupItemVisible(TableCommand c) const;
    bool popupItemEnabled(TableCommand c) const;
    // The main menu's twin: shown only while the table is (except Quick, shown whenever the
    // drive type has a Quick view).
    bool mirrorItemVisible(TableCommand c) const;
    bool mirrorItemEnabled(TableCommand c) const;
    // The tool button: usable only while the table is shown (except ToolBQuick). Undo,
    // Redo, DownLoad, UpLoad, CVDisp, Quick and Find have one.
    bool toolButtonVisible(TableCommand c) const;
    bool toolButtonEnabled(TableCommand c) const;
    static bool hasToolButton(TableCommand c);
    static bool hiddenInPopup(TableCommand c);

    // ---- Binding: from now on the item follows the state --------------------------------
    // Bound items are not owned; an item that is destroyed is dropped.
    void bindPopupItem(TableCommand c, QAction* item);
    void bindMirrorItem(TableCommand c, QAction* item);
    void bindToolButton(TableCommand c, QAction* button);
    // Separators between the main menu's table items: visible while the table is shown.
    void bindMirrorSeparator(QAction* separator);
    // A separator that comes and goes with a command (those before the Quick item and button).
    void bindSeparatorOf(TableCommand c, QAction* separator);
    // The commands that open the table (ParameterEditor, ToolBTable): enabled while it is
    // not shown.
    void bindOpener(QAction* item);

signals:
    void changed();

private:
    struct State {
        bool enabled = true;
        bool checked = false;
        bool visible = true;
        bool available = false;
    };
    enum class Kind { Popup, Mirror, Button, MirrorSeparator, SeparatorOf, Opener };
    struct Binding {
        Kind kind;
        TableCommand command;
        QPointer<QAction> action;
    };
    const State& s(TableCommand c) const { return states_[std::size_t(c)]; }
    State& s(TableCommand c) { return states_[std::size_t(c)]; }
    void bind(Kind kind, TableCommand c, QAction* a);
    void apply(const Binding& b) const;
    void applyAll();

    std::array<State, kTableCommandCount> states_{};
    bool tableShown_ = false;
    bool popupMenuEnabled_ = true;
    QList<Binding> bindings_;
    bool applying_ = false;
};
