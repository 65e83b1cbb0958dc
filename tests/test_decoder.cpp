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
using Block = std::vector<uint8_t>;
using Ints = std::vector<int32_t>;

namespace {

// A freshly initialised instance (without buffers); the present slots of a map.
std::unique_ptr<AacdDecoderState> makeState() { auto st = std::make_unique<AacdDecoderState>(); AACD_decode_init(st.get()); return st; }
Ints presentSlots(const AacdMcInfo &m) { Ints v; for (int32_t s = 0; s < 6; ++s) if (m.slot[s].present) v.push_back(s); return v; }

// A program configuration element (after its id).  Front entry i is a pair
// when bit i of frontPairs is set, tag i; side and back entries are single
// channels of tags 8, 9, ...; LFE and associated data tags 0, 1, ...;
// mixdowns: bit 0 mono (element 5), bit 1 stereo (12), bit 2 matrix (index
// 3, pseudo surround); comment bytes.  Byte alignment counts from the
// writer's start.
struct Pce { uint32_t tag = 0, profile = 1, sf = 4, front = 1, side = 0, back = 0, lfe = 0, assoc = 0, cc = 0, frontPairs = 0, mix = 0, comment = 0; };

void putPce(BitWriter &w, const Pce &e) {
    put(w, {{e.tag, 4}, {e.profile, 2}, {e.sf, 4}, {e.front, 4}, {e.side, 4}, {e.back, 4}, {e.lfe, 2}, {e.assoc, 3}, {e.cc, 4},
            {e.mix & 1, 1}, {5, e.mix & 1 ? 4 : 0}, {e.mix >> 1 & 1, 1}, {12, e.mix & 2 ? 4 : 0}, {e.mix >> 2 & 1, 1}, {7, e.mix & 4 ? 3 : 0}});
    for (uint32_t i = 0; i < e.front; ++i) put(w, {{e.frontPairs >> i & 1, 1}, {i, 4}});
    for (uint32_t i = 0; i < e.side + e.back; ++i) put(w, {{0, 1}, {8 + i, 4}});
    for (uint32_t i = 0; i < e.lfe + e.assoc; ++i) w.bits(i, 4);
    put(w, {{0, int(5 * e.cc)}, {0, (8 - (w.count() + int(5 * e.cc)) % 8) % 8}, {e.comment, 8}});
    for (uint32_t i = 0; i < e.comment; ++i) w.bits(0x41 + i % 26, 8);
}

struct Parsed { int32_t status, tag; int bits, end; };  // bits read after `prefix` bits (an id); end: the element's length

Parsed parse(AacdDecoderState &st, const Pce &e, int prefix = 3) {
    BitWriter w;
    w.bits(0, prefix), putPce(w, e);
    Parsed r{-9, -9, 0, w.count() - prefix};
    r.status = (st.bitPos = aacd::bitReaderAt(w.base(), 8192, static_cast<uint32_t>(prefix)), AACD_get_prog_config(&st.progConfig, &r.tag, &st));
    return r.bits = int(aacd::bitIndex(st.bitPos)) - prefix, r;
}

struct Elt { int32_t id, tag, cw; };  // id 0 SCE, 1 CPE, 3 LFE; cw: common window

// One good or bad frame through the map: reset, elements, restore.
Ints runFrame(AacdDecoderState &st, const std::vector<Elt> &elts, bool ok = true) {
    AACD_reset_mc_info(&st.mcInfo, &st);
    Ints r;
    for (const Elt &e : elts) r.push_back(AACD_chn_config(e.id, e.tag, e.cw, &st.mcInfo, &st));
    return st.frameOk = ok, AACD_restore_mc_info(&st.mcInfo, &st), st.frameOk = 1, r;
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
    struct Case { Pce e; int32_t status; int bits; Ints slots; std::vector<Elt> elts = {}; Ints found = {}; };  // bits < 0: the whole element
    const Case cases[] = {
        {{0, 0}, -1, 6, {}}, {{0, 2}, -1, 6, {}}, {{0, 1, 12}, -1, 10, {}}, {{0, 1, 4, 4}, -1, 14, {}}, {{0, 1, 4, 1, 1}, -1, 18, {}},
        {{0, 1, 4, 1, 0, 3}, -1, 22, {}}, {{0, 1, 4, 1, 0, 0, 2}, -1, 24, {}}, {{0, 1, 4, 1, 0, 0, 0, 0, 1}, -1, 31, {}},
        {{4, 1, 4, 3, 0, 0, 0, 0, 0, 7}, -1, -1, {1, 2, 3, 4}},
        {{3, 1, 11, 3, 0, 2, 1, 7, 0, 0, 5, 255}, 0, -1, {0, 1, 2, 3, 4, 5}, {{0, 2, 0}, {0, 0, 0}, {0, 9, 0}, {3, 0, 0}, {0, 8, 0}, {0, 1, 0}, {0, 0, 0}}, {2, 0, 4, 5, 3, 1, -1}},
        {{0, 1, 0, 1, 0, 0, 0, 0, 0, 1, 2, 1}, 0, -1, {1, 2}, {{1, 0, 1}, {0, 0, 0}}, {1, -1}},
        {{0, 1, 4, 2, 0, 0, 0, 0, 0, 2}, 0, -1, {0, 1, 2}, {{1, 1, 0}, {0, 1, 0}, {0, 0, 0}}, {1, -1, 0}}, {{0, 1, 4, 0, 0, 0, 1}, 0, -1, {5}, {{3, 0, 0}}, {5}},
        {{0, 1, 4, 2}, 0, -1, {1, 2}, {{0, 1, 0}, {0, 0, 0}}, {2, 1}},
    };
    for (const Case &c : cases) {
        auto st = makeState();
        AacdProgConfig &p = st->progConfig;
        AacdMcInfo &m = st->mcInfo;
        std::tie(p.monoMixdown.elementNumber, p.stereoMixdown.elementNumber, p.matrixMixdown.index) = std::make_tuple(77, 77, 77);
        const Parsed r = parse(*st, c.e);
        const int32_t x = int32_t(c.e.mix), tag = c.status && c.bits > 0 ? -1 : int32_t(c.e.tag);
        EXPECT_EQ(std::make_tuple(r.status, r.bits, st->configTag, st->implicitConfig, presentSlots(m)),
                  std::make_tuple(c.status, c.bits < 0 ? r.end : c.bits, tag, c.status ? 1 : 0, c.slots)) << "row " << &c - cases;
        if (c.status) continue;
        EXPECT_EQ(std::make_tuple(r.tag, m.samplingRateIndex, p.front.numElements, p.back.numElements, p.assocData.tag[6], p.comment[0]),
                  std::make_tuple(tag, int32_t(c.e.sf), int32_t(c.e.front), int32_t(c.e.back), c.e.assoc ? 7 : 0, 0));
        EXPECT_EQ(std::make_tuple(p.monoMixdown.present, p.monoMixdown.elementNumber, p.stereoMixdown.present, p.stereoMixdown.elementNumber,
                                  p.matrixMixdown.present, p.matrixMixdown.index, p.matrixMixdown.pseudoSurround),
                  std::make_tuple(x & 1, x & 1 ? 5 : 77, x >> 1 & 1, x & 2 ? 12 : 77, x >> 2 & 1, x & 4 ? 3 : 77, x >> 2 & 1));
        for (int f = 0; f < 3; ++f) EXPECT_EQ(runFrame(*st, c.elts), c.found);
        for (size_t i = 0; i < c.elts.size(); ++i)
            EXPECT_TRUE(c.elts[i].id != 1 || c.found[i] < 0 || m.slot[c.found[i] + 1].windowIndex == c.found[i] + 1 - c.elts[i].cw) << i;
        m.numChannels = 9;
        runFrame(*st, {c.elts.back()}, false);
        EXPECT_EQ(std::make_tuple(m.slot[c.found[0]].decoded, m.numChannels), std::make_tuple(1, 9));
    }
    auto st = makeState();
    ASSERT_EQ(parse(*st, {0, 1, 4, 1, 0, 0, 0, 0, 0, 1}, 0).status, 0);  // tag 0 is a tag like any other
    const AacdMcInfo before = st->mcInfo;
    const Parsed r = parse(*st, {7, 1, 8, 2}, 1);
    EXPECT_EQ(std::make_tuple(r.status, r.tag, r.bits, st->configTag, st->progConfig.samplingFrequencyIndex), std::make_tuple(0, 7, r.end, 0, 8));
    EXPECT_EQ(std::memcmp(&before, &st->mcInfo, sizeof before), 0);
    st->implicitConfig = 1;  // the program in force met again is entered again
    EXPECT_EQ(std::make_tuple(parse(*st, {0, 1, 4, 1, 0, 0, 0, 0, 0, 1}, 0).status, st->implicitConfig), std::make_tuple(0, 0));
    AacdMcInfo m{};  // a pair found in slot 5 has no room; side channels and unknown positions have none
    std::tie(m.slot[5].present, m.slot[5].isCpe, m.slot[5].tag) = std::make_tuple(1, 1, 2);
    EXPECT_EQ(std::make_tuple(AACD_enter_chn(1, 2, kPosLookup, 0, &m), AACD_enter_chn(0, 0, kPosSide, 0, &m), AACD_enter_chn(0, 0, 0x7A, 0, &m)), std::make_tuple(-1, -1, -1));
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
        {{S, S}, {0, 1}, {1, 2}, 2, 2}, {{L, L}, {5, -1}, {5, -1}, 1, 1}, {{S, C, C, S}, {0, 1, 3, 5}, {0, 1, 3, 5}, 6, 6},
        {{S, S, C}, {0, 1, 2}, {1, 2, 3}, 4, 4}, {{S, C, S, S, S}, {0, 1, 3, 4, 5}, {0, 1, 3, 4, 5}, 6, 6},
        {{S, S, S, S, S, S}, {0, 1, 2, 3, 4, 5}, {0, 1, 2, 3, 4, 5}, 6, 6}, {{C, S, C}, {1, 3, 3}, {1, 3, 3}, 5, 4},
        {{S, C, C, L, S}, {0, 1, 3, 5, -1}, {0, 1, 3, 5, -1}, 6, 6}, {{S, C, S, C}, {0, 1, 3, -1}, {0, 1, 3, -1}, 4, 4},
        {{S, C, C, C}, {0, 1, 3, -1}, {0, 1, 3, -1}, 5, 5}, {{{2, 0, 0}, {4, 0, 0}, {-1, 0, 0}}, {0, 0, 0}, {0, 0, 0}, 0, 0},
    };
    for (const Case &c : cases) {
        auto st = makeState();
        const Ints first = runFrame(*st, c.elts), second = runFrame(*st, c.elts), third = runFrame(*st, c.elts);
        EXPECT_EQ(std::make_tuple(first, second, third, st->mcInfo.numChannels, presentSlots(st->mcInfo).size()),
                  std::make_tuple(c.first, c.later, c.later, c.channels, c.present)) << "row " << &c - cases;
        runFrame(*st, {{1, 4, 1}, {1, 3, 0}, L, S}, false);
        EXPECT_EQ(std::make_tuple(st->mcInfo.numChannels, presentSlots(st->mcInfo).size()), std::make_tuple(c.channels, c.present)) << "row " << &c - cases;
        EXPECT_EQ(runFrame(*st, c.elts), c.later) << "row " << &c - cases;
    }
    // The role of a slot: present, pair, first of the pair, tag.
    const AacdChannelSlot single{0, 1, 5, 0, 0, 1, 0, 0, {}, {}}, second{0, 1, 5, 1, 0, 0, 0, 0, {}, {}};
    EXPECT_EQ(std::make_tuple(aacd::slotRole(single), aacd::slotRole(second), aacd::slotRole(AacdChannelSlot{})), std::make_tuple(41, 43, 0));
}

