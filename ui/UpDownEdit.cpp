#include "ui/UpDownEdit.h"

#include "platform/Prompter.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QLocale>
#include <QStyle>
#include <QTimer>
#include <QToolButton>

#include <cmath>

namespace {

// Set while a check shows its box or gives the focus back: the focus moves that causes
// must not start the check of another field (two refused fields would take the focus
// from each other for ever).
int checking = 0;

struct CheckScope {
    CheckScope() { ++checking; }
    ~CheckScope() { --checking; }
    CheckScope(const CheckScope&) = delete;
    CheckScope& operator=(const CheckScope&) = delete;
};

double roundHalfAway(double v) {
    return std::round(v);
}

double scaleOf(int decimals) {
    return std::pow(10.0, decimals);
}

} // namespace

UpDownEdit::UpDownEdit(QWidget* parent)
    : QLineEdit(parent), up_(new QToolButton(this)), down_(new QToolButton(this)) {
    for (QToolButton* b : {up_, down_}) {
        b->setFocusPolicy(Qt::NoFocus);
        b->setAutoRepeat(true);
        b->setCursor(Qt::ArrowCursor);
        b->setIconSize(QSize(8, 8));
    }
    up_->setArrowType(Qt::UpArrow);
    down_->setArrowType(Qt::DownArrow);
    connect(up_, &QToolButton::clicked, this, [this] { stepBy(+1); });
    connect(down_, &QToolButton::clicked, this, [this] { stepBy(-1); });
    setText(format(position_));
    layoutButtons();
}

UpDownEdit::~UpDownEdit() = default;

void UpDownEdit::setRange(int min, int max) {
    if (min > max)
        std::swap(min, max);
    min_ = min;
    max_ = max;
    // As the system's control: the position stays inside, the text is left as it is.
    position_ = qBound(min_, position_, max_);
}

void UpDownEdit::setDecimals(int decimals) {
    decimals_ = qBound(0, decimals, 6);
    setText(format(position_));
}

QString UpDownEdit::format(int p) const {
    if (decimals_ == 0)
        return QString::number(p);
    return QString::number(p / scaleOf(decimals_), 'f', decimals_);
}

void UpDownEdit::setPosition(int p) {
    const int before = position_;
    position_ = qBound(min_, p, max_);
    setText(format(position_));
    if (position_ != before)
        emit positionChanged(position_);
}

void UpDownEdit::setMessages(const QString& notANumber, const QString& outOfRange, const QString& caption) {
    messages_ = [=](MsgId id) {
        switch (id) {
        case MsgId::Caption:
            return caption;
        case MsgId::OutOfRange:
            return outOfRange;
        case MsgId::DataIncorrect:
            return notANumber;
        default:
            return QString();
        }
    };
}

QString UpDownEdit::message(MsgId id) const {
    return messages_ ? messages_(id) : QString();
}

bool UpDownEdit::parseNumber(const QString& text, double& value) {
    const QString t = text.trimmed();
    if (t.isEmpty())
        return false;
    QLocale c = QLocale::c();
    c.setNumberOptions(QLocale::RejectGroupSeparator);
    bool ok = false;
    const double v = c.toDouble(t, &ok);
    if (!ok || !std::isfinite(v))
        return false;
    value = v;
    return true;
}

void UpDownEdit::takeFocusBack() {
    if (isVisible() && isEnabled() && focusPolicy() != Qt::NoFocus)
        setFocus(Qt::OtherFocusReason);
}

bool UpDownEdit::validate() {
    CheckScope scope;
    checkPending_ = false;
    double typed = 0;
    if (!parseNumber(text(), typed)) {
        takeFocusBack();
        Prompter::instance().message(message(MsgId::DataIncorrect), message(MsgId::Caption), BoxIcon::Error,
                                     BoxButtons::Ok, this);
        return false;
    }
    double value = typed * scaleOf(decimals_);
    if (decimals_ > 0)
        value = roundHalfAway(value);
    // The range is inclusive and tested before the fraction goes: 63.6 is above 63.
    if (value < min_ || value > max_) {
        takeFocusBack();
        Prompter::instance().message(message(MsgId::OutOfRange), message(MsgId::Caption), BoxIcon::Error,
                                     BoxButtons::Ok, this);
        setPosition(value < min_ ? min_ : max_);
        return false;
    }
    const double whole = fraction_ == Fraction::Round ? roundHalfAway(value) : std::trunc(value);
    setPosition(static_cast<int>(whole));
    return true;
}

bool UpDownEdit::runCheck() {
    checkPending_ = false;
    if (!check_)
        return validate();
    CheckScope scope;
    return check_();
}

void UpDownEdit::stepBy(int direction) {
    // The control starts from what the field shows when that is a number in range, as the
    // system's up-down reads its buddy.
    int base = position_;
    double typed = 0;
    if (stepFromText_ && parseNumber(text(), typed)) {
        double value = roundHalfAway(typed * scaleOf(decimals_));
        if (value >= min_ && value <= max_)
            base = static_cast<int>(value);
    }
    const qint64 next = static_cast<qint64>(base) + static_cast<qint64>(direction) * step_;
    int p;
    if (next > max_)
        p = wrap_ ? min_ : max_;
    else if (next < min_)
        p = wrap_ ? max_ : min_;
    else
        p = static_cast<int>(next);
    setPosition(p);
}

void UpDownEdit::focusOutEvent(QFocusEvent* e) {
    QLineEdit::focusOutEvent(e);
    // Only the user moving to another control of the window counts as leaving the field. A
    // box or another window coming up does not, nor a field taking the focus back after its
    // own refused entry: that would check this field in turn, and two refused fields would
    // take the focus from each other for ever.
    const Qt::FocusReason r = e->reason();
    const bool userMove = r == Qt::TabFocusReason || r == Qt::BacktabFocusReason ||
                          r == Qt::MouseFocusReason || r == Qt::ShortcutFocusReason;
    if (!checkOnLeave_ || checking > 0 || !userMove)
        return;
    // The check runs once the focus has settled: a box shown from inside the focus change
    // would disturb it. A check run meanwhile (a close query) makes this one unneeded.
    checkPending_ = true;
    QTimer::singleShot(0, this, [this] {
        if (checkPending_ && isEnabled())
            emit checked(runCheck());
    });
}

void UpDownEdit::keyPressEvent(QKeyEvent* e) {
    switch (e->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (checkOnLeave_) {
            const bool ok = runCheck();
            emit checked(ok);
            // A refused entry keeps the key, so that a dialog does not go on to close.
            if (!ok) {
                e->accept();
                return;
            }
        }
        break;
    case Qt::Key_Up:
        stepBy(+1);
        e->accept();
        return;
    case Qt::Key_Down:
        stepBy(-1);
        e->accept();
        return;
    default:
        break;
    }
    QLineEdit::keyPressEvent(e);
}

void UpDownEdit::resizeEvent(QResizeEvent* e) {
    QLineEdit::resizeEvent(e);
    layoutButtons();
}

void UpDownEdit::changeEvent(QEvent* e) {
    QLineEdit::changeEvent(e);
    if (e->type() == QEvent::StyleChange || e->type() == QEvent::FontChange)
        layoutButtons();
}

void UpDownEdit::layoutButtons() {
    const int frame = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this);
    const int h = qMax(2, height() - 2 * frame);
    const int w = qBound(12, h, 16);
    const int x = width() - frame - w;
    up_->setGeometry(x, frame, w, h / 2);
    down_->setGeometry(x, frame + h / 2, w, h - h / 2);
    setTextMargins(0, 0, w, 0);
}
