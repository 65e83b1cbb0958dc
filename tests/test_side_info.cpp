// Side information of one channel: stream info (long and grouped short
// windows, prediction and LTP fields), section, pulse and TNS data, and the
// head of a channel pair.  Fields written with armPackBits must decode
// exactly, consuming exactly the bits written; each failure status is
// checked where it arises.  (Round trips of whole channel streams:
// test_noiseless.)
#include <gtest/gtest.h>

#include <cstring>
#include <tuple>

#include "omxdl/ac/armACAAC.h"
#include "random_ics.h"

namespace {

constexpr int32_t kOld = 0x55555555;  // record contents before the call

// Group lengths from the 7 grouping bits: window w joins the previous group
// when bit (7 - w) is set.
std::vector<int> groupsOf(uint32_t grouping) {
    std::vector<int> groups{1};
    for (int win = 1; win < 8; ++win) (grouping >> (7 - win)) & 1 ? ++groups.back() : (groups.push_back(1), 0);
    return groups;
}

// Stream info at the start of w, with channel info of the given sampling
// index (sri < 0: none).
int32_t decodeIcs(const BitWriter &w, int sri, IcsInfo &ics, ChannelInfo &ch, int common = 0, int aot = 2,
                  int predSfbMax = 0, LtpInfo *const *pair = nullptr, int *bits = nullptr) {
    std::memset(&ch, 0, sizeof ch);
    ch.samplingRateIndex = sri;
    ch.icsInfo = &ics;
    BitRef pos = w.ref();
    const int32_t sts = armACAAC_DecodeIcsInfoData(&pos.byte, &pos.offset, common, aot, predSfbMax,
                                                   sri < 0 ? nullptr : &ch, &ics, pair);
    if (bits) *bits = bitsFrom(w.ref(), pos);
    return sts;
}

// Channel pair head at the start of w.
int32_t decodePairHead(const BitWriter &w, IcsInfo &ics, ChanPairElt &cpe, int aot, LtpInfo *const *pair,
                       int *bits) {
    BitRef pos = w.ref();
    const int32_t sts = omxACAAC_DecodeChanPairElt(&pos.byte, &pos.offset, &ics, &cpe, aot, pair);
    *bits = bitsFrom(w.ref(), pos);
    return sts;
}

// ---------------------------------------------------------------- stream info
// Random stream info read alone (with channel info) or as the shared stream
// info of a channel pair head, followed by ms_mask_present and the ms_used
// flags (mask 1).  A pair head without a common window reads only the tag
// and common_window.
TEST(IcsInfo, RandomRoundTripAloneAndInPairHead) {
    ASSERT_EQ(groupsOf(0x5B), (std::vector<int>{2, 3, 3}));
    std::mt19937 rng(1);
    for (int iter = 0; iter < 3000; ++iter) {
        SCOPED_TRACE(iter);
        const bool inPair = iter % 3 != 0, common = iter % 3 == 1;
        const int sri = static_cast<int>(rng() % 12);
        const bool isShort = rng() % 2;
        const int seq = isShort ? 2 : std::vector<int>{0, 1, 3}[rng() % 3];
        const int numSwb = isShort ? armACAAC_numSwbShort[sri] : armACAAC_numSwbLong[sri];
        const int maxSfb = static_cast<int>(rng() % (numSwb + 1));
        const int shape = rng() % 2, reserved = rng() % 2, pred = inPair ? 0 : rng() % 2, ms = rng() % 4;
        const uint32_t grouping = rng() & 0x7F;
        const std::vector<int> groups = isShort ? groupsOf(grouping) : std::vector<int>{1};
        BitWriter w;
        if (inPair) put(w, {{rng() & 15, 4}, {common, 1}});
        if (!inPair || common) {
            put(w, {{reserved, 1}, {seq, 2}, {shape, 1}, {maxSfb, isShort ? 4 : 6}});
            isShort ? w.bits(grouping, 7) : w.bits(pred, 1);
        }
        std::vector<uint8_t> used;
        if (common) w.bits(ms, 2);
        for (int i = 0; common && ms == 1 && i < int(groups.size()) * maxSfb; ++i) {
            used.push_back(rng() % 2);
            w.bits(used.back(), 1);
        }
        IcsInfo ics;
        std::memset(&ics, 0x55, sizeof ics);
        ChannelInfo ch;
        ChanPairElt cpe;
        std::memset(&cpe, 0xCC, sizeof cpe);
        LtpInfo l0{}, l1{};
        LtpInfo *pair[2] = {&l0, &l1};
        int bits = 0;
        ASSERT_EQ(inPair ? decodePairHead(w, ics, cpe, 2, pair, &bits) : decodeIcs(w, sri, ics, ch, 0, 2, 0, nullptr, &bits), 0);
        EXPECT_EQ(bits, w.count());
        if (inPair) {
            EXPECT_EQ(cpe.commonWindow, int32_t(common));
            if (!common) continue;
            EXPECT_EQ(cpe.msMaskPresent, ms);
            if (ms != 1) { EXPECT_EQ(cpe.msUsed[0][0], 0xCC); }
            for (size_t i = 0; i < used.size(); ++i) EXPECT_EQ(cpe.msUsed[i / maxSfb][i % maxSfb], used[i]);
        } else {
            EXPECT_EQ(std::make_tuple(ch.numSwb, ch.numWindows, ch.windowLength), std::make_tuple(numSwb, isShort ? 8 : 1, isShort ? 128 : 1024));
        }
        EXPECT_EQ(std::make_tuple(ics.icsReservedBit, ics.windowSequence, ics.windowShape, ics.maxSfb),
                  std::make_tuple(reserved, seq, shape, maxSfb));
        EXPECT_EQ(isShort ? ics.scaleFactorGrouping : ics.predictorDataPresent, isShort ? int(grouping) : pred);
        ASSERT_EQ(ics.numWindowGroups, static_cast<int>(groups.size()));
        // Fields this path does not write keep their earlier contents.
        for (int g = 0; g < 8; ++g) EXPECT_EQ(ics.windowGroupLength[g], g < ics.numWindowGroups ? groups[g] : kOld) << g;
        EXPECT_EQ(isShort ? ics.predictorDataPresent : ics.scaleFactorGrouping, kOld);
        EXPECT_EQ(std::make_tuple(ics.predictorReset, ics.predictorResetGroup, ics.predictionUsed[0], ics.predictionUsed[40]),
                  std::make_tuple(kOld, kOld, uint8_t{0x55}, uint8_t{0x55}));
    }
}

// Refused (-162) right after the max_sfb field, which is not stored: above
// the band count of the channel's rate, or without channel info (the shared
// stream info of a pair) above 51.
TEST(IcsInfo, MaxSfbAboveBandCountIsRejected) {
    for (int sri = -1; sri < 12; ++sri) {
        for (int isShort = 0; isShort < 2; ++isShort) {
            const int numSwb = sri < 0 ? (isShort ? 15 : 51) : isShort ? armACAAC_numSwbShort[sri] : armACAAC_numSwbLong[sri];
            for (int maxSfb : {numSwb, numSwb + 1, isShort ? 15 : 52, isShort ? 15 : 63}) {
                if (maxSfb >= (isShort ? 16 : 64)) continue;  // does not fit the field
                SCOPED_TRACE(testing::Message() << sri << " " << isShort << " " << maxSfb);
                BitWriter w;
                put(w, {{0, 1}, {isShort ? 2 : 0, 2}, {0, 1}, {maxSfb, isShort ? 4 : 6}, {0, 7}});
                IcsInfo ics{};
                ics.maxSfb = -7;
                ChannelInfo ch;
                int bits = 0;
                const int32_t sts = decodeIcs(w, sri, ics, ch, 0, 2, 0, nullptr, &bits);
                EXPECT_EQ(sts, maxSfb <= numSwb ? 0 : -162);
                if (sts != 0) { EXPECT_EQ(std::make_tuple(bits, ics.maxSfb), std::make_tuple(isShort ? 8 : 10, -7)); }
            }
        }
    }
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
        ChannelInfo ch;
        int bits = 0;
        ASSERT_EQ(decodeIcs(w, -1, ics, ch, 0, 1, c.predSfbMax, nullptr, &bits), 0);
        EXPECT_EQ(bits, c.bits);
        const bool read = !c.isShort && c.present;
        EXPECT_EQ(std::make_tuple(ics.maxSfb, ics.predictorDataPresent, ics.predictorReset, ics.predictorResetGroup),
                  std::make_tuple(c.maxSfb, c.isShort ? kOld : c.present, read ? c.reset : kOld,
                                  read && c.reset ? c.group : kOld));
        for (int b = 0; b < 41; ++b) EXPECT_EQ(ics.predictionUsed[b], b < c.flags ? b % 3 == 1 : 0x55) << b;
    }
}

