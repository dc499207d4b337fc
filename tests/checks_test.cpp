// The pre-install checks: free space on a fixed disk, and a program of the
// product running from the target directory.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "tests/support/fake_window_system.h"
#include "tests/support/test_support.h"
#include "ui/checks.h"
#include "ui/texts.h"

using testing_support::Ansi;
using testing_support::FakeWindowSystem;
using testing_support::TempDir;
using testing_support::WriteHostFile;

namespace {

class FakeDrive {
  public:
    FakeDrive(int type, uint64_t freeBytes, int queryOk = 1) {
        plat::SetFakeDrive(type, freeBytes, queryOk);
    }
    ~FakeDrive() { plat::ClearFakeDrive(); }
};

TEST(FreeSpace, SinglePrecisionRoundingDecidesThe100MegabyteBorder) {
    struct Case {
        uint64_t freeBytes;
        bool enough;
    };
    const Case cases[] = {
        {104857595, false},  // 99.9999952... rounds below 100
        {104857596, true},   // exactly half way: rounds to the even 100.0
        {104857599, true},  {104857600, true}, {0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.freeBytes);
        FakeDrive drive(plat::kDriveFixed, c.freeBytes);
        EXPECT_EQ(c.enough, ui::GetFreeMegabytes("D:\\App") >= ui::kMinFreeMegabytes);
    }
    FakeDrive drive(plat::kDriveFixed, 3ull << 40);
    EXPECT_FLOAT_EQ(3.0f * 1024 * 1024, ui::GetFreeMegabytes("D:\\App"));
}

TEST(FreeSpace, OnlyAFixedDiskThatCanBeQueriedCounts) {
    const int notFixed[] = {plat::kDriveUnknown, plat::kDriveNoRoot, plat::kDriveRemovable,
                            plat::kDriveRemote,  plat::kDriveCdrom,  plat::kDriveRamdisk};
    for (int type : notFixed) {
        FakeDrive drive(type, 1ull << 40);
        EXPECT_EQ(0.0f, ui::GetFreeMegabytes("D:\\App")) << type;
    }
    FakeDrive failing(plat::kDriveFixed, 1ull << 40, 0);
    EXPECT_EQ(0.0f, ui::GetFreeMegabytes("D:\\App"));
}

TEST(FreeSpace, PosixHostTakesAbsolutePathsAsOneFixedDisk) {
    EXPECT_EQ(plat::kDriveFixed, plat::GetDriveType("\\tm"));
    EXPECT_EQ(plat::kDriveRemote, plat::GetDriveType("\\\\s"));  // \\server\share
    EXPECT_EQ(plat::kDriveNoRoot, plat::GetDriveType("D:\\"));
    EXPECT_GT(ui::GetFreeMegabytes(Ansi(TempDir().path()).c_str()), 0.0f);
    EXPECT_EQ(0.0f, ui::GetFreeMegabytes("\\\\server\\share\\App"));
}

TEST(RunningProgram, FolderIsComparedByteForByte) {
    struct Case {
        const char* program;
        const char* dir;
        bool match;
    };
    const Case cases[] = {
        {"D:\\App\\app.exe", "D:\\App", true},
        {"D:\\App\\bin\\app.exe", "D:\\App", false},  // a subfolder
        {"D:\\app\\app.exe", "D:\\App", false},       // letter case
        {"D:\\App\\app.exe", "D:\\App\\", false},     // trailing backslash
        {"D:\\app.exe", "D:\\", false},               // a drive root: the folder is D:
        {"D:\\app.exe", "D:", true},
        {"app.exe", "", true},  // no backslash: an empty folder
        {"app.exe", "D:\\App", false},
        // 乗 is 81 5C: its trail byte is no backslash.
        {"D:\\App\\\x81\x5C.exe", "D:\\App", true},
        {"D:\\App\\\x81\x5C.exe", "D:\\App\\\x81", false},
        {"D:\\\x81\x5C\\app.exe", "D:\\\x81\x5C", true},
        {"D:\\App\x81\x5C"
         "app.exe",
         "D:", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.program) + " in " + c.dir);
        EXPECT_EQ(c.match, ui::IsProgramInFolder(c.program, c.dir));
    }
}

std::vector<std::string> g_fakePrograms;
int g_visited = 0;
int FakeProcessList(plat::ProcessVisitor visit, void* context) {
    for (const std::string& program : g_fakePrograms) {
        ++g_visited;
        if (int result = visit(program.c_str(), context)) return result;
    }
    return 0;
}

