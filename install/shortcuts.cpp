// The engine's contact with the shell: special folders and shortcut files.
#include <string.h>

#include "payload/setup_info.h"
#include "platform/platform.h"

void CSetupInfo::GetSpecialFolderPath(char path[kFieldSize], int csidl) {
    // An unresolved folder leaves the buffer as it was; callers that must
    // know clear it first.
    plat::GetSpecialFolder(csidl, path);
}

int CSetupInfo::CreateShortcut(const char* linkPath, const char* targetPath, const char* iconPath) {
    // The program starts in its own folder: the target cut at its last
    // backslash (by byte value), or the whole target when it has none.
    char workDir[kFieldSize];
    memset(workDir, 0, sizeof workDir);
    size_t length = strlen(targetPath);
    memcpy(workDir, targetPath, length < sizeof workDir ? length : sizeof workDir - 1);
    char* cut = strrchr(workDir, '\\');
    if (cut) *cut = '\0';
    return plat::WriteShortcut(linkPath, targetPath, workDir, iconPath);
}
