// Bit reader and writer against a plain bit-by-bit reference, bounded reads
// at a guard page, and the arithmetic and memory primitives at their limits.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "bitstream/armCOMM_Bitstream.h"
#include "common/armCOMM.h"
#include "common/intrins.h"
#include "common/util2.h"

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
        ArmBitPosition bp{buf.data() + pos / 8, static_cast<uint32_t>(pos % 8), buf.data() + buf.size()};
        ASSERT_EQ(aacd::bitGet(bp, n), expect);
    }
}

TEST(BitReader, EdgeCases) {
    const uint8_t b[] = {0x81, 0x42, 0x24, 0x18, 0xFF, 0x00, 0x00, 0x00, 0x00};
    const uint8_t *p = b;
    uint32_t off = 7;
    EXPECT_EQ(armGetBits(&p, &off, 32), (1u << 31) | (0x422418u << 7) | (0xFFu >> 1));
    EXPECT_EQ(p, b + 4);
    EXPECT_EQ(off, 7u);
    p = b;
    off = 6;
    armSkipBits(&p, &off, 3);
    EXPECT_EQ(p, b + 1);
    EXPECT_EQ(off, 1u);
    armByteAlign(&p, &off);
    EXPECT_EQ(p, b + 2);
    EXPECT_EQ(off, 0u);
    armByteAlign(&p, &off);
    EXPECT_EQ(p, b + 2);
    const ArmVlc32 empty[] = {{0, 0}};
    EXPECT_EQ(armUnPackVLC32(&p, &off, empty), -1);
    EXPECT_EQ(p, b + 2);
    // 0x24 = 0010 0100: codes "1" (no), "001" (yes, index 1).
    const ArmVlc32 list[] = {{1, 1}, {3, 1}, {2, 0}, {0, 0}};
    EXPECT_EQ(armUnPackVLC32(&p, &off, list), 1);
    EXPECT_EQ(off, 3u);
}

TEST(BitReader, ReadingThirtyTwoBitsAtOffsetSeven) {
    const uint8_t b[] = {0x01, 0x23, 0x45, 0x67, 0x89};
    const uint8_t *p = b;
    uint32_t off = 7;
    // Last bit of b0, all of b1..b3, top seven bits of b4.
    const uint32_t expect = (1u << 31) | (0x234567u << 7) | (0x89u >> 1);
    EXPECT_EQ(armGetBits(&p, &off, 32), expect);
    EXPECT_EQ(p, b + 4);
    EXPECT_EQ(off, 7u);
}

TEST(BitWriter, RoundTripsRandomCodeSequences) {
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
        EXPECT_EQ(r, w);
        EXPECT_EQ(roff, woff);
    }
}

TEST(BitWriter, ByteRulesAndBadArguments) {
    uint8_t b[4] = {0xFF, 0xFF, 0xFF, 0xFF};
    uint8_t *p = b;
    uint32_t off = 3;
    EXPECT_EQ(armPackBits(&p, &off, 2, 2), 0);  // keeps 111, writes 10, zeroes the rest
    EXPECT_EQ(b[0], 0xF0);
    EXPECT_EQ(off, 5u);
    p = b + 1;
    off = 0;
    EXPECT_EQ(armPackBits(&p, &off, 0xA5, 8), 0);
    EXPECT_EQ(b[1], 0xA5);
    EXPECT_EQ(b[2], 0x00);  // the byte at the new position is written as 0
    EXPECT_EQ(p, b + 2);
    EXPECT_EQ(off, 0u);
    EXPECT_EQ(armPackBits(&p, &off, 1, 0), -5);
    EXPECT_EQ(armPackBits(&p, &off, 1, 33), -5);
    off = 8;
    EXPECT_EQ(armPackBits(&p, &off, 1, 1), -5);
}

