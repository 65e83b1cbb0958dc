// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// The channel stream writer (now part of the channel encoder).
#pragma once

#include "channel_encoder.h"
