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

// n values from p, as ints.
template <class T>
std::vector<int32_t> vec(const T *p, size_t n) { return std::vector<int32_t>(p, p + n); }

// The byte rules of a write (the other tests write their input with
// armPackBits); rejected arguments write nothing and keep the position.
TEST(BitWriter, ByteRulesAndRejectedArguments) {
    uint8_t b[4] = {0xFF, 0xFF, 0xFF, 0xFF}, *p = b;
    uint32_t off = 3;
    // Keeps 111, writes 10, zeroes the rest of the byte.
    EXPECT_EQ(std::make_tuple(armPackBits(&p, &off, 2, 2), b[0], p, off), std::make_tuple(0, 0xF0, b, 5u));
    p = b + 1, off = 0;  // ending on a byte boundary writes 0 into the next byte
    EXPECT_EQ(std::make_tuple(armPackVLC32(&p, &off, ArmVlc32{8, 0xA5}), b[1], b[2], p, off),
              std::make_tuple(0, 0xA5, 0, b + 2, 0u));
    const std::pair<uint32_t, int> rejected[] = {{0, 0}, {3, 33}, {0, -1}, {5, INT32_MIN}, {8, 1}, {100, 4}};
    for (const auto &[o, len] : rejected) {  // bit offset, length
        SCOPED_TRACE(testing::Message() << o << " " << len);
        uint8_t d[4] = {0xC3, 0x3C, 0xA5, 0x5A};
        p = d, off = o;
        const int32_t bits = armPackBits(&p, &off, 0xFFFFFFFFu, len);
        const int32_t vlc = armPackVLC32(&p, &off, ArmVlc32{static_cast<uint8_t>(len), 0u});
        EXPECT_EQ(std::make_tuple(bits, vlc, p, off, d[0], d[1]), std::make_tuple(-5, -5, d, o, 0xC3, 0x3C));
    }
}

constexpr int kCounts[12] = {121, 81, 81, 81, 81, 81, 81, 64, 64, 169, 169, 289};
constexpr int kLongest[12] = {19, 11, 9, 16, 12, 13, 11, 12, 10, 15, 12, 12};

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
    const int cb = GetParam(), len = kLongest[cb], lav = armACAAC_lavCb[cb], uns = armACAAC_signCb[cb];
    const int m = uns ? lav + 1 : 2 * lav + 1;
    const ArmVlc32 *list = armACAAC_CodeBooks_C[cb];
    uint64_t kraft = 0, longest = 0;  // kraft in units of 2^-32
    for (int i = 0; i < kCounts[cb]; ++i) {
        ASSERT_TRUE(list[i].codeLen >= 1 && list[i].codeLen <= 32 && list[i].codeWord >> list[i].codeLen == 0) << i;
        longest = std::max<uint64_t>(longest, list[i].codeLen);
        kraft += uint64_t{1} << (32 - list[i].codeLen);
    }
    EXPECT_EQ(std::make_tuple(list[kCounts[cb]].codeLen, kraft, longest, aacd::kHuffLookup[cb].maxLen),
              std::make_tuple(uint8_t{0}, uint64_t{1} << 32, uint64_t(len), static_cast<uint32_t>(len)));
    std::mt19937 rng(1234 + cb);
    using aacd::huffValue;
    constexpr int32_t (*kValue[12])(uint32_t, int) = {nullptr,       huffValue<1>, huffValue<2>, huffValue<3>,
                                                     huffValue<4>,  huffValue<5>, huffValue<6>, huffValue<7>,
                                                     huffValue<8>,  huffValue<9>, huffValue<10>, huffValue<11>};
    const auto check = [&](uint32_t window, uint32_t offset) {
        uint8_t buf[8];  // the window at the offset, noise around it
        const uint64_t noise = (static_cast<uint64_t>(rng()) << 32) | rng();
        const uint64_t bits = (noise & ~(uint64_t{0xFFFFFFFFu} << (32 - offset))) | (uint64_t{window} << (32 - offset));
        for (int i = 0; i < 8; ++i) buf[i] = static_cast<uint8_t>(bits >> (56 - 8 * i));
        const uint8_t *p = buf;
        uint32_t off = offset;
        const int32_t idx = armUnPackVLC32(&p, &off, list);
        ASSERT_TRUE(idx >= 0 && idx < kCounts[cb] && window >> (32 - list[idx].codeLen) == list[idx].codeWord);
        const uint32_t leaf = cb == 0 ? aacd::huffLookup(aacd::kHuffLookup[0], window)
                                      : aacd::huffLookupSpectrum(aacd::kHuffLookup[cb], uint64_t{window} << 32);
        int32_t read = static_cast<int32_t>((p - buf) * 8 + off - offset);
        for (int i = cb == 0 ? 0 : cb <= 4 ? 3 : 1, rest = idx; i >= 0; --i, rest /= m) {
            const int32_t v = cb == 0 ? rest : rest % m - (uns ? 0 : lav);
            ASSERT_EQ(cb == 0 ? int32_t(aacd::huffIndex(leaf)) : kValue[cb](leaf, i), v) << window << " " << i;
            read += uns && v != 0;
        }
        ASSERT_EQ(static_cast<int32_t>(aacd::huffLength(leaf)), read) << window;
    };
    for (uint32_t pattern = 0; pattern < (1u << len); ++pattern)
        check((pattern << (32 - len)) | (static_cast<uint32_t>(rng()) >> len), pattern & 7u);
}

