// The main window's "Inverter Info." command against the simulated drive: connect, read,
// show the result window; a failed connection shows CannotConnect and no window.
#include "ui/InverterInfoCommand.h"

#include "core/Options.h"
#include "link/TransferEngine.h"
#include "support/InverterInfoFixture.h"
#include "ui/ResultWindow.h"

namespace {

class InverterInfoCommandTest : public inverterinfotest::InverterInfoFixture {
protected:
    void SetUp() override {
        InverterInfoFixture::SetUp();
        context.drive.files.infoIniPath = folder.writeFile(
            "dat/HXA1(V110)/Info.ini", "[HXA1 Trip (Eng)]\r\n0=No trip\r\n7=Undervoltage\r\n");
        context.language.suffix = "Eng";
        command.showModal = [this](QDialog& dialog) {
            auto& result = static_cast<ResultWindow&>(dialog);
            shown << result.text().lines().join(u'|');
            modeWhenShown = int(result.job().mode);
            return 0;
        };
    }
    Options options{context};
    MainWindowLinks links;
    InverterInfoCommand command{link, names, context, options, links};
    QStringList shown;
    int modeWhenShown = -1;
};

TEST_F(InverterInfoCommandTest, ReadsTheDriveIntoAResultWindowShownModally) {
    command.run(nullptr);
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0], "Inverter Information|Inverter Type:HXA1|Inverter Form:-4037|CPU Version:110|"
                        "ROM Version:1A2B||Last Trip:Undervoltage|2nd Last Trip:1|3rd Last Trip:No trip|"
                        "4th Last Trip:99||Total Run Time (h):12300");
    EXPECT_EQ(modeWhenShown, int(kModeInverterInfo));
    EXPECT_TRUE(prompter.boxes().empty());
}

TEST_F(InverterInfoCommandTest, AFailedConnectionShowsMessageThreeAndNoWindow) {
    link.closePort();
    link.setPortsFound({});
    prompter.allowUnexpected();
    const std::size_t before = port.writes.size();
    command.run(nullptr);
    EXPECT_TRUE(shown.isEmpty());
    ASSERT_FALSE(prompter.boxes().empty());
    EXPECT_EQ(prompter.boxes().back().text, "msg3");
    EXPECT_EQ(port.writes.size(), before);
}

TEST_F(InverterInfoCommandTest, TheTripReportReadsTheInformationThenEveryItemAndIsShownOnlyWhenAsked) {
    // After a monitor run the link is up: the report reads without connecting again.
    command.tripReport(lists, true, nullptr);
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0],
              "Trip Data|Inverter Type:HXA1|Inverter Form:-4037|CPU Version:110|ROM Version:1A2B||"
              "Last Trip:Undervoltage|2nd Last Trip:Overcurrent|3rd Last Trip:No trip|4th Last Trip:99||"
              "Total Run Time (h):12300||Output frequency : 12.34|Bias : -2.50|Terminal X12 : ON|"
              "Terminal X11 : OFF|Trip code : 0|Missing : -");
    EXPECT_EQ(modeWhenShown, int(kModeTripInfo));

    // "Display Data at Trip" off: read as well, never shown.
    const std::size_t before = port.writes.size();
    command.tripReport(lists, false, nullptr);
    EXPECT_EQ(shown.size(), 1);
    EXPECT_GT(port.writes.size(), before);

    // Without the section's lines: message 8, and no trip data read.
    setLanguage("[Other]\r\nx=1\r\n");
    prompter.allowUnexpected();
    command.tripReport(lists, true, nullptr);
    EXPECT_EQ(shown.size(), 1);
    EXPECT_EQ(prompter.boxes().back().text, "msg8");
    EXPECT_TRUE(prompter.boxes().size() == 1);
}

} // namespace
