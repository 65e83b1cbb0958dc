// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// Symbol visibility for library code.  The library is built with hidden
// visibility by default; every operation and table of the decoder's public
// function set is marked AACD_EXPORT and given C linkage, everything else
// stays internal to the shared object.
#pragma once

#if defined(__GNUC__)
#define AACD_EXPORT __attribute__((visibility("default")))
#else
#define AACD_EXPORT
#endif
