// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// Spectral analysis for the tests: a radix-2 FFT and the energies of groups
// of bins of a Hann-windowed segment.
#pragma once

#include <cmath>
#include <complex>
#include <tuple>
#include <vector>

namespace aacdtest {

// Forward DFT in place, length a power of two (recursive decimation in time).
inline void fft(std::vector<std::complex<double>> &a) {
    const size_t half = a.size() / 2;
    if (half == 0) return;
    std::vector<std::complex<double>> even(half), odd(half);
    for (size_t i = 0; i < half; ++i) std::tie(even[i], odd[i]) = std::make_pair(a[2 * i], a[2 * i + 1]);
    fft(even);
    fft(odd);
    for (size_t k = 0; k < half; ++k) {
        const std::complex<double> t = std::polar(1.0, -M_PI * double(k) / double(half)) * odd[k];
        a[k] = even[k] + t;
        a[k + half] = even[k] - t;
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
