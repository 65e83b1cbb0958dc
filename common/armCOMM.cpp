// Saturating and rounding arithmetic.  Conversions from double round half
// away from zero; the saturating forms test the already offset value against
// the limit written as a double.
#include "common/armCOMM.h"

#include <cstdint>
#include <limits>
#include <type_traits>

namespace {

constexpr int32_t kMax32 = std::numeric_limits<int32_t>::max();
constexpr int32_t kMin32 = std::numeric_limits<int32_t>::min();

template <typename T>
T satAdd(T a, T b) {
    using U = std::make_unsigned_t<T>;
    const T r = static_cast<T>(static_cast<U>(a) + static_cast<U>(b));
    if ((a >= 0) == (b >= 0) && (r >= 0) != (a >= 0))
        return a >= 0 ? std::numeric_limits<T>::max() : std::numeric_limits<T>::min();
    return r;
}

template <typename T>
T satSub(T a, T b) {
    using U = std::make_unsigned_t<T>;
    const T r = static_cast<T>(static_cast<U>(a) - static_cast<U>(b));
    if ((a >= 0) != (b >= 0) && (r >= 0) != (a >= 0))
        return a >= 0 ? std::numeric_limits<T>::max() : std::numeric_limits<T>::min();
    return r;
}

template <typename T>
T satRoundShift(T v, int32_t shift) {
    if (shift < 0) {
        const T half = static_cast<T>(T{1} << (-shift - 1));
        return static_cast<T>(satAdd<T>(v, half) >> -shift);
    }
    for (int32_t i = 0; i < shift; ++i) v = satAdd<T>(v, v);
    return v;
}

}  // namespace

