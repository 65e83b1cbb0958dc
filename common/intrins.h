// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// Word-clear helpers built on myMemSet.
#pragma once

#include <cstdint>

#include "common/aacd_export.h"

extern "C" {

AACD_EXPORT void AACD_fltclr(void *ptr, int32_t n);
AACD_EXPORT void AACD_lfractclr(void *ptr, int32_t n);

}  // extern "C"
