// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// latm.cpp - LOAS sync layer and the LATM AudioMuxElement; see formats.h.
#include "formats.h"

namespace aacd_fmt {

namespace {

// LatmGetValue(): 2 bits of byte count, then 1 to 4 bytes.
uint32_t latm_value(BitReader &br) {
    const int bytes = static_cast<int>(read_bits(br, 2)) + 1;
    return read_bits(br, 8 * bytes);
}

const char *read_stream_mux_config(BitReader &br, LatmConfig *cfg) {
    LatmConfig c;
    c.audio_mux_version = static_cast<int>(read_bits(br, 1));
    if (c.audio_mux_version == 1 && read_bits(br, 1) != 0) {
        return "LATM with audioMuxVersionA 1 is not supported";
    }
    if (c.audio_mux_version == 1) (void)latm_value(br); // taraBufferFullness
    c.all_streams_same_time_framing = read_bits(br, 1) != 0;
    c.num_sub_frames = static_cast<int>(read_bits(br, 6)) + 1;
    if (read_bits(br, 4) != 0) return "LATM with more than one program is not supported";
    if (read_bits(br, 3) != 0) return "LATM with more than one layer is not supported";
    if (br.overrun) return "LATM StreamMuxConfig is truncated";
    if (c.audio_mux_version == 0) {
        if (const char *why = read_audio_specific_config(br, 0, &c.asc)) return why;
    } else {
        const uint32_t asc_bits = latm_value(br);
        const size_t end = br.pos + asc_bits;
        if (asc_bits > bits_left(br)) return "LATM StreamMuxConfig is truncated";
        if (const char *why = read_audio_specific_config(br, end, &c.asc)) return why;
        if (br.pos > end) return "LATM AudioSpecificConfig is longer than its stated length";
        br.pos = end; // fill bits
    }
    c.frame_length_type = static_cast<int>(read_bits(br, 3));
    if (c.frame_length_type != 0) return "LATM with fixed or coded frame lengths is not supported";
    c.latm_buffer_fullness = static_cast<int>(read_bits(br, 8));
    if (read_bits(br, 1) != 0) { // otherDataPresent
        if (c.audio_mux_version == 1) {
            c.other_data_bits = latm_value(br);
        } else {
            uint32_t esc = 1;
            for (int i = 0; esc && i < 4; ++i) {
                esc = read_bits(br, 1);
                c.other_data_bits = (c.other_data_bits << 8) | read_bits(br, 8);
            }
            if (esc) return "LATM other data length is too long";
        }
    }
    c.crc_check_present = read_bits(br, 1) != 0;
    if (c.crc_check_present) (void)read_bits(br, 8); // crcCheckSum, not verified
    if (br.overrun) return "LATM StreamMuxConfig is truncated";
    if (!c.all_streams_same_time_framing) return "LATM with streams of different time framing is not supported";
    c.valid = true;
    *cfg = c;
    return nullptr;
}

} // namespace

bool parse_loas_header(const uint8_t *p, size_t avail, size_t *length) {
    if (avail < 3 || p[0] != 0x56 || (p[1] & 0xE0) != 0xE0) return false;
    *length = (static_cast<size_t>(p[1] & 0x1F) << 8) | p[2];
    return true;
}

const char *parse_audio_mux_element(const uint8_t *p, size_t size, LatmConfig *cfg, uint8_t *out,
                                    size_t cap, LatmPayloads *payloads) {
    *payloads = LatmPayloads{};
    LatmConfig c = *cfg; // taken over only when the whole element is usable
    BitReader br = bit_reader(p, size);
    if (read_bits(br, 1) == 0) { // useSameStreamMux = 0: a configuration follows
        LatmConfig next;
        if (const char *why = read_stream_mux_config(br, &next)) return why;
        payloads->config_changed = !c.valid || !same_audio_config(c.asc, next.asc);
        c = next;
    } else if (!c.valid) {
        return "LATM frame refers to a configuration not received yet";
    }
    size_t used = 0;
    for (int i = 0; i < c.num_sub_frames; ++i) {
        size_t len = 0;
        uint32_t tmp = 255;
        while (tmp == 255 && !br.overrun) len += tmp = read_bits(br, 8);
        if (len > bits_left(br) / 8 || len > cap - used) return "LATM payload is truncated";
        payloads->offset[i] = static_cast<uint32_t>(used);
        payloads->size[i] = static_cast<uint32_t>(len);
        for (size_t k = 0; k < len; ++k) out[used++] = static_cast<uint8_t>(read_bits(br, 8));
        payloads->count = i + 1;
    }
    if (c.other_data_bits > bits_left(br)) return "LATM other data is truncated";
    *cfg = c;
    return nullptr;
}

} // namespace aacd_fmt
