// Removing what the installer made. Nothing that cannot be deleted is passed
// over in silence: it goes into the list of leftovers shown at the end.
#include <windows.h>

#include <string.h>

#include "install/uninstall_guard.h"
#include "uninstaller/uninstaller.h"

namespace {

const int kMaxListed = 12;  // a message box stays readable

int IsShellLinkFile(const char* path) {
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 0;
    uint8_t header[uninstall::kShellLinkHeaderBytes];
    DWORD read = 0;
    int ok = ReadFile(file, header, sizeof(header), &read, nullptr) &&
             uninstall::IsShellLinkHeader(header, read);
    CloseHandle(file);
    return ok;
}

// A read-only file is one the user could delete at the prompt after a
// question; the uninstaller was asked already.
int DeleteFileForced(const char* path) {
    if (DeleteFileA(path)) return 1;
    DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) return GetLastError() == ERROR_FILE_NOT_FOUND;
    if (!(attributes & FILE_ATTRIBUTE_READONLY)) return 0;
    SetFileAttributesA(path, attributes & ~FILE_ATTRIBUTE_READONLY);
    return DeleteFileA(path);
}

int RemoveDirectoryForced(const char* path) {
    if (RemoveDirectoryA(path)) return 1;
    DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) return 1;
    if (!(attributes & FILE_ATTRIBUTE_READONLY)) return 0;
    SetFileAttributesA(path, attributes & ~FILE_ATTRIBUTE_READONLY);
    return RemoveDirectoryA(path);
}

int IsDots(const char* name) {
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// Whether the last character (not merely the last byte) is a backslash: a
// double-byte character may end in 0x5C.
int EndsWithSeparator(const char* path, size_t length) {
    size_t i = 0, last = length;
    while (i < length) {
        last = i;
        i += (IsDBCSLeadByte(static_cast<BYTE>(path[i])) && i + 1 < length) ? 2 : 1;
    }
    return length && last == length - 1 && path[last] == '\\';
}

// Joins into `path` (which holds `length` bytes) and returns the new length,
// or 0 when the result would not fit a path buffer.
size_t Join(char path[kPathBytes], size_t length, const char* name) {
    size_t nameLength = strlen(name);
    int separator = !EndsWithSeparator(path, length);
    if (length + separator + nameLength >= static_cast<size_t>(kPathBytes)) return 0;
    if (separator) path[length++] = '\\';
    memcpy(path + length, name, nameLength + 1);
    return length + nameLength;
}

// Empties and removes the folder in `path` (its text is restored before
// returning). Returns the number of leftovers found inside, the folder
// itself counted when it is left without anything left in it.
int RemoveTree(char path[kPathBytes], size_t length, Leftovers* leftovers) {
    int left = 0;
    char pattern[kPathBytes];
    memcpy(pattern, path, length + 1);
    if (!Join(pattern, length, "*")) {
        AddLeftover(leftovers, path);
        return 1;
    }
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (IsDots(found.cFileName)) continue;
            size_t childLength = Join(path, length, found.cFileName);
            if (!childLength) {
                path[length] = '\0';
                AddLeftover(leftovers, path);  // a name too long for us: say where it lies
                ++left;
                continue;
            }
            DWORD attributes = found.dwFileAttributes;
            if ((attributes & FILE_ATTRIBUTE_DIRECTORY) &&
                !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
                left += RemoveTree(path, childLength, leftovers);
            } else if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
                // A junction or link: remove the link, never what it points to.
                if (!RemoveDirectoryForced(path)) {
                    AddLeftover(leftovers, path);
                    ++left;
                }
            } else if (!DeleteFileForced(path)) {
                AddLeftover(leftovers, path);
                ++left;
            }
            path[length] = '\0';
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    path[length] = '\0';
    if (!RemoveDirectoryForced(path) && left == 0) {
        AddLeftover(leftovers, path);
        ++left;
    }
    return left;
}

}  // namespace

void ClearLeftovers(Leftovers* leftovers) {
    leftovers->count = 0;
    leftovers->listed = 0;
    ClearText(&leftovers->list);
}

void AddLeftover(Leftovers* leftovers, const char* path) {
    ++leftovers->count;
    if (leftovers->listed >= kMaxListed) return;
    ++leftovers->listed;
    AppendText(&leftovers->list, path);
    AppendText(&leftovers->list, "\r\n");
}

void RemoveShortcuts(const uninstall::UninstallRecord& record, Leftovers* leftovers) {
    for (int i = 0; i < record.linkCount; ++i) {
        const char* link = record.linkPaths[i];
        if (!link[0]) continue;  // no shortcut was made for this entry
        DWORD attributes = GetFileAttributesA(link);
        if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
            continue;
        // Whatever stands there now and is no shortcut is not ours to delete.
        if (!IsShellLinkFile(link)) continue;
        if (!DeleteFileForced(link)) AddLeftover(leftovers, link);
    }
}

void RemoveMenuFolder(const char* folder, const ProtectedFolders& guarded) {
    if (!folder[0]) return;
    char longPath[kPathBytes];
    ToLongPath(folder, longPath);
    int which = -1;
    if (uninstall::CheckFolderRemoval(longPath, guarded.list, guarded.count, IsSystemLeadByte,
                                      &which) != uninstall::kFolderRemovable) {
        return;  // e.g. the Programs folder itself, when the product had no folder of its own
    }
    // Only when empty: other products' shortcuts may share the folder.
    RemoveDirectoryA(longPath);
}

void RemoveFolderTree(const char* folder, Leftovers* leftovers) {
    char path[kPathBytes];
    lstrcpynA(path, folder, kPathBytes);
    size_t length = strlen(path);
    // "D:\Product\" and "D:\Product" are one folder; the join below adds one
    // separator itself.
    while (length > 3 && EndsWithSeparator(path, length)) {
        path[--length] = '\0';
    }
    RemoveTree(path, length, leftovers);
}
