// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// The aacddec element in a GstHarness: output caps from codec_data (stereo,
// 5.1, a PCE inside the AudioSpecificConfig), refusals at negotiation,
// timestamps and drain at EOS, flush, a gap concealed with plc, and an ADTS
// stream whose format changes.  Decoded samples are compared with the
// pipelines in gst_pipelines.py; here the framing around them is checked.
#include <gst/check/gstharness.h>
#include <gst/gst.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "formats.h"
#include "test_data.h"

namespace {

using Bytes = std::vector<uint8_t>;

using aacdtest::readData;

// Whole ADTS frames, or their raw data blocks.
std::vector<Bytes> adts_frames(const std::string &name, bool raw) {
    const Bytes s = readData(name);
    std::vector<Bytes> out;
    aacd_fmt::AdtsHeader h;
    for (size_t off = 0; off < s.size() && aacd_fmt::parse_adts_header(&s[off], s.size() - off, &h);
         off += h.frame_length) {
        out.emplace_back(s.begin() + off + (raw ? aacd_fmt::adts_first_block_offset(h) : 0),
                         s.begin() + off + h.frame_length);
    }
    return out;
}

// Plugins are scanned in this process: a sanitized plugin loads only into a
// sanitized process, not into GStreamer's scanner helper.  (ctest's
// environment for the discovered tests carries only GST_PLUGIN_PATH.)
static void init_gst() {
    g_setenv("GST_REGISTRY_FORK", "no", TRUE);
    gst_init(nullptr, nullptr);
}

struct Harness {
    GstHarness *h;
    GstBus *bus; // the element's messages
    GstCaps *caps = nullptr;
    explicit Harness(const char *caps, const char *downstream = "audio/x-raw, format=S16LE") {
        init_gst();
        h = gst_harness_new("aacddec");
        bus = gst_bus_new();
        gst_element_set_bus(h->element, bus);
        gst_harness_set_sink_caps_str(h, downstream);
        if (caps) gst_harness_set_src_caps_str(h, caps);
    }
    ~Harness() {
        if (caps) gst_caps_unref(caps);
        gst_element_set_bus(h->element, nullptr);
        gst_object_unref(bus);
        gst_harness_teardown(h);
    }

    // Pushes frame i with timestamp i frames (of `rate` Hz) and its duration.
    GstFlowReturn push(const Bytes &f, int i, int rate) {
        GstBuffer *b = gst_buffer_new_memdup(f.data(), f.size());
        GST_BUFFER_PTS(b) = gst_util_uint64_scale_int(i * 1024, GST_SECOND, rate);
        GST_BUFFER_DURATION(b) = gst_util_uint64_scale_int(1024, GST_SECOND, rate);
        return gst_harness_push(h, b);
    }
    int push_all(const std::vector<Bytes> &frames, int rate, int first = 0) {
        for (size_t i = 0; i < frames.size(); ++i) {
            EXPECT_EQ(push(frames[i], first + static_cast<int>(i), rate), GST_FLOW_OK);
        }
        return static_cast<int>(frames.size());
    }
    // Output buffers pulled so far, with their sizes and timestamps.
    std::vector<std::pair<gsize, GstClockTime>> pull_all() {
        std::vector<std::pair<gsize, GstClockTime>> got;
        while (GstBuffer *b = gst_harness_try_pull(h)) {
            got.emplace_back(gst_buffer_get_size(b), GST_BUFFER_PTS(b));
            gst_buffer_unref(b);
        }
        return got;
    }
    // The caps of the output so far.
    GstStructure *out_caps() {
        if (caps) gst_caps_unref(caps);
        caps = gst_pad_get_current_caps(h->sinkpad);
        return caps ? gst_caps_get_structure(caps, 0) : nullptr;
    }
};

std::string raw_caps(const char *codec_data, int rate) {
    return "audio/mpeg, mpegversion=4, stream-format=raw, framed=true, rate=" + std::to_string(rate) +
           ", channels=2, codec_data=(buffer)" + codec_data;
}

TEST(AacdDec, CapsFromCodecDataTimestampsAndDrain) {
    struct Case {
        const char *stream, *codec_data, *format;
        int rate, channels;
        guint64 mask;
        int bytes;
    };
    const Case cases[] = {
        {"r44100_stereo_sweep.aac", "1210", "S16LE", 44100, 2, 0x3, 2},
        {"ch51_multi.aac", "11b0", "S24_32LE", 48000, 6, 0x3f, 4},
        // The quad stream's program configuration, as ffmpeg put it in the
        // AudioSpecificConfig of its LATM encapsulation (channels=2 in the
        // caps must not be believed).
        {"pce_quad.aac", "118004c4040021100d4c61766335392e33372e313030", "S16LE", 48000, 4, 0x33, 2},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.stream);
        Harness t(raw_caps(c.codec_data, c.rate).c_str(),
                  (std::string("audio/x-raw, format=") + c.format).c_str());
        const int n = t.push_all(adts_frames(c.stream, true), c.rate);
        ASSERT_TRUE(gst_harness_push_event(t.h, gst_event_new_eos()));
        const auto got = t.pull_all();
        ASSERT_EQ(static_cast<int>(got.size()), n); // one frame per block, the last by the drain
        for (int i = 0; i < n; ++i) {
            EXPECT_EQ(got[i].first, static_cast<gsize>(1024 * c.channels * c.bytes));
            EXPECT_EQ(got[i].second, gst_util_uint64_scale_int(i * 1024, GST_SECOND, c.rate));
        }
        GstStructure *s = t.out_caps();
        ASSERT_NE(s, nullptr);
        int rate = 0, channels = 0;
        guint64 mask = 0;
        EXPECT_TRUE(gst_structure_get_int(s, "rate", &rate) && rate == c.rate);
        EXPECT_TRUE(gst_structure_get_int(s, "channels", &channels) && channels == c.channels);
        EXPECT_STREQ(gst_structure_get_string(s, "format"), c.format);
        EXPECT_TRUE(gst_structure_get(s, "channel-mask", GST_TYPE_BITMASK, &mask, NULL));
        EXPECT_EQ(mask, c.mask);
    }
}

