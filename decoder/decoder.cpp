// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// Public entry points and instance initialisation.
//
// The host asks for the memory plan, provides five blocks and initialises an
// instance in them.  The instance state lives at the start of block 0
// (rounded up to 8 bytes); blocks 1 to 4 hold 4096-byte buffers that start
// 1 to 32 bytes above the block base rounded down to 32 bytes, so that every
// buffer is 32-byte aligned whatever the host's alignment.
//
// Choices made here:
// - initialisation sets the noise generator's random state to 0 and clears
//   its seed store, so that decoding is deterministic from run to run;
// - aacd_decoder_init refuses a null block base with status 51 before
//   writing anything;
// - the state records its own address once initialisation has succeeded;
//   aacd_decode_frame refuses (53) an instance without that mark, such as
//   one whose initialisation failed with 39;
// - aacd_decode_frame refuses a null block_params and, in SBR hand-off mode,
//   any null reference of the SBR link or a link whose state is not this
//   instance's (the SBR fill reader would move another instance's bit
//   position), with status 53 before touching anything;
// - the first channel reference of each slot points at the slot's presence
//   in the audio the last call delivered, not at the channel map's present
//   word: the map describes the frame just decoded, whose audio comes out
//   one call later, and at a change of the channel layout the host must
//   interleave the PCM by the layout of the audio it actually gets.
#include <cstddef>
#include <cstdint>

#include "aacd.h"
#include "common/util2.h"
#include "conceal/conceal.h"
#include "config/config.h"
#include "decoder/aacd_tables.h"
#include "decoder/decoder.h"
#include "omxdl/ac/armACAAC.h"

namespace {

constexpr uint32_t kBlockSizes[5] = {kStateBlockSize, 4224, 24704, 25344, 24704};
constexpr char kVersionText[] = "TALVEN_AACD_ARM_03.09.00_ARMV8  build on Sep 16 2022 13:23:31";

// Start of a buffer block: base rounded down to 32 bytes, plus 32.
int32_t *bufferStart(void *base) {
    const uintptr_t p = reinterpret_cast<uintptr_t>(base);
    return reinterpret_cast<int32_t *>((p & ~uintptr_t{31}) + 32);
}

AacdDecoderState *stateStart(void *base) {
    const uintptr_t p = reinterpret_cast<uintptr_t>(base);
    return reinterpret_cast<AacdDecoderState *>((p + 7) & ~uintptr_t{7});
}

}  // namespace

