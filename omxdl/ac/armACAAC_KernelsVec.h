// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
//
// The FFT and the inverse MDCT written once over a vector of V::kLanes (4 or
// 8) 32-bit integers; each ISA file includes this after defining its lane
// operations (a struct V, see the NEON, SSE4.1 and AVX2 files) and
// AACD_VEC_TARGET (the function attribute that enables its instructions),
// then instantiates SynthVec<V>.  Some passes work on quarters of four lanes
// (V::loadQuads, V::dupQuads, V::transpose act on each quarter); the middle
// pass of the 64-point FFT, whose lane layout is tied to four lanes, runs on
// V::Half, a four-lane type (V itself when V has four lanes): the passes
// share the data layout, so any pass may run on either.  Everything here has
// internal linkage, so each ISA file gets its own copy compiled for its own
// instructions.
//
// The results are those of the plain C versions bit for bit:
// - sums wrap in 32 bits, so they may be grouped in any order;
// - every product is rounded exactly as in the C version, on the same
//   operands: V::mulr(a, b) = (a b + 2^30) >> 31 (low 32 bits), exact for
//   b != -2^31, V::mulrExact for any b, V::mulSubR / V::mulAddR round
//   a b -/+ c d once;
// - the inverse MDCT's products round exact halves down:
//   (a b + 2^30 - 1) >> 31 = ceil((a b - 2^30) / 2^31) = -((a (-b) + 2^30) >> 31),
//   so prod(a, b) = -mulr(a, -b) for every b except -2^31 (whose negation
//   does not exist); the twiddle and window tables are read in negated
//   copies for this (armACAAC_vec*), and the only window value -2^31 (1.0,
//   the flat part of the transition half) gives prod(a, -2^31) = -a, taken
//   without a product.  The result of mulr with b != -2^31 lies in
//   [-2^31 + 1, 2^31 - 1], so negating it never wraps.
//
// Data layout: the FFT works on split arrays (all real parts, then all
// imaginary parts) so that every lane operation is a plain load or store;
// the passes and their products are those of the C version.
#pragma once

#include <cstdint>

#include "common/armCOMM_inline.h"
#include "omxdl/ac/armACAAC.h"
#include "omxdl/ac/armACAAC_Kernels.h"

#ifndef AACD_VEC_TARGET
#error "define AACD_VEC_TARGET before including this header"
#endif

namespace {

template <class V>
struct SynthVec {
    using I = typename V::I;
    static constexpr int L = V::kLanes;
    using H = SynthVec<typename V::Half>;
    static_assert(H::L == 4, "the four-lane passes need a four-lane half");
    struct Cx {
        I re, im;
    };

    static constexpr int32_t kSqrtHalf = 0x5A82799A;

    AACD_VEC_TARGET static Cx cadd(Cx a, Cx b) { return {V::add(a.re, b.re), V::add(a.im, b.im)}; }
    AACD_VEC_TARGET static Cx csub(Cx a, Cx b) { return {V::sub(a.re, b.re), V::sub(a.im, b.im)}; }
    // a * (-j)
    AACD_VEC_TARGET static Cx mulMinusJ(Cx a) { return {a.im, V::neg(a.re)}; }
    AACD_VEC_TARGET static Cx cload(const int32_t *re, const int32_t *im, int i) {
        return {V::load(re + i), V::load(im + i)};
    }
    AACD_VEC_TARGET static void cstore(int32_t *re, int32_t *im, int i, Cx v) {
        V::store(re + i, v.re);
        V::store(im + i, v.im);
    }
    // Complex product rounded once per component (middle FFT passes).
    AACD_VEC_TARGET static Cx cmulOnce(Cx a, I wr, I wi) {
        return {V::mulSubR(a.re, wr, a.im, wi), V::mulAddR(a.im, wr, a.re, wi)};
    }
    // Complex product with each partial product rounded (first and last FFT
    // passes); exact selects the product that also takes -2^31.
    template <bool exact>
    AACD_VEC_TARGET static I mul(I a, I b) {
        if constexpr (exact)
            return V::mulrExact(a, b);
        else
            return V::mulr(a, b);
    }
    template <bool exact>
    AACD_VEC_TARGET static Cx cmulSplit(Cx a, I wr, I wi) {
        return {V::sub(mul<exact>(a.re, wr), mul<exact>(a.im, wi)),
                V::add(mul<exact>(a.re, wi), mul<exact>(a.im, wr))};
    }
    // Inverse MDCT twiddle: (xr + j xi) (pr + j pi), halves rounded down,
    // from the negated table values npr = -pr, npi = -pi.
    AACD_VEC_TARGET static Cx twiddle(I xr, I xi, I npr, I npi) {
        return {V::sub(V::mulr(xi, npi), V::mulr(xr, npr)),
                V::neg(V::add(V::mulr(xr, npi), V::mulr(xi, npr)))};
    }

