#include "ui/PageSetupWindow.h"

#include "platform/IniFile.h"
#include "platform/Prompter.h"
#include "ui/UnderMainWindow.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>

using report::EntryCheck;
using report::PageSetup;

namespace {

const QColor kLineNormal(Qt::black);
const QColor kLineFocused(255, 0, 0);

// The language file's message for what a check found wrong.
MsgId messageOf(report::EntryFault fault) {
    switch (fault) {
    case report::EntryFault::OutOfRange:
        return MsgId::OutOfRange;
    case report::EntryFault::SelectPaperSize:
        return MsgId::SelectPaperSize;
    case report::EntryFault::SelectFont:
        return MsgId::SelectFont;
    case report::EntryFault::DataIncorrect:
        break;
    }
    return MsgId::DataIncorrect;
}

// The sketch of the paper and its margins, one pixel per millimetre: a portrait and a
// landscape sheet, of which one is shown. Coordinates are the window's.
struct SheetSketch {
    QRect paper;
    std::array<QRect, 4> lines; // top, bottom, left, right
    std::array<QColor, 4> colors{kLineNormal, kLineNormal, kLineNormal, kLineNormal};
};

} // namespace

class PageSketch : public QWidget {
public:
    static constexpr QRect kArea{441, 128, 151, 151};

    explicit PageSketch(QWidget* parent) : QWidget(parent) {
        setObjectName(QStringLiteral("PageSketch"));
        setGeometry(kArea);
        sheets[0] = {QRect(458, 128, 115, 150),
                     {QRect(458, 138, 115, 1), QRect(458, 267, 115, 1), QRect(468, 128, 1, 150),
                      QRect(562, 128, 1, 150)}};
        sheets[1] = {QRect(441, 144, 150, 115),
                     {QRect(442, 154, 150, 1), QRect(442, 248, 150, 1), QRect(451, 144, 1, 115),
                      QRect(580, 144, 1, 115)}};
    }

    // Moves the lines of one side of both sheets for a margin of `mm`.
    void placeMargin(int side, double mm) {
        const int v = int(mm);
        for (SheetSketch& s : sheets) {
            QRect& line = s.lines[size_t(side)];
            switch (side) {
            case PageSetupWindow::Top:
                line.moveTop(s.paper.top() + v);
                break;
            case PageSetupWindow::Bottom:
                line.moveTop(s.paper.top() + s.paper.height() - v - 1);
                break;
            case PageSetupWindow::Left:
                line.moveLeft(s.paper.left() + v);
                break;
            case PageSetupWindow::Right:
                line.moveLeft(s.paper.left() + s.paper.width() - v - 1);
                break;
            }
        }
        update();
    }

    void colorSide(int side, const QColor& color) {
        for (SheetSketch& s : sheets)
            s.colors[size_t(side)] = color;
        update();
    }

    std::array<SheetSketch, 2> sheets; // portrait, landscape
    bool portrait = true;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.translate(-kArea.topLeft());
        const SheetSketch& s = sheets[portrait ? 0 : 1];
        p.fillRect(s.paper, Qt::white);
        p.setPen(Qt::black);
        p.drawRect(s.paper.adjusted(0, 0, -1, -1));
        for (size_t i = 0; i < 4; ++i)
            p.fillRect(s.lines[i], s.colors[i]);
    }
};

