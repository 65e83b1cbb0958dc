// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// Noiseless decoding: random channel streams and pairs written by the
// test-side encoder decode to exactly what was written, consuming exactly
// its bits, and cut at any byte decode through the bounded reader as if
// zeros followed; then the status of every failure where it arises, the
// fields of other object types, and the argument checks of each exported
// operation.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <tuple>

#include "channel_encoder.h"
#include "omxdl/ac/armACAAC.h"
#include "omxdl/ac/armACAAC_Bounded.h"

namespace {

// Everything a channel stream, or a pair head and its two channel streams,
// decodes to; bits: the position before each channel and at the end; a
// guard value after each spectrum.
struct Result {
    int32_t sts[3], bits[3], noise[2], is[2], coefs[2][1025];
    IcsInfo ics;
    ChanPairElt cpe;
    LtpInfo ltp[2];
    ChannelInfo info[2];
    int16_t sf[2][120];
    uint8_t sfbCb[2][120];
    int8_t tns[2][64];
};

// The stream at data decoded by the exported operations, or through the
// decoder's reader bounded by size bytes.  Predictors cover up to 43 bands.
Result decode(const uint8_t *data, uint32_t size, bool bounded, int sri, bool pair, int aot) {
    Result r;
    std::memset(&r, 0, sizeof r);
    std::fill_n(&r.coefs[0][0], 2 * 1025, kUntouched);
    BitRef ref{data, 0};
    aacd::BitReader pos = aacd::bitReaderAt(data, size);
    const auto at = [&] { return bounded ? static_cast<int>(aacd::bitIndex(pos)) : bitsFrom(BitRef{data, 0}, ref); };
    LtpInfo *ltp[2] = {&r.ltp[0], &r.ltp[1]};
    if (pair) r.sts[0] = bounded ? aacd::decodeChanPairElt(&pos, &r.ics, &r.cpe, aot, ltp) : omxACAAC_DecodeChanPairElt(&ref.byte, &ref.offset, &r.ics, &r.cpe, aot, ltp);
    for (int c = 0; c <= pair && r.sts[c] == 0; r.info[c++].icsInfo = nullptr) {
        ChannelInfo &ch = r.info[c];
        const bool s = r.ics.windowSequence == EIGHT_SHORT_SEQUENCE;
        std::tie(r.bits[c], ch.samplingRateIndex, ch.predSfbMax, ch.icsInfo, ch.numWindows) = std::make_tuple(at(), sri, 43, &r.ics, s ? 8 : 1);
        ch.numSwb = s ? armACAAC_numSwbShort[sri] : armACAAC_numSwbLong[sri];
        r.sts[c + 1] = bounded ? aacd::noiselessDecode(pos, r.sf[c], r.coefs[c], r.sfbCb[c], r.tns[c], &ch, pair, aot, &r.ltp[c], &r.noise[c], &r.is[c])
                               : omxACAAC_NoiselessDecode(&ref.byte, &ref.offset, r.sf[c], r.coefs[c], r.sfbCb[c], r.tns[c], &ch, pair, aot, &r.ltp[c],
                                                          &r.noise[c], &r.is[c]);
    }
    r.bits[2] = at();
    return r;
}

void expectDecoded(const Ics &e, const Result &r, int c) {
    const Channel &ch = e.ch;
    const ChannelInfo &i = r.info[c];
    const auto has = [&](int lo, int hi) { return static_cast<int>(std::any_of(ch.sectCb.begin(), ch.sectCb.end(), [&](int cb) { return cb >= lo && cb <= hi; })); };
    EXPECT_EQ(std::vector<int>({r.sts[c + 1], i.globalGain, r.ics.maxSfb, r.ics.numWindowGroups, i.numWindows, i.pulseDataPresent, i.tnsDataPresent,
                                i.gainControlDataPresent, r.noise[c], r.is[c]}),
              std::vector<int>({0, ch.globalGain, ch.maxSfb, ch.numGroups, ch.shortWindows ? 8 : 1, e.pulses > 0, e.tnsPresent, 0, has(13, 13), has(14, 15)}));
    EXPECT_EQ(std::vector<int32_t>(r.ics.windowGroupLength, r.ics.windowGroupLength + 8), std::vector<int32_t>(ch.groupLen, ch.groupLen + 8));
    EXPECT_EQ(std::vector<uint8_t>(r.sfbCb[c], r.sfbCb[c] + ch.sfbCb.size()), ch.sfbCb);
    EXPECT_EQ(std::vector<int16_t>(r.sf[c], r.sf[c] + ch.sf.size()), ch.sf);
    if (e.tnsPresent) expectTns(e, i.tnsInfo, r.tns[c]);
    // Nothing is written past the last short-window group, unless there are no sections: then 1024 zeros.
    std::vector<int32_t> spectrum = e.spectrum;
    spectrum.resize(1024, ch.maxSfb == 0 ? 0 : kUntouched);
    spectrum.push_back(kUntouched);
    EXPECT_EQ(std::vector<int32_t>(r.coefs[c], r.coefs[c] + 1025), spectrum);
}

// Single channels and common-window pairs (head: ms_mask_present 1, random
// flags) of every codebook, long and grouped short windows, pulses and TNS,
// under object types 2 and (single channels) 3.  The first 160 are also cut within their
// first 96 bytes (head, side information) and at a few random bytes:
// whatever lies in memory past the cut, the bounded reader reads zeros.
TEST(NoiselessDecode, RandomStreamsRoundTripAndReadZerosPastACut) {
    std::mt19937 rng(21);
    for (int iter = 0; iter < 800 && !HasFatalFailure(); ++iter) {
        SCOPED_TRACE(iter);
        const bool isShort = iter % 2, isPair = iter % 4 >= 2;
        Ics a, b;
        a.ch = b.ch = randomLayout(rng, isShort, kAllCodebooks);
        a.aot = b.aot = !isPair && rng() % 2 ? 3 : 2;  // a pair head refuses object type 3
        BitWriter w;
        std::vector<uint8_t> ms;
        if (isPair) put(w, {{5, 4}, {1, 1}}), writeIcsInfo(w, a.ch, 1), w.bits(1, 2);
        for (int i = 0; isPair && i < a.ch.numGroups * a.ch.maxSfb; ++i) ms.push_back(rng() % 2), w.bits(ms.back(), 1);
        std::vector<int> tnsWindows, ends = {w.count()};
        for (int win = 0; win < 8; ++win)
            if (rng() % 2) tnsWindows.push_back(win);
        for (Ics *e : {&a, &b})
            if (e == &a || isPair) writeIcs(w, *e, rng, isPair, 1, true, rng() % 2 ? &tnsWindows : nullptr), ends.push_back(w.count());
        const int bytes = (w.count() + 7) / 8;
        w.bits(0x3F, 6);
        const Result r = decode(w.base(), 8192, false, a.ch.sri, isPair, a.aot);
        EXPECT_EQ(std::vector<int>(r.bits, r.bits + 3), isPair ? ends : std::vector<int>({ends[0], 0, ends[1]}));
        EXPECT_EQ(std::make_tuple(r.sts[0], r.cpe.msMaskPresent), std::make_tuple(0, isPair ? 1 : 0));
        for (size_t i = 0; i < ms.size(); ++i) EXPECT_EQ(r.cpe.msUsed[i / a.ch.maxSfb][i % a.ch.maxSfb], ms[i]) << i;
        expectDecoded(a, r, 0);
        if (isPair) expectDecoded(b, r, 1);
        for (int i = 0; iter < 160 && i <= 100; ++i) {
            const int cut = std::min(i <= 96 ? i : static_cast<int>(rng() % (bytes + 1)), bytes);
            std::vector<uint8_t> zeros(w.base(), w.base() + cut), garbage(zeros);
            zeros.resize(8192, 0x00);
            garbage.resize(8192, 0xFF);
            const Result x = decode(zeros.data(), 8192, false, a.ch.sri, isPair, a.aot), y = decode(garbage.data(), cut, true, a.ch.sri, isPair, a.aot);
            ASSERT_EQ(std::memcmp(&x, &y, sizeof x), 0) << "cut at byte " << cut << ", statuses " << x.sts[2] << " " << y.sts[2];
        }
    }
}

using Fields = std::vector<Field>;
Fields operator+(Fields a, const Fields &b) { return a.insert(a.end(), b.begin(), b.end()), a; }
int bitsOf(const Fields &fields) {
    BitWriter w;
    return put(w, fields);
}
Fields longInfo(int m, int predictor = 0) { return {{0, 4}, {m, 6}, {predictor, 1}}; }  // stream info, long window
Fields shortInfo(int m) { return {{4, 4}, {m, 4}, {0x7F, 7}}; }                         // eight short windows in one group

// Channel streams (gain 100 unless given) and pairs: the status where
// decoding stops, the bits read up to there (a row's fields; its tail is
// not read) and the LTP records written (bit r: record r present).  At
// 48 kHz 49 long and 14 short bands, at 8 kHz 40 and 15, at 32 kHz 51.
TEST(NoiselessDecode, StatusesAndFieldsWhereTheyArise) {
    const Fields g = {{100, 8}}, none = {{0, 3}};  // no pulse, TNS or gain control data
    const Fields sf1 = {{12, 4}, {1, 5}};           // one band of codebook 12: a scale factor, no values
    const Fields pulses = {{1, 1}, {3, 2}, {48, 6}, {31, 5}, {0, 4}, {31, 5}, {0, 4}, {31, 5}, {0, 4}};
    const Fields esc = {{11, 4}, {1, 5}, {60, -1}, {0, 3}, {3, -12}, {1, 1}, {16 * 17 + 1, -12}, {0, 1}, {1, 1}};  // (0, -3), (16 + escape, -1)
    const Fields ltp0 = {{1, 1}, {0x100, 11}, {2, 3}}, ltp1 = {{1, 1}, {0x101, 11}, {3, 3}}, forty = {{~0u, 32}, {0xFF, 8}}, five = {{0x15, 5}};
    const auto head = [](const Fields &info) { return Fields{{5, 4}, {1, 1}} + info + Fields{{0, 2}}; };  // pair head, ms_mask_present 0
    const auto zeros = [&](int len, bool s) {  // one codebook 0 section of len bands, no side data
        Fields f = {{0, 4}};
        for (; len >= (s ? 7 : 31); len -= s ? 7 : 31) f.push_back({s ? 7 : 31, s ? 3 : 5});
        return f + Fields{{len, s ? 3 : 5}} + none;
    };
    struct Row { const char *name; int sri, aot; bool pair; Fields fields, tail; int32_t sts; int ltp = 0; };
    const Row rows[] = {
        {"long, no bands", 3, 2, false, g + longInfo(0) + none, {}, 0},
        {"short, no bands", 3, 2, false, g + shortInfo(0) + none, {}, 0},
        {"pulses with short windows", 3, 2, false, g + shortInfo(0) + Fields{{1, 1}}, {{0, 8}}, -2},
        {"gain control", 3, 2, false, g + longInfo(0) + Fields{{1, 3}}, {}, -159},
        {"max_sfb 49", 3, 2, false, g + longInfo(49) + zeros(49, false), {}, 0},
        {"max_sfb 50", 3, 2, false, g + Fields{{0, 4}, {50, 6}}, {{0, 1}}, -162},
        {"short max_sfb 14", 3, 2, false, g + shortInfo(14) + zeros(14, true), {}, 0},
        {"short max_sfb 15", 3, 2, false, g + Fields{{4, 4}, {15, 4}}, {{0, 7}}, -162},
        {"section end past max_sfb", 3, 2, false, g + longInfo(5) + Fields{{1, 4}, {6, 5}}, {}, -2},
        {"as many sections as bands", 3, 2, false, g + longInfo(2) + Fields{{0, 4}, {0, 5}} + zeros(2, false), {}, 0},
        {"more sections than bands", 3, 2, false, g + longInfo(2) + Fields{{0, 4}, {0, 5}, {0, 4}, {0, 5}, {0, 4}, {0, 5}}, {}, -2},
        {"scale factor 255", 3, 2, false, Fields{{255, 8}} + longInfo(1) + sf1 + Fields{{60, -1}} + none, {}, 0},
        {"scale factor 256", 3, 2, false, Fields{{255, 8}} + longInfo(1) + sf1 + Fields{{61, -1}}, {}, -2},
        {"scale factor 0", 3, 2, false, Fields{{0, 8}} + longInfo(1) + sf1 + Fields{{60, -1}} + none, {}, 0},
        {"scale factor -1", 3, 2, false, Fields{{0, 8}} + longInfo(1) + sf1 + Fields{{59, -1}}, {}, -2},
        {"four pulses up to 1023", 3, 2, false, g + longInfo(0) + pulses + Fields{{2, 5}, {0, 4}, {0, 2}}, {}, 0},
        {"a pulse at 1024", 3, 2, false, g + longInfo(0) + pulses + Fields{{3, 5}, {0, 4}}, {}, -2},
        {"pulse start band 49", 3, 2, false, g + longInfo(0) + Fields{{1, 1}, {0, 2}, {49, 6}}, {{0, 9}}, -2},
        {"escape of 8 ones", 3, 2, false, g + longInfo(1) + esc + Fields{{0x1FE, 9}, {5, 12}}, {}, 0},
        {"escape of 9 ones", 3, 2, false, g + longInfo(1) + esc, {{0x3FE, 10}, {5, 12}}, -2},
        {"shared max_sfb 40 of 40", 11, 2, true, head(longInfo(40)) + g + zeros(40, false) + g + zeros(40, false), {}, 0},
        {"shared max_sfb 41 of 40", 11, 2, true, head(longInfo(41)) + g, {{0, 16}}, -162},
        {"shared max_sfb 51 of 40", 11, 2, true, head(longInfo(51)) + g, {{0, 16}}, -162},
        {"shared max_sfb 52", 11, 2, true, Fields{{5, 4}, {1, 1}, {0, 4}, {52, 6}}, {{0, 16}}, -162},
        {"shared short max_sfb 15 of 14", 3, 2, true, head(shortInfo(15)) + g, {{0, 16}}, -162},
        {"low complexity: the predictor flag only", 3, 2, false, g + longInfo(5, 1) + zeros(5, false), {}, 0},
        {"type 4: LTP data", 3, 4, false, g + longInfo(0, 1) + ltp0 + none, {}, 0, 1},
        {"type 4: 40 LTP band flags of 45", 3, 4, false, g + longInfo(45, 1) + ltp0 + forty + zeros(45, false), {}, 0, 1},
        {"type 4 pair: LTP of the second record", 3, 4, true, head(longInfo(5, 1) + Fields{{0, 1}} + ltp1 + five) + g + zeros(5, false) + g + zeros(5, false), {}, 0, 2},
        {"type 4 pair: LTP of both records", 3, 4, true, head(longInfo(5, 1) + ltp0 + five + ltp1 + five) + g + zeros(5, false) + g + zeros(5, false), {}, 0, 3},
        {"type 1: reset group, 5 prediction flags", 3, 1, false, g + longInfo(5, 1) + Fields{{1, 1}, {17, 5}} + five + zeros(5, false), {}, 0},
        {"type 1: 41 prediction flags of 45", 3, 1, false, g + longInfo(45, 1) + Fields{{0, 1}} + forty + Fields{{1, 1}} + zeros(45, false), {}, 0},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        BitWriter w;
        put(w, row.fields + row.tail);
        const Result r = decode(w.base(), 8192, false, row.sri, row.pair, row.aot);
        EXPECT_EQ(std::make_tuple(r.sts[0] ? r.sts[0] : r.sts[1] ? r.sts[1] : r.sts[2], r.bits[2], r.ltp[0].ltpDataPresent | r.ltp[1].ltpDataPresent << 1),
                  std::make_tuple(row.sts, bitsOf(row.fields), row.ltp));
    }
}

// The exported operations on a row's bits, written from offset 7 (zeros
// after them): the status and the bits read.  Where bad is not 1, also with
// a null reference, a null byte pointer and an offset of 8: the status bad
// (LTP data: 0; TNS data has none), nothing read and the references kept.
// Scale factors: bands of codebook 1, each the 1-bit code word of
// difference 0.  Spectral data: sections of codebook 0 (nothing read)
// ending at band `end`, checked when reached; 49 long, 14 short bands at
// 48 kHz (index 3), 40 and 15 at 8 kHz (11), 41 and 12 at 96 kHz (0).
// nulls: 1 output, 2 codebooks (scale factors) or section counts, 8 section
// codebooks, 16 section ends, 32 group lengths; pair head: 1 stream info, 2
// pair record, 4 LTP records.
TEST(ExportedOperations, ArgumentsAndPositions) {
    using Call = std::function<int32_t(const uint8_t **, uint32_t *)>;
    const std::vector<uint8_t> cbs(128, 1), sectCb(64, 0);
    std::vector<int16_t> sf(128);
    std::vector<int32_t> out(1024), pulse(10);
    uint8_t sfbCb[64], cbOut[64], endOut[64];
    int8_t tns[64];
    int32_t numSect[8], noise = 0, is = 0;
    IcsInfo ics{};
    ChannelInfo ch{};
    ChanPairElt cpe{};
    LtpInfo l{}, *pair[2] = {&l, &l};
    std::tie(ch.samplingRateIndex, ch.numWindows, ch.icsInfo) = std::make_tuple(3, 1, &ics);
    TnsInfo &t = ch.tnsInfo;
    const auto sfd = [&](int groups, int maxSfb, int nulls) -> Call {
        return [&, groups, maxSfb, nulls](auto pp, auto po) {
            return armACAAC_DecodeScaleFactorData(nulls & 1 ? nullptr : sf.data(), groups, 100, nulls & 2 ? nullptr : cbs.data(), maxSfb, pp, po);
        };
    };
    const auto spec = [&](int ws, int groups, int sri, int maxSfb, std::vector<int32_t> grp, std::vector<int32_t> ns, int end, int nulls) -> Call {
        grp.resize(9), ns.resize(9);
        const std::vector<uint8_t> ends(64, static_cast<uint8_t>(end));
        return [&, ws, groups, sri, maxSfb, grp, ns, ends, nulls](auto pp, auto po) {
            return armACAAC_DecodeSpectralData(nulls & 1 ? nullptr : out.data(), ws, groups, sri, nulls & 8 ? nullptr : sectCb.data(), nulls & 16 ? nullptr : ends.data(),
                                               nulls & 32 ? nullptr : grp.data(), nulls & 2 ? nullptr : ns.data(), pp, po, maxSfb);
        };
    };
    const auto sect = [&](int maxSfb) -> Call {
        return [&, maxSfb](auto pp, auto po) { return armACAAC_DecodeSectionData(sfbCb, cbOut, endOut, numSect, 0, 1, maxSfb, pp, po, &noise, &is); };
    };
    const auto head = [&](int aot, int nulls) -> Call {
        return [&, aot, nulls](auto pp, auto po) { return omxACAAC_DecodeChanPairElt(pp, po, nulls & 1 ? nullptr : &ics, nulls & 2 ? nullptr : &cpe, aot, nulls & 4 ? nullptr : pair); };
    };
    const Call icsInfo = [&](auto pp, auto po) { return armACAAC_DecodeIcsInfoData(pp, po, 0, 2, 0, &ch, &ics, pair); };
    const Call ltp = [&](auto pp, auto po) { return armACAAC_DecodeLtpData(pp, po, EIGHT_SHORT_SEQUENCE, 5, &l); };
    const Call pulses = [&](auto pp, auto po) { return armACAAC_DecodePulseData(armACAAC_swbOffsetLongWindow[3], &pulse[0], &pulse[1], &pulse[2], pp, po, &pulse[6], 49); };
    const Call tnsData = [&](auto pp, auto po) {
        return armACAAC_DecodeTNSData(2, 3, 0, tns, pp, po, 1, t.tnsNumFilters, t.tnsCoefRes, t.tnsLength, t.tnsOrder, t.tnsDirection, &ch), 0;
    };
    const Call channel = [&](auto pp, auto po) { return omxACAAC_NoiselessDecode(pp, po, sf.data(), out.data(), sfbCb, tns, &ch, 0, 2, &l, &noise, &is); };
    struct Row { Call call; int32_t sts; int bits, bad = 1; Fields data = {}; };
    const std::vector<int32_t> eight(8, 1);
    const Row rows[] = {
        {icsInfo, 0, 11, -5}, {ltp, 0, 14, 0}, {pulses, 0, 17, -5}, {tnsData, 0, 2, 0}, {channel, 0, 22, -5}, {sect(1), -2, 18, -5}, {sfd(1, 1, 0), 0, 1, -5},
        {spec(0, 1, 3, 0, {}, {0}, 0, 0), 0, 0, -5}, {head(2, 0), 0, 5, -5},
        {sect(63), 0, 23, 1, {{1, 4}, {31, 5}, {28, 5}, {2, 4}, {4, 5}}}, {sect(63), -2, 14, 1, {{1, 4}, {31, 5}, {29, 5}}}, {sect(63), -2, 14, 1, {{1, 4}, {31, 5}, {31, 5}, {1, 5}}},
        {sfd(8, 15, 0), 0, 120}, {sfd(3, 40, 0), 0, 120}, {sfd(1, 51, 0), 0, 51}, {sfd(9, 1, 0), -5, 0}, {sfd(1, 52, 0), -5, 0}, {sfd(3, 41, 0), -5, 0},
        {sfd(1, 1, 1), -5, 0}, {sfd(1, 1, 2), -5, 0}, {sfd(0, 5, 3), 0, 0}, {sfd(1, 0, 3), 0, 0},
        {head(1, 0), -5, 0}, {head(3, 0), -5, 0}, {head(4, 0), 0, 5}, {head(2, 1), -5, 0}, {head(2, 2), -5, 0}, {head(2, 4), -5, 0},
        {spec(0, 1, 3, 49, {}, {1}, 49, 0), 0, 0}, {spec(0, 1, 3, 50, {}, {1}, 49, 0), -5, 0}, {spec(0, 1, 11, 40, {}, {1}, 40, 0), 0, 0},
        {spec(0, 1, 12, 10, {}, {1}, 10, 0), -5, 0}, {spec(0, 1, 0, 41, {}, {1}, 41, 0), 0, 0}, {spec(0, 1, -1, 10, {}, {1}, 10, 0), -5, 0},
        {spec(0, 1, 3, -1, {}, {0}, 0, 0), -5, 0}, {spec(0, 2, 3, 10, {}, {1}, 10, 0), -5, 0}, {spec(0, 1, 3, 10, {}, {-1}, 10, 0), -5, 0},
        {spec(0, 1, 3, 10, {}, {10}, 10, 0), 0, 0}, {spec(0, 1, 3, 10, {}, {11}, 10, 0), -5, 0}, {spec(0, 1, 3, 10, {}, {1}, 11, 0), -5, 0},
        {spec(0, 1, 3, 10, {}, {1}, 10, 1), -5, 0}, {spec(0, 1, 3, 10, {}, {1}, 10, 2), -5, 0}, {spec(0, 1, 3, 10, {}, {1}, 10, 8), -5, 0},
        {spec(0, 1, 3, 10, {}, {1}, 10, 16), -5, 0}, {spec(0, 1, 3, 10, {}, {0}, 10, 24), 0, 0}, {spec(2, 1, 3, 14, {8}, {1}, 14, 0), 0, 0},
        {spec(2, 1, 3, 15, {8}, {1}, 14, 0), -5, 0}, {spec(2, 0, 3, 10, {}, {}, 10, 0), -5, 0}, {spec(2, 8, 3, 10, eight, {}, 10, 0), 0, 0},
        {spec(2, 9, 3, 10, eight, {}, 10, 0), -5, 0}, {spec(2, 1, 3, 10, {8}, {1}, 10, 32), -5, 0}, {spec(2, 2, 3, 10, {9, -1}, {}, 10, 0), -5, 0},
        {spec(2, 1, 3, 10, {-1}, {}, 10, 0), -5, 0}, {spec(2, 2, 3, 10, {0, 8}, {1, 1}, 10, 0), 0, 0}, {spec(2, 2, 3, 10, {5, 4}, {}, 10, 0), -5, 0},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(&r - rows);
        BitWriter w;
        put(w, Fields{{0x55, 7}} + r.data);
        const BitRef start{w.base(), 7};
        BitRef pos = start;
        EXPECT_EQ(r.call(&pos.byte, &pos.offset), r.sts);
        EXPECT_EQ(bitsFrom(start, pos), r.bits);
        for (int k = 0; r.bad != 1 && k < 4; ++k) {
            const BitRef given{k == 1 ? nullptr : w.base(), k == 3 ? 8u : 7u};
            BitRef keep = given;
            EXPECT_EQ(r.call(k == 0 ? nullptr : &keep.byte, k == 2 ? nullptr : &keep.offset), r.bad) << k;
            EXPECT_TRUE(keep.byte == given.byte && keep.offset == given.offset) << k;
        }
    }
}

}  // namespace
