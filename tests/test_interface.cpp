// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// The public entry points as a host uses them: memory plan, initialisation,
// argument checks, per-frame flags and statuses, and the frame driver on raw
// data blocks built bit by bit: what a failing block leaves behind, SBR
// hand-off mode, data stream and fill elements, per-channel state of a
// channel pair, blocks cut by input_size and the frame-length check.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <vector>

#include "decoder/decoder.h"
#include "frame_blocks.h"

using aacdtest::Host;
using Block = std::vector<uint8_t>;

namespace {

Block endOnly() { BitWriter w; return finish(w); }
Block loudPair(int seed) { BitWriter w; putLoudPair(w, seed); return finish(w); }
uintptr_t addr(const void *p) { return reinterpret_cast<uintptr_t>(p); }
bool allSentinel(const int32_t *p, const int32_t *end) { return std::all_of(p, end, [](int32_t v) { return v == kSentinel; }); }

}  // namespace

// The memory plan; a null config or block base is refused (51) with nothing
// written; output_bits other than 16 and 24 (39) leaves an instance that
// refuses to decode (53), also after a good init, until an init succeeds.
// The instance sits at block 0 rounded up to 8 bytes, the buffers at their
// block rounded down to 32 bytes plus 32, whatever the host's alignment.
TEST(Api, MemoryPlanAndInitialisation) {
    EXPECT_STREQ(aacd_decode_versionInfo(), "TALVEN_AACD_ARM_03.09.00_ARMV8  build on Sep 16 2022 13:23:31");
    EXPECT_EQ(std::make_tuple(aacd_query_dec_mem(nullptr), aacd_decoder_init(nullptr)), std::make_tuple(51, 51));
    AacdDecoderConfig cfg;
    std::memset(&cfg, 0xA5, sizeof cfg);
    ASSERT_EQ(aacd_query_dec_mem(&cfg), AACD_OK);
    const uint32_t sizes[8] = {7487, 4224, 24704, 25344, 24704, 0, 0, 0};
    for (uint32_t k = 0; k < 8; ++k)
        EXPECT_EQ(std::make_tuple(cfg.mem_info.block_count, cfg.mem_info.blocks[k].size, cfg.mem_info.blocks[k].priority,
                                  cfg.mem_info.blocks[k].type | cfg.mem_info.blocks[k].reserved, cfg.mem_info.blocks[k].base),
                  std::make_tuple(8u, sizes[k], k ? k < 5 ? 0u : 0xA5A5A5A5u : 1u, k < 5 ? 0u : 0xA5A5A5A5u,
                                  k < 5 ? nullptr : cfg.mem_info.blocks[7].base)) << k;
    for (int k = 0; k < 5; ++k) {
        Host h(16, 0, false);
        h.cfg.mem_info.blocks[k].base = nullptr;
        h.cfg.sbr_mode = 7;
        const AacdDecoderConfig before = h.cfg;
        EXPECT_EQ(aacd_decoder_init(&h.cfg), AACD_ERR_NULL_CONFIG) << k;
        EXPECT_EQ(std::memcmp(&before, &h.cfg, sizeof before), 0) << k;
    }
    for (uint8_t bits : {0, 15, 17, 23, 25}) {
        Host h(bits == 15 ? 16 : 24);
        h.cfg.output_bits = bits;
        ASSERT_EQ(aacd_decoder_init(&h.cfg), AACD_ERR_BIT_DEPTH) << int(bits);
        h.cfg.frame_lost = 1;
        EXPECT_EQ(h.decode(endOnly()), AACD_ERR_NULL_ARG);
        EXPECT_EQ(h.cfg.frame_lost, 1u);
        h.cfg.output_bits = bits == 15 ? 16 : 24;
        ASSERT_EQ(aacd_decoder_init(&h.cfg), AACD_OK);
        EXPECT_EQ(std::make_tuple(decode(h, endOnly()), h.out.bits_consumed, h.out.frame_count), std::make_tuple(0, 8u, 1u));
    }
    for (size_t mis : {0, 1, 31}) {
        Host h(16, mis);
        ASSERT_EQ(std::make_tuple(h.status, h.cfg.sbr_mode, *h.cfg.frame_counter), std::make_tuple(0, 0u, 0u));
        const AacdDecoderState *st = h.cfg.state;
        auto start = [&](int k) { return (addr(h.cfg.mem_info.blocks[k].base) & ~uintptr_t{31}) + 32; };
        EXPECT_EQ(addr(st), (addr(h.cfg.mem_info.blocks[0].base) + 7) & ~uintptr_t{7});
        EXPECT_EQ(std::make_tuple(addr(st->scratch), addr(st->firstSet), addr(st->overlap), addr(st->conceal[5].buffer)),
                  std::make_tuple(start(1), start(2), start(4), start(3) + 5 * 4096));
        for (int c = 0; c < 6; ++c) {
            const int32_t *const *r = h.cfg.channel_refs[c];
            EXPECT_TRUE(r[0] == &st->outPresent[c] && r[1] != r[0] && r[2] != r[1] && r[2] != r[0] && !*r[0] && !*r[1] && !*r[2]);
        }
        // Band ends of the instance's rate table: 49 long and 14 short bands at
        // 44.1 kHz, 40 and 15 at 8 kHz.
        const AacdSampleRateInfo *t = st->sampleRates;
        EXPECT_EQ(std::make_tuple(t[4].longBandEnds[0], t[4].longBandEnds[48], t[4].shortBandEnds[0], t[4].shortBandEnds[13]),
                  std::make_tuple(4, 1024, 4, 128));
        EXPECT_EQ(std::make_tuple(t[11].longBandEnds[39], t[11].shortBandEnds[14], t[12].longBandEnds), std::make_tuple(1024, 128, nullptr));
    }
}

