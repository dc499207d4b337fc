// CUnzipper against archives made at test time by Python's zipfile (names as
// raw GBK bytes, chosen methods, attributes and times, damaged data) and by
// Info-ZIP's zip (a real tree with folder entries and extra fields).
#include "install/unzipper.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <linux/capability.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "tests/support/test_support.h"

namespace fs = std::filesystem;
using testing_support::Ansi;
using testing_support::ReadHostFile;
using testing_support::TempDir;
using testing_support::WriteHostFile;

namespace {

const char kDataDir[] = "\xCA\xFD\xBE\xDD";                      // 数据
const char kReadme[] = "\xCA\xFD\xBE\xDD/\xCB\xB5\xC3\xF7.txt";  // 数据/说明.txt
const char kEmptyDir[] = "\xCA\xFD\xBE\xDD/\xBF\xD5/";           // 数据/空/
const char kArchiveHostName[] = "\xE5\xAE\x89\xE8\xA3\x85.zip";  // 安装.zip
const char kReadmeHost[] =
    "\xE6\x95\xB0\xE6\x8D\xAE/\xE8\xAF\xB4\xE6\x98\x8E.txt";           // 数据/说明.txt
const char kEmptyDirHost[] = "\xE6\x95\xB0\xE6\x8D\xAE/\xE7\xA9\xBA";  // 数据/空

// 2021-03-04 05:06:08 read in China Standard Time (the entries' local time).
const time_t kWhenUtc = 1614805568;

struct Entry {
    std::string name;  // ANSI bytes, '/' separators
    std::string data;
    int method = 8;  // 0 stored, 8 deflated
    uint32_t attributes = 0x20;
    int when[6] = {2021, 3, 4, 5, 6, 8};
    std::string patch;  // "flip": damage the data; "grow": record a larger size
};

Entry Folder(const std::string& name) {
    Entry e;
    e.name = name;
    e.method = 0;
    e.attributes = 0x10;
    return e;
}

Entry File(const std::string& name, const std::string& data, int method = 8) {
    Entry e;
    e.name = name;
    e.data = data;
    e.method = method;
    return e;
}

std::string Hex(const std::string& bytes) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += kDigits[c >> 4];
        out += kDigits[c & 15];
    }
    return out;
}

// Bytes that deflate a little but not to nothing.
std::string Noise(size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string out(size, '\0');
    for (char& c : out) c = static_cast<char>('a' + random() % 7);
    return out;
}

const char kZipWriter[] = R"PY(
import struct, sys, zipfile
class RawName(zipfile.ZipInfo):
    # The name's bytes as they are, with the UTF-8 flag clear.
    def _encodeFilenameFlags(self):
        return self.filename.encode('cp437'), self.flag_bits
path = sys.argv[1]
with zipfile.ZipFile(path, 'w') as z:
    for name, data, method, attributes, when, patch in ENTRIES:
        info = RawName(bytes.fromhex(name).decode('cp437'), when)
        info.compress_type = method
        info.create_system = 0
        info.external_attr = attributes
        z.writestr(info, bytes.fromhex(data))
buf = bytearray(open(path, 'rb').read())
end = buf.rfind(b'PK\x05\x06')
count, _, pos = struct.unpack_from('<HII', buf, end + 10)
for i in range(count):
    n, m, k = struct.unpack_from('<HHH', buf, pos + 28)
    local = struct.unpack_from('<I', buf, pos + 42)[0]
    patch = ENTRIES[i][5]
    if patch == 'flip':
        size = struct.unpack_from('<I', buf, pos + 20)[0]
        ln, lm = struct.unpack_from('<HH', buf, local + 26)
        buf[local + 30 + ln + lm + min(10, size - 1)] ^= 0x55
    elif patch == 'grow':
        for at in (pos + 24, local + 22):
            struct.pack_into('<I', buf, at, struct.unpack_from('<I', buf, at)[0] + 10)
    pos += 46 + n + m + k
open(path, 'wb').write(buf)
)PY";

void RunPython(const std::string& script, const std::string& argument) {
    std::string command = "python3 - '" + argument + "'";
    FILE* pipe = popen(command.c_str(), "w");
    ASSERT_NE(pipe, nullptr);
    fwrite(script.data(), 1, script.size(), pipe);
    ASSERT_EQ(pclose(pipe), 0) << "python3 failed";
}

