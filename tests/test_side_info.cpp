// Side information of one channel: stream info (long and grouped short
// windows, LTP), section, pulse and TNS data, and the head of a channel pair.
// Random valid fields written with armPackBits must decode exactly, consuming
// exactly the bits written; each failure status is checked where it arises.
#include <gtest/gtest.h>

#include <tuple>

#include <cstring>

#include "omxdl/ac/armACAAC.h"

#include "channel_encoder.h"

namespace {

struct Field {  // a value and its bit count
    template <class T> Field(T value, int bits) : v(static_cast<uint32_t>(value)), n(bits) {}
    uint32_t v;
    int n;
};
using Fields = std::vector<Field>;
void put(BitWriter &w, const Fields &f) { for (const Field &x : f) w.bits(x.v, x.n); }

ChannelInfo makeChannel(int sri, IcsInfo *ics) {
    ChannelInfo ch;
    std::memset(&ch, 0, sizeof ch);
    ch.samplingRateIndex = sri;
    ch.icsInfo = ics;
    return ch;
}

// Group lengths from the 7 grouping bits: window w joins the previous group
// when bit (7 - w) is set.
std::vector<int> groupsOf(uint32_t grouping) {
    std::vector<int> groups{1};
    for (int win = 1; win < 8; ++win) (grouping >> (7 - win)) & 1 ? ++groups.back() : (groups.push_back(1), 0);
    return groups;
}

void expectGroups(const IcsInfo &ics, const std::vector<int> &groups) {
    ASSERT_EQ(ics.numWindowGroups, static_cast<int>(groups.size()));
    for (size_t g = 0; g < groups.size(); ++g) EXPECT_EQ(ics.windowGroupLength[g], groups[g]);
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
        const int shape = rng() % 2, reserved = rng() % 2, pred = rng() % 2;
        const uint32_t grouping = rng() & 0x7F;
        BitWriter w;
        put(w, {{reserved, 1}, {seq, 2}, {shape, 1}, {maxSfb, isShort ? 4 : 6}});
        isShort ? w.bits(grouping, 7) : w.bits(pred, 1);
        IcsInfo ics;
        std::memset(&ics, 0x55, sizeof ics);
        ChannelInfo ch = makeChannel(sri, &ics);
        BitRef pos = w.ref();
        LtpInfo *pair[2] = {nullptr, nullptr};
        ASSERT_EQ(armACAAC_DecodeIcsInfoData(&pos.byte, &pos.offset, 0, 2, 0, &ch, &ics, pair), 0);
        EXPECT_EQ(bitsFrom(w.ref(), pos), w.count());
        EXPECT_EQ(std::make_tuple(ics.icsReservedBit, ics.windowSequence, ics.windowShape, ics.maxSfb),
                  std::make_tuple(reserved, seq, shape, maxSfb));
        EXPECT_EQ(std::make_tuple(ch.numSwb, ch.numWindows, ch.windowLength, isShort ? ics.scaleFactorGrouping : ics.predictorDataPresent),
                  std::make_tuple(numSwb, isShort ? 8 : 1, isShort ? 128 : 1024, isShort ? int(grouping) : pred));
        expectGroups(ics, isShort ? groupsOf(grouping) : std::vector<int>{1});
        // Fields this path does not write keep their earlier contents.
        constexpr int32_t kOld = 0x55555555;
        for (int g = ics.numWindowGroups; g < 8; ++g) EXPECT_EQ(ics.windowGroupLength[g], kOld) << g;
        EXPECT_EQ(isShort ? ics.predictorDataPresent : ics.scaleFactorGrouping, kOld);
        EXPECT_EQ(std::make_tuple(ics.predictorReset, ics.predictorResetGroup, ics.predictionUsed[0], ics.predictionUsed[40]),
                  std::make_tuple(kOld, kOld, uint8_t{0x55}, uint8_t{0x55}));
    }
}

