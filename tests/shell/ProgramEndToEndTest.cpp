// The program against the simulated drive on a pseudo-terminal named COM1: in this process
// through the start-up's own windows, and as the real executable.
#include "shell/StartUpFixture.h"

#include "link/CommLink.h"
#include "support/DrivesimProcess.h"
#include "support/LoadedMachine.h"
#include "support/TestPaths.h"
#include "ui/ParameterTableWindow.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>

namespace {

class EndToEnd : public StartUpTestBase {
protected:
    void SetUp() override {
        if (!QFileInfo(DrivesimProcess::program()).isExecutable())
            GTEST_SKIP() << "build the drivesim target: " << DrivesimProcess::program().toStdString();
        link = folder.filePath(QStringLiteral("sim-COM1"));
        // The longest reply time a user can set: a simulated drive on a loaded machine (a
        // sanitizer build, a small CI machine) may take far longer than a real one.
        folder.writeFile(QStringLiteral("KVR260X.ini"),
                         "[Language]\r\nJapanese=0\r\nEnglish=0\r\n[Comms]\r\nDelay=" +
                             QByteArray::number(kLoadedReplyMs) + "\r\n[Ports]\r\nCOM1=" + link.toUtf8() +
                             "\r\n");
        kvr = folder.writeFile(
            QStringLiteral("p.kvr"),
            "###\r\nHXA1\r\n-2004\r\nV110\r\nEnglish\r\nNo Comments.\r\n0\r\n0\r\n0002,75,0,0\r\n");
    }
    QString link;
    QString kvr;
};

TEST_F(EndToEnd, StartWithAFileConnectsToTheDriveOnCom1AndShowsTheTable) {
    DrivesimProcess sim(shippedHxa1Arguments(folder.path()), link);
    ASSERT_TRUE(sim.running());
    ::StartUp::Environment env{QDir::tempPath(), folder.path(), kvr};
    ::StartUp::Program program(env);
    program.options().setAssociationHandler([](bool) {});
    ASSERT_TRUE(program.create());
    EXPECT_EQ(prompter.boxes().size(), 0u) << prompter.texts().join(QLatin1Char('|')).toStdString();
    ASSERT_NE(program.link(), nullptr);
    // The connect's answer comes from the event loop (and an activation's special-setup check
    // may follow it, which leaves the keypad's command enabled whatever it finds).
    ASSERT_TRUE(waitUntil([&] { return !program.link()->backgroundPending(); }));
    EXPECT_TRUE(program.link()->PortOpen());
    EXPECT_FALSE(program.link()->lastExchangeFailed());
    EXPECT_TRUE(program.main()->driveCommandRequested(DriveCommand::KeyPad));
    program.showMain();
    EXPECT_TRUE(program.table()->isVisible());
    EXPECT_EQ(program.table()->rows().size(), program.context().tableView.lastIndex + 2);
    EXPECT_TRUE(program.main()->close());
}

} // namespace

namespace {

// Whether process pid holds a descriptor on the device a link points to.
bool holdsDevice(qint64 pid, const QString& link) {
    const QString device = QFileInfo(link).symLinkTarget();
    const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
    for (const QFileInfo& fd : fds.entryInfoList(QDir::System | QDir::NoDotAndDotDot))
        if (fd.symLinkTarget() == device)
            return true;
    return false;
}

// What process pid has passed to write() so far, in bytes.
qint64 bytesWritten(qint64 pid) {
    QFile io(QStringLiteral("/proc/%1/io").arg(pid));
    if (!io.open(QIODevice::ReadOnly))
        return -1;
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("wchar: (\\d+)")).match(QString::fromLatin1(io.readAll()));
    return m.hasMatch() ? m.captured(1).toLongLong() : -1;
}

TEST_F(EndToEnd, TheExecutableStartedWithAFileConnectsToTheDriveOnCom1) {
    const QString built = binaryDir() + QStringLiteral("/KVR260X");
    if (!QFileInfo(built).isExecutable())
        GTEST_SKIP() << "build the KVR260X target";
    // With a file argument the program folder is the program file's.
    const QString exe = folder.filePath(QStringLiteral("KVR260X"));
    ASSERT_TRUE(QFile::copy(built, exe));
    QFile::setPermissions(exe, QFile::permissions(exe) | QFile::ExeOwner);

    DrivesimProcess sim(shippedHxa1Arguments(folder.path()), link);
    ASSERT_TRUE(sim.running());
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.filePath(QStringLiteral("XDG_RUNTIME_DIR")));
    env.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("XDG_DATA_HOME")));
    program.setProcessEnvironment(env);
    program.setWorkingDirectory(QDir::tempPath());
    program.start(exe, {kvr});
    ASSERT_TRUE(program.waitForStarted(kLoadedMachineMs));
    const auto running = [&] { return program.state() == QProcess::Running; };
    // The drive has said it serves; what it writes next is a reply.
    const qint64 saidServing = bytesWritten(sim.process.processId());
    const bool connected =
        waitUntil([&] { return !running() || holdsDevice(program.processId(), link); }) && running();
    const bool served =
        waitUntil([&] { return !running() || bytesWritten(sim.process.processId()) > saidServing; }) &&
        running();
    // A moment to take the reply in: a program that falls over on it is caught here on most
    // runs, and a slow machine only makes that less likely, never a good run fail.
    waitUntil([&] { return !running(); }, 1000);
    const bool stillRunning = running();
    const QString said = sim.stop();
    program.kill();
    program.waitForFinished(kLoadedMachineMs);

    EXPECT_TRUE(connected);
    EXPECT_TRUE(served);
    EXPECT_TRUE(stillRunning) << program.readAllStandardError().toStdString();
    const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("(\\d+) replies")).match(said);
    ASSERT_TRUE(m.hasMatch()) << said.toStdString();
    EXPECT_GE(m.captured(1).toInt(), 1);
    // The start with a file wrote the language's position; nothing else stopped it.
    EXPECT_EQ(IniFile(folder.settingsIniPath())
                  .readInteger(QStringLiteral("Default"), QStringLiteral("LangNo"), -1),
              1);
}

} // namespace
