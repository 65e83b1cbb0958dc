// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// scale_factor_data(): scale factors, intensity positions and noise energies
// of one individual channel stream.
//
// Bands are visited group by group, band by band, in the packed layout
// (entry g * maxSfb + sfb).  Three running values are kept as 32-bit
// integers and each output is the low 16 bits of the one that the band's
// codebook selects:
//   codebook 0        0, no bits read;
//   codebook 13       noise energy: the first noise band of the call reads a
//                     9-bit raw value (globalGain - 346 + raw), later ones a
//                     scale factor code word difference;
//   codebooks 14, 15  intensity position, starting at 0;
//   codebooks 1..12   scale factor, starting at globalGain.
// A code word difference is the scale factor codebook index minus 60.
//
// Status:
//   0   success;
//   -2  a scale factor of codebooks 1..12 that leaves 0..255: inverse
//       quantisation indexes a 256-entry table with it, so it is rejected
//       here with the channel's other syntax errors (the value is not
//       stored, the position is past its code word; earlier outputs remain).
//       The scale factor codebook is complete, so every bit pattern starts
//       a code word: there is no other syntax error here;
//   -5  a null reference where bands are to be read (for the exported form
//       also a null byte pointer or an offset above 7), numWinGrp above 8,
//       maxSfb above 51, or more than 120 bands in all (arguments that the
//       stream info reader never produces).
// Code words are resolved with the generated lookup table of codebook 0,
// which gives exactly what armUnPackVLC32 gives over armACAAC_codeBook0.
#include "omxdl/ac/armACAAC.h"
#include "omxdl/ac/armACAAC_Bounded.h"
#include "omxdl/ac/armACAAC_HuffLookup.h"

namespace {

constexpr int32_t kDiffOffset = 60;
constexpr int32_t kNoiseOffset = 346;  // 90 + 256
constexpr int32_t kMaxGroups = 8;
constexpr int32_t kMaxBandsLong = 51;
constexpr int32_t kMaxBands = 120;
constexpr uint32_t kLongestCode = 19;

// Index of the scale factor code word at the position, which then moves past
// it.  The codebook is complete: every bit pattern starts a code word.
[[nodiscard]] inline int32_t readSfIndex(aacd::BitReader &pos, const aacd::HuffLookup &book) {
    if (pos.avail < kLongestCode) aacd::bitRefill(pos);
    const uint32_t leaf = aacd::huffLookup(book, pos.cache);
    aacd::bitDrop(pos, aacd::huffLength(leaf));
    return static_cast<int32_t>(aacd::huffIndex(leaf));
}

}  // namespace

namespace aacd {

int32_t decodeScaleFactorData(int16_t *pScalefactor, int32_t numWinGrp, int32_t globalGain,
                              const uint8_t *pSfbCb, int32_t maxSfb, aacd::BitReader *pPos) {
    if (numWinGrp > kMaxGroups || maxSfb > kMaxBandsLong) return omxsts::kBadArg;
    if (numWinGrp < 1 || maxSfb < 1) return omxsts::kNoErr;
    if (numWinGrp * maxSfb > kMaxBands) return omxsts::kBadArg;
    if (pScalefactor == nullptr || pSfbCb == nullptr || pPos == nullptr) return omxsts::kBadArg;

    aacd::BitReader pos = *pPos;
    // A copy of the table's description, which the stores below cannot touch.
    const aacd::HuffLookup book = aacd::kHuffLookup[0];
    int32_t status = omxsts::kNoErr;
    int32_t sf = globalGain;
    int32_t isPosition = 0;
    int32_t noiseEnergy = 0;
    bool firstNoise = true;
    const int32_t bands = numWinGrp * maxSfb;
    for (int32_t b = 0; b < bands; ++b) {
        const uint32_t cb = pSfbCb[b];
        int32_t out = 0;
        if (cb == 0u) {
            out = 0;
        } else if (cb == 13u) {
            if (firstNoise) {
                firstNoise = false;
                noiseEnergy = globalGain - kNoiseOffset +
                              static_cast<int32_t>(aacd::bitGet(pos, 9));
            } else {
                noiseEnergy += readSfIndex(pos, book) - kDiffOffset;
            }
            out = noiseEnergy;
        } else if (cb == 14u || cb == 15u) {
            isPosition += readSfIndex(pos, book) - kDiffOffset;
            out = isPosition;
        } else {
            sf += readSfIndex(pos, book) - kDiffOffset;
            if (sf < 0 || sf > 255) { status = omxsts::kErr; break; }
            out = sf;
        }
        pScalefactor[b] = static_cast<int16_t>(out);
    }
    *pPos = pos;
    return status;
}

}  // namespace aacd

extern "C" {

AACD_EXPORT int32_t armACAAC_DecodeScaleFactorData(int16_t *pScalefactor, int32_t numWinGrp,
                                                   int32_t globalGain, const uint8_t *pSfbCb,
                                                   int32_t maxSfb, const uint8_t **ppBitStream,
                                                   uint32_t *pOffset) {
    // A bad position is handed on as null, so that it is reported at the
    // same point of the argument checks.
    const auto decode = [&](aacd::BitReader *pPos) {
        return aacd::decodeScaleFactorData(pScalefactor, numWinGrp, globalGain, pSfbCb, maxSfb,
                                           pPos);
    };
    return aacd::onExportedPosition(ppBitStream, pOffset, decode);
}

}  // extern "C"
