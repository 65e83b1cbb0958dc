// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
/*
 * wav.h - WAV output and the mapping from decoder channel slots to WAV order.
 *
 * The decoder writes the present channel slots in slot order: 0 front
 * centre, 1 front left, 2 front right, 3 back left, 4 back right, 5 LFE.
 * WAV files order their channels by speaker position bit (FL FR FC LFE BL
 * BR ...).  A lone back channel (slot 3 present, slot 4 absent, as in the
 * 4.0 layout with one back single channel element) is the back centre.
 *
 * The header is plain PCM (format 1) for one or two channels at 16 bits and
 * WAVE_FORMAT_EXTENSIBLE (with the channel mask and the PCM sub-format)
 * otherwise: above two channels and for 24-bit samples.  Samples are 16-bit
 * or packed 24-bit little endian.  Data beyond 4 GiB makes the file RF64.
 */
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace aacd_cli {

// Speaker position bits of WAVE_FORMAT_EXTENSIBLE.
enum : uint32_t {
    kSpeakerFrontLeft = 0x1,
    kSpeakerFrontRight = 0x2,
    kSpeakerFrontCenter = 0x4,
    kSpeakerLfe = 0x8,
    kSpeakerBackLeft = 0x10,
    kSpeakerBackRight = 0x20,
    kSpeakerBackCenter = 0x100,
};

// Where the channels of one decoded frame go.
struct ChannelLayout {
    int channels = 0;           // present slots
    uint32_t slot_mask = 0;     // bit s set: slot s present
    uint32_t channel_mask = 0;  // speaker bits of those channels
    // source[k]: index, within the decoder's interleaved frame (present slots
    // in slot order), of the k-th WAV channel; slot[k]: its channel slot.
    int source[6] = {0, 0, 0, 0, 0, 0};
    int slot[6] = {0, 0, 0, 0, 0, 0};
    uint32_t speaker[6] = {0, 0, 0, 0, 0, 0}; // speaker bit of WAV channel k
};

// Layout for a set of present slots (bit s set = slot s present).
[[nodiscard]] ChannelLayout layout_for_slots(uint32_t slot_mask);

// Speaker names of a layout, e.g. "FL FR FC LFE BL BR".
[[nodiscard]] std::string speaker_names(const ChannelLayout &l);

// One decoded frame: 1024 samples of every present channel slot, slot s at
// planes + kPlaneStride * s (the decoder's per-slot output).
constexpr size_t kPlaneStride = 2048;
struct OutFrame {
    const int32_t *planes = nullptr;
    const ChannelLayout *layout = nullptr;
    uint32_t sample_rate = 0;
};

// Samples [first, first + count) of every channel of a frame, interleaved
// in WAV order, as little-endian 16-bit or packed 24-bit values at dst
// (count * channels * bits / 8 bytes), in one pass.
void pack_frame(const OutFrame &f, size_t first, size_t count, int bits, uint8_t *dst);

// Appends the frame's samples, interleaved in WAV order, to out.
void append_samples(const OutFrame &f, std::vector<int32_t> *out);

struct WavFormat {
    uint32_t sample_rate = 0;
    uint16_t channels = 0;
    uint16_t bits = 16;         // 16 or 24
    uint32_t channel_mask = 0;  // used with WAVE_FORMAT_EXTENSIBLE
};

[[nodiscard]] bool wav_uses_extensible(const WavFormat &f);
[[nodiscard]] bool operator==(const WavFormat &a, const WavFormat &b);

// Complete header for data_bytes of sample data: RIFF/WAVE (44 bytes for
// PCM, 68 for extensible) with sizes above the 32-bit range written as
// 0xFFFFFFFF, or, with rf64, an RF64 header whose ds64 chunk holds the
// 64-bit sizes (36 bytes longer).
[[nodiscard]] std::vector<uint8_t> wav_header(const WavFormat &f, uint64_t data_bytes, bool rf64 = false);

// Largest data size a RIFF header can state.
[[nodiscard]] uint64_t wav_riff_limit(const WavFormat &f);

// Writes a WAV file to a file descriptor.
//
// Seekable file: the header is written with the sizes at 0 and patched at
// finish(); past the RIFF limit the file becomes RF64 (the samples are moved
// up to make room for the ds64 chunk).  Pipe: the header must be right from
// the start, so it states expected_bytes when the caller knows them (RF64
// when they pass the RIFF limit) and otherwise the maximum sizes, which
// readers take as "up to the end of the data".
class WavWriter {
public:
    // flush_each: write every frame through at once (live streams).
    [[nodiscard]] bool start(int fd, const WavFormat &fmt, uint64_t expected_bytes = UINT64_MAX,
                             bool flush_each = false);
    [[nodiscard]] bool write(const OutFrame &f, size_t first, size_t count);
    [[nodiscard]] bool finish();
    [[nodiscard]] uint64_t data_bytes() const { return data_bytes_; }
    [[nodiscard]] const WavFormat &format() const { return fmt_; }
    // Reason of the last failure (from the system).
    [[nodiscard]] const std::string &error() const { return error_; }

private:
    bool put(const uint8_t *p, size_t n);
    bool flush();

    int fd_ = -1;
    WavFormat fmt_{};
    uint64_t data_bytes_ = 0;
    size_t header_bytes_ = 0;
    bool seekable_ = false;
    bool flush_each_ = false;
    std::vector<uint8_t> buf_;
    size_t used_ = 0;
    std::string error_;
};

} // namespace aacd_cli
