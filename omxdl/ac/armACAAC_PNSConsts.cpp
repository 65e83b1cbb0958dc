// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// Constants of the noise generator R <- R * 1664525 + 1013904223 (mod 2^32):
// the multipliers a^k and increments c * (1 + a + ... + a^(k-1)) that advance
// a generator by k = 1..4 steps at once (for a four-lane implementation),
// followed by five further words kept with the table.
#include <array>
#include <cstdint>

#include "omxdl/ac/armACAAC.h"

namespace {

constexpr uint32_t kMul = 1664525u;
constexpr uint32_t kAdd = 1013904223u;

constexpr std::array<uint32_t, 13> makePnsConsts() {
    std::array<uint32_t, 13> t{};
    uint32_t mul = 1;
    uint32_t sum = 0;  // 1 + a + ... + a^(k-1)
    for (int k = 0; k < 4; ++k) {
        sum += mul;
        mul *= kMul;
        t[k] = mul;
        t[4 + k] = kAdd * sum;
    }
    t[8] = 0xCB345100u;
    t[9] = 0xFCF3F000u;
    t[10] = 0x44043700u;
    t[11] = 0xD7B59880u;
    t[12] = 0x0C080400u;
    return t;
}

constexpr std::array<uint32_t, 13> kPnsConsts = makePnsConsts();
static_assert(kPnsConsts[0] == kMul && kPnsConsts[4] == kAdd, "one-step constants");

}  // namespace

extern "C" {

AACD_EXPORT extern const uint32_t armACAAC_PNSConsts[13] = {
    kPnsConsts[0], kPnsConsts[1], kPnsConsts[2],  kPnsConsts[3],  kPnsConsts[4],
    kPnsConsts[5], kPnsConsts[6], kPnsConsts[7],  kPnsConsts[8],  kPnsConsts[9],
    kPnsConsts[10], kPnsConsts[11], kPnsConsts[12]};

}  // extern "C"
