// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// Bit reading and writing.
//
// Bits are taken most significant bit first within a byte, bytes in
// increasing address order.  The exported operations (armGetBits & co.) take
// a position as a byte reference plus a bit offset 0..7 (bits of that byte
// already consumed) and read exactly five bytes at the byte reference,
// unbounded.
//
// The decoder's parsers read through a BitReader instead: its position is a
// bit index counted from the start of the block, and a 64-bit cache holds the
// bits ahead of it, so that one refill serves several code words.  Reads are
// bounded by the block size: bytes at or past base + size read as zero and
// are never touched, so a corrupt block cannot make the decoder read outside
// the host's input, and no pointer is ever formed past it.
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

namespace aacd {

// Blocks are read up to this many bytes; anything beyond reads as zero.
constexpr uint32_t kMaxReaderBytes = 1u << 28;

// The decoder's bit reader.  The cache holds the stream's bits from the read
// position on, left-aligned; its top `avail` bits are valid and every bit
// below them is either zero or also the stream's own bit, so that a refill
// can OR whole words into it.  The bit index of the read position is
// 8 * next - avail.
struct BitReader {
    const uint8_t *base;  // first byte of the block
    uint64_t cache;
    uint32_t size;   // bytes of the block (at most kMaxReaderBytes)
    uint32_t next;   // index of the first byte not yet in the cache
    uint32_t avail;  // valid bits at the top of the cache (0..63)
};

// After a refill at least this many bits are valid.
constexpr uint32_t kRefillBits = 56;

// Refill near or past the end of the block, byte by byte.  The reader goes
// in and out by value, so that a caller's reader never has its address
// taken and can live in registers.
[[nodiscard]] BitReader bitRefillTail(BitReader r);

// Tops the cache up to 56..63 valid bits.
inline void bitRefill(BitReader &r) {
    if (r.next + 8u <= r.size) {
        uint64_t v;
        __builtin_memcpy(&v, r.base + r.next, 8);
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
        v = __builtin_bswap64(v);
#endif
        r.cache |= v >> r.avail;
        const uint32_t bytes = (63u - r.avail) >> 3;
        r.next += bytes;
        r.avail += 8u * bytes;
    } else {
        r = bitRefillTail(r);
    }
}

// Bit index of the read position, from the start of the block.
[[nodiscard]] inline uint32_t bitIndex(const BitReader &r) { return 8u * r.next - r.avail; }

// Moves the read position to bit `index` of the block (forward or back).
// Positions beyond the end are held at 64 bits past it: all they can read is
// zeros, and the index never overflows.
void bitSeek(BitReader &r, uint64_t index);

// A reader over the `size` bytes at base (at most kMaxReaderBytes of them
// are read), positioned at bit `index`.
[[nodiscard]] inline BitReader bitReaderAt(const uint8_t *base, uint32_t size,
                                           uint32_t index = 0) {
    BitReader r{base, 0, size < kMaxReaderBytes ? size : kMaxReaderBytes, 0, 0};
    if (index != 0) bitSeek(r, index);
    return r;
}

// Next n bits (1..32), position unchanged.
[[nodiscard]] inline uint32_t bitPeek(BitReader &r, int32_t n) {
    if (r.avail < static_cast<uint32_t>(n)) bitRefill(r);
    return static_cast<uint32_t>(r.cache >> (64 - n));
}
// Drops n bits that are in the cache (n <= avail).
inline void bitDrop(BitReader &r, uint32_t n) {
    r.cache <<= n;
    r.avail -= n;
}
// Advances by n bits (n >= 0, may exceed 32).  Skips are rare (element
// tags, alignment, fill payloads): always a seek.
inline void bitSkip(BitReader &r, int32_t n) { bitSeek(r, uint64_t{bitIndex(r)} + static_cast<uint32_t>(n)); }
// Next n bits (1..32); the position advances by n.
inline uint32_t bitGet(BitReader &r, int32_t n) {
    const uint32_t v = bitPeek(r, n);
    bitDrop(r, static_cast<uint32_t>(n));
    return v;
}
// Moves to the next byte boundary of the block when the position is not on
// one; returns the number of bits skipped.
inline uint32_t bitByteAlign(BitReader &r) {
    const uint32_t skipped = (8u - (bitIndex(r) & 7u)) & 7u;
    bitSkip(r, static_cast<int32_t>(skipped));
    return skipped;
}
// True when the position has moved past the end of the block.
[[nodiscard]] inline bool bitPastEnd(const BitReader &r) { return bitIndex(r) > 8u * r.size; }

}  // namespace aacd
