// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// Robustness under damaged input, through the public entry points: blocks
// ending exactly at an inaccessible guard page (intact, truncated, corrupted),
// every accepted stream of tests/data with flipped bits, truncated, dropped,
// duplicated and swapped blocks and a burst of losses (every call gives a full
// frame; the output returns to the clean decoding within a bounded number of
// frames, printed), the quality of concealing isolated single losses against
// muting them, and streams whose format changes.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "band_energy.h"
#include "host.h"
#include "test_data.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Frame = std::vector<int32_t>;

// One call's input: a block, or a loss.
struct Input {
    Bytes bytes;
    bool lost = false;
};

// The raw data blocks of an ADTS stream as clean input, and its sampling index.
std::vector<Input> load(const std::string &name, uint32_t *sri) {
    std::vector<aacd_fmt::AdtsHeader> headers;
    std::vector<Input> in;
    for (Bytes &b : aacdtest::adtsFrames(name, true, &headers)) in.push_back({std::move(b), false});
    *sri = headers.empty() ? 0 : static_cast<uint32_t>(headers[0].sampling_index);
    return in;
}

// One call as a careful host makes it: a call abandoned without output
// (44, 45, 46) is repeated as a lost frame.  Checks the output invariants
// and returns the frame (1024 x channels samples).
Frame call(aacdtest::Host &h, const uint8_t *data, int32_t size, bool lost) {
    static const uint8_t nothing = 0;
    h.cfg.frame_lost = lost ? 1 : 0;
    std::fill(h.pcm.begin(), h.pcm.end(), 0x7EADBEEF);
    const int32_t st = aacd_decode_frame(&h.cfg, &h.out, h.pcm.data(), size > 0 ? data : &nothing, size);
    EXPECT_TRUE(std::set<int32_t>({0, -1, 33, 35, 36, 44, 45, 46}).count(st)) << "undocumented status " << st;
    if (st == 44 || st == 45 || st == 46) {
        h.cfg.frame_lost = 1;
        EXPECT_EQ(aacd_decode_frame(&h.cfg, &h.out, h.pcm.data(), &nothing, 0), 0);
    }
    EXPECT_EQ(h.out.frame_samples, 1024u);
    EXPECT_LE(h.out.num_channels, 6u);
    EXPECT_LE(h.out.bits_consumed, 8u * static_cast<uint32_t>(std::max(size, 0)));
    const size_t words = 1024u * h.out.num_channels;
    for (size_t i = 0; i < h.pcm.size(); ++i) {
        if (i < words ? h.pcm[i] < -32768 || h.pcm[i] > 32767 : h.pcm[i] != 0x7EADBEEF) {
            ADD_FAILURE() << (i < words ? "sample out of range at " : "write past the frame at ") << i;
            break;
        }
    }
    return Frame(h.pcm.begin(), h.pcm.begin() + static_cast<long>(words));
}

std::vector<Frame> decodeAll(const std::vector<Input> &in, uint32_t sri) {
    aacdtest::Host h;
    h.params.sampling_index = sri;
    std::vector<Frame> out;
    for (const Input &i : in) out.push_back(call(h, i.bytes.data(), static_cast<int32_t>(i.bytes.size()), i.lost));
    return out;
}

int32_t maxDiff(const Frame &a, const Frame &b) {
    if (a.size() != b.size()) return INT32_MAX;
    int32_t m = 0;
    for (size_t i = 0; i < a.size(); ++i) m = std::max(m, std::abs(a[i] - b[i]));
    return m;
}

TEST(BoundedReads, BlocksEndingAtAGuardPage) {
    uint32_t sri;
    const std::vector<Input> blocks = load("sample.aac", &sri);
    ASSERT_GT(blocks.size(), 20u);
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    void *map = mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(map, MAP_FAILED);
    uint8_t *end = static_cast<uint8_t *>(map) + page;
    ASSERT_EQ(mprotect(end, page, PROT_NONE), 0);
    aacdtest::Host h;
    h.params.sampling_index = sri;
    std::mt19937 rng(5);
    for (size_t k = 0; k < blocks.size(); ++k) {
        const Bytes &b = blocks[k].bytes;
        Bytes flipped = b, noise(b.size());
        for (size_t f = 0; f <= k % 8; ++f) flipped[rng() % b.size()] ^= static_cast<uint8_t>(1u << (rng() % 8));
        for (uint8_t &v : noise) v = static_cast<uint8_t>(rng());
        // Intact; every prefix length class (empty, one byte, half, all but
        // one); corrupted; random; lost.
        const std::tuple<const Bytes &, size_t, bool> cases[] = {
            {b, b.size(), false},       {b, 0, false}, {b, 1, false}, {b, b.size() / 2, false}, {b, b.size() - 1, false},
            {flipped, b.size(), false}, {noise, b.size(), false},     {b, b.size(), true}};
        for (const auto &[data, n, lost] : cases) {
            ASSERT_LE(n, page);
            std::memcpy(end - n, data.data(), n);
            (void)call(h, end - n, static_cast<int32_t>(n), lost);
        }
    }
    munmap(map, 2 * page);
}

