// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// The public entry points as a host uses them: memory plan, initialisation,
// argument checks, per-frame flags and statuses, and the frame driver on raw
// data blocks built bit by bit: what a failing block leaves behind and that
// the instance carries on as if it had not seen it, SBR hand-off mode, data
// stream and fill elements, noise substitution and intensity stereo across
// a channel pair, window shapes and flags kept per channel, blocks cut by
// input_size and the frame-length check.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <tuple>
#include <vector>

#include "aacd.h"
#include "decoder/decoder.h"
#include "frame_blocks.h"

using aacdtest::Host;

namespace {

std::vector<uint8_t> endOnlyBlock() {
    BitWriter w;
    return finish(w);
}

uintptr_t addr(const void *p) { return reinterpret_cast<uintptr_t>(p); }

}  // namespace

TEST(Query, MemoryPlanAndVersion) {
    const char *v = aacd_decode_versionInfo();
    EXPECT_STREQ(v, "TALVEN_AACD_ARM_03.09.00_ARMV8  build on Sep 16 2022 13:23:31");
    EXPECT_EQ(aacd_query_dec_mem(nullptr), AACD_ERR_NULL_CONFIG);
    AacdDecoderConfig cfg;
    std::memset(&cfg, 0xA5, sizeof cfg);
    ASSERT_EQ(aacd_query_dec_mem(&cfg), AACD_OK);
    EXPECT_EQ(cfg.mem_info.block_count, 8u);
    const uint32_t sizes[8] = {7487, 4224, 24704, 25344, 24704, 0, 0, 0};
    for (int k = 0; k < 8; ++k) {
        const AacdMemBlock &b = cfg.mem_info.blocks[k];
        EXPECT_EQ(b.size, sizes[k]) << k;
        if (k < 5) {
            EXPECT_EQ(std::make_tuple(b.priority, b.type, b.reserved, b.base),
                      std::make_tuple(k == 0 ? 1u : 0u, 0u, 0u, nullptr));
        } else {
            EXPECT_EQ(b.priority, 0xA5A5A5A5u);  // left alone
        }
    }
    EXPECT_EQ(aacd_decode_versionInfo(), v);
}

// A refused bit depth leaves the instance uninitialised (its state placed
// already); a later init with a valid depth on the same record brings it up.
TEST(Init, StatusesAndBitDepth) {
    EXPECT_EQ(aacd_decoder_init(nullptr), AACD_ERR_NULL_CONFIG);
    for (uint8_t bits : {uint8_t{0}, uint8_t{8}, uint8_t{20}, uint8_t{32}}) {
        Host h(bits);
        EXPECT_EQ(h.status, AACD_ERR_BIT_DEPTH) << int(bits);
        EXPECT_NE(h.cfg.state, nullptr);
    }
    for (uint8_t bits : {uint8_t{16}, uint8_t{24}}) {
        Host h(bits);
        EXPECT_EQ(h.status, AACD_OK);
        EXPECT_EQ(h.cfg.sbr_mode, 0u);
        ASSERT_NE(h.cfg.frame_counter, nullptr);
        EXPECT_EQ(*h.cfg.frame_counter, 0u);
    }
    Host h(20);
    h.cfg.output_bits = 24;
    ASSERT_EQ(aacd_decoder_init(&h.cfg), AACD_OK);
    ASSERT_EQ(h.decode(endOnlyBlock()), AACD_OK);
    EXPECT_EQ(std::make_tuple(h.out.bits_consumed, h.out.frame_count), std::make_tuple(8u, 1u));
}

// Hostile set-ups: a null block base is refused (51) before anything is
// written; an instance whose last init failed (39), also after a good one,
// refuses to decode (53) and writes nothing until an init succeeds.
TEST(Init, NullBlockBaseAndFailedInitAreRefused) {
    for (int k = 0; k < 5; ++k) {
        Host h(16, 0, false);
        h.cfg.mem_info.blocks[k].base = nullptr;
        h.cfg.sbr_mode = 7;
        std::vector<uint8_t> before(sizeof h.cfg), after(sizeof h.cfg);
        std::memcpy(before.data(), &h.cfg, sizeof h.cfg);
        EXPECT_EQ(aacd_decoder_init(&h.cfg), AACD_ERR_NULL_CONFIG) << k;
        std::memcpy(after.data(), &h.cfg, sizeof h.cfg);
        EXPECT_EQ(before, after) << k;
    }
    const auto block = endOnlyBlock();
    for (bool initialisedBefore : {false, true}) {
        Host h(initialisedBefore ? 16 : 20);
        h.cfg.output_bits = 20;
        ASSERT_EQ(aacd_decoder_init(&h.cfg), AACD_ERR_BIT_DEPTH);
        h.cfg.frame_lost = 1;
        h.out.frame_count = 77;
        std::fill(h.pcm.begin(), h.pcm.end(), kSentinel);
        EXPECT_EQ(h.decode(block), AACD_ERR_NULL_ARG);
        EXPECT_EQ(std::make_tuple(h.cfg.frame_lost, h.out.frame_count, h.pcm[0]), std::make_tuple(1u, 77u, kSentinel));
        h.cfg.output_bits = 16;
        ASSERT_EQ(aacd_decoder_init(&h.cfg), AACD_OK);
        EXPECT_EQ(h.decode(block), AACD_OK);
    }
}

TEST(Init, BlockCarvingFollowsThe32ByteRule) {
    for (size_t mis : {size_t{0}, size_t{1}, size_t{7}, size_t{8}, size_t{31}, size_t{32}}) {
        Host h(16, mis);
        ASSERT_EQ(h.status, AACD_OK);
        const AacdDecoderState *st = h.cfg.state;
        const uintptr_t b0 = addr(h.cfg.mem_info.blocks[0].base);
        EXPECT_EQ(addr(st), (b0 + 7) & ~uintptr_t{7});
        auto start = [&](int k) { return (addr(h.cfg.mem_info.blocks[k].base) & ~uintptr_t{31}) + 32; };
        EXPECT_EQ(addr(st->scratch), start(1));
        EXPECT_EQ(addr(st->firstSet), start(2));
        EXPECT_EQ(addr(st->overlap), start(4));
        for (int c = 0; c < 6; ++c) {  // buffers stay inside their blocks
            EXPECT_EQ(addr(st->conceal[c].buffer), start(3) + 4096u * c);
            EXPECT_LE(addr(st->conceal[c].buffer) + 4096, addr(h.cfg.mem_info.blocks[3].base) + 25344);
        }
        EXPECT_LE(start(2) + 6 * 4096, addr(h.cfg.mem_info.blocks[2].base) + 24704);
        EXPECT_LE(addr(st) + sizeof(AacdDecoderState), b0 + 7487);
    }
}

