// The checks made before an installation starts: room on a fixed disk, and
// no program of the product running from the target directory.
#pragma once

#include "platform/platform.h"

namespace ui {

class CWindowSystem;

const float kMinFreeMegabytes = 100.0f;

// 1 when the installation may go on; 0 after a message box told the user why not.
int CheckTargetDir(const char* dir, CWindowSystem& ws);

// Free space of the fixed drive holding path, in megabytes rounded to single
// precision; 0.0 when the drive is no fixed disk or cannot be queried.
float GetFreeMegabytes(const char* path);

// Whether some running process has its program file directly in dir. The
// process list comes from the enumerator (the system's by default).
typedef int (*ProcessEnumerator)(plat::ProcessVisitor visit, void* context);
bool IsProgramRunningIn(const char* dir, ProcessEnumerator enumerate = plat::ForEachProcessProgram);

// Whether programPath's folder (the text before its last backslash, searched
// as a code page 936 character) equals dir byte for byte.
bool IsProgramInFolder(const char* programPath, const char* dir);

}  // namespace ui
