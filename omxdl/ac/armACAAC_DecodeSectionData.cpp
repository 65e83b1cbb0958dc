// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// Section data (section_data): one codebook per run of scale factor bands.
#include "omxdl/ac/armACAAC.h"
#include "omxdl/ac/armACAAC_Bounded.h"

namespace aacd {

int32_t decodeSectionData(uint8_t *pSfbCb, uint8_t *pSectCb, uint8_t *pSectEnd,
                          int32_t *pNumSect, int32_t windowSequence, int32_t numWinGrp,
                          int32_t maxSfb, aacd::BitReader &pos, int32_t *pNoiseFlag,
                          int32_t *pIsFlag) {
    const bool isShort = windowSequence == EIGHT_SHORT_SEQUENCE;
    const int32_t lenBits = isShort ? 3 : 5;
    const uint32_t escape = isShort ? 7u : 31u;
    int32_t sect = 0;  // running section index over all groups
    for (int32_t g = 0; g < numWinGrp; ++g) {
        int32_t k = 0;
        int32_t count = 0;
        uint8_t *bandCb = pSfbCb + g * maxSfb;
        while (k < maxSfb) {
            const uint32_t cb = aacd::bitGet(pos, 4);
            pSectCb[sect] = static_cast<uint8_t>(cb);
            if (cb == 14 || cb == 15) *pIsFlag = 1;
            if (cb == 13) *pNoiseFlag = 1;
            int32_t len = 0;
            uint32_t inc;
            do {  // a length above 59 stops reading at once
                inc = aacd::bitGet(pos, lenBits);
                len += static_cast<int32_t>(inc);
                if (len > 59) return omxsts::kErr;
            } while (inc == escape);
            const int32_t end = k + len;
            if (end > maxSfb) return omxsts::kErr;
            ++count;
            if (count > maxSfb) return omxsts::kErr;
            pSectEnd[sect] = static_cast<uint8_t>(end);
            for (int32_t b = k; b < end; ++b) bandCb[b] = static_cast<uint8_t>(cb);
            k = end;
            ++sect;
        }
        pNumSect[g] = count;
    }
    return omxsts::kNoErr;
}

}  // namespace aacd

extern "C" {

AACD_EXPORT int32_t armACAAC_DecodeSectionData(uint8_t *pSfbCb, uint8_t *pSectCb,
                                               uint8_t *pSectEnd, int32_t *pNumSect,
                                               int32_t windowSequence, int32_t numWinGrp,
                                               int32_t maxSfb, const uint8_t **ppBitStream,
                                               uint32_t *pOffset, int32_t *pNoiseFlag,
                                               int32_t *pIsFlag) {
    const auto decode = [&](aacd::BitReader &pos) {
        return aacd::decodeSectionData(pSfbCb, pSectCb, pSectEnd, pNumSect, windowSequence,
                                       numWinGrp, maxSfb, pos, pNoiseFlag, pIsFlag);
    };
    return aacd::onValidExportedPosition(ppBitStream, pOffset, omxsts::kBadArg, decode);
}

}  // extern "C"
