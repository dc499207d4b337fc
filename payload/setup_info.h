// The payload record: what the installer knows about the product it carries.
#pragma once

#include <stdint.h>

class CFileStream;

const int32_t kPayloadOffset = 0x43000;  // size of the program file before its payload
const int kMaxShortcuts = 8;
const int32_t kMaxImageBytes = 0x100000;
const int kImageCount = 6;
const int kFieldSize = 260;  // every text field: 259 bytes and the zero

// Roles of the six pictures, by index.
enum ImageRole {
    kImageConfirm = 0,       // wizard step 0
    kImageDirBanner = 1,     // directory page
    kImageProgressLow = 2,   // progress page below 50 %
    kImageProgressHigh = 3,  // progress page from 50 %
    kImageHeader = 4,        // wizard header
    kImageSpare = 5,         // kept, never drawn
};

enum ShortcutLocation { kOnDesktop = 0, kInProgramsMenu = 1 };

struct ShortcutEntry {
    int32_t location;
    char linkName[kFieldSize];
    char target[kFieldSize];  // relative to the installation directory; empty: the uninstaller
    char icon[kFieldSize];    // relative to the installation directory; empty: the target
};

struct ArchiveSegment {
    int32_t position;  // absolute offset of the first data byte in the executable
    int32_t size;
};

class CSetupInfo {
  public:
    CSetupInfo();
    virtual ~CSetupInfo();
    CSetupInfo(const CSetupInfo&) = delete;
    CSetupInfo& operator=(const CSetupInfo&) = delete;

    // Payload reader. ReadHeader returns 1 when the whole payload was read,
    // 0 when a field does not fit, a picture item fails, or the stream ended early.
    int ReadHeader(CFileStream& in);
    int ReadString(char field[kFieldSize], CFileStream& in);
    int ReadImage(uint8_t** slot, CFileStream& in);

    // Extraction run and its directory helpers.
    int ExtraFileFromInfo(CFileStream& in);
    int CreateFolder(const char* path);
    int CreateParentFolder(const char* filePath);

    // Shell: special folders and shortcuts.
    void GetSpecialFolderPath(char path[kFieldSize], int csidl);
    int CreateShortcut(const char* linkPath, const char* targetPath, const char* iconPath);

    // Uninstaller and its record.
    int WriteUninstaller(CFileStream& in, char linkPaths[kMaxShortcuts][kFieldSize],
                         const char* menuFolderPath);
    void WriteString(const char* text, CFileStream& out);

    char m_szProductName[kFieldSize];
    char m_szVersion[kFieldSize];
    char m_szPublisherKey[kFieldSize];
    char m_szInstallDir[kFieldSize];
    uint8_t* m_pImages[kImageCount];
    int32_t m_nImageSizes[kImageCount];  // decoded length of each picture; 0 where absent
    char m_szMenuFolder[kFieldSize];
    int32_t m_nShortcuts;
    ShortcutEntry m_Shortcuts[kMaxShortcuts];
    ArchiveSegment m_Archives[2];
    ArchiveSegment m_Uninstaller;
};
