// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// Multi-level lookup tables of the twelve Huffman codebooks.
//
// The scale factor and spectral decoders resolve a code word from the 32-bit
// bit window at the current position with one root read (indexed by the top
// rootBits bits) and, for longer codes, one or two sub-table reads.  The
// tables are generated together with the code lists (tools/gen_codebooks.py)
// and give, for every bit pattern, exactly the code word that the linear scan
// of armUnPackVLC32 over the same codebook finds, with its decoded values.
#pragma once

#include <cstdint>

namespace aacd {

struct HuffLookup {
    const uint16_t *table;
    uint32_t rootBits;  // index bits of the root level (1..9)
    uint32_t maxLen;    // longest code word of the codebook
    uint32_t size;      // entries of the whole table
};

// Indexed by codebook number: 0 scale factors, 1..11 spectrum.
extern const HuffLookup kHuffLookup[12];

// Entry coding of the tables (layout in the generator).  A leaf holds in
// bits 14..10 the bits the code word takes, for the unsigned spectrum books
// with its sign bits (one per nonzero value), and a payload in bits 9..0:
// the index for the scale factor book, the decoded values (magnitudes for
// the unsigned books) for the spectrum books.
constexpr uint32_t kHuffSubTable = 0x8000u;
[[nodiscard]] constexpr uint32_t huffLength(uint32_t leaf) { return leaf >> 10; }
[[nodiscard]] constexpr uint32_t huffIndex(uint32_t leaf) { return leaf & 0x3FFu; }
// Value i of a spectrum book's leaf: 2-bit fields for the 4-tuple books
// (1..4), 5-bit fields for the pair books (5..11); the signed books (1, 2,
// 5, 6) hold two's complement values, the others magnitudes.
template <int CB>
[[nodiscard]] constexpr int32_t huffValue(uint32_t leaf, int i) {
    constexpr int width = CB <= 4 ? 2 : 5;
    constexpr bool isSigned = CB == 1 || CB == 2 || CB == 5 || CB == 6;
    if constexpr (isSigned) {
        // The field moved to the top and shifted back arithmetically: one
        // sign-extending bit-field extract.
        return static_cast<int32_t>(leaf << (32 - width * (i + 1))) >> (32 - width);
    } else {
        return static_cast<int32_t>((leaf >> (width * i)) & ((1u << width) - 1u));
    }
}

// Leaf entry for the code word at the top of window: 0 when no code word
// matches.  Reads no more bits than the codebook's longest code word.
[[nodiscard]] inline uint32_t huffLookup(const HuffLookup &book, uint32_t window) {
    uint32_t used = book.rootBits;
    uint32_t e = book.table[window >> (32u - used)];
    while ((e & kHuffSubTable) != 0u) {
        const uint32_t nb = ((e >> 12) & 7u) + 1u;
        e = book.table[(e & 0xFFFu) + ((window << used) >> (32u - nb))];
        used += nb;
    }
    return e;
}

// The same on the top bits of a 64-bit cache word.
[[nodiscard]] inline uint32_t huffLookup(const HuffLookup &book, uint64_t bits) {
    uint32_t used = book.rootBits;
    uint32_t e = book.table[bits >> (64u - used)];
    while ((e & kHuffSubTable) != 0u) {
        const uint32_t nb = ((e >> 12) & 7u) + 1u;
        e = book.table[(e & 0xFFFu) + ((bits << used) >> (64u - nb))];
        used += nb;
    }
    return e;
}

// The same for a spectrum book, whose codes resolve in the root or in one
// sub-table (the generator guarantees it): no loop.
[[nodiscard]] inline uint32_t huffLookupSpectrum(const HuffLookup &book, uint64_t bits) {
    const uint32_t root = book.rootBits;
    uint32_t e = book.table[bits >> (64u - root)];
    if ((e & kHuffSubTable) != 0u) {
        const uint32_t nb = ((e >> 12) & 7u) + 1u;
        e = book.table[(e & 0xFFFu) + ((bits << root) >> (64u - nb))];
    }
    return e;
}

}  // namespace aacd
