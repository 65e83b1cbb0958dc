// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// The frame driver: one raw data block in, one frame of PCM out.
//
// The decoder runs one frame behind its input.  Each call parses its block
// into the working spectrum buffers and, when the frame is good, holds those
// spectra back by exchanging the buffer sets; it then synthesises the spectra
// held back by the previous call.  A frame that fails anywhere is concealed
// from its neighbours instead, and the call still delivers a full frame.
//
// Reads are bounded by input_size: bits at or past input + input_size read
// as zero and no byte there is touched.  An element that leaves the position
// past the end makes the frame bad with status -1, and bits_consumed never
// exceeds 8 * input_size.  A lost or rejected frame reports bits_consumed 0.
//
// Each channel remembers the window shape its overlap buffer was windowed
// with (slotPrevShape) and passes that as the previous shape to the inverse
// MDCT.  The per-window-index bookkeeping alone would hand the second
// channel of a common-window pair this frame's shape as its previous one,
// since the first channel updates the shared index just before it; at every
// shape change that would window the second channel's rising half wrongly.
#include <cstdint>

#include "aacd.h"
#include "bitstream/armCOMM_Bitstream.h"
#include "common/util2.h"
#include "conceal/conceal.h"
#include "config/config.h"
#include "config/huffdec1.h"
#include "decoder/decoder.h"
#include "omxdl/ac/armACAAC.h"

namespace {

enum ElementId : uint32_t {
    kSce = 0, kCpe = 1, kCce = 2, kLfe = 3, kDse = 4, kPce = 5, kFil = 6, kEnd = 7
};

constexpr int32_t kTnsProfile = 1;

// Outcome of the spectral tools of one element.
enum class ToolResult { kOk, kTnsFailed, kAbort };

// Window-group lengths of a slot in the form the spectral tools take.
struct GroupLengths {
    int32_t len[8];
    explicit GroupLengths(const AacdSlotWork &w) {
        for (int g = 0; g < 8; ++g) len[g] = w.winGrpLen[g];
    }
};

// Mid/side, noise substitution, intensity stereo, deinterleaving and TNS for
// the slots of the element just decoded, each tool over all slots before the
// next.  Fills *abortStatus with 44 or 46 when the call must end at once.
ToolResult runSpectralTools(AacdDecoderState *st, int32_t first, int32_t last,
                            int32_t *abortStatus) {
    const AacdMcInfo &map = *st->pMcInfo;
    const int32_t sri = st->samplingRateIndex;

    for (int32_t c = first; c <= last; ++c) {
        const AacdChannelSlot &s = map.slot[c];
        const AacdSlotWork &w = st->slotWork[c];
        if (s.present && s.isCpe && s.isLeft && st->msMaskPresent[s.windowIndex]) {
            const int32_t p = s.partner;
            const GroupLengths gl(w);
            if (omxACAAC_DecodeMsStereo_S32_I(aacd::workingSpectrum(st, c),
                                              aacd::workingSpectrum(st, p), &st->chanPairElt,
                                              aacd::slotSfbCb(st, p), w.numWinGrp, gl.len,
                                              w.maxSfb, sri, w.windowLength) != 0) {
                *abortStatus = AACD_ERR_MS_STEREO;
                return ToolResult::kAbort;
            }
        }
    }
    for (int32_t c = first; c <= last; ++c) {
        const AacdChannelSlot &s = map.slot[c];
        const AacdSlotWork &w = st->slotWork[c];
        if (w.noiseFlag && s.present) {
            const GroupLengths gl(w);
            const int32_t secondChannel = (s.isCpe == 1 && s.isLeft == 0) ? 1 : 0;
            // The operation clears the prediction flag of every noise band,
            // up to max_sfb (51 at most).  Low Complexity streams carry no
            // long-term prediction, so every flag is 0: a zeroed array large
            // enough stands in for them.
            int32_t bandFlags[64] = {};
            (void)omxACAAC_DecodeMsPNS_S32_I(
                aacd::workingSpectrum(st, c), bandFlags,
                aacd::slotSfbCb(st, c), aacd::slotScaleFactors(st, c), w.maxSfb, w.numWinGrp,
                gl.len, sri, w.windowLength, &st->randomState, secondChannel,
                &st->chanPairElt.msUsed[0][0], st->noiseSeeds, armACAAC_PNSConsts,
                armACAAC_swbDiffOffsetShortWindow, armACAAC_swbDiffOffsetLongWindow);
        }
    }
    for (int32_t c = first; c <= last; ++c) {
        const AacdChannelSlot &s = map.slot[c];
        const AacdSlotWork &w = st->slotWork[c];
        if (w.isFlag && s.present && s.isCpe && !s.isLeft) {
            const GroupLengths gl(w);
            // Its arguments are the band layout that inverse quantisation of
            // the same channel has just accepted, so it cannot refuse them.
            (void)omxACAAC_DecodeIsStereo_S32(aacd::workingSpectrum(st, s.partner),
                                              aacd::workingSpectrum(st, c),
                                              aacd::slotScaleFactors(st, c),
                                              aacd::slotSfbCb(st, c), w.numWinGrp, gl.len,
                                              w.maxSfb, sri, w.windowLength);
        }
    }
    for (int32_t c = first; c <= last; ++c) {
        const AacdSlotWork &w = st->slotWork[c];
        if (w.windowLength == 128) {
            const GroupLengths gl(w);
            int32_t *coefs = aacd::workingSpectrum(st, c);
            if (omxACAAC_DeinterleaveSpectrum_S32(coefs, st->scratch, w.numWinGrp, gl.len,
                                                  w.maxSfb, sri, 128) != 0) {
                *abortStatus = AACD_ERR_DEINTERLEAVE;
                return ToolResult::kAbort;
            }
            myMemCopy(coefs, st->scratch, kSpectrumLen * 4);
        }
    }
    ToolResult result = ToolResult::kOk;
    for (int32_t c = first; c <= last; ++c) {
        const AacdChannelSlot &s = map.slot[c];
        const AacdSlotWork &w = st->slotWork[c];
        if (s.present && w.tnsFlag == 1) {
            const AacdTnsRecord *t = aacd::tnsRecord(st, c);
            if (omxACAAC_DecodeTNS_S32_I(aacd::workingSpectrum(st, c), t->info.tnsNumFilters,
                                         t->info.tnsLength, t->info.tnsOrder,
                                         t->info.tnsCoefRes, t->coef, t->info.tnsDirection,
                                         w.maxSfb, kTnsProfile, sri, w.windowLength) != 0) {
                result = ToolResult::kTnsFailed;
            }
        }
    }
    return result;
}

}  // namespace

