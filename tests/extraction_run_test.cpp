// The extraction run on a hand-made executable: its log lines and progress
// positions in order, the files it leaves, the shortcuts and the record, and
// how it ends when something cannot be done.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string.h>

#include <algorithm>

#include "install/install_log.h"
#include "install/progress.h"
#include "payload/setup_info.h"
#include "platform/file_stream.h"
#include "platform/platform.h"
#include "tests/support/install_fixture.h"
#include "tools/mksetup/lz_encoder.h"

namespace {

using namespace install_fixture;
using testing_support::Ansi;

typedef std::vector<std::string> Lines;

class RecordingProgress : public CProgressCtrl {
  public:
    void SetPos(int position) override { positions.push_back(position); }
    int GetPos() override { return positions.empty() ? 0 : positions.back(); }
    std::vector<int> positions;
};

std::string U32(uint32_t v) {
    return std::string{static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
                       static_cast<char>(v >> 24)};
}

std::string Counted(const std::string& text) {
    return U32(static_cast<uint32_t>(text.size())) + text;
}

// An archive of n small files, each in a folder of its own.
std::vector<ZipItem> Files(int n, const std::string& prefix) {
    std::vector<ZipItem> items;
    for (int i = 0; i < n; ++i)
        items.push_back(File(prefix + std::to_string(i) + "/f.txt", "file " + std::to_string(i)));
    return items;
}

class ExtractionRunTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // The progress page has made the directory before the run: its
        // first log line goes there.
        install = dir.Join("安装 目录");
        ASSERT_EQ(mkdir(install.c_str(), 0755), 0);
        desktop = dir.Join("桌面");
        programs = dir.Join("程序");
        ASSERT_EQ(mkdir(desktop.c_str(), 0755), 0);
        ASSERT_EQ(mkdir(programs.c_str(), 0755), 0);
        plat::SetSpecialFolder(plat::kFolderDesktop, Ansi(desktop).c_str());
        plat::SetSpecialFolder(plat::kFolderPrograms, Ansi(programs).c_str());
        strcpy(info.m_szInstallDir, Ansi(install).c_str());
        strcpy(info.m_szProductName, Gbk("测试产品").c_str());
        strcpy(info.m_szVersion, "2.1");
        strcpy(info.m_szMenuFolder, Gbk("测试 产品").c_str());
        SetLogOwner(&info);
        g_pProgressCtrl = &progress;
        Carry(MakeZip({}), MakeZip({}));
    }

    void TearDown() override {
        g_pProgressCtrl = nullptr;
        SetLogOwner(nullptr);
        plat::SetSpecialFolder(plat::kFolderDesktop, "");
        plat::SetSpecialFolder(plat::kFolderPrograms, "");
    }

    // The executable: a stub, both archives, the packed uninstaller.
    void Carry(const std::vector<uint8_t>& zip0, const std::vector<uint8_t>& zip1) {
        std::vector<uint8_t> packed =
            LzEncode(reinterpret_cast<const uint8_t*>(uninstaller.data()), uninstaller.size());
        std::string exe(100, 'S');
        info.m_Archives[0] = {static_cast<int32_t>(exe.size()), static_cast<int32_t>(zip0.size())};
        exe.append(zip0.begin(), zip0.end());
        info.m_Archives[1] = {static_cast<int32_t>(exe.size()), static_cast<int32_t>(zip1.size())};
        exe.append(zip1.begin(), zip1.end());
        info.m_Uninstaller = {static_cast<int32_t>(exe.size()),
                              static_cast<int32_t>(packed.size())};
        exe.append(packed.begin(), packed.end());
        WriteHostFile(dir.Join("setup.exe"), exe);
    }

    void AddShortcut(int32_t location, const std::string& link, const std::string& target,
                     const std::string& icon) {
        ShortcutEntry& e = info.m_Shortcuts[info.m_nShortcuts++];
        e.location = location;
        strcpy(e.linkName, Gbk(link).c_str());
        strcpy(e.target, Gbk(target).c_str());
        strcpy(e.icon, Gbk(icon).c_str());
    }

    int Run() {
        CFileStream in(Ansi(dir.Join("setup.exe")).c_str(), CFileStream::kRead);
        return info.ExtraFileFromInfo(in);
    }

    Lines Log() { return LogMessages(TodaysLog(install)); }
    std::string Uninstaller() { return ReadText(install + "/卸载.exe"); }
    std::string Record(const Lines& linksUtf8, const std::string& menuUtf8) {
        std::string record = Counted(info.m_szProductName) + Counted(info.m_szVersion) +
                             U32(static_cast<uint32_t>(linksUtf8.size()));
        for (const std::string& link : linksUtf8) record += Counted(Gbk(link));
        return record + Counted(Gbk(menuUtf8));
    }
    std::string Windows(const std::string& host) { return Utf8(Ansi(host)); }

    TempDir dir;
    std::string install, desktop, programs;
    std::string uninstaller = "MZ uninstaller " + NoiseBytes(3000, 1);
    CSetupInfo info;
    RecordingProgress progress;
};

