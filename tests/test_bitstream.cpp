// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// Bit reader and writer against a plain bit-by-bit reference: the exported
// operations at any count and offset, the decoder's cached reader through
// and past the end of a block, bounded reads at a guard page, and the
// writer's byte rules and rejected arguments.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <tuple>
#include <vector>

#include "bitstream/armCOMM_Bitstream.h"

namespace {

// n bits from absolute bit position pos, one at a time; zeros past the end.
uint32_t refBits(const uint8_t *b, size_t size, size_t pos, int n) {
    uint32_t v = 0;
    for (size_t bit = pos; bit < pos + static_cast<size_t>(n); ++bit)
        v = (v << 1) | (bit / 8 < size ? (b[bit / 8] >> (7 - bit % 8)) & 1u : 0u);
    return v;
}

// Counts outside 1..32 read 0 (n < 1) or the whole window (n > 32) and
// still advance by n, backwards too; an offset above 7 counts as whole bytes
// plus the remainder.  Alignment moves to the next byte unless on one.
TEST(BitReader, ExportedOperationsMatchTheReference) {
    std::mt19937 rng(1);
    std::vector<uint8_t> buf(256);
    for (auto &x : buf) x = static_cast<uint8_t>(rng());
    for (int trial = 0; trial < 40000; ++trial) {
        const long pos = 64 + static_cast<long>(rng() % (8 * 180));
        const int n = static_cast<int>(rng() % 45) - 4, op = static_cast<int>(rng() % 4);
        uint32_t off = static_cast<uint32_t>(pos % 8 + (op < 3 && trial % 4 == 0 ? 8 : 0));
        const uint8_t *p = buf.data() + pos / 8 - off / 8;
        long end = pos + (op == 0 ? 0 : op == 3 ? (8 - pos % 8) % 8 : n);
        const uint32_t expect = n < 1 ? 0 : refBits(buf.data(), buf.size(), pos, std::min(n, 32));
        uint32_t got = expect;
        if (op == 0) got = armLookAheadBits(&p, &off, n);
        if (op == 1) got = armGetBits(&p, &off, n);
        if (op == 2) armSkipBits(&p, &off, n);
        if (op == 3) armByteAlign(&p, &off);
        ASSERT_EQ(std::make_tuple(got, (p - buf.data()) * 8 + off), std::make_tuple(expect, end)) << op << " " << n;
    }
}

// The decoder's cached reader: runs of random reads, skips, alignments and
// seeks (also backwards) from random starts through the end of a block and
// on past it (zero bits); far past the end the position is held 64 bits
// beyond it.
TEST(BitReader, CachedReaderFollowsTheReferenceThroughAndPastTheEnd) {
    std::mt19937 rng(3);
    for (int trial = 0; trial < 400; ++trial) {
        std::vector<uint8_t> buf(1 + rng() % 64);
        for (auto &x : buf) x = static_cast<uint8_t>(rng());
        const size_t bits = 8 * buf.size();
        size_t pos = rng() % bits;
        aacd::BitReader r = aacd::bitReaderAt(buf.data(), static_cast<uint32_t>(buf.size()), static_cast<uint32_t>(pos));
        while (pos < bits + 32) {
            const int op = static_cast<int>(rng() % 8), n = 1 + static_cast<int>(rng() % 32);
            if (op == 0) aacd::bitSkip(r, n), pos += n;
            if (op == 1) {
                ASSERT_EQ(aacd::bitByteAlign(r), (8 - pos % 8) % 8);
                pos = (pos + 7) / 8 * 8;
            }
            if (op == 2 && pos >= 5 && pos <= bits) aacd::bitSeek(r, pos -= 5);
            if (op >= 3) {
                ASSERT_EQ(aacd::bitPeek(r, n), refBits(buf.data(), buf.size(), pos, n)) << trial;
                ASSERT_EQ(aacd::bitGet(r, n), refBits(buf.data(), buf.size(), pos, n)) << trial;
                pos += n;
            }
            ASSERT_EQ(aacd::bitIndex(r), pos);
            ASSERT_EQ(aacd::bitPastEnd(r), pos > bits);
        }
        aacd::bitSkip(r, 5000);
        ASSERT_EQ(aacd::bitIndex(r), bits + 64);
        ASSERT_EQ(aacd::bitGet(r, 32), 0u);
    }
}

// A block that ends at a page boundary: peeks, code matches and runs of
// reads from every bit of it and past it never touch the next page.
TEST(BitReader, BoundedReadsNeverTouchTheGuardPage) {
    const long page = sysconf(_SC_PAGESIZE);
    void *mem = mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(mem, MAP_FAILED);
    auto *base = static_cast<uint8_t *>(mem);
    ASSERT_EQ(mprotect(base + page, page, PROT_NONE), 0);
    std::mt19937 rng(4);
    const ArmVlc32 zeros[] = {{4, 0}, {0, 0}};
    for (int len = 0; len <= 24; ++len) {
        uint8_t *block = base + page - len;
        for (int i = 0; i < len; ++i) block[i] = static_cast<uint8_t>(rng());
        for (uint32_t bit = 0; bit < 8u * len + 40; ++bit) {
            aacd::BitReader pos = aacd::bitReaderAt(block, static_cast<uint32_t>(len), bit);
            ASSERT_EQ(aacd::bitPeek(pos, 32), refBits(block, len, bit, 32)) << len << " " << bit;
            ASSERT_EQ(aacd::bitUnpackVlc(pos, zeros), refBits(block, len, bit, 4) == 0 ? 0 : -1);
            for (uint32_t at = aacd::bitIndex(pos); at < 8u * len + 80; at += 7)
                ASSERT_EQ(aacd::bitGet(pos, 7), refBits(block, len, at, 7)) << len << " " << at;
        }
    }
    munmap(mem, 2 * page);
}

// A code list is searched in order: an empty list gives -1 and no move, a
// length above 32 never matches, one of 32 does.
TEST(BitReader, CodeListMatch) {
    const uint8_t b[] = {0x24, 0, 0, 0, 0};
    const ArmVlc32 empty[] = {{0, 0}}, list[] = {{1, 1}, {40, 0}, {32, 0x24000000u}, {3, 1}, {0, 0}};
    for (const auto &[book, index, end] : {std::make_tuple(empty, -1, 0), std::make_tuple(list, 2, 32)}) {
        const uint8_t *p = b;
        uint32_t off = 0;
        EXPECT_EQ(armUnPackVLC32(&p, &off, book), index);
        EXPECT_EQ((p - b) * 8 + off, end);
    }
}

// Random code sequences read back; the byte rules of a write; rejected
// arguments write nothing and keep the position.
TEST(BitWriter, RoundTripsByteRulesAndRejectedArguments) {
    std::mt19937 rng(2);
    for (int trial = 0; trial < 200; ++trial) {
        std::vector<uint8_t> buf(2048, 0xEE);
        std::vector<std::pair<uint32_t, int>> codes;
        uint8_t *w = buf.data();
        uint32_t woff = 0;
        for (int i = 0; i < 300; ++i) {
            const int n = 1 + static_cast<int>(rng() % 32);
            const uint32_t v = static_cast<uint32_t>(rng()) & (n == 32 ? ~0u : ((1u << n) - 1));
            ASSERT_EQ(armPackVLC32(&w, &woff, ArmVlc32{static_cast<uint8_t>(n), v}), 0);
            codes.emplace_back(v, n);
        }
        const uint8_t *r = buf.data();
        uint32_t roff = 0;
        for (const auto &c : codes) ASSERT_EQ(armGetBits(&r, &roff, c.second), c.first);
        EXPECT_TRUE(r == w && roff == woff);
        EXPECT_EQ(*w & (0xFF >> woff), 0);  // the rest of the last byte is zero
    }
    uint8_t b[4] = {0xFF, 0xFF, 0xFF, 0xFF};
    uint8_t *p = b;
    uint32_t off = 3;
    EXPECT_EQ(armPackBits(&p, &off, 2, 2), 0);  // keeps 111, writes 10, zeroes the rest
    EXPECT_TRUE(b[0] == 0xF0 && off == 5u);
    p = b + 1, off = 0;
    EXPECT_EQ(armPackBits(&p, &off, 0xA5, 8), 0);
    EXPECT_TRUE(b[1] == 0xA5 && b[2] == 0x00 && p == b + 2 && off == 0u);  // the byte at the new position is written as 0
    for (const auto &[o, len] : {std::make_pair(0u, 0), std::make_pair(3u, 33), std::make_pair(0u, -1),
                                 std::make_pair(5u, INT32_MIN), std::make_pair(8u, 1), std::make_pair(100u, 4)}) {
        uint8_t d[8] = {0xA5, 0x5A, 0xC3, 0x3C, 0xA5, 0x5A, 0xC3, 0x3C};
        p = d + 2, off = o;
        EXPECT_EQ(armPackBits(&p, &off, 0xFFFFFFFFu, len), -5) << o << " " << len;
        EXPECT_EQ(armPackVLC32(&p, &off, ArmVlc32{static_cast<uint8_t>(len), 0u}), -5);
        EXPECT_TRUE(p == d + 2 && off == o && d[2] == 0xC3 && d[3] == 0x3C);
    }
}

}  // namespace
