// The program's windows under a real window manager (openbox on a virtual X server), where
// frames exist and are known only after a window is shown: the windows under the main window
// stand below its outer frame, so its tool bar and link icon stay uncovered, and a box asked
// for without a parent opens centred on the active window.
//
// The test starts Xvfb and openbox and runs the checks in a second run of this test program
// on that display (an X connection cannot be opened in the offscreen run). Without Xvfb or
// openbox it is skipped.
#include "shell/StartUpFixture.h"

#include "link/TransferEngine.h"
#include "support/InstalledAsker.h"
#include "support/LoadedMachine.h"
#include "ui/ParameterTableWindow.h"
#include "ui/ResultWindow.h"
#include "ui/UnderMainWindow.h"
#include "ui/WidgetPrompter.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>
#include <QToolBar>
#include <QWindow>

namespace {

bool framed(const QWidget& w) {
    return !UnderMainWindow::frameMargins(w).isNull();
}

class Stopped {
public:
    explicit Stopped(QProcess& p) : p_(p) {}
    ~Stopped() {
        if (p_.state() != QProcess::NotRunning) {
            p_.terminate();
            if (!p_.waitForFinished(3000))
                p_.kill();
            p_.waitForFinished(3000);
        }
    }

private:
    QProcess& p_;
};

TEST(WindowManager, WindowsUnderTheMainWindowAndBoxesStandWhereTheyShouldInOpenbox) {
    const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    const QString openbox = QStandardPaths::findExecutable(QStringLiteral("openbox"));
    if (xvfb.isEmpty() || openbox.isEmpty())
        GTEST_SKIP() << "needs Xvfb and openbox (scripts/deps.sh installs them)";
    // The server picks a display number no other server holds and says it once it takes
    // connections; openbox touches a file once it manages the screen.
    QProcess server;
    server.start(xvfb, {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                        QStringLiteral("0"), QStringLiteral("1600x1000x24"), QStringLiteral("-nolisten"),
                        QStringLiteral("tcp")});
    Stopped stopServer(server);
    ASSERT_TRUE(server.waitForStarted(kLoadedMachineMs));
    ASSERT_TRUE(waitUntil([&] { return server.canReadLine() || server.state() == QProcess::NotRunning; }));
    const QString number = QString::fromLatin1(server.readLine()).trimmed();
    ASSERT_FALSE(number.isEmpty()) << server.readAllStandardError().toStdString();
    const QString name = QLatin1Char(':') + number;

    QTemporaryDir runtime;
    const QString managing = runtime.filePath(QStringLiteral("openbox-manages"));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), name);
    QProcess wm;
    wm.setProcessEnvironment(env);
    wm.start(openbox, {QStringLiteral("--startup"), QStringLiteral("touch '%1'").arg(managing)});
    Stopped stopWm(wm);
    ASSERT_TRUE(wm.waitForStarted(kLoadedMachineMs));
    ASSERT_TRUE(waitUntil([&] { return QFileInfo::exists(managing) || wm.state() == QProcess::NotRunning; }));
    ASSERT_TRUE(QFileInfo::exists(managing)) << wm.readAllStandardError().toStdString();

    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    QProcess child;
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--gtest_also_run_disabled_tests"),
                 QStringLiteral("--gtest_filter=InOpenbox.DISABLED_*")});
    Stopped stopChild(child);
    ASSERT_TRUE(child.waitForFinished(5 * kLoadedMachineMs));
    const QString out = QString::fromLocal8Bit(child.readAll());
    EXPECT_EQ(child.exitCode(), 0) << out.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("[  PASSED  ] 2 tests"))) << out.toStdString();
}

// ---- The checks, run by the test above on its display ---------------------------------------

class InOpenbox : public StartUpTestBase {
protected:
    void SetUp() override {
        if (QGuiApplication::platformName() != QLatin1String("xcb"))
            GTEST_SKIP() << "runs on the window manager's display only";
        folder.writeFile(QStringLiteral("KVR260X.ini"), "[Language]\r\nJapanese=0\r\nEnglish=0\r\n");
        // No drive: the boxes about it are answered at once.
        prompter.allowUnexpected();
    }
    void standBelowTheMainWindow(const char* language);
    QString parameterFile(const char* language) {
        return folder.writeFile(QStringLiteral("p.kvr"),
                                "###\r\nHXA1\r\n-2004\r\nV110\r\n" + QByteArray(language) +
                                    "\r\nNo Comments.\r\n0\r\n0\r\n0\r\n0002,75,0,0\r\n");
    }
};

