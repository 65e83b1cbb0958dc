// Container parsing (ADTS, ADIF) and WAV output of the command-line host,
// on hand-built headers.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "container.h"
#include "wav.h"

using namespace aacd_cli;

namespace {

// Most-significant-bit-first writer for building headers.
class Bits {
public:
    void put(uint32_t v, int n) {
        for (int i = n - 1; i >= 0; --i) {
            if ((bit_ & 7) == 0) bytes.push_back(0);
            if ((v >> i) & 1) bytes.back() |= static_cast<uint8_t>(0x80 >> (bit_ & 7));
            ++bit_;
        }
    }
    void align() {
        while (bit_ & 7) put(0, 1);
    }
    std::vector<uint8_t> bytes;

private:
    size_t bit_ = 0;
};

struct AdtsSpec {
    int mpeg_id = 1;
    bool crc = false;
    int profile = 1;
    int sf = 4;
    int cc = 2;
    int blocks = 1;
    int fullness = 0x7FF;
};

// One ADTS frame whose raw data blocks are the given payloads.  With CRC and
// several blocks the block positions are filled in and every block is
// followed by a CRC word (0xC0C0, which the parser must skip).
std::vector<uint8_t> adts_frame(const AdtsSpec &s, const std::vector<std::vector<uint8_t>> &blocks) {
    const int n = static_cast<int>(blocks.size());
    int len = 7;
    if (s.crc) len += n == 1 ? 2 : 2 * (n - 1) + 2 + 2 * n;
    for (const auto &b : blocks) len += static_cast<int>(b.size());
    Bits w;
    w.put(0xFFF, 12);
    w.put(s.mpeg_id, 1);
    w.put(0, 2);
    w.put(s.crc ? 0 : 1, 1);
    w.put(s.profile, 2);
    w.put(s.sf, 4);
    w.put(0, 1);
    w.put(s.cc, 3);
    w.put(0, 1);
    w.put(0, 1);
    w.put(0, 1);
    w.put(0, 1);
    w.put(len, 13);
    w.put(s.fullness, 11);
    w.put(n - 1, 2);
    std::vector<uint8_t> f = w.bytes;
    if (s.crc && n > 1) {
        int pos = 7 + 2 * (n - 1) + 2 + static_cast<int>(blocks[0].size()) + 2;
        for (int i = 1; i < n; ++i) {
            f.push_back(static_cast<uint8_t>(pos >> 8));
            f.push_back(static_cast<uint8_t>(pos));
            pos += static_cast<int>(blocks[i].size()) + 2;
        }
    }
    if (s.crc) {
        f.push_back(0xC0);
        f.push_back(0xC0);
    }
    for (const auto &b : blocks) {
        f.insert(f.end(), b.begin(), b.end());
        if (s.crc && n > 1) {
            f.push_back(0xC0);
            f.push_back(0xC0);
        }
    }
    EXPECT_EQ(static_cast<int>(f.size()), len);
    return f;
}

std::vector<uint8_t> payload(uint8_t fill, size_t n) { return std::vector<uint8_t>(n, fill); }

void append(std::vector<uint8_t> &a, const std::vector<uint8_t> &b) { a.insert(a.end(), b.begin(), b.end()); }

// Blocks the demuxer hands out, as (first byte, size, lost, bounded).
struct Got {
    int first;
    int size;
    bool lost;
    bool bounded;
};

std::vector<Got> drain(Demuxer &d) {
    std::vector<Got> out;
    RawBlock b;
    while (d.next(&b) == Demuxer::Result::kBlock) {
        EXPECT_NE(b.data, nullptr);
        out.push_back({b.size > 0 ? b.data[0] : -1, b.size, b.lost, b.bounded});
        if (out.size() > 1000) break;
    }
    return out;
}

} // namespace

// ------------------------------------------------------------------ ADTS header

