// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// Saturating and rounding arithmetic, the memory primitives and the
// fractional DSP emulation: one table of known values per family, at the
// limits, just inside and just outside them.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <iomanip>
#include <limits>
#include <vector>

#include "common/aacd_fix_cd.h"
#include "common/armCOMM.h"
#include "common/intrins.h"
#include "common/util2.h"

namespace {

constexpr int64_t kI64Max = INT64_MAX, kI64Min = INT64_MIN, kMax = INT32_MAX, kMin = INT32_MIN;
using Bytes = std::vector<uint8_t>;

template <typename T>
T clampTo(int64_t v) {
    return static_cast<T>(std::clamp<int64_t>(v, std::numeric_limits<T>::min(), std::numeric_limits<T>::max()));
}

// Every conversion from double, given the value r that x rounds to (half away
// from zero): the saturating forms clamp r, the others clamp it to 64 or 32
// bits, and the S16 form keeps the low 16 bits of the 32-bit value.
TEST(Conversions, KnownValues) {
    const double inf = std::numeric_limits<double>::infinity(), nan = std::numeric_limits<double>::quiet_NaN();
    const std::pair<double, int64_t> known[] = {
        {0.5, 1}, {-2.5, -3}, {2.4999, 2}, {-0.4, 0}, {1.5, 2}, {-70000.5, -70001}, {70000.5, 70001}, {0.49999999999999994, 1} /* x + 0.5 rounds up */,
        {32767.4, 32767}, {32767.5, 32768}, {-32768.4, -32768}, {-32768.5, -32769}, {65534.6, 65535}, {65535.5, 65536}, {-0.6, -1},
        {2147483646.5, 2147483647}, {2147483647.5, 2147483648}, {-2147483648.4, -2147483648}, {-2147483648.5, -2147483649},
        {4294967294.5, 4294967295}, {4294967295.5, 4294967296}, {4503599627370497.0, 4503599627370498} /* the tie rounds to even */,
        {9223372036854774784.0, 9223372036854774784}, {9223372036854775808.0, kI64Max}, {-9223372036854775808.0, kI64Min},
        {inf, kI64Max}, {-inf, kI64Min}, {nan, 0}, {-nan, 0}};
    for (const auto &[x, r] : known) {
        const int32_t r32 = clampTo<int32_t>(r);
        EXPECT_TRUE(armRoundFloatToS64(x) == r && armRoundFloatToS32(x) == r32 && armSatRoundFloatToS32(x) == r32 &&
                    armRoundFloatToS16(x) == static_cast<int16_t>(r32 & 0xFFFF) && armSatRoundFloatToS16(x) == clampTo<int16_t>(r) &&
                    armSatRoundFloatToU16(x) == clampTo<uint16_t>(r) && armSatRoundFloatToU32(x) == clampTo<uint32_t>(r))
            << std::setprecision(20) << x;
    }
    struct Case { int32_t shift; uint32_t satBits; float v; uint32_t expect; };
    for (const Case c : {Case{0, 32, 1e10f, 0xFFFFFFFFu}, Case{0, 40, 1e10f, 0xFFFFFFFFu}, Case{200, 16, 3.0e38f, 0}, Case{128, 16, 3.0e38f, 1},
                         Case{-150, 16, 1.4e-45f, 2}, Case{-200, 16, 1e-30f, 65535}, Case{INT32_MAX, 16, 3.0e38f, 0}, Case{INT32_MIN, 16, 1.4e-45f, 65535},
                         Case{0, 16, -7.0f, 0}, Case{0, 16, INFINITY, 65535}, Case{0, 16, NAN, 0}, Case{0, 31, 4294967040.0f, 0x7FFFFFFFu},
                         Case{0, 32, 4294967040.0f, 4294967040u}, Case{0, 16, 65534.4f, 65534}, Case{2, 16, 10.0f, 3}, Case{-3, 16, 1.5f, 12},
                         Case{0, 8, 1000.0f, 255}, Case{0, 0, 7.0f, 0}, Case{401, 16, 3.0e38f, 0}, Case{-401, 16, 1.4e-45f, 65535}})
        EXPECT_EQ(armShiftSat_F32(c.shift, c.satBits, c.v), c.expect) << c.shift << " " << c.satBits << " " << c.v;
    EXPECT_TRUE(armClip_F32(-1, 1, 0.25f) == 0.25f && armClip_F32(2, 1, 1.5f) == 1 && armClip_F32(2, 1, 0.5f) == 2 && armClip_F32(-1, 1, -INFINITY) == -1);
}

// One function per row group with its known values {a, b, c, result}; an
// output argument must equal the return value where there are both.
using Fn = int64_t (*)(int64_t, int64_t, int64_t);
int32_t I(int64_t v) { return static_cast<int32_t>(v); }
int16_t H(int64_t v) { return static_cast<int16_t>(v); }
#define OP(...) +[](int64_t a, int64_t b, int64_t c) -> int64_t { (void)a, (void)b, (void)c; __VA_ARGS__; }

TEST(IntegerArithmetic, KnownValues) {
    struct Rows { const char *name; Fn f; std::vector<std::array<int64_t, 4>> rows; };
    const Rows table[] = {
        {"satAdd", OP(return armSatAdd_S32(I(a), I(b))),
         {{kMax, 1, 0, kMax}, {kMin, -1, 0, kMin}, {5, -7, 0, -2}, {kMax, 0, 0, kMax}, {kMin, kMin, 0, kMin}, {kMax - 1, 1, 0, kMax}}},
        {"satSub", OP(return armSatSub_S32(I(a), I(b))),
         {{kMin, 1, 0, kMin}, {kMax, -1, 0, kMax}, {3, 5, 0, -2}, {-1, kMax, 0, kMin}, {0, kMin, 0, kMax}, {kMin, 0, 0, kMin}}},
        {"satAdd64", OP(return armSatAdd_S64(a, b)), {{kI64Max, 1, 0, kI64Max}, {kI64Min, -1, 0, kI64Min}, {1LL << 40, -3, 0, (1LL << 40) - 3},
         {kI64Min, kI64Min, 0, kI64Min}, {-1, kI64Min, 0, kI64Min}, {kI64Max, kI64Max, 0, kI64Max}, {kI64Max, kI64Min, 0, -1}, {0, kI64Min, 0, kI64Min}}},
        {"satMac", OP(return armSatMac_S32(I(a), H(b), H(c))), {{kMax, 2, 3, kMax}, {kMin, 2, -3, kMin}, {10, -3, 4, -2}}},
        {"shl", OP(return armSatRoundLeftShift_S32(I(a), I(b))),
         {{kMax, -1, 0, 0x3FFFFFFF}, {kMin, kMin, 0, 0}, {-1, kMax, 0, kMin}, {3, kMax, 0, kMax}, {0, kMax, 0, 0}, {5, 2, 0, 20}, {5, -1, 0, 3},
          {-5, -1, 0, -2}, {1 << 30, 1, 0, kMax}, {-(1 << 30), 2, 0, kMin}, {kMax, -31, 0, 0}, {kMin, -31, 0, -1}, {kMin, -32, 0, 0}, {kMin, 1, 0, kMin}}},
        {"shl64", OP(return armSatRoundLeftShift_S64(a, I(b))), {{kI64Max, -1, 0, kI64Max / 2}, {-1, -200, 0, 0}, {kI64Min, kMin, 0, 0},
         {-7, kMax, 0, kI64Min}, {7, kMax, 0, kI64Max}, {3, 1, 0, 6}, {-7, -2, 0, -2}, {1LL << 62, 1, 0, kI64Max}, {kI64Min, -63, 0, -1}, {kI64Min, -64, 0, 0}}},
        {"shr16", OP(return armSatRoundRightShift_S32_S16(I(a), I(b))), {{-3, kMin, 0, -32768}, {-3, kMax, 0, 0}, {0x12345, 4, 0, 0x1234},
         {0x7FFFFF, 4, 0, 32767}, {-0x7FFFFF, 4, 0, -32768}, {7, -2, 0, 28}, {0x7FFF7, 4, 0, 32767}, {-0x80008, 4, 0, -32768}, {-0x80009, 4, 0, -32768}}},
        {"mul16", OP(return armSatMulS16S32_S32(H(a), I(b))),
         {{-32768, kMin, 0, 1 << 30}, {3, 0x10000, 0, 3}, {-1, 1, 0, -1}, {0x4000, 0xFFFF, 0, 16383}, {-32768, kMax, 0, -(1 << 30)}}},
        {"mac16", OP(return armSatMac_S16S32_S32(I(a), I(b), H(c))),  // the addend saturates, not the sum
         {{-100, 0x40000019, 2, kMax - 100}, {1, 0x20000, 3, 0x60001}, {kMax, 0x10000, 1, kMax}, {100, 0x7FFF0000, -2, kMin + 100},
          {0, 0x7FFF0000, 1, 0x7FFF0000}, {0, kMin + 1, 1, kMin + 1}}},
        {"mul32", OP(return armSatMulS32S32_S32(I(a), I(b))), {{kMin, kMin, 0, 1 << 30}, {0x10000, 0x10000, 0, 1}, {kMax, kMax, 0, 1073741821},
         {-0x10000, 0x30000, 0, -3}, {0x18000, 0x28000, 0, 3}, {0x7FFF8000, 0x10000, 0, 0x7FFF}}},
        {"div", OP(return armIntDivAwayFromZero(I(a), I(b))), {{7, 2, 0, 4}, {-7, 2, 0, -4}, {7, -2, 0, -4}, {5, 3, 0, 2}, {-1, 3, 0, 0},
         {kMin, -1, 0, kMax}, {5, 0, 0, kMax}, {-5, 0, 0, kMin}, {0, 0, 0, 0}, {kMin, 1, 0, kMin}, {1, 2, 0, 1}, {-1, 2, 0, -1}}},
        {"clip", OP(return armClip(I(a), I(b), I(c))),  // the upper bound is tested first
         {{10, 5, 7, 5}, {10, 5, 3, 10}, {-3, 4, -4, -3}, {-3, 4, -3, -3}, {-3, 4, 4, 4}, {-3, 4, 5, 4}}},
        {"median", OP(return armMedianOf3(I(a), I(b), I(c))),
         {{3, 5, 9, 5}, {3, 9, 5, 5}, {5, 3, 9, 5}, {5, 9, 3, 5}, {9, 3, 5, 5}, {9, 5, 3, 5}, {4, 4, 1, 4}, {1, 4, 4, 4}, {4, 1, 4, 4}}},
        {"logSize", OP(return armLogSize(static_cast<uint16_t>(a))), {{0, 0, 0, 0}, {1, 0, 0, 1}, {0x8000, 0, 0, 16}, {0x7FFF, 0, 0, 15}}},
        {"mpy", OP(aacd_mpy(H(a), H(b), &c); return c), {{-32768, -32768, 0, 0x7FFFFFFF}, {3, -4, 0, -24}, {-32768, 32767, 0, -2147418112}}},
        {"impyl", OP(aacd_impyl_ss(H(a), H(b), &c); return c), {{-32768, -32768, 0, 0x3FFFFFFF}, {3, -4, 0, -12}}},
        {"mpy_sl", OP(aacd_mpy_sl(H(a), I(b), &c); return c), {{1, 1 << 30, 0, 1}, {-32768, kMin, 0, 32768}, {2, 1 << 30, 0, 1}, {3, 1 << 30, 0, 2}}},
        {"mpy_lstore", OP(return aacd_mpy_lstore(I(a), I(b))), {{-1, 1 << 30, 0, 0}, {1 << 30, 1 << 30, 0, 1 << 29}, {kMin, kMin, 0, kMin}, {3, 1 << 30, 0, 2}}},
        {"mpy_ll_full", OP(aacd_mpy_ll_full(I(a), I(b), &c); return c), {{kMin, kMin, 0, 1LL << 31}, {1 << 30, 4, 0, 2}, {-3, 1 << 30, 0, -2}}},
        {"impyw", OP(int32_t o = 0; aacd_impyw_ss(I(a), I(b), &o); return o), {{kMin, kMin, 0, 0}, {0x30000, 0x20000, 0, 0x60000}, {0x1FFFF, 0x1FFFF, 0, 0x10000}}},
        {"macr", OP(aacd_macr_ss(H(a), H(b), &c); return c), {{100, 100, 0, 0}, {32767, 32767, kI64Max, 0}}},
        {"lsl", OP(int32_t w = I(a); aacd_lsl(&w, I(b)); return w),
         {{-1, kMax, 0, 0}, {-1, kMin, 0, 0}, {1, 4, 0, 16}, {16, -4, 0, 1}, {1, 31, 0, kMin}, {1, 32, 0, 0}, {kMin, -31, 0, 1}}},
        {"lsr", OP(int32_t w = I(a); aacd_lsr(&w, I(b)); return w),
         {{1, -31, 0, kMin}, {-1, 4, 0, 0x0FFFFFFF}, {1, -4, 0, 16}, {kMin, 31, 0, 1}, {kMin, 32, 0, 0}, {1, -32, 0, 0}}},
        {"asll", OP(int32_t w = I(a); aacd_asll_l(&w, H(b)); return w),
         {{-5, -32768, 0, -1}, {-1, 32767, 0, 0}, {-16, -2, 0, -4}, {1, 3, 0, 8}, {kMin, -30, 0, -2}, {kMin, -31, 0, -1}, {1, 31, 0, kMin}}},
        {"asl16", OP(int32_t w = I(a); aacd_asl16_l(&w); aacd_asl16_acc(&b); aacd_asr16_acc(&c); return w + b + c),
         {{0x12348765, -1, -65537, static_cast<int32_t>(0x87650000u) - 65536 - 2}, {0, 0x12345, 1LL << 40, 0x123450000LL + (1LL << 24)}}},
        {"msbs", OP(return aacd_get_acc_msbs(a, I(b))), {{-1, kMax, 0, -1}, {kI64Max, 1000, 0, 0}, {-1000, 3, 0, -125}, {1000, 0, 0, 1000},
         {1000, 1, 0, 500}, {kI64Min, 62, 0, -2}, {kI64Min, 63, 0, -1}, {kI64Max, 62, 0, 1}}},
        {"clb", OP(return aacd_clb_l(I(a))), {{kMin, 0, 0, 0}, {1, 0, 0, 30}, {-1, 0, 0, 31}, {0, 0, 0, 31}, {0x40000000, 0, 0, 0}, {-3, 0, 0, 29}}},
        {"neg", OP(int32_t w = I(a); aacd_neg(&w); return w), {{5, 0, 0, -5}, {kMin, 0, 0, kMin}}},
        {"cmp", OP(return aacd_cmp(I(a), I(b)) * 10 + aacd_test_val(I(a))), {{1, 2, 0, -9}, {2, 2, 0, 1}, {kMax, kMin, 0, 11}, {kMin, 0, 0, -11}, {0, 0, 0, 0},
         {-1, -1, 0, -1}}},
        {"or_and", OP(int32_t o = 0, p = 0; return aacd_or(I(a), I(b), &o) == o && aacd_and(I(a), I(b), &p) == p ? o * 65536LL + p : 0),
         {{0x0F0F, 0x00FF, 0, 0x0FFF000FLL}}},
        {"sfract", OP(int16_t s = 0; return aacd_lfract2sfract(I(a), &s) == s ? s : kI64Min), {{0x12345678, 0, 0, 0x1234}, {kMin, 0, 0, -32768}}},
        {"moves", OP(aacd_mvi2acc(I(a), &c); return c + aacd_lfract2long(I(b)) + int2lfract(I(b)) + aacd_lfract2shortint(-1)),
         {{kMin, -7, 5, kMin - 14 + 0xFFFF}}},
        {"saturate", OP(return aacd_saturate(0, &a) == b ? a : kI64Min),  // returns the old value
         {{1LL << 40, 1LL << 40, 0, kMax}, {-(1LL << 40), -(1LL << 40), 0, kMin}, {kMax, kMax, 0, kMax}, {kMin, kMin, 0, kMin},
          {kMax + 1LL, kMax + 1LL, 0, kMax}, {kMin - 1LL, kMin - 1LL, 0, kMin}}},
        // aacd_norm: with the upper half only sign, left until bits 31 and 30 differ, then right by 2; otherwise right until they
        // differ, then one more.  -2^32 never has bits 31 and 30 differ: everything is shifted out.  {acc, count, acc after}
        {"norm", OP(return aacd_norm(&a) == b ? a : kI64Min), {{0, 0, 0, 0}, {1, -28, 0, 1 << 28}, {kI64Max, 33, 0, (1LL << 30) - 1},
         {kI64Min, 33, 0, -(1LL << 30)}, {-(1LL << 32), -60, 0, 0}, {1LL << 32, 2, 0, 1LL << 30}, {-1, -29, 0, -(1LL << 29)}, {1LL << 30, 2, 0, 1LL << 28}}},
        {"cf_norm", OP(int32_t x = I(a); return cf_norm(&x) == b ? x : kI64Min),
         {{0, 0, 0, 0}, {1, 30, 0, 1 << 30}, {3, 29, 0, 0x60000000}, {kMax, 0, 0, kMax}, {0x3FFFFFFF, 1, 0, 0x7FFFFFFE}, {0x40000000, 0, 0, 0x40000000}}},
        {"cf_abs_max", OP(return cf_abs_lf(I(a)) * 4294967296LL + cf_max_lf(I(b), I(c))),  // abs: 1 - x for negatives
         {{5, kMin, -1, 5 * 4294967296LL - 1}, {0, 3, 2, 3}, {-1, 2, 3, 2 * 4294967296LL + 3}, {-(kMax - 1), 0, 0, kMax * 4294967296LL}}},
    };
    for (const Rows &t : table)
        for (const auto &r : t.rows) EXPECT_EQ(t.f(r[0], r[1], r[2]), r[3]) << t.name << ": " << r[0] << " " << r[1] << " " << r[2];
    for (int v = -32768; v <= 32767; ++v) ASSERT_EQ(armSignCheck(static_cast<int16_t>(v)), (v > 0) - (v < 0)) << v;
}

// Copies run byte by byte from the last byte down: an overlap upward moves
// the bytes, one downward smears the last one.  Sets store the low byte;
// word clears take 4 bytes a word; block normalisation shifts every element
// left by 30 - topBit(max(x, 1 - x)).
TEST(Memory, CopySetClearSwapAndBlockNorm) {
    struct Case { int dst, src, n; Bytes want; };
    for (const Case &c : {Case{1, 0, 4, {1, 1, 2, 3, 4, 6, 7, 8}}, Case{0, 1, 4, {5, 5, 5, 5, 5, 6, 7, 8}}, Case{4, 0, 3, {1, 2, 3, 4, 1, 2, 3, 8}},
                          Case{0, 2, 0, {1, 2, 3, 4, 5, 6, 7, 8}}, Case{0, 2, -1, {1, 2, 3, 4, 5, 6, 7, 8}}, Case{1, 3, 1, {1, 4, 3, 4, 5, 6, 7, 8}},
                          Case{0, 3, 3, {4, 5, 6, 4, 5, 6, 7, 8}}, Case{0, 2, 3, {5, 4, 5, 4, 5, 6, 7, 8}}}) {
        uint8_t a[8] = {1, 2, 3, 4, 5, 6, 7, 8};
        myMemCopy(a + c.dst, a + c.src, c.n);
        EXPECT_EQ(Bytes(a, a + 8), c.want) << c.dst << " " << c.src << " " << c.n;
    }
    uint8_t z[16];
    std::memset(z, 0x11, sizeof z);
    myMemSet(z, 0, -3), myMemSet(z, 0, 0), myMemSet(z + 2, 0x1AB, 5), myMemSet(z + 9, 0x22, 1);
    EXPECT_EQ(Bytes(z, z + 11), (Bytes{0x11, 0x11, 0xAB, 0xAB, 0xAB, 0xAB, 0xAB, 0x11, 0x11, 0x22, 0x11}));
    for (auto clear : {AACD_fltclr, AACD_lfractclr}) {
        std::memset(z, 0x11, sizeof z);
        clear(z, 0), clear(z, -2), clear(z + 4, 2);
        EXPECT_EQ(Bytes(z, z + 16), (Bytes{0x11, 0x11, 0x11, 0x11, 0, 0, 0, 0, 0, 0, 0, 0, 0x11, 0x11, 0x11, 0x11}));
    }
    uint8_t a[7] = {1, 2, 3, 4, 5, 6, 7}, b[7] = {10, 20, 30, 40, 50, 60, 70};
    EXPECT_TRUE(armSwapElem(a, b, 5) == 0 && armSwapElem(a, b, 0) == 0 && armSwapElem(a, b, INT32_MIN) == 0);
    EXPECT_TRUE(armSwapElem(nullptr, b, 3) == -5 && armSwapElem(a, nullptr, 3) == -5);
    EXPECT_TRUE(Bytes(a, a + 7) == (Bytes{10, 20, 30, 40, 50, 6, 7}) && Bytes(b, b + 7) == (Bytes{1, 2, 3, 4, 5, 60, 70}));
    int32_t one[1] = {5}, x[3] = {3, -5, 1}, z2[2] = {0, 0}, big[2] = {1, 0x40000000};
    EXPECT_TRUE(norm_lfarray(one, 0) == 0 && norm_lfarray(one, -1) == 0 && one[0] == 5 && norm_lf(x, 3) == 28 && norm_lfarray(x, 3) == 28);
    EXPECT_EQ(std::vector<int32_t>(x, x + 3), (std::vector<int32_t>{3 << 28, -5 * (1 << 28), 1 << 28}));
    EXPECT_TRUE(norm_lfarray(z2, 2) == 0 && norm_lf(big, 1) == 30 && norm_lf(big, 2) == 0);
}

}  // namespace
