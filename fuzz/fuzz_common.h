// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
//
// What the fuzz targets share: invariant traps and a decoder instance (the
// unit tests' host, whose calls check what every call must give).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "../tests/support/host.h"

namespace aacd_fuzz {

using aacdtest::abandoned;
using aacdtest::UntracedFill;
using aacdtest::UntracedWordsOk;

inline void check(bool ok, const char *what) {
    if (ok) return;
    std::fprintf(stderr, "invariant broken: %s\n", what);
    __builtin_trap();
}

struct Instance : aacdtest::Host {
    explicit Instance(int output_bits) : Host(static_cast<uint8_t>(output_bits)) { check(status == AACD_OK, "init"); }

    // Decodes a block (size 0: none), trapping on a broken rule; the status.
    int32_t decode(const uint8_t *data, int32_t size, bool planar = false) {
        const char *broken = call(data, size, planar);
        check(broken == nullptr, broken);
        return status;
    }
};

}  // namespace aacd_fuzz
