// Any bytes encode to an item that decodes back to exactly them, and no
// block is ever larger than storing it.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

#include "payload/lz_decoder.h"
#include "tools/mksetup/lz_encoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (256u << 10)) return 0;
    std::vector<uint8_t> item = LzEncode(data, size);
    if (size == 0) {
        if (!item.empty()) abort();
        return 0;
    }
    size_t blocks = (size + kBlockSize - 1) / kBlockSize;
    if (item.size() > size + 4 * blocks) abort();
    std::vector<uint8_t> out(size);
    CLzDecoder decoder;
    int32_t n = decoder.DecodeBuffer(out.data(), int32_t(size), item.data(), int32_t(item.size()));
    if (n != int32_t(size) || memcmp(out.data(), data, size) != 0) abort();
    return 0;
}
