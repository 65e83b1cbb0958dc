// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// wav.cpp - WAV header and sample writing, slot-to-speaker mapping.
#include "wav.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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
        int source, slot;
    } e[6];
    int n = 0;
    for (int s = 0; s < 6; ++s) {
        if (!(slot_mask & (1u << s))) continue;
        uint32_t sp = kSlotSpeaker[s];
        if (s == 3 && !(slot_mask & (1u << 4))) sp = kSpeakerBackCenter;
        e[n] = {sp, n, s};
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
    l.slot_mask = slot_mask & 0x3F;
    for (int k = 0; k < n; ++k) {
        l.source[k] = e[k].source;
        l.slot[k] = e[k].slot;
        l.speaker[k] = e[k].speaker;
        l.channel_mask |= e[k].speaker;
    }
    return l;
}

std::string speaker_names(const ChannelLayout &l) {
    std::string t;
    for (int k = 0; k < l.channels; ++k) {
        const char *n = "?";
        switch (l.speaker[k]) {
        case kSpeakerFrontLeft: n = "FL"; break;
        case kSpeakerFrontRight: n = "FR"; break;
        case kSpeakerFrontCenter: n = "FC"; break;
        case kSpeakerLfe: n = "LFE"; break;
        case kSpeakerBackLeft: n = "BL"; break;
        case kSpeakerBackRight: n = "BR"; break;
        case kSpeakerBackCenter: n = "BC"; break;
        default: break;
        }
        if (!t.empty()) t += ' ';
        t += n;
    }
    return t;
}

namespace {

// Stores sample v of the interleaved position j as B little-endian bytes.
template <int B>
inline void put_sample(uint8_t *__restrict d, size_t j, int32_t v) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    if constexpr (B == 2) {
        reinterpret_cast<int16_t *>(d)[j] = static_cast<int16_t>(v);
        return;
    }
#endif
    const uint32_t u = static_cast<uint32_t>(v);
    d[j * B] = static_cast<uint8_t>(u);
    d[j * B + 1] = static_cast<uint8_t>(u >> 8);
    if constexpr (B == 3) d[j * B + 2] = static_cast<uint8_t>(u >> 16);
}

#if defined(__SSE2__)
// Eight samples of a plane as 16-bit words: the low 16 bits of each,
// sign-extended first so that the saturating pack keeps them as they are.
inline __m128i low16x8(const int32_t *p) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 4));
    return _mm_packs_epi32(_mm_srai_epi32(_mm_slli_epi32(a, 16), 16), _mm_srai_epi32(_mm_slli_epi32(b, 16), 16));
}

inline void store128(uint8_t *d, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i *>(d), v); }

// Four 32-bit units of each of a, b, c as a0 b0 c0 a1 b1 c1 ... c3 (three
// vectors from d on).
inline void interleave3(__m128i a, __m128i b, __m128i c, uint8_t *d) {
    const __m128i a1 = _mm_srli_si128(a, 4);
    const __m128 ab0 = _mm_castsi128_ps(_mm_unpacklo_epi32(a, b));                   // a0 b0 a1 b1
    const __m128 ca0 = _mm_castsi128_ps(_mm_unpacklo_epi32(c, a1));                  // c0 a1 c1 a2
    const __m128 bc1 = _mm_castsi128_ps(_mm_unpacklo_epi32(_mm_srli_si128(b, 4), _mm_srli_si128(c, 4)));  // b1 c1 b2 c2
    const __m128 ab2 = _mm_castsi128_ps(_mm_unpackhi_epi32(a, b));                   // a2 b2 a3 b3
    const __m128 ca2 = _mm_castsi128_ps(_mm_unpackhi_epi32(c, a1));                  // c2 a3 c3 0
    const __m128 bc2 = _mm_castsi128_ps(_mm_unpackhi_epi32(b, c));                   // b2 c2 b3 c3
    store128(d, _mm_castps_si128(_mm_shuffle_ps(ab0, ca0, _MM_SHUFFLE(1, 0, 1, 0))));
    store128(d + 16, _mm_castps_si128(_mm_shuffle_ps(bc1, ab2, _MM_SHUFFLE(1, 0, 1, 0))));
    store128(d + 32, _mm_castps_si128(_mm_shuffle_ps(ca2, bc2, _MM_SHUFFLE(3, 2, 1, 0))));
}

