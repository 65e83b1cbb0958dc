// Container parsing (ADTS, ADIF) and WAV output of the command-line host,
// on hand-built headers: header fields, block delimiting with and without
// CRC, resynchronisation, loss marking, refusals, and the WAV byte layout.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "container.h"
#include "wav.h"

using namespace aacd_cli;

namespace {

using Bytes = std::vector<uint8_t>;

// Most-significant-bit-first writer for building headers.
struct Bits {
    Bytes bytes;
    size_t bit = 0;
    void put(uint32_t v, int n) {
        for (int i = n - 1; i >= 0; --i, ++bit) {
            if ((bit & 7) == 0) bytes.push_back(0);
            if ((v >> i) & 1) bytes.back() |= static_cast<uint8_t>(0x80 >> (bit & 7));
        }
    }
    void align() { while (bit & 7) put(0, 1); }
};

struct Adts { int mpeg_id = 1; bool crc = false; int profile = 1, sf = 4, cc = 2, blocks = 1, fullness = 0x7FF; };

// One ADTS frame whose raw data blocks are the given payloads.  With CRC and
// several blocks the block positions are filled in and every block is
// followed by a CRC word (0xC0C0, which the parser must skip).
Bytes adts_frame(const Adts &s, const std::vector<Bytes> &blocks) {
    const int n = static_cast<int>(blocks.size());
    int len = 7 + (s.crc ? (n == 1 ? 2 : 4 * n) : 0);
    for (const auto &b : blocks) len += static_cast<int>(b.size());
    Bits w;
    const int fields[][2] = {{0xFFF, 12}, {s.mpeg_id, 1}, {0, 2}, {!s.crc, 1}, {s.profile, 2}, {s.sf, 4}, {0, 1},
                             {s.cc, 3}, {0, 4}, {len, 13}, {s.fullness, 11}, {n - 1, 2}};
    for (const auto &f : fields) w.put(static_cast<uint32_t>(f[0]), f[1]);
    Bytes f = w.bytes;
    for (int i = 1, pos = 7 + 2 * n + 2 + static_cast<int>(blocks[0].size()); s.crc && i < n; pos += static_cast<int>(blocks[i++].size()) + 2)
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
struct Got { int first, size; bool lost, bounded; };

std::vector<Got> drain(Demuxer &d) {
    std::vector<Got> out;
    RawBlock b;
    while (d.next(&b) == Demuxer::Result::kBlock && out.size() < 1000) {
        EXPECT_NE(b.data, nullptr);
        out.push_back({b.size > 0 ? b.data[0] : -1, b.size, b.lost, b.bounded});
    }
    return out;
}

TEST(AdtsHeader, FieldsRoundTrip) {
    const Adts cases[] = {{1, false, 1, 4, 2, 1, 0x7FF}, {0, true, 1, 11, 1, 1, 0x123}, {1, true, 1, 0, 6, 3, 0},
                          {0, false, 2, 3, 0, 4, 0x400}, {1, false, 0, 15, 7, 2, 0x7FF}};
    for (const Adts &s : cases) {
        const Bytes f = adts_frame(s, std::vector<Bytes>(static_cast<size_t>(s.blocks), payload(0x11, 10)));
        AdtsHeader h;
        ASSERT_TRUE(parse_adts_header(f.data(), f.size(), &h));
        EXPECT_TRUE(h.mpeg_id == s.mpeg_id && h.protection_absent == !s.crc && h.profile == s.profile);
        EXPECT_TRUE(h.sampling_index == s.sf && h.channel_config == s.cc && h.raw_blocks == s.blocks);
        EXPECT_EQ(h.frame_length, static_cast<int>(f.size()));
        EXPECT_EQ(h.buffer_fullness, s.fullness);
        EXPECT_EQ(adts_first_block_offset(h), !s.crc ? 7 : (s.blocks == 1 ? 9 : 7 + 2 * s.blocks));
    }
}

TEST(AdtsHeader, RejectsBadSyncLayerAndLengthAndUnsupported) {
    const Bytes f = adts_frame(Adts{}, {payload(1, 5)});
    AdtsHeader h;
    EXPECT_FALSE(parse_adts_header(f.data(), 6, &h));  // too short
    Bytes g[3] = {f, f, f};
    g[0][1] &= 0xEF;                                   // syncword broken
    g[1][1] |= 0x02;                                   // layer 1
    g[2][3] &= 0xFC, g[2][4] = 0, g[2][5] = static_cast<uint8_t>((6 << 5) | (g[2][5] & 0x1F));  // length 6
    for (const Bytes &b : g) EXPECT_FALSE(parse_adts_header(b.data(), b.size(), &h));
    const int cases[][4] = {{1, 4, 2, 1},  {1, 11, 6, 1}, {1, 0, 0, 1},  {0, 4, 2, 0},  {2, 4, 2, 0},
                            {3, 4, 2, 0},  {1, 4, 7, 0},  {1, 12, 2, 0}, {1, 15, 1, 0}};
    for (const auto &c : cases) {
        h.profile = c[0], h.sampling_index = c[1], h.channel_config = c[2];
        EXPECT_EQ(adts_unsupported_reason(h) == nullptr, c[3] == 1) << c[0] << " " << c[1] << " " << c[2];
    }
    const uint32_t rates[] = {96000, 88200, 64000, 48000, 44100, 32000, 24000, 22050, 16000, 12000, 11025, 8000};
    for (uint32_t i = 0; i < 20; ++i) EXPECT_EQ(sampling_rate_of_index(i), i < 12 ? rates[i] : 0u) << i;
}

TEST(AdtsDemux, SingleBlockFramesWithAndWithoutCrc) {
    for (bool crc : {false, true}) {
        Adts s;
        s.crc = crc, s.sf = 3;
        Bytes stream;
        for (int k = 0; k < 4; ++k) stream = cat({stream, adts_frame(s, {payload(static_cast<uint8_t>(k + 1), 20 + k)})});
        Demuxer d;
        ASSERT_TRUE(d.open(stream.data(), stream.size())) << d.error();
        EXPECT_EQ(d.info().format, StreamFormat::kAdts);
        EXPECT_TRUE(d.info().sampling_rate == 48000u && d.info().channels == 2 && d.info().crc == crc);
        RawBlock b;
        for (int k = 0; k < 4; ++k) {
            ASSERT_EQ(d.next(&b), Demuxer::Result::kBlock);
            EXPECT_TRUE(b.bounded && !b.lost);
            EXPECT_EQ(b.size, 20 + k);
            EXPECT_TRUE(b.data[0] == k + 1 && b.data[b.size - 1] == k + 1);  // no CRC byte inside the block
            const AacdBlockParams *p = d.params();
            EXPECT_TRUE(p->num_prog_configs == 0 && p->sampling_index == 3u && p->config_id == 0);
            EXPECT_EQ(p->frame_bytes, 20 + k);
        }
        EXPECT_EQ(d.next(&b), Demuxer::Result::kEnd);
        EXPECT_EQ(d.skipped_bytes(), 0u);
        EXPECT_EQ(d.frames(), 4u);
    }
}

TEST(AdtsDemux, SeveralBlocksWithCrcUsePositions) {
    Adts s;
    s.crc = true;
    const Bytes stream = cat({adts_frame(s, {payload(1, 9), payload(2, 14), payload(3, 5)}),
                              adts_frame(s, {payload(4, 7), payload(5, 8)})});
    Demuxer d;
    ASSERT_TRUE(d.open(stream.data(), stream.size())) << d.error();
    EXPECT_EQ(d.info().raw_blocks, 3);
    const std::vector<Got> got = drain(d);
    ASSERT_EQ(got.size(), 5u);
    const int size[] = {9, 14, 5, 7, 8};
    for (size_t i = 0; i < got.size(); ++i)
        EXPECT_TRUE(got[i].first == static_cast<int>(i + 1) && got[i].size == size[i] && got[i].bounded && !got[i].lost) << i;
    // Positions beyond the frame: every block of the frame is lost.
    Bytes f = adts_frame(s, {payload(1, 9), payload(2, 14)});
    f[7] = 0x7F;
    Demuxer e;
    ASSERT_TRUE(e.open(f.data(), f.size()));
    const std::vector<Got> bad = drain(e);
    ASSERT_EQ(bad.size(), 2u);
    EXPECT_TRUE(bad[0].lost && bad[1].lost);
}

TEST(AdtsDemux, SeveralBlocksWithoutCrcFollowConsumedBytes) {
    const Bytes stream = cat({adts_frame(Adts{}, {payload(1, 10), payload(2, 6), payload(3, 4)}),
                              adts_frame(Adts{}, {payload(7, 3), payload(8, 3)})});
    Demuxer d;
    ASSERT_TRUE(d.open(stream.data(), stream.size()));
    RawBlock b;
    const int first[] = {1, 2, 3}, size[] = {20, 10, 4}, used[] = {10, 6, 4};  // the rest of the payload each time
    for (int k = 0; k < 3; ++k) {
        ASSERT_EQ(d.next(&b), Demuxer::Result::kBlock);
        EXPECT_TRUE(b.data[0] == first[k] && b.size == size[k] && !b.bounded) << k;
        if (k == 0) {
            EXPECT_EQ(d.params()->frame_bytes, 20);
        }
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

TEST(AdtsDemux, ResynchronisesAfterGarbageDamageAndTruncation) {
    const Bytes junk = {0x12, 0x34, 0xFF, 0x00, 0x56, 0xFF, 0xF1, 0x00, 0x9A};
    const auto fr = [](uint8_t k, size_t n = 12) { return adts_frame(Adts{}, {payload(k, n)}); };
    Bytes stream = cat({junk, fr(1), fr(2), junk, fr(3), fr(4), {0xAB, 0xCD}});  // leading, middle, trailing junk
    Demuxer d;
    ASSERT_TRUE(d.open(stream.data(), stream.size())) << d.error();
    std::vector<Got> got = drain(d);
    ASSERT_EQ(got.size(), 4u);
    for (int k = 0; k < 4; ++k) EXPECT_TRUE(got[k].first == k + 1 && got[k].size == 12 && !got[k].lost) << k;
    EXPECT_EQ(d.skipped_bytes(), 2 * junk.size() + 2);
    EXPECT_EQ(d.resyncs(), 1u);
    // A destroyed syncword: that frame is skipped whole.
    Bytes bad = fr(2);
    bad[0] = 0x00;
    stream = cat({fr(1), bad, fr(3), fr(4)});
    Demuxer e;
    ASSERT_TRUE(e.open(stream.data(), stream.size()));
    got = drain(e);
    ASSERT_EQ(got.size(), 3u);
    EXPECT_TRUE(got[0].first == 1 && got[1].first == 3 && got[2].first == 4);
    EXPECT_EQ(e.skipped_bytes(), bad.size());
    // A truncated last frame is handed out as lost.
    Bytes last = fr(2, 30);
    last.resize(20);
    stream = cat({fr(1, 30), last});
    Demuxer t;
    ASSERT_TRUE(t.open(stream.data(), stream.size()));
    got = drain(t);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_TRUE(!got[0].lost && got[1].lost);
    EXPECT_EQ(t.truncated_frames(), 1u);
}

TEST(AdtsDemux, ConfigurationChangeBumpsConfigId) {
    Adts a, b;
    b.sf = 8, b.cc = 1;
    const Bytes stream = cat({adts_frame(a, {payload(1, 10)}), adts_frame(a, {payload(2, 10)}),
                              adts_frame(b, {payload(3, 10)}), adts_frame(b, {payload(4, 10)})});
    Demuxer d;
    ASSERT_TRUE(d.open(stream.data(), stream.size()));
    RawBlock blk;
    for (int k = 0; k < 4; ++k) {
        ASSERT_EQ(d.next(&blk), Demuxer::Result::kBlock);
        EXPECT_EQ(d.params()->config_id, k / 2);
        EXPECT_EQ(d.params()->sampling_index, k < 2 ? 4u : 8u);
    }
    EXPECT_TRUE(d.info().sampling_rate == 16000u && d.info().channels == 1);
}

TEST(AdtsDemux, RefusesUnsupportedEmptyAndGarbageInput) {
    const int cases[][3] = {{0, 4, 2}, {2, 4, 2}, {3, 4, 2}, {1, 4, 7}, {1, 13, 2}};
    for (const auto &c : cases) {
        Adts s;
        s.profile = c[0], s.sf = c[1], s.cc = c[2];
        const Bytes stream = cat({adts_frame(s, {payload(1, 10)}), adts_frame(s, {payload(1, 10)})});
        Demuxer d;
        EXPECT_FALSE(d.open(stream.data(), stream.size()));
        EXPECT_FALSE(d.error().empty());
    }
    // A change to an unsupported profile in the middle of a stream.
    Adts main_profile;
    main_profile.profile = 0;
    const Bytes stream = cat({adts_frame(Adts{}, {payload(1, 10)}), adts_frame(main_profile, {payload(2, 10)}),
                              adts_frame(main_profile, {payload(3, 10)})});
    Demuxer d;
    ASSERT_TRUE(d.open(stream.data(), stream.size()));
    RawBlock b;
    EXPECT_EQ(d.next(&b), Demuxer::Result::kBlock);
    EXPECT_EQ(d.next(&b), Demuxer::Result::kError);
    EXPECT_NE(d.error().find("Main"), std::string::npos);
    Demuxer e;
    EXPECT_FALSE(e.open(nullptr, 0));
    Bytes junk(500);
    for (size_t i = 0; i < junk.size(); ++i) junk[i] = static_cast<uint8_t>(i * 37 + 11);
    EXPECT_FALSE(e.open(junk.data(), junk.size()));
    EXPECT_FALSE(e.error().empty());
}

using Elements = std::vector<std::pair<int, int>>;  // (is_cpe, tag)

struct Pce {
    int tag = 5, profile = 1, sf = 3;
    Elements front{{0, 1}, {1, 2}}, side, back{{1, 3}}, cc;
    std::vector<int> lfe{4}, assoc{6};
    int mono = -1, stereo = -1, matrix = 2;  // -1 = absent
    std::string comment = "hello";
};

void put_pce(Bits &w, const Pce &p) {
    const int head[][2] = {{p.tag, 4}, {p.profile, 2}, {p.sf, 4}, {static_cast<int>(p.front.size()), 4},
                           {static_cast<int>(p.side.size()), 4}, {static_cast<int>(p.back.size()), 4},
                           {static_cast<int>(p.lfe.size()), 2}, {static_cast<int>(p.assoc.size()), 3},
                           {static_cast<int>(p.cc.size()), 4}};
    for (const auto &f : head) w.put(static_cast<uint32_t>(f[0]), f[1]);
    for (int v : {p.mono, p.stereo}) {
        w.put(v >= 0, 1);
        if (v >= 0) w.put(v, 4);
    }
    w.put(p.matrix >= 0, 1);
    if (p.matrix >= 0) w.put(p.matrix, 2), w.put(1, 1);  // pseudo surround
    for (const Elements *l : {&p.front, &p.side, &p.back})
        for (auto &e : *l) w.put(e.first, 1), w.put(e.second, 4);
    for (int t : p.lfe) w.put(t, 4);
    for (int t : p.assoc) w.put(t, 4);
    for (auto &e : p.cc) w.put(e.first, 1), w.put(e.second, 4);
    w.align();
    w.put(static_cast<uint32_t>(p.comment.size()), 8);
    for (char c : p.comment) w.put(static_cast<uint8_t>(c), 8);
}

Bytes adif_stream(const std::vector<Pce> &pces, bool copyright, int type, size_t raw_bytes) {
    Bits w;
    for (char c : std::string("ADIF")) w.put(static_cast<uint8_t>(c), 8);
    w.put(copyright, 1);
    for (int i = 0; copyright && i < 9; ++i) w.put(0x41 + i, 8);
    w.put(1, 1), w.put(0, 1), w.put(type, 1);  // original_copy, home, bitstream type
    w.put(128000, 23), w.put(static_cast<uint32_t>(pces.size() - 1), 4);
    for (const Pce &p : pces) {
        if (type == 0) w.put(0x12345, 20);
        put_pce(w, p);
    }
    w.align();
    for (size_t i = 0; i < raw_bytes; ++i) w.bytes.push_back(static_cast<uint8_t>(0x80 + i));
    return w.bytes;
}

TEST(Adif, HeaderAndProgramConfigurationRecords) {
    for (int type : {0, 1})
        for (bool copyright : {false, true}) {
            const Bytes s = adif_stream({Pce{}}, copyright, type, 40);
            AdifHeader h;
            std::string err;
            ASSERT_TRUE(parse_adif_header(s.data(), s.size(), &h, &err)) << err;
            EXPECT_EQ(h.copyright_id_present, copyright);
            if (copyright) {
                EXPECT_EQ(h.copyright_id[8], 0x49);
            }
            EXPECT_TRUE(h.original_copy == 1 && h.bitstream_type == type && h.bitrate == 128000u);
            EXPECT_EQ(h.buffer_fullness[0], type == 0 ? 0x12345u : 0u);
            ASSERT_EQ(h.num_pce, 1);
            EXPECT_EQ(h.header_bytes, s.size() - 40);
            const AacdProgConfig &r = h.pce[0];
            EXPECT_TRUE(r.elementInstanceTag == 5 && r.profile == 1 && r.samplingFrequencyIndex == 3);
            EXPECT_TRUE(r.front.numElements == 2 && r.front.isCpe[0] == 0 && r.front.tag[0] == 1 &&
                        r.front.isCpe[1] == 1 && r.front.tag[1] == 2);
            EXPECT_TRUE(r.side.numElements == 0 && r.back.numElements == 1 && r.back.isCpe[0] == 1 && r.back.tag[0] == 3);
            EXPECT_TRUE(r.lfe.numElements == 1 && r.lfe.tag[0] == 4 && r.lfe.isCpe[0] == 0);
            EXPECT_TRUE(r.assocData.numElements == 1 && r.assocData.tag[0] == 6 && r.validCc.numElements == 0);
            EXPECT_TRUE(r.monoMixdown.present == 0 && r.matrixMixdown.present == 1 && r.matrixMixdown.index == 2 &&
                        r.matrixMixdown.pseudoSurround == 1);
            EXPECT_EQ(r.comment[0], 0);
            EXPECT_EQ(prog_config_channels(r), 6);
            EXPECT_EQ(prog_config_unsupported_reason(r), nullptr);
        }
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
    Demuxer e;
    ASSERT_TRUE(e.open(s.data(), s.size()));
    ASSERT_EQ(e.next(&b), Demuxer::Result::kBlock);
    e.consume(0);
    EXPECT_EQ(e.next(&b), Demuxer::Result::kError);
    EXPECT_FALSE(e.error().empty());
}

TEST(Adif, RefusesUnsupportedConfigurationsAndTruncatedHeaders) {
    std::vector<Pce> bad(6);
    bad[0].profile = 0, bad[1].side = {{0, 1}}, bad[2].cc = {{1, 0}}, bad[4].sf = 12;
    bad[3].front = {{1, 0}, {1, 1}, {1, 2}};  // seven channels with the LFE
    bad[5].back = {{1, 3}, {0, 4}};            // three back channels
    for (const Pce &p : bad) {
        const Bytes s = adif_stream({p}, false, 1, 10);
        Demuxer d;
        EXPECT_FALSE(d.open(s.data(), s.size()));
        EXPECT_FALSE(d.error().empty());
    }
    const Bytes s = adif_stream({Pce{}}, true, 0, 0);
    for (size_t n : {size_t{4}, size_t{8}, s.size() - 1}) {
        AdifHeader h;
        std::string err;
        EXPECT_FALSE(parse_adif_header(s.data(), n, &h, &err)) << n;
        Demuxer d;
        EXPECT_FALSE(d.open(s.data(), n));
    }
}

TEST(WavLayout, SlotsToSpeakersAndOrder) {
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

TEST(WavHeader, PcmAndExtensibleFields) {
    struct Case { uint32_t rate; uint16_t ch, bits; uint32_t mask; bool ext; } cases[] = {
        {44100, 2, 16, 0x3, false}, {8000, 1, 16, 0x4, false}, {48000, 2, 24, 0x3, true},
        {48000, 6, 16, 0x3F, true}, {96000, 3, 24, 0x7, true}};
    const uint8_t guid[16] = {1, 0, 0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71};
    for (const Case &c : cases) {
        const uint64_t data = 1024u * c.ch * (c.bits / 8) * 3;
        const Bytes h = wav_header(WavFormat{c.rate, c.ch, c.bits, c.mask}, data);
        ASSERT_EQ(h.size(), c.ext ? 68u : 44u);
        EXPECT_TRUE(!std::memcmp(h.data(), "RIFF", 4) && !std::memcmp(h.data() + 8, "WAVEfmt ", 8));
        EXPECT_EQ(rd32(h, 4), data + h.size() - 8);
        EXPECT_EQ(rd32(h, 16), c.ext ? 40u : 16u);
        EXPECT_EQ(rd16(h, 20), c.ext ? 0xFFFEu : 1u);
        EXPECT_TRUE(rd16(h, 22) == c.ch && rd32(h, 24) == c.rate && rd16(h, 34) == c.bits);
        EXPECT_EQ(rd32(h, 28), c.rate * c.ch * (c.bits / 8));
        EXPECT_EQ(rd16(h, 32), c.ch * (c.bits / 8u));
        if (c.ext) {
            EXPECT_TRUE(rd16(h, 36) == 22u && rd16(h, 38) == c.bits && rd32(h, 40) == c.mask);
            EXPECT_EQ(std::memcmp(h.data() + 44, guid, 16), 0);
        }
        EXPECT_EQ(std::memcmp(h.data() + (c.ext ? 60 : 36), "data", 4), 0);
        EXPECT_EQ(rd32(h, c.ext ? 64 : 40), data);
    }
    // Unknown length (pipe): sizes at their maximum.
    const Bytes h = wav_header(WavFormat{48000, 2, 16, 3}, UINT64_MAX);
    EXPECT_TRUE(rd32(h, 4) == 0xFFFFFFFFu && rd32(h, 40) == 0xFFFFFFFFu);
}

TEST(WavSamples, LittleEndianPackingAndFileSizes) {
    const int32_t s16[] = {0, 1, -1, 32767, -32768, 0x1234}, s24[] = {-1, 8388607, -8388608, 0x123456};
    Bytes o;
    wav_pack_samples(s16, 6, 16, &o);
    EXPECT_EQ(o, (Bytes{0, 0, 1, 0, 0xFF, 0xFF, 0xFF, 0x7F, 0x00, 0x80, 0x34, 0x12}));
    o.clear();
    wav_pack_samples(s24, 4, 24, &o);
    EXPECT_EQ(o, (Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 0x00, 0x00, 0x80, 0x56, 0x34, 0x12}));
    // The writer patches the sizes once the length is known.
    std::FILE *f = std::tmpfile();
    ASSERT_NE(f, nullptr);
    WavWriter w;
    ASSERT_TRUE(w.start(f, WavFormat{32000, 3, 24, 0x7}));
    const std::vector<int32_t> frame(1024 * 3, -2);
    ASSERT_TRUE(w.write(frame.data(), 1024) && w.write(frame.data(), 1024) && w.finish());
    EXPECT_EQ(w.data_bytes(), 2u * 1024 * 3 * 3);
    std::fseek(f, 0, SEEK_END);
    const long size = std::ftell(f);
    EXPECT_EQ(size, 68 + 2 * 1024 * 3 * 3);
    Bytes all(static_cast<size_t>(size));
    std::rewind(f);
    ASSERT_EQ(std::fread(all.data(), 1, all.size(), f), all.size());
    std::fclose(f);
    EXPECT_EQ(rd32(all, 4), static_cast<uint32_t>(size - 8));
    EXPECT_EQ(rd32(all, 64), 2u * 1024 * 3 * 3);
    EXPECT_TRUE(all[68] == 0xFE && all[69] == 0xFF && all[70] == 0xFF);
}

}  // namespace
