// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// The AAC operation layer: records, constant tables and operations of
// noiseless decoding, inverse quantisation, stereo tools, noise substitution,
// TNS, inverse MDCT and FFT.
//
// Spectra are 1024 signed 32-bit values.  After inverse quantisation each
// value is the dequantised coefficient times 32 (5 fractional bits).
// Band codebook and scale factor arrays are packed: the entry of band sfb of
// window group g is at g * maxSfb + sfb.
#pragma once

#include <cstdint>

#include "bitstream/armCOMM_Bitstream.h"
#include "common/aacd_export.h"

// ---------------------------------------------------------------------------
// Status values of this layer.
// ---------------------------------------------------------------------------
namespace omxsts {
constexpr int32_t kNoErr = 0;
constexpr int32_t kErr = -2;          // bitstream syntax error
constexpr int32_t kBadArg = -5;       // bad argument
constexpr int32_t kTnsDirection = -152;
constexpr int32_t kTnsCoef = -153;
constexpr int32_t kTnsCoefRes = -154;
constexpr int32_t kTnsOrder = -155;
constexpr int32_t kTnsLength = -156;
constexpr int32_t kTnsNumFilters = -157;
constexpr int32_t kGainControl = -159;  // gain control data present
constexpr int32_t kMaxSfb = -162;       // max_sfb out of range
constexpr int32_t kQuantRange = -163;   // quantised value out of range
}  // namespace omxsts

// Window sequences.
constexpr int32_t ONLY_LONG_SEQUENCE = 0;
constexpr int32_t LONG_START_SEQUENCE = 1;
constexpr int32_t EIGHT_SHORT_SEQUENCE = 2;
constexpr int32_t LONG_STOP_SEQUENCE = 3;

// ---------------------------------------------------------------------------
// Records.
// ---------------------------------------------------------------------------

// Individual channel stream info (ics_info).
struct IcsInfo {
    int32_t icsReservedBit;
    int32_t windowSequence;
    int32_t windowShape;
    int32_t maxSfb;
    int32_t scaleFactorGrouping;
    int32_t predictorDataPresent;
    int32_t predictorReset;
    int32_t predictorResetGroup;
    uint8_t predictionUsed[41];
    int32_t numWindowGroups;
    int32_t windowGroupLength[8];
};

// Long-term prediction side information (ltp_data).
struct LtpInfo {
    int32_t ltpDataPresent;
    int32_t ltpLag;
    int16_t ltpCoef;
    int32_t ltpLongUsed[40];
};

// Pulse data (pulse_data).
struct PulseInfo {
    int32_t numPulse;  // number_pulse: pulses minus one
    int32_t pulseStartSfb;
    int32_t pulseOffset[4];
    int32_t pulseAmp[4];
};

// TNS side information; filter entries are indexed by window + filter.
struct TnsInfo {
    int32_t tnsNumFilters[8];
    int32_t tnsCoefRes[8];  // resolution in bits (3 or 4)
    int32_t tnsLength[8];
    int32_t tnsOrder[8];
    int32_t tnsDirection[8];
};
static_assert(sizeof(TnsInfo) == 160, "TnsInfo is copied as one 160-byte block");

struct ChanPairElt {
    int32_t commonWindow;
    int32_t msMaskPresent;  // 0 none, 1 per band, 2 all bands, 3 reserved
    uint8_t msUsed[8][60];
};

// Side information of the channel being decoded.
struct ChannelInfo {
    int32_t elementTag;
    int32_t elementId;
    int32_t samplingRateIndex;
    int32_t predSfbMax;
    int32_t previousWindowShape;
    int32_t windowLength;  // 1024 or 128
    int32_t numWindows;    // 1 or 8
    int32_t numSwb;
    int32_t globalGain;
    int32_t pulseDataPresent;
    int32_t tnsDataPresent;
    int32_t gainControlDataPresent;
    IcsInfo *icsInfo;
    ChanPairElt *chanPairElt;
    uint8_t sectionCodebook[120];
    uint8_t sectionEnd[120];
    int32_t numSections[8];
    TnsInfo tnsInfo;
};

