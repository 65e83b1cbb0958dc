// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
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

// Checks shared by the tools that walk the bands of one channel in coded
// order: maxSfb above 51, a reserved sampling-rate index, a frame length
// other than 1024 or 128, or a group count that does not fit the frame
// length give -5; then maxSfb above the band count gives -162; then group
// lengths running past the frame give -5.  On success *lay is the layout.
[[nodiscard]] inline int32_t checkBandWalk(int32_t maxSfb, int32_t sri, int32_t frameLength,
                                           int32_t numWinGrp, const int32_t *pWinGrpLen,
                                           BandLayout *lay) {
    if (maxSfb > kMaxSfbLimit || badSri(sri)) return omxsts::kBadArg;
    if (frameLength != kLongFrame && frameLength != kShortFrame) return omxsts::kBadArg;
    const bool isShort = frameLength == kShortFrame;
    if (isShort ? (numWinGrp < 1 || numWinGrp > 8) : numWinGrp != 1) return omxsts::kBadArg;
    *lay = layoutFor(sri, isShort);
    if (maxSfb > lay->numSwb) return omxsts::kMaxSfb;
    if (!groupsFit(pWinGrpLen, numWinGrp, isShort ? 8 : 1)) return omxsts::kBadArg;
    return omxsts::kNoErr;
}

[[nodiscard]] inline bool misaligned8(const void *p) {
    return (reinterpret_cast<uintptr_t>(p) & 7u) != 0;
}

}  // namespace armacaac_layout
