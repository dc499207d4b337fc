#include "install/uninstall_options.h"

#include <string.h>

namespace uninstall {
namespace {

int IsBlank(char c) { return c == ' ' || c == '\t'; }

// The next token: a quoted one runs to its closing quote (no double-byte
// character has '"' or a blank as its second byte, so bytes can be compared).
// Returns the start of the token and its length, or null at the end.
const char* NextToken(const char** cursor, size_t* length) {
    const char* p = *cursor;
    while (IsBlank(*p)) ++p;
    if (!*p) return nullptr;
    const char* start = p;
    if (*p == '"') {
        start = ++p;
        while (*p && *p != '"') ++p;
        *length = static_cast<size_t>(p - start);
        if (*p == '"') ++p;
    } else {
        while (*p && !IsBlank(*p)) ++p;
        *length = static_cast<size_t>(p - start);
    }
    *cursor = p;
    return start;
}

int IsSwitch(const char* token, size_t length, char letter) {
    return length >= 2 && (token[0] == '/' || token[0] == '-') &&
           (token[1] == letter || token[1] == letter - 'A' + 'a');
}

int ParseProcessId(const char* digits, size_t length, uint32_t* id) {
    if (length == 0 || length > 10) return 0;
    uint64_t value = 0;
    for (size_t i = 0; i < length; ++i) {
        if (digits[i] < '0' || digits[i] > '9') return 0;
        value = value * 10 + static_cast<uint64_t>(digits[i] - '0');
    }
    if (value == 0 || value > 0xFFFFFFFFu) return 0;
    *id = static_cast<uint32_t>(value);
    return 1;
}

int TakeToken(const char* token, size_t length, UninstallOptions* options) {
    if (IsSwitch(token, length, 'S') && length == 2) {
        options->silent = 1;
        return 1;
    }
    if (IsSwitch(token, length, 'D') && length == 2) {
        options->copyDeletedOnExit = 1;
        return 1;
    }
    if (IsSwitch(token, length, 'P') && length > 3 && token[2] == '=') {
        return ParseProcessId(token + 3, length - 3, &options->parentProcessId);
    }
    if (token[0] == '/' || token[0] == '-' || options->originalPath[0]) return 0;
    if (length == 0 || length >= static_cast<size_t>(kOptionPath)) return 0;
    memcpy(options->originalPath, token, length);
    options->originalPath[length] = '\0';
    return 1;
}

// Clears everything but the silent switch: a script that asked for silence
// gets no message box about its command line either.
int Refuse(UninstallOptions* options) {
    int silent = options->silent;
    memset(options, 0, sizeof(*options));
    options->silent = silent;
    return 0;
}

}  // namespace

int ParseUninstallOptions(const char* commandLine, UninstallOptions* options) {
    memset(options, 0, sizeof(*options));
    if (!commandLine) return 0;
    const char* cursor = commandLine;
    size_t length = 0;
    if (!NextToken(&cursor, &length)) return 1;  // the program's own name
    for (const char* token; (token = NextToken(&cursor, &length)) != nullptr;) {
        if (!TakeToken(token, length, options)) return Refuse(options);
    }
    int copyMode = options->parentProcessId != 0;
    int pathGiven = options->originalPath[0] != '\0';
    if (copyMode != pathGiven || (options->copyDeletedOnExit && !copyMode)) return Refuse(options);
    return 1;
}

}  // namespace uninstall
