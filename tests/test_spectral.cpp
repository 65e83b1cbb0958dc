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
#include <vector>

#include "omxdl/ac/armACAAC.h"

namespace {

constexpr int32_t kSri44 = 4;  // 44.1 kHz: 49 long bands, 14 short bands
const int32_t kG1[8] = {1}, kG8[8] = {1, 1, 1, 1, 1, 1, 1, 1};
const uint16_t *const kLong = armACAAC_swbOffsetLongWindow[kSri44], *const kShort = armACAAC_swbOffsetShortWindow[kSri44];
struct alignas(32) Coefs { int32_t v[1024]; };
using LD = long double;
using V = std::vector<int32_t>;

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
// bands of codebooks 15 (+) and 14 (-), rounded half away from zero, saturated.
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
    // Band 1 (4..7) of two; pow(2, 1250) is infinite (0 * inf is not a number: 0), pow(2, -1250) is 0.
    struct Case { int16_t sf; uint8_t cb; int32_t l, want; };
    for (const Case &c : {Case{-5000, 15, 0, 0}, Case{-5000, 15, 1, INT32_MAX}, Case{-5000, 14, 1, INT32_MIN}, Case{-100, 15, 63, 63 << 25},
                          Case{-100, 14, 63, -(63 << 25)}, Case{-100, 15, 64, INT32_MAX}, Case{0, 14, INT32_MIN, INT32_MAX}, Case{5000, 15, INT32_MAX, 0},
                          Case{8, 15, 6, 2}, Case{8, 14, 6, -2}, Case{8, 15, -6, -2}, Case{-3, 15, 1000, 1682}, Case{-3, 11, 6, 77}, Case{0, 13, 6, 77}}) {
        sf[1] = c.sf, cb[0] = 0, cb[1] = c.cb;
        std::fill(l.v, l.v + 12, c.l), std::fill(r.v, r.v + 12, 77);
        ASSERT_EQ(omxACAAC_DecodeIsStereo_S32(l.v, r.v, sf.data(), cb.data(), 1, kG1, 2, kSri44, 1024), 0);
        EXPECT_TRUE(r.v[3] == 77 && r.v[4] == c.want && r.v[7] == c.want && r.v[8] == 77) << c.sf << " " << int{c.cb} << " " << c.l << ": " << r.v[4];
    }
}

struct Pns {
    Coefs s{};
    int32_t flags[64], grp[8] = {1, 1, 1, 1, 1, 1, 1, 1}, ng = 1, maxSfb = 49, fl = 1024;
    uint8_t cb[8 * 51], corr[8 * 60] = {};
    int16_t sf[8 * 51] = {};
    uint32_t seeds[8 * 60] = {}, state = 12345;
    Pns() { std::fill(cb, cb + 8 * 51, 1), std::fill(flags, flags + 64, 5); }
    int32_t run(int32_t second, int32_t sri = kSri44) {
        return omxACAAC_DecodeMsPNS_S32_I(s.v, flags, cb, sf, maxSfb, ng, grp, sri, fl, &state, second, corr, seeds, armACAAC_PNSConsts, armACAAC_swbDiffOffsetShortWindow, armACAAC_swbDiffOffsetLongWindow);
    }
};

