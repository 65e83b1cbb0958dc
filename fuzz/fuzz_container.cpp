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
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "aacd.h"
#include "container.h"
#include "fuzz_common.h"
#include "host_decoder.h"

namespace {

using aacd_cli::Demuxer;
using aacd_cli::RawBlock;
using aacd_cli::StreamFormat;
using namespace aacd_fuzz;

aacd_cli::HostOptions optionsFor(size_t size) {
    aacd_cli::HostOptions o;
    o.bits = (size & 1) ? 24 : 16;
    o.lose_probability = (size & 2) ? 0.125 : 0.0;
    o.lose_seed = size;
    return o;
}

// One decoder instance in heap blocks of exactly the requested sizes.
struct Instance {
    AacdDecoderConfig cfg{};
    std::vector<std::vector<uint8_t>> mem{5};
    bool init(int bits) {
        std::memset(&cfg, 0, sizeof cfg);
        if (aacd_query_dec_mem(&cfg) != AACD_OK) return false;
        for (int k = 0; k < 5; ++k) {
            mem[k].assign(cfg.mem_info.blocks[k].size, 0);
            cfg.mem_info.blocks[k].base = mem[k].data();
        }
        cfg.output_bits = static_cast<uint8_t>(bits);
        return aacd_decoder_init(&cfg) == AACD_OK;
    }
};

// The stream parameters the demuxer attaches to a block.
void checkParams(const Demuxer &d, const AacdBlockParams &p) {
    if (p.num_prog_configs == 0) {
        check(p.sampling_index <= 11, "sampling index handed to the decoder");
    } else {
        check(d.info().format != StreamFormat::kAdts, "program configurations in ADTS parameters");
        check(p.num_prog_configs >= 1 && p.num_prog_configs <= (d.info().format == StreamFormat::kAdif ? 16 : 1),
              "program configuration count");
        check(p.prog_configs != nullptr, "program configuration records");
    }
}

// Walks every block of the stream, decoding each; returns the block count.
uint64_t walk(const uint8_t *data, size_t size, int bits) {
    Demuxer d;
    if (!d.open(data, size)) {
        check(!d.error().empty(), "open failed without a message");
        return 0;
    }
    const aacd_cli::StreamInfo &info = d.info();
    check(info.format != StreamFormat::kUnknown, "format");
    check(info.sampling_index >= 0 && info.sampling_index <= 11, "stream sampling index");
    check(info.sampling_rate == aacd_fmt::sampling_rate_of_index(
                                    static_cast<uint32_t>(info.sampling_index)),
          "stream sampling rate");
    check(info.channels >= 0 && info.channels <= 6, "stream channels");

    Instance inst;
    if (!inst.init(bits)) fail("init");
    AacdDecoderConfig &cfg = inst.cfg;
    std::vector<int32_t> pcm(6 * 1024 + 64);
    const uint8_t nothing = 0;

    // Every ADTS frame yields at most four blocks and moves at least one
    // byte on; ADIF blocks consume at least one byte each; a LOAS frame of
    // three bytes or more carries at most 64 blocks; an MP4 sample table
    // entry takes at least half a byte (stz2) and fragments are capped.
    const uint64_t limit = 64 * static_cast<uint64_t>(size) + (uint64_t{1} << 20);
    uint64_t blocks = 0;
    for (;;) {
        RawBlock b;
        const Demuxer::Result r = d.next(&b);
        // Only a frame cut short by the end of the data moves the position
        // (start of the next frame) past the end.
        check(d.position() <= d.size() || d.truncated_frames() > 0, "position past the end");
        if (r == Demuxer::Result::kError) {
            check(!d.error().empty(), "error without a message");
            break;
        }
        if (r == Demuxer::Result::kEnd) break;
        check(r == Demuxer::Result::kBlock, "result");
        check(++blocks <= limit, "blocks without progress");
        check(b.data != nullptr, "null block");
        check(b.size >= 0, "negative block size");
        if (!b.lost && b.size > 0) {
            check(b.data >= data && b.data + b.size <= data + size, "block outside the input");
        }
        const AacdBlockParams &p = *d.params();
        checkParams(d, p);
        if (info.format == StreamFormat::kAdts && b.bounded && !b.lost) {
            check(p.frame_bytes == b.size, "ADTS frame_bytes");
        }

        cfg.block_params = d.params();
        cfg.frame_lost = b.lost ? 1 : 0;
        cfg.check_frame_length = 1;
        UntracedFill(pcm.data(), pcm.size());
        AacdFrameOutput out{};
        int32_t s = aacd_decode_frame(&cfg, &out, pcm.data(), b.size > 0 ? b.data : &nothing,
                                      b.size);
        check(documented(s), "status");
        if (abandoned(s)) {
            check(UntracedWordsOk(pcm.data(), 0, pcm.size(), bits), "output of an abandoned call");
            cfg.frame_lost = 1;
            s = aacd_decode_frame(&cfg, &out, pcm.data(), &nothing, 0);
            check(s == AACD_OK, "lost block after an abandoned call");
        }
        check(out.num_channels <= 6, "channels");
        check(out.frame_samples == 1024, "frame samples");
        check(out.bits_consumed <= 8u * static_cast<uint32_t>(b.size), "bits consumed");
        check(UntracedWordsOk(pcm.data(), 1024u * out.num_channels, pcm.size(), bits),
              "pcm range or overrun");
        if (!b.bounded) {
            d.consume(s == AACD_OK && out.bits_consumed > 0
                          ? static_cast<int32_t>(out.bits_consumed / 8)
                          : 0);
        }
    }
    return blocks;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const aacd_cli::HostOptions opt = optionsFor(size);
    const uint64_t blocks = walk(data, size, opt.bits);

    // The host's own loop over the same bytes.
    Demuxer d;
    if (!d.open(data, size)) return 0;
    auto host = std::make_unique<aacd_cli::HostDecoder>();
    std::string err;
    if (!host->init(opt, &err)) fail("host init");
    uint64_t frames = 0;
    const bool ok = host->run(
        d,
        [&](const aacd_cli::OutFrame &f) {
            check(f.layout != nullptr && f.layout->channels >= 0 && f.layout->channels <= 6,
                  "host layout");
            for (int k = 0; k < f.layout->channels; ++k) {
                check(f.layout->slot[k] >= 0 && f.layout->slot[k] < 6, "host layout slot");
                const int32_t *plane = f.planes + aacd_cli::kPlaneStride * f.layout->slot[k];
                check(UntracedWordsOk(plane, 1024, 1024, opt.bits), "host pcm range");
            }
            ++frames;
            return true;
        },
        &err);
    if (!ok) check(!err.empty(), "host failed without a message");
    const aacd_cli::HostStats &st = host->stats();
    // The host stops early, with a message, on a stream whose first frame
    // has no channel it can output; otherwise it sees every block.
    check(ok ? st.blocks == blocks : st.blocks <= blocks, "host saw other blocks");
    check(st.frames_out == frames, "frame count");
    if (ok) check(frames == st.blocks, "one frame per block");
    check(st.concealed <= st.blocks, "concealed count");
    return 0;
}