TEST(AdtsHeader, FieldsRoundTrip) {
    const AdtsSpec cases[] = {
        {1, false, 1, 4, 2, 1, 0x7FF}, {0, true, 1, 11, 1, 1, 0x123}, {1, true, 1, 0, 6, 3, 0},
        {0, false, 2, 3, 0, 4, 0x400}, {1, false, 0, 15, 7, 2, 0x7FF},
    };
    for (const AdtsSpec &s : cases) {
        std::vector<std::vector<uint8_t>> blocks(static_cast<size_t>(s.blocks), payload(0x11, 10));
        const std::vector<uint8_t> f = adts_frame(s, blocks);
        AdtsHeader h;
        ASSERT_TRUE(parse_adts_header(f.data(), f.size(), &h));
        EXPECT_EQ(h.mpeg_id, s.mpeg_id);
        EXPECT_EQ(h.protection_absent, !s.crc);
        EXPECT_EQ(h.profile, s.profile);
        EXPECT_EQ(h.sampling_index, s.sf);
        EXPECT_EQ(h.channel_config, s.cc);
        EXPECT_EQ(h.frame_length, static_cast<int>(f.size()));
        EXPECT_EQ(h.buffer_fullness, s.fullness);
        EXPECT_EQ(h.raw_blocks, s.blocks);
        const int expect_off = !s.crc ? 7 : (s.blocks == 1 ? 9 : 7 + 2 * s.blocks);
        EXPECT_EQ(adts_first_block_offset(h), expect_off);
    }
}

TEST(AdtsHeader, RejectsBadSyncLayerAndLength) {
    std::vector<uint8_t> f = adts_frame(AdtsSpec{}, {payload(1, 5)});
    AdtsHeader h;
    EXPECT_FALSE(parse_adts_header(f.data(), 6, &h)); // too short
    std::vector<uint8_t> g = f;
    g[1] &= 0xEF; // syncword broken
    EXPECT_FALSE(parse_adts_header(g.data(), g.size(), &h));
    g = f;
    g[1] |= 0x02; // layer 1
    EXPECT_FALSE(parse_adts_header(g.data(), g.size(), &h));
    g = f;
    g[3] &= 0xFC; // frame length 6 and below the header size
    g[4] = 0;
    g[5] = static_cast<uint8_t>((6 << 5) | (g[5] & 0x1F));
    EXPECT_FALSE(parse_adts_header(g.data(), g.size(), &h));
}

TEST(AdtsHeader, SupportedProfilesAndConfigurations) {
    struct Case {
        int profile, sf, cc;
        bool ok;
    } cases[] = {{1, 4, 2, true},  {1, 11, 6, true}, {1, 0, 0, true}, {0, 4, 2, false}, {2, 4, 2, false},
                 {3, 4, 2, false}, {1, 4, 7, false}, {1, 12, 2, false}, {1, 15, 1, false}};
    for (const Case &c : cases) {
        AdtsHeader h;
        h.profile = c.profile;
        h.sampling_index = c.sf;
        h.channel_config = c.cc;
        EXPECT_EQ(adts_unsupported_reason(h) == nullptr, c.ok) << c.profile << " " << c.sf << " " << c.cc;
    }
}

TEST(SamplingRates, AllIndices) {
    const uint32_t rates[] = {96000, 88200, 64000, 48000, 44100, 32000, 24000, 22050, 16000, 12000, 11025, 8000};
    for (uint32_t i = 0; i < 12; ++i) EXPECT_EQ(sampling_rate_of_index(i), rates[i]);
    for (uint32_t i = 12; i < 20; ++i) EXPECT_EQ(sampling_rate_of_index(i), 0u);
}

// ------------------------------------------------------------------ ADTS demuxer

