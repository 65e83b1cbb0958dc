// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// Independent decoder instances: four streams decoded on four threads at the
// same time, each twice, and two streams fed block by block alternately to two
// instances on one thread, give exactly the output (PCM, statuses, bits
// consumed) of decoding each alone.  Built for a ThreadSanitizer run as well,
// so it stays small.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <thread>
#include <vector>

#include "host.h"
#include "test_data.h"

namespace {

// One instance fed the blocks of an ADTS stream, then one lost block to
// flush; it records every call's output, status and bits consumed.
struct Instance {
    aacdtest::Host h;
    std::vector<std::vector<uint8_t>> blocks;
    size_t next = 0;
    std::vector<int32_t> pcm, results;

    Instance(const char *name, uint8_t bits) : h(bits) {
        std::vector<aacd_fmt::AdtsHeader> headers;
        blocks = aacdtest::adtsFrames(name, true, &headers);
        h.params.sampling_index = static_cast<uint32_t>(headers.at(0).sampling_index);
    }
    // Decodes the next block (or the final lost one); false once done.
    bool step() {
        if (next > blocks.size()) return false;
        static const uint8_t none = 0;
        const bool lost = next == blocks.size();
        h.cfg.frame_lost = lost ? 1 : 0;
        const int32_t s = lost ? aacd_decode_frame(&h.cfg, &h.out, h.pcm.data(), &none, 0) : h.decode(blocks[next]);
        results.insert(results.end(), {s, static_cast<int32_t>(h.out.bits_consumed)});
        pcm.insert(pcm.end(), h.pcm.begin(), h.pcm.begin() + 1024 * h.out.num_channels);
        ++next;
        return true;
    }
    bool operator==(const Instance &o) const { return pcm == o.pcm && results == o.results; }
};

const char *const kStreams[] = {"r48000_stereo_clicks.aac", "pns_stereo.aac", "is_stereo.aac", "r22050_mono_sweep.aac"};

// 16 and 24 bits alternate so that instances differ in depth too.
uint8_t bitsOf(int i) { return i % 2 ? 24 : 16; }

std::unique_ptr<Instance> decodeAlone(int i) {
    auto inst = std::make_unique<Instance>(kStreams[i], bitsOf(i));
    while (inst->step()) {
    }
    return inst;
}

}  // namespace

TEST(Concurrency, ParallelInstancesMatchSequentialDecoding) {
    std::unique_ptr<Instance> sequential[4], parallel[4][2];
    for (int i = 0; i < 4; ++i) {
        sequential[i] = decodeAlone(i);
        ASSERT_GT(sequential[i]->next, 5u) << kStreams[i];
        const std::vector<int32_t> &pcm = sequential[i]->pcm;
        EXPECT_NE(std::count(pcm.begin(), pcm.end(), 0), static_cast<long>(pcm.size())) << kStreams[i] << " is silent";
    }
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i) {
        threads.emplace_back([&, i] {
            for (auto &p : parallel[i]) p = decodeAlone(i);
        });
    }
    for (std::thread &t : threads) t.join();
    for (int i = 0; i < 4; ++i) {
        for (const auto &p : parallel[i]) EXPECT_TRUE(*p == *sequential[i]) << kStreams[i];
    }
}

TEST(Concurrency, InterleavedInstancesOnOneThreadDoNotInterfere) {
    Instance a(kStreams[0], bitsOf(0)), b(kStreams[1], bitsOf(1));
    while (a.step() | b.step()) {
    }
    EXPECT_TRUE(a == *decodeAlone(0) && b == *decodeAlone(1));
}
