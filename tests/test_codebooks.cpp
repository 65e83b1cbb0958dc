// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// Huffman codebooks: the structure of the code lists (sizes, longest codes,
// prefix-free, complete), the tuple properties, and the generated lookup
// tables against the linear scan of armUnPackVLC32 for every bit pattern and
// for random windows at every bit offset.  That the lists are the generator's
// output for tools/tables/huffman_codebooks.tsv is checked by
// check_generated_tables.py.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "omxdl/ac/armACAAC.h"
#include "omxdl/ac/armACAAC_HuffLookup.h"

namespace {

constexpr int kCounts[12] = {121, 81, 81, 81, 81, 81, 81, 64, 64, 169, 169, 289};
constexpr int kLongest[12] = {19, 11, 9, 16, 12, 13, 11, 12, 10, 15, 12, 12};

// Runs armUnPackVLC32 on `window` placed at bit offset `offset` of a buffer
// filled with noise; returns the index and the bits it advanced.
std::pair<int32_t, int32_t> linearScan(uint32_t window, uint32_t offset, int cb, std::mt19937 &rng) {
    uint8_t buf[8];
    const uint64_t noise = (static_cast<uint64_t>(rng()) << 32) | rng();
    const uint64_t mask = uint64_t{0xFFFFFFFFu} << (32 - offset);
    const uint64_t bits = (noise & ~mask) | (static_cast<uint64_t>(window) << (32 - offset));
    for (int i = 0; i < 8; ++i) buf[i] = static_cast<uint8_t>(bits >> (56 - 8 * i));
    const uint8_t *p = buf;
    uint32_t off = offset;
    const int32_t idx = armUnPackVLC32(&p, &off, armACAAC_CodeBooks_C[cb]);
    return {idx, static_cast<int32_t>((p - buf) * 8 + off) - static_cast<int32_t>(offset)};
}

// The values a spectrum book's leaf gives, through the decoder's accessor.
template <int CB>
void leafValues(uint32_t leaf, int32_t *v) {
    for (int i = 0; i < (CB <= 4 ? 4 : 2); ++i) v[i] = aacd::huffValue<CB>(leaf, i);
}
using LeafValues = void (*)(uint32_t, int32_t *);
constexpr LeafValues kLeafValues[12] = {nullptr,          leafValues<1>, leafValues<2>,  leafValues<3>,
                                        leafValues<4>,    leafValues<5>, leafValues<6>,  leafValues<7>,
                                        leafValues<8>,    leafValues<9>, leafValues<10>, leafValues<11>};

// The tuple of index idx by the standard's numbering: digits of base m,
// less the offset for signed books.
std::vector<int32_t> tupleOf(int cb, int idx) {
    const bool uns = armACAAC_signCb[cb] != 0;
    const int lav = armACAAC_lavCb[cb];
    const int m = uns ? lav + 1 : 2 * lav + 1;
    const int dim = cb <= 4 ? 4 : 2;
    std::vector<int32_t> v(dim);
    for (int i = dim - 1; i >= 0; --i, idx /= m) v[i] = idx % m - (uns ? 0 : lav);
    return v;
}

class CodeBook : public ::testing::TestWithParam<int> {};

TEST_P(CodeBook, IsPrefixFreeAndComplete) {
    const int cb = GetParam();
    const ArmVlc32 *list = armACAAC_CodeBooks_C[cb];
    int longest = 0;
    uint64_t kraft = 0;  // in units of 2^-32
    for (int i = 0; i < kCounts[cb]; ++i) {
        ASSERT_TRUE(list[i].codeLen >= 1 && list[i].codeLen <= 32) << i;
        ASSERT_EQ(list[i].codeWord >> list[i].codeLen, 0u) << "code wider than its length";
        longest = std::max<int>(longest, list[i].codeLen);
        kraft += uint64_t{1} << (32 - list[i].codeLen);
        for (int j = 0; j < kCounts[cb]; ++j) {
            const int d = list[j].codeLen - list[i].codeLen;
            EXPECT_TRUE(i == j || d < 0 || (list[j].codeWord >> d) != list[i].codeWord) << i << " prefixes " << j;
        }
    }
    EXPECT_EQ(list[kCounts[cb]].codeLen, 0);  // terminator
    EXPECT_EQ(kraft, uint64_t{1} << 32);
    EXPECT_EQ(longest, kLongest[cb]);
    EXPECT_EQ(aacd::kHuffLookup[cb].maxLen, static_cast<uint32_t>(kLongest[cb]));
}

// Both searches look at no more than the longest code, so the top bits decide:
// every pattern of that many bits is tried (low bits random), then random
// windows; each result must also be the code word that prefixes the window.
// The lookup gives the index for the scale factor book and the decoded tuple
// for the spectrum books.
TEST_P(CodeBook, LookupEqualsLinearScan) {
    const int cb = GetParam();
    const int len = kLongest[cb];
    const ArmVlc32 *list = armACAAC_CodeBooks_C[cb];
    std::mt19937 rng(1234 + cb);
    const auto check = [&](uint32_t window, uint32_t offset) {
        const auto [idx, advanced] = linearScan(window, offset, cb, rng);
        const uint32_t leaf = cb == 0 ? aacd::huffLookup(aacd::kHuffLookup[cb], window)
                                      : aacd::huffLookupSpectrum(aacd::kHuffLookup[cb], uint64_t{window} << 32);
        ASSERT_TRUE(idx >= 0 && idx < kCounts[cb]) << "complete codebook";
        if (cb == 0) {
            ASSERT_EQ(static_cast<int32_t>(aacd::huffIndex(leaf)), idx) << window;
        } else {
            std::vector<int32_t> v(cb <= 4 ? 4 : 2);
            kLeafValues[cb](leaf, v.data());
            ASSERT_EQ(v, tupleOf(cb, idx)) << window;
        }
        // The leaf's length takes in the sign bits of an unsigned book.
        int32_t signBits = 0;
        if (cb > 0 && armACAAC_signCb[cb] != 0)
            for (const int32_t v : tupleOf(cb, idx)) signBits += v != 0;
        ASSERT_EQ(static_cast<int32_t>(aacd::huffLength(leaf)), advanced + signBits) << window;
        ASSERT_EQ(advanced, list[idx].codeLen);
        ASSERT_EQ(window >> (32 - list[idx].codeLen), list[idx].codeWord) << window;
    };
    for (uint32_t pattern = 0; pattern < (1u << len); ++pattern)
        check((pattern << (32 - len)) | (static_cast<uint32_t>(rng()) >> len), pattern & 7u);
    for (int n = 0; n < 50000; ++n) check(static_cast<uint32_t>(rng()), static_cast<uint32_t>(rng() & 7u));
}

INSTANTIATE_TEST_SUITE_P(AllCodebooks, CodeBook, ::testing::Range(0, 12));

TEST(CodeBookProperties, SignednessLargestValueAndPointerOrder) {
    constexpr uint8_t kSign[12] = {0, 0, 0, 1, 1, 0, 0, 1, 1, 1, 1, 1};
    constexpr uint8_t kLav[12] = {0, 1, 1, 2, 2, 4, 4, 7, 7, 12, 12, 16};
    const ArmVlc32 *books[12] = {armACAAC_codeBook0, armACAAC_codeBook1, armACAAC_codeBook2, armACAAC_codeBook3,
                                 armACAAC_codeBook4, armACAAC_codeBook5, armACAAC_codeBook6, armACAAC_codeBook7,
                                 armACAAC_codeBook8, armACAAC_codeBook9, armACAAC_codeBook10, armACAAC_codeBook11};
    for (int cb = 0; cb < 12; ++cb) {
        EXPECT_EQ(armACAAC_signCb[cb], kSign[cb]) << cb;
        EXPECT_EQ(armACAAC_lavCb[cb], kLav[cb]) << cb;
        EXPECT_EQ(armACAAC_CodeBooks_C[cb], books[cb]) << cb;
        if (cb == 0) continue;
        // The tuple alphabet of each spectrum codebook is exactly its code count.
        const int m = kSign[cb] ? kLav[cb] + 1 : 2 * kLav[cb] + 1;
        EXPECT_EQ(cb <= 4 ? m * m * m * m : m * m, kCounts[cb]) << cb;
    }
    // Index 60 of the scale factor book is a difference of 0: the 1-bit code.
    EXPECT_EQ(armACAAC_codeBook0[60].codeLen, 1);
    EXPECT_EQ(armACAAC_codeBook0[60].codeWord, 0u);
}

}  // namespace
