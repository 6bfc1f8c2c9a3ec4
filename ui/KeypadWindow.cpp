#include "ui/KeypadWindow.h"

#include "core/Options.h"
#include "core/ProgramContext.h"
#include "platform/IniFile.h"
#include "ui/FormActivation.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QRegularExpression>
#include <QThread>
#include <QTimer>

namespace {

// "&Close" -> "Close", "閉じる(&C)" -> "閉じる".
QString withoutAccessKey(QString text) {
    static const QRegularExpression suffix(QStringLiteral("\\(&.\\)$"));
    text.remove(suffix);
    return text.remove(u'&');
}

const QString kDsegFolder = QStringLiteral("/usr/share/fonts/truetype/dseg/");
const QString kDsegFile = QStringLiteral("DSEG7Classic-Regular.ttf");
constexpr int kLedPixelSize = 31;
const QColor kLedRed(255, 40, 30);
const QColor kLampColor(255, 60, 40);

// Layout of the pictured panel (client area 203 x 311).
constexpr int kClientWidth = 203;
constexpr int kClientHeight = 311;
const QRect kDisplayWindow(14, 14, 175, 58);
const QRect kLedRect(20, 20, 163, 46);
constexpr int kLampY = 84;
constexpr int kLampSize = 10;
constexpr int kLampX0 = 16;
constexpr int kLampStep = 25;
const QRect kRunRect(18, 196, 53, 53);
const QRect kStopRect(132, 196, 53, 53);
const QRect kMonRect(18, 126, 53, 53);
const QRect kEntRect(132, 126, 53, 53);
const QRect kUpRect(79, 130, 45, 45);
const QRect kDownRect(79, 200, 45, 45);
const QRect kCloseRect(146, 282, 50, 20);
const QRect kUnitRect(12, 282, 40, 20);

struct LampDef {
    int bit;
    const char* name;
    const char* caption;
};
constexpr LampDef kLamps[] = {{0, "FRUN", "RUN"}, {1, "FVEC", "VEC"}, {2, "FECN", "ECN"}, {3, "FMON", "MON"},
                              {4, "FPRG", "PRG"}, {6, "FPC", "PC"},   {7, "FPF", "PF"}};

QPixmap lampPixmap() {
    QPixmap pm(kLampSize, kLampSize);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(kLampColor.darker(150));
    p.setBrush(kLampColor);
    p.drawEllipse(QRectF(0.5, 0.5, kLampSize - 1, kLampSize - 1));
    return pm;
}

void drawKey(QPainter& p, const QRect& r, const QString& caption, bool round) {
    p.setPen(QPen(QColor(20, 20, 20), 1.5));
    p.setBrush(QColor(200, 200, 205));
    if (round)
        p.drawEllipse(r.adjusted(2, 2, -2, -2));
    else
        p.drawRoundedRect(r.adjusted(2, 2, -2, -2), 8, 8);
    QFont f = p.font();
    f.setPixelSize(12);
    f.setBold(true);
    p.setFont(f);
    p.setPen(QColor(30, 30, 30));
    p.drawText(r, Qt::AlignCenter, caption);
}

// The pictured operation panel: body, display window, lamp captions and the keys.
QPixmap panelPicture() {
    QPixmap pm(kClientWidth, kClientHeight);
    pm.fill(QColor(70, 72, 78));
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(40, 40, 44), 2));
    p.setBrush(QColor(90, 92, 98));
    p.drawRoundedRect(QRectF(4, 4, kClientWidth - 8, kClientHeight - 8), 10, 10);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(25, 5, 5));
    p.drawRect(kDisplayWindow);
    QFont f = p.font();
    f.setPixelSize(8);
    p.setFont(f);
    p.setPen(QColor(220, 220, 220));
    for (const LampDef& l : kLamps) {
        const int i = l.bit > 5 ? l.bit - 1 : l.bit;
        const QRect spot(kLampX0 + i * kLampStep, kLampY, kLampSize, kLampSize);
        p.setBrush(QColor(60, 20, 20));
        p.drawEllipse(spot);
        p.drawText(QRect(spot.center().x() - 12, kLampY + kLampSize + 2, 24, 10), Qt::AlignCenter,
                   QString::fromLatin1(l.caption));
    }
    drawKey(p, kMonRect, QStringLiteral("MON"), false);
    drawKey(p, kEntRect, QStringLiteral("ENT"), false);
    drawKey(p, kRunRect, QStringLiteral("RUN"), false);
    drawKey(p, kStopRect, QStringLiteral("STOP"), false);
    drawKey(p, kUpRect, QStringLiteral("\u25B2"), true);
    drawKey(p, kDownRect, QStringLiteral("\u25BC"), true);
    return pm;
}

} // namespace

