#include "core/ValueRules.h"

#include "core/ConversionBases.h"
#include "core/ParameterStore.h"
#include "core/ProgramContext.h"
#include "core/StoreCells.h"
#include "support/ScriptedPrompter.h"
#include "support/TestProgram.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace ValueRules;

namespace {

struct Row {
    const char* comNo;
    const char* dIndex;
    const char* def;
    const char* hIndex;
    const char* high;
    const char* lIndex;
    const char* low;
    const char* tmul;
    const char* mul;
    const char* cv;
    const char* value;
    const char* lValue;
    const char* hex;
};

// A small drive type covering the rules: limits by value and by reference, default chains
// (one looping), 32-bit unsigned values and the current/voltage kinds.
const Row kRows[] = {
    {"0000", "0", "3", "0", "100", "0", "0", "#.##", "100", "", "150", "0", "0"},
    {"0001", "0", "500", "0", "4000", "0", "300", "#.#", "10", "C", "1000", "300", "0"},
    {"0002", "1", "0001", "1", "0001", "-1", "0001", "#", "1", "", "500", "-500", "0"},
    {"0012", "0", "-5", "0", "10", "0", "-10", "#", "1", "V", "-1", "-10", "0"},
    {"A000", "2", "7", "0", "9", "0", "0", "#", "1", "", "7", "0", "0"},
    {"A001", "1", "A002", "0", "9", "0", "0", "#", "1", "", "0", "0", "0"},
    {"A002", "1", "A001", "0", "9", "0", "0", "#", "1", "", "0", "0", "0"},
    {"0003", "0", "x", "0", "y", "0", "0", "#", "0", "", "12.5", "0", "0"},
    {"FB00", "0", "0", "0", "4294967295", "0", "0", "", "1", "", "4294967295", "0", "1"},
    {"0004", "0", "1", "7", "ZZZZ", "0", "0", "#.##x", "1", "", "1", "0", "0"},
};
constexpr int kCount = static_cast<int>(std::size(kRows));

class ValueRulesTest : public ::testing::Test {
protected:
    void SetUp() override {
        QStringList numbers;
        for (const Row& r : kRows)
            numbers << r.comNo;
        program.setParameters(numbers);
        for (int i = 0; i < kCount; ++i) {
            const Row& r = kRows[i];
            const int row = i + 1;
            for (const auto& [col, text] : {std::pair{PD_DIndex, r.dIndex},
                                            {PD_Default, r.def},
                                            {PD_HIndex, r.hIndex},
                                            {PD_High, r.high},
                                            {PD_LIndex, r.lIndex},
                                            {PD_Low, r.low},
                                            {PD_TMul, r.tmul},
                                            {PD_Mul, r.mul},
                                            {PD_CurrentVoltIndex, r.cv}})
                program.setPara(i, col, QString::fromLatin1(text));
            store.setWorkingText(UP_Value, row - 1, r.value);
            store.setWorkingText(UP_LValue, row - 1, r.lValue);
            store.setWorkingText(UP_ChangeIndex, row - 1, "0");
            store.setWorkingText(UP_HexIndex, row - 1, r.hex);
        }
        program.setMessages(QStringLiteral("msg"), 110);
    }

    int indexOf(const char* comNo) const { return context.drive.indexOfComNo(comNo); }

    TestProgram program;
    ProgramContext& context = program.context;
    ParameterStore& store = program.store;
    ScriptedPrompter prompter;
};

} // namespace

TEST(NumberText, ParsesOnlyPlainDecimalNumbers) {
    const struct {
        const char* text;
        bool ok;
        double value;
    } cases[] = {{"1.5", true, 1.5},  {" -2 ", true, -2},  {"+3", true, 3},   {".5", true, 0.5},
                 {"1e3", true, 1000}, {"", false, 0},      {"inf", false, 0}, {"nan", false, 0},
                 {"0x10", false, 0},  {"1.2.3", false, 0}, {"--1", false, 0}, {"12abc", false, 0},
                 {"+", false, 0},     {"1,5", false, 0},   {"-", false, 0},   {"1e999", false, 0}};
    for (const auto& c : cases) {
        double v = 0;
        EXPECT_EQ(parseNumber(c.text, v), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(v, c.value) << c.text;
        }
    }
}

