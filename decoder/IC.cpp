// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// Stream configuration input: takes the host's AacdBlockParams over into the
// instance at the start of every decoded frame.  Either the channel map is
// rebuilt from the host's program configuration records (those carrying the
// tag in force), or the fixed parameters and the sampling-frequency index are
// recorded.
//
// A sampling index of 16 or more would address the 16-row sampling-rate
// table (and the band tables behind it) out of range.  Such an index is not
// taken over at all - neither into the stored parameters nor into the
// channel map, which keep their previous index - and the frame is rejected
// with status 35.  Indices 12..15 are taken over (they read as rate 0) and
// also give 35.
//
// A host program configuration record carries its own sampling index, which
// becomes the channel map's and indexes the 12-row band tables when the
// frame's elements are decoded.  A record with an index above 11 is refused
// like a record that does not fit the channel slots (status 36), before the
// map is touched; so is a positive record count without records.
#include "decoder/decoder.h"

namespace {

constexpr int32_t kStatusBadSamplingIndex = 35;
constexpr int32_t kStatusBadProgConfig = 36;
constexpr uint32_t kMaxSamplingIndex = 11;
constexpr uint32_t kSamplingTableRows = 16;

[[nodiscard]] inline AacdMcInfo *workingMap(AacdDecoderState *state) {
    return state->pMcInfo != nullptr ? state->pMcInfo : &state->mcInfo;
}

}  // namespace

extern "C" AACD_EXPORT int32_t AACD_decode_info(AacdDecoderState *state,
                                                const AacdBlockParams *params) {
    AacdMcInfo *map = workingMap(state);

    if (params->num_prog_configs == 0) {
        // A change of config_id makes the map follow the elements again; the
        // flag is only cleared by an entered program configuration.
        if (params->config_id != state->configId) state->implicitConfig = 1;
        state->numProgConfigs = 0;
        state->configId = params->config_id;
        state->auxA = params->aux_a;
        state->auxB = params->aux_b;
        state->auxC = params->aux_c >> 5;
        state->auxD = params->aux_d;
        state->auxE = params->aux_e;
        map->profile = 0;
        const uint32_t idx = params->sampling_index;
        if (idx >= kSamplingTableRows) return kStatusBadSamplingIndex;
        state->samplingIndex = idx;
        map->samplingRateIndex = static_cast<int32_t>(idx);
        return idx > kMaxSamplingIndex ? kStatusBadSamplingIndex : 0;
    }

    // config_id, sampling_index and aux_c are not taken over here.
    state->auxA = params->aux_a;
    state->auxB = params->aux_b;
    state->auxD = params->aux_d;
    state->auxE = params->aux_e;
    state->numProgConfigs = params->num_prog_configs;
    if (state->numProgConfigs > 0 && params->prog_configs == nullptr) return kStatusBadProgConfig;

    for (int32_t i = 0; i < state->numProgConfigs; ++i) {
        const AacdProgConfig &rec = params->prog_configs[i];
        const int32_t t = rec.elementInstanceTag;
        if (state->configTag >= 0 && t != state->configTag) continue;
        if (state->configTag < 0) state->configTag = t;
        if (static_cast<uint32_t>(rec.samplingFrequencyIndex) > kMaxSamplingIndex)
            return kStatusBadProgConfig;
        state->implicitConfig = 1;
        AACD_reset_mc_info(map, state);
        if (AACD_enter_mc_info(map, &rec, state) != 1) return kStatusBadProgConfig;  // 1: entered
        state->implicitConfig = 0;
        state->progConfig = rec;
    }
    return 0;
}
