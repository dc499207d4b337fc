// `mksetup install` on setup images built by the payload writer: the whole
// installation as the installer's worker runs it, and how it ends when the
// product cannot be installed.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string.h>

#include "tests/support/install_fixture.h"
#include "tools/mksetup/lz_encoder.h"
#include "tools/mksetup/payload_writer.h"

namespace {

using namespace install_fixture;
using testing_support::Ansi;

typedef std::vector<std::string> Lines;

const char kMksetup[] = SETUP_BINARY_DIR "/tools/mksetup/mksetup";

std::string U32(uint32_t v) {
    return std::string{static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
                       static_cast<char>(v >> 24)};
}

std::string Counted(const std::string& text) {
    return U32(static_cast<uint32_t>(text.size())) + text;
}

PayloadShortcut Shortcut(int32_t location, const std::string& link, const std::string& target,
                         const std::string& icon) {
    PayloadShortcut s;
    s.location = location;
    s.linkName = Gbk(link);
    s.target = Gbk(target);
    s.icon = Gbk(icon);
    return s;
}

class InstallE2eTest : public ::testing::Test {
  protected:
    void SetUp() override {
        payload.productName = Gbk("测试产品");
        payload.version = "3.0";
        payload.installDir = "C:\\Program Files\\Test";
        payload.menuFolder = Gbk("测试产品");
        SetUninstaller("MZ" + NoiseBytes(5000, 4) + std::string(80000, 'x'));
        install = dir.Join("产品");
        desktop = dir.Join("桌面");
        programs = dir.Join("程序");
    }

    void SetUninstaller(const std::string& program) {
        uninstaller = program;
        Bytes packed = LzEncode(reinterpret_cast<const uint8_t*>(program.data()), program.size());
        payload.uninstaller = packed;
    }

    void Build(const Bytes& zip0, const Bytes& zip1) {
        payload.archives[0] = zip0;
        payload.archives[1] = zip1;
        Bytes image;
        std::string error;
        ASSERT_TRUE(MakeSetupImage(Bytes{'M', 'Z', 's', 't', 'u', 'b'}, payload, &image, &error))
            << error;
        WriteHostFile(dir.Join("setup.exe"), image);
    }

    ChildResult Install(const ChildLimits& limits = {}) {
        return RunChild({kMksetup, "install", dir.Join("setup.exe"), "--dir", install, "--desktop",
                         desktop, "--programs", programs},
                        limits);
    }

    Lines Log() { return LogMessages(TodaysLog(install)); }
    std::string Windows(const std::string& host) { return Utf8(Ansi(host)); }

    TempDir dir;
    Payload payload;
    std::string uninstaller, install, desktop, programs;
};

TEST_F(InstallE2eTest, InstallsFilesShortcutsUninstallerAndLog) {
    ZipItem app = File("bin/应用.exe", NoiseBytes(150000, 1));
    ZipItem notes = File("数据/说明.txt", "说明\r\n", false);
    notes.time[0] = 2008, notes.time[5] = 58;
    ZipItem readme = File("doc/readme.txt", "read me");
    payload.shortcuts = {Shortcut(0, "应用.lnk", "bin\\应用.exe", ""),
                         Shortcut(1, "卸载 测试产品.lnk", "", ""),
                         Shortcut(7, "不做.lnk", "bin\\应用.exe", ""),
                         Shortcut(1, "说明.lnk", "doc\\readme.txt", "bin\\应用.exe")};
    Build(MakeZip({Folder("bin/"), app, notes}), MakeZip({readme, Folder("空目录/")}));

    ChildResult r = Install();
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "progress 20\nprogress 40\nprogress 60\nprogress 80\nprogress 100\n");
    EXPECT_EQ(Log(), (Lines{"ExtraFileFromInfo begin", "count0_Setpos(0/3)", "count0_Setpos(1/3)",
                            "count0_Setpos(2/3)", "count1_Setpos(0/2)", "count1_Setpos(1/2)",
                            "ExtraFileFromInfo end"}));

    for (const ZipItem* item : {&app, &notes, &readme}) {
        EXPECT_EQ(ReadText(install + "/" + item->name), item->data) << item->name;
        EXPECT_EQ(ModifiedAt(install + "/" + item->name), LocalTimeOf(*item)) << item->name;
    }
    EXPECT_FALSE(Exists(install + "/空目录"));
    EXPECT_FALSE(Exists(install + "/tmp1.zip"));
    EXPECT_FALSE(Exists(install + "/tmp2.zip"));

    const std::string menu = programs + "/测试产品";
    const std::string links[3] = {desktop + "/应用.lnk", menu + "/卸载 测试产品.lnk",
                                  menu + "/说明.lnk"};
    const std::string targets[3] = {install + "/bin/应用.exe", install + "/卸载.exe",
                                    install + "/doc/readme.txt"};
    const std::string workDirs[3] = {install + "/bin", install, install + "/doc"};
    const std::string icons[3] = {targets[0], targets[1], install + "/bin/应用.exe"};
    for (int i = 0; i < 3; ++i) {
        auto link = ReadShortcut(links[i]);
        EXPECT_EQ(link["Local path"], Windows(targets[i])) << links[i];
        EXPECT_EQ(link["Working directory"], Windows(workDirs[i])) << links[i];
        EXPECT_EQ(link["Icon location"], Windows(icons[i])) << links[i];
    }
    EXPECT_FALSE(Exists(desktop + "/不做.lnk"));

    const std::string record = Counted(payload.productName) + Counted(payload.version) + U32(4) +
                               Counted(Ansi(links[0])) + Counted(Ansi(links[1])) + Counted("") +
                               Counted(Ansi(links[2])) + Counted(Ansi(menu));
    EXPECT_EQ(ReadText(install + "/卸载.exe"), uninstaller + record);
}

