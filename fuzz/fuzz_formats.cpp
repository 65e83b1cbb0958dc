// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// The stream-format parsers on arbitrary bytes, each on the whole input: an
// AudioSpecificConfig, a LOAS stream (every AudioMuxElement), an ADIF header
// and ADTS headers.  What they accept must be what the decoder can take;
// payloads must lie inside the caller's buffer.  Any broken invariant traps.

#include "formats.h"
#include "fuzz_common.h"

using namespace aacd_fmt;
using aacd_fuzz::check;

namespace {

void check_accepted(const AudioSpecificConfig &a) {
    check(a.object_type == 2, "accepted object type");
    check(a.sampling_index >= 0 && a.sampling_index <= 11 &&
              a.sampling_rate == sampling_rate_of_index(static_cast<uint32_t>(a.sampling_index)),
          "accepted sampling index or rate");
    check(a.channels >= 1 && a.channels <= 6 && a.frame_length_flag == 0, "accepted channels or frame length");
    check(a.num_prog_configs == (a.channel_config == 0 ? 1 : 0), "program configuration count");
    check(!a.num_prog_configs || !prog_config_unsupported_reason(a.prog_config), "accepted program configuration");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    AudioSpecificConfig asc;
    const char *why = parse_audio_specific_config(data, size, &asc);
    if (why == nullptr) check_accepted(asc);
    check(why || asc.bits <= size * 8, "configuration length");

    LatmConfig cfg;
    static uint8_t out[8192];
    size_t len = 0;
    for (size_t off = 0; off + 3 <= size && parse_loas_header(data + off, size - off, &len); off += 3 + len) {
        const size_t avail = size - off - 3 < len ? size - off - 3 : len;
        LatmPayloads pl;
        const LatmConfig before = cfg;
        why = parse_audio_mux_element(data + off + 3, avail, &cfg, out, sizeof out, &pl);
        check(why == nullptr || cfg.valid == before.valid, "configuration kept after a refusal");
        if (why != nullptr) continue;
        check(cfg.valid, "element accepted without a configuration");
        check_accepted(cfg.asc);
        check(pl.count == cfg.num_sub_frames && pl.count >= 1 && pl.count <= 64, "payload count");
        size_t total = 0;
        for (int i = 0; i < pl.count; ++i) {
            check(pl.offset[i] == total, "payloads packed in order");
            total += pl.size[i];
        }
        check(total <= avail, "payloads larger than the element");
    }

    AdifHeader adif;
    if (parse_adif_header(data, size, &adif) == nullptr)
        check(adif.num_pce >= 1 && adif.num_pce <= 16 && adif.header_bytes <= size, "ADIF header");
    AdtsHeader h;
    for (size_t off = 0; off + 7 <= size; ++off) {
        if (parse_adts_header(data + off, size - off, &h))
            check(h.frame_length >= adts_first_block_offset(h) && h.raw_blocks <= 4, "ADTS header");
    }
    return 0;
}
