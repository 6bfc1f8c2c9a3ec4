// The panel loop, its keys and direct input against the simulated drive on the fake port.
#include "support/InstalledAsker.h"
#include "support/KeypadFixture.h"
#include "support/LoadedMachine.h"
#include "support/WatchedFakePort.h"

#include "platform/SerialPort.h"
#include "tools/drivesim/PtyDriveServer.h"

using namespace keypadtest;

namespace {

using Panel = KeypadFixture;

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
    EXPECT_EQ(view.lamps[0], 0x49); // RUN, MON, PC
    EXPECT_EQ(panel.display().blinkLedText, QStringLiteral("6=00"));
    // After the loop: blank display, lamps off, keys hidden, the link connected again.
    EXPECT_EQ(view.leds.back(), QStringLiteral("    "));
    EXPECT_EQ(view.lamps.back(), 0);
    EXPECT_FALSE(view.keysVisible);
    EXPECT_FALSE(panel.blinkTimerActive());
    EXPECT_TRUE(panel.connected());
}

TEST_F(Panel, ADriveThatStopsAnsweringShowsComeBlinkingAndKeysStillGoOut) {
    view.script = [this](int p) {
        if (p == 1) {
            drive.answer = false;
        } else if (p == 2) {
            panel.pressRun();
        } else if (p == 3) {
            panel.blinkTick();
        } else if (p == 4) {
            panel.endLoop();
        }
    };
    panel.RunPanelLoop();
    // Pass 1 good, pass 2 "coMe", pass 3 "coMe", pass 4 blank (the other blink phase).
    ASSERT_GE(view.leds.size(), 4);
    EXPECT_EQ(view.leds[1], QStringLiteral("coMe"));
    EXPECT_EQ(view.leds[3], QStringLiteral("    "));
    // Lamps keep what the last good read showed: one lamp call only.
    EXPECT_EQ(view.lamps.size(), 2u); // the good pass and the end of the loop
    EXPECT_EQ(writes().mid(0, 4), (QStringList{"FA11=0 P", "FA10=1 P", "FA11=1 P", "FA10=0 P"}));
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

TEST_F(Panel, KeyWritesAreSkippedWithoutTheKeyParameters) {
    setRows({{"0000", "3", "0", "1"}, {"FC10", "65535", "0", "1"}});
    view.script = [this](int p) {
        if (p == 1)
            panel.pressRun();
        if (p == 2)
            panel.endLoop();
    };
    panel.RunPanelLoop();
    EXPECT_TRUE(writes().isEmpty()) << writes().join(u',').toStdString();
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
    // The press goes out in its own pass, the release in the next.
    EXPECT_EQ(writes(), (QStringList{"FA11=0 P", "FA10=1 P", "FA11=4 P", "FA11=260 P", "FA10=0 P", //
                                     "FA11=0 P", "FA10=1 P", "FA11=520 P", "FA11=264 P", "FA10=0 P"}));
    EXPECT_EQ(drive.acceptedCodes, (std::vector<int>{4, 260, 520, 264}));
}

TEST_F(Panel, PassesFollowBackToBackSoAHeldKeysTimePartIsTheLineTimeOfAPass) {
    port.drainMs = 8; // every request takes 8 ms to leave
    view.script = [this](int p) {
        if (p == 1)
            panel.pressUp();
        if (p == 3)
            panel.endLoop();
    };
    panel.RunPanelLoop();
    // Pass 2 follows pass 1's four frames (read, 0, handshake, code), pass 3 pass 2's two
    // (read, code): no pause of its own between them.
    EXPECT_EQ(writes(), (QStringList{"FA11=0 P", "FA10=1 P", "FA11=4 P", "FA11=2052 P", "FA11=1028 P"}));
    EXPECT_EQ(view.readWaits, 0); // the fake line answers at once
}

TEST_F(Panel, EveryKeyOfAPassTakesThatPassesBase) {
    view.script = [this](int p) {
        clock.advance(40);
        if (p == 1) {
            panel.pressDown();
        } else if (p == 2) {
            panel.pressStop();
            panel.releaseDown();
            panel.pressMon();
            panel.pressEnt();
        } else {
            panel.endLoop();
        }
    };
    panel.RunPanelLoop();
    EXPECT_EQ(writes(), (QStringList{"FA11=0 P", "FA10=1 P", "FA11=8 P",       // pass 1: t = 0
                                     "FA11=0 P", "FA11=0 P", "FA11=0 P",       // the clicks of pass 2
                                     "FA10=1 P", "FA11=2562 P", "FA10=0 P",    // STOP, t = 10
                                     "FA11=264 P", "FA10=0 P",                 // DOWN's release
                                     "FA10=1 P", "FA11=2576 P", "FA10=0 P",    // MON
                                     "FA10=1 P", "FA11=2592 P", "FA10=0 P"})); // ENT
}

TEST_F(Panel, KeysGoOutInTheOrderPressedEachCodeUnderTheKeyFlag) {
    view.script = [this](int p) {
        if (p == 1) {
            panel.pressMon();
            panel.pressRun();
        } else if (p == 2) {
            panel.pressUp();
            panel.releaseUp();
            panel.pressDown();
        } else if (p == 3) {
            panel.releaseDown();
        } else if (p == 5) {
            panel.endLoop();
        }
    };
    panel.RunPanelLoop();
    int flag = 0;
    QList<int> keys; // the key of each code sent, in order
    for (const QString& w : writes()) {
        const int value = w.section(u'=', 1).section(u' ', 0, 0).toInt();
        if (w.startsWith(QStringLiteral("FA10"))) {
            flag = value;
        } else if (value != 0 && value != kUpReleaseCode && value != kDownReleaseCode) {
            EXPECT_EQ(flag, 1) << w.toStdString() << ": a key's code under the flag";
            keys << (value & 0xFF);
        }
    }
    EXPECT_EQ(keys.mid(0, 4), (QList<int>{KeyMon, KeyRun, KeyUp, KeyDown}));
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

TEST_F(Panel, KeysPressedWhileTheDriveIgnoresWritesReturnAtOnceAndEachWriteIsWaitedForAndNoted) {
    WatchedFakePort line(clock);
    drive.attach(line);
    // A drive that shows its display but answers no write.
    line.responder = [answerReads = line.responder](const Bytes& request) {
        return decodeRequest(request).kind == 'R' ? answerReads(request)
                                                  : std::vector<FakeSerialPort::Chunk>{};
    };
    CommLink watched(context, line, clock, installedAsker());
    watched.setPortPathResolver([](const QString& name) { return QStringLiteral("/dev/fake-") + name; });
    watched.setPortsFound({QStringLiteral("COM1")});
    WaitingView waiting(clock);
    KeypadPanel keypad(context, options, watched, waiting);

    // A press puts nothing on the line and takes no time: the window goes on answering.
    auto press = [&](void (KeypadPanel::*key)()) {
        const std::size_t sent = line.writes.size();
        const qint64 at = clock.now();
        (keypad.*key)();
        EXPECT_EQ(line.writes.size(), sent);
        EXPECT_EQ(clock.now(), at);
    };
    std::vector<bool> failedBefore; // the link's last outcome as each exchange's wait began
    waiting.atWait = [&] {
        if (!watched.backgroundExchangePending())
            return;
        failedBefore.push_back(watched.lastExchangeFailed());
        if (failedBefore.size() == 2) // the wait for RUN's first write
            press(&KeypadPanel::pressStop);
        // The drive's time passes until the exchange ends, as the port's notifier would see it.
        while (watched.backgroundExchangePending()) {
            watched.continueBackground();
            if (watched.backgroundExchangePending())
                clock.advance(1);
        }
    };
    waiting.script = [&](int p) {
        if (p == 1)
            press(&KeypadPanel::pressRun);
        if (p == 2)
            keypad.endLoop();
    };
    keypad.RunPanelLoop();

    QStringList sent;
    for (const auto& w : line.writes)
        if (const WireRequest r = decodeRequest(w.bytes); r.kind == 'P')
            sent << r.text();
    // RUN in its pass, STOP's first write after it (pressed meanwhile), its codes in the next pass.
    ASSERT_EQ(sent.size(), 8);
    EXPECT_EQ(sent.mid(0, 6),
              (QStringList{"FA11=0 P", "FA10=1 P", "FA11=1 P", "FA10=0 P", "FA11=0 P", "FA10=1 P"}));
    EXPECT_EQ(sent[6].section(u'=', 1).section(u' ', 0, 0).toInt() & 0xFF, KeyStop);
    EXPECT_EQ(sent[7], QStringLiteral("FA10=0 P"));
    // Read, RUN's four writes and STOP's first; read, STOP's three: each failed write noted.
    EXPECT_EQ(failedBefore,
              (std::vector<bool>{false, false, true, true, true, true, true, false, true, true}));
}

TEST_F(Panel, TheConnectToASilentDriveIsAwaitedInTheEventLoopThenSaysSo) {
    WatchedFakePort line(clock); // no drive behind it
    CommLink watched(context, line, clock, installedAsker());
    watched.setPortPathResolver([](const QString& name) { return QStringLiteral("/dev/fake-") + name; });
    watched.setPortsFound({QStringLiteral("COM1")});
    WaitingView waiting(clock);
    KeypadPanel keypad(context, options, watched, waiting);
    const qint64 start = clock.now();
    std::vector<qint64> waitsAt; // the clock as each wait in the event loop began
    waiting.atWait = [&] {
        waitsAt.push_back(clock.now());
        while (watched.backgroundPending()) {
            watched.continueBackground();
            if (watched.backgroundPending())
                clock.advance(1);
        }
        QCoreApplication::processEvents();
    };
    keypad.RunPanelLoop();
    ASSERT_FALSE(waitsAt.empty());
    EXPECT_EQ(waitsAt.front(), start) << "the probe went out and the window waited at once";
    EXPECT_EQ(prompter.texts().size(), 1) << "Cannot connect, once";
    EXPECT_FALSE(waiting.keysVisible);
}

TEST_F(Panel, KeyAreasTakeNoClicksWhileTheLoopIsNotRunning) {
    panel.pressRun();
    panel.pressUp();
    EXPECT_TRUE(port.writes.empty());
    EXPECT_FALSE(panel.keyWaiting());
}

// ---- Start, activation and closing ------------------------------------------------------------

TEST_F(Panel, ActivationArmsTheStartOnceAndNotDuringTheLoopOrDirectInput) {
    options.ledBlinkInterval.setPosition(0);
    panel.armStart();
    EXPECT_TRUE(panel.startTimerActive());
    view.script = [this](int p) {
        panel.armStart(); // re-activation inside the loop
        EXPECT_FALSE(panel.startTimerActive());
        panel.startDelayElapsed(); // a start that was armed before cannot nest
        if (p == 2)
            panel.endLoop();
    };
    panel.startDelayElapsed();
    EXPECT_EQ(view.pass, 2);
    // A blink interval of 0 never starts the blink timer.
    EXPECT_FALSE(panel.blinkTimerActive());

    panel.toggleDirectInput();
    panel.armStart();
    EXPECT_FALSE(panel.startTimerActive());
    EXPECT_TRUE(panel.directInput());
}

TEST_F(Panel, ClosingWithinTheStartDelayStopsTheTimersAndNothingRunsLater) {
    panel.armStart();
    panel.closePanel();
    EXPECT_FALSE(panel.startTimerActive());
    EXPECT_EQ(view.closes, 1);
    panel.startDelayElapsed(); // fired anyway: the window is hidden
    EXPECT_TRUE(port.writes.empty());
}

TEST_F(Panel, ClosingDuringAPassEndsTheLoopAfterIt) {
    view.script = [this](int p) {
        if (p == 1) {
            panel.pressRun();
            panel.closePanel();
        }
    };
    panel.RunPanelLoop();
    EXPECT_EQ(view.pass, 1);
    EXPECT_EQ(view.closes, 1);
    EXPECT_FALSE(panel.blinkTimerActive());
    // The RUN of that pass still went out, then the link was connected again.
    EXPECT_EQ(writes(), (QStringList{"FA11=0 P", "FA10=1 P", "FA11=1 P", "FA10=0 P"}));
    EXPECT_EQ(wire().back(), QStringLiteral("R 0000"));
}

TEST_F(Panel, AWindowHiddenAnotherWayEndsTheLoopToo) {
    view.script = [this](int) { view.shown = false; };
    panel.RunPanelLoop();
    EXPECT_EQ(view.pass, 1);
    EXPECT_FALSE(view.keysVisible);
}

TEST_F(Panel, AFailedConnectShowsMessage3AndClosesOnce) {
    port.openErrors[QStringLiteral("/dev/fake-COM1")] = SerialError::Busy;
    prompter.allowUnexpected();
    panel.armStart();
    panel.startDelayElapsed();
    EXPECT_TRUE(prompter.texts().contains(QStringLiteral("msg3")));
    EXPECT_EQ(view.closes, 1);
    EXPECT_FALSE(panel.startTimerActive());
    const auto boxes = prompter.boxes().size();
    panel.startDelayElapsed();
    EXPECT_EQ(prompter.boxes().size(), boxes);
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
    type("1.0");
    EXPECT_EQ(panel.entryText(), QStringLiteral("!0"));
    type(".,x");
    EXPECT_EQ(panel.entryText(), QStringLiteral("!0")); // a second sign and other keys ignored
    type("\b\b");
    EXPECT_EQ(panel.entryText(), QStringLiteral("1"));
    EXPECT_FALSE(panel.decimalEntered());
    type(".5");
    EXPECT_EQ(panel.entryText(), QStringLiteral("!5"));
    type("\b\b\b\b");
    EXPECT_TRUE(panel.entryText().isEmpty());
    EXPECT_EQ(panel.digitCount(), 0);
    type("98\x7f");
    EXPECT_TRUE(panel.entryText().isEmpty());
    const auto from = port.writes.size();
    type("\r"); // nothing to send
    EXPECT_EQ(port.writes.size(), from);
    type("1=5"); // "=" is no key of the entry
    EXPECT_EQ(panel.entryText(), QStringLiteral("15"));
    type("345"); // a fifth digit is ignored
    EXPECT_EQ(panel.entryText(), QStringLiteral("1534"));
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
            EXPECT_TRUE(panel.loopActive());
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

TEST_P(OverPty, TheLoopShowsTheDrivesDisplayAndItsKeysReachTheDrive) {
    DriveModel ptyModel;
    for (const char* n : {"0000", "FA01", "FA10", "FA11", "FC10"})
        ptyModel.setParameter(QString::fromLatin1(n), 0);
    SimConfig c;
    c.protocol = GetParam();
    c.station = 5;
    DriveSimulator sim(ptyModel, c);
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
    bool ranAfterRun = false;
    std::uint32_t runCode = 0;
    view.script = [&](int p) {
        if (p == 1)
            ptyPanel.pressRun();
        if (p == 2) {
            ranAfterRun = ptyModel.motorRunning();
            runCode = ptyModel.parameter(QStringLiteral("FA11"))->raw & 0xFF;
            ptyPanel.pressStop();
        }
        if (p == 3)
            ptyPanel.endLoop();
    };
    ptyPanel.RunPanelLoop();
    // Each pass waited for its display read in the event loop, the window answering meanwhile.
    EXPECT_GE(view.readWaits, 3);
    ASSERT_GE(view.leds.size(), 2);
    EXPECT_EQ(view.leds[0], QStringLiteral(" =00")); // a stopped drive shows 0.00
    EXPECT_EQ(view.lamps[0], 0x48);
    EXPECT_TRUE(ranAfterRun);
    EXPECT_EQ(runCode, 0x01u); // RUN's code
    EXPECT_FALSE(ptyModel.motorRunning());
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
