// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// Sampling-rate table and random sign table of the decoder.
#pragma once

#include <cstdint>

#include "common/aacd_export.h"

// One row of the sampling-rate table.  The band references point at the
// second entry of the band offset tables, so that they list band ends.
struct AacdSampleRateInfo {
    uint32_t samplingRate;  // Hz
    uint32_t numSwbLong;
    const uint16_t *longBandEnds;
    uint32_t numSwbShort;
    const uint16_t *shortBandEnds;
};

extern "C" {

// 16 rows, indexed by sampling-frequency index; rows 12..15 are all zero and
// the band references of every row are null (filled in the instance's copy).
AACD_EXPORT extern const AacdSampleRateInfo AACD_sampleRateTable[16];
// 512 random signs (+1 / -1) used when repeating a spectrum.
AACD_EXPORT extern const int8_t AACD_randomPhase[512];

}  // extern "C"
