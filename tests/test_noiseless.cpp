// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// Noiseless decoding: random channel streams and pairs written by the
// test-side encoder (every codebook, long and grouped short windows, pulses,
// TNS) decode to exactly what was written, consuming exactly its bits, and
// cut at any byte decode through the bounded reader as if zeros followed;
// then every failure status where it arises, the fields of other object
// types, and the argument checks of each exported operation.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <tuple>

#include "omxdl/ac/armACAAC.h"
#include "omxdl/ac/armACAAC_Bounded.h"
#include "random_ics.h"

namespace {

// Everything a channel stream, or a pair head and its two channel streams, decodes to.
struct Result {
    int32_t sts[3];
    int bits[3];  // position after the pair head and after each channel
    IcsInfo ics;
    ChanPairElt cpe;
    LtpInfo ltp[2];
    ChannelInfo info[2];
    int16_t sf[2][120];
    uint8_t sfbCb[2][120];
    int8_t tns[2][64];
    int32_t noise[2], is[2], coefs[2][1025];  // a guard value after each spectrum
};

// Decodes the stream at data with the exported operations, or through the
// decoder's reader bounded by size bytes.
Result decode(const uint8_t *data, uint32_t size, bool bounded, int sri, bool pair, int aot) {
    Result r;
    std::memset(&r, 0, sizeof r);
    std::fill_n(&r.coefs[0][0], 2 * 1025, kUntouched);
    BitRef ref{data, 0};
    aacd::BitReader pos = aacd::bitReaderAt(data, size);
    LtpInfo *ltp[2] = {&r.ltp[0], &r.ltp[1]};
    if (pair) r.sts[0] = bounded ? aacd::decodeChanPairElt(&pos, &r.ics, &r.cpe, 2, ltp)
                                 : omxACAAC_DecodeChanPairElt(&ref.byte, &ref.offset, &r.ics, &r.cpe, 2, ltp);
    for (int c = 0; c <= pair && r.sts[c] == 0; ++c) {
        r.bits[c] = bounded ? static_cast<int>(aacd::bitIndex(pos)) : bitsFrom(BitRef{data, 0}, ref);
        ChannelInfo &ch = r.info[c];
        const bool s = r.ics.windowSequence == EIGHT_SHORT_SEQUENCE;
        std::tie(ch.samplingRateIndex, ch.icsInfo, ch.numWindows) = std::make_tuple(sri, &r.ics, s ? 8 : 1);
        ch.numSwb = s ? armACAAC_numSwbShort[sri] : armACAAC_numSwbLong[sri];
        r.sts[c + 1] = bounded ? aacd::noiselessDecode(pos, r.sf[c], r.coefs[c], r.sfbCb[c], r.tns[c], &ch, pair, aot,
                                                       &r.ltp[c], &r.noise[c], &r.is[c])
                               : omxACAAC_NoiselessDecode(&ref.byte, &ref.offset, r.sf[c], r.coefs[c], r.sfbCb[c],
                                                          r.tns[c], &ch, pair, aot, &r.ltp[c], &r.noise[c], &r.is[c]);
        ch.icsInfo = nullptr;
    }
    r.bits[2] = bounded ? static_cast<int>(aacd::bitIndex(pos)) : bitsFrom(BitRef{data, 0}, ref);
    return r;
}

void expectDecoded(const Ics &e, const Result &r, int c) {
    const Channel &ch = e.ch;
    const ChannelInfo &info = r.info[c];
    const auto has = [&](int cb) { return static_cast<int>(std::count(ch.sectCb.begin(), ch.sectCb.end(), cb) > 0); };
    EXPECT_EQ(std::vector<int>({r.sts[c + 1], info.globalGain, r.ics.maxSfb, r.ics.numWindowGroups, info.numWindows,
                                info.pulseDataPresent, info.tnsDataPresent, info.gainControlDataPresent, r.noise[c], r.is[c]}),
              std::vector<int>({0, ch.globalGain, ch.maxSfb, ch.numGroups, ch.shortWindows ? 8 : 1, e.pulses > 0,
                                e.tnsPresent, 0, has(13), has(14) | has(15)}));
    EXPECT_EQ(std::vector<int32_t>(r.ics.windowGroupLength, r.ics.windowGroupLength + 8), std::vector<int32_t>(ch.groupLen, ch.groupLen + 8));
    EXPECT_EQ(std::vector<uint8_t>(r.sfbCb[c], r.sfbCb[c] + ch.sfbCb.size()), ch.sfbCb);
    EXPECT_EQ(std::vector<int16_t>(r.sf[c], r.sf[c] + ch.sf.size()), ch.sf);
    if (e.tnsPresent) expectTns(e, info.tnsInfo, r.tns[c]);
    // Past the last short-window group nothing is written, unless there are
    // no sections: then all 1024 values are zero.
    std::vector<int32_t> spectrum = e.spectrum;
    spectrum.resize(1024, ch.maxSfb == 0 ? 0 : kUntouched);
    spectrum.push_back(kUntouched);
    EXPECT_EQ(std::vector<int32_t>(r.coefs[c], r.coefs[c] + 1025), spectrum);
}

TEST(NoiselessDecode, RandomStreamsRoundTripAndReadZerosPastACut) {
    std::mt19937 rng(21);
    for (int iter = 0; iter < 800 && !HasFatalFailure(); ++iter) {
        SCOPED_TRACE(iter);
        const bool isShort = iter % 2, isPair = iter % 4 >= 2;
        Ics a, b;
        a.ch = b.ch = randomLayout(rng, isShort, kAllCodebooks);
        a.aot = b.aot = rng() % 4 ? 2 : 3;
        BitWriter w;
        std::vector<uint8_t> ms;
        if (isPair) {  // head: tag, common_window, stream info, ms_mask_present 1 and random flags
            put(w, {{5, 4}, {1, 1}});
            writeIcsInfo(w, a.ch, 1);
            w.bits(1, 2);
            for (int i = 0; i < a.ch.numGroups * a.ch.maxSfb; ++i) ms.push_back(rng() % 2), w.bits(ms.back(), 1);
        }
        std::vector<int> ends = {w.count()}, tnsWindows;
        for (int win = 0; win < 8; ++win)
            if (rng() % 2) tnsWindows.push_back(win);
        for (Ics *e : {&a, &b}) {
            if (e == &b && !isPair) break;
            writeIcs(w, *e, rng, isPair, 1, true, rng() % 2 ? &tnsWindows : nullptr);
            ends.push_back(w.count());
        }
        const int bytes = (w.count() + 7) / 8;
        w.bits(0x3F, 6);
        const Result r = decode(w.base(), 8192, false, a.ch.sri, isPair, a.aot);
        EXPECT_EQ(std::vector<int>(r.bits, r.bits + 1 + isPair), std::vector<int>(ends.begin(), ends.end() - 1));
        EXPECT_EQ(std::make_tuple(r.sts[0], r.bits[2], r.cpe.msMaskPresent), std::make_tuple(0, ends.back(), isPair ? 1 : 0));
        for (size_t i = 0; i < ms.size(); ++i) EXPECT_EQ(r.cpe.msUsed[i / a.ch.maxSfb][i % a.ch.maxSfb], ms[i]) << i;
        expectDecoded(a, r, 0);
        if (isPair) expectDecoded(b, r, 1);
        // Cut within the first 96 bytes (head, side information) and at a few
        // random bytes: whatever lies past the cut, the bounded reader reads zeros.
        for (int i = 0; iter < 160 && i <= 100; ++i) {
            const int cut = std::min(i <= 96 ? i : static_cast<int>(rng() % (bytes + 1)), bytes);
            std::vector<uint8_t> zeros(w.base(), w.base() + cut), garbage(zeros);
            zeros.resize(8192, 0x00);
            garbage.resize(8192, 0xFF);
            const Result x = decode(zeros.data(), 8192, false, a.ch.sri, isPair, a.aot);
            const Result y = decode(garbage.data(), static_cast<uint32_t>(cut), true, a.ch.sri, isPair, a.aot);
            ASSERT_EQ(std::make_tuple(x.sts[2], x.bits[2]), std::make_tuple(y.sts[2], y.bits[2])) << "cut at byte " << cut;
            ASSERT_EQ(std::memcmp(&x, &y, sizeof x), 0) << "cut at byte " << cut;
        }
    }
}

// A field: n bits of v, or (n <= 0) the code word of index v of codebook -n.
using Fields = std::vector<Field>;
Fields operator+(Fields a, const Fields &b) { return a.insert(a.end(), b.begin(), b.end()), a; }
void putFields(BitWriter &w, const Fields &fields) {
    for (const Field &f : fields) f.n > 0 ? w.bits(f.v, f.n) : w.code(-f.n, static_cast<int>(f.v));
}
// Stream info: long window with max_sfb m, no predictor; short windows in one group.
Fields longInfo(int m) { return {{0, 4}, {m, 6}, {0, 1}}; }
Fields shortInfo(int m) { return {{4, 4}, {m, 4}, {0x7F, 7}}; }
const Fields kNoSideData = {{0, 3}};  // no pulse, TNS or gain control data
// Pair head: tag, common_window, long stream info, ms_mask_present 0.
Fields pairHead(int m) { return Fields{{5, 4}, {1, 1}} + longInfo(m) + Fields{{0, 2}}; }
int rowBits(const Fields &fields) {
    BitWriter w;
    putFields(w, fields);
    return w.count();
}

// Single channel streams at 48 kHz (49 long, 14 short bands), or pairs:
// the status where decoding stops and the bits read up to there (the
// fields of a row; its tail is not read).
TEST(NoiselessDecode, FailureStatusesAndWhereTheyArise) {
    const Fields g100 = {{100, 8}}, sect1 = {{12, 4}, {1, 5}};  // one band of codebook 12: a scale factor, no values
    const Fields pulse4 = {{1, 1}, {3, 2}, {48, 6}, {31, 5}, {0, 4}, {31, 5}, {0, 4}, {31, 5}, {0, 4}};
    const Fields esc = {{11, 4}, {1, 5}, {60, 0}, {0, 3}, {3, -11}, {1, 1}, {16 * 17 + 1, -11}, {0, 1}, {1, 1}};
    const Fields ch40 = g100 + Fields{{0, 4}, {31, 5}, {9, 5}} + kNoSideData;
    struct Row { const char *name; int sri, aot; bool pair; Fields fields, tail; int32_t sts; };
    const Row rows[] = {
        {"long, no bands", 3, 2, false, g100 + longInfo(0) + kNoSideData, {}, 0},
        {"short, no bands", 3, 2, false, g100 + shortInfo(0) + kNoSideData, {}, 0},
        {"pulses with short windows", 3, 2, false, g100 + shortInfo(0) + Fields{{1, 1}}, {{0, 8}}, -2},
        {"gain control", 3, 2, false, g100 + longInfo(0) + Fields{{1, 3}}, {}, -159},
        {"max_sfb 49", 3, 2, false, g100 + longInfo(49) + Fields{{0, 4}, {31, 5}, {18, 5}} + kNoSideData, {}, 0},
        {"max_sfb 50", 3, 2, false, g100 + Fields{{0, 4}, {50, 6}}, {{0, 1}}, -162},
        {"short max_sfb 14", 3, 2, false, g100 + shortInfo(14) + Fields{{0, 4}, {7, 3}, {7, 3}, {0, 3}} + kNoSideData, {}, 0},
        {"short max_sfb 15", 3, 2, false, g100 + Fields{{4, 4}, {15, 4}}, {{0, 7}}, -162},
        {"section end past max_sfb", 3, 2, false, g100 + longInfo(5) + Fields{{1, 4}, {6, 5}}, {}, -2},
        {"as many sections as bands", 3, 2, false, g100 + longInfo(2) + Fields{{0, 4}, {0, 5}, {0, 4}, {2, 5}} + kNoSideData, {}, 0},
        {"more sections than bands", 3, 2, false, g100 + longInfo(2) + Fields{{0, 4}, {0, 5}, {0, 4}, {0, 5}, {0, 4}, {0, 5}}, {}, -2},
        {"scale factor 255", 3, 2, false, Fields{{255, 8}} + longInfo(1) + sect1 + Fields{{60, 0}} + kNoSideData, {}, 0},
        {"scale factor 256", 3, 2, false, Fields{{255, 8}} + longInfo(1) + sect1 + Fields{{61, 0}}, {}, -2},
        {"scale factor 0", 3, 2, false, Fields{{0, 8}} + longInfo(1) + sect1 + Fields{{60, 0}} + kNoSideData, {}, 0},
        {"scale factor -1", 3, 2, false, Fields{{0, 8}} + longInfo(1) + sect1 + Fields{{59, 0}}, {}, -2},
        {"four pulses up to 1023", 3, 2, false, g100 + longInfo(0) + pulse4 + Fields{{2, 5}, {0, 4}, {0, 2}}, {}, 0},
        {"a pulse at 1024", 3, 2, false, g100 + longInfo(0) + pulse4 + Fields{{3, 5}, {0, 4}}, {}, -2},
        {"pulse start band 49", 3, 2, false, g100 + longInfo(0) + Fields{{1, 1}, {0, 2}, {49, 6}}, {{0, 9}}, -2},
        {"escape of 8 ones", 3, 2, false, g100 + longInfo(1) + esc + Fields{{0x1FE, 9}, {5, 12}}, {}, 0},
        {"escape of 9 ones", 3, 2, false, g100 + longInfo(1) + esc, {{0x3FE, 10}, {5, 12}}, -2},
        {"LTP of object type 4", 3, 4, false, g100 + Fields{{0, 4}, {0, 6}, {1, 1}, {1, 1}, {0x3A5, 11}, {6, 3}} + kNoSideData, {}, 0},
        {"shared max_sfb 40 of 40 bands", 11, 2, true, pairHead(40) + ch40 + ch40, {}, 0},
        {"shared max_sfb 41", 11, 2, true, pairHead(41) + g100, {{0, 16}}, -162},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        BitWriter w;
        putFields(w, row.fields + row.tail);
        const Result r = decode(w.base(), 8192, false, row.sri, row.pair, row.aot);
        EXPECT_EQ(std::make_tuple(r.sts[0] ? r.sts[0] : r.sts[1] ? r.sts[1] : r.sts[2], r.bits[2]), std::make_tuple(row.sts, rowBits(row.fields)));
    }
}

// Stream info read on its own: at 48 kHz, or without channel info (sri -1:
// the shared stream info of a pair, limits 51 and 15); the predictor and
// LTP fields of object types 1 and 4 (LTP lags 0x100 + record, U: record
// untouched).
TEST(IcsInfo, BandLimitsAndFieldsOfOtherObjectTypes) {
    constexpr int32_t U = 0x55555555;
    const Fields ltp0 = {{1, 1}, {0x100, 11}, {2, 3}}, ltp1 = {{1, 1}, {0x101, 11}, {3, 3}}, five = {{0x15, 5}};
    const Fields forty = {{0xFFFFFFFFu, 32}, {0xFF, 8}}, predicted = {{0, 4}, {5, 6}, {1, 1}};
    struct Row { const char *name; int sri, common, aot, predSfbMax; Fields fields; int32_t sts; std::vector<int32_t> got; };
    const Row rows[] = {
        {"long 49", 3, 0, 2, 0, longInfo(49), 0, {U, U, U}},
        {"long 50", 3, 0, 2, 0, {{0, 4}, {50, 6}}, -162, {U, U, U}},
        {"short 14", 3, 0, 2, 0, shortInfo(14), 0, {U, U, U}},
        {"short 15", 3, 0, 2, 0, {{4, 4}, {15, 4}}, -162, {U, U, U}},
        {"shared long 51", -1, 1, 2, 0, longInfo(51), 0, {U, U, U}},
        {"shared long 52", -1, 1, 2, 0, {{0, 4}, {52, 6}}, -162, {U, U, U}},
        {"shared short 15", -1, 1, 2, 0, shortInfo(15), 0, {U, U, U}},
        {"low complexity: the predictor flag only", 3, 1, 2, 0, predicted, 0, {U, U, U}},
        {"type 4, no predictor", 3, 1, 4, 0, longInfo(5), 0, {U, U, U}},
        {"type 4, short windows", 3, 1, 4, 0, shortInfo(5), 0, {U, U, U}},
        {"type 4, LTP absent", 3, 0, 4, 0, predicted + Fields{{0, 1}}, 0, {0, U, U}},
        {"type 4, LTP present", 3, 0, 4, 0, predicted + ltp0 + five, 0, {1, U, U}},
        {"type 4, common window: second present", 3, 1, 4, 0, predicted + Fields{{0, 1}} + ltp1 + five, 0, {0, 1, U}},
        {"type 4, common window, 40 band flags of 45", 3, 1, 4, 0, Fields{{0, 4}, {45, 6}, {1, 1}} + ltp0 + forty + ltp1 + forty, 0, {1, 1, U}},
        {"type 1: reset group 17, 3 flags", 3, 0, 1, 3, predicted + Fields{{1, 1}, {17, 5}, {5, 3}}, 0, {U, U, 17}},
        {"type 1: 41 flags of 45", 3, 0, 1, 50, Fields{{0, 4}, {45, 6}, {1, 1}, {0, 1}} + forty + Fields{{1, 1}}, 0, {U, U, U}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        BitWriter w;
        putFields(w, row.fields + Fields{{0x3FF, 10}});
        IcsInfo ics;
        ChannelInfo ch{};
        LtpInfo ltp[2];
        std::memset(&ics, 0x55, sizeof ics);
        std::memset(ltp, 0x55, sizeof ltp);
        LtpInfo *pair[2] = {&ltp[0], &ltp[1]};
        ch.samplingRateIndex = row.sri;
        BitRef pos = w.ref();
        EXPECT_EQ(armACAAC_DecodeIcsInfoData(&pos.byte, &pos.offset, row.common, row.aot, row.predSfbMax, row.sri < 0 ? nullptr : &ch, &ics, pair), row.sts);
        EXPECT_EQ(bitsFrom(w.ref(), pos), rowBits(row.fields));
        EXPECT_EQ(std::vector<int32_t>({ltp[0].ltpDataPresent, ltp[1].ltpDataPresent, ics.predictorResetGroup}), row.got);
        for (int r = 0; r < 2; ++r) EXPECT_EQ(ltp[r].ltpLag, row.got[r] == 1 ? 0x100 + r : U);
    }
}

// Section lengths of up to 59 bands (escapes included); 60 and more stop the channel.
TEST(SectionData, LengthLimit) {
    for (const auto &[fields, sts] : {std::make_pair(Fields{{1, 4}, {31, 5}, {28, 5}, {2, 4}, {4, 5}}, 0),
                                      std::make_pair(Fields{{1, 4}, {31, 5}, {29, 5}}, -2), std::make_pair(Fields{{1, 4}, {31, 5}, {31, 5}}, -2)}) {
        BitWriter w;
        putFields(w, fields + Fields{{1, 5}});
        uint8_t sfbCb[64], sectCb[64], sectEnd[64];
        int32_t numSect[8], noise = 0, is = 0;
        BitRef pos = w.ref();
        EXPECT_EQ(armACAAC_DecodeSectionData(sfbCb, sectCb, sectEnd, numSect, 0, 1, 63, &pos.byte, &pos.offset, &noise, &is), sts);
        EXPECT_EQ(bitsFrom(w.ref(), pos), rowBits(fields));
    }
}

// ---------------------------------------------------------------- arguments
// Each exported operation, from offset 7 of a zero block, reads its fields
// and leaves the references just past them; a null reference, a null byte
// pointer or an offset of 8 gives its bad-position status (-5; LTP data 0;
// TNS data has none), reads nothing and keeps the references.
TEST(ExportedOperations, PositionArguments) {
    IcsInfo ics{};
    ChannelInfo ch{};
    ChanPairElt cpe{};
    LtpInfo ltp{}, *pair[2] = {&ltp, &ltp};
    std::vector<int32_t> quant(1024), ints(16);
    int16_t sf[8];
    uint8_t cbs[8] = {1}, sfbCb[8], sectCb[8], sectEnd[8];
    int8_t tns[64];
    int32_t noise, is, numSect[8] = {};
    std::tie(ch.samplingRateIndex, ch.numWindows, ch.icsInfo) = std::make_tuple(3, 1, &ics);
    TnsInfo &t = ch.tnsInfo;
    using Call = std::function<int32_t(const uint8_t **, uint32_t *)>;
    const std::tuple<const char *, Call, int, int32_t, int32_t> ops[] = {  // name, call, bits read, status, bad status
        {"stream info", [&](auto pp, auto po) { return armACAAC_DecodeIcsInfoData(pp, po, 0, 2, 0, &ch, &ics, pair); }, 11, 0, -5},
        {"LTP data", [&](auto pp, auto po) { return armACAAC_DecodeLtpData(pp, po, EIGHT_SHORT_SEQUENCE, 5, &ltp); }, 14, 0, 0},
        {"sections", [&](auto pp, auto po) { return armACAAC_DecodeSectionData(sfbCb, sectCb, sectEnd, numSect, 0, 1, 1, pp, po, &noise, &is); }, 18, -2, -5},
        {"scale factors", [&](auto pp, auto po) { return armACAAC_DecodeScaleFactorData(sf, 1, 100, cbs, 1, pp, po); }, 1, 0, -5},
        {"pulse data", [&](auto pp, auto po) { return armACAAC_DecodePulseData(armACAAC_swbOffsetLongWindow[3], &ints[0], &ints[1], &ints[2], pp, po, &ints[6], 49); }, 17, 0, -5},
        {"TNS data", [&](auto pp, auto po) { return armACAAC_DecodeTNSData(2, 3, 0, tns, pp, po, 1, t.tnsNumFilters, t.tnsCoefRes, t.tnsLength, t.tnsOrder, t.tnsDirection, &ch), 0; }, 2, 0, 0},
        {"spectral data", [&](auto pp, auto po) { return armACAAC_DecodeSpectralData(quant.data(), 0, 1, 3, nullptr, nullptr, nullptr, numSect, pp, po, 0); }, 0, 0, -5},
        {"channel stream", [&](auto pp, auto po) { return omxACAAC_NoiselessDecode(pp, po, sf, quant.data(), cbs, tns, &ch, 0, 2, &ltp, &noise, &is); }, 22, 0, -5},
        {"pair head", [&](auto pp, auto po) { return omxACAAC_DecodeChanPairElt(pp, po, &ics, &cpe, 2, pair); }, 5, 0, -5},
    };
    const uint8_t zeros[64] = {};
    for (const auto &[name, call, bits, sts, bad] : ops) {
        SCOPED_TRACE(name);
        BitRef pos{zeros, 7};
        EXPECT_EQ(call(&pos.byte, &pos.offset), sts);
        EXPECT_EQ(bitsFrom(BitRef{zeros, 7}, pos), bits);
        for (int k = 0; k < 4; ++k) {
            const BitRef given{k == 1 ? nullptr : zeros, k == 3 ? 8u : 7u};
            BitRef keep = given;
            EXPECT_EQ(call(k == 0 ? nullptr : &keep.byte, k == 2 ? nullptr : &keep.offset), bad) << k;
            EXPECT_EQ(std::make_tuple(keep.byte, keep.offset), std::make_tuple(given.byte, given.offset)) << k;
        }
    }
}

// Scale factors over a zero block: each band of codebook 1 reads the 1-bit
// code word of difference 0.  nulls: 1 scale factors, 2 codebooks, 4 position.
TEST(ScaleFactorData, Arguments) {
    const std::vector<uint8_t> cbs(128, 1);
    int16_t sf[128];
    const uint8_t zeros[64] = {};
    struct Row { int groups, maxSfb, nulls; int32_t sts; int bits; };
    for (const Row &r : {Row{8, 15, 0, 0, 120}, Row{3, 40, 0, 0, 120}, Row{1, 51, 0, 0, 51}, Row{9, 1, 0, -5, 0}, Row{1, 52, 0, -5, 0},
                         Row{3, 41, 0, -5, 0}, Row{8, 16, 0, -5, 0}, Row{1, 1, 1, -5, 0}, Row{1, 1, 2, -5, 0}, Row{1, 1, 4, -5, 0},
                         Row{0, 5, 7, 0, 0}, Row{1, 0, 7, 0, 0}, Row{-1, 5, 0, 0, 0}}) {
        BitRef pos{zeros, 0};
        EXPECT_EQ(armACAAC_DecodeScaleFactorData(r.nulls & 1 ? nullptr : sf, r.groups, 100, r.nulls & 2 ? nullptr : cbs.data(),
                                                 r.maxSfb, r.nulls & 4 ? nullptr : &pos.byte, &pos.offset), r.sts) << r.groups << " " << r.maxSfb;
        EXPECT_EQ(bitsFrom(BitRef{zeros, 0}, pos), r.bits) << r.groups << " " << r.maxSfb;
    }
}

// The spectral reader at 48 kHz (49 long, 14 short bands), 8 kHz (40, 15)
// and 96 kHz (41, 12); sections of codebook 0, which read nothing, end at
// band `end`, which is checked when reached.  nulls: 1 values, 2 section
// counts, 4 position, 8 section codebooks, 16 section ends, 32 group lengths.
TEST(SpectralData, Arguments) {
    struct Row { int ws, groups, sri, maxSfb; std::vector<int32_t> grpLen, numSect; int end, nulls; int32_t sts; };
    const std::vector<int32_t> eight(8, 1);
    const Row rows[] = {
        {0, 1, 3, 49, {}, {1}, 49, 0, 0}, {0, 1, 3, 50, {}, {1}, 49, 0, -5}, {0, 1, 11, 40, {}, {1}, 40, 0, 0},
        {0, 1, 12, 10, {}, {1}, 10, 0, -5}, {0, 1, 0, 41, {}, {1}, 41, 0, 0}, {0, 1, -1, 10, {}, {1}, 10, 0, -5},
        {0, 1, 3, -1, {}, {0}, 0, 0, -5}, {0, 1, 3, 0, {}, {0}, 0, 0, 0}, {0, 2, 3, 10, {}, {1}, 10, 0, -5},
        {0, 0, 3, 10, {}, {}, 10, 0, -5}, {2, 1, 3, 14, {8}, {1}, 14, 0, 0}, {2, 1, 3, 15, {8}, {1}, 14, 0, -5},
        {2, 1, 11, 15, {8}, {1}, 15, 0, 0}, {2, 0, 3, 10, {}, {}, 10, 0, -5}, {2, 8, 3, 10, eight, {}, 10, 0, 0},
        {2, 9, 3, 10, eight, {}, 10, 0, -5}, {2, 1, 3, 10, {8}, {1}, 10, 32, -5}, {2, 2, 3, 10, {9, -1}, {}, 10, 0, -5},
        {2, 1, 3, 10, {-1}, {}, 10, 0, -5}, {2, 2, 3, 10, {0, 8}, {1, 1}, 10, 0, 0}, {2, 2, 3, 10, {5, 4}, {}, 10, 0, -5},
        {0, 1, 3, 10, {}, {-1}, 10, 0, -5}, {0, 1, 3, 10, {}, {10}, 10, 0, 0}, {0, 1, 3, 10, {}, {11}, 10, 0, -5},
        {0, 1, 3, 10, {}, {1}, 10, 8, -5}, {0, 1, 3, 10, {}, {1}, 10, 16, -5}, {0, 1, 3, 10, {}, {0}, 10, 24, 0},
        {0, 1, 3, 10, {}, {1}, 11, 0, -5}, {0, 1, 3, 10, {}, {1}, 10, 1, -5}, {0, 1, 3, 10, {}, {1}, 10, 2, -5},
        {0, 1, 3, 10, {}, {1}, 10, 4, -5},
    };
    const uint8_t sectCb[64] = {}, zeros[64] = {};
    for (const Row &r : rows) {
        std::vector<int32_t> grp(r.grpLen), numSect(r.numSect), out(1024);
        grp.resize(9, 0);
        numSect.resize(9, 0);
        const std::vector<uint8_t> ends(64, static_cast<uint8_t>(r.end));
        BitRef pos{zeros, 0};
        EXPECT_EQ(armACAAC_DecodeSpectralData(r.nulls & 1 ? nullptr : out.data(), r.ws, r.groups, r.sri, r.nulls & 8 ? nullptr : sectCb,
                                              r.nulls & 16 ? nullptr : ends.data(), r.nulls & 32 ? nullptr : grp.data(),
                                              r.nulls & 2 ? nullptr : numSect.data(), r.nulls & 4 ? nullptr : &pos.byte, &pos.offset, r.maxSfb), r.sts)
            << &r - rows;
    }
}

// The pair head refuses object types other than 2 and 4 and null records
// before reading anything.  nulls: 1 stream info, 2 pair record, 4 LTP records.
TEST(ChanPairElt, Arguments) {
    const uint8_t zeros[64] = {};
    IcsInfo ics{};
    ChanPairElt cpe{};
    LtpInfo l{}, *pair[2] = {&l, &l};
    struct Row { int aot, nulls; int32_t sts; int bits; };
    for (const Row &r : {Row{1, 0, -5, 0}, Row{3, 0, -5, 0}, Row{4, 0, 0, 5}, Row{2, 1, -5, 0}, Row{2, 2, -5, 0}, Row{2, 4, -5, 0}}) {
        BitRef pos{zeros, 0};
        EXPECT_EQ(omxACAAC_DecodeChanPairElt(&pos.byte, &pos.offset, r.nulls & 1 ? nullptr : &ics, r.nulls & 2 ? nullptr : &cpe, r.aot,
                                             r.nulls & 4 ? nullptr : pair), r.sts) << r.aot << " " << r.nulls;
        EXPECT_EQ(bitsFrom(BitRef{zeros, 0}, pos), r.bits);
    }
}

}  // namespace
