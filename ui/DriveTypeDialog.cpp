#include "ui/DriveTypeDialog.h"

#include "core/ProgramContext.h"
#include "platform/PumpEvents.h"

#include <QAccessibleWidget>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPushButton>

#include <utility>
#include <vector>

namespace {

QLabel* boldLabel(QWidget* parent, const QString& text, int left, int top) {
    auto* label = new QLabel(text, parent);
    QFont f = label->font();
    f.setBold(true);
    label->setFont(f);
    label->adjustSize();
    label->move(left, top);
    return label;
}

QComboBox* dropDown(QWidget* parent, const char* name, int left, int top, int width, int lines) {
    auto* box = new QComboBox(parent);
    box->setObjectName(QLatin1String(name));
    box->setEditable(false);
    box->setMaxVisibleItems(lines);
    box->setGeometry(left, top, width, box->sizeHint().height());
    return box;
}

// The search panel reads as a group to assistive tools: a bare frame would be taken for a
// window of its own.
QAccessibleInterface* searchPanelAccessible(const QString& className, QObject* object) {
    if (className == QLatin1String("QFrame") && object->objectName() == QLatin1String("searchPanel"))
        return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Grouping);
    return nullptr;
}

void fillBox(QComboBox* box, const QStringList& items, int pos) {
    const QSignalBlocker block(box);
    box->clear();
    box->addItems(items);
    box->setCurrentIndex(pos >= 0 && pos < items.size() ? pos : -1);
}

} // namespace

DriveTypeDialog::DriveTypeDialog(ProgramContext& program, Asker& asker, const StartupChoice::Context& context,
                                 QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::FramelessWindowHint), choice_(program, asker, context) {
    setObjectName(QStringLiteral("type"));
    // No frame shows it; the task list and assistive tools name the form by it.
    setWindowTitle(QLatin1String(kProductName));
    // The window sits 25 pixels from the screen's top left corner, sized to its picture.
    setFixedSize(kWidth, kHeight);
    move(25, 25);

    LangLabel = boldLabel(this, QStringLiteral("Language"), 12, 92);
    LangForm = dropDown(this, "LangForm", 12, 110, 145, 8);
    TypeLabel = boldLabel(this, QStringLiteral("Inverter Type-Form"), 12, 146);
    I_TypeForm = dropDown(this, "I_TypeForm", 12, 164, 109, 10);
    I_CapaForm = dropDown(this, "I_CapaForm", 128, 164, 133, 10);
    CpuLabel = boldLabel(this, QStringLiteral("CPU Ver."), 12, 190);
    I_CpuForm = dropDown(this, "I_CpuForm", 12, 208, 93, 9);
    ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("ok"));
    ok->setGeometry(272, 202, 73, ok->sizeHint().height());
    ok->setDefault(true);

    // Only the user's choice runs the change rules; the code's own positioning must not
    // undo a preselection.
    connect(I_TypeForm, &QComboBox::activated, this, [this] { refillForType(); });
    connect(I_CpuForm, &QComboBox::activated, this, [this] { refillForCpu(); });
    connect(ok, &QPushButton::clicked, this, [this] { acceptChoice(); });

    // Right of the language box, where nothing else stands.
    outcome = new QLabel(this);
    outcome->setObjectName(QStringLiteral("outcome"));
    outcome->setGeometry(166, 86, 182, 58);
    outcome->setWordWrap(true);
    outcome->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    QFont small = outcome->font();
    small.setPixelSize(11);
    outcome->setFont(small);
    outcome->setStyleSheet(QStringLiteral("color: #a01010;"));

    static const bool panelFactory = (QAccessible::installFactory(searchPanelAccessible), true);
    Q_UNUSED(panelFactory);
    searchPanel = new QFrame(this);
    searchPanel->setObjectName(QStringLiteral("searchPanel"));
    searchPanel->setFrameShape(QFrame::StyledPanel);
    searchPanel->setAutoFillBackground(true);
    searchPanel->setGeometry(6, 84, kWidth - 12, kHeight - 90);
    searchTitle = new QLabel(searchPanel);
    searchTitle->setObjectName(QStringLiteral("searchTitle"));
    QFont bold = searchTitle->font();
    bold.setBold(true);
    searchTitle->setFont(bold);
    searchTitle->setGeometry(8, 6, searchPanel->width() - 104, 20);
    stopSearch = new QPushButton(searchPanel);
    stopSearch->setObjectName(QStringLiteral("stopSearch"));
    stopSearch->setGeometry(searchPanel->width() - 92, 4, 84, 24);
    searchState = new QLabel(searchPanel);
    searchState->setObjectName(QStringLiteral("searchState"));
    searchState->setFont(small);
    searchState->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    searchState->setGeometry(8, 32, searchPanel->width() - 16, searchPanel->height() - 36);
    searchPanel->hide();
    connect(stopSearch, &QPushButton::clicked, this, [this] { stopRequested_ = true; });

    choice_.loadChoices();
    showChoice();
    showSearchTexts();
}

