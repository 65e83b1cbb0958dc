// Every status of the public entry points, each provoked end to end through
// aacd_query_dec_mem, aacd_decoder_init and aacd_decode_frame with raw data
// blocks taken from a test stream or built bit by bit.  For each failure the
// test also checks what the call leaves behind (output written or not, bits
// consumed, frame counter) and that the instance decodes the following good
// blocks as it should.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "aacd.h"
#include "container.h"
#include "decoder/decoder.h"
#include "support/host.h"

using aacdtest::BitWriter;
using aacdtest::Host;

namespace {

constexpr int32_t kSentinel = 0x7EADBEEF;  // outside the 16-bit output range

struct Block {
    std::vector<uint8_t> bytes;
    AacdBlockParams params;
};

// Raw data blocks and their stream parameters, as the container hands them.
std::vector<Block> loadBlocks(const std::string &name, size_t maxBlocks) {
    std::vector<Block> blocks;
    const std::string path = std::string(AACD_TEST_DATA_DIR) + "/" + name;
    FILE *f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return blocks;
    std::vector<uint8_t> data;
    uint8_t buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) data.insert(data.end(), buf, buf + n);
    std::fclose(f);
    aacd_cli::Demuxer d;
    if (!d.open(data.data(), data.size())) return blocks;
    aacd_cli::RawBlock b;
    while (blocks.size() < maxBlocks && d.next(&b) == aacd_cli::Demuxer::Result::kBlock) {
        if (b.lost || !b.bounded) continue;
        blocks.push_back({std::vector<uint8_t>(b.data, b.data + b.size), *d.params()});
    }
    return blocks;
}

std::vector<uint8_t> endOnlyBlock() {
    BitWriter w;
    w.put(7, 3);
    return w.finish();
}

// ics_info() of a long window (ONLY_LONG_SEQUENCE, sine shape).
void putLongIcsInfo(BitWriter &w, uint32_t maxSfb) {
    w.put(0, 1);  // ics_reserved_bit
    w.put(0, 2);  // window_sequence
    w.put(0, 1);  // window_shape
    w.put(maxSfb, 6);
    w.put(0, 1);  // predictor_data_present
}

// The tail of an individual_channel_stream() without bands: no pulse, TNS or
// gain control data.
void putNoSideData(BitWriter &w) { w.put(0, 3); }

// A channel pair with a common window of max_sfb 0 and the given
// ms_mask_present, followed by the end element.  46 bits.
std::vector<uint8_t> emptyCommonWindowPair(uint32_t msMaskPresent) {
    BitWriter w;
    w.put(1, 3);  // CPE
    w.put(0, 4);  // tag
    w.put(1, 1);  // common_window
    putLongIcsInfo(w, 0);
    w.put(msMaskPresent, 2);
    for (int ch = 0; ch < 2; ++ch) {
        w.put(100, 8);  // global_gain
        putNoSideData(w);
    }
    w.put(7, 3);
    return w.finish();
}

// A single channel of eight short windows in one group, max_sfb 0.
std::vector<uint8_t> emptyShortSingleChannel() {
    BitWriter w;
    w.put(0, 3);  // SCE
    w.put(0, 4);
    w.put(100, 8);
    w.put(0, 1);     // ics_reserved_bit
    w.put(2, 2);     // EIGHT_SHORT_SEQUENCE
    w.put(0, 1);     // window_shape
    w.put(0, 4);     // max_sfb
    w.put(0x7F, 7);  // scale_factor_grouping: one group of eight windows
    putNoSideData(w);
    w.put(7, 3);
    return w.finish();
}