// 53 for each null reference, an instance never initialised and, in SBR
// hand-off mode, each null reference of the link and a link to another
// instance: nothing is written, not even the frame_lost flag.
TEST(Api, DecodeFrameRefusesNullReferences) {
    Host h, other, never(16, 0, false);
    const Block b = endOnly();
    int32_t *const pcm = h.pcm.data();
    h.cfg.frame_lost = 1;
    h.out.frame_count = 77;
    never.cfg.block_params = &never.params;
    EXPECT_EQ(aacd_decode_frame(nullptr, &h.out, pcm, b.data(), 1), 53);
    EXPECT_EQ(aacd_decode_frame(&h.cfg, nullptr, pcm, b.data(), 1), 53);
    EXPECT_EQ(aacd_decode_frame(&h.cfg, &h.out, nullptr, b.data(), 1), 53);
    EXPECT_EQ(aacd_decode_frame(&h.cfg, &h.out, pcm, nullptr, 1), 53);
    EXPECT_EQ(aacd_decode_frame(&never.cfg, &h.out, pcm, b.data(), 1), 53);
    h.cfg.block_params = nullptr;
    EXPECT_EQ(aacd_decode_frame(&h.cfg, &h.out, pcm, b.data(), 1), 53);
    h.cfg.block_params = &h.params;
    SbrRecords rec;
    h.cfg.sbr_mode = 1;
    for (int k = 0; k < 6; ++k) {  // k = 5: another instance's state
        h.cfg.sbr = rec.link(h);
        void **const fields[5] = {reinterpret_cast<void **>(&h.cfg.sbr.state), reinterpret_cast<void **>(&h.cfg.sbr.payload),
                                  reinterpret_cast<void **>(&h.cfg.sbr.core_output), reinterpret_cast<void **>(&h.cfg.sbr.swap),
                                  reinterpret_cast<void **>(&h.cfg.sbr.previous)};
        *fields[k % 5] = k < 5 ? nullptr : other.cfg.state;
        EXPECT_EQ(aacd_decode_frame(&h.cfg, &h.out, pcm, b.data(), 1), 53) << k;
    }
    EXPECT_EQ(std::make_tuple(h.cfg.frame_lost, h.out.frame_count, *h.cfg.frame_counter), std::make_tuple(1u, 77u, 0u));
    h.cfg.sbr = rec.link(h);  // complete: the call decodes (the frame lost)
    EXPECT_EQ(std::make_tuple(aacd_decode_frame(&h.cfg, &h.out, pcm, b.data(), 1), h.cfg.frame_lost, h.out.bits_consumed),
              std::make_tuple(0, 0u, 0u));
}

