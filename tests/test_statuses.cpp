// Statuses of aacd_decode_frame for blocks that fail: what the call leaves
// behind (output written or not, bits consumed, frame counter) and that the
// instance then decodes the following good blocks as one that never saw the
// bad block.  (The argument statuses 39, 51 and 53: test_interface.)
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "aacd.h"
#include "decoder/decoder.h"
#include "frame_blocks.h"

using aacdtest::Host;

namespace {

// A program_config_element of tag 0 with the given profile, sampling index
// and number of front pairs (tags 0, 1, ...), then the end element.
std::vector<uint8_t> progConfigBlock(uint32_t profile, uint32_t sri, uint32_t frontPairs) {
    BitWriter w;
    put(w, {{5, 3}, {0, 4}, {profile, 2}, {sri, 4}, {frontPairs, 4}});
    w.bits(0, 4 + 4 + 2 + 3 + 4 + 3);  // side, back, lfe, assoc, cc, no mixdowns
    for (uint32_t i = 0; i < frontPairs; ++i) w.bits(16 + i, 5);  // is_cpe, tag
    w.bits(0, (8 - w.count() % 8) % 8);                           // byte_alignment()
    w.bits(0, 8);                                                 // no comment
    return finish(w);
}

// A host record of frontPairs pairs, the first of which carries the stream.
AacdProgConfig frontPairsRecord(int32_t frontPairs, int32_t sri) {
    AacdProgConfig pc;
    std::memset(&pc, 0, sizeof pc);
    std::tie(pc.profile, pc.samplingFrequencyIndex, pc.front.numElements) = std::make_tuple(1, sri, frontPairs);
    for (int32_t i = 0; i < frontPairs; ++i) std::tie(pc.front.isCpe[i], pc.front.tag[i]) = std::make_tuple(1, i);
    return pc;
}

// Full output: in-range samples for the present channels, nothing beyond.
bool pcmWritten(const Host &h) {
    const size_t words = 1024u * h.out.num_channels;
    for (size_t i = 0; i < h.pcm.size(); ++i) {
        const bool inRange = h.pcm[i] >= -32768 && h.pcm[i] <= 32767;
        if (i < words ? !inRange : h.pcm[i] != kSentinel) return false;
    }
    return true;
}

class StatusTest : public ::testing::Test {
protected:
    void SetUp() override {  // good blocks: loud pairs of their own content
        for (int i = 0; i < 10; ++i) {
            BitWriter w;
            putLoudPair(w, 3 * i);
            blocks.push_back(finish(w));
        }
    }

    // Decodes blocks [from, to) with status 0 and checks the usual output.
    void decodeGood(Host &h, size_t from, size_t to) {
        for (size_t i = from; i < to; ++i) {
            ASSERT_EQ(decode(h, blocks[i]), AACD_OK) << i;
            EXPECT_EQ(std::make_tuple(h.out.num_channels, h.out.sampling_rate, h.out.frame_samples, h.out.bits_consumed),
                      std::make_tuple(2u, 44100u, 1024u, 8u * uint32_t(blocks[i].size())));
            EXPECT_TRUE(pcmWritten(h)) << i;
        }
    }

    // After four good blocks, a block concealed with the given status: full
    // output from the last good channel map, bits consumed as given, counter
    // advanced; the following good blocks read as on an instance that never
    // saw the bad block.
    void expectConcealed(const std::vector<uint8_t> &bad, int32_t status, uint32_t bits) {
        Host h, ref;
        decodeGood(h, 0, 4);
        decodeGood(ref, 0, 4);
        ASSERT_EQ(decode(h, bad), status);
        EXPECT_EQ(std::make_tuple(h.out.num_channels, h.out.frame_samples, h.out.sampling_rate, h.out.bits_consumed,
                                  h.out.frame_count),
                  std::make_tuple(2u, 1024u, 44100u, bits, 5u));
        EXPECT_TRUE(pcmWritten(h));
        decodeGood(h, 4, blocks.size());
        decodeGood(ref, 4, blocks.size());
        EXPECT_EQ(h.out.frame_count, ref.out.frame_count + 1);
    }

