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
#include <memory>
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

double besselI0(double x) {
    double term = 1, sum = 1;
    for (int k = 1; k < 60; ++k) sum += (term *= (x / (2 * k)) * (x / (2 * k)));
    return sum;
}

// Rising half of the window of length n: shape 0 sine, 1 KBD.
std::vector<double> risingHalf(int shape, int n) {
    std::vector<double> w(n / 2), kern(n / 2 + 1);
    double total = 0, acc = 0;
    for (int i = 0; i <= n / 2; ++i) {
        const double r = (i - n / 4.0) / (n / 4.0);
        total += kern[i] = besselI0(kPi * (n == 2048 ? 4 : 6) * std::sqrt(std::max(0.0, 1 - r * r)));
    }
    for (int i = 0; i < n / 2; ++i) w[i] = shape ? std::sqrt((acc += kern[i]) / total) : std::sin(kPi * (i + 0.5) / n);
    return w;
}

double kernel(int n, int i, int k) { return std::cos(2 * kPi / n * (i + (n / 2.0 + 1) / 2) * (k + 0.5)); }

// Window over the 2048 samples of a long, start or stop frame, or over the 256
// samples of short window w.
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

// The direct formula: each block's unnormalised IMDCT windowed, the short
// blocks at 448 + 128 w times 8, overlapped by half, in the scale of the
// integer path (2^15 per unit of 16-bit output, halved).
struct RefChannel {
    std::vector<double> overlap = std::vector<double>(1024, 0.0);
    int prevShape = 0;
    std::vector<double> frame(const std::vector<int32_t> &c, int seq, int shape) {
        std::vector<double> span(2048, 0.0), out(1024);
        for (int w = 0; w < (seq == 2 ? 8 : 1); ++w) {
            const int m = seq == 2 ? 128 : 1024, at = seq == 2 ? 448 + 128 * w : 0;
            const auto win = spanWindow(seq, prevShape, shape, w);
            for (int i = 0; i < 2 * m; ++i) {
                double y = 0;
                for (int k = 0; k < m; ++k) y += c[m * w + k] * kernel(2 * m, i, k);
                span[at + i] += (seq == 2 ? 8 : 1) * y * win[i];
            }
        }
        for (int n = 0; n < 1024; ++n) out[n] = (overlap[n] + span[n]) / 2, overlap[n] = span[1024 + n];
        prevShape = shape;
        return out;
    }
};

struct IntChannel {  // with a stride of 2, the other channel's samples stay untouched
    const Kern *k;
    std::vector<int32_t> overlap = std::vector<int32_t>(1024, 0);
    int prevShape = 0;
    std::vector<int32_t> frame(std::vector<int32_t> coefs, int seq, int shape, int bits = 16) {
        std::vector<int32_t> out(2048, 0x12345678), dense(1024);
        EXPECT_EQ((k == kKernels[1] ? omxACAAC_MDCTInv_S32_S32 : k->mdctInv)(coefs.data(), out.data(), overlap.data(), seq, shape, prevShape,
                                                                             2, bits, &armACAAC_IMDCT_Tables), 0);
        for (int n = 0; n < 1024; ++n) dense[n] = out[2 * n];
        for (int n = 0; n < 1024; ++n) EXPECT_EQ(out[2 * n + 1], 0x12345678);
        prevShape = shape;
        return dense;
    }
};

