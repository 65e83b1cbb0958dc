// Scale factor and spectral data decoding: a test-side encoder built from
// armPackBits/armPackVLC32 writes random valid channels (every spectrum
// codebook, signs, escapes up to 8191, long windows and grouped short
// windows, scale factors with intensity and noise bands); decoding must give
// back exactly what was written and consume exactly the bits written.  Known
// cases and each failure status follow.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <vector>

#include "omxdl/ac/armACAAC.h"

#include "channel_encoder.h"

namespace {


int32_t decodeSpectrum(const Channel &ch, ArmBitPosition &pos, std::vector<int32_t> &out) {
    out.assign(1024, kUntouched);
    return armACAAC_DecodeSpectralData(out.data(), ch.shortWindows ? 2 : 0, ch.numGroups, ch.sri,
                                       ch.sectCb.data(), ch.sectEnd.data(), ch.groupLen,
                                       ch.numSect, &pos, ch.maxSfb);
}

void checkRoundTrip(Channel &ch, std::mt19937 &rng) {
    BitWriter w;
    writeScaleFactors(w, ch, rng);
    const int sfBits = w.count();
    writeSpectrum(w, ch, rng);
    const int allBits = w.count();
    w.bits(0x2D, 7);  // whatever follows must not be read

    ArmBitPosition pos = w.start();
    const ArmBitPosition start = pos;
    std::vector<int16_t> sf(120, 0x1234);
    ASSERT_EQ(armACAAC_DecodeScaleFactorData(sf.data(), ch.numGroups, ch.globalGain,
                                             ch.sfbCb.data(), ch.maxSfb, &pos),
              0);
    ASSERT_EQ(bitsFrom(start, pos), sfBits);
    for (size_t b = 0; b < ch.sf.size(); ++b) ASSERT_EQ(sf[b], ch.sf[b]) << "band " << b;
    EXPECT_EQ(sf[ch.sf.size() < 120 ? ch.sf.size() : 119], ch.sf.size() < 120 ? 0x1234 : ch.sf[119]);

    std::vector<int32_t> out;
    ASSERT_EQ(decodeSpectrum(ch, pos, out), 0);
    ASSERT_EQ(bitsFrom(start, pos), allBits);
    for (size_t i = 0; i < ch.values.size(); ++i) ASSERT_EQ(out[i], ch.values[i]) << "value " << i;
    for (size_t i = ch.values.size(); i < 1024; ++i) ASSERT_EQ(out[i], kUntouched) << "value " << i;
}

const std::vector<int> kAllCodebooks = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};

// ---------------------------------------------------------------- round trips
class SingleCodebook : public ::testing::TestWithParam<std::tuple<int, bool>> {};

TEST_P(SingleCodebook, RoundTrip) {
    const auto [cb, shortWindows] = GetParam();
    std::mt19937 rng(1000 + cb * 2 + shortWindows);
    for (int rep = 0; rep < 30; ++rep) {
        Channel ch = randomLayout(rng, shortWindows, {cb});
        checkRoundTrip(ch, rng);
        if (HasFatalFailure()) return;
    }
}

INSTANTIATE_TEST_SUITE_P(Codebooks1To11, SingleCodebook,
                         ::testing::Combine(::testing::Range(1, 12), ::testing::Bool()));

TEST(SpectralRoundTrip, MixedCodebooksLongAndShort) {
    std::mt19937 rng(42);
    for (int rep = 0; rep < 400; ++rep) {
        Channel ch = randomLayout(rng, rep % 2 == 1, kAllCodebooks);
        checkRoundTrip(ch, rng);
        if (HasFatalFailure()) return;
    }
}