AacdProgConfig hostRecord(int32_t tag, int32_t pairs, int32_t sf = 4, int32_t singles = 0) {  // front pairs, then singles, all of tag 0
    AacdProgConfig p{};
    return std::tie(p.profile, p.samplingFrequencyIndex, p.elementInstanceTag, p.front.numElements) = std::make_tuple(1, sf, tag, pairs + singles), std::fill_n(p.front.isCpe, pairs, 1), p;
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
    const Step steps[] = {{0, 4, true, 0, 1, 4}, {0, 11, true, 0, 0, 11}, {1, 12, true, 35, 1, 12},
                          {1, 15, false, 35, 1, 15}, {2, 16, false, 35, 1, 15}, {2, 0xFFFFFFFF, false, 35, 1, 15}};
    auto st = makeState();
    AacdBlockParams bp{};
    for (const Step &s : steps) {
        st->implicitConfig = !s.clearBefore;
        std::tie(bp.config_id, bp.sampling_index, bp.aux_a, bp.aux_b, bp.aux_c, bp.aux_d, bp.aux_e) = std::make_tuple(s.configId, s.sf, 1, 2, -100, 4, 5);
        EXPECT_EQ(std::make_tuple(AACD_decode_info(st.get(), &bp), st->implicitConfig, st->mcInfo.samplingRateIndex, st->samplingIndex, st->configId, st->auxA,
                                  st->auxB, st->auxC, st->auxD, st->auxE),
                  std::make_tuple(s.status, s.implicitAfter, s.index, uint32_t(s.index), s.configId, 1, 2, -4, 4, 5)) << s.sf;  // -100 >> 5
    }
    std::vector<AacdProgConfig> list = {hostRecord(0, 2), hostRecord(0, 1, 7), hostRecord(1, 2)};
    std::tie(bp.num_prog_configs, bp.prog_configs, bp.config_id, bp.aux_b, bp.aux_c) = std::make_tuple(3, list.data(), 9, 6, 64);
    ASSERT_EQ(AACD_decode_info(st.get(), &bp), 0);
    EXPECT_EQ(std::make_tuple(st->configTag, st->implicitConfig, presentSlots(st->mcInfo), st->mcInfo.samplingRateIndex), std::make_tuple(0, 0, Ints{1, 2}, 7));
    EXPECT_EQ(std::make_tuple(st->numProgConfigs, st->auxB, st->configId, st->samplingIndex, st->auxC), std::make_tuple(3, 6, 2, 15u, -4));
    EXPECT_EQ(std::memcmp(&st->progConfig, &list[1], sizeof(AacdProgConfig)), 0);
    for (auto [rec, status, index, lead] : {std::tuple{hostRecord(0, 1, 11), 0, 11, 0}, {hostRecord(0, 1, 12), 36, 11, 0}, {hostRecord(0, 3), 36, 4, 0},
                                            {hostRecord(0, 0, 7, 17), 36, 7, 16}}) {
        std::tie(bp.prog_configs, bp.num_prog_configs) = std::make_tuple(&rec, 1);
        EXPECT_EQ(std::make_tuple(AACD_decode_info(st.get(), &bp), st->mcInfo.samplingRateIndex, st->implicitConfig, st->mcInfo.frontSceCount),
                  std::make_tuple(status, index, status && index != 11, lead));
    }
    // Without records a positive count is refused, a negative one ignored.
    for (auto [n, status] : {std::pair{1, 36}, {-2, 0}}) EXPECT_EQ((bp.prog_configs = nullptr, bp.num_prog_configs = n, AACD_decode_info(st.get(), &bp)), status);
}

