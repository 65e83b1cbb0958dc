// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// Saturating and rounding arithmetic, the memory primitives and the
// fractional DSP emulation: one table of known values per family, at the
// limits and in between.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <iomanip>
#include <limits>
#include <random>
#include <vector>

#include "common/aacd_fix_cd.h"
#include "common/armCOMM.h"
#include "common/intrins.h"
#include "common/util2.h"

namespace {

using i128 = __int128;
constexpr int64_t kI64Max = INT64_MAX, kI64Min = INT64_MIN, kMax = INT32_MAX, kMin = INT32_MIN;

template <typename T>
T clampTo(i128 v) {
    if (v > std::numeric_limits<T>::max()) return std::numeric_limits<T>::max();
    return v < std::numeric_limits<T>::min() ? std::numeric_limits<T>::min() : static_cast<T>(v);
}
int32_t sat32(i128 v) { return clampTo<int32_t>(v); }

// Every conversion from double, given the value r that x rounds to (half away
// from zero, as trunc(x +- 0.5) in double): the saturating forms clamp r, the
// others clamp it to 64 or 32 bits, and the S16 form keeps the low 16 bits of
// the 32-bit value.
void checkConversions(double x, int64_t r) {
    SCOPED_TRACE(testing::Message() << std::setprecision(20) << x);
    const int32_t r32 = sat32(r);
    ASSERT_EQ(armRoundFloatToS64(x), r);
    ASSERT_EQ(armRoundFloatToS32(x), r32);
    ASSERT_EQ(armRoundFloatToS16(x), static_cast<int16_t>(r32 & 0xFFFF));
    ASSERT_EQ(armSatRoundFloatToS16(x), clampTo<int16_t>(r));
    ASSERT_EQ(armSatRoundFloatToS32(x), r32);
    ASSERT_EQ(armSatRoundFloatToU16(x), clampTo<uint16_t>(r));
    ASSERT_EQ(armSatRoundFloatToU32(x), clampTo<uint32_t>(r));
}

}  // namespace

TEST(Conversions, KnownValues) {
    const double inf = std::numeric_limits<double>::infinity(), nan = std::numeric_limits<double>::quiet_NaN();
    const std::pair<double, int64_t> known[] = {
        {0.5, 1}, {-2.5, -3}, {2.4999, 2}, {-0.4, 0}, {1.5, 2}, {-70000.5, -70001}, {70000.5, 70001}, {0.49999999999999994, 1} /* x + 0.5 rounds up */, {32768.0, 32768}, {-65537.2, -65537},
        {2147483647.5, 2147483648}, {-2147483648.4, -2147483648}, {4294967294.5, 4294967295},
        {4503599627370495.5, 4503599627370496}, {4503599627370497.0, 4503599627370498} /* the tie rounds to even */,
        {9223372036854774784.0, 9223372036854774784}, {9223372036854775808.0, kI64Max}, {-9223372036854775808.0, kI64Min},
        {inf, kI64Max}, {-inf, kI64Min}, {nan, 0}, {-nan, 0}};
    for (const auto &k : known) checkConversions(k.first, k.second);
    struct Div { int32_t num, den, q; };
    for (const Div d : {Div{7, 2, 4}, Div{-7, 2, -4}, Div{7, -2, -4}, Div{5, 3, 2}, Div{-1, 3, 0}, Div{kMin, -1, kMax},
                        Div{5, 0, kMax}, Div{-5, 0, kMin}, Div{0, 0, 0}})
        EXPECT_EQ(armIntDivAwayFromZero(d.num, d.den), d.q) << d.num << "/" << d.den;
}

