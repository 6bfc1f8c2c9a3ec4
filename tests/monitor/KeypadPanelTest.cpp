// The panel loop, its keys and direct input against the simulated drive on the fake port.
#include "link/LinkFixture.h"
#include "support/InstalledAsker.h"
#include "support/KeypadFixture.h"
#include "support/LoadedMachine.h"
#include "support/WatchedFakePort.h"

#include "platform/SerialPort.h"
#include "tools/drivesim/PtyDriveServer.h"

#include <QRegularExpression>
#include <QTimer>
#include <bit>
#include <mutex>

using namespace keypadtest;

namespace {

using Panel = KeypadFixture;

// The drive's key writes in short: "0" the key code 0, "+" and "-" the key flag raised and
// lowered, "r" a release code (the flag's lowering follows it), else the key of a code; a held
// key's codes count once.
QString keyWrites(const QList<WireRequest>& w) {
    QString out;
    for (qsizetype i = 0; i < w.size(); ++i) {
        const int v = w[i].value;
        const bool released = i + 1 < w.size() && w[i + 1].text() == QLatin1String("FA10=0 P");
        if (w[i].comNo == QLatin1String("FA10"))
            out += v ? u'+' : u'-';
        else if (v == 0)
            out += u'0';
        else if ((v == kUpReleaseCode || v == kDownReleaseCode) && released)
            out += u'r';
        else
            out += QStringLiteral("RSUDME")[std::countr_zero(unsigned(v & 0x3F))];
    }
    return out.replace(QRegularExpression(QStringLiteral("([UD])\\1+")), QStringLiteral("\\1"));
}

// A user who works RUN, UP, UP, DOWN, ENT, MON and STOP 40 ms apart, UP and DOWN pressed and let
// go, and what the drive is to get: each press, then its release before the next press.
void (KeypadPanel::*const kFortyMsApart[])() = {
    &KeypadPanel::pressRun,  &KeypadPanel::pressUp,   &KeypadPanel::releaseUp,   &KeypadPanel::pressUp,
    &KeypadPanel::releaseUp, &KeypadPanel::pressDown, &KeypadPanel::releaseDown, &KeypadPanel::pressEnt,
    &KeypadPanel::pressMon,  &KeypadPanel::pressStop};
constexpr int kUserEventGapMs = 40;
const QString kFortyMsApartWrites = QStringLiteral("0+R-0+Ur-0+Ur-0+Dr-0+E-0+M-0+S-");

// ---- Display ------------------------------------------------------------------------------

TEST_F(Panel, DisplayFollowsTheDrivesBlockAndBlinkPhase) {
    model.write(ComNoToRegister(u"FA01"), 6000);
    drive.setRunning(true);
    view.script = [this](int p) {
        if (p == 1)
            panel.blinkTick(); // the second image from the next pass on
        if (p == 2)
            panel.endLoop();
    };
    panel.RunPanelLoop();
    ASSERT_GE(view.leds.size(), 3);
    EXPECT_EQ(view.leds[0], QStringLiteral("6=00"));
    EXPECT_EQ(view.lamps[0], 0x49);                  // RUN, MON, PC
    EXPECT_EQ(view.leds[1], QStringLiteral("6=00")); // the second image
    // After the loop: blank display, lamps off, keys hidden, the link connected again.
    EXPECT_EQ(view.leds.back(), QStringLiteral("    "));
    EXPECT_EQ(view.lamps.back(), 0);
    EXPECT_FALSE(view.keysVisible);
    EXPECT_EQ(wire().back(), QStringLiteral("R 0000"));
    EXPECT_TRUE(link.lastConnectFound());
}

TEST_F(Panel, ADriveThatStopsAnsweringShowsComeBlinking) {
    view.script = [this](int p) {
        if (p == 1)
            drive.answer = false;
        if (p == 2)
            panel.blinkTick();
        if (p == 3)
            panel.endLoop();
    };
    panel.RunPanelLoop();
    // Pass 1 good, pass 2 "coMe", pass 3 blank (the other blink phase), then the loop's end.
    EXPECT_EQ(view.leds, (QStringList{" =00", "coMe", "    ", "    "}));
    // Lamps keep what the last good read showed: one lamp call only.
    EXPECT_EQ(view.lamps.size(), 2u); // the good pass and the end of the loop
}

// RUN clicked in pass 1, the loop ended in pass 2.
std::function<void(int)> runClickedThenEnd(KeypadPanel& panel) {
    return [&panel](int pass) {
        if (pass == 1)
            panel.pressRun();
        if (pass == 2)
            panel.endLoop();
    };
}

TEST_F(Panel, AKeyWriteThatFailsShowsComeAndTheWritesAfterItStillGoOut) {
    // A drive that shows its display but answers no write.
    port.responder = [answerReads = port.responder](const Bytes& request) {
        return decodeRequest(request).kind == 'R' ? answerReads(request)
                                                  : std::vector<FakeSerialPort::Chunk>{};
    };
    view.script = runClickedThenEnd(panel);
    panel.RunPanelLoop();
    EXPECT_EQ(writes(), (QStringList{"FA11=0 P", "FA10=1 P", "FA11=1 P", "FA10=0 P"}));
    // "coMe" from the first failed write until the next good read.
    EXPECT_EQ(view.leds.mid(0, 2), (QStringList{" =00", "coMe"}));
    EXPECT_EQ(view.leds.mid(view.leds.size() - 3), (QStringList{"coMe", " =00", "    "}));
}

TEST_F(Panel, ALineWhoseDeviceFailedIsOpenedAgainAndTheKeypadGoesOnByItself) {
    std::size_t opensBefore = 0;
    view.script = [&](int p) {
        if (p == 1) {
            port.failWaits = true; // the drive's end of the line is gone
            opensBefore = port.opens.size();
        } else if (p == 3) {
            port.failWaits = false; // and back
        } else if (p == 5) {
            panel.pressRun();
        } else if (p == 6) {
            panel.endLoop();
        }
    };
    panel.RunPanelLoop();
    EXPECT_GT(port.opens.size(), opensBefore) << "opened again";
    ASSERT_GE(view.leds.size(), 5);
    EXPECT_EQ(view.leds[1], QStringLiteral("coMe"));
    EXPECT_NE(view.leds.back(), QStringLiteral("coMe")) << "the display is read again";
    EXPECT_EQ(writes().mid(0, 4), (QStringList{"FA11=0 P", "FA10=1 P", "FA11=1 P", "FA10=0 P"}));
}

TEST_F(Panel, ADriveTypeWithoutTheBlockNeverSendsTheHeaderRow) {
    setRows({{"0000", "3", "0", "1"}, {"FA01", "12000", "0", "100"}});
    runLoop(2);
    for (const QString& w : wire())
        EXPECT_TRUE(w == QLatin1String("R 0000")) << w.toStdString(); // only the connect probes
    EXPECT_EQ(view.leds[0], QStringLiteral("coMe"));
    // Each pass took the read's time limit in the event loop instead of spinning.
    EXPECT_EQ(view.pauses, (std::vector<int>{2 * 200, 2 * 200}));
}

TEST_F(Panel, AKeyTheDriveTypeCannotTakeShowsComeAndSendsNothing) {
    setRows({{"0000", "3", "0", "1"}, {"FC10", "65535", "0", "1"}});
    view.script = runClickedThenEnd(panel);
    panel.RunPanelLoop();
    EXPECT_TRUE(writes().isEmpty()) << writes().join(u',').toStdString();
    EXPECT_EQ(view.leds.value(1), QStringLiteral("coMe"));
    EXPECT_EQ(view.leds.mid(view.leds.size() - 2), (QStringList{" =00", "    "})); // the next read
}

// ---- Keys -----------------------------------------------------------------------------------

TEST_F(Panel, RunAndStopClicksGoOutUnderTheHandshakeAndTheDriveFollows) {
    model.write(ComNoToRegister(u"FA01"), 3000);
    view.script = [this](int p) {
        clock.advance(50);
        if (p == 2)
            panel.pressRun();
        if (p == 4)
            panel.pressStop();
        if (p == 5)
            panel.endLoop();
    };
    panel.RunPanelLoop();
    // The pass after 50 ms: t = 12, code 12 * 256 + 1.
    EXPECT_EQ(writes(), (QStringList{"FA11=0 P", "FA10=1 P", "FA11=3073 P", "FA10=0 P", "FA11=0 P",
                                     "FA10=1 P", "FA11=3074 P", "FA10=0 P"}));
    EXPECT_EQ(view.leds[2], QStringLiteral("3=00")); // running after the RUN pass
    EXPECT_EQ(view.lamps[2] & 1, 1);
    EXPECT_FALSE(drive.running());
    EXPECT_EQ(view.leds[4], QStringLiteral(" =00"));
}

TEST_F(Panel, HeldUpSendsOneCodePerPassThenTheReleaseCodes) {
    view.script = [this](int p) {
        clock.advance(8);
        if (p == 1)
            panel.pressUp();
        if (p == 3)
            panel.releaseUp();
        if (p == 4)
            panel.endLoop();
    };
    panel.RunPanelLoop();
    EXPECT_EQ(writes(),
              (QStringList{"FA11=0 P", "FA10=1 P", "FA11=4 P", "FA11=516 P", "FA11=260 P", "FA10=0 P"}));
    EXPECT_EQ(rawOf("FA01"), 2); // two held codes
}

TEST_F(Panel, UpOrDownPressedAndReleasedWithinOnePassStillReachesTheDrive) {
    view.script = [this](int p) {
        clock.advance(8);
        if (p == 1) {
            panel.pressUp();
            panel.releaseUp();
        }
        if (p == 3) {
            panel.pressDown();
            panel.releaseDown();
        }
        if (p == 5)
            panel.endLoop();
    };
    panel.RunPanelLoop();
    // The code goes out with the press, the release right after it, before the next read.
    const QStringList up{"FA11=0 P", "FA10=1 P", "FA11=4 P", "FA11=260 P", "FA10=0 P"};
    const QStringList down{"FA11=0 P", "FA10=1 P", "FA11=520 P", "FA11=264 P", "FA10=0 P"};
    EXPECT_EQ(wire().mid(1), (QStringList{"R FC10"} + up + QStringList{"R FC10", "R FC10"} + down +
                              QStringList{"R FC10", "R FC10", "R 0000"}));
    EXPECT_EQ(drive.acceptedCodes, (std::vector<int>{4, 260, 520, 264}));
}

TEST_F(Panel, PassesFollowBackToBackSoAHeldKeysTimePartIsTheLineTimeOfAPass) {
    port.drainMs = 8; // every request takes 8 ms to leave
    view.script = [this](int p) {
        if (p == 1)
            panel.pressUp();
        if (p == 4)
            panel.releaseUp();
        if (p == 5)
            panel.endLoop();
    };
    panel.RunPanelLoop();
    // Pass 2 follows pass 1's four frames (read, 0, handshake, code), passes 3 and 4 the two
    // of the pass before (read, code): no pause of their own between them.
    EXPECT_EQ(writes(), (QStringList{"FA11=0 P", "FA10=1 P", "FA11=4 P", "FA11=2052 P", "FA11=1028 P",
                                     "FA11=260 P", "FA10=0 P"}));
    EXPECT_EQ(view.readWaits, 0); // the fake line answers at once
}

TEST_F(Panel, KeysGoOutAsWorkedEachFromItsPassesBaseAHeldKeysCodeOncePerPassUnderTheFlag) {
    view.script = [this](int p) {
        clock.advance(40);
        if (p == 1) {
            panel.pressRun();
            panel.pressRun(); // two clicks, two presses
            panel.pressDown();
        } else if (p == 2) {
            panel.pressStop();
            panel.pressMon(); // their handshakes end while DOWN is held
        } else if (p == 3) {
            panel.releaseDown();
            panel.pressEnt();
        } else {
            panel.endLoop();
        }
    };
    panel.RunPanelLoop();
    EXPECT_EQ(writes(),
              (QStringList{"FA11=0 P",   "FA10=1 P",    "FA11=1 P",    "FA10=0 P",    // pass 1: t = 0
                           "FA11=0 P",   "FA10=1 P",    "FA11=1 P",    "FA10=0 P",    // RUN again
                           "FA11=0 P",   "FA10=1 P",    "FA11=8 P",                   // DOWN
                           "FA11=0 P",   "FA10=1 P",    "FA11=2562 P", "FA10=0 P",    // pass 2: STOP, t = 10
                           "FA11=0 P",   "FA10=1 P",    "FA11=2576 P", "FA10=0 P",    // MON
                           "FA10=1 P",   "FA11=2568 P",                               // DOWN held
                           "FA11=264 P", "FA10=0 P",                                  // pass 3: DOWN let go
                           "FA11=0 P",   "FA10=1 P",    "FA11=2592 P", "FA10=0 P"})); // ENT
}

TEST_F(Panel, ALongPassGivesATimePartAbove255) {
    view.script = [this](int p) {
        if (p == 1)
            clock.advance(1100);
        if (p == 2)
            panel.pressRun();
        if (p == 3)
            panel.endLoop();
    };
    panel.RunPanelLoop();
    EXPECT_TRUE(writes().contains(QStringLiteral("FA11=%1 P").arg(((1100 / 4) << 8 | 1) & 0xFFFF)));
}

// A view whose waits in the event loop run `atWait` first.
class WaitingView : public FakePanelView {
public:
    using FakePanelView::FakePanelView;
    std::function<void()> atWait;
    void waitEvents(int ms) override {
        if (ms < 0 && atWait)
            atWait();
        FakePanelView::waitEvents(ms);
    }
};

// A drive that answers one request at a time, three replies in ten 600 ms late (always the same
// ones), with a reply time-out of 200 ms; `GetParam()`: MODBUS.
class LateDrive : public KeypadFixture, public testing::WithParamInterface<bool> {};

TEST_P(LateDrive, KeysWorkedFortyMsApartGoOutInOrderAndBeforeTheNextDisplayRead) {
    WatchedFakePort line(clock);
    linktest::InOrderDrive late(line, clock);
    late.modbus = GetParam();
    for (int i = 0; i < 500; ++i)
        late.lateness.push_back(i % 10 == 2 || i % 10 == 5 || i % 10 == 8 ? 600 : 0);
    CommLink lateLink(context, line, clock, installedAsker());
    lateLink.setPortPathResolver([](const QString& name) { return QStringLiteral("/dev/fake-") + name; });
    lateLink.setPortsFound({QStringLiteral("COM1")});
    lateLink.updateSettings([](LinkSettings& s) { s.protocol = GetParam() ? 1 : 0; });
    WaitingView user(clock);
    KeypadPanel keypad(context, options, lateLink, user);

    std::deque<std::pair<qint64, void (KeypadPanel::*)()>> due; // the user's clicks, by time
    auto act = [&] {
        for (; !due.empty() && due.front().first <= clock.now(); due.pop_front())
            (keypad.*due.front().second)();
    };
    // The drive's time passes ms by ms until the exchange ends, the user acting meanwhile.
    user.atWait = [&] {
        for (; lateLink.backgroundPending(); clock.advance(1)) {
            act();
            lateLink.continueBackground();
        }
    };
    int lastClickPass = 0;
    user.script = [&](int p) {
        for (int i = 0; p == 1 && i < int(std::size(kFortyMsApart)); ++i)
            due.emplace_back(clock.now() + i * kUserEventGapMs, kFortyMsApart[i]);
        act();
        lastClickPass = due.empty() ? lastClickPass : p;
        if (p > lastClickPass + 2) // the keys' writes all went before this pass's read
            keypad.endLoop();
    };
    keypad.RunPanelLoop();

    QList<WireRequest> keys;
    QString kinds; // "R" a read, "P" a key write, in the order sent
    for (const auto& w : line.writes) {
        const WireRequest r = decodeRequest(w.bytes);
        kinds += QLatin1Char(r.kind);
        if (r.kind == 'P')
            keys << r;
    }
    EXPECT_EQ(keyWrites(keys).toStdString(), kFortyMsApartWrites.toStdString());
    // The clicks came during one late read: their writes went out back to back, before any read.
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^R*P+R*$")).match(kinds).hasMatch())
        << kinds.toStdString();
    // Only the reads that time out before the first late reply lands fail (600 ms late, 200 ms
    // time-outs): from then on a reply 0.4 s past its time-out is awaited.
    EXPECT_LE(user.leds.count(QStringLiteral("coMe")), 600 / 200);
}

INSTANTIATE_TEST_SUITE_P(Protocols, LateDrive, testing::Bool(),
                         [](const auto& info) { return std::string(info.param ? "Modbus" : "Makers"); });

// One failure, one box, whoever else awaits or checks it: a window activated while the keypad's
// "Cannot connect" is up (the box closing gives the focus back), or an activation's check that
// started the connect the keypad joined and told its failure first.
TEST_F(Panel, TheConnectToASilentDriveIsAwaitedInTheEventLoopThenSaysSoOnce) {
    struct CheckingAsker : Asker {
        Asker* inner = nullptr;
        std::function<void()> duringBox;
        BoxAnswer ask(const Notice& notice) override {
            const BoxAnswer a = inner->ask(notice);
            if (duringBox)
                std::exchange(duringBox, {})();
            return a;
        }
        QString chooseFile(const FileChoice& c) override { return inner->chooseFile(c); }
        QString chooseSaveFile(const FileChoice& c, const QString& f, int* p) override {
            return inner->chooseSaveFile(c, f, p);
        }
        void letEventsThrough() override { inner->letEventsThrough(); }
    };
    for (const bool checkStartedIt : {false, true}) {
        SCOPED_TRACE(checkStartedIt ? "a check started the connect" : "a check during the box");
        const auto boxesBefore = prompter.texts().size();
        CheckingAsker asker;
        asker.inner = &installedAsker();
        WatchedLink rig(context, clock, asker); // no drive behind it
        CommLink& watched = rig.link;
        asker.duringBox = [&] { watched.tellConnectionLost(); };
        if (checkStartedIt)
            watched.ConnectDriveInBackground([&](bool ok) {
                if (!ok)
                    watched.tellConnectionLost();
            });
        WaitingView waiting(clock);
        KeypadPanel keypad(context, options, watched, waiting);
        const qint64 start = clock.now();
        std::vector<qint64> waitsAt; // the clock as each wait in the event loop began
        waiting.atWait = [&] {
            waitsAt.push_back(clock.now());
            rig.stepAll();
        };
        keypad.RunPanelLoop();
        ASSERT_FALSE(waitsAt.empty());
        EXPECT_EQ(waitsAt.front(), start) << "the probe went out and the window waited at once";
        // The window closed: its closing connect holds nothing, and its failure adds no box.
        EXPECT_TRUE(watched.backgroundPending());
        waiting.atWait();
        watched.tellConnectionLost();
        EXPECT_EQ(prompter.texts().size(), boxesBefore + 1) << "Cannot connect, once";
        EXPECT_FALSE(waiting.keysVisible);
    }
}

// Closed while its connect is on its way, the keypad tells nothing and waits for nothing; opened
// again, its loop starts and polls.
TEST_F(Panel, ClosedDuringItsConnectTheKeypadStartsAgainWhenOpened) {
    WatchedLink rig(context, clock, installedAsker());
    CommLink& watched = rig.link;
    linktest::InOrderDrive answering(rig.line, clock);
    WaitingView user(clock);
    KeypadPanel keypad(context, options, watched, user);
    user.atWait = [&] { keypad.closePanel(); };
    keypad.RunPanelLoop();
    EXPECT_FALSE(user.keysVisible);
    EXPECT_TRUE(prompter.texts().isEmpty());
    EXPECT_TRUE(watched.backgroundPending()) << "the connect goes on without the window";

    user.atWait = [&] { rig.stepAll(); };
    int passes = 0;
    user.script = [&](int p) {
        passes = p;
        if (p == 3)
            keypad.endLoop();
    };
    user.shown = true;
    keypad.windowShown();
    keypad.armStart();
    keypad.startDelayElapsed();
    EXPECT_EQ(passes, 3);
}

TEST_F(Panel, KeyAreasTakeNoClicksWhileTheLoopIsNotRunning) {
    panel.pressRun();
    panel.pressUp();
    panel.releaseUp();
    EXPECT_TRUE(port.writes.empty());
    runLoop(); // nothing was kept for the loop either
    EXPECT_TRUE(writes().isEmpty()) << writes().join(u',').toStdString();
}

// ---- Start, activation and closing ------------------------------------------------------------

// Nothing more happens on the line for a while after the start's delay.
bool lineStaysQuiet(const FakeSerialPort& port) {
    const std::size_t sent = port.writes.size();
    return !waitUntil([&] { return port.writes.size() > sent; }, 2 * kPanelStartDelayMs);
}

TEST_F(Panel, ActivationStartsTheLoopOnceAndNeverDuringTheLoopOrDirectInput) {
    view.script = [this](int p) {
        panel.armStart();          // re-activation inside the loop
        panel.startDelayElapsed(); // a start that was armed before cannot nest
        if (p == 2)
            panel.endLoop();
    };
    panel.armStart();
    ASSERT_TRUE(waitUntil([&] { return view.pass == 2; }));
    EXPECT_TRUE(lineStaysQuiet(port));
    EXPECT_EQ(view.pass, 2);

    panel.toggleDirectInput();
    panel.armStart();
    EXPECT_TRUE(lineStaysQuiet(port));
    EXPECT_TRUE(panel.directInput());
}

TEST_F(Panel, ABlinkIntervalOf0NeverBlinks) {
    options.ledBlinkInterval.setPosition(0);
    panel.armStart();
    view.script = [this](int p) {
        drive.answer = false;
        QCoreApplication::processEvents(); // a timer without pause would fire here
        if (p == 3)
            panel.endLoop();
    };
    panel.startDelayElapsed();
    EXPECT_EQ(view.leds, (QStringList{" =00", "coMe", "coMe", "    "}));
}

TEST_F(Panel, ClosingWithinTheStartDelayStopsTheTimersAndNothingRunsLater) {
    panel.armStart();
    panel.closePanel();
    EXPECT_EQ(view.closes, 1);
    EXPECT_TRUE(lineStaysQuiet(port));
    panel.startDelayElapsed(); // fired anyway: the window is hidden
    EXPECT_TRUE(port.writes.empty());
}

TEST_F(Panel, ClosingDuringAPassEndsTheLoopAfterItAndLetsGoOfAHeldKey) {
    view.script = [this](int p) {
        if (p == 1) {
            panel.pressRun();
            panel.pressUp();
            panel.closePanel();
        }
    };
    panel.RunPanelLoop();
    EXPECT_EQ(view.pass, 1);
    EXPECT_EQ(view.closes, 1);
    // The keys of that pass still went out, UP let go on the drive, then the link was connected again.
    EXPECT_EQ(writes(), (QStringList{"FA11=0 P", "FA10=1 P", "FA11=1 P", "FA10=0 P", "FA11=0 P", "FA10=1 P",
                                     "FA11=4 P", "FA11=260 P", "FA10=0 P"}));
    EXPECT_EQ(wire().back(), QStringLiteral("R 0000"));
    panel.releaseUp(); // the mouse let go later: nothing more
    EXPECT_EQ(writes().size(), 9);
}

TEST_F(Panel, AWindowHiddenAnotherWayEndsTheLoopToo) {
    view.script = [this](int) { view.shown = false; };
    panel.RunPanelLoop();
    EXPECT_EQ(view.pass, 1);
    EXPECT_FALSE(view.keysVisible);
}

// A drive that does not answer gets message 3; a port that cannot be opened only the port's own
// box, which tells the same failure.
TEST_F(Panel, AFailedConnectShowsOneBoxAndClosesOnce) {
    for (const bool portOpens : {true, false}) {
        SCOPED_TRACE(portOpens ? "silent drive" : "no port");
        link.allowPortMessage();
        view.closes = 0;
        view.shown = true;
        drive.answer = false;
        if (!portOpens)
            port.openErrors[QStringLiteral("/dev/fake-COM1")] = SerialError::Busy;
        prompter.allowUnexpected();
        const auto before = prompter.texts().size();
        panel.armStart();
        panel.startDelayElapsed();
        ASSERT_EQ(prompter.texts().size(), before + 1) << prompter.texts().join(u'|').toStdString();
        EXPECT_EQ(prompter.texts().back(), portOpens ? QStringLiteral("msg3") : QStringLiteral("msg2"));
        EXPECT_EQ(view.closes, 1);
        panel.startDelayElapsed();
        EXPECT_EQ(prompter.texts().size(), before + 1);
    }
}

// ---- Direct input -------------------------------------------------------------------------------

class DirectInput : public KeypadFixture {
protected:
    void SetUp() override {
        KeypadFixture::SetUp();
        options.ledBlinkInterval.setPosition(0);
    }
    // Enters the mode from a running loop and types `keys` ('\r' Enter, '\b' Backspace,
    // '\x7f' Delete, '\x1b' Esc).
    void type(const char* keys) {
        for (const char* k = keys; *k; ++k) {
            switch (*k) {
            case '\r':
                panel.handleDirectKey(13);
                break;
            case '\b':
                panel.handleDirectKey(8);
                break;
            case '\x7f':
                panel.handleDirectKey(46);
                break;
            case '\x1b':
                panel.handleDirectKey(27);
                break;
            default:
                panel.typeDirectCharacter(QChar::fromLatin1(*k));
                break;
            }
        }
    }
    void enterMode() {
        view.script = [this](int) {
            if (!panel.directInput())
                panel.toggleDirectInput();
        };
        panel.RunPanelLoop();
        view.script = [this](int) { panel.endLoop(); };
        ASSERT_TRUE(panel.directInput());
        ASSERT_FALSE(view.keysVisible);
        ASSERT_EQ(view.directTexts.back(), QStringLiteral("fc  "));
    }
};

// Keys worked in the pass that entered direct input, and the value typed and entered before the
// loop has sent their writes: the value goes after them.
TEST_F(DirectInput, AValueEnteredWhileKeyWritesAreOwedGoesAfterThem) {
    options.exportToEeprom.setChecked(false);
    view.script = [this](int pass) {
        if (pass != 1)
            return panel.endLoop();
        panel.pressUp();
        panel.releaseUp();
        panel.toggleDirectInput();
        type("30\r");
    };
    panel.RunPanelLoop();
    const QStringList w = writes();
    ASSERT_GE(w.size(), 6);
    EXPECT_EQ(w.mid(0, 6),
              (QStringList{"FA11=0 P", "FA10=1 P", w[2], "FA11=260 P", "FA10=0 P", "FA01=3000 P"}));
}

struct ExactCase {
    const char* name;
    const char* mul;
    const char* typed;
    int raw;
};

class ExactValue : public DirectInput, public testing::WithParamInterface<ExactCase> {};

TEST_P(ExactValue, TheDriveHoldsExactlyTheTypedValue) {
    const ExactCase& c = GetParam();
    setMul("FA01", c.mul);
    enterMode();
    const auto from = port.writes.size();
    type(c.typed);
    type("\r");
    EXPECT_EQ(writes(from).value(0), QStringLiteral("FA01=%1 W").arg(c.raw));
    EXPECT_EQ(rawOf("FA01"), c.raw);
    // The mode ends and the loop runs again.
    EXPECT_FALSE(panel.directInput());
    EXPECT_FALSE(view.directChecked);
    EXPECT_EQ(view.pass, 2);
}

INSTANTIATE_TEST_SUITE_P(Divisors, ExactValue,
                         testing::Values(ExactCase{"Mul1", "1", "1234", 1234},
                                         ExactCase{"Mul1DroppsDecimals", "1", "12.3", 12},
                                         ExactCase{"Mul10", "10", "5.5", 55},
                                         ExactCase{"Mul10Whole", "10", "60", 600},
                                         ExactCase{"Mul100", "100", "2.1", 210},
                                         ExactCase{"Mul100SmallFraction", "100", "0.53", 53},
                                         ExactCase{"Mul100LoseNoneAtTheTop", "100", "99.99", 9999},
                                         ExactCase{"Mul100PointLast", "100", "7.", 700},
                                         ExactCase{"Mul1000", "1000", "1.001", 1001},
                                         ExactCase{"Mul1000Fraction", "1000", "0.5", 500}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(DirectInput, ExportToEepromOffWritesToRam) {
    options.exportToEeprom.setChecked(false);
    enterMode();
    const auto from = port.writes.size();
    type("10\r");
    EXPECT_EQ(writes(from).value(0), QStringLiteral("FA01=1000 P"));
}

TEST_F(DirectInput, AValueAboveTheLimitIsRefusedAndNothingIsSent) {
    enterMode();
    const auto from = port.writes.size();
    type("120\r"); // the limit itself
    EXPECT_EQ(writes(from).value(0), QStringLiteral("FA01=12000 W"));
    enterMode();
    const auto fromSecond = port.writes.size();
    prompter.answer(BoxAnswer::Ok);
    type("120.1\r");
    EXPECT_EQ(prompter.texts().value(0), QStringLiteral("msg41"));
    EXPECT_EQ(port.writes.size(), fromSecond);
    EXPECT_TRUE(panel.directInput()); // the mode stays
}

TEST_F(DirectInput, WithoutATargetNumberMessage40AndTheModeStays) {
    for (const char* type : {"HXB3", "HXQ1", "HXZ9"}) { // "-", no entry, a number not in the table
        context.drive.identity.typeName = QString::fromLatin1(type);
        enterMode();
        prompter.answer(BoxAnswer::Ok);
        const auto from = port.writes.size();
        this->type("5\r");
        EXPECT_EQ(prompter.texts().back(), QStringLiteral("msg40")) << type;
        EXPECT_EQ(port.writes.size(), from);
        EXPECT_TRUE(panel.directInput());
        this->type("\x1b");
    }
}

TEST_F(DirectInput, EntryEditing) {
    enterMode();
    prompter.answer(BoxAnswer::Ok);
    type(".");
    EXPECT_EQ(prompter.texts(), QStringList{QStringLiteral("msg67")});
    EXPECT_EQ(view.directTexts.back(), QStringLiteral("fc  "));
    const QStringList& shown = view.directTexts;
    type("1.0");
    EXPECT_EQ(shown.back(), QStringLiteral("!0"));
    type(".,x");
    EXPECT_EQ(shown.back(), QStringLiteral("!0")); // a second sign and other keys ignored
    type("\b\b");
    EXPECT_EQ(shown.back(), QStringLiteral("1"));
    type(".5"); // a sign again after the dotted digit went
    EXPECT_EQ(shown.back(), QStringLiteral("!5"));
    type("\b\b\b\b");
    EXPECT_TRUE(shown.back().isEmpty());
    type("98765"); // four digits again
    EXPECT_EQ(shown.back(), QStringLiteral("9876"));
    type("\x7f");
    EXPECT_TRUE(shown.back().isEmpty());
    const auto from = port.writes.size();
    type("\r"); // nothing to send
    EXPECT_EQ(port.writes.size(), from);
    type("1=5"); // "=" is no key of the entry
    EXPECT_EQ(shown.back(), QStringLiteral("15"));
    type("345"); // a fifth digit is ignored
    EXPECT_EQ(shown.back(), QStringLiteral("1534"));
}

TEST_F(DirectInput, EscLeavesTheModeAndTheToggleDoesToo) {
    enterMode();
    type("12\x1b");
    EXPECT_FALSE(panel.directInput());
    EXPECT_EQ(view.directTexts.back(), QString());
    EXPECT_TRUE(writes().isEmpty());
    enterMode();
    panel.toggleDirectInput();
    EXPECT_FALSE(panel.directInput());
    EXPECT_GT(view.pass, 0);
}

TEST_F(DirectInput, ConfirmationBlinksThreeTimesAtTheBlinkInterval) {
    enterMode();
    options.ledBlinkInterval.setPosition(100);
    view.directTexts.clear();
    type("5\r");
    EXPECT_EQ(view.waits, (std::vector<int>(6, 100)));
    EXPECT_EQ(view.directTexts.mid(0, 7), (QStringList{"5", "5", "fc  ", "5", "fc  ", "5", "fc  "}));
}

TEST_F(DirectInput, LeavingFromInsideAPassKeepsThatLoopInsteadOfNestingOne) {
    view.script = [this](int p) {
        if (p == 1) {
            panel.toggleDirectInput(); // enter ...
            panel.handleDirectKey(27); // ... and leave in the same pass
        }
        if (p == 3)
            panel.endLoop();
    };
    panel.RunPanelLoop();
    EXPECT_EQ(view.pass, 3);
    // One connect before and one after the loop only.
    EXPECT_EQ(wire().count(QStringLiteral("R 0000")), 2);
}

TEST(DirectInputValue, IsExactForEveryEntryOfTwoDecimals) {
    for (int v = 0; v <= 9999; ++v) {
        QString digits = QString::number(v).rightJustified(3, u'0');
        const int at = int(digits.size()) - 3; // the digit before the two decimals
        digits[at] = DottedDigit(digits[at]);
        ASSERT_EQ(DirectInputRawValue(digits, 100), v) << digits.toStdString();
    }
    EXPECT_EQ(DirectInputRawValue(QStringLiteral("1=5"), 100), 1050);
    EXPECT_FALSE(DirectInputRawValue(QStringLiteral("!=="), 1)); // two dotted digits are no entry
    EXPECT_FALSE(DirectInputRawValue(QString(), 100));
    EXPECT_FALSE(DirectInputRawValue(QStringLiteral("1a"), 100));
}

} // namespace

// ---- Over a pseudo-terminal -----------------------------------------------------------------------

namespace {

class OverPty : public KeypadFixture, public testing::WithParamInterface<SimProtocol> {};

TEST_P(OverPty, TheLoopShowsTheDrivesDisplayAndKeysWorkedFortyMsApartReachADriveThatAnswersLate) {
    DriveModel ptyModel;
    for (const char* n : {"0000", "FA01", "FA10", "FA11", "FC10"})
        ptyModel.setParameter(QString::fromLatin1(n), 0);
    SimConfig c;
    c.protocol = GetParam();
    c.station = 5;
    c.faults = {{SimFaultKind::Late, 0.3, 600}}; // the same replies late on every run
    DriveSimulator sim(ptyModel, c);
    std::mutex carriedOutLock;
    QList<WireRequest> carriedOut; // the writes the drive carried out
    sim.setWriteObserver([&](const SimWrite& w) {
        const std::lock_guard hold(carriedOutLock);
        carriedOut << WireRequest{w.comNo, 'P', int(w.value)};
    });
    PtyDriveServer server(sim);
    ASSERT_TRUE(server.open());
    ASSERT_TRUE(server.start());
    TermiosSerialPort tty;
    CommLink ptyLink(context, tty, systemClock(), installedAsker());
    ptyLink.setPortPathResolver([&](const QString&) { return server.slavePath(); });
    ptyLink.setPortsFound({QStringLiteral("COM1")});
    ptyLink.updateSettings([&](LinkSettings& s) {
        s.protocol = GetParam() == SimProtocol::Modbus ? 1 : 0;
        s.appendNo = true;
        s.inverterNumber = 5;
    });
    ptyLink.setReplyTimeout(kLoadedReplyMs);

    KeypadPanel ptyPanel(context, options, ptyLink, view);
    std::size_t clicks = 0;
    int lastClickPass = 0;
    QTimer user; // clicks from the first pass on
    user.callOnTimeout([&] {
        const auto click = kFortyMsApart[clicks]; // a call through the array's element trips the sanitizers
        (ptyPanel.*click)();
        lastClickPass = view.pass;
        if (++clicks == std::size(kFortyMsApart))
            user.stop();
    });
    view.script = [&](int p) {
        if (p == 1)
            user.start(kUserEventGapMs);
        if (clicks == std::size(kFortyMsApart) && p > lastClickPass + 2)
            ptyPanel.endLoop();
    };
    ptyPanel.RunPanelLoop();
    // Each pass waited for its display read in the event loop, the window answering meanwhile.
    EXPECT_GE(view.readWaits, 3);
    ASSERT_GE(view.leds.size(), 2);
    EXPECT_EQ(view.leds[0], QStringLiteral(" =00")); // a stopped drive shows 0.00
    EXPECT_EQ(view.lamps[0], 0x48);
    {
        const std::lock_guard hold(carriedOutLock);
        EXPECT_EQ(keyWrites(carriedOut).toStdString(), kFortyMsApartWrites.toStdString());
    }
    EXPECT_FALSE(ptyModel.motorRunning());                          // STOP came last
    EXPECT_EQ(ptyModel.parameter(QStringLiteral("FA10"))->raw, 0u); // the handshake ended

    // Direct input: the drive holds exactly the value typed.
    setMul("FA01", "100");
    view.script = [&](int) {
        if (!ptyPanel.directInput())
            ptyPanel.toggleDirectInput();
    };
    ptyPanel.RunPanelLoop();
    ASSERT_TRUE(ptyPanel.directInput());
    view.script = [&](int) { ptyPanel.endLoop(); };
    for (QChar c : QStringLiteral("2.1"))
        ptyPanel.typeDirectCharacter(c);
    ptyPanel.handleDirectKey(13);
    server.stop();
    EXPECT_FALSE(ptyPanel.directInput());
    EXPECT_EQ(ptyModel.parameter(QStringLiteral("FA01"))->raw, 210u);
}

INSTANTIATE_TEST_SUITE_P(Protocols, OverPty, testing::Values(SimProtocol::Inverter, SimProtocol::Modbus),
                         [](const auto& info) {
                             return std::string(info.param == SimProtocol::Modbus ? "Modbus" : "Makers");
                         });

} // namespace
