#include "shell/StoreInspector.h"

#include "core/ParameterStore.h"
#include "core/ProgramContext.h"
#include "ui/UnderMainWindow.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTableView>
#include <QVBoxLayout>

TextGridModel::TextGridModel(const TextGrid* grid, QObject* parent)
    : QAbstractTableModel(parent), grid_(grid) {}

int TextGridModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : grid_->rowCount();
}

int TextGridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : grid_->colCount();
}

QVariant TextGridModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid())
        return QVariant();
    return grid_->cell(index.column(), index.row());
}

QVariant TextGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role == Qt::DisplayRole)
        return section;
    return QAbstractTableModel::headerData(section, orientation, role);
}

void TextGridModel::reload(bool sameSize) {
    if (sameSize && rowCount() > 0 && columnCount() > 0) {
        emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1), {Qt::DisplayRole});
        return;
    }
    beginResetModel();
    endResetModel();
}

namespace {

QTableView* makeTable(QAbstractItemModel* model, QWidget* parent) {
    auto* view = new QTableView(parent);
    view->setModel(model);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    // The columns share the width equally, however the window is sized.
    view->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    view->horizontalHeader()->hide();
    view->verticalHeader()->setDefaultSectionSize(view->fontMetrics().height() + 4);
    return view;
}

QPlainTextEdit* makeList(QWidget* parent) {
    auto* list = new QPlainTextEdit(parent);
    list->setReadOnly(true);
    list->setLineWrapMode(QPlainTextEdit::NoWrap);
    return list;
}

QString pairs(const QStringList& a, const QStringList& b) {
    QStringList lines;
    for (qsizetype i = 0; i < std::max(a.size(), b.size()); ++i)
        lines << a.value(i) + QLatin1Char('\t') + b.value(i);
    return lines.join(QLatin1Char('\n'));
}

// Two lists shown side by side, set again only when they changed.
void showPairs(QPlainTextEdit* list, QStringList (&shown)[2], const QStringList& a, const QStringList& b) {
    if (shown[0] == a && shown[1] == b)
        return;
    shown[0] = a;
    shown[1] = b;
    list->setPlainText(pairs(a, b));
}

// Undo or redo steps as the window lists them: number and value text side by side.
void showSteps(QPlainTextEdit* list, QStringList (&shown)[2], const QList<UndoStep>& steps) {
    QStringList numbers, values;
    for (const UndoStep& step : steps) {
        numbers << step.comNo;
        values << step.value;
    }
    showPairs(list, shown, numbers, values);
}

} // namespace

StoreInspector::StoreInspector(const ProgramContext& context, QWidget* parent)
    : QWidget(parent, Qt::Window), context_(context) {
    setWindowTitle(QStringLiteral("TParameters"));
    follow_.setInterval(kFollowMs);
    follow_.callOnTimeout(this, [this] { refresh(); });
    paraDatModel_ = new TextGridModel(&definitions_, this);
    uParaModel_ = new TextGridModel(&work_, this);
    paraDatView_ = makeTable(paraDatModel_, this);
    uParaView_ = makeTable(uParaModel_, this);
    undoList_ = makeList(this);
    redoList_ = makeList(this);
    languageList_ = makeList(this);
    mainteFlag_ = new QCheckBox(QStringLiteral("MainteChk"), this);
    sMainteFlag_ = new QCheckBox(QStringLiteral("SuperMainteChk"), this);
    // The flags belong to maintenance mode; this window only shows them.
    mainteFlag_->setEnabled(false);
    sMainteFlag_->setEnabled(false);

    auto* product = new QLabel(
        (QString::fromLatin1(kProductName) + QLatin1Char(' ') + QCoreApplication::applicationVersion())
            .trimmed(),
        this);
    product->setStyleSheet(QStringLiteral("color: gray"));

    auto* lists = new QGridLayout;
    lists->addWidget(new QLabel(QStringLiteral("Undo Table"), this), 0, 0);
    lists->addWidget(new QLabel(QStringLiteral("Redo Table"), this), 0, 1);
    lists->addWidget(new QLabel(QStringLiteral("Language Buffer"), this), 0, 2);
    lists->addWidget(new QLabel(QStringLiteral("Flugs"), this), 0, 3);
    lists->addWidget(undoList_, 1, 0);
    lists->addWidget(redoList_, 1, 1);
    lists->addWidget(languageList_, 1, 2);
    auto* flags = new QVBoxLayout;
    flags->addWidget(mainteFlag_);
    flags->addWidget(sMainteFlag_);
    flags->addStretch();
    flags->addWidget(product);
    lists->addLayout(flags, 1, 3);
    lists->setColumnStretch(2, 2);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("ParaDat Table"), this));
    layout->addWidget(paraDatView_, 3);
    layout->addWidget(new QLabel(QStringLiteral("UPara Table"), this));
    layout->addWidget(uParaView_, 2);
    layout->addLayout(lists, 1);

    connect(paraDatView_, &QTableView::clicked, this,
            [this](const QModelIndex& index) { showRow(uParaView_, index.row(), UP_OneSelectIndex); });
    connect(uParaView_, &QTableView::clicked, this,
            [this](const QModelIndex& index) { showRow(paraDatView_, index.row(), PD_No); });
    resize(900, 600);
    refresh();
}

