// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// Spectral concealment: interpolation of a single lost frame between its
// neighbours, repetition with random signs, fade-out, mute and fade-in.
// Integer arithmetic only.
#pragma once

#include <cstdint>

#include "common/aacd_export.h"

struct AacdDecoderState;

struct CConcealmentInfo {
    uint8_t storedWindowShape;
    uint8_t storedWindowSequence;
    int32_t *buffer;          // the slot's own concealment buffer (block 3)
    int32_t *storedSpectrum;  // buffer holding the held-back spectrum
    uint32_t randomPhaseIndex;
    uint32_t prevPrevFrameOk;
    uint32_t prevFrameOk;
    uint32_t counter;
    uint32_t concealState;  // 0 normal, 1 fade-out, 2 mute, 3 fade-in
    uint32_t fadeInFrames;
    uint32_t muteReleaseFrames;
    uint32_t fadeOutFrames;
};

extern "C" {

AACD_EXPORT extern const int32_t facMod4Table[4];
AACD_EXPORT extern const int32_t fadeOutFac[8];
AACD_EXPORT extern const int32_t fadeInFac[8];

AACD_EXPORT void CConcealment_Init(CConcealmentInfo *info);
AACD_EXPORT void CConcealment_Apply(CConcealmentInfo *info, int32_t *spectrum,
                                    uint8_t *windowSequence, uint8_t *windowShape,
                                    const AacdDecoderState *state, int32_t frameOk);
AACD_EXPORT void CConcealment_UpdateState(CConcealmentInfo *info, int32_t frameOk);
AACD_EXPORT void CConcealment_CalcBandEnergy(const int32_t *spectrum, int32_t blockType,
                                             int32_t mapToLong, int32_t *energies,
                                             const AacdDecoderState *state);
AACD_EXPORT void CConcealment_InterpolateBuffer(int32_t *spectrum, const int32_t *energiesOwn,
                                                const int32_t *energiesOther,
                                                int32_t bandCount, const uint16_t *bandEnds);
AACD_EXPORT void CConcealment_ApplyRandomSign(CConcealmentInfo *info, int32_t *spectrum,
                                              const AacdDecoderState *state);
AACD_EXPORT int32_t LSI_exp(int64_t x);

}  // extern "C"