// 16-bit stereo and 5.1 eight frames at a time; returns the frames done
// (the rest, fewer than eight, is left to the plain loop).
template <int C>
size_t pack16_sse2(const int32_t *const *src, size_t n, uint8_t *d) {
    size_t i = 0;
    for (; i + 8 <= n; i += 8, d += 16 * C) {
        if constexpr (C == 2) {
            const __m128i l = low16x8(src[0] + i), r = low16x8(src[1] + i);
            store128(d, _mm_unpacklo_epi16(l, r));
            store128(d + 16, _mm_unpackhi_epi16(l, r));
        } else {
            // Channel pairs (0 1), (2 3), (4 5) as 32-bit units, frames 0-3
            // then 4-7.
            __m128i p[3][2];
            for (int k = 0; k < 3; ++k) {
                const __m128i x = low16x8(src[2 * k] + i), y = low16x8(src[2 * k + 1] + i);
                p[k][0] = _mm_unpacklo_epi16(x, y);
                p[k][1] = _mm_unpackhi_epi16(x, y);
            }
            interleave3(p[0][0], p[1][0], p[2][0], d);
            interleave3(p[0][1], p[1][1], p[2][1], d + 48);
        }
    }
    return i;
}
#endif

// Interleaves C planes into little-endian samples of B bytes: one tight
// loop per layout, written out over the channels (16-bit stereo and 5.1
// with SSE2 where the compiler targets it).  The planes never overlap the
// destination (restrict).
template <int C, int B>
void pack_planes(const int32_t *const *src, size_t n, uint8_t *dst) {
    size_t first = 0;
#if defined(__SSE2__)
    if constexpr (B == 2 && (C == 2 || C == 6)) first = pack16_sse2<C>(src, n, dst);
#endif
    const int32_t *__restrict s0 = src[0];
    const int32_t *__restrict s1 = src[C > 1 ? 1 : 0];
    const int32_t *__restrict s2 = src[C > 2 ? 2 : 0];
    const int32_t *__restrict s3 = src[C > 3 ? 3 : 0];
    const int32_t *__restrict s4 = src[C > 4 ? 4 : 0];
    const int32_t *__restrict s5 = src[C > 5 ? 5 : 0];
    uint8_t *__restrict d = dst;
    for (size_t i = first; i < n; ++i) {
        put_sample<B>(d, i * C, s0[i]);
        if constexpr (C > 1) put_sample<B>(d, i * C + 1, s1[i]);
        if constexpr (C > 2) put_sample<B>(d, i * C + 2, s2[i]);
        if constexpr (C > 3) put_sample<B>(d, i * C + 3, s3[i]);
        if constexpr (C > 4) put_sample<B>(d, i * C + 4, s4[i]);
        if constexpr (C > 5) put_sample<B>(d, i * C + 5, s5[i]);
    }
}

using PackFn = void (*)(const int32_t *const *, size_t, uint8_t *);
template <int B>
constexpr PackFn kPack[7] = {nullptr,           pack_planes<1, B>, pack_planes<2, B>, pack_planes<3, B>,
                             pack_planes<4, B>, pack_planes<5, B>, pack_planes<6, B>};

} // namespace

void pack_frame(const OutFrame &f, size_t first, size_t count, int bits, uint8_t *dst) {
    const ChannelLayout &l = *f.layout;
    if (l.channels <= 0 || l.channels > 6) return;
    const int32_t *src[6];
    for (int k = 0; k < l.channels; ++k) src[k] = f.planes + kPlaneStride * static_cast<size_t>(l.slot[k]) + first;
    (bits == 24 ? kPack<3> : kPack<2>)[l.channels](src, count, dst);
}

void append_samples(const OutFrame &f, std::vector<int32_t> *out) {
    const ChannelLayout &l = *f.layout;
    for (size_t n = 0; n < 1024; ++n) {
        for (int k = 0; k < l.channels; ++k) out->push_back(f.planes[kPlaneStride * l.slot[k] + n]);
    }
}

bool wav_uses_extensible(const WavFormat &f) { return f.channels > 2 || f.bits > 16; }

bool operator==(const WavFormat &a, const WavFormat &b) {
    return a.sample_rate == b.sample_rate && a.channels == b.channels && a.bits == b.bits &&
           a.channel_mask == b.channel_mask;
}

uint64_t wav_riff_limit(const WavFormat &f) {
    const uint32_t header = wav_uses_extensible(f) ? 68 : 44;
    return 0xFFFFFFFFu - (header - 8);
}

