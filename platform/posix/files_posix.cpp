// Files and directories of the seam on a POSIX host: ANSI paths are mapped to
// host paths first, so the core never sees the host's encoding.
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include "platform/platform.h"
#include "platform/posix/host_path.h"

#ifndef RENAME_NOREPLACE
#define RENAME_NOREPLACE (1 << 0)
#endif

namespace plat {
namespace {

int DaysInMonth(int year, int month) {
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return (month == 2 && leap) ? 29 : kDays[month - 1];
}

// The MS-DOS fields read as local time; 0 for a date the system would reject
// (month 0, day 31 of April, second 60 and the like).
int DosToLocalTime(uint32_t dosDateTime, time_t* out) {
    unsigned date = dosDateTime >> 16, time = dosDateTime & 0xFFFF;
    struct tm t = {};
    t.tm_year = 80 + static_cast<int>(date >> 9);
    t.tm_mon = static_cast<int>((date >> 5) & 0x0F) - 1;
    t.tm_mday = static_cast<int>(date & 0x1F);
    t.tm_hour = static_cast<int>(time >> 11);
    t.tm_min = static_cast<int>((time >> 5) & 0x3F);
    t.tm_sec = static_cast<int>(time & 0x1F) * 2;
    t.tm_isdst = -1;
    if (t.tm_mon < 0 || t.tm_mon > 11 || t.tm_mday < 1 ||
        t.tm_mday > DaysInMonth(1900 + t.tm_year, t.tm_mon + 1) || t.tm_hour > 23 ||
        t.tm_min > 59 || t.tm_sec > 59)
        return 0;
    time_t seconds = mktime(&t);
    if (seconds == static_cast<time_t>(-1)) return 0;
    *out = seconds;
    return 1;
}

}  // namespace

PathKind GetPathKind(const char* path) {
    HostPath host(path);
    struct stat st;
    if (!host.ok || stat(host.c_str(), &st) != 0) return kPathMissing;
    return S_ISDIR(st.st_mode) ? kPathDirectory : kPathFile;
}

int CreateOneDirectory(const char* path) {
    HostPath host(path);
    return host.ok && mkdir(host.c_str(), 0755) == 0;
}

int RemoveEmptyDirectory(const char* path) {
    HostPath host(path);
    return host.ok && rmdir(host.c_str()) == 0;
}

int DeleteOneFile(const char* path) {
    HostPath host(path);
    return host.ok && unlink(host.c_str()) == 0;
}

int MoveFileNoReplace(const char* from, const char* to) {
    HostPath hostFrom(from), hostTo(to);
    if (!hostFrom.ok || !hostTo.ok) return 0;
    if (syscall(SYS_renameat2, AT_FDCWD, hostFrom.c_str(), AT_FDCWD, hostTo.c_str(),
                RENAME_NOREPLACE) == 0)
        return 1;
    if (errno != EINVAL && errno != ENOSYS) return 0;
    // File systems without the no-replace rename: a hard link fails on an
    // existing target just the same, and then the old name goes.
    if (link(hostFrom.c_str(), hostTo.c_str()) != 0) return 0;
    return unlink(hostFrom.c_str()) == 0;
}

int SetFileTimesFromDos(const char* path, uint32_t dosDateTime) {
    HostPath host(path);
    time_t seconds;
    if (!host.ok || !DosToLocalTime(dosDateTime, &seconds)) return 0;
    // The host keeps no creation time; the last-access time stays as it is.
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = seconds;
    times[1].tv_nsec = 0;
    return utimensat(AT_FDCWD, host.c_str(), times, 0) == 0;
}

int GetModulePath(char path[kMaxPath]) {
    char host[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", host, sizeof host - 1);
    if (n <= 0) return 0;
    host[n] = '\0';
    return HostToAnsi(host, path, kMaxPath);
}

}  // namespace plat
