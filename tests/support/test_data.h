// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// The test data in tests/data: its files, the stream manifest streams.tsv,
// the reference decodings NAME.ref24 that make_streams.sh writes (and the
// comparison of an output with one), and the frames of its ADTS streams.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "formats.h"

namespace aacdtest {

// The bytes of a file; a relative name is taken from tests/data.
inline std::vector<uint8_t> readData(const std::string &name) {
    std::ifstream in(name[0] == '/' ? name : std::string(AACD_TEST_DATA_DIR) + "/" + name, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// One line of streams.tsv: file, rate, channels, comma-separated flags.
struct StreamEntry {
    std::string file;
    uint32_t rate = 0;
    int channels = 0;
    std::string flags;
    bool has(const std::string &f) const { return ("," + flags + ",").find("," + f + ",") != std::string::npos; }
};

inline std::vector<StreamEntry> readManifest() {
    std::vector<StreamEntry> v;
    std::ifstream in(std::string(AACD_TEST_DATA_DIR) + "/streams.tsv");
    std::string line;
    for (StreamEntry e; std::getline(in, line);) {
        if (!line.empty() && line[0] != '#' && std::istringstream(line) >> e.file >> e.rate >> e.channels >> e.flags)
            v.push_back(e);
    }
    return v;
}

// The little-endian number of n bytes at p.
inline uint64_t le(const uint8_t *p, int n) {
    uint64_t v = 0;
    for (int i = n - 1; i >= 0; --i) v = v << 8 | p[i];
    return v;
}

// A reference decoding: interleaved 24-bit little-endian samples (x 2^23).
inline std::vector<int32_t> readRef24(const std::string &name) {
    const std::vector<uint8_t> raw = readData(name);
    std::vector<int32_t> v(raw.size() / 3);
    for (size_t i = 0; i < v.size(); ++i) v[i] = static_cast<int32_t>(le(&raw[3 * i], 3) << 8) >> 8;
    return v;
}

// Largest and RMS difference of samples of `bits` bits from the reference
// decoding (x 2^23) on their scale, the reference clamped like the output.
inline std::pair<double, double> compareSamples(const std::vector<int32_t> &got, const std::vector<int32_t> &ref,
                                                int bits) {
    const double scale = bits == 16 ? 1.0 / 256 : 1.0, hi = bits == 16 ? 32767 : 8388607;
    double maxAbs = 0, sum = 0;
    for (size_t i = 0; i < got.size(); ++i) {
        const double e = got[i] - std::clamp(ref[i] * scale, -hi - 1, hi);
        maxAbs = std::max(maxAbs, std::fabs(e));
        sum += e * e;
    }
    return {maxAbs, std::sqrt(sum / static_cast<double>(std::max<size_t>(got.size(), 1)))};
}

// The frames of an ADTS stream, whole or from their raw data block on (one
// block a frame), and their headers if asked.
inline std::vector<std::vector<uint8_t>> adtsFrames(const std::string &name, bool raw,
                                                    std::vector<aacd_fmt::AdtsHeader> *headers = nullptr) {
    const std::vector<uint8_t> s = readData(name);
    std::vector<std::vector<uint8_t>> out;
    aacd_fmt::AdtsHeader h;
    for (size_t at = 0; at < s.size() && aacd_fmt::parse_adts_header(&s[at], s.size() - at, &h); at += h.frame_length) {
        const auto from = s.begin() + static_cast<long>(at + (raw ? aacd_fmt::adts_first_block_offset(h) : 0));
        out.emplace_back(from, s.begin() + static_cast<long>(std::min(s.size(), at + static_cast<size_t>(h.frame_length))));
        if (headers) headers->push_back(h);
    }
    return out;
}

}  // namespace aacdtest
