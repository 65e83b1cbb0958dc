// Saturating and rounding arithmetic, the memory primitives and the
// fractional DSP emulation, each against exact wide-integer reference
// arithmetic written here and against the values documented for their limits.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "common/aacd_fix_cd.h"
#include "common/armCOMM.h"
#include "common/intrins.h"
#include "common/util2.h"

namespace {

using i128 = __int128;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

template <typename T>
T clampTo(i128 v) {
    if (v > std::numeric_limits<T>::max()) return std::numeric_limits<T>::max();
    if (v < std::numeric_limits<T>::min()) return std::numeric_limits<T>::min();
    return static_cast<T>(v);
}
int32_t sat32(i128 v) { return clampTo<int32_t>(v); }

// floor(num / 2^k) by division with a correction, not by shifting.
i128 floorDivPow2(i128 num, int k) {
    const i128 d = i128{1} << k;
    i128 q = num / d;
    if (num % d != 0 && num < 0) --q;
    return q;
}

// Number of leading bits equal to the sign bit of a 32-bit pattern.
int leadingSignBits(uint32_t x) {
    int n = 0;
    const uint32_t s = x >> 31;
    for (int b = 31; b >= 0 && ((x >> b) & 1u) == s; --b) ++n;
    return n;
}
// Index of the highest set bit (v > 0).
int topBit(uint64_t v) { return 63 - __builtin_clzll(v); }

// Exact rounding shift of the saturating shift family (W = 32 or 64):
// left shifts clamp the exact product, right shifts add the rounding constant
// with saturation below the width and exactly at or beyond it.
template <typename T>
T refRoundShift(T v, int32_t shift) {
    constexpr int W = std::numeric_limits<T>::digits + 1;
    if (shift >= 0) return clampTo<T>(i128{v} * (i128{1} << (shift < 64 ? shift : 64)));
    const int n = -static_cast<int>(shift < -120 ? -120 : shift);
    if (n < W) return static_cast<T>(floorDivPow2(clampTo<T>(i128{v} + (i128{1} << (n - 1))), n));
    return static_cast<T>(floorDivPow2(i128{v} + (i128{1} << (n - 1)), n));
}

std::mt19937 &rng() {
    static std::mt19937 r(7);
    return r;
}
int32_t rnd32() { return static_cast<int32_t>(rng()()); }
int16_t rnd16() { return static_cast<int16_t>(rng()()); }
int64_t rnd64() { return static_cast<int64_t>((uint64_t{rng()()} << 32) | rng()()); }
// Random 32-bit value with a random number of significant bits.
int32_t rndScaled32() { return rnd32() >> (rng()() % 32); }

}  // namespace

// ------------------------------------------------------------ conversions

TEST(Conversions, RoundingAndSaturationLimits) {
    EXPECT_EQ(armSatRoundFloatToS32(2147483646.6), INT32_MAX);  // offset value exceeds the limit
    EXPECT_EQ(armSatRoundFloatToS32(2147483646.4), 2147483646);
    EXPECT_EQ(armSatRoundFloatToS32(-2147483647.6), INT32_MIN);
    EXPECT_EQ(armSatRoundFloatToS32(1e300), INT32_MAX);
    EXPECT_EQ(armSatRoundFloatToS32(-1e300), INT32_MIN);
    EXPECT_EQ(armSatRoundFloatToS32(0.0), 0);
    for (double h : {0.5, 1.5, 2.5, 1000.5}) {
        const int32_t away = static_cast<int32_t>(h) + 1;
        EXPECT_EQ(armSatRoundFloatToS32(h), away);
        EXPECT_EQ(armSatRoundFloatToS32(-h), -away);
        EXPECT_EQ(armRoundFloatToS32(h), away);
        EXPECT_EQ(armRoundFloatToS32(-h), -away);
        EXPECT_EQ(armRoundFloatToS64(h), away);
        EXPECT_EQ(armRoundFloatToS64(-h), -away);
        EXPECT_EQ(armSatRoundFloatToS16(-h), -away);
    }
    EXPECT_EQ(armSatRoundFloatToS16(32767.4), 32767);
    EXPECT_EQ(armSatRoundFloatToS16(40000.0), 32767);
    EXPECT_EQ(armSatRoundFloatToS16(-32768.6), -32768);
    EXPECT_EQ(armRoundFloatToS16(32768.0), -32768);  // low 16 bits, no saturation
    EXPECT_EQ(armRoundFloatToS16(-65537.2), -1);
}

TEST(Conversions, UnsignedAtHalvesAndLimits) {
    struct Case { double x; uint32_t u16, u32; };
    const Case cases[] = {
        {0.0, 0, 0},         {0.49, 0, 0},          {0.5, 1, 1},
        {1.5, 2, 2},         {2.5, 3, 3},           {-0.5, 0, 0},
        {-0.7, 0, 0},        {-3.0, 0, 0},          {65534.4, 65534, 65534},
        {65534.5, 65535, 65535}, {65535.0, 65535, 65535}, {70000.0, 65535, 70000},
        {4294967294.4, 65535, 4294967294u}, {4294967294.5, 65535, 4294967295u},
        {5e9, 65535, 4294967295u}, {kInf, 65535, 4294967295u}, {-kInf, 0, 0},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(armSatRoundFloatToU16(c.x), c.u16) << c.x;
        EXPECT_EQ(armSatRoundFloatToU32(c.x), c.u32) << c.x;
    }
}