TEST(NumberText, IntegersAreSixtyFourBitAndRawValuesAreCutTowardZero) {
    qint64 v = 0;
    EXPECT_TRUE(parseInteger("4294967295", v));
    EXPECT_EQ(v, 4294967295LL);
    EXPECT_TRUE(parseInteger(" -7 ", v));
    EXPECT_EQ(v, -7);
    for (const char* bad : {"", "-", "1.0", "1e2", "0x1", "12 3"})
        EXPECT_FALSE(parseInteger(bad, v)) << bad;
    EXPECT_TRUE(parseRawValue("12.5", v));
    EXPECT_EQ(v, 12);
    EXPECT_TRUE(parseRawValue("-12.9", v));
    EXPECT_EQ(v, -12);
    EXPECT_FALSE(parseRawValue("Error.", v));
}

TEST(NumberText, FixedTextRoundsTheShownDigitsHalfAwayFromZero) {
    const struct {
        double value;
        int decimals;
        int width;
        const char* text;
    } cases[] = {{1.5, 2, 8, "    1.50"},
                 {12.5, 0, 8, "      13"},
                 {-12.5, 0, 0, "-13"},
                 {1.15, 1, 0, "1.2"},
                 {115.0 / 100, 1, 0, "1.2"},
                 {2.675, 2, 0, "2.68"},
                 {9.995, 2, 0, "10.00"},
                 {0.999, 2, 0, "1.00"},
                 {-0.001, 2, 0, "0.00"},
                 {123456789.0, 0, 8, "123456789"},
                 {4294967295.0, 0, 0, "4294967295"},
                 {0.05, 1, 0, "0.1"},
                 {1e-7, 3, 0, "0.000"}};
    for (const auto& c : cases)
        EXPECT_EQ(fixedText(c.value, c.decimals, c.width), QString(c.text)) << c.value << " " << c.decimals;
    EXPECT_EQ(floatText(4294967295.0), "4294967295");
    EXPECT_EQ(floatText(0.5), "0.5");
}

TEST_F(ValueRulesTest, LookUpsMatchWholeNumbersOnly) {
    EXPECT_EQ(IndexOfComNo(context, ""), -1);
    EXPECT_EQ(IndexOfComNo(context, "0000"), 0);
    EXPECT_EQ(IndexOfComNo(context, "FB00"), 8);
    EXPECT_EQ(IndexOfComNo(context, "A0"), -1); // never lands inside another number
    EXPECT_EQ(IndexOfComNo(context, "0,00"), -1);
    EXPECT_EQ(IndexOfComNo(context, "fb00"), -1);
    EXPECT_EQ(IndexOfComNo(context, "FFFF"), -1);
    EXPECT_EQ(context.drive.comNoList(), "0000,0001,0002,0012,A000,A001,A002,0003,FB00,0004,");

    EXPECT_EQ(ValueOfComNo(context, "12"), -1);  // "0012" holds -1: the same as absent
    EXPECT_EQ(ValueOfComNo(context, "1"), 1000); // padded to "0001"
    EXPECT_EQ(ValueOfComNo(context, ""), -1);
    EXPECT_EQ(ValueOfComNo(context, "9999"), -1);
    EXPECT_EQ(ValueOfComNo(context, "0003"), 12); // a value a file wrote with decimals
    EXPECT_EQ(ValueOfComNo(context, "FB00"), 4294967295LL);
    store.setWorkingText(UP_Value, 0, "abc");
    EXPECT_EQ(ValueOfComNo(context, "0000"), -1);

    EXPECT_EQ(ValueTextOfComNo(context, "0001"), "1000");
    EXPECT_EQ(ValueTextOfComNo(context, "9999"), ""); // not the header "Value"
}