// Every window sequence transition and shape pair, 16- and 24-bit samples,
// with samples well above the rounding and some clamped at the limits.
TEST(Imdct, FrameSequencesMatchDirectFormula) {
    const int seqs[] = {0, 1, 2, 2, 3, 0, 0, 1, 2, 3, 1, 3, 0, 1, 2, 3}, shapes[] = {0, 1, 1, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 1, 0, 1};
    for (const Kern *k : kKernels)
        for (int bits : {16, 24}) {
            std::mt19937 rng(11);
            IntChannel ic{k};
            RefChannel rc;
            const double unit = bits == 16 ? 16384.0 : 64.0, hi = bits == 16 ? 32767 : 8388607;
            int peak = 0, clamped = 0;
            for (int f = 0; f < 16; ++f) {
                std::vector<int32_t> c(1024);
                for (int32_t &v : c) v = static_cast<int32_t>(rng() % (2u << 22 | 1)) - (1 << 22);
                c[1] += f == 6 ? 1500000000 : 0;  // drives frame 6's samples past the limits
                const std::vector<double> ref = rc.frame(c, seqs[f], shapes[f]);
                const std::vector<int32_t> got = ic.frame(c, seqs[f], shapes[f], bits);
                for (int n = 0; n < 1024; ++n) {
                    ASSERT_LE(std::abs(got[n] - std::clamp(ref[n] / unit, -hi - 1, hi)), bits == 16 ? 1.0 : 2.0) << k->name << " " << f;
                    peak = std::max(peak, std::abs(got[n])), clamped += got[n] == hi || got[n] == -hi - 1;
                }
            }
            EXPECT_GT(peak, bits == 16 ? 500 : 500 * 256);
            EXPECT_GT(clamped, 10);
        }
    std::vector<int32_t> c(1024), pcm(1024), ov(1024);
    EXPECT_TRUE(omxACAAC_MDCTInv_S32_S32(c.data(), pcm.data(), ov.data(), 0, 0, 0, 0, 16, &armACAAC_IMDCT_Tables) == -5 &&
                omxACAAC_MDCTInv_S32_S32(c.data(), pcm.data(), ov.data(), 0, 0, 0, -1, 16, &armACAAC_IMDCT_Tables) == -5 &&
                omxACAAC_MDCTInv_S32_S32(c.data(), pcm.data(), ov.data(), 0, 0, 0, 1, 16, &armACAAC_IMDCT_Tables) == 0);
}

// A forward MDCT in double of a known signal, through long, start, short
// and stop sequences and shape changes, decodes back to the signal.
TEST(Imdct, PerfectReconstruction) {
    const int seqs[] = {0, 0, 1, 2, 2, 3, 0, 1, 2, 3, 0, 0, 1, 3, 0}, shapes[] = {0, 1, 1, 1, 0, 0, 0, 1, 1, 0, 1, 0, 0, 1, 1};
    std::mt19937 rng(21);
    std::normal_distribution<double> noise(0.0, 800.0);
    std::vector<double> x(16 * 1024, 0.0);
    for (size_t t = 1024; t < x.size(); ++t) x[t] = 9000 * std::sin(0.031 * t) + 4000 * std::sin(0.57 * t + 1) + noise(rng);
    for (const Kern *k : kKernels) {
        IntChannel ch{k};
        double worst = 0;
        for (int f = 0, prevShape = 0; f < 15; prevShape = shapes[f++]) {
            std::vector<int32_t> coefs(1024);
            for (int b = 0; b < (seqs[f] == 2 ? 8 : 1); ++b) {
                const auto win = spanWindow(seqs[f], prevShape, shapes[f], b);
                const int n = static_cast<int>(win.size());
                const double *src = x.data() + 1024 * f + (seqs[f] == 2 ? 448 + 128 * b : 0);
                for (int j = 0; j < n / 2; ++j) {
                    double acc = 0;
                    for (int i = 0; i < n; ++i) acc += win[i] * src[i] * kernel(n, i, j);
                    coefs[n / 2 * b + j] = static_cast<int32_t>(std::lround(64 * acc));
                }
            }
            const auto out = ch.frame(coefs, seqs[f], shapes[f]);
            for (int n = 0; n < 1024; ++n) worst = std::max(worst, std::abs(out[n] - x[1024 * f + n]));
        }
        EXPECT_LE(worst, 1.0) << k->name;
    }
}

// --- Concealment -----------------------------------------------------------

using Frame = std::vector<int32_t>;

Frame randomised(Frame f) {  // the random sign table applied from index 0
    for (int i = 0; i < 1024; ++i) f[i] = AACD_randomPhase[i % 512] < 0 ? static_cast<int32_t>(0u - static_cast<uint32_t>(f[i])) : f[i];
    return f;
}
Frame shifted(Frame f, int n) {
    for (int32_t &v : f) v >>= n;
    return f;
}
Frame makeFrame(uint32_t seed, bool shortWin = false, double level = 1e6) {  // band levels following a profile
    std::mt19937 rng(seed);
    Frame f(1024);
    for (int i = 0; i < 1024; ++i) {
        const double amp = level * (1.0 + 0.9 * std::sin((shortWin ? i % 128 : i / 8) * 0.37 + seed)) + 1.0;
        f[i] = static_cast<int32_t>(std::uniform_real_distribution<double>(-amp, amp)(rng));
    }
    return f;
}

