// The frame driver end to end on raw data blocks built bit by bit: SBR
// hand-off mode (payload delay, core output per slot), noise substitution
// and intensity stereo across a channel pair with and without mid/side
// flags, flags left over from an earlier pair, blocks cut by input_size and
// the frame-length check.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "aacd.h"
#include "channel_encoder.h"
#include "decoder/decoder.h"
#include "host.h"

using aacdtest::Host;

namespace {

constexpr int kSri = 4;  // 44.1 kHz, the test host's sampling index
constexpr int32_t kSentinel = 0x7EADBEEF;

int bandStart(int b) { return armACAAC_swbOffsetLongWindow[kSri][b]; }
int bandWidth(int b) { return bandStart(b + 1) - bandStart(b); }

// One long-window channel, band by band: codebook, the band's scale factor
// (noise energy for codebook 13, intensity position for 14 and 15) and the
// quantised values of spectral bands.
struct Chan {
    int gain = 150;
    std::vector<int> cb, sf;
    std::vector<std::vector<int32_t>> q;
    explicit Chan(int maxSfb) : cb(maxSfb, 0), sf(maxSfb, 0), q(maxSfb) {}
    int maxSfb() const { return static_cast<int>(cb.size()); }
    // A spectral band of codebook 5 with a fixed pattern of values.
    Chan &spectral(int b, int scale, int seed) {
        cb[b] = 5;
        sf[b] = scale;
        q[b].clear();
        for (int k = 0; k < bandWidth(b); ++k) q[b].push_back((k * 5 + seed) % 9 - 4);
        return *this;
    }
    Chan &zeros(int b, int codebook) {  // a spectral band of zero values
        cb[b] = codebook;
        sf[b] = gain;
        q[b].assign(bandWidth(b), 0);
        return *this;
    }
    Chan &noise(int b, int energy) { cb[b] = 13; sf[b] = energy; return *this; }
    Chan &intensity(int b, int codebook, int position) { cb[b] = codebook; sf[b] = position; return *this; }
};

Channel layoutOf(const Chan &c) {
    Channel ch;
    ch.sri = kSri;
    ch.maxSfb = c.maxSfb();
    ch.numSect[0] = c.maxSfb();
    for (int b = 0; b < c.maxSfb(); ++b) {  // one section per band
        ch.sectCb.push_back(static_cast<uint8_t>(c.cb[b]));
        ch.sectEnd.push_back(static_cast<uint8_t>(b + 1));
    }
    return ch;
}

// individual_channel_stream(): gain, stream info unless the pair shares it,
// sections, scale factors, no pulse/TNS/gain control, spectral data.
void putIcs(BitWriter &w, const Chan &c, bool common) {
    const Channel ch = layoutOf(c);
    w.bits(static_cast<uint32_t>(c.gain), 8);
    if (!common) writeIcsInfo(w, ch, 0);
    writeSections(w, ch);
    int sf = c.gain, is = 0, noise = c.gain - 90;
    bool firstNoise = true;
    for (int b = 0; b < c.maxSfb(); ++b) {
        const int cb = c.cb[b];
        if (cb == 0) continue;
        if (cb == 13 && firstNoise) {
            firstNoise = false;
            w.bits(static_cast<uint32_t>(c.sf[b] - noise + 256), 9);
            noise = c.sf[b];
        } else {
            int &last = cb == 13 ? noise : (cb == 14 || cb == 15) ? is : sf;
            w.code(0, c.sf[b] - last + 60);
            last = c.sf[b];
        }
    }
    w.bits(0, 3);
    for (int b = 0; b < c.maxSfb(); ++b) {
        const int cb = c.cb[b];
        if (cb == 0 || cb >= 12) continue;
        const int dim = cb <= 4 ? 4 : 2;
        for (int k = 0; k < bandWidth(b); k += dim) writeTuple(w, cb, &c.q[b][k]);
    }
}

void putSce(BitWriter &w, const Chan &c, uint32_t id = 0) {
    w.bits(id, 3);
    w.bits(0, 4);  // tag
    putIcs(w, c, false);
}

// Common-window channel pair; msUsed holds one flag per band (mask 1).
void putPair(BitWriter &w, const Chan &l, const Chan &r, uint32_t msMask,
             const std::vector<int> &msUsed = {}) {
    w.bits(1, 3);
    w.bits(0, 4);
    w.bits(1, 1);  // common_window
    writeIcsInfo(w, layoutOf(l), 0);
    w.bits(msMask, 2);
    for (int b = 0; msMask == 1 && b < l.maxSfb(); ++b)
        w.bits(b < static_cast<int>(msUsed.size()) ? static_cast<uint32_t>(msUsed[b]) : 0u, 1);
    putIcs(w, l, true);
    putIcs(w, r, true);
}

// Fill element with one extension payload: type, nibble, then count-1 bytes.
void putFill(BitWriter &w, int count, uint32_t type, uint32_t nibble,
             const std::vector<uint8_t> &bytes) {
    w.bits(6, 3);
    if (count >= 15) {
        w.bits(15, 4);
        w.bits(static_cast<uint32_t>(count - 14), 8);
    } else {
        w.bits(static_cast<uint32_t>(count), 4);
    }
    if (count == 0) return;
    w.bits(type, 4);
    w.bits(nibble, 4);
    for (int i = 1; i < count; ++i) w.bits(bytes[static_cast<size_t>(i - 1) % bytes.size()], 8);
}

std::vector<uint8_t> finish(BitWriter &w) {
    w.bits(7, 3);  // end element
    return std::vector<uint8_t>(w.base(), w.base() + (w.count() + 7) / 8);
}

int32_t decode(Host &h, const std::vector<uint8_t> &block, bool lost = false) {
    h.cfg.frame_lost = lost ? 1 : 0;
    std::fill(h.pcm.begin(), h.pcm.end(), kSentinel);
    return h.decode(block);
}

// Channel k of the interleaved output of the last call.
std::vector<int32_t> channelOf(const Host &h, uint32_t k) {
    std::vector<int32_t> v;
    for (uint32_t n = 0; n < 1024; ++n) v.push_back(h.pcm[n * h.out.num_channels + k]);
    return v;
}

std::vector<int32_t> frameOf(const Host &h) {
    return std::vector<int32_t>(h.pcm.begin(), h.pcm.begin() + 1024 * h.out.num_channels);
}

int32_t peak(const std::vector<int32_t> &v) {
    int32_t m = 0;
    for (int32_t x : v) m = std::max(m, x < 0 ? -x : x);
    return m;
}

// Two channels of a pair, each with content of its own in bands 8 to 11.
void putLoudPair(BitWriter &w, int seed) {
    Chan l(12), r(12);
    for (int b = 8; b < 12; ++b) {
        l.spectral(b, 170, seed + b);
        r.spectral(b, 165, seed + 2 * b);
    }
    putPair(w, l, r, 0);
}

void putLoudSce(BitWriter &w, int seed, uint32_t id = 0) {
    Chan c(12);
    for (int b = 4; b < 12; ++b) c.spectral(b, 168, seed + b);
    putSce(w, c, id);
}

struct SbrEntry {
    uint32_t elementId, type;
    int count;
    uint32_t nibble;
    std::vector<uint8_t> bytes;
};

void putSbrFill(BitWriter &w, const SbrEntry &e) { putFill(w, e.count, e.type, e.nibble, e.bytes); }

}  // namespace

