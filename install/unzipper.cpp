#include "install/unzipper.h"

#include <limits.h>
#include <string.h>
#include <unzip.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <strings.h>
#endif

#include "install/folders.h"
#include "install/path_join.h"
#include "platform/file_stream.h"
#include "platform/platform.h"

namespace {

const unsigned kCopyChunk = 20480;
const unsigned kNameBuffer = 260;
const unsigned kCommentBuffer = 255;

inline unzFile Handle(void* file) { return static_cast<unzFile>(file); }

bool IsSameText(const char* a, const char* b) {
#ifdef _WIN32
    return lstrcmpiA(a, b) == 0;
#else
    return strcasecmp(a, b) == 0;
#endif
}

bool HasExtension(const UnzipFileInfo& info, const char* ext) {
    const char* dot = strrchr(info.szFileName, '.');
    return dot && IsSameText(dot + 1, ext);
}

// A part made only of dots and spaces with two dots or more ("..", "...",
// ".. ") climbs to the parent once Windows has trimmed its trailing dots and
// spaces.
bool IsParentPart(const char* part, size_t length) {
    size_t dots = 0;
    for (size_t i = 0; i < length; ++i) {
        if (part[i] == '.')
            ++dots;
        else if (part[i] != ' ')
            return false;
    }
    return dots >= 2;
}

// Entry names must stay below the output folder: no drive (and no ':' at
// all, which would also name an NTFS stream), no leading separator, no part
// that climbs out. The name has '\' for '/' already; a trail byte 0x5C of a
// double-byte character only splits more parts here, never fewer.
bool IsSafeEntryName(const char* name) {
    if (name[0] == '\\' || strchr(name, ':')) return false;
    for (const char* part = name;;) {
        const char* end = strchr(part, '\\');
        size_t length = end ? static_cast<size_t>(end - part) : strlen(part);
        if (IsParentPart(part, length)) return false;
        if (!end) return true;
        part = end + 1;
    }
}

// The library's cursor moves only through these two, so that the index of
// the current entry is always known (-1 once it is not).
int StepToFirst(unzFile file, int32_t& current) {
    if (unzGoToFirstFile(file) != UNZ_OK) {
        current = -1;
        return 0;
    }
    current = 0;
    return 1;
}

int StepToNext(unzFile file, int32_t& current) {
    if (unzGoToNextFile(file) != UNZ_OK) {
        current = -1;
        return 0;
    }
    if (current >= 0) ++current;
    return 1;
}

}  // namespace

CUnzipper::CUnzipper(const char* zipPath) {
    if (zipPath) OpenZip(zipPath);
}

CUnzipper::~CUnzipper() { CloseZip(); }

int CUnzipper::OpenZip(const char* zipPath) {
#ifdef _WIN32
    m_uzFile = unzOpen(zipPath);
#else
    char host[PATH_MAX];
    if (!plat::AnsiToHost(zipPath, host, sizeof host)) return 0;
    m_uzFile = unzOpen(host);
#endif
    if (!m_uzFile) return 0;
    m_nCurrent = -1;

    // The default folder is the archive path without its extension; a path
    // too long for a path buffer leaves it empty rather than cut.
    const char* dot = strrchr(zipPath, '.');
    size_t length = dot ? static_cast<size_t>(dot - zipPath) : strlen(zipPath);
    if (length < static_cast<size_t>(plat::kMaxPath)) {
        memcpy(m_szOutputFolder, zipPath, length);
        m_szOutputFolder[length] = '\0';
    }
    return 1;
}

int CUnzipper::CloseZip() {
    // Both calls reject a null handle harmlessly, so closing twice is safe.
    unzCloseCurrentFile(Handle(m_uzFile));
    int result = unzClose(Handle(m_uzFile));
    m_uzFile = nullptr;
    m_nCurrent = -1;
    return result == UNZ_OK;
}

int CUnzipper::SetOutputFolder(const char* folder) {
    if (!folder || strlen(folder) >= static_cast<size_t>(plat::kMaxPath)) return 0;
    if (plat::GetPathKind(folder) == plat::kPathFile) return 0;
    strcpy(m_szOutputFolder, folder);
    return CreateFolder(m_szOutputFolder);
}

int CUnzipper::GetFileCount() {
    if (!m_uzFile) return 0;
    unz_global_info global;
    if (unzGetGlobalInfo(Handle(m_uzFile), &global) != UNZ_OK) return 0;
    return global.number_entry > INT_MAX ? INT_MAX : static_cast<int>(global.number_entry);
}

int CUnzipper::GotoFirstFile(const char* ext) {
    if (!m_uzFile || !StepToFirst(Handle(m_uzFile), m_nCurrent)) return 0;
    if (!ext || !*ext) return 1;
    UnzipFileInfo info;
    if (!GetFileInfo(info)) return 0;
    if (HasExtension(info, ext)) return 1;
    return GotoNextFile(ext);
}

