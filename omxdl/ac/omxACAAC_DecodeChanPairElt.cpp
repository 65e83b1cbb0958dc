// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// Head of a channel pair element: common_window and, with a common window,
// the shared stream info and the mid/side mask.
#include "omxdl/ac/armACAAC.h"
#include "omxdl/ac/armACAAC_Bounded.h"

namespace aacd {

int32_t decodeChanPairElt(aacd::BitReader *pPos, IcsInfo *pIcsInfo, ChanPairElt *pChanPairElt,
                          int32_t audioObjectType, LtpInfo *const *pLtpPair) {
    if (pPos == nullptr || pPos->base == nullptr || pIcsInfo == nullptr ||
        pChanPairElt == nullptr || pLtpPair == nullptr ||
        (audioObjectType != 2 && audioObjectType != 4))
        return omxsts::kBadArg;
    aacd::BitReader &pos = *pPos;
    aacd::bitSkip(pos, 4);  // element_instance_tag
    pChanPairElt->commonWindow = static_cast<int32_t>(aacd::bitGet(pos, 1));
    if (pChanPairElt->commonWindow != 1) return omxsts::kNoErr;
    const int32_t sts =
        decodeIcsInfoData(pos, 1, audioObjectType, 0, nullptr, pIcsInfo, pLtpPair);
    if (sts != omxsts::kNoErr) return sts;
    pChanPairElt->msMaskPresent = static_cast<int32_t>(aacd::bitGet(pos, 2));
    if (pChanPairElt->msMaskPresent != 1) return omxsts::kNoErr;
    // The flags of a group are read up to 32 at a time.
    for (int32_t g = 0; g < pIcsInfo->numWindowGroups; ++g) {
        for (int32_t sfb = 0; sfb < pIcsInfo->maxSfb; sfb += 32) {
            const int32_t n = pIcsInfo->maxSfb - sfb < 32 ? pIcsInfo->maxSfb - sfb : 32;
            const uint32_t flags = aacd::bitGet(pos, n);
            for (int32_t i = 0; i < n; ++i)
                pChanPairElt->msUsed[g][sfb + i] = static_cast<uint8_t>((flags >> (n - 1 - i)) & 1u);
        }
    }
    return omxsts::kNoErr;
}

}  // namespace aacd

extern "C" {

AACD_EXPORT int32_t omxACAAC_DecodeChanPairElt(const uint8_t **ppBitStream, uint32_t *pOffset,
                                               IcsInfo *pIcsInfo, ChanPairElt *pChanPairElt,
                                               int32_t audioObjectType,
                                               LtpInfo *const *pLtpPair) {
    // A bad position is handed on as null and rejected with the other
    // arguments, before anything is read.
    const auto decode = [&](aacd::BitReader *pPos) {
        return aacd::decodeChanPairElt(pPos, pIcsInfo, pChanPairElt, audioObjectType, pLtpPair);
    };
    return aacd::onExportedPosition(ppBitStream, pOffset, decode);
}

}  // extern "C"
