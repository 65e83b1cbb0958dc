// Independent decoder instances on different threads: four streams decoded
// at the same time, each twice, give exactly the output (PCM, statuses, bits
// consumed) of decoding them one after another on one thread.  Built for a
// ThreadSanitizer run as well, so it stays small.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "aacd.h"
#include "container.h"

namespace {

std::vector<uint8_t> readFile(const std::string &name) {
    std::vector<uint8_t> data;
    const std::string path = std::string(AACD_TEST_DATA_DIR) + "/" + name;
    FILE *f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return data;
    uint8_t buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) data.insert(data.end(), buf, buf + n);
    std::fclose(f);
    return data;
}

struct Result {
    bool ok = false;
    std::vector<int32_t> pcm;  // every call's output, concatenated
    std::vector<int32_t> statuses;
    std::vector<uint32_t> bits;
};

// Decodes a whole stream on a fresh instance whose memory comes from this
// call: every block, then one lost block to flush.
Result decodeStream(const std::vector<uint8_t> &data, uint8_t outputBits) {
    Result r;
    aacd_cli::Demuxer demux;
    if (!demux.open(data.data(), data.size())) return r;
    AacdDecoderConfig cfg;
    std::memset(&cfg, 0, sizeof cfg);
    if (aacd_query_dec_mem(&cfg) != AACD_OK) return r;
    std::vector<std::vector<uint8_t>> mem(5);
    for (int k = 0; k < 5; ++k) {
        mem[k].assign(cfg.mem_info.blocks[k].size, 0);
        cfg.mem_info.blocks[k].base = mem[k].data();
    }
    cfg.output_bits = outputBits;
    if (aacd_decoder_init(&cfg) != AACD_OK) return r;
    cfg.block_params = demux.params();
    std::vector<int32_t> pcm(6 * 1024);
    AacdFrameOutput out{};
    auto call = [&](const uint8_t *p, int32_t n, bool lost) {
        cfg.frame_lost = lost ? 1 : 0;
        const int32_t s = aacd_decode_frame(&cfg, &out, pcm.data(), p, n);
        r.statuses.push_back(s);
        r.bits.push_back(out.bits_consumed);
        if (s != AACD_ERR_MS_STEREO && s != AACD_ERR_IS_STEREO && s != AACD_ERR_DEINTERLEAVE)
            r.pcm.insert(r.pcm.end(), pcm.begin(), pcm.begin() + 1024 * out.num_channels);
        return s;
    };
    aacd_cli::RawBlock b;
    aacd_cli::Demuxer::Result res;
    while ((res = demux.next(&b)) == aacd_cli::Demuxer::Result::kBlock) {
        const int32_t s = call(b.data, b.size, b.lost);
        if (!b.bounded) demux.consume(s == AACD_OK ? static_cast<int32_t>(out.bits_consumed / 8) : 0);
    }
    const uint8_t none = 0;
    call(&none, 0, true);
    r.ok = res == aacd_cli::Demuxer::Result::kEnd;
    return r;
}

const char *const kStreams[] = {"r48000_stereo_clicks.aac", "pns_stereo.aac", "is_stereo.aac",
                                "r22050_mono_sweep.aac"};
constexpr int kNumStreams = 4;

}  // namespace

