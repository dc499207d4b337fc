// The day-stamped install log in the installation directory.
#pragma once

#include "platform/platform.h"

class CSetupInfo;

// The record whose m_szInstallDir names the log directory; read at every call.
void SetLogOwner(const CSetupInfo* info);

// Appends "hh:mm:ss:mmmm  message\r\n" to the day's log; never fails visibly.
// Safe from any thread: lines never interleave.
void WriteLog(const char* message);

// Moves the day's log from oldDir to newDir (never replacing), then logs "MoveLogFile".
void MoveLogFile(const char* oldDir, const char* newDir);

// "<dir>\install<yyyy><mm><dd>.log"; 0 when it does not fit.
int GetLogFilePath(char* out, int outCap, const char* dir, const plat::LocalTime& date);

// The log line for a time of day and a message, in a buffer of kLogLineSize
// bytes: "hh:mm:ss:mmmm  message\r\n", cut to kLogLineSize - 1 bytes (which
// drops the line end of a long message). Returns the line's byte count.
const int kLogLineSize = 2560;
int FormatLogLine(char* line, const plat::LocalTime& time, int milliseconds, const char* message);
