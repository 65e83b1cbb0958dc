// Multi-level lookup tables of the twelve Huffman codebooks.
//
// The scale factor and spectral decoders resolve a code word from the 32-bit
// bit window at the current position with one root read (indexed by the top
// rootBits bits) and, for longer codes, one or two sub-table reads.  The
// tables are generated together with the code lists (tools/gen_codebooks.py)
// and give, for every bit pattern, exactly the entry that the linear scan of
// armUnPackVLC32 over the same codebook finds.
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

// Entry coding of the tables.
constexpr uint32_t kHuffSubTable = 0x8000u;
[[nodiscard]] constexpr uint32_t huffLength(uint32_t leaf) { return leaf >> 9; }
[[nodiscard]] constexpr uint32_t huffIndex(uint32_t leaf) { return leaf & 0x1FFu; }

// Leaf entry for the code word at the top of window: code length in bits
// 14..9 and index in bits 8..0, or 0 when no code word matches.  Reads no
// more bits than the codebook's longest code word.
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

}  // namespace aacd
