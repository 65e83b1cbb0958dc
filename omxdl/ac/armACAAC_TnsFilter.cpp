// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// All-pole TNS synthesis filter y[n] = x[n] - a[1] y[n-1] - ... - a[order]
// y[n-order] run in place over count coefficients, starting at pCoef and
// moving by step (+1 upward, -1 downward).  The history is cleared first.
// Coefficients are taken as dequantised values (times 1/32, exact) and the
// output is converted back times 32 with rounding half away from zero and
// saturation.  The tap sum is accumulated from the oldest tap to the newest,
// each tap as one fused multiply-add.
//
// Hardening of this exported helper: a null array or an order above 20
// leaves the coefficients untouched, and so does a count below 1 (the sample
// loop does not run); a negative order acts as order 0 (the tap loop does
// not run).
#include <cmath>
#include <cstdint>

#include "common/armCOMM_inline.h"
#include "omxdl/ac/armACAAC.h"

namespace {
constexpr int32_t kMaxOrder = 20;
}  // namespace

extern "C" {

AACD_EXPORT void armACAAC_TnsFilter(int32_t *pCoef, const double *pLpc, int32_t count,
                                    int32_t step, int32_t order) {
    if (pCoef == nullptr || pLpc == nullptr || order > kMaxOrder) return;
    double s[kMaxOrder + 1] = {};  // s[1] most recent output, s[0] stays 0
    int32_t *p = pCoef;
    for (int32_t n = 0; n < count; ++n, p += step) {
        double acc = 0.0;
        for (int32_t k = order; k >= 1; --k) {
            acc = std::fma(pLpc[k], s[k], acc);
            s[k] = s[k - 1];
        }
        const double x = static_cast<double>(*p) * 0.03125;
        const double y = x - acc;
        s[1] = y;
        *p = aacd::satRoundFloatToS32(y * 32.0);
    }
}

}  // extern "C"
