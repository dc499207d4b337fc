// Texts of the payload are ANSI (code page 936); the host's are UTF-8.
#pragma once

#include <string>

// Strict conversions: false when a byte sequence has no counterpart.
bool GbkToUtf8(const std::string& gbk, std::string* utf8);
bool Utf8ToGbk(const std::string& utf8, std::string* gbk);

// For showing a payload text: bytes that are not code page 936 become U+FFFD,
// so a damaged text still prints (and makes valid JSON).
std::string GbkToUtf8Lossy(const std::string& gbk);