TEST(SpectralRoundTrip, EveryEscapeLengthAndBothExtremes) {
    // Long window at 48 kHz, one codebook-11 section over all 49 bands:
    // 1024 values holding every magnitude 0..15, escapes 16..8191 at every
    // prefix length and both signs.
    Channel ch;
    ch.sri = 3;
    ch.maxSfb = 49;
    ch.sectCb = {11};
    ch.sectEnd = {49};
    ch.numSect[0] = 1;
    ch.sfbCb.assign(49, 11);
    std::vector<int32_t> v;
    for (int m = 0; m < 16; ++m) v.push_back(m % 2 ? -m : m);
    for (int n = 0; n <= 8; ++n) {
        const int lo = 1 << (n + 4);
        for (const int m : {lo, lo + 1, 2 * lo - 2, 2 * lo - 1}) {
            v.push_back(m);
            v.push_back(-m);
        }
    }
    v.push_back(8191);
    v.push_back(-8191);
    v.resize(1024, 16);
    BitWriter w;
    for (size_t i = 0; i < v.size(); i += 2) writeTuple(w, 11, &v[i]);
    ch.values = v;
    ArmBitPosition pos = w.start();
    std::vector<int32_t> out;
    ASSERT_EQ(decodeSpectrum(ch, pos, out), 0);
    EXPECT_EQ(bitsFrom(w.start(), pos), w.count());
    EXPECT_EQ(out, v);
}

// ---------------------------------------------------------------- known cases
struct Decoded {
    int32_t status;
    std::vector<int32_t> values;
    int bits;
};

// A long window at 48 kHz with one section of codebook cb over band 0
// (4 values), decoding the given bits.
Decoded decodeBand0(int cb, BitWriter &w) {
    Channel ch;
    ch.sri = 3;
    ch.maxSfb = 1;
    ch.sectCb = {static_cast<uint8_t>(cb)};
    ch.sectEnd = {1};
    ch.numSect[0] = 1;
    ArmBitPosition pos = w.start();
    std::vector<int32_t> out;
    Decoded d;
    d.status = decodeSpectrum(ch, pos, out);
    d.values.assign(out.begin(), out.begin() + 4);
    d.bits = bitsFrom(w.start(), pos);
    return d;
}

TEST(SpectralKnown, QuadCodebooks) {
    struct Case {
        int cb, index;
        std::vector<uint32_t> signs;
        std::vector<int32_t> expect;
    };
    const Case cases[] = {
        {1, 40, {}, {0, 0, 0, 0}},
        {1, 0, {}, {-1, -1, -1, -1}},
        {1, 80, {}, {1, 1, 1, 1}},
        {2, 41, {}, {0, 0, 0, 1}},
        {3, 80, {0, 1, 1, 0}, {2, -2, -2, 2}},
        {3, 0, {}, {0, 0, 0, 0}},
        {4, 5, {1, 0}, {0, 0, -1, 2}},
    };
    for (const Case &c : cases) {
        BitWriter w;
        w.code(c.cb, c.index);
        for (const uint32_t s : c.signs) w.bits(s, 1);
        w.bits(0xFFFF, 16);  // following bits
        const Decoded d = decodeBand0(c.cb, w);
        EXPECT_EQ(d.status, 0);
        EXPECT_EQ(d.values, c.expect) << "codebook " << c.cb << " index " << c.index;
        EXPECT_EQ(d.bits, armACAAC_CodeBooks_C[c.cb][c.index].codeLen + static_cast<int>(c.signs.size()));
    }
}

TEST(SpectralKnown, EscapePairOfCodebook11) {
    // index 288: y = z = 16; sign bits 0, 1; escapes "0"+0011 and "10"+00111.
    BitWriter w;
    w.code(11, 288);
    w.bits(0, 1);
    w.bits(1, 1);
    w.bits(0b0, 1);
    w.bits(3, 4);
    w.bits(0b10, 2);
    w.bits(7, 5);
    w.code(11, 0);  // second pair: (0, 0)
    const Decoded d = decodeBand0(11, w);
    EXPECT_EQ(d.status, 0);
    EXPECT_EQ(d.values, (std::vector<int32_t>{19, -39, 0, 0}));
    EXPECT_EQ(d.bits, w.count());
}

TEST(SpectralKnown, Codebook11IndexSixteenReadsOneSignAndOneEscape) {
    BitWriter w;
    w.code(11, 16);  // y = 0, z = 16
    w.bits(1, 1);    // sign of z
    w.bits(0, 1);
    w.bits(15, 4);  // 31
    w.code(11, 17 * 3 + 5);
    w.bits(0, 1);
    w.bits(1, 1);
    const Decoded d = decodeBand0(11, w);
    EXPECT_EQ(d.status, 0);
    EXPECT_EQ(d.values, (std::vector<int32_t>{0, -31, 3, -5}));
    EXPECT_EQ(d.bits, w.count());
}

