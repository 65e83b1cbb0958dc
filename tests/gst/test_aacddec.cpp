// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// The aacddec element in a GstHarness: output caps from codec_data (stereo,
// 5.1, a PCE inside the AudioSpecificConfig), timestamps and drain at EOS,
// ADTS frames of two blocks and LOAS input, refusals at negotiation, the
// implicit-SBR warning, damage and gaps concealed or fatal, flush, and an
// ADTS stream whose format changes.  Decoded samples are compared with the
// pipelines in gst_pipelines.py; here the framing around them is checked.
#include <gst/check/gstharness.h>
#include <gst/gst.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include "formats.h"
#include "test_data.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Frames = std::vector<Bytes>;
using aacdtest::adtsFrames;

Frames slice(const Frames &f, size_t from, size_t to) { return Frames(f.begin() + from, f.begin() + to); }

std::string caps(const char *format, int rate, int channels, const char *codec_data = "") {
    const std::string s = "audio/mpeg, mpegversion=4, stream-format=" + std::string(format) +
                          ", framed=true, rate=" + std::to_string(rate) + ", channels=" + std::to_string(channels);
    return *codec_data ? s + ", codec_data=(buffer)" + codec_data : s;
}
const std::string kStereo = caps("raw", 44100, 2, "1210");  // r44100_stereo_sweep.aac's blocks

// The output pulled: its bytes and buffers, and whether every buffer's time
// follows from the samples before it (to the nanosecond: a subframe's time
// is its frame's plus its rounded offset).
struct Output {
    Bytes bytes;
    size_t buffers = 0;
    bool continuous = true;
};

struct Harness {
    GstHarness *h;
    GstBus *bus;  // the element's messages
    explicit Harness(const std::string &in_caps, const std::string &out_format = "S16LE") {
        // Plugins are scanned in this process: a sanitized plugin loads only
        // into a sanitized process, not into GStreamer's scanner helper.
        g_setenv("GST_REGISTRY_FORK", "no", TRUE);
        gst_init(nullptr, nullptr);
        h = gst_harness_new("aacddec");
        bus = gst_bus_new();
        gst_element_set_bus(h->element, bus);
        gst_harness_set_sink_caps_str(h, ("audio/x-raw, format=" + out_format).c_str());
        if (!in_caps.empty()) gst_harness_set_src_caps_str(h, in_caps.c_str());
    }
    ~Harness() {
        gst_element_set_bus(h->element, nullptr);
        gst_object_unref(bus);
        gst_harness_teardown(h);
    }
    // Pushes frame i with timestamp i frames (of `rate` Hz) and its duration.
    GstFlowReturn push(const Bytes &f, int i, int rate = 44100) {
        GstBuffer *b = gst_buffer_new_memdup(f.data(), f.size());
        GST_BUFFER_PTS(b) = gst_util_uint64_scale_int(i * 1024, GST_SECOND, rate);
        GST_BUFFER_DURATION(b) = gst_util_uint64_scale_int(1024, GST_SECOND, rate);
        return gst_harness_push(h, b);
    }
    void push_all(const Frames &frames, int rate = 44100, int first = 0) {
        for (size_t i = 0; i < frames.size(); ++i) EXPECT_EQ(push(frames[i], first + int(i), rate), GST_FLOW_OK);
    }
    bool eos() { return gst_harness_push_event(h, gst_event_new_eos()); }
    // The output so far (frame_bytes bytes per sample frame), its time
    // counted from frame `first`.
    Output pull(int rate = 44100, int first = 0, int frame_bytes = 4) {
        Output o;
        for (; GstBuffer *b = gst_harness_try_pull(h); ++o.buffers) {
            GstMapInfo m;
            gst_buffer_map(b, &m, GST_MAP_READ);
            const GstClockTime want =
                gst_util_uint64_scale_int(first * 1024 + o.bytes.size() / frame_bytes, GST_SECOND, rate);
            o.continuous &= GST_BUFFER_PTS(b) + 1 >= want && GST_BUFFER_PTS(b) <= want + 1;
            o.bytes.insert(o.bytes.end(), m.data, m.data + m.size);
            gst_buffer_unmap(b, &m);
            gst_buffer_unref(b);
        }
        return o;
    }
    // Rate, channels, format and channel mask of the output caps.
    std::tuple<int, int, std::string, guint64> out_caps() {
        std::tuple<int, int, std::string, guint64> c{0, 0, "", 0};
        GstCaps *caps = gst_pad_get_current_caps(h->sinkpad);
        if (!caps) return c;
        const GstStructure *s = gst_caps_get_structure(caps, 0);
        gst_structure_get_int(s, "rate", &std::get<0>(c));
        gst_structure_get_int(s, "channels", &std::get<1>(c));
        if (const char *format = gst_structure_get_string(s, "format")) std::get<2>(c) = format;
        gst_structure_get(s, "channel-mask", GST_TYPE_BITMASK, &std::get<3>(c), NULL);
        gst_caps_unref(caps);
        return c;
    }
    // The texts of the messages of one type the element posted.
    std::vector<std::string> messages(GstMessageType type) {
        std::vector<std::string> texts;
        while (GstMessage *m = gst_bus_pop_filtered(bus, type)) {
            GError *e = nullptr;
            (type == GST_MESSAGE_ERROR ? gst_message_parse_error : gst_message_parse_warning)(m, &e, nullptr);
            texts.push_back(e->message);
            g_error_free(e);
            gst_message_unref(m);
        }
        return texts;
    }
};