TEST(AdtsDemux, SingleBlockFramesWithAndWithoutCrc) {
    for (bool crc : {false, true}) {
        AdtsSpec s;
        s.crc = crc;
        s.sf = 3;
        std::vector<uint8_t> stream;
        for (int k = 0; k < 4; ++k) append(stream, adts_frame(s, {payload(static_cast<uint8_t>(k + 1), 20 + k)}));
        Demuxer d;
        ASSERT_TRUE(d.open(stream.data(), stream.size())) << d.error();
        EXPECT_EQ(d.info().format, StreamFormat::kAdts);
        EXPECT_EQ(d.info().sampling_rate, 48000u);
        EXPECT_EQ(d.info().channels, 2);
        EXPECT_EQ(d.info().crc, crc);
        RawBlock b;
        for (int k = 0; k < 4; ++k) {
            ASSERT_EQ(d.next(&b), Demuxer::Result::kBlock);
            EXPECT_TRUE(b.bounded);
            EXPECT_FALSE(b.lost);
            EXPECT_EQ(b.size, 20 + k);
            EXPECT_EQ(b.data[0], k + 1);
            EXPECT_EQ(b.data[b.size - 1], k + 1); // no CRC byte inside the block
            const AacdBlockParams *p = d.params();
            EXPECT_EQ(p->num_prog_configs, 0);
            EXPECT_EQ(p->sampling_index, 3u);
            EXPECT_EQ(p->frame_bytes, 20 + k);
            EXPECT_EQ(p->config_id, 0);
        }
        EXPECT_EQ(d.next(&b), Demuxer::Result::kEnd);
        EXPECT_EQ(d.skipped_bytes(), 0u);
        EXPECT_EQ(d.frames(), 4u);
    }
}

TEST(AdtsDemux, SeveralBlocksWithCrcUsePositions) {
    AdtsSpec s;
    s.crc = true;
    std::vector<uint8_t> stream;
    append(stream, adts_frame(s, {payload(1, 9), payload(2, 14), payload(3, 5)}));
    append(stream, adts_frame(s, {payload(4, 7), payload(5, 8)}));
    Demuxer d;
    ASSERT_TRUE(d.open(stream.data(), stream.size())) << d.error();
    EXPECT_EQ(d.info().raw_blocks, 3);
    const std::vector<Got> got = drain(d);
    ASSERT_EQ(got.size(), 5u);
    const int first[] = {1, 2, 3, 4, 5}, size[] = {9, 14, 5, 7, 8};
    for (size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].first, first[i]);
        EXPECT_EQ(got[i].size, size[i]);
        EXPECT_TRUE(got[i].bounded);
        EXPECT_FALSE(got[i].lost);
    }
}

TEST(AdtsDemux, InconsistentBlockPositionsGiveLostBlocks) {
    AdtsSpec s;
    s.crc = true;
    std::vector<uint8_t> f = adts_frame(s, {payload(1, 9), payload(2, 14)});
    f[7] = 0x7F; // position of block 1 beyond the frame
    Demuxer d;
    ASSERT_TRUE(d.open(f.data(), f.size()));
    const std::vector<Got> got = drain(d);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_TRUE(got[0].lost);
    EXPECT_TRUE(got[1].lost);
}

TEST(AdtsDemux, SeveralBlocksWithoutCrcFollowConsumedBytes) {
    AdtsSpec s;
    std::vector<uint8_t> stream = adts_frame(s, {payload(1, 10), payload(2, 6), payload(3, 4)});
    append(stream, adts_frame(s, {payload(7, 3), payload(8, 3)}));
    Demuxer d;
    ASSERT_TRUE(d.open(stream.data(), stream.size()));
    RawBlock b;
    ASSERT_EQ(d.next(&b), Demuxer::Result::kBlock);
    EXPECT_FALSE(b.bounded);
    EXPECT_EQ(b.size, 20); // rest of the payload
    EXPECT_EQ(d.params()->frame_bytes, 20);
    d.consume(10);
    ASSERT_EQ(d.next(&b), Demuxer::Result::kBlock);
    EXPECT_EQ(b.data[0], 2);
    EXPECT_EQ(b.size, 10);
    d.consume(6);
    ASSERT_EQ(d.next(&b), Demuxer::Result::kBlock);
    EXPECT_EQ(b.data[0], 3);
    EXPECT_EQ(b.size, 4);
    // Second frame: the host cannot tell where the first block ended.
    ASSERT_EQ(d.next(&b), Demuxer::Result::kBlock);
    EXPECT_EQ(b.data[0], 7);
    d.consume(0);
    ASSERT_EQ(d.next(&b), Demuxer::Result::kBlock);
    EXPECT_TRUE(b.lost);
    EXPECT_EQ(b.size, 0);
    EXPECT_NE(b.data, nullptr);
    EXPECT_EQ(d.next(&b), Demuxer::Result::kEnd);
}

