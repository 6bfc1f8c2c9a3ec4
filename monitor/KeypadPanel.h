#pragma once
// The keypad panel's logic without its window: the panel loop that reads the drive's display
// block and sends the user's key actions in the order made, before the next read, each
// exchange waited for in the event loop; the key handlers, direct input of a frequency command,
// and the two timers. The window (KeypadWindow) routes its events here and shows what the view
// calls tell it.
#include "monitor/KeypadLink.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <deque>
#include <optional>

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
    // The window is shown: no key is pending, the display starts on its first image.
    void windowShown();
    // At every activation: the loop's start is armed, the blink interval taken from the
    // options. Nothing new is armed while the loop or direct input runs.
    void armStart();
    // The window closes (any way): the loop ends after its pass, both timers stop.
    void stopPanel();
    void startDelayElapsed();
    void blinkTick();
    // The keys. They go to the drive in the order the user worked them, each press with its
    // own writes and a release of UP or DOWN before any later press; a click that reaches a
    // hidden key area is none.
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

    bool directInput() const { return directInput_; }
    // Passes of the loop so far (the benchmark counts the display's refreshes).
    long passCount() const { return passes_; }

private:
    // One thing the user did on the keys.
    struct KeyAction {
        enum class Kind {
            Click,   // RUN, STOP, MON or ENT
            Press,   // UP or DOWN pressed
            Release, // UP or DOWN let go
        };
        Kind kind;
        int bit; // KeypadKey
    };
    // One write of a key parameter.
    struct KeyWrite {
        int index;
        qint64 value;
    };

    void showKeys(bool on);
    // ---- The loop's steps ----
    void findKeyParameters();
    // The passes until the loop is ended; then the keys are hidden and what they still owe
    // the drive goes out.
    void runPasses();
    // One pass: the display block read and shown, the window's events let through.
    void runPass();
    // Reads the display block, waited for in the event loop; false when the loop ended or the
    // window was hidden before the read was over.
    bool readDisplay();
    // What the last exchanges left to show: the drive's display, or "coMe" after a failure.
    void showDisplay();
    // After a failed read: a line whose device failed is opened again, and a read that failed
    // at once still takes its time limit, so that the passes never spin.
    void recoverFromFailedRead(qint64 passStart);
    // ---- Key writes ----
    // Queues what the user did for the drive and wakes the loop.
    void takeAction(KeyAction::Kind kind, int bit);
    void pressHeldKey(int bit);
    void releaseHeldKey(int bit);
    // Sends the next key write, waited for in the event loop; false when none waits.
    bool sendNextKeyWrite();
    // The writes of the next action (or of the held key's code for this pass), queued.
    void queueNextKeyWrites();
    void queueActionWrites(const KeyAction& action);
    void queueHeldCode();
    // Sends every key write still owed, one exchange after another, before a write of its own.
    void sendOwedKeyWritesNow();
    // Queue a value of the key code "FA11" or of the key flag "FA10" (one the drive type lacks
    // is refused by the link and shows as a write that failed).
    void writeCode(qint64 code);
    void writeFlag(bool raised);
    void sendKeyWrite(const KeyWrite& w);
    // ---- Exchanges ----
    // The exchange the pass is to wait for begins; its number.
    long expectExchange();
    // Exchange n has ended (failed or not): the pass waiting for it goes on.
    void exchangeEnded(long n, bool failed);
    // Sleeps in the event loop until the exchange expected last has ended or the window is
    // hidden (with `whileRunning`, also once the loop is to end).
    void awaitExchange(bool whileRunning);
    // The link's connect, its answer awaited in the event loop while the window is shown: a
    // silent drive never holds the window.
    bool connectAwaited();
    // The connect after the loop: awaited while the window is shown, else in the background.
    void closingConnect();
    void leaveDirectInput();
    void enterKey();
    void confirmationBlink();

    ProgramContext& context_;
    const Options& options_;
    CommLink& link_;
    KeypadPanelView& view_;
    KeypadLink keypadLink_;
    // The user's key actions not yet begun, in the order made; the writes of the one under way.
    std::deque<KeyAction> actions_;
    std::deque<KeyWrite> writes_;
    // The key the user holds (0: none), the pass in which its code last went out, and whether
    // the key flag was last raised.
    int heldBit_ = 0;
    long heldCodePass_ = -1;
    bool flagRaised_ = false;
    bool panelRunning_ = false;
    bool directInput_ = false;
    bool decimalEntered_ = false;
    // Which of the two display images the blink shows.
    bool blinkPhase_ = true;
    // Indexes of the display block and the key parameters in the drive type; -1 for none.
    int displayBlockIndex_ = -1, keyCodeIndex_ = -1, keyFlagIndex_ = -1;
    int digitCount_ = 0;
    KeypadDisplay display_;
    // The display shows "coMe": the last read failed, or a key write since it.
    bool commError_ = false;
    QString entryText_;
    QChar decimalGlyph_;
    // The time part of this pass's key codes, and when the pass began.
    qint64 passBase_ = 0;
    qint64 passStart_ = 0;
    // The exchange the pass waits for (its display read or a key write): its number (the end
    // of an earlier one is not its end), whether it has ended and whether it failed.
    long awaited_ = 0;
    bool awaitedOver_ = false;
    bool awaitedFailed_ = false;
    bool awaiting_ = false; // the pass sleeps until it ends (one that ends at once wakes nothing)
    QTimer startTimer_;
    QTimer blinkTimer_;
    bool keysVisible_ = false;
    int loopDepth_ = 0;
    long passes_ = 0;
};
