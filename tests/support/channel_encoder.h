// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// Test-side encoder of random valid channels: section data, scale factors
// and quantised spectra written with armPackBits/armPackVLC32.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <vector>

#include "omxdl/ac/armACAAC.h"

namespace {

// Position of the exported operations: the byte holding the next bit and the
// bits of it already consumed, handed over as two references and advanced in
// place (unbounded).
struct BitRef {
    const uint8_t *byte;
    uint32_t offset;
};

// ---------------------------------------------------------------- encoder
class BitWriter {
public:
    BitWriter() : buf_(8192, 0), p_(buf_.data()) {}
    void bits(uint32_t value, int len) {
        if (len == 0) return;
        ASSERT_EQ(armPackBits(&p_, &off_, value, len), 0);
        count_ += len;
    }
    void code(int cb, int index) {
        ASSERT_EQ(armPackVLC32(&p_, &off_, armACAAC_CodeBooks_C[cb][index]), 0);
        count_ += armACAAC_CodeBooks_C[cb][index].codeLen;
    }
    int count() const { return count_; }
    // Position at the start of the written bits, bounded by the buffer.
    aacd::BitReader start() const { return aacd::bitReaderAt(buf_.data(), static_cast<uint32_t>(buf_.size())); }
    // The same start for the exported operations.
    BitRef ref() const { return BitRef{buf_.data(), 0}; }
    const uint8_t *base() const { return buf_.data(); }
    // The bytes written so far, the last one padded with zero bits.
    std::vector<uint8_t> bytes() const {
        return std::vector<uint8_t>(buf_.begin(), buf_.begin() + (count_ + 7) / 8);
    }

private:
    std::vector<uint8_t> buf_;
    uint8_t *p_;
    uint32_t off_ = 0;
    int count_ = 0;
};

inline int bitsFrom(const aacd::BitReader &start, const aacd::BitReader &now) {
    return static_cast<int>((now.base - start.base) * 8) + static_cast<int>(aacd::bitIndex(now)) -
           static_cast<int>(aacd::bitIndex(start));
}
inline int bitsFrom(const BitRef &start, const BitRef &now) {
    return static_cast<int>((now.byte - start.byte) * 8) + static_cast<int>(now.offset) -
           static_cast<int>(start.offset);
}

inline bool isUnsigned(int cb) { return armACAAC_signCb[cb] != 0; }
inline int modulus(int cb) { return isUnsigned(cb) ? armACAAC_lavCb[cb] + 1 : 2 * armACAAC_lavCb[cb] + 1; }

// Escape sequence of a magnitude 16..8191.
inline void writeEscape(BitWriter &w, int magnitude) {
    int n = 0;
    while ((magnitude >> (n + 5)) != 0) ++n;  // 2^(n+4) <= magnitude < 2^(n+5)
    for (int i = 0; i < n; ++i) w.bits(1, 1);
    w.bits(0, 1);
    w.bits(static_cast<uint32_t>(magnitude - (1 << (n + 4))), n + 4);
}

// One tuple (4 values for codebooks 1..4, else 2) of codebook cb.
inline void writeTuple(BitWriter &w, int cb, const int32_t *v) {
    const int dim = cb <= 4 ? 4 : 2;
    const int m = modulus(cb);
    const int off = isUnsigned(cb) ? 0 : armACAAC_lavCb[cb];
    int index = 0;
    for (int i = 0; i < dim; ++i) {
        int digit = isUnsigned(cb) ? std::abs(v[i]) : v[i] + off;
        if (cb == 11) digit = std::min(digit, 16);
        index = index * m + digit;
    }
    w.code(cb, index);
    if (isUnsigned(cb)) {
        for (int i = 0; i < dim; ++i) {
            if (v[i] != 0) w.bits(v[i] < 0 ? 1u : 0u, 1);
        }
    }
    if (cb == 11) {
        for (int i = 0; i < dim; ++i) {
            if (std::abs(v[i]) >= 16) writeEscape(w, std::abs(v[i]));
        }
    }
}

// A random value that codebook cb can carry.
inline int32_t randomValue(int cb, std::mt19937 &rng) {
    const int lav = armACAAC_lavCb[cb];
    if (cb == 11 && rng() % 4 == 0) {
        // escapes: favour the edges of each prefix length
        const int n = static_cast<int>(rng() % 9);  // 0..8 ones
        const int lo = 1 << (n + 4);
        int mag = 0;
        switch (rng() % 3) {
            case 0: mag = lo; break;
            case 1: mag = 2 * lo - 1; break;
            default: mag = lo + static_cast<int>(rng() % lo); break;
        }
        return rng() % 2 ? mag : -mag;
    }
    const int range = cb == 11 ? 15 : lav;
    if (rng() % 3 == 0) return 0;
    const int mag = static_cast<int>(rng() % (range + 1));
    return rng() % 2 ? mag : -mag;
}

// ---------------------------------------------------------------- channel model
struct Channel {
    bool shortWindows = false;
    int sri = 3;
    int maxSfb = 0;
    int numGroups = 1;
    int32_t groupLen[8] = {1, 0, 0, 0, 0, 0, 0, 0};
    std::vector<uint8_t> sectCb, sectEnd;
    int32_t numSect[8] = {};
    std::vector<uint8_t> sfbCb;    // packed g * maxSfb + sfb
    std::vector<int16_t> sf;       // expected scale factors
    std::vector<int32_t> values;   // expected coded-order values actually decoded
    int globalGain = 100;
};

inline const uint16_t *offsetsOf(const Channel &ch) {
    return ch.shortWindows ? armACAAC_swbOffsetShortWindow[ch.sri]
                           : armACAAC_swbOffsetLongWindow[ch.sri];
}
inline int bandCount(const Channel &ch) {
    return ch.shortWindows ? armACAAC_numSwbShort[ch.sri] : armACAAC_numSwbLong[ch.sri];
}

// Random layout of groups and sections.  codebooks: the pool to draw from.
inline Channel randomLayout(std::mt19937 &rng, bool shortWindows, const std::vector<int> &codebooks) {
    Channel ch;
    ch.shortWindows = shortWindows;
    ch.sri = static_cast<int>(rng() % 12);
    ch.maxSfb = static_cast<int>(rng() % (bandCount(ch) + 1));
    if (rng() % 4 != 0) ch.maxSfb = bandCount(ch) - static_cast<int>(rng() % 3);
    ch.globalGain = 60 + static_cast<int>(rng() % 140);
    if (shortWindows) {
        ch.numGroups = 0;
        int left = 8;
        while (left > 0) {
            const int len = 1 + static_cast<int>(rng() % left);
            ch.groupLen[ch.numGroups++] = len;
            left -= len;
        }
    }
    for (int g = 0; g < ch.numGroups; ++g) {
        int k = 0;
        while (k < ch.maxSfb) {
            int len = 1 + static_cast<int>(rng() % std::min(ch.maxSfb - k, 12));
            if (rng() % 10 == 0 && ch.numSect[g] + (ch.maxSfb - k) < ch.maxSfb) len = 0;
            const int cb = codebooks[rng() % codebooks.size()];
            ch.sectCb.push_back(static_cast<uint8_t>(cb));
            ch.sectEnd.push_back(static_cast<uint8_t>(k + len));
            ++ch.numSect[g];
            for (int b = k; b < k + len; ++b) ch.sfbCb.push_back(static_cast<uint8_t>(cb));
            k += len;
        }
    }
    return ch;
}

// Writes scale_factor_data() with random values, filling ch.sf.
inline void writeScaleFactors(BitWriter &w, Channel &ch, std::mt19937 &rng) {
    int sf = ch.globalGain, is = 0, noise = 0;
    bool firstNoise = true;
    for (const uint8_t cb : ch.sfbCb) {
        int delta = static_cast<int>(rng() % 121) - 60;
        if (rng() % 2) delta /= 8;  // mostly small steps, as real streams
        if (cb == 0) {
            ch.sf.push_back(0);
        } else if (cb == 13) {
            if (firstNoise) {
                firstNoise = false;
                const int raw = static_cast<int>(rng() % 512);
                w.bits(static_cast<uint32_t>(raw), 9);
                noise = ch.globalGain - 346 + raw;
            } else {
                w.code(0, delta + 60);
                noise += delta;
            }
            ch.sf.push_back(static_cast<int16_t>(noise));
        } else if (cb == 14 || cb == 15) {
            w.code(0, delta + 60);
            is += delta;
            ch.sf.push_back(static_cast<int16_t>(is));
        } else {
            delta = std::clamp(sf + delta, 0, 255) - sf;
            w.code(0, delta + 60);
            sf += delta;
            ch.sf.push_back(static_cast<int16_t>(sf));
        }
    }
}

// Writes spectral_data() with random values, filling ch.values.
inline void writeSpectrum(BitWriter &w, Channel &ch, std::mt19937 &rng) {
    const uint16_t *off = offsetsOf(ch);
    size_t s = 0;
    for (int g = 0; g < ch.numGroups; ++g) {
        const int scale = ch.shortWindows ? ch.groupLen[g] : 1;
        int k = 0;
        for (int i = 0; i < ch.numSect[g]; ++i, ++s) {
            const int cb = ch.sectCb[s];
            const int n = (off[ch.sectEnd[s]] - off[k]) * scale;
            k = ch.sectEnd[s];
            if (cb == 0 || cb >= 12) {
                ch.values.insert(ch.values.end(), n, 0);
                continue;
            }
            const int dim = cb <= 4 ? 4 : 2;
            for (int t = 0; t < n; t += dim) {
                int32_t v[4];
                for (int d = 0; d < dim; ++d) v[d] = randomValue(cb, rng);
                writeTuple(w, cb, v);
                ch.values.insert(ch.values.end(), v, v + dim);
            }
        }
        if (!ch.shortWindows) ch.values.resize(1024, 0);
    }
}

// Stream info of ch without predictor data; the grouping bits follow groupLen.
inline void writeIcsInfo(BitWriter &w, const Channel &ch, int shape) {
    w.bits(0, 1);
    w.bits(ch.shortWindows ? 2 : 0, 2);
    w.bits(static_cast<uint32_t>(shape), 1);
    w.bits(static_cast<uint32_t>(ch.maxSfb), ch.shortWindows ? 4 : 6);
    if (!ch.shortWindows) return w.bits(0, 1);
    uint32_t grouping = 0;
    for (int g = 0, win = 0; g < ch.numGroups; ++g)
        for (int i = 0; i < ch.groupLen[g]; ++i, ++win)
            if (win > 0) grouping = (grouping << 1) | (i > 0 ? 1u : 0u);
    w.bits(grouping, 7);
}

// Section data of ch, lengths split at the escape value.
inline void writeSections(BitWriter &w, const Channel &ch) {
    const int bits = ch.shortWindows ? 3 : 5, esc = ch.shortWindows ? 7 : 31;
    for (int g = 0, s = 0; g < ch.numGroups; ++g) {
        for (int i = 0, k = 0; i < ch.numSect[g]; ++i, ++s) {
            w.bits(ch.sectCb[s], 4);
            int len = ch.sectEnd[s] - k;
            for (; len >= esc; len -= esc) w.bits(static_cast<uint32_t>(esc), bits);
            w.bits(static_cast<uint32_t>(len), bits);
            k = ch.sectEnd[s];
        }
    }
}

constexpr int32_t kUntouched = 0x5A5A5A5A;
const std::vector<int> kAllCodebooks = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
}  // namespace
