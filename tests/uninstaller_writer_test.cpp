// The uninstaller file: the decoded program, then the record, byte for byte;
// and no half-written program left behind when something fails.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <signal.h>
#include <string.h>

#include "install/install_log.h"
#include "payload/setup_info.h"
#include "platform/file_stream.h"
#include "tests/support/install_fixture.h"
#include "tools/mksetup/lz_encoder.h"

namespace {

using namespace install_fixture;
using testing_support::Ansi;

const char kUninstaller[] = "卸载.exe";

std::string U32(uint32_t v) {
    return std::string{static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
                       static_cast<char>(v >> 24)};
}

std::string Counted(const std::string& text) {
    return U32(static_cast<uint32_t>(text.size())) + text;
}

class UninstallerWriterTest : public ::testing::Test {
  protected:
    void SetUp() override {
        strcpy(info.m_szInstallDir, Ansi(dir.path()).c_str());
        strcpy(info.m_szProductName, "abc");
        SetLogOwner(&info);
        memset(links, 0, sizeof links);
    }
    void TearDown() override { SetLogOwner(nullptr); }

    // An executable with the packed program at offset 64 (after a stub).
    void CarryUninstaller(const std::string& program) {
        std::vector<uint8_t> packed =
            LzEncode(reinterpret_cast<const uint8_t*>(program.data()), program.size());
        std::string exe(64, 'S');
        exe.append(packed.begin(), packed.end());
        exe.append("trailing bytes that are no part of the item");
        WriteHostFile(dir.Join("setup.exe"), exe);
        info.m_Uninstaller.position = 64;
        info.m_Uninstaller.size = static_cast<int32_t>(packed.size());
    }

    int Write(const char* menuFolderPath) {
        CFileStream in(Ansi(dir.Join("setup.exe")).c_str(), CFileStream::kRead);
        return info.WriteUninstaller(in, links, menuFolderPath);
    }

    std::string Written() { return ReadText(dir.Join(kUninstaller)); }
    std::string LastLogLine() {
        std::vector<std::string> lines = LogMessages(TodaysLog(dir.path()));
        return lines.empty() ? std::string() : lines.back();
    }

    TempDir dir;
    CSetupInfo info;
    char links[kMaxShortcuts][kFieldSize];
};

TEST_F(UninstallerWriterTest, RecordFieldsAreLengthPrefixedInOrder) {
    WriteHostFile(dir.Join("setup.exe"), std::string("no uninstaller"));
    // No shortcuts: name, empty version (four zero bytes alone), count 0, menu folder.
    ASSERT_EQ(Write("C:\\P\\x"), 1);
    EXPECT_EQ(Written(), std::string("\x03\0\0\0abc", 7) + std::string(4, '\0') +
                             std::string(4, '\0') + std::string("\x06\0\0\0C:\\P\\x", 10));

    // Two entries, the second skipped: its slot is the empty string.
    info.m_nShortcuts = 2;
    strcpy(info.m_szVersion, "1.0");
    const std::string link = Gbk("C:\\桌面\\应用.lnk"), menu = Gbk("C:\\程序\\产品");
    strcpy(links[0], link.c_str());
    ASSERT_EQ(Write(menu.c_str()), 1);
    EXPECT_EQ(Written(), Counted("abc") + Counted("1.0") + U32(2) + Counted(link) + Counted("") +
                             Counted(menu));
}

TEST_F(UninstallerWriterTest, DecodedProgramIsFollowedByTheRecord) {
    // More than one block, so the decoder's block boundaries are crossed.
    const std::string program = "MZ" + NoiseBytes(70000, 7) + std::string(20000, 'z');
    CarryUninstaller(program);
    // An old, longer file is replaced whole, not written over.
    WriteHostFile(dir.Join(kUninstaller), std::string(400000, 'o'));
    ASSERT_EQ(Write(""), 1);
    EXPECT_EQ(Written(), program + Counted("abc") + Counted("") + U32(0) + Counted(""));
}

TEST_F(UninstallerWriterTest, PackedSizeZeroGivesTheRecordAlone) {
    CarryUninstaller("MZ");
    info.m_Uninstaller.size = 0;
    ASSERT_EQ(Write("m"), 1);
    EXPECT_EQ(Written(), Counted("abc") + Counted("") + U32(0) + Counted("m"));
}

TEST_F(UninstallerWriterTest, DamagedOrCutOffProgramFailsAndLeavesNoFile) {
    struct Case {
        const char* what;
        int32_t sizeChange;  // to the packed size
        bool atEndOfFile;    // the item said to start where the file ends
        const char* logLine;
    } cases[] = {
        {"item cut short", -20, false, "uninstaller decode failed"},
        {"item beyond the end of the file", 0, true, "uninstaller read failed"},
    };
    for (const Case& c : cases) {
        CarryUninstaller("MZ" + NoiseBytes(70000, 3));
        info.m_Uninstaller.size += c.sizeChange;
        if (c.atEndOfFile)
            info.m_Uninstaller.position =
                static_cast<int32_t>(ReadHostFile(dir.Join("setup.exe")).size());
        EXPECT_EQ(Write(""), 0) << c.what;
        EXPECT_FALSE(Exists(dir.Join(kUninstaller))) << c.what;
        EXPECT_EQ(LastLogLine(), c.logLine) << c.what;
    }
}

TEST_F(UninstallerWriterTest, FileThatCannotBeOpenedFails) {
    CarryUninstaller("MZ");
    ASSERT_EQ(mkdir(dir.Join(kUninstaller).c_str(), 0755), 0);
    EXPECT_EQ(Write(""), 0);
    EXPECT_EQ(LastLogLine(), "uninstoutfile can't open");
}

TEST_F(UninstallerWriterTest, DiskFillingUpFailsAndLeavesNoFile) {
    CarryUninstaller("MZ" + NoiseBytes(100000, 9));
    // Files of this process cannot grow past 64 KiB: the uninstaller's writes
    // fail (EFBIG, as ENOSPC on a full disk) while the small log still grows.
    struct rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    struct rlimit reduced = saved;
    reduced.rlim_cur = 65536;
    sighandler_t oldHandler = signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &reduced), 0);
    int result = Write("");
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(result, 0);
    EXPECT_FALSE(Exists(dir.Join(kUninstaller)));
    EXPECT_EQ(LastLogLine(), "uninstoutfile write failed");
}

}  // namespace
