// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
//
// aacd-decode end to end: the program runs on the test streams (MP4 with its
// index before or after the media, fragmented MP4, LATM, ADTS and their
// concatenation with a format change, from files and pipes), and every WAV
// file it writes is compared with the reference decoding of the same audio
// (NAME.ref24, see make_streams.sh): same length, format and channel mask,
// samples within 1 LSB and an RMS of 0.30 LSB at 16 bits.  Then the exit
// codes and messages of refused input and failed output.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "test_data.h"

namespace {

using aacdtest::readData;

const std::string kData = AACD_TEST_DATA_DIR, kOut = AACD_TEST_OUT;

struct Result {
    int code = -1;
    std::string err;
};

// Runs "aacd-decode ARGS" through the shell (ARGS may hold redirections;
// "ARGS <|FILE" pipes FILE into the program).
Result run(const std::string &args) {
    mkdir(kOut.c_str(), 0777);
    const std::string log = kOut + "/stderr-" + std::to_string(getpid()) + ".txt";
    const size_t pipe = args.find("<|");
    const std::string cmd = pipe == std::string::npos
                                ? std::string(AACD_CLI) + " " + args
                                : "cat " + args.substr(pipe + 2) + " | " + AACD_CLI + " " + args.substr(0, pipe);
    const int st = std::system((cmd + " 2>" + log).c_str());
    Result r;
    r.code = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    const std::vector<uint8_t> e = readData(log);
    r.err.assign(e.begin(), e.end());
    return r;
}

struct Wav {
    uint32_t rate = 0, mask = 0;
    int channels = 0, bits = 0;
    std::vector<double> samples; // on the 16-bit scale
};

uint32_t le(const uint8_t *p, int n) {
    uint32_t v = 0;
    for (int i = n - 1; i >= 0; --i) v = (v << 8) | p[i];
    return v;
}

// A WAV file whose header sizes agree with its length.
bool read_wav(const std::string &path, Wav *w) {
    const std::vector<uint8_t> f = readData(path);
    if (f.size() < 44 || std::string(f.begin(), f.begin() + 4) != "RIFF" || le(&f[4], 4) != f.size() - 8) return false;
    size_t at = 12, data = 0, bytes = 0;
    while (at + 8 <= f.size()) {
        const std::string id(f.begin() + at, f.begin() + at + 4);
        const size_t n = le(&f[at + 4], 4);
        if (id == "fmt ") {
            w->channels = static_cast<int>(le(&f[at + 10], 2));
            w->rate = le(&f[at + 12], 4);
            w->bits = static_cast<int>(le(&f[at + 22], 2));
            if (n >= 40) w->mask = le(&f[at + 28], 4);
        } else if (id == "data") {
            data = at + 8, bytes = n;
        }
        at += 8 + n;
    }
    if (data == 0 || data + bytes != f.size() || w->bits == 0) return false;
    const int b = w->bits / 8;
    for (size_t i = data; i + b <= f.size(); i += b) {
        const uint32_t u = le(&f[i], b) << (32 - 8 * b);
        w->samples.push_back((static_cast<int32_t>(u) >> (32 - 8 * b)) / (b == 3 ? 256.0 : 1.0));
    }
    return true;
}

// The reference decoding, on the 16-bit scale.
std::vector<double> reference(const std::string &name) {
    std::vector<double> v;
    for (int32_t x : aacdtest::readRef24(name)) v.push_back(std::clamp(x / 256.0, -32768.0, 32767.0));
    return v;
}

struct Expect {
    std::string file;   // written file, in kOut
    std::string ref;    // reference decoding
    uint32_t rate;
    int channels;
    uint32_t mask;      // 0: plain PCM header
    size_t frames;      // samples per channel
};

void check_output(const Expect &e, const std::string &what) {
    Wav w;
    ASSERT_TRUE(read_wav(kOut + "/" + e.file, &w)) << what << ": " << e.file;
    EXPECT_EQ(w.rate, e.rate) << what;
    ASSERT_EQ(w.channels, e.channels) << what;
    EXPECT_EQ(w.mask, e.mask) << what;
    ASSERT_EQ(w.samples.size(), e.frames * e.channels) << what << ": length";
    const std::vector<double> ref = reference(e.ref);
    ASSERT_GE(ref.size(), w.samples.size()) << what;
    double worst = 0, sum = 0;
    for (size_t i = 0; i < w.samples.size(); ++i) {
        const double d = w.samples[i] - ref[i];
        worst = std::max(worst, std::fabs(d));
        sum += d * d;
    }
    EXPECT_LE(worst, 1.0) << what;
    EXPECT_LE(std::sqrt(sum / w.samples.size()), 0.30) << what;
}

// IN and OUT in a command stand for the data and the output folders.
std::string expand(std::string cmd) {
    for (const auto &[from, to] : {std::pair<std::string, std::string>{"IN", kData}, {"OUT", kOut}})
        for (size_t at; (at = cmd.find(from)) != std::string::npos;) cmd.replace(at, from.size(), to);
    return cmd;
}

TEST(Cli, DecodesEveryContainerLikeTheReference) {
    // Two streams of different formats, one after the other.
    mkdir(kOut.c_str(), 0777);
    ASSERT_EQ(std::system(expand("cat IN/r22050_mono_sweep.aac IN/r48000_stereo_clicks.aac >OUT/two.aac").c_str()), 0);
    const struct {
        std::string cmd;
        std::vector<Expect> out;
    } cases[] = {
        // Edit list: the priming and the padding go (0.3 s = 13230 samples).
        {"IN/gapless.m4a OUT/gapless.wav", {{"gapless.wav", "gapless_m4a.ref24", 44100, 2, 0, 13230}}},
        {"--bits 24 IN/ch51_multi.m4a OUT/ch51.wav", {{"ch51.wav", "ch51_multi.ref24", 48000, 6, 0x3F, 13312}}},
        {"- OUT/ch51p.wav <|IN/ch51_multi.m4a", {{"ch51p.wav", "ch51_multi.ref24", 48000, 6, 0x3F, 13312}}},
        {"- OUT/frag.wav <|IN/frag.mp4", {{"frag.wav", "frag_mp4.ref24", 48000, 2, 0, 20480}}},
        {"IN/ch51_multi.latm - >OUT/latm.wav", {{"latm.wav", "ch51_multi.ref24", 48000, 6, 0x3F, 13312}}},
        // Through a pipe the header states the sizes up front.
        {"IN/ch51_multi.latm - | cat >OUT/latmp.wav", {{"latmp.wav", "ch51_multi.ref24", 48000, 6, 0x3F, 13312}}},
        {"- - >OUT/quad.wav <|IN/pce_quad.latm", {{"quad.wav", "pce_quad.ref24", 48000, 4, 0x33, 13312}}},
        // A format change: one file per format, each decoded as if alone.
        {"OUT/two.aac OUT/two.wav",
         {{"two.wav", "r22050_mono_sweep.ref24", 22050, 1, 0, 8192},
          {"two-2.wav", "r48000_stereo_clicks.ref24", 48000, 2, 0, 16384}}},
    };
    for (const auto &c : cases) {
        for (const Expect &e : c.out) std::remove((kOut + "/" + e.file).c_str());
        const Result r = run(expand(c.cmd));
        EXPECT_EQ(r.code, 0) << c.cmd << "\n" << r.err;
        for (const Expect &e : c.out) check_output(e, c.cmd);
        if (c.out.size() > 1) {
            EXPECT_NE(r.err.find("continuing in " + kOut + "/two-2.wav"), std::string::npos) << r.err;
        }
    }
}

// A damaged ADTS header (frame_length 0) in frame 10 of the sample.
void write_damaged_sample() {
    std::vector<uint8_t> s = readData("sample.aac");
    size_t at = 0;
    for (int k = 0; k < 10; ++k) at += (s[at + 3] & 3) << 11 | s[at + 4] << 3 | s[at + 5] >> 5;
    s[at + 3] &= 0xFC, s[at + 4] = 0, s[at + 5] &= 0x1F;
    std::ofstream(kOut + "/damaged.aac", std::ios::binary).write(reinterpret_cast<const char *>(s.data()), s.size());
}

TEST(Cli, ExitCodesAndMessages) {
    mkdir(kOut.c_str(), 0777);
    write_damaged_sample();
    // Files this test checks are written afresh (or must not appear).
    for (const char *f : {"refused.wav", "damaged.wav", "stdout.wav"}) std::remove((kOut + "/" + f).c_str());
    const struct {
        std::string cmd;
        int code;
        std::string says, never;
    } cases[] = {
        {"", 2, "3  output error", ""},
        {"--bits 20 IN/sample.aac OUT/x.wav", 2, "--bits takes 16 or 24", ""},
        {"IN/missing.aac OUT/x.wav", 1, "cannot open", "frames"},
        {"IN/pce_51.aac OUT/refused.wav", 1, "program configuration with side channel elements is not supported", "frames"},
        {"- OUT/x.wav <|IN/gapless.m4a", 1, "the index (moov box) comes after the media data", "frames"},
        {"- - >OUT/stdout.wav <|IN/r22050_mono_sweep.aac IN/r48000_stereo_clicks.aac", 1, "standard output holds one format only", ""},
        {"IN/sample.aac /dev/full", 3, "error writing /dev/full: No space left on device", ""},
        {"IN/sample.aac - >&-", 3, "error writing standard output: Bad file descriptor", ""},
        // The block of the damaged header is concealed: 66 frames as in the sample.
        {"OUT/damaged.aac OUT/damaged.wav", 0, "66 frames decoded, 1 concealed (1 lost in the container", ""},
        {"--info IN/gapless.m4a", 0, "encoder delay:  1024 samples, padding 82 samples (edit list)", "frames decoded"},
        {"--info IN/ch51_multi.latm", 0, "channels:       6 (FL FR FC LFE BL BR)", "frames decoded"},
    };
    for (const auto &c : cases) {
        const Result r = run(expand(c.cmd));
        EXPECT_EQ(r.code, c.code) << c.cmd << "\n" << r.err;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << c.cmd << "\n" << r.err;
        EXPECT_TRUE(c.never.empty() || r.err.find(c.never) == std::string::npos) << c.cmd << "\n" << r.err;
    }
    struct stat st {};
    EXPECT_NE(stat((kOut + "/refused.wav").c_str(), &st), 0) << "a refused stream leaves no file";
    ASSERT_EQ(stat((kOut + "/damaged.wav").c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 44 + 66 * 1024 * 4);
    // Standard output got the first format complete before the change.
    ASSERT_EQ(stat((kOut + "/stdout.wav").c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 44 + 8192 * 2);
}

}  // namespace