TEST(Init, ChannelReferencesAndInitialMap) {
    Host h;
    ASSERT_EQ(h.status, AACD_OK);
    for (int c = 0; c < 6; ++c) {
        EXPECT_EQ(h.cfg.channel_refs[c][0], &h.cfg.state->outPresent[c]);
        EXPECT_EQ(std::make_tuple(*h.cfg.channel_refs[c][0], *h.cfg.channel_refs[c][1], *h.cfg.channel_refs[c][2]),
                  std::make_tuple(0, 0, 0));
    }
    const AacdDecoderState *st = h.cfg.state;
    EXPECT_EQ(std::make_tuple(st->implicitConfig, st->configTag, st->mcInfo.samplingRateIndex, st->configId, st->randomState),
              std::make_tuple(1, -1, 3, -1, 0u));
    EXPECT_EQ(st->sampleRates[4].samplingRate, 44100u);
    EXPECT_EQ(st->sampleRates[4].longBandEnds[0], 4);  // first band of 44.1 kHz ends at 4
    EXPECT_EQ(st->sampleRates[4].longBandEnds[48], 1024);
    EXPECT_EQ(std::make_tuple(st->sampleRates[4].shortBandEnds[0], st->sampleRates[4].shortBandEnds[13]),
              std::make_tuple(4, 128));  // 14 short bands at 44.1 kHz
    EXPECT_EQ(std::make_tuple(st->sampleRates[11].longBandEnds[39], st->sampleRates[11].shortBandEnds[14]),
              std::make_tuple(1024, 128));  // 40 long and 15 short bands at 8 kHz
    EXPECT_EQ(st->sampleRates[12].longBandEnds, nullptr);
}

// 53 for each null reference, an instance never initialised (state null)
// and, in SBR hand-off mode, each null reference of the link and a link to
// another instance's state: nothing is written, not even the frame_lost
// flag.
TEST(DecodeFrame, NullReferencesWriteNothing) {
    Host h, uninitialised(16, 0, false);
    const auto block = endOnlyBlock();
    int32_t *const pcm = h.pcm.data();
    h.cfg.frame_lost = 1;
    h.out.frame_count = h.out.bits_consumed = 77;
    EXPECT_EQ(aacd_decode_frame(nullptr, &h.out, pcm, block.data(), 1), AACD_ERR_NULL_ARG);
    EXPECT_EQ(aacd_decode_frame(&h.cfg, nullptr, pcm, block.data(), 1), AACD_ERR_NULL_ARG);
    EXPECT_EQ(aacd_decode_frame(&h.cfg, &h.out, nullptr, block.data(), 1), AACD_ERR_NULL_ARG);
    EXPECT_EQ(aacd_decode_frame(&h.cfg, &h.out, pcm, nullptr, 1), AACD_ERR_NULL_ARG);
    uninitialised.cfg.block_params = &uninitialised.params;
    EXPECT_EQ(aacd_decode_frame(&uninitialised.cfg, &h.out, pcm, block.data(), 1), AACD_ERR_NULL_ARG);
    h.cfg.block_params = nullptr;
    EXPECT_EQ(aacd_decode_frame(&h.cfg, &h.out, pcm, block.data(), 1), AACD_ERR_NULL_ARG);
    h.cfg.block_params = &h.params;

    SbrRecords rec;
    Host other;
    h.cfg.sbr_mode = 1;
    for (int k = 0; k < 7; ++k) {  // k = 5: the link never set up; 6: another instance's state
        h.cfg.sbr = k == 5 ? AacdSbrLink{} : rec.link(h);
        void *const fields[5] = {&h.cfg.sbr.state, &h.cfg.sbr.payload, &h.cfg.sbr.core_output,
                                 &h.cfg.sbr.swap, &h.cfg.sbr.previous};
        if (k < 5) std::memset(fields[k], 0, sizeof(void *));
        if (k == 6) h.cfg.sbr.state = other.cfg.state;
        EXPECT_EQ(aacd_decode_frame(&h.cfg, &h.out, pcm, block.data(), 1), AACD_ERR_NULL_ARG) << k;
    }
    EXPECT_EQ(std::make_tuple(h.cfg.frame_lost, h.out.frame_count, h.out.bits_consumed, *h.cfg.frame_counter),
              std::make_tuple(1u, 77u, 77u, 0u));

    // With the link complete the same call decodes (the frame lost).
    h.cfg.sbr = rec.link(h);
    EXPECT_EQ(aacd_decode_frame(&h.cfg, &h.out, pcm, block.data(), 1), AACD_OK);
    EXPECT_EQ(std::make_tuple(h.cfg.frame_lost, h.out.frame_count, h.out.bits_consumed), std::make_tuple(0u, 1u, 0u));
    EXPECT_EQ(aacd_decode_frame(&h.cfg, &h.out, pcm, block.data(), 1), AACD_OK);
    EXPECT_EQ(std::make_tuple(h.out.frame_count, h.out.bits_consumed), std::make_tuple(2u, 8u));
}

// An end-only block; the sampling rate and aux_b follow the stream
// parameters.
TEST(DecodeFrame, SamplingRateAndAuxBFollowTheStreamParameters) {
    const uint32_t rates[12] = {96000, 88200, 64000, 48000, 44100, 32000, 24000, 22050, 16000, 12000, 11025, 8000};
    Host h;
    const auto block = endOnlyBlock();
    for (uint32_t i = 0; i < 12; ++i) {  // the rate is that of the frame delivered: one call late
        h.params.sampling_index = 11 - i;
        h.params.aux_b = static_cast<int32_t>(0x1000 * i) - 3;
        ASSERT_EQ(h.decode(block), AACD_OK);
        EXPECT_EQ(std::make_tuple(h.out.sampling_rate, h.out.aux_b, h.out.bits_consumed, h.out.num_channels,
                                  h.out.frame_samples, h.out.frame_count),
                  std::make_tuple(rates[12 - std::max(i, 1u)], static_cast<uint32_t>(h.params.aux_b), 8u, 0u,
                                  1024u, i + 1)) << i;
    }
    // A lost frame takes nothing over and reports the values last taken.
    h.params.sampling_index = 3;
    h.params.aux_b = 42;
    h.cfg.frame_lost = 1;
    ASSERT_EQ(h.decode(block), AACD_OK);
    EXPECT_EQ(std::make_tuple(h.cfg.frame_lost, h.out.bits_consumed, h.out.frame_count), std::make_tuple(0u, 0u, 13u));
    EXPECT_EQ(std::make_tuple(h.out.sampling_rate, h.out.aux_b), std::make_tuple(rates[0], uint32_t{0x1000 * 11 - 3}));
    // A bad frame has taken aux_b over before its elements fail; its audio
    // conceals the last good frame, at that frame's rate.
    BitWriter w;
    w.bits(2, 3);  // coupling channel element
    ASSERT_EQ(h.decode(w.bytes()), AACD_ERR_COUPLING);
    EXPECT_EQ(std::make_tuple(h.out.sampling_rate, h.out.aux_b), std::make_tuple(rates[0], 42u));
}

