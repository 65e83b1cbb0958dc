// Program configuration elements written bit by bit and parsed back, the
// channel map in both modes over several frames, and the stream
// configuration input.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <tuple>
#include <vector>

#include "config/config.h"
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