INSTANTIATE_TEST_SUITE_P(AllCodebooks, CodeBook, ::testing::Range(0, 12));

// A random channel stream: a layout at a random rate (grouped short windows,
// some sections of length 0) and, filled in by writeIcs, what it decodes to.
struct Ics : Channel {
    int aot = 2, pulses = 0, tnsPresent = 0;
    TnsInfo tns{};
    std::vector<int32_t> sfbCb, sf, tnsCoefs, values;
};

Ics randomLayout(std::mt19937 &rng, bool s, int aot) {
    const auto rnd = [&](int n) { return static_cast<int>(rng() % n); };
    Ics e;
    e.shortWindows = s;
    e.aot = aot;
    e.globalGain = 60 + rnd(140);
    e.sri = rnd(12);
    e.numGroups = s ? 0 : 1;
    const int bands = s ? armACAAC_numSwbShort[e.sri] : armACAAC_numSwbLong[e.sri];
    e.maxSfb = rnd(4) ? bands - rnd(3) : rnd(bands + 1);
    for (int left = 8; s && left > 0; left -= e.groupLen[e.numGroups++]) e.groupLen[e.numGroups] = 1 + rnd(left);
    for (int g = 0; g < e.numGroups; ++g)
        for (int k = 0, len = 0; k < e.maxSfb; k += len, ++e.numSect[g]) {
            len = rnd(10) == 0 && e.numSect[g] + (e.maxSfb - k) < e.maxSfb ? 0 : 1 + rnd(std::min(e.maxSfb - k, 12));
            const int cb = rnd(16);
            e.sectCb.push_back(static_cast<uint8_t>(cb));
            e.sectEnd.push_back(static_cast<uint8_t>(k + len));
            e.sfbCb.insert(e.sfbCb.end(), len, cb);
        }
    e.sfbCb.push_back(0);  // a guard: nothing is written past the last band
    return e;
}