// The first reference of each slot follows its presence in the audio
// delivered (the layout of the block before, the first call that of its
// own block); the other two are
// distinct words that keep reading zero while every slot is in use.  The
// blocks: a single channel, two channel pairs and an LFE channel (tags 1 to
// 4), or the first pair alone.
TEST(DecodeFrame, ChannelReferencesAfterDecoding) {
    Host h;
    for (int k = 0; k < 3; ++k) {
        const bool full = k != 1;
        BitWriter w;
        if (full) putSce(w, Chan(0), 0, 1);
        putPair(w, Chan(0), Chan(0), 0, {}, 2);
        if (full) {
            putPair(w, Chan(0), Chan(0), 0, {}, 3);
            putSce(w, Chan(0), 3, 4);
        }
        const std::vector<uint8_t> block = finish(w);
        ASSERT_EQ(h.decode(block), AACD_OK);
        EXPECT_EQ(h.out.bits_consumed, 8u * block.size());
        uint32_t present = 0;
        for (int c = 0; c < 6; ++c) {
            const int32_t *const *r = h.cfg.channel_refs[c];
            EXPECT_TRUE(r[1] != r[0] && r[2] != r[0] && r[2] != r[1]);
            EXPECT_EQ(std::make_tuple(*r[1], *r[2]), std::make_tuple(0, 0)) << c;
            EXPECT_EQ(*r[0] != 0, k != 2 || c == 1 || c == 2) << k << " slot " << c;  // one call late
            present += *r[0] != 0;
        }
        EXPECT_EQ(present, h.out.num_channels);
    }
}


namespace {

// A program_config_element of tag 0 with the given profile, sampling index
// and number of front pairs (tags 0, 1, ...), then the end element.
std::vector<uint8_t> progConfigBlock(uint32_t profile, uint32_t sri, uint32_t frontPairs) {
    BitWriter w;
    put(w, {{5, 3}, {0, 4}, {profile, 2}, {sri, 4}, {frontPairs, 4}});
    w.bits(0, 4 + 4 + 2 + 3 + 4 + 3);  // side, back, lfe, assoc, cc, no mixdowns
    for (uint32_t i = 0; i < frontPairs; ++i) w.bits(16 + i, 5);  // is_cpe, tag
    w.bits(0, (8 - w.count() % 8) % 8);                           // byte_alignment()
    w.bits(0, 8);                                                 // no comment
    return finish(w);
}

// A host record of frontPairs pairs, the first of which carries the stream.
AacdProgConfig frontPairsRecord(int32_t frontPairs, int32_t sri) {
    AacdProgConfig pc;
    std::memset(&pc, 0, sizeof pc);
    std::tie(pc.profile, pc.samplingFrequencyIndex, pc.front.numElements) = std::make_tuple(1, sri, frontPairs);
    for (int32_t i = 0; i < frontPairs; ++i) std::tie(pc.front.isCpe[i], pc.front.tag[i]) = std::make_tuple(1, i);
    return pc;
}

// Full output: in-range samples for the present channels, nothing beyond.
bool pcmWritten(const Host &h) {
    const size_t words = 1024u * h.out.num_channels;
    for (size_t i = 0; i < h.pcm.size(); ++i) {
        const bool inRange = h.pcm[i] >= -32768 && h.pcm[i] <= 32767;
        if (i < words ? !inRange : h.pcm[i] != kSentinel) return false;
    }
    return true;
}

class StatusTest : public ::testing::Test {
protected:
    void SetUp() override {  // good blocks: loud pairs of their own content
        for (int i = 0; i < 10; ++i) {
            BitWriter w;
            putLoudPair(w, 3 * i);
            blocks.push_back(finish(w));
        }
    }

    // Decodes blocks [from, to) with status 0 and checks the usual output.
    void decodeGood(Host &h, size_t from, size_t to) {
        for (size_t i = from; i < to; ++i) {
            ASSERT_EQ(decode(h, blocks[i]), AACD_OK) << i;
            EXPECT_EQ(std::make_tuple(h.out.num_channels, h.out.sampling_rate, h.out.frame_samples, h.out.bits_consumed),
                      std::make_tuple(2u, 44100u, 1024u, 8u * uint32_t(blocks[i].size())));
            EXPECT_TRUE(pcmWritten(h)) << i;
        }
    }

    // After four good blocks, a block concealed with the given status: full
    // output from the last good channel map, bits consumed as given, counter
    // advanced; the following good blocks read as on an instance that never
    // saw the bad block.
    void expectConcealed(const std::vector<uint8_t> &bad, int32_t status, uint32_t bits) {
        Host h, ref;
        decodeGood(h, 0, 4);
        decodeGood(ref, 0, 4);
        ASSERT_EQ(decode(h, bad), status);
        EXPECT_EQ(std::make_tuple(h.out.num_channels, h.out.frame_samples, h.out.sampling_rate, h.out.bits_consumed,
                                  h.out.frame_count),
                  std::make_tuple(2u, 1024u, 44100u, bits, 5u));
        EXPECT_TRUE(pcmWritten(h));
        decodeGood(h, 4, blocks.size());
        decodeGood(ref, 4, blocks.size());
        EXPECT_EQ(h.out.frame_count, ref.out.frame_count + 1);
    }

