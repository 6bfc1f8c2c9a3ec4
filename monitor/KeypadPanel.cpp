#include "monitor/KeypadPanel.h"

#include "core/Messages.h"
#include "core/Options.h"
#include "core/ProgramContext.h"
#include "core/ValueRules.h"
#include "link/CoreNotices.h"
#include "platform/Clock.h"
#include "platform/IniFile.h"

#include <QPointer>
#include <cstdint>

namespace {

const QString kBlank4 = QStringLiteral("    ");
const QString kCommErrorText = QStringLiteral("coMe");
const QString kDirectPrompt = QStringLiteral("fc  ");
const QString kDisplayBlockNo = QStringLiteral("FC10");
const QString kKeyCodeNo = QStringLiteral("FA11");
const QString kKeyFlagNo = QStringLiteral("FA10");
const QString kFreqCommSection = QStringLiteral("Freq Comm No");
constexpr int kConfirmBlinks = 3;

bool isPlainDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

} // namespace

std::optional<qint64> DirectInputRawValue(const QString& entryText, qint64 m) {
    qint64 digits = 0;
    int count = 0;
    int decimals = -1; // digits after the dotted one; -1 while none was dotted
    for (QChar c : entryText) {
        QChar d = c;
        bool dotted = false;
        if (!isPlainDigit(c)) {
            d = DigitOfDotted(c);
            if (d.isNull() || decimals >= 0)
                return std::nullopt;
            dotted = true;
        }
        if (++count > 9) // more than any entry can hold
            return std::nullopt;
        digits = digits * 10 + (d.unicode() - u'0');
        if (decimals >= 0)
            ++decimals;
        if (dotted)
            decimals = 0;
    }
    if (count == 0)
        return std::nullopt;
    qint64 divisor = 1;
    for (int i = 0; i < decimals; ++i)
        divisor *= 10;
    return digits * m / divisor;
}

KeypadPanel::KeypadPanel(ProgramContext& context, const Options& options, CommLink& link,
                         KeypadPanelView& view, QObject* parent)
    : QObject(parent), context_(context), options_(options), link_(link), view_(view), keypadLink_(link) {
    startTimer_.setSingleShot(true);
    startTimer_.setInterval(kPanelStartDelayMs);
    startTimer_.callOnTimeout(this, [this] { startDelayElapsed(); });
    blinkTimer_.callOnTimeout(this, [this] { blinkTick(); });
}

KeypadPanel::~KeypadPanel() = default;

void KeypadPanel::showKeys(bool on) {
    keysVisible_ = on;
    view_.setKeysVisible(on);
}

long KeypadPanel::expectExchange() {
    awaitedOver_ = false;
    awaitedFailed_ = false;
    return ++awaited_;
}

void KeypadPanel::exchangeEnded(long n, bool failed) {
    if (n != awaited_)
        return;
    awaitedOver_ = true;
    awaitedFailed_ = failed;
    if (awaiting_)
        view_.wake();
}

void KeypadPanel::awaitExchange(bool whileRunning) {
    awaiting_ = true;
    while (!awaitedOver_ && (panelRunning_ || !whileRunning) && view_.isShown())
        view_.waitEvents(-1);
    awaiting_ = false;
}

bool KeypadPanel::connectAwaited() {
    if (link_.monitorRunning())
        return false;
    if (!view_.isShown())
        return link_.ConnectDrive();
    const long n = expectExchange();
    const QPointer<KeypadPanel> self(this);
    link_.ConnectDriveInBackground([self, n](bool ok) {
        if (self)
            self->exchangeEnded(n, !ok);
    });
    awaitExchange(false);
    // Closed meanwhile: the connect goes on without the window (the link takes its answer), and
    // nothing waits for it.
    return awaitedOver_ && !awaitedFailed_;
}

void KeypadPanel::windowShown() {
    actions_.clear();
    writes_.clear();
    heldBit_ = 0;
    blinkPhase_ = true;
}

void KeypadPanel::armStart() {
    blinkTimer_.setInterval(options_.ledBlinkInterval.position());
    // An activation while the loop or direct input runs must not start a second loop.
    if (panelRunning_ || directInput_ || loopDepth_ > 0)
        return;
    startTimer_.start();
}

