#include <windows.h>

#include <string.h>

#include "uninstaller/uninstaller.h"

void ClearText(TextBuffer* buffer) {
    buffer->used = 0;
    buffer->text[0] = '\0';
}

void AppendText(TextBuffer* buffer, const char* text) {
    size_t room = sizeof(buffer->text) - 1 - buffer->used;
    size_t n = 0;
    while (text[n] && n < room) {
        size_t bytes = (IsDBCSLeadByte(static_cast<BYTE>(text[n])) && text[n + 1]) ? 2 : 1;
        if (n + bytes > room) break;
        n += bytes;
    }
    memcpy(buffer->text + buffer->used, text, n);
    buffer->used += n;
    buffer->text[buffer->used] = '\0';
}

void AppendNumber(TextBuffer* buffer, unsigned value) {
    char digits[12];
    int i = sizeof(digits) - 1;
    digits[i] = '\0';
    do {
        digits[--i] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value && i > 0);
    AppendText(buffer, digits + i);
}
