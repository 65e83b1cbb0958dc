// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// Channel configuration: program configuration elements and the channel map
// that assigns the elements of a raw data block to channel slots
// 0 front centre, 1/2 front pair, 3/4 back pair, 5 LFE.
#pragma once

#include <cstdint>

#include "aacd.h"
#include "common/aacd_export.h"

struct AacdDecoderState;

// One channel slot of the map, 13 words.
struct AacdChannelSlot {
    int32_t decoded;       // matched by a lookup in the current frame
    int32_t present;       // carries a channel; the host reads this word
    int32_t tag;           // element_instance_tag
    int32_t isCpe;         // 1 for either half of a pair
    int32_t commonWindow;  // the pair's common_window when assigned
    int32_t isLeft;        // 1 first channel of a pair, 0 second
    int32_t partner;       // other slot of the pair
    int32_t windowIndex;   // index into the per-window bookkeeping
    int32_t reserved[2];   // never written: 0 from initialisation
    int32_t unused[3];     // never written (host holds refs to [0] and [2])
};
static_assert(sizeof(AacdChannelSlot) == 13 * 4, "channel slot is 13 words");

// The channel map.
struct AacdMcInfo {
    int32_t numChannels;
    int32_t frontSceCount;
    int32_t leadingFrontSce;
    int32_t numFront;
    int32_t numSide;
    int32_t numBack;
    int32_t numLfe;
    int32_t numCoupling;
    int32_t couplingTag[16];
    int32_t unused[16];
    int32_t profile;
    int32_t samplingRateIndex;
    AacdChannelSlot slot[6];
};

// Position codes of AACD_enter_chn.
constexpr uint8_t kPosLookup = 0;
constexpr uint8_t kPosFront = 0x66;  // 'f'
constexpr uint8_t kPosSide = 0x73;   // 's'
constexpr uint8_t kPosBack = 0x62;   // 'b'
constexpr uint8_t kPosLfe = 0x6C;    // 'l'

extern "C" {

AACD_EXPORT int32_t AACD_get_prog_config(AacdProgConfig *pce, int32_t *tagOut,
                                         AacdDecoderState *state);
AACD_EXPORT void AACD_reset_mc_info(AacdMcInfo *map, AacdDecoderState *state);
AACD_EXPORT int32_t AACD_enter_mc_info(AacdMcInfo *map, const AacdProgConfig *pce,
                                       AacdDecoderState *state);
AACD_EXPORT int32_t AACD_chn_config(int32_t id, int32_t tag, int32_t commonWindow,
                                    AacdMcInfo *map, AacdDecoderState *state);
AACD_EXPORT int32_t AACD_enter_chn(int32_t isCpe, int32_t tag, uint8_t position,
                                   int32_t commonWindow, AacdMcInfo *map);
AACD_EXPORT int32_t AACD_ch_index(AacdMcInfo *map, int32_t isCpe, int32_t tag);
AACD_EXPORT int32_t AACD_check_mc_info(AacdMcInfo *map, int32_t newConfig,
                                       AacdDecoderState *state);
AACD_EXPORT void AACD_restore_mc_info(AacdMcInfo *map, AacdDecoderState *state);

}  // extern "C"