TEST_F(InOpenbox, DISABLED_TheTableAndAResultWindowStandBelowTheMainWindowsFrame) {
    // Japanese menu captions make the main window taller once its texts are in.
    for (const char* language : {"English", "Japanese"})
        standBelowTheMainWindow(language);
}

void InOpenbox::standBelowTheMainWindow(const char* language) {
    SCOPED_TRACE(language);
    ::StartUp::Program program(
        ::StartUp::Environment{QDir::tempPath(), folder.path(), parameterFile(language)});
    program.options().setAssociationHandler([](bool) {});
    ASSERT_TRUE(program.create());
    program.showMain();
    MainWindow& main = *program.main();
    ParameterTableWindow& table = *program.table();
    ASSERT_TRUE(table.isVisible());
    ASSERT_TRUE(waitUntil([&] { return framed(main) && framed(table); })) << "openbox framed no window";
    auto* placement = table.findChild<UnderMainWindow*>();
    ASSERT_NE(placement, nullptr);
    // The window system reports the last placement in its own time.
    EXPECT_TRUE(waitUntil([&] {
        const QRect m = main.frameGeometry(), t = table.frameGeometry();
        return !placement->settling() && t.top() == m.bottom() + 1 && t.height() == 480 - m.height();
    }));

    const QRect mainFrame = main.frameGeometry();
    const QRect toolBar(main.toolBar->mapToGlobal(QPoint()), main.toolBar->size());
    EXPECT_TRUE(mainFrame.contains(toolBar)) << "the tool bar lies in the main window";
    EXPECT_EQ(mainFrame.topLeft(), QPoint(0, 0)) << "the caption is on the screen";
    EXPECT_EQ(table.frameGeometry().top(), mainFrame.bottom() + 1);
    EXPECT_EQ(table.frameGeometry().left(), mainFrame.left());
    EXPECT_FALSE(table.frameGeometry().intersects(mainFrame));
    EXPECT_FALSE(table.frameGeometry().intersects(toolBar));
    EXPECT_EQ(table.frameGeometry().height(), 480 - mainFrame.height());

    // A result window, made when a job ends, stands there too.
    MainWindowLinks links;
    links.window = &main;
    TransferJob job;
    ResultWindow result(program.context(), program.options(), installedAsker(), job, links);
    result.show();
    ASSERT_TRUE(waitUntil([&] { return framed(result); }));
    auto* resultPlacement = result.findChild<UnderMainWindow*>();
    ASSERT_NE(resultPlacement, nullptr);
    EXPECT_TRUE(waitUntil([&] {
        return !resultPlacement->settling() && result.frameGeometry().top() == mainFrame.bottom() + 1;
    }));
    EXPECT_EQ(result.frameGeometry().top(), mainFrame.bottom() + 1);
    EXPECT_FALSE(result.frameGeometry().intersects(toolBar));
    result.hide();
    EXPECT_TRUE(main.close());
}

TEST_F(InOpenbox, DISABLED_ABoxWithoutParentOpensCentredOnTheActiveWindow) {
    QWidget main;
    main.setWindowTitle(QStringLiteral("main"));
    main.resize(639, 42);
    main.move(0, 0);
    main.show();
    main.activateWindow();
    ASSERT_TRUE(waitUntil([&] { return framed(main) && QApplication::activeWindow() == &main; }));

    // Where the window manager put it, once framed and reported there.
    const auto centred = [&](const QRect& r) {
        return std::abs(r.center().x() - main.frameGeometry().center().x()) <= 10 && r.top() < 300;
    };
    QRect seen;
    QTimer::singleShot(0, [&] {
        QMessageBox* box = nullptr;
        waitUntil([&] { return (box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())); });
        if (!box)
            return;
        waitUntil([&] { return framed(*box) && centred(box->frameGeometry()); });
        seen = box->frameGeometry();
        box->done(QMessageBox::Ok);
    });
    WidgetPrompter prompter;
    prompter.message(QStringLiteral("Text"), QStringLiteral("Caption"), BoxIcon::Warning, BoxButtons::Ok,
                     nullptr);
    ASSERT_TRUE(seen.isValid());
    // Centred on the 640-pixel window at the top left, not in the middle of the screen.
    EXPECT_LE(std::abs(seen.center().x() - main.frameGeometry().center().x()), 10)
        << seen.center().x() << " against " << main.frameGeometry().center().x();
    EXPECT_LT(seen.top(), 300);
}

} // namespace