// ---- LedSegments7 -------------------------------------------------------------------------

QString LedSegments7::fontFamily() {
    static const QString family = [] {
        const int id = QFontDatabase::addApplicationFont(kDsegFolder + kDsegFile);
        if (id < 0)
            return QString();
        const QStringList families = QFontDatabase::applicationFontFamilies(id);
        return families.isEmpty() ? QString() : families.first();
    }();
    return family;
}

LedSegments7::LedSegments7(int pixelSize) {
    const QString family = fontFamily();
    if (!family.isEmpty())
        buildFromFont(family, pixelSize);
    if (!fromFont_)
        buildPolygons(pixelSize);
}

void LedSegments7::buildFromFont(const QString& family, int pixelSize) {
    QFont font(family);
    font.setPixelSize(pixelSize);
    font.setStyleStrategy(QFont::NoFontMerging);
    const QFontMetricsF fm(font);
    if (!fm.inFont(u'8') || !fm.inFont(u'.'))
        return;
    const QPointF origin(0, fm.ascent());
    auto glyph = [&](const char* text) {
        QPainterPath path;
        path.addText(origin, font, QString::fromLatin1(text));
        path.setFillRule(Qt::WindingFill);
        return path.simplified();
    };
    // Each segment is what one digit has and another lacks, so the shapes are the font's own.
    const QPainterPath one = glyph("1"), two = glyph("2"), three = glyph("3"), four = glyph("4"),
                       five = glyph("5"), seven = glyph("7"), eight = glyph("8"), zero = glyph("0");
    const QPainterPath g = eight.subtracted(zero);
    const QPainterPath f = four.subtracted(three);
    // The font's seven lights f as well.
    segments_[0] = seven.subtracted(one).subtracted(f);
    segments_[1] = one.subtracted(five);
    segments_[2] = one.subtracted(two);
    segments_[3] = three.subtracted(seven).subtracted(g);
    segments_[4] = two.subtracted(three);
    segments_[5] = f;
    segments_[6] = g;
    segments_[7] = glyph("8.").subtracted(eight);
    for (const QPainterPath& s : segments_)
        if (s.isEmpty())
            return;
    cellWidth_ = fm.horizontalAdvance(QStringLiteral("8"));
    cellHeight_ = fm.ascent() + fm.descent();
    fromFont_ = true;
}

void LedSegments7::buildPolygons(int pixelSize) {
    const qreal h = pixelSize, w = 0.55 * h, t = 0.12 * h, m = t / 2;
    auto rect = [](qreal x, qreal y, qreal rw, qreal rh) {
        QPainterPath p;
        p.addRect(QRectF(x, y, rw, rh));
        return p;
    };
    segments_[0] = rect(t, 0, w - 2 * t, t);
    segments_[1] = rect(w - t, t, t, h / 2 - t - m);
    segments_[2] = rect(w - t, h / 2 + m, t, h / 2 - t - m);
    segments_[3] = rect(t, h - t, w - 2 * t, t);
    segments_[4] = rect(0, h / 2 + m, t, h / 2 - t - m);
    segments_[5] = rect(0, t, t, h / 2 - t - m);
    segments_[6] = rect(t, h / 2 - m, w - 2 * t, t);
    segments_[7] = rect(w + m, h - t, t, t);
    cellWidth_ = w + 2 * t;
    cellHeight_ = h;
}

QPainterPath LedSegments7::path(int segmentBits, QPointF topLeft) const {
    QPainterPath out;
    out.setFillRule(Qt::WindingFill);
    for (int s = 0; s < 8; ++s)
        if (segmentBits & (1 << s))
            out.addPath(segments_[std::size_t(s)].translated(topLeft));
    return out;
}

// ---- LedLabel ---------------------------------------------------------------------------------

