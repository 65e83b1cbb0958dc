// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
/*
 * container.h - finds the raw data blocks of ADTS, ADIF, LATM/LOAS and MP4
 * streams for hosts of the decoder.
 *
 * The decoder reads raw data blocks only.  The demuxer reads the input
 * through a bounded window (input.h), so a pipe is decoded as its bytes
 * arrive, and fills the AacdBlockParams record the decoder wants with every
 * block.  Header parsing is the shared stream-format module (formats.h);
 * MP4 files go to mp4.h.
 *
 *   ADTS  fixed parameters (num_prog_configs 0): sampling_index from the
 *         header, config_id changed whenever the sampling index or the
 *         channel configuration changes between frames, frame_bytes = the
 *         length of the raw data block.  A channel configuration of 0 means
 *         the program configuration element travels in band, which the
 *         decoder parses itself.
 *   ADIF  the program configuration elements of the header, converted into
 *         AacdProgConfig records (num_prog_configs = their number).
 *   LATM  LOAS frames (AudioSyncStream) whose AudioMuxElements carry their
 *         StreamMuxConfig: the AudioSpecificConfig in force gives the
 *         parameters; a configuration that decodes differently is a stream
 *         change.  Each payload is one raw data block.
 *   MP4   the AudioSpecificConfig of the track, one block per sample.
 *
 * Block boundaries.  An ADTS frame with one raw data block, or with several
 * blocks and CRC protection (raw_data_block_position gives the starts), has
 * exactly known blocks.  An unprotected ADTS frame with several blocks and
 * an ADIF stream carry no block lengths: the parser then hands out the rest
 * of the payload (RawBlock.bounded = false) and the host reports, through
 * consume(), how many bytes the decoder used (bits_consumed / 8, which is
 * byte aligned).  When the host cannot tell (the block failed), the other
 * blocks of that ADTS frame are handed out as lost; an ADIF stream cannot be
 * followed any further and ends with an error.
 *
 * CRC words are skipped, not verified: the ADTS CRC covers selected bits of
 * the channel elements, which only a full parse of the block can find.  A
 * damaged block is left to the decoder, which conceals what it cannot parse.
 *
 * Resynchronisation (ADTS, LOAS).  A frame header is accepted at the
 * expected position when it parses.  Otherwise the parser scans forward for
 * a syncword whose header matches the stream and is confirmed by a further
 * header right after it (or by the end of the data).  The skipped bytes are
 * counted, and every ADTS frame whose fixed header (the first 28 bits) is
 * found among them is handed out as lost blocks, so that the output stays
 * aligned with the input.  A frame cut short by the end of the data is
 * handed out as lost blocks too.
 *
 * Refused (open() or next() fail with a message): profiles other than Low
 * Complexity, channel configuration 7, program configurations with side or
 * coupling elements or more than six channels, sampling indices above 11,
 * LATM configurations other than one program with one layer.
 */
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "aacd.h"
#include "formats.h"

namespace aacd_cli {

enum class StreamFormat { kUnknown, kAdts, kAdif, kLatm, kMp4 };

// Stream parameters as the container states them.
struct StreamInfo {
    StreamFormat format = StreamFormat::kUnknown;
    int mpeg_id = 0;            // ADTS only
    int object_type = 2;        // audio object type of the core (2 = LC)
    bool sbr_signalled = false; // the configuration signals SBR or PS: only
                                // the AAC core is decoded
    int sampling_index = 0;
    uint32_t sampling_rate = 0;
    int channel_config = 0;     // 0 for a program configuration (or ADIF)
    int channels = 0;           // 0 when only an in-band element tells
    bool crc = false;           // ADTS protection present
    int raw_blocks = 1;         // blocks in the first ADTS frame
    uint32_t bitrate = 0;       // ADIF header (0 for the others)
    int num_pce = 0;            // ADIF program configurations
    int latm_version = 0;       // LATM audioMuxVersion
    // Gapless trimming the container asks for (MP4 edit list or iTunes
    // tag): drop trim_start samples, then keep trim_length (0: the rest).
    bool trimmed = false;
    uint64_t trim_start = 0;
    uint64_t trim_length = 0;
    const char *trim_source = ""; // "edit list" or "iTunSMPB"
    uint64_t duration_samples = 0; // from the container index, 0 if unknown
    uint64_t total_blocks = 0;     // from the container index, 0 if unknown
    uint64_t payload_bytes = 0;    // bytes of all blocks, from the index
    bool fragmented = false;       // MP4 movie fragments
};

[[nodiscard]] const char *format_name(StreamFormat f);

// One raw data block handed to the host.
struct RawBlock {
    const uint8_t *data = nullptr; // never null, also for lost blocks
    int32_t size = 0;              // readable bytes at data
    bool bounded = true;  // size is the block length; else the rest of the
                          // payload, and the host must call consume()
    bool lost = false;    // the block is unusable: pass it as lost
};

class Input;
class Mp4Demuxer;

// Block data stays valid until the next call of next().
class Demuxer {
public:
    enum class Result { kBlock, kEnd, kError };

