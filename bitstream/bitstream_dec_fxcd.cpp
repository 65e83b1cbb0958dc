// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// Byte alignment of the instance's own bit position.
#include "bitstream/armCOMM_Bitstream.h"
#include "decoder/decoder.h"

extern "C" AACD_EXPORT uint32_t AACD_bs_byte_align(AacdDecoderState *state) {
    return aacd::bitByteAlign(state->bitPos);
}
