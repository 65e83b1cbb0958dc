// Spectral concealment: the leading-bit count, the random sign table rebuilt
// from its bit string, band energies and band rescaling against independent
// exact-integer references, and whole frame timelines (single losses, short
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
#include <string>
#include <vector>

#include "conceal/conceal.h"
#include "decoder/aacd_tables.h"
#include "decoder/decoder.h"
#include "omxdl/ac/armACAAC.h"

namespace {

constexpr int kLen = 1024;
constexpr int kSri = 4;  // 44.1 kHz: 49 long bands, 14 short bands
using Frame = std::vector<int32_t>;

int64_t floorDiv(__int128 a, __int128 b) {
    return static_cast<int64_t>(a / b - ((a % b != 0 && (a < 0) != (b < 0)) ? 1 : 0));
}

// floor(log2 v) for v >= 1 by repeated halving.
int refLog2(uint64_t v) {
    int n = -1;
    for (; v != 0; v /= 2) ++n;
    return n;
}

struct Bands { int count; const uint16_t *ends; };
Bands longBands() { return {armACAAC_numSwbLong[kSri], armACAAC_swbOffsetLongWindow[kSri] + 1}; }
Bands shortBands() { return {armACAAC_numSwbShort[kSri], armACAAC_swbOffsetShortWindow[kSri] + 1}; }

enum class Mode { Long, Short, ShortOnLong };

// Band energies floor(log2(1 + sum q)) - 30 with q computed by floor
// divisions instead of shifts.
std::vector<int32_t> refEnergies(const int32_t *x, Mode mode) {
    const Bands b = mode == Mode::Short ? shortBands() : longBands();
    std::vector<int32_t> e(b.count);
    for (int k = 0, start = 0; k < b.count; start = b.ends[k++]) {
        __int128 sum = 1;
        for (int i = start; i < b.ends[k]; ++i) {
            const int64_t v = mode == Mode::ShortOnLong ? x[i / 8] : x[i], h = floorDiv(v, 2);
            sum += mode == Mode::ShortOnLong ? floorDiv(floorDiv(static_cast<__int128>(h) * v, 2) + (1LL << 30), 1LL << 31)
                                             : floorDiv(static_cast<__int128>(h) * h + (1LL << 30), 1LL << 31);
        }
        e[k] = refLog2(static_cast<uint64_t>(sum)) - 30;
    }
    return e;
}

// 2^(k/4) in Q30 with the documented deviations from correct rounding.
int64_t factor(int k) {
    static const int deviation[4] = {0, 5, -3, 11};
    return std::llround(std::ldexp(std::pow(2.0, k / 4.0), 30)) + deviation[k];
}

// Band rescaling by 2^(d/4) with those factors, low 32 bits kept.
void refInterpolate(int32_t *x, const std::vector<int32_t> &own, const std::vector<int32_t> &other, const Bands &b) {
    for (int k = 0, start = 0; k < b.count; ++k) {
        if (b.ends[k] <= start) continue;
        const int64_t d = static_cast<int64_t>(other[k]) - own[k], j = ((d % 4) + 4) % 4, e = floorDiv(d, 4) + 1;
        for (int i = start; i < b.ends[k]; ++i) {
            if (e < 0 || e >= 64) {
                x[i] = 0;
                continue;
            }
            const int64_t r = floorDiv(static_cast<__int128>(x[i]) * factor(static_cast<int>(j)) + (1LL << 30), 1LL << 31);
            const unsigned __int128 wide = static_cast<unsigned __int128>(static_cast<__int128>(r)) << e;
            x[i] = static_cast<int32_t>(static_cast<uint32_t>(wide & 0xFFFFFFFFu));
        }
        start = b.ends[k];
    }
}

// The random sign table rebuilt from its bit string.
std::vector<int> signsFromBits() {
    const std::string bits = "973C477B1CEB136953D011F4ECED2AB97C6AD72515BC579BD4558943CFACCAE2"
                             "61A835FC16A12D72DA49C90E8C6A086D81FBF347812AD5CF616833C63756B1A2";
    std::vector<int> s;
    for (char c : bits)
        for (int bit = 3; bit >= 0; --bit) s.push_back(((std::stoi(std::string(1, c), nullptr, 16) >> bit) & 1) ? -1 : 1);
    return s;
}

void refRandomSign(int32_t *x, int start) {
    const std::vector<int> s = signsFromBits();
    for (int i = 0; i < kLen; ++i)
        if (s[(start + i) % 512] < 0) x[i] = x[i] == INT32_MIN ? INT32_MIN : -x[i];
}

Frame randomised(Frame f) {
    refRandomSign(f.data(), 0);
    return f;
}

Frame shifted(Frame f, int n) {
    for (auto &v : f) v = static_cast<int32_t>(floorDiv(v, int64_t{1} << n));
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

TEST(ConcealPrimitives, TablesLeadingBitsAndRandomSign) {
    const std::vector<int> s = signsFromBits();
    ASSERT_EQ(s.size(), 512u);
    for (int i = 0; i < 512; ++i) EXPECT_EQ(AACD_randomPhase[i], s[i]) << i;
    for (int k = 0; k < 4; ++k) EXPECT_EQ(facMod4Table[k], factor(k)) << k;
    for (int i = 0; i < 8; ++i) EXPECT_TRUE(fadeOutFac[i] == i + 1 && fadeInFac[i] == i + 1) << i;

    const std::pair<int64_t, int> known[] = {{0, 31}, {1, 30}, {3, 29}, {0x40000000, 0}, {INT64_MAX, -32},
                                             {-1, 31}, {-2, 30}, {-(int64_t{1} << 31), 0}, {INT64_MIN, -32}};
    for (const auto &k : known) EXPECT_EQ(LSI_exp(k.first), k.second) << k.first;
    std::mt19937_64 rng(7);
    for (int n = 0; n < 2000; ++n) {
        const int64_t x = static_cast<int64_t>(rng() >> (rng() % 63));
        if (x > 0) {
            EXPECT_EQ(LSI_exp(x), 30 - refLog2(static_cast<uint64_t>(x))) << x;
        }
        EXPECT_EQ(LSI_exp(-x - 1), LSI_exp(x)) << x;
    }

    auto st = makeState();
    CConcealmentInfo info{};
    for (uint32_t start : {0u, 7u, 511u}) {
        info.randomPhaseIndex = start;
        Frame f(kLen);
        for (int i = 0; i < kLen; ++i) f[i] = i == 3 ? INT32_MIN : i == 4 ? INT32_MAX : i + 1;
        Frame ref = f;
        refRandomSign(ref.data(), static_cast<int>(start));
        CConcealment_ApplyRandomSign(&info, f.data(), st.get());
        EXPECT_EQ(f, ref);
        EXPECT_EQ(info.randomPhaseIndex, start);  // advanced by 1024 = 0 mod 512
    }
}

// Energies against the reference for long, short and short-on-long bands at
// magnitudes up to 2^31; silence; block types above 3, reserved rates and a
// missing band list (nothing written); a band list that goes backwards.
TEST(ConcealBandEnergy, MatchesReferenceAndOddLayouts) {
    auto st = makeState();
    std::mt19937 rng(3);
    const auto check = [&](const int32_t *x, int seq, int onLong, Mode mode) {
        std::array<int32_t, 51> e{};
        CConcealment_CalcBandEnergy(x, seq, onLong, e.data(), st.get());
        const auto ref = refEnergies(x, mode);
        for (size_t b = 0; b < ref.size(); ++b) ASSERT_EQ(e[b], ref[b]) << seq << " " << onLong << " " << b;
    };
    for (int trial = 0; trial < 20; ++trial) {
        Frame f(kLen);
        const int bits = std::min(31, 4 + (trial * 27) / 19);  // magnitudes up to 2^31 at the end
        for (auto &v : f) v = static_cast<int32_t>(std::uniform_int_distribution<int64_t>(-(int64_t{1} << bits), (int64_t{1} << bits) - 1)(rng));
        if (trial == 19) f[5] = INT32_MIN;
        for (int seq : {0, 1, 3}) check(f.data(), seq, 0, Mode::Long);
        for (int w = 0; w < 8; ++w) check(f.data() + 128 * w, 2, 0, Mode::Short), check(f.data() + 128 * w, 2, 1, Mode::ShortOnLong);
    }
    auto reserved = makeState(12);
    Frame f(kLen, 0);
    std::array<int32_t, 51> e;
    e.fill(99);
    CConcealment_CalcBandEnergy(f.data(), 0, 0, e.data(), st.get());
    for (int k = 0; k < 50; ++k) EXPECT_EQ(e[k], k < 49 ? -30 : 99) << k;  // only the rate's 49 bands are written
    e.fill(99);
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
    f[0] = f[1] = 1 << 20, f[2] = f[3] = 1 << 24;  // q = ((x >> 1)^2 + 2^30) >> 31: 2^7 and 2^15
    CConcealment_CalcBandEnergy(f.data(), 0, 0, e.data(), st.get());
    EXPECT_EQ(e[0], refLog2(1 + 2 * 128 + 2 * 32768) - 30);
    EXPECT_EQ(e[1], -30);
    EXPECT_EQ(e[2], refLog2(1 + 2 * 32768) - 30);
    EXPECT_EQ(e[3], 99);
}

TEST(ConcealInterpolate, KnownValuesAndReference) {
    // d = -4 (halve), band 1 empty (would be zeroed), d = +4 (double: (x + 1) >> 1 << 2), d = -5 (mute).
    const uint16_t ends[4] = {6, 6, 10, 14};
    int32_t x[14] = {3, -3, 5, -1, 1, -6, 100, -100, 7, -7, 9, -9, 2, 0};
    const int32_t own[4] = {10, 0, 0, 3}, other[4] = {6, -40, 4, -2};
    CConcealment_InterpolateBuffer(x, own, other, 4, ends);
    EXPECT_EQ(Frame(x, x + 14), (Frame{2, -1, 3, 0, 1, -3, 200, -200, 16, -12, 0, 0, 0, 0}));
    // Band 1 ends before band 0: skipped, and band 2 starts where band 0 ended.
    const uint16_t back[3] = {4, 2, 8};
    int32_t y[8] = {8, 8, 8, 8, 8, 8, 8, 8};
    const int32_t own2[3] = {0, 0, 0}, other2[3] = {0, -20, 4};
    CConcealment_InterpolateBuffer(y, own2, other2, 3, back);
    EXPECT_EQ(Frame(y, y + 8), (Frame{8, 8, 8, 8, 16, 16, 16, 16}));

    std::mt19937 rng(5);
    const Bands b = longBands();
    for (int trial = 0; trial < 40; ++trial) {
        Frame f(kLen);
        for (auto &v : f) v = static_cast<int32_t>(rng()) >> (trial % 4 == 0 ? 12 : 0);
        std::vector<int32_t> own(b.count), other(b.count);
        for (int k = 0; k < b.count; ++k) {
            own[k] = std::uniform_int_distribution<int>(-30, 10)(rng);
            other[k] = own[k] + std::uniform_int_distribution<int>(-12, trial == 39 ? 200 : 40)(rng);
        }
        Frame ref = f, got = f;
        refInterpolate(ref.data(), own, other, b);
        CConcealment_InterpolateBuffer(got.data(), own.data(), other.data(), b.count, b.ends);
        ASSERT_EQ(got, ref) << trial;
    }
}

// The held-back frame (unchanged) for the lost call, then the rescaled one
// with random signs and the window for the transition between the
// neighbours, then the decoded frames again.
struct LossCase { uint8_t prevSeq, nextSeq, wantSeq, wantShape; };

class ConcealSingleLoss : public ::testing::TestWithParam<LossCase> {};

TEST_P(ConcealSingleLoss, InterpolatesBetweenNeighbours) {
    const LossCase c = GetParam();
    auto st = makeState();
    Slot slot(st.get());
    const bool prevShort = c.prevSeq == 2, nextShort = c.nextSeq == 2;
    // The next frame is much quieter in parts, so some bands are muted.
    const Frame prev = makeFrame(21, prevShort, 4e6), next = makeFrame(22, nextShort, 2e5);
    slot.good(makeFrame(20), 0, 0);
    slot.good(prev, c.prevSeq, 1);
    EXPECT_EQ(slot.lost(), (Output{prev, c.prevSeq, 1}));
    const Frame &base = prevShort && !nextShort ? next : prev;
    Frame want = base;
    if (prevShort && nextShort) {
        for (int w = 0; w < 8; ++w)
            refInterpolate(want.data() + 128 * w, refEnergies(prev.data() + 128 * w, Mode::Short),
                           refEnergies(next.data() + 128 * w, Mode::Short), shortBands());
    } else if (prevShort) {
        refInterpolate(want.data(), refEnergies(next.data(), Mode::Long),
                       refEnergies(prev.data() + 7 * 128, Mode::ShortOnLong), longBands());
    } else {
        refInterpolate(want.data(), refEnergies(prev.data(), Mode::Long),
                       refEnergies(next.data(), nextShort ? Mode::ShortOnLong : Mode::Long), longBands());
    }
    EXPECT_GT(std::inner_product(want.begin(), want.end(), base.begin(), 0, std::plus<>(), std::not_equal_to<>()), 100)
        << "the rescaling did nothing";
    EXPECT_EQ(slot.good(next, c.nextSeq, 1), (Output{randomised(want), c.wantSeq, c.wantShape}));
    EXPECT_TRUE(slot.info.concealState == 0u && slot.info.randomPhaseIndex == 0u);
    EXPECT_EQ(slot.good(makeFrame(23), 0, 0), (Output{next, c.nextSeq, 1}));
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