// Raw data blocks built element by element, and the host side of a decoding
// call.
constexpr int kHostSri = 4;                // 44.1 kHz, the test host's sampling index
constexpr int32_t kSentinel = 0x7EADBEEF;  // outside every output range

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
        std::tie(sri, shortWindows, maxSfb, numSect[0], groupLen[0], globalGain) = std::make_tuple(kHostSri, isShort, bands, bands, isShort ? 8 : 1, 150);
        for (int b = 0; b < bands; ++b) sectCb.push_back(0), sectEnd.push_back(uint8_t(b + 1));
    }
    Chan &band(int b, int codebook, int scale) { return sectCb[b] = uint8_t(codebook), sf[b] = scale, *this; }
    Chan &spectral(int b, int scale, int seed, int codebook = 5) {  // codebook 5: a fixed pattern, others zeros
        for (int k = kBand[b]; k < kBand[b + 1]; ++k) q[k] = codebook == 5 ? ((k - kBand[b]) * 5 + seed) % 9 - 4 : 0;
        return band(b, codebook, scale);
    }
};

// individual_channel_stream(): gain, stream info unless the pair shares it,
// sections, scale factors, pulse and TNS data as asked, no gain control,
// spectral data.
void putIcs(BitWriter &w, const Chan &c, bool common) {
    w.bits(uint32_t(c.globalGain), 8);
    if (!common) writeIcsInfo(w, c, c.shape);
    writeSections(w, c);
    for (int b = 0, last[2] = {c.globalGain, c.globalGain - 90}, noiseBands = 0; b < c.maxSfb; ++b) {  // scale factor, noise energy
        const int k = c.sectCb[b] == 13, d = c.sf[b] - last[k];
        if (c.sectCb[b] == 0) continue;
        (k && noiseBands++ == 0) ? w.bits(uint32_t(d + 256), 9) : w.code(0, d + 60);
        last[k] = c.sf[b];
    }
    const bool pulse = c.pulseAmp >= 0, tns = c.tnsBands >= 0;  // one pulse at 0; n_filt 1, coef_res 0, order 0
    put(w, {{pulse, 1}, {0, pulse ? 13 : 0}, {c.pulseAmp, pulse ? 4 : 0}, {tns, 1}, {2, tns ? 3 : 0}, {tns ? c.tnsBands << 5 : 0, tns ? 11 : 0}, {0, 1}});
    for (int b = 0, cb = 0; b < c.maxSfb; ++b)
        for (int k = kBand[b]; (cb = c.sectCb[b]) > 0 && cb < 12 && k < kBand[b + 1]; k += cb <= 4 ? 4 : 2) writeTuple(w, cb, &c.q[k]);
}

