#include "ui/checks.h"

#include <stdio.h>
#include <string.h>

#include "ui/texts.h"
#include "ui/window_system.h"

namespace ui {
namespace {

const double kBytesToMegabytes = 1.0 / (1024.0 * 1024.0);

bool IsLeadByte(unsigned char c) { return c >= 0x81 && c <= 0xFE; }

// Length of the text before the last backslash, or -1 when there is none.
// The trail byte of a double-byte character may be 0x5C and is never one.
int FindLastBackslash(const char* path) {
    int last = -1;
    for (int i = 0; path[i] != '\0'; ++i) {
        if (IsLeadByte(static_cast<unsigned char>(path[i])) && path[i + 1] != '\0')
            ++i;
        else if (path[i] == '\\')
            last = i;
    }
    return last;
}

int VisitProgram(const char* programPath, void* context) {
    return IsProgramInFolder(programPath, static_cast<const char*>(context)) ? 1 : 0;
}

}  // namespace

bool IsProgramInFolder(const char* programPath, const char* dir) {
    int folderLength = FindLastBackslash(programPath);
    if (folderLength < 0) folderLength = 0;
    return strlen(dir) == static_cast<size_t>(folderLength) &&
           memcmp(programPath, dir, static_cast<size_t>(folderLength)) == 0;
}

bool IsProgramRunningIn(const char* dir, ProcessEnumerator enumerate) {
    return enumerate(VisitProgram, const_cast<char*>(dir)) != 0;
}

float GetFreeMegabytes(const char* path) {
    // The root is the first three characters, as D:\ for D:\Program Files.
    char root[4] = {0, 0, 0, 0};
    for (int i = 0; i < 3 && path[i] != '\0'; ++i) root[i] = path[i];
    if (plat::GetDriveType(root) != plat::kDriveFixed) return 0.0f;
    uint64_t freeBytes = 0;
    if (!plat::GetFreeBytes(root, &freeBytes)) return 0.0f;
    // The product is exact in double; the store makes the one rounding to
    // single precision happen here, also on an x87 unit whose registers are
    // wider, because the border of 100 MB depends on it.
    volatile float megabytes =
        static_cast<float>(static_cast<double>(freeBytes) * kBytesToMegabytes);
    return megabytes;
}

int CheckTargetDir(const char* dir, CWindowSystem& ws) {
    if (GetFreeMegabytes(dir) < kMinFreeMegabytes) {
        ws.ShowMessage(texts::kLowDiskSpace);
        return 0;
    }
    // An earlier installation left its marker; without it nothing of the
    // product can be running from there. A directory too long for the
    // marker's path is checked all the same rather than waved through.
    char marker[plat::kMaxPath];
    int n = snprintf(marker, sizeof marker, "%s\\exename.ini", dir);
    bool fits = n >= 0 && n < static_cast<int>(sizeof marker);
    if (fits && plat::GetPathKind(marker) == plat::kPathMissing) return 1;
    if (IsProgramRunningIn(dir)) {
        ws.ShowMessage(texts::kProgramRunning);
        return 0;
    }
    return 1;
}

}  // namespace ui
