// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
//
// Every version of every synthesis kernel that this machine runs, timed on
// the inputs of the kernel check (tests/support/kernel_cases.h), eight seeds
// in turn: kernel/<case>/<version>.  Each iteration restores its inputs
// first (a copy of the case's state, the same for every version).
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "tests/support/kernel_cases.h"

namespace {

void runCase(benchmark::State &state, const kernel_cases::Case *kc, const aacd::SynthKernels *k) {
    constexpr uint32_t kInputs = 8;
    std::vector<int32_t> inputs(kInputs * kc->words), work(kc->words);
    for (uint32_t seed = 0; seed < kInputs; ++seed) kc->fill(seed, inputs.data() + seed * kc->words);
    uint32_t next = 0;
    for (auto _ : state) {
        std::memcpy(work.data(), inputs.data() + next * kc->words, kc->words * sizeof(int32_t));
        next = (next + 1) % kInputs;
        kc->call(*k, work.data());
        benchmark::DoNotOptimize(work.data());
    }
}

const bool registered = [] {
    for (const kernel_cases::Case &kc : kernel_cases::all())
        for (const aacd::KernelIsa isa : aacd::kAllKernelIsas)
            if (const aacd::SynthKernels *k = aacd::kernelsFor(isa))
                benchmark::RegisterBenchmark((std::string("kernel/") + kc.name + "/" + k->name).c_str(), runCase, &kc, k);
    return true;
}();

}  // namespace
