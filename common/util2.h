// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// Memory primitives used by all decoder code, and the block-normalisation
// helpers of the exported function set.
#pragma once

#include <cstdint>

#include "common/aacd_export.h"

extern "C" {

// Copies count bytes, byte by byte from the last to the first (so an
// overlapping move toward higher addresses is correct).  count < 1: nothing.
AACD_EXPORT void myMemCopy(void *dst, const void *src, int32_t count);
// Sets count bytes to value.  count < 1: nothing.
AACD_EXPORT void myMemSet(void *ptr, int32_t value, int32_t count);

AACD_EXPORT int32_t int2lfract(int32_t x);
AACD_EXPORT int32_t cf_abs_lf(int32_t x);
AACD_EXPORT int32_t cf_max_lf(int32_t a, int32_t b);
AACD_EXPORT int32_t cf_norm(int32_t *x);
AACD_EXPORT int32_t norm_lf(const int32_t *array, int32_t count);
AACD_EXPORT int32_t norm_lfarray(int32_t *array, int32_t count);

}  // extern "C"