LedLabel::LedLabel(int pixelSize, Qt::Alignment alignment, QWidget* parent)
    : QWidget(parent), shapes_(pixelSize), alignment_(alignment), color_(kLedRed) {
    setAttribute(Qt::WA_TranslucentBackground);
}

void LedLabel::setText(const QString& text) {
    if (text == text_)
        return;
    text_ = text;
    update();
}

void LedLabel::paintEvent(QPaintEvent*) {
    if (text_.isEmpty())
        return;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(color_);
    const qreal total = shapes_.cellWidth() * text_.size();
    qreal x = 0;
    if (alignment_ & Qt::AlignRight)
        x = width() - total;
    else if (alignment_ & Qt::AlignHCenter)
        x = (width() - total) / 2;
    const qreal y = (height() - shapes_.cellHeight()) / 2;
    for (QChar c : text_) {
        p.drawPath(shapes_.path(LedSegments(c), QPointF(x, y)));
        x += shapes_.cellWidth();
    }
}

void LedLabel::mouseDoubleClickEvent(QMouseEvent* e) {
    if (onDoubleClick && e->button() == Qt::LeftButton)
        onDoubleClick();
}

// ---- KeyArea ------------------------------------------------------------------------------------

void KeyArea::mousePressEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton && onPress)
        onPress();
}

void KeyArea::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton)
        return;
    if (onRelease)
        onRelease();
    if (onClick && rect().contains(e->position().toPoint()))
        onClick();
}

// ---- KeypadWindow -------------------------------------------------------------------------------

