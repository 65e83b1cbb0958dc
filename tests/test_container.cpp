// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// Container parsing (ADTS, ADIF) and WAV output of the command-line host,
// on hand-built headers: header fields, block delimiting with and without
// CRC, resynchronisation, loss marking, refusals, and the WAV byte layout.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "container.h"
#include "channel_encoder.h"
#include "wav.h"


using namespace aacd_cli;

namespace {

using Bytes = std::vector<uint8_t>;

struct Adts { int mpeg_id = 1; bool crc = false; int profile = 1, sf = 4, cc = 2, fullness = 0x7FF; };

// One ADTS frame whose raw data blocks are the given payloads.  With CRC and
// several blocks the block positions are filled in and every block is
// followed by a CRC word (0xC0C0, which the parser must skip).
Bytes adts_frame(const Adts &s, const std::vector<Bytes> &blocks) {
    const int n = static_cast<int>(blocks.size());
    int len = 7 + (s.crc ? (n == 1 ? 2 : 4 * n) : 0);
    for (const auto &b : blocks) len += static_cast<int>(b.size());
    BitWriter w;
    const int fields[][2] = {{0xFFF, 12}, {s.mpeg_id, 1}, {0, 2}, {!s.crc, 1}, {s.profile, 2}, {s.sf, 4}, {0, 1},
                             {s.cc, 3}, {0, 4}, {len, 13}, {s.fullness, 11}, {n - 1, 2}};
    for (const auto &f : fields) w.bits(static_cast<uint32_t>(f[0]), f[1]);
    Bytes f = w.bytes();
    for (int i = 1, pos = 7 + 2 * n + 2 + static_cast<int>(blocks[0].size()); s.crc && i < n;
         pos += static_cast<int>(blocks[i++].size()) + 2)
        f.push_back(static_cast<uint8_t>(pos >> 8)), f.push_back(static_cast<uint8_t>(pos));
    if (s.crc) f.push_back(0xC0), f.push_back(0xC0);
    for (const auto &b : blocks) {
        f.insert(f.end(), b.begin(), b.end());
        if (s.crc && n > 1) f.push_back(0xC0), f.push_back(0xC0);
    }
    EXPECT_EQ(static_cast<int>(f.size()), len);
    return f;
}

Bytes payload(uint8_t fill, size_t n) { return Bytes(n, fill); }
Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes a;
    for (const Bytes &b : parts) a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Blocks the demuxer hands out: first byte, size, lost, bounded.
struct Got {
    int first, size;
    bool lost, bounded;
    bool operator==(const Got &o) const { return first == o.first && size == o.size && lost == o.lost && bounded == o.bounded; }
};
std::ostream &operator<<(std::ostream &os, const Got &g) {
    return os << "{" << g.first << ", " << g.size << (g.lost ? ", lost" : "") << (g.bounded ? "" : ", unbounded") << "}";
}

std::vector<Got> drain(const Bytes &stream, Demuxer &d) {
    std::vector<Got> out;
    EXPECT_TRUE(d.open(stream.data(), stream.size())) << d.error();
    RawBlock b;
    while (d.next(&b) == Demuxer::Result::kBlock && out.size() < 1000) {
        EXPECT_NE(b.data, nullptr);
        out.push_back({b.size > 0 ? b.data[0] : -1, b.size, b.lost, b.bounded});
    }
    return out;
}

// Blocks handed out for single- and multi-block frames with and without CRC
// (the positions of a multi-block frame pointing outside it lose its
// blocks), after leading, middle and trailing garbage, a destroyed syncword
// and a truncated last frame; skipped bytes, resynchronisations and truncated
// frames counted (-1: not checked).
TEST(AdtsDemux, BlocksResynchronisationAndLoss) {
    Adts crc;
    crc.crc = true;
    const auto fr = [](uint8_t k, size_t n = 12) { return adts_frame(Adts{}, {payload(k, n)}); };
    const auto frc = [&](std::vector<Bytes> blocks) { return adts_frame(crc, blocks); };
    Bytes badPositions = frc({payload(1, 9), payload(2, 14)}), badSync = fr(2), truncated = fr(2, 30), badLength = fr(2);
    badPositions[7] = 0x7F, badSync[0] = 0x00;
    badLength[3] &= 0xFC, badLength[4] = 0, badLength[5] &= 0x1F;  // frame_length 0
    truncated.resize(20);
    const Bytes junk = {0x12, 0x34, 0xFF, 0x00, 0x56, 0xFF, 0xF1, 0x00, 0x9A};
    const Got lost{-1, 0, true, true};
    struct Case { Bytes stream; std::vector<Got> blocks; long skipped, resyncs, truncated; };
    const Case cases[] = {
        {cat({fr(1, 20), fr(2, 21)}), {{1, 20, false, true}, {2, 21, false, true}}, 0, 0, 0},
        {cat({frc({payload(1, 20)}), frc({payload(2, 21)})}), {{1, 20, false, true}, {2, 21, false, true}}, 0, 0, 0},
        {cat({frc({payload(1, 9), payload(2, 14), payload(3, 5)}), frc({payload(4, 7), payload(5, 8)})}),
         {{1, 9, false, true}, {2, 14, false, true}, {3, 5, false, true}, {4, 7, false, true}, {5, 8, false, true}}, 0, 0, 0},
        {badPositions, {lost, lost}, 0, 0, 0},
        {cat({junk, fr(1), fr(2), junk, fr(3), fr(4), {0xAB, 0xCD}}),
         {{1, 12, false, true}, {2, 12, false, true}, {3, 12, false, true}, {4, 12, false, true}}, 2 * 9 + 2, 1, 0},
        {cat({fr(1), badSync, fr(3), fr(4)}), {{1, 12, false, true}, {3, 12, false, true}, {4, 12, false, true}},
         static_cast<long>(badSync.size()), -1, 0},
        {cat({fr(1, 30), truncated}), {{1, 30, false, true}, lost}, 0, 0, 1},
        // A damaged length: the frame's header is found, its block is lost.
        {cat({fr(1), badLength, fr(3), fr(4)}), {{1, 12, false, true}, lost, {3, 12, false, true}, {4, 12, false, true}},
         static_cast<long>(badLength.size()), 1, 0},
    };
    for (const Case &c : cases) {
        Demuxer d;
        EXPECT_EQ(drain(c.stream, d), c.blocks);
        EXPECT_EQ(static_cast<long>(d.skipped_bytes()), c.skipped);
        EXPECT_TRUE(c.resyncs < 0 || static_cast<long>(d.resyncs()) == c.resyncs) << d.resyncs();
        EXPECT_EQ(static_cast<long>(d.truncated_frames()), c.truncated);
    }
}

TEST(AdtsDemux, SeveralBlocksWithoutCrcFollowConsumedBytes) {
    const Bytes stream = cat({adts_frame(Adts{}, {payload(1, 10), payload(2, 6), payload(3, 4)}),
                              adts_frame(Adts{}, {payload(7, 3), payload(8, 3)})});
    Demuxer d;
    ASSERT_TRUE(d.open(stream.data(), stream.size()));
    RawBlock b;
    const int size[] = {20, 10, 4}, used[] = {10, 6};  // the rest of the payload each time
    for (int k = 0; k < 3; ++k) {
        ASSERT_EQ(d.next(&b), Demuxer::Result::kBlock);
        EXPECT_TRUE(b.data[0] == k + 1 && b.size == size[k] && !b.bounded && d.params()->frame_bytes == size[k]) << k;
        if (k < 2) d.consume(used[k]);
    }
    // Second frame: the host cannot tell where the first block ended.
    ASSERT_EQ(d.next(&b), Demuxer::Result::kBlock);
    EXPECT_EQ(b.data[0], 7);
    d.consume(0);
    ASSERT_EQ(d.next(&b), Demuxer::Result::kBlock);
    EXPECT_TRUE(b.lost && b.size == 0 && b.data != nullptr);
    EXPECT_EQ(d.next(&b), Demuxer::Result::kEnd);
}

// Unsupported streams, from the start or from the middle; empty and garbage input.
TEST(AdtsDemux, RefusesUnsupportedEmptyAndGarbageInput) {
    Adts main_profile, eight_channels;
    main_profile.profile = 0, eight_channels.cc = 7;
    Demuxer d;
    for (const Adts &s : {main_profile, eight_channels}) {
        const Bytes stream = cat({adts_frame(s, {payload(1, 10)}), adts_frame(s, {payload(1, 10)})});
        EXPECT_FALSE(d.open(stream.data(), stream.size()));
        EXPECT_FALSE(d.error().empty());
    }
    const Bytes stream = cat({adts_frame(Adts{}, {payload(1, 10)}), adts_frame(main_profile, {payload(2, 10)}),
                              adts_frame(main_profile, {payload(3, 10)})});
    ASSERT_TRUE(d.open(stream.data(), stream.size()));
    RawBlock b;
    EXPECT_EQ(d.next(&b), Demuxer::Result::kBlock);
    EXPECT_EQ(d.next(&b), Demuxer::Result::kError);
    EXPECT_NE(d.error().find("Main"), std::string::npos);
    EXPECT_FALSE(d.open(nullptr, 0));
    Bytes junk(500);
    for (size_t i = 0; i < junk.size(); ++i) junk[i] = static_cast<uint8_t>(i * 37 + 11);
    EXPECT_FALSE(d.open(junk.data(), junk.size()));
    EXPECT_FALSE(d.error().empty());
}

using Elements = std::vector<std::pair<int, int>>;  // (is_cpe, tag)

struct Pce {
    int tag = 5, profile = 1, sf = 3;
    Elements front{{0, 1}, {1, 2}}, side, back{{1, 3}}, cc;
    std::vector<int> lfe{4}, assoc{6};
    std::string comment = "hello";  // mixdowns: only a matrix mixdown, index 2, pseudo surround
};

void put_pce(BitWriter &w, const Pce &p) {
    const int head[][2] = {{p.tag, 4}, {p.profile, 2}, {p.sf, 4}, {static_cast<int>(p.front.size()), 4},
                           {static_cast<int>(p.side.size()), 4}, {static_cast<int>(p.back.size()), 4},
                           {static_cast<int>(p.lfe.size()), 2}, {static_cast<int>(p.assoc.size()), 3},
                           {static_cast<int>(p.cc.size()), 4}, {0, 1}, {0, 1}, {1, 1}, {2, 2}, {1, 1}};
    for (const auto &f : head) w.bits(static_cast<uint32_t>(f[0]), f[1]);
    for (const Elements *l : {&p.front, &p.side, &p.back})
        for (auto &e : *l) w.bits(e.first, 1), w.bits(e.second, 4);
    for (int t : p.lfe) w.bits(t, 4);
    for (int t : p.assoc) w.bits(t, 4);
    for (auto &e : p.cc) w.bits(e.first, 1), w.bits(e.second, 4);
    w.bits(0, (8 - w.count() % 8) % 8);
    w.bits(static_cast<uint32_t>(p.comment.size()), 8);
    for (char c : p.comment) w.bits(static_cast<uint8_t>(c), 8);
}

Bytes adif_stream(const std::vector<Pce> &pces, bool copyright, int type, size_t raw_bytes) {
    BitWriter w;
    for (char c : std::string("ADIF")) w.bits(static_cast<uint8_t>(c), 8);
    w.bits(copyright, 1);
    for (int i = 0; copyright && i < 9; ++i) w.bits(0x41 + i, 8);
    w.bits(1, 1), w.bits(0, 1), w.bits(type, 1);  // original_copy, home, bitstream type
    w.bits(128000, 23), w.bits(static_cast<uint32_t>(pces.size() - 1), 4);
    for (const Pce &p : pces) {
        if (type == 0) w.bits(0x12345, 20);
        put_pce(w, p);
    }
    Bytes s = w.bytes();
    for (size_t i = 0; i < raw_bytes; ++i) s.push_back(static_cast<uint8_t>(0x80 + i));
    return s;
}

TEST(Adif, DemuxerHandsOverRecordsAndFollowsConsumedBytes) {
    Pce stereo;
    stereo.tag = 2, stereo.sf = 8, stereo.front = {{1, 0}}, stereo.back = {}, stereo.lfe = {}, stereo.assoc = {};
    const Bytes s = adif_stream({stereo, Pce{}}, false, 1, 30);
    Demuxer d;
    ASSERT_TRUE(d.open(s.data(), s.size())) << d.error();
    EXPECT_EQ(d.info().format, StreamFormat::kAdif);
    EXPECT_TRUE(d.info().sampling_rate == 16000u && d.info().channels == 2 && d.info().num_pce == 2);
    RawBlock b;
    ASSERT_EQ(d.next(&b), Demuxer::Result::kBlock);
    const AacdBlockParams *p = d.params();
    ASSERT_EQ(p->num_prog_configs, 2);
    EXPECT_TRUE(p->prog_configs[0].elementInstanceTag == 2 && p->prog_configs[1].elementInstanceTag == 5);
    EXPECT_TRUE(!b.bounded && b.size == 30 && b.data[0] == 0x80);
    d.consume(12);
    ASSERT_EQ(d.next(&b), Demuxer::Result::kBlock);
    EXPECT_TRUE(b.size == 18 && b.data[0] == 0x80 + 12);
    d.consume(18);
    EXPECT_EQ(d.next(&b), Demuxer::Result::kEnd);
    // A block the decoder could not delimit ends an ADIF stream.
    ASSERT_TRUE(d.open(s.data(), s.size()));
    ASSERT_EQ(d.next(&b), Demuxer::Result::kBlock);
    d.consume(0);
    EXPECT_EQ(d.next(&b), Demuxer::Result::kError);
    EXPECT_FALSE(d.error().empty());
}

TEST(Adif, RefusesUnsupportedConfigurationsAndTruncatedHeaders) {
    std::vector<Pce> bad(6);
    bad[0].profile = 0, bad[1].side = {{0, 1}}, bad[2].cc = {{1, 0}}, bad[4].sf = 12;
    bad[3].front = {{1, 0}, {1, 1}, {1, 2}};  // seven channels with the LFE
    bad[5].back = {{1, 3}, {0, 4}};            // three back channels
    Demuxer d;
    for (const Pce &p : bad) {
        const Bytes s = adif_stream({p}, false, 1, 10);
        EXPECT_FALSE(d.open(s.data(), s.size()));
        EXPECT_FALSE(d.error().empty());
    }
    const Bytes s = adif_stream({Pce{}}, true, 0, 0);
    for (size_t n : {size_t{4}, size_t{8}, s.size() - 1}) EXPECT_FALSE(d.open(s.data(), n)) << n;
}

// ---------------------------------------------------------------- MP4

Bytes be(uint64_t v, int bytes) {
    Bytes b;
    for (int i = bytes - 1; i >= 0; --i) b.push_back(i < 8 ? static_cast<uint8_t>(v >> (8 * i)) : 0);
    return b;
}
Bytes text(const std::string &t) { return Bytes(t.begin(), t.end()); }
Bytes box(const char *type, std::initializer_list<Bytes> parts) {
    const Bytes body = cat(parts);
    return cat({be(body.size() + 8, 4), text(type), body});
}

struct Mp4 {
    bool moov_first = true, stz2 = false, co64 = false;
    uint32_t per_chunk = 100;          // samples per chunk
    int64_t edit_start = -2;           // -2: no edit list
    uint32_t edit_ms = 0;
    std::string smpb;                  // iTunSMPB text, empty: none
    uint8_t oti = 0x40;
};

// A minimal MP4 file: one AAC track (stereo, 44.1 kHz) holding the blocks.
Bytes mp4_file(const Mp4 &m, const std::vector<Bytes> &blocks) {
    const Bytes ftyp = box("ftyp", {text("M4A "), be(0, 4)});
    Bytes media;
    for (const Bytes &b : blocks) media.insert(media.end(), b.begin(), b.end());
    const Bytes mdat = box("mdat", {media});
    const auto moov_for = [&](uint64_t data_at) {
        const uint32_t n = static_cast<uint32_t>(blocks.size());
        Bytes sizes, offsets;
        uint64_t at = data_at;
        for (uint32_t i = 0; i < n; ++i) {
            sizes = cat({sizes, be(blocks[i].size(), m.stz2 ? 2 : 4)});
            if (i % m.per_chunk == 0) offsets = cat({offsets, be(at, m.co64 ? 8 : 4)});
            at += blocks[i].size();
        }
        const uint32_t chunks = (n + m.per_chunk - 1) / m.per_chunk;
        const Bytes esds = box("esds", {be(0, 4), Bytes{3, 25}, be(1, 2), Bytes{0}, Bytes{4, 17, m.oti, 0x15},
                                        be(0, 11), Bytes{5, 2, 0x12, 0x10}, Bytes{6, 1, 2}});
        const Bytes mp4a = box("mp4a", {be(0, 6), be(1, 2), be(0, 8), be(2, 2), be(16, 2), be(0, 4), be(44100u << 16, 4), esds});
        const Bytes stbl = box("stbl", {box("stsd", {be(0, 4), be(1, 4), mp4a}),
                                        box("stsc", {be(0, 4), be(1, 4), be(1, 4), be(m.per_chunk, 4), be(1, 4)}),
                                        m.stz2 ? box("stz2", {be(0, 4), be(16, 4), be(n, 4), sizes})
                                               : box("stsz", {be(0, 4), be(0, 4), be(n, 4), sizes}),
                                        box(m.co64 ? "co64" : "stco", {be(0, 4), be(chunks, 4), offsets})});
        const Bytes mdia = box("mdia", {box("mdhd", {be(0, 12), be(44100, 4), be(n * 1024, 4), be(0, 4)}),
                                        box("hdlr", {be(0, 8), text("soun"), be(0, 13)}), box("minf", {stbl})});
        const Bytes edts = m.edit_start < -1 ? Bytes{}
                                             : box("edts", {box("elst", {be(0, 4), be(1, 4), be(m.edit_ms, 4),
                                                                         be(static_cast<uint64_t>(m.edit_start), 4), be(0x10000, 4)})});
        const Bytes udta = m.smpb.empty() ? Bytes{}
            : box("udta", {box("meta", {be(0, 4), box("ilst", {box("----", {box("mean", {be(0, 4), text("com.apple.iTunes")}),
                                                                           box("name", {be(0, 4), text("iTunSMPB")}),
                                                                           box("data", {be(1, 4), be(0, 4), text(m.smpb)})})})})});
        return box("moov", {box("mvhd", {be(0, 12), be(1000, 4), be(0, 84)}),
                            box("trak", {box("tkhd", {be(0, 12), be(1, 4), be(0, 64)}), edts, mdia}), udta});
    };
    if (!m.moov_first) return cat({ftyp, mdat, moov_for(ftyp.size() + 8)});
    const size_t moov_size = moov_for(0).size();
    return cat({ftyp, moov_for(ftyp.size() + moov_size + 8), mdat});
}

// The raw data blocks of a stream.
std::vector<Bytes> blocks_of(const Bytes &stream, Demuxer &d) {
    std::vector<Bytes> out;
    if (!d.open(stream.data(), stream.size())) return out;
    RawBlock b;
    while (d.next(&b) == Demuxer::Result::kBlock) out.emplace_back(b.data, b.data + b.size);
    return out;
}

// The same blocks from every layout of the index, and the trimming the
// edit list or (without one) the iTunSMPB tag asks for.
TEST(Mp4Demux, SampleTablesAndGaplessTrimming) {
    std::vector<Bytes> blocks;
    for (int k = 0; k < 7; ++k) blocks.push_back(payload(static_cast<uint8_t>(0x20 + k), 30 + 7 * k));
    const std::string smpb = " 00000000 00000840 000001C0 0000000000001400 00000000";
    struct Case { Mp4 m; bool trimmed; uint64_t start, length; } cases[] = {
        {{true, false, false, 100, -2, 0, "", 0x40}, false, 0, 0},
        {{false, true, true, 3, -2, 0, "", 0x40}, false, 0, 0},
        {{true, false, true, 2, 1024, 116, "", 0x40}, true, 1024, 5116},   // 116 ms, bounded by the media
        {{false, true, false, 4, 2112, 100, "", 0x40}, true, 2112, 4410},
        {{true, false, false, 100, -2, 0, smpb, 0x40}, true, 0x840, 0x1400},
        {{true, false, false, 100, 1024, 50, smpb, 0x40}, true, 1024, 2205},  // the edit list wins
    };
    for (const Case &c : cases) {
        const Bytes f = mp4_file(c.m, blocks);
        Demuxer d;
        EXPECT_EQ(blocks_of(f, d), blocks) << d.error();
        const StreamInfo &i = d.info();
        EXPECT_TRUE(i.format == StreamFormat::kMp4 && i.sampling_rate == 44100 && i.channels == 2 && i.total_blocks == 7);
        EXPECT_EQ(i.trimmed, c.trimmed);
        EXPECT_EQ(i.trim_start, c.start);
        EXPECT_EQ(i.trim_length, c.length);
    }
    // Not AAC, or cut short: refused with a message.
    const Mp4 mp3{true, false, false, 100, -2, 0, "", 0x6B};
    Demuxer d;
    const Bytes f = mp4_file(mp3, blocks);
    EXPECT_FALSE(d.open(f.data(), f.size()));
    EXPECT_NE(d.error().find("0x6B, not AAC"), std::string::npos) << d.error();
    const Bytes g = mp4_file(cases[0].m, blocks);
    for (size_t cut : {size_t{40}, size_t{200}, g.size() - 300}) {
        const std::vector<Bytes> got = blocks_of(Bytes(g.begin(), g.begin() + static_cast<long>(cut)), d);
        EXPECT_TRUE(got.empty() || got.size() < blocks.size()) << cut;
        EXPECT_TRUE(!d.error().empty() || !got.empty() || cut > 300) << cut;
    }
}

TEST(Wav, LayoutOfSlotsToSpeakers) {
    struct Case { uint32_t slots, mask; std::vector<int> source; } cases[] = {
        {0x01, 0x004, {0}},          {0x06, 0x003, {0, 1}},          {0x07, 0x007, {1, 2, 0}},  // mono, stereo, 3.0
        {0x0F, 0x107, {1, 2, 0, 3}}, {0x1F, 0x037, {1, 2, 0, 3, 4}}, {0x3F, 0x03F, {1, 2, 0, 5, 3, 4}},  // 4.0, 5.0, 5.1
        {0x1E, 0x033, {0, 1, 2, 3}}, {0x26, 0x00B, {0, 1, 2}},       {0x00, 0x000, {}}};  // quad, 2.1, none
    for (const Case &c : cases) {
        const ChannelLayout l = layout_for_slots(c.slots);
        EXPECT_EQ(l.channel_mask, c.mask) << c.slots;
        ASSERT_EQ(l.channels, static_cast<int>(c.source.size()));
        for (int k = 0; k < l.channels; ++k) {
            EXPECT_EQ(l.source[k], c.source[k]) << c.slots << " " << k;
            if (k > 0) {
                EXPECT_GT(l.speaker[k], l.speaker[k - 1]);  // WAV order: increasing speaker bits
            }
        }
    }
}

uint32_t rd16(const Bytes &v, size_t o) { return v[o] | (v[o + 1] << 8); }
uint32_t rd32(const Bytes &v, size_t o) { return rd16(v, o) | (rd16(v, o + 2) << 16); }

// Past the RIFF limit the header is RF64: ds64 with the 64-bit sizes,
// 0xFFFFFFFF in the 32-bit fields.  (Plain headers, packing and the sizes
// written to files and pipes are checked on the program's real outputs.)
TEST(Wav, Rf64Header) {
    const WavFormat fmt{44100, 2, 16, 3};
    const uint64_t big = uint64_t{5} << 30;
    const Bytes h = wav_header(fmt, big, true);
    ASSERT_EQ(h.size(), 80u);
    EXPECT_TRUE(!std::memcmp(h.data(), "RF64", 4) && !std::memcmp(h.data() + 12, "ds64", 4) && rd32(h, 4) == 0xFFFFFFFFu);
    EXPECT_EQ(rd32(h, 20) | (uint64_t{rd32(h, 24)} << 32), big + 72);
    EXPECT_EQ(rd32(h, 28) | (uint64_t{rd32(h, 32)} << 32), big);
    EXPECT_EQ(rd32(h, 36) | (uint64_t{rd32(h, 40)} << 32), big / 4);
    EXPECT_TRUE(!std::memcmp(h.data() + 72, "data", 4) && rd32(h, 76) == 0xFFFFFFFFu);
    EXPECT_EQ(wav_riff_limit(fmt), 0xFFFFFFFFu - 36);
}

}  // namespace