TEST(Utilities, KnownValues) {
    for (int v = -32768; v <= 32767; ++v) ASSERT_EQ(armSignCheck(static_cast<int16_t>(v)), (v > 0) - (v < 0)) << v;
    EXPECT_TRUE(armClip(10, 5, 7) == 5 && armClip(10, 5, 3) == 10);  // upper bound tested first
    EXPECT_TRUE(armClip_F32(-1, 1, 0.25f) == 0.25f && armClip_F32(2, 1, 1.5f) == 1 && armClip_F32(2, 1, 0.5f) == 2);
    EXPECT_TRUE(armClip_F32(-1, 1, INFINITY) == 1 && armClip_F32(-1, 1, -INFINITY) == -1);
    int32_t p[3] = {3, 5, 9};
    do {
        EXPECT_EQ(armMedianOf3(p[0], p[1], p[2]), 5);
    } while (std::next_permutation(p, p + 3));
    EXPECT_TRUE(armLogSize(0) == 0 && armLogSize(1) == 1 && armLogSize(0xFFFF) == 16);
    uint8_t a[7] = {1, 2, 3, 4, 5, 6, 7}, b[7] = {10, 20, 30, 40, 50, 60, 70};
    EXPECT_EQ(armSwapElem(a, b, 5), 0);
    for (int32_t size : {0, -1, INT32_MIN}) EXPECT_EQ(armSwapElem(a, b, size), 0);
    EXPECT_TRUE(armSwapElem(nullptr, b, 3) == -5 && armSwapElem(a, nullptr, 3) == -5);
    EXPECT_EQ(std::vector<uint8_t>(a, a + 7), (std::vector<uint8_t>{10, 20, 30, 40, 50, 6, 7}));
    EXPECT_EQ(std::vector<uint8_t>(b, b + 7), (std::vector<uint8_t>{1, 2, 3, 4, 5, 60, 70}));

    struct Case { int32_t shift; uint32_t satBits; float v; uint32_t expect; };
    for (const Case c : {Case{0, 32, 1e10f, 0xFFFFFFFFu}, Case{0, 40, 1e10f, 0xFFFFFFFFu}, Case{200, 16, 3.0e38f, 0},
                         Case{128, 16, 3.0e38f, 1}, Case{-150, 16, 1.4e-45f, 2}, Case{-200, 16, 1e-30f, 65535},
                         Case{INT32_MAX, 16, 3.0e38f, 0}, Case{INT32_MIN, 16, 1.4e-45f, 65535}, Case{0, 16, -7.0f, 0},
                         Case{0, 16, INFINITY, 65535}, Case{0, 16, NAN, 0},
                         Case{2, 16, 10.0f, 3}, Case{-3, 16, 1.5f, 12}, Case{0, 8, 1000.0f, 255}, Case{0, 0, 7.0f, 0}})
        EXPECT_EQ(armShiftSat_F32(c.shift, c.satBits, c.v), c.expect) << c.shift << " " << c.v;
}

// ------------------------------------------------------------ integer arithmetic

namespace {
// Saturating arithmetic (armSat*) and the fractional DSP emulation (aacd_*),
// one result per call; an output argument must equal the return value.
enum class Op { Add, Sub, Add64, Mac, Shl, Shl64, Shr16, Mul16, Mac16, Mul32, Mpy, ImpyL, MpySl, MpyLstore, MpyLlFull,
                ImpyW, Lsl, Lsr, Asll, Asl16L, Asl16Acc, Asr16Acc, Msbs, Clb, Neg, Cmp, Sign, Or, And, Sfract, ShortInt,
                Long, Mvi, Saturate, MacR };
int64_t apply(Op op, int64_t a, int64_t b = 0, int64_t c = 0) {
    const auto a16 = static_cast<int16_t>(a), b16 = static_cast<int16_t>(b), c16 = static_cast<int16_t>(c);
    const auto a32 = static_cast<int32_t>(a), b32 = static_cast<int32_t>(b);
    int64_t acc = c;
    int32_t w = a32, o = 0;
    int16_t s = 0;
    switch (op) {
        case Op::Add: return armSatAdd_S32(a32, b32);
        case Op::Sub: return armSatSub_S32(a32, b32);
        case Op::Add64: return armSatAdd_S64(a, b);
        case Op::Mac: return armSatMac_S32(a32, b16, c16);
        case Op::Shl: return armSatRoundLeftShift_S32(a32, b32);
        case Op::Shl64: return armSatRoundLeftShift_S64(a, b32);
        case Op::Shr16: return armSatRoundRightShift_S32_S16(a32, b32);
        case Op::Mul16: return armSatMulS16S32_S32(a16, b32);
        case Op::Mac16: return armSatMac_S16S32_S32(a32, b32, c16);
        case Op::Mul32: return armSatMulS32S32_S32(a32, b32);
        case Op::Mpy: aacd_mpy(a16, b16, &acc); return acc;
        case Op::ImpyL: aacd_impyl_ss(a16, b16, &acc); return acc;
        case Op::MpySl: aacd_mpy_sl(a16, b32, &acc); return acc;
        case Op::MpyLstore: return aacd_mpy_lstore(a32, b32);
        case Op::MpyLlFull: aacd_mpy_ll_full(a32, b32, &acc); return acc;
        case Op::ImpyW: aacd_impyw_ss(a32, b32, &o); return o;
        case Op::Lsl: aacd_lsl(&w, b32); return w;
        case Op::Lsr: aacd_lsr(&w, b32); return w;
        case Op::Asll: aacd_asll_l(&w, b16); return w;
        case Op::Asl16L: aacd_asl16_l(&w); return w;
        case Op::Asl16Acc: acc = a; aacd_asl16_acc(&acc); return acc;
        case Op::Asr16Acc: acc = a; aacd_asr16_acc(&acc); return acc;
        case Op::Msbs: return aacd_get_acc_msbs(a, b32);
        case Op::Clb: return aacd_clb_l(a32);
        case Op::Neg: aacd_neg(&w); return w;
        case Op::Cmp: return aacd_cmp(a32, b32);
        case Op::Sign: return aacd_test_val(a32);
        case Op::Or: return aacd_or(a32, b32, &o) == o ? o : kI64Min;
        case Op::And: return aacd_and(a32, b32, &o) == o ? o : kI64Min;
        case Op::Sfract: return aacd_lfract2sfract(a32, &s) == s ? s : kI64Min;
        case Op::ShortInt: return aacd_lfract2shortint(a32);
        case Op::Long: return aacd_lfract2long(a32);
        case Op::Mvi: aacd_mvi2acc(a32, &acc); return acc;
        case Op::Saturate: acc = a; return aacd_saturate(0, &acc) == a ? acc : kI64Min;  // returns the old value
        case Op::MacR: aacd_macr_ss(a16, b16, &acc); return acc;
    }
    return 0;
}
}  // namespace