    // After four good blocks, a block whose call is abandoned with the given
    // status: no output field, no PCM word and no counter step; the next
    // good blocks give exactly the output of an instance that never saw it.
    void expectAbandoned(Host &h, const std::vector<uint8_t> &bad, int32_t status) {
        h.out.frame_count = 1234;
        ASSERT_EQ(decode(h, bad), status);
        EXPECT_EQ(std::make_tuple(h.out.num_channels, h.out.frame_samples, h.out.sampling_rate, h.out.bits_consumed),
                  std::make_tuple(0u, 0u, 0u, 0u));
        EXPECT_EQ(std::make_tuple(h.out.frame_count, *h.cfg.frame_counter), std::make_tuple(4u, 4u));  // not advanced
        EXPECT_TRUE(std::all_of(h.pcm.begin(), h.pcm.end(), [](int32_t v) { return v == kSentinel; }));
    }
    void expectSameAsReference(Host &h) {
        Host ref;
        decodeGood(ref, 0, 4);
        for (size_t i = 4; i < blocks.size(); ++i) {
            ASSERT_EQ(decode(h, blocks[i]), AACD_OK) << i;
            ASSERT_EQ(decode(ref, blocks[i]), AACD_OK) << i;
            EXPECT_EQ(h.out.frame_count, ref.out.frame_count);
            EXPECT_EQ(frameOf(h), frameOf(ref)) << "block " << i;
        }
    }

    std::vector<std::vector<uint8_t>> blocks;
};

}  // namespace

// -1, 33, 35: the block is left where the failure was found (bits consumed
// after byte alignment).
TEST_F(StatusTest, FailingElementsAreConcealed) {
    BitWriter pairHead, single, coupling;
    // Shared stream info of a pair with max_sfb 52, above any band count: the
    // pair head refuses it right after the field (18 bits).
    putPair(pairHead, Chan(52), Chan(52), 0);
    // max_sfb 51 fits the field but 44.1 kHz has 49 long bands: the stream
    // info reader refuses it right after the field, before section data
    // could index the band tables past their end.
    putSce(single, Chan(51));
    // A coupling element after a valid pair (46 bits) stops the block.
    putPair(coupling, Chan(0), Chan(0), 0);
    put(coupling, {{2, 3}, {0, 8}});
    const std::vector<uint8_t> sevenChannels = progConfigBlock(1, 4, 3);
    struct Case { const char *name; std::vector<uint8_t> block; int32_t status; uint32_t bits; };
    const Case cases[] = {
        {"pair max_sfb 52", finish(pairHead), AACD_ERR_ELEMENT, 24},
        {"single max_sfb 51", finish(single), AACD_ERR_ELEMENT, 32},
        {"coupling", coupling.bytes(), AACD_ERR_COUPLING, 48},
        {"program profile 0", progConfigBlock(0, 4, 1), AACD_ERR_CONFIG, 16},  // refused after the field
        // Three front pairs need seven slots: entering fails after the whole
        // element, its alignment and the empty comment have been read.
        {"program of seven channels", sevenChannels, AACD_ERR_CONFIG, 8u * uint32_t(sevenChannels.size() - 1)},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        expectConcealed(c.block, c.status, c.bits);
    }
    // Control: the same program element with one pair is entered.
    const std::vector<uint8_t> pce = progConfigBlock(1, 4, 1);
    Host h;
    ASSERT_EQ(decode(h, pce), AACD_OK);
    EXPECT_EQ(std::make_tuple(h.out.bits_consumed, h.out.num_channels), std::make_tuple(8u * uint32_t(pce.size()), 2u));
    decodeGood(h, 0, 4);
}

// 35 from the fixed parameters.  No element is read; the concealed audio
// keeps the rate of the last good frame.
TEST_F(StatusTest, BadSamplingIndexIsConcealed) {
    Host h;
    decodeGood(h, 0, 4);
    for (uint32_t sri : {99u, 12u, 13u}) {  // 99 first: 44.1 kHz kept
        h.params.sampling_index = sri;
        ASSERT_EQ(decode(h, blocks[4]), AACD_ERR_CONFIG) << sri;
        EXPECT_EQ(std::make_tuple(h.out.sampling_rate, h.out.bits_consumed, h.out.num_channels),
                  std::make_tuple(44100u, 0u, 2u)) << sri;  // the concealed frame's rate
        EXPECT_TRUE(pcmWritten(h));
    }
    EXPECT_EQ(h.out.frame_count, 7u);
    h.params.sampling_index = kHostSri;
    decodeGood(h, 4, 8);
}

// 36: host program configuration records.  A record whose sampling index
// would index the band tables out of range (12 and above) is refused before
// the map is touched, so the last good layout is kept.  A record that does
// not fit the six slots is refused too; the concealed audio keeps the
// layout of the last good frame.
TEST_F(StatusTest, HostProgramConfigurationsThatDoNotFitAreRefused) {
    AacdProgConfig good = frontPairsRecord(1, 4), record;
    Host h;
    h.params.num_prog_configs = 1;
    h.params.prog_configs = &good;
    decodeGood(h, 0, 3);
    h.params.prog_configs = &record;
    for (int32_t sri : {12, 15, 200, -1}) {
        record = frontPairsRecord(1, sri);
        ASSERT_EQ(decode(h, blocks[3]), AACD_ERR_PROG_CONFIG) << sri;
        EXPECT_EQ(std::make_tuple(h.out.num_channels, h.out.sampling_rate), std::make_tuple(2u, 44100u)) << sri;
        EXPECT_TRUE(pcmWritten(h));
    }
    record = frontPairsRecord(3, 4);
    ASSERT_EQ(decode(h, blocks[4]), AACD_ERR_PROG_CONFIG);
    EXPECT_EQ(std::make_tuple(h.out.bits_consumed, h.out.num_channels, h.out.frame_samples, h.out.frame_count),
              std::make_tuple(0u, 2u, 1024u, 8u));
    EXPECT_TRUE(pcmWritten(h));
    h.params.prog_configs = &good;
    decodeGood(h, 5, 8);
}

// 0 for a frame concealed because TNS failed: a common-window pair of
// max_sfb 0 whose first channel carries a TNS filter over 63 bands (44.1 kHz
// has 49) is refused when the filters run; the block is left right after
// the pair (57 bits).  The same filter over 10 bands decodes the whole block
// (pair, empty fill element, end: 67 bits).
TEST_F(StatusTest, TnsFailureConcealsWithStatusZero) {
    auto pairWithTns = [](int bands) {
        Chan l(0);
        l.tnsBands = bands;
        BitWriter w;
        putPair(w, l, Chan(0), 0);
        putFill(w, 0);
        return finish(w);
    };
    Host bad, good;
    decodeGood(bad, 0, 4);
    decodeGood(good, 0, 4);
    ASSERT_EQ(decode(bad, pairWithTns(63)), AACD_OK);
    EXPECT_EQ(std::make_tuple(bad.out.bits_consumed, bad.out.num_channels, bad.out.frame_count), std::make_tuple(64u, 2u, 5u));
    EXPECT_TRUE(pcmWritten(bad));
    ASSERT_EQ(decode(good, pairWithTns(10)), AACD_OK);
    EXPECT_EQ(good.out.bits_consumed, 72u);
    bool differs = false;  // the bad frame is concealed, so the output around it differs
    for (size_t i = 5; i < 8; ++i) {
        decodeGood(bad, i, i + 1);
        decodeGood(good, i, i + 1);
        differs = differs || frameOf(bad) != frameOf(good);
    }
    EXPECT_TRUE(differs);
}

