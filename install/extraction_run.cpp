// The installation itself: the product's files out of the executable into the
// installation directory, then the shortcuts and the uninstaller.
#include <stdio.h>
#include <string.h>

#include "install/install_log.h"
#include "install/path_join.h"
#include "install/progress.h"
#include "install/uninstaller_writer.h"
#include "install/unzipper.h"
#include "payload/setup_info.h"
#include "platform/file_stream.h"
#include "platform/platform.h"

namespace {

const char* const kTempArchiveNames[2] = {"tmp1.zip", "tmp2.zip"};
const int32_t kCopyChunk = 65536;
const int kLogLineBytes = 256;
const int kProgressScale = 100;
const size_t kEmptyArchiveSize = 22;

void SetProgress(int position) {
    if (g_pProgressCtrl) g_pProgressCtrl->SetPos(position);
}

void LogPathTooLong(const char* name) {
    // The name may be cut in the log line; the path itself never is.
    char line[kLogLineBytes];
    if (snprintf(line, sizeof line, "path too long: %s", name) < 0) return;
    WriteLog(line);
}

void LogUnresolvedFolder(int csidl) {
    char line[kLogLineBytes];
    snprintf(line, sizeof line, "GetSpecialFolderPath(%d) Failed", csidl);
    WriteLog(line);
}

// The archive's bytes, copied from the executable through one buffer into a
// new file. The log line when the file does not end up holding all of them
// (a short copy would only show later as missing product files, or not at
// all); null when it does.
const char* CopySegmentToFile(CFileStream& in, const ArchiveSegment& segment, const char* path) {
    CFileStream out;
    if (!out.Open(path, CFileStream::kWrite)) return "tmpfile can't open";
    const char* const kShort = "tmpfile write failed";
    if (segment.size > 0 && !in.Seek(segment.position)) return kShort;
    char buffer[kCopyChunk];
    for (int32_t left = segment.size; left > 0;) {
        const size_t n = static_cast<size_t>(left > kCopyChunk ? kCopyChunk : left);
        if (in.Read(buffer, n) != n || out.Write(buffer, n) != n) return kShort;
        left -= static_cast<int32_t>(n);
    }
    return out.Close() ? nullptr : kShort;
}

// The folder's path into out; 0, with out empty, when the shell cannot say.
int ResolveSpecialFolder(CSetupInfo& info, char out[kFieldSize], int csidl) {
    out[0] = '\0';
    info.GetSpecialFolderPath(out, csidl);
    if (out[0]) return 1;
    LogUnresolvedFolder(csidl);
    return 0;
}

void CloseAndDeleteArchives(CUnzipper& u0, CUnzipper& u1, char tempPaths[2][kFieldSize]) {
    u0.CloseZip();
    u1.CloseZip();
    plat::DeleteOneFile(tempPaths[0]);
    plat::DeleteOneFile(tempPaths[1]);
}

// A segment of size 0 is no archive, and an archive without entries is its
// 22-byte end record alone (which minizip does not open): both rightly add
// nothing. Anything else that does not open is damaged, and installing
// nothing from it is no success.
bool IsEmptyOrEmptyArchive(const char* path) {
    uint8_t bytes[kEmptyArchiveSize + 1];
    CFileStream file(path, CFileStream::kRead);
    size_t n = file.Read(bytes, sizeof bytes);
    if (n == 0) return true;
    static const uint8_t kEndSignature[4] = {'P', 'K', 5, 6};
    return n == kEmptyArchiveSize && memcmp(bytes, kEndSignature, 4) == 0 &&
           (bytes[8] | bytes[9] | bytes[10] | bytes[11]) == 0;
}

int ArchiveOpened(const CUnzipper& unzipper, int which, const char* tempPath) {
    if (unzipper.IsOpen() || IsEmptyOrEmptyArchive(tempPath)) return 1;
    WriteLog(which == 0 ? "unziper0 OpenZip Failed" : "unziper1 OpenZip Failed");
    return 0;
}

// Unpacks every entry of one archive; the progress counts the entries of
// both archives, those before this one given by done.
int UnpackAll(CUnzipper& unzipper, int which, int count, int64_t done, int64_t total) {
    char line[kLogLineBytes];
    for (int i = 0; i < count; ++i) {
        if (!unzipper.UnzipFile(i)) {
            WriteLog(which == 0 ? "unziper0 UnzipFile Failed" : "unziper1 UnzipFile Failed");
            return 0;
        }
        snprintf(line, sizeof line, which == 0 ? "count0_Setpos(%d/%d)" : "count1_Setpos(%d/%d)", i,
                 count);
        WriteLog(line);
        SetProgress(static_cast<int>((done + i + 1) * kProgressScale / total));
    }
    return 1;
}

int32_t ShortcutsToMake(int32_t count) {
    if (count < 0) return 0;
    return count > kMaxShortcuts ? kMaxShortcuts : count;
}

// Both archives out of the executable into their temporary files. 0 when
// either cannot be made whole; what was copied is deleted then.
int CopyArchivesOut(CSetupInfo& info, CFileStream& in, char tempPaths[2][kFieldSize]) {
    for (int k = 0; k < 2; ++k) {
        if (!JoinPath(tempPaths[k], info.m_szInstallDir, kTempArchiveNames[k])) {
            LogPathTooLong(kTempArchiveNames[k]);
            return 0;
        }
        if (!info.CreateParentFolder(tempPaths[k])) return 0;
        if (const char* failure = CopySegmentToFile(in, info.m_Archives[k], tempPaths[k])) {
            WriteLog(failure);
            for (int j = 0; j <= k; ++j) plat::DeleteOneFile(tempPaths[j]);
            return 0;
        }
    }
    return 1;
}

// Every entry of both archives into the installation directory, moving the
// bar; the temporary archives are gone afterwards, whatever the outcome.
int UnpackArchives(CSetupInfo& info, char tempPaths[2][kFieldSize], int64_t* total) {
    CUnzipper u0(tempPaths[0]);
    u0.SetOutputFolder(info.m_szInstallDir);
    const int count0 = u0.GetFileCount();
    CUnzipper u1(tempPaths[1]);
    u1.SetOutputFolder(info.m_szInstallDir);
    const int count1 = u1.GetFileCount();
    // Wide enough for any two entry counts times the scale.
    *total = static_cast<int64_t>(count0) + count1;

    const int unpacked = ArchiveOpened(u0, 0, tempPaths[0]) && ArchiveOpened(u1, 1, tempPaths[1]) &&
                         UnpackAll(u0, 0, count0, 0, *total) &&
                         UnpackAll(u1, 1, count1, count0, *total);
    CloseAndDeleteArchives(u0, u1, tempPaths);
    return unpacked;
}

// The Programs-menu folder, made. Unresolved, it stays empty in the record
// and no shortcut goes into it. 0 when its path does not fit.
int MakeMenuFolder(CSetupInfo& info, char menuFolderPath[kFieldSize]) {
    menuFolderPath[0] = '\0';
    char programs[kFieldSize];
    if (!ResolveSpecialFolder(info, programs, plat::kFolderPrograms)) return 1;
    if (!JoinPath(menuFolderPath, programs, info.m_szMenuFolder)) {
        LogPathTooLong(info.m_szMenuFolder);
        return 0;
    }
    info.CreateFolder(menuFolderPath);
    return 1;
}

enum LinkPathResult { kNoLink, kLinkComposed, kLinkTooLong };

// Where the entry's shortcut file goes: on the desktop, or in the
// Programs-menu folder (composed afresh); nowhere for any other location or
// a folder the shell cannot resolve.
LinkPathResult ComposeLinkPath(CSetupInfo& info, const ShortcutEntry& e, char link[kFieldSize]) {
    if (e.location == kOnDesktop) {
        if (!ResolveSpecialFolder(info, link, plat::kFolderDesktop)) return kNoLink;
    } else if (e.location == kInProgramsMenu) {
        if (!ResolveSpecialFolder(info, link, plat::kFolderPrograms)) return kNoLink;
        if (!JoinPath(link, link, info.m_szMenuFolder)) {
            LogPathTooLong(info.m_szMenuFolder);
            return kLinkTooLong;
        }
    } else {
        return kNoLink;
    }
    if (!JoinPath(link, link, e.linkName)) {
        LogPathTooLong(e.linkName);
        return kLinkTooLong;
    }
    return kLinkComposed;
}

// The target in the installation directory (the uninstaller when the entry
// names none), and the icon (the target's when the entry names none).
int ComposeTargetAndIcon(const CSetupInfo& info, const ShortcutEntry& e, char target[kFieldSize],
                         char icon[kFieldSize]) {
    const char* targetName = e.target[0] ? e.target : kUninstallerName;
    if (!JoinPath(target, info.m_szInstallDir, targetName)) {
        LogPathTooLong(targetName);
        return 0;
    }
    if (e.icon[0] ? !JoinPath(icon, info.m_szInstallDir, e.icon) : !CopyPath(icon, target)) {
        LogPathTooLong(e.icon);
        return 0;
    }
    return 1;
}

// One shortcut per entry that has a place; slot i gets the path of entry
// i's file. A slot of an entry without a shortcut stays empty, so that the
// record always lists one path per entry and the uninstaller passes over it.
int MakeShortcuts(CSetupInfo& info, char linkPaths[kMaxShortcuts][kFieldSize]) {
    memset(linkPaths, 0, kMaxShortcuts * kFieldSize);
    const int32_t shortcuts = ShortcutsToMake(info.m_nShortcuts);
    for (int32_t i = 0; i < shortcuts; ++i) {
        const ShortcutEntry& e = info.m_Shortcuts[i];
        char link[kFieldSize], target[kFieldSize], icon[kFieldSize];
        const LinkPathResult where = ComposeLinkPath(info, e, link);
        if (where == kNoLink) continue;
        if (where == kLinkTooLong || !ComposeTargetAndIcon(info, e, target, icon)) return 0;
        info.CreateShortcut(link, target, icon);
        CopyPath(linkPaths[i], link);
    }
    return 1;
}

}  // namespace

int CSetupInfo::ExtraFileFromInfo(CFileStream& in) {
    WriteLog("ExtraFileFromInfo begin");
    if (!CreateFolder(m_szInstallDir)) return 0;

    char tempPaths[2][kFieldSize];
    int64_t total = 0;
    if (!CopyArchivesOut(*this, in, tempPaths) || !UnpackArchives(*this, tempPaths, &total))
        return 0;

    char menuFolderPath[kFieldSize];
    char linkPaths[kMaxShortcuts][kFieldSize];
    if (!MakeMenuFolder(*this, menuFolderPath) || !MakeShortcuts(*this, linkPaths)) return 0;
    if (!WriteUninstaller(in, linkPaths, menuFolderPath)) return 0;

    // With no entry at all the bar never moved, and the page that follows
    // the run takes only 100 together with the finished run as success.
    if (total == 0) SetProgress(kProgressScale);
    WriteLog("ExtraFileFromInfo end");
    return 1;
}
