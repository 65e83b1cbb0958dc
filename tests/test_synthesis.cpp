// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// Synthesis of every kernel version this machine runs: the FFT against a
// double-precision DFT, the inverse MDCT with windowing and overlap-add
// against the direct formula with windows computed here (sine, and
// Kaiser-Bessel-derived from the Bessel series), and perfect reconstruction
// through a test-side forward MDCT; and the spectral concealment before it:
// known values of its steps, where the band energies of an interpolated frame
// land, and whole loss timelines driven the way the frame driver runs a slot.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <functional>
#include <numeric>
#include <random>
#include <vector>

#include "conceal/conceal.h"
#include "decoder/aacd_tables.h"
#include "decoder/decoder.h"
#include "omxdl/ac/armACAAC.h"
#include "omxdl/ac/armACAAC_Kernels.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
using Kern = aacd::SynthKernels;
const Kern *const kKernels[2] = {aacd::kernelsFor(aacd::KernelIsa::C), &aacd::kernels()};

TEST(Fft, MatchesDoubleDftAndRefusesOtherOrders) {
    std::mt19937 rng(7);
    for (const Kern *k : kKernels)
        for (int order : {6, 9}) {
            const int n = 1 << order, amp = order == 9 ? 1 << 18 : 1 << 20;  // sums stay in range
            std::vector<int32_t> x(2 * n), scratch(2 * n);
            for (int32_t &v : x) v = static_cast<int32_t>(rng() % (2u * amp + 1)) - amp;
            std::vector<std::complex<double>> ref(n);
            for (int f = 0; f < n; ++f)
                for (int i = 0; i < n; ++i) ref[f] += std::complex<double>(x[2 * i], x[2 * i + 1]) * std::polar(1.0, -2 * kPi * (i * f % n) / n);
            (k == kKernels[0] ? k->fft : omx_FFT_common)(x.data(), order, order == 9 ? armACAAC_IMDCT_FFTLongQ31 : armACAAC_IMDCT_FFTShortQ31,
                                                       scratch.data());
            double worst = 0, sum2 = 0;  // rounding noise only: a few units against outputs of 2^23 to 2^24
            for (int f = 0; f < n; ++f) {
                const double er = x[2 * f] - ref[f].real(), ei = x[2 * f + 1] - ref[f].imag();
                worst = std::max({worst, std::abs(er), std::abs(ei)}), sum2 += er * er + ei * ei;
            }
            EXPECT_LE(worst, order == 9 ? 20.0 : 6.0) << k->name << " " << order;
            EXPECT_LE(std::sqrt(sum2 / (2 * n)), order == 9 ? 4.0 : 1.5) << k->name << " " << order;
        }
    for (int order : {3, 4, 10}) {  // orders 4 to 9 are transformed
        std::vector<int32_t> x(2048, 5), scratch(2048);
        omx_FFT_common(x.data(), order, armACAAC_IMDCT_FFTShortQ31, scratch.data());
        EXPECT_EQ(x == std::vector<int32_t>(2048, 5), order != 4) << order;
    }
}

// Rising half of the window of length n: shape 0 sine, 1 Kaiser-Bessel-derived.
std::vector<double> risingHalf(int shape, int n) {
    std::vector<double> w(n / 2), kern(n / 2 + 1);
    double total = 0, acc = 0;
    for (int i = 0; i <= n / 2; ++i) {
        const double r = (i - n / 4.0) / (n / 4.0), x = kPi * (n == 2048 ? 4 : 6) * std::sqrt(std::max(0.0, 1 - r * r));
        double term = 1, i0 = 1;  // Bessel I0 series
        for (int k = 1; k < 60; ++k) i0 += (term *= (x / (2 * k)) * (x / (2 * k)));
        total += kern[i] = i0;
    }
    for (int i = 0; i < n / 2; ++i) w[i] = shape ? std::sqrt((acc += kern[i]) / total) : std::sin(kPi * (i + 0.5) / n);
    return w;
}

double kernel(int n, int i, int k) { return std::cos(2 * kPi / n * (i + (n / 2.0 + 1) / 2) * (k + 0.5)); }

