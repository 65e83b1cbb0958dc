// Whole channel streams through omxACAAC_NoiselessDecode and channel pairs
// through omxACAAC_DecodeChanPairElt: the test-side encoder writes gain,
// stream info, sections, scale factors, pulses, TNS and spectra (every
// codebook, long and grouped short windows); decoding must return exactly
// what was written and consume exactly its bits.  Then the status points,
// the exported two-reference position and reading bounded by the input.
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

// Pulses over a codebook-5 spectrum whose value i is (i % 9) - 4 below the
// end of band max_sfb and 0 above it; changed: the values expected after the
// pulses (a pulse on 0 subtracts), every other value keeps its decoded value.
TEST(NoiselessDecode, PulsesAcrossBandsAndRates) {
    struct Case {
        const char *name; int sri, maxSfb, start; std::vector<std::pair<int, int>> pulses;  // offset, amplitude
        std::vector<std::pair<int, int32_t>> changed;
    };
    const Case cases[] = {
        // 48 kHz, band 9 starts at 36: positions 41 (band 10, 1), 49 twice (band 11, 0), 62 (band 12, 4)
        {"48 kHz, three bands, one position twice", 3, 14, 9, {{5, 7}, {8, 3}, {0, 2}, {13, 15}}, {{41, 8}, {49, -5}, {62, 19}}},
        // 8 kHz, band 1 starts at 12: positions 19 (-3), 33 (2), 64 twice (above band 5 at 60)
        {"8 kHz, negative value, above max_sfb", 11, 5, 1, {{7, 4}, {14, 9}, {31, 6}, {0, 6}}, {{19, -7}, {33, 11}, {64, -12}}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        BitWriter w;
        put(w, {{100, 8}, {0, 4}, {c.maxSfb, 6}, {0, 1}, {5, 4}, {c.maxSfb, 5}});  // one codebook-5 section
        for (int b = 0; b < c.maxSfb; ++b) w.code(0, 60);
        put(w, {{1, 1}, {c.pulses.size() - 1, 2}, {c.start, 6}});
        for (const auto &[off, amp] : c.pulses) put(w, {{off, 5}, {amp, 4}});
        w.bits(0, 2);  // no TNS, no gain control
        std::vector<int32_t> expect(1024, 0);
        for (int i = 0; i < armACAAC_swbOffsetLongWindow[c.sri][c.maxSfb]; i += 2) {
            expect[i] = i % 9 - 4;
            expect[i + 1] = (i + 1) % 9 - 4;
            writeTuple(w, 5, &expect[i]);
        }
        Decoder d(c.sri);
        BitRef pos = w.ref();
        ASSERT_EQ(d.run(pos, 0), 0);
        EXPECT_EQ(std::make_tuple(d.info.pulseDataPresent, bitsFrom(w.ref(), pos)), std::make_tuple(1, w.count()));
        for (const auto &[k, v] : c.changed) expect[k] = v;
        EXPECT_EQ(d.coefs, expect);
    }
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
// Every exported operation reads from the two references (byte pointer, bit
// offset), here starting 3 bits into the first byte, and leaves both just
// past the fields it read.  A null reference, a null byte pointer or an
// offset of 8 is refused before anything is read: -5 where the operation has
// a status, and in every case no output written and the references kept.
TEST(ExportedInterface, TwoReferencePositionAdvancesInPlace) {
    IcsInfo ics;
    ChannelInfo ch;
    LtpInfo ltp;
    ChanPairElt cpe;
    std::vector<uint8_t> cbs(8);
    std::vector<int16_t> sf(8);
    std::vector<int32_t> quant(1024);
    int32_t num, start, offs[4] = {}, amps[4] = {}, noise = 0, is = 0;
    int8_t tnsCoef[64] = {};
    const int32_t grpLen[8] = {1}, oneSection[8] = {1};
    const uint8_t sectCb[1] = {1}, sectEnd[1] = {1}, bandCb[2] = {1, 1};
    LtpInfo *pair[2] = {&ltp, &ltp};
    TnsInfo &t = ch.tnsInfo;
    auto reset = [&] {
        std::memset(&ics, 0, sizeof ics);
        std::memset(&ch, 0, sizeof ch);
        std::memset(&ltp, 0, sizeof ltp);
        std::memset(&cpe, 0, sizeof cpe);
        std::tie(ch.samplingRateIndex, ch.numWindows, ch.icsInfo, num, start) = std::make_tuple(3, 1, &ics, 0, 0);
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
        {"section data", {{11, 4, 0}, {3, 5, 0}},
         [&](P pp, uint32_t *po) {
             return armACAAC_DecodeSectionData(cbs.data(), ch.sectionCodebook, ch.sectionEnd, ch.numSections, 0, 1, 3, pp, po,
                                               &noise, &is);
         },
         9, [&] { return cbs[2] == 11 && ch.numSections[0] == 1 && ch.sectionEnd[0] == 3; }, -5},
        {"scale factors", {{62, 0, 0}, {58, 0, 0}},
         [&](P pp, uint32_t *po) { return armACAAC_DecodeScaleFactorData(sf.data(), 1, 100, bandCb, 2, pp, po); },
         armACAAC_codeBook0[62].codeLen + armACAAC_codeBook0[58].codeLen, [&] { return sf[0] == 102 && sf[1] == 100; }, -5},
        {"pulse data", {{0, 2, 0}, {1, 6, 0}, {5, 5, 0}, {3, 4, 0}},
         [&](P pp, uint32_t *po) {
             return armACAAC_DecodePulseData(armACAAC_swbOffsetLongWindow[3], &num, &start, offs, pp, po, amps, 49);
         },
         17, [&] { return start == 1 && offs[0] == 5 && amps[0] == 3; }, -5},
        {"tns data", {{1, 2, 0}, {1, 1, 0}, {10, 6, 0}, {1, 5, 0}, {1, 1, 0}, {0, 1, 0}, {15, 4, 0}},
         [&](P pp, uint32_t *po) {
             armACAAC_DecodeTNSData(2, 3, 0, tnsCoef, pp, po, 1, t.tnsNumFilters, t.tnsCoefRes, t.tnsLength, t.tnsOrder,
                                    t.tnsDirection, &ch);
             return 0;
         },
         20, [&] { return t.tnsLength[0] == 10 && t.tnsDirection[0] == 1 && tnsCoef[0] == -1; }, 0},
        {"spectral data", {{80, 0, 1}},  // (1, 1, 1, 1)
         [&](P pp, uint32_t *po) {
             return armACAAC_DecodeSpectralData(quant.data(), 0, 1, 3, sectCb, sectEnd, grpLen, oneSection, pp, po, 1);
         },
         armACAAC_codeBook1[80].codeLen, [&] { return quant[3] == 1 && quant[4] == 0; }, -5},
        {"pair head", {{9, 4, 0}, {1, 1, 0}, {0, 1, 0}, {0, 2, 0}, {1, 1, 0}, {7, 6, 0}, {0, 1, 0}, {2, 2, 0}},
         [&](P pp, uint32_t *po) { return omxACAAC_DecodeChanPairElt(pp, po, &ics, &cpe, 2, pair); }, 18,
         [&] { return cpe.commonWindow == 1 && ics.maxSfb == 7 && cpe.msMaskPresent == 2; }, -5},
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

}  // namespace
