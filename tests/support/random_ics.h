// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// A whole individual_channel_stream() of random content, written with the
// test-side channel encoder, and what a decoder must give back for it; and
// fixed-width fields written in one call.
#pragma once

#include <algorithm>
#include <random>
#include <tuple>
#include <vector>

#include "channel_encoder.h"

namespace {

// Fixed-width fields in one call: put(w, {{value, bits}, ...}).
struct Field {
    template <class T>
    Field(T value, int bits) : v(static_cast<uint32_t>(value)), n(bits) {}
    uint32_t v;
    int n;
};
inline void put(BitWriter &w, const std::vector<Field> &fields) {
    for (const Field &f : fields) w.bits(f.v, f.n);
}

struct Ics {
    Channel ch;  // layout; the writer fills sf and values
    int pulses = 0, pulseStart = 0, pulseOff[4] = {}, pulseAmp[4] = {};
    bool tnsPresent = false;
    TnsInfo tns{};                  // the filters written (windows with filters only)
    std::vector<int8_t> tnsCoefs;   // their coefficients in stream order
    std::vector<int32_t> spectrum;  // coded order, pulses added
};

// Gain, stream info (unless common) of the given window shape, sections,
// scale factors, pulse data (long windows, when allowed: random), TNS data
// (when tnsWindows is given: one filter of order 1 in each listed window),
// no gain control, spectral data.
inline void writeIcs(BitWriter &w, Ics &e, std::mt19937 &rng, bool common, int shape, bool allowPulses,
                     const std::vector<int> *tnsWindows) {
    Channel &ch = e.ch;
    w.bits(static_cast<uint32_t>(ch.globalGain), 8);
    if (!common) writeIcsInfo(w, ch, shape);
    writeSections(w, ch);
    writeScaleFactors(w, ch, rng);
    const uint16_t *off = armACAAC_swbOffsetLongWindow[ch.sri];
    const bool pulses = allowPulses && !ch.shortWindows && ch.maxSfb > 0 && rng() % 2;
    w.bits(pulses, 1);
    if (pulses) {
        e.pulses = 1 + static_cast<int>(rng() % 4);
        e.pulseStart = static_cast<int>(rng() % ch.maxSfb);
        put(w, {{e.pulses - 1, 2}, {e.pulseStart, 6}});
        for (int i = 0, k = off[e.pulseStart]; i < e.pulses; ++i) {
            e.pulseOff[i] = std::min(static_cast<int>(rng() % 32), 1023 - k);
            k += e.pulseOff[i];
            e.pulseAmp[i] = static_cast<int>(rng() % 16);
            put(w, {{e.pulseOff[i], 5}, {e.pulseAmp[i], 4}});
        }
    }
    e.tnsPresent = tnsWindows != nullptr;
    w.bits(e.tnsPresent, 1);
    const bool s = ch.shortWindows;
    for (int win = 0; e.tnsPresent && win < (s ? 8 : 1); ++win) {
        const bool on = std::find(tnsWindows->begin(), tnsWindows->end(), win) != tnsWindows->end();
        w.bits(on, s ? 1 : 2);
        e.tns.tnsNumFilters[win] = on;
        if (!on) continue;
        // coef_res 3 bits, length, order 1, direction 1, no compression, coefficient
        const uint32_t raw = static_cast<uint32_t>(win % 7 + 1);
        put(w, {{0, 1}, {3 + win, s ? 4 : 6}, {1, s ? 3 : 5}, {1, 1}, {0, 1}, {raw, 3}});
        std::tie(e.tns.tnsCoefRes[win], e.tns.tnsLength[win], e.tns.tnsOrder[win], e.tns.tnsDirection[win]) =
            std::make_tuple(3, 3 + win, 1, 1);
        e.tnsCoefs.push_back(static_cast<int8_t>(raw >= 4 ? int(raw) - 8 : int(raw)));
    }
    w.bits(0, 1);  // gain_control_data_present
    writeSpectrum(w, ch, rng);
    e.spectrum = ch.values;
    for (int i = 0, k = off[e.pulseStart]; i < e.pulses; ++i) {
        k += e.pulseOff[i];
        e.spectrum[k] += e.spectrum[k] > 0 ? e.pulseAmp[i] : -e.pulseAmp[i];
    }
}

// The TNS record and coefficients of a decoded channel against the writer's.
inline void expectTns(const Ics &e, const TnsInfo &got, const int8_t *coefs) {
    for (int win = 0; win < (e.ch.shortWindows ? 8 : 1); ++win) {
        SCOPED_TRACE(win);
        EXPECT_EQ(got.tnsNumFilters[win], e.tns.tnsNumFilters[win]);
        if (e.tns.tnsNumFilters[win] == 0) continue;
        EXPECT_EQ(std::make_tuple(got.tnsCoefRes[win], got.tnsLength[win], got.tnsOrder[win], got.tnsDirection[win]),
                  std::make_tuple(3, 3 + win, 1, 1));
    }
    EXPECT_EQ(std::vector<int8_t>(coefs, coefs + e.tnsCoefs.size()), e.tnsCoefs);
}

}  // namespace