// Window over the 2048 samples of a long, start or stop frame, or the 256 of short window w.
std::vector<double> spanWindow(int seq, int prevShape, int shape, int w = 0) {
    const auto sp = risingHalf(prevShape, 256), sc = risingHalf(shape, 256), lp = risingHalf(prevShape, 2048), lc = risingHalf(shape, 2048);
    std::vector<double> win(seq == 2 ? 256 : 2048);
    for (int j = 0; seq == 2 && j < 128; ++j) win[j] = (w == 0 ? sp : sc)[j], win[128 + j] = sc[127 - j];
    for (int n = 0; seq != 2 && n < 1024; ++n) {
        win[n] = seq != 3 ? lp[n] : (n < 448 ? 0.0 : (n < 576 ? sp[n - 448] : 1.0));
        win[1024 + n] = (seq == 0 || seq == 3) ? lc[1023 - n] : (n < 448 ? 1.0 : (n < 576 ? sc[575 - n] : 0.0));
    }
    return win;
}

// One channel of a kernel version, written with a stride of 2: the other channel's samples stay untouched.
struct IntChannel {
    const Kern *k;
    std::vector<int32_t> overlap = std::vector<int32_t>(1024, 0);
    int prevShape = 0;
    std::vector<int32_t> frame(std::vector<int32_t> coefs, int seq, int shape, int bits = 16) {
        std::vector<int32_t> out(2048, 0x12345678), dense(1024);
        EXPECT_EQ((k == kKernels[1] ? omxACAAC_MDCTInv_S32_S32 : k->mdctInv)(coefs.data(), out.data(), overlap.data(), seq, shape, prevShape,
                                                                             2, bits, &armACAAC_IMDCT_Tables), 0);
        for (int n = 0; n < 1024; ++n) { dense[n] = out[2 * n]; EXPECT_EQ(out[2 * n + 1], 0x12345678); }
        prevShape = shape;
        return dense;
    }
};

// A signal through a forward MDCT in double, every window sequence
// transition and shape pair: the 16- and 24-bit output matches the direct
// formula (each block's IMDCT windowed, short blocks at 448 + 128 w times 8,
// overlapped by half, 2^15 per 16-bit unit, halved) and gives the signal
// back, clamped where frame 9 drives it past the limits.
TEST(Imdct, DirectFormulaAndPerfectReconstruction) {
    const int seqs[] = {0, 0, 1, 2, 2, 3, 0, 1, 2, 3, 1, 3, 0, 1, 2, 3, 0}, shapes[] = {0, 1, 1, 1, 0, 0, 0, 1, 1, 0, 0, 0, 1, 1, 0, 1, 1};
    std::mt19937 rng(21);
    std::normal_distribution<double> noise(0.0, 800.0);
    std::vector<double> x(18 * 1024, 0.0);
    for (size_t t = 1024; t < x.size(); ++t) x[t] = (t / 1024 == 9 ? 3 : 1) * (9000 * std::sin(0.031 * t) + 4000 * std::sin(0.57 * t + 1)) + noise(rng);
    for (const Kern *k : kKernels)
        for (int bits : {16, 24}) {
            IntChannel ch{k};
            std::vector<double> overlap(1024, 0.0);
            const double unit = bits == 16 ? 16384.0 : 64.0, hi = bits == 16 ? 32767 : 8388607;
            int clamped = 0;
            for (int f = 0; f < 17; ++f) {
                std::vector<int32_t> c(1024);
                std::vector<double> span(2048, 0.0);
                for (int w = 0, m = seqs[f] == 2 ? 128 : 1024, at = 0; w < 1024 / m; ++w) {
                    const auto win = spanWindow(seqs[f], f ? shapes[f - 1] : 0, shapes[f], w);
                    at = m == 128 ? 448 + 128 * w : 0;
                    for (int j = 0; j < m; ++j) {
                        double acc = 0;
                        for (int i = 0; i < 2 * m; ++i) acc += win[i] * x[1024 * f + at + i] * kernel(2 * m, i, j);
                        c[m * w + j] = static_cast<int32_t>(std::lround(64 * acc));
                    }
                    for (int i = 0; i < 2 * m; ++i) {
                        double y = 0;
                        for (int j = 0; j < m; ++j) y += c[m * w + j] * kernel(2 * m, i, j);
                        span[at + i] += (m == 128 ? 8 : 1) * y * win[i];
                    }
                }
                const std::vector<int32_t> got = ch.frame(c, seqs[f], shapes[f], bits);
                for (int n = 0; n < 1024; ++n) {
                    ASSERT_LE(std::abs(got[n] - std::clamp((overlap[n] + span[n]) / 2 / unit, -hi - 1, hi)), bits / 8 - 1.0) << k->name << " " << f;
                    ASSERT_LE(std::abs(got[n] - std::clamp(x[1024 * f + n] * (hi + 1) / 32768, -hi - 1, hi)), bits / 8 - 1.0) << k->name << " " << f;
                    overlap[n] = span[1024 + n], clamped += got[n] == hi || got[n] == -hi - 1;
                }
            }
            EXPECT_GT(clamped, 10);
        }
    std::vector<int32_t> c(1024), pcm(1024), ov(1024);
    for (int stride : {0, -1, 1})
        EXPECT_EQ(omxACAAC_MDCTInv_S32_S32(c.data(), pcm.data(), ov.data(), 0, 0, 0, stride, 16, &armACAAC_IMDCT_Tables), stride > 0 ? 0 : -5);
}