TEST(AdtsDemux, ResynchronisesAfterGarbage) {
    AdtsSpec s;
    const std::vector<uint8_t> garbage = {0x12, 0x34, 0xFF, 0x00, 0x56, 0xFF, 0xF1, 0x00, 0x9A};
    std::vector<uint8_t> stream = garbage; // leading garbage
    append(stream, adts_frame(s, {payload(1, 12)}));
    append(stream, adts_frame(s, {payload(2, 12)}));
    append(stream, garbage); // between frames
    append(stream, adts_frame(s, {payload(3, 12)}));
    append(stream, adts_frame(s, {payload(4, 12)}));
    append(stream, {0xAB, 0xCD}); // trailing junk
    Demuxer d;
    ASSERT_TRUE(d.open(stream.data(), stream.size())) << d.error();
    const std::vector<Got> got = drain(d);
    ASSERT_EQ(got.size(), 4u);
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(got[k].first, k + 1);
        EXPECT_EQ(got[k].size, 12);
        EXPECT_FALSE(got[k].lost);
    }
    EXPECT_EQ(d.skipped_bytes(), 2 * garbage.size() + 2);
    EXPECT_EQ(d.resyncs(), 1u);
}

TEST(AdtsDemux, DamagedHeaderIsSkippedToTheNextFrame) {
    AdtsSpec s;
    std::vector<uint8_t> stream = adts_frame(s, {payload(1, 12)});
    std::vector<uint8_t> bad = adts_frame(s, {payload(2, 12)});
    bad[0] = 0x00; // syncword destroyed
    append(stream, bad);
    append(stream, adts_frame(s, {payload(3, 12)}));
    append(stream, adts_frame(s, {payload(4, 12)}));
    Demuxer d;
    ASSERT_TRUE(d.open(stream.data(), stream.size()));
    const std::vector<Got> got = drain(d);
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].first, 1);
    EXPECT_EQ(got[1].first, 3);
    EXPECT_EQ(got[2].first, 4);
    EXPECT_EQ(d.skipped_bytes(), bad.size());
}

TEST(AdtsDemux, TruncatedLastFrameIsLost) {
    AdtsSpec s;
    std::vector<uint8_t> stream = adts_frame(s, {payload(1, 30)});
    std::vector<uint8_t> last = adts_frame(s, {payload(2, 30)});
    last.resize(20);
    append(stream, last);
    Demuxer d;
    ASSERT_TRUE(d.open(stream.data(), stream.size()));
    const std::vector<Got> got = drain(d);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_FALSE(got[0].lost);
    EXPECT_TRUE(got[1].lost);
    EXPECT_EQ(d.truncated_frames(), 1u);
}

TEST(AdtsDemux, ConfigurationChangeBumpsConfigId) {
    AdtsSpec a, b;
    b.sf = 8;
    b.cc = 1;
    std::vector<uint8_t> stream = adts_frame(a, {payload(1, 10)});
    append(stream, adts_frame(a, {payload(2, 10)}));
    append(stream, adts_frame(b, {payload(3, 10)}));
    append(stream, adts_frame(b, {payload(4, 10)}));
    Demuxer d;
    ASSERT_TRUE(d.open(stream.data(), stream.size()));
    RawBlock blk;
    const int ids[] = {0, 0, 1, 1};
    const uint32_t sf[] = {4, 4, 8, 8};
    for (int k = 0; k < 4; ++k) {
        ASSERT_EQ(d.next(&blk), Demuxer::Result::kBlock);
        EXPECT_EQ(d.params()->config_id, ids[k]);
        EXPECT_EQ(d.params()->sampling_index, sf[k]);
    }
    EXPECT_EQ(d.info().sampling_rate, 16000u);
    EXPECT_EQ(d.info().channels, 1);
}

