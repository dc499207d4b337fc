// Tests a ZIP archive held in memory the way the installer will unpack it:
// through minizip, entry by entry, inflating every entry and checking its
// size and CRC-32; and checks that it keeps to what the installer handles
// (methods 0 and 8, no encryption, GBK names that stay inside the folder).
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

struct ZipIssue {
    uint64_t offset;   // within the archive
    std::string what;  // names the entry where there is one
};

struct ZipSummary {
    size_t entries = 0;
    size_t folders = 0;
    uint64_t bytes = 0;              // uncompressed
    std::vector<std::string> names;  // as stored: GBK, '/'
};

// True when no issue was found; issues are appended in archive order.
bool TestZipArchive(const uint8_t* data, size_t size, std::vector<ZipIssue>* issues,
                    ZipSummary* summary);
