// Program configuration elements written bit by bit and parsed back, the
// channel map in both modes over several frames, channel element decoding
// up to dequantised spectra, and the stream configuration input.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>
#include <tuple>
#include <vector>

#include "channel_encoder.h"
#include "config/config.h"
#include "config/huffdec1.h"
#include "decoder/decoder.h"

namespace {

struct Entry { int32_t isCpe, tag; };

// Fields of one program configuration element as written into a block.
struct Pce {
    uint32_t tag = 0, profile = 1, sf = 4;
    std::vector<Entry> front, side, back;
    std::vector<uint32_t> lfe, assoc;
    std::vector<Entry> cc;
    // Override the counts (for checks that fail before the lists are read).
    int frontN = -1, sideN = -1, backN = -1, lfeN = -1, ccN = -1;
    int mono = -1, stereo = -1, matrix = -1, pseudo = 0;
    std::vector<uint8_t> comment;
};

class Writer {
public:
    explicit Writer(size_t n = 512) : buf(n, 0) { p = buf.data(); }
    void put(uint32_t v, int n) { ASSERT_EQ(armPackBits(&p, &off, v, n), 0); }
    size_t bitsWritten() const { return static_cast<size_t>(p - buf.data()) * 8 + off; }
    std::vector<uint8_t> buf;
    uint8_t *p;
    uint32_t off = 0;
};

// Writes the element (without the 3-bit id) after `prefix` filler bits.
// Returns the bit position just after the element.
size_t writePce(Writer &w, const Pce &e, int prefix) {
    for (int i = 0; i < prefix; ++i) w.put(1, 1);
    auto cnt = [](int forced, size_t n) { return forced >= 0 ? uint32_t(forced) : uint32_t(n); };
    const std::pair<uint32_t, int> head[] = {
        {e.tag, 4}, {e.profile, 2}, {e.sf, 4}, {cnt(e.frontN, e.front.size()), 4},
        {cnt(e.sideN, e.side.size()), 4}, {cnt(e.backN, e.back.size()), 4}, {cnt(e.lfeN, e.lfe.size()), 2},
        {uint32_t(e.assoc.size()), 3}, {cnt(e.ccN, e.cc.size()), 4}};
    for (auto [v, n] : head) w.put(v, n);
    for (int m : {e.mono, e.stereo}) {
        w.put(m >= 0, 1);
        if (m >= 0) w.put(uint32_t(m), 4);
    }
    w.put(e.matrix >= 0, 1);
    if (e.matrix >= 0) { w.put(uint32_t(e.matrix), 2); w.put(uint32_t(e.pseudo), 1); }
    for (const auto *l : {&e.front, &e.side, &e.back})
        for (auto &x : *l) { w.put(x.isCpe, 1); w.put(x.tag, 4); }
    for (const auto *l : {&e.lfe, &e.assoc})
        for (auto t : *l) w.put(t, 4);
    for (auto &x : e.cc) { w.put(x.isCpe, 1); w.put(x.tag, 4); }
    if (w.off != 0) w.put(0, 8 - int(w.off));
    w.put(uint32_t(e.comment.size()), 8);
    for (auto c : e.comment) w.put(c, 8);
    const size_t end = w.bitsWritten();
    w.put(0xA5, 8);  // a marker after the element
    return end;
}

std::unique_ptr<AacdDecoderState> makeState() {
    auto st = std::make_unique<AacdDecoderState>();
    std::memcpy(st->sampleRates, AACD_sampleRateTable, sizeof st->sampleRates);
    st->pMcInfo = &st->mcInfo;
    st->implicitConfig = 1;
    st->configTag = -1;
    st->configId = -1;
    st->mcInfo.samplingRateIndex = 3;
    st->frameOk = 1;
    return st;
}

// Writes the element after `prefix` filler bits and parses it back.
struct Parsed {
    int32_t status, tag = -9;
    size_t end, pos;  // bit positions: just after the element, after parsing
    uint32_t marker;  // the 8 bits after the parsed position
};
Parsed writeAndParse(AacdDecoderState &st, const Pce &e, int prefix = 0) {
    Writer w(1024);
    Parsed r;
    r.end = writePce(w, e, prefix);
    st.bitPos = ArmBitPosition{w.buf.data(), 0, nullptr};
    aacd::bitSkip(st.bitPos, prefix);
    r.status = AACD_get_prog_config(&st.progConfig, &r.tag, &st);
    r.pos = static_cast<size_t>(st.bitPos.pByte - w.buf.data()) * 8 + st.bitPos.offset;
    ArmBitPosition after = st.bitPos;
    r.marker = aacd::bitGet(after, 8);
    return r;
}

std::vector<int> presentSlots(const AacdMcInfo &m) {
    std::vector<int> v;
    for (int s = 0; s < 6; ++s)
        if (m.slot[s].present) v.push_back(s);
    return v;
}

// ------------------------------------------------------------ parsing

TEST(ProgConfig, StereoAnd51AndMidByteStart) {
    struct Case { const char *name; Pce e; int prefix; std::vector<int> slots; };
    Pce stereo;
    stereo.front = {{1, 0}};
    Pce five1;
    five1.tag = five1.sf = 3;
    five1.front = {{0, 0}, {1, 0}};
    five1.back = {{1, 1}};
    five1.lfe = {0};
    five1.assoc = {7};
    five1.comment = {'a', 'b', 'c'};
    const Case cases[] = {
        {"stereo", stereo, 0, {1, 2}}, {"stereo+3", stereo, 3, {1, 2}}, {"5.1", five1, 0, {0, 1, 2, 3, 4, 5}},
        {"5.1+5", five1, 5, {0, 1, 2, 3, 4, 5}}, {"5.1+7", five1, 7, {0, 1, 2, 3, 4, 5}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        auto st = makeState();
        const Parsed r = writeAndParse(*st, c.e, c.prefix);
        ASSERT_EQ(r.status, 0);
        EXPECT_EQ(std::make_tuple(r.pos, r.marker, r.tag, st->configTag),
                  std::make_tuple(r.end, 0xA5u, int32_t(c.e.tag), int32_t(c.e.tag)));
        EXPECT_EQ(std::make_tuple(st->implicitConfig, presentSlots(st->mcInfo)), std::make_tuple(0, c.slots));
        EXPECT_EQ(st->mcInfo.numChannels, int32_t(c.slots.size()));
        EXPECT_EQ(std::make_tuple(st->mcInfo.samplingRateIndex, st->mcInfo.profile),
                  std::make_tuple(int32_t(c.e.sf), 1));
        const AacdProgConfig &p = st->progConfig;
        EXPECT_EQ(p.front.numElements, int32_t(c.e.front.size()));
        for (size_t i = 0; i < c.e.front.size(); ++i)
            EXPECT_EQ(std::tie(p.front.isCpe[i], p.front.tag[i]), std::tie(c.e.front[i].isCpe, c.e.front[i].tag));
        EXPECT_EQ(p.assocData.numElements, int32_t(c.e.assoc.size()));
        EXPECT_EQ(p.assocData.tag[0], c.e.assoc.empty() ? 0 : 7);
        EXPECT_EQ(std::make_tuple(p.comment[0], p.elementInstanceTag), std::make_tuple(0, 0));  // never written
    }
}

TEST(ProgConfig, FiveOneSlotTags) {
    auto st = makeState();
    Pce e;
    e.front = {{0, 4}, {1, 2}};
    e.back = {{1, 9}};
    e.lfe = {6};
    ASSERT_EQ(writeAndParse(*st, e).status, 0);
    const int32_t tags[6] = {4, 2, 2, 9, 9, 6}, cpe[6] = {0, 1, 1, 1, 1, 0};
    for (int s = 0; s < 6; ++s)
        EXPECT_EQ(std::tie(st->mcInfo.slot[s].tag, st->mcInfo.slot[s].isCpe), std::tie(tags[s], cpe[s])) << s;
    EXPECT_EQ(std::make_tuple(st->mcInfo.slot[1].partner, st->mcInfo.slot[4].partner, st->mcInfo.leadingFrontSce),
              std::make_tuple(2, 3, 1));
}

// Each failing check returns -1 right after its field: the position then
// stands exactly `consumed` bits after the element start.
TEST(ProgConfig, FailingChecksStopAtTheirField) {
    struct Case { const char *name; Pce e; size_t consumed; };
    auto mk = [](auto f) { Pce e; e.front = {{1, 0}}; f(e); return e; };
    const Case cases[] = {
        {"profile 0", mk([](Pce &e) { e.profile = 0; }), 6}, {"profile 2", mk([](Pce &e) { e.profile = 2; }), 6},
        {"profile 3", mk([](Pce &e) { e.profile = 3; }), 6}, {"sf 12", mk([](Pce &e) { e.sf = 12; }), 10},
        {"sf 15", mk([](Pce &e) { e.sf = 15; }), 10},        {"front 4", mk([](Pce &e) { e.frontN = 4; }), 14},
        {"side 1", mk([](Pce &e) { e.sideN = 1; }), 18},     {"back 3", mk([](Pce &e) { e.backN = 3; }), 22},
        {"lfe 2", mk([](Pce &e) { e.lfeN = 2; }), 24},       {"cc 1", mk([](Pce &e) { e.ccN = 1; }), 31},
    };
    for (const Case &c : cases) {
        for (int prefix : {0, 3}) {
            SCOPED_TRACE(std::string(c.name) + " prefix " + std::to_string(prefix));
            auto st = makeState();
            const Parsed r = writeAndParse(*st, c.e, prefix);
            EXPECT_EQ(std::make_tuple(r.status, r.pos, r.tag, st->configTag),
                      std::make_tuple(-1, prefix + c.consumed, -9, -1));
            EXPECT_EQ(std::make_tuple(st->implicitConfig, st->mcInfo.numChannels), std::make_tuple(1, 0));
        }
    }
}

// The largest value of each checked field is accepted: the whole element is
// read and entered.  (The first refused values are the cases above.)
TEST(ProgConfig, LargestAcceptedValuesPass) {
    struct Case { const char *name; Pce e; std::vector<int> slots; };
    auto mk = [](auto f) { Pce e; e.front = {{0, 0}}; f(e); return e; };
    const Case cases[] = {
        {"sf 11", mk([](Pce &e) { e.sf = 11; }), {0}},
        {"sf 0", mk([](Pce &e) { e.sf = 0; }), {0}},
        {"three front", mk([](Pce &e) { e.front = {{0, 0}, {1, 1}, {0, 2}}; }), {0, 1, 2, 3}},
        {"two back singles", mk([](Pce &e) { e.back = {{0, 1}, {0, 2}}; }), {0, 3, 4}},
        {"back pair and LFE", mk([](Pce &e) { e.back = {{1, 1}}; e.lfe = {3}; }), {0, 3, 4, 5}},
        {"seven assoc", mk([](Pce &e) { e.assoc = {1, 2, 3, 4, 5, 6, 7}; }), {0}},
    };
    for (const Case &c : cases) {
        for (int prefix : {0, 5}) {
            SCOPED_TRACE(std::string(c.name) + " prefix " + std::to_string(prefix));
            auto st = makeState();
            const Parsed r = writeAndParse(*st, c.e, prefix);
            EXPECT_EQ(std::make_tuple(r.status, r.pos, r.marker, r.tag), std::make_tuple(0, r.end, 0xA5u, 0));
            EXPECT_EQ(std::make_tuple(st->implicitConfig, presentSlots(st->mcInfo), st->mcInfo.samplingRateIndex),
                      std::make_tuple(0, c.slots, int32_t(c.e.sf)));
            const AacdProgConfig &p = st->progConfig;
            EXPECT_EQ(std::make_tuple(p.front.numElements, p.back.numElements, p.lfe.numElements, p.assocData.numElements),
                      std::make_tuple(int32_t(c.e.front.size()), int32_t(c.e.back.size()), int32_t(c.e.lfe.size()),
                                      int32_t(c.e.assoc.size())));
            for (size_t i = 0; i < c.e.back.size(); ++i)
                EXPECT_EQ(std::tie(p.back.isCpe[i], p.back.tag[i]), std::tie(c.e.back[i].isCpe, c.e.back[i].tag));
            for (size_t i = 0; i < c.e.assoc.size(); ++i) EXPECT_EQ(p.assocData.tag[i], int32_t(c.e.assoc[i]));
        }
    }
}

TEST(ProgConfig, MapRejectsThreeFrontPairs) {
    auto st = makeState();
    Pce e;
    e.tag = 4;
    e.front = {{1, 0}, {1, 1}, {1, 2}};
    const Parsed r = writeAndParse(*st, e);
    // the whole element is read; the tag was selected before the map refused it
    EXPECT_EQ(std::make_tuple(r.status, r.pos, r.tag, st->configTag),
              std::make_tuple(-1, r.end, -9, 4));
    EXPECT_EQ(st->implicitConfig, 1);
    EXPECT_EQ(presentSlots(st->mcInfo), (std::vector<int>{1, 2, 3, 4}));
}

TEST(ProgConfig, ElementOfAnotherProgramIsParsedAndIgnored) {
    auto st = makeState();
    Pce first, other;
    first.tag = 2;
    first.front = {{1, 0}};
    ASSERT_EQ(writeAndParse(*st, first).status, 0);
    const AacdMcInfo before = st->mcInfo;

    other.tag = 7;
    other.sf = 8;
    other.front = {{0, 1}};
    other.back = {{1, 3}};
    const Parsed r = writeAndParse(*st, other, 1);
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(std::make_tuple(r.tag, r.pos, st->configTag), std::make_tuple(7, r.end, 2));
    EXPECT_EQ(std::memcmp(&before, &st->mcInfo, sizeof before), 0);
    // fields filled anyway
    EXPECT_EQ(std::make_tuple(st->progConfig.samplingFrequencyIndex, st->progConfig.back.numElements),
              std::make_tuple(8, 1));

    // The program in force again: entered again (explicit flag re-cleared).
    st->implicitConfig = 1;
    const Parsed again = writeAndParse(*st, first);
    ASSERT_EQ(again.status, 0);
    EXPECT_EQ(std::make_tuple(again.tag, st->implicitConfig), std::make_tuple(2, 0));
}

TEST(ProgConfig, CommentsAndMixdown) {
    struct Case { const char *name; int mono, stereo, matrix, pseudo; size_t commentLen; };
    const Case cases[] = {
        {"none", -1, -1, -1, 0, 0}, {"all", 5, 12, 3, 1, 1}, {"mono only", 9, -1, -1, 0, 17},
        {"matrix only", -1, -1, 2, 0, 255}, {"stereo, long comment", -1, 4, -1, 0, 255},
    };
    for (const Case &c : cases) {
        for (int prefix : {0, 2, 7}) {
            SCOPED_TRACE(std::string(c.name) + " prefix " + std::to_string(prefix));
            auto st = makeState();
            AacdProgConfig &p = st->progConfig;
            // fields of absent mixdowns keep their values
            std::tie(p.monoMixdown.elementNumber, p.stereoMixdown.elementNumber, p.matrixMixdown.index,
                     p.matrixMixdown.pseudoSurround) = std::make_tuple(77, 78, 79, 80);
            Pce e;
            e.front = {{0, 0}};
            std::tie(e.mono, e.stereo, e.matrix, e.pseudo) = std::tie(c.mono, c.stereo, c.matrix, c.pseudo);
            for (size_t i = 0; i < c.commentLen; ++i) e.comment.push_back(uint8_t(0x41 + i % 26));
            const Parsed r = writeAndParse(*st, e, prefix);
            ASSERT_EQ(r.status, 0);
            EXPECT_EQ(std::make_tuple(r.pos, r.end % 8, p.comment[0], p.monoMixdown.present),
                      std::make_tuple(r.end, 0u, 0, c.mono >= 0));
            EXPECT_EQ(std::make_tuple(p.monoMixdown.elementNumber, p.stereoMixdown.present, p.stereoMixdown.elementNumber, p.matrixMixdown.present),
                      std::make_tuple(c.mono >= 0 ? c.mono : 77, c.stereo >= 0, c.stereo >= 0 ? c.stereo : 78, c.matrix >= 0));
            EXPECT_EQ(std::make_tuple(p.matrixMixdown.index, p.matrixMixdown.pseudoSurround),
                      std::make_tuple(c.matrix >= 0 ? c.matrix : 79, c.matrix >= 0 ? c.pseudo : 80));
        }
    }
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

TEST(ChannelMap, ImplicitPairSlotsAndWindowIndex) {
    auto st = makeState();
    runFrame(*st, {{0, 3, 0}, {1, 5, 1}, {1, 6, 0}});
    const AacdMcInfo &m = st->mcInfo;
    EXPECT_EQ(std::make_tuple(m.slot[0].tag, m.slot[1].isLeft, m.slot[1].partner, m.slot[2].isLeft),
              std::make_tuple(3, 1, 2, 0));
    // slot 2 shares slot 1's window index (common window); slot 4 keeps its own
    EXPECT_EQ(std::make_tuple(m.slot[2].partner, m.slot[2].windowIndex, m.slot[4].windowIndex, m.slot[3].tag),
              std::make_tuple(1, 1, 4, 6));
    EXPECT_EQ(std::make_tuple(m.slot[4].commonWindow, m.frontSceCount), std::make_tuple(0, 1));
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
        {{C, S, S}, {1, 3, 3}, 3, 0},
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
    EXPECT_EQ(std::make_tuple(st->mcInfo.slot[3].isCpe, st->mcInfo.slot[3].tag, st->mcInfo.numChannels, st->mcInfo.numFront),
              std::make_tuple(1, 2, 5, 4));
    EXPECT_EQ(st->mcInfo.numBack, 2);
    EXPECT_EQ(presentSlots(st->mcInfo), (std::vector<int>{1, 2, 3, 4}));

    // Direct overwrite: five front channels then a back element.
    AacdMcInfo m{};
    EXPECT_EQ(AACD_enter_chn(1, 0, kPosFront, 0, &m), 1);
    EXPECT_EQ(AACD_enter_chn(1, 1, kPosFront, 0, &m), 3);
    EXPECT_EQ(AACD_enter_chn(0, 7, kPosBack, 0, &m), 3);
    // single channels leave isLeft/partner alone
    EXPECT_EQ(std::make_tuple(m.slot[3].tag, m.slot[3].isCpe, m.slot[3].isLeft, m.slot[3].partner),
              std::make_tuple(7, 0, 1, 4));
    EXPECT_EQ(m.numChannels, 5);
    EXPECT_EQ(AACD_enter_chn(0, 0, kPosSide, 0, &m), -1);
    EXPECT_EQ(AACD_enter_chn(0, 0, 0x7A, 0, &m), -1);
    EXPECT_EQ(AACD_enter_chn(0, 0, kPosFront, 0, &m), 5);
    EXPECT_EQ(AACD_enter_chn(0, 0, kPosFront, 0, &m), -1);
    EXPECT_EQ(m.numChannels, 6);  // counted, with overwrites
}

TEST(ChannelMap, FrontFirstSlotByLeadingSce) {
    struct Case { int32_t lead; int32_t isCpe; int32_t slot, numFront; };
    const Case cases[] = {{0, 0, 0, 1}, {1, 0, 0, 1}, {2, 0, 1, 2}, {3, 0, 0, 1}, {4, 0, 1, 2}, {0, 1, 1, 3}, {2, 1, 1, 3}};
    for (const Case &c : cases) {
        AacdMcInfo m{};
        m.leadingFrontSce = c.lead;
        EXPECT_EQ(AACD_enter_chn(c.isCpe, 0, kPosFront, 0, &m), c.slot) << c.lead;
        EXPECT_EQ(m.numFront, c.numFront);
    }
}

// Program configurations entered into the map (no bit parsing).
AacdProgConfig makeProg(std::vector<Entry> front, std::vector<Entry> back = {},
                        std::vector<int32_t> lfe = {}) {
    AacdProgConfig p{};
    p.profile = 1;
    p.samplingFrequencyIndex = 4;
    for (auto [list, in] : {std::pair{&p.front, &front}, std::pair{&p.back, &back}}) {
        list->numElements = int32_t(in->size());
        for (size_t i = 0; i < in->size(); ++i) { list->isCpe[i] = (*in)[i].isCpe; list->tag[i] = (*in)[i].tag; }
    }
    p.lfe.numElements = int32_t(lfe.size());
    for (size_t i = 0; i < lfe.size(); ++i) p.lfe.tag[i] = lfe[i];
    return p;
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
        {"5.1 any order", makeProg({{0, 1}, {1, 2}}, {{1, 3}}, {4}),
         {{3, 4, 0}, {1, 3, 1}, {0, 1, 0}, {1, 2, 0}}, {5, 3, 0, 1}},
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
    enterExplicit(*st, makeProg({{1, 0}}));
    AACD_reset_mc_info(&st->mcInfo, st.get());
    EXPECT_EQ(AACD_chn_config(1, 0, 1, &st->mcInfo, st.get()), 1);
    EXPECT_EQ(st->mcInfo.slot[2].windowIndex, 1);
    EXPECT_EQ(AACD_chn_config(1, 0, 1, &st->mcInfo, st.get()), 2);
    EXPECT_EQ(std::make_tuple(st->mcInfo.slot[2].windowIndex, st->mcInfo.slot[3].windowIndex),
              std::make_tuple(2, 2));
    // Next frame, no common window: own numbers again.
    AACD_reset_mc_info(&st->mcInfo, st.get());
    EXPECT_EQ(AACD_chn_config(1, 0, 0, &st->mcInfo, st.get()), 1);
    // lookups keep the entered value
    EXPECT_EQ(std::make_tuple(st->mcInfo.slot[2].windowIndex, st->mcInfo.slot[1].commonWindow),
              std::make_tuple(2, 0));

    // A pair found in slot 5 has no room.
    AacdMcInfo m{};
    std::tie(m.slot[5].present, m.slot[5].isCpe, m.slot[5].tag) = std::make_tuple(1, 1, 2);
    EXPECT_EQ(AACD_enter_chn(1, 2, kPosLookup, 0, &m), -1);
    EXPECT_EQ(m.slot[5].decoded, 1);
}

TEST(ChannelMap, EnterKeepsUnassignedSlotsAndCopiesCoupling) {
    auto st = makeState();
    runFrame(*st, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {3, 0, 0}});
    AacdProgConfig p = makeProg({{1, 5}});
    std::tie(p.validCc.numElements, p.validCc.tag[0], p.validCc.tag[1], p.samplingFrequencyIndex) =
        std::make_tuple(2, 9, 11, 7);
    st->implicitConfig = 0;
    AACD_reset_mc_info(&st->mcInfo, st.get());
    EXPECT_EQ(AACD_enter_mc_info(&st->mcInfo, &p, st.get()), 1);
    EXPECT_EQ(presentSlots(st->mcInfo), (std::vector<int>{0, 1, 2, 3, 4, 5}));
    EXPECT_EQ(std::make_tuple(st->mcInfo.numChannels, st->mcInfo.numCoupling, st->mcInfo.couplingTag[1], st->mcInfo.samplingRateIndex),
              std::make_tuple(2, 2, 11, 7));
    EXPECT_EQ(std::make_tuple(st->mcInfo.leadingFrontSce, st->mcInfo.slot[1].tag), std::make_tuple(0, 5));
}

TEST(ChannelMap, LeadingSceCountFromProgram) {
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
}

TEST(ChannelMap, BadFrameRestoreImplicit) {
    auto st = makeState();
    runFrame(*st, {{1, 0, 1}});  // good: stereo
    const AacdMcInfo good = st->mcInfo;
    // A bad frame with a different layout returns to the last good one.
    runFrame(*st, {{0, 4, 0}, {1, 2, 0}, {1, 3, 0}}, false);
    EXPECT_EQ(st->mcInfo.numChannels, 2);
    EXPECT_EQ(presentSlots(st->mcInfo), (std::vector<int>{1, 2}));
    EXPECT_EQ(std::make_tuple(st->mcInfo.slot[2].windowIndex, st->mcInfo.numFront, st->mcInfo.numBack),
              std::make_tuple(good.slot[2].windowIndex, 3, 0));
    // tag and commonWindow are not restored.
    EXPECT_EQ(std::make_tuple(st->mcInfo.slot[1].tag, st->mcInfo.slot[1].commonWindow),
              std::make_tuple(2, 0));

    // leadingFrontSce carry-over: SCE SCE good, then a bad frame keeps the
    // count of the last good frame.
    auto s2 = makeState();
    const std::vector<Elt> two = {{0, 0, 0}, {0, 1, 0}};
    EXPECT_EQ(runFrame(*s2, two), (std::vector<int32_t>{0, 1}));
    runFrame(*s2, {{1, 0, 0}}, false);  // bad frame: frontSceCount 0 restored to 2
    EXPECT_EQ(s2->mcInfo.frontSceCount, 2);
    EXPECT_EQ(runFrame(*s2, two), (std::vector<int32_t>{1, 2}));
}

TEST(ChannelMap, BadFrameRestoreExplicit) {
    auto st = makeState();
    enterExplicit(*st, makeProg({{0, 0}, {1, 1}}));
    runFrame(*st, {{0, 0, 0}});  // good; slot 0 decoded only
    EXPECT_EQ(st->mcInfoGood.slot[0].decoded, 1);
    // counters are not saved in explicit mode
    EXPECT_EQ(std::make_tuple(st->mcInfoGood.slot[1].decoded, st->mcInfoGood.numChannels),
              std::make_tuple(0, 0));
    st->mcInfo.numChannels = 3;
    // Bad frame: decoded marks come back; counters and layout stay.
    runFrame(*st, {{1, 1, 0}}, false);
    EXPECT_EQ(std::make_tuple(st->mcInfo.slot[0].decoded, st->mcInfo.slot[1].decoded, st->mcInfo.numChannels),
              std::make_tuple(1, 0, 3));
    EXPECT_EQ(presentSlots(st->mcInfo), (std::vector<int>{0, 1, 2}));
}

TEST(ChannelMap, ResetExplicitKeepsLayout) {
    auto st = makeState();
    enterExplicit(*st, makeProg({{1, 3}}));
    std::tie(st->mcInfo.slot[1].decoded, st->mcInfo.slot[1].reserved[0], st->mcInfo.slot[1].reserved[1]) =
        std::make_tuple(1, 5, 6);
    AACD_reset_mc_info(&st->mcInfo, st.get());
    EXPECT_EQ(std::make_tuple(st->mcInfo.slot[1].decoded, st->mcInfo.slot[1].reserved[0], st->mcInfo.slot[1].reserved[1], st->mcInfo.numChannels),
              std::make_tuple(0, 5, 0, 2));
    st->implicitConfig = 1;
    st->pairSeen = 1;
    AACD_reset_mc_info(&st->mcInfo, st.get());
    // tag survives the clear
    EXPECT_EQ(std::make_tuple(st->mcInfo.slot[1].reserved[0], st->mcInfo.slot[1].present, st->mcInfo.slot[1].tag, st->mcInfo.numChannels),
              std::make_tuple(0, 0, 3, 0));
    EXPECT_EQ(st->pairSeen, 0);
    EXPECT_EQ(AACD_check_mc_info(&st->mcInfo, 1, st.get()), 0);
}

// ------------------------------------------------------------ channel element decoding

// A random channel layout at sampling index sri (codebooks 0 to 11).
Channel layoutAt(std::mt19937 &rng, bool shortWindows, int sri) {
    std::vector<int> cbs;
    for (int cb = 0; cb <= 11; ++cb) cbs.push_back(cb);
    for (;;) {
        Channel ch = randomLayout(rng, shortWindows, cbs);
        if (ch.sri == sri) return ch;
    }
}

// individual_channel_stream() of ch with random content; the stream info
// only when the pair does not share it.  tnsWindows lists the windows that
// carry one TNS filter of order 1; no list: tns_data_present 0.  The filter
// side information and coefficients written are added to tns and coefs.
void putChannel(BitWriter &w, Channel &ch, std::mt19937 &rng, bool common, int shape,
                const std::vector<int> *tnsWindows, TnsInfo &tns, std::vector<int8_t> &coefs) {
    w.bits(static_cast<uint32_t>(ch.globalGain), 8);
    if (!common) writeIcsInfo(w, ch, shape);
    writeSections(w, ch);
    writeScaleFactors(w, ch, rng);
    w.bits(0, 1);  // pulse_data_present
    w.bits(tnsWindows != nullptr, 1);
    const bool s = ch.shortWindows;
    for (int win = 0; tnsWindows != nullptr && win < (s ? 8 : 1); ++win) {
        const bool on = std::find(tnsWindows->begin(), tnsWindows->end(), win) != tnsWindows->end();
        w.bits(on, s ? 1 : 2);
        tns.tnsNumFilters[win] = on;
        if (!on) continue;
        const uint32_t raw = static_cast<uint32_t>(win % 7 + 1);
        w.bits(0, 1);  // coef_res: 3 bits
        w.bits(static_cast<uint32_t>(3 + win), s ? 4 : 6);
        w.bits(1, s ? 3 : 5);  // order
        w.bits(1, 1);          // direction
        w.bits(0, 1);          // coef_compress
        w.bits(raw, 3);
        std::tie(tns.tnsCoefRes[win], tns.tnsLength[win], tns.tnsOrder[win], tns.tnsDirection[win]) =
            std::make_tuple(3, 3 + win, 1, 1);
        coefs.push_back(static_cast<int8_t>(raw >= 4 ? int(raw) - 8 : int(raw)));
    }
    w.bits(0, 1);  // gain_control_data_present
    writeSpectrum(w, ch, rng);
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
    EXPECT_EQ(omxACAAC_QuantInv_S32_I(v.data(), sf.data(), ch.numGroups, ch.groupLen, ch.maxSfb, cb.data(),
                                      ch.sri, ch.shortWindows ? 128 : 1024), 0);
    v.resize(ch.values.size());
    return v;
}

// Runs AACD_huffdecode on a block whose element id starts `prefix` bits
// into it, with the window bookkeeping and spectra of the call exposed.
struct ElementCall {
    std::unique_ptr<AacdDecoderState> st = makeState();
    uint8_t seq[6], shape[6][2], ms[6];
    std::vector<std::vector<int32_t>> spectra = std::vector<std::vector<int32_t>>(6, std::vector<int32_t>(1024));
    int32_t first = -9, last = -9;
    int bits = 0;  // read from the element start (its 3-bit id) to the end of the call

    ElementCall() {
        std::memset(seq, 0x77, sizeof seq);
        std::memset(shape, 0x77, sizeof shape);
        std::memset(ms, 0x77, sizeof ms);
        for (auto &v : spectra) std::fill(v.begin(), v.end(), kUntouched);
        AACD_reset_mc_info(&st->mcInfo, st.get());
    }
    // Decodes the element at bit `at` of w (at: its id); the id is not read.
    int32_t run(const BitWriter &w, int at, int32_t id) {
        const ArmBitPosition start{w.base(), 0, nullptr};
        st->bitPos = start;
        aacd::bitSkip(st->bitPos, at + 3);
        int32_t *const ptr[6] = {spectra[0].data(), spectra[1].data(), spectra[2].data(),
                                 spectra[3].data(), spectra[4].data(), spectra[5].data()};
        const int32_t r = AACD_huffdecode(id, &st->mcInfo, seq, shape, ms, ptr, &first, &last, st.get());
        bits = bitsFrom(start, st->bitPos) - at;
        return r;
    }
    std::vector<int32_t> head(int slot, size_t n) const {
        return std::vector<int32_t>(spectra[slot].begin(), spectra[slot].begin() + static_cast<long>(n));
    }
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
                const int sri = 3 + prefix;
                Channel l = layoutAt(rng, shortWindows, sri);
                Channel r = l;
                r.globalGain = l.globalGain + 7;
                const uint32_t tag = static_cast<uint32_t>(15 - prefix), shape = mask & 1;
                BitWriter w;
                w.bits(0x55, prefix);
                w.bits(1, 3);
                w.bits(tag, 4);
                w.bits(1, 1);
                writeIcsInfo(w, l, static_cast<int>(shape));
                w.bits(mask, 2);
                std::vector<uint8_t> used;
                for (int i = 0; mask == 1 && i < l.numGroups * l.maxSfb; ++i) {
                    used.push_back(static_cast<uint8_t>(rng() & 1));
                    w.bits(used.back(), 1);
                }
                TnsInfo tnsL{}, tnsR{};
                std::vector<int8_t> coefs, none;
                const std::vector<int> tnsWindows = shortWindows ? std::vector<int>{1, 6} : std::vector<int>{0};
                putChannel(w, l, rng, true, 0, &tnsWindows, tnsL, coefs);
                putChannel(w, r, rng, true, 0, nullptr, tnsR, none);
                const int end = w.count() - prefix;
                w.bits(0xA5, 8);

                ElementCall e;
                e.st->mcInfo.samplingRateIndex = sri;
                for (AacdTnsRecord &t : e.st->tns) std::fill(std::begin(t.info.tnsNumFilters), std::end(t.info.tnsNumFilters), 9);
                ASSERT_EQ(e.run(w, prefix, 1), 0);
                EXPECT_EQ(std::make_tuple(e.first, e.last, e.bits), std::make_tuple(1, 2, end));
                EXPECT_EQ(std::make_tuple(e.st->mcInfo.slot[1].tag, e.st->mcInfo.slot[2].windowIndex), std::make_tuple(int32_t(tag), 1));
                const uint8_t seqWanted = shortWindows ? 2 : 0;
                EXPECT_EQ(std::vector<uint8_t>(e.ms, e.ms + 6), (std::vector<uint8_t>{0x77, msFlagOf[mask], 0x77, 0x77, 0x77, 0x77}));
                EXPECT_EQ(std::vector<uint8_t>(e.seq, e.seq + 6), (std::vector<uint8_t>{0x77, seqWanted, 0x77, 0x77, 0x77, 0x77}));
                EXPECT_EQ(std::make_tuple(e.shape[1][0], e.shape[1][1], e.shape[2][0]), std::make_tuple(uint8_t(shape), uint8_t(0x77), uint8_t(0x77)));
                for (size_t i = 0; i < used.size(); ++i)
                    EXPECT_EQ(e.st->chanPairElt.msUsed[i / l.maxSfb][i % l.maxSfb], used[i]) << i;
                e.expectWork(1, l, 1);
                e.expectWork(2, r, 0);
                EXPECT_EQ(std::vector<int32_t>(e.spectra[0].begin(), e.spectra[0].end()), std::vector<int32_t>(1024, kUntouched));

                // slot 1's record holds the left channel's filters, slot 2's
                // (even) record has its window counts cleared
                const TnsInfo &t1 = e.st->tns[1].info, &t2 = e.st->tns[0].info;
                for (int win = 0; win < 8; ++win) {
                    SCOPED_TRACE(win);
                    EXPECT_EQ(t2.tnsNumFilters[win], win < (shortWindows ? 8 : 1) ? 0 : 9);
                    if (win >= (shortWindows ? 8 : 1)) continue;
                    EXPECT_EQ(t1.tnsNumFilters[win], tnsL.tnsNumFilters[win]);
                    if (tnsL.tnsNumFilters[win] == 0) continue;
                    EXPECT_EQ(std::make_tuple(t1.tnsCoefRes[win], t1.tnsLength[win], t1.tnsOrder[win], t1.tnsDirection[win]),
                              std::make_tuple(3, 3 + win, 1, 1));
                }
                EXPECT_EQ(std::vector<int8_t>(e.st->tns[1].coef, e.st->tns[1].coef + coefs.size()), coefs);
                for (int c : {1, 2}) nonzero += std::count_if(e.spectra[c].begin(), e.spectra[c].end(), [](int32_t v) { return v != 0 && v != kUntouched; });
            }
        }
    }
    EXPECT_GT(nonzero, 10000);  // the channels carry content
}

