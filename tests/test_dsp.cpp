// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// The signal processing of the decoder, each part against an independent
// reference or by known values, with every argument check at its boundary
// (whole streams are pinned by the golden md5s):
// - the spectral tools of one channel or pair: inverse quantisation, noise
//   substitution (properties of the noise), temporal noise shaping (long
//   double references), and the argument checks of these, mid/side,
//   intensity stereo and deinterleaving (their data paths are pinned by the
//   stereo streams);
// - synthesis in the version this machine chooses (the kernel check holds
//   the others to it bit for bit): the FFT against a double-precision DFT,
//   the inverse MDCT against the direct formula (windows computed here: sine,
//   and Kaiser-Bessel-derived from the Bessel function I0) and perfect
//   reconstruction through a test-side forward MDCT;
// - concealment: known values of its steps on inputs no stream reaches, and
//   where the band energies of an interpolated frame land;
// - the arithmetic and memory primitives: one table of known values per family.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <cstdint>
#include <limits>
#include <random>
#include <tuple>
#include <vector>

#include "common/aacd_fix_cd.h"
#include "common/armCOMM.h"
#include "common/intrins.h"
#include "common/util2.h"
#include "conceal/conceal.h"
#include "decoder/decoder.h"
#include "omxdl/ac/armACAAC_Kernels.h"