// Single channel (id 0) or LFE (id 3) element.
void putSce(BitWriter &w, const Chan &c, uint32_t id = 0) { put(w, {{id, 3}, {0, 4}}), putIcs(w, c, false); }

// Channel pair with common window (ms_mask_present msMask; for mask 1 the
// ms_used flags, the first band's in the top of the max_sfb <= 32 bits of
// msUsed) or, for msMask < 0, without.
void putPair(BitWriter &w, const Chan &l, const Chan &r, int msMask, uint32_t msUsed = 0) {
    put(w, {{1, 3}, {0, 4}, {msMask >= 0, 1}});
    if (msMask >= 0) writeIcsInfo(w, l, l.shape), put(w, {{msMask, 2}, {msUsed, msMask == 1 ? l.maxSfb : 0}});
    putIcs(w, l, msMask >= 0), putIcs(w, r, msMask >= 0);
}

// Fill element with one extension payload: type, nibble, then count-1 bytes
// cycling through `bytes`.
void putFill(BitWriter &w, int count, uint32_t type = 0, uint32_t nibble = 0, const std::vector<uint8_t> &bytes = {0}) {
    put(w, {{6, 3}, {std::min(count, 15), 4}, {count - 14, count >= 15 ? 8 : 0}, {type, count ? 4 : 0}, {nibble, count ? 4 : 0}});
    for (int i = 1; i < count; ++i) w.bits(bytes[size_t(i - 1) % bytes.size()], 8);
}