TEST(AdtsDemux, RefusesUnsupportedStreams) {
    struct Case {
        int profile, sf, cc;
    } cases[] = {{0, 4, 2}, {2, 4, 2}, {3, 4, 2}, {1, 4, 7}, {1, 13, 2}};
    for (const Case &c : cases) {
        AdtsSpec s;
        s.profile = c.profile;
        s.sf = c.sf;
        s.cc = c.cc;
        std::vector<uint8_t> stream = adts_frame(s, {payload(1, 10)});
        append(stream, adts_frame(s, {payload(1, 10)}));
        Demuxer d;
        EXPECT_FALSE(d.open(stream.data(), stream.size()));
        EXPECT_FALSE(d.error().empty());
    }
    // A change to an unsupported profile in the middle of a stream.
    AdtsSpec ok, main_profile;
    main_profile.profile = 0;
    std::vector<uint8_t> stream = adts_frame(ok, {payload(1, 10)});
    append(stream, adts_frame(main_profile, {payload(2, 10)}));
    append(stream, adts_frame(main_profile, {payload(3, 10)}));
    Demuxer d;
    ASSERT_TRUE(d.open(stream.data(), stream.size()));
    RawBlock b;
    EXPECT_EQ(d.next(&b), Demuxer::Result::kBlock);
    EXPECT_EQ(d.next(&b), Demuxer::Result::kError);
    EXPECT_NE(d.error().find("Main"), std::string::npos);
}

TEST(AdtsDemux, RefusesEmptyAndGarbageInput) {
    Demuxer d;
    EXPECT_FALSE(d.open(nullptr, 0));
    std::vector<uint8_t> junk(500);
    for (size_t i = 0; i < junk.size(); ++i) junk[i] = static_cast<uint8_t>(i * 37 + 11);
    EXPECT_FALSE(d.open(junk.data(), junk.size()));
    EXPECT_FALSE(d.error().empty());
}

// ------------------------------------------------------------------ ADIF

namespace {

struct PceSpec {
    int tag = 0, profile = 1, sf = 3;
    std::vector<std::pair<int, int>> front, side, back, cc; // (is_cpe, tag)
    std::vector<int> lfe, assoc;
    int mono = -1, stereo = -1, matrix = -1; // -1 = absent
    std::string comment;
};

void put_pce(Bits &w, const PceSpec &p) {
    w.put(p.tag, 4);
    w.put(p.profile, 2);
    w.put(p.sf, 4);
    w.put(static_cast<uint32_t>(p.front.size()), 4);
    w.put(static_cast<uint32_t>(p.side.size()), 4);
    w.put(static_cast<uint32_t>(p.back.size()), 4);
    w.put(static_cast<uint32_t>(p.lfe.size()), 2);
    w.put(static_cast<uint32_t>(p.assoc.size()), 3);
    w.put(static_cast<uint32_t>(p.cc.size()), 4);
    w.put(p.mono >= 0, 1);
    if (p.mono >= 0) w.put(p.mono, 4);
    w.put(p.stereo >= 0, 1);
    if (p.stereo >= 0) w.put(p.stereo, 4);
    w.put(p.matrix >= 0, 1);
    if (p.matrix >= 0) {
        w.put(p.matrix, 2);
        w.put(1, 1);
    }
    for (auto &e : p.front) w.put(e.first, 1), w.put(e.second, 4);
    for (auto &e : p.side) w.put(e.first, 1), w.put(e.second, 4);
    for (auto &e : p.back) w.put(e.first, 1), w.put(e.second, 4);
    for (int t : p.lfe) w.put(t, 4);
    for (int t : p.assoc) w.put(t, 4);
    for (auto &e : p.cc) w.put(e.first, 1), w.put(e.second, 4);
    w.align();
    w.put(static_cast<uint32_t>(p.comment.size()), 8);
    for (char c : p.comment) w.put(static_cast<uint8_t>(c), 8);
}

std::vector<uint8_t> adif_stream(const std::vector<PceSpec> &pces, bool copyright, int type, size_t raw_bytes) {
    Bits w;
    for (char c : std::string("ADIF")) w.put(static_cast<uint8_t>(c), 8);
    w.put(copyright, 1);
    if (copyright) {
        for (int i = 0; i < 9; ++i) w.put(0x41 + i, 8);
    }
    w.put(1, 1); // original_copy
    w.put(0, 1); // home
    w.put(type, 1);
    w.put(128000, 23);
    w.put(static_cast<uint32_t>(pces.size() - 1), 4);
    for (const PceSpec &p : pces) {
        if (type == 0) w.put(0x12345, 20);
        put_pce(w, p);
    }
    w.align();
    std::vector<uint8_t> s = w.bytes;
    for (size_t i = 0; i < raw_bytes; ++i) s.push_back(static_cast<uint8_t>(0x80 + i));
    return s;
}

PceSpec pce_51() {
    PceSpec p;
    p.tag = 5;
    p.front = {{0, 1}, {1, 2}};
    p.back = {{1, 3}};
    p.lfe = {4};
    p.assoc = {6};
    p.matrix = 2;
    p.comment = "hello";
    return p;
}

} // namespace

