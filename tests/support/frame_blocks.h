// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// Raw data blocks for the frame driver tests, built element by element on
// the test-side channel encoder, and the host side of a decoding call.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <numeric>
#include <tuple>
#include <vector>

#include "host.h"
#include "channel_encoder.h"

namespace {

constexpr int kHostSri = 4;                // 44.1 kHz, the test host's sampling index
constexpr int32_t kSentinel = 0x7EADBEEF;  // outside every output range

inline int bandWidth(int b) { return armACAAC_swbOffsetLongWindow[kHostSri][b + 1] - armACAAC_swbOffsetLongWindow[kHostSri][b]; }

// One channel at 44.1 kHz, one section per band: codebook, the band's scale
// factor (noise energy for codebook 13, intensity position for 14 and 15)
// and the quantised values of spectral bands.  Short windows form one group
// of eight and carry no spectral bands.  tnsBands >= 0 adds one long-window
// TNS filter of order 0 over that many bands; pulseAmp >= 0 one pulse of
// that amplitude on the first coefficient.
struct Chan {
    int gain = 150, tnsBands = -1, shape = 0, pulseAmp = -1;
    bool shortWindows = false;
    std::vector<int> cb, sf;
    std::vector<std::vector<int32_t>> q;
    explicit Chan(int maxSfb, bool isShort = false) : shortWindows(isShort), cb(maxSfb, 0), sf(maxSfb, 0), q(maxSfb) {}
    int maxSfb() const { return static_cast<int>(cb.size()); }
    Chan &band(int b, int codebook, int scale) { std::tie(cb[b], sf[b]) = std::make_tuple(codebook, scale); return *this; }
    Chan &spectral(int b, int scale, int seed, int codebook = 5) {  // codebook 5: a fixed pattern, others zeros
        q[b].clear();
        for (int k = 0; k < bandWidth(b); ++k) q[b].push_back(codebook == 5 ? (k * 5 + seed) % 9 - 4 : 0);
        return band(b, codebook, scale);
    }
};

inline Channel layoutOf(const Chan &c) {
    Channel ch;
    std::tie(ch.sri, ch.shortWindows, ch.maxSfb, ch.numSect[0], ch.groupLen[0]) = std::make_tuple(kHostSri, c.shortWindows, c.maxSfb(), c.maxSfb(), c.shortWindows ? 8 : 1);
    for (int b = 0; b < c.maxSfb(); ++b) ch.sectCb.push_back(uint8_t(c.cb[b])), ch.sectEnd.push_back(uint8_t(b + 1));
    return ch;
}

// individual_channel_stream(): gain, stream info unless the pair shares it,
// sections, scale factors, pulse and TNS data as asked, no gain control,
// spectral data.
inline void putIcs(BitWriter &w, const Chan &c, bool common) {
    w.bits(static_cast<uint32_t>(c.gain), 8);
    if (!common) writeIcsInfo(w, layoutOf(c), c.shape);
    writeSections(w, layoutOf(c));
    int last[3] = {c.gain, c.gain - 90, 0}, noiseBands = 0;  // scale factor, noise energy, intensity position
    for (int b = 0; b < c.maxSfb(); ++b) {
        const int k = c.cb[b] == 13 ? 1 : c.cb[b] >= 14 ? 2 : 0, d = c.sf[b] - last[k];
        if (c.cb[b] == 0) continue;
        (k == 1 && noiseBands++ == 0) ? w.bits(static_cast<uint32_t>(d + 256), 9) : w.code(0, d + 60);
        last[k] = c.sf[b];
    }
    const bool pulse = c.pulseAmp >= 0, tns = c.tnsBands >= 0;  // one pulse at 0; n_filt 1, coef_res 0, order 0
    put(w, {{pulse, 1}, {0, pulse ? 13 : 0}, {c.pulseAmp, pulse ? 4 : 0}, {tns, 1}, {2, tns ? 3 : 0}, {tns ? c.tnsBands << 5 : 0, tns ? 11 : 0}, {0, 1}});
    for (int b = 0; b < c.maxSfb(); ++b)
        for (int k = 0; c.cb[b] > 0 && c.cb[b] < 12 && k < bandWidth(b); k += c.cb[b] <= 4 ? 4 : 2) writeTuple(w, c.cb[b], &c.q[b][k]);
}

// Single channel (id 0) or LFE (id 3) element.
inline void putSce(BitWriter &w, const Chan &c, uint32_t id = 0, uint32_t tag = 0) { put(w, {{id, 3}, {tag, 4}}), putIcs(w, c, false); }

// Channel pair with common window (ms_mask_present msMask; msUsed: bit b is
// the flag of band b for mask 1) or, for msMask < 0, without.
inline void putPair(BitWriter &w, const Chan &l, const Chan &r, int msMask, uint64_t msUsed = 0, uint32_t tag = 0) {
    put(w, {{1, 3}, {tag, 4}, {msMask >= 0, 1}});
    if (msMask >= 0) writeIcsInfo(w, layoutOf(l), l.shape), w.bits(static_cast<uint32_t>(msMask), 2);
    for (int b = 0; msMask == 1 && b < l.maxSfb(); ++b) w.bits(uint32_t(msUsed >> b & 1), 1);
    putIcs(w, l, msMask >= 0), putIcs(w, r, msMask >= 0);
}

// Fill element with one extension payload: type, nibble, then count-1 bytes
// cycling through `bytes`.
inline void putFill(BitWriter &w, int count, uint32_t type = 0, uint32_t nibble = 0, const std::vector<uint8_t> &bytes = {0}) {
    put(w, {{6, 3}, {std::min(count, 15), 4}, {count - 14, count >= 15 ? 8 : 0}, {type, count ? 4 : 0}, {nibble, count ? 4 : 0}});
    for (int i = 1; i < count; ++i) w.bits(bytes[static_cast<size_t>(i - 1) % bytes.size()], 8);
}

inline std::vector<uint8_t> finish(BitWriter &w) { return w.bits(7, 3), w.bytes(); }  // appends the end element

// Loud elements: each channel has content of its own in bands 8 to 11 (pair)
// or 4 to 11 (single channel or LFE).
inline void putLoudPair(BitWriter &w, int seed) {
    Chan l(12), r(12);
    for (int b = 8; b < 12; ++b) l.spectral(b, 170, seed + b), r.spectral(b, 165, seed + 2 * b);
    putPair(w, l, r, 0);
}
inline void putLoudSce(BitWriter &w, int seed, uint32_t id = 0) {
    Chan c(12);
    for (int b = 4; b < 12; ++b) c.spectral(b, 168, seed + b);
    putSce(w, c, id);
}

// Decodes one block with a sentinel-filled PCM buffer; the whole output, one
// channel of it, and its largest magnitude.
inline int32_t decode(aacdtest::Host &h, const std::vector<uint8_t> &block, bool lost = false) {
    return std::fill(h.pcm.begin(), h.pcm.end(), kSentinel), h.cfg.frame_lost = lost ? 1 : 0, h.decode(block);
}
inline std::vector<int32_t> frameOf(const aacdtest::Host &h) { return std::vector<int32_t>(h.pcm.begin(), h.pcm.begin() + 1024 * h.out.num_channels); }
inline std::vector<int32_t> channelOf(const aacdtest::Host &h, uint32_t k) { std::vector<int32_t> v(1024); for (uint32_t n = 0; n < 1024; ++n) v[n] = h.pcm[n * h.out.num_channels + k]; return v; }
inline int32_t peak(const std::vector<int32_t> &v) { return std::accumulate(v.begin(), v.end(), 0, [](int32_t m, int32_t x) { return std::max(m, std::abs(x)); }); }

// The host's records of SBR hand-off mode.
struct SbrRecords {
    AacdSbrPayload payload{}, swap{}, previous{};
    std::vector<int32_t> core = std::vector<int32_t>(6 * 2048, 0);
    AacdSbrLink link(aacdtest::Host &h) { return AacdSbrLink{h.cfg.state, &payload, core.data(), &swap, &previous}; }
    void attach(aacdtest::Host &h) { h.cfg.sbr = link(h), h.cfg.sbr_mode = 1; }
};

}  // namespace