// Damage at block `at`: after it, call at + span is the first past the
// damaged stretch, and its clean counterpart is call at + span - shift.
// After a single damaged block the frame built from it and the next one
// (which overlaps it) differ; from the second clean frame on the output is
// the clean decoding again.  After eight lost blocks the decoder mutes and
// needs five good frames to leave the mute state, then fades in over five.
struct Damage {
    const char *name;
    size_t span, shift, maxRecovery;
    void (*apply)(std::vector<Input> &in, size_t at, std::mt19937 &rng);
};
const Damage kDamages[] = {
    {"flip", 1, 0, 2, [](std::vector<Input> &in, size_t at, std::mt19937 &rng) {
         for (int f = 0; f < 6; ++f) in[at].bytes[rng() % in[at].bytes.size()] ^= static_cast<uint8_t>(1u << (rng() % 8));
     }},
    {"truncate", 1, 0, 2, [](std::vector<Input> &in, size_t at, std::mt19937 &) { in[at].bytes.resize(in[at].bytes.size() / 3); }},
    {"drop", 1, 0, 2, [](std::vector<Input> &in, size_t at, std::mt19937 &) { in[at].lost = true; }},
    {"duplicate", 2, 1, 2, [](std::vector<Input> &in, size_t at, std::mt19937 &) { in.insert(in.begin() + static_cast<long>(at), in[at]); }},
    {"swap", 2, 0, 2, [](std::vector<Input> &in, size_t at, std::mt19937 &) { std::swap(in[at], in[at + 1]); }},
    {"burst8", 8, 0, 12, [](std::vector<Input> &in, size_t at, std::mt19937 &) {
         for (size_t k = at; k < at + 8; ++k) in[k].lost = true;
     }},
};

// Every stream of tests/data that the decoder accepts (not flagged
// "rejected"), damaged every third block.  Noise substitution draws from a
// generator that a damaged frame leaves elsewhere, so streams flagged "pns"
// never return to the clean samples: for them only the per-call invariants
// are checked.
TEST(DamagedStreams, EveryCallGivesAFrameAndOutputRecovers) {
    std::mt19937 rng(3);
    int streams = 0;
    for (const aacdtest::StreamEntry &e : aacdtest::readManifest()) {
        if (e.has("rejected")) continue;
        ++streams;
        uint32_t sri;
        const std::vector<Input> clean = load(e.file, &sri);
        ASSERT_GE(clean.size(), 4u) << e.file;
        const std::vector<Frame> want = decodeAll(clean, sri);
        std::printf("[ figures  ] %-26s frames to recover:", e.file.c_str());
        for (const Damage &d : kDamages) {
            size_t worst = 0, runs = 0;
            for (size_t at = 2; at + 3 < clean.size() && (d.span < 8 || at + 20 <= clean.size()); at += 3) {
                std::vector<Input> in = clean;
                d.apply(in, at, rng);
                const std::vector<Frame> got = decodeAll(in, sri);
                ASSERT_EQ(got.size(), in.size());
                for (size_t c = 1; c < got.size(); ++c) ASSERT_EQ(got[c].size(), want[1].size()) << e.file << " " << d.name << " call " << c;
                size_t recovery = 0;  // frames after the damage that still differ from the clean decoding
                for (size_t c = at + d.span; c < got.size(); ++c) {
                    if (maxDiff(got[c], want[c - d.shift]) > 1) recovery = c - at - d.span + 1;
                }
                if (e.has("pns")) continue;
                worst = std::max(worst, recovery);
                ++runs;
                EXPECT_LE(recovery, d.maxRecovery) << e.file << " " << d.name << " at " << at;
            }
            if (runs) std::printf(" %s %zu", d.name, worst);
        }
        std::printf("%s\n", e.has("pns") ? " (noise substitution: invariants only)" : clean.size() < 6 ? " (too short: invariants only)" : "");
    }
    EXPECT_GE(streams, 25);
}

