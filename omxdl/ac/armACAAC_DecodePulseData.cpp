// Pulse data (pulse_data) of a long-window channel.
#include "omxdl/ac/armACAAC.h"

extern "C" {

AACD_EXPORT int32_t armACAAC_DecodePulseData(const uint16_t *pSwbOffset, int32_t *pNumPulse,
                                             int32_t *pPulseStartSfb, int32_t *pPulseOffset,
                                             ArmBitPosition *pPos, int32_t *pPulseAmp,
                                             uint16_t numSwbLong) {
    ArmBitPosition &pos = *pPos;
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

}  // extern "C"
