// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
#include "common/aacd_cpu.h"

#include <atomic>

#if defined(__x86_64__)
#include <cpuid.h>
#endif

namespace aacd {

namespace {

CpuFeatures detect() {
    CpuFeatures f{false, false};
#if defined(__x86_64__)
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (!__get_cpuid(1, &a, &b, &c, &d)) return f;
    f.sse41 = (c & bit_SSE4_1) != 0;
    const bool osYmm = [&] {
        if (!(c & bit_OSXSAVE) || !(c & bit_AVX)) return false;
        unsigned lo = 0, hi = 0;
        __asm__("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
        return (lo & 6) == 6;  // SSE and AVX state enabled
    }();
    if (osYmm && __get_cpuid_count(7, 0, &a, &b, &c, &d)) f.avx2 = (b & bit_AVX2) != 0;
#endif
    return f;
}

}  // namespace

// Cached in an atomic, not a guarded static: the library needs no C++
// runtime support (a C program links libaacd.a with -lm only), and racing
// first calls store the same value.
const CpuFeatures &cpuFeatures() {
    static const CpuFeatures kAll[4] = {{false, false}, {true, false}, {false, true}, {true, true}};
    static std::atomic<int> cached{-1};
    int v = cached.load(std::memory_order_relaxed);
    if (v < 0) {
        const CpuFeatures f = detect();
        v = (f.sse41 ? 1 : 0) | (f.avx2 ? 2 : 0);
        cached.store(v, std::memory_order_relaxed);
    }
    return kAll[v];
}

}  // namespace aacd