// Decoded one after another into the same record: group lengths at and
// above numWindowGroups keep what earlier frames left there.
TEST(IcsInfo, KnownGroupingsKeepOlderGroupLengths) {
    struct Case { uint32_t grouping; std::vector<int> groups; };
    IcsInfo ics;
    std::memset(&ics, 0x55, sizeof ics);
    for (const Case &c : {Case{0x7F, {8}}, Case{0x00, {1, 1, 1, 1, 1, 1, 1, 1}}, Case{0x77, {4, 4}},
                          Case{0x5B, {2, 3, 3}}, Case{~0u, {1}}}) {  // ~0: a long window
        const bool isShort = c.grouping != ~0u;
        BitWriter w;
        put(w, {{0, 1}, {isShort ? 2 : 0, 2}, {0, 1}, {10, isShort ? 4 : 6}, {c.grouping, isShort ? 7 : 1}});
        int32_t older[8];
        std::memcpy(older, ics.windowGroupLength, sizeof older);
        BitRef pos = w.ref();
        ASSERT_EQ(armACAAC_DecodeIcsInfoData(&pos.byte, &pos.offset, 0, 2, 0, nullptr, &ics, nullptr), 0);
        expectGroups(ics, c.groups);
        for (size_t g = c.groups.size(); g < 8; ++g) EXPECT_EQ(ics.windowGroupLength[g], older[g]) << g;
    }
    EXPECT_EQ(std::vector<int32_t>(ics.windowGroupLength, ics.windowGroupLength + 8),
              (std::vector<int32_t>{1, 3, 3, 1, 1, 1, 1, 1}));
}

TEST(IcsInfo, MaxSfbAboveBandCountIsRejected) {
    for (int sri = 0; sri < 12; ++sri) {
        for (int isShort = 0; isShort < 2; ++isShort) {
            const int numSwb = isShort ? armACAAC_numSwbShort[sri] : armACAAC_numSwbLong[sri];
            for (int maxSfb : {numSwb, numSwb + 1, isShort ? 15 : 52, isShort ? 15 : 63}) {
                if (maxSfb >= (isShort ? 16 : 64)) continue;  // does not fit the field
                BitWriter w;
                put(w, {{0, 1}, {isShort ? 2 : 0, 2}, {0, 1}, {maxSfb, isShort ? 4 : 6}, {0, 7}});
                IcsInfo ics{};
                ics.maxSfb = -7;
                ChannelInfo ch = makeChannel(sri, &ics);
                BitRef pos = w.ref();
                const int32_t sts = armACAAC_DecodeIcsInfoData(&pos.byte, &pos.offset, 0, 2, 0, &ch, &ics, nullptr);
                SCOPED_TRACE(testing::Message() << sri << " " << isShort << " " << maxSfb);
                EXPECT_EQ(sts, maxSfb <= numSwb ? 0 : -162);
                if (sts == 0) continue;
                EXPECT_EQ(bitsFrom(w.ref(), pos), isShort ? 8 : 10);
                EXPECT_EQ(ics.maxSfb, -7);
            }
        }
    }
    // Without channel info (the shared stream info of a pair) the limit is 51.
    BitWriter w;
    put(w, {{0, 4}, {52, 6}});
    IcsInfo ics{};
    BitRef pos = w.ref();
    EXPECT_EQ(armACAAC_DecodeIcsInfoData(&pos.byte, &pos.offset, 1, 2, 0, nullptr, &ics, nullptr), -162);
}

TEST(IcsInfo, LtpFieldsUnderObjectType4) {
    std::mt19937 rng(7);
    for (int iter = 0; iter < 300; ++iter) {
        const int maxSfb = static_cast<int>(rng() % 50), common = rng() % 2;
        BitWriter w;
        put(w, {{0, 1}, {0, 2}, {1, 1}, {maxSfb, 6}, {1, 1}});
        LtpInfo expect[2]{}, got[2]{};
        for (int c = 0; c <= common; ++c) {
            LtpInfo &e = expect[c];
            w.bits(e.ltpDataPresent = rng() % 2, 1);
            if (!e.ltpDataPresent) continue;
            w.bits(e.ltpLag = rng() & 0x7FF, 11);
            w.bits(e.ltpCoef = rng() & 7, 3);
            for (int b = 0; b < std::min(maxSfb, 40); ++b) w.bits(e.ltpLongUsed[b] = rng() % 2, 1);
        }
        IcsInfo ics{};
        LtpInfo *pair[2] = {&got[0], &got[1]};
        BitRef pos = w.ref();
        ASSERT_EQ(armACAAC_DecodeIcsInfoData(&pos.byte, &pos.offset, common, 4, 0, nullptr, &ics, pair), 0);
        EXPECT_EQ(bitsFrom(w.ref(), pos), w.count());
        for (int c = 0; c <= common; ++c) {
            EXPECT_EQ(got[c].ltpDataPresent, expect[c].ltpDataPresent);
            if (!expect[c].ltpDataPresent) continue;
            EXPECT_EQ(std::make_tuple(got[c].ltpLag, got[c].ltpCoef),
                      std::make_tuple(expect[c].ltpLag, expect[c].ltpCoef));
            for (int b = 0; b < std::min(maxSfb, 40); ++b) EXPECT_EQ(got[c].ltpLongUsed[b], expect[c].ltpLongUsed[b]);
        }
    }
    // Under low complexity the predictor flag is read and nothing after it.
    BitWriter w;
    put(w, {{0, 4}, {20, 6}, {1, 1}, {0xFFFF, 16}});
    IcsInfo ics{};
    BitRef pos = w.ref();
    ASSERT_EQ(armACAAC_DecodeIcsInfoData(&pos.byte, &pos.offset, 0, 2, 41, nullptr, &ics, nullptr), 0);
    EXPECT_EQ(bitsFrom(w.ref(), pos), 11);
    EXPECT_EQ(ics.predictorDataPresent, 1);
}

