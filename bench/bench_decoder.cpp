// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// Speed of the synthesis operations and of whole-frame decoding, and the
// memory an instance needs.  Build with -DAACD_BENCH=ON and run
// build/aacd_bench (Google Benchmark options apply, e.g.
// --benchmark_repetitions=5).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

#include "aacd.h"
#include "bitstream/armCOMM_Bitstream.h"
#include "omxdl/ac/armACAAC.h"
#include "omxdl/ac/armACAAC_Bounded.h"

namespace {

std::vector<int32_t> randomWords(size_t n, int32_t amp, uint32_t seed) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int32_t> d(-amp, amp);
    std::vector<int32_t> v(n);
    for (auto &x : v) x = d(rng);
    return v;
}

void BM_Fft(benchmark::State &state) {
    const int order = static_cast<int>(state.range(0));
    const int n = 1 << order;
    const auto input = randomWords(2 * static_cast<size_t>(n), 1 << 20, 1);
    std::vector<int32_t> data(input.size()), scratch(input.size());
    const int32_t *tw = order == 6 ? armACAAC_IMDCT_FFTShortQ31 : armACAAC_IMDCT_FFTLongQ31;
    for (auto _ : state) {
        data = input;
        omx_FFT_common(data.data(), order, tw, scratch.data());
        benchmark::DoNotOptimize(data.data());
    }
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_Fft)->Arg(6)->Arg(9);

// One channel of one frame: 0 long, 2 eight short.
void BM_MDCTInv(benchmark::State &state) {
    const int seq = static_cast<int>(state.range(0));
    const auto input = randomWords(1024, 1 << 22, 2);
    std::vector<int32_t> coefs(1024), overlap(1024, 0), pcm(2048);
    for (auto _ : state) {
        coefs = input;
        (void)omxACAAC_MDCTInv_S32_S32(coefs.data(), pcm.data(), overlap.data(), seq, 1, 1, 2, 16,
                                       &armACAAC_IMDCT_Tables);
        benchmark::DoNotOptimize(pcm.data());
    }
    state.SetItemsProcessed(state.iterations() * 1024);
}
BENCHMARK(BM_MDCTInv)->Arg(0)->Arg(2);

// Spectral data of one long window (48 kHz, 49 bands, 1024 values) coded
// with a single section of codebook cb: random tuples with their sign bits
// and escapes, decoded by the decoder's table-driven reader.  The decoded
// values are checked against the coded ones before timing.  Items are
// values.
struct SpectralStream {
    std::vector<uint8_t> bytes;
    std::vector<int32_t> values;
};

SpectralStream randomSpectrum(int cb) {
    const ArmVlc32 *list = armACAAC_CodeBooks_C[cb];
    const bool uns = armACAAC_signCb[cb] != 0;
    const int lav = armACAAC_lavCb[cb];
    const int m = uns ? lav + 1 : 2 * lav + 1;
    const int dim = cb <= 4 ? 4 : 2;
    const int entries = dim == 4 ? m * m * m * m : m * m;
    std::mt19937 rng(static_cast<uint32_t>(cb));
    SpectralStream s;
    s.bytes.assign(16384, 0);
    uint8_t *p = s.bytes.data();
    uint32_t off = 0;
    while (s.values.size() < 1024) {
        int idx = static_cast<int>(rng() % static_cast<uint32_t>(entries));
        (void)armPackVLC32(&p, &off, list[idx]);
        int32_t v[4];
        for (int i = dim - 1; i >= 0; --i, idx /= m) v[i] = idx % m - (uns ? 0 : lav);
        if (uns) {
            for (int i = 0; i < dim; ++i) {
                if (v[i] == 0) continue;
                const uint32_t sign = rng() & 1u;
                (void)armPackBits(&p, &off, sign, 1);
                if (sign) v[i] = -v[i];
            }
        }
        for (int i = 0; i < dim && cb == 11; ++i) {
            if (v[i] != 16 && v[i] != -16) continue;
            const int mag = 16 + static_cast<int>(rng() % 1000u);
            int n = 0;
            while ((mag >> (n + 5)) != 0) ++n;
            for (int k = 0; k < n; ++k) (void)armPackBits(&p, &off, 1, 1);
            (void)armPackBits(&p, &off, 0, 1);
            (void)armPackBits(&p, &off, static_cast<uint32_t>(mag - (1 << (n + 4))), n + 4);
            v[i] = v[i] < 0 ? -mag : mag;
        }
        s.values.insert(s.values.end(), v, v + dim);
    }
    return s;
}

