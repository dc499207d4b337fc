// mksetup build and verify: a product made of folders, pictures and programs
// becomes a setup image that installs exactly the source tree; bad inputs are
// refused with their place; builds are reproducible; verify finds damage.
#include <gtest/gtest.h>
#include <stdio.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <set>

#include "payload/integrity.h"
#include "tests/support/install_fixture.h"
#include "tools/mksetup/setup_builder.h"
#include "tools/mksetup/setup_file.h"
#include "tools/mksetup/setup_verifier.h"
#include "tools/mksetup/zip_check.h"
#include "tools/mksetup/zip_writer.h"

namespace {

namespace fs = std::filesystem;
using namespace install_fixture;

const char kMksetup[] = SETUP_BINARY_DIR "/tools/mksetup/mksetup";

uint32_t Le32(const Bytes& b, size_t p) {
    return b[p] | (b[p + 1] << 8) | (b[p + 2] << 16) | (uint32_t(b[p + 3]) << 24);
}
uint16_t Le16(const Bytes& b, size_t p) { return uint16_t(b[p] | (b[p + 1] << 8)); }

void Put32(Bytes& b, size_t p, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[p + i] = uint8_t(v >> (8 * i));
}

void Replace(std::string& text, const std::string& from, const std::string& to) {
    size_t at = text.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    text.replace(at, from.size(), to);
}

// A BMP as paint programs save it: 24 bits, bottom-up, rows padded to 4 bytes.
Bytes Bmp(int width, int height, uint32_t seed) {
    uint32_t row = (uint32_t(width) * 3 + 3) & ~3u;
    Bytes b(54 + row * uint32_t(height), 0);
    b[0] = 'B';
    b[1] = 'M';
    Put32(b, 2, uint32_t(b.size()));
    Put32(b, 10, 54);
    Put32(b, 14, 40);
    Put32(b, 18, uint32_t(width));
    Put32(b, 22, uint32_t(height));
    b[26] = 1;
    b[28] = 24;
    Put32(b, 34, row * uint32_t(height));
    std::string noise = NoiseBytes(b.size() - 54, seed);
    for (size_t i = 54; i < b.size(); ++i) b[i] = uint8_t(noise[i - 54] & 0x3F);  // a few colours
    return b;
}

// The smallest PE image that signing tools accept: headers and one section.
Bytes MinimalPe() {
    Bytes pe(0x400, 0);
    pe[0] = 'M';
    pe[1] = 'Z';
    Put32(pe, 0x3C, 0x40);
    memcpy(&pe[0x40], "PE\0\0", 4);
    const size_t coff = 0x44, opt = coff + 20;
    pe[coff] = 0x4C, pe[coff + 1] = 0x01;        // i386
    pe[coff + 2] = 1;                            // one section
    pe[coff + 16] = 224;                         // optional header size
    pe[coff + 18] = 0x02, pe[coff + 19] = 0x01;  // executable, 32-bit
    pe[opt] = 0x0B, pe[opt + 1] = 0x01;          // PE32
    Put32(pe, opt + 4, 0x200);                   // size of code
    Put32(pe, opt + 16, 0x1000);                 // entry point
    Put32(pe, opt + 20, 0x1000);
    Put32(pe, opt + 28, 0x400000);       // image base
    Put32(pe, opt + 32, 0x1000);         // section alignment
    Put32(pe, opt + 36, 0x200);          // file alignment
    pe[opt + 40] = 4, pe[opt + 48] = 4;  // OS and subsystem version 4.0
    Put32(pe, opt + 56, 0x2000);         // size of image
    Put32(pe, opt + 60, 0x200);          // size of headers
    pe[opt + 68] = 2;                    // GUI
    Put32(pe, opt + 92, 16);             // data directories
    const size_t section = opt + 224;
    memcpy(&pe[section], ".text", 5);
    Put32(pe, section + 8, 0x1000);
    Put32(pe, section + 12, 0x1000);
    Put32(pe, section + 16, 0x200);
    Put32(pe, section + 20, 0x200);
    Put32(pe, section + 36, 0x60000020);
    pe[0x200] = 0xC3;
    return pe;
}

const char kManifest[] = R"(; the test product
[Product]
Name = 示例软件
Version = 2.1
PublisherKey = Example.Product
InstallDir = C:\Program Files\示例软件
MenuFolder = 示例软件

[Shortcut]
Name = 示例软件
Target = 程序.exe
Icon = 程序.exe
Location = Desktop

[Shortcut]
Name = 卸载示例软件
Location = Programs

[Pictures]
Confirm = pics/confirm.bmp
DirectoryBanner = pics/directory.bmp
ProgressLow = pics/low.bmp
ProgressHigh = pics/high.bmp
Header = pics/header.bmp
Spare = pics/spare.bmp

[Archives]
Archive1 = main
Archive2 = extra

[Uninstaller]
Program = uninst.exe
)";

