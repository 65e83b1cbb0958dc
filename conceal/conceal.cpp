// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// Spectral concealment.  Every present slot passes through CConcealment_Apply
// once per frame, just before the inverse MDCT.  The output lags the input by
// one frame: the spectrum decoded in a call is held back and the one decoded
// in the previous call is synthesised, so that a single lost frame can be
// rebuilt from both of its neighbours.  Longer losses repeat the last good
// spectrum with random signs, fade it out and mute; after a mute the decoded
// frames fade back in.
#include "conceal/conceal.h"

#include "common/util2.h"
#include "decoder/aacd_tables.h"
#include "decoder/decoder.h"

// 2^(k/4) in Q30, k = 0..3.  These exact values are part of the output; they
// differ from the correctly rounded ones by 0, +5, -3 and +11.
const int32_t facMod4Table[4] = {1073741824, 1276901422, 1518500247, 1805811312};
// Right-shift counts of the fade-out and fade-in stages.
const int32_t fadeOutFac[8] = {1, 2, 3, 4, 5, 6, 7, 8};
const int32_t fadeInFac[8] = {1, 2, 3, 4, 5, 6, 7, 8};

namespace {

constexpr int32_t kFrameLen = 1024;
constexpr int32_t kShortLen = 128;
constexpr int32_t kNumShortWindows = 8;
constexpr int32_t kMaxBands = 51;  // largest long-window band count
constexpr int32_t kNumRates = 12;

constexpr uint8_t kOnlyLong = 0;
constexpr uint8_t kLongStart = 1;
constexpr uint8_t kEightShort = 2;
constexpr uint8_t kLongStop = 3;

enum ConcealState : uint32_t { kNormal = 0, kFadeOut = 1, kMute = 2, kFadeIn = 3 };

struct BandLayout {
    int32_t count;
    const uint16_t *ends;
};

// Band layout of the channel map's sampling rate; an unusable index or a
// missing band list gives no bands at all.
BandLayout bandLayout(const AacdDecoderState *state, bool shortWindows) {
    const AacdMcInfo *map = state->pMcInfo != nullptr ? state->pMcInfo : &state->mcInfo;
    const int32_t sri = map->samplingRateIndex;
    if (sri < 0 || sri >= kNumRates) return {0, nullptr};
    const AacdSampleRateInfo &row = state->sampleRates[sri];
    const uint16_t *ends = shortWindows ? row.shortBandEnds : row.longBandEnds;
    uint32_t count = shortWindows ? row.numSwbShort : row.numSwbLong;
    if (ends == nullptr) return {0, nullptr};
    if (count > static_cast<uint32_t>(kMaxBands)) count = kMaxBands;
    return {static_cast<int32_t>(count), ends};
}

// Arithmetic right shift by one (the compiler implements >> on negative
// values as an arithmetic shift).
inline int64_t halve(int32_t x) { return static_cast<int64_t>(x >> 1); }

// Arithmetic right shift of every value of the frame.
void shiftFrame(int32_t *coefs, int32_t shift) {
    if (shift <= 0) return;
    if (shift > 31) shift = 31;
    for (int32_t i = 0; i < kFrameLen; ++i) coefs[i] = coefs[i] >> shift;
}

// Interpolation of a single lost frame between the held-back (previous)
// spectrum, now in coefs, and the next one at info->storedSpectrum.
void interpolateLostFrame(CConcealmentInfo *info, int32_t *coefs, uint8_t *windowSequence,
                          uint8_t *windowShape, const AacdDecoderState *state, int32_t *energyA,
                          int32_t *energyB) {
    const int32_t *next = info->storedSpectrum;
    if (next == nullptr) return;
    const bool prevShort = *windowSequence == kEightShort;
    const bool nextShort = info->storedWindowSequence == kEightShort;
    const BandLayout longBands = bandLayout(state, false);

    if (!prevShort && !nextShort) {
        *windowShape = 0;
        *windowSequence = kOnlyLong;
        CConcealment_CalcBandEnergy(coefs, 0, 0, energyA, state);
        CConcealment_CalcBandEnergy(next, 0, 0, energyB, state);
        CConcealment_InterpolateBuffer(coefs, energyA, energyB, longBands.count, longBands.ends);
    } else if (!prevShort && nextShort) {
        *windowShape = 1;
        *windowSequence = kLongStart;
        CConcealment_CalcBandEnergy(coefs, 0, 0, energyA, state);
        CConcealment_CalcBandEnergy(next, 2, 1, energyB, state);
        CConcealment_InterpolateBuffer(coefs, energyA, energyB, longBands.count, longBands.ends);
    } else if (prevShort && nextShort) {
        *windowShape = 1;
        *windowSequence = kEightShort;
        const BandLayout shortBands = bandLayout(state, true);
        for (int32_t w = 0; w < kNumShortWindows; ++w) {
            int32_t *win = coefs + kShortLen * w;
            CConcealment_CalcBandEnergy(win, 2, 0, energyA, state);
            CConcealment_CalcBandEnergy(next + kShortLen * w, 2, 0, energyB, state);
            CConcealment_InterpolateBuffer(win, energyA, energyB, shortBands.count,
                                           shortBands.ends);
        }
    } else {
        *windowShape = 0;
        *windowSequence = kLongStop;
        CConcealment_CalcBandEnergy(coefs + kShortLen * (kNumShortWindows - 1), 2, 1, energyB,
                                    state);
        CConcealment_CalcBandEnergy(next, 0, 0, energyA, state);
        myMemCopy(coefs, next, kFrameLen * static_cast<int32_t>(sizeof(int32_t)));
        CConcealment_InterpolateBuffer(coefs, energyA, energyB, longBands.count, longBands.ends);
    }
}

}  // namespace

