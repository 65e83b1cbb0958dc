// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// Raw data blocks for the frame driver tests, built element by element on
// the test-side channel encoder, and the host side of a decoding call.
#pragma once

#include <algorithm>
#include <cstdint>
#include <tuple>
#include <vector>

#include "host.h"
#include "random_ics.h"

namespace {

constexpr int kHostSri = 4;                // 44.1 kHz, the test host's sampling index
constexpr int32_t kSentinel = 0x7EADBEEF;  // outside every output range

inline int bandStart(int b) { return armACAAC_swbOffsetLongWindow[kHostSri][b]; }
inline int bandWidth(int b) { return bandStart(b + 1) - bandStart(b); }

// One channel at 44.1 kHz, band by band: codebook, the band's scale factor
// (noise energy for codebook 13, intensity position for 14 and 15) and the
// quantised values of spectral bands.  Short windows form one group of eight
// and carry no spectral bands.  tnsBands >= 0 adds one long-window TNS filter
// of order 0 over that many bands.
struct Chan {
    int gain = 150, tnsBands = -1, shape = 0;
    bool shortWindows = false;
    std::vector<int> cb, sf;
    std::vector<std::vector<int32_t>> q;
    explicit Chan(int maxSfb, bool isShort = false)
        : shortWindows(isShort), cb(maxSfb, 0), sf(maxSfb, 0), q(maxSfb) {}
    int maxSfb() const { return static_cast<int>(cb.size()); }
    Chan &spectral(int b, int scale, int seed) {  // codebook 5, a fixed pattern
        cb[b] = 5;
        sf[b] = scale;
        q[b].clear();
        for (int k = 0; k < bandWidth(b); ++k) q[b].push_back((k * 5 + seed) % 9 - 4);
        return *this;
    }
    Chan &zeros(int b, int codebook) {
        cb[b] = codebook;
        sf[b] = gain;
        q[b].assign(bandWidth(b), 0);
        return *this;
    }
    Chan &noise(int b, int energy) { cb[b] = 13; sf[b] = energy; return *this; }
    Chan &intensity(int b, int codebook, int position) { cb[b] = codebook; sf[b] = position; return *this; }
};

inline Channel layoutOf(const Chan &c) {
    Channel ch;
    ch.sri = kHostSri;
    ch.shortWindows = c.shortWindows;
    if (c.shortWindows) ch.groupLen[0] = 8;
    ch.maxSfb = c.maxSfb();
    ch.numSect[0] = c.maxSfb();
    for (int b = 0; b < c.maxSfb(); ++b) {  // one section per band
        ch.sectCb.push_back(static_cast<uint8_t>(c.cb[b]));
        ch.sectEnd.push_back(static_cast<uint8_t>(b + 1));
    }
    return ch;
}

// individual_channel_stream(): gain, stream info unless the pair shares it,
// sections, scale factors, no pulse or gain control data, spectral data.
inline void putIcs(BitWriter &w, const Chan &c, bool common) {
    const Channel ch = layoutOf(c);
    w.bits(static_cast<uint32_t>(c.gain), 8);
    if (!common) writeIcsInfo(w, ch, c.shape);
    writeSections(w, ch);
    int sf = c.gain, is = 0, noise = c.gain - 90;
    bool firstNoise = true;
    for (int b = 0; b < c.maxSfb(); ++b) {
        const int cb = c.cb[b];
        if (cb == 0) continue;
        if (cb == 13 && firstNoise) {
            firstNoise = false;
            w.bits(static_cast<uint32_t>(c.sf[b] - noise + 256), 9);
            noise = c.sf[b];
        } else {
            int &last = cb == 13 ? noise : (cb == 14 || cb == 15) ? is : sf;
            w.code(0, c.sf[b] - last + 60);
            last = c.sf[b];
        }
    }
    put(w, {{0, 1}, {c.tnsBands >= 0, 1}});  // no pulse data; TNS data: n_filt 1, coef_res 0, length, order 0
    if (c.tnsBands >= 0) put(w, {{1, 2}, {0, 1}, {c.tnsBands, 6}, {0, 5}});
    w.bits(0, 1);  // gain_control_data_present
    for (int b = 0; b < c.maxSfb(); ++b) {
        const int cb = c.cb[b];
        if (cb == 0 || cb >= 12) continue;
        const int dim = cb <= 4 ? 4 : 2;
        for (int k = 0; k < bandWidth(b); k += dim) writeTuple(w, cb, &c.q[b][k]);
    }
}

// Single channel (id 0) or LFE (id 3) element.
inline void putSce(BitWriter &w, const Chan &c, uint32_t id = 0, uint32_t tag = 0) {
    put(w, {{id, 3}, {tag, 4}});
    putIcs(w, c, false);
}

// Common-window channel pair; msUsed holds one flag per band (mask 1).
inline void putPair(BitWriter &w, const Chan &l, const Chan &r, uint32_t msMask,
                    const std::vector<int> &msUsed = {}, uint32_t tag = 0) {
    put(w, {{1, 3}, {tag, 4}, {1, 1}});  // common_window
    writeIcsInfo(w, layoutOf(l), l.shape);
    w.bits(msMask, 2);
    for (int b = 0; msMask == 1 && b < l.maxSfb(); ++b)
        w.bits(b < static_cast<int>(msUsed.size()) ? static_cast<uint32_t>(msUsed[b]) : 0u, 1);
    putIcs(w, l, true);
    putIcs(w, r, true);
}

// Fill element with one extension payload: type, nibble, then count-1 bytes
// cycling through `bytes`.
inline void putFill(BitWriter &w, int count, uint32_t type = 0, uint32_t nibble = 0,
                    const std::vector<uint8_t> &bytes = {0}) {
    put(w, {{6, 3}, {std::min(count, 15), 4}, {count - 14, count >= 15 ? 8 : 0}});
    if (count == 0) return;
    put(w, {{type, 4}, {nibble, 4}});
    for (int i = 1; i < count; ++i) w.bits(bytes[static_cast<size_t>(i - 1) % bytes.size()], 8);
}

inline std::vector<uint8_t> finish(BitWriter &w) {  // appends the end element
    w.bits(7, 3);
    return w.bytes();
}

// Loud elements: each channel has content of its own in bands 8 to 11 (pair)
// or 4 to 11 (single channel or LFE).
inline void putLoudPair(BitWriter &w, int seed) {
    Chan l(12), r(12);
    for (int b = 8; b < 12; ++b) {
        l.spectral(b, 170, seed + b);
        r.spectral(b, 165, seed + 2 * b);
    }
    putPair(w, l, r, 0);
}
inline void putLoudSce(BitWriter &w, int seed, uint32_t id = 0) {
    Chan c(12);
    for (int b = 4; b < 12; ++b) c.spectral(b, 168, seed + b);
    putSce(w, c, id);
}

// Decodes one block with a sentinel-filled PCM buffer.
inline int32_t decode(aacdtest::Host &h, const std::vector<uint8_t> &block, bool lost = false) {
    h.cfg.frame_lost = lost ? 1 : 0;
    std::fill(h.pcm.begin(), h.pcm.end(), kSentinel);
    return h.decode(block);
}

inline std::vector<int32_t> frameOf(const aacdtest::Host &h) {
    return std::vector<int32_t>(h.pcm.begin(), h.pcm.begin() + 1024 * h.out.num_channels);
}
// Channel k of the interleaved output of the last call.
inline std::vector<int32_t> channelOf(const aacdtest::Host &h, uint32_t k) {
    std::vector<int32_t> v;
    for (uint32_t n = 0; n < 1024; ++n) v.push_back(h.pcm[n * h.out.num_channels + k]);
    return v;
}
inline int32_t peak(const std::vector<int32_t> &v) {
    int32_t m = 0;
    for (int32_t x : v) m = std::max(m, x < 0 ? -x : x);
    return m;
}

// The host's records of SBR hand-off mode.
struct SbrRecords {
    AacdSbrPayload payload{}, swap{}, previous{};
    std::vector<int32_t> core = std::vector<int32_t>(6 * 2048, 0);
    AacdSbrLink link(aacdtest::Host &h) {
        return AacdSbrLink{h.cfg.state, &payload, core.data(), &swap, &previous};
    }
    void attach(aacdtest::Host &h) {
        h.cfg.sbr = link(h);
        h.cfg.sbr_mode = 1;
    }
};

}  // namespace