// The product's files, relative to the product folder, with their contents.
struct SourceFile {
    const char* path;
    std::string data;
};

std::vector<SourceFile> ProductFiles() {
    return {
        {"main/程序.exe", "MZ" + NoiseBytes(40000, 1) + std::string(60000, 'a')},  // > 64 KiB
        {"main/零.txt", ""},
        {"main/readme.txt", std::string(3000, 'r')},
        {"main/说明/使用说明.txt", "第一行\r\n第二行\r\n"},
        {"main/说明/图片/深层/数据.bin", NoiseBytes(5000, 2)},  // three folders deep
        {"extra/额外/配置.ini", "[Main]\r\nKey=1\r\n"},
        {"extra/already.zip", NoiseBytes(20000, 3)},  // does not deflate: stored
    };
}

const char* const kEmptyFolder = "main/空文件夹";

// Sets every file's and folder's time: odd seconds, so that the archive's
// two-second steps show.
void SetTimes(const std::string& root) {
    time_t t = 1600000001;  // 2020-09-13
    std::vector<std::string> paths;
    for (const auto& e : fs::recursive_directory_iterator(root)) paths.push_back(e.path().string());
    std::sort(paths.begin(), paths.end());
    for (auto it = paths.rbegin(); it != paths.rend(); ++it) {  // contents before their folder
        struct timespec times[2] = {{t, 0}, {t, 0}};
        utimensat(AT_FDCWD, it->c_str(), times, 0);
        t += 3601;
    }
}

void WriteProduct(const std::string& root) {
    fs::create_directories(root + "/pics");
    WriteHostFile(root + "/pics/confirm.bmp", Bmp(438, 155, 1));
    WriteHostFile(root + "/pics/directory.bmp", Bmp(438, 155, 2));
    WriteHostFile(root + "/pics/low.bmp", Bmp(438, 155, 3));
    WriteHostFile(root + "/pics/high.bmp", Bmp(438, 155, 4));
    WriteHostFile(root + "/pics/header.bmp", Bmp(495, 60, 5));
    WriteHostFile(root + "/pics/spare.bmp", Bmp(495, 60, 6));
    WriteHostFile(root + "/stub.exe", "MZ" + NoiseBytes(3000, 7));
    WriteHostFile(root + "/uninst.exe", "MZ" + NoiseBytes(2000, 8) + std::string(30000, '\0'));
    for (const SourceFile& f : ProductFiles()) {
        std::string path = root + "/" + f.path;
        fs::create_directories(fs::path(path).parent_path());
        WriteHostFile(path, f.data);
    }
    fs::create_directories(root + "/" + kEmptyFolder);
    WriteHostFile(root + "/product.ini", std::string(kManifest));
    SetTimes(root + "/main");
    SetTimes(root + "/extra");
}

// Host files under root (relative path -> host path), folders left out.
std::map<std::string, std::string> FilesUnder(const std::string& root) {
    std::map<std::string, std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(root))
        if (e.is_regular_file()) files[fs::relative(e.path(), root).string()] = e.path().string();
    return files;
}

class MksetupBuildTest : public ::testing::Test {
  protected:
    void SetUp() override { WriteProduct(m_dir.path()); }

    std::string Path(const std::string& name) const { return m_dir.Join(name); }

    BuildOptions Options(const std::string& out = "setup.exe") const {
        BuildOptions o;
        o.manifestPath = Path("product.ini");
        o.outputPath = Path(out);
        o.stubPath = Path("stub.exe");
        o.quiet = true;
        return o;
    }

    Bytes BuildImage(const BuildOptions& options) {
        Diagnostics diagnostics(false);
        Bytes image;
        EXPECT_TRUE(BuildSetupImage(options, &diagnostics, &image))
            << (diagnostics.Messages().empty() ? "" : diagnostics.Messages()[0]);
        return image;
    }

    // The payload's parts and where they lie.
    void Parse(const Bytes& image, Payload* payload, PayloadLayout* layout) {
        std::string error;
        ASSERT_TRUE(ParseSetupImage(image, payload, layout, &error)) << error;
    }

