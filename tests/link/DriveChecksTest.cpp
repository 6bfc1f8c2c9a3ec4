// The checks before a transfer against the simulated drive on the fake port: the special
// setup of "0998"/"0999" and its one warning, the identity sequence on the wire and the
// comparison of type, capacity and CPU version with the selection.
#include "link/DriveChecks.h"
#include "platform/Prompter.h"
#include "support/InstalledAsker.h"
#include "support/LoadedMachine.h"
#include "support/TransferFixture.h"

#include <QCoreApplication>
#include <QDir>

using namespace transfertest;

namespace {

// A prompter that runs something while its box is open.
class HookPrompter : public ScriptedPrompter {
public:
    std::function<void()> whileOpen;
    BoxAnswer message(const QString& text, const QString& caption, BoxIcon icon, BoxButtons buttons,
                      QWidget* parent) override {
        if (whileOpen)
            whileOpen();
        return ScriptedPrompter::message(text, caption, icon, buttons, parent);
    }
};

class SpecialSetupCheck : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(rig.loaded); }
    TransferRig rig{SimProtocol::Inverter, Wire::Fake, "[Setup]\r\nSpChk=1\r\n"};
    DriveCheckState state;
    DriveChecks checks{rig.context, rig.options, *rig.link, state};
};

TEST_F(SpecialSetupCheck, ADriveTypeThatDoesNotAskIsOnlyConnected) {
    rig.writeInfo("");
    rig.link->markSpecialSetup(true);
    rig.model.setParameter("0999", 5);
    checks.CheckSpSetup();
    EXPECT_EQ(rig.frameTexts(), std::vector<std::string>{"R 0000"});
    EXPECT_TRUE(rig.link->specialSetup()) << "kept from the last completed check";
}

TEST_F(SpecialSetupCheck, AMarkedDriveWarnsOnceWhileTheTableIsActive) {
    rig.model.setParameter("0999", 5);
    state.tableActive = true;
    state.warningDue = true;
    rig.prompter.answer(BoxAnswer::Ok);
    checks.CheckSpSetup();
    EXPECT_TRUE(rig.link->specialSetup());
    EXPECT_EQ(rig.frameTexts(), (std::vector<std::string>{"R 0000", "R 0998", "R 0999", "R 0000"}));
    ASSERT_EQ(rig.prompter.boxes().size(), 1u);
    EXPECT_EQ(rig.prompter.boxes()[0].text, "m100\n\n\nm101\nm102");
    EXPECT_EQ(rig.prompter.boxes()[0].icon, BoxIcon::None);
    EXPECT_EQ(rig.prompter.boxes()[0].buttons, BoxButtons::Ok);
    EXPECT_FALSE(state.warningDue);
    EXPECT_TRUE(state.warningShown);

    rig.model.setParameter("0998", 3);
    checks.CheckSpSetup(); // marked again, no second box
    EXPECT_TRUE(rig.link->specialSetup());
    EXPECT_EQ(rig.prompter.boxes().size(), 1u);

    state.warningShown = false; // a new parameter set arms it again
    state.warningDue = true;
    rig.prompter.answer(BoxAnswer::Ok);
    checks.CheckSpSetup();
    ASSERT_EQ(rig.prompter.boxes().size(), 2u);
    EXPECT_EQ(rig.prompter.boxes()[1].text, "m99\nm100\n\n\nm101\nm102");
}

TEST_F(SpecialSetupCheck, WhileTheMainWindowIsActiveTheWarningWaits) {
    rig.model.setParameter("0998", 0);
    state.warningDue = true;
    checks.CheckSpSetup();
    EXPECT_TRUE(rig.link->specialSetup());
    EXPECT_TRUE(rig.prompter.boxes().empty());
    EXPECT_TRUE(state.warningDue);

    state.tableActive = true;
    rig.prompter.answer(BoxAnswer::Ok);
    checks.CheckSpSetup();
    EXPECT_EQ(rig.prompter.boxes().size(), 1u);
}

