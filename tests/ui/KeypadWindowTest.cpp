// The keypad window, offscreen: its modal run, closing at any moment, keys, Esc and the LED
// drawing. The link runs on the fake port with the simulated drive, so passes cost no time.
#include "ui/KeypadWindow.h"

#include "support/KeypadFixture.h"
#include "support/LoadedMachine.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QTimer>

using namespace keypadtest;

namespace {

class KeyPadWindow : public KeypadFixture {
protected:
    void SetUp() override {
        KeypadFixture::SetUp();
        window = std::make_unique<KeypadWindow>(context, options, link);
        // A run that never ends would hang the suite: end it whatever happens.
        QTimer::singleShot(kLoadedMachineMs, window.get(), [this] { window->reject(); });
    }
    void TearDown() override {
        window.reset();
        KeypadFixture::TearDown();
    }

    // Runs the window modally; `atPass` runs after the events of each pass.
    void exec(std::function<void(int)> atPass) {
        int pass = 0;
        window->passHook = [&, atPass] { atPass(++pass); };
        window->exec();
        passes = pass;
    }
    static void click(QWidget* w) {
        const QPointF at(w->width() / 2.0, w->height() / 2.0);
        QMouseEvent press(QEvent::MouseButtonPress, at, w->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                          Qt::NoModifier);
        QMouseEvent release(QEvent::MouseButtonRelease, at, w->mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                            Qt::NoModifier);
        QApplication::sendEvent(w, &press);
        QApplication::sendEvent(w, &release);
    }
    static void key(QWidget* w, int k, const QString& text = QString()) {
        QKeyEvent e(QEvent::KeyPress, k, Qt::NoModifier, text);
        QApplication::sendEvent(w, &e);
    }
    void typeInto(const char* s) {
        for (const char* c = s; *c; ++c)
            key(window->directInputEdit, 0, QString(QChar::fromLatin1(*c)));
    }

    // Nothing more happens on the line for a while after the start's delay.
    bool lineStaysQuiet() const {
        const std::size_t sent = port.writes.size();
        return !waitUntil([&] { return port.writes.size() > sent; }, 2 * kPanelStartDelayMs);
    }

