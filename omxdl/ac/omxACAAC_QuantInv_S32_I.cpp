// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// In-place inverse quantisation of the coded bands of one channel (coded
// order).  Every value q of a band coded with a spectral codebook becomes
// sign(q) * |q|^(4/3) * 2^((sf - 100) / 4) * 32, computed in double precision
// from two tables as ((T[|q|] * P[sf]) / 2^25) * 32 * sign and converted with
// rounding half away from zero and saturation.  Bands of the zero, noise and
// intensity codebooks are skipped unchanged.
//
// Statuses: -5 for a bad argument (checked before anything is written),
// -162 for maxSfb above the band count, -163 for |q| above 8191 (stops at
// once; values already converted stay converted).
//
// Hardening beyond the basic checks: group lengths that are negative or add up
// to more windows than the frame has (1 or 8) give -5 before anything is
// written, and a band whose scale factor lies outside the 256-entry power
// table (0..255; the scale factor decoder already rejects such values) stops
// the conversion with -163 like an out-of-range quantised value.
#include <cstdint>

#include "common/armCOMM_inline.h"
#include "omxdl/ac/armACAAC.h"
#include "omxdl/ac/armACAAC_BandLayout.h"
#include "omxdl/ac/armACAAC_Kernels.h"

namespace {

constexpr int32_t kMaxQuant = 8191;

[[nodiscard]] constexpr bool skippedCodebook(uint32_t cb) {
    return cb == 0 || cb == 13 || cb == 14 || cb == 15;
}

}  // namespace

int32_t aacd::quantBandC(int32_t *p, int32_t count, double pw) {
    const double scale = pow2_25;
    for (int32_t i = 0; i < count; ++i, ++p) {
        const int32_t q = *p;
        if (q > kMaxQuant || q < -kMaxQuant) return omxsts::kQuantRange;
        const int32_t mag = q < 0 ? -q : q;
        const double sign = q < 0 ? -1.0 : 1.0;
        const double v = ((armv8_ACAAC_InvQuantTable[mag] * pw) / scale) * 32.0 * sign;
        *p = aacd::satRoundFloatToS32(v);
    }
    return omxsts::kNoErr;
}

extern "C" {

AACD_EXPORT int32_t omxACAAC_QuantInv_S32_I(int32_t *pSrcDstSpectralCoef,
                                            const int16_t *pScalefactor, int32_t numWinGrp,
                                            const int32_t *pWinGrpLen, int32_t maxSfb,
                                            const uint8_t *pSfbCb, int32_t samplingRateIndex,
                                            int32_t frameLength) {
    using namespace armacaac_layout;
    if (pSrcDstSpectralCoef == nullptr || pScalefactor == nullptr || pWinGrpLen == nullptr ||
        pSfbCb == nullptr)
        return omxsts::kBadArg;
    BandLayout lay;
    if (const int32_t st = checkBandWalk(maxSfb, samplingRateIndex, frameLength, numWinGrp, pWinGrpLen, &lay))
        return st;

    const aacd::SynthKernels &kern = aacd::kernels();
    int32_t *p = pSrcDstSpectralCoef;
    for (int32_t g = 0; g < numWinGrp; ++g) {
        const int32_t wins = pWinGrpLen[g];
        for (int32_t sfb = 0; sfb < maxSfb; ++sfb) {
            const int32_t idx = g * maxSfb + sfb;
            const int32_t count = (lay.offsets[sfb + 1] - lay.offsets[sfb]) * wins;
            if (skippedCodebook(pSfbCb[idx])) {
                p += count;
                continue;
            }
            const int32_t sf = pScalefactor[idx];
            if (sf < 0 || sf > 255) return omxsts::kQuantRange;
            if (const int32_t st = kern.quantBand(p, count, armv8_ACAAC_Pow2Table[sf])) return st;
            p += count;
        }
    }
    return omxsts::kNoErr;
}

}  // extern "C"