TEST(IntegerArithmetic, KnownValues) {
    struct Case { Op op; int64_t a, b, c, expect; };
    // Values the random comparison below cannot reach: extreme counts and operands.
    const Case cases[] = {
        // Rounding shifts: the rounding constant saturates, right shifts at
        // or beyond the width give 0, huge left shifts stop once saturated.
        {Op::Shl, kMax, -1, 0, 0x3FFFFFFF}, {Op::Shl, kMin, kMin, 0, 0}, {Op::Shl, -1, kMax, 0, kMin},
        {Op::Shl, 3, kMax, 0, kMax}, {Op::Shl, 0, kMax, 0, 0}, {Op::Shl64, kI64Max, -1, 0, kI64Max / 2},
        {Op::Shl64, -1, -200, 0, 0}, {Op::Shl64, kI64Min, kMin, 0, 0}, {Op::Shl64, -7, kMax, 0, kI64Min},
        {Op::Shl64, 7, kMax, 0, kI64Max}, {Op::Shr16, -3, kMin, 0, -32768}, {Op::Shr16, -3, kMax, 0, 0},
        {Op::Mul32, kMin, kMin, 0, 1 << 30}, {Op::Mul16, -32768, kMin, 0, 1 << 30},
        {Op::Mac16, -100, 0x40000019, 2, kMax - 100} /* the addend saturates, not the sum */,
        {Op::Mpy, -32768, -32768, 0, 0x7FFFFFFF}, {Op::ImpyL, -32768, -32768, 0, 0x3FFFFFFF}, {Op::MacR, 100, 100, 0, 0},
        {Op::MacR, 32767, 32767, kI64Max, 0} /* the sum wraps; the result is 0 regardless */,
        {Op::MpySl, 1, 1 << 30, 0, 1} /* exact halves round up */, {Op::MpyLstore, -1, 1 << 30, 0, 0},
        {Op::MpySl, -32768, kMin, 0, 32768}, {Op::MpyLlFull, kMin, kMin, 0, 1LL << 31}, {Op::ImpyW, kMin, kMin, 0, 0},
        {Op::Clb, kMin, 0, 0, 0}, {Op::ShortInt, -1, 0, 0, 0xFFFF}, {Op::Long, -12345, 0, 0, -12345},
        {Op::Mvi, kMin, 0, 0, kMin}, {Op::Saturate, 1LL << 40, 0, 0, kMax}, {Op::Saturate, -(1LL << 40), 0, 0, kMin},
        {Op::Sfract, 0x12345678, 0, 0, 0x1234}, {Op::Sfract, kMin, 0, 0, -32768}, {Op::Or, kMin, 1, 0, kMin + 1},
        {Op::And, 0x0F0F, 0x00FF, 0, 0x000F}, {Op::Neg, 5, 0, 0, -5}, {Op::Neg, kMin, 0, 0, kMin}, {Op::Cmp, 1, 2, 0, -1},
        {Op::Cmp, 2, 2, 0, 0}, {Op::Cmp, kMax, kMin, 0, 1}, {Op::Sign, kMin, 0, 0, -1}, {Op::Sign, 0, 0, 0, 0},
        {Op::Sign, 7, 0, 0, 1},
        // Shifts take every count: beyond the width logical and left shifts give 0, arithmetic ones the sign.
        {Op::Lsl, -1, kMax, 0, 0}, {Op::Lsl, -1, kMin, 0, 0}, {Op::Lsr, 1, -31, 0, kMin}, {Op::Asll, -5, -32768, 0, -1},
        {Op::Asll, -1, 32767, 0, 0}, {Op::Asl16L, 0x12348765, 0, 0, static_cast<int32_t>(0x87650000u)},
        {Op::Msbs, -1, kMax, 0, -1}, {Op::Msbs, kI64Max, 1000, 0, 0},
        // Values in range: exact results, rounding shifts round half up.
        {Op::Add, kMax, 1, 0, kMax}, {Op::Add, kMin, -1, 0, kMin}, {Op::Add, 5, -7, 0, -2}, {Op::Sub, kMin, 1, 0, kMin},
        {Op::Sub, kMax, -1, 0, kMax}, {Op::Sub, 3, 5, 0, -2}, {Op::Add64, kI64Max, 1, 0, kI64Max},
        {Op::Add64, kI64Min, -1, 0, kI64Min}, {Op::Add64, 1LL << 40, -3, 0, (1LL << 40) - 3}, {Op::Mac, kMax, 2, 3, kMax},
        {Op::Mac, kMin, 2, -3, kMin}, {Op::Mac, 10, -3, 4, -2}, {Op::Shl, 5, 2, 0, 20}, {Op::Shl, 5, -1, 0, 3},
        {Op::Shl, -5, -1, 0, -2}, {Op::Shl, 1 << 30, 1, 0, kMax}, {Op::Shl, -(1 << 30), 2, 0, kMin},
        {Op::Shl64, 3, 1, 0, 6}, {Op::Shl64, -7, -2, 0, -2}, {Op::Shl64, 1LL << 62, 1, 0, kI64Max},
        {Op::Shr16, 0x12345, 4, 0, 0x1234}, {Op::Shr16, 0x7FFFFF, 4, 0, 32767}, {Op::Shr16, -0x7FFFFF, 4, 0, -32768},
        {Op::Shr16, 7, -2, 0, 28}, {Op::Mul16, 3, 0x10000, 0, 3}, {Op::Mul16, -1, 1, 0, -1},
        {Op::Mac16, 1, 0x20000, 3, 0x60001}, {Op::Mac16, kMax, 0x10000, 1, kMax}, {Op::Mul32, 0x10000, 0x10000, 0, 1},
        {Op::Mul32, kMax, kMax, 0, 1073741821}, {Op::Mul32, -0x10000, 0x30000, 0, -3}, {Op::Mpy, 3, -4, 0, -24},
        {Op::ImpyL, 3, -4, 0, -12}, {Op::MpySl, 2, 1 << 30, 0, 1}, {Op::MpySl, 3, 1 << 30, 0, 2},
        {Op::MpyLstore, 1 << 30, 1 << 30, 0, 1 << 29}, {Op::MpyLstore, kMin, kMin, 0, kMin},
        {Op::MpyLlFull, 1 << 30, 4, 0, 2}, {Op::MpyLlFull, -3, 1 << 30, 0, -2}, {Op::ImpyW, 0x30000, 0x20000, 0, 0x60000},
        {Op::ImpyW, 0x1FFFF, 0x1FFFF, 0, 0x10000}, {Op::Clb, 1, 0, 0, 30}, {Op::Clb, -1, 0, 0, 31},
        {Op::Clb, 0x40000000, 0, 0, 0}, {Op::Clb, -3, 0, 0, 29}, {Op::Lsl, 1, 4, 0, 16}, {Op::Lsl, 16, -4, 0, 1},
        {Op::Lsr, -1, 4, 0, 0x0FFFFFFF}, {Op::Lsr, 1, -4, 0, 16}, {Op::Asll, -16, -2, 0, -4}, {Op::Asll, 1, 3, 0, 8},
        {Op::Msbs, -1000, 3, 0, -125}, {Op::Msbs, 1000, 0, 0, 1000}, {Op::Asl16Acc, -1, 0, 0, -65536},
        {Op::Asr16Acc, -65537, 0, 0, -2}, {Op::Asr16Acc, 1LL << 40, 0, 0, 1LL << 24},
    };
    for (const Case &c : cases)
        EXPECT_EQ(apply(c.op, c.a, c.b, c.c), c.expect) << static_cast<int>(c.op) << ": " << c.a << " " << c.b << " " << c.c;
    // aacd_norm: with the upper half only sign, left until bits 31 and 30
    // differ, then right by 2; otherwise right until they differ, then one more.
    struct Norm { int64_t acc; int32_t shift; int64_t after; };
    // -2^32 never has bits 31 and 30 differ: everything is shifted out.
    for (const Norm n : {Norm{0, 0, 0}, Norm{1, -28, 1 << 28}, Norm{kI64Max, 33, (1LL << 30) - 1},
                         Norm{kI64Min, 33, -(1LL << 30)}, Norm{-(1LL << 32), -60, 0}}) {
        int64_t acc = n.acc;
        EXPECT_EQ(aacd_norm(&acc), n.shift) << n.acc;
        EXPECT_EQ(acc, n.after) << n.acc;
    }
}