TEST_F(SpecialSetupCheck, NormalValuesAndUnansweredReadsClearTheMark) {
    rig.link->markSpecialSetup(true);
    checks.CheckSpSetup();
    EXPECT_FALSE(rig.link->specialSetup());

    rig.link->markSpecialSetup(true);
    rig.model.setParameter("0998", 4);
    rig.silent = {{"0998", 0}, {"0999", 0}};
    checks.CheckSpSetup();
    EXPECT_FALSE(rig.link->specialSetup()) << "a drive that does not answer is never marked";
}

TEST_F(SpecialSetupCheck, AnActivationThatLosesTheDriveSaysSoOnce) {
    ASSERT_TRUE(rig.connect());
    rig.clock.advance(kKeptConnectionMs + 1); // the connect's answer no longer holds
    rig.silent = {{"0000", 0}};               // the drive has gone
    checks.CheckSpSetupOnActivation();
    EXPECT_FALSE(rig.link->lastConnectFound());
    EXPECT_EQ(rig.prompter.texts(), QStringList{"m3"});
    // Known to be gone: the next activation greys nothing new and says nothing more.
    checks.CheckSpSetupOnActivation();
    EXPECT_EQ(rig.prompter.texts().size(), 1);
}

TEST_F(SpecialSetupCheck, WithoutAConnectionTheMarkStays) {
    rig.link->markSpecialSetup(true);
    rig.prompter.answer(BoxAnswer::Ok); // the port box
    rig.fake->existingPaths = {"/dev/other"};
    checks.CheckSpSetup();
    EXPECT_TRUE(rig.link->specialSetup());
    EXPECT_EQ(rig.frameCount(), 0u);
}

TEST_F(SpecialSetupCheck, ACheckStartedWhileItsBoxIsOpenReturnsAtOnce) {
    HookPrompter hook;
    rig.model.setParameter("0999", 5);
    state.tableActive = true;
    state.warningDue = true;
    std::size_t framesInBox = 0;
    hook.whileOpen = [&] {
        const std::size_t before = rig.frameCount();
        checks.CheckSpSetup();
        framesInBox = rig.frameCount() - before;
    };
    hook.answer(BoxAnswer::Ok);
    checks.CheckSpSetup();
    EXPECT_EQ(hook.boxes().size(), 1u);
    EXPECT_EQ(framesInBox, 0u);
}

// The check at a window's activation on a real line: it returns before the drive answers, and
// only the newest check's answer counts.
class ActivationCheck : public SpecialSetupCheck {
protected:
    void SetUp() override {
        ASSERT_TRUE(rig.loaded);
        ASSERT_TRUE(rig.connect());
        state.tableActive = state.warningDue = true;
        rig.model.setParameter("0999", 5);
        prompter.answer(BoxAnswer::Ok);
    }
    // Until the link has been free through a few turns of the event loop.
    void settle() {
        int quiet = 0;
        waitUntil([&] {
            quiet = rig.link->backgroundPending() ? 0 : quiet + 1;
            return quiet >= 5;
        });
    }
    TransferRig rig{SimProtocol::Inverter, Wire::Pty, "[Setup]\r\nSpChk=1\r\n"};
    DriveChecks checks{rig.context, rig.options, *rig.link, state};
    ScriptedPrompter prompter;
};

TEST_F(ActivationCheck, ReturnsAtOnceAndANewerActivationsAnswerWarnsOnce) {
    const std::size_t start = rig.frameCount();
    checks.CheckSpSetupOnActivation();
    EXPECT_TRUE(rig.link->backgroundExchangePending());
    EXPECT_FALSE(rig.link->specialSetup());
    checks.CheckSpSetupOnActivation(); // while the first one's read is on the line
    settle();
    EXPECT_TRUE(rig.link->specialSetup());
    EXPECT_EQ(prompter.boxes().size(), 1u);
    EXPECT_EQ(rig.frameTexts(start), (std::vector<std::string>{"R 0998", "R 0998", "R 0999"}));
}

