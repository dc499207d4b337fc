// The uninstaller's rules for what it may remove, as portable logic: which
// folder it refuses to delete, and which files are shortcuts it made.
// Paths are ANSI strings of a double-byte code page (GBK on our systems), so a
// 0x5C byte is a separator only where it stands as a character of its own,
// never as the second byte of a double-byte character.
#pragma once

#include <stddef.h>
#include <stdint.h>

namespace uninstall {

const int kGuardPath = 260;  // path buffers: 259 bytes and the zero

// Tells whether a byte starts a double-byte character of the code page.
typedef int (*LeadByteTest)(unsigned char byte);
int IsGbkLeadByte(unsigned char byte);  // 0x81..0xFE, code page 936

// Brings a path to the form in which two names of one folder are equal as
// bytes: "\\?\" dropped, '/' read as '\', runs of separators made one, the
// trailing ones dropped, ASCII letters upper-cased (double-byte characters
// untouched). 0 for a null path or one of 260 bytes or more.
int NormalizeFolder(const char* path, LeadByteTest isLead, char out[kGuardPath]);

int SameFolder(const char* a, const char* b, LeadByteTest isLead);
// 1 when `folder` is `other` or one of the folders that contain it.
int ContainsFolder(const char* folder, const char* other, LeadByteTest isLead);

// Folder part of a file path, cut at its last separator character; a drive
// root keeps its backslash. 0 when the path has no separator.
int ParentFolder(const char* filePath, LeadByteTest isLead, char folder[kGuardPath]);

enum FolderVerdict {
    kFolderRemovable = 0,
    kFolderNotFullPath = 1,  // relative, with "." or "..", or too long
    kFolderIsRoot = 2,       // a drive root or a network share itself
    kFolderProtected = 3,    // a protected folder or one that contains it
};

// Whether the uninstaller may delete `folder` with everything in it. A
// folder that contains a protected one is refused too: removing "C:\Users"
// removes every profile. *which receives the index of the protected folder
// that decided, or -1. Empty or null entries of the list are skipped.
FolderVerdict CheckFolderRemoval(const char* folder, const char* const* protectedFolders, int count,
                                 LeadByteTest isLead, int* which);

// 1 when the bytes begin like a shell link (.lnk) file: header size 0x4C and
// the shell link class identifier. The uninstaller deletes only such files
// at the shortcut paths it was given.
const size_t kShellLinkHeaderBytes = 20;
int IsShellLinkHeader(const uint8_t* data, size_t size);

}  // namespace uninstall
