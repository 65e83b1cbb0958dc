// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// Container parsing of the command-line host on arbitrary bytes: the input is
// taken as a whole ADTS, ADIF, LATM/LOAS or MP4 stream (seeds of each).  Every raw data block the demuxer
// hands out is checked against the parser's documented guarantees and
// decoded through the public API; then the same stream is run through the
// host's own decoding loop (HostDecoder), which must see the same blocks and
// deliver one frame per block.  Any broken invariant traps.
//
// The input's length picks the host options, so that every stream is also
// tried with them: bit 0 set gives 24-bit output, bit 1 set drops blocks at
// random (one in eight, seeded by the length).
#include <string>

#include "container.h"
#include "fuzz_common.h"
#include "host_decoder.h"

namespace {

using aacd_cli::Demuxer;
using aacd_cli::StreamFormat;
using namespace aacd_fuzz;

// Walks every block of the stream, decoding each; returns the block count.
uint64_t walk(const uint8_t *data, size_t size, int bits) {
    Demuxer d;
    if (!d.open(data, size)) {
        check(!d.error().empty(), "open failed without a message");
        return 0;
    }
    const aacd_cli::StreamInfo &info = d.info();
    check(info.format != StreamFormat::kUnknown && info.sampling_index >= 0 && info.sampling_index <= 11,
          "format or stream sampling index");
    check(info.sampling_rate == aacd_fmt::sampling_rate_of_index(static_cast<uint32_t>(info.sampling_index)),
          "stream sampling rate");
    check(info.channels >= 0 && info.channels <= 6, "stream channels");
    // Program configurations come only from ADIF (up to 16) and LATM or MP4.
    const int max_pce = info.format == StreamFormat::kAdif ? 16 : info.format == StreamFormat::kAdts ? 0 : 1;

    Instance inst(bits);
    inst.cfg.check_frame_length = 1;
    // Every ADTS frame yields at most four blocks and moves at least one
    // byte on; ADIF blocks consume at least one byte each; a LOAS frame of
    // three bytes or more carries at most 64 blocks; an MP4 sample table
    // entry takes at least half a byte (stz2) and fragments are capped.
    const uint64_t limit = 64 * static_cast<uint64_t>(size) + (uint64_t{1} << 20);
    for (uint64_t blocks = 0;; ++blocks) {
        aacd_cli::RawBlock b;
        const Demuxer::Result r = d.next(&b);
        // Only a frame cut short by the end of the data moves the position
        // (start of the next frame) past the end.
        check(d.position() <= d.size() || d.truncated_frames() > 0, "position past the end");
        check(r != Demuxer::Result::kError || !d.error().empty(), "error without a message");
        if (r != Demuxer::Result::kBlock) return blocks;
        check(blocks < limit, "blocks without progress");
        check(b.data != nullptr && b.size >= 0, "null block or negative size");
        check(b.lost || b.size == 0 || (b.data >= data && b.data + b.size <= data + size), "block outside the input");
        const AacdBlockParams &p = *d.params();
        check(p.num_prog_configs >= 0 && p.num_prog_configs <= max_pce, "program configuration count");
        check(p.num_prog_configs > 0 ? p.prog_configs != nullptr : p.sampling_index <= 11, "stream parameters");
        if (info.format == StreamFormat::kAdts && b.bounded && !b.lost)
            check(p.frame_bytes == b.size, "ADTS frame_bytes");

        inst.cfg.block_params = d.params();
        inst.cfg.frame_lost = b.lost ? 1 : 0;
        int32_t s = inst.decode(b.data, b.size);
        if (abandoned(s)) {
            inst.cfg.frame_lost = 1;
            s = inst.decode(nullptr, 0);
            check(s == AACD_OK, "lost block after an abandoned call");
        }
        if (!b.bounded) {
            const uint32_t used = s == AACD_OK ? inst.out.bits_consumed / 8 : 0;
            d.consume(static_cast<int32_t>(used));
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    aacd_cli::HostOptions opt;
    opt.bits = (size & 1) ? 24 : 16;
    opt.lose_probability = (size & 2) ? 0.125 : 0.0;
    opt.lose_seed = size;
    const uint64_t blocks = walk(data, size, opt.bits);

    // The host's own loop over the same bytes.
    Demuxer d;
    if (!d.open(data, size)) return 0;
    aacd_cli::HostDecoder host;
    std::string err;
    check(host.init(opt, &err), "host init");
    uint64_t frames = 0;
    const auto sink = [&](const aacd_cli::OutFrame &f) {
        check(f.layout != nullptr && f.layout->channels >= 0 && f.layout->channels <= 6, "host layout");
        for (int k = 0; k < f.layout->channels; ++k) {
            check(f.layout->slot[k] >= 0 && f.layout->slot[k] < 6, "host layout slot");
            const int32_t *plane = f.planes + aacd_cli::kPlaneStride * f.layout->slot[k];
            check(UntracedWordsOk(plane, 1024, 1024, opt.bits), "host pcm range");
        }
        ++frames;
        return true;
    };
    const bool ok = host.run(d, sink, &err);
    check(ok || !err.empty(), "host failed without a message");
    const aacd_cli::HostStats &st = host.stats();
    // The host stops early, with a message, on a stream whose first frame
    // has no channel it can output; otherwise it sees every block.
    check(ok ? st.blocks == blocks : st.blocks <= blocks, "host saw other blocks");
    check(st.frames_out == frames && (!ok || frames == st.blocks), "frame count, one frame per block");
    check(st.concealed <= st.blocks, "concealed count");
    return 0;
}
