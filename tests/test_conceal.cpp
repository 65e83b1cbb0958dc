// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// Spectral concealment: the leading-bit count, the random signs, band
// energies of known contents, band rescaling by known values, single losses
// checked by where the band energies land, and whole frame timelines (short
// and long bursts through every state) driven the way the frame driver
// exchanges its two buffers per slot.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <numeric>
#include <ostream>
#include <random>
#include <vector>

#include "conceal/conceal.h"
#include "decoder/aacd_tables.h"
#include "decoder/decoder.h"
#include "omxdl/ac/armACAAC.h"

namespace {

constexpr int kLen = 1024;
constexpr int kSri = 4;  // 44.1 kHz: 49 long bands, 14 short bands
using Frame = std::vector<int32_t>;

// The frame with the random sign table applied from index 0.
Frame randomised(Frame f) {
    for (int i = 0; i < kLen; ++i)
        if (AACD_randomPhase[i % 512] < 0 && f[i] != INT32_MIN) f[i] = -f[i];
    return f;
}

Frame shifted(Frame f, int n) {
    for (auto &v : f) v >>= n;
    return f;
}

// Instance with the tables and the channel map that concealment reads.
std::unique_ptr<AacdDecoderState> makeState(int32_t sri = kSri) {
    auto st = std::make_unique<AacdDecoderState>();
    for (int i = 0; i < 16; ++i) st->sampleRates[i] = AACD_sampleRateTable[i];
    for (int i = 0; i < 12; ++i) {
        st->sampleRates[i].longBandEnds = armACAAC_swbOffsetLongWindow[i] + 1;
        st->sampleRates[i].shortBandEnds = armACAAC_swbOffsetShortWindow[i] + 1;
    }
    st->randomPhase = AACD_randomPhase;
    st->pMcInfo = &st->mcInfo;
    st->mcInfo.samplingRateIndex = sri;
    return st;
}

// Spectrum whose band levels follow a per-band amplitude profile.
Frame makeFrame(uint32_t seed, bool shortWin = false, double level = 1e6) {
    std::mt19937 rng(seed);
    Frame f(kLen);
    for (int i = 0; i < kLen; ++i) {
        const double amp = level * (1.0 + 0.9 * std::sin((shortWin ? i % 128 : i / 8) * 0.37 + seed)) + 1.0;
        f[i] = static_cast<int32_t>(std::uniform_int_distribution<int64_t>(-static_cast<int64_t>(amp), static_cast<int64_t>(amp))(rng));
    }
    return f;
}

// Spectrum and window of one synthesised frame.
struct Output {
    Frame coefs;
    uint8_t seq, shape;
    bool operator==(const Output &o) const { return coefs == o.coefs && seq == o.seq && shape == o.shape; }
};
std::ostream &operator<<(std::ostream &os, const Output &o) {
    return os << "sequence " << int{o.seq} << ", shape " << int{o.shape} << ", " << testing::PrintToString(o.coefs);
}

// One channel slot as the frame driver runs it: two spectrum buffers whose
// roles are exchanged on every good frame, the window bookkeeping of the
// slot's window index, and the concealment record.
struct Slot {
    explicit Slot(const AacdDecoderState *s) : st(s), buf{Frame(kLen), Frame(kLen)} {
        info.buffer = buf[1].data();
        CConcealment_Init(&info);
    }
    int32_t *working() { return buf[cur].data(); }
    Output good(const Frame &decoded, uint8_t sequence = 0, uint8_t windowShape = 0) {
        std::copy(decoded.begin(), decoded.end(), working());
        seq = sequence, shape = windowShape;
        info.storedSpectrum = working();
        cur ^= 1;
        return synthesise(1);
    }
    Output lost() {
        // Whatever a failed decode left in the working buffer must not leak.
        for (int i = 0; i < kLen; ++i) working()[i] = 0x1234567 + i;
        info.storedSpectrum = buf[cur ^ 1].data();
        return synthesise(0);
    }
    Output synthesise(int32_t ok) {
        Output o{{}, seq, shape};
        CConcealment_Apply(&info, working(), &o.seq, &o.shape, st, ok);
        o.coefs.assign(working(), working() + kLen);
        return o;
    }
    const AacdDecoderState *st;
    Frame buf[2];
    int cur = 0;
    CConcealmentInfo info{};
    uint8_t seq = 0, shape = 0;
};

TEST(ConcealPrimitives, LeadingBitsAndRandomSign) {
    const std::pair<int64_t, int> known[] = {{0, 31}, {1, 30}, {3, 29}, {0x40000000, 0}, {INT64_MAX, -32},
                                             {-1, 31}, {-2, 30}, {-(int64_t{1} << 31), 0}, {INT64_MIN, -32}};
    for (const auto &k : known) EXPECT_EQ(LSI_exp(k.first), k.second) << k.first;
    for (int b = 0; b < 63; ++b) {
        EXPECT_EQ(LSI_exp(int64_t{1} << b), 30 - b) << b;
        EXPECT_EQ(LSI_exp((int64_t{1} << b) | ((int64_t{1} << b) - 1)), 30 - b) << b;
        EXPECT_EQ(LSI_exp(-(int64_t{1} << b) - 1), 30 - b) << b;
    }
    auto st = makeState();
    CConcealmentInfo info{};
    for (uint32_t start : {0u, 7u, 511u}) {
        info.randomPhaseIndex = start;
        Frame f(kLen);
        for (int i = 0; i < kLen; ++i) f[i] = i == 3 ? INT32_MIN : i == 4 ? INT32_MAX : i + 1;
        const Frame in = f;
        CConcealment_ApplyRandomSign(&info, f.data(), st.get());
        for (int i = 0; i < kLen; ++i)
            ASSERT_EQ(f[i], AACD_randomPhase[(start + i) % 512] < 0 && i != 3 ? -in[i] : in[i]) << start << " " << i;
        EXPECT_EQ(info.randomPhaseIndex, start);  // advanced by 1024 = 0 mod 512
    }
}

// Energies floor(log2(1 + sum q)) - 30 of bands of known content: q =
// ((x >> 1)^2 + 2^30) >> 31 per value (long and short windows), or
// ((x >> 1) * x / 2 + 2^30) >> 31 with x read at every eighth position
// (short window measured on long bands).  Block types above 3, reserved
// rates and a missing band list write nothing; a band list that goes
// backwards gives an empty band.
TEST(ConcealBandEnergy, KnownContentsAndOddLayouts) {
    auto st = makeState();
    std::array<int32_t, 51> e;
    struct Case { int seq, onLong; int32_t value; int band, want; };
    // 44.1 kHz: long band 0 is 0..3, band 10 is 40..47; short band 13 is 112..127.
    for (const Case c : {Case{0, 0, 1 << 20, 0, -21}, Case{1, 0, -(1 << 20), 0, -21}, Case{3, 0, 1 << 30, 10, 0},
                         Case{0, 0, 3, 10, -30}, Case{2, 0, 1 << 20, 13, -19}, Case{2, 0, INT32_MIN, 13, 3},
                         Case{2, 1, 1 << 20, 10, -20}}) {
        SCOPED_TRACE(testing::Message() << c.seq << " " << c.onLong << " " << c.value << " " << c.band);
        Frame f(kLen, 0);
        const int count = c.seq == 2 && !c.onLong ? 14 : 49;
        const uint16_t *off = (count == 14 ? armACAAC_swbOffsetShortWindow : armACAAC_swbOffsetLongWindow)[kSri];
        for (int i = off[c.band]; i < off[c.band + 1]; ++i) f[c.onLong ? i / 8 : i] = c.value;
        e.fill(99);
        CConcealment_CalcBandEnergy(f.data(), c.seq, c.onLong, e.data(), st.get());
        for (int k = 0; k <= count; ++k) EXPECT_EQ(e[k], k == count ? 99 : k == c.band ? c.want : -30) << k;
    }
    Frame f(kLen, 1 << 20);
    e.fill(99);
    auto reserved = makeState(12);
    CConcealment_CalcBandEnergy(f.data(), 4, 0, e.data(), st.get());
    CConcealment_CalcBandEnergy(f.data(), 0, 0, e.data(), reserved.get());
    reserved->sampleRates[kSri] = st->sampleRates[kSri];
    reserved->sampleRates[kSri].longBandEnds = nullptr;
    reserved->mcInfo.samplingRateIndex = kSri;
    CConcealment_CalcBandEnergy(f.data(), 0, 0, e.data(), reserved.get());
    EXPECT_EQ(e[0], 99);
    // Going backwards: the empty band gets -30, the next starts at its end.
    const uint16_t ends[3] = {4, 2, 8};
    st->sampleRates[kSri].longBandEnds = ends;
    st->sampleRates[kSri].numSwbLong = 3;
    std::fill(f.begin(), f.end(), 0);
    f[0] = f[1] = 1 << 20, f[2] = f[3] = 1 << 24;  // q = 2^7 and 2^15
    CConcealment_CalcBandEnergy(f.data(), 0, 0, e.data(), st.get());
    EXPECT_EQ(std::vector<int32_t>(e.begin(), e.begin() + 4), (std::vector<int32_t>{16 - 30, -30, 16 - 30, 99}));
}

// Bands scaled by 2^(d/4), d the energy difference: d = -4 halves, an empty
// band is skipped, d = +4 doubles, d = -5 mutes; factors 2^(1/4)..2^(3/4)
// between.  A band that ends before its predecessor is skipped.
TEST(ConcealInterpolate, KnownValues) {
    const uint16_t ends[5] = {6, 6, 10, 14, 16};
    int32_t x[16] = {3, -3, 5, -1, 1, -6, 100, -100, 7, -7, 9, -9, 2, 0, 1 << 20, -(1 << 20)};
    const int32_t own[5] = {10, 0, 0, 3, 0}, other[5] = {6, -40, 4, -2, 2};
    CConcealment_InterpolateBuffer(x, own, other, 5, ends);
    EXPECT_EQ(Frame(x, x + 16), (Frame{2, -1, 3, 0, 1, -3, 200, -200, 16, -12, 0, 0, 0, 0, 1482910, -1482910}));
    const uint16_t back[3] = {4, 2, 8};
    int32_t y[8] = {8, 8, 8, 8, 8, 8, 8, 8};
    const int32_t own2[3] = {0, 0, 0}, other2[3] = {0, -20, 4};
    CConcealment_InterpolateBuffer(y, own2, other2, 3, back);
    EXPECT_EQ(Frame(y, y + 8), (Frame{8, 8, 8, 8, 16, 16, 16, 16}));
}

// Long band energies of a frame at the instance's rate.
std::vector<int32_t> energies(const Frame &f, const AacdDecoderState *st) {
    std::array<int32_t, 51> e{};
    CConcealment_CalcBandEnergy(f.data(), 0, 0, e.data(), st);
    return std::vector<int32_t>(e.begin(), e.begin() + armACAAC_numSwbLong[st->mcInfo.samplingRateIndex]);
}

// A frame concealed between two long frames: each band scaled from the
// previous frame's energy halfway to the next one's, or muted where the
// next frame is more than 4 steps quieter.
void expectHalfway(const Frame &got, const Frame &prev, const Frame &next, const AacdDecoderState *st) {
    const auto eg = energies(got, st), ep = energies(prev, st), en = energies(next, st);
    int muted = 0, moved = 0;
    for (size_t k = 0; k < eg.size(); ++k) {
        if (en[k] - ep[k] < -4) {
            EXPECT_EQ(eg[k], -30) << k;
            ++muted;
            continue;
        }
        EXPECT_NEAR(eg[k], (ep[k] + en[k]) / 2.0, 1.0) << k;
        moved += en[k] != ep[k];
    }
    EXPECT_GT(muted, 0);
    EXPECT_GT(moved, 10);
}

// The held-back frame (unchanged) for the lost call, then the rescaled one
// with random signs and the window for the transition between the
// neighbours, then the decoded frames again.
struct LossCase { uint8_t prevSeq, nextSeq, wantSeq, wantShape; };

class ConcealSingleLoss : public ::testing::TestWithParam<LossCase> {};

TEST_P(ConcealSingleLoss, InterpolatesBetweenNeighbours) {
    const LossCase c = GetParam();
    for (int32_t sri : {kSri, 0}) {  // 96 kHz is sampling index 0
        SCOPED_TRACE(sri);
        auto st = makeState(sri);
        Slot slot(st.get());
        const bool prevShort = c.prevSeq == 2, nextShort = c.nextSeq == 2;
        // The next frame is much quieter in parts, so some bands are muted.
        const Frame prev = makeFrame(21, prevShort, 4e6), next = makeFrame(22, nextShort, 1.2e6);
        slot.good(makeFrame(20), 0, 0);
        slot.good(prev, c.prevSeq, 1);
        EXPECT_EQ(slot.lost(), (Output{prev, c.prevSeq, 1}));
        const Output o = slot.good(next, c.nextSeq, 1);
        EXPECT_EQ(std::make_tuple(o.seq, o.shape), std::make_tuple(c.wantSeq, c.wantShape));
        const Frame &base = prevShort && !nextShort ? next : prev;
        EXPECT_GT(std::inner_product(o.coefs.begin(), o.coefs.end(), randomised(base).begin(), 0, std::plus<>(),
                                     std::not_equal_to<>()), 100) << "the rescaling did nothing";
        if (!prevShort && !nextShort) expectHalfway(randomised(o.coefs), prev, next, st.get());
        EXPECT_TRUE(slot.info.concealState == 0u && slot.info.randomPhaseIndex == 0u);
        EXPECT_EQ(slot.good(makeFrame(23), 0, 0), (Output{next, c.nextSeq, 1}));
    }
}

INSTANTIATE_TEST_SUITE_P(Sequences, ConcealSingleLoss,
                         ::testing::Values(LossCase{0, 0, 0, 0}, LossCase{3, 1, 0, 0}, LossCase{0, 2, 1, 1},
                                           LossCase{2, 2, 2, 1}, LossCase{2, 0, 3, 0}, LossCase{2, 3, 3, 0}));

// A single loss before a silent frame (d far below -5) is cleared; at a
// reserved rate (no bands) it is only randomised.  Two losses: the first good
// frame still gives the last good spectrum, randomised and faded, the second
// the decoded frames again.
TEST(ConcealApply, ShortLossesAndDegenerateNeighbours) {
    auto st = makeState(), reserved = makeState(12);
    Slot slot(st.get()), r(reserved.get()), two(st.get());
    slot.good(makeFrame(30, false, 1e7));
    slot.lost();
    EXPECT_EQ(slot.good(Frame(kLen, 0)).coefs, Frame(kLen, 0));
    const Frame prev = makeFrame(31);
    r.good(prev);
    r.lost();
    EXPECT_EQ(r.good(makeFrame(32, false, 1e3)).coefs, randomised(prev));

    const Frame f1 = makeFrame(60), g0 = makeFrame(61), g1 = makeFrame(62);
    two.good(makeFrame(59));
    two.good(f1);
    EXPECT_EQ(two.lost().coefs, f1);
    EXPECT_EQ(two.lost().coefs, shifted(randomised(f1), 1));
    EXPECT_EQ(two.good(g0).coefs, shifted(randomised(f1), 2));
    EXPECT_EQ(two.info.concealState, 1u);
    EXPECT_EQ(two.good(g1).coefs, g0);
    EXPECT_EQ(two.info.concealState, 0u);
    EXPECT_EQ(two.good(makeFrame(63)).coefs, g1);
}

// From the initialised record: one frame of delay (the first call gives the
// cleared buffer), then a burst: the held-back frame, five fades of the
// randomised last spectrum, mute until the fifth good frame, a fade-in over
// five, and the decoded frames again.
TEST(ConcealApply, DelayAndLongBurst) {
    auto st = makeState();
    std::vector<int32_t> buf(kLen, 77);
    CConcealmentInfo info{};
    info.buffer = buf.data();
    CConcealment_Init(&info);
    EXPECT_TRUE(buf == Frame(kLen, 0) && info.storedSpectrum == buf.data());
    EXPECT_TRUE(info.prevFrameOk == 1u && info.prevPrevFrameOk == 1u && info.concealState == 0u);
    Slot slot(st.get());
    const Frame f0 = makeFrame(40, true), f1 = makeFrame(41, false, 2e6);
    EXPECT_EQ(slot.good(f0, 2, 1), (Output{Frame(kLen, 0), 0, 0}));
    EXPECT_EQ(slot.good(f1, 3, 0), (Output{f0, 2, 1}));
    EXPECT_EQ(slot.lost(), (Output{f1, 3, 0}));
    for (int n = 1; n <= 5; ++n) EXPECT_EQ(slot.lost(), (Output{shifted(randomised(f1), n), 3, 0})) << "fade " << n;
    EXPECT_TRUE(slot.info.concealState == 1u && slot.info.randomPhaseIndex == 0u);
    std::vector<Frame> g;
    for (int n = 0; n < 11; ++n) g.push_back(makeFrame(50 + n));
    const int fadeIn[5] = {6, 5, 4, 3, 2};
    for (int n = 0; n < 11; ++n) {
        EXPECT_EQ(slot.good(g[n]).coefs, n < 5 ? Frame(kLen, 0) : n < 10 ? shifted(g[n - 1], fadeIn[n - 5]) : g[9]) << n;
        EXPECT_EQ(slot.info.concealState, n < 5 ? 2u : n < 10 ? 3u : 0u) << n;
    }
}

}  // namespace
