// Joining a name to a directory path inside a fixed path buffer.
#pragma once

#include "platform/platform.h"

// dir, then '\' unless dir already ends with one, so that a drive root
// gets no second one, then name. 0, with out emptied, when the result would
// not fit 259 bytes: a cut path would name some other file.
int JoinPath(char out[plat::kMaxPath], const char* dir, const char* name);

// Copies text into a path buffer; 0, with out emptied, when it does not fit.
int CopyPath(char out[plat::kMaxPath], const char* text);
