#pragma once
// The keypad panel's logic without its window: the panel loop that reads the drive's display
// block and sends the pending key codes between reads, each waited for in the event loop, the
// key handlers, direct input of a frequency command, and the two timers. The window (KeypadWindow) routes its
// events here and shows what the view calls tell it.
#include "monitor/KeypadLink.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

class Options;
struct ProgramContext;

// What the logic needs of its window.
class KeypadPanelView {
public:
    virtual ~KeypadPanelView() = default;
    // FLED's text, painted at once when it changes (the loop does not return to the event loop).
    virtual void showLed(const QString& text) = 0;
    // The seven lamps by the bits of a lamp byte.
    virtual void showLamps(std::uint8_t bits) = 0;
    // FCLabel's text (direct input), painted at once; the direct-input field shows it too.
    virtual void showDirectText(const QString& text) = 0;
    // The check mark of "FC Direct Input".
    virtual void setDirectChecked(bool on) = 0;
    // The six click areas over the keys (ShowKeys / HideKeys).
    virtual void setKeysVisible(bool on) = 0;
    // The direct-input field takes the keyboard.
    virtual void focusKeySink() = 0;
    // Lets the pending window messages through, once a pass (the key handlers run here).
    virtual void letEventsThrough() = 0;
    // Sleeps in the event loop, window messages let through, until wake() is called or, with
    // ms 0 or more, ms have passed; at once when wake() was called since the last wait.
    virtual void waitEvents(int ms) = 0;
    // Ends a waitEvents: the exchange waited for has ended, a key waits to be sent, or the loop is to end.
    virtual void wake() = 0;
    // The confirmation blink's pause: the window repaints, but takes no clicks or keys.
    virtual void waitPainting(int ms) = 0;
    virtual bool isShown() const = 0;
    // Ends the modal run (the loop ends first when it is running).
    virtual void closeWindow() = 0;
};

// Key bits of the key codes written to "FA11".
enum KeypadKey : int {
    KeyRun = 0x01,
    KeyStop = 0x02,
    KeyUp = 0x04,
    KeyDown = 0x08,
    KeyMon = 0x10,
    KeyEnt = 0x20,
};
// Codes that end a held UP or DOWN.
inline constexpr int kUpReleaseCode = 0x104;
inline constexpr int kDownReleaseCode = 0x108;
// The loop starts this long after the window was activated.
inline constexpr int kPanelStartDelayMs = 200;
// Digits of one direct-input entry.
inline constexpr int kMaxDirectDigits = 4;

// Converts a direct-input entry (digits, one of them possibly dotted) to the raw value of a
// parameter with divisor m: the digits as an integer times m, divided by ten to the number
// of digits after the dotted one, exactly (excess decimals are cut). Nothing for an entry
// without digits or with another character.
std::optional<qint64> DirectInputRawValue(const QString& entryText, qint64 m);

class KeypadPanel : public QObject {
    Q_OBJECT
public:
    // The keypad of the program the context describes, with its options, on its link.
    KeypadPanel(ProgramContext& context, const Options& options, CommLink& link, KeypadPanelView& view,
                QObject* parent = nullptr);
    ~KeypadPanel() override;

    // ---- Event handlers ----
    void releaseKeys();
    // At every activation: the loop's start is armed, the blink interval taken from the
    // options. Nothing new is armed while the loop or direct input runs.
    void armStart();
    // The window closes (any way): the loop ends after its pass, both timers stop.
    void stopPanel();
    void startDelayElapsed();
    void blinkTick();
    void pressRun();
    void pressStop();
    void pressUp();
    void releaseUp();
    void pressDown();
    void releaseDown();
    void pressMon();
    void pressEnt();
    void toggleDirectInput();
    // A character typed while direct input is on.
    void typeDirectCharacter(QChar c);
    // Backspace 8, Delete 46, Esc 27, Enter 13; true when the key was taken.
    bool handleDirectKey(int key);
    void closePanel();

    // The panel loop; returns when it is ended (endLoop, direct input, closing) or the window
    // is hidden. A call from inside a running loop only keeps that loop going.
    void RunPanelLoop();
    // The loop ends after the pass under way; the window stays.
    void endLoop() { panelRunning_ = false; }