// Drains both harnesses: the same continuous output of `frames` frames.
void expect_same_output(Harness &got, Harness &want, size_t frames, int rate, int channels, int first = 0) {
    ASSERT_TRUE(got.eos() && want.eos());
    const Output g = got.pull(rate, first, 2 * channels), w = want.pull(rate, first, 2 * channels);
    EXPECT_EQ(w.bytes.size(), frames * 1024 * 2 * channels);
    EXPECT_TRUE(g.bytes == w.bytes && g.continuous && w.continuous);
}

TEST(AacdDec, CapsFromCodecDataTimestampsAndDrain) {
    struct Case {
        const char *stream, *codec_data, *format;
        int rate, channels, bytes;  // bytes per sample
        guint64 mask;
    };
    const Case cases[] = {
        {"r44100_stereo_sweep.aac", "1210", "S16LE", 44100, 2, 2, 0x3},
        {"ch51_multi.aac", "11b0", "S24_32LE", 48000, 6, 4, 0x3f},
        // The quad stream's program configuration, as ffmpeg put it in the
        // AudioSpecificConfig of its LATM encapsulation (channels=2 in the
        // caps must not be believed).
        {"pce_quad.aac", "118004c4040021100d4c61766335392e33372e313030", "S16LE", 48000, 4, 2, 0x33},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.stream);
        Harness t(caps("raw", c.rate, 2, c.codec_data), c.format);
        const Frames blocks = adtsFrames(c.stream, true);
        t.push_all(blocks, c.rate);
        ASSERT_TRUE(t.eos());
        // One frame a buffer, one per block, the last by the drain, each at its time.
        const Output o = t.pull(c.rate, 0, c.channels * c.bytes);
        EXPECT_EQ(std::make_tuple(o.buffers, o.bytes.size(), o.continuous),
                  std::make_tuple(blocks.size(), blocks.size() * 1024 * c.channels * c.bytes, true));
        EXPECT_EQ(t.out_caps(), std::make_tuple(c.rate, c.channels, std::string(c.format), c.mask));
    }
}