TEST(Conversions, SixtyFourBitAndOutOfRange) {
    constexpr double two63 = 9223372036854775808.0;
    struct Case { double x; int64_t s64; int32_t s32; };
    const Case cases[] = {
        {4503599627370495.5, 4503599627370496, INT32_MAX},  // 2^52 - 0.5 rounds up
        {-4503599627370495.5, -4503599627370496, INT32_MIN},
        {9223372036854774784.0, 9223372036854774784, INT32_MAX},  // largest double below 2^63
        {two63, INT64_MAX, INT32_MAX},
        {-two63, INT64_MIN, INT32_MIN},
        {1e19, INT64_MAX, INT32_MAX},
        {-1e19, INT64_MIN, INT32_MIN},
        {2147483647.4, 2147483647, INT32_MAX},
        {2147483647.5, 2147483648, INT32_MAX},
        {-2147483648.4, -2147483648, INT32_MIN},
        {-2147483649.0, -2147483649, INT32_MIN},
        {kInf, INT64_MAX, INT32_MAX},
        {-kInf, INT64_MIN, INT32_MIN},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(armRoundFloatToS64(c.x), c.s64) << c.x;
        EXPECT_EQ(armRoundFloatToS32(c.x), c.s32) << c.x;
        EXPECT_EQ(armRoundFloatToS16(c.x), static_cast<int16_t>(c.s32 & 0xFFFF)) << c.x;
    }
    // The offset is added in double precision before truncation: for an odd
    // integer above 2^52 the tie rounds to even first.
    EXPECT_EQ(armRoundFloatToS64(4503599627370497.0), 4503599627370498);
    EXPECT_EQ(armRoundFloatToS64(0.49999999999999994), 1);
    // Random values with at most 11 fractional bits, where x +- 0.5 is exact,
    // against integer rounding of their exact binary value.
    for (int i = 0; i < 20000; ++i) {
        const int64_t whole = rnd64() >> (12 + rng()() % 51);
        const double x = std::ldexp(static_cast<double>(whole), -static_cast<int>(rng()() % 12));
        if (std::fabs(x) >= 0x1p40) continue;
        // x = m * 2^e exactly; round half away from zero in integers.
        int e = 0;
        const double frac = std::frexp(x, &e);
        const int64_t m = static_cast<int64_t>(std::ldexp(frac, 53));
        e -= 53;
        int64_t expect;
        if (e >= 0) {
            expect = m * (int64_t{1} << e);
        } else if (e <= -62) {
            expect = 0;
        } else {
            const int64_t mag = m < 0 ? -m : m;
            const int64_t r = (mag + (int64_t{1} << (-e - 1))) >> -e;
            expect = m < 0 ? -r : r;
        }
        ASSERT_EQ(armRoundFloatToS64(x), expect) << x;
    }
}

TEST(Conversions, NaNGivesZero) {
    for (double nan : {kNaN, -kNaN, std::nan("1")}) {
        EXPECT_EQ(armSatRoundFloatToS32(nan), 0);
        EXPECT_EQ(armSatRoundFloatToS16(nan), 0);
        EXPECT_EQ(armSatRoundFloatToU16(nan), 0);
        EXPECT_EQ(armSatRoundFloatToU32(nan), 0u);
        EXPECT_EQ(armRoundFloatToS16(nan), 0);
        EXPECT_EQ(armRoundFloatToS32(nan), 0);
        EXPECT_EQ(armRoundFloatToS64(nan), 0);
    }
    // 0 * inf, as a crafted intensity stereo or noise band can produce.
    volatile double zero = 0.0;
    EXPECT_EQ(armSatRoundFloatToS32(zero * kInf), 0);
    EXPECT_EQ(armIntDivAwayFromZero(0, 0), 0);
}

TEST(Conversions, IntegerDivisionAwayFromZero) {
    struct Case { int32_t num, den, q; };
    const Case cases[] = {{7, 2, 4},   {-7, 2, -4},  {7, -2, -4}, {5, 3, 2},
                          {-1, 3, 0},  {0, 5, 0},    {INT32_MIN, -1, INT32_MAX},
                          {5, 0, INT32_MAX}, {-5, 0, INT32_MIN}};
    for (const Case &c : cases) EXPECT_EQ(armIntDivAwayFromZero(c.num, c.den), c.q) << c.num << "/" << c.den;
}

// ------------------------------------------------------------ small utilities

TEST(Utilities, SignClipMedianLogSize) {
    for (int v = -32768; v <= 32767; ++v)
        ASSERT_EQ(armSignCheck(static_cast<int16_t>(v)), (v > 0) - (v < 0)) << v;

    EXPECT_EQ(armClip(10, 5, 7), 5);   // upper bound tested first
    EXPECT_EQ(armClip(10, 5, 3), 10);  // below min: min
    struct FCase { float lo, hi, v, expect; };
    const FCase fcases[] = {{-1.0f, 1.0f, 0.25f, 0.25f}, {-1.0f, 1.0f, 2.0f, 1.0f},
                            {-1.0f, 1.0f, -3.5f, -1.0f}, {-1.0f, 1.0f, 1.0f, 1.0f},
                            {2.0f, 1.0f, 0.5f, 2.0f},  // min above max: v below min only
                            {2.0f, 1.0f, 1.5f, 1.0f},  // above max and below min: max first
                            {-1.0f, 1.0f, INFINITY, 1.0f}, {-1.0f, 1.0f, -INFINITY, -1.0f}};
    for (const FCase &c : fcases) EXPECT_EQ(armClip_F32(c.lo, c.hi, c.v), c.expect) << c.v;

    EXPECT_EQ(armMedianOf3(3, 9, 5), 5);
    EXPECT_EQ(armLogSize(0), 0);
    EXPECT_EQ(armLogSize(1), 1);
    EXPECT_EQ(armLogSize(0xFFFF), 16);
}