TEST(IcsInfo, PredictionFieldsUnderObjectType1) {
    struct Case {  // flags: prediction_used fields expected; bits: consumed
        const char *name; bool isShort; int maxSfb, predSfbMax, present, reset, group, flags, bits;
    };
    const Case cases[] = {
        {"reset with group, 20 of 40 bands", false, 20, 40, 1, 1, 21, 20, 11 + 1 + 5 + 20},
        {"no reset, no group field", false, 49, 40, 1, 0, 0, 40, 11 + 1 + 40},
        {"41 bands at most", false, 51, 41, 1, 1, 31, 41, 11 + 1 + 5 + 41},
        {"predSfbMax 0: no flags", false, 10, 0, 1, 1, 1, 0, 11 + 1 + 5},
        {"no predictor data", false, 30, 40, 0, 1, 7, 0, 11},
        {"short windows: no predictor fields", true, 12, 40, 1, 1, 5, 0, 15},
    };
    constexpr int32_t kOld = 0x55555555;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        BitWriter w;
        put(w, {{0, 1}, {c.isShort ? 2 : 0, 2}, {0, 1}, {c.maxSfb, c.isShort ? 4 : 6}});
        if (c.isShort) w.bits(0x7F, 7);
        put(w, {{c.present, 1}, {c.reset, 1}});
        if (c.reset) w.bits(c.group, 5);
        for (int b = 0; b < 41; ++b) w.bits(b % 3 == 1, 1);
        IcsInfo ics;
        std::memset(&ics, 0x55, sizeof ics);
        BitRef pos = w.ref();
        ASSERT_EQ(armACAAC_DecodeIcsInfoData(&pos.byte, &pos.offset, 0, 1, c.predSfbMax, nullptr, &ics, nullptr), 0);
        EXPECT_EQ(bitsFrom(w.ref(), pos), c.bits);
        const bool read = !c.isShort && c.present;
        EXPECT_EQ(std::make_tuple(ics.maxSfb, ics.predictorDataPresent, ics.predictorReset, ics.predictorResetGroup),
                  std::make_tuple(c.maxSfb, c.isShort ? kOld : c.present, read ? c.reset : kOld,
                                  read && c.reset ? c.group : kOld));
        for (int b = 0; b < 41; ++b) EXPECT_EQ(ics.predictionUsed[b], b < c.flags ? b % 3 == 1 : 0x55) << b;
    }
}

TEST(LtpData, BandFlagsOnlyOutsideEightShortWindows) {
    struct Case { int seq, maxSfb, flags; };
    for (const Case &c : {Case{2, 15, 0}, Case{0, 45, 40}, Case{1, 3, 3}, Case{3, 40, 40}, Case{0, 0, 0}}) {
        SCOPED_TRACE(testing::Message() << "window sequence " << c.seq << ", max_sfb " << c.maxSfb);
        BitWriter w;
        put(w, {{0x5A3, 11}, {6, 3}});
        for (int b = 0; b < 45; ++b) w.bits(b % 3 != 1, 1);
        LtpInfo ltp;
        std::memset(&ltp, 0x55, sizeof ltp);
        BitRef pos = w.ref();
        armACAAC_DecodeLtpData(&pos.byte, &pos.offset, c.seq, c.maxSfb, &ltp);
        EXPECT_EQ(bitsFrom(w.ref(), pos), 14 + c.flags);
        EXPECT_EQ(std::make_tuple(ltp.ltpDataPresent, ltp.ltpLag, ltp.ltpCoef), std::make_tuple(0x55555555, 0x5A3, int16_t{6}));
        for (int b = 0; b < 40; ++b) EXPECT_EQ(ltp.ltpLongUsed[b], b < c.flags ? b % 3 != 1 : 0x55555555) << b;
    }
}

