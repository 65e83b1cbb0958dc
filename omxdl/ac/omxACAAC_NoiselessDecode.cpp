// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// One individual channel stream: global gain, stream info (unless shared),
// section data, scale factors, pulse, TNS and gain control side information,
// spectral data, then the pulses applied to the quantised values.
// Gain control data is refused (-159), not skipped.  A shared (common
// window) max_sfb above the band count in numSwb is rejected with -162.
#include "omxdl/ac/armACAAC.h"
#include "omxdl/ac/armACAAC_Bounded.h"

namespace {

void applyPulses(int32_t *coefs, const PulseInfo &pulse, const uint16_t *swbOffset) {
    int32_t k = swbOffset[pulse.pulseStartSfb];
    for (int32_t i = 0; i <= pulse.numPulse; ++i) {
        k += pulse.pulseOffset[i];
        if (coefs[k] > 0)
            coefs[k] += pulse.pulseAmp[i];
        else
            coefs[k] -= pulse.pulseAmp[i];
    }
}

}  // namespace

namespace aacd {

int32_t noiselessDecode(aacd::BitReader &pos, int16_t *pScalefactor, int32_t *pQuantValues,
                        uint8_t *pSfbCb, int8_t *pTnsCoef, ChannelInfo *pChInfo,
                        int32_t commonWindow, int32_t audioObjectType, LtpInfo *pLtpInfo,
                        int32_t *pNoiseFlag, int32_t *pIsFlag) {
    ChannelInfo &ch = *pChInfo;
    ch.globalGain = static_cast<int32_t>(aacd::bitGet(pos, 8));
    IcsInfo &ics = *ch.icsInfo;
    if (commonWindow == 0) {
        LtpInfo *const ltpPair[2] = {pLtpInfo, nullptr};
        const int32_t sts = decodeIcsInfoData(pos, 0, audioObjectType, ch.predSfbMax, pChInfo,
                                              &ics, ltpPair);
        if (sts != omxsts::kNoErr) return sts;
    } else if (ics.maxSfb > ch.numSwb) {
        // The shared stream info of a pair is read without the sampling rate;
        // its max_sfb is checked here against the band count the caller set.
        return omxsts::kMaxSfb;
    }
    int32_t sts = decodeSectionData(pSfbCb, ch.sectionCodebook, ch.sectionEnd, ch.numSections,
                                    ics.windowSequence, ics.numWindowGroups, ics.maxSfb, pos,
                                    pNoiseFlag, pIsFlag);
    if (sts != omxsts::kNoErr) return sts;
    sts = decodeScaleFactorData(pScalefactor, ics.numWindowGroups, ch.globalGain, pSfbCb,
                                ics.maxSfb, &pos);
    if (sts != omxsts::kNoErr) return sts;

    PulseInfo pulse{};
    const uint16_t *swbOffset = armACAAC_swbOffsetLongWindow[ch.samplingRateIndex];
    ch.pulseDataPresent = static_cast<int32_t>(aacd::bitGet(pos, 1));
    if (ch.pulseDataPresent == 1) {
        if (ics.windowSequence == EIGHT_SHORT_SEQUENCE) return omxsts::kErr;
        sts = decodePulseData(swbOffset, &pulse.numPulse, &pulse.pulseStartSfb,
                              pulse.pulseOffset, pos, pulse.pulseAmp,
                              armACAAC_numSwbLong[ch.samplingRateIndex]);
        if (sts != omxsts::kNoErr) return sts;
    }
    ch.tnsDataPresent = static_cast<int32_t>(aacd::bitGet(pos, 1));
    if (ch.tnsDataPresent == 1) {
        TnsInfo &t = ch.tnsInfo;
        decodeTnsData(audioObjectType, ch.samplingRateIndex, ics.windowSequence, pTnsCoef, pos,
                      ch.numWindows, t.tnsNumFilters, t.tnsCoefRes, t.tnsLength, t.tnsOrder,
                      t.tnsDirection, pChInfo);
    }
    ch.gainControlDataPresent = static_cast<int32_t>(aacd::bitGet(pos, 1));
    if (ch.gainControlDataPresent == 1) return omxsts::kGainControl;

    if (ch.numSections[0] == 0)
        for (int32_t i = 0; i < 1024; ++i) pQuantValues[i] = 0;
    sts = decodeSpectralData(pQuantValues, ics.windowSequence, ics.numWindowGroups,
                             ch.samplingRateIndex, ch.sectionCodebook, ch.sectionEnd,
                             ics.windowGroupLength, ch.numSections, &pos, ics.maxSfb);
    if (sts != omxsts::kNoErr) return sts;
    if (ch.pulseDataPresent == 1) applyPulses(pQuantValues, pulse, swbOffset);
    return omxsts::kNoErr;
}

}  // namespace aacd

extern "C" {

AACD_EXPORT int32_t omxACAAC_NoiselessDecode(const uint8_t **ppBitStream, uint32_t *pOffset,
                                             int16_t *pScalefactor, int32_t *pQuantValues,
                                             uint8_t *pSfbCb, int8_t *pTnsCoef,
                                             ChannelInfo *pChInfo, int32_t commonWindow,
                                             int32_t audioObjectType, LtpInfo *pLtpInfo,
                                             int32_t *pNoiseFlag, int32_t *pIsFlag) {
    const auto decode = [&](aacd::BitReader &pos) {
        return aacd::noiselessDecode(pos, pScalefactor, pQuantValues, pSfbCb, pTnsCoef, pChInfo,
                                     commonWindow, audioObjectType, pLtpInfo, pNoiseFlag,
                                     pIsFlag);
    };
    return aacd::onValidExportedPosition(ppBitStream, pOffset, omxsts::kBadArg, decode);
}

}  // extern "C"
