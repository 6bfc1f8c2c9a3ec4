#include "BenchSupport.h"

#include "core/DriveData.h"
#include "core/ProgramContext.h"
#include "link/CommLink.h"

#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <unistd.h>

BenchPrompter::BenchPrompter() {
    Prompter::install(this);
}

BenchPrompter::~BenchPrompter() {
    Prompter::install(nullptr);
}

BoxAnswer BenchPrompter::message(const QString&, const QString&, BoxIcon, BoxButtons buttons, QWidget*) {
    ++boxes;
    return buttons == BoxButtons::YesNo || buttons == BoxButtons::YesNoCancel ||
                   buttons == BoxButtons::YesNoDefaultNo
               ? BoxAnswer::Yes
               : BoxAnswer::Ok;
}

GeneratedDriveType::GeneratedDriveType() {
    options.parameterCount = 2000;
    QString error;
    ok = folder.isValid() && DriveTypeGenerator::write(folder.path(), options, &files, &error);
    if (!ok) {
        qWarning("Cannot write the drive type: %s", qPrintable(error));
        return;
    }
    context.store = &store;
    context.paths.programFolder = folder.path();
    context.paths.catalogueIni = folder.filePath(QStringLiteral("dat/Inverter.ini"));
    context.language.suffix = QStringLiteral("Eng");
    nameDriveType(context);
}

void GeneratedDriveType::nameDriveType(ProgramContext& context) const {
    context.drive.files.typeFolder = files.typeFolder;
    context.drive.files.capacityFolder = files.typeFolder;
    context.drive.files.infoIniPath = files.infoIniPath;
    context.drive.identity.typeName = options.typeName;
    context.drive.identity.formName = options.capacityName;
    context.drive.identity.cpuVersion = options.cpuVersion;
}

bool GeneratedDriveType::load() {
    return LoadTypeTable(context, benchAsker()) && LoadCapacityTable(context, benchAsker()) &&
           InitValueTable(context, benchAsker());
}

void BenchTableHost::UpdateCurrentVoltageCommands() {
    commands.setEnabled(TableCommand::CVDisp, !context_.drive.currentVoltNumbers.isEmpty());
}

BenchParameterTable::BenchParameterTable() {
    if (!ok)
        return;
    QStringList messages;
    for (int n = 0; n < 110; ++n)
        messages << QStringLiteral("msg%1").arg(n);
    store.setMessages(messages);
    ok = load();
    context.tableView.lastIndex = context.drive.lastIndex();
    table = std::make_unique<ParameterTableWindow>(context, programOptions, nullptr, host);
    table->core().conversionBases() = ConversionBases{.volt = 400.0f, .ampere = 10.0f};
    table->placeAndFill();
}

namespace {

int runSpecified(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    return EXIT_SUCCESS;
}

} // namespace

int runBenchmarks(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int rc = runSpecified(argc, argv);
    benchmark::Shutdown();
    return rc;
}

int runWindowBenchmarks(int argc, char** argv, const std::function<void()>& beforeQuit) {
    // On the X display when there is one (the windows shown as a user sees them), else off screen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", qEnvironmentVariableIsEmpty("DISPLAY") ? "offscreen" : "xcb");
    QApplication app(argc, argv);
    const int rc = runSpecified(argc, argv);
    if (beforeQuit)
        beforeQuit();
    benchmark::Shutdown();
    return rc;
}

PtyDrive::~PtyDrive() {
    if (server)
        server->stop();
}

bool PtyDrive::start(const SimConfig& config) {
    sim = std::make_unique<DriveSimulator>(model, config);
    server = std::make_unique<PtyDriveServer>(*sim);
    return server->open() && server->start();
}

namespace {

QStringList generatedDriveArguments(const GeneratedDriveType& d, SimProtocol protocol, int wireBaud,
                                    bool busyPoll) {
    QStringList args{"--protocol", protocol == SimProtocol::Modbus ? "modbus" : "inverter",
                     "--data",     d.folder.path(),
                     "--type",     d.options.typeName,
                     "--cpu",      d.options.cpuVersion,
                     "--capacity", d.options.capacityName,
                     "--station",  "0"};
    if (wireBaud > 0)
        args << "--wire-baud" << QString::number(wireBaud);
    if (busyPoll)
        args << "--busy-poll";
    return args;
}

} // namespace

DriveProcess::DriveProcess(const GeneratedDriveType& d, SimProtocol protocol, const QString& link,
                           int wireBaud, bool busyPoll, const QStringList& more)
    : DriveProcess(generatedDriveArguments(d, protocol, wireBaud, busyPoll) + more, link) {}

void endWithThisProcess(QProcess& p, int signal) {
    const pid_t parent = ::getpid();
    p.setChildProcessModifier([parent, signal] {
        ::prctl(PR_SET_PDEATHSIG, signal);
        if (::getppid() != parent) // gone before the request took
            ::_exit(1);
    });
}

