#include "monitor/KeypadPanel.h"

#include "core/Messages.h"
#include "core/Options.h"
#include "core/ProgramContext.h"
#include "core/ValueRules.h"
#include "link/CoreNotices.h"
#include "platform/Clock.h"
#include "platform/IniFile.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <utility>

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

void KeypadPanel::write(int index, qint64 value) {
    // A drive type without the key parameters gets no frame for them.
    if (index < 0)
        return;
    writes_.push_back({index, value});
    if (index == keyFlagIndex_)
        lastFlagQueued_ = value;
}

long KeypadPanel::expectExchange() {
    awaitedOver_ = false;
    return ++awaited_;
}

void KeypadPanel::exchangeEnded(long n) {
    if (n != awaited_)
        return;
    awaitedOver_ = true;
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
    auto connected = std::make_shared<bool>(false);
    link_.ConnectDriveInBackground([self, n, connected](bool ok) {
        *connected = ok;
        if (self)
            self->exchangeEnded(n);
    });
    awaitExchange(false);
    // Hidden meanwhile: the connect goes on without the window; the link keeps its answer.
    return awaitedOver_ ? *connected : link_.ConnectDriveKept();
}

void KeypadPanel::sendWrites() {
    while (!writes_.empty()) {
        const KeyWrite w = writes_.front();
        writes_.pop_front();
        // Noted on the link as every write is. Once the window is hidden nothing is waited for
        // here: the link lets each exchange end before the next.
        const long n = expectExchange();
        const QPointer<KeypadPanel> self(this);
        link_.transactNotedInBackground(w.index, QString::number(w.value), QStringLiteral("P"),
                                        [self, n](const ExchangeResult&) {
                                            if (self)
                                                self->exchangeEnded(n);
                                        });
        awaitExchange(false);
    }
}

void KeypadPanel::releaseKeys() {
    runKey_ = stopKey_ = upKey_ = downKey_ = monKey_ = entKey_ = false;
    upLatch_ = downLatch_ = false;
    pressOrder_.clear();
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

void KeypadPanel::sendClickedKey(bool& pressed, int bit, qint64 base) {
    if (!pressed)
        return;
    pressed = false;
    write(keyFlagIndex_, 1);
    write(keyCodeIndex_, base + bit);
    write(keyFlagIndex_, 0);
}

void KeypadPanel::sendHeldKey(bool held, bool& latch, bool& release, int bit, int releaseCode, qint64 base) {
    if (held || latch) {
        latch = false;
        // Another key's handshake ended since the press: its code goes under the flag again.
        if (lastFlagQueued_ != 1)
            write(keyFlagIndex_, 1);
        write(keyCodeIndex_, base + bit);
    } else if (release) {
        release = false;
        write(keyCodeIndex_, releaseCode);
        write(keyFlagIndex_, 0);
    }
}

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
    displayBlockIndex_ = ValueRules::IndexOfComNo(context_, kDisplayBlockNo);
    keyCodeIndex_ = ValueRules::IndexOfComNo(context_, kKeyCodeNo);
    keyFlagIndex_ = ValueRules::IndexOfComNo(context_, kKeyFlagNo);

    connected_ = connectAwaited();
    if (!connected_) {
        ShowMsg(link_.asker(), context_, MsgId::CannotConnect, BoxIcon::Warning);
        closePanel();
    } else {
        panelRunning_ = true;
        showKeys(true);
        if (blinkTimer_.interval() > 0) // an interval of 0 would fire without pause
            blinkTimer_.start();
        Clock& clock = link_.clock();
        qint64 last = clock.now();
        while (panelRunning_ && view_.isShown()) {
            const qint64 now = clock.now();
            // The tick count is 32 bits wide; its difference stays right across a wrap.
            const qint64 t = std::int32_t(std::uint32_t(now) - std::uint32_t(last)) / 4;
            last = now;
            const qint64 base = t * 256;

            // The read goes out at once and the pass waits for its answer in the event loop:
            // the passes follow each other as fast as the line allows, and the window answers
            // while the drive does (or stays silent until the time-out).
            const long read = expectExchange();
            const QPointer<KeypadPanel> self(this);
            auto takeRead = [self, read](const std::optional<DisplayBlock>& block) {
                if (!self || self->awaited_ != read)
                    return;
                if (block)
                    DecodeDisplayBlock(*block, self->display_);
                self->readFailed_ = !block;
                self->exchangeEnded(read);
            };
            keypadLink_.PanelTransact(displayBlockIndex_, takeRead);
            awaitExchange(true);
            const bool readOver = awaitedOver_;
            // Closed meanwhile: the pass ends without the display (the keys still go out); the
            // connect after the loop takes the read's end.
            if (readOver) {
                if (readFailed_) {
                    view_.showLed(blinkPhase_ ? kCommErrorText : kBlank4);
                } else {
                    view_.showLamps(blinkPhase_ ? display_.lampBits : display_.blinkLampBits);
                    view_.showLed(blinkPhase_ ? display_.ledText : display_.blinkLedText);
                }
                ++passes_;
            }
            // A line whose device failed (the drive's end gone and back) is opened again: the
            // keypad goes on by itself once the drive is there.
            if (readOver && readFailed_ && (link_.portFailed() || !link_.PortOpen()) && panelRunning_)
                connected_ = connectAwaited();
            // A read that failed at once (a port gone, a drive type without the block) still
            // takes its time limit: the passes never spin. A key ends the pause.
            const qint64 due = now + keypadLink_.options().replyTimeoutMs;
            if (readOver && readFailed_ && panelRunning_ && clock.now() < due)
                view_.waitEvents(int(due - clock.now()));

            view_.letEventsThrough();

            // The writes of the keys pressed since the last pass go first, then the codes: the
            // keys pressed in the order pressed, then those still held.
            std::vector<Key> order = std::exchange(pressOrder_, {});
            for (Key k : {Key::Run, Key::Stop, Key::Up, Key::Down, Key::Mon, Key::Ent})
                if (std::find(order.begin(), order.end(), k) == order.end())
                    order.push_back(k);
            for (Key k : order)
                sendKey(k, base);
            sendWrites();
        }
        view_.showLamps(0);
        view_.showLed(kBlank4);
        blinkTimer_.stop();
    }
    showKeys(false);
    connected_ = connectAwaited();
    --loopDepth_;
}

