// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
//
// An outside C99 host of the installed library (the build also compiles it
// against the tree as C99 and C++98: the header check): decodes an ADTS
// stream of one raw data block per frame (stereo 44.1 kHz) at 16 bits and
// compares every sample with the independent reference decoding beside it
// (NAME.ref24: 24-bit little-endian, interleaved, one frame per block),
// within 1 LSB.
//   decode_check NAME.aac [EXPECTED_VERSION]
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "aacd.h"
#include "aacd_version.h"

static int fail(const char *what) {
    fprintf(stderr, "decode_check: %s\n", what);
    return 1;
}

static long read_file(const char *name, unsigned char *buf, size_t size) {
    FILE *in = fopen(name, "rb");
    long n = in ? (long)fread(buf, 1, size, in) : 0;
    if (in) fclose(in);
    return n;
}

int main(int argc, char **argv) {
    static unsigned char s[1 << 22], ref[3 << 22];
    static int32_t pcm[1024 * 6];
    char name[4096];
    AacdDecoderConfig cfg;
    AacdBlockParams params;
    AacdFrameOutput out;
    void *mem[8] = {0};
    long size, ref_size, pos = 0, done = 0, i;
    if (argc < 2 || strlen(argv[1]) < 4) return fail("usage: decode_check NAME.aac [EXPECTED_VERSION]");
    if (argc > 2 && strcmp(argv[2], AACD_VERSION_STRING) != 0) return fail("aacd_version.h disagrees");
    if (strncmp(aacd_decode_versionInfo(), "TALVEN_AACD_ARM_", 16) != 0) return fail("library version text");
    snprintf(name, sizeof name, "%.*s.ref24", (int)strlen(argv[1]) - 4, argv[1]);
    size = read_file(argv[1], s, sizeof s - 16);
    ref_size = read_file(name, ref, sizeof ref);
    if (size < 7 || ref_size < 3 * 2048) return fail("cannot read the stream or its reference decoding");
    memset(&cfg, 0, sizeof cfg);
    memset(&params, 0, sizeof params);
    if (aacd_query_dec_mem(&cfg) != AACD_OK) return fail("memory query");
    for (uint32_t k = 0; k < cfg.mem_info.block_count; ++k)
        cfg.mem_info.blocks[k].base = mem[k] = calloc(1, cfg.mem_info.blocks[k].size + 1);
    cfg.output_bits = 16;
    if (aacd_decoder_init(&cfg) != AACD_OK) return fail("initialisation");
    cfg.block_params = &params;
    for (;;) {  // every frame, then a lost block that flushes the one held back
        const unsigned char *h = s + pos;
        const int last = pos + 7 > size;
        const long len = ((h[3] & 3L) << 11) | ((long)h[4] << 3) | (h[5] >> 5), hdr = (h[1] & 1) ? 7 : 9;
        if (!last && (h[0] != 0xFF || (h[1] & 0xF0) != 0xF0 || (h[6] & 3) || len <= hdr || pos + len > size))
            return fail("not an ADTS stream of one block per frame");
        params.sampling_index = (h[2] >> 2) & 15;
        cfg.frame_lost = (uint32_t)last;
        if (aacd_decode_frame(&cfg, &out, pcm, h + hdr, (int32_t)(last ? 0 : len - hdr)) != AACD_OK ||
            out.num_channels != 2 || out.sampling_rate != 44100 || out.frame_samples != 1024)
            return fail("decoding failed");
        for (i = 0; pos > 0 && i < 2048; ++i, ++done) {  // the first call's output precedes the stream
            const unsigned char *r = ref + 3 * done;
            const long want = ((r[0] | r[1] << 8 | (long)r[2] << 16) ^ 0x800000) - 0x800000;
            if (3 * done >= ref_size || labs(256 * (long)pcm[i] - want) > 256)
                return fail("output differs from the reference decoding");
        }
        if (last) break;
        pos += len;
    }
    for (int k = 0; k < 8; ++k) free(mem[k]);
    if (3 * done != ref_size) return fail("output and reference differ in length");
    printf("aacd %s: %ld samples as the reference decoding, %s\n", AACD_VERSION_STRING, done, aacd_decode_versionInfo());
    return 0;
}