// Noise bands hold the generator's outputs at energy 2^(sf/2) * 1024.  A
// band with correlation flag 0 continues from the state and advances it;
// flag 1 continues the running value, stores it as the band's seed and
// leaves the state alone (the second channel restarts from the seed); other
// flags start from the state without advancing it.
TEST(Pns, EnergyGeneratorAndCorrelation) {
    Pns p;
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
        LD e = 0;
        for (int k = 0; k < w; ++k) run = lcg(run), raw[k] = static_cast<int32_t>(run), e += raw[k] * raw[k];
        for (int k = 0; k < w; ++k)  // scaled to energy 2^(sf/2) * 1024
            ASSERT_LE(std::fabs(p.s.v[kLong[b] + k] - std::sqrt(std::pow(2.0L, 0.5L * p.sf[b]) * 1024 / e) * raw[k]), 0.5L + 1e-3L) << b << " " << k;
        st = p.corr[b] == 0 ? run : st;
    }
    EXPECT_EQ(p.state, st);
    std::copy(p.seeds, p.seeds + 480, q.seeds), q.state = p.state;
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
        Pns x;
        x.state = toZero, x.cb[0] = 13, x.sf[0] = static_cast<int16_t>(sf);
        ASSERT_EQ(x.run(0), 0);
        for (uint32_t k = 0, r = lcg(toZero); k < 4; ++k, r = lcg(r))
            EXPECT_EQ(x.s.v[k], sf < 0 || r == 0 ? 0 : static_cast<int32_t>(r) > 0 ? INT32_MAX : INT32_MIN) << sf << " " << k;
    }
    Pns p;
    for (int k = -1; k < 8; ++k)  // each pointer null in turn; k = -1: none
        EXPECT_EQ(omxACAAC_DecodeMsPNS_S32_I(k == 0 ? nullptr : p.s.v, k == 1 ? nullptr : p.flags, k == 2 ? nullptr : p.cb, k == 3 ? nullptr : p.sf, 49, 1,
                                             k == 4 ? nullptr : p.grp, kSri44, 1024, k == 5 ? nullptr : &p.state, 0, k == 6 ? nullptr : p.corr,
                                             k == 7 ? nullptr : p.seeds, nullptr, nullptr, nullptr), k < 0 ? 0 : -5) << k;
    struct Case { int32_t ng, g0, g1, maxSfb, sri, fl, want; };
    for (const Case c : {Case{1, 1, 0, 50, 4, 1024, -5}, Case{1, 1, 0, 49, 4, 1024, 0}, Case{1, 1, 0, 10, 12, 1024, -5}, Case{1, 1, 0, 10, -1, 1024, -5},
                         Case{1, 1, 0, 40, 11, 1024, 0}, Case{1, 1, 0, -1, 4, 1024, -5}, Case{1, 1, 0, 0, 4, 1024, 0}, Case{0, 8, 0, 10, 4, 128, -5},
                         Case{9, 1, 1, 10, 4, 128, -5}, Case{2, -1, 9, 10, 4, 128, -5}, Case{2, 4, 5, 10, 4, 128, -5}, Case{1, 2, 0, 10, 4, 1024, -5},
                         Case{2, 4, 4, 14, 4, 128, 0}, Case{8, 1, 1, 14, 4, 128, 0}, Case{1, 0, 0, 10, 4, 1024, 0}, Case{1, 8, 0, 15, 4, 128, -5}}) {
        Pns q;
        q.ng = c.ng, q.grp[0] = c.g0, q.grp[1] = c.g1, q.maxSfb = c.maxSfb, q.fl = c.fl;
        EXPECT_EQ(q.run(0, c.sri), c.want) << c.ng << " " << c.g0 << " " << c.g1 << " " << c.maxSfb << " " << c.sri;
    }
}

// Deinterleaving: the statuses (the layout is pinned by every short-window stream).
TEST(Deinterleave, Statuses) {
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

std::vector<LD> refLpc(const int8_t *coef, int res, int order) {  // the sine table, then the step-up recursion
    std::vector<LD> a = {1};
    for (int m = 1; m <= order; ++m) {
        std::vector<LD> b = a;
        b.push_back(std::sin(coef[m - 1] / ((std::pow(2.0L, res - 1) + (coef[m - 1] >= 0 ? -0.5L : 0.5L)) / (3.14159265358979323846264L / 2))));
        for (int i = 1; i < m; ++i) b[i] = a[i] + b[m] * a[m - i];
        a = b;
    }
    return a;
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
        V x(200);  // y[n] = x[n] - sum a[k] y[n-k] on dequantised values, from x[10] up or x[189] down
        for (int32_t &v : x) v = static_cast<int32_t>(rng() % 2000001) - 1000000;
        const V in = x;
        const std::vector<LD> b = refLpc(coef, res, order);
        armACAAC_TnsFilter(x.data() + (dir ? 189 : 10), lpc, 180, dir ? -1 : 1, order);
        std::vector<LD> ys;
        for (int n = 0, at = dir ? 189 : 10; n < 180; ++n, at += dir ? -1 : 1) {
            ys.push_back(in[at] / 32.0L);
            for (int k = 1; k <= std::min(order, n); ++k) ys[n] -= b[k] * ys[n - k];
            ASSERT_LE(std::fabs(x[at] - ys[n] * 32), 0.5L + 1e-7L) << order << " " << n;
        }
        EXPECT_TRUE(x[9] == in[9] && x[190] == in[190]);
    }
    // Statuses, nothing written on failure; order 0 writes a[0] only.
    const int8_t zeros[21] = {}, bad[3] = {1, 8, 0}, low[1] = {-9};
    double lpc[22] = {7, 7, 7};
    EXPECT_TRUE(armACAAC_TnsDecodeCoef(nullptr, lpc, 3, 0) == 0 && lpc[0] == 1.0 && lpc[1] == 7.0);
    struct Case { const int8_t *c; double *l; int32_t res, order, want; };
    for (const Case &c : {Case{bad, lpc, 4, 3, -153}, Case{low, lpc, 4, 1, -153}, Case{zeros, lpc, 4, 21, -155}, Case{zeros, lpc, 2, 1, -154},
                          Case{zeros, lpc, 5, 1, -154}, Case{nullptr, lpc, 4, 1, -5}, Case{zeros, nullptr, 4, 1, -5}, Case{bad, lpc, 2, 3, -154}})
        EXPECT_TRUE(armACAAC_TnsDecodeCoef(c.c, c.l, c.res, c.order) == c.want && lpc[1] == 7.0) << c.res << " " << c.order;
    // The filter leaves the data alone without coefficients, without data, for
    // count 0 and orders above 20; a negative order acts as order 0.
    int32_t x[4] = {5, -6, 7, -8};
    lpc[1] = 0.5;
    armACAAC_TnsFilter(x, lpc, 4, 1, 21), armACAAC_TnsFilter(x, lpc, 4, 1, -3), armACAAC_TnsFilter(x, nullptr, 4, 1, 1);
    armACAAC_TnsFilter(nullptr, lpc, 4, 1, 1), armACAAC_TnsFilter(x, lpc, 0, 1, 1);
    EXPECT_EQ(V(x, x + 4), (V{5, -6, 7, -8}));
}

