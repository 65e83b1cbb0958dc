// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// A C host that uses only the public header: query, allocate, initialise,
// read the version text.  Also compiled as C++98.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "aacd.h"

int main(void) {
    AacdDecoderConfig cfg;
    void *blocks[8] = {0};
    int rc = 0;
    memset(&cfg, 0, sizeof cfg);
    if (aacd_query_dec_mem(&cfg) != AACD_OK) return 1;
    for (uint32_t k = 0; k < cfg.mem_info.block_count; ++k)
        cfg.mem_info.blocks[k].base = blocks[k] = calloc(1, cfg.mem_info.blocks[k].size + 1);
    cfg.output_bits = 24;
    if (aacd_decoder_init(&cfg) != AACD_OK) rc = 2;
    if (cfg.frame_counter == NULL || *cfg.frame_counter != 0) rc = 3;
    if (strncmp(aacd_decode_versionInfo(), "TALVEN_AACD_ARM_03.09.00", 24) != 0) rc = 4;
    printf("%s\n", aacd_decode_versionInfo());
    for (int k = 0; k < 8; ++k) free(blocks[k]);
    return rc;
}