TEST_F(InstallE2eTest, ShellFoldersDefaultBesideTheDirectory) {
    payload.shortcuts = {Shortcut(0, "a.lnk", "", ""), Shortcut(1, "b.lnk", "", "")};
    Build(MakeZip({File("a.txt", "a")}), MakeZip({}));
    ChildResult r = RunChild({kMksetup, "install", dir.Join("setup.exe"), "--dir", install + "/"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadShortcut(install + "-Desktop/a.lnk")["Local path"],
              Windows(install + "/卸载.exe"));
    EXPECT_TRUE(Exists(install + "-Programs/测试产品/b.lnk"));
    EXPECT_NE(r.out.find("into " + install), std::string::npos) << r.out;
}

TEST_F(InstallE2eTest, FailedInstallationsEndWithTheirLogLineAndAnError) {
    enum Setup {
        kDamagedEntry,
        kEscapingEntry,
        kReadOnlyFile,
        kFullWhileCopying,
        kFullUninstaller
    };
    struct Case {
        const char* what;
        Setup setup;
        const char* failureLine;
    } cases[] = {
        {"damaged entry (CRC)", kDamagedEntry, "unziper0 UnzipFile Failed"},
        {"entry climbing out of the directory", kEscapingEntry, "unziper1 UnzipFile Failed"},
        {"read-only file in the way", kReadOnlyFile, "unziper0 UnzipFile Failed"},
        {"disk full while copying an archive", kFullWhileCopying, "tmpfile write failed"},
        {"disk full while writing the uninstaller", kFullUninstaller, "uninstoutfile write failed"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir caseDir;
        install = caseDir.Join("产品");
        std::vector<ZipItem> first = {File("a.txt", "STORED-ENTRY-DATA", false),
                                      File("big.bin", NoiseBytes(40000, 2))};
        std::vector<ZipItem> second = {File("b.txt", "b")};
        ChildLimits limits;
        SetUninstaller("MZ" + std::string(1000, 'u'));
        if (c.setup == kEscapingEntry) second.push_back(File("../escaped.txt", "out"));
        Bytes zip0 = MakeZip(first);
        if (c.setup == kDamagedEntry) DamageFirst(zip0, "STORED-ENTRY-DATA");
        if (c.setup == kReadOnlyFile) {
            ASSERT_EQ(mkdir(install.c_str(), 0755), 0);
            WriteHostFile(install + "/a.txt", std::string("old"));
            ASSERT_EQ(chmod((install + "/a.txt").c_str(), 0444), 0);
            limits.withoutPermissionOverride = true;
        }
        if (c.setup == kFullWhileCopying) limits.maxFileBytes = 16384;  // below the archive
        if (c.setup == kFullUninstaller) {
            SetUninstaller("MZ" + std::string(300000, 'u'));
            limits.maxFileBytes = 100000;  // above archives, files and log
        }
        Build(zip0, MakeZip(second));

        ChildResult r = Install(limits);
        if (r.status == 125 && limits.withoutPermissionOverride) {
            // No CAP_SETPCAP here: root cannot give up its override.
            fprintf(stderr, "skipped: %s (cannot drop CAP_DAC_OVERRIDE)\n", c.what);
            continue;
        }
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_NE(r.err.find(std::string("installation failed: ") + c.failureLine),
                  std::string::npos)
            << r.err;
        Lines log = Log();
        ASSERT_GE(log.size(), 3u);
        EXPECT_EQ(log[0], "ExtraFileFromInfo begin");
        EXPECT_EQ(log[log.size() - 2], c.failureLine);
        EXPECT_EQ(log.back(), "Thread ExtraFileFromInfo Error");
        EXPECT_FALSE(Exists(install + "/卸载.exe"));
        EXPECT_FALSE(Exists(install + "/tmp1.zip"));
        EXPECT_FALSE(Exists(install + "/tmp2.zip"));
        EXPECT_FALSE(Exists(caseDir.Join("escaped.txt")));
    }
}

TEST_F(InstallE2eTest, DirectoryThatCannotBeMadeFailsWithoutALog) {
    Build(MakeZip({File("a.txt", "a")}), MakeZip({}));
    WriteHostFile(dir.Join("file"), std::string("a file, not a folder"));
    install = dir.Join("file/产品");
    ChildResult r = Install();
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("the installation directory cannot be created"), std::string::npos)
        << r.err;
    EXPECT_FALSE(Exists(programs + "/测试产品"));
}

TEST_F(InstallE2eTest, RefusesDamagedSetupImagesAndBadArguments) {
    Build(MakeZip({File("a.txt", "a")}), MakeZip({}));
    std::vector<uint8_t> image = ReadHostFile(dir.Join("setup.exe"));
    image.resize(image.size() - 10);  // the uninstaller cut off
    WriteHostFile(dir.Join("cut.exe"), image);
    ChildResult r = RunChild({kMksetup, "install", dir.Join("cut.exe"), "--dir", install});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cut.exe"), std::string::npos) << r.err;
    EXPECT_FALSE(Exists(install));

    for (const Lines& args :
         {Lines{"install", dir.Join("setup.exe")}, Lines{"install", "--dir", install},
          Lines{"install", dir.Join("setup.exe"), "--dir"},
          Lines{"install", dir.Join("setup.exe"), "--dir", install, "--x"}}) {
        Lines argv = {kMksetup};
        argv.insert(argv.end(), args.begin(), args.end());
        EXPECT_EQ(RunChild(argv).status, 2) << args.back();
    }
    EXPECT_FALSE(Exists(install));
}

}  // namespace