// The rate and aux_b are those of the frame delivered, one call late; a lost
// frame takes nothing over, a bad one takes aux_b over before failing.
TEST(Api, OutputFieldsFollowTheStreamParameters) {
    const uint32_t rates[12] = {96000, 88200, 64000, 48000, 44100, 32000, 24000, 22050, 16000, 12000, 11025, 8000};
    Host h;
    for (uint32_t i = 0; i < 12; ++i) {
        std::tie(h.params.sampling_index, h.params.aux_b) = std::make_tuple(11 - i, int32_t(i) - 3);
        ASSERT_EQ(decode(h, endOnly()), AACD_OK);
        EXPECT_EQ(std::make_tuple(h.out.sampling_rate, h.out.aux_b, h.out.bits_consumed, h.out.num_channels, h.out.frame_samples, h.out.frame_count),
                  std::make_tuple(rates[12 - std::max(i, 1u)], i - 3, 8u, 0u, 1024u, i + 1)) << i;
    }
    std::tie(h.params.sampling_index, h.params.aux_b) = std::make_tuple(3u, 42);
    ASSERT_EQ(decode(h, endOnly(), true), AACD_OK);
    EXPECT_EQ(std::make_tuple(h.cfg.frame_lost, h.out.bits_consumed, h.out.sampling_rate, h.out.aux_b), std::make_tuple(0u, 0u, 96000u, 8u));
    ASSERT_EQ(decode(h, Block{0x40}), AACD_ERR_COUPLING);
    EXPECT_EQ(std::make_tuple(h.out.sampling_rate, h.out.aux_b), std::make_tuple(96000u, 42u));
}

namespace {

// Four good blocks, then the first `size` bytes of `bad` (all for a
// negative size) with `setup` applied to the instance for its call only,
// then three good blocks.  A concealed block (full output under the last
// good layout, `bits` consumed) leaves the instance exactly as a twin that
// was told the block is lost; an abandoned call (44 to 46) writes no output
// field, no sample and no count, and leaves it as a twin that never saw it.
void expectBadBlock(const Block &bad, int32_t status, uint32_t bits, const std::function<void(Host &)> &setup = {}, int32_t size = -1) {
    const bool abandoned = status >= 44 && status <= 46;
    Host h, twin;
    h.params.frame_bytes = twin.params.frame_bytes = 1 << 20;
    for (int i = 0; i < 4; ++i) decode(h, loudPair(i)), decode(twin, loudPair(i));
    if (setup) setup(h);
    std::fill(h.pcm.begin(), h.pcm.end(), kSentinel);
    ASSERT_EQ(aacd_decode_frame(&h.cfg, &h.out, h.pcm.data(), bad.data(), size < 0 ? int32_t(bad.size()) : size), status);
    h.params = twin.params;
    if (abandoned) {
        EXPECT_EQ(std::make_tuple(h.out.num_channels, h.out.frame_samples, h.out.bits_consumed, *h.cfg.frame_counter), std::make_tuple(0u, 0u, 0u, 4u));
        EXPECT_TRUE(allSentinel(h.pcm.data(), h.pcm.data() + h.pcm.size()));
    } else {
        decode(twin, bad, true);
        EXPECT_EQ(std::make_tuple(h.out.num_channels, h.out.sampling_rate, h.out.bits_consumed, h.out.frame_count),
                  std::make_tuple(2u, 44100u, bits, 5u));
        EXPECT_EQ(frameOf(h), frameOf(twin));
        EXPECT_TRUE(allSentinel(h.pcm.data() + 2048, h.pcm.data() + h.pcm.size()));
    }
    for (int i = 4; i < 7; ++i) {
        ASSERT_EQ(decode(h, loudPair(i)), AACD_OK);
        ASSERT_EQ(decode(twin, loudPair(i)), AACD_OK);
        EXPECT_EQ(std::make_tuple(frameOf(h), h.out.frame_count), std::make_tuple(frameOf(twin), twin.out.frame_count)) << i;
    }
}

// A program configuration element of tag 0: profile, sampling index and
// front pairs (tags 0, 1, ...), then the end element.
Block pceBlock(uint32_t profile, uint32_t pairs) {
    BitWriter w;
    put(w, {{5, 3}, {0, 4}, {profile, 2}, {4, 4}, {pairs, 4}, {0, 20}});
    for (uint32_t i = 0; i < pairs; ++i) w.bits(16 + i, 5);
    put(w, {{0, (8 - w.count() % 8) % 8}, {0, 8}});
    return finish(w);
}

}  // namespace

