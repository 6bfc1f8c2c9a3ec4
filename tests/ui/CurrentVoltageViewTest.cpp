// The current/voltage display of every shipped drive type shows amperes and volts against the
// rated values: without a drive those the capacity file put into the working table, with a
// drive and the on-line option those the drive reports. A value typed in amperes is taken.
#include "support/DrivesimProcess.h"
#include "support/InstalledAsker.h"
#include "support/LoadedMachine.h"
#include "ui/ShippedTypeFixture.h"

#include "core/ConversionBases.h"
#include "core/StoreCells.h"
#include "link/CommLink.h"
#include "platform/Clock.h"
#include "platform/SerialPort.h"

#include <QFileInfo>
#include <QKeyEvent>

namespace {

using C = TableCommand;

class CurrentVoltageView : public ShippedTypeFixture {
protected:
    CommLink* tableLink() override { return link; }
    // The number a cell shows before its unit letter.
    static double amount(const QString& text) {
        QString t = text.trimmed();
        t.chop(1);
        return t.toDouble();
    }
    int rowOf(const QString& comNo) const {
        for (int r = 1; r < table->cells().rowCount(); ++r)
            if (table->cells().cell(TC_ComNo, r) == comNo)
                return r;
        return -1;
    }
    void key(int k, const QString& text = QString()) {
        QKeyEvent down(QEvent::KeyPress, k, Qt::NoModifier, text);
        QCoreApplication::sendEvent(table->gridView, &down);
    }
    // Types a value into a parameter's row and commits it.
    void typeInto(const QString& comNo, const QString& text) {
        table->core().setCurrentCell(TC_Value, rowOf(comNo));
        table->entry().cancelForMove();
        for (QChar c : text)
            key(int(c.unicode()), QString(c));
        key(Qt::Key_Return);
    }

    CommLink* link = nullptr; // the table's drive link
};

TEST_F(CurrentVoltageView, EveryShippedTypeShowsAmperesAndVoltsAgainstItsCapacityWithoutADrive) {
    ASSERT_EQ(link, nullptr);
    for (const DriveTypeChoice& t : shippedTypes()) {
        SCOPED_TRACE(t.name());
        ASSERT_TRUE(load(t));
        ASSERT_TRUE(ConversionBasesAvailable(context));
        const double amps = work("FE70", UP_Value).toDouble() / 10,
                     volts = work("FE71", UP_Value).toDouble() / 10;
        ASSERT_GT(amps, 0);
        showTable();
        // Chosen from the main window's menu: the table was not activated since the set was made.
        table->core().conversionBases() = ConversionBases{};
        table->runCommand(C::CVDisp);
        ASSERT_TRUE(table->core().currentVoltage());
        EXPECT_FLOAT_EQ(table->core().conversionBases().ampere, float(amps));
        EXPECT_FLOAT_EQ(table->core().conversionBases().volt, float(volts));

        QString firstCurrent;
        for (const QString& comNo : context.drive.currentVoltNumbers) {
            const int r = rowOf(comNo);
            ASSERT_GE(r, 1) << comNo.toStdString();
            const QString kind =
                definitionText(context.drive.parameters[std::size_t(context.drive.indexOfComNo(comNo))],
                               PD_CurrentVoltIndex);
            const QChar unit = kind == "C" ? u'A' : u'V';
            if (kind == "C" && firstCurrent.isEmpty())
                firstCurrent = comNo;
            const TextGrid& g = table->cells();
            for (int col : {TC_Value, TC_Low, TC_High, TC_Unit})
                EXPECT_TRUE(g.cell(col, r).endsWith(unit)) << comNo.toStdString() << " " << col;
            EXPECT_GT(amount(g.cell(TC_High, r)), 0) << comNo.toStdString();
            EXPECT_GT(amount(g.cell(TC_Unit, r)), 0) << comNo.toStdString();
        }

        // A current typed in amperes is stored as percent of the rated current.
        ASSERT_FALSE(firstCurrent.isEmpty());
        const int i = context.drive.indexOfComNo(firstCurrent);
        const double mul = definitionText(context.drive.parameters[std::size_t(i)], PD_Mul).toDouble();
        typeInto(firstCurrent, "1");
        EXPECT_TRUE(prompter.boxes().empty()) << prompter.texts().join('|').toStdString();
        EXPECT_EQ(work(firstCurrent, UP_Value).toDouble(), std::round(1.0 / amps * 100 * mul));
        table->runCommand(C::CVDisp);
    }
}

TEST_F(CurrentVoltageView, WithADriveAndTheOnlineOptionTheDrivesRatedValuesCount) {
    if (!QFileInfo(DrivesimProcess::program()).isExecutable())
        GTEST_SKIP() << "build the drivesim target: " << DrivesimProcess::program().toStdString();
    TempProgramFolder driveFolder(true);
    const QString linkPath = driveFolder.filePath("sim-COM1");
    DrivesimProcess sim(shippedHxa1Arguments(driveFolder.path()), linkPath);
    ASSERT_TRUE(sim.running());
    TermiosSerialPort port;
    CommLink drive(context, port, systemClock(), installedAsker());
    drive.setPortPathResolver([&](const QString&) { return linkPath; });
    drive.setPortsFound({QStringLiteral("COM1")});
    drive.setReplyTimeout(kLoadedReplyMs);
    link = &drive;

    ASSERT_TRUE(load({"HXA1", "V110", "-2004"}));
    // The table's set differs from the drive's (2.5 A, 200 V).
    StoreCells::setWork(context, UP_Value, context.drive.indexOfComNo("FE70"), "50");
    showTable();
    ASSERT_TRUE(drive.ConnectDrive());

    options.onlineCurrentVoltageBase.setChecked(true);
    table->runCommand(C::CVDisp);
    EXPECT_FLOAT_EQ(table->core().conversionBases().ampere, 2.5f);
    EXPECT_FLOAT_EQ(table->core().conversionBases().volt, 200.0f);
    EXPECT_EQ(table->cells().cell(TC_Unit, rowOf("0022")), "0.1A"); // 0.01 x 2.5 A / 10 below 0.1
    table->runCommand(C::CVDisp);

    // Without the option the table's own rated current is the base.
    options.onlineCurrentVoltageBase.setChecked(false);
    table->runCommand(C::CVDisp);
    EXPECT_FLOAT_EQ(table->core().conversionBases().ampere, 5.0f);
    EXPECT_TRUE(prompter.boxes().empty()) << prompter.texts().join('|').toStdString();
    table.reset();
    link = nullptr;
}

} // namespace