std::unique_ptr<AacdDecoderState> makeState(int32_t sri) {  // the tables and channel map concealment reads
    auto st = std::make_unique<AacdDecoderState>();
    for (int i = 0; i < 16; ++i) st->sampleRates[i] = AACD_sampleRateTable[i];
    for (int i = 0; i < 12; ++i)
        st->sampleRates[i].longBandEnds = armACAAC_swbOffsetLongWindow[i] + 1, st->sampleRates[i].shortBandEnds = armACAAC_swbOffsetShortWindow[i] + 1;
    st->randomPhase = AACD_randomPhase, st->pMcInfo = &st->mcInfo, st->mcInfo.samplingRateIndex = sri;
    return st;
}

// One channel slot as the frame driver runs it: two spectrum buffers whose
// roles are exchanged on every good frame, and the concealment record.
struct Slot {
    const AacdDecoderState *st;
    Frame buf[2] = {Frame(1024), Frame(1024)};
    int cur = 0;
    CConcealmentInfo info{};
    uint8_t seq = 0, shape = 0;
    explicit Slot(const AacdDecoderState *s) : st(s) { info.buffer = buf[1].data(), CConcealment_Init(&info); }
    Frame good(const Frame &decoded, uint8_t sequence = 0, uint8_t windowShape = 0) {
        std::copy(decoded.begin(), decoded.end(), buf[cur].begin());
        seq = sequence, shape = windowShape, info.storedSpectrum = buf[cur].data(), cur ^= 1;
        return synthesise(1);
    }
    Frame lost() {
        for (int i = 0; i < 1024; ++i) buf[cur][i] = 0x1234567 + i;  // what a failed decode left must not leak
        info.storedSpectrum = buf[cur ^ 1].data();
        return synthesise(0);
    }
    Frame synthesise(int32_t ok) {
        CConcealment_Apply(&info, buf[cur].data(), &seq, &shape, st, ok);
        return buf[cur];
    }
};

std::vector<int32_t> energies(const Frame &f, const AacdDecoderState *st, int seq = 0, int onLong = 0) {
    std::vector<int32_t> e(52, 99);
    CConcealment_CalcBandEnergy(f.data(), seq, onLong, e.data(), st);
    return e;
}