    TempDir m_dir;
};

TEST_F(MksetupBuildTest, InstallsExactlyTheSourceTree) {
    Diagnostics diagnostics(false);
    ASSERT_TRUE(BuildSetup(Options(), &diagnostics));
    std::string summary;
    ASSERT_TRUE(VerifySetup(Path("setup.exe"), &diagnostics, &summary))
        << diagnostics.Messages()[0];

    ChildResult run = RunChild({kMksetup, "install", Path("setup.exe"), "--dir", Path("inst")});
    ASSERT_EQ(run.status, 0) << run.err;

    std::map<std::string, std::string> source = FilesUnder(Path("main"));
    for (const auto& f : FilesUnder(Path("extra"))) source.insert(f);
    std::map<std::string, std::string> installed = FilesUnder(Path("inst"));
    for (const auto& s : source) {
        ASSERT_TRUE(installed.count(s.first)) << s.first;
        const std::string& copy = installed[s.first];
        EXPECT_EQ(ReadHostFile(copy), ReadHostFile(s.second)) << s.first;
        time_t step = ModifiedAt(s.second) - ModifiedAt(copy);
        EXPECT_TRUE(step >= 0 && step < 2) << s.first << " off by " << step << " s";
        installed.erase(s.first);
    }
    // Besides the product: the uninstaller and the day's log.
    EXPECT_EQ(installed.erase("卸载.exe"), 1u);
    ASSERT_EQ(installed.size(), 1u);
    EXPECT_EQ(installed.begin()->first.rfind("install", 0), 0u);
    EXPECT_TRUE(Exists(Path("inst-Desktop/示例软件.lnk")));
    EXPECT_TRUE(Exists(Path("inst-Programs/示例软件/卸载示例软件.lnk")));
}

TEST_F(MksetupBuildTest, ArchivesHaveTheFormTheInstallerHandles) {
    Payload payload;
    PayloadLayout layout;
    Parse(BuildImage(Options()), &payload, &layout);
    const Bytes& zip = payload.archives[0];

    size_t end = zip.size() - 22;
    ASSERT_EQ(Le32(zip, end), 0x06054B50u);
    EXPECT_EQ(Le16(zip, end + 20), 0) << "archive comment";
    size_t count = Le16(zip, end + 10), at = Le32(zip, end + 16);
    std::vector<std::string> names;
    for (size_t i = 0; i < count; ++i) {
        ASSERT_EQ(Le32(zip, at), 0x02014B50u);
        std::string name(reinterpret_cast<const char*>(&zip[at + 46]), Le16(zip, at + 28));
        uint16_t method = Le16(zip, at + 10);
        bool folder = name.back() == '/';
        SCOPED_TRACE(Utf8(name));
        EXPECT_EQ(Le16(zip, at + 4), 20) << "made by 2.0 on MS-DOS";
        EXPECT_EQ(Le16(zip, at + 6), method == 8 ? 20 : 10) << "version needed";
        EXPECT_EQ(Le16(zip, at + 8), 0) << "flags";
        EXPECT_EQ(Le16(zip, at + 30) + Le16(zip, at + 32), 0) << "extra field, comment";
        EXPECT_EQ(Le32(zip, at + 38), folder ? 0x10u : 0x20u) << "attributes";
        if (folder) {
            EXPECT_EQ(method, 0);
        }
        size_t local = Le32(zip, at + 42);
        EXPECT_EQ(Le16(zip, local + 6) + Le16(zip, local + 28), 0) << "local flags, extra field";
        // The source file's time, read as local time, in two-second steps.
        std::string source = Path("main/" + Utf8(name));
        if (folder) source.pop_back();
        uint32_t dos = Le16(zip, at + 12) | (uint32_t(Le16(zip, at + 14)) << 16);
        EXPECT_EQ(dos, DosDateTime(ModifiedAt(source)));
        struct tm t;
        time_t mtime = ModifiedAt(source);
        localtime_r(&mtime, &t);
        EXPECT_EQ(dos & 0x1F, uint32_t(t.tm_sec / 2));
        names.push_back(name);
        at += 46 + name.size();
    }
    std::vector<std::string> expected = {
        "readme.txt", "程序.exe",        "空文件夹/",
        "零.txt",     "说明/",           "说明/使用说明.txt",
        "说明/图片/", "说明/图片/深层/", "说明/图片/深层/数据.bin"};
    std::vector<std::string> expectedGbk;
    for (const std::string& e : expected) expectedGbk.push_back(Gbk(e));
    // Sorted by GBK bytes at each level, every folder before its contents.
    EXPECT_EQ(names, expectedGbk);
}

