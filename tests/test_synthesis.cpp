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
const Kern *const kKernels[2] = {aacd::kernelsFor(aacd::KernelIsa::C), &aacd::kernels()};  // the C version and the chosen one

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
            (k == kKernels[0] ? k->fft : omx_FFT_common)(x.data(), order, order == 9 ? armACAAC_IMDCT_FFTLongQ31 : armACAAC_IMDCT_FFTShortQ31, scratch.data());
            double worst = 0, sum2 = 0;  // rounding noise only: a few units against outputs of 2^23 to 2^24
            for (int f = 0; f < 2 * n; ++f) {
                const double e = x[f] - (f % 2 ? ref[f / 2].imag() : ref[f / 2].real());
                worst = std::max(worst, std::abs(e)), sum2 += e * e;
            }
            EXPECT_TRUE(worst <= (order == 9 ? 20 : 6) && std::sqrt(sum2 / (2 * n)) <= (order == 9 ? 4 : 1.5)) << k->name << " " << order << " " << worst;
        }
    for (int order : {3, 4, 10}) {  // orders 4 to 9 are transformed
        std::vector<int32_t> x(2048, 5), scratch(2048);
        omx_FFT_common(x.data(), order, armACAAC_IMDCT_FFTShortQ31, scratch.data());
        EXPECT_EQ(x == std::vector<int32_t>(2048, 5), order != 4) << order;
    }
}

// Rising half of the window of length n: shape 0 sine, 1 Kaiser-Bessel-derived (Bessel I0 series).
std::vector<double> risingHalf(int shape, int n) {
    std::vector<double> w(n / 2), kern(n / 2 + 1);
    double total = 0, acc = 0;
    for (int i = 0; i <= n / 2; ++i) {
        const double r = (i - n / 4.0) / (n / 4.0), x = kPi * (n == 2048 ? 4 : 6) * std::sqrt(std::max(0.0, 1 - r * r));
        double term = 1, i0 = 1;
        for (int k = 1; k < 60; ++k) i0 += (term *= (x / (2 * k)) * (x / (2 * k)));
        total += kern[i] = i0;
    }
    for (int i = 0; i < n / 2; ++i) w[i] = shape ? std::sqrt((acc += kern[i]) / total) : std::sin(kPi * (i + 0.5) / n);
    return w;
}

double kernel(int n, int i, int k) { return std::cos(2 * kPi / n * (i + (n / 2.0 + 1) / 2) * (k + 0.5)); }