TEST(AacdDec, AdtsFramesOfTwoBlocksAndLoasDecodeAsTheirBlocks) {
    // The stereo stream's blocks two by two in unprotected ADTS frames: the
    // element finds the second block where the decoder ended the first.
    const Frames blocks = adtsFrames("r44100_stereo_sweep.aac", true);
    Harness adts(caps("adts", 44100, 2)), raw(kStereo);
    for (size_t i = 0; i + 1 < blocks.size(); i += 2) {
        const size_t len = 7 + blocks[i].size() + blocks[i + 1].size();
        Bytes f = {0xFF, 0xF1, 0x50, static_cast<uint8_t>(0x80 | (len >> 11)), static_cast<uint8_t>(len >> 3),
                   static_cast<uint8_t>((len & 7) << 5 | 0x1F), 0xFD};
        for (const Bytes &b : {blocks[i], blocks[i + 1]}) f.insert(f.end(), b.begin(), b.end());
        ASSERT_EQ(adts.push(f, static_cast<int>(i)), GST_FLOW_OK);
    }
    raw.push_all(slice(blocks, 0, blocks.size() & ~size_t{1}));
    expect_same_output(adts, raw, blocks.size() & ~size_t{1}, 44100, 2);

    // The quad stream as LOAS frames (its PCE in the in-band configuration,
    // sent with the first frame only) decodes as its ADTS original.
    const Bytes latm = aacdtest::readData("pce_quad.latm");
    Harness loas(caps("loas", 48000, 4)), original(caps("adts", 48000, 4));
    Frames frames;
    size_t len = 0;
    for (size_t at = 0; at + 3 <= latm.size() && aacd_fmt::parse_loas_header(&latm[at], 3, &len); at += 3 + len)
        frames.emplace_back(latm.begin() + at, latm.begin() + std::min(latm.size(), at + 3 + len));
    loas.push_all(frames, 48000);
    original.push_all(adtsFrames("pce_quad.aac", false), 48000);
    expect_same_output(loas, original, frames.size(), 48000, 4);
}

TEST(AacdDec, RefusesOtherObjectTypesAtNegotiation) {
    // Main, SBR (type 5), PS (type 29), 960-sample frames, no codec_data.
    for (const char *codec_data : {"0a10", "2b120880", "eb120880", "1214", ""}) {
        SCOPED_TRACE(codec_data);
        Harness t("");
        GstCaps *c = gst_caps_from_string(caps("raw", 44100, 2, codec_data).c_str());
        EXPECT_FALSE(gst_pad_peer_query_accept_caps(t.h->srcpad, c));
        gst_caps_unref(c);
        gst_harness_set_src_caps_str(t.h, caps("raw", 44100, 2, codec_data).c_str());
        EXPECT_EQ(t.push({0x21, 0x00}, 0), GST_FLOW_NOT_NEGOTIATED);
    }
}

TEST(AacdDec, ImplicitSbrWarnsOnce) {
    // A silent mono block (one single channel element without bands)
    // followed by a fill element with an SBR extension payload.
    Harness t(caps("raw", 44100, 2, "1208"));
    t.push_all(Frames(4, {0x00, 0xc8, 0x00, 0x06, 0x2d, 0x0a, 0xae}));
    EXPECT_EQ(t.pull().buffers, 3u);
    const std::string warning = "The stream carries SBR data (HE-AAC): only the AAC core is decoded, "
                                "at half the output sampling rate";
    EXPECT_EQ(t.messages(GST_MESSAGE_WARNING), std::vector<std::string>{warning});
}