void MakeZip(const std::string& hostPath, const std::vector<Entry>& entries) {
    std::string list = "ENTRIES = [\n";
    for (const Entry& e : entries) {
        char when[64];
        snprintf(when, sizeof when, "(%d,%d,%d,%d,%d,%d)", e.when[0], e.when[1], e.when[2],
                 e.when[3], e.when[4], e.when[5]);
        list += "('" + Hex(e.name) + "','" + Hex(e.data) + "'," + std::to_string(e.method) + "," +
                std::to_string(e.attributes) + "," + when + ",'" + e.patch + "'),\n";
    }
    RunPython(list + "]\n" + kZipWriter, hostPath);
}

// Every file and folder below root: path -> contents ("/" for a folder).
std::map<std::string, std::string> Snapshot(const std::string& root) {
    std::map<std::string, std::string> tree;
    if (!fs::exists(root)) return tree;
    for (const auto& item : fs::recursive_directory_iterator(root)) {
        std::string relative = fs::relative(item.path(), root).string();
        if (item.is_directory()) {
            tree[relative] = "/";
        } else {
            std::vector<uint8_t> bytes = ReadHostFile(item.path().string());
            tree[relative] = std::string(bytes.begin(), bytes.end());
        }
    }
    return tree;
}

time_t ModifiedAt(const std::string& hostPath) {
    struct stat st;
    return stat(hostPath.c_str(), &st) == 0 ? st.st_mtime : -1;
}

std::string ReadText(const std::string& hostPath) {
    std::vector<uint8_t> bytes = ReadHostFile(hostPath);
    return std::string(bytes.begin(), bytes.end());
}

// Root passes every permission check; without CAP_DAC_OVERRIDE in this
// thread's effective set a read-only file refuses to be opened for writing.
class WithoutPermissionOverride {
  public:
    WithoutPermissionOverride() {
        if (syscall(SYS_capget, &m_header, m_saved) != 0) return;
        __user_cap_data_struct reduced[2] = {m_saved[0], m_saved[1]};
        reduced[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
        m_bChanged = syscall(SYS_capset, &m_header, reduced) == 0;
    }
    ~WithoutPermissionOverride() {
        if (m_bChanged) syscall(SYS_capset, &m_header, m_saved);
    }

  private:
    __user_cap_header_struct m_header = {_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct m_saved[2] = {};
    bool m_bChanged = false;
};

class UnzipperTest : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("TZ", "CST-8", 1);  // a local time that is not UTC
        tzset();
    }

    // An archive of the payload's kind: GBK names, folder entries first,
    // an empty folder, a zero-length hidden/system file, big files.
    std::vector<Entry> PayloadEntries() {
        Entry empty = File("empty.bin", "", 0);
        empty.attributes = 0x26;
        return {Folder(std::string(kDataDir) + "/"),
                File(kReadme, "readme text\r\n"),
                Folder(kEmptyDir),
                empty,
                Folder("big/"),
                File("big/deflated.bin", Noise(100000, 1)),
                File("big/stored.bin", Noise(50000, 2), 0)};
    }

    std::string Zip(const std::vector<Entry>& entries, const std::string& name = "a.zip") {
        std::string host = dir.Join(name);
        MakeZip(host, entries);
        return host;
    }

    // Unpacks every entry in the given index order; the results by index.
    std::vector<int> UnpackAll(CUnzipper& zip, const std::string& folderHost,
                               std::vector<int> order = {}) {
        if (order.empty())
            for (int i = 0; i < zip.GetFileCount(); ++i) order.push_back(i);
        std::vector<int> results(order.size());
        std::string folder = Ansi(folderHost);
        for (int i : order) results[i] = zip.UnzipFile(i, folder.c_str());
        return results;
    }

    TempDir dir;
};

