#pragma once
// The parameter table's view, mark and display commands: the copy of the highlighted block,
// the three filtered views ('Changed' Only, Quick, Blind) and the way back to all
// parameters, the current/voltage display, the persistent selection, the per-parameter
// hexadecimal or decimal display and the reset to the shipment values. None of them talks to
// the drive. The checked and enabled states live in the table's command states, so the pop-up
// item, the main menu's twin and the tool button always agree.
//
// Needs no window; the table window gives the grid the focus afterwards where a command
// asks for it.
#include <QString>

class ParameterTable;

class ViewCommands {
public:
    explicit ViewCommands(ParameterTable& core);

    // The highlighted block as text: the captions line, then one line per highlighted row,
    // each beginning with the row's title (the fixed column), fields separated by tabs, every
    // line ended by CR LF. "" without a current cell.
    QString copyText() const;
    // copyText to the clipboard (left alone when there is nothing to copy).
    void copyToClipboard();

    // 'Changed' Only on or off. On with no changed parameter: message NoChangedParameter and
    // nothing changes.
    void toggleChangedOnly();
    // Current/Voltage display on or off (Hex. and Dec. cannot be chosen while it is on).
    void toggleCurrentVoltage();
    // Quick view on or off.
    void toggleQuickView();
    // Selects or unselects the parameters of the highlighted rows when the block covers the
    // value column; the selection stays until Select Clear.
    void toggleSelected();
    void clearSelectedParameters();
    // Hides the selected parameters. Message 44 when none is selected, 47 when that would
    // hide every parameter (then nothing is hidden). True when the view changed.
    bool hideSelected();
    // Back from the Blind or 'Changed' Only view to every parameter.
    void showAllParameters();
    // The targets' values in hexadecimal or decimal; Value is never touched.
    void showHex();
    void showDecimal();
    // The targets back to their shipment (default) values, marked as edited and not yet sent
    // where the value changes.
    void restoreShipmentValues();

    // Rows of the 'Changed' Only view while it is on; 0 otherwise.
    int changedRowCount() const { return changedRowCount_; }

private:
    void refillWithFindBuffer();

    ParameterTable& core_;
    int changedRowCount_ = 0;
};
