// ANSI (code page 936) paths with '\' on a host whose names are UTF-8 with '/'.
#include <errno.h>
#include <iconv.h>
#include <string.h>

#include "platform/platform.h"

namespace plat {
namespace {

int Convert(const char* from, const char* to, const char* in, char* out, size_t outCap) {
    if (outCap == 0) return 0;
    iconv_t cd = iconv_open(to, from);
    if (cd == (iconv_t)-1) return 0;
    char* src = const_cast<char*>(in);
    size_t srcLeft = strlen(in);
    char* dst = out;
    size_t dstLeft = outCap - 1;  // room for the zero
    size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    iconv_close(cd);
    if (r == (size_t)-1) return 0;
    *dst = '\0';
    return 1;
}

void Replace(char* s, char from, char to) {
    for (; *s; ++s)
        if (*s == from) *s = to;
}

}  // namespace

int AnsiToHost(const char* ansi, char* host, size_t hostCap) {
    // Convert first: a trail byte of a double-byte character may be 0x5C.
    if (!Convert("CP936", "UTF-8", ansi, host, hostCap)) return 0;
    Replace(host, '\\', '/');
    return 1;
}

int HostToAnsi(const char* host, char* ansi, size_t ansiCap) {
    if (!Convert("UTF-8", "CP936", host, ansi, ansiCap)) return 0;
    // A code page 936 trail byte is never below 0x40, so '/' is always itself.
    Replace(ansi, '/', '\\');
    return 1;
}

}  // namespace plat