// The stream of e (with its stream info unless common): random scale factor
// steps (scale factors kept in 0..255), pulses (long windows), TNS filters
// of random order limited as the object type and the rate require, values
// with escapes at the edges of each prefix length.
void writeIcs(BitWriter &w, Ics &e, std::mt19937 &rng, bool common) {
    const auto rnd = [&](int n) { return static_cast<int>(rng() % n); };
    const bool s = e.shortWindows;
    w.bits(e.globalGain, 8);
    if (!common) writeIcsInfo(w, e, 1);
    writeSections(w, e);
    // Scale factors, noise energies (the first as 9 bits off the gain less
    // 90) and intensity positions, each a running sum of its own steps.
    for (int sf = e.globalGain, is = 0, noise = e.globalGain - 90, first = 1, i = 0; i < int(e.sfbCb.size()); ++i) {
        const int cb = e.sfbCb[i];
        int delta = (rnd(121) - 60) / (rnd(2) ? 8 : 1), &v = cb == 13 ? noise : cb >= 14 ? is : sf;
        if (cb > 0 && cb < 13) delta = std::clamp(sf + delta, 0, 255) - sf;
        if (cb == 13 && std::exchange(first, 0)) w.bits(delta + 256, 9);
        else if (cb > 0) w.code(0, delta + 60);
        e.sf.push_back(cb == 0 ? 0 : v += delta);
    }
    const uint16_t *off = armACAAC_swbOffsetLongWindow[e.sri], *band = s ? armACAAC_swbOffsetShortWindow[e.sri] : off;
    int start = e.maxSfb ? rnd(e.maxSfb) : 0, offs[4], amps[4];
    e.pulses = !s && e.maxSfb > 0 && rnd(2) ? 1 + rnd(4) : 0;
    put(w, {{e.pulses > 0, 1}, {e.pulses - 1, e.pulses ? 2 : 0}, {start, e.pulses ? 6 : 0}});
    for (int i = 0, k = off[start]; i < e.pulses; k += offs[i++])
        put(w, {{offs[i] = std::min(rnd(32), 1023 - k), 5}, {amps[i] = rnd(16), 4}});
    const int maxOrder = e.aot == 3 ? 12 : s ? 7 : e.sri > 4 ? 20 : 12;
    w.bits(e.tnsPresent = rnd(2), 1);
    for (int win = 0; e.tnsPresent && win < (s ? 8 : 1); ++win) {
        const int nf = e.tns.tnsNumFilters[win] = rnd(2) ? 1 + rnd(s ? 1 : 3) : 0;
        const int res = e.tns.tnsCoefRes[win] = nf ? 3 + rnd(2) : 0;
        put(w, {{nf, s ? 1 : 2}, {res - 3, nf ? 1 : 0}});
        for (int f = win; f < win + nf; ++f) {
            const int order = rnd(s ? 8 : 32), lim = e.tns.tnsOrder[f] = std::min(order, maxOrder), compress = rnd(2);
            const int len = e.tns.tnsLength[f] = rnd(s ? 16 : 64), dir = e.tns.tnsDirection[f] = lim ? rnd(2) : 0;
            put(w, {{len, s ? 4 : 6}, {order, s ? 3 : 5}, {dir, lim ? 1 : 0}, {compress, lim ? 1 : 0}});
            for (int i = 0, n = res - compress; i < lim; ++i)
                w.bits(e.tnsCoefs.emplace_back(rnd(1 << n) - (1 << (n - 1))) & ((1 << n) - 1), n);
        }
    }
    w.bits(0, 1);  // no gain control data
    const auto value = [&](int cb) {  // escapes at the edges of each prefix length
        const int lo = 16 << rnd(9), escape = rnd(3) == 0 ? lo : rnd(2) ? 2 * lo - 1 : lo + rnd(lo);
        const int lav = std::min<int>(armACAAC_lavCb[cb], 15);
        const int mag = rnd(3) == 0 ? 0 : cb == 11 && rnd(4) == 0 ? escape : rnd(lav + 1);
        return rnd(2) ? mag : -mag;
    };
    for (int g = 0, sect = 0; g < e.numGroups; ++g)
        for (int i = 0, k = 0; i < e.numSect[g]; ++i, k = e.sectEnd[sect++]) {
            const int cb = e.sectCb[sect], dim = cb <= 4 ? 4 : 2, end = e.sectEnd[sect];
            for (int t = 0; t < (band[end] - band[k]) * e.groupLen[g]; t += dim) {
                int32_t v[4] = {};
                for (int d = 0; d < dim && cb > 0 && cb < 12; ++d) v[d] = value(cb);
                if (cb > 0 && cb < 12) writeTuple(w, cb, v);
                e.values.insert(e.values.end(), v, v + dim);
            }
        }
    e.values.resize(1024, s && e.maxSfb > 0 ? kUntouched : 0);
    e.values.push_back(kUntouched);  // and a guard value
    for (int i = 0, k = off[start]; i < e.pulses; ++i) {
        int32_t &x = e.values[k += offs[i]];
        x += x > 0 ? amps[i] : -amps[i];
    }
}