TEST(BitReader, BoundedReadsNeverTouchTheGuardPage) {
    const long page = sysconf(_SC_PAGESIZE);
    void *mem = mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(mem, MAP_FAILED);
    auto *base = static_cast<uint8_t *>(mem);
    ASSERT_EQ(mprotect(base + page, page, PROT_NONE), 0);
    for (int len = 0; len <= 6; ++len) {
        uint8_t *block = base + page - len;
        std::memset(block, 0xFF, len);
        std::vector<uint8_t> copy(block, block + len);
        for (uint32_t bit = 0; bit < 8u * len + 40; ++bit) {
            ArmBitPosition pos{block + bit / 8, bit % 8, block + len};
            ASSERT_EQ(aacd::bitPeek(pos, 32), refBits(copy, bit, 32)) << len << " " << bit;
            const ArmVlc32 zeros[] = {{4, 0}, {0, 0}};
            const int32_t idx = aacd::bitUnpackVlc(pos, zeros);
            ASSERT_EQ(idx == 0, refBits(copy, bit, 4) == 0);
        }
    }
    munmap(mem, 2 * page);
}

TEST(Arithmetic, RoundingAndSaturationLimits) {
    EXPECT_EQ(armSatRoundFloatToS32(2147483646.6), INT32_MAX);
    EXPECT_EQ(armSatRoundFloatToS32(2147483646.4), 2147483646);
    EXPECT_EQ(armSatRoundFloatToS32(-2147483647.6), INT32_MIN);
    EXPECT_EQ(armSatRoundFloatToS32(1e300), INT32_MAX);
    EXPECT_EQ(armSatRoundFloatToS32(-1e300), INT32_MIN);
    for (double h : {0.5, 1.5, 2.5, 1000.5}) {
        EXPECT_EQ(armSatRoundFloatToS32(h), static_cast<int32_t>(h + 0.5));
        EXPECT_EQ(armSatRoundFloatToS32(-h), -static_cast<int32_t>(h + 0.5));
        EXPECT_EQ(armRoundFloatToS32(-h), -static_cast<int32_t>(h + 0.5));
    }
    EXPECT_EQ(armSatRoundFloatToS32(0.0), 0);
    EXPECT_EQ(armSatRoundFloatToS16(32767.4), 32767);
    EXPECT_EQ(armSatRoundFloatToS16(40000.0), 32767);
    EXPECT_EQ(armSatRoundFloatToS16(-32768.6), -32768);
    EXPECT_EQ(armRoundFloatToS16(32768.0), -32768);  // cut to 16 bits, no saturation
    EXPECT_EQ(armSatRoundFloatToU16(-3.0), 0);
    EXPECT_EQ(armSatRoundFloatToU16(70000.0), 65535);
    EXPECT_EQ(armSatRoundFloatToU32(5e9), 4294967295u);

    EXPECT_EQ(armSatAdd_S32(INT32_MAX, 1), INT32_MAX);
    EXPECT_EQ(armSatAdd_S32(INT32_MIN, -1), INT32_MIN);
    EXPECT_EQ(armSatAdd_S32(INT32_MAX, INT32_MIN), -1);
    EXPECT_EQ(armSatSub_S32(INT32_MIN, 1), INT32_MIN);
    EXPECT_EQ(armSatSub_S32(0, INT32_MIN), INT32_MAX);
    EXPECT_EQ(armSatSub_S32(-1, INT32_MIN), INT32_MAX);
    EXPECT_EQ(armSatAdd_S64(INT64_MAX, 1), INT64_MAX);
    EXPECT_EQ(armSatRoundLeftShift_S32(5, -1), 3);
    EXPECT_EQ(armSatRoundLeftShift_S32(-5, -1), -2);
    EXPECT_EQ(armSatRoundLeftShift_S32(0x40000000, 2), INT32_MAX);
    EXPECT_EQ(armSatRoundLeftShift_S32(INT32_MAX, -1), 0x3FFFFFFF);  // rounding constant saturates
    EXPECT_EQ(armSatRoundRightShift_S32_S16(1 << 20, 2), 32767);
    EXPECT_EQ(armLogSize(0), 0);
    EXPECT_EQ(armLogSize(1), 1);
    EXPECT_EQ(armLogSize(0xFFFF), 16);
    EXPECT_EQ(armClip(10, 5, 7), 5);  // upper bound tested first
    EXPECT_EQ(armClip(10, 5, 3), 10);  // below min: min
    EXPECT_EQ(armMedianOf3(3, 9, 5), 5);
    EXPECT_EQ(armIntDivAwayFromZero(-7, 2), -4);
    EXPECT_EQ(armIntDivAwayFromZero(7, 2), 4);
    EXPECT_EQ(armSwapElem(nullptr, nullptr, 4), -5);
}

