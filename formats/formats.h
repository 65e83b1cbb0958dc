// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
/*
 * formats.h - the AAC stream formats a host meets around the raw data blocks
 * the decoder reads: ADTS and ADIF headers, the AudioSpecificConfig of MP4
 * and of media frameworks' codec data, LATM/LOAS, and the program
 * configuration element inside all of them, converted to the decoder's
 * AacdProgConfig records.
 *
 * Every parser reads only within the bytes it is given: a field running past
 * the end reads as zero bits and makes the parse fail; no length found in
 * the stream is trusted before it is checked against what is there.  No
 * function allocates, keeps state of its own or does I/O.
 *
 * Refusals come as a reason text (a static string, never null when the
 * function fails), worded for the user: "program configuration with side
 * channel elements is not supported".
 *
 * SBR in a stream that does not signal it (implicit signalling) shows only
 * inside the raw data blocks, in fill elements after the channel elements;
 * the decoder finds them.  A host that wants to know runs the decoder in
 * SBR hand-off mode (AacdDecoderConfig.sbr_mode = 1): the frame's SBR
 * payloads then arrive in sbr.payload (entry_count > 0) and the audio of
 * slot c in sbr.core_output + 2048*c, the same samples as in the PCM buffer.
 */
#pragma once

#include <cstddef>
#include <cstdint>

#include "aacd.h"

