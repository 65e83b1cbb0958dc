// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// Individual channel stream info (ics_info).
//
// A max_sfb above the band count of the sampling rate (long or short windows)
// is rejected here with -162, before the section and spectral decoders index
// the band tables with it.  The channel info's sampling-rate index (when
// given) selects the band count; without channel info only the absolute
// limits 51 (long) and 15 (short) are checked.
#include "omxdl/ac/armACAAC.h"
#include "omxdl/ac/armACAAC_Bounded.h"

namespace aacd {

int32_t decodeIcsInfoData(aacd::BitReader &pos, int32_t commonWindow, int32_t audioObjectType,
                          int32_t predSfbMax, ChannelInfo *pChInfo, IcsInfo *pIcsInfo,
                          LtpInfo *const *pLtpPair) {
    IcsInfo &ics = *pIcsInfo;
    ics.icsReservedBit = static_cast<int32_t>(aacd::bitGet(pos, 1));
    ics.windowSequence = static_cast<int32_t>(aacd::bitGet(pos, 2));
    ics.windowShape = static_cast<int32_t>(aacd::bitGet(pos, 1));

    if (ics.windowSequence == EIGHT_SHORT_SEQUENCE) {
        int32_t limit = 15;
        if (pChInfo != nullptr) {
            pChInfo->numWindows = 8;
            pChInfo->windowLength = 128;
            pChInfo->numSwb = armACAAC_numSwbShort[pChInfo->samplingRateIndex];
            limit = pChInfo->numSwb;
        }
        const int32_t maxSfb = static_cast<int32_t>(aacd::bitGet(pos, 4));
        if (maxSfb > limit) return omxsts::kMaxSfb;
        ics.maxSfb = maxSfb;
        ics.numWindowGroups = 1;
        ics.windowGroupLength[0] = 1;
        const uint32_t grouping = aacd::bitGet(pos, 7);
        ics.scaleFactorGrouping = static_cast<int32_t>(grouping);
        for (int32_t bit = 6; bit >= 0; --bit) {
            if ((grouping >> bit) & 1u) {
                ++ics.windowGroupLength[ics.numWindowGroups - 1];
            } else {
                ics.windowGroupLength[ics.numWindowGroups] = 1;
                ++ics.numWindowGroups;
            }
        }
        return omxsts::kNoErr;
    }

    int32_t limit = 51;
    if (pChInfo != nullptr) {
        pChInfo->numWindows = 1;
        pChInfo->windowLength = 1024;
        pChInfo->numSwb = armACAAC_numSwbLong[pChInfo->samplingRateIndex];
        limit = pChInfo->numSwb;
    }
    const int32_t maxSfb = static_cast<int32_t>(aacd::bitGet(pos, 6));
    if (maxSfb > limit) return omxsts::kMaxSfb;
    ics.maxSfb = maxSfb;
    ics.numWindowGroups = 1;
    ics.windowGroupLength[0] = 1;
    ics.predictorDataPresent = static_cast<int32_t>(aacd::bitGet(pos, 1));
    if (ics.predictorDataPresent == 0) return omxsts::kNoErr;

    if (audioObjectType == 4) {
        LtpInfo *first = pLtpPair[0];
        first->ltpDataPresent = static_cast<int32_t>(aacd::bitGet(pos, 1));
        if (first->ltpDataPresent != 0)
            (void)decodeLtpData(pos, ics.windowSequence, maxSfb, first);
        if (commonWindow == 1) {
            LtpInfo *second = pLtpPair[1];
            second->ltpDataPresent = static_cast<int32_t>(aacd::bitGet(pos, 1));
            if (second->ltpDataPresent != 0)
                (void)decodeLtpData(pos, ics.windowSequence, maxSfb, second);
        }
    } else if (audioObjectType == 1) {
        ics.predictorReset = static_cast<int32_t>(aacd::bitGet(pos, 1));
        if (ics.predictorReset != 0)
            ics.predictorResetGroup = static_cast<int32_t>(aacd::bitGet(pos, 5));
        const int32_t bands = maxSfb < predSfbMax ? maxSfb : predSfbMax;
        for (int32_t b = 0; b < bands && b < 41; ++b)
            ics.predictionUsed[b] = static_cast<uint8_t>(aacd::bitGet(pos, 1));
    }
    return omxsts::kNoErr;
}

}  // namespace aacd

extern "C" {

AACD_EXPORT int32_t armACAAC_DecodeIcsInfoData(const uint8_t **ppBitStream, uint32_t *pOffset,
                                               int32_t commonWindow, int32_t audioObjectType,
                                               int32_t predSfbMax, ChannelInfo *pChInfo,
                                               IcsInfo *pIcsInfo, LtpInfo *const *pLtpPair) {
    const auto decode = [&](aacd::BitReader &pos) {
        return aacd::decodeIcsInfoData(pos, commonWindow, audioObjectType, predSfbMax, pChInfo,
                                       pIcsInfo, pLtpPair);
    };
    return aacd::onValidExportedPosition(ppBitStream, pOffset, omxsts::kBadArg, decode);
}

}  // extern "C"