TEST_F(ActivationCheck, ACheckOrAMonitorRunMeanwhileEndsIt) {
    MonitorRunLock monitorRun;
    rig.link->setMonitorRunLock(&monitorRun);
    for (const bool monitor : {false, true}) {
        SCOPED_TRACE(monitor);
        rig.link->markSpecialSetup(false);
        checks.CheckSpSetupOnActivation();
        if (monitor)
            monitorRun.setRunning(true);
        else
            checks.CheckSpSetup(); // waits for the read on the line, then reads both itself
        const std::size_t after = rig.frameCount();
        settle();
        EXPECT_EQ(rig.frameCount(), after);
        EXPECT_EQ(rig.link->specialSetup(), !monitor);
        monitorRun.setRunning(false);
    }
    EXPECT_EQ(prompter.boxes().size(), 1u);
}

class DriveIdentityCheck : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(rig.loaded);
        ASSERT_TRUE(rig.connect());
        start = rig.frameCount();
        checks.setOptionsOpener([this] { ++optionsOpened; });
    }
    QStringList cpuForms{"V100", "V110"};
    QStringList cpuNumbers{"100", "110"};
    TransferRig rig{SimProtocol::Inverter};
    DriveCheckState state;
    DriveChecks checks{rig.context, rig.options, *rig.link, state, &cpuForms, &cpuNumbers};
    std::size_t start = 0;
    int optionsOpened = 0;
};

TEST_F(DriveIdentityCheck, TheSequenceWritesTheAccessValueThenReadsTypeCapacityCpuAndRevision) {
    const IdentityCheckResult r = checks.CheckDriveIdentity(kModeImport);
    EXPECT_EQ(rig.frameTexts(start), (std::vector<std::string>{"P FB91 100", "R FB07", "R FB05", "R FE08",
                                                               "R FB72", "R FE08", "R FE08"}));
    EXPECT_EQ(rig.model.parameter("FB91")->raw, 100u);
    EXPECT_TRUE(r.typeMatches);
    EXPECT_TRUE(r.capacityMatches);
    EXPECT_FALSE(r.cancelled);
    EXPECT_EQ(checks.cpuVersionText(), "100");
    EXPECT_TRUE(rig.prompter.boxes().empty());
}

TEST_F(DriveIdentityCheck, AReadBehindALateReplyIsRepeatedBeforeAMismatchIsClaimed) {
    for (const SimProtocol protocol : {SimProtocol::Inverter, SimProtocol::Modbus}) {
        TransferRig late{protocol};
        ASSERT_TRUE(late.loaded);
        late.driveTiming = true;
        ASSERT_TRUE(late.connect());
        DriveChecks lateChecks{late.context, late.options, *late.link, state, &cpuForms, &cpuNumbers};
        // The type, the capacity and the CPU version each answer up to four time-outs late.
        late.lateOnce = {{"FB07", 900}, {"FB05", 400}, {"FE08", 700}};
        const IdentityCheckResult r = lateChecks.CheckDriveIdentity(kModeImport);
        EXPECT_TRUE(r.typeMatches);
        EXPECT_TRUE(r.capacityMatches);
        EXPECT_EQ(lateChecks.cpuVersionText(), "100");
        EXPECT_TRUE(late.prompter.boxes().empty()) << late.prompter.texts().join('|').toStdString();
    }
}

TEST_F(DriveIdentityCheck, CapacityNamesMatchWhenOneContainsTheOther) {
    EXPECT_TRUE(capacityNamesMatch("-4037", "-4037E"));
    EXPECT_TRUE(capacityNamesMatch("-4037E", "-4037"));
    EXPECT_FALSE(capacityNamesMatch("-2022", "-4037"));
    EXPECT_FALSE(capacityNamesMatch("", "-4037")) << "an empty name matches nothing";
    EXPECT_FALSE(capacityNamesMatch("-4037", ""));

    rig.context.drive.identity.formName = "-0.75";
    EXPECT_TRUE(checks.CheckDriveIdentity(kModeImport).capacityMatches);
}

