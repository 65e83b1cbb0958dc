// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// container.cpp - ADTS, ADIF and LATM/LOAS demultiplexing; see container.h.
#include "container.h"

#include <cstring>

#include "input.h"
#include "mp4.h"

namespace aacd_cli {

using aacd_fmt::AdtsHeader;

namespace {
// Leading bytes searched for the first frame.
constexpr size_t kSearch = size_t{1} << 20;
} // namespace

const char *format_name(StreamFormat f) {
    switch (f) {
    case StreamFormat::kAdts: return "ADTS";
    case StreamFormat::kAdif: return "ADIF";
    case StreamFormat::kLatm: return "LATM/LOAS";
    case StreamFormat::kMp4: return "MP4";
    default: return "unknown";
    }
}

Demuxer::Demuxer() = default;

Demuxer::~Demuxer() {
    delete mp4_;
    delete own_in_;
}

bool Demuxer::fail(const std::string &msg) {
    error_ = msg;
    return false;
}

void Demuxer::set_lost(RawBlock *block) {
    block->data = kEmpty;
    block->size = 0;
    block->bounded = true;
    block->lost = true;
    params_.frame_bytes = 0;
}

uint64_t Demuxer::position() const { return in_ != nullptr ? in_->pos() : 0; }
uint64_t Demuxer::size() const { return in_ != nullptr ? in_->size() : 0; }

Demuxer::Result Demuxer::end_or_error() {
    if (!in_->error().empty()) {
        error_ = in_->error();
        return Result::kError;
    }
    return Result::kEnd;
}

const uint8_t *Demuxer::peek(size_t off, size_t n) {
    return in_->need(off + n) ? in_->data() + off : nullptr;
}

bool Demuxer::open(const uint8_t *data, size_t size) {
    delete own_in_;
    own_in_ = new Input;
    own_in_->open_memory(data, size);
    return open(own_in_);
}

bool Demuxer::open(Input *in) {
    in_ = in;
    pos_ = in->pos();
    info_ = StreamInfo{};
    params_ = AacdBlockParams{};
    latm_ = aacd_fmt::LatmConfig{};
    payloads_ = aacd_fmt::LatmPayloads{};
    error_.clear();
    block_index_ = block_count_ = 0;
    awaiting_consume_ = false;
    lost_pending_ = 0;
    frames_ = skipped_bytes_ = resyncs_ = truncated_ = resync_lost_ = 0;
    const uint8_t *p = peek(0, 1);
    if (p == nullptr) return fail(in->error().empty() ? "input is empty" : in->error());
    p = peek(0, 12);
    if (p != nullptr && mp4_probe(p, 12)) {
        delete mp4_;
        mp4_ = new Mp4Demuxer;
        if (!mp4_->open(in, &info_, &params_)) return fail(mp4_->error());
        return true;
    }
    p = peek(0, 4);
    if (p != nullptr && std::memcmp(p, "ADIF", 4) == 0) return open_adif();
    // The first frame: a header at the very start is taken as it is; after
    // leading bytes of something else it must be confirmed by the next one.
    size_t len = 0;
    AdtsHeader h;
    for (size_t off = 0; off < kSearch && (p = peek(off, 7)) != nullptr; ++off) {
        if (aacd_fmt::parse_loas_header(p, 7, &len) && confirmed_loas_at(off)) {
            in_->skip(off);
            skipped_bytes_ = off;
            return open_latm();
        }
        p = peek(off, 7);
        if (aacd_fmt::parse_adts_header(p, 7, &h) && (off == 0 || confirmed_frame_at(off, false))) {
            in_->skip(off);
            skipped_bytes_ = off;
            return open_adts();
        }
    }
    if (!in_->error().empty()) return fail(in_->error());
    return fail("no ADTS, LATM/LOAS, ADIF or MP4 header found (not an AAC stream?)");
}

bool Demuxer::open_adif() {
    // The header holds at most 16 program configurations of a few hundred
    // bytes each.
    (void)in_->need(16384);
    if (const char *why = aacd_fmt::parse_adif_header(in_->data(), in_->avail(), &adif_)) return fail(why);
    info_.format = StreamFormat::kAdif;
    info_.bitrate = adif_.bitrate;
    info_.num_pce = adif_.num_pce;
    // The decoder follows the configurations carrying the first tag.
    const AacdProgConfig &first = adif_.pce[0];
    for (int i = 0; i < adif_.num_pce; ++i) {
        if (adif_.pce[i].elementInstanceTag != first.elementInstanceTag) continue;
        if (const char *why = aacd_fmt::prog_config_unsupported_reason(adif_.pce[i])) return fail(why);
    }
    info_.sampling_index = first.samplingFrequencyIndex;
    info_.sampling_rate = aacd_fmt::sampling_rate_of_index(static_cast<uint32_t>(first.samplingFrequencyIndex));
    info_.channels = aacd_fmt::prog_config_channels(first);
    params_.num_prog_configs = adif_.num_pce;
    params_.prog_configs = adif_.pce;
    params_.sampling_index = static_cast<uint32_t>(first.samplingFrequencyIndex);
    pos_ = in_->pos() + adif_.header_bytes;
    return true;
}

bool Demuxer::open_adts() {
    AdtsHeader h;
    (void)aacd_fmt::parse_adts_header(peek(0, 7), 7, &h);
    if (const char *why = aacd_fmt::adts_unsupported_reason(h)) return fail(why);
    info_.format = StreamFormat::kAdts;
    info_.mpeg_id = h.mpeg_id;
    info_.sampling_index = h.sampling_index;
    info_.sampling_rate = aacd_fmt::sampling_rate_of_index(static_cast<uint32_t>(h.sampling_index));
    info_.channel_config = h.channel_config;
    info_.channels = aacd_fmt::channels_of_config(h.channel_config);
    info_.crc = !h.protection_absent;
    info_.raw_blocks = h.raw_blocks;
    cur_ = h;
    params_.sampling_index = static_cast<uint32_t>(h.sampling_index);
    pos_ = in_->pos();
    return true;
}

void Demuxer::set_config(const aacd_fmt::AudioSpecificConfig &asc) {
    info_.object_type = asc.object_type;
    info_.sbr_signalled = asc.sbr || asc.ps;
    info_.sampling_index = asc.sampling_index;
    info_.sampling_rate = asc.sampling_rate;
    info_.channel_config = asc.channel_config;
    info_.channels = asc.channels;
    const int32_t id = params_.config_id;
    aacd_fmt::block_params_from_asc(&latm_.asc, &params_);
    params_.config_id = id + 1;
}

bool Demuxer::open_latm() {
    info_.format = StreamFormat::kLatm;
    pos_ = in_->pos();
    // The configuration comes with the first element that carries one;
    // elements before it cannot be decoded and are skipped.
    for (uint64_t tries = 0; tries < 64; ++tries) {
        RawBlock b;
        const Result r = next_latm(&b);
        if (r == Result::kError) return false;
        if (r == Result::kEnd) return fail("LATM/LOAS stream without a StreamMuxConfig");
        if (latm_.valid) {
            --block_index_; // hand this payload out again with next()
            --frames_;
            config_serial_ = 0;
            return true;
        }
    }
    return fail("LATM/LOAS stream: no StreamMuxConfig in its first 64 frames");
}

bool Demuxer::same_fixed_header(const uint8_t *p) const {
    // Syncword, ID, layer, protection_absent (any), profile, sampling index,
    // private bit (any), channel configuration.
    return p[0] == 0xFF && (p[1] & 0xFE) == (0xF0 | (info_.mpeg_id << 3)) &&
           (p[2] & 0xFD) == ((cur_.profile << 6) | (info_.sampling_index << 2) | (info_.channel_config >> 2)) &&
           (p[3] >> 6) == (info_.channel_config & 3);
}

bool Demuxer::confirmed_frame_at(size_t off, bool match_stream) {
    AdtsHeader h;
    const uint8_t *p = peek(off, 7);
    if (p == nullptr || !aacd_fmt::parse_adts_header(p, 7, &h)) return false;
    if (match_stream && (h.profile != cur_.profile || h.sampling_index != info_.sampling_index ||
                         h.channel_config != info_.channel_config)) {
        return false;
    }
    const size_t next = off + static_cast<size_t>(h.frame_length);
    p = peek(next, 7);
    if (p != nullptr) {
        AdtsHeader n;
        return aacd_fmt::parse_adts_header(p, 7, &n);
    }
    if (in_->avail() == next) return true; // last frame
    // A frame running past the end is taken only as the stream's own last
    // frame (cut short); anywhere else it is a false syncword.
    return in_->avail() < next && match_stream;
}

bool Demuxer::confirmed_loas_at(size_t off) {
    size_t len = 0, len2 = 0;
    const uint8_t *p = peek(off, 3);
    if (p == nullptr || !aacd_fmt::parse_loas_header(p, 3, &len)) return false;
    const size_t next = off + 3 + len;
    p = peek(next, 3);
    if (p != nullptr) return aacd_fmt::parse_loas_header(p, 3, &len2);
    return in_->avail() == next;
}

bool Demuxer::resync(bool loas, uint64_t *lost_frames) {
    *lost_frames = 0;
    const uint8_t *p = peek(0, 4);
    if (!loas && p != nullptr && same_fixed_header(p)) ++*lost_frames;
    for (size_t scan = 1;; ++scan) {
        p = peek(scan, 7);
        if (p == nullptr) {
            skipped_bytes_ += in_->avail();
            in_->skip(in_->avail());
            pos_ = in_->pos();
            return false;
        }
        if (loas ? confirmed_loas_at(scan) : confirmed_frame_at(scan, true)) {
            in_->skip(scan);
            skipped_bytes_ += scan;
            pos_ = in_->pos();
            ++resyncs_;
            return true;
        }
        if (!loas && same_fixed_header(peek(scan, 7))) ++*lost_frames;
        if (scan >= kSearch) { // keep the window bounded
            in_->skip(scan);
            skipped_bytes_ += scan;
            scan = 0;
        }
    }
}

Demuxer::Result Demuxer::next(RawBlock *block) {
    if (!error_.empty()) return Result::kError;
    Result r = Result::kError;
    if (mp4_ != nullptr) {
        r = mp4_->next(block);
        if (r == Result::kError) error_ = mp4_->error();
        if (r == Result::kBlock) ++frames_;
        // The index lists samples the file does not hold: it is cut short.
        if (r == Result::kEnd && info_.total_blocks > frames_) truncated_ = info_.total_blocks - frames_;
        return r;
    }
    switch (info_.format) {
    case StreamFormat::kAdif: return next_adif(block);
    case StreamFormat::kAdts: return next_adts(block);
    case StreamFormat::kLatm: return next_latm(block);
    default: error_ = "demuxer not open"; return r;
    }
}

void Demuxer::consume(int32_t bytes) {
    if (!awaiting_consume_) return;
    awaiting_consume_ = false;
    if (info_.format == StreamFormat::kAdif) {
        if (bytes <= 0) {
            error_ = "ADIF stream: a raw data block could not be decoded, the next one cannot be found";
            return;
        }
        pos_ = pending_ + static_cast<uint64_t>(bytes);
        return;
    }
    const uint64_t end = frame_start_ + static_cast<uint64_t>(cur_.frame_length);
    if (bytes <= 0 || pending_ + static_cast<uint64_t>(bytes) > end) {
        frame_lost_ = true; // remaining blocks of this frame cannot be found
        return;
    }
    block_start_[block_index_] = pending_ + static_cast<uint64_t>(bytes);
}

Demuxer::Result Demuxer::next_adif(RawBlock *block) {
    if (awaiting_consume_) consume(0);
    if (!error_.empty()) return Result::kError;
    // A raw data block of six channels fits well within 64 KiB.
    constexpr size_t kMaxBlock = size_t{1} << 16;
    if (!in_->seek(pos_)) return end_or_error();
    (void)in_->need(kMaxBlock);
    if (in_->avail() == 0) return end_or_error();
    block->data = in_->data();
    block->size = static_cast<int32_t>(in_->avail() < kMaxBlock ? in_->avail() : kMaxBlock);
    block->bounded = false;
    block->lost = false;
    params_.frame_bytes = block->size;
    pending_ = pos_;
    awaiting_consume_ = true;
    ++frames_;
    return Result::kBlock;
}

bool Demuxer::start_frame(const AdtsHeader &h, Result *res) {
    if (h.profile != cur_.profile || aacd_fmt::adts_unsupported_reason(h)) {
        *res = Result::kError;
        const char *why = aacd_fmt::adts_unsupported_reason(h);
        return fail(why ? why : "profile changes within the stream");
    }
    if (h.sampling_index != info_.sampling_index || h.channel_config != info_.channel_config) {
        // A new stream configuration: the decoder restarts for it.
        info_.sampling_index = h.sampling_index;
        info_.sampling_rate = aacd_fmt::sampling_rate_of_index(static_cast<uint32_t>(h.sampling_index));
        info_.channel_config = h.channel_config;
        info_.channels = aacd_fmt::channels_of_config(h.channel_config);
        ++params_.config_id;
        ++config_serial_;
    }
    params_.sampling_index = static_cast<uint32_t>(h.sampling_index);
    cur_ = h;
    const uint64_t off = in_->pos();
    frame_start_ = off;
    block_index_ = 0;
    block_count_ = h.raw_blocks;
    frame_lost_ = false;
    frame_bounded_ = true;
    ++frames_;
    const uint64_t end = off + static_cast<uint64_t>(h.frame_length);
    pos_ = end;
    const uint8_t *f = peek(0, static_cast<size_t>(h.frame_length));
    if (f == nullptr) {
        // Cut short by the end of the data: every block of it is lost.
        ++truncated_;
        frame_lost_ = true;
        return true;
    }
    const uint64_t first = off + static_cast<uint64_t>(aacd_fmt::adts_first_block_offset(h));
    if (h.raw_blocks == 1) {
        block_start_[0] = first;
        block_end_[0] = end;
    } else if (!h.protection_absent) {
        // raw_data_block_position: start of blocks 1.. as byte offsets from
        // the start of the frame; every block is followed by its CRC word.
        block_start_[0] = first;
        for (int i = 1; i < h.raw_blocks; ++i) {
            const uint8_t *q = f + 7 + 2 * (i - 1);
            block_start_[i] = off + ((static_cast<uint64_t>(q[0]) << 8) | q[1]);
        }
        for (int i = 0; i < h.raw_blocks; ++i) {
            const uint64_t next = i + 1 < h.raw_blocks ? block_start_[i + 1] : end;
            if (next < block_start_[i] + 2 || next > end) {
                frame_lost_ = true; // inconsistent positions
                break;
            }
            block_end_[i] = next - 2;
        }
    } else {
        frame_bounded_ = false;
        block_start_[0] = first;
    }
    return true;
}

Demuxer::Result Demuxer::next_adts(RawBlock *block) {
    if (awaiting_consume_) consume(0);
    if (lost_pending_ > 0) {
        --lost_pending_;
        set_lost(block);
        return Result::kBlock;
    }
    if (block_index_ >= block_count_) {
        // Find the next frame.
        if (!in_->seek(pos_)) return end_or_error();
        AdtsHeader h;
        const uint8_t *p = peek(0, 7);
        if (p == nullptr) {
            skipped_bytes_ += in_->avail();
            in_->skip(in_->avail());
            pos_ = in_->pos();
            return end_or_error();
        }
        // At the expected position a header of the same stream is taken as it
        // is; a header with other parameters must be confirmed by the next.
        const bool here = aacd_fmt::parse_adts_header(p, 7, &h) &&
                          ((h.profile == cur_.profile && h.sampling_index == info_.sampling_index &&
                            h.channel_config == info_.channel_config) ||
                           confirmed_frame_at(0, false));
        if (!here) {
            // Frames whose fixed header is among the skipped bytes are lost.
            uint64_t lost = 0;
            const bool found = resync(false, &lost);
            lost_pending_ = lost * static_cast<uint64_t>(cur_.raw_blocks);
            resync_lost_ += lost_pending_;
            if (!found) {
                if (lost_pending_ == 0) return end_or_error();
                --lost_pending_;
                set_lost(block);
                return Result::kBlock;
            }
            (void)aacd_fmt::parse_adts_header(peek(0, 7), 7, &h);
        }
        Result res = Result::kBlock;
        if (!start_frame(h, &res)) return res;
        if (lost_pending_ > 0) {
            // The lost frames come before the one found.
            --lost_pending_;
            set_lost(block);
            return Result::kBlock;
        }
    }
    const int i = block_index_++;
    if (frame_lost_) {
        set_lost(block);
        return Result::kBlock;
    }
    block->lost = false;
    const uint64_t end = frame_start_ + static_cast<uint64_t>(cur_.frame_length);
    const uint8_t *frame = in_->data(); // the read position is the frame start
    block->data = frame + (block_start_[i] - frame_start_);
    if (frame_bounded_) {
        block->size = static_cast<int32_t>(block_end_[i] - block_start_[i]);
        block->bounded = true;
    } else {
        block->size = static_cast<int32_t>(end - block_start_[i]);
        block->bounded = false;
        pending_ = block_start_[i];
        // The last block of the frame needs no follow-up position.
        awaiting_consume_ = block_index_ < block_count_;
    }
    if (block->size <= 0) {
        set_lost(block);
        return Result::kBlock;
    }
    params_.frame_bytes = block->size;
    return Result::kBlock;
}

Demuxer::Result Demuxer::next_latm(RawBlock *block) {
    for (;;) {
        if (lost_pending_ > 0) {
            --lost_pending_;
            set_lost(block);
            return Result::kBlock;
        }
        if (block_index_ < payloads_.count) {
            const int i = block_index_++;
            block->data = payload_buf_ + payloads_.offset[i];
            block->size = static_cast<int32_t>(payloads_.size[i]);
            block->bounded = true;
            block->lost = block->size == 0;
            params_.frame_bytes = block->size;
            ++frames_;
            return Result::kBlock;
        }
        if (!in_->seek(pos_)) return end_or_error();
        size_t len = 0;
        const uint8_t *p = peek(0, 3);
        if (p == nullptr) {
            skipped_bytes_ += in_->avail();
            in_->skip(in_->avail());
            pos_ = in_->pos();
            return end_or_error();
        }
        if (!aacd_fmt::parse_loas_header(p, 3, &len)) {
            uint64_t lost = 0;
            if (!resync(true, &lost)) return end_or_error();
            continue;
        }
        p = peek(0, 3 + len);
        if (p == nullptr) {
            ++truncated_;
            skipped_bytes_ += in_->avail();
            in_->skip(in_->avail());
            pos_ = in_->pos();
            return end_or_error();
        }
        pos_ = in_->pos() + 3 + len;
        const bool had_config = latm_.valid;
        block_index_ = 0;
        if (const char *why = aacd_fmt::parse_audio_mux_element(p + 3, len, &latm_, payload_buf_,
                                                                 sizeof payload_buf_, &payloads_)) {
            payloads_.count = 0;
            if (!had_config) {
                if (latm_.valid || std::strstr(why, "not received yet") != nullptr) {
                    skipped_bytes_ += 3 + len; // before the first configuration
                    continue;
                }
                fail(why);
                return Result::kError;
            }
            // A damaged element: its payloads are lost.
            lost_pending_ = static_cast<uint64_t>(latm_.num_sub_frames);
            continue;
        }
        if (payloads_.config_changed) {
            if (had_config) ++config_serial_;
            set_config(latm_.asc);
            info_.latm_version = latm_.audio_mux_version;
        }
    }
}

} // namespace aacd_cli
