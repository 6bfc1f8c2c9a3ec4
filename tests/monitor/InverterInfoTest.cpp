// The inverter information and the trip data against the simulated drive behind the fake
// port: the lines, the requests on the wire, the CPU versions' capacity look-ups, numbers the
// drive type lacks, and the trip data after a trip the drive was told to make.
#include "support/InverterInfoFixture.h"

#include "core/ParameterStore.h"
#include "monitor/ChannelValues.h"

#include <chrono>

namespace {

using InverterInfoTest = inverterinfotest::InverterInfoFixture;

TEST_F(InverterInfoTest, ShippedSectionListsTheDrivesIdentityAndHistory) {
    EXPECT_EQ(readInfo(), (QStringList{"Inverter Information", "Inverter Type:HXA1", "Inverter Form:-4037",
                                       "CPU Version:110", "ROM Version:1A2B", "", "Last Trip:Undervoltage",
                                       "2nd Last Trip:Overcurrent", "3rd Last Trip:No trip",
                                       // a code the trip list lacks shows the drive's number
                                       "4th Last Trip:99", "", "Total Run Time (h):12300"}));
    EXPECT_TRUE(prompter.boxes().empty());
}

TEST_F(InverterInfoTest, IdentityIsReadFirstThenTheAccessValueThenEachLineInOrder) {
    readInfo();
    EXPECT_EQ(wire(), (QStringList{"R FE08", "R FB05", "R FB07", "FB91=100 P",
                                   // the type name's look-up asks for the CPU version twice
                                   "R FB07", "R FE08", "R FE08", "R FB05", "R FE08", "R FE73", "R FE10",
                                   "R FE11", "R FE12", "R FE13", "R FE14"}));
}

TEST_F(InverterInfoTest, SectionLayoutTitlesEmptyLinesAndRunTime) {
    setLanguage("[InverterInfo]\r\nk0=t0\r\nk1=t1\r\ncr1=x\r\nk3=FE14\r\n");
    setDefinitionText(context.drive.parameters[std::size_t(context.drive.indexOfComNo("FE14"))], PD_Mul,
                      "10");
    EXPECT_EQ(readInfo(), (QStringList{"t0", "", "k31230"}));
}

TEST_F(InverterInfoTest, CapacityIsLookedUpByTheCpuVersion) {
    struct Case {
        std::int64_t cpu;
        const char* line;
    };
    // From 700 on the capacity comes from the type code, the CPU version and the form code.
    const Case cases[] = {
        {110, "Inverter Form:-4037"}, {699, "Inverter Form:-4037"}, {720, "Inverter Form:-4037N"}};
    for (const Case& c : cases) {
        model.setParameter("FE08", c.cpu);
        EXPECT_EQ(readInfo().value(2), QString::fromLatin1(c.line)) << c.cpu;
    }
}

TEST_F(InverterInfoTest, FormBeforeTypeStillNamesTheCapacity) {
    setLanguage("[InverterInfo]\r\nInfo=Info\r\nTrip=Trip\r\nForm:=FB05\r\nType:=FB07\r\n");
    EXPECT_EQ(readInfo(), (QStringList{"Info", "Form:-4037", "Type:HXA1"}));
}

TEST_F(InverterInfoTest, NumbersTheDriveTypeLacksShowADashAndAreNeverSent) {
    setLanguage("[InverterInfo]\r\nInfo=Info\r\nTrip=Trip\r\nA:=FE99\r\nB:=FE14\r\nC:=\r\n");
    EXPECT_EQ(readInfo(), (QStringList{"Info", "A:-", "B:12300", "C:-"}));
    for (const QString& request : wire())
        EXPECT_FALSE(request.contains("FE99")) << request.toStdString();
}

TEST_F(InverterInfoTest, RomVersionIsDecimalWhenTheCatalogueSaysD) {
    context.paths.catalogueIni = folder.writeFile(QStringLiteral("dat/Inverter.ini"),
                                                  "[Type]\r\nHXA1=41\r\n[HXA1]\r\n-4037=13\r\nCPU2=D\r\n");
    // A fraction from its Mul is shown as it is; in hexadecimal the drive's own number is.
    setDefinitionText(context.drive.parameters[std::size_t(context.drive.indexOfComNo("FE73"))], PD_Mul,
                      "100");
    EXPECT_EQ(readInfo().value(4), "ROM Version:66.99");
    context.paths.catalogueIni = folder.writeFile(QStringLiteral("dat/Inverter.ini"),
                                                  "[Type]\r\nHXA1=41\r\n[HXA1]\r\n-4037=13\r\nCPU2=H\r\n");
    EXPECT_EQ(readInfo().value(4), "ROM Version:1A2B");
}

TEST_F(InverterInfoTest, AnEmptySectionShowsMessageEightAndNoLines) {
    setLanguage("[Other]\r\nx=y\r\n");
    prompter.answer(BoxAnswer::Ok);
    ResultText out;
    InverterInfo info(link, names, context, prompter);
    EXPECT_FALSE(info.readInverterInfo(out, lists));
    EXPECT_TRUE(out.lines().isEmpty());
    ASSERT_EQ(prompter.boxes().size(), 1u);
    EXPECT_EQ(prompter.boxes()[0].text, "msg8");
    EXPECT_EQ(prompter.boxes()[0].caption, "Caption");
    EXPECT_EQ(wire(), (QStringList{"R FE08", "R FB05", "R FB07"}));
}

TEST_F(InverterInfoTest, TripDataAfterAScheduledTripReadEveryItem) {
    // The drive trips with code 5 before it answers again.
    model.schedule({SimStatusEvent::Kind::Trip, 5, std::chrono::milliseconds(0)});
    ResultText out;
    InverterInfo info(link, names, context, prompter);
    ASSERT_TRUE(info.readInverterInfo(out, lists));
    EXPECT_EQ(out.lines().value(6), "Last Trip:Overvoltage");
    EXPECT_EQ(out.lines().value(7), "2nd Last Trip:Undervoltage");
    const std::size_t before = port.writes.size();
    info.readTripData(out, lists);
    const QStringList tail = out.lines().mid(out.lines().size() - 7);
    EXPECT_EQ(out.lines().value(0), "Trip Data");
    EXPECT_EQ(tail, (QStringList{"", "Output frequency : 12.34", "Bias : -2.50", "Terminal X12 : ON",
                                 "Terminal X11 : OFF", "Trip code : 5", "Missing : -"}));
    EXPECT_EQ(wire(before), (QStringList{"R FD00", "R FD01", "R FD07", "R FD07", "R FC90"}));

    model.setParameter("FD07", 0x0FFF);
    context.language.decimalComma = true;
    ResultText again;
    info.readTripData(again, lists);
    EXPECT_EQ(again.lines(),
              (QStringList{"Trip Data", "", "Output frequency : 12,34", "Bias : -2,50", "Terminal X12 : OFF",
                           "Terminal X11 : ON", "Trip code : 5", "Missing : -"}));
}

TEST_F(InverterInfoTest, TripDataWithoutATripTitleStartsWithAnEmptyTitle) {
    setLanguage("[InverterInfo]\r\nk0=t0\r\n");
    ResultText out;
    InverterInfo info(link, names, context, prompter);
    ASSERT_TRUE(info.readInverterInfo(out, lists));
    lists.codes = QStringList{"FD00"};
    info.readTripData(out, lists);
    EXPECT_EQ(out.lines(), (QStringList{"", "", "Output frequency : 12.34"}));
}

// The maker's protocol carries a 32-bit value whole. Over MODBUS-RTU only its low 16 bits come
// (70000 would read 4464, 100000 34464): such a value is not asked for and its line says why,
// in the information and the trip data alike; a low bit of it still arrives whole.
TEST_F(InverterInfoTest, A32BitValueIsShownWholeOrOverModbusNotAskedWithTheReason) {
    setLanguage("[InverterInfo]\r\nInfo=Info\r\nTrip=Trip\r\nRun:=FE14\r\n");
    context.drive.parameters[std::size_t(context.drive.indexOfComNo("FE14"))].size = 4;
    model.setParameter("FE14", 70000, true);
    lists.codes = QStringList{"FD10", "FD10-05", "FD00"};
    lists.names = QStringList{"Cumulative power", "Power bit 5", "Output frequency"};
    const struct {
        SimProtocol protocol;
        const char* runTime;
        const char* power;
        std::size_t tripRequests;
    } cases[] = {
        {SimProtocol::Inverter, "Run:7000000", "Cumulative power : 100000", 3},
        {SimProtocol::Modbus, "Run:msg123", "Cumulative power : msg123", 2},
    };
    for (const auto& c : cases) {
        SimConfig config = sim.config();
        config.protocol = c.protocol;
        sim.setConfig(config);
        link.updateSettings([&](LinkSettings& s) { s.protocol = c.protocol == SimProtocol::Modbus ? 1 : 0; });
        ResultText out;
        InverterInfo info(link, names, context, prompter);
        ASSERT_TRUE(info.readInverterInfo(out, lists));
        EXPECT_EQ(out.lines(), (QStringList{"Info", c.runTime}));
        const std::size_t before = port.writes.size();
        info.readTripData(out, lists);
        EXPECT_EQ(out.lines(), (QStringList{"Trip", c.runTime, "", c.power, "Power bit 5 : ON",
                                            "Output frequency : 12.34"}));
        EXPECT_EQ(port.writes.size() - before, c.tripRequests);
    }
}

// The information's numbers are the monitor's: one rule for both.
TEST(InverterInfoNumbers, DecimalsFollowMulAndRoundHalfAwayFromZero) {
    struct Case {
        const char* mul;
        double value;
        bool comma;
        const char* text;
    };
    const Case cases[] = {
        {"100", 12.3456, false, "12.35"}, {"100", 12.3456, true, "12,35"}, {"1", 12.3456, false, "12"},
        {"10", -0.05, false, "-0.1"},     {"1000", 2.5, false, "2.500"},   {"0.1", 7.25, false, "7"},
    };
    LoadedDrive drive;
    drive.setParameters(std::vector<ParameterDefinition>(1), 0);
    for (const Case& c : cases) {
        setDefinitionText(drive.parameters[0], PD_Mul, QString::fromLatin1(c.mul));
        EXPECT_EQ(ChannelValues::formatNumber(drive, 0, c.value, c.comma), QString::fromLatin1(c.text))
            << c.mul << " " << c.value;
    }
    // A number the drive type lacks has no Mul: no decimals.
    EXPECT_EQ(ChannelValues::formatNumber(drive, -1, 2.5, false), QStringLiteral("3"));
}

TEST(MonitorItemListsTest, ComeFromTheDriveTypesInfoFile) {
    TempProgramFolder folder;
    const QString path = folder.writeFile(
        QStringLiteral("Info.ini"), "[HXA1 Monitor (Eng)]\r\nFD00=Output frequency\r\nFD07-02=Terminal X3\r\n"
                                    "[HXA1 Trip (Eng)]\r\n0=No trip\r\n5=Overvoltage\r\n"
                                    "[HXA1 Trip (Jap)]\r\n5=x\r\n");
    const MonitorItemLists l = MonitorItemLists::read(path, "HXA1", "Eng");
    EXPECT_EQ(l.codes, (QStringList{"FD00", "FD07-02"}));
    EXPECT_EQ(l.names, (QStringList{"Output frequency", "Terminal X3"}));
    EXPECT_EQ(l.tripCodes, (QStringList{"0", "5"}));
    EXPECT_EQ(l.tripNames, (QStringList{"No trip", "Overvoltage"}));
    EXPECT_TRUE(l.alarmBits.isEmpty());
    EXPECT_FALSE(l.hasUnitSection);
}

} // namespace
