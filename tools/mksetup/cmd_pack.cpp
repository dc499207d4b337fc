// mksetup pack: a whole file as one packed item of the block format.
#include <stdint.h>
#include <stdio.h>

#include "tools/mksetup/commands.h"
#include "tools/mksetup/lz_encoder.h"
#include "tools/mksetup/setup_file.h"

namespace {

int RunPack(const std::vector<std::string>& args) {
    if (args.size() != 2) {
        fprintf(stderr, "usage: mksetup pack IN OUT\n");
        return 2;
    }
    const std::string& inPath = args[0];
    const std::string& outPath = args[1];
    Bytes data;
    std::string error;
    if (!ReadFileBytes(inPath, &data, &error)) {
        ReportError(inPath, error);
        return 1;
    }
    Bytes packed = LzEncode(data.data(), data.size());
    // The installer counts an item's bytes in a signed 32-bit size field.
    if (packed.size() > static_cast<size_t>(INT32_MAX)) {
        ReportError(inPath, "too large: the packed item would exceed 2 GiB");
        return 1;
    }
    // An item that does not decode back must never reach an installer.
    Bytes check;
    if (!DecodeItem(packed.data(), packed.size(), data.size(), &check, &error) || check != data) {
        ReportError(inPath, "internal error: the packed item does not decode back to the file");
        return 1;
    }
    if (!WriteFileAtomically(outPath, packed, &error)) {
        ReportError(outPath, error);
        return 1;
    }
    return 0;
}

const CommandRegistration kRegistration(
    {"pack", "pack IN OUT", "pack a file into one item of the installer's block format", RunPack});

}  // namespace
