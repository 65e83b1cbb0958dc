// Feeds arbitrary raw data blocks to one decoder instance over a sequence of
// calls, with stream parameters chosen by the fuzzer, and checks the output
// invariants after every call.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "aacd.h"

namespace {

[[noreturn]] void fail(const char *what) {
    (void)what;
    __builtin_trap();
}

bool documented(int32_t s) {
    switch (s) {
        case 0: case -1: case 33: case 35: case 36: case 44: case 45: case 46: return true;
        default: return false;
    }
}

struct Reader {
    const uint8_t *p;
    size_t n;
    uint8_t byte() { if (n == 0) return 0; --n; return *p++; }
    uint16_t word() { return static_cast<uint16_t>(byte() | (byte() << 8)); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    Reader r{data, size};
    const uint8_t flags = r.byte();
    const uint8_t bits = (flags & 1) ? 24 : 16;

    AacdDecoderConfig cfg;
    std::memset(&cfg, 0, sizeof cfg);
    aacd_query_dec_mem(&cfg);
    std::vector<std::vector<uint8_t>> blocks(5);
    for (int k = 0; k < 5; ++k) {
        blocks[k].assign(cfg.mem_info.blocks[k].size, 0);
        cfg.mem_info.blocks[k].base = blocks[k].data();
    }
    cfg.output_bits = bits;
    if (aacd_decoder_init(&cfg) != 0) fail("init");

    AacdBlockParams params{};
    AacdProgConfig pce[2];
    std::memset(pce, 0, sizeof pce);
    params.sampling_index = (flags >> 1) & 15;
    params.config_id = 0;
    if (flags & 0x20) {
        // Host program configuration records from the fuzzer's bytes.
        const size_t take = r.n < sizeof pce ? r.n : sizeof pce;
        std::memcpy(pce, r.p, take);
        r.p += take;
        r.n -= take;
        params.num_prog_configs = 1 + (flags >> 7);
        params.prog_configs = pce;
    }
    cfg.block_params = &params;

    AacdSbrPayload payload{}, swap{}, previous{};
    std::vector<int32_t> core(6 * 2048 + 64, 0x7EADBEEF);
    if (flags & 0x40) {
        cfg.sbr = AacdSbrLink{cfg.state, &payload, core.data(), &swap, &previous};
        cfg.sbr_mode = 1;
    }

    std::vector<int32_t> pcm(6 * 1024 + 64);
    const int32_t lo = bits == 16 ? -32768 : -8388608;
    const int32_t hi = bits == 16 ? 32767 : 8388607;
    while (r.n > 0) {
        const uint8_t ctl = r.byte();
        size_t len = r.word() % 2048;
        if (len > r.n) len = r.n;
        std::vector<uint8_t> block(r.p, r.p + len);  // exact size: ASan sees overreads
        r.p += len;
        r.n -= len;
        cfg.frame_lost = (ctl & 1) ? 1 : 0;
        if (ctl & 2) cfg.check_frame_length = 1;
        params.frame_bytes = ctl >> 2;
        if (ctl & 0x80) params.config_id++;
        std::fill(pcm.begin(), pcm.end(), 0x7EADBEEF);
        AacdFrameOutput out{};
        const uint8_t dummy = 0;
        const int32_t s = aacd_decode_frame(&cfg, &out, pcm.data(), len ? block.data() : &dummy,
                                            static_cast<int32_t>(len));
        if (!documented(s)) fail("status");
        if (s == 44 || s == 45 || s == 46) continue;
        if (out.num_channels > 6) fail("channels");
        if (out.frame_samples != 1024) fail("frame samples");
        if (out.bits_consumed > 8 * len) fail("bits consumed");
        const size_t words = 1024u * out.num_channels;
        if (cfg.sbr_mode == 0) {
            for (size_t i = 0; i < words; ++i)
                if (pcm[i] < lo || pcm[i] > hi) fail("pcm range");
            for (size_t i = words; i < pcm.size(); ++i)
                if (pcm[i] != 0x7EADBEEF) fail("pcm overrun");
        }
    }
    return 0;
}
