// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// Mid/side reconstruction of a channel pair in coded order, in place.  For a
// band flagged by ms_used (or every band when ms_mask_present is 2) whose right
// codebook is not noise or intensity, left becomes l + r and right l - r, both
// saturated to 32 bits (no halving: the pair was coded as (l + r) / 2 and
// (l - r) / 2).  For an intensity band with ms_used set the direction of the
// right codebook is inverted (14 <-> 15) so that intensity stereo applies the
// opposite sign; such bands are not touched here.
//
// Statuses: -5 for a bad argument, -162 for maxSfb above the band count; all
// checks come before any write.  As a hardening, group lengths that are
// negative or add up to more windows than the frame has also give -5.
#include <cstdint>

#include "common/armCOMM_inline.h"
#include "omxdl/ac/armACAAC.h"
#include "omxdl/ac/armACAAC_BandLayout.h"
#include "omxdl/ac/armACAAC_Kernels.h"

void aacd::msBandC(int32_t *l, int32_t *r, int32_t count) {
    for (int32_t i = 0; i < count; ++i) {
        const int32_t a = l[i];
        const int32_t b = r[i];
        l[i] = aacd::satAdd32(a, b);
        r[i] = aacd::satSub32(a, b);
    }
}

extern "C" {

AACD_EXPORT int32_t omxACAAC_DecodeMsStereo_S32_I(int32_t *pSrcDstL, int32_t *pSrcDstR,
                                                  const ChanPairElt *pChanPairElt,
                                                  uint8_t *pSfbCbR, int32_t numWinGrp,
                                                  const int32_t *pWinGrpLen, int32_t maxSfb,
                                                  int32_t samplingRateIndex,
                                                  int32_t frameLength) {
    using namespace armacaac_layout;
    if (pSrcDstL == nullptr || pSrcDstR == nullptr || pChanPairElt == nullptr ||
        pSfbCbR == nullptr || pWinGrpLen == nullptr)
        return omxsts::kBadArg;
    const int32_t mask = pChanPairElt->msMaskPresent;
    if (mask != 1 && mask != 2) return omxsts::kBadArg;
    if (misaligned8(pSrcDstL) || misaligned8(pSrcDstR)) return omxsts::kBadArg;
    BandLayout lay;
    if (const int32_t st = checkBandWalk(maxSfb, samplingRateIndex, frameLength, numWinGrp, pWinGrpLen, &lay))
        return st;

    const aacd::SynthKernels &kern = aacd::kernels();
    int32_t pos = 0;
    for (int32_t g = 0; g < numWinGrp; ++g) {
        const int32_t wins = pWinGrpLen[g];
        for (int32_t sfb = 0; sfb < maxSfb; ++sfb) {
            const int32_t count = (lay.offsets[sfb + 1] - lay.offsets[sfb]) * wins;
            uint8_t &cb = pSfbCbR[g * maxSfb + sfb];
            const bool used = pChanPairElt->msUsed[g][sfb] == 1;
            if (cb == 15 && used) {
                cb = 14;
            } else if (cb == 14 && used) {
                cb = 15;
            } else if ((used || mask == 2) && cb != 13 && cb != 14 && cb != 15) {
                kern.msBand(pSrcDstL + pos, pSrcDstR + pos, count);
            }
            pos += count;
        }
    }
    return omxsts::kNoErr;
}

}  // extern "C"