// SBR hand-off mode against normal mode on the same blocks: each frame's SBR
// payloads reach the host one call later, only after a single channel or
// channel pair element, at most two per frame and none for a bad frame; the
// core audio of slot c lands at core_output + 2048 * c and equals the
// normal-mode PCM of that channel, while the PCM buffer stays untouched.
TEST(SbrHandOff, PayloadsFollowTheirAudioAndCoreOutputMatchesNormalMode) {
    const SbrEntry a{0, 13, 5, 0xA, {0x11, 0x22, 0x33, 0x44}};
    const SbrEntry a2{1, 14, 3, 0x5, {0x66, 0x77}};
    const SbrEntry skipped{0, 13, 4, 0x1, {0xE1, 0xE2, 0xE3}};
    const SbrEntry b{0, 13, 6, 0xC, {0x01, 0x02, 0x03, 0x04, 0x05}};
    const SbrEntry c{1, 14, 7, 0x3, {0xF0, 0x0F, 0xA5, 0x5A, 0xC3, 0x3C}};

    struct Call {
        std::vector<uint8_t> block;
        bool lost;
        int32_t status;
    };
    std::vector<Call> calls;
    {   // a payload after a single channel and one after a pair; a third
        // one in the same frame is dropped
        BitWriter w;
        putLoudSce(w, 1);
        putSbrFill(w, a);
        putLoudPair(w, 2);
        putSbrFill(w, a2);
        putLoudSce(w, 3);
        putSbrFill(w, skipped);
        calls.push_back({finish(w), false, AACD_OK});
    }
    {   // fills after a fill (id 6), an LFE (id 3) and a data stream element
        // (id 4) are not kept
        BitWriter w;
        putLoudSce(w, 4);
        putSbrFill(w, b);
        putSbrFill(w, skipped);
        putLoudSce(w, 5, 3);
        putSbrFill(w, skipped);
        w.bits(4, 3);  // data stream element: tag, no align, 2 bytes
        w.bits(0, 4);
        w.bits(0, 1);
        w.bits(2, 8);
        w.bits(0xBEEF, 16);
        putSbrFill(w, skipped);
        calls.push_back({finish(w), false, AACD_OK});
    }
    {   // a fill as the first element of the block (previous id 7)
        BitWriter w;
        putSbrFill(w, skipped);
        putLoudPair(w, 4);
        calls.push_back({finish(w), false, AACD_OK});
    }
    {   // a payload in a frame that a coupling element makes bad
        BitWriter w;
        putLoudPair(w, 5);
        putSbrFill(w, a);
        w.bits(2, 3);
        calls.push_back({finish(w), false, AACD_ERR_COUPLING});
    }
    {   // a payload in a frame the host declares lost
        BitWriter w;
        putLoudPair(w, 6);
        putSbrFill(w, a);
        calls.push_back({finish(w), true, AACD_OK});
    }
    {   // an escaped count of 269 is too long to keep
        BitWriter w;
        putLoudPair(w, 7);
        putFill(w, 269, 13, 0x2, {0x99});
        calls.push_back({finish(w), false, AACD_OK});
    }
    {
        BitWriter w;
        putLoudPair(w, 8);
        putSbrFill(w, c);
        calls.push_back({finish(w), false, AACD_OK});
    }
    calls.push_back({calls.back().block, true, AACD_OK});
    // What the host finds in sbr.payload after each call: the previous
    // call's payloads.
    const std::vector<std::vector<SbrEntry>> expected = {{}, {a, a2}, {b}, {}, {}, {}, {}, {c}};
    ASSERT_EQ(expected.size(), calls.size());

    Host normal, sbr;
    AacdSbrPayload payload, swap, previous;
    std::memset(&payload, 0, sizeof payload);
    std::memset(&previous, 0, sizeof previous);
    std::vector<int32_t> core(6 * 2048);
    sbr.cfg.sbr = AacdSbrLink{sbr.cfg.state, &payload, core.data(), &swap, &previous};
    sbr.cfg.sbr_mode = 1;

    int32_t loudest = 0;
    for (size_t k = 0; k < calls.size(); ++k) {
        SCOPED_TRACE(k);
        std::fill(core.begin(), core.end(), kSentinel);
        payload.entry_count = 77;
        ASSERT_EQ(decode(normal, calls[k].block, calls[k].lost), calls[k].status);
        ASSERT_EQ(decode(sbr, calls[k].block, calls[k].lost), calls[k].status);
        EXPECT_EQ(sbr.out.bits_consumed, normal.out.bits_consumed);
        ASSERT_EQ(sbr.out.num_channels, normal.out.num_channels);

        ASSERT_EQ(payload.entry_count, static_cast<int32_t>(expected[k].size()));
        for (size_t i = 0; i < expected[k].size(); ++i) {
            const SbrEntry &e = expected[k][i];
            const AacdSbrPayloadEntry &got = payload.entries[i];
            EXPECT_EQ(got.element_id, e.elementId);
            EXPECT_EQ(got.extension_type, e.type);
            ASSERT_EQ(got.byte_count, static_cast<uint32_t>(e.count));
            EXPECT_EQ(got.payload[0], e.nibble);
            EXPECT_EQ(std::vector<uint8_t>(got.payload + 1, got.payload + e.count), e.bytes);
        }

        EXPECT_TRUE(std::all_of(sbr.pcm.begin(), sbr.pcm.end(), [](int32_t v) { return v == kSentinel; }));
        uint32_t present = 0;
        for (int s = 0; s < 6; ++s) {
            const int32_t *slot = core.data() + 2048 * s;
            if (*sbr.cfg.channel_refs[s][0] == 0) {
                EXPECT_TRUE(std::all_of(slot, slot + 2048, [](int32_t v) { return v == kSentinel; })) << s;
                continue;
            }
            const std::vector<int32_t> got(slot, slot + 1024);
            EXPECT_EQ(got, channelOf(normal, present)) << "slot " << s;
            EXPECT_TRUE(std::all_of(slot + 1024, slot + 2048, [](int32_t v) { return v == kSentinel; }));
            loudest = std::max(loudest, peak(got));
            ++present;
        }
        EXPECT_EQ(present, normal.out.num_channels);
    }
    EXPECT_GT(loudest, 1000);
}

