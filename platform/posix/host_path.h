// Host form of an ANSI path, for the POSIX implementation of the seam.
#pragma once

#include <limits.h>

#include "platform/platform.h"

namespace plat {

struct HostPath {
    explicit HostPath(const char* ansi) { ok = ansi && AnsiToHost(ansi, text, sizeof text); }
    const char* c_str() const { return ok ? text : ""; }
    bool ok;
    char text[PATH_MAX];
};

}  // namespace plat
