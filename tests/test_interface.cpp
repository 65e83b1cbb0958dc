// Public entry points: memory plan, initialisation, argument checks
// (statuses 39, 51, 53), the per-frame flags and what aacd_decode_frame
// reports for hand-built raw data blocks.  (input_size: test_frame_driver.)
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
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