// Object type 4: an ltp_data_present flag per record only after a predictor
// flag of 1 on a long window; the second record only for a common window,
// alone or in a pair head (whose mask follows).  Under low complexity the
// predictor flag is read and nothing after it.
TEST(IcsInfo, LtpPathsUnderObjectType4) {
    struct Case { const char *name; bool isShort; int aot, predictor, common; std::vector<int> present; int bits; bool head; };
    const Case cases[] = {
        {"predictor flag 0: no LTP flag", false, 4, 0, 1, {}, 11, false},
        {"short windows: no predictor or LTP field", true, 4, 1, 1, {}, 15, false},
        {"one channel, LTP absent", false, 4, 1, 0, {0}, 12, false},
        {"one channel, LTP present", false, 4, 1, 0, {1}, 12 + 14 + 5, false},
        {"common window: first absent, second present", false, 4, 1, 1, {0, 1}, 13 + 14 + 5, false},
        {"common window: both present", false, 4, 1, 1, {1, 1}, 13 + 2 * (14 + 5), false},
        {"pair head: both present", false, 4, 1, 1, {1, 1}, 5 + 13 + 2 * (14 + 5) + 2, true},
        {"low complexity", false, 2, 1, 1, {}, 11, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        BitWriter w;
        if (c.head) put(w, {{7, 4}, {1, 1}});
        put(w, {{0, 1}, {c.isShort ? 2 : 0, 2}, {0, 1}, {5, c.isShort ? 4 : 6}, {c.isShort ? 0x7F : c.predictor, c.isShort ? 7 : 1}});
        for (size_t r = 0; r < c.present.size(); ++r) {
            w.bits(c.present[r], 1);
            if (c.present[r]) put(w, {{0x100 + r, 11}, {r + 2, 3}, {r, 1}, {1, 1}, {r, 1}, {0, 1}, {1, 1}});
        }
        put(w, {{2, 2}, {0x3FFFF, 18}});
        LtpInfo got[2];
        std::memset(got, 0x55, sizeof got);
        LtpInfo *pair[2] = {&got[0], &got[1]};
        IcsInfo ics{};
        ChannelInfo ch;
        ChanPairElt cpe{};
        int bits = 0;
        ASSERT_EQ(c.head ? decodePairHead(w, ics, cpe, c.aot, pair, &bits) : decodeIcs(w, -1, ics, ch, c.common, c.aot, 0, pair, &bits), 0);
        EXPECT_EQ(std::make_tuple(bits, cpe.msMaskPresent), std::make_tuple(c.bits, c.head ? 2 : 0));
        for (int r = 0; r < 2; ++r) {
            SCOPED_TRACE(r);
            const LtpInfo &l = got[r];
            const bool flag = r < static_cast<int>(c.present.size()), data = flag && c.present[r];
            EXPECT_EQ(l.ltpDataPresent, flag ? c.present[r] : kOld);
            EXPECT_EQ(std::make_tuple(l.ltpLag, l.ltpCoef),
                      (data ? std::make_tuple(0x100 + r, int16_t(r + 2)) : std::make_tuple(kOld, int16_t{0x5555})));
            EXPECT_EQ(std::vector<int32_t>(l.ltpLongUsed, l.ltpLongUsed + 6),
                      (data ? std::vector<int32_t>{r, 1, r, 0, 1, kOld} : std::vector<int32_t>(6, kOld)));
        }
    }
}

// At most 40 band flags, none for eight short windows.
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
        EXPECT_EQ(std::make_tuple(ltp.ltpDataPresent, ltp.ltpLag, ltp.ltpCoef), std::make_tuple(kOld, 0x5A3, int16_t{6}));
        for (int b = 0; b < 40; ++b) EXPECT_EQ(ltp.ltpLongUsed[b], b < c.flags ? b % 3 != 1 : kOld) << b;
    }
}

