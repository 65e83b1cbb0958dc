// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// Synthesis: the FFT against a double-precision DFT, the inverse MDCT with
// windowing and overlap-add against the direct IMDCT formula over sequences
// of frames, and through a test-side forward MDCT (perfect reconstruction).
// The reference windows are recomputed here (sine, and Kaiser-Bessel-derived
// from the Bessel series), so the comparisons check the window tables too.
// Bit-exactness of whole streams is pinned by the golden md5 test.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdint>
#include <algorithm>
#include <cstdio>
#include <random>
#include <vector>

#include "omxdl/ac/armACAAC.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
using cd = std::complex<double>;

// Forward DFT of interleaved complex values, in double.
std::vector<cd> dft(const std::vector<int32_t> &x) {
    const size_t n = x.size() / 2;
    std::vector<cd> out(n, 0.0);
    for (size_t k = 0; k < n; ++k)
        for (size_t i = 0; i < n; ++i) out[k] += cd(x[2 * i], x[2 * i + 1]) * std::polar(1.0, -2 * kPi * ((i * k) % n) / n);
    return out;
}

TEST(Fft, RandomInputsMatchDoubleDft) {
    std::mt19937 rng(7);
    for (int order : {6, 9}) {
        const int n = 1 << order;
        // 2^20 for 64 points; a little less for 512 so that sums stay in range.
        const int32_t amp = order == 6 ? (1 << 20) : (1 << 18);
        std::uniform_int_distribution<int32_t> dist(-amp, amp);
        double worst = 0, sum2 = 0;
        int count = 0;
        for (int trial = 0; trial < 20; ++trial) {
            std::vector<int32_t> x(2 * n);
            for (auto &v : x) v = dist(rng);
            const auto ref = dft(x);
            std::vector<int32_t> y = x, scratch(x.size(), 0x55555555);
            omx_FFT_common(y.data(), order, order == 6 ? armACAAC_IMDCT_FFTShortQ31 : armACAAC_IMDCT_FFTLongQ31,
                           scratch.data());
            for (int k = 0; k < n; ++k) {
                const double er = y[2 * k] - ref[k].real(), ei = y[2 * k + 1] - ref[k].imag();
                worst = std::max({worst, std::abs(er), std::abs(ei)});
                sum2 += er * er + ei * ei;
                count += 2;
            }
        }
        // Rounding noise only: a few units at most against outputs of 2^23
        // to 2^24 (the odd bins carry the extra roundings of the sqrt(1/2)
        // products of the radix-8 pass).
        std::printf("[ figures  ] FFT %d points vs double DFT: largest error %.2f, rms %.2f\n", n, worst,
                    std::sqrt(sum2 / count));
        EXPECT_LE(worst, order == 6 ? 6.0 : 20.0) << "order " << order;
        EXPECT_LE(std::sqrt(sum2 / count), order == 6 ? 1.5 : 4.0) << "order " << order;
    }
}

// Orders 4 to 9 are transformed (bin 0 is the sum of the inputs whatever
// the twiddles); orders outside are refused, the data untouched.
TEST(Fft, AcceptedOrders) {
    for (int order : {3, 4, 10}) {
        std::vector<int32_t> x(2 * 1024, 0), scratch(x.size());
        for (int i = 0; i < (1 << order); ++i) x[2 * i] = 1000 + i, x[2 * i + 1] = -3 * i;
        const std::vector<int32_t> in = x;
        omx_FFT_common(x.data(), order, armACAAC_IMDCT_FFTShortQ31, scratch.data());
        const int n = 1 << order;
        EXPECT_EQ(x[0], order == 4 ? 1000 * n + n * (n - 1) / 2 : in[0]) << order;
        EXPECT_EQ(x[1], order == 4 ? -3 * n * (n - 1) / 2 : in[1]) << order;
        if (order != 4) {
            EXPECT_EQ(x, in) << order;
        }
    }
}

// --- Windows and inverse MDCT ----------------------------------------------

double besselI0(double x) {
    double term = 1, sum = 1;
    for (int k = 1; k < 60; ++k) {
        term *= (x / (2 * k)) * (x / (2 * k));
        sum += term;
    }
    return sum;
}

