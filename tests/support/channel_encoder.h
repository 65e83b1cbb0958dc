// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// Test-side encoder, written with armPackBits: fixed-width fields, code
// words, Huffman tuples, the stream info and section data of a channel
// layout, program configuration elements.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "omxdl/ac/armACAAC.h"

namespace {

// An 8 KiB buffer written from its start; not to be copied.
struct BitWriter {
    std::vector<uint8_t> buf = std::vector<uint8_t>(8192, 0);
    uint8_t *p = buf.data();
    uint32_t off = 0, n = 0;  // bit offset in *p, bits written

    void bits(uint32_t value, int len) {
        ASSERT_EQ(len == 0 ? 0 : armPackBits(&p, &off, value, len), 0);
        n += len;
    }
    void code(int cb, int i) { bits(armACAAC_CodeBooks_C[cb][i].codeWord, armACAAC_CodeBooks_C[cb][i].codeLen); }
    int count() const { return static_cast<int>(n); }
    const uint8_t *base() const { return buf.data(); }
    // The bytes written so far, the last one padded with zero bits.
    std::vector<uint8_t> bytes() const { return std::vector<uint8_t>(buf.begin(), buf.begin() + (n + 7) / 8); }
};

// Fields in one call: put(w, {{value, bits}, ...}); bits < 0: the code word
// of index value of codebook -bits - 1.
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
    for (int i = 0; i < dim; ++i)
        index = index * (uns ? lav + 1 : 2 * lav + 1) + (uns ? std::min(std::abs(v[i]), 16) : v[i] + lav);
    w.code(cb, index);
    for (int i = 0; uns && i < dim; ++i) w.bits(v[i] < 0, v[i] != 0);
    for (int i = 0, m = 0, n = 0; cb == 11 && i < dim; ++i, n = 0) {
        for (m = std::abs(v[i]); m >> (n + 5) != 0;) ++n;
        put(w, {{((1u << n) - 1) << 1, m < 16 ? 0 : n + 1}, {m - (16 << n), m < 16 ? 0 : n + 4}});
    }
}

struct Channel {  // a channel's layout: window kind, rate index, groups and sections
    bool shortWindows = false;
    int sri = 3, maxSfb = 0, numGroups = 1, globalGain = 100;
    int32_t groupLen[8] = {1, 0, 0, 0, 0, 0, 0, 0}, numSect[8] = {};
    std::vector<uint8_t> sectCb, sectEnd;
};

// Stream info of ch without predictor data; the grouping bits follow groupLen.
inline void writeIcsInfo(BitWriter &w, const Channel &ch, int shape) {
    uint32_t grouping = 0;
    for (int g = 0; g < ch.numGroups; ++g)
        for (int i = 0; i < ch.groupLen[g]; ++i) grouping = (grouping << 1) | (i > 0 ? 1u : 0u);
    const bool s = ch.shortWindows;
    put(w, {{s ? 2 : 0, 3}, {shape, 1}, {ch.maxSfb, s ? 4 : 6}, {grouping, s ? 7 : 1}});
}

// Section data of ch, lengths split at the escape value.
inline void writeSections(BitWriter &w, const Channel &ch) {
    const int bits = ch.shortWindows ? 3 : 5, esc = ch.shortWindows ? 7 : 31;
    for (int g = 0, s = 0; g < ch.numGroups; ++g)
        for (int i = 0, k = 0, len = 0; i < ch.numSect[g]; ++i, k = ch.sectEnd[s++]) {
            for (w.bits(ch.sectCb[s], 4), len = ch.sectEnd[s] - k; len >= esc; len -= esc) w.bits(esc, bits);
            w.bits(len, bits);
        }
}

// A program configuration element (after its id).  Front entry i is a pair
// when bit i of frontPairs is set, tag i; side and back entries are tags 8,
// 9, ..., back entry i a pair when bit i of backPairs is set; LFE and
// associated data tags 0, 1, ...; coupling entries all zeros; mixdowns: bit
// 0 mono (element 5), bit 1 stereo (12), bit 2 matrix (index 3, pseudo
// surround); comment bytes.  Byte alignment counts from the writer's start.
struct Pce {
    uint32_t tag = 0, profile = 1, sf = 4, front = 1, side = 0, back = 0, lfe = 0, assoc = 0, cc = 0;
    uint32_t frontPairs = 0, mix = 0, comment = 0, backPairs = 0;
};

inline void putPce(BitWriter &w, const Pce &e) {
    put(w, {{e.tag, 4}, {e.profile, 2}, {e.sf, 4}, {e.front, 4}, {e.side, 4}, {e.back, 4}, {e.lfe, 2},
            {e.assoc, 3}, {e.cc, 4}, {e.mix & 1, 1}, {5, e.mix & 1 ? 4 : 0}, {e.mix >> 1 & 1, 1},
            {12, e.mix & 2 ? 4 : 0}, {e.mix >> 2 & 1, 1}, {7, e.mix & 4 ? 3 : 0}});
    for (uint32_t i = 0; i < e.front; ++i) put(w, {{e.frontPairs >> i & 1, 1}, {i, 4}});
    for (uint32_t i = 0; i < e.side + e.back; ++i)
        put(w, {{i >= e.side && (e.backPairs >> (i - e.side) & 1), 1}, {8 + i, 4}});
    for (uint32_t i = 0; i < e.lfe + e.assoc; ++i) w.bits(i, 4);
    put(w, {{0, int(5 * e.cc)}, {0, (8 - (w.count() + int(5 * e.cc)) % 8) % 8}, {e.comment, 8}});
    for (uint32_t i = 0; i < e.comment; ++i) w.bits(0x41 + i % 26, 8);
}

}  // namespace
