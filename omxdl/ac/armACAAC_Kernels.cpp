// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
//
// Choice of the synthesis kernel versions.
#include "omxdl/ac/armACAAC_Kernels.h"

#include <atomic>

#include "common/aacd_cpu.h"
#include "common/armCOMM_inline.h"

namespace aacd {

namespace {

void q31ProductsC(const int32_t *a, const int32_t *b, int32_t *up, int32_t *down, int32_t count) {
    for (int32_t i = 0; i < count; ++i) {
        up[i] = mulQ31Round(a[i], b[i]);
        down[i] = mulQ31RoundDown(a[i], b[i]);
    }
}

const SynthKernels kKernelsC = {"c", fftC, mdctInvC, quantBandC, msBandC, q31ProductsC};

const SynthKernels *best() {
#if defined(__aarch64__)
    return &kKernelsNeon;
#else
    if (const SynthKernels *k = kernelsFor(KernelIsa::Avx2)) return k;
    if (const SynthKernels *k = kernelsFor(KernelIsa::Sse41)) return k;
    return &kKernelsC;
#endif
}

}  // namespace

const SynthKernels *kernelsFor(KernelIsa isa) {
    switch (isa) {
        case KernelIsa::C:
            return &kKernelsC;
#if defined(__x86_64__)
        case KernelIsa::Sse41:
            return cpuFeatures().sse41 ? &kKernelsSse41 : nullptr;
        case KernelIsa::Avx2:  // every AVX2 CPU has SSE4.1
            return cpuFeatures().avx2 ? &kKernelsAvx2 : nullptr;
#endif
#if defined(__aarch64__)
        case KernelIsa::Neon:
            return &kKernelsNeon;
#endif
        default:
            return nullptr;
    }
}

const SynthKernels &kernels() {
    // An atomic rather than a guarded static (no C++ runtime support needed);
    // racing first calls store the same pointer to constant tables.
    static std::atomic<const SynthKernels *> chosen{nullptr};
    const SynthKernels *k = chosen.load(std::memory_order_relaxed);
    if (!k) {
        k = best();
        chosen.store(k, std::memory_order_relaxed);
    }
    return *k;
}

}  // namespace aacd