// All output bytes of a harness after EOS, and whether the timestamps ran on
// without a gap (to the nanosecond: a subframe's time is its frame's plus
// its rounded offset).
Bytes output_after_eos(Harness &t, int rate, bool *continuous, int first = 0) {
    EXPECT_TRUE(gst_harness_push_event(t.h, gst_event_new_eos()));
    Bytes all;
    *continuous = true;
    while (GstBuffer *b = gst_harness_try_pull(t.h)) {
        GstMapInfo m;
        gst_buffer_map(b, &m, GST_MAP_READ);
        const GstClockTime want = gst_util_uint64_scale_int(first * 1024 + all.size() / 4, GST_SECOND, rate);
        *continuous &= GST_BUFFER_PTS(b) + 1 >= want && GST_BUFFER_PTS(b) <= want + 1;
        all.insert(all.end(), m.data, m.data + m.size);
        gst_buffer_unmap(b, &m);
        gst_buffer_unref(b);
    }
    return all;
}

TEST(AacdDec, AdtsFramesOfTwoBlocks) {
    // The stereo stream's blocks two by two in unprotected ADTS frames: the
    // element finds the second block where the decoder ended the first.
    const auto blocks = adts_frames("r44100_stereo_sweep.aac", true);
    std::vector<Bytes> frames;
    for (size_t i = 0; i + 1 < blocks.size(); i += 2) {
        const size_t len = 7 + blocks[i].size() + blocks[i + 1].size();
        Bytes f = {0xFF, 0xF1, 0x50, static_cast<uint8_t>(0x80 | (len >> 11)), static_cast<uint8_t>(len >> 3),
                   static_cast<uint8_t>((len & 7) << 5 | 0x1F), 0xFD};
        f.insert(f.end(), blocks[i].begin(), blocks[i].end());
        f.insert(f.end(), blocks[i + 1].begin(), blocks[i + 1].end());
        frames.push_back(f);
    }
    Harness adts("audio/mpeg, mpegversion=4, stream-format=adts, framed=true, rate=44100, channels=2");
    for (size_t i = 0; i < frames.size(); ++i) ASSERT_EQ(adts.push(frames[i], 2 * static_cast<int>(i), 44100), GST_FLOW_OK);
    Harness raw(raw_caps("1210", 44100).c_str());
    raw.push_all(std::vector<Bytes>(blocks.begin(), blocks.begin() + 2 * frames.size()), 44100);
    bool adts_continuous, raw_continuous;
    const Bytes want = output_after_eos(raw, 44100, &raw_continuous);
    EXPECT_EQ(want.size(), frames.size() * 2 * 4096);
    EXPECT_TRUE(output_after_eos(adts, 44100, &adts_continuous) == want);
    EXPECT_TRUE(adts_continuous && raw_continuous);
}

