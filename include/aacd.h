// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
/*
 * aacd.h - public interface of the aacd MPEG-2/MPEG-4 AAC Low Complexity decoder.
 *
 * This header is valid C (C11) and C++ and is all a host needs.
 *
 * OVERVIEW
 *   The library decodes one AAC raw data block per call into 1024 PCM samples
 *   per channel for up to six channels (front centre, front pair, back pair,
 *   LFE).  The host parses the container (ADTS, ADIF, MP4, ...) itself and
 *   hands the stream configuration over in an AacdBlockParams record.
 *
 *   The library allocates nothing, starts no threads, keeps no global mutable
 *   state and does no I/O.  All memory of an instance is provided by the host.
 *
 * CALL ORDER
 *   1. aacd_query_dec_mem(&cfg)        fills cfg.mem_info with block sizes.
 *   2. host allocates blocks 0..4, stores their addresses in
 *      cfg.mem_info.blocks[k].base and sets cfg.output_bits (16 or 24).
 *      Zero-fill block 4 if the first frame must be silent.
 *   3. aacd_decoder_init(&cfg)         initialises the instance in those blocks.
 *   4. host sets cfg.block_params to its AacdBlockParams record.
 *   5. aacd_decode_frame(&cfg, &out, pcm, block, size) once per raw data block.
 *   Calling aacd_decoder_init again restarts the instance.  There is no
 *   release call: the host frees its blocks.  aacd_decode_versionInfo may be
 *   called at any time.
 *
 * ONE FRAME OF DELAY
 *   Each call decodes the block it is given and synthesises the block given
 *   to the previous call.  The first call after initialisation outputs the
 *   content of the overlap buffers (silence for a zero-filled block 4).  To
 *   flush the last block, make one more call with cfg.frame_lost = 1.
 *   A block that cannot be decoded is concealed, never skipped: every call
 *   that gets past the argument checks writes a full frame (except statuses
 *   44, 45, 46, see below).
 *
 * STREAM CHANGES
 *   The channel layout and sampling rate may change from one block to the
 *   next (a host that follows every ADTS header, a new program
 *   configuration, concatenated streams).  Every call's output is described
 *   by the layout and rate under which its audio was decoded, which are held
 *   back with it: num_channels, sampling_rate, the PCM interleaving and the
 *   presence words of channel_refs always belong to the frame delivered, so
 *   the last frame before a change comes out in the old format and the first
 *   frame of the new format one call later.  A concealed frame keeps the
 *   format of the last good frame it stands in for.  (The very first call
 *   after initialisation, which delivers no decoded frame, takes the format
 *   of its own block.)  When a good frame no longer carries a channel slot,
 *   that slot forgets everything of the old stream (held-back spectrum,
 *   overlap, concealment history): when it returns it starts from silence.
 *   When the sampling rate changes, or a slot is fed by another element
 *   (single channel or pair, first or second of the pair, element tag), the
 *   slot's overlap starts from silence as after initialisation instead of
 *   adding the old format's tail, and concealment does not interpolate
 *   across the change.  So each stream of a concatenation decodes exactly as
 *   it decodes alone.
 *
 * OWNERSHIP
 *   The host owns AacdDecoderConfig, the memory blocks, AacdBlockParams, the
 *   input block, the PCM buffer and, in SBR hand-off mode, the AacdSbrPayload
 *   records and the core output buffer.  The decoder owns the contents of the
 *   memory blocks for the life of the instance; the host must not touch them.
 *   All tables of the library are constant and shared by every instance.
 *
 * THREADS
 *   An instance may be used by one thread at a time.  Different instances
 *   share nothing writable and may run concurrently on different threads.
 *
 * INPUT BOUNDS
 *   aacd_decode_frame never reads at or past input + input_size: bits there
 *   read as zero.  A block whose elements run past its end is treated as
 *   corrupt (status -1) and concealed.
 */
#ifndef AACD_H
#define AACD_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define AACD_PUBLIC __attribute__((visibility("default")))
#else
#define AACD_PUBLIC
#endif

/* Layout checks: C11 / C++11 static assertions, in older dialects (C99,
   C++98) a typedef of an array whose size turns negative when the check
   fails. */
