// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// Program configuration elements written bit by bit and parsed back, the
// channel map in both modes over several frames, the stream configuration
// input and the channel element's own refusals.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "config/huffdec1.h"
#include "decoder/decoder.h"
#include "random_ics.h"

namespace {

using Ints = std::vector<int32_t>;

std::unique_ptr<AacdDecoderState> makeState() {  // a freshly initialised instance (no buffers)
    auto st = std::make_unique<AacdDecoderState>();
    AACD_decode_init(st.get());
    return st;
}
Ints presentSlots(const AacdMcInfo &m) {
    Ints v;
    for (int32_t s = 0; s < 6; ++s)
        if (m.slot[s].present) v.push_back(s);
    return v;
}

// A program configuration element (after its id).  Front entry i is a pair
// when bit i of frontPairs is set, tag i; side and back entries are single
// channels of tags 8, 9, ...; LFE and associated data tags 0, 1, ...;
// mixdowns: bit 0 mono (element 5), bit 1 stereo (12), bit 2 matrix (index
// 3, pseudo surround); comment bytes.
struct Pce { uint32_t tag = 0, profile = 1, sf = 4, front = 1, side = 0, back = 0, lfe = 0, assoc = 0, cc = 0, frontPairs = 0, mix = 0, comment = 0; };
struct Parsed { int32_t status, tag; int bits, end; };  // bits read after `prefix` filler bits; end: the element's length

Parsed parse(AacdDecoderState &st, const Pce &e, int prefix) {
    BitWriter w;
    put(w, {{0, prefix}, {e.tag, 4}, {e.profile, 2}, {e.sf, 4}, {e.front, 4}, {e.side, 4}, {e.back, 4}, {e.lfe, 2}, {e.assoc, 3}, {e.cc, 4},
            {e.mix & 1, 1}, {5, e.mix & 1 ? 4 : 0}, {e.mix >> 1 & 1, 1}, {12, e.mix & 2 ? 4 : 0}, {e.mix >> 2 & 1, 1}, {7, e.mix & 4 ? 3 : 0}});
    for (uint32_t i = 0; i < e.front; ++i) put(w, {{e.frontPairs >> i & 1, 1}, {i, 4}});
    for (uint32_t i = 0; i < e.side + e.back; ++i) put(w, {{0, 1}, {8 + i, 4}});
    for (uint32_t i = 0; i < e.lfe + e.assoc; ++i) w.bits(i, 4);
    put(w, {{0, int(5 * e.cc)}, {0, (8 - (w.count() + int(5 * e.cc)) % 8) % 8}, {e.comment, 8}});
    for (uint32_t i = 0; i < e.comment; ++i) w.bits(0x41 + i % 26, 8);
    Parsed r{-9, -9, 0, w.count() - prefix};
    w.bits(0xFFFF, 16);
    st.bitPos = w.start();
    aacd::bitSkip(st.bitPos, static_cast<uint32_t>(prefix));
    r.status = AACD_get_prog_config(&st.progConfig, &r.tag, &st);
    return r.bits = bitsFrom(w.start(), st.bitPos) - prefix, r;
}

// Every check refuses its first value outside the supported layout right
// after its field (the tag in force still unset), and accepts the last one
// inside (the upper bounds at once: three front, two back, one LFE, seven
// associated data elements, sampling index 11).  Comments of any length are
// read past; absent mixdowns keep their fields (77 here).  Three front pairs
// need seven slots: the element is read whole and its tag selected before
// the map refuses it.  An element of another program is parsed and ignored.
TEST(ProgConfig, ChecksStopAtTheirFieldAndTheBoundsAreAccepted) {
    struct Case { Pce e; int32_t status; int bits; Ints slots; };  // bits < 0: the whole element
    const Case cases[] = {
        {{0, 0}, -1, 6, {}}, {{0, 2}, -1, 6, {}}, {{0, 1, 12}, -1, 10, {}}, {{0, 1, 4, 4}, -1, 14, {}}, {{0, 1, 4, 1, 1}, -1, 18, {}},
        {{0, 1, 4, 1, 0, 3}, -1, 22, {}}, {{0, 1, 4, 1, 0, 0, 2}, -1, 24, {}}, {{0, 1, 4, 1, 0, 0, 0, 0, 1}, -1, 31, {}},
        {{3, 1, 11, 3, 0, 2, 1, 7, 0, 0, 5, 255}, 0, -1, {0, 1, 2, 3, 4, 5}}, {{0, 1, 0, 1, 0, 0, 0, 0, 0, 1, 2, 1}, 0, -1, {1, 2}},
        {{0, 1, 4, 2, 0, 0, 0, 0, 0, 2}, 0, -1, {0, 1, 2}}, {{4, 1, 4, 3, 0, 0, 0, 0, 0, 7}, -1, -1, {1, 2, 3, 4}},
    };
    for (const Case &c : cases) {
        for (int prefix : {0, 3}) {
            SCOPED_TRACE(testing::Message() << "row " << &c - cases << " prefix " << prefix);
            auto st = makeState();
            AacdProgConfig &p = st->progConfig;
            std::tie(p.monoMixdown.elementNumber, p.stereoMixdown.elementNumber, p.matrixMixdown.index) = std::make_tuple(77, 77, 77);
            const Parsed r = parse(*st, c.e, prefix);
            const int32_t m = int32_t(c.e.mix), tag = c.status && c.bits > 0 ? -1 : int32_t(c.e.tag);
            EXPECT_EQ(std::make_tuple(r.status, r.bits, st->configTag, st->implicitConfig, presentSlots(st->mcInfo)),
                      std::make_tuple(c.status, c.bits < 0 ? r.end : c.bits, tag, c.status ? 1 : 0, c.slots));
            if (c.status) continue;
            EXPECT_EQ(std::make_tuple(r.tag, st->mcInfo.samplingRateIndex, p.front.numElements, p.back.numElements, p.assocData.tag[6], p.comment[0]),
                      std::make_tuple(tag, int32_t(c.e.sf), int32_t(c.e.front), int32_t(c.e.back), c.e.assoc ? 7 : 0, 0));
            EXPECT_EQ(std::make_tuple(p.monoMixdown.present, p.monoMixdown.elementNumber, p.stereoMixdown.present, p.stereoMixdown.elementNumber,
                                      p.matrixMixdown.present, p.matrixMixdown.index, p.matrixMixdown.pseudoSurround),
                      std::make_tuple(m & 1, m & 1 ? 5 : 77, m >> 1 & 1, m & 2 ? 12 : 77, m >> 2 & 1, m & 4 ? 3 : 77, m >> 2 & 1));
        }
    }
    auto st = makeState();
    ASSERT_EQ(parse(*st, {0, 1, 4, 1, 0, 0, 0, 0, 0, 1}, 0).status, 0);  // tag 0 is a tag like any other
    const AacdMcInfo before = st->mcInfo;
    const Parsed r = parse(*st, {7, 1, 8, 2}, 1);
    EXPECT_EQ(std::make_tuple(r.status, r.tag, r.bits, st->configTag, st->progConfig.samplingFrequencyIndex), std::make_tuple(0, 7, r.end, 0, 8));
    EXPECT_EQ(std::memcmp(&before, &st->mcInfo, sizeof before), 0);
}

struct Elt { int32_t id, tag, cw; };  // id 0 SCE, 1 CPE, 3 LFE; cw: common window

// One good or bad frame through the map: reset, elements, restore.
Ints runFrame(AacdDecoderState &st, const std::vector<Elt> &elts, bool ok = true) {
    AACD_reset_mc_info(&st.mcInfo, &st);
    Ints r;
    for (const Elt &e : elts) r.push_back(AACD_chn_config(e.id, e.tag, e.cw, &st.mcInfo, &st));
    st.frameOk = ok;
    return AACD_restore_mc_info(&st.mcInfo, &st), st.frameOk = 1, r;
}

// Implicit mode: the slot of each element in the first and in later frames
// (a frame starts from the count of leading front single channels of the
// frame before: odd or 0 puts the first single channel in slot 0, even in
// slot 1; the count stops at the frame's first pair), -1 for an element that
// finds no room, and the channels counted and present.
TEST(ChannelMap, ImplicitLayoutsOverFrames) {
    struct Case { std::vector<Elt> elts; Ints first, later; int32_t channels; size_t present; };
    const Elt S{0, 0, 0}, C{1, 0, 1}, L{3, 0, 0};
    const Case cases[] = {
        {{S}, {0}, {0}, 1, 1}, {{C}, {1}, {1}, 2, 2}, {{S, S}, {0, 1}, {1, 2}, 2, 2}, {{S, C, S}, {0, 1, 3}, {0, 1, 3}, 4, 4},
        {{S, C, C, L}, {0, 1, 3, 5}, {0, 1, 3, 5}, 6, 6}, {{S, C, C, S}, {0, 1, 3, 5}, {0, 1, 3, 5}, 6, 6},
        {{S, C, S, S, S}, {0, 1, 3, 4, 5}, {0, 1, 3, 4, 5}, 6, 6}, {{S, S, S, S, S, S}, {0, 1, 2, 3, 4, 5}, {0, 1, 2, 3, 4, 5}, 6, 6},
        {{S, S, C}, {0, 1, 2}, {1, 2, 3}, 4, 4}, {{C, S, C}, {1, 3, 3}, {1, 3, 3}, 5, 4}, {{S, S, S}, {0, 1, 2}, {0, 1, 2}, 3, 3},
        {{S, C, C, L, S}, {0, 1, 3, 5, -1}, {0, 1, 3, 5, -1}, 6, 6}, {{L, L}, {5, -1}, {5, -1}, 1, 1},
        {{S, C, S, C}, {0, 1, 3, -1}, {0, 1, 3, -1}, 4, 4}, {{S, C, C, C}, {0, 1, 3, -1}, {0, 1, 3, -1}, 5, 5},
        {{{2, 0, 0}, {4, 0, 0}, {-1, 0, 0}}, {0, 0, 0}, {0, 0, 0}, 0, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "row " << &c - cases);
        auto st = makeState();
        EXPECT_EQ(runFrame(*st, c.elts), c.first);
        for (int f = 0; f < 2; ++f) EXPECT_EQ(runFrame(*st, c.elts), c.later);
        EXPECT_EQ(std::make_tuple(st->mcInfo.numChannels, presentSlots(st->mcInfo).size()), std::make_tuple(c.channels, c.present));
    }
    const Elt P{1, 0, 0};
    auto st = makeState();
    for (const auto &[elts, slots] : std::vector<std::pair<std::vector<Elt>, Ints>>{
             {{P, S}, {1, 3}}, {{S, S}, {0, 1}}, {{S, P}, {1, 2}}, {{S, S}, {0, 1}}, {{S, S, S}, {1, 2, 3}}, {{S}, {0}}, {{S, P, S}, {0, 1, 3}}})
        EXPECT_EQ(runFrame(*st, elts), slots);
    // A bad frame brings back the layout and counters of the last good one.
    runFrame(*st, {S, S});
    runFrame(*st, {{1, 4, 1}, {1, 3, 0}, L}, false);
    const AacdMcInfo &m = st->mcInfo;
    EXPECT_EQ(std::make_tuple(m.numChannels, presentSlots(m), m.numFront, m.numBack, m.numLfe, m.frontSceCount), std::make_tuple(2, Ints{0, 1}, 2, 0, 0, 2));
    EXPECT_EQ(runFrame(*st, {S, S}), (Ints{1, 2}));
    // The role of a slot: present, pair, first of the pair, tag.
    const AacdChannelSlot single{0, 1, 5, 0, 0, 1, 0, 0, {}, {}}, second{0, 1, 5, 1, 0, 0, 0, 0, {}, {}};
    EXPECT_EQ(std::make_tuple(aacd::slotRole(single), aacd::slotRole(second), aacd::slotRole(m.slot[5])), std::make_tuple(41, 43, 0));
}

// Explicit mode (a program element entered): elements are found by pair
// flag and tag, each once per frame, in any order, an LFE element like a
// single channel; a pair's second channel shares the window index of the
// first only with a common window.  A bad frame restores only the marks of
// the elements found.
TEST(ChannelMap, ExplicitLookups) {
    struct Case { Pce program; std::vector<Elt> elts; Ints slots, present; };
    const Case cases[] = {
        {{0, 1, 7, 1, 0, 0, 0, 0, 0, 1}, {{1, 0, 0}, {1, 0, 0}, {1, 0, 0}}, {1, 2, -1}, {1, 2}},
        {{0, 1, 7, 1, 0, 0, 1}, {{3, 0, 0}, {0, 0, 0}, {0, 0, 0}}, {0, 5, -1}, {0, 5}},
        {{0, 1, 7, 1, 0, 0, 0, 0, 0, 1}, {{0, 0, 0}, {1, 1, 0}}, {-1, -1}, {1, 2}},
        {{0, 1, 7, 2, 0, 2, 1, 0, 0, 2}, {{3, 0, 0}, {1, 1, 1}, {0, 9, 0}, {0, 8, 0}, {0, 0, 0}}, {0, 1, 4, 3, 5}, {0, 1, 2, 3, 4, 5}},
        {{0, 1, 7, 2}, {{0, 1, 0}}, {2}, {1, 2}}, {{0, 1, 7, 2, 0, 0, 0, 0, 0, 1}, {{0, 1, 0}, {1, 0, 0}}, {3, 1}, {1, 2, 3}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "row " << &c - cases);
        auto st = makeState();
        ASSERT_EQ(parse(*st, c.program, 0).status, 0);
        const AacdMcInfo &m = st->mcInfo;
        EXPECT_EQ(std::make_tuple(presentSlots(m), m.samplingRateIndex), std::make_tuple(c.present, 7));
        for (int f = 0; f < 3; ++f) EXPECT_EQ(runFrame(*st, c.elts), c.slots);
        for (size_t i = 0; i < c.elts.size(); ++i)
            EXPECT_TRUE(c.elts[i].id != 1 || c.slots[i] < 0 || m.slot[c.slots[i] + 1].windowIndex == c.slots[i] + 1 - c.elts[i].cw) << i;
        st->mcInfo.numChannels = 9;
        runFrame(*st, {c.elts.back()}, false);
        EXPECT_EQ(std::make_tuple(m.slot[c.slots[0] < 0 ? 1 : c.slots[0]].decoded, m.numChannels), std::make_tuple(c.slots[0] >= 0, 9));
    }
    AacdMcInfo m{};  // a pair found in slot 5 has no room; side channels and unknown positions have none
    std::tie(m.slot[5].present, m.slot[5].isCpe, m.slot[5].tag) = std::make_tuple(1, 1, 2);
    EXPECT_EQ(std::make_tuple(AACD_enter_chn(1, 2, kPosLookup, 0, &m), AACD_enter_chn(0, 0, kPosSide, 0, &m), AACD_enter_chn(0, 0, 0x7A, 0, &m)),
              std::make_tuple(-1, -1, -1));
}

AacdProgConfig hostRecord(int32_t tag, int32_t pairs, int32_t sf = 4) {
    AacdProgConfig p{};
    std::tie(p.profile, p.samplingFrequencyIndex, p.elementInstanceTag, p.front.numElements) = std::make_tuple(1, sf, tag, pairs);
    return std::fill_n(p.front.isCpe, pairs, 1), p;
}

// Fixed parameters: indices up to 15 are taken over, 12 to 15 with status
// 35, 16 and more not at all; a new config_id makes the map implicit again.
// Host records: the first record's tag (0) is the tag in force, records of
// other tags are skipped, the last matching one is kept; config_id,
// sampling_index and aux_c are not taken over.  A record of sampling index
// 12 is refused before the map is touched, one that does not fit after.
TEST(DecodeInfo, FixedParametersAndHostRecords) {
    struct Step { int32_t configId; uint32_t sf; bool clearBefore; int32_t status, implicitAfter, index; };
    const Step steps[] = {{0, 4, true, 0, 1, 4}, {0, 11, true, 0, 0, 11}, {1, 12, true, 35, 1, 12},
                          {1, 15, false, 35, 1, 15}, {2, 16, false, 35, 1, 15}, {2, 0xFFFFFFFF, false, 35, 1, 15}};
    auto st = makeState();
    AacdBlockParams bp{};
    for (const Step &s : steps) {
        SCOPED_TRACE(s.sf);
        st->implicitConfig = !s.clearBefore;
        std::tie(bp.config_id, bp.sampling_index, bp.aux_a, bp.aux_b, bp.aux_c, bp.aux_d, bp.aux_e) = std::make_tuple(s.configId, s.sf, 1, 2, -100, 4, 5);
        EXPECT_EQ(AACD_decode_info(st.get(), &bp), s.status);
        EXPECT_EQ(std::make_tuple(st->implicitConfig, st->mcInfo.samplingRateIndex, st->samplingIndex, st->configId, st->auxA, st->auxB, st->auxC, st->auxD, st->auxE),
                  std::make_tuple(s.implicitAfter, s.index, uint32_t(s.index), s.configId, 1, 2, -4, 4, 5));  // -100 >> 5
    }
    std::vector<AacdProgConfig> list = {hostRecord(0, 0), hostRecord(0, 1, 7), hostRecord(1, 2)};
    list[0].front.numElements = 1;
    std::tie(bp.num_prog_configs, bp.prog_configs, bp.config_id, bp.aux_b, bp.aux_c) = std::make_tuple(3, list.data(), 9, 6, 64);
    ASSERT_EQ(AACD_decode_info(st.get(), &bp), 0);
    EXPECT_EQ(std::make_tuple(st->configTag, st->implicitConfig, presentSlots(st->mcInfo), st->mcInfo.samplingRateIndex), std::make_tuple(0, 0, Ints{1, 2}, 7));
    EXPECT_EQ(std::make_tuple(st->numProgConfigs, st->auxB, st->configId, st->samplingIndex, st->auxC), std::make_tuple(3, 6, 2, 15u, -4));
    EXPECT_EQ(std::memcmp(&st->progConfig, &list[1], sizeof(AacdProgConfig)), 0);
    for (auto [rec, status, index] : {std::tuple{hostRecord(0, 1, 11), 0, 11}, {hostRecord(0, 1, 12), 36, 11}, {hostRecord(0, 3), 36, 4}}) {
        std::tie(bp.prog_configs, bp.num_prog_configs) = std::make_tuple(&rec, 1);
        EXPECT_EQ(AACD_decode_info(st.get(), &bp), status);
        EXPECT_EQ(std::make_tuple(st->mcInfo.samplingRateIndex, st->implicitConfig), std::make_tuple(index, index == 4 ? 1 : 0));
    }
    bp.prog_configs = nullptr;
    EXPECT_EQ(AACD_decode_info(st.get(), &bp), 36);
}

// The channel element refuses an element id other than 0, 1 and 3 right
// after its tag, before it touches anything.
TEST(ChannelElement, RefusesOtherElementIds) {
    auto st = makeState();
    const uint8_t zeros[8] = {};
    st->bitPos = aacd::bitReaderAt(zeros, 8);
    EXPECT_EQ(AACD_huffdecode(2, &st->mcInfo, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, st.get()), -1);
    EXPECT_EQ(aacd::bitIndex(st->bitPos), 4u);
}

}  // namespace
