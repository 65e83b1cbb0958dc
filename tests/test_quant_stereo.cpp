// Inverse quantisation, deinterleaving, mid/side and intensity stereo and
// noise substitution, checked against direct long double formulas written
// here, plus the generated and constant tables recomputed independently.
#include <gtest/gtest.h>

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

// Round half away from zero and saturate to int32 (reference conversion).
int64_t refRound(long double x) {
    const long double r = x > 0 ? std::floor(x + 0.5L) : std::ceil(x - 0.5L);
    return static_cast<int64_t>(std::max(-2147483648.0L, std::min(2147483647.0L, r)));
}

// Decimal literal "n e-d" converted by strtod (correctly rounded).
double decimalToDouble(long long n, int decimalsKept) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%llde%d", n, -decimalsKept);
    return std::strtod(buf, nullptr);
}

uint32_t lcg(uint32_t r) { return r * 1664525u + 1013904223u; }

TEST(QuantTables, DecimalTablesMatchPowers) {
    for (int i = 0; i < 8192; ++i)  // i^(4/3) with six decimals
        ASSERT_EQ(armv8_ACAAC_InvQuantTable[i],
                  decimalToDouble(std::llround(std::pow(static_cast<long double>(i), 4.0L / 3.0L) * 1e6L), 6)) << i;
    for (int i = 0; i < 256; ++i) {  // 2^(i/4), six decimals, 16 significant digits from 126 on
        const long double v = std::pow(2.0L, i / 4.0L);
        const int kept = i >= 126 ? 16 - (static_cast<int>(std::floor(std::log10(v))) + 1) : 6;
        const long double scaled = kept >= 0 ? v * std::pow(10.0L, kept) : v / std::pow(10.0L, -kept);
        ASSERT_EQ(armv8_ACAAC_Pow2Table[i], decimalToDouble(std::llround(scaled), kept)) << i;
    }
    EXPECT_EQ(armv8_ACAAC_InvQuantTable[2], 2.519842);
    EXPECT_EQ(armv8_ACAAC_InvQuantTable[8191], 165113.494083);
    EXPECT_EQ(armv8_ACAAC_Pow2Table[100], 33554432.0);
    EXPECT_EQ(pow2_25, 33554432.0);
}

TEST(QuantTables, IntegerFormsAndPnsConsts) {
    for (int i = 0; i <= 1024; ++i)
        ASSERT_EQ(armACAAC_InvQuantTable[i], std::llround(std::pow(static_cast<long double>(i), 4.0L / 3.0L) * 131072.0L)) << i;
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(Power2Table[k], static_cast<uint32_t>(std::llround(std::pow(2.0L, 30 + k / 4.0L))));
    EXPECT_EQ(Power2Table[1], 0x4C1BF829u);
    // Multiplier/increment pairs advance the generator by 1..4 steps at once.
    std::mt19937 rng(5);
    for (int trial = 0; trial < 100; ++trial) {
        const uint32_t x = rng();
        uint32_t r = x;
        for (int k = 1; k <= 4; ++k) EXPECT_EQ(x * armACAAC_PNSConsts[k - 1] + armACAAC_PNSConsts[3 + k], r = lcg(r));
    }
    const uint32_t tail[5] = {0xCB345100u, 0xFCF3F000u, 0x44043700u, 0xD7B59880u, 0x0C080400u};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(armACAAC_PNSConsts[8 + i], tail[i]);
}

struct LongFrame {
    Coefs s{};
    std::vector<int16_t> sf;
    std::vector<uint8_t> cb;
    explicit LongFrame(int32_t sfv = 100, uint8_t cbv = 1, int32_t fill = 0)
        : sf(51, static_cast<int16_t>(sfv)), cb(51, cbv) { std::fill(s.v, s.v + 1024, fill); }
    int32_t quant() { return omxACAAC_QuantInv_S32_I(s.v, sf.data(), 1, kG1, 49, cb.data(), kSri44, 1024); }
};