TEST(AacdDec, LoasWithProgramConfiguration) {
    // The quad stream as LOAS frames (its PCE in the in-band configuration,
    // sent with the first frame only) decodes as its ADTS original.
    const Bytes latm = readData("pce_quad.latm");
    std::vector<Bytes> frames;
    size_t len = 0;
    for (size_t off = 0; off + 3 <= latm.size() && aacd_fmt::parse_loas_header(&latm[off], 3, &len); off += 3 + len) {
        frames.emplace_back(latm.begin() + off, latm.begin() + std::min(latm.size(), off + 3 + len));
    }
    Harness loas("audio/mpeg, mpegversion=4, stream-format=loas, framed=true, rate=48000, channels=4");
    Harness adts("audio/mpeg, mpegversion=4, stream-format=adts, framed=true, rate=48000, channels=4");
    EXPECT_EQ(loas.push_all(frames, 48000), adts.push_all(adts_frames("pce_quad.aac", false), 48000));
    bool c1, c2;
    const Bytes want = output_after_eos(adts, 48000, &c1);
    EXPECT_EQ(want.size(), frames.size() * 1024 * 4 * 2);
    EXPECT_TRUE(output_after_eos(loas, 48000, &c2) == want);
}

TEST(AacdDec, RefusesOtherObjectTypesAtNegotiation) {
    // Main, SBR (type 5), PS (type 29), 960-sample frames, no codec_data.
    for (const char *codec_data : {"0a10", "2b120880", "eb120880", "1214", ""}) {
        SCOPED_TRACE(codec_data);
        init_gst();
        GstHarness *h = gst_harness_new("aacddec");
        std::string caps = raw_caps(codec_data, 44100);
        if (!*codec_data) caps = caps.substr(0, caps.find(", codec_data"));
        GstCaps *c = gst_caps_from_string(caps.c_str());
        EXPECT_FALSE(gst_pad_peer_query_accept_caps(h->srcpad, c));
        gst_caps_unref(c);
        gst_harness_set_src_caps_str(h, caps.c_str());
        GstBuffer *b = gst_buffer_new_memdup("\x21\x00", 2);
        EXPECT_EQ(gst_harness_push(h, b), GST_FLOW_NOT_NEGOTIATED);
        gst_harness_teardown(h);
    }
}

// Messages of a type the element posted, each with its text.
std::vector<std::string> messages(GstBus *bus, GstMessageType type) {
    std::vector<std::string> texts;
    while (GstMessage *m = gst_bus_pop(bus)) {
        if (GST_MESSAGE_TYPE(m) == type) {
            GError *e = nullptr;
            gchar *debug = nullptr;
            type == GST_MESSAGE_ERROR ? gst_message_parse_error(m, &e, &debug)
                                      : gst_message_parse_warning(m, &e, &debug);
            texts.push_back(e->message);
            g_error_free(e);
            g_free(debug);
        }
        gst_message_unref(m);
    }
    return texts;
}

TEST(AacdDec, ImplicitSbrWarnsOnce) {
    // A silent mono block (one single channel element without bands)
    // followed by a fill element with an SBR extension payload.
    const Bytes block = {0x00, 0xc8, 0x00, 0x06, 0x2d, 0x0a, 0xae};
    Harness t(raw_caps("1208", 44100).c_str());
    EXPECT_EQ(t.push_all(std::vector<Bytes>(4, block), 44100), 4);
    EXPECT_EQ(t.pull_all().size(), 3u);
    const auto warnings = messages(t.bus, GST_MESSAGE_WARNING);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("SBR"), std::string::npos);
}

TEST(AacdDec, ErrorsConcealedOrFatal) {
    // A damaged block mid-stream is concealed: every frame comes out; with
    // max-errors 0 the damage stops the stream after the audio before it.
    auto blocks = adts_frames("r44100_stereo_sweep.aac", true);
    for (size_t i = 3; i < blocks[5].size(); ++i) blocks[5][i] ^= 0x55;
    for (int max_errors : {-1, 0}) {
        Harness t(raw_caps("1210", 44100).c_str());
        g_object_set(t.h->element, "max-errors", max_errors, NULL);
        bool continuous;
        if (max_errors < 0) {
            t.push_all(blocks, 44100);
            EXPECT_EQ(output_after_eos(t, 44100, &continuous).size(), blocks.size() * 4096);
            EXPECT_TRUE(continuous);
        } else {
            t.push_all(std::vector<Bytes>(blocks.begin(), blocks.begin() + 5), 44100);
            EXPECT_EQ(t.push(blocks[5], 5, 44100), GST_FLOW_ERROR);
            EXPECT_EQ(gst_harness_buffers_received(t.h), 5u);
            EXPECT_EQ(messages(t.bus, GST_MESSAGE_ERROR).size(), 1u);
        }
    }
    // A stream whose program configuration has a side channel: an error
    // naming it, before any audio.
    Harness t("audio/mpeg, mpegversion=4, stream-format=adts, framed=true, rate=48000, channels=6");
    const auto frames = adts_frames("pce_51.aac", false);
    EXPECT_EQ(t.push(frames[0], 0, 48000), GST_FLOW_OK);
    EXPECT_EQ(t.push(frames[1], 1, 48000), GST_FLOW_ERROR);
    EXPECT_EQ(gst_harness_buffers_received(t.h), 0u);
    const auto errors = messages(t.bus, GST_MESSAGE_ERROR);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find("program configuration"), std::string::npos) << errors[0];
}