// A signal through a forward MDCT in double, with every window sequence
// transition and shape pair: the 16- and 24-bit output of every kernel
// version (written with a stride of 2, the other channel's samples left
// alone) matches the direct formula (each block's IMDCT windowed, short
// blocks at 448 + 128 w times 8, overlapped by half, 2^15 per 16-bit unit,
// halved) and gives the signal back, clamped where frame 9 is too loud.
TEST(Imdct, DirectFormulaAndPerfectReconstruction) {
    const int seqs[] = {0, 0, 1, 2, 2, 3, 0, 1, 2, 3, 1, 3, 0, 1, 2, 3, 0}, shapes[] = {0, 1, 1, 1, 0, 0, 0, 1, 1, 0, 0, 0, 1, 1, 0, 1, 1};
    std::mt19937 rng(21);
    std::normal_distribution<double> noise(0.0, 800.0);
    std::vector<double> x(18 * 1024, 0.0);
    for (size_t t = 1024; t < x.size(); ++t) x[t] = (t / 1024 == 9 ? 3 : 1) * (9000 * std::sin(0.031 * t) + 4000 * std::sin(0.57 * t + 1)) + noise(rng);
    for (const Kern *k : kKernels)
        for (int bits : {16, 24}) {
            std::vector<double> overlap(1024, 0.0);
            std::vector<int32_t> ov(1024, 0);
            const double unit = bits == 16 ? 16384.0 : 64.0, hi = bits == 16 ? 32767 : 8388607;
            int clamped = 0;
            for (int f = 0; f < 17; ++f) {
                std::vector<int32_t> c(1024), out(2048, 0x12345678);
                std::vector<double> span(2048, 0.0), win(2048);
                const int prev = f ? shapes[f - 1] : 0, m = seqs[f] == 2 ? 128 : 1024;
                const auto lp = risingHalf(prev, 2048), lc = risingHalf(shapes[f], 2048), sp = risingHalf(prev, 256), sc = risingHalf(shapes[f], 256);
                for (int w = 0; w < 1024 / m; ++w) {
                    for (int j = 0; j < m; ++j) {  // rise and fall of a long, start or stop frame, or of short window w
                        win[j] = m == 128 ? (w == 0 ? sp : sc)[j] : seqs[f] != 3 ? lp[j] : j < 448 ? 0.0 : j < 576 ? sp[j - 448] : 1.0;
                        win[m + j] = m == 128 ? sc[127 - j] : seqs[f] != 1 ? lc[1023 - j] : j < 448 ? 1.0 : j < 576 ? sc[575 - j] : 0.0;
                    }
                    const int at = m == 128 ? 448 + 128 * w : 0;
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
                ASSERT_EQ((k == kKernels[1] ? omxACAAC_MDCTInv_S32_S32 : k->mdctInv)(c.data(), out.data(), ov.data(), seqs[f], shapes[f], prev, 2,
                                                                                     bits, &armACAAC_IMDCT_Tables), 0);
                for (int n = 0; n < 1024; ++n) {
                    ASSERT_LE(std::abs(out[2 * n] - std::clamp((overlap[n] + span[n]) / 2 / unit, -hi - 1, hi)), bits / 8 - 1.0) << k->name << " " << f;
                    ASSERT_LE(std::abs(out[2 * n] - std::clamp(x[1024 * f + n] * (hi + 1) / 32768, -hi - 1, hi)), bits / 8 - 1.0) << k->name << " " << f;
                    ASSERT_EQ(out[2 * n + 1], 0x12345678);
                    overlap[n] = span[1024 + n], clamped += out[2 * n] == hi || out[2 * n] == -hi - 1;
                }
            }
            EXPECT_GT(clamped, 10);
        }
    std::vector<int32_t> c(1024), pcm(1024), ov(1024);
    for (int stride : {0, -1, 1})
        EXPECT_EQ(omxACAAC_MDCTInv_S32_S32(c.data(), pcm.data(), ov.data(), 0, 0, 0, stride, 16, &armACAAC_IMDCT_Tables), stride > 0 ? 0 : -5);
}

// --- Concealment ---------------------------------------------------------

// An instance with the tables and channel map concealment reads.
AacdDecoderState makeState(int32_t sri) {
    AacdDecoderState st{};
    for (int i = 0; i < 16; ++i) st.sampleRates[i] = AACD_sampleRateTable[i];
    for (int i = 0; i < 12; ++i)
        st.sampleRates[i].longBandEnds = armACAAC_swbOffsetLongWindow[i] + 1, st.sampleRates[i].shortBandEnds = armACAAC_swbOffsetShortWindow[i] + 1;
    st.randomPhase = AACD_randomPhase, st.mcInfo.samplingRateIndex = sri;
    return st;
}
std::vector<int32_t> energies(const int32_t *f, const AacdDecoderState &st, int seq = 0, int onLong = 0, size_t n = 52) {
    std::vector<int32_t> e(52, 99);
    CConcealment_CalcBandEnergy(f, seq, onLong, e.data(), &st);
    e.resize(n);
    return e;
}

// Known values: the leading-bit count; band energies floor(log2(1 + sum q))
// - 30 with q = ((x >> 1)^2 + 2^30) >> 31 (a short window on long bands
// reads every eighth position) at 44.1 kHz (long band 10 is 40..47, 48 is
// 960..1023, short band 13 is 112..127); band scaling by 2^(d/4) with d the
// energy difference (below -4: muted); and the odd inputs no stream reaches:
// block types outside 0..3, reserved rates and missing band lists write
// nothing, a band list going backwards gives an empty band (energy -30, not
// scaled) and the next band starts at its end, an unknown state stays.
TEST(Conceal, KnownValues) {
    EXPECT_TRUE(LSI_exp(0) == 31 && LSI_exp(-1) == 31 && LSI_exp(INT64_MAX) == -32 && LSI_exp(INT64_MIN) == -32 && LSI_exp(3) == 29 &&
                LSI_exp(4) == 28 && LSI_exp(-5) == 28 && LSI_exp(1LL << 62) == -32 && LSI_exp((1LL << 62) - 1) == -31);
    AacdDecoderState st = makeState(4), reserved = makeState(12), noBands = makeState(4);
    struct Case { int seq, onLong; int32_t value; int band, want; };
    for (const Case c : {Case{3, 0, 1 << 30, 10, 0}, Case{0, 0, 3, 10, -30}, Case{2, 0, INT32_MIN, 13, 3}, Case{2, 1, -(1 << 20), 48, -17}}) {
        std::vector<int32_t> f(1024, 0);
        for (int i = (c.seq == 2 && !c.onLong ? armACAAC_swbOffsetShortWindow : armACAAC_swbOffsetLongWindow)[4][c.band]; i < (c.band == 13 ? 128 : c.band == 10 ? 48 : 1024); ++i)
            f[c.onLong ? i / 8 : i] = c.value;
        const std::vector<int32_t> e = energies(f.data(), st, c.seq, c.onLong);
        for (int k = 0, count = c.band == 13 ? 14 : 49; k <= count; ++k) EXPECT_EQ(e[k], k == count ? 99 : k == c.band ? c.want : -30) << c.band << " " << k;
    }
    const int32_t ones[1024] = {1, 1, 1, 1}, g[8] = {1 << 20, 1 << 20, 1 << 24, 1 << 24};  // q = 2^7 and 2^15
    noBands.sampleRates[4].longBandEnds = nullptr;
    EXPECT_TRUE(energies(ones, st, 4)[0] == 99 && energies(ones, st, -1)[0] == 99 && energies(ones, reserved)[0] == 99 && energies(ones, noBands)[0] == 99);
    const uint16_t ends[5] = {6, 6, 10, 14, 16}, back[3] = {4, 2, 8};
    st.sampleRates[4].longBandEnds = back, st.sampleRates[4].numSwbLong = 3;
    EXPECT_EQ(energies(g, st, 0, 0, 4), (std::vector<int32_t>{16 - 30, -30, 16 - 30, 99}));
    int32_t x[16] = {3, -3, 5, -1, 1, -6, 100, -100, 7, -7, 9, -9, 2, 0, 1 << 20, -(1 << 20)}, y[8] = {8, 8, 8, 8, 8, 8, 8, 8};
    const int32_t own[5] = {10, 0, 0, 3, 0}, other[5] = {6, -40, 4, -2, 2}, own2[3] = {0, 0, 0}, other2[3] = {0, -20, 4};
    CConcealment_InterpolateBuffer(x, own, other, 5, ends), CConcealment_InterpolateBuffer(y, own2, other2, 3, back);
    CConcealment_InterpolateBuffer(y, own2, other2, 3, nullptr);
    EXPECT_EQ(std::vector<int32_t>(x, x + 16), (std::vector<int32_t>{2, -1, 3, 0, 1, -3, 200, -200, 16, -12, 0, 0, 0, 0, 1482910, -1482910}));
    EXPECT_EQ(std::vector<int32_t>(y, y + 8), (std::vector<int32_t>{8, 8, 8, 8, 16, 16, 16, 16}));
    CConcealmentInfo info{};
    info.concealState = 7;
    CConcealment_UpdateState(&info, 0);
    EXPECT_EQ(info.concealState, 7u);
}

// A single loss between two long frames, driven as the frame driver does
// (the working and held-back buffers exchanged on good frames): the lost
// call gives the held-back frame, the next one the previous spectrum
// rescaled so that every band's energy lands halfway to the next frame's
// (muted where that is more than 4 steps quieter), randomised; at 96 kHz
// (index 0) as at 44.1 kHz.
TEST(Conceal, SingleLossInterpolatesBetweenNeighbours) {
    for (int32_t sri : {4, 0}) {
        const AacdDecoderState st = makeState(sri);
        std::vector<int32_t> buf[2] = {std::vector<int32_t>(1024), std::vector<int32_t>(1024)}, frames[3];
        for (int n = 0; n < 3; ++n)  // band levels following different profiles, the third much quieter in parts
            for (int i = 0; i < 1024; ++i) frames[n].push_back(static_cast<int32_t>((n == 2 ? 3e5 : 1e6) * (1.1 + std::sin(i / 8 * 0.37 + n)) * std::cos(i * 1.7 + n)));
        CConcealmentInfo info{};
        info.buffer = buf[1].data();
        CConcealment_Init(&info);
        uint8_t seq = 0, shape = 0;
        std::vector<int32_t> out[4];
        for (int call = 0, cur = 0; call < 4; ++call) {  // frames 0 and 1, a loss, frame 2
            const bool ok = call != 2;
            if (ok) std::copy(frames[call - (call > 2)].begin(), frames[call - (call > 2)].end(), buf[cur].begin()), seq = shape = 0;
            info.storedSpectrum = buf[ok ? cur : cur ^ 1].data(), cur ^= ok;
            CConcealment_Apply(&info, buf[cur].data(), &seq, &shape, &st, ok);
            out[call] = buf[cur];
        }
        EXPECT_TRUE(out[1] == frames[0] && out[2] == frames[1] && info.concealState == 0u);
        for (int i = 0; i < 1024; ++i) out[3][i] = AACD_randomPhase[i % 512] < 0 ? -out[3][i] : out[3][i];
        const std::vector<int32_t> eg = energies(out[3].data(), st), ep = energies(frames[1].data(), st), en = energies(frames[2].data(), st);
        int muted = 0;
        for (int k = 0; k < armACAAC_numSwbLong[sri]; muted += en[k] - ep[k] < -4, ++k)
            EXPECT_TRUE(en[k] - ep[k] < -4 ? eg[k] == -30 : std::abs(eg[k] - (ep[k] + en[k]) / 2.0) <= 1.0) << sri << " " << k;
        EXPECT_TRUE(muted > 0 && out[3] != frames[1]);
    }
}

}  // namespace
