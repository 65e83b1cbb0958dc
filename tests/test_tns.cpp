// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// Temporal noise shaping: the sine table, coefficient
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
    return std::sin(c / ((std::pow(2.0L, r - 1) + (c >= 0 ? -0.5L : 0.5L)) / (kPi / 2)));
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
void refFilter(std::vector<long double> &coefs, int from, int count, int step, const std::vector<long double> &a) {
    std::vector<long double> y;
    for (int n = 0; n < count; ++n) {
        long double v = coefs[from + n * step] / 32.0L;
        for (size_t k = 1; k < a.size() && static_cast<int>(k) <= n; ++k) v -= a[k] * y[n - k];
        y.push_back(v);
        coefs[from + n * step] = v * 32.0L;
    }
}

void expectClose(const std::vector<int32_t> &got, const std::vector<long double> &want) {
    for (size_t i = 0; i < got.size(); ++i) ASSERT_LE(std::fabs(got[i] - want[i]), 0.5L + 1e-7L) << i;
}

TEST(TnsTables, SinLookUp) {
    for (int c = -8; c <= 7; ++c)
        for (int r = 3; r <= 4; ++r)
            EXPECT_NEAR(armACAAC_SinLookUp[2 * (c + 8) + r - 3], static_cast<double>(refSin(c, r)), 2e-15) << c << " " << r;
}

TEST(TnsDecodeCoef, MatchesStepUpRecursionAndRejectsBadInput) {
    std::mt19937 rng(3);
    for (int trial = 0; trial < 500; ++trial) {
        const int order = 1 + trial % 20, res = 3 + (trial & 1);
        int8_t coef[20];
        for (int i = 0; i < order; ++i) coef[i] = static_cast<int8_t>(static_cast<int>(rng() % (2u << res >> 1)) - (1 << (res - 1)));
        double lpc[21];
        ASSERT_EQ(armACAAC_TnsDecodeCoef(coef, lpc, res, order), 0);
        const std::vector<long double> a = refLpc(coef, res, order);
        for (int i = 0; i <= order; ++i) ASSERT_NEAR(lpc[i], static_cast<double>(a[i]), 1e-12 * (1 + std::fabs(a[i])));
    }
    double lpc[4] = {7, 7, 7, 7};
    EXPECT_EQ(armACAAC_TnsDecodeCoef(nullptr, lpc, 3, 0), 0);  // order 0: a[0] only
    EXPECT_EQ(lpc[0], 1.0);
    EXPECT_EQ(lpc[1], 7.0);
    const int8_t bad[3] = {1, 8, 0}, low[1] = {-9};
    double lpc2[4] = {7, 7, 7, 7};
    EXPECT_EQ(armACAAC_TnsDecodeCoef(bad, lpc2, 4, 3), -153);
    for (double v : lpc2) EXPECT_EQ(v, 7.0);
    EXPECT_EQ(armACAAC_TnsDecodeCoef(low, lpc2, 4, 1), -153);
    const int8_t zeros[21] = {};
    double wide[22];
    EXPECT_EQ(armACAAC_TnsDecodeCoef(zeros, wide, 4, 20), 0);  // orders up to 20 of long windows
    EXPECT_EQ(armACAAC_TnsDecodeCoef(zeros, wide, 4, 21), -155);
    EXPECT_EQ(armACAAC_TnsDecodeCoef(zeros, wide, 2, 1), -154);
    EXPECT_EQ(armACAAC_TnsDecodeCoef(zeros, wide, 5, 1), -154);
    EXPECT_EQ(armACAAC_TnsDecodeCoef(nullptr, wide, 4, 1), -5);
    EXPECT_EQ(armACAAC_TnsDecodeCoef(zeros, nullptr, 4, 1), -5);
}