TEST_F(DriveIdentityCheck, AMismatchAsksAndCancelStopsWhileOkOpensTheOptions) {
    rig.setDrive(kCapa, 4); // -1.5K
    rig.prompter.answer(BoxAnswer::Cancel);
    const IdentityCheckResult cancelled = checks.CheckDriveIdentity(kModeImport);
    EXPECT_TRUE(cancelled.typeMatches);
    EXPECT_FALSE(cancelled.capacityMatches);
    EXPECT_TRUE(cancelled.cancelled);
    ASSERT_EQ(rig.prompter.boxes().size(), 1u);
    EXPECT_EQ(rig.prompter.boxes()[0].text, "m78HXA1-1.5K (V100)\n\nm108\n\nm109");
    EXPECT_EQ(rig.prompter.boxes()[0].buttons, BoxButtons::OkCancel);
    EXPECT_EQ(rig.prompter.boxes()[0].icon, BoxIcon::Warning);
    EXPECT_EQ(optionsOpened, 0);

    rig.prompter.answer(BoxAnswer::Ok);
    EXPECT_FALSE(checks.CheckDriveIdentity(kModeExport).cancelled);
    EXPECT_EQ(optionsOpened, 1);
}

TEST_F(DriveIdentityCheck, WithTheCheckOffAMismatchIsSilent) {
    rig.options.checkDriveTypeAndCapacity.setChecked(false);
    rig.setDrive(kType, 13);
    const IdentityCheckResult r = checks.CheckDriveIdentity(kModeImport);
    EXPECT_FALSE(r.typeMatches);
    EXPECT_FALSE(r.cancelled);
    EXPECT_TRUE(rig.prompter.boxes().empty());
}

TEST_F(DriveIdentityCheck, OnlyAComparisonReportsAnotherCpuVersion) {
    rig.context.drive.identity.cpuVersion = "V110";
    checks.CheckDriveIdentity(kModeImport);
    EXPECT_TRUE(rig.prompter.boxes().empty()) << "type and capacity match";

    rig.prompter.answer(BoxAnswer::Ok);
    checks.CheckDriveIdentity(kModeComparison);
    ASSERT_EQ(rig.prompter.boxes().size(), 1u);
    EXPECT_EQ(rig.prompter.boxes()[0].text, "m78HXA1-0.75K (V100)\n\nm106\n");
    EXPECT_EQ(rig.prompter.boxes()[0].buttons, BoxButtons::Ok);
}

TEST_F(DriveIdentityCheck, AComparisonListsEveryMismatchInOrder) {
    rig.setDrive(kType, 13);
    rig.setDrive(kCpu, 650);
    rig.prompter.answer(BoxAnswer::Ok);
    checks.CheckDriveIdentity(kModeComparison);
    ASSERT_EQ(rig.prompter.boxes().size(), 1u);
    EXPECT_EQ(rig.prompter.boxes()[0].text, "m78Err.Err. (V650)\n\nm76\nm107\nm77\n");
}

TEST_F(DriveIdentityCheck, ADriveTypeWithoutTheAccessParameterGetsNoWrite) {
    rig.context.drive.parameters[std::size_t(kAccess)].comNo = "FB92";
    rig.context.drive.rebuildComNoIndex();
    checks.CheckDriveIdentity(kModeImport);
    EXPECT_EQ(rig.writesSince(start), std::vector<std::string>{});
    EXPECT_FALSE(WriteAccessValue(*rig.link, "100"));
    EXPECT_EQ(rig.model.parameter("FB91")->raw, 0u);
}