// A loud channel: content of its own in bands `first` to 11; loud pairs
// (bands 8 to 11) and single channels or LFE elements (4 to 11).
Chan loud(int seed, int first = 4, int scale = 168) {
    Chan c(12);
    for (int b = first; b < 12; ++b) c.spectral(b, scale, seed + b);
    return c;
}
void putLoudPair(BitWriter &w, int seed) { putPair(w, loud(seed, 8, 170), loud(seed + 3, 8, 165), 0); }
void putLoudSce(BitWriter &w, int seed, uint32_t id = 0) { putSce(w, loud(seed), id); }

// A block of the elements `build` writes and the end element; the end
// element alone; a loud pair.
template <class F> Block blockOf(F build) { BitWriter w; return build(w), w.bits(7, 3), w.bytes(); }
Block endOnly() { return blockOf([](BitWriter &) {}); }
Block loudPair(int seed) { return blockOf([&](BitWriter &w) { putLoudPair(w, seed); }); }

// Decodes one block with a sentinel-filled PCM buffer; the whole output, one
// channel of it, and its largest magnitude.
int32_t decode(Host &h, const Block &block, bool lost = false) {
    return std::fill(h.pcm.begin(), h.pcm.end(), kSentinel), h.cfg.frame_lost = lost ? 1 : 0, h.decode(block);
}
Ints frameOf(const Host &h) { return Ints(h.pcm.begin(), h.pcm.begin() + 1024 * h.out.num_channels); }
Ints channelOf(const Host &h, uint32_t k) { Ints v(1024); for (uint32_t n = 0; n < 1024; ++n) v[n] = h.pcm[n * h.out.num_channels + k]; return v; }
bool allSentinel(const int32_t *p, const int32_t *end) { return std::all_of(p, end, [](int32_t v) { return v == kSentinel; }); }
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
    EXPECT_EQ(std::make_tuple(aacd_query_dec_mem(nullptr), aacd_decoder_init(nullptr)), std::make_tuple(51, 51));
    const auto *filled = reinterpret_cast<AacdDecoderState *>(~uintptr_t{0} / 255 * 0xA5);  // nothing after the table is written
    EXPECT_EQ(std::make_tuple(aacd_query_dec_mem(&cfg), cfg.mem_info.block_count, cfg.state), std::make_tuple(0, 8u, filled));
    const uint32_t sizes[8] = {7487, 4224, 24704, 25344, 24704, 0, 0, 0};
    for (const AacdMemBlock &b : cfg.mem_info.blocks) {
        const uint32_t k = uint32_t(&b - cfg.mem_info.blocks), set = k < 5 ? 0u : 0xA5A5A5A5u;
        EXPECT_EQ(std::make_tuple(b.size, b.priority, b.type | b.reserved, b.base == nullptr), std::make_tuple(sizes[k], k ? set : 1u, set, k < 5)) << k;
    }
    for (int k = 0; k < 5; ++k) {
        Host h(16, 0, false);
        h.cfg.mem_info.blocks[k].base = nullptr;
        const AacdDecoderConfig before = h.cfg;
        EXPECT_TRUE(aacd_decoder_init(&h.cfg) == 51 && std::memcmp(&before, &h.cfg, sizeof before) == 0) << k;
    }
    for (uint8_t bits : {0, 15, 17, 23, 25}) {
        Host h(16);
        std::tie(h.cfg.output_bits, h.cfg.frame_lost) = std::make_tuple(bits, 1u);
        EXPECT_TRUE(aacd_decoder_init(&h.cfg) == 39 && h.decode(endOnly()) == 53 && h.cfg.frame_lost == 1u) << int(bits);
        std::tie(h.cfg.output_bits, h.params.aux_b) = std::make_tuple(bits < 20 ? 16 : 24, bits - 3);
        EXPECT_EQ(aacd_decoder_init(&h.cfg), 0);
        EXPECT_EQ(std::make_tuple(decode(h, endOnly()), h.out.frame_count, h.out.sampling_rate, h.out.aux_b, h.out.bits_consumed, h.out.frame_samples),
                  std::make_tuple(0, 1u, 44100u, bits - 3, 8u, 1024u));
    }
    for (size_t mis : {0, 1, 31}) {
        Host h(16, mis);
        const AacdDecoderState *st = h.cfg.state;
        auto start = [&](int k) { return (addr(h.cfg.mem_info.blocks[k].base) & ~uintptr_t{31}) + 32; };
        EXPECT_EQ(std::make_tuple(h.status, h.cfg.sbr_mode, h.cfg.frame_lost | h.cfg.check_frame_length, *h.cfg.frame_counter, addr(st)),
                  std::make_tuple(0, 0u, 0u, 0u, (addr(h.cfg.mem_info.blocks[0].base) + 7) & ~uintptr_t{7}));
        EXPECT_EQ(std::make_tuple(addr(st->scratch), addr(st->firstSet), addr(st->overlap), addr(st->conceal[5].buffer)),
                  std::make_tuple(start(1), start(2), start(4), start(3) + 5 * 4096));
        for (int32_t *const *r : h.cfg.channel_refs)  // presence word of the slot, then two words that read 0
            EXPECT_TRUE(r[0] == &st->outPresent[(r - h.cfg.channel_refs[0]) / 3] && r[1] != r[2] && !*r[0] && !*r[1] && !*r[2]);
        // Band ends of the instance's rate table: 49 long and 14 short bands at
        // 44.1 kHz, 40 and 15 at 8 kHz.
        const AacdSampleRateInfo *t = st->sampleRates;
        EXPECT_EQ(std::make_tuple(t[4].longBandEnds[0], t[4].longBandEnds[48], t[4].shortBandEnds[0], t[4].shortBandEnds[13], t[11].longBandEnds[39],
                                  t[11].shortBandEnds[14], t[12].longBandEnds),
                  std::make_tuple(4, 1024, 4, 128, 1024, 128, nullptr));
    }
    Host h, other;
    AacdSbrPayload payload{};  // a complete link (never used: every call is refused)
    std::tie(h.cfg.sbr, h.cfg.frame_lost, h.out.frame_count) = std::make_tuple(AacdSbrLink{h.cfg.state, &payload, h.pcm.data(), &payload, &payload}, 1u, 77u);
    for (int k = 0; k < 12; ++k) {  // 6 to 10: a null link reference, 11: another instance's state
        AacdDecoderConfig c = h.cfg;
        std::tie(c.sbr_mode, c.block_params, c.state) = std::make_tuple(k >= 6, k == 4 ? nullptr : c.block_params, k == 5 ? nullptr : c.state);
        if (k >= 6) reinterpret_cast<void **>(&c.sbr)[k < 11 ? k - 6 : 0] = k < 11 ? nullptr : other.cfg.state;
        EXPECT_EQ(aacd_decode_frame(k ? &c : nullptr, k == 1 ? nullptr : &h.out, k == 2 ? nullptr : h.pcm.data(), k == 3 ? nullptr : endOnly().data(), 1), 53) << k;
        EXPECT_EQ(c.frame_lost, 1u);
    }
    EXPECT_EQ(std::make_tuple(h.out.frame_count, *h.cfg.frame_counter), std::make_tuple(77u, 0u));
}