TEST(TnsFilter, DirectFilterBothDirections) {
    std::mt19937 rng(11);
    for (int trial = 0; trial < 200; ++trial) {
        const int order = 1 + trial % 12, res = 3 + (trial >> 1) % 2, dir = trial % 2;
        std::vector<int8_t> coef(order);  // small reflection coefficients: moderate gain
        for (int8_t &c : coef) c = static_cast<int8_t>(static_cast<int>(rng() % 5) - 2);
        std::vector<int32_t> coefs(200);
        for (int32_t &v : coefs) v = static_cast<int32_t>(rng() % 2000001) - 1000000;
        std::vector<long double> want(coefs.begin(), coefs.end());
        double lpc[21];
        ASSERT_EQ(armACAAC_TnsDecodeCoef(coef.data(), lpc, res, order), 0);
        armACAAC_TnsFilter(coefs.data() + (dir ? 189 : 10), lpc, 180, dir ? -1 : 1, order);
        refFilter(want, dir ? 189 : 10, 180, dir ? -1 : 1, refLpc(coef.data(), res, order));
        expectClose(coefs, want);
    }
}

struct Tns {
    std::vector<int32_t> coefs = std::vector<int32_t>(1024), in;
    TnsInfo t{};
    std::vector<int8_t> coef = std::vector<int8_t>(64, 0);
    int32_t maxSfb = 49, sri = kSri48, fl = 1024, profile = 1;
    explicit Tns(uint32_t seed = 1) {
        std::mt19937 rng(seed);
        for (int32_t &v : coefs) v = static_cast<int32_t>(rng() % 200001) - 100000;
        in = coefs;
    }
    // Filter f of window w sits in slot w + f (long: one window of up to 3 filters).
    void filter(int w, int len, int order, int dir = 0) {
        const int i = w + t.tnsNumFilters[w]++;
        t.tnsLength[i] = len, t.tnsOrder[i] = order, t.tnsDirection[i] = dir;
    }
    int32_t run() {
        return omxACAAC_DecodeTNS_S32_I(coefs.data(), t.tnsNumFilters, t.tnsLength, t.tnsOrder, t.tnsCoefRes,
                                        coef.data(), t.tnsDirection, maxSfb, profile, sri, fl);
    }
};

// Reference of one window: filters from the top band down.
struct RefFilter { int len, order, dir, res; std::vector<int8_t> c; };

std::vector<long double> refWindow(const std::vector<int32_t> &in, int numSwb, const uint16_t *off, int limit,
                                   const std::vector<RefFilter> &fs) {
    std::vector<long double> s(in.begin(), in.end());
    int top = numSwb;
    for (const RefFilter &f : fs) {
        const int bottom = std::max(top - f.len, 0);
        const int start = off[std::min(bottom, limit)], end = off[std::min(top, limit)];
        if (f.order > 0 && end > start) {
            const auto a = refLpc(f.c.data(), f.res, f.order);
            if (f.dir) refFilter(s, end - 1, end - start, -1, a);
            else refFilter(s, start, end - start, 1, a);
        }
        top = bottom;
    }
    return s;
}