// 44: ms_mask_present 3 (reserved) in a common-window pair reaches the
// mid/side tool, which refuses it; masks 0, 1 (no ms_used bits for max_sfb
// 0) and 2 of the same pair decode.
TEST_F(StatusTest, ReservedMsMaskAbandonsTheCall) {
    for (uint32_t mask : {0u, 1u, 2u, 3u}) {
        SCOPED_TRACE(mask);
        BitWriter w;
        putPair(w, Chan(0), Chan(0), mask);
        Host h;
        decodeGood(h, 0, 4);
        if (mask < 3) {
            ASSERT_EQ(decode(h, finish(w)), AACD_OK);
            EXPECT_EQ(std::make_tuple(h.out.bits_consumed, h.out.num_channels), std::make_tuple(48u, 2u));
            continue;
        }
        expectAbandoned(h, finish(w), AACD_ERR_MS_STEREO);
        expectSameAsReference(h);
    }
}

// 45, 46: intensity stereo and deinterleaving are given only values that
// inverse quantisation of the same channel has already accepted (band
// count, group layout, sampling index), so no raw data block makes them
// fail: a max_sfb beyond the band count is a failed element (-1, above).
// Status 46 is reached through the one input of the deinterleave step that
// the stream does not control, the scratch buffer alignment, by moving the
// instance's scratch reference off its 8-byte boundary.
TEST_F(StatusTest, DeinterleaveRefusalAbandonsTheCall) {
    BitWriter w;
    putSce(w, Chan(0, true));  // eight short windows in one group
    const std::vector<uint8_t> shortBlock = finish(w);
    Host control, h;
    ASSERT_EQ(decode(control, shortBlock), AACD_OK);
    EXPECT_EQ(control.out.bits_consumed, 40u);
    decodeGood(h, 0, 4);
    int32_t *const scratch = h.cfg.state->scratch;
    h.cfg.state->scratch = reinterpret_cast<int32_t *>(reinterpret_cast<uint8_t *>(scratch) + 4);
    expectAbandoned(h, shortBlock, AACD_ERR_DEINTERLEAVE);
    h.cfg.state->scratch = scratch;
    expectSameAsReference(h);
}


namespace {

bool allSentinel(const int32_t *p, const int32_t *end) {
    return std::all_of(p, end, [](int32_t v) { return v == kSentinel; });
}

// An SBR fill payload: element it follows, type, count, nibble; byte i of
// the payload after the nibble is count * 16 + i.
struct SbrEntry { uint32_t elementId, type; int count; uint32_t nibble; };
std::vector<uint8_t> payloadBytes(const SbrEntry &e) {
    std::vector<uint8_t> v;
    for (int i = 1; i < e.count; ++i) v.push_back(uint8_t(e.count * 16 + i));
    return v;
}
void putSbrFill(BitWriter &w, const SbrEntry &e) { putFill(w, e.count, e.type, e.nibble, payloadBytes(e)); }

}  // namespace

// SBR hand-off mode against normal mode on the same blocks: each frame's SBR
// payloads (types 13 and 14 only) reach the host one call later, only after a
// single channel or channel pair element, at most two per frame and none for
// a bad frame; the core audio of slot c lands at core_output + 2048 * c and
// equals the normal-mode PCM of that channel, while the PCM buffer stays
// untouched.
TEST(SbrHandOff, PayloadsFollowTheirAudioAndCoreOutputMatchesNormalMode) {
    const SbrEntry a{0, 13, 5, 0xA}, a2{1, 14, 3, 0x5}, skipped{0, 13, 4, 0x1}, b{0, 13, 6, 0xC}, c{1, 14, 7, 0x3};
    struct Call { std::vector<uint8_t> block; bool lost; int32_t status; std::vector<SbrEntry> handedOver; };
    std::vector<Call> calls;
    auto add = [&](bool lost, int32_t status, std::vector<SbrEntry> handedOver, auto build) {
        BitWriter w;
        build(w);
        calls.push_back({finish(w), lost, status, handedOver});
    };
    add(false, AACD_OK, {}, [&](BitWriter &w) {  // after a single channel and a pair; a third one is dropped
        putLoudSce(w, 1), putSbrFill(w, a), putLoudPair(w, 2), putSbrFill(w, a2), putLoudSce(w, 3), putSbrFill(w, skipped);
    });
    add(false, AACD_OK, {a, a2}, [&](BitWriter &w) {  // not after a fill (id 6), an LFE (3) or a data stream (4)
        putLoudSce(w, 4), putSbrFill(w, b), putSbrFill(w, skipped), putLoudSce(w, 5, 3), putSbrFill(w, skipped);
        put(w, {{4, 3}, {0, 4}, {0, 1}, {2, 8}, {0xBEEF, 16}});  // tag, no align, 2 bytes
        putSbrFill(w, skipped);
    });
    add(false, AACD_OK, {b}, [&](BitWriter &w) {  // a fill as the first element of the block (previous id 7)
        putSbrFill(w, skipped), putLoudPair(w, 4);
    });
    add(false, AACD_ERR_COUPLING, {}, [&](BitWriter &w) {  // a frame that a coupling element makes bad
        putLoudPair(w, 5), putSbrFill(w, a), w.bits(2, 3);
    });
    add(true, AACD_OK, {}, [&](BitWriter &w) { putLoudPair(w, 6), putSbrFill(w, a); });  // a lost frame
    add(false, AACD_OK, {}, [&](BitWriter &w) {  // an escaped count of 269 is too long; type 11 is no SBR data
        putLoudPair(w, 7), putFill(w, 269, 13, 0x2, {0x99}), putLoudSce(w, 9), putFill(w, 3, 11, 0x4, {0x42});
    });
    add(false, AACD_OK, {}, [&](BitWriter &w) { putLoudPair(w, 8), putSbrFill(w, c); });
    calls.push_back({calls.back().block, true, AACD_OK, {c}});

    Host normal, sbr;
    SbrRecords rec;
    rec.attach(sbr);
    int32_t loudest = 0;
    for (size_t k = 0; k < calls.size(); ++k) {
        SCOPED_TRACE(k);
        std::fill(rec.core.begin(), rec.core.end(), kSentinel);
        rec.payload.entry_count = 77;
        ASSERT_EQ(decode(normal, calls[k].block, calls[k].lost), calls[k].status);
        ASSERT_EQ(decode(sbr, calls[k].block, calls[k].lost), calls[k].status);
        EXPECT_EQ(sbr.out.bits_consumed, normal.out.bits_consumed);
        ASSERT_EQ(sbr.out.num_channels, normal.out.num_channels);
        const std::vector<SbrEntry> &expected = calls[k].handedOver;
        ASSERT_EQ(rec.payload.entry_count, static_cast<int32_t>(expected.size()));
        for (size_t i = 0; i < expected.size(); ++i) {
            const SbrEntry &e = expected[i];
            const AacdSbrPayloadEntry &got = rec.payload.entries[i];
            EXPECT_EQ(std::make_tuple(got.element_id, got.extension_type, got.payload[0], got.byte_count),
                      std::make_tuple(e.elementId, e.type, uint8_t(e.nibble), uint32_t(e.count)));
            EXPECT_EQ(std::vector<uint8_t>(got.payload + 1, got.payload + e.count), payloadBytes(e));
        }
        EXPECT_TRUE(allSentinel(sbr.pcm.data(), sbr.pcm.data() + sbr.pcm.size()));
        uint32_t present = 0;
        for (int s = 0; s < 6; ++s) {
            const int32_t *slot = rec.core.data() + 2048 * s;
            const bool used = *sbr.cfg.channel_refs[s][0] != 0;
            EXPECT_TRUE(allSentinel(slot + (used ? 1024 : 0), slot + 2048)) << s;
            if (!used) continue;
            const std::vector<int32_t> got(slot, slot + 1024);
            EXPECT_EQ(got, channelOf(normal, present++)) << "slot " << s;
            loudest = std::max(loudest, peak(got));
        }
        EXPECT_EQ(present, normal.out.num_channels);
    }
    EXPECT_GT(loudest, 1000);
}

