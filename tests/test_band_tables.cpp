// Scale factor band tables of 1024-sample frames: start offsets, band counts,
// band widths, the sharing of tables between sampling rates and the
// prediction band limits, against the swb_offset tables of ISO/IEC 14496-3
// written out below, and entry by entry against the source table that the
// table file is generated from (read at test time).
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "omxdl/ac/armACAAC.h"

namespace {

using Offsets = std::vector<int>;

// swb_offset_long_window, one list per distinct table.
const Offsets kLong96 = {0,   4,   8,   12,  16,  20,  24,  28,  32,  36,  40,  44,  48,  52,
                         56,  64,  72,  80,  88,  96,  108, 120, 132, 144, 156, 172, 188, 212,
                         240, 276, 320, 384, 448, 512, 576, 640, 704, 768, 832, 896, 960, 1024};
const Offsets kLong64 = {0,   4,   8,   12,  16,  20,  24,  28,  32,  36,  40,  44,  48,  52,  56,  64,
                         72,  80,  88,  100, 112, 124, 140, 156, 172, 192, 216, 240, 268, 304, 344, 384,
                         424, 464, 504, 544, 584, 624, 664, 704, 744, 784, 824, 864, 904, 944, 984, 1024};
const Offsets kLong48 = {0,   4,   8,   12,  16,  20,  24,  28,  32,  36,  40,  48,  56,  64,  72,  80,  88,
                         96,  108, 120, 132, 144, 160, 176, 196, 216, 240, 264, 292, 320, 352, 384, 416,
                         448, 480, 512, 544, 576, 608, 640, 672, 704, 736, 768, 800, 832, 864, 896, 928, 1024};
const Offsets kLong32 = {0,   4,   8,   12,  16,  20,  24,  28,  32,  36,  40,  48,  56,  64,  72,  80,  88,  96,
                         108, 120, 132, 144, 160, 176, 196, 216, 240, 264, 292, 320, 352, 384, 416, 448, 480, 512,
                         544, 576, 608, 640, 672, 704, 736, 768, 800, 832, 864, 896, 928, 960, 992, 1024};
const Offsets kLong24 = {0,   4,   8,   12,  16,  20,  24,  28,  32,  36,  40,  44,  52,  60,  68,  76,
                         84,  92,  100, 108, 116, 124, 136, 148, 160, 172, 188, 204, 220, 240, 260, 284,
                         308, 336, 364, 396, 432, 468, 508, 552, 600, 652, 704, 768, 832, 896, 960, 1024};
const Offsets kLong16 = {0,   8,   16,  24,  32,  40,  48,  56,  64,  72,  80,  88,  100, 112, 124,
                         136, 148, 160, 172, 184, 196, 212, 228, 244, 260, 280, 300, 320, 344, 368,
                         396, 424, 456, 492, 532, 572, 616, 664, 716, 772, 832, 896, 960, 1024};
const Offsets kLong8 = {0,   12,  24,  36,  48,  60,  72,  84,  96,  108, 120, 132, 144, 156,
                        172, 188, 204, 220, 236, 252, 268, 288, 308, 328, 348, 372, 396, 420,
                        448, 476, 508, 544, 580, 620, 664, 712, 764, 820, 880, 944, 1024};
// swb_offset_short_window.
const Offsets kShort96 = {0, 4, 8, 12, 16, 20, 24, 32, 40, 48, 64, 92, 128};
const Offsets kShort48 = {0, 4, 8, 12, 16, 20, 28, 36, 44, 56, 68, 80, 96, 112, 128};
const Offsets kShort24 = {0, 4, 8, 12, 16, 20, 24, 28, 36, 44, 52, 64, 76, 92, 108, 128};
const Offsets kShort16 = {0, 4, 8, 12, 16, 20, 24, 28, 32, 40, 48, 60, 72, 88, 108, 128};
const Offsets kShort8 = {0, 4, 8, 12, 16, 20, 24, 28, 36, 44, 52, 60, 72, 88, 108, 128};

// Per sampling-frequency index 0 (96 kHz) .. 11 (8 kHz).
const Offsets *const kLongOf[12] = {&kLong96, &kLong96, &kLong64, &kLong48, &kLong48, &kLong32,
                                    &kLong24, &kLong24, &kLong16, &kLong16, &kLong16, &kLong8};
const Offsets *const kShortOf[12] = {&kShort96, &kShort96, &kShort96, &kShort48, &kShort48, &kShort48,
                                     &kShort24, &kShort24, &kShort16, &kShort16, &kShort16, &kShort8};
constexpr int kNumLong[12] = {41, 41, 47, 49, 49, 51, 47, 47, 43, 43, 43, 40};
constexpr int kNumShort[12] = {12, 12, 12, 14, 14, 14, 15, 15, 15, 15, 15, 15};

struct Window {
    const char *name;
    const Offsets *const *standard;
    const int *count;
    const uint16_t *const *offsets;
    const uint8_t *const *widths;
    const uint16_t *numSwb;
    int length;
};
const Window kWindows[2] = {
    {"long", kLongOf, kNumLong, armACAAC_swbOffsetLongWindow, armACAAC_swbDiffOffsetLongWindow, armACAAC_numSwbLong, 1024},
    {"short", kShortOf, kNumShort, armACAAC_swbOffsetShortWindow, armACAAC_swbDiffOffsetShortWindow, armACAAC_numSwbShort, 128},
};

TEST(BandTables, OffsetsCountsAndWidthsAreThoseOfTheStandard) {
    for (const Window &win : kWindows) {
        for (int sri = 0; sri < 12; ++sri) {
            SCOPED_TRACE(testing::Message() << win.name << " window, sampling index " << sri);
            const Offsets &expect = *win.standard[sri];
            const int n = win.numSwb[sri];
            ASSERT_EQ(n, win.count[sri]);
            ASSERT_EQ(static_cast<int>(expect.size()), n + 1);  // the list above is complete
            const uint16_t *off = win.offsets[sri];
            const uint8_t *width = win.widths[sri];
            EXPECT_EQ(off[0], 0);
            EXPECT_EQ(off[n], win.length);
            for (int k = 0; k <= n; ++k) EXPECT_EQ(off[k], expect[k]) << "offset " << k;
            for (int k = 0; k < n; ++k) {
                EXPECT_LT(off[k], off[k + 1]) << k;
                EXPECT_EQ(width[k], off[k + 1] - off[k]) << "width " << k;
                EXPECT_EQ(width[k] % 4, 0) << k;
            }
        }
    }
    // Known entries: 48 kHz long band 40 starts at 672 and its last band is 96 wide.
    EXPECT_EQ(armACAAC_swbOffsetLongWindow[3][40], 672);
    EXPECT_EQ(armACAAC_swbDiffOffsetLongWindow[4][48], 96);
    EXPECT_EQ(armACAAC_swbOffsetShortWindow[3][12], 96);
}

// One stored table per distinct list; the rates that share a list share the
// same storage, offsets and widths alike.
TEST(BandTables, TablesAreSharedBetweenRatesWithEqualBands) {
    struct Shared { const uint16_t *offsets; const uint8_t *widths; std::vector<int> indices; };
    const Shared longTables[] = {
        {armACAAC_longOffsetTable0, armACAAC_longDiffOffsetTable0, {0, 1}},
        {armACAAC_longOffsetTable2, armACAAC_longDiffOffsetTable2, {2}},
        {armACAAC_longOffsetTable3, armACAAC_longDiffOffsetTable3, {3, 4}},
        {armACAAC_longOffsetTable5, armACAAC_longDiffOffsetTable5, {5}},
        {armACAAC_longOffsetTable6, armACAAC_longDiffOffsetTable6, {6, 7}},
        {armACAAC_longOffsetTable8, armACAAC_longDiffOffsetTable8, {8, 9, 10}},
        {armACAAC_longOffsetTableb, armACAAC_longDiffOffsetTableb, {11}},
    };
    const Shared shortTables[] = {
        {armACAAC_shortOffsetTable0, armACAAC_shortDiffOffsetTable0, {0, 1, 2}},
        {armACAAC_shortOffsetTable3, armACAAC_shortDiffOffsetTable3, {3, 4, 5}},
        {armACAAC_shortOffsetTable6, armACAAC_shortDiffOffsetTable6, {6, 7}},
        {armACAAC_shortOffsetTable8, armACAAC_shortDiffOffsetTable8, {8, 9, 10}},
        {armACAAC_shortOffsetTableb, armACAAC_shortDiffOffsetTableb, {11}},
    };
    const auto check = [](const Window &win, const Shared *tables, size_t count) {
        std::set<int> covered;
        for (size_t t = 0; t < count; ++t) {
            for (int sri : tables[t].indices) {
                SCOPED_TRACE(testing::Message() << win.name << " window, sampling index " << sri);
                EXPECT_EQ(win.offsets[sri], tables[t].offsets);
                EXPECT_EQ(win.widths[sri], tables[t].widths);
                EXPECT_EQ(win.standard[sri], win.standard[tables[t].indices[0]]);  // same bands indeed
                covered.insert(sri);
            }
        }
        EXPECT_EQ(covered.size(), 12u);
    };
    check(kWindows[0], longTables, std::size(longTables));
    check(kWindows[1], shortTables, std::size(shortTables));
}

TEST(BandTables, PredictionBandLimits) {
    constexpr int kPredMax[12] = {33, 33, 38, 40, 40, 40, 41, 41, 37, 37, 37, 34};
    for (int sri = 0; sri < 12; ++sri) {
        EXPECT_EQ(armACAAC_PredMaxBands[sri], kPredMax[sri]) << sri;
        EXPECT_LE(armACAAC_PredMaxBands[sri], armACAAC_numSwbLong[sri]) << sri;
    }
}

// Every row of the source table, compared with the compiled tables.
TEST(BandTables, EqualTheSourceTable) {
    std::ifstream in(std::string(AACD_SOURCE_DIR) + "/tools/tables/swb_offsets.tsv");
    ASSERT_TRUE(in.good());
    std::string line;
    std::set<std::pair<std::string, int>> rows;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#' || line.rfind("window", 0) == 0) continue;
        std::istringstream fields(line);
        std::string window, list;
        int sri = -1, numSwb = -1;
        fields >> window >> sri >> numSwb >> list;
        SCOPED_TRACE(line);
        ASSERT_TRUE(window == "long" || window == "short");
        ASSERT_TRUE(sri >= 0 && sri < 12);
        ASSERT_TRUE(rows.insert({window, sri}).second) << "duplicate row";
        const Window &win = kWindows[window == "long" ? 0 : 1];
        EXPECT_EQ(win.numSwb[sri], numSwb);
        std::istringstream values(list);
        std::string value;
        int k = 0;
        for (; std::getline(values, value, ','); ++k) {
            ASSERT_LE(k, numSwb);
            EXPECT_EQ(win.offsets[sri][k], std::stoi(value)) << "offset " << k;
        }
        EXPECT_EQ(k, numSwb + 1);
    }
    EXPECT_EQ(rows.size(), 24u);
}

}  // namespace
