// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
//
// The fixed-point and rounding vocabulary of the library as inline
// functions.  Library code calls these at its hot call sites, never the
// exported C functions of armCOMM.h: those are defined from the same inline
// code, so both give identical results, but a call to an exported symbol
// from inside the shared object could go through the PLT (and be diverted by
// a program that defines a function of the same name).
//
// Wrap-around arithmetic is done on unsigned values so that overflow is
// defined; arithmetic right shifts of negative values are those of GCC and
// Clang (and of C++20).
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <type_traits>

namespace aacd {

// ---------------------------------------------------------------- saturating

template <typename T>
[[nodiscard]] inline T satAdd(T a, T b) {
    using U = std::make_unsigned_t<T>;
    const T r = static_cast<T>(static_cast<U>(a) + static_cast<U>(b));
    if ((a >= 0) == (b >= 0) && (r >= 0) != (a >= 0))
        return a >= 0 ? std::numeric_limits<T>::max() : std::numeric_limits<T>::min();
    return r;
}

// armSatAdd_S32 / armSatSub_S32.
[[nodiscard]] inline int32_t satAdd32(int32_t a, int32_t b) {
    const int64_t r = int64_t{a} + b;
    return r > INT32_MAX ? INT32_MAX : (r < INT32_MIN ? INT32_MIN : static_cast<int32_t>(r));
}
[[nodiscard]] inline int32_t satSub32(int32_t a, int32_t b) {
    const int64_t r = int64_t{a} - b;
    return r > INT32_MAX ? INT32_MAX : (r < INT32_MIN ? INT32_MIN : static_cast<int32_t>(r));
}

// Rounding shift: shift < 0 adds 1 << (-shift - 1) with saturation and
// shifts right arithmetically (exact halves go up); shift > 0 doubles with
// saturation, so an overflowing value sticks at the limit of its sign.
template <typename T>
[[nodiscard]] inline T satRoundShift(T v, int32_t shift) {
    constexpr int32_t kWidth = std::numeric_limits<T>::digits + 1;
    if (shift < 0) {
        // (v + 2^(n-1)) >> n is 0 for every v of the type once n >= width.
        if (shift <= -kWidth) return T{0};
        const int32_t n = -shift;
        const T half = static_cast<T>(T{1} << (n - 1));
        return static_cast<T>(satAdd<T>(v, half) >> n);
    }
    for (int32_t i = 0; i < shift; ++i) {
        if (v == 0 || v == std::numeric_limits<T>::max() || v == std::numeric_limits<T>::min())
            break;
        v = satAdd<T>(v, v);
    }
    return v;
}

// ---------------------------------------------------------------- doubles

// armSatRoundFloatToS32: rounded half away from zero (x > 0: trunc(x + 0.5),
// else trunc(x - 0.5)), the offset value tested against the limit; NaN
// gives 0.
[[nodiscard]] inline int32_t satRoundFloatToS32(double x) {
    if (x > 0) {
        const double y = x + 0.5;
        return y > 2147483647.0 ? INT32_MAX : static_cast<int32_t>(y);
    }
    if (!(x <= 0)) return 0;  // NaN
    const double y = x - 0.5;
    return y < -2147483648.0 ? INT32_MIN : static_cast<int32_t>(y);
}

// Truncation toward zero of a double to T, clamped to T's range; NaN gives 0.
// The limits 2^(w-1) and -2^(w-1) are exact doubles; y in (lo - 1, hi)
// truncates into the range (for 64 bits lo - 1 rounds to lo itself, and
// y = lo gives the minimum either way).
template <typename T>
[[nodiscard]] inline T truncClamp(double y) {
    if (std::isnan(y)) return T{0};
    constexpr double lo = static_cast<double>(std::numeric_limits<T>::min());
    constexpr double hi = -lo;
    if (y >= hi) return std::numeric_limits<T>::max();
    if (y <= lo - 1.0) return std::numeric_limits<T>::min();
    return static_cast<T>(y);
}

// ---------------------------------------------------------------- wrap-around Q31

[[nodiscard]] inline int32_t wrap32(int64_t v) {
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(v)));
}
[[nodiscard]] inline int32_t wrapAdd(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}
[[nodiscard]] inline int32_t wrapSub(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}
[[nodiscard]] inline int32_t wrapNeg(int32_t a) {
    return static_cast<int32_t>(0u - static_cast<uint32_t>(a));
}
// a << s with the bits beyond 32 dropped.
[[nodiscard]] inline int32_t wrapShl(int32_t a, int s) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) << s);
}

// Q31 product rounded to nearest, exact halves up: (a b + 2^30) >> 31, low
// 32 bits (the FFT's products).
[[nodiscard]] inline int32_t mulQ31Round(int32_t a, int32_t b) {
    return wrap32((int64_t{a} * b + (int64_t{1} << 30)) >> 31);
}
// Q31 product rounded to nearest, exact halves down:
// (2 a b + 0x7FFFFFFF) >> 32 = (a b + 0x3FFFFFFF) >> 31, low 32 bits (the
// inverse MDCT's twiddle and window products).
[[nodiscard]] inline int32_t mulQ31RoundDown(int32_t a, int32_t b) {
    return wrap32((int64_t{a} * b + 0x3FFFFFFF) >> 31);
}

// (v + rounding) >> shift with a wrapping addition and an arithmetic shift.
[[nodiscard]] inline int32_t wrapRoundShiftRight(int32_t v, int32_t rounding, int shift) {
    return wrapAdd(v, rounding) >> shift;
}

// v limited to lo..hi (lo <= hi).
[[nodiscard]] inline int32_t clamp32(int32_t v, int32_t lo, int32_t hi) {
    return std::min(std::max(v, lo), hi);
}

}  // namespace aacd
