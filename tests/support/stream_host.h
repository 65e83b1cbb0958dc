// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// The ADTS streams of tests/data decoded block by block through the public
// entry points, as a careful host does it, with every call's output
// invariants checked.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "host.h"
#include "test_data.h"

namespace aacdtest {

// One call's input: a block with the sampling index and channel
// configuration of its frame, or a loss.
struct Input {
    std::vector<uint8_t> bytes;
    bool lost = false;
    int sri = 0, config = 0;
};

// One call's output: status, bits consumed, rate, channel count and the
// frame (1024 x channels samples).
struct Output {
    int32_t status;
    uint32_t bits, rate, channels;
    std::vector<int32_t> pcm;
    bool operator==(const Output &o) const {
        return std::tie(status, bits, rate, channels, pcm) == std::tie(o.status, o.bits, o.rate, o.channels, o.pcm);
    }
};

// The raw data blocks of an ADTS stream as clean input, with a final loss
// that flushes the last block if asked.
inline std::vector<Input> load(const std::string &name, bool flush = false) {
    std::vector<aacd_fmt::AdtsHeader> h;
    const std::vector<std::vector<uint8_t>> blocks = adtsFrames(name, true, &h);
    std::vector<Input> in;
    for (size_t i = 0; i < blocks.size(); ++i)
        in.push_back({blocks[i], false, h[i].sampling_index, h[i].channel_config});
    if (flush) in.push_back({{}, true});
    return in;
}

// One call, following the frame header (config_id changes with the
// sampling index or the channel configuration), with the checks of every
// call: a call abandoned without output (M/S, intensity or deinterleaving
// refused) is repeated as a lost frame.
inline Output call(Host &h, const Input &in) {
    std::tie(h.params.sampling_index, h.params.config_id) = std::make_tuple(uint32_t(in.sri), in.sri * 8 + in.config);
    h.cfg.frame_lost = in.lost ? 1 : 0;
    const int32_t size = static_cast<int32_t>(in.bytes.size());
    const char *broken = h.call(in.bytes.data(), size);
    const int32_t st = h.status;
    if (!broken && abandoned(st)) {
        h.cfg.frame_lost = 1;
        broken = h.call(nullptr, 0);
        EXPECT_EQ(h.status, 0);
    }
    EXPECT_EQ(broken, nullptr) << broken << " (status " << st << ")";
    return {st, h.out.bits_consumed, h.out.sampling_rate, h.out.num_channels,
            std::vector<int32_t>(h.pcm.begin(), h.pcm.begin() + 1024 * h.out.num_channels)};
}

inline std::vector<Output> decodeAll(const std::vector<Input> &in, uint8_t bits = 16) {
    Host h(bits);
    std::vector<Output> out;
    for (const Input &i : in) out.push_back(call(h, i));
    return out;
}

}  // namespace aacdtest