TEST(SpectralKnown, ZeroCodebooksReadNothing) {
    // Codebook 13 over bands 10..19 of a long window, the rest codebook 0.
    for (const int cb : {0, 12, 13, 14, 15}) {
        Channel ch;
        ch.sri = 3;
        ch.maxSfb = 20;
        ch.sectCb = {0, static_cast<uint8_t>(cb)};
        ch.sectEnd = {10, 20};
        ch.numSect[0] = 2;
        BitWriter w;
        w.bits(0xFFFFFFFFu, 32);
        ArmBitPosition pos = w.start();
        std::vector<int32_t> out;
        ASSERT_EQ(decodeSpectrum(ch, pos, out), 0);
        EXPECT_EQ(bitsFrom(w.start(), pos), 0);
        EXPECT_EQ(out, std::vector<int32_t>(1024, 0));
    }
}

TEST(SpectralKnown, LongWindowWithoutBandsWritesZeros) {
    Channel ch;
    ch.maxSfb = 0;
    BitWriter w;
    w.bits(0xFFFFFFFFu, 32);
    ArmBitPosition pos = w.start();
    std::vector<int32_t> out;
    ASSERT_EQ(decodeSpectrum(ch, pos, out), 0);
    EXPECT_EQ(bitsFrom(w.start(), pos), 0);
    EXPECT_EQ(out, std::vector<int32_t>(1024, 0));
}

TEST(SpectralKnown, ShortGroupsFollowEachOther) {
    // 48 kHz, groups of 4 and 4 windows, maxSfb 12 (short offset[12] = 96).
    Channel ch;
    ch.shortWindows = true;
    ch.sri = 3;
    ch.maxSfb = 12;
    ch.numGroups = 2;
    ch.groupLen[0] = 4;
    ch.groupLen[1] = 4;
    ch.sectCb = {1, 1};
    ch.sectEnd = {12, 12};
    ch.numSect[0] = 1;
    ch.numSect[1] = 1;
    ASSERT_EQ(armACAAC_swbOffsetShortWindow[3][12], 96);
    BitWriter w;
    for (int t = 0; t < 96; ++t) w.code(1, 80);  // (1, 1, 1, 1)
    for (int t = 0; t < 96; ++t) w.code(1, 0);   // (-1, -1, -1, -1)
    ArmBitPosition pos = w.start();
    std::vector<int32_t> out;
    ASSERT_EQ(decodeSpectrum(ch, pos, out), 0);
    EXPECT_EQ(bitsFrom(w.start(), pos), w.count());
    for (int i = 0; i < 384; ++i) ASSERT_EQ(out[i], 1) << i;
    for (int i = 384; i < 768; ++i) ASSERT_EQ(out[i], -1) << i;
    for (int i = 768; i < 1024; ++i) ASSERT_EQ(out[i], kUntouched) << i;
}

TEST(ScaleFactorKnown, RunningValuesPerCodebook) {
    // Global gain 100; codebooks 1, 1, 13, 13, 14, 0, 12 with indices 62, 58,
    // (raw 300), 61, 55, -, 63.
    const uint8_t cbs[] = {1, 1, 13, 13, 14, 0, 12};
    BitWriter w;
    w.code(0, 62);
    w.code(0, 58);
    w.bits(300, 9);
    w.code(0, 61);
    w.code(0, 55);
    w.code(0, 63);
    ArmBitPosition pos = w.start();
    int16_t sf[7] = {};
    ASSERT_EQ(armACAAC_DecodeScaleFactorData(sf, 1, 100, cbs, 7, &pos), 0);
    EXPECT_EQ(std::vector<int16_t>(sf, sf + 7), (std::vector<int16_t>{102, 100, 54, 55, -5, 0, 103}));
    EXPECT_EQ(bitsFrom(w.start(), pos), w.count());
}

TEST(ScaleFactorKnown, FirstNoiseBandIsPerCallNotPerGroup) {
    // Two groups of two noise bands: only the very first reads 9 raw bits.
    const uint8_t cbs[] = {13, 13, 13, 13};
    BitWriter w;
    w.bits(256, 9);
    w.code(0, 61);
    w.code(0, 59);
    w.code(0, 70);
    ArmBitPosition pos = w.start();
    int16_t sf[4] = {};
    ASSERT_EQ(armACAAC_DecodeScaleFactorData(sf, 2, 90, cbs, 2, &pos), 0);
    EXPECT_EQ(std::vector<int16_t>(sf, sf + 4), (std::vector<int16_t>{0, 1, 0, 10}));
    EXPECT_EQ(bitsFrom(w.start(), pos), w.count());
}

