// Data stream and fill elements, and SBR payload collection.
#include <gtest/gtest.h>

#include <vector>

#include "aacd.h"
#include "decoder/decoder.h"
#include "host.h"

using aacdtest::BitWriter;
using aacdtest::Host;

namespace {

void startAt(AacdDecoderState *st, const std::vector<uint8_t> &b) {
    st->bitPos.pByte = b.data();
    st->bitPos.offset = 0;
    st->bitPos.pEnd = b.data() + b.size();
}

uint32_t bitsRead(const AacdDecoderState *st, const std::vector<uint8_t> &b) {
    return static_cast<uint32_t>(st->bitPos.pByte - b.data()) * 8 + st->bitPos.offset;
}

void putFill(BitWriter &w, int count, uint32_t type, uint32_t nibble, uint8_t fillByte) {
    if (count >= 15) {
        w.put(15, 4);
        w.put(static_cast<uint32_t>(count - 14), 8);
    } else {
        w.put(static_cast<uint32_t>(count), 4);
    }
    if (count == 0) return;
    w.put(type, 4);
    w.put(nibble, 4);
    for (int i = 1; i < count; ++i) w.put(static_cast<uint8_t>(fillByte + i), 8);
}

}  // namespace

TEST(DataStream, CountsEscapeAndAlignment) {
    Host h;
    AacdDecoderState *st = h.cfg.state;
    struct Case { int count; bool align; int lead; };
    for (const Case c : {Case{0, false, 0}, Case{3, true, 5}, Case{255, false, 1},
                         Case{510, true, 2}, Case{300, false, 7}}) {
        BitWriter w;
        w.put(0, c.lead);
        w.put(9, 4);
        w.put(c.align, 1);
        if (c.count >= 255) {
            w.put(255, 8);
            w.put(static_cast<uint32_t>(c.count - 255), 8);
        } else {
            w.put(static_cast<uint32_t>(c.count), 8);
        }
        uint32_t expect = w.bitCount();
        if (c.align) expect = (expect + 7) & ~7u;
        expect += 8u * c.count;
        for (int i = 0; i < c.count + 2; ++i) w.put(0xAB, 8);
        const auto b = w.finish();
        startAt(st, b);
        aacd::bitSkip(st->bitPos, c.lead);
        int32_t tag = -1, count = -1;
        EXPECT_EQ(AACD_getdata(&tag, &count, st), c.count);
        EXPECT_EQ(tag, 9);
        EXPECT_EQ(count, c.count);
        EXPECT_EQ(bitsRead(st, b), expect) << c.count;
    }
}

TEST(Fill, NormalModeSkipsExactly) {
    Host h;
    AacdDecoderState *st = h.cfg.state;
    for (int count : {0, 1, 2, 14, 15, 100, 269}) {
        BitWriter w;
        putFill(w, count, 0, 0, 0);
        const uint32_t expect = w.bitCount();
        w.put(0x55, 8);
        const auto b = w.finish();
        startAt(st, b);
        AACD_getfill(st);
        EXPECT_EQ(bitsRead(st, b), expect) << count;
    }
}

TEST(Fill, SbrPayloadsCollectedUnderTheirConditions) {
    Host h;
    AacdDecoderState *st = h.cfg.state;
    AacdSbrPayload payload{};
    AacdSbrLink link{};
    link.state = st;
    link.payload = &payload;

    struct Case { int prevId; int count; uint32_t type; bool kept; };
    const Case cases[] = {
        {1, 10, 13, true},   {0, 268, 14, true}, {7, 10, 13, false}, {4, 10, 13, false},
        {1, 269, 13, false}, {1, 10, 0, false},  {1, 10, 11, false},
    };
    for (const Case &c : cases) {
        payload = AacdSbrPayload{};
        BitWriter w;
        putFill(w, c.count, c.type, 0x9, 0x20);
        const uint32_t expect = w.bitCount();
        w.put(0, 8);
        const auto b = w.finish();
        startAt(st, b);
        SBRD_getfill(c.prevId, &link);
        EXPECT_EQ(bitsRead(st, b), expect);
        ASSERT_EQ(payload.entry_count, c.kept ? 1 : 0) << c.prevId << " " << c.count;
        if (c.kept) {
            const AacdSbrPayloadEntry &e = payload.entries[0];
            EXPECT_EQ(e.element_id, static_cast<uint32_t>(c.prevId));
            EXPECT_EQ(e.extension_type, c.type);
            EXPECT_EQ(e.byte_count, static_cast<uint32_t>(c.count));
            EXPECT_EQ(e.payload[0], 0x9);
            for (int i = 1; i < c.count; ++i)
                ASSERT_EQ(e.payload[i], static_cast<uint8_t>(0x20 + i));
        }
    }
    // A third qualifying payload of a frame is skipped.
    payload = AacdSbrPayload{};
    BitWriter w;
    for (int k = 0; k < 3; ++k) putFill(w, 5 + k, 13, static_cast<uint32_t>(k), 0);
    const auto b = w.finish();
    startAt(st, b);
    for (int k = 0; k < 3; ++k) SBRD_getfill(0, &link);
    EXPECT_EQ(payload.entry_count, 2);
    EXPECT_EQ(payload.entries[0].byte_count, 5u);
    EXPECT_EQ(payload.entries[1].byte_count, 6u);
    EXPECT_EQ(bitsRead(st, b), w.bitCount());
}