TEST(Utilities, SwapElem) {
    uint8_t a[7] = {1, 2, 3, 4, 5, 6, 7}, b[7] = {10, 20, 30, 40, 50, 60, 70};
    const std::vector<uint8_t> a0(a, a + 7), b0(b, b + 7);
    EXPECT_EQ(armSwapElem(a, b, 5), 0);
    EXPECT_EQ(std::vector<uint8_t>(a, a + 7), (std::vector<uint8_t>{10, 20, 30, 40, 50, 6, 7}));
    EXPECT_EQ(std::vector<uint8_t>(b, b + 7), (std::vector<uint8_t>{1, 2, 3, 4, 5, 60, 70}));
    EXPECT_EQ(armSwapElem(a, b, 5), 0);  // swapping twice restores both
    EXPECT_EQ(std::vector<uint8_t>(a, a + 7), a0);
    EXPECT_EQ(std::vector<uint8_t>(b, b + 7), b0);
    for (int32_t size : {0, -1, INT32_MIN}) {
        EXPECT_EQ(armSwapElem(a, b, size), 0);
        EXPECT_EQ(std::vector<uint8_t>(a, a + 7), a0);
    }
    EXPECT_EQ(armSwapElem(nullptr, b, 3), -5);
    EXPECT_EQ(armSwapElem(a, nullptr, 3), -5);
    EXPECT_EQ(armSwapElem(nullptr, nullptr, 4), -5);
    EXPECT_EQ(std::vector<uint8_t>(a, a + 7), a0);
    EXPECT_EQ(std::vector<uint8_t>(b, b + 7), b0);
}

TEST(Utilities, ShiftSatF32) {
    struct Case { int32_t shift; uint32_t satBits; float v; uint32_t expect; };
    const Case cases[] = {
        {0, 16, 3.5f, 4},     {0, 16, 3.49f, 3},  {1, 8, 5.0f, 3},        {-2, 8, 100.0f, 255},
        {-2, 16, 100.0f, 400}, {0, 16, 0.0f, 0},  {0, 16, -7.0f, 0},      {0, 0, 5.0f, 0},
        {0, 32, 1e10f, 0xFFFFFFFFu},              {0, 40, 1e10f, 0xFFFFFFFFu},
        {4, 31, 1e9f, 62500000},                  {200, 16, 3.0e38f, 0},  // 2^200 is not a float
        {128, 16, 3.0e38f, 1},                    // 3e38 / 2^128 = 0.88, + 0.5
        {-150, 16, 1.4e-45f, 2},                  // smallest subnormal times 2^150
        {-200, 16, 1e-30f, 65535},                {INT32_MAX, 16, 3.0e38f, 0},
        {INT32_MIN, 16, 1.4e-45f, 65535},         {0, 16, INFINITY, 65535},
        {0, 16, NAN, 0},
    };
    for (const Case &c : cases)
        EXPECT_EQ(armShiftSat_F32(c.shift, c.satBits, c.v), c.expect) << c.shift << " " << c.v;
    // Reference: v * 2^-shift exact in double, one rounding to float, + 0.5.
    for (int i = 0; i < 20000; ++i) {
        const float v = std::ldexp(static_cast<float>(rng()() % 100000) + 0.25f, static_cast<int>(rng()() % 80) - 60);
        const int32_t shift = static_cast<int32_t>(rng()() % 101) - 50;
        const uint32_t satBits = rng()() % 36;
        const float q = static_cast<float>(std::ldexp(static_cast<double>(v), -shift)) + 0.5f;
        const uint64_t limit = satBits >= 32 ? 0xFFFFFFFFu : (uint64_t{1} << satBits) - 1;
        const uint64_t t = q >= 4294967296.0f ? limit : static_cast<uint64_t>(q);
        ASSERT_EQ(armShiftSat_F32(shift, satBits, v), t < limit ? t : limit) << v << " " << shift;
    }
}

// ------------------------------------------------------------ saturating integer arithmetic

TEST(SaturatingArithmetic, AddSubAndMac) {
    EXPECT_EQ(armSatAdd_S32(INT32_MAX, 1), INT32_MAX);
    EXPECT_EQ(armSatAdd_S32(INT32_MIN, -1), INT32_MIN);
    EXPECT_EQ(armSatAdd_S32(INT32_MAX, INT32_MIN), -1);
    EXPECT_EQ(armSatSub_S32(INT32_MIN, 1), INT32_MIN);
    EXPECT_EQ(armSatSub_S32(0, INT32_MIN), INT32_MAX);
    EXPECT_EQ(armSatSub_S32(-1, INT32_MIN), INT32_MAX);
    EXPECT_EQ(armSatAdd_S64(INT64_MAX, 1), INT64_MAX);
    EXPECT_EQ(armSatAdd_S64(INT64_MIN, INT64_MIN), INT64_MIN);
    EXPECT_EQ(armSatMac_S32(INT32_MAX, -32768, -32768), INT32_MAX);
    EXPECT_EQ(armSatMac_S32(INT32_MIN, -32768, 32767), INT32_MIN);
    EXPECT_EQ(armSatMac_S32(-(1 << 30), -32768, -32768), 0);
    for (int i = 0; i < 100000; ++i) {
        const int32_t a = rndScaled32(), b = rndScaled32();
        ASSERT_EQ(armSatAdd_S32(a, b), sat32(i128{a} + b));
        ASSERT_EQ(armSatSub_S32(a, b), sat32(i128{a} - b));
        const int64_t c = rnd64() >> (rng()() % 64), d = rnd64() >> (rng()() % 64);
        ASSERT_EQ(armSatAdd_S64(c, d), clampTo<int64_t>(i128{c} + d));
        const int16_t x = rnd16(), y = rnd16();
        ASSERT_EQ(armSatMac_S32(a, x, y), sat32(i128{a} + int32_t{x} * y)) << a << " " << x << " " << y;
    }
}