    // After four good blocks, a block whose call is abandoned with the given
    // status: no output field, no PCM word and no counter step; the next
    // good blocks give exactly the output of an instance that never saw it.
    void expectAbandoned(Host &h, const std::vector<uint8_t> &bad, int32_t status) {
        h.out.frame_count = 1234;
        ASSERT_EQ(decode(h, bad), status);
        EXPECT_EQ(std::make_tuple(h.out.num_channels, h.out.frame_samples, h.out.sampling_rate, h.out.bits_consumed),
                  std::make_tuple(0u, 0u, 0u, 0u));
        EXPECT_EQ(std::make_tuple(h.out.frame_count, *h.cfg.frame_counter), std::make_tuple(4u, 4u));  // not advanced
        EXPECT_TRUE(std::all_of(h.pcm.begin(), h.pcm.end(), [](int32_t v) { return v == kSentinel; }));
    }
    void expectSameAsReference(Host &h) {
        Host ref;
        decodeGood(ref, 0, 4);
        for (size_t i = 4; i < blocks.size(); ++i) {
            ASSERT_EQ(decode(h, blocks[i]), AACD_OK) << i;
            ASSERT_EQ(decode(ref, blocks[i]), AACD_OK) << i;
            EXPECT_EQ(h.out.frame_count, ref.out.frame_count);
            EXPECT_EQ(frameOf(h), frameOf(ref)) << "block " << i;
        }
    }

    std::vector<std::vector<uint8_t>> blocks;
};

}  // namespace

// -1, 33, 35: the block is left where the failure was found (bits consumed
// after byte alignment).
TEST_F(StatusTest, FailingElementsAreConcealed) {
    BitWriter pairHead, single, coupling;
    // Shared stream info of a pair with max_sfb 52, above any band count: the
    // pair head refuses it right after the field (18 bits).
    putPair(pairHead, Chan(52), Chan(52), 0);
    // max_sfb 51 fits the field but 44.1 kHz has 49 long bands: the stream
    // info reader refuses it right after the field, before section data
    // could index the band tables past their end.
    putSce(single, Chan(51));
    // A coupling element after a valid pair (46 bits) stops the block.
    putPair(coupling, Chan(0), Chan(0), 0);
    put(coupling, {{2, 3}, {0, 8}});
    const std::vector<uint8_t> sevenChannels = progConfigBlock(1, 4, 3);
    struct Case { const char *name; std::vector<uint8_t> block; int32_t status; uint32_t bits; };
    const Case cases[] = {
        {"pair max_sfb 52", finish(pairHead), AACD_ERR_ELEMENT, 24},
        {"single max_sfb 51", finish(single), AACD_ERR_ELEMENT, 32},
        {"coupling", coupling.bytes(), AACD_ERR_COUPLING, 48},
        {"program profile 0", progConfigBlock(0, 4, 1), AACD_ERR_CONFIG, 16},  // refused after the field
        // Three front pairs need seven slots: entering fails after the whole
        // element, its alignment and the empty comment have been read.
        {"program of seven channels", sevenChannels, AACD_ERR_CONFIG, 8u * uint32_t(sevenChannels.size() - 1)},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        expectConcealed(c.block, c.status, c.bits);
    }
    // Control: the same program element with one pair is entered.
    const std::vector<uint8_t> pce = progConfigBlock(1, 4, 1);
    Host h;
    ASSERT_EQ(decode(h, pce), AACD_OK);
    EXPECT_EQ(std::make_tuple(h.out.bits_consumed, h.out.num_channels), std::make_tuple(8u * uint32_t(pce.size()), 2u));
    decodeGood(h, 0, 4);
}

// 35 from the fixed parameters.  No element is read; the concealed audio
// keeps the rate of the last good frame.
TEST_F(StatusTest, BadSamplingIndexIsConcealed) {
    Host h;
    decodeGood(h, 0, 4);
    for (uint32_t sri : {99u, 12u, 13u}) {  // 99 first: 44.1 kHz kept
        h.params.sampling_index = sri;
        ASSERT_EQ(decode(h, blocks[4]), AACD_ERR_CONFIG) << sri;
        EXPECT_EQ(std::make_tuple(h.out.sampling_rate, h.out.bits_consumed, h.out.num_channels),
                  std::make_tuple(44100u, 0u, 2u)) << sri;  // the concealed frame's rate
        EXPECT_TRUE(pcmWritten(h));
    }
    EXPECT_EQ(h.out.frame_count, 7u);
    h.params.sampling_index = kHostSri;
    decodeGood(h, 4, 8);
}