#if defined(__cplusplus) && __cplusplus >= 201103L
#define AACD_STATIC_ASSERT(cond, msg) static_assert(cond, msg)
#elif !defined(__cplusplus) && defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
#define AACD_STATIC_ASSERT(cond, msg) _Static_assert(cond, msg)
#else
#define AACD_STATIC_ASSERT_NAME2(line) aacd_layout_check_##line
#define AACD_STATIC_ASSERT_NAME(line) AACD_STATIC_ASSERT_NAME2(line)
#define AACD_STATIC_ASSERT(cond, msg) \
    typedef char AACD_STATIC_ASSERT_NAME(__LINE__)[(cond) ? 1 : -1]
#endif

/* ------------------------------------------------------------------------ */
/* Status codes returned by the entry points.                               */
/* ------------------------------------------------------------------------ */
enum {
    /* Success.  Also returned for a frame that was concealed because the host
       flagged it lost, because TNS decoding of one of its channels failed, or
       because it was longer than AacdBlockParams.frame_bytes (length check). */
    AACD_OK = 0,
    /* A single channel, channel pair or LFE element failed to decode (or the
       block ran past input_size).  Frame concealed, full output produced. */
    AACD_ERR_ELEMENT = -1,
    /* The block holds a coupling channel element (not supported).  Frame
       concealed, full output produced. */
    AACD_ERR_COUPLING = 33,
    /* The fixed stream parameters carry a sampling index above 11, or an
       in-band program configuration element failed to parse.  Frame
       concealed, full output produced. */
    AACD_ERR_CONFIG = 35,
    /* A host program configuration record did not fit the six channel slots
       or carried a sampling index above 11, or num_prog_configs is positive
       while prog_configs is null.  Frame concealed, full output produced. */
    AACD_ERR_PROG_CONFIG = 36,
    /* aacd_decoder_init: output_bits is neither 16 nor 24.  The instance is
       not initialised and must not be used for decoding. */
    AACD_ERR_BIT_DEPTH = 39,
    /* M/S stereo or short-window deinterleaving refused its arguments.  The
       call is abandoned at once: no output is written, the frame counter does
       not advance, nothing is concealed.  Intensity stereo is only handed
       band layouts that inverse quantisation has accepted, so 45 is never
       returned; the value stays reserved. */
    AACD_ERR_MS_STEREO = 44,
    AACD_ERR_IS_STEREO = 45,
    AACD_ERR_DEINTERLEAVE = 46,
    /* aacd_query_dec_mem / aacd_decoder_init: the config reference is null,
       or (aacd_decoder_init) the base of one of blocks 0 to 4 is null.
       Nothing is written. */
    AACD_ERR_NULL_CONFIG = 51,
    /* aacd_decode_frame: config, output, pcm or input is null, or
       config->block_params is null, or the instance is not initialised
       (config->state null, or its last aacd_decoder_init failed), or (in SBR
       hand-off mode) one of the references of config->sbr is null or
       config->sbr.state is not config->state.  Nothing is written. */
    AACD_ERR_NULL_ARG = 53
};

/* Opaque decoder instance; it lives in memory block 0. */
typedef struct AacdDecoderState AacdDecoderState;

/* ------------------------------------------------------------------------ */
/* Memory plan.                                                             */
/* ------------------------------------------------------------------------ */

/* One memory requirement. */
typedef struct {
    uint32_t size;     /* bytes the block must have (written by the query) */
    uint32_t type;     /* written 0; information for the host's allocator */
    uint32_t priority; /* written 1 for block 0 (instance state), 0 otherwise */
    uint32_t reserved; /* written 0 */
    void *base;        /* written null by the query; the host stores the
                          address of the memory it provides here */
} AacdMemBlock;

/* The requirement table.  block_count is written 8; only blocks 0 to 4 are
   used (blocks 5 to 7 get size 0).  Sizes written by aacd_query_dec_mem:
     block 0:  7487 bytes  instance state (any alignment)
     block 1:  4224 bytes  scratch buffer
     block 2: 24704 bytes  first set of six spectrum buffers
     block 3: 25344 bytes  second set of six spectrum buffers (concealment)
     block 4: 24704 bytes  six overlap buffers; zero-fill for a silent start
   No block needs any particular alignment: the decoder aligns inside them. */
typedef struct {
    uint32_t block_count;
    AacdMemBlock blocks[8];
} AacdMemInfo;

/* ------------------------------------------------------------------------ */
/* Stream configuration.                                                    */
/* ------------------------------------------------------------------------ */

