// mksetup verify: reads an installer as the installer itself would and tests
// every part of its payload, reporting each problem with its file offset.
#pragma once

#include <string>

#include "tools/mksetup/diagnostics.h"

// True for a sound installer. Problems go to diagnostics as
// "PATH: offset N (0xHEX): what"; *summary gets a few lines of what was found.
bool VerifySetup(const std::string& path, Diagnostics* diagnostics, std::string* summary);
