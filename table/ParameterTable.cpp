#include "table/ParameterTable.h"

#include "core/Messages.h"
#include "core/Options.h"
#include "core/ParameterStore.h"
#include "core/ProgramContext.h"
#include "core/StoreCells.h"
#include "core/ValueRules.h"
#include "link/CoreNotices.h"
#include "platform/WaitCursor.h"

#include <QHash>

#include <algorithm>
#include <cmath>

namespace {

using namespace StoreCells;

// Colours of the drawing rules, as the settings store colours (0x00BBGGRR).
constexpr int kBlue = 0xFF0000;
constexpr int kDarkBlue = 0xA00000;
constexpr int kRed = 0x0000FF;
constexpr int kSilver = 0xC0C0C0;
constexpr int kWhite = 0xFFFFFF;

// Mul as the divisor of a display: a whole number other than 0 (anything else would be a
// conversion error or a division by zero where the table divides).
bool mulAsInteger(const ProgramContext& context, int index, double& m) {
    const double v = definition(context, index).multiplier;
    if (v == 0 || v != std::trunc(v))
        return false;
    m = v;
    return true;
}

bool mulAsFloat(const ProgramContext& context, int index, double& m) {
    m = definition(context, index).multiplier;
    return m != 0.0;
}

// An empty value text counts as 0.
bool readValue(const QString& text, double& v) {
    if (text.isEmpty()) {
        v = 0;
        return true;
    }
    return ValueRules::parseNumber(text, v);
}

// The unit column of a current or voltage parameter in the current/voltage display.
QString stepText(double base, double m, const char* unit) {
    const double step = 0.01 * base / m;
    return (step < 0.1 ? QStringLiteral("0.1") : ValueRules::fixedText(step, 2)) + QLatin1String(unit);
}

} // namespace

// ---- Model ----------------------------------------------------------------------------------

ParameterTableModel::ParameterTableModel(ParameterTable& core) : core_(core) {}

int ParameterTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : std::max(core_.grid().rowCount() - 1, 0);
}

int ParameterTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : TC_Count;
}

QVariant ParameterTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || role != Qt::DisplayRole)
        return {};
    return core_.grid().cell(index.column(), index.row() + 1);
}

QVariant ParameterTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal)
        return {};
    if (role == Qt::DisplayRole)
        return core_.grid().cell(section, 0);
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::Alignment(Qt::AlignCenter));
    return {};
}

Qt::ItemFlags ParameterTableModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    // The title column is the grid's fixed column: never selected, never current (the view
    // steps over cells that are not enabled).
    if (index.column() == TC_Title)
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

// ---- Core -----------------------------------------------------------------------------------

ParameterTable::ParameterTable(ProgramContext& context, Options& options, TableCommands& commands,
                               Asker& asker)
    : context_(context), options_(options), commands_(commands), asker_(asker) {}

QString ParameterTable::caption() const {
    const ProgramContext& context = context_;
    return Msg(context_, MsgId::TableTitle) + QLatin1Char(' ') + context.drive.identity.typeName +
           context.drive.identity.formName + QLatin1String(" (CPU Ver.") + context.drive.identity.cpuVersion +
           QLatin1Char(')');
}

bool ParameterTable::refreshAll() {
    ProgramContext& context = context_;
    TableCommands& c = commands_;
    // Back to the view of all parameters (or the Blind view a file brought). The commands
    // that 'Changed' Only and Quick switch off come back on, and with Blind on, the two views
    // that cannot be combined with it stay off, as Blind itself leaves them.
    c.setChecked(TableCommand::ChgDisp, false);
    c.setEnabled(TableCommand::ChgDisp, !context.tableView.blindOn);
    c.setChecked(TableCommand::Blind, context.tableView.blindOn);
    c.setEnabled(TableCommand::Blind, true);
    c.setEnabled(TableCommand::Disp, context.tableView.blindOn);
    c.setChecked(TableCommand::Quick, false);
    c.setEnabled(TableCommand::Quick, !context.tableView.blindOn);
    c.setChecked(TableCommand::CVDisp, false);
    c.setEnabled(TableCommand::CVDisp, true);
    c.setEnabled(TableCommand::Slct, true);
    c.setEnabled(TableCommand::SlctUnlock, true);
    c.setEnabled(TableCommand::Find, true);
    // The current/voltage display is off again, so Hex. and Dec. can be chosen.
    c.setEnabled(TableCommand::HexDisp, true);
    c.setEnabled(TableCommand::DecDisp, true);
    c.setEnabled(TableCommand::Undo, false);
    c.setEnabled(TableCommand::Redo, false);

    // A value being typed belongs to the old rows.
    entry_.end();

    const int last = std::min(context.tableView.lastIndex, context.drive.lastIndex());
    if (context.tableView.blindOn) {
        blindRowCount_ = context.tableView.lastIndex - context.tableView.blindCount;
        for (int i = 0; i <= last; ++i) {
            set(context_, i, &WorkingParameter::changed, false);
            set(context_, i, &WorkingParameter::toWrite, false);
        }
    } else {
        for (int i = 0; i <= last; ++i) {
            if (WorkingParameter* w = editRecord(context_, i))
                w->selected = w->changed = w->toWrite = w->hex = w->blind = false;
        }
    }

    if (ParameterStore* p = store(context_)) {
        p->history().clear();
        p->history().setDepth(options_.undoDepth.position());
    }

    const bool ok = FillRows();
    findBuffer_.clear();
    FillFindBuffer();
    return ok;
}