/* A list of elements of a program configuration. */
typedef struct {
    int32_t numElements; /* entries in use (0..15) */
    int32_t isCpe[16];   /* 1 = channel pair element, 0 = single channel
                            (for the coupling list: cc_element_is_ind_sw) */
    int32_t tag[16];     /* element_instance_tag of each entry */
} AacdElementList;

typedef struct {
    int32_t present;
    int32_t elementNumber;
    int32_t reserved; /* never written */
} AacdMixdown;

typedef struct {
    int32_t present;
    int32_t index;          /* matrix_mixdown_idx */
    int32_t pseudoSurround; /* pseudo_surround_enable */
} AacdMatrixMixdown;

/* One program configuration (program_config_element of ISO/IEC 14496-3),
   848 bytes.  A host passing configurations from a container (ADIF header,
   MP4 AudioSpecificConfig) fills an array of these records.  Supported:
   profile 1 (LC), sampling index 0..11, at most 3 front, no side, at most 2
   back, at most 1 LFE and no coupling elements, six channels in all. */
typedef struct {
    int32_t profile;                /* 1 = Low Complexity */
    int32_t samplingFrequencyIndex; /* 0 (96000 Hz) .. 11 (8000 Hz) */
    AacdElementList front;
    AacdElementList side;
    AacdElementList back;
    AacdElementList lfe;       /* isCpe entries 0 */
    AacdElementList assocData; /* isCpe entries 0 */
    AacdElementList validCc;
    AacdMixdown monoMixdown;
    AacdMixdown stereoMixdown;
    AacdMatrixMixdown matrixMixdown;
    uint8_t comment[8];         /* comment text is not kept; comment[0] = 0 */
    int32_t elementInstanceTag; /* the host fills it; the decoder follows the
                                   records whose tag is the first one seen */
} AacdProgConfig;

/* Per-frame stream configuration, owned by the host and referenced by
   AacdDecoderConfig.block_params.  Read on every call that is not flagged
   lost. */
typedef struct {
    /* Number of records in prog_configs; 0 selects the fixed parameters
       below (channel layout then follows the elements of each block). */
    int32_t num_prog_configs;
    AacdProgConfig *prog_configs;
    /* Fixed parameters: a change of config_id from one frame to the next
       makes the decoder rebuild its channel layout from the elements. */
    int32_t config_id;
    uint32_t sampling_index; /* 0..11; 12..15 give status 35, 16 or more
                                give status 35 and are not taken over */
    int32_t aux_a; /* stored, not interpreted */
    int32_t aux_b; /* stored and echoed in AacdFrameOutput.aux_b */
    int32_t aux_c; /* stored divided by 32 */
    int32_t aux_d; /* stored, not interpreted */
    int32_t aux_e; /* stored, not interpreted */
    /* Length of the raw data block in bytes, used only when the frame-length
       check is on (AacdDecoderConfig.check_frame_length): a block whose
       elements read more than frame_bytes * 8 bits is concealed and reports
       bits_consumed = frame_bytes * 8 (0 when frame_bytes is negative). */
    int32_t frame_bytes;
} AacdBlockParams;

/* ------------------------------------------------------------------------ */
/* SBR hand-off mode.                                                       */
/* ------------------------------------------------------------------------ */

/* One SBR extension payload of a fill element. */
typedef struct {
    uint32_t element_id;     /* element the payload follows: 0 SCE, 1 CPE */
    uint32_t extension_type; /* 13 EXT_SBR_DATA or 14 EXT_SBR_DATA_CRC */
    uint32_t byte_count;     /* 1..268: the fill element's count */
    /* payload[0]: the 4 bits after the extension type, right-aligned;
       payload[1 .. byte_count-1]: the following bytes in stream order. */
    uint8_t payload[272];
} AacdSbrPayloadEntry;

/* The SBR payloads of one frame, 576 bytes. */
typedef struct {
    int32_t entry_count; /* 0..2 */
    uint32_t reserved;   /* never written by the decoder */
    AacdSbrPayloadEntry entries[2];
} AacdSbrPayload;

/* References the host sets up before selecting SBR hand-off mode. */
typedef struct {
    AacdDecoderState *state; /* copy of AacdDecoderConfig.state (of this
                                same instance; anything else gives 53) */
    AacdSbrPayload *payload; /* after each call: the SBR payloads belonging to
                                the audio that call produced */
    int32_t *core_output;    /* channel slot c is written (1024 words, stride
                                1) at core_output + 2048*c words, that is
                                8192*c bytes; room for 6 slots */
    AacdSbrPayload *swap;     /* temporary record */
    AacdSbrPayload *previous; /* carries payloads from one call to the next */
} AacdSbrLink;

