// Drives on a POSIX host: the one file-system tree stands for a fixed disk
// whose root is '/'; a drive letter or a UNC name has no meaning there.
#include <sys/statvfs.h>

#include "platform/platform.h"

namespace plat {
namespace {

struct FakeDrive {
    bool active;
    int type;
    uint64_t freeBytes;
    int queryOk;
};
FakeDrive g_fake = {false, kDriveUnknown, 0, 0};

bool IsUncRoot(const char* root) { return root[0] == '\\' && root[1] == '\\'; }

}  // namespace

void SetFakeDrive(int driveType, uint64_t totalFreeBytes, int queryOk) {
    g_fake = FakeDrive{true, driveType, totalFreeBytes, queryOk};
}

void ClearFakeDrive() { g_fake.active = false; }

int GetDriveType(const char* root) {
    if (g_fake.active) return g_fake.type;
    if (!root || root[0] != '\\') return kDriveNoRoot;
    return IsUncRoot(root) ? kDriveRemote : kDriveFixed;
}

int GetFreeBytes(const char* root, uint64_t* totalFreeBytes) {
    if (g_fake.active) {
        if (!g_fake.queryOk) return 0;
        *totalFreeBytes = g_fake.freeBytes;
        return 1;
    }
    if (GetDriveType(root) != kDriveFixed) return 0;
    struct statvfs fs;
    if (statvfs("/", &fs) != 0) return 0;
    // All free blocks, those kept for the superuser included: the volume's
    // total free space, not the share available to the caller.
    *totalFreeBytes = static_cast<uint64_t>(fs.f_bfree) * fs.f_frsize;
    return 1;
}

}  // namespace plat
