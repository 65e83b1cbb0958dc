// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// Decoding of one single channel, channel pair or LFE element up to
// dequantised spectra in coded order.
#pragma once

#include <cstdint>

#include "common/aacd_export.h"
#include "config/config.h"

extern "C" {

// windowShape: per window index (current, previous).  spectra: the six
// working spectrum buffers.  Returns 0 (first/last slot written) or -1.
AACD_EXPORT int32_t AACD_huffdecode(int32_t id, AacdMcInfo *map, uint8_t *windowSequence,
                                    uint8_t (*windowShape)[2], uint8_t *msFlag,
                                    int32_t *const *spectra, int32_t *firstOut,
                                    int32_t *lastOut, AacdDecoderState *state);

}  // extern "C"