// A minimal program_config_element: one front channel pair of tag 0 and the
// given profile, sampling index and number of front pairs.
std::vector<uint8_t> progConfigBlock(uint32_t profile, uint32_t sri, uint32_t frontPairs) {
    BitWriter w;
    w.put(5, 3);  // PCE
    w.put(0, 4);  // element_instance_tag
    w.put(profile, 2);
    w.put(sri, 4);
    w.put(frontPairs, 4);
    w.put(0, 4);  // side
    w.put(0, 4);  // back
    w.put(0, 2);  // lfe
    w.put(0, 3);  // assoc data
    w.put(0, 4);  // valid cc
    w.put(0, 3);  // no mono / stereo / matrix mixdown
    for (uint32_t i = 0; i < frontPairs; ++i) {
        w.put(1, 1);  // is_cpe
        w.put(i, 4);  // tag_select
    }
    const uint32_t pad = (8 - w.bitCount() % 8) % 8;  // byte_alignment()
    w.put(0, static_cast<int32_t>(pad));
    w.put(0, 8);  // comment_field_bytes
    w.put(7, 3);
    return w.finish();
}

// One front channel pair of tag 0 at the given sampling index, with the
// given number of front pairs (only the first is used by the stream).
AacdProgConfig frontPairsRecord(int32_t frontPairs, int32_t sri) {
    AacdProgConfig pc;
    std::memset(&pc, 0, sizeof pc);
    pc.profile = 1;
    pc.samplingFrequencyIndex = sri;
    pc.front.numElements = frontPairs;
    for (int32_t i = 0; i < frontPairs; ++i) {
        pc.front.isCpe[i] = 1;
        pc.front.tag[i] = i;
    }
    pc.elementInstanceTag = 0;
    return pc;
}

// Decodes one block with a sentinel-filled PCM buffer.
int32_t decodeBlock(Host &h, const std::vector<uint8_t> &bytes, const AacdBlockParams *params) {
    if (params != nullptr) h.params = *params;
    std::fill(h.pcm.begin(), h.pcm.end(), kSentinel);
    return h.decode(bytes);
}

bool pcmWritten(const Host &h) {
    const size_t words = 1024u * h.out.num_channels;
    for (size_t i = 0; i < h.pcm.size(); ++i) {
        const bool inRange = h.pcm[i] >= -32768 && h.pcm[i] <= 32767;
        if (i < words ? !inRange : h.pcm[i] != kSentinel) return false;
    }
    return true;
}

bool pcmUntouched(const Host &h) {
    for (int32_t v : h.pcm)
        if (v != kSentinel) return false;
    return true;
}

std::vector<int32_t> pcmOf(const Host &h) {
    return std::vector<int32_t>(h.pcm.begin(), h.pcm.begin() + 1024 * h.out.num_channels);
}

class StatusTest : public ::testing::Test {
protected:
    void SetUp() override {
        blocks = loadBlocks("r44100_stereo_sweep.aac", 12);
        ASSERT_EQ(blocks.size(), 12u);
        ASSERT_EQ(blocks[0].params.sampling_index, 4u);
    }

    // Decodes blocks [from, to) with status 0 and checks the usual output.
    void decodeGood(Host &h, size_t from, size_t to) {
        for (size_t i = from; i < to; ++i) {
            ASSERT_EQ(decodeBlock(h, blocks[i].bytes, &blocks[i].params), AACD_OK) << i;
            EXPECT_EQ(h.out.num_channels, 2u);
            EXPECT_EQ(h.out.sampling_rate, 44100u);
            EXPECT_EQ(h.out.frame_samples, 1024u);
            EXPECT_GT(h.out.bits_consumed, 0u);
            EXPECT_LE(h.out.bits_consumed, 8u * blocks[i].bytes.size());
            EXPECT_TRUE(pcmWritten(h)) << i;
        }
    }

