// Scale factor band tables of 1024-sample frames: start offsets, band counts,
// band widths and the prediction band limits, against the standard's
// swb_offset_long_window and swb_offset_short_window lists written out below.
#include <gtest/gtest.h>

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

struct Window {
    const char *name;
    const Offsets *const *standard;
    const uint16_t *const *offsets;
    const uint8_t *const *widths;
    const uint16_t *numSwb;
    int length;
};
const Window kWindows[2] = {
    {"long", kLongOf, armACAAC_swbOffsetLongWindow, armACAAC_swbDiffOffsetLongWindow, armACAAC_numSwbLong, 1024},
    {"short", kShortOf, armACAAC_swbOffsetShortWindow, armACAAC_swbDiffOffsetShortWindow, armACAAC_numSwbShort, 128},
};

TEST(BandTables, OffsetsCountsWidthsAndPredictionLimitsAreThoseOfTheStandard) {
    for (const Window &win : kWindows) {
        for (int sri = 0; sri < 12; ++sri) {
            SCOPED_TRACE(testing::Message() << win.name << " window, sampling index " << sri);
            const Offsets &expect = *win.standard[sri];
            const int n = win.numSwb[sri];
            ASSERT_EQ(n + 1, static_cast<int>(expect.size()));
            ASSERT_EQ(expect[n], win.length);  // the list above is complete
            for (int k = 0; k <= n; ++k) EXPECT_EQ(win.offsets[sri][k], expect[k]) << "offset " << k;
            for (int k = 0; k < n; ++k) EXPECT_EQ(win.widths[sri][k], expect[k + 1] - expect[k]) << "width " << k;
        }
    }
    constexpr int kPredMax[12] = {33, 33, 38, 40, 40, 40, 41, 41, 37, 37, 37, 34};
    for (int sri = 0; sri < 12; ++sri) EXPECT_EQ(armACAAC_PredMaxBands[sri], kPredMax[sri]) << sri;
}

}  // namespace