// ------------------------------------------------------------ memory and block normalisation

// Copies run byte by byte from the last byte down: an overlap upward moves
// the bytes, one downward smears the last one.
TEST(Memory, CopySetAndWordClears) {
    struct Case { int dst, src, n; std::vector<uint8_t> want; };
    for (const Case &c : {Case{1, 0, 4, {1, 1, 2, 3, 4, 6, 7, 8}}, Case{0, 1, 4, {5, 5, 5, 5, 5, 6, 7, 8}},
                          Case{4, 0, 3, {1, 2, 3, 4, 1, 2, 3, 8}}, Case{0, 2, 0, {1, 2, 3, 4, 5, 6, 7, 8}},
                          Case{0, 2, -1, {1, 2, 3, 4, 5, 6, 7, 8}}}) {
        uint8_t a[8] = {1, 2, 3, 4, 5, 6, 7, 8};
        myMemCopy(a + c.dst, a + c.src, c.n);
        EXPECT_EQ(std::vector<uint8_t>(a, a + 8), c.want) << c.dst << " " << c.src << " " << c.n;
    }
    uint8_t z[16];
    std::memset(z, 0x11, sizeof z);
    myMemSet(z, 0, -3);
    myMemSet(z, 0, 0);
    myMemSet(z + 2, 0x1AB, 5);  // only the low byte is stored
    EXPECT_EQ(std::vector<uint8_t>(z, z + 8), (std::vector<uint8_t>{0x11, 0x11, 0xAB, 0xAB, 0xAB, 0xAB, 0xAB, 0x11}));
    for (auto clear : {AACD_fltclr, AACD_lfractclr}) {
        std::memset(z, 0x11, sizeof z);
        clear(z, 0);
        clear(z, -2);
        clear(z + 4, 2);  // exactly 8 bytes
        for (int i = 0; i < 16; ++i) EXPECT_EQ(z[i], i >= 4 && i < 12 ? 0 : 0x11) << i;
    }
}