    // A block that is concealed with the given status: full output from the
    // last good channel map, bits consumed as given, counter advanced; then
    // the following good blocks read exactly as on an instance that never
    // saw the bad block.
    void expectConcealed(const std::vector<uint8_t> &bad, int32_t status, uint32_t bits) {
        Host h, ref;
        decodeGood(h, 0, 4);
        decodeGood(ref, 0, 4);
        ASSERT_EQ(decodeBlock(h, bad, &blocks[4].params), status);
        EXPECT_EQ(h.out.num_channels, 2u);
        EXPECT_EQ(h.out.frame_samples, 1024u);
        EXPECT_EQ(h.out.sampling_rate, 44100u);
        EXPECT_EQ(h.out.bits_consumed, bits);
        EXPECT_EQ(h.out.frame_count, 5u);
        EXPECT_TRUE(pcmWritten(h));
        for (size_t i = 4; i < blocks.size(); ++i) {
            ASSERT_EQ(decodeBlock(h, blocks[i].bytes, &blocks[i].params), AACD_OK) << i;
            ASSERT_EQ(decodeBlock(ref, blocks[i].bytes, &blocks[i].params), AACD_OK) << i;
            EXPECT_EQ(h.out.bits_consumed, ref.out.bits_consumed) << i;
            EXPECT_EQ(h.out.num_channels, 2u);
            EXPECT_EQ(h.out.frame_count, ref.out.frame_count + 1) << i;
            EXPECT_TRUE(pcmWritten(h)) << i;
        }
    }

    // A block whose call is abandoned with the given status: no output field,
    // no PCM word and no counter step; the next good blocks give exactly the
    // output of an instance that never saw it.
    void expectAbandoned(const std::vector<uint8_t> &bad, int32_t status, Host &h) {
        h.out.frame_count = 1234;
        ASSERT_EQ(decodeBlock(h, bad, &blocks[4].params), status);
        EXPECT_EQ(h.out.num_channels, 0u);
        EXPECT_EQ(h.out.frame_samples, 0u);
        EXPECT_EQ(h.out.sampling_rate, 0u);
        EXPECT_EQ(h.out.bits_consumed, 0u);
        EXPECT_EQ(h.out.frame_count, 4u);  // rewritten, not advanced
        EXPECT_EQ(*h.cfg.frame_counter, 4u);
        EXPECT_TRUE(pcmUntouched(h));
    }
    void expectSameAsReference(Host &h) {
        Host ref;
        decodeGood(ref, 0, 4);
        for (size_t i = 4; i < blocks.size(); ++i) {
            ASSERT_EQ(decodeBlock(h, blocks[i].bytes, &blocks[i].params), AACD_OK) << i;
            ASSERT_EQ(decodeBlock(ref, blocks[i].bytes, &blocks[i].params), AACD_OK) << i;
            EXPECT_EQ(h.out.bits_consumed, ref.out.bits_consumed) << i;
            EXPECT_EQ(h.out.frame_count, ref.out.frame_count) << i;
            EXPECT_EQ(pcmOf(h), pcmOf(ref)) << "block " << i;
        }
    }

    std::vector<Block> blocks;
};

}  // namespace

// ---------------------------------------------------------------- 51, 39, 0

TEST(InitStatuses, NullConfigAndBitDepth) {
    EXPECT_EQ(aacd_query_dec_mem(nullptr), AACD_ERR_NULL_CONFIG);
    EXPECT_EQ(aacd_decoder_init(nullptr), AACD_ERR_NULL_CONFIG);

    // A refused bit depth leaves the instance uninitialised; a later init
    // with a valid depth on the same record brings it up.
    Host h(20);
    EXPECT_EQ(h.status, AACD_ERR_BIT_DEPTH);
    h.cfg.output_bits = 24;
    ASSERT_EQ(aacd_decoder_init(&h.cfg), AACD_OK);
    h.cfg.block_params = &h.params;
    ASSERT_EQ(h.decode(endOnlyBlock()), AACD_OK);
    EXPECT_EQ(h.out.bits_consumed, 8u);
    EXPECT_EQ(h.out.frame_count, 1u);
}

// ---------------------------------------------------------------- 53

