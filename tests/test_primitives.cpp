// Saturating and rounding arithmetic, the memory primitives and the
// fractional DSP emulation.  Per family: known values at the limits, and
// random inputs against exact 128-bit reference arithmetic written here.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
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
// floor(num / 2^k) by division with a correction, not by shifting.
int64_t floorDiv(i128 num, int k) {
    const i128 d = i128{1} << k;
    return static_cast<int64_t>(num / d - ((num % d != 0 && num < 0) ? 1 : 0));
}
int32_t low32(i128 v) { return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(v))); }
// Number of leading bits equal to the sign bit of a 32-bit pattern.
int signBits(uint32_t x) {
    int n = 0;
    for (int b = 31; b >= 0 && ((x >> b) & 1u) == (x >> 31); --b) ++n;
    return n;
}

// Exact rounding shift of the saturating shift family: left shifts clamp the
// exact product, right shifts by n add 2^(n-1) with saturation below the
// width and exactly at or beyond it.
template <typename T>
T refRoundShift(T v, int32_t shift) {
    constexpr int W = std::numeric_limits<T>::digits + 1;
    if (shift >= 0) return clampTo<T>(i128{v} * (i128{1} << std::min(shift, 64)));
    const int n = std::min(-shift, 120);
    return static_cast<T>(floorDiv((n < W ? clampTo<T>(i128{v} + (i128{1} << (n - 1))) : i128{v} + (i128{1} << (n - 1))), n));
}

std::mt19937 rng(7);
int64_t rnd64() { return static_cast<int64_t>((uint64_t{rng()} << 32) | rng()); }
// Random values with a random number of significant bits.
int32_t rndScaled32() { return static_cast<int32_t>(rng()) >> (rng() % 32); }
int64_t rndScaled64() { return rnd64() >> (rng() % 64); }

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

TEST(Conversions, KnownValuesAndRandomAgainstIntegerRounding) {
    const double inf = std::numeric_limits<double>::infinity(), nan = std::numeric_limits<double>::quiet_NaN();
    const std::pair<double, int64_t> known[] = {
        {0.5, 1}, {-2.5, -3}, {0.49999999999999994, 1} /* x + 0.5 rounds up */, {32768.0, 32768}, {-65537.2, -65537},
        {2147483647.5, 2147483648}, {-2147483648.4, -2147483648}, {4294967294.5, 4294967295},
        {4503599627370495.5, 4503599627370496}, {4503599627370497.0, 4503599627370498} /* the tie rounds to even */,
        {9223372036854774784.0, 9223372036854774784}, {9223372036854775808.0, kI64Max}, {-9223372036854775808.0, kI64Min},
        {inf, kI64Max}, {-inf, kI64Min}, {nan, 0}, {-nan, 0}};
    for (const auto &k : known) checkConversions(k.first, k.second);
    // x = m / 2^k with at most 11 fractional bits and |x| < 2^51, where x +- 0.5 is exact.
    for (int i = 0; i < 50000; ++i) {
        const int k = static_cast<int>(rng() % 12);
        const int64_t m = rndScaled64() >> 12, mag = m < 0 ? -m : m;
        const int64_t r = (k == 0 ? mag : (mag + (int64_t{1} << (k - 1))) >> k) * (m < 0 ? -1 : 1);
        checkConversions(std::ldexp(static_cast<double>(m), -k), r);
    }
    struct Div { int32_t num, den, q; };
    for (const Div d : {Div{7, 2, 4}, Div{-7, 2, -4}, Div{7, -2, -4}, Div{5, 3, 2}, Div{-1, 3, 0}, Div{kMin, -1, kMax},
                        Div{5, 0, kMax}, Div{-5, 0, kMin}, Div{0, 0, 0}})
        EXPECT_EQ(armIntDivAwayFromZero(d.num, d.den), d.q) << d.num << "/" << d.den;
}

