// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// Robustness under damaged input, through the public entry points: blocks
// ending exactly at an inaccessible guard page (intact, truncated, corrupted),
// every accepted stream of tests/data with flipped bits, truncated, dropped,
// duplicated and swapped blocks, one at a time and at several rates (every
// call gives a full frame; the output returns to the clean decoding within a
// bounded number of frames, printed), and the quality of concealing
// isolated single losses against muting them.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "aacd.h"
#include "container.h"
#include "host.h"
#include "band_energy.h"
#include "test_data.h"

using aacd_cli::Demuxer;
using aacd_cli::RawBlock;

namespace {

struct Stream {
    std::vector<std::vector<uint8_t>> blocks;
    AacdBlockParams params{};
};

Stream loadStream(const std::string &name) {
    const std::vector<uint8_t> data = aacdtest::readData(name);
    Stream s;
    Demuxer d;
    if (!d.open(data.data(), data.size())) return s;
    RawBlock b;
    while (d.next(&b) == Demuxer::Result::kBlock) s.blocks.emplace_back(b.data, b.data + b.size);
    s.params = *d.params();
    s.params.frame_bytes = 0;
    return s;
}

// One call as a careful host makes it: a call abandoned without output
// (44, 45, 46) is repeated as a lost frame.  Checks the output invariants
// and returns the frame (1024 x channels samples).
std::vector<int32_t> call(aacdtest::Host &h, const uint8_t *data, int32_t size, bool lost) {
    static const uint8_t nothing = 0;
    h.cfg.frame_lost = lost ? 1 : 0;
    h.cfg.check_frame_length = 0;
    std::fill(h.pcm.begin(), h.pcm.end(), 0x7EADBEEF);
    int32_t st = aacd_decode_frame(&h.cfg, &h.out, h.pcm.data(), size > 0 ? data : &nothing, size);
    EXPECT_TRUE(std::set<int32_t>({0, -1, 33, 35, 36, 44, 45, 46}).count(st)) << "undocumented status " << st;
    if (st == 44 || st == 45 || st == 46) {
        h.cfg.frame_lost = 1;
        st = aacd_decode_frame(&h.cfg, &h.out, h.pcm.data(), &nothing, 0);
        EXPECT_EQ(st, 0);
    }
    EXPECT_EQ(h.out.frame_samples, 1024u);
    EXPECT_LE(h.out.num_channels, 6u);
    EXPECT_LE(h.out.bits_consumed, 8u * static_cast<uint32_t>(std::max(size, 0)));
    const size_t words = 1024u * h.out.num_channels;
    for (size_t i = 0; i < h.pcm.size(); ++i) {
        if (i < words) {
            if (h.pcm[i] < -32768 || h.pcm[i] > 32767) ADD_FAILURE() << "sample out of range at " << i;
        } else if (h.pcm[i] != 0x7EADBEEF) {
            ADD_FAILURE() << "write past the frame at " << i;
            break;
        }
    }
    return std::vector<int32_t>(h.pcm.begin(), h.pcm.begin() + static_cast<long>(words));
}

struct Input {
    std::vector<uint8_t> bytes;
    bool lost = false;
};

std::vector<std::vector<int32_t>> decodeAll(const Stream &s, const std::vector<Input> &in) {
    aacdtest::Host h;
    AacdBlockParams params = s.params;
    h.cfg.block_params = &params;
    std::vector<std::vector<int32_t>> out;
    for (const Input &i : in) out.push_back(call(h, i.bytes.data(), static_cast<int32_t>(i.bytes.size()), i.lost));
    return out;
}

std::vector<Input> cleanInput(const Stream &s) {
    std::vector<Input> in;
    for (const auto &b : s.blocks) in.push_back({b, false});
    return in;
}

int32_t maxDiff(const std::vector<int32_t> &a, const std::vector<int32_t> &b) {
    if (a.size() != b.size()) return INT32_MAX;
    int32_t m = 0;
    for (size_t i = 0; i < a.size(); ++i) m = std::max(m, std::abs(a[i] - b[i]));
    return m;
}

// --------------------------------------------------------------- guard page

TEST(BoundedReads, BlocksEndingAtAGuardPage) {
    const Stream s = loadStream("sample.aac");
    ASSERT_GT(s.blocks.size(), 20u);
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    void *map = mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(map, MAP_FAILED);
    uint8_t *end = static_cast<uint8_t *>(map) + page;
    ASSERT_EQ(mprotect(end, page, PROT_NONE), 0);

    aacdtest::Host h;
    AacdBlockParams params = s.params;
    h.cfg.block_params = &params;
    std::mt19937 rng(5);
    auto at_guard = [&](const uint8_t *data, size_t n, bool lost = false) {
        ASSERT_LE(n, page);
        std::memcpy(end - n, data, n);
        (void)call(h, end - n, static_cast<int32_t>(n), lost);
    };
    for (size_t k = 0; k < s.blocks.size(); ++k) {
        const auto &b = s.blocks[k];
        at_guard(b.data(), b.size());
        // Every prefix length class: empty, one byte, half, all but one.
        for (size_t n : {size_t{0}, size_t{1}, b.size() / 2, b.size() - 1}) at_guard(b.data(), n);
        std::vector<uint8_t> bad = b;
        for (int f = 0; f < 1 + static_cast<int>(k % 8); ++f) bad[rng() % bad.size()] ^= static_cast<uint8_t>(1u << (rng() % 8));
        at_guard(bad.data(), bad.size());
        for (auto &v : bad) v = static_cast<uint8_t>(rng());
        at_guard(bad.data(), bad.size());
        at_guard(b.data(), b.size(), true);
    }
    munmap(map, 2 * page);
}

// ---------------------------------------------------------- damaged streams

enum class Damage { kFlip, kTruncate, kDrop, kDuplicate, kSwap, kBurst };

// Damaged input at block `at`; *after is the first call after the damaged
// stretch, *shift the offset between damaged and clean call indices there.
std::vector<Input> damage(const Stream &s, Damage d, size_t at, std::mt19937 &rng, size_t *after, int *shift) {
    std::vector<Input> in = cleanInput(s);
    *shift = 0;
    *after = at + 1;
    switch (d) {
        case Damage::kFlip:
            for (int f = 0; f < 6; ++f) in[at].bytes[rng() % in[at].bytes.size()] ^= static_cast<uint8_t>(1u << (rng() % 8));
            break;
        case Damage::kTruncate: in[at].bytes.resize(in[at].bytes.size() / 3); break;
        case Damage::kDrop: in[at].lost = true; break;
        case Damage::kDuplicate:
            in.insert(in.begin() + static_cast<long>(at), in[at]);
            *after = at + 2;
            *shift = 1;
            break;
        case Damage::kSwap:
            std::swap(in[at], in[at + 1]);
            *after = at + 2;
            break;
        case Damage::kBurst:  // eight lost blocks: fade-out, mute, fade-in
            for (size_t k = at; k < at + 8; ++k) in[k].lost = true;
            *after = at + 8;
            break;
    }
    return in;
}

// After a single damaged block the frame built from it and the next one
// (which overlaps it) differ; from the second clean frame on the output is
// the clean decoding again.  After eight lost blocks the decoder mutes and
// needs five good frames to leave the mute state, then fades in over five.
// Streams of tests/data that the decoder accepts (streams.tsv, without the
// ones flagged "rejected").  Noise substitution draws from a generator that
// a damaged frame leaves elsewhere, so streams flagged "pns" never return to
// the clean samples: for them only the per-call invariants are checked.
TEST(DamagedStreams, EveryCallGivesAFrameAndOutputRecovers) {
    std::vector<aacdtest::StreamEntry> streams = aacdtest::readManifest();
    streams.erase(std::remove_if(streams.begin(), streams.end(), [](auto &e) { return e.has("rejected"); }),
                  streams.end());
    ASSERT_GE(streams.size(), 25u);
    const Damage kinds[] = {Damage::kFlip, Damage::kTruncate, Damage::kDrop, Damage::kDuplicate, Damage::kSwap,
                            Damage::kBurst};
    const char *names[] = {"flip", "truncate", "drop", "duplicate", "swap", "burst8"};
    std::mt19937 rng(3);
    for (const aacdtest::StreamEntry &stream : streams) {
        const char *name = stream.file.c_str();
        const Stream s = loadStream(name);
        ASSERT_GE(s.blocks.size(), 4u) << name;
        const auto clean = decodeAll(s, cleanInput(s));
        size_t worst[6] = {};
        bool ran[6] = {};
        std::printf("[ figures  ] %-26s frames to recover:", name);
        for (int kind = 0; kind < 6; ++kind) {
            for (size_t at = 2; at + 3 < s.blocks.size(); at += 3) {
                if (kinds[kind] == Damage::kBurst && at + 20 > s.blocks.size()) break;
                size_t after;
                int shift;
                const auto in = damage(s, kinds[kind], at, rng, &after, &shift);
                const auto got = decodeAll(s, in);
                ASSERT_EQ(got.size(), in.size());
                for (size_t c = 1; c < got.size(); ++c)
                    ASSERT_EQ(got[c].size(), clean[1].size()) << name << " " << names[kind] << " call " << c;
                // Frames after the damage that still differ from the clean decoding.
                size_t recovery = 0;
                for (size_t c = after; c < got.size(); ++c) {
                    if (maxDiff(got[c], clean[c - static_cast<size_t>(shift)]) > 1) recovery = c - after + 1;
                }
                if (stream.has("pns")) continue;
                worst[kind] = std::max(worst[kind], recovery);
                ran[kind] = true;
                EXPECT_LE(recovery, kinds[kind] == Damage::kBurst ? 12u : 2u) << name << " " << names[kind] << " at " << at;
            }
            if (ran[kind]) std::printf(" %s %zu", names[kind], worst[kind]);
        }
        std::printf("%s\n", stream.has("pns") ? " (noise substitution: invariants only)"
                                       : (ran[0] ? "" : " (too short: invariants only)"));
    }
}

// ------------------------------------------------------ concealment quality

// Band magnitudes of one channel of a frame: Hann window over the 1024
// samples, DFT, square root of the energy in each band of 16 bins.
std::vector<double> bandMagnitudes(const std::vector<int32_t> &frame, int channels, int ch) {
    std::vector<double> e = aacdtest::bandEnergies(frame.data() + ch, channels, 1024, 16, 0.0);
    for (double &v : e) v = std::sqrt(v);
    return e;
}

// Isolated single losses on the music-like sample.  A lost block b shows in
// the frames of calls b + 1 (its own) and b + 2 (which overlaps it).  Over
// those, the waveform SNR and the SNR of the short-time band magnitudes
// (phase-blind) against the clean decoding, for the concealed output and for
// muting (the lost block's own frame replaced by silence).  Concealment
// repeats the interpolated spectrum with random signs, so its waveform does
// not follow the lost one (muting scores better there); what it keeps is the
// spectral envelope, and there it must beat muting.
TEST(ConcealmentQuality, InterpolationKeepsTheSpectrumBetterThanMuting) {
    const Stream s = loadStream("sample.aac");
    ASSERT_GT(s.blocks.size(), 40u);
    const auto clean = decodeAll(s, cleanInput(s));
    auto in = cleanInput(s);
    std::vector<size_t> lost;
    for (size_t b = 5; b + 2 < s.blocks.size(); b += 7) {
        in[b].lost = true;
        lost.push_back(b);
    }
    const auto got = decodeAll(s, in);
    const int channels = static_cast<int>(clean[1].size() / 1024);
    double signal = 0, errConcealed = 0, errMuted = 0;
    double magSignal = 0, magErrConcealed = 0, magErrMuted = 0;
    for (size_t b : lost) {
        for (size_t c : {b + 1, b + 2}) {
            const bool muted = c == b + 1;
            for (size_t i = 0; i < clean[c].size(); ++i) {
                const double x = clean[c][i];
                signal += x * x;
                errConcealed += (x - got[c][i]) * (x - got[c][i]);
                if (muted) errMuted += x * x;
            }
            for (int ch = 0; ch < channels; ++ch) {
                const auto mc = bandMagnitudes(clean[c], channels, ch), mg = bandMagnitudes(got[c], channels, ch);
                for (size_t k = 0; k < mc.size(); ++k) {
                    magSignal += mc[k] * mc[k];
                    magErrConcealed += (mc[k] - mg[k]) * (mc[k] - mg[k]);
                    if (muted) magErrMuted += mc[k] * mc[k];
                }
            }
        }
    }
    ASSERT_GT(signal, 0);
    auto db = [](double a, double b) { return 10 * std::log10(a / std::max(b, 1e-9)); };
    std::printf("[ figures  ] %zu isolated losses: waveform SNR concealed %.2f dB, muted %.2f dB; "
                "band magnitude SNR concealed %.2f dB, muted %.2f dB\n",
                lost.size(), db(signal, errConcealed), db(signal, errMuted), db(magSignal, magErrConcealed),
                db(magSignal, magErrMuted));
    EXPECT_GT(db(magSignal, magErrConcealed), db(magSignal, magErrMuted) + 3.0);
}

}  // namespace