namespace {

// Decodes block twice on a fresh instance and returns the output of the
// second call, which synthesises the first one (on silent overlap).
Host &decodeTwice(Host &h, const std::vector<uint8_t> &block) {
    EXPECT_EQ(decode(h, block), AACD_OK);
    EXPECT_EQ(decode(h, block), AACD_OK);
    EXPECT_EQ(h.out.num_channels, 2u);
    return h;
}

constexpr int kBand = 20;       // the band under test
constexpr int kOtherBand = 24;  // a later band

}  // namespace

// Noise substitution in a common-window pair whose channels both carry
// noise of the same energy in one band: with ms_used 1 the two channels get
// the same noise (identical output), with ms_used 0 independent noise.  In
// the second pair of cases the left channel also draws independent noise
// in a later band, which advances the generator before the right channel is
// processed, and the right channel copies that band by intensity position
// 0: the right channel must take its correlated band from the seed the left
// one stored, not from the generator's current state.
TEST(PairNoise, MsUsedMakesTheNoiseOfBothChannelsTheSame) {
    struct Case { int msUsed; bool advance; bool same; };
    for (const Case c : {Case{1, false, true}, Case{0, false, false},
                         Case{1, true, true}, Case{0, true, false}}) {
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
        EXPECT_EQ(left == right, c.same);
    }
}