// Object type 4: an ltp_data_present flag per record only after a predictor
// flag of 1 on a long window; the second record only for a common window.
TEST(IcsInfo, LtpPathsUnderObjectType4) {
    struct Case { const char *name; bool isShort; int predictor, common; std::vector<int> present; int bits; };
    const Case cases[] = {
        {"predictor flag 0: no LTP flag", false, 0, 1, {}, 11},
        {"short windows: no predictor or LTP field", true, 1, 1, {}, 15},
        {"one channel, LTP absent", false, 1, 0, {0}, 12},
        {"one channel, LTP present", false, 1, 0, {1}, 12 + 14 + 5},
        {"common window: first absent, second present", false, 1, 1, {0, 1}, 13 + 14 + 5},
        {"common window: both present", false, 1, 1, {1, 1}, 13 + 2 * (14 + 5)},
    };
    constexpr int32_t kOld = 0x55555555;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        BitWriter w;
        put(w, {{0, 1}, {c.isShort ? 2 : 0, 2}, {0, 1}, {5, c.isShort ? 4 : 6}});
        if (c.isShort) w.bits(0x7F, 7);
        w.bits(c.predictor, 1);
        for (size_t r = 0; r < c.present.size(); ++r) {
            w.bits(c.present[r], 1);
            if (c.present[r]) put(w, {{0x100 + r, 11}, {r + 2, 3}, {r, 1}, {1, 1}, {r, 1}, {0, 1}, {1, 1}});
        }
        w.bits(0xFFFFF, 20);
        LtpInfo got[2];
        std::memset(got, 0x55, sizeof got);
        LtpInfo *pair[2] = {&got[0], &got[1]};
        IcsInfo ics{};
        BitRef pos = w.ref();
        ASSERT_EQ(armACAAC_DecodeIcsInfoData(&pos.byte, &pos.offset, c.common, 4, 0, nullptr, &ics, pair), 0);
        EXPECT_EQ(bitsFrom(w.ref(), pos), c.bits);
        for (int r = 0; r < 2; ++r) {
            SCOPED_TRACE(r);
            const LtpInfo &l = got[r];
            const bool flag = r < static_cast<int>(c.present.size()), data = flag && c.present[r];
            EXPECT_EQ(l.ltpDataPresent, flag ? c.present[r] : kOld);
            EXPECT_EQ(std::make_tuple(l.ltpLag, l.ltpCoef),
                      (data ? std::make_tuple(0x100 + r, int16_t(r + 2)) : std::make_tuple(kOld, int16_t{0x5555})));
            const std::vector<int32_t> flags(l.ltpLongUsed, l.ltpLongUsed + 6);
            EXPECT_EQ(flags, (data ? std::vector<int32_t>{r, 1, r, 0, 1, kOld} : std::vector<int32_t>(6, kOld)));
        }
    }
}

// ---------------------------------------------------------------- sections
int32_t decodeSections(const BitWriter &w, Channel &out, int *bitsUsed, int32_t *noise, int32_t *is) {
    out.sectCb.assign(120, 0xEE); out.sectEnd.assign(120, 0xEE); out.sfbCb.assign(128, 0xEE);
    BitRef pos = w.ref();
    const int32_t sts = armACAAC_DecodeSectionData(out.sfbCb.data(), out.sectCb.data(), out.sectEnd.data(),
                                                   out.numSect, out.shortWindows ? 2 : 0, out.numGroups,
                                                   out.maxSfb, &pos.byte, &pos.offset, noise, is);
    *bitsUsed = bitsFrom(w.ref(), pos);
    return sts;
}