void KeypadPanel::stopPanel() {
    startTimer_.stop();
    blinkTimer_.stop();
    panelRunning_ = false;
    directInput_ = false;
    view_.setDirectChecked(false);
    view_.showDirectText(QString());
    view_.wake();
}

void KeypadPanel::closePanel() {
    stopPanel();
    view_.closeWindow();
}

void KeypadPanel::startDelayElapsed() {
    startTimer_.stop();
    if (!view_.isShown() || panelRunning_ || directInput_ || loopDepth_ > 0)
        return;
    // While another exchange waits on the line in the event loop, the loop (which would run on
    // top of that wait until the window closes) starts after it.
    const QPointer<KeypadPanel> self(this);
    link_.whenLineFree([self] {
        if (self && self->view_.isShown() && !self->panelRunning_ && !self->directInput_ &&
            self->loopDepth_ == 0)
            self->RunPanelLoop();
    });
}

void KeypadPanel::blinkTick() {
    blinkPhase_ = !blinkPhase_;
}

// ---- The loop -------------------------------------------------------------------------------

void KeypadPanel::RunPanelLoop() {
    if (loopDepth_ > 0) {
        // Asked again from inside a pass (direct input left before the pass ended): the
        // running loop simply goes on.
        panelRunning_ = true;
        return;
    }
    if (!view_.isShown())
        return;
    ++loopDepth_;
    if (directInput_)
        leaveDirectInput();
    findKeyParameters();
    const bool connected = connectAwaited();
    if (!view_.isShown()) {
        // Closed while its connect was on its way: nothing to run and nobody to tell.
    } else if (connected) {
        runPasses();
    } else {
        link_.tellCannotConnect();
        closePanel();
    }
    showKeys(false);
    closingConnect();
    --loopDepth_;
}

void KeypadPanel::closingConnect() {
    if (view_.isShown()) {
        connectAwaited();
        return;
    }
    // The window is gone: nothing waits for the answer, which sets the drive commands, so a
    // click in the main window meanwhile is taken at once rather than queued behind the drive
    // and met by commands the answer greyed. The greyed commands and the link icon say it.
    CommLink* link = &link_;
    link_.ConnectDriveInBackground([link](bool connected) {
        if (!connected)
            link->failureShownByCaller();
    });
}

void KeypadPanel::findKeyParameters() {
    displayBlockIndex_ = ValueRules::IndexOfComNo(context_, kDisplayBlockNo);
    keyCodeIndex_ = ValueRules::IndexOfComNo(context_, kKeyCodeNo);
    keyFlagIndex_ = ValueRules::IndexOfComNo(context_, kKeyFlagNo);
}

void KeypadPanel::runPasses() {
    panelRunning_ = true;
    showKeys(true);
    if (blinkTimer_.interval() > 0) // an interval of 0 would fire without pause
        blinkTimer_.start();
    passStart_ = link_.clock().now();
    passBase_ = 0;
    commError_ = false;
    while (panelRunning_ && view_.isShown()) {
        // Key writes go before the next display read: a key let go reaches the drive within
        // one exchange, whatever the line's pace.
        if (!sendNextKeyWrite())
            runPass();
    }
    // What the keys owe the drive still goes out, a key still held let go first: the drive
    // is never left with a key held down.
    showKeys(false);
    if (heldBit_ != 0)
        releaseHeldKey(heldBit_);
    while (sendNextKeyWrite()) {
    }
    view_.showLamps(0);
    view_.showLed(kBlank4);
    blinkTimer_.stop();
    // Ended by the window closing too: the next opening starts a loop again.
    panelRunning_ = false;
}

void KeypadPanel::runPass() {
    Clock& clock = link_.clock();
    const qint64 now = clock.now();
    // The tick count is 32 bits wide; its difference stays right across a wrap.
    const qint64 t = std::int32_t(std::uint32_t(now) - std::uint32_t(passStart_)) / 4;
    passStart_ = now;
    passBase_ = t * 256;
    ++passes_;
    // Closed meanwhile: the pass ends without the display (the keys still go out); the
    // connect after the loop takes the read's end.
    if (readDisplay()) {
        showDisplay();
        if (commError_)
            recoverFromFailedRead(now);
    }
    view_.letEventsThrough();
}

