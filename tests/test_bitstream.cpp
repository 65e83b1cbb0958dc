// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// Bit reader and writer against a plain bit-by-bit reference: the exported
// operations at any count and offset, the decoder's cached reader through
// and past the end of a block that ends at a guard page, the writer's byte
// rules and rejected arguments.  Huffman codebooks: the code lists are
// prefix-free and complete with the known sizes and longest codes, and the
// generated lookup tables give what the linear scan of armUnPackVLC32 gives.
// (That the lists are the generator's output for the codebook table is
// checked by check_generated_tables.py.)
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <tuple>
#include <vector>

#include "bitstream/armCOMM_Bitstream.h"
#include "omxdl/ac/armACAAC.h"
#include "omxdl/ac/armACAAC_HuffLookup.h"

namespace {

// n bits from bit position pos of the size bytes at b, one at a time; zeros past the end.
uint32_t refBits(const uint8_t *b, size_t size, size_t pos, int n) {
    uint32_t v = 0;
    for (size_t bit = pos; bit < pos + static_cast<size_t>(n); ++bit) v = (v << 1) | (bit / 8 < size ? (b[bit / 8] >> (7 - bit % 8)) & 1u : 0u);
    return v;
}

// Counts outside 1..32 read 0 (n < 1) or the whole window (n > 32) and
// still advance by n, backwards too; an offset above 7 counts as whole bytes
// plus the remainder.  Alignment moves to the next byte unless on one.  A
// code list is searched in order: an empty list gives -1 and no move, a
// length above 32 never matches, one of 32 does.
TEST(BitReader, ExportedOperationsMatchTheReference) {
    std::mt19937 rng(1);
    std::vector<uint8_t> buf(256);
    for (auto &x : buf) x = static_cast<uint8_t>(rng());
    for (int trial = 0; trial < 40000; ++trial) {
        const long pos = 64 + static_cast<long>(rng() % (8 * 180));
        const int n = static_cast<int>(rng() % 45) - 4, op = static_cast<int>(rng() % 4);
        uint32_t off = static_cast<uint32_t>(pos % 8 + (op < 3 && trial % 4 == 0 ? 8 : 0)), got = 0;
        const uint8_t *p = buf.data() + pos / 8 - off / 8;
        if (op == 0) got = armLookAheadBits(&p, &off, n);
        if (op == 1) got = armGetBits(&p, &off, n);
        if (op == 2) armSkipBits(&p, &off, n);
        if (op == 3) armByteAlign(&p, &off);
        const uint32_t expect = op > 1 || n < 1 ? 0 : refBits(buf.data(), buf.size(), pos, std::min(n, 32));
        ASSERT_EQ(std::make_tuple(got, (p - buf.data()) * 8 + off), std::make_tuple(expect, pos + (op == 0 ? 0 : op == 3 ? (8 - pos % 8) % 8 : n)));
    }
    const uint8_t b[] = {0x24, 0, 0, 0, 0};
    const ArmVlc32 empty[] = {{0, 0}}, list[] = {{1, 1}, {40, 0}, {32, 0x24000000u}, {3, 1}, {0, 0}};
    for (const auto &[book, index, end] : {std::make_tuple(empty, -1, 0), std::make_tuple(list, 2, 32)}) {
        const uint8_t *p = b;
        uint32_t off = 0;
        EXPECT_EQ(armUnPackVLC32(&p, &off, book), index);
        EXPECT_EQ((p - b) * 8 + off, end);
    }
}

// The decoder's cached reader over blocks that end at a page boundary, the
// next page inaccessible: runs of random reads, skips, alignments and seeks
// (also backwards) from random starts through the end and on past it (zero
// bits); far past the end the position is held 64 bits beyond it.
TEST(BitReader, CachedReaderFollowsTheReferenceThroughAndPastTheEnd) {
    const long page = sysconf(_SC_PAGESIZE);
    auto *mem = static_cast<uint8_t *>(mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    ASSERT_TRUE(mem != MAP_FAILED && mprotect(mem + page, page, PROT_NONE) == 0);
    std::mt19937 rng(3);
    for (int trial = 0; trial < 2000; ++trial) {
        const size_t size = trial % 40, bits = 8 * size;
        uint8_t *buf = mem + page - size;
        for (size_t i = 0; i < size; ++i) buf[i] = static_cast<uint8_t>(rng());
        size_t pos = rng() % (bits + 8);
        aacd::BitReader r = aacd::bitReaderAt(buf, static_cast<uint32_t>(size), static_cast<uint32_t>(pos));
        while (pos < bits + 32) {
            const int op = static_cast<int>(rng() % 8), n = 1 + static_cast<int>(rng() % 32);
            uint32_t got = 0, want = op == 1 ? (8 - pos % 8) % 8 : op >= 3 ? refBits(buf, size, pos, n) : 0;
            if (op == 0) aacd::bitSkip(r, n);
            if (op == 1) got = aacd::bitByteAlign(r);
            if (op == 2 && pos >= 5 && pos <= bits) aacd::bitSeek(r, pos -= 5);
            if (op >= 3 && (got = aacd::bitPeek(r, n)) == want) got = aacd::bitGet(r, n);
            pos += op == 0 || op >= 3 ? n : op == 1 ? want : 0;
            ASSERT_EQ(std::make_tuple(got, aacd::bitIndex(r), aacd::bitPastEnd(r)), std::make_tuple(want, pos, pos > bits)) << trial;
        }
        aacd::bitSkip(r, 5000);
        ASSERT_EQ(aacd::bitIndex(r), bits + 64);
        ASSERT_EQ(aacd::bitGet(r, 32), 0u);
    }
    munmap(mem, 2 * page);
}

// Random code sequences read back, the rest of the last byte zero; the byte
// rules of a write; rejected arguments write nothing and keep the position.
TEST(BitWriter, RoundTripsByteRulesAndRejectedArguments) {
    std::mt19937 rng(2);
    for (int trial = 0; trial < 200; ++trial) {
        std::vector<uint8_t> buf(2048, 0xEE);
        std::vector<ArmVlc32> codes;
        uint8_t *w = buf.data();
        uint32_t woff = 0;
        for (int i = 0, n = 1; i < 300; ++i, n = 1 + static_cast<int>(rng() % 32)) {
            codes.push_back({static_cast<uint8_t>(n), static_cast<uint32_t>(rng()) & static_cast<uint32_t>((uint64_t{1} << n) - 1)});
            ASSERT_EQ(armPackVLC32(&w, &woff, codes.back()), 0);
        }
        const uint8_t *r = buf.data();
        uint32_t roff = 0;
        for (const ArmVlc32 &c : codes) ASSERT_EQ(armGetBits(&r, &roff, c.codeLen), c.codeWord);
        EXPECT_TRUE(r == w && roff == woff && (*w & (0xFF >> woff)) == 0);
    }
    uint8_t b[4] = {0xFF, 0xFF, 0xFF, 0xFF}, *p = b;
    uint32_t off = 3;
    EXPECT_EQ(armPackBits(&p, &off, 2, 2), 0);  // keeps 111, writes 10, zeroes the rest
    EXPECT_TRUE(b[0] == 0xF0 && p == b && off == 5u);
    p = b + 1, off = 0;
    EXPECT_EQ(armPackBits(&p, &off, 0xA5, 8), 0);  // the byte at the new position is written as 0
    EXPECT_TRUE(b[1] == 0xA5 && b[2] == 0x00 && p == b + 2 && off == 0u);
    for (const auto &[o, len] : {std::make_pair(0u, 0), std::make_pair(3u, 33), std::make_pair(0u, -1), std::make_pair(5u, INT32_MIN),
                                 std::make_pair(8u, 1), std::make_pair(100u, 4)}) {
        uint8_t d[8] = {0xA5, 0x5A, 0xC3, 0x3C, 0xA5, 0x5A, 0xC3, 0x3C};
        p = d + 2, off = o;
        EXPECT_EQ(armPackBits(&p, &off, 0xFFFFFFFFu, len), -5) << o << " " << len;
        EXPECT_EQ(armPackVLC32(&p, &off, ArmVlc32{static_cast<uint8_t>(len), 0u}), -5);
        EXPECT_TRUE(p == d + 2 && off == o && d[2] == 0xC3 && d[3] == 0x3C);
    }
}

constexpr int kCounts[12] = {121, 81, 81, 81, 81, 81, 81, 64, 64, 169, 169, 289};
constexpr int kLongest[12] = {19, 11, 9, 16, 12, 13, 11, 12, 10, 15, 12, 12};

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
        for (int j = 0; j < kCounts[cb]; ++j)
            EXPECT_TRUE(i == j || list[j].codeLen < list[i].codeLen || list[j].codeWord >> (list[j].codeLen - list[i].codeLen) != list[i].codeWord) << j;
    }
    EXPECT_EQ(std::make_tuple(list[kCounts[cb]].codeLen, kraft, longest, aacd::kHuffLookup[cb].maxLen),
              std::make_tuple(uint8_t{0}, uint64_t{1} << 32, kLongest[cb], static_cast<uint32_t>(kLongest[cb])));
}

