#include "tools/mksetup/entry_names.h"

#include <ctype.h>
#include <stdio.h>
#include <string.h>
#include <strings.h>

#include "tools/mksetup/gbk_text.h"

namespace {

bool IsLeadByte(unsigned char c) { return c >= 0x81 && c <= 0xFE; }
bool IsTrailByte(unsigned char c) { return c >= 0x40 && c <= 0xFE && c != 0x7F; }

// Length of the UTF-8 sequence that starts with c (the text is valid UTF-8).
size_t Utf8Length(unsigned char c) {
    if (c < 0x80) return 1;
    if (c < 0xE0) return 2;
    if (c < 0xF0) return 3;
    return 4;
}

std::string Quoted(const std::string& gbk) { return "'" + ForDisplay(gbk) + "'"; }

bool IsDeviceName(const std::string& component) {
    // The part before the first dot names the device: "con.txt" is CON too.
    std::string base = component.substr(0, component.find('.'));
    while (!base.empty() && base.back() == ' ') base.pop_back();
    static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    for (const char* d : kDevices)
        if (strcasecmp(base.c_str(), d) == 0) return true;
    if (base.size() == 4 &&
        (strncasecmp(base.c_str(), "COM", 3) == 0 || strncasecmp(base.c_str(), "LPT", 3) == 0))
        return base[3] >= '1' && base[3] <= '9';
    return false;
}

}  // namespace

bool ToGbk(const std::string& utf8, std::string* gbk, std::string* error) {
    if (Utf8ToGbk(utf8, gbk)) return true;
    // Find the first character that does not convert, to name it.
    for (size_t i = 0; i < utf8.size();) {
        size_t n = Utf8Length(static_cast<unsigned char>(utf8[i]));
        std::string one = utf8.substr(i, n), ignored;
        if (!Utf8ToGbk(one, &ignored)) {
            static const unsigned kLeadMask[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
            unsigned code = static_cast<unsigned char>(one[0]) & kLeadMask[n];
            for (size_t k = 1; k < one.size(); ++k)
                code = (code << 6) | (static_cast<unsigned char>(one[k]) & 0x3F);
            char hex[16];
            snprintf(hex, sizeof hex, "U+%04X", code);
            *error = "'" + one + "' (" + hex + ") cannot be written in GBK (code page 936)";
            return false;
        }
        i += n;
    }
    *error = "cannot be written in GBK (code page 936)";
    return false;
}

bool IsGbkText(const std::string& gbk) {
    std::string ignored;
    return GbkToUtf8(gbk, &ignored);
}

std::string ComponentProblem(const std::string& gbk) {
    for (size_t i = 0; i < gbk.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(gbk[i]);
        if (IsLeadByte(c) && i + 1 < gbk.size() && IsTrailByte(gbk[i + 1])) {
            if (gbk[i + 1] == '\\')
                return Quoted(gbk) +
                       " has a character whose second GBK byte is 0x5C, which "
                       "the installer takes for a path separator";
            ++i;
            continue;
        }
        if (c == '\\' || c == '/')
            return Quoted(gbk) + " contains '" + std::string(1, char(c)) +
                   "', a path separator on Windows";
        if (c < 0x20) return Quoted(gbk) + " contains a control character";
        if (strchr("<>:\"|?*", c))
            return Quoted(gbk) + " contains '" + std::string(1, char(c)) +
                   "', which Windows does not allow in names";
    }
    if (!gbk.empty() && (gbk.back() == '.' || gbk.back() == ' ') && gbk != "." && gbk != "..")
        return Quoted(gbk) + " ends with a dot or a space, which Windows drops";
    if (IsDeviceName(gbk)) return Quoted(gbk) + " is a device name on Windows";
    return std::string();
}

std::string EntryNameProblem(const std::string& name) {
    if (name.empty()) return "empty name";
    if (name.size() > kMaxNameBytes)
        return "name of " + std::to_string(name.size()) + " bytes (at most " +
               std::to_string(kMaxNameBytes) + ")";
    if (!IsGbkText(name)) return "name is not GBK text (names must be code page 936)";
    if (name[0] == '/' || name[0] == '\\') return "name begins with a separator (an absolute path)";
    if (name.size() >= 2 && isalpha(static_cast<unsigned char>(name[0])) && name[1] == ':')
        return "name has a drive";
    std::string body = name.back() == '/' ? name.substr(0, name.size() - 1) : name;
    size_t start = 0;
    while (true) {
        size_t slash = body.find('/', start);
        std::string part = body.substr(start, slash == std::string::npos ? slash : slash - start);
        if (part.empty()) return "name has an empty part ('//')";
        if (part == "..") return "name has a '..' part, which would leave the installation folder";
        if (part == ".") return "name has a '.' part";
        std::string problem = ComponentProblem(part);
        if (!problem.empty()) return problem;
        if (slash == std::string::npos) break;
        start = slash + 1;
    }
    return std::string();
}

std::string FoldCase(const std::string& gbk) {
    std::string folded = gbk;
    for (size_t i = 0; i < folded.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(folded[i]);
        if (IsLeadByte(c) && i + 1 < folded.size()) {
            ++i;
            continue;
        }
        if (c >= 'A' && c <= 'Z') folded[i] = char(c - 'A' + 'a');
    }
    return folded;
}

std::string ForDisplay(const std::string& gbk) { return GbkToUtf8Lossy(gbk); }