TEST(Fill, SbrHandOffDelaysPayloadsByOneCall) {
    Host h;
    AacdSbrPayload payload{}, swap{}, previous{};
    std::vector<int32_t> core(6 * 2048, 0);
    h.cfg.sbr = AacdSbrLink{h.cfg.state, &payload, core.data(), &swap, &previous};
    h.cfg.sbr_mode = 1;
    // A block with an SBR fill element after a (coupling-free) data stream
    // element is skipped; one with only fill elements first in the block
    // (previous id 7) as well: the host sees nothing.
    BitWriter w;
    w.put(6, 3);
    putFill(w, 4, 13, 1, 0);
    w.put(7, 3);
    EXPECT_EQ(h.decode(w.finish()), AACD_OK);
    EXPECT_EQ(payload.entry_count, 0);
    EXPECT_EQ(previous.entry_count, 0);
}

namespace {

// A single channel element without bands (29 bits).
void putEmptySce(BitWriter &w) {
    w.put(0, 3);
    w.put(0, 4);     // tag
    w.put(100, 8);   // global_gain
    w.put(0, 11);    // ics_info: long window, sine, max_sfb 0, no predictor
    w.put(0, 3);     // no pulse, TNS or gain control data
}

}  // namespace

// The count of a fill element through the whole decoder: 4 bits, and 15
// escapes to 8 more bits plus 14.  In both modes the block is read to its
// end exactly; in SBR hand-off mode the payload is kept up to 268 bytes.
TEST(Fill, EscapedCountsEndToEnd) {
    struct Case { uint32_t nibble; int escape; int bytes; };
    const Case cases[] = {{14, -1, 14}, {15, 0, 14}, {15, 1, 15}, {15, 254, 268}, {15, 255, 269}};
    for (const Case &c : cases) {
        for (const bool handOff : {false, true}) {
            SCOPED_TRACE(c.escape);
            SCOPED_TRACE(handOff);
            BitWriter w;
            putEmptySce(w);
            w.put(6, 3);
            w.put(c.nibble, 4);
            if (c.escape >= 0) w.put(static_cast<uint32_t>(c.escape), 8);
            w.put(13, 4);  // EXT_SBR_DATA
            w.put(0x7, 4);
            for (int i = 1; i < c.bytes; ++i) w.put(static_cast<uint8_t>(3 * i), 8);
            w.put(7, 3);
            const uint32_t bits = (w.bitCount() + 7) & ~7u;
            // Bytes after the block that a longer count would run into.
            std::vector<uint8_t> block = w.finish();
            block.resize(block.size() + 8, 0xFF);

            Host h;
            AacdSbrPayload payload{}, swap{}, previous{};
            std::vector<int32_t> core(6 * 2048, 0);
            if (handOff) {
                h.cfg.sbr = AacdSbrLink{h.cfg.state, &payload, core.data(), &swap, &previous};
                h.cfg.sbr_mode = 1;
            }
            ASSERT_EQ(h.decode(block), AACD_OK);
            EXPECT_EQ(h.out.bits_consumed, bits);
            if (!handOff) continue;
            h.cfg.frame_lost = 1;  // the next call hands this frame's payload over
            ASSERT_EQ(h.decode(block), AACD_OK);
            const bool kept = c.bytes <= 268;
            ASSERT_EQ(payload.entry_count, kept ? 1 : 0);
            if (!kept) continue;
            const AacdSbrPayloadEntry &e = payload.entries[0];
            EXPECT_EQ(e.element_id, 0u);
            EXPECT_EQ(e.extension_type, 13u);
            ASSERT_EQ(e.byte_count, static_cast<uint32_t>(c.bytes));
            EXPECT_EQ(e.payload[0], 0x7);
            for (int i = 1; i < c.bytes; ++i) ASSERT_EQ(e.payload[i], static_cast<uint8_t>(3 * i)) << i;
        }
    }
}
