// host.cpp - decoding loop of the command-line host; see host.h.
#include "host_decoder.h"

#include <cstdlib>
#include <cstring>

namespace aacd_cli {

HostDecoder::~HostDecoder() {
    for (void *&b : blocks_) {
        std::free(b);
        b = nullptr;
    }
}

bool HostDecoder::init(const HostOptions &opt, std::string *err) {
    opt_ = opt;
    cfg_ = AacdDecoderConfig{};
    if (aacd_query_dec_mem(&cfg_) != AACD_OK) {
        *err = "decoder memory query failed";
        return false;
    }
    for (int k = 0; k < 8; ++k) {
        const uint32_t size = cfg_.mem_info.blocks[k].size;
        if (size == 0) continue;
        const size_t rounded = (static_cast<size_t>(size) + 31) & ~static_cast<size_t>(31);
        blocks_[k] = std::aligned_alloc(32, rounded);
        if (blocks_[k] == nullptr) {
            *err = "out of memory";
            return false;
        }
        std::memset(blocks_[k], 0, rounded);
        cfg_.mem_info.blocks[k].base = blocks_[k];
    }
    cfg_.output_bits = static_cast<uint8_t>(opt.bits);
    const int32_t st = aacd_decoder_init(&cfg_);
    if (st != AACD_OK) {
        *err = "decoder initialisation failed with status " + std::to_string(st);
        return false;
    }
    rng_ = opt.lose_seed * 0x9E3779B97F4A7C15ull + 0x2545F4914F6CDD1Dull;
    stats_ = HostStats{};
    have_layout_ = false;
    return true;
}

bool HostDecoder::next_lose() {
    if (opt_.lose_probability <= 0.0) return false;
    // xorshift64*: reproducible for a given seed on every platform.
    rng_ ^= rng_ >> 12;
    rng_ ^= rng_ << 25;
    rng_ ^= rng_ >> 27;
    const uint64_t r = (rng_ * 0x2545F4914F6CDD1Dull) >> 11;
    return static_cast<double>(r) * (1.0 / 9007199254740992.0) < opt_.lose_probability;
}

bool HostDecoder::call(const uint8_t *data, int32_t size, bool lost, AacdFrameOutput *out,
                       int32_t *status) {
    static const uint8_t kNothing[1] = {0};
    if (data == nullptr) {
        data = kNothing;
        size = 0;
    }
    cfg_.check_frame_length = 1;
    cfg_.frame_lost = lost ? 1u : 0u;
    int32_t st = aacd_decode_frame(&cfg_, out, pcm_, data, size);
    ++stats_.statuses[st];
    if (st == AACD_ERR_MS_STEREO || st == AACD_ERR_IS_STEREO || st == AACD_ERR_DEINTERLEAVE) {
        // Abandoned without output: conceal the block instead.
        cfg_.frame_lost = 1;
        st = aacd_decode_frame(&cfg_, out, pcm_, data, size);
        ++stats_.statuses[st];
        lost = true;
    }
    *status = st;
    switch (st) {
    case AACD_OK:
    case AACD_ERR_ELEMENT:
    case AACD_ERR_COUPLING:
    case AACD_ERR_CONFIG:
    case AACD_ERR_PROG_CONFIG:
        break;
    default:
        return false;
    }
    if (lost || st != AACD_OK) ++stats_.concealed;
    return true;
}

bool HostDecoder::emit(const AacdFrameOutput &out, const Sink &sink) {
    uint32_t slots = 0;
    for (int s = 0; s < 6; ++s) {
        const int32_t *present = cfg_.channel_refs[s][0];
        if (present != nullptr && *present != 0) slots |= 1u << s;
    }
    const ChannelLayout now = layout_for_slots(slots);
    if (!have_layout_) {
        layout_ = now;
        rate_ = out.sampling_rate;
        have_layout_ = true;
    }
    const int n_in = static_cast<int>(out.num_channels);
    const int n_out = layout_.channels;
    // For each WAV channel, the decoder's channel carrying its speaker.
    int src[6];
    for (int k = 0; k < n_out; ++k) {
        src[k] = -1;
        for (int j = 0; j < now.channels; ++j) {
            if (now.speaker[j] == layout_.speaker[k] && now.source[j] < n_in) src[k] = now.source[j];
        }
    }
    for (int n = 0; n < 1024; ++n) {
        for (int k = 0; k < n_out; ++k) {
            wav_[n * n_out + k] = src[k] >= 0 ? pcm_[n * n_in + src[k]] : 0;
        }
    }
    ++stats_.frames_out;
    OutFrame f{wav_, &layout_, rate_};
    return sink(f);
}

bool HostDecoder::run(Demuxer &demux, const Sink &sink, std::string *err, const Progress &progress) {
    AacdFrameOutput out{};
    int32_t status = 0;
    bool first = true;
    for (;;) {
        RawBlock b;
        const Demuxer::Result r = demux.next(&b);
        if (r == Demuxer::Result::kError) {
            *err = demux.error();
            break;
        }
        if (r == Demuxer::Result::kEnd) break;
        cfg_.block_params = demux.params();
        bool lost = b.lost;
        if (!lost && b.bounded && next_lose()) {
            lost = true;
            ++stats_.dropped;
        }
        ++stats_.blocks;
        if (!call(b.data, b.size, lost, &out, &status)) {
            *err = "decoder returned unexpected status " + std::to_string(status);
            return false;
        }
        if (!b.bounded) {
            demux.consume(status == AACD_OK && out.bits_consumed > 0
                              ? static_cast<int32_t>(out.bits_consumed / 8)
                              : 0);
        }
        if (!first && !have_layout_ && out.num_channels == 0) {
            *err = stats_.statuses.count(AACD_ERR_CONFIG) != 0
                       ? "the stream's program configuration is not supported (status 35)"
                       : "the first frame carries no channel the decoder can output (status " +
                             std::to_string(status) + ")";
            return false;
        }
        if (!first && !emit(out, sink)) {
            *err = "cannot write the output";
            return false;
        }
        first = false;
        if (progress && (stats_.blocks & 255) == 0) progress(demux, stats_);
    }
    if (!first) {
        // Flush the block held back by the decoder.
        if (!call(nullptr, 0, true, &out, &status)) {
            *err = "decoder returned unexpected status " + std::to_string(status);
            return false;
        }
        // The flush call stands for no input block: keep it out of the counts.
        --stats_.concealed;
        if (--stats_.statuses[status] == 0) stats_.statuses.erase(status);
        if (!emit(out, sink)) {
            *err = "cannot write the output";
            return false;
        }
    }
    return err->empty();
}

} // namespace aacd_cli