TEST(QuantInv, AllMagnitudesAndScaleFactors) {
    for (int sf = 0; sf < 256; ++sf) {
        const long double step = std::pow(2.0L, (sf - 100) / 4.0L) * 32.0L;
        const long double tol = 0.5L + step * 6e-7L;  // table entries carry 5e-7 of rounding
        for (int base = -8191; base <= 8191; base += 1024) {
            LongFrame f(sf);
            for (int i = 0; i < 1024; ++i) f.s.v[i] = std::max(-8191, std::min(8191, base + i));
            ASSERT_EQ(f.quant(), 0);
            for (int i = 0; i < 1024; ++i) {
                const int q = std::max(-8191, std::min(8191, base + i));
                const long double ideal = (q < 0 ? -1 : 1) * std::pow(std::fabs(static_cast<long double>(q)), 4.0L / 3.0L) * step;
                if (std::fabs(ideal) > 2147483647.0L + tol + 1) ASSERT_EQ(f.s.v[i], q < 0 ? INT32_MIN : INT32_MAX) << sf << " " << q;
                else if (std::fabs(ideal) < 2147483647.0L - tol - 1) ASSERT_LE(std::fabs(f.s.v[i] - ideal), tol + 0.5L) << sf << " " << q;
            }
        }
    }
    LongFrame f(100), g(104);
    const int32_t in[5] = {1, -1, 0, 8191, 2}, want[5] = {32, -32, 0, static_cast<int32_t>(refRound(165113.494083L * 32)), 81};
    std::copy(in, in + 5, f.s.v);
    g.s.v[0] = 1;
    ASSERT_EQ(f.quant(), 0);
    ASSERT_EQ(g.quant(), 0);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(f.s.v[i], want[i]) << i;  // 2.519842 * 32 = 80.63 -> 81
    EXPECT_EQ(g.s.v[0], 64);
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

TEST(QuantInv, Statuses) {
    Coefs s{};
    int16_t sf[51 * 8] = {};
    uint8_t cb[51 * 8] = {};
    struct Case { int32_t *coefs; const int16_t *sf; int32_t ng; const int32_t *gl; int32_t maxSfb; const uint8_t *cb; int32_t sri, fl, want; };
    const Case cases[] = {
        {nullptr, sf, 1, kG1, 10, cb, 4, 1024, -5}, {s.v, nullptr, 1, kG1, 10, cb, 4, 1024, -5},
        {s.v, sf, 1, nullptr, 10, cb, 4, 1024, -5}, {s.v, sf, 1, kG1, 10, nullptr, 4, 1024, -5},
        {s.v, sf, 1, kG1, 10, cb, 12, 1024, -5},    {s.v, sf, 1, kG1, 52, cb, 4, 1024, -5},
        {s.v, sf, 1, kG1, 10, cb, 4, 960, -5},      {s.v, sf, 2, kG1, 10, cb, 4, 1024, -5},
        {s.v, sf, 0, kG8, 10, cb, 4, 128, -5},      {s.v, sf, 9, kG8, 10, cb, 4, 128, -5},
        {s.v, sf, 1, kG1, 50, cb, 4, 1024, -162},   {s.v, sf, 8, kG8, 15, cb, 4, 128, -162},
        {s.v, sf, 1, kG1, 49, cb, 4, 1024, 0},      {s.v, sf, 8, kG8, 14, cb, 4, 128, 0},
        {s.v, sf, 1, kG1, 52, cb, 12, 1024, -5},  // index checked before maxSfb
    };
    for (const Case &c : cases)
        EXPECT_EQ(omxACAAC_QuantInv_S32_I(c.coefs, c.sf, c.ng, c.gl, c.maxSfb, c.cb, c.sri, c.fl), c.want)
            << c.ng << " " << c.maxSfb << " " << c.sri << " " << c.fl;
}

TEST(Deinterleave, GroupsPlaceBandsInTheirWindows) {
    const int32_t grp[8] = {3, 1, 4};
    for (int sri : {0, 4, 8, 11}) {
        const uint16_t *off = armACAAC_swbOffsetShortWindow[sri];
        const int numSwb = armACAAC_numSwbShort[sri];
        for (int maxSfb : {0, 1, numSwb / 2, numSwb}) {
            Coefs src{}, dst{};
            for (int i = 0; i < 1024; ++i) src.v[i] = i + 1, dst.v[i] = -7;
            ASSERT_EQ(omxACAAC_DeinterleaveSpectrum_S32(src.v, dst.v, 3, grp, maxSfb, sri, 128), 0);
            for (int g = 0, w = 0, base = 0; g < 3; base += grp[g++] * off[maxSfb])
                for (int j = 0; j < grp[g]; ++j, ++w)
                    for (int k = 0, b = 0; k < 128; ++k) {
                        while (k < off[maxSfb] && off[b + 1] <= k) ++b;  // coded order: band, window, bin
                        const int coded = base + off[b] * grp[g] + j * (off[b + 1] - off[b]) + (k - off[b]);
                        const int want = k < off[maxSfb] ? coded + 1 : k < off[numSwb] ? 0 : -7;
                        ASSERT_EQ(dst.v[128 * w + k], want) << sri << " " << maxSfb << " " << w << " " << k;
                    }
        }
    }
    // Unwritten windows past the groups stay as they were.
    const int32_t g22[8] = {2, 2};
    Coefs src{}, dst{};
    for (int i = 0; i < 1024; ++i) src.v[i] = 5, dst.v[i] = 9;
    ASSERT_EQ(omxACAAC_DeinterleaveSpectrum_S32(src.v, dst.v, 2, g22, 3, kSri44, 128), 0);
    for (int i = 0; i < 1024; ++i) ASSERT_EQ(dst.v[i], i >= 512 ? 9 : (i % 128) < 12 ? 5 : 0) << i;
}

TEST(Deinterleave, Statuses) {
    Coefs src{}, dst{};
    const int32_t *src4 = reinterpret_cast<const int32_t *>(reinterpret_cast<const char *>(src.v) + 4);
    int32_t *dst4 = reinterpret_cast<int32_t *>(reinterpret_cast<char *>(dst.v) + 4);
    struct Case { const int32_t *s; int32_t *d; int32_t ng; const int32_t *g; int32_t maxSfb, sri, fl, want; };
    const Case cases[] = {
        {nullptr, dst.v, 8, kG8, 5, 4, 128, -5}, {src.v, nullptr, 8, kG8, 5, 4, 128, -5},
        {src.v, dst.v, 8, nullptr, 5, 4, 128, -5}, {src.v, dst.v, 0, kG8, 5, 4, 128, -5},
        {src.v, dst.v, 9, kG8, 5, 4, 128, -5}, {src.v, dst.v, 8, kG8, 5, 4, 1024, -5},
        {src.v, dst.v, 8, kG8, -1, 4, 128, -5}, {src.v, dst.v, 8, kG8, 52, 4, 128, -5},
        {src.v, dst.v, 8, kG8, 5, 12, 128, -5}, {src4, dst.v, 8, kG8, 5, 4, 128, -5},
        {src.v, dst4, 8, kG8, 5, 4, 128, -5}, {src.v, dst.v, 8, kG8, 15, 4, 128, -162},
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
            if (b < 2) ASSERT_EQ(p.r.v[i], b == 0 ? p.l.v[i] : -p.l.v[i]);
            if (b == 2) ASSERT_EQ(p.r.v[i], refRound(p.l.v[i] / 2.0L));  // halves away from zero
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

TEST(Stereo, Statuses) {
    Pair p;
    int32_t *l4 = reinterpret_cast<int32_t *>(reinterpret_cast<char *>(p.l.v) + 4);
    // Argument sets: {ng, groups, maxSfb, sri, fl, ms status, is status}.
    struct Case { int32_t ng; const int32_t *g; int32_t maxSfb, sri, fl, ms, is; };
    const Case cases[] = {{1, kG1, 52, 4, 1024, -5, -5},  {1, kG1, 10, 12, 1024, -5, -5}, {1, kG1, 10, 4, 960, -5, -5},
                          {1, kG1, 10, 4, 256, -5, -5},   {2, kG1, 10, 4, 1024, -5, -5},  {9, kG8, 10, 4, 128, -5, -5},
                          {0, kG8, 10, 4, 128, -5, -5},   {1, kG1, 50, 4, 1024, -162, -162},
                          {8, kG8, 15, 4, 128, -162, -162}, {8, kG8, 14, 4, 128, 0, 0},   {1, kG1, 10, 4, 1024, 0, 0}};
    p.cpe.msMaskPresent = 1;
    for (const Case &c : cases) {
        const int n = static_cast<int>(&c - cases);
        EXPECT_EQ(omxACAAC_DecodeMsStereo_S32_I(p.l.v, p.r.v, &p.cpe, p.cbR.data(), c.ng, c.g, c.maxSfb, c.sri, c.fl), c.ms) << n;
        EXPECT_EQ(omxACAAC_DecodeIsStereo_S32(p.l.v, p.r.v, p.sfR.data(), p.cbR.data(), c.ng, c.g, c.maxSfb, c.sri, c.fl), c.is) << n;
    }
    for (int k = 0; k < 5; ++k) {  // each pointer null in turn
        EXPECT_EQ(omxACAAC_DecodeMsStereo_S32_I(k == 0 ? nullptr : p.l.v, k == 1 ? nullptr : p.r.v, k == 2 ? nullptr : &p.cpe,
                                                k == 3 ? nullptr : p.cbR.data(), 1, k == 4 ? nullptr : kG1, 10, 4, 1024), -5) << k;
        EXPECT_EQ(omxACAAC_DecodeIsStereo_S32(k == 0 ? nullptr : p.l.v, k == 1 ? nullptr : p.r.v, k == 2 ? nullptr : p.sfR.data(),
                                              k == 3 ? nullptr : p.cbR.data(), 1, k == 4 ? nullptr : kG1, 10, 4, 1024), -5) << k;
    }
    EXPECT_EQ(omxACAAC_DecodeMsStereo_S32_I(l4, p.r.v, &p.cpe, p.cbR.data(), 1, kG1, 10, 4, 1024), -5);  // misaligned
    EXPECT_EQ(omxACAAC_DecodeIsStereo_S32(l4, p.r.v, p.sfR.data(), p.cbR.data(), 1, kG1, 49, 4, 1024), 0);  // no alignment check
    for (int mask : {0, 3}) {
        p.cpe.msMaskPresent = mask;
        EXPECT_EQ(p.ms(), -5) << mask;
    }
    p.cpe.msMaskPresent = 2;
    EXPECT_EQ(omxACAAC_DecodeMsStereo_S32_I(p.l.v, p.r.v, &p.cpe, p.cbR.data(), 8, kG8, 14, 4, 128), 0);
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
        if (b == 12) EXPECT_EQ(p.seeds[12], r);
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
                if (correlated) EXPECT_EQ(p.seeds[60 * (win + j) + 3], r);
                expectNoise(p.s.v + base + off[b] * p.grp[g] + j * width, width, correlated ? rc : r, p.sf[g * 10 + b]);
            }
    EXPECT_EQ(p.state, r);
    for (int32_t f : p.flags) EXPECT_EQ(f, 5);  // band flags only for long frames
}

TEST(Pns, NullArguments) {
    Pns p;
    uint32_t st = 0;
    for (int k = -1; k < 8; ++k)  // k = -1: all present
        EXPECT_EQ(omxACAAC_DecodeMsPNS_S32_I(k == 0 ? nullptr : p.s.v, k == 1 ? nullptr : p.flags, k == 2 ? nullptr : p.cb.data(),
                                             k == 3 ? nullptr : p.sf.data(), 49, 1, k == 4 ? nullptr : p.grp, kSri44, 1024,
                                             k == 5 ? nullptr : &st, 0, k == 6 ? nullptr : p.corr, k == 7 ? nullptr : p.seeds,
                                             nullptr, nullptr, nullptr), k < 0 ? 0 : -5) << k;
}

}  // namespace
