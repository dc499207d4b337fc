// Reads the uninstall record from behind the program image of an uninstaller
// file, normally the running program's own.
#include <windows.h>

#include "uninstaller/uninstaller.h"

namespace {

int ReadAt(void* context, uint64_t offset, void* buffer, size_t count) {
    HANDLE file = static_cast<HANDLE>(context);
    LARGE_INTEGER position;
    position.QuadPart = static_cast<LONGLONG>(offset);
    if (!SetFilePointerEx(file, position, nullptr, FILE_BEGIN)) return 0;
    DWORD read = 0;
    return ReadFile(file, buffer, static_cast<DWORD>(count), &read, nullptr) && read == count;
}

}  // namespace

int LoadRecordFromProgram(const char* programPath, uninstall::UninstallRecord* record) {
    // The running program's image is mapped: share everything so that the
    // open succeeds beside the loader's own handle.
    HANDLE file = CreateFileA(programPath, GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 0;
    LARGE_INTEGER size;
    int ok =
        GetFileSizeEx(file, &size) &&
        uninstall::ReadUninstallRecord(ReadAt, file, static_cast<uint64_t>(size.QuadPart), record);
    CloseHandle(file);
    return ok;
}
