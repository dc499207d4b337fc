// The uninstaller's safety rules as portable logic: which folders it refuses
// to delete (double-byte names included), which files count as its shortcuts,
// and its command line.
#include "install/uninstall_guard.h"
#include "install/uninstall_options.h"

#include <gtest/gtest.h>
#include <string.h>

#include <string>

namespace {

using uninstall::IsGbkLeadByte;

// 张三's profile; "\x95\x5C" is a GBK character whose second byte is '\',
// "\x81\x61" one whose second byte is 'a'.
const char kProfile[] = "C:\\Users\\\xD5\xC5\xC8\xFD";
const char* const kProtected[] = {
    "C:\\Windows", "C:\\Program Files\\", "C:\\Program Files (x86)", "", nullptr,
    kProfile,      "D:\\\x95\x5C",
};
const int kProtectedCount = sizeof(kProtected) / sizeof(kProtected[0]);

uninstall::FolderVerdict Check(const std::string& folder, int* which = nullptr) {
    int ignored = 0;
    return uninstall::CheckFolderRemoval(folder.c_str(), kProtected, kProtectedCount, IsGbkLeadByte,
                                         which ? which : &ignored);
}

TEST(UninstallGuard, RefusesRootsSystemFoldersAndWhatContainsThem) {
    struct Case {
        std::string folder;
        uninstall::FolderVerdict verdict;
    };
    const Case cases[] = {
        {"C:\\", uninstall::kFolderIsRoot},
        {"C:", uninstall::kFolderIsRoot},
        {"e:/", uninstall::kFolderIsRoot},
        {"\\\\?\\D:\\", uninstall::kFolderIsRoot},
        {"\\\\server\\share\\", uninstall::kFolderIsRoot},
        {"\\\\?\\UNC\\server\\share", uninstall::kFolderIsRoot},
        {"\\", uninstall::kFolderIsRoot},
        {"C:\\Windows", uninstall::kFolderProtected},
        {"c:\\WINDOWS\\\\", uninstall::kFolderProtected},
        {"C:/windows/", uninstall::kFolderProtected},
        {"\\\\?\\C:\\Windows", uninstall::kFolderProtected},
        {"C:\\Program Files", uninstall::kFolderProtected},
        {"C:\\PROGRAM FILES (X86)\\", uninstall::kFolderProtected},
        {"C:\\Users", uninstall::kFolderProtected},  // holds every profile
        {kProfile, uninstall::kFolderProtected},
        {std::string(kProfile) + "\\", uninstall::kFolderProtected},
        {"C:\\Program Files\\\xD1\xDD\xCA\xBE", uninstall::kFolderRemovable},  // 演示
        {std::string(kProfile) + "\\Demo", uninstall::kFolderRemovable},
        {"C:\\WindowsApps", uninstall::kFolderRemovable},  // a longer name, not inside
        {"\\\\server\\share\\Demo", uninstall::kFolderRemovable},
        {"Demo", uninstall::kFolderNotFullPath},
        {"C:Demo", uninstall::kFolderNotFullPath},
        {"\\Demo", uninstall::kFolderNotFullPath},
        {"C:\\Program Files\\Demo\\..", uninstall::kFolderNotFullPath},
        {"C:\\.\\Windows", uninstall::kFolderNotFullPath},
        {"C:\\" + std::string(300, 'x'), uninstall::kFolderNotFullPath},
    };
    for (const Case& c : cases) EXPECT_EQ(c.verdict, Check(c.folder)) << c.folder;

    int which = -1;
    EXPECT_EQ(uninstall::kFolderProtected, Check("C:\\users\\", &which));
    EXPECT_EQ(5, which);
}

TEST(UninstallGuard, DoubleByteCharactersAreNeitherSeparatorsNorFolded) {
    // "D:\昞" is protected; its last byte 0x5C is no separator, so "D:\" + the
    // lone lead byte is another name, not the same folder with a slash.
    EXPECT_EQ(uninstall::kFolderProtected, Check("D:\\\x95\x5C"));
    EXPECT_EQ(uninstall::kFolderProtected, Check("D:\\\x95\x5C\\"));
    EXPECT_EQ(uninstall::kFolderRemovable, Check("D:\\\x95\x5C\x41"));
    EXPECT_FALSE(uninstall::SameFolder("D:\\\x95", "D:\\\x95\x5C", IsGbkLeadByte));
    EXPECT_FALSE(uninstall::ContainsFolder("D:\\\x95",
                                           "D:\\\x95\x5C"
                                           "B",
                                           IsGbkLeadByte));
    // A trail byte 'a' is not the letter: 乤 (81 61) is not 丄 (81 41).
    EXPECT_FALSE(uninstall::SameFolder("C:\\\x81\x61", "C:\\\x81\x41", IsGbkLeadByte));
    EXPECT_TRUE(uninstall::SameFolder("C:\\a\x81\x61", "C:\\A\x81\x61\\", IsGbkLeadByte));
}

TEST(UninstallGuard, ParentFolderOfTheUninstaller) {
    struct Case {
        const char* path;
        int ok;
        const char* folder;
    };
    const Case cases[] = {
        {"C:\\Demo\\\xD0\xB6\xD4\xD8.exe", 1, "C:\\Demo"},  // 卸载.exe
        {"C:\\\xD0\xB6\xD4\xD8.exe", 1, "C:\\"},
        {"C:\\Demo\\\x95\x5C.exe", 1, "C:\\Demo"},
        {"C:\\\x95\x5C\\x.exe", 1, "C:\\\x95\x5C"},
        {"\xD0\xB6\xD4\xD8.exe", 0, ""},
    };
    for (const Case& c : cases) {
        char folder[uninstall::kGuardPath] = "";
        EXPECT_EQ(c.ok, uninstall::ParentFolder(c.path, IsGbkLeadByte, folder)) << c.path;
        if (c.ok) {
            EXPECT_STREQ(c.folder, folder) << c.path;
        }
    }
}

TEST(UninstallGuard, OnlyShellLinkFilesCountAsShortcuts) {
    const uint8_t link[] = {0x4C, 0,    0, 0, 0x01, 0x14, 0x02, 0, 0,    0,    0,
                            0,    0xC0, 0, 0, 0,    0,    0,    0, 0x46, 0x9B, 0};
    EXPECT_TRUE(uninstall::IsShellLinkHeader(link, sizeof(link)));
    EXPECT_FALSE(uninstall::IsShellLinkHeader(link, 19));
    EXPECT_FALSE(uninstall::IsShellLinkHeader(nullptr, 0));
    uint8_t other[sizeof(link)];
    memcpy(other, link, sizeof(link));
    other[19] = 0x47;
    EXPECT_FALSE(uninstall::IsShellLinkHeader(other, sizeof(other)));
    const uint8_t program[] = "MZ\x90\0\3\0\0\0\4\0\0\0\xFF\xFF\0\0\xB8\0\0\0";
    EXPECT_FALSE(uninstall::IsShellLinkHeader(program, sizeof(program)));
}

TEST(UninstallOptions, ParsesTheCommandLine) {
    struct Case {
        const char* line;
        int ok, silent, deleted;
        uint32_t pid;
        const char* path;
    };
    const Case cases[] = {
        {"\"C:\\Demo\\\xD0\xB6\xD4\xD8.exe\"", 1, 0, 0, 0, ""},
        {"C:\\Demo\\x.exe /S", 1, 1, 0, 0, ""},
        {"x.exe  -s ", 1, 1, 0, 0, ""},
        {"\"C:\\Temp\\uns1.tmp\" /S /D /P=4242 \"C:\\My Apps\\\xD0\xB6\xD4\xD8.exe\"", 1, 1, 1,
         4242, "C:\\My Apps\\\xD0\xB6\xD4\xD8.exe"},
        {"t.tmp /p=7 C:\\A\\u.exe", 1, 0, 0, 7, "C:\\A\\u.exe"},
        {"x.exe /X", 0, 0, 0, 0, ""},
        {"x.exe /Silent", 0, 0, 0, 0, ""},
        {"x.exe /D", 0, 0, 0, 0, ""},            // only for the copy
        {"x.exe /P=12", 0, 0, 0, 0, ""},         // no path
        {"x.exe C:\\A\\u.exe", 0, 0, 0, 0, ""},  // a path without /P
        {"x.exe /P=0 C:\\u.exe", 0, 0, 0, 0, ""},
        {"x.exe /P=12a C:\\u.exe", 0, 0, 0, 0, ""},
        {"x.exe /P=4294967296 C:\\u.exe", 0, 0, 0, 0, ""},
        {"x.exe /P=1 C:\\u.exe C:\\v.exe", 0, 0, 0, 0, ""},
        {"x.exe /P=1 \"\"", 0, 0, 0, 0, ""},
        {"x.exe /S /P=1", 0, 1, 0, 0, ""},  // silent stays: no message box for a script
    };
    for (const Case& c : cases) {
        uninstall::UninstallOptions o;
        EXPECT_EQ(c.ok, uninstall::ParseUninstallOptions(c.line, &o)) << c.line;
        EXPECT_EQ(c.silent, o.silent) << c.line;
        EXPECT_EQ(c.deleted, o.copyDeletedOnExit) << c.line;
        EXPECT_EQ(c.pid, o.parentProcessId) << c.line;
        EXPECT_STREQ(c.path, o.originalPath) << c.line;
    }
    uninstall::UninstallOptions o;
    std::string tooLong = "x.exe /P=1 C:\\" + std::string(300, 'x');
    EXPECT_EQ(0, uninstall::ParseUninstallOptions(tooLong.c_str(), &o));
}

}  // namespace
