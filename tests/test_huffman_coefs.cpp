// Scale factor and spectral data decoding.  The test-side encoder writes
// random valid channels of each codebook (signs, escapes of every length up
// to 8191, long and grouped short windows, intensity and noise bands);
// decoding must give back exactly what was written and consume exactly its
// bits.  Known bit patterns and each failure status follow.  (Codebooks 0
// and 12 to 15 among others: the channel round trips of test_noiseless.)
#include <gtest/gtest.h>

#include "omxdl/ac/armACAAC.h"
#include "omxdl/ac/armACAAC_Bounded.h"

#include "channel_encoder.h"

namespace {

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

// ---------------------------------------------------------------- round trips
class SingleCodebook : public ::testing::TestWithParam<std::tuple<int, bool>> {};

TEST_P(SingleCodebook, RoundTrip) {
    const auto [cb, shortWindows] = GetParam();
    std::mt19937 rng(1000 + cb * 2 + shortWindows);
    for (int rep = 0; rep < 30 && !HasFatalFailure(); ++rep) {
        Channel ch = randomLayout(rng, shortWindows, {cb});
        BitWriter w;
        writeScaleFactors(w, ch, rng);
        const int sfBits = w.count();
        writeSpectrum(w, ch, rng);
        const int allBits = w.count();
        w.bits(0x2D, 7);  // whatever follows must not be read
        BitRef pos = w.ref();
        std::vector<int16_t> sf(120, 0x1234);
        ASSERT_EQ(armACAAC_DecodeScaleFactorData(sf.data(), ch.numGroups, ch.globalGain, ch.sfbCb.data(), ch.maxSfb,
                                                 &pos.byte, &pos.offset), 0);
        ASSERT_EQ(bitsFrom(w.ref(), pos), sfBits);
        for (size_t b = 0; b < 120; ++b) ASSERT_EQ(sf[b], b < ch.sf.size() ? ch.sf[b] : 0x1234) << b;
        std::vector<int32_t> out;
        ASSERT_EQ(decodeSpectrum(ch, pos, out), 0);
        ASSERT_EQ(bitsFrom(w.ref(), pos), allBits);
        // After the last short-window group nothing is written.
        for (size_t i = 0; i < 1024; ++i) ASSERT_EQ(out[i], i < ch.values.size() ? ch.values[i] : kUntouched) << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Codebooks1To11, SingleCodebook, ::testing::Combine(::testing::Range(1, 12), ::testing::Bool()));

// ---------------------------------------------------------------- known cases
// A field to write: a code word of codebook cb when n == 0, else n raw bits.
struct Item { int cb; uint32_t v; int n; };
void put(BitWriter &w, const std::vector<Item> &items) {
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
        put(w, c.items);
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
        put(w, c.items);
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
        put(w, {{11, 3, 0}, {0, 1, 1}, {11, 16 * 17 + 1, 0}, {0, 0, 1}, {0, 1, 1}});  // (0, -3), (16, -1)
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
    grpLen[0] = 1;
    numSect[0] = 11;
    EXPECT_EQ(run(out.data(), 0, 1, 3, 10, &pos), -5);   // more sections than bands
    numSect[0] = 2;
    EXPECT_EQ(bitsFrom(w.ref(), pos), 0);
    EXPECT_EQ(out, std::vector<int32_t>(1024, kUntouched));
    EXPECT_EQ(run(out.data(), 0, 1, 3, 10, &pos), -5);   // second section ends past maxSfb
}

// A truncated block: the bounded position reads zero bits past its end and
// the decoders stop after their sections, touching nothing beyond the input.
TEST(BoundedInput, TruncatedBlockReadsNothingPastTheEnd) {
    const std::vector<uint8_t> input = {0xFF, 0xFF, 0xFF};  // heap, exact size
    const Channel ch = longChannel(11, 49);
    aacd::BitReader pos = aacd::bitReaderAt(input.data(), static_cast<uint32_t>(input.size()));
    std::vector<int32_t> out(1024);
    EXPECT_EQ(aacd::decodeSpectralData(out.data(), 0, 1, 3, ch.sectCb.data(), ch.sectEnd.data(), ch.groupLen,
                                       ch.numSect, &pos, 49), 0);
    EXPECT_GT(aacd::bitIndex(pos), 8u * input.size());
    const std::vector<uint8_t> cbs(49, 11);
    std::vector<int16_t> sf(49);
    pos = aacd::bitReaderAt(input.data(), static_cast<uint32_t>(input.size()));
    EXPECT_EQ(aacd::decodeScaleFactorData(sf.data(), 1, 100, cbs.data(), 49, &pos), 0);
    EXPECT_EQ(sf[48], sf[47]) << "zero bits are the 1-bit code of difference 0";
    EXPECT_GT(aacd::bitIndex(pos), 8u * input.size());
}

}  // namespace