void StoreInspector::refresh() {
    const std::vector<ParameterDefinition>& parameters = context_.drive.parameters;
    if (definitions_.rowCount() == 0 || parameters != shownDefinitions_) {
        const int count = int(parameters.size());
        const bool sameSize = definitions_.rowCount() == count + 1;
        shownDefinitions_ = parameters;
        definitions_.resize(PD_ColCount, count + 1);
        definitions_.setRow(0, paraDatColumnNames());
        for (int i = 0; i < count; ++i)
            for (int c = 0; c < PD_ColCount; ++c)
                definitions_.setCell(c, i + 1, definitionText(parameters[std::size_t(i)], c));
        paraDatModel_->reload(sameSize);
    }

    static const ParameterStore kNoStore;
    const ParameterStore* store = context_.store;
    const ParameterStore& shown = store ? *store : kNoStore;
    if (store != shownStore_ || work_.rowCount() == 0 || shown.workingSet() != shownWorking_) {
        const bool sameSize = shown.workingCount() + 1 == work_.rowCount();
        shownStore_ = store;
        shownWorking_ = shown.workingSet();
        work_ = shown.workingGrid();
        uParaModel_->reload(sameSize);
    }
    showSteps(undoList_, shownUndo_, shown.history().undoSteps());
    showSteps(redoList_, shownRedo_, shown.history().redoSteps());
    showPairs(languageList_, shownLanguage_, shown.messageKeys(), shown.messages());
    mainteFlag_->setChecked(shown.maintenance());
    sMainteFlag_->setChecked(shown.superMaintenance());
}

void StoreInspector::placeUnder(const QWidget* mainWindow) {
    if (!mainWindow)
        return;
    if (!placement_) {
        QPointer<const QWidget> main(mainWindow);
        placement_ = new UnderMainWindow(
            *this, [main] { return main ? main->frameGeometry() : QRect(); },
            UnderMainWindow::underKeepingSize);
    }
    placement_->place();
}

void StoreInspector::showRow(QTableView* target, int row, int columns) {
    QAbstractItemModel* model = target->model();
    // Row 0 holds the column names, not a parameter.
    if (row <= 0 || row >= model->rowCount())
        return;
    const QModelIndex first = model->index(row, 0);
    const QModelIndex last = model->index(row, std::min(columns, model->columnCount()) - 1);
    target->selectionModel()->select(QItemSelection(first, last), QItemSelectionModel::ClearAndSelect);
    target->scrollTo(first, QAbstractItemView::PositionAtTop);
}

void StoreInspector::showEvent(QShowEvent* event) {
    refresh();
    follow_.start();
    QWidget::showEvent(event);
}

void StoreInspector::hideEvent(QHideEvent* event) {
    follow_.stop();
    QWidget::hideEvent(event);
}

void StoreInspector::closeEvent(QCloseEvent* event) {
    QWidget::closeEvent(event);
    emit closed();
}