    // Four-point DFT with the twiddled inputs given negated (p_r = -W^r y_r).
    AACD_VEC_TARGET static void dft4Negated(Cx y0, Cx p1, Cx p2, Cx p3, Cx out[4]) {
        const Cx s02 = csub(y0, p2), d02 = cadd(y0, p2);
        const Cx s13 = cadd(p1, p3), d13 = csub(p1, p3);
        out[0] = csub(s02, s13);
        out[1] = csub(d02, mulMinusJ(d13));
        out[2] = cadd(s02, s13);
        out[3] = cadd(d02, mulMinusJ(d13));
    }

    // ------------------------------------------------------------ FFT passes

    // Radix-8 first pass, lanes over j (stride a multiple of L); the source
    // is split (re, im) or, with interleaved, one array of complex values.
    template <bool interleaved>
    AACD_VEC_TARGET static void r8Pass(const int32_t *sr, const int32_t *si, int32_t *dr, int32_t *di, int n) {
        const int stride = n / 8;
        const I sq = V::dup(kSqrtHalf);
        for (int j = 0; j < stride; j += L) {
            Cx a[8];
            for (int m = 0; m < 8; ++m) {
                if constexpr (interleaved)
                    V::ld2(sr + 2 * (j + m * stride), a[m].re, a[m].im);
                else
                    a[m] = cload(sr, si, j + m * stride);
            }
            const Cx e0 = cadd(a[0], a[4]), e1 = csub(a[0], a[4]);
            const Cx e2 = cadd(a[2], a[6]), e3 = mulMinusJ(csub(a[2], a[6]));
            const Cx b0 = cadd(e0, e2), b2 = csub(e0, e2);
            const Cx b1 = cadd(e1, e3), b3 = csub(e1, e3);
            const Cx o0 = cadd(a[1], a[5]), o1 = csub(a[1], a[5]);
            const Cx o2 = cadd(a[3], a[7]), o3 = mulMinusJ(csub(a[3], a[7]));
            const Cx c0 = cadd(o0, o2), c2 = csub(o0, o2);
            const Cx c1 = cadd(o1, o3), c3 = csub(o1, o3);
            const I c1r = V::mulr(c1.re, sq), c1i = V::mulr(c1.im, sq);
            const Cx c1t = {V::add(c1r, c1i), V::sub(c1i, c1r)};
            const I c3r = V::mulr(c3.re, sq), c3i = V::mulr(c3.im, sq);
            const Cx c3t = {V::sub(c3i, c3r), V::neg(V::add(c3r, c3i))};
            const Cx c2t = mulMinusJ(c2);
            cstore(dr, di, j, cadd(b0, c0));
            cstore(dr, di, j + 4 * stride, csub(b0, c0));
            cstore(dr, di, j + stride, cadd(b1, c1t));
            cstore(dr, di, j + 5 * stride, csub(b1, c1t));
            cstore(dr, di, j + 2 * stride, cadd(b2, c2t));
            cstore(dr, di, j + 6 * stride, csub(b2, c2t));
            cstore(dr, di, j + 3 * stride, cadd(b3, c3t));
            cstore(dr, di, j + 7 * stride, csub(b3, c3t));
        }
    }