TEST(Adif, HeaderAndProgramConfigurationRecords) {
    for (int type : {0, 1}) {
        for (bool copyright : {false, true}) {
            const std::vector<uint8_t> s = adif_stream({pce_51()}, copyright, type, 40);
            AdifHeader h;
            std::string err;
            ASSERT_TRUE(parse_adif_header(s.data(), s.size(), &h, &err)) << err;
            EXPECT_EQ(h.copyright_id_present, copyright);
            if (copyright) {
                EXPECT_EQ(h.copyright_id[8], 0x49);
            }
            EXPECT_EQ(h.original_copy, 1);
            EXPECT_EQ(h.bitstream_type, type);
            EXPECT_EQ(h.bitrate, 128000u);
            EXPECT_EQ(h.buffer_fullness[0], type == 0 ? 0x12345u : 0u);
            ASSERT_EQ(h.num_pce, 1);
            EXPECT_EQ(h.header_bytes, s.size() - 40);
            const AacdProgConfig &r = h.pce[0];
            EXPECT_EQ(r.elementInstanceTag, 5);
            EXPECT_EQ(r.profile, 1);
            EXPECT_EQ(r.samplingFrequencyIndex, 3);
            EXPECT_EQ(r.front.numElements, 2);
            EXPECT_EQ(r.front.isCpe[0], 0);
            EXPECT_EQ(r.front.tag[0], 1);
            EXPECT_EQ(r.front.isCpe[1], 1);
            EXPECT_EQ(r.front.tag[1], 2);
            EXPECT_EQ(r.side.numElements, 0);
            EXPECT_EQ(r.back.numElements, 1);
            EXPECT_EQ(r.back.isCpe[0], 1);
            EXPECT_EQ(r.back.tag[0], 3);
            EXPECT_EQ(r.lfe.numElements, 1);
            EXPECT_EQ(r.lfe.tag[0], 4);
            EXPECT_EQ(r.lfe.isCpe[0], 0);
            EXPECT_EQ(r.assocData.numElements, 1);
            EXPECT_EQ(r.assocData.tag[0], 6);
            EXPECT_EQ(r.validCc.numElements, 0);
            EXPECT_EQ(r.monoMixdown.present, 0);
            EXPECT_EQ(r.matrixMixdown.present, 1);
            EXPECT_EQ(r.matrixMixdown.index, 2);
            EXPECT_EQ(r.matrixMixdown.pseudoSurround, 1);
            EXPECT_EQ(r.comment[0], 0);
            EXPECT_EQ(prog_config_channels(r), 6);
            EXPECT_EQ(prog_config_unsupported_reason(r), nullptr);
        }
    }
}