// --- Concealment ---------------------------------------------------------

using Frame = std::vector<int32_t>;
Frame randomised(Frame f, int shift = 0) {  // the random sign table applied from index 0, then a shift
    for (int i = 0; i < 1024; ++i) f[i] = (AACD_randomPhase[i % 512] < 0 ? static_cast<int32_t>(0u - static_cast<uint32_t>(f[i])) : f[i]) >> shift;
    return f;
}
Frame makeFrame(uint32_t seed, double level = 1e6) {  // band levels following a profile
    std::mt19937 rng(seed);
    Frame f(1024);
    for (int i = 0; i < 1024; ++i) f[i] = static_cast<int32_t>(level * (1.0 + 0.9 * std::sin(i / 8 * 0.37 + seed)) * (rng() % 2001 / 1000.0 - 1));
    return f;
}

// One channel slot as the frame driver runs it: two spectrum buffers whose
// roles are exchanged on every good frame, and the concealment record; the
// instance holds the tables and channel map concealment reads.
struct Slot {
    AacdDecoderState st{};
    Frame buf[2] = {Frame(1024), Frame(1024)};
    int cur = 0;
    CConcealmentInfo info{};
    uint8_t seq = 0, shape = 0;
    explicit Slot(int32_t sri) {
        for (int i = 0; i < 16; ++i) st.sampleRates[i] = AACD_sampleRateTable[i];
        for (int i = 0; i < 12; ++i)
            st.sampleRates[i].longBandEnds = armACAAC_swbOffsetLongWindow[i] + 1, st.sampleRates[i].shortBandEnds = armACAAC_swbOffsetShortWindow[i] + 1;
        st.randomPhase = AACD_randomPhase, st.pMcInfo = &st.mcInfo, st.mcInfo.samplingRateIndex = sri, info.buffer = buf[1].data();
        CConcealment_Init(&info);
    }
    Frame run(const Frame *decoded, uint8_t sequence = 0, uint8_t windowShape = 0) {  // nullptr: a lost frame
        for (int i = 0; i < 1024; ++i) buf[cur][i] = decoded ? (*decoded)[i] : 0x1234567 + i;  // a failed decode's leftovers must not leak
        if (decoded) seq = sequence, shape = windowShape;
        info.storedSpectrum = buf[decoded ? cur : cur ^ 1].data(), cur ^= decoded ? 1 : 0;
        CConcealment_Apply(&info, buf[cur].data(), &seq, &shape, &st, decoded != nullptr);
        return buf[cur];
    }
    Frame energies(const Frame &f, int seq = 0, int onLong = 0) {
        Frame e(52, 99);
        CConcealment_CalcBandEnergy(f.data(), seq, onLong, e.data(), &st);
        return e;
    }
};