PageSetupWindow::PageSetupWindow(PageSetupLinks links, QWidget* parent)
    : QDialog(parent), links_(std::move(links)) {
    setObjectName(QStringLiteral("PrintSetWindow"));
    setWindowTitle(QStringLiteral("Page Setup"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowCloseButtonHint);
    setFixedSize(kWidth, kHeight);
    buildControls();
}

PageSetupWindow::~PageSetupWindow() = default;

void PageSetupWindow::buildControls() {
    auto label = [this](const char* name, const QString& text, const QRect& r, bool bold = false) {
        auto* l = new QLabel(text, this);
        l->setObjectName(QLatin1String(name));
        l->setGeometry(r);
        if (bold) {
            QFont f = l->font();
            f.setBold(true);
            l->setFont(f);
        }
        return l;
    };
    auto check = [this](const char* name, const QString& text, const QRect& r) {
        auto* c = new QCheckBox(text, this);
        c->setObjectName(QLatin1String(name));
        c->setGeometry(r);
        return c;
    };
    auto combo = [this](const char* name, const QStringList& items, const QRect& r) {
        auto* c = new QComboBox(this);
        c->setObjectName(QLatin1String(name));
        c->setEditable(true);
        c->setInsertPolicy(QComboBox::NoInsert);
        c->addItems(items);
        c->setGeometry(r);
        c->installEventFilter(this);
        return c;
    };
    auto edit = [this](const char* name, const QRect& r) {
        auto* e = new QLineEdit(this);
        e->setObjectName(QLatin1String(name));
        e->setGeometry(r);
        e->installEventFilter(this);
        return e;
    };

    // Paper.
    label("Label15", QStringLiteral("Paper"), QRect(12, 8, 200, 18), true);
    label("Label1", QStringLiteral("Size"), QRect(24, 32, 80, 22));
    paperCombo = combo("PSize", report::paperNames(), QRect(110, 32, 90, 22));
    label("Label16", QStringLiteral("Orientation"), QRect(220, 32, 90, 22));
    portraitRadio = new QRadioButton(QStringLiteral("Portrait"), this);
    portraitRadio->setObjectName(QStringLiteral("POrientP"));
    portraitRadio->setGeometry(QRect(310, 24, 120, 20));
    landscapeRadio = new QRadioButton(QStringLiteral("Landscape"), this);
    landscapeRadio->setObjectName(QStringLiteral("POrientL"));
    landscapeRadio->setGeometry(QRect(310, 44, 120, 20));
    connect(portraitRadio, &QRadioButton::clicked, this, [this] { setPortrait(true); });
    connect(landscapeRadio, &QRadioButton::clicked, this, [this] { setPortrait(false); });

    // Items.
    label("Label18", QStringLiteral("Items"), QRect(12, 72, 200, 18), true);
    dateCheck = check("DayPrint", QStringLiteral("Date"), QRect(24, 94, 120, 20));
    timeCheck = check("TimePrint", QStringLiteral("Time"), QRect(150, 94, 120, 20));
    pageNumberCheck = check("PageNoPrint", QStringLiteral("Page No."), QRect(276, 94, 150, 20));
    typeFormCheck =
        check("TypeFormPrint", QStringLiteral("Selected Inverter's Type-Form"), QRect(24, 116, 400, 20));
    commentCheck = check("CommentPrint", QStringLiteral("Comments"), QRect(24, 138, 120, 20));
    label("Label20", QStringLiteral("90 characters max."), QRect(150, 138, 270, 20));
    commentEdit = new QLineEdit(this);
    commentEdit->setObjectName(QStringLiteral("Edit1"));
    commentEdit->setGeometry(QRect(24, 160, 406, 22));
    shipmentCheck = check("DefValPrint", QStringLiteral("Shipment Value"), QRect(24, 188, 180, 20));
    valueColorButton = new QPushButton(QStringLiteral("'Value' Color"), this);
    valueColorButton->setObjectName(QStringLiteral("DBFontColor"));
    valueColorButton->setGeometry(QRect(220, 186, 120, 24));
    valueColorButton->setAutoDefault(false);
    valueSample = label("Panel1", QStringLiteral("Value"), QRect(350, 186, 70, 24), true);
    valueSample->setAlignment(Qt::AlignCenter);
    valueSample->setAutoFillBackground(true);
    valueSample->setFrameShape(QFrame::Panel);
    valueSample->installEventFilter(this);
    connect(commentCheck, &QCheckBox::clicked, this, [this] { updateCommentColor(); });
    connect(valueColorButton, &QPushButton::clicked, this, [this] { chooseValueColor(); });
    // The limit holds for typing only: a longer comment read from a file stays whole.
    connect(commentEdit, &QLineEdit::textEdited, this, [this](const QString& text) {
        const QString& before = commentBefore_;
        if (text.size() > report::kCommentMaxLength && text.size() > before.size()) {
            const int cursor = commentEdit->cursorPosition() - int(text.size() - before.size());
            commentEdit->setText(before);
            commentEdit->setCursorPosition(std::max(0, cursor));
            return;
        }
        commentBefore_ = text;
    });

    // Detail.
    label("Label17", QStringLiteral("Detail"), QRect(12, 220, 200, 18), true);
    static const char* const kMarginNames[] = {"TopMarg", "BottomMarg", "LeftMarg", "RightMarg"};
    static const char* const kMarginLabels[] = {"Label2", "Label3", "Label4", "Label5"};
    static const char* const kMarginTexts[] = {"Top margins", "Bottom margins", "Left margins",
                                               "Right margins"};
    for (int i = 0; i < 4; ++i) {
        const int y = 244 + i * 26;
        label(kMarginLabels[i], QString::fromLatin1(kMarginTexts[i]), QRect(24, y, 110, 22));
        marginEdits[size_t(i)] = edit(kMarginNames[i], QRect(136, y, 50, 22));
        label("", QStringLiteral("(mm)"), QRect(190, y, 40, 22));
    }
    label("Label10", QStringLiteral("Height of Cells"), QRect(240, 244, 100, 22));
    cellHeightEdit = edit("DBHeight", QRect(340, 244, 40, 22));
    label("", QStringLiteral("(point)"), QRect(384, 244, 50, 22));
    label("Label19", QStringLiteral("Font"), QRect(240, 296, 100, 22));
    fontCombo = combo("DBFont", QStringList(), QRect(240, 318, 190, 22));
    label("Label11", QStringLiteral("Font size"), QRect(240, 348, 100, 22));
    fontSizeCombo = combo("DBFontSize", report::fontSizeNames(), QRect(340, 348, 60, 22));

    sketch_ = new PageSketch(this);
    showValueColor();
}

QString PageSetupWindow::message(MsgId id) const {
    return links_.message ? links_.message(id) : QString();
}

void PageSetupWindow::applyTexts(const QString& languageIniPath) {
    const IniFile ini(languageIniPath);
    const QString section = QStringLiteral("PrintSet");
    auto text = [&](const char* key, const char* def) {
        return ini.readString(section, QLatin1String(key), QLatin1String(def));
    };
    setWindowTitle(text("Form", "Page Setup"));
    static const struct {
        const char* key;
        const char* control;
        const char* def;
    } kTexts[] = {
        {"Label1", "Label15", "Paper"},
        {"Label11", "Label1", "Size"},
        {"Label12", "Label16", "Orientation"},
        {"Radio11", "POrientP", "Portrait"},
        {"Radio12", "POrientL", "Landscape"},
        {"Label2", "Label18", "Items"},
        {"Check21", "DayPrint", "Date"},
        {"Check22", "TimePrint", "Time"},
        {"Check23", "TypeFormPrint", "Selected Inverter's Type-Form"},
        {"Check24", "PageNoPrint", "Page No."},
        {"Check25", "CommentPrint", "Comments"},
        {"Label21", "Label20", "90 characters max."},
        {"Check26", "DefValPrint", "Shipment Value"},
        {"Button2", "DBFontColor", "'Value' Color"},
        {"Panel2", "Panel1", "Value"},
        {"Label3", "Label17", "Detail"},
        {"Label31", "Label2", "Top margins"},
        {"Label32", "Label3", "Bottom margins"},
        {"Label33", "Label4", "Left margins"},
        {"Label34", "Label5", "Right margins"},
        {"Label35", "Label10", "Height of Cells"},
        {"Label36", "Label19", "Font"},
        {"Label37", "Label11", "Font size"},
    };
    for (const auto& t : kTexts) {
        QWidget* w = findChild<QWidget*>(QLatin1String(t.control), Qt::FindDirectChildrenOnly);
        const QString value = text(t.key, t.def);
        if (auto* l = qobject_cast<QLabel*>(w))
            l->setText(value);
        else if (auto* b = qobject_cast<QAbstractButton*>(w))
            b->setText(value);
    }
}

void PageSetupWindow::loadTextsAndSettings(const QString& languageIniPath, const QString& settingsIniPath,
                                           const QString& languageName) {
    settingsIniPath_ = settingsIniPath;
    if (links_.mainFrame) {
        if (!placement_)
            placement_ = new UnderMainWindow(*this, links_.mainFrame, UnderMainWindow::underKeepingSize);
        placement_->place();
    }
    applyTexts(languageIniPath);

    // Application fonts are registered before this window is made, so the positions
    // stored in the settings match the list.
    families_ = QFontDatabase::families();
    fontCombo->clear();
    fontCombo->addItems(families_);

    PageSetup setup;
    setup.read(IniFile(settingsIniPath), families_, languageName);
    dateCheck->setChecked(setup.printDate);
    timeCheck->setChecked(setup.printTime);
    typeFormCheck->setChecked(setup.printTypeForm);
    pageNumberCheck->setChecked(setup.printPageNumber);
    commentCheck->setChecked(setup.printComment);
    shipmentCheck->setChecked(setup.printShipment);
    // Checking a button in code runs no click: the sketch is switched here.
    setPortrait(setup.portrait);
    valueColor_ = setup.valueColor;
    showValueColor();
    fontCombo->setCurrentIndex(int(families_.indexOf(setup.face)));
    paperCombo->setCurrentIndex(setup.paperPosition >= 0 && setup.paperPosition < report::paperNames().size()
                                    ? setup.paperPosition
                                    : -1);
    const QString margins[] = {setup.topMargin, setup.bottomMargin, setup.leftMargin, setup.rightMargin};
    for (int i = 0; i < 4; ++i)
        marginEdits[size_t(i)]->setText(margins[i]);
    cellHeightEdit->setText(setup.cellHeight);
    fontSizeCombo->setCurrentIndex(int(report::fontSizeNames().indexOf(setup.fontSize)));
    updateCommentColor();

    // A stored margin out of range is reported now, and every side is placed.
    checking_ = true;
    for (int i = 0; i < 4; ++i)
        checkMargin(Side(i));
    checking_ = false;
}

PageSetup PageSetupWindow::pageSetup() const {
    PageSetup s;
    s.printDate = dateCheck->isChecked();
    s.printTime = timeCheck->isChecked();
    s.printTypeForm = typeFormCheck->isChecked();
    s.printPageNumber = pageNumberCheck->isChecked();
    s.printComment = commentCheck->isChecked();
    s.printShipment = shipmentCheck->isChecked();
    s.valueColor = valueColor_;
    s.portrait = portraitRadio->isChecked();
    s.face = fontCombo->currentText();
    // An editable list does not follow typing with its index: the text decides.
    s.paperPosition =
        paperCombo->findText(paperCombo->currentText(), Qt::MatchExactly | Qt::MatchCaseSensitive);
    s.topMargin = marginEdits[Top]->text();
    s.bottomMargin = marginEdits[Bottom]->text();
    s.leftMargin = marginEdits[Left]->text();
    s.rightMargin = marginEdits[Right]->text();
    s.cellHeight = cellHeightEdit->text();
    s.fontSize = fontSizeCombo->currentText();
    s.comment = commentEdit->text();
    return s;
}

QString PageSetupWindow::comment() const {
    return commentEdit->text();
}

void PageSetupWindow::setComment(const QString& text) {
    commentEdit->setText(text);
    commentBefore_ = text;
}

bool PageSetupWindow::showCheck(const EntryCheck& check, QWidget* field, bool withFlag) {
    if (check.passed()) {
        if (withFlag)
            inputError_ = false;
        return true;
    }
    const bool wasChecking = checking_;
    checking_ = true; // the box takes the focus away: no check from inside this one
    Prompter::instance().message(message(messageOf(*check.fault)), message(MsgId::Caption), BoxIcon::Error,
                                 BoxButtons::Ok, this);
    if (!check.replacement.isEmpty()) {
        if (auto* e = qobject_cast<QLineEdit*>(field))
            e->setText(check.replacement);
        else if (auto* c = qobject_cast<QComboBox*>(field))
            c->setEditText(check.replacement);
    }
    if (isVisible())
        field->setFocus();
    checking_ = wasChecking;
    if (withFlag)
        inputError_ = true;
    return false;
}

bool PageSetupWindow::checkMargin(Side side, bool withFlag) {
    QLineEdit* e = marginEdits[size_t(side)];
    const EntryCheck c = report::checkMargin(e->text());
    if (!showCheck(c, e, withFlag))
        return false;
    double mm = 0;
    report::parseDecimal(e->text(), mm);
    sketch_->placeMargin(side, mm);
    // Leaving the edit draws the lines black again; Enter keeps the focus and the red.
    if (withFlag)
        sketch_->colorSide(side, kLineNormal);
    return true;
}

bool PageSetupWindow::checkPaper() {
    return showCheck(report::checkPaper(paperCombo->currentText()), paperCombo, true);
}

bool PageSetupWindow::checkCellHeight() {
    return showCheck(report::checkCellHeight(cellHeightEdit->text()), cellHeightEdit, true);
}

bool PageSetupWindow::checkFace() {
    return showCheck(report::checkFace(fontCombo->currentText(), families_), fontCombo, true);
}

bool PageSetupWindow::checkFontSize() {
    return showCheck(report::checkFontSize(fontSizeCombo->currentText()), fontSizeCombo, true);
}

void PageSetupWindow::chooseValueColor() {
    QColor color = report::colorFromColorRef(valueColor_);
    if (!Prompter::instance().chooseColor(color, this))
        return;
    valueColor_ = report::colorRefFromColor(color);
    showValueColor();
}

void PageSetupWindow::showValueColor() {
    QPalette p = valueSample->palette();
    p.setColor(QPalette::Window, Qt::white);
    p.setColor(QPalette::WindowText, report::colorFromColorRef(valueColor_));
    valueSample->setPalette(p);
}

void PageSetupWindow::updateCommentColor() {
    QPalette p = commentEdit->palette();
    p.setColor(QPalette::Text, commentCheck->isChecked()
                                   ? palette().color(QPalette::Text)
                                   : palette().color(QPalette::Disabled, QPalette::Text));
    commentEdit->setPalette(p);
}

void PageSetupWindow::setPortrait(bool portrait) {
    portraitRadio->setChecked(portrait);
    landscapeRadio->setChecked(!portrait);
    sketch_->portrait = portrait;
    sketch_->update();
}

QRect PageSetupWindow::sketchLine(bool portrait, Side side) const {
    return sketch_->sheets[portrait ? 0 : 1].lines[size_t(side)];
}

QColor PageSetupWindow::sketchLineColor(bool portrait, Side side) const {
    return sketch_->sheets[portrait ? 0 : 1].colors[size_t(side)];
}

bool PageSetupWindow::sketchShowsPortrait() const {
    return sketch_->portrait;
}

void PageSetupWindow::refreshForShowing() {
    showValueColor();
    inputError_ = false;
    if (links_.commentWaiting && links_.commentWaiting() && links_.waitingComment)
        setComment(links_.waitingComment());
}

bool PageSetupWindow::mayClose() {
    // Every check runs and shows its own message; the first refused field keeps the focus.
    checking_ = true;
    QWidget* firstRefused = nullptr;
    auto run = [&](bool passed, QWidget* field) {
        if (!passed && !firstRefused)
            firstRefused = field;
    };
    run(checkPaper(), paperCombo);
    for (int i = 0; i < 4; ++i)
        run(checkMargin(Side(i)), marginEdits[size_t(i)]);
    run(checkCellHeight(), cellHeightEdit);
    run(checkFace(), fontCombo);
    run(checkFontSize(), fontSizeCombo);
    checking_ = false;
    inputError_ = firstRefused != nullptr;
    if (firstRefused && isVisible())
        firstRefused->setFocus();
    return !firstRefused;
}

void PageSetupWindow::savePageSetup() {
    IniFile ini(settingsIniPath_);
    pageSetup().write(ini, families_);
    QString error;
    if (ini.flush(&error))
        return;
    qWarning("Page set-up: cannot write %s: %s", qPrintable(settingsIniPath_), qPrintable(error));
    // Every close writes again; one box per run is enough.
    if (!saveFailureShown_) {
        saveFailureShown_ = true;
        Prompter::instance().message(
            QStringLiteral("The settings cannot be saved in %1.\n%2").arg(settingsIniPath_, error),
            message(MsgId::Caption), BoxIcon::Warning, BoxButtons::Ok, this);
    }
}

bool PageSetupWindow::eventFilter(QObject* watched, QEvent* e) {
    if (watched == valueSample && e->type() == QEvent::MouseButtonDblClick) {
        chooseValueColor();
        return true;
    }
    int side = -1;
    for (int i = 0; i < 4; ++i)
        if (watched == marginEdits[size_t(i)])
            side = i;
    const bool enter =
        e->type() == QEvent::KeyPress && (static_cast<QKeyEvent*>(e)->key() == Qt::Key_Return ||
                                          static_cast<QKeyEvent*>(e)->key() == Qt::Key_Enter);
    bool leave = false;
    if (e->type() == QEvent::FocusOut) {
        // Only a move to another control of this window is a leave: not a list popping up,
        // not another window (a message box) taking the focus.
        const Qt::FocusReason r = static_cast<QFocusEvent*>(e)->reason();
        leave = r != Qt::PopupFocusReason && r != Qt::ActiveWindowFocusReason;
    }
    if (side >= 0 && e->type() == QEvent::FocusIn)
        sketch_->colorSide(side, kLineFocused);
    if ((enter || leave) && !checking_ && isVisible()) {
        checking_ = true;
        if (side >= 0)
            checkMargin(Side(side), !enter);
        else if (watched == paperCombo && leave)
            checkPaper();
        else if (watched == cellHeightEdit)
            checkCellHeight();
        else if (watched == fontCombo && leave)
            checkFace();
        else if (watched == fontSizeCombo)
            checkFontSize();
        checking_ = false;
        if (enter && (side >= 0 || watched == cellHeightEdit || watched == fontSizeCombo))
            return true;
    }
    return QDialog::eventFilter(watched, e);
}

void PageSetupWindow::showEvent(QShowEvent* e) {
    refreshForShowing();
    QDialog::showEvent(e);
}

void PageSetupWindow::changeEvent(QEvent* e) {
    if (e->type() == QEvent::ActivationChange && isActiveWindow() && links_.clearParaTableAct)
        links_.clearParaTableAct();
    QDialog::changeEvent(e);
}

void PageSetupWindow::closeEvent(QCloseEvent* e) {
    if (!mayClose()) {
        e->ignore();
        return;
    }
    savePageSetup();
    e->accept();
    QDialog::reject();
}

void PageSetupWindow::reject() {
    close();
}
