// The day-stamped install log: line and path formats, appending, the move to a
// new directory, and lines from two threads at once.
#include "install/install_log.h"

#include <gtest/gtest.h>
#include <string.h>

#include <algorithm>
#include <filesystem>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "payload/setup_info.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;
using testing_support::Ansi;
using testing_support::ReadHostFile;
using testing_support::TempDir;
using testing_support::WriteHostFile;

namespace {

std::string ReadText(const std::string& hostPath) {
    std::vector<uint8_t> bytes = ReadHostFile(hostPath);
    return std::string(bytes.begin(), bytes.end());
}

// The log files of a folder, oldest day first, run together (a test that
// runs over midnight writes into two).
std::string ReadLogs(const std::string& hostDir) {
    std::vector<std::string> names;
    if (fs::is_directory(hostDir))
        for (const auto& item : fs::directory_iterator(hostDir))
            if (std::regex_match(item.path().filename().string(),
                                 std::regex(R"(install\d{8}\.log)")))
                names.push_back(item.path().string());
    std::sort(names.begin(), names.end());
    std::string all;
    for (const std::string& name : names) all += ReadText(name);
    return all;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0, end;
    while ((end = text.find("\r\n", start)) != std::string::npos) {
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    EXPECT_EQ(start, text.size()) << "text after the last line end";
    return lines;
}

bool IsLogLine(const std::string& line, const std::string& message) {
    static const std::regex kTime(R"(([01]\d|2[0-3]):[0-5]\d:[0-5]\d:0\d{3}  )");
    return line.size() == 15 + message.size() && std::regex_match(line.substr(0, 15), kTime) &&
           line.substr(15) == message;
}

TEST(LogFormat, Lines) {
    struct Case {
        plat::LocalTime time;
        int milliseconds;
        std::string message;
        std::string expected;
    } cases[] = {
        {{2024, 1, 5, 12, 34, 56, 0}, 7, "abc", "12:34:56:0007  abc\r\n"},
        {{2024, 1, 5, 0, 0, 0, 0}, 999, "", "00:00:00:0999  \r\n"},
        {{2024, 1, 5, 23, 59, 59, 0}, 0, "\xCD\xEA\xB3\xC9", "23:59:59:0000  \xCD\xEA\xB3\xC9\r\n"},
    };
    for (const Case& c : cases) {
        char line[kLogLineSize];
        int length = FormatLogLine(line, c.time, c.milliseconds, c.message.c_str());
        EXPECT_EQ(std::string(line, static_cast<size_t>(length)), c.expected);
    }
}

TEST(LogFormat, LongMessages) {
    plat::LocalTime time = {2024, 1, 5, 1, 2, 3, 0};
    char line[kLogLineSize];
    std::string message(255, 'm');
    EXPECT_EQ(FormatLogLine(line, time, 7, message.c_str()), 272);
    EXPECT_EQ(std::string(line).substr(255 + 15), "\r\n");

    // Cut to 2,559 bytes, line end and all.
    message.assign(3000, 'm');
    ASSERT_EQ(FormatLogLine(line, time, 7, message.c_str()), 2559);
    EXPECT_EQ(std::string(line), "01:02:03:0007  " + message.substr(0, 2559 - 15));
}

TEST(LogFormat, FilePaths) {
    plat::LocalTime date = {2024, 1, 5, 13, 0, 0, 0};
    char path[plat::kMaxPath];
    ASSERT_EQ(GetLogFilePath(path, sizeof path, "D:\\Product", date), 1);
    EXPECT_STREQ(path, "D:\\Product\\install20240105.log");
    ASSERT_EQ(GetLogFilePath(path, sizeof path, "D:\\", date), 1);
    EXPECT_STREQ(path, "D:\\\\install20240105.log");  // the backslash always goes in

    // 259 bytes fit, 260 do not; nothing cut is handed out.
    std::string dir(259 - strlen("\\install20240105.log"), 'd');
    EXPECT_EQ(GetLogFilePath(path, sizeof path, dir.c_str(), date), 1);
    EXPECT_EQ(strlen(path), 259u);
    dir += 'd';
    EXPECT_EQ(GetLogFilePath(path, sizeof path, dir.c_str(), date), 0);
    EXPECT_STREQ(path, "");
}

class InstallLogTest : public ::testing::Test {
  protected:
    void SetUp() override { SetLogOwner(&info); }
    void TearDown() override { SetLogOwner(nullptr); }
    void SetInstallDir(const std::string& ansi) {
        ASSERT_LT(ansi.size(), sizeof info.m_szInstallDir);
        strcpy(info.m_szInstallDir, ansi.c_str());
    }
    CSetupInfo info;
    TempDir dir;
};

TEST_F(InstallLogTest, AppendsLinesInCallOrder) {
    fs::create_directories(dir.Join("product"));
    WriteHostFile(dir.Join("product/unrelated.txt"), "keep");
    SetInstallDir(Ansi(dir.Join("product")));
    WriteLog("ExtraFileFromInfo begin");
    WriteLog("count0_Setpos(0/3)");

    std::vector<std::string> lines = Lines(ReadLogs(dir.Join("product")));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(IsLogLine(lines[0], "ExtraFileFromInfo begin")) << lines[0];
    EXPECT_TRUE(IsLogLine(lines[1], "count0_Setpos(0/3)")) << lines[1];

    // The file carries the day: the one before or after the calls.
    time_t now = time(nullptr);
    char today[32];
    strftime(today, sizeof today, "install%Y%m%d.log", localtime(&now));
    EXPECT_TRUE(fs::exists(dir.Join(std::string("product/") + today)));
}

TEST_F(InstallLogTest, DirectoryWithTrailingBackslashSharesTheFile) {
    fs::create_directories(dir.Join("product"));
    SetInstallDir(Ansi(dir.Join("product")));
    WriteLog("one");
    SetInstallDir(Ansi(dir.Join("product")) + "\\");
    WriteLog("two");
    std::vector<std::string> lines = Lines(ReadLogs(dir.Join("product")));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(IsLogLine(lines[1], "two"));
}

TEST_F(InstallLogTest, DropsLinesWithoutADirectoryOrOwner) {
    SetInstallDir(Ansi(dir.Join("missing")));
    WriteLog("lost");
    EXPECT_FALSE(fs::exists(dir.Join("missing")));

    SetInstallDir(Ansi(dir.path()));
    SetLogOwner(nullptr);
    WriteLog("lost");
    EXPECT_TRUE(fs::is_empty(dir.path()));
}

TEST_F(InstallLogTest, MoveLogFileFollowsTheNewDirectory) {
    struct Case {
        const char* what;
        bool oldHasLog, newExists, newHasLog;
        std::vector<std::string> expectOld, expectNew;  // messages in each file afterwards
    } cases[] = {
        {"moves", true, true, false, {}, {"old", "MoveLogFile"}},
        {"never replaces", true, true, true, {"old"}, {"new", "MoveLogFile"}},
        {"nothing to move", false, true, false, {}, {"MoveLogFile"}},
        {"new directory missing", true, false, false, {"old"}, {}},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string oldHost = dir.Join("old" + std::to_string(n));
        std::string newHost = dir.Join("new" + std::to_string(n++));
        fs::create_directories(oldHost);
        if (c.newExists) fs::create_directories(newHost);
        if (c.oldHasLog) {
            SetInstallDir(Ansi(oldHost));
            WriteLog("old");
        }
        if (c.newHasLog) {
            SetInstallDir(Ansi(newHost));
            WriteLog("new");
        }
        SetInstallDir(Ansi(newHost));  // the caller stores the new directory first
        MoveLogFile(Ansi(oldHost).c_str(), Ansi(newHost).c_str());

        for (const auto& [host, expected] :
             {std::make_pair(oldHost, c.expectOld), std::make_pair(newHost, c.expectNew)}) {
            std::vector<std::string> lines = Lines(ReadLogs(host));
            ASSERT_EQ(lines.size(), expected.size()) << host;
            for (size_t i = 0; i < lines.size(); ++i)
                EXPECT_TRUE(IsLogLine(lines[i], expected[i])) << lines[i];
        }
    }
}

TEST_F(InstallLogTest, LinesFromTwoThreadsStayWhole) {
    SetInstallDir(Ansi(dir.path()));
    const int kLines = 2000;
    auto writer = [](char name) {
        std::string padding(300, name);
        char message[400];
        for (int i = 0; i < kLines; ++i) {
            snprintf(message, sizeof message, "%c %04d %s", name, i, padding.c_str());
            WriteLog(message);
        }
    };
    std::thread a(writer, 'a'), b(writer, 'b');
    a.join();
    b.join();

    std::vector<std::string> lines = Lines(ReadLogs(dir.path()));
    ASSERT_EQ(lines.size(), 2u * kLines);
    int next[2] = {0, 0};
    for (const std::string& line : lines) {
        ASSERT_GE(line.size(), 16u);
        char name = line[15];
        ASSERT_TRUE(name == 'a' || name == 'b') << line;
        char expected[16];
        snprintf(expected, sizeof expected, "%c %04d ", name, next[name - 'a']++);
        ASSERT_TRUE(IsLogLine(line, expected + std::string(300, name))) << line;
    }
    EXPECT_EQ(next[0], kLines);
    EXPECT_EQ(next[1], kLines);
}

}  // namespace