// Rising half of the window of length n: shape 0 sine, 1 KBD.
std::vector<double> risingHalf(int shape, int n) {
    std::vector<double> w(n / 2);
    if (shape == 0) {
        for (int i = 0; i < n / 2; ++i) w[i] = std::sin(kPi * (i + 0.5) / n);
        return w;
    }
    const double alpha = n == 2048 ? 4 : 6;
    std::vector<double> kern(n / 2 + 1);
    double total = 0;
    for (int i = 0; i <= n / 2; ++i) {
        const double r = (i - n / 4.0) / (n / 4.0);
        kern[i] = besselI0(kPi * alpha * std::sqrt(std::max(0.0, 1 - r * r)));
        total += kern[i];
    }
    double acc = 0;
    for (int i = 0; i < n / 2; ++i) {
        acc += kern[i];
        w[i] = std::sqrt(acc / total);
    }
    return w;
}

// Kernel of the MDCT of n samples: time i, frequency k.
double kernel(int n, int i, int k) { return std::cos(2 * kPi / n * (i + (n / 2.0 + 1) / 2) * (k + 0.5)); }

// Direct unnormalised IMDCT of m coefficients: 2m time values.
std::vector<double> directImdct(const int32_t *x, int m) {
    std::vector<double> y(2 * m, 0.0);
    for (int i = 0; i < 2 * m; ++i)
        for (int k = 0; k < m; ++k) y[i] += x[k] * kernel(2 * m, i, k);
    return y;
}

// Window over the 2048-sample span of a long, start or stop frame, or over the
// 256 samples of short window w, as the decoder applies it.
std::vector<double> spanWindow(int seq, int prevShape, int shape, int w = 0) {
    std::vector<double> win(seq == 2 ? 256 : 2048);
    const auto sp = risingHalf(prevShape, 256), sc = risingHalf(shape, 256);
    if (seq == 2) {
        for (int j = 0; j < 128; ++j) win[j] = (w == 0 ? sp : sc)[j], win[128 + j] = sc[127 - j];
        return win;
    }
    const auto lp = risingHalf(prevShape, 2048), lc = risingHalf(shape, 2048);
    for (int n = 0; n < 1024; ++n) {
        win[n] = seq != 3 ? lp[n] : (n < 448 ? 0.0 : (n < 576 ? sp[n - 448] : 1.0));
        win[1024 + n] = (seq == 0 || seq == 3) ? lc[1023 - n] : (n < 448 ? 1.0 : (n < 576 ? sc[575 - n] : 0.0));
    }
    return win;
}

// Reference model of a channel: 2048-sample windowed frames overlapped by
// half, in the scale of the integer path (2^15 per unit of 16-bit output).
struct RefChannel {
    std::vector<double> overlap = std::vector<double>(1024, 0.0);
    int prevShape = 0;

    std::vector<double> frame(const std::vector<int32_t> &coefs, int seq, int shape) {
        std::vector<double> span(2048, 0.0);
        if (seq != 2) {
            const auto y = directImdct(coefs.data(), 1024), win = spanWindow(seq, prevShape, shape);
            for (int n = 0; n < 2048; ++n) span[n] = y[n] * win[n];
        } else {
            for (int w = 0; w < 8; ++w) {
                const auto y = directImdct(coefs.data() + 128 * w, 128), win = spanWindow(2, prevShape, shape, w);
                for (int j = 0; j < 256; ++j) span[448 + 128 * w + j] += 8 * y[j] * win[j];
            }
        }
        std::vector<double> out(1024);
        for (int n = 0; n < 1024; ++n) out[n] = (overlap[n] + span[n]) / 2;
        for (int n = 0; n < 1024; ++n) overlap[n] = span[1024 + n];
        prevShape = shape;
        return out;
    }
};

// The library's synthesis of one channel; with a stride above 1 the samples
// of the other channels must stay untouched.
struct IntChannel {
    std::vector<int32_t> overlap = std::vector<int32_t>(1024, 0);
    int prevShape = 0;

    std::vector<int32_t> frame(std::vector<int32_t> coefs, int seq, int shape, int bits = 16, int stride = 1) {
        std::vector<int32_t> out(1024 * stride, 0x12345678), dense(1024);
        EXPECT_EQ(omxACAAC_MDCTInv_S32_S32(coefs.data(), out.data(), overlap.data(), seq, shape, prevShape,
                                           stride, bits, &armACAAC_IMDCT_Tables),
                  0);
        for (int n = 0; n < 1024; ++n) {
            dense[n] = out[stride * n];
            for (int c = 1; c < stride; ++c) EXPECT_EQ(out[stride * n + c], 0x12345678) << "stride " << stride;
        }
        prevShape = shape;
        return dense;
    }
};