TEST(SaturatingArithmetic, RoundingShifts) {
    struct Case { int32_t v, shift, expect; };
    const Case cases[] = {
        {5, -1, 3},  {-5, -1, -2}, {0x40000000, 2, INT32_MAX},
        {INT32_MAX, -1, 0x3FFFFFFF},  // the rounding constant saturates
        {INT32_MIN, -31, -1},  {INT32_MAX, -31, 0},  {-1, -31, 0},
        {INT32_MIN, -32, 0},   {INT32_MAX, -32, 0},  {-1, -33, 0},
        {INT32_MIN, INT32_MIN, 0}, {INT32_MAX, -1000, 0},
        {1, 30, 1 << 30},      {1, 31, INT32_MAX},   {-1, 31, INT32_MIN},
        {-1, INT32_MAX, INT32_MIN}, {3, INT32_MAX, INT32_MAX}, {0, INT32_MAX, 0},
    };
    for (const Case &c : cases)
        EXPECT_EQ(armSatRoundLeftShift_S32(c.v, c.shift), c.expect) << c.v << " " << c.shift;
    struct Case64 { int64_t v; int32_t shift; int64_t expect; };
    const Case64 cases64[] = {
        {5, -1, 3},  {-5, -1, -2},  {int64_t{1} << 62, 1, INT64_MAX},
        {INT64_MAX, -1, INT64_MAX / 2},  {INT64_MIN, -63, -1},  {INT64_MIN, -64, 0},
        {INT64_MAX, -64, 0},  {-1, -200, 0},  {INT64_MIN, INT32_MIN, 0},
        {-7, INT32_MAX, INT64_MIN},  {7, INT32_MAX, INT64_MAX},
    };
    for (const Case64 &c : cases64)
        EXPECT_EQ(armSatRoundLeftShift_S64(c.v, c.shift), c.expect) << c.v << " " << c.shift;

    for (int i = 0; i < 100000; ++i) {
        const int32_t v = rndScaled32();
        const int32_t shift = static_cast<int32_t>(rng()() % 81) - 40;
        ASSERT_EQ(armSatRoundLeftShift_S32(v, shift), refRoundShift<int32_t>(v, shift)) << v << " " << shift;
        const int64_t w = rnd64() >> (rng()() % 64);
        const int32_t s64 = static_cast<int32_t>(rng()() % 161) - 80;
        ASSERT_EQ(armSatRoundLeftShift_S64(w, s64), refRoundShift<int64_t>(w, s64)) << w << " " << s64;
        const int32_t r = refRoundShift<int32_t>(v, -shift);
        ASSERT_EQ(armSatRoundRightShift_S32_S16(v, shift), clampTo<int16_t>(r));
    }
    EXPECT_EQ(armSatRoundRightShift_S32_S16(1 << 20, 2), 32767);
    EXPECT_EQ(armSatRoundRightShift_S32_S16(-3, INT32_MIN), -32768);  // left by 2^31
    EXPECT_EQ(armSatRoundRightShift_S32_S16(-3, INT32_MAX), 0);

    // Huge left shifts stop once the value has saturated.
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 50; ++i) {
        ASSERT_EQ(armSatRoundLeftShift_S32(i + 1, INT32_MAX), INT32_MAX);
        ASSERT_EQ(armSatRoundLeftShift_S64(-i - 1, INT32_MAX), INT64_MIN);
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

TEST(SaturatingArithmetic, FixedPointProductsExact) {
    // Known values: -1 * -1 keeps two floored partial products and drops the
    // low product, unlike (a * b) >> 32 = 0.
    EXPECT_EQ(armSatMulS32S32_S32(-1, -1), -1);
    EXPECT_EQ(armSatMulS32S32_S32(INT32_MIN, INT32_MIN), 1 << 30);
    EXPECT_EQ(armSatMulS32S32_S32(0xFFFF, 0xFFFF), 0);
    EXPECT_EQ(armSatMulS16S32_S32(-32768, INT32_MIN), 1 << 30);
    EXPECT_EQ(armSatMulS16S32_S32(-1, 1), -1);  // floor, not truncation
    for (int i = 0; i < 200000; ++i) {
        const int16_t a = rnd16();
        const int32_t b = rndScaled32(), c = rndScaled32();
        // a * (b >> 16) + (a * (b & 0xFFFF)) >> 16 is exactly floor(a * b / 2^16).
        ASSERT_EQ(armSatMulS16S32_S32(a, b), static_cast<int32_t>(floorDivPow2(i128{a} * b, 16))) << a << " " << b;
        const int64_t bH = b >> 16, bL = b & 0xFFFF, cH = c >> 16, cL = c & 0xFFFF;
        const int32_t expect = sat32(i128{sat32(i128{bH * cH} + ((bH * cL) >> 16))} + ((cH * bL) >> 16));
        ASSERT_EQ(armSatMulS32S32_S32(b, c), expect) << b << " " << c;
    }
}

TEST(SaturatingArithmetic, MacS16S32AddendRule) {
    // The addend is the product itself while (a * b) >> 16 fits 16 bits,
    // otherwise the 32-bit limit of its sign; only then is it added.
    struct Case { int32_t acc, b; int16_t a; int32_t expect; };
    const Case cases[] = {
        {0, 0x7FFFFFFF, 1, INT32_MAX},
        {0, 0x10000, 2, 0x20000},
        {-5, 0x40000000, 2, INT32_MAX - 5},       // product 2^31: addend saturated
        {-100, 0x40000019, 2, INT32_MAX - 100},  // not the clamp of acc + a * b
        {100, INT32_MIN, 1, INT32_MIN + 100},
        {100, INT32_MIN, -1, INT32_MAX},         // 2^31 + 100 saturates
        {7, -3, 5, -8},
    };
    for (const Case &c : cases) EXPECT_EQ(armSatMac_S16S32_S32(c.acc, c.b, c.a), c.expect) << c.b << " " << c.a;
    for (int i = 0; i < 200000; ++i) {
        const int32_t acc = rndScaled32(), b = rndScaled32();
        const int16_t a = rnd16();
        const i128 prod = i128{a} * b;
        const int32_t addend = sat32(prod);  // (prod >> 16) > 32767 iff prod > INT32_MAX
        ASSERT_EQ(armSatMac_S16S32_S32(acc, b, a), sat32(i128{acc} + addend)) << acc << " " << b << " " << a;
    }
}

// ------------------------------------------------------------ memory

TEST(Memory, CopyIsTheDescendingByteCopy) {
    for (int trial = 0; trial < 2000; ++trial) {
        uint8_t a[64], ref[64];
        for (auto &x : a) x = static_cast<uint8_t>(rng()());
        std::memcpy(ref, a, sizeof a);
        const int src = static_cast<int>(rng()() % 32), dst = static_cast<int>(rng()() % 32);
        const int n = static_cast<int>(rng()() % 33) - 1;
        for (int i = n - 1; i >= 0; --i) ref[dst + i] = ref[src + i];
        myMemCopy(a + dst, a + src, n);
        ASSERT_EQ(std::memcmp(a, ref, sizeof a), 0) << src << " " << dst << " " << n;
    }
    // Moving up by one byte keeps the block; moving down repeats its last byte.
    uint8_t up[6] = {1, 2, 3, 4, 5, 9}, down[6] = {1, 2, 3, 4, 5, 9};
    myMemCopy(up + 1, up, 4);
    EXPECT_EQ(std::vector<uint8_t>(up, up + 6), (std::vector<uint8_t>{1, 1, 2, 3, 4, 9}));
    myMemCopy(down, down + 1, 4);
    EXPECT_EQ(std::vector<uint8_t>(down, down + 6), (std::vector<uint8_t>{5, 5, 5, 5, 5, 9}));
    uint8_t x[4] = {1, 2, 3, 4}, y[4] = {7, 7, 7, 7};
    myMemCopy(y, x, 0);
    myMemCopy(y, x, -4);
    EXPECT_EQ(y[0], 7);
}

TEST(Memory, SetAndWordClears) {
    uint8_t z[16];
    std::memset(z, 0x11, sizeof z);
    myMemSet(z, 0, -3);
    myMemSet(z, 0, 0);
    EXPECT_EQ(z[0], 0x11);
    myMemSet(z + 2, 0x1AB, 5);  // only the low byte is stored
    EXPECT_EQ(std::vector<uint8_t>(z, z + 8), (std::vector<uint8_t>{0x11, 0x11, 0xAB, 0xAB, 0xAB, 0xAB, 0xAB, 0x11}));
    myMemSet(z, -1, 1);
    EXPECT_EQ(z[0], 0xFF);
    using Clear = void (*)(void *, int32_t);
    for (Clear clear : {Clear{AACD_fltclr}, Clear{AACD_lfractclr}}) {
        std::memset(z, 0x11, sizeof z);
        clear(z, 0);
        clear(z, -2);
        EXPECT_EQ(z[0], 0x11);
        clear(z, 3);  // exactly 12 bytes
        for (int i = 0; i < 16; ++i) EXPECT_EQ(z[i], i < 12 ? 0 : 0x11) << i;
    }
}

// ------------------------------------------------------------ fractional DSP emulation

TEST(Fractional, KnownValues) {
    int64_t acc = 0;
    aacd_mpy(-32768, -32768, &acc);
    EXPECT_EQ(acc, 0x7FFFFFFF);
    aacd_mpy(16384, 16384, &acc);
    EXPECT_EQ(acc, 0x20000000);
    aacd_macr_ss(100, 100, &acc);
    EXPECT_EQ(acc, 0);
    acc = INT64_MAX;
    aacd_macr_ss(32767, 32767, &acc);  // the sum wraps; the result is 0 regardless
    EXPECT_EQ(acc, 0);
    EXPECT_EQ(aacd_clb_l(0), 31);
    EXPECT_EQ(aacd_clb_l(-1), 31);
    EXPECT_EQ(aacd_clb_l(1), 30);
    EXPECT_EQ(aacd_clb_l(INT32_MIN), 0);
    for (int i = 0; i < 10000; ++i) {
        const int32_t x = rndScaled32();
        ASSERT_EQ(aacd_clb_l(x), leadingSignBits(static_cast<uint32_t>(x)) - 1) << x;
    }
    EXPECT_EQ(aacd_lfract2shortint(-1), 0xFFFFu);
    EXPECT_EQ(aacd_lfract2long(-12345), -12345);
    int64_t big = int64_t{1} << 40;
    EXPECT_EQ(aacd_saturate(0, &big), int64_t{1} << 40);
    EXPECT_EQ(big, INT32_MAX);
    EXPECT_EQ(aacd_mpy_lstore(0x40000000, 0x40000000), 0x20000000);  // 0.5 * 0.5 in Q31

    struct Sf { int32_t x; int16_t out; };
    for (const Sf c : {Sf{0x12345678, 0x1234}, Sf{-1, -1}, Sf{INT32_MIN, -32768},
                       Sf{static_cast<int32_t>(0xFFFF0000u), -1}, Sf{0x0000FFFF, 0}}) {
        int16_t out = 7;
        EXPECT_EQ(aacd_lfract2sfract(c.x, &out), c.out);
        EXPECT_EQ(out, c.out);
    }
    for (int32_t x : {-5, INT32_MIN, INT32_MAX, 0}) {
        aacd_mvi2acc(x, &acc);
        EXPECT_EQ(acc, int64_t{x});
    }
    struct Bits { int32_t a, b, orv, andv; };
    for (const Bits c : {Bits{0x0F0F, 0x00FF, 0x0FFF, 0x000F}, Bits{INT32_MIN, 1, INT32_MIN + 1, 0},
                         Bits{-1, 0x1234, -1, 0x1234}}) {
        int32_t out = 0;
        EXPECT_EQ(aacd_or(c.a, c.b, &out), c.orv);
        EXPECT_EQ(out, c.orv);
        EXPECT_EQ(aacd_and(c.a, c.b, &out), c.andv);
        EXPECT_EQ(out, c.andv);
    }
    struct Neg { int32_t x, neg; };
    for (const Neg c : {Neg{5, -5}, Neg{0, 0}, Neg{INT32_MIN, INT32_MIN}, Neg{INT32_MAX, -INT32_MAX}}) {
        int32_t v = c.x;
        aacd_neg(&v);
        EXPECT_EQ(v, c.neg);
    }
    struct Cmp { int32_t a, b, cmp, sign; };
    for (const Cmp c : {Cmp{1, 2, -1, 1}, Cmp{2, 2, 0, 1}, Cmp{INT32_MAX, INT32_MIN, 1, 1},
                        Cmp{INT32_MIN, INT32_MAX, -1, -1}, Cmp{0, -1, 1, 0}, Cmp{-3, -3, 0, -1}}) {
        EXPECT_EQ(aacd_cmp(c.a, c.b), c.cmp) << c.a << " " << c.b;
        EXPECT_EQ(aacd_test_val(c.a), c.sign) << c.a;
    }
    int32_t w[4] = {1, 2, 3, 4};
    AACD_lfractclr(w, 2);
    EXPECT_EQ(w[0] | w[1], 0);
    EXPECT_EQ(w[2], 3);
}

TEST(Fractional, ProductsAgainstWideReference) {
    struct Sl { int16_t a; int32_t b; int64_t acc; };
    for (const Sl c : {Sl{1, 1 << 30, 1}, Sl{-1, 1 << 30, 0}, Sl{-1, (1 << 30) + 1, -1},
                       Sl{16384, 1 << 30, 8192}, Sl{-32768, INT32_MIN, 32768}}) {
        int64_t acc = 0;
        aacd_mpy_sl(c.a, c.b, &acc);
        EXPECT_EQ(acc, c.acc) << c.a << " " << c.b;
    }
    int32_t out = 0;
    aacd_impyw_ss(INT32_MIN, INT32_MIN, &out);  // 2^30 << 16 keeps no bits
    EXPECT_EQ(out, 0);
    aacd_impyw_ss(0x7FFFFFFF, 0x00020000, &out);
    EXPECT_EQ(out, static_cast<int32_t>(0xFFFE0000u));
    int64_t acc = 0;
    aacd_impyl_ss(-32768, -32768, &acc);
    EXPECT_EQ(acc, 0x3FFFFFFF);
    aacd_mpy_ll_full(INT32_MIN, INT32_MIN, &acc);
    EXPECT_EQ(acc, int64_t{1} << 31);
    aacd_mpy_ll_full(-1, 1, &acc);
    EXPECT_EQ(acc, -1);  // arithmetic shift: floor

    for (int i = 0; i < 100000; ++i) {
        const int16_t a = rnd16(), b = rnd16();
        const int32_t x = rndScaled32(), y = rndScaled32();
        aacd_mpy(a, b, &acc);
        ASSERT_EQ(acc, a == -32768 && b == -32768 ? 0x7FFFFFFF : 2 * int64_t{a} * b);
        aacd_impyl_ss(a, b, &acc);
        ASSERT_EQ(acc, a == -32768 && b == -32768 ? 0x3FFFFFFF : int64_t{a} * b);
        aacd_mpy_sl(a, x, &acc);
        ASSERT_EQ(acc, floorDivPow2(i128{a} * x + (i128{1} << 30), 31)) << a << " " << x;
        ASSERT_EQ(aacd_mpy_lstore(x, y), static_cast<int32_t>(static_cast<uint32_t>(
                                              static_cast<uint64_t>(floorDivPow2(i128{x} * y + (i128{1} << 30), 31)))));
        aacd_mpy_ll_full(x, y, &acc);
        ASSERT_EQ(acc, floorDivPow2(i128{x} * y, 31)) << x << " " << y;
        aacd_impyw_ss(x, y, &out);
        const i128 hh = floorDivPow2(x, 16) * floorDivPow2(y, 16);
        ASSERT_EQ(out, static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(hh * 65536))));
    }
}