TEST_F(UnzipperTest, UnpacksPayloadArchiveWithNamesContentsAndTimes) {
    std::vector<Entry> entries = PayloadEntries();
    std::string archive = Zip(entries, kArchiveHostName);
    CUnzipper zip(Ansi(archive).c_str());
    ASSERT_EQ(zip.GetFileCount(), 7);
    std::string out = dir.Join("out");
    EXPECT_EQ(UnpackAll(zip, out), std::vector<int>(7, 1));

    EXPECT_EQ(ReadText(out + "/" + kReadmeHost), "readme text\r\n");
    EXPECT_EQ(ReadText(out + "/big/deflated.bin"), entries[5].data);
    EXPECT_EQ(ReadText(out + "/big/stored.bin"), entries[6].data);
    EXPECT_TRUE(fs::is_regular_file(out + "/empty.bin"));
    EXPECT_EQ(fs::file_size(out + "/empty.bin"), 0u);
    // Folder entries make nothing: a folder without files never appears.
    EXPECT_FALSE(fs::exists(out + "/" + kEmptyDirHost));
    for (const char* file : {kReadmeHost, "empty.bin", "big/deflated.bin", "big/stored.bin"})
        EXPECT_EQ(ModifiedAt(out + "/" + file), kWhenUtc) << file;
}

TEST_F(UnzipperTest, ReportsEntryInformation) {
    CUnzipper zip(Ansi(Zip(PayloadEntries())).c_str());
    UnzipFileInfo info;
    ASSERT_TRUE(zip.GotoFile(1));
    ASSERT_TRUE(zip.GetFileInfo(info));
    EXPECT_STREQ(info.szFileName, "\xCA\xFD\xBE\xDD\\\xCB\xB5\xC3\xF7.txt");
    EXPECT_FALSE(info.bFolder);
    EXPECT_EQ(info.dwCompressionMethod, 8u);
    EXPECT_EQ(info.dwFlags & 0x800, 0u);
    EXPECT_EQ(info.dwUncompressedSize, 13u);
    const uint32_t dosDate = ((2021 - 1980) << 9 | 3 << 5 | 4) << 16 | (5 << 11 | 6 << 5 | 4);
    EXPECT_EQ(info.dwDosDate, dosDate);

    ASSERT_TRUE(zip.GotoFile(3));
    ASSERT_TRUE(zip.GetFileInfo(info));
    EXPECT_EQ(info.dwExternalAttrib, 0x26u);
    ASSERT_TRUE(zip.GotoFile(2));
    ASSERT_TRUE(zip.GetFileInfo(info));
    EXPECT_TRUE(info.bFolder);
    EXPECT_EQ(info.dwCompressionMethod, 0u);
}

TEST_F(UnzipperTest, InfoZipArchivesUnpackToTheSameTree) {
    std::string src = dir.Join("src");
    fs::create_directories(src + "/docs/sub/deep");
    fs::create_directories(src + "/docs/empty");
    WriteHostFile(src + "/docs/readme.txt", "hello\n");
    WriteHostFile(src + "/docs/sub/deep/x.txt", Noise(3000, 3));
    WriteHostFile(src + "/zero.bin", "");
    WriteHostFile(src + "/big.bin", Noise(70000, 4));
    const time_t stamp = kWhenUtc;  // an even second: MS-DOS times keep only those
    for (const char* file : {"docs/readme.txt", "docs/sub/deep/x.txt", "zero.bin", "big.bin"}) {
        struct timespec times[2] = {{stamp, 0}, {stamp, 0}};
        ASSERT_EQ(utimensat(AT_FDCWD, (src + "/" + file).c_str(), times, 0), 0);
    }
    std::map<std::string, std::string> expected = Snapshot(src);
    expected.erase("docs/empty");

    int variant = 0;
    for (const char* options : {"-q -r", "-q -r -X -0"}) {
        SCOPED_TRACE(options);
        std::string archive = dir.Join("z" + std::to_string(variant++) + ".zip");
        std::string command = "cd '" + src + "' && zip " + options + " '" + archive + "' .";
        ASSERT_EQ(system(command.c_str()), 0);
        CUnzipper zip(Ansi(archive).c_str());
        std::string out = archive + ".out";
        std::vector<int> results = UnpackAll(zip, out);
        EXPECT_EQ(std::count(results.begin(), results.end(), 1), zip.GetFileCount());
        EXPECT_EQ(Snapshot(out), expected);
        EXPECT_EQ(ModifiedAt(out + "/big.bin"), stamp);
        EXPECT_EQ(ModifiedAt(out + "/docs/sub/deep/x.txt"), stamp);
    }
}