// 36: host program configuration records.  A record whose sampling index
// would index the band tables out of range (12 and above) is refused before
// the map is touched, so the last good layout is kept.  A record that does
// not fit the six slots is refused too; the concealed audio keeps the
// layout of the last good frame.
TEST_F(StatusTest, HostProgramConfigurationsThatDoNotFitAreRefused) {
    AacdProgConfig good = frontPairsRecord(1, 4), record;
    Host h;
    h.params.num_prog_configs = 1;
    h.params.prog_configs = &good;
    decodeGood(h, 0, 3);
    h.params.prog_configs = &record;
    for (int32_t sri : {12, 15, 200, -1}) {
        record = frontPairsRecord(1, sri);
        ASSERT_EQ(decode(h, blocks[3]), AACD_ERR_PROG_CONFIG) << sri;
        EXPECT_EQ(std::make_tuple(h.out.num_channels, h.out.sampling_rate), std::make_tuple(2u, 44100u)) << sri;
        EXPECT_TRUE(pcmWritten(h));
    }
    record = frontPairsRecord(3, 4);
    ASSERT_EQ(decode(h, blocks[4]), AACD_ERR_PROG_CONFIG);
    EXPECT_EQ(std::make_tuple(h.out.bits_consumed, h.out.num_channels, h.out.frame_samples, h.out.frame_count),
              std::make_tuple(0u, 2u, 1024u, 8u));
    EXPECT_TRUE(pcmWritten(h));
    h.params.prog_configs = &good;
    decodeGood(h, 5, 8);
}

// 0 for a frame concealed because TNS failed: a common-window pair of
// max_sfb 0 whose first channel carries a TNS filter over 63 bands (44.1 kHz
// has 49) is refused when the filters run; the block is left right after
// the pair (57 bits).  The same filter over 10 bands decodes the whole block
// (pair, empty fill element, end: 67 bits).
TEST_F(StatusTest, TnsFailureConcealsWithStatusZero) {
    auto pairWithTns = [](int bands) {
        Chan l(0);
        l.tnsBands = bands;
        BitWriter w;
        putPair(w, l, Chan(0), 0);
        putFill(w, 0);
        return finish(w);
    };
    Host bad, good;
    decodeGood(bad, 0, 4);
    decodeGood(good, 0, 4);
    ASSERT_EQ(decode(bad, pairWithTns(63)), AACD_OK);
    EXPECT_EQ(std::make_tuple(bad.out.bits_consumed, bad.out.num_channels, bad.out.frame_count), std::make_tuple(64u, 2u, 5u));
    EXPECT_TRUE(pcmWritten(bad));
    ASSERT_EQ(decode(good, pairWithTns(10)), AACD_OK);
    EXPECT_EQ(good.out.bits_consumed, 72u);
    bool differs = false;  // the bad frame is concealed, so the output around it differs
    for (size_t i = 5; i < 8; ++i) {
        decodeGood(bad, i, i + 1);
        decodeGood(good, i, i + 1);
        differs = differs || frameOf(bad) != frameOf(good);
    }
    EXPECT_TRUE(differs);
}

// 44: ms_mask_present 3 (reserved) in a common-window pair reaches the
// mid/side tool, which refuses it; masks 0, 1 (no ms_used bits for max_sfb
// 0) and 2 of the same pair decode.
TEST_F(StatusTest, ReservedMsMaskAbandonsTheCall) {
    for (uint32_t mask : {0u, 1u, 2u, 3u}) {
        SCOPED_TRACE(mask);
        BitWriter w;
        putPair(w, Chan(0), Chan(0), mask);
        Host h;
        decodeGood(h, 0, 4);
        if (mask < 3) {
            ASSERT_EQ(decode(h, finish(w)), AACD_OK);
            EXPECT_EQ(std::make_tuple(h.out.bits_consumed, h.out.num_channels), std::make_tuple(48u, 2u));
            continue;
        }
        expectAbandoned(h, finish(w), AACD_ERR_MS_STEREO);
        expectSameAsReference(h);
    }
}

// 45, 46: intensity stereo and deinterleaving are given only values that
// inverse quantisation of the same channel has already accepted (band
// count, group layout, sampling index), so no raw data block makes them
// fail: a max_sfb beyond the band count is a failed element (-1, above).
// Status 46 is reached through the one input of the deinterleave step that
// the stream does not control, the scratch buffer alignment, by moving the
// instance's scratch reference off its 8-byte boundary.
TEST_F(StatusTest, DeinterleaveRefusalAbandonsTheCall) {
    BitWriter w;
    putSce(w, Chan(0, true));  // eight short windows in one group
    const std::vector<uint8_t> shortBlock = finish(w);
    Host control, h;
    ASSERT_EQ(decode(control, shortBlock), AACD_OK);
    EXPECT_EQ(control.out.bits_consumed, 40u);
    decodeGood(h, 0, 4);
    int32_t *const scratch = h.cfg.state->scratch;
    h.cfg.state->scratch = reinterpret_cast<int32_t *>(reinterpret_cast<uint8_t *>(scratch) + 4);
    expectAbandoned(h, shortBlock, AACD_ERR_DEINTERLEAVE);
    h.cfg.state->scratch = scratch;
    expectSameAsReference(h);
}
