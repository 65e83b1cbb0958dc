// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// TNS side information (tns_data).  The filters themselves are validated and
// run by the TNS tool; this reader only stores what the stream carries, with
// the filter order limited to the maximum of the window type and rate.
#include "omxdl/ac/armACAAC.h"
#include "omxdl/ac/armACAAC_Bounded.h"

namespace aacd {

void decodeTnsData(int32_t audioObjectType, int32_t /*samplingRateIndex*/,
                   int32_t /*windowSequence*/, int8_t *pTnsCoef, aacd::BitReader &pos,
                   int32_t /*numWindows*/, int32_t * /*pTnsNumFilt*/, int32_t * /*pTnsCoefRes*/,
                   int32_t * /*pTnsLength*/, int32_t * /*pTnsOrder*/,
                   int32_t * /*pTnsDirection*/, ChannelInfo *pChInfo) {
    // The window sequence, rate and window count come from the channel info
    // and its stream info; the duplicate arguments name the same values.
    TnsInfo &tns = pChInfo->tnsInfo;
    const bool isShort = pChInfo->icsInfo->windowSequence == EIGHT_SHORT_SEQUENCE;
    int32_t maxOrder;
    if (audioObjectType == 3)
        maxOrder = 12;
    else if (isShort)
        maxOrder = 7;
    else
        maxOrder = pChInfo->samplingRateIndex > 4 ? 20 : 12;
    const int32_t nFiltBits = isShort ? 1 : 2;
    const int32_t lengthBits = isShort ? 4 : 6;
    const int32_t orderBits = isShort ? 3 : 5;
    const int32_t numWindows = pChInfo->numWindows;
    int32_t c = 0;
    for (int32_t w = 0; w < numWindows; ++w) {
        const int32_t nFilt = static_cast<int32_t>(aacd::bitGet(pos, nFiltBits));
        tns.tnsNumFilters[w] = nFilt;
        if (nFilt == 0) continue;
        tns.tnsCoefRes[w] = static_cast<int32_t>(aacd::bitGet(pos, 1)) + 3;
        for (int32_t f = 0; f < nFilt; ++f) {
            const int32_t e = w + f;
            tns.tnsLength[e] = static_cast<int32_t>(aacd::bitGet(pos, lengthBits));
            int32_t order = static_cast<int32_t>(aacd::bitGet(pos, orderBits));
            if (order > maxOrder) order = maxOrder;
            tns.tnsOrder[e] = order;
            if (order == 0) continue;
            tns.tnsDirection[e] = static_cast<int32_t>(aacd::bitGet(pos, 1));
            const int32_t compress = static_cast<int32_t>(aacd::bitGet(pos, 1));
            const int32_t n = tns.tnsCoefRes[w] - compress;
            const uint32_t signBit = 1u << (n - 1);
            for (int32_t i = 0; i < order; ++i) {
                const uint32_t raw = aacd::bitGet(pos, n);
                const int32_t v = static_cast<int32_t>(raw ^ signBit) - static_cast<int32_t>(signBit);
                pTnsCoef[c++] = static_cast<int8_t>(v);
            }
        }
    }
}

}  // namespace aacd

extern "C" {

AACD_EXPORT void armACAAC_DecodeTNSData(int32_t audioObjectType, int32_t samplingRateIndex,
                                        int32_t windowSequence, int8_t *pTnsCoef,
                                        const uint8_t **ppBitStream, uint32_t *pOffset,
                                        int32_t numWindows, int32_t *pTnsNumFilt,
                                        int32_t *pTnsCoefRes, int32_t *pTnsLength,
                                        int32_t *pTnsOrder, int32_t *pTnsDirection,
                                        ChannelInfo *pChInfo) {
    const auto decode = [&](aacd::BitReader &pos) {
        aacd::decodeTnsData(audioObjectType, samplingRateIndex, windowSequence, pTnsCoef, pos,
                            numWindows, pTnsNumFilt, pTnsCoefRes, pTnsLength, pTnsOrder,
                            pTnsDirection, pChInfo);
        return 0;
    };
    (void)aacd::onValidExportedPosition(ppBitStream, pOffset, 0, decode);
}

}  // extern "C"