DriveProcess::DriveProcess(const QStringList& arguments, const QString& link) {
    // Told to stop, not killed: it removes its link on the way out.
    endWithThisProcess(process_, SIGTERM);
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start(QStringLiteral(KVR_DRIVESIM_PROGRAM), arguments + QStringList{"--link", link});
    for (int i = 0;
         i < 500 && process_.state() != QProcess::NotRunning && QFileInfo(link).symLinkTarget().isEmpty();
         ++i)
        QThread::msleep(10);
    ok = process_.state() != QProcess::NotRunning && !QFileInfo(link).symLinkTarget().isEmpty();
}

DriveProcess::~DriveProcess() {
    stop();
}

void DriveProcess::stop() {
    if (process_.state() == QProcess::NotRunning)
        return;
    process_.terminate();
    if (!process_.waitForFinished(3000))
        process_.kill();
    process_.waitForFinished(3000);
}

ShippedProgramFolder::ShippedProgramFolder(const QString& settings) {
    if (!dir.isValid())
        return;
    QDirIterator it(QStringLiteral(KVR_DATA_FOLDER), QDir::Files | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    const QDir source(QStringLiteral(KVR_DATA_FOLDER));
    ok = true;
    while (it.hasNext()) {
        const QString from = it.next();
        const QString to = dir.filePath(source.relativeFilePath(from));
        ok = ok && QDir().mkpath(QFileInfo(to).path()) && QFile::copy(from, to);
    }
    QFile ini(dir.filePath(QStringLiteral("KVR260X.ini")));
    ok = ok && ini.open(QIODevice::WriteOnly) && ini.write(settings.toUtf8()) > 0;
    ok = ok && QDir().mkpath(dir.filePath(QStringLiteral("runtime")));
    QFile::setPermissions(dir.filePath(QStringLiteral("runtime")),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

void attachLink(CommLink& link, const PtyDrive& drive, int protocol, int baudIndex) {
    PtyDriveServer* server = drive.server.get();
    link.setPortPathResolver([server](const QString&) { return server->slavePath(); });
    link.setPortsFound({QStringLiteral("COM1")});
    link.updateSettings([&](LinkSettings& s) {
        s.protocol = protocol;
        s.baudIndex = baudIndex;
    });
    link.setFrameGap(frameGapForBaudIndex(baudIndex));
    link.setReplyTimeout(1000);
}

SmallParameterTable::SmallParameterTable(std::initializer_list<const char*> comNos) {
    int row = 1;
    std::vector<ParameterDefinition> definitions;
    for (const char* n : comNos) {
        ParameterDefinition& d = definitions.emplace_back();
        d.comNo = QString::fromLatin1(n);
        d.size = 2;
        store.setWorkingText(UP_LValue, row - 1, QStringLiteral("0"));
        ++row;
    }
    context.store = &store;
    context.drive.setParameters(std::move(definitions), 0);
}

bool MinimalClient::exchange(std::span<const std::uint8_t> request, int replyLength) {
    if (modbus_ && quietFrom_ > 0)
        clock_.sleepUntilUs(quietFrom_ + silenceWaitUs_);
    if (::write(fd_, request.data(), request.size()) != ssize_t(request.size()))
        return false;
    std::uint8_t buf[256];
    int have = 0;
    while (have < replyLength) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, 1000) != 1)
            return false;
        const ssize_t n = ::read(fd_, buf + have, sizeof buf - std::size_t(have));
        if (n <= 0)
            return false;
        have += int(n);
    }
    quietFrom_ = clock_.nowUs();
    return true;
}

IdleLatencyHold::IdleLatencyHold(bool wanted) {
    if (!wanted)
        return;
    fd_ = ::open("/dev/cpu_dma_latency", O_WRONLY | O_CLOEXEC);
    const std::int32_t none = 0;
    if (fd_ >= 0 && ::write(fd_, &none, sizeof none) != ssize_t(sizeof none)) {
        ::close(fd_);
        fd_ = -1;
    }
}

bool holdIdleRequested() {
    return qEnvironmentVariableIntValue("KVR_BENCH_HOLD_IDLE") == 1;
}

std::vector<std::int64_t> idleHoldArgs() {
    if (holdIdleRequested())
        return {0, 1};
    return {0};
}

Spread spreadOf(std::vector<double> v) {
    if (v.empty())
        return {};
    std::sort(v.begin(), v.end());
    auto at = [&](double q) {
        const double pos = q * double(v.size() - 1);
        const std::size_t i = std::size_t(pos);
        const double f = pos - double(i);
        return i + 1 < v.size() ? v[i] * (1 - f) + v[i + 1] * f : v[i];
    };
    return {at(0.5), at(0.75) - at(0.25)};
}

IdleLatencyHold::~IdleLatencyHold() {
    // The request ends when the device is closed.
    if (fd_ >= 0)
        ::close(fd_);
}
