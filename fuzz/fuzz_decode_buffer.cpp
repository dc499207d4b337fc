// Packed items from memory: no stray access on any input, and a decoded
// size that is exactly the sum of the headers' raw lengths, accepted at that
// capacity and refused one byte below it.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "payload/lz_decoder.h"

namespace {

const int64_t kMaxOutput = 4 << 20;

// The decoded size the headers promise, following them as the decoder does.
int64_t DeclaredSize(const uint8_t* data, size_t size) {
    int64_t total = 0;
    size_t at = 0;
    while (at + 4 <= size && total <= kMaxOutput) {
        uint32_t r = data[at] | data[at + 1] << 8, k = data[at + 2] | data[at + 3] << 8;
        uint32_t raw = r ? r : uint32_t(kBlockSize);
        at += 4 + (k == r ? raw : k);
        total += raw;
    }
    return total < kMaxOutput ? total : kMaxOutput;
}

int32_t Decode(const uint8_t* data, size_t size, int32_t cap, uint8_t** out) {
    *out = static_cast<uint8_t*>(malloc(cap ? size_t(cap) : 1));  // exact, for ASan
    CLzDecoder decoder;
    return decoder.DecodeBuffer(*out, cap, data, int32_t(size));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) return 0;
    int32_t cap = int32_t(DeclaredSize(data, size));
    uint8_t* out = nullptr;
    int32_t n = Decode(data, size, cap, &out);
    if (n >= 0) {
        if (n != cap && cap < kMaxOutput) abort();
        if (n > 0) {
            uint8_t* tight = nullptr;
            if (Decode(data, size, n - 1, &tight) != -1) abort();
            free(tight);
        }
    }
    free(out);
    return 0;
}