TEST_F(UnzipperTest, DamagedEntriesFailAndTheOthersStillUnpack) {
    struct Case {
        const char* what;
        int method;
        const char* patch;
    } cases[] = {
        {"stored data that does not match its CRC-32", 0, "flip"},
        {"deflated data that does not match its CRC-32", 8, "flip"},
        {"deflated data shorter than its recorded size", 8, "grow"},
        {"stored data shorter than its recorded size", 0, "grow"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Entry bad = File("bad.txt", Noise(5000, 5), c.method);
        bad.patch = c.patch;
        std::string archive = Zip({File("good1.txt", "one"), bad, File("good2.txt", "two")});
        CUnzipper zip(Ansi(archive).c_str());
        std::string out = dir.Join("out-" + std::string(c.patch) + std::to_string(c.method));
        EXPECT_EQ(UnpackAll(zip, out), (std::vector<int>{1, 0, 1}));
        EXPECT_EQ(ReadText(out + "/good2.txt"), "two");
        // The partly written file stays, but without the entry's time.
        EXPECT_NE(ModifiedAt(out + "/bad.txt"), kWhenUtc);
    }
}

TEST_F(UnzipperTest, RefusesNamesThatLeaveTheOutputFolder) {
    const char* names[] = {"../x",         "/abs", "C:/x",    "C:x",     "a/../../x",
                           "a\\..\\..\\y", "../",  "a/.../x", "a/.. /x", "file.txt:stream"};
    std::vector<Entry> entries;
    for (const char* name : names) entries.push_back(File(name, "escaped"));
    entries.push_back(File("inside/ok.txt", "ok"));
    std::string archive = Zip(entries);
    std::string out = dir.Join("a/b/out");
    CUnzipper zip(Ansi(archive).c_str());
    for (bool ignorePath : {false, true}) {
        std::string folder = Ansi(out);
        for (size_t i = 0; i < entries.size(); ++i) {
            SCOPED_TRACE(entries[i].name);
            EXPECT_EQ(zip.UnzipFile(static_cast<int32_t>(i), folder.c_str(), ignorePath),
                      i + 1 == entries.size() ? 1 : 0);
        }
    }
    std::map<std::string, std::string> tree = Snapshot(dir.path());
    std::map<std::string, std::string> expected = {{"a", "/"},
                                                   {"a/b", "/"},
                                                   {"a/b/out", "/"},
                                                   {"a/b/out/inside", "/"},
                                                   {"a/b/out/inside/ok.txt", "ok"},
                                                   {"a/b/out/ok.txt", "ok"},
                                                   {"a.zip", tree["a.zip"]}};
    EXPECT_EQ(tree, expected);
}

TEST_F(UnzipperTest, PathsLongerThan259BytesFailUncut) {
    std::string out = dir.Join("out");
    std::string folder = Ansi(out);
    // Names that make folder + '\' + name exactly 259 and 260 bytes long.
    auto nameOfPathLength = [&](size_t length) {
        std::string name;
        size_t room = length - folder.size() - 1;
        while (room - name.size() > 60) name += std::string(49, 'd') + "/";
        return name + std::string(room - name.size(), 'f');
    };
    std::string fits = nameOfPathLength(259), tooLong = nameOfPathLength(260);
    std::string longest(300, 'n');
    CUnzipper zip(
        Ansi(Zip({File(fits, "fits"), File(tooLong, "long"), File(longest, "x")})).c_str());
    EXPECT_EQ(UnpackAll(zip, out), (std::vector<int>{1, 0, 0}));
    EXPECT_EQ(ReadText(out + "/" + fits), "fits");
    EXPECT_FALSE(fs::exists(out + "/" + tooLong));
    EXPECT_FALSE(fs::exists(out + "/" + longest.substr(0, 200)));
}

TEST_F(UnzipperTest, ResultsDoNotDependOnTheOrderOfIndexes) {
    std::vector<Entry> entries = PayloadEntries();
    Entry bad = File("big/bad.bin", Noise(30000, 6));
    bad.patch = "flip";
    entries.insert(entries.begin() + 4, bad);
    entries.insert(entries.begin() + 2, File("../escape", "x"));
    std::string archive = Zip(entries);
    const int count = static_cast<int>(entries.size());

    std::vector<int> inOrder(count), reverse(count), shuffled(count);
    for (int i = 0; i < count; ++i) inOrder[i] = i;
    std::reverse_copy(inOrder.begin(), inOrder.end(), reverse.begin());
    shuffled = inOrder;
    std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(7));
    std::vector<int> twice = inOrder;  // every index again, after the end
    twice.insert(twice.end(), inOrder.begin(), inOrder.end());

    std::vector<int> baseline;
    std::map<std::string, std::string> baselineTree;
    int run = 0;
    for (const std::vector<int>* order : {&inOrder, &reverse, &shuffled}) {
        CUnzipper zip(Ansi(archive).c_str());
        std::string out = dir.Join("out" + std::to_string(run++));
        // Moves of the cursor by other calls must not confuse the next index.
        EXPECT_EQ(zip.GotoNextFile("nomatch"), 0);
        std::vector<int> results = UnpackAll(zip, out, *order);
        if (baseline.empty()) {
            baseline = results;
            baselineTree = Snapshot(out);
            EXPECT_EQ(std::count(results.begin(), results.end(), 0), 2);
        } else {
            EXPECT_EQ(results, baseline);
            EXPECT_EQ(Snapshot(out), baselineTree);
        }
    }

    CUnzipper zip(Ansi(archive).c_str());
    std::string folder = Ansi(dir.Join("again"));
    for (size_t k = 0; k < twice.size(); ++k) {
        int i = twice[k];
        EXPECT_EQ(zip.UnzipFile(i, folder.c_str()), baseline[i]) << i;
        if (k % 3 == 0) zip.GotoFirstFile("bin");
    }
}