// Long windows at 48 kHz (band limit 40): one filter clipped by the limit,
// three filters with an order-0 gap, two filters clipped at both ends, and a
// failing second filter after the first was applied.
TEST(DecodeTns, LongWindowsAgainstReference) {
    const uint16_t *off = armACAAC_swbOffsetLongWindow[kSri48];
    ASSERT_EQ(off[40], 672);
    struct Case { int res, maxSfb; std::vector<RefFilter> fs; int32_t status; int applied; };
    std::vector<Case> cases = {{4, 49, {{49, 3, 0, 4, {3, -2, 1}}}, 0, 1},
                               {4, 49, {{20, 1, 0, 4, {5}}, {40, 1, 0, 4, {-6}}}, 0, 2},
                               {4, 49, {{20, 2, 0, 4, {2, -3}}, {10, 13, 0, 4, {}}}, -155, 1}};
    for (int dir2 = 0; dir2 < 2; ++dir2)
        for (int maxSfb : {49, 35, 10, 0})
            cases.push_back({3, maxSfb, {{20, 2, 1, 3, {1, -2}}, {10, 0, 0, 3, {}}, {40, 4, dir2, 3, {3, 2, -1, 1}}}, 0, 3});
    for (size_t n = 0; n < cases.size(); ++n) {
        const Case &c = cases[n];
        Tns x(static_cast<uint32_t>(n + 1));
        x.maxSfb = c.maxSfb, x.t.tnsCoefRes[0] = c.res;
        std::vector<int8_t> all;
        for (const RefFilter &f : c.fs) x.filter(0, f.len, f.order, f.dir), all.insert(all.end(), f.c.begin(), f.c.end());
        std::copy(all.begin(), all.end(), x.coef.begin());
        ASSERT_EQ(x.run(), c.status) << n;
        const std::vector<RefFilter> applied(c.fs.begin(), c.fs.begin() + c.applied);
        expectClose(x.coefs, refWindow(x.in, 49, off, std::min(c.maxSfb, 40), applied));
        for (int i = off[std::min(c.maxSfb, 40)]; i < 1024; ++i) ASSERT_EQ(x.coefs[i], x.in[i]) << n;
        if (c.maxSfb == 49 && n > 2) {  // bands 19..28 carry the order-0 filter
            for (int i = off[19]; i < off[29]; ++i) ASSERT_EQ(x.coefs[i], x.in[i]);
        }
        if (n == 0) {
            EXPECT_NE(x.coefs[671], x.in[671]);
        }
        if (n == 1) {  // the first output of each region is the input (empty history)
            EXPECT_EQ(x.coefs[off[29]], x.in[off[29]]);
            EXPECT_EQ(x.coefs[0], x.in[0]);
            EXPECT_NE(x.coefs[off[29] + 1], x.in[off[29] + 1]);
        }
        if (n == 2) {
            EXPECT_NE(x.coefs[off[29] + 3], x.in[off[29] + 3]);
        }
    }
}

TEST(DecodeTns, ShortWindowsConsumeCoefficientsInOrder) {
    Tns x;
    x.fl = 128, x.maxSfb = 14;
    const uint16_t *off = armACAAC_swbOffsetShortWindow[kSri48];
    std::vector<std::vector<RefFilter>> perWin(8);
    int used = 0;
    for (int w = 0; w < 8; ++w) {
        if (w == 6) continue;  // no filter; windows 0 and 4 have order 0
        const int order = w % 4, res = 3 + (w & 1);
        x.t.tnsCoefRes[w] = res;
        x.filter(w, 3 + w, order, w & 1);
        RefFilter f{3 + w, order, w & 1, res, {}};
        for (int i = 0; i < order; ++i) f.c.push_back(static_cast<int8_t>((w + i) % 7 - 3)), x.coef[used++] = f.c.back();
        perWin[w].push_back(f);
    }
    ASSERT_EQ(x.run(), 0);
    for (int w = 0; w < 8; ++w) {
        const std::vector<int32_t> win(x.in.begin() + 128 * w, x.in.begin() + 128 * (w + 1));
        const std::vector<int32_t> got(x.coefs.begin() + 128 * w, x.coefs.begin() + 128 * (w + 1));
        expectClose(got, refWindow(win, 14, off, 14, perWin[w]));
        if (w == 0 || w == 4 || w == 6) {
            EXPECT_EQ(got, win) << w;
        }
    }
    // maxSfb 0 still consumes coefficients: window 1 reads the third entry;
    // an order-0 filter consumes nothing.
    Tns y;
    y.fl = 128, y.maxSfb = 0, y.t.tnsCoefRes[0] = y.t.tnsCoefRes[1] = 4;
    y.filter(0, 5, 2), y.filter(1, 5, 1);
    y.coef = {1, 2, 8};
    EXPECT_EQ(y.run(), -153);
    EXPECT_EQ(y.coefs, y.in);
    y.coef = {8, 2, 1}, y.t.tnsOrder[0] = 0;
    EXPECT_EQ(y.run(), -153);
}