TEST(ScaleFactorKnown, NoBandsReadNothing) {
    const uint8_t cbs[1] = {1};
    BitWriter w;
    w.bits(0, 32);
    for (const auto &[groups, bands] : {std::pair{1, 0}, std::pair{0, 5}}) {
        ArmBitPosition pos = w.start();
        int16_t sf[1] = {77};
        EXPECT_EQ(armACAAC_DecodeScaleFactorData(sf, groups, 100, cbs, bands, &pos), 0);
        EXPECT_EQ(bitsFrom(w.start(), pos), 0);
        EXPECT_EQ(sf[0], 77);
    }
}

// ---------------------------------------------------------------- failures
TEST(ScaleFactorFailure, ValueLeavingZeroTo255) {
    struct Case {
        int gain;
        std::vector<int> indices;
        size_t good;  // outputs written before the failure
    };
    const Case cases[] = {
        {250, {62, 63, 61}, 2},   // 252, 255, 256
        {5, {58, 57, 59}, 2},     // 3, 0, -1
        {255, {120}, 0},          // 315
        {0, {59}, 0},             // -1
    };
    for (const Case &c : cases) {
        const std::vector<uint8_t> cbs(c.indices.size(), 5);
        BitWriter w;
        for (const int i : c.indices) w.code(0, i);
        ArmBitPosition pos = w.start();
        std::vector<int16_t> sf(c.indices.size(), 0x777);
        EXPECT_EQ(armACAAC_DecodeScaleFactorData(sf.data(), 1, c.gain, cbs.data(),
                                                 static_cast<int32_t>(cbs.size()), &pos),
                  -2);
        for (size_t b = c.good; b < sf.size(); ++b) EXPECT_EQ(sf[b], 0x777) << "not stored";
        if (c.good > 0) {
            EXPECT_NE(sf[c.good - 1], 0x777);
        }
    }
    // Intensity positions and noise energies have no such bound.
    const uint8_t cbs[] = {14, 14, 13};
    BitWriter w;
    w.code(0, 0);
    w.code(0, 0);
    w.bits(0, 9);
    ArmBitPosition pos = w.start();
    int16_t sf[3];
    EXPECT_EQ(armACAAC_DecodeScaleFactorData(sf, 1, 10, cbs, 3, &pos), 0);
    EXPECT_EQ(std::vector<int16_t>(sf, sf + 3), (std::vector<int16_t>{-60, -120, -336}));
}

TEST(ScaleFactorFailure, BadArguments) {
    uint8_t cbs[120] = {};
    int16_t sf[120];
    BitWriter w;
    ArmBitPosition pos = w.start();
    EXPECT_EQ(armACAAC_DecodeScaleFactorData(nullptr, 1, 100, cbs, 1, &pos), -5);
    EXPECT_EQ(armACAAC_DecodeScaleFactorData(sf, 1, 100, nullptr, 1, &pos), -5);
    EXPECT_EQ(armACAAC_DecodeScaleFactorData(sf, 1, 100, cbs, 1, nullptr), -5);
    EXPECT_EQ(armACAAC_DecodeScaleFactorData(sf, 9, 100, cbs, 1, &pos), -5);
    EXPECT_EQ(armACAAC_DecodeScaleFactorData(sf, 1, 100, cbs, 52, &pos), -5);
    EXPECT_EQ(armACAAC_DecodeScaleFactorData(sf, 3, 100, cbs, 41, &pos), -5);
    EXPECT_EQ(armACAAC_DecodeScaleFactorData(sf, 8, 100, cbs, 15, &pos), 0);
}

