// SPDX-License-Identifier: BSD-2-Clause
// Copyright (c) 2026 The aacd authors
// spectral_data(): the Huffman-coded quantised spectrum of one individual
// channel stream, into 32-bit integers in coded order.
//
// Sections are taken in order from the running section arrays
// (numSect[g] of them for group g).  A section covers the values from the
// current position of its group up to the start of its end band:
//   long window   start = long offset[e];
//   short windows start = short offset[e] * windowGroupLength[g], counted
//                 from the group's first value (the group's windows of one
//                 band follow each other, band after band).
// Codebooks 0, 12, 13, 14 and 15 write zeros and read nothing; codebooks 1..4
// decode 4-tuples, 5..11 pairs.  Unsigned codebooks (3, 4, 7..11) are
// followed by one sign bit per nonzero value, in order; codebook 11 then
// replaces a magnitude of 16 by its escape value: n leading ones, a zero,
// and an (n + 4)-bit word w give 2^(n + 4) + w.  Groups follow each other
// without gaps.  A long window is padded with zeros up to value 1023; after
// the last short-window group nothing is written.
//
// Status:
//   0   success;
//   -2  an escape prefix of more than 8 ones, which no valid stream has
//       (values up to 8191 need at most 8) and which would run past a
//       32-bit field; position after the code word and its sign bits (and
//       the first escape when it is the second that fails).  Values written
//       so far remain.  The spectrum codebooks are complete, so every bit
//       pattern starts a code word: there is no other syntax error here.
//   -5  arguments that the side information readers never produce: a null
//       reference (the section arrays may be null when there are no
//       sections, the group lengths for a long window), samplingRateIndex
//       outside 0..11, maxSfb above the band count of the window kind, a
//       long window without exactly one group, short windows with 0 or more
//       than 8 groups or more than 8 windows, a section end above maxSfb or
//       a group with more than maxSfb sections (so at most 8 x 15 = 120
//       sections in all).  Nothing is read or written before these checks
//       except for a section end checked when reached.
// Code words are resolved with the generated lookup tables, which give
// exactly the code word that armUnPackVLC32 finds in armACAAC_CodeBooks_C[cb]
// together with its decoded values.  The code word and its sign bits (at
// most 16 + 4 bits) come from one 64-bit cache word, refilled only when
// fewer bits than that are left in it.
#include "omxdl/ac/armACAAC.h"
#include "omxdl/ac/armACAAC_Bounded.h"
#include "omxdl/ac/armACAAC_HuffLookup.h"

