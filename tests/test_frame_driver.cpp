// The frame driver end to end on raw data blocks built bit by bit: SBR
// hand-off mode (payload delay, core output per slot), data stream and fill
// element counts, noise substitution and intensity stereo across a channel
// pair with and without mid/side flags, flags left over from an earlier
// pair, blocks cut by input_size and the frame-length check.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <tuple>
#include <vector>

#include "aacd.h"
#include "decoder/decoder.h"
#include "frame_blocks.h"

using aacdtest::Host;

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
