#include "core/CsvExport.h"
#include "core/ProgramContext.h"

#include "support/ScriptedPrompter.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace CsvExport;

namespace {

const QStringList kTitles = {"Title", "No.", "Name", "Value", "Low", "High", "Unit", "Change"};

TEST(CsvExport, EveryRowIsOneLineOfEightCellsEndingInCrLf) {
    const QList<QStringList> rows = {
        kTitles,
        {"F00", "0000", "Frequency", "   60.00", "0", "400", "Hz", "      "},
        {"F01", "0001", "Accel.", "    10.0", "", "3600", "s", "Change"},
    };
    EXPECT_EQ(build(rows, false).bytes, QByteArray("Title,No.,Name,Value,Low,High,Unit,Change\r\n"
                                                   "F00,0000,Frequency,   60.00,0,400,Hz,      \r\n"
                                                   "F01,0001,Accel.,    10.0,,3600,s,Change\r\n"));
}

TEST(CsvExport, DecimalCommaLanguageSeparatesBySemicolon) {
    const QList<QStringList> rows = {{"F00", "0000", "Frequency", "    60,0", "0", "400", "Hz", "      "}};
    EXPECT_EQ(build(rows, true).bytes, QByteArray("F00;0000;Frequency;    60,0;0;400;Hz;      \r\n"));
}

TEST(CsvExport, CellsHoldingTheSeparatorOrAQuoteAreQuoted) {
    EXPECT_EQ(cellText("Accel., Decel.", u','), "\"Accel., Decel.\"");
    EXPECT_EQ(cellText("Accel., Decel.", u';'), "Accel., Decel.");
    EXPECT_EQ(cellText("a;b", u';'), "\"a;b\"");
    EXPECT_EQ(cellText("5\" disc", u','), "\"5\"\" disc\"");
    EXPECT_EQ(cellText("two\nlines", u','), "\"two\nlines\"");
    EXPECT_EQ(cellText("  plain  ", u','), "  plain  ");
    const QByteArray line = build({{"F02", "0002", "Accel., Decel.", "1", "0", "9", "s", ""}}, false).bytes;
    EXPECT_EQ(line, QByteArray("F02,0002,\"Accel., Decel.\",1,0,9,s,\r\n"));
}

TEST(CsvExport, FailedWriteIsReportedWithThePath) {
    QTemporaryDir dir;
    ScriptedPrompter prompter;
    QFile blocker(dir.filePath("plain"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const QString target = dir.filePath("plain/x.csv"); // a folder that is a file
    const ProgramContext context;
    EXPECT_FALSE(WriteParameterTableCsv(context, target, {kTitles}, false, prompter));
    ASSERT_EQ(prompter.boxes().size(), 1u);
    EXPECT_EQ(prompter.boxes()[0].text, "The file could not be written:\n" + target);
    EXPECT_EQ(prompter.boxes()[0].icon, BoxIcon::Error);

    ASSERT_TRUE(WriteParameterTableCsv(context, dir.filePath("t.csv"), {kTitles}, false, prompter));
    EXPECT_EQ(QFile(dir.filePath("t.csv")).size(), 43);
}

} // namespace
