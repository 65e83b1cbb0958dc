// Whole individual channel streams and channel pair elements through
// omxACAAC_NoiselessDecode / omxACAAC_DecodeChanPairElt: a test-side encoder
// writes global gain, stream info, section data, scale factors, pulses, TNS
// and spectral data (every codebook, long and grouped short windows); the
// decoder must return exactly the side information and spectrum written and
// consume exactly the bits written.  Status points of the channel decoder
// follow.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <vector>

#include "omxdl/ac/armACAAC.h"

#include "channel_encoder.h"

namespace {

const std::vector<int> kAllCodebooks = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};

int consumed(const ArmBitPosition &a, const ArmBitPosition &b) { return bitsFrom(a, b); }

void writeIcsInfo(BitWriter &w, const Channel &ch, int shape) {
    w.bits(0, 1);
    w.bits(ch.shortWindows ? 2 : 0, 2);
    w.bits(static_cast<uint32_t>(shape), 1);
    if (ch.shortWindows) {
        w.bits(static_cast<uint32_t>(ch.maxSfb), 4);
        uint32_t grouping = 0;
        int win = 0;
        for (int g = 0; g < ch.numGroups; ++g)
            for (int i = 0; i < ch.groupLen[g]; ++i, ++win)
                if (win > 0) grouping = (grouping << 1) | (i > 0 ? 1u : 0u);
        w.bits(grouping, 7);
    } else {
        w.bits(static_cast<uint32_t>(ch.maxSfb), 6);
        w.bits(0, 1);
    }
}

void writeSections(BitWriter &w, const Channel &ch) {
    const int bits = ch.shortWindows ? 3 : 5, esc = ch.shortWindows ? 7 : 31;
    size_t s = 0;
    for (int g = 0; g < ch.numGroups; ++g) {
        int k = 0;
        for (int i = 0; i < ch.numSect[g]; ++i, ++s) {
            w.bits(ch.sectCb[s], 4);
            int len = ch.sectEnd[s] - k;
            while (len >= esc) { w.bits(static_cast<uint32_t>(esc), bits); len -= esc; }
            w.bits(static_cast<uint32_t>(len), bits);
            k = ch.sectEnd[s];
        }
    }
}

struct Encoded {
    Channel ch;
    int pulses = 0;          // 0: none, else number of pulses
    int pulseStart = 0, pulseOff[4] = {}, pulseAmp[4] = {};
    bool tns = false;
    std::vector<int32_t> spectrum;  // expected after pulses
};