TEST(Adif, DemuxerHandsOverRecordsAndFollowsConsumedBytes) {
    PceSpec stereo;
    stereo.tag = 2;
    stereo.sf = 8;
    stereo.front = {{1, 0}};
    PceSpec other = pce_51();
    const std::vector<uint8_t> s = adif_stream({stereo, other}, false, 1, 30);
    Demuxer d;
    ASSERT_TRUE(d.open(s.data(), s.size())) << d.error();
    EXPECT_EQ(d.info().format, StreamFormat::kAdif);
    EXPECT_EQ(d.info().sampling_rate, 16000u);
    EXPECT_EQ(d.info().channels, 2);
    EXPECT_EQ(d.info().num_pce, 2);
    RawBlock b;
    ASSERT_EQ(d.next(&b), Demuxer::Result::kBlock);
    const AacdBlockParams *p = d.params();
    ASSERT_EQ(p->num_prog_configs, 2);
    EXPECT_EQ(p->prog_configs[0].elementInstanceTag, 2);
    EXPECT_EQ(p->prog_configs[1].elementInstanceTag, 5);
    EXPECT_FALSE(b.bounded);
    EXPECT_EQ(b.size, 30);
    EXPECT_EQ(b.data[0], 0x80);
    d.consume(12);
    ASSERT_EQ(d.next(&b), Demuxer::Result::kBlock);
    EXPECT_EQ(b.size, 18);
    EXPECT_EQ(b.data[0], 0x80 + 12);
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

TEST(Adif, RefusesUnsupportedConfigurations) {
    std::vector<PceSpec> bad(6, pce_51());
    bad[0].profile = 0;
    bad[1].side = {{0, 1}};
    bad[2].cc = {{1, 0}};
    bad[3].front = {{1, 0}, {1, 1}, {1, 2}}; // seven channels with the LFE
    bad[4].sf = 12;
    bad[5].back = {{1, 3}, {0, 4}}; // three back channels
    for (const PceSpec &p : bad) {
        const std::vector<uint8_t> s = adif_stream({p}, false, 1, 10);
        Demuxer d;
        EXPECT_FALSE(d.open(s.data(), s.size()));
        EXPECT_FALSE(d.error().empty());
    }
}

TEST(Adif, TruncatedHeader) {
    const std::vector<uint8_t> s = adif_stream({pce_51()}, true, 0, 0);
    for (size_t n : {size_t{4}, size_t{8}, s.size() - 1}) {
        AdifHeader h;
        std::string err;
        EXPECT_FALSE(parse_adif_header(s.data(), n, &h, &err)) << n;
        Demuxer d;
        EXPECT_FALSE(d.open(s.data(), n));
    }
}

// ------------------------------------------------------------------ WAV

TEST(WavLayout, SlotsToSpeakersAndOrder) {
    struct Case {
        uint32_t slots;
        uint32_t mask;
        std::vector<int> source;
    } cases[] = {
        {0x01, 0x004, {0}},                // mono: centre
        {0x06, 0x003, {0, 1}},             // stereo
        {0x07, 0x007, {1, 2, 0}},          // 3.0: FL FR FC
        {0x0F, 0x107, {1, 2, 0, 3}},       // 4.0: FL FR FC BC
        {0x1F, 0x037, {1, 2, 0, 3, 4}},    // 5.0
        {0x3F, 0x03F, {1, 2, 0, 5, 3, 4}}, // 5.1: FL FR FC LFE BL BR
        {0x1E, 0x033, {0, 1, 2, 3}},       // quad
        {0x26, 0x00B, {0, 1, 2}},          // 2.1
        {0x00, 0x000, {}},
    };
    for (const Case &c : cases) {
        const ChannelLayout l = layout_for_slots(c.slots);
        EXPECT_EQ(l.channel_mask, c.mask) << c.slots;
        ASSERT_EQ(l.channels, static_cast<int>(c.source.size()));
        uint32_t prev = 0;
        for (int k = 0; k < l.channels; ++k) {
            EXPECT_EQ(l.source[k], c.source[k]) << c.slots << " " << k;
            EXPECT_GT(l.speaker[k], prev); // WAV order: increasing speaker bits
            prev = l.speaker[k];
        }
    }
}

namespace {
uint32_t rd16(const std::vector<uint8_t> &v, size_t o) { return v[o] | (v[o + 1] << 8); }
uint32_t rd32(const std::vector<uint8_t> &v, size_t o) { return rd16(v, o) | (rd16(v, o + 2) << 16); }
} // namespace

TEST(WavHeader, PcmAndExtensibleFields) {
    struct Case {
        uint32_t rate;
        uint16_t ch, bits;
        uint32_t mask;
        bool ext;
    } cases[] = {{44100, 2, 16, 0x3, false}, {8000, 1, 16, 0x4, false}, {48000, 2, 24, 0x3, true},
                 {48000, 6, 16, 0x3F, true}, {96000, 3, 24, 0x7, true}};
    for (const Case &c : cases) {
        WavFormat f{c.rate, c.ch, c.bits, c.mask};
        const uint64_t data = 1024u * c.ch * (c.bits / 8) * 3;
        const std::vector<uint8_t> h = wav_header(f, data);
        ASSERT_EQ(h.size(), c.ext ? 68u : 44u);
        EXPECT_EQ(std::memcmp(h.data(), "RIFF", 4), 0);
        EXPECT_EQ(rd32(h, 4), data + h.size() - 8);
        EXPECT_EQ(std::memcmp(h.data() + 8, "WAVEfmt ", 8), 0);
        EXPECT_EQ(rd32(h, 16), c.ext ? 40u : 16u);
        EXPECT_EQ(rd16(h, 20), c.ext ? 0xFFFEu : 1u);
        EXPECT_EQ(rd16(h, 22), c.ch);
        EXPECT_EQ(rd32(h, 24), c.rate);
        EXPECT_EQ(rd32(h, 28), c.rate * c.ch * (c.bits / 8));
        EXPECT_EQ(rd16(h, 32), c.ch * (c.bits / 8u));
        EXPECT_EQ(rd16(h, 34), c.bits);
        size_t o = 36;
        if (c.ext) {
            EXPECT_EQ(rd16(h, 36), 22u);
            EXPECT_EQ(rd16(h, 38), c.bits);
            EXPECT_EQ(rd32(h, 40), c.mask);
            const uint8_t guid[16] = {1, 0, 0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71};
            EXPECT_EQ(std::memcmp(h.data() + 44, guid, 16), 0);
            o = 60;
        }
        EXPECT_EQ(std::memcmp(h.data() + o, "data", 4), 0);
        EXPECT_EQ(rd32(h, o + 4), data);
    }
    // Unknown length (pipe): sizes at their maximum.
    const std::vector<uint8_t> h = wav_header(WavFormat{48000, 2, 16, 3}, UINT64_MAX);
    EXPECT_EQ(rd32(h, 4), 0xFFFFFFFFu);
    EXPECT_EQ(rd32(h, 40), 0xFFFFFFFFu);
}

TEST(WavSamples, LittleEndianPacking) {
    const int32_t s16[] = {0, 1, -1, 32767, -32768, 0x1234};
    std::vector<uint8_t> o;
    wav_pack_samples(s16, 6, 16, &o);
    const std::vector<uint8_t> e16 = {0, 0, 1, 0, 0xFF, 0xFF, 0xFF, 0x7F, 0x00, 0x80, 0x34, 0x12};
    EXPECT_EQ(o, e16);
    const int32_t s24[] = {-1, 8388607, -8388608, 0x123456};
    o.clear();
    wav_pack_samples(s24, 4, 24, &o);
    const std::vector<uint8_t> e24 = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 0x00, 0x00, 0x80, 0x56, 0x34, 0x12};
    EXPECT_EQ(o, e24);
}