std::vector<uint8_t> wav_header(const WavFormat &f, uint64_t data_bytes, bool rf64) {
    const bool ext = wav_uses_extensible(f);
    const uint32_t fmt_size = ext ? 40 : 16;
    const uint32_t header = 12 + 8 + fmt_size + 8 + (rf64 ? 36 : 0);
    const uint16_t block_align = static_cast<uint16_t>(f.channels * (f.bits / 8));
    const uint64_t riff = data_bytes > UINT64_MAX - header ? UINT64_MAX : data_bytes + header - 8;
    std::vector<uint8_t> v;
    v.reserve(header);
    put_tag(v, rf64 ? "RF64" : "RIFF");
    put32(v, riff > 0xFFFFFFFFu || rf64 ? 0xFFFFFFFFu : static_cast<uint32_t>(riff));
    put_tag(v, "WAVE");
    if (rf64) {
        put_tag(v, "ds64");
        put32(v, 28);
        const uint64_t sizes[3] = {riff, data_bytes, block_align ? data_bytes / block_align : 0};
        for (uint64_t s : sizes) {
            put32(v, static_cast<uint32_t>(s));
            put32(v, static_cast<uint32_t>(s >> 32));
        }
        put32(v, 0); // no table
    }
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
    put32(v, rf64 || data_bytes > 0xFFFFFFFFu - header ? 0xFFFFFFFFu : static_cast<uint32_t>(data_bytes));
    return v;
}

namespace {

// Output is written in pieces of about this size: small enough that the
// packed samples stay in the first-level cache until they are written (a
// 256 KiB buffer made packing measurably slower), large enough that system
// calls do not count.
constexpr size_t kWriteBuffer = size_t{1} << 15;

std::string system_error(const char *what) { return std::string(what) + ": " + std::strerror(errno); }

bool write_all(int fd, const uint8_t *p, size_t n, std::string *err) {
    while (n > 0) {
        const ssize_t w = ::write(fd, p, n);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) {
            *err = w < 0 ? std::strerror(errno) : "nothing written";
            return false;
        }
        p += w;
        n -= static_cast<size_t>(w);
    }
    return true;
}

bool pwrite_all(int fd, const uint8_t *p, size_t n, uint64_t at, std::string *err) {
    while (n > 0) {
        const ssize_t w = ::pwrite(fd, p, n, static_cast<off_t>(at));
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) {
            *err = w < 0 ? std::strerror(errno) : "nothing written";
            return false;
        }
        p += w;
        n -= static_cast<size_t>(w);
        at += static_cast<uint64_t>(w);
    }
    return true;
}

} // namespace

bool WavWriter::start(int fd, const WavFormat &fmt, uint64_t expected_bytes, bool flush_each) {
    fd_ = fd;
    fmt_ = fmt;
    data_bytes_ = 0;
    used_ = 0;
    flush_each_ = flush_each;
    error_.clear();
    struct stat st {};
    seekable_ = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::lseek(fd, 0, SEEK_CUR) == 0;
    std::vector<uint8_t> h;
    if (seekable_) {
        h = wav_header(fmt, 0);
    } else {
        h = wav_header(fmt, expected_bytes, expected_bytes != UINT64_MAX && expected_bytes > wav_riff_limit(fmt));
    }
    header_bytes_ = h.size();
    buf_.resize(kWriteBuffer + 6 * 3 * 1024);
    return put(h.data(), h.size());
}

bool WavWriter::put(const uint8_t *p, size_t n) {
    if (used_ + n > buf_.size() && !flush()) return false;
    std::memcpy(buf_.data() + used_, p, n);
    used_ += n;
    return true;
}

bool WavWriter::flush() {
    if (used_ == 0) return true;
    const bool ok = write_all(fd_, buf_.data(), used_, &error_);
    used_ = 0;
    return ok;
}

bool WavWriter::write(const OutFrame &f, size_t first, size_t count) {
    const size_t bytes = count * fmt_.channels * (fmt_.bits / 8u);
    if (used_ + bytes > buf_.size() && !flush()) return false;
    pack_frame(f, first, count, fmt_.bits, buf_.data() + used_);
    used_ += bytes;
    data_bytes_ += bytes;
    if (flush_each_ || used_ >= kWriteBuffer) return flush();
    return true;
}

bool WavWriter::finish() {
    if (!flush()) return false;
    if (!seekable_) return true;
    const bool rf64 = data_bytes_ > wav_riff_limit(fmt_);
    if (rf64) {
        // Move the samples 36 bytes up, from the end, for the ds64 chunk.
        std::vector<uint8_t> chunk(size_t{1} << 20);
        uint64_t end = header_bytes_ + data_bytes_;
        while (end > header_bytes_) {
            const size_t n = static_cast<size_t>(std::min<uint64_t>(chunk.size(), end - header_bytes_));
            const uint64_t at = end - n;
            if (::pread(fd_, chunk.data(), n, static_cast<off_t>(at)) != static_cast<ssize_t>(n)) {
                error_ = system_error("reading back for RF64");
                return false;
            }
            if (!pwrite_all(fd_, chunk.data(), n, at + 36, &error_)) return false;
            end = at;
        }
    }
    const std::vector<uint8_t> h = wav_header(fmt_, data_bytes_, rf64);
    return pwrite_all(fd_, h.data(), h.size(), 0, &error_);
}

} // namespace aacd_cli
