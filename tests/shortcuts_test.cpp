// Shortcut files and special folders: what a .lnk reader sees in the files we
// write, and where the shortcut starts the program.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string.h>

#include "payload/setup_info.h"
#include "platform/platform.h"
#include "tests/support/install_fixture.h"

namespace {

using namespace install_fixture;
using testing_support::Ansi;

class ShortcutTest : public ::testing::Test {
  protected:
    void TearDown() override {
        plat::SetSpecialFolder(plat::kFolderDesktop, "");
        plat::SetSpecialFolder(plat::kFolderPrograms, "");
    }

    // The link's fields as lnkinfo reads them, after CreateShortcut with ANSI paths.
    std::map<std::string, std::string> Make(const std::string& linkHost, const std::string& target,
                                            const std::string& icon) {
        EXPECT_EQ(info.CreateShortcut(Ansi(linkHost).c_str(), target.c_str(), icon.c_str()), 1);
        return ReadShortcut(linkHost);
    }

    TempDir dir;
    CSetupInfo info;
};

TEST_F(ShortcutTest, LinkOpensTheTargetInItsFolderWithTheIcon) {
    const std::string folder = dir.Join("产品 目录");
    ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
    WriteHostFile(folder + "/应用.exe", std::string("MZ program"));
    const std::string target = Ansi(folder + "/应用.exe");
    const std::string icon = Ansi(folder + "/图标.ico");

    auto link = Make(dir.Join("快捷方式.lnk"), target, icon);
    ASSERT_FALSE(link.empty()) << "lnkinfo cannot read the file";
    EXPECT_EQ(link["Local path"], Utf8(target));
    EXPECT_EQ(link["Working directory"], Utf8(Ansi(folder)));
    EXPECT_EQ(link["Icon location"], Utf8(icon));
    EXPECT_EQ(link["Icon index"], "0");
    EXPECT_EQ(link["File size"], "10 bytes");

    // The Shell Link header: its size and the link class, which Windows checks.
    std::vector<uint8_t> bytes = ReadHostFile(dir.Join("快捷方式.lnk"));
    const uint8_t kStart[20] = {0x4C, 0, 0,    0, 0x01, 0x14, 0x02, 0, 0, 0,
                                0,    0, 0xC0, 0, 0,    0,    0,    0, 0, 0x46};
    ASSERT_GT(bytes.size(), 76u);
    EXPECT_EQ(memcmp(bytes.data(), kStart, sizeof kStart), 0);
}

TEST_F(ShortcutTest, WorkingDirectoryIsTheTargetCutAtItsLastBackslash) {
    struct Case {
        const char* target;  // UTF-8 here, GBK to the engine
        const char* workDir;
    } cases[] = {
        {"C:\\Program Files\\产品\\app.exe", "C:\\Program Files\\产品"},
        {"D:\\app.exe", "D:"},
        {"C:\\产品\\bin\\", "C:\\产品\\bin"},
        {"app.exe", "app.exe"},  // no backslash: the whole target
    };
    int n = 0;
    for (const Case& c : cases) {
        auto link =
            Make(dir.Join("case" + std::to_string(n++) + ".lnk"), Gbk(c.target), Gbk(c.target));
        EXPECT_EQ(link["Working directory"], c.workDir) << c.target;
        EXPECT_EQ(link["Local path"], c.target);
    }
}

TEST_F(ShortcutTest, SavedUnderExactlyTheLinkPathReplacingAnOldFile) {
    const std::string linkHost = dir.Join("说明");  // no extension, and none added
    Make(linkHost, Gbk("C:\\旧\\a.exe"), Gbk("C:\\旧\\a.exe"));
    auto link = Make(linkHost, Gbk("C:\\新\\b.exe"), Gbk("C:\\新\\b.exe"));
    EXPECT_EQ(link["Local path"], "C:\\新\\b.exe");
    EXPECT_FALSE(Exists(linkHost + ".lnk"));
}

TEST_F(ShortcutTest, MissingFolderWritesNothingButStillSucceeds) {
    const std::string linkHost = dir.Join("missing/a.lnk");
    EXPECT_EQ(info.CreateShortcut(Ansi(linkHost).c_str(), "C:\\a.exe", "C:\\a.exe"), 1);
    EXPECT_FALSE(Exists(linkHost));
}

TEST_F(ShortcutTest, SpecialFoldersAreTheChosenDirectoriesAndUnknownOnesLeaveTheBuffer) {
    const std::string desktop = Ansi(dir.Join("桌面"));
    plat::SetSpecialFolder(plat::kFolderDesktop, desktop.c_str());
    plat::SetSpecialFolder(plat::kFolderPrograms, "C:\\Programs");

    char path[kFieldSize];
    info.GetSpecialFolderPath(path, plat::kFolderDesktop);
    EXPECT_EQ(std::string(path), desktop);
    info.GetSpecialFolderPath(path, plat::kFolderPrograms);
    EXPECT_STREQ(path, "C:\\Programs");

    for (int csidl : {plat::kFolderDesktop, 5, -1}) {
        plat::SetSpecialFolder(plat::kFolderDesktop, "");
        strcpy(path, "untouched");
        info.GetSpecialFolderPath(path, csidl);
        EXPECT_STREQ(path, "untouched") << csidl;
    }
}

}  // namespace