// ---------------------------------------------------------------- sections
// Known layouts and failures (random layouts: the channel stream round trips
// of test_noiseless).
TEST(SectionData, KnownCasesAndFailures) {
    constexpr uint8_t X = 0xEE;  // untouched
    std::vector<uint8_t> shortCbs, overrunCbs(13, X);
    for (int g = 0; g < 3; ++g) shortCbs.insert(shortCbs.end(), 14, g + 1);
    std::fill_n(overrunCbs.begin(), 10, 1);
    std::vector<Field> shortFields;  // per group: codebook g + 1, lengths 7 + 7 + 0
    for (int g = 0; g < 3; ++g) shortFields.insert(shortFields.end(), {{g + 1, 4}, {7, 3}, {7, 3}, {0, 3}});
    struct Case {  // bits: consumed, -1 not checked; numSect 9: untouched; empty lists are not checked
        const char *name; bool isShort; int groups, maxSfb; std::vector<Field> fields; int32_t status; int bits;
        std::vector<int> numSect, sectEnd; std::vector<uint8_t> sfbCb; std::vector<int> sectCb = {};
        int32_t noise = 0, is = 0;
    };
    const Case cases[] = {
        {"31 + 18 covers 49 bands", false, 1, 49, {{11, 4}, {31, 5}, {18, 5}}, 0, 14, {1}, {49}, std::vector<uint8_t>(49, 11)},
        {"short: 7 + 7 + 0 per group", true, 3, 14, shortFields, 0, 39, {1, 1, 1}, {14, 14, 14}, shortCbs},
        {"length 0 is legal and counts", false, 1, 3, {{5, 4}, {0, 5}, {6, 4}, {3, 5}}, 0, 18, {2}, {0, 3}, {6, 6, 6}},
        {"noise and intensity flags", false, 1, 3, {{13, 4}, {1, 5}, {15, 4}, {2, 5}}, 0, 18, {2}, {1, 3}, {13, 15, 15}, {}, 1, 1},
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
        std::vector<uint8_t> sectCb(120, X), sectEnd(120, X), sfbCb(128, X);
        int32_t numSect[8] = {9, 9, 9, 9, 9, 9, 9, 9}, noise = 0, is = 0;
        BitRef pos = w.ref();
        EXPECT_EQ(armACAAC_DecodeSectionData(sfbCb.data(), sectCb.data(), sectEnd.data(), numSect, c.isShort ? 2 : 0,
                                             c.groups, c.maxSfb, &pos.byte, &pos.offset, &noise, &is), c.status);
        if (c.bits >= 0) { EXPECT_EQ(bitsFrom(w.ref(), pos), c.bits); }
        EXPECT_EQ(std::make_tuple(noise, is), std::make_tuple(c.noise, c.is));
        for (size_t g = 0; g < c.numSect.size(); ++g) EXPECT_EQ(numSect[g], c.numSect[g]);
        for (size_t s = 0; s < c.sectEnd.size(); ++s) EXPECT_EQ(sectEnd[s], c.sectEnd[s]);
        for (size_t b = 0; b < c.sfbCb.size(); ++b) EXPECT_EQ(sfbCb[b], c.sfbCb[b]);
        for (size_t s = 0; s < c.sectCb.size(); ++s) EXPECT_EQ(sectCb[s], c.sectCb[s]);
    }
}

