// Maintenance mode's password check against the simulated drive on the fake port: which
// passwords open which level, what goes on the wire for each, the box that follows, and the
// state an unlock leaves (rows in use, the option, the data store's flags, the master's tab).
#include "link/MaintenanceMode.h"

#include "platform/IniFile.h"
#include "support/TransferFixture.h"

using namespace transfertest;

namespace {

enum class DriveState {
    Connected,
    NoPort,         // the port does not open
    SilentOnAccess, // connected, but the write of the access value goes unanswered
};

struct PasswordRow {
    const char* name;
    const char* password;
    DriveState drive;
    MaintenanceMode::Outcome outcome;
    std::vector<const char*> boxes; // texts in order ("m<n>" is message n)
    bool accessWritten;             // the drive took "P FB91 100"
    bool master;
};

void PrintTo(const PasswordRow& row, std::ostream* os) {
    *os << row.name;
}

using Outcome = MaintenanceMode::Outcome;

class MaintenancePassword : public testing::TestWithParam<PasswordRow> {
protected:
    void SetUp() override {
        ASSERT_TRUE(rig.loaded);
        rig.prompter.allowUnexpected(); // the boxes are compared afterwards
        ProgramContext& context = rig.context;
        context.drive.normalLastIndex = kLast0;
        context.tableView.lastIndex = context.drive.normalLastIndex;
        options.useMaintenanceMode.setChecked(false);
    }
    void prepare(DriveState state) {
        if (state == DriveState::NoPort)
            rig.fake->openErrors[QStringLiteral("/dev/fake0")] = SerialError::Busy;
        if (state == DriveState::SilentOnAccess)
            rig.silent[QStringLiteral("FB91")] = 0;
        // An earlier exchange went well: that must not count as this write.
        rig.link->noteExchangeFailed(false);
    }
    bool accessSent() const {
        for (const std::string& w : rig.writesSince(0))
            if (w == "P FB91 100")
                return true;
        return false;
    }

