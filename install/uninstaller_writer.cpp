// Writes the uninstaller and, right behind its last byte, the record of what
// the installation made, for the uninstaller to read back from its own file.
#include "install/uninstaller_writer.h"

#include <string.h>

#include "install/install_log.h"
#include "install/path_join.h"
#include "payload/lz_decoder.h"
#include "payload/setup_info.h"
#include "platform/file_stream.h"
#include "platform/platform.h"

const char kUninstallerName[] = "\xD0\xB6\xD4\xD8.exe";  // 卸载.exe

namespace {

void WriteU32(uint32_t value, CFileStream& out) {
    const uint8_t bytes[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                              static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
    out.Write(bytes, sizeof bytes);
}

// The entries the record lists; the payload reader allows no more than
// kMaxShortcuts, and the record must never promise more strings than it holds.
int32_t ListedShortcuts(int32_t count) {
    if (count < 0) return 0;
    return count > kMaxShortcuts ? kMaxShortcuts : count;
}

// The uninstaller program, decoded block by block from the executable. The
// log line when it failed, null when it was written whole.
const char* WriteProgram(CFileStream& in, CFileStream& out, const ArchiveSegment& packed) {
    if (packed.size == 0) return nullptr;
    if (packed.size < 0) return "uninstaller decode failed";
    if (!in.Seek(packed.position)) return "uninstaller read failed";
    CLzDecoder decoder;
    if (decoder.DecodeStream(in, out, packed.size) >= 0) return nullptr;
    if (out.Failed()) return "uninstoutfile write failed";
    if (in.Failed()) return "uninstaller read failed";
    return "uninstaller decode failed";
}

}  // namespace

void CSetupInfo::WriteString(const char* text, CFileStream& out) {
    const size_t length = strlen(text);
    WriteU32(static_cast<uint32_t>(length), out);
    out.Write(text, length);
}

int CSetupInfo::WriteUninstaller(CFileStream& in, char linkPaths[kMaxShortcuts][kFieldSize],
                                 const char* menuFolderPath) {
    char path[kFieldSize];
    if (!JoinPath(path, m_szInstallDir, kUninstallerName)) {
        WriteLog("path too long: \xD0\xB6\xD4\xD8.exe");  // 卸载.exe
        return 0;
    }
    CFileStream out;
    if (!out.Open(path, CFileStream::kWrite)) {
        WriteLog("uninstoutfile can't open");
        return 0;
    }

    const char* failure = WriteProgram(in, out, m_Uninstaller);
    if (!failure) {
        WriteString(m_szProductName, out);
        WriteString(m_szVersion, out);
        const int32_t listed = ListedShortcuts(m_nShortcuts);
        WriteU32(static_cast<uint32_t>(listed), out);
        for (int32_t i = 0; i < listed; ++i) WriteString(linkPaths[i], out);
        WriteString(menuFolderPath, out);
    }
    // Close reports every write that fell short, the disk filling up included.
    const bool written = out.Close();
    if (!failure && !written) failure = "uninstoutfile write failed";
    if (failure) {
        WriteLog(failure);
        // A cut-off or damaged uninstaller must not stay behind as a program
        // that the user would start to remove the product.
        plat::DeleteOneFile(path);
        return 0;
    }
    return 1;
}