// Data stream elements (count escaped by 255, optional byte alignment
// relative to the block start) and fill elements (count escaped by 15 to 8
// more bits plus 14) are read to their end exactly, in both modes; trailing
// bytes that a longer count would run into are 0xFF.  In SBR hand-off mode
// a payload is kept up to 268 bytes.
TEST(AuxElements, CountsAreReadExactly) {
    struct Case { bool fill, lead; int count, escape; bool align; };  // escape < 0: none
    const Case cases[] = {
        {false, false, 0, -1, false}, {false, true, 3, -1, true},  {false, false, 255, 0, false},
        {false, true, 510, 255, true}, {false, true, 300, 45, false}, {false, false, 7, -1, true},
        {true, true, 0, -1, false},  {true, true, 1, -1, false},   {true, true, 14, -1, false},
        {true, true, 14, 0, false},  {true, true, 15, 1, false},   {true, true, 268, 254, false},
        {true, true, 269, 255, false},
    };
    for (const Case &c : cases) {
        for (const bool handOff : {false, true}) {
            SCOPED_TRACE(testing::Message() << (c.fill ? "fill " : "data ") << c.count << " escape "
                                            << c.escape << " lead " << c.lead << " hand-off " << handOff);
            BitWriter w;
            if (c.lead) putSce(w, Chan(0));  // 29 bits
            const uint32_t head = c.escape >= 0 ? (c.fill ? 15 : 255) : uint32_t(c.count);
            c.fill ? put(w, {{6, 3}, {head, 4}}) : put(w, {{4, 3}, {5, 4}, {c.align, 1}, {head, 8}});
            if (c.escape >= 0) w.bits(static_cast<uint32_t>(c.escape), 8);
            if (c.align && w.count() % 8) w.bits(0x55, 8 - w.count() % 8);
            if (c.fill && c.count > 0) put(w, {{13, 4}, {0x7, 4}});  // EXT_SBR_DATA, nibble
            for (int i = c.fill ? 1 : 0; i < c.count; ++i) w.bits(static_cast<uint8_t>(3 * i), 8);
            std::vector<uint8_t> block = finish(w);
            block.resize(block.size() + 8, 0xFF);

            Host h;
            SbrRecords rec;
            if (handOff) rec.attach(h);
            ASSERT_EQ(h.decode(block), AACD_OK);
            EXPECT_EQ(h.out.bits_consumed, (w.count() + 7u) & ~7u);
            if (!handOff) continue;
            h.cfg.frame_lost = 1;  // the next call hands this frame's payload over
            ASSERT_EQ(h.decode(block), AACD_OK);
            const bool kept = c.fill && c.lead && c.count > 0 && c.count <= 268;
            ASSERT_EQ(rec.payload.entry_count, kept ? 1 : 0);
            if (!kept) continue;
            const AacdSbrPayloadEntry &e = rec.payload.entries[0];
            ASSERT_EQ(std::make_tuple(e.element_id, e.extension_type, e.payload[0], e.byte_count),
                      std::make_tuple(0u, 13u, uint8_t{7}, uint32_t(c.count)));
            for (int i = 1; i < c.count; ++i) ASSERT_EQ(e.payload[i], static_cast<uint8_t>(3 * i)) << i;
        }
    }
}

namespace {

// Decodes block twice on a fresh instance; the second call synthesises the
// first block (on silent overlap).
void decodeTwice(Host &h, const std::vector<uint8_t> &block) {
    EXPECT_EQ(decode(h, block), AACD_OK);
    EXPECT_EQ(decode(h, block), AACD_OK);
    EXPECT_EQ(h.out.num_channels, 2u);
}

constexpr int kBand = 20;       // the band under test
constexpr int kOtherBand = 24;  // a later band

}  // namespace

