// The uninstaller's command line.
//   (nothing)          ask, then hand the work to a copy in %TEMP% and end
//   /S                 silent: no question and no message box
//   /P=<pid> "<exe>"   the copy in %TEMP%: wait for process <pid> to end, then
//                      remove what the uninstaller <exe> records and its folder
//   /D                 (with /P) the copy's file is deleted by the system when
//                      the copy ends; without it the copy asks for deletion at
//                      the next restart
#pragma once

#include <stdint.h>

namespace uninstall {

const int kOptionPath = 260;

struct UninstallOptions {
    int silent;
    int copyDeletedOnExit;
    uint32_t parentProcessId;        // 0 unless this is the copy in %TEMP%
    char originalPath[kOptionPath];  // the uninstaller that the copy works for
};

// Parses a whole command line as the system gives it, the program's own name
// first. Switches are case-insensitive. 0 for an unknown switch, a malformed
// process id, a path that does not fit, /P and the path not given together,
// or /D without them; then only `silent` is kept, as far as it was read.
int ParseUninstallOptions(const char* commandLine, UninstallOptions* options);

}  // namespace uninstall
