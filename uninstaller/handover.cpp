// A program cannot delete its own file, nor the folder it runs from. So the
// uninstaller in the installation directory copies itself into %TEMP%, starts
// the copy and ends; the copy waits for it to end and then removes the
// directory, the original uninstaller with it.
//
// The copy must not stay in %TEMP% either. It is opened once more with
// FILE_FLAG_DELETE_ON_CLOSE and that handle is inherited by the copy's
// process: the system deletes the file when the last handle goes, which is
// when the copy ends. Where the system refuses to start a program whose file
// is open that way, the copy is started without the handle and asks for its
// deletion at the next restart instead.
#include <windows.h>

#include <string.h>

#include "uninstaller/uninstaller.h"

namespace {

const DWORD kParentWaitMs = 30000;

int MakeTempCopy(const char* programPath, char copyPath[kPathBytes]) {
    char folder[kPathBytes];
    DWORD n = GetTempPathA(kPathBytes, folder);
    if (n == 0 || n >= static_cast<DWORD>(kPathBytes)) return 0;
    if (!GetTempFileNameA(folder, "uns", 0, copyPath)) return 0;
    if (CopyFileA(programPath, copyPath, FALSE)) return 1;
    DeleteFileA(copyPath);
    return 0;
}

// An inheritable read handle that deletes the copy when the last process
// holding it has ended.
HANDLE OpenDeletingHandle(const char* copyPath) {
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    return CreateFileA(copyPath, GENERIC_READ | DELETE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                       &inherit, OPEN_EXISTING, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
}

void ComposeCommandLine(TextBuffer* line, const char* copyPath, const char* programPath, int silent,
                        int deletedOnExit) {
    ClearText(line);
    AppendText(line, "\"");
    AppendText(line, copyPath);
    AppendText(line, "\"");
    if (silent) AppendText(line, " /S");
    if (deletedOnExit) AppendText(line, " /D");
    AppendText(line, " /P=");
    AppendNumber(line, GetCurrentProcessId());
    AppendText(line, " \"");
    AppendText(line, programPath);
    AppendText(line, "\"");
}

int Start(const char* copyPath, TextBuffer* line, int inheritHandles) {
    char folder[kPathBytes];
    lstrcpynA(folder, copyPath, kPathBytes);
    char* cut = strrchr(folder, '\\');  // a temporary name is plain ASCII
    if (cut) *cut = '\0';
    STARTUPINFOA startup;
    memset(&startup, 0, sizeof(startup));
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process;
    // The copy starts in %TEMP%: a process's current directory cannot be
    // deleted while it lives.
    if (!CreateProcessA(copyPath, line->text, nullptr, nullptr, inheritHandles, 0, nullptr,
                        cut ? folder : nullptr, &startup, &process)) {
        return 0;
    }
    // Let the copy's questions and messages come to the front.
    AllowSetForegroundWindow(process.dwProcessId);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return 1;
}

}  // namespace

int HandOverToTempCopy(const char* programPath, int silent) {
    char copyPath[kPathBytes];
    if (!MakeTempCopy(programPath, copyPath)) return 0;
    TextBuffer line;
    HANDLE deleting = OpenDeletingHandle(copyPath);
    if (deleting != INVALID_HANDLE_VALUE) {
        ComposeCommandLine(&line, copyPath, programPath, silent, 1);
        int started = Start(copyPath, &line, TRUE);
        CloseHandle(deleting);  // the copy holds the inherited one now; else the file goes
        if (started) return 1;
        if (!MakeTempCopy(programPath, copyPath)) return 0;
    }
    ComposeCommandLine(&line, copyPath, programPath, silent, 0);
    if (Start(copyPath, &line, FALSE)) return 1;
    DeleteFileA(copyPath);
    return 0;
}

void WaitForProcessEnd(uint32_t processId) {
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, processId);
    if (!process) return;  // ended already
    WaitForSingleObject(process, kParentWaitMs);
    CloseHandle(process);
}

void ScheduleOwnDeletion() {
    char self[kPathBytes];
    DWORD n = GetModuleFileNameA(nullptr, self, kPathBytes);
    if (n == 0 || n >= static_cast<DWORD>(kPathBytes)) return;
    MoveFileExA(self, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}
