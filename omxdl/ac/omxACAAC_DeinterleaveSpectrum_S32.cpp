// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// Reorders a spectrum of eight short windows from coded order (group, band,
// window of the group) into window order (window w at 128 * w).  Bands from
// maxSfb up to the last band of a window are cleared; windows beyond the sum
// of the group lengths are not written.  The destination is a separate
// buffer.
//
// Statuses: -5 for a bad argument, -162 for maxSfb above the short-window
// band count; all checks come before any write.  As a hardening, group
// lengths that are negative or add up to more than eight windows also give -5.
#include <cstdint>
#include <cstring>

#include "omxdl/ac/armACAAC.h"
#include "omxdl/ac/armACAAC_BandLayout.h"

extern "C" {

AACD_EXPORT int32_t omxACAAC_DeinterleaveSpectrum_S32(const int32_t *pSrc, int32_t *pDst,
                                                      int32_t numWinGrp,
                                                      const int32_t *pWinGrpLen, int32_t maxSfb,
                                                      int32_t samplingRateIndex,
                                                      int32_t frameLength) {
    using namespace armacaac_layout;
    if (pSrc == nullptr || pDst == nullptr || pWinGrpLen == nullptr) return omxsts::kBadArg;
    if (numWinGrp < 1 || numWinGrp > 8) return omxsts::kBadArg;
    if (frameLength != kShortFrame) return omxsts::kBadArg;
    if (maxSfb < 0 || maxSfb > kMaxSfbLimit) return omxsts::kBadArg;
    if (badSri(samplingRateIndex)) return omxsts::kBadArg;
    if (misaligned8(pSrc) || misaligned8(pDst)) return omxsts::kBadArg;
    const BandLayout lay = layoutFor(samplingRateIndex, true);
    if (maxSfb > lay.numSwb) return omxsts::kMaxSfb;
    if (!groupsFit(pWinGrpLen, numWinGrp, 8)) return omxsts::kBadArg;

    const int32_t *src = pSrc;
    int32_t win = 0;
    for (int32_t g = 0; g < numWinGrp; ++g) {
        const int32_t wins = pWinGrpLen[g];
        for (int32_t sfb = 0; sfb < maxSfb; ++sfb) {
            const int32_t width = lay.offsets[sfb + 1] - lay.offsets[sfb];
            for (int32_t w = 0; w < wins; ++w) {
                std::memcpy(pDst + 128 * (win + w) + lay.offsets[sfb], src,
                            static_cast<size_t>(width) * sizeof(int32_t));
                src += width;
            }
        }
        const int32_t zeroFrom = lay.offsets[maxSfb];
        const int32_t zeroTo = lay.offsets[lay.numSwb];
        if (zeroTo > zeroFrom) {
            for (int32_t w = 0; w < wins; ++w)
                std::memset(pDst + 128 * (win + w) + zeroFrom, 0,
                            static_cast<size_t>(zeroTo - zeroFrom) * sizeof(int32_t));
        }
        win += wins;
    }
    return omxsts::kNoErr;
}

}  // extern "C"
