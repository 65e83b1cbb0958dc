// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// Conversion of the quantised TNS coefficients of one filter into the
// direct-form LPC coefficients a[0..order] (a[0] = 1): each coefficient is
// dequantised through the sine table and the reflection coefficients are
// turned into direct form by the step-up recursion
//     a_m[i] = a_(m-1)[i] + k[m-1] * a_(m-1)[m-i],  a_m[m] = k[m-1],
// every product-plus-sum evaluated as one fused multiply-add.
//
// Statuses: 0; -153 for a coefficient outside -8..7 (nothing written).
// Hardening of this exported helper: null arrays give -5 and orders above 20
// (the largest the bitstream can carry) give -155 and a resolution other than
// 3 or 4 gives -154, nothing written.
#include <cmath>
#include <cstdint>

#include "omxdl/ac/armACAAC.h"

namespace {
constexpr int32_t kMaxOrder = 20;
}  // namespace

extern "C" {

AACD_EXPORT int32_t armACAAC_TnsDecodeCoef(const int8_t *pCoef, double *pLpc,
                                           int32_t resolution, int32_t order) {
    if (pLpc == nullptr) return omxsts::kBadArg;
    if (order < 1) {
        pLpc[0] = 1.0;
        return omxsts::kNoErr;
    }
    if (pCoef == nullptr) return omxsts::kBadArg;
    if (order > kMaxOrder) return omxsts::kTnsOrder;
    if (resolution != 3 && resolution != 4) return omxsts::kTnsCoefRes;
    double k[kMaxOrder];
    for (int32_t i = 0; i < order; ++i) {
        const int32_t c = pCoef[i];
        if (c < -8 || c > 7) return omxsts::kTnsCoef;
        k[i] = armACAAC_SinLookUp[2 * (c + 8) + resolution - 3];
    }
    double a[kMaxOrder + 1];
    double b[kMaxOrder + 1];
    a[0] = 1.0;
    for (int32_t m = 1; m <= order; ++m) {
        const double km = k[m - 1];
        for (int32_t i = 1; i < m; ++i) b[i] = std::fma(km, a[m - i], a[i]);
        for (int32_t i = 1; i < m; ++i) a[i] = b[i];
        a[m] = km;
    }
    for (int32_t i = 0; i <= order; ++i) pLpc[i] = a[i];
    return omxsts::kNoErr;
}

}  // extern "C"
