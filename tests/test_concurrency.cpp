// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// Independent decoder instances: four streams decoded on four threads at the
// same time, each twice, give exactly the output (PCM, statuses, bits
// consumed) of decoding each alone.  On the threads 16 and 24 bits
// alternate, so that instances differ in depth too.  Built for a
// ThreadSanitizer run as well, which reports any state the instances share.
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>
#include <vector>

#include "stream_host.h"

const char *const kStreams[] = {"r48000_stereo_clicks.aac", "pns_stereo.aac", "is_stereo.aac", "r22050_mono_sweep.aac"};

TEST(Concurrency, ParallelInstancesMatchSequentialDecoding) {
    std::vector<aacdtest::Input> in[4];
    std::vector<aacdtest::Output> sequential[4], parallel[4][2];
    for (int i = 0; i < 4; ++i) {
        in[i] = aacdtest::load(kStreams[i], true);
        sequential[i] = aacdtest::decodeAll(in[i], i % 2 ? 24 : 16);
        ASSERT_GT(sequential[i].size(), 5u) << kStreams[i];
        EXPECT_TRUE(std::any_of(sequential[i].begin(), sequential[i].end(), [](const aacdtest::Output &o) {
            return std::any_of(o.pcm.begin(), o.pcm.end(), [](int32_t v) { return v != 0; });
        })) << kStreams[i] << " is silent";
    }
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i) {
        threads.emplace_back([&, i] {
            for (auto &p : parallel[i]) p = aacdtest::decodeAll(in[i], i % 2 ? 24 : 16);
        });
    }
    for (std::thread &t : threads) t.join();
    for (int i = 0; i < 4; ++i) {
        for (const auto &p : parallel[i]) EXPECT_TRUE(p == sequential[i]) << kStreams[i];
    }
}
