// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// Stream formats and containers of the host side, on hand-built input:
// ADTS and ADIF demuxing (block delimiting with and without CRC,
// resynchronisation, loss marking, refusals), AudioSpecificConfig variants
// and refusals, and the RF64 header.  The test streams of every container
// (and the variants of make_variants.py: MP4 sample tables and trimming,
// LATM version 1) are decoded against the reference by the command-line and
// element tests.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "channel_encoder.h"
#include "container.h"
#include "formats.h"
#include "test_data.h"
#include "wav.h"

using namespace aacd_cli;
using namespace aacd_fmt;

namespace {

using Bytes = std::vector<uint8_t>;

Bytes cat(const std::vector<Bytes> &parts) {
    Bytes a;
    for (const Bytes &b : parts) a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes bits(const std::vector<Field> &fields) {
    BitWriter w;
    put(w, fields);
    return w.bytes();
}

// 5.1 at 48 kHz (tag 3: centre, front pair, back pair, LFE) with an
// associated data element, a matrix mixdown and a one-byte comment.
const Pce kPce51{3, 1, 3, 2, 0, 1, 1, 1, 0, 2, 4, 1, 1};

// ---------------------------------------------------------------- ADTS, ADIF

struct Adts { bool crc = false; int profile = 1, cc = 2; };

// One ADTS frame (44.1 kHz) whose raw data blocks are the given payloads.
// With CRC and several blocks the block positions are filled in and every
// block is followed by a CRC word (0xC0C0, which the parser must skip).
Bytes adts_frame(const Adts &s, const std::vector<Bytes> &blocks) {
    const int n = static_cast<int>(blocks.size());
    size_t len = 7 + (s.crc ? (n == 1 ? 2 : 4 * n) : 0);
    for (const Bytes &b : blocks) len += b.size();
    BitWriter w;
    put(w, {{0xFFF, 12}, {1, 1}, {0, 2}, {!s.crc, 1}, {s.profile, 2}, {4, 4}, {0, 1}, {s.cc, 3}, {0, 4}, {len, 13},
            {0x7FF, 11}, {n - 1, 2}});
    size_t pos = 7 + 2 * n;  // the first block: after the header, the positions and the CRC
    for (int i = 1; s.crc && i < n; ++i) {
        pos += blocks[i - 1].size() + 2;
        w.bits(static_cast<uint32_t>(pos), 16);
    }
    if (s.crc) w.bits(0xC0C0, 16);
    for (const Bytes &b : blocks) {
        for (uint8_t x : b) w.bits(x, 8);
        if (s.crc && n > 1) w.bits(0xC0C0, 16);
    }
    return w.bytes();
}

// An ADIF header (with the buffer fullness of a constant-rate stream for
// type 0) and raw data bytes 0x80, 0x81, ...
Bytes adif_stream(const std::vector<Pce> &pces, bool copyright = false, int type = 1, size_t raw_bytes = 30) {
    BitWriter w;
    put(w, {{'A', 8}, {'D', 8}, {'I', 8}, {'F', 8}, {copyright, 1}});
    for (int i = 0; copyright && i < 9; ++i) w.bits(0x41 + i, 8);
    put(w, {{1, 1}, {0, 1}, {type, 1}, {128000, 23}, {pces.size() - 1, 4}});  // original, home, type, bitrate
    for (const Pce &p : pces) {
        if (type == 0) w.bits(0x12345, 20);
        putPce(w, p);
    }
    for (size_t i = 0; i < raw_bytes; ++i) w.bits(static_cast<uint32_t>(0x80 + i), 8);
    return w.bytes();
}

// What the demuxer makes of a stream: "refused", or its blocks as "first
// byte:size" ("lost:0" for a lost block, "~" after a block the host must
// delimit: it consumes the next count of `used`, else 0), " error: MESSAGE"
// when it ends in an error, and the counts of skipped bytes,
// resynchronisations and truncated frames that are not zero.  One demuxer serves every stream, so
// that each open also shows that nothing of the previous stream is left.
std::string drain(const Bytes &stream, const std::vector<int> &used = {}) {
    static Demuxer d;
    if (!d.open(stream.data(), stream.size())) return d.error().empty() ? "refused without a message" : "refused";
    std::string out;
    RawBlock b;
    Demuxer::Result r;
    for (size_t k = 0; (r = d.next(&b)) == Demuxer::Result::kBlock && out.size() < 10000;) {
        if (b.data == nullptr) return out + " null block";
        out += " " + (b.lost ? "lost" : std::to_string(b.size > 0 ? b.data[0] : -1)) + ":" + std::to_string(b.size);
        out += b.bounded ? "" : "~";
        EXPECT_TRUE(d.info().format != StreamFormat::kAdts || b.lost || d.params()->frame_bytes == b.size) << b.size;
        if (!b.bounded) d.consume(k < used.size() ? used[k++] : 0);
    }
    if (r == Demuxer::Result::kError) out += " error: " + d.error();
    const std::pair<const char *, uint64_t> counts[] = {
        {" skipped ", d.skipped_bytes()}, {" resyncs ", d.resyncs()}, {" truncated ", d.truncated_frames()}};
    for (const auto &[name, n] : counts)
        if (n) out += name + std::to_string(n);
    return out.substr(out.empty() ? 0 : 1);
}

// Single- and multi-block ADTS frames with and without CRC (positions
// pointing outside the frame lose its blocks; without CRC the host tells
// where each block ended), garbage before, between and after frames, a
// destroyed syncword, a damaged length, a truncated last frame; ADIF
// blocks delimited by the host; refused streams.
TEST(Demux, AdtsAndAdifBlocksAndRefusals) {
    const auto fr = [](uint8_t k, size_t n = 12) { return adts_frame({}, {Bytes(n, k)}); };
    const auto frc = [](std::vector<Bytes> blocks) { return adts_frame({true}, blocks); };
    Bytes badPositions = frc({Bytes(9, 1), Bytes(14, 2)}), badSync = fr(2), truncated = fr(2, 30), badLength = fr(2);
    badPositions[7] = 0x7F, badSync[0] = 0x00;
    badLength[3] &= 0xFC, badLength[4] = 0, badLength[5] &= 0x1F;  // frame_length 0
    truncated.resize(20);
    const Bytes junk = {0x12, 0x34, 0xFF, 0x00, 0x56, 0xFF, 0xF1, 0x00, 0x9A};
    const Pce stereo{2, 1, 8, 1, 0, 0, 0, 0, 0, 1};
    const Bytes adif = adif_stream({stereo, kPce51});
    const struct {
        Bytes stream;
        std::string blocks;
        std::vector<int> used = {};
    } cases[] = {
        {cat({fr(1, 20), fr(2, 21)}), "1:20 2:21"},
        {cat({frc({Bytes(20, 1)}), frc({Bytes(21, 2)})}), "1:20 2:21"},
        {cat({frc({Bytes(9, 1), Bytes(14, 2), Bytes(5, 3)}), frc({Bytes(7, 4), Bytes(8, 5)})}), "1:9 2:14 3:5 4:7 5:8"},
        {badPositions, "lost:0 lost:0"},
        {cat({junk, fr(1), fr(2), junk, fr(3), fr(4), {0xAB, 0xCD}}), "1:12 2:12 3:12 4:12 skipped 20 resyncs 1"},
        {cat({fr(1), badSync, fr(3), fr(4)}), "1:12 3:12 4:12 skipped 19 resyncs 1"},
        {cat({fr(1, 30), truncated}), "1:30 lost:0 truncated 1"},
        // A damaged length: the frame's header is found, its block is lost.
        {cat({fr(1), badLength, fr(3), fr(4)}), "1:12 lost:0 3:12 4:12 skipped 19 resyncs 1"},
        // Each block is the rest of the payload; then the host cannot tell.
        {cat({adts_frame({}, {Bytes(10, 1), Bytes(6, 2), Bytes(4, 3)}), adts_frame({}, {Bytes(3, 7), Bytes(3, 8)})}),
         "1:20~ 2:10~ 3:4~ 7:6~ lost:0", {10, 6, 4, 0}},
        // Main profile from the middle on.
        {cat({fr(1, 10), adts_frame({false, 0}, {Bytes(10, 2)}), adts_frame({false, 0}, {Bytes(10, 3)})}),
         "1:10 error: profile Main is not supported (only Low Complexity)"},
        {adif, "128:30~ 140:18~", {12, 18}},
        // A block the decoder could not delimit ends an ADIF stream.
        {adif, "128:30~ error: ADIF stream: a raw data block could not be decoded, the next one cannot be found", {0}},
    };
    for (const auto &c : cases) EXPECT_EQ(drain(c.stream, c.used), c.blocks);

    Demuxer d;
    RawBlock b;
    ASSERT_TRUE(d.open(adif.data(), adif.size()) && d.next(&b) == Demuxer::Result::kBlock);
    EXPECT_TRUE(d.info().format == StreamFormat::kAdif && d.info().sampling_rate == 16000u && d.info().channels == 2);
    const AacdBlockParams *p = d.params();
    ASSERT_TRUE(d.info().num_pce == 2 && p->num_prog_configs == 2);
    EXPECT_TRUE(p->prog_configs[0].elementInstanceTag == 2 && p->prog_configs[1].elementInstanceTag == 3);

    // Refused: no input, garbage; ADTS of Main profile or eight channels;
    // ADIF with a truncated header or a configuration the decoder cannot take.
    Bytes garbage(500);
    for (size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<uint8_t>(i * 37 + 11);
    std::vector<Pce> bad(6, kPce51);
    bad[0].profile = 0, bad[1].side = 1, bad[2].cc = 1, bad[4].sf = 12;
    bad[3].front = 3, bad[3].frontPairs = 7;  // nine channels
    bad[5].back = 2;                          // three back channels
    const Bytes header = adif_stream({kPce51}, true, 0, 0);
    std::vector<Bytes> refused = {{}, garbage, Bytes(header.begin(), header.begin() + 4),
                                  Bytes(header.begin(), header.begin() + 8), Bytes(header.begin(), header.end() - 1)};
    for (const Adts &s : {Adts{false, 0}, Adts{false, 1, 7}})
        refused.push_back(cat({adts_frame(s, {Bytes(10, 1)}), adts_frame(s, {Bytes(10, 1)})}));
    for (const Pce &p : bad) refused.push_back(adif_stream({p}));
    for (size_t k = 0; k < refused.size(); ++k) EXPECT_EQ(drain(refused[k]), "refused") << k;
}

// ---------------------------------------------------------------- AudioSpecificConfig

// An AudioSpecificConfig of channel configuration 0 (LC, 48 kHz) carrying
// the program configuration.
Bytes asc_with(const Pce &p) {
    BitWriter w;
    put(w, {{2, 5}, {3, 4}, {0, 4}, {0, 3}});
    putPce(w, p);
    return w.bytes();
}

TEST(AudioSpecificConfig, KnownConfigurationsAndRefusals) {
    Pce side = kPce51;
    side.side = 1;
    const Bytes pce = asc_with(kPce51);
    const struct {
        const char *what;
        Bytes asc;
        const char *refusal;  // substring of the reason, null when accepted
        int index = 0, channels = 0, sbr = 0;  // sbr: 1 SBR, 2 SBR and PS
    } cases[] = {
        {"LC 44.1 kHz stereo", {0x12, 0x10}, nullptr, 4, 2},
        {"LC 48 kHz 5.1", {0x11, 0xB0}, nullptr, 3, 6},
        {"program configuration", pce, nullptr, 3, 6},
        {"explicit 48000 Hz", bits({{2, 5}, {15, 4}, {48000, 24}, {1, 4}, {0, 3}}), nullptr, 3, 1},
        {"explicit 44000 Hz", bits({{2, 5}, {15, 4}, {44000, 24}, {1, 4}, {0, 3}}), "twelve"},
        {"SBR object type 5", bits({{5, 5}, {6, 4}, {2, 4}, {3, 4}, {2, 5}, {0, 3}}), nullptr, 6, 2, 1},
        {"PS object type 29", bits({{29, 5}, {6, 4}, {1, 4}, {3, 4}, {2, 5}, {0, 3}}), nullptr, 6, 1, 2},
        {"sync extension", bits({{2, 5}, {6, 4}, {2, 4}, {0, 3}, {0x2b7, 11}, {5, 5}, {1, 1}, {3, 4}}), nullptr, 6, 2, 1},
        {"sync extension, no SBR", bits({{2, 5}, {6, 4}, {2, 4}, {0, 3}, {0x2b7, 11}, {5, 5}, {0, 1}}), nullptr, 6, 2},
        {"Main", {0x0A, 0x10}, "Main"},
        {"escaped type 42", bits({{31, 5}, {10, 6}, {4, 4}, {2, 4}, {0, 3}}), "USAC"},
        {"SBR over Main", bits({{5, 5}, {6, 4}, {2, 4}, {3, 4}, {1, 5}, {0, 3}}), "Main"},
        {"960 samples", {0x12, 0x14}, "960"},
        {"core coder", bits({{2, 5}, {4, 4}, {2, 4}, {0, 1}, {1, 1}, {0, 14}, {0, 1}}), "core"},
        {"channel configuration 7", {0x12, 0x38}, "eight"},
        {"index 13", {0x16, 0x90}, "reserved"},
        {"index 12", {0x16, 0x10}, "7350"},
        {"truncated", {0x12}, "truncated"},
        {"side element", asc_with(side), "side"},
        {"truncated program configuration", Bytes(pce.begin(), pce.end() - 1), "truncated"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        AudioSpecificConfig a;
        const char *why = parse_audio_specific_config(c.asc.data(), c.asc.size(), &a);
        if (c.refusal) {
            EXPECT_TRUE(why && std::strstr(why, c.refusal)) << (why ? why : "accepted");
            continue;
        }
        ASSERT_EQ(why, nullptr) << why;
        EXPECT_TRUE(a.object_type == 2 && a.sampling_index == c.index && a.channels == c.channels);
        EXPECT_EQ(a.sampling_rate, sampling_rate_of_index(c.index));
        EXPECT_TRUE(a.sbr == (c.sbr > 0) && a.ps == (c.sbr == 2));
        EXPECT_EQ(explicit_sbr_reason(a) != nullptr, c.sbr > 0);
        EXPECT_EQ(a.extension_sampling_rate, c.sbr ? 48000u : 0u);
        AacdBlockParams p{};
        block_params_from_asc(&a, &p);
        EXPECT_EQ(p.sampling_index, static_cast<uint32_t>(c.index));
        ASSERT_EQ(p.num_prog_configs, a.channel_config == 0 ? 1 : 0);
        if (p.num_prog_configs == 0) continue;
        EXPECT_EQ(a.bits, 8 * c.asc.size());
        EXPECT_EQ(p.prog_configs, &a.prog_config);
        const AacdProgConfig &pc = a.prog_config;
        EXPECT_TRUE(pc.elementInstanceTag == 3 && pc.samplingFrequencyIndex == 3 && pc.front.numElements == 2);
        EXPECT_TRUE(pc.front.isCpe[1] && pc.front.tag[1] == 1 && pc.back.isCpe[0] && pc.back.tag[0] == 8);
        EXPECT_TRUE(pc.lfe.tag[0] == 0 && prog_config_channels(pc) == 6);
    }
}

// ---------------------------------------------------------------- WAV

// Past the RIFF limit the header is RF64: ds64 with the 64-bit sizes,
// 0xFFFFFFFF in the 32-bit fields.  (Plain headers, packing and the sizes
// written to files and pipes are checked on the program's real outputs.)
TEST(Wav, Rf64Header) {
    const WavFormat fmt{44100, 2, 16, 3};
    const uint64_t big = uint64_t{5} << 30;
    const Bytes h = wav_header(fmt, big, true);
    const auto le = [&h](size_t at, int n) { return aacdtest::le(&h[at], n); };
    ASSERT_EQ(h.size(), 80u);
    EXPECT_EQ(std::string(h.begin(), h.begin() + 4) + std::string(h.begin() + 12, h.begin() + 16), "RF64ds64");
    EXPECT_EQ(std::string(h.begin() + 72, h.begin() + 76), "data");
    EXPECT_TRUE(le(4, 4) == 0xFFFFFFFFu && le(76, 4) == 0xFFFFFFFFu);
    EXPECT_TRUE(le(20, 8) == big + 72 && le(28, 8) == big && le(36, 8) == big / 4);
    EXPECT_EQ(wav_riff_limit(fmt), 0xFFFFFFFFu - 36);
}

}  // namespace
