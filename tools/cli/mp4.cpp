// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
//
// mp4.cpp - MP4/M4A demultiplexing; see mp4.h.
#include "mp4.h"

#include <cstring>

#include "input.h"

namespace aacd_cli {

namespace {

constexpr size_t kMaxIndexBox = size_t{64} << 20; // moov or moof read whole
constexpr uint32_t kMaxSampleSize = 1u << 20;
constexpr uint32_t kMaxRunSamples = 1u << 20;

constexpr uint32_t fourcc(const char (&s)[5]) {
    return (static_cast<uint32_t>(static_cast<uint8_t>(s[0])) << 24) |
           (static_cast<uint32_t>(static_cast<uint8_t>(s[1])) << 16) |
           (static_cast<uint32_t>(static_cast<uint8_t>(s[2])) << 8) | static_cast<uint8_t>(s[3]);
}

uint32_t be16(const uint8_t *p) { return (static_cast<uint32_t>(p[0]) << 8) | p[1]; }
uint32_t be32(const uint8_t *p) { return (be16(p) << 16) | be16(p + 2); }
uint64_t be64(const uint8_t *p) { return (static_cast<uint64_t>(be32(p)) << 32) | be32(p + 4); }

std::string type_text(uint32_t t) {
    std::string s;
    for (int i = 24; i >= 0; i -= 8) {
        const char c = static_cast<char>((t >> i) & 0xFF);
        s += (c >= 0x20 && c < 0x7F) ? c : '?';
    }
    return s;
}

struct Box {
    uint32_t type = 0;
    const uint8_t *body = nullptr;
    size_t size = 0; // body bytes
};

// Child boxes of a body.  A box that does not fit its parent sets bad; a
// tail shorter than a box header is ignored (some writers pad with zeros).
struct Boxes {
    const uint8_t *p;
    size_t n;
    size_t off = 0;
    bool bad = false;
    bool next(Box *b) {
        if (n - off < 8) return false;
        uint64_t size = be32(p + off);
        size_t header = 8;
        if (size == 1) {
            if (n - off < 16) return !(bad = true);
            size = be64(p + off + 8);
            header = 16;
        } else if (size == 0) {
            size = n - off;
        }
        if (size < header || size > n - off) return !(bad = true);
        b->type = be32(p + off + 4);
        b->body = p + off + header;
        b->size = static_cast<size_t>(size) - header;
        off += static_cast<size_t>(size);
        return true;
    }
};

bool child(const uint8_t *p, size_t n, uint32_t type, Box *out) {
    Boxes it{p, n};
    Box b;
    while (it.next(&b)) {
        if (b.type == type) {
            *out = b;
            return true;
        }
    }
    return false;
}

// Expandable descriptor length (1 to 4 bytes of 7 bits).
bool descriptor(const uint8_t *p, size_t n, size_t *pos, int *tag, size_t *len) {
    if (*pos >= n) return false;
    *tag = p[(*pos)++];
    size_t v = 0;
    for (int i = 0; i < 4; ++i) {
        if (*pos >= n) return false;
        const uint8_t c = p[(*pos)++];
        v = (v << 7) | (c & 0x7F);
        if (!(c & 0x80)) break;
    }
    if (v > n - *pos) return false;
    *len = v;
    return true;
}

// Converts a time in `from` units per second into samples at `rate`.
uint64_t to_samples(uint64_t t, uint32_t from, uint32_t rate) {
    if (from == 0 || from == rate) return t;
    return static_cast<uint64_t>((static_cast<long double>(t) * rate + from / 2) / from);
}

} // namespace

bool mp4_probe(const uint8_t *p, size_t n) {
    if (n < 8) return false;
    const uint32_t size = be32(p);
    const uint32_t t = be32(p + 4);
    const uint32_t known[] = {fourcc("ftyp"), fourcc("moov"), fourcc("mdat"), fourcc("free"),
                              fourcc("skip"), fourcc("wide"), fourcc("styp"), fourcc("moof")};
    for (uint32_t k : known) {
        if (t == k) return size == 0 || size == 1 || size >= 8;
    }
    return false;
}

bool Mp4Demuxer::fail(const std::string &msg) {
    error_ = msg;
    return false;
}

bool Mp4Demuxer::open(Input *in, StreamInfo *info, AacdBlockParams *params) {
    in_ = in;
    info_ = info;
    params_ = params;
    info->format = StreamFormat::kMp4;
    next_box_ = in->pos();
    uint64_t mdat_at = 0;
    bool mdat_seen = false;
    // Top-level boxes until the index is known and, for a plain file, the
    // media data can be reached.
    while (!have_moov_) {
        if (!in->seek(next_box_) || !in->need(8)) {
            if (!in->error().empty()) return fail(in->error());
            if (mdat_seen) return fail("MP4 file without an index (moov box): cannot be decoded");
            return fail("MP4 file without an index (moov box)");
        }
        uint64_t size = be32(in->data());
        const uint32_t type = be32(in->data() + 4);
        size_t header = 8;
        if (size == 1) {
            if (!in->need(16)) return fail("MP4 box header cut short");
            size = be64(in->data() + 8);
            header = 16;
        } else if (size == 0) {
            if (in->size() == 0 || !in->seekable()) {
                if (type == fourcc("mdat")) {
                    return fail("MP4 read from a pipe: the index (moov box) comes after the media data; "
                                "decode the file itself, or remux it with the index first (faststart)");
                }
                return fail("MP4 box '" + type_text(type) + "' of unknown size");
            }
            size = in->size() - next_box_;
        }
        if (size < header) return fail("MP4 box '" + type_text(type) + "' with a size smaller than its header");
        if (type == fourcc("moov")) {
            if (size > kMaxIndexBox) return fail("MP4 index (moov box) larger than 64 MiB");
            if (!in->need(static_cast<size_t>(size))) {
                return fail(in->error().empty() ? "MP4 index (moov box) cut short" : in->error());
            }
            moov_.assign(in->data() + header, in->data() + size);
            if (!parse_moov(moov_.data(), moov_.size())) return false;
            have_moov_ = true;
        } else if (type == fourcc("mdat") && !mdat_seen) {
            mdat_seen = true;
            mdat_at = next_box_;
            if (!in->seekable()) {
                return fail("MP4 read from a pipe: the index (moov box) comes after the media data; "
                            "decode the file itself, or remux it with the index first (faststart)");
            }
        } else if (type == fourcc("moof")) {
            return fail("fragmented MP4 file without a movie box in front");
        }
        next_box_ += size;
    }
    (void)mdat_at;
    if (!fragmented_) info->total_blocks = stsz_count_;
    // A fragmented file's samples come with its fragments, after next_box_.
    return true;
}

bool Mp4Demuxer::parse_moov(const uint8_t *p, size_t n) {
    Boxes it{p, n};
    Box b;
    std::vector<Box> traks;
    while (it.next(&b)) {
        if (b.type == fourcc("mvhd") && b.size >= 20) {
            movie_timescale_ = be32(b.body + (b.body[0] == 1 ? 20 : 12));
        } else if (b.type == fourcc("trak")) {
            traks.push_back(b);
        } else if (b.type == fourcc("mvex")) {
            fragmented_ = true;
            info_->fragmented = true;
        }
    }
    if (it.bad) return fail("MP4 index damaged: a box does not fit the movie box");
    std::string why = "no audio track";
    for (const Box &t : traks) {
        error_.clear();
        if (parse_trak(t.body, t.size)) break;
        if (!error_.empty() && why == "no audio track") why = error_;
        if (track_id_ != 0) return false; // the AAC track itself is damaged
    }
    if (track_id_ == 0) return fail("MP4 file: " + why);
    // Defaults of the track's fragments.
    Box mvex;
    if (fragmented_ && child(p, n, fourcc("mvex"), &mvex)) {
        Boxes mi{mvex.body, mvex.size};
        Box e;
        while (mi.next(&e)) {
            if (e.type == fourcc("trex") && e.size >= 24 && be32(e.body + 4) == track_id_) {
                trex_size_ = be32(e.body + 16);
            } else if (e.type == fourcc("mehd") && e.size >= 8 && movie_timescale_ != 0) {
                const uint64_t d = e.body[0] == 1 && e.size >= 12 ? be64(e.body + 4) : be32(e.body + 4);
                if (info_->duration_samples == 0) {
                    info_->duration_samples = to_samples(d, movie_timescale_, info_->sampling_rate);
                }
            }
        }
    }
    // iTunes gapless tag, used when there is no edit list.
    if (!info_->trimmed) {
        static const char kTag[] = "iTunSMPB";
        for (size_t i = 0; i + 8 + 24 <= n; ++i) {
            if (std::memcmp(p + i, kTag, 8) != 0) continue;
            Box data;
            // The 'data' box follows the 'name' box holding the tag.
            const size_t at = i + 8;
            if (!child(p + at, n - at, fourcc("data"), &data) || data.size < 8) break;
            const std::string text(reinterpret_cast<const char *>(data.body + 8), data.size - 8);
            unsigned long long f[4] = {};
            if (std::sscanf(text.c_str(), " %llx %llx %llx %llx", &f[0], &f[1], &f[2], &f[3]) == 4 && f[3] > 0) {
                info_->trimmed = true;
                info_->trim_start = f[1];
                info_->trim_length = f[3];
                info_->trim_source = "iTunSMPB";
                info_->duration_samples = f[3];
            }
            break;
        }
    }
    return true;
}

bool Mp4Demuxer::parse_trak(const uint8_t *p, size_t n) {
    Box mdia, hdlr, minf, stbl, stsd, tkhd, mdhd;
    if (!child(p, n, fourcc("mdia"), &mdia) || !child(mdia.body, mdia.size, fourcc("hdlr"), &hdlr) ||
        hdlr.size < 12 || be32(hdlr.body + 8) != fourcc("soun")) {
        return false; // not an audio track
    }
    if (!child(mdia.body, mdia.size, fourcc("minf"), &minf) || !child(minf.body, minf.size, fourcc("stbl"), &stbl) ||
        !child(stbl.body, stbl.size, fourcc("stsd"), &stsd) || stsd.size < 8) {
        return fail("audio track without a sample description");
    }
    // First sample entry.
    Box entry;
    {
        Boxes it{stsd.body + 8, stsd.size - 8};
        if (!it.next(&entry)) return fail("audio track with an empty sample description");
    }
    if (entry.type != fourcc("mp4a")) return fail("the audio track is '" + type_text(entry.type) + "', not AAC");
    if (entry.size < 28) return fail("MP4 audio sample entry cut short");
    const uint32_t version = be16(entry.body + 8);
    const size_t skip = 28 + (version == 1 ? 16 : version == 2 ? 36 : 0);
    if (entry.size < skip) return fail("MP4 audio sample entry cut short");
    Box esds, wave;
    if (!child(entry.body + skip, entry.size - skip, fourcc("esds"), &esds) &&
        !(child(entry.body + skip, entry.size - skip, fourcc("wave"), &wave) &&
          child(wave.body, wave.size, fourcc("esds"), &esds))) {
        return fail("the 'mp4a' track carries no elementary stream descriptor (esds)");
    }
    // ES_Descriptor > DecoderConfigDescriptor > DecoderSpecificInfo.
    const uint8_t *d = esds.body;
    const size_t dn = esds.size;
    size_t pos = 4, len = 0;
    int tag = 0;
    if (!descriptor(d, dn, &pos, &tag, &len) || tag != 3 || len < 3) return fail("damaged esds box");
    const size_t es_end = pos + len;
    const uint8_t flags = d[pos + 2];
    pos += 3;
    if (flags & 0x80) pos += 2;
    if (flags & 0x40) pos += (pos < es_end ? d[pos] : 0) + 1u;
    if (flags & 0x20) pos += 2;
    if (pos > es_end || !descriptor(d, es_end, &pos, &tag, &len) || tag != 4 || len < 13) {
        return fail("damaged esds box (no decoder configuration)");
    }
    const size_t dc_end = pos + len;
    const uint8_t oti = d[pos];
    if (oti != 0x40 && oti != 0x66 && oti != 0x67) {
        char buf[96];
        std::snprintf(buf, sizeof buf, "the audio track has object type indication 0x%02X, not AAC", oti);
        return fail(buf);
    }
    pos += 13;
    if (!descriptor(d, dc_end, &pos, &tag, &len) || tag != 5 || len == 0) {
        return fail("the AAC track carries no AudioSpecificConfig");
    }
    track_id_ = 1; // from here on errors concern the AAC track itself
    if (!set_config(d + pos, len)) return false;
    if (child(p, n, fourcc("tkhd"), &tkhd) && tkhd.size >= 16) {
        track_id_ = be32(tkhd.body + (tkhd.body[0] == 1 ? 20 : 12));
    }
    if (child(mdia.body, mdia.size, fourcc("mdhd"), &mdhd) && mdhd.size >= 24) {
        const bool v1 = mdhd.body[0] == 1;
        if (!v1 || mdhd.size >= 32) {
            media_timescale_ = be32(mdhd.body + (v1 ? 20 : 12));
            const uint64_t dur = v1 ? be64(mdhd.body + 24) : be32(mdhd.body + 16);
            if (dur != 0 && dur != 0xFFFFFFFFu) {
                media_samples_ = to_samples(dur, media_timescale_, info_->sampling_rate);
                info_->duration_samples = media_samples_;
            }
        }
    }
    // Sample tables.
    Box b;
    Boxes it{stbl.body, stbl.size};
    while (it.next(&b)) {
        if (b.type == fourcc("stsz") && b.size >= 12) {
            stsz_fixed_ = be32(b.body + 4);
            stsz_count_ = be32(b.body + 8);
            stsz_bits_ = 32;
            stsz_ = b.body + 12;
            if (stsz_fixed_ == 0 && stsz_count_ > (b.size - 12) / 4) return fail("MP4 sample size table cut short");
        } else if (b.type == fourcc("stz2") && b.size >= 12) {
            stsz_fixed_ = 0;
            stsz_bits_ = b.body[7];
            stsz_count_ = be32(b.body + 8);
            stsz_ = b.body + 12;
            if (stsz_bits_ != 4 && stsz_bits_ != 8 && stsz_bits_ != 16) return fail("MP4 stz2 with a bad field size");
            if ((static_cast<uint64_t>(stsz_count_) * stsz_bits_ + 7) / 8 > b.size - 12) {
                return fail("MP4 sample size table cut short");
            }
        } else if ((b.type == fourcc("stco") || b.type == fourcc("co64")) && b.size >= 8) {
            co64_ = b.type == fourcc("co64");
            stco_count_ = be32(b.body + 4);
            stco_ = b.body + 8;
            if (stco_count_ > (b.size - 8) / (co64_ ? 8 : 4)) return fail("MP4 chunk offset table cut short");
        } else if (b.type == fourcc("stsc") && b.size >= 8) {
            stsc_count_ = be32(b.body + 4);
            stsc_ = b.body + 8;
            if (stsc_count_ > (b.size - 8) / 12) return fail("MP4 sample-to-chunk table cut short");
        }
    }
    if (it.bad) return fail("MP4 sample table damaged");
    if (!fragmented_ && stsz_count_ > 0 && (stco_ == nullptr || stsc_ == nullptr || stsc_count_ == 0)) {
        return fail("MP4 sample tables incomplete (no chunk offsets or sample-to-chunk table)");
    }
    // Bytes of all samples, for the average bit rate (a fixed size needs no
    // walk over a count that may be 2^32 - 1).
    for (uint32_t i = 0; stsz_fixed_ == 0 && i < stsz_count_; ++i) info_->payload_bytes += sample_size(i);
    if (stsz_fixed_ != 0) info_->payload_bytes = static_cast<uint64_t>(stsz_fixed_) * stsz_count_;
    // Edit list: the first edit that plays media gives the presentation.
    Box edts, elst;
    if (child(p, n, fourcc("edts"), &edts) && child(edts.body, edts.size, fourcc("elst"), &elst) && elst.size >= 8) {
        const bool v1 = elst.body[0] == 1;
        const size_t esz = v1 ? 20 : 12;
        const uint32_t count = be32(elst.body + 4);
        for (uint32_t i = 0; i < count && 8 + (i + 1) * esz <= elst.size; ++i) {
            const uint8_t *e = elst.body + 8 + i * esz;
            const int64_t media_time = v1 ? static_cast<int64_t>(be64(e + 8)) : static_cast<int32_t>(be32(e + 4));
            const uint64_t seg = v1 ? be64(e) : be32(e);
            if (media_time < 0) continue; // an empty edit (a pause)
            info_->trimmed = true;
            info_->trim_source = "edit list";
            info_->trim_start = to_samples(static_cast<uint64_t>(media_time), media_timescale_, info_->sampling_rate);
            info_->trim_length = to_samples(seg, movie_timescale_, info_->sampling_rate);
            // The movie time scale may be coarse (milliseconds): the media's
            // own duration bounds the presentation more precisely.
            if (media_samples_ > info_->trim_start && media_samples_ - info_->trim_start < info_->trim_length) {
                info_->trim_length = media_samples_ - info_->trim_start;
            }
            if (info_->trim_length != 0) info_->duration_samples = info_->trim_length;
            break;
        }
    }
    chunk_pos_ = stco_ != nullptr && stco_count_ > 0 ? (co64_ ? be64(stco_) : be32(stco_)) : 0;
    return true;
}

bool Mp4Demuxer::set_config(const uint8_t *asc, size_t n) {
    if (const char *why = aacd_fmt::parse_audio_specific_config(asc, n, &asc_)) return fail(why);
    info_->object_type = asc_.object_type;
    info_->sbr_signalled = asc_.sbr || asc_.ps;
    info_->sampling_index = asc_.sampling_index;
    info_->sampling_rate = asc_.sampling_rate;
    info_->channel_config = asc_.channel_config;
    info_->channels = asc_.channels;
    *params_ = AacdBlockParams{};
    aacd_fmt::block_params_from_asc(&asc_, params_);
    return true;
}

uint32_t Mp4Demuxer::sample_size(uint32_t i) const {
    return stsz_fixed_ != 0 ? stsz_fixed_
           : stsz_bits_ == 32 ? be32(stsz_ + 4 * i)
           : stsz_bits_ == 16 ? be16(stsz_ + 2 * i)
           : stsz_bits_ == 8  ? stsz_[i]
                              : (stsz_[i / 2] >> (i & 1 ? 0 : 4)) & 0xF;
}

bool Mp4Demuxer::next_table_sample(Sample *s) {
    if (sample_ >= stsz_count_) return false;
    for (;;) {
        if (chunk_ >= stco_count_) return fail("MP4 sample tables disagree (more samples than chunks hold)");
        while (stsc_i_ + 1 < stsc_count_ && be32(stsc_ + 12 * (stsc_i_ + 1)) <= chunk_ + 1) ++stsc_i_;
        if (in_chunk_ < be32(stsc_ + 12 * stsc_i_ + 4)) break;
        ++chunk_;
        in_chunk_ = 0;
        if (chunk_ < stco_count_) chunk_pos_ = co64_ ? be64(stco_ + 8 * chunk_) : be32(stco_ + 4 * chunk_);
    }
    const uint32_t size = sample_size(sample_);
    s->offset = chunk_pos_;
    s->size = size;
    chunk_pos_ += size;
    ++in_chunk_;
    ++sample_;
    return true;
}

bool Mp4Demuxer::parse_moof(const uint8_t *p, size_t n, uint64_t moof_offset) {
    run_.clear();
    run_i_ = 0;
    Boxes it{p, n};
    Box traf;
    while (it.next(&traf)) {
        if (traf.type != fourcc("traf")) continue;
        Box tfhd;
        if (!child(traf.body, traf.size, fourcc("tfhd"), &tfhd) || tfhd.size < 8) {
            return fail("MP4 track fragment without a header (tfhd)");
        }
        if (be32(tfhd.body + 4) != track_id_) continue;
        const uint32_t tf = be32(tfhd.body) & 0xFFFFFF;
        size_t at = 8;
        uint64_t base = moof_offset;
        uint32_t def_size = trex_size_;
        if (tf & 0x01) {
            if (tfhd.size < at + 8) return fail("MP4 tfhd cut short");
            base = be64(tfhd.body + at);
            at += 8;
        }
        if (tf & 0x02) at += 4;
        if (tf & 0x08) at += 4;
        if (tf & 0x10) {
            if (tfhd.size < at + 4) return fail("MP4 tfhd cut short");
            def_size = be32(tfhd.body + at);
        }
        Boxes ti{traf.body, traf.size};
        Box trun;
        uint64_t next_data = base;
        while (ti.next(&trun)) {
            if (trun.type != fourcc("trun")) continue;
            if (trun.size < 8) return fail("MP4 trun cut short");
            const uint32_t rf = be32(trun.body) & 0xFFFFFF;
            const uint32_t count = be32(trun.body + 4);
            size_t q = 8;
            uint64_t data = next_data;
            if (rf & 0x01) {
                if (trun.size < q + 4) return fail("MP4 trun cut short");
                data = base + static_cast<uint64_t>(static_cast<int64_t>(static_cast<int32_t>(be32(trun.body + q))));
                q += 4;
            }
            if (rf & 0x04) q += 4;
            if (!(rf & 0x200) && (def_size == 0 || (in_->size() != 0 && count > in_->size() / def_size))) {
                return fail("MP4 track run without usable sample sizes");
            }
            const size_t per = 4u * (((rf >> 8) & 1) + ((rf >> 9) & 1) + ((rf >> 10) & 1) + ((rf >> 11) & 1));
            if (count > kMaxRunSamples || run_.size() + count > kMaxRunSamples ||
                (per != 0 && count > (trun.size - q) / per) || q > trun.size) {
                return fail("MP4 track run larger than its box");
            }
            for (uint32_t k = 0; k < count; ++k) {
                const uint8_t *e = trun.body + q + per * k;
                uint32_t size = def_size;
                if (rf & 0x200) size = be32(e + ((rf & 0x100) ? 4 : 0));
                run_.push_back({data, size});
                data += size;
            }
            next_data = data;
        }
        if (ti.bad) return fail("MP4 track fragment damaged");
    }
    if (it.bad) return fail("MP4 movie fragment damaged");
    return true;
}

bool Mp4Demuxer::advance_boxes() {
    // Next movie fragment with samples of the track.
    while (run_i_ >= run_.size()) {
        if (!in_->seek(next_box_) || !in_->need(8)) return false;
        uint64_t size = be32(in_->data());
        const uint32_t type = be32(in_->data() + 4);
        size_t header = 8;
        if (size == 1) {
            if (!in_->need(16)) return false;
            size = be64(in_->data() + 8);
            header = 16;
        } else if (size == 0) {
            return false; // the last box, to the end of the file
        }
        if (size < header) return fail("MP4 box '" + type_text(type) + "' with a size smaller than its header");
        if (type == fourcc("moof")) {
            if (size > kMaxIndexBox) return fail("MP4 movie fragment box larger than 64 MiB");
            if (!in_->need(static_cast<size_t>(size))) return fail(in_->error().empty() ? "MP4 movie fragment cut short" : in_->error());
            const std::vector<uint8_t> moof(in_->data() + header, in_->data() + size);
            if (!parse_moof(moof.data(), moof.size(), next_box_)) return false;
            next_box_ += size;
            // Step over the media data that follows now: its samples are
            // read next, and a pipe cannot come back to its header.
            if (in_->need(static_cast<size_t>(size) + 8) && be32(in_->data() + size + 4) == fourcc("mdat")) {
                uint64_t msize = be32(in_->data() + size);
                if (msize == 1) msize = in_->need(static_cast<size_t>(size) + 16) ? be64(in_->data() + size + 8) : 0;
                if (msize >= 8) next_box_ += msize;
            }
        } else {
            next_box_ += size;
        }
    }
    return true;
}

Demuxer::Result Mp4Demuxer::next(RawBlock *block) {
    Sample s{};
    if (fragmented_) {
        if (run_i_ >= run_.size() && !advance_boxes()) {
            return error_.empty() && in_->error().empty() ? Demuxer::Result::kEnd : Demuxer::Result::kError;
        }
        s = run_[run_i_++];
    } else if (!next_table_sample(&s)) {
        return error_.empty() ? Demuxer::Result::kEnd : Demuxer::Result::kError;
    }
    if (s.size > kMaxSampleSize) {
        fail("MP4 sample of " + std::to_string(s.size) + " bytes: not an AAC raw data block");
        return Demuxer::Result::kError;
    }
    if (!in_->seek(s.offset) || !in_->need(s.size)) {
        if (!in_->error().empty()) {
            fail(in_->error());
            return Demuxer::Result::kError;
        }
        return Demuxer::Result::kEnd; // the file is cut short
    }
    block->data = in_->data();
    block->size = static_cast<int32_t>(s.size);
    block->bounded = true;
    block->lost = s.size == 0;
    params_->frame_bytes = block->size;
    return Demuxer::Result::kBlock;
}

} // namespace aacd_cli