    bool panelRunning() const { return panelRunning_; }
    // Whether the link was connected at the loop's start and again at its end.
    bool connected() const { return connected_; }
    bool directInput() const { return directInput_; }
    // A press of a key not yet sent to the drive.
    bool keyWaiting() const {
        return runKey_ || stopKey_ || upKey_ || downKey_ || monKey_ || entKey_ || upLatch_ || downLatch_ ||
               !writes_.empty();
    }
    const KeypadDisplay& display() const { return display_; }
    // The direct-input entry so far: its digits, one of them possibly dotted.
    const QString& entryText() const { return entryText_; }
    int digitCount() const { return digitCount_; }
    bool decimalEntered() const { return decimalEntered_; }

    bool startTimerActive() const { return startTimer_.isActive(); }
    bool blinkTimerActive() const { return blinkTimer_.isActive(); }
    int blinkInterval() const { return blinkTimer_.interval(); }
    bool keysVisible() const { return keysVisible_; }
    bool loopActive() const { return loopDepth_ > 0; }
    // Passes of the loop so far (tests and the benchmark count refreshes).
    long passCount() const { return passes_; }
    KeypadLink& keypadLink() { return keypadLink_; }

private:
    void showKeys(bool on);
    // Queues a key parameter's value for the pass's writes (none for a parameter the type lacks).
    void write(int index, qint64 value);
    // Sends the queued writes in order, each waited for in the event loop; the writes of a key
    // pressed meanwhile follow in turn.
    void sendWrites();
    // The exchange the pass is to wait for begins; its number.
    long expectExchange();
    // Exchange n has ended: the pass waiting for it goes on.
    void exchangeEnded(long n);
    // Sleeps in the event loop until the exchange expected last has ended or the window is
    // hidden (with `whileRunning`, also once the loop is to end).
    void awaitExchange(bool whileRunning);
    // The link's connect, its answer awaited in the event loop while the window is shown: a
    // silent drive never holds the window.
    bool connectAwaited();
    // A press on a shown key, which first writes 0 as the key code; false for a hidden key.
    bool takeKey();
    // A clicked key's codes under the handshake, from the pass's base.
    void sendClickedKey(bool& pressed, int bit, qint64 base);
    // UP or DOWN: its code each pass while held (once for a press shorter than a pass), then
    // the release code and the end of the handshake.
    void sendHeldKey(bool held, bool& latch, bool& release, int bit, int releaseCode, qint64 base);
    enum class Key { Run, Stop, Up, Down, Mon, Ent };
    // The press of UP or DOWN.
    void pressHeldKey(Key key, bool& held, bool& latch, bool& release);
    // A press taken: its key goes out in the order pressed.
    void notePress(Key key);
    // One key's writes of the pass.
    void sendKey(Key key, qint64 base);
    void leaveDirectInput();
    void enterKey();
    void confirmationBlink();

    ProgramContext& context_;
    const Options& options_;
    CommLink& link_;
    KeypadPanelView& view_;
    KeypadLink keypadLink_;
    // Key presses waiting for the next pass; a release of UP or DOWN waiting to be sent.
    bool runKey_ = false, stopKey_ = false, upKey_ = false, downKey_ = false, monKey_ = false,
         entKey_ = false;
    bool upRelease_ = false, downRelease_ = false;
    // The keys pressed since the last pass, in the order pressed; the key flag last queued.
    std::vector<Key> pressOrder_;
    qint64 lastFlagQueued_ = 0;
    // A press of UP or DOWN not yet sent: a click shorter than a pass still reaches the drive.
    bool upLatch_ = false, downLatch_ = false;
    bool panelRunning_ = false;
    bool connected_ = false;
    bool directInput_ = false;
    bool decimalEntered_ = false;
    // Which of the two display images the blink shows.
    bool blinkPhase_ = true;
    // Indexes of the display block and the key parameters in the drive type; -1 for none.
    int displayBlockIndex_ = -1, keyCodeIndex_ = -1, keyFlagIndex_ = -1;
    int digitCount_ = 0;
    KeypadDisplay display_;
    QString entryText_;
    QChar decimalGlyph_;
    // The key writes of the pass, in the order they go out.
    struct KeyWrite {
        int index;
        qint64 value;
    };
    std::deque<KeyWrite> writes_;
    // The exchange the pass waits for (its display read or a key write): its number (the end
    // of an earlier one is not its end) and whether it has ended.
    long awaited_ = 0;
    bool awaitedOver_ = false;
    bool awaiting_ = false; // the pass sleeps until it ends (one that ends at once wakes nothing)
    bool readFailed_ = false;
    QTimer startTimer_;
    QTimer blinkTimer_;
    bool keysVisible_ = false;
    int loopDepth_ = 0;
    long passes_ = 0;
};
