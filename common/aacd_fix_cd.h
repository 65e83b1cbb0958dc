// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// Fractional arithmetic emulation of a 16/32-bit fixed-point DSP with a
// 64-bit accumulator: lfract = Q31 in 32 bits, sfract = Q15 in 16 bits,
// acc = 64-bit signed accumulator.
#pragma once

#include <cstdint>

#include "common/aacd_export.h"

extern "C" {

AACD_EXPORT int32_t aacd_lfract2long(int32_t x);
AACD_EXPORT uint32_t aacd_lfract2shortint(int32_t x);
AACD_EXPORT int16_t aacd_lfract2sfract(int32_t x, int16_t *out);
AACD_EXPORT void aacd_mvi2acc(int32_t x, int64_t *acc);
AACD_EXPORT void aacd_lsl(int32_t *p, int32_t n);
AACD_EXPORT void aacd_lsr(int32_t *p, int32_t n);
AACD_EXPORT void aacd_asll_l(int32_t *p, int16_t n);
AACD_EXPORT void aacd_asl16_l(int32_t *p);
AACD_EXPORT void aacd_asl16_acc(int64_t *acc);
AACD_EXPORT void aacd_asr16_acc(int64_t *acc);
AACD_EXPORT int64_t aacd_get_acc_msbs(int64_t acc, int32_t n);
AACD_EXPORT int32_t aacd_or(int32_t a, int32_t b, int32_t *out);
AACD_EXPORT int32_t aacd_and(int32_t a, int32_t b, int32_t *out);
AACD_EXPORT void aacd_neg(int32_t *p);
AACD_EXPORT int32_t aacd_test_val(int32_t x);
AACD_EXPORT int32_t aacd_cmp(int32_t a, int32_t b);
AACD_EXPORT int64_t aacd_saturate(int32_t ignored, int64_t *acc);
AACD_EXPORT int32_t aacd_clb_l(int32_t x);
AACD_EXPORT int32_t aacd_norm(int64_t *acc);
AACD_EXPORT void aacd_mpy(int16_t a, int16_t b, int64_t *acc);
AACD_EXPORT void aacd_impyl_ss(int16_t a, int16_t b, int64_t *acc);
AACD_EXPORT void aacd_impyw_ss(int32_t a, int32_t b, int32_t *out);
AACD_EXPORT void aacd_mpy_sl(int16_t a, int32_t b, int64_t *acc);
AACD_EXPORT int32_t aacd_mpy_lstore(int32_t a, int32_t b);
AACD_EXPORT void aacd_mpy_ll_full(int32_t a, int32_t b, int64_t *acc);
AACD_EXPORT void aacd_rnd(int64_t *acc);
AACD_EXPORT void aacd_macr_ss(int16_t a, int16_t b, int64_t *acc);

}  // extern "C"