bool ParameterTable::FillRows() {
    const WaitCursor busy;
    const ProgramContext& context = context_;
    searchStartRow_ = 0;

    // The cursor, the current cell and the highlighted block follow their parameters (by
    // number) into the new rows: a typed value must never land in another parameter.
    const bool hadRows = grid_.rowCount() > 1;
    const QString cursorNo = numberOfRow(cursorRow_);
    const int keepCol = currentCol();
    const QString currentNo = numberOfRow(currentRow());
    const GridRect keepBlock = selection_.hasSelection() ? Selection() : GridRect{};
    QStringList blockNos;
    if (keepBlock.isValid())
        for (int row = keepBlock.Top; row <= keepBlock.Bottom; ++row)
            blockNos.append(numberOfRow(row));
    model_.beginResetModel();

    // Every parameter could be kept; the rows not used are cut off afterwards, so the row
    // count always matches the rows filled, whatever the stored counters say.
    const int last = std::min(context.tableView.lastIndex, context.drive.lastIndex());
    grid_.resize(TC_Count, std::max(last + 2, 1));
    // The changed column has no title.
    const MsgId headerMsg[TC_Count - 1] = {MsgId::ColumnTitle, MsgId::ColumnComNo,    MsgId::ColumnFunction,
                                           MsgId::ColumnValue, MsgId::ColumnLowLimit, MsgId::ColumnHighLimit,
                                           MsgId::ColumnUnit};
    for (int col = 0; col < TC_Count; ++col)
        grid_.setCell(col, 0, col == TC_Changed ? QString() : Msg(context_, headerMsg[col]));

    const bool chg = changedOnly(), blind = blindView(), quick = quickView(), cv = currentVoltage();
    const QString changedMark = Msg(context_, MsgId::ChangedMark);
    bool ok = true;
    int r = 1;
    for (int p = 0; p <= last && ok; ++p) {
        if (chg && !at(context_, p).changed)
            continue;
        if (blind && at(context_, p).blind)
            continue;
        if (quick && !definition(context_, p).quick)
            continue;

        const QString& comNo = definition(context_, p).comNo;
        grid_.setCell(TC_Title, r, definition(context_, p).title);
        grid_.setCell(TC_ComNo, r, comNo);
        grid_.setCell(TC_Name, r, definition(context_, p).name);

        double m = 1, v = 0;
        const QString& valueCell = StoreCells::value(context_, p);
        const QString valueText = valueCell.isEmpty() ? QStringLiteral("0") : valueCell;
        if (!mulAsInteger(context_, p, m) || !readValue(valueText, v)) {
            ok = false;
            break;
        }
        QString shown;
        if (cv)
            shown = ValueRules::CurrentVoltageText(context_, *bases_, valueText, p, &ok);
        else if (at(context_, p).hex)
            shown = QLatin1Char('h') + ValueRules::ToHexText(v, &ok);
        else
            shown = ValueRules::FormatValue(context_, p, v / m);
        if (!ok)
            break;
        grid_.setCell(TC_Value, r, shown);

        QString unit = definition(context_, p).unit;
        if (cv) {
            const QString& kind = definition(context_, p).currentVoltKind;
            if (kind == QLatin1String("C"))
                unit = stepText(bases_->ampere, m, "A");
            else if (kind == QLatin1String("V"))
                unit = stepText(bases_->volt, m, "V");
        }
        grid_.setCell(TC_Unit, r, unit);

        const int changed = UpdateChangedFlag(comNo, v, &ok);
        if (!ok)
            break;
        grid_.setCell(TC_Changed, r,
                      changed == 1 && definition(context_, p).flag != 2 ? changedMark : kNoMark);
        ++r;
    }
    setRowCount(r);
    numberColumn_.clear();
    numberColumn_.reserve(r);
    for (int row = 0; row < r; ++row)
        numberColumn_.append(grid_.cell(TC_ComNo, row));

    if (ok)
        ok = updateLimits(false);
    else
        lastDataRow_ = grid_.rowCount() - 2;
    model_.endResetModel();

    restorePosition(hadRows, cursorNo, keepCol, currentNo, keepBlock, blockNos);
    emit refilled();
    if (!ok)
        ShowMsg(asker_, context_, MsgId::NotANumber);
    return ok;
}

