#include "ui/ParameterTableWindow.h"

#include "core/ConversionBases.h"
#include "core/Options.h"
#include "core/ParameterFileDrop.h"
#include "core/ProgramContext.h"
#include "core/ValueRules.h"
#include "link/CommLink.h"
#include "monitor/MonitorModel.h"
#include "platform/IniFile.h"
#include "ui/FormActivation.h"
#include "ui/HelpViewer.h"
#include "ui/TableColumnFit.h"
#include "ui/UnderMainWindow.h"

#include <QAction>
#include <QCloseEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QShowEvent>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

namespace {
constexpr int kRowHeight = 16;
constexpr int kFontPixels = 12;
} // namespace

// Paints every cell by the table's drawing rules; texts are drawn as they stand ("&" is no
// mnemonic), on one line, vertically centred.
class ParaGridDelegate : public QStyledItemDelegate {
public:
    ParaGridDelegate(ParameterTable& core, QObject* parent) : QStyledItemDelegate(parent), core_(core) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const int col = index.column();
        const int row = index.row() + 1;
        const bool selected = option.state.testFlag(QStyle::State_Selected);
        const CellStyle st = core_.cellStyle(col, row, selected);
        const bool fixed = col == TC_Title;
        // The fixed column is not an enabled item, but it is not drawn greyed either.
        const QPalette& pal = option.palette;
        QColor bg = st.background;
        if (!bg.isValid())
            bg = pal.color(QPalette::Active, fixed ? QPalette::Button : QPalette::Base);
        QColor fg = st.text;
        if (!fg.isValid())
            fg = pal.color(QPalette::Active, fixed ? QPalette::ButtonText : QPalette::Text);

        painter->save();
        painter->fillRect(option.rect, bg);
        QFont f = option.font;
        f.setBold(st.bold);
        painter->setFont(f);
        painter->setPen(fg);
        // A text wider than its cell is cut short visibly, never clipped into another number.
        const QString text = TableColumnFit::fittedText(
            QFontMetrics(f), index.data(Qt::DisplayRole).toString(), option.rect.width() - 2);
        painter->drawText(option.rect, int(st.alignment | Qt::AlignVCenter) | Qt::TextSingleLine, text);
        painter->restore();
    }

private:
    ParameterTable& core_;
};

// ---- Grid view ------------------------------------------------------------------------------

ParameterGridView::ParameterGridView(QWidget* parent) : QTableView(parent) {
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::ContiguousSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setShowGrid(true);
    setWordWrap(false);
    setTabKeyNavigation(false);
    verticalHeader()->hide();
    verticalHeader()->setMinimumSectionSize(kRowHeight);
    verticalHeader()->setDefaultSectionSize(kRowHeight);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    QHeaderView* h = horizontalHeader();
    h->setSectionResizeMode(QHeaderView::Interactive);
    h->setSectionsClickable(false);
    h->setHighlightSections(false);
    h->setStretchLastSection(false);
    h->setMinimumSectionSize(0);
    setContextMenuPolicy(Qt::CustomContextMenu);
}

void ParameterGridView::keyPressEvent(QKeyEvent* e) {
    // The grid has no whole-table selection and no one-cell copy of its own: Copy is the
    // table's command (highlighted rows with their titles).
    if (e->matches(QKeySequence::Copy) || e->matches(QKeySequence::SelectAll)) {
        e->ignore();
        return;
    }
    if (keyDown && keyDown(e))
        return;
    const QModelIndex before = currentIndex();
    QTableView::keyPressEvent(e);
    if (userMoved && currentIndex() != before)
        userMoved();
}

void ParameterGridView::mousePressEvent(QMouseEvent* e) {
    // The right button opens the pop-up menu on the highlighted block; it does not move it.
    // A click on the fixed title column does nothing.
    const QModelIndex at = indexAt(e->position().toPoint());
    if (e->button() == Qt::RightButton || (at.isValid() && at.column() == TC_Title)) {
        e->accept();
        return;
    }
    QTableView::mousePressEvent(e);
    if (userMoved && e->button() == Qt::LeftButton)
        userMoved();
}

// ---- Window ---------------------------------------------------------------------------------