// Known values: the leading-bit count, the random signs, band energies
// floor(log2(1 + sum q)) - 30 with q = ((x >> 1)^2 + 2^30) >> 31 (a short
// window measured on long bands reads every eighth position), and band
// scaling by 2^(d/4), d the energy difference (below -4: muted).
TEST(Conceal, KnownValues) {
    const std::pair<int64_t, int> known[] = {{0, 31}, {1, 30}, {3, 29}, {0x40000000, 0}, {INT64_MAX, -32}, {-1, 31}, {-2, 30}, {INT64_MIN, -32}};
    for (const auto &[x, e] : known) EXPECT_EQ(LSI_exp(x), e) << x;
    for (int b = 0; b < 63; ++b) EXPECT_TRUE(LSI_exp(int64_t{1} << b) == 30 - b && LSI_exp(-(int64_t{1} << b) - 1) == 30 - b) << b;
    auto st = makeState(4);  // 44.1 kHz: long band 0 is 0..3, band 10 40..47; short band 13 112..127
    CConcealmentInfo info{};
    for (uint32_t start : {0u, 7u, 511u}) {
        Frame f(1024, 9);
        f[3] = INT32_MIN, info.randomPhaseIndex = start;
        CConcealment_ApplyRandomSign(&info, f.data(), st.get());
        for (int i = 0; i < 1024; ++i) ASSERT_EQ(f[i], i == 3 ? INT32_MIN : AACD_randomPhase[(start + i) % 512] < 0 ? -9 : 9) << start << " " << i;
        EXPECT_EQ(info.randomPhaseIndex, start);  // advanced by 1024 = 0 mod 512
    }
    struct Case { int seq, onLong; int32_t value; int band, want; };
    for (const Case c : {Case{0, 0, 1 << 20, 0, -21}, Case{1, 0, -(1 << 20), 0, -21}, Case{3, 0, 1 << 30, 10, 0}, Case{0, 0, 3, 10, -30},
                         Case{2, 0, 1 << 20, 13, -19}, Case{2, 0, INT32_MIN, 13, 3}, Case{2, 1, 1 << 20, 10, -20}, Case{2, 1, -(1 << 20), 48, -17}}) {
        const int count = c.seq == 2 && !c.onLong ? 14 : 49;
        const uint16_t *off = (count == 14 ? armACAAC_swbOffsetShortWindow : armACAAC_swbOffsetLongWindow)[4];
        Frame f(1024, 0);
        for (int i = off[c.band]; i < off[c.band + 1]; ++i) f[c.onLong ? i / 8 : i] = c.value;
        const auto e = energies(f, st.get(), c.seq, c.onLong);
        for (int k = 0; k <= count; ++k) EXPECT_EQ(e[k], k == count ? 99 : k == c.band ? c.want : -30) << c.seq << " " << c.band << " " << k;
    }
    // Block types outside 0..3, reserved rates and a missing band list write nothing.
    auto reserved = makeState(12), noBands = makeState(4);
    noBands->sampleRates[4].longBandEnds = nullptr;
    EXPECT_TRUE(energies(Frame(1024, 1), st.get(), 4)[0] == 99 && energies(Frame(1024, 1), st.get(), -1)[0] == 99 &&
                energies(Frame(1024, 1), reserved.get())[0] == 99 && energies(Frame(1024, 1), noBands.get())[0] == 99);
    // A band list going backwards: the empty band is skipped (energy -30), the next one starts at its end.
    const uint16_t ends[5] = {6, 6, 10, 14, 16}, back[3] = {4, 2, 8};
    st->sampleRates[4].longBandEnds = back, st->sampleRates[4].numSwbLong = 3;
    Frame g(1024, 0);
    g[0] = g[1] = 1 << 20, g[2] = g[3] = 1 << 24;  // q = 2^7 and 2^15
    const Frame eg = energies(g, st.get());
    EXPECT_EQ(Frame(eg.begin(), eg.begin() + 4), (Frame{16 - 30, -30, 16 - 30, 99}));
    int32_t x[16] = {3, -3, 5, -1, 1, -6, 100, -100, 7, -7, 9, -9, 2, 0, 1 << 20, -(1 << 20)}, y[8] = {8, 8, 8, 8, 8, 8, 8, 8};
    const int32_t own[5] = {10, 0, 0, 3, 0}, other[5] = {6, -40, 4, -2, 2}, own2[3] = {0, 0, 0}, other2[3] = {0, -20, 4};
    CConcealment_InterpolateBuffer(x, own, other, 5, ends);
    CConcealment_InterpolateBuffer(y, own2, other2, 3, back);
    CConcealment_InterpolateBuffer(y, own2, other2, 3, nullptr);
    EXPECT_EQ(Frame(x, x + 16), (Frame{2, -1, 3, 0, 1, -3, 200, -200, 16, -12, 0, 0, 0, 0, 1482910, -1482910}));
    EXPECT_EQ(Frame(y, y + 8), (Frame{8, 8, 8, 8, 16, 16, 16, 16}));
    info.concealState = 7;  // an unknown state is left alone
    CConcealment_UpdateState(&info, 0);
    EXPECT_EQ(info.concealState, 7u);
}