bool KeypadPanel::readDisplay() {
    // The read goes out at once and the pass waits for its answer in the event loop: the
    // passes follow each other as fast as the line allows, and the window answers while the
    // drive does (or stays silent until the time-out).
    const long read = expectExchange();
    const QPointer<KeypadPanel> self(this);
    keypadLink_.PanelTransact(displayBlockIndex_, [self, read](const std::optional<DisplayBlock>& block) {
        if (!self || self->awaited_ != read)
            return;
        if (block)
            DecodeDisplayBlock(*block, self->display_);
        self->exchangeEnded(read, !block);
    });
    awaitExchange(true);
    if (awaitedOver_)
        commError_ = awaitedFailed_;
    return awaitedOver_;
}

void KeypadPanel::showDisplay() {
    if (commError_) {
        // The lamps keep what the last good read showed.
        view_.showLed(blinkPhase_ ? kCommErrorText : kBlank4);
        return;
    }
    view_.showLamps(blinkPhase_ ? display_.lampBits : display_.blinkLampBits);
    view_.showLed(blinkPhase_ ? display_.ledText : display_.blinkLedText);
}

void KeypadPanel::recoverFromFailedRead(qint64 passStart) {
    // A line whose device failed (the drive's end gone and back) is opened again: the keypad
    // goes on by itself once the drive is there.
    if ((link_.portFailed() || !link_.PortOpen()) && panelRunning_)
        connectAwaited();
    // A read that failed at once (a port gone, a drive type without the block) still takes
    // its time limit, a key held or not: the passes never spin. A key worked ends the pause.
    Clock& clock = link_.clock();
    const qint64 due = passStart + keypadLink_.options().replyTimeoutMs;
    if (panelRunning_ && actions_.empty() && clock.now() < due)
        view_.waitEvents(int(due - clock.now()));
}

// ---- Keys ---------------------------------------------------------------------------------
// Each key action's writes, in the order the actions were made:
//   click of RUN, STOP, MON or ENT: "FA11" 0, "FA10" 1, "FA11" code, "FA10" 0;
//   UP or DOWN pressed: "FA11" 0, "FA10" 1, "FA11" code, then the code once a pass while held;
//   UP or DOWN let go: "FA11" 260 or 264, "FA10" 0.
// A code's time part is that of the pass in which it goes out.

void KeypadPanel::takeAction(KeyAction::Kind kind, int bit) {
    actions_.push_back({kind, bit});
    view_.wake();
}

void KeypadPanel::pressHeldKey(int bit) {
    if (!keysVisible_)
        return;
    // One key held at a time: a second press lets go of the first, as its own release would.
    if (heldBit_ != 0)
        releaseHeldKey(heldBit_);
    heldBit_ = bit;
    takeAction(KeyAction::Kind::Press, bit);
}

void KeypadPanel::releaseHeldKey(int bit) {
    // Only a press that was taken has a release.
    if (heldBit_ != bit)
        return;
    heldBit_ = 0;
    takeAction(KeyAction::Kind::Release, bit);
}

void KeypadPanel::pressRun() {
    if (keysVisible_)
        takeAction(KeyAction::Kind::Click, KeyRun);
}

void KeypadPanel::pressStop() {
    if (keysVisible_)
        takeAction(KeyAction::Kind::Click, KeyStop);
}

void KeypadPanel::pressUp() {
    pressHeldKey(KeyUp);
}

void KeypadPanel::releaseUp() {
    releaseHeldKey(KeyUp);
}

void KeypadPanel::pressDown() {
    pressHeldKey(KeyDown);
}

void KeypadPanel::releaseDown() {
    releaseHeldKey(KeyDown);
}

void KeypadPanel::pressMon() {
    if (keysVisible_)
        takeAction(KeyAction::Kind::Click, KeyMon);
}