extern "C" {

AACD_EXPORT int16_t armRoundFloatToS16(double x) {
    const int32_t r = x > 0 ? static_cast<int32_t>(x + 0.5) : static_cast<int32_t>(x - 0.5);
    return static_cast<int16_t>(static_cast<uint16_t>(static_cast<uint32_t>(r) & 0xFFFF));
}
AACD_EXPORT int32_t armRoundFloatToS32(double x) {
    return x > 0 ? static_cast<int32_t>(x + 0.5) : static_cast<int32_t>(x - 0.5);
}
AACD_EXPORT int64_t armRoundFloatToS64(double x) {
    return x > 0 ? static_cast<int64_t>(x + 0.5) : static_cast<int64_t>(x - 0.5);
}
AACD_EXPORT int16_t armSatRoundFloatToS16(double x) {
    if (x > 0) {
        const double y = x + 0.5;
        return y > 32767.0 ? int16_t{32767} : static_cast<int16_t>(y);
    }
    const double y = x - 0.5;
    return y < -32768.0 ? int16_t{-32768} : static_cast<int16_t>(y);
}
AACD_EXPORT int32_t armSatRoundFloatToS32(double x) {
    if (x > 0) {
        const double y = x + 0.5;
        return y > 2147483647.0 ? kMax32 : static_cast<int32_t>(y);
    }
    const double y = x - 0.5;
    return y < -2147483648.0 ? kMin32 : static_cast<int32_t>(y);
}
AACD_EXPORT uint16_t armSatRoundFloatToU16(double x) {
    const double y = x + 0.5;
    if (y > 65535.0) return 65535;
    return y < 0 ? uint16_t{0} : static_cast<uint16_t>(y);
}
AACD_EXPORT uint32_t armSatRoundFloatToU32(double x) {
    const double y = x + 0.5;
    if (y > 4294967295.0) return 4294967295u;
    return y < 0 ? 0u : static_cast<uint32_t>(y);
}
AACD_EXPORT int32_t armSignCheck(int16_t v) { return v > 0 ? 1 : (v < 0 ? -1 : 0); }
AACD_EXPORT int32_t armClip(int32_t min, int32_t max, int32_t v) {
    if (v > max) return max;
    if (v < min) return min;
    return v;
}
AACD_EXPORT float armClip_F32(float min, float max, float v) {
    if (v > max) return max;
    if (v < min) return min;
    return v;
}
AACD_EXPORT uint32_t armShiftSat_F32(int32_t shift, uint32_t satBits, float v) {
    if (v <= 0) return 0;
    float scale = 1.0f;
    for (int32_t i = 0; i < shift; ++i) scale *= 2.0f;
    for (int32_t i = 0; i > shift; --i) scale *= 0.5f;
    const float q = v / scale + 0.5f;
    const uint32_t limit = satBits >= 32 ? 0xFFFFFFFFu : ((1u << satBits) - 1u);
    if (q >= 4294967296.0f) return limit;
    const uint32_t t = static_cast<uint32_t>(q);
    return t < limit ? t : limit;
}
AACD_EXPORT int32_t armSwapElem(uint8_t *a, uint8_t *b, int32_t size) {
    if (a == nullptr || b == nullptr) return -5;
    for (int32_t i = 0; i < size; ++i) {
        const uint8_t t = a[i];
        a[i] = b[i];
        b[i] = t;
    }
    return 0;
}
AACD_EXPORT int32_t armMedianOf3(int32_t a, int32_t b, int32_t c) {
    const int32_t mx = a > b ? a : b;
    const int32_t mn = a < b ? a : b;
    const int32_t t = mx < c ? mx : c;
    return t > mn ? t : mn;
}
AACD_EXPORT uint8_t armLogSize(uint16_t n) {
    uint8_t bits = 0;
    while (n != 0) {
        ++bits;
        n = static_cast<uint16_t>(n >> 1);
    }
    return bits;
}
AACD_EXPORT int32_t armSatAdd_S32(int32_t a, int32_t b) { return satAdd<int32_t>(a, b); }
AACD_EXPORT int64_t armSatAdd_S64(int64_t a, int64_t b) { return satAdd<int64_t>(a, b); }
AACD_EXPORT int32_t armSatSub_S32(int32_t a, int32_t b) { return satSub<int32_t>(a, b); }
AACD_EXPORT int32_t armSatMac_S32(int32_t acc, int16_t a, int16_t b) {
    return armSatAdd_S32(acc, int32_t{a} * int32_t{b});
}
AACD_EXPORT int32_t armSatRoundLeftShift_S32(int32_t v, int32_t shift) {
    return satRoundShift<int32_t>(v, shift);
}
AACD_EXPORT int64_t armSatRoundLeftShift_S64(int64_t v, int32_t shift) {
    return satRoundShift<int64_t>(v, shift);
}
AACD_EXPORT int16_t armSatRoundRightShift_S32_S16(int32_t v, int32_t shift) {
    const int32_t r = armSatRoundLeftShift_S32(v, -shift);
    return static_cast<int16_t>(r > 32767 ? 32767 : (r < -32768 ? -32768 : r));
}
AACD_EXPORT int32_t armSatMulS16S32_S32(int16_t a, int32_t b) {
    const int32_t hi = int32_t{a} * (b >> 16);
    const int32_t lo = (int32_t{a} * (b & 0xFFFF)) >> 16;
    return armSatAdd_S32(hi, lo);
}
AACD_EXPORT int32_t armSatMac_S16S32_S32(int32_t acc, int32_t b, int16_t a) {
    const int32_t p = armSatMulS16S32_S32(a, b);
    int32_t addend;
    if (p > 32767) {
        addend = kMax32;
    } else if (p < -32768) {
        addend = kMin32;
    } else {
        addend = static_cast<int32_t>(static_cast<uint32_t>(static_cast<int64_t>(a) * b));
    }
    return armSatAdd_S32(acc, addend);
}
AACD_EXPORT int32_t armSatMulS32S32_S32(int32_t a, int32_t b) {
    const int32_t aH = a >> 16, aL = a & 0xFFFF;
    const int32_t bH = b >> 16, bL = b & 0xFFFF;
    const int32_t hh = static_cast<int32_t>(static_cast<uint32_t>(static_cast<int64_t>(aH) * bH));
    const int32_t hl = static_cast<int32_t>((static_cast<int64_t>(aH) * bL) >> 16);
    const int32_t lh = static_cast<int32_t>((static_cast<int64_t>(bH) * aL) >> 16);
    return armSatAdd_S32(armSatAdd_S32(hh, hl), lh);
}
AACD_EXPORT int32_t armIntDivAwayFromZero(int32_t num, int32_t den) {
    const double q = static_cast<double>(num) / static_cast<double>(den);
    return q >= 0 ? static_cast<int32_t>(q + 0.5) : static_cast<int32_t>(q - 0.5);
}

}  // extern "C"
