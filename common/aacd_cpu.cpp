// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
#include "common/aacd_cpu.h"

#if defined(__x86_64__)
#include <cpuid.h>
#endif

namespace aacd {

CpuFeatures cpuFeatures() {
    CpuFeatures f{false, false};
#if defined(__x86_64__)
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (!__get_cpuid(1, &a, &b, &c, &d)) return f;
    f.sse41 = static_cast<bool>(c & bit_SSE4_1);
    // AVX2 also needs the operating system to save the 256-bit registers:
    // XSAVE enabled by it (OSXSAVE) and the SSE and AVX state in XCR0 (which
    // it enables only on a CPU with AVX).
    if (!(c & bit_OSXSAVE)) return f;
    unsigned lo = 0, hi = 0;
    __asm__("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
    if ((lo & 6) != 6) return f;
    if (__get_cpuid_count(7, 0, &a, &b, &c, &d)) f.avx2 = static_cast<bool>(b & bit_AVX2);
#endif
    return f;
}

}  // namespace aacd