    TransferRig rig{SimProtocol::Inverter};
    Options options{rig.context};
    MaintenanceMode mode{*rig.link, options, rig.context};
};

TEST_P(MaintenancePassword, OpensItsLevel) {
    const PasswordRow& row = GetParam();
    prepare(row.drive);
    const std::size_t framesBefore = rig.frameCount();
    EXPECT_EQ(mode.check(QString::fromUtf8(row.password), QStringLiteral("Pulvex")), row.outcome);

    QStringList boxes;
    for (const char* b : row.boxes)
        boxes << QString::fromUtf8(b);
    EXPECT_EQ(rig.prompter.texts(), boxes);
    // A silent drive was sent the value all the same.
    EXPECT_EQ(accessSent(), row.accessWritten || row.drive == DriveState::SilentOnAccess);
    EXPECT_EQ(mode.accessValueWritten(), row.accessWritten);

    const ProgramContext& context = rig.context;
    const bool unlocked = row.outcome == Outcome::Unlocked;
    EXPECT_EQ(options.useMaintenanceMode.checked(), unlocked);
    EXPECT_EQ(rig.store.maintenance(), unlocked);
    EXPECT_EQ(context.tableView.lastIndex,
              unlocked ? context.drive.lastIndex() : context.drive.normalLastIndex);
    EXPECT_EQ(mode.unlocked(), unlocked);
    EXPECT_EQ(rig.store.superMaintenance(), row.master);
    EXPECT_EQ(options.mastersTabVisible(), row.master);
    if (row.outcome == Outcome::Refused) {
        EXPECT_EQ(rig.frameCount(), framesBefore); // a wrong password never reaches the drive
        ASSERT_FALSE(rig.prompter.boxes().empty());
        EXPECT_EQ(rig.prompter.boxes().back().icon, BoxIcon::Stop);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, MaintenancePassword,
    testing::Values(
        PasswordRow{
            "Level1UpperCase", "(QWKM)", DriveState::Connected, Outcome::Unlocked, {"m57"}, true, false},
        PasswordRow{
            "Level1LowerCase", "(qwkm)", DriveState::Connected, Outcome::Unlocked, {"m57"}, true, false},
        PasswordRow{"Level1WithAFailedWriteSaysSo",
                    "(QWKM)",
                    DriveState::SilentOnAccess,
                    Outcome::Unlocked,
                    {"m57\nm58"},
                    false,
                    false},
        PasswordRow{"Level1WithoutAPortSaysSo",
                    "(QWKM)",
                    DriveState::NoPort,
                    Outcome::Unlocked,
                    {"m2", "m57\nm58"},
                    false,
                    false},
        PasswordRow{
            "MixedCaseIsRefused", "(Qwkm)", DriveState::Connected, Outcome::Refused, {"m59"}, false, false},
        PasswordRow{"ATrailingBlankIsRefused",
                    "(QWKM) ",
                    DriveState::Connected,
                    Outcome::Refused,
                    {"m59"},
                    false,
                    false},
        PasswordRow{
            "AnEmptyPasswordIsRefused", "", DriveState::Connected, Outcome::Refused, {"m59"}, false, false},
        PasswordRow{"Level2", "9a07b3d", DriveState::Connected, Outcome::Unlocked, {"m57"}, true, false},
        PasswordRow{"Level2WithAFailedWriteUnlocksNothing",
                    "9a07b3d",
                    DriveState::SilentOnAccess,
                    Outcome::NotWritten,
                    {"m3"},
                    false,
                    false},
        PasswordRow{"Level2WithoutAPortUnlocksNothing",
                    "9a07b3d",
                    DriveState::NoPort,
                    Outcome::NotWritten,
                    {"m2", "m3"},
                    false,
                    false},
        PasswordRow{"Level3TellsTheDriveNothing",
                    "5d1e8a6",
                    DriveState::Connected,
                    Outcome::Unlocked,
                    {"m57\nm58"},
                    false,
                    false},
        PasswordRow{"MasterByItsFirstWord",
                    "c73b29",
                    DriveState::Connected,
                    Outcome::Unlocked,
                    {"Hello, the master."},
                    true,
                    true},
        PasswordRow{"MasterByItsSecondWord",
                    "8f02d4b",
                    DriveState::Connected,
                    Outcome::Unlocked,
                    {"Hello, the master."},
                    true,
                    true},
        PasswordRow{"MasterByTheWordTheWindowKeepsWithoutAPort",
                    "Pulvex",
                    DriveState::NoPort,
                    Outcome::Unlocked,
                    {"m2", "Hello, the master.\nm58"},
                    false,
                    true}),
    [](const testing::TestParamInfo<PasswordRow>& info) { return std::string(info.param.name); });

TEST_F(MaintenancePassword, Level3SendsNoFrameAtAll) {
    EXPECT_EQ(mode.check(QStringLiteral("5d1e8a6"), QStringLiteral("Pulvex")), Outcome::Unlocked);
    EXPECT_EQ(rig.frameCount(), 0u);
}

TEST_F(MaintenancePassword, TheOptionSetByTheUnlockIsNotStored) {
    rig.folder.writeFile(QStringLiteral("KVR260X.ini"), "[Options]\r\nMainte=0\r\n");
    ASSERT_EQ(mode.check(QStringLiteral("(QWKM)"), QStringLiteral("Pulvex")), Outcome::Unlocked);
    ASSERT_TRUE(options.useMaintenanceMode.checked());
    options.saveSettings();
    EXPECT_EQ(
        IniFile(rig.folder.settingsIniPath()).readString(QStringLiteral("Options"), QStringLiteral("Mainte")),
        QStringLiteral("0"));
}

TEST_F(MaintenancePassword, ADriveTypeWithoutTheAccessParameterIsNeverWrittenTo) {
    ProgramContext& context = rig.context;
    context.drive.parameters[std::size_t(kAccess)].comNo = QStringLiteral("FB99");
    context.drive.rebuildComNoIndex();
    EXPECT_EQ(mode.check(QStringLiteral("9a07b3d"), QStringLiteral("Pulvex")), Outcome::NotWritten);
    EXPECT_EQ(rig.prompter.texts(), QStringList({"m3"}));
    for (const std::string& w : rig.writesSince(0))
        EXPECT_EQ(w.rfind("R ", 0), 0u) << w; // the connect step's probe only
}

} // namespace
