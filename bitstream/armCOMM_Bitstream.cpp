// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// Bit reading and writing, most significant bit first.
#include "bitstream/armCOMM_Bitstream.h"

#include <cstring>

namespace {

// 32-bit window from the five bytes at p, shifted by the bit offset.
inline uint32_t window5(const uint8_t *p, uint32_t offset) {
    const uint32_t w = (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) |
                       uint32_t{p[3]};
    return offset == 0 ? w : (w << offset) | (uint32_t{p[4]} >> (8 - offset));
}

// Window of the exported operations.  The bit offset is 0..7 for every valid
// position; a larger one is taken as whole bytes plus a remainder, which is
// how the advance below would have counted it, instead of shifting by more
// than the byte.
inline uint32_t exportedWindow(const uint8_t *p, uint32_t offset) {
    return window5(p + (offset >> 3), offset & 7);
}

// The top n bits of a window for n = 1..32; n < 1 gives 0 and n > 32 the
// whole window, so that no shift count leaves 0..31.
inline uint32_t topBits(uint32_t w, int32_t n) {
    if (n < 1) return 0;
    return n >= 32 ? w : w >> (32 - n);
}

// s = offset + n, formed in 64 bits so that no count can overflow the sum.
inline void advance(const uint8_t **pp, uint32_t *pOffset, int32_t n) {
    const int64_t s = int64_t{*pOffset} + n;
    *pp += s >> 3;
    *pOffset = static_cast<uint32_t>(s & 7);
}

}  // namespace

namespace aacd {

BitReader bitRefillTail(BitReader r) {
    while (r.avail < kRefillBits) {
        const uint64_t b = r.next < r.size ? r.base[r.next] : 0u;
        r.cache |= b << (56u - r.avail);
        ++r.next;
        r.avail += 8;
    }
    return r;
}

void bitSeek(BitReader &r, uint64_t index) {
    const uint64_t limit = uint64_t{8} * r.size + 64;
    if (index > limit) index = limit;
    r.next = static_cast<uint32_t>(index >> 3);
    r.cache = 0;
    r.avail = 0;
    bitRefill(r);
    bitDrop(r, static_cast<uint32_t>(index & 7));
}

}  // namespace aacd

extern "C" {

// n is 1 to 32; other counts read as described at topBits() and still
// advance by n.
AACD_EXPORT uint32_t armLookAheadBits(const uint8_t **ppBitStream, uint32_t *pOffset, int32_t n) {
    return topBits(exportedWindow(*ppBitStream, *pOffset), n);
}

AACD_EXPORT uint32_t armGetBits(const uint8_t **ppBitStream, uint32_t *pOffset, int32_t n) {
    const uint32_t v = topBits(exportedWindow(*ppBitStream, *pOffset), n);
    advance(ppBitStream, pOffset, n);
    return v;
}

AACD_EXPORT void armSkipBits(const uint8_t **ppBitStream, uint32_t *pOffset, int32_t n) {
    advance(ppBitStream, pOffset, n);
}

AACD_EXPORT void armByteAlign(const uint8_t **ppBitStream, uint32_t *pOffset) {
    if (*pOffset > 0) {
        ++*ppBitStream;
        *pOffset = 0;
    }
}

AACD_EXPORT int32_t armUnPackVLC32(const uint8_t **ppBitStream, uint32_t *pOffset,
                                   const ArmVlc32 *pCodeBook) {
    const uint32_t w = exportedWindow(*ppBitStream, *pOffset);
    for (int32_t i = 0; pCodeBook[i].codeLen != 0; ++i) {
        const uint32_t len = pCodeBook[i].codeLen;
        if (len > 32) continue;  // not a valid code length: never matches
        if ((w >> (32 - len)) == pCodeBook[i].codeWord) {
            advance(ppBitStream, pOffset, static_cast<int32_t>(len));
            return i;
        }
    }
    return -1;
}

AACD_EXPORT int32_t armPackBits(uint8_t **ppBitStream, uint32_t *pOffset, uint32_t codeWord,
                                int32_t codeLength) {
    const uint32_t o = *pOffset;
    if (o > 7 || codeLength < 1 || codeLength > 32) return -5;
    uint64_t v = uint64_t{codeWord} << (64 - codeLength);  // left-aligned in 64 bits
    uint8_t *p = *ppBitStream;
    const uint8_t kept = static_cast<uint8_t>(o == 0 ? 0 : (p[0] & (0xFF00u >> o)));
    p[0] = static_cast<uint8_t>(kept | static_cast<uint8_t>(v >> (56 + o)));
    int32_t remaining = codeLength - static_cast<int32_t>(8 - o);
    if (remaining < 0) {
        *pOffset = o + static_cast<uint32_t>(codeLength);
        return 0;
    }
    v <<= (8 - o);
    ++p;
    while (remaining > 7) {
        *p++ = static_cast<uint8_t>(v >> 56);
        v <<= 8;
        remaining -= 8;
    }
    *p = static_cast<uint8_t>(v >> 56);
    *ppBitStream = p;
    *pOffset = static_cast<uint32_t>(remaining);
    return 0;
}

AACD_EXPORT int32_t armPackVLC32(uint8_t **ppBitStream, uint32_t *pOffset, ArmVlc32 codeWord) {
    return armPackBits(ppBitStream, pOffset, codeWord.codeWord, codeWord.codeLen);
}

}  // extern "C"