TEST_F(ValueRulesTest, TheTablesCellAccessorsNeverReachTheHeaderRow) {
    // -1 is what a look-up of a number the drive type lacks gives.
    const int absent = IndexOfComNo(context, "9999");
    EXPECT_EQ(StoreCells::definition(context, absent).comNo, "");
    EXPECT_EQ(StoreCells::work(context, UP_Value, absent), "");
    StoreCells::setWork(context, UP_Value, absent, "7");
    EXPECT_EQ(store.workingGrid().row(0), uParaColumnNames());
    EXPECT_EQ(StoreCells::definition(context, 0).comNo, "0000");
    StoreCells::setWork(context, UP_Value, 0, "7");
    EXPECT_EQ(store.workingText(UP_Value, 0), "7");
}

TEST_F(ValueRulesTest, LookUpsWithoutAStoreFindNothing) {
    context.store = nullptr;
    EXPECT_EQ(IndexOfComNo(context, "0000"), -1);
    EXPECT_EQ(ValueOfComNo(context, "0000"), -1);
    EXPECT_EQ(FormatValue(context, 0, 1.5), "       2");
}

TEST_F(ValueRulesTest, ClampForcesValuesIntoTheLimits) {
    const struct {
        const char* comNo;
        const char* value;
        double result;
        bool clamped;
    } cases[] = {
        {"0000", "100", 100, false},
        {"0000", "0", 0, false},
        {"0000", "101", 100, true},
        {"0000", "-1", 0, true},
        {"0002", "-600", -600, false},
        {"0002", "-1001", -1000, true}, // LIndex "-1": minus the reference
        {"0002", "1001", 1000, true},
        {"0002", "-1000", -1000, false},
        {"FB00", "4294967295", 4294967295.0, false},
    };
    for (const auto& c : cases) {
        bool out = false;
        Failure failure;
        EXPECT_EQ(ClampToRange(context, c.value, indexOf(c.comNo), out, failure), c.result)
            << c.comNo << " " << c.value;
        EXPECT_EQ(out, c.clamped) << c.comNo << " " << c.value;
        EXPECT_FALSE(failure);
    }
    bool out = true;
    Failure failure;
    EXPECT_EQ(ClampToRange(context, "50", indexOf("0000"), out, failure), 50);
    EXPECT_TRUE(out) << "never cleared by the rule";
    EXPECT_TRUE(prompter.boxes().empty());
}

TEST_F(ValueRulesTest, ClampOfSomethingUnreadableFailsWithNotANumberAndKeepsTheValue) {
    const struct {
        const char* comNo;
        const char* value;
        double result;
    } cases[] = {
        {"0000", "abc", 150}, // the typed text
        {"0003", "1", 12},    // High "y"; current value "12.5" is no integer
        {"0004", "1", 1},     // High names a parameter that is not loaded
    };
    for (const auto& c : cases) {
        bool out = false;
        Failure failure;
        EXPECT_EQ(ClampToRange(context, c.value, indexOf(c.comNo), out, failure), c.result) << c.comNo;
        EXPECT_FALSE(out);
        EXPECT_EQ(failure, MsgId::NotANumber) << c.comNo;
    }
    bool out = false;
    Failure failure;
    EXPECT_EQ(ClampToRange(context, "5", -1, out, failure), 0) << "row 0 is never read as a parameter";
    EXPECT_EQ(failure, MsgId::NotANumber);
    EXPECT_TRUE(prompter.boxes().empty()) << "the caller reports the failure";
}

TEST_F(ValueRulesTest, DefaultsFollowChainsAndStopOnBadModes) {
    EXPECT_EQ(DefaultOf(context, "0000"), "3");
    EXPECT_EQ(DefaultOf(context, "0002"), "500");
    EXPECT_TRUE(prompter.boxes().empty());

    Failure none;
    EXPECT_EQ(DefaultOf(context, "0002", &none), "500");
    EXPECT_FALSE(none);
    for (const char* bad : {"A000", "A001", "9999", ""}) {
        Failure failure;
        EXPECT_EQ(DefaultOf(context, bad, &failure), "Error.") << bad;
        EXPECT_EQ(failure, MsgId::DefaultNotDefined) << bad;
    }
    EXPECT_EQ(DefaultOf(context, "A000"), "Error.") << "without a failure to fill";
    EXPECT_TRUE(prompter.boxes().empty()) << "the caller reports the failure";
}

