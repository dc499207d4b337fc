// Minimal JSON output for machine-readable command results.
#pragma once

#include <string>

// A JSON string literal for UTF-8 text: quotes, backslashes and control
// characters escaped; bytes of 0x80 and up pass through as they are.
std::string JsonQuote(const std::string& utf8);