TEST_F(UnzipperTest, IndexesOutsideTheArchiveFailAndTouchNothing) {
    std::string archive = Zip({File("a.txt", "a"), File("b.txt", "b")});
    CUnzipper zip(Ansi(archive).c_str());
    std::string out = dir.Join("out");
    std::string folder = Ansi(out);
    for (int32_t index : {2, -1, INT32_MIN, INT32_MAX}) {
        EXPECT_EQ(zip.GotoFile(index), 0) << index;
        EXPECT_EQ(zip.UnzipFile(index, folder.c_str()), 0) << index;
    }
    EXPECT_FALSE(fs::exists(out));
    EXPECT_EQ(zip.UnzipFile(1, folder.c_str()), 1);
    EXPECT_EQ(ReadText(out + "/b.txt"), "b");
}

TEST_F(UnzipperTest, ExistingTargetsAreReplacedOrFailTheEntry) {
    std::string archive = Zip({File("f.txt", "new")});
    std::string out = dir.Join("out");
    fs::create_directories(out);
    std::string folder = Ansi(out);
    CUnzipper zip(Ansi(archive).c_str());

    WriteHostFile(out + "/f.txt", "a much longer old content");
    EXPECT_EQ(zip.UnzipFile(0, folder.c_str()), 1);
    EXPECT_EQ(ReadText(out + "/f.txt"), "new");

    WriteHostFile(out + "/f.txt", "kept");
    ASSERT_EQ(chmod((out + "/f.txt").c_str(), 0444), 0);
    {
        WithoutPermissionOverride asUser;
        EXPECT_EQ(zip.UnzipFile(0, folder.c_str()), 0) << "read-only file in the way";
    }
    EXPECT_EQ(ReadText(out + "/f.txt"), "kept");
    fs::remove(out + "/f.txt");

    fs::create_directories(out + "/f.txt");
    EXPECT_EQ(zip.UnzipFile(0, folder.c_str()), 0) << "folder in the way";
    fs::remove(out + "/f.txt");

    ASSERT_EQ(symlink("/dev/full", (out + "/f.txt").c_str()), 0);
    EXPECT_EQ(zip.UnzipFile(0, folder.c_str()), 0) << "write error";
}

