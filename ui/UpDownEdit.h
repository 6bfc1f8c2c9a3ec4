#pragma once
// A number field with two small arrow buttons: an edit tied to an up-down control. The
// arrows (and the Up/Down keys) step the position by the increment and stop at the range
// or wrap round; the text always shows the position after a step.
//
// Typed text is checked by validate(), which also runs when the user moves to another
// control (Tab, a click, a shortcut; a focus move made by code does not count) and when
// Enter is typed: empty or not a number shows MsgId::DataIncorrect; a
// number outside the inclusive range (compared before rounding) shows MsgId::OutOfRange and puts
// the nearest bound in; both give the focus back to the field. An accepted number becomes
// the position (rounded half away from zero, or cut toward zero) and the text shows it.
// An owner whose own model checks the text installs that check with setCheck().
#include "core/Messages.h"

#include <QLineEdit>
#include <functional>

class QToolButton;

class UpDownEdit : public QLineEdit {
    Q_OBJECT
public:
    enum class Fraction { Round, Truncate };

    explicit UpDownEdit(QWidget* parent = nullptr);
    ~UpDownEdit() override;

    void setRange(int min, int max);
    int minimum() const { return min_; }
    int maximum() const { return max_; }
    void setIncrement(int step) { step_ = step > 0 ? step : 1; }
    int increment() const { return step_; }
    void setWrap(bool wrap) { wrap_ = wrap; }
    // Whether a step starts from the number the field shows (the default) or from the
    // position alone (a field that shows the position in other units than it holds it).
    void setStepFromText(bool on) { stepFromText_ = on; }
    bool wrap() const { return wrap_; }
    // How an accepted fraction becomes the position.
    void setFraction(Fraction f) { fraction_ = f; }
    // The position is shown divided by 10^decimals with that many decimals, and a typed
    // number is multiplied by 10^decimals and rounded before it is checked (a factor of
    // 1.00 held as 100).
    void setDecimals(int decimals);
    int decimals() const { return decimals_; }

    int position() const { return position_; }
    // Forced into the range; the text shows it.
    void setPosition(int p);
    QString format(int p) const;

    // Texts of the boxes: the messages of the language file (DataIncorrect, OutOfRange; the
    // caption is MsgId::Caption).
    void setMessageSource(std::function<QString(MsgId)> messages) { messages_ = std::move(messages); }
    void setMessages(const QString& notANumber, const QString& outOfRange, const QString& caption);

    // Checks the text as described above; false when it was refused.
    bool validate();
    // Replaces the check run on leaving the field and on Enter (validate() itself is not
    // changed); it returns whether the entry was accepted.
    void setCheck(std::function<bool()> check) { check_ = std::move(check); }
    // Whether leaving the field and Enter run a check at all.
    void setCheckOnLeave(bool on) { checkOnLeave_ = on; }
    // Gives the focus back when the field can take it.
    void takeFocusBack();

    // One step as the arrows make it (+1 up, -1 down).
    void stepBy(int direction);

    // A decimal number in the C locale with blanks around it ignored; false for anything
    // else (also for an empty text, infinities and "not a number").
    static bool parseNumber(const QString& text, double& value);

    QToolButton* upButton() const { return up_; }
    QToolButton* downButton() const { return down_; }

signals:
    void positionChanged(int position);
    // A check run by leaving the field or by Enter has ended.
    void checked(bool accepted);

protected:
    void focusOutEvent(QFocusEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void changeEvent(QEvent* e) override;

private:
    bool runCheck();
    void layoutButtons();
    QString message(MsgId id) const;

    QToolButton* up_;
    QToolButton* down_;
    int min_ = 0;
    int max_ = 100;
    int step_ = 1;
    bool wrap_ = false;
    bool stepFromText_ = true;
    int decimals_ = 0;
    Fraction fraction_ = Fraction::Round;
    int position_ = 0;
    bool checkOnLeave_ = true;
    bool checkPending_ = false;
    std::function<QString(MsgId)> messages_;
    std::function<bool()> check_;
};