TEST_F(ExtractionRunTest, InstallsFilesShortcutsAndUninstallerInOrder) {
    ZipItem big = File("bin/应用.exe", NoiseBytes(90000, 2));
    big.time[0] = 2019;
    Carry(MakeZip({Folder("bin/"), big, File("数据/说明.txt", "说明\r\n", false)}),
          MakeZip({File("doc/readme.txt", "read me"), Folder("空目录/")}));
    AddShortcut(0, "应用.lnk", "bin\\应用.exe", "");
    AddShortcut(1, "卸载 产品.lnk", "", "");
    AddShortcut(2, "不做.lnk", "bin\\应用.exe", "");
    AddShortcut(1, "说明.lnk", "doc\\readme.txt", "bin\\应用.exe");

    ASSERT_EQ(Run(), 1);
    EXPECT_EQ(Log(), (Lines{"ExtraFileFromInfo begin", "count0_Setpos(0/3)", "count0_Setpos(1/3)",
                            "count0_Setpos(2/3)", "count1_Setpos(0/2)", "count1_Setpos(1/2)",
                            "ExtraFileFromInfo end"}));
    EXPECT_EQ(progress.positions, (std::vector<int>{20, 40, 60, 80, 100}));

    EXPECT_EQ(ReadText(install + "/bin/应用.exe"), big.data);
    EXPECT_EQ(ModifiedAt(install + "/bin/应用.exe"), LocalTimeOf(big));
    EXPECT_EQ(ReadText(install + "/数据/说明.txt"), "说明\r\n");
    EXPECT_FALSE(Exists(install + "/空目录")) << "folder entries make no folder";
    EXPECT_FALSE(Exists(install + "/tmp1.zip"));
    EXPECT_FALSE(Exists(install + "/tmp2.zip"));

    const std::string menu = programs + "/测试 产品";
    auto app = ReadShortcut(desktop + "/应用.lnk");
    EXPECT_EQ(app["Local path"], Windows(install + "/bin/应用.exe"));
    EXPECT_EQ(app["Working directory"], Windows(install + "/bin"));
    EXPECT_EQ(app["Icon location"], Windows(install + "/bin/应用.exe"));
    auto remove = ReadShortcut(menu + "/卸载 产品.lnk");
    EXPECT_EQ(remove["Local path"], Windows(install + "/卸载.exe"));
    EXPECT_EQ(remove["Working directory"], Windows(install));
    EXPECT_EQ(remove["Icon location"], Windows(install + "/卸载.exe"));
    auto readme = ReadShortcut(menu + "/说明.lnk");
    EXPECT_EQ(readme["Local path"], Windows(install + "/doc/readme.txt"));
    EXPECT_EQ(readme["Icon location"], Windows(install + "/bin/应用.exe"));
    EXPECT_FALSE(Exists(desktop + "/不做.lnk"));
    EXPECT_FALSE(Exists(menu + "/不做.lnk"));

    EXPECT_EQ(Uninstaller(), uninstaller + Record({Windows(desktop + "/应用.lnk"),
                                                   Windows(menu + "/卸载 产品.lnk"), "",
                                                   Windows(menu + "/说明.lnk")},
                                                  Windows(menu)));
}

