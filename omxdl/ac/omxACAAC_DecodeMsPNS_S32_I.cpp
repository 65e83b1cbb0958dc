// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// Perceptual noise substitution of one channel (coded order, in place).
//
// Every band coded with the noise codebook (13) is filled, window by window,
// with the output of the linear congruential generator
// R <- R * 1664525 + 1013904223 (mod 2^32), each value taken as a signed
// 32-bit integer, and then scaled so that its sum of squares is
// 2^(sf / 2) * 1024, that is noise of energy 2^(sf / 2) in the spectrum scale
// (dequantised value times 32).
//
// Generator state: the running value starts from *pRandomState.  A band with
// correlation flag 0 continues from it and writes its final value back; a
// band with flag 1 in the first channel of a pair records its start value in
// the seed store (60 entries per window, windows counted over the frame) and
// leaves the shared state alone; the same band in the second channel
// restarts from that recorded value and so reproduces the first channel's
// noise.  Visiting order: group, window of the group, band.
//
// For long frames the band flag of every noise band is cleared.  The constants
// table and the two band width tables are accepted for interface
// compatibility and not read.
//
// Statuses: -5 for a null array.  Hardening: because the band tables are
// indexed with them, a samplingRateIndex outside 0..11, a maxSfb outside
// 0..band count, a numWinGrp outside 1..8 and group lengths that are negative
// or exceed the windows of the frame (8 for frameLength 128, else 1) also give
// -5 before anything is written.
#include <cmath>
#include <cstdint>

#include "common/armCOMM_inline.h"
#include "omxdl/ac/armACAAC.h"
#include "omxdl/ac/armACAAC_BandLayout.h"

namespace {

constexpr uint32_t kLcgMul = 1664525u;
constexpr uint32_t kLcgAdd = 1013904223u;
constexpr int32_t kBandsPerWindow = 60;

[[nodiscard]] constexpr int32_t asSigned(uint32_t v) {
    return static_cast<int32_t>(v);
}

}  // namespace

extern "C" {

AACD_EXPORT int32_t omxACAAC_DecodeMsPNS_S32_I(
    int32_t *pSrcDstCoefs, int32_t *pBandFlags, const uint8_t *pSfbCb,
    const int16_t *pScalefactor, int32_t maxSfb, int32_t numWinGrp, const int32_t *pWinGrpLen,
    int32_t samplingRateIndex, int32_t frameLength, uint32_t *pRandomState,
    int32_t secondChannel, const uint8_t *pCorrFlags, uint32_t *pSeedStore,
    const uint32_t * /*pConsts*/, const uint8_t *const * /*pShortWidths*/,
    const uint8_t *const * /*pLongWidths*/) {
    using namespace armacaac_layout;
    if (pSrcDstCoefs == nullptr || pBandFlags == nullptr || pSfbCb == nullptr ||
        pScalefactor == nullptr || pWinGrpLen == nullptr || pRandomState == nullptr ||
        pCorrFlags == nullptr || pSeedStore == nullptr)
        return omxsts::kBadArg;
    const bool isShort = frameLength == kShortFrame;
    if (badSri(samplingRateIndex)) return omxsts::kBadArg;
    const BandLayout lay = layoutFor(samplingRateIndex, isShort);
    if (maxSfb < 0 || maxSfb > lay.numSwb) return omxsts::kBadArg;
    if (numWinGrp < 1 || numWinGrp > 8) return omxsts::kBadArg;
    if (!groupsFit(pWinGrpLen, numWinGrp, isShort ? 8 : 1)) return omxsts::kBadArg;

    uint32_t r = *pRandomState;
    int32_t groupBase = 0;  // coded-order start of the group
    int32_t win = 0;        // first window of the group, counted over the frame
    for (int32_t g = 0; g < numWinGrp; ++g) {
        const int32_t wins = pWinGrpLen[g];
        for (int32_t w = 0; w < wins; ++w) {
            for (int32_t sfb = 0; sfb < maxSfb; ++sfb) {
                const int32_t idx = g * maxSfb + sfb;
                if (pSfbCb[idx] != 13) continue;
                if (!isShort) pBandFlags[sfb] = 0;
                const int32_t width = lay.offsets[sfb + 1] - lay.offsets[sfb];
                const uint8_t corr = pCorrFlags[kBandsPerWindow * g + sfb];
                uint32_t &seed = pSeedStore[kBandsPerWindow * (win + w) + sfb];
                if (corr == 1) {
                    if (secondChannel != 0)
                        r = seed;
                    else
                        seed = r;
                } else {
                    r = *pRandomState;
                }
                int32_t *band = pSrcDstCoefs + groupBase + lay.offsets[sfb] * wins + w * width;
                double energy = 0.0;
                for (int32_t k = 0; k < width; ++k) {
                    r = r * kLcgMul + kLcgAdd;
                    band[k] = asSigned(r);
                    const double x = asSigned(r) * 0.125;
                    energy = std::fma(x, x, energy);
                }
                if (width > 0) {
                    const double gain =
                        std::pow(2.0, 0.25 * pScalefactor[idx]) * (1.0 / std::sqrt(energy));
                    for (int32_t k = 0; k < width; ++k)
                        band[k] = aacd::satRoundFloatToS32(((gain * band[k]) * 0.125) * 32.0);
                }
                if (corr == 0) *pRandomState = r;
            }
        }
        groupBase += lay.offsets[maxSfb] * wins;
        win += wins;
    }
    return omxsts::kNoErr;
}

}  // extern "C"
