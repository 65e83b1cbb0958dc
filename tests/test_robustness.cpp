// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// Robustness under damaged input, through the public entry points: every
// accepted stream of tests/data with flipped bits, truncated, dropped,
// duplicated and swapped blocks and a burst of losses (every call gives a full
// frame; the output returns to the clean decoding within a bounded number of
// frames), and streams whose format changes.  Every damaged block
// lies in a heap buffer of exactly its size, so that the sanitizer build sees
// any read past it; what a lost block becomes is pinned by the golden
// decodings with losses.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "stream_host.h"

namespace {

using aacdtest::Input;
using aacdtest::Output;
using Bytes = std::vector<uint8_t>;
using Inputs = std::vector<Input>;
using Rng = std::mt19937;

void flipBits(Bytes &b, size_t count, Rng &rng) {
    for (size_t f = 0; f < count; ++f) b[rng() % b.size()] ^= static_cast<uint8_t>(1u << (rng() % 8));
}

// The same frame, give or take 1.
bool sameFrame(const Output &a, const Output &b) {
    const auto within1 = [](int32_t x, int32_t y) { return std::abs(x - y) <= 1; };
    return std::equal(a.pcm.begin(), a.pcm.end(), b.pcm.begin(), b.pcm.end(), within1);
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
    void (*apply)(Inputs &in, size_t at, Rng &rng);
};
const Damage kDamages[] = {
    {"flip", 1, 0, 2, [](Inputs &in, size_t at, Rng &rng) { flipBits(in[at].bytes, 6, rng); }},
    {"truncate", 1, 0, 2, [](Inputs &in, size_t at, Rng &) {
         const Bytes &b = in[at].bytes;
         in[at].bytes = Bytes(b.begin(), b.begin() + static_cast<long>(b.size() / 3));  // a buffer of its own size
     }},
    {"drop", 1, 0, 2, [](Inputs &in, size_t at, Rng &) { in[at].lost = true; }},
    {"duplicate", 2, 1, 2, [](Inputs &in, size_t at, Rng &) { in.insert(in.begin() + static_cast<long>(at), in[at]); }},
    {"swap", 2, 0, 2, [](Inputs &in, size_t at, Rng &) { std::swap(in[at], in[at + 1]); }},
    {"burst8", 8, 0, 12, [](Inputs &in, size_t at, Rng &) { for (size_t k = at; k < at + 8; ++k) in[k].lost = true; }},
};

// Every stream of tests/data that the decoder accepts (not flagged
// "rejected"), damaged every third block.  Noise substitution draws from a
// generator that a damaged frame leaves elsewhere, so streams flagged "pns"
// never return to the clean samples: for them only the per-call invariants
// are checked.
TEST(DamagedStreams, EveryCallGivesAFrameAndOutputRecovers) {
    Rng rng(3);
    const std::vector<aacdtest::StreamEntry> manifest = aacdtest::readManifest();
    ASSERT_GE(manifest.size(), 26u);
    for (const aacdtest::StreamEntry &e : manifest) {
        if (e.has("rejected")) continue;
        const Inputs clean = aacdtest::load(e.file);
        ASSERT_GE(clean.size(), 4u) << e.file;
        const std::vector<Output> want = aacdtest::decodeAll(clean);
        for (const Damage &d : kDamages) {
            for (size_t at = 2; at + 3 < clean.size() && (d.span < 8 || at + 20 <= clean.size()); at += 3) {
                Inputs in = clean;
                d.apply(in, at, rng);
                const std::vector<Output> got = aacdtest::decodeAll(in);
                for (size_t c = 1; c < got.size(); ++c)
                    ASSERT_EQ(got[c].channels, want[1].channels) << e.file << " " << d.name << " call " << c;
                size_t recovery = 0;  // frames after the damage that still differ from the clean decoding
                for (size_t c = at + d.span; c < got.size(); ++c) {
                    if (!sameFrame(got[c], want[c - d.shift])) recovery = c - at - d.span + 1;
                }
                if (e.has("pns")) continue;
                EXPECT_LE(recovery, d.maxRecovery) << e.file << " " << d.name << " at " << at;
            }
        }
    }
}

// The frames of a whole ADTS file, one-frame delay removed, last frame
// flushed.
std::vector<Output> decodeFile(const char *name) {
    std::vector<Output> out = aacdtest::decodeAll(aacdtest::load(name, true));
    out.erase(out.begin());
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
        std::vector<Output> expected;
        for (const char *p : parts) {
            const std::vector<Output> alone = decodeFile(p);
            ASSERT_GE(alone.size(), 4u) << p;
            expected.insert(expected.end(), alone.begin(), alone.end());
        }
        const std::vector<Output> got = decodeFile(whole);
        ASSERT_EQ(got.size(), expected.size()) << whole;
        // The frames and their labels (status and bits consumed are those of the next block).
        const auto frame = [](const Output &o) { return std::tie(o.rate, o.channels, o.pcm); };
        for (size_t i = 0; i < got.size(); ++i) {
            EXPECT_TRUE(frame(got[i]) == frame(expected[i]))
                << whole << " frame " << i << ": " << got[i].rate << " Hz, " << got[i].channels << " channels";
        }
    }
}

}  // namespace
