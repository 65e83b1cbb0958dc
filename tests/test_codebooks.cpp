// Huffman codebooks: the generated code lists against the source table,
// their structure (counts, longest codes, prefix-free, complete), the tuple
// properties, and the generated lookup tables against the linear scan of
// armUnPackVLC32 for every bit pattern.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "omxdl/ac/armACAAC.h"
#include "omxdl/ac/armACAAC_HuffLookup.h"

namespace {

struct Code {
    int len;
    uint32_t word;
};

// Code words per codebook, read from the source table at test time.
const std::map<int, std::map<int, Code>> &sourceTable() {
    static const std::map<int, std::map<int, Code>> table = [] {
        std::map<int, std::map<int, Code>> t;
        std::ifstream in(std::string(AACD_SOURCE_DIR) + "/tools/tables/huffman_codebooks.tsv");
        std::string line;
        while (std::getline(in, line)) {
            if (line.empty() || line[0] == '#' || line.rfind("codebook", 0) == 0) continue;
            std::istringstream fields(line);
            int cb = 0, idx = 0, len = 0;
            std::string hex;
            fields >> cb >> idx >> len >> hex;
            t[cb][idx] = Code{len, static_cast<uint32_t>(std::stoul(hex, nullptr, 16))};
        }
        return t;
    }();
    return table;
}

constexpr int kCounts[12] = {121, 81, 81, 81, 81, 81, 81, 64, 64, 169, 169, 289};
constexpr int kLongest[12] = {19, 11, 9, 16, 12, 13, 11, 12, 10, 15, 12, 12};

std::vector<Code> listOf(int cb) {
    std::vector<Code> codes;
    for (const ArmVlc32 *e = armACAAC_CodeBooks_C[cb]; e->codeLen != 0; ++e) {
        codes.push_back(Code{e->codeLen, e->codeWord});
    }
    return codes;
}

class CodeBook : public ::testing::TestWithParam<int> {};

TEST_P(CodeBook, MatchesSourceTableWithTerminator) {
    const int cb = GetParam();
    const auto &src = sourceTable().at(cb);
    ASSERT_EQ(static_cast<int>(src.size()), kCounts[cb]);
    const ArmVlc32 *list = armACAAC_CodeBooks_C[cb];
    for (int i = 0; i < kCounts[cb]; ++i) {
        ASSERT_EQ(src.count(i), 1u) << "index " << i;
        EXPECT_EQ(list[i].codeLen, src.at(i).len) << "index " << i;
        EXPECT_EQ(list[i].codeWord, src.at(i).word) << "index " << i;
    }
    EXPECT_EQ(list[kCounts[cb]].codeLen, 0);
    EXPECT_EQ(list[kCounts[cb]].codeWord, 0u);
}

TEST_P(CodeBook, CountAndLongestCode) {
    const int cb = GetParam();
    const auto codes = listOf(cb);
    EXPECT_EQ(static_cast<int>(codes.size()), kCounts[cb]);
    int longest = 0;
    for (const Code &c : codes) longest = std::max(longest, c.len);
    EXPECT_EQ(longest, kLongest[cb]);
    EXPECT_EQ(aacd::kHuffLookup[cb].maxLen, static_cast<uint32_t>(kLongest[cb]));
}

TEST_P(CodeBook, PrefixFreeAndComplete) {
    const int cb = GetParam();
    const auto codes = listOf(cb);
    uint64_t kraft = 0;  // in units of 2^-32
    for (size_t i = 0; i < codes.size(); ++i) {
        ASSERT_GE(codes[i].len, 1);
        ASSERT_LE(codes[i].len, 32);
        ASSERT_EQ(codes[i].word >> codes[i].len, 0u) << "code wider than its length";
        kraft += uint64_t{1} << (32 - codes[i].len);
        for (size_t j = 0; j < codes.size(); ++j) {
            if (i == j || codes[i].len > codes[j].len) continue;
            EXPECT_NE(codes[j].word >> (codes[j].len - codes[i].len), codes[i].word)
                << "code " << i << " is a prefix of code " << j;
        }
    }
    EXPECT_EQ(kraft, uint64_t{1} << 32);
}

// A bit window whose top bits are `pattern` (len bits) and whose remaining
// bits are filled from the generator.
uint32_t windowOf(uint32_t pattern, int len, std::mt19937 &rng) {
    const uint32_t low = len >= 32 ? 0u : static_cast<uint32_t>(rng()) >> len;
    return (pattern << (32 - len)) | low;
}

// Runs armUnPackVLC32 on the window placed at bit offset `offset` of a
// buffer; returns the index and the bits it advanced.
std::pair<int32_t, int32_t> linearScan(uint32_t window, uint32_t offset, int cb,
                                       std::mt19937 &rng) {
    uint8_t buf[8];
    const uint64_t noise = (static_cast<uint64_t>(rng()) << 32) | rng();
    const uint64_t windowMask = uint64_t{0xFFFFFFFFu} << (32 - offset);
    const uint64_t bits = (noise & ~windowMask) | (static_cast<uint64_t>(window) << (32 - offset));
    for (int i = 0; i < 8; ++i) buf[i] = static_cast<uint8_t>(bits >> (56 - 8 * i));
    const uint8_t *p = buf;
    uint32_t off = offset;
    const int32_t idx = armUnPackVLC32(&p, &off, armACAAC_CodeBooks_C[cb]);
    const int32_t advanced = static_cast<int32_t>((p - buf) * 8 + off) - static_cast<int32_t>(offset);
    return {idx, advanced};
}

TEST_P(CodeBook, LookupEqualsLinearScanForEveryPattern) {
    const int cb = GetParam();
    const int len = kLongest[cb];
    std::mt19937 rng(1234 + cb);
    const aacd::HuffLookup &book = aacd::kHuffLookup[cb];
    // Both searches look at no more than the longest code, so the top `len`
    // bits decide the result: every such pattern is tried.
    for (uint32_t pattern = 0; pattern < (1u << len); ++pattern) {
        const uint32_t window = windowOf(pattern, len, rng);
        const auto [idx, advanced] = linearScan(window, pattern & 7u, cb, rng);
        const uint32_t leaf = aacd::huffLookup(book, window);
        ASSERT_NE(idx, -1) << "complete codebook";
        ASSERT_EQ(static_cast<int32_t>(aacd::huffIndex(leaf)), idx) << "pattern " << pattern;
        ASSERT_EQ(static_cast<int32_t>(aacd::huffLength(leaf)), advanced) << "pattern " << pattern;
    }
}

TEST_P(CodeBook, LookupEqualsLinearScanForRandomWindows) {
    const int cb = GetParam();
    std::mt19937 rng(99 + cb);
    const aacd::HuffLookup &book = aacd::kHuffLookup[cb];
    for (int n = 0; n < 50000; ++n) {
        const uint32_t window = static_cast<uint32_t>(rng());
        const auto [idx, advanced] = linearScan(window, static_cast<uint32_t>(rng() & 7u), cb, rng);
        const uint32_t leaf = aacd::huffLookup(book, window);
        ASSERT_EQ(static_cast<int32_t>(aacd::huffIndex(leaf)), idx);
        ASSERT_EQ(static_cast<int32_t>(aacd::huffLength(leaf)), advanced);
    }
}

TEST_P(CodeBook, EveryCodeWordFindsItsIndex) {
    const int cb = GetParam();
    std::mt19937 rng(7 + cb);
    const auto codes = listOf(cb);
    for (size_t i = 0; i < codes.size(); ++i) {
        for (int rep = 0; rep < 4; ++rep) {
            const uint32_t window = windowOf(codes[i].word, codes[i].len, rng);
            const uint32_t leaf = aacd::huffLookup(aacd::kHuffLookup[cb], window);
            EXPECT_EQ(aacd::huffIndex(leaf), i);
            EXPECT_EQ(aacd::huffLength(leaf), static_cast<uint32_t>(codes[i].len));
            const auto [idx, advanced] = linearScan(window, static_cast<uint32_t>(rep), cb, rng);
            EXPECT_EQ(idx, static_cast<int32_t>(i));
            EXPECT_EQ(advanced, codes[i].len);
        }
    }
}

// Every sub-table reference stays inside its table and no chain of
// references uses more bits than the longest code.
TEST_P(CodeBook, LookupTableIsWellFormed) {
    const int cb = GetParam();
    const aacd::HuffLookup &book = aacd::kHuffLookup[cb];
    ASSERT_LE(book.rootBits, book.maxLen);
    struct Level {
        uint32_t base, bits, depth;
    };
    std::vector<Level> todo{{0, book.rootBits, book.rootBits}};
    uint32_t visited = 0;
    while (!todo.empty()) {
        const Level lv = todo.back();
        todo.pop_back();
        ASSERT_LE(lv.base + (1u << lv.bits), book.size);
        visited += 1u << lv.bits;
        for (uint32_t i = 0; i < (1u << lv.bits); ++i) {
            const uint32_t e = book.table[lv.base + i];
            if ((e & aacd::kHuffSubTable) != 0u) {
                const uint32_t nb = ((e >> 12) & 7u) + 1u;
                ASSERT_LE(lv.depth + nb, book.maxLen);
                todo.push_back({e & 0xFFFu, nb, lv.depth + nb});
            } else {
                ASSERT_NE(e, 0u) << "complete codebook leaves no empty entry";
                ASSERT_LE(aacd::huffLength(e), lv.depth);
                ASSERT_GT(aacd::huffLength(e), lv.depth - lv.bits);
            }
        }
    }
    EXPECT_EQ(visited, book.size) << "every entry belongs to exactly one level";
}

INSTANTIATE_TEST_SUITE_P(AllCodebooks, CodeBook, ::testing::Range(0, 12));

TEST(CodeBookProperties, SignednessAndLargestValue) {
    constexpr uint8_t kSign[12] = {0, 0, 0, 1, 1, 0, 0, 1, 1, 1, 1, 1};
    constexpr uint8_t kLav[12] = {0, 1, 1, 2, 2, 4, 4, 7, 7, 12, 12, 16};
    for (int cb = 0; cb < 12; ++cb) {
        EXPECT_EQ(armACAAC_signCb[cb], kSign[cb]) << cb;
        EXPECT_EQ(armACAAC_lavCb[cb], kLav[cb]) << cb;
    }
    // The tuple alphabet of each spectrum codebook is exactly its code count.
    for (int cb = 1; cb < 12; ++cb) {
        const int m = armACAAC_signCb[cb] ? armACAAC_lavCb[cb] + 1 : 2 * armACAAC_lavCb[cb] + 1;
        const int dim = cb <= 4 ? 4 : 2;
        int symbols = 1;
        for (int i = 0; i < dim; ++i) symbols *= m;
        EXPECT_EQ(symbols, kCounts[cb]) << cb;
    }
}

TEST(CodeBookProperties, PointerArrayOrderAndStorageSize) {
    const ArmVlc32 *expected[12] = {armACAAC_codeBook0, armACAAC_codeBook1, armACAAC_codeBook2,
                                    armACAAC_codeBook3, armACAAC_codeBook4, armACAAC_codeBook5,
                                    armACAAC_codeBook6, armACAAC_codeBook7, armACAAC_codeBook8,
                                    armACAAC_codeBook9, armACAAC_codeBook10, armACAAC_codeBook11};
    size_t bytes = 0;
    for (int cb = 0; cb < 12; ++cb) {
        EXPECT_EQ(armACAAC_CodeBooks_C[cb], expected[cb]);
        bytes += (kCounts[cb] + 1) * sizeof(ArmVlc32);
    }
    EXPECT_EQ(bytes, 10992u);
    EXPECT_EQ(sizeof(armACAAC_codeBook11), 290 * sizeof(ArmVlc32));
    // Index 60 of the scale factor book is a difference of 0: the 1-bit code.
    EXPECT_EQ(armACAAC_codeBook0[60].codeLen, 1);
    EXPECT_EQ(armACAAC_codeBook0[60].codeWord, 0u);
}

}  // namespace
