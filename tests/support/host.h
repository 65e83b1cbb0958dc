// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// Test host of the unit tests and the fuzz targets: owns the memory blocks
// of one decoder instance and makes one decoding call with the checks that
// every call must pass.  The per-word loops are out of line and named
// "Untraced", so that the fuzz targets' coverage tracing leaves them out
// (fuzz/coverage-ignore.txt).
#pragma once

#include <cstdint>
#include <tuple>
#include <vector>

#include "aacd.h"

namespace aacdtest {

constexpr int32_t kSentinel = 0x7EADBEEF;  // outside every output range

// Calls abandoned at once (no output written, nothing concealed).
inline bool abandoned(int32_t s) {
    return s == AACD_ERR_MS_STEREO || s == AACD_ERR_IS_STEREO || s == AACD_ERR_DEINTERLEAVE;
}

__attribute__((noinline)) inline void UntracedFill(int32_t *p, size_t n) {
    for (size_t i = 0; i < n; ++i) p[i] = kSentinel;
}

// Words [0, used) lie in the output range of the bit depth, words [used,
// total) still hold the sentinel.
__attribute__((noinline)) inline bool UntracedWordsOk(const int32_t *p, size_t used, size_t total, int bits) {
    const int32_t hi = bits == 24 ? 8388607 : 32767;
    bool ok = true;
    for (size_t i = 0; i < used; ++i) ok &= p[i] >= -hi - 1 && p[i] <= hi;
    for (size_t i = used; i < total; ++i) ok &= p[i] == kSentinel;
    return ok;
}

// The five blocks, each in a heap buffer of exactly its size after
// `misalign` bytes (so that the sanitizer build sees any access past one),
// initialised unless told otherwise.
struct Host {
    explicit Host(uint8_t bits = 16, size_t misalign = 0, bool init = true) {
        aacd_query_dec_mem(&cfg);
        for (int k = 0; k < 5; ++k) {
            storage[k].assign(cfg.mem_info.blocks[k].size + misalign, 0);
            cfg.mem_info.blocks[k].base = storage[k].data() + misalign;
        }
        std::tie(cfg.output_bits, params.sampling_index, cfg.block_params) = std::make_tuple(bits, 4u, &params);
        if (init) status = aacd_decoder_init(&cfg);
    }

    // Decodes `size` bytes (0: none) into the sentinel-filled PCM buffer;
    // returns the first rule of every call that it breaks, or null: a status
    // the decoder documents for calls that pass its argument checks; an
    // abandoned call writes nothing; otherwise at most six channels of 1024
    // samples, no more bits consumed than given, and samples in range with
    // nothing written past them (nothing at all with `planar`, the SBR
    // hand-off mode).
    const char *call(const uint8_t *data, int32_t size, bool planar = false) {
        static const uint8_t nothing = 0;
        UntracedFill(pcm.data(), pcm.size());
        const int32_t s = status = aacd_decode_frame(&cfg, &out, pcm.data(), size > 0 ? data : &nothing, size);
        if (!abandoned(s) && s != AACD_OK && s != AACD_ERR_ELEMENT && s != AACD_ERR_COUPLING &&
            s != AACD_ERR_CONFIG && s != AACD_ERR_PROG_CONFIG)
            return "undocumented status";
        const size_t used = abandoned(s) || planar ? 0 : 1024u * out.num_channels;
        if (!UntracedWordsOk(pcm.data(), used, pcm.size(), cfg.output_bits)) return "pcm range or overrun";
        if (abandoned(s)) return nullptr;
        if (out.num_channels > 6 || out.frame_samples != 1024) return "channels or frame samples";
        return out.bits_consumed <= 8u * static_cast<uint32_t>(size) ? nullptr : "bits consumed";
    }

    AacdDecoderConfig cfg{};
    AacdBlockParams params{};
    AacdFrameOutput out{};
    std::vector<int32_t> pcm = std::vector<int32_t>(6 * 1024 + 16, 0);
    std::vector<uint8_t> storage[5];
    int32_t status = -100;  // of the initialisation, then of the last call
};

}  // namespace aacdtest