// A single loss: the held-back frame (unchanged) for the lost call, then the
// previous spectrum rescaled toward the next one, with random signs and the
// window of the transition; between long frames every band's energy lands
// halfway (or muted where the next frame is more than 4 steps quieter); at
// 96 kHz (index 0) as at 44.1 kHz.
TEST(Conceal, SingleLossInterpolatesBetweenNeighbours) {
    struct Case { uint8_t prevSeq, nextSeq, wantSeq, wantShape; };
    for (const Case c : {Case{0, 0, 0, 0}, Case{3, 1, 0, 0}, Case{0, 2, 1, 1}, Case{2, 2, 2, 1}, Case{2, 0, 3, 0}, Case{2, 3, 3, 0}})
        for (int32_t sri : {4, 0}) {
            auto st = makeState(sri);
            Slot slot(st.get());
            const bool prevShort = c.prevSeq == 2, nextShort = c.nextSeq == 2;
            const Frame prev = makeFrame(21, prevShort, 4e6), next = makeFrame(22, nextShort, 1.2e6);
            slot.good(makeFrame(20)), slot.good(prev, c.prevSeq, 1);
            EXPECT_EQ(slot.lost(), prev);
            const Frame o = slot.good(next, c.nextSeq, 1);
            EXPECT_TRUE(slot.seq == c.wantSeq && slot.shape == c.wantShape) << int{c.prevSeq} << int{c.nextSeq};
            const Frame r = randomised(o), &base = prevShort && !nextShort ? next : prev;
            int moved = 0, muted = 0;
            for (int i = 0; i < 1024; ++i) moved += r[i] != base[i];
            EXPECT_GT(moved, 100) << "the rescaling did nothing";
            for (int k = 0; !prevShort && !nextShort && k < armACAAC_numSwbLong[sri]; ++k) {
                const int32_t eg = energies(r, st.get())[k], ep = energies(prev, st.get())[k], en = energies(next, st.get())[k];
                EXPECT_TRUE(en - ep < -4 ? eg == -30 : std::abs(eg - (ep + en) / 2.0) <= 1.0) << sri << " " << k;
                muted += en - ep < -4;
            }
            EXPECT_TRUE(prevShort || nextShort || muted > 0);
            EXPECT_TRUE(slot.info.concealState == 0u && slot.info.randomPhaseIndex == 0u);
            EXPECT_EQ(slot.good(makeFrame(23)), next);
            EXPECT_TRUE(slot.seq == c.nextSeq && slot.shape == 1);
        }
}

// From the initialised record: one frame of delay (the cleared buffer), a
// single loss before silence (cleared) and at a reserved rate (only
// randomised); then a burst: the held-back frame, five fades of the
// randomised last spectrum, mute until the fifth good frame, a fade-in over
// five and the decoded frames again; a second loss in a fade-in fades out.
TEST(Conceal, Timelines) {
    auto st = makeState(4), reserved = makeState(12);
    Slot slot(st.get()), r(reserved.get()), q(st.get());
    const Frame f0 = makeFrame(40, true), f1 = makeFrame(41, false, 2e6);
    EXPECT_TRUE(slot.info.prevFrameOk == 1u && slot.info.prevPrevFrameOk == 1u && slot.info.storedSpectrum == slot.buf[1].data());
    EXPECT_EQ(slot.good(f0, 2, 1), Frame(1024, 0));
    EXPECT_TRUE(slot.seq == 0 && slot.shape == 0);
    EXPECT_EQ(slot.good(f1, 3, 0), f0);
    EXPECT_TRUE(slot.seq == 2 && slot.shape == 1);
    EXPECT_EQ(slot.lost(), f1);
    for (int n = 1; n <= 5; ++n) EXPECT_EQ(slot.lost(), shifted(randomised(f1), n)) << "fade " << n;
    EXPECT_TRUE(slot.seq == 3 && slot.shape == 0 && slot.info.concealState == 1u);
    for (int n = 0; n < 11; ++n) {
        const Frame prev = makeFrame(50 + n - 1);
        const int fadeIn[5] = {6, 5, 4, 3, 2};
        EXPECT_EQ(slot.good(makeFrame(50 + n)), n < 5 ? Frame(1024, 0) : n < 10 ? shifted(prev, fadeIn[n - 5]) : prev) << n;
        EXPECT_EQ(slot.info.concealState, n < 5 ? 2u : n < 10 ? 3u : 0u) << n;
    }
    q.good(makeFrame(30, false, 1e7)), q.lost();
    EXPECT_EQ(q.good(Frame(1024, 0)), Frame(1024, 0));
    r.good(makeFrame(31)), r.lost();
    EXPECT_EQ(r.good(makeFrame(32, false, 1e3)), randomised(makeFrame(31)));
    for (int n = 0; n < 7; ++n) q.lost();  // to mute
    for (int n = 0; n < 6; ++n) q.good(makeFrame(60 + n));  // into the fade-in
    EXPECT_EQ(q.info.concealState, 3u);
    q.lost(), q.lost();
    EXPECT_EQ(q.info.concealState, 1u);
}

}  // namespace