extern "C" {

AACD_EXPORT void CConcealment_Init(CConcealmentInfo *info) {
    myMemSet(info->buffer, 0, kFrameLen * static_cast<int32_t>(sizeof(int32_t)));
    info->storedSpectrum = info->buffer;
    info->storedWindowShape = 0;
    info->storedWindowSequence = 0;
    info->randomPhaseIndex = 0;
    info->prevPrevFrameOk = 1;
    info->prevFrameOk = 1;
    info->counter = 0;
    info->concealState = kNormal;
    info->fadeInFrames = 5;
    info->muteReleaseFrames = 5;
    info->fadeOutFrames = 5;
}

AACD_EXPORT void CConcealment_Apply(CConcealmentInfo *info, int32_t *spectrum,
                                    uint8_t *windowSequence, uint8_t *windowShape,
                                    const AacdDecoderState *state, int32_t frameOk) {
    int32_t energyA[kMaxBands];
    int32_t energyB[kMaxBands];
    myMemSet(energyA, 0, static_cast<int32_t>(sizeof energyA));
    myMemSet(energyB, 0, static_cast<int32_t>(sizeof energyB));

    bool randomise;
    if (frameOk != 0) {
        // Synthesis takes the window of the held-back spectrum; the record
        // keeps the one just decoded.
        const uint8_t shape = *windowShape;
        const uint8_t sequence = *windowSequence;
        *windowShape = info->storedWindowShape;
        *windowSequence = info->storedWindowSequence;
        info->storedWindowShape = shape;
        info->storedWindowSequence = sequence;
        CConcealment_UpdateState(info, frameOk);
        randomise = info->prevFrameOk == 0;
        // Exactly one frame lost between two good ones: rebuild it.
        if (randomise && info->prevPrevFrameOk != 0) {
            interpolateLostFrame(info, spectrum, windowSequence, windowShape, state, energyA,
                                 energyB);
        }
    } else {
        *windowShape = info->storedWindowShape;
        *windowSequence = info->storedWindowSequence;
        if (info->storedSpectrum != nullptr) {
            myMemCopy(spectrum, info->storedSpectrum,
                      kFrameLen * static_cast<int32_t>(sizeof(int32_t)));
        }
        CConcealment_UpdateState(info, 0);
        randomise = info->prevFrameOk == 0;
    }

    if (randomise) CConcealment_ApplyRandomSign(info, spectrum, state);

    info->prevPrevFrameOk = info->prevFrameOk;
    info->prevFrameOk = static_cast<uint32_t>(frameOk);
    switch (info->concealState) {
        case kMute:
            myMemSet(spectrum, 0, kFrameLen * static_cast<int32_t>(sizeof(int32_t)));
            break;
        case kFadeIn: {
            const uint32_t idx = info->fadeInFrames - info->counter;
            if (idx < 8) shiftFrame(spectrum, fadeInFac[idx]);
            break;
        }
        case kFadeOut:
            if (info->counter < 8) shiftFrame(spectrum, fadeOutFac[info->counter]);
            break;
        default:
            break;
    }
}

AACD_EXPORT void CConcealment_UpdateState(CConcealmentInfo *info, int32_t frameOk) {
    // The frame about to be synthesised is good, or it is a single loss that
    // interpolation repairs.
    const bool good = info->prevFrameOk != 0 || (frameOk != 0 && info->prevPrevFrameOk != 0);
    switch (info->concealState) {
        case kNormal:
            if (!good) info->concealState = kFadeOut;
            break;
        case kFadeOut:
            if (good) {
                info->concealState = kNormal;
                info->counter = 0;
            } else {
                ++info->counter;
                if (info->counter == info->fadeOutFrames) {
                    info->concealState = kMute;
                    info->counter = 0;
                }
            }
            break;
        case kMute:
            if (good) {
                ++info->counter;
                if (info->counter >= info->muteReleaseFrames) {
                    info->concealState = kFadeIn;
                    info->counter = 0;
                }
            }
            break;
        case kFadeIn:
            if (good) {
                ++info->counter;
                if (info->counter == info->fadeInFrames) {
                    info->concealState = kNormal;
                    info->counter = 0;
                }
            } else {
                info->concealState = kFadeOut;
                info->counter = 0;
            }
            break;
        default:
            break;
    }
}

AACD_EXPORT void CConcealment_CalcBandEnergy(const int32_t *spectrum, int32_t blockType,
                                             int32_t mapToLong, int32_t *energies,
                                             const AacdDecoderState *state) {
    if (blockType < 0 || blockType > 3) return;
    const bool shortBlock = blockType == 2;
    const bool stretched = shortBlock && mapToLong != 0;  // one short window on long bands
    const BandLayout bands = bandLayout(state, shortBlock && !stretched);
    int32_t start = 0;
    for (int32_t b = 0; b < bands.count; ++b) {
        const int32_t end = bands.ends[b];
        int64_t sum = 1;
        for (int32_t i = start; i < end; ++i) {
            int64_t q;
            if (stretched) {
                const int32_t x = spectrum[i / 8];
                q = ((((halve(x) * x) >> 1) + (int64_t{1} << 30)) >> 31);
            } else {
                const int64_t h = halve(spectrum[i]);
                q = ((h * h + (int64_t{1} << 30)) >> 31);
            }
            sum += q;
        }
        energies[b] = -LSI_exp(sum);
        start = end;
    }
}

AACD_EXPORT void CConcealment_InterpolateBuffer(int32_t *spectrum, const int32_t *energiesOwn,
                                                const int32_t *energiesOther,
                                                int32_t bandCount, const uint16_t *bandEnds) {
    if (bandEnds == nullptr) return;
    int32_t start = 0;
    for (int32_t b = 0; b < bandCount; ++b) {
        const int32_t end = bandEnds[b];
        if (end <= start) continue;
        // 32-bit difference with wrap-around.
        const int32_t d = static_cast<int32_t>(static_cast<uint32_t>(energiesOther[b]) -
                                               static_cast<uint32_t>(energiesOwn[b]));
        const int64_t f = facMod4Table[d & 3];
        const int32_t k = (d >> 2) + 1;
        if (k < 0) {
            for (int32_t i = start; i < end; ++i) spectrum[i] = 0;
        } else {
            for (int32_t i = start; i < end; ++i) {
                const int64_t r = (spectrum[i] * f + (int64_t{1} << 30)) >> 31;
                // Only the low 32 bits of r << k are kept; they are zero once
                // k reaches 32.
                const uint32_t low =
                    k < 32 ? static_cast<uint32_t>(static_cast<uint64_t>(r) << k) : 0u;
                spectrum[i] = static_cast<int32_t>(low);
            }
        }
        start = end;
    }
}

AACD_EXPORT void CConcealment_ApplyRandomSign(CConcealmentInfo *info, int32_t *spectrum,
                                              const AacdDecoderState *state) {
    const int8_t *signs = state->randomPhase != nullptr ? state->randomPhase : AACD_randomPhase;
    uint32_t idx = info->randomPhaseIndex & 511u;
    for (int32_t i = 0; i < kFrameLen; ++i) {
        // Two's complement negation; the most negative value stays as it is.
        if (signs[idx] == -1) {
            spectrum[i] = static_cast<int32_t>(0u - static_cast<uint32_t>(spectrum[i]));
        }
        idx = (idx + 1) & 511u;
    }
    info->randomPhaseIndex = idx;
}

AACD_EXPORT int32_t LSI_exp(int64_t x) {
    const uint64_t v = x < 0 ? ~static_cast<uint64_t>(x) : static_cast<uint64_t>(x);
    if (v == 0) return 31;
    const int32_t log2 = 63 - __builtin_clzll(v);
    return 30 - log2;
}

}  // extern "C"