bool ParameterTable::UpdateLimits() {
    const bool ok = updateLimits(true);
    if (!ok)
        ShowMsg(asker_, context_, MsgId::NotANumber);
    return ok;
}

bool ParameterTable::updateLimits(bool notify) {
    const WaitCursor busy;
    lastDataRow_ = grid_.rowCount() - 2;
    searchStartRow_ = 0;
    const bool cv = currentVoltage();
    bool ok = true;
    for (int r = 1; r <= lastDataRow_ + 1 && ok; ++r) {
        const int i = ValueRules::IndexOfComNo(context_, grid_.cell(TC_ComNo, r));
        if (i < 0)
            continue;
        if (definition(context_, i).highRule != 0)
            set(context_, i, &WorkingParameter::high,
                ValueRules::ValueTextOfComNo(context_, definition(context_, i).high));
        if (definition(context_, i).lowRule != 0) {
            const QString t = ValueRules::ValueTextOfComNo(context_, definition(context_, i).low);
            QString low = t;
            if (definition(context_, i).lowRule == -1) {
                // Negated as a number: a negative referenced value must not become "--500".
                double v = 0;
                if (ValueRules::parseNumber(t, v))
                    low = v == 0 ? QStringLiteral("0") : ValueRules::floatText(-v);
                else
                    low = QLatin1Char('-') + t;
            }
            set(context_, i, &WorkingParameter::low, low);
        }
        double m = 1;
        if (!mulAsFloat(context_, i, m)) {
            ok = false;
            break;
        }
        for (auto [col, src] :
             {std::pair{TC_High, &WorkingParameter::high}, std::pair{TC_Low, &WorkingParameter::low}}) {
            const QString& cell = at(context_, i).*src;
            const QString text = cell.isEmpty() ? QStringLiteral("0") : cell;
            QString shown;
            if (cv) {
                shown = ValueRules::CurrentVoltageText(context_, *bases_, text, i, &ok);
            } else {
                double v = 0;
                ok = ValueRules::parseNumber(text, v);
                if (ok)
                    shown = ValueRules::FormatValue(context_, i, v / m);
            }
            if (!ok)
                break;
            grid_.setCell(col, r, shown);
        }
    }
    if (notify && grid_.rowCount() > 1)
        emit model_.dataChanged(model_.index(0, TC_Low), model_.index(grid_.rowCount() - 2, TC_High));
    return ok;
}

void ParameterTable::FillFindBuffer() {
    const WaitCursor busy;
    for (int r = 1; r < grid_.rowCount(); ++r)
        findBuffer_.append(grid_.cell(TC_ComNo, r) + QLatin1Char(',') + grid_.cell(TC_Name, r));
}

int ParameterTable::indexOfRow(int row) const {
    if (row < 1 || row >= grid_.rowCount())
        return -1;
    return filtered() ? ValueRules::IndexOfComNo(context_, grid_.cell(TC_ComNo, row)) : row - 1;
}

CellStyle ParameterTable::cellStyle(int col, int row, bool selected) const {
    CellStyle st;
    if (row == 0)
        return st;
    switch (col) {
    case TC_Name:
        st.alignment = Qt::AlignLeft;
        break;
    case TC_Low:
    case TC_High:
    case TC_Unit:
        st.alignment = Qt::AlignRight;
        break;
    default:
        break;
    }

    const Options& o = options_;
    if (col == TC_Value)
        st.background = o.settingValueCellColor.color();
    else if (col != TC_Title)
        st.background = o.otherValueCellColor.color();

    const int i = indexOfRow(row);
    const bool selectMark = at(context_, i).selected;
    if (col == TC_Value && selectMark)
        st.background = ColorOption::fromBgr(kBlue);
    if (!filtered() && o.currentVoltageCellColor.checked() && currentVoltage() && col == TC_Unit) {
        const QString& kind = definition(context_, i).currentVoltKind;
        if (kind == QLatin1String("C") || kind == QLatin1String("V"))
            st.background = o.currentVoltageColor.color();
    }
    if (selected)
        st.background = ColorOption::fromBgr(kDarkBlue);

    if (col >= TC_ComNo) {
        const int flag = definition(context_, i).flag;
        if (flag == 1)
            st.text = ColorOption::fromBgr(kRed);
        else if (flag == 2)
            st.text = ColorOption::fromBgr(kSilver);
        if (col == TC_Value) {
            st.bold = at(context_, i).toWrite;
            if (at(context_, i).lastTransfer == LastTransfer::Failed)
                st.text = ColorOption::fromBgr(kSilver);
            if (selectMark)
                st.text = ColorOption::fromBgr(kWhite);
        }
    }
    if (selected)
        st.text = o.selectedTextColor.color();
    return st;
}