// ---------------------------------------------------------------- pulses
TEST(PulseData, RandomRoundTripAndLimits) {
    std::mt19937 rng(5);
    for (int iter = 0; iter < 3000; ++iter) {
        // Random fields, and the edges at 48 kHz (49 bands, band 48 at 928).
        const std::vector<std::vector<int>> edges = {{49, 0}, {48, 0}, {48, 31, 31, 31, 3}, {48, 31, 31, 31, 2}};
        const bool edge = iter < 4;
        const int sri = edge ? 3 : static_cast<int>(rng() % 12);
        const int num = edge ? static_cast<int>(edges[iter].size()) - 2 : rng() % 4;
        const int start = edge ? edges[iter][0] : static_cast<int>(rng() % 64);
        const bool badStart = start >= armACAAC_numSwbLong[sri];
        int offs[4], amps[4], badAt = -1;
        BitWriter w;
        put(w, {{num, 2}, {start, 6}});
        for (int i = 0, k = badStart ? 0 : armACAAC_swbOffsetLongWindow[sri][start]; i <= num; ++i) {
            w.bits(offs[i] = edge ? edges[iter][i + 1] : rng() % 32, 5);
            w.bits(amps[i] = rng() % 16, 4);
            k += offs[i];
            if (!badStart && badAt < 0 && k > 1023) badAt = i;
        }
        int32_t gNum, gStart, gOff[4], gAmp[4];
        BitRef pos = w.ref();
        const int32_t sts = armACAAC_DecodePulseData(armACAAC_swbOffsetLongWindow[sri], &gNum, &gStart, gOff, &pos.byte,
                                                     &pos.offset, gAmp, static_cast<uint16_t>(armACAAC_numSwbLong[sri]));
        EXPECT_EQ(std::make_tuple(gNum, gStart), std::make_tuple(num, start));
        const int last = badStart ? -1 : badAt >= 0 ? badAt : num;
        EXPECT_EQ(std::make_tuple(sts, bitsFrom(w.ref(), pos)),
                  std::make_tuple(badStart || badAt >= 0 ? -2 : 0, 8 + 9 * (last + 1))) << iter;
        for (int i = 0; i <= last; ++i) EXPECT_EQ(std::make_tuple(gOff[i], gAmp[i]), std::make_tuple(offs[i], amps[i]));
    }
}