namespace {

constexpr int32_t kSri44 = 4;  // 44.1 kHz: 49 long bands, 14 short bands
const int32_t kG1[8] = {1}, kG8[8] = {1, 1, 1, 1, 1, 1, 1, 1};
const uint16_t *const kLong = armACAAC_swbOffsetLongWindow[kSri44];
using V = std::vector<int32_t>;
constexpr int64_t kI64Max = INT64_MAX, kI64Min = INT64_MIN, kMax = INT32_MAX, kMin = INT32_MIN;

// Known values: sign(q) |q|^(4/3) 2^((sf - 100) / 4) * 32 (8191^(4/3) =
// 165113.5; 2.519842 * 2^19 * 32 = 42275933.52 from the six-decimal table),
// saturated; codebooks 13, 0, 14 and 15 skipped (9000 is out of range if
// touched); |q| above 8191 stops at once, and so does a scale factor
// outside 0..255.
TEST(QuantInv, KnownValuesSkippedBandsAndRange) {
    uint8_t cb[10] = {1, 1, 1, 1, 1, 13, 0, 14, 15, 1};
    int16_t sf[10] = {100, 176, 0, 255, 104, 100, 100, 100, 100, 100};
    alignas(32) int32_t s[1024] = {1, -1, 0, 8191, 2, -2, 1, 0, 8191, -8191,  // bands of 4
                                   1, 0, 1, -1, 2, 3, -8191, 1, 2, 0};
    std::fill(s + 20, s + 36, 9000);
    ASSERT_EQ(omxACAAC_QuantInv_S32_I(s, sf, 1, kG1, 9, cb, kSri44, 1024), 0);
    EXPECT_EQ(V(s, s + 20), (V{32, -32, 0, 5283632, 42275934, -42275934, 16777216, 0, 0, 0, 0, 0, INT32_MAX,
                               INT32_MIN, INT32_MAX, INT32_MAX, -10567264, 64, 161, 0}));
    EXPECT_TRUE(V(s + 20, s + 36) == V(16, 9000) && s[36] == 0);
    std::fill_n(cb, 10, 1);
    struct Case { int32_t q, band, sf; };
    for (const Case c : {Case{8192, 8, 100}, Case{-8192, 8, 100}, Case{1, 8, -1}, Case{1, 9, 256}, Case{1, 9, 255}}) {
        std::fill(s, s + 1024, 1);
        s[33] = c.q;
        sf[8] = sf[9] = 0;
        sf[c.band] = static_cast<int16_t>(c.sf);
        const int32_t want = c.sf == 255 ? 0 : -163;
        EXPECT_EQ(omxACAAC_QuantInv_S32_I(s, sf, 1, kG1, 10, cb, kSri44, 1024), want) << c.q << " " << c.sf;
        EXPECT_TRUE(want == 0 || (s[4 * c.band] == (c.sf == 100 ? 32 : 1) && s[4 * c.band + 2] == 1)) << c.q;
    }
}

// One channel's noise substitution: every band a noise band until set
// otherwise, 44.1 kHz unless run at another rate.
struct Pns {
    int32_t fl = 1024, ng = 1, maxSfb = 49;
    const int32_t *grp = kG8;
    alignas(32) int32_t s[1024] = {};
    V flags = V(64, 5);
    std::vector<uint8_t> cb = std::vector<uint8_t>(8 * 51, 13), corr = std::vector<uint8_t>(8 * 60);
    int16_t sf[8 * 51] = {};
    uint32_t seeds[8 * 60] = {}, state = 12345;
    int32_t run(int32_t second = 0, int32_t sri = kSri44) {
        return omxACAAC_DecodeMsPNS_S32_I(s, flags.data(), cb.data(), sf, maxSfb, ng, grp, sri, fl, &state, second,
                                          corr.data(), seeds, armACAAC_PNSConsts, armACAAC_swbDiffOffsetShortWindow,
                                          armACAAC_swbDiffOffsetLongWindow);
    }
};

// Noise bands hold the generator's outputs (the signs are checked here, the
// scaling is pinned by the golden noise streams).  A band with correlation
// flag 0 continues from the state and advances it; flag 1 continues the
// running value, stores it as the band's seed and leaves the state alone
// (the second channel restarts from the seed); other flags start from the
// state without advancing it.
TEST(Pns, GeneratorAndCorrelation) {
    Pns p;
    for (int b = 0; b < 49; ++b) {
        p.cb[b] = (b % 5 == 4) ? 1 : 13;
        p.sf[b] = static_cast<int16_t>(b * 2 + 10);
        p.corr[b] = b == 12 || b == 13;
    }
    p.corr[20] = 2;
    std::fill(p.s, p.s + 1024, 3);
    Pns q = p;
    ASSERT_EQ(p.run(), 0);
    uint32_t st = 12345, run = st;
    for (int b = 0; b < 49; ++b) {
        const bool noise = p.cb[b] == 13;
        EXPECT_TRUE(p.flags[b] == (noise ? 0 : 5) && (noise || (p.s[kLong[b]] == 3 && p.s[kLong[b + 1] - 1] == 3)));
        if (!noise) continue;
        run = p.corr[b] == 1 ? run : st;
        EXPECT_TRUE(p.corr[b] != 1 || p.seeds[b] == run) << b;
        for (int k = kLong[b]; k < kLong[b + 1]; ++k) {
            run = run * 1664525u + 1013904223u;
            EXPECT_EQ(p.s[k] < 0, static_cast<int32_t>(run) < 0) << b;
        }
        st = p.corr[b] == 0 ? run : st;
    }
    EXPECT_EQ(p.state, st);
    std::copy(p.seeds, p.seeds + 480, q.seeds);
    q.state = p.state;
    ASSERT_EQ(q.run(1), 0);
    for (int b = 0; b < 49; ++b)
        EXPECT_EQ(q.s[kLong[b]] == p.s[kLong[b]], p.cb[b] != 13 || b == 12 || b == 13) << b;
    // Short windows grouped 3 + 5: a correlated band of the second group
    // keeps one seed for each of its windows, counted over the frame.
    const int32_t groups[8] = {3, 5};
    Pns w{128, 2, 14, groups};
    w.corr[60] = 1;
    ASSERT_EQ(w.run(), 0);
    for (int k = 0; k < 8; ++k) EXPECT_EQ(w.seeds[60 * k] != 0, k >= 3) << k;
    // The exported generator constants advance it by k = 1..4 steps at once.
    for (uint32_t k = 0, x = 777; k < 4; ++k) {
        x = x * 1664525u + 1013904223u;
        EXPECT_EQ(armACAAC_PNSConsts[k] * 777u + armACAAC_PNSConsts[4 + k], x) << k;
    }
}

// The argument checks of the tools that walk the bands of a channel, in one
// table: group count, group lengths, maxSfb, sampling-rate index and frame
// length, with the statuses of inverse quantisation, mid/side and intensity
// stereo (-5 for what does not fit, then -162 for maxSfb above the band
// count, then -5 for group lengths negative or past the frame), of noise
// substitution (-5 for all) and of deinterleaving (eight short windows only).
// Then each pointer null in turn, the mid/side mask and 8-byte alignment;
// with mask 2, mid/side leaves an intensity band alone (its right channel
// holds -5 by then, the intensity calls' copy of the left one's 5).
TEST(SpectralTools, ArgumentChecks) {
    alignas(32) static int32_t l[1025] = {0, 0, 5}, r[1024], d[1026];
    int16_t sf[51 * 8] = {};
    uint8_t cb[51 * 8] = {14};  // band 0 intensity
    ChanPairElt cpe{0, 1, {}};
    const int32_t kNeg[8] = {-1, 9}, kNine[8] = {4, 5}, kTwo[8] = {2}, kZero[8] = {0}, k44[8] = {4, 4};
    struct Case { int32_t ng; const int32_t *g; int32_t maxSfb, sri, fl, band, pns, deint; };
    const Case cases[] = {
        // maxSfb at 44.1 kHz (49 long, 14 short bands; 51 fit a frame), at 8 kHz (40, 15), none
        {1, kG1, 49, 4, 1024, 0, 0, -5}, {1, kG1, 50, 4, 1024, -162, -5, -5}, {1, kG1, 51, 4, 1024, -162, -5, -5},
        {1, kG1, 52, 4, 1024, -5, -5, -5}, {8, kG8, 14, 4, 128, 0, 0, 0}, {8, kG8, 15, 4, 128, -162, -5, -162},
        {8, kG8, 51, 4, 128, -162, -5, -162}, {8, kG8, 52, 4, 128, -5, -5, -5}, {1, kG1, 40, 11, 1024, 0, 0, -5},
        {1, kG1, 41, 11, 1024, -162, -5, -5}, {8, kG8, 15, 11, 128, 0, 0, 0}, {1, kG1, 0, 4, 1024, 0, 0, -5},
        {1, kG1, -1, 4, 1024, 0, -5, -5}, {8, kG8, -1, 4, 128, 0, -5, -5},
        // reserved sampling-rate indices, a 960-sample frame
        {1, kG1, 10, 12, 1024, -5, -5, -5}, {1, kG1, 0, 12, 1024, -5, -5, -5}, {8, kG8, 5, 12, 128, -5, -5, -5},
        {8, kG8, 0, -1, 128, -5, -5, -5}, {1, kG1, 10, 4, 960, -5, 0, -5},
        // group counts (checked before maxSfb) and group lengths (after it)
        {0, kG1, 10, 4, 1024, -5, -5, -5}, {2, kG1, 10, 4, 1024, -5, 0, -5}, {2, kG1, 50, 4, 1024, -5, -5, -5},
        {0, kG8, 10, 4, 128, -5, -5, -5}, {0, kG8, 15, 4, 128, -5, -5, -5}, {9, kG8, 10, 4, 128, -5, -5, -5},
        {1, kG8, 14, 4, 128, 0, 0, 0}, {8, kG1, 5, 4, 128, 0, 0, 0}, {2, k44, 14, 4, 128, 0, 0, 0},
        {2, kNine, 10, 4, 128, -5, -5, -5}, {2, kNine, 15, 4, 128, -162, -5, -162}, {2, kNeg, 10, 4, 128, -5, -5, -5},
        {1, kTwo, 10, 4, 1024, -5, -5, -5}, {1, kZero, 10, 4, 1024, 0, 0, -5},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(&c - cases);
        Pns p{c.fl, c.ng, c.maxSfb, c.g};
        EXPECT_EQ(omxACAAC_QuantInv_S32_I(l, sf, c.ng, c.g, c.maxSfb, cb, c.sri, c.fl), c.band);
        EXPECT_EQ(omxACAAC_DecodeMsStereo_S32_I(l, r, &cpe, cb, c.ng, c.g, c.maxSfb, c.sri, c.fl), c.band);
        EXPECT_EQ(omxACAAC_DecodeIsStereo_S32(l, r, sf, cb, c.ng, c.g, c.maxSfb, c.sri, c.fl), c.band);
        EXPECT_EQ(omxACAAC_DeinterleaveSpectrum_S32(l, d, c.ng, c.g, c.maxSfb, c.sri, c.fl), c.deint);
        EXPECT_EQ(p.run(0, c.sri), c.pns);
    }
    Pns p;
    for (int k = 0; k < 9; ++k) {  // each pointer null in turn; past the count: none
        const auto at = [k](int i, auto *ptr) { return i == k ? nullptr : ptr; };
        const V got = {
            omxACAAC_QuantInv_S32_I(at(0, l), at(1, sf), 1, at(2, kG1), 10, at(3, cb), 4, 1024),
            omxACAAC_DecodeMsStereo_S32_I(at(0, l), at(1, r), at(2, &cpe), at(3, cb), 1, at(4, kG1), 10, 4, 1024),
            omxACAAC_DecodeIsStereo_S32(at(0, l), at(1, r), at(2, sf), at(3, cb), 1, at(4, kG1), 10, 4, 1024),
            omxACAAC_DeinterleaveSpectrum_S32(at(0, l), at(1, d), 8, at(2, kG8), 5, 4, 128),
            omxACAAC_DecodeMsPNS_S32_I(at(0, p.s), at(1, p.flags.data()), at(2, p.cb.data()), at(3, p.sf), 49, 1,
                                       at(4, kG1), kSri44, 1024, at(5, &p.state), 0, at(6, p.corr.data()),
                                       at(7, p.seeds), nullptr, nullptr, nullptr)};
        EXPECT_EQ(got, (V{k < 4 ? -5 : 0, k < 5 ? -5 : 0, k < 5 ? -5 : 0, k < 3 ? -5 : 0, k < 8 ? -5 : 0})) << k;
    }
    // Mid/side refuses 4-byte offsets (intensity stereo takes them) and masks 0 and 3; deinterleaving
    // refuses 4-byte offsets before it looks at maxSfb.
    const ChanPairElt mask0{0, 0, {}}, mask2{0, 2, {}}, mask3{0, 3, {}};
    EXPECT_EQ(V({omxACAAC_DecodeMsStereo_S32_I(l + 2, r + 2, &mask2, cb, 1, kG1, 1, 4, 1024), l[2],
                 omxACAAC_DecodeMsStereo_S32_I(l + 1, r, &cpe, cb, 1, kG1, 50, 4, 1024),
                 omxACAAC_DecodeIsStereo_S32(l + 1, r, sf, cb, 1, kG1, 49, 4, 1024),
                 omxACAAC_DecodeMsStereo_S32_I(l, r + 1, &cpe, cb, 1, kG1, 50, 4, 1024),
                 omxACAAC_DeinterleaveSpectrum_S32(l, d + 1, 8, kG8, 5, 4, 128),
                 omxACAAC_DeinterleaveSpectrum_S32(l + 1, d, 8, kG8, 15, 4, 128),
                 omxACAAC_DecodeMsStereo_S32_I(l, r, &mask0, cb, 1, kG1, 50, 4, 1024),
                 omxACAAC_DeinterleaveSpectrum_S32(l + 2, d + 2, 8, kG8, 15, 4, 128),
                 omxACAAC_DecodeMsStereo_S32_I(l, r, &mask3, cb, 1, kG1, 50, 4, 1024)}),
              (V{0, 5, -5, 0, -5, -5, -5, -5, -162, -5}));
}

// --- Temporal noise shaping, against long double references -------------

// The sine table, then the step-up recursion.
std::vector<long double> refLpc(const int8_t *coef, int res, int order) {
    std::vector<long double> a = {1};
    for (int m = 1; m <= order; ++m) {
        std::vector<long double> b = a;
        const long double step = std::pow(2.0L, res - 1) + (coef[m - 1] >= 0 ? -0.5L : 0.5L);
        b.push_back(std::sin(coef[m - 1] / (step / (static_cast<long double>(M_PI) / 2))));
        for (int i = 1; i < m; ++i) b[i] = a[i] + b[m] * a[m - i];
        a = b;
    }
    return a;
}

// The statuses of the coefficients (nothing written on failure; order 0
// writes a[0] only; coefficients out of range are the channel rows' below)
// and of the filter (data left alone without coefficients, without data, for
// count 0 and orders above 20; a negative order acts as order 0).  Then the
// coefficients against the step-up recursion and the filter against
// y[n] = x[n] - sum a[k] y[n-k] on dequantised values, both in long double.
// Last every status of a channel's TNS where it arises: bad arguments (-5)
// and per window -157 and -154 before any filter runs; per filter -156,
// -155, -152, -153, after the filters before it ran.  Rows change one thing
// of a filter over 10 bands, order 2, at 48 kHz (TNS up to band 40 of 49; 14
// short); a second filter (order 1) has an invalid coefficient.
TEST(Tns, AgainstLongDoubleReferencesAndStatuses) {
    std::mt19937 rng(3);
    double lpc[22] = {7, 7, 7};  // the last row sets a filter that the no-ops would apply
    const int8_t zeros[21] = {}, bad[3] = {1, 8, 0}, edge[2] = {-8, 7};
    struct Coef { const int8_t *c; double *l; int32_t res, order, want; };
    const Coef coefs[] = {{zeros, lpc, 4, 21, -155}, {zeros, lpc, 2, 1, -154}, {zeros, lpc, 5, 1, -154},
                          {nullptr, lpc, 4, 1, -5},  {zeros, nullptr, 4, 1, -5}, {bad, lpc, 2, 3, -154},
                          {nullptr, lpc, 3, 0, 0},   {edge, lpc, 4, 2, 0}};
    for (const Coef &c : coefs) {
        EXPECT_EQ(armACAAC_TnsDecodeCoef(c.c, c.l, c.res, c.order), c.want) << c.res << " " << c.order;
        EXPECT_TRUE(lpc[0] == (c.want ? 7 : 1) && (c.order == 2 || lpc[1] == 7)) << c.res << " " << c.order;
    }
    int32_t x[4] = {5, -6, 7, -8};
    for (int order : {21, -3}) armACAAC_TnsFilter(x, lpc, 4, 1, order);
    armACAAC_TnsFilter(x, nullptr, 4, 1, 1);
    armACAAC_TnsFilter(nullptr, lpc, 4, 1, 1);
    armACAAC_TnsFilter(x, lpc, 0, 1, 1);
    EXPECT_EQ(V(x, x + 4), (V{5, -6, 7, -8}));
    for (int trial = 0; trial < 160; ++trial) {  // orders 1 to 20, both resolutions and directions, moderate gains
        const int order = 1 + trial % 20, res = 3 + (trial & 1), dir = trial / 2 % 2, from = dir ? 189 : 10;
        int8_t coef[20];
        for (int i = 0; i < order; ++i) coef[i] = static_cast<int8_t>(static_cast<int>(rng() % 5) - 2);
        ASSERT_EQ(armACAAC_TnsDecodeCoef(coef, lpc, res, order), 0);
        const std::vector<long double> a = refLpc(coef, res, order);
        for (int i = 0; i <= order; ++i) ASSERT_NEAR(lpc[i], static_cast<double>(a[i]), 1e-12 * (1 + std::fabs(a[i])));
        V x(200);  // filtered from x[10] up or x[189] down
        for (int32_t &v : x) v = static_cast<int32_t>(rng() % 2000001) - 1000000;
        const V in = x;
        armACAAC_TnsFilter(x.data() + from, lpc, 180, dir ? -1 : 1, order);
        std::vector<long double> y;
        for (int n = 0, at = from; n < 180; ++n, at += dir ? -1 : 1) {
            y.push_back(in[at] / 32.0L);
            for (int k = 1; k <= std::min(order, n); ++k) y[n] -= a[k] * y[n - k];
            ASSERT_LE(std::fabs(x[at] - y[n] * 32), 0.5L + 1e-7L) << order << " " << n;
        }
        EXPECT_TRUE(x[9] == in[9] && x[190] == in[190]);
    }
    const V in(1024, 100000);
    struct Case { int32_t profile, fl, sri, maxSfb, nf, res, len, order, dir, c1, want; };
    const Case cases[] = {
        // profile, frame length, sampling-rate index, maxSfb (-5)
        {2, 1024, 3, 49, 1, 4, 10, 2, 0, -2, -5},   {1, 960, 3, 49, 1, 4, 10, 2, 0, -2, -5},
        {1, 1024, 12, 49, 1, 4, 10, 2, 0, -2, -5},  {1, 1024, 11, 40, 1, 4, 10, 2, 0, -2, 0},
        {1, 1024, 3, 50, 1, 4, 10, 2, 0, -2, -5},   {1, 1024, 3, -1, 1, 4, 10, 2, 0, -2, -5},
        {1, 128, 3, 15, 1, 4, 10, 2, 0, -2, -5},    {1, 128, 3, 14, 1, 4, 10, 2, 0, -2, 0},
        // filter count (-157) and resolution (-154) of a window
        {1, 1024, 3, 49, 4, 4, 10, 2, 0, -2, -157}, {1, 1024, 3, 49, 3, 4, 10, 2, 0, -2, 0},
        {1, 1024, 3, 49, -1, 4, 10, 2, 0, -2, -157}, {1, 128, 3, 14, 2, 4, 10, 2, 0, -2, -157},
        {1, 1024, 3, 49, 1, 2, 10, 2, 0, -2, -154}, {1, 1024, 3, 49, 1, 5, 10, 2, 0, -2, -154},
        {1, 1024, 3, 49, 1, 3, 10, 2, 0, -2, 0},    {1, 1024, 3, 49, 0, 9, 10, 2, 0, -2, 0},
        // length (-156), order (-155), direction (-152), coefficients (-153) of a filter
        {1, 1024, 3, 49, 1, 4, 50, 2, 0, -2, -156}, {1, 1024, 3, 49, 1, 4, 49, 2, 0, -2, 0},
        {1, 1024, 3, 49, 1, 4, -1, 2, 0, -2, -156}, {1, 1024, 3, 49, 1, 4, 10, 13, 0, -2, -155},
        {1, 1024, 3, 49, 1, 4, 10, 12, 0, -2, 0},   {1, 1024, 3, 49, 1, 4, 10, 2, 2, -2, -152},
        {1, 1024, 3, 49, 1, 4, 10, 2, 1, 8, -153},  {1, 1024, 3, 49, 2, 4, 10, 2, 1, -2, -153},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(&c - cases);
        V x = in;
        int32_t nf[8] = {c.nf}, res[8] = {c.res}, len[8] = {c.len, 5}, order[8] = {c.order, 1}, dir[8] = {c.dir};
        const int8_t coef[20] = {3, static_cast<int8_t>(c.c1), static_cast<int8_t>(c.nf == 2 ? -9 : 1)};
        EXPECT_EQ(omxACAAC_DecodeTNS_S32_I(x.data(), nf, len, order, res, coef, dir, c.maxSfb, c.profile, c.sri, c.fl),
                  c.want);
        EXPECT_EQ(x != in, c.want == 0 ? c.nf > 0 : c.nf == 2 && c.fl == 1024);
        for (int k = 0; c.nf == 0 && k < 7; ++k) {  // each pointer null in turn
            const auto at = [k](int i, auto *ptr) { return i == k ? nullptr : ptr; };
            EXPECT_EQ(omxACAAC_DecodeTNS_S32_I(at(0, x.data()), at(1, nf), at(2, len), at(3, order), at(4, res),
                                               at(5, coef), at(6, dir), 49, 1, 3, 1024), -5) << k;
        }
    }
}

// --- Synthesis -------------------------------------------------------------
// Through the exported operations, that is in the version this machine
// chooses; the kernel check holds every other version to it bit for bit.

TEST(Fft, MatchesDoubleDftAndRefusesOtherOrders) {
    std::mt19937 rng(7);
    for (int order : {6, 9}) {
        const int n = 1 << order, amp = order == 9 ? 1 << 18 : 1 << 20;  // sums stay in range
        V x(2 * n), scratch(2 * n);
        for (int32_t &v : x) v = static_cast<int32_t>(rng() % (2u * amp + 1)) - amp;
        std::vector<std::complex<double>> ref(n);
        for (int f = 0; f < n; ++f)
            for (int i = 0; i < n; ++i)
                ref[f] += std::complex<double>(x[2 * i], x[2 * i + 1]) * std::polar(1.0, -2 * M_PI * (i * f % n) / n);
        omx_FFT_common(x.data(), order, order == 9 ? armACAAC_IMDCT_FFTLongQ31 : armACAAC_IMDCT_FFTShortQ31,
                       scratch.data());
        double worst = 0;  // rounding noise only: a few units against outputs of 2^23 to 2^24
        for (int f = 0; f < 2 * n; ++f)
            worst = std::max(worst, std::abs(x[f] - (f % 2 ? ref[f / 2].imag() : ref[f / 2].real())));
        EXPECT_LE(worst, order == 9 ? 20 : 6) << order;
    }
    // Orders 4 to 9 are transformed, others left alone; foreign twiddles go to the C version.
    const V fives(2048, 5);
    V x = fives, y = fives, z = fives, w = fives, foreign(2048), scratch(2048);
    for (int order : {3, 10}) omx_FFT_common(x.data(), order, armACAAC_IMDCT_FFTShortQ31, scratch.data());
    omx_FFT_common(y.data(), 4, armACAAC_IMDCT_FFTShortQ31, scratch.data());
    for (int order : {6, 9}) {
        omx_FFT_common(z.data(), order, foreign.data(), scratch.data());
        aacd::kernelsFor(aacd::KernelIsa::C)->fft(w.data(), order, foreign.data(), scratch.data());
    }
    EXPECT_TRUE(x == fives && y[0] == 80 && y[2] == 0 && z == w && z != fives);
}

// Rising half of the window of length n: shape 0 sine, 1 Kaiser-Bessel-derived.
std::vector<double> risingHalf(int shape, int n) {
    std::vector<double> w(n / 2), kern(n / 2 + 1);
    double total = 0, acc = 0;
    for (int i = 0; i <= n / 2; ++i) {
        const double r = (i - n / 4.0) / (n / 4.0);
        total += kern[i] = std::cyl_bessel_i(0.0, M_PI * (n == 2048 ? 4 : 6) * std::sqrt(std::max(0.0, 1 - r * r)));
    }
    for (int i = 0; i < n / 2; ++i) w[i] = shape ? std::sqrt((acc += kern[i]) / total) : std::sin(M_PI * (i + 0.5) / n);
    return w;
}

double kernel(int n, int i, int k) { return std::cos(2 * M_PI / n * (i + (n / 2.0 + 1) / 2) * (k + 0.5)); }

// A signal through a forward MDCT in double, with every window sequence
// transition and shape pair: the 16- and 24-bit output (written with a
// stride of 2, the other channel's samples left alone) matches the direct
// formula (each block's IMDCT windowed, short blocks at 448 + 128 w times 8,
// overlapped by half, 2^15 per 16-bit unit, halved) and gives the signal
// back, clamped where frame 9 is too loud.
TEST(Imdct, DirectFormulaAndPerfectReconstruction) {
    const int seqs[] = {0, 0, 1, 2, 2, 3, 0, 1, 2, 3, 1, 3, 0, 1, 2, 3, 0};
    const int shapes[] = {0, 1, 1, 1, 0, 0, 0, 1, 1, 0, 0, 0, 1, 1, 0, 1, 1};
    std::mt19937 rng(21);
    std::vector<double> x(18 * 1024, 0.0), overlap(1024, 0.0);
    std::normal_distribution<double> noise(0.0, 800.0);
    for (size_t t = 1024; t < x.size(); ++t)
        x[t] = (t / 1024 == 9 ? 3 : 1) * (9000 * std::sin(0.031 * t) + 4000 * std::sin(0.57 * t + 1)) + noise(rng);
    V ov[2] = {V(1024), V(1024)};  // the decoder's overlap at 16 and 24 bits
    int clamped[2] = {};
    V c(1024);  // every frame writes all of it
    for (int f = 0; f < 17; ++f) {
        std::vector<double> span(2048, 0.0), win(2048);
        const int seq = seqs[f], prev = f ? shapes[f - 1] : 0, m = seq == 2 ? 128 : 1024;
        const auto lp = risingHalf(prev, 2048), lc = risingHalf(shapes[f], 2048);
        const auto sp = risingHalf(prev, 256), sc = risingHalf(shapes[f], 256);
        for (int w = 0; w < 1024 / m; ++w) {
            for (int j = 0; j < m; ++j) {  // rise and fall of a long, start or stop frame, or of short window w
                win[j] = m == 128 ? (w == 0 ? sp : sc)[j] : seq != 3 ? lp[j] : j < 448 ? 0 : j < 576 ? sp[j - 448] : 1;
                win[m + j] = m == 128 ? sc[127 - j] : seq != 1 ? lc[1023 - j] : j < 448 ? 1 : j < 576 ? sc[575 - j] : 0;
            }
            const int at = m == 128 ? 448 + 128 * w : 0;
            for (int j = 0; j < m; ++j) {  // forward, rounded, and back
                double acc = 0;
                for (int i = 0; i < 2 * m; ++i) acc += win[i] * x[1024 * f + at + i] * kernel(2 * m, i, j);
                c[m * w + j] = static_cast<int32_t>(std::lround(64 * acc));
                for (int i = 0; i < 2 * m; ++i)
                    span[at + i] += (m == 128 ? 8 : 1) * c[m * w + j] * kernel(2 * m, i, j) * win[i];
            }
        }
        for (int b = 0; b < 2; ++b) {
            const double unit = b ? 64.0 : 16384.0, hi = b ? 8388607 : 32767;
            V out(2048, 0x12345678), work = c;  // the coefficients are a work area
            ASSERT_EQ(omxACAAC_MDCTInv_S32_S32(work.data(), out.data(), ov[b].data(), seq, shapes[f], prev, 2,
                                               16 + 8 * b, &armACAAC_IMDCT_Tables), 0);
            for (int n = 0; n < 1024; ++n) {
                const double formula = (overlap[n] + span[n]) / 2 / unit, input = x[1024 * f + n] * (hi + 1) / 32768;
                ASSERT_LE(std::abs(out[2 * n] - std::clamp(formula, -hi - 1, hi)), 1.0 + b) << b << " " << f;
                ASSERT_LE(std::abs(out[2 * n] - std::clamp(input, -hi - 1, hi)), 1.0 + b) << b << " " << f;
                ASSERT_EQ(out[2 * n + 1], 0x12345678);
                clamped[b] += out[2 * n] == hi || out[2 * n] == -hi - 1;
            }
        }
        std::copy(span.begin() + 1024, span.end(), overlap.begin());
    }
    EXPECT_TRUE(clamped[0] > 10 && clamped[1] > 10);
    for (int stride : {0, -1, 1})  // the 24-bit overlap serves as the output here
        EXPECT_EQ(omxACAAC_MDCTInv_S32_S32(c.data(), ov[1].data(), ov[0].data(), 0, 0, 0, stride, 16,
                                           &armACAAC_IMDCT_Tables),
                  stride > 0 ? 0 : -5);
}

// --- Concealment ---------------------------------------------------------

// An instance set up as the decoder sets it up, at one sampling rate.
AacdDecoderState makeState(int32_t sri) {
    AacdDecoderState st{};
    AACD_init_globals(&st);
    st.mcInfo.samplingRateIndex = sri;
    return st;
}
V energies(const int32_t *f, const AacdDecoderState &st, int seq = 0) {
    V e(52, 99);
    CConcealment_CalcBandEnergy(f, seq, 0, e.data(), &st);
    return e;
}

// Known values of the steps on inputs no stream reaches: the leading-bit
// count; band energies of block types outside 0..3, of reserved rates and of
// a missing band list are not written; band scaling by 2^(d/4), d the energy
// difference (below -4: muted), where a band that ends
// before its predecessor is skipped and the next one starts at its end; an
// unknown state stays, a loss during the fade-in starts a fade-out.
// Then a single loss between two long frames, driven as the frame driver does
// (the working and held-back buffers exchanged on good frames): the lost
// call gives the held-back frame, the next one the previous spectrum
// rescaled so that every band's energy lands halfway to the next frame's
// (muted where that is more than 4 steps quieter), randomised; at 96 kHz
// (index 0) as at 44.1 kHz.
TEST(Conceal, KnownValuesAndSingleLoss) {
    EXPECT_EQ(V({LSI_exp(0), LSI_exp(-1), LSI_exp(INT64_MIN), LSI_exp(-5), LSI_exp((1LL << 62) - 1)}),
              (V{31, 31, -32, 28, -31}));
    AacdDecoderState st = makeState(4), reserved = makeState(12), noBands = makeState(4);
    const int32_t f[1024] = {1};
    noBands.sampleRates[4].longBandEnds = nullptr;
    EXPECT_EQ(V({energies(f, st, 4)[0], energies(f, st, -1)[0], energies(f, reserved)[0], energies(f, noBands)[0]}),
              V(4, 99));
    const uint16_t ends[5] = {6, 6, 10, 14, 16}, back[3] = {4, 2, 8};
    const int32_t own[5] = {10, 0, 0, 3, 0}, other[5] = {6, -40, 4, -2, 2}, own2[3] = {}, other2[3] = {0, -20, 4};
    int32_t x[16] = {3, -3, 5, -1, 1, -6, 100, -100, 7, -7, 9, -9, 2, 0, 1 << 20, -(1 << 20)};
    V y(8, 8);
    CConcealment_InterpolateBuffer(x, own, other, 4, ends);  // band 4 is past the count
    CConcealment_InterpolateBuffer(y.data(), own2, other2, 3, back);
    CConcealment_InterpolateBuffer(y.data(), own2, other2, 3, nullptr);
    EXPECT_EQ(V(x, x + 16), (V{2, -1, 3, 0, 1, -3, 200, -200, 16, -12, 0, 0, 0, 0, 1 << 20, -(1 << 20)}));
    EXPECT_EQ(y, (V{8, 8, 8, 8, 16, 16, 16, 16}));
    CConcealmentInfo info{0, 0, nullptr, nullptr, 0, 0, 0, 0, 7, 5, 5, 5}, fadingIn = info;
    std::tie(fadingIn.concealState, fadingIn.counter) = std::make_tuple(3u, 2u);
    CConcealment_UpdateState(&info, 0);
    CConcealment_UpdateState(&fadingIn, 0);  // a loss while fading in fades out again from the start
    EXPECT_EQ(std::make_tuple(info.concealState, fadingIn.concealState, fadingIn.counter), std::make_tuple(7u, 1u, 0u));
    for (int32_t sri : {4, 0}) {
        SCOPED_TRACE(sri);
        st = makeState(sri);
        V buf[2] = {V(1024), V(1024)}, frames[3], out[4];
        for (int n = 0; n < 3; ++n)  // band levels following different profiles, the third much quieter in parts
            for (int i = 0; i < 1024; ++i)
                frames[n].push_back(static_cast<int32_t>((n == 2 ? 3e5 : 1e6) * (1.1 + std::sin(i / 8 * 0.37 + n)) *
                                                         std::cos(i * 1.7 + n)));
        info = CConcealmentInfo{0, 0, buf[1].data(), nullptr, 0, 0, 0, 0, 0, 0, 0, 0};
        CConcealment_Init(&info);
        uint8_t seq = 0, shape = 0;
        for (int call = 0, cur = 0; call < 4; ++call) {  // frames 0 and 1, a loss, frame 2
            const bool good = call != 2;
            if (good) std::copy_n(frames[call - (call > 2)].begin(), 1024, buf[cur].begin());
            info.storedSpectrum = buf[good ? cur : cur ^ 1].data();
            cur ^= good;
            CConcealment_Apply(&info, buf[cur].data(), &seq, &shape, &st, good);
            out[call] = buf[cur];
        }
        EXPECT_TRUE(out[1] == frames[0] && out[2] == frames[1] && info.concealState == 0u);
        for (int i = 0; i < 1024; ++i) out[3][i] = AACD_randomPhase[i % 512] < 0 ? -out[3][i] : out[3][i];
        const V eg = energies(out[3].data(), st), ep = energies(frames[1].data(), st);
        const V en = energies(frames[2].data(), st);
        for (int k = 0; k < armACAAC_numSwbLong[sri]; ++k)
            EXPECT_TRUE(en[k] - ep[k] < -4 ? eg[k] == -30 : std::abs(eg[k] - (ep[k] + en[k]) / 2.0) <= 1.0) << k;
        EXPECT_TRUE(std::count(eg.begin(), eg.end(), -30) > 0 && out[3] != frames[1]);  // some band muted
    }
}

// --- Arithmetic and memory primitives ------------------------------------

template <typename T>
T clampTo(int64_t v) {
    return static_cast<T>(std::clamp<int64_t>(v, std::numeric_limits<T>::min(), std::numeric_limits<T>::max()));
}
int32_t I(int64_t v) { return static_cast<int32_t>(v); }
int16_t H(int64_t v) { return static_cast<int16_t>(v); }
#define OP(...) +[](int64_t a, int64_t b, int64_t c) -> int64_t { (void)a, (void)b, (void)c; __VA_ARGS__; }

// Every conversion from double, given the value r that x rounds to (half away
// from zero): the saturating forms clamp r, the others clamp it to 64 or 32
// bits, and the S16 form keeps the low 16 bits of the 32-bit value.  Then the
// integer primitives, one function per row group with its known values {a, b,
// c, result} (a missing c is 0, and so is a missing b of the one-argument
// functions); an output argument must equal the return value where there are
// both.
TEST(Primitives, ArithmeticKnownValues) {
    const std::pair<double, int64_t> known[] = {
        {0.5, 1}, {-2.5, -3}, {2.4999, 2}, {-0.4, 0}, {-0.6, -1}, {0.49999999999999994, 1} /* x + 0.5 rounds up */,
        {32767.4, 32767}, {32767.5, 32768}, {-32768.4, -32768}, {-32768.5, -32769}, {65534.6, 65535},
        {65535.5, 65536}, {2147483646.5, 2147483647}, {2147483647.5, 2147483648}, {-2147483648.4, -2147483648},
        {-2147483648.5, -2147483649}, {4294967294.5, 4294967295}, {4294967295.5, 4294967296},
        {4503599627370497.0, 4503599627370498} /* the tie rounds to even */,
        {9223372036854774784.0, 9223372036854774784}, {9223372036854775808.0, kI64Max},
        {-9223372036854775808.0, kI64Min}, {INFINITY, kI64Max}, {-INFINITY, kI64Min}, {NAN, 0}};
    for (const auto &[x, r] : known) {
        const int32_t r32 = clampTo<int32_t>(r);
        EXPECT_TRUE(armRoundFloatToS64(x) == r && armRoundFloatToS32(x) == r32 && armSatRoundFloatToS32(x) == r32 &&
                    armRoundFloatToS16(x) == static_cast<int16_t>(r32 & 0xFFFF) &&
                    armSatRoundFloatToS16(x) == clampTo<int16_t>(r) && armSatRoundFloatToU16(x) == clampTo<uint16_t>(r)
                    && armSatRoundFloatToU32(x) == clampTo<uint32_t>(r)) << x;
    }
    struct Case { int32_t shift; uint32_t satBits; float v; uint32_t expect; };
    const Case shifts[] = {
        {0, 32, 1e10f, 0xFFFFFFFFu}, {200, 16, 3.0e38f, 0}, {128, 16, 3.0e38f, 1}, {-150, 16, 1.4e-45f, 2},
        {-200, 16, 1e-30f, 65535}, {INT32_MAX, 16, 3.0e38f, 0}, {INT32_MIN, 16, 1.4e-45f, 65535}, {0, 16, -7.0f, 0},
        {0, 16, NAN, 0}, {0, 31, 4294967040.0f, 0x7FFFFFFFu}, {0, 32, 4294967040.0f, 4294967040u},
        {0, 16, 65534.4f, 65534}, {2, 16, 10.0f, 3}, {-3, 16, 1.5f, 12}, {0, 8, 1000.0f, 255}, {0, 0, 7.0f, 0}};
    for (const Case &c : shifts)
        EXPECT_EQ(armShiftSat_F32(c.shift, c.satBits, c.v), c.expect) << c.shift << " " << c.satBits << " " << c.v;
    EXPECT_EQ(std::vector<float>({armClip_F32(-1, 1, 0.25f), armClip_F32(2, 1, 1.5f), armClip_F32(2, 1, 0.5f),
                                  armClip_F32(-1, 1, -INFINITY)}),
              std::vector<float>({0.25f, 1, 2, -1}));
    using Args = std::vector<int64_t>;  // the arguments, then the result
    struct Rows { const char *name; int64_t (*f)(int64_t, int64_t, int64_t); std::vector<Args> rows; };
    const Rows table[] = {
        {"satAdd", OP(return armSatAdd_S32(I(a), I(b))), {{kMax, 1, kMax}, {kMin, -1, kMin}, {5, -7, -2},
         {kMin, kMin, kMin}, {kMax - 1, 1, kMax}}},
        {"satSub", OP(return armSatSub_S32(I(a), I(b))), {{kMin, 1, kMin}, {kMax, -1, kMax}, {3, 5, -2},
         {-1, kMax, kMin}, {0, kMin, kMax}}},
        {"satAdd64", OP(return armSatAdd_S64(a, b)), {{kI64Max, 1, kI64Max}, {kI64Min, -1, kI64Min},
         {1LL << 40, -3, (1LL << 40) - 3}, {kI64Min, kI64Min, kI64Min}, {-1, kI64Min, kI64Min},
         {kI64Max, kI64Max, kI64Max}, {kI64Max, kI64Min, -1}, {0, kI64Min, kI64Min}}},
        {"satMac", OP(return armSatMac_S32(I(a), H(b), H(c))), {{kMax, 2, 3, kMax}, {kMin, 2, -3, kMin},
         {10, -3, 4, -2}}},
        {"shl", OP(return armSatRoundLeftShift_S32(I(a), I(b))), {{kMax, -1, 0x3FFFFFFF}, {-1, kMax, kMin},
         {3, kMax, kMax}, {0, kMax, 0}, {5, 2, 20}, {5, -1, 3}, {-5, -1, -2}, {1 << 30, 1, kMax},
         {-(1 << 30), 2, kMin}, {kMax, -31, 0}, {kMin, -31, -1}, {kMin, -32, 0}}},
        {"shl64", OP(return armSatRoundLeftShift_S64(a, I(b))), {{kI64Max, -1, kI64Max / 2}, {-1, -200, 0},
         {kI64Min, kMin, 0}, {-7, kMax, kI64Min}, {7, kMax, kI64Max}, {3, 1, 6}, {-7, -2, -2},
         {1LL << 62, 1, kI64Max}, {kI64Min, -63, -1}, {kI64Min, -64, 0}}},
        {"shr16", OP(return armSatRoundRightShift_S32_S16(I(a), I(b))), {{-3, kMin, -32768}, {-3, kMax, 0},
         {0x12345, 4, 0x1234}, {0x7FFFFF, 4, 32767}, {-0x7FFFFF, 4, -32768}, {7, -2, 28}, {0x7FFF7, 4, 32767},
         {-0x80008, 4, -32768}, {-0x80009, 4, -32768}}},
        {"mul16", OP(return armSatMulS16S32_S32(H(a), I(b))), {{-32768, kMin, 1 << 30}, {3, 0x10000, 3}, {-1, 1, -1},
         {0x4000, 0xFFFF, 16383}, {-32768, kMax, -(1 << 30)}}},
        // mac16: the first row's addend saturates, not the sum
        {"mac16", OP(return armSatMac_S16S32_S32(I(a), I(b), H(c))), {{-100, 0x40000019, 2, kMax - 100},
         {kMax, 0x10000, 1, kMax}, {100, 0x7FFF0000, -2, kMin + 100}, {0, 0x7FFF0000, 1, 0x7FFF0000},
         {0, kMin + 1, 1, kMin + 1}, {0, 0x7FFF8000, 1, 0x7FFF8000}, {0, (4681 << 16) | 10000, 7, kMax}}},
        {"mul32", OP(return armSatMulS32S32_S32(I(a), I(b))), {{kMin, kMin, 1 << 30}, {0x10000, 0x10000, 1},
         {kMax, kMax, 1073741821}, {-0x10000, 0x30000, -3}, {0x18000, 0x28000, 3}, {0x7FFF8000, 0x10000, 0x7FFF}}},
        {"div", OP(return armIntDivAwayFromZero(I(a), I(b))), {{7, 2, 4}, {-7, 2, -4}, {7, -2, -4}, {5, 3, 2},
         {-1, 3, 0}, {kMin, -1, kMax}, {5, 0, kMax}, {-5, 0, kMin}, {0, 0, 0}, {kMin, 1, kMin}, {1, 2, 1},
         {-1, 2, -1}}},
        {"clip", OP(return armClip(I(a), I(b), I(c))), {{10, 5, 7, 5} /* upper bound first */, {10, 5, 3, 10},
         {-3, 4, -4, -3}, {-3, 4, -3, -3}, {-3, 4, 4, 4}}},
        {"median", OP(return armMedianOf3(I(a), I(b), I(c))), {{3, 5, 9, 5}, {9, 5, 3, 5}, {5, 9, 3, 5}, {9, 3, 5, 5},
         {4, 4, 1, 4}, {1, 4, 4, 4}, {4, 1, 4, 4}}},
        {"logSize", OP(return armLogSize(static_cast<uint16_t>(a))), {{0, 0}, {1, 1}, {0x8000, 16}, {0x7FFF, 15}}},
        // impyl: half of mpy
        {"mpy", OP(int64_t d = 0; aacd_mpy(H(a), H(b), &c); aacd_impyl_ss(H(a), H(b), &d);
                   return d == c >> 1 ? c : kI64Min),
         {{-32768, -32768, 0x7FFFFFFF}, {3, -4, -24}, {-32768, 32767, -2147418112}}},
        {"mpy_sl", OP(aacd_mpy_sl(H(a), I(b), &c); return c), {{1, 1 << 30, 1}, {-32768, kMin, 32768},
         {2, 1 << 30, 1}, {3, 1 << 30, 2}}},
        {"mpy_lstore", OP(return aacd_mpy_lstore(I(a), I(b))), {{-1, 1 << 30, 0}, {1 << 30, 1 << 30, 1 << 29},
         {kMin, kMin, kMin}, {3, 1 << 30, 2}}},
        {"mpy_ll_full", OP(aacd_mpy_ll_full(I(a), I(b), &c); return c), {{kMin, kMin, 1LL << 31}, {1 << 30, 4, 2},
         {-3, 1 << 30, -2}}},
        {"macr", OP(aacd_macr_ss(H(a), H(b), &c); return c), {{100, 100, 0}, {32767, 32767, kI64Max, 0}}},
        {"impyw", OP(int32_t o = 0; aacd_impyw_ss(I(a), I(b), &o); return o), {{kMin, kMin, 0},
         {0x30000, 0x20000, 0x60000}, {0x1FFFF, 0x1FFFF, 0x10000}}},
        // the shifts of one kind share their limits: lsl's left ones, lsr's right ones
        {"lsl", OP(int32_t w = I(a); aacd_lsl(&w, I(b)); return w), {{-1, kMin, 0}, {1, 4, 16}, {16, -4, 1},
         {1, 31, kMin}, {1, 32, 0}, {kMin, -31, 1}}},
        {"lsr", OP(int32_t w = I(a); aacd_lsr(&w, I(b)); return w), {{1, -31, kMin}, {-1, 4, 0x0FFFFFFF}, {1, -4, 16},
         {kMin, 31, 1}, {kMin, 32, 0}}},
        {"asll", OP(int32_t w = I(a); aacd_asll_l(&w, H(b)); return w), {{-5, -32768, -1}, {-1, 32767, 0},
         {kMin, -30, -2}, {kMin, -31, -1}}},
        {"asl16", OP(int32_t w = I(a); aacd_asl16_l(&w); aacd_asl16_acc(&b); aacd_asr16_acc(&c); return w + b + c),
         {{0x12348765, -1, -65537, static_cast<int32_t>(0x87650000u) - 65536 - 2},
         {0, 0x12345, 1LL << 40, 0x123450000LL + (1LL << 24)}}},
        {"msbs", OP(return aacd_get_acc_msbs(a, I(b))), {{kI64Max, 1000, 0}, {1000, 0, 1000}, {1000, 1, 500},
         {kI64Min, 62, -2}, {kI64Min, 63, -1}}},
        {"clb", OP(return aacd_clb_l(I(a))), {{kMin, 0}, {1, 30}, {-1, 31}, {0, 31}, {0x40000000, 0}, {-3, 29}}},
        {"neg", OP(int32_t w = I(a); aacd_neg(&w); return w), {{5, -5}, {kMin, kMin}}},
        {"cmp", OP(return aacd_cmp(I(a), I(b)) * 10 + aacd_test_val(I(a))), {{1, 2, -9}, {2, 2, 1}, {kMax, kMin, 11},
         {kMin, 0, -11}, {0, 0, 0}}},
        {"sfract", OP(int16_t s = 0; const int64_t high = aacd_lfract2shortint(I(a));
                      return aacd_lfract2sfract(I(a), &s) == s ? s + high * 65536 : kI64Min),
         {{0x12345678, 0x1234 + (0x1234LL << 16)}, {kMin, -32768 + (0x8000LL << 16)}, {-1, -1 + (0xFFFFLL << 16)}}},
        {"moves", OP(int32_t o = 0; aacd_mvi2acc(I(a), &c); const int64_t moved = c + aacd_lfract2long(I(b));
                     return moved + int2lfract(I(b)) + aacd_or(I(a), I(b), &o) + aacd_and(I(a), I(b), &o)),
         {{0x0F0F, 0x00FF, 5, 0x0F0F + 0xFF + 0xFF + 0x0FFF + 0x0F}}},
        {"saturate", OP(return aacd_saturate(0, &a) == b ? a : kI64Min), {{kMax, kMax, kMax},
         {kMax + 1LL, kMax + 1LL, kMax}, {kMin - 1LL, kMin - 1LL, kMin}}},
        // aacd_norm {acc, count, acc after}: with the upper half only sign, left until bits 31 and 30
        // differ, then right by 2; otherwise right until they differ, then one more.  -2^32 never has
        // bits 31 and 30 differ: everything is shifted out.
        {"norm", OP(return aacd_norm(&a) == b ? a : kI64Min), {{0, 0, 0}, {1, -28, 1 << 28},
         {kI64Max, 33, (1LL << 30) - 1}, {kI64Min, 33, -(1LL << 30)}, {-(1LL << 32), -60, 0},
         {1LL << 32, 2, 1LL << 30}, {-1, -29, -(1LL << 29)}, {1LL << 30, 2, 1LL << 28}}},
        {"cf_norm", OP(int32_t x = I(a); return cf_norm(&x) == b ? x : kI64Min), {{0, 0, 0}, {1, 30, 1 << 30},
         {kMax, 0, kMax}, {0x3FFFFFFF, 1, 0x7FFFFFFE}, {kMin, 31, 0}}},
        // abs: 1 - x for negatives
        {"cf_abs_max", OP(return cf_abs_lf(I(a)) * 4294967296LL + cf_max_lf(I(b), I(c))), {
         {5, kMin, -1, 5 * 4294967296LL - 1}, {0, 3, 2, 3}, {-1, 2, 3, 2 * 4294967296LL + 3},
         {-(kMax - 1), 0, kMax * 4294967296LL}}},
    };
    for (const Rows &t : table)
        for (const Args &r : t.rows) {
            Args a(r.begin(), r.end() - 1);
            a.resize(3);
            EXPECT_EQ(t.f(a[0], a[1], a[2]), r.back()) << t.name << ": " << a[0] << " " << a[1] << " " << a[2];
        }
    for (int v = -32768; v <= 32767; ++v) ASSERT_EQ(armSignCheck(static_cast<int16_t>(v)), (v > 0) - (v < 0)) << v;
}

// Copies run byte by byte from the last byte down: an overlap upward moves
// the bytes, one downward smears the last one.  Sets store the low byte;
// word clears take 4 bytes a word; block normalisation shifts every element
// left by 30 - topBit(max(x, 1 - x)).
TEST(Primitives, MemoryCopySetClearSwapAndBlockNorm) {
    struct Copy { int dst, src, n; V want; };
    const Copy copies[] = {{1, 0, 4, {1, 1, 2, 3, 4, 6, 7, 8}}, {1, 2, 4, {1, 6, 6, 6, 6, 6, 7, 8}},
                           {0, 2, 0, {1, 2, 3, 4, 5, 6, 7, 8}}, {0, 2, -1, {1, 2, 3, 4, 5, 6, 7, 8}},
                           {1, 3, 1, {1, 4, 3, 4, 5, 6, 7, 8}}, {0, 2, 3, {5, 4, 5, 4, 5, 6, 7, 8}}};
    for (const Copy &c : copies) {
        uint8_t a[8] = {1, 2, 3, 4, 5, 6, 7, 8};
        myMemCopy(a + c.dst, a + c.src, c.n);
        EXPECT_EQ(V(a, a + 8), c.want) << c.dst << " " << c.src << " " << c.n;
    }
    uint8_t z[16], w[16];
    std::fill_n(z, 16, 0x11);
    std::fill_n(w, 16, 0x11);
    for (int n : {-3, 0}) myMemSet(z, 0, n);
    myMemSet(z + 2, 0x1AB, 5);
    myMemSet(z + 9, 0x22, 1);
    EXPECT_EQ(V(z, z + 11), (V{0x11, 0x11, 0xAB, 0xAB, 0xAB, 0xAB, 0xAB, 0x11, 0x11, 0x22, 0x11}));
    for (int n : {0, -2}) AACD_fltclr(w, n);
    AACD_fltclr(w + 4, 2);
    AACD_lfractclr(w + 12, 1);
    AACD_lfractclr(w, -1);
    EXPECT_EQ(V(w, w + 16), (V{0x11, 0x11, 0x11, 0x11, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    uint8_t a[7] = {1, 2, 3, 4, 5, 6, 7}, b[7] = {10, 20, 30, 40, 50, 60, 70};
    EXPECT_EQ(V({armSwapElem(a, b, 5), armSwapElem(a, b, -1), armSwapElem(nullptr, b, 3), armSwapElem(a, nullptr, 3)}),
              (V{0, 0, -5, -5}));
    EXPECT_TRUE(V(a, a + 7) == (V{10, 20, 30, 40, 50, 6, 7}) && V(b, b + 7) == (V{1, 2, 3, 4, 5, 60, 70}));
    int32_t one[1] = {5}, x[3] = {3, -5, 1}, z2[2] = {0, 0}, big[2] = {1, 0x40000000};
    EXPECT_EQ(V({norm_lfarray(one, 0), norm_lfarray(one, -1), one[0], norm_lf(x, 3), norm_lfarray(x, 3),
                 norm_lfarray(z2, 2), norm_lf(big, 1), norm_lf(big, 2)}),
              (V{0, 0, 5, 28, 28, 0, 30, 0}));
    EXPECT_EQ(V(x, x + 3), (V{3 << 28, -5 * (1 << 28), 1 << 28}));
}

}  // namespace
