// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// Bit reader and writer against a plain bit-by-bit reference, the decoder's
// cached reader through and past the end of a block, bounded reads at a
// guard page, and the byte alignment of a decoder instance.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "bitstream/armCOMM_Bitstream.h"
#include "decoder/decoder.h"
#include "host.h"

namespace {

// Reference: n bits starting at absolute bit position pos, one at a time.
uint32_t refBits(const std::vector<uint8_t> &b, size_t pos, int n) {
    uint32_t v = 0;
    for (int i = 0; i < n; ++i) {
        const size_t bit = pos + static_cast<size_t>(i);
        const uint32_t x = bit / 8 < b.size() ? (b[bit / 8] >> (7 - bit % 8)) & 1u : 0u;
        v = (v << 1) | x;
    }
    return v;
}

}  // namespace

TEST(BitReader, MatchesReferenceForEveryWidthAndOffset) {
    std::mt19937 rng(1);
    std::vector<uint8_t> buf(256);
    for (auto &x : buf) x = static_cast<uint8_t>(rng());
    for (int trial = 0; trial < 20000; ++trial) {
        const size_t pos = rng() % (8 * 200);
        const int n = 1 + static_cast<int>(rng() % 32);
        const uint8_t *p = buf.data() + pos / 8;
        uint32_t off = pos % 8;
        const uint32_t expect = refBits(buf, pos, n);
        ASSERT_EQ(armLookAheadBits(&p, &off, n), expect);
        ASSERT_EQ(armGetBits(&p, &off, n), expect);
        ASSERT_EQ(static_cast<size_t>(p - buf.data()) * 8 + off, pos + n);
    }
}

// The decoder's cached reader: runs of random reads, skips, alignments and
// seeks (also backwards) from random starts through the end of a block and
// on past it (zero bits), against the reference.  Positions far past the end
// are held 64 bits beyond it.
TEST(BitReader, CachedReaderFollowsTheReferenceThroughAndPastTheEnd) {
    std::mt19937 rng(3);
    for (int trial = 0; trial < 400; ++trial) {
        std::vector<uint8_t> buf(1 + rng() % 64);
        for (auto &x : buf) x = static_cast<uint8_t>(rng());
        size_t pos = rng() % (8 * buf.size());
        aacd::BitReader r = aacd::bitReaderAt(buf.data(), static_cast<uint32_t>(buf.size()), static_cast<uint32_t>(pos));
        while (pos < 8 * buf.size() + 32) {
            const int op = static_cast<int>(rng() % 8);
            const int n = 1 + static_cast<int>(rng() % 32);
            if (op == 0) {
                aacd::bitSkip(r, n);
                pos += static_cast<size_t>(n);
            } else if (op == 1) {
                ASSERT_EQ(aacd::bitByteAlign(r), (8 - pos % 8) % 8);
                pos = (pos + 7) / 8 * 8;
            } else if (op == 2 && pos >= 5 && pos <= 8 * buf.size()) {
                pos -= 5;
                aacd::bitSeek(r, pos);
            } else {
                ASSERT_EQ(aacd::bitPeek(r, n), refBits(buf, pos, n)) << trial;
                ASSERT_EQ(aacd::bitGet(r, n), refBits(buf, pos, n)) << trial;
                pos += static_cast<size_t>(n);
            }
            ASSERT_EQ(aacd::bitIndex(r), pos);
            ASSERT_EQ(aacd::bitPastEnd(r), pos > 8 * buf.size());
        }
        // Far past the end the position is held 64 bits beyond it.
        aacd::bitSkip(r, 5000);
        ASSERT_EQ(aacd::bitIndex(r), 8 * buf.size() + 64);
        ASSERT_EQ(aacd::bitGet(r, 32), 0u);
    }
}

// Counts outside 1..32 read 0 (n < 1) or the whole window (n > 32) and still
// advance by n; an offset above 7 counts as whole bytes plus the remainder.
TEST(BitReader, EdgeCasesAndAnyCount) {
    const uint8_t b[] = {0x81, 0x42, 0x24, 0x18, 0xFF, 0x00, 0x00, 0x00, 0x00, 0x00};
    const std::vector<uint8_t> v(b, b + sizeof b);
    struct Case { uint32_t off; int32_t n; uint32_t value; size_t endBit; };
    for (const Case c : {Case{7, 32, (1u << 31) | (0x422418u << 7) | (0xFFu >> 1), 39}, Case{3, 0, 0, 3},
                         Case{3, -3, 0, 0}, Case{5, 33, refBits(v, 5, 32), 38}, Case{2, 40, refBits(v, 2, 32), 42},
                         Case{11, 12, refBits(v, 11, 12), 23}}) {
        const uint8_t *p = b;
        uint32_t off = c.off;
        EXPECT_EQ(armLookAheadBits(&p, &off, c.n), c.value) << c.n;
        EXPECT_EQ(armGetBits(&p, &off, c.n), c.value) << c.n;
        EXPECT_EQ(static_cast<size_t>(p - b) * 8 + off, c.endBit) << c.n;
        EXPECT_LT(off, 8u);
    }
    const uint8_t *p = b;
    uint32_t off = 6;
    armSkipBits(&p, &off, 3);
    EXPECT_TRUE(p == b + 1 && off == 1u);
    armByteAlign(&p, &off);
    armByteAlign(&p, &off);  // already aligned
    EXPECT_TRUE(p == b + 2 && off == 0u);
    const ArmVlc32 empty[] = {{0, 0}};
    EXPECT_EQ(armUnPackVLC32(&p, &off, empty), -1);
    EXPECT_EQ(p, b + 2);
    // 0x24 = 0010 0100: "1" and the over-long entry never match, "001" does.
    const ArmVlc32 list[] = {{1, 1}, {40, 0}, {3, 1}, {2, 0}, {0, 0}};
    EXPECT_EQ(armUnPackVLC32(&p, &off, list), 2);
    EXPECT_EQ(off, 3u);
}