TEST_F(ValueRulesTest, ChangedFlagComparesExactlyAndNeverTouchesTheHeader) {
    bool ok = false;
    EXPECT_EQ(UpdateChangedFlag(context, "0000", 3, &ok), 0);
    EXPECT_TRUE(ok);
    EXPECT_EQ(store.workingText(UP_ChangeIndex, 0), "0");
    EXPECT_EQ(UpdateChangedFlag(context, "0000", 3.0000001, &ok), 1);
    EXPECT_EQ(store.workingText(UP_ChangeIndex, 0), "1");
    EXPECT_EQ(UpdateChangedFlag(context, "0002", 500), 0);

    Failure failure;
    // A default that is no number ("x") is no failure of the rule: the caller counts it.
    EXPECT_EQ(UpdateChangedFlag(context, "0003", 1, &ok, &failure), 0);
    EXPECT_FALSE(ok);
    EXPECT_FALSE(failure);
    EXPECT_EQ(store.workingText(UP_ChangeIndex, 7), "0");
    for (const char* bad : {"9999", "A001"}) { // unknown; a default chain that loops
        failure.reset();
        EXPECT_EQ(UpdateChangedFlag(context, bad, 1, &ok, &failure), 0) << bad;
        EXPECT_FALSE(ok) << bad;
        EXPECT_EQ(failure, MsgId::DefaultNotDefined) << bad;
    }
    EXPECT_TRUE(prompter.boxes().empty());
    EXPECT_EQ(store.workingGrid().cell(UP_ChangeIndex, 0), "ChangeIndex");
}

TEST_F(ValueRulesTest, FormatValueFollowsTMul) {
    const struct {
        const char* tmul;
        double value;
        const char* text;
    } cases[] = {{"#.##", 1.5, "    1.50"},      {"#.#x", 1.5, "    1.50"}, {"#.#", 1.25, "     1.3"},
                 {"#.###", -1.5, "  -1.500"},    {"#.x", 2, "     2.0"},    {"#.xxx", 2, "   2.000"},
                 {"#.#xx", 2, "   2.000"},       {"#.##x", 2, "   2.000"},  {"#", 12.5, "      13"},
                 {"", 123456789.0, "123456789"}, {"#.XX", 1.5, "       2"}};
    for (const auto& c : cases) {
        setDefinitionText(context.drive.parameters[std::size_t(0)], PD_TMul, c.tmul);
        EXPECT_EQ(FormatValue(context, 0, c.value), QString(c.text)) << c.tmul;
    }
    context.language.decimalComma = true;
    setDefinitionText(context.drive.parameters[std::size_t(0)], PD_TMul, "#.##");
    EXPECT_EQ(FormatValue(context, 0, 1.5), "    1,50");
}

TEST_F(ValueRulesTest, HexTextsKeepUnsignedValuesUnsigned) {
    const struct {
        double raw;
        const char* text;
    } cases[] = {{0, "0"},
                 {255, "FF"},
                 {-1, "FFFFFFFF"},
                 {4294967295.0, "FFFFFFFF"},
                 {-2147483648.0, "80000000"},
                 {2147483648.0, "80000000"}};
    for (const auto& c : cases) {
        bool ok = false;
        EXPECT_EQ(ToHexText(c.raw, &ok), QString(c.text)) << c.raw;
        EXPECT_TRUE(ok);
    }
    for (double bad : {1.5, 4294967296.0, -2147483649.0, std::nan("")}) {
        bool ok = true;
        EXPECT_EQ(ToHexText(bad, &ok), "") << bad;
        EXPECT_FALSE(ok);
    }

    const int unsignedPar = indexOf("0000"), signedPar = indexOf("0012");
    const struct {
        const char* digits;
        int index;
        qint64 value;
        bool ok;
    } parses[] = {{"FFFF", unsignedPar, 65535, true},
                  {"FFFF", signedPar, 65535, true},
                  {"FFFFFFFF", signedPar, -1, true},
                  {"FFFFFFFF", unsignedPar, 4294967295LL, true},
                  {"ffffffff", unsignedPar, 4294967295LL, true},
                  {"00000000FF", unsignedPar, 255, true},
                  {"123456789", unsignedPar, 0, false},
                  {"", unsignedPar, 0, false},
                  {"12G", unsignedPar, 0, false},
                  {"-1", unsignedPar, 0, false}};
    for (const auto& p : parses) {
        bool ok = !p.ok;
        EXPECT_EQ(ParseHex(context, p.digits, p.index, &ok), p.value) << p.digits;
        EXPECT_EQ(ok, p.ok) << p.digits;
    }
}