    // Middle radix-4 pass from accumulated radix acc with a multiple of L
    // groups: lanes over the group index, twiddles the same in every lane.
    AACD_VEC_TARGET static void r4Groups(const int32_t *sr, const int32_t *si, int32_t *dr, int32_t *di, int n,
                                         int acc, const int32_t *tw) {
        const int groups = n / (4 * acc);
        const int inStride = n / acc;
        for (int q = 0; q < acc; ++q) {
            const int k = q * groups;
            const I w1r = V::dup(tw[2 * k]), w1i = V::dup(tw[2 * k + 1]);
            const I w2r = V::dup(tw[4 * k]), w2i = V::dup(tw[4 * k + 1]);
            const I w3r = V::dup(tw[6 * k]), w3i = V::dup(tw[6 * k + 1]);
            for (int jp = 0; jp < groups; jp += L) {
                const int base = jp + q * inStride;
                const Cx y0 = cload(sr, si, base);
                const Cx p1 = cmulOnce(cload(sr, si, base + groups), w1r, w1i);
                const Cx p2 = cmulOnce(cload(sr, si, base + 2 * groups), w2r, w2i);
                const Cx p3 = cmulOnce(cload(sr, si, base + 3 * groups), w3r, w3i);
                Cx out[4];
                dft4Negated(y0, p1, p2, p3, out);
                for (int t = 0; t < 4; ++t) cstore(dr, di, jp + (q + acc * t) * groups, out[t]);
            }
        }
    }

    // Middle radix-4 pass from accumulated radix acc = n / 16 (four groups):
    // each quarter of four lanes takes one q, over its four groups; a step
    // takes L / 4 consecutive q.
    AACD_VEC_TARGET static void r4Quads(const int32_t *sr, const int32_t *si, int32_t *dr, int32_t *di, int n,
                                        const int32_t *tw) {
        const int acc = n / 16;
        for (int q = 0; q < acc; q += L / 4) {
            // Twiddle index k = 4 q: W^k, W^2k, W^3k at 2k, 4k, 6k.
            const I w1r = V::dupQuads(tw + 8 * q, 8), w1i = V::dupQuads(tw + 8 * q + 1, 8);
            const I w2r = V::dupQuads(tw + 16 * q, 16), w2i = V::dupQuads(tw + 16 * q + 1, 16);
            const I w3r = V::dupQuads(tw + 24 * q, 24), w3i = V::dupQuads(tw + 24 * q + 1, 24);
            Cx y[4];
            for (int t = 0; t < 4; ++t)
                y[t] = {V::loadQuads(sr + 16 * q + 4 * t, 16), V::loadQuads(si + 16 * q + 4 * t, 16)};
            const Cx p1 = cmulOnce(y[1], w1r, w1i);
            const Cx p2 = cmulOnce(y[2], w2r, w2i);
            const Cx p3 = cmulOnce(y[3], w3r, w3i);
            Cx out[4];
            dft4Negated(y[0], p1, p2, p3, out);
            for (int t = 0; t < 4; ++t) cstore(dr, di, 4 * (q + acc * t), out[t]);
        }
    }

    // The middle radix-4 pass of the 64-point FFT (8 -> 32, two groups):
    // lanes (group 0, q), (group 1, q), (group 0, q + 1), (group 1, q + 1).
    AACD_VEC_TARGET static void r4Mid64(const int32_t *sr, const int32_t *si, int32_t *dr, int32_t *di) {
        const int32_t *tw = armACAAC_vecTwiddleMid64;
        for (int q = 0; q < 8; q += 2, tw += 24) {
            Cx y[4];
            for (int t = 0; t < 4; ++t) {
                const int a = 2 * (4 * q + t), b = 2 * (4 * (q + 1) + t);
                y[t] = {V::loadPairs(sr + a, sr + b), V::loadPairs(si + a, si + b)};
            }
            const Cx p1 = cmulOnce(y[1], V::load(tw), V::load(tw + 4));
            const Cx p2 = cmulOnce(y[2], V::load(tw + 8), V::load(tw + 12));
            const Cx p3 = cmulOnce(y[3], V::load(tw + 16), V::load(tw + 20));
            Cx out[4];
            dft4Negated(y[0], p1, p2, p3, out);
            for (int t = 0; t < 4; ++t) cstore(dr, di, 2 * q + 16 * t, out[t]);
        }
    }