TEST_F(ExtractionRunTest, ProgressCountsEntriesOfBothArchives) {
    struct Case {
        int count0, count1;
        std::vector<int> positions;
        size_t countLines;
    } cases[] = {
        {0, 2, {50, 100}, 2},
        {1, 0, {100}, 1},
        {2, 1, {33, 66, 100}, 3},
        // Nothing to unpack: the bar is still set to 100 at the end, which
        // the progress page needs to see the run as finished well.
        {0, 0, {100}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.count0) + "+" + std::to_string(c.count1));
        Carry(MakeZip(Files(c.count0, "a")), MakeZip(Files(c.count1, "b")));
        progress.positions.clear();
        unlink(TodaysLog(install).c_str());
        ASSERT_EQ(Run(), 1);
        EXPECT_EQ(progress.positions, c.positions);
        Lines log = Log();
        ASSERT_EQ(log.size(), c.countLines + 2);
        EXPECT_EQ(log.front(), "ExtraFileFromInfo begin");
        EXPECT_EQ(log.back(), "ExtraFileFromInfo end");
    }
}

TEST_F(ExtractionRunTest, EmptySegmentsStillGiveFolderAndUninstaller) {
    // Segments of size 0 are no archives; the rest of the run goes on.
    info.m_Archives[0].size = 0;
    info.m_Archives[1].size = 0;
    strcpy(info.m_szMenuFolder, "");
    AddShortcut(1, "卸载.lnk", "", "");
    ASSERT_EQ(Run(), 1);
    EXPECT_EQ(Log(), (Lines{"ExtraFileFromInfo begin", "ExtraFileFromInfo end"}));
    EXPECT_FALSE(Exists(install + "/tmp1.zip"));
    // An empty menu folder name: the Programs folder and one backslash.
    EXPECT_EQ(Uninstaller(),
              uninstaller + Record({Windows(programs + "/卸载.lnk")}, Windows(programs) + "\\"));
}

TEST_F(ExtractionRunTest, FailingEntryStopsTheRunWhereItIs) {
    struct Case {
        int archive, index;
        const char* failureLine;
        std::vector<int> positions;
    } cases[] = {
        {0, 0, "unziper0 UnzipFile Failed", {}},
        {0, 2, "unziper0 UnzipFile Failed", {20, 40}},
        {1, 1, "unziper1 UnzipFile Failed", {20, 40, 60, 80}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.failureLine + std::string(" at ") + std::to_string(c.index));
        std::vector<ZipItem> archives[2] = {Files(3, "a"), Files(2, "b")};
        archives[c.archive][c.index] = File("bad.txt", "DAMAGED-ENTRY-DATA", false);
        std::vector<uint8_t> zips[2] = {MakeZip(archives[0]), MakeZip(archives[1])};
        DamageFirst(zips[c.archive], "DAMAGED-ENTRY-DATA");
        Carry(zips[0], zips[1]);
        AddShortcut(0, "应用.lnk", "a0\\f.txt", "");
        progress.positions.clear();
        unlink(TodaysLog(install).c_str());

        EXPECT_EQ(Run(), 0);
        Lines log = Log();
        ASSERT_EQ(log.size(), 1 + c.positions.size() + 1);
        EXPECT_EQ(log.back(), c.failureLine);
        EXPECT_EQ(progress.positions, c.positions);
        EXPECT_FALSE(Exists(install + "/tmp1.zip"));
        EXPECT_FALSE(Exists(install + "/tmp2.zip"));
        EXPECT_FALSE(Exists(desktop + "/应用.lnk"));
        EXPECT_FALSE(Exists(install + "/卸载.exe"));
        info.m_nShortcuts = 0;
    }
}

TEST_F(ExtractionRunTest, InstallDirectoryEndingInBackslashGetsNoSecondOne) {
    strcat(info.m_szInstallDir, "\\");
    Carry(MakeZip({File("a.txt", "a")}), MakeZip({}));
    AddShortcut(0, "a.lnk", "a.txt", "");
    ASSERT_EQ(Run(), 1);
    EXPECT_EQ(ReadText(install + "/a.txt"), "a");
    auto link = ReadShortcut(desktop + "/a.lnk");
    EXPECT_EQ(link["Local path"], Windows(install + "/a.txt"));
    EXPECT_EQ(Uninstaller().find("\\\\"), std::string::npos);
}

