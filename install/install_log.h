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
