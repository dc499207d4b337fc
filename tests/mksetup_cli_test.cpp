// mksetup pack, unpack and info, run as the built program.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "payload/setup_info.h"
#include "tests/support/test_support.h"
#include "tools/mksetup/lz_encoder.h"
#include "tools/mksetup/payload_writer.h"

namespace {

using testing_support::ReadHostFile;
using testing_support::TempDir;
using testing_support::WriteHostFile;

const char kMksetup[] = SETUP_BINARY_DIR "/tools/mksetup/mksetup";

struct RunResult {
    int status;
    std::string out, err;
};

std::string Quote(const std::string& arg) {
    std::string quoted = "'";
    for (char c : arg) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::string ReadText(const std::string& path) {
    Bytes bytes = ReadHostFile(path);
    return std::string(bytes.begin(), bytes.end());
}

int ExitStatus(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : -1; }

class MksetupCliTest : public ::testing::Test {
  protected:
    RunResult Run(const std::vector<std::string>& args) {
        std::string command = Quote(kMksetup);
        for (const std::string& arg : args) command += " " + Quote(arg);
        std::string out = m_io.Join("out"), err = m_io.Join("err");
        int status = system((command + " >" + Quote(out) + " 2>" + Quote(err)).c_str());
        return {ExitStatus(status), ReadText(out), ReadText(err)};
    }

    std::vector<std::string> Listing() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(m_dir.path()))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    std::string Path(const std::string& name) const { return m_dir.Join(name); }

    TempDir m_dir;  // the files the commands work on, and nothing else
    TempDir m_io;   // captured output
};

Bytes MixedData() {
    Bytes data;
    for (int i = 0; i < 30000; ++i) {
        std::string line = "line " + std::to_string(i % 997) + " of the test file\n";
        data.insert(data.end(), line.begin(), line.end());
    }
    uint32_t x = 12345;
    for (int i = 0; i < 70000; ++i) data.push_back(uint8_t((x = x * 1103515245 + 12345) >> 24));
    return data;
}

TEST_F(MksetupCliTest, PackThenUnpackGivesBackTheFile) {
    for (const Bytes& data : {MixedData(), Bytes()}) {
        SCOPED_TRACE(data.size());
        WriteHostFile(Path("in.bin"), data);
        RunResult pack = Run({"pack", Path("in.bin"), Path("in.lz")});
        ASSERT_EQ(pack.status, 0) << pack.err;
        RunResult unpack = Run({"unpack", Path("in.lz"), Path("out.bin")});
        ASSERT_EQ(unpack.status, 0) << unpack.err;
        EXPECT_EQ(ReadHostFile(Path("out.bin")), data);
        if (!data.empty()) {
            EXPECT_LT(ReadHostFile(Path("in.lz")).size(), data.size());
        }
        EXPECT_EQ(Listing(), (std::vector<std::string>{"in.bin", "in.lz", "out.bin"}));
    }
}

TEST_F(MksetupCliTest, UnpackRefusesMalformedItemsAndWritesNothing) {
    Bytes packed = LzEncode(MixedData().data(), MixedData().size());
    struct Case {
        const char* name;
        Bytes item;
    } cases[] = {
        {"cut inside a block", Bytes(packed.begin(), packed.begin() + packed.size() / 2)},
        {"cut inside a header", Bytes(packed.begin(), packed.begin() + 2)},
        {"packed length 0 with a raw length", {5, 0, 0, 0, 'a', 'b', 'c', 'd', 'e'}},
        {"stored block longer than the item", {9, 0, 9, 0, 'a'}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteHostFile(Path("bad.lz"), c.item);
        RunResult r = Run({"unpack", Path("bad.lz"), Path("out.bin")});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "mksetup: " + Path("bad.lz") +
                             ": not a well-formed packed item (malformed or cut off)\n");
        EXPECT_EQ(Listing(), std::vector<std::string>{"bad.lz"});
    }
    // An output that exists already is left as it was.
    WriteHostFile(Path("out.bin"), std::string("old"));
    EXPECT_EQ(Run({"unpack", Path("bad.lz"), Path("out.bin")}).status, 1);
    EXPECT_EQ(ReadText(Path("out.bin")), "old");
}

TEST_F(MksetupCliTest, CommandLineErrors) {
    RunResult missing = Run({"pack", Path("none"), Path("out")});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err,
              "mksetup: " + Path("none") + ": cannot open: No such file or directory\n");
    RunResult missingUnpack = Run({"unpack", Path("none"), Path("out")});
    EXPECT_EQ(missingUnpack.status, 1);
    EXPECT_EQ(missingUnpack.err, missing.err);
    EXPECT_EQ(Run({"pack", Path("none")}).status, 2);
    EXPECT_EQ(Run({"info"}).status, 2);
    WriteHostFile(Path("in"), std::string("x"));
    RunResult noDir = Run({"pack", Path("in"), Path("nodir/out")});
    EXPECT_EQ(noDir.status, 1);
    EXPECT_EQ(noDir.err.rfind("mksetup: " + Path("nodir/out") + ": ", 0), 0u) << noDir.err;
    EXPECT_EQ(Listing(), std::vector<std::string>{"in"});
}