std::array<int, TC_Count> ParameterTable::columnWidths(int clientWidth) const {
    std::array<int, TC_Count> w{};
    for (int c = 0; c < TC_Count; ++c)
        w[c] = int(std::trunc(double(clientWidth) * double(columnRatio_[c])));
    return w;
}

std::array<int, TC_Count> ParameterTable::columnWidths(int clientWidth,
                                                       const std::array<int, TC_Count>& needed) const {
    std::array<int, TC_Count> w = columnWidths(clientWidth);
    const int nameShare = w[TC_Name];
    int lacking = 0;
    for (int c = 0; c < TC_Count; ++c) {
        if (c != TC_Name && needed[c] > w[c]) {
            lacking += needed[c] - w[c];
            w[c] = needed[c];
        }
    }
    // What the numbers lack comes out of the name column's share; where the names then lack
    // room, the limit and value columns give up what they have beyond their numbers.
    int name = nameShare - lacking;
    for (int c : {TC_High, TC_Low, TC_Value}) {
        if (name >= needed[TC_Name])
            break;
        const int spare = std::min(w[c] - std::max(needed[c], 0), needed[TC_Name] - name);
        if (spare > 0) {
            w[c] -= spare;
            name += spare;
        }
    }
    // The names never yield below their share (or below what they need, where that is less):
    // the window widens, or else the grid scrolls sideways, rather than cut names short.
    w[TC_Name] = std::max(name, std::min(nameShare, needed[TC_Name]));
    return w;
}

int ParameterTable::fittingClientWidth(int clientWidth, const std::array<int, TC_Count>& needed) const {
    // How many pixels the width lacks: for all columns together, or for the names.
    auto lacking = [&](int width) {
        const auto w = columnWidths(width, needed);
        int sum = 0;
        for (int x : w)
            sum += x;
        return std::max({sum - width, needed[TC_Name] - w[TC_Name], 0});
    };
    // The widths grow with the client width at most by it, so one step per missing pixel
    // ends the search.
    int width = std::max(clientWidth, 0);
    for (int guard = 0; guard < 100000 && lacking(width) > 0; ++guard)
        width += std::max(1, lacking(width) / 2);
    return width;
}

double ParameterTable::ClampToRange(const QString& valueText, int index) {
    bool out = false;
    ValueRules::Failure failure;
    const double v = ValueRules::ClampToRange(context_, valueText, index, out, failure);
    if (failure)
        ShowMsg(asker_, context_, *failure, BoxIcon::Warning);
    if (out)
        outOfRange_ = true;
    return v;
}

QString ParameterTable::DefaultOf(const QString& comNo) {
    ValueRules::Failure failure;
    const QString def = ValueRules::DefaultOf(context_, comNo, &failure);
    if (failure)
        ShowMsg(asker_, context_, *failure, BoxIcon::Warning);
    return def;
}

int ParameterTable::UpdateChangedFlag(const QString& comNo, double raw, bool* ok) {
    ValueRules::Failure failure;
    const int flag = ValueRules::UpdateChangedFlag(context_, comNo, raw, ok, &failure);
    if (failure)
        ShowMsg(asker_, context_, *failure, BoxIcon::Warning);
    return flag;
}

int ParameterTable::storeValue(int index, const QString& text, double raw, bool* ok) {
    ValueRules::Failure failure;
    const int flag = ValueRules::storeValue(context_, index, text, raw, ok, &failure);
    if (failure)
        ShowMsg(asker_, context_, *failure, BoxIcon::Warning);
    return flag;
}

int ParameterTable::GridRowOfIndex(int index) {
    return ValueRules::GridRowOfIndex(context_, index, numberColumn_, searchStartRow_, lastDataRow_);
}

int ParameterTable::currentCol() const {
    const QModelIndex i = selection_.currentIndex();
    return i.isValid() ? i.column() : -1;
}

int ParameterTable::currentRow() const {
    const QModelIndex i = selection_.currentIndex();
    return i.isValid() ? i.row() + 1 : -1;
}

