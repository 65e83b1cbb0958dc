// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// Bit reading and writing, Huffman codebooks and noiseless decoding.
//
// The bit writer's byte rules and rejected arguments.  The code lists are
// prefix-free and complete with the known sizes and longest codes, and the
// generated lookup tables give what the linear scan of armUnPackVLC32 gives
// (that the lists are the generator's output for the codebook table is
// checked by check_generated_tables.py).  Random channel streams and pairs
// written by the test-side encoder decode to exactly what was written,
// consuming exactly its bits, and cut at any byte decode through the
// decoder's bounded reader as if zeros followed (the reader itself is
// exercised by every stream the other suites decode, also at a guard
// page); then the status of every failure where it arises, the fields of
// other object types, and the argument checks and known reads of each
// exported operation, the bit reading primitives among them.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>
#include <tuple>

#include "channel_encoder.h"
#include "omxdl/ac/armACAAC_Bounded.h"
#include "omxdl/ac/armACAAC_HuffLookup.h"

namespace {

constexpr int32_t kUntouched = 0x5A5A5A5A;

// The byte rules of a write (the other tests write their input with
// armPackBits); rejected arguments write nothing and keep the position.
TEST(BitWriter, ByteRulesAndRejectedArguments) {
    uint8_t b[4] = {0xFF, 0xFF, 0xFF, 0xFF}, *p = b;
    uint32_t off = 3;
    EXPECT_EQ(std::make_tuple(armPackBits(&p, &off, 2, 2), b[0], p, off), std::make_tuple(0, 0xF0, b, 5u));  // keeps 111, writes 10, zeroes the rest
    p = b + 1, off = 0;  // ending on a byte boundary writes 0 into the next byte
    EXPECT_EQ(std::make_tuple(armPackVLC32(&p, &off, ArmVlc32{8, 0xA5}), b[1], b[2], p, off), std::make_tuple(0, 0xA5, 0, b + 2, 0u));
    for (const auto &[o, len] : std::vector<std::pair<uint32_t, int>>{{0, 0}, {3, 33}, {0, -1}, {5, INT32_MIN}, {8, 1}, {100, 4}}) {
        uint8_t d[8] = {0xA5, 0x5A, 0xC3, 0x3C, 0xA5, 0x5A, 0xC3, 0x3C};
        p = d + 2, off = o;
        const int32_t bits = armPackBits(&p, &off, 0xFFFFFFFFu, len), vlc = armPackVLC32(&p, &off, ArmVlc32{static_cast<uint8_t>(len), 0u});
        EXPECT_EQ(std::make_tuple(bits, vlc, p, off, d[2], d[3]), std::make_tuple(-5, -5, d + 2, o, 0xC3, 0x3C)) << o << " " << len;
    }
}

constexpr int kCounts[12] = {121, 81, 81, 81, 81, 81, 81, 64, 64, 169, 169, 289}, kLongest[12] = {19, 11, 9, 16, 12, 13, 11, 12, 10, 15, 12, 12};

class CodeBook : public ::testing::TestWithParam<int> {};

// The list holds the known number of codes (then its end mark), of lengths
// 1 to 32 whose 2^-length sum to exactly 1, the longest of the known length
// (the lookup table's too).  For every pattern of the longest code's bits
// (each matching some code: with the sum of 1 that makes the list a complete
// prefix-free code), followed by random bits, at every bit offset, the lookup
// gives the index of the linear scan (scale factors) or its tuple by the
// standard's numbering (digits of base m, less lav in the signed books), and
// a length that takes in the sign bits of an unsigned book.
TEST_P(CodeBook, IsCompleteAndLookupEqualsLinearScan) {
    const int cb = GetParam(), len = kLongest[cb], lav = armACAAC_lavCb[cb], uns = armACAAC_signCb[cb], m = uns ? lav + 1 : 2 * lav + 1;
    const ArmVlc32 *list = armACAAC_CodeBooks_C[cb];
    uint64_t kraft = 0, longest = 0;  // kraft in units of 2^-32
    for (int i = 0; i < kCounts[cb]; ++i) {
        ASSERT_TRUE(list[i].codeLen >= 1 && list[i].codeLen <= 32 && list[i].codeWord >> list[i].codeLen == 0) << i;
        longest = std::max<uint64_t>(longest, list[i].codeLen), kraft += uint64_t{1} << (32 - list[i].codeLen);
    }
    EXPECT_EQ(std::make_tuple(list[kCounts[cb]].codeLen, kraft, longest, aacd::kHuffLookup[cb].maxLen),
              std::make_tuple(uint8_t{0}, uint64_t{1} << 32, uint64_t(len), static_cast<uint32_t>(len)));
    std::mt19937 rng(1234 + cb);
    using aacd::huffValue;
    constexpr int32_t (*kValue[12])(uint32_t, int) = {nullptr, huffValue<1>, huffValue<2>, huffValue<3>, huffValue<4>, huffValue<5>,
                                                     huffValue<6>, huffValue<7>, huffValue<8>, huffValue<9>, huffValue<10>, huffValue<11>};
    const auto check = [&](uint32_t window, uint32_t offset) {
        uint8_t buf[8];  // the window at the offset, noise around it
        const uint64_t noise = (static_cast<uint64_t>(rng()) << 32) | rng(), mask = uint64_t{0xFFFFFFFFu} << (32 - offset);
        for (int i = 0; i < 8; ++i) buf[i] = static_cast<uint8_t>(((noise & ~mask) | (uint64_t{window} << (32 - offset))) >> (56 - 8 * i));
        const uint8_t *p = buf;
        uint32_t off = offset;
        const int32_t idx = armUnPackVLC32(&p, &off, list);
        ASSERT_TRUE(idx >= 0 && idx < kCounts[cb] && window >> (32 - list[idx].codeLen) == list[idx].codeWord);
        const uint32_t leaf = cb == 0 ? aacd::huffLookup(aacd::kHuffLookup[0], window) : aacd::huffLookupSpectrum(aacd::kHuffLookup[cb], uint64_t{window} << 32);
        int32_t bits = static_cast<int32_t>((p - buf) * 8 + off - offset);
        for (int i = cb == 0 ? 0 : cb <= 4 ? 3 : 1, rest = idx; i >= 0; --i, rest /= m) {
            const int32_t v = cb == 0 ? rest : rest % m - (uns ? 0 : lav);
            ASSERT_EQ(cb == 0 ? static_cast<int32_t>(aacd::huffIndex(leaf)) : kValue[cb](leaf, i), v) << window << " " << i;
            bits += uns && v != 0;
        }
        ASSERT_EQ(static_cast<int32_t>(aacd::huffLength(leaf)), bits) << window;
    };
    for (uint32_t pattern = 0; pattern < (1u << len); ++pattern) check((pattern << (32 - len)) | (static_cast<uint32_t>(rng()) >> len), pattern & 7u);
}

INSTANTIATE_TEST_SUITE_P(AllCodebooks, CodeBook, ::testing::Range(0, 12));

// A random channel stream: a layout at a random rate (grouped short windows,
// some sections of length 0) and, filled in by writeIcs, what it decodes to.
struct Ics : Channel {
    int aot = 2, pulses = 0, tnsPresent = 0;
    TnsInfo tns{}; std::vector<uint8_t> sfbCb; std::vector<int16_t> sf; std::vector<int8_t> tnsCoefs; std::vector<int32_t> values;
};

Ics randomLayout(std::mt19937 &rng, bool s, int aot) {
    Ics e;
    std::tie(e.shortWindows, e.aot, e.sri, e.globalGain, e.numGroups) = std::make_tuple(s, aot, rng() % 12, 60 + rng() % 140, s ? 0 : 1);
    const int bands = s ? armACAAC_numSwbShort[e.sri] : armACAAC_numSwbLong[e.sri];
    e.maxSfb = rng() % 4 ? bands - static_cast<int>(rng() % 3) : static_cast<int>(rng() % (bands + 1));
    for (int left = 8; s && left > 0; left -= e.groupLen[e.numGroups++]) e.groupLen[e.numGroups] = 1 + static_cast<int>(rng() % left);
    for (int g = 0; g < e.numGroups; ++g)
        for (int k = 0, len = 0, cb = 0; k < e.maxSfb; k += len, ++e.numSect[g]) {
            len = rng() % 10 == 0 && e.numSect[g] + (e.maxSfb - k) < e.maxSfb ? 0 : 1 + static_cast<int>(rng() % std::min(e.maxSfb - k, 12));
            e.sectCb.push_back(static_cast<uint8_t>(cb = static_cast<int>(rng() % 16))), e.sectEnd.push_back(static_cast<uint8_t>(k + len));
            e.sfbCb.insert(e.sfbCb.end(), len, static_cast<uint8_t>(cb));
        }
    e.sfbCb.push_back(0);  // a guard: nothing is written past the last band
    return e;
}

// The stream of e (with its stream info unless common): random scale factor
// steps (scale factors kept in 0..255), pulses (long windows), TNS filters
// of random order limited as the object type and the rate require, values
// with escapes at the edges of each prefix length.
void writeIcs(BitWriter &w, Ics &e, std::mt19937 &rng, bool common) {
    const bool s = e.shortWindows;
    w.bits(e.globalGain, 8);
    if (!common) writeIcsInfo(w, e, 1);
    writeSections(w, e);
    for (int sf = e.globalGain, is = 0, noise = 0, first = 1, i = 0; i < static_cast<int>(e.sfbCb.size()); ++i) {
        const int cb = e.sfbCb[i];
        int delta = (static_cast<int>(rng() % 121) - 60) / (rng() % 2 ? 8 : 1), &v = cb == 13 ? noise : cb >= 14 ? is : sf;
        if (cb > 0 && cb < 13) delta = std::clamp(sf + delta, 0, 255) - sf;
        if (cb == 13 && first) w.bits(delta + 256, 9), v = e.globalGain - 90, first = 0;
        else if (cb > 0) w.code(0, delta + 60);
        e.sf.push_back(static_cast<int16_t>(cb == 0 ? 0 : v += delta));
    }
    const uint16_t *off = armACAAC_swbOffsetLongWindow[e.sri], *band = s ? armACAAC_swbOffsetShortWindow[e.sri] : off;
    int start = e.maxSfb ? static_cast<int>(rng() % e.maxSfb) : 0, offs[4], amps[4];
    e.pulses = !s && e.maxSfb > 0 && rng() % 2 ? 1 + static_cast<int>(rng() % 4) : 0;
    put(w, {{e.pulses > 0, 1}, {e.pulses - 1, e.pulses ? 2 : 0}, {start, e.pulses ? 6 : 0}});
    for (int i = 0, k = off[start]; i < e.pulses; k += offs[i++]) put(w, {{offs[i] = std::min(static_cast<int>(rng() % 32), 1023 - k), 5}, {amps[i] = rng() % 16, 4}});
    const int maxOrder = e.aot == 3 ? 12 : s ? 7 : e.sri > 4 ? 20 : 12;
    w.bits(e.tnsPresent = rng() % 2, 1);
    for (int win = 0; e.tnsPresent && win < (s ? 8 : 1); ++win) {
        const int nf = rng() % 2 ? 1 + static_cast<int>(rng() % (s ? 1 : 3)) : 0;
        put(w, {{e.tns.tnsNumFilters[win] = nf, s ? 1 : 2}, {(e.tns.tnsCoefRes[win] = nf ? 3 + static_cast<int>(rng() % 2) : 0) - 3, nf ? 1 : 0}});
        for (int f = win; f < win + nf; ++f) {
            const int order = static_cast<int>(rng() % (s ? 8 : 32)), lim = e.tns.tnsOrder[f] = std::min(order, maxOrder), compress = rng() % 2;
            put(w, {{e.tns.tnsLength[f] = rng() % (s ? 16 : 64), s ? 4 : 6}, {order, s ? 3 : 5}, {e.tns.tnsDirection[f] = lim ? rng() % 2 : 0, lim ? 1 : 0}, {compress, lim ? 1 : 0}});
            for (int i = 0, n = e.tns.tnsCoefRes[win] - compress; i < lim; ++i)
                e.tnsCoefs.push_back(static_cast<int8_t>(rng() % (1u << n) - (1u << (n - 1)))), w.bits(e.tnsCoefs.back() & ((1u << n) - 1), n);
        }
    }
    w.bits(0, 1);  // no gain control data
    for (int g = 0, sect = 0; g < e.numGroups; ++g)
        for (int i = 0, k = 0, cb = 0; i < e.numSect[g]; ++i, k = e.sectEnd[sect++])
            for (int t = 0, dim = (cb = e.sectCb[sect]) <= 4 ? 4 : 2; t < (band[e.sectEnd[sect]] - band[k]) * e.groupLen[g]; t += dim) {
                int32_t v[4] = {};
                for (int d = 0; d < dim && cb > 0 && cb < 12; ++d) {
                    const int lo = 16 << (rng() % 9), escape = rng() % 3 == 0 ? lo : rng() % 2 ? 2 * lo - 1 : lo + static_cast<int>(rng() % lo);
                    const int mag = rng() % 3 == 0 ? 0 : cb == 11 && rng() % 4 == 0 ? escape : static_cast<int>(rng() % (std::min<int>(armACAAC_lavCb[cb], 15) + 1));
                    v[d] = rng() % 2 ? mag : -mag;
                }
                if (cb > 0 && cb < 12) writeTuple(w, cb, v);
                e.values.insert(e.values.end(), v, v + dim);
            }
    e.values.resize(1024, s && e.maxSfb > 0 ? kUntouched : 0), e.values.push_back(kUntouched);  // and a guard value
    for (int i = 0, k = off[start]; i < e.pulses; ++i) k += offs[i], e.values[k] += e.values[k] > 0 ? amps[i] : -amps[i];
}

// Everything a channel stream, or a pair head and its two channel streams,
// decodes to; bits: the position after them; misjudged: 1 when the reader
// there does not say "past the end" exactly when it is beyond the block's
// last bit; a guard value after each spectrum.
struct Result {
    int32_t sts[3], bits, misjudged, noise[2], is[2], coefs[2][1025];
    IcsInfo ics; ChanPairElt cpe; LtpInfo ltp[2]; ChannelInfo info[2];
    int16_t sf[2][121]; uint8_t sfbCb[2][121]; int8_t tns[2][64];
};

// The stream of size bytes at data, read through the decoder's bounded
// reader.  Predictors cover up to 43 bands.
Result decode(const uint8_t *data, uint32_t size, int sri, bool pair, int aot) {
    Result r;
    std::memset(&r, 0, sizeof r);
    std::fill_n(&r.coefs[0][0], 2 * 1025, kUntouched);
    aacd::BitReader pos = aacd::bitReaderAt(data, size);
    LtpInfo *ltp[2] = {&r.ltp[0], &r.ltp[1]};
    if (pair) r.sts[0] = aacd::decodeChanPairElt(&pos, &r.ics, &r.cpe, aot, ltp);
    for (int c = 0; c <= pair && r.sts[c] == 0; r.info[c++].icsInfo = nullptr) {
        ChannelInfo &ch = r.info[c];
        const bool s = r.ics.windowSequence == EIGHT_SHORT_SEQUENCE;
        std::tie(ch.samplingRateIndex, ch.predSfbMax, ch.icsInfo, ch.numWindows, ch.numSwb) =
            std::make_tuple(sri, 43, &r.ics, s ? 8 : 1, s ? armACAAC_numSwbShort[sri] : armACAAC_numSwbLong[sri]);
        r.sts[c + 1] = aacd::noiselessDecode(pos, r.sf[c], r.coefs[c], r.sfbCb[c], r.tns[c], &ch, pair, aot, &r.ltp[c], &r.noise[c], &r.is[c]);
    }
    r.bits = static_cast<int>(aacd::bitIndex(pos));
    r.misjudged = aacd::bitPastEnd(pos) != (aacd::bitIndex(pos) > 8 * size);
    return r;
}

// Single channels and common-window pairs (head: ms_mask_present 1, random
// flags) under object types 2 and (single channels) 3.  Past the last
// short-window group nothing is written, unless there are no sections: then
// 1024 zeros.  The first 160 are also cut within their first 96 bytes
// (head, side information) and at a few random bytes: whatever lies in
// memory past the cut, the bounded reader reads zeros, and it is past the
// end exactly when beyond the cut's last bit.
TEST(NoiselessDecode, RandomStreamsRoundTripAndReadZerosPastACut) {
    std::mt19937 rng(21);
    for (int iter = 0; iter < 800 && !HasFatalFailure(); ++iter) {
        SCOPED_TRACE(iter);
        const bool pair = iter % 4 >= 2;
        Ics e[2];
        e[0] = e[1] = randomLayout(rng, iter % 2, !pair && rng() % 2 ? 3 : 2);  // a pair head refuses object type 3
        BitWriter w;
        if (pair) put(w, {{5, 4}, {1, 1}}), writeIcsInfo(w, e[0], 1), w.bits(1, 2);
        for (int i = 0; pair && i < e[0].numGroups * e[0].maxSfb; ++i) w.bits(rng() % 2, 1);
        for (int c = 0; c <= pair; ++c) writeIcs(w, e[c], rng, pair);
        const int bits = w.count(), bytes = (bits + 7) / 8;
        const Result r = decode(w.base(), 8192, e[0].sri, pair, e[0].aot);
        EXPECT_EQ(std::make_tuple(r.sts[0], r.bits, r.cpe.msMaskPresent), std::make_tuple(0, bits, pair ? 1 : 0));
        for (int c = 0; c <= pair; ++c) {
            const Ics &x = e[c];
            const ChannelInfo &i = r.info[c];
            const auto has = [&](int cb) { return static_cast<int>(std::count(x.sectCb.begin(), x.sectCb.end(), cb)); };
            EXPECT_EQ(std::vector<int>({r.sts[c + 1], i.globalGain, r.ics.maxSfb, r.ics.numWindowGroups, i.numWindows, i.pulseDataPresent, i.tnsDataPresent,
                                        i.gainControlDataPresent, r.noise[c], r.is[c], std::memcmp(&i.tnsInfo, &x.tns, sizeof x.tns)}),
                      std::vector<int>({0, x.globalGain, x.maxSfb, x.numGroups, x.shortWindows ? 8 : 1, x.pulses > 0, x.tnsPresent, 0, has(13) > 0, has(14) + has(15) > 0, 0}));
            EXPECT_EQ(std::make_tuple(std::vector<int32_t>(r.ics.windowGroupLength, r.ics.windowGroupLength + 8), std::vector<uint8_t>(r.sfbCb[c], r.sfbCb[c] + x.sfbCb.size()),
                                      std::vector<int16_t>(r.sf[c], r.sf[c] + x.sf.size()), std::vector<int8_t>(r.tns[c], r.tns[c] + x.tnsCoefs.size())),
                      std::make_tuple(std::vector<int32_t>(x.groupLen, x.groupLen + 8), x.sfbCb, x.sf, x.tnsCoefs));
            EXPECT_EQ(std::vector<int32_t>(r.coefs[c], r.coefs[c] + 1025), x.values);
        }
        for (int i = 0; iter < 160 && i <= 100; ++i) {
            const int cut = std::min(i <= 96 ? i : static_cast<int>(rng() % (bytes + 1)), bytes);
            std::vector<uint8_t> zeros(w.base(), w.base() + cut), garbage(zeros);
            zeros.resize(8192, 0x00), garbage.resize(8192, 0xFF);
            const Result x = decode(zeros.data(), 8192, e[0].sri, pair, e[0].aot), y = decode(garbage.data(), cut, e[0].sri, pair, e[0].aot);
            ASSERT_EQ(std::memcmp(&x, &y, sizeof x), 0) << "cut at byte " << cut << ", statuses " << x.sts[1] << " " << y.sts[1];
        }
    }
}

using Fields = std::vector<Field>;
Fields operator+(Fields a, const Fields &b) { return a.insert(a.end(), b.begin(), b.end()), a; }
Fields longInfo(int m, int predictor = 0) { return {{0, 4}, {m, 6}, {predictor, 1}}; }  // stream info, long window
Fields shortInfo(int m) { return {{4, 4}, {m, 4}, {0x7F, 7}}; }                         // eight short windows in one group

// Channel streams (gain 100 unless given) and pairs: the status where
// decoding stops, the bits read up to there (a row's fields but its last
// `unread` bits) and the LTP records written (bit r: record r present).  At
// 48 kHz 49 long and 14 short bands, at 8 kHz 40 long ones.
TEST(NoiselessDecode, StatusesAndFieldsWhereTheyArise) {
    const Fields g = {{100, 8}}, none = {{0, 3}};  // no pulse, TNS or gain control data
    const Fields pulses = {{1, 1}, {3, 2}, {48, 6}, {31, 5}, {0, 4}, {31, 5}, {0, 4}, {31, 5}, {0, 4}};
    const Fields esc = {{11, 4}, {1, 5}, {60, -1}, {0, 3}, {16 * 17 + 1, -12}, {0, 1}, {1, 1}};  // (16 + escape, -1)
    const Fields ltp0 = {{1, 1}, {0x100, 11}, {2, 3}}, ltp1 = {{1, 1}, {0x101, 11}, {3, 3}}, forty = {{~0u, 32}, {0xFF, 8}}, five = {{0x15, 5}};
    const auto head = [](const Fields &info) { return Fields{{5, 4}, {1, 1}} + info + Fields{{0, 2}}; };  // pair head, ms_mask_present 0
    const auto zeros = [&](int len) { return Fields{{0, 4}, {31, len < 31 ? 0 : 5}, {len % 31, 5}} + none; };  // one long codebook 0 section
    const auto sf = [&](int gain, int index) { return Fields{{gain, 8}} + longInfo(1) + Fields{{12, 4}, {1, 5}, {index, -1}}; };  // band of codebook 12
    struct Row { const char *name; Fields fields; int32_t sts; int ltp = 0, sri = 3, aot = 2; bool pair = false; int unread = 0; };
    const Row rows[] = {
        {"pulses, short windows", g + shortInfo(0) + Fields{{1, 1}}, -2}, {"gain control", g + longInfo(0) + Fields{{1, 3}}, -159},
        {"max_sfb 50", g + Fields{{0, 4}, {50, 6}}, -162}, {"short max_sfb 15", g + Fields{{4, 4}, {15, 4}}, -162},
        {"section end past max_sfb", g + longInfo(5) + Fields{{1, 4}, {6, 5}}, -2}, {"as many sections as bands", g + longInfo(2) + Fields{{0, 4}, {0, 5}} + zeros(2), 0},
        {"more sections than bands", g + longInfo(2) + Fields{{0, 4}, {0, 5}, {0, 4}, {0, 5}, {0, 4}, {0, 5}}, -2},
        {"scale factor 255", sf(255, 60) + none, 0}, {"scale factor 256", sf(255, 61), -2}, {"scale factor 0", sf(0, 60) + none, 0}, {"scale factor -1", sf(0, 59), -2},
        {"pulses up to 1023", g + longInfo(0) + pulses + Fields{{2, 5}, {0, 4}, {0, 2}}, 0}, {"a pulse at 1024", g + longInfo(0) + pulses + Fields{{3, 5}, {0, 4}}, -2},
        {"pulse start band 49", g + longInfo(0) + Fields{{1, 1}, {0, 2}, {49, 6}}, -2},
        {"escape of 70 ones", g + longInfo(1) + esc + Fields{{~0u, 32}, {~0u, 32}, {0x3F, 6}}, -2, 0, 3, 2, false, 70},
        {"shared max_sfb 41 of 40", head(longInfo(41)) + g, -162, 0, 11, 2, true}, {"shared max_sfb 51 of 40", head(longInfo(51)) + g, -162, 0, 11, 2, true},
        {"shared max_sfb 52", Fields{{5, 4}, {1, 1}, {0, 4}, {52, 6}}, -162, 0, 11, 2, true}, {"shared short max_sfb 15 of 14", head(shortInfo(15)) + g, -162, 0, 3, 2, true},
        {"low complexity: the predictor flag only", g + longInfo(5, 1) + zeros(5), 0},
        {"type 4: LTP with 40 band flags of 45", g + longInfo(45, 1) + ltp0 + forty + zeros(45), 0, 1, 3, 4},
        {"type 4: LTP with 39 band flags of 39", g + longInfo(39, 1) + ltp0 + Fields{{~0u, 32}, {0x7F, 7}} + zeros(39), 0, 1, 3, 4},
        {"type 4 pair: no LTP data", head(longInfo(5, 1) + Fields{{0, 1}, {0, 1}}) + g + zeros(5) + g + zeros(5), 0, 0, 3, 4, true},
        {"type 4 pair: LTP of both records", head(longInfo(5, 1) + ltp0 + five + ltp1 + five) + g + zeros(5) + g + zeros(5), 0, 3, 3, 4, true},
        {"type 1: reset group, 5 prediction flags", g + longInfo(5, 1) + Fields{{1, 1}, {17, 5}} + five + zeros(5), 0, 0, 3, 1},
        {"type 1: 41 prediction flags of 45", g + longInfo(45, 1) + Fields{{0, 1}} + forty + Fields{{1, 1}} + zeros(45), 0, 0, 3, 1},
    };
    for (const Row &row : rows) {
        BitWriter w;
        const int bits = put(w, row.fields) - row.unread;
        const Result r = decode(w.base(), 8192, row.sri, row.pair, row.aot);
        EXPECT_EQ(std::make_tuple(r.sts[0] ? r.sts[0] : r.sts[1] ? r.sts[1] : r.sts[2], r.bits, r.ltp[0].ltpDataPresent | r.ltp[1].ltpDataPresent << 1),
                  std::make_tuple(row.sts, bits, row.ltp)) << row.name;
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
// pair record, 4 LTP records.  The bit reading primitives (rows of
// status 0 and without bad arguments): counts outside 1..32 read 0 (n < 1)
// or the whole window (n > 32) and still move by n, backwards too; an offset
// above 7 counts as whole bytes plus the remainder; alignment moves to the
// next byte unless on one.  A code list is searched in order: an empty list
// gives -1 and no move, a length above 32 never matches, one of 32 does.
TEST(ExportedOperations, ArgumentsAndPositions) {
    using Call = std::function<int32_t(const uint8_t **, uint32_t *)>;
    const std::vector<uint8_t> cbs(128, 1), sectCb(64, 0);
    std::vector<int16_t> sf(128);
    std::vector<int32_t> out(1024), pulse(10), numSect(8);
    uint8_t sfbCb[64], cbOut[64], endOut[64]; int8_t tns[64]; int32_t noise = 0, is = 0;
    IcsInfo ics{}; ChannelInfo ch{}; ChanPairElt cpe{};
    LtpInfo l{}, *pair[2] = {&l, &l};
    std::tie(ch.samplingRateIndex, ch.numWindows, ch.icsInfo) = std::make_tuple(3, 1, &ics);
    const auto sfd = [&](int groups, int maxSfb, int nulls) -> Call {
        return [=, &sf, &cbs](auto pp, auto po) { return armACAAC_DecodeScaleFactorData(nulls & 1 ? nullptr : sf.data(), groups, 100, nulls & 2 ? nullptr : cbs.data(), maxSfb, pp, po); };
    };
    const auto spectral = [&](int ws, int groups, int sri, int maxSfb, std::vector<int32_t> grp, std::vector<int32_t> ns, int end, int nulls) -> Call {
        grp.resize(9), ns.resize(9);
        return [=, &out, &sectCb, ends = std::vector<uint8_t>(64, static_cast<uint8_t>(end))](auto pp, auto po) {
            return armACAAC_DecodeSpectralData(nulls & 1 ? nullptr : out.data(), ws, groups, sri, nulls & 8 ? nullptr : sectCb.data(), nulls & 16 ? nullptr : ends.data(),
                                               nulls & 32 ? nullptr : grp.data(), nulls & 2 ? nullptr : ns.data(), pp, po, maxSfb);
        };
    };
    const auto sect = [&](int maxSfb) -> Call { return [&, maxSfb](auto pp, auto po) { return armACAAC_DecodeSectionData(sfbCb, cbOut, endOut, numSect.data(), 0, 1, maxSfb, pp, po, &noise, &is); }; };
    const auto head = [&](int aot, int nulls) -> Call {
        return [&, aot, nulls](auto pp, auto po) { return omxACAAC_DecodeChanPairElt(pp, po, nulls & 1 ? nullptr : &ics, nulls & 2 ? nullptr : &cpe, aot, nulls & 4 ? nullptr : pair); };
    };
    const auto get = [](int n, bool look = false) -> Call { return [=](auto pp, auto po) { return int32_t((look ? armLookAheadBits : armGetBits)(pp, po, n)); }; };
    const ArmVlc32 empty[] = {{0, 0}}, list[] = {{1, 1}, {40, 0}, {32, 0x24000000u}, {3, 1}, {0, 0}};
    struct Row { Call call; int32_t sts; int bits, bad = 1; Fields data = {}; };
    const Row rows[] = {
        {get(20), 0xABCDE, 20, 1, {{0xABCDE, 20}}}, {get(32), int32_t(0x89ABCDEF), 32, 1, {{0x89ABCDEF, 32}}}, {get(1), 1, 1, 1, {{1, 1}}},
        {get(33), int32_t(0x89ABCDEF), 33, 1, {{0x89ABCDEF, 32}}}, {get(0), 0, 0, 1, {{1, 1}}}, {get(-3), 0, -3, 1, {{7, 3}}},
        {get(12, true), 0xABC, 0, 1, {{0xABC, 12}}}, {[](auto pp, auto po) { return armSkipBits(pp, po, 20), armSkipBits(pp, po, -13), 0; }, 0, 7},
        {[](auto pp, auto po) { return armByteAlign(pp, po), armByteAlign(pp, po), int32_t(armGetBits(pp, po, 8)); }, 0xA5, 9, 1, {{0, 1}, {0xA5, 8}}},
        {[](auto pp, auto po) { return *po += 8, int32_t(armGetBits(pp, po, 4)); }, 0xD, 12, 1, {{0, 8}, {0xD, 4}}},
        {[&](auto pp, auto po) { return armUnPackVLC32(pp, po, empty); }, -1, 0}, {[&](auto pp, auto po) { return armUnPackVLC32(pp, po, list); }, 2, 32, 1, {{0x24000000u, 32}}},
        {[&](auto pp, auto po) { return armACAAC_DecodeIcsInfoData(pp, po, 0, 2, 0, &ch, &ics, pair); }, 0, 11, -5},
        {[&](auto pp, auto po) { return armACAAC_DecodeLtpData(pp, po, EIGHT_SHORT_SEQUENCE, 5, &l); }, 0, 14, 0},
        {[&](auto pp, auto po) { return armACAAC_DecodePulseData(armACAAC_swbOffsetLongWindow[3], &pulse[0], &pulse[1], &pulse[2], pp, po, &pulse[6], 49); }, 0, 17, -5},
        {[&](auto pp, auto po) { return armACAAC_DecodeTNSData(2, 3, 0, tns, pp, po, 1, nullptr, nullptr, nullptr, nullptr, nullptr, &ch), 0; }, 0, 2, 0},
        {[&](auto pp, auto po) { return omxACAAC_NoiselessDecode(pp, po, sf.data(), out.data(), sfbCb, tns, &ch, 0, 2, &l, &noise, &is); }, 0, 22, -5},
        {sect(1), -2, 18, -5}, {sfd(1, 1, 0), 0, 1, -5}, {spectral(0, 1, 3, 0, {}, {0}, 0, 0), 0, 0, -5}, {head(2, 0), 0, 5, -5},
        {sect(63), 0, 23, 1, {{1, 4}, {31, 5}, {28, 5}, {2, 4}, {4, 5}}}, {sect(63), -2, 14, 1, {{1, 4}, {31, 5}, {29, 5}}}, {sect(63), -2, 14, 1, {{1, 4}, {31, 5}, {31, 5}, {1, 5}}},
        {sfd(8, 15, 0), 0, 120}, {sfd(3, 40, 0), 0, 120}, {sfd(1, 51, 0), 0, 51}, {sfd(9, 1, 0), -5, 0}, {sfd(1, 52, 0), -5, 0}, {sfd(3, 41, 0), -5, 0},
        {sfd(1, 1, 1), -5, 0}, {sfd(1, 1, 2), -5, 0}, {sfd(0, 5, 3), 0, 0}, {sfd(1, 0, 3), 0, 0},
        {head(1, 0), -5, 0}, {head(3, 0), -5, 0}, {head(4, 0), 0, 5}, {head(2, 1), -5, 0}, {head(2, 2), -5, 0}, {head(2, 4), -5, 0},
        {spectral(0, 1, 3, 49, {}, {1}, 49, 0), 0, 0}, {spectral(0, 1, 3, 50, {}, {1}, 49, 0), -5, 0}, {spectral(0, 1, 11, 40, {}, {1}, 40, 0), 0, 0},
        {spectral(0, 1, 12, 10, {}, {1}, 10, 0), -5, 0}, {spectral(0, 1, 0, 41, {}, {1}, 41, 0), 0, 0}, {spectral(0, 1, -1, 10, {}, {1}, 10, 0), -5, 0},
        {spectral(0, 1, 3, -1, {}, {0}, 0, 0), -5, 0}, {spectral(0, 2, 3, 10, {}, {1}, 10, 0), -5, 0}, {spectral(0, 1, 3, 10, {}, {-1}, 10, 0), -5, 0},
        {spectral(0, 1, 3, 10, {}, {10}, 10, 0), 0, 0}, {spectral(0, 1, 3, 10, {}, {11}, 10, 0), -5, 0}, {spectral(0, 1, 3, 10, {}, {1}, 11, 0), -5, 0},
        {spectral(0, 1, 3, 10, {}, {1}, 10, 1), -5, 0}, {spectral(0, 1, 3, 10, {}, {1}, 10, 2), -5, 0}, {spectral(0, 1, 3, 10, {}, {1}, 10, 8), -5, 0},
        {spectral(0, 1, 3, 10, {}, {1}, 10, 16), -5, 0}, {spectral(0, 1, 3, 10, {}, {0}, 10, 24), 0, 0}, {spectral(2, 1, 3, 14, {8}, {1}, 14, 0), 0, 0},
        {spectral(2, 1, 3, 15, {8}, {1}, 14, 0), -5, 0}, {spectral(2, 0, 3, 10, {}, {}, 10, 0), -5, 0}, {spectral(2, 8, 3, 10, std::vector<int32_t>(8, 1), {}, 10, 0), 0, 0},
        {spectral(2, 9, 3, 10, std::vector<int32_t>(8, 1), {}, 10, 0), -5, 0}, {spectral(2, 1, 3, 10, {8}, {1}, 10, 32), -5, 0}, {spectral(2, 2, 3, 10, {9, -1}, {}, 10, 0), -5, 0},
        {spectral(2, 1, 3, 10, {-1}, {}, 10, 0), -5, 0}, {spectral(2, 2, 3, 10, {0, 8}, {1, 1}, 10, 0), 0, 0}, {spectral(2, 2, 3, 10, {5, 4}, {}, 10, 0), -5, 0},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(&r - rows);
        BitWriter w;
        put(w, Fields{{0x55, 7}} + r.data);
        const uint8_t *p = w.base();
        uint32_t off = 7;
        const int32_t sts = r.call(&p, &off);  // then the position it leaves
        EXPECT_EQ(std::make_tuple(sts, (p - w.base()) * 8 + off - 7), std::make_tuple(r.sts, r.bits));
        for (int k = 0; r.bad != 1 && k < 4; ++k) {
            const uint8_t *const given = k == 1 ? nullptr : w.base();
            p = given, off = k == 3 ? 8 : 7;
            const int32_t bad = r.call(k == 0 ? nullptr : &p, k == 2 ? nullptr : &off);
            EXPECT_EQ(std::make_tuple(bad, p, off), std::make_tuple(r.bad, given, k == 3 ? 8u : 7u)) << k;
        }
    }
}

}  // namespace
