// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
//
// Preloaded into aacd-decode by the interposition test: namesakes of the
// library's primitives that return garbage.  The library binds its own calls
// internally, so its output must not change.  The line printed when the
// object is loaded shows the preload took effect.
#include <stdint.h>
#include <stdio.h>

int32_t armSatAdd_S32(int32_t a, int32_t b) { return a ^ b ^ 0x5A5A5A5A; }
int32_t armSatSub_S32(int32_t a, int32_t b) { return a ^ b ^ 0x3C3C3C3C; }
void myMemCopy(void *dst, const void *src, int32_t count) { (void)dst; (void)src; (void)count; }
void myMemSet(void *ptr, int32_t value, int32_t count) { (void)ptr; (void)value; (void)count; }
int32_t omxACAAC_MDCTInv_S32_S32(int32_t *spectrum, int32_t *pcm, int32_t *overlap, int32_t seq, int32_t shape,
                                 int32_t prevShape, int32_t stride, int32_t bits, const void *tables) {
    (void)spectrum; (void)overlap; (void)seq; (void)shape; (void)prevShape; (void)bits; (void)tables;
    for (int32_t n = 0; n < 1024; ++n) pcm[n * stride] = 12345;
    return 0;
}

__attribute__((constructor)) static void announce(void) {
    fputs("aacd interposer loaded\n", stderr);
}
