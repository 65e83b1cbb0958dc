// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// A whole individual_channel_stream() of random content, written with the
// test-side channel encoder, and what a decoder must give back for it; and
// fixed-width fields written in one call.
#pragma once

#include <algorithm>
#include <random>
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
    int aot = 2, pulses = 0, pulseStart = 0, pulseOff[4] = {}, pulseAmp[4] = {};
    bool tnsPresent = false;
    TnsInfo tns{};                  // the filters written (windows with filters only)
    std::vector<int8_t> tnsCoefs;   // their coefficients in stream order
    std::vector<int32_t> spectrum;  // coded order, pulses added
};

// Gain, stream info (unless common) of the given window shape, sections,
// scale factors, pulse data (long windows, when allowed: random), TNS data
// (when tnsWindows is given: random filters in each listed window, the
// order limited as object type e.aot and the rate require), no gain
// control, spectral data.
inline void writeIcs(BitWriter &w, Ics &e, std::mt19937 &rng, bool common, int shape, bool allowPulses,
                     const std::vector<int> *tnsWindows) {
    Channel &ch = e.ch;
    const bool s = ch.shortWindows;
    w.bits(static_cast<uint32_t>(ch.globalGain), 8);
    if (!common) writeIcsInfo(w, ch, shape);
    writeSections(w, ch);
    writeScaleFactors(w, ch, rng);
    const uint16_t *off = armACAAC_swbOffsetLongWindow[ch.sri];
    e.pulses = allowPulses && !s && ch.maxSfb > 0 && rng() % 2 ? 1 + static_cast<int>(rng() % 4) : 0;
    w.bits(e.pulses > 0, 1);
    if (e.pulses) put(w, {{e.pulses - 1, 2}, {e.pulseStart = static_cast<int>(rng() % ch.maxSfb), 6}});
    for (int i = 0, k = off[e.pulseStart]; i < e.pulses; k += e.pulseOff[i++]) {
        e.pulseOff[i] = std::min(static_cast<int>(rng() % 32), 1023 - k);
        put(w, {{e.pulseOff[i], 5}, {e.pulseAmp[i] = static_cast<int>(rng() % 16), 4}});
    }
    const int maxOrder = e.aot == 3 ? 12 : s ? 7 : ch.sri > 4 ? 20 : 12;
    w.bits(e.tnsPresent = tnsWindows != nullptr, 1);
    for (int win = 0; e.tnsPresent && win < (s ? 8 : 1); ++win) {
        const int nf = std::count(tnsWindows->begin(), tnsWindows->end(), win) ? 1 + static_cast<int>(rng() % (s ? 1 : 3)) : 0;
        const int res = static_cast<int>(rng() % 2);
        w.bits(e.tns.tnsNumFilters[win] = nf, s ? 1 : 2);
        if (nf) w.bits(res, 1), e.tns.tnsCoefRes[win] = res + 3;
        for (int f = win; f < win + nf; ++f) {
            const int order = static_cast<int>(rng() % (s ? 8 : 32)), compress = static_cast<int>(rng() % 2);
            put(w, {{e.tns.tnsLength[f] = static_cast<int>(rng() % (s ? 16 : 64)), s ? 4 : 6}, {order, s ? 3 : 5}});
            if ((e.tns.tnsOrder[f] = std::min(order, maxOrder)) > 0)
                put(w, {{e.tns.tnsDirection[f] = static_cast<int>(rng() % 2), 1}, {compress, 1}});
            for (int i = 0, n = res + 3 - compress; i < e.tns.tnsOrder[f]; ++i) {
                e.tnsCoefs.push_back(static_cast<int8_t>(static_cast<int>(rng() % (1u << n)) - (1 << (n - 1))));
                w.bits(static_cast<uint32_t>(e.tnsCoefs.back()) & ((1u << n) - 1), n);
            }
        }
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
    const TnsInfo &t = e.tns;
    for (int win = 0; win < (e.ch.shortWindows ? 8 : 1); ++win) {
        EXPECT_EQ(got.tnsNumFilters[win], t.tnsNumFilters[win]) << win;
        EXPECT_EQ(t.tnsNumFilters[win] ? got.tnsCoefRes[win] : 0, t.tnsCoefRes[win]) << win;
        for (int f = win; f < win + t.tnsNumFilters[win]; ++f)
            EXPECT_EQ(std::vector<int32_t>({got.tnsLength[f], got.tnsOrder[f], t.tnsOrder[f] ? got.tnsDirection[f] : 0}),
                      std::vector<int32_t>({t.tnsLength[f], t.tnsOrder[f], t.tnsDirection[f]})) << win;
    }
    EXPECT_EQ(std::vector<int8_t>(coefs, coefs + e.tnsCoefs.size()), e.tnsCoefs);
}

}  // namespace