// The pair record's ms_used flags are read only by a pair with
// ms_mask_present 1; every other element must not see an earlier pair's
// flags.  Each case decodes a first pair that sets ms_used in the band under
// test and then a second pair that does not read the flags.
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
        ASSERT_EQ(decode(h, secondBlock), AACD_OK);
        ASSERT_EQ(decode(h, secondBlock), AACD_OK);
        ASSERT_EQ(h.out.num_channels, 2u);
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
    explicit Twins(const std::vector<uint8_t> &history, int calls) {
        for (int i = 0; i < calls; ++i) {
            EXPECT_EQ(decode(a, history), AACD_OK);
            EXPECT_EQ(decode(b, history), AACD_OK);
        }
    }
};

}  // namespace

// A block whose element runs past input_size is a failed element even when
// the bits it misses read as zero and would decode: here the cut falls in a
// run of zero bytes, so the bytes that the bound replaces by zeros are
// zeros anyway and only the end bound can make the frame bad.  The call
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
    ASSERT_EQ(aacd_decode_frame(&t.a.cfg, &t.a.out, t.a.pcm.data(), good.data(), cut),
              AACD_ERR_ELEMENT);
    EXPECT_EQ(t.a.out.bits_consumed, 8u * cut);
    // Reading stopped after the element that crossed the end: zeros read on
    // from there would parse as further single channel elements until the
    // channel map runs out of slots, another way to fail with -1.
    const uint8_t *stop = t.a.cfg.state->bitPos.pByte;
    EXPECT_GT(stop, good.data() + cut);
    EXPECT_LE(stop, good.data() + good.size());
    ASSERT_EQ(decode(t.b, good, true), AACD_OK);
    EXPECT_EQ(t.a.out.num_channels, 1u);
    EXPECT_EQ(frameOf(t.a), frameOf(t.b));
    EXPECT_EQ(t.a.pcm[1024], kSentinel);
    // Both carry on alike.
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(decode(t.a, next), AACD_OK);
        ASSERT_EQ(decode(t.b, next), AACD_OK);
        EXPECT_EQ(frameOf(t.a), frameOf(t.b));
    }
}

// With the frame-length check on, a block longer than frame_bytes is
// concealed like a lost frame and reports frame_bytes * 8 bits; a block of
// exactly frame_bytes decodes.  Clearing check_frame_length does not switch
// the check off; a new initialisation does.
TEST(FrameLength, LongerBlockIsConcealedAndTheCheckStaysOn) {
    const std::vector<uint8_t> good = sceWithZeroTail(1);
    const int32_t size = static_cast<int32_t>(good.size());
    Twins t(good, 2);
    EXPECT_GT(peak(frameOf(t.a)), 1000);
    t.a.cfg.check_frame_length = 1;
    for (int32_t bytes : {size - 1, size - 1, size, 1, size + 5}) {
        SCOPED_TRACE(bytes);
        const bool tooLong = bytes < size;
        t.a.params.frame_bytes = bytes;
        ASSERT_EQ(decode(t.a, good), AACD_OK);
        ASSERT_EQ(decode(t.b, good, tooLong), AACD_OK);
        EXPECT_EQ(t.a.out.bits_consumed, tooLong ? 8u * bytes : 8u * size);
        EXPECT_EQ(frameOf(t.a), frameOf(t.b));
        t.a.cfg.check_frame_length = 0;
    }
    // A new initialisation switches the check off.  (Initialisation keeps
    // the overlap buffers, so the first output after it still differs.)
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
