// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// Feeds arbitrary raw data blocks to one decoder instance over a sequence of
// calls, with stream parameters chosen by the fuzzer, and checks the output
// invariants after every call.
//
// Input: one flags byte (bit 0: 24-bit output, bits 1-4: sampling index,
// 0x20: host program configuration records follow, 848 bytes each, one or,
// with bit 7, two; 0x40: SBR hand-off mode), then per
// block a control byte (bit 0: lost, bit 1: frame-length check on, bits 2-7:
// frame_bytes, bit 7 also: new config_id), a 2-byte little-endian length and
// the block's bytes (tools/make-fuzz-seeds.py writes seeds in this format).
#include <algorithm>
#include <vector>

#include "fuzz_common.h"

using namespace aacd_fuzz;

namespace {

struct Reader {
    const uint8_t *p;
    size_t n;
    uint8_t byte() { return n > 0 ? (--n, *p++) : 0; }
    uint16_t word() { return static_cast<uint16_t>(byte() | (byte() << 8)); }
    // The next len bytes (fewer at the end), in a buffer of exactly their size.
    std::vector<uint8_t> take(size_t len) {
        len = std::min(len, n);
        p += len, n -= len;
        return std::vector<uint8_t>(p - len, p);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    Reader r{data, size};
    const uint8_t flags = r.byte();
    Instance inst((flags & 1) ? 24 : 16);
    AacdDecoderConfig &cfg = inst.cfg;
    AacdBlockParams params{};
    AacdProgConfig pce[2]{};
    params.sampling_index = (flags >> 1) & 15;
    if (flags & 0x20) {
        // Host program configuration records from the fuzzer's bytes.
        const std::vector<uint8_t> records = r.take(sizeof pce);
        std::copy(records.begin(), records.end(), reinterpret_cast<uint8_t *>(pce));
        params.num_prog_configs = 1 + (flags >> 7);
        params.prog_configs = pce;
    }
    cfg.block_params = &params;

    AacdSbrPayload payload{}, swap{}, previous{};
    std::vector<int32_t> core(6 * 2048);
    const bool sbr = (flags & 0x40) != 0;
    if (sbr) {
        cfg.sbr = AacdSbrLink{cfg.state, &payload, core.data(), &swap, &previous};
        cfg.sbr_mode = 1;
    }
    while (r.n > 0) {
        const uint8_t ctl = r.byte();
        const std::vector<uint8_t> block = r.take(r.word() % 2048);  // exact size: ASan sees overreads
        cfg.frame_lost = ctl & 1;
        if (ctl & 2) cfg.check_frame_length = 1;
        params.frame_bytes = ctl >> 2;
        if (ctl & 0x80) params.config_id++;
        if (sbr) UntracedFill(core.data(), core.size());
        if (abandoned(inst.decode(block.data(), static_cast<int32_t>(block.size()), sbr))) continue;
        uint32_t present = 0;
        for (int c = 0; c < 6; ++c) {
            const bool used = *cfg.channel_refs[c][0] != 0;
            present += used;
            if (sbr)
                check(UntracedWordsOk(&core[2048 * c], used ? 1024 : 0, 2048, inst.cfg.output_bits), "core output");
        }
        check(present == inst.out.num_channels, "presence words and channel count");
        if (sbr) check(payload.entry_count >= 0 && payload.entry_count <= 2, "SBR payload count");
    }
    return 0;
}
