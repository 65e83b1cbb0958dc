// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// The spectral tools of one channel or pair: inverse quantisation, mid/side
// and intensity stereo, noise substitution, deinterleaving and temporal noise
// shaping.  Exact long double formulas, properties of the noise, and every
// argument check at its boundary; whole streams are pinned by the golden md5s.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "omxdl/ac/armACAAC.h"

namespace {

constexpr int32_t kSri44 = 4;  // 44.1 kHz: 49 long bands, 14 short bands
const int32_t kG1[8] = {1}, kG8[8] = {1, 1, 1, 1, 1, 1, 1, 1};
const uint16_t *const kLong = armACAAC_swbOffsetLongWindow[kSri44], *const kShort = armACAAC_swbOffsetShortWindow[kSri44];
struct alignas(32) Coefs { int32_t v[1024]; };
using LD = long double;
using V = std::vector<int32_t>;

int64_t refRound(LD x) {  // half away from zero, saturated
    return static_cast<int64_t>(std::clamp(x > 0 ? std::floor(x + 0.5L) : std::ceil(x - 0.5L), -2147483648.0L, 2147483647.0L));
}
uint32_t lcg(uint32_t r) { return r * 1664525u + 1013904223u; }

// Every scale factor against the exact power (within the rounding of the
// six-decimal tables), known values, skipped codebooks and the value range.
TEST(QuantInv, ExactPowersKnownValuesAndRange) {
    std::vector<uint8_t> cb(51, 1);
    std::vector<int16_t> sf(51);
    Coefs s;
    for (int v = 0; v < 256; ++v) {
        std::fill(sf.begin(), sf.end(), static_cast<int16_t>(v));
        const LD step = std::pow(2.0L, (v - 100) / 4.0L) * 32, tol = 1.5L + step * 6e-7L;
        for (int i = 0; i < 1024; ++i) s.v[i] = (i * 8191 / 1023) * (i % 2 ? -1 : 1);
        ASSERT_EQ(omxACAAC_QuantInv_S32_I(s.v, sf.data(), 1, kG1, 49, cb.data(), kSri44, 1024), 0);
        for (int i = 0; i < 1024; ++i) {
            const LD q = (i * 8191 / 1023) * (i % 2 ? -1 : 1), ideal = std::copysign(std::pow(std::fabs(q), 4.0L / 3), q) * step;
            ASSERT_LE(std::fabs(s.v[i] - std::clamp(ideal, -2147483648.0L, 2147483647.0L)), tol) << v << " " << q;
        }
    }
    // Bands of 4: scale factors 100, 100, 104, 176 (2.519842 * 2^19 * 32 = 42275933.52), codebooks 13, 0, 14, 15 untouched.
    std::fill(sf.begin(), sf.end(), 100);
    sf[2] = 104, sf[3] = 176, cb[4] = 13, cb[5] = 0, cb[6] = 14, cb[7] = 15;
    const V in = {1, -1, 0, 8191, -8191, 2, -2, 1, 1, -1, 0, 0, 2, 0, 0, 0};
    for (int i = 0; i < 1024; ++i) s.v[i] = i < 16 ? in[i] : i < 32 ? 9000 : 1;  // 9000 is out of range if touched
    EXPECT_EQ(omxACAAC_QuantInv_S32_I(s.v, sf.data(), 1, kG1, 8, cb.data(), kSri44, 1024), 0);
    EXPECT_EQ(V(s.v, s.v + 16), (V{32, -32, 0, 5283632, -5283632, 81, -81, 32, 64, -64, 0, 0, 42275934, 0, 0, 0}));
    EXPECT_TRUE(s.v[16] == 9000 && s.v[31] == 9000 && s.v[32] == 1);
    // |q| above 8191 stops at once; so does a scale factor outside 0..255.
    struct Case { int32_t q, band, sf; };
    for (const Case c : {Case{8192, 8, 100}, Case{-8192, 8, 100}, Case{1, 8, -1}, Case{1, 9, 256}, Case{1, 9, 255}}) {
        std::fill(s.v, s.v + 1024, 1);
        sf[8] = sf[9] = 0, s.v[33] = c.q, sf[c.band] = static_cast<int16_t>(c.sf);
        EXPECT_EQ(omxACAAC_QuantInv_S32_I(s.v, sf.data(), 1, kG1, 10, cb.data(), kSri44, 1024), c.sf == 255 ? 0 : -163) << c.q << " " << c.sf;
        EXPECT_TRUE(c.sf == 255 || (s.v[4 * c.band] == (c.sf == 100 ? 32 : 1) && s.v[4 * c.band + 2] == 1)) << c.q << " " << c.sf;
    }
}

// The checks the band walking tools share (inverse quantisation, mid/side,
// intensity): -5 for arguments that do not fit (before -162), -162 for
// max_sfb above the band count, then -5 for group lengths that are negative
// or run past the frame.
TEST(SpectralTools, SharedArgumentChecks) {
    alignas(32) static int32_t l[1025], r[1024];
    int16_t sf[51 * 8] = {};
    uint8_t cb[51 * 8] = {};
    ChanPairElt cpe{};
    cpe.msMaskPresent = 1;
    const int32_t kNeg[8] = {-1, 9}, kNine[8] = {4, 5}, kTwo[8] = {2}, kZero[8] = {0}, k44[8] = {4, 4};
    struct Case { int32_t ng; const int32_t *g; int32_t maxSfb, sri, fl, want; };
    for (const Case &c : {Case{1, kG1, 52, 4, 1024, -5}, Case{1, kG1, 51, 4, 1024, -162}, Case{1, kG1, 10, 12, 1024, -5},
                          Case{1, kG1, 10, -1, 1024, -5}, Case{1, kG1, 40, 11, 1024, 0}, Case{1, kG1, 41, 11, 1024, -162},
                          Case{1, kG1, 10, 4, 960, -5}, Case{2, kG1, 10, 4, 1024, -5}, Case{0, kG1, 10, 4, 1024, -5},
                          Case{0, kG8, 10, 4, 128, -5}, Case{9, kG8, 10, 4, 128, -5}, Case{2, kG1, 50, 4, 1024, -5},
                          Case{0, kG8, 15, 4, 128, -5}, Case{1, kG1, 50, 4, 1024, -162}, Case{8, kG8, 15, 4, 128, -162},
                          Case{2, kNine, 15, 4, 128, -162}, Case{1, kG1, 49, 4, 1024, 0}, Case{8, kG8, 14, 4, 128, 0},
                          Case{2, kNeg, 10, 4, 128, -5}, Case{2, kNine, 10, 4, 128, -5}, Case{2, k44, 14, 4, 128, 0},
                          Case{1, kTwo, 10, 4, 1024, -5}, Case{1, kZero, 10, 4, 1024, 0}, Case{1, kG8, 14, 4, 128, 0}}) {
        SCOPED_TRACE(testing::Message() << c.ng << " " << c.g[0] << " " << c.maxSfb << " " << c.sri << " " << c.fl);
        EXPECT_EQ(omxACAAC_QuantInv_S32_I(l, sf, c.ng, c.g, c.maxSfb, cb, c.sri, c.fl), c.want);
        EXPECT_EQ(omxACAAC_DecodeMsStereo_S32_I(l, r, &cpe, cb, c.ng, c.g, c.maxSfb, c.sri, c.fl), c.want);
        EXPECT_EQ(omxACAAC_DecodeIsStereo_S32(l, r, sf, cb, c.ng, c.g, c.maxSfb, c.sri, c.fl), c.want);
    }
    for (int k = 0; k < 6; ++k) {  // each pointer null in turn; k = 5: none
        EXPECT_EQ(omxACAAC_QuantInv_S32_I(k == 0 ? nullptr : l, k == 1 ? nullptr : sf, 1, k == 2 ? nullptr : kG1, 10,
                                          k == 3 ? nullptr : cb, 4, 1024), k < 4 ? -5 : 0) << k;
        EXPECT_EQ(omxACAAC_DecodeMsStereo_S32_I(k == 0 ? nullptr : l, k == 1 ? nullptr : r, k == 2 ? nullptr : &cpe,
                                                k == 3 ? nullptr : cb, 1, k == 4 ? nullptr : kG1, 10, 4, 1024), k < 5 ? -5 : 0) << k;
        EXPECT_EQ(omxACAAC_DecodeIsStereo_S32(k == 0 ? nullptr : l, k == 1 ? nullptr : r, k == 2 ? nullptr : sf,
                                              k == 3 ? nullptr : cb, 1, k == 4 ? nullptr : kG1, 10, 4, 1024), k < 5 ? -5 : 0) << k;
    }
    // Mid/side only: the mask (1 or 2) and 8-byte alignment of both channels, before -162.
    EXPECT_TRUE(omxACAAC_DecodeMsStereo_S32_I(l + 1, r, &cpe, cb, 1, kG1, 50, 4, 1024) == -5 &&
                omxACAAC_DecodeMsStereo_S32_I(l + 2, r + 2, &cpe, cb, 1, kG1, 50, 4, 1024) == -162 &&
                omxACAAC_DecodeMsStereo_S32_I(l, r + 1, &cpe, cb, 1, kG1, 50, 4, 1024) == -5 &&
                omxACAAC_DecodeIsStereo_S32(l + 1, r, sf, cb, 1, kG1, 49, 4, 1024) == 0);
    for (int mask : {0, 3, 2}) {
        cpe.msMaskPresent = mask;
        EXPECT_EQ(omxACAAC_DecodeMsStereo_S32_I(l, r, &cpe, cb, 1, kG1, 50, 4, 1024), mask == 2 ? -162 : -5) << mask;
    }
}

// Mid/side: l + r and l - r saturated on the bands flagged (all with mask 2)
// unless the right codebook is noise or intensity; ms_used on an intensity
// band inverts its direction instead.  Intensity: r = +-l * 2^(-sf / 4) on
// bands of codebooks 15 (+) and 14 (-), rounded half away from zero.
TEST(Stereo, MidSideAndIntensity) {
    std::vector<uint8_t> cb(49, 1);
    std::vector<int16_t> sf(49);
    for (int mask : {1, 2}) {
        Coefs l, r;
        ChanPairElt cpe{};
        cpe.msMaskPresent = mask;
        std::mt19937 rng(mask);
        for (int i = 0; i < 1024; ++i) l.v[i] = static_cast<int32_t>(rng()), r.v[i] = static_cast<int32_t>(rng());
        l.v[0] = INT32_MAX, r.v[0] = 1, l.v[1] = INT32_MIN, r.v[1] = 1;
        const Coefs l0 = l, r0 = r;
        for (int b = 0; b < 49; ++b) cpe.msUsed[0][b] = (b % 3 == 0 || b == 10) ? 1 : 0, cb[b] = b < 6 || b > 10 ? 1 : b == 6 ? 13 : 14 + b % 2;
        ASSERT_EQ(omxACAAC_DecodeMsStereo_S32_I(l.v, r.v, &cpe, cb.data(), 1, kG1, 48, kSri44, 1024), 0);
        for (int b = 0; b < 49; ++b)
            for (int i = kLong[b]; i < kLong[b + 1]; ++i) {
                const bool on = (cpe.msUsed[0][b] == 1 || mask == 2) && (b < 6 || b > 10) && b < 48;
                ASSERT_EQ(l.v[i], on ? std::clamp<int64_t>(int64_t{l0.v[i]} + r0.v[i], INT32_MIN, INT32_MAX) : l0.v[i]) << b;
                ASSERT_EQ(r.v[i], on ? std::clamp<int64_t>(int64_t{l0.v[i]} - r0.v[i], INT32_MIN, INT32_MAX) : r0.v[i]) << b;
            }
        EXPECT_TRUE(l.v[0] == INT32_MAX && r.v[0] == INT32_MAX - 1 && l.v[1] == INT32_MIN + 1 && r.v[1] == INT32_MIN);
        EXPECT_EQ(std::vector<uint8_t>(cb.begin() + 6, cb.begin() + 11), (std::vector<uint8_t>{13, 15, 14, 14, 15}));
    }
    Coefs l, r;
    std::mt19937 rng(9);
    for (int i = 0; i < 1024; ++i) l.v[i] = static_cast<int32_t>(rng() % 2000001) - 1000000, r.v[i] = 77;
    for (int b = 0; b < 49; ++b) cb[b] = (b % 4 == 3) ? 11 : (b % 2 ? 14 : 15), sf[b] = static_cast<int16_t>(b * 3 - 40);
    ASSERT_EQ(omxACAAC_DecodeIsStereo_S32(l.v, r.v, sf.data(), cb.data(), 1, kG1, 48, kSri44, 1024), 0);
    for (int b = 0; b < 49; ++b)
        for (int i = kLong[b]; i < kLong[b + 1]; ++i)
            ASSERT_EQ(r.v[i], cb[b] == 11 || b == 48 ? 77 : refRound((cb[b] == 15 ? 1 : -1) * std::pow(2.0L, -sf[b] / 4.0L) * l.v[i])) << i;
    // Extremes: pow(2, 1250) is infinite (0 * inf is not a number: 0), pow(2, -1250) is 0.
    struct Case { int16_t sf; uint8_t cb; int32_t l, want; };
    for (const Case &c : {Case{-5000, 15, 0, 0}, Case{-5000, 15, 1, INT32_MAX}, Case{-5000, 14, 1, INT32_MIN}, Case{-100, 15, 63, 63 << 25},
                          Case{-100, 14, 63, -(63 << 25)}, Case{-100, 15, 64, INT32_MAX}, Case{0, 14, INT32_MIN, INT32_MAX},
                          Case{5000, 15, INT32_MAX, 0}, Case{8, 15, 6, 2}, Case{8, 14, 6, -2}, Case{8, 15, -6, -2}}) {
        sf[0] = c.sf, cb[0] = c.cb;
        std::fill(l.v, l.v + 4, c.l);
        ASSERT_EQ(omxACAAC_DecodeIsStereo_S32(l.v, r.v, sf.data(), cb.data(), 1, kG1, 1, kSri44, 1024), 0);
        EXPECT_TRUE(r.v[0] == c.want && r.v[3] == c.want) << c.sf << " " << int{c.cb} << " " << c.l << ": " << r.v[0];
    }
}

struct Pns {
    Coefs s{};
    int32_t flags[64], grp[8] = {1, 1, 1, 1, 1, 1, 1, 1}, ng = 1, maxSfb = 49, fl = 1024;
    std::vector<uint8_t> cb = std::vector<uint8_t>(8 * 51, 1), corr = std::vector<uint8_t>(8 * 60);
    std::vector<int16_t> sf = std::vector<int16_t>(8 * 51, 0);
    std::vector<uint32_t> seeds = std::vector<uint32_t>(8 * 60);
    uint32_t state = 12345;
    int32_t run(int32_t second, int32_t sri = kSri44) {
        return omxACAAC_DecodeMsPNS_S32_I(s.v, flags, cb.data(), sf.data(), maxSfb, ng, grp, sri, fl, &state, second, corr.data(),
                                          seeds.data(), armACAAC_PNSConsts, armACAAC_swbDiffOffsetShortWindow, armACAAC_swbDiffOffsetLongWindow);
    }
};

// Noise bands hold the generator's outputs scaled to energy 2^(sf/2) * 1024.
// A band with correlation flag 0 continues from the state and advances it;
// flag 1 continues the running value, stores it as the band's seed and
// leaves the state alone (the second channel restarts from the seed); other
// flags start from the state without advancing it.
TEST(Pns, EnergyGeneratorAndCorrelation) {
    Pns p;
    std::fill(p.flags, p.flags + 64, 5);
    for (int b = 0; b < 49; ++b) p.cb[b] = (b % 5 == 4) ? 1 : 13, p.sf[b] = static_cast<int16_t>(b * 2 + 10), p.corr[b] = b == 12 || b == 13;
    p.corr[20] = 2;
    std::fill(p.s.v, p.s.v + 1024, 3);
    Pns q = p;
    ASSERT_EQ(p.run(0), 0);
    uint32_t st = 12345, run = st;
    for (int b = 0; b < 49; ++b) {
        const int w = kLong[b + 1] - kLong[b];
        EXPECT_TRUE(p.flags[b] == (p.cb[b] == 13 ? 0 : 5) && (p.cb[b] == 13 || (p.s.v[kLong[b]] == 3 && p.s.v[kLong[b + 1] - 1] == 3))) << b;
        if (p.cb[b] != 13) continue;
        run = p.corr[b] == 1 ? run : st;
        EXPECT_TRUE(p.corr[b] != 1 || p.seeds[b] == run) << b;
        std::vector<LD> raw(w);
        LD e = 0, got = 0;
        for (int k = 0; k < w; ++k) run = lcg(run), raw[k] = static_cast<int32_t>(run), e += raw[k] * raw[k];
        const LD want = std::pow(2.0L, 0.5L * p.sf[b]) * 1024, gain = std::sqrt(want / e);
        for (int k = 0; k < w; ++k) {
            ASSERT_LE(std::fabs(p.s.v[kLong[b] + k] - gain * raw[k]), 0.5L + 1e-9L * std::fabs(gain * raw[k])) << b << " " << k;
            got += static_cast<LD>(p.s.v[kLong[b] + k]) * p.s.v[kLong[b] + k];
        }
        EXPECT_LE(std::fabs(got - want), std::sqrt(want * w) + w) << b;
        st = p.corr[b] == 0 ? run : st;
    }
    EXPECT_EQ(p.state, st);
    q.seeds = p.seeds, q.state = p.state;
    ASSERT_EQ(q.run(1), 0);
    for (int b = 0; b < 49; ++b) EXPECT_EQ(q.s.v[kLong[b]] == p.s.v[kLong[b]], p.cb[b] != 13 || b == 12 || b == 13) << b;
    // Short windows, groups 2, 1, 5: seeds are stored per window counted over the frame; band flags stay.
    Pns s;
    s.fl = 128, s.ng = 3, s.maxSfb = 10, s.grp[0] = 2, s.grp[2] = 5, s.cb[20 + 3] = 13, s.corr[60 * 2 + 3] = 1;
    ASSERT_EQ(s.run(0), 0);
    for (int j = 0; j < 5; ++j) EXPECT_EQ(s.seeds[60 * (3 + j) + 3], j == 0 ? 12345 : lcg(lcg(lcg(lcg(s.seeds[60 * (2 + j) + 3])))));
    EXPECT_TRUE(s.state == 12345 && s.s.v[2 * kShort[10] + kShort[10] + 5 * kShort[3] + 4] != 0 && s.s.v[1023] == 0);
}

TEST(Pns, ExtremesAndArgumentChecks) {
    uint32_t inv = 1664525u;  // a state whose successor is 0
    for (int i = 0; i < 5; ++i) inv *= 2u - 1664525u * inv;
    const uint32_t toZero = (0u - 1013904223u) * inv;
    ASSERT_EQ(lcg(toZero), 0u);
    // pow(2, 8191.75) is infinite (0 * inf: 0), 2^75 saturates every non-zero value, pow(2, -8192) is 0.
    for (int sf : {32767, 300, -32768}) {
        Pns p;
        p.state = toZero, p.cb[0] = 13, p.sf[0] = static_cast<int16_t>(sf);
        ASSERT_EQ(p.run(0), 0);
        for (uint32_t k = 0, r = toZero; k < 4; ++k) {
            const int32_t raw = static_cast<int32_t>(r = lcg(r));
            EXPECT_EQ(p.s.v[k], sf < 0 || raw == 0 ? 0 : raw > 0 ? INT32_MAX : INT32_MIN) << sf << " " << k;
        }
    }
    for (int k = -1; k < 8; ++k) {  // each pointer null in turn; k = -1: none
        Pns p;
        EXPECT_EQ(omxACAAC_DecodeMsPNS_S32_I(k == 0 ? nullptr : p.s.v, k == 1 ? nullptr : p.flags, k == 2 ? nullptr : p.cb.data(),
                                             k == 3 ? nullptr : p.sf.data(), 49, 1, k == 4 ? nullptr : p.grp, kSri44, 1024,
                                             k == 5 ? nullptr : &p.state, 0, k == 6 ? nullptr : p.corr.data(),
                                             k == 7 ? nullptr : p.seeds.data(), nullptr, nullptr, nullptr), k < 0 ? 0 : -5) << k;
    }
    struct Case { int32_t ng, g0, g1, maxSfb, sri, fl, want; };
    for (const Case c : {Case{1, 1, 0, 50, 4, 1024, -5}, Case{1, 1, 0, 49, 4, 1024, 0}, Case{1, 1, 0, 10, 12, 1024, -5},
                         Case{1, 1, 0, 10, -1, 1024, -5}, Case{1, 1, 0, 40, 11, 1024, 0}, Case{1, 1, 0, -1, 4, 1024, -5},
                         Case{1, 1, 0, 0, 4, 1024, 0}, Case{0, 8, 0, 10, 4, 128, -5}, Case{9, 1, 1, 10, 4, 128, -5},
                         Case{2, -1, 9, 10, 4, 128, -5}, Case{2, 4, 5, 10, 4, 128, -5}, Case{1, 2, 0, 10, 4, 1024, -5},
                         Case{2, 4, 4, 14, 4, 128, 0}, Case{8, 1, 1, 14, 4, 128, 0}, Case{1, 0, 0, 10, 4, 1024, 0}, Case{1, 8, 0, 15, 4, 128, -5}}) {
        Pns q;
        q.ng = c.ng, q.grp[0] = c.g0, q.grp[1] = c.g1, q.maxSfb = c.maxSfb, q.fl = c.fl;
        EXPECT_EQ(q.run(0, c.sri), c.want) << c.ng << " " << c.g0 << " " << c.g1 << " " << c.maxSfb << " " << c.sri;
    }
}

// Coded order (group, band, window of the group) to window order; bands from
// maxSfb up are cleared, windows past the groups are not written.
TEST(Deinterleave, LayoutAndStatuses) {
    for (const V &grp : std::vector<V>{{3, 1, 4}, {8}, {0, 8}, {2, 0, 2}, {5}})
        for (int maxSfb : {0, 1, 14}) {
            Coefs src, dst;
            for (int i = 0; i < 1024; ++i) src.v[i] = i + 1, dst.v[i] = -7;
            ASSERT_EQ(omxACAAC_DeinterleaveSpectrum_S32(src.v, dst.v, static_cast<int32_t>(grp.size()), grp.data(), maxSfb, kSri44, 128), 0);
            int w = 0;
            for (int g = 0, base = 0; g < static_cast<int>(grp.size()); base += grp[g++] * kShort[maxSfb])
                for (int j = 0; j < grp[g]; ++j, ++w)
                    for (int k = 0, b = 0; k < 128; ++k) {
                        while (k < kShort[maxSfb] && kShort[b + 1] <= k) ++b;
                        const int coded = base + kShort[b] * grp[g] + j * (kShort[b + 1] - kShort[b]) + (k - kShort[b]);
                        ASSERT_EQ(dst.v[128 * w + k], k < kShort[maxSfb] ? coded + 1 : 0) << grp.size() << " " << maxSfb << " " << w << " " << k;
                    }
            EXPECT_TRUE(std::all_of(dst.v + 128 * w, dst.v + 1024, [](int32_t v) { return v == -7; }));
        }
    Coefs s{}, d{};
    const int32_t kNeg[8] = {-1, 9}, kNine[8] = {4, 5};
    struct Case { const int32_t *s; int32_t *d; int32_t ng; const int32_t *g; int32_t maxSfb, sri, fl, want; };
    for (const Case &c : {Case{nullptr, d.v, 8, kG8, 5, 4, 128, -5}, Case{s.v, nullptr, 8, kG8, 5, 4, 128, -5}, Case{s.v, d.v, 8, nullptr, 5, 4, 128, -5},
                          Case{s.v, d.v, 0, kG8, 5, 4, 128, -5}, Case{s.v, d.v, 9, kG8, 5, 4, 128, -5}, Case{s.v, d.v, 1, kG8, 5, 4, 128, 0},
                          Case{s.v, d.v, 8, kG8, 5, 4, 1024, -5}, Case{s.v, d.v, 8, kG8, -1, 4, 128, -5}, Case{s.v, d.v, 8, kG8, 52, 4, 128, -5},
                          Case{s.v, d.v, 8, kG8, 51, 4, 128, -162}, Case{s.v, d.v, 8, kG8, 5, 12, 128, -5}, Case{s.v, d.v, 8, kG8, 5, -1, 128, -5},
                          Case{s.v, d.v, 8, kG8, 5, 11, 128, 0}, Case{s.v + 1, d.v, 8, kG8, 5, 4, 128, -5}, Case{s.v, d.v + 1, 8, kG8, 5, 4, 128, -5},
                          Case{s.v + 2, d.v + 2, 8, kG8, 15, 4, 128, -162}, Case{s.v + 1, d.v, 8, kG8, 15, 4, 128, -5},
                          Case{s.v, d.v, 2, kNeg, 14, 4, 128, -5}, Case{s.v, d.v, 2, kNine, 14, 4, 128, -5}, Case{s.v, d.v, 8, kG8, 14, 4, 128, 0}})
        EXPECT_EQ(omxACAAC_DeinterleaveSpectrum_S32(c.s, c.d, c.ng, c.g, c.maxSfb, c.sri, c.fl), c.want) << c.ng << " " << c.maxSfb << " " << c.sri;
}

// --- Temporal noise shaping, against long double references -------------

LD refSin(int c, int r) { return std::sin(c / ((std::pow(2.0L, r - 1) + (c >= 0 ? -0.5L : 0.5L)) / (3.14159265358979323846264L / 2))); }

std::vector<LD> refLpc(const int8_t *coef, int res, int order) {  // step-up recursion
    std::vector<LD> a(order + 1, 0.0L), b(order + 1);
    a[0] = 1;
    for (int m = 1; m <= order; ++m) {
        for (int i = 1; i < m; ++i) b[i] = a[i] + refSin(coef[m - 1], res) * a[m - i];
        std::copy(b.begin() + 1, b.begin() + m, a.begin() + 1);
        a[m] = refSin(coef[m - 1], res);
    }
    return a;
}

// y[n] = x[n] - sum a[k] y[n-k] over x[from], x[from + step], ... on dequantised values.
void refFilter(std::vector<LD> &x, int from, int count, int step, const std::vector<LD> &a) {
    std::vector<LD> y;
    for (int n = 0; n < count; ++n) {
        LD v = x[from + n * step] / 32;
        for (int k = 1; k < static_cast<int>(a.size()) && k <= n; ++k) v -= a[k] * y[n - k];
        y.push_back(v);
        x[from + n * step] = v * 32;
    }
}

void expectClose(const V &got, const std::vector<LD> &want) {
    for (size_t i = 0; i < got.size(); ++i) ASSERT_LE(std::fabs(got[i] - want[i]), 0.5L + 1e-7L) << i;
}

TEST(Tns, CoefficientsAndFilterAgainstReference) {
    std::mt19937 rng(3);
    for (int trial = 0; trial < 160; ++trial) {  // orders 1 to 20, both resolutions and directions
        const int order = 1 + trial % 20, res = 3 + (trial & 1), dir = trial / 2 % 2;
        int8_t coef[20];
        for (int i = 0; i < order; ++i) coef[i] = static_cast<int8_t>(static_cast<int>(rng() % (2u << res >> 1)) - (1 << (res - 1)));
        coef[0] = static_cast<int8_t>(trial % 4 == 0 ? -8 : trial % 4 == 2 ? 7 : coef[0]);
        double lpc[21];
        ASSERT_EQ(armACAAC_TnsDecodeCoef(coef, lpc, res, order), 0);
        const std::vector<LD> a = refLpc(coef, res, order);
        for (int i = 0; i <= order; ++i) ASSERT_NEAR(lpc[i], static_cast<double>(a[i]), 1e-12 * (1 + std::fabs(a[i])));
        for (int i = 0; i < order; ++i) coef[i] = static_cast<int8_t>(coef[i] / 4);  // moderate gain for the filter
        ASSERT_EQ(armACAAC_TnsDecodeCoef(coef, lpc, res, order), 0);
        V x(200);
        for (int32_t &v : x) v = static_cast<int32_t>(rng() % 2000001) - 1000000;
        std::vector<LD> want(x.begin(), x.end());
        armACAAC_TnsFilter(x.data() + (dir ? 189 : 10), lpc, 180, dir ? -1 : 1, order);
        refFilter(want, dir ? 189 : 10, 180, dir ? -1 : 1, refLpc(coef, res, order));
        expectClose(x, want);
    }
    // Statuses, nothing written on failure; order 0 writes a[0] only.
    const int8_t zeros[21] = {}, bad[3] = {1, 8, 0}, low[1] = {-9};
    double lpc[22] = {7, 7, 7};
    EXPECT_TRUE(armACAAC_TnsDecodeCoef(nullptr, lpc, 3, 0) == 0 && lpc[0] == 1.0 && lpc[1] == 7.0);
    struct Case { const int8_t *c; double *l; int32_t res, order, want; };
    for (const Case &c : {Case{bad, lpc, 4, 3, -153}, Case{low, lpc, 4, 1, -153}, Case{zeros, lpc, 4, 21, -155}, Case{zeros, lpc, 2, 1, -154},
                          Case{zeros, lpc, 5, 1, -154}, Case{nullptr, lpc, 4, 1, -5}, Case{zeros, nullptr, 4, 1, -5}, Case{bad, lpc, 2, 3, -154},
                          Case{bad, lpc, 4, 21, -155}}) {
        EXPECT_EQ(armACAAC_TnsDecodeCoef(c.c, c.l, c.res, c.order), c.want) << c.res << " " << c.order;
        EXPECT_EQ(lpc[1], 7.0);
    }
    // The filter leaves the data alone without coefficients, without data, for
    // count 0 and orders above 20; a negative order acts as order 0.
    int32_t x[4] = {5, -6, 7, -8};
    lpc[1] = 0.5;
    armACAAC_TnsFilter(x, lpc, 4, 1, 21), armACAAC_TnsFilter(x, lpc, 4, 1, -3), armACAAC_TnsFilter(x, nullptr, 4, 1, 1);
    armACAAC_TnsFilter(nullptr, lpc, 4, 1, 1), armACAAC_TnsFilter(x, lpc, 0, 1, 1);
    EXPECT_EQ(V(x, x + 4), (V{5, -6, 7, -8}));
}

struct Tns {
    V in = V(1024), coefs;
    TnsInfo t{};
    std::vector<int8_t> coef = std::vector<int8_t>(64, 0);
    int32_t maxSfb = 49, sri = 3, fl = 1024, profile = 1;  // 48 kHz: TNS up to band 40 (long), 14 (short)
    Tns() {
        std::mt19937 rng(1);
        for (int32_t &v : in) v = static_cast<int32_t>(rng() % 200001) - 100000;
        coefs = in;
    }
    void filter(int w, int len, int order, int dir = 0) {  // filter f of window w sits in slot w + f
        const int i = w + t.tnsNumFilters[w]++;
        t.tnsLength[i] = len, t.tnsOrder[i] = order, t.tnsDirection[i] = dir;
    }
    int32_t run() {
        return omxACAAC_DecodeTNS_S32_I(coefs.data(), t.tnsNumFilters, t.tnsLength, t.tnsOrder, t.tnsCoefRes, coef.data(), t.tnsDirection,
                                        maxSfb, profile, sri, fl);
    }
};

// Filters of a window run from the top band down, each region clipped to
// min(maxSfb, limit) bands; coefficients are consumed filter by filter.
TEST(Tns, WindowsAgainstReference) {
    struct F { int len, order, dir; };
    for (int maxSfb : {49, 35, 0})
        for (int fl : {1024, 128}) {
            Tns x;
            const bool isShort = fl == 128;
            x.fl = fl, x.maxSfb = isShort ? maxSfb % 15 : maxSfb;
            const int numSwb = isShort ? 14 : 49, limit = std::min(isShort ? 14 : 40, x.maxSfb);
            const uint16_t *off = (isShort ? armACAAC_swbOffsetShortWindow : armACAAC_swbOffsetLongWindow)[3];
            std::vector<std::vector<F>> fs = {{{20, 2, 1}, {10, 0, 0}, {40, 4, 0}}};
            if (isShort) fs = {{{3, 1, 0}}, {{5, 2, 1}}, {}, {{4, 0, 0}}, {{14, 3, 0}}, {{14, 1, 1}}, {{2, 2, 0}}, {{9, 4, 1}}};
            std::vector<LD> want(x.in.begin(), x.in.end());
            for (int w = 0, used = 0; w < static_cast<int>(fs.size()); ++w) {
                x.t.tnsCoefRes[w] = 3 + (w & 1);
                for (int top = numSwb, f = 0; f < static_cast<int>(fs[w].size()); ++f) {
                    const F &g = fs[w][f];
                    x.filter(w, g.len, g.order, g.dir);
                    std::vector<int8_t> c;
                    for (int i = 0; i < g.order; ++i) c.push_back(x.coef[used++] = static_cast<int8_t>((w + f + i) % 5 - 2));
                    const int bottom = std::max(top - g.len, 0), start = off[std::min(bottom, limit)], end = off[std::min(top, limit)];
                    if (g.order > 0 && end > start)
                        refFilter(want, 128 * w + (g.dir ? end - 1 : start), end - start, g.dir ? -1 : 1, refLpc(c.data(), 3 + (w & 1), g.order));
                    top = bottom;
                }
            }
            ASSERT_EQ(x.run(), 0);
            expectClose(x.coefs, want);
            EXPECT_EQ(x.coefs == x.in, maxSfb == 0) << maxSfb << " " << fl;
        }
}

// Every status where it arises: bad arguments (-5) and per window -157 and
// -154 before any filter runs; per filter -156, -155, -152, -153, after the
// filters before it ran.  With two faults the first check decides.
TEST(Tns, Statuses) {
    struct Case { const char *what; void (*mutate)(Tns &); int32_t want; };
    const Case cases[] = {
        {"profile 2", [](Tns &x) { x.profile = 2; }, -5}, {"frame 960", [](Tns &x) { x.fl = 960; }, -5}, {"sri 12", [](Tns &x) { x.sri = 12; }, -5},
        {"sri -1", [](Tns &x) { x.sri = -1; }, -5}, {"sri 11", [](Tns &x) { x.sri = 11, x.maxSfb = 40; }, 0}, {"maxSfb 50", [](Tns &x) { x.maxSfb = 50; }, -5},
        {"maxSfb -1", [](Tns &x) { x.maxSfb = -1; }, -5}, {"short maxSfb 15", [](Tns &x) { x.fl = 128, x.maxSfb = 15; }, -5},
        {"short maxSfb 14", [](Tns &x) { x.fl = 128, x.maxSfb = 14; }, 0}, {"4 long", [](Tns &x) { x.t.tnsNumFilters[0] = 4; }, -157},
        {"3 long", [](Tns &x) { x.t.tnsNumFilters[0] = 3; }, 0}, {"-1", [](Tns &x) { x.t.tnsNumFilters[0] = -1; }, -157},
        {"2 short", [](Tns &x) { x.fl = 128, x.maxSfb = 14, x.t.tnsNumFilters[0] = 2; }, -157}, {"res 2", [](Tns &x) { x.t.tnsCoefRes[0] = 2; }, -154},
        {"res 5", [](Tns &x) { x.t.tnsCoefRes[0] = 5; }, -154}, {"res 3", [](Tns &x) { x.t.tnsCoefRes[0] = 3; }, 0},
        {"len 50", [](Tns &x) { x.t.tnsLength[0] = 50; }, -156}, {"len 49", [](Tns &x) { x.t.tnsLength[0] = 49; }, 0},
        {"len -1", [](Tns &x) { x.t.tnsLength[0] = -1; }, -156}, {"order 13", [](Tns &x) { x.t.tnsOrder[0] = 13; }, -155},
        {"order 12", [](Tns &x) { x.t.tnsOrder[0] = 12; }, 0}, {"order 20", [](Tns &x) { x.t.tnsOrder[0] = 20; }, -155},
        {"order -1", [](Tns &x) { x.t.tnsOrder[0] = -1; }, -155}, {"dir 2", [](Tns &x) { x.t.tnsDirection[0] = 2; }, -152},
        {"dir -1", [](Tns &x) { x.t.tnsDirection[0] = -1; }, -152}, {"coef 8", [](Tns &x) { x.coef[1] = 8; }, -153},
        {"second filter", [](Tns &x) { x.filter(0, 5, 1), x.coef[2] = -9; }, -153},
        {"resolution unused", [](Tns &x) { x.t.tnsNumFilters[0] = 0, x.t.tnsCoefRes[0] = 9; }, 0},
        {"4 filters, res 2", [](Tns &x) { x.t.tnsNumFilters[0] = 4, x.t.tnsCoefRes[0] = 2; }, -157},
        {"res 2, len 50", [](Tns &x) { x.t.tnsCoefRes[0] = 2, x.t.tnsLength[0] = 50; }, -154},
        {"len 50, order 13", [](Tns &x) { x.t.tnsLength[0] = 50, x.t.tnsOrder[0] = 13; }, -156},
        {"order 13, dir 2", [](Tns &x) { x.t.tnsOrder[0] = 13, x.t.tnsDirection[0] = 2; }, -155},
        {"dir 2, coef 8", [](Tns &x) { x.t.tnsDirection[0] = 2, x.coef[1] = 8; }, -152}};
    for (const Case &c : cases) {
        Tns x;
        x.t.tnsCoefRes[0] = 4, x.coef[0] = 3, x.coef[1] = -2;
        x.filter(0, 10, 2);
        c.mutate(x);
        EXPECT_EQ(x.run(), c.want) << c.what;
        EXPECT_EQ(x.coefs != x.in, c.want == 0 ? x.t.tnsNumFilters[0] > 0 : std::string(c.what) == "second filter") << c.what;
    }
    Tns x;
    const int32_t zero[8] = {};
    for (int k = 0; k < 7; ++k)  // each pointer null in turn
        EXPECT_EQ(omxACAAC_DecodeTNS_S32_I(k == 0 ? nullptr : x.coefs.data(), k == 1 ? nullptr : zero, k == 2 ? nullptr : zero,
                                           k == 3 ? nullptr : zero, k == 4 ? nullptr : zero, k == 5 ? nullptr : x.coef.data(),
                                           k == 6 ? nullptr : zero, 10, 1, 3, 1024), -5) << k;
}

}  // namespace