TEST(Utilities, KnownValuesAndShiftSatAgainstDouble) {
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
                         Case{0, 16, INFINITY, 65535}, Case{0, 16, NAN, 0}})
        EXPECT_EQ(armShiftSat_F32(c.shift, c.satBits, c.v), c.expect) << c.shift << " " << c.v;
    // Reference: v * 2^-shift exact in double, one rounding to float, + 0.5, clamped to satBits bits.
    for (int i = 0; i < 20000; ++i) {
        const float v = std::ldexp(static_cast<float>(rng() % 100000) + 0.25f, static_cast<int>(rng() % 80) - 60);
        const int32_t shift = static_cast<int32_t>(rng() % 101) - 50;
        const uint32_t satBits = rng() % 36;
        const float q = static_cast<float>(std::ldexp(static_cast<double>(v), -shift)) + 0.5f;
        const uint64_t limit = satBits >= 32 ? 0xFFFFFFFFu : (uint64_t{1} << satBits) - 1;
        ASSERT_EQ(armShiftSat_F32(shift, satBits, v), q >= 4294967296.0f ? limit : std::min(static_cast<uint64_t>(q), limit));
    }
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
    };
    const auto start = std::chrono::steady_clock::now();
    for (const Case &c : cases)
        EXPECT_EQ(apply(c.op, c.a, c.b, c.c), c.expect) << static_cast<int>(c.op) << ": " << c.a << " " << c.b << " " << c.c;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
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

TEST(IntegerArithmetic, RandomAgainstWideReference) {
    // Logical shifts of the 32-bit pattern by any count, in 64 bits.
    const auto logical = [](int32_t x, int64_t n) -> int32_t {
        const uint64_t u = static_cast<uint32_t>(x);
        if (n >= 0) return n >= 64 ? 0 : low32(static_cast<i128>(u << n));
        return -n >= 64 ? 0 : static_cast<int32_t>(static_cast<uint32_t>(u >> -n));
    };
    for (int i = 0; i < 200000; ++i) {
        const int32_t a = rndScaled32(), b = rndScaled32(), r = static_cast<int32_t>(rng());
        const int16_t x = static_cast<int16_t>(rng()), y = static_cast<int16_t>(rng());
        const int64_t c = rndScaled64(), d = rndScaled64();
        const int32_t n = static_cast<int32_t>(rng() % 161) - 80, n40 = n / 2;
        SCOPED_TRACE(testing::Message() << a << " " << b << " " << r << " " << x << " " << y << " " << c << " " << d << " " << n);
        ASSERT_EQ(apply(Op::Add, a, b), sat32(i128{a} + b));
        ASSERT_EQ(apply(Op::Sub, a, b), sat32(i128{a} - b));
        ASSERT_EQ(apply(Op::Add64, c, d), clampTo<int64_t>(i128{c} + d));
        ASSERT_EQ(apply(Op::Mac, a, x, y), sat32(i128{a} + int32_t{x} * y));
        ASSERT_EQ(apply(Op::Shl, a, n40), refRoundShift<int32_t>(a, n40));
        ASSERT_EQ(apply(Op::Shl64, c, n), refRoundShift<int64_t>(c, n));
        ASSERT_EQ(apply(Op::Shr16, a, n40), clampTo<int16_t>(refRoundShift<int32_t>(a, -n40)));
        ASSERT_EQ(apply(Op::Mul16, x, b), floorDiv(i128{x} * b, 16));
        ASSERT_EQ(apply(Op::Mac16, a, b, x), sat32(i128{a} + sat32(i128{x} * b)));  // (p >> 16) > 32767 iff p > 2^31 - 1
        const i128 aH = floorDiv(a, 16), aL = a & 0xFFFF, bH = floorDiv(b, 16), bL = b & 0xFFFF;
        ASSERT_EQ(apply(Op::Mul32, a, b), sat32(sat32(aH * bH + floorDiv(aH * bL, 16)) + floorDiv(bH * aL, 16)));
        const bool minSq = x == -32768 && y == -32768;
        ASSERT_EQ(apply(Op::Mpy, x, y), minSq ? 0x7FFFFFFF : 2 * int64_t{x} * y);
        ASSERT_EQ(apply(Op::ImpyL, x, y), minSq ? 0x3FFFFFFF : int64_t{x} * y);
        ASSERT_EQ(apply(Op::MpySl, x, a), floorDiv(i128{x} * a + (i128{1} << 30), 31));
        ASSERT_EQ(apply(Op::MpyLstore, a, b), low32(floorDiv(i128{a} * b + (i128{1} << 30), 31)));
        ASSERT_EQ(apply(Op::MpyLlFull, a, b), floorDiv(i128{a} * b, 31));
        ASSERT_EQ(apply(Op::ImpyW, a, b), low32(i128{floorDiv(a, 16)} * floorDiv(b, 16) * 65536));
        ASSERT_EQ(apply(Op::Clb, a), signBits(static_cast<uint32_t>(a)) - 1);
        ASSERT_EQ(apply(Op::Lsl, r, n), logical(r, n));
        ASSERT_EQ(apply(Op::Lsr, r, n), logical(r, -int64_t{n}));
        ASSERT_EQ(apply(Op::Asll, r, n), n >= 0 ? logical(r, n) : floorDiv(r, std::min(-n, 100)));
        ASSERT_EQ(apply(Op::Msbs, c, n), n < 1 ? c : floorDiv(c, std::min(n, 100)));
        ASSERT_EQ(apply(Op::Asl16Acc, c), static_cast<int64_t>(static_cast<uint64_t>(c) * 65536u));
        ASSERT_EQ(apply(Op::Asr16Acc, c), floorDiv(c, 16));
        ASSERT_EQ(apply(Op::Asl16L, c), low32(i128{static_cast<uint16_t>(c)} * 65536));
        // aacd_norm: bit i of e is set where bits i and i + 1 of c differ;
        // -2^32 has no such pair at or above bit 30 (and 0 none at all).
        if (c == 0 || c == -(1LL << 32)) continue;
        const uint64_t e = static_cast<uint64_t>(c) ^ static_cast<uint64_t>(c >> 1);
        const int32_t shift = (c >> 32) == 0 || (c >> 32) == -1 ? 3 - signBits(static_cast<uint32_t>(c))
                                                                : __builtin_ctzll(e >> 30) + 1;
        int64_t v = c;
        ASSERT_EQ(aacd_norm(&v), shift);
        ASSERT_EQ(v, shift >= 0 ? floorDiv(c, shift) : static_cast<int64_t>(static_cast<uint64_t>(c) << -shift));
    }
}

