// Synthesis: the FFT against a double-precision DFT, the inverse MDCT with
// windowing and overlap-add against the direct IMDCT formula over sequences
// of frames, through a test-side forward MDCT (perfect reconstruction) and
// bit for bit against an integer model of its arithmetic (rounding, 32-bit
// wrap of the sums, sample limits, output stride).  The reference windows
// are recomputed here (sine, and Kaiser-Bessel-derived from the Bessel
// series), so the comparisons check the window tables too.
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

// --- Bit-exact model of the integer synthesis -------------------------------
//
// Written from the arithmetic rules alone: Q31 products
// (2 a b + 0x7FFFFFFF) >> 32 formed in 128 bits, every sum wrapping in 32
// bits, rounding additions of 2^(shift - 1), the library's FFT for the
// transform step, and whole u, v, head and tail arrays.  The model also
// counts the sums whose exact value left the 32-bit range, so that a run can
// show it exercised the wrap.

__extension__ typedef __int128 Wide;

int32_t low32(int64_t v) { return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(v))); }

long exactHalves = 0;  // products that fell exactly halfway between two results

int32_t q31(int32_t a, int32_t b) {
    const Wide twice = 2 * static_cast<Wide>(a) * b;
    if ((twice & 0xFFFFFFFF) == 0x80000000) ++exactHalves;
    return low32(static_cast<int64_t>((twice + 0x7FFFFFFF) >> 32));
}

struct SynthesisModel {
    std::vector<int32_t> overlap = std::vector<int32_t>(1024, 0);
    int prevShape = 0;
    long wraps = 0;  // 32-bit sums of the overlap-add stage that wrapped

    // a + b and 8 a in 32 bits; count the wraps.
    int32_t wrapped(int64_t exact) {
        wraps += exact != low32(exact);
        return low32(exact);
    }
    int32_t sum(int32_t a, int32_t b) { return wrapped(int64_t{a} + b); }
    int32_t eight(int32_t a) { return wrapped(8 * int64_t{a}); }

    // Negated unnormalised IMDCT of m coefficients: first half u, second half v.
    static void transform(const int32_t *x, int m, std::vector<int32_t> &u, std::vector<int32_t> &v) {
        const int k = m / 2;
        const int32_t *p = m == 1024 ? armACAAC_preTwiddleLongQ31 : armACAAC_preTwiddleShortQ31;
        const int32_t *fftTw = m == 1024 ? armACAAC_IMDCT_FFTLongQ31 : armACAAC_IMDCT_FFTShortQ31;
        const int order = m == 1024 ? 9 : 6;
        auto cmul = [](int32_t ar, int32_t ai, int32_t br, int32_t bi, int32_t *re, int32_t *im) {
            *re = low32(static_cast<int64_t>(q31(ar, br)) - q31(ai, bi));
            *im = low32(static_cast<int64_t>(q31(ar, bi)) + q31(ai, br));
        };
        std::vector<int32_t> z(2 * k), scratch(2 * k, 0x2468ACE0);
        for (int i = 0; i < k; ++i) cmul(x[2 * i], x[m - 1 - 2 * i], p[2 * i], p[2 * i + 1], &z[2 * i], &z[2 * i + 1]);
        omx_FFT_common(z.data(), order, fftTw, scratch.data());
        std::vector<int32_t> yr(k), yi(k);
        for (int i = 0; i < k; ++i) cmul(z[2 * i], z[2 * i + 1], p[2 * i], p[2 * i + 1], &yr[i], &yi[i]);
        u.assign(m, 0);
        v.assign(m, 0);
        for (int i = 0; i < k / 2; ++i) {
            u[m / 2 + 2 * i] = low32(-static_cast<int64_t>(yi[i]));
            u[m / 2 - 1 - 2 * i] = yi[i];
            v[m / 2 - 1 - 2 * i] = yr[i];
            v[m / 2 + 2 * i] = yr[i];
        }
        for (int i = k / 2; i < k; ++i) {
            u[3 * m / 2 - 1 - 2 * i] = yr[i];
            u[2 * i - m / 2] = low32(-static_cast<int64_t>(yr[i]));
            v[2 * i - m / 2] = low32(-static_cast<int64_t>(yi[i]));
            v[3 * m / 2 - 1 - 2 * i] = low32(-static_cast<int64_t>(yi[i]));
        }
    }

