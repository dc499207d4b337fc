// Running programs on a POSIX host: the executable link of every process in
// /proc, as an ANSI path.
#include <dirent.h>
#include <limits.h>
#include <stdio.h>
#include <unistd.h>

#include "platform/platform.h"

namespace plat {
namespace {

bool IsProcessId(const char* name) {
    if (*name == '\0') return false;
    for (; *name; ++name)
        if (*name < '0' || *name > '9') return false;
    return true;
}

// The program file of a process; 0 when it cannot be read (the process has
// ended, or belongs to someone we may not look at) or has no ANSI name.
int ReadProgramPath(const char* pid, char ansi[kMaxPath]) {
    char link[64];
    snprintf(link, sizeof link, "/proc/%s/exe", pid);
    char host[PATH_MAX];
    ssize_t n = readlink(link, host, sizeof host - 1);
    if (n <= 0) return 0;
    host[n] = '\0';
    return HostToAnsi(host, ansi, kMaxPath);
}

}  // namespace

int ForEachProcessProgram(ProcessVisitor visit, void* context) {
    DIR* proc = opendir("/proc");
    if (!proc) return 0;
    int result = 0;
    while (struct dirent* entry = readdir(proc)) {
        if (!IsProcessId(entry->d_name)) continue;
        char program[kMaxPath];
        if (!ReadProgramPath(entry->d_name, program)) continue;
        result = visit(program, context);
        if (result) break;
    }
    closedir(proc);
    return result;
}

}  // namespace plat
