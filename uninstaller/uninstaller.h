// The uninstaller's parts on Windows: reading its record, the folders it
// must never delete, the removal itself and the hand-over to a copy of itself
// that can delete the installation directory once this program has ended.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "payload/uninstall_record.h"

const int kPathBytes = 260;

// Exit codes, so that scripts can tell what happened.
enum ExitCode {
    kExitDone = 0,       // removed; or the copy in %TEMP% took over
    kExitCancelled = 1,  // the user said no
    kExitNoRecord = 2,   // the uninstall record is missing or damaged
    kExitRefused = 3,    // the installation directory is one we never delete
    kExitLeftovers = 4,  // something could not be deleted
    kExitBadCommandLine = 5,
};

// --- Texts -----------------------------------------------------------------
struct TextBuffer {
    char text[4096];
    size_t used;
};
void ClearText(TextBuffer* buffer);
// Appends as much as fits; a double-byte character is never cut in half.
void AppendText(TextBuffer* buffer, const char* text);
void AppendNumber(TextBuffer* buffer, unsigned value);

// --- The record behind the program image ------------------------------------
int LoadRecordFromProgram(const char* programPath, uninstall::UninstallRecord* record);

// --- Folders never deleted ----------------------------------------------------
const int kMaxProtected = 128;  // each folder by its name and where it lies
struct ProtectedFolders {
    char paths[kMaxProtected][kPathBytes];
    const char* list[kMaxProtected];
    int count;
};
void CollectProtectedFolders(ProtectedFolders* folders);
int IsSystemLeadByte(unsigned char byte);
// The long form of an existing path (no 8.3 names), else the path as given.
void ToLongPath(const char* path, char out[kPathBytes]);
// The folder as the system finally reaches it, every junction and symbolic
// link on the way followed ("\\?\" form); 0 when it cannot be told.
int ToFinalPath(const char* folder, char out[kPathBytes]);

// --- Removal -------------------------------------------------------------------
struct Leftovers {
    int count;
    TextBuffer list;  // one path a line, as many as fit a message box
    int listed;
};
void ClearLeftovers(Leftovers* leftovers);
void AddLeftover(Leftovers* leftovers, const char* path);
void RemoveShortcuts(const uninstall::UninstallRecord& record, Leftovers* leftovers);
void RemoveMenuFolder(const char* folder, const ProtectedFolders& guarded);
void RemoveFolderTree(const char* folder, Leftovers* leftovers);

// --- Hand-over ------------------------------------------------------------------
// Copies this program into %TEMP% and starts the copy on programPath; 1 when
// the copy runs (this process must end now so that its file can go).
int HandOverToTempCopy(const char* programPath, int silent);
// Waits, for a bounded time, until the process has ended.
void WaitForProcessEnd(uint32_t processId);
// Makes sure the running copy in %TEMP% does not stay behind.
void ScheduleOwnDeletion();
