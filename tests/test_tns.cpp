// Temporal noise shaping: the sine and band-limit tables, coefficient
// conversion against a long double step-up recursion, and whole-channel
// filtering against a direct all-pole filter in long double (both directions,
// band clipping, several filters per window, short windows), with every
// status at the point where it arises.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "omxdl/ac/armACAAC.h"

namespace {

constexpr long double kPi = 3.14159265358979323846264338327950288L;
constexpr int kSri48 = 3;  // 49 long bands, TNS limit 40 (long) / 14 (short)

long double refSin(int c, int r) {
    const long double q = (std::pow(2.0L, r - 1) + (c >= 0 ? -0.5L : 0.5L)) / (kPi / 2);
    return std::sin(c / q);
}

int64_t refRound(long double x) {
    long double r = x > 0 ? std::floor(x + 0.5L) : std::ceil(x - 0.5L);
    return static_cast<int64_t>(std::max(-2147483648.0L, std::min(2147483647.0L, r)));
}

std::vector<long double> refLpc(const int8_t *coef, int res, int order) {
    std::vector<long double> a(order + 1, 0.0L), b(order + 1);
    a[0] = 1;
    for (int m = 1; m <= order; ++m) {
        const long double k = refSin(coef[m - 1], res);
        for (int i = 1; i < m; ++i) b[i] = a[i] + k * a[m - i];
        for (int i = 1; i < m; ++i) a[i] = b[i];
        a[m] = k;
    }
    return a;
}

// Direct all-pole filter y[n] = x[n] - sum a[k] y[n-k] over coefs[from..] in
// steps of step, on dequantised values, result times 32.
void refFilter(std::vector<long double> &coefs, int from, int count, int step,
               const std::vector<long double> &a) {
    std::vector<long double> y;
    for (int n = 0; n < count; ++n) {
        long double v = coefs[from + n * step] / 32.0L;
        for (size_t k = 1; k < a.size() && static_cast<int>(k) <= n; ++k) v -= a[k] * y[n - k];
        y.push_back(v);
        coefs[from + n * step] = v * 32.0L;
    }
}

TEST(TnsTables, MaxBands) {
    const uint8_t want[4][12] = {
        {31, 31, 34, 40, 42, 51, 46, 46, 42, 42, 42, 39},
        {9, 9, 10, 14, 14, 14, 14, 14, 14, 14, 14, 14},
        {28, 28, 27, 26, 26, 26, 29, 29, 23, 23, 23, 19},
        {7, 7, 7, 6, 6, 6, 7, 7, 8, 8, 8, 7}};
    for (int i = 0; i < 12; ++i)
        for (int c = 0; c < 4; ++c) EXPECT_EQ(armACAAC_TnsMaxBands[i][c], want[c][i]) << i << " " << c;
}

TEST(TnsTables, SinLookUp) {
    for (int c = -8; c <= 7; ++c)
        for (int r = 3; r <= 4; ++r) {
            const double got = armACAAC_SinLookUp[2 * (c + 8) + r - 3];
            // Same expression in double precision, and the exact value.
            const double q = (std::pow(2.0, r - 1) + (c >= 0 ? -0.5 : 0.5)) / (3.141592653589793 / 2.0);
            EXPECT_EQ(got, std::sin(c / q)) << c << " " << r;
            // The argument carries double rounding (c / q near pi for c = 7).
            EXPECT_NEAR(got, static_cast<double>(refSin(c, r)), 2e-15) << c << " " << r;
        }
    EXPECT_EQ(armACAAC_SinLookUp[18], 0.43388373911755806);
    EXPECT_EQ(armACAAC_SinLookUp[31], 0.9945218953682733);
}

TEST(TnsDecodeCoef, MatchesStepUpRecursion) {
    std::mt19937 rng(3);
    for (int trial = 0; trial < 500; ++trial) {
        const int order = 1 + trial % 20, res = 3 + (trial & 1);
        int8_t coef[20];
        for (int i = 0; i < order; ++i)
            coef[i] = static_cast<int8_t>(res == 3 ? static_cast<int>(rng() % 8) - 4 : static_cast<int>(rng() % 16) - 8);
        double lpc[21];
        ASSERT_EQ(armACAAC_TnsDecodeCoef(coef, lpc, res, order), 0);
        const std::vector<long double> a = refLpc(coef, res, order);
        for (int i = 0; i <= order; ++i) ASSERT_NEAR(lpc[i], static_cast<double>(a[i]), 1e-12 * (1 + std::fabs(a[i])));
    }
}

TEST(TnsDecodeCoef, OrderZeroAndBadCoefficient) {
    double lpc[4] = {7, 7, 7, 7};
    EXPECT_EQ(armACAAC_TnsDecodeCoef(nullptr, lpc, 3, 0), 0);
    EXPECT_EQ(lpc[0], 1.0);
    EXPECT_EQ(lpc[1], 7.0);
    const int8_t bad[3] = {1, 8, 0};
    double lpc2[4] = {7, 7, 7, 7};
    EXPECT_EQ(armACAAC_TnsDecodeCoef(bad, lpc2, 4, 3), -153);
    for (double v : lpc2) EXPECT_EQ(v, 7.0);
    const int8_t low[1] = {-9};
    EXPECT_EQ(armACAAC_TnsDecodeCoef(low, lpc2, 4, 1), -153);
}

struct Tns {
    std::vector<int32_t> coefs = std::vector<int32_t>(1024);
    TnsInfo t{};
    std::vector<int8_t> coef = std::vector<int8_t>(64, 0);
    int32_t maxSfb = 49, sri = kSri48, fl = 1024, profile = 1;
    explicit Tns(uint32_t seed = 1) {
        std::mt19937 rng(seed);
        for (int32_t &v : coefs) v = static_cast<int32_t>(rng() % 200001) - 100000;
    }
    int32_t run() {
        return omxACAAC_DecodeTNS_S32_I(coefs.data(), t.tnsNumFilters, t.tnsLength, t.tnsOrder, t.tnsCoefRes,
                                        coef.data(), t.tnsDirection, maxSfb, profile, sri, fl);
    }
};

void expectClose(const std::vector<int32_t> &got, const std::vector<long double> &want) {
    for (size_t i = 0; i < got.size(); ++i)
        ASSERT_LE(std::fabs(got[i] - want[i]), 0.5L + 1e-7L) << i;
}

TEST(TnsFilter, DirectFilterBothDirections) {
    std::mt19937 rng(11);
    for (int trial = 0; trial < 200; ++trial) {
        const int order = 1 + trial % 12, res = 3 + (trial >> 1) % 2, dir = trial % 2;
        // Small reflection coefficients keep the filter gain moderate.
        std::vector<int8_t> coef(order);
        for (int8_t &c : coef) c = static_cast<int8_t>(static_cast<int>(rng() % 5) - 2);
        std::vector<int32_t> coefs(200);
        for (int32_t &v : coefs) v = static_cast<int32_t>(rng() % 2000001) - 1000000;
        std::vector<long double> want(coefs.begin(), coefs.end());
        double lpc[21];
        ASSERT_EQ(armACAAC_TnsDecodeCoef(coef.data(), lpc, res, order), 0);
        const int from = dir ? 189 : 10, count = 180;
        armACAAC_TnsFilter(coefs.data() + from, lpc, count, dir ? -1 : 1, order);
        refFilter(want, from, count, dir ? -1 : 1, refLpc(coef.data(), res, order));
        expectClose(coefs, want);
    }
}

TEST(TnsFilter, OrderOneExact) {
    const int8_t one = 1, zero = 0;
    double lpc[2];
    ASSERT_EQ(armACAAC_TnsDecodeCoef(&one, lpc, 3, 1), 0);
    EXPECT_EQ(lpc[1], 0.43388373911755806);
    std::vector<int32_t> x = {1000, -3, 77, 123456, 0, 5};
    std::vector<int32_t> y = x;
    armACAAC_TnsFilter(y.data(), lpc, 6, 1, 1);
    double prev = 0;
    for (size_t n = 0; n < x.size(); ++n) {
        const double v = x[n] * 0.03125 - 0.43388373911755806 * prev;
        EXPECT_EQ(y[n], refRound(static_cast<long double>(v) * 32)) << n;
        prev = v;
    }
    ASSERT_EQ(armACAAC_TnsDecodeCoef(&zero, lpc, 3, 1), 0);
    EXPECT_EQ(lpc[1], 0.0);
    y = x;
    armACAAC_TnsFilter(y.data(), lpc, 6, 1, 1);
    EXPECT_EQ(y, x);
}

// Reference of a whole long window: filters from the top band down.
struct RefFilter { int len, order, dir, res; std::vector<int8_t> c; };

std::vector<long double> refWindow(const std::vector<int32_t> &in, int base, int numSwb, const uint16_t *off,
                                   int limit, const std::vector<RefFilter> &fs) {
    std::vector<long double> s(in.begin(), in.end());
    int top = numSwb;
    for (const RefFilter &f : fs) {
        const int bottom = std::max(top - f.len, 0);
        const int start = off[std::min(bottom, limit)], end = off[std::min(top, limit)];
        if (f.order > 0 && end > start) {
            const auto a = refLpc(f.c.data(), f.res, f.order);
            if (f.dir) refFilter(s, base + end - 1, end - start, -1, a);
            else refFilter(s, base + start, end - start, 1, a);
        }
        top = bottom;
    }
    return s;
}

TEST(DecodeTns, BandLimitClipsLongFilter) {
    Tns x;
    const std::vector<int32_t> in = x.coefs;
    x.t.tnsNumFilters[0] = 1, x.t.tnsCoefRes[0] = 4, x.t.tnsLength[0] = 49, x.t.tnsOrder[0] = 3;
    x.coef = {3, -2, 1};
    ASSERT_EQ(x.run(), 0);
    const uint16_t *off = armACAAC_swbOffsetLongWindow[kSri48];
    ASSERT_EQ(off[40], 672);
    expectClose(x.coefs, refWindow(in, 0, 49, off, 40, {{49, 3, 0, 4, {3, -2, 1}}}));
    for (int i = 672; i < 1024; ++i) ASSERT_EQ(x.coefs[i], in[i]);
    EXPECT_NE(x.coefs[671], in[671]);
}

TEST(DecodeTns, SeveralLongFilters) {
    const uint16_t *off = armACAAC_swbOffsetLongWindow[kSri48];
    for (int dir2 = 0; dir2 < 2; ++dir2)
        for (int maxSfb : {49, 35, 10, 0}) {
            Tns x(maxSfb + dir2);
            const std::vector<int32_t> in = x.coefs;
            x.maxSfb = maxSfb;
            x.t.tnsNumFilters[0] = 3, x.t.tnsCoefRes[0] = 3;
            x.t.tnsLength[0] = 20, x.t.tnsOrder[0] = 2, x.t.tnsDirection[0] = 1;
            x.t.tnsLength[1] = 10, x.t.tnsOrder[1] = 0;
            x.t.tnsLength[2] = 40, x.t.tnsOrder[2] = 4, x.t.tnsDirection[2] = dir2;
            x.coef = {1, -2, 3, 2, -1, 1};
            ASSERT_EQ(x.run(), 0);
            const int limit = std::min(maxSfb, 40);
            expectClose(x.coefs, refWindow(in, 0, 49, off, limit,
                                          {{20, 2, 1, 3, {1, -2}}, {10, 0, 0, 3, {}}, {40, 4, dir2, 3, {3, 2, -1, 1}}}));
            if (maxSfb == 0) EXPECT_EQ(x.coefs, in);
            if (maxSfb == 49) {
                // Second filter spans bands 19..28 with order 0: unchanged there?
                // No: third filter covers 0..18 only, so bands 19..28 stay.
                for (int i = off[19]; i < off[29]; ++i) ASSERT_EQ(x.coefs[i], in[i]);
                for (int i = off[40]; i < 1024; ++i) ASSERT_EQ(x.coefs[i], in[i]);
            }
        }
}

TEST(DecodeTns, TwoFiltersClippedBottomAndTop) {
    // Lengths 20 and 40 at 48 kHz: bands 29..39 (top clipped to 40), then 0..28.
    Tns x;
    const std::vector<int32_t> in = x.coefs;
    x.t.tnsNumFilters[0] = 2, x.t.tnsCoefRes[0] = 4;
    x.t.tnsLength[0] = 20, x.t.tnsOrder[0] = 1;
    x.t.tnsLength[1] = 40, x.t.tnsOrder[1] = 1;
    x.coef = {5, -6};
    ASSERT_EQ(x.run(), 0);
    const uint16_t *off = armACAAC_swbOffsetLongWindow[kSri48];
    expectClose(x.coefs, refWindow(in, 0, 49, off, 40, {{20, 1, 0, 4, {5}}, {40, 1, 0, 4, {-6}}}));
    // The first output of each region is the input itself (empty history).
    EXPECT_EQ(x.coefs[off[29]], in[off[29]]);
    EXPECT_EQ(x.coefs[0], in[0]);
    EXPECT_NE(x.coefs[off[29] + 1], in[off[29] + 1]);
}

TEST(DecodeTns, ShortWindowsConsumeCoefficientsInOrder) {
    Tns x;
    x.fl = 128, x.maxSfb = 14;
    const std::vector<int32_t> in = x.coefs;
    const uint16_t *off = armACAAC_swbOffsetShortWindow[kSri48];
    std::vector<std::vector<RefFilter>> perWin(8);
    std::vector<int8_t> coefs;
    for (int w = 0; w < 8; ++w) {
        const int order = w % 4, len = 3 + w;  // window 0 and 4: order 0
        x.t.tnsNumFilters[w] = (w == 6) ? 0 : 1;
        x.t.tnsCoefRes[w] = 3 + (w & 1);
        x.t.tnsLength[w] = len, x.t.tnsOrder[w] = order, x.t.tnsDirection[w] = w & 1;
        if (w == 6) continue;
        RefFilter f{len, order, w & 1, 3 + (w & 1), {}};
        for (int i = 0; i < order; ++i) f.c.push_back(static_cast<int8_t>((w + i) % 7 - 3)), coefs.push_back(f.c.back());
        perWin[w].push_back(f);
    }
    x.coef = coefs;
    x.coef.resize(64, 0);
    ASSERT_EQ(x.run(), 0);
    for (int w = 0; w < 8; ++w) {
        std::vector<int32_t> win(in.begin() + 128 * w, in.begin() + 128 * (w + 1));
        std::vector<int32_t> got(x.coefs.begin() + 128 * w, x.coefs.begin() + 128 * (w + 1));
        expectClose(got, refWindow(win, 0, 14, off, std::min(14, 14), perWin[w]));
        if (w == 0 || w == 4 || w == 6) EXPECT_EQ(got, win) << w;
    }
}

TEST(DecodeTns, MaxSfbZeroStillConsumesCoefficients) {
    Tns x;
    x.fl = 128, x.maxSfb = 0;
    x.t.tnsNumFilters[0] = 1, x.t.tnsCoefRes[0] = 4, x.t.tnsLength[0] = 5, x.t.tnsOrder[0] = 2;
    x.t.tnsNumFilters[1] = 1, x.t.tnsCoefRes[1] = 4, x.t.tnsLength[1] = 5, x.t.tnsOrder[1] = 1;
    x.coef = {1, 2, 8};  // window 1 reads the third entry
    const std::vector<int32_t> in = x.coefs;
    EXPECT_EQ(x.run(), -153);
    EXPECT_EQ(x.coefs, in);
    x.coef = {8, 2, 1};
    x.t.tnsOrder[0] = 0;  // an order-0 filter consumes nothing: window 1 reads 8
    EXPECT_EQ(x.run(), -153);
}

TEST(DecodeTns, Statuses) {
    struct Case { const char *what; void (*mutate)(Tns &); int32_t want; };
    const Case cases[] = {
        {"profile 2", [](Tns &x) { x.profile = 2; }, -5},
        {"frame 960", [](Tns &x) { x.fl = 960; }, -5},
        {"sri 12", [](Tns &x) { x.sri = 12; }, -5},
        {"sri -1", [](Tns &x) { x.sri = -1; }, -5},
        {"maxSfb 50", [](Tns &x) { x.maxSfb = 50; }, -5},
        {"maxSfb -1", [](Tns &x) { x.maxSfb = -1; }, -5},
        {"4 long filters", [](Tns &x) { x.t.tnsNumFilters[0] = 4; }, -157},
        {"negative filters", [](Tns &x) { x.t.tnsNumFilters[0] = -1; }, -157},
        {"2 short filters", [](Tns &x) { x.fl = 128, x.maxSfb = 14, x.t.tnsNumFilters[3] = 2; }, -157},
        {"resolution 2", [](Tns &x) { x.t.tnsCoefRes[0] = 2; }, -154},
        {"length 50", [](Tns &x) { x.t.tnsLength[0] = 50; }, -156},
        {"length -1", [](Tns &x) { x.t.tnsLength[0] = -1; }, -156},
        {"order 13", [](Tns &x) { x.t.tnsOrder[0] = 13; }, -155},
        {"order -1", [](Tns &x) { x.t.tnsOrder[0] = -1; }, -155},
        {"direction 2", [](Tns &x) { x.t.tnsDirection[0] = 2; }, -152},
        {"direction -1", [](Tns &x) { x.t.tnsDirection[0] = -1; }, -152},
        {"coefficient 8", [](Tns &x) { x.coef[1] = 8; }, -153},
        {"resolution unused", [](Tns &x) { x.t.tnsNumFilters[0] = 0, x.t.tnsCoefRes[0] = 9; }, 0},
    };
    for (const Case &c : cases) {
        Tns x;
        x.t.tnsNumFilters[0] = 1, x.t.tnsCoefRes[0] = 4, x.t.tnsLength[0] = 10, x.t.tnsOrder[0] = 2;
        c.mutate(x);
        const std::vector<int32_t> in = x.coefs;
        EXPECT_EQ(x.run(), c.want) << c.what;
        if (c.want != 0) EXPECT_EQ(x.coefs, in) << c.what;
    }
    Tns x;
    std::vector<int32_t> arr(8, 0);
    EXPECT_EQ(omxACAAC_DecodeTNS_S32_I(nullptr, arr.data(), arr.data(), arr.data(), arr.data(), x.coef.data(),
                                       arr.data(), 10, 1, 3, 1024), -5);
    for (int which = 0; which < 6; ++which) {
        const int32_t *p[5] = {arr.data(), arr.data(), arr.data(), arr.data(), arr.data()};
        const int8_t *cf = x.coef.data();
        if (which < 5) p[which] = nullptr; else cf = nullptr;
        EXPECT_EQ(omxACAAC_DecodeTNS_S32_I(x.coefs.data(), p[0], p[1], p[2], p[3], cf, p[4], 10, 1, 3, 1024), -5)
            << which;
    }
}

TEST(DecodeTns, FailingSecondFilterAfterFirstApplied) {
    Tns x;
    const std::vector<int32_t> in = x.coefs;
    x.t.tnsNumFilters[0] = 2, x.t.tnsCoefRes[0] = 4;
    x.t.tnsLength[0] = 20, x.t.tnsOrder[0] = 2;
    x.t.tnsLength[1] = 10, x.t.tnsOrder[1] = 13;
    x.coef = {2, -3};
    x.coef.resize(64, 0);
    EXPECT_EQ(x.run(), -155);
    const uint16_t *off = armACAAC_swbOffsetLongWindow[kSri48];
    expectClose(x.coefs, refWindow(in, 0, 49, off, 40, {{20, 2, 0, 4, {2, -3}}}));
    EXPECT_NE(x.coefs[off[29] + 3], in[off[29] + 3]);
}

}  // namespace
