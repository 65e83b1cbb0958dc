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
//   -2  a bit pattern that matches no code word of the section's codebook
//       (position before the code word), or an escape prefix of more than
//       8 ones, which no valid stream has (values up to 8191 need at most
//       8) and which would run past a 32-bit field; position after the code
//       word and its sign bits.  Values written so far remain.
//   -5  arguments that the side information readers never produce: a null
//       reference (the section arrays may be null when there are no
//       sections, the group lengths for a long window), samplingRateIndex outside 0..11, maxSfb above the band
//       count of the window kind, a long window without exactly one group,
//       short windows with 0 or more than 8 groups or more than 8 windows,
//       a section end above maxSfb, a group with more than maxSfb sections
//       or more than 120 sections in all.  Nothing is read or written
//       before these checks except for a section end checked when reached.
// Code words are resolved with the generated lookup tables, which give
// exactly what armUnPackVLC32 gives over armACAAC_CodeBooks_C[cb].  The code
// word and its sign bits (at most 16 + 4 bits) come from one 32-bit window.
#include "omxdl/ac/armACAAC.h"
#include "omxdl/ac/armACAAC_Bounded.h"
#include "omxdl/ac/armACAAC_HuffLookup.h"

namespace {

constexpr int32_t kFrameLength = 1024;
constexpr int32_t kMaxGroups = 8;
constexpr int32_t kMaxSections = 120;
constexpr uint32_t kMaxEscapePrefix = 8;

struct Book {
    bool quad;       // 4-tuples (else pairs)
    bool unsignedV;  // sign bits follow
    int32_t lav;
    [[nodiscard]] constexpr int32_t modulus() const { return unsignedV ? lav + 1 : 2 * lav + 1; }
    [[nodiscard]] constexpr int32_t offset() const { return unsignedV ? 0 : lav; }
};

constexpr Book kBooks[12] = {
    {false, false, 0}, {true, false, 1}, {true, false, 1},  {true, true, 2},
    {true, true, 2},   {false, false, 4}, {false, false, 4}, {false, true, 7},
    {false, true, 7},  {false, true, 12}, {false, true, 12}, {false, true, 16},
};

// Escape value of codebook 11 at the position, which moves past it; -1 for
// a prefix of more than 8 ones (position unchanged).
[[nodiscard]] inline int32_t readEscape(aacd::BitReader &pos) {
    const uint32_t w = aacd::bitWindow(pos);
    const uint32_t inv = ~w;
    const uint32_t ones = inv == 0u ? 32u : static_cast<uint32_t>(__builtin_clz(inv));
    if (ones > kMaxEscapePrefix) return -1;
    const uint32_t bits = ones + 4u;
    const uint32_t word = (w << (ones + 1u)) >> (32u - bits);
    aacd::bitSkip(pos, static_cast<int32_t>(ones + 1u + bits));
    return static_cast<int32_t>((1u << bits) + word);
}

// Decodes `tuples` code words of codebook CB into p, which advances.
template <int CB>
[[nodiscard]] int32_t decodeRun(int32_t *&p, int32_t tuples, aacd::BitReader &pos) {
    constexpr Book book = kBooks[CB];
    constexpr int32_t m = book.modulus();
    constexpr int32_t off = book.offset();
    const aacd::HuffLookup &lookup = aacd::kHuffLookup[CB];
    for (int32_t t = 0; t < tuples; ++t) {
        const uint32_t w = aacd::bitWindow(pos);
        const uint32_t leaf = aacd::huffLookup(lookup, w);
        const uint32_t len = aacd::huffLength(leaf);
        if (len == 0u) return omxsts::kErr;
        int32_t idx = static_cast<int32_t>(aacd::huffIndex(leaf));
        if constexpr (book.quad) {
            int32_t v[4];
            v[0] = idx / (m * m * m) - off;
            idx %= m * m * m;
            v[1] = idx / (m * m) - off;
            idx %= m * m;
            v[2] = idx / m - off;
            v[3] = idx % m - off;
            uint32_t used = len;
            if constexpr (book.unsignedV) {
                const uint32_t nz = static_cast<uint32_t>((v[0] != 0) + (v[1] != 0) +
                                                          (v[2] != 0) + (v[3] != 0));
                if (nz != 0u) {
                    uint32_t signs = (w << len) >> (32u - nz);
                    for (int32_t i = 3; i >= 0; --i) {
                        if (v[i] != 0) {
                            if ((signs & 1u) != 0u) v[i] = -v[i];
                            signs >>= 1;
                        }
                    }
                    used += nz;
                }
            }
            aacd::bitSkip(pos, static_cast<int32_t>(used));
            p[0] = v[0];
            p[1] = v[1];
            p[2] = v[2];
            p[3] = v[3];
            p += 4;
        } else {
            int32_t y = idx / m - off;
            int32_t z = idx % m - off;
            uint32_t used = len;
            if constexpr (book.unsignedV) {
                // Sign bits: that of y first, then that of z.
                const uint32_t nz = static_cast<uint32_t>((y != 0) + (z != 0));
                if (nz != 0u) {
                    const uint32_t signs = (w << len) >> (32u - nz);
                    if (z != 0 && (signs & 1u) != 0u) z = -z;
                    if (y != 0 && ((signs >> (nz - 1u)) & 1u) != 0u) y = -y;
                    used += nz;
                }
            }
            aacd::bitSkip(pos, static_cast<int32_t>(used));
            if constexpr (CB == 11) {
                if (y == 16 || y == -16) {
                    const int32_t e = readEscape(pos);
                    if (e < 0) return omxsts::kErr;
                    y = y < 0 ? -e : e;
                }
                if (z == 16 || z == -16) {
                    const int32_t e = readEscape(pos);
                    if (e < 0) return omxsts::kErr;
                    z = z < 0 ? -e : e;
                }
            }
            p[0] = y;
            p[1] = z;
            p += 2;
        }
    }
    return omxsts::kNoErr;
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
    if (sections > kMaxSections) return omxsts::kBadArg;
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