// Known values: the leading-bit count, the random signs, band energies
// floor(log2(1 + sum q)) - 30 with q = ((x >> 1)^2 + 2^30) >> 31 (a short
// window on long bands reads every eighth position), band scaling by
// 2^(d/4) with d the energy difference (below -4: muted).
TEST(Conceal, KnownValues) {
    for (int b = 0; b < 63; ++b) EXPECT_TRUE(LSI_exp(int64_t{1} << b) == 30 - b && LSI_exp(-(int64_t{1} << b) - 1) == 30 - b) << b;
    EXPECT_TRUE(LSI_exp(0) == 31 && LSI_exp(-1) == 31 && LSI_exp(INT64_MAX) == -32 && LSI_exp(INT64_MIN) == -32 && LSI_exp(3) == 29);
    Slot s(4);  // 44.1 kHz: long band 0 is 0..3, band 10 40..47, band 48 960..1023; short band 13 112..127
    for (uint32_t start : {0u, 7u, 511u}) {
        Frame f(1024, 9);
        f[3] = INT32_MIN, s.info.randomPhaseIndex = start;
        CConcealment_ApplyRandomSign(&s.info, f.data(), &s.st);
        for (int i = 0; i < 1024; ++i) ASSERT_EQ(f[i], i == 3 ? INT32_MIN : AACD_randomPhase[(start + i) % 512] < 0 ? -9 : 9) << start << " " << i;
        EXPECT_EQ(s.info.randomPhaseIndex, start);  // advanced by 1024 = 0 mod 512
    }
    struct Case { int seq, onLong; int32_t value; int band, want; };
    for (const Case c : {Case{0, 0, 1 << 20, 0, -21}, Case{1, 0, -(1 << 20), 0, -21}, Case{3, 0, 1 << 30, 10, 0}, Case{0, 0, 3, 10, -30},
                         Case{2, 0, 1 << 20, 13, -19}, Case{2, 0, INT32_MIN, 13, 3}, Case{2, 1, 1 << 20, 10, -20}, Case{2, 1, -(1 << 20), 48, -17}}) {
        const int count = c.seq == 2 && !c.onLong ? 14 : 49;
        const uint16_t *off = (count == 14 ? armACAAC_swbOffsetShortWindow : armACAAC_swbOffsetLongWindow)[4];
        Frame f(1024, 0);
        for (int i = off[c.band]; i < off[c.band + 1]; ++i) f[c.onLong ? i / 8 : i] = c.value;
        const Frame e = s.energies(f, c.seq, c.onLong);
        for (int k = 0; k <= count; ++k) EXPECT_EQ(e[k], k == count ? 99 : k == c.band ? c.want : -30) << c.seq << " " << c.band << " " << k;
    }
    // Block types outside 0..3, reserved rates and a missing band list write
    // nothing; a band list going backwards gives an empty band (energy -30,
    // not scaled) and the next band starts at its end.
    Slot reserved(12), noBands(4);
    noBands.st.sampleRates[4].longBandEnds = nullptr;
    EXPECT_TRUE(s.energies(Frame(1024, 1), 4)[0] == 99 && s.energies(Frame(1024, 1), -1)[0] == 99 &&
                reserved.energies(Frame(1024, 1))[0] == 99 && noBands.energies(Frame(1024, 1))[0] == 99);
    const uint16_t ends[5] = {6, 6, 10, 14, 16}, back[3] = {4, 2, 8};
    s.st.sampleRates[4].longBandEnds = back, s.st.sampleRates[4].numSwbLong = 3;
    const Frame e = s.energies({1 << 20, 1 << 20, 1 << 24, 1 << 24, 0, 0, 0, 0});  // q = 2^7 and 2^15
    EXPECT_EQ(Frame(e.begin(), e.begin() + 4), (Frame{16 - 30, -30, 16 - 30, 99}));
    int32_t x[16] = {3, -3, 5, -1, 1, -6, 100, -100, 7, -7, 9, -9, 2, 0, 1 << 20, -(1 << 20)}, y[8] = {8, 8, 8, 8, 8, 8, 8, 8};
    const int32_t own[5] = {10, 0, 0, 3, 0}, other[5] = {6, -40, 4, -2, 2}, own2[3] = {0, 0, 0}, other2[3] = {0, -20, 4};
    CConcealment_InterpolateBuffer(x, own, other, 5, ends), CConcealment_InterpolateBuffer(y, own2, other2, 3, back);
    CConcealment_InterpolateBuffer(y, own2, other2, 3, nullptr);
    EXPECT_EQ(Frame(x, x + 16), (Frame{2, -1, 3, 0, 1, -3, 200, -200, 16, -12, 0, 0, 0, 0, 1482910, -1482910}));
    EXPECT_EQ(Frame(y, y + 8), (Frame{8, 8, 8, 8, 16, 16, 16, 16}));
    s.info.concealState = 7;  // an unknown state is left alone
    CConcealment_UpdateState(&s.info, 0);
    EXPECT_EQ(s.info.concealState, 7u);
}

