// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// Pulse data (pulse_data) of a long-window channel.
#include "omxdl/ac/armACAAC.h"
#include "omxdl/ac/armACAAC_Bounded.h"

namespace aacd {

int32_t decodePulseData(const uint16_t *pSwbOffset, int32_t *pNumPulse, int32_t *pPulseStartSfb,
                        int32_t *pPulseOffset, aacd::BitReader &pos, int32_t *pPulseAmp,
                        uint16_t numSwbLong) {
    *pNumPulse = static_cast<int32_t>(aacd::bitGet(pos, 2));
    *pPulseStartSfb = static_cast<int32_t>(aacd::bitGet(pos, 6));
    if (*pPulseStartSfb >= numSwbLong) return omxsts::kErr;
    int32_t k = pSwbOffset[*pPulseStartSfb];
    for (int32_t i = 0; i <= *pNumPulse; ++i) {
        pPulseOffset[i] = static_cast<int32_t>(aacd::bitGet(pos, 5));
        pPulseAmp[i] = static_cast<int32_t>(aacd::bitGet(pos, 4));
        k += pPulseOffset[i];
        if (k > 1023) return omxsts::kErr;
    }
    return omxsts::kNoErr;
}

}  // namespace aacd

extern "C" {

AACD_EXPORT int32_t armACAAC_DecodePulseData(const uint16_t *pSwbOffset, int32_t *pNumPulse,
                                             int32_t *pPulseStartSfb, int32_t *pPulseOffset,
                                             const uint8_t **ppBitStream, uint32_t *pOffset,
                                             int32_t *pPulseAmp, uint16_t numSwbLong) {
    const auto decode = [&](aacd::BitReader &pos) {
        return aacd::decodePulseData(pSwbOffset, pNumPulse, pPulseStartSfb, pPulseOffset, pos,
                                     pPulseAmp, numSwbLong);
    };
    return aacd::onValidExportedPosition(ppBitStream, pOffset, omxsts::kBadArg, decode);
}

}  // extern "C"