KeypadWindow::KeypadWindow(ProgramContext& context, const Options& options, CommLink& link, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint), context_(context) {
    setObjectName(QStringLiteral("RunPRKP"));
    setWindowTitle(QStringLiteral("Key Pad"));
    setModal(true);
    setFixedSize(kClientWidth, kClientHeight);
    panel_ = std::make_unique<KeypadPanel>(context, options, link, *this);

    panelImage = new QLabel(this);
    panelImage->setObjectName(QStringLiteral("Image2"));
    panelImage->setGeometry(0, 0, kClientWidth, kClientHeight);

    FLED = new LedLabel(kLedPixelSize, Qt::AlignHCenter, this);
    FLED->setObjectName(QStringLiteral("FLED"));
    FLED->setGeometry(kLedRect);
    FCLabel = new LedLabel(kLedPixelSize, Qt::AlignRight, this);
    FCLabel->setObjectName(QStringLiteral("FCLabel"));
    FCLabel->setGeometry(kLedRect);
    FCLabel->onDoubleClick = [this] { panel_->toggleDirectInput(); };

    const QPixmap lamp = lampPixmap();
    QLabel** lampFields[] = {&FRUN, &FVEC, &FECN, &FMON, &FPRG, &FPC, &FPF};
    for (std::size_t k = 0; k < std::size(kLamps); ++k) {
        const LampDef& l = kLamps[k];
        const int i = l.bit > 5 ? l.bit - 1 : l.bit;
        auto* w = new QLabel(this);
        w->setObjectName(QString::fromLatin1(l.name));
        w->setPixmap(lamp);
        w->setGeometry(kLampX0 + i * kLampStep, kLampY, kLampSize, kLampSize);
        w->hide();
        *lampFields[k] = w;
        lamps_[std::size_t(l.bit)] = w;
    }

    auto area = [this](const char* name, const QRect& r) {
        auto* a = new KeyArea(this);
        a->setObjectName(QString::fromLatin1(name));
        a->setGeometry(r);
        a->setCursor(Qt::PointingHandCursor);
        a->hide();
        return a;
    };
    PaintBoxRunRKP = area("PaintBoxRunRKP", kRunRect);
    PaintBoxRunRKP->onClick = [this] { panel_->pressRun(); };
    PaintBoxStopRKP = area("PaintBoxStopRKP", kStopRect);
    PaintBoxStopRKP->onClick = [this] { panel_->pressStop(); };
    PaintBoxMonRKP = area("PaintBoxMonRKP", kMonRect);
    PaintBoxMonRKP->onClick = [this] { panel_->pressMon(); };
    PaintBoxEntRKP = area("PaintBoxEntRKP", kEntRect);
    PaintBoxEntRKP->onClick = [this] { panel_->pressEnt(); };
    PaintBoxUpRKP = area("PaintBoxUpRKP", kUpRect);
    PaintBoxUpRKP->onPress = [this] { panel_->pressUp(); };
    PaintBoxUpRKP->onRelease = [this] { panel_->releaseUp(); };
    PaintBoxDownRKP = area("PaintBoxDownRKP", kDownRect);
    PaintBoxDownRKP->onPress = [this] { panel_->pressDown(); };
    PaintBoxDownRKP->onRelease = [this] { panel_->releaseDown(); };

    closeLabel = new QLabel(QStringLiteral("Close"), this);
    closeLabel->setObjectName(QStringLiteral("Label1"));
    closeLabel->setGeometry(kCloseRect);
    closeLabel->setAlignment(Qt::AlignCenter);
    closeLabel->setStyleSheet(QStringLiteral("color: #b0b0b0;"));
    closeLabel->setCursor(Qt::PointingHandCursor);
    closeLabel->installEventFilter(this);

    unitLabel = new QLabel(QStringLiteral("UNIT"), this);
    unitLabel->setObjectName(QStringLiteral("Unit2005"));
    unitLabel->setGeometry(kUnitRect);
    unitLabel->setAlignment(Qt::AlignCenter);
    unitLabel->setStyleSheet(QStringLiteral("color: #e0e0e0; border: 1px solid #e0e0e0; font-size: 9px;"));
    unitLabel->hide();

    // The keyboard of direct input goes to an edit outside the visible area.
    directInputEdit = new QLineEdit(this);
    directInputEdit->setObjectName(QStringLiteral("Edit1"));
    directInputEdit->setGeometry(-200, -200, 40, 20);
    directInputEdit->installEventFilter(this);

    contextMenu = new QMenu(this);
    contextMenu->setObjectName(QStringLiteral("PopupMenu2"));
    RKPOnLine = contextMenu->addAction(QStringLiteral("On-line"));
    RKPOnLine->setVisible(false);
    RKPOffLine = contextMenu->addAction(QStringLiteral("Off-line"));
    RKPOffLine->setVisible(false);
    contextMenu->addSeparator()->setVisible(false);
    RKPDirectFC = contextMenu->addAction(QStringLiteral("FC Direct Input"));
    RKPDirectFC->setObjectName(QStringLiteral("RKPDirectFC"));
    RKPDirectFC->setCheckable(true);
    connect(RKPDirectFC, &QAction::triggered, this, [this] {
        // The check mark follows the mode, not the click.
        RKPDirectFC->setChecked(panel_->directInput());
        panel_->toggleDirectInput();
    });
    contextMenu->addSeparator();
    RKPExit = contextMenu->addAction(QStringLiteral("Close"));
    RKPExit->setObjectName(QStringLiteral("RKPExit"));
    connect(RKPExit, &QAction::triggered, this, [this] { panel_->closePanel(); });

    FormActivation::watch(this, [this] { armStart(); });
    preparePanel();
}

KeypadWindow::~KeypadWindow() = default;

void KeypadWindow::preparePanel() {
    if (context_.startupAborted)
        return;
    panelImage->setPixmap(panelPicture());
    setFixedWidth(panelImage->width());
    ApplyLanguage();
}

void KeypadWindow::ApplyLanguage() {
    const IniFile ini(context_.language.iniPath);
    const QString section = QStringLiteral("KeyPad");
    setWindowTitle(ini.readString(section, QStringLiteral("Form"), QStringLiteral("Key Pad")));
    RKPDirectFC->setText(
        ini.readString(section, QStringLiteral("PopMenu1"), QStringLiteral("FC Direct Input")));
    RKPExit->setText(ini.readString(section, QStringLiteral("PopMenu2"), QStringLiteral("Close")));
    // The panel's own "Close" says what the menu's item says, without its access key.
    closeLabel->setText(withoutAccessKey(RKPExit->text()));
}

void KeypadWindow::armAndPlace() {
    panel_->windowShown();
    // Showing a modal window activates it; arm the start here too, so that a desktop that
    // withholds the activation does not leave the display dark.
    panel_->armStart();
    const QString info = context_.drive.files.infoIniPath;
    unitLabel->setVisible(!info.isEmpty() &&
                          IniFile(info).readBool(QStringLiteral("Setup"), QStringLiteral("Unit"), false));
    move((640 - width()) / 2, 480 - (height() + 402) / 2);
}

