// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// Independent decoder instances: four streams decoded on four threads at the
// same time, each twice, and two streams fed block by block alternately to two
// instances on one thread, give exactly the output (PCM, statuses, bits
// consumed) of decoding each alone.  Built for a ThreadSanitizer run as well,
// so it stays small.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "aacd.h"
#include "container.h"
#include "test_data.h"

namespace {

struct Result {
    std::vector<int32_t> pcm;  // every call's output, concatenated
    std::vector<int32_t> statuses;
    std::vector<uint32_t> bits;
    bool operator==(const Result &o) const { return pcm == o.pcm && statuses == o.statuses && bits == o.bits; }
};

// One instance whose memory it owns, fed from its own demuxer: every block,
// then one lost block to flush.
struct Instance {
    AacdDecoderConfig cfg{};
    std::vector<uint8_t> mem[5];
    aacd_cli::Demuxer demux;
    Result r;
    bool done = false;

    bool open(const std::vector<uint8_t> &data, uint8_t outputBits) {
        if (!demux.open(data.data(), data.size()) || aacd_query_dec_mem(&cfg) != AACD_OK) return false;
        for (int k = 0; k < 5; ++k) {
            mem[k].assign(cfg.mem_info.blocks[k].size, 0);
            cfg.mem_info.blocks[k].base = mem[k].data();
        }
        cfg.output_bits = outputBits;
        cfg.block_params = demux.params();
        return aacd_decoder_init(&cfg) == AACD_OK;
    }
    // Decodes the next block (or the final lost one); false once done.
    bool step() {
        if (done) return false;
        static const uint8_t none = 0;
        aacd_cli::RawBlock b{};
        const bool have = demux.next(&b) == aacd_cli::Demuxer::Result::kBlock;
        cfg.frame_lost = (!have || b.lost) ? 1 : 0;
        std::vector<int32_t> pcm(6 * 1024);
        AacdFrameOutput out{};
        const int32_t s = aacd_decode_frame(&cfg, &out, pcm.data(), have ? b.data : &none, have ? b.size : 0);
        if (have && !b.bounded) demux.consume(s == AACD_OK ? static_cast<int32_t>(out.bits_consumed / 8) : 0);
        r.statuses.push_back(s);
        r.bits.push_back(out.bits_consumed);
        r.pcm.insert(r.pcm.end(), pcm.begin(), pcm.begin() + 1024 * out.num_channels);
        done = !have;
        EXPECT_TRUE(have || demux.error().empty()) << demux.error();
        return true;
    }
};

Result decodeAlone(const std::vector<uint8_t> &data, uint8_t outputBits) {
    Instance inst;
    EXPECT_TRUE(inst.open(data, outputBits));
    while (inst.step()) {
    }
    return inst.r;
}

const char *const kStreams[] = {"r48000_stereo_clicks.aac", "pns_stereo.aac", "is_stereo.aac", "r22050_mono_sweep.aac"};
constexpr int kNumStreams = 4;

}  // namespace

TEST(Concurrency, ParallelInstancesMatchSequentialDecoding) {
    std::vector<uint8_t> data[kNumStreams];
    Result sequential[kNumStreams], parallel[kNumStreams][2];
    for (int i = 0; i < kNumStreams; ++i) {
        data[i] = aacdtest::readData(kStreams[i]);
        // 16 and 24 bits alternate so that instances differ in depth too.
        sequential[i] = decodeAlone(data[i], i % 2 ? 24 : 16);
        ASSERT_GT(sequential[i].statuses.size(), 5u) << kStreams[i];
        bool audible = false;
        for (int32_t v : sequential[i].pcm) audible = audible || v != 0;
        EXPECT_TRUE(audible) << kStreams[i];
    }
    std::vector<std::thread> threads;
    for (int i = 0; i < kNumStreams; ++i) {
        threads.emplace_back([&, i] {
            for (Result &p : parallel[i]) p = decodeAlone(data[i], i % 2 ? 24 : 16);
        });
    }
    for (std::thread &t : threads) t.join();
    for (int i = 0; i < kNumStreams; ++i)
        for (const Result &p : parallel[i]) EXPECT_TRUE(p == sequential[i]) << kStreams[i];
}

TEST(Concurrency, InterleavedInstancesOnOneThreadDoNotInterfere) {
    std::vector<uint8_t> data[2];
    Instance inst[2];
    Result alone[2];
    for (int k = 0; k < 2; ++k) {
        data[k] = aacdtest::readData(kStreams[k]);
        alone[k] = decodeAlone(data[k], 16);
        ASSERT_TRUE(inst[k].open(data[k], 16));
    }
    while (inst[0].step() | inst[1].step()) {
    }
    for (int k = 0; k < 2; ++k) EXPECT_TRUE(inst[k].r == alone[k]) << kStreams[k];
}
