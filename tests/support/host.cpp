#include "host.h"

#include "bitstream/armCOMM_Bitstream.h"

namespace aacdtest {

void BitWriter::put(uint32_t value, int32_t n) {
    if (n == 0) return;
    if ((bits >> 3) + 8 > bytes.size()) bytes.resize(bytes.size() * 2, 0);
    uint8_t *p = bytes.data() + (bits >> 3);
    uint32_t off = bits & 7;
    armPackBits(&p, &off, value, n);
    bits += static_cast<uint32_t>(n);
}

std::vector<uint8_t> BitWriter::finish() const {
    return std::vector<uint8_t>(bytes.begin(), bytes.begin() + (bits + 7) / 8);
}

}  // namespace aacdtest
