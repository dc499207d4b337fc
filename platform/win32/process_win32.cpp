#include <windows.h>
#include <tlhelp32.h>

#include "platform/platform.h"

namespace plat {
namespace {

// The process's program file: the path of the first module of its module
// list. A 32-bit program cannot list the modules of a 64-bit process; the
// system still names that process's image, so such a program is not missed.
int GetProgramPath(DWORD processId, char path[kMaxPath]) {
    HANDLE modules = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, processId);
    if (modules != INVALID_HANDLE_VALUE) {
        MODULEENTRY32 module;
        module.dwSize = sizeof module;
        BOOL found = Module32First(modules, &module);
        CloseHandle(modules);
        if (found) {
            lstrcpynA(path, module.szExePath, kMaxPath);
            return 1;
        }
    }
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    if (!process) return 0;
    DWORD size = kMaxPath;
    BOOL named = QueryFullProcessImageNameA(process, 0, path, &size);
    CloseHandle(process);
    return named ? 1 : 0;
}

}  // namespace

int ForEachProcessProgram(ProcessVisitor visit, void* context) {
    HANDLE processes = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (processes == INVALID_HANDLE_VALUE) return 0;
    int result = 0;
    PROCESSENTRY32 entry;
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(processes, &entry); more && !result;
         more = Process32Next(processes, &entry)) {
        char program[kMaxPath];
        if (GetProgramPath(entry.th32ProcessID, program)) result = visit(program, context);
    }
    CloseHandle(processes);
    return result;
}

}  // namespace plat
