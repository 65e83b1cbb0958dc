// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
//
// Kernel check: every vector version of every synthesis kernel that this
// machine runs gets the same inputs as the plain C version and must give the
// same outputs, bit for bit (x86-64: SSE4.1 and AVX2; aarch64: NEON), and
// the same words after the state (which no version may write).
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "common/aacd_cpu.h"
#include "kernel_cases.h"

namespace {

// The chosen version is the best one that the CPU runs, by the compiler's
// own CPU detection.
TEST(KernelCheck, ChoiceFollowsTheCpu) {
#if defined(__x86_64__)
    const aacd::CpuFeatures f = aacd::cpuFeatures();
    EXPECT_TRUE(f.sse41 == (__builtin_cpu_supports("sse4.1") != 0) && f.avx2 == (__builtin_cpu_supports("avx2") != 0));
    EXPECT_STREQ(aacd::kernels().name, f.avx2 ? "avx2" : f.sse41 ? "sse4.1" : "c");
#else
    EXPECT_STREQ(aacd::kernels().name, "neon");
#endif
}

TEST(KernelCheck, EveryVersionMatchesTheCVersion) {
    const aacd::SynthKernels &c = *aacd::kernelsFor(aacd::KernelIsa::C);
    int versions = 0;
    for (const aacd::KernelIsa isa : aacd::kAllKernelIsas) {
        const aacd::SynthKernels *v = aacd::kernelsFor(isa);
        if (v == nullptr || v == &c) continue;
        ++versions;
        for (const kernel_cases::Case &kc : kernel_cases::all()) {
            std::vector<int32_t> want(kc.words + 16, 0x2545F491), got(want.size());  // 16 guard words
            for (uint32_t seed = 0; seed < 300; ++seed) {
                kc.fill(seed, want.data());
                got = want;
                kc.call(c, want.data());
                kc.call(*v, got.data());
                const auto at = std::mismatch(want.begin() + kc.compareFrom, want.end(), got.begin() + kc.compareFrom);
                ASSERT_TRUE(at.first == want.end())
                    << v->name << " " << kc.name << " seed " << seed << ": word " << (at.first - want.begin()) << " is "
                    << *at.second << ", C gives " << *at.first;
            }
        }
    }
    if (versions == 0) GTEST_SKIP() << "no vector version runs on this CPU";
}

}  // namespace
