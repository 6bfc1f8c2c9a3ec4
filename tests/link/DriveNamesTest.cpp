// Names of the connected drive from the drive catalogue: type (with the CPU version's
// sections and the identification sections), capacity and CPU version.
#include "link/DriveNames.h"
#include "support/TransferFixture.h"

using namespace transfertest;

namespace {

class DriveNaming : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(rig.loaded);
        ASSERT_TRUE(rig.connect());
        start = rig.frameCount();
    }
    QStringList cpuForms{"V100", "V110"};
    QStringList cpuNumbers{"100", "110"};
    TransferRig rig{SimProtocol::Inverter};
    DriveNames names{*rig.link, &cpuForms, &cpuNumbers};
    std::size_t start = 0;
};

TEST_F(DriveNaming, ATypeCodeListedTwiceIsNamedByItsFirstKey) {
    EXPECT_EQ(names.LookupTypeName("12"), "HXA1");
    EXPECT_EQ(names.typeNames(), (QStringList{"HXA1", "HXA9", "HXB3", "HXB4"}));
    EXPECT_EQ(names.typeCodes(), (QStringList{"12", "12", "20", "20"}));
    EXPECT_FALSE(names.identifiedType());
    EXPECT_EQ(names.LookupTypeName("13"), "Err.");
    // The CPU version is read for the section and once more for the identification step.
    EXPECT_EQ(rig.frameTexts(start), (std::vector<std::string>{"R FE08", "R FE08", "R FE08", "R FE08"}));
}

TEST_F(DriveNaming, FromCpuVersion700TheCustomSectionsApply) {
    rig.setDrive(kCpu, 699);
    EXPECT_EQ(names.LookupTypeName("12"), "HXA1");
    EXPECT_EQ(names.LookupTypeName("112"), "Err.");
    EXPECT_EQ(names.LookupCapacityName("HXA1", "3"), "-0.75K");

    rig.setDrive(kCpu, 700);
    EXPECT_EQ(names.LookupTypeName("112"), "HXA1");
    EXPECT_EQ(names.LookupTypeName("12"), "Err.");
    EXPECT_EQ(names.LookupCapacityNameNewCpu("112", "700", "33"), "-0.75K");
    EXPECT_EQ(names.capacityNames(), QStringList{"-0.75K"});
    EXPECT_EQ(names.LookupCapacityNameNewCpu("112", "700", "3"), "Err.");
}

TEST_F(DriveNaming, TypesSharingACodeAreToldApartByTheirIdentifyingParameter) {
    rig.model.setParameter("0F10", 1);
    EXPECT_EQ(names.LookupTypeName("20"), "HXB4");
    EXPECT_TRUE(names.identifiedType());
    EXPECT_EQ(names.identifiedType(), "HXB4");
    const auto frames = rig.frameTexts(start);
    EXPECT_NE(std::find(frames.begin(), frames.end(), "R 0F10"), frames.end());

    rig.model.setParameter("0F10", 7); // no name for 7: the plain code look-up
    EXPECT_EQ(names.LookupTypeName("20"), "HXB3");
    EXPECT_FALSE(names.identifiedType());

    rig.silent = {{"0F10", 0}}; // a failed read counts as 0
    EXPECT_EQ(names.LookupTypeName("20"), "HXB3");
    EXPECT_TRUE(names.identifiedType());
}

TEST(DriveNamingModbus, TheIdentifyingReadUsesTheSelectedProtocol) {
    TransferRig rig(SimProtocol::Modbus);
    ASSERT_TRUE(rig.connect());
    rig.model.setParameter("0F10", 1);
    DriveNames names(*rig.link);
    EXPECT_EQ(names.LookupTypeName("20"), "HXB4");
}

TEST_F(DriveNaming, AnAbsentCapacityCodeIsNotNamed) {
    EXPECT_EQ(names.LookupCapacityName("HXA1", "4"), "-1.5K");
    EXPECT_EQ(names.capacityNames(), (QStringList{"-0.75K", "-1.5K"}));
    EXPECT_EQ(names.LookupCapacityName("HXA1", "9"), "Err.");
    EXPECT_EQ(names.LookupCapacityName("Err.", "3"), "Err.");
}

TEST_F(DriveNaming, CpuVersionsAreComparedAsNumbers) {
    const struct {
        const char* cpu;
        const char* name;
    } cases[] = {
        {"110", "V110"}, {"0110", "V110"},  {"650", "Err."}, {"699", "Err."}, {"700", "V700"},
        {"701", "V701"}, {"1000", "V1000"}, {"99", "Err."},  {"", "Err."},
    };
    for (const auto& c : cases)
        EXPECT_EQ(names.CpuVersionName("12", c.cpu), c.name) << c.cpu;
}

TEST_F(DriveNaming, WithoutFE08InTheTableTheCpuVersionCountsAs0) {
    rig.setDrive(kCpu, 700);
    rig.context.drive.parameters[std::size_t(kCpu)].comNo = "FE09";
    rig.context.drive.rebuildComNoIndex();
    EXPECT_EQ(names.readCpuVersion(), 0);
    EXPECT_EQ(names.LookupTypeName("12"), "HXA1");
    EXPECT_TRUE(rig.frameTexts(start).empty());
}

TEST_F(DriveNaming, AFilesTypeIsNamedOnlyThroughAnIdentificationSection) {
    EXPECT_EQ(names.LookupFileTypeName("20", "1"), "HXB4");
    EXPECT_EQ(names.FindFileTypeIndex("20", "0"), "2");
    EXPECT_EQ(names.LookupFileTypeName("20", "9"), "Err.");
    EXPECT_EQ(names.LookupFileTypeName("12", "1"), "Err.");
    EXPECT_EQ(rig.frameCount(), start) << "no exchange";
}

} // namespace