TEST(MonitorLock, TheInstalledHandlerFollowsTheMonitorRun) {
    MonitorRunLock lock;
    std::vector<bool> calls;
    lock.setRunning(true); // no handler yet
    lock.setHandler([&calls](bool running) { calls.push_back(running); });
    lock.setRunning(true);
    lock.setRunning(false);
    lock.setHandler(nullptr);
    lock.setRunning(true);
    EXPECT_EQ(calls, (std::vector<bool>{true, false}));
    EXPECT_TRUE(lock.running());
}

} // namespace

namespace {

// Every shipped drive type, played by the simulated drive, passes its own identity check
// and is not taken for a specially set-up drive.
struct ShippedDrive {
    const char* type;
    const char* cpu;
    const char* capacity;
};

class ShippedIdentity : public testing::TestWithParam<ShippedDrive> {};

TEST_P(ShippedIdentity, TheDriveOfTheSelectionMatchesIt) {
    const ShippedDrive d = GetParam();
    ScriptedPrompter prompter;
    TempProgramFolder folder(true);
    TestProgram program;
    ProgramContext& context = program.context;
    context.paths.programFolder = folder.path();
    context.paths.catalogueIni = folder.filePath("dat/Inverter.ini");
    context.language.suffix = "Eng";
    context.drive.identity.typeName = d.type;
    context.drive.identity.formName = d.capacity;
    context.drive.identity.cpuVersion = d.cpu;
    context.drive.files.typeFolder = folder.filePath(QStringLiteral("dat/%1(%2)").arg(d.type, d.cpu));
    context.drive.files.capacityFolder = context.drive.files.typeFolder;
    context.drive.files.infoIniPath = context.drive.files.typeFolder + "/Info.ini";
    program.setMessages(QStringLiteral("m"), 120);
    Asker& asker = installedAsker();
    ASSERT_TRUE(LoadTypeTable(context, asker) && LoadCapacityTable(context, asker) &&
                InitValueTable(context, asker));

    DriveModel model;
    ASSERT_TRUE(model.load(folder.path(), {d.type, d.cpu, d.capacity}));
    DriveSimulator sim(model, SimConfig{});
    ManualClock clock;
    FakeSerialPort port(clock);
    port.responder = [&sim](const Bytes& request) {
        std::vector<FakeSerialPort::Chunk> out;
        for (SimReply& r : sim.respondToWrite(request))
            out.push_back({std::move(r.bytes), 1});
        return out;
    };
    CommLink link(context, port, clock, installedAsker());
    link.setPortPathResolver([](const QString&) { return QStringLiteral("/dev/fake0"); });
    link.setPortsFound({"COM1"});

    // The CPU-version lists as the start-up form fills them: the type's folders.
    QStringList cpuForms, cpuNumbers;
    for (const QString& f : QDir(folder.filePath("dat")).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        if (f.startsWith(QString(d.type) + "(V")) {
            cpuForms << f.mid(5, f.size() - 6);
            cpuNumbers << f.mid(6, f.size() - 7);
        }
    DriveCheckState state;
    state.tableActive = state.warningDue = true;
    DriveChecks checks(context, program.options, link, state, &cpuForms, &cpuNumbers);
    checks.CheckSpSetup();
    EXPECT_FALSE(link.specialSetup());
    const IdentityCheckResult r = checks.CheckDriveIdentity(kModeComparison);
    EXPECT_TRUE(r.typeMatches);
    EXPECT_TRUE(r.capacityMatches);
    EXPECT_TRUE(prompter.boxes().empty()) << prompter.texts().join("|").toStdString();
    EXPECT_EQ(checks.cpuVersionText(), QString(d.cpu).mid(1));
}

INSTANTIATE_TEST_SUITE_P(Shipped, ShippedIdentity,
                         testing::Values(ShippedDrive{"HXA1", "V110", "-2004"},
                                         ShippedDrive{"HXA1", "V720", "-4037"},
                                         ShippedDrive{"HXB3", "V250", "-4015"}),
                         [](const auto& info) {
                             return std::string(info.param.type) + "_" + std::string(info.param.cpu);
                         });

} // namespace