int32_t leafValue(int cb, uint32_t leaf, int i) {
    using aacd::huffValue;
    constexpr int32_t (*kValue[12])(uint32_t, int) = {nullptr, huffValue<1>, huffValue<2>, huffValue<3>, huffValue<4>, huffValue<5>,
                                                     huffValue<6>, huffValue<7>, huffValue<8>, huffValue<9>, huffValue<10>, huffValue<11>};
    return cb == 0 ? static_cast<int32_t>(aacd::huffIndex(leaf)) : kValue[cb](leaf, i);
}

// For every pattern of the longest code's bits and for random windows at
// every bit offset, the lookup gives the index of the linear scan
// (scale factors) or its tuple by the standard's numbering (digits of base
// m, less lav in the signed books), and a length that takes in the sign bits
// of an unsigned book.
TEST_P(CodeBook, LookupEqualsLinearScan) {
    const int cb = GetParam(), len = kLongest[cb], lav = armACAAC_lavCb[cb], uns = armACAAC_signCb[cb], m = uns ? lav + 1 : 2 * lav + 1;
    std::mt19937 rng(1234 + cb);
    const auto check = [&](uint32_t window, uint32_t offset) {
        uint8_t buf[8];  // the window at the offset, noise around it
        const uint64_t noise = (static_cast<uint64_t>(rng()) << 32) | rng(), mask = uint64_t{0xFFFFFFFFu} << (32 - offset);
        for (int i = 0; i < 8; ++i) buf[i] = static_cast<uint8_t>(((noise & ~mask) | (uint64_t{window} << (32 - offset))) >> (56 - 8 * i));
        const uint8_t *p = buf;
        uint32_t off = offset;
        const int32_t idx = armUnPackVLC32(&p, &off, armACAAC_CodeBooks_C[cb]);
        ASSERT_TRUE(idx >= 0 && idx < kCounts[cb] && window >> (32 - armACAAC_CodeBooks_C[cb][idx].codeLen) == armACAAC_CodeBooks_C[cb][idx].codeWord);
        const uint32_t leaf = cb == 0 ? aacd::huffLookup(aacd::kHuffLookup[0], window) : aacd::huffLookupSpectrum(aacd::kHuffLookup[cb], uint64_t{window} << 32);
        int32_t bits = static_cast<int32_t>((p - buf) * 8 + off - offset);
        for (int i = cb == 0 ? 0 : cb <= 4 ? 3 : 1, rest = idx; i >= 0; --i, rest /= m) {
            const int32_t v = cb == 0 ? rest : rest % m - (uns ? 0 : lav);
            ASSERT_EQ(leafValue(cb, leaf, i), v) << window << " " << i;
            bits += uns && v != 0;
        }
        ASSERT_EQ(static_cast<int32_t>(aacd::huffLength(leaf)), bits) << window;
    };
    for (uint32_t pattern = 0; pattern < (1u << len); ++pattern) check((pattern << (32 - len)) | (static_cast<uint32_t>(rng()) >> len), pattern & 7u);
    for (int n = 0; n < 50000; ++n) check(static_cast<uint32_t>(rng()), static_cast<uint32_t>(rng() & 7u));
}

INSTANTIATE_TEST_SUITE_P(AllCodebooks, CodeBook, ::testing::Range(0, 12));

}  // namespace