// Synthesis table set (seven references, in this order).
struct ArmIMDCTTables {
    const int32_t *winSine;      // 2048 negated Q31 window values
    const int32_t *winKBD;       // 2048 negated Q31 window values
    const int32_t *preTwiddleShort;  // 64 complex Q31
    const int32_t *fftTwiddleShort;  // 64 complex Q31
    const int32_t *preTwiddleLong;   // 512 complex Q31
    const int32_t *fftTwiddleLong;   // 512 complex Q31
    const int32_t *maxMin;           // 16 clamp words
};

// ---------------------------------------------------------------------------
// Constant tables.
// ---------------------------------------------------------------------------
extern "C" {

// Scale factor bands, indexed by sampling-rate index 0..11.
AACD_EXPORT extern const uint16_t armACAAC_numSwbLong[12];
AACD_EXPORT extern const uint16_t armACAAC_numSwbShort[12];
AACD_EXPORT extern const uint16_t *const armACAAC_swbOffsetLongWindow[12];   // numSwb+1 offsets
AACD_EXPORT extern const uint16_t *const armACAAC_swbOffsetShortWindow[12];  // numSwb+1 offsets
AACD_EXPORT extern const uint8_t *const armACAAC_swbDiffOffsetLongWindow[12];   // band widths
AACD_EXPORT extern const uint8_t *const armACAAC_swbDiffOffsetShortWindow[12];  // band widths
AACD_EXPORT extern const uint16_t armACAAC_longOffsetTable0[42];
AACD_EXPORT extern const uint16_t armACAAC_longOffsetTable2[48];
AACD_EXPORT extern const uint16_t armACAAC_longOffsetTable3[50];
AACD_EXPORT extern const uint16_t armACAAC_longOffsetTable5[52];
AACD_EXPORT extern const uint16_t armACAAC_longOffsetTable6[48];
AACD_EXPORT extern const uint16_t armACAAC_longOffsetTable8[44];
AACD_EXPORT extern const uint16_t armACAAC_longOffsetTableb[41];
AACD_EXPORT extern const uint16_t armACAAC_shortOffsetTable0[13];
AACD_EXPORT extern const uint16_t armACAAC_shortOffsetTable3[15];
AACD_EXPORT extern const uint16_t armACAAC_shortOffsetTable6[16];
AACD_EXPORT extern const uint16_t armACAAC_shortOffsetTable8[16];
AACD_EXPORT extern const uint16_t armACAAC_shortOffsetTableb[16];
AACD_EXPORT extern const uint8_t armACAAC_longDiffOffsetTable0[41];
AACD_EXPORT extern const uint8_t armACAAC_longDiffOffsetTable2[47];
AACD_EXPORT extern const uint8_t armACAAC_longDiffOffsetTable3[49];
AACD_EXPORT extern const uint8_t armACAAC_longDiffOffsetTable5[51];
AACD_EXPORT extern const uint8_t armACAAC_longDiffOffsetTable6[47];
AACD_EXPORT extern const uint8_t armACAAC_longDiffOffsetTable8[43];
AACD_EXPORT extern const uint8_t armACAAC_longDiffOffsetTableb[40];
AACD_EXPORT extern const uint8_t armACAAC_shortDiffOffsetTable0[12];
AACD_EXPORT extern const uint8_t armACAAC_shortDiffOffsetTable3[14];
AACD_EXPORT extern const uint8_t armACAAC_shortDiffOffsetTable6[15];
AACD_EXPORT extern const uint8_t armACAAC_shortDiffOffsetTable8[15];
AACD_EXPORT extern const uint8_t armACAAC_shortDiffOffsetTableb[15];
AACD_EXPORT extern const uint8_t armACAAC_PredMaxBands[12];

// Huffman codebooks as code lists (entry 0: scale factors, 1..11 spectrum).
AACD_EXPORT extern const ArmVlc32 armACAAC_codeBook0[122];
AACD_EXPORT extern const ArmVlc32 armACAAC_codeBook1[82];
AACD_EXPORT extern const ArmVlc32 armACAAC_codeBook2[82];
AACD_EXPORT extern const ArmVlc32 armACAAC_codeBook3[82];
AACD_EXPORT extern const ArmVlc32 armACAAC_codeBook4[82];
AACD_EXPORT extern const ArmVlc32 armACAAC_codeBook5[82];
AACD_EXPORT extern const ArmVlc32 armACAAC_codeBook6[82];
AACD_EXPORT extern const ArmVlc32 armACAAC_codeBook7[65];
AACD_EXPORT extern const ArmVlc32 armACAAC_codeBook8[65];
AACD_EXPORT extern const ArmVlc32 armACAAC_codeBook9[170];
AACD_EXPORT extern const ArmVlc32 armACAAC_codeBook10[170];
AACD_EXPORT extern const ArmVlc32 armACAAC_codeBook11[290];
AACD_EXPORT extern const ArmVlc32 *const armACAAC_CodeBooks_C[12];
AACD_EXPORT extern const uint8_t armACAAC_signCb[12];
AACD_EXPORT extern const uint8_t armACAAC_lavCb[12];

// Inverse quantisation.
AACD_EXPORT extern const double armv8_ACAAC_InvQuantTable[8192];
AACD_EXPORT extern const double armv8_ACAAC_Pow2Table[256];
AACD_EXPORT extern const double pow2_25;
AACD_EXPORT extern const int32_t armACAAC_InvQuantTable[1025];
AACD_EXPORT extern const uint32_t Power2Table[4];

// Noise substitution constants.
AACD_EXPORT extern const uint32_t armACAAC_PNSConsts[13];

// TNS.
AACD_EXPORT extern const uint8_t armACAAC_TnsMaxBands[12][4];
AACD_EXPORT extern const double armACAAC_SinLookUp[32];

// Synthesis.
AACD_EXPORT extern const int32_t armACAAC_Q31winSine[2048];
AACD_EXPORT extern const int32_t armACAAC_Q31winKBD[2048];
AACD_EXPORT extern const int32_t armACAAC_preTwiddleShortQ31[128];
AACD_EXPORT extern const int32_t armACAAC_preTwiddleLongQ31[1024];
AACD_EXPORT extern const int32_t armACAAC_IMDCT_FFTShortQ31[128];
AACD_EXPORT extern const int32_t armACAAC_IMDCT_FFTLongQ31[1024];
AACD_EXPORT extern const int32_t maxMin_Table[16];
AACD_EXPORT extern const int32_t QRoundings[33];
AACD_EXPORT extern const ArmIMDCTTables armACAAC_IMDCT_Tables;

// ---------------------------------------------------------------------------
// Operations.
// ---------------------------------------------------------------------------

// Noiseless decoding.  These operations read from the two-reference bit
// position (*ppBitStream: byte holding the next bit; *pOffset: bits of it
// already consumed, 0..7), advanced in place, without an end bound.  A null
// reference, a null byte pointer or an offset above 7 is a bad argument
// (-5; the operations without a status then read and write nothing).  The
// decoder itself calls the bounded forms of armACAAC_Bounded.h.

// Stream info.  pLtpPair: two LtpInfo references (the second used only with
// commonWindow 1 and audio object type 4).  pChInfo may be null.
AACD_EXPORT int32_t armACAAC_DecodeIcsInfoData(const uint8_t **ppBitStream, uint32_t *pOffset,
                                               int32_t commonWindow, int32_t audioObjectType,
                                               int32_t predSfbMax, ChannelInfo *pChInfo,
                                               IcsInfo *pIcsInfo, LtpInfo *const *pLtpPair);
// The result carries no meaning (0).
AACD_EXPORT int32_t armACAAC_DecodeLtpData(const uint8_t **ppBitStream, uint32_t *pOffset,
                                           int32_t windowSequence, int32_t maxSfb,
                                           LtpInfo *pLtpInfo);

// Section data and scale factors.
AACD_EXPORT int32_t armACAAC_DecodeSectionData(uint8_t *pSfbCb, uint8_t *pSectCb,
                                               uint8_t *pSectEnd, int32_t *pNumSect,
                                               int32_t windowSequence, int32_t numWinGrp,
                                               int32_t maxSfb, const uint8_t **ppBitStream,
                                               uint32_t *pOffset, int32_t *pNoiseFlag,
                                               int32_t *pIsFlag);
AACD_EXPORT int32_t armACAAC_DecodeScaleFactorData(int16_t *pScalefactor, int32_t numWinGrp,
                                                   int32_t globalGain, const uint8_t *pSfbCb,
                                                   int32_t maxSfb, const uint8_t **ppBitStream,
                                                   uint32_t *pOffset);

// Pulse and TNS side data.
AACD_EXPORT int32_t armACAAC_DecodePulseData(const uint16_t *pSwbOffset, int32_t *pNumPulse,
                                             int32_t *pPulseStartSfb, int32_t *pPulseOffset,
                                             const uint8_t **ppBitStream, uint32_t *pOffset,
                                             int32_t *pPulseAmp, uint16_t numSwbLong);
AACD_EXPORT void armACAAC_DecodeTNSData(int32_t audioObjectType, int32_t samplingRateIndex,
                                        int32_t windowSequence, int8_t *pTnsCoef,
                                        const uint8_t **ppBitStream, uint32_t *pOffset,
                                        int32_t numWindows, int32_t *pTnsNumFilt,
                                        int32_t *pTnsCoefRes, int32_t *pTnsLength,
                                        int32_t *pTnsOrder, int32_t *pTnsDirection,
                                        ChannelInfo *pChInfo);

// Spectral data into coded order.
AACD_EXPORT int32_t armACAAC_DecodeSpectralData(int32_t *pQuantValues, int32_t windowSequence,
                                                int32_t numWinGrp, int32_t samplingRateIndex,
                                                const uint8_t *pSectCb, const uint8_t *pSectEnd,
                                                const int32_t *pWinGrpLen,
                                                const int32_t *pNumSect,
                                                const uint8_t **ppBitStream, uint32_t *pOffset,
                                                int32_t maxSfb);

// Channel pair element head and one individual channel stream.
AACD_EXPORT int32_t omxACAAC_DecodeChanPairElt(const uint8_t **ppBitStream, uint32_t *pOffset,
                                               IcsInfo *pIcsInfo, ChanPairElt *pChanPairElt,
                                               int32_t audioObjectType,
                                               LtpInfo *const *pLtpPair);
AACD_EXPORT int32_t omxACAAC_NoiselessDecode(const uint8_t **ppBitStream, uint32_t *pOffset,
                                             int16_t *pScalefactor, int32_t *pQuantValues,
                                             uint8_t *pSfbCb, int8_t *pTnsCoef,
                                             ChannelInfo *pChInfo, int32_t commonWindow,
                                             int32_t audioObjectType, LtpInfo *pLtpInfo,
                                             int32_t *pNoiseFlag, int32_t *pIsFlag);

// Inverse quantisation (in place, coded order) and short-window deinterleave.
AACD_EXPORT int32_t omxACAAC_QuantInv_S32_I(int32_t *pSrcDstSpectralCoef,
                                            const int16_t *pScalefactor, int32_t numWinGrp,
                                            const int32_t *pWinGrpLen, int32_t maxSfb,
                                            const uint8_t *pSfbCb, int32_t samplingRateIndex,
                                            int32_t frameLength);
AACD_EXPORT int32_t omxACAAC_DeinterleaveSpectrum_S32(const int32_t *pSrc, int32_t *pDst,
                                                      int32_t numWinGrp,
                                                      const int32_t *pWinGrpLen, int32_t maxSfb,
                                                      int32_t samplingRateIndex,
                                                      int32_t frameLength);

// Stereo tools and noise substitution.
AACD_EXPORT int32_t omxACAAC_DecodeMsStereo_S32_I(int32_t *pSrcDstL, int32_t *pSrcDstR,
                                                  const ChanPairElt *pChanPairElt,
                                                  uint8_t *pSfbCbR, int32_t numWinGrp,
                                                  const int32_t *pWinGrpLen, int32_t maxSfb,
                                                  int32_t samplingRateIndex,
                                                  int32_t frameLength);
AACD_EXPORT int32_t omxACAAC_DecodeIsStereo_S32(const int32_t *pSrcL, int32_t *pDstR,
                                                const int16_t *pScalefactorR,
                                                const uint8_t *pSfbCbR, int32_t numWinGrp,
                                                const int32_t *pWinGrpLen, int32_t maxSfb,
                                                int32_t samplingRateIndex, int32_t frameLength);
AACD_EXPORT int32_t omxACAAC_DecodeMsPNS_S32_I(
    int32_t *pSrcDstCoefs, int32_t *pBandFlags, const uint8_t *pSfbCb,
    const int16_t *pScalefactor, int32_t maxSfb, int32_t numWinGrp, const int32_t *pWinGrpLen,
    int32_t samplingRateIndex, int32_t frameLength, uint32_t *pRandomState,
    int32_t secondChannel, const uint8_t *pCorrFlags, uint32_t *pSeedStore,
    const uint32_t *pConsts, const uint8_t *const *pShortWidths,
    const uint8_t *const *pLongWidths);

// Temporal noise shaping.
AACD_EXPORT int32_t omxACAAC_DecodeTNS_S32_I(int32_t *pSrcDstSpectralCoefs,
                                             const int32_t *pTnsNumFilt,
                                             const int32_t *pTnsRegionLen,
                                             const int32_t *pTnsFiltOrder,
                                             const int32_t *pTnsFiltCoefRes,
                                             const int8_t *pTnsFiltCoef,
                                             const int32_t *pTnsDirection, int32_t maxSfb,
                                             int32_t profile, int32_t samplingRateIndex,
                                             int32_t frameLength);
AACD_EXPORT int32_t armACAAC_TnsDecodeCoef(const int8_t *pCoef, double *pLpc,
                                           int32_t resolution, int32_t order);
AACD_EXPORT void armACAAC_TnsFilter(int32_t *pCoef, const double *pLpc, int32_t count,
                                    int32_t step, int32_t order);

// Inverse MDCT with windowing, overlap-add and PCM conversion.
// Preconditions: pSrcSpectralCoefs and pSrcDstOverlap hold 1024 values each;
// windowSequence 0..3; outputStride >= 1, and pDstPcm has room for
// 1023 * outputStride + 1 words.  Returns 0, or -5 (nothing touched) for an
// outputStride of 0 or less.
AACD_EXPORT int32_t omxACAAC_MDCTInv_S32_S32(int32_t *pSrcSpectralCoefs, int32_t *pDstPcm,
                                             int32_t *pSrcDstOverlap, int32_t windowSequence,
                                             int32_t windowShape, int32_t prevWindowShape,
                                             int32_t outputStride, int32_t bitDepth,
                                             const ArmIMDCTTables *pTables);

// Complex forward FFT of 2^order points, in place in pData (interleaved re,
// im); pScratch holds 2^order complex values and is destroyed.
// Preconditions: order 4..9 (the twiddle tables cover at most 512 points);
// any other order returns without touching anything.
AACD_EXPORT void omx_FFT_common(int32_t *pData, int32_t order, const int32_t *pTwiddles,
                                int32_t *pScratch);

}  // extern "C"
