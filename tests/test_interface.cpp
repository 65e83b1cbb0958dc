// Public entry points: memory plan, initialisation, argument checks, the
// per-frame flags and the frame driver on hand-built raw data blocks.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "aacd.h"
#include "decoder/decoder.h"
#include "host.h"

using aacdtest::BitWriter;
using aacdtest::Host;

namespace {

std::vector<uint8_t> endOnlyBlock() {
    BitWriter w;
    w.put(7, 3);
    return w.finish();
}

uintptr_t addr(const void *p) { return reinterpret_cast<uintptr_t>(p); }

}  // namespace

TEST(Query, MemoryPlan) {
    EXPECT_EQ(aacd_query_dec_mem(nullptr), AACD_ERR_NULL_CONFIG);
    AacdDecoderConfig cfg;
    std::memset(&cfg, 0xA5, sizeof cfg);
    ASSERT_EQ(aacd_query_dec_mem(&cfg), AACD_OK);
    EXPECT_EQ(cfg.mem_info.block_count, 8u);
    const uint32_t sizes[8] = {7487, 4224, 24704, 25344, 24704, 0, 0, 0};
    for (int k = 0; k < 8; ++k) {
        EXPECT_EQ(cfg.mem_info.blocks[k].size, sizes[k]) << k;
        if (k < 5) {
            EXPECT_EQ(cfg.mem_info.blocks[k].priority, k == 0 ? 1u : 0u);
            EXPECT_EQ(cfg.mem_info.blocks[k].type, 0u);
            EXPECT_EQ(cfg.mem_info.blocks[k].reserved, 0u);
            EXPECT_EQ(cfg.mem_info.blocks[k].base, nullptr);
        } else {
            EXPECT_EQ(cfg.mem_info.blocks[k].priority, 0xA5A5A5A5u);  // left alone
        }
    }
}

TEST(Init, StatusesAndBitDepth) {
    EXPECT_EQ(aacd_decoder_init(nullptr), AACD_ERR_NULL_CONFIG);
    for (uint8_t bits : {uint8_t{0}, uint8_t{8}, uint8_t{20}, uint8_t{32}}) {
        Host h(bits);
        EXPECT_EQ(h.status, AACD_ERR_BIT_DEPTH) << int(bits);
        EXPECT_NE(h.cfg.state, nullptr);  // placed before the depth check
    }
    for (uint8_t bits : {uint8_t{16}, uint8_t{24}}) {
        Host h(bits);
        EXPECT_EQ(h.status, AACD_OK);
        EXPECT_EQ(h.cfg.sbr_mode, 0u);
        ASSERT_NE(h.cfg.frame_counter, nullptr);
        EXPECT_EQ(*h.cfg.frame_counter, 0u);
    }
}

TEST(Init, BlockCarvingFollowsThe32ByteRule) {
    for (size_t mis : {size_t{0}, size_t{1}, size_t{7}, size_t{8}, size_t{31}, size_t{32}}) {
        Host h(16, mis);
        ASSERT_EQ(h.status, AACD_OK);
        const AacdDecoderState *st = h.cfg.state;
        const uintptr_t b0 = addr(h.cfg.mem_info.blocks[0].base);
        EXPECT_EQ(addr(st), (b0 + 7) & ~uintptr_t{7});
        auto start = [&](int k) {
            return (addr(h.cfg.mem_info.blocks[k].base) & ~uintptr_t{31}) + 32;
        };
        EXPECT_EQ(addr(st->scratch), start(1));
        EXPECT_EQ(addr(st->firstSet), start(2));
        EXPECT_EQ(addr(st->overlap), start(4));
        for (int c = 0; c < 6; ++c) {
            EXPECT_EQ(addr(st->conceal[c].buffer), start(3) + 4096u * c);
            // Buffers stay inside their blocks.
            EXPECT_LE(addr(st->conceal[c].buffer) + 4096,
                      addr(h.cfg.mem_info.blocks[3].base) + 25344);
        }
        EXPECT_LE(start(2) + 6 * 4096, addr(h.cfg.mem_info.blocks[2].base) + 24704);
        EXPECT_LE(addr(st) + sizeof(AacdDecoderState), b0 + 7487);
    }
}

