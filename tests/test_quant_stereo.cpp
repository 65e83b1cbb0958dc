// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// Inverse quantisation, deinterleaving, mid/side and intensity stereo and
// noise substitution: known values, direct long double formulas and
// properties (noise energy, generator continuity, correlated bands), and the
// statuses of the argument checks the tools share.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "omxdl/ac/armACAAC.h"

namespace {

constexpr int32_t kSri44 = 4;  // 44.1 kHz: 49 long bands, 14 short bands
const int32_t kG1[8] = {1}, kG8[8] = {1, 1, 1, 1, 1, 1, 1, 1};

struct alignas(32) Coefs { int32_t v[1024]; };

// Round half away from zero and saturate to int32 (reference conversion); a
// value that is not a number gives 0.
int64_t refRound(long double x) {
    if (std::isnan(x)) return 0;
    const long double r = x > 0 ? std::floor(x + 0.5L) : std::ceil(x - 0.5L);
    return static_cast<int64_t>(std::max(-2147483648.0L, std::min(2147483647.0L, r)));
}

uint32_t lcg(uint32_t r) { return r * 1664525u + 1013904223u; }

// The multiplier/increment pairs advance the noise generator by 1..4 steps;
// the five words after them are known values.
TEST(QuantTables, PnsConstsAdvanceTheGenerator) {
    std::mt19937 rng(5);
    for (int trial = 0; trial < 100; ++trial) {
        const uint32_t x = rng();
        uint32_t r = x;
        for (int k = 1; k <= 4; ++k) EXPECT_EQ(x * armACAAC_PNSConsts[k - 1] + armACAAC_PNSConsts[3 + k], r = lcg(r));
    }
    const uint32_t tail[5] = {0xCB345100u, 0xFCF3F000u, 0x44043700u, 0xD7B59880u, 0x0C080400u};
    EXPECT_TRUE(std::equal(tail, tail + 5, armACAAC_PNSConsts + 8));
}

struct LongFrame {
    Coefs s{};
    std::vector<int16_t> sf;
    std::vector<uint8_t> cb;
    explicit LongFrame(int32_t sfv = 100, uint8_t cbv = 1, int32_t fill = 0)
        : sf(51, static_cast<int16_t>(sfv)), cb(51, cbv) { std::fill(s.v, s.v + 1024, fill); }
    int32_t quant() { return omxACAAC_QuantInv_S32_I(s.v, sf.data(), 1, kG1, 49, cb.data(), kSri44, 1024); }
};

// Every scale factor on magnitudes across the range, against the exact
// power within the rounding of the six-decimal tables, saturating at the
// 32-bit limits; and known values of those tables.
TEST(QuantInv, AllScaleFactorsAgainstExactPowers) {
    for (int sf = 0; sf < 256; ++sf) {
        const long double step = std::pow(2.0L, (sf - 100) / 4.0L) * 32.0L;
        const long double tol = 0.5L + step * 6e-7L;  // table entries carry 5e-7 of rounding
        LongFrame f(sf);
        for (int i = 0; i < 1024; ++i) f.s.v[i] = (i * 8191 / 1023) * (i % 2 ? -1 : 1);
        ASSERT_EQ(f.quant(), 0);
        for (int i = 0; i < 1024; ++i) {
            const int q = (i * 8191 / 1023) * (i % 2 ? -1 : 1);
            const long double ideal = (q < 0 ? -1 : 1) * std::pow(std::fabs(static_cast<long double>(q)), 4.0L / 3.0L) * step;
            if (std::fabs(ideal) > 2147483647.0L + tol + 1) {
                ASSERT_EQ(f.s.v[i], q < 0 ? INT32_MIN : INT32_MAX) << sf << " " << q;
            } else if (std::fabs(ideal) < 2147483647.0L - tol - 1) {
                ASSERT_LE(std::fabs(f.s.v[i] - ideal), tol + 0.5L) << sf << " " << q;
            }
        }
    }
    LongFrame f(100), g(104), h(176);
    const int32_t in[5] = {1, -1, 0, 8191, 2}, want[5] = {32, -32, 0, 5283632, 81};  // 2.519842 * 32 = 80.63
    std::copy(in, in + 5, f.s.v);
    g.s.v[0] = 1;
    h.s.v[0] = 2;
    ASSERT_EQ(f.quant(), 0);
    ASSERT_EQ(g.quant(), 0);
    ASSERT_EQ(h.quant(), 0);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(f.s.v[i], want[i]) << i;
    EXPECT_EQ(g.s.v[0], 64);
    // 2.519842 * 2^19 * 32 = 42275933.52; the further decimals of 2^(4/3)
    // would give 42275935.
    EXPECT_EQ(h.s.v[0], 42275934);
}

TEST(QuantInv, OutOfRangeStopsAtOnceAndSkippedBands) {
    for (int bad : {8192, -8192, 100000}) {
        LongFrame f(100, 1, 1);
        f.s.v[5] = bad;
        EXPECT_EQ(f.quant(), -163);
        for (int i = 0; i < 7; ++i) EXPECT_EQ(f.s.v[i], i < 5 ? 32 : i == 5 ? bad : 1);
    }
    for (uint8_t cb : {0, 13, 14, 15}) {
        LongFrame f(100, cb);
        f.cb[3] = 1;  // band 3 (offsets 12..16 at 44.1 kHz) is dequantised
        for (int i = 0; i < 1024; ++i) f.s.v[i] = (i >= 12 && i < 16) ? 1 : 9000 + i;  // out of range if touched
        ASSERT_EQ(f.quant(), 0) << int(cb);
        for (int i = 0; i < 1024; ++i) EXPECT_EQ(f.s.v[i], (i >= 12 && i < 16) ? 32 : 9000 + i) << i;
    }
}

TEST(QuantInv, ShortGroupsUseTheirScaleFactors) {
    // Groups 3, 1, 4 with maxSfb 5; scale factor 100 + 4 * g + (sfb odd): each
    // coded-order position gets sign * 32 * 2^g * (2^(1/4) for odd bands).
    const int32_t grp[8] = {3, 1, 4};
    const int maxSfb = 5;
    const uint16_t *off = armACAAC_swbOffsetShortWindow[kSri44];
    std::vector<int16_t> sf(3 * maxSfb);
    std::vector<uint8_t> cb(3 * maxSfb, 1);
    for (int i = 0; i < 3 * maxSfb; ++i) sf[i] = static_cast<int16_t>(100 + 4 * (i / maxSfb) + (i % maxSfb & 1));
    Coefs s{};
    const int n = 8 * off[maxSfb];
    for (int i = 0; i < 1024; ++i) s.v[i] = i < n ? (i % 3) - 1 : 7;
    ASSERT_EQ(omxACAAC_QuantInv_S32_I(s.v, sf.data(), 3, grp, maxSfb, cb.data(), kSri44, 128), 0);
    int pos = 0;
    for (int g = 0; g < 3; ++g)
        for (int b = 0; b < maxSfb; ++b)
            for (int k = 0; k < grp[g] * (off[b + 1] - off[b]); ++k, ++pos)
                EXPECT_EQ(s.v[pos], refRound(((pos % 3) - 1) * 32.0L * std::pow(2.0L, g + (b & 1) / 4.0L))) << pos;
    for (int i = n; i < 1024; ++i) ASSERT_EQ(s.v[i], 7);
}

// The checks the band walking tools share (inverse quantisation, mid/side,
// intensity): -5 for arguments that do not fit (before -162), -162 for
// max_sfb above the band count, then -5 for group lengths that are negative
// or run past the frame.
TEST(SpectralTools, SharedArgumentChecks) {
    alignas(32) static int32_t l[1024], r[1024];
    int16_t sf[51 * 8] = {};
    uint8_t cb[51 * 8] = {};
    ChanPairElt cpe{};
    cpe.msMaskPresent = 1;
    const int32_t kNeg[8] = {-1, 9}, kNine[8] = {4, 5}, kTwo[8] = {2};
    struct Case { int32_t ng; const int32_t *g; int32_t maxSfb, sri, fl, want; };
    const Case cases[] = {
        {1, kG1, 52, 4, 1024, -5}, {1, kG1, 10, 12, 1024, -5}, {1, kG1, 10, 4, 960, -5}, {2, kG1, 10, 4, 1024, -5},
        {0, kG8, 10, 4, 128, -5},  {9, kG8, 10, 4, 128, -5},   {2, kG1, 50, 4, 1024, -5}, {0, kG8, 15, 4, 128, -5},
        {1, kG1, 50, 4, 1024, -162}, {8, kG8, 15, 4, 128, -162}, {2, kNine, 15, 4, 128, -162},
        {1, kG1, 49, 4, 1024, 0},  {8, kG8, 14, 4, 128, 0},    {2, kNeg, 10, 4, 128, -5}, {2, kNine, 10, 4, 128, -5},
        {1, kTwo, 10, 4, 1024, -5}};
    for (const Case &c : cases) {
        SCOPED_TRACE(&c - cases);
        EXPECT_EQ(omxACAAC_QuantInv_S32_I(l, sf, c.ng, c.g, c.maxSfb, cb, c.sri, c.fl), c.want);
        EXPECT_EQ(omxACAAC_DecodeMsStereo_S32_I(l, r, &cpe, cb, c.ng, c.g, c.maxSfb, c.sri, c.fl), c.want);
        EXPECT_EQ(omxACAAC_DecodeIsStereo_S32(l, r, sf, cb, c.ng, c.g, c.maxSfb, c.sri, c.fl), c.want);
    }
    for (int k = 0; k < 5; ++k) {  // each pointer null in turn
        EXPECT_EQ(omxACAAC_QuantInv_S32_I(k == 0 ? nullptr : l, k == 1 ? nullptr : sf, 1, k == 2 ? nullptr : kG1, 10,
                                          k == 3 ? nullptr : cb, 4, 1024), k < 4 ? -5 : 0) << k;
        EXPECT_EQ(omxACAAC_DecodeMsStereo_S32_I(k == 0 ? nullptr : l, k == 1 ? nullptr : r, k == 2 ? nullptr : &cpe,
                                                k == 3 ? nullptr : cb, 1, k == 4 ? nullptr : kG1, 10, 4, 1024), -5) << k;
        EXPECT_EQ(omxACAAC_DecodeIsStereo_S32(k == 0 ? nullptr : l, k == 1 ? nullptr : r, k == 2 ? nullptr : sf,
                                              k == 3 ? nullptr : cb, 1, k == 4 ? nullptr : kG1, 10, 4, 1024), -5) << k;
    }
    // Mid/side only: the mask (1 or 2) and 8-byte alignment, before -162.
    int32_t *l4 = l + 1;
    EXPECT_EQ(omxACAAC_DecodeMsStereo_S32_I(l4, r, &cpe, cb, 1, kG1, 50, 4, 1024), -5);
    EXPECT_EQ(omxACAAC_DecodeIsStereo_S32(l4, r, sf, cb, 1, kG1, 49, 4, 1024), 0);
    for (int mask : {0, 3}) {
        cpe.msMaskPresent = mask;
        EXPECT_EQ(omxACAAC_DecodeMsStereo_S32_I(l, r, &cpe, cb, 1, kG1, 50, 4, 1024), -5) << mask;
    }
    // Inverse quantisation only: -162 before the value range; a scale factor
    // outside 0..255 stops the conversion with -163.
    std::fill(cb, cb + 51 * 8, 1);
    std::fill(sf, sf + 51 * 8, 100);
    std::fill(l, l + 1024, 1);
    l[3] = 9000;
    EXPECT_EQ(omxACAAC_QuantInv_S32_I(l, sf, 1, kG1, 50, cb, 4, 1024), -162);
    EXPECT_EQ(omxACAAC_QuantInv_S32_I(l, sf, 8, kG8, 15, cb, 4, 128), -162);
    for (int i = 0; i < 1024; ++i) ASSERT_EQ(l[i], i == 3 ? 9000 : 1) << i;
    l[3] = 1;
    for (int16_t bad : {-1, 256}) {
        sf[2] = bad;
        EXPECT_EQ(omxACAAC_QuantInv_S32_I(l, sf, 1, kG1, 49, cb, 4, 1024), -163) << bad;
        EXPECT_EQ(l[8], 1);  // band 2 (8..11) untouched
    }
}

TEST(Deinterleave, GroupsPlaceBandsInTheirWindows) {
    // Groupings of eight windows, with empty groups, and short of eight.
    const std::vector<std::vector<int32_t>> groupings = {{3, 1, 4}, {8}, {1, 1, 1, 1, 1, 1, 1, 1}, {0, 8},
                                                         {3, 0, 5}, {4, 0, 0, 4}, {2, 0, 2}, {0}, {5}};
    for (const std::vector<int32_t> &grp : groupings) {
        const int ng = static_cast<int>(grp.size());
        for (int sri : {0, 4, 8, 11}) {
            const uint16_t *off = armACAAC_swbOffsetShortWindow[sri];
            const int numSwb = armACAAC_numSwbShort[sri];
            for (int maxSfb : {0, 1, numSwb / 2, numSwb}) {
                Coefs src{}, dst{};
                for (int i = 0; i < 1024; ++i) src.v[i] = i + 1, dst.v[i] = -7;
                ASSERT_EQ(omxACAAC_DeinterleaveSpectrum_S32(src.v, dst.v, ng, grp.data(), maxSfb, sri, 128), 0);
                int w = 0;
                for (int g = 0, base = 0; g < ng; base += grp[g++] * off[maxSfb])
                    for (int j = 0; j < grp[g]; ++j, ++w)
                        for (int k = 0, b = 0; k < 128; ++k) {
                            while (k < off[maxSfb] && off[b + 1] <= k) ++b;  // coded order: band, window, bin
                            const int coded = base + off[b] * grp[g] + j * (off[b + 1] - off[b]) + (k - off[b]);
                            const int want = k < off[maxSfb] ? coded + 1 : k < off[numSwb] ? 0 : -7;
                            ASSERT_EQ(dst.v[128 * w + k], want) << ng << " " << sri << " " << maxSfb << " " << w << " " << k;
                        }
                for (int i = 128 * w; i < 1024; ++i) ASSERT_EQ(dst.v[i], -7) << ng << " " << i;  // not written
            }
        }
    }
    // One group of eight windows with maxSfb 0: 1024 zeros.  Groups 3, 1, 4
    // with every band coded: group 1 is window 3 as it stands; group 2's
    // first band (four wide) holds windows 4 to 7 in turn.
    Coefs s{}, d{};
    const int32_t g8[8] = {8}, g314[8] = {3, 1, 4};
    for (int i = 0; i < 1024; ++i) s.v[i] = i + 1, d.v[i] = -7;
    ASSERT_EQ(omxACAAC_DeinterleaveSpectrum_S32(s.v, d.v, 1, g8, 0, kSri44, 128), 0);
    for (int i = 0; i < 1024; ++i) ASSERT_EQ(d.v[i], 0) << i;
    ASSERT_EQ(omxACAAC_DeinterleaveSpectrum_S32(s.v, d.v, 3, g314, 14, kSri44, 128), 0);
    for (int k = 0; k < 128; ++k) ASSERT_EQ(d.v[384 + k], 385 + k) << k;
    for (int j = 0; j < 4; ++j)
        for (int k = 0; k < 4; ++k) ASSERT_EQ(d.v[128 * (4 + j) + k], 513 + 4 * j + k) << j << " " << k;
    // Unwritten windows past the groups stay as they were.
    const int32_t g22[8] = {2, 2};
    Coefs src{}, dst{};
    for (int i = 0; i < 1024; ++i) src.v[i] = 5, dst.v[i] = 9;
    ASSERT_EQ(omxACAAC_DeinterleaveSpectrum_S32(src.v, dst.v, 2, g22, 3, kSri44, 128), 0);
    for (int i = 0; i < 1024; ++i) ASSERT_EQ(dst.v[i], i >= 512 ? 9 : (i % 128) < 12 ? 5 : 0) << i;
}

TEST(Deinterleave, Statuses) {
    Coefs src{}, dst{};
    const int32_t *src4 = src.v + 1;
    int32_t *dst4 = dst.v + 1;
    const int32_t kNeg[8] = {-1, 9};
    struct Case { const int32_t *s; int32_t *d; int32_t ng; const int32_t *g; int32_t maxSfb, sri, fl, want; };
    const Case cases[] = {
        {nullptr, dst.v, 8, kG8, 5, 4, 128, -5}, {src.v, nullptr, 8, kG8, 5, 4, 128, -5},
        {src.v, dst.v, 8, nullptr, 5, 4, 128, -5}, {src.v, dst.v, 0, kG8, 5, 4, 128, -5},
        {src.v, dst.v, 9, kG8, 5, 4, 128, -5}, {src.v, dst.v, 8, kG8, 5, 4, 1024, -5},
        {src.v, dst.v, 8, kG8, -1, 4, 128, -5}, {src.v, dst.v, 8, kG8, 52, 4, 128, -5},
        {src.v, dst.v, 8, kG8, 5, 12, 128, -5}, {src4, dst.v, 8, kG8, 5, 4, 128, -5},
        {src.v, dst4, 8, kG8, 5, 4, 128, -5}, {src.v, dst.v, 8, kG8, 15, 4, 128, -162},
        {src4, dst.v, 8, kG8, 15, 4, 128, -5}, {src.v, dst.v, 2, kNeg, 14, 4, 128, -5},
        {src.v, dst.v, 8, kG8, 14, 4, 128, 0}};
    for (const Case &c : cases)
        EXPECT_EQ(omxACAAC_DeinterleaveSpectrum_S32(c.s, c.d, c.ng, c.g, c.maxSfb, c.sri, c.fl), c.want) << (&c - cases);
}

struct Pair {
    Coefs l{}, r{};
    ChanPairElt cpe{};
    std::vector<uint8_t> cbR = std::vector<uint8_t>(8 * 60, 1);  // room for eight groups
    std::vector<int16_t> sfR = std::vector<int16_t>(8 * 60, 0);
    int32_t ms() { return omxACAAC_DecodeMsStereo_S32_I(l.v, r.v, &cpe, cbR.data(), 1, kG1, 49, kSri44, 1024); }
    int32_t is() { return omxACAAC_DecodeIsStereo_S32(l.v, r.v, sfR.data(), cbR.data(), 1, kG1, 49, kSri44, 1024); }
};

TEST(MsStereo, SaturatesAndSelectsBands) {
    const uint16_t *off = armACAAC_swbOffsetLongWindow[kSri44];
    const auto clamp = [](int64_t v) { return std::max<int64_t>(INT32_MIN, std::min<int64_t>(INT32_MAX, v)); };
    for (int mask : {1, 2}) {
        Pair p;
        p.cpe.msMaskPresent = mask;
        std::mt19937 rng(mask);
        for (int i = 0; i < 1024; ++i) p.l.v[i] = static_cast<int32_t>(rng()), p.r.v[i] = static_cast<int32_t>(rng());
        p.l.v[0] = 0x7FFFFFFF, p.r.v[0] = 1;
        const Coefs l0 = p.l, r0 = p.r;
        for (int b = 0; b < 49; ++b) p.cpe.msUsed[0][b] = (b % 3 == 0 || b == 10) ? 1 : 0;
        p.cbR[6] = 13, p.cbR[7] = 14, p.cbR[8] = 15, p.cbR[9] = 14, p.cbR[10] = 15;
        ASSERT_EQ(p.ms(), 0);
        for (int b = 0; b < 49; ++b) {
            const bool applies = (p.cpe.msUsed[0][b] == 1 || mask == 2) && (b < 6 || b > 10);
            for (int i = off[b]; i < off[b + 1]; ++i) {
                ASSERT_EQ(p.l.v[i], applies ? clamp(int64_t{l0.v[i]} + r0.v[i]) : l0.v[i]) << b;
                ASSERT_EQ(p.r.v[i], applies ? clamp(int64_t{l0.v[i]} - r0.v[i]) : r0.v[i]) << b;
            }
        }
        EXPECT_EQ(p.l.v[0], 0x7FFFFFFF);
        EXPECT_EQ(p.r.v[0], 0x7FFFFFFE);
        for (int i = off[49]; i < 1024; ++i) ASSERT_EQ(p.l.v[i], l0.v[i]);
        // Intensity bands: unchanged without ms_used, inverted with it.
        EXPECT_EQ(p.cbR[7], 14);
        EXPECT_EQ(p.cbR[8], 15);
        EXPECT_EQ(p.cbR[9], 15);
        EXPECT_EQ(p.cbR[10], 14);
    }
}

TEST(IsStereo, PositionsSignsAndMsInversion) {
    const uint16_t *off = armACAAC_swbOffsetLongWindow[kSri44];
    Pair p;
    std::mt19937 rng(9);
    for (int i = 0; i < 1024; ++i) p.l.v[i] = static_cast<int32_t>(rng() % 2000001) - 1000000, p.r.v[i] = 77;
    for (int b = 0; b < 49; ++b) p.cbR[b] = (b % 4 == 3) ? 1 : (b % 2 ? 14 : 15), p.sfR[b] = static_cast<int16_t>(b * 3 - 40);
    p.sfR[0] = 0, p.sfR[1] = 0, p.sfR[2] = 4;
    ASSERT_EQ(p.is(), 0);
    for (int b = 0; b < 49; ++b)
        for (int i = off[b]; i < off[b + 1]; ++i) {
            if (p.cbR[b] == 1) { ASSERT_EQ(p.r.v[i], 77); continue; }
            const long double want = (p.cbR[b] == 15 ? 1 : -1) * std::pow(2.0L, -p.sfR[b] / 4.0L) * p.l.v[i];
            ASSERT_LE(std::fabs(p.r.v[i] - want), 0.5L + 1e-9L) << b << " " << i;
            if (b < 2) {
                ASSERT_EQ(p.r.v[i], b == 0 ? p.l.v[i] : -p.l.v[i]);
            }
            if (b == 2) {
                ASSERT_EQ(p.r.v[i], refRound(p.l.v[i] / 2.0L));  // halves away from zero
            }
        }
    for (int i = off[49]; i < 1024; ++i) ASSERT_EQ(p.r.v[i], 77);
    // ms_used on an intensity band (codebook 15) makes its sign negative.
    Pair q;
    q.cpe.msMaskPresent = 1, q.cbR[0] = 15, q.cpe.msUsed[0][0] = 1;
    for (int i = 0; i < 4; ++i) q.l.v[i] = 100 * (i + 1);
    ASSERT_EQ(q.ms(), 0);
    ASSERT_EQ(q.is(), 0);
    for (int i = 0; i < 4; ++i) EXPECT_TRUE(q.l.v[i] == 100 * (i + 1) && q.r.v[i] == -100 * (i + 1)) << i;
}

TEST(IsStereo, ShortGroups) {
    const uint16_t *off = armACAAC_swbOffsetShortWindow[kSri44];
    const int32_t grp[8] = {2, 5, 1};
    const int maxSfb = 12;
    Coefs l{}, r{};
    for (int i = 0; i < 1024; ++i) l.v[i] = 1000 + i;
    std::vector<int16_t> sf(3 * maxSfb);
    std::vector<uint8_t> cb(3 * maxSfb, 0);
    cb[maxSfb + 4] = 15, sf[maxSfb + 4] = 8;  // group 1, band 4: quarter
    ASSERT_EQ(omxACAAC_DecodeIsStereo_S32(l.v, r.v, sf.data(), cb.data(), 3, grp, maxSfb, kSri44, 128), 0);
    const int start = grp[0] * off[maxSfb] + off[4] * grp[1], end = start + (off[5] - off[4]) * grp[1];
    for (int i = 0; i < 1024; ++i) ASSERT_EQ(r.v[i], (i >= start && i < end) ? refRound((1000 + i) / 4.0L) : 0) << i;
}

TEST(IsStereo, ExtremePositionsAreDefined) {
    // Band 0 (four coefficients, all equal to l) at intensity position sf.
    // pow(2, 1250) is infinite: 0 * inf is not a number and gives 0, other
    // values saturate; pow(2, -1250) is 0.
    struct Case { int16_t sf; uint8_t cb; int32_t l, want; };
    const Case cases[] = {
        {-5000, 15, 0, 0},          {-5000, 15, 1, INT32_MAX},  {-5000, 14, 1, INT32_MIN}, {-100, 15, 63, 63 << 25},
        {-100, 14, 63, -(63 << 25)}, {-100, 15, 64, INT32_MAX}, {0, 14, INT32_MIN, INT32_MAX}, {5000, 15, INT32_MAX, 0}};

    for (const Case &c : cases) {
        Pair p;
        p.cbR[0] = c.cb, p.sfR[0] = c.sf;
        std::fill(p.l.v, p.l.v + 4, c.l);
        std::fill(p.r.v, p.r.v + 1024, 77);
        ASSERT_EQ(p.is(), 0);
        for (int i = 0; i < 8; ++i) EXPECT_EQ(p.r.v[i], i < 4 ? c.want : 77) << c.sf << " " << int(c.cb) << " " << c.l;
    }
}

struct Pns {
    Coefs s{};
    int32_t flags[64];
    std::vector<uint8_t> cb = std::vector<uint8_t>(8 * 51, 1);
    std::vector<int16_t> sf = std::vector<int16_t>(8 * 51, 0);
    uint8_t corr[8 * 60] = {};
    uint32_t seeds[8 * 60] = {};
    uint32_t state = 12345;
    int32_t grp[8] = {1};
    int32_t ng = 1, maxSfb = 49, fl = 1024;
    Pns() { std::fill(flags, flags + 64, 5); }
    int32_t run(int32_t second) {
        return omxACAAC_DecodeMsPNS_S32_I(s.v, flags, cb.data(), sf.data(), maxSfb, ng, grp, kSri44, fl, &state, second,
                                          corr, seeds, armACAAC_PNSConsts, armACAAC_swbDiffOffsetShortWindow,
                                          armACAAC_swbDiffOffsetLongWindow);
    }
};

// Expected band: `width` generator outputs from r, scaled to energy 2^(sf/2) * 1024.
void expectNoise(const int32_t *band, int width, uint32_t &r, int sf) {
    std::vector<long double> raw(width);
    long double e = 0, got = 0;
    for (int k = 0; k < width; ++k) r = lcg(r), raw[k] = static_cast<int32_t>(r), e += raw[k] * raw[k];
    const long double want = std::pow(2.0L, 0.5L * sf) * 1024.0L, gain = std::sqrt(want / e);
    for (int k = 0; k < width; ++k) {
        ASSERT_LE(std::fabs(band[k] - gain * raw[k]), 0.5L + 1e-9L * std::fabs(gain * raw[k])) << k;
        got += static_cast<long double>(band[k]) * band[k];
    }
    EXPECT_LE(std::fabs(got - want), std::sqrt(want * width) + width) << sf;
}

TEST(Pns, EnergyAndContinuityAcrossBands) {
    const uint16_t *off = armACAAC_swbOffsetLongWindow[kSri44];
    Pns p;
    for (int b = 0; b < 49; ++b) p.cb[b] = (b % 5 == 4) ? 1 : 13, p.sf[b] = static_cast<int16_t>(b * 2 + 10);
    p.corr[12] = 1;  // correlated band in the middle of the independent ones
    std::fill(p.s.v, p.s.v + 1024, 3);
    ASSERT_EQ(p.run(0), 0);
    uint32_t r = 12345;
    for (int b = 0; b < 49; ++b) {
        EXPECT_EQ(p.flags[b], p.cb[b] == 13 ? 0 : 5);
        if (p.cb[b] != 13) {
            for (int i = off[b]; i < off[b + 1]; ++i) ASSERT_EQ(p.s.v[i], 3);
            continue;
        }
        uint32_t rc = r;  // a correlated band starts from the state but does not advance it
        if (b == 12) {
            EXPECT_EQ(p.seeds[12], r);
        }
        expectNoise(p.s.v + off[b], off[b + 1] - off[b], b == 12 ? rc : r, p.sf[b]);
    }
    EXPECT_EQ(p.state, r);
    for (int i = off[49]; i < 1024; ++i) ASSERT_EQ(p.s.v[i], 3);
}

TEST(Pns, SecondChannelReproducesCorrelatedBands) {
    Pns a;
    for (int b = 0; b < 49; ++b) a.cb[b] = 13, a.sf[b] = 60, a.corr[b] = (b & 1);
    Pns b = a;
    ASSERT_EQ(a.run(0), 0);
    b.state = a.state;  // the second channel continues from the first channel's state
    std::copy(std::begin(a.seeds), std::end(a.seeds), b.seeds);
    ASSERT_EQ(b.run(1), 0);
    const uint16_t *off = armACAAC_swbOffsetLongWindow[kSri44];
    uint32_t r = a.state;
    for (int sfb = 0; sfb < 49; ++sfb)
        for (int i = off[sfb]; i < off[sfb + 1]; ++i) {
            ASSERT_EQ(b.s.v[i] == a.s.v[i], (sfb & 1) != 0) << sfb;
            if (!(sfb & 1)) r = lcg(r);
        }
    EXPECT_EQ(b.state, r);
}

TEST(Pns, ShortWindowsVisitGroupWindowBand) {
    const uint16_t *off = armACAAC_swbOffsetShortWindow[kSri44];
    Pns p;
    p.fl = 128, p.ng = 3, p.maxSfb = 10, p.grp[0] = 2, p.grp[1] = 1, p.grp[2] = 5;
    for (int i = 0; i < 3 * 10; ++i) p.cb[i] = (i % 3 == 0) ? 13 : 0, p.sf[i] = static_cast<int16_t>(i);
    p.corr[60 * 2 + 3] = 1;  // group 2, band 3: correlated
    ASSERT_EQ(p.run(0), 0);
    uint32_t r = 12345;
    for (int g = 0, base = 0, win = 0; g < 3; base += off[10] * p.grp[g], win += p.grp[g++])
        for (int j = 0; j < p.grp[g]; ++j)
            for (int b = 0; b < 10; ++b) {
                if (p.cb[g * 10 + b] != 13) continue;
                const int width = off[b + 1] - off[b];
                uint32_t rc = r;
                const bool correlated = g == 2 && b == 3;
                if (correlated) {
                    EXPECT_EQ(p.seeds[60 * (win + j) + 3], r);
                }
                expectNoise(p.s.v + base + off[b] * p.grp[g] + j * width, width, correlated ? rc : r, p.sf[g * 10 + b]);
            }
    EXPECT_EQ(p.state, r);
    for (int32_t f : p.flags) EXPECT_EQ(f, 5);  // band flags only for long frames
}

// Correlation flags other than 1 (2, 255) draw from the state without
// advancing it; flag 1 stores its start value as the band's seed.
TEST(Pns, CorrelationFlagsAndSeedStore) {
    const uint8_t corr[5] = {1, 1, 2, 0, 255};
    Pns a;
    for (int b = 0; b < 5; ++b) a.cb[b] = 13, a.sf[b] = 60, a.corr[b] = corr[b];
    const uint32_t start = a.state;
    ASSERT_EQ(a.run(0), 0);
    const int32_t *v = a.s.v;
    EXPECT_TRUE(std::equal(v, v + 4, v + 8));    // flag 2 starts from the state like band 0
    EXPECT_TRUE(std::equal(v, v + 4, v + 12));   // and does not advance it: band 3 too
    EXPECT_FALSE(std::equal(v, v + 4, v + 4));   // band 1 continues band 0's sequence
    EXPECT_EQ(a.seeds[0], start);
    EXPECT_EQ(a.seeds[1], lcg(lcg(lcg(lcg(start)))));  // the running value, not the state
    EXPECT_EQ(a.state, lcg(lcg(lcg(lcg(start)))));       // advanced by band 3 only
}


TEST(Pns, ExtremeEnergiesAreDefined) {
    // A state whose successor is 0, so the band's first value is 0.
    uint32_t inv = 1664525u;
    for (int i = 0; i < 5; ++i) inv *= 2u - 1664525u * inv;
    const uint32_t toZero = (0u - 1013904223u) * inv;
    ASSERT_EQ(lcg(toZero), 0u);
    // pow(2, 8191.75) is infinite (0 * inf is not a number: 0), 2^75 is finite
    // but saturates every non-zero value, pow(2, -8192) is 0.
    for (int sf : {32767, 300, -32768}) {
        Pns p;
        p.state = toZero, p.cb[0] = 13, p.sf[0] = static_cast<int16_t>(sf);
        ASSERT_EQ(p.run(0), 0);
        uint32_t r = toZero;
        for (int k = 0; k < 4; ++k) {
            const int32_t raw = static_cast<int32_t>(r = lcg(r));
            EXPECT_EQ(p.s.v[k], sf < 0 || raw == 0 ? 0 : raw > 0 ? INT32_MAX : INT32_MIN) << sf << " " << k;
        }
        EXPECT_EQ(p.s.v[4], 0);
    }
}

TEST(Pns, ArgumentChecks) {
    Pns p;
    uint32_t st = 0;
    for (int k = -1; k < 8; ++k)  // k = -1: all present
        EXPECT_EQ(omxACAAC_DecodeMsPNS_S32_I(k == 0 ? nullptr : p.s.v, k == 1 ? nullptr : p.flags, k == 2 ? nullptr : p.cb.data(),
                                             k == 3 ? nullptr : p.sf.data(), 49, 1, k == 4 ? nullptr : p.grp, kSri44, 1024,
                                             k == 5 ? nullptr : &st, 0, k == 6 ? nullptr : p.corr, k == 7 ? nullptr : p.seeds,
                                             nullptr, nullptr, nullptr), k < 0 ? 0 : -5) << k;
    struct Case { int32_t ng, g0, g1, maxSfb, sri, fl, want; };
    for (const Case c : {Case{1, 1, 0, 50, 4, 1024, -5}, Case{1, 1, 0, 10, 12, 1024, -5}, Case{1, 1, 0, -1, 4, 1024, -5},
                         Case{0, 8, 0, 10, 4, 128, -5}, Case{9, 1, 1, 10, 4, 128, -5}, Case{2, -1, 9, 10, 4, 128, -5},
                         Case{2, 4, 5, 10, 4, 128, -5}, Case{1, 2, 0, 10, 4, 1024, -5}, Case{2, 4, 4, 14, 4, 128, 0},
                         Case{8, 1, 1, 14, 4, 128, 0}}) {
        Pns q;
        std::fill(q.grp, q.grp + 8, 1);  // groups after the second: one window each
        q.ng = c.ng, q.grp[0] = c.g0, q.grp[1] = c.g1, q.maxSfb = c.maxSfb, q.fl = c.fl;
        EXPECT_EQ(omxACAAC_DecodeMsPNS_S32_I(q.s.v, q.flags, q.cb.data(), q.sf.data(), q.maxSfb, q.ng, q.grp, c.sri, q.fl,
                                             &q.state, 0, q.corr, q.seeds, nullptr, nullptr, nullptr), c.want)
            << c.ng << " " << c.g0 << " " << c.g1 << " " << c.maxSfb << " " << c.sri;
    }
}

}  // namespace