// Single channel, LFE and a pair without a common window: the M/S flag of
// each window index the element uses is cleared, each channel of the pair
// records its own window sequence and shape, and TNS filter counts of a
// channel without TNS data are cleared for its windows only.  Later
// elements in the same frame reuse the records of earlier ones.
TEST(ChannelElement, SingleChannelsAndIndependentPairInOneFrame) {
    std::mt19937 rng(11);
    const int sri = 8;
    Channel sce = layoutAt(rng, false, sri), left = layoutAt(rng, true, sri), right = layoutAt(rng, false, sri),
            lfe = layoutAt(rng, true, sri);
    ElementCall e;
    e.st->mcInfo.samplingRateIndex = sri;
    for (AacdTnsRecord &t : e.st->tns) std::fill(std::begin(t.info.tnsNumFilters), std::end(t.info.tnsNumFilters), 9);
    TnsInfo tnsS{}, tnsL{}, unused{};
    std::vector<int8_t> coefsS, coefsL, none;
    const std::vector<int> long0 = {0}, short3 = {3, 7};

    // SCE with TNS in slot 0.
    BitWriter w1;
    w1.bits(0, 3);
    w1.bits(6, 4);
    putChannel(w1, sce, rng, false, 1, &long0, tnsS, coefsS);
    ASSERT_EQ(e.run(w1, 0, 0), 0);
    EXPECT_EQ(std::make_tuple(e.first, e.last, e.bits), std::make_tuple(0, 0, w1.count()));
    EXPECT_EQ(std::make_tuple(e.ms[0], e.seq[0], e.shape[0][0], e.ms[1]), std::make_tuple(uint8_t(0), uint8_t(0), uint8_t(1), uint8_t(0x77)));
    e.expectWork(0, sce, 1);
    EXPECT_EQ(std::make_tuple(e.st->tns[0].info.tnsNumFilters[0], e.st->tns[0].info.tnsLength[0], e.st->tns[0].coef[0]),
              std::make_tuple(1, 3, coefsS[0]));

    // Pair without common window in slots 1 and 2: left short with TNS,
    // right long without; slot 2 shares slot 0's record.
    e.ms[1] = e.ms[2] = 0x66;
    BitWriter w2;
    w2.bits(0x3, 5);
    w2.bits(1, 3);
    w2.bits(9, 4);
    w2.bits(0, 1);
    putChannel(w2, left, rng, false, 1, &short3, tnsL, coefsL);
    putChannel(w2, right, rng, false, 0, nullptr, unused, none);
    ASSERT_EQ(e.run(w2, 5, 1), 0);
    EXPECT_EQ(std::make_tuple(e.first, e.last, e.bits), std::make_tuple(1, 2, w2.count() - 5));
    EXPECT_EQ(std::vector<uint8_t>(e.ms, e.ms + 6), (std::vector<uint8_t>{0, 0, 0, 0x77, 0x77, 0x77}));
    EXPECT_EQ(std::vector<uint8_t>(e.seq, e.seq + 6), (std::vector<uint8_t>{0, 2, 0, 0x77, 0x77, 0x77}));
    EXPECT_EQ(std::make_tuple(e.shape[1][0], e.shape[2][0], e.st->mcInfo.slot[2].windowIndex), std::make_tuple(uint8_t(1), uint8_t(0), 2));
    e.expectWork(1, left, 1);
    e.expectWork(2, right, 0);
    EXPECT_EQ(e.head(0, sce.values.size()), dequantised(sce));  // not overwritten
    const int32_t wantOdd[8] = {0, 0, 0, 1, 0, 0, 0, 1}, wantEven[8] = {};
    EXPECT_EQ(std::vector<int32_t>(e.st->tns[1].info.tnsNumFilters, e.st->tns[1].info.tnsNumFilters + 8),
              std::vector<int32_t>(wantOdd, wantOdd + 8));
    EXPECT_EQ(std::vector<int32_t>(e.st->tns[0].info.tnsNumFilters, e.st->tns[0].info.tnsNumFilters + 8),
              std::vector<int32_t>(wantEven, wantEven + 8));
    EXPECT_EQ(std::make_tuple(e.st->tns[1].info.tnsLength[7], e.st->tns[1].coef[0], e.st->tns[1].coef[1]),
              std::make_tuple(10, coefsL[0], coefsL[1]));

    // LFE in slot 5 (odd record), short windows without TNS: all eight
    // counts cleared, the stale filters of the pair's left channel gone.
    e.ms[5] = 0x66;
    BitWriter w3;
    w3.bits(3, 3);
    w3.bits(2, 4);
    putChannel(w3, lfe, rng, false, 0, nullptr, unused, none);
    ASSERT_EQ(e.run(w3, 0, 3), 0);
    EXPECT_EQ(std::make_tuple(e.first, e.last, e.bits, e.ms[5], e.seq[5]), std::make_tuple(5, 5, w3.count(), uint8_t(0), uint8_t(2)));
    e.expectWork(5, lfe, 0);
    EXPECT_EQ(std::vector<int32_t>(e.st->tns[1].info.tnsNumFilters, e.st->tns[1].info.tnsNumFilters + 8),
              std::vector<int32_t>(8, 0));

    // An element id other than 0, 1 and 3: refused, outputs not written.
    ElementCall bad;
    bad.first = bad.last = -9;
    EXPECT_EQ(bad.run(w1, 0, 2), -1);
    EXPECT_EQ(std::make_tuple(bad.first, bad.last), std::make_tuple(-9, -9));
}

