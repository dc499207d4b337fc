// The folders that the uninstaller never deletes, whatever directory it was
// installed into: the system's own, the shared program folders and the
// user's, each with every folder that contains it (see uninstall_guard.h).
#include <windows.h>
#include <shlobj.h>

#include <string.h>

#include "install/uninstall_guard.h"
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
    // Folders inside the ones above that a user may well type as the
    // installation directory: only the folder itself needs the guard.
    CSIDL_FAVORITES,
    CSIDL_SENDTO,
    CSIDL_RECENT,
    CSIDL_TEMPLATES,
    CSIDL_ADMINTOOLS,
    CSIDL_COMMON_MUSIC,
    CSIDL_COMMON_PICTURES,
    CSIDL_COMMON_VIDEO,
    CSIDL_COMMON_TEMPLATES,
    CSIDL_COMMON_ADMINTOOLS,
};

// The user's Downloads folder has no CSIDL: FOLDERID_Downloads.
const GUID kDownloadsFolder = {
    0x374DE290, 0x123F, 0x4565, {0x91, 0x64, 0x39, 0xC4, 0x92, 0x5E, 0x46, 0x7B}};

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
    "OneDrive",
};

void AddOne(ProtectedFolders* folders, const char* path) {
    if (folders->count >= kMaxProtected) return;
    char* slot = folders->paths[folders->count];
    lstrcpynA(slot, path, kPathBytes);
    folders->list[folders->count] = slot;
    ++folders->count;
}

// The folder by its long name, and also where it really lies when a junction
// or symbolic link leads there: the installation directory is tested both
// ways too.
void Add(ProtectedFolders* folders, const char* path) {
    if (!path[0]) return;
    char longPath[kPathBytes], finalPath[kPathBytes];
    ToLongPath(path, longPath);
    AddOne(folders, longPath);
    if (ToFinalPath(longPath, finalPath) &&
        !uninstall::SameFolder(finalPath, longPath, IsSystemLeadByte))
        AddOne(folders, finalPath);
}

// A known folder's path in the code page; 0 when it has none or its name has
// characters the code page lacks.
int KnownFolderPath(const GUID& id, char out[kPathBytes]) {
    PWSTR wide = nullptr;
    int ok = 0;
    if (SUCCEEDED(SHGetKnownFolderPath(id, 0, nullptr, &wide)) && wide) {
        BOOL lossy = FALSE;
        ok = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, -1, out, kPathBytes, nullptr,
                                 &lossy) > 0 &&
             !lossy;
    }
    CoTaskMemFree(wide);
    return ok;
}

}  // namespace

int IsSystemLeadByte(unsigned char byte) { return IsDBCSLeadByte(byte) != 0; }

void ToLongPath(const char* path, char out[kPathBytes]) {
    DWORD n = GetLongPathNameA(path, out, kPathBytes);
    if (n == 0 || n >= static_cast<DWORD>(kPathBytes)) lstrcpynA(out, path, kPathBytes);
}

int ToFinalPath(const char* folder, char out[kPathBytes]) {
    // No access asked for: the handle only names the folder.
    HANDLE handle = CreateFileA(folder, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return 0;
    DWORD n =
        GetFinalPathNameByHandleA(handle, out, kPathBytes, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    CloseHandle(handle);
    return n > 0 && n < static_cast<DWORD>(kPathBytes);
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
    if (KnownFolderPath(kDownloadsFolder, path)) Add(folders, path);
    for (const char* name : kGuardedVariables) {
        DWORD length = GetEnvironmentVariableA(name, path, MAX_PATH);
        if (length && length < MAX_PATH) Add(folders, path);
    }
}
