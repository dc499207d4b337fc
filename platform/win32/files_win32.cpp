// Files and directories of the seam on Windows, through the ANSI entry points
// so that paths stay in the system code page.
#include <windows.h>

#include "platform/platform.h"

namespace plat {

PathKind GetPathKind(const char* path) {
    if (!path) return kPathMissing;
    DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) return kPathMissing;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? kPathDirectory : kPathFile;
}

int CreateOneDirectory(const char* path) { return path && CreateDirectoryA(path, nullptr); }

int RemoveEmptyDirectory(const char* path) { return path && RemoveDirectoryA(path); }

int DeleteOneFile(const char* path) { return path && DeleteFileA(path); }

// MoveFileA never replaces an existing target.
int MoveFileNoReplace(const char* from, const char* to) {
    return from && to && MoveFileA(from, to);
}

int SetFileTimesFromDos(const char* path, uint32_t dosDateTime) {
    if (!path) return 0;
    HANDLE file =
        CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 0;
    FILETIME created, accessed, written, local, utc;
    BOOL ok = GetFileTime(file, &created, &accessed, &written) &&
              DosDateTimeToFileTime(static_cast<WORD>(dosDateTime >> 16),
                                    static_cast<WORD>(dosDateTime & 0xFFFF), &local) &&
              LocalFileTimeToFileTime(&local, &utc) && SetFileTime(file, &utc, &accessed, &utc);
    BOOL closed = CloseHandle(file);
    return ok && closed;
}

int GetModulePath(char path[kMaxPath]) {
    DWORD n = GetModuleFileNameA(nullptr, path, kMaxPath);
    // n == kMaxPath means the name was cut to fit.
    return n > 0 && n < static_cast<DWORD>(kMaxPath);
}

}  // namespace plat