// ------------------------------------------------------------ memory and block normalisation

TEST(Memory, CopySetAndWordClears) {
    for (int trial = 0; trial < 2000; ++trial) {
        uint8_t a[64], ref[64];
        for (auto &x : a) x = static_cast<uint8_t>(rng());
        std::memcpy(ref, a, sizeof a);
        const int src = static_cast<int>(rng() % 32), dst = static_cast<int>(rng() % 32), n = static_cast<int>(rng() % 33) - 1;
        for (int i = n - 1; i >= 0; --i) ref[dst + i] = ref[src + i];  // descending byte copy
        myMemCopy(a + dst, a + src, n);
        ASSERT_EQ(std::memcmp(a, ref, sizeof a), 0) << src << " " << dst << " " << n;
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
    // Every element shifted left by 30 - topBit(max(x, 1 - x)).
    for (int trial = 0; trial < 3000; ++trial) {
        const int count = 1 + static_cast<int>(rng() % 40), bits = static_cast<int>(rng() % 32);
        std::vector<int32_t> a(count);
        int64_t m = 0;
        for (auto &x : a) {
            x = static_cast<int32_t>(rng()) >> bits;
            if (x == kMin || x == kMin + 1) x = 0;  // 1 - x would not fit
            m = std::max<int64_t>(m, x >= 0 ? int64_t{x} : 1 - int64_t{x});
        }
        const int e = m == 0 ? 0 : 30 - (63 - __builtin_clzll(static_cast<uint64_t>(m)));
        std::vector<int32_t> got = a;
        ASSERT_EQ(norm_lf(a.data(), count), e) << m;
        ASSERT_EQ(norm_lfarray(got.data(), count), e) << m;
        for (int i = 0; i < count; ++i) ASSERT_EQ(got[i], low32(i128{a[i]} * (i128{1} << e))) << i;
    }
}