    // Stores L results at complex index i, split or interleaved.
    template <bool interleaved>
    AACD_VEC_TARGET static void cput(int32_t *dr, int32_t *di, int i, Cx v) {
        if constexpr (interleaved) {
            I lo, hi;
            V::zip(v.re, v.im, lo, hi);
            V::store(dr + 2 * i, lo);
            V::store(dr + 2 * i + L, hi);
        } else {
            cstore(dr, di, i, v);
        }
    }

    // Last radix-4 pass of the 512-point FFT (128 -> 512, one group): lanes
    // over q, each partial product rounded.  Input t of q is at 4 q + t:
    // each quarter of four lanes loads 16 words and transposes them.  Only
    // q = 0 meets the twiddle -2^31 (W^0 = -1 in the table).
    template <bool exact, bool interleaved>
    AACD_VEC_TARGET static void r4Last512Step(const int32_t *sr, const int32_t *si, int32_t *dr, int32_t *di,
                                              int q) {
        const int32_t *tw = armACAAC_vecTwiddleLast512 + q;
        Cx y[4];
        for (int t = 0; t < 4; ++t)
            y[t] = {V::loadQuads(sr + 4 * q + 4 * t, 16), V::loadQuads(si + 4 * q + 4 * t, 16)};
        V::transpose(y[0].re, y[1].re, y[2].re, y[3].re);
        V::transpose(y[0].im, y[1].im, y[2].im, y[3].im);
        const Cx p1 = cmulSplit<exact>(y[1], V::load(tw), V::load(tw + 128));
        const Cx p2 = cmulSplit<exact>(y[2], V::load(tw + 256), V::load(tw + 384));
        const Cx p3 = cmulSplit<exact>(y[3], V::load(tw + 512), V::load(tw + 640));
        Cx out[4];
        dft4Negated(y[0], p1, p2, p3, out);
        for (int t = 0; t < 4; ++t) cput<interleaved>(dr, di, q + 128 * t, out[t]);
    }
    template <bool interleaved>
    AACD_VEC_TARGET static void r4Last512(const int32_t *sr, const int32_t *si, int32_t *dr, int32_t *di) {
        r4Last512Step<true, interleaved>(sr, si, dr, di, 0);
        for (int q = L; q < 128; q += L) r4Last512Step<false, interleaved>(sr, si, dr, di, q);
    }

    // Radix-2 last pass of the 64-point FFT: pairs (a, b) at 2k, 2k + 1;
    // X[k] = a - (-W^k b), X[k + 32] = a + (-W^k b).
    template <bool exact, bool interleaved>
    AACD_VEC_TARGET static void r2Last64Step(const int32_t *sr, const int32_t *si, int32_t *dr, int32_t *di,
                                             int k) {
        Cx a, b;
        V::ld2(sr + 2 * k, a.re, b.re);
        V::ld2(si + 2 * k, a.im, b.im);
        const Cx p = cmulSplit<exact>(b, V::load(armACAAC_vecTwiddleLast64 + k),
                                      V::load(armACAAC_vecTwiddleLast64 + 32 + k));
        cput<interleaved>(dr, di, k, csub(a, p));
        cput<interleaved>(dr, di, k + 32, cadd(a, p));
    }
    template <bool interleaved>
    AACD_VEC_TARGET static void r2Last64(const int32_t *sr, const int32_t *si, int32_t *dr, int32_t *di) {
        r2Last64Step<true, interleaved>(sr, si, dr, di, 0);
        for (int k = L; k < 32; k += L) r2Last64Step<false, interleaved>(sr, si, dr, di, k);
    }

    // 512-point FFT: split (ar, ai) in, result in (ar, ai); (br, bi) scratch.
    AACD_VEC_TARGET static void fft512(int32_t *ar, int32_t *ai, int32_t *br, int32_t *bi) {
        const int32_t *tw = armACAAC_IMDCT_FFTLongQ31;
        r8Pass<false>(ar, ai, br, bi, 512);
        r4Groups(br, bi, ar, ai, 512, 8, tw);
        r4Quads(ar, ai, br, bi, 512, tw);
        r4Last512<false>(br, bi, ar, ai);
    }

