// The uninstaller's inputs on arbitrary bytes: its own file (a PE image with
// the record behind it), the record alone, and the command line and folder
// names it judges. Nothing may crash, read outside its input, or accept a
// record whose texts do not fit their buffers.
#include <stdint.h>
#include <string.h>

#include <string>

#include "install/uninstall_guard.h"
#include "install/uninstall_options.h"
#include "payload/uninstall_record.h"

namespace {

struct Input {
    const uint8_t* data;
    size_t size;
};

int ReadFromInput(void* context, uint64_t offset, void* buffer, size_t count) {
    const Input* in = static_cast<const Input*>(context);
    if (offset > in->size || count > in->size - offset) __builtin_trap();  // asked out of bounds
    memcpy(buffer, in->data + offset, count);
    return 1;
}

void Check(bool condition) {
    if (!condition) __builtin_trap();
}

void CheckRecord(const uninstall::UninstallRecord& r) {
    Check(r.linkCount >= 0 && r.linkCount <= uninstall::kMaxLinks);
    Check(strlen(r.productName) < sizeof(r.productName));
    Check(strlen(r.menuFolder) < sizeof(r.menuFolder));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    uint8_t mode = data[0];
    Input in = {data + 1, size - 1};
    uninstall::UninstallRecord record;
    switch (mode % 3) {
        case 0:
            if (uninstall::ParseUninstallRecord(in.data, in.size, (mode >> 2) & 7, &record))
                CheckRecord(record);
            break;
        case 1:
            if (uninstall::ReadUninstallRecord(ReadFromInput, &in, in.size, &record))
                CheckRecord(record);
            break;
        default: {
            std::string text(reinterpret_cast<const char*>(in.data), in.size);
            const char* guarded[] = {"C:\\Windows", text.c_str()};
            int which = -1;
            uninstall::CheckFolderRemoval(text.c_str(), guarded, 2, uninstall::IsGbkLeadByte,
                                          &which);
            char parent[uninstall::kGuardPath];
            uninstall::ParentFolder(text.c_str(), uninstall::IsGbkLeadByte, parent);
            uninstall::UninstallOptions options;
            if (uninstall::ParseUninstallOptions(text.c_str(), &options))
                Check(strlen(options.originalPath) < sizeof(options.originalPath));
            break;
        }
    }
    return 0;
}