    Demuxer();
    ~Demuxer();
    Demuxer(const Demuxer &) = delete;
    Demuxer &operator=(const Demuxer &) = delete;

    // Detects the format and parses the first header.  The input must stay
    // open while the demuxer is used.  False with error() on failure.
    [[nodiscard]] bool open(Input *in);
    // The same over a whole stream in memory (data must stay valid).
    [[nodiscard]] bool open(const uint8_t *data, size_t size);

    // The next raw data block; params() then describes it.
    [[nodiscard]] Result next(RawBlock *block);

    // After an unbounded block: bytes the decoder used (0 or less: unknown).
    void consume(int32_t bytes);

    [[nodiscard]] const StreamInfo &info() const { return info_; }
    [[nodiscard]] AacdBlockParams *params() { return &params_; }
    [[nodiscard]] const std::string &error() const { return error_; }
    // Changes whenever the container announces another stream configuration
    // (sampling rate or channels): the host restarts the decoder there.
    [[nodiscard]] uint32_t config_serial() const { return config_serial_; }

    // Statistics.
    [[nodiscard]] uint64_t frames() const { return frames_; }
    [[nodiscard]] uint64_t skipped_bytes() const { return skipped_bytes_; }
    [[nodiscard]] uint64_t resyncs() const { return resyncs_; }
    [[nodiscard]] uint64_t truncated_frames() const { return truncated_; }
    [[nodiscard]] uint64_t resync_lost() const { return resync_lost_; }
    [[nodiscard]] uint64_t position() const;
    [[nodiscard]] uint64_t size() const;

private:
    bool open_adts();
    bool open_adif();
    bool open_latm();
    Result next_adts(RawBlock *block);
    Result next_adif(RawBlock *block);
    Result next_latm(RawBlock *block);
    // Bytes [off, off + n) after the read position, null when the input
    // ends first (valid until the next peek).
    const uint8_t *peek(size_t off, size_t n);
    // Header at off (from the read position) that matches the stream and is
    // confirmed by what follows.
    bool confirmed_frame_at(size_t off, bool match_stream);
    bool confirmed_loas_at(size_t off);
    // Fixed header fields at p equal to those of the stream.
    bool same_fixed_header(const uint8_t *p) const;
    bool start_frame(const aacd_fmt::AdtsHeader &h, Result *res);
    // Skips to the next confirmed frame; false at the end of the input.
    bool resync(bool loas, uint64_t *lost_frames);
    void set_lost(RawBlock *block);
    void set_config(const aacd_fmt::AudioSpecificConfig &asc);
    Result end_or_error();
    bool fail(const std::string &msg);

    Input *in_ = nullptr;
    Input *own_in_ = nullptr; // memory input made by open(data, size)
    Mp4Demuxer *mp4_ = nullptr;
    uint64_t pos_ = 0; // start of the next frame (ADIF: next block)
    StreamInfo info_;
    AacdBlockParams params_{};
    aacd_fmt::AdifHeader adif_{};
    std::string error_;
    uint32_t config_serial_ = 0;

    // ADTS frame in progress (offsets are absolute).
    aacd_fmt::AdtsHeader cur_{};
    uint64_t frame_start_ = 0;
    int block_index_ = 0;      // next block of the frame to hand out
    int block_count_ = 0;      // blocks of the frame
    uint64_t block_start_[4] = {};
    uint64_t block_end_[4] = {};
    bool frame_bounded_ = true;
    bool frame_lost_ = false;  // remaining blocks of the frame are lost
    uint64_t pending_ = 0;     // unbounded: start of the block handed out
    bool awaiting_consume_ = false;
    uint64_t lost_pending_ = 0; // blocks lost to resynchronisation, to hand out

    // LATM element in progress.
    aacd_fmt::LatmConfig latm_{};
    aacd_fmt::LatmPayloads payloads_{};
    uint8_t payload_buf_[8192 + 64] = {};

    uint64_t frames_ = 0;
    uint64_t skipped_bytes_ = 0;
    uint64_t resyncs_ = 0;
    uint64_t truncated_ = 0;
    uint64_t resync_lost_ = 0;
    static constexpr uint8_t kEmpty[4] = {0, 0, 0, 0};
};

} // namespace aacd_cli
