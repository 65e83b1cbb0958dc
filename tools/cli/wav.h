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
 * or packed 24-bit little endian.
 */
#pragma once

#include <cstdint>
#include <cstdio>
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
    uint32_t channel_mask = 0;  // speaker bits of those channels
    // source[k]: index, within the decoder's interleaved frame (present slots
    // in slot order), of the k-th WAV channel.
    int source[6] = {0, 0, 0, 0, 0, 0};
    uint32_t speaker[6] = {0, 0, 0, 0, 0, 0}; // speaker bit of WAV channel k
};

// Layout for a set of present slots (bit s set = slot s present).
[[nodiscard]] ChannelLayout layout_for_slots(uint32_t slot_mask);

struct WavFormat {
    uint32_t sample_rate = 0;
    uint16_t channels = 0;
    uint16_t bits = 16;         // 16 or 24
    uint32_t channel_mask = 0;  // used with WAVE_FORMAT_EXTENSIBLE
};

[[nodiscard]] bool wav_uses_extensible(const WavFormat &f);

// Complete header (44 bytes for PCM, 68 for extensible) for data_bytes of
// sample data; sizes above the 32-bit range are written as 0xFFFFFFFF.
[[nodiscard]] std::vector<uint8_t> wav_header(const WavFormat &f, uint64_t data_bytes);

// Appends frames of interleaved samples (in WAV channel order) to out.
void wav_pack_samples(const int32_t *samples, size_t count, int bits, std::vector<uint8_t> *out);

// Streams a WAV file.  The header is rewritten with the final sizes at
// finish() when the file is seekable; on a pipe the sizes stay at their
// maximum, which readers take as "until the end of the data".
class WavWriter {
public:
    // Writes the provisional header.
    [[nodiscard]] bool start(std::FILE *f, const WavFormat &fmt);
    [[nodiscard]] bool write(const int32_t *samples, size_t frames);
    [[nodiscard]] bool finish();
    [[nodiscard]] uint64_t data_bytes() const { return data_bytes_; }

private:
    std::FILE *f_ = nullptr;
    WavFormat fmt_{};
    uint64_t data_bytes_ = 0;
    bool seekable_ = false;
    std::vector<uint8_t> buf_;
};

} // namespace aacd_cli
