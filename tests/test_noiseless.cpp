// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// Noiseless decoding of one channel: whole channel streams and channel
// pairs written by the test-side encoder (every codebook, long and grouped
// short windows, pulses, TNS) must decode to exactly what was written,
// consuming exactly its bits, also when cut at any byte; then known bit
// patterns, each failure status where it arises, the prediction and LTP
// fields of other object types and the exported two-reference position.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <tuple>

#include "omxdl/ac/armACAAC.h"
#include "omxdl/ac/armACAAC_Bounded.h"
#include "random_ics.h"

namespace {

struct Decoder {
    IcsInfo ics{};
    ChannelInfo info{};
    LtpInfo ltp{};
    std::vector<int16_t> sf = std::vector<int16_t>(120, 0);
    std::vector<int32_t> coefs = std::vector<int32_t>(1024, kUntouched);
    uint8_t sfbCb[120] = {};
    int8_t tnsCoef[64] = {};
    int32_t noise = 0, is = 0, aot = 2;
    explicit Decoder(int sri) {
        info.samplingRateIndex = sri;
        info.icsInfo = &ics;
    }
    // For the second channel of a pair, whose stream info the head decoded.
    void shareWindows() {
        const bool s = ics.windowSequence == EIGHT_SHORT_SEQUENCE;
        info.numWindows = s ? 8 : 1;
        info.windowLength = s ? 128 : 1024;
        info.numSwb = s ? armACAAC_numSwbShort[info.samplingRateIndex] : armACAAC_numSwbLong[info.samplingRateIndex];
    }
    int32_t run(BitRef &pos, int common) {
        return omxACAAC_NoiselessDecode(&pos.byte, &pos.offset, sf.data(), coefs.data(), sfbCb, tnsCoef, &info,
                                        common, aot, &ltp, &noise, &is);
    }
    int32_t run(aacd::BitReader &pos, int common) {  // the decoder's own bounded form
        return aacd::noiselessDecode(pos, sf.data(), coefs.data(), sfbCb, tnsCoef, &info, common, aot, &ltp,
                                     &noise, &is);
    }
};

void checkDecoded(const Ics &e, const Decoder &d) {
    const Channel &ch = e.ch;
    EXPECT_EQ(std::make_tuple(d.info.globalGain, d.ics.maxSfb), std::make_tuple(ch.globalGain, ch.maxSfb));
    ASSERT_EQ(d.ics.numWindowGroups, ch.numGroups);
    for (int g = 0; g < ch.numGroups; ++g) EXPECT_EQ(d.ics.windowGroupLength[g], ch.groupLen[g]);
    for (size_t b = 0; b < ch.sfbCb.size(); ++b) {
        ASSERT_EQ(d.sfbCb[b], ch.sfbCb[b]);
        ASSERT_EQ(d.sf[b], ch.sf[b]) << "band " << b;
    }
    EXPECT_EQ(std::make_tuple(d.info.pulseDataPresent, d.info.tnsDataPresent, d.info.gainControlDataPresent),
              std::make_tuple(e.pulses ? 1 : 0, e.tnsPresent ? 1 : 0, 0));
    auto has = [&](int lo, int hi) {  // a section (even an empty one) of these codebooks
        return std::any_of(ch.sectCb.begin(), ch.sectCb.end(), [&](int cb) { return cb >= lo && cb <= hi; });
    };
    EXPECT_EQ(std::make_tuple(d.noise, d.is), std::make_tuple(int32_t{has(13, 13)}, int32_t{has(14, 15)}));
    if (e.tnsPresent) expectTns(e, d.info.tnsInfo, d.tnsCoef);
    for (size_t i = 0; i < e.spectrum.size(); ++i) ASSERT_EQ(d.coefs[i], e.spectrum[i]) << i;
    // Past the last short-window group nothing is written, unless there are
    // no sections at all: then all 1024 values are zero.
    for (size_t i = e.spectrum.size(); i < 1024; ++i) ASSERT_EQ(d.coefs[i], ch.maxSfb == 0 ? 0 : kUntouched) << i;
}

// A random single channel stream, or a common-window pair: head with
// ms_mask_present 1 and random ms_used flags, then two channel streams of the
// same layout with their own content.  Returns the bit positions after the
// head (0 for a single channel) and after the first channel.
std::pair<int, int> writeStream(BitWriter &w, std::mt19937 &rng, bool isShort, bool isPair, Ics &a, Ics &b,
                                std::vector<uint8_t> &ms) {
    a.ch = randomLayout(rng, isShort, kAllCodebooks);
    b.ch = a.ch;
    auto channel = [&](Ics &e) {
        std::vector<int> tnsWindows;
        for (int win = 0; win < (isShort ? 8 : 1); ++win)
            if (rng() % 2) tnsWindows.push_back(win);
        writeIcs(w, e, rng, isPair, rng() % 2, true, rng() % 2 ? &tnsWindows : nullptr);
    };
    int head = 0;
    if (isPair) {
        put(w, {{5, 4}, {1, 1}});  // tag, common_window
        writeIcsInfo(w, a.ch, 1);
        w.bits(1, 2);
        for (int i = 0; i < a.ch.numGroups * a.ch.maxSfb; ++i) {
            ms.push_back(rng() % 2);
            w.bits(ms.back(), 1);
        }
        head = w.count();
    }
    channel(a);
    const int first = w.count();
    if (isPair) channel(b);
    return {head, first};
}

TEST(NoiselessDecode, RandomChannelsAndPairsRoundTrip) {
    std::mt19937 rng(21);
    for (int iter = 0; iter < 800 && !HasFatalFailure(); ++iter) {
        SCOPED_TRACE(iter);
        const bool isShort = iter % 2, isPair = iter % 4 >= 2;
        Ics a, b;
        std::vector<uint8_t> ms;
        BitWriter w;
        const auto [head, first] = writeStream(w, rng, isShort, isPair, a, b, ms);
        const int end = w.count();
        w.bits(0x3F, 6);
        Decoder d(a.ch.sri);
        BitRef pos = w.ref();
        if (isPair) {
            ChanPairElt cpe{};
            LtpInfo l1{};
            LtpInfo *pair[2] = {&d.ltp, &l1};
            ASSERT_EQ(omxACAAC_DecodeChanPairElt(&pos.byte, &pos.offset, &d.ics, &cpe, 2, pair), 0);
            ASSERT_EQ(bitsFrom(w.ref(), pos), head);
            EXPECT_EQ(cpe.msMaskPresent, 1);
            for (size_t i = 0; i < ms.size(); ++i) EXPECT_EQ(cpe.msUsed[i / a.ch.maxSfb][i % a.ch.maxSfb], ms[i]);
            d.shareWindows();
        }
        ASSERT_EQ(d.run(pos, isPair), 0);
        EXPECT_EQ(bitsFrom(w.ref(), pos), first);
        EXPECT_EQ(d.info.numWindows, isShort ? 8 : 1);
        checkDecoded(a, d);
        if (!isPair) continue;
        std::fill(d.coefs.begin(), d.coefs.end(), kUntouched);
        d.noise = d.is = 0;
        ASSERT_EQ(d.run(pos, 1), 0);
        EXPECT_EQ(bitsFrom(w.ref(), pos), end);
        checkDecoded(b, d);
    }
}

TEST(NoiselessDecode, StatusPoints) {
    struct Case {  // rest: fields after the stream info; bits: consumed, -1 not checked
        const char *name; bool isShort; int maxSfb; std::vector<std::pair<uint32_t, int>> rest;
        int32_t status; int bits; int32_t pulse, gain;  // expected status, bits, presence flags
    };
    const Case cases[] = {
        {"long, no bands: zeros", false, 0, {{0, 3}}, 0, 22, 0, 0},
        {"short, no bands: all 1024 zero", true, 0, {{0, 3}}, 0, 26, 0, 0},
        {"pulses with short windows", true, 0, {{1, 1}, {0, 2}, {0, 6}, {1, 5}, {1, 4}, {0, 2}}, -2, 24, 1, 0},
        {"gain control after TNS", false, 0, {{0, 1}, {1, 1}, {0, 2}, {1, 1}}, -159, 24, 0, 1},
        {"max_sfb above band count", false, 50, {}, -162, -1, 0, 0},
        {"bad pulse start band", false, 0, {{1, 1}, {0, 2}, {49, 6}, {0, 9}}, -2, 28, 1, 0},
        {"section overrun", false, 5, {{1, 4}, {6, 5}}, -2, -1, 0, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        BitWriter w;  // gain, long or short (one group) stream info, the rest
        put(w, {{100, 8}, {c.isShort ? 2u << 1 : 0u, 4}, {c.maxSfb, c.isShort ? 4 : 6}, {c.isShort ? 0x7F : 0, c.isShort ? 7 : 1}});
        for (const auto &[v, n] : c.rest) w.bits(v, n);
        Decoder d(3);
        BitRef pos = w.ref();
        EXPECT_EQ(d.run(pos, 0), c.status);
        if (c.bits >= 0) { EXPECT_EQ(bitsFrom(w.ref(), pos), c.bits); }
        EXPECT_EQ(std::make_tuple(d.info.pulseDataPresent, d.info.gainControlDataPresent, d.coefs),
                  std::make_tuple(c.pulse, c.gain, std::vector<int32_t>(1024, c.status ? kUntouched : 0)));
    }
    // Shared stream info whose max_sfb exceeds the band count at 8 kHz.
    BitWriter w;
    w.bits(100, 8);
    Decoder d(11);
    d.ics.maxSfb = 41;
    d.ics.numWindowGroups = 1;
    d.info.numSwb = armACAAC_numSwbLong[11];
    BitRef pos = w.ref();
    EXPECT_EQ(d.run(pos, 1), -162);
}

// Object types 1 and 4 through the channel stream: the prediction flags up
// to predSfbMax of the channel record, and the LTP fields into the given
// record; the rest of the stream follows them.
TEST(NoiselessDecode, PredictionAndLtpFieldsOfOtherObjectTypes) {
    for (int aot : {1, 4}) {
        SCOPED_TRACE(aot);
        BitWriter w;
        put(w, {{100, 8}, {0, 4}, {5, 6}, {1, 1}});  // long, max_sfb 5, predictor flag
        if (aot == 1) put(w, {{1, 1}, {17, 5}, {1, 1}, {0, 1}, {1, 1}});  // reset group 17, 3 flags (predSfbMax)
        if (aot == 4) put(w, {{1, 1}, {0x3A5, 11}, {6, 3}, {0, 1}, {1, 1}, {0, 1}, {1, 1}, {0, 1}});  // LTP, 5 flags
        put(w, {{0, 4}, {5, 5}, {0, 3}});  // one zero-codebook section, no pulse, TNS, gain control
        Decoder d(3);
        d.aot = aot;
        d.info.predSfbMax = 3;
        std::memset(&d.ltp, 0x55, sizeof d.ltp);
        BitRef pos = w.ref();
        ASSERT_EQ(d.run(pos, 0), 0);
        EXPECT_EQ(bitsFrom(w.ref(), pos), w.count());
        EXPECT_EQ(d.coefs, std::vector<int32_t>(1024, 0));
        if (aot == 1) {
            EXPECT_EQ(std::make_tuple(d.ics.predictorReset, d.ics.predictorResetGroup, d.ltp.ltpDataPresent),
                      std::make_tuple(1, 17, 0x55555555));
            EXPECT_EQ(std::vector<int>(d.ics.predictionUsed, d.ics.predictionUsed + 4), (std::vector<int>{1, 0, 1, 0}));
        } else {
            EXPECT_EQ(std::make_tuple(d.ltp.ltpDataPresent, d.ltp.ltpLag, d.ltp.ltpCoef), std::make_tuple(1, 0x3A5, int16_t{6}));
            EXPECT_EQ(std::vector<int32_t>(d.ltp.ltpLongUsed, d.ltp.ltpLongUsed + 6),
                      (std::vector<int32_t>{0, 1, 0, 1, 0, 0x55555555}));
        }
    }
}

// ---------------------------------------------------------------- exported interface
// The exported operations read from the two references (byte pointer, bit
// offset), here starting 3 bits into the first byte, and leave both just
// past the fields they read (the other operations: the round trips above).  A null reference, a null byte pointer or an
// offset of 8 is refused before anything is read: -5 where the operation has
// a status, and in every case no output written and the references kept.
TEST(ExportedInterface, TwoReferencePositionAdvancesInPlace) {
    IcsInfo ics;
    ChannelInfo ch;
    LtpInfo ltp;
    std::vector<uint8_t> cbs(8);
    std::vector<int16_t> sf(8);
    std::vector<int32_t> quant(1024);
    int32_t noise = 0, is = 0;
    int8_t tnsCoef[64] = {};
    const uint8_t bandCb[2] = {1, 1};
    LtpInfo *pair[2] = {&ltp, &ltp};
    auto reset = [&] {
        std::memset(&ics, 0, sizeof ics);
        std::memset(&ch, 0, sizeof ch);
        std::memset(&ltp, 0, sizeof ltp);
        std::tie(ch.samplingRateIndex, ch.numWindows, ch.icsInfo) = std::make_tuple(3, 1, &ics);
        std::fill(quant.begin(), quant.end(), kUntouched);
        std::fill(sf.begin(), sf.end(), 0x777);
        std::fill(cbs.begin(), cbs.end(), 0xEE);
    };
    using P = const uint8_t **;
    struct Op {
        const char *name;
        std::vector<std::tuple<uint32_t, int, int>> fields;  // value, bits, or (bits 0) code word of codebook
        std::function<int32_t(P, uint32_t *)> call;
        int bits;                       // consumed from the fields
        std::function<bool()> decoded;  // the outputs hold the written values
        int32_t bad;                    // result for a bad position
    };
    const Op ops[] = {
        {"stream info", {{0, 1, 0}, {0, 2, 0}, {1, 1, 0}, {20, 6, 0}, {0, 1, 0}},
         [&](P pp, uint32_t *po) { return armACAAC_DecodeIcsInfoData(pp, po, 0, 2, 0, &ch, &ics, pair); }, 11,
         [&] { return ics.maxSfb == 20 && ics.windowShape == 1 && ch.windowLength == 1024; }, -5},
        {"ltp data", {{0x555, 11, 0}, {5, 3, 0}, {1, 1, 0}, {0, 1, 0}, {1, 1, 0}},
         [&](P pp, uint32_t *po) { return armACAAC_DecodeLtpData(pp, po, 0, 3, &ltp); }, 17,
         [&] { return ltp.ltpLag == 0x555 && ltp.ltpCoef == 5 && ltp.ltpLongUsed[2] == 1; }, 0},
        {"scale factors", {{62, 0, 0}, {58, 0, 0}},
         [&](P pp, uint32_t *po) { return armACAAC_DecodeScaleFactorData(sf.data(), 1, 100, bandCb, 2, pp, po); },
         armACAAC_codeBook0[62].codeLen + armACAAC_codeBook0[58].codeLen, [&] { return sf[0] == 102 && sf[1] == 100; }, -5},
        {"channel stream", {{100, 8, 0}, {0, 4, 0}, {0, 6, 0}, {0, 1, 0}, {0, 3, 0}},
         [&](P pp, uint32_t *po) {
             return omxACAAC_NoiselessDecode(pp, po, sf.data(), quant.data(), cbs.data(), tnsCoef, &ch, 0, 2, &ltp, &noise, &is);
         },
         22, [&] { return ch.globalGain == 100 && quant[1023] == 0; }, -5},
    };
    for (const Op &op : ops) {
        SCOPED_TRACE(op.name);
        BitWriter w;
        w.bits(5, 3);
        for (const auto &[v, n, cb] : op.fields) n ? w.bits(v, n) : w.code(cb, static_cast<int>(v));
        w.bits(0x2D, 7);  // whatever follows must not be read
        BitRef pos{w.base(), 3};
        reset();
        EXPECT_EQ(op.call(&pos.byte, &pos.offset), 0);
        EXPECT_EQ(bitsFrom(w.ref(), pos), 3 + op.bits);
        EXPECT_TRUE(op.decoded());
        struct Bad { const uint8_t *byte; uint32_t offset; bool nullBytePtr, nullOffsetPtr; };
        for (const Bad &b : {Bad{w.base(), 3, true, false}, Bad{nullptr, 3, false, false},
                             Bad{w.base(), 3, false, true}, Bad{w.base(), 8, false, false}}) {
            BitRef keep{b.byte, b.offset};
            reset();
            EXPECT_EQ(op.call(b.nullBytePtr ? nullptr : &keep.byte, b.nullOffsetPtr ? nullptr : &keep.offset), op.bad);
            EXPECT_FALSE(op.decoded());
            EXPECT_EQ(std::make_tuple(keep.byte, keep.offset), std::make_tuple(b.byte, b.offset));
        }
    }
    // Scale factors keep their order of checks: no bands to read is success
    // before the position is looked at.
    EXPECT_EQ(armACAAC_DecodeScaleFactorData(sf.data(), 1, 100, cbs.data(), 0, nullptr, nullptr), 0);
}

// ---------------------------------------------------------------- bounded reading
// The decoder reads through a position bounded by its input.  A stream cut
// at any byte must decode exactly as the same bytes followed by zeros,
// whatever lies in memory past the bound: the pair head, the stream info and
// every reader the channel streams reach must keep the bound.  Every cut
// within the first 96 bytes (head, stream info, sections, scale factors,
// pulse and TNS data) is tried, and a few further into the spectrum.
void expectSameCut(int sri, const BitWriter &w, bool isPair, int cut) {
    std::vector<uint8_t> zeros(w.base(), w.base() + cut), garbage(w.base(), w.base() + cut);
    zeros.resize(8192, 0x00);
    garbage.resize(8192, 0xFF);
    SCOPED_TRACE(testing::Message() << "cut at byte " << cut);
    Decoder expect(sri), got(sri);
    ChanPairElt cpeExpect{}, cpeGot{};
    LtpInfo l1{};
    BitRef ref{zeros.data(), 0};
    aacd::BitReader pos = aacd::bitReaderAt(garbage.data(), static_cast<uint32_t>(cut));
    int32_t stsExpect = 0, stsGot = 0;
    if (isPair) {
        LtpInfo *pairExpect[2] = {&expect.ltp, &l1}, *pairGot[2] = {&got.ltp, &l1};
        stsExpect = omxACAAC_DecodeChanPairElt(&ref.byte, &ref.offset, &expect.ics, &cpeExpect, 2, pairExpect);
        stsGot = aacd::decodeChanPairElt(&pos, &got.ics, &cpeGot, 2, pairGot);
        EXPECT_EQ(std::memcmp(&cpeGot, &cpeExpect, sizeof cpeGot), 0);
        expect.shareWindows();
        got.shareWindows();
    }
    for (int c = 0; c <= isPair && stsExpect == 0 && stsGot == 0; ++c) {  // both channels of a pair
        stsExpect = expect.run(ref, isPair);
        stsGot = got.run(pos, isPair);
    }
    EXPECT_EQ(stsGot, stsExpect);
    EXPECT_EQ(static_cast<int>(aacd::bitIndex(pos)), bitsFrom(BitRef{zeros.data(), 0}, ref));
    EXPECT_EQ(std::memcmp(&got.ics, &expect.ics, sizeof got.ics), 0);
    EXPECT_EQ(std::make_tuple(got.info.globalGain, got.info.pulseDataPresent, got.info.tnsDataPresent,
                              got.info.gainControlDataPresent, got.noise, got.is),
              std::make_tuple(expect.info.globalGain, expect.info.pulseDataPresent, expect.info.tnsDataPresent,
                              expect.info.gainControlDataPresent, expect.noise, expect.is));
    EXPECT_EQ(std::memcmp(&got.info.tnsInfo, &expect.info.tnsInfo, sizeof(TnsInfo)), 0);
    EXPECT_EQ(std::memcmp(got.sfbCb, expect.sfbCb, sizeof got.sfbCb), 0);
    EXPECT_EQ(std::memcmp(got.tnsCoef, expect.tnsCoef, sizeof got.tnsCoef), 0);
    EXPECT_EQ(got.sf, expect.sf);
    EXPECT_EQ(got.coefs, expect.coefs);
}

TEST(BoundedInput, CutStreamsReadZerosPastTheEnd) {
    std::mt19937 rng(24);
    for (int iter = 0; iter < 160 && !HasFailure(); ++iter) {
        SCOPED_TRACE(testing::Message() << "iteration " << iter);
        const bool isPair = iter % 4 >= 2;
        Ics a, b;
        std::vector<uint8_t> ms;
        BitWriter w;
        writeStream(w, rng, iter % 2, isPair, a, b, ms);
        const int bytes = (w.count() + 7) / 8;
        for (int cut = 0; cut <= std::min(bytes, 96); ++cut) expectSameCut(a.ch.sri, w, isPair, cut);
        for (int i = 0; i < 4; ++i) expectSameCut(a.ch.sri, w, isPair, static_cast<int>(rng() % (bytes + 1)));
    }
}


constexpr int32_t kOld = 0x55555555;  // record contents before the call

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
    for (const Case &c : {Case{2, 15, 0}, Case{0, 45, 40}, Case{1, 3, 3}, Case{3, 40, 40}, Case{0, 39, 39}, Case{0, 0, 0}}) {
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
        {"length 62 stops reading even below max_sfb", false, 1, 63, {{1, 4}, {31, 5}, {31, 5}, {1, 5}}, -2, 14, {9}, {X}, {X, X}, {1}},
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


int32_t decodeSpectrum(const Channel &ch, BitRef &pos, std::vector<int32_t> &out) {
    out.assign(1024, kUntouched);
    return armACAAC_DecodeSpectralData(out.data(), ch.shortWindows ? 2 : 0, ch.numGroups, ch.sri, ch.sectCb.data(),
                                       ch.sectEnd.data(), ch.groupLen, ch.numSect, &pos.byte, &pos.offset, ch.maxSfb);
}

// A long window at 48 kHz: codebook cb up to band maxSfb, codebook 0 below band from.
Channel longChannel(int cb, int maxSfb, int from = 0) {
    Channel ch;
    ch.maxSfb = maxSfb;
    ch.sectCb = {0, static_cast<uint8_t>(cb)};
    ch.sectEnd = {static_cast<uint8_t>(from), static_cast<uint8_t>(maxSfb)};
    if (from == 0) {
        ch.sectCb.erase(ch.sectCb.begin());
        ch.sectEnd.erase(ch.sectEnd.begin());
    }
    ch.numSect[0] = maxSfb ? static_cast<int32_t>(ch.sectCb.size()) : 0;
    return ch;
}

// ---------------------------------------------------------------- known cases
// A field to write: a code word of codebook cb when n == 0, else n raw bits.
struct Item { int cb; uint32_t v; int n; };
void putItems(BitWriter &w, const std::vector<Item> &items) {
    for (const Item &i : items) i.n ? w.bits(i.v, i.n) : w.code(i.cb, static_cast<int>(i.v));
}

struct Decoded { int32_t status; std::vector<int32_t> values; int bits; };

// Decodes band 0 (4 values) of a long window at 48 kHz coded with codebook cb.
Decoded decodeBand0(int cb, BitWriter &w) {
    BitRef pos = w.ref();
    std::vector<int32_t> out;
    const int32_t status = decodeSpectrum(longChannel(cb, 1), pos, out);
    return {status, std::vector<int32_t>(out.begin(), out.begin() + 4), bitsFrom(w.ref(), pos)};
}

TEST(SpectralKnown, CodewordsSignsAndEscapes) {
    struct Case { int cb; std::vector<Item> items; std::vector<int32_t> expect; };
    const Case cases[] = {
        {1, {{1, 40, 0}}, {0, 0, 0, 0}}, {1, {{1, 0, 0}}, {-1, -1, -1, -1}}, {1, {{1, 80, 0}}, {1, 1, 1, 1}},
        {2, {{2, 41, 0}}, {0, 0, 0, 1}},
        {3, {{3, 80, 0}, {0, 0, 1}, {0, 1, 1}, {0, 1, 1}, {0, 0, 1}}, {2, -2, -2, 2}},
        {3, {{3, 0, 0}}, {0, 0, 0, 0}}, {4, {{4, 5, 0}, {0, 1, 1}, {0, 0, 1}}, {0, 0, -1, 2}},
        // index 288: y = z = 16; signs 0, 1; escapes "0"+0011 and "10"+00111
        {11, {{11, 288, 0}, {0, 0, 1}, {0, 1, 1}, {0, 0, 1}, {0, 3, 4}, {0, 2, 2}, {0, 7, 5}, {11, 0, 0}},
         {19, -39, 0, 0}},
        // index 16: y = 0, z = 16: one sign and one escape only
        {11, {{11, 16, 0}, {0, 1, 1}, {0, 0, 1}, {0, 15, 4}, {11, 17 * 3 + 5, 0}, {0, 0, 1}, {0, 1, 1}},
         {0, -31, 3, -5}},
    };
    for (const Case &c : cases) {
        BitWriter w;
        putItems(w, c.items);
        const int bits = w.count();
        w.bits(0xFFFF, 16);  // following bits
        const Decoded d = decodeBand0(c.cb, w);
        EXPECT_EQ(d.status, 0);
        EXPECT_EQ(d.values, c.expect) << "codebook " << c.cb << " index " << c.items[0].v;
        EXPECT_EQ(d.bits, bits);
    }
}

TEST(ScaleFactorKnown, RunningValuesPerCodebook) {
    struct Case { std::vector<uint8_t> cbs; int groups, maxSfb, gain; std::vector<Item> items; std::vector<int16_t> expect; };
    const Case cases[] = {
        // codebook indices 62, 58, (raw 300), 61, 55, -, 63
        {{1, 1, 13, 13, 14, 0, 12}, 1, 7, 100,
         {{0, 62, 0}, {0, 58, 0}, {0, 300, 9}, {0, 61, 0}, {0, 55, 0}, {0, 63, 0}},
         {102, 100, 54, 55, -5, 0, 103}},
        // two groups of two noise bands: only the very first reads 9 raw bits
        {{13, 13, 13, 13}, 2, 2, 90, {{0, 256, 9}, {0, 61, 0}, {0, 59, 0}, {0, 70, 0}}, {0, 1, 0, 10}},
        // intensity positions and noise energies have no 0..255 bound
        {{14, 14, 13}, 1, 3, 10, {{0, 0, 0}, {0, 0, 0}, {0, 0, 9}}, {-60, -120, -336}},
        {{1}, 1, 0, 100, {}, {77}},  // no bands: nothing read or written
        {{1}, 0, 5, 100, {}, {77}},
    };
    for (const Case &c : cases) {
        BitWriter w;
        putItems(w, c.items);
        const int bits = w.count();
        w.bits(0, 32);  // following bits
        BitRef pos = w.ref();
        std::vector<int16_t> sf(c.expect.size(), 77);
        ASSERT_EQ(armACAAC_DecodeScaleFactorData(sf.data(), c.groups, c.gain, c.cbs.data(), c.maxSfb, &pos.byte,
                                                 &pos.offset), 0);
        EXPECT_EQ(sf, c.expect);
        EXPECT_EQ(bitsFrom(w.ref(), pos), bits);
    }
}

// ---------------------------------------------------------------- failures
TEST(ScaleFactorFailure, ValueLeavingZeroTo255) {
    struct Case { int gain; std::vector<int> indices; size_t good; /* stored before failing */ };
    const Case cases[] = {
        {250, {62, 63, 61}, 2},  // 252, 255, 256
        {5, {58, 57, 59}, 2},    // 3, 0, -1
        {255, {120}, 0},         // 315
        {0, {59}, 0},            // -1
    };
    for (const Case &c : cases) {
        const std::vector<uint8_t> cbs(c.indices.size(), 5);
        BitWriter w;
        for (const int i : c.indices) w.code(0, i);
        BitRef pos = w.ref();
        std::vector<int16_t> sf(c.indices.size(), 0x777);
        EXPECT_EQ(armACAAC_DecodeScaleFactorData(sf.data(), 1, c.gain, cbs.data(), static_cast<int32_t>(cbs.size()),
                                                 &pos.byte, &pos.offset), -2);
        for (size_t b = 0; b < sf.size(); ++b) EXPECT_EQ(sf[b] != 0x777, b < c.good) << b;
    }
}

TEST(ScaleFactorFailure, BadArguments) {
    uint8_t cbs[120] = {};
    int16_t sf[120];
    BitWriter w;
    BitRef pos = w.ref();
    auto run = [&](int16_t *s, int groups, const uint8_t *cb, int maxSfb, BitRef *p) {
        return armACAAC_DecodeScaleFactorData(s, groups, 100, cb, maxSfb, p ? &p->byte : nullptr,
                                              p ? &p->offset : nullptr);
    };
    EXPECT_EQ(run(nullptr, 1, cbs, 1, &pos), -5);
    EXPECT_EQ(run(sf, 1, nullptr, 1, &pos), -5);
    EXPECT_EQ(run(sf, 1, cbs, 1, nullptr), -5);
    EXPECT_EQ(run(sf, 9, cbs, 1, &pos), -5);   // more than 8 groups
    EXPECT_EQ(run(sf, 1, cbs, 52, &pos), -5);  // more than 51 bands
    EXPECT_EQ(run(sf, 3, cbs, 41, &pos), -5);  // more than 120 in all
    EXPECT_EQ(bitsFrom(w.ref(), pos), 0);
    EXPECT_EQ(run(sf, 8, cbs, 15, &pos), 0);
}

TEST(SpectralFailure, EscapePrefixOfNineOnes) {
    for (const int ones : {8, 9, 20}) {
        BitWriter w;
        putItems(w, {{11, 3, 0}, {0, 1, 1}, {11, 16 * 17 + 1, 0}, {0, 0, 1}, {0, 1, 1}});  // (0, -3), (16, -1)
        const int before = w.count();
        for (int i = 0; i < ones; ++i) w.bits(1, 1);
        w.bits(0, 13);
        const Decoded d = decodeBand0(11, w);
        EXPECT_EQ(d.status, ones == 8 ? 0 : -2);
        EXPECT_EQ(d.values, (std::vector<int32_t>{0, -3, ones == 8 ? 4096 : kUntouched, ones == 8 ? -1 : kUntouched}));
        if (ones > 8) { EXPECT_EQ(d.bits, before); }
    }
}

TEST(SpectralFailure, BadArguments) {
    const uint8_t sectCb[2] = {1, 1}, sectEnd[2] = {5, 50};
    int32_t grpLen[8] = {1}, numSect[8] = {1};
    std::vector<int32_t> out(1024, kUntouched);
    BitWriter w;
    BitRef pos = w.ref();
    auto run = [&](int32_t *o, int ws, int groups, int sri, int maxSfb, BitRef *p) {
        return armACAAC_DecodeSpectralData(o, ws, groups, sri, sectCb, sectEnd, grpLen, numSect,
                                           p ? &p->byte : nullptr, p ? &p->offset : nullptr, maxSfb);
    };
    EXPECT_EQ(run(nullptr, 0, 1, 3, 10, &pos), -5);
    EXPECT_EQ(run(out.data(), 0, 1, 3, 10, nullptr), -5);
    EXPECT_EQ(run(out.data(), 0, 1, 12, 10, &pos), -5);  // sampling-rate index
    EXPECT_EQ(run(out.data(), 0, 1, -1, 10, &pos), -5);
    EXPECT_EQ(run(out.data(), 0, 1, 3, 50, &pos), -5);   // 49 long bands at 48 kHz
    EXPECT_EQ(run(out.data(), 0, 2, 3, 10, &pos), -5);   // long window, two groups
    EXPECT_EQ(run(out.data(), 2, 1, 3, 15, &pos), -5);   // 14 short bands at 48 kHz
    EXPECT_EQ(run(out.data(), 2, 0, 3, 10, &pos), -5);
    grpLen[0] = 9;
    EXPECT_EQ(run(out.data(), 2, 1, 3, 10, &pos), -5);   // more than 8 windows
    grpLen[0] = 5, grpLen[1] = 4;
    EXPECT_EQ(run(out.data(), 2, 2, 3, 10, &pos), -5);   // in two groups
    grpLen[0] = 1, grpLen[1] = 0;
    numSect[0] = 11;
    EXPECT_EQ(run(out.data(), 0, 1, 3, 10, &pos), -5);   // more sections than bands
    numSect[0] = 2;
    EXPECT_EQ(bitsFrom(w.ref(), pos), 0);
    EXPECT_EQ(out, std::vector<int32_t>(1024, kUntouched));
    EXPECT_EQ(run(out.data(), 0, 1, 3, 10, &pos), -5);   // second section ends past maxSfb
}

}  // namespace