namespace {

constexpr int32_t kFrameLength = 1024;
constexpr int32_t kMaxGroups = 8;
constexpr uint32_t kMaxEscapePrefix = 8;
// Bits of the longest escape sequence that is accepted: 8 ones, the zero
// and a 12-bit word.
constexpr uint32_t kMaxEscapeBits = 2 * kMaxEscapePrefix + 5;
// Longest code word of each codebook.
constexpr uint32_t kLongest[12] = {19, 11, 9, 16, 12, 13, 11, 12, 10, 15, 12, 12};

// Escape value of codebook 11 at the reader, which moves past it; -1 for a
// prefix of more than 8 ones (reader unchanged).
[[nodiscard]] inline int32_t readEscape(aacd::BitReader &r) {
    if (r.avail < kMaxEscapeBits) aacd::bitRefill(r);
    const uint64_t inv = ~r.cache;
    const uint32_t ones = inv == 0u ? 64u : static_cast<uint32_t>(__builtin_clzll(inv));
    if (ones > kMaxEscapePrefix) return -1;
    const uint32_t bits = ones + 4u;
    const uint32_t word = static_cast<uint32_t>((r.cache << (ones + 1u)) >> (64u - bits));
    aacd::bitDrop(r, ones + 1u + bits);
    return static_cast<int32_t>((1u << bits) + word);
}

// v negated when s is 1 (a conditional negate where the target has one).
[[nodiscard]] inline int32_t applySign(int32_t v, uint32_t s) { return s != 0u ? -v : v; }

// One code word of codebook CB with its sign bits (and, for codebook 11, its
// escapes) from the reader, whose cache holds at least the bits of a code
// word and its signs; the values go to q.  The lookup leaf gives the values
// and the bits the code word and its sign bits take together, so the next
// code word's lookup waits for nothing else.  The sign bits are the last of
// those bits, one per nonzero value in order: counted from the end, value
// i's sign bit comes after those of the nonzero values that follow it (a
// sign applied to a zero value changes nothing).  Returns false for an
// escape prefix of more than 8 ones.
template <int CB>
[[nodiscard]] inline bool decodeTuple(aacd::BitReader &r, int32_t *q) {
    constexpr bool kQuad = CB <= 4;
    constexpr bool kUnsigned = CB == 3 || CB == 4 || CB >= 7;
    // The codebooks are complete: every bit pattern starts a code word.
    const uint32_t leaf = aacd::huffLookupSpectrum(aacd::kHuffLookup[CB], r.cache);
    const uint32_t taken = aacd::huffLength(leaf);
    // The taken bits as a number: the sign bits are its lowest bits.
    const uint32_t bits = static_cast<uint32_t>(r.cache >> (64u - taken));
    aacd::bitDrop(r, taken);
    if constexpr (kQuad) {
        int32_t v0 = aacd::huffValue<CB>(leaf, 0), v1 = aacd::huffValue<CB>(leaf, 1);
        int32_t v2 = aacd::huffValue<CB>(leaf, 2), v3 = aacd::huffValue<CB>(leaf, 3);
        if constexpr (kUnsigned) {
            const uint32_t k2 = v3 != 0;
            const uint32_t k1 = k2 + (v2 != 0);
            const uint32_t k0 = k1 + (v1 != 0);
            v3 = applySign(v3, bits & 1u);
            v2 = applySign(v2, (bits >> k2) & 1u);
            v1 = applySign(v1, (bits >> k1) & 1u);
            v0 = applySign(v0, (bits >> k0) & 1u);
        }
        q[0] = v0;
        q[1] = v1;
        q[2] = v2;
        q[3] = v3;
    } else {
        int32_t y = aacd::huffValue<CB>(leaf, 0), z = aacd::huffValue<CB>(leaf, 1);
        if constexpr (kUnsigned) {
            const uint32_t sz = bits & 1u;
            const uint32_t sy = (bits >> (z != 0)) & 1u;
            if constexpr (CB == 11) {
                // Of the magnitudes 0..16 only the escape has bit 4 set:
                // one test tells whether either value is escaped.
                constexpr uint32_t kEscapeBits = (1u << 4) | (1u << 9);
                if ((leaf & kEscapeBits) != 0u) {
                    if (y == 16) {
                        y = readEscape(r);
                        if (y < 0) return false;
                    }
                    if (z == 16) {
                        z = readEscape(r);
                        if (z < 0) return false;
                    }
                }
            }
            y = applySign(y, sy);
            z = applySign(z, sz);
        }
        q[0] = y;
        q[1] = z;
    }
    return true;
}

// Decodes `tuples` code words of codebook CB into p, which advances.  One
// refill serves two code words (for codebook 11, whose escapes refill on
// their own, one).
template <int CB>
[[nodiscard]] int32_t decodeRun(int32_t *&p, int32_t tuples, aacd::BitReader &reader) {
    constexpr int32_t kDim = CB <= 4 ? 4 : 2;
    constexpr bool kUnsigned = CB == 3 || CB == 4 || CB >= 7;
    constexpr uint32_t kTupleBits = kLongest[CB] + (kUnsigned ? static_cast<uint32_t>(kDim) : 0u);
    static_assert(2 * kTupleBits <= aacd::kRefillBits, "two code words fit one refill");
    aacd::BitReader r = reader;
    int32_t *q = p;
    int32_t *const end = p + kDim * tuples;
    bool ok = true;
    if constexpr (CB == 11) {
        for (; q < end && ok; q += kDim) {
            if (r.avail < kTupleBits) aacd::bitRefill(r);
            ok = decodeTuple<CB>(r, q);
        }
    } else {
        for (; q + 2 * kDim <= end; q += 2 * kDim) {
            if (r.avail < 2 * kTupleBits) aacd::bitRefill(r);
            (void)decodeTuple<CB>(r, q);
            (void)decodeTuple<CB>(r, q + kDim);
        }
        if (q < end) {
            if (r.avail < kTupleBits) aacd::bitRefill(r);
            (void)decodeTuple<CB>(r, q);
            q += kDim;
        }
    }
    reader = r;
    if (!ok) q -= kDim;  // the failed tuple is not counted as written
    p = q;
    return ok ? omxsts::kNoErr : omxsts::kErr;
}

// Decodes the values of one section, n values in all, with codebook cb.
[[nodiscard]] int32_t decodeSection(uint32_t cb, int32_t *&p, int32_t n, aacd::BitReader &pos) {
    const int32_t quads = (n + 3) / 4;
    const int32_t pairs = (n + 1) / 2;
    switch (cb) {
        case 1: return decodeRun<1>(p, quads, pos);
        case 2: return decodeRun<2>(p, quads, pos);
        case 3: return decodeRun<3>(p, quads, pos);
        case 4: return decodeRun<4>(p, quads, pos);
        case 5: return decodeRun<5>(p, pairs, pos);
        case 6: return decodeRun<6>(p, pairs, pos);
        case 7: return decodeRun<7>(p, pairs, pos);
        case 8: return decodeRun<8>(p, pairs, pos);
        case 9: return decodeRun<9>(p, pairs, pos);
        case 10: return decodeRun<10>(p, pairs, pos);
        case 11: return decodeRun<11>(p, pairs, pos);
        default:
            for (int32_t i = 0; i < n; ++i) p[i] = 0;
            p += n;
            return omxsts::kNoErr;
    }
}

}  // namespace