TEST(DecodeStatuses, NullReferencesWriteNothing) {
    Host h;
    const auto block = endOnlyBlock();
    AacdSbrPayload payload{}, swap{}, previous{};
    std::vector<int32_t> core(6 * 2048, 0);
    const AacdSbrLink link{h.cfg.state, &payload, core.data(), &swap, &previous};

    h.cfg.block_params = nullptr;
    h.out.frame_count = 77;
    h.out.bits_consumed = 77;
    EXPECT_EQ(aacd_decode_frame(&h.cfg, &h.out, h.pcm.data(), block.data(), 1), AACD_ERR_NULL_ARG);
    h.cfg.block_params = &h.params;

    // Each of the five SBR references on its own.
    h.cfg.sbr_mode = 1;
    for (int k = 0; k < 5; ++k) {
        h.cfg.sbr = link;
        switch (k) {
            case 0: h.cfg.sbr.state = nullptr; break;
            case 1: h.cfg.sbr.payload = nullptr; break;
            case 2: h.cfg.sbr.core_output = nullptr; break;
            case 3: h.cfg.sbr.swap = nullptr; break;
            default: h.cfg.sbr.previous = nullptr; break;
        }
        EXPECT_EQ(aacd_decode_frame(&h.cfg, &h.out, h.pcm.data(), block.data(), 1),
                  AACD_ERR_NULL_ARG)
            << k;
    }
    EXPECT_EQ(h.out.frame_count, 77u);
    EXPECT_EQ(h.out.bits_consumed, 77u);
    EXPECT_EQ(*h.cfg.frame_counter, 0u);

    // With the link complete the same call decodes.
    h.cfg.sbr = link;
    EXPECT_EQ(aacd_decode_frame(&h.cfg, &h.out, h.pcm.data(), block.data(), 1), AACD_OK);
    EXPECT_EQ(h.out.frame_count, 1u);
    EXPECT_EQ(h.out.bits_consumed, 8u);
}

// ---------------------------------------------------------------- 0

TEST_F(StatusTest, GoodStreamBlocksDecode) {
    Host h;
    decodeGood(h, 0, blocks.size());
    EXPECT_EQ(h.out.frame_count, blocks.size());
}

// ---------------------------------------------------------------- -1

TEST_F(StatusTest, BrokenChannelElementIsConcealed) {
    // Common-window pair whose long-window max_sfb 52 exceeds any band count:
    // the stream info reader stops right after the field (18 bits read).
    BitWriter w;
    w.put(1, 3);
    w.put(0, 4);
    w.put(1, 1);
    putLongIcsInfo(w, 52);
    w.put(7, 3);  // never reached
    expectConcealed(w.finish(), AACD_ERR_ELEMENT, 24);
}

TEST_F(StatusTest, MaxSfbAboveBandCountIsAFailedElement) {
    // max_sfb 51 fits the 6-bit field but 44.1 kHz has 49 long bands.  The
    // stream info reader compares it with the band count and refuses the
    // channel right after the field (26 bits read), before section data
    // could index the band tables past their end.
    BitWriter w;
    w.put(0, 3);
    w.put(0, 4);
    w.put(100, 8);
    putLongIcsInfo(w, 51);
    w.put(0, 4);   // sect_cb 0
    w.put(31, 5);  // sect_len escape
    w.put(20, 5);  // 31 + 20 = 51 bands
    putNoSideData(w);
    w.put(7, 3);
    ASSERT_EQ(w.bitCount(), 46u);
    expectConcealed(w.finish(), AACD_ERR_ELEMENT, 32);
}

TEST_F(StatusTest, BlockRunningPastItsSizeIsAFailedElement) {
    // The first two bytes of a real block, passed as a 2-byte block: the
    // channel pair runs past the end.
    std::vector<uint8_t> cut(blocks[4].bytes.begin(), blocks[4].bytes.begin() + 2);
    Host h;
    decodeGood(h, 0, 4);
    ASSERT_EQ(decodeBlock(h, cut, &blocks[4].params), AACD_ERR_ELEMENT);
    EXPECT_LE(h.out.bits_consumed, 16u);
    EXPECT_EQ(h.out.num_channels, 2u);
    EXPECT_TRUE(pcmWritten(h));
    ASSERT_EQ(decodeBlock(h, blocks[5].bytes, &blocks[5].params), AACD_OK);
}

