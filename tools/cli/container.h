/*
 * container.h - ADTS and ADIF container parsing for hosts of the decoder.
 *
 * The decoder reads raw data blocks only.  This parser finds those blocks in
 * an in-memory ADTS or ADIF stream and fills the AacdBlockParams record the
 * decoder wants with every block:
 *
 *   ADTS  fixed parameters (num_prog_configs 0): sampling_index from the
 *         header, config_id changed whenever the sampling index or the
 *         channel configuration changes between frames, frame_bytes = the
 *         length of the raw data block.  A channel configuration of 0 means
 *         the program configuration element travels in band, which the
 *         decoder parses itself.
 *   ADIF  the program configuration elements of the header, converted into
 *         AacdProgConfig records (num_prog_configs = their number).
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
 * Resynchronisation.  A frame header is accepted at the expected position
 * when it parses.  Otherwise the parser scans forward for a syncword whose
 * header matches the stream (same profile, sampling index and channel
 * configuration) and is confirmed by a further header right after it (or
 * by the end of the data).  The skipped bytes are counted; no frames are
 * invented for them.  A frame cut short by the end of the data is handed out
 * as lost blocks so that the output keeps one frame per input block.
 *
 * Refused (open() or next() fail with a message): profiles other than Low
 * Complexity, ADTS channel configuration 7, program configurations with side
 * or coupling elements or more than six channels, sampling indices above 11.
 */
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "aacd.h"

namespace aacd_cli {

// Sampling rate of a sampling-frequency index (0 for 12..15 and beyond).
[[nodiscard]] uint32_t sampling_rate_of_index(uint32_t index);

// Fixed and variable ADTS header (the first 56 bits of a frame).
struct AdtsHeader {
    int mpeg_id = 0;               // 1 = MPEG-2, 0 = MPEG-4
    bool protection_absent = true; // false: CRC words present
    int profile = 0;               // 2-bit field: 0 Main, 1 LC, 2 SSR, 3 reserved
    int sampling_index = 0;
    int private_bit = 0;
    int channel_config = 0;        // 0 = program configuration element in band
    int original_copy = 0;
    int home = 0;
    int frame_length = 0;          // bytes, header included
    int buffer_fullness = 0;       // 0x7FF = variable rate
    int raw_blocks = 1;            // number of raw data blocks, 1..4
};

// Parses the 7 header bytes at p (avail readable bytes).  Returns false when
// fewer than 7 bytes are there, the syncword or layer is wrong, or the frame
// length cannot hold the header and its CRC words.
[[nodiscard]] bool parse_adts_header(const uint8_t *p, size_t avail, AdtsHeader *h);

// Number of header bytes in front of the first raw data block (header, block
// positions and header CRC when protected).
[[nodiscard]] int adts_first_block_offset(const AdtsHeader &h);

// Null when the decoder can decode a stream with this header, else a
// message saying why not.
[[nodiscard]] const char *adts_unsupported_reason(const AdtsHeader &h);

// ADIF header.
struct AdifHeader {
    bool copyright_id_present = false;
    uint8_t copyright_id[9] = {};
    int original_copy = 0;
    int home = 0;
    int bitstream_type = 0; // 0 constant rate, 1 variable rate
    uint32_t bitrate = 0;   // bits per second (23-bit field)
    int num_pce = 0;        // 1..16
    uint32_t buffer_fullness[16] = {};
    AacdProgConfig pce[16] = {};
    size_t header_bytes = 0; // offset of the first raw data block
};

// Parses an ADIF header at the start of p.  Returns false with a message in
// *err when the header is malformed or truncated.  The program
// configurations are converted but not checked for support.
[[nodiscard]] bool parse_adif_header(const uint8_t *p, size_t size, AdifHeader *h, std::string *err);

// Channels of a program configuration (a pair counts two).
[[nodiscard]] int prog_config_channels(const AacdProgConfig &pce);

// Null when the decoder supports the program configuration, else a message.
[[nodiscard]] const char *prog_config_unsupported_reason(const AacdProgConfig &pce);

enum class StreamFormat { kUnknown, kAdts, kAdif };

// Stream parameters as the container states them.
struct StreamInfo {
    StreamFormat format = StreamFormat::kUnknown;
    int mpeg_id = 0;            // ADTS only
    int profile = 1;            // 1 = LC (ADTS field / PCE object type)
    int sampling_index = 0;
    uint32_t sampling_rate = 0;
    int channel_config = 0;     // ADTS; 0 for in-band configuration and ADIF
    int channels = 0;           // 0 when only an in-band element tells
    bool crc = false;           // ADTS protection present
    int raw_blocks = 1;         // blocks in the first ADTS frame
    uint32_t bitrate = 0;       // ADIF header (0 for ADTS)
    int num_pce = 0;            // ADIF program configurations
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

class Demuxer {
public:
    enum class Result { kBlock, kEnd, kError };

    // Detects the format and parses the first header.  data must stay valid
    // while the demuxer is used.  False with error() on failure.
    [[nodiscard]] bool open(const uint8_t *data, size_t size);

    // The next raw data block; params() then describes it.
    [[nodiscard]] Result next(RawBlock *block);

    // After an unbounded block: bytes the decoder used (0 or less: unknown).
    void consume(int32_t bytes);

    [[nodiscard]] const StreamInfo &info() const { return info_; }
    [[nodiscard]] AacdBlockParams *params() { return &params_; }
    [[nodiscard]] const std::string &error() const { return error_; }

    // Statistics.
    [[nodiscard]] uint64_t frames() const { return frames_; }
    [[nodiscard]] uint64_t skipped_bytes() const { return skipped_bytes_; }
    [[nodiscard]] uint64_t resyncs() const { return resyncs_; }
    [[nodiscard]] uint64_t truncated_frames() const { return truncated_; }
    [[nodiscard]] size_t position() const { return pos_ < size_ ? pos_ : size_; }
    [[nodiscard]] size_t size() const { return size_; }

private:
    bool open_adts();
    bool open_adif();
    Result next_adts(RawBlock *block);
    Result next_adif(RawBlock *block);
    // Header at off that matches the stream and is confirmed by what follows.
    bool confirmed_frame_at(size_t off, bool match_stream) const;
    bool start_frame(const AdtsHeader &h, size_t off, RawBlock *block, Result *res);
    void set_lost(RawBlock *block);
    bool fail(const std::string &msg);

    const uint8_t *data_ = nullptr;
    size_t size_ = 0;
    size_t pos_ = 0; // ADTS: start of the next frame; ADIF: next block
    StreamInfo info_;
    AacdBlockParams params_{};
    AdifHeader adif_{};
    std::string error_;

    // ADTS frame in progress.
    AdtsHeader cur_{};
    size_t frame_start_ = 0;
    int block_index_ = 0;      // next block of the frame to hand out
    int block_count_ = 0;      // blocks of the frame
    size_t block_start_[4] = {};
    size_t block_end_[4] = {};
    bool frame_bounded_ = true;
    bool frame_lost_ = false;  // remaining blocks of the frame are lost
    size_t pending_ = 0;       // unbounded: start of the block handed out
    bool awaiting_consume_ = false;

    uint64_t frames_ = 0;
    uint64_t skipped_bytes_ = 0;
    uint64_t resyncs_ = 0;
    uint64_t truncated_ = 0;
    static constexpr uint8_t kEmpty[4] = {0, 0, 0, 0};
};

} // namespace aacd_cli