TEST(AacdDec, DamageAndGapsConcealedOrFatal) {
    // By default a damaged block is concealed, and with plc a GAP event
    // (frames 2 to 4 missing) too: the output stays continuous, one frame per
    // block, missing or not.  With max-errors 0 the damage stops the stream
    // after the audio before it.
    Frames blocks = adtsFrames("r44100_stereo_sweep.aac", true);
    for (size_t i = 3; i < blocks[6].size(); ++i) blocks[6][i] ^= 0x55;
    Harness t(kStereo), strict(kStereo);
    g_object_set(t.h->element, "plc", TRUE, NULL);
    t.push_all(slice(blocks, 0, 2));
    const GstClockTime from = gst_util_uint64_scale_int(2 * 1024, GST_SECOND, 44100);
    const GstClockTime to = gst_util_uint64_scale_int(5 * 1024, GST_SECOND, 44100);
    ASSERT_TRUE(gst_harness_push_event(t.h, gst_event_new_gap(from, to - from)));
    t.push_all(slice(blocks, 5, blocks.size()), 44100, 5);
    ASSERT_TRUE(t.eos());
    const Output o = t.pull();
    EXPECT_EQ(o.bytes.size(), blocks.size() * 4096);
    EXPECT_TRUE(o.continuous);
    g_object_set(strict.h->element, "max-errors", 0, NULL);
    strict.push_all(slice(blocks, 0, 6));
    EXPECT_EQ(strict.push(blocks[6], 6), GST_FLOW_ERROR);
    EXPECT_EQ(gst_harness_buffers_received(strict.h), 6u);
    EXPECT_EQ(strict.messages(GST_MESSAGE_ERROR).size(), 1u);

    // A stream whose program configuration has a side channel: an error
    // naming it, before any audio.
    Harness side(caps("adts", 48000, 6));
    const Frames frames = adtsFrames("pce_51.aac", false);
    EXPECT_EQ(side.push(frames[0], 0, 48000), GST_FLOW_OK);
    EXPECT_EQ(side.push(frames[1], 1, 48000), GST_FLOW_ERROR);
    EXPECT_EQ(gst_harness_buffers_received(side.h), 0u);
    const std::string error = "the stream's program configuration is not supported";
    EXPECT_EQ(side.messages(GST_MESSAGE_ERROR), std::vector<std::string>{error});
}

TEST(AacdDec, FlushRestartsFromSilence) {
    const Frames blocks = adtsFrames("r44100_stereo_sweep.aac", true), tail = slice(blocks, 5, blocks.size());
    Harness fresh(kStereo), t(kStereo);
    fresh.push_all(tail, 44100, 5);
    t.push_all(slice(blocks, 0, 5));
    t.pull();
    ASSERT_TRUE(gst_harness_push_event(t.h, gst_event_new_flush_start()));
    ASSERT_TRUE(gst_harness_push_event(t.h, gst_event_new_flush_stop(TRUE)));
    gst_harness_set_src_caps_str(t.h, kStereo.c_str());
    t.push_all(tail, 44100, 5);
    // After the flush the output is that of a decoder started at block 5, in time.
    expect_same_output(t, fresh, tail.size(), 44100, 2, 5);
}

TEST(AacdDec, FormatChangeRenegotiates) {
    // Mono 22.05 kHz then stereo 44.1 kHz as one ADTS stream: one frame
    // behind the input, every buffer under the caps of the format its frame
    // was coded in (the last mono frame stays mono).
    Frames frames = adtsFrames("r22050_mono_sweep.aac", false);
    const size_t mono = frames.size();
    for (Bytes &f : adtsFrames("r44100_stereo_sweep.aac", false)) frames.push_back(f);
    Harness t(caps("adts", 22050, 1));
    size_t out = 0;
    for (size_t i = 0; i <= frames.size(); ++i) {
        ASSERT_TRUE(i < frames.size() ? t.push(frames[i], static_cast<int>(i)) == GST_FLOW_OK : t.eos());
        for (; GstBuffer *b = gst_harness_try_pull(t.h); gst_buffer_unref(b), ++out) {
            const auto [rate, channels, format, mask] = t.out_caps();
            const auto want = out < mono ? std::make_tuple(22050, 1, gsize{2048}) : std::make_tuple(44100, 2, gsize{4096});
            EXPECT_EQ(std::make_tuple(rate, channels, gst_buffer_get_size(b)), want) << out;
        }
        EXPECT_EQ(out, i);
    }
}

}  // namespace
