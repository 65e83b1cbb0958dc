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
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "aacd.h"
#include "fuzz_common.h"

using namespace aacd_fuzz;

namespace {

struct Reader {
    const uint8_t *p;
    size_t n;
    uint8_t byte() { if (n == 0) return 0; --n; return *p++; }
    uint16_t word() { return static_cast<uint16_t>(byte() | (byte() << 8)); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    Reader r{data, size};
    const uint8_t flags = r.byte();
    const int bits = (flags & 1) ? 24 : 16;

    AacdDecoderConfig cfg;
    std::memset(&cfg, 0, sizeof cfg);
    aacd_query_dec_mem(&cfg);
    std::vector<std::vector<uint8_t>> blocks(5);
    for (int k = 0; k < 5; ++k) {
        blocks[k].assign(cfg.mem_info.blocks[k].size, 0);
        cfg.mem_info.blocks[k].base = blocks[k].data();
    }
    cfg.output_bits = static_cast<uint8_t>(bits);
    check(aacd_decoder_init(&cfg) == AACD_OK, "init");

    AacdBlockParams params{};
    AacdProgConfig pce[2];
    std::memset(pce, 0, sizeof pce);
    params.sampling_index = (flags >> 1) & 15;
    params.config_id = 0;
    if (flags & 0x20) {
        // Host program configuration records from the fuzzer's bytes.
        const size_t take = r.n < sizeof pce ? r.n : sizeof pce;
        std::memcpy(pce, r.p, take);
        r.p += take;
        r.n -= take;
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

    std::vector<int32_t> pcm(6 * 1024 + 64);
    while (r.n > 0) {
        const uint8_t ctl = r.byte();
        size_t len = r.word() % 2048;
        if (len > r.n) len = r.n;
        std::vector<uint8_t> block(r.p, r.p + len);  // exact size: ASan sees overreads
        r.p += len;
        r.n -= len;
        cfg.frame_lost = (ctl & 1) ? 1 : 0;
        if (ctl & 2) cfg.check_frame_length = 1;
        params.frame_bytes = ctl >> 2;
        if (ctl & 0x80) params.config_id++;
        UntracedFill(pcm.data(), pcm.size());
        if (sbr) UntracedFill(core.data(), core.size());
        AacdFrameOutput out{};
        const uint8_t dummy = 0;
        const int32_t s = aacd_decode_frame(&cfg, &out, pcm.data(), len ? block.data() : &dummy,
                                            static_cast<int32_t>(len));
        check(documented(s), "status");
        if (abandoned(s)) continue;
        check(out.num_channels <= 6, "channels");
        check(out.frame_samples == 1024, "frame samples");
        check(out.bits_consumed <= 8 * len, "bits consumed");
        uint32_t present = 0;
        for (int c = 0; c < 6; ++c) {
            const bool used = *cfg.channel_refs[c][0] != 0;
            present += used;
            if (sbr) check(UntracedWordsOk(&core[2048 * c], used ? 1024 : 0, 2048, bits), "core output");
        }
        check(present == out.num_channels, "presence words and channel count");
        check(UntracedWordsOk(pcm.data(), sbr ? 0 : 1024u * out.num_channels, pcm.size(), bits),
              "pcm range or overrun");
        if (sbr) check(payload.entry_count >= 0 && payload.entry_count <= 2, "SBR payload count");
    }
    return 0;
}