TEST(Fractional, ShiftsTakeEveryCount) {
    // Reference shifts on 64-bit patterns, where counts up to 63 need no
    // special case; larger counts give 0 or the sign.
    const auto refLogical = [](int32_t x, int64_t n) -> int32_t {
        const uint64_t u = static_cast<uint32_t>(x);
        if (n >= 0) return n >= 64 ? 0 : static_cast<int32_t>(static_cast<uint32_t>(u << n));
        return -n >= 64 ? 0 : static_cast<int32_t>(static_cast<uint32_t>(u >> -n));
    };
    const auto refArith = [](int32_t x, int n) -> int32_t {
        if (n >= 0) return n >= 64 ? 0 : static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(x) << n));
        return static_cast<int32_t>(floorDivPow2(x, -n > 100 ? 100 : -n));
    };
    struct Case { int32_t x, n, lsl, lsr; };
    const Case cases[] = {
        {1, 31, INT32_MIN, 0},  {1, 32, 0, 0},        {-1, 31, INT32_MIN, 1},   {-1, 32, 0, 0},
        {-1, 40, 0, 0},         {-1, INT32_MAX, 0, 0}, {0x1234, 0, 0x1234, 0x1234},
        {INT32_MIN, -31, 1, 0}, {1, -31, 0, INT32_MIN}, {-1, -32, 0, 0},         {-1, INT32_MIN, 0, 0},
    };
    for (const Case &c : cases) {
        int32_t v = c.x;
        aacd_lsl(&v, c.n);
        EXPECT_EQ(v, c.lsl) << c.x << " << " << c.n;
        v = c.x;
        aacd_lsr(&v, c.n);
        EXPECT_EQ(v, c.lsr) << c.x << " >> " << c.n;
    }
    struct Asl { int32_t x; int16_t n; int32_t expect; };
    for (const Asl c : {Asl{-8, -2, -2}, Asl{-1, -31, -1}, Asl{-1, -32, -1}, Asl{-5, -32768, -1},
                        Asl{5, -32768, 0}, Asl{INT32_MIN, -31, -1}, Asl{3, 30, static_cast<int32_t>(0xC0000000u)},
                        Asl{3, 32, 0}, Asl{-1, 32767, 0}}) {
        int32_t v = c.x;
        aacd_asll_l(&v, c.n);
        EXPECT_EQ(v, c.expect) << c.x << " " << c.n;
    }
    for (int i = 0; i < 50000; ++i) {
        const int32_t x = rnd32();
        const int32_t n = static_cast<int32_t>(rng()() % 161) - 80;
        int32_t v = x;
        aacd_lsl(&v, n);
        ASSERT_EQ(v, refLogical(x, n)) << x << " " << n;
        v = x;
        aacd_lsr(&v, n);
        ASSERT_EQ(v, refLogical(x, -int64_t{n})) << x << " " << n;
        v = x;
        aacd_asll_l(&v, static_cast<int16_t>(n));
        ASSERT_EQ(v, refArith(x, n)) << x << " " << n;
    }

    struct Acc { int64_t acc; int32_t n; int64_t msbs; };
    for (const Acc c : {Acc{-5, 0, -5}, Acc{-5, -7, -5}, Acc{-5, 1, -3}, Acc{INT64_MIN, 63, -1},
                        Acc{INT64_MIN, 64, -1}, Acc{INT64_MAX, 64, 0}, Acc{-1, INT32_MAX, -1},
                        Acc{int64_t{1} << 62, 62, 1}, Acc{INT64_MAX, 1000, 0}}) {
        EXPECT_EQ(aacd_get_acc_msbs(c.acc, c.n), c.msbs) << c.acc << " " << c.n;
    }
    for (int i = 0; i < 50000; ++i) {
        const int64_t acc = rnd64() >> (rng()() % 64);
        const int32_t n = static_cast<int32_t>(rng()() % 141) - 20;
        ASSERT_EQ(aacd_get_acc_msbs(acc, n), n < 1 ? acc : static_cast<int64_t>(floorDivPow2(acc, n > 100 ? 100 : n)));
        int64_t a = acc;
        aacd_asl16_acc(&a);
        ASSERT_EQ(a, static_cast<int64_t>(static_cast<uint64_t>(acc) * 65536u));
        a = acc;
        aacd_asr16_acc(&a);
        ASSERT_EQ(a, static_cast<int64_t>(floorDivPow2(acc, 16)));
        int32_t w = static_cast<int32_t>(acc);
        aacd_asl16_l(&w);
        ASSERT_EQ(w, static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(acc) % 65536u * 65536u)));
    }
    int32_t w = 0x12348765;
    aacd_asl16_l(&w);
    EXPECT_EQ(w, static_cast<int32_t>(0x87650000u));
}

