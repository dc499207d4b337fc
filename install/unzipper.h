// Unpacks the entries of one ZIP archive into a folder, one entry per call.
#pragma once

#include <stdint.h>

struct UnzipFileInfo {
    char szFileName[261];  // '/' replaced by '\'
    char szComment[256];
    uint32_t dwVersion;
    uint32_t dwVersionNeeded;
    uint32_t dwFlags;
    uint32_t dwCompressionMethod;
    uint32_t dwDosDate;  // date in the high 16 bits, time in the low 16 bits
    uint32_t dwCRC;
    uint32_t dwCompressedSize;
    uint32_t dwUncompressedSize;
    uint32_t dwInternalAttrib;
    uint32_t dwExternalAttrib;
    bool bFolder;
};

class CUnzipper {
  public:
    explicit CUnzipper(const char* zipPath = nullptr);
    virtual ~CUnzipper();
    CUnzipper(const CUnzipper&) = delete;
    CUnzipper& operator=(const CUnzipper&) = delete;

    int CloseZip();
    int SetOutputFolder(const char* folder);
    bool IsOpen() const { return m_uzFile != nullptr; }
    int GetFileCount();
    int GotoFirstFile(const char* ext = nullptr);
    int GotoNextFile(const char* ext = nullptr);
    int GetFileInfo(UnzipFileInfo& info);
    int GotoFile(int32_t index);
    int UnzipFile(int32_t index, const char* folder = nullptr, bool ignorePath = false);

  private:
    int OpenZip(const char* zipPath);
    int UnzipCurrentFile(const char* folder, bool ignorePath);
    int CreateFolder(const char* path);
    int CreateParentFolder(const char* filePath);
    int SetFileModTime(const char* path, uint32_t dosDate);

    void* m_uzFile = nullptr;  // minizip's unzFile
    char m_szOutputFolder[261] = {};
    int32_t m_nCurrent = -1;  // index of the current entry, -1 when unknown
};