void ParameterTable::setCurrentCell(int col, int row) {
    const QModelIndex i = model_.index(row - 1, col);
    if (i.isValid())
        selection_.setCurrentIndex(i, QItemSelectionModel::ClearAndSelect);
}

void ParameterTable::setCell(int col, int row, const QString& text) {
    if (!grid_.contains(col, row))
        return;
    grid_.setCell(col, row, text);
    if (row >= 1) {
        const QModelIndex i = model_.index(row - 1, col);
        emit model_.dataChanged(i, i);
    } else {
        emit model_.headerDataChanged(Qt::Horizontal, col, col);
    }
}

void ParameterTable::repaintAll() {
    if (grid_.rowCount() > 1)
        emit model_.dataChanged(model_.index(0, 0), model_.index(grid_.rowCount() - 2, TC_Count - 1));
}

void ParameterTable::CancelPendingEntry() {
    if (entry_.active() && cursorRow_ >= 1)
        setCell(TC_Value, cursorRow_, entry_.savedCellText());
    entry_.end();
}

void ParameterTable::setRowCount(int rows) {
    grid_.setRowCount(std::max(rows, 1));
}

void ParameterTable::clampCursor() {
    const int lastRow = grid_.rowCount() - 1;
    cursorRow_ = std::clamp(cursorRow_, 1, std::max(lastRow, 1));
}

QString ParameterTable::numberOfRow(int row) const {
    return row >= 1 && row < grid_.rowCount() ? grid_.cell(TC_ComNo, row) : QString();
}

void ParameterTable::restorePosition(bool hadRows, const QString& cursorNo, int keepCol,
                                     const QString& currentNo, const GridRect& keepBlock,
                                     const QStringList& blockNos) {
    const int lastRow = grid_.rowCount() - 1;
    if (!hadRows) {
        // The first rows: the cursor row as set at creation.
        clampCursor();
        if (lastRow >= 1)
            setCurrentCell(keepCol >= 1 ? keepCol : 1, cursorRow_);
        return;
    }
    QHash<QString, int> rowOfNumber;
    rowOfNumber.reserve(lastRow);
    for (int row = lastRow; row >= 1; --row)
        rowOfNumber.insert(numberColumn_[row], row);
    auto rowOf = [&](const QString& number) { return number.isEmpty() ? 0 : rowOfNumber.value(number, 0); };

    // A parameter the view no longer shows leaves no cursor row behind: the next typed
    // value is refused rather than given to whichever parameter moved into its place.
    cursorRow_ = rowOf(cursorNo);
    const int current = rowOf(currentNo);
    if (current >= 1)
        setCurrentCell(keepCol >= 1 ? keepCol : 1, current);
    else
        selection_.clear();

    // The block stays only where its parameters are still shown one under the other;
    // otherwise it would cover parameters that were not highlighted.
    if (!keepBlock.isValid() || current < 1)
        return;
    int top = 0, bottom = 0;
    bool runs = true;
    for (const QString& number : blockNos) {
        const int row = rowOf(number);
        if (row < 1)
            continue;
        if (top == 0)
            top = row;
        else if (row != bottom + 1)
            runs = false;
        bottom = row;
    }
    if (runs && top >= 1)
        setSelection({keepBlock.Left, top, keepBlock.Right, bottom});
}

ParameterTable::GridRect ParameterTable::Selection() const {
    GridRect r;
    const QItemSelection sel = selection_.selection();
    for (const QItemSelectionRange& range : sel) {
        const int top = range.top() + 1, bottom = range.bottom() + 1;
        if (!r.isValid()) {
            r = {range.left(), top, range.right(), bottom};
            continue;
        }
        r.Left = std::min(r.Left, range.left());
        r.Top = std::min(r.Top, top);
        r.Right = std::max(r.Right, range.right());
        r.Bottom = std::max(r.Bottom, bottom);
    }
    if (!r.isValid() && currentRow() >= 1)
        r = {currentCol(), currentRow(), currentCol(), currentRow()};
    return r;
}

void ParameterTable::setSelection(const GridRect& block) {
    const int lastRow = grid_.rowCount() - 1;
    const int top = std::max(block.Top, 1), bottom = std::min(block.Bottom, lastRow);
    const int left = std::max(block.Left, int(TC_ComNo)), right = std::min(block.Right, TC_Count - 1);
    if (top > bottom || left > right)
        return;
    selection_.select(QItemSelection(model_.index(top - 1, left), model_.index(bottom - 1, right)),
                      QItemSelectionModel::ClearAndSelect);
}

void ParameterTable::recountDataRows() {
    lastDataRow_ = grid_.rowCount() - 2;
    searchStartRow_ = 0;
}