TEST(Fractional, NormAgainstBitCount) {
    // Upper half only sign: left until bits 31 and 30 differ, then right by 2,
    // i.e. a net right shift of 2 - (redundant sign bits of the low word).
    // Otherwise right until they differ, then one more: the first differing
    // pair of neighbouring bits counted from bits 30/31 upward decides, not
    // the top one.
    struct Case { int64_t acc; int32_t shift; int64_t after; };
    const Case cases[] = {
        {0, 0, 0},
        {1, -28, 1 << 28},
        {-1, -29, -(int64_t{1} << 29)},
        {0x80000000, 2, 0x20000000},
        {int64_t{1} << 32, 2, 1 << 30},
        {INT64_MAX, 33, (int64_t{1} << 30) - 1},
        {INT64_MIN, 33, -(int64_t{1} << 30)},
        {(int64_t{1} << 40) + (1 << 30), 1, (int64_t{1} << 39) + (1 << 29)},
    };
    for (const Case &c : cases) {
        int64_t acc = c.acc;
        EXPECT_EQ(aacd_norm(&acc), c.shift) << c.acc;
        EXPECT_EQ(acc, c.after) << c.acc;
    }
    for (int i = 0; i < 100000; ++i) {
        const int64_t v = rnd64() >> (rng()() % 64);
        if (v == 0 || v == -(int64_t{1} << 32)) continue;  // see the rule above: no bit ever differs
        const int64_t upper = v >> 32;
        int32_t shift;
        if (upper == 0 || upper == -1) {
            shift = 2 - (leadingSignBits(static_cast<uint32_t>(v)) - 1);
        } else {
            // Bit i of d is set where bits i and i + 1 of v differ.
            const uint64_t d = static_cast<uint64_t>(v) ^ static_cast<uint64_t>(v >> 1);
            shift = __builtin_ctzll(d >> 30) + 1;
        }
        const int64_t expect = shift >= 0 ? static_cast<int64_t>(floorDivPow2(v, shift))
                                          : static_cast<int64_t>(static_cast<uint64_t>(v) << -shift);
        int64_t acc = v;
        ASSERT_EQ(aacd_norm(&acc), shift) << v;
        ASSERT_EQ(acc, expect) << v;
    }
}