// A 2 x 3 picture, 24 bits per pixel, rows padded to 8 bytes.
Bytes TinyBmp() {
    Bytes bmp = {'B', 'M', 78, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0,  // file header
                 40,  0,   0,  0, 2, 0, 0, 0, 3, 0, 0,  0, 1, 0, 24, 0};
    bmp.resize(78, 0x7F);
    std::fill(bmp.begin() + 30, bmp.begin() + 54, 0);
    return bmp;
}

Bytes Packed(const Bytes& data) { return LzEncode(data.data(), data.size()); }

class MksetupInfoTest : public MksetupCliTest {
  protected:
    Payload Sample() {
        Payload p;
        p.productName = "\xB2\xE2\xCA\xD4\xB2\xFA\xC6\xB7";  // 测试产品
        p.version = "1.0 \"beta\"\x01";
        p.publisherKey = "Soft\\Key";
        p.installDir = "C:\\Program Files\\\xB2\xE2\xCA\xD4";  // C:\Program Files\测试
        p.menuFolder = "Menu";
        p.shortcuts.push_back({"App.lnk", "app.exe", "", kOnDesktop});
        p.shortcuts.push_back({"\xD0\xB6\xD4\xD8.lnk", "", "", kInProgramsMenu});  // 卸载.lnk
        p.images[0] = Packed(TinyBmp());
        p.images[2] = Packed(Bytes(10, 'a'));
        p.archives[0] = Bytes(300, 'Z');
        Bytes exe(5000, 0);
        exe[0] = 'M';
        exe[1] = 'Z';
        p.uninstaller = Packed(exe);
        return p;
    }

    std::string Write(const Payload& p, const std::string& name) {
        Bytes image;
        std::string error;
        EXPECT_TRUE(MakeSetupImage(Bytes(4096, 0x90), p, &image, &error)) << error;
        WriteHostFile(Path(name), image);
        return Path(name);
    }
};