TEST(SectionData, RandomRoundTrip) {
    std::mt19937 rng(3);
    const int cbs[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 13, 14, 15};
    for (int iter = 0; iter < 2000; ++iter) {
        Channel ch;
        ch.shortWindows = rng() % 2;
        ch.numGroups = ch.shortWindows ? 1 + static_cast<int>(rng() % 8) : 1;
        ch.maxSfb = static_cast<int>(rng() % (ch.shortWindows ? 16 : 52));
        bool noise = false, is = false;
        for (int g = 0; g < ch.numGroups; ++g) {
            for (int k = 0; k < ch.maxSfb; ++ch.numSect[g]) {
                const int end = k + 1 + static_cast<int>(rng() % (ch.maxSfb - k)), cb = cbs[rng() % 15];
                noise |= cb == 13;
                is |= cb >= 14;
                ch.sectCb.push_back(cb), ch.sectEnd.push_back(end);
                ch.sfbCb.insert(ch.sfbCb.end(), end - k, cb);
                k = end;
            }
        }
        BitWriter w;
        writeSections(w, ch);
        Channel got = ch;
        int bits = 0;
        int32_t noiseFlag = 0, isFlag = 0;
        ASSERT_EQ(decodeSections(w, got, &bits, &noiseFlag, &isFlag), 0);
        EXPECT_EQ(bits, w.count());
        EXPECT_EQ(std::make_tuple(noiseFlag, isFlag), std::make_tuple(noise ? 1 : 0, is ? 1 : 0));
        for (int g = 0; g < ch.numGroups; ++g) ASSERT_EQ(got.numSect[g], ch.numSect[g]);
        for (size_t s = 0; s < ch.sectCb.size(); ++s)
            EXPECT_EQ(std::tie(got.sectCb[s], got.sectEnd[s]), std::tie(ch.sectCb[s], ch.sectEnd[s]));
        for (size_t b = 0; b <= ch.sfbCb.size(); ++b)  // packed, nothing beyond
            EXPECT_EQ(got.sfbCb[b], b < ch.sfbCb.size() ? ch.sfbCb[b] : 0xEE);
    }
}