// Noise substitution in a common-window pair whose channels both carry
// noise of the same energy in one band: with ms_used 1 the two channels get
// the same noise, with ms_used 0 independent noise.  In the second pair of
// cases the left channel also draws noise in a later band, which advances
// the generator before the right channel is processed, and the right channel
// copies that band by intensity position 0: the right channel must take its
// correlated band from the seed the left one stored, not from the
// generator's current state.
TEST(PairNoise, MsUsedMakesTheNoiseOfBothChannelsTheSame) {
    struct Case { int msUsed; bool advance; };
    for (const Case c : {Case{1, false}, Case{0, false}, Case{1, true}, Case{0, true}}) {
        SCOPED_TRACE(c.msUsed + 2 * c.advance);
        Chan l(kOtherBand + 1), r(kOtherBand + 1);
        l.noise(kBand, 80);
        r.noise(kBand, 80);
        if (c.advance) {
            l.noise(kOtherBand, 76);
            r.intensity(kOtherBand, 15, 0);
        }
        std::vector<int> msUsed(kOtherBand + 1, 0);
        msUsed[kBand] = c.msUsed;
        BitWriter w;
        putPair(w, l, r, 1, msUsed);
        Host h;
        decodeTwice(h, finish(w));
        const std::vector<int32_t> left = channelOf(h, 0), right = channelOf(h, 1);
        EXPECT_GT(peak(left), 500);
        EXPECT_GT(peak(right), 500);
        EXPECT_EQ(left == right, c.msUsed == 1);
    }
}

// The pair record's ms_used flags are read only by a pair with
// ms_mask_present 1; no other element may see an earlier pair's flags.  A
// first pair sets ms_used in the band under test, a second pair does not
// read the flags.
TEST(PairNoise, EarlierMsUsedFlagsDoNotReachALaterPair) {
    std::vector<int> used(kBand + 1, 0);
    used[kBand] = 1;

    // Intensity: the first pair's right band is an intensity band over a
    // silent left band, so its own output does not depend on the flag.  The
    // second pair (mid/side in all bands) copies a loud left band with
    // intensity position 0 and codebook 15: right = +left, no inversion.
    Chan silentL(kBand + 1), isR(kBand + 1), loudL(kBand + 1);
    isR.intensity(kBand, 15, 0);
    loudL.spectral(kBand, 170, 3);
    BitWriter second;
    putPair(second, loudL, isR, 2);
    const auto secondBlock = finish(second);
    std::vector<std::vector<int32_t>> outputs;
    for (int flag : {1, 0}) {
        BitWriter first;
        putPair(first, silentL, isR, 1, flag ? used : std::vector<int>{});
        Host h;
        ASSERT_EQ(decode(h, finish(first)), AACD_OK);
        decodeTwice(h, secondBlock);
        EXPECT_GT(peak(channelOf(h, 0)), 1000);
        EXPECT_EQ(channelOf(h, 1), channelOf(h, 0)) << "flag " << flag;
        outputs.push_back(frameOf(h));
    }
    EXPECT_EQ(outputs[0], outputs[1]);

    // Noise: after a pair with correlated noise in the band, a pair without
    // mid/side (mask 0) and the same noise in both channels gets independent
    // noise.
    Chan noisy(kBand + 1);
    noisy.noise(kBand, 80);
    BitWriter first, later;
    putPair(first, noisy, noisy, 1, used);
    putPair(later, noisy, noisy, 0);
    Host h;
    const auto firstBlock = finish(first);
    ASSERT_EQ(decode(h, firstBlock), AACD_OK);
    ASSERT_EQ(decode(h, finish(later)), AACD_OK);
    EXPECT_EQ(channelOf(h, 0), channelOf(h, 1));  // the first pair: correlated
    ASSERT_EQ(decode(h, firstBlock), AACD_OK);
    EXPECT_GT(peak(channelOf(h, 0)), 500);
    EXPECT_NE(channelOf(h, 0), channelOf(h, 1));
}

namespace {

// A loud single channel whose last 30 bands are codebook 1 with all values
// zero: their codes are single 0 bits, so the element ends in a run of zero
// bytes before the end element.
std::vector<uint8_t> sceWithZeroTail(int seed) {
    Chan c(40);
    for (int b = 4; b < 10; ++b) c.spectral(b, 168, seed + b);
    for (int b = 10; b < 40; ++b) c.zeros(b, 1);
    BitWriter w;
    putSce(w, c);
    return finish(w);
}

// Two instances fed the same history.
struct Twins {
    Host a, b;
    Twins(const std::vector<uint8_t> &history, int calls) {
        for (int i = 0; i < calls; ++i) {
            EXPECT_EQ(decode(a, history), AACD_OK);
            EXPECT_EQ(decode(b, history), AACD_OK);
        }
    }
};

}  // namespace

// A block whose element runs past input_size is a failed element even when
// the bits it misses read as zero and would decode: the cut falls in a run
// of zero bytes, so only the end bound can make the frame bad.  The call
// conceals (same output as a frame declared lost) and reports no more bits
// than the block has.
TEST(InputBound, ElementRunningPastTheEndIsAFailedElement) {
    const std::vector<uint8_t> good = sceWithZeroTail(1), next = sceWithZeroTail(2);
    size_t zeroFrom = good.size() - 1;  // the last byte holds the end element
    while (zeroFrom > 0 && good[zeroFrom - 1] == 0) --zeroFrom;
    ASSERT_GE(good.size() - 1 - zeroFrom, 8u);
    const int32_t cut = static_cast<int32_t>(zeroFrom + 3);

    Twins t(good, 2);
    EXPECT_EQ(t.a.out.bits_consumed, 8u * good.size());  // decodes whole
    EXPECT_GT(peak(frameOf(t.a)), 1000);
    std::fill(t.a.pcm.begin(), t.a.pcm.end(), kSentinel);
    ASSERT_EQ(aacd_decode_frame(&t.a.cfg, &t.a.out, t.a.pcm.data(), good.data(), cut), AACD_ERR_ELEMENT);
    EXPECT_EQ(t.a.out.bits_consumed, 8u * cut);
    // Reading stopped after the element that crossed the end: zeros read on
    // from there would parse as further single channel elements.
    const uint32_t stop = aacd::bitIndex(t.a.cfg.state->bitPos) / 8;
    EXPECT_GT(stop, static_cast<uint32_t>(cut));
    EXPECT_LE(stop, good.size());
    ASSERT_EQ(decode(t.b, good, true), AACD_OK);
    EXPECT_EQ(t.a.out.num_channels, 1u);
    EXPECT_EQ(frameOf(t.a), frameOf(t.b));
    EXPECT_EQ(t.a.pcm[1024], kSentinel);
    for (int i = 0; i < 2; ++i) {  // both carry on alike
        ASSERT_EQ(decode(t.a, next), AACD_OK);
        ASSERT_EQ(decode(t.b, next), AACD_OK);
        EXPECT_EQ(frameOf(t.a), frameOf(t.b));
    }
    // An empty block (input_size 0) reads nothing: the first element id is 0
    // bits past the end.
    ASSERT_EQ(aacd_decode_frame(&t.a.cfg, &t.a.out, t.a.pcm.data(), good.data(), 0), AACD_ERR_ELEMENT);
    EXPECT_EQ(t.a.out.bits_consumed, 0u);
}

