// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// The decoder instance and the frame-level operations.
#pragma once

#include <cstdint>

#include "aacd.h"
#include "bitstream/armCOMM_Bitstream.h"
#include "common/aacd_export.h"
#include "conceal/conceal.h"
#include "config/config.h"
#include "decoder/aacd_tables.h"
#include "omxdl/ac/armACAAC.h"

constexpr int kNumSlots = 6;
constexpr int kSpectrumLen = 1024;  // coefficients per buffer
constexpr int kNoiseSeeds = 435;    // 60 * 7 + 14 + 1: reachable seed indices
constexpr uint8_t kNoLayout = 0xFF; // heldRateIndex before the first good frame

// Per-slot results of channel element decoding, read by the frame driver.
struct AacdSlotWork {
    int32_t numWinGrp;
    int32_t maxSfb;
    uint8_t winGrpLen[8];  // windows per group (1..8)
    int32_t windowLength;
    int32_t tnsFlag;
    int32_t noiseFlag;
    int32_t isFlag;
};

// TNS record of one slot parity: a leading word, the TnsInfo block and the
// quantised filter coefficients.
struct AacdTnsRecord {
    int32_t lead;
    TnsInfo info;
    int8_t coef[60];
};

struct AacdDecoderState {
    // 1. Tables.
    AacdSampleRateInfo sampleRates[16];
    const ArmIMDCTTables *imdctTables;
    const int8_t *randomPhase;

    // 2. Buffers.  The first spectral set (block 2) and the overlap buffers
    // (block 4) are kept as one base each, buffer k at base + 1024 k.  The
    // working spectrum of every slot is either the first-set buffer or the
    // concealment record's buffer; workingIsSecondSet tells which.
    int32_t *scratch;
    int32_t *firstSet;
    int32_t *overlap;
    int32_t workingIsSecondSet;

    // 3. Frame counter.
    uint32_t frameCounter;

    // 4. Channel map, last good map, working map reference.
    AacdMcInfo mcInfo;
    AacdMcInfo mcInfoGood;
    AacdMcInfo *pMcInfo;

    // 5. Program configuration.
    AacdProgConfig progConfig;
    int32_t implicitConfig;  // 1: map rebuilt from each frame's elements
    int32_t configTag;       // tag of the configuration in force, -1 none
    int32_t pairSeen;        // implicit mode: a pair was met this frame

    // 6. Window bookkeeping per window index.
    uint8_t windowSequence[kNumSlots];
    uint8_t msMaskPresent[kNumSlots];
    uint8_t windowShape[kNumSlots][2];  // current, previous
    // Window shape each slot's overlap buffer was last windowed with.  The
    // second channel of a common-window pair shares its partner's window
    // index, so the previous shape of the index alone would already hold
    // this frame's shape when that channel is synthesised.
    uint8_t slotPrevShape[kNumSlots];

    // 7. Stream parameters taken over from AacdBlockParams.
    int32_t numProgConfigs;
    int32_t configId;
    uint32_t samplingIndex;
    int32_t auxA, auxB, auxC, auxD, auxE;

    // 8. Per-frame results.
    uint32_t bitsConsumed;
    int32_t frameOk;
    int32_t checkFrameLength;
    int32_t outputBits;

    // 9. Element work areas.  Side information of even and odd slots lives
    // in separate buffers ([slot & 1]).
    AacdSlotWork slotWork[kNumSlots];
    int32_t samplingRateIndex;
    ChannelInfo chInfo;
    IcsInfo icsInfo;
    LtpInfo ltpInfo[2];
    ChanPairElt chanPairElt;
    uint32_t randomState;
    uint32_t noiseSeeds[kNoiseSeeds];
    AacdTnsRecord tns[2];
    int16_t scaleFactors[2][120];
    uint8_t sfbCb[2][120];

    // 10. Bit position: a reader over the block, bounded by the input size.
    aacd::BitReader bitPos;

    // 11. Concealment records.
    CConcealmentInfo conceal[kNumSlots];

    // 12. The layout of the frame held back for the next call's synthesis:
    // per slot its role (0 = absent, see aacd::slotRole) and the frame's
    // sampling-rate index, kNoLayout until the first good frame.  Output
    // always carries the layout of the audio it delivers.
    uint8_t heldRole[kNumSlots];
    uint8_t heldRateIndex;
    // Presence of each slot in the audio the last call delivered; the host
    // reads it through AacdDecoderConfig.channel_refs[c][0].
    int32_t outPresent[kNumSlots];

    // 13. Points at the state itself once aacd_decoder_init has succeeded;
    // anything else marks an instance that must not decode.
    const AacdDecoderState *self;
};

constexpr uint32_t kStateBlockSize = 7487;
static_assert(sizeof(AacdDecoderState) + 7 <= kStateBlockSize,
              "instance state must fit block 0 after 8-byte alignment");

namespace aacd {
// Working spectrum buffer of slot c.
inline int32_t *workingSpectrum(const AacdDecoderState *st, int c) {
    return st->workingIsSecondSet ? st->conceal[c].buffer : st->firstSet + kSpectrumLen * c;
}
inline int32_t *overlapBuffer(const AacdDecoderState *st, int c) {
    return st->overlap + kSpectrumLen * c;
}
// What a slot of the channel map carries, in one byte: 0 when absent, else
// bit 0 set, bit 1 pair, bit 2 first channel of the pair, bits 3-6 the
// element tag.  A change means another channel now feeds the slot.
inline uint8_t slotRole(const AacdChannelSlot &s) {
    if (s.present == 0) return 0;
    const uint32_t pair = s.isCpe != 0;
    const uint32_t left = pair && s.isLeft != 0;
    return static_cast<uint8_t>(1u | pair << 1 | left << 2 | (static_cast<uint32_t>(s.tag) & 15u) << 3);
}
inline AacdTnsRecord *tnsRecord(AacdDecoderState *st, int c) { return &st->tns[c & 1]; }
inline int16_t *slotScaleFactors(AacdDecoderState *st, int c) { return st->scaleFactors[c & 1]; }
inline uint8_t *slotSfbCb(AacdDecoderState *st, int c) { return st->sfbCb[c & 1]; }
}  // namespace aacd

extern "C" {

AACD_EXPORT int32_t AACD_decoder_frame(int32_t *pcm, AacdFrameOutput *output,
                                       AacdDecoderState *state, const uint8_t *input,
                                       int32_t inputSize, const AacdBlockParams *blockParams,
                                       AacdSbrLink *sbr, uint32_t sbrMode);
AACD_EXPORT int32_t AACD_decode_init(AacdDecoderState *state);
AACD_EXPORT void AACD_init_globals(AacdDecoderState *state);
AACD_EXPORT void AACD_reset_decoder(AacdDecoderState *state);
AACD_EXPORT void AACD_initio(AacdDecoderState *state);
AACD_EXPORT void AACD_init(AacdDecoderState *state);
AACD_EXPORT int32_t AACD_decode_info(AacdDecoderState *state, const AacdBlockParams *params);
AACD_EXPORT int32_t AACD_getdata(int32_t *tagOut, int32_t *countOut, AacdDecoderState *state);
AACD_EXPORT void AACD_getfill(AacdDecoderState *state);
AACD_EXPORT int32_t AACD_extension_payload(int32_t count, AacdDecoderState *state);
AACD_EXPORT void SBRD_getfill(int32_t prevElementId, AacdSbrLink *sbr);
AACD_EXPORT uint32_t AACD_bs_byte_align(AacdDecoderState *state);

}  // extern "C"