TEST(BlockNorm, SingleValueHelpers) {
    struct Abs { int32_t x, abs; };
    for (const Abs c : {Abs{0, 0}, Abs{5, 5}, Abs{-1, 2}, Abs{-5, 6}, Abs{INT32_MAX, INT32_MAX},
                        Abs{-(INT32_MAX - 1), INT32_MAX}}) {
        EXPECT_EQ(cf_abs_lf(c.x), c.abs) << c.x;
    }
    EXPECT_EQ(cf_max_lf(-3, 2), 2);
    EXPECT_EQ(cf_max_lf(INT32_MIN, -1), -1);
    EXPECT_EQ(int2lfract(-77), -77);
    struct Norm { int32_t x, n, after; };
    for (const Norm c : {Norm{0, 0, 0}, Norm{1, 30, 1 << 30}, Norm{3, 29, static_cast<int32_t>(0x60000000)},
                         Norm{1 << 30, 0, 1 << 30}, Norm{INT32_MAX, 0, INT32_MAX}}) {
        int32_t x = c.x;
        EXPECT_EQ(cf_norm(&x), c.n) << c.x;
        EXPECT_EQ(x, c.after) << c.x;
    }
    for (int i = 0; i < 10000; ++i) {
        int32_t x = static_cast<int32_t>(rng()() >> 1) >> (rng()() % 31);
        if (x == 0) continue;
        const int32_t x0 = x;
        const int n = 30 - topBit(static_cast<uint64_t>(x0));
        ASSERT_EQ(cf_norm(&x), n) << x0;
        ASSERT_EQ(x, static_cast<int32_t>(int64_t{x0} << n)) << x0;
    }
}

