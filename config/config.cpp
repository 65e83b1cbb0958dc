// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// Channel configuration: the program configuration element parser and the
// channel map that assigns the single channel, channel pair and LFE elements
// of a raw data block to channel slots 0..5 (0 front centre, 1/2 front pair,
// 3/4 back pair, 5 LFE).
//
// Two modes, chosen by the instance's implicit-configuration flag:
//  - explicit (0): a program configuration has been entered; each channel
//    element is looked up by its pair flag and tag;
//  - implicit (1): the map is cleared at every frame start and built from the
//    order in which the elements arrive.
//
// Every failure of the map and parser operations is reported as -1.
#include "config/config.h"

#include "decoder/decoder.h"

namespace {

// Bit widths of the fields of a program configuration element.
constexpr int kTagBits = 4;
constexpr int kProfileBits = 2;
constexpr int kSfIndexBits = 4;
constexpr int kLfeCountBits = 2;
constexpr int kAssocCountBits = 3;

// Supported layout: Low Complexity, at most 3 front, no side, at most 2
// back, at most 1 LFE and no coupling elements.
constexpr int32_t kProfileLc = 1;
constexpr uint32_t kMaxSfIndex = 11;
constexpr uint32_t kMaxFront = 3;
constexpr uint32_t kMaxBack = 2;
constexpr uint32_t kMaxLfe = 1;

[[nodiscard]] inline int32_t readBits(AacdDecoderState *state, int n) {
    return static_cast<int32_t>(aacd::bitGet(state->bitPos, n));
}

// Reads the (is_cpe, tag_select) pairs of an element list; the count is
// already stored.
void readPairList(AacdElementList &list, AacdDecoderState *state) {
    for (int32_t i = 0; i < list.numElements; ++i) {
        list.isCpe[i] = readBits(state, 1);
        list.tag[i] = readBits(state, kTagBits);
    }
}

// Reads the tag-only entries of an element list (LFE, associated data).
void readTagList(AacdElementList &list, AacdDecoderState *state) {
    for (int32_t i = 0; i < list.numElements; ++i) {
        list.tag[i] = readBits(state, kTagBits);
        list.isCpe[i] = 0;
    }
}

[[nodiscard]] inline AacdMcInfo *workingMap(AacdDecoderState *state) {
    return state->pMcInfo != nullptr ? state->pMcInfo : &state->mcInfo;
}

// Copies the eight counters numChannels..numCoupling.
void copyCounters(AacdMcInfo *dst, const AacdMcInfo *src) {
    dst->numChannels = src->numChannels;
    dst->frontSceCount = src->frontSceCount;
    dst->leadingFrontSce = src->leadingFrontSce;
    dst->numFront = src->numFront;
    dst->numSide = src->numSide;
    dst->numBack = src->numBack;
    dst->numLfe = src->numLfe;
    dst->numCoupling = src->numCoupling;
}

}  // namespace

