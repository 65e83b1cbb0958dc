// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// Test host: owns the memory blocks of one decoder instance; the sentinel
// its PCM buffer is filled with before a call.
#pragma once

#include <cstdint>
#include <tuple>
#include <vector>

#include "aacd.h"

namespace aacdtest {

constexpr int32_t kSentinel = 0x7EADBEEF;  // outside every output range

// Allocates the five blocks at a chosen misalignment and initialises them.
struct Host {
    explicit Host(uint8_t bits = 16, size_t misalign = 0, bool init = true) {
        aacd_query_dec_mem(&cfg);
        for (int k = 0; k < 5; ++k) {
            storage[k].assign(cfg.mem_info.blocks[k].size + 64 + misalign, 0);
            const uintptr_t p = reinterpret_cast<uintptr_t>(storage[k].data());
            cfg.mem_info.blocks[k].base = reinterpret_cast<void *>(((p + 63) & ~uintptr_t{63}) + misalign);
        }
        std::tie(cfg.output_bits, params.sampling_index, cfg.block_params) = std::make_tuple(bits, 4u, &params);
        if (init) status = aacd_decoder_init(&cfg);
    }

    AacdDecoderConfig cfg{};
    AacdBlockParams params{};
    AacdFrameOutput out{};
    std::vector<int32_t> pcm = std::vector<int32_t>(6 * 1024 + 16, 0);
    std::vector<uint8_t> storage[5];
    int32_t status = -100;
};

}  // namespace aacdtest