TEST_F(MksetupBuildTest, BuildsAreByteIdentical) {
    Bytes first = BuildImage(Options());
    BuildOptions oneThread = Options();
    oneThread.threads = 1;
    EXPECT_EQ(BuildImage(oneThread), first);
    // The same product laid out afresh elsewhere (other directory order, other paths).
    TempDir other;
    WriteProduct(other.path());
    BuildOptions elsewhere = Options();
    elsewhere.manifestPath = other.Join("product.ini");
    elsewhere.stubPath = other.Join("stub.exe");
    elsewhere.threads = 3;
    EXPECT_EQ(BuildImage(elsewhere), first);
}

TEST_F(MksetupBuildTest, ManifestAsWindowsEditorsWriteIt) {
    // Byte order mark, CR LF, any case in names, quoted values: the same installer.
    Bytes plain = BuildImage(Options());
    std::string text = "\xEF\xBB\xBF";
    for (char c : std::string(kManifest))
        text += c == '\n' ? std::string("\r\n") : std::string(1, c);
    Replace(text, "[Product]", "[PRODUCT]");
    Replace(text, "Version = 2.1", "version=\"2.1\"");
    Replace(text, "Archive1 = main", "  archive1   =   main  ");
    WriteHostFile(Path("product.ini"), text);
    EXPECT_EQ(BuildImage(Options()), plain);
}

TEST_F(MksetupBuildTest, OurUninstallerIsTakenBesideTheStubOrFromItsBuildTree) {
    std::string manifest = kManifest;
    Replace(manifest, "[Uninstaller]\nProgram = uninst.exe\n", "");
    const std::string program = "MZ" + NoiseBytes(1000, 11);
    for (const char* where : {"app/uninst.exe", "uninstaller/uninst.exe"}) {
        SCOPED_TRACE(where);
        TempDir tree;  // as build/windows-x86 lays them out
        fs::create_directories(tree.Join("app"));
        fs::create_directories(tree.Join("uninstaller"));
        WriteHostFile(tree.Join("app/setup.exe"), ReadHostFile(Path("stub.exe")));
        WriteHostFile(tree.Join(where), program);
        WriteHostFile(Path("product.ini"), manifest);
        BuildOptions options = Options();
        options.stubPath = tree.Join("app/setup.exe");
        Payload payload;
        PayloadLayout layout;
        Parse(BuildImage(options), &payload, &layout);
        Bytes decoded;
        std::string error;
        ASSERT_TRUE(DecodeItem(payload.uninstaller.data(), payload.uninstaller.size(), 1 << 20,
                               &decoded, &error))
            << error;
        EXPECT_EQ(decoded, Bytes(program.begin(), program.end()));
    }
    // Neither: the message names the places looked at.
    fs::remove(Path("uninst.exe"));
    Diagnostics diagnostics(false);
    Bytes image;
    EXPECT_FALSE(BuildSetupImage(Options(), &diagnostics, &image));
    ASSERT_EQ(diagnostics.Count(), 1u);
    EXPECT_NE(
        diagnostics.Messages()[0].find("uninst.exe not found (looked at " + Path("uninst.exe")),
        std::string::npos)
        << diagnostics.Messages()[0];
}

// --- Bad inputs ----------------------------------------------------------------

struct BadInput {
    const char* name;
    std::function<void(const std::string& root, std::string& manifest, BuildOptions& options)> edit;
    const char* lineStart;  // the manifest line the message names; null: a file of its own
    const char* where;      // with lineStart null: what the message starts with
    const char* expected;   // in the message
};

Bytes ZipWithName(const std::string& dir, const std::string& name) {
    WriteHostFile(dir + "/payload.txt", std::string("x"));
    ZipSource source;
    source.hostPath = dir + "/payload.txt";
    source.name = name;
    source.dosTime = DosDateTime(1600000000);
    Bytes zip;
    std::string error;
    EXPECT_TRUE(WriteZipArchive({source}, 1, nullptr, &zip, &error)) << error;
    return zip;
}

int LineOf(const std::string& text, const std::string& start) {
    int line = 1;
    for (size_t at = 0; at < text.size(); at = text.find('\n', at) + 1, ++line) {
        if (text.compare(at, start.size(), start) == 0) return line;
        if (text.find('\n', at) == std::string::npos) break;
    }
    return 0;
}