void DriveTypeDialog::showSearchTexts() {
    const SearchTexts& words = choice_.texts().search;
    searchTitle->setText(words.title);
    searchPanel->setAccessibleName(words.title);
    stopSearch->setText(words.stop);
}

bool DriveTypeDialog::showSearch(const SearchProgress& progress) {
    searchState->setText(choice_.searchText(progress));
    // A found port takes two lines, and a language's lines may be taller: rather smaller text
    // than ports cut off at the panel's foot.
    QFont f = searchState->font();
    for (int px = kSearchStatePx; px >= kSearchStatePx - 2; --px) {
        f.setPixelSize(px);
        searchState->setFont(f);
        if (searchState->sizeHint().height() <= searchState->height())
            break;
    }
    PumpEvents();
    return !stopRequested_;
}

void DriveTypeDialog::runSearch() {
    if (!choice_.detectionDue())
        return;
    searching_ = true;
    stopRequested_ = false;
    // The lists under the panel take no keys meanwhile: the search sets them when it ends.
    std::vector<std::pair<QWidget*, bool>> held;
    for (QWidget* w : std::initializer_list<QWidget*>{LangForm, I_TypeForm, I_CapaForm, I_CpuForm, ok}) {
        held.emplace_back(w, w->isEnabled());
        w->setEnabled(false);
    }
    searchPanel->show();
    searchPanel->raise();
    show();
    stopSearch->setFocus();
    PumpEvents();
    choice_.runDetection([this](const SearchProgress& p) { return showSearch(p); });
    searching_ = false;
    for (const auto& [w, enabled] : held)
        w->setEnabled(enabled);
    searchPanel->hide();
    ok->setFocus();
    showChoice();
    showOutcome();
}

void DriveTypeDialog::showOutcome() {
    switch (choice_.outcome()) {
    case SearchOutcome::NothingAnswered:
        outcome->setText(
            choice_.texts().nothingAnswered.arg(choice_.portsSearched().join(QStringLiteral(", "))));
        break;
    case SearchOutcome::Stopped:
        outcome->setText(choice_.texts().searchStopped);
        break;
    default:
        outcome->clear();
    }
}

DriveTypeDialog::~DriveTypeDialog() = default;

bool DriveTypeDialog::run() {
    // A form with nothing to offer is not shown: closing it would store an empty choice
    // over the last one, and the program ends anyway.
    if (!choice_.created())
        return false;
    // Modal from its first show: the search runs with the form on screen.
    setWindowModality(Qt::ApplicationModal);
    runSearch();
    exec();
    return true;
}

void DriveTypeDialog::acceptChoice() {
    accept();
}

// A change refills only the boxes below the one changed: the others keep what the user set.
void DriveTypeDialog::refillForType() {
    choice_.refillForType(I_TypeForm->currentIndex());
    fillBox(I_CpuForm, choice_.cpuVersions(), choice_.selection().cpu);
    fillBox(I_CapaForm, choice_.capacityNames(), choice_.selection().capacity);
}

void DriveTypeDialog::refillForCpu() {
    choice_.refillForCpu(I_CpuForm->currentIndex());
    fillBox(I_CapaForm, choice_.capacityNames(), choice_.selection().capacity);
}

void DriveTypeDialog::takeChoice() {
    if (choice_.closed() || !choice_.created())
        return;
    takePositions();
    choice_.takeChoice();
}

void DriveTypeDialog::done(int r) {
    if (searching_) {
        stopRequested_ = true;
        return;
    }
    takeChoice();
    QDialog::done(r);
}

void DriveTypeDialog::paintEvent(QPaintEvent*) {
    // The start-up picture: the product name in a dark band, a light ground under the
    // controls so that their labels read.
    QPainter p(this);
    const QColor dark(0x1d, 0x3f, 0x72);
    p.fillRect(rect(), QColor(0xe8, 0xee, 0xf6));
    QLinearGradient band(0, 0, 0, 80);
    band.setColorAt(0.0, dark);
    band.setColorAt(1.0, QColor(0x3b, 0x6c, 0xb0));
    p.fillRect(QRect(0, 0, width(), 80), band);
    p.setPen(Qt::white);
    QFont f = font();
    f.setPixelSize(36);
    f.setBold(true);
    p.setFont(f);
    p.drawText(QRect(12, 10, width() - 24, 60), Qt::AlignLeft | Qt::AlignVCenter,
               QLatin1String(kProductName));
    p.setPen(dark);
    p.drawRect(rect().adjusted(0, 0, -1, -1));
}

void DriveTypeDialog::showChoice() {
    const StartupSelection& selected = choice_.selection();
    fillBox(LangForm, choice_.languages(), selected.language);
    fillBox(I_TypeForm, choice_.typeNames(), selected.type);
    fillBox(I_CapaForm, choice_.capacityNames(), selected.capacity);
    fillBox(I_CpuForm, choice_.cpuVersions(), selected.cpu);
}

void DriveTypeDialog::takePositions() {
    choice_.takeSelection({LangForm->currentIndex(), I_TypeForm->currentIndex(), I_CapaForm->currentIndex(),
                           I_CpuForm->currentIndex()});
}
