// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// Test-side encoder, written with armPackBits: fixed-width fields, Huffman
// tuples, and whole individual_channel_stream()s of random content (every
// codebook, long and grouped short windows, pulses, TNS) together with what
// a decoder must give back for them.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <vector>

#include "omxdl/ac/armACAAC.h"

namespace {

struct BitRef { const uint8_t *byte; uint32_t offset; };  // the exported operations' position: byte, bits of it consumed

class BitWriter {
public:
    void bits(uint32_t value, int len) {
        ASSERT_EQ(len == 0 ? 0 : armPackBits(&p_, &off_, value, len), 0);
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
    return static_cast<int>(int64_t{aacd::bitIndex(now)} - aacd::bitIndex(start) + (now.base - start.base) * 8);
}
inline int bitsFrom(const BitRef &start, const BitRef &now) { return static_cast<int>((now.byte - start.byte) * 8 + now.offset - start.offset); }

// Fields in one call: put(w, {{value, bits}, ...}); bits < 0: the code word of index value of codebook -bits - 1.
struct Field {
    template <class T>
    Field(T value, int bits) : v(static_cast<uint32_t>(value)), n(bits) {}
    uint32_t v;
    int n;
};
inline int put(BitWriter &w, const std::vector<Field> &fields) {
    for (const Field &f : fields) f.n < 0 ? w.code(-f.n - 1, static_cast<int>(f.v)) : w.bits(f.v, f.n);
    return w.count();
}

// One tuple (4 values for codebooks 1..4, else 2) of codebook cb: the code
// word of its index (digits of base m, offset by lav in the signed books),
// sign bits of the unsigned books, escapes of codebook 11 (n ones, a zero,
// n + 4 bits: 2^(n + 4) <= magnitude < 2^(n + 5)).
inline void writeTuple(BitWriter &w, int cb, const int32_t *v) {
    const int dim = cb <= 4 ? 4 : 2, lav = armACAAC_lavCb[cb], uns = armACAAC_signCb[cb];
    int index = 0;
    for (int i = 0; i < dim; ++i) index = index * (uns ? lav + 1 : 2 * lav + 1) + (uns ? std::min(std::abs(v[i]), 16) : v[i] + lav);
    w.code(cb, index);
    for (int i = 0; uns && i < dim; ++i) w.bits(v[i] < 0, v[i] != 0);
    for (int i = 0, m = 0, n = 0; cb == 11 && i < dim; ++i, n = 0) {
        for (m = std::abs(v[i]); m >> (n + 5) != 0;) ++n;
        put(w, {{((1u << n) - 1) << 1, m < 16 ? 0 : n + 1}, {m - (16 << n), m < 16 ? 0 : n + 4}});
    }
}

struct Channel {
    bool shortWindows = false;
    int sri = 3, maxSfb = 0, numGroups = 1, globalGain = 100;
    int32_t groupLen[8] = {1, 0, 0, 0, 0, 0, 0, 0}, numSect[8] = {};
    std::vector<uint8_t> sectCb, sectEnd, sfbCb;  // sfbCb packed g * maxSfb + sfb
    std::vector<int16_t> sf;                      // scale factors as the decoder gives them
    std::vector<int32_t> values;                  // coded-order values as the decoder gives them
};

// Random layout of groups and sections (some of length 0); codebooks: the pool to draw from.
inline Channel randomLayout(std::mt19937 &rng, bool shortWindows, const std::vector<int> &codebooks) {
    Channel ch;
    ch.shortWindows = shortWindows;
    ch.sri = static_cast<int>(rng() % 12);
    const int bands = shortWindows ? armACAAC_numSwbShort[ch.sri] : armACAAC_numSwbLong[ch.sri];
    ch.maxSfb = rng() % 4 ? bands - static_cast<int>(rng() % 3) : static_cast<int>(rng() % (bands + 1));
    ch.globalGain = 60 + static_cast<int>(rng() % 140);
    ch.numGroups = shortWindows ? 0 : 1;
    for (int left = 8; shortWindows && left > 0; left -= ch.groupLen[ch.numGroups++]) ch.groupLen[ch.numGroups] = 1 + static_cast<int>(rng() % left);
    for (int g = 0; g < ch.numGroups; ++g) {
        for (int k = 0, len = 0, cb = 0; k < ch.maxSfb; k += len, ++ch.numSect[g]) {
            len = rng() % 10 == 0 && ch.numSect[g] + (ch.maxSfb - k) < ch.maxSfb ? 0 : 1 + static_cast<int>(rng() % std::min(ch.maxSfb - k, 12));
            ch.sectCb.push_back(static_cast<uint8_t>(cb = codebooks[rng() % codebooks.size()]));
            ch.sectEnd.push_back(static_cast<uint8_t>(k + len));
            ch.sfbCb.insert(ch.sfbCb.end(), len, static_cast<uint8_t>(cb));
        }
    }
    return ch;
}

// Stream info of ch without predictor data; the grouping bits follow groupLen.
inline void writeIcsInfo(BitWriter &w, const Channel &ch, int shape) {
    uint32_t grouping = 0;
    for (int g = 0; g < ch.numGroups; ++g)
        for (int i = 0; i < ch.groupLen[g]; ++i) grouping = (grouping << 1) | (i > 0 ? 1u : 0u);
    put(w, {{ch.shortWindows ? 2 : 0, 3}, {shape, 1}, {ch.maxSfb, ch.shortWindows ? 4 : 6}, {grouping, ch.shortWindows ? 7 : 1}});
}

// Section data of ch, lengths split at the escape value.
inline void writeSections(BitWriter &w, const Channel &ch) {
    const int bits = ch.shortWindows ? 3 : 5, esc = ch.shortWindows ? 7 : 31;
    for (int g = 0, s = 0; g < ch.numGroups; ++g) {
        for (int i = 0, k = 0, len = 0; i < ch.numSect[g]; ++i, k = ch.sectEnd[s++]) {
            for (w.bits(ch.sectCb[s], 4), len = ch.sectEnd[s] - k; len >= esc; len -= esc) w.bits(esc, bits);
            w.bits(len, bits);
        }
    }
}

constexpr int32_t kUntouched = 0x5A5A5A5A;
const std::vector<int> kAllCodebooks = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};

struct Ics {
    Channel ch;  // layout; the writer fills sf and values
    int aot = 2, pulses = 0, pulseStart = 0, pulseOff[4] = {}, pulseAmp[4] = {};
    bool tnsPresent = false;
    TnsInfo tns{};                  // the filters written (windows with filters only)
    std::vector<int8_t> tnsCoefs;   // their coefficients in stream order
    std::vector<int32_t> spectrum;  // coded order, pulses added
};

// Gain, stream info (unless common) of the given window shape, sections,
// scale factors of random steps (those of codebooks 1..12 kept in 0..255),
// pulse data (long windows, when allowed: random), TNS data (when tnsWindows
// is given: random filters in each listed window, the order limited as
// object type e.aot and the rate require), no gain control, spectral data
// of random values (escapes favour the edges of each prefix length).
inline void writeIcs(BitWriter &w, Ics &e, std::mt19937 &rng, bool common, int shape, bool allowPulses,
                     const std::vector<int> *tnsWindows) {
    Channel &ch = e.ch;
    const bool s = ch.shortWindows;
    w.bits(static_cast<uint32_t>(ch.globalGain), 8);
    if (!common) writeIcsInfo(w, ch, shape);
    writeSections(w, ch);
    int sf = ch.globalGain, is = 0, noise = 0, firstNoise = 1;
    for (const uint8_t cb : ch.sfbCb) {
        int delta = (static_cast<int>(rng() % 121) - 60) / (rng() % 2 ? 8 : 1), &v = cb == 13 ? noise : cb >= 14 ? is : sf;
        if (cb > 0 && cb < 13) delta = std::clamp(sf + delta, 0, 255) - sf;
        if (cb == 13 && firstNoise) w.bits(static_cast<uint32_t>(delta + 256), 9), v = ch.globalGain - 90, firstNoise = 0;
        else if (cb > 0) w.code(0, delta + 60);
        ch.sf.push_back(static_cast<int16_t>(cb == 0 ? 0 : v += delta));
    }
    const uint16_t *off = armACAAC_swbOffsetLongWindow[ch.sri];
    e.pulses = allowPulses && !s && ch.maxSfb > 0 && rng() % 2 ? 1 + static_cast<int>(rng() % 4) : 0;
    put(w, {{e.pulses > 0, 1}, {e.pulses - 1, e.pulses ? 2 : 0}, {e.pulseStart = e.pulses ? static_cast<int>(rng() % ch.maxSfb) : 0, e.pulses ? 6 : 0}});
    for (int i = 0, k = off[e.pulseStart]; i < e.pulses; k += e.pulseOff[i++]) {
        e.pulseOff[i] = std::min(static_cast<int>(rng() % 32), 1023 - k);
        put(w, {{e.pulseOff[i], 5}, {e.pulseAmp[i] = static_cast<int>(rng() % 16), 4}});
    }
    const int maxOrder = e.aot == 3 ? 12 : s ? 7 : ch.sri > 4 ? 20 : 12;
    w.bits(e.tnsPresent = tnsWindows != nullptr, 1);
    for (int win = 0; e.tnsPresent && win < (s ? 8 : 1); ++win) {
        const int nf = std::count(tnsWindows->begin(), tnsWindows->end(), win) ? 1 + static_cast<int>(rng() % (s ? 1 : 3)) : 0;
        put(w, {{e.tns.tnsNumFilters[win] = nf, s ? 1 : 2}, {(e.tns.tnsCoefRes[win] = nf ? 3 + static_cast<int>(rng() % 2) : 0) - 3, nf ? 1 : 0}});
        for (int f = win; f < win + nf; ++f) {
            const int order = static_cast<int>(rng() % (s ? 8 : 32)), compress = static_cast<int>(rng() % 2), n = e.tns.tnsCoefRes[win] - compress;
            put(w, {{e.tns.tnsLength[f] = static_cast<int>(rng() % (s ? 16 : 64)), s ? 4 : 6}, {order, s ? 3 : 5}});
            const int lim = e.tns.tnsOrder[f] = std::min(order, maxOrder);
            put(w, {{e.tns.tnsDirection[f] = lim ? static_cast<int>(rng() % 2) : 0, lim ? 1 : 0}, {compress, lim ? 1 : 0}});
            for (int i = 0; i < lim; ++i) e.tnsCoefs.push_back(static_cast<int8_t>(static_cast<int>(rng() % (1u << n)) - (1 << (n - 1))));
            for (int i = lim; i > 0; --i) w.bits(static_cast<uint32_t>(e.tnsCoefs.end()[-i]) & ((1u << n) - 1), n);
        }
    }
    w.bits(0, 1);  // gain_control_data_present
    const uint16_t *band = s ? armACAAC_swbOffsetShortWindow[ch.sri] : off;
    for (int g = 0, k = 0, sect = 0; g < ch.numGroups; ++g) {
        for (int i = 0, cb = 0; i < ch.numSect[g]; ++i, k = ch.sectEnd[sect++]) {
            for (int t = 0, dim = (cb = ch.sectCb[sect]) <= 4 ? 4 : 2; t < (band[ch.sectEnd[sect]] - band[k]) * ch.groupLen[g]; t += dim) {
                int32_t v[4] = {};
                for (int d = 0; d < dim && cb > 0 && cb < 12; ++d) {
                    const int lo = 16 << (rng() % 9), any = static_cast<int>(rng() % (std::min<int>(armACAAC_lavCb[cb], 15) + 1));
                    const int mag = rng() % 3 == 0 ? 0 : cb == 11 && rng() % 4 == 0 ? (rng() % 3 == 0 ? lo : rng() % 2 ? 2 * lo - 1 : lo + static_cast<int>(rng() % lo)) : any;
                    v[d] = rng() % 2 ? mag : -mag;
                }
                if (cb > 0 && cb < 12) writeTuple(w, cb, v);
                ch.values.insert(ch.values.end(), v, v + dim);
            }
        }
        k = 0;
    }
    if (!s) ch.values.resize(1024, 0);
    e.spectrum = ch.values;
    for (int i = 0, k = off[e.pulseStart]; i < e.pulses; ++i) {
        k += e.pulseOff[i];
        e.spectrum[k] += e.spectrum[k] > 0 ? e.pulseAmp[i] : -e.pulseAmp[i];
    }
}

// The TNS record and coefficients of a decoded channel against the writer's.
inline void expectTns(const Ics &e, const TnsInfo &got, const int8_t *coefs) {
    const TnsInfo &t = e.tns;
    for (int win = 0; win < (e.ch.shortWindows ? 8 : 1); ++win) {
        EXPECT_EQ(std::vector<int32_t>({got.tnsNumFilters[win], t.tnsNumFilters[win] ? got.tnsCoefRes[win] : 0}),
                  std::vector<int32_t>({t.tnsNumFilters[win], t.tnsCoefRes[win]})) << win;
        for (int f = win; f < win + t.tnsNumFilters[win]; ++f)
            EXPECT_EQ(std::vector<int32_t>({got.tnsLength[f], got.tnsOrder[f], t.tnsOrder[f] ? got.tnsDirection[f] : 0}),
                      std::vector<int32_t>({t.tnsLength[f], t.tnsOrder[f], t.tnsDirection[f]})) << win;
    }
    EXPECT_EQ(std::vector<int8_t>(coefs, coefs + e.tnsCoefs.size()), e.tnsCoefs);
}

}  // namespace