TEST(RunningProgram, AnyProcessInTheFolderCountsAndTheWalkStopsThere) {
    g_fakePrograms = {"C:\\Windows\\explorer.exe", "D:\\App\\app.exe", "D:\\App\\other.exe"};
    g_visited = 0;
    EXPECT_TRUE(ui::IsProgramRunningIn("D:\\App", FakeProcessList));
    EXPECT_EQ(2, g_visited);
    EXPECT_FALSE(ui::IsProgramRunningIn("D:\\Other", FakeProcessList));
    g_fakePrograms.clear();
    EXPECT_FALSE(ui::IsProgramRunningIn("D:\\App", FakeProcessList));
}

// A real program run from a directory of its own, seen through /proc.
class ProgramRunningFrom {
  public:
    explicit ProgramRunningFrom(const std::string& dir) : m_path(dir + "/app") {
        WriteHostFile(m_path, testing_support::ReadHostFile("/bin/sleep"));
        chmod(m_path.c_str(), 0755);
        m_pid = fork();
        if (m_pid == 0) {
            execl(m_path.c_str(), m_path.c_str(), "30", static_cast<char*>(nullptr));
            _exit(127);
        }
        WaitUntilRunning();
    }
    ~ProgramRunningFrom() {
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
    }

  private:
    void WaitUntilRunning() {
        std::string link = "/proc/" + std::to_string(m_pid) + "/exe";
        for (int i = 0; i < 5000; ++i) {
            char target[4096];
            ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
            if (n > 0 && std::string(target, static_cast<size_t>(n)) == m_path) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        ADD_FAILURE() << "the program did not start";
    }
    std::string m_path;
    pid_t m_pid;
};

class CheckTargetDirTest : public ::testing::Test {
  protected:
    void SetUp() override { plat::SetFakeDrive(plat::kDriveFixed, 1ull << 30); }
    void TearDown() override { plat::ClearFakeDrive(); }
    TempDir m_temp;
    FakeWindowSystem m_ws;
};

TEST_F(CheckTargetDirTest, LowSpaceIsToldAndFails) {
    plat::SetFakeDrive(plat::kDriveFixed, 104857595);
    EXPECT_EQ(0, ui::CheckTargetDir(Ansi(m_temp.path()).c_str(), m_ws));
    EXPECT_EQ(std::vector<std::string>{texts::kLowDiskSpace}, m_ws.messages);
}

TEST_F(CheckTargetDirTest, RunningProgramBlocksOnlyWhereTheMarkerIs) {
    const std::string dir = m_temp.Join("\xE4\xB9\x97");  // 乗, whose GBK trail byte is 0x5C
    ASSERT_EQ(0, mkdir(dir.c_str(), 0755));
    ProgramRunningFrom program(dir);

    EXPECT_EQ(1, ui::CheckTargetDir(Ansi(dir).c_str(), m_ws));  // no marker: no process examined
    EXPECT_TRUE(m_ws.messages.empty());

    WriteHostFile(dir + "/exename.ini", "[EXE]\r\nName=app\r\n");
    EXPECT_EQ(0, ui::CheckTargetDir(Ansi(dir).c_str(), m_ws));
    EXPECT_EQ(std::vector<std::string>{texts::kProgramRunning}, m_ws.messages);

    // The same marker in the parent: the program runs from a subfolder there.
    WriteHostFile(m_temp.Join("exename.ini"), "");
    m_ws.messages.clear();
    EXPECT_EQ(1, ui::CheckTargetDir(Ansi(m_temp.path()).c_str(), m_ws));
    EXPECT_TRUE(m_ws.messages.empty());
}

TEST_F(CheckTargetDirTest, DirectoryTooLongForTheMarkerIsStillChecked) {
    // The marker's path does not fit in a path buffer, so its absence proves
    // nothing: the running check decides.
    // 250 bytes: the marker's path would need 263, the program's is 254.
    std::string dir = m_temp.Join(std::string(250 - m_temp.path().size() - 1, 'a'));
    ASSERT_EQ(0, mkdir(dir.c_str(), 0755));
    ASSERT_EQ(250u, Ansi(dir).size());
    ProgramRunningFrom program(dir);
    EXPECT_EQ(0, ui::CheckTargetDir(Ansi(dir).c_str(), m_ws));
    EXPECT_EQ(std::vector<std::string>{texts::kProgramRunning}, m_ws.messages);
}

}  // namespace