TEST_F(MksetupInfoTest, ShowsEveryFieldInUtf8) {
    Payload p = Sample();
    RunResult r = Run({"info", Write(p, "setup.exe")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    for (const std::string& expected : std::vector<std::string>{
             "product name         \"测试产品\"\n",
             "version              \"1.0 \"beta\"\\x01\"\n",
             "install directory    \"C:\\Program Files\\测试\"\n",
             "shortcuts            2\n",
             "link \"卸载.lnk\"  target \"\" (the uninstaller)",
             "packed " + std::to_string(p.images[0].size()) + "  decoded 78  BMP 2 x 3, 24 bits\n",
             "packed " + std::to_string(p.images[2].size()) + "  decoded 10  not a BMP\n",
             "1  directory banner           absent\n",
             "size 300\n",
             "decoded 5000\n",
         })
        EXPECT_NE(r.out.find(expected), std::string::npos) << expected << "\n--- in:\n" << r.out;
}

TEST_F(MksetupInfoTest, JsonParsesAndCarriesTheFields) {
    Payload p = Sample();
    std::string setup = Write(p, "setup.exe");
    std::string json = m_io.Join("info.json");
    std::string command = Quote(kMksetup) + " info --json " + Quote(setup) + " >" + Quote(json);
    ASSERT_EQ(ExitStatus(system(command.c_str())), 0);
    // Python prints the fields it parsed, one per line.
    std::string script =
        "import json,sys\n"
        "d=json.load(open(sys.argv[1],encoding='utf-8'))\n"
        "print(d['product_name']); print(repr(d['version'])); print(d['install_dir'])\n"
        "print(len(d['shortcuts']), d['shortcuts'][1]['link_name'], "
        "d['shortcuts'][1]['location'])\n"
        "print(d['pictures'][0]['bmp']['width'], d['pictures'][0]['bmp']['height'],"
        " d['pictures'][0]['bmp']['bit_count'], d['pictures'][0]['decoded_size'])\n"
        "print(d['pictures'][1]['present'], d['pictures'][2]['bmp'])\n"
        "a=d['archives']; print(a[1]['position']-a[0]['position'], a[1]['size'])\n"
        "u=d['uninstaller']; print(u['decoded_size'], u['executable'],"
        " u['position']+u['packed_size']==d['file_size']==d['payload_end'])\n";
    WriteHostFile(m_io.Join("check.py"), script);
    std::string out = m_io.Join("check.out");
    ASSERT_EQ(ExitStatus(system(("python3 " + Quote(m_io.Join("check.py")) + " " + Quote(json) +
                                 " >" + Quote(out) + " 2>&1")
                                    .c_str())),
              0)
        << ReadText(out) << ReadText(json);
    EXPECT_EQ(ReadText(out),
              "测试产品\n"
              "'1.0 \"beta\"\\x01'\n"
              "C:\\Program Files\\测试\n"
              "2 卸载.lnk 1\n"
              "2 3 24 78\n"
              "False None\n"
              "304 0\n"
              "5000 True True\n");
}

TEST_F(MksetupInfoTest, DamagedInstallersAreReported) {
    Payload p = Sample();
    Bytes whole = ReadHostFile(Write(p, "setup.exe"));
    WriteHostFile(Path("cut.exe"), Bytes(whole.begin(), whole.end() - 1));

    Payload big = Sample();
    big.images[3] = Packed(Bytes(kMaxImageBytes + 1, 'b'));
    Payload badUninstaller = Sample();
    badUninstaller.uninstaller = {5, 0, 0, 0, 1, 2, 3, 4, 5};
    // Blocks of 5 bytes that each claim 64 KiB: 268 MB from 20 KB of damage.
    Payload hugeUninstaller = Sample();
    hugeUninstaller.uninstaller.clear();
    for (int i = 0; i < 4100; ++i)
        hugeUninstaller.uninstaller.insert(hugeUninstaller.uninstaller.end(), {0, 0, 1, 0, 0});
    Write(hugeUninstaller, "hugeuninst.exe");
    Write(big, "big.exe");
    Write(badUninstaller, "baduninst.exe");
    WriteHostFile(Path("short.exe"), Bytes(1000, 0));

    struct Case {
        const char* file;
        const char* message;
    } cases[] = {
        {"cut.exe", "uninstaller: cut off by the end of the file"},
        {"big.exe", "picture 3: decodes to more than 1048576 bytes"},
        {"baduninst.exe", "uninstaller: malformed packed item"},
        {"hugeuninst.exe", "uninstaller: decodes to more than 268435456 bytes"},
        {"short.exe", "no payload: the file has 1000 bytes"},
        {"none.exe", "cannot open: No such file or directory"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        RunResult r = Run({"info", Path(c.file)});
        EXPECT_EQ(r.status, 1);
        std::string prefix = "mksetup: " + Path(c.file) + ": " + c.message;
        EXPECT_EQ(r.err.rfind(prefix, 0), 0u) << r.err;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;  // one line
    }
}

}  // namespace
