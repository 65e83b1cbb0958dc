// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// Intensity stereo: every band of the right channel coded with an intensity
// codebook (15 in phase, 14 out of phase, after the mid/side operation has
// applied the ms_used inversion) is rebuilt from the left band scaled by
// 2^(-position / 4), the position being the right channel's scale factor of
// the band.  The arithmetic is double precision on the dequantised value
// (coefficient / 32) and the result is converted back with rounding half away
// from zero and saturation.  Bands with other codebooks are not written.
//
// Statuses: -5 for a bad argument, -162 for maxSfb above the band count; all
// checks come before any write.  As a hardening, group lengths that are
// negative or add up to more windows than the frame has also give -5.
#include <cmath>
#include <cstdint>

#include "common/armCOMM_inline.h"
#include "omxdl/ac/armACAAC.h"
#include "omxdl/ac/armACAAC_BandLayout.h"

extern "C" {

AACD_EXPORT int32_t omxACAAC_DecodeIsStereo_S32(const int32_t *pSrcL, int32_t *pDstR,
                                                const int16_t *pScalefactorR,
                                                const uint8_t *pSfbCbR, int32_t numWinGrp,
                                                const int32_t *pWinGrpLen, int32_t maxSfb,
                                                int32_t samplingRateIndex, int32_t frameLength) {
    using namespace armacaac_layout;
    if (pSrcL == nullptr || pDstR == nullptr || pScalefactorR == nullptr ||
        pSfbCbR == nullptr || pWinGrpLen == nullptr)
        return omxsts::kBadArg;
    BandLayout lay;
    if (const int32_t st = checkBandWalk(maxSfb, samplingRateIndex, frameLength, numWinGrp, pWinGrpLen, &lay))
        return st;

    int32_t pos = 0;
    for (int32_t g = 0; g < numWinGrp; ++g) {
        const int32_t wins = pWinGrpLen[g];
        for (int32_t sfb = 0; sfb < maxSfb; ++sfb) {
            const int32_t idx = g * maxSfb + sfb;
            const int32_t count = (lay.offsets[sfb + 1] - lay.offsets[sfb]) * wins;
            const uint8_t cb = pSfbCbR[idx];
            if (cb == 14 || cb == 15) {
                const double scale = std::pow(2.0, -0.25 * pScalefactorR[idx]);
                const int32_t *l = pSrcL + pos;
                int32_t *r = pDstR + pos;
                if (cb == 15) {
                    for (int32_t i = 0; i < count; ++i)
                        r[i] = aacd::satRoundFloatToS32(((l[i] * 0.03125) * scale) * 32.0);
                } else {
                    for (int32_t i = 0; i < count; ++i)
                        r[i] = aacd::satRoundFloatToS32(-(scale * (l[i] * 0.03125)) * 32.0);
                }
            }
            pos += count;
        }
    }
    return omxsts::kNoErr;
}

}  // extern "C"
