// The one seam between the portable core and the operating system.
// Every path is an ANSI string of the system code page (GBK on the systems we
// serve) with '\' as separator; results are 1 for success and 0 for failure.
#pragma once

#include <stddef.h>
#include <stdint.h>

namespace plat {

const int kMaxPath = 260;  // path buffers: 259 bytes of text and the zero

// --- Files and directories -------------------------------------------------
enum PathKind { kPathMissing = 0, kPathFile = 1, kPathDirectory = 2 };
PathKind GetPathKind(const char* path);
int CreateOneDirectory(const char* path);    // one level; 0 when it exists
int RemoveEmptyDirectory(const char* path);  // 0 unless it was an empty directory
int DeleteOneFile(const char* path);
int MoveFileNoReplace(const char* from, const char* to);
// Creation and last-write time from an MS-DOS date (high 16 bits) and time
// (low 16 bits) read as local time; the last-access time is kept.
int SetFileTimesFromDos(const char* path, uint32_t dosDateTime);
// Full path of the running program.
int GetModulePath(char path[kMaxPath]);

// --- Time ------------------------------------------------------------------
struct LocalTime {
    int year, month, day, hour, minute, second, milliseconds;
};
void GetLocalTimeMs(LocalTime* t);       // the system clock with milliseconds
void GetLocalTimeSeconds(LocalTime* t);  // the calendar time in whole seconds; milliseconds 0

// --- Special folders and shortcuts -----------------------------------------
const int kFolderDesktop = 0;   // CSIDL_DESKTOP
const int kFolderPrograms = 2;  // CSIDL_PROGRAMS
// Writes the folder's path; leaves the buffer untouched and returns 0 when
// the folder cannot be resolved.
int GetSpecialFolder(int csidl, char path[kMaxPath]);
// 0 when no shortcut object could be made (nothing written); 1 otherwise,
// also when saving failed.
int WriteShortcut(const char* linkPath, const char* target, const char* workDir,
                  const char* iconPath);

// --- Drives ----------------------------------------------------------------
enum DriveType {
    kDriveUnknown = 0,
    kDriveNoRoot = 1,
    kDriveRemovable = 2,
    kDriveFixed = 3,
    kDriveRemote = 4,
    kDriveCdrom = 5,
    kDriveRamdisk = 6,
};
int GetDriveType(const char* root);
int GetFreeBytes(const char* root, uint64_t* totalFreeBytes);

// --- Processes and threads -------------------------------------------------
// Calls visit with the program file of every process whose module list can
// be read, until visit returns nonzero; returns that value, or 0.
typedef int (*ProcessVisitor)(const char* programPath, void* context);
int ForEachProcessProgram(ProcessVisitor visit, void* context);

typedef void (*ThreadProc)(void* arg);
int StartThread(ThreadProc proc, void* arg);  // detached; 0 when it could not start

class Lock {
  public:
    Lock();
    ~Lock();
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;
    void Enter();
    void Leave();

  private:
    alignas(8) unsigned char m_storage[64];
};

#ifndef _WIN32
// --- POSIX host only -------------------------------------------------------
// ANSI paths map to host paths: GBK becomes UTF-8, '\' becomes '/'.
int AnsiToHost(const char* ansi, char* host, size_t hostCap);
int HostToAnsi(const char* host, char* ansi, size_t ansiCap);
// The special folders are directories the caller chooses (ANSI paths).
void SetSpecialFolder(int csidl, const char* ansiPath);
// Tests: every root then reports this drive type and free space (a free-space
// query fails when queryOk is 0), until ClearFakeDrive.
void SetFakeDrive(int driveType, uint64_t totalFreeBytes, int queryOk = 1);
void ClearFakeDrive();
#endif

}  // namespace plat
