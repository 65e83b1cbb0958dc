// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// Test-side encoder of random valid channels: section data, scale factors
// and quantised spectra written with armPackBits.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <vector>

#include "omxdl/ac/armACAAC.h"

namespace {

// Position of the exported operations: the byte holding the next bit and the
// bits of it already consumed.
struct BitRef {
    const uint8_t *byte;
    uint32_t offset;
};

class BitWriter {
public:
    void bits(uint32_t value, int len) {
        if (len == 0) return;
        ASSERT_EQ(armPackBits(&p_, &off_, value, len), 0);
        count_ += len;
    }
    void code(int cb, int index) { bits(armACAAC_CodeBooks_C[cb][index].codeWord, armACAAC_CodeBooks_C[cb][index].codeLen); }
    int count() const { return count_; }
    // The start of the written bits, for the decoder's reader (bounded by the buffer) and the exported operations.
    aacd::BitReader start() const { return aacd::bitReaderAt(buf_.data(), static_cast<uint32_t>(buf_.size())); }
    BitRef ref() const { return BitRef{buf_.data(), 0}; }
    const uint8_t *base() const { return buf_.data(); }
    // The bytes written so far, the last one padded with zero bits.
    std::vector<uint8_t> bytes() const { return std::vector<uint8_t>(buf_.begin(), buf_.begin() + (count_ + 7) / 8); }

private:
    std::vector<uint8_t> buf_ = std::vector<uint8_t>(8192, 0);
    uint8_t *p_ = buf_.data();
    uint32_t off_ = 0;
    int count_ = 0;
};

inline int bitsFrom(const aacd::BitReader &start, const aacd::BitReader &now) {
    return static_cast<int>(aacd::bitIndex(now)) - static_cast<int>(aacd::bitIndex(start)) +
           static_cast<int>((now.base - start.base) * 8);
}
inline int bitsFrom(const BitRef &start, const BitRef &now) {
    return static_cast<int>((now.byte - start.byte) * 8 + now.offset) - static_cast<int>(start.offset);
}

// One tuple (4 values for codebooks 1..4, else 2) of codebook cb: the code
// word of its index (digits of base m, offset by lav in the signed books),
// sign bits of the unsigned books, escapes of codebook 11 (n ones, a zero,
// n + 4 bits: 2^(n + 4) <= magnitude < 2^(n + 5)).
inline void writeTuple(BitWriter &w, int cb, const int32_t *v) {
    const int dim = cb <= 4 ? 4 : 2, lav = armACAAC_lavCb[cb];
    const bool uns = armACAAC_signCb[cb] != 0;
    int index = 0;
    for (int i = 0; i < dim; ++i)
        index = index * (uns ? lav + 1 : 2 * lav + 1) + (uns ? std::min(std::abs(v[i]), 16) : v[i] + lav);
    w.code(cb, index);
    for (int i = 0; uns && i < dim; ++i)
        if (v[i] != 0) w.bits(v[i] < 0, 1);
    for (int i = 0, m = 0, n = 0; cb == 11 && i < dim; ++i, n = 0) {
        if ((m = std::abs(v[i])) < 16) continue;
        while ((m >> (n + 5)) != 0) ++n;
        w.bits(((1u << n) - 1) << 1, n + 1);
        w.bits(static_cast<uint32_t>(m - (16 << n)), n + 4);
    }
}

// A random value that codebook cb can carry; escapes favour the edges of
// each prefix length.
inline int32_t randomValue(int cb, std::mt19937 &rng) {
    int mag = static_cast<int>(rng() % (std::min<int>(armACAAC_lavCb[cb], 15) + 1));
    const int lo = 16 << (rng() % 9);
    if (cb == 11 && rng() % 4 == 0) mag = rng() % 3 == 0 ? lo : rng() % 2 ? 2 * lo - 1 : lo + static_cast<int>(rng() % lo);
    if (rng() % 3 == 0) mag = 0;
    return rng() % 2 ? mag : -mag;
}

struct Channel {
    bool shortWindows = false;
    int sri = 3, maxSfb = 0, numGroups = 1, globalGain = 100;
    int32_t groupLen[8] = {1, 0, 0, 0, 0, 0, 0, 0};
    std::vector<uint8_t> sectCb, sectEnd;
    int32_t numSect[8] = {};
    std::vector<uint8_t> sfbCb;   // packed g * maxSfb + sfb
    std::vector<int16_t> sf;      // scale factors as the decoder gives them
    std::vector<int32_t> values;  // coded-order values as the decoder gives them
};

// Random layout of groups and sections (some of length 0); codebooks: the
// pool to draw from.
inline Channel randomLayout(std::mt19937 &rng, bool shortWindows, const std::vector<int> &codebooks) {
    Channel ch;
    ch.shortWindows = shortWindows;
    ch.sri = static_cast<int>(rng() % 12);
    const int bands = shortWindows ? armACAAC_numSwbShort[ch.sri] : armACAAC_numSwbLong[ch.sri];
    ch.maxSfb = rng() % 4 ? bands - static_cast<int>(rng() % 3) : static_cast<int>(rng() % (bands + 1));
    ch.globalGain = 60 + static_cast<int>(rng() % 140);
    if (shortWindows) ch.numGroups = 0;
    for (int left = 8; shortWindows && left > 0; left -= ch.groupLen[ch.numGroups++])
        ch.groupLen[ch.numGroups] = 1 + static_cast<int>(rng() % left);
    for (int g = 0; g < ch.numGroups; ++g) {
        for (int k = 0, len = 0; k < ch.maxSfb; k += len, ++ch.numSect[g]) {
            len = 1 + static_cast<int>(rng() % std::min(ch.maxSfb - k, 12));
            if (rng() % 10 == 0 && ch.numSect[g] + (ch.maxSfb - k) < ch.maxSfb) len = 0;
            const int cb = codebooks[rng() % codebooks.size()];
            ch.sectCb.push_back(static_cast<uint8_t>(cb));
            ch.sectEnd.push_back(static_cast<uint8_t>(k + len));
            ch.sfbCb.insert(ch.sfbCb.end(), len, static_cast<uint8_t>(cb));
        }
    }
    return ch;
}

// scale_factor_data() of random steps (scale factors kept in 0..255), filling ch.sf.
inline void writeScaleFactors(BitWriter &w, Channel &ch, std::mt19937 &rng) {
    int sf = ch.globalGain, is = 0, noise = 0;
    bool firstNoise = true;
    for (const uint8_t cb : ch.sfbCb) {
        int delta = static_cast<int>(rng() % 121) - 60;
        if (rng() % 2) delta /= 8;  // mostly small steps, as real streams
        int &v = cb == 13 ? noise : cb >= 14 ? is : sf;
        if (cb > 0 && cb < 13) delta = std::clamp(sf + delta, 0, 255) - sf;
        if (cb == 13 && firstNoise) {
            firstNoise = false;
            w.bits(static_cast<uint32_t>(delta + 256), 9);
            v = ch.globalGain - 90 + delta;
        } else if (cb != 0) {
            w.code(0, delta + 60);
            v += delta;
        }
        ch.sf.push_back(static_cast<int16_t>(cb == 0 ? 0 : v));
    }
}

// spectral_data() of random values, filling ch.values.
inline void writeSpectrum(BitWriter &w, Channel &ch, std::mt19937 &rng) {
    const uint16_t *off = ch.shortWindows ? armACAAC_swbOffsetShortWindow[ch.sri] : armACAAC_swbOffsetLongWindow[ch.sri];
    for (int g = 0, s = 0; g < ch.numGroups; ++g) {
        for (int i = 0, k = 0; i < ch.numSect[g]; ++i, k = ch.sectEnd[s++]) {
            const int cb = ch.sectCb[s], n = (off[ch.sectEnd[s]] - off[k]) * ch.groupLen[g];
            for (int t = 0, dim = cb <= 4 ? 4 : 2; t < n; t += dim) {
                int32_t v[4] = {};
                for (int d = 0; d < dim && cb > 0 && cb < 12; ++d) v[d] = randomValue(cb, rng);
                if (cb > 0 && cb < 12) writeTuple(w, cb, v);
                ch.values.insert(ch.values.end(), v, v + dim);
            }
        }
    }
    if (!ch.shortWindows) ch.values.resize(1024, 0);
}

// Stream info of ch without predictor data; the grouping bits follow groupLen.
inline void writeIcsInfo(BitWriter &w, const Channel &ch, int shape) {
    w.bits(ch.shortWindows ? 2 : 0, 3);
    w.bits(static_cast<uint32_t>(shape), 1);
    w.bits(static_cast<uint32_t>(ch.maxSfb), ch.shortWindows ? 4 : 6);
    uint32_t grouping = 0;
    for (int g = 0; g < ch.numGroups; ++g)
        for (int i = 0; i < ch.groupLen[g]; ++i) grouping = (grouping << 1) | (i > 0 ? 1u : 0u);
    w.bits(grouping, ch.shortWindows ? 7 : 1);  // the predictor flag of a long window: 0
}

// Section data of ch, lengths split at the escape value.
inline void writeSections(BitWriter &w, const Channel &ch) {
    const int bits = ch.shortWindows ? 3 : 5, esc = ch.shortWindows ? 7 : 31;
    for (int g = 0, s = 0; g < ch.numGroups; ++g) {
        for (int i = 0, k = 0; i < ch.numSect[g]; ++i, k = ch.sectEnd[s++]) {
            w.bits(ch.sectCb[s], 4);
            int len = ch.sectEnd[s] - k;
            for (; len >= esc; len -= esc) w.bits(static_cast<uint32_t>(esc), bits);
            w.bits(static_cast<uint32_t>(len), bits);
        }
    }
}

constexpr int32_t kUntouched = 0x5A5A5A5A;
const std::vector<int> kAllCodebooks = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
}  // namespace