// ---------------------------------------------------------------- 33

TEST_F(StatusTest, CouplingElementIsConcealed) {
    // A coupling element behind a valid pair: the pair is decoded, the
    // coupling element stops the block after its 3-bit id.
    BitWriter w;
    const std::vector<uint8_t> pair = emptyCommonWindowPair(0);
    // The pair without its end element: 43 bits.
    for (size_t i = 0; i < 43; ++i) w.put((pair[i / 8] >> (7 - i % 8)) & 1u, 1);
    w.put(2, 3);
    w.put(0, 8);  // never read
    expectConcealed(w.finish(), AACD_ERR_COUPLING, 48);
}

// ---------------------------------------------------------------- 35

TEST_F(StatusTest, BadInBandProgramConfigurationIsConcealed) {
    // Profile 0 (Main): refused right after the 2-bit field, 9 bits read.
    expectConcealed(progConfigBlock(0, 4, 1), AACD_ERR_CONFIG, 16);
}

TEST_F(StatusTest, InBandProgramConfigurationThatDoesNotFitIsConcealed) {
    // Three front pairs need seven slots: entering fails after the whole
    // element, its alignment and the empty comment have been read.
    const std::vector<uint8_t> pce = progConfigBlock(1, 4, 3);
    expectConcealed(pce, AACD_ERR_CONFIG, 8u * static_cast<uint32_t>(pce.size() - 1));
}

TEST_F(StatusTest, ValidInBandProgramConfigurationDecodes) {
    // Control for the two cases above: the same element with one pair.
    const std::vector<uint8_t> pce = progConfigBlock(1, 4, 1);
    Host h;
    ASSERT_EQ(decodeBlock(h, pce, &blocks[0].params), AACD_OK);
    EXPECT_EQ(h.out.bits_consumed, 8u * pce.size());
    EXPECT_EQ(h.out.num_channels, 2u);  // the program's slots are present
    decodeGood(h, 0, 4);
}

TEST_F(StatusTest, BadSamplingIndexIsConcealed) {
    Host h;
    decodeGood(h, 0, 4);
    AacdBlockParams p = blocks[4].params;
    p.sampling_index = 12;
    ASSERT_EQ(decodeBlock(h, blocks[4].bytes, &p), AACD_ERR_CONFIG);
    EXPECT_EQ(h.out.sampling_rate, 0u);  // index taken over before the check
    EXPECT_EQ(h.out.bits_consumed, 0u);
    EXPECT_EQ(h.out.num_channels, 2u);
    EXPECT_EQ(h.out.frame_count, 5u);
    EXPECT_TRUE(pcmWritten(h));
    decodeGood(h, 4, 8);
}

// ---------------------------------------------------------------- 36