TEST(SectionData, KnownCasesAndFailures) {
    std::vector<uint8_t> shortCbs;
    for (int g = 0; g < 3; ++g) shortCbs.insert(shortCbs.end(), 14, g + 1);
    struct Case {  // bits: consumed, -1 not checked; empty expectations are not checked; 0xEE/9: untouched
        const char *name; bool isShort; int groups, maxSfb; Fields fields; int32_t status; int bits;
        std::vector<int> numSect, sectEnd; std::vector<uint8_t> sfbCb; std::vector<int> sectCb = {};
    };
    constexpr uint8_t X = 0xEE;
    std::vector<uint8_t> overrunCbs(13, X);
    std::fill_n(overrunCbs.begin(), 10, 1);
    const Fields s3 = {{0, 4}, {7, 3}, {7, 3}, {0, 3}};
    Fields shortFields;
    for (int g = 0; g < 3; ++g) { shortFields.insert(shortFields.end(), s3.begin(), s3.end()); shortFields[4 * g].v = g + 1; }
    const Case cases[] = {
        {"31 + 18 covers 49 bands", false, 1, 49, {{11, 4}, {31, 5}, {18, 5}}, 0, 14, {1}, {49}, std::vector<uint8_t>(49, 11)},
        {"short: 7 + 7 + 0 per group", true, 3, 14, shortFields, 0, 39, {1, 1, 1}, {14, 14, 14}, shortCbs},
        {"length 0 is legal and counts", false, 1, 3, {{5, 4}, {0, 5}, {6, 4}, {3, 5}}, 0, 18, {2}, {0, 3}, {6, 6, 6}},
        {"length 60 (31 + 29)", false, 1, 51, {{1, 4}, {31, 5}, {29, 5}}, -2, 14, {9}, {X}, {X, X}, {1}},
        // The overrunning section's codebook is stored when read; its end, its
        // bands and the group's section count are not.
        {"overrun: ends 10 then 13", false, 1, 12, {{1, 4}, {10, 5}, {2, 4}, {3, 5}}, -2, 18, {9}, {10, X}, overrunCbs, {1, 2}},
        {"overrun in group 1", true, 2, 4, {{3, 4}, {4, 3}, {5, 4}, {5, 3}}, -2, 14, {1, 9}, {4, X}, {3, 3, 3, 3, X, X, X, X}, {3, 5}},
        {"too many sections", false, 1, 2, {{1, 4}, {0, 5}, {1, 4}, {0, 5}, {1, 4}, {0, 5}}, -2, 27, {9}, {0, 0, X}, {X, X}},
        {"maxSfb 0 reads nothing", true, 2, 0, {{0xFF, 8}}, 0, 0, {0, 0}, {}, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        BitWriter w;
        put(w, c.fields);
        Channel got;
        std::tie(got.shortWindows, got.numGroups, got.maxSfb) = std::tie(c.isShort, c.groups, c.maxSfb);
        std::fill(got.numSect, got.numSect + 8, 9);
        int bits = 0;
        int32_t nf = 0, isf = 0;
        EXPECT_EQ(decodeSections(w, got, &bits, &nf, &isf), c.status);
        if (c.bits >= 0) { EXPECT_EQ(bits, c.bits); }
        for (size_t g = 0; g < c.numSect.size(); ++g) EXPECT_EQ(got.numSect[g], c.numSect[g]);
        for (size_t s = 0; s < c.sectEnd.size(); ++s) EXPECT_EQ(got.sectEnd[s], c.sectEnd[s]);
        for (size_t b = 0; b < c.sfbCb.size(); ++b) EXPECT_EQ(got.sfbCb[b], c.sfbCb[b]);
        for (size_t s = 0; s < c.sectCb.size(); ++s) EXPECT_EQ(got.sectCb[s], c.sectCb[s]);
    }
}

// ---------------------------------------------------------------- pulses
int32_t decodePulses(const BitWriter &w, int sri, int32_t *num, int32_t *start, int32_t *offs, int32_t *amps, int *bits) {
    BitRef pos = w.ref();
    const int32_t sts = armACAAC_DecodePulseData(armACAAC_swbOffsetLongWindow[sri], num, start, offs, &pos.byte,
                                                 &pos.offset, amps, static_cast<uint16_t>(armACAAC_numSwbLong[sri]));
    *bits = bitsFrom(w.ref(), pos);
    return sts;
}

TEST(PulseData, RandomRoundTripAndLimits) {
    std::mt19937 rng(5);
    for (int iter = 0; iter < 3000; ++iter) {
        const int sri = static_cast<int>(rng() % 12);
        const int num = rng() % 4, start = static_cast<int>(rng() % 64);
        const bool badStart = start >= armACAAC_numSwbLong[sri];
        int offs[4], amps[4], badAt = -1;
        BitWriter w;
        put(w, {{num, 2}, {start, 6}});
        for (int i = 0, k = badStart ? 0 : armACAAC_swbOffsetLongWindow[sri][start]; i <= num; ++i) {
            w.bits(offs[i] = rng() % 32, 5);
            w.bits(amps[i] = rng() % 16, 4);
            k += offs[i];
            if (!badStart && badAt < 0 && k > 1023) badAt = i;
        }
        int32_t gNum, gStart, gOff[4], gAmp[4];
        int bits = 0;
        const int32_t sts = decodePulses(w, sri, &gNum, &gStart, gOff, gAmp, &bits);
        EXPECT_EQ(std::make_tuple(gNum, gStart), std::make_tuple(num, start));
        const int last = badStart ? -1 : badAt >= 0 ? badAt : num;
        EXPECT_EQ(std::make_tuple(sts, bits),
                  std::make_tuple(badStart || badAt >= 0 ? -2 : 0, 8 + 9 * (last + 1)));
        for (int i = 0; i <= last; ++i) { EXPECT_EQ(gOff[i], offs[i]); EXPECT_EQ(gAmp[i], amps[i]); }
    }
    // Edges at 48 kHz (49 bands, offset of band 48 = 928).
    struct Case { int start; std::vector<int> offs; int32_t status; };
    for (const Case &c : {Case{49, {0}, -2}, Case{48, {0}, 0}, Case{48, {31, 31, 31, 3}, -2}, Case{48, {31, 31, 31, 2}, 0}}) {
        BitWriter w;
        put(w, {{c.offs.size() - 1, 2}, {c.start, 6}});
        for (int o : c.offs) put(w, {{o, 5}, {1, 4}});
        int32_t n, s, o[4], a[4];
        int bits;
        EXPECT_EQ(decodePulses(w, 3, &n, &s, o, a, &bits), c.status);
    }
}

// ---------------------------------------------------------------- TNS
void decodeTns(int aot, int sri, int seq, int8_t *coefs, BitRef &pos, ChannelInfo &ch) {
    TnsInfo &t = ch.tnsInfo;
    armACAAC_DecodeTNSData(aot, sri, seq, coefs, &pos.byte, &pos.offset, ch.numWindows, t.tnsNumFilters,
                           t.tnsCoefRes, t.tnsLength, t.tnsOrder, t.tnsDirection, &ch);
}

TEST(TnsData, RandomRoundTrip) {
    std::mt19937 rng(11);
    for (int iter = 0; iter < 3000; ++iter) {
        const bool isShort = rng() % 2;
        const int sri = static_cast<int>(rng() % 12), aot = (rng() % 4 == 0) ? 3 : 2;
        const int maxOrder = aot == 3 ? 12 : isShort ? 7 : (sri > 4 ? 20 : 12);
        IcsInfo ics{};
        ics.windowSequence = isShort ? 2 : 0;
        ChannelInfo ch = makeChannel(sri, &ics);
        ch.numWindows = isShort ? 8 : 1;
        std::memset(&ch.tnsInfo, 0x77, sizeof ch.tnsInfo);
        TnsInfo expect = ch.tnsInfo;
        std::vector<int> coefs;
        BitWriter w;
        for (int win = 0; win < ch.numWindows; ++win) {
            const int nf = static_cast<int>(rng() % (isShort ? 2 : 4));
            w.bits(expect.tnsNumFilters[win] = nf, isShort ? 1 : 2);
            if (!nf) continue;
            const int res = rng() % 2;
            w.bits(res, 1);
            expect.tnsCoefRes[win] = res + 3;
            for (int e = win; e < win + nf; ++e) {
                w.bits(expect.tnsLength[e] = static_cast<int>(rng() % (isShort ? 16 : 64)), isShort ? 4 : 6);
                const int order = static_cast<int>(rng() % (isShort ? 8 : 32));
                w.bits(order, isShort ? 3 : 5);
                const int lim = expect.tnsOrder[e] = std::min(order, maxOrder);
                if (!lim) continue;
                w.bits(expect.tnsDirection[e] = rng() % 2, 1);
                const int compress = rng() % 2, n = res + 3 - compress;
                w.bits(compress, 1);
                for (int i = 0; i < lim; ++i) {
                    coefs.push_back(static_cast<int>(rng() % (1u << n)) - (1 << (n - 1)));
                    w.bits(static_cast<uint32_t>(coefs.back()) & ((1u << n) - 1), n);
                }
            }
        }
        int8_t got[64];
        std::memset(got, 0x5A, sizeof got);
        BitRef pos = w.ref();
        decodeTns(aot, sri, ics.windowSequence, got, pos, ch);
        EXPECT_EQ(bitsFrom(w.ref(), pos), w.count());
        EXPECT_EQ(std::memcmp(&expect, &ch.tnsInfo, sizeof expect), 0);
        ASSERT_LE(coefs.size(), 60u);
        for (size_t i = 0; i < coefs.size(); ++i) EXPECT_EQ(got[i], coefs[i]);
        EXPECT_EQ(got[coefs.size()], 0x5A);
    }
}

TEST(TnsData, OrderLimitDependsOnRate) {
    for (int sri : {3, 6}) {
        BitWriter w;
        put(w, {{1, 2}, {1, 1}, {40, 6}, {15, 5}, {0, 1}, {0, 1}});
        for (int i = 0; i < 15; ++i) w.bits(i & 15, 4);
        IcsInfo ics{};
        ChannelInfo ch = makeChannel(sri, &ics);
        ch.numWindows = 1;
        int8_t c[64];
        BitRef pos = w.ref();
        decodeTns(2, sri, 0, c, pos, ch);
        const int order = sri == 3 ? 12 : 15;
        EXPECT_EQ(ch.tnsInfo.tnsOrder[0], order);
        EXPECT_EQ(bitsFrom(w.ref(), pos), 16 + 4 * order);
        EXPECT_EQ(std::make_tuple(c[7], c[9]), std::make_tuple(7, -7));  // 4-bit field 9 sign-extends
    }
}

// ---------------------------------------------------------------- pair head
TEST(ChanPairElt, HeadWithAndWithoutCommonWindow) {
    std::mt19937 rng(13);
    for (int iter = 0; iter < 500; ++iter) {
        const int common = rng() % 2, isShort = rng() % 2, ms = rng() % 4;
        const int maxSfb = static_cast<int>(rng() % (isShort ? 16 : 50));
        const uint32_t grouping = rng() & 0x7F;
        const std::vector<int> groups = isShort ? groupsOf(grouping) : std::vector<int>{1};
        BitWriter w;
        put(w, {{rng() & 15, 4}, {common, 1}});
        if (common)
            put(w, {{0, 1}, {isShort ? 2 : 0, 2}, {1, 1}, {maxSfb, isShort ? 4 : 6},
                    {isShort ? grouping : 0, isShort ? 7 : 1}, {ms, 2}});
        ChanPairElt cpe;
        std::memset(&cpe, 0xCC, sizeof cpe);
        std::vector<uint8_t> used;
        for (size_t i = 0; common && ms == 1 && i < groups.size() * maxSfb; ++i) {
            used.push_back(rng() % 2);
            w.bits(used.back(), 1);
        }
        IcsInfo ics{};
        LtpInfo l0{}, l1{};
        LtpInfo *pair[2] = {&l0, &l1};
        BitRef pos = w.ref();
        ASSERT_EQ(omxACAAC_DecodeChanPairElt(&pos.byte, &pos.offset, &ics, &cpe, 2, pair), 0);
        EXPECT_EQ(bitsFrom(w.ref(), pos), w.count());
        EXPECT_EQ(cpe.commonWindow, common);
        if (!common) continue;
        EXPECT_EQ(std::make_tuple(ics.maxSfb, cpe.msMaskPresent), std::make_tuple(maxSfb, ms));
        if (ms != 1) { EXPECT_EQ(cpe.msUsed[0][0], 0xCC); }
        for (size_t i = 0; i < used.size(); ++i) EXPECT_EQ(cpe.msUsed[i / maxSfb][i % maxSfb], used[i]);
    }
}

TEST(ChanPairElt, ObjectType4ReadsBothLtpRecords) {
    BitWriter w;
    put(w, {{7, 4}, {1, 1}, {0, 1}, {0, 2}, {0, 1}, {3, 6}, {1, 1}});  // long, max_sfb 3, predictor flag
    put(w, {{1, 1}, {0x123, 11}, {5, 3}, {1, 1}, {0, 1}, {1, 1}});     // first record
    put(w, {{1, 1}, {0x456, 11}, {2, 3}, {0, 1}, {1, 1}, {1, 1}});     // second record
    put(w, {{2, 2}});                                                  // ms_mask_present
    IcsInfo ics{};
    ChanPairElt cpe{};
    LtpInfo l[2]{};
    LtpInfo *pair[2] = {&l[0], &l[1]};
    BitRef pos = w.ref();
    ASSERT_EQ(omxACAAC_DecodeChanPairElt(&pos.byte, &pos.offset, &ics, &cpe, 4, pair), 0);
    EXPECT_EQ(bitsFrom(w.ref(), pos), w.count());
    EXPECT_EQ(std::make_tuple(l[0].ltpDataPresent, l[0].ltpLag, l[0].ltpCoef, l[0].ltpLongUsed[0], l[0].ltpLongUsed[1]),
              std::make_tuple(1, 0x123, int16_t{5}, 1, 0));
    EXPECT_EQ(std::make_tuple(l[1].ltpDataPresent, l[1].ltpLag, l[1].ltpCoef, l[1].ltpLongUsed[0], l[1].ltpLongUsed[2]),
              std::make_tuple(1, 0x456, int16_t{2}, 0, 1));
    EXPECT_EQ(cpe.msMaskPresent, 2);
}

TEST(ChanPairElt, BadArgumentsAndStreamInfoStatus) {
    BitWriter w;
    put(w, {{0, 4}, {1, 1}, {0, 4}, {52, 6}});
    IcsInfo ics{};
    ChanPairElt cpe{};
    LtpInfo l0{}, l1{};
    LtpInfo *pair[2] = {&l0, &l1};
    BitRef pos = w.ref();
    EXPECT_EQ(omxACAAC_DecodeChanPairElt(&pos.byte, &pos.offset, &ics, &cpe, 1, pair), -5);
    EXPECT_EQ(bitsFrom(w.ref(), pos), 0);
    EXPECT_EQ(omxACAAC_DecodeChanPairElt(nullptr, &pos.offset, &ics, &cpe, 2, pair), -5);
    EXPECT_EQ(omxACAAC_DecodeChanPairElt(&pos.byte, nullptr, &ics, &cpe, 2, pair), -5);
    EXPECT_EQ(omxACAAC_DecodeChanPairElt(&pos.byte, &pos.offset, nullptr, &cpe, 2, pair), -5);
    EXPECT_EQ(omxACAAC_DecodeChanPairElt(&pos.byte, &pos.offset, &ics, nullptr, 2, pair), -5);
    EXPECT_EQ(omxACAAC_DecodeChanPairElt(&pos.byte, &pos.offset, &ics, &cpe, 2, nullptr), -5);
    BitRef bad = pos;
    bad.offset = 8;
    EXPECT_EQ(omxACAAC_DecodeChanPairElt(&bad.byte, &bad.offset, &ics, &cpe, 2, pair), -5);
    bad = pos;
    bad.byte = nullptr;
    EXPECT_EQ(omxACAAC_DecodeChanPairElt(&bad.byte, &bad.offset, &ics, &cpe, 2, pair), -5);
    EXPECT_EQ(std::make_tuple(bitsFrom(w.ref(), pos), bad.byte, bad.offset, cpe.commonWindow),
              std::make_tuple(0, static_cast<const uint8_t *>(nullptr), 0u, 0));  // nothing read or moved
    EXPECT_EQ(omxACAAC_DecodeChanPairElt(&pos.byte, &pos.offset, &ics, &cpe, 2, pair), -162);
    EXPECT_EQ(bitsFrom(w.ref(), pos), 15);
}

}  // namespace
