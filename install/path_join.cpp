#include "install/path_join.h"

#include <string.h>

int JoinPath(char out[plat::kMaxPath], const char* dir, const char* name) {
    const size_t dirLength = strlen(dir), nameLength = strlen(name);
    const bool needSeparator = dirLength == 0 || dir[dirLength - 1] != '\\';
    if (dirLength + (needSeparator ? 1 : 0) + nameLength >= static_cast<size_t>(plat::kMaxPath)) {
        out[0] = '\0';
        return 0;
    }
    // dir may be out itself: move, not copy.
    memmove(out, dir, dirLength);
    size_t at = dirLength;
    if (needSeparator) out[at++] = '\\';
    memcpy(out + at, name, nameLength + 1);
    return 1;
}

int CopyPath(char out[plat::kMaxPath], const char* text) {
    const size_t length = strlen(text);
    if (length >= static_cast<size_t>(plat::kMaxPath)) {
        out[0] = '\0';
        return 0;
    }
    memmove(out, text, length + 1);
    return 1;
}
