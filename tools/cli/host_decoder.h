// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
/*
 * host_decoder.h - drives the decoder over a demuxed stream the way a host should.
 *
 * Memory: the plan of aacd_query_dec_mem, each block from aligned_alloc
 * (32-byte aligned, size rounded up to 32) and zero-filled, so the first
 * frame starts from silence.
 *
 * Delay removal: the decoder outputs, with each call, the block given to the
 * previous call.  The output of the first call is dropped, and after the last
 * block one call with frame_lost = 1 flushes the block held back, so there is
 * exactly one 1024-sample frame per input block, aligned with the input.
 *
 * Losses: blocks the container marks lost (cut short, or lost to
 * resynchronisation), and blocks dropped on purpose (--lose), are passed with
 * frame_lost = 1.  A call abandoned with status 44, 45 or 46 (no output) is
 * repeated with frame_lost = 1, so the block is concealed and the frame
 * still comes out.  The frame-length check is on, so a block that reads
 * past its stated length is concealed.
 *
 * Stream changes: when the container announces another configuration
 * (Demuxer::config_serial), the block held back is flushed under the old
 * one and the decoder restarts for the new one, as if a new stream began.
 *
 * Output: the decoder runs in SBR hand-off mode, which writes every channel
 * slot to a plane of its own (the same samples as the interleaved output)
 * and hands over the SBR payloads of each frame: a stream that carries SBR
 * data (HE-AAC with implicit signalling) is detected that way, and the
 * planes are interleaved and packed straight into the WAV layout in one
 * pass.  Each frame comes with the layout of its present channel slots.
 */
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>

#include "aacd.h"
#include "container.h"
#include "wav.h"

namespace aacd_cli {

struct HostOptions {
    int bits = 16;           // 16 or 24
    double lose_probability = 0.0;
    uint64_t lose_seed = 1;
};

struct HostStats {
    uint64_t blocks = 0;          // raw data blocks fed to the decoder
    uint64_t frames_out = 0;      // frames handed to the sink
    uint64_t concealed = 0;       // blocks lost or reported bad by a status
    uint64_t dropped = 0;         // of those, dropped on purpose (--lose)
    uint64_t container_lost = 0;  // of those, marked lost by the container
    uint64_t restarts = 0;        // decoder restarts at configuration changes
    uint64_t sbr_frames = 0;      // frames carrying SBR data
    std::map<int32_t, uint64_t> statuses; // status -> calls
};

// Name of a decoder status in words.
[[nodiscard]] const char *status_name(int32_t status);

class HostDecoder {
public:
    HostDecoder() = default;
    HostDecoder(const HostDecoder &) = delete;
    HostDecoder &operator=(const HostDecoder &) = delete;
    ~HostDecoder();

    // Allocates the blocks and initialises the instance.
    [[nodiscard]] bool init(const HostOptions &opt, std::string *err);

    using Sink = std::function<bool(const OutFrame &)>;
    using Progress = std::function<void(const Demuxer &, const HostStats &)>;

    // Decodes every block of the demuxer (at most max_blocks, 0 = all).
    // False with a message on a container error, a sink failure, a stream
    // the decoder refuses from its first frame on, or an unexpected decoder
    // status; the frames decoded up to then have been handed over.
    [[nodiscard]] bool run(Demuxer &demux, const Sink &sink, std::string *err,
                           const Progress &progress = nullptr, uint64_t max_blocks = 0);

    [[nodiscard]] const HostStats &stats() const { return stats_; }
    [[nodiscard]] const AacdDecoderConfig &config() const { return cfg_; }

private:
    bool restart(std::string *err);
    // One call; returns false on an unexpected status.
    bool call(const uint8_t *data, int32_t size, bool lost, AacdFrameOutput *out, int32_t *status);
    bool emit(const AacdFrameOutput &out, const Sink &sink);
    bool next_lose();

    HostOptions opt_{};
    AacdDecoderConfig cfg_{};
    void *blocks_[8] = {};
    int32_t *pcm_ = nullptr;    // interleaved output (unused in hand-off mode)
    int32_t *planes_ = nullptr; // per-slot output
    AacdSbrPayload sbr_[3] = {};
    ChannelLayout layout_{};
    bool delivered_ = false;    // a frame with channels was handed over
    uint64_t rng_ = 0;
    HostStats stats_{};
};

} // namespace aacd_cli