TEST_F(ValueRulesTest, CurrentAndVoltageTexts) {
    ConversionBases bases{.volt = 0.0f, .ampere = 5.0f};
    EXPECT_EQ(CurrentVoltageText(context, bases, "1000", indexOf("0001")), "5.0A");
    bases.ampere = 20.0f;
    setDefinitionText(context.drive.parameters[std::size_t(1)], PD_Mul, "1");
    EXPECT_EQ(CurrentVoltageText(context, bases, "50", indexOf("0001")), "10.00A");
    bases.volt = 200.0f;
    EXPECT_EQ(CurrentVoltageText(context, bases, "50", indexOf("0012")), "100.00V");
    EXPECT_EQ(CurrentVoltageText(context, bases, "31", indexOf("FB00")), "h1F");
    EXPECT_EQ(CurrentVoltageText(context, bases, "150", indexOf("0000")), "    1.50");
    EXPECT_EQ(CurrentVoltageText(context, bases, "5", indexOf("0003")), "       5") << "Mul 0 divides by 1";
    bool ok = true;
    EXPECT_EQ(CurrentVoltageText(context, bases, "abc", indexOf("0000"), &ok), "");
    EXPECT_FALSE(ok);

    bases.ampere = 5.0f;
    setDefinitionText(context.drive.parameters[std::size_t(1)], PD_Mul, "10");
    EXPECT_EQ(ParseCurrentVoltage(context, bases, "2.5A", indexOf("0001")), "50.0");
    EXPECT_EQ(ParseCurrentVoltage(context, bases, "2.5", indexOf("0001")), "50.0");
    EXPECT_EQ(ParseCurrentVoltage(context, bases, "2.5V", indexOf("0012")), "1") << "Mul 1: no decimals";
    EXPECT_EQ(ParseCurrentVoltage(context, bases, "2.5A", indexOf("0000")), "2.5A");
    EXPECT_EQ(ParseCurrentVoltage(context, bases, "2.5V", indexOf("0001"), &ok), "");
    EXPECT_FALSE(ok);
    bases.ampere = 0.0f;
    EXPECT_EQ(ParseCurrentVoltage(context, bases, "2.5", indexOf("0001"), &ok), "");
    EXPECT_FALSE(ok) << "no base yet";
}

TEST_F(ValueRulesTest, GridRowScanResumesWhereTheLastMatchWas) {
    // Grid rows: titles, then a view showing 0000, 0002, A000, 0003.
    const QStringList numberColumn{"ComNo", "0000", "0002", "A000", "0003"};
    int start = 0;
    EXPECT_EQ(GridRowOfIndex(context, indexOf("0000"), numberColumn, start, 3), 0);
    EXPECT_EQ(GridRowOfIndex(context, indexOf("A000"), numberColumn, start, 3), 2);
    EXPECT_EQ(start, 2);
    EXPECT_EQ(GridRowOfIndex(context, indexOf("0003"), numberColumn, start, 3), 3);
    EXPECT_EQ(GridRowOfIndex(context, indexOf("0002"), numberColumn, start, 3), indexOf("0002"))
        << "behind the start";
    EXPECT_EQ(start, 3);
    EXPECT_EQ(GridRowOfIndex(context, indexOf("0003"), numberColumn, start, 10), 3)
        << "rows past the grid are not read";
}