    // 64-point FFT: split (ar, ai) in, result in (br, bi); a destroyed.
    AACD_VEC_TARGET static void fft64(int32_t *ar, int32_t *ai, int32_t *br, int32_t *bi) {
        r8Pass<false>(ar, ai, br, bi, 64);
        H::r4Mid64(br, bi, ar, ai);
        r2Last64<false>(ar, ai, br, bi);
    }

    // omx_FFT_common for the two sizes the decoder uses, each with its own
    // twiddles: order 9 or 6.
    AACD_VEC_TARGET static void fft(int32_t *data, int32_t order, const int32_t *twiddles, int32_t *scratch) {
        if (order == 9) {
            int32_t *sr = scratch, *si = scratch + 512;
            r8Pass<true>(data, nullptr, sr, si, 512);
            int32_t *dr = data, *di = data + 512;
            r4Groups(sr, si, dr, di, 512, 8, twiddles);
            r4Quads(dr, di, sr, si, 512, twiddles);
            r4Last512<true>(sr, si, data, nullptr);
        } else {
            int32_t *sr = scratch, *si = scratch + 64;
            r8Pass<true>(data, nullptr, sr, si, 64);
            int32_t *dr = data, *di = data + 64;
            H::r4Mid64(sr, si, dr, di);
            r2Last64<true>(dr, di, scratch, nullptr);
            for (int i = 0; i < 128; i += L) V::store(data + i, V::load(scratch + i));
        }
    }

    // ------------------------------------------------------------ inverse MDCT

    // Pre-twiddle of the m coefficients x into m / 2 complex values (split):
    // z[k] = (x[2k] + j x[m - 1 - 2k]) P[k].  Chunks k and m/2 - L - k share
    // the two blocks of 2L coefficients they read.
    AACD_VEC_TARGET static void preTwiddle(const int32_t *x, int m, const int32_t *npre, int32_t *zr, int32_t *zi) {
        const int kq = m / 2;
        for (int k = 0; k < kq / 2; k += L) {
            const int k2 = kq - L - k;
            I fe, fo, be, bo;
            V::ld2(x + 2 * k, fe, fo);
            V::ld2(x + m - 2 * L - 2 * k, be, bo);
            const Cx a = twiddle(fe, V::rev(bo), V::load(npre + k), V::load(npre + kq + k));
            const Cx b = twiddle(be, V::rev(fo), V::load(npre + k2), V::load(npre + kq + k2));
            cstore(zr, zi, k, a);
            cstore(zr, zi, k2, b);
        }
    }

    // The 2L values from n = hi and the 2L from n = lo, as two vectors each.
    struct Block {
        I uHi[2], uLo[2], vHi[2], vLo[2];
    };

    // Post-twiddle Y = Z P and unfolding into the halves u, v of the negated
    // IMDCT, 2L values from the middle outward in each direction per step:
    // step i gives u and v at n = m/2 + 2i ... + 2L - 1 (hi) and
    // n = m/2 - 2L - 2i ... + 2L - 1 (lo), all in increasing n.
    template <class Sink>
    AACD_VEC_TARGET static void postTwiddle(const int32_t *zr, const int32_t *zi, int m, const int32_t *npre,
                                            Sink &sink) {
        const int kq = m / 2;
        for (int i = 0; i < kq / 2; i += L) {
            const int i2 = kq - L - i;
            const Cx ya = twiddle(V::load(zr + i), V::load(zi + i), V::load(npre + i), V::load(npre + kq + i));
            const Cx yb = twiddle(V::load(zr + i2), V::load(zi + i2), V::load(npre + i2), V::load(npre + kq + i2));
            const I reA = ya.re, imA = ya.im, reB = yb.re, imB = yb.im;
            const I nImA = V::neg(imA), nReB = V::neg(reB), nImB = V::neg(imB);
            Block b;
            V::zip(nImA, V::rev(reB), b.uHi[0], b.uHi[1]);
            V::zip(nReB, V::rev(imA), b.uLo[0], b.uLo[1]);
            V::zip(reA, V::rev(nImB), b.vHi[0], b.vHi[1]);
            V::zip(nImB, V::rev(reA), b.vLo[0], b.vLo[1]);
            sink.step(i, m / 2 + 2 * i, m / 2 - 2 * L - 2 * i, b);
        }
    }

