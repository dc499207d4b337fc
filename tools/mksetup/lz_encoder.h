// Encoder of the installer's block format, with an optimal parse.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <vector>

// Packs data into blocks of at most 65,536 bytes; a block that would not
// shrink is stored. Decodes back with CLzDecoder to exactly data.
std::vector<uint8_t> LzEncode(const uint8_t* data, size_t size);
