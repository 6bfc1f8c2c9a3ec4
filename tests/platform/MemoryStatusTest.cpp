// The memory figures of the about box from /proc/meminfo texts: 64-bit throughout, the
// older kernels' fields, and texts that cannot be read.
#include "platform/MemoryStatus.h"

#include <gtest/gtest.h>

namespace {

struct MemInfoRow {
    const char* name;
    const char* text;
    bool valid;
    quint64 totalKb;
    quint64 availableKb;
    int usedPercent;
};

void PrintTo(const MemInfoRow& row, std::ostream* os) {
    *os << row.name;
}

class MemInfo : public testing::TestWithParam<MemInfoRow> {};

TEST_P(MemInfo, GivesTheFigures) {
    const MemInfoRow& row = GetParam();
    const MemoryStatus s = parseMemInfo(row.text);
    EXPECT_EQ(s.valid(), row.valid);
    EXPECT_EQ(s.totalKb(), row.totalKb);
    EXPECT_EQ(s.availableKb(), row.availableKb);
    EXPECT_EQ(s.usedPercent(), row.usedPercent);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, MemInfo,
    testing::Values(
        MemInfoRow{"ThreeQuartersInUse",
                   "MemTotal:        8000000 kB\nMemFree:          100000 kB\nMemAvailable:    2000000 kB\n",
                   true, 8000000, 2000000, 75},
        // (total - available) * 100 of bytes is far beyond 32 bits already here.
        MemInfoRow{"SixteenTebibytes", "MemTotal: 17179869184 kB\nMemAvailable: 4294967296 kB\n", true,
                   17179869184ull, 4294967296ull, 75},
        MemInfoRow{"OlderKernelsAddFreeBuffersAndCache",
                   "MemTotal: 1000000 kB\nMemFree: 100000 kB\nBuffers: 50000 kB\nCached: 250000 kB\n"
                   "SwapCached: 999 kB\n",
                   true, 1000000, 400000, 60},
        MemInfoRow{"MoreAvailableThanThereIsCountsAsNoneInUse", "MemTotal: 1000 kB\nMemAvailable: 5000 kB\n",
                   true, 1000, 1000, 0},
        MemInfoRow{"NoTotal", "MemAvailable: 5000 kB\n", false, 0, 0, 0},
        MemInfoRow{"ANumberTooBigForBytes", "MemTotal: 99999999999999999999 kB\nMemAvailable: 1 kB\n", false,
                   0, 0, 0},
        MemInfoRow{"NotANumber", "MemTotal: lots kB\nMemAvailable: 1 kB\n", false, 0, 0, 0},
        MemInfoRow{"Empty", "", false, 0, 0, 0}),
    [](const testing::TestParamInfo<MemInfoRow>& info) { return std::string(info.param.name); });

TEST(MemoryStatusOfThisMachine, IsReadable) {
    const MemoryStatus s = readMemoryStatus();
    EXPECT_TRUE(s.valid());
    EXPECT_LE(s.availableBytes, s.totalBytes);
    EXPECT_GE(s.usedPercent(), 0);
    EXPECT_LE(s.usedPercent(), 100);
}

} // namespace