    // 2L window values from w[i] in reverse order.
    AACD_VEC_TARGET static void loadRev(const int32_t *w, I out[2]) {
        out[0] = V::rev(V::load(w + L));
        out[1] = V::rev(V::load(w));
    }

    AACD_VEC_TARGET static void storeOut(int32_t *out, int n, int stride, I v) {
        if (stride == 1)
            V::store(out + n, v);
        else
            V::storeStrided(out + n * stride, stride, v);
    }

    // Long blocks: sample n = clamp(((ov[n] + head[n] + 1) >> 1 + rnd) >> s),
    // then ov[n] = tail[n].  riseOnes / fallOnes: the rising (falling) half
    // is the transition half, whose flat part (-2^31) begins at step 32 (a
    // multiple of L: no step straddles it).
    template <bool riseOnes, bool fallOnes>
    struct LongSink {
        const int32_t *rise, *fall;
        int32_t *ov, *out;
        int stride;
        I lo, hi;
        int shift;
        // rise and fall hold positive window values w = -R:
        // ov[n] + head[n] with head = prod(u, R[n]) = -mulr(u, w[n]).
        AACD_VEC_TARGET void emit(int n, I u, I negHeadOnes, bool ones) {
            const I nh = ones ? negHeadOnes : V::mulr(u, V::load(rise + n));
            I h = V::sub(V::load(ov + n), nh);
            h = V::sar1(V::add(h, V::dup(1)));
            // |h| <= 2^30, so h + rnd cannot wrap: a rounding shift.
            const I s = V::sarRound(h, shift);
            storeOut(out, n, stride, V::min(V::max(s, lo), hi));
        }
        AACD_VEC_TARGET void step(int i, int nHi, int nLo, const Block &b) {
            const bool onesStep = i >= 32;
            for (int h = 0; h < 2; ++h) {
                emit(nHi + L * h, b.uHi[h], b.uHi[h], riseOnes && onesStep);
                emit(nLo + L * h, b.uLo[h], b.uLo[h], false);
            }
            // Falling window: F[1023 - n] for n in the hi block are the lo
            // block's entries reversed, and the other way round.
            I fHi[2], fLo[2];
            loadRev(fall + nLo, fHi);
            loadRev(fall + nHi, fLo);
            for (int h = 0; h < 2; ++h) {
                V::store(ov + nHi + L * h, V::neg(V::mulr(b.vHi[h], fHi[h])));
                const I tailLo = (fallOnes && onesStep) ? V::neg(b.vLo[h]) : V::neg(V::mulr(b.vLo[h], fLo[h]));
                V::store(ov + nLo + L * h, tailLo);
            }
        }
    };

    // One short window: S[n] = T[n] + 8 head[n], T[n] = 8 tail[n].
    struct ShortSink {
        const int32_t *rise, *fall;
        int32_t *s, *t;
        AACD_VEC_TARGET void step(int, int nHi, int nLo, const Block &b) {
            I fHi[2], fLo[2];
            loadRev(fall + nLo, fHi);
            loadRev(fall + nHi, fLo);
            const int ns[2] = {nHi, nLo};
            const I *us[2] = {b.uHi, b.uLo};
            const I *vs[2] = {b.vHi, b.vLo};
            const I *fs[2] = {fHi, fLo};
            for (int part = 0; part < 2; ++part) {
                for (int h = 0; h < 2; ++h) {
                    const int n = ns[part] + L * h;
                    const I nh = V::mulr(us[part][h], V::load(rise + n));
                    V::store(s + n, V::sub(V::load(t + n), V::shl3(nh)));
                    V::store(t + n, V::neg(V::shl3(V::mulr(vs[part][h], fs[part][h]))));
                }
            }
        }
    };

    template <bool riseOnes, bool fallOnes>
    AACD_VEC_TARGET static void longBlock(const int32_t *zr, const int32_t *zi, const LongSink<false, false> &base) {
        LongSink<riseOnes, fallOnes> sink{base.rise, base.fall, base.ov, base.out,
                                          base.stride, base.lo, base.hi, base.shift};
        postTwiddle(zr, zi, 1024, armACAAC_vecPreTwiddleLong, sink);
    }