// With the frame-length check on, a block longer than frame_bytes is
// concealed like a lost frame and reports frame_bytes * 8 bits (0 for
// negative frame_bytes); a block of exactly frame_bytes decodes.  Clearing
// check_frame_length does not switch the check off; a new initialisation
// does.
TEST(FrameLength, LongerBlockIsConcealedAndTheCheckStaysOn) {
    const std::vector<uint8_t> good = sceWithZeroTail(1);
    const int32_t size = static_cast<int32_t>(good.size());
    Twins t(good, 2);
    EXPECT_GT(peak(frameOf(t.a)), 1000);
    t.a.cfg.check_frame_length = 1;
    for (int32_t bytes : {size - 1, size - 1, size, 1, -3, size + 5}) {
        SCOPED_TRACE(bytes);
        const bool tooLong = bytes < size;
        t.a.params.frame_bytes = bytes;
        ASSERT_EQ(decode(t.a, good), AACD_OK);
        ASSERT_EQ(decode(t.b, good, tooLong), AACD_OK);
        EXPECT_EQ(t.a.out.bits_consumed, tooLong ? 8u * std::max(bytes, 0) : 8u * size);
        EXPECT_EQ(frameOf(t.a), frameOf(t.b));
        t.a.cfg.check_frame_length = 0;
    }
    // A new initialisation switches the check off.  (It keeps the overlap
    // buffers, so the first output after it still differs.)
    ASSERT_EQ(aacd_decoder_init(&t.a.cfg), AACD_OK);
    t.a.params.frame_bytes = 1;
    Host fresh;
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(decode(t.a, good), AACD_OK);
        ASSERT_EQ(decode(fresh, good), AACD_OK);
        EXPECT_EQ(t.a.out.bits_consumed, 8u * size);
        if (i > 0) {
            EXPECT_EQ(frameOf(t.a), frameOf(fresh));
        }
    }
}

// The previous window shape belongs to the channel, not to the window index
// a common-window pair shares: a pair without common window (left
// Kaiser-Bessel-derived, right sine), then a common-window pair (sine); each
// channel must decode like a single channel with the same history.
TEST(WindowShape, PreviousShapeIsKeptPerChannel) {
    Chan l1(12), r1(12), l2(12), r2(12);
    for (int b = 4; b < 12; ++b) l1.spectral(b, 168, b), r1.spectral(b, 168, b), l2.spectral(b, 170, 2 * b), r2.spectral(b, 165, 3 * b);
    l1.shape = 1;
    BitWriter first, second;
    put(first, {{1, 3}, {0, 4}, {0, 1}});  // pair, tag 0, no common window
    putIcs(first, l1, false);
    putIcs(first, r1, false);
    putPair(second, l2, r2, 0);
    const std::vector<std::vector<uint8_t>> pair = {finish(first), finish(second)};
    Host h;
    for (const auto &b : {pair[0], pair[1], pair[1]}) ASSERT_EQ(decode(h, b), AACD_OK);
    for (int c = 0; c < 2; ++c) {
        const Chan &a = c ? r1 : l1, &b = c ? r2 : l2;
        BitWriter w1, w2;
        putSce(w1, a);
        putSce(w2, b);
        const std::vector<uint8_t> mono[2] = {finish(w1), finish(w2)};
        Host m;
        for (const auto &blk : {mono[0], mono[1], mono[1]}) ASSERT_EQ(decode(m, blk), AACD_OK);
        EXPECT_GT(peak(channelOf(m, 0)), 1000);
        EXPECT_EQ(channelOf(h, c), channelOf(m, 0)) << "channel " << c;
    }
}

// Arguments outside the preconditions: a positive record count without
// records is refused (36) and concealed; the exported FFT and inverse MDCT
// refuse an order outside 4..9 and an output stride below 1 untouched.
TEST(DecodeFrame, ArgumentsOutsideThePreconditionsAreRefused) {
    Host h;
    h.params.num_prog_configs = 1;
    h.params.prog_configs = nullptr;
    EXPECT_EQ(h.decode(endOnlyBlock()), AACD_ERR_PROG_CONFIG);
    EXPECT_EQ(h.out.frame_samples, 1024u);
    std::vector<int32_t> data(4096, 5), scratch(4096, 6), pcm(4096, 7);
    const std::vector<int32_t> data0 = data, scratch0 = scratch, pcm0 = pcm;
    for (int32_t order : {-1, 0, 3, 10, 31})
        omx_FFT_common(data.data(), order, armACAAC_IMDCT_FFTLongQ31, scratch.data());
    for (int32_t stride : {0, -1, INT32_MIN})
        EXPECT_EQ(omxACAAC_MDCTInv_S32_S32(data.data(), pcm.data(), scratch.data(), 0, 0, 0, stride, 16,
                                           &armACAAC_IMDCT_Tables), -5);
    EXPECT_EQ(std::make_tuple(data, scratch, pcm), std::make_tuple(data0, scratch0, pcm0));
}

// Intensity stereo belongs to the second channel of a pair: a single
// channel (slot 4, after a pair and another single channel) that codes an
// intensity band keeps the band silent, as if it were a zero band, and does
// not copy the loud first channel.
TEST(IntensityStereo, SingleChannelIntensityBandStaysSilent) {
    Chan loud(12), withIs(12);
    loud.spectral(8, 170, 1);
    withIs.intensity(8, 15, 0);
    std::vector<std::vector<int32_t>> outputs;
    for (const Chan &fourth : {withIs, Chan(12)}) {
        BitWriter w;
        putSce(w, loud);
        putPair(w, Chan(0), Chan(0), 0, {}, 1);
        putSce(w, Chan(0), 0, 3);
        putSce(w, fourth, 0, 4);
        const std::vector<uint8_t> block = finish(w);
        Host h;
        for (int i = 0; i < 2; ++i) ASSERT_EQ(decode(h, block), AACD_OK);
        ASSERT_EQ(h.out.num_channels, 5u);
        EXPECT_GT(peak(channelOf(h, 0)), 1000);
        outputs.push_back(frameOf(h));
    }
    EXPECT_EQ(outputs[0], outputs[1]);
}