// Everything a channel stream, or a pair head and its two channel streams,
// decodes to; bits: the position after them; misjudged: 1 when the reader
// there does not say "past the end" exactly when it is beyond the block's
// last bit; a guard value after each spectrum.
struct Result {
    int32_t sts[3], bits, misjudged, noise[2], is[2], coefs[2][1025];
    IcsInfo ics;
    ChanPairElt cpe;
    LtpInfo ltp[2];
    ChannelInfo info[2];
    int16_t sf[2][121];
    uint8_t sfbCb[2][121];
    int8_t tns[2][64];
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
        ch.samplingRateIndex = sri;
        ch.predSfbMax = 43;
        ch.icsInfo = &r.ics;
        ch.numWindows = s ? 8 : 1;
        ch.numSwb = s ? armACAAC_numSwbShort[sri] : armACAAC_numSwbLong[sri];
        r.sts[c + 1] = aacd::noiselessDecode(pos, r.sf[c], r.coefs[c], r.sfbCb[c], r.tns[c], &ch, pair, aot, &r.ltp[c],
                                             &r.noise[c], &r.is[c]);
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
        if (pair) {  // the pair head: tag, common window, the stream info, ms_mask_present 1, random flags
            put(w, {{5, 4}, {1, 1}});
            writeIcsInfo(w, e[0], 1);
            w.bits(1, 2);
            for (int i = 0; i < e[0].numGroups * e[0].maxSfb; ++i) w.bits(rng() % 2, 1);
        }
        for (int c = 0; c <= pair; ++c) writeIcs(w, e[c], rng, pair);
        const int bits = w.count(), bytes = (bits + 7) / 8;
        const Result r = decode(w.base(), 8192, e[0].sri, pair, e[0].aot);
        EXPECT_EQ(std::make_tuple(r.sts[0], r.bits, r.cpe.msMaskPresent), std::make_tuple(0, bits, pair ? 1 : 0));
        for (int c = 0; c <= pair; ++c) {
            const Ics &x = e[c];
            const ChannelInfo &i = r.info[c];
            const auto has = [&](int cb) { return std::count(x.sectCb.begin(), x.sectCb.end(), cb) > 0; };
            const std::vector<int> got = {r.sts[c + 1], i.globalGain, r.ics.maxSfb, r.ics.numWindowGroups, i.numWindows,
                                          i.pulseDataPresent, i.tnsDataPresent, i.gainControlDataPresent, r.noise[c],
                                          r.is[c], std::memcmp(&i.tnsInfo, &x.tns, sizeof x.tns)};
            const std::vector<int> want = {0, x.globalGain, x.maxSfb, x.numGroups, x.shortWindows ? 8 : 1, x.pulses > 0,
                                           x.tnsPresent, 0, has(13), has(14) || has(15), 0};
            EXPECT_EQ(got, want);
            EXPECT_EQ(vec(r.ics.windowGroupLength, 8), vec(x.groupLen, 8));
            EXPECT_EQ(vec(r.sfbCb[c], x.sfbCb.size()), x.sfbCb);
            EXPECT_EQ(vec(r.sf[c], x.sf.size()), x.sf);
            EXPECT_EQ(vec(r.tns[c], x.tnsCoefs.size()), x.tnsCoefs);
            EXPECT_EQ(vec(r.coefs[c], 1025), x.values);
        }
        for (int i = 0; iter < 160 && i <= 100; ++i) {
            const int cut = std::min(i <= 96 ? i : static_cast<int>(rng() % (bytes + 1)), bytes);
            std::vector<uint8_t> zeros(w.base(), w.base() + cut), garbage(zeros);
            zeros.resize(8192, 0x00);
            garbage.resize(8192, 0xFF);
            const Result x = decode(zeros.data(), 8192, e[0].sri, pair, e[0].aot);
            const Result y = decode(garbage.data(), cut, e[0].sri, pair, e[0].aot);
            ASSERT_EQ(std::memcmp(&x, &y, sizeof x), 0) << "cut at " << cut << ": " << x.sts[1] << " " << y.sts[1];
        }
    }
}