TEST(Concurrency, ParallelInstancesMatchSequentialDecoding) {
    std::vector<std::vector<uint8_t>> data(kNumStreams);
    std::vector<Result> sequential(kNumStreams);
    for (int i = 0; i < kNumStreams; ++i) {
        data[i] = readFile(kStreams[i]);
        ASSERT_FALSE(data[i].empty()) << kStreams[i];
        // 16 and 24 bits alternate so that instances differ in depth too.
        sequential[i] = decodeStream(data[i], i % 2 ? 24 : 16);
        ASSERT_TRUE(sequential[i].ok) << kStreams[i];
        ASSERT_GT(sequential[i].statuses.size(), 5u) << kStreams[i];
        bool audible = false;
        for (int32_t v : sequential[i].pcm) audible = audible || v != 0;
        EXPECT_TRUE(audible) << kStreams[i];
    }

    std::vector<Result> parallel(2 * kNumStreams);
    std::vector<std::thread> threads;
    for (int i = 0; i < kNumStreams; ++i) {
        threads.emplace_back([&, i] {
            for (int run = 0; run < 2; ++run)
                parallel[2 * i + run] = decodeStream(data[i], i % 2 ? 24 : 16);
        });
    }
    for (std::thread &t : threads) t.join();

    for (int i = 0; i < kNumStreams; ++i) {
        for (int run = 0; run < 2; ++run) {
            const Result &p = parallel[2 * i + run];
            ASSERT_TRUE(p.ok) << kStreams[i] << " run " << run;
            EXPECT_EQ(p.statuses, sequential[i].statuses) << kStreams[i] << " run " << run;
            EXPECT_EQ(p.bits, sequential[i].bits) << kStreams[i] << " run " << run;
            EXPECT_TRUE(p.pcm == sequential[i].pcm) << kStreams[i] << " run " << run;
        }
    }
}

TEST(Concurrency, InterleavedInstancesOnOneThreadDoNotInterfere) {
    // Two instances fed alternately, block by block, with two different
    // streams give the output each gives alone: nothing is shared between
    // instances even within one thread.
    const std::vector<uint8_t> a = readFile(kStreams[0]);
    const std::vector<uint8_t> b = readFile(kStreams[1]);
    ASSERT_FALSE(a.empty());
    ASSERT_FALSE(b.empty());
    const Result aloneA = decodeStream(a, 16);
    const Result aloneB = decodeStream(b, 16);
    ASSERT_TRUE(aloneA.ok && aloneB.ok);

    struct Inst {
        AacdDecoderConfig cfg;
        std::vector<std::vector<uint8_t>> mem;
        aacd_cli::Demuxer demux;
        Result r;
        bool done = false;
    };
    Inst inst[2];
    const std::vector<uint8_t> *src[2] = {&a, &b};
    for (int k = 0; k < 2; ++k) {
        Inst &n = inst[k];
        ASSERT_TRUE(n.demux.open(src[k]->data(), src[k]->size()));
        std::memset(&n.cfg, 0, sizeof n.cfg);
        ASSERT_EQ(aacd_query_dec_mem(&n.cfg), AACD_OK);
        n.mem.resize(5);
        for (int m = 0; m < 5; ++m) {
            n.mem[m].assign(n.cfg.mem_info.blocks[m].size, 0);
            n.cfg.mem_info.blocks[m].base = n.mem[m].data();
        }
        n.cfg.output_bits = 16;
        ASSERT_EQ(aacd_decoder_init(&n.cfg), AACD_OK);
        n.cfg.block_params = n.demux.params();
    }
    std::vector<int32_t> pcm(6 * 1024);
    while (!inst[0].done || !inst[1].done) {
        for (Inst &n : inst) {
            if (n.done) continue;
            aacd_cli::RawBlock blk;
            const uint8_t none = 0;
            const bool have = n.demux.next(&blk) == aacd_cli::Demuxer::Result::kBlock;
            n.cfg.frame_lost = (!have || blk.lost) ? 1 : 0;
            AacdFrameOutput out{};
            const int32_t s = have ? aacd_decode_frame(&n.cfg, &out, pcm.data(), blk.data, blk.size)
                                   : aacd_decode_frame(&n.cfg, &out, pcm.data(), &none, 0);
            ASSERT_TRUE(!have || blk.bounded);
            n.r.statuses.push_back(s);
            n.r.bits.push_back(out.bits_consumed);
            n.r.pcm.insert(n.r.pcm.end(), pcm.begin(), pcm.begin() + 1024 * out.num_channels);
            n.done = !have;
        }
    }
    EXPECT_EQ(inst[0].r.statuses, aloneA.statuses);
    EXPECT_EQ(inst[1].r.statuses, aloneB.statuses);
    EXPECT_TRUE(inst[0].r.pcm == aloneA.pcm);
    EXPECT_TRUE(inst[1].r.pcm == aloneB.pcm);
}
