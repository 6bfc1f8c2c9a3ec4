#include "core/ParaFileFixture.h"
#include "core/StoreCells.h"

#include "core/ParameterFileChecks.h"

using namespace ParameterFileChecks;

namespace {

class OutOfLimitTest : public ParaFileFixture {
protected:
    void SetUp() override {
        ParaFileFixture::SetUp();
        setParams({{"0000", "3", "0", "0", "400"},
                   {"0001", "600", "0", "-100", "1000"},
                   {"0002", "0"}, // no limits the rules can read
                   {"0003", "5", "0", "0", "0"},
                   {"0004", "2"}}); // high limit: the Value of "0001", low its negation
        setDefinitionText(context.drive.parameters[std::size_t(4)], PD_HIndex, "0001");
        setDefinitionText(context.drive.parameters[std::size_t(4)], PD_High, "0001");
        setDefinitionText(context.drive.parameters[std::size_t(4)], PD_LIndex, "-1");
        setDefinitionText(context.drive.parameters[std::size_t(4)], PD_Low, "0001");
    }
    QStringList foundNumbers(const QList<int>& indices) const {
        QStringList out;
        for (const OutOfLimit& o : findOutOfLimits(context, indices))
            out << o.comNo + "=" + o.value;
        return out;
    }
};

TEST_F(OutOfLimitTest, ValuesBeyondEitherLimitAreFoundAndLimitsThemselvesPass) {
    const struct {
        const char* comNo;
        const char* value;
        bool outside;
    } cases[] = {
        {"0000", "0", false},    {"0000", "400", false},  {"0000", "401", true},  {"0000", "-1", true},
        {"0000", "400.5", true}, {"0001", "-100", false}, {"0001", "-101", true}, {"0002", "99999", false},
        {"0003", "5", true},     {"0004", "600", false},  {"0004", "-601", true}, {"0004", "601", true},
    };
    for (const auto& c : cases) {
        ParaFile::resetValuesToDefaults(context);
        setValue(c.comNo, c.value);
        const int index = context.drive.indexOfComNo(c.comNo);
        EXPECT_EQ(findOutOfLimits(context, {index}).size(), c.outside ? 1 : 0) << c.comNo << " " << c.value;
    }
}

TEST_F(OutOfLimitTest, OnlyTheGivenParametersAreCheckedEachOnce) {
    setValue("0000", "500");
    setValue("0001", "5000");
    EXPECT_EQ(foundNumbers({1, 0, 1}), (QStringList{"0001=5000", "0000=500"}));
    EXPECT_TRUE(foundNumbers({2, 4}).isEmpty());
}

TEST_F(OutOfLimitTest, ReportMarksThemChangedAndListsThemInOneBox) {
    setValue("0000", "500");
    setValue("0003", "5"); // its default, yet outside its limits
    setDefinitionText(context.drive.parameters[std::size_t(0)], PD_TMul, "#.#");
    setDefinitionText(context.drive.parameters[std::size_t(0)], PD_Mul, "10");
    const std::optional<Notice> box = markOutOfLimits(context, {0, 1, 3});
    EXPECT_EQ(cell("0000", UP_ChangeIndex), "1");
    EXPECT_EQ(cell("0003", UP_ChangeIndex), "1");
    EXPECT_EQ(cell("0001", UP_ChangeIndex), "0");
    ASSERT_TRUE(box);
    // As the table shows them: 500 with one decimal in tenths.
    EXPECT_EQ(box->text, "M97\n0000 : 50.0  (0.0 .. 40.0)\n0003 : 5  (0 .. 0)");
    EXPECT_EQ(box->icon, BoxIcon::Warning);
    EXPECT_EQ(box->caption, "M0");

    EXPECT_FALSE(markOutOfLimits(context, {1, 2}));
    const ProgramContext withoutStore;
    EXPECT_FALSE(markOutOfLimits(withoutStore, {0}));
}

TEST_F(OutOfLimitTest, ALongListIsCutWithACountOfTheRest) {
    std::vector<TestParam> params;
    for (int i = 0; i < 30; ++i)
        params.push_back({QString::number(i).rightJustified(4, '0'), "0", "0", "0", "10"});
    setParams(params);
    QList<int> all;
    for (int i = 0; i < 30; ++i) {
        StoreCells::setWork(context, UP_Value, i, "1e300"); // shown with 301 digits, quoted cut
        all << i;
    }
    const QString text = outOfLimitText(context, findOutOfLimits(context, all));
    const QStringList lines = text.split('\n');
    ASSERT_EQ(lines.size(), 1 + kListedValues + 1);
    EXPECT_EQ(lines.last(), QString::fromUtf8("… (+10)"));
    EXPECT_LT(text.size(), 2000);
}

} // namespace
