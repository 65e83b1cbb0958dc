// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// formats.cpp - bit reader, program configuration element, ADTS and ADIF
// headers; see formats.h.
#include "formats.h"

#include <cstring>
#include <initializer_list>

namespace aacd_fmt {

namespace {

constexpr uint32_t kRates[12] = {96000, 88200, 64000, 48000, 44100, 32000,
                                 24000, 22050, 16000, 12000, 11025, 8000};

void read_list(BitReader &br, AacdElementList &list, bool with_cpe) {
    for (int i = 0; i < list.numElements; ++i) {
        list.isCpe[i] = with_cpe ? static_cast<int32_t>(read_bits(br, 1)) : 0;
        list.tag[i] = static_cast<int32_t>(read_bits(br, 4));
    }
}

int32_t field(BitReader &br, int n) { return static_cast<int32_t>(read_bits(br, n)); }

} // namespace

uint32_t sampling_rate_of_index(uint32_t index) { return index < 12 ? kRates[index] : 0; }

int sampling_index_of_rate(uint32_t rate) {
    for (int i = 0; i < 12; ++i) {
        if (kRates[i] == rate) return i;
    }
    return -1;
}

uint32_t read_bits(BitReader &br, int n) {
    uint32_t v = 0;
    while (n > 0) {
        const size_t byte = br.pos >> 3;
        const int offset = static_cast<int>(br.pos & 7);
        const int take = n < 8 - offset ? n : 8 - offset;
        uint32_t bits = 0;
        if (byte < br.size) {
            bits = (static_cast<uint32_t>(br.data[byte]) >> (8 - offset - take)) & ((1u << take) - 1);
        } else {
            br.overrun = true;
        }
        v = (v << take) | bits;
        br.pos += static_cast<size_t>(take);
        n -= take;
    }
    return v;
}

void skip_bits(BitReader &br, size_t n) {
    if (n > bits_left(br)) {
        br.overrun = true;
        br.pos = br.size * 8;
        return;
    }
    br.pos += n;
}

void align(BitReader &br) {
    const size_t rel = (br.pos - br.origin) & 7;
    if (rel != 0) skip_bits(br, 8 - rel);
}

size_t bits_left(const BitReader &br) {
    const size_t total = br.size * 8;
    return br.overrun || br.pos >= total ? 0 : total - br.pos;
}

// ------------------------------------------------------------------ program configuration

bool read_prog_config(BitReader &br, AacdProgConfig *pce) {
    AacdProgConfig &r = *pce;
    std::memset(&r, 0, sizeof r);
    r.elementInstanceTag = field(br, 4);
    r.profile = field(br, 2);
    r.samplingFrequencyIndex = field(br, 4);
    r.front.numElements = field(br, 4);
    r.side.numElements = field(br, 4);
    r.back.numElements = field(br, 4);
    r.lfe.numElements = field(br, 2);
    r.assocData.numElements = field(br, 3);
    r.validCc.numElements = field(br, 4);
    if ((r.monoMixdown.present = field(br, 1)) != 0) r.monoMixdown.elementNumber = field(br, 4);
    if ((r.stereoMixdown.present = field(br, 1)) != 0) r.stereoMixdown.elementNumber = field(br, 4);
    if ((r.matrixMixdown.present = field(br, 1)) != 0) {
        r.matrixMixdown.index = field(br, 2);
        r.matrixMixdown.pseudoSurround = field(br, 1);
    }
    read_list(br, r.front, true);
    read_list(br, r.side, true);
    read_list(br, r.back, true);
    read_list(br, r.lfe, false);
    read_list(br, r.assocData, false);
    read_list(br, r.validCc, true);
    align(br);
    skip_bits(br, 8 * static_cast<size_t>(read_bits(br, 8)));
    return !br.overrun;
}

int prog_config_channels(const AacdProgConfig &pce) {
    int n = 0;
    for (const AacdElementList *l : {&pce.front, &pce.side, &pce.back}) {
        for (int i = 0; i < l->numElements && i < 16; ++i) n += l->isCpe[i] ? 2 : 1;
    }
    return n + pce.lfe.numElements;
}

const char *prog_config_unsupported_reason(const AacdProgConfig &pce) {
    if (pce.profile != 1) return "program configuration with a profile other than Low Complexity";
    if (pce.samplingFrequencyIndex > 11) return "program configuration with a sampling index above 11";
    if (pce.side.numElements != 0) return "program configuration with side channel elements is not supported";
    if (pce.validCc.numElements != 0) return "coupling channel elements are not supported";
    if (pce.front.numElements > 3 || pce.back.numElements > 2 || pce.lfe.numElements > 1 ||
        prog_config_channels(pce) > 6) {
        return "more than six channels (or more than 3 front, 2 back, 1 LFE elements) are not supported";
    }
    int back = 0;
    for (int i = 0; i < pce.back.numElements; ++i) back += pce.back.isCpe[i] ? 2 : 1;
    if (back > 2) return "more than two back channels are not supported";
    if (prog_config_channels(pce) == 0) return "program configuration without channels";
    return nullptr;
}

// ------------------------------------------------------------------ ADTS

bool parse_adts_header(const uint8_t *p, size_t avail, AdtsHeader *h) {
    if (avail < 7 || p[0] != 0xFF || (p[1] & 0xF0) != 0xF0) return false;
    if ((p[1] & 0x06) != 0) return false; // layer must be 0
    AdtsHeader r;
    r.mpeg_id = (p[1] >> 3) & 1;
    r.protection_absent = (p[1] & 1) != 0;
    r.profile = p[2] >> 6;
    r.sampling_index = (p[2] >> 2) & 0xF;
    r.private_bit = (p[2] >> 1) & 1;
    r.channel_config = ((p[2] & 1) << 2) | (p[3] >> 6);
    r.original_copy = (p[3] >> 5) & 1;
    r.home = (p[3] >> 4) & 1;
    r.frame_length = ((p[3] & 3) << 11) | (p[4] << 3) | (p[5] >> 5);
    r.buffer_fullness = ((p[5] & 0x1F) << 6) | (p[6] >> 2);
    r.raw_blocks = (p[6] & 3) + 1;
    if (r.frame_length < adts_first_block_offset(r)) return false;
    *h = r;
    return true;
}

int adts_first_block_offset(const AdtsHeader &h) {
    if (h.protection_absent) return 7;
    if (h.raw_blocks == 1) return 9;
    return 7 + 2 * (h.raw_blocks - 1) + 2;
}

const char *adts_unsupported_reason(const AdtsHeader &h) {
    if (h.profile != 1) {
        static const char *const names[4] = {
            "profile Main is not supported (only Low Complexity)", "",
            "profile SSR is not supported (only Low Complexity)",
            "profile 3 (LTP/reserved) is not supported (only Low Complexity)"};
        return names[h.profile & 3];
    }
    if (h.sampling_index > 11) return "sampling frequency index above 11 is invalid";
    if (h.channel_config == 7) return "channel configuration 7 (eight channels) is not supported (at most six)";
    return nullptr;
}

int channels_of_config(int channel_config) {
    static constexpr int kChannels[8] = {0, 1, 2, 3, 4, 5, 6, 8};
    return channel_config >= 0 && channel_config < 8 ? kChannels[channel_config] : 0;
}

// ------------------------------------------------------------------ ADIF

const char *parse_adif_header(const uint8_t *p, size_t size, AdifHeader *h) {
    if (size < 4 || std::memcmp(p, "ADIF", 4) != 0) return "no ADIF signature";
    BitReader br = bit_reader(p + 4, size - 4);
    AdifHeader &r = *h;
    r = AdifHeader{};
    r.copyright_id_present = read_bits(br, 1) != 0;
    if (r.copyright_id_present) {
        for (uint8_t &c : r.copyright_id) c = static_cast<uint8_t>(read_bits(br, 8));
    }
    r.original_copy = field(br, 1);
    r.home = field(br, 1);
    r.bitstream_type = field(br, 1);
    r.bitrate = read_bits(br, 23);
    r.num_pce = field(br, 4) + 1;
    for (int i = 0; i < r.num_pce && !br.overrun; ++i) {
        r.buffer_fullness[i] = r.bitstream_type == 0 ? read_bits(br, 20) : 0;
        (void)read_prog_config(br, &r.pce[i]);
    }
    align(br);
    if (br.overrun) return "ADIF header is truncated";
    r.header_bytes = 4 + br.pos / 8;
    return nullptr;
}

} // namespace aacd_fmt
