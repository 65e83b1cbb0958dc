// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
//
// What the fuzz targets share: invariant traps, a decoder instance, and one
// decoding call with the output checks every call must pass.  The
// per-sample loops are kept out of coverage tracing (coverage-ignore.txt
// matches "Untraced" in the function name) and out of line, so that
// libFuzzer's comparison tracing does not inline them into the traced
// callers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "aacd.h"

namespace aacd_fuzz {

constexpr int32_t kSentinel = 0x7EADBEEF;  // outside every output range

inline void check(bool ok, const char *what) {
    if (ok) return;
    std::fprintf(stderr, "invariant broken: %s\n", what);
    __builtin_trap();
}

// Calls abandoned at once (no output written, nothing concealed).
inline bool abandoned(int32_t s) { return s == 44 || s == 45 || s == 46; }

// Words [0, used) lie in the output range of the bit depth, words
// [used, total) still hold the sentinel.
__attribute__((noinline)) inline bool UntracedWordsOk(const int32_t *p, size_t used, size_t total,
                                                      int bits) {
    const int32_t hi = bits == 24 ? 8388607 : 32767;
    const int32_t lo = -hi - 1;
    bool ok = true;
    for (size_t i = 0; i < used; ++i) ok &= p[i] >= lo && p[i] <= hi;
    for (size_t i = used; i < total; ++i) ok &= p[i] == kSentinel;
    return ok;
}

__attribute__((noinline)) inline void UntracedFill(int32_t *p, size_t n) {
    for (size_t i = 0; i < n; ++i) p[i] = kSentinel;
}

// One decoder instance in heap blocks of exactly the requested sizes, so
// that ASan sees any access past them.
struct Instance {
    AacdDecoderConfig cfg{};
    std::vector<std::vector<uint8_t>> mem{5};
    std::vector<int32_t> pcm = std::vector<int32_t>(6 * 1024 + 64);
    int bits;

    explicit Instance(int output_bits) : bits(output_bits) {
        check(aacd_query_dec_mem(&cfg) == AACD_OK, "query");
        for (int k = 0; k < 5; ++k) {
            mem[k].assign(cfg.mem_info.blocks[k].size, 0);
            cfg.mem_info.blocks[k].base = mem[k].data();
        }
        cfg.output_bits = static_cast<uint8_t>(bits);
        check(aacd_decoder_init(&cfg) == AACD_OK, "init");
    }

    // Decodes a block (size 0: none) and checks what every call must give:
    // a status the decoder documents for arguments that pass its checks; an
    // abandoned call writes nothing; otherwise at most six channels of 1024
    // samples, no more bits consumed than given, and samples in range with
    // nothing written past them (nothing at all in the interleaved output
    // with `planar`, the SBR hand-off mode).
    int32_t decode(AacdFrameOutput &out, const uint8_t *data, int32_t size, bool planar = false) {
        static const uint8_t nothing = 0;
        UntracedFill(pcm.data(), pcm.size());
        out = AacdFrameOutput{};
        const int32_t s = aacd_decode_frame(&cfg, &out, pcm.data(), size > 0 ? data : &nothing, size);
        check(s == AACD_OK || s == AACD_ERR_ELEMENT || s == AACD_ERR_COUPLING || s == AACD_ERR_CONFIG ||
                  s == AACD_ERR_PROG_CONFIG || abandoned(s),
              "status");
        const size_t used = abandoned(s) || planar ? 0 : 1024u * out.num_channels;
        check(UntracedWordsOk(pcm.data(), used, pcm.size(), bits), "pcm range or overrun");
        if (abandoned(s)) return s;
        check(out.num_channels <= 6 && out.frame_samples == 1024, "channels or frame samples");
        check(out.bits_consumed <= 8u * static_cast<uint32_t>(size), "bits consumed");
        return s;
    }
};

}  // namespace aacd_fuzz