// ---------------------------------------------------------------- TNS
// Random filters of every count, resolution, compression and order; the
// order is limited to 12 (object type 3, long windows up to 48 kHz), 20
// (long windows below) or 7 (short windows), and the coefficients of the
// limited order are read.
TEST(TnsData, RandomRoundTrip) {
    std::mt19937 rng(11);
    for (int iter = 0; iter < 3000; ++iter) {
        const bool isShort = rng() % 2;
        const int sri = static_cast<int>(rng() % 12), aot = (rng() % 4 == 0) ? 3 : 2;
        const int maxOrder = aot == 3 ? 12 : isShort ? 7 : (sri > 4 ? 20 : 12);
        IcsInfo ics{};
        ics.windowSequence = isShort ? 2 : 0;
        ChannelInfo ch;
        std::memset(&ch, 0, sizeof ch);
        std::tie(ch.samplingRateIndex, ch.icsInfo, ch.numWindows) = std::make_tuple(sri, &ics, isShort ? 8 : 1);
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
        TnsInfo &t = ch.tnsInfo;
        armACAAC_DecodeTNSData(aot, sri, ics.windowSequence, got, &pos.byte, &pos.offset, ch.numWindows,
                               t.tnsNumFilters, t.tnsCoefRes, t.tnsLength, t.tnsOrder, t.tnsDirection, &ch);
        EXPECT_EQ(bitsFrom(w.ref(), pos), w.count());
        EXPECT_EQ(std::memcmp(&expect, &ch.tnsInfo, sizeof expect), 0);
        ASSERT_LE(coefs.size(), 60u);
        for (size_t i = 0; i < coefs.size(); ++i) EXPECT_EQ(got[i], coefs[i]);
        EXPECT_EQ(got[coefs.size()], 0x5A);
    }
}

// ---------------------------------------------------------------- pair head
// Object types other than 2 and 4 and null records are refused (-5) before
// anything is read (bad positions: test_noiseless); a shared max_sfb above
// 51 gives -162.
TEST(ChanPairElt, BadArgumentsAndStreamInfoStatus) {
    BitWriter w;
    put(w, {{0, 4}, {1, 1}, {0, 4}, {52, 6}});
    IcsInfo ics{};
    ChanPairElt cpe{};
    LtpInfo l0{}, l1{};
    LtpInfo *pair[2] = {&l0, &l1};
    int bits = -1;
    for (int aot : {1, 3}) EXPECT_EQ(decodePairHead(w, ics, cpe, aot, pair, &bits), -5);
    EXPECT_EQ(decodePairHead(w, ics, cpe, 2, nullptr, &bits), -5);
    BitRef pos = w.ref();
    EXPECT_EQ(omxACAAC_DecodeChanPairElt(&pos.byte, &pos.offset, nullptr, &cpe, 2, pair), -5);
    EXPECT_EQ(omxACAAC_DecodeChanPairElt(&pos.byte, &pos.offset, &ics, nullptr, 2, pair), -5);
    EXPECT_EQ(std::make_tuple(bitsFrom(w.ref(), pos), bits, cpe.commonWindow), std::make_tuple(0, 0, 0));
    EXPECT_EQ(decodePairHead(w, ics, cpe, 2, pair, &bits), -162);
    EXPECT_EQ(bits, 15);
}

}  // namespace
