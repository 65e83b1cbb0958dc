// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// Noiseless decoding on the decoder's own bit position (internal to the
// library, not exported).
//
// The exported operations of armACAAC.h take the two-reference position
// (byte pointer, bit offset) and read unbounded.  They are thin wrappers
// around the functions below, which read through the decoder's BitReader:
// bytes at or past the end of the block read as zero bits and are never
// touched, so a corrupt block cannot make the decoder read outside the
// host's input.  Calls between these functions keep the bound.  The
// wrappers give their reader no bound of its own (kMaxReaderBytes from the
// byte reference): its refills may read up to 12 bytes beyond the byte that
// holds the last bit consumed.
//
// Arguments, results and statuses are those of the exported operation of the
// same name.  The functions that check their position (scale factors,
// spectral data, channel pair head) take it by pointer and reject a null one
// (and, for the channel pair head, a null byte pointer or an offset above 7)
// at the same point of their checks as the exported operation.
#pragma once

#include <cstdint>

#include "bitstream/armCOMM_Bitstream.h"
#include "omxdl/ac/armACAAC.h"

namespace aacd {

// armACAAC_DecodeIcsInfoData.
int32_t decodeIcsInfoData(BitReader &pos, int32_t commonWindow, int32_t audioObjectType,
                          int32_t predSfbMax, ChannelInfo *pChInfo, IcsInfo *pIcsInfo,
                          LtpInfo *const *pLtpPair);
// armACAAC_DecodeLtpData (result always 0).
int32_t decodeLtpData(BitReader &pos, int32_t windowSequence, int32_t maxSfb,
                      LtpInfo *pLtpInfo);
// armACAAC_DecodeSectionData.
int32_t decodeSectionData(uint8_t *pSfbCb, uint8_t *pSectCb, uint8_t *pSectEnd,
                          int32_t *pNumSect, int32_t windowSequence, int32_t numWinGrp,
                          int32_t maxSfb, BitReader &pos, int32_t *pNoiseFlag,
                          int32_t *pIsFlag);
// armACAAC_DecodeScaleFactorData.
int32_t decodeScaleFactorData(int16_t *pScalefactor, int32_t numWinGrp, int32_t globalGain,
                              const uint8_t *pSfbCb, int32_t maxSfb, BitReader *pPos);
// armACAAC_DecodePulseData.
int32_t decodePulseData(const uint16_t *pSwbOffset, int32_t *pNumPulse, int32_t *pPulseStartSfb,
                        int32_t *pPulseOffset, BitReader &pos, int32_t *pPulseAmp,
                        uint16_t numSwbLong);
// armACAAC_DecodeTNSData.
void decodeTnsData(int32_t audioObjectType, int32_t samplingRateIndex, int32_t windowSequence,
                   int8_t *pTnsCoef, BitReader &pos, int32_t numWindows,
                   int32_t *pTnsNumFilt, int32_t *pTnsCoefRes, int32_t *pTnsLength,
                   int32_t *pTnsOrder, int32_t *pTnsDirection, ChannelInfo *pChInfo);
// armACAAC_DecodeSpectralData.
int32_t decodeSpectralData(int32_t *pQuantValues, int32_t windowSequence, int32_t numWinGrp,
                           int32_t samplingRateIndex, const uint8_t *pSectCb,
                           const uint8_t *pSectEnd, const int32_t *pWinGrpLen,
                           const int32_t *pNumSect, BitReader *pPos, int32_t maxSfb);
// omxACAAC_DecodeChanPairElt.
int32_t decodeChanPairElt(BitReader *pPos, IcsInfo *pIcsInfo, ChanPairElt *pChanPairElt,
                          int32_t audioObjectType, LtpInfo *const *pLtpPair);
// omxACAAC_NoiselessDecode.
int32_t noiselessDecode(BitReader &pos, int16_t *pScalefactor, int32_t *pQuantValues,
                        uint8_t *pSfbCb, int8_t *pTnsCoef, ChannelInfo *pChInfo,
                        int32_t commonWindow, int32_t audioObjectType, LtpInfo *pLtpInfo,
                        int32_t *pNoiseFlag, int32_t *pIsFlag);

// Runs one exported operation: decode() gets a reader at the position of the
// two references, or null when a reference or the byte pointer is null or
// the offset is above 7, and the position is written back after the call.
template <typename Decode>
int32_t onExportedPosition(const uint8_t **ppBitStream, uint32_t *pOffset, Decode decode) {
    const bool valid =
        ppBitStream != nullptr && *ppBitStream != nullptr && pOffset != nullptr && *pOffset <= 7;
    if (!valid) return decode(static_cast<BitReader *>(nullptr));
    BitReader r = bitReaderAt(*ppBitStream, kMaxReaderBytes, *pOffset);
    const int32_t sts = decode(&r);
    const uint32_t index = bitIndex(r);
    *ppBitStream += index >> 3;
    *pOffset = index & 7;
    return sts;
}

// The same for an operation that takes its reader by reference: a bad
// position gives badStatus without calling it.
template <typename Decode>
int32_t onValidExportedPosition(const uint8_t **ppBitStream, uint32_t *pOffset,
                                int32_t badStatus, Decode decode) {
    return onExportedPosition(ppBitStream, pOffset, [&](BitReader *pReader) {
        return pReader != nullptr ? decode(*pReader) : badStatus;
    });
}

}  // namespace aacd