/* ------------------------------------------------------------------------ */
/* Instance record.                                                         */
/* ------------------------------------------------------------------------ */

typedef struct {
    AacdMemInfo mem_info;    /* sizes by the query, bases by the host */
    AacdDecoderState *state; /* written by aacd_decoder_init */
    uint8_t output_bits;     /* set by the host before init: 16 or 24 */
    uint32_t *frame_counter; /* written by init: the instance's frame counter */
    AacdBlockParams *block_params; /* set by the host before the first frame */
    /* Written by init, per channel slot 0..5 (0 centre, 1/2 front left/right,
       3/4 back left/right, 5 LFE): [0] points at the slot's presence word
       (nonzero when the slot carries a channel in the frame the last call
       delivered; 0 after init), [1] and [2] at words that always read 0. */
    int32_t *channel_refs[6][3];
    /* Store 1 to switch the frame-length check on from the next call; it then
       stays on until the next init. */
    uint32_t check_frame_length;
    /* Store 1 to declare the block passed with the next call lost: that call
       conceals it and clears the field to 0. */
    uint32_t frame_lost;
    AacdSbrLink sbr;  /* used only in SBR hand-off mode */
    uint32_t sbr_mode; /* written 0 by init; set 1 after init for SBR
                          hand-off mode */
} AacdDecoderConfig;

/* Result of one aacd_decode_frame call. */
typedef struct {
    uint32_t sampling_rate; /* Hz, of the frame delivered (see STREAM
                               CHANGES); 0 for sampling indices 12..15 */
    uint32_t num_channels;  /* channel slots of the frame delivered (0..6)
                               = PCM stride */
    uint32_t aux_b;         /* AacdBlockParams.aux_b as last taken over */
    uint32_t frame_samples; /* always 1024 */
    uint32_t bits_consumed; /* bits read, after byte alignment, at most
                               8 * input_size; 0 for a lost frame or a
                               rejected configuration */
    uint32_t frame_count;   /* instance frame counter after the call */
} AacdFrameOutput;

/* ------------------------------------------------------------------------ */
/* Entry points.                                                            */
/* ------------------------------------------------------------------------ */

/* Fills config->mem_info with the memory plan.  Returns AACD_OK, or
   AACD_ERR_NULL_CONFIG for a null config. */
AACD_PUBLIC int32_t aacd_query_dec_mem(AacdDecoderConfig *config);

/* Initialises an instance in the host's blocks.  Needs mem_info bases and
   output_bits.  Returns AACD_OK, AACD_ERR_NULL_CONFIG or AACD_ERR_BIT_DEPTH
   (then config->state is written but the instance refuses to decode until
   an init succeeds).  Block 4 is not cleared. */
AACD_PUBLIC int32_t aacd_decoder_init(AacdDecoderConfig *config);

/* Decodes one raw data block and writes one frame (the previous block's) to
   pcm: 1024 * output->num_channels interleaved words, sample n of the k-th
   present slot (of the frame delivered, see STREAM CHANGES) at
   pcm[n * num_channels + k], each holding a 16-bit or 24-bit
   value.  In SBR hand-off mode pcm is not written; slot c goes to
   config->sbr.core_output + 2048*c instead.  pcm must have room for
   6 * 1024 words.  input_size is the number of readable bytes of input; 0 or
   less is an empty block.  Returns one of the statuses above. */
AACD_PUBLIC int32_t aacd_decode_frame(AacdDecoderConfig *config, AacdFrameOutput *output,
                                      int32_t *pcm, const uint8_t *input, int32_t input_size);

/* Constant version text, valid for the life of the process. */
AACD_PUBLIC const char *aacd_decode_versionInfo(void);

AACD_STATIC_ASSERT(sizeof(AacdProgConfig) == 848, "AacdProgConfig must be 848 bytes");
AACD_STATIC_ASSERT(sizeof(AacdSbrPayloadEntry) == 284, "SBR payload entry must be 284 bytes");
AACD_STATIC_ASSERT(sizeof(AacdSbrPayload) == 576, "AacdSbrPayload must be 576 bytes");
AACD_STATIC_ASSERT(sizeof(AacdMemBlock) == 16 + sizeof(void *), "AacdMemBlock layout");

#ifdef __cplusplus
}
#endif

#endif /* AACD_H */
