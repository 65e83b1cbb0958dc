// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// Conformance against an independent decoder.  Every stream listed in
// tests/data/streams.tsv is decoded exactly as the command-line host does it
// (same demuxer and decoding loop, HostDecoder) and compared with the output
// of an independent floating-point decoder committed beside each stream as
// NAME.ref24 (see make_streams.sh).  A missing reference fails the test.
// Streams flagged "rejected" must be refused with status 35 and a message.
//
// Figures on the full 16-bit scale (reference x 32768, clamped like the
// decoder's output): largest difference at most 1 LSB and RMS at most 0.30
// LSB; the same figures at 24 bits are reported only.  With noise
// substitution (flag "pns") the noise is random, so short-time band energies
// are compared instead, each within 1 dB.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <set>
#include <cstdint>
#include <string>
#include <vector>

#include "container.h"
#include "host_decoder.h"
#include "band_energy.h"
#include "test_data.h"

using namespace aacd_cli;
using aacdtest::StreamEntry;

namespace {

// The reference decoding of a stream (NAME.ref24) on the scale of 1.0.
bool reference_decode(const std::string &file, std::vector<float> *out, std::string *err) {
    const std::string ref = file.substr(0, file.rfind('.')) + ".ref24";
    const std::vector<int32_t> raw = aacdtest::readRef24(ref);
    if (raw.empty()) {
        *err = "reference decoding " + ref + " missing (remake it with make_streams.sh refs)";
        return false;
    }
    out->resize(raw.size());
    for (size_t i = 0; i < raw.size(); ++i) (*out)[i] = static_cast<float>(raw[i] / 8388608.0);
    return true;
}

struct Decoded {
    std::vector<int32_t> samples; // interleaved, WAV order
    int channels = 0;
    uint32_t rate = 0;
    HostStats stats;
};

// Decodes the whole stream like aacd-decode does.
bool decode_stream(const std::vector<uint8_t> &data, int bits, double lose, Decoded *d, std::string *err) {
    Demuxer demux;
    if (!demux.open(data.data(), data.size())) {
        *err = demux.error();
        return false;
    }
    HostDecoder dec;
    HostOptions opt;
    opt.bits = bits;
    opt.lose_probability = lose;
    opt.lose_seed = 7;
    if (!dec.init(opt, err)) return false;
    const bool ok = dec.run(
        demux,
        [&](const OutFrame &f) {
            d->channels = f.layout->channels;
            d->rate = f.sample_rate;
            append_samples(f, &d->samples);
            return true;
        },
        err);
    d->stats = dec.stats();
    return ok;
}

struct Figures {
    double max_abs = 0;
    double rms = 0;
};

// Decoder output against the reference on the scale of `bits`.
Figures compare_samples(const std::vector<int32_t> &got, const std::vector<float> &ref, int bits) {
    const double scale = bits == 16 ? 32768.0 : 8388608.0;
    const double lo = -scale, hi = scale - 1;
    Figures f;
    double sum = 0;
    const size_t n = std::min(got.size(), ref.size());
    for (size_t i = 0; i < n; ++i) {
        const double r = std::clamp(static_cast<double>(ref[i]) * scale, lo, hi);
        const double e = static_cast<double>(got[i]) - r;
        f.max_abs = std::max(f.max_abs, std::fabs(e));
        sum += e * e;
    }
    f.rms = n ? std::sqrt(sum / static_cast<double>(n)) : 0;
    return f;
}

// ---------------------------------------------------------------- band energies

constexpr int kFftSize = 2048;   // analysis window (Hann), hop kFftSize / 2
constexpr int kBlockHops = 4;    // hops summed into one short-time block
constexpr int kBandBins = 64;    // FFT bins per band
constexpr double kFloorDb = -50; // bands this far below the block's strongest are skipped

// energies[block][band] of one channel of an interleaved signal (full scale 1).
std::vector<std::vector<double>> band_energies(const std::vector<double> &x, int channels, int ch) {
    std::vector<std::vector<double>> out;
    std::vector<double> acc(kFftSize / 2 / kBandBins, 0.0);
    int hops = 0;
    for (size_t start = 0; (start + kFftSize) * channels <= x.size(); start += kFftSize / 2) {
        const auto e = aacdtest::bandEnergies(&x[start * channels + ch], channels, kFftSize, kBandBins, 0.5);
        for (size_t b = 0; b < e.size(); ++b) acc[b] += e[b];
        if (++hops == kBlockHops) {
            out.push_back(acc);
            std::fill(acc.begin(), acc.end(), 0.0);
            hops = 0;
        }
    }
    return out;
}

struct EnergyFigures {
    double worst_db = 0; // largest |difference| of a compared band, in dB
    int compared = 0;
};

EnergyFigures compare_energies(const std::vector<int32_t> &got, const std::vector<float> &ref, int channels) {
    std::vector<double> g(got.size()), r(ref.size());
    for (size_t i = 0; i < got.size(); ++i) g[i] = got[i] / 32768.0;
    for (size_t i = 0; i < ref.size(); ++i) r[i] = std::clamp(static_cast<double>(ref[i]), -1.0, 32767.0 / 32768.0);
    EnergyFigures f;
    // Energy of a band holding noise of 1 LSB RMS: anything weaker is ignored.
    const double lsb_floor = kBandBins * kBlockHops * 0.375 * kFftSize * std::pow(1.0 / 32768, 2) / (kFftSize / 2);
    for (int ch = 0; ch < channels; ++ch) {
        const auto eg = band_energies(g, channels, ch), er = band_energies(r, channels, ch);
        for (size_t blk = 0; blk < std::min(eg.size(), er.size()); ++blk) {
            const double top = *std::max_element(er[blk].begin(), er[blk].end());
            for (size_t b = 0; b < er[blk].size(); ++b) {
                const double e_ref = er[blk][b], e_got = eg[blk][b];
                if (e_ref < top * std::pow(10.0, kFloorDb / 10) || e_ref < lsb_floor) continue;
                const double db = 10 * std::log10(std::max(e_got, 1e-30) / e_ref);
                f.worst_db = std::max(f.worst_db, std::fabs(db));
                ++f.compared;
            }
        }
    }
    return f;
}

// ---------------------------------------------------------------- tests

class Conformance : public ::testing::TestWithParam<StreamEntry> {};

TEST_P(Conformance, MatchesReferenceDecoder) {
    const StreamEntry &e = GetParam();
    const std::vector<uint8_t> data = aacdtest::readData(e.file);
    ASSERT_FALSE(data.empty()) << e.file;

    std::string err;
    if (e.has("rejected")) {
        Decoded d;
        EXPECT_FALSE(decode_stream(data, 16, 0.0, &d, &err)) << e.file;
        EXPECT_FALSE(err.empty());
        EXPECT_GT(d.stats.statuses[35], 0u) << e.file << ": " << err;
        std::printf("[ figures  ] %-28s refused as expected: %s\n", e.file.c_str(), err.c_str());
        return;
    }
    std::vector<float> ref;
    ASSERT_TRUE(reference_decode(e.file, &ref, &err)) << err;

    Decoded d16, d24;
    ASSERT_TRUE(decode_stream(data, 16, 0.0, &d16, &err)) << e.file << ": " << err;
    ASSERT_TRUE(decode_stream(data, 24, 0.0, &d24, &err)) << e.file << ": " << err;

    // One output frame per raw data block, aligned with the input; same
    // length as the reference decoding.
    EXPECT_EQ(d16.stats.frames_out, d16.stats.blocks);
    EXPECT_EQ(d16.stats.concealed, 0u) << "clean stream had concealed frames";
    for (const auto &kv : d16.stats.statuses) EXPECT_EQ(kv.first, AACD_OK) << kv.second << " calls";
    ASSERT_EQ(d16.channels, e.channels);
    EXPECT_EQ(d16.rate, e.rate);
    ASSERT_EQ(d16.samples.size(), ref.size()) << "length differs from the reference decoding";
    ASSERT_EQ(d24.samples.size(), d16.samples.size());

    // The two bit depths come from the same synthesis: the 24-bit output
    // reduced to 16 bits is within rounding of the 16-bit output.
    int32_t depth_diff = 0;
    for (size_t i = 0; i < d16.samples.size(); ++i) {
        const int32_t r = std::clamp((d24.samples[i] + 128) >> 8, -32768, 32767);
        depth_diff = std::max(depth_diff, std::abs(r - d16.samples[i]));
    }
    EXPECT_LE(depth_diff, 1);

    if (e.has("pns")) {
        const EnergyFigures f = compare_energies(d16.samples, ref, d16.channels);
        std::printf("[ figures  ] %-28s %6u Hz %d ch  pns: worst band energy difference %.3f dB over %d bands\n",
                    e.file.c_str(), e.rate, e.channels, f.worst_db, f.compared);
        EXPECT_GT(f.compared, 0);
        EXPECT_LE(f.worst_db, 1.0);
        return;
    }
    const Figures f16 = compare_samples(d16.samples, ref, 16);
    const Figures f24 = compare_samples(d24.samples, ref, 24);
    std::printf("[ figures  ] %-28s %6u Hz %d ch  16-bit: max %.3f rms %.4f LSB  24-bit: max %.1f rms %.2f LSB\n",
                e.file.c_str(), e.rate, e.channels, f16.max_abs, f16.rms, f24.max_abs, f24.rms);
    EXPECT_LE(f16.max_abs, 1.0);
    EXPECT_LE(f16.rms, 0.30);
}

std::string stream_name(const ::testing::TestParamInfo<StreamEntry> &info) {
    std::string n = info.param.file.substr(0, info.param.file.rfind('.'));
    for (char &c : n) {
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    }
    return n;
}

INSTANTIATE_TEST_SUITE_P(Streams, Conformance, ::testing::ValuesIn(aacdtest::readManifest()), stream_name);

// The manifest covers every sampling rate, one to six channels and the tools.
TEST(ConformanceData, ManifestCoversRatesLayoutsAndTools) {
    std::set<uint32_t> rates;
    std::set<int> channels;
    std::set<std::string> flags;
    for (const StreamEntry &e : aacdtest::readManifest()) {
        rates.insert(e.rate);
        channels.insert(e.channels);
        for (const char *f : {"pns", "pce", "ms", "is", "tns", "short", "clip", "silence", "low", "high", "music"})
            if (e.has(f)) flags.insert(f);
    }
    EXPECT_EQ(rates.size(), 12u);
    EXPECT_EQ(channels, (std::set<int>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(flags.size(), 11u);
}

} // namespace