// After four good blocks, the first `size` bytes of a bad block (all for
// -1; -2: three bytes into the run of zero bytes before its end element)
// with `setup` applied to the instance for its call only, then three good
// blocks.  A concealed block (full output under the last good layout, `bits`
// read up to the failure, after byte alignment) leaves the instance exactly
// as a twin that was told the block is lost; an abandoned call (44 to 46)
// writes no output field, no sample and no count, and leaves it as a twin
// that never saw the block; good blocks of exactly frame_bytes decode whole.
TEST(Api, FailingBlocksAreConcealedOrAbandoned) {
    Chan big(1), zeroTail(40), tns(0);  // the last 30 bands of zeroTail are all-zero codebook 1 quads: single 0 bits
    big.spectral(0, 100, 0, 11).pulseAmp = 1, big.q[0] = 8191, tns.tnsBands = 63;
    for (int b = 4; b < 40; ++b) zeroTail.spectral(b, b < 10 ? 168 : 150, b, b < 10 ? 5 : 1);
    BitWriter element;  // the whole of big's element
    putSce(element, big);
    const Block dse = blockOf([](BitWriter &w) { putLoudPair(w, 1), put(w, {{4, 3}, {0, 4}, {0, 1}, {40, 8}}); });  // 40 bytes that are not there
    auto pce = [](uint32_t profile, uint32_t pairs) { return blockOf([&](BitWriter &w) { w.bits(5, 3), putPce(w, {0, profile, 4, 3, 0, 0, 0, 0, 0, pairs}); }); };
    const uint32_t loud = uint32_t(loudPair(9).size());
    auto frameBytes = [](int32_t n) { return [n](Host &h) { std::tie(h.cfg.check_frame_length, h.params.frame_bytes) = std::make_tuple(1u, n); }; };
    struct Case { const char *name; Block block; int32_t status; uint32_t bits; std::function<void(Host &)> setup; int32_t size; };
    const Case cases[] = {
        // an escape of 8191 with a pulse of 1: inverse quantisation refuses 8192 after the whole element
        {"quantised 8192", blockOf([&](BitWriter &w) { putSce(w, big); }), -1, (uint32_t(element.count()) + 7) & ~7u, {}, -1},
        // an element running past input_size fails although the missing bits (zeros) would decode
        {"cut in a run of zeros", blockOf([&](BitWriter &w) { putSce(w, zeroTail); }), -1, 0, {}, -2}, {"empty block", loudPair(9), -1, 0, {}, 0},
        {"data stream past the end", dse, -1, 8 * uint32_t(dse.size()), {}, -1},
        {"coupling after a pair", blockOf([](BitWriter &w) { putPair(w, Chan(0), Chan(0), 0), w.bits(2, 3); }), 33, 48, {}, -1},
        {"program of profile 0", pce(0, 1), 35, 16, {}, -1}, {"program of 7 channels", pce(1, 7), 35, 8 * uint32_t(pce(1, 7).size() - 1), {}, -1},
        {"sampling index 12", loudPair(9), 35, 0, [](Host &h) { h.params.sampling_index = 12; }, -1},
        // a TNS filter over 63 bands (44.1 kHz has 49) fails when the filters run: status 0
        {"TNS over 63 bands", blockOf([&](BitWriter &w) { putPair(w, tns, Chan(0), 0), putFill(w, 0); }), 0, 64, {}, -1},
        {"longer than frame_bytes", loudPair(9), 0, 8 * (loud - 1), frameBytes(int32_t(loud) - 1), -1}, {"negative frame_bytes", loudPair(9), 0, 0, frameBytes(-3), -1},
        {"reserved ms_mask_present", blockOf([](BitWriter &w) { putPair(w, Chan(0), Chan(0), 3); }), 44, 0, {}, -1},
        // the scratch buffer moved off its 8-byte boundary: deinterleaving refuses it
        {"short windows, scratch misaligned", blockOf([](BitWriter &w) { putSce(w, Chan(0, true)); }), 46, 0, [](Host &h) { h.cfg.state->scratch += 1; }, -1},
    };
    for (const Case &c : cases) {
        int32_t size = c.size == -2 ? int32_t(c.block.size()) - 1 : c.size;
        while (c.size == -2 && c.block[size - 1] == 0) --size;
        ASSERT_TRUE(c.size != -2 || int32_t(c.block.size()) - size >= 9);
        size += c.size == -2 ? 3 : 0;
        Host h, twin;
        for (int i = 0; i < 4; ++i) decode(h, loudPair(i)), decode(twin, loudPair(i));
        if (c.setup) c.setup(h);
        std::fill(h.pcm.begin(), h.pcm.end(), kSentinel);
        ASSERT_EQ(aacd_decode_frame(&h.cfg, &h.out, h.pcm.data(), c.block.data(), size < 0 ? int32_t(c.block.size()) : size), c.status) << c.name;
        const bool kept = c.status < 44;
        if (kept) decode(twin, c.block, true);
        h.params = twin.params;
        EXPECT_EQ(std::make_tuple(h.out.num_channels, h.out.sampling_rate, h.out.frame_samples, h.out.bits_consumed, *h.cfg.frame_counter),
                  std::make_tuple(kept ? 2u : 0u, kept ? 44100u : 0u, kept ? 1024u : 0u, !kept ? 0u : size >= 0 ? 8 * uint32_t(size) : c.bits, kept ? 5u : 4u)) << c.name;
        EXPECT_TRUE(allSentinel(h.pcm.data() + (kept ? 2048 : 0), h.pcm.data() + h.pcm.size()) && (!kept || frameOf(h) == frameOf(twin))) << c.name;
        for (int i = 4; i < 7; ++i) {
            h.params.frame_bytes = int32_t(loudPair(i).size());  // exactly the block: decoded whole also with the check on
            ASSERT_EQ(std::make_tuple(decode(h, loudPair(i)), decode(twin, loudPair(i))), std::make_tuple(0, 0));
            EXPECT_EQ(std::make_tuple(frameOf(h), h.out.frame_count), std::make_tuple(frameOf(twin), twin.out.frame_count)) << c.name << i;
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
    struct Sbr { uint32_t id, type; int count; };
    auto fill = [](BitWriter &w, const Sbr &e) { putFill(w, e.count, e.type, e.count & 15, {uint8_t(e.count), uint8_t(e.type)}); };
    auto data = [](BitWriter &w, int count, bool align) {  // data_stream_element() of `count` bytes 0, 1, ...
        put(w, {{4, 3}, {5, 4}, {align, 1}, {std::min(count, 255), 8}, {count - 255, count >= 255 ? 8 : 0}});
        for (int i = align ? (w.count() % 8 ? w.count() % 8 - 8 : 0) : 0; i < count; ++i) i < 0 ? w.bits(0, 1) : w.bits(uint32_t(i), 8);
    };
    const Sbr a{0, 13, 5}, a2{1, 14, 1}, b{0, 13, 268}, c{1, 14, 15}, skip{0, 13, 4};
    struct Call { std::function<void(BitWriter &)> build; bool lost; int32_t status; std::vector<Sbr> handedOver; };
    const Call calls[] = {
        {[&](BitWriter &w) { putLoudSce(w, 1), fill(w, a), putLoudPair(w, 2), fill(w, a2), putLoudSce(w, 3), fill(w, skip), data(w, 300, true), fill(w, skip); }, 0, 0, {}},
        {[&](BitWriter &w) { putLoudSce(w, 4), fill(w, b), fill(w, skip), putLoudSce(w, 5, 3), fill(w, skip), data(w, 255, false), putFill(w, 0); }, 0, 0, {a, a2}},
        {[&](BitWriter &w) { fill(w, skip), putLoudPair(w, 4), fill(w, {1, 13, 269}), putLoudSce(w, 9), fill(w, {0, 11, 3}), data(w, 0, true); }, 0, 0, {b}},
        {[&](BitWriter &w) { putLoudPair(w, 5), fill(w, a), data(w, 510, false), w.bits(2, 3); }, 0, 33, {}},
        {[&](BitWriter &w) { putLoudPair(w, 6), fill(w, a); }, 1, 0, {}}, {[&](BitWriter &w) { putLoudPair(w, 8), fill(w, c), data(w, 3, true); }, 0, 0, {}},
        {[&](BitWriter &w) { putLoudPair(w, 8); }, 1, 0, {c}},
    };
    Host normal, sbr;
    AacdSbrPayload payload{}, swap{}, previous{};  // the host's records of hand-off mode
    Ints core(6 * 2048);
    std::tie(sbr.cfg.sbr, sbr.cfg.sbr_mode) = std::make_tuple(AacdSbrLink{sbr.cfg.state, &payload, core.data(), &swap, &previous}, 1u);
    for (const Call &k : calls) {
        Block block = blockOf(k.build);
        const uint32_t aligned = 8 * uint32_t(block.size());  // the whole block, end element and byte alignment included
        block.resize(block.size() + 8, 0xFF);  // a longer count would run into these
        std::fill(core.begin(), core.end(), kSentinel);
        payload.entry_count = 77;
        ASSERT_EQ(std::make_tuple(decode(normal, block, k.lost), decode(sbr, block, k.lost)), std::make_tuple(k.status, k.status));
        EXPECT_EQ(std::make_tuple(sbr.out.bits_consumed, sbr.out.num_channels, payload.entry_count),
                  std::make_tuple(k.lost ? 0 : k.status ? normal.out.bits_consumed : aligned, normal.out.num_channels, int32_t(k.handedOver.size()))) << &k - calls;
        for (const Sbr &e : k.handedOver) {
            const AacdSbrPayloadEntry &got = payload.entries[&e - k.handedOver.data()];
            EXPECT_EQ(std::make_tuple(got.element_id, got.extension_type, int(got.byte_count), got.payload[0], got.payload[std::min(e.count - 1, 1)], got.payload[e.count - 1]),
                      std::make_tuple(e.id, e.type, e.count, uint8_t(e.count & 15), uint8_t(e.count > 1 ? e.count : 1), uint8_t(e.count == 1 ? 1 : e.count % 2 ? e.type : e.count)));
        }
        EXPECT_TRUE(allSentinel(sbr.pcm.data(), sbr.pcm.data() + sbr.pcm.size()));
        for (uint32_t s = 0, present = 0; s < 6; ++s) {
            const int32_t *slot = core.data() + 2048 * s;
            const bool used = *sbr.cfg.channel_refs[s][0] != 0;
            EXPECT_TRUE(allSentinel(slot + (used ? 1024 : 0), slot + 2048) && (!used || Ints(slot, slot + 1024) == channelOf(normal, present++))) << s;
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
        decode(h, blockOf([&](BitWriter &w) { putPair(w, noisy.band(20, 13, 80), noisy, 1, 1); }));
        decode(h, blockOf([&](BitWriter &w) { putPair(w, noisy, noisy, later); }));
        EXPECT_EQ(channelOf(h, 0), channelOf(h, 1));
        decode(h, endOnly());
        EXPECT_TRUE(channelOf(h, 0) != Ints(1024) && channelOf(h, 0) != channelOf(h, 1)) << later;
    }
    Chan l1 = loud(0), r1 = loud(3), l2 = loud(5, 4, 170), r2 = loud(7, 4, 165);
    l1.shape = 1;
    Host h;
    for (int m : {-1, 0, 0}) ASSERT_EQ(decode(h, blockOf([&](BitWriter &w) { putPair(w, m ? l1 : l2, m ? r1 : r2, m); })), AACD_OK);
    for (uint32_t ch = 0; ch < 2; ++ch) {
        Host m;
        for (int k : {1, 2, 2}) ASSERT_EQ(decode(m, blockOf([&](BitWriter &w) { putSce(w, k == 1 ? ch ? r1 : l1 : ch ? r2 : l2); })), AACD_OK);
        EXPECT_TRUE(channelOf(m, 0) != Ints(1024) && channelOf(h, ch) == channelOf(m, 0)) << ch;
    }
}

}  // namespace