const BadInput kBadInputs[] = {
    {"missing picture",
     [](const std::string&, std::string& m, BuildOptions&) {
         Replace(m, "pics/confirm.bmp", "pics/none.bmp");
     },
     "Confirm", nullptr, "pics/none.bmp: cannot open"},
    {"picture of the wrong size",
     [](const std::string& root, std::string&, BuildOptions&) {
         WriteHostFile(root + "/" + "pics/low.bmp", Bmp(400, 155, 9));
     },
     "ProgressLow", nullptr,
     "400 x 155 pixels; the progress banner below 50 % must be an uncompressed bottom-up BMP "
     "of 438 x 155 pixels at 24 bits, without colour table"},
    {"banner in the header's place",
     [](const std::string&, std::string& m, BuildOptions&) {
         Replace(m, "pics/header.bmp", "pics/confirm.bmp");
     },
     "Header", nullptr, "the wizard header must be an uncompressed bottom-up BMP of 495 x 60"},
    {"top-down picture",
     [](const std::string& root, std::string&, BuildOptions&) {
         Bytes b = Bmp(438, 155, 9);
         Put32(b, 22, uint32_t(-155));
         WriteHostFile(root + "/" + "pics/high.bmp", b);
     },
     "ProgressHigh", nullptr, "top-down"},
    {"picture with a colour table",
     [](const std::string& root, std::string&, BuildOptions&) {
         Bytes b = Bmp(438, 155, 9);
         b[28] = 8;
         WriteHostFile(root + "/" + "pics/directory.bmp", b);
     },
     "DirectoryBanner", nullptr, "8 bits per pixel"},
    {"not a BMP",
     [](const std::string& root, std::string&, BuildOptions&) {
         WriteHostFile(root + "/" + "pics/spare.bmp", std::string("\x89PNG\r\n\x1a\n", 8));
     },
     "Spare", nullptr, "not a BMP file"},
    {"nine shortcuts",
     [](const std::string&, std::string& m, BuildOptions&) {
         for (int i = 3; i <= 8; ++i)
             m += "\n[Shortcut]\nName = n" + std::to_string(i) + "\nLocation = Desktop\n";
         m += "\n[shortcut]\nName = ninth\nLocation = Desktop\n";
     },
     "[shortcut]", nullptr, "more than 8 shortcuts: the installer holds at most 8"},
    {"text GBK cannot write",
     [](const std::string&, std::string& m, BuildOptions&) {
         Replace(m, "Name = 示例软件\nVersion", "Name = 示例\xF0\x9F\x98\x80\nVersion");
     },
     "Name = 示例", nullptr, "'\xF0\x9F\x98\x80' (U+1F600) cannot be written in GBK"},
    {"text over 259 bytes",
     [](const std::string&, std::string& m, BuildOptions&) {
         Replace(m, "Version = 2.1", "Version = " + std::string(260, '9'));
     },
     "Version", nullptr, "260 bytes in GBK; the installer holds at most 259"},
    {"file name GBK cannot write",
     [](const std::string& root, std::string&, BuildOptions&) {
         WriteHostFile(root + "/" + "main/\xF0\x9F\x98\x80.txt", std::string("x"));
     },
     "Archive1", nullptr, "cannot be written in GBK"},
    {"name over 259 bytes once installed",
     [](const std::string& root, std::string&, BuildOptions&) {
         fs::create_directories(root + "/" + "main/" + std::string(200, 'd'));
         WriteHostFile(root + "/main/" + std::string(200, 'd') + "/" + std::string(70, 'f'),
                       std::string("x"));
     },
     "Archive1", nullptr, "name of 271 bytes (at most 259)"},
    {"names Windows takes for one",
     [](const std::string& root, std::string&, BuildOptions&) {
         WriteHostFile(root + "/" + "main/README.TXT", std::string("x"));
     },
     "Archive1", nullptr, "the same name on Windows as 'README.TXT'"},
    {"name Windows refuses",
     [](const std::string& root, std::string&, BuildOptions&) {
         WriteHostFile(root + "/" + "extra/why?.txt", std::string("x"));
     },
     "Archive2", nullptr, "contains '?'"},
    {"archive entry with a drive",
     [](const std::string& root, std::string& m, BuildOptions&) {
         WriteHostFile(root + "/" + "bad.zip", ZipWithName(root, "C:/evil.txt"));
         Replace(m, "Archive2 = extra", "Archive2 = bad.zip");
     },
     "Archive2", nullptr, "entry 'C:/evil.txt': name has a drive"},
    {"archive entry with a leading separator",
     [](const std::string& root, std::string& m, BuildOptions&) {
         WriteHostFile(root + "/" + "bad.zip", ZipWithName(root, "/evil.txt"));
         Replace(m, "Archive2 = extra", "Archive2 = bad.zip");
     },
     "Archive2", nullptr, "entry '/evil.txt': name begins with a separator"},
    {"archive entry leaving the folder",
     [](const std::string& root, std::string& m, BuildOptions&) {
         WriteHostFile(root + "/" + "bad.zip", ZipWithName(root, "a/../../evil.txt"));
         Replace(m, "Archive1 = main", "Archive1 = bad.zip");
     },
     "Archive1", nullptr, "name has a '..' part"},
    {"archive entry without a name",
     [](const std::string& root, std::string& m, BuildOptions&) {
         WriteHostFile(root + "/" + "bad.zip", ZipWithName(root, ""));
         Replace(m, "Archive2 = extra", "Archive2 = bad.zip");
     },
     "Archive2", nullptr, "entry '': empty name"},
    {"missing archive folder",
     [](const std::string&, std::string& m, BuildOptions&) {
         Replace(m, "Archive1 = main", "Archive1 = mian");
     },
     "Archive1", nullptr, "mian: no such file or folder"},
    {"stub too large",
     [](const std::string& root, std::string&, BuildOptions& o) {
         WriteHostFile(root + "/" + "big.exe", "MZ" + std::string(kPayloadOffset - 1, 'x'));
         o.stubPath = root + "/" + "big.exe";
     },
     nullptr, "big.exe",
     "274433 bytes: the installer program must fit below the payload offset 274432"},
    {"stub not a program",
     [](const std::string& root, std::string&, BuildOptions& o) {
         o.stubPath = root + "/product.ini";
     },
     nullptr, "product.ini", "not a Windows program (does not start with \"MZ\")"},
    {"uninstaller not a program",
     [](const std::string& root, std::string&, BuildOptions&) {
         WriteHostFile(root + "/" + "uninst.exe", std::string("#!/bin/sh\n"));
     },
     "Program", nullptr, "not a Windows program"},
    {"shortcut to nothing",
     [](const std::string&, std::string& m, BuildOptions&) {
         Replace(m, "Target = 程序.exe", "Target = bin\\程序.exe");
     },
     "Target", nullptr, "'bin\\程序.exe' is in neither archive"},
    {"shortcut name with a folder in it",
     [](const std::string&, std::string& m, BuildOptions&) {
         Replace(m, "Name = 卸载示例软件", "Name = 卸载/示例软件");
     },
     "Name = 卸载", nullptr, "contains '/', a path separator on Windows"},
    {"installation directory without drive",
     [](const std::string&, std::string& m, BuildOptions&) {
         Replace(m, "InstallDir = C:\\", "InstallDir = \\");
     },
     "InstallDir", nullptr, "not a full path with a drive"},
    {"unknown key",
     [](const std::string&, std::string& m, BuildOptions&) {
         Replace(m, "MenuFolder", "Colour = red\nMenuFolder");
     },
     "Colour", nullptr, "unknown key 'Colour' in [Product]"},
    {"unknown section",
     [](const std::string&, std::string& m, BuildOptions&) { m += "[Registry]\nKey = x\n"; },
     "[Registry]", nullptr, "unknown section [Registry]"},
};

