// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
//
// SSE4.1 versions of the synthesis kernels (x86-64, chosen at run time: only
// the functions here are compiled for SSE4.1).
#if defined(__x86_64__)

#define AACD_VEC_TARGET __attribute__((target("sse4.1")))
#include "omxdl/ac/armACAAC_KernelsX86.h"
#include "omxdl/ac/armACAAC_KernelsVec.h"

namespace aacd {

const SynthKernels kKernelsSse41 = {
    "sse4.1",     SynthVec<X86V>::fft, SynthVec<X86V>::mdctInv, quantBandX86<QuantSse41>, msBandX86,
    SynthVec<X86V>::q31Products,
};

}  // namespace aacd

#endif
