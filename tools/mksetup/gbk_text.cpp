#include "tools/mksetup/gbk_text.h"

#include <errno.h>
#include <iconv.h>

namespace {

const char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD in UTF-8

// Converts in; with lossy set, an invalid or cut-off sequence costs one input
// byte and yields U+FFFD, otherwise it fails the conversion.
bool Convert(const char* from, const char* to, const std::string& in, bool lossy,
             std::string* out) {
    out->clear();
    iconv_t cd = iconv_open(to, from);
    if (cd == (iconv_t)-1) return false;
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    char buffer[256];
    bool ok = true;
    while (srcLeft > 0) {
        char* dst = buffer;
        size_t dstLeft = sizeof buffer;
        size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        out->append(buffer, dst - buffer);
        if (r != (size_t)-1) continue;
        if (errno == E2BIG) continue;
        if (!lossy) {
            ok = false;
            break;
        }
        out->append(kReplacement);
        ++src;
        --srcLeft;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    iconv_close(cd);
    return ok;
}

}  // namespace

bool GbkToUtf8(const std::string& gbk, std::string* utf8) {
    return Convert("CP936", "UTF-8", gbk, false, utf8);
}

bool Utf8ToGbk(const std::string& utf8, std::string* gbk) {
    return Convert("UTF-8", "CP936", utf8, false, gbk);
}

std::string GbkToUtf8Lossy(const std::string& gbk) {
    std::string utf8;
    Convert("CP936", "UTF-8", gbk, true, &utf8);
    return utf8;
}
