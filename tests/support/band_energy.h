// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// Spectral analysis for the tests: an in-place radix-2 FFT and the energies
// of groups of bins of a Hann-windowed segment.
#pragma once

#include <cmath>
#include <complex>
#include <cstddef>
#include <utility>
#include <vector>

namespace aacdtest {

// In-place forward DFT, length a power of two.
inline void fft(std::vector<std::complex<double>> &a) {
    const size_t n = a.size();
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1) j ^= bit;
        j ^= bit;
        if (i < j) std::swap(a[i], a[j]);
    }
    for (size_t len = 2; len <= n; len <<= 1) {
        const std::complex<double> wl = std::polar(1.0, -2 * M_PI / static_cast<double>(len));
        for (size_t i = 0; i < n; i += len) {
            std::complex<double> w(1);
            for (size_t k = 0; k < len / 2; ++k, w *= wl) {
                const std::complex<double> u = a[i + k], v = a[i + k + len / 2] * w;
                a[i + k] = u + v;
                a[i + k + len / 2] = u - v;
            }
        }
    }
}

// Energies of consecutive groups of `bins` FFT bins (below n / 2) of the n
// samples x[0], x[stride], ... under the Hann window 0.5 - 0.5 cos(2 pi (i +
// offset) / n).
template <typename T>
std::vector<double> bandEnergies(const T *x, size_t stride, int n, int bins, double offset) {
    std::vector<std::complex<double>> buf(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) buf[i] = (0.5 - 0.5 * std::cos(2 * M_PI * (i + offset) / n)) * x[i * stride];
    fft(buf);
    std::vector<double> e(static_cast<size_t>(n / 2 / bins), 0.0);
    for (int k = 0; k < n / 2; ++k) e[k / bins] += std::norm(buf[k]);
    return e;
}

}  // namespace aacdtest