// A pair found at slot 2 of a program with one front pair has its partner
// in slot 1, below it: the element returns 0 with first 2 and last 1 and
// decodes no channel.  Without a common window it has read only its tag and
// common_window; with one, the pair head as well.
TEST(ChannelElement, PairWhosePartnerLiesBelowDecodesNoChannel) {
    for (uint32_t common : {0u, 1u}) {
        SCOPED_TRACE(common);
        std::mt19937 rng(5 + common);
        Channel l = layoutAt(rng, false, 4), r = l;
        BitWriter w;
        w.bits(1, 3);
        w.bits(0, 4);
        w.bits(common, 1);
        int head = 8;
        if (common) {
            writeIcsInfo(w, l, 1);
            w.bits(2, 2);  // ms_mask_present: all bands
            head = w.count();
        }
        TnsInfo unused{};
        std::vector<int8_t> none;
        putChannel(w, l, rng, common != 0, 1, nullptr, unused, none);
        putChannel(w, r, rng, common != 0, 1, nullptr, unused, none);

        ElementCall e;
        enterExplicit(*e.st, makeProg({{1, 0}}));
        AACD_reset_mc_info(&e.st->mcInfo, e.st.get());
        ASSERT_EQ(e.run(w, 0, 1), 0);
        EXPECT_EQ(std::make_tuple(e.first, e.last, e.bits), std::make_tuple(1, 2, w.count()));
        EXPECT_EQ(e.head(2, 1024), dequantised(r));

        for (auto &v : e.spectra) std::fill(v.begin(), v.end(), kUntouched);
        std::memset(e.seq, 0x77, sizeof e.seq);
        std::memset(e.ms, 0x77, sizeof e.ms);
        e.st->slotWork[2].maxSfb = e.st->slotWork[1].maxSfb = 99;
        e.first = e.last = -9;
        ASSERT_EQ(e.run(w, 0, 1), 0);
        EXPECT_EQ(std::make_tuple(e.first, e.last, e.bits), std::make_tuple(2, 1, head));
        EXPECT_EQ(std::make_tuple(e.st->slotWork[1].maxSfb, e.st->slotWork[2].maxSfb), std::make_tuple(99, 99));
        for (int s = 0; s < 6; ++s) EXPECT_EQ(e.spectra[s], std::vector<int32_t>(1024, kUntouched)) << s;
        EXPECT_EQ(std::vector<uint8_t>(e.seq, e.seq + 6), std::vector<uint8_t>(6, 0x77));
        // M/S flags: without a common window both window indices (1 and 2)
        // are cleared; with one, the pair's own index 2 takes the mask.
        const std::vector<uint8_t> ms = common ? std::vector<uint8_t>{0x77, 0x77, 2, 0x77, 0x77, 0x77}
                                               : std::vector<uint8_t>{0x77, 0, 0, 0x77, 0x77, 0x77};
        EXPECT_EQ(std::vector<uint8_t>(e.ms, e.ms + 6), ms);
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
        EXPECT_EQ(st->configId, s.configId);
        // auxC is shifted arithmetically: -100 >> 5
        EXPECT_EQ(std::make_tuple(st->auxA, st->auxB, st->auxC, st->auxD, st->auxE), std::make_tuple(1, 2, -4, 4, 5));
        EXPECT_EQ(st->numProgConfigs, 0);
        EXPECT_EQ(st->sampleRates[st->mcInfo.samplingRateIndex].samplingRate,
                  s.mapIndex <= 11 ? AACD_sampleRateTable[s.mapIndex].samplingRate : 0u);
    }
    EXPECT_EQ(st->sampleRates[11].samplingRate, 8000u);
}

