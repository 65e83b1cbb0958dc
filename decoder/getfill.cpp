// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// Data stream elements, fill elements and extension payloads.
//
// In normal operation these elements carry nothing the decoder uses and are
// only stepped over.  In SBR hand-off mode the SBR extension payloads of a
// frame are collected for the host, which runs spectral band replication
// itself.  The counts in the stream are trusted: the frame driver detects a
// position that ran past the end of the block afterwards.
#include <cstdint>

#include "aacd.h"
#include "bitstream/armCOMM_Bitstream.h"
#include "decoder/decoder.h"

namespace {

constexpr uint32_t kExtSbrData = 13;
constexpr uint32_t kExtSbrDataCrc = 14;
constexpr int32_t kMaxSbrBytes = 268;

// Fill element count: 4 bits, escaped by 15 to 8 more bits plus 14.
int32_t readFillCount(aacd::BitReader &pos) {
    int32_t count = static_cast<int32_t>(aacd::bitGet(pos, 4));
    if (count == 15) count = static_cast<int32_t>(aacd::bitGet(pos, 8)) + 14;
    return count;
}

}  // namespace

extern "C" {

AACD_EXPORT int32_t AACD_getdata(int32_t *tagOut, int32_t *countOut, AacdDecoderState *state) {
    aacd::BitReader &pos = state->bitPos;
    *tagOut = static_cast<int32_t>(aacd::bitGet(pos, 4));
    const uint32_t align = aacd::bitGet(pos, 1);
    int32_t count = static_cast<int32_t>(aacd::bitGet(pos, 8));
    if (count == 255) count += static_cast<int32_t>(aacd::bitGet(pos, 8));
    *countOut = count;
    if (align) aacd::bitByteAlign(pos);
    aacd::bitSkip(pos, 8 * count);
    return count;
}

AACD_EXPORT int32_t AACD_extension_payload(int32_t count, AacdDecoderState *state) {
    aacd::BitReader &pos = state->bitPos;
    (void)aacd::bitGet(pos, 4);  // extension type: every type is skipped alike
    (void)aacd::bitGet(pos, 4);
    if (count > 1) aacd::bitSkip(pos, 8 * (count - 1));
    return count;
}

AACD_EXPORT void AACD_getfill(AacdDecoderState *state) {
    int32_t count = readFillCount(state->bitPos);
    while (count > 0) count -= AACD_extension_payload(count, state);
}

AACD_EXPORT void SBRD_getfill(int32_t prevElementId, AacdSbrLink *sbr) {
    aacd::BitReader &pos = sbr->state->bitPos;
    const int32_t count = readFillCount(pos);
    if (count == 0) return;
    const uint32_t type = aacd::bitGet(pos, 4);
    AacdSbrPayload *rec = sbr->payload;
    const int32_t n = rec->entry_count;
    if ((type == kExtSbrData || type == kExtSbrDataCrc) && count <= kMaxSbrBytes &&
        (prevElementId == 0 || prevElementId == 1) && n <= 1) {  // n: 0 at frame start
        AacdSbrPayloadEntry &e = rec->entries[n];
        e.payload[0] = static_cast<uint8_t>(aacd::bitGet(pos, 4));
        for (int32_t i = 1; i < count; ++i) e.payload[i] = static_cast<uint8_t>(aacd::bitGet(pos, 8));
        e.element_id = static_cast<uint32_t>(prevElementId);
        e.extension_type = type;
        e.byte_count = static_cast<uint32_t>(count);
        rec->entry_count = n + 1;
        return;
    }
    (void)aacd::bitGet(pos, 4);
    aacd::bitSkip(pos, 8 * (count - 1));
}

}  // extern "C"