TEST(WavWriter, PatchesSizesOnAFile) {
    std::FILE *f = std::tmpfile();
    ASSERT_NE(f, nullptr);
    WavWriter w;
    ASSERT_TRUE(w.start(f, WavFormat{32000, 3, 24, 0x7}));
    std::vector<int32_t> frame(1024 * 3, -2);
    ASSERT_TRUE(w.write(frame.data(), 1024));
    ASSERT_TRUE(w.write(frame.data(), 1024));
    ASSERT_TRUE(w.finish());
    EXPECT_EQ(w.data_bytes(), 2u * 1024 * 3 * 3);
    std::fseek(f, 0, SEEK_END);
    const long size = std::ftell(f);
    EXPECT_EQ(size, 68 + 2 * 1024 * 3 * 3);
    std::vector<uint8_t> all(static_cast<size_t>(size));
    std::rewind(f);
    ASSERT_EQ(std::fread(all.data(), 1, all.size(), f), all.size());
    std::fclose(f);
    EXPECT_EQ(rd32(all, 4), static_cast<uint32_t>(size - 8));
    EXPECT_EQ(rd32(all, 64), 2u * 1024 * 3 * 3);
    EXPECT_EQ(all[68], 0xFE);
    EXPECT_EQ(all[69], 0xFF);
    EXPECT_EQ(all[70], 0xFF);
}