TEST(DecodeTns, Statuses) {
    struct Case { const char *what; void (*mutate)(Tns &); int32_t want; };
    const Case cases[] = {
        {"profile 2", [](Tns &x) { x.profile = 2; }, -5}, {"frame 960", [](Tns &x) { x.fl = 960; }, -5},
        {"sri 12", [](Tns &x) { x.sri = 12; }, -5}, {"sri -1", [](Tns &x) { x.sri = -1; }, -5},
        {"maxSfb 50", [](Tns &x) { x.maxSfb = 50; }, -5}, {"maxSfb -1", [](Tns &x) { x.maxSfb = -1; }, -5},
        {"4 long", [](Tns &x) { x.t.tnsNumFilters[0] = 4; }, -157}, {"-1", [](Tns &x) { x.t.tnsNumFilters[0] = -1; }, -157},
        {"2 short filters", [](Tns &x) { x.fl = 128, x.maxSfb = 14, x.t.tnsNumFilters[3] = 2; }, -157},
        {"res 2", [](Tns &x) { x.t.tnsCoefRes[0] = 2; }, -154}, {"len 50", [](Tns &x) { x.t.tnsLength[0] = 50; }, -156},
        {"len -1", [](Tns &x) { x.t.tnsLength[0] = -1; }, -156}, {"order 13", [](Tns &x) { x.t.tnsOrder[0] = 13; }, -155},
        {"order -1", [](Tns &x) { x.t.tnsOrder[0] = -1; }, -155}, {"dir 2", [](Tns &x) { x.t.tnsDirection[0] = 2; }, -152},
        {"dir -1", [](Tns &x) { x.t.tnsDirection[0] = -1; }, -152}, {"coef 8", [](Tns &x) { x.coef[1] = 8; }, -153},
        {"resolution unused", [](Tns &x) { x.t.tnsNumFilters[0] = 0, x.t.tnsCoefRes[0] = 9; }, 0},
        // Two faults at once: the first check in order decides.
        {"4 filters, res 2", [](Tns &x) { x.t.tnsNumFilters[0] = 4, x.t.tnsCoefRes[0] = 2; }, -157},
        {"res 2, len 50", [](Tns &x) { x.t.tnsCoefRes[0] = 2, x.t.tnsLength[0] = 50; }, -154},
        {"len 50, order 13", [](Tns &x) { x.t.tnsLength[0] = 50, x.t.tnsOrder[0] = 13; }, -156},
        {"order 13, dir 2", [](Tns &x) { x.t.tnsOrder[0] = 13, x.t.tnsDirection[0] = 2; }, -155},
        {"dir 2, coef 8", [](Tns &x) { x.t.tnsDirection[0] = 2, x.coef[1] = 8; }, -152}};
    for (const Case &c : cases) {
        Tns x;
        x.t.tnsCoefRes[0] = 4;
        x.filter(0, 10, 2);
        c.mutate(x);
        EXPECT_EQ(x.run(), c.want) << c.what;
        if (c.want != 0) {
            EXPECT_EQ(x.coefs, x.in) << c.what;
        }
    }
    Tns x;
    std::vector<int32_t> arr(8, 0);
    for (int which = 0; which < 7; ++which) {  // each pointer null in turn
        const int32_t *p[5] = {arr.data(), arr.data(), arr.data(), arr.data(), arr.data()};
        const int8_t *cf = which == 5 ? nullptr : x.coef.data();
        if (which < 5) p[which] = nullptr;
        EXPECT_EQ(omxACAAC_DecodeTNS_S32_I(which == 6 ? nullptr : x.coefs.data(), p[0], p[1], p[2], p[3], cf, p[4],
                                           10, 1, 3, 1024), -5) << which;
    }
}

}  // namespace