TEST_F(ExtractionRunTest, OldTemporaryArchiveIsReplacedAndRemoved) {
    WriteHostFile(install + "/tmp1.zip", NoiseBytes(100000, 5));
    Carry(MakeZip({File("a.txt", "a")}), MakeZip({}));
    ASSERT_EQ(Run(), 1);
    EXPECT_EQ(ReadText(install + "/a.txt"), "a");
    EXPECT_FALSE(Exists(install + "/tmp1.zip"));
}

TEST_F(ExtractionRunTest, UnresolvedFoldersAndOtherLocationsMakeNoShortcut) {
    plat::SetSpecialFolder(plat::kFolderDesktop, "");
    AddShortcut(0, "桌面.lnk", "", "");
    AddShortcut(-1, "负.lnk", "", "");
    AddShortcut(1, "菜单.lnk", "", "");
    ASSERT_EQ(Run(), 1);
    Lines log = Log();
    EXPECT_NE(std::find(log.begin(), log.end(), "GetSpecialFolderPath(0) Failed"), log.end());
    const std::string menu = programs + "/测试 产品";
    EXPECT_TRUE(Exists(menu + "/菜单.lnk"));
    // Every entry keeps its place in the record; those without a file are empty.
    EXPECT_EQ(Uninstaller(),
              uninstaller + Record({"", "", Windows(menu + "/菜单.lnk")}, Windows(menu)));

    // Without a Programs folder there is no menu folder to record either.
    plat::SetSpecialFolder(plat::kFolderPrograms, "");
    ASSERT_EQ(Run(), 1);
    log = Log();
    EXPECT_NE(std::find(log.begin(), log.end(), "GetSpecialFolderPath(2) Failed"), log.end());
    EXPECT_EQ(Uninstaller(), uninstaller + Record({"", "", ""}, ""));
}

TEST_F(ExtractionRunTest, ArchiveThatCannotBeCopiedWholeFailsTheRun) {
    struct Case {
        const char* what;
        const char* failureLine;
    } cases[] = {
        {"segment beyond the end of the executable", "tmpfile write failed"},
        {"a folder where the temporary file goes", "tmpfile can't open"},
    };
    Carry(MakeZip({File("a.txt", "a")}), MakeZip({File("b.txt", "b")}));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.failureLine == std::string("tmpfile write failed"))
            info.m_Archives[1].size += 5000;
        else
            ASSERT_EQ(mkdir((install + "/tmp1.zip").c_str(), 0755), 0);
        unlink(TodaysLog(install).c_str());
        EXPECT_EQ(Run(), 0);
        EXPECT_EQ(Log(), (Lines{"ExtraFileFromInfo begin", c.failureLine}));
        EXPECT_FALSE(Exists(install + "/a.txt"));
        EXPECT_FALSE(Exists(install + "/tmp2.zip"));
        EXPECT_TRUE(progress.positions.empty());
    }
}

TEST_F(ExtractionRunTest, NonEmptySegmentThatIsNoArchiveFailsTheRun) {
    Carry(MakeZip({File("a.txt", "a")}), std::vector<uint8_t>(100, 'x'));
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(Log(), (Lines{"ExtraFileFromInfo begin", "unziper1 OpenZip Failed"}));
    EXPECT_FALSE(Exists(install + "/a.txt"));
    EXPECT_FALSE(Exists(install + "/tmp1.zip"));
    EXPECT_FALSE(Exists(install + "/tmp2.zip"));
    EXPECT_TRUE(progress.positions.empty());
}

TEST_F(ExtractionRunTest, PathsThatDoNotFitFailTheRun) {
    // The link's path would pass 259 bytes: refused, not cut.
    const std::string longName = std::string(236, 'n') + ".lnk";
    AddShortcut(0, longName, "", "");
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(Log().back(), "path too long: " + longName);
    EXPECT_FALSE(Exists(install + "/卸载.exe"));

    // An installation directory with no room for the temporary archive's
    // name fails before anything is copied.
    info.m_nShortcuts = 0;
    const std::string deep = install + "/" + std::string(254 - Ansi(install).size(), 'd');
    ASSERT_EQ(Ansi(deep).size(), 255u);
    strcpy(info.m_szInstallDir, Ansi(deep).c_str());
    EXPECT_EQ(Run(), 0);
    struct stat st;
    ASSERT_EQ(stat(deep.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_FALSE(Exists(deep + "/卸载.exe"));
}

}  // namespace