    AACD_VEC_TARGET static int32_t mdctInv(int32_t *x, int32_t *pcm, int32_t *ov, int32_t windowSequence,
                                           int32_t windowShape, int32_t prevWindowShape, int32_t stride,
                                           int32_t bitDepth, const ArmIMDCTTables *tables) {
        constexpr int kTransitionHalf = 1024, kShortHalf = 1472;
        // tables is the library's own set, whose lane-ordered copies these are.
        const int32_t *cur = windowShape ? armACAAC_vecWinKBD : armACAAC_vecWinSine;
        const int32_t *prev = prevWindowShape ? armACAAC_vecWinKBD : armACAAC_vecWinSine;
        const bool deep = bitDepth == 24;
        const int shift = deep ? 6 : 14;
        const I hi = V::dup(tables->maxMin[deep ? 8 : 0]);
        const I lo = V::dup(tables->maxMin[deep ? 12 : 4]);

        if (windowSequence != 2) {
            const bool riseTrans = windowSequence == 3;
            const bool fallTrans = !(windowSequence == 0 || windowSequence == 3);
            alignas(32) int32_t buf[1024];
            int32_t *br = buf, *bi = buf + 512;
            preTwiddle(x, 1024, armACAAC_vecPreTwiddleLong, br, bi);
            // x is free once pre-twiddled: the FFT's scratch.
            fft512(br, bi, x, x + 512);
            const LongSink<false, false> base{prev + (riseTrans ? kTransitionHalf : 0),
                                              cur + (fallTrans ? kTransitionHalf : 0),
                                              ov,
                                              pcm,
                                              stride,
                                              lo,
                                              hi,
                                              shift};
            if (riseTrans)
                longBlock<true, false>(br, bi, base);
            else if (fallTrans)
                longBlock<false, true>(br, bi, base);
            else
                longBlock<false, false>(br, bi, base);
            return 0;
        }

        // Eight short windows: S (time 448 + i) replaces the spectrum window
        // by window; t holds the previous window's tail.
        alignas(32) int32_t t[128] = {};
        alignas(32) int32_t z[128];
        alignas(32) int32_t y[128];
        for (int w = 0; w < 8; ++w) {
            int32_t *xw = x + 128 * w;
            preTwiddle(xw, 128, armACAAC_vecPreTwiddleShort, z, z + 64);
            fft64(z, z + 64, y, y + 64);
            ShortSink sink{(w == 0 ? prev : cur) + kShortHalf, cur + kShortHalf, xw, t};
            postTwiddle(y, y + 64, 128, armACAAC_vecPreTwiddleShort, sink);
        }
        const I rnd = V::dup(QRoundings[shift + 1]);
        for (int n = 0; n < 1024; n += L) {
            I a = V::load(ov + n);
            if (n >= 448) a = V::add(a, V::load(x + n - 448));
            // The sum may lie anywhere in the 32-bit range: the rounding
            // addition wraps, as in the C code.
            storeOut(pcm, n, stride, V::min(V::max(V::sar(V::add(a, rnd), shift + 1), lo), hi));
        }
        // The next overlap, from its end back: zeros (from 576), the last
        // window's tail (from 448), S from time 1024 (from 0).
        for (int n = 576; n < 1024; n += L) V::store(ov + n, V::dup(0));
        for (int j = 0; j < 128; j += L) V::store(ov + 448 + j, V::load(t + j));
        for (int n = 0; n < 448; n += L) V::store(ov + n, V::load(x + 576 + n));
        return 0;
    }

    // Both roundings of the products above, for the kernel check (count a
    // multiple of L).
    AACD_VEC_TARGET static void q31Products(const int32_t *a, const int32_t *b, int32_t *up, int32_t *down,
                                            int32_t count) {
        for (int32_t i = 0; i < count; i += L) {
            const I va = V::load(a + i), vb = V::load(b + i);
            V::store(up + i, V::mulrExact(va, vb));
            V::store(down + i, V::neg(V::mulr(va, V::neg(vb))));
        }
    }
};

}  // namespace
