// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// Conformance against an independent decoder.  Every stream listed in
// tests/data/streams.tsv is decoded exactly as the command-line host does it
// (same demuxer and decoding loop, HostDecoder) and compared with the output
// of an independent floating-point decoder committed beside each stream as
// NAME.ref24 (see make_streams.sh).  A missing reference fails the test.
// Streams flagged "rejected" must be refused with status 35 and a message.
//
// Figures on the full 16-bit scale (reference / 256, clamped like the
// decoder's output): largest difference at most 1 LSB and RMS at most 0.30
// LSB; the same figures at 24 bits are reported only.  With noise
// substitution (flag "pns") the noise is random, so short-time band energies
// are compared instead, each within 1 dB.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <string>
#include <tuple>
#include <vector>

#include "container.h"
#include "host_decoder.h"
#include "test_data.h"

using aacdtest::compareSamples;
using aacdtest::StreamEntry;

namespace {

struct Decoded {
    bool ok = false;
    std::string err;
    std::vector<int32_t> samples;  // interleaved, WAV order
    int channels = 0;
    uint32_t rate = 0;
    aacd_cli::HostStats stats;
};

// Decodes the whole stream like aacd-decode does.
Decoded decodeStream(const std::vector<uint8_t> &data, int bits) {
    Decoded d;
    aacd_cli::Demuxer demux;
    aacd_cli::HostDecoder dec;
    const auto sink = [&](const aacd_cli::OutFrame &f) {
        std::tie(d.channels, d.rate) = std::make_tuple(f.layout->channels, f.sample_rate);
        aacd_cli::append_samples(f, &d.samples);
        return true;
    };
    d.ok = demux.open(data.data(), data.size()) && dec.init({bits}, &d.err) && dec.run(demux, sink, &d.err);
    if (!d.ok && d.err.empty()) d.err = demux.error();
    d.stats = dec.stats();
    return d;
}

// Forward DFT in place, length a power of two (recursive decimation in time).
void fft(std::vector<std::complex<double>> &a) {
    const size_t half = a.size() / 2;
    if (half == 0) return;
    std::vector<std::complex<double>> even(half), odd(half);
    for (size_t i = 0; i < half; ++i) std::tie(even[i], odd[i]) = std::make_pair(a[2 * i], a[2 * i + 1]);
    fft(even);
    fft(odd);
    for (size_t k = 0; k < half; ++k) {
        const std::complex<double> t = std::polar(1.0, -M_PI * double(k) / double(half)) * odd[k];
        a[k] = even[k] + t;
        a[k + half] = even[k] - t;
    }
}

// Energies of consecutive groups of `bins` FFT bins (below n / 2) of the n
// samples x[0], x[stride], ... under the Hann window 0.5 - 0.5 cos(2 pi (i +
// 0.5) / n).
std::vector<double> bandEnergies(const int32_t *x, size_t stride, int n, int bins) {
    std::vector<std::complex<double>> buf(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) buf[i] = (0.5 - 0.5 * std::cos(2 * M_PI * (i + 0.5) / n)) * x[i * stride];
    fft(buf);
    std::vector<double> e(static_cast<size_t>(n / 2 / bins), 0.0);
    for (int k = 0; k < n / 2; ++k) e[k / bins] += std::norm(buf[k]);
    return e;
}

constexpr int kFftSize = 2048;    // analysis window (Hann), hop kFftSize / 2
constexpr int kBlockHops = 4;     // hops summed into one short-time block
constexpr int kBandBins = 64;     // FFT bins per band
constexpr int kBands = kFftSize / 2 / kBandBins;
constexpr double kFloorDb = -50;  // bands this far below the block's strongest are skipped

// Short-time band energies of each channel, output (16 bits) against
// reference (24 bits) on the full scale of 1, blocks of kBlockHops hops (a
// last partial block is left out): the largest difference in dB, and the
// number of bands compared.
std::pair<double, int> compareEnergies(const std::vector<int32_t> &got, const std::vector<int32_t> &ref, int channels) {
    // Energy of a band holding noise of 1 LSB RMS: anything weaker is ignored.
    const double lsbFloor = kBandBins * kBlockHops * 0.375 * kFftSize * std::pow(1.0 / 32768, 2) / (kFftSize / 2);
    double worst = 0;
    int compared = 0;
    for (int ch = 0; ch < channels; ++ch) {
        std::vector<double> eg(kBands, 0.0), er(kBands, 0.0);
        for (size_t start = 0, hop = 1; (start + kFftSize) * channels <= got.size(); start += kFftSize / 2, ++hop) {
            const auto hg = bandEnergies(&got[start * channels + ch], channels, kFftSize, kBandBins);
            const auto hr = bandEnergies(&ref[start * channels + ch], channels, kFftSize, kBandBins);
            for (int b = 0; b < kBands; ++b)
                std::tie(eg[b], er[b]) = std::make_pair(eg[b] + hg[b] / 0x1p30, er[b] + hr[b] / 0x1p46);
            if (hop % kBlockHops) continue;
            const double top = *std::max_element(er.begin(), er.end());
            const double floor = std::max(top * std::pow(10.0, kFloorDb / 10), lsbFloor);
            for (int b = 0; b < kBands; ++b) {
                if (er[b] < floor) continue;
                worst = std::max(worst, std::fabs(10 * std::log10(std::max(eg[b], 1e-30) / er[b])));
                ++compared;
            }
            std::fill(eg.begin(), eg.end(), 0.0);
            std::fill(er.begin(), er.end(), 0.0);
        }
    }
    return {worst, compared};
}

class Conformance : public ::testing::TestWithParam<StreamEntry> {};

TEST_P(Conformance, MatchesReferenceDecoder) {
    const StreamEntry &e = GetParam();
    const std::vector<uint8_t> data = aacdtest::readData(e.file);
    const Decoded d16 = decodeStream(data, 16);
    if (e.has("rejected")) {
        EXPECT_FALSE(d16.ok || d16.err.empty());
        EXPECT_EQ(d16.stats.statuses.count(35), 1u) << d16.err;
        std::printf("[ figures  ] %-28s refused as expected: %s\n", e.file.c_str(), d16.err.c_str());
        return;
    }
    const std::vector<int32_t> ref = aacdtest::readRef24(e.file.substr(0, e.file.rfind('.')) + ".ref24");
    ASSERT_FALSE(ref.empty()) << "reference decoding of " << e.file << " missing (remake it with make_streams.sh refs)";
    const Decoded d24 = decodeStream(data, 24);
    ASSERT_TRUE(d16.ok && d24.ok) << e.file << ": " << d16.err << d24.err;

    // One output frame per raw data block, aligned with the input, every call
    // OK; same length as the reference decoding.
    EXPECT_EQ(d16.stats.frames_out, d16.stats.blocks);
    EXPECT_EQ(d16.stats.concealed, 0u) << "clean stream had concealed frames";
    for (const auto &[status, calls] : d16.stats.statuses) EXPECT_EQ(status, AACD_OK) << calls << " calls";
    ASSERT_EQ(std::make_tuple(d16.channels, d16.rate), std::make_tuple(e.channels, e.rate));
    ASSERT_EQ(d16.samples.size(), ref.size()) << "length differs from the reference decoding";
    ASSERT_EQ(d24.samples.size(), ref.size());
    // The two bit depths come from the same synthesis: the 24-bit output
    // reduced to 16 bits is within rounding of the 16-bit output.
    for (size_t i = 0; i < ref.size(); ++i) {
        ASSERT_LE(std::abs(std::clamp((d24.samples[i] + 128) >> 8, -32768, 32767) - d16.samples[i]), 1) << "sample " << i;
    }
    if (e.has("pns")) {
        const auto [worst, compared] = compareEnergies(d16.samples, ref, d16.channels);
        std::printf("[ figures  ] %-28s %6u Hz %d ch  pns: worst band energy difference %.3f dB over %d bands\n",
                    e.file.c_str(), e.rate, e.channels, worst, compared);
        EXPECT_GT(compared, 0);
        EXPECT_LE(worst, 1.0);
        return;
    }
    const auto [max16, rms16] = compareSamples(d16.samples, ref, 16);
    const auto [max24, rms24] = compareSamples(d24.samples, ref, 24);
    std::printf("[ figures  ] %-28s %6u Hz %d ch  16-bit: max %.3f rms %.4f LSB  24-bit: max %.1f rms %.2f LSB\n",
                e.file.c_str(), e.rate, e.channels, max16, rms16, max24, rms24);
    EXPECT_LE(max16, 1.0);
    EXPECT_LE(rms16, 0.30);
}

INSTANTIATE_TEST_SUITE_P(Streams, Conformance, ::testing::ValuesIn(aacdtest::readManifest()),
                         [](const ::testing::TestParamInfo<StreamEntry> &info) {
                             std::string n = info.param.file.substr(0, info.param.file.rfind('.'));
                             for (char &c : n) c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             return n;
                         });

}  // namespace
