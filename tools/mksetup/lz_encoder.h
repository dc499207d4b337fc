// Encoder of the installer's block format, with an optimal parse.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <vector>

// Packs data into blocks of at most 65,536 bytes; a block that would not
// shrink is stored. Decodes back with CLzDecoder to exactly data.
std::vector<uint8_t> LzEncode(const uint8_t* data, size_t size);

// The fewest bits a packed block of these 1 to 65,536 bytes can take, which
// is what LzEncode's parse spends on it (before padding to whole bytes);
// 0 for any other size.
uint32_t LzPackedBlockBits(const uint8_t* data, size_t size);