// Each status with the bits read up to the failure (after byte alignment;
// ~0u: the whole element).
TEST(Api, FailingBlocksAreConcealedOrAbandoned) {
    struct Case { const char *name; std::function<void(BitWriter &)> build; int32_t status; uint32_t bits; std::function<void(Host &)> setup; int32_t size; };
    AacdProgConfig threePairs{};
    std::tie(threePairs.profile, threePairs.samplingFrequencyIndex, threePairs.front.numElements) = std::make_tuple(1, 4, 3);
    std::fill_n(threePairs.front.isCpe, 3, 1);
    auto quantised = [](int amp) { Chan c(1); c.spectral(0, 100, 0, 11).pulseAmp = amp, c.q[0][0] = 8191; return c; };
    Chan zeroTail(40);  // its last 30 bands are all-zero codebook 1 quads: single 0 bits
    for (int b = 4; b < 40; ++b) zeroTail.spectral(b, b < 10 ? 168 : 150, b, b < 10 ? 5 : 1);
    const Case cases[] = {
        // max_sfb 52 (pair head) and 51 (44.1 kHz has 49 bands) refused right after the field
        {"pair max_sfb 52", [](BitWriter &w) { putPair(w, Chan(52), Chan(52), 0); }, -1, 24, {}, -1},
        {"single max_sfb 51", [](BitWriter &w) { putSce(w, Chan(51)); }, -1, 32, {}, -1},
        // an escape of 8191 takes a pulse of 0 but not of 1: inverse quantisation refuses 8192
        {"quantised 8192", [&](BitWriter &w) { putSce(w, quantised(1)); }, -1, ~0u, {}, -1},
        // an element running past input_size fails although the missing bits (zeros) would decode
        {"cut in a run of zeros", [&](BitWriter &w) { putSce(w, zeroTail); }, -1, 0, {}, -2},
        {"empty block", [](BitWriter &w) { putLoudPair(w, 9); }, -1, 0, {}, 0},
        {"coupling after a pair", [](BitWriter &w) { putPair(w, Chan(0), Chan(0), 0), w.bits(2, 3); }, 33, 48, {}, -1},
        {"sampling index 12", [](BitWriter &w) { putLoudPair(w, 9); }, 35, 0, [](Host &h) { h.params.sampling_index = 12; }, -1},
        {"records without records", [](BitWriter &w) { putLoudPair(w, 9); }, 36, 0, [](Host &h) { h.params.num_prog_configs = 1; }, -1},
        {"record of 7 channels", [](BitWriter &w) { putLoudPair(w, 9); }, 36, 0,
         [&](Host &h) { std::tie(h.params.num_prog_configs, h.params.prog_configs) = std::make_tuple(1, &threePairs); }, -1},
        // a TNS filter over 63 bands (44.1 kHz has 49) fails when the filters run: status 0
        {"TNS over 63 bands", [](BitWriter &w) { Chan l(0); l.tnsBands = 63; putPair(w, l, Chan(0), 0), putFill(w, 0); }, 0, 64, {}, -1},
        {"longer than frame_bytes", [](BitWriter &w) { putLoudPair(w, 9); }, 0, 8, [](Host &h) { h.cfg.check_frame_length = 1, h.params.frame_bytes = 1; }, -1},
        {"negative frame_bytes", [](BitWriter &w) { putLoudPair(w, 9); }, 0, 0, [](Host &h) { h.cfg.check_frame_length = 1, h.params.frame_bytes = -3; }, -1},
        {"reserved ms_mask_present", [](BitWriter &w) { putPair(w, Chan(0), Chan(0), 3); }, 44, 0, {}, -1},
        // the scratch buffer moved off its 8-byte boundary: deinterleaving refuses it
        {"short windows, scratch misaligned", [](BitWriter &w) { putSce(w, Chan(0, true)); }, 46, 0, [](Host &h) { h.cfg.state->scratch += 1; }, -1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        BitWriter w;
        c.build(w);
        const uint32_t element = (uint32_t(w.count()) + 7) & ~7u;
        const Block block = finish(w);
        int32_t size = c.size;
        if (size == -2) {  // three bytes into the run of zero bytes before the end element
            for (size = int32_t(block.size()) - 1; block[size - 1] == 0;) --size;
            ASSERT_GE(int32_t(block.size()) - size, 9);
            size += 3;
        }
        expectBadBlock(block, c.status, c.bits == ~0u ? element : size == -1 ? c.bits : 8 * uint32_t(size), c.setup, size);
    }
    expectBadBlock(pceBlock(0, 1), 35, 16);
    expectBadBlock(pceBlock(1, 3), 35, 8 * uint32_t(pceBlock(1, 3).size() - 1));  // entering fails after the comment
    // Controls: the same program element with one pair; masks 0 to 2; pulse
    // 0; a block of exactly frame_bytes.
    Host h;
    EXPECT_EQ(std::make_tuple(decode(h, pceBlock(1, 1)), h.out.bits_consumed), std::make_tuple(0, 8 * uint32_t(pceBlock(1, 1).size())));
    for (int mask : {0, 1, 2}) {
        BitWriter w;
        putPair(w, Chan(0), Chan(0), mask);
        EXPECT_EQ(std::make_tuple(decode(h, finish(w)), h.out.bits_consumed), std::make_tuple(0, 48u));
    }
    BitWriter w;
    putSce(w, quantised(0));
    const Block block = finish(w);
    Host q;
    std::tie(q.cfg.check_frame_length, q.params.frame_bytes) = std::make_tuple(1u, int32_t(block.size()));
    EXPECT_EQ(std::make_tuple(decode(q, block), q.out.bits_consumed), std::make_tuple(0, 8 * uint32_t(block.size())));
}

// SBR hand-off mode against normal mode on the same blocks.  Each frame's
// SBR payloads (types 13 and 14, 1 to 268 bytes) reach the host one call
// later, only after a single channel or channel pair element, at most two
// per frame and none for a bad or lost frame; the core audio of slot c lands
// at core_output + 2048 * c and equals the normal PCM of that channel, the
// PCM buffer stays untouched.  Both modes read data stream elements (count
// escaped by 255, optional byte alignment) and fill elements (count escaped
// by 15 to 8 more bits plus 14) to their end exactly.
TEST(Api, SbrHandOffAndAuxiliaryElements) {
    struct Sbr { uint32_t id, type; int count; };
    auto fill = [](BitWriter &w, const Sbr &e) { putFill(w, e.count, e.type, e.count & 15, {uint8_t(e.count), uint8_t(e.type)}); };
    auto data = [](BitWriter &w, int count, bool align) {
        put(w, {{4, 3}, {5, 4}, {align, 1}, {std::min(count, 255), 8}, {count - 255, count >= 255 ? 8 : 0}});
        put(w, {{0, align ? (8 - w.count() % 8) % 8 : 0}});
        for (int i = 0; i < count; ++i) w.bits(uint32_t(i), 8);
    };
    const Sbr a{0, 13, 5}, a2{1, 14, 1}, b{0, 13, 268}, c{1, 14, 15}, skip{0, 13, 4};
    struct Call { std::function<void(BitWriter &)> build; bool lost; int32_t status; std::vector<Sbr> handedOver; };
    const Call calls[] = {
        {[&](BitWriter &w) { putLoudSce(w, 1), fill(w, a), putLoudPair(w, 2), fill(w, a2), putLoudSce(w, 3), fill(w, skip), data(w, 300, true), fill(w, skip); },
         false, 0, {}},
        {[&](BitWriter &w) { putLoudSce(w, 4), fill(w, b), fill(w, skip), putLoudSce(w, 5, 3), fill(w, skip), data(w, 255, false), putFill(w, 0); },
         false, 0, {a, a2}},
        {[&](BitWriter &w) { fill(w, skip), putLoudPair(w, 4), fill(w, {1, 13, 269}), putLoudSce(w, 9), fill(w, {0, 11, 3}), data(w, 0, true); },
         false, 0, {b}},
        {[&](BitWriter &w) { putLoudPair(w, 5), fill(w, a), data(w, 510, false), w.bits(2, 3); }, false, 33, {}},
        {[&](BitWriter &w) { putLoudPair(w, 6), fill(w, a); }, true, 0, {}},
        {[&](BitWriter &w) { putLoudPair(w, 8), fill(w, c), data(w, 3, true); }, false, 0, {}},
        {[&](BitWriter &w) { putLoudPair(w, 8); }, true, 0, {c}},
    };
    Host normal, sbr;
    SbrRecords rec;
    rec.attach(sbr);
    int32_t loudest = 0;
    for (const Call &k : calls) {
        BitWriter w;
        k.build(w);
        const int bits = (w.count() + 3 + 7) & ~7;
        Block block = finish(w);
        block.resize(block.size() + 8, 0xFF);  // a longer count would run into these
        SCOPED_TRACE(bits);
        std::fill(rec.core.begin(), rec.core.end(), kSentinel);
        rec.payload.entry_count = 77;
        ASSERT_EQ(decode(normal, block, k.lost), k.status);
        ASSERT_EQ(decode(sbr, block, k.lost), k.status);
        EXPECT_EQ(std::make_tuple(sbr.out.bits_consumed, normal.out.bits_consumed), std::make_tuple(k.status || k.lost ? sbr.out.bits_consumed : bits, sbr.out.bits_consumed));
        ASSERT_EQ(rec.payload.entry_count, int32_t(k.handedOver.size()));
        for (size_t i = 0; i < k.handedOver.size(); ++i) {
            const Sbr &e = k.handedOver[i];
            const AacdSbrPayloadEntry &got = rec.payload.entries[i];
            EXPECT_EQ(std::make_tuple(got.element_id, got.extension_type, int(got.byte_count), got.payload[0], got.payload[1], got.payload[e.count - 1]),
                      std::make_tuple(e.id, e.type, e.count, uint8_t(e.count & 15), e.count > 1 ? uint8_t(e.count) : got.payload[1],
                                      e.count > 2 ? uint8_t(e.count % 2 ? e.type : e.count) : got.payload[e.count - 1]));
        }
        EXPECT_TRUE(allSentinel(sbr.pcm.data(), sbr.pcm.data() + sbr.pcm.size()));
        uint32_t present = 0;
        for (int s = 0; s < 6; ++s) {
            const int32_t *slot = rec.core.data() + 2048 * s;
            const bool used = *sbr.cfg.channel_refs[s][0] != 0;
            EXPECT_TRUE(allSentinel(slot + (used ? 1024 : 0), slot + 2048)) << s;
            if (!used) continue;
            EXPECT_EQ(std::vector<int32_t>(slot, slot + 1024), channelOf(normal, present)) << s;
            loudest = std::max(loudest, peak(channelOf(normal, present++)));
        }
        EXPECT_EQ(present, normal.out.num_channels);
    }
    EXPECT_GT(loudest, 1000);
}

// Per-channel state of a channel pair.  Noise in one band of both channels
// is the same noise exactly when ms_used is set, and the flags of an earlier
// pair reach no later pair that does not read its own (common window with
// mask 0, or no common window).  The previous window shape belongs to the
// channel, not to the window index a common-window pair shares: after a pair
// without common window (left Kaiser-Bessel-derived, right sine) and two
// common-window pairs (sine) each channel decodes as a single channel with
// the same history.  Intensity stereo belongs to the second channel of a
// pair: a single channel's intensity band stays silent.
TEST(Api, ChannelPairStateIsKeptPerChannel) {
    constexpr int kBand = 20;
    Chan noisy(kBand + 1);
    noisy.band(kBand, 13, 80);
    std::vector<int> used(kBand + 1, 0);
    used[kBand] = 1;
    for (int later : {0, -1}) {
        BitWriter first, second;
        putPair(first, noisy, noisy, 1, used);
        putPair(second, noisy, noisy, later);
        Host h;
        decode(h, finish(first));
        decode(h, finish(second));
        EXPECT_EQ(channelOf(h, 0), channelOf(h, 1));
        decode(h, endOnly());
        EXPECT_GT(peak(channelOf(h, 0)), 500);
        EXPECT_NE(channelOf(h, 0), channelOf(h, 1)) << later;
    }
    Chan l1(12), r1(12), l2(12), r2(12);
    for (int b = 4; b < 12; ++b) l1.spectral(b, 168, b), r1.spectral(b, 168, 2 * b), l2.spectral(b, 170, 3 * b), r2.spectral(b, 165, b);
    l1.shape = 1;
    BitWriter p1, p2;
    putPair(p1, l1, r1, -1);
    putPair(p2, l2, r2, 0);
    Host h;
    for (const Block &blk : {finish(p1), finish(p2), finish(p2)}) ASSERT_EQ(decode(h, blk), AACD_OK);
    for (uint32_t ch = 0; ch < 2; ++ch) {
        BitWriter w1, w2;
        putSce(w1, ch ? r1 : l1);
        putSce(w2, ch ? r2 : l2);
        Host m;
        for (const Block &blk : {finish(w1), finish(w2), finish(w2)}) ASSERT_EQ(decode(m, blk), AACD_OK);
        EXPECT_GT(peak(channelOf(m, 0)), 1000);
        EXPECT_EQ(channelOf(h, ch), channelOf(m, 0)) << ch;
    }
    std::vector<int32_t> outputs[2];
    for (int withIs : {0, 1}) {
        Chan single(12);
        if (withIs) single.band(8, 15, 0);
        BitWriter w;
        putLoudSce(w, 1);
        putSce(w, single);
        const Block blk = finish(w);
        Host s;
        for (int i = 0; i < 2; ++i) ASSERT_EQ(decode(s, blk), AACD_OK);
        EXPECT_GT(peak(channelOf(s, 0)), 1000);
        outputs[withIs] = frameOf(s);
    }
    EXPECT_EQ(outputs[0], outputs[1]);
}
