// container.cpp - ADTS and ADIF parsing; see container.h for the behaviour.
#include "container.h"

#include <cstring>

namespace aacd_cli {

namespace {

constexpr uint32_t kRates[16] = {96000, 88200, 64000, 48000, 44100, 32000, 24000, 22050,
                                 16000, 12000, 11025, 8000,  0,     0,     0,     0};

// Channels of ADTS channel configurations 1..6.
constexpr int kConfigChannels[8] = {0, 1, 2, 3, 4, 5, 6, 8};

// Most-significant-bit-first reader over a bounded buffer; reading past the
// end sets overrun and yields zero bits.
class BitReader {
public:
    BitReader(const uint8_t *p, size_t n) : p_(p), n_(n) {}
    uint32_t get(int bits) {
        uint32_t v = 0;
        for (int i = 0; i < bits; ++i) {
            const size_t byte = pos_ >> 3;
            uint32_t bit = 0;
            if (byte < n_) {
                bit = (p_[byte] >> (7 - (pos_ & 7))) & 1u;
            } else {
                overrun_ = true;
            }
            v = (v << 1) | bit;
            ++pos_;
        }
        return v;
    }
    void align() { pos_ = (pos_ + 7) & ~static_cast<size_t>(7); }
    [[nodiscard]] bool overrun() const { return overrun_ || (pos_ + 7) / 8 > n_; }
    [[nodiscard]] size_t byte_pos() const { return pos_ / 8; }

private:
    const uint8_t *p_;
    size_t n_;
    size_t pos_ = 0;
    bool overrun_ = false;
};

void read_list(BitReader &br, AacdElementList &list, bool with_cpe) {
    for (int i = 0; i < list.numElements; ++i) {
        list.isCpe[i] = with_cpe ? static_cast<int32_t>(br.get(1)) : 0;
        list.tag[i] = static_cast<int32_t>(br.get(4));
    }
}

// program_config_element() into rec; the element's tag goes into
// rec.elementInstanceTag.  Counts are bounded by their field widths (at most
// 15), so the 16-entry lists never overflow.
void read_pce(BitReader &br, AacdProgConfig &rec) {
    std::memset(&rec, 0, sizeof rec);
    rec.elementInstanceTag = static_cast<int32_t>(br.get(4));
    rec.profile = static_cast<int32_t>(br.get(2));
    rec.samplingFrequencyIndex = static_cast<int32_t>(br.get(4));
    rec.front.numElements = static_cast<int32_t>(br.get(4));
    rec.side.numElements = static_cast<int32_t>(br.get(4));
    rec.back.numElements = static_cast<int32_t>(br.get(4));
    rec.lfe.numElements = static_cast<int32_t>(br.get(2));
    rec.assocData.numElements = static_cast<int32_t>(br.get(3));
    rec.validCc.numElements = static_cast<int32_t>(br.get(4));
    rec.monoMixdown.present = static_cast<int32_t>(br.get(1));
    if (rec.monoMixdown.present) rec.monoMixdown.elementNumber = static_cast<int32_t>(br.get(4));
    rec.stereoMixdown.present = static_cast<int32_t>(br.get(1));
    if (rec.stereoMixdown.present) rec.stereoMixdown.elementNumber = static_cast<int32_t>(br.get(4));
    rec.matrixMixdown.present = static_cast<int32_t>(br.get(1));
    if (rec.matrixMixdown.present) {
        rec.matrixMixdown.index = static_cast<int32_t>(br.get(2));
        rec.matrixMixdown.pseudoSurround = static_cast<int32_t>(br.get(1));
    }
    read_list(br, rec.front, true);
    read_list(br, rec.side, true);
    read_list(br, rec.back, true);
    read_list(br, rec.lfe, false);
    read_list(br, rec.assocData, false);
    read_list(br, rec.validCc, true);
    br.align();
    const uint32_t comment_bytes = br.get(8);
    for (uint32_t i = 0; i < comment_bytes; ++i) (void)br.get(8);
    rec.comment[0] = 0;
}

} // namespace

uint32_t sampling_rate_of_index(uint32_t index) { return index < 16 ? kRates[index] : 0; }

const char *format_name(StreamFormat f) {
    switch (f) {
    case StreamFormat::kAdts: return "ADTS";
    case StreamFormat::kAdif: return "ADIF";
    default: return "unknown";
    }
}

bool parse_adts_header(const uint8_t *p, size_t avail, AdtsHeader *h) {
    if (avail < 7 || p[0] != 0xFF || (p[1] & 0xF0) != 0xF0) return false;
    if ((p[1] & 0x06) != 0) return false; // layer must be 0
    AdtsHeader r;
    r.mpeg_id = (p[1] >> 3) & 1;
    r.protection_absent = (p[1] & 1) != 0;
    r.profile = p[2] >> 6;
    r.sampling_index = (p[2] >> 2) & 0xF;
    r.private_bit = (p[2] >> 1) & 1;
    r.channel_config = ((p[2] & 1) << 2) | (p[3] >> 6);
    r.original_copy = (p[3] >> 5) & 1;
    r.home = (p[3] >> 4) & 1;
    r.frame_length = ((p[3] & 3) << 11) | (p[4] << 3) | (p[5] >> 5);
    r.buffer_fullness = ((p[5] & 0x1F) << 6) | (p[6] >> 2);
    r.raw_blocks = (p[6] & 3) + 1;
    if (r.frame_length < adts_first_block_offset(r)) return false;
    *h = r;
    return true;
}

int adts_first_block_offset(const AdtsHeader &h) {
    if (h.protection_absent) return 7;
    if (h.raw_blocks == 1) return 9;
    return 7 + 2 * (h.raw_blocks - 1) + 2;
}

const char *adts_unsupported_reason(const AdtsHeader &h) {
    if (h.profile != 1) {
        static const char *const names[4] = {
            "profile Main is not supported (only Low Complexity)", "",
            "profile SSR is not supported (only Low Complexity)",
            "profile 3 (LTP/reserved) is not supported (only Low Complexity)"};
        return names[h.profile & 3];
    }
    if (h.sampling_index > 11) return "sampling frequency index above 11 is invalid";
    if (h.channel_config == 7) return "channel configuration 7 (eight channels) is not supported (at most six)";
    return nullptr;
}

bool parse_adif_header(const uint8_t *p, size_t size, AdifHeader *h, std::string *err) {
    if (size < 4 || std::memcmp(p, "ADIF", 4) != 0) {
        *err = "no ADIF signature";
        return false;
    }
    BitReader br(p + 4, size - 4);
    AdifHeader r;
    r.copyright_id_present = br.get(1) != 0;
    if (r.copyright_id_present) {
        for (uint8_t &c : r.copyright_id) c = static_cast<uint8_t>(br.get(8));
    }
    r.original_copy = static_cast<int>(br.get(1));
    r.home = static_cast<int>(br.get(1));
    r.bitstream_type = static_cast<int>(br.get(1));
    r.bitrate = br.get(23);
    r.num_pce = static_cast<int>(br.get(4)) + 1;
    for (int i = 0; i < r.num_pce; ++i) {
        r.buffer_fullness[i] = r.bitstream_type == 0 ? br.get(20) : 0;
        read_pce(br, r.pce[i]);
        if (br.overrun()) break;
    }
    br.align();
    if (br.overrun()) {
        *err = "ADIF header is truncated";
        return false;
    }
    r.header_bytes = 4 + br.byte_pos();
    *h = r;
    return true;
}

int prog_config_channels(const AacdProgConfig &pce) {
    int n = 0;
    const AacdElementList *lists[3] = {&pce.front, &pce.side, &pce.back};
    for (const AacdElementList *l : lists) {
        for (int i = 0; i < l->numElements && i < 16; ++i) n += l->isCpe[i] ? 2 : 1;
    }
    return n + pce.lfe.numElements;
}

const char *prog_config_unsupported_reason(const AacdProgConfig &pce) {
    if (pce.profile != 1) return "program configuration with a profile other than Low Complexity";
    if (pce.samplingFrequencyIndex > 11) return "program configuration with a sampling index above 11";
    if (pce.side.numElements != 0) return "side channel elements are not supported";
    if (pce.validCc.numElements != 0) return "coupling channel elements are not supported";
    if (pce.front.numElements > 3 || pce.back.numElements > 2 || pce.lfe.numElements > 1 ||
        prog_config_channels(pce) > 6) {
        return "more than six channels (or more than 3 front, 2 back, 1 LFE elements) are not supported";
    }
    int back = 0;
    for (int i = 0; i < pce.back.numElements; ++i) back += pce.back.isCpe[i] ? 2 : 1;
    if (back > 2) return "more than two back channels are not supported";
    return nullptr;
}

// ------------------------------------------------------------------ Demuxer

bool Demuxer::fail(const std::string &msg) {
    error_ = msg;
    return false;
}

void Demuxer::set_lost(RawBlock *block) {
    block->data = kEmpty;
    block->size = 0;
    block->bounded = true;
    block->lost = true;
}

bool Demuxer::open(const uint8_t *data, size_t size) {
    data_ = data;
    size_ = size;
    pos_ = 0;
    info_ = StreamInfo{};
    params_ = AacdBlockParams{};
    error_.clear();
    block_index_ = block_count_ = 0;
    awaiting_consume_ = false;
    frames_ = skipped_bytes_ = resyncs_ = truncated_ = 0;
    if (data == nullptr || size == 0) return fail("input is empty");
    if (size >= 4 && std::memcmp(data, "ADIF", 4) == 0) return open_adif();
    return open_adts();
}

bool Demuxer::open_adif() {
    std::string err;
    if (!parse_adif_header(data_, size_, &adif_, &err)) return fail(err);
    info_.format = StreamFormat::kAdif;
    info_.bitrate = adif_.bitrate;
    info_.num_pce = adif_.num_pce;
    // The decoder follows the configurations carrying the first tag.
    const AacdProgConfig &first = adif_.pce[0];
    for (int i = 0; i < adif_.num_pce; ++i) {
        if (adif_.pce[i].elementInstanceTag != first.elementInstanceTag) continue;
        if (const char *why = prog_config_unsupported_reason(adif_.pce[i])) return fail(why);
    }
    info_.profile = first.profile;
    info_.sampling_index = first.samplingFrequencyIndex;
    info_.sampling_rate = sampling_rate_of_index(static_cast<uint32_t>(first.samplingFrequencyIndex));
    info_.channels = prog_config_channels(first);
    params_.num_prog_configs = adif_.num_pce;
    params_.prog_configs = adif_.pce;
    params_.sampling_index = static_cast<uint32_t>(first.samplingFrequencyIndex);
    pos_ = adif_.header_bytes;
    return true;
}

bool Demuxer::confirmed_frame_at(size_t off, bool match_stream) const {
    AdtsHeader h;
    if (off >= size_ || !parse_adts_header(data_ + off, size_ - off, &h)) return false;
    if (match_stream && (h.profile != info_.profile || h.sampling_index != info_.sampling_index ||
                         h.channel_config != info_.channel_config)) {
        return false;
    }
    const size_t next = off + static_cast<size_t>(h.frame_length);
    if (next == size_) return true; // last frame
    // A frame running past the end is taken only as the stream's own last
    // frame (cut short); anywhere else it is a false syncword.
    if (next > size_) return match_stream;
    AdtsHeader n;
    return parse_adts_header(data_ + next, size_ - next, &n);
}

bool Demuxer::open_adts() {
    // The first frame: a header at the very start is taken as it is; after
    // leading garbage a header must be confirmed by the one following it.
    size_t off = 0;
    AdtsHeader h;
    if (!parse_adts_header(data_, size_, &h)) {
        while (off + 7 <= size_ && !confirmed_frame_at(off, false)) ++off;
        if (off + 7 > size_) return fail("no ADTS or ADIF header found (not an AAC stream?)");
        (void)parse_adts_header(data_ + off, size_ - off, &h);
    }
    if (const char *why = adts_unsupported_reason(h)) return fail(why);
    skipped_bytes_ = off;
    info_.format = StreamFormat::kAdts;
    info_.mpeg_id = h.mpeg_id;
    info_.profile = h.profile;
    info_.sampling_index = h.sampling_index;
    info_.sampling_rate = sampling_rate_of_index(static_cast<uint32_t>(h.sampling_index));
    info_.channel_config = h.channel_config;
    info_.channels = kConfigChannels[h.channel_config];
    info_.crc = !h.protection_absent;
    info_.raw_blocks = h.raw_blocks;
    params_.num_prog_configs = 0;
    params_.prog_configs = nullptr;
    params_.config_id = 0;
    params_.sampling_index = static_cast<uint32_t>(h.sampling_index);
    pos_ = off;
    return true;
}

Demuxer::Result Demuxer::next(RawBlock *block) {
    if (!error_.empty()) return Result::kError;
    if (info_.format == StreamFormat::kAdif) return next_adif(block);
    if (info_.format == StreamFormat::kAdts) return next_adts(block);
    error_ = "demuxer not open";
    return Result::kError;
}

void Demuxer::consume(int32_t bytes) {
    if (!awaiting_consume_) return;
    awaiting_consume_ = false;
    if (info_.format == StreamFormat::kAdif) {
        if (bytes <= 0) {
            error_ = "ADIF stream: a raw data block could not be decoded, the next one cannot be found";
            return;
        }
        pos_ = pending_ + static_cast<size_t>(bytes);
        return;
    }
    const size_t end = frame_start_ + static_cast<size_t>(cur_.frame_length);
    if (bytes <= 0 || pending_ + static_cast<size_t>(bytes) > end) {
        frame_lost_ = true; // remaining blocks of this frame cannot be found
        return;
    }
    block_start_[block_index_] = pending_ + static_cast<size_t>(bytes);
}

Demuxer::Result Demuxer::next_adif(RawBlock *block) {
    if (awaiting_consume_) consume(0);
    if (!error_.empty()) return Result::kError;
    if (pos_ >= size_) return Result::kEnd;
    block->data = data_ + pos_;
    const size_t rest = size_ - pos_;
    block->size = rest > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int32_t>(rest);
    block->bounded = false;
    block->lost = false;
    params_.frame_bytes = block->size;
    pending_ = pos_;
    awaiting_consume_ = true;
    ++frames_;
    return Result::kBlock;
}

bool Demuxer::start_frame(const AdtsHeader &h, size_t off, RawBlock *block, Result *res) {
    if (h.profile != info_.profile) {
        *res = Result::kError;
        return fail(adts_unsupported_reason(h) ? adts_unsupported_reason(h)
                                               : "profile changes within the stream");
    }
    if (const char *why = adts_unsupported_reason(h)) {
        *res = Result::kError;
        return fail(why);
    }
    if (h.sampling_index != info_.sampling_index || h.channel_config != info_.channel_config) {
        // A new stream configuration: the decoder rebuilds its channel map.
        info_.sampling_index = h.sampling_index;
        info_.sampling_rate = sampling_rate_of_index(static_cast<uint32_t>(h.sampling_index));
        info_.channel_config = h.channel_config;
        info_.channels = kConfigChannels[h.channel_config];
        ++params_.config_id;
    }
    params_.sampling_index = static_cast<uint32_t>(h.sampling_index);
    cur_ = h;
    frame_start_ = off;
    block_index_ = 0;
    block_count_ = h.raw_blocks;
    frame_lost_ = false;
    frame_bounded_ = true;
    ++frames_;
    const size_t end = off + static_cast<size_t>(h.frame_length);
    pos_ = end;
    if (end > size_) {
        // Cut short by the end of the data: every block of it is lost.
        ++truncated_;
        frame_lost_ = true;
        (void)block;
        return true;
    }
    const size_t first = off + static_cast<size_t>(adts_first_block_offset(h));
    if (h.raw_blocks == 1) {
        block_start_[0] = first;
        block_end_[0] = end;
    } else if (!h.protection_absent) {
        // raw_data_block_position: start of blocks 1.. as byte offsets from
        // the start of the frame; every block is followed by its CRC word.
        block_start_[0] = first;
        for (int i = 1; i < h.raw_blocks; ++i) {
            const uint8_t *q = data_ + off + 7 + 2 * (i - 1);
            block_start_[i] = off + ((static_cast<size_t>(q[0]) << 8) | q[1]);
        }
        for (int i = 0; i < h.raw_blocks; ++i) {
            const size_t next = i + 1 < h.raw_blocks ? block_start_[i + 1] : end;
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
    if (block_index_ >= block_count_) {
        // Find the next frame.
        if (pos_ >= size_) return Result::kEnd;
        AdtsHeader h;
        size_t off = pos_;
        // At the expected position a header of the same stream is taken as it
        // is; a header with other parameters must be confirmed by the next.
        const bool here = parse_adts_header(data_ + off, size_ - off, &h) &&
                          ((h.profile == info_.profile && h.sampling_index == info_.sampling_index &&
                            h.channel_config == info_.channel_config) ||
                           confirmed_frame_at(off, false));
        if (!here) {
            size_t scan = off + 1;
            while (scan + 7 <= size_ && !confirmed_frame_at(scan, true)) ++scan;
            if (scan + 7 > size_) {
                skipped_bytes_ += size_ - off;
                pos_ = size_;
                return Result::kEnd;
            }
            skipped_bytes_ += scan - off;
            ++resyncs_;
            off = scan;
            (void)parse_adts_header(data_ + off, size_ - off, &h);
        }
        Result res = Result::kBlock;
        if (!start_frame(h, off, block, &res)) return res;
    }
    const int i = block_index_++;
    if (frame_lost_) {
        set_lost(block);
        params_.frame_bytes = 0;
        return Result::kBlock;
    }
    block->lost = false;
    const size_t end = frame_start_ + static_cast<size_t>(cur_.frame_length);
    if (frame_bounded_) {
        block->data = data_ + block_start_[i];
        block->size = static_cast<int32_t>(block_end_[i] - block_start_[i]);
        block->bounded = true;
    } else {
        block->data = data_ + block_start_[i];
        block->size = static_cast<int32_t>(end - block_start_[i]);
        block->bounded = false;
        pending_ = block_start_[i];
        // The last block of the frame needs no follow-up position.
        awaiting_consume_ = block_index_ < block_count_;
    }
    if (block->size <= 0) {
        set_lost(block);
        params_.frame_bytes = 0;
        return Result::kBlock;
    }
    params_.frame_bytes = block->size;
    return Result::kBlock;
}

} // namespace aacd_cli
