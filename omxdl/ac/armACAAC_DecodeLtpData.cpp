// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// Long-term prediction side information (ltp_data), long-window fields only.
#include "omxdl/ac/armACAAC.h"
#include "omxdl/ac/armACAAC_Bounded.h"

namespace aacd {

int32_t decodeLtpData(aacd::BitReader &pos, int32_t windowSequence, int32_t maxSfb,
                      LtpInfo *pLtpInfo) {
    pLtpInfo->ltpLag = static_cast<int32_t>(aacd::bitGet(pos, 11));
    pLtpInfo->ltpCoef = static_cast<int16_t>(aacd::bitGet(pos, 3));
    if (windowSequence == EIGHT_SHORT_SEQUENCE) return omxsts::kNoErr;
    const int32_t bands = maxSfb < 40 ? maxSfb : 40;
    for (int32_t b = 0; b < bands; ++b)
        pLtpInfo->ltpLongUsed[b] = static_cast<int32_t>(aacd::bitGet(pos, 1));
    return omxsts::kNoErr;
}

}  // namespace aacd

extern "C" {

AACD_EXPORT int32_t armACAAC_DecodeLtpData(const uint8_t **ppBitStream, uint32_t *pOffset,
                                           int32_t windowSequence, int32_t maxSfb,
                                           LtpInfo *pLtpInfo) {
    const auto decode = [&](aacd::BitReader &pos) {
        return aacd::decodeLtpData(pos, windowSequence, maxSfb, pLtpInfo);
    };
    return aacd::onValidExportedPosition(ppBitStream, pOffset, omxsts::kNoErr, decode);
}

}  // extern "C"
