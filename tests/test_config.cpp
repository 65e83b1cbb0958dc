// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// Program configuration elements written bit by bit and parsed back, the
// channel map in both modes over several frames, channel element decoding
// up to dequantised spectra, and the stream configuration input.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <tuple>
#include <vector>

#include "config/config.h"
#include "config/huffdec1.h"
#include "decoder/decoder.h"
#include "random_ics.h"

namespace {

struct Entry { int32_t isCpe, tag; };

// Fields of one program configuration element as written into a block
// (the isCpe flags of lfe and assoc are not written).
struct Pce {
    uint32_t tag = 0, profile = 1, sf = 4;
    std::vector<Entry> front, side, back, lfe, assoc, cc;
    // Override the counts (for checks that fail before the lists are read).
    int frontN = -1, sideN = -1, backN = -1, lfeN = -1, ccN = -1;
    int mono = -1, stereo = -1, matrix = -1, pseudo = 0;
    size_t commentBytes = 0;
};

// Writes the element (without the 3-bit id) after `prefix` filler bits and
// a marker byte after it.  Returns the bit position just after the element.
size_t writePce(BitWriter &w, const Pce &e, int prefix) {
    w.bits((1u << prefix) - 1, prefix);
    auto cnt = [](int forced, size_t n) { return forced >= 0 ? uint32_t(forced) : uint32_t(n); };
    put(w, {{e.tag, 4}, {e.profile, 2}, {e.sf, 4}, {cnt(e.frontN, e.front.size()), 4}, {cnt(e.sideN, e.side.size()), 4},
            {cnt(e.backN, e.back.size()), 4}, {cnt(e.lfeN, e.lfe.size()), 2}, {e.assoc.size(), 3},
            {cnt(e.ccN, e.cc.size()), 4}});
    for (int m : {e.mono, e.stereo}) put(w, {{m >= 0, 1}, {m, m >= 0 ? 4 : 0}});
    put(w, {{e.matrix >= 0, 1}, {e.matrix, e.matrix >= 0 ? 2 : 0}, {e.pseudo, e.matrix >= 0 ? 1 : 0}});
    for (const auto *l : {&e.front, &e.side, &e.back, &e.lfe, &e.assoc, &e.cc})
        for (auto &x : *l) put(w, {{x.isCpe, l == &e.lfe || l == &e.assoc ? 0 : 1}, {x.tag, 4}});
    w.bits(0, (8 - w.count() % 8) % 8);
    w.bits(uint32_t(e.commentBytes), 8);
    for (size_t i = 0; i < e.commentBytes; ++i) w.bits(0x41 + i % 26, 8);
    const size_t end = w.count();
    w.bits(0xA5, 8);
    return end;
}

std::unique_ptr<AacdDecoderState> makeState() {
    auto st = std::make_unique<AacdDecoderState>();
    std::memcpy(st->sampleRates, AACD_sampleRateTable, sizeof st->sampleRates);
    st->pMcInfo = &st->mcInfo;
    std::tie(st->implicitConfig, st->configTag, st->configId, st->mcInfo.samplingRateIndex, st->frameOk) =
        std::make_tuple(1, -1, -1, 3, 1);
    return st;
}

// Writes the element after `prefix` filler bits and parses it back.
struct Parsed {
    int32_t status, tag = -9;
    size_t end, pos;  // bit positions: just after the element, after parsing
    uint32_t marker;  // the 8 bits after the parsed position
};
Parsed writeAndParse(AacdDecoderState &st, const Pce &e, int prefix = 0) {
    BitWriter w;
    Parsed r;
    r.end = writePce(w, e, prefix);
    st.bitPos = w.start();
    aacd::bitSkip(st.bitPos, prefix);
    r.status = AACD_get_prog_config(&st.progConfig, &r.tag, &st);
    r.pos = static_cast<size_t>(bitsFrom(w.start(), st.bitPos));
    aacd::BitReader after = st.bitPos;
    r.marker = aacd::bitGet(after, 8);
    return r;
}

std::vector<int> presentSlots(const AacdMcInfo &m) {
    std::vector<int> v;
    for (int s = 0; s < 6; ++s)
        if (m.slot[s].present) v.push_back(s);
    return v;
}

void expectList(const AacdElementList &l, const std::vector<Entry> &e, bool tagsOnly = false) {
    EXPECT_EQ(l.numElements, int32_t(e.size()));
    for (size_t i = 0; i < e.size(); ++i)
        EXPECT_EQ(std::make_tuple(l.isCpe[i], l.tag[i]), std::make_tuple(tagsOnly ? 0 : e[i].isCpe, e[i].tag)) << i;
}

// Program configurations entered into the map (no bit parsing).
AacdProgConfig makeProg(std::vector<Entry> front, std::vector<Entry> back = {}, std::vector<int32_t> lfe = {},
                        int32_t tag = 0, int32_t sf = 4) {
    AacdProgConfig p{};
    std::tie(p.profile, p.samplingFrequencyIndex, p.elementInstanceTag) = std::make_tuple(1, sf, tag);
    for (auto [list, in] : {std::pair{&p.front, &front}, std::pair{&p.back, &back}}) {
        list->numElements = int32_t(in->size());
        for (size_t i = 0; i < in->size(); ++i) std::tie(list->isCpe[i], list->tag[i]) = std::tie((*in)[i].isCpe, (*in)[i].tag);
    }
    p.lfe.numElements = int32_t(lfe.size());
    for (size_t i = 0; i < lfe.size(); ++i) p.lfe.tag[i] = lfe[i];
    return p;
}
AacdProgConfig hostProg(int32_t tag, std::vector<Entry> front, int32_t sf = 4) { return makeProg(front, {}, {}, tag, sf); }

// ------------------------------------------------------------ parsing

// The whole element is read from any bit offset and entered; the largest
// value of each checked field is accepted (the first refused values:
// FailingChecksStopAtTheirField).  Comments of any length are read past;
// fields of absent mixdowns keep their values (77 to 80 here).
TEST(ProgConfig, ValidElementsAreEntered) {
    struct Case { const char *name; Pce e; std::vector<int> slots; std::vector<Entry> slotTags = {}; };
    auto mk = [](auto f) { Pce e; e.front = {{0, 0}}; f(e); return e; };
    const Case cases[] = {
        {"stereo, all mixdowns", mk([](Pce &e) {
             e.front = {{1, 0}};
             std::tie(e.mono, e.stereo, e.matrix, e.pseudo, e.commentBytes) = std::make_tuple(5, 12, 3, 1, 1);
         }), {1, 2}},
        {"5.1", mk([](Pce &e) {
             std::tie(e.tag, e.sf, e.commentBytes) = std::make_tuple(3u, 3u, 3u);
             e.front = {{0, 4}, {1, 2}};
             e.back = {{1, 9}};
             e.lfe = {{0, 6}};
             e.assoc = {{0, 7}};
         }),
         {0, 1, 2, 3, 4, 5}, {{0, 4}, {1, 2}, {1, 2}, {1, 9}, {1, 9}, {0, 6}}},
        {"sf 11, mono mixdown", mk([](Pce &e) { std::tie(e.sf, e.mono, e.commentBytes) = std::make_tuple(11u, 9, 17u); }), {0}},
        {"sf 0, matrix mixdown", mk([](Pce &e) { std::tie(e.sf, e.matrix, e.commentBytes) = std::make_tuple(0u, 2, 255u); }), {0}},
        {"three front, stereo mixdown", mk([](Pce &e) {
             e.front = {{0, 0}, {1, 1}, {0, 2}};
             std::tie(e.stereo, e.commentBytes) = std::make_tuple(4, 255u);
         }), {0, 1, 2, 3}},
        {"two back singles", mk([](Pce &e) { e.back = {{0, 1}, {0, 2}}; }), {0, 3, 4}},
        {"back pair and LFE", mk([](Pce &e) { e.back = {{1, 1}}; e.lfe = {{0, 3}}; }), {0, 3, 4, 5}},
        {"seven assoc", mk([](Pce &e) { e.assoc = {{0, 1}, {0, 2}, {0, 3}, {0, 4}, {0, 5}, {0, 6}, {0, 7}}; }), {0}},
    };
    for (const Case &c : cases) {
        for (int prefix : {0, 2, 5, 7}) {
            SCOPED_TRACE(std::string(c.name) + " prefix " + std::to_string(prefix));
            auto st = makeState();
            AacdProgConfig &p = st->progConfig;
            std::tie(p.monoMixdown.elementNumber, p.stereoMixdown.elementNumber, p.matrixMixdown.index,
                     p.matrixMixdown.pseudoSurround) = std::make_tuple(77, 78, 79, 80);
            const Parsed r = writeAndParse(*st, c.e, prefix);
            ASSERT_EQ(r.status, 0);
            EXPECT_EQ(std::make_tuple(r.pos, r.end % 8, r.marker, r.tag, st->configTag, st->implicitConfig),
                      std::make_tuple(r.end, 0u, 0xA5u, int32_t(c.e.tag), int32_t(c.e.tag), 0));
            const AacdMcInfo &m = st->mcInfo;
            EXPECT_EQ(std::make_tuple(presentSlots(m), m.numChannels, m.samplingRateIndex, m.profile),
                      std::make_tuple(c.slots, int32_t(c.slots.size()), int32_t(c.e.sf), 1));
            expectList(p.front, c.e.front);
            expectList(p.back, c.e.back);
            expectList(p.lfe, c.e.lfe, true);
            expectList(p.assocData, c.e.assoc, true);
            EXPECT_EQ(std::make_tuple(p.comment[0], p.elementInstanceTag), std::make_tuple(0, 0));  // never written
            const Pce &e = c.e;
            EXPECT_EQ(std::make_tuple(p.monoMixdown.present, p.monoMixdown.elementNumber, p.stereoMixdown.present,
                                      p.stereoMixdown.elementNumber, p.matrixMixdown.present, p.matrixMixdown.index,
                                      p.matrixMixdown.pseudoSurround),
                      std::make_tuple(e.mono >= 0, e.mono >= 0 ? e.mono : 77, e.stereo >= 0, e.stereo >= 0 ? e.stereo : 78,
                                      e.matrix >= 0, e.matrix >= 0 ? e.matrix : 79, e.matrix >= 0 ? e.pseudo : 80));
            for (size_t i = 0; i < c.slotTags.size(); ++i)
                EXPECT_EQ(std::tie(m.slot[c.slots[i]].isCpe, m.slot[c.slots[i]].tag), std::tie(c.slotTags[i].isCpe, c.slotTags[i].tag));
            if (c.slotTags.size()) {
                EXPECT_EQ(std::make_tuple(m.slot[1].partner, m.slot[4].partner, m.leadingFrontSce), std::make_tuple(2, 3, 1));
            }
        }
    }
}

// Each failing check returns -1 right after its field (`consumed` bits
// after the element start), the configuration tag still unset.  Three front
// pairs need seven slots: the whole element is read and the tag selected
// before the map refuses it.
TEST(ProgConfig, FailingChecksStopAtTheirField) {
    struct Case { const char *name; Pce e; int consumed; int32_t tag; std::vector<int> slots; };
    auto mk = [](auto f) { Pce e; e.front = {{1, 0}}; f(e); return e; };
    const Case cases[] = {
        {"profile 0", mk([](Pce &e) { e.profile = 0; }), 6, -1, {}},  {"profile 2", mk([](Pce &e) { e.profile = 2; }), 6, -1, {}},
        {"profile 3", mk([](Pce &e) { e.profile = 3; }), 6, -1, {}},  {"sf 12", mk([](Pce &e) { e.sf = 12; }), 10, -1, {}},
        {"sf 15", mk([](Pce &e) { e.sf = 15; }), 10, -1, {}},         {"front 4", mk([](Pce &e) { e.frontN = 4; }), 14, -1, {}},
        {"side 1", mk([](Pce &e) { e.sideN = 1; }), 18, -1, {}},      {"back 3", mk([](Pce &e) { e.backN = 3; }), 22, -1, {}},
        {"lfe 2", mk([](Pce &e) { e.lfeN = 2; }), 24, -1, {}},        {"cc 1", mk([](Pce &e) { e.ccN = 1; }), 31, -1, {}},
        {"seven channels", mk([](Pce &e) { e.tag = 4, e.front = {{1, 0}, {1, 1}, {1, 2}}; }), -1, 4, {1, 2, 3, 4}},
    };
    for (const Case &c : cases) {
        for (int prefix : {0, 3}) {
            SCOPED_TRACE(std::string(c.name) + " prefix " + std::to_string(prefix));
            auto st = makeState();
            const Parsed r = writeAndParse(*st, c.e, prefix);
            EXPECT_EQ(std::make_tuple(r.status, r.pos, r.tag, st->configTag, st->implicitConfig),
                      std::make_tuple(-1, c.consumed < 0 ? r.end : prefix + c.consumed, -9, c.tag, 1));
            EXPECT_EQ(std::make_tuple(presentSlots(st->mcInfo), st->mcInfo.numChannels), std::make_tuple(c.slots, int32_t(c.slots.size())));
        }
    }
}

// The first element fixes the tag in force; an element of another program
// is parsed and ignored, and so are host records of other tags.
TEST(ProgConfig, ElementOfAnotherProgramIsParsedAndIgnored) {
    auto st = makeState();
    Pce first, other;
    first.tag = 0;  // tag 0 is a tag like any other
    first.front = {{1, 0}};
    ASSERT_EQ(writeAndParse(*st, first).status, 0);
    const AacdMcInfo before = st->mcInfo;
    std::tie(other.tag, other.sf) = std::make_tuple(7u, 8u);
    other.front = {{0, 1}};
    other.back = {{1, 3}};
    const Parsed r = writeAndParse(*st, other, 1);
    EXPECT_EQ(std::make_tuple(r.status, r.tag, r.pos, st->configTag), std::make_tuple(0, 7, r.end, 0));
    EXPECT_EQ(std::memcmp(&before, &st->mcInfo, sizeof before), 0);
    EXPECT_EQ(std::make_tuple(st->progConfig.samplingFrequencyIndex, st->progConfig.back.numElements),
              std::make_tuple(8, 1));  // fields filled anyway
    // The program in force again: entered again (explicit flag re-cleared).
    st->implicitConfig = 1;
    const Parsed again = writeAndParse(*st, first);
    EXPECT_EQ(std::make_tuple(again.status, again.tag, st->implicitConfig), std::make_tuple(0, 0, 0));
    std::vector<AacdProgConfig> list = {hostProg(7, {{1, 0}}), hostProg(0, {{0, 1}})};
    AacdBlockParams bp{};
    std::tie(bp.num_prog_configs, bp.prog_configs) = std::make_tuple(2, list.data());
    ASSERT_EQ(AACD_decode_info(st.get(), &bp), 0);
    EXPECT_EQ(std::make_tuple(presentSlots(st->mcInfo), st->mcInfo.slot[0].tag), std::make_tuple(std::vector<int>{0}, 1));
}

// ------------------------------------------------------------ channel map

struct Elt { int32_t id, tag, cw; };  // id 0 SCE, 1 CPE, 3 LFE; cw: common window

// Runs one good or bad frame through the map: reset, elements, restore.
std::vector<int32_t> runFrame(AacdDecoderState &st, const std::vector<Elt> &elts, bool ok = true) {
    AACD_reset_mc_info(&st.mcInfo, &st);
    std::vector<int32_t> r;
    for (const Elt &e : elts) r.push_back(AACD_chn_config(e.id, e.tag, e.cw, &st.mcInfo, &st));
    st.frameOk = ok ? 1 : 0;
    AACD_restore_mc_info(&st.mcInfo, &st);
    st.frameOk = 1;
    return r;
}

TEST(ChannelMap, ImplicitLayoutsOverFrames) {
    struct Case { const char *name; std::vector<Elt> elts; std::vector<int32_t> first, later; int channels; };
    const Elt S{0, 0, 0}, C{1, 0, 1}, L{3, 0, 0};
    const Case cases[] = {
        {"SCE", {S}, {0}, {0}, 1}, {"CPE", {C}, {1}, {1}, 2}, {"SCE SCE", {S, S}, {0, 1}, {1, 2}, 2},
        {"SCE CPE", {S, C}, {0, 1}, {0, 1}, 3}, {"SCE CPE SCE", {S, C, S}, {0, 1, 3}, {0, 1, 3}, 4},
        {"SCE CPE CPE", {S, C, C}, {0, 1, 3}, {0, 1, 3}, 5},
        {"SCE CPE CPE LFE", {S, C, C, L}, {0, 1, 3, 5}, {0, 1, 3, 5}, 6},
        {"SCE CPE CPE SCE", {S, C, C, S}, {0, 1, 3, 5}, {0, 1, 3, 5}, 6},
        // with four channels assigned a single channel still goes to the back
        {"SCE CPE SCE SCE", {S, C, S, S}, {0, 1, 3, 4}, {0, 1, 3, 4}, 5},
        {"SCE CPE SCE SCE SCE", {S, C, S, S, S}, {0, 1, 3, 4, 5}, {0, 1, 3, 4, 5}, 6},
        {"5 SCE", {S, S, S, S, S}, {0, 1, 2, 3, 4}, {0, 1, 2, 3, 4}, 5},
        {"6 SCE", {S, S, S, S, S, S}, {0, 1, 2, 3, 4, 5}, {0, 1, 2, 3, 4, 5}, 6},
        {"SCE SCE CPE", {S, S, C}, {0, 1, 2}, {1, 2, 3}, 4},
        {"SCE SCE SCE CPE", {S, S, S, C}, {0, 1, 2, 3}, {0, 1, 2, 3}, 5},
        {"CPE LFE", {C, L}, {1, 5}, {1, 5}, 3},
        {"3 SCE", {S, S, S}, {0, 1, 2}, {0, 1, 2}, 3}, {"4 SCE", {S, S, S, S}, {0, 1, 2, 3}, {0, 1, 2, 3}, 4},
        {"7th channel", {S, C, C, L, S}, {0, 1, 3, 5, -1}, {0, 1, 3, 5, -1}, 6},
        {"second LFE", {L, L}, {5, -1}, {5, -1}, 1},
        {"third back channel", {S, C, S, C}, {0, 1, 3, -1}, {0, 1, 3, -1}, 4},
        {"CPE at LFE", {S, C, C, C}, {0, 1, 3, -1}, {0, 1, 3, -1}, 5},
        {"other ids", {{2, 0, 0}, {4, 0, 0}, {6, 0, 0}, {-1, 0, 0}}, {0, 0, 0, 0}, {0, 0, 0, 0}, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        auto st = makeState();
        EXPECT_EQ(runFrame(*st, c.elts), c.first);
        for (int f = 0; f < 3; ++f) {
            EXPECT_EQ(runFrame(*st, c.elts), c.later) << "frame " << f + 1;
            EXPECT_EQ(st->mcInfo.numChannels, c.channels);
            EXPECT_EQ(int(presentSlots(st->mcInfo).size()), c.channels);
        }
    }
}

// Implicit mode counts the single front elements of a frame that come
// before its first pair; the next frame starts with that count as
// leadingFrontSce, which puts its first front single channel in slot 0
// (count odd or 0) or slot 1 (even, non-zero).  The pair-seen flag is
// cleared at every frame start, so a pair in one frame does not stop the
// count in the next.
TEST(ChannelMap, ImplicitLeadingSceCountFollowsTheLayoutFromFrameToFrame) {
    const Elt S{0, 0, 0}, C{1, 0, 0};
    struct Frame { std::vector<Elt> elts; std::vector<int32_t> slots; int32_t lead, count; };
    const Frame frames[] = {
        {{C, S}, {1, 3}, 0, 0},        // the single channel after the pair is not counted
        {{S, S}, {0, 1}, 0, 2},        // a new frame counts again
        {{S, C}, {1, 2}, 2, 1},        // even count: the single channel starts at slot 1
        {{S, S}, {0, 1}, 1, 2},
        {{C, S}, {1, 3}, 2, 0},
        {{S, S}, {0, 1}, 0, 2},
        {{S, S, C}, {1, 2, 3}, 2, 2},  // the pair after two single channels
        {{S, S, S}, {1, 2, 3}, 2, 3},  // two channels assigned: the third is still front
        {{S}, {0}, 3, 1},              // odd count: slot 0
        {{C, S, S}, {1, 3, 3}, 1, 0},
        {{S, C, S}, {0, 1, 3}, 0, 1},
        {{S}, {0}, 1, 1},
    };
    auto st = makeState();
    int n = 0;
    for (const Frame &f : frames) {
        SCOPED_TRACE(n++);
        EXPECT_EQ(runFrame(*st, f.elts), f.slots);
        EXPECT_EQ(std::make_tuple(st->mcInfo.leadingFrontSce, st->mcInfo.frontSceCount), std::make_tuple(f.lead, f.count));
    }
}

TEST(ChannelMap, ImplicitOverwriteAndSceAtLfe) {
    auto st = makeState();
    // CPE, SCE, CPE: the SCE takes slot 3 and the second pair overwrites it.
    EXPECT_EQ(runFrame(*st, {{1, 0, 0}, {0, 1, 0}, {1, 2, 0}}), (std::vector<int32_t>{1, 3, 3}));
    const AacdMcInfo &mi = st->mcInfo;
    EXPECT_EQ(std::make_tuple(mi.slot[3].isCpe, mi.slot[3].tag, mi.numChannels, mi.numFront, mi.numBack),
              std::make_tuple(1, 2, 5, 4, 2));
    EXPECT_EQ(presentSlots(mi), (std::vector<int>{1, 2, 3, 4}));

    // Direct overwrite: five front channels then a back element.
    AacdMcInfo m{};
    EXPECT_EQ(AACD_enter_chn(1, 0, kPosFront, 0, &m), 1);
    EXPECT_EQ(AACD_enter_chn(1, 1, kPosFront, 0, &m), 3);
    EXPECT_EQ(AACD_enter_chn(0, 7, kPosBack, 0, &m), 3);
    // single channels leave isLeft/partner alone
    EXPECT_EQ(std::make_tuple(m.slot[3].tag, m.slot[3].isCpe, m.slot[3].isLeft, m.slot[3].partner, m.numChannels),
              std::make_tuple(7, 0, 1, 4, 5));
    EXPECT_EQ(AACD_enter_chn(0, 0, kPosSide, 0, &m), -1);
    EXPECT_EQ(AACD_enter_chn(0, 0, 0x7A, 0, &m), -1);
    EXPECT_EQ(AACD_enter_chn(0, 0, kPosFront, 0, &m), 5);
    EXPECT_EQ(AACD_enter_chn(0, 0, kPosFront, 0, &m), -1);
    EXPECT_EQ(m.numChannels, 6);  // counted, with overwrites
}

void enterExplicit(AacdDecoderState &st, const AacdProgConfig &p) {
    AACD_reset_mc_info(&st.mcInfo, &st);
    ASSERT_EQ(AACD_enter_mc_info(&st.mcInfo, &p, &st), 1);
    st.implicitConfig = 0;
}

TEST(ChannelMap, ExplicitLookups) {
    struct Case { const char *name; AacdProgConfig prog; std::vector<Elt> elts; std::vector<int32_t> slots; };
    const Case cases[] = {
        {"pair found thrice", makeProg({{1, 0}}), {{1, 0, 0}, {1, 0, 0}, {1, 0, 0}}, {1, 2, -1}},
        {"SCE and LFE same tag", makeProg({{0, 0}}, {}, {0}), {{3, 0, 0}, {0, 0, 0}}, {0, 5}},
        {"missing element", makeProg({{1, 0}}), {{0, 0, 0}, {1, 1, 0}}, {-1, -1}},
        {"5.1 any order", makeProg({{0, 1}, {1, 2}}, {{1, 3}}, {4}), {{3, 4, 0}, {1, 3, 1}, {0, 1, 0}, {1, 2, 0}}, {5, 3, 0, 1}},
        {"SCE twice", makeProg({{0, 0}}), {{0, 0, 0}, {0, 0, 0}}, {0, -1}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        auto st = makeState();
        enterExplicit(*st, c.prog);
        for (int f = 0; f < 3; ++f) EXPECT_EQ(runFrame(*st, c.elts), c.slots) << "frame " << f;
    }
}

TEST(ChannelMap, ExplicitPairInSlotTwoAndFive) {
    auto st = makeState();
    AacdMcInfo &mi = st->mcInfo;
    enterExplicit(*st, makeProg({{1, 0}}));
    AACD_reset_mc_info(&mi, st.get());
    EXPECT_EQ(AACD_chn_config(1, 0, 1, &mi, st.get()), 1);
    EXPECT_EQ(mi.slot[2].windowIndex, 1);
    EXPECT_EQ(AACD_chn_config(1, 0, 1, &mi, st.get()), 2);
    EXPECT_EQ(std::make_tuple(mi.slot[2].windowIndex, mi.slot[3].windowIndex), std::make_tuple(2, 2));
    // Next frame, no common window: own numbers again; lookups keep the
    // entered common-window value.
    AACD_reset_mc_info(&mi, st.get());
    EXPECT_EQ(AACD_chn_config(1, 0, 0, &mi, st.get()), 1);
    EXPECT_EQ(std::make_tuple(mi.slot[2].windowIndex, mi.slot[1].commonWindow), std::make_tuple(2, 0));

    // A pair found in slot 5 has no room.
    AacdMcInfo m{};
    std::tie(m.slot[5].present, m.slot[5].isCpe, m.slot[5].tag) = std::make_tuple(1, 1, 2);
    EXPECT_EQ(AACD_enter_chn(1, 2, kPosLookup, 0, &m), -1);
    EXPECT_EQ(m.slot[5].decoded, 1);
}

// Entering a program sets the leading single channel count from its front
// list; slots the program does not assign keep their presence, and the
// coupling tags are copied.
TEST(ChannelMap, EnteredProgramLeadingCountAndCoupling) {
    struct Case { std::vector<Entry> front; int32_t lead; std::vector<int> slots; };
    const Case cases[] = {
        {{{0, 0}}, 1, {0}}, {{{0, 0}, {0, 1}}, 2, {1, 2}}, {{{0, 0}, {0, 1}, {0, 2}}, 3, {0, 1, 2}},
        {{{1, 0}, {0, 1}}, 0, {1, 2, 3}}, {{{0, 0}, {1, 1}, {0, 2}}, 1, {0, 1, 2, 3}}, {{}, 0, {}},
    };
    for (const Case &c : cases) {
        auto st = makeState();
        st->mcInfo.leadingFrontSce = 9;
        enterExplicit(*st, makeProg(c.front));
        EXPECT_EQ(std::make_tuple(st->mcInfo.leadingFrontSce, st->mcInfo.frontSceCount, presentSlots(st->mcInfo)),
                  std::make_tuple(c.lead, c.lead, c.slots));
    }
    auto st = makeState();
    runFrame(*st, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {3, 0, 0}});
    AacdProgConfig p = makeProg({{1, 5}}, {}, {}, 0, 7);
    std::tie(p.validCc.numElements, p.validCc.tag[0], p.validCc.tag[1]) = std::make_tuple(2, 9, 11);
    st->implicitConfig = 0;  // the reset before entering keeps the layout
    enterExplicit(*st, p);
    const AacdMcInfo &m = st->mcInfo;
    EXPECT_EQ(std::make_tuple(presentSlots(m), m.numChannels, m.numCoupling, m.couplingTag[1], m.samplingRateIndex, m.slot[1].tag),
              std::make_tuple(std::vector<int>{0, 1, 2, 3, 4, 5}, 2, 2, 11, 7, 5));
}

// A bad frame brings the last good map back.  Implicit mode: layout and
// counters, not tag and commonWindow; explicit mode: the decoded marks only.
TEST(ChannelMap, BadFrameRestore) {
    auto st = makeState();
    runFrame(*st, {{1, 0, 1}});  // good: stereo
    const int32_t goodIndex = st->mcInfo.slot[2].windowIndex;
    runFrame(*st, {{0, 4, 0}, {1, 2, 0}, {1, 3, 0}}, false);
    const AacdMcInfo &m = st->mcInfo;
    EXPECT_EQ(std::make_tuple(m.numChannels, presentSlots(m), m.slot[2].windowIndex, m.numFront, m.numBack),
              std::make_tuple(2, std::vector<int>{1, 2}, goodIndex, 3, 0));
    EXPECT_EQ(std::make_tuple(m.slot[1].tag, m.slot[1].commonWindow), std::make_tuple(2, 0));
    // The single channel count of the last good frame is kept.
    auto s2 = makeState();
    const std::vector<Elt> two = {{0, 0, 0}, {0, 1, 0}};
    EXPECT_EQ(runFrame(*s2, two), (std::vector<int32_t>{0, 1}));
    runFrame(*s2, {{1, 0, 0}}, false);
    EXPECT_EQ(s2->mcInfo.frontSceCount, 2);
    EXPECT_EQ(runFrame(*s2, two), (std::vector<int32_t>{1, 2}));

    auto s3 = makeState();
    const AacdMcInfo &e = s3->mcInfo;
    enterExplicit(*s3, makeProg({{0, 0}, {1, 1}}));
    runFrame(*s3, {{0, 0, 0}});  // good: slot 0 decoded; counters are not saved
    EXPECT_EQ(std::make_tuple(s3->mcInfoGood.slot[0].decoded, s3->mcInfoGood.slot[1].decoded, s3->mcInfoGood.numChannels),
              std::make_tuple(1, 0, 0));
    s3->mcInfo.numChannels = 3;
    runFrame(*s3, {{1, 1, 0}}, false);
    EXPECT_EQ(std::make_tuple(e.slot[0].decoded, e.slot[1].decoded, e.numChannels, presentSlots(e)),
              std::make_tuple(1, 0, 3, std::vector<int>{0, 1, 2}));
}

// ------------------------------------------------------------ channel element decoding

// A random channel layout at sampling index sri (codebooks 0 to 11).
Ics layoutAt(std::mt19937 &rng, bool shortWindows, int sri) {
    for (;;) {
        Ics e;
        e.ch = randomLayout(rng, shortWindows, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11});
        if (e.ch.sri == sri) return e;
    }
}

// The coded values of ch inverse-quantised: what the element must leave in
// the slot's spectrum (coded order, as far as the channel has values).
std::vector<int32_t> dequantised(const Channel &ch) {
    std::vector<int32_t> v(ch.values);
    v.resize(1024, 0);
    std::vector<int16_t> sf(ch.sf);
    std::vector<uint8_t> cb(ch.sfbCb);
    sf.push_back(0);
    cb.push_back(0);
    EXPECT_EQ(omxACAAC_QuantInv_S32_I(v.data(), sf.data(), ch.numGroups, ch.groupLen, ch.maxSfb, cb.data(), ch.sri,
                                      ch.shortWindows ? 128 : 1024), 0);
    v.resize(ch.values.size());
    return v;
}

const std::vector<int32_t> kUntouchedSpectrum(1024, kUntouched);
const std::vector<uint8_t> k77(6, 0x77);

// Runs AACD_huffdecode on a block whose element id starts `at` bits into
// it, with the window bookkeeping and spectra of the call exposed (0x77 and
// kUntouched before the call).
struct ElementCall {
    std::unique_ptr<AacdDecoderState> st = makeState();
    uint8_t seq[6], shape[6][2], ms[6];
    std::vector<std::vector<int32_t>> spectra = std::vector<std::vector<int32_t>>(6, kUntouchedSpectrum);
    int32_t first = -9, last = -9;
    int bits = 0;  // read from the element start (its 3-bit id) to the end of the call

