// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// Word-clear helpers built on the memory primitives.
#include "common/intrins.h"

#include "common/util2.h"

#include <cstddef>
#include <cstdint>

namespace {

// n words, n * 4 bytes.  From n = 2^29 on, the byte count no longer fits the
// 32-bit count of myMemSet, so the words are cleared in several calls.
// n < 1 clears nothing.
void clearWords(void *ptr, int32_t n) {
    constexpr int32_t kMaxWords = INT32_MAX / 4;
    auto *p = static_cast<uint8_t *>(ptr);
    while (n > 0) {
        const int32_t words = n < kMaxWords ? n : kMaxWords;
        myMemSet(p, 0, words * 4);
        p += static_cast<size_t>(words) * 4;
        n -= words;
    }
}

}  // namespace

extern "C" {

AACD_EXPORT void AACD_fltclr(void *ptr, int32_t n) { clearWords(ptr, n); }
AACD_EXPORT void AACD_lfractclr(void *ptr, int32_t n) { clearWords(ptr, n); }

}  // extern "C"