// ------------------------------------------------------------ stream changes

// Frames of a whole ADTS file, decoded by a host that follows every frame
// header (the demuxer's config_id changes with the sampling index or the
// channel configuration), one-frame delay removed, last frame flushed.
struct Frame {
    uint32_t rate, channels;
    std::vector<int32_t> pcm;
    bool operator==(const Frame &o) const { return rate == o.rate && channels == o.channels && pcm == o.pcm; }
};

std::vector<Frame> decodeFile(const std::string &name) {
    const std::vector<uint8_t> data = aacdtest::readData(name);
    Demuxer d;
    EXPECT_TRUE(d.open(data.data(), data.size())) << name;
    aacdtest::Host h;
    std::vector<Frame> out;
    RawBlock b;
    bool more = true;
    while (more) {
        more = d.next(&b) == Demuxer::Result::kBlock;
        h.cfg.block_params = d.params();
        std::vector<int32_t> pcm = call(h, b.data, more ? b.size : 0, !more);
        out.push_back({h.out.sampling_rate, h.out.num_channels, std::move(pcm)});
    }
    out.erase(out.begin());
    return out;
}

// Each part of a concatenation decodes exactly as it decodes alone, every
// frame labelled with its own rate and channel count: no frame of one part
// is synthesised or labelled under the other's layout, no slot replays a
// spectrum of an earlier part, no overlap of one part leaks into the next.
TEST(StreamChanges, EachPartDecodesAsAlone) {
    const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
        {"change_mono_stereo.aac", {"part_mono44.aac", "r44100_stereo_sweep.aac"}},
        {"change_48k_stereo_44k_51.aac", {"r48000_stereo_clicks.aac", "part_ch51_44.aac"}},
        {"change_16k_44k_16k.aac", {"part_mono16.aac", "r44100_stereo_sweep.aac", "part_mono16.aac"}},
    };
    for (const auto &[whole, parts] : cases) {
        const std::vector<Frame> got = decodeFile(whole);
        std::vector<Frame> expected;
        for (const std::string &p : parts) {
            const std::vector<Frame> alone = decodeFile(p);
            ASSERT_GE(alone.size(), 4u) << p;
            expected.insert(expected.end(), alone.begin(), alone.end());
        }
        ASSERT_EQ(got.size(), expected.size()) << whole;
        for (size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(std::make_tuple(got[i].rate, got[i].channels), std::make_tuple(expected[i].rate, expected[i].channels))
                << whole << " frame " << i;
            EXPECT_TRUE(got[i] == expected[i]) << whole << " frame " << i << " max diff " << maxDiff(got[i].pcm, expected[i].pcm);
        }
    }
}
