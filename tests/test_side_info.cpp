// Side information of one channel: stream info (long and grouped short
// windows, LTP), section data, pulse data and TNS data.  A test-side writer
// built on armPackBits produces random valid fields; decoding must return
// them exactly and consume exactly the bits written.  Each failure status is
// checked at the point it arises.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "omxdl/ac/armACAAC.h"

namespace {

class BitWriter {
public:
    BitWriter() : buf_(4096, 0), p_(buf_.data()) {}
    void bits(uint32_t value, int len) {
        ASSERT_EQ(armPackBits(&p_, &off_, value, len), 0);
        count_ += len;
    }
    int count() const { return count_; }
    ArmBitPosition start() const {
        return ArmBitPosition{buf_.data(), 0, buf_.data() + buf_.size()};
    }

private:
    std::vector<uint8_t> buf_;
    uint8_t *p_;
    uint32_t off_ = 0;
    int count_ = 0;
};

int consumed(const ArmBitPosition &a, const ArmBitPosition &b) {
    return static_cast<int>((b.pByte - a.pByte) * 8) + static_cast<int>(b.offset) -
           static_cast<int>(a.offset);
}

ChannelInfo makeChannel(int sri, IcsInfo *ics) {
    ChannelInfo ch;
    std::memset(&ch, 0, sizeof ch);
    ch.samplingRateIndex = sri;
    ch.icsInfo = ics;
    return ch;
}

// ---------------------------------------------------------------- stream info
TEST(IcsInfo, RandomLongAndShortRoundTrip) {
    std::mt19937 rng(1);
    for (int iter = 0; iter < 2000; ++iter) {
        const int sri = static_cast<int>(rng() % 12);
        const bool isShort = rng() % 2;
        const int seq = isShort ? 2 : std::vector<int>{0, 1, 3}[rng() % 3];
        const int numSwb = isShort ? armACAAC_numSwbShort[sri] : armACAAC_numSwbLong[sri];
        const int maxSfb = static_cast<int>(rng() % (numSwb + 1));
        const int shape = rng() % 2, reserved = rng() % 2;
        BitWriter w;
        w.bits(reserved, 1);
        w.bits(seq, 2);
        w.bits(shape, 1);
        uint32_t grouping = rng() & 0x7F;
        int pred = rng() % 2;
        if (isShort) {
            w.bits(maxSfb, 4);
            w.bits(grouping, 7);
        } else {
            w.bits(maxSfb, 6);
            w.bits(pred, 1);
        }
        IcsInfo ics;
        std::memset(&ics, 0x55, sizeof ics);
        ChannelInfo ch = makeChannel(sri, &ics);
        ArmBitPosition pos = w.start();
        const ArmBitPosition begin = pos;
        LtpInfo *pair[2] = {nullptr, nullptr};
        ASSERT_EQ(armACAAC_DecodeIcsInfoData(&pos, 0, 2, 0, &ch, &ics, pair), 0);
        EXPECT_EQ(consumed(begin, pos), w.count());
        EXPECT_EQ(ics.icsReservedBit, reserved);
        EXPECT_EQ(ics.windowSequence, seq);
        EXPECT_EQ(ics.windowShape, shape);
        EXPECT_EQ(ics.maxSfb, maxSfb);
        EXPECT_EQ(ch.numSwb, numSwb);
        EXPECT_EQ(ch.numWindows, isShort ? 8 : 1);
        EXPECT_EQ(ch.windowLength, isShort ? 128 : 1024);
        if (isShort) {
            EXPECT_EQ(ics.scaleFactorGrouping, static_cast<int>(grouping));
            // Independent grouping: window w starts a new group when bit (7 - w) is 0.
            std::vector<int> groups{1};
            for (int win = 1; win < 8; ++win) {
                if ((grouping >> (7 - win)) & 1)
                    ++groups.back();
                else
                    groups.push_back(1);
            }
            ASSERT_EQ(ics.numWindowGroups, static_cast<int>(groups.size()));
            for (size_t g = 0; g < groups.size(); ++g)
                EXPECT_EQ(ics.windowGroupLength[g], groups[g]);
        } else {
            EXPECT_EQ(ics.predictorDataPresent, pred);
            EXPECT_EQ(ics.numWindowGroups, 1);
            EXPECT_EQ(ics.windowGroupLength[0], 1);
        }
    }
}

TEST(IcsInfo, KnownGroupings) {
    struct Case { uint32_t grouping; std::vector<int> groups; };
    for (const Case &c : {Case{0x7F, {8}}, Case{0x00, {1, 1, 1, 1, 1, 1, 1, 1}},
                          Case{0x5B, {2, 3, 3}}}) {
        BitWriter w;
        w.bits(0, 1); w.bits(2, 2); w.bits(0, 1); w.bits(10, 4); w.bits(c.grouping, 7);
        IcsInfo ics{};
        ArmBitPosition pos = w.start();
        ASSERT_EQ(armACAAC_DecodeIcsInfoData(&pos, 0, 2, 0, nullptr, &ics, nullptr), 0);
        ASSERT_EQ(ics.numWindowGroups, static_cast<int>(c.groups.size()));
        for (size_t g = 0; g < c.groups.size(); ++g) EXPECT_EQ(ics.windowGroupLength[g], c.groups[g]);
    }
}

TEST(IcsInfo, MaxSfbAboveBandCountIsRejected) {
    for (int sri = 0; sri < 12; ++sri) {
        for (int isShort = 0; isShort < 2; ++isShort) {
            const int numSwb = isShort ? armACAAC_numSwbShort[sri] : armACAAC_numSwbLong[sri];
            for (int maxSfb : {numSwb, numSwb + 1, isShort ? 15 : 52, isShort ? 15 : 63}) {
                if (maxSfb >= (isShort ? 16 : 64)) continue;  // does not fit the field
                BitWriter w;
                w.bits(0, 1); w.bits(isShort ? 2 : 0, 2); w.bits(0, 1);
                w.bits(maxSfb, isShort ? 4 : 6);
                w.bits(0, 7);
                IcsInfo ics{};
                ics.maxSfb = -7;
                ChannelInfo ch = makeChannel(sri, &ics);
                ArmBitPosition pos = w.start();
                const ArmBitPosition begin = pos;
                const int32_t sts = armACAAC_DecodeIcsInfoData(&pos, 0, 2, 0, &ch, &ics, nullptr);
                if (maxSfb <= numSwb) {
                    EXPECT_EQ(sts, 0);
                } else {
                    EXPECT_EQ(sts, -162) << sri << " " << isShort << " " << maxSfb;
                    EXPECT_EQ(consumed(begin, pos), isShort ? 8 : 10);
                    EXPECT_EQ(ics.maxSfb, -7);
                }
            }
        }
    }
    // Without channel info (the shared stream info of a pair) the limit is 51.
    BitWriter w;
    w.bits(0, 4); w.bits(52, 6);
    IcsInfo ics{};
    ArmBitPosition pos = w.start();
    EXPECT_EQ(armACAAC_DecodeIcsInfoData(&pos, 1, 2, 0, nullptr, &ics, nullptr), -162);
}

TEST(IcsInfo, LtpFieldsUnderObjectType4) {
    std::mt19937 rng(7);
    for (int iter = 0; iter < 300; ++iter) {
        const int maxSfb = static_cast<int>(rng() % 50);
        const int common = rng() % 2;
        BitWriter w;
        w.bits(0, 1); w.bits(0, 2); w.bits(1, 1); w.bits(maxSfb, 6); w.bits(1, 1);
        LtpInfo expect[2]{};
        for (int c = 0; c <= common; ++c) {
            expect[c].ltpDataPresent = rng() % 2;
            w.bits(expect[c].ltpDataPresent, 1);
            if (!expect[c].ltpDataPresent) continue;
            expect[c].ltpLag = rng() & 0x7FF; w.bits(expect[c].ltpLag, 11);
            expect[c].ltpCoef = rng() & 7; w.bits(expect[c].ltpCoef, 3);
            for (int b = 0; b < std::min(maxSfb, 40); ++b) {
                expect[c].ltpLongUsed[b] = rng() % 2;
                w.bits(expect[c].ltpLongUsed[b], 1);
            }
        }
        IcsInfo ics{};
        LtpInfo got[2]{};
        LtpInfo *pair[2] = {&got[0], &got[1]};
        ArmBitPosition pos = w.start();
        const ArmBitPosition begin = pos;
        ASSERT_EQ(armACAAC_DecodeIcsInfoData(&pos, common, 4, 0, nullptr, &ics, pair), 0);
        EXPECT_EQ(consumed(begin, pos), w.count());
        for (int c = 0; c <= common; ++c) {
            EXPECT_EQ(got[c].ltpDataPresent, expect[c].ltpDataPresent);
            if (!expect[c].ltpDataPresent) continue;
            EXPECT_EQ(got[c].ltpLag, expect[c].ltpLag);
            EXPECT_EQ(got[c].ltpCoef, expect[c].ltpCoef);
            for (int b = 0; b < std::min(maxSfb, 40); ++b)
                EXPECT_EQ(got[c].ltpLongUsed[b], expect[c].ltpLongUsed[b]);
        }
    }
}

TEST(IcsInfo, PredictorFlagUnderLowComplexityReadsNothingMore) {
    BitWriter w;
    w.bits(0, 4); w.bits(20, 6); w.bits(1, 1); w.bits(0xFFFF, 16);
    IcsInfo ics{};
    ArmBitPosition pos = w.start();
    const ArmBitPosition begin = pos;
    ASSERT_EQ(armACAAC_DecodeIcsInfoData(&pos, 0, 2, 41, nullptr, &ics, nullptr), 0);
    EXPECT_EQ(consumed(begin, pos), 11);
    EXPECT_EQ(ics.predictorDataPresent, 1);
}

// ---------------------------------------------------------------- sections
struct Section { int cb, end; };

void writeSections(BitWriter &w, const std::vector<std::vector<Section>> &groups, bool isShort) {
    const int bits = isShort ? 3 : 5, esc = isShort ? 7 : 31;
    for (const auto &g : groups) {
        int k = 0;
        for (const Section &s : g) {
            w.bits(s.cb, 4);
            int len = s.end - k;
            while (len >= esc) { w.bits(esc, bits); len -= esc; }
            w.bits(len, bits);
            k = s.end;
        }
    }
}

TEST(SectionData, RandomRoundTrip) {
    std::mt19937 rng(3);
    const int cbs[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 13, 14, 15};
    for (int iter = 0; iter < 2000; ++iter) {
        const bool isShort = rng() % 2;
        const int numGroups = isShort ? 1 + static_cast<int>(rng() % 8) : 1;
        const int maxSfb = static_cast<int>(rng() % (isShort ? 16 : 52));
        std::vector<std::vector<Section>> groups(numGroups);
        bool noise = false, is = false;
        for (auto &g : groups) {
            int k = 0;
            while (k < maxSfb) {
                const int len = 1 + static_cast<int>(rng() % (maxSfb - k));
                const int cb = cbs[rng() % 15];
                noise |= cb == 13;
                is |= cb >= 14;
                k += len;
                g.push_back({cb, k});
            }
        }
        BitWriter w;
        writeSections(w, groups, isShort);
        uint8_t sfbCb[128], sectCb[120], sectEnd[120];
        int32_t numSect[8];
        std::memset(sfbCb, 0xEE, sizeof sfbCb);
        int32_t noiseFlag = 0, isFlag = 0;
        ArmBitPosition pos = w.start();
        const ArmBitPosition begin = pos;
        ASSERT_EQ(armACAAC_DecodeSectionData(sfbCb, sectCb, sectEnd, numSect, isShort ? 2 : 0,
                                             numGroups, maxSfb, &pos, &noiseFlag, &isFlag), 0);
        EXPECT_EQ(consumed(begin, pos), w.count());
        EXPECT_EQ(noiseFlag, noise ? 1 : 0);
        EXPECT_EQ(isFlag, is ? 1 : 0);
        int s = 0;
        for (int g = 0; g < numGroups; ++g) {
            ASSERT_EQ(numSect[g], static_cast<int>(groups[g].size()));
            int k = 0;
            for (const Section &sec : groups[g]) {
                EXPECT_EQ(sectCb[s], sec.cb);
                EXPECT_EQ(sectEnd[s], sec.end);
                for (; k < sec.end; ++k) EXPECT_EQ(sfbCb[g * maxSfb + k], sec.cb);
                ++s;
            }
        }
        EXPECT_EQ(sfbCb[numGroups * maxSfb], 0xEE);  // packed, nothing beyond
    }
}

TEST(SectionData, KnownCasesAndFailures) {
    uint8_t sfbCb[120], sectCb[120], sectEnd[120];
    int32_t numSect[8], nf = 0, isf = 0;
    auto run = [&](BitWriter &w, int seq, int groups, int maxSfb, int *bitsUsed) {
        ArmBitPosition pos = w.start();
        const ArmBitPosition begin = pos;
        const int32_t sts = armACAAC_DecodeSectionData(sfbCb, sectCb, sectEnd, numSect, seq,
                                                       groups, maxSfb, &pos, &nf, &isf);
        if (bitsUsed) *bitsUsed = consumed(begin, pos);
        return sts;
    };
    {  // 31 + 18 covers 49 bands
        BitWriter w; w.bits(11, 4); w.bits(31, 5); w.bits(18, 5);
        ASSERT_EQ(run(w, 0, 1, 49, nullptr), 0);
        EXPECT_EQ(numSect[0], 1);
        for (int b = 0; b < 49; ++b) EXPECT_EQ(sfbCb[b], 11);
    }
    {  // short: 7 + 7 + 0 = 14 bands, per group
        BitWriter w;
        for (int g = 0; g < 3; ++g) { w.bits(g + 1, 4); w.bits(7, 3); w.bits(7, 3); w.bits(0, 3); }
        ASSERT_EQ(run(w, 2, 3, 14, nullptr), 0);
        for (int g = 0; g < 3; ++g) { EXPECT_EQ(numSect[g], 1); EXPECT_EQ(sfbCb[g * 14 + 13], g + 1); }
    }
    {  // a section of length 0 is legal and counts
        BitWriter w; w.bits(5, 4); w.bits(0, 5); w.bits(6, 4); w.bits(3, 5);
        ASSERT_EQ(run(w, 0, 1, 3, nullptr), 0);
        EXPECT_EQ(numSect[0], 2);
        EXPECT_EQ(sectEnd[0], 0);
        EXPECT_EQ(sectEnd[1], 3);
    }
    {  // length 60 (31 + 29)
        BitWriter w; w.bits(1, 4); w.bits(31, 5); w.bits(29, 5);
        EXPECT_EQ(run(w, 0, 1, 51, nullptr), -2);
    }
    {  // overrun: ends 10 then 13 with maxSfb 12
        BitWriter w; w.bits(1, 4); w.bits(10, 5); w.bits(2, 4); w.bits(3, 5);
        EXPECT_EQ(run(w, 0, 1, 12, nullptr), -2);
        EXPECT_EQ(sectEnd[0], 10);
    }
    {  // too many sections: maxSfb 2 with zero-length sections
        BitWriter w;
        w.bits(1, 4); w.bits(0, 5); w.bits(1, 4); w.bits(0, 5); w.bits(1, 4); w.bits(0, 5);
        int used = 0;
        EXPECT_EQ(run(w, 0, 1, 2, &used), -2);
        EXPECT_EQ(used, 27);
    }
    {  // maxSfb 0: nothing read
        BitWriter w; w.bits(0xFF, 8);
        int used = -1;
        numSect[0] = numSect[1] = 9;
        ASSERT_EQ(run(w, 2, 2, 0, &used), 0);
        EXPECT_EQ(used, 0);
        EXPECT_EQ(numSect[0], 0);
        EXPECT_EQ(numSect[1], 0);
    }
}

// ---------------------------------------------------------------- pulses
TEST(PulseData, RandomRoundTripAndLimits) {
    std::mt19937 rng(5);
    for (int iter = 0; iter < 3000; ++iter) {
        const int sri = static_cast<int>(rng() % 12);
        const int numSwb = armACAAC_numSwbLong[sri];
        const uint16_t *off = armACAAC_swbOffsetLongWindow[sri];
        const int num = rng() % 4, start = static_cast<int>(rng() % 64);
        int offs[4], amps[4];
        BitWriter w;
        w.bits(num, 2); w.bits(start, 6);
        bool bad = start >= numSwb;
        int k = bad ? 0 : off[start], badAt = -1;
        for (int i = 0; i <= num; ++i) {
            offs[i] = rng() % 32; amps[i] = rng() % 16;
            w.bits(offs[i], 5); w.bits(amps[i], 4);
            k += offs[i];
            if (!bad && badAt < 0 && k > 1023) badAt = i;
        }
        int32_t gNum, gStart, gOff[4], gAmp[4];
        ArmBitPosition pos = w.start();
        const ArmBitPosition begin = pos;
        const int32_t sts = armACAAC_DecodePulseData(off, &gNum, &gStart, gOff, &pos, gAmp,
                                                     static_cast<uint16_t>(numSwb));
        EXPECT_EQ(gNum, num);
        EXPECT_EQ(gStart, start);
        if (bad) {
            EXPECT_EQ(sts, -2);
            EXPECT_EQ(consumed(begin, pos), 8);
            continue;
        }
        const int last = badAt >= 0 ? badAt : num;
        EXPECT_EQ(sts, badAt >= 0 ? -2 : 0);
        EXPECT_EQ(consumed(begin, pos), 8 + 9 * (last + 1));
        for (int i = 0; i <= last; ++i) { EXPECT_EQ(gOff[i], offs[i]); EXPECT_EQ(gAmp[i], amps[i]); }
    }
}

TEST(PulseData, KnownEdges48k) {
    const uint16_t *off = armACAAC_swbOffsetLongWindow[3];
    auto run = [&](int start, std::vector<int> offs) {
        BitWriter w;
        w.bits(static_cast<uint32_t>(offs.size() - 1), 2); w.bits(start, 6);
        for (int o : offs) { w.bits(o, 5); w.bits(1, 4); }
        int32_t n, s, o[4], a[4];
        ArmBitPosition pos = w.start();
        return armACAAC_DecodePulseData(off, &n, &s, o, &pos, a, 49);
    };
    EXPECT_EQ(run(49, {0}), -2);
    EXPECT_EQ(run(48, {0}), 0);
    EXPECT_EQ(run(48, {31, 31, 31, 3}), -2);
    EXPECT_EQ(run(48, {31, 31, 31, 2}), 0);
}

// ---------------------------------------------------------------- TNS
TEST(TnsData, RandomRoundTrip) {
    std::mt19937 rng(11);
    for (int iter = 0; iter < 3000; ++iter) {
        const bool isShort = rng() % 2;
        const int sri = static_cast<int>(rng() % 12);
        const int aot = (rng() % 4 == 0) ? 3 : 2;
        const int maxOrder = aot == 3 ? 12 : isShort ? 7 : (sri > 4 ? 20 : 12);
        const int numWindows = isShort ? 8 : 1;
        IcsInfo ics{};
        ics.windowSequence = isShort ? 2 : 0;
        ChannelInfo ch = makeChannel(sri, &ics);
        ch.numWindows = numWindows;
        std::memset(&ch.tnsInfo, 0x77, sizeof ch.tnsInfo);
        TnsInfo expect = ch.tnsInfo;
        std::vector<int> coefs;
        BitWriter w;
        for (int win = 0; win < numWindows; ++win) {
            const int nf = static_cast<int>(rng() % (isShort ? 2 : 4));
            w.bits(nf, isShort ? 1 : 2);
            expect.tnsNumFilters[win] = nf;
            if (!nf) continue;
            const int res = rng() % 2;
            w.bits(res, 1);
            expect.tnsCoefRes[win] = res + 3;
            for (int f = 0; f < nf; ++f) {
                const int e = win + f;
                expect.tnsLength[e] = static_cast<int>(rng() % (isShort ? 16 : 64));
                w.bits(expect.tnsLength[e], isShort ? 4 : 6);
                const int order = static_cast<int>(rng() % (isShort ? 8 : 32));
                w.bits(order, isShort ? 3 : 5);
                const int lim = std::min(order, maxOrder);
                expect.tnsOrder[e] = lim;
                if (!lim) continue;
                expect.tnsDirection[e] = rng() % 2;
                w.bits(expect.tnsDirection[e], 1);
                const int compress = rng() % 2;
                w.bits(compress, 1);
                const int n = res + 3 - compress;
                for (int i = 0; i < lim; ++i) {
                    const int v = static_cast<int>(rng() % (1u << n)) - (1 << (n - 1));
                    w.bits(static_cast<uint32_t>(v) & ((1u << n) - 1), n);
                    coefs.push_back(v);
                }
            }
        }
        int8_t got[64];
        std::memset(got, 0x5A, sizeof got);
        ArmBitPosition pos = w.start();
        const ArmBitPosition begin = pos;
        TnsInfo &t = ch.tnsInfo;
        armACAAC_DecodeTNSData(aot, sri, ics.windowSequence, got, &pos, numWindows,
                               t.tnsNumFilters, t.tnsCoefRes, t.tnsLength, t.tnsOrder,
                               t.tnsDirection, &ch);
        EXPECT_EQ(consumed(begin, pos), w.count());
        EXPECT_EQ(std::memcmp(&expect, &ch.tnsInfo, sizeof expect), 0);
        ASSERT_LE(coefs.size(), 60u);
        for (size_t i = 0; i < coefs.size(); ++i) EXPECT_EQ(got[i], coefs[i]);
        EXPECT_EQ(got[coefs.size()], 0x5A);
    }
}

TEST(TnsData, OrderLimitDependsOnRate) {
    for (int sri : {3, 6}) {
        BitWriter w;
        w.bits(1, 2); w.bits(1, 1); w.bits(40, 6); w.bits(15, 5); w.bits(0, 1); w.bits(0, 1);
        for (int i = 0; i < 15; ++i) w.bits(i & 15, 4);
        IcsInfo ics{};
        ChannelInfo ch = makeChannel(sri, &ics);
        ch.numWindows = 1;
        int8_t c[64];
        ArmBitPosition pos = w.start();
        const ArmBitPosition begin = pos;
        TnsInfo &t = ch.tnsInfo;
        armACAAC_DecodeTNSData(2, sri, 0, c, &pos, 1, t.tnsNumFilters, t.tnsCoefRes,
                               t.tnsLength, t.tnsOrder, t.tnsDirection, &ch);
        const int order = sri == 3 ? 12 : 15;
        EXPECT_EQ(ch.tnsInfo.tnsOrder[0], order);
        EXPECT_EQ(consumed(begin, pos), 16 + 4 * order);
        EXPECT_EQ(c[7], 7);
        EXPECT_EQ(c[9], -7);  // 4-bit field 9 sign-extends
    }
}


// ---------------------------------------------------------------- pair head
TEST(ChanPairElt, HeadWithAndWithoutCommonWindow) {
    std::mt19937 rng(13);
    for (int iter = 0; iter < 500; ++iter) {
        const int common = rng() % 2, isShort = rng() % 2, ms = rng() % 4;
        const int maxSfb = static_cast<int>(rng() % (isShort ? 16 : 50));
        const uint32_t grouping = rng() & 0x7F;
        BitWriter w;
        w.bits(rng() & 15, 4);
        w.bits(common, 1);
        std::vector<int> groups{1};
        if (common) {
            w.bits(0, 1); w.bits(isShort ? 2 : 0, 2); w.bits(1, 1);
            if (isShort) {
                w.bits(maxSfb, 4); w.bits(grouping, 7);
                for (int win = 1; win < 8; ++win)
                    if ((grouping >> (7 - win)) & 1) ++groups.back(); else groups.push_back(1);
            } else {
                w.bits(maxSfb, 6); w.bits(0, 1);
            }
            w.bits(ms, 2);
        }
        ChanPairElt cpe;
        std::memset(&cpe, 0xCC, sizeof cpe);
        std::vector<uint8_t> used;
        if (common && ms == 1)
            for (size_t g = 0; g < groups.size(); ++g)
                for (int b = 0; b < maxSfb; ++b) { used.push_back(rng() % 2); w.bits(used.back(), 1); }
        IcsInfo ics{};
        LtpInfo l0{}, l1{};
        LtpInfo *pair[2] = {&l0, &l1};
        ArmBitPosition pos = w.start();
        const ArmBitPosition begin = pos;
        ASSERT_EQ(omxACAAC_DecodeChanPairElt(&pos, &ics, &cpe, 2, pair), 0);
        EXPECT_EQ(consumed(begin, pos), w.count());
        EXPECT_EQ(cpe.commonWindow, common);
        if (!common) continue;
        EXPECT_EQ(ics.maxSfb, maxSfb);
        EXPECT_EQ(cpe.msMaskPresent, ms);
        if (ms != 1) { EXPECT_EQ(cpe.msUsed[0][0], 0xCC); continue; }
        size_t i = 0;
        for (size_t g = 0; g < groups.size(); ++g)
            for (int b = 0; b < maxSfb; ++b) EXPECT_EQ(cpe.msUsed[g][b], used[i++]);
    }
}

TEST(ChanPairElt, BadArgumentsAndStreamInfoStatus) {
    BitWriter w;
    w.bits(0, 4); w.bits(1, 1); w.bits(0, 4); w.bits(52, 6);
    IcsInfo ics{};
    ChanPairElt cpe{};
    LtpInfo l0{}, l1{};
    LtpInfo *pair[2] = {&l0, &l1};
    ArmBitPosition pos = w.start();
    const ArmBitPosition begin = pos;
    EXPECT_EQ(omxACAAC_DecodeChanPairElt(&pos, &ics, &cpe, 1, pair), -5);
    EXPECT_EQ(consumed(begin, pos), 0);
    EXPECT_EQ(omxACAAC_DecodeChanPairElt(nullptr, &ics, &cpe, 2, pair), -5);
    EXPECT_EQ(omxACAAC_DecodeChanPairElt(&pos, nullptr, &cpe, 2, pair), -5);
    EXPECT_EQ(omxACAAC_DecodeChanPairElt(&pos, &ics, nullptr, 2, pair), -5);
    EXPECT_EQ(omxACAAC_DecodeChanPairElt(&pos, &ics, &cpe, 2, nullptr), -5);
    ArmBitPosition bad = pos;
    bad.offset = 8;
    EXPECT_EQ(omxACAAC_DecodeChanPairElt(&bad, &ics, &cpe, 2, pair), -5);
    bad = pos;
    bad.pByte = nullptr;
    EXPECT_EQ(omxACAAC_DecodeChanPairElt(&bad, &ics, &cpe, 2, pair), -5);
    EXPECT_EQ(omxACAAC_DecodeChanPairElt(&pos, &ics, &cpe, 2, pair), -162);
    EXPECT_EQ(consumed(begin, pos), 15);
}

}  // namespace