TEST_F(UnzipperTest, UnpacksIntoTheChosenFolder) {
    std::string archive =
        Zip({File("a/b/file.txt", "deep"), Folder("a/"), File("top.txt", "top")}, "pkg.v1.zip");
    CUnzipper zip(Ansi(archive).c_str());

    // The default folder is the archive path up to its last dot.
    EXPECT_EQ(zip.UnzipFile(2), 1);
    EXPECT_EQ(ReadText(dir.Join("pkg.v1/top.txt")), "top");

    std::string chosen = Ansi(dir.Join("chosen")) + "\\";  // no second backslash
    EXPECT_EQ(zip.UnzipFile(0, chosen.c_str()), 1);
    EXPECT_EQ(ReadText(dir.Join("chosen/a/b/file.txt")), "deep");
    EXPECT_EQ(zip.UnzipFile(0, chosen.c_str(), true), 1);
    EXPECT_EQ(ReadText(dir.Join("chosen/file.txt")), "deep");
    EXPECT_EQ(zip.UnzipFile(1, chosen.c_str()), 1);  // a folder entry

    EXPECT_EQ(zip.SetOutputFolder(Ansi(dir.Join("set/here")).c_str()), 1);
    EXPECT_TRUE(fs::is_directory(dir.Join("set/here")));
    EXPECT_EQ(zip.SetOutputFolder(Ansi(archive).c_str()), 0);  // a file: folder kept
    EXPECT_EQ(zip.UnzipFile(2), 1);
    EXPECT_EQ(ReadText(dir.Join("set/here/top.txt")), "top");
}

TEST_F(UnzipperTest, DefaultFolderOfArchivePathsWithoutExtension) {
    std::vector<Entry> entries = {File("top.txt", "top")};
    fs::create_directories(dir.Join("app.old"));
    MakeZip(dir.Join("app.old/archive"), entries);
    CUnzipper inDottedFolder(Ansi(dir.Join("app.old/archive")).c_str());
    EXPECT_EQ(inDottedFolder.UnzipFile(0), 1);
    EXPECT_EQ(ReadText(dir.Join("app/top.txt")), "top");

    // Without any dot the default folder is the archive itself: no unpacking
    // until a folder is set.
    MakeZip(dir.Join("plain"), entries);
    CUnzipper plain(Ansi(dir.Join("plain")).c_str());
    EXPECT_EQ(plain.UnzipFile(0), 0);
    EXPECT_EQ(plain.SetOutputFolder(Ansi(dir.Join("to")).c_str()), 1);
    EXPECT_EQ(plain.UnzipFile(0), 1);
}

TEST_F(UnzipperTest, ClosedOrMissingArchivesDoNothing) {
    CUnzipper missing(Ansi(dir.Join("none.zip")).c_str());
    EXPECT_EQ(missing.GetFileCount(), 0);
    EXPECT_EQ(missing.UnzipFile(0, Ansi(dir.path()).c_str()), 0);
    EXPECT_EQ(missing.GotoFirstFile(), 0);
    EXPECT_EQ(missing.CloseZip(), 0);

    CUnzipper zip(Ansi(Zip({File("a.txt", "a")})).c_str());
    EXPECT_EQ(zip.CloseZip(), 1);
    EXPECT_EQ(zip.CloseZip(), 0);
    EXPECT_EQ(zip.GetFileCount(), 0);
    UnzipFileInfo info;
    EXPECT_EQ(zip.GetFileInfo(info), 0);
    EXPECT_EQ(zip.UnzipFile(0, Ansi(dir.Join("out")).c_str()), 0);
    EXPECT_FALSE(fs::exists(dir.Join("out")));
}

TEST_F(UnzipperTest, FindsEntriesByExtension) {
    CUnzipper zip(
        Ansi(Zip({File("a.txt", ""), File("b.DLL", ""), File("noext", ""), File("c.dll", "")}))
            .c_str());
    UnzipFileInfo info;
    ASSERT_EQ(zip.GotoFirstFile("dll"), 1);
    zip.GetFileInfo(info);
    EXPECT_STREQ(info.szFileName, "b.DLL");
    ASSERT_EQ(zip.GotoNextFile("dll"), 1);
    zip.GetFileInfo(info);
    EXPECT_STREQ(info.szFileName, "c.dll");
    EXPECT_EQ(zip.GotoNextFile("dll"), 0);
    EXPECT_EQ(zip.GotoFirstFile("exe"), 0);
}

TEST_F(UnzipperTest, UnusableTimeLeavesTheEntryUnpacked) {
    Entry odd = File("odd.txt", "odd");
    odd.when[1] = 0;  // month 0: no such date
    std::string out = dir.Join("out");
    CUnzipper zip(Ansi(Zip({odd})).c_str());
    EXPECT_EQ(UnpackAll(zip, out), std::vector<int>{1});
    EXPECT_EQ(ReadText(out + "/odd.txt"), "odd");
}

}  // namespace