// Isolated single losses on the music-like sample.  A lost block b shows in
// the frames of calls b + 1 (its own) and b + 2 (which overlaps it).  Over
// those, the SNR of the short-time band magnitudes (Hann window over the
// frame, square root of the energy of each band of 16 bins; phase-blind)
// against the clean decoding, for the concealed output and for muting (the
// lost block's own frame replaced by silence).  Concealment repeats the
// interpolated spectrum with random signs, so its waveform does not follow
// the lost one; what it keeps is the spectral envelope, and there it must
// beat muting.
TEST(ConcealmentQuality, InterpolationKeepsTheSpectrumBetterThanMuting) {
    uint32_t sri;
    std::vector<Input> in = load("sample.aac", &sri);
    ASSERT_GT(in.size(), 40u);
    const std::vector<Frame> clean = decodeAll(in, sri);
    for (size_t b = 5; b + 2 < in.size(); b += 7) in[b].lost = true;
    const std::vector<Frame> got = decodeAll(in, sri);
    const int channels = static_cast<int>(clean[1].size() / 1024);
    double signal = 0, concealed = 0, muted = 0;
    for (size_t b = 5; b + 2 < in.size(); b += 7) {
        for (size_t c : {b + 1, b + 2}) {
            for (int ch = 0; ch < channels; ++ch) {
                const auto ec = aacdtest::bandEnergies(clean[c].data() + ch, channels, 1024, 16, 0.0);
                const auto eg = aacdtest::bandEnergies(got[c].data() + ch, channels, 1024, 16, 0.0);
                for (size_t k = 0; k < ec.size(); ++k) {
                    signal += ec[k];
                    concealed += std::pow(std::sqrt(ec[k]) - std::sqrt(eg[k]), 2);
                    if (c == b + 1) muted += ec[k];
                }
            }
        }
    }
    ASSERT_GT(signal, 0);
    const double snrConcealed = 10 * std::log10(signal / std::max(concealed, 1e-9));
    const double snrMuted = 10 * std::log10(signal / std::max(muted, 1e-9));
    std::printf("[ figures  ] isolated losses: band magnitude SNR concealed %.2f dB, muted %.2f dB\n", snrConcealed,
                snrMuted);
    EXPECT_GT(snrConcealed, snrMuted + 3.0);
}

// The frames of a whole ADTS file with their rate and channel count, decoded
// by a host that follows every frame header (config_id changes with the
// sampling index or the channel configuration); one-frame delay removed,
// last frame flushed.
using Labelled = std::tuple<uint32_t, uint32_t, Frame>;
std::vector<Labelled> decodeFile(const std::string &name) {
    std::vector<aacd_fmt::AdtsHeader> hdr;
    const std::vector<Bytes> blocks = aacdtest::adtsFrames(name, true, &hdr);
    aacdtest::Host h;
    std::vector<Labelled> out;
    for (size_t i = 0; i <= blocks.size(); ++i) {
        const bool more = i < blocks.size();
        if (more) {
            h.params.sampling_index = static_cast<uint32_t>(hdr[i].sampling_index);
            h.params.config_id = hdr[i].sampling_index * 8 + hdr[i].channel_config;
        }
        Frame pcm = call(h, more ? blocks[i].data() : nullptr, more ? static_cast<int32_t>(blocks[i].size()) : 0, !more);
        if (i > 0) out.emplace_back(h.out.sampling_rate, h.out.num_channels, std::move(pcm));
    }
    return out;
}

// Each part of a concatenation decodes exactly as it decodes alone, every
// frame labelled with its own rate and channel count: no frame of one part
// is synthesised or labelled under the other's layout, no slot replays a
// spectrum of an earlier part, no overlap of one part leaks into the next.
TEST(StreamChanges, EachPartDecodesAsAlone) {
    const std::pair<const char *, std::vector<const char *>> cases[] = {
        {"change_mono_stereo.aac", {"part_mono44.aac", "r44100_stereo_sweep.aac"}},
        {"change_48k_stereo_44k_51.aac", {"r48000_stereo_clicks.aac", "part_ch51_44.aac"}},
        {"change_16k_44k_16k.aac", {"part_mono16.aac", "r44100_stereo_sweep.aac", "part_mono16.aac"}},
    };
    for (const auto &[whole, parts] : cases) {
        std::vector<Labelled> expected;
        for (const char *p : parts) {
            const std::vector<Labelled> alone = decodeFile(p);
            ASSERT_GE(alone.size(), 4u) << p;
            expected.insert(expected.end(), alone.begin(), alone.end());
        }
        const std::vector<Labelled> got = decodeFile(whole);
        ASSERT_EQ(got.size(), expected.size()) << whole;
        for (size_t i = 0; i < got.size(); ++i) {
            EXPECT_TRUE(got[i] == expected[i]) << whole << " frame " << i << ": " << std::get<0>(got[i]) << " Hz, "
                                               << std::get<1>(got[i]) << " channels, max diff "
                                               << maxDiff(std::get<2>(got[i]), std::get<2>(expected[i]));
        }
    }
}

}  // namespace
