// Rules for the texts and names that end up on a Chinese Windows system: the
// installer handles them as GBK (code page 936) bytes, joins them to the
// installation directory in 260-byte buffers and finds separators by the byte
// 0x5C. A name that breaks a rule would fail or misbehave at install time, so
// the builder refuses it and verify reports it.
#pragma once

#include <string>

const size_t kMaxNameBytes = 259;  // a 260-byte buffer with its zero

// UTF-8 to GBK; on failure *error names the first character GBK cannot write.
bool ToGbk(const std::string& utf8, std::string* gbk, std::string* error);

// Whether every byte sequence is a GBK character (single byte or lead + trail).
bool IsGbkText(const std::string& gbk);

// The problem with one component of a name (GBK), "" when Windows accepts it:
// control characters, < > : " | ? *, a '/' or 0x5C byte, a trailing dot or space,
// a device name such as CON or LPT1.
std::string ComponentProblem(const std::string& gbk);

// The problem with a whole archive entry name (GBK, '/' separators, a folder
// entry ends with '/'), "" when the installer unpacks it safely: no drive, no
// leading separator, no ".." or empty part, at most 259 bytes, GBK text, and
// every part acceptable to Windows.
std::string EntryNameProblem(const std::string& gbkName);

// GBK text with ASCII letters folded to lower case, trail bytes left alone:
// two names that are equal this way are the same file on Windows.
std::string FoldCase(const std::string& gbk);

// The UTF-8 form of GBK bytes for messages; bytes that are not GBK show as U+FFFD.
std::string ForDisplay(const std::string& gbk);