void KeypadWindow::armStart() {
    panel_->armStart();
}

void KeypadWindow::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    if (!e->spontaneous())
        armAndPlace();
}

void KeypadWindow::done(int r) {
    panel_->stopPanel();
    QDialog::done(r);
}

void KeypadWindow::keyPressEvent(QKeyEvent* e) {
    // Esc would reject the dialog: here it only leaves direct input. Keys that reach the
    // window while the direct-input field lost the focus still belong to direct input.
    if (e->key() == Qt::Key_Escape || panel_->directInput()) {
        routeKey(e);
        e->accept();
        return;
    }
    QDialog::keyPressEvent(e);
}

void KeypadWindow::routeKey(QKeyEvent* e) {
    int code = 0;
    switch (e->key()) {
    case Qt::Key_Backspace:
        code = 8;
        break;
    case Qt::Key_Delete:
        code = 46;
        break;
    case Qt::Key_Escape:
        code = 27;
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        code = 13;
        break;
    default:
        break;
    }
    if (code) {
        panel_->handleDirectKey(code);
    } else {
        for (QChar c : e->text())
            panel_->typeDirectCharacter(c);
    }
}

void KeypadWindow::contextMenuEvent(QContextMenuEvent* e) {
    contextMenu->popup(e->globalPos());
}

bool KeypadWindow::eventFilter(QObject* o, QEvent* e) {
    if (o == closeLabel && e->type() == QEvent::MouseButtonRelease) {
        auto* me = static_cast<QMouseEvent*>(e);
        if (me->button() == Qt::LeftButton && closeLabel->rect().contains(me->position().toPoint()))
            panel_->closePanel();
        return true;
    }
    if (o == directInputEdit && e->type() == QEvent::KeyPress) {
        routeKey(static_cast<QKeyEvent*>(e));
        return true; // the field keeps no text of its own
    }
    return QDialog::eventFilter(o, e);
}

// ---- KeypadPanelView ------------------------------------------------------------------------

void KeypadWindow::showLed(const QString& text) {
    // Painted at once, and only when it changes: a display that follows the drive back to back
    // would otherwise cost a paint per pass.
    if (text == FLED->text())
        return;
    FLED->setText(text);
    FLED->repaint();
}

void KeypadWindow::showLamps(std::uint8_t bits) {
    for (int b = 0; b < 8; ++b)
        if (QLabel* l = lamps_[std::size_t(b)])
            l->setVisible(bits & (1 << b));
}

void KeypadWindow::showDirectText(const QString& text) {
    FCLabel->setText(text);
    FCLabel->repaint();
    directInputEdit->setText(text);
}

void KeypadWindow::setDirectChecked(bool on) {
    RKPDirectFC->setChecked(on);
}

void KeypadWindow::setKeysVisible(bool on) {
    for (KeyArea* a :
         {PaintBoxRunRKP, PaintBoxStopRKP, PaintBoxMonRKP, PaintBoxUpRKP, PaintBoxDownRKP, PaintBoxEntRKP})
        a->setVisible(on);
}

void KeypadWindow::focusKeySink() {
    directInputEdit->setFocus();
}

void KeypadWindow::letEventsThrough() {
    QCoreApplication::processEvents();
    if (passHook)
        passHook();
}

void KeypadWindow::waitEvents(int ms) {
    if (!woken_) {
        // Without a time of its own the display read's time-out ends it at the latest.
        QEventLoop loop;
        QTimer timer;
        timer.setSingleShot(true);
        timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
        if (ms >= 0)
            timer.start(ms);
        waitLoop_ = &loop;
        loop.exec();
        waitLoop_ = nullptr;
    }
    woken_ = false;
}

void KeypadWindow::wake() {
    woken_ = true;
    if (waitLoop_)
        waitLoop_->quit();
}

void KeypadWindow::waitPainting(int ms) {
    // Repaints come through; clicks and keys wait until the blink is over.
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    timer.start(ms);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

void KeypadWindow::closeWindow() {
    reject();
}