// Writes one individual_channel_stream(); with common, no stream info.
void writeIcs(BitWriter &w, Encoded &e, std::mt19937 &rng, bool common) {
    Channel &ch = e.ch;
    w.bits(static_cast<uint32_t>(ch.globalGain), 8);
    if (!common) writeIcsInfo(w, ch, rng() % 2);
    writeSections(w, ch);
    writeScaleFactors(w, ch, rng);
    const uint16_t *off = armACAAC_swbOffsetLongWindow[ch.sri];
    if (!ch.shortWindows && ch.maxSfb > 0 && rng() % 2) {
        e.pulses = 1 + static_cast<int>(rng() % 4);
        e.pulseStart = static_cast<int>(rng() % ch.maxSfb);
        w.bits(1, 1);
        w.bits(static_cast<uint32_t>(e.pulses - 1), 2);
        w.bits(static_cast<uint32_t>(e.pulseStart), 6);
        int k = off[e.pulseStart];
        for (int i = 0; i < e.pulses; ++i) {
            e.pulseOff[i] = std::min(static_cast<int>(rng() % 32), 1023 - k);
            k += e.pulseOff[i];
            e.pulseAmp[i] = static_cast<int>(rng() % 16);
            w.bits(static_cast<uint32_t>(e.pulseOff[i]), 5);
            w.bits(static_cast<uint32_t>(e.pulseAmp[i]), 4);
        }
    } else {
        w.bits(0, 1);
    }
    e.tns = rng() % 2;
    w.bits(e.tns ? 1 : 0, 1);
    if (e.tns) {  // one filter of order 2 per window, 4-bit coefficients
        for (int win = 0; win < (ch.shortWindows ? 8 : 1); ++win) {
            w.bits(1, ch.shortWindows ? 1 : 2);
            w.bits(1, 1);
            w.bits(3, ch.shortWindows ? 4 : 6);
            w.bits(2, ch.shortWindows ? 3 : 5);
            w.bits(win & 1, 1);
            w.bits(0, 1);
            w.bits(static_cast<uint32_t>(win), 4);
            w.bits(15, 4);
        }
    }
    w.bits(0, 1);  // no gain control
    writeSpectrum(w, ch, rng);
    e.spectrum = ch.values;
    if (e.pulses) {
        int k = off[e.pulseStart];
        for (int i = 0; i < e.pulses; ++i) {
            k += e.pulseOff[i];
            e.spectrum[k] += e.spectrum[k] > 0 ? e.pulseAmp[i] : -e.pulseAmp[i];
        }
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
    explicit Decoder(int sri) {
        info.samplingRateIndex = sri;
        info.icsInfo = &ics;
    }
    int32_t run(ArmBitPosition &pos, int common) {
        return omxACAAC_NoiselessDecode(&pos, sf.data(), coefs.data(), sfbCb, tnsCoef, &info,
                                        common, 2, &ltp, &noise, &is);
    }
};

void checkDecoded(const Encoded &e, const Decoder &d) {
    const Channel &ch = e.ch;
    EXPECT_EQ(d.info.globalGain, ch.globalGain);
    EXPECT_EQ(d.ics.maxSfb, ch.maxSfb);
    ASSERT_EQ(d.ics.numWindowGroups, ch.numGroups);
    for (int g = 0; g < ch.numGroups; ++g) EXPECT_EQ(d.ics.windowGroupLength[g], ch.groupLen[g]);
    for (size_t b = 0; b < ch.sfbCb.size(); ++b) {
        ASSERT_EQ(d.sfbCb[b], ch.sfbCb[b]);
        ASSERT_EQ(d.sf[b], ch.sf[b]) << "band " << b;
    }
    EXPECT_EQ(d.info.pulseDataPresent, e.pulses ? 1 : 0);
    EXPECT_EQ(d.info.tnsDataPresent, e.tns ? 1 : 0);
    EXPECT_EQ(d.info.gainControlDataPresent, 0);
    if (e.tns) {
        EXPECT_EQ(d.info.tnsInfo.tnsOrder[0], 2);
        EXPECT_EQ(d.tnsCoef[1], -1);
    }
    for (size_t i = 0; i < e.spectrum.size(); ++i) ASSERT_EQ(d.coefs[i], e.spectrum[i]) << i;
}

TEST(NoiselessDecode, RandomSingleChannels) {
    std::mt19937 rng(21);
    for (int iter = 0; iter < 600; ++iter) {
        Encoded e;
        const bool isShort = iter % 2;
        e.ch = randomLayout(rng, isShort, kAllCodebooks);
        BitWriter w;
        writeIcs(w, e, rng, false);
        const int bits = w.count();
        w.bits(0x3F, 6);
        Decoder d(e.ch.sri);
        ArmBitPosition pos = w.start();
        const ArmBitPosition begin = pos;
        ASSERT_EQ(d.run(pos, 0), 0) << iter;
        EXPECT_EQ(consumed(begin, pos), bits);
        EXPECT_EQ(d.info.numWindows, isShort ? 8 : 1);
        checkDecoded(e, d);
    }
}

TEST(NoiselessDecode, RandomChannelPairsWithMsMask) {
    std::mt19937 rng(22);
    for (int iter = 0; iter < 300; ++iter) {
        const bool isShort = iter % 2;
        Encoded e0;
        e0.ch = randomLayout(rng, isShort, kAllCodebooks);
        BitWriter w;
        w.bits(5, 4);
        w.bits(1, 1);
        writeIcsInfo(w, e0.ch, 1);
        w.bits(1, 2);
        std::vector<uint8_t> ms;
        for (int g = 0; g < e0.ch.numGroups; ++g)
            for (int b = 0; b < e0.ch.maxSfb; ++b) { ms.push_back(rng() % 2); w.bits(ms.back(), 1); }
        const int headBits = w.count();
        // second channel: same layout, its own scale factors and spectrum
        Encoded e1;
        std::mt19937 rng2(static_cast<uint32_t>(iter));
        e1.ch = randomLayout(rng2, isShort, kAllCodebooks);
        e1.ch.sri = e0.ch.sri;
        e1.ch.maxSfb = e0.ch.maxSfb;
        e1.ch.numGroups = e0.ch.numGroups;
        std::copy(e0.ch.groupLen, e0.ch.groupLen + 8, e1.ch.groupLen);
        e1.ch.sectCb = e0.ch.sectCb; e1.ch.sectEnd = e0.ch.sectEnd; e1.ch.sfbCb = e0.ch.sfbCb;
        std::copy(e0.ch.numSect, e0.ch.numSect + 8, e1.ch.numSect);
        writeIcs(w, e0, rng, true);
        const int firstBits = w.count();
        writeIcs(w, e1, rng, true);
        const int allBits = w.count();

        Decoder d(e0.ch.sri);
        ChanPairElt cpe{};
        LtpInfo l1{};
        LtpInfo *pair[2] = {&d.ltp, &l1};
        ArmBitPosition pos = w.start();
        const ArmBitPosition begin = pos;
        ASSERT_EQ(omxACAAC_DecodeChanPairElt(&pos, &d.ics, &cpe, 2, pair), 0);
        ASSERT_EQ(consumed(begin, pos), headBits);
        EXPECT_EQ(cpe.msMaskPresent, 1);
        size_t i = 0;
        for (int g = 0; g < e0.ch.numGroups; ++g)
            for (int b = 0; b < e0.ch.maxSfb; ++b) EXPECT_EQ(cpe.msUsed[g][b], ms[i++]);
        d.info.numWindows = isShort ? 8 : 1;
        d.info.windowLength = isShort ? 128 : 1024;
        d.info.numSwb = isShort ? armACAAC_numSwbShort[e0.ch.sri] : armACAAC_numSwbLong[e0.ch.sri];
        ASSERT_EQ(d.run(pos, 1), 0);
        EXPECT_EQ(consumed(begin, pos), firstBits);
        checkDecoded(e0, d);
        std::fill(d.coefs.begin(), d.coefs.end(), kUntouched);
        ASSERT_EQ(d.run(pos, 1), 0);
        EXPECT_EQ(consumed(begin, pos), allBits);
        checkDecoded(e1, d);
    }
}

TEST(NoiselessDecode, StatusPoints) {
    auto head = [](BitWriter &w, bool isShort, int maxSfb) {
        w.bits(100, 8);
        w.bits(0, 1); w.bits(isShort ? 2 : 0, 2); w.bits(0, 1);
        if (isShort) { w.bits(maxSfb, 4); w.bits(0x7F, 7); } else { w.bits(maxSfb, 6); w.bits(0, 1); }
    };
    {  // long, maxSfb 0: 1024 zeros, three presence bits
        BitWriter w; head(w, false, 0); w.bits(0, 3);
        Decoder d(3);
        ArmBitPosition pos = w.start();
        const ArmBitPosition b = pos;
        ASSERT_EQ(d.run(pos, 0), 0);
        EXPECT_EQ(consumed(b, pos), 8 + 11 + 3);
        for (int32_t v : d.coefs) ASSERT_EQ(v, 0);
    }
    {  // pulse data with short windows: -2 right after the flag
        BitWriter w; head(w, true, 0); w.bits(1, 1); w.bits(0xFF, 8);
        Decoder d(3);
        ArmBitPosition pos = w.start();
        const ArmBitPosition b = pos;
        EXPECT_EQ(d.run(pos, 0), -2);
        EXPECT_EQ(consumed(b, pos), 8 + 15 + 1);
        EXPECT_EQ(d.info.pulseDataPresent, 1);
    }
    {  // gain control: -159 after TNS data, spectrum untouched
        BitWriter w; head(w, false, 0); w.bits(0, 1); w.bits(1, 1); w.bits(0, 2); w.bits(1, 1);
        Decoder d(3);
        ArmBitPosition pos = w.start();
        const ArmBitPosition b = pos;
        EXPECT_EQ(d.run(pos, 0), -159);
        EXPECT_EQ(consumed(b, pos), 8 + 11 + 1 + 1 + 2 + 1);
        EXPECT_EQ(d.info.gainControlDataPresent, 1);
        EXPECT_EQ(d.coefs[0], kUntouched);
    }
    {  // max_sfb above the band count: -162 from the stream info
        BitWriter w; head(w, false, 50);
        Decoder d(3);
        ArmBitPosition pos = w.start();
        EXPECT_EQ(d.run(pos, 0), -162);
    }
    {  // shared stream info whose max_sfb exceeds the rate's band count
        BitWriter w; w.bits(100, 8);
        Decoder d(11);
        d.ics.maxSfb = 41;
        d.ics.numWindowGroups = 1;
        d.info.numSwb = armACAAC_numSwbLong[11];
        ArmBitPosition pos = w.start();
        EXPECT_EQ(d.run(pos, 1), -162);
    }
    {  // bad pulse start band
        BitWriter w; head(w, false, 0); w.bits(1, 1); w.bits(0, 2); w.bits(49, 6);
        Decoder d(3);
        ArmBitPosition pos = w.start();
        EXPECT_EQ(d.run(pos, 0), -2);
    }
    {  // section overrun passes -2 through
        BitWriter w; head(w, false, 5); w.bits(1, 4); w.bits(6, 5);
        Decoder d(3);
        ArmBitPosition pos = w.start();
        EXPECT_EQ(d.run(pos, 0), -2);
    }
}

TEST(NoiselessDecode, PulseOnZeroAndSigned) {
    // long, maxSfb 1 at 48 kHz (band 0 = 4 values), codebook 1 all zeros tuple
    BitWriter w;
    w.bits(100, 8);
    w.bits(0, 1); w.bits(0, 2); w.bits(0, 1); w.bits(1, 6); w.bits(0, 1);
    w.bits(2, 4); w.bits(1, 5);  // one section, codebook 2, 1 band
    w.code(0, 60);               // scale factor delta 0
    w.bits(1, 1); w.bits(2, 2); w.bits(0, 6);
    w.bits(0, 5); w.bits(5, 4);  // pulse at 0
    w.bits(1, 5); w.bits(5, 4);  // pulse at 1
    w.bits(1, 5); w.bits(5, 4);  // pulse at 2
    w.bits(0, 2);
    // codebook 2 (signed, lav 1): values (0, 1, -1, 0) -> index of digits (1, 2, 0, 1)
    w.code(2, ((1 * 3 + 2) * 3 + 0) * 3 + 1);
    Decoder d(3);
    ArmBitPosition pos = w.start();
    ASSERT_EQ(d.run(pos, 0), 0);
    EXPECT_EQ(d.coefs[0], -5);
    EXPECT_EQ(d.coefs[1], 6);
    EXPECT_EQ(d.coefs[2], -6);
    EXPECT_EQ(d.coefs[3], 0);
}

}  // namespace