TEST(Init, ChannelReferencesAndInitialMap) {
    Host h;
    ASSERT_EQ(h.status, AACD_OK);
    for (int c = 0; c < 6; ++c) {
        EXPECT_EQ(h.cfg.channel_refs[c][0], &h.cfg.state->mcInfo.slot[c].present);
        EXPECT_EQ(*h.cfg.channel_refs[c][0], 0);
        EXPECT_EQ(*h.cfg.channel_refs[c][1], 0);
        EXPECT_EQ(*h.cfg.channel_refs[c][2], 0);
    }
    const AacdDecoderState *st = h.cfg.state;
    EXPECT_EQ(st->implicitConfig, 1);
    EXPECT_EQ(st->configTag, -1);
    EXPECT_EQ(st->mcInfo.samplingRateIndex, 3);
    EXPECT_EQ(st->configId, -1);
    EXPECT_EQ(st->randomState, 0u);
    EXPECT_EQ(st->sampleRates[4].samplingRate, 44100u);
    EXPECT_EQ(st->sampleRates[4].longBandEnds[0], 4);  // first band of 44.1 kHz ends at 4
    EXPECT_EQ(st->sampleRates[4].longBandEnds[48], 1024);
    EXPECT_EQ(st->sampleRates[12].longBandEnds, nullptr);
}

TEST(Version, ConstantText) {
    const char *v = aacd_decode_versionInfo();
    EXPECT_STREQ(v, "TALVEN_AACD_ARM_03.09.00_ARMV8  build on Sep 16 2022 13:23:31");
    Host h;
    EXPECT_EQ(aacd_decode_versionInfo(), v);
}

TEST(DecodeFrame, NullArgumentsTouchNothing) {
    Host h;
    const auto block = endOnlyBlock();
    h.cfg.frame_lost = 1;
    h.out.frame_count = 77;
    EXPECT_EQ(aacd_decode_frame(nullptr, &h.out, h.pcm.data(), block.data(), 1), AACD_ERR_NULL_ARG);
    EXPECT_EQ(aacd_decode_frame(&h.cfg, nullptr, h.pcm.data(), block.data(), 1), AACD_ERR_NULL_ARG);
    EXPECT_EQ(aacd_decode_frame(&h.cfg, &h.out, nullptr, block.data(), 1), AACD_ERR_NULL_ARG);
    EXPECT_EQ(aacd_decode_frame(&h.cfg, &h.out, h.pcm.data(), nullptr, 1), AACD_ERR_NULL_ARG);
    h.cfg.block_params = nullptr;
    EXPECT_EQ(aacd_decode_frame(&h.cfg, &h.out, h.pcm.data(), block.data(), 1), AACD_ERR_NULL_ARG);
    h.cfg.block_params = &h.params;
    h.cfg.sbr_mode = 1;  // SBR link not set up
    EXPECT_EQ(aacd_decode_frame(&h.cfg, &h.out, h.pcm.data(), block.data(), 1), AACD_ERR_NULL_ARG);
    EXPECT_EQ(h.cfg.frame_lost, 1u);
    EXPECT_EQ(h.out.frame_count, 77u);
    EXPECT_EQ(*h.cfg.frame_counter, 0u);
}

TEST(DecodeFrame, EndOnlyBlockAndFlags) {
    Host h;
    const auto block = endOnlyBlock();
    EXPECT_EQ(h.decode(block), AACD_OK);
    EXPECT_EQ(h.out.bits_consumed, 8u);
    EXPECT_EQ(h.out.num_channels, 0u);
    EXPECT_EQ(h.out.frame_samples, 1024u);
    EXPECT_EQ(h.out.sampling_rate, 44100u);
    EXPECT_EQ(h.out.frame_count, 1u);

    h.cfg.frame_lost = 1;
    EXPECT_EQ(h.decode(block), AACD_OK);
    EXPECT_EQ(h.cfg.frame_lost, 0u);
    EXPECT_EQ(h.out.frame_count, 2u);
    EXPECT_EQ(h.out.bits_consumed, 0u);

    // Length check: once switched on it stays on.
    h.cfg.check_frame_length = 1;
    h.params.frame_bytes = 0;
    EXPECT_EQ(h.decode(block), AACD_OK);
    EXPECT_EQ(h.out.bits_consumed, 0u);
    h.cfg.check_frame_length = 0;
    EXPECT_EQ(h.decode(block), AACD_OK);
    EXPECT_EQ(h.out.bits_consumed, 0u);
    h.params.frame_bytes = 1;
    EXPECT_EQ(h.decode(block), AACD_OK);
    EXPECT_EQ(h.out.bits_consumed, 8u);
}

TEST(DecodeFrame, CouplingElementAndBadSamplingIndex) {
    Host h;
    BitWriter w;
    w.put(2, 3);  // coupling channel element
    w.put(7, 3);
    EXPECT_EQ(h.decode(w.finish()), AACD_ERR_COUPLING);
    EXPECT_EQ(h.out.frame_samples, 1024u);
    EXPECT_EQ(h.out.frame_count, 1u);

    h.params.sampling_index = 13;
    EXPECT_EQ(h.decode(endOnlyBlock()), AACD_ERR_CONFIG);
    EXPECT_EQ(h.out.bits_consumed, 0u);
    h.params.sampling_index = 99;
    EXPECT_EQ(h.decode(endOnlyBlock()), AACD_ERR_CONFIG);
    h.params.sampling_index = 4;
    EXPECT_EQ(h.decode(endOnlyBlock()), AACD_OK);
}

