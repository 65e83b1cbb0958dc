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
    int code;
    std::string err;
};

// Runs "aacd-decode ARGS" through the shell (ARGS may hold redirections;
// "ARGS <|FILE [| FILTER]" pipes FILE, through FILTER if given, into the program).
Result run(const std::string &args) {
    const std::string log = kOut + "/stderr-" + std::to_string(getpid()) + ".txt";
    const size_t pipe = args.find("<|");
    const std::string cmd = pipe == std::string::npos
                                ? std::string(AACD_CLI) + " " + args
                                : "cat " + args.substr(pipe + 2) + " | " + AACD_CLI + " " + args.substr(0, pipe);
    const int st = std::system((cmd + " 2>" + log).c_str());
    const std::vector<uint8_t> e = readData(log);
    return {WIFEXITED(st) ? WEXITSTATUS(st) : -1, std::string(e.begin(), e.end())};
}

// A written file: its name in kOut, the reference decoding of the same
// audio, and the format and length (samples per channel) it must have; a
// mask of 0 stands for a plain PCM header.
struct Expect {
    std::string file, ref;
    uint32_t rate;
    int channels;
    uint32_t mask;
    size_t frames;
};

// The header (the format chunk first, the data chunk last, sizes that agree
// with the file's length), then the samples against the reference on their
// own scale (the bounds are those of 16 bits).
void check_output(const Expect &e, const std::string &what) {
    const std::vector<uint8_t> f = readData(kOut + "/" + e.file);
    const auto le = [&f](size_t at, int n) { return static_cast<uint32_t>(aacdtest::le(&f[at], n)); };
    const auto id = [&f](size_t at) { return std::string(f.begin() + at, f.begin() + at + 4); };
    ASSERT_TRUE(f.size() >= 44 && id(0) == "RIFF" && le(4, 4) == f.size() - 8 && id(12) == "fmt ") << what;
    const size_t data = 20 + le(16, 4) + 8, n = e.frames * e.channels;
    ASSERT_TRUE(data <= f.size() && id(data - 8) == "data" && le(data - 4, 4) == f.size() - data) << what;
    EXPECT_EQ(le(24, 4), e.rate) << what;
    ASSERT_EQ(static_cast<int>(le(22, 2)), e.channels) << what;
    EXPECT_EQ(le(16, 4) >= 40 ? le(40, 4) : 0, e.mask) << what;
    const int b = static_cast<int>(le(34, 2)) / 8;
    ASSERT_EQ(f.size() - data, n * b) << what << ": length";
    const std::vector<int32_t> ref = aacdtest::readRef24(e.ref);
    ASSERT_GE(ref.size(), n) << what;
    std::vector<int32_t> got(n);
    for (size_t i = 0; i < n; ++i) got[i] = static_cast<int32_t>(le(data + b * i, b) << (32 - 8 * b)) >> (32 - 8 * b);
    const auto [worst, rms] = aacdtest::compareSamples(got, ref, 8 * b);
    EXPECT_TRUE(worst <= (b == 3 ? 256 : 1) && rms <= (b == 3 ? 256 : 1) * 0.30) << what << ": " << worst << " " << rms;
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
        // Other layouts of the index (make_variants.py): stz2, co64 and two chunk runs, with an edit list
        // longer than the media and an iTunSMPB tag it overrides; the tag alone; an edit of 13185.9 samples.
        {"IN/gapless_co64.m4a OUT/co64.wav", {{"co64.wav", "gapless_m4a.ref24", 44100, 2, 0, 13230}}},
        {"IN/gapless_smpb.m4a OUT/smpb.wav", {{"smpb.wav", "gapless_m4a.ref24", 44100, 2, 0, 13230}}},
        {"IN/gapless_299ms.m4a OUT/299.wav", {{"299.wav", "gapless_m4a.ref24", 44100, 2, 0, 13186}}},
        {"--bits 24 IN/ch51_multi.m4a OUT/ch51.wav", {{"ch51.wav", "ch51_multi.ref24", 48000, 6, 0x3F, 13312}}},
        // The speakers of every channel configuration, in WAV order.
        {"IN/ch30_multi.aac OUT/ch30.wav", {{"ch30.wav", "ch30_multi.ref24", 48000, 3, 0x7, 13312}}},
        {"IN/ch40_multi.aac OUT/ch40.wav", {{"ch40.wav", "ch40_multi.ref24", 48000, 4, 0x107, 13312}}},
        {"IN/ch50_multi.aac OUT/ch50.wav", {{"ch50.wav", "ch50_multi.ref24", 44100, 5, 0x37, 12288}}},
        {"- OUT/ch51p.wav <|IN/ch51_multi.m4a", {{"ch51p.wav", "ch51_multi.ref24", 48000, 6, 0x3F, 13312}}},
        {"- OUT/frag.wav <|IN/frag.mp4", {{"frag.wav", "frag_mp4.ref24", 48000, 2, 0, 20480}}},
        {"IN/ch51_multi.latm - >OUT/latm.wav", {{"latm.wav", "ch51_multi.ref24", 48000, 6, 0x3F, 13312}}},
        // Through a pipe the header states the sizes up front.
        {"IN/ch51_multi.latm - | cat >OUT/latmp.wav", {{"latmp.wav", "ch51_multi.ref24", 48000, 6, 0x3F, 13312}}},
        {"- - >OUT/quad.wav <|IN/pce_quad.latm", {{"quad.wav", "pce_quad.ref24", 48000, 4, 0x33, 13312}}},
        // LATM version 1: two blocks an element, other data, CRC, the configuration in every third one.
        {"IN/pce_quad_v1.latm OUT/quad1.wav", {{"quad1.wav", "pce_quad.ref24", 48000, 4, 0x33, 13312}}},
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
        EXPECT_TRUE(c.out.size() == 1 || r.err.find("continuing in " + kOut + "/two-2.wav") != std::string::npos) << r.err;
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
        {"- OUT/x.wav <|IN/gapless_co64.m4a | head -c 200", 1, "MP4 index (moov box) cut short", "frames"},
        {"IN/not_aac.m4a OUT/x.wav", 1, "object type indication 0x6B, not AAC", "frames"},
        {"IN/gapless_cut.m4a OUT/x.wav", 0, "12 frames decoded, 0 concealed; file cut short: 2 frames of its index", ""},
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
    EXPECT_FALSE(std::ifstream(kOut + "/refused.wav").good()) << "a refused stream leaves no file";
    EXPECT_EQ(readData(kOut + "/damaged.wav").size(), 44 + 66 * 1024 * 4u);
    // Standard output got the first format complete before the change.
    EXPECT_EQ(readData(kOut + "/stdout.wav").size(), 44 + 8192 * 2u);
}

}  // namespace
