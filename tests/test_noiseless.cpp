// Whole channel streams through omxACAAC_NoiselessDecode and channel pairs
// through omxACAAC_DecodeChanPairElt: the test-side encoder writes gain,
// stream info, sections, scale factors, pulses, TNS and spectra (every
// codebook, long and grouped short windows); decoding must return exactly
// what was written and consume exactly its bits.  Then the status points.
#include <gtest/gtest.h>

#include <tuple>

#include "omxdl/ac/armACAAC.h"

#include "channel_encoder.h"

namespace {

struct Encoded {
    Channel ch;
    int pulses = 0, pulseStart = 0, pulseOff[4] = {}, pulseAmp[4] = {};
    bool tns = false;
    std::vector<int32_t> spectrum;  // expected, pulses added
};

// Writes one individual channel stream; with common, no stream info.
void writeIcs(BitWriter &w, Encoded &e, std::mt19937 &rng, bool common) {
    Channel &ch = e.ch;
    w.bits(static_cast<uint32_t>(ch.globalGain), 8);
    if (!common) writeIcsInfo(w, ch, rng() % 2);
    writeSections(w, ch);
    writeScaleFactors(w, ch, rng);
    const uint16_t *off = armACAAC_swbOffsetLongWindow[ch.sri];
    const bool pulses = !ch.shortWindows && ch.maxSfb > 0 && rng() % 2;
    w.bits(pulses, 1);
    if (pulses) {
        e.pulses = 1 + static_cast<int>(rng() % 4);
        e.pulseStart = static_cast<int>(rng() % ch.maxSfb);
        w.bits(e.pulses - 1, 2); w.bits(e.pulseStart, 6);
        for (int i = 0, k = off[e.pulseStart]; i < e.pulses; ++i) {
            e.pulseOff[i] = std::min(static_cast<int>(rng() % 32), 1023 - k);
            k += e.pulseOff[i];
            e.pulseAmp[i] = static_cast<int>(rng() % 16);
            w.bits(e.pulseOff[i], 5); w.bits(e.pulseAmp[i], 4);
        }
    }
    e.tns = rng() % 2;
    w.bits(e.tns, 1);
    for (int win = 0; e.tns && win < (ch.shortWindows ? 8 : 1); ++win) {
        // one filter of order 2 per window, 4-bit coefficients (win, -1)
        const int s = ch.shortWindows;
        w.bits(1, s ? 1 : 2); w.bits(1, 1); w.bits(3, s ? 4 : 6); w.bits(2, s ? 3 : 5);
        w.bits(win & 1, 1); w.bits(0, 1); w.bits(win, 4); w.bits(15, 4);
    }
    w.bits(0, 1);  // no gain control
    writeSpectrum(w, ch, rng);
    e.spectrum = ch.values;
    for (int i = 0, k = off[e.pulseStart]; i < e.pulses; ++i) {
        k += e.pulseOff[i];
        e.spectrum[k] += e.spectrum[k] > 0 ? e.pulseAmp[i] : -e.pulseAmp[i];
    }
}

struct Decoder {
    IcsInfo ics{};
    ChannelInfo info{};
    LtpInfo ltp{};
    std::vector<int16_t> sf = std::vector<int16_t>(120, 0);
    std::vector<int32_t> coefs = std::vector<int32_t>(1024, kUntouched);
    uint8_t sfbCb[120] = {};
    int8_t tnsCoef[64] = {};
    int32_t noise = 0, is = 0;
    explicit Decoder(int sri) { info.samplingRateIndex = sri; info.icsInfo = &ics; }
    int32_t run(ArmBitPosition &pos, int common) {
        return omxACAAC_NoiselessDecode(&pos, sf.data(), coefs.data(), sfbCb, tnsCoef, &info,
                                        common, 2, &ltp, &noise, &is);
    }
};

void checkDecoded(const Encoded &e, const Decoder &d) {
    const Channel &ch = e.ch;
    EXPECT_EQ(std::make_tuple(d.info.globalGain, d.ics.maxSfb), std::make_tuple(ch.globalGain, ch.maxSfb));
    ASSERT_EQ(d.ics.numWindowGroups, ch.numGroups);
    for (int g = 0; g < ch.numGroups; ++g) EXPECT_EQ(d.ics.windowGroupLength[g], ch.groupLen[g]);
    for (size_t b = 0; b < ch.sfbCb.size(); ++b) {
        ASSERT_EQ(d.sfbCb[b], ch.sfbCb[b]);
        ASSERT_EQ(d.sf[b], ch.sf[b]) << "band " << b;
    }
    EXPECT_EQ(std::make_tuple(d.info.pulseDataPresent, d.info.tnsDataPresent, d.info.gainControlDataPresent),
              std::make_tuple(e.pulses ? 1 : 0, e.tns ? 1 : 0, 0));
    if (e.tns) { EXPECT_EQ(d.info.tnsInfo.tnsOrder[0], 2); EXPECT_EQ(d.tnsCoef[1], -1); }
    for (size_t i = 0; i < e.spectrum.size(); ++i) ASSERT_EQ(d.coefs[i], e.spectrum[i]) << i;
}

TEST(NoiselessDecode, RandomSingleChannels) {
    std::mt19937 rng(21);
    for (int iter = 0; iter < 600; ++iter) {
        Encoded e;
        e.ch = randomLayout(rng, iter % 2, kAllCodebooks);
        BitWriter w;
        writeIcs(w, e, rng, false);
        const int bits = w.count();
        w.bits(0x3F, 6);
        Decoder d(e.ch.sri);
        ArmBitPosition pos = w.start();
        ASSERT_EQ(d.run(pos, 0), 0) << iter;
        EXPECT_EQ(bitsFrom(w.start(), pos), bits);
        EXPECT_EQ(d.info.numWindows, iter % 2 ? 8 : 1);
        checkDecoded(e, d);
    }
}

TEST(NoiselessDecode, RandomChannelPairsWithMsMask) {
    std::mt19937 rng(22);
    for (int iter = 0; iter < 300; ++iter) {
        const bool isShort = iter % 2;
        Encoded e0, e1;
        e0.ch = randomLayout(rng, isShort, kAllCodebooks);
        BitWriter w;
        w.bits(5, 4); w.bits(1, 1);
        writeIcsInfo(w, e0.ch, 1);
        w.bits(1, 2);
        std::vector<uint8_t> ms;
        for (int i = 0; i < e0.ch.numGroups * e0.ch.maxSfb; ++i) { ms.push_back(rng() % 2); w.bits(ms.back(), 1); }
        const int headBits = w.count();
        // second channel: same layout, its own scale factors and spectrum
        e1.ch = e0.ch;
        writeIcs(w, e0, rng, true);
        const int firstBits = w.count();
        std::mt19937 rng2(static_cast<uint32_t>(iter));
        writeIcs(w, e1, rng2, true);

        Decoder d(e0.ch.sri);
        ChanPairElt cpe{};
        LtpInfo l1{};
        LtpInfo *pair[2] = {&d.ltp, &l1};
        ArmBitPosition pos = w.start();
        ASSERT_EQ(omxACAAC_DecodeChanPairElt(&pos, &d.ics, &cpe, 2, pair), 0);
        ASSERT_EQ(bitsFrom(w.start(), pos), headBits);
        EXPECT_EQ(cpe.msMaskPresent, 1);
        for (int i = 0; i < e0.ch.numGroups * e0.ch.maxSfb; ++i)
            EXPECT_EQ(cpe.msUsed[i / e0.ch.maxSfb][i % e0.ch.maxSfb], ms[i]);
        d.info.numWindows = isShort ? 8 : 1;
        d.info.windowLength = isShort ? 128 : 1024;
        d.info.numSwb = bandCount(e0.ch);
        ASSERT_EQ(d.run(pos, 1), 0);
        EXPECT_EQ(bitsFrom(w.start(), pos), firstBits);
        checkDecoded(e0, d);
        std::fill(d.coefs.begin(), d.coefs.end(), kUntouched);
        ASSERT_EQ(d.run(pos, 1), 0);
        EXPECT_EQ(bitsFrom(w.start(), pos), w.count());
        checkDecoded(e1, d);
    }
}

TEST(NoiselessDecode, StatusPoints) {
    struct Case {  // rest: fields after the stream info; bits: consumed, -1 not checked
        const char *name; bool isShort; int maxSfb; std::vector<std::pair<uint32_t, int>> rest;
        int32_t status; int bits; int32_t pulse, gain;  // expected status, bits, presence flags
    };
    const Case cases[] = {
        {"long, no bands: zeros", false, 0, {{0, 3}}, 0, 22, 0, 0},
        {"pulses with short windows", true, 0, {{1, 1}, {0xFF, 8}}, -2, 24, 1, 0},
        {"gain control after TNS", false, 0, {{0, 1}, {1, 1}, {0, 2}, {1, 1}}, -159, 24, 0, 1},
        {"max_sfb above band count", false, 50, {}, -162, -1, 0, 0},
        {"bad pulse start band", false, 0, {{1, 1}, {0, 2}, {49, 6}}, -2, -1, 1, 0},
        {"section overrun", false, 5, {{1, 4}, {6, 5}}, -2, -1, 0, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        BitWriter w;
        w.bits(100, 8); w.bits(0, 1); w.bits(c.isShort ? 2 : 0, 2); w.bits(0, 1);
        w.bits(c.maxSfb, c.isShort ? 4 : 6); w.bits(c.isShort ? 0x7F : 0, c.isShort ? 7 : 1);
        for (const auto &[v, n] : c.rest) w.bits(v, n);
        Decoder d(3);
        ArmBitPosition pos = w.start();
        EXPECT_EQ(d.run(pos, 0), c.status);
        if (c.bits >= 0) { EXPECT_EQ(bitsFrom(w.start(), pos), c.bits); }
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
    ArmBitPosition pos = w.start();
    EXPECT_EQ(d.run(pos, 1), -162);
}

TEST(NoiselessDecode, PulseOnZeroAndSigned) {
    // Long, maxSfb 1 at 48 kHz (band 0 = 4 values), one codebook-2 section.
    BitWriter w;
    w.bits(100, 8); w.bits(0, 4); w.bits(1, 6); w.bits(0, 1);
    w.bits(2, 4); w.bits(1, 5);
    w.code(0, 60);  // scale factor delta 0
    w.bits(1, 1); w.bits(2, 2); w.bits(0, 6);
    for (int off : {0, 1, 1}) { w.bits(off, 5); w.bits(5, 4); }  // pulses at 0, 1, 2
    w.bits(0, 2);
    w.code(2, ((1 * 3 + 2) * 3 + 0) * 3 + 1);  // (0, 1, -1, 0)
    Decoder d(3);
    ArmBitPosition pos = w.start();
    ASSERT_EQ(d.run(pos, 0), 0);
    EXPECT_EQ(std::vector<int32_t>(d.coefs.begin(), d.coefs.begin() + 4), (std::vector<int32_t>{-5, 6, -6, 0}));
}

}  // namespace