AacdProgConfig hostProg(int32_t tag, std::vector<Entry> front, int32_t sf = 4) {
    AacdProgConfig p = makeProg(std::move(front));
    p.elementInstanceTag = tag;
    p.samplingFrequencyIndex = sf;
    return p;
}

TEST(DecodeInfo, ProgramConfigurationsAcrossCalls) {
    auto st = makeState();
    std::tie(st->configId, st->samplingIndex, st->auxC) = std::make_tuple(42, 6u, 77);
    // Tag 5 first: becomes the tag in force; the tag 3 record is skipped;
    // the second tag 5 record is the one kept.
    std::vector<AacdProgConfig> list = {hostProg(5, {{0, 0}}, 3), hostProg(3, {{1, 0}}, 8),
                                        hostProg(5, {{1, 1}}, 7)};
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

TEST(DecodeInfo, InBandTagFixesHostSelection) {
    auto st = makeState();
    Pce e;
    e.tag = 6;
    e.front = {{1, 0}};
    ASSERT_EQ(writeAndParse(*st, e).status, 0);
    std::vector<AacdProgConfig> list = {hostProg(2, {{0, 0}}), hostProg(6, {{0, 1}})};
    AacdBlockParams bp{};
    std::tie(bp.num_prog_configs, bp.prog_configs) = std::make_tuple(2, list.data());
    ASSERT_EQ(AACD_decode_info(st.get(), &bp), 0);
    EXPECT_EQ(std::make_tuple(presentSlots(st->mcInfo), st->mcInfo.slot[0].tag), std::make_tuple(std::vector<int>{0}, 1));
}

}  // namespace