TEST(BlockNorm, EveryElementIsShifted) {
    int32_t ones[4] = {1, 0, 1, 0};
    EXPECT_EQ(norm_lfarray(ones, 4), 30);
    EXPECT_EQ(std::vector<int32_t>(ones, ones + 4), (std::vector<int32_t>{1 << 30, 0, 1 << 30, 0}));
    int32_t zeros[3] = {0, 0, 0};
    EXPECT_EQ(norm_lfarray(zeros, 3), 0);
    EXPECT_EQ(std::vector<int32_t>(zeros, zeros + 3), (std::vector<int32_t>{0, 0, 0}));
    int32_t minusOne[2] = {-1, 0};
    EXPECT_EQ(norm_lf(minusOne, 2), 29);  // -1 counts as magnitude 2
    EXPECT_EQ(norm_lfarray(minusOne, 2), 29);
    EXPECT_EQ(minusOne[0], -(1 << 29));
    int32_t untouched[1] = {5};
    EXPECT_EQ(norm_lfarray(untouched, 0), 0);
    EXPECT_EQ(norm_lfarray(untouched, -1), 0);
    EXPECT_EQ(untouched[0], 5);

    for (int trial = 0; trial < 3000; ++trial) {
        const int count = 1 + static_cast<int>(rng()() % 40);
        const int bits = static_cast<int>(rng()() % 32);
        std::vector<int32_t> a(count);
        int64_t m = 0;
        for (auto &x : a) {
            x = static_cast<int32_t>(rnd64() % (int64_t{1} << bits));  // |x| < 2^bits
            if (x == INT32_MIN + 1) x = 0;  // 1 - x would not fit
            m = std::max<int64_t>(m, x >= 0 ? int64_t{x} : 1 - int64_t{x});
        }
        const int e = m == 0 ? 0 : 30 - topBit(static_cast<uint64_t>(m));
        std::vector<int32_t> got = a;
        ASSERT_EQ(norm_lfarray(got.data(), count), e) << m;
        for (int i = 0; i < count; ++i)
            ASSERT_EQ(got[i], static_cast<int32_t>(static_cast<uint32_t>(a[i]) << e)) << i;
    }
}