extern "C" {

AACD_EXPORT int32_t aacd_query_dec_mem(AacdDecoderConfig *config) {
    if (config == nullptr) return AACD_ERR_NULL_CONFIG;
    AacdMemInfo &mi = config->mem_info;
    mi.block_count = 8;
    for (int k = 0; k < 5; ++k) {
        mi.blocks[k].size = kBlockSizes[k];
        mi.blocks[k].type = 0;
        mi.blocks[k].priority = k == 0 ? 1 : 0;
        mi.blocks[k].reserved = 0;
        mi.blocks[k].base = nullptr;
    }
    for (int k = 5; k < 8; ++k) mi.blocks[k].size = 0;
    return AACD_OK;
}

AACD_EXPORT void AACD_init_globals(AacdDecoderState *st) {
    myMemSet(&st->mcInfo, 0, sizeof st->mcInfo);
    myMemSet(&st->mcInfoGood, 0, sizeof st->mcInfoGood);
    myMemSet(&st->progConfig, 0, sizeof st->progConfig);
    st->workingIsSecondSet = 0;
    for (int c = 0; c < kNumSlots; ++c) st->conceal[c].storedSpectrum = nullptr;
    myMemSet(st->windowSequence, 0, sizeof st->windowSequence);
    myMemSet(st->msMaskPresent, 0, sizeof st->msMaskPresent);
    myMemSet(st->windowShape, 0, sizeof st->windowShape);
    myMemSet(&st->chInfo, 0, sizeof st->chInfo);
    myMemSet(&st->icsInfo, 0, sizeof st->icsInfo);
    myMemSet(st->ltpInfo, 0, sizeof st->ltpInfo);
    myMemSet(&st->chanPairElt, 0, sizeof st->chanPairElt);
    myMemSet(st->tns, 0, sizeof st->tns);
    myMemSet(st->scaleFactors, 0, sizeof st->scaleFactors);
    myMemSet(st->sfbCb, 0, sizeof st->sfbCb);
    st->samplingRateIndex = 0;
    st->frameCounter = 0;
    st->pMcInfo = nullptr;
    st->implicitConfig = 0;
    st->configTag = 0;
    st->pairSeen = 0;
    myMemSet(st->heldRole, 0, sizeof st->heldRole);
    st->heldRateIndex = kNoLayout;
    myMemSet(st->outPresent, 0, sizeof st->outPresent);

    myMemCopy(st->sampleRates, AACD_sampleRateTable, sizeof st->sampleRates);
    for (int i = 0; i < 12; ++i) {
        st->sampleRates[i].longBandEnds = armACAAC_swbOffsetLongWindow[i] + 1;
        st->sampleRates[i].shortBandEnds = armACAAC_swbOffsetShortWindow[i] + 1;
    }
    st->randomPhase = AACD_randomPhase;
    st->imdctTables = &armACAAC_IMDCT_Tables;
}

AACD_EXPORT void AACD_reset_decoder(AacdDecoderState *st) {
    // Previous window shapes: sine.  (The current shapes are 0 as well at
    // this point, so the whole window shape table is cleared.)
    myMemSet(st->windowShape, 0, sizeof st->windowShape);
    myMemSet(st->slotPrevShape, 0, sizeof st->slotPrevShape);
}

AACD_EXPORT void AACD_initio(AacdDecoderState *st) {
    st->implicitConfig = 1;
    st->configTag = -1;
    st->mcInfo.profile = 0;
    st->mcInfo.samplingRateIndex = 3;
    st->configId = -1;
}

AACD_EXPORT void AACD_init(AacdDecoderState *) {}

AACD_EXPORT int32_t AACD_decode_init(AacdDecoderState *st) {
    AACD_init_globals(st);
    st->frameCounter = 0;
    st->pMcInfo = &st->mcInfo;
    // Working spectra start in the first set; overlap buffers and the
    // even/odd side-information buffers are derived from the slot number.
    st->workingIsSecondSet = 0;
    AACD_reset_decoder(st);
    AACD_initio(st);
    AACD_init(st);
    return 0;
}

AACD_EXPORT int32_t aacd_decoder_init(AacdDecoderConfig *config) {
    if (config == nullptr) return AACD_ERR_NULL_CONFIG;
    AacdMemBlock *blocks = config->mem_info.blocks;
    for (int k = 0; k < 5; ++k)
        if (blocks[k].base == nullptr) return AACD_ERR_NULL_CONFIG;
    config->sbr_mode = 0;
    AacdDecoderState *st = stateStart(blocks[0].base);
    st->self = nullptr;
    st->firstSet = bufferStart(blocks[2].base);
    st->scratch = bufferStart(blocks[1].base);
    st->overlap = bufferStart(blocks[4].base);
    config->state = st;
    const uint8_t bits = config->output_bits;
    if (bits != 16 && bits != 24) return AACD_ERR_BIT_DEPTH;
    st->outputBits = bits;

    (void)AACD_decode_init(st);

    st->randomState = 0;
    myMemSet(st->noiseSeeds, 0, sizeof st->noiseSeeds);
    st->checkFrameLength = 0;
    st->frameOk = 1;

    int32_t *secondSet = bufferStart(blocks[3].base);
    for (int c = 0; c < kNumSlots; ++c) {
        st->conceal[c].buffer = secondSet + kSpectrumLen * c;
        CConcealment_Init(&st->conceal[c]);
    }
    config->frame_counter = &st->frameCounter;
    for (int c = 0; c < kNumSlots; ++c) {
        AacdChannelSlot &slot = st->mcInfo.slot[c];
        config->channel_refs[c][0] = &st->outPresent[c];
        config->channel_refs[c][1] = &slot.unused[0];
        config->channel_refs[c][2] = &slot.unused[2];
    }
    st->self = st;
    return AACD_OK;
}

AACD_EXPORT int32_t aacd_decode_frame(AacdDecoderConfig *config, AacdFrameOutput *output,
                                      int32_t *pcm, const uint8_t *input, int32_t input_size) {
    if (config == nullptr || output == nullptr || pcm == nullptr || input == nullptr ||
        config->block_params == nullptr || config->state == nullptr ||
        config->state->self != config->state)
        return AACD_ERR_NULL_ARG;
    AacdDecoderState *st = config->state;
    const AacdSbrLink &sbr = config->sbr;
    if (config->sbr_mode != 0 &&
        (sbr.state != st || sbr.payload == nullptr || sbr.core_output == nullptr ||
         sbr.swap == nullptr || sbr.previous == nullptr))
        return AACD_ERR_NULL_ARG;

    if (config->frame_lost == 1) {
        st->frameOk = 0;
        config->frame_lost = 0;
    }
    if (config->check_frame_length == 1) st->checkFrameLength = 1;
    const int32_t status = AACD_decoder_frame(pcm, output, st, input, input_size,
                                              config->block_params, &config->sbr,
                                              config->sbr_mode);
    output->frame_count = st->frameCounter;
    return status;
}

AACD_EXPORT const char *aacd_decode_versionInfo(void) { return kVersionText; }

}  // extern "C"
