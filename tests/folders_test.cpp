// Creating folders along ANSI paths, as the unpacker and the extraction run do.
#include "install/folders.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "payload/setup_info.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;
using testing_support::Ansi;
using testing_support::TempDir;
using testing_support::WriteHostFile;

namespace {

const char kChineseFolder[] = "\xC4\xBF\xC2\xBC\\\xD7\xD3";                 // 目录\子
const char kChineseFolderHost[] = "\xE7\x9B\xAE\xE5\xBD\x95/\xE5\xAD\x90";  // 目录/子

class FoldersTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directories(dir.Join("existing"));
        WriteHostFile(dir.Join("file"), "x");
        root = Ansi(dir.path());
    }
    // An ANSI path below the temporary folder padded to exactly `length` bytes.
    std::string PathOfLength(size_t length) {
        std::string path = root + "\\";
        while (length - path.size() > 60) path += std::string(49, 'd') + "\\";
        return path + std::string(length - path.size(), 'e');
    }
    TempDir dir;
    std::string root;
};

TEST_F(FoldersTest, CreateFolder) {
    struct Case {
        std::string relative;  // below the temporary folder, '\' separators
        int expected;
        const char* madeHost;  // a folder that must stand afterwards, or null
    } cases[] = {
        {"existing", 1, "existing"},   {"file", 0, nullptr},
        {"file\\below", 0, nullptr},   {"new\\a\\b", 1, "new/a/b"},
        {"fresh\\", 1, "fresh"},  // a trailing backslash on a new folder
        {"existing\\", 1, "existing"}, {kChineseFolder, 1, kChineseFolderHost},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.relative);
        EXPECT_EQ(folders::CreateFolder((root + "\\" + c.relative).c_str()), c.expected);
        if (c.madeHost) {
            EXPECT_TRUE(fs::is_directory(dir.Join(c.madeHost)));
        }
    }
    EXPECT_FALSE(fs::exists(dir.Join("file/below")));
}

TEST_F(FoldersTest, EmptyPathsAndPathsWithoutBackslash) {
    EXPECT_EQ(folders::CreateFolder(nullptr), 0);
    EXPECT_EQ(folders::CreateFolder(""), 0);
    // The top of the recursion, like a drive designator: counts as made.
    EXPECT_EQ(folders::CreateFolder("engine-a-no-such-folder"), 1);
    EXPECT_FALSE(fs::exists("engine-a-no-such-folder"));
    EXPECT_EQ(folders::CreateParentFolder("no-backslash.txt"), 0);
    EXPECT_EQ(folders::CreateParentFolder(nullptr), 0);
}

TEST_F(FoldersTest, PathsBeyond259BytesAreRefusedWhole) {
    std::string fits = PathOfLength(259), tooLong = PathOfLength(260);
    EXPECT_EQ(folders::CreateFolder(tooLong.c_str()), 0);
    EXPECT_FALSE(fs::exists(dir.Join("d" + std::string(48, 'd'))));
    EXPECT_EQ(folders::CreateParentFolder((tooLong + "\\f").c_str()), 0);
    EXPECT_FALSE(fs::exists(dir.Join("d" + std::string(48, 'd'))));
    EXPECT_EQ(folders::CreateFolder(fits.c_str()), 1);
    std::string host = dir.path();
    for (char c : fits.substr(root.size())) host += c == '\\' ? '/' : c;
    EXPECT_TRUE(fs::is_directory(host));
}

TEST_F(FoldersTest, CreateParentFolderMakesOnlyTheFolders) {
    EXPECT_EQ(folders::CreateParentFolder((root + "\\x\\y\\f.txt").c_str()), 1);
    EXPECT_TRUE(fs::is_directory(dir.Join("x/y")));
    EXPECT_FALSE(fs::exists(dir.Join("x/y/f.txt")));
    EXPECT_EQ(folders::CreateParentFolder((root + "\\file\\f.txt").c_str()), 0);
}

TEST_F(FoldersTest, SetupInfoUsesTheSameSteps) {
    CSetupInfo info;
    EXPECT_EQ(info.CreateFolder((root + "\\product\\").c_str()), 1);
    EXPECT_TRUE(fs::is_directory(dir.Join("product")));
    EXPECT_EQ(info.CreateParentFolder((root + "\\tmp\\tmp1.zip").c_str()), 1);
    EXPECT_TRUE(fs::is_directory(dir.Join("tmp")));
    EXPECT_EQ(info.CreateFolder((root + "\\file").c_str()), 0);
}

}  // namespace