    ElementCall() {
        reset();
        AACD_reset_mc_info(&st->mcInfo, st.get());
        for (AacdTnsRecord &t : st->tns) std::fill(std::begin(t.info.tnsNumFilters), std::end(t.info.tnsNumFilters), 9);
    }
    void reset() {
        std::memset(seq, 0x77, sizeof seq);
        std::memset(shape, 0x77, sizeof shape);
        std::memset(ms, 0x77, sizeof ms);
        for (auto &v : spectra) v = kUntouchedSpectrum;
        first = last = -9;
    }
    int32_t run(const BitWriter &w, int at, int32_t id) {  // the id is not read
        st->bitPos = w.start();
        aacd::bitSkip(st->bitPos, at + 3);
        int32_t *const ptr[6] = {spectra[0].data(), spectra[1].data(), spectra[2].data(),
                                 spectra[3].data(), spectra[4].data(), spectra[5].data()};
        const int32_t r = AACD_huffdecode(id, &st->mcInfo, seq, shape, ms, ptr, &first, &last, st.get());
        bits = bitsFrom(w.start(), st->bitPos) - at;
        return r;
    }
    std::vector<int32_t> head(int slot, size_t n) const {
        return std::vector<int32_t>(spectra[slot].begin(), spectra[slot].begin() + static_cast<long>(n));
    }
    std::vector<uint8_t> msFlags() const { return std::vector<uint8_t>(ms, ms + 6); }
    std::vector<uint8_t> seqs() const { return std::vector<uint8_t>(seq, seq + 6); }
    void expectWork(int slot, const Channel &ch, int32_t tnsFlag) const {
        SCOPED_TRACE(slot);
        const AacdSlotWork &wk = st->slotWork[slot];
        EXPECT_EQ(std::make_tuple(wk.windowLength, wk.maxSfb, wk.numWinGrp, wk.tnsFlag),
                  std::make_tuple(ch.shortWindows ? 128 : 1024, ch.maxSfb, ch.numGroups, tnsFlag));
        for (int g = 0; g < ch.numGroups; ++g) EXPECT_EQ(wk.winGrpLen[g], ch.groupLen[g]) << g;
        EXPECT_EQ(head(slot, ch.values.size()), dequantised(ch));
    }
};

// A common-window pair whose element starts at every bit offset: after its
// tag and common_window the position stands at offset 0 to 7, and the
// element steps back five bits to read the pair head again (within the byte
// from offset 5 on, into the previous byte below).  Long and short windows,
// each ms_mask_present value (3 is kept as 255).  The left channel carries
// TNS filters, the right one none: its record, shared with slot 0, has the
// filter counts of all its windows cleared.
TEST(ChannelElement, CommonWindowPairAtEveryBitOffset) {
    const uint8_t msFlagOf[4] = {0, 1, 2, 255};
    long nonzero = 0;
    for (int prefix = 0; prefix < 8; ++prefix) {
        for (bool shortWindows : {false, true}) {
            for (uint32_t mask = 0; mask < 4; ++mask) {
                SCOPED_TRACE(testing::Message() << "prefix " << prefix << " short " << shortWindows << " mask " << mask);
                std::mt19937 rng(static_cast<uint32_t>(prefix * 8 + mask * 2 + shortWindows));
                const int sri = 3 + prefix, windows = shortWindows ? 8 : 1;
                Ics l = layoutAt(rng, shortWindows, sri), r = l;
                r.ch.globalGain = l.ch.globalGain + 7;
                const uint32_t tag = static_cast<uint32_t>(15 - prefix), shape = mask & 1;
                BitWriter w;
                put(w, {{0x55, prefix}, {1, 3}, {tag, 4}, {1, 1}});
                writeIcsInfo(w, l.ch, static_cast<int>(shape));
                w.bits(mask, 2);
                std::vector<uint8_t> used;
                for (int i = 0; mask == 1 && i < l.ch.numGroups * l.ch.maxSfb; ++i) {
                    used.push_back(static_cast<uint8_t>(rng() & 1));
                    w.bits(used.back(), 1);
                }
                const std::vector<int> tnsWindows = shortWindows ? std::vector<int>{1, 6} : std::vector<int>{0};
                writeIcs(w, l, rng, true, 0, false, &tnsWindows);
                writeIcs(w, r, rng, true, 0, false, nullptr);
                const int end = w.count() - prefix;
                w.bits(0xA5, 8);

                ElementCall e;
                e.st->mcInfo.samplingRateIndex = sri;
                ASSERT_EQ(e.run(w, prefix, 1), 0);
                EXPECT_EQ(std::make_tuple(e.first, e.last, e.bits), std::make_tuple(1, 2, end));
                EXPECT_EQ(std::make_tuple(e.st->mcInfo.slot[1].tag, e.st->mcInfo.slot[2].windowIndex), std::make_tuple(int32_t(tag), 1));
                EXPECT_EQ(e.msFlags(), (std::vector<uint8_t>{0x77, msFlagOf[mask], 0x77, 0x77, 0x77, 0x77}));
                EXPECT_EQ(e.seqs(), (std::vector<uint8_t>{0x77, uint8_t(shortWindows ? 2 : 0), 0x77, 0x77, 0x77, 0x77}));
                EXPECT_EQ(std::make_tuple(e.shape[1][0], e.shape[1][1], e.shape[2][0]), std::make_tuple(uint8_t(shape), uint8_t(0x77), uint8_t(0x77)));
                for (size_t i = 0; i < used.size(); ++i)
                    EXPECT_EQ(e.st->chanPairElt.msUsed[i / l.ch.maxSfb][i % l.ch.maxSfb], used[i]) << i;
                e.expectWork(1, l.ch, 1);
                e.expectWork(2, r.ch, 0);
                EXPECT_EQ(e.spectra[0], kUntouchedSpectrum);
                // slot 1's record holds the left channel's filters, slot 2's
                // (even) record has its window counts cleared
                expectTns(l, e.st->tns[1].info, e.st->tns[1].coef);
                for (int win = 0; win < 8; ++win) EXPECT_EQ(e.st->tns[0].info.tnsNumFilters[win], win < windows ? 0 : 9) << win;
                for (int c : {1, 2}) nonzero += std::count_if(e.spectra[c].begin(), e.spectra[c].end(), [](int32_t v) { return v != 0 && v != kUntouched; });
            }
        }
    }
    EXPECT_GT(nonzero, 10000);  // the channels carry content
}

// A pair found at slot 2 of a program with one front pair has its partner
// in slot 1, below it: the element returns 0 with first 2 and last 1 and
// decodes no channel.  Without a common window it has read only its tag and
// common_window; with one, the pair head as well.
TEST(ChannelElement, PairWhosePartnerLiesBelowDecodesNoChannel) {
    for (uint32_t common : {0u, 1u}) {
        SCOPED_TRACE(common);
        std::mt19937 rng(5 + common);
        Ics l = layoutAt(rng, false, 4), r = l;
        BitWriter w;
        put(w, {{1, 3}, {0, 4}, {common, 1}});
        int head = 8;
        if (common) {
            writeIcsInfo(w, l.ch, 1);
            w.bits(2, 2);  // ms_mask_present: all bands
            head = w.count();
        }
        writeIcs(w, l, rng, common != 0, 1, false, nullptr);
        writeIcs(w, r, rng, common != 0, 1, false, nullptr);

        ElementCall e;
        enterExplicit(*e.st, makeProg({{1, 0}}));
        AACD_reset_mc_info(&e.st->mcInfo, e.st.get());
        ASSERT_EQ(e.run(w, 0, 1), 0);
        EXPECT_EQ(std::make_tuple(e.first, e.last, e.bits), std::make_tuple(1, 2, w.count()));
        EXPECT_EQ(e.head(2, 1024), dequantised(r.ch));

        e.reset();
        e.st->slotWork[2].maxSfb = e.st->slotWork[1].maxSfb = 99;
        ASSERT_EQ(e.run(w, 0, 1), 0);
        EXPECT_EQ(std::make_tuple(e.first, e.last, e.bits), std::make_tuple(2, 1, head));
        EXPECT_EQ(std::make_tuple(e.st->slotWork[1].maxSfb, e.st->slotWork[2].maxSfb), std::make_tuple(99, 99));
        for (int s = 0; s < 6; ++s) EXPECT_EQ(e.spectra[s], kUntouchedSpectrum) << s;
        EXPECT_EQ(e.seqs(), k77);
        // M/S flags: without a common window both window indices (1 and 2)
        // are cleared; with one, the pair's own index 2 takes the mask.
        EXPECT_EQ(e.msFlags(), (std::vector<uint8_t>{0x77, uint8_t(common ? 0x77 : 0), uint8_t(common ? 2 : 0), 0x77, 0x77, 0x77}));
    }
}

// ------------------------------------------------------------ stream configuration

TEST(DecodeInfo, FixedParameters) {
    struct Step { int32_t configId; uint32_t sf; int32_t clearImplicitBefore, status, implicitAfter, mapIndex; };
    const Step steps[] = {
        {0, 4, 1, 0, 1, 4},      // first record always sets the flag
        {0, 11, 1, 0, 0, 11},    // same id leaves the cleared flag cleared
        {1, 3, 1, 0, 1, 3},      // new id sets it
        {1, 12, 0, 35, 1, 12},   // 12..15 taken over, status 35
        {1, 15, 0, 35, 1, 15},
        {2, 16, 1, 35, 1, 15},   // 16+: not taken over
        {2, 0xFFFFFFFF, 1, 35, 0, 15}, {2, 0, 0, 0, 0, 0},
    };
    auto st = makeState();
    st->mcInfo.profile = 1;
    for (const Step &s : steps) {
        SCOPED_TRACE(s.sf);
        if (s.clearImplicitBefore) st->implicitConfig = 0;
        AacdBlockParams bp{};
        std::tie(bp.config_id, bp.sampling_index) = std::tie(s.configId, s.sf);
        std::tie(bp.aux_a, bp.aux_b, bp.aux_c, bp.aux_d, bp.aux_e) = std::make_tuple(1, 2, -100, 4, 5);
        const uint32_t prevIdx = st->samplingIndex;
        EXPECT_EQ(AACD_decode_info(st.get(), &bp), s.status);
        EXPECT_EQ(std::make_tuple(st->implicitConfig, st->mcInfo.samplingRateIndex, st->samplingIndex, st->mcInfo.profile),
                  std::make_tuple(s.implicitAfter, s.mapIndex, s.sf >= 16 ? prevIdx : s.sf, 0));
        // auxC is shifted arithmetically: -100 >> 5
        EXPECT_EQ(std::make_tuple(st->configId, st->auxA, st->auxB, st->auxC, st->auxD, st->auxE, st->numProgConfigs),
                  std::make_tuple(s.configId, 1, 2, -4, 4, 5, 0));
        EXPECT_EQ(st->sampleRates[st->mcInfo.samplingRateIndex].samplingRate,
                  s.mapIndex <= 11 ? AACD_sampleRateTable[s.mapIndex].samplingRate : 0u);
    }
    EXPECT_EQ(st->sampleRates[11].samplingRate, 8000u);
}

TEST(DecodeInfo, ProgramConfigurationsAcrossCalls) {
    auto st = makeState();
    std::tie(st->configId, st->samplingIndex, st->auxC) = std::make_tuple(42, 6u, 77);
    // Tag 5 first: becomes the tag in force; the tag 3 record is skipped;
    // the second tag 5 record is the one kept.
    std::vector<AacdProgConfig> list = {hostProg(5, {{0, 0}}, 3), hostProg(3, {{1, 0}}, 8), hostProg(5, {{1, 1}}, 7)};
    AacdBlockParams bp{};
    std::tie(bp.num_prog_configs, bp.prog_configs) = std::make_tuple(3, list.data());
    std::tie(bp.config_id, bp.sampling_index, bp.aux_b, bp.aux_c) = std::make_tuple(1, 2u, 9, 64);
    ASSERT_EQ(AACD_decode_info(st.get(), &bp), 0);
    EXPECT_EQ(std::make_tuple(st->configTag, st->implicitConfig), std::make_tuple(5, 0));
    EXPECT_EQ(presentSlots(st->mcInfo), (std::vector<int>{1, 2}));  // reset before each record
    EXPECT_EQ(std::make_tuple(st->mcInfo.slot[1].tag, st->mcInfo.samplingRateIndex), std::make_tuple(1, 7));
    EXPECT_EQ(std::memcmp(&st->progConfig, &list[2], sizeof(AacdProgConfig)), 0);
    EXPECT_EQ(std::make_tuple(st->numProgConfigs, st->auxB, st->configId, st->samplingIndex, st->auxC),
              std::make_tuple(3, 9, 42, 6u, 77));  // config_id, sampling_index, aux_c not taken over

    // A later list with only tag 3 enters nothing.
    std::vector<AacdProgConfig> only3 = {hostProg(3, {{0, 0}, {1, 1}, {1, 2}})};
    std::tie(bp.num_prog_configs, bp.prog_configs) = std::make_tuple(1, only3.data());
    const AacdMcInfo before = st->mcInfo;
    ASSERT_EQ(AACD_decode_info(st.get(), &bp), 0);
    EXPECT_EQ(std::memcmp(&before, &st->mcInfo, sizeof before), 0);
    EXPECT_EQ(st->configTag, 5);
    EXPECT_EQ(std::memcmp(&st->progConfig, &list[2], sizeof(AacdProgConfig)), 0);

    // A record of tag 5 that does not fit: 36; the one before it is entered.
    std::vector<AacdProgConfig> bad = {hostProg(5, {{0, 2}}), hostProg(5, {{1, 0}, {1, 1}, {1, 2}})};
    std::tie(bp.num_prog_configs, bp.prog_configs) = std::make_tuple(2, bad.data());
    EXPECT_EQ(AACD_decode_info(st.get(), &bp), 36);
    EXPECT_EQ(st->implicitConfig, 1);
    EXPECT_EQ(std::memcmp(&st->progConfig, &bad[0], sizeof(AacdProgConfig)), 0);

    // Negative count: only the stored parameters change.
    std::tie(bp.num_prog_configs, bp.aux_b) = std::make_tuple(-2, 31);
    EXPECT_EQ(AACD_decode_info(st.get(), &bp), 0);
    EXPECT_EQ(std::make_tuple(st->numProgConfigs, st->auxB, st->implicitConfig), std::make_tuple(-2, 31, 1));

    // Switching to fixed parameters with a new id makes the map implicit.
    st->implicitConfig = 0;
    AacdBlockParams fixed{};
    std::tie(fixed.config_id, fixed.sampling_index) = std::make_tuple(7, 4u);
    EXPECT_EQ(AACD_decode_info(st.get(), &fixed), 0);
    EXPECT_EQ(std::make_tuple(st->implicitConfig, st->configTag), std::make_tuple(1, 5));
}

}  // namespace
