// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// The decoder instance: program configuration elements written bit by bit
// and parsed back, the channel map in both modes over several frames, the
// stream configuration input; and the public entry points as a host uses
// them: memory plan, initialisation, argument checks, per-frame flags and
// statuses, and the frame driver on raw data blocks built bit by bit: what a
// failing block leaves behind, SBR hand-off mode, data stream and fill
// elements, per-channel state of a channel pair, blocks cut by input_size
// and the frame-length check.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <tuple>
#include <vector>

#include "channel_encoder.h"
#include "config/huffdec1.h"
#include "decoder/decoder.h"
#include "host.h"

using aacdtest::Host;
using aacdtest::kSentinel;
using aacdtest::UntracedWordsOk;
using Block = std::vector<uint8_t>;
using Ints = std::vector<int32_t>;
using std::tuple;

namespace {

// A freshly initialised instance (without buffers).
struct State : AacdDecoderState {
    State() : AacdDecoderState() { AACD_decode_init(this); }
};

// The present slots of a map.
Ints presentSlots(const AacdMcInfo &m) {
    Ints v;
    for (int32_t s = 0; s < 6; ++s)
        if (m.slot[s].present) v.push_back(s);
    return v;
}

// The element parsed after `prefix` bits (an id): status, tag, bits read and
// the element's length.
struct Parsed { int32_t status, tag; int bits, end; };

Parsed parse(AacdDecoderState &st, const Pce &e, int prefix = 3) {
    BitWriter w;
    w.bits(0, prefix);
    putPce(w, e);
    st.bitPos = aacd::bitReaderAt(w.base(), 8192, static_cast<uint32_t>(prefix));
    Parsed r{-9, -9, 0, w.count() - prefix};
    r.status = AACD_get_prog_config(&st.progConfig, &r.tag, &st);
    r.bits = int(aacd::bitIndex(st.bitPos)) - prefix;
    return r;
}

struct Elt { int32_t id, tag, cw; };  // id 0 SCE, 1 CPE, 3 LFE; cw: common window

// One good or bad frame through the map: reset, elements, restore.
Ints runFrame(AacdDecoderState &st, const std::vector<Elt> &elts, bool ok = true) {
    AACD_reset_mc_info(&st.mcInfo, &st);
    Ints r;
    for (const Elt &e : elts) r.push_back(AACD_chn_config(e.id, e.tag, e.cw, &st.mcInfo, &st));
    st.frameOk = ok;
    AACD_restore_mc_info(&st.mcInfo, &st);
    st.frameOk = 1;
    return r;
}

// Every check refuses its first value outside the supported layout right
// after its field (the tag in force still unset), and accepts the last one
// inside (the upper bounds at once: three front, two back, one LFE, seven
// associated data elements, sampling index 11).  Comments of any length are
// read past; absent mixdowns keep their fields (77 here).  Three front pairs
// need seven slots: the element is read whole and its tag selected before
// the map refuses it.  An entered program makes the map explicit: elements
// are found by pair flag and tag, each once per frame, in any order (an LFE
// element like a single channel), frame after frame; a pair's second channel
// shares the window index of the first only with a common window; a bad
// frame restores only the marks of the elements found.  An element of
// another program is parsed and ignored.
TEST(ProgConfig, ChecksEntryAndLookups) {
    struct Case { Pce e; int32_t status; int bits; Ints slots; std::vector<Elt> elts = {}; Ints found = {}; };
    const Case cases[] = {  // bits < 0: the whole element
        // refused: profile 0 and 2, sampling index 12, 4 front, 1 side, 3 back, 2 LFE, 1 coupling
        {{0, 0}, -1, 6, {}}, {{0, 2}, -1, 6, {}}, {{0, 1, 12}, -1, 10, {}}, {{0, 1, 4, 4}, -1, 14, {}},
        {{0, 1, 4, 1, 1}, -1, 18, {}}, {{0, 1, 4, 1, 0, 3}, -1, 22, {}}, {{0, 1, 4, 1, 0, 0, 2}, -1, 24, {}},
        {{0, 1, 4, 1, 0, 0, 0, 0, 1}, -1, 31, {}}, {{4, 1, 4, 3, 0, 0, 0, 0, 0, 7}, -1, -1, {1, 2, 3, 4}},
        {{3, 1, 11, 3, 0, 2, 1, 7, 0, 0, 5, 255}, 0, -1, {0, 1, 2, 3, 4, 5},
         {{0, 2, 0}, {0, 0, 0}, {0, 9, 0}, {3, 0, 0}, {0, 8, 0}, {0, 1, 0}, {0, 0, 0}}, {2, 0, 4, 5, 3, 1, -1}},
        {{0, 1, 0, 1, 0, 0, 0, 0, 0, 1, 2, 1}, 0, -1, {1, 2}, {{1, 0, 1}, {0, 0, 0}}, {1, -1}},
        {{0, 1, 4, 2, 0, 0, 0, 0, 0, 2}, 0, -1, {0, 1, 2}, {{1, 1, 0}, {0, 1, 0}, {0, 0, 0}}, {1, -1, 0}},
        {{0, 1, 4, 0, 0, 0, 1}, 0, -1, {5}, {{3, 0, 0}}, {5}},
        {{0, 1, 4, 2}, 0, -1, {1, 2}, {{0, 1, 0}, {0, 0, 0}}, {2, 1}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(&c - cases);
        auto st = std::make_unique<State>();
        AacdProgConfig &p = st->progConfig;
        AacdMcInfo &m = st->mcInfo;
        p.monoMixdown.elementNumber = p.stereoMixdown.elementNumber = p.matrixMixdown.index = 77;
        const Parsed r = parse(*st, c.e);
        const int32_t x = int32_t(c.e.mix), tag = c.status && c.bits > 0 ? -1 : int32_t(c.e.tag);
        EXPECT_EQ(tuple(r.status, r.bits, st->configTag, st->implicitConfig, presentSlots(m)),
                  tuple(c.status, c.bits < 0 ? r.end : c.bits, tag, c.status ? 1 : 0, c.slots));
        if (c.status) continue;
        EXPECT_EQ(tuple(r.tag, m.samplingRateIndex, p.front.numElements, p.back.numElements),
                  tuple(tag, int32_t(c.e.sf), int32_t(c.e.front), int32_t(c.e.back)));
        EXPECT_EQ(tuple(p.assocData.tag[6], p.comment[0]), tuple(c.e.assoc ? 7 : 0, 0));
        EXPECT_EQ(tuple(p.monoMixdown.present, p.monoMixdown.elementNumber), tuple(x & 1, x & 1 ? 5 : 77));
        EXPECT_EQ(tuple(p.stereoMixdown.present, p.stereoMixdown.elementNumber), tuple(x >> 1 & 1, x & 2 ? 12 : 77));
        EXPECT_EQ(tuple(p.matrixMixdown.present, p.matrixMixdown.index, p.matrixMixdown.pseudoSurround),
                  tuple(x >> 2 & 1, x & 4 ? 3 : 77, x >> 2 & 1));
        for (int f = 0; f < 3; ++f) EXPECT_EQ(runFrame(*st, c.elts), c.found);
        for (size_t i = 0; i < c.elts.size(); ++i) {
            const int32_t s = c.found[i];
            EXPECT_TRUE(c.elts[i].id != 1 || s < 0 || m.slot[s + 1].windowIndex == s + 1 - c.elts[i].cw) << i;
        }
        m.numChannels = 9;
        runFrame(*st, {c.elts.back()}, false);
        EXPECT_EQ(tuple(m.slot[c.found[0]].decoded, m.numChannels), tuple(1, 9));
    }
    auto st = std::make_unique<State>();
    ASSERT_EQ(parse(*st, {0, 1, 4, 1, 0, 0, 0, 0, 0, 1}, 0).status, 0);  // tag 0 is a tag like any other
    const AacdMcInfo before = st->mcInfo;
    const Parsed r = parse(*st, {7, 1, 8, 2}, 1);
    EXPECT_EQ(tuple(r.status, r.tag, r.bits, st->configTag, st->progConfig.samplingFrequencyIndex),
              tuple(0, 7, r.end, 0, 8));
    EXPECT_EQ(std::memcmp(&before, &st->mcInfo, sizeof before), 0);
    st->implicitConfig = 1;  // the program in force met again is entered again
    EXPECT_EQ(parse(*st, {0, 1, 4, 1, 0, 0, 0, 0, 0, 1}, 0).status, 0);
    EXPECT_EQ(st->implicitConfig, 0);
    AacdMcInfo m{};  // a pair found in slot 5 has no room; side channels and unknown positions have none
    std::tie(m.slot[5].present, m.slot[5].isCpe, m.slot[5].tag) = tuple(1, 1, 2);
    for (auto [pair, tag, position] : {std::tuple{1, 2, kPosLookup}, {0, 0, kPosSide}, {0, 0, 0x7A}})
        EXPECT_EQ(AACD_enter_chn(pair, tag, position, 0, &m), -1) << position;
    // The channel element refuses an element id other than 0, 1 and 3 right
    // after its tag, before it touches anything.
    const uint8_t zeros[8] = {};
    st->bitPos = aacd::bitReaderAt(zeros, 8);
    EXPECT_EQ(AACD_huffdecode(2, &st->mcInfo, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, st.get()), -1);
    EXPECT_EQ(aacd::bitIndex(st->bitPos), 4u);
}

// Implicit mode: the slot of each element in the first and in later frames
// (a frame starts from the count of leading front single channels of the
// frame before: odd or 0 puts the first single channel in slot 0, even in
// slot 1; the count stops at the frame's first pair), -1 for an element that
// finds no room, and the channels counted and present (the usual layouts
// are those of the stream suites).  A bad frame brings back the layout and
// counters of the last good one: the next frame is laid out as before it.
TEST(ChannelMap, ImplicitLayoutsOverFrames) {
    struct Case { std::vector<Elt> elts; Ints first, later; int32_t channels; size_t present; };
    const Elt S{0, 0, 0}, C{1, 0, 1}, L{3, 0, 0};
    const Case cases[] = {
        {{S, S}, {0, 1}, {1, 2}, 2, 2}, {{L, L}, {5, -1}, {5, -1}, 1, 1}, {{C, S, C}, {1, 3, 3}, {1, 3, 3}, 5, 4},
        {{S, C, C, S}, {0, 1, 3, 5}, {0, 1, 3, 5}, 6, 6}, {{S, S, C}, {0, 1, 2}, {1, 2, 3}, 4, 4},
        {{S, C, S, S, S}, {0, 1, 3, 4, 5}, {0, 1, 3, 4, 5}, 6, 6}, {{S, C, S, C}, {0, 1, 3, -1}, {0, 1, 3, -1}, 4, 4},
        {{S, S, S, S, S, S}, {0, 1, 2, 3, 4, 5}, {0, 1, 2, 3, 4, 5}, 6, 6},
        {{S, C, C, L, S}, {0, 1, 3, 5, -1}, {0, 1, 3, 5, -1}, 6, 6}, {{S, C, C, C}, {0, 1, 3, -1}, {0, 1, 3, -1}, 5, 5},
        {{{2, 0, 0}, {4, 0, 0}, {-1, 0, 0}}, {0, 0, 0}, {0, 0, 0}, 0, 0},  // not channel elements
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(&c - cases);
        auto st = std::make_unique<State>();
        const Ints first = runFrame(*st, c.elts), second = runFrame(*st, c.elts), third = runFrame(*st, c.elts);
        EXPECT_EQ(tuple(first, second, third), tuple(c.first, c.later, c.later));
        const auto layout = [&] { return tuple(st->mcInfo.numChannels, presentSlots(st->mcInfo).size()); };
        EXPECT_EQ(layout(), tuple(c.channels, c.present));
        runFrame(*st, {{1, 4, 1}, {1, 3, 0}, L, S}, false);
        EXPECT_EQ(layout(), tuple(c.channels, c.present));
        EXPECT_EQ(runFrame(*st, c.elts), c.later);
    }
    // The role of a slot: present, pair, first of the pair, tag.
    const AacdChannelSlot single{0, 1, 5, 0, 0, 1, 0, 0, {}, {}}, first{0, 1, 5, 1, 0, 1, 0, 0, {}, {}};
    AacdChannelSlot second = first;
    second.isLeft = 0;
    EXPECT_EQ(tuple(aacd::slotRole(single), aacd::slotRole(first), aacd::slotRole(second), aacd::slotRole({})),
              tuple(41, 47, 43, 0));
}

// Front pairs, then single channels, all of tag 0, as a host record.
AacdProgConfig hostRecord(int32_t tag, int32_t pairs, int32_t sf = 4, int32_t singles = 0) {
    AacdProgConfig p{};
    std::tie(p.profile, p.samplingFrequencyIndex, p.elementInstanceTag) = tuple(1, sf, tag);
    p.front.numElements = pairs + singles;
    std::fill_n(p.front.isCpe, pairs, 1);
    return p;
}

// Fixed parameters: indices up to 15 are taken over, 12 to 15 with status
// 35, 16 and more not at all; a new config_id makes the map implicit again.
// Host records: the first record's tag (0) is the tag in force, records of
// other tags are skipped, the last matching one is kept; config_id,
// sampling_index and aux_c are not taken over.  A record of sampling index
// 12 is refused before the map is touched, one that does not fit after
// (seventeen front singles: the leading count stops at the 16 entries).
TEST(DecodeInfo, FixedParametersAndHostRecords) {
    struct Step { int32_t configId; uint32_t sf; bool clearBefore; int32_t status, implicitAfter, index; };
    const Step steps[] = {{0, 4, true, 0, 1, 4},     {0, 11, true, 0, 0, 11},   {1, 12, true, 35, 1, 12},
                          {1, 15, false, 35, 1, 15}, {2, 16, false, 35, 1, 15}, {2, 0xFFFFFFFF, false, 35, 1, 15}};
    auto st = std::make_unique<State>();
    AacdBlockParams bp{};
    std::tie(bp.aux_a, bp.aux_b, bp.aux_c, bp.aux_d, bp.aux_e) = tuple(1, 2, -100, 4, 5);
    for (const Step &s : steps) {
        st->implicitConfig = !s.clearBefore;
        std::tie(bp.config_id, bp.sampling_index) = tuple(s.configId, s.sf);
        const int32_t status = AACD_decode_info(st.get(), &bp);
        EXPECT_EQ(tuple(status, st->implicitConfig, st->mcInfo.samplingRateIndex, st->samplingIndex, st->configId,
                        st->auxA, st->auxB, st->auxC, st->auxD, st->auxE),
                  tuple(s.status, s.implicitAfter, s.index, uint32_t(s.index), s.configId, 1, 2, -4, 4, 5)) << s.sf;
    }
    std::vector<AacdProgConfig> list = {hostRecord(0, 2), hostRecord(0, 1, 7), hostRecord(1, 2)};
    std::tie(bp.num_prog_configs, bp.prog_configs, bp.config_id, bp.aux_b, bp.aux_c) = tuple(3, list.data(), 9, 6, 64);
    ASSERT_EQ(AACD_decode_info(st.get(), &bp), 0);
    EXPECT_EQ(tuple(st->configTag, st->implicitConfig, presentSlots(st->mcInfo), st->mcInfo.samplingRateIndex),
              tuple(0, 0, Ints{1, 2}, 7));
    EXPECT_EQ(tuple(st->numProgConfigs, st->auxB, st->configId, st->samplingIndex, st->auxC), tuple(3, 6, 2, 15u, -4));
    EXPECT_EQ(std::memcmp(&st->progConfig, &list[1], sizeof(AacdProgConfig)), 0);
    const std::tuple<AacdProgConfig, int32_t, int32_t, int32_t> records[] = {  // status, index, leading count
        {hostRecord(0, 1, 11), 0, 11, 0}, {hostRecord(0, 1, 12), 36, 11, 0},
        {hostRecord(0, 3), 36, 4, 0},     {hostRecord(0, 0, 7, 17), 36, 7, 16}};
    for (auto [rec, status, index, lead] : records) {
        std::tie(bp.prog_configs, bp.num_prog_configs) = tuple(&rec, 1);
        EXPECT_EQ(AACD_decode_info(st.get(), &bp), status);
        EXPECT_EQ(tuple(st->mcInfo.samplingRateIndex, st->implicitConfig, st->mcInfo.frontSceCount),
                  tuple(index, status && index != 11, lead));
    }
    // Without records a positive count is refused, a negative one ignored.
    bp.prog_configs = nullptr;
    for (auto [n, status] : {std::pair{1, 36}, {-2, 0}}) {
        bp.num_prog_configs = n;
        EXPECT_EQ(AACD_decode_info(st.get(), &bp), status) << n;
    }
}

// Raw data blocks built element by element, and the host side of a decoding
// call.
constexpr int kHostSri = 4;                // 44.1 kHz, the test host's sampling index

const uint16_t *const kBand = armACAAC_swbOffsetLongWindow[kHostSri];  // band offsets at 44.1 kHz

// One channel at 44.1 kHz, one section per band: codebook, the band's scale
// factor (noise energy for codebook 13) and the quantised values of spectral
// bands.  Short windows form one group of eight and carry no spectral bands.
// tnsBands >= 0 adds one long-window TNS filter of order 0 over that many
// bands; pulseAmp >= 0 one pulse of that amplitude on the first coefficient.
struct Chan : Channel {
    int tnsBands = -1, shape = 0, pulseAmp = -1;
    Ints sf = Ints(64, 0), q = Ints(1024, 0);  // scale factors by band, quantised values by coefficient
    explicit Chan(int bands, bool isShort = false) {
        std::tie(sri, shortWindows, maxSfb, numSect[0], groupLen[0], globalGain) =
            tuple(kHostSri, isShort, bands, bands, isShort ? 8 : 1, 150);
        for (int b = 0; b < bands; ++b) sectCb.push_back(0), sectEnd.push_back(uint8_t(b + 1));
    }
    // Band b: codebook, scale factor and, for codebook 5, a fixed pattern of values (others: zeros).
    Chan &band(int b, int codebook, int scale, int seed = 0) {
        for (int k = kBand[b]; k < kBand[b + 1]; ++k) q[k] = codebook == 5 ? ((k - kBand[b]) * 5 + seed) % 9 - 4 : 0;
        sectCb[b] = uint8_t(codebook);
        sf[b] = scale;
        return *this;
    }
};

// A loud channel: content of its own in bands `first` to 11; loud pairs
// (bands 8 to 11) and single channels or LFE elements (4 to 11).
Chan loud(int seed, int first = 4, int scale = 168) {
    Chan c(12);
    for (int b = first; b < 12; ++b) c.band(b, 5, scale, seed + b);
    return c;
}

struct Sbr { uint32_t id, type; int count; };  // an extension payload: element id, type, bytes

// A raw data block written element by element; end() adds the end element
// and returns the bytes.
struct Blk {
    BitWriter w;

    // individual_channel_stream(): gain, stream info unless the pair shares
    // it, sections, scale factors, pulse and TNS data as asked, no gain
    // control, spectral data.
    Blk &ics(const Chan &c, bool common) {
        w.bits(uint32_t(c.globalGain), 8);
        if (!common) writeIcsInfo(w, c, c.shape);
        writeSections(w, c);
        for (int b = 0, last[2] = {c.globalGain, c.globalGain - 90}, noiseBands = 0; b < c.maxSfb; ++b) {
            const int k = c.sectCb[b] == 13, d = c.sf[b] - last[k];  // scale factor or noise energy
            if (c.sectCb[b] == 0) continue;
            (k && noiseBands++ == 0) ? w.bits(uint32_t(d + 256), 9) : w.code(0, d + 60);
            last[k] = c.sf[b];
        }
        const bool pulse = c.pulseAmp >= 0, tns = c.tnsBands >= 0;  // one pulse at 0; n_filt 1, coef_res 0, order 0
        put(w, {{pulse, 1}, {0, pulse ? 13 : 0}, {c.pulseAmp, pulse ? 4 : 0}, {tns, 1}, {2, tns ? 3 : 0},
                {tns ? c.tnsBands << 5 : 0, tns ? 11 : 0}, {0, 1}});
        for (int b = 0; b < c.maxSfb; ++b) {
            const int cb = c.sectCb[b];
            for (int k = kBand[b]; cb > 0 && cb < 12 && k < kBand[b + 1]; k += cb <= 4 ? 4 : 2)
                writeTuple(w, cb, &c.q[k]);
        }
        return *this;
    }
    // Fields as they are.
    Blk &raw(const std::vector<Field> &fields) { put(w, fields); return *this; }
    // Single channel (id 0) or LFE (id 3) element.
    Blk &sce(const Chan &c, uint32_t id = 0) { return raw({{id, 3}, {0, 4}}).ics(c, false); }
    // Channel pair with common window (ms_mask_present msMask; for mask 1
    // the ms_used flags, the first band's in the top of the max_sfb <= 32
    // bits of msUsed) or, for msMask < 0, without.
    Blk &pair(const Chan &l, const Chan &r, int msMask, uint32_t msUsed = 0) {
        raw({{1, 3}, {0, 4}, {msMask >= 0, 1}});
        if (msMask >= 0) writeIcsInfo(w, l, l.shape);
        raw({{msMask, msMask >= 0 ? 2 : 0}, {msUsed, msMask == 1 ? l.maxSfb : 0}});
        return ics(l, msMask >= 0).ics(r, msMask >= 0);
    }
    Blk &loudSce(int seed, uint32_t id = 0) { return sce(loud(seed), id); }
    Blk &loudPair(int seed) { return pair(loud(seed, 8, 170), loud(seed + 3, 8, 165), 0); }
    // Program configuration element.
    Blk &pce(const Pce &e) { putPce(raw({{5, 3}}).w, e); return *this; }
    // data_stream_element() of `count` bytes 0, 1, ... (tag 5).
    Blk &data(int count, bool align) {
        put(w, {{4, 3}, {5, 4}, {align, 1}, {std::min(count, 255), 8}, {count - 255, count >= 255 ? 8 : 0}});
        if (align) w.bits(0, (8 - w.count() % 8) % 8);
        for (int i = 0; i < count; ++i) w.bits(uint32_t(i), 8);
        return *this;
    }
    // Fill element with one extension payload of e.count bytes: the type,
    // the count's low nibble, then the count and the type byte by byte.
    Blk &fill(const Sbr &e) {
        const int n = e.count;
        put(w, {{6, 3}, {std::min(n, 15), 4}, {n - 14, n >= 15 ? 8 : 0}, {e.type, n ? 4 : 0}, {n & 15, n ? 4 : 0}});
        for (int i = 1; i < n; ++i) w.bits(i % 2 ? uint32_t(n) : e.type, 8);
        return *this;
    }
    Block end() { return raw({{7, 3}}).w.bytes(); }
};

Block endOnly() { return Blk().end(); }
Block loudPair(int seed) { return Blk().loudPair(seed).end(); }

// Decodes one block with a sentinel-filled PCM buffer; the whole output, one
// channel of it.
int32_t decode(Host &h, const Block &block, bool lost = false, int32_t size = -1) {
    h.cfg.frame_lost = lost ? 1 : 0;
    h.call(block.data(), size < 0 ? int32_t(block.size()) : size);
    return h.status;
}
Ints frameOf(const Host &h) { return Ints(h.pcm.begin(), h.pcm.begin() + 1024 * h.out.num_channels); }
Ints channelOf(const Host &h, uint32_t k) {
    Ints v(1024);
    for (uint32_t n = 0; n < 1024; ++n) v[n] = h.pcm[n * h.out.num_channels + k];
    return v;
}
uintptr_t addr(const void *p) { return reinterpret_cast<uintptr_t>(p); }

// The memory plan; a null config or block base is refused (51) with nothing
// written; output_bits other than 16 and 24 (39) leaves an instance that
// refuses to decode (53) until an init succeeds.  The instance sits at block
// 0 rounded up to 8 bytes, the buffers at their block rounded down to 32
// bytes plus 32, whatever the host's alignment.  decode_frame refuses (53)
// each null reference, an instance never initialised and, in SBR hand-off
// mode, each null reference of the link and a link to another instance:
// nothing is written, not even the frame_lost flag.  The first frame after
// an init: the end element alone, the host's aux_b passed on.
TEST(Api, MemoryPlanInitialisationAndArgumentChecks) {
    EXPECT_STREQ(aacd_decode_versionInfo(), "TALVEN_AACD_ARM_03.09.00_ARMV8  build on Sep 16 2022 13:23:31");
    AacdDecoderConfig cfg;
    std::memset(&cfg, 0xA5, sizeof cfg);
    for (auto entry : {aacd_query_dec_mem, aacd_decoder_init}) EXPECT_EQ(entry(nullptr), 51);
    const auto *filled = reinterpret_cast<AacdDecoderState *>(~uintptr_t{0} / 255 * 0xA5);
    EXPECT_EQ(aacd_query_dec_mem(&cfg), 0);
    EXPECT_EQ(tuple(cfg.mem_info.block_count, cfg.state), tuple(8u, filled));  // nothing after the table
    const uint32_t sizes[8] = {7487, 4224, 24704, 25344, 24704, 0, 0, 0};
    for (const AacdMemBlock &b : cfg.mem_info.blocks) {
        const uint32_t k = uint32_t(&b - cfg.mem_info.blocks), set = k < 5 ? 0u : 0xA5A5A5A5u;
        EXPECT_EQ(tuple(b.size, b.priority, b.type | b.reserved, b.base == nullptr),
                  tuple(sizes[k], k ? set : 1u, set, k < 5)) << k;
    }
    for (int k = 0; k < 5; ++k) {
        Host h(16, 0, false);
        h.cfg.mem_info.blocks[k].base = nullptr;
        const AacdDecoderConfig before = h.cfg;
        EXPECT_EQ(aacd_decoder_init(&h.cfg), 51);
        EXPECT_EQ(std::memcmp(&before, &h.cfg, sizeof before), 0) << k;
    }
    for (uint8_t bits : {0, 15, 17, 23, 25}) {
        SCOPED_TRACE(int(bits));
        Host h(16);
        std::tie(h.cfg.output_bits, h.cfg.frame_lost) = tuple(bits, 1u);
        EXPECT_EQ(aacd_decoder_init(&h.cfg), 39);
        EXPECT_EQ(decode(h, endOnly(), true), 53);
        EXPECT_EQ(h.cfg.frame_lost, 1u);
        std::tie(h.cfg.output_bits, h.params.aux_b) = tuple(bits < 20 ? 16 : 24, bits - 3);
        EXPECT_EQ(aacd_decoder_init(&h.cfg), 0);
        EXPECT_EQ(decode(h, endOnly()), 0);
        const AacdFrameOutput &o = h.out;
        EXPECT_EQ(tuple(o.frame_count, o.sampling_rate, o.aux_b, o.bits_consumed, o.frame_samples),
                  tuple(1u, 44100u, bits - 3, 8u, 1024u));
    }
    for (size_t mis : {0, 1, 31}) {
        Host h(16, mis);
        const AacdDecoderState *st = h.cfg.state;
        auto start = [&](int k) { return (addr(h.cfg.mem_info.blocks[k].base) & ~uintptr_t{31}) + 32; };
        EXPECT_EQ(tuple(h.status, h.cfg.sbr_mode, h.cfg.frame_lost | h.cfg.check_frame_length, *h.cfg.frame_counter),
                  tuple(0, 0u, 0u, 0u));
        EXPECT_EQ(addr(st), (addr(h.cfg.mem_info.blocks[0].base) + 7) & ~uintptr_t{7});
        EXPECT_EQ(tuple(addr(st->scratch), addr(st->firstSet), addr(st->overlap), addr(st->conceal[5].buffer)),
                  tuple(start(1), start(2), start(4), start(3) + 5 * 4096));
        for (int s = 0; s < 6; ++s) {  // the presence word of the slot, then two words that read 0
            int32_t *const *r = h.cfg.channel_refs[s];
            EXPECT_TRUE(r[0] == &st->outPresent[s] && r[1] != r[2] && !*r[0] && !*r[1] && !*r[2]) << s;
        }
        // Band ends of the instance's rate table: 49 long and 14 short bands
        // at 44.1 kHz, 40 and 15 at 8 kHz, none past index 11.
        const AacdSampleRateInfo *t = st->sampleRates;
        EXPECT_EQ(tuple(t[4].longBandEnds[0], t[4].longBandEnds[48], t[4].shortBandEnds[0], t[4].shortBandEnds[13]),
                  tuple(4, 1024, 4, 128));
        EXPECT_EQ(tuple(t[11].longBandEnds[39], t[11].shortBandEnds[14], t[12].longBandEnds),
                  tuple(1024, 128, nullptr));
    }
    Host h, other;
    AacdSbrPayload payload{};  // a complete link (never used: every call is refused)
    h.cfg.sbr = AacdSbrLink{h.cfg.state, &payload, h.pcm.data(), &payload, &payload};
    std::tie(h.cfg.frame_lost, h.out.frame_count) = tuple(1u, 77u);
    const Block end = endOnly();
    for (int k = 0; k < 12; ++k) {  // 6 to 10: a null link reference, 11: another instance's state
        AacdDecoderConfig c = h.cfg;
        std::tie(c.sbr_mode, c.block_params, c.state) =
            tuple(k >= 6, k == 4 ? nullptr : c.block_params, k == 5 ? nullptr : c.state);
        if (k >= 6) reinterpret_cast<void **>(&c.sbr)[k < 11 ? k - 6 : 0] = k < 11 ? nullptr : other.cfg.state;
        EXPECT_EQ(aacd_decode_frame(k ? &c : nullptr, k == 1 ? nullptr : &h.out, k == 2 ? nullptr : h.pcm.data(),
                                    k == 3 ? nullptr : end.data(), 1), 53) << k;
        EXPECT_EQ(c.frame_lost, 1u);
    }
    EXPECT_EQ(tuple(h.out.frame_count, *h.cfg.frame_counter), tuple(77u, 0u));
}

// After four good blocks, the first `size` bytes of a bad block (all for
// -1) with the frame-length check on for frameBytes != 0 and `setup`
// applied to the instance for its call only, then three good blocks.  A
// concealed block (full output under the last good layout, `bits` read up to
// the failure, after byte alignment) leaves the instance exactly as a twin
// that was told the block is lost; an abandoned call (44 to 46) writes no
// output field, no sample and no count, and leaves it as a twin that never
// saw the block; good blocks of exactly frame_bytes decode whole.
TEST(Api, FailingBlocksAreConcealedOrAbandoned) {
    Chan big(1), zeroTail(40), tns(0);  // the last 30 bands of zeroTail: all-zero codebook 1 quads, single 0 bits
    big.band(0, 11, 100).pulseAmp = 1;
    big.q[0] = 8191;
    tns.tnsBands = 63;
    for (int b = 4; b < 40; ++b) zeroTail.band(b, b < 10 ? 5 : 1, b < 10 ? 168 : 150, b);
    const uint32_t bigBits = uint32_t(Blk().sce(big).w.count() + 7) & ~7u;  // the whole of big's element
    const Block zeros = Blk().sce(zeroTail).end();
    const int32_t zerosCut = int32_t(zeros.size()) - 4;  // in the run of zero bytes before the end element
    ASSERT_EQ(std::count(zeros.end() - 9, zeros.end() - 1, 0), 8);
    const Block dse = Blk().loudPair(1).raw({{4, 3}, {0, 4}, {0, 1}, {40, 8}}).end();  // 40 bytes that are not there
    const Block pce0 = Blk().pce({0, 0, 4, 3, 0, 0, 0, 0, 0, 1}).end();  // profile 0
    const Block pce7 = Blk().pce({0, 1, 4, 3, 0, 0, 0, 0, 0, 7}).end();  // three front pairs: 7 channels
    const int32_t loud = int32_t(loudPair(9).size());
    struct Case { const char *name; Block block; int32_t status; uint32_t bits; int32_t size = -1, frameBytes = 0;
                  std::function<void(Host &)> setup = {}; };
    const Case cases[] = {
        // an escape of 8191 with a pulse of 1: inverse quantisation refuses 8192 after the whole element
        {"quantised 8192", Blk().sce(big).end(), -1, bigBits},
        // an element running past input_size fails although the missing bits (zeros) would decode
        {"cut in a run of zeros", zeros, -1, 0, zerosCut}, {"empty block", loudPair(9), -1, 0, 0},
        {"data stream past the end", dse, -1, 8 * uint32_t(dse.size())},
        // a common-window pair head of 63 bands (44.1 kHz has 49)
        {"pair head of 63 bands", Blk().raw({{1, 3}, {0, 4}, {1, 1}, {0, 4}, {63, 6}, {0, 1}}).end(), -1, 24},
        {"coupling after a pair", Blk().pair(Chan(0), Chan(0), 0).raw({{2, 3}}).end(), 33, 48},
        {"program of profile 0", pce0, 35, 16}, {"program of 7 channels", pce7, 35, 8 * uint32_t(pce7.size() - 1)},
        {"sampling index 12", loudPair(9), 35, 0, -1, 0, [](Host &h) { h.params.sampling_index = 12; }},
        // a TNS filter over 63 bands (44.1 kHz has 49) fails when the filters run: status 0
        {"TNS over 63 bands", Blk().pair(tns, Chan(0), 0).fill({0, 0, 0}).end(), 0, 64},
        {"longer than frame_bytes", loudPair(9), 0, 8 * uint32_t(loud - 1), -1, loud - 1},
        {"negative frame_bytes", loudPair(9), 0, 0, -1, -3},
        {"reserved ms_mask_present", Blk().pair(Chan(0), Chan(0), 3).end(), 44, 0},
        // the scratch buffer moved off its 8-byte boundary: deinterleaving refuses it
        {"short windows, scratch misaligned", Blk().sce(Chan(0, true)).end(), 46, 0, -1, 0,
         [](Host &h) { h.cfg.state->scratch += 1; }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Host h, twin;
        for (Host *x : {&h, &twin})
            for (int i = 0; i < 4; ++i) decode(*x, loudPair(i));
        if (c.setup) c.setup(h);
        std::tie(h.cfg.check_frame_length, h.params.frame_bytes) = tuple(c.frameBytes != 0, c.frameBytes);
        ASSERT_EQ(decode(h, c.block, false, c.size), c.status);
        const bool kept = c.status < 44;
        if (kept) decode(twin, c.block, true);
        h.params = twin.params;
        const uint32_t bits = c.size >= 0 ? 8 * uint32_t(c.size) : c.bits;
        const AacdFrameOutput &o = h.out;
        EXPECT_EQ(tuple(o.num_channels, o.sampling_rate, o.frame_samples, o.bits_consumed, *h.cfg.frame_counter),
                  kept ? tuple(2u, 44100u, 1024u, bits, 5u) : tuple(0u, 0u, 0u, 0u, 4u));
        EXPECT_TRUE(UntracedWordsOk(h.pcm.data(), kept ? 2048 : 0, h.pcm.size(), 16));
        EXPECT_TRUE(!kept || frameOf(h) == frameOf(twin));
        for (int i = 4; i < 7; ++i) {
            h.params.frame_bytes = int32_t(loudPair(i).size());  // exactly the block: whole also with the check on
            ASSERT_EQ(decode(h, loudPair(i)), 0);
            ASSERT_EQ(decode(twin, loudPair(i)), 0);
            EXPECT_EQ(tuple(frameOf(h), h.out.frame_count), tuple(frameOf(twin), twin.out.frame_count)) << i;
        }
    }
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
    const Sbr a{0, 13, 5}, a2{1, 14, 1}, b{0, 13, 268}, c{1, 14, 15}, x{0, 13, 4};  // x: never handed over
    struct Call { Block block; bool lost; int32_t status; std::vector<Sbr> handedOver; };
    const Call calls[] = {
        {Blk().loudSce(1).fill(a).loudPair(2).fill(a2).loudSce(3).fill(x).data(300, true).fill(x).end(), 0, 0, {}},
        {Blk().loudSce(4).fill(b).fill(x).loudSce(5, 3).fill(x).data(255, false).fill({0, 0, 0}).end(), 0, 0, {a, a2}},
        {Blk().fill(x).loudPair(4).fill({1, 13, 269}).loudSce(9).fill({0, 11, 3}).data(0, true).end(), 0, 0, {b}},
        {Blk().loudPair(5).fill(a).data(510, false).raw({{2, 3}}).end(), 0, 33, {}},
        {Blk().loudPair(6).fill(a).end(), 1, 0, {}},
        {Blk().loudPair(8).fill(c).data(3, true).end(), 0, 0, {}},
        {Blk().loudPair(8).end(), 1, 0, {c}},
    };
    Host normal, sbr;
    AacdSbrPayload payload{}, swap{}, previous{};  // the host's records of hand-off mode
    Ints core(6 * 2048);
    sbr.cfg.sbr = AacdSbrLink{sbr.cfg.state, &payload, core.data(), &swap, &previous};
    sbr.cfg.sbr_mode = 1;
    for (const Call &k : calls) {
        SCOPED_TRACE(&k - calls);
        Block block = k.block;
        const uint32_t aligned = 8 * uint32_t(block.size());  // the whole block, end element and alignment included
        block.resize(block.size() + 8, 0xFF);  // a longer count would run into these
        std::fill(core.begin(), core.end(), kSentinel);
        payload.entry_count = 77;
        ASSERT_EQ(decode(normal, block, k.lost), k.status);
        ASSERT_EQ(decode(sbr, block, k.lost), k.status);
        const uint32_t bits = k.lost ? 0 : k.status ? normal.out.bits_consumed : aligned;
        EXPECT_EQ(tuple(sbr.out.bits_consumed, sbr.out.num_channels, payload.entry_count),
                  tuple(bits, normal.out.num_channels, int32_t(k.handedOver.size())));
        for (const Sbr &e : k.handedOver) {
            const AacdSbrPayloadEntry &got = payload.entries[&e - k.handedOver.data()];
            EXPECT_EQ(tuple(got.element_id, got.extension_type, int(got.byte_count)), tuple(e.id, e.type, e.count));
            for (int i = 0; i < e.count; ++i)
                EXPECT_EQ(got.payload[i], uint8_t(i == 0 ? e.count & 15 : i % 2 ? e.count : int(e.type))) << i;
        }
        EXPECT_TRUE(UntracedWordsOk(sbr.pcm.data(), 0, sbr.pcm.size(), 16));
        for (uint32_t s = 0, present = 0; s < 6; ++s) {
            const int32_t *slot = core.data() + 2048 * s;
            const bool used = *sbr.cfg.channel_refs[s][0] != 0;
            EXPECT_TRUE(UntracedWordsOk(slot, used ? 1024 : 0, 2048, 16)) << s;
            EXPECT_TRUE(!used || Ints(slot, slot + 1024) == channelOf(normal, present++)) << s;
        }
    }
}

// Per-channel state of a channel pair.  Noise in one band of both channels
// is the same noise when ms_used is set, and the flags of an earlier pair
// reach no later pair that does not read its own (common window with mask
// 0, or no common window).  The previous window shape belongs to the
// channel, not to the window index a common-window pair shares: after a pair
// without common window (left Kaiser-Bessel-derived, right sine) and two
// common-window pairs (sine) each channel decodes as a single channel with
// the same history.
TEST(Api, ChannelPairStateIsKeptPerChannel) {
    Chan noisy(21);
    for (int later : {0, -1}) {
        Host h;
        decode(h, Blk().pair(noisy.band(20, 13, 80), noisy, 1, 1).end());
        decode(h, Blk().pair(noisy, noisy, later).end());
        EXPECT_EQ(channelOf(h, 0), channelOf(h, 1));
        decode(h, endOnly());
        EXPECT_TRUE(channelOf(h, 0) != Ints(1024) && channelOf(h, 0) != channelOf(h, 1)) << later;
    }
    Chan l1 = loud(0), r1 = loud(3), l2 = loud(5, 4, 170), r2 = loud(7, 4, 165);
    l1.shape = 1;
    Host h;
    for (int m : {-1, 0, 0}) ASSERT_EQ(decode(h, Blk().pair(m ? l1 : l2, m ? r1 : r2, m).end()), AACD_OK);
    for (uint32_t ch = 0; ch < 2; ++ch) {
        Host m;
        const Chan &first = ch ? r1 : l1, &later = ch ? r2 : l2;
        for (const Chan *c : {&first, &later, &later}) ASSERT_EQ(decode(m, Blk().sce(*c).end()), AACD_OK);
        EXPECT_TRUE(channelOf(m, 0) != Ints(1024) && channelOf(h, ch) == channelOf(m, 0)) << ch;
    }
}

}  // namespace