TEST(AacdDec, FlushRestartsFromSilence) {
    const auto blocks = adts_frames("r44100_stereo_sweep.aac", true);
    const std::vector<Bytes> tail(blocks.begin() + 5, blocks.end());
    Harness fresh(raw_caps("1210", 44100).c_str()), t(raw_caps("1210", 44100).c_str());
    fresh.push_all(tail, 44100, 5);
    t.push_all(std::vector<Bytes>(blocks.begin(), blocks.begin() + 5), 44100);
    t.pull_all();
    ASSERT_TRUE(gst_harness_push_event(t.h, gst_event_new_flush_start()));
    ASSERT_TRUE(gst_harness_push_event(t.h, gst_event_new_flush_stop(TRUE)));
    gst_harness_set_src_caps_str(t.h, raw_caps("1210", 44100).c_str());
    t.push_all(tail, 44100, 5);
    // After the flush the output is that of a decoder started at block 5, in time.
    bool c1, c2;
    const Bytes want = output_after_eos(fresh, 44100, &c1, 5);
    EXPECT_EQ(want.size(), tail.size() * 4096);
    EXPECT_TRUE(output_after_eos(t, 44100, &c2, 5) == want);
    EXPECT_TRUE(c1 && c2);
}

TEST(AacdDec, GapConcealedWithPlc) {
    const auto blocks = adts_frames("r44100_stereo_sweep.aac", true);
    Harness t(raw_caps("1210", 44100).c_str());
    g_object_set(t.h->element, "plc", TRUE, NULL);
    const GstClockTime at = gst_util_uint64_scale_int(4 * 1024, GST_SECOND, 44100);
    t.push_all(std::vector<Bytes>(blocks.begin(), blocks.begin() + 4), 44100);
    // Frames 4 to 6 are missing.
    ASSERT_TRUE(gst_harness_push_event(
        t.h, gst_event_new_gap(at, gst_util_uint64_scale_int(7 * 1024, GST_SECOND, 44100) - at)));
    t.push_all(std::vector<Bytes>(blocks.begin() + 7, blocks.end()), 44100, 7);
    ASSERT_TRUE(gst_harness_push_event(t.h, gst_event_new_eos()));
    const auto got = t.pull_all();
    // Whatever the buffers, the output is continuous: one frame per block,
    // missing or not, each at its place in time.
    gsize bytes = 0;
    for (const auto &g : got) {
        EXPECT_EQ(g.second, gst_util_uint64_scale_int(bytes / 4, GST_SECOND, 44100));
        bytes += g.first;
    }
    EXPECT_EQ(bytes, blocks.size() * 4096);
}

TEST(AacdDec, FormatChangeRenegotiates) {
    // Mono 22.05 kHz then stereo 44.1 kHz as one ADTS stream: one frame
    // behind the input, every buffer under the caps of the format its frame
    // was coded in (the last mono frame stays mono).
    std::vector<Bytes> frames = adts_frames("r22050_mono_sweep.aac", false);
    const size_t mono = frames.size();
    for (Bytes &f : adts_frames("r44100_stereo_sweep.aac", false)) frames.push_back(f);
    Harness t("audio/mpeg, mpegversion=4, stream-format=adts, framed=true, rate=22050, channels=1");
    size_t out = 0;
    for (size_t i = 0; i <= frames.size(); ++i) {
        ASSERT_TRUE(i < frames.size() ? t.push(frames[i], static_cast<int>(i), 44100) == GST_FLOW_OK
                                      : gst_harness_push_event(t.h, gst_event_new_eos()));
        for (; GstBuffer *b = gst_harness_try_pull(t.h); gst_buffer_unref(b), ++out) {
            int channels = 0, rate = 0;
            GstStructure *s = t.out_caps();
            ASSERT_TRUE(s && gst_structure_get_int(s, "channels", &channels) &&
                        gst_structure_get_int(s, "rate", &rate));
            EXPECT_EQ(channels, out < mono ? 1 : 2) << out;
            EXPECT_EQ(rate, channels == 1 ? 22050 : 44100);
            EXPECT_EQ(gst_buffer_get_size(b), static_cast<gsize>(2048 * channels));
        }
        EXPECT_EQ(out, i);
    }
}

} // namespace
