/* SPDX-License-Identifier: BSD-2-Clause
 * Copyright (c) 2026 The aacd authors
 *
 * An outside C99 host of the installed library: decodes an ADTS stream of
 * one raw data block per frame at 16 and at 24 bits and checks that every
 * frame decodes, that the stream is stereo 44.1 kHz, not silent, and that
 * both depths agree (24-bit sample = 256 x 16-bit sample, give or take the
 * rounding).  Usage: decode_check STREAM.aac [EXPECTED_VERSION] */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "aacd.h"
#include "aacd_version.h"

#define MAX_FRAMES 1000

static int32_t pcm[2][MAX_FRAMES][2048];

static int fail(const char *what) {
    fprintf(stderr, "decode_check: %s\n", what);
    return 1;
}

/* Decodes every frame of the ADTS stream; returns the number of frames
   output (one more than the input: the last call flushes), -1 on error. */
static long decode(const unsigned char *s, long size, int bits, int32_t (*out)[2048]) {
    static int32_t frame[1024 * 6];
    AacdDecoderConfig cfg;
    AacdBlockParams params;
    AacdFrameOutput fo;
    void *mem[8] = {0};
    long pos = 0, n = 0;
    uint32_t k;
    int ok = 1;
    memset(&cfg, 0, sizeof cfg);
    memset(&params, 0, sizeof params);
    if (aacd_query_dec_mem(&cfg) != AACD_OK) return -1;
    for (k = 0; k < cfg.mem_info.block_count; ++k)
        if (cfg.mem_info.blocks[k].size) cfg.mem_info.blocks[k].base = mem[k] = calloc(1, cfg.mem_info.blocks[k].size);
    cfg.output_bits = (uint8_t)bits;
    if (aacd_decoder_init(&cfg) != AACD_OK) ok = 0;
    cfg.block_params = &params;
    while (ok && n < MAX_FRAMES) {
        const int last = pos + 7 > size;
        long len = 0, hdr = 0;
        if (!last) {
            const unsigned char *h = s + pos;
            len = ((h[3] & 3L) << 11) | ((long)h[4] << 3) | (h[5] >> 5);
            hdr = (h[1] & 1) ? 7 : 9;
            if (h[0] != 0xFF || (h[1] & 0xF0) != 0xF0 || (h[6] & 3) || len <= hdr || pos + len > size) {
                ok = 0;
                break;
            }
            params.sampling_index = (h[2] >> 2) & 15;
        } else {
            cfg.frame_lost = 1; /* flush the block held back */
        }
        if (aacd_decode_frame(&cfg, &fo, frame, last ? s : s + pos + hdr, (int32_t)(len - hdr)) != AACD_OK ||
            fo.num_channels != 2 || fo.sampling_rate != 44100 || fo.frame_samples != 1024)
            ok = 0;
        memcpy(out[n++], frame, sizeof out[0]);
        if (last) break;
        pos += len;
    }
    for (k = 0; k < 8; ++k) free(mem[k]);
    return ok ? n : -1;
}

int main(int argc, char **argv) {
    static unsigned char stream[1 << 22];
    long size, frames, f, i;
    double energy = 0;
    FILE *in;
    if (argc < 2) return fail("usage: decode_check STREAM.aac [EXPECTED_VERSION]");
    if (argc > 2 && strcmp(argv[2], AACD_VERSION_STRING) != 0) return fail("aacd_version.h disagrees");
    if (strncmp(aacd_decode_versionInfo(), "TALVEN_AACD_ARM_", 16) != 0) return fail("library version text");
    in = fopen(argv[1], "rb");
    if (!in) return fail("cannot open the stream");
    size = (long)fread(stream, 1, sizeof stream, in);
    fclose(in);
    frames = decode(stream, size, 16, pcm[0]);
    if (frames < 2 || decode(stream, size, 24, pcm[1]) != frames) return fail("decoding failed");
    for (f = 0; f < frames; ++f) {
        for (i = 0; i < 2048; ++i) {
            const long a = pcm[0][f][i], b = pcm[1][f][i], d = b - 256 * a;
            energy += (double)a * a;
            if (a < -32768 || a > 32767 || d < -128 || d > 128) return fail("16 and 24 bits disagree");
        }
    }
    if (energy < 1e6 * (double)frames) return fail("output is silent");
    printf("aacd %s: %ld frames decoded, %s\n", AACD_VERSION_STRING, frames, aacd_decode_versionInfo());
    return 0;
}