void BM_SpectralData(benchmark::State &state) {
    const int cb = static_cast<int>(state.range(0));
    const SpectralStream s = randomSpectrum(cb);
    const uint8_t sectCb[1] = {static_cast<uint8_t>(cb)};
    const uint8_t sectEnd[1] = {49};
    const int32_t numSect[1] = {1};
    const int32_t groupLen[8] = {1};
    std::vector<int32_t> out(1024);
    const auto decode = [&] {
        aacd::BitReader pos = aacd::bitReaderAt(s.bytes.data(), static_cast<uint32_t>(s.bytes.size()));
        return aacd::decodeSpectralData(out.data(), 0, 1, 3, sectCb, sectEnd, groupLen, numSect, &pos, 49);
    };
    if (decode() != 0 || out != s.values) {
        state.SkipWithError("decoding does not reproduce the coded values");
        return;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(decode());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * 1024);
}
BENCHMARK(BM_SpectralData)->DenseRange(1, 11);

// Raw data blocks of an ADTS file (fixed headers without CRC, as made by the
// test stream script).
std::vector<std::vector<uint8_t>> adtsBlocks(const char *path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> d((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::vector<uint8_t>> out;
    size_t p = 0;
    while (p + 7 <= d.size() && d[p] == 0xFF && (d[p + 1] & 0xF0) == 0xF0) {
        const size_t len = ((d[p + 3] & 3u) << 11) | (d[p + 4] << 3) | (d[p + 5] >> 5);
        const size_t head = (d[p + 1] & 1) ? 7 : 9;
        if (len < head || p + len > d.size()) break;
        out.emplace_back(d.begin() + static_cast<long>(p + head), d.begin() + static_cast<long>(p + len));
        p += len;
    }
    return out;
}

// Whole frames of the bundled stereo sample, 44.1 kHz: items are frames;
// real-time factor = frames per second / (44100 / 1024).
void BM_DecodeFrame(benchmark::State &state) {
    const auto blocks = adtsBlocks(AACD_SOURCE_DIR "/tests/data/sample.aac");
    if (blocks.empty()) {
        state.SkipWithError("tests/data/sample.aac not found");
        return;
    }
    AacdDecoderConfig cfg{};
    aacd_query_dec_mem(&cfg);
    std::vector<std::vector<uint8_t>> mem(5);
    for (int k = 0; k < 5; ++k) {
        mem[k].assign(cfg.mem_info.blocks[k].size, 0);
        cfg.mem_info.blocks[k].base = mem[k].data();
    }
    cfg.output_bits = 16;
    AacdBlockParams params{};
    params.sampling_index = 4;
    cfg.block_params = &params;
    if (aacd_decoder_init(&cfg) != 0) {
        state.SkipWithError("init failed");
        return;
    }
    std::vector<int32_t> pcm(6 * 1024);
    AacdFrameOutput out{};
    size_t i = 0;
    for (auto _ : state) {
        const auto &b = blocks[i];
        i = (i + 1) % blocks.size();
        benchmark::DoNotOptimize(
            aacd_decode_frame(&cfg, &out, pcm.data(), b.data(), static_cast<int32_t>(b.size())));
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["realtime_x"] = benchmark::Counter(static_cast<double>(state.iterations()) * 1024.0 / 44100.0,
                                                      benchmark::Counter::kIsRate);
    uint64_t total = 0;
    for (uint32_t k = 0; k < cfg.mem_info.block_count; ++k) total += cfg.mem_info.blocks[k].size;
    state.counters["instance_bytes"] = static_cast<double>(total);
}
BENCHMARK(BM_DecodeFrame);

}  // namespace