// Random code sequences read back; the byte rules of a write; rejected
// arguments write nothing.
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
    }
    uint8_t b[4] = {0xFF, 0xFF, 0xFF, 0xFF};
    uint8_t *p = b;
    uint32_t off = 3;
    EXPECT_EQ(armPackBits(&p, &off, 2, 2), 0);  // keeps 111, writes 10, zeroes the rest
    EXPECT_TRUE(b[0] == 0xF0 && off == 5u);
    p = b + 1, off = 0;
    EXPECT_EQ(armPackBits(&p, &off, 0xA5, 8), 0);
    EXPECT_TRUE(b[1] == 0xA5 && b[2] == 0x00);  // the byte at the new position is written as 0
    EXPECT_TRUE(p == b + 2 && off == 0u);
    struct Case { uint32_t off; int32_t len; };
    for (const Case c : {Case{0, 0}, Case{3, 33}, Case{0, -1}, Case{5, INT32_MIN}, Case{8, 1}, Case{100, 4}}) {
        uint8_t d[8] = {0xA5, 0x5A, 0xC3, 0x3C, 0xA5, 0x5A, 0xC3, 0x3C};
        const std::vector<uint8_t> before(d, d + 8);
        p = d + 2, off = c.off;
        EXPECT_EQ(armPackBits(&p, &off, 0xFFFFFFFFu, c.len), -5) << c.off << " " << c.len;
        EXPECT_EQ(armPackVLC32(&p, &off, ArmVlc32{static_cast<uint8_t>(c.len), 0u}), -5);
        EXPECT_EQ(std::vector<uint8_t>(d, d + 8), before);
        EXPECT_TRUE(p == d + 2 && off == c.off);
    }
}

TEST(BitReader, InstanceByteAlignment) {
    aacdtest::Host h;
    ASSERT_EQ(h.status, 0);
    AacdDecoderState *st = h.cfg.state;
    const uint8_t b[4] = {0, 0, 0, 0};
    struct Case { uint32_t off, skipped; int32_t advance; };
    for (const Case c : {Case{0, 0, 0}, Case{3, 5, 1}, Case{7, 1, 1}}) {
        st->bitPos = aacd::bitReaderAt(b, sizeof b, 8 + c.off);
        EXPECT_EQ(AACD_bs_byte_align(st), c.skipped) << c.off;
        EXPECT_EQ(AACD_bs_byte_align(st), 0u);  // already aligned
        EXPECT_EQ(aacd::bitIndex(st->bitPos), 8u * (1 + c.advance)) << c.off;
    }
}

TEST(BitReader, BoundedReadsNeverTouchTheGuardPage) {
    const long page = sysconf(_SC_PAGESIZE);
    void *mem = mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(mem, MAP_FAILED);
    auto *base = static_cast<uint8_t *>(mem);
    ASSERT_EQ(mprotect(base + page, page, PROT_NONE), 0);
    std::mt19937 rng(4);
    for (int len = 0; len <= 24; ++len) {
        uint8_t *block = base + page - len;
        for (int i = 0; i < len; ++i) block[i] = static_cast<uint8_t>(rng());
        std::vector<uint8_t> copy(block, block + len);
        for (uint32_t bit = 0; bit < 8u * len + 40; ++bit) {
            aacd::BitReader pos = aacd::bitReaderAt(block, static_cast<uint32_t>(len), bit);
            ASSERT_EQ(aacd::bitPeek(pos, 32), refBits(copy, bit, 32)) << len << " " << bit;
            const ArmVlc32 zeros[] = {{4, 0}, {0, 0}};
            const int32_t idx = aacd::bitUnpackVlc(pos, zeros);
            ASSERT_EQ(idx == 0, refBits(copy, bit, 4) == 0);
            // Reading on in small steps refills right up to the guard page.
            for (uint32_t at = aacd::bitIndex(pos); at < 8u * len + 80; at += 7)
                ASSERT_EQ(aacd::bitGet(pos, 7), refBits(copy, at, 7)) << len << " " << at;
        }
    }
    munmap(mem, 2 * page);
}
