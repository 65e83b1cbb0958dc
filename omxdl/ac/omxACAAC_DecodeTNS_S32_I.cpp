// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// Temporal noise shaping of one channel, in place.  For every window (one
// long window, or eight short windows in window order at 128 * w) the
// transmitted filters are applied from the top band downward: filter f covers
// the `length` bands below the previous filter's bottom (the first starts at
// the band count), its region is clipped to min(maxSfb, TNS_MAX_BANDS) bands
// and it runs upward, or downward for direction 1.  Coefficients are consumed
// window by window, filter by filter, `order` values per filter of order > 0.
//
// Statuses: -5 for bad arguments (before anything is written); per window
// -157 (too many filters) and -154 (resolution); per filter, just before it
// runs, -156 (length), -155 (order above 12), -152 (direction) and -153 (a
// coefficient outside -8..7).  Filters applied before a failing one have
// already changed the spectrum.  Counts, orders and directions are compared
// as unsigned values.
//
// Orders 13 to 20, which the bitstream allows for long windows at 32 kHz and
// below, are refused with -155.
#include <algorithm>
#include <cstdint>

#include "omxdl/ac/armACAAC.h"
#include "omxdl/ac/armACAAC_BandLayout.h"

namespace {
constexpr uint32_t kMaxTnsOrder = 12;
constexpr int32_t kProfileMainLc = 1;
}  // namespace

extern "C" {

AACD_EXPORT int32_t omxACAAC_DecodeTNS_S32_I(int32_t *pSrcDstSpectralCoefs,
                                             const int32_t *pTnsNumFilt,
                                             const int32_t *pTnsRegionLen,
                                             const int32_t *pTnsFiltOrder,
                                             const int32_t *pTnsFiltCoefRes,
                                             const int8_t *pTnsFiltCoef,
                                             const int32_t *pTnsDirection, int32_t maxSfb,
                                             int32_t profile, int32_t samplingRateIndex,
                                             int32_t frameLength) {
    using namespace armacaac_layout;
    if (pSrcDstSpectralCoefs == nullptr || pTnsNumFilt == nullptr || pTnsRegionLen == nullptr ||
        pTnsFiltOrder == nullptr || pTnsFiltCoefRes == nullptr || pTnsFiltCoef == nullptr ||
        pTnsDirection == nullptr)
        return omxsts::kBadArg;
    if (badSri(samplingRateIndex)) return omxsts::kBadArg;
    if (profile != kProfileMainLc) return omxsts::kBadArg;
    if (frameLength != kLongFrame && frameLength != kShortFrame) return omxsts::kBadArg;
    const bool isShort = frameLength == kShortFrame;
    const int32_t numWindows = isShort ? 8 : 1;
    const uint32_t maxFilters = isShort ? 1u : 3u;
    const BandLayout lay = layoutFor(samplingRateIndex, isShort);
    const int32_t tnsMaxBand = armACAAC_TnsMaxBands[samplingRateIndex][isShort ? 1 : 0];
    if (maxSfb < 0 || maxSfb > lay.numSwb) return omxsts::kBadArg;
    const int32_t limit = std::min(maxSfb, tnsMaxBand);

    const int8_t *coef = pTnsFiltCoef;
    double lpc[21];
    for (int32_t w = 0; w < numWindows; ++w) {
        const uint32_t nf = static_cast<uint32_t>(pTnsNumFilt[w]);
        if (nf > maxFilters) return omxsts::kTnsNumFilters;
        if (nf == 0) continue;
        const int32_t res = pTnsFiltCoefRes[w];
        if (res != 3 && res != 4) return omxsts::kTnsCoefRes;
        int32_t *win = pSrcDstSpectralCoefs + 128 * w;
        int32_t top = lay.numSwb;
        for (uint32_t f = 0; f < nf; ++f) {
            const int32_t e = w + static_cast<int32_t>(f);
            const int32_t length = pTnsRegionLen[e];
            if (length < 0 || length > lay.numSwb) return omxsts::kTnsLength;
            const uint32_t order = static_cast<uint32_t>(pTnsFiltOrder[e]);
            if (order > kMaxTnsOrder) return omxsts::kTnsOrder;
            const uint32_t direction = static_cast<uint32_t>(pTnsDirection[e]);
            if (direction > 1) return omxsts::kTnsDirection;
            const int32_t bottom = std::max(top - length, 0);
            if (order > 0) {
                const int32_t ord = static_cast<int32_t>(order);
                const int32_t st = armACAAC_TnsDecodeCoef(coef, lpc, res, ord);
                if (st != omxsts::kNoErr) return st;
                coef += ord;
                const int32_t start = lay.offsets[std::min(bottom, limit)];
                const int32_t end = lay.offsets[std::min(top, limit)];
                const int32_t size = end - start;
                if (size > 0) {
                    if (direction == 1)
                        armACAAC_TnsFilter(win + end - 1, lpc, size, -1, ord);
                    else
                        armACAAC_TnsFilter(win + start, lpc, size, 1, ord);
                }
            }
            top = bottom;
        }
    }
    return omxsts::kNoErr;
}

}  // extern "C"
