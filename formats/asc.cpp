// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// asc.cpp - AudioSpecificConfig; see formats.h.
#include <cstring>

#include "formats.h"

namespace aacd_fmt {

namespace {

constexpr int kObjectLc = 2;
constexpr int kObjectSbr = 5;
constexpr int kObjectPs = 29;
constexpr uint32_t kSyncExtension = 0x2b7;
constexpr uint32_t kPsSyncExtension = 0x548;

int read_object_type(BitReader &br) {
    const int t = static_cast<int>(read_bits(br, 5));
    return t == 31 ? 32 + static_cast<int>(read_bits(br, 6)) : t;
}

// samplingFrequencyIndex with its 24-bit escape; the rate, 0 when the index
// is reserved.
uint32_t read_frequency(BitReader &br, int *index, bool *explicit_frequency) {
    *index = static_cast<int>(read_bits(br, 4));
    *explicit_frequency = *index == 15;
    if (*explicit_frequency) {
        const uint32_t rate = read_bits(br, 24);
        *index = sampling_index_of_rate(rate);
        return rate;
    }
    return sampling_rate_of_index(static_cast<uint32_t>(*index));
}

const char *object_type_reason(int type) {
    switch (type) {
    case 0: return "audio object type 0 (null) is invalid";
    case 1: return "AAC Main is not supported (only Low Complexity)";
    case 3: return "AAC SSR is not supported (only Low Complexity)";
    case 4: return "AAC LTP is not supported (only Low Complexity)";
    case 17: case 19: case 20: case 23: case 39:
        return "error resilient AAC is not supported (only Low Complexity)";
    case 22: return "BSAC is not supported (only Low Complexity AAC)";
    case 42: return "USAC is not supported (only Low Complexity AAC)";
    default: return "the audio object type is not AAC Low Complexity";
    }
}

} // namespace

const char *read_audio_specific_config(BitReader &br, size_t end_bit, AudioSpecificConfig *asc) {
    AudioSpecificConfig &a = *asc;
    a = AudioSpecificConfig{};
    const size_t start = br.pos;
    const size_t saved_origin = br.origin;
    br.origin = start;
    struct RestoreOrigin {
        BitReader &br;
        size_t origin;
        ~RestoreOrigin() { br.origin = origin; }
    } restore{br, saved_origin};

    a.object_type = read_object_type(br);
    int index = 0;
    bool explicit_frequency = false;
    a.sampling_rate = read_frequency(br, &index, &explicit_frequency);
    a.channel_config = static_cast<int>(read_bits(br, 4));
    if (a.object_type == kObjectSbr || a.object_type == kObjectPs) {
        a.sbr = true;
        a.ps = a.object_type == kObjectPs;
        int ext_index = 0;
        bool ext_explicit = false;
        a.extension_sampling_rate = read_frequency(br, &ext_index, &ext_explicit);
        a.object_type = read_object_type(br);
    }
    if (br.overrun) return "AudioSpecificConfig is truncated";
    if (a.object_type != kObjectLc) return object_type_reason(a.object_type);
    if (explicit_frequency && index < 0) return "explicit sampling frequency is not one of the twelve AAC rates";
    if (index == 12) return "sampling rate 7350 Hz (index 12) is not supported";
    if (index < 0 || index > 11) return "sampling frequency index is reserved";
    a.explicit_frequency = explicit_frequency;
    a.sampling_index = index;

    // GASpecificConfig
    a.frame_length_flag = static_cast<int>(read_bits(br, 1));
    a.depends_on_core_coder = static_cast<int>(read_bits(br, 1));
    if (a.depends_on_core_coder) a.core_coder_delay = static_cast<int>(read_bits(br, 14));
    a.extension_flag = static_cast<int>(read_bits(br, 1));
    if (a.channel_config == 0) {
        if (!read_prog_config(br, &a.prog_config)) return "AudioSpecificConfig is truncated";
        a.num_prog_configs = 1;
    }
    if (a.extension_flag) (void)read_bits(br, 1); // extensionFlag3
    if (br.overrun) return "AudioSpecificConfig is truncated";

    // Backward-compatible signalling of SBR (and PS) after the core's
    // configuration, when its length is known.
    if (end_bit >= br.pos + 16) {
        BitReader ext = br;
        if (read_bits(ext, 11) == kSyncExtension && read_object_type(ext) == kObjectSbr &&
            read_bits(ext, 1) == 1) {
            int ext_index = 0;
            bool ext_explicit = false;
            a.extension_sampling_rate = read_frequency(ext, &ext_index, &ext_explicit);
            if (end_bit >= ext.pos + 12 && read_bits(ext, 11) == kPsSyncExtension) {
                a.ps = read_bits(ext, 1) == 1;
            }
            if (!ext.overrun && ext.pos <= end_bit) {
                a.sbr = true;
                br.pos = ext.pos;
            } else {
                a.ps = false;
            }
        }
    }
    a.bits = br.pos - start;

    if (a.frame_length_flag) return "960-sample frames are not supported (only 1024)";
    if (a.depends_on_core_coder) return "AAC depending on a core coder is not supported";
    if (a.channel_config == 0) {
        if (const char *why = prog_config_unsupported_reason(a.prog_config)) return why;
        if (a.prog_config.samplingFrequencyIndex != a.sampling_index) {
            return "the program configuration's sampling rate differs from the AudioSpecificConfig's";
        }
        a.channels = prog_config_channels(a.prog_config);
    } else if (a.channel_config <= 6) {
        a.channels = channels_of_config(a.channel_config);
    } else if (a.channel_config == 7) {
        return "channel configuration 7 (eight channels) is not supported (at most six)";
    } else {
        return "channel configuration above 7 is not supported";
    }
    return nullptr;
}

const char *parse_audio_specific_config(const uint8_t *p, size_t size, AudioSpecificConfig *asc) {
    if (p == nullptr || size < 2) {
        *asc = AudioSpecificConfig{};
        return "AudioSpecificConfig is truncated";
    }
    BitReader br = bit_reader(p, size);
    return read_audio_specific_config(br, size * 8, asc);
}

const char *explicit_sbr_reason(const AudioSpecificConfig &asc) {
    if (asc.ps) return "HE-AAC v2 (SBR and parametric stereo) is not supported (only Low Complexity)";
    if (asc.sbr) return "HE-AAC (SBR) is not supported (only Low Complexity)";
    return nullptr;
}

bool same_audio_config(const AudioSpecificConfig &a, const AudioSpecificConfig &b) {
    return a.object_type == b.object_type && a.sampling_index == b.sampling_index &&
           a.channel_config == b.channel_config && a.frame_length_flag == b.frame_length_flag &&
           a.num_prog_configs == b.num_prog_configs && a.sbr == b.sbr && a.ps == b.ps &&
           (a.num_prog_configs == 0 ||
            std::memcmp(&a.prog_config, &b.prog_config, sizeof a.prog_config) == 0);
}

void block_params_from_asc(AudioSpecificConfig *asc, AacdBlockParams *params) {
    params->num_prog_configs = asc->num_prog_configs;
    params->prog_configs = asc->num_prog_configs ? &asc->prog_config : nullptr;
    params->sampling_index = static_cast<uint32_t>(asc->sampling_index);
}

} // namespace aacd_fmt