namespace aacd_fmt {

// ------------------------------------------------------------------ basics

// Sampling rate of a sampling-frequency index: 96000 .. 8000 for 0 .. 11,
// 0 for any other index.
[[nodiscard]] uint32_t sampling_rate_of_index(uint32_t index);

// Index 0..11 of one of the twelve rates, or -1.
[[nodiscard]] int sampling_index_of_rate(uint32_t rate);

// Most-significant-bit-first reader over size bytes.  Bits past the end read
// as zero and set overrun.  align() moves to the next byte boundary counted
// from bit `origin` (the start of the structure being parsed).
struct BitReader {
    const uint8_t *data = nullptr;
    size_t size = 0;     // bytes
    size_t pos = 0;      // bits read
    size_t origin = 0;   // bit the byte alignment counts from
    bool overrun = false;
};

[[nodiscard]] inline BitReader bit_reader(const uint8_t *data, size_t size) {
    BitReader br;
    br.data = data;
    br.size = size;
    return br;
}

// Reads n bits (0..32).
uint32_t read_bits(BitReader &br, int n);
void skip_bits(BitReader &br, size_t n);
void align(BitReader &br);
// Bits left before the end (0 after an overrun).
[[nodiscard]] size_t bits_left(const BitReader &br);

// ------------------------------------------------------------------ program configuration

// Reads a program_config_element() from its element_instance_tag on into
// *pce (zeroed first; the tag goes to pce->elementInstanceTag, the comment
// is skipped).  Its byte_alignment() counts from br.origin.  False when the
// element runs past the end of the data.
[[nodiscard]] bool read_prog_config(BitReader &br, AacdProgConfig *pce);

// Channels of a program configuration (a pair counts two).
[[nodiscard]] int prog_config_channels(const AacdProgConfig &pce);

// Null when the decoder can decode this program configuration, else why not.
[[nodiscard]] const char *prog_config_unsupported_reason(const AacdProgConfig &pce);

// ------------------------------------------------------------------ ADTS

// Fixed and variable ADTS header (the first 56 bits of a frame).
struct AdtsHeader {
    int mpeg_id = 0;               // 1 = MPEG-2, 0 = MPEG-4
    bool protection_absent = true; // false: CRC words present
    int profile = 0;               // 2-bit field: 0 Main, 1 LC, 2 SSR, 3 reserved
    int sampling_index = 0;
    int private_bit = 0;
    int channel_config = 0;        // 0 = program configuration element in band
    int original_copy = 0;
    int home = 0;
    int frame_length = 0;          // bytes, header included
    int buffer_fullness = 0;       // 0x7FF = variable rate
    int raw_blocks = 1;            // number of raw data blocks, 1..4
};

// Parses the 7 header bytes at p (avail readable bytes).  False when fewer
// than 7 bytes are there, the syncword or layer is wrong, or the frame
// length cannot hold the header and its CRC words.
[[nodiscard]] bool parse_adts_header(const uint8_t *p, size_t avail, AdtsHeader *h);

// Header bytes in front of the first raw data block (header, block
// positions and header CRC when protected).
[[nodiscard]] int adts_first_block_offset(const AdtsHeader &h);

// Null when the decoder can decode a stream with this header, else why not.
[[nodiscard]] const char *adts_unsupported_reason(const AdtsHeader &h);

// Channels of channel configurations 0..7 (0: given by a program
// configuration; 7 is eight channels).
[[nodiscard]] int channels_of_config(int channel_config);

// ------------------------------------------------------------------ ADIF

struct AdifHeader {
    bool copyright_id_present = false;
    uint8_t copyright_id[9] = {};
    int original_copy = 0;
    int home = 0;
    int bitstream_type = 0; // 0 constant rate, 1 variable rate
    uint32_t bitrate = 0;   // bits per second (23-bit field)
    int num_pce = 0;        // 1..16
    uint32_t buffer_fullness[16] = {};
    AacdProgConfig pce[16] = {};
    size_t header_bytes = 0; // offset of the first raw data block
};

// Parses an ADIF header at the start of p.  Null on success, else why it
// failed (no signature, truncated).  The program configurations are
// converted but not checked for support (prog_config_unsupported_reason).
[[nodiscard]] const char *parse_adif_header(const uint8_t *p, size_t size, AdifHeader *h);

// ------------------------------------------------------------------ AudioSpecificConfig

struct AudioSpecificConfig {
    int object_type = 0;         // audio object type (escape resolved); 2 = LC
                                 // (the core's type when SBR/PS is signalled)
    int sampling_index = 0;      // 0..11 (also for an explicit frequency)
    uint32_t sampling_rate = 0;  // Hz
    bool explicit_frequency = false;
    int channel_config = 0;      // 0 = program configuration below
    int channels = 0;            // from the configuration or the PCE
    int frame_length_flag = 0;   // 1 = 960-sample frames
    int depends_on_core_coder = 0;
    int core_coder_delay = 0;
    int extension_flag = 0;
    int num_prog_configs = 0;    // 1 with channel configuration 0
    AacdProgConfig prog_config{};
    // Explicitly signalled SBR (object type 5 or 29, or the backward
    // compatible sync extension 0x2b7 with sbrPresentFlag) and PS.
    bool sbr = false;
    bool ps = false;
    uint32_t extension_sampling_rate = 0; // SBR output rate when signalled
    size_t bits = 0;             // length of the AudioSpecificConfig in bits
};

// Parses an AudioSpecificConfig() at br's position; its PCE aligns from that
// position.  end_bit bounds the search for the sync extension (the end of
// the configuration when its length is known, as in MP4 codec data or LATM
// version 1; 0 when the length is not known, as in LATM version 0).  Null when the core is
// Low Complexity AAC the decoder can decode, whether or not SBR/PS is
// signalled (see sbr, ps and explicit_sbr_reason); else why not.
[[nodiscard]] const char *read_audio_specific_config(BitReader &br, size_t end_bit,
                                                     AudioSpecificConfig *asc);

// The same for a whole buffer (MP4 esds, codec_data of media frameworks).
[[nodiscard]] const char *parse_audio_specific_config(const uint8_t *p, size_t size,
                                                      AudioSpecificConfig *asc);

// Null when no SBR/PS is signalled, else a message for a host that refuses
// such streams (the decoder decodes only their AAC core, at half the rate).
[[nodiscard]] const char *explicit_sbr_reason(const AudioSpecificConfig &asc);

// True when two configurations decode alike (type, rate, channels, PCE, SBR).
[[nodiscard]] bool same_audio_config(const AudioSpecificConfig &a, const AudioSpecificConfig &b);

// The decoder's stream parameters for raw data blocks of this configuration:
// the program configuration record (channel configuration 0) or the fixed
// parameters with the sampling index.  params->prog_configs points into
// *asc, which must outlive its use.  config_id and frame_bytes are left as
// they were (the host changes config_id when the configuration changes).
void block_params_from_asc(AudioSpecificConfig *asc, AacdBlockParams *params);

// ------------------------------------------------------------------ LATM / LOAS

// AudioSyncStream: a LOAS frame is the 11-bit syncword 0x2B7, a 13-bit
// length, and that many bytes of AudioMuxElement.  Parses the 3 header bytes
// at p; *length receives the AudioMuxElement's bytes.  False when fewer than
// 3 bytes are there or the syncword is wrong.
[[nodiscard]] bool parse_loas_header(const uint8_t *p, size_t avail, size_t *length);

// StreamMuxConfig as last received, with its one AudioSpecificConfig.
struct LatmConfig {
    bool valid = false;           // a StreamMuxConfig has been read
    int audio_mux_version = 0;    // 0 or 1
    bool all_streams_same_time_framing = true;
    int num_sub_frames = 1;       // payloads per AudioMuxElement (1..64)
    int frame_length_type = 0;    // only 0 (byte lengths) is supported
    int latm_buffer_fullness = 0;
    uint32_t other_data_bits = 0; // otherDataLenBits (0: none)
    bool crc_check_present = false;
    AudioSpecificConfig asc{};
};

// The payloads of one AudioMuxElement: raw data blocks, copied byte aligned
// into the caller's buffer (they need not be aligned in the element).
struct LatmPayloads {
    int count = 0;                  // 1..64
    uint32_t offset[64] = {};       // start of payload i in the buffer
    uint32_t size[64] = {};         // bytes of payload i
    bool config_changed = false;    // this element brought a configuration
                                    // that decodes differently from before
};

// Parses one AudioMuxElement with muxConfigPresent = 1 (as carried in LOAS
// frames; p points past the 3-byte sync header) using and updating *cfg.
// Payloads are copied to out (cap bytes; size bytes are always enough).
// Null on success, else why the element cannot be used: malformed or
// truncated, no configuration received yet, or a configuration other than
// one program with one layer of Low Complexity AAC with byte lengths.  *cfg
// changes only when the whole element is usable.
[[nodiscard]] const char *parse_audio_mux_element(const uint8_t *p, size_t size, LatmConfig *cfg,
                                                  uint8_t *out, size_t cap, LatmPayloads *payloads);

} // namespace aacd_fmt