TEST(MksetupBuild, BadInputsAreRefusedWithTheirPlaceAndNothingWritten) {
    for (const BadInput& c : kBadInputs) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string& root = dir.path();
        WriteProduct(root);
        std::string manifest = kManifest;
        BuildOptions options;
        options.manifestPath = root + "/product.ini";
        options.outputPath = root + "/setup.exe";
        options.stubPath = root + "/stub.exe";
        options.quiet = true;
        c.edit(root, manifest, options);
        WriteHostFile(root + "/product.ini", manifest);
        WriteHostFile(root + "/setup.exe", std::string("old"));

        Diagnostics diagnostics(false);
        EXPECT_FALSE(BuildSetup(options, &diagnostics));
        std::string where =
            c.lineStart ? root + "/product.ini:" + std::to_string(LineOf(manifest, c.lineStart))
                        : root + "/" + c.where;
        bool found = false;
        for (const std::string& m : diagnostics.Messages())
            found |= m.rfind(where + ": ", 0) == 0 && m.find(c.expected) != std::string::npos;
        EXPECT_TRUE(found) << "wanted " << where << ": ..." << c.expected << "\ngot:\n"
                           << (diagnostics.Messages().empty() ? "" : diagnostics.Messages()[0]);
        // No partial output: the old file stays, no temporary file is left.
        EXPECT_EQ(ReadText(root + "/setup.exe"), "old");
        for (const auto& e : fs::directory_iterator(root))
            EXPECT_EQ(e.path().filename().string().find(".setup.exe."), std::string::npos);
    }
}