TEST(Arithmetic, FixedPointProductsMatchWideReference) {
    std::mt19937 rng(3);
    for (int i = 0; i < 100000; ++i) {
        const auto a = static_cast<int16_t>(rng());
        const auto b = static_cast<int32_t>(rng());
        const int64_t exact = (static_cast<int64_t>(a) * b) >> 16;
        // Two partial products lose at most one unit against the exact value.
        const int32_t got = armSatMulS16S32_S32(a, b);
        ASSERT_LE(std::llabs(got - exact), 1) << a << " " << b;
        const auto c = static_cast<int32_t>(rng());
        const int64_t exact32 = (static_cast<int64_t>(b) * c) >> 32;
        ASSERT_LE(std::llabs(armSatMulS32S32_S32(b, c) - exact32), 2);
    }
}

TEST(Memory, CopyIsTheDescendingByteCopy) {
    std::mt19937 rng(4);
    for (int trial = 0; trial < 2000; ++trial) {
        uint8_t a[64], ref[64];
        for (auto &x : a) x = static_cast<uint8_t>(rng());
        std::memcpy(ref, a, sizeof a);
        const int src = static_cast<int>(rng() % 32), dst = static_cast<int>(rng() % 32);
        const int n = static_cast<int>(rng() % 33) - 1;
        for (int i = n - 1; i >= 0; --i) ref[dst + i] = ref[src + i];
        myMemCopy(a + dst, a + src, n);
        ASSERT_EQ(std::memcmp(a, ref, sizeof a), 0) << src << " " << dst << " " << n;
    }
    uint8_t z[16];
    std::memset(z, 0x11, sizeof z);
    myMemSet(z, 0, -3);
    EXPECT_EQ(z[0], 0x11);
    AACD_fltclr(z, 3);
    EXPECT_EQ(z[11], 0);
    EXPECT_EQ(z[12], 0x11);
}

#include "common/aacd_fix_cd.h"

TEST(Fractional, KnownValues) {
    int64_t acc = 0;
    aacd_mpy(-32768, -32768, &acc);
    EXPECT_EQ(acc, 0x7FFFFFFF);
    aacd_mpy(16384, 16384, &acc);
    EXPECT_EQ(acc, 0x20000000);
    aacd_macr_ss(100, 100, &acc);
    EXPECT_EQ(acc, 0);
    EXPECT_EQ(aacd_clb_l(0), 31);
    EXPECT_EQ(aacd_clb_l(-1), 31);
    EXPECT_EQ(aacd_clb_l(1), 30);
    EXPECT_EQ(aacd_clb_l(INT32_MIN), 0);
    EXPECT_EQ(aacd_lfract2shortint(-1), 0xFFFFu);
    int64_t big = int64_t{1} << 40;
    EXPECT_EQ(aacd_saturate(0, &big), int64_t{1} << 40);
    EXPECT_EQ(big, INT32_MAX);
    // Q31 product of 0.5 and 0.5, rounded.
    EXPECT_EQ(aacd_mpy_lstore(0x40000000, 0x40000000), 0x20000000);

    int32_t ones[4] = {1, 0, 1, 0};
    EXPECT_EQ(norm_lfarray(ones, 4), 30);
    EXPECT_EQ(ones[0], 1 << 30);
    int32_t zeros[3] = {0, 0, 0};
    EXPECT_EQ(norm_lfarray(zeros, 3), 0);
    int32_t minusOne[2] = {-1, 0};
    EXPECT_EQ(norm_lf(minusOne, 2), 29);  // -1 counts as magnitude 2
}