std::vector<int32_t> randomCoefs(std::mt19937 &rng, int32_t amp) {
    std::uniform_int_distribution<int32_t> dist(-amp, amp);
    std::vector<int32_t> c(1024);
    for (auto &v : c) v = dist(rng);
    return c;
}

// Every window sequence transition and shape pair, 16- and 24-bit samples
// against the direct formula.  The largest differences are printed.
TEST(Imdct, FrameSequencesMatchDirectFormula) {
    const int seqs[] = {0, 1, 2, 2, 3, 0, 0, 1, 2, 3, 1, 3, 0, 1, 2, 3};
    const int shapes[] = {0, 1, 1, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 1, 0, 1};
    for (int bits : {16, 24}) {
        std::mt19937 rng(11);
        IntChannel ic;
        RefChannel rc;
        const double unit = bits == 16 ? 16384.0 : 64.0;
        const double hi = bits == 16 ? 32767 : 8388607, lo = -hi - 1;
        double worst = 0;
        int peak = 0;
        for (size_t f = 0; f < sizeof(seqs) / sizeof(seqs[0]); ++f) {
            const auto coefs = randomCoefs(rng, 1 << 22);
            const auto ref = rc.frame(coefs, seqs[f], shapes[f]);
            const auto got = ic.frame(coefs, seqs[f], shapes[f], bits);
            for (int n = 0; n < 1024; ++n) {
                const double expect = std::max(lo, std::min(hi, ref[n] / unit));
                worst = std::max(worst, std::abs(got[n] - expect));
                peak = std::max(peak, std::abs(got[n]));
            }
            ASSERT_LE(worst, bits == 16 ? 1.0 : 2.0) << "frame " << f << " sequence " << seqs[f];
        }
        std::printf("[ figures  ] IMDCT vs direct formula, %d-bit: largest error %.3f units (peak sample %d)\n",
                    bits, worst, peak);
        // The comparison only means something with samples well above the
        // rounding: these coefficients give several hundred 16-bit units.
        EXPECT_GT(peak, bits == 16 ? 500 : 500 * 256);
    }
}

// A test-side forward MDCT in double of a known signal, with long, start,
// short and stop sequences and shape changes, decodes back to the signal.
TEST(Imdct, PerfectReconstructionThroughAllSequences) {
    const int seqs[] = {0, 0, 1, 2, 2, 3, 0, 1, 2, 3, 0, 0, 1, 3, 0};
    const int shapes[] = {0, 1, 1, 1, 0, 0, 0, 1, 1, 0, 1, 0, 0, 1, 1};
    const int frames = sizeof(seqs) / sizeof(seqs[0]);
    std::mt19937 rng(21);
    std::normal_distribution<double> noise(0.0, 800.0);
    std::vector<double> x((frames + 1) * 1024, 0.0);
    for (size_t t = 1024; t < x.size(); ++t)
        x[t] = 9000 * std::sin(0.031 * t) + 4000 * std::sin(0.57 * t + 1) + noise(rng);
    // Windowed forward MDCT of n samples into n / 2 coefficients.
    auto forward = [](const double *src, const std::vector<double> &win, int32_t *out) {
        const int n = static_cast<int>(win.size());
        for (int k = 0; k < n / 2; ++k) {
            double acc = 0;
            for (int i = 0; i < n; ++i) acc += win[i] * src[i] * kernel(n, i, k);
            out[k] = static_cast<int32_t>(std::lround(64 * acc));
        }
    };
    IntChannel ch;
    int prevShape = 0;
    double worst = 0;
    for (int f = 0; f < frames; ++f) {
        std::vector<int32_t> coefs(1024);
        const double *block = x.data() + 1024 * f;
        if (seqs[f] != 2) forward(block, spanWindow(seqs[f], prevShape, shapes[f]), coefs.data());
        for (int b = 0; seqs[f] == 2 && b < 8; ++b)
            forward(block + 448 + 128 * b, spanWindow(2, prevShape, shapes[f], b), coefs.data() + 128 * b);
        const auto out = ch.frame(coefs, seqs[f], shapes[f]);
        prevShape = shapes[f];
        for (int n = 0; n < 1024; ++n) worst = std::max(worst, std::abs(out[n] - x[1024 * f + n]));
    }
    std::printf("[ figures  ] perfect reconstruction: largest error %.3f LSB at 16 bits\n", worst);
    EXPECT_LE(worst, 1.0);
}

}  // namespace