// --- Damage ------------------------------------------------------------------

struct Damage {
    const char* item;
    std::function<size_t(const PayloadLayout&, const Payload&)> at;        // byte to flip
    std::function<size_t(const PayloadLayout&, const Payload&)> from, to;  // the item's range
};

size_t PictureStart(const PayloadLayout& l, const Payload&) { return size_t(l.imageAt[1] + 4); }
size_t PictureEnd(const PayloadLayout& l, const Payload& p) {
    return PictureStart(l, p) + p.images[1].size();
}
size_t ArchiveStart(const PayloadLayout& l, const Payload&) {
    return size_t(l.archives[0].position);
}
size_t ArchiveEnd(const PayloadLayout& l, const Payload&) {
    return size_t(l.archives[0].position + l.archives[0].size);
}
size_t UninstallerStart(const PayloadLayout& l, const Payload&) {
    return size_t(l.uninstaller.position);
}
size_t UninstallerEnd(const PayloadLayout& l, const Payload&) { return size_t(l.end); }

// Each flip lands where the item's own structure shows it: a block header of a
// packed item, deflated data of the largest file (its CRC-32).
const Damage kDamages[] = {
    {"picture", PictureStart, PictureStart, PictureEnd},
    {"archive", [](const PayloadLayout& l, const Payload& p) { return ArchiveStart(l, p) + 200; },
     ArchiveStart, ArchiveEnd},
    {"uninstaller", UninstallerStart, UninstallerStart, UninstallerEnd},
};

std::vector<int64_t> OffsetsIn(const std::vector<std::string>& messages) {
    std::vector<int64_t> offsets;
    for (const std::string& m : messages) {
        size_t at = m.find(": offset ");
        if (at != std::string::npos) offsets.push_back(atoll(m.c_str() + at + 9));
    }
    return offsets;
}

TEST_F(MksetupBuildTest, VerifyFindsDamageInEveryItemWithAndWithoutTheRecord) {
    Bytes image = BuildImage(Options());
    Payload payload;
    PayloadLayout layout;
    Parse(image, &payload, &layout);
    Bytes unrecorded(image.begin(), image.begin() + layout.end);
    for (bool withRecord : {true, false}) {
        const Bytes& sound = withRecord ? image : unrecorded;
        for (const Damage& d : kDamages) {
            SCOPED_TRACE(std::string(d.item) + (withRecord ? " with record" : " without record"));
            Bytes damaged = sound;
            damaged[d.at(layout, payload)] ^= 0x10;
            WriteHostFile(Path("damaged.exe"), damaged);
            Diagnostics diagnostics(false);
            std::string summary;
            EXPECT_FALSE(VerifySetup(Path("damaged.exe"), &diagnostics, &summary));
            bool inItem = false, byRecord = false;
            for (int64_t offset : OffsetsIn(diagnostics.Messages()))
                inItem |= offset >= int64_t(d.from(layout, payload)) &&
                          offset < int64_t(d.to(layout, payload));
            for (const std::string& m : diagnostics.Messages())
                byRecord |= m.find("payload damaged: its CRC-32") != std::string::npos;
            EXPECT_TRUE(inItem) << diagnostics.Messages().size() << " messages";
            EXPECT_EQ(byRecord, withRecord);
        }
    }
    // A changed pixel decodes into another valid picture: only the record sees it.
    Bytes pixel = image;
    pixel[(PictureStart(layout, payload) + PictureEnd(layout, payload)) / 2] ^= 0x01;
    WriteHostFile(Path("pixel.exe"), pixel);
    Diagnostics diagnostics(false);
    std::string summary;
    EXPECT_FALSE(VerifySetup(Path("pixel.exe"), &diagnostics, &summary));
    ASSERT_EQ(diagnostics.Count(), 1u);
    EXPECT_NE(diagnostics.Messages()[0].find("offset " + std::to_string(layout.end + 16)),
              std::string::npos)
        << diagnostics.Messages()[0];
}

