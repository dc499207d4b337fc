// The folders that the uninstaller never deletes, whatever directory it was
// installed into: the system's own, the shared program folders and the
// user's, each with every folder that contains it (see uninstall_guard.h).
#include <windows.h>
#include <shlobj.h>

#include <string.h>

#include "uninstaller/uninstaller.h"

namespace {

const int kGuardedShellFolders[] = {
    CSIDL_WINDOWS,
    CSIDL_SYSTEM,
    CSIDL_SYSTEMX86,
    CSIDL_FONTS,
    CSIDL_PROGRAM_FILES,
    CSIDL_PROGRAM_FILESX86,
    CSIDL_PROGRAM_FILES_COMMON,
    CSIDL_PROGRAM_FILES_COMMONX86,
    CSIDL_PROFILE,
    CSIDL_DESKTOPDIRECTORY,
    CSIDL_PERSONAL,
    CSIDL_MYPICTURES,
    CSIDL_MYMUSIC,
    CSIDL_MYVIDEO,
    CSIDL_APPDATA,
    CSIDL_LOCAL_APPDATA,
    CSIDL_STARTMENU,
    CSIDL_PROGRAMS,
    CSIDL_STARTUP,
    CSIDL_COMMON_APPDATA,
    CSIDL_COMMON_DESKTOPDIRECTORY,
    CSIDL_COMMON_DOCUMENTS,
    CSIDL_COMMON_STARTMENU,
    CSIDL_COMMON_PROGRAMS,
    CSIDL_COMMON_STARTUP,
};

// The same folders as the environment names them; a program may have been
// started with an environment that differs from the shell's view.
const char* const kGuardedVariables[] = {
    "SystemRoot",   "windir",
    "ProgramFiles", "ProgramFiles(x86)",
    "ProgramW6432", "CommonProgramFiles",
    "USERPROFILE",  "ALLUSERSPROFILE",
    "PUBLIC",       "ProgramData",
    "APPDATA",      "LOCALAPPDATA",
    "TEMP",         "TMP",
};

void Add(ProtectedFolders* folders, const char* path) {
    if (!path[0] || folders->count >= kMaxProtected) return;
    char* slot = folders->paths[folders->count];
    ToLongPath(path, slot);
    folders->list[folders->count] = slot;
    ++folders->count;
}

}  // namespace

int IsSystemLeadByte(unsigned char byte) { return IsDBCSLeadByte(byte) != 0; }

void ToLongPath(const char* path, char out[kPathBytes]) {
    DWORD n = GetLongPathNameA(path, out, kPathBytes);
    if (n == 0 || n >= static_cast<DWORD>(kPathBytes)) lstrcpynA(out, path, kPathBytes);
}

void CollectProtectedFolders(ProtectedFolders* folders) {
    folders->count = 0;
    char path[MAX_PATH];
    UINT n = GetWindowsDirectoryA(path, MAX_PATH);
    if (n && n < MAX_PATH) Add(folders, path);
    n = GetSystemDirectoryA(path, MAX_PATH);
    if (n && n < MAX_PATH) Add(folders, path);
    for (int csidl : kGuardedShellFolders) {
        path[0] = '\0';
        if (SUCCEEDED(SHGetFolderPathA(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path)))
            Add(folders, path);
    }
    for (const char* name : kGuardedVariables) {
        DWORD length = GetEnvironmentVariableA(name, path, MAX_PATH);
        if (length && length < MAX_PATH) Add(folders, path);
    }
}