// A single loss between two frames gives the previous spectrum rescaled
// toward the next one, randomised, with the window of the transition;
// between long frames every band's energy lands halfway (or is muted where
// the next frame is more than 4 steps quieter), at 96 kHz (index 0) too.
TEST(Conceal, SingleLossInterpolatesBetweenNeighbours) {
    struct Case { uint8_t prevSeq, nextSeq, wantSeq, wantShape; };
    for (const Case c : {Case{0, 0, 0, 0}, Case{3, 1, 0, 0}, Case{0, 2, 1, 1}, Case{2, 2, 2, 1}, Case{2, 0, 3, 0}, Case{2, 3, 3, 0}})
        for (int32_t sri : {4, 0}) {
            Slot s(sri);
            const Frame prev = makeFrame(21, 4e6), next = makeFrame(22, 1.2e6), first = makeFrame(20);
            s.run(&first), s.run(&prev, c.prevSeq, 1);
            EXPECT_EQ(s.run(nullptr), prev);  // the held-back frame
            const Frame o = randomised(s.run(&next, c.nextSeq, 1)), &base = c.prevSeq == 2 && c.nextSeq != 2 ? next : prev;
            EXPECT_TRUE(s.seq == c.wantSeq && s.shape == c.wantShape && s.info.concealState == 0u) << int{c.prevSeq} << int{c.nextSeq};
            EXPECT_GT(std::inner_product(o.begin(), o.end(), base.begin(), 0, std::plus<>(), std::not_equal_to<>()), 100);
            const Frame eg = s.energies(o), ep = s.energies(prev), en = s.energies(next);
            for (int k = 0, muted = 0; c.prevSeq != 2 && c.nextSeq != 2 && k < armACAAC_numSwbLong[sri]; ++k) {
                EXPECT_TRUE(en[k] - ep[k] < -4 ? eg[k] == -30 : std::abs(eg[k] - (ep[k] + en[k]) / 2.0) <= 1.0) << sri << " " << k;
                EXPECT_TRUE((muted += en[k] - ep[k] < -4) > 0 || k < armACAAC_numSwbLong[sri] - 1);
            }
            EXPECT_EQ(s.run(&first), next);
        }
}

// One frame of delay (the cleared buffer); a single loss before silence is
// cleared, at a reserved rate only randomised; a burst gives the held-back
// frame, five fades of the randomised last spectrum, mute until the fifth
// good frame, a fade-in over five and the decoded frames again; a loss in
// the fade-in fades out.
TEST(Conceal, Timelines) {
    Slot s(4), r(12), q(4);
    const Frame f0 = makeFrame(40), f1 = makeFrame(41, 2e6), zero(1024, 0);
    EXPECT_TRUE(s.info.prevFrameOk == 1u && s.info.prevPrevFrameOk == 1u && s.info.storedSpectrum == s.buf[1].data());
    EXPECT_TRUE(s.run(&f0, 2, 1) == zero && s.seq == 0 && s.shape == 0);
    EXPECT_TRUE(s.run(&f1, 3, 0) == f0 && s.seq == 2 && s.shape == 1);
    EXPECT_EQ(s.run(nullptr), f1);
    for (int n = 1; n <= 5; ++n) EXPECT_EQ(s.run(nullptr), randomised(f1, n)) << "fade " << n;
    EXPECT_TRUE(s.seq == 3 && s.shape == 0 && s.info.concealState == 1u);
    for (int n = 0, fadeIn[5] = {6, 5, 4, 3, 2}; n < 11; ++n) {
        const Frame prev = makeFrame(50 + n - 1), next = makeFrame(50 + n);
        EXPECT_EQ(s.run(&next), n < 5 ? zero : n < 10 ? randomised(randomised(prev), fadeIn[n - 5]) : prev) << n;
        EXPECT_EQ(s.info.concealState, n < 5 ? 2u : n < 10 ? 3u : 0u) << n;
    }
    const Frame loud = makeFrame(30, 1e7), quiet = makeFrame(32, 1e3);
    q.run(&loud), q.run(nullptr), r.run(&f0), r.run(nullptr);
    EXPECT_TRUE(q.run(&zero) == zero && r.run(&quiet) == randomised(f0));
    for (int n = 0; n < 13; ++n) q.run(n < 7 ? nullptr : &f1);  // to mute, then into the fade-in
    EXPECT_EQ(q.info.concealState, 3u);
    q.run(nullptr), q.run(nullptr);
    EXPECT_EQ(q.info.concealState, 1u);
}

}  // namespace
