#include <windows.h>
// The seam's name, not the ANSI/wide macro of the system headers.
#undef GetDriveType

#include "platform/platform.h"

namespace plat {

int GetDriveType(const char* root) { return static_cast<int>(GetDriveTypeA(root)); }

int GetFreeBytes(const char* root, uint64_t* totalFreeBytes) {
    ULARGE_INTEGER availableToCaller, totalBytes, totalFree;
    if (!GetDiskFreeSpaceExA(root, &availableToCaller, &totalBytes, &totalFree)) return 0;
    // The whole volume's free space, whatever the caller's quota.
    *totalFreeBytes = totalFree.QuadPart;
    return 1;
}

}  // namespace plat