extern "C" {

AACD_EXPORT int32_t AACD_get_prog_config(AacdProgConfig *pce, int32_t *tagOut,
                                         AacdDecoderState *state) {
    // Each check is made right after its field; a failure returns at once
    // with the fields read so far left in the record.
    const int32_t tag = readBits(state, kTagBits);

    pce->profile = readBits(state, kProfileBits);
    if (pce->profile != kProfileLc) return -1;

    pce->samplingFrequencyIndex = readBits(state, kSfIndexBits);
    if (static_cast<uint32_t>(pce->samplingFrequencyIndex) > kMaxSfIndex) return -1;

    pce->front.numElements = readBits(state, 4);
    if (static_cast<uint32_t>(pce->front.numElements) > kMaxFront) return -1;

    pce->side.numElements = readBits(state, 4);
    if (pce->side.numElements != 0) return -1;

    pce->back.numElements = readBits(state, 4);
    if (static_cast<uint32_t>(pce->back.numElements) > kMaxBack) return -1;

    pce->lfe.numElements = readBits(state, kLfeCountBits);
    if (static_cast<uint32_t>(pce->lfe.numElements) > kMaxLfe) return -1;

    pce->assocData.numElements = readBits(state, kAssocCountBits);

    pce->validCc.numElements = readBits(state, 4);
    if (pce->validCc.numElements != 0) return -1;

    // Mixdown fields that are absent keep what the record held before.
    pce->monoMixdown.present = readBits(state, 1);
    if (pce->monoMixdown.present == 1) pce->monoMixdown.elementNumber = readBits(state, 4);
    pce->stereoMixdown.present = readBits(state, 1);
    if (pce->stereoMixdown.present == 1) pce->stereoMixdown.elementNumber = readBits(state, 4);
    pce->matrixMixdown.present = readBits(state, 1);
    if (pce->matrixMixdown.present == 1) {
        pce->matrixMixdown.index = readBits(state, 2);
        pce->matrixMixdown.pseudoSurround = readBits(state, 1);
    }

    readPairList(pce->front, state);
    readPairList(pce->side, state);
    readPairList(pce->back, state);
    readTagList(pce->lfe, state);
    readTagList(pce->assocData, state);
    readPairList(pce->validCc, state);

    // The raw data block starts on a byte boundary of the input buffer, so
    // aligning the position aligns relative to the block start.
    (void)aacd::bitByteAlign(state->bitPos);

    // The comment text is not kept: every byte passes through comment[0].
    const int32_t commentBytes = readBits(state, 8);
    for (int32_t i = 0; i < commentBytes; ++i) {
        pce->comment[0] = static_cast<uint8_t>(readBits(state, 8));
    }
    pce->comment[0] = 0;

    // Selection: the first configuration seen fixes the tag in force;
    // configurations of other programs are parsed past and ignored.
    if (state->configTag < 0) {
        state->configTag = tag;
    } else if (tag != state->configTag) {
        *tagOut = tag;
        return 0;
    }
    if (AACD_enter_mc_info(workingMap(state), pce, state) != 1) return -1;  // 1: entered, -1: refused
    state->implicitConfig = 0;
    *tagOut = tag;
    return 0;
}

AACD_EXPORT void AACD_reset_mc_info(AacdMcInfo *map, AacdDecoderState *state) {
    for (AacdChannelSlot &s : map->slot) {
        s.decoded = 0;
    }
    if (state->implicitConfig == 0) return;

    map->leadingFrontSce = map->frontSceCount;
    map->frontSceCount = 0;
    map->numChannels = 0;
    map->numFront = 0;
    map->numSide = 0;
    map->numBack = 0;
    map->numLfe = 0;
    map->numCoupling = 0;
    state->pairSeen = 0;
    // tag and commonWindow are kept.
    for (AacdChannelSlot &s : map->slot) {
        s.present = 0;
        s.isCpe = 0;
        s.isLeft = 0;
        s.partner = 0;
        s.windowIndex = 0;
    }
}

AACD_EXPORT int32_t AACD_enter_mc_info(AacdMcInfo *map, const AacdProgConfig *pce,
                                       AacdDecoderState *state) {
    map->numChannels = 0;
    map->frontSceCount = 0;
    map->numFront = 0;
    map->numSide = 0;
    map->numBack = 0;
    map->numLfe = 0;
    map->numCoupling = 0;
    state->pairSeen = 0;

    map->profile = pce->profile;
    map->samplingRateIndex = pce->samplingFrequencyIndex;

    if (pce->front.numElements > 0) {
        int32_t lead = 0;
        while (lead < pce->front.numElements && lead < 16 && pce->front.isCpe[lead] == 0) ++lead;
        map->frontSceCount = lead;
        map->leadingFrontSce = lead;
    } else {
        map->leadingFrontSce = 0;
    }

    struct ListPos {
        const AacdElementList *list;
        uint8_t position;
    };
    const ListPos lists[] = {
        {&pce->front, kPosFront}, {&pce->side, kPosSide}, {&pce->back, kPosBack},
        {&pce->lfe, kPosLfe}};
    // A list longer than its 16 entries cannot be read past: every position
    // refuses once its slots are taken (six front channels, two back, one
    // LFE, no side channel), at the seventh entry at the latest.
    for (const ListPos &lp : lists) {
        const int32_t n = lp.list->numElements;
        for (int32_t i = 0; i < n; ++i) {
            if (AACD_enter_chn(lp.list->isCpe[i], lp.list->tag[i], lp.position, 0, map) < 0) {
                return -1;
            }
        }
    }

    // Coupling channel elements are not supported: their count is kept for
    // the record, their tags are not needed.
    map->numCoupling = pce->validCc.numElements;

    (void)AACD_check_mc_info(map, 1, state);
    return 1;
}

AACD_EXPORT int32_t AACD_chn_config(int32_t id, int32_t tag, int32_t commonWindow,
                                    AacdMcInfo *map, AacdDecoderState *state) {
    const int32_t isCpe = id == 1 ? 1 : 0;
    if (state->implicitConfig == 0) return AACD_enter_chn(isCpe, tag, kPosLookup, commonWindow, map);
    if (id < 0) return 0;
    if (id == 0 || id == 1) {
        uint8_t position;
        if (map->numChannels > 2) {
            if (map->numChannels <= 4) {
                position = kPosBack;
            } else if (map->numChannels == 5) {
                position = kPosLfe;
            } else {
                return -1;
            }
        } else {
            position = kPosFront;
            if (isCpe == 1) {
                state->pairSeen = 1;
            } else if (state->pairSeen == 0) {
                ++map->frontSceCount;
            }
        }
        return AACD_enter_chn(isCpe, tag, position, commonWindow, map);
    }
    if (id == 3) return AACD_enter_chn(0, tag, kPosLfe, commonWindow, map);
    return 0;
}

AACD_EXPORT int32_t AACD_enter_chn(int32_t isCpe, int32_t tag, uint8_t position,
                                   int32_t commonWindow, AacdMcInfo *map) {
    const int32_t n = isCpe == 1 ? 2 : 1;

    if (position == kPosLookup) {
        const int32_t s = AACD_ch_index(map, isCpe, tag);
        if (s < 0) return -1;
        if (isCpe != 1) {
            map->slot[s].windowIndex = s;
            return s;
        }
        if (s == 5) return -1;
        map->slot[s].windowIndex = s;
        map->slot[s + 1].windowIndex = commonWindow != 0 ? s : s + 1;
        return s;
    }

    int32_t f;
    switch (position) {
        case kPosFront:
            if (map->numFront == 0) {
                if (n == 2) {
                    f = 1;
                    map->numFront = 3;
                } else if ((map->leadingFrontSce & 1) != 0 || map->leadingFrontSce == 0) {
                    f = 0;
                    map->numFront = 1;
                } else {
                    f = 1;
                    map->numFront = 2;
                }
            } else {
                if (map->numFront + n > kNumSlots) return -1;
                f = map->numFront;
                map->numFront += n;
            }
            break;
        case kPosBack:
            if (map->numBack + n > 2) return -1;
            f = 3 + map->numBack;
            map->numBack += n;
            break;
        case kPosLfe:
            if (map->numLfe + n > 1) return -1;
            f = 5 + map->numLfe;
            map->numLfe += n;
            break;
        default:  // side channels (kPosSide) have no slot
            return -1;
    }

    map->numChannels += n;
    AacdChannelSlot &a = map->slot[f];
    a.present = 1;
    a.tag = tag;
    a.commonWindow = commonWindow;
    a.windowIndex = f;
    if (n == 1) {
        a.isCpe = 0;
        return f;
    }
    a.isCpe = 1;
    a.isLeft = 1;
    a.partner = f + 1;
    AacdChannelSlot &b = map->slot[f + 1];
    b.present = 1;
    b.tag = tag;
    b.isCpe = 1;
    b.commonWindow = commonWindow;
    b.isLeft = 0;
    b.partner = f;
    b.windowIndex = commonWindow != 0 ? f : f + 1;
    return f;
}

AACD_EXPORT int32_t AACD_ch_index(AacdMcInfo *map, int32_t isCpe, int32_t tag) {
    for (int32_t s = 0; s < kNumSlots; ++s) {
        AacdChannelSlot &c = map->slot[s];
        if (c.present != 0 && c.decoded == 0 && c.isCpe == isCpe && c.tag == tag) {
            c.decoded = 1;
            return s;
        }
    }
    return -1;
}

AACD_EXPORT int32_t AACD_check_mc_info(AacdMcInfo *map, int32_t newConfig,
                                       AacdDecoderState *state) {
    // Consistency hook after a configuration is entered; it observes nothing
    // that any other operation depends on.
    (void)map;
    (void)newConfig;
    (void)state;
    return 0;
}

AACD_EXPORT void AACD_restore_mc_info(AacdMcInfo *map, AacdDecoderState *state) {
    // Good frame: save the working map as the last good one; bad frame:
    // bring the last good one back.  tag, commonWindow, couplingTag, profile
    // and samplingRateIndex are never copied.
    AacdMcInfo *good = &state->mcInfoGood;
    const bool save = state->frameOk == 1;
    AacdMcInfo *dst = save ? good : map;
    const AacdMcInfo *src = save ? map : good;
    if (dst == src) return;
    for (int s = 0; s < kNumSlots; ++s) {
        dst->slot[s].decoded = src->slot[s].decoded;
    }
    if (state->implicitConfig == 0) return;
    copyCounters(dst, src);
    for (int s = 0; s < kNumSlots; ++s) {
        const AacdChannelSlot &a = src->slot[s];
        AacdChannelSlot &b = dst->slot[s];
        b.present = a.present;
        b.isCpe = a.isCpe;
        b.isLeft = a.isLeft;
        b.partner = a.partner;
        b.windowIndex = a.windowIndex;
    }
}

}  // extern "C"
