#include "install/install_log.h"

#include <stdio.h>

#include "payload/setup_info.h"
#include "platform/file_stream.h"

namespace {

const CSetupInfo* g_pLogOwner = nullptr;

// Lines of the two threads go to the file one after the other, never mixed.
plat::Lock g_logLock;

void AppendToFile(const char* path, const char* bytes, int length) {
    g_logLock.Enter();
    CFileStream file;
    if (file.Open(path, CFileStream::kAppend)) {
        file.Write(bytes, static_cast<size_t>(length));
        file.Close();
    }
    g_logLock.Leave();
}

}  // namespace

void SetLogOwner(const CSetupInfo* info) { g_pLogOwner = info; }

int GetLogFilePath(char* out, int outCap, const char* dir, const plat::LocalTime& date) {
    if (!out || outCap <= 0 || !dir) return 0;
    int n = snprintf(out, static_cast<size_t>(outCap), "%s\\install%04d%02d%02d.log", dir,
                     date.year, date.month, date.day);
    if (n < 0 || n >= outCap) {
        out[0] = '\0';
        return 0;
    }
    return 1;
}

int FormatLogLine(char* line, const plat::LocalTime& time, int milliseconds, const char* message) {
    int n = snprintf(line, kLogLineSize, "%02d:%02d:%02d:%04d  %s\r\n", time.hour, time.minute,
                     time.second, milliseconds, message ? message : "");
    if (n < 0) {
        line[0] = '\0';
        return 0;
    }
    return n < kLogLineSize ? n : kLogLineSize - 1;
}

void WriteLog(const char* message) {
    plat::LocalTime clock, now;
    plat::GetLocalTimeMs(&clock);
    plat::GetLocalTimeSeconds(&now);
    if (!g_pLogOwner) return;

    char path[plat::kMaxPath];
    if (!GetLogFilePath(path, sizeof path, g_pLogOwner->m_szInstallDir, now)) return;
    char line[kLogLineSize];
    int length = FormatLogLine(line, now, clock.milliseconds, message);
    if (length > 0) AppendToFile(path, line, length);
}

void MoveLogFile(const char* oldDir, const char* newDir) {
    plat::LocalTime today;
    plat::GetLocalTimeSeconds(&today);
    char oldPath[plat::kMaxPath], newPath[plat::kMaxPath];
    if (GetLogFilePath(oldPath, sizeof oldPath, oldDir, today) &&
        GetLogFilePath(newPath, sizeof newPath, newDir, today))
        plat::MoveFileNoReplace(oldPath, newPath);
    WriteLog("MoveLogFile");
}
