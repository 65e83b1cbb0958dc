// Constant tables of the decoder layer: the sampling-rate table and the
// random sign table used by concealment.
#include "decoder/aacd_tables.h"

// Rate in Hz and scale factor band counts of 1024-sample frames for each
// sampling-frequency index.  The band references are filled in the
// instance's own copy at initialisation; indices 12..15 are reserved.
const AacdSampleRateInfo AACD_sampleRateTable[16] = {
    {96000, 41, nullptr, 12, nullptr}, {88200, 41, nullptr, 12, nullptr},
    {64000, 47, nullptr, 12, nullptr}, {48000, 49, nullptr, 14, nullptr},
    {44100, 49, nullptr, 14, nullptr}, {32000, 51, nullptr, 14, nullptr},
    {24000, 47, nullptr, 15, nullptr}, {22050, 47, nullptr, 15, nullptr},
    {16000, 43, nullptr, 15, nullptr}, {12000, 43, nullptr, 15, nullptr},
    {11025, 43, nullptr, 15, nullptr}, {8000, 40, nullptr, 15, nullptr},
    {0, 0, nullptr, 0, nullptr},       {0, 0, nullptr, 0, nullptr},
    {0, 0, nullptr, 0, nullptr},       {0, 0, nullptr, 0, nullptr},
};