TEST_F(MksetupBuildTest, VerifyFindsACutOffFile) {
    Bytes image = BuildImage(Options());
    Payload payload;
    PayloadLayout layout;
    Parse(image, &payload, &layout);
    const struct {
        const char* name;
        size_t keep;
        const char* expected;
        int64_t offset;  // reported
    } cuts[] = {
        {"inside the record", image.size() - 5, "integrity record cut off", layout.end},
        {"inside the uninstaller", size_t(layout.end) - 5, "uninstaller: cut off", layout.end - 5},
        {"inside an archive", size_t(layout.archives[1].position) - 100, "archive 0: cut off",
         layout.archives[1].position - 100},
    };
    for (const auto& c : cuts) {
        SCOPED_TRACE(c.name);
        WriteHostFile(Path("cut.exe"), Bytes(image.begin(), image.begin() + c.keep));
        Diagnostics diagnostics(false);
        std::string summary;
        EXPECT_FALSE(VerifySetup(Path("cut.exe"), &diagnostics, &summary));
        ASSERT_EQ(diagnostics.Count(), 1u);
        EXPECT_NE(diagnostics.Messages()[0].find(c.expected), std::string::npos)
            << diagnostics.Messages()[0];
        EXPECT_NE(diagnostics.Messages()[0].find("offset " + std::to_string(c.offset)),
                  std::string::npos)
            << diagnostics.Messages()[0];
    }
}

TEST_F(MksetupBuildTest, ASignedInstallerStaysSound) {
    if (system("command -v osslsigncode >/dev/null && command -v openssl >/dev/null") != 0)
        GTEST_SKIP() << "osslsigncode or openssl missing (tools/bootstrap.sh installs them)";
    WriteHostFile(Path("stub.exe"), MinimalPe());
    Diagnostics diagnostics(false);
    ASSERT_TRUE(BuildSetup(Options(), &diagnostics));
    ChildResult key = RunChild({"/bin/sh", "-c",
                                "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=test "
                                "-keyout '" +
                                    Path("key.pem") + "' -out '" + Path("cert.pem") + "'"});
    ASSERT_EQ(key.status, 0) << key.err;
    ChildResult sign =
        RunChild({"/usr/bin/env", "osslsigncode", "sign", "-certs", Path("cert.pem"), "-key",
                  Path("key.pem"), "-in", Path("setup.exe"), "-out", Path("signed.exe")});
    ASSERT_EQ(sign.status, 0) << sign.out << sign.err;
    Bytes before = ReadHostFile(Path("setup.exe")), after = ReadHostFile(Path("signed.exe"));
    ASSERT_GT(after.size(), before.size());  // the certificate table, after the record
    std::string summary;
    EXPECT_TRUE(VerifySetup(Path("signed.exe"), &diagnostics, &summary))
        << diagnostics.Messages()[0];
    EXPECT_NE(summary.find("integrity record: CRC-32"), std::string::npos) << summary;
}

TEST_F(MksetupBuildTest, CommandLineExitStatus) {
    ChildResult built = RunChild({kMksetup, "build", Path("product.ini"), "-o", Path("cli.exe"),
                                  "--stub", Path("stub.exe"), "--quiet"});
    EXPECT_EQ(built.status, 0) << built.err;
    EXPECT_EQ(built.err, "");
    EXPECT_EQ(ReadHostFile(Path("cli.exe")), BuildImage(Options()));
    EXPECT_EQ(RunChild({kMksetup, "verify", Path("cli.exe")}).status, 0);

    WriteHostFile(Path("product.ini"), std::string("[Product]\nName = x\n"));
    ChildResult bad = RunChild({kMksetup, "build", Path("product.ini"), "-o", Path("bad.exe"),
                                "--stub", Path("stub.exe")});
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.err.find(Path("product.ini") + ":1: [Product] needs InstallDir"),
              std::string::npos)
        << bad.err;
    EXPECT_FALSE(Exists(Path("bad.exe")));
    EXPECT_EQ(RunChild({kMksetup, "verify", Path("stub.exe")}).status, 1);
    EXPECT_EQ(RunChild({kMksetup, "build"}).status, 2);
    ChildResult noValue = RunChild({kMksetup, "build", Path("product.ini"), "-o"});
    EXPECT_EQ(noValue.status, 2);
    EXPECT_NE(noValue.err.find("-o needs a value"), std::string::npos) << noValue.err;
}

}  // namespace