    std::vector<int32_t> frame(const std::vector<int32_t> &x, int seq, int shape, int bits) {
        const int32_t *prev = prevShape ? armACAAC_Q31winKBD : armACAAC_Q31winSine;
        const int32_t *cur = shape ? armACAAC_Q31winKBD : armACAAC_Q31winSine;
        const int s = bits == 16 ? 14 : 6;
        const int32_t hi = bits == 16 ? 32767 : 8388607, lo = bits == 16 ? -32768 : -8388608;
        auto clamp = [&](int32_t v) { return std::max(lo, std::min(hi, v)); };
        std::vector<int32_t> out(1024);
        std::vector<int32_t> u, v;
        if (seq != 2) {
            const int32_t *r = seq == 3 ? prev + 1024 : prev;              // transition or long half
            const int32_t *f = seq == 0 || seq == 3 ? cur : cur + 1024;   // long or transition half
            transform(x.data(), 1024, u, v);
            for (int n = 0; n < 1024; ++n) {
                const int32_t head = q31(u[n], r[n]);
                const int32_t h = sum(sum(overlap[n], head), 1) >> 1;
                out[n] = clamp(sum(h, 1 << (s - 1)) >> s);
            }
            for (int m = 0; m < 1024; ++m) overlap[m] = q31(v[m], f[1023 - m]);
        } else {
            std::vector<int32_t> S(1024), T(128, 0);
            const int32_t *f = cur + 1472;
            for (int w = 0; w < 8; ++w) {
                const int32_t *r = (w == 0 ? prev : cur) + 1472;
                transform(x.data() + 128 * w, 128, u, v);
                for (int j = 0; j < 128; ++j) S[128 * w + j] = sum(T[j], eight(q31(u[j], r[j])));
                for (int j = 0; j < 128; ++j) T[j] = eight(q31(v[j], f[127 - j]));
            }
            for (int n = 0; n < 1024; ++n) {
                const int32_t a = n < 448 ? overlap[n] : sum(overlap[n], S[n - 448]);
                out[n] = clamp(sum(a, 1 << s) >> (s + 1));
            }
            for (int n = 0; n < 448; ++n) overlap[n] = S[576 + n];
            for (int j = 0; j < 128; ++j) overlap[448 + j] = T[j];
            for (int n = 576; n < 1024; ++n) overlap[n] = 0;
        }
        prevShape = shape;
        return out;
    }
};

// Coefficients of the form +-(1 or 3) * 2^m, m = 16 to 22: their products
// with twiddles divisible by 2^(30 - m) land exactly halfway, which checks
// the rounding direction of the products.
std::vector<int32_t> halfwayCoefs(std::mt19937 &rng) {
    std::vector<int32_t> c(1024);
    for (auto &v : c) {
        const uint32_t r = rng();
        v = static_cast<int32_t>((r & 1 ? 3 : 1) << (16 + (r >> 1) % 7)) * (r & 0x100 ? -1 : 1);
    }
    return c;
}

// The library against the model, bit for bit in samples and overlap buffer,
// over random frames: all sequences (5 and 7 standing for "any other value"),
// both shapes (3 standing for "any nonzero"), shape changes, both depths,
// output strides 1, 2 and 6, coefficients up to 2^22, some frames with
// exact-half products and some frames near 2^27 whose sums wrap and whose
// samples clip at both limits.
TEST(Imdct, BitExactAgainstIntegerModel) {
    const int seqChoice[] = {0, 0, 1, 2, 2, 3, 5, 7};
    const int shapeChoice[] = {0, 1, 0, 1, 3};
    for (int bits : {16, 24}) {
        std::mt19937 rng(bits);
        IntChannel lib;
        SynthesisModel model;
        std::vector<int> seen(8, 0);
        long wrapsInLargeFrames = 0;
        exactHalves = 0;
        int clipped[2] = {0, 0};
        const int32_t hi = bits == 16 ? 32767 : 8388607, lo = -hi - 1;
        const int frames = 60;
        for (int f = 0; f < frames; ++f) {
            // Every twelfth pair of frames is large: a long one, then a short one.
            const bool large = f % 12 == 7 || f % 12 == 8;
            const bool afterLarge = f % 12 == 9 || f % 12 == 10;
            int seq = seqChoice[rng() % 8];
            if (f % 12 == 7 && seq == 2) seq = 0;
            if (f % 12 == 8) seq = 2;
            const int shape = shapeChoice[rng() % 5];
            const auto coefs = f % 6 == 3 ? halfwayCoefs(rng) : randomCoefs(rng, large ? (1 << 27) - 1 : (1 << 22));
            seen[seq]++;
            const long wrapsBefore = model.wraps;
            const auto expect = model.frame(coefs, seq, shape, bits);
            const auto got = lib.frame(coefs, seq, shape, bits, f % 3 == 0 ? 1 : f % 3 == 1 ? 2 : 6);
            if (large) wrapsInLargeFrames += model.wraps - wrapsBefore;
            // Coefficients of 2^22 are far inside the headroom: no wrap
            // unless the overlap still carries a large frame.
            if (!large && !afterLarge) {
                EXPECT_EQ(model.wraps, wrapsBefore) << "frame " << f;
            }
            for (int n = 0; n < 1024; ++n) {
                ASSERT_EQ(got[n], expect[n]) << bits << "-bit frame " << f << " sequence " << seq << " shape " << shape
                                             << " sample " << n;
                clipped[0] += got[n] == hi;
                clipped[1] += got[n] == lo;
            }
            for (int n = 0; n < 1024; ++n)
                ASSERT_EQ(lib.overlap[n], model.overlap[n]) << bits << "-bit frame " << f << " overlap " << n;
        }
        for (int seq : {0, 1, 2, 3}) EXPECT_GT(seen[seq], 0) << "sequence " << seq << " never drawn";
        EXPECT_GT(seen[5] + seen[7], 0);
        std::printf("[ figures  ] bit-exact model, %d-bit: %d frames identical, %ld wrapped sums in the large "
                    "frames, %ld exact-half products, %d clipped samples\n",
                    bits, frames, wrapsInLargeFrames, exactHalves, clipped[0] + clipped[1]);
        EXPECT_GT(wrapsInLargeFrames, 0) << "the large frames did not reach the 32-bit limits";
        EXPECT_TRUE(clipped[0] > 0 && clipped[1] > 0) << "the samples did not reach both limits";
        EXPECT_GT(exactHalves, 0) << "no product tested the rounding of exact halves";
    }
}

}  // namespace