// ---- Keys ---------------------------------------------------------------------------------
// The click areas exist only while the loop runs; a click that reaches a hidden area is none.

bool KeypadPanel::takeKey() {
    if (!keysVisible_)
        return false;
    write(keyCodeIndex_, 0);
    return true;
}

void KeypadPanel::notePress(Key key) {
    if (std::find(pressOrder_.begin(), pressOrder_.end(), key) == pressOrder_.end())
        pressOrder_.push_back(key);
}

void KeypadPanel::sendKey(Key key, qint64 base) {
    switch (key) {
    case Key::Run:
        return sendClickedKey(runKey_, KeyRun, base);
    case Key::Stop:
        return sendClickedKey(stopKey_, KeyStop, base);
    case Key::Up:
        return sendHeldKey(upKey_, upLatch_, upRelease_, KeyUp, kUpReleaseCode, base);
    case Key::Down:
        return sendHeldKey(downKey_, downLatch_, downRelease_, KeyDown, kDownReleaseCode, base);
    case Key::Mon:
        return sendClickedKey(monKey_, KeyMon, base);
    case Key::Ent:
        return sendClickedKey(entKey_, KeyEnt, base);
    }
}

void KeypadPanel::pressRun() {
    if (takeKey()) {
        runKey_ = true;
        notePress(Key::Run);
    }
    view_.wake();
}

void KeypadPanel::pressStop() {
    if (takeKey()) {
        stopKey_ = true;
        notePress(Key::Stop);
    }
    view_.wake();
}

void KeypadPanel::pressHeldKey(Key key, bool& held, bool& latch, bool& release) {
    if (!takeKey())
        return;
    write(keyFlagIndex_, 1);
    held = latch = release = true;
    notePress(key);
    view_.wake();
}

void KeypadPanel::pressUp() {
    pressHeldKey(Key::Up, upKey_, upLatch_, upRelease_);
}

void KeypadPanel::releaseUp() {
    upKey_ = false;
    // Its release code goes out where the release stands among the presses.
    notePress(Key::Up);
    view_.wake();
}

void KeypadPanel::pressDown() {
    pressHeldKey(Key::Down, downKey_, downLatch_, downRelease_);
}

void KeypadPanel::releaseDown() {
    downKey_ = false;
    // Its release code goes out where the release stands among the presses.
    notePress(Key::Down);
    view_.wake();
}

void KeypadPanel::pressMon() {
    if (takeKey()) {
        monKey_ = true;
        notePress(Key::Mon);
    }
    view_.wake();
}

void KeypadPanel::pressEnt() {
    if (takeKey()) {
        entKey_ = true;
        notePress(Key::Ent);
    }
    view_.wake();
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