TEST_F(StatusTest, HostProgramConfigurationThatDoesNotFitIsConcealed) {
    // The stream's pair described by a host record instead of fixed
    // parameters.
    AacdProgConfig good = frontPairsRecord(1, 4);
    AacdProgConfig bad = frontPairsRecord(3, 4);
    auto withRecord = [](AacdBlockParams p, AacdProgConfig *pc) {
        p.num_prog_configs = 1;
        p.prog_configs = pc;
        return p;
    };
    Host h;
    for (size_t i = 0; i < 4; ++i) {
        const AacdBlockParams p = withRecord(blocks[i].params, &good);
        ASSERT_EQ(decodeBlock(h, blocks[i].bytes, &p), AACD_OK) << i;
        EXPECT_EQ(h.out.num_channels, 2u);
        EXPECT_TRUE(pcmWritten(h));
    }
    const AacdBlockParams p = withRecord(blocks[4].params, &bad);
    ASSERT_EQ(decodeBlock(h, blocks[4].bytes, &p), AACD_ERR_PROG_CONFIG);
    EXPECT_EQ(h.out.bits_consumed, 0u);  // no element read
    // The refused record has switched the map back to implicit mode, in
    // which a bad frame brings back the whole layout of the last good copy.
    // While a program configuration was in force that copy kept only the
    // decoded marks, so the layout brought back is the one of
    // initialisation: no channel at all.
    EXPECT_EQ(h.out.num_channels, 0u);
    EXPECT_EQ(h.out.frame_samples, 1024u);
    EXPECT_EQ(h.out.frame_count, 5u);
    EXPECT_TRUE(pcmWritten(h));
    for (size_t i = 5; i < 8; ++i) {
        const AacdBlockParams q = withRecord(blocks[i].params, &good);
        ASSERT_EQ(decodeBlock(h, blocks[i].bytes, &q), AACD_OK) << i;
        EXPECT_EQ(h.out.num_channels, 2u);
        EXPECT_EQ(h.out.bits_consumed, 8u * blocks[i].bytes.size()) << i;
        EXPECT_TRUE(pcmWritten(h));
    }
}

TEST_F(StatusTest, HostProgramConfigurationWithBadSamplingIndexIsRefused) {
    // The record's sampling index would become the channel map's and index
    // the band tables when the elements are decoded: 12 and above are
    // refused before the map is touched, so the last good layout is kept.
    AacdProgConfig good = frontPairsRecord(1, 4);
    Host h;
    for (size_t i = 0; i < 3; ++i) {
        AacdBlockParams p = blocks[i].params;
        p.num_prog_configs = 1;
        p.prog_configs = &good;
        ASSERT_EQ(decodeBlock(h, blocks[i].bytes, &p), AACD_OK) << i;
    }
    for (int32_t sri : {12, 15, 200, -1}) {
        AacdProgConfig bad = frontPairsRecord(1, sri);
        AacdBlockParams p = blocks[3].params;
        p.num_prog_configs = 1;
        p.prog_configs = &bad;
        ASSERT_EQ(decodeBlock(h, blocks[3].bytes, &p), AACD_ERR_PROG_CONFIG) << sri;
        EXPECT_EQ(h.out.num_channels, 2u) << sri;
        EXPECT_EQ(h.out.sampling_rate, 44100u) << sri;
        EXPECT_TRUE(pcmWritten(h));
    }
    AacdBlockParams p = blocks[4].params;
    p.num_prog_configs = 1;
    p.prog_configs = &good;
    ASSERT_EQ(decodeBlock(h, blocks[4].bytes, &p), AACD_OK);
    EXPECT_EQ(h.out.num_channels, 2u);
}

// ---------------------------------------------------------------- 0 (TNS)

namespace {

// A common-window pair of max_sfb 0 whose first channel carries one TNS
// filter of order 0 over tnsBands bands, then an empty fill element and the
// end element.
std::vector<uint8_t> pairWithTnsFilter(uint32_t tnsBands) {
    BitWriter w;
    w.put(1, 3);
    w.put(0, 4);
    w.put(1, 1);
    putLongIcsInfo(w, 0);
    w.put(0, 2);  // ms_mask_present
    w.put(100, 8);
    w.put(0, 1);  // pulse_data_present
    w.put(1, 1);  // tns_data_present
    w.put(1, 2);  // n_filt
    w.put(0, 1);  // coef_res
    w.put(tnsBands, 6);
    w.put(0, 5);  // order
    w.put(0, 1);  // gain_control_data_present
    w.put(100, 8);
    putNoSideData(w);
    w.put(6, 3);  // fill element
    w.put(0, 4);  // count 0
    w.put(7, 3);
    return w.finish();
}

}  // namespace