void KeypadPanel::pressEnt() {
    if (keysVisible_)
        takeAction(KeyAction::Kind::Click, KeyEnt);
}

bool KeypadPanel::sendNextKeyWrite() {
    if (writes_.empty())
        queueNextKeyWrites();
    if (writes_.empty())
        return false;
    const KeyWrite w = writes_.front();
    writes_.pop_front();
    sendKeyWrite(w);
    return true;
}

void KeypadPanel::queueNextKeyWrites() {
    if (!actions_.empty()) {
        const KeyAction action = actions_.front();
        actions_.pop_front();
        queueActionWrites(action);
    } else if (heldBit_ != 0 && heldCodePass_ != passes_) {
        queueHeldCode();
    }
}

void KeypadPanel::queueActionWrites(const KeyAction& action) {
    switch (action.kind) {
    case KeyAction::Kind::Click:
        writeCode(0);
        writeFlag(true);
        writeCode(passBase_ + action.bit);
        writeFlag(false);
        return;
    case KeyAction::Kind::Press:
        // Its code goes out with the press, so that a press shorter than a pass still counts.
        writeCode(0);
        writeFlag(true);
        writeCode(passBase_ + action.bit);
        heldCodePass_ = passes_;
        return;
    case KeyAction::Kind::Release:
        writeCode(action.bit == KeyUp ? kUpReleaseCode : kDownReleaseCode);
        writeFlag(false);
        return;
    }
}

void KeypadPanel::queueHeldCode() {
    // Another key's handshake ended since the press: the code goes under the flag again.
    if (!flagRaised_)
        writeFlag(true);
    writeCode(passBase_ + heldBit_);
    heldCodePass_ = passes_;
}

void KeypadPanel::writeCode(qint64 code) {
    writes_.push_back({keyCodeIndex_, code});
}

void KeypadPanel::writeFlag(bool raised) {
    writes_.push_back({keyFlagIndex_, raised ? 1 : 0});
    flagRaised_ = raised;
}

void KeypadPanel::sendKeyWrite(const KeyWrite& w) {
    // Noted on the link as every write is. Once the window is hidden nothing is waited for
    // here: the link lets each exchange end before the next.
    const long n = expectExchange();
    const QPointer<KeypadPanel> self(this);
    link_.transactNotedInBackground(w.index, QString::number(w.value), QStringLiteral("P"),
                                    [self, n](const ExchangeResult& res) {
                                        if (self)
                                            self->exchangeEnded(n, res.error);
                                    });
    awaitExchange(false);
    // A write that failed, or could not be sent at all, shows as a failed read does; the
    // writes after it still go out, so that the drive ends with its keys let go.
    if (awaitedOver_ && awaitedFailed_ && view_.isShown()) {
        commError_ = true;
        showDisplay();
    }
}

void KeypadPanel::sendOwedKeyWritesNow() {
    if (heldBit_ != 0)
        releaseHeldKey(heldBit_);
    for (;;) {
        if (writes_.empty() && !actions_.empty()) {
            queueActionWrites(actions_.front());
            actions_.pop_front();
        }
        if (writes_.empty())
            return;
        const KeyWrite w = writes_.front();
        writes_.pop_front();
        link_.transactNoted(w.index, QString::number(w.value), QStringLiteral("P"));
    }
}

// ---- Direct input ---------------------------------------------------------------------------

void KeypadPanel::leaveDirectInput() {
    directInput_ = false;
    digitCount_ = 0;
    view_.setDirectChecked(false);
    view_.showDirectText(QString());
}

void KeypadPanel::toggleDirectInput() {
    if (directInput_) {
        leaveDirectInput();
        RunPanelLoop();
        return;
    }
    if (panelRunning_) {
        panelRunning_ = false;
        view_.wake();
    }
    directInput_ = true;
    entryText_.clear();
    digitCount_ = 0;
    decimalEntered_ = false;
    decimalGlyph_ = QChar();
    view_.showDirectText(kDirectPrompt);
    view_.setDirectChecked(true);
    view_.focusKeySink();
}

