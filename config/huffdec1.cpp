// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// Decoding of one single channel, channel pair or LFE element up to
// inverse-quantised spectra.
//
// The element is placed in the channel map, then each of its channels is
// noiselessly decoded and inverse-quantised in turn.  Per-slot side
// information is left in the instance, where the frame driver picks it up
// right after the call to run the stereo tools, deinterleaving and TNS.
#include <cstdint>

#include "bitstream/armCOMM_Bitstream.h"
#include "common/util2.h"
#include "config/config.h"
#include "config/huffdec1.h"
#include "decoder/decoder.h"
#include "omxdl/ac/armACAAC.h"
#include "omxdl/ac/armACAAC_Bounded.h"

namespace {

constexpr int32_t kAotLc = 2;
constexpr int32_t kIdSce = 0;
constexpr int32_t kIdCpe = 1;
constexpr int32_t kIdLfe = 3;

// Steps back over the 4-bit tag and the common_window bit just read.
void stepBackFive(aacd::BitReader &pos) { aacd::bitSeek(pos, aacd::bitIndex(pos) - 5u); }

}  // namespace

extern "C" AACD_EXPORT int32_t AACD_huffdecode(int32_t id, AacdMcInfo *map,
                                               uint8_t *windowSequence,
                                               uint8_t (*windowShape)[2], uint8_t *msFlag,
                                               int32_t *const *spectra, int32_t *firstOut,
                                               int32_t *lastOut, AacdDecoderState *st) {
    aacd::BitReader &pos = st->bitPos;
    const int32_t tag = static_cast<int32_t>(aacd::bitGet(pos, 4));
    int32_t commonWindow = 0;
    if (id == kIdCpe) {
        commonWindow = static_cast<int32_t>(aacd::bitGet(pos, 1));
    } else if (id != kIdSce && id != kIdLfe) {
        return -1;
    }
    const int32_t first = AACD_chn_config(id, tag, commonWindow, map, st);
    if (first < 0) return -1;

    ChannelInfo &ci = st->chInfo;
    IcsInfo &ics = st->icsInfo;
    ci.icsInfo = &ics;
    ci.chanPairElt = &st->chanPairElt;
    ci.elementTag = map->slot[first].tag;
    ci.elementId = id;
    ci.samplingRateIndex = map->samplingRateIndex;
    ci.predSfbMax = 0;
    ci.previousWindowShape = windowShape[0][1];

    int32_t last = first;
    if (id != kIdCpe) {
        msFlag[map->slot[first].windowIndex] = 0;
    } else if (commonWindow == 0) {
        last = map->slot[first].partner;
        msFlag[map->slot[first].windowIndex] = 0;
        msFlag[map->slot[last].windowIndex] = 0;
    } else {
        last = map->slot[first].partner;
        stepBackFive(pos);
        LtpInfo *const ltpPair[2] = {&st->ltpInfo[0], &st->ltpInfo[1]};
        if (aacd::decodeChanPairElt(&pos, &ics, &st->chanPairElt, kAotLc, ltpPair) != 0)
            return -1;
        // The band counts below are indexed by the map's sampling index,
        // which every path into the map keeps within 0..11: the stream
        // configuration input rejects a frame of fixed parameters above 11
        // before any element is read, and program configurations above 11
        // are refused.
        const int32_t sri = ci.samplingRateIndex;
        if (ics.windowSequence == EIGHT_SHORT_SEQUENCE) {
            ci.numWindows = 8;
            ci.windowLength = 128;
            ci.numSwb = armACAAC_numSwbShort[sri];
        } else {
            ci.numWindows = 1;
            ci.windowLength = 1024;
            ci.numSwb = armACAAC_numSwbLong[sri];
        }
        const int32_t msp = st->chanPairElt.msMaskPresent;
        msFlag[map->slot[first].windowIndex] = static_cast<uint8_t>(msp == 3 ? 255 : msp);
    }
    // The pair record's ms_used flags are read from the stream only for a
    // common-window pair with per-band mid/side (mask 1); otherwise they
    // would still hold an earlier element's flags.  Mid/side inverts
    // intensity bands and noise substitution shares the partner's noise by
    // these flags, so every other element clears them: no inversion,
    // independent noise.
    if (id != kIdCpe || commonWindow == 0 || st->chanPairElt.msMaskPresent != 1)
        myMemSet(st->chanPairElt.msUsed, 0, sizeof(st->chanPairElt.msUsed));

    // A pair whose partner lies below it (first > last) decodes no channel.
    for (int32_t c = first; c <= last; ++c) {
        AacdSlotWork &work = st->slotWork[c];
        AacdTnsRecord *tns = aacd::tnsRecord(st, c);
        int16_t *sf = aacd::slotScaleFactors(st, c);
        uint8_t *cb = aacd::slotSfbCb(st, c);
        if (aacd::noiselessDecode(pos, sf, spectra[c], cb, tns->coef, &ci, commonWindow, kAotLc,
                                  st->ltpInfo, &work.noiseFlag, &work.isFlag) != 0)
            return -1;
        const IcsInfo &used = *ci.icsInfo;
        work.windowLength = ci.windowLength;
        work.maxSfb = used.maxSfb;
        work.numWinGrp = used.numWindowGroups;
        for (int g = 0; g < 8; ++g)
            work.winGrpLen[g] = static_cast<uint8_t>(used.windowGroupLength[g]);
        work.tnsFlag = ci.tnsDataPresent;
        if (omxACAAC_QuantInv_S32_I(spectra[c], sf, used.numWindowGroups,
                                    used.windowGroupLength, used.maxSfb, cb,
                                    ci.samplingRateIndex, ci.windowLength) != 0)
            return -1;
        const int32_t w = map->slot[c].windowIndex;
        windowSequence[w] = static_cast<uint8_t>(used.windowSequence);
        windowShape[w][0] = static_cast<uint8_t>(used.windowShape);
        if (ci.tnsDataPresent == 1) {
            myMemCopy(&tns->info, &ci.tnsInfo, sizeof(TnsInfo));
        } else {
            // No filters in any window (the record is read only when the TNS
            // flag is set, so clearing all eight windows is as good as
            // clearing the channel's own).
            myMemSet(tns->info.tnsNumFilters, 0, sizeof(tns->info.tnsNumFilters));
        }
    }
    *firstOut = first;
    *lastOut = last;
    return 0;
}
