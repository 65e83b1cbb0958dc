// Small helpers shared by the spectral tools: selection of the band layout of
// a frame length and the sanity check of window group lengths.
#pragma once

#include <cstdint>

#include "omxdl/ac/armACAAC.h"

namespace armacaac_layout {

constexpr int32_t kLongFrame = 1024;
constexpr int32_t kShortFrame = 128;
constexpr int32_t kMaxSfbLimit = 51;
constexpr int32_t kMaxSri = 11;

[[nodiscard]] inline bool badSri(int32_t sri) { return static_cast<uint32_t>(sri) > kMaxSri; }

// Band offsets and band count of one window for the frame length.
struct BandLayout {
    const uint16_t *offsets;
    int32_t numSwb;
};

[[nodiscard]] inline BandLayout layoutFor(int32_t sri, bool shortWindows) {
    if (shortWindows) return {armACAAC_swbOffsetShortWindow[sri], armACAAC_numSwbShort[sri]};
    return {armACAAC_swbOffsetLongWindow[sri], armACAAC_numSwbLong[sri]};
}

// True when every group length of the numWinGrp groups is non-negative and
// together they do not exceed maxWindows (8 for short windows, 1 for a long
// window), so that no walk through coded order leaves the 1024-value buffer.
[[nodiscard]] inline bool groupsFit(const int32_t *pWinGrpLen, int32_t numWinGrp,
                                    int32_t maxWindows) {
    int32_t total = 0;
    for (int32_t g = 0; g < numWinGrp; ++g) {
        if (pWinGrpLen[g] < 0) return false;
        total += pWinGrpLen[g];
        if (total > maxWindows) return false;
    }
    return true;
}

[[nodiscard]] inline bool misaligned8(const void *p) {
    return (reinterpret_cast<uintptr_t>(p) & 7u) != 0;
}

}  // namespace armacaac_layout
