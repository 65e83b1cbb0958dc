// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// Stream formats: AudioSpecificConfig variants and refusals from known bit
// strings, and hand-built LATM version 1 elements (several payloads, a PCE
// at an odd bit position, other data).  ffmpeg's LATM/LOAS streams are
// decoded against the reference by the command-line and element tests.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "channel_encoder.h"
#include "formats.h"

using namespace aacd_fmt;

namespace {

using Bytes = std::vector<uint8_t>;

// Bits from a list of {value, width} fields.
Bytes bits(std::initializer_list<std::pair<uint32_t, int>> fields, BitWriter *w = nullptr) {
    BitWriter local;
    BitWriter &bw = w ? *w : local;
    for (const auto &f : fields) bw.bits(f.first, f.second);
    return bw.bytes();
}

// A 5.1 program configuration (tag 3, 48 kHz: centre, front pair, back
// pair, LFE) with a one-byte comment, starting at bit `at` of the writer;
// with `side`, a side channel is added.
void write_pce51(BitWriter &w, int at, bool side = false) {
    bits({{3, 4}, {1, 2}, {3, 4}, {2, 4}, {side, 4}, {1, 4}, {1, 2}, {0, 3}, {0, 4}, {0, 1}, {0, 1}, {0, 1},
          {0, 1}, {0, 4}, {1, 1}, {1, 4}},
         &w);
    if (side) bits({{0, 1}, {4, 4}}, &w);
    bits({{1, 1}, {2, 4}, {5, 4}}, &w);
    while ((w.count() - at) % 8) w.bits(0, 1);
    bits({{1, 8}, {'x', 8}}, &w);
}

void expect_pce51(const AacdProgConfig &p) {
    EXPECT_EQ(p.elementInstanceTag, 3);
    EXPECT_EQ(p.samplingFrequencyIndex, 3);
    EXPECT_EQ(p.front.numElements, 2);
    EXPECT_EQ(p.front.isCpe[1], 1);
    EXPECT_EQ(p.front.tag[1], 1);
    EXPECT_EQ(p.back.isCpe[0], 1);
    EXPECT_EQ(p.back.tag[0], 2);
    EXPECT_EQ(p.lfe.tag[0], 5);
    EXPECT_EQ(prog_config_channels(p), 6);
}

TEST(AudioSpecificConfig, KnownConfigurationsAndRefusals) {
    struct Case {
        const char *what;
        Bytes asc;
        const char *refusal; // substring of the reason, null when accepted
        int index, channels;
        bool sbr, ps;
    };
    const Case cases[] = {
        {"LC 44.1 kHz stereo", {0x12, 0x10}, nullptr, 4, 2, false, false},
        {"LC 48 kHz 5.1", {0x11, 0xB0}, nullptr, 3, 6, false, false},
        {"explicit 48000 Hz", bits({{2, 5}, {15, 4}, {48000, 24}, {1, 4}, {0, 3}}), nullptr, 3, 1, false, false},
        {"explicit 44000 Hz", bits({{2, 5}, {15, 4}, {44000, 24}, {1, 4}, {0, 3}}), "twelve", 0, 0, false, false},
        {"SBR object type 5", bits({{5, 5}, {6, 4}, {2, 4}, {3, 4}, {2, 5}, {0, 3}}), nullptr, 6, 2, true, false},
        {"PS object type 29", bits({{29, 5}, {6, 4}, {1, 4}, {3, 4}, {2, 5}, {0, 3}}), nullptr, 6, 1, true, true},
        {"sync extension", bits({{2, 5}, {6, 4}, {2, 4}, {0, 3}, {0x2b7, 11}, {5, 5}, {1, 1}, {3, 4}}), nullptr, 6, 2,
         true, false},
        {"sync extension, no SBR", bits({{2, 5}, {6, 4}, {2, 4}, {0, 3}, {0x2b7, 11}, {5, 5}, {0, 1}}), nullptr, 6, 2,
         false, false},
        {"Main", {0x0A, 0x10}, "Main", 0, 0, false, false},
        {"escaped type 42", bits({{31, 5}, {10, 6}, {4, 4}, {2, 4}, {0, 3}}), "USAC", 0, 0, false, false},
        {"SBR over Main", bits({{5, 5}, {6, 4}, {2, 4}, {3, 4}, {1, 5}, {0, 3}}), "Main", 0, 0, true, false},
        {"960 samples", {0x12, 0x14}, "960", 0, 0, false, false},
        {"core coder", bits({{2, 5}, {4, 4}, {2, 4}, {0, 1}, {1, 1}, {0, 14}, {0, 1}}), "core", 0, 0, false, false},
        {"channel configuration 7", {0x12, 0x38}, "eight", 0, 0, false, false},
        {"index 13", {0x16, 0x90}, "reserved", 0, 0, false, false},
        {"index 12", {0x16, 0x10}, "7350", 0, 0, false, false},
        {"truncated", {0x12}, "truncated", 0, 0, false, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        AudioSpecificConfig a;
        const char *why = parse_audio_specific_config(c.asc.data(), c.asc.size(), &a);
        if (c.refusal) {
            ASSERT_NE(why, nullptr);
            EXPECT_NE(std::strstr(why, c.refusal), nullptr) << why;
            continue;
        }
        ASSERT_EQ(why, nullptr) << why;
        EXPECT_EQ(a.object_type, 2);
        EXPECT_EQ(a.sampling_index, c.index);
        EXPECT_EQ(a.sampling_rate, sampling_rate_of_index(c.index));
        EXPECT_EQ(a.channels, c.channels);
        EXPECT_EQ(a.sbr, c.sbr);
        EXPECT_EQ(a.ps, c.ps);
        EXPECT_EQ(explicit_sbr_reason(a) != nullptr, c.sbr);
        if (c.sbr) {
            EXPECT_EQ(a.extension_sampling_rate, 48000u);
        }
        AacdBlockParams p{};
        block_params_from_asc(&a, &p);
        EXPECT_EQ(p.num_prog_configs, 0);
        EXPECT_EQ(p.sampling_index, static_cast<uint32_t>(c.index));
    }
}

Bytes asc_with_pce(bool side) {
    BitWriter w;
    bits({{2, 5}, {3, 4}, {0, 4}, {0, 3}}, &w);
    write_pce51(w, 0, side);
    return w.bytes();
}

TEST(AudioSpecificConfig, ProgramConfigurationInside) {
    const Bytes asc = asc_with_pce(false);
    AudioSpecificConfig a;
    ASSERT_EQ(parse_audio_specific_config(asc.data(), asc.size(), &a), nullptr);
    EXPECT_EQ(a.channels, 6);
    EXPECT_EQ(a.bits, asc.size() * 8);
    expect_pce51(a.prog_config);
    AacdBlockParams p{};
    block_params_from_asc(&a, &p);
    ASSERT_EQ(p.num_prog_configs, 1);
    EXPECT_EQ(p.prog_configs, &a.prog_config);

    // The same with a side element, and truncated before its comment.
    const Bytes side = asc_with_pce(true);
    EXPECT_NE(std::strstr(parse_audio_specific_config(side.data(), side.size(), &a), "side"), nullptr);
    EXPECT_NE(parse_audio_specific_config(asc.data(), asc.size() - 1, &a), nullptr);
}

// A version 1 AudioMuxElement: configuration with a 5.1 PCE at an odd bit
// position, ascLen with fill bits, two payloads, other data and CRC.
Bytes latm_v1(int programs, bool same_mux) {
    BitWriter w;
    bits({{same_mux, 1}}, &w);
    if (!same_mux) {
        bits({{1, 1}, {0, 1}, {0, 2}, {0x55, 8}, {1, 1}, {1, 6}, {static_cast<uint32_t>(programs), 4}, {0, 3}}, &w);
        BitWriter asc;
        bits({{2, 5}, {3, 4}, {0, 4}, {0, 3}}, &asc);
        write_pce51(asc, 0);
        bits({{0, 2}, {static_cast<uint32_t>(asc.count() + 5), 8}}, &w);
        const int at = w.count();
        bits({{2, 5}, {3, 4}, {0, 4}, {0, 3}}, &w);
        write_pce51(w, at);
        bits({{0, 5}, {0, 3}, {0xFF, 8}, {1, 1}, {0, 2}, {16, 8}, {1, 1}, {0xA5, 8}}, &w);
    }
    bits({{255, 8}, {2, 8}}, &w);
    for (int i = 0; i < 257; ++i) bits({{static_cast<uint32_t>(i), 8}}, &w);
    bits({{3, 8}, {0xC0, 8}, {0xFF, 8}, {0xEE, 8}, {0xBEEF, 16}}, &w);
    return w.bytes();
}

TEST(Latm, Version1ElementsAndRefusals) {
    LatmConfig cfg;
    LatmPayloads pl;
    uint8_t buf[1024];
    const Bytes el = latm_v1(0, false);
    ASSERT_EQ(parse_audio_mux_element(el.data(), el.size(), &cfg, buf, sizeof buf, &pl), nullptr);
    EXPECT_TRUE(pl.config_changed);
    EXPECT_EQ(cfg.audio_mux_version, 1);
    EXPECT_EQ(cfg.other_data_bits, 16u);
    EXPECT_TRUE(cfg.crc_check_present);
    expect_pce51(cfg.asc.prog_config);
    ASSERT_EQ(pl.count, 2);
    ASSERT_EQ(pl.size[0], 257u);
    EXPECT_EQ(buf[pl.offset[0] + 200], 200);
    EXPECT_EQ(Bytes(buf + pl.offset[1], buf + pl.offset[1] + pl.size[1]), (Bytes{0xC0, 0xFF, 0xEE}));

    // The same configuration again, then a frame relying on it.
    ASSERT_EQ(parse_audio_mux_element(el.data(), el.size(), &cfg, buf, sizeof buf, &pl), nullptr);
    EXPECT_FALSE(pl.config_changed);
    const Bytes same = latm_v1(0, true);
    ASSERT_EQ(parse_audio_mux_element(same.data(), same.size(), &cfg, buf, sizeof buf, &pl), nullptr);
    EXPECT_EQ(pl.count, 2);

    struct Refusal {
        Bytes el;
        const char *reason;
    };
    const Refusal refusals[] = {
        {latm_v1(1, false), "program"},
        {Bytes(el.begin(), el.end() - 3), "truncated"},
        {Bytes(el.begin(), el.begin() + 8), "truncated"},
    };
    for (const Refusal &r : refusals) {
        const char *why = parse_audio_mux_element(r.el.data(), r.el.size(), &cfg, buf, sizeof buf, &pl);
        ASSERT_NE(why, nullptr);
        EXPECT_NE(std::strstr(why, r.reason), nullptr) << why;
    }
    LatmConfig none;
    EXPECT_NE(parse_audio_mux_element(same.data(), same.size(), &none, buf, sizeof buf, &pl), nullptr);
    EXPECT_NE(parse_audio_mux_element(el.data(), el.size(), &none, buf, 100, &pl), nullptr);
}

}  // namespace
