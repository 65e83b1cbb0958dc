// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
//
// The vector instruction sets of the CPU that the library may use.
#pragma once

namespace aacd {

struct CpuFeatures {
    bool sse41;
    bool avx2;  // with the operating system saving the 256-bit registers
};

// Asks the CPU on every call (the kernel choice that uses it is made once).
CpuFeatures cpuFeatures();

}  // namespace aacd