TEST(DecodeFrame, ReadsStopAtInputSize) {
    Host h;
    // A single channel element of zeros that runs past a 2-byte block.
    const std::vector<uint8_t> block = {0x00, 0x00, 0xFF, 0xFF};
    EXPECT_EQ(aacd_decode_frame(&h.cfg, &h.out, h.pcm.data(), block.data(), 2), AACD_ERR_ELEMENT);
    EXPECT_LE(h.out.bits_consumed, 16u);
    EXPECT_EQ(aacd_decode_frame(&h.cfg, &h.out, h.pcm.data(), block.data(), 0), AACD_ERR_ELEMENT);
    EXPECT_EQ(h.out.bits_consumed, 0u);
}

TEST(DecodeFrame, SamplingRateAndAuxBFollowTheStreamParameters) {
    // ISO/IEC 14496-3 sampling frequencies of indices 0 to 11.
    const uint32_t rates[12] = {96000, 88200, 64000, 48000, 44100, 32000,
                                24000, 22050, 16000, 12000, 11025, 8000};
    Host h;
    const auto block = endOnlyBlock();
    for (uint32_t i = 0; i < 12; ++i) {
        h.params.sampling_index = 11 - i;
        h.params.aux_b = static_cast<int32_t>(0x1000 * i) - 3;
        ASSERT_EQ(h.decode(block), AACD_OK);
        EXPECT_EQ(h.out.sampling_rate, rates[11 - i]) << i;
        EXPECT_EQ(h.out.aux_b, static_cast<uint32_t>(h.params.aux_b)) << i;
    }
    // A lost frame takes nothing over and reports the values last taken.
    h.params.sampling_index = 3;
    h.params.aux_b = 42;
    h.cfg.frame_lost = 1;
    ASSERT_EQ(h.decode(block), AACD_OK);
    EXPECT_EQ(h.out.sampling_rate, rates[0]);
    EXPECT_EQ(h.out.aux_b, static_cast<uint32_t>(0x1000 * 11 - 3));
    // A bad frame has taken them over before its elements fail.
    BitWriter w;
    w.put(2, 3);  // coupling channel element
    ASSERT_EQ(h.decode(w.finish()), AACD_ERR_COUPLING);
    EXPECT_EQ(h.out.sampling_rate, rates[3]);
    EXPECT_EQ(h.out.aux_b, 42u);
}

namespace {

// A single channel, two channel pairs with a common window and an LFE
// channel, all without bands, with element tags 1 to 4; or the first pair
// alone.
std::vector<uint8_t> channelsBlock(bool all) {
    BitWriter w;
    auto ics = [&w](bool withInfo) {
        w.put(100, 8);
        if (withInfo) w.put(0, 11);
        w.put(0, 3);
    };
    if (all) {
        w.put(0, 3);
        w.put(1, 4);
        ics(true);
    }
    for (uint32_t tag : all ? std::vector<uint32_t>{2, 3} : std::vector<uint32_t>{2}) {
        w.put(1, 3);
        w.put(tag, 4);
        w.put(1, 1);   // common_window
        w.put(0, 11);  // ics_info, max_sfb 0
        w.put(0, 2);   // ms_mask_present
        ics(false);
        ics(false);
    }
    if (all) {
        w.put(3, 3);
        w.put(4, 4);
        ics(true);
    }
    w.put(7, 3);
    return w.finish();
}

}  // namespace

TEST(DecodeFrame, ChannelReferencesAfterDecoding) {
    // The first reference of each slot follows its presence; the other two
    // are distinct words that keep reading zero while every slot is in use.
    Host h;
    for (int k = 0; k < 3; ++k) {
        const bool full = k != 1;
        const std::vector<uint8_t> block = channelsBlock(full);
        ASSERT_EQ(h.decode(block), AACD_OK);
        EXPECT_EQ(h.out.bits_consumed, 8u * block.size());
        uint32_t present = 0;
        for (int c = 0; c < 6; ++c) {
            const int32_t *const *r = h.cfg.channel_refs[c];
            EXPECT_NE(r[1], r[0]);
            EXPECT_NE(r[2], r[0]);
            EXPECT_NE(r[2], r[1]);
            EXPECT_EQ(*r[1], 0) << c;
            EXPECT_EQ(*r[2], 0) << c;
            const bool expected = full || c == 1 || c == 2;
            EXPECT_EQ(*r[0] != 0, expected) << k << " slot " << c;
            present += *r[0] != 0;
        }
        EXPECT_EQ(present, h.out.num_channels);
    }
}
