// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// host_decoder.cpp - decoding loop of the command-line host; see host_decoder.h.
#include "host_decoder.h"

#include <cstdlib>
#include <cstring>

namespace aacd_cli {

namespace {

// Why the decoder refuses a block that starts with a program configuration
// element (empty when it does not, or the element is fine).
std::string in_band_refusal(const uint8_t *p, int32_t n) {
    aacd_fmt::BitReader br = aacd_fmt::bit_reader(p, n > 0 ? static_cast<size_t>(n) : 0);
    AacdProgConfig pce;
    if (aacd_fmt::read_bits(br, 3) != 5 || !aacd_fmt::read_prog_config(br, &pce)) return "";
    const char *why = aacd_fmt::prog_config_unsupported_reason(pce);
    return why != nullptr ? why : "";
}

} // namespace

const char *status_name(int32_t status) {
    switch (status) {
    case AACD_OK: return "decoded";
    case AACD_ERR_ELEMENT: return "damaged channel element";
    case AACD_ERR_COUPLING: return "coupling channel element (not supported)";
    case AACD_ERR_CONFIG: return "unsupported or damaged stream configuration";
    case AACD_ERR_PROG_CONFIG: return "program configuration does not fit the channel slots";
    case AACD_ERR_MS_STEREO: return "damaged mid/side stereo data";
    case AACD_ERR_IS_STEREO: return "damaged intensity stereo data";
    case AACD_ERR_DEINTERLEAVE: return "damaged short-window grouping";
    default: return "unexpected status";
    }
}

HostDecoder::~HostDecoder() {
    for (void *&b : blocks_) {
        std::free(b);
        b = nullptr;
    }
    std::free(pcm_);
    std::free(planes_);
}

bool HostDecoder::init(const HostOptions &opt, std::string *err) {
    opt_ = opt;
    rng_ = opt.lose_seed * 0x9E3779B97F4A7C15ull + 0x2545F4914F6CDD1Dull;
    stats_ = HostStats{};
    delivered_ = false;
    if (pcm_ == nullptr) {
        pcm_ = static_cast<int32_t *>(std::aligned_alloc(64, 6 * 1024 * sizeof(int32_t)));
        planes_ = static_cast<int32_t *>(std::aligned_alloc(64, 6 * kPlaneStride * sizeof(int32_t)));
        if (pcm_ == nullptr || planes_ == nullptr) {
            *err = "out of memory";
            return false;
        }
        std::memset(planes_, 0, 6 * kPlaneStride * sizeof(int32_t));
    }
    return restart(err);
}

bool HostDecoder::restart(std::string *err) {
    cfg_ = AacdDecoderConfig{};
    if (aacd_query_dec_mem(&cfg_) != AACD_OK) {
        *err = "decoder memory query failed";
        return false;
    }
    for (int k = 0; k < 8; ++k) {
        const uint32_t size = cfg_.mem_info.blocks[k].size;
        if (size == 0) continue;
        const size_t rounded = (static_cast<size_t>(size) + 31) & ~static_cast<size_t>(31);
        if (blocks_[k] == nullptr) blocks_[k] = std::aligned_alloc(32, rounded);
        if (blocks_[k] == nullptr) {
            *err = "out of memory";
            return false;
        }
        std::memset(blocks_[k], 0, rounded);
        cfg_.mem_info.blocks[k].base = blocks_[k];
    }
    cfg_.output_bits = static_cast<uint8_t>(opt_.bits);
    const int32_t st = aacd_decoder_init(&cfg_);
    if (st != AACD_OK) {
        *err = "decoder initialisation failed with status " + std::to_string(st);
        return false;
    }
    std::memset(sbr_, 0, sizeof sbr_);
    cfg_.sbr.state = cfg_.state;
    cfg_.sbr.payload = &sbr_[0];
    cfg_.sbr.swap = &sbr_[1];
    cfg_.sbr.previous = &sbr_[2];
    cfg_.sbr.core_output = planes_;
    cfg_.sbr_mode = 1;
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
    if (sbr_[0].entry_count > 0) ++stats_.sbr_frames;
    return true;
}

bool HostDecoder::emit(const AacdFrameOutput &out, const Sink &sink) {
    uint32_t slots = 0;
    for (int s = 0; s < 6; ++s) {
        const int32_t *present = cfg_.channel_refs[s][0];
        if (present != nullptr && *present != 0) slots |= 1u << s;
    }
    if (static_cast<uint32_t>(__builtin_popcount(slots)) != out.num_channels) {
        // The presence words belong to the frame delivered; should they
        // ever disagree with its channel count, take the usual slots of
        // that count rather than read planes that were not written.
        static constexpr uint32_t kUsual[7] = {0x00, 0x01, 0x06, 0x07, 0x0F, 0x1F, 0x3F};
        slots = kUsual[out.num_channels < 7 ? out.num_channels : 0];
    }
    if (slots != layout_.slot_mask || layout_.channels == 0) layout_ = layout_for_slots(slots);
    ++stats_.frames_out;
    if (layout_.channels > 0) delivered_ = true;
    return sink(OutFrame{planes_, &layout_, out.sampling_rate});
}

bool HostDecoder::run(Demuxer &demux, const Sink &sink, std::string *err, const Progress &progress,
                      uint64_t max_blocks) {
    AacdFrameOutput out{};
    int32_t status = 0;
    bool first = true;
    uint32_t serial = demux.config_serial();
    std::string refusal;
    auto flush = [&]() {
        // The flush call stands for no input block: keep it out of the counts.
        if (!call(nullptr, 0, true, &out, &status)) {
            *err = "decoder returned unexpected status " + std::to_string(status);
            return false;
        }
        --stats_.concealed;
        if (--stats_.statuses[status] == 0) stats_.statuses.erase(status);
        if (!emit(out, sink)) {
            *err = "cannot write the output";
            return false;
        }
        return true;
    };
    err->clear();
    for (;;) {
        if (max_blocks != 0 && stats_.blocks >= max_blocks) break;
        RawBlock b;
        const Demuxer::Result r = demux.next(&b);
        if (r == Demuxer::Result::kError) {
            *err = demux.error();
            break;
        }
        if (r == Demuxer::Result::kEnd) break;
        if (demux.config_serial() != serial) {
            serial = demux.config_serial();
            if (!first) {
                // Finish the old stream, start the new one from scratch.
                if (!flush() || !restart(err)) return false;
                ++stats_.restarts;
                first = true;
            }
        }
        cfg_.block_params = demux.params();
        bool lost = b.lost;
        if (lost) ++stats_.container_lost;
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
        if (!delivered_ && status == AACD_ERR_CONFIG && refusal.empty()) refusal = in_band_refusal(b.data, b.size);
        if (!first && !delivered_ && out.num_channels == 0 &&
            (stats_.statuses.count(AACD_ERR_CONFIG) || stats_.statuses.count(AACD_ERR_PROG_CONFIG) ||
             stats_.statuses.count(AACD_ERR_COUPLING))) {
            *err = stats_.statuses.count(AACD_ERR_COUPLING)
                       ? "coupling channel elements are not supported"
                       : !refusal.empty() ? refusal : "the stream's channel configuration is not supported";
            return false;
        }
        if (!first && !emit(out, sink)) {
            *err = "cannot write the output";
            return false;
        }
        first = false;
        if (progress && (stats_.blocks & 255) == 0) progress(demux, stats_);
    }
    if (!first && !flush()) return false;
    return err->empty();
}

} // namespace aacd_cli
