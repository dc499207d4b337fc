#include "tools/mksetup/diagnostics.h"

#include <stdio.h>

void Diagnostics::Error(const std::string& where, const std::string& what) {
    std::string message = where.empty() ? what : where + ": " + what;
    if (m_bEcho) fprintf(stderr, "mksetup: %s\n", message.c_str());
    m_messages.push_back(message);
}

std::string AtLine(const std::string& file, int line) {
    return line > 0 ? file + ":" + std::to_string(line) : file;
}