namespace aacd {

int32_t decodeSpectralData(int32_t *pQuantValues, int32_t windowSequence, int32_t numWinGrp,
                           int32_t samplingRateIndex, const uint8_t *pSectCb,
                           const uint8_t *pSectEnd, const int32_t *pWinGrpLen,
                           const int32_t *pNumSect, aacd::BitReader *pPos, int32_t maxSfb) {
    if (pQuantValues == nullptr || pNumSect == nullptr || pPos == nullptr) return omxsts::kBadArg;
    if (samplingRateIndex < 0 || samplingRateIndex > 11 || maxSfb < 0) return omxsts::kBadArg;
    const bool shortWindows = windowSequence == EIGHT_SHORT_SEQUENCE;
    const uint16_t *offsets;
    if (shortWindows) {
        if (maxSfb > armACAAC_numSwbShort[samplingRateIndex]) return omxsts::kBadArg;
        if (numWinGrp < 1 || numWinGrp > kMaxGroups || pWinGrpLen == nullptr) {
            return omxsts::kBadArg;
        }
        int32_t windows = 0;
        for (int32_t g = 0; g < numWinGrp; ++g) {
            if (pWinGrpLen[g] < 0 || pWinGrpLen[g] > 8) return omxsts::kBadArg;
            windows += pWinGrpLen[g];
        }
        if (windows > 8) return omxsts::kBadArg;
        offsets = armACAAC_swbOffsetShortWindow[samplingRateIndex];
    } else {
        if (maxSfb > armACAAC_numSwbLong[samplingRateIndex]) return omxsts::kBadArg;
        if (numWinGrp != 1) return omxsts::kBadArg;
        offsets = armACAAC_swbOffsetLongWindow[samplingRateIndex];
    }
    int32_t sections = 0;
    for (int32_t g = 0; g < numWinGrp; ++g) {
        if (pNumSect[g] < 0 || pNumSect[g] > maxSfb) return omxsts::kBadArg;
        sections += pNumSect[g];
    }
    if (sections > 0 && (pSectCb == nullptr || pSectEnd == nullptr)) return omxsts::kBadArg;

    aacd::BitReader pos = *pPos;
    int32_t *p = pQuantValues;
    int32_t s = 0;
    int32_t status = omxsts::kNoErr;
    for (int32_t g = 0; g < numWinGrp && status == omxsts::kNoErr; ++g) {
        const int32_t scale = shortWindows ? pWinGrpLen[g] : 1;
        int32_t inGroup = 0;  // values written in this group
        for (int32_t k = 0; k < pNumSect[g]; ++k, ++s) {
            const uint32_t cb = pSectCb[s];
            const int32_t end = pSectEnd[s];
            if (end > maxSfb) { status = omxsts::kBadArg; break; }
            const int32_t stop = offsets[end] * scale;
            if (inGroup >= stop) continue;
            int32_t *const first = p;
            status = decodeSection(cb, p, stop - inGroup, pos);
            inGroup += static_cast<int32_t>(p - first);
            if (status != omxsts::kNoErr) break;
        }
        if (!shortWindows && status == omxsts::kNoErr) {
            for (; inGroup < kFrameLength; ++inGroup) *p++ = 0;
        }
    }
    *pPos = pos;
    return status;
}

}  // namespace aacd

extern "C" {

AACD_EXPORT int32_t armACAAC_DecodeSpectralData(int32_t *pQuantValues, int32_t windowSequence,
                                                int32_t numWinGrp, int32_t samplingRateIndex,
                                                const uint8_t *pSectCb, const uint8_t *pSectEnd,
                                                const int32_t *pWinGrpLen,
                                                const int32_t *pNumSect,
                                                const uint8_t **ppBitStream, uint32_t *pOffset,
                                                int32_t maxSfb) {
    const auto decode = [&](aacd::BitReader *pPos) {
        return aacd::decodeSpectralData(pQuantValues, windowSequence, numWinGrp, samplingRateIndex,
                                        pSectCb, pSectEnd, pWinGrpLen, pNumSect, pPos, maxSfb);
    };
    return aacd::onExportedPosition(ppBitStream, pOffset, decode);
}

}  // extern "C"
