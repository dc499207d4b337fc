// mksetup unpack: decodes a file that holds one packed item, as the installer
// decodes its uninstaller: straight from the file, block by block.
#include <errno.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>

#include "payload/lz_decoder.h"
#include "platform/file_stream.h"
#include "tools/mksetup/commands.h"
#include "tools/mksetup/setup_file.h"

namespace {

// The item's byte count, which the format itself does not carry.
bool PackedSize(const std::string& path, int32_t* size, std::string* error) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
        *error = std::string("cannot open: ") + strerror(errno);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        *error = "not a regular file";
        return false;
    }
    if (st.st_size > INT32_MAX) {
        *error = "too large for a packed item (over 2 GiB)";
        return false;
    }
    *size = static_cast<int32_t>(st.st_size);
    return true;
}

int RunUnpack(const std::vector<std::string>& args) {
    if (args.size() != 2) {
        fprintf(stderr, "usage: mksetup unpack IN OUT\n");
        return 2;
    }
    const std::string& inPath = args[0];
    const std::string& outPath = args[1];
    std::string error, inAnsi, tempAnsi;
    int32_t packedLen = 0;
    if (!PackedSize(inPath, &packedLen, &error) || !HostPathToAnsi(inPath, &inAnsi, &error)) {
        ReportError(inPath, error);
        return 1;
    }
    CFileStream in;
    if (!in.Open(inAnsi.c_str(), CFileStream::kRead)) {
        ReportError(inPath, std::string("cannot open: ") + strerror(errno));
        return 1;
    }
    PendingFile pending;
    if (!pending.Create(outPath, &error) ||
        !HostPathToAnsi(pending.tempPath(), &tempAnsi, &error)) {
        ReportError(outPath, error);
        return 1;
    }
    CFileStream out;
    if (!out.Open(tempAnsi.c_str(), CFileStream::kWrite)) {
        ReportError(outPath, std::string("cannot write: ") + strerror(errno));
        return 1;
    }
    CLzDecoder decoder;
    int32_t written = decoder.DecodeStream(in, out, packedLen);
    // A failed write shows at closing; anything else wrong is the item's.
    if (!out.Close()) {
        ReportError(outPath, "cannot write");
        return 1;
    }
    if (written < 0) {
        ReportError(inPath, "not a well-formed packed item (malformed or cut off)");
        return 1;
    }
    if (!pending.Commit(&error)) {
        ReportError(outPath, error);
        return 1;
    }
    return 0;
}

const CommandRegistration kRegistration({"unpack", "unpack IN OUT",
                                         "decode a file that holds one packed item", RunUnpack});

}  // namespace