ParameterTableWindow::ParameterTableWindow(ProgramContext& context, Options& options, CommLink* link,
                                           TableWindowHost& host, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      host_(host), core_(context, options, host.tableCommands(), host.asker()), link_(link), driveLink_(link),
      help_(core_, context, options, HelpViewer::displayTopic) {
    setObjectName(QStringLiteral("Parameter"));
    setWindowTitle(QStringLiteral("Parameter Table"));
    resize(639, 429);
    setMinimumSize(639, 250);
    QFont f = font();
    f.setPixelSize(kFontPixels);
    setFont(f);

    gridView = new ParameterGridView(this);
    gridView->setObjectName(QStringLiteral("StringGrid1"));
    gridView->setModel(core_.model());
    QItemSelectionModel* own = gridView->selectionModel();
    gridView->setSelectionModel(core_.selection());
    delete own;
    delegate_ = new ParaGridDelegate(core_, gridView);
    gridView->setItemDelegate(delegate_);
    gridView->viewport()->installEventFilter(this);
    connect(gridView, &QWidget::customContextMenuRequested, this, &ParameterTableWindow::showPopupMenu);
    connect(gridView, &QAbstractItemView::doubleClicked, this,
            [this](const QModelIndex& at) { help_.openRow(at.row() + 1); });
    // Parameter files dropped anywhere on the window; the grid itself takes no drops.
    setAcceptDrops(true);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(gridView);

    buildPopupMenu();
    gridView->keyDown = [this](QKeyEvent* e) { return gridKey(e); };
    gridView->userMoved = [this] { entry_.cancelForMove(); };
    // Columns as wide as the texts of the drive type and view need, at every refill.
    connect(&core_, &ParameterTable::refilled, this, &ParameterTableWindow::fitColumns);
    connect(&entry_, &ValueEntry::cursorMoved, this, [this](int row) { scrollToRow(row, false); });
    connect(&entry_, &ValueEntry::deleteKey, this, &ParameterTableWindow::restoreShipmentValues);
    connect(&undoRedo_, &UndoRedo::cursorMoved, this, [this](int row) { scrollToRow(row, true); });
    transfer_.setUndo(undoRedo_);
    FormActivation::watch(this, [this] { refreshOnActivation(); });
}

ParameterTableWindow::~ParameterTableWindow() = default;

QAction* ParameterTableWindow::popupItem(TableCommand c, const char* name, const QString& text,
                                         void (ParameterTableWindow::*handler)()) {
    auto* a = new QAction(text, this);
    a->setObjectName(QLatin1String(name));
    a->setCheckable(c == TableCommand::ChgDisp || c == TableCommand::CVDisp || c == TableCommand::Quick ||
                    c == TableCommand::Blind);
    connect(a, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
    popupMenu->addAction(a);
    host_.tableCommands().bindPopupItem(c, a);
    commandHandlers_[std::size_t(c)] = handler;
    return a;
}

void ParameterTableWindow::runCommand(TableCommand command) {
    if (const auto handler = commandHandlers_[std::size_t(command)])
        (this->*handler)();
}

void ParameterTableWindow::buildPopupMenu() {
    popupMenu = new QMenu(this);
    popupMenu->setObjectName(QStringLiteral("PopupMenu1"));
    using C = TableCommand;
    // The shortcuts belong to the main window's twins, which work from this window too; the
    // pop-up only names them.
    PopUndo = popupItem(C::Undo, "PopUndo", QStringLiteral("Undo\tCtrl+Z"), &ParameterTableWindow::undoStep);
    PopRedo = popupItem(C::Redo, "PopRedo", QStringLiteral("Redo"), &ParameterTableWindow::redoStep);
    popupMenu->addSeparator()->setObjectName(QStringLiteral("N7"));
    PopCopy =
        popupItem(C::Copy, "PopCopy", QStringLiteral("Copy\tCtrl+C"), &ParameterTableWindow::copyToClipboard);
    popupMenu->addSeparator()->setObjectName(QStringLiteral("N3"));
    PopDownLoad = popupItem(C::DownLoad, "PopDownLoad", QStringLiteral("Selected Parameter Import\tF3"),
                            &ParameterTableWindow::ImportSelected);
    PopUpLoad = popupItem(C::UpLoad, "PopUpLoad", QStringLiteral("Selected Parameter Export\tF2"),
                          &ParameterTableWindow::exportTargets);
    popupMenu->addSeparator()->setObjectName(QStringLiteral("N5"));
    PopChgDisp = popupItem(C::ChgDisp, "PopChgDisp", QStringLiteral("'Changed' Only"),
                           &ParameterTableWindow::toggleChangedOnly);
    PopCVDisp = popupItem(C::CVDisp, "PopCVDisp", QStringLiteral("Current / Voltage"),
                          &ParameterTableWindow::toggleCurrentVoltage);
    PopQuick =
        popupItem(C::Quick, "PopQuick", QStringLiteral("Quick"), &ParameterTableWindow::toggleQuickView);
    quickSeparator = popupMenu->addSeparator();
    quickSeparator->setObjectName(QStringLiteral("N10"));
    host_.tableCommands().bindSeparatorOf(C::Quick, quickSeparator);
    PopSlct = popupItem(C::Slct, "PopSlct", QStringLiteral("Select\tCtrl+S"),
                        &ParameterTableWindow::toggleSelected);
    PopSlctUnlock = popupItem(C::SlctUnlock, "PopSlctUnlock", QStringLiteral("Select Clear\tCtrl+Alt+S"),
                              &ParameterTableWindow::clearSelectedParameters);
    PopBlind = popupItem(C::Blind, "PopBlind", QStringLiteral("Blind"), &ParameterTableWindow::hideSelected);
    PopDisp = popupItem(C::Disp, "PopDisp", QStringLiteral("All Parameters"),
                        &ParameterTableWindow::showAllParameters);
    popupMenu->addSeparator()->setObjectName(QStringLiteral("N1"));
    PopHexDisp = popupItem(C::HexDisp, "PopHexDisp", QStringLiteral("Hex."), &ParameterTableWindow::showHex);
    PopDecDisp =
        popupItem(C::DecDisp, "PopDecDisp", QStringLiteral("Dec."), &ParameterTableWindow::showDecimal);
    popupMenu->addSeparator()->setObjectName(QStringLiteral("N2"));
    PopDef =
        popupItem(C::Def, "PopDef", QStringLiteral("Shipment"), &ParameterTableWindow::restoreShipmentValues);
    popupMenu->addSeparator()->setObjectName(QStringLiteral("N9"));
    PopParaHelp = popupItem(C::ParaHelp, "PopParaHelp", QStringLiteral("Show Parameter Help\tF10"),
                            &ParameterTableWindow::showParameterHelp);
    popupMenu->addSeparator()->setObjectName(QStringLiteral("N4"));
    PopFind = popupItem(C::Find, "PopFind", QStringLiteral("Find\tCtrl+F"), &ParameterTableWindow::ShowFind);
    popupMenu->addSeparator()->setObjectName(QStringLiteral("N8"));
    PopClose = new QAction(QStringLiteral("Close"), this);
    PopClose->setObjectName(QStringLiteral("PopClose"));
    connect(PopClose, &QAction::triggered, this, &ParameterTableWindow::closeTable);
    popupMenu->addAction(PopClose);
}

void ParameterTableWindow::showPopupMenu(const QPoint& pos) {
    // A monitor run owns the link: the table stays readable, its commands wait.
    if (!host_.tableCommands().popupMenuEnabled())
        return;
    entry_.cancelForMove();
    popupMenu->popup(gridView->viewport()->mapToGlobal(pos));
}

QRect ParameterTableWindow::placementUnder(const QRect& mainFrame) {
    return UnderMainWindow::underAtMainWidth(mainFrame, QSize());
}

void ParameterTableWindow::placeAndFill() {
    if (core_.context().startupAborted)
        return;
    // Under the main window at its width, or at the width the columns made it.
    placement_ = new UnderMainWindow(
        *this, [this] { return host_.mainFrameGeometry(); },
        [this](const QRect& main, const QSize&) {
            QRect r = placementUnder(main);
            const QMargins frame = UnderMainWindow::frameMargins(*this);
            r.setWidth(std::max(r.width(), fittedWidth_ + frame.left() + frame.right()));
            return r;
        });
    placement_->place();
    ApplyLanguage();
    RefreshAll();
    core_.setCursorRow(1);
}

void ParameterTableWindow::ApplyLanguage() {
    const IniFile ini(core_.context().language.iniPath);
    setWindowTitle(ini.readString(QStringLiteral("Parameter"), QStringLiteral("Form"),
                                  QStringLiteral("Parameter Table")));
    const struct {
        QAction* item;
        const char* key;
        const char* def;
    } texts[] = {
        {PopUndo, "Menu22", "Undo"},
        {PopRedo, "Menu23", "Redo"},
        {PopCopy, "Menu24", "Copy"},
        {PopDownLoad, "Menu27", "Selected Parameter Import"},
        {PopUpLoad, "Menu28", "Selected Parameter Export"},
        {PopChgDisp, "Menu29", "'Changed' Only"},
        {PopCVDisp, "Menu2l", "Current/Voltage"},
        {PopQuick, "Menu2k", "Quick"},
        {PopSlct, "Menu2a", "Select"},
        {PopSlctUnlock, "Menu2b", "Select Clear"},
        {PopBlind, "Menu2c", "Blind"},
        {PopDisp, "Menu2d", "All Parameters"},
        {PopHexDisp, "Menu2e", "Hex."},
        {PopDecDisp, "Menu2f", "Dec."},
        {PopDef, "Menu2g", "Shipment"},
        {PopParaHelp, "Menu2h", "Show Parameter Help"},
        {PopFind, "Menu2i", "Find"},
    };
    for (const auto& t : texts) {
        // Keep the shortcut named after the caption.
        const QString old = t.item->text();
        const qsizetype tab = old.indexOf(QLatin1Char('\t'));
        const QString text =
            ini.readString(QStringLiteral("Main"), QLatin1String(t.key), QLatin1String(t.def));
        t.item->setText(tab >= 0 ? text + old.mid(tab) : text);
    }
    PopClose->setText(
        ini.readString(QStringLiteral("Parameter"), QStringLiteral("PopMenu1"), QStringLiteral("Close")));
}

void ParameterTableWindow::RefreshAll() {
    core_.refreshAll();
    setWindowTitle(core_.caption());
    host_.UpdateCurrentVoltageCommands();
}

void ParameterTableWindow::FillRows() {
    core_.FillRows();
}
void ParameterTableWindow::UpdateLimits() {
    core_.UpdateLimits();
}
void ParameterTableWindow::FillFindBuffer() {
    core_.FillFindBuffer();
}

QList<QStringList> ParameterTableWindow::rows() const {
    QList<QStringList> out;
    const TextGrid& g = core_.grid();
    out.reserve(g.rowCount());
    for (int r = 0; r < g.rowCount(); ++r)
        out.append(g.row(r));
    return out;
}

void ParameterTableWindow::Show() {
    show();
    raise();
    activateWindow();
}

void ParameterTableWindow::FocusGrid() {
    if (!isVisible() || !isEnabled() || !gridView->isEnabled())
        return;
    activateWindow();
    gridView->setFocus();
}

void ParameterTableWindow::markTableShown() {
    host_.tableCommands().setTableShown(true);
}

void ParameterTableWindow::refreshOnActivation() {
    readConversionBases();
    undoRedo_.readDepth();
    host_.setParaTableAct(true);
    host_.CheckSpSetup();
}

void ParameterTableWindow::applyColumnWidths() {
    const auto widths = core_.columnWidths(gridView->viewport()->width(), neededWidths_);
    for (int c = 0; c < TC_Count; ++c)
        gridView->setColumnWidth(c, widths[c]);
}

void ParameterTableWindow::fitColumns() {
    neededWidths_ =
        TableColumnFit::neededWidths(core_.grid(), gridView->font(), gridView->horizontalHeader());
    applyColumnWidths();
    // A hidden grid's client width is not yet its window's: the window widens once shown.
    if (isVisible())
        widenToFit();
}

void ParameterTableWindow::widenToFit() {
    // Wider than the first width only when the names and numbers of this drive type need it,
    // and never past the screen's right edge.
    const int client = gridView->viewport()->width();
    int grow = core_.fittingClientWidth(client, neededWidths_) - client;
    if (const QScreen* screen = this->screen())
        grow = std::min(grow, screen->availableGeometry().right() - frameGeometry().right());
    if (grow > 0) {
        fittedWidth_ = width() + grow;
        if (placement_)
            placement_->widen(fittedWidth_);
        else
            resize(fittedWidth_, height());
    }
}

void ParameterTableWindow::markTableClosed() {
    host_.tableCommands().setTableShown(false);
}

void ParameterTableWindow::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    // Coming back from the minimized state is no new showing.
    if (!e->spontaneous()) {
        markTableShown();
        // Once the grid has its client width (after the layout that showing starts).
        QMetaObject::invokeMethod(this, &ParameterTableWindow::widenToFit, Qt::QueuedConnection);
    }
}

void ParameterTableWindow::closeEvent(QCloseEvent* e) {
    // Closing only hides the window.
    e->accept();
    markTableClosed();
}

bool ParameterTableWindow::eventFilter(QObject* watched, QEvent* e) {
    if (watched == gridView->viewport() && e->type() == QEvent::Resize)
        applyColumnWidths();
    return QWidget::eventFilter(watched, e);
}

// ---- Commands -------------------------------------------------------------------------------
// The commands below hand over to value entry, undo and redo, the view and mark commands,
// find, the selected import and export and the parameter help.

void ParameterTableWindow::undoStep() {
    undoRedo_.undoStep();
}
void ParameterTableWindow::redoStep() {
    undoRedo_.redoStep();
}
void ParameterTableWindow::copyToClipboard() {
    views_.copyToClipboard();
}
void ParameterTableWindow::toggleChangedOnly() {
    views_.toggleChangedOnly();
}
void ParameterTableWindow::toggleCurrentVoltage() {
    // Turned on from the main window's menu the table was not activated since the parameter
    // set changed: the bases are read for the set shown.
    if (core_.commands().enabled(TableCommand::CVDisp) && !core_.currentVoltage())
        readConversionBases();
    views_.toggleCurrentVoltage();
}

void ParameterTableWindow::readConversionBases() {
    // From the drive only where the options ask for it, and never from a drive the link
    // knows to be absent: without the option an activation leaves the link to the special-
    // setup check, which probes in the background. Otherwise from the working table, which
    // the capacity file filled.
    if (link_ && core_.options().onlineCurrentVoltageBase.checked() &&
        link_->keptConnection() != std::optional<bool>(false))
        ReadConversionBases(*link_, core_.context(), core_.options(), core_.conversionBases(), true);
    else
        core_.conversionBases() = workingConversionBases(core_.context());
}

void ParameterTableWindow::toggleQuickView() {
    views_.toggleQuickView();
}
void ParameterTableWindow::toggleSelected() {
    views_.toggleSelected();
}
void ParameterTableWindow::clearSelectedParameters() {
    views_.clearSelectedParameters();
}
void ParameterTableWindow::hideSelected() {
    if (views_.hideSelected())
        FocusGrid();
}
void ParameterTableWindow::showAllParameters() {
    if (!core_.commands().enabled(TableCommand::Disp))
        return;
    views_.showAllParameters();
    FocusGrid();
}
void ParameterTableWindow::showHex() {
    views_.showHex();
}
void ParameterTableWindow::showDecimal() {
    views_.showDecimal();
}
void ParameterTableWindow::restoreShipmentValues() {
    views_.restoreShipmentValues();
}
void ParameterTableWindow::showParameterHelp() {
    help_.showParameterHelp();
}
void ParameterTableWindow::ShowFind() {
    if (!core_.commands().enabled(TableCommand::Find))
        return;
    find_.start();
    if (!findDialog) {
        findDialog = new FindDialog(this);
        findDialog->ApplyLanguage(core_.context().language.iniPath);
        connect(findDialog, &FindDialog::findNext, this, &ParameterTableWindow::findNextClicked);
        connect(findDialog, &FindDialog::closed, this, &ParameterTableWindow::findDialogClosed);
        // The buffer does not follow the 'Changed' Only and Quick views.
        connect(&core_.commands(), &TableCommands::changed, findDialog,
                [this] { findDialog->setFindOffered(core_.commands().enabled(TableCommand::Find)); });
    }
    findDialog->setFindOffered(true);
    const ParameterTable::GridRect block = core_.Selection();
    const QString text = block.isValid() ? core_.grid().cell(block.Left, block.Top) : QString();
    if (!text.isEmpty())
        findDialog->setFindText(text);
    findDialog->show();
    findDialog->raise();
    findDialog->activateWindow();
}

void ParameterTableWindow::findNextClicked() {
    if (!findDialog || !core_.commands().enabled(TableCommand::Find))
        return;
    const int row = find_.findNext(findDialog->findText(), findDialog->matchCase(), findDialog->wholeWord());
    if (row > 0)
        gridView->scrollTo(core_.model()->index(row - 1, TC_Value), QAbstractItemView::PositionAtTop);
}

void ParameterTableWindow::findDialogClosed() {
    find_.close();
    FocusGrid();
}

void ParameterTableWindow::ImportSelected() {
    transfer_.ImportSelected();
}
void ParameterTableWindow::exportTargets() {
    transfer_.exportTargets();
}

// Keys of the grid: Enter, Backspace, Esc and Delete are the table's; an arrow cancels the
// typing and then moves; a printable character is typed (or ignored), never a row search.
bool ParameterTableWindow::gridKey(QKeyEvent* e) {
    using K = ValueEntry::Key;
    switch (e->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        entry_.pressKey(K::Enter);
        return true;
    case Qt::Key_Backspace:
        entry_.pressKey(K::Backspace);
        return true;
    case Qt::Key_Escape:
        entry_.pressKey(K::Escape);
        return true;
    case Qt::Key_Delete:
        entry_.pressKey(K::Delete);
        return true;
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
        entry_.pressKey(K::Arrow);
        return false;
    default:
        break;
    }
    const QString text = e->text();
    if (text.size() != 1 || !text.front().isPrint())
        return false;
    entry_.typeCharacter(text.front());
    return true;
}

void ParameterTableWindow::scrollToRow(int row, bool toTop) {
    const QModelIndex at = core_.model()->index(row - 1, TC_Value);
    const QRect r = gridView->visualRect(at);
    if (r.top() >= 0 && r.bottom() <= gridView->viewport()->height())
        return;
    gridView->scrollTo(at, toTop ? QAbstractItemView::PositionAtTop : QAbstractItemView::EnsureVisible);
}

void ParameterTableWindow::closeTable() {
    close();
}

// ---- Dropped files --------------------------------------------------------------------------

namespace {
// File managers offer files as URLs. Reading a file is a copy: a source whose move were
// accepted would delete the file afterwards.
bool acceptFiles(QDropEvent* e) {
    if (!e->mimeData() || !e->mimeData()->hasUrls())
        return false;
    if (e->possibleActions() & Qt::CopyAction)
        e->setDropAction(Qt::CopyAction);
    else if (e->possibleActions() & Qt::LinkAction)
        e->setDropAction(Qt::LinkAction);
    else
        return false;
    e->accept();
    return true;
}
} // namespace

void ParameterTableWindow::dragEnterEvent(QDragEnterEvent* e) {
    if (!acceptFiles(e))
        e->ignore();
}

void ParameterTableWindow::dragMoveEvent(QDragMoveEvent* e) {
    if (!acceptFiles(e))
        e->ignore();
}

void ParameterTableWindow::dropEvent(QDropEvent* e) {
    if (!acceptFiles(e)) {
        e->ignore();
        return;
    }
    const QStringList paths = ParameterFileDrop::localFiles(e->mimeData()->urls());
    // The source waits for the drop to end; the load's boxes come after it.
    QMetaObject::invokeMethod(
        this, [this, paths] { handleDroppedFiles(paths); }, Qt::QueuedConnection);
}

void ParameterTableWindow::handleDroppedFiles(const QStringList& paths) {
    // A value being typed belongs to the rows the file may replace.
    core_.CancelPendingEntry();
    if (loadDroppedFiles)
        loadDroppedFiles(paths);
}

// ---- Value rules --------------------------------------------------------------------------

int ParameterTableWindow::IndexOfComNo(const QString& comNo) const {
    return ValueRules::IndexOfComNo(core_.context(), comNo);
}
qint64 ParameterTableWindow::ValueOfComNo(const QString& comNo) const {
    return ValueRules::ValueOfComNo(core_.context(), comNo);
}
QString ParameterTableWindow::ValueTextOfComNo(const QString& comNo) const {
    return ValueRules::ValueTextOfComNo(core_.context(), comNo);
}
QString ParameterTableWindow::FormatValue(int index, double displayValue) const {
    return ValueRules::FormatValue(core_.context(), index, displayValue);
}
QString ParameterTableWindow::ToHexText(double raw, bool* ok) {
    return ValueRules::ToHexText(raw, ok);
}
qint64 ParameterTableWindow::ParseHex(const QString& digits, int index, bool* ok) const {
    return ValueRules::ParseHex(core_.context(), digits, index, ok);
}
QString ParameterTableWindow::CurrentVoltageText(const QString& rawText, int index, bool* ok) const {
    return ValueRules::CurrentVoltageText(core_.context(), core_.conversionBases(), rawText, index, ok);
}
QString ParameterTableWindow::ParseCurrentVoltage(const QString& text, int index, bool* ok) const {
    return ValueRules::ParseCurrentVoltage(core_.context(), core_.conversionBases(), text, index, ok);
}
