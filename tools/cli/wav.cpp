// wav.cpp - WAV header and sample writing, slot-to-speaker mapping.
#include "wav.h"

namespace aacd_cli {

namespace {

void put16(std::vector<uint8_t> &v, uint32_t x) {
    v.push_back(static_cast<uint8_t>(x));
    v.push_back(static_cast<uint8_t>(x >> 8));
}
void put32(std::vector<uint8_t> &v, uint32_t x) {
    put16(v, x & 0xFFFF);
    put16(v, x >> 16);
}
void put_tag(std::vector<uint8_t> &v, const char *t) { v.insert(v.end(), t, t + 4); }

// KSDATAFORMAT_SUBTYPE_PCM without its first two bytes (the format code).
constexpr uint8_t kPcmGuidTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                      0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

} // namespace

ChannelLayout layout_for_slots(uint32_t slot_mask) {
    ChannelLayout l;
    constexpr uint32_t kSlotSpeaker[6] = {kSpeakerFrontCenter, kSpeakerFrontLeft, kSpeakerFrontRight,
                                          kSpeakerBackLeft,    kSpeakerBackRight, kSpeakerLfe};
    struct Entry {
        uint32_t speaker;
        int source;
    } e[6];
    int n = 0;
    for (int s = 0; s < 6; ++s) {
        if (!(slot_mask & (1u << s))) continue;
        uint32_t sp = kSlotSpeaker[s];
        if (s == 3 && !(slot_mask & (1u << 4))) sp = kSpeakerBackCenter;
        e[n] = {sp, n};
        ++n;
    }
    // Insertion sort by speaker bit (at most six entries).
    for (int i = 1; i < n; ++i) {
        for (int j = i; j > 0 && e[j - 1].speaker > e[j].speaker; --j) {
            const Entry t = e[j];
            e[j] = e[j - 1];
            e[j - 1] = t;
        }
    }
    l.channels = n;
    for (int k = 0; k < n; ++k) {
        l.source[k] = e[k].source;
        l.speaker[k] = e[k].speaker;
        l.channel_mask |= e[k].speaker;
    }
    return l;
}

bool wav_uses_extensible(const WavFormat &f) { return f.channels > 2 || f.bits > 16; }

std::vector<uint8_t> wav_header(const WavFormat &f, uint64_t data_bytes) {
    const bool ext = wav_uses_extensible(f);
    const uint32_t fmt_size = ext ? 40 : 16;
    const uint32_t header = 12 + 8 + fmt_size + 8;
    const uint16_t block_align = static_cast<uint16_t>(f.channels * (f.bits / 8));
    const uint64_t riff = data_bytes > UINT64_MAX - header ? UINT64_MAX : data_bytes + header - 8;
    std::vector<uint8_t> v;
    v.reserve(header);
    put_tag(v, "RIFF");
    put32(v, riff > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(riff));
    put_tag(v, "WAVE");
    put_tag(v, "fmt ");
    put32(v, fmt_size);
    put16(v, ext ? 0xFFFE : 1);
    put16(v, f.channels);
    put32(v, f.sample_rate);
    put32(v, f.sample_rate * block_align);
    put16(v, block_align);
    put16(v, f.bits);
    if (ext) {
        put16(v, 22);     // extension size
        put16(v, f.bits); // valid bits per sample
        put32(v, f.channel_mask);
        put16(v, 1); // sub-format: PCM
        v.insert(v.end(), kPcmGuidTail, kPcmGuidTail + sizeof kPcmGuidTail);
    }
    put_tag(v, "data");
    put32(v, data_bytes > 0xFFFFFFFFu - header ? 0xFFFFFFFFu : static_cast<uint32_t>(data_bytes));
    return v;
}

void wav_pack_samples(const int32_t *samples, size_t count, int bits, std::vector<uint8_t> *out) {
    const size_t bytes = static_cast<size_t>(bits / 8);
    const size_t base = out->size();
    out->resize(base + count * bytes);
    uint8_t *p = out->data() + base;
    for (size_t i = 0; i < count; ++i) {
        const uint32_t x = static_cast<uint32_t>(samples[i]);
        p[0] = static_cast<uint8_t>(x);
        p[1] = static_cast<uint8_t>(x >> 8);
        if (bytes == 3) p[2] = static_cast<uint8_t>(x >> 16);
        p += bytes;
    }
}

bool WavWriter::start(std::FILE *f, const WavFormat &fmt) {
    f_ = f;
    fmt_ = fmt;
    data_bytes_ = 0;
    seekable_ = std::fseek(f, 0, SEEK_CUR) == 0 && std::ftell(f) == 0;
    const std::vector<uint8_t> h = wav_header(fmt, seekable_ ? 0 : UINT64_MAX);
    return std::fwrite(h.data(), 1, h.size(), f) == h.size();
}

bool WavWriter::write(const int32_t *samples, size_t frames) {
    buf_.clear();
    wav_pack_samples(samples, frames * fmt_.channels, fmt_.bits, &buf_);
    data_bytes_ += buf_.size();
    return std::fwrite(buf_.data(), 1, buf_.size(), f_) == buf_.size();
}

bool WavWriter::finish() {
    if (seekable_) {
        const std::vector<uint8_t> h = wav_header(fmt_, data_bytes_);
        if (std::fseek(f_, 0, SEEK_SET) != 0) return false;
        if (std::fwrite(h.data(), 1, h.size(), f_) != h.size()) return false;
        if (std::fseek(f_, 0, SEEK_END) != 0) return false;
    }
    return std::fflush(f_) == 0;
}

} // namespace aacd_cli