extern "C" AACD_EXPORT int32_t AACD_decoder_frame(int32_t *pcm, AacdFrameOutput *output,
                                                  AacdDecoderState *st, const uint8_t *input,
                                                  int32_t inputSize,
                                                  const AacdBlockParams *blockParams,
                                                  AacdSbrLink *sbr, uint32_t sbrMode) {
    output->sampling_rate = 0;
    output->num_channels = 0;
    output->aux_b = 0;
    output->frame_samples = 0;
    output->bits_consumed = 0;
    st->bitsConsumed = 0;
    if (sbrMode) sbr->payload->entry_count = 0;

    const int32_t size = inputSize > 0 ? inputSize : 0;
    int32_t status = 0;
    bool blockRead = false;

    if (st->frameOk != 0) {
        status = AACD_decode_info(st, blockParams);
        if (status != 0) {
            st->frameOk = 0;
        } else {
            blockRead = true;
            st->bitPos = aacd::bitReaderAt(input, static_cast<uint32_t>(size));
            AACD_reset_mc_info(st->pMcInfo, st);
            int32_t *spectra[kNumSlots];
            for (int c = 0; c < kNumSlots; ++c) spectra[c] = aacd::workingSpectrum(st, c);

            int32_t prevId = kEnd;
            for (;;) {
                const uint32_t id = aacd::bitGet(st->bitPos, 3);
                if (id == kEnd) break;
                if (id == kSce || id == kCpe || id == kLfe) {
                    int32_t first = 0;
                    int32_t last = 0;
                    if (AACD_huffdecode(static_cast<int32_t>(id), st->pMcInfo,
                                        st->windowSequence, st->windowShape,
                                        st->msMaskPresent, spectra, &first, &last, st) != 0 ||
                        aacd::bitPastEnd(st->bitPos)) {
                        status = AACD_ERR_ELEMENT;
                        st->frameOk = 0;
                    } else {
                        st->samplingRateIndex = st->chInfo.samplingRateIndex;
                        int32_t abortStatus = 0;
                        const ToolResult r = runSpectralTools(st, first, last, &abortStatus);
                        if (r == ToolResult::kAbort) return abortStatus;
                        if (r == ToolResult::kTnsFailed) st->frameOk = 0;
                    }
                } else if (id == kCce) {
                    status = AACD_ERR_COUPLING;
                    st->frameOk = 0;
                } else if (id == kDse) {
                    int32_t tag = 0;
                    int32_t count = 0;
                    (void)AACD_getdata(&tag, &count, st);
                } else if (id == kPce) {
                    int32_t tag = 0;
                    if (AACD_get_prog_config(&st->progConfig, &tag, st) != 0) {
                        status = AACD_ERR_CONFIG;
                        st->frameOk = 0;
                    }
                } else {  // fill element
                    if (sbrMode) {
                        SBRD_getfill(prevId, sbr);
                    } else {
                        AACD_getfill(st);
                    }
                }
                if (st->frameOk != 0 && aacd::bitPastEnd(st->bitPos)) {
                    status = AACD_ERR_ELEMENT;
                    st->frameOk = 0;
                }
                prevId = static_cast<int32_t>(id);
                if (st->frameOk == 0) break;
            }
            // No check is needed after the loop: the end element's id reads
            // 7 only from bits inside the block (bits past its end read as
            // zero), and every element before it has been checked above.
        }
    }

    // Close the frame.
    ++st->frameCounter;
    uint32_t bits = 0;
    if (blockRead) {
        (void)AACD_bs_byte_align(st);
        const int64_t consumed = aacd::bitIndex(st->bitPos);
        const int64_t limit = static_cast<int64_t>(size) * 8;
        bits = static_cast<uint32_t>(consumed < limit ? consumed : limit);
    }
    st->bitsConsumed = bits;
    output->bits_consumed = bits;
    if (st->checkFrameLength == 1 && blockRead) {
        const int32_t maxBits = static_cast<int32_t>(static_cast<uint32_t>(blockParams->frame_bytes) * 8u);
        if (static_cast<int64_t>(maxBits) < static_cast<int64_t>(st->bitsConsumed)) {
            const uint32_t clamped = maxBits > 0 ? static_cast<uint32_t>(maxBits) : 0;
            st->bitsConsumed = clamped;
            output->bits_consumed = clamped;
            st->frameOk = 0;
        }
    }

    // Prepare synthesis: hold back a good frame's spectra, or restore the
    // last good channel map for a bad one.
    const bool workingWasSecond = st->workingIsSecondSet != 0;
    if (st->frameOk == 1) {
        for (int c = 0; c < kNumSlots; ++c) {
            st->conceal[c].storedSpectrum =
                workingWasSecond ? st->conceal[c].buffer : st->firstSet + kSpectrumLen * c;
        }
        st->workingIsSecondSet = workingWasSecond ? 0 : 1;
    } else {
        AACD_restore_mc_info(st->pMcInfo, st);
        for (int c = 0; c < kNumSlots; ++c) {
            st->conceal[c].storedSpectrum =
                workingWasSecond ? st->firstSet + kSpectrumLen * c : st->conceal[c].buffer;
        }
    }

    if (sbrMode) {
        if (st->frameOk != 1) sbr->payload->entry_count = 0;
        myMemCopy(sbr->swap, sbr->payload, sizeof(AacdSbrPayload));
        myMemCopy(sbr->payload, sbr->previous, sizeof(AacdSbrPayload));
        myMemCopy(sbr->previous, sbr->swap, sizeof(AacdSbrPayload));
    }

    // The audio synthesised now is the frame held back by the previous good
    // call (or a concealment of it), so it goes out under that frame's
    // layout and sampling rate.  Until a first good frame has been held
    // back, the initial silence takes the current map's layout.
    AacdMcInfo &map = *st->pMcInfo;
    const bool good = st->frameOk == 1;
    const bool haveHeld = st->heldRateIndex != kNoLayout;
    uint8_t outRole[kNumSlots];
    uint8_t newRole[kNumSlots];
    for (int c = 0; c < kNumSlots; ++c) {
        newRole[c] = aacd::slotRole(map.slot[c]);
        outRole[c] = haveHeld ? st->heldRole[c] : newRole[c];
    }
    const int32_t sriNew = map.samplingRateIndex;
    const int32_t sriOut = haveHeld ? st->heldRateIndex : sriNew;
    int32_t numChannels = 0;
    for (int c = 0; c < kNumSlots; ++c) {
        st->outPresent[c] = outRole[c] != 0;
        numChannels += st->outPresent[c];
    }
    output->num_channels = static_cast<uint32_t>(numChannels);
    output->frame_samples = kSpectrumLen;
    output->sampling_rate = (sriOut >= 0 && sriOut < 16) ? st->sampleRates[sriOut].samplingRate : 0;
    output->aux_b = static_cast<uint32_t>(st->auxB);

    // A good frame whose slot changes role (or rate) against the held-back
    // frame: the two frames belong to different streams, so concealment of
    // that slot must not interpolate between them.  (On a bad frame the map
    // is the restored last good one; a slot marked there anyway is harmless,
    // since concealing a bad frame neither reads prevPrevFrameOk nor keeps
    // it, and the resets below are for good frames only.)
    const bool layoutChanges = haveHeld;
    const bool rateChanges = layoutChanges && sriNew != sriOut;
    bool changed[kNumSlots];
    for (int c = 0; c < kNumSlots; ++c) {
        changed[c] = layoutChanges && (newRole[c] | outRole[c]) != 0 &&
                     (rateChanges || newRole[c] != outRole[c]);
        if (changed[c]) st->conceal[c].prevPrevFrameOk = 0;
    }

    // Concealment reads its band layout from the map's sampling rate: lend
    // it the rate of the frame being synthesised.
    map.samplingRateIndex = sriOut;
    int32_t *out = pcm;
    for (int c = 0; c < kNumSlots; ++c) {
        const bool inMap = newRole[c] != 0;
        // Concealment runs for every slot synthesised and, on a good frame,
        // for every slot just decoded, whose record takes over the window
        // sequence and shape of the new frame (those of an absent slot: 0).
        if (outRole[c] == 0 && !(good && inMap)) continue;
        const int32_t w = map.slot[c].windowIndex;
        uint8_t sequence = inMap ? st->windowSequence[w] : 0;
        uint8_t shape = inMap ? st->windowShape[w][0] : 0;
        int32_t *coefs = aacd::workingSpectrum(st, c);
        CConcealment_Apply(&st->conceal[c], coefs, &sequence, &shape, st, st->frameOk);
        if (outRole[c] == 0) continue;
        int32_t *dst = out;
        int32_t stride = numChannels;
        if (sbrMode) {
            dst = sbr->core_output + 2048 * c;
            stride = 1;
        } else {
            ++out;
        }
        (void)omxACAAC_MDCTInv_S32_S32(coefs, dst, aacd::overlapBuffer(st, c), sequence, shape,
                                       st->slotPrevShape[c], stride, st->outputBits,
                                       st->imdctTables);
        if (inMap) st->windowShape[w][1] = shape;
        st->slotPrevShape[c] = shape;
    }
    map.samplingRateIndex = sriNew;

    // Hold the new frame's layout back with its spectra.  A slot that left
    // the map forgets everything of its old stream; a slot whose role or
    // rate changed starts its overlap from silence, as after initialisation.
    if (good) {
        for (int c = 0; c < kNumSlots; ++c) {
            if (!changed[c]) continue;
            myMemSet(aacd::overlapBuffer(st, c), 0, kSpectrumLen * 4);
            st->slotPrevShape[c] = 0;
            CConcealmentInfo &rec = st->conceal[c];
            if (newRole[c] == 0) {
                myMemSet(st->firstSet + kSpectrumLen * c, 0, kSpectrumLen * 4);
                CConcealment_Init(&rec);
            } else {
                rec.randomPhaseIndex = 0;
                rec.prevPrevFrameOk = 1;
                rec.prevFrameOk = 1;
                rec.counter = 0;
                rec.concealState = 0;
            }
        }
        for (int c = 0; c < kNumSlots; ++c) st->heldRole[c] = newRole[c];
        st->heldRateIndex = static_cast<uint8_t>(sriNew >= 0 && sriNew < 16 ? sriNew : 15);
    }

    if (st->frameOk == 1) AACD_restore_mc_info(st->pMcInfo, st);
    st->frameOk = 1;
    return status;
}
