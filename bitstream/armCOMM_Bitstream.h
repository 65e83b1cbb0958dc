// Bit reading and writing.
//
// Bits are taken most significant bit first within a byte, bytes in
// increasing address order.  A position is a byte reference plus a bit offset
// 0..7 (bits of that byte already consumed).
//
// The exported two-reference operations (armGetBits & co.) read exactly five
// bytes at the byte reference, unbounded.  The decoder's parsers instead work
// on an ArmBitPosition that may carry an end bound: bytes at or past the end
// read as zero and are never touched, so a corrupt block cannot make the
// decoder read outside the host's input.
#pragma once

#include <cstdint>

#include "common/aacd_export.h"

// One entry of a variable-length code list: code length 1..32 (0 ends the
// list) and the code word right-aligned.  Entries are 8 bytes apart.
struct ArmVlc32 {
    uint8_t codeLen;
    uint32_t codeWord;
};
static_assert(sizeof(ArmVlc32) == 8, "code list entries are 8 bytes apart");

// Position of the decoder's parsers.  pEnd is the first byte that is not part
// of the input, or null for an unbounded position.
struct ArmBitPosition {
    const uint8_t *pByte;
    uint32_t offset;
    const uint8_t *pEnd;
};

extern "C" {

AACD_EXPORT uint32_t armLookAheadBits(const uint8_t **ppBitStream, uint32_t *pOffset, int32_t n);
AACD_EXPORT uint32_t armGetBits(const uint8_t **ppBitStream, uint32_t *pOffset, int32_t n);
AACD_EXPORT void armSkipBits(const uint8_t **ppBitStream, uint32_t *pOffset, int32_t n);
AACD_EXPORT void armByteAlign(const uint8_t **ppBitStream, uint32_t *pOffset);
AACD_EXPORT int32_t armUnPackVLC32(const uint8_t **ppBitStream, uint32_t *pOffset,
                                   const ArmVlc32 *pCodeBook);
AACD_EXPORT int32_t armPackBits(uint8_t **ppBitStream, uint32_t *pOffset, uint32_t codeWord,
                                int32_t codeLength);
AACD_EXPORT int32_t armPackVLC32(uint8_t **ppBitStream, uint32_t *pOffset, ArmVlc32 codeWord);

}  // extern "C"

// Bounded reading on an ArmBitPosition (internal to the library).  Same
// results as the exported operations when pEnd is null or far enough away.
namespace aacd {

// The 32-bit window at the position (five bytes b0..b4, bytes at or past
// pEnd reading as zero).
uint32_t bitWindow(const ArmBitPosition &pos);
// Next n bits (1..32), position unchanged.
inline uint32_t bitPeek(const ArmBitPosition &pos, int32_t n) {
    return bitWindow(pos) >> (32 - n);
}
// Advances by n bits (n >= 0, may exceed 32).
inline void bitSkip(ArmBitPosition &pos, int32_t n) {
    const int32_t s = static_cast<int32_t>(pos.offset) + n;
    pos.pByte += s >> 3;
    pos.offset = static_cast<uint32_t>(s & 7);
}
// Next n bits (1..32); the position advances by n.
inline uint32_t bitGet(ArmBitPosition &pos, int32_t n) {
    const uint32_t v = bitPeek(pos, n);
    bitSkip(pos, n);
    return v;
}
// Moves to the start of the next byte when the offset is above 0; returns the
// number of bits skipped.
inline uint32_t bitByteAlign(ArmBitPosition &pos) {
    if (pos.offset == 0) return 0;
    const uint32_t skipped = 8 - pos.offset;
    ++pos.pByte;
    pos.offset = 0;
    return skipped;
}
// Index of the first entry of the code list that matches the next bits, with
// the position advanced past it, or -1 (position unchanged).  Linear scan.
int32_t bitUnpackVlc(ArmBitPosition &pos, const ArmVlc32 *pCodeBook);
// True when the position has moved past the end bound (never for an
// unbounded position).
inline bool bitPastEnd(const ArmBitPosition &pos) {
    return pos.pEnd != nullptr &&
           (pos.pByte > pos.pEnd || (pos.pByte == pos.pEnd && pos.offset > 0));
}

}  // namespace aacd