    std::unique_ptr<KeypadWindow> window;
    int passes = 0;
};

TEST_F(KeyPadWindow, RunsTheLoopAfterActivationAndShowsTheDrive) {
    model.write(ComNoToRegister(u"FA01"), 4500);
    drive.setRunning(true);
    bool keysShown = false, runLamp = false;
    QString led;
    exec([&](int p) {
        if (p == 3) {
            keysShown = window->PaintBoxRunRKP->isVisible();
            runLamp = window->FRUN->isVisible() && !window->FVEC->isVisible();
            led = window->FLED->text();
            click(window->closeLabel);
        }
    });
    EXPECT_TRUE(keysShown);
    EXPECT_TRUE(runLamp);
    EXPECT_EQ(led, QStringLiteral("4%00"));
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(window->PaintBoxRunRKP->isVisible());
    EXPECT_FALSE(window->FRUN->isVisible());
    EXPECT_EQ(passes, 3);
}

TEST_F(KeyPadWindow, ClickingRunAndStopMakesTheDriveFollow) {
    bool ranWhileOpen = false;
    exec([&](int p) {
        if (p == 1)
            click(window->PaintBoxRunRKP);
        if (p == 3) {
            ranWhileOpen = drive.running();
            click(window->PaintBoxStopRKP);
        }
        if (p == 5)
            window->RKPExit->trigger();
    });
    EXPECT_TRUE(ranWhileOpen);
    EXPECT_FALSE(drive.running());
    EXPECT_EQ(drive.acceptedCodes.size(), 2u);
}

TEST_F(KeyPadWindow, HoldingUpRaisesTheFrequencyUntilReleased) {
    exec([&](int p) {
        if (p == 1) {
            const QPointF at(5, 5);
            QMouseEvent press(QEvent::MouseButtonPress, at, at, Qt::LeftButton, Qt::LeftButton,
                              Qt::NoModifier);
            QApplication::sendEvent(window->PaintBoxUpRKP, &press);
        }
        if (p == 4) {
            const QPointF at(500, 500); // released outside: still a release
            QMouseEvent release(QEvent::MouseButtonRelease, at, at, Qt::LeftButton, Qt::NoButton,
                                Qt::NoModifier);
            QApplication::sendEvent(window->PaintBoxUpRKP, &release);
        }
        if (p == 6)
            window->close();
    });
    EXPECT_EQ(rawOf("FA01"), 3);
    EXPECT_EQ(writes().mid(writes().size() - 2), (QStringList{"FA11=260 P", "FA10=0 P"}));
}

TEST_F(KeyPadWindow, OpensAgainAfterClosing) {
    for (int round = 0; round < 2; ++round) {
        exec([&](int p) {
            if (p == 1)
                click(window->PaintBoxRunRKP);
            if (p == 2)
                click(window->closeLabel);
        });
        EXPECT_EQ(passes, 2) << round;
    }
    EXPECT_EQ(drive.acceptedCodes.size(), 2u);
}

TEST_F(KeyPadWindow, ClosingWithinTheStartDelayReadsNothing) {
    QTimer::singleShot(20, window.get(), [this] { click(window->closeLabel); });
    exec([](int) {});
    EXPECT_TRUE(lineStaysQuiet());
    EXPECT_EQ(passes, 0);
    EXPECT_FALSE(wire().contains(QStringLiteral("R FC10")));
}

TEST_F(KeyPadWindow, TheWindowManagersCloseEndsTheLoopToo) {
    exec([&](int p) {
        if (p == 2)
            window->close();
    });
    EXPECT_EQ(passes, 2);
    EXPECT_FALSE(window->isVisible());
}

TEST_F(KeyPadWindow, EscNeverClosesButLeavesDirectInput) {
    exec([&](int p) {
        if (p == 1) {
            key(window.get(), Qt::Key_Escape);
            EXPECT_TRUE(window->isVisible());
            QMouseEvent dbl(QEvent::MouseButtonDblClick, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton,
                            Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(window->FCLabel, &dbl);
            EXPECT_TRUE(window->panel().directInput());
            EXPECT_TRUE(window->RKPDirectFC->isChecked());
            EXPECT_EQ(window->FCLabel->text(), QStringLiteral("fc  "));
            key(window->directInputEdit, Qt::Key_Escape);
        }
        if (p == 2) {
            // The loop came back after Esc.
            EXPECT_FALSE(window->panel().directInput());
            EXPECT_TRUE(window->FCLabel->text().isEmpty());
            window->close();
        }
    });
    // Esc in direct input, typed into the key sink, restarted the loop.
    EXPECT_EQ(passes, 2);
}

TEST_F(KeyPadWindow, DirectInputFromTheKeyboardSetsTheExactValue) {
    options.ledBlinkInterval.setPosition(0);
    int entered = 0;
    exec([&](int p) {
        if (p == 1) {
            window->RKPDirectFC->trigger();
            entered = window->panel().directInput();
            typeInto("2.1");
            EXPECT_EQ(window->FCLabel->text(), QStringLiteral("+1"));
            for (int i = 0; i < 3; ++i)
                key(window->directInputEdit, Qt::Key_Backspace);
            typeInto("3,5");
            EXPECT_EQ(window->FCLabel->text(), QStringLiteral("#5"));
            key(window->directInputEdit, Qt::Key_Return);
        }
        if (p == 2)
            window->close();
    });
    EXPECT_EQ(entered, 1);
    EXPECT_EQ(rawOf("FA01"), 350);
}

TEST_F(KeyPadWindow, KeysThatReachTheWindowInDirectInputAreTyped) {
    options.ledBlinkInterval.setPosition(0);
    exec([&](int p) {
        if (p == 1) {
            window->panel().toggleDirectInput();
            key(window.get(), 0, QStringLiteral("7"));
            key(window.get(), Qt::Key_Enter);
        }
        if (p == 2)
            window->close();
    });
    EXPECT_EQ(rawOf("FA01"), 700);
}

TEST_F(KeyPadWindow, ClosingDuringDirectInputStopsEverything) {
    exec([&](int p) {
        if (p == 1) {
            window->panel().toggleDirectInput();
            QTimer::singleShot(0, window.get(), [this] { click(window->closeLabel); });
        }
    });
    EXPECT_EQ(passes, 1);
    EXPECT_FALSE(window->panel().directInput());
    EXPECT_FALSE(window->RKPDirectFC->isChecked());
    EXPECT_TRUE(lineStaysQuiet());
}

// The port's own box tells the failure: no message 3 after it.
TEST_F(KeyPadWindow, AFailedConnectClosesTheWindowAfterOneBox) {
    port.openErrors[QStringLiteral("/dev/fake-COM1")] = SerialError::NotFound;
    prompter.allowUnexpected();
    exec([](int) {});
    EXPECT_EQ(passes, 0);
    EXPECT_EQ(prompter.texts(), QStringList{QStringLiteral("msg2")});
    EXPECT_FALSE(window->isVisible());
}

TEST_F(KeyPadWindow, TextsComeFromTheLanguageFile) {
    context.language.iniPath =
        folder.writeFile(QStringLiteral("lng/Test.lng"), "[KeyPad]\r\nForm=Panel\r\nPopMenu1=Direct\r\n");
    window->ApplyLanguage();
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Panel"));
    EXPECT_EQ(window->RKPDirectFC->text(), QStringLiteral("Direct"));
    EXPECT_EQ(window->RKPExit->text(), QStringLiteral("Close"));
    EXPECT_EQ(window->closeLabel->text(), QStringLiteral("Close"));
}

TEST(LedSegments, EightLightsSevenSeparateSegmentsAndThePoint) {
    const LedSegments7 shapes(31);
    if (!LedSegments7::fontFamily().isEmpty()) {
        EXPECT_TRUE(shapes.fromFont());
    }
    QRectF all;
    for (int s = 0; s < 8; ++s) {
        const QPainterPath one = shapes.path(1 << s, QPointF(0, 0));
        ASSERT_FALSE(one.isEmpty()) << s;
        // No segment covers another one's middle.
        for (int o = 0; o < 8; ++o) {
            if (o != s) {
                EXPECT_FALSE(one.contains(shapes.path(1 << o, QPointF(0, 0)).boundingRect().center()))
                    << s << " " << o;
            }
        }
        all |= one.boundingRect();
    }
    EXPECT_LE(all.height(), shapes.cellHeight() + 1);
    EXPECT_TRUE(shapes.path(0, QPointF(0, 0)).isEmpty());
}

} // namespace