TEST_F(StatusTest, TnsFailureConcealsWithStatusZero) {
    // A TNS filter over 63 bands (44.1 kHz has 49) is refused when the
    // filters run: the frame is bad, the block is left right after the pair
    // (57 bits), the status stays 0.  The same filter over 10 bands decodes
    // the whole block (67 bits).
    Host bad, good;
    decodeGood(bad, 0, 4);
    decodeGood(good, 0, 4);
    ASSERT_EQ(decodeBlock(bad, pairWithTnsFilter(63), &blocks[4].params), AACD_OK);
    EXPECT_EQ(bad.out.bits_consumed, 64u);
    EXPECT_EQ(bad.out.num_channels, 2u);
    EXPECT_EQ(bad.out.frame_count, 5u);
    EXPECT_TRUE(pcmWritten(bad));
    ASSERT_EQ(decodeBlock(good, pairWithTnsFilter(10), &blocks[4].params), AACD_OK);
    EXPECT_EQ(good.out.bits_consumed, 72u);
    // The bad frame is concealed, so the output around it differs from that
    // of the good one.
    bool differs = pcmOf(bad) != pcmOf(good);
    for (size_t i = 5; i < 8; ++i) {
        ASSERT_EQ(decodeBlock(bad, blocks[i].bytes, &blocks[i].params), AACD_OK);
        ASSERT_EQ(decodeBlock(good, blocks[i].bytes, &blocks[i].params), AACD_OK);
        EXPECT_EQ(bad.out.bits_consumed, good.out.bits_consumed);
        differs = differs || pcmOf(bad) != pcmOf(good);
    }
    EXPECT_TRUE(differs);
}

// ---------------------------------------------------------------- 44

TEST_F(StatusTest, ReservedMsMaskAbandonsTheCall) {
    // ms_mask_present 3 (reserved) in a common-window pair reaches the
    // mid/side tool, which refuses it.
    Host h;
    decodeGood(h, 0, 4);
    expectAbandoned(emptyCommonWindowPair(3), AACD_ERR_MS_STEREO, h);
    expectSameAsReference(h);
}

TEST_F(StatusTest, ValidMsMasksOfTheSamePairDecode) {
    // Control: the same pair with ms_mask_present 0, 1 (no ms_used bits for
    // max_sfb 0) and 2 decodes.
    for (uint32_t mask : {0u, 1u, 2u}) {
        Host h;
        decodeGood(h, 0, 2);
        ASSERT_EQ(decodeBlock(h, emptyCommonWindowPair(mask), &blocks[2].params), AACD_OK) << mask;
        EXPECT_EQ(h.out.bits_consumed, 48u);
        EXPECT_EQ(h.out.num_channels, 2u);
    }
}

// ---------------------------------------------------------------- 45, 46
//
// Intensity stereo and deinterleaving are given only values that inverse
// quantisation of the same channel has already accepted (band count, group
// layout, sampling index), so no raw data block makes them fail: a max_sfb
// beyond the band count is a failed element (-1, above).  Status 46 is
// reached here through the one input of the deinterleave step that the
// stream does not control, the scratch buffer alignment, by moving the
// instance's scratch reference off its 8-byte boundary.

TEST_F(StatusTest, DeinterleaveRefusalAbandonsTheCall) {
    const std::vector<uint8_t> shortBlock = emptyShortSingleChannel();
    {
        Host h;
        ASSERT_EQ(decodeBlock(h, shortBlock, &blocks[0].params), AACD_OK);
        EXPECT_EQ(h.out.bits_consumed, 40u);
    }
    Host h;
    decodeGood(h, 0, 4);
    int32_t *const scratch = h.cfg.state->scratch;
    h.cfg.state->scratch =
        reinterpret_cast<int32_t *>(reinterpret_cast<uint8_t *>(scratch) + 4);
    expectAbandoned(shortBlock, AACD_ERR_DEINTERLEAVE, h);
    h.cfg.state->scratch = scratch;
    expectSameAsReference(h);
}
