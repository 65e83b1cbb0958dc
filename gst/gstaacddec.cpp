// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
/*
 * aacddec - GStreamer element decoding MPEG-2/MPEG-4 AAC Low Complexity with
 * libaacd.
 *
 * Input: audio/mpeg (mpegversion 2 or 4) as raw data blocks with the
 * AudioSpecificConfig in codec_data (MP4, RTP, MPEG-TS through a parser),
 * whole ADTS frames, or LOAS frames whose AudioMuxElement carries the
 * configuration in band.  What the decoder cannot decode (other object
 * types, explicitly signalled SBR/PS, 960-sample frames, more than six
 * channels) is refused when the caps arrive, so that decodebin picks another
 * decoder.  The channels field of upstream caps is not used: the output
 * layout is what the decoder reports for each frame.
 *
 * Timing.  The decoder delivers each frame one call after its block.  Every
 * input buffer stays pending in the base class until the audio of its first
 * block has been pushed, and that audio is pushed as the first subframe of
 * the buffer, so it carries the buffer's timestamp; further frames belonging
 * to the same buffer (more blocks of one ADTS or LATM frame, concealed
 * frames of a gap) follow it as subframes.  At drain (EOS, discontinuity)
 * one call with frame_lost flushes the held frame.  A flush re-initialises
 * the instance with silent overlap buffers.
 *
 * Losses.  With the base class's plc property, a GAP event (as RTP
 * depayloaders send for lost packets) becomes one frame_lost call per
 * missing frame: the library conceals them, and their audio follows the
 * frame before the gap as subframes of the gap.  A block whose ADTS or LATM
 * framing is unusable is concealed the same way.  A buffer flagged DISCONT
 * makes the base class drain the decoder, which then starts afresh.
 *
 * Output: S16LE or S24_32LE (the library's 24-bit layout), whichever
 * downstream prefers, interleaved in GStreamer channel order.  The decoder
 * runs in SBR hand-off mode, which writes each channel slot to a buffer of
 * its own (the same samples as the interleaved output) and reports SBR
 * extension payloads: a stream with implicit SBR posts one warning.
 */
#include <gst/audio/audio.h>
#include <gst/audio/gstaudiodecoder.h>
#include <gst/gst.h>

#include <algorithm>
#include <cstring>

#include "aacd.h"
#include "formats.h"

GST_DEBUG_CATEGORY_STATIC(aacddec_debug);
#define GST_CAT_DEFAULT aacddec_debug

namespace {

constexpr int kFrame = 1024;
constexpr int kMaxGapFrames = 64;

enum class Input { kRaw, kAdts, kLoas };

struct GstAacdDec {
    GstAudioDecoder parent;

    Input input;
    aacd_fmt::AudioSpecificConfig asc; // raw: from codec_data; LOAS: in band
    aacd_fmt::LatmConfig latm;
    AacdBlockParams params;
    int adts_index, adts_config; // last ADTS header's parameters

    AacdDecoderConfig cfg;
    void *mem[5];
    bool initialised;
    int bits; // 16 or 24
    int32_t *core; // 6 slots of 2048 words (SBR hand-off output)
    AacdSbrPayload sbr[3];