TEST(BlockNorm, KnownValuesAndRandomArrays) {
    EXPECT_TRUE(cf_abs_lf(5) == 5 && cf_abs_lf(-1) == 2 && cf_abs_lf(-(kMax - 1)) == kMax);  // 1 - x for negatives
    EXPECT_TRUE(cf_max_lf(kMin, -1) == -1 && int2lfract(-77) == -77);
    struct Norm { int32_t x, n, after; };
    for (const Norm c : {Norm{0, 0, 0}, Norm{1, 30, 1 << 30}, Norm{3, 29, 0x60000000}, Norm{kMax, 0, kMax}}) {
        int32_t x = c.x;
        EXPECT_EQ(cf_norm(&x), c.n) << c.x;
        EXPECT_EQ(x, c.after) << c.x;
    }
    int32_t one[1] = {5};
    EXPECT_TRUE(norm_lfarray(one, 0) == 0 && norm_lfarray(one, -1) == 0 && one[0] == 5);
    // Every element shifted left by 30 - topBit(max(x, 1 - x)): 6 for {3, -5, 1}.
    int32_t a[3] = {3, -5, 1};
    EXPECT_EQ(norm_lf(a, 3), 28);
    EXPECT_EQ(norm_lfarray(a, 3), 28);
    EXPECT_EQ(std::vector<int32_t>(a, a + 3), (std::vector<int32_t>{3 << 28, -5 * (1 << 28), 1 << 28}));
    int32_t z[2] = {0, 0};
    EXPECT_EQ(norm_lfarray(z, 2), 0);
}
