#include "install/folders.h"

#include <string.h>

#include "payload/setup_info.h"
#include "platform/platform.h"

namespace folders {
namespace {

// Separators are found by their byte value, as everywhere in the installer.
const char* LastBackslash(const char* path) { return strrchr(path, '\\'); }

// Copies the part of path before cut into a path buffer.
void CopyPrefix(char out[plat::kMaxPath], const char* path, const char* cut) {
    size_t length = static_cast<size_t>(cut - path);
    memcpy(out, path, length);
    out[length] = '\0';
}

}  // namespace

int CreateFolder(const char* path) {
    if (!path || !*path) return 0;
    if (strlen(path) >= static_cast<size_t>(plat::kMaxPath)) return 0;
    plat::PathKind kind = plat::GetPathKind(path);
    if (kind != plat::kPathMissing) return kind == plat::kPathDirectory;

    const char* cut = LastBackslash(path);
    if (!cut) return 1;
    char parent[plat::kMaxPath];
    CopyPrefix(parent, path, cut);
    if (!CreateFolder(parent)) return 0;
    if (plat::CreateOneDirectory(path)) return 1;
    // "D:\Product\" names the folder that the step above has just made, so
    // making it again fails although the folder is there; the same when
    // another thread or program made it in the meantime.
    return plat::GetPathKind(path) == plat::kPathDirectory;
}

int CreateParentFolder(const char* filePath) {
    if (!filePath) return 0;
    if (strlen(filePath) >= static_cast<size_t>(plat::kMaxPath)) return 0;
    const char* cut = LastBackslash(filePath);
    if (!cut) return 0;
    char folder[plat::kMaxPath];
    CopyPrefix(folder, filePath, cut);
    return CreateFolder(folder);
}

}  // namespace folders

int CSetupInfo::CreateFolder(const char* path) { return folders::CreateFolder(path); }

int CSetupInfo::CreateParentFolder(const char* filePath) {
    return folders::CreateParentFolder(filePath);
}
