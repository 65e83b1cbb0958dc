// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// Saturating and rounding arithmetic shared by the spectral tools.
//
// Rounding of doubles is half away from zero: a positive x rounds as
// trunc(x + 0.5), zero and negative values as trunc(x - 0.5).  The
// saturating forms test the already offset value against the limit.  A NaN
// converts to 0; the non-saturating forms clamp to their 32-bit (S16, S32) or
// 64-bit (S64) range before any narrowing.
#pragma once

#include <cstdint>

#include "common/aacd_export.h"

extern "C" {

AACD_EXPORT int16_t armRoundFloatToS16(double x);
AACD_EXPORT int32_t armRoundFloatToS32(double x);
AACD_EXPORT int64_t armRoundFloatToS64(double x);
AACD_EXPORT int16_t armSatRoundFloatToS16(double x);
AACD_EXPORT int32_t armSatRoundFloatToS32(double x);
AACD_EXPORT uint16_t armSatRoundFloatToU16(double x);
AACD_EXPORT uint32_t armSatRoundFloatToU32(double x);
AACD_EXPORT int32_t armSignCheck(int16_t v);
AACD_EXPORT int32_t armClip(int32_t min, int32_t max, int32_t v);
AACD_EXPORT float armClip_F32(float min, float max, float v);
AACD_EXPORT uint32_t armShiftSat_F32(int32_t shift, uint32_t satBits, float v);
AACD_EXPORT int32_t armSwapElem(uint8_t *a, uint8_t *b, int32_t size);
AACD_EXPORT int32_t armMedianOf3(int32_t a, int32_t b, int32_t c);
AACD_EXPORT uint8_t armLogSize(uint16_t n);
AACD_EXPORT int32_t armSatAdd_S32(int32_t a, int32_t b);
AACD_EXPORT int64_t armSatAdd_S64(int64_t a, int64_t b);
AACD_EXPORT int32_t armSatSub_S32(int32_t a, int32_t b);
AACD_EXPORT int32_t armSatMac_S32(int32_t acc, int16_t a, int16_t b);
AACD_EXPORT int32_t armSatRoundLeftShift_S32(int32_t v, int32_t shift);
AACD_EXPORT int64_t armSatRoundLeftShift_S64(int64_t v, int32_t shift);
AACD_EXPORT int16_t armSatRoundRightShift_S32_S16(int32_t v, int32_t shift);
AACD_EXPORT int32_t armSatMulS16S32_S32(int16_t a, int32_t b);
AACD_EXPORT int32_t armSatMac_S16S32_S32(int32_t acc, int32_t b, int16_t a);
AACD_EXPORT int32_t armSatMulS32S32_S32(int32_t a, int32_t b);
AACD_EXPORT int32_t armIntDivAwayFromZero(int32_t num, int32_t den);

}  // extern "C"