    bool held;        // the decoder holds a block whose audio is not out
    bool owner_prev;  // the held block belongs to the pending buffer before
                      // the one being handled
    bool output_seen; // some audio has been pushed since the caps
    int32_t first_error; // first failure status before any audio
    bool sbr_warned;
    uint32_t out_rate, out_slots; // negotiated output
    int out_map[6];               // output channel k <- slot out_map[k]
    int out_channels;
    uint8_t latm_payload[8192];
};

struct GstAacdDecClass {
    GstAudioDecoderClass parent_class;
};

G_DEFINE_TYPE(GstAacdDec, gst_aacd_dec, GST_TYPE_AUDIO_DECODER)

#define RATES "(int){ 8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000, 64000, 88200, 96000 }"

GstStaticPadTemplate sink_template = GST_STATIC_PAD_TEMPLATE(
    "sink", GST_PAD_SINK, GST_PAD_ALWAYS,
    GST_STATIC_CAPS("audio/mpeg, mpegversion = (int) { 2, 4 }, "
                    "stream-format = (string) { raw, adts, loas }, framed = (boolean) true, rate = " RATES));

GstStaticPadTemplate src_template = GST_STATIC_PAD_TEMPLATE(
    "src", GST_PAD_SRC, GST_PAD_ALWAYS,
    GST_STATIC_CAPS("audio/x-raw, format = (string) { S16LE, S24_32LE }, layout = (string) interleaved, "
                    "rate = " RATES ", channels = (int) [ 1, 6 ]"));

GstAacdDec *self_of(GstAudioDecoder *dec) { return reinterpret_cast<GstAacdDec *>(dec); }

// ------------------------------------------------------------------ instance

void free_instance(GstAacdDec *self) {
    for (void *&m : self->mem) {
        g_free(m);
        m = nullptr;
    }
    g_free(self->core);
    self->core = nullptr;
    self->initialised = false;
}

// Output bit depth downstream prefers: the first of S16LE and S24_32LE that
// its caps list.
int preferred_bits(GstAudioDecoder *dec) {
    int bits = 16;
    GstCaps *caps = gst_pad_peer_query_caps(GST_AUDIO_DECODER_SRC_PAD(dec), nullptr);
    if (caps == nullptr) return bits;
    for (guint i = 0; i < gst_caps_get_size(caps) && bits == 16; ++i) {
        const GValue *v = gst_structure_get_value(gst_caps_get_structure(caps, i), "format");
        if (v == nullptr) continue;
        const guint n = GST_VALUE_HOLDS_LIST(v) ? gst_value_list_get_size(v) : 1;
        for (guint k = 0; k < n; ++k) {
            const GValue *e = GST_VALUE_HOLDS_LIST(v) ? gst_value_list_get_value(v, k) : v;
            if (!G_VALUE_HOLDS_STRING(e)) continue;
            const char *f = g_value_get_string(e);
            if (std::strcmp(f, "S16LE") == 0) break;
            if (std::strcmp(f, "S24_32LE") == 0) {
                bits = 24;
                break;
            }
        }
        if (n > 0) break;
    }
    gst_caps_unref(caps);
    return bits;
}

// (Re)starts the decoder from silence.
bool init_instance(GstAacdDec *self) {
    if (self->mem[0] == nullptr) {
        AacdDecoderConfig probe{};
        if (aacd_query_dec_mem(&probe) != AACD_OK) return false;
        for (int k = 0; k < 5; ++k) self->mem[k] = g_malloc0(probe.mem_info.blocks[k].size);
        self->core = static_cast<int32_t *>(g_malloc0(6 * 2048 * sizeof(int32_t)));
    }
    AacdDecoderConfig &c = self->cfg;
    c = AacdDecoderConfig{};
    if (aacd_query_dec_mem(&c) != AACD_OK) return false;
    for (int k = 0; k < 5; ++k) {
        std::memset(self->mem[k], 0, c.mem_info.blocks[k].size);
        c.mem_info.blocks[k].base = self->mem[k];
    }
    c.output_bits = static_cast<uint8_t>(self->bits);
    if (aacd_decoder_init(&c) != AACD_OK) return false;
    c.block_params = &self->params;
    c.check_frame_length = 1;
    std::memset(self->sbr, 0, sizeof self->sbr);
    c.sbr.state = c.state;
    c.sbr.payload = &self->sbr[0];
    c.sbr.swap = &self->sbr[1];
    c.sbr.previous = &self->sbr[2];
    c.sbr.core_output = self->core;
    c.sbr_mode = 1;
    self->held = false;
    self->initialised = true;
    return true;
}

// ------------------------------------------------------------------ output

// GStreamer position of a channel slot (0 centre, 1/2 front pair, 3/4 back
// pair, 5 LFE); a lone back channel is the rear centre.
GstAudioChannelPosition slot_position(int slot, uint32_t slots) {
    switch (slot) {
    case 0: return GST_AUDIO_CHANNEL_POSITION_FRONT_CENTER;
    case 1: return GST_AUDIO_CHANNEL_POSITION_FRONT_LEFT;
    case 2: return GST_AUDIO_CHANNEL_POSITION_FRONT_RIGHT;
    case 3: return (slots & 0x10) ? GST_AUDIO_CHANNEL_POSITION_REAR_LEFT : GST_AUDIO_CHANNEL_POSITION_REAR_CENTER;
    case 4: return GST_AUDIO_CHANNEL_POSITION_REAR_RIGHT;
    default: return GST_AUDIO_CHANNEL_POSITION_LFE1;
    }
}

uint32_t present_slots(const AacdDecoderConfig &c) {
    uint32_t slots = 0;
    for (int s = 0; s < 6; ++s) {
        if (c.channel_refs[s][0] != nullptr && *c.channel_refs[s][0] != 0) slots |= 1u << s;
    }
    return slots;
}

// Sets the output caps for a frame of these slots at this rate.
bool negotiate_output(GstAacdDec *self, uint32_t slots, uint32_t rate) {
    GstAudioChannelPosition pos[6];
    int n = 0;
    for (int s = 0; s < 6; ++s) {
        if (slots & (1u << s)) self->out_map[n++] = s;
    }
    // GStreamer's channel order is that of the position values.
    std::sort(self->out_map, self->out_map + n,
              [&](int a, int b) { return slot_position(a, slots) < slot_position(b, slots); });
    for (int k = 0; k < n; ++k) pos[k] = slot_position(self->out_map[k], slots);
    if (n == 1) pos[0] = GST_AUDIO_CHANNEL_POSITION_MONO;
    GstAudioInfo info;
    gst_audio_info_init(&info);
    gst_audio_info_set_format(&info, self->bits == 24 ? GST_AUDIO_FORMAT_S24_32LE : GST_AUDIO_FORMAT_S16LE,
                              static_cast<gint>(rate), n, pos);
    GstAudioDecoder *dec = GST_AUDIO_DECODER(self);
    if (!gst_audio_decoder_set_output_format(dec, &info) || !gst_audio_decoder_negotiate(dec)) return false;
    const GstClockTime latency = gst_util_uint64_scale_int(kFrame, GST_SECOND, static_cast<gint>(rate));
    gst_audio_decoder_set_latency(dec, latency, latency);
    self->out_slots = slots;
    self->out_rate = rate;
    self->out_channels = n;
    return true;
}

// Pushes the frame the last call delivered, as a subframe of the pending
// input buffer at the head of the base class's queue.
GstFlowReturn push_frame(GstAacdDec *self, const AacdFrameOutput &out) {
    GstAudioDecoder *dec = GST_AUDIO_DECODER(self);
    const uint32_t slots = present_slots(self->cfg);
    if (slots == 0 || out.sampling_rate == 0) return GST_FLOW_OK;
    if ((slots != self->out_slots || out.sampling_rate != self->out_rate) &&
        !negotiate_output(self, slots, out.sampling_rate)) {
        return GST_FLOW_NOT_NEGOTIATED;
    }
    const int n = self->out_channels;
    const size_t bytes = static_cast<size_t>(kFrame) * n * (self->bits == 24 ? 4 : 2);
    GstBuffer *buf = gst_audio_decoder_allocate_output_buffer(dec, bytes);
    GstMapInfo map;
    if (!gst_buffer_map(buf, &map, GST_MAP_WRITE)) {
        gst_buffer_unref(buf);
        return GST_FLOW_ERROR;
    }
    for (int k = 0; k < n; ++k) {
        const int32_t *src = self->core + 2048 * self->out_map[k];
        if (self->bits == 24) {
            auto *dst = reinterpret_cast<int32_t *>(map.data) + k;
            for (int i = 0; i < kFrame; ++i) dst[i * n] = GINT32_TO_LE(src[i]);
        } else {
            auto *dst = reinterpret_cast<int16_t *>(map.data) + k;
            for (int i = 0; i < kFrame; ++i) dst[i * n] = GINT16_TO_LE(static_cast<int16_t>(src[i]));
        }
    }
    gst_buffer_unmap(buf, &map);
    self->output_seen = true;
    return gst_audio_decoder_finish_subframe(dec, buf);
}

const char *status_text(int32_t status) {
    switch (status) {
    case AACD_ERR_ELEMENT: return "a channel element could not be decoded";
    case AACD_ERR_COUPLING: return "coupling channel elements are not supported";
    case AACD_ERR_CONFIG: return "the stream's program configuration is not supported";
    case AACD_ERR_PROG_CONFIG: return "the program configuration does not fit six channels";
    default: return "the decoder failed";
    }
}

// One decoder call on a raw data block (or a lost one); the audio it
// delivers is pushed as a subframe of the pending buffer it belongs to.
// *bits receives the bits the block used (0 when it failed).
GstFlowReturn decode_unit(GstAacdDec *self, const uint8_t *data, int32_t size, bool lost,
                          uint32_t *bits = nullptr) {
    static const uint8_t kNothing[1] = {0};
    AacdDecoderConfig &c = self->cfg;
    if (data == nullptr || size <= 0) {
        data = kNothing;
        size = 0;
        lost = true;
    }
    self->params.frame_bytes = size;
    AacdFrameOutput out{};
    c.frame_lost = lost ? 1u : 0u;
    int32_t status = aacd_decode_frame(&c, &out, self->core, data, size);
    if (status == AACD_ERR_MS_STEREO || status == AACD_ERR_IS_STEREO || status == AACD_ERR_DEINTERLEAVE) {
        // Abandoned without output: conceal the block instead.
        c.frame_lost = 1;
        status = aacd_decode_frame(&c, &out, self->core, data, size);
    }
    if (bits) *bits = status == AACD_OK ? out.bits_consumed : 0;
    if (status != AACD_OK && status != AACD_ERR_ELEMENT && status != AACD_ERR_COUPLING &&
        status != AACD_ERR_CONFIG && status != AACD_ERR_PROG_CONFIG) {
        GST_ELEMENT_ERROR(self, LIBRARY, FAILED, (NULL), ("decoder returned status %d", status));
        return GST_FLOW_ERROR;
    }
    if (c.sbr.payload->entry_count > 0 && !self->sbr_warned) {
        self->sbr_warned = true;
        GST_ELEMENT_WARNING(self, STREAM, DECODE,
                            ("The stream carries SBR data (HE-AAC): only the AAC core is decoded, "
                             "at half the output sampling rate"),
                            (NULL));
    }
    const bool had = self->held;
    self->held = true;
    GstFlowReturn ret = GST_FLOW_OK;
    if (!self->output_seen && self->first_error == AACD_OK) self->first_error = status;
    if (had && out.num_channels == 0 && !self->output_seen && self->first_error != AACD_OK) {
        // Nothing decodable so far: the stream cannot be decoded.
        GST_ELEMENT_ERROR(self, STREAM, DECODE, ("%s", status_text(self->first_error)),
                          ("status %d before any audio", self->first_error));
        return GST_FLOW_ERROR;
    }
    // The first call delivers only the initial silence.
    if (had) ret = push_frame(self, out);
    if (ret == GST_FLOW_OK && status != AACD_OK) {
        // The block is concealed (its audio comes with the next call).
        GST_AUDIO_DECODER_ERROR(self, 1, STREAM, DECODE, ("%s", status_text(status)),
                                ("status %d: frame concealed", status), ret);
    }
    if (had && self->owner_prev) {
        // That was the last block of the buffer before: finish it, so that
        // the next audio starts the current buffer with its timestamp.
        self->owner_prev = false;
        const GstFlowReturn r = gst_audio_decoder_finish_subframe(GST_AUDIO_DECODER(self), nullptr);
        if (ret == GST_FLOW_OK) ret = r;
    }
    return ret;
}

// ------------------------------------------------------------------ input

const char *caps_refusal(GstCaps *caps, Input *input, aacd_fmt::AudioSpecificConfig *asc) {
    GstStructure *s = gst_caps_get_structure(caps, 0);
    const char *format = gst_structure_get_string(s, "stream-format");
    if (format == nullptr || std::strcmp(format, "raw") == 0) {
        *input = Input::kRaw;
        const GValue *v = gst_structure_get_value(s, "codec_data");
        if (v == nullptr || !GST_VALUE_HOLDS_BUFFER(v)) return "raw AAC without codec_data";
        GstMapInfo map;
        GstBuffer *b = gst_value_get_buffer(v);
        if (!gst_buffer_map(b, &map, GST_MAP_READ)) return "unreadable codec_data";
        const char *why = aacd_fmt::parse_audio_specific_config(map.data, map.size, asc);
        gst_buffer_unmap(b, &map);
        if (why == nullptr) why = aacd_fmt::explicit_sbr_reason(*asc);
        return why;
    }
    *input = std::strcmp(format, "adts") == 0 ? Input::kAdts : Input::kLoas;
    return nullptr;
}

gboolean aacd_set_format(GstAudioDecoder *dec, GstCaps *caps) {
    GstAacdDec *self = self_of(dec);
    Input input;
    aacd_fmt::AudioSpecificConfig asc;
    if (const char *why = caps_refusal(caps, &input, &asc)) {
        GST_ELEMENT_ERROR(dec, STREAM, CODEC_NOT_FOUND, ("%s", why), ("caps %" GST_PTR_FORMAT, caps));
        return FALSE;
    }
    self->input = input;
    if (input == Input::kRaw) {
        self->asc = asc;
        aacd_fmt::block_params_from_asc(&self->asc, &self->params);
    }
    ++self->params.config_id;
    self->adts_index = self->adts_config = -1;
    self->latm = aacd_fmt::LatmConfig{};
    self->output_seen = false;
    self->first_error = AACD_OK;
    return TRUE;
}

gboolean aacd_sink_query(GstAudioDecoder *dec, GstQuery *query) {
    if (GST_QUERY_TYPE(query) == GST_QUERY_ACCEPT_CAPS) {
        GstCaps *caps;
        gst_query_parse_accept_caps(query, &caps);
        GstCaps *templ = gst_static_pad_template_get_caps(&sink_template);
        Input input;
        aacd_fmt::AudioSpecificConfig asc;
        const bool ok = gst_caps_is_subset(caps, templ) && caps_refusal(caps, &input, &asc) == nullptr;
        gst_caps_unref(templ);
        gst_query_set_accept_caps_result(query, ok);
        return TRUE;
    }
    return GST_AUDIO_DECODER_CLASS(gst_aacd_dec_parent_class)->sink_query(dec, query);
}

// Refuses a configuration found in band.
GstFlowReturn refuse(GstAacdDec *self, const char *why) {
    GST_ELEMENT_ERROR(self, STREAM, DECODE, ("%s", why), (NULL));
    return GST_FLOW_ERROR;
}

GstFlowReturn handle_adts(GstAacdDec *self, const uint8_t *p, size_t size) {
    aacd_fmt::AdtsHeader h;
    if (!aacd_fmt::parse_adts_header(p, size, &h) || static_cast<size_t>(h.frame_length) > size) {
        return decode_unit(self, nullptr, 0, true);
    }
    if (const char *why = aacd_fmt::adts_unsupported_reason(h)) return refuse(self, why);
    if (h.sampling_index != self->adts_index || h.channel_config != self->adts_config) {
        self->adts_index = h.sampling_index;
        self->adts_config = h.channel_config;
        self->params.num_prog_configs = 0;
        self->params.prog_configs = nullptr;
        self->params.sampling_index = static_cast<uint32_t>(h.sampling_index);
        ++self->params.config_id;
    }
    // The blocks follow each other, each with a CRC word when protected and
    // several; the decoder tells where one ends.
    const size_t crc = h.protection_absent || h.raw_blocks == 1 ? 0 : 2;
    const size_t end = static_cast<size_t>(h.frame_length);
    size_t pos = static_cast<size_t>(aacd_fmt::adts_first_block_offset(h));
    for (int b = 0; b < h.raw_blocks; ++b) {
        const bool usable = pos + crc < end;
        uint32_t bits = 0;
        const GstFlowReturn ret = decode_unit(self, usable ? p + pos : nullptr,
                                              usable ? static_cast<int32_t>(end - pos - crc) : 0, !usable, &bits);
        if (ret != GST_FLOW_OK) return ret;
        pos = bits > 0 ? pos + bits / 8 + crc : end;
    }
    return GST_FLOW_OK;
}

GstFlowReturn handle_loas(GstAacdDec *self, const uint8_t *p, size_t size) {
    size_t len = 0;
    if (aacd_fmt::parse_loas_header(p, size, &len) && len + 3 <= size) {
        p += 3;
        size = len;
    }
    aacd_fmt::LatmPayloads pl;
    const char *why = aacd_fmt::parse_audio_mux_element(p, size, &self->latm, self->latm_payload,
                                                       sizeof self->latm_payload, &pl);
    if (why != nullptr) {
        // Unusable before any configuration or audio: the stream is refused;
        // later, the frame is lost.
        if (!self->latm.valid || !self->output_seen) return refuse(self, why);
        GST_WARNING_OBJECT(self, "LATM frame lost: %s", why);
        return decode_unit(self, nullptr, 0, true);
    }
    if (pl.config_changed) {
        if (const char *sbr = aacd_fmt::explicit_sbr_reason(self->latm.asc)) return refuse(self, sbr);
        self->asc = self->latm.asc;
        aacd_fmt::block_params_from_asc(&self->asc, &self->params);
        ++self->params.config_id;
    }
    for (int i = 0; i < pl.count; ++i) {
        const GstFlowReturn ret = decode_unit(self, self->latm_payload + pl.offset[i],
                                              static_cast<int32_t>(pl.size[i]), false);
        if (ret != GST_FLOW_OK) return ret;
    }
    return GST_FLOW_OK;
}

// A GAP event with the plc property on: one lost frame per missing frame.
GstFlowReturn handle_gap(GstAacdDec *self, GstBuffer *buffer) {
    guint64 frames = 1;
    const GstClockTime d = GST_BUFFER_DURATION(buffer);
    if (GST_CLOCK_TIME_IS_VALID(d) && self->out_rate != 0) {
        frames = gst_util_uint64_scale_round(d, self->out_rate, GST_SECOND * kFrame);
        frames = std::max<guint64>(1, std::min<guint64>(frames, kMaxGapFrames));
    }
    for (guint64 i = 0; i < frames; ++i) {
        const GstFlowReturn ret = decode_unit(self, nullptr, 0, true);
        if (ret != GST_FLOW_OK) return ret;
    }
    return GST_FLOW_OK;
}

GstFlowReturn aacd_handle_frame(GstAudioDecoder *dec, GstBuffer *buffer) {
    GstAacdDec *self = self_of(dec);
    if (!self->initialised) {
        self->bits = preferred_bits(dec);
        if (!init_instance(self)) {
            GST_ELEMENT_ERROR(dec, LIBRARY, INIT, (NULL), ("decoder initialisation failed"));
            return GST_FLOW_ERROR;
        }
    }
    if (buffer == nullptr) {
        // Drain: the held block comes out through one lost call.
        GstFlowReturn ret = GST_FLOW_OK;
        if (self->held) {
            self->owner_prev = true;
            ret = decode_unit(self, nullptr, 0, true);
        }
        init_instance(self);
        return ret;
    }
    self->owner_prev = self->held;
    GstFlowReturn ret;
    GstMapInfo map;
    if (gst_buffer_get_size(buffer) == 0) {
        ret = handle_gap(self, buffer);
    } else if (!gst_buffer_map(buffer, &map, GST_MAP_READ)) {
        ret = decode_unit(self, nullptr, 0, true);
    } else {
        switch (self->input) {
        case Input::kAdts: ret = handle_adts(self, map.data, map.size); break;
        case Input::kLoas: ret = handle_loas(self, map.data, map.size); break;
        default:
            ret = decode_unit(self, map.data, static_cast<int32_t>(std::min<gsize>(map.size, G_MAXINT32)), false);
        }
        gst_buffer_unmap(buffer, &map);
    }
    if (ret == GST_FLOW_OK && !self->held) {
        // Nothing of this buffer is held (the stream was refused before):
        // it produced no audio.
        ret = gst_audio_decoder_finish_frame(dec, nullptr, 1);
    }
    return ret;
}

void aacd_flush(GstAudioDecoder *dec, gboolean hard) {
    (void)hard;
    GstAacdDec *self = self_of(dec);
    if (self->initialised) init_instance(self);
}

gboolean aacd_start(GstAudioDecoder *dec) {
    GstAacdDec *self = self_of(dec);
    self->held = self->owner_prev = self->output_seen = self->sbr_warned = false;
    self->first_error = AACD_OK;
    self->out_rate = self->out_slots = 0;
    self->params = AacdBlockParams{};
    self->adts_index = self->adts_config = -1;
    self->latm = aacd_fmt::LatmConfig{};
    gst_audio_decoder_set_plc_aware(dec, TRUE);
    gst_audio_decoder_set_drainable(dec, TRUE);
    gst_audio_decoder_set_needs_format(dec, TRUE);
    return TRUE;
}

gboolean aacd_stop(GstAudioDecoder *dec) {
    free_instance(self_of(dec));
    return TRUE;
}

void gst_aacd_dec_finalize(GObject *object) {
    free_instance(reinterpret_cast<GstAacdDec *>(object));
    G_OBJECT_CLASS(gst_aacd_dec_parent_class)->finalize(object);
}

static void gst_aacd_dec_class_init(GstAacdDecClass *klass) {
    GstElementClass *element = GST_ELEMENT_CLASS(klass);
    GstAudioDecoderClass *base = GST_AUDIO_DECODER_CLASS(klass);
    G_OBJECT_CLASS(klass)->finalize = gst_aacd_dec_finalize;
    gst_element_class_add_static_pad_template(element, &sink_template);
    gst_element_class_add_static_pad_template(element, &src_template);
    gst_element_class_set_static_metadata(element, "AAC Low Complexity decoder (aacd)", "Codec/Decoder/Audio",
                                          "Decodes MPEG-2/MPEG-4 AAC Low Complexity with libaacd",
                                          "The aacd authors");
    base->start = GST_DEBUG_FUNCPTR(aacd_start);
    base->stop = GST_DEBUG_FUNCPTR(aacd_stop);
    base->set_format = GST_DEBUG_FUNCPTR(aacd_set_format);
    base->handle_frame = GST_DEBUG_FUNCPTR(aacd_handle_frame);
    base->flush = GST_DEBUG_FUNCPTR(aacd_flush);
    base->sink_query = GST_DEBUG_FUNCPTR(aacd_sink_query);
}

static void gst_aacd_dec_init(GstAacdDec *self) {
    GstAudioDecoder *dec = GST_AUDIO_DECODER(self);
    gst_audio_decoder_set_needs_format(dec, TRUE);
    gst_audio_decoder_set_drainable(dec, TRUE);
    gst_audio_decoder_set_plc_aware(dec, TRUE);
    std::memset(self->mem, 0, sizeof self->mem);
    self->core = nullptr;
    self->initialised = false;
    self->bits = 16;
}

static gboolean plugin_init(GstPlugin *plugin) {
    GST_DEBUG_CATEGORY_INIT(aacddec_debug, "aacddec", 0, "AAC Low Complexity decoder (aacd)");
    // Above the primary rank, so that playbin and decodebin prefer it for
    // the streams it accepts; it refuses the others at negotiation.
    return gst_element_register(plugin, "aacddec", GST_RANK_PRIMARY + 1, gst_aacd_dec_get_type());
}

} // namespace

GST_PLUGIN_DEFINE(GST_VERSION_MAJOR, GST_VERSION_MINOR, aacd, "AAC Low Complexity decoding with libaacd", plugin_init,
                  AACD_VERSION, "BSD", "aacd", "https://example.invalid/aacd")
