// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
//
// mp4.h - the AAC audio track of an MP4/M4A file (ISO base media format).
//
// The first track whose sample description is 'mp4a' with an elementary
// stream descriptor of object type indication 0x40 (MPEG-4 audio), 0x66 or
// 0x67 (MPEG-2 AAC LC) is decoded; its AudioSpecificConfig gives the stream
// parameters.  Samples are found through the sample tables of 'moov'
// (stsz/stz2, stco/co64, stsc), whether 'moov' comes before or after 'mdat',
// or through the movie fragments of a fragmented file (moof/traf/tfhd/trun,
// with the defaults of mvex/trex).  Every sample is one raw data block.
//
// Gapless playback: the edit list (elst) of the track says which samples
// belong to the presentation (the encoder's priming at the start and the
// padding at the end do not); without one, an iTunSMPB tag serves.  The
// demuxer reports them in StreamInfo (trim_start, trim_length) and the host
// trims its output.
//
// Every length read from the file is checked against the box holding it;
// boxes that do not fit their parent, tables larger than their boxes and
// offsets outside the file end the stream with a message, never a read
// outside the data.  From a pipe, only files whose 'moov' comes before the
// media data (or fragmented files) can be read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "container.h"

namespace aacd_cli {

class Input;

// True when the first bytes look like an ISO base media file (a known box
// type at offset 4 with a plausible size).
[[nodiscard]] bool mp4_probe(const uint8_t *p, size_t n);

class Mp4Demuxer {
public:
    // Reads boxes up to the media data (or, when seekable, the index after
    // it).  Fills info and params.  False with error().
    [[nodiscard]] bool open(Input *in, StreamInfo *info, AacdBlockParams *params);
    [[nodiscard]] Demuxer::Result next(RawBlock *block);
    [[nodiscard]] const std::string &error() const { return error_; }

private:
    struct Sample {
        uint64_t offset;
        uint32_t size;
    };
    bool fail(const std::string &msg);
    bool parse_moov(const uint8_t *p, size_t n);
    bool parse_trak(const uint8_t *p, size_t n);
    bool parse_moof(const uint8_t *p, size_t n, uint64_t moof_offset);
    bool set_config(const uint8_t *asc, size_t n);
    // Size of sample i of the sample-size table (stsz or stz2).
    [[nodiscard]] uint32_t sample_size(uint32_t i) const;
    bool next_table_sample(Sample *s);
    // Reads top-level boxes until samples are known or the file ends.
    bool advance_boxes();

    Input *in_ = nullptr;
    StreamInfo *info_ = nullptr;
    AacdBlockParams *params_ = nullptr;
    std::string error_;
    aacd_fmt::AudioSpecificConfig asc_{};

    std::vector<uint8_t> moov_; // kept: the sample tables point into it
    bool have_moov_ = false;
    bool fragmented_ = false;   // moov holds mvex
    uint32_t track_id_ = 0;
    uint32_t movie_timescale_ = 0, media_timescale_ = 0;
    uint64_t media_samples_ = 0; // media duration (mdhd) in samples
    uint32_t trex_size_ = 0;     // default sample size of the track (mvex)
    uint64_t next_box_ = 0;      // offset of the next top-level box

    // Sample tables (pointers into moov_, counts checked against the boxes).
    const uint8_t *stsz_ = nullptr; uint32_t stsz_fixed_ = 0, stsz_count_ = 0; int stsz_bits_ = 32;
    const uint8_t *stco_ = nullptr; uint32_t stco_count_ = 0; bool co64_ = false;
    const uint8_t *stsc_ = nullptr; uint32_t stsc_count_ = 0;
    // Iteration over the tables.
    uint32_t sample_ = 0, chunk_ = 0, in_chunk_ = 0, stsc_i_ = 0;
    uint64_t chunk_pos_ = 0;
    // Samples of the current movie fragment.
    std::vector<Sample> run_;
    size_t run_i_ = 0;
};

} // namespace aacd_cli