TEST(SpectralFailure, EscapePrefixOfNineOnes) {
    for (const int ones : {8, 9, 20}) {
        BitWriter w;
        w.code(11, 3);       // (0, 3)
        w.bits(1, 1);
        w.code(11, 16 * 17 + 1);  // (16, 1)
        w.bits(0, 1);
        w.bits(1, 1);
        const int before = w.count();
        for (int i = 0; i < ones; ++i) w.bits(1, 1);
        w.bits(0, 1);
        w.bits(0, 12);
        const Decoded d = decodeBand0(11, w);
        if (ones == 8) {
            EXPECT_EQ(d.status, 0);
            EXPECT_EQ(d.values, (std::vector<int32_t>{0, -3, 4096, -1}));
        } else {
            EXPECT_EQ(d.status, -2);
            EXPECT_EQ(d.values[0], 0);
            EXPECT_EQ(d.values[1], -3);
            EXPECT_EQ(d.values[2], kUntouched);
            EXPECT_EQ(d.bits, before);
        }
    }
}

TEST(SpectralFailure, BadArguments) {
    const uint8_t sectCb[2] = {1, 1};
    const uint8_t sectEnd[2] = {5, 50};
    int32_t grpLen[8] = {1, 0, 0, 0, 0, 0, 0, 0};
    int32_t numSect[8] = {1, 0, 0, 0, 0, 0, 0, 0};
    std::vector<int32_t> out(1024, kUntouched);
    BitWriter w;
    ArmBitPosition pos = w.start();
    auto run = [&](int32_t *o, int ws, int groups, int sri, int maxSfb) {
        return armACAAC_DecodeSpectralData(o, ws, groups, sri, sectCb, sectEnd, grpLen, numSect,
                                           &pos, maxSfb);
    };
    EXPECT_EQ(run(nullptr, 0, 1, 3, 10), -5);
    EXPECT_EQ(armACAAC_DecodeSpectralData(out.data(), 0, 1, 3, sectCb, sectEnd, grpLen, numSect,
                                          nullptr, 10),
              -5);
    EXPECT_EQ(run(out.data(), 0, 1, 12, 10), -5);     // sampling-rate index
    EXPECT_EQ(run(out.data(), 0, 1, -1, 10), -5);
    EXPECT_EQ(run(out.data(), 0, 1, 3, 50), -5);      // 49 long bands at 48 kHz
    EXPECT_EQ(run(out.data(), 0, 2, 3, 10), -5);      // long window, two groups
    EXPECT_EQ(run(out.data(), 2, 1, 3, 15), -5);      // 14 short bands at 48 kHz
    EXPECT_EQ(run(out.data(), 2, 0, 3, 10), -5);
    grpLen[0] = 9;
    EXPECT_EQ(run(out.data(), 2, 1, 3, 10), -5);      // more than 8 windows
    grpLen[0] = 1;
    numSect[0] = 11;
    EXPECT_EQ(run(out.data(), 0, 1, 3, 10), -5);      // more sections than bands
    numSect[0] = 2;
    EXPECT_EQ(bitsFrom(w.start(), pos), 0);
    EXPECT_EQ(out, std::vector<int32_t>(1024, kUntouched));
    // Second section ends at 50 > maxSfb: found when reached.
    EXPECT_EQ(run(out.data(), 0, 1, 3, 10), -5);
}

}  // namespace

namespace {

// A truncated block: the bounded position reads zero bits past its end and
// the decoders stop after their sections, touching nothing beyond the input.
TEST(BoundedInput, TruncatedBlockReadsNothingPastTheEnd) {
    const std::vector<uint8_t> input = {0xFF, 0xFF, 0xFF};  // heap, exact size
    Channel ch;
    ch.sri = 3;
    ch.maxSfb = 49;
    ch.sectCb = {11};
    ch.sectEnd = {49};
    ch.numSect[0] = 1;
    ArmBitPosition pos{input.data(), 0, input.data() + input.size()};
    std::vector<int32_t> out;
    EXPECT_EQ(decodeSpectrum(ch, pos, out), 0);
    EXPECT_GT(pos.pByte, input.data() + input.size());
    const std::vector<uint8_t> cbs(49, 11);
    std::vector<int16_t> sf(49);
    pos = ArmBitPosition{input.data(), 0, input.data() + input.size()};
    EXPECT_EQ(armACAAC_DecodeScaleFactorData(sf.data(), 1, 100, cbs.data(), 49, &pos), 0);
    EXPECT_EQ(sf[48], sf[47]) << "zero bits are the 1-bit code of difference 0";
    EXPECT_GT(pos.pByte, input.data() + input.size());
}

}  // namespace