// Every status where it arises: bad arguments (-5) and per window -157 and
// -154 before any filter runs; per filter -156, -155, -152, -153, after the
// filters before it ran.  Rows change one thing of a filter over 10 bands,
// order 2, at 48 kHz (TNS up to band 40 of 49; 14 short); a second filter
// (order 1) has an invalid coefficient.
TEST(Tns, Statuses) {
    V in(1024);
    std::mt19937 rng(1);
    for (int32_t &v : in) v = static_cast<int32_t>(rng() % 200001) - 100000;
    struct Case { int32_t profile, fl, sri, maxSfb, nf, res, len, order, dir, c1, want; };
    for (const Case c : {Case{2, 1024, 3, 49, 1, 4, 10, 2, 0, -2, -5}, Case{1, 960, 3, 49, 1, 4, 10, 2, 0, -2, -5}, Case{1, 1024, 12, 49, 1, 4, 10, 2, 0, -2, -5},
                         Case{1, 1024, -1, 49, 1, 4, 10, 2, 0, -2, -5}, Case{1, 1024, 11, 40, 1, 4, 10, 2, 0, -2, 0}, Case{1, 1024, 3, 50, 1, 4, 10, 2, 0, -2, -5},
                         Case{1, 1024, 3, -1, 1, 4, 10, 2, 0, -2, -5}, Case{1, 128, 3, 15, 1, 4, 10, 2, 0, -2, -5}, Case{1, 128, 3, 14, 1, 4, 10, 2, 0, -2, 0},
                         Case{1, 1024, 3, 49, 4, 4, 10, 2, 0, -2, -157}, Case{1, 1024, 3, 49, 3, 4, 10, 2, 0, -2, 0}, Case{1, 1024, 3, 49, -1, 4, 10, 2, 0, -2, -157},
                         Case{1, 128, 3, 14, 2, 4, 10, 2, 0, -2, -157}, Case{1, 1024, 3, 49, 1, 2, 10, 2, 0, -2, -154}, Case{1, 1024, 3, 49, 1, 5, 10, 2, 0, -2, -154},
                         Case{1, 1024, 3, 49, 1, 3, 10, 2, 0, -2, 0}, Case{1, 1024, 3, 49, 1, 4, 50, 2, 0, -2, -156}, Case{1, 1024, 3, 49, 1, 4, 49, 2, 0, -2, 0},
                         Case{1, 1024, 3, 49, 1, 4, -1, 2, 0, -2, -156}, Case{1, 1024, 3, 49, 1, 4, 10, 13, 0, -2, -155}, Case{1, 1024, 3, 49, 1, 4, 10, 12, 0, -2, 0},
                         Case{1, 1024, 3, 49, 1, 4, 10, 20, 0, -2, -155}, Case{1, 1024, 3, 49, 1, 4, 10, -1, 0, -2, -155}, Case{1, 1024, 3, 49, 1, 4, 10, 2, 2, -2, -152},
                         Case{1, 1024, 3, 49, 1, 4, 10, 2, -1, -2, -152}, Case{1, 1024, 3, 49, 1, 4, 10, 2, 1, 8, -153}, Case{1, 1024, 3, 49, 2, 4, 10, 2, 1, -2, -153},
                         Case{1, 1024, 3, 49, 0, 9, 10, 2, 0, -2, 0}}) {
        V x = in;
        int32_t nf[8] = {c.nf}, res[8] = {c.res}, len[8] = {c.len, 5}, order[8] = {c.order, 1}, dir[8] = {c.dir};
        const int8_t coef[20] = {3, static_cast<int8_t>(c.c1), static_cast<int8_t>(c.nf == 2 ? -9 : 1)};
        EXPECT_EQ(omxACAAC_DecodeTNS_S32_I(x.data(), nf, len, order, res, coef, dir, c.maxSfb, c.profile, c.sri, c.fl), c.want) << c.nf << " " << c.want;
        EXPECT_EQ(x != in, c.want == 0 ? c.nf > 0 : c.nf == 2 && c.fl == 1024) << c.nf << " " << c.want;
        for (int k = 0; c.nf == 0 && k < 7; ++k)  // each pointer null in turn
            EXPECT_EQ(omxACAAC_DecodeTNS_S32_I(k == 0 ? nullptr : x.data(), k == 1 ? nullptr : nf, k == 2 ? nullptr : len, k == 3 ? nullptr : order,
                                               k == 4 ? nullptr : res, k == 5 ? nullptr : coef, k == 6 ? nullptr : dir, 49, 1, 3, 1024), -5) << k;
    }
}

}  // namespace
