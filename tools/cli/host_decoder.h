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
 * Losses: blocks the container marks lost, and blocks dropped on purpose
 * (--lose), are passed with frame_lost = 1.  A call abandoned with status 44,
 * 45 or 46 (no output) is repeated with frame_lost = 1, so the block is
 * concealed and the frame still comes out.  The frame-length check is on, so
 * a block that reads past its stated length is concealed.
 *
 * Output: every frame is handed over in WAV channel order (wav.h).  The
 * layout is fixed by the first frame handed over; later frames with other
 * slots are mapped speaker by speaker (missing speakers silent).
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
    std::map<int32_t, uint64_t> statuses; // status -> calls
};

// One output frame: 1024 samples per channel, interleaved, WAV order.
struct OutFrame {
    const int32_t *samples;
    const ChannelLayout *layout;
    uint32_t sample_rate;
};

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

    // Decodes every block of the demuxer.  False with a message on a
    // container error, a sink failure or an unexpected decoder status; the
    // frames decoded up to then have been handed over.
    [[nodiscard]] bool run(Demuxer &demux, const Sink &sink, std::string *err,
                           const Progress &progress = nullptr);

    [[nodiscard]] const HostStats &stats() const { return stats_; }
    [[nodiscard]] const AacdDecoderConfig &config() const { return cfg_; }

private:
    // One call; returns false on an unexpected status.
    bool call(const uint8_t *data, int32_t size, bool lost, AacdFrameOutput *out, int32_t *status);
    bool emit(const AacdFrameOutput &out, const Sink &sink);
    bool next_lose();

    HostOptions opt_{};
    AacdDecoderConfig cfg_{};
    void *blocks_[8] = {};
    int32_t pcm_[6 * 1024] = {};
    int32_t wav_[6 * 1024] = {};
    bool have_layout_ = false;
    ChannelLayout layout_{};
    uint32_t rate_ = 0;
    uint64_t rng_ = 0;
    HostStats stats_{};
};

} // namespace aacd_cli