void KeypadPanel::typeDirectCharacter(QChar c) {
    if (!directInput_)
        return;
    if (isPlainDigit(c)) {
        if (digitCount_ >= kMaxDirectDigits)
            return;
        entryText_ += c;
        view_.showDirectText(entryText_);
        ++digitCount_;
        return;
    }
    if (c != u'.' && c != u',')
        return;
    if (decimalEntered_)
        return; // one decimal sign per entry
    if (entryText_.isEmpty() || !isPlainDigit(entryText_.back())) {
        ShowMsg(link_.asker(), context_, MsgId::DataIncorrect, BoxIcon::Warning);
        return;
    }
    decimalGlyph_ = DottedDigit(entryText_.back());
    entryText_.back() = decimalGlyph_;
    decimalEntered_ = true;
    view_.showDirectText(entryText_);
}

bool KeypadPanel::handleDirectKey(int key) {
    if (!directInput_)
        return false;
    switch (key) {
    case 8: // Backspace
        if (!entryText_.isEmpty()) {
            const QChar digit = DigitOfDotted(entryText_.back());
            if (!digit.isNull()) {
                entryText_.back() = digit;
                decimalEntered_ = false;
            } else {
                entryText_.chop(1);
                --digitCount_;
                if (entryText_.isEmpty()) {
                    digitCount_ = 0;
                    decimalEntered_ = false;
                }
            }
            view_.showDirectText(entryText_);
        }
        return true;
    case 46: // Delete
        entryText_.clear();
        digitCount_ = 0;
        decimalEntered_ = false;
        view_.showDirectText(QString());
        return true;
    case 27: // Esc
        directInput_ = false;
        view_.setDirectChecked(false);
        view_.showDirectText(QString());
        RunPanelLoop();
        return true;
    case 13: // Enter
        enterKey();
        return true;
    default:
        return false;
    }
}

void KeypadPanel::enterKey() {
    if (entryText_.isEmpty())
        return;
    const ProgramContext& context = context_;
    const QString target =
        IniFile(context.paths.catalogueIni)
            .readString(kFreqCommSection, context.drive.identity.typeName, QStringLiteral("-"))
            .trimmed();
    // No entry, or a number the drive type does not have: no target either.
    const int i = target == QLatin1String("-") ? -1 : ValueRules::IndexOfComNo(context_, target);
    if (i < 0) {
        ShowMsg(link_.asker(), context_, MsgId::ValueCannotBeSet, BoxIcon::Warning);
        return;
    }
    qint64 m = qint64(ValueRules::mulOf(context_, i));
    if (m < 1)
        m = 1;
    // Whole numbers throughout: a product in floating point would lose one for many entries.
    const std::optional<qint64> raw = DirectInputRawValue(entryText_, m);
    if (!raw) {
        ShowMsg(link_.asker(), context_, MsgId::DataIncorrect, BoxIcon::Warning);
        return;
    }
    const QString r = QString::number(*raw);
    bool outOfRange = false;
    ValueRules::Failure failure;
    const double c = ValueRules::ClampToRange(context_, r, i, outOfRange, failure);
    if (failure)
        ShowMsg(link_.asker(), context_, *failure, BoxIcon::Warning);
    if (outOfRange || c != double(*raw)) {
        ShowMsg(link_.asker(), context_, MsgId::OutOfRange, BoxIcon::Warning);
        return;
    }
    // The writes of the keys worked before direct input was entered reach the drive first (the
    // loop that owes them may still be sending them): the value never overtakes a key.
    sendOwedKeyWritesNow();
    link_.transactNoted(i, r, options_.exportToEeprom.checked() ? QStringLiteral("W") : QStringLiteral("P"));
    confirmationBlink();
    directInput_ = false;
    view_.setDirectChecked(false);
    view_.showDirectText(QString());
    RunPanelLoop();
}

void KeypadPanel::confirmationBlink() {
    const int ms = options_.ledBlinkInterval.position();
    for (int k = 0; k < kConfirmBlinks; ++k) {
        view_.showDirectText(entryText_);
        if (ms > 0)
            view_.waitPainting(ms);
        view_.showDirectText(kDirectPrompt);
        if (ms > 0)
            view_.waitPainting(ms);
    }
}
