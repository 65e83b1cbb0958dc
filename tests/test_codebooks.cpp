// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// Huffman codebooks: the code lists are prefix-free and complete with the
// known sizes and longest codes, and the generated lookup tables give what
// the linear scan of armUnPackVLC32 gives, for every bit pattern of the
// longest code and for random windows at every bit offset.  That the lists
// are the generator's output for tools/tables/huffman_codebooks.tsv is
// checked by check_generated_tables.py.
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

template <int CB>
std::vector<int32_t> leafValues(uint32_t leaf) {
    std::vector<int32_t> v(CB <= 4 ? 4 : 2);
    for (size_t i = 0; i < v.size(); ++i) v[i] = aacd::huffValue<CB>(leaf, static_cast<int>(i));
    return v;
}
using LeafValues = std::vector<int32_t> (*)(uint32_t);
constexpr LeafValues kLeafValues[12] = {nullptr,        leafValues<1>, leafValues<2>, leafValues<3>,
                                        leafValues<4>,  leafValues<5>, leafValues<6>, leafValues<7>,
                                        leafValues<8>,  leafValues<9>, leafValues<10>, leafValues<11>};

class CodeBook : public ::testing::TestWithParam<int> {};

TEST_P(CodeBook, IsPrefixFreeAndComplete) {
    const int cb = GetParam();
    const ArmVlc32 *list = armACAAC_CodeBooks_C[cb];
    int longest = 0;
    uint64_t kraft = 0;  // in units of 2^-32
    for (int i = 0; i < kCounts[cb]; ++i) {
        ASSERT_TRUE(list[i].codeLen >= 1 && list[i].codeLen <= 32 && list[i].codeWord >> list[i].codeLen == 0) << i;
        longest = std::max<int>(longest, list[i].codeLen);
        kraft += uint64_t{1} << (32 - list[i].codeLen);
        for (int j = 0; j < kCounts[cb]; ++j) {
            const int d = list[j].codeLen - list[i].codeLen;
            EXPECT_TRUE(i == j || d < 0 || (list[j].codeWord >> d) != list[i].codeWord) << i << " prefixes " << j;
        }
    }
    EXPECT_EQ(std::make_tuple(list[kCounts[cb]].codeLen, kraft, longest, aacd::kHuffLookup[cb].maxLen),
              std::make_tuple(uint8_t{0}, uint64_t{1} << 32, kLongest[cb], static_cast<uint32_t>(kLongest[cb])));
}

// The lookup gives the index (scale factors) or the tuple of the index by
// the standard's numbering (digits of base m, less lav in the signed books),
// and a length that takes in the sign bits of an unsigned book.
TEST_P(CodeBook, LookupEqualsLinearScan) {
    const int cb = GetParam(), len = kLongest[cb], lav = armACAAC_lavCb[cb];
    const bool uns = armACAAC_signCb[cb] != 0;
    const int m = uns ? lav + 1 : 2 * lav + 1;
    std::mt19937 rng(1234 + cb);
    const auto check = [&](uint32_t window, uint32_t offset) {
        uint8_t buf[8];  // the window at the offset, noise around it
        const uint64_t noise = (static_cast<uint64_t>(rng()) << 32) | rng(), mask = uint64_t{0xFFFFFFFFu} << (32 - offset);
        const uint64_t bits = (noise & ~mask) | (static_cast<uint64_t>(window) << (32 - offset));
        for (int i = 0; i < 8; ++i) buf[i] = static_cast<uint8_t>(bits >> (56 - 8 * i));
        const uint8_t *p = buf;
        uint32_t off = offset;
        const int32_t idx = armUnPackVLC32(&p, &off, armACAAC_CodeBooks_C[cb]);
        ASSERT_TRUE(idx >= 0 && idx < kCounts[cb]) << window;
        const uint32_t leaf = cb == 0 ? aacd::huffLookup(aacd::kHuffLookup[0], window)
                                      : aacd::huffLookupSpectrum(aacd::kHuffLookup[cb], uint64_t{window} << 32);
        std::vector<int32_t> tuple(cb == 0 ? 1 : cb <= 4 ? 4 : 2);
        int32_t signs = 0;
        for (int i = static_cast<int>(tuple.size()) - 1, rest = idx; i >= 0; --i, rest /= m) {
            tuple[i] = cb == 0 ? rest : rest % m - (uns ? 0 : lav);
            signs += uns && tuple[i] != 0;
        }
        ASSERT_EQ(cb == 0 ? std::vector<int32_t>{static_cast<int32_t>(aacd::huffIndex(leaf))} : kLeafValues[cb](leaf), tuple) << window;
        ASSERT_EQ(static_cast<int32_t>(aacd::huffLength(leaf)), (p - buf) * 8 + off - offset + signs) << window;
        ASSERT_EQ(window >> (32 - armACAAC_CodeBooks_C[cb][idx].codeLen), armACAAC_CodeBooks_C[cb][idx].codeWord);
    };
    for (uint32_t pattern = 0; pattern < (1u << len); ++pattern)
        check((pattern << (32 - len)) | (static_cast<uint32_t>(rng()) >> len), pattern & 7u);
    for (int n = 0; n < 50000; ++n) check(static_cast<uint32_t>(rng()), static_cast<uint32_t>(rng() & 7u));
}

INSTANTIATE_TEST_SUITE_P(AllCodebooks, CodeBook, ::testing::Range(0, 12));

}  // namespace