using Fields = std::vector<Field>;
Fields operator+(Fields a, const Fields &b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
Fields longInfo(int m, int predictor = 0) { return {{0, 4}, {m, 6}, {predictor, 1}}; }  // stream info, long window
Fields shortInfo(int m) { return {{4, 4}, {m, 4}, {0x7F, 7}}; }  // eight short windows in one group

// Channel streams (gain 100 unless given) and pairs: the status where
// decoding stops, the bits read up to there (a row's fields but its last
// `unread` bits) and the LTP records written (bit r: record r present).  At
// 48 kHz 49 long and 14 short bands, at 8 kHz 40 long ones.
TEST(NoiselessDecode, StatusesAndFieldsWhereTheyArise) {
    const Fields g = {{100, 8}}, none = {{0, 3}};  // no pulse, TNS or gain control data
    const Fields pulses = {{1, 1}, {3, 2}, {48, 6}, {31, 5}, {0, 4}, {31, 5}, {0, 4}, {31, 5}, {0, 4}};
    const Fields esc = {{11, 4}, {1, 5}, {60, -1}, {0, 3}, {16 * 17 + 1, -12}, {0, 1}, {1, 1}};  // (16 + escape, -1)
    const Fields ltp0 = {{1, 1}, {0x100, 11}, {2, 3}}, ltp1 = {{1, 1}, {0x101, 11}, {3, 3}};
    const Fields forty = {{~0u, 32}, {0xFF, 8}}, thirtyNine = {{~0u, 32}, {0x7F, 7}}, five = {{0x15, 5}};
    // A pair head: tag, common window, the stream info, ms_mask_present 0.
    const auto head = [](const Fields &info) { return Fields{{5, 4}, {1, 1}} + info + Fields{{0, 2}}; };
    // One long section of codebook 0 over len bands, then no pulse, TNS or gain control data.
    const auto zeros = [&](int len) { return Fields{{0, 4}, {31, len < 31 ? 0 : 5}, {len % 31, 5}} + none; };
    // A band of codebook 12: the scale factor is gain + i - 60.
    const auto sf = [](int gain, int i) { return Fields{{gain, 8}} + longInfo(1) + Fields{{12, 4}, {1, 5}, {i, -1}}; };
    const Fields five0 = g + zeros(5);  // a channel of five bands of codebook 0
    struct Row { Fields fields; int32_t sts; int ltp = 0, sri = 3, aot = 2, pair = 0, unread = 0; };
    const Row rows[] = {
        {g + shortInfo(0) + Fields{{1, 1}}, -2},  // pulses with short windows
        {g + longInfo(0) + Fields{{1, 3}}, -159},  // gain control
        {g + Fields{{0, 4}, {50, 6}}, -162},  // max_sfb 50
        {g + Fields{{4, 4}, {15, 4}}, -162},  // short windows, max_sfb 15
        {g + longInfo(5) + Fields{{1, 4}, {6, 5}}, -2},  // a section ends past max_sfb
        {g + longInfo(2) + Fields{{0, 4}, {0, 5}} + zeros(2), 0},  // as many sections as bands
        {g + longInfo(2) + Fields{{0, 4}, {0, 5}, {0, 4}, {0, 5}, {0, 4}, {0, 5}}, -2},  // more sections than bands
        {sf(255, 60) + none, 0}, {sf(255, 61), -2},  // scale factors 255 and 256
        {sf(0, 60) + none, 0}, {sf(0, 59), -2},  // scale factors 0 and -1
        {g + longInfo(0) + pulses + Fields{{2, 5}, {0, 4}, {0, 2}}, 0},  // pulses up to line 1023
        {g + longInfo(0) + pulses + Fields{{3, 5}, {0, 4}}, -2},  // a pulse at 1024
        {g + longInfo(0) + Fields{{1, 1}, {0, 2}, {49, 6}}, -2},  // pulses from band 49
        {g + longInfo(1) + esc + Fields{{~0u, 32}, {~0u, 32}, {0x3F, 6}}, -2, 0, 3, 2, 0, 70},  // an escape of 70 ones
        // Pair heads: shared max_sfb 41 and 51 of 40 bands, 52, 15 of 14 short ones.
        {head(longInfo(41)) + g, -162, 0, 11, 2, 1},
        {head(longInfo(51)) + g, -162, 0, 11, 2, 1},
        {Fields{{5, 4}, {1, 1}, {0, 4}, {52, 6}}, -162, 0, 11, 2, 1},
        {head(shortInfo(15)) + g, -162, 0, 3, 2, 1},
        {g + longInfo(5, 1) + zeros(5), 0},  // low complexity: the predictor flag only
        // Type 4: LTP with 40 band flags of 45, 39 of 39; pairs without LTP data and with both records.
        {g + longInfo(45, 1) + ltp0 + forty + zeros(45), 0, 1, 3, 4},
        {g + longInfo(39, 1) + ltp0 + thirtyNine + zeros(39), 0, 1, 3, 4},
        {head(longInfo(5, 1) + Fields{{0, 1}, {0, 1}}) + five0 + five0, 0, 0, 3, 4, 1},
        {head(longInfo(5, 1) + ltp0 + five + ltp1 + five) + five0 + five0, 0, 3, 3, 4, 1},
        // Type 1: reset group and 5 prediction flags, 41 prediction flags of 45.
        {g + longInfo(5, 1) + Fields{{1, 1}, {17, 5}} + five + zeros(5), 0, 0, 3, 1},
        {g + longInfo(45, 1) + Fields{{0, 1}} + forty + Fields{{1, 1}} + zeros(45), 0, 0, 3, 1},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(&row - rows);
        BitWriter w;
        const int bits = put(w, row.fields) - row.unread;
        const Result r = decode(w.base(), 8192, row.sri, row.pair, row.aot);
        const int32_t sts = r.sts[0] ? r.sts[0] : r.sts[1] ? r.sts[1] : r.sts[2];
        const int ltp = r.ltp[0].ltpDataPresent | r.ltp[1].ltpDataPresent << 1;
        EXPECT_EQ(std::make_tuple(sts, r.bits, ltp), std::make_tuple(row.sts, bits, row.ltp));
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
    const std::vector<int32_t> ones(8, 1);
    int16_t sf[128] = {};
    int32_t out[1024] = {}, pl[10] = {}, numSect[8] = {}, pns = 0, is = 0, *const no = nullptr;  // pl: pulse data
    uint8_t sfbCb[64], cbOut[64], endOut[64];
    int8_t tns[64];
    IcsInfo ics{};
    ChannelInfo ch{};
    ChanPairElt cpe{};
    LtpInfo l{}, *pair[2] = {&l, &l};
    ch.samplingRateIndex = 3;
    ch.numWindows = 1;
    ch.icsInfo = &ics;
    const uint16_t *swb = armACAAC_swbOffsetLongWindow[3];
    const ArmVlc32 empty[] = {{0, 0}}, list[] = {{1, 1}, {40, 0}, {32, 0x24000000u}, {3, 1}, {0, 0}};
    const auto sfd = [&](int groups, int maxSfb, int nulls) -> Call {
        int16_t *const scale = nulls & 1 ? nullptr : sf;
        const uint8_t *const books = nulls & 2 ? nullptr : cbs.data();
        return [=](auto p, auto o) { return armACAAC_DecodeScaleFactorData(scale, groups, 100, books, maxSfb, p, o); };
    };
    struct Spectral { int ws, groups, sri, maxSfb; std::vector<int32_t> grp, ns; int end, nulls = 0; };
    const auto spectral = [&](Spectral s) -> Call {
        s.grp.resize(9), s.ns.resize(9);
        return [=, &out, &sectCb, ends = std::vector<uint8_t>(64, static_cast<uint8_t>(s.end))](auto p, auto o) {
            const auto opt = [&](int bit, auto *ptr) { return s.nulls & bit ? nullptr : ptr; };
            return armACAAC_DecodeSpectralData(opt(1, out), s.ws, s.groups, s.sri, opt(8, sectCb.data()),
                                               opt(16, ends.data()), opt(32, s.grp.data()), opt(2, s.ns.data()),
                                               p, o, s.maxSfb);
        };
    };
    const auto sect = [&](int maxSfb) -> Call {
        return [&, maxSfb](auto p, auto o) {
            return armACAAC_DecodeSectionData(sfbCb, cbOut, endOut, numSect, 0, 1, maxSfb, p, o, &pns, &is);
        };
    };
    const auto head = [&](int aot, int nulls) -> Call {
        IcsInfo *const info = nulls & 1 ? nullptr : &ics;
        ChanPairElt *const elt = nulls & 2 ? nullptr : &cpe;
        LtpInfo **const ltp = nulls & 4 ? nullptr : pair;
        return [=](auto p, auto o) { return omxACAAC_DecodeChanPairElt(p, o, info, elt, aot, ltp); };
    };
    const auto get = [](int n, bool look = false) -> Call {
        return [=](auto p, auto o) { return int32_t((look ? armLookAheadBits : armGetBits)(p, o, n)); };
    };
    struct Row { Call call; int32_t sts; int bits, bad = 1; Fields data = {}; };
    const Row rows[] = {
        {get(1), 1, 1, 1, {{1, 1}}},
        {get(20), 0xABCDE, 20, 1, {{0xABCDE, 20}}},
        {get(32), int32_t(0x89ABCDEF), 32, 1, {{0x89ABCDEF, 32}}},
        {get(33), int32_t(0x89ABCDEF), 33, 1, {{0x89ABCDEF, 32}}},
        {get(0), 0, 0, 1, {{1, 1}}},
        {get(-3), 0, -3, 1, {{7, 3}}},
        {get(12, true), 0xABC, 0, 1, {{0xABC, 12}}},
        {[](auto p, auto o) { return armSkipBits(p, o, 20), armSkipBits(p, o, -13), 0; }, 0, 7},
        {[](auto p, auto o) { return armByteAlign(p, o), armByteAlign(p, o), int32_t(armGetBits(p, o, 8)); },
         0xA5, 9, 1, {{0, 1}, {0xA5, 8}}},
        {[](auto p, auto o) { return *o += 8, int32_t(armGetBits(p, o, 4)); }, 0xD, 12, 1, {{0, 8}, {0xD, 4}}},
        {[&](auto p, auto o) { return armUnPackVLC32(p, o, empty); }, -1, 0},
        {[&](auto p, auto o) { return armUnPackVLC32(p, o, list); }, 2, 32, 1, {{0x24000000u, 32}}},
        {[&](auto p, auto o) { return armACAAC_DecodeIcsInfoData(p, o, 0, 2, 0, &ch, &ics, pair); }, 0, 11, -5},
        {[&](auto p, auto o) { return armACAAC_DecodeLtpData(p, o, EIGHT_SHORT_SEQUENCE, 5, &l); }, 0, 14, 0},
        {[&](auto p, auto o) { return armACAAC_DecodePulseData(swb, pl, pl + 1, pl + 2, p, o, pl + 6, 49); },
         0, 17, -5},
        {[&](auto p, auto o) { return armACAAC_DecodeTNSData(2, 3, 0, tns, p, o, 1, no, no, no, no, no, &ch), 0; },
         0, 2, 0},
        {[&](auto p, auto o) { return omxACAAC_NoiselessDecode(p, o, sf, out, sfbCb, tns, &ch, 0, 2, &l, &pns, &is); },
         0, 22, -5},
        {sect(1), -2, 18, -5},
        {sfd(1, 1, 0), 0, 1, -5},
        {spectral({0, 1, 3, 0, {}, {0}, 0}), 0, 0, -5},
        {head(2, 0), 0, 5, -5},
        // Sections: a length of 31 continues, the lengths end within max_sfb.
        {sect(63), 0, 23, 1, {{1, 4}, {31, 5}, {28, 5}, {2, 4}, {4, 5}}},
        {sect(63), -2, 14, 1, {{1, 4}, {31, 5}, {29, 5}}},
        {sect(63), -2, 14, 1, {{1, 4}, {31, 5}, {31, 5}, {1, 5}}},
        // Scale factors: up to 8 groups, 120 bands, 51 long or 15 short ones a group; no arrays needed to read none.
        {sfd(8, 15, 0), 0, 120}, {sfd(9, 1, 0), -5, 0},
        {sfd(3, 40, 0), 0, 120}, {sfd(3, 41, 0), -5, 0},
        {sfd(1, 51, 0), 0, 51}, {sfd(1, 52, 0), -5, 0},
        {sfd(1, 1, 1), -5, 0}, {sfd(1, 1, 2), -5, 0},
        {sfd(0, 5, 3), 0, 0}, {sfd(1, 0, 3), 0, 0},
        // Pair heads: object types 2 and 4 only, every reference needed.
        {head(1, 0), -5, 0}, {head(3, 0), -5, 0}, {head(4, 0), 0, 5},
        {head(2, 1), -5, 0}, {head(2, 2), -5, 0}, {head(2, 4), -5, 0},
        // Spectral data, long windows: the rate's bands, one group, up to max_sfb sections ending within it.
        {spectral({0, 1, 3, 49, {}, {1}, 49}), 0, 0}, {spectral({0, 1, 3, 50, {}, {1}, 49}), -5, 0},
        {spectral({0, 1, 11, 40, {}, {1}, 40}), 0, 0}, {spectral({0, 1, 12, 10, {}, {1}, 10}), -5, 0},
        {spectral({0, 1, 0, 41, {}, {1}, 41}), 0, 0}, {spectral({0, 1, -1, 10, {}, {1}, 10}), -5, 0},
        {spectral({0, 1, 3, -1, {}, {0}, 0}), -5, 0}, {spectral({0, 2, 3, 10, {}, {1}, 10}), -5, 0},
        {spectral({0, 1, 3, 10, {}, {10}, 10}), 0, 0}, {spectral({0, 1, 3, 10, {}, {11}, 10}), -5, 0},
        {spectral({0, 1, 3, 10, {}, {-1}, 10}), -5, 0}, {spectral({0, 1, 3, 10, {}, {1}, 11}), -5, 0},
        // Null arguments: every one refused, but the section arrays when there are no sections.
        {spectral({0, 1, 3, 10, {}, {1}, 10, 1}), -5, 0}, {spectral({0, 1, 3, 10, {}, {1}, 10, 2}), -5, 0},
        {spectral({0, 1, 3, 10, {}, {1}, 10, 8}), -5, 0}, {spectral({0, 1, 3, 10, {}, {1}, 10, 16}), -5, 0},
        {spectral({0, 1, 3, 10, {}, {0}, 10, 24}), 0, 0},
        // Short windows: 1 to 8 groups of lengths 1 to 8 summing to 8.
        {spectral({2, 1, 3, 14, {8}, {1}, 14}), 0, 0}, {spectral({2, 1, 3, 15, {8}, {1}, 14}), -5, 0},
        {spectral({2, 8, 3, 10, ones, {}, 10}), 0, 0}, {spectral({2, 9, 3, 10, ones, {}, 10}), -5, 0},
        {spectral({2, 2, 3, 10, {0, 8}, {1, 1}, 10}), 0, 0}, {spectral({2, 2, 3, 10, {5, 4}, {}, 10}), -5, 0},
        {spectral({2, 0, 3, 10, {}, {}, 10}), -5, 0}, {spectral({2, 1, 3, 10, {-1}, {}, 10}), -5, 0},
        {spectral({2, 2, 3, 10, {9, -1}, {}, 10}), -5, 0}, {spectral({2, 1, 3, 10, {8}, {1}, 10, 32}), -5, 0},
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