int CUnzipper::GotoNextFile(const char* ext) {
    if (!m_uzFile) return 0;
    if (!ext || !*ext) return StepToNext(Handle(m_uzFile), m_nCurrent);
    UnzipFileInfo info;
    for (;;) {
        if (!StepToNext(Handle(m_uzFile), m_nCurrent) || !GetFileInfo(info)) return 0;
        if (HasExtension(info, ext)) return 1;
    }
}

int CUnzipper::GetFileInfo(UnzipFileInfo& info) {
    memset(&info, 0, sizeof info);
    if (!m_uzFile) return 0;
    unz_file_info entry;
    // The buffers are one byte shorter than the fields, so a name or comment
    // that fills its buffer still ends with the zero left by the clearing.
    if (unzGetCurrentFileInfo(Handle(m_uzFile), &entry, info.szFileName, kNameBuffer, nullptr, 0,
                              info.szComment, kCommentBuffer) != UNZ_OK)
        return 0;
    info.dwVersion = static_cast<uint32_t>(entry.version);
    info.dwVersionNeeded = static_cast<uint32_t>(entry.version_needed);
    info.dwFlags = static_cast<uint32_t>(entry.flag);
    info.dwCompressionMethod = static_cast<uint32_t>(entry.compression_method);
    info.dwDosDate = static_cast<uint32_t>(entry.dosDate);
    info.dwCRC = static_cast<uint32_t>(entry.crc);
    info.dwCompressedSize = static_cast<uint32_t>(entry.compressed_size);
    info.dwUncompressedSize = static_cast<uint32_t>(entry.uncompressed_size);
    info.dwInternalAttrib = static_cast<uint32_t>(entry.internal_fa);
    info.dwExternalAttrib = static_cast<uint32_t>(entry.external_fa);
    for (char* c = info.szFileName; *c; ++c)
        if (*c == '/') *c = '\\';
    size_t length = strlen(info.szFileName);
    info.bFolder = length > 0 && info.szFileName[length - 1] == '\\';
    return 1;
}

int CUnzipper::GotoFile(int32_t index) {
    if (!m_uzFile || index < 0 || index >= GetFileCount()) return 0;
    // In-order calls step once from the entry before; anything else walks
    // from the first entry. The first step's result is not looked at: for
    // index 0 the answer is 1 whatever it gave.
    int32_t at = m_nCurrent;
    if (at < 0 || at > index) {
        StepToFirst(Handle(m_uzFile), m_nCurrent);
        at = 0;
    }
    for (; at < index; ++at)
        if (!StepToNext(Handle(m_uzFile), m_nCurrent)) return 0;
    return 1;
}

int CUnzipper::UnzipFile(int32_t index, const char* folder, bool ignorePath) {
    if (!m_uzFile) return 0;
    if (!folder) folder = m_szOutputFolder;
    if (!GotoFile(index)) return 0;
    return UnzipCurrentFile(folder, ignorePath);
}

int CUnzipper::UnzipCurrentFile(const char* folder, bool ignorePath) {
    if (!m_uzFile) return 0;
    if (!folder) folder = m_szOutputFolder;
    if (!CreateFolder(folder)) return 0;

    UnzipFileInfo info;
    if (!GetFileInfo(info)) return 0;
    // A name that filled the name buffer may have been cut; it could not be
    // joined to a folder within a path buffer anyway.
    if (strlen(info.szFileName) >= kNameBuffer || !IsSafeEntryName(info.szFileName)) return 0;
    if (info.bFolder) return 1;  // folders come into being with their files

    const char* name = info.szFileName;
    if (ignorePath) {
        const char* cut = strrchr(name, '\\');
        if (cut) name = cut + 1;
    }
    char path[plat::kMaxPath];
    if (!JoinPath(path, folder, name)) return 0;
    if (!CreateParentFolder(path)) return 0;

    CFileStream out;
    if (!out.Open(path, CFileStream::kWrite)) return 0;
    if (unzOpenCurrentFile(Handle(m_uzFile)) != UNZ_OK) {
        out.Close();
        return 0;
    }
    char buffer[kCopyChunk];
    uint32_t copied = 0;
    int read;
    while ((read = unzReadCurrentFile(Handle(m_uzFile), buffer, kCopyChunk)) > 0) {
        if (out.Write(buffer, static_cast<size_t>(read)) != static_cast<size_t>(read)) {
            read = -1;
            break;
        }
        copied += static_cast<uint32_t>(read);
    }
    bool written = out.Close();
    // The library checks the CRC-32 when the entry was read to its end; a
    // data stream that ends before the entry's size skips that check, hence
    // the count.
    bool intact = unzCloseCurrentFile(Handle(m_uzFile)) == UNZ_OK;
    if (read != 0 || !written || !intact || copied != info.dwUncompressedSize) return 0;
    SetFileModTime(path, info.dwDosDate);
    return 1;
}

int CUnzipper::CreateFolder(const char* path) { return folders::CreateFolder(path); }

int CUnzipper::CreateParentFolder(const char* filePath) {
    return folders::CreateParentFolder(filePath);
}

int CUnzipper::SetFileModTime(const char* path, uint32_t dosDate) {
    return plat::SetFileTimesFromDos(path, dosDate);
}
