// The uninstaller's reading of its record: the record itself, good and
// damaged, and where it lies behind a PE image (sections out of order, a kept
// symbol table, an Authenticode certificate before or after it).
#include "payload/uninstall_record.h"

#include <gtest/gtest.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "payload/setup_info.h"
#include "platform/file_stream.h"
#include "tests/support/test_support.h"
#include "tools/mksetup/lz_encoder.h"

namespace {

using Bytes = std::vector<uint8_t>;

void PutU16(Bytes& b, size_t at, uint16_t v) {
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}

void PutU32(Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

void AppendU32(Bytes& b, uint32_t v) {
    b.resize(b.size() + 4);
    PutU32(b, b.size() - 4, v);
}

void AppendText(Bytes& b, const std::string& text) {
    AppendU32(b, static_cast<uint32_t>(text.size()));
    b.insert(b.end(), text.begin(), text.end());
}

const std::string kProduct = "\xD1\xDD\xCA\xBE";  // 演示
const std::string kDesktopLink = "C:\\Users\\\xD5\xC5\xC8\xFD\\Desktop\\\xD1\xDD\xCA\xBE.lnk";
const std::string kMenu = "C:\\ProgramData\\Programs\\\xD1\xDD\xCA\xBE";

// A record as the installer writes it.
Bytes Record(const std::string& name, const std::string& version, int32_t count,
             const std::vector<std::string>& links, const std::string& menu) {
    Bytes b;
    AppendText(b, name);
    AppendText(b, version);
    AppendU32(b, static_cast<uint32_t>(count));
    for (const std::string& link : links) AppendText(b, link);
    AppendText(b, menu);
    return b;
}

Bytes GoodRecord() {
    return Record(kProduct, "1.0", 3, {kDesktopLink, "", kMenu + "\\a.lnk"}, kMenu);
}

int Parse(const Bytes& b, size_t padding, uninstall::UninstallRecord* r) {
    return uninstall::ParseUninstallRecord(b.data(), b.size(), padding, r);
}

TEST(UninstallRecord, ReadsEveryFieldOfAGoodRecord) {
    uninstall::UninstallRecord r;
    ASSERT_EQ(1, Parse(GoodRecord(), 0, &r));
    EXPECT_EQ(kProduct, r.productName);
    EXPECT_STREQ("1.0", r.version);
    ASSERT_EQ(3, r.linkCount);
    EXPECT_EQ(kDesktopLink, r.linkPaths[0]);
    EXPECT_STREQ("", r.linkPaths[1]);  // a shortcut that was not made
    EXPECT_EQ(kMenu + "\\a.lnk", r.linkPaths[2]);
    EXPECT_EQ(kMenu, r.menuFolder);
}

TEST(UninstallRecord, SmallestAndLargestRecordsAreGood) {
    uninstall::UninstallRecord r;
    ASSERT_EQ(1, Parse(Record("", "", 0, {}, ""), 0, &r));  // 16 bytes of counts
    EXPECT_EQ(0, r.linkCount);

    std::string longest(259, 'x');
    Bytes largest = Record(longest, longest, 8, std::vector<std::string>(8, longest), longest);
    EXPECT_EQ(uninstall::kMaxRecordBytes, largest.size());
    ASSERT_EQ(1, Parse(largest, 0, &r));
    EXPECT_EQ(longest, r.linkPaths[7]);
}

TEST(UninstallRecord, RefusesDamagedRecords) {
    struct Case {
        const char* what;
        Bytes bytes;
    };
    Bytes zeroInside = Record("ab", "1", 0, {}, "C:\\x");
    zeroInside[5] = 0;  // inside the product name
    Bytes hugeCount = Record("a", "1", 0, {}, "m");
    PutU32(hugeCount, 0, 0xFFFFFFFFu);
    Bytes countPastEnd = Record("ab", "1", 0, {}, "C:\\x");
    PutU32(countPastEnd, countPastEnd.size() - 8, 5);  // menu count claims a byte more
    const Case cases[] = {
        {"nothing", {}},
        {"negative shortcut count", Record("a", "1", -1, {}, "m")},
        {"nine shortcuts", Record("a", "1", 9, std::vector<std::string>(9, "l"), "m")},
        {"fewer paths than the count", Record("a", "1", 2, {"l"}, "m")},
        {"text of 260 bytes", Record(std::string(260, 'x'), "1", 0, {}, "m")},
        {"count of 0xFFFFFFFF", hugeCount},
        {"zero byte inside a text", zeroInside},
        {"count past the end", countPastEnd},
    };
    for (const Case& c : cases) {
        uninstall::UninstallRecord r;
        memset(&r, 0x55, sizeof(r));
        EXPECT_EQ(0, Parse(c.bytes, 0, &r)) << c.what;
        EXPECT_EQ(0, r.linkCount) << c.what << ": a refused record leaves nothing behind";
    }
}

TEST(UninstallRecord, EveryCutOfAGoodRecordIsRefused) {
    Bytes good = GoodRecord();
    for (size_t n = 0; n < good.size(); ++n) {
        Bytes cut(good.begin(), good.begin() + n);  // its own allocation: ASan sees over-reads
        uninstall::UninstallRecord r;
        EXPECT_EQ(0, uninstall::ParseUninstallRecord(cut.data(), cut.size(), 0, &r)) << n;
    }
}

TEST(UninstallRecord, TrailingBytesOnlyAsAllowedZeroPadding) {
    uninstall::UninstallRecord r;
    Bytes padded = GoodRecord();
    padded.insert(padded.end(), 7, 0);
    EXPECT_EQ(0, Parse(padded, 0, &r));
    EXPECT_EQ(1, Parse(padded, 7, &r));
    padded.push_back(0);
    EXPECT_EQ(0, Parse(padded, 7, &r));  // eight is no alignment padding
    Bytes garbage = GoodRecord();
    garbage.push_back(1);
    EXPECT_EQ(0, Parse(garbage, 7, &r));
}

// --- A PE file around the record -----------------------------------------
struct Section {
    uint32_t rawAt;
    uint32_t rawSize;
};

struct ImageSpec {
    bool pe64 = true;
    std::vector<Section> sections = {{0x400, 0x600}, {0xA00, 0x200}};
    uint32_t symbolsAt = 0;
    uint32_t symbols = 0;
    uint32_t stringTableBytes = 4;
};

const size_t kNtAt = 0x80;

size_t OptionalSize(bool pe64) { return pe64 ? 240 : 224; }
size_t SecurityEntryAt(bool pe64) { return kNtAt + 24 + (pe64 ? 112 : 96) + 4 * 8; }

// The image: headers, raw section data (0xCC), and a symbol table when asked.
Bytes Image(const ImageSpec& spec) {
    size_t end = 0x400;
    for (const Section& s : spec.sections) {
        if (s.rawSize) end = std::max<size_t>(end, s.rawAt + s.rawSize);
    }
    if (spec.symbolsAt) {
        end = std::max<size_t>(end, spec.symbolsAt + 18 * spec.symbols + spec.stringTableBytes);
    }
    Bytes b(end, 0xCC);
    std::fill(b.begin(), b.begin() + 0x400, 0);
    b[0] = 'M';
    b[1] = 'Z';
    PutU32(b, 0x3C, kNtAt);
    memcpy(&b[kNtAt], "PE\0\0", 4);
    size_t coff = kNtAt + 4;
    PutU16(b, coff, spec.pe64 ? 0x8664 : 0x14C);
    PutU16(b, coff + 2, static_cast<uint16_t>(spec.sections.size()));
    PutU32(b, coff + 8, spec.symbolsAt);
    PutU32(b, coff + 12, spec.symbols);
    PutU16(b, coff + 16, static_cast<uint16_t>(OptionalSize(spec.pe64)));
    size_t optional = coff + 20;
    PutU16(b, optional, spec.pe64 ? 0x20B : 0x10B);
    PutU32(b, optional + (spec.pe64 ? 108 : 92), 16);
    size_t table = optional + OptionalSize(spec.pe64);
    for (size_t i = 0; i < spec.sections.size(); ++i) {
        PutU32(b, table + 40 * i + 16, spec.sections[i].rawSize);
        PutU32(b, table + 40 * i + 20, spec.sections[i].rawAt);
    }
    if (spec.symbolsAt) PutU32(b, spec.symbolsAt + 18 * spec.symbols, spec.stringTableBytes);
    return b;
}

void SetCertificate(Bytes& file, bool pe64, uint32_t at, uint32_t size) {
    PutU32(file, SecurityEntryAt(pe64), at);
    PutU32(file, SecurityEntryAt(pe64) + 4, size);
}

Bytes Concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

int ReadFromBytes(void* context, uint64_t offset, void* buffer, size_t count) {
    const Bytes* file = static_cast<const Bytes*>(context);
    if (offset > file->size() || count > file->size() - offset) return 0;
    memcpy(buffer, file->data() + offset, count);
    return 1;
}

int ReadRecordFile(const Bytes& file, uninstall::UninstallRecord* r) {
    return uninstall::ReadUninstallRecord(ReadFromBytes, const_cast<Bytes*>(&file), file.size(), r);
}

TEST(UninstallRecordInImage, FoundBehindTheLastSectionOfBothFormats) {
    for (bool pe64 : {true, false}) {
        ImageSpec spec;
        spec.pe64 = pe64;
        // Headers listing the last section first, and an uninitialised
        // section with a raw pointer but no raw data after everything.
        spec.sections = {{0x1000, 0x800}, {0x400, 0xC00}, {0x9000, 0}};
        uninstall::UninstallRecord r;
        ASSERT_EQ(1, ReadRecordFile(Concat(Image(spec), GoodRecord()), &r)) << pe64;
        EXPECT_EQ(kMenu, r.menuFolder);
    }
}

TEST(UninstallRecordInImage, StepsOverAKeptSymbolTable) {
    ImageSpec spec;
    spec.symbolsAt = 0xC00;
    spec.symbols = 3;
    spec.stringTableBytes = 25;
    uninstall::UninstallRecord r;
    ASSERT_EQ(1, ReadRecordFile(Concat(Image(spec), GoodRecord()), &r));
    EXPECT_EQ(kProduct, r.productName);
}

TEST(UninstallRecordInImage, CertificateBeforeOrAfterTheRecord) {
    Bytes certificate(0x48, 0xAB);
    uninstall::UninstallRecord r;

    // Signed, then the record appended: image, alignment, certificate, record.
    Bytes signedFirst = Image(ImageSpec());
    size_t imageEnd = signedFirst.size();
    signedFirst.resize(imageEnd + 3, 0);  // hypothetical alignment
    SetCertificate(signedFirst, true, static_cast<uint32_t>(signedFirst.size()),
                   static_cast<uint32_t>(certificate.size()));
    signedFirst = Concat(Concat(signedFirst, certificate), GoodRecord());
    ASSERT_EQ(1, ReadRecordFile(signedFirst, &r));
    EXPECT_EQ(3, r.linkCount);

    // Signed after the install: image, record, zero padding, certificate.
    Bytes signedLast = Concat(Image(ImageSpec()), GoodRecord());
    while (signedLast.size() % 8) signedLast.push_back(0);
    SetCertificate(signedLast, true, static_cast<uint32_t>(signedLast.size()),
                   static_cast<uint32_t>(certificate.size()));
    signedLast = Concat(signedLast, certificate);
    ASSERT_EQ(1, ReadRecordFile(signedLast, &r));
    EXPECT_EQ(kMenu, r.menuFolder);
}

TEST(UninstallRecordInImage, RefusesFilesWithoutAWholeRecord) {
    Bytes image = Image(ImageSpec());
    Bytes good = Concat(image, GoodRecord());
    struct Case {
        const char* what;
        Bytes file;
    };
    Bytes notMz = good;
    notMz[0] = 'X';
    Bytes notPe = good;
    notPe[kNtAt] = 'X';
    Bytes ntPastEnd = good;
    PutU32(ntPastEnd, 0x3C, 0x7FFFFFF0);
    Bytes sectionPastEnd = good;
    PutU32(sectionPastEnd, kNtAt + 24 + 240 + 16, 0x100000);  // first section's raw size
    Bytes noSections = good;
    PutU16(noSections, kNtAt + 6, 0);
    Bytes certInsideImage = good;
    SetCertificate(certInsideImage, true, 0x500, 0x10);
    Bytes certPastEnd = good;
    SetCertificate(certPastEnd, true, static_cast<uint32_t>(image.size()), 0x10000);
    Bytes recordPlusGarbage = Concat(good, Bytes(9, 0));
    Bytes oversized = Concat(image, Bytes(uninstall::kMaxRecordBytes + 1, 0));
    const Case cases[] = {
        {"the bare image", image},
        {"no MZ", notMz},
        {"no PE signature", notPe},
        {"NT headers past the end", ntPastEnd},
        {"section data past the end", sectionPastEnd},
        {"no sections", noSections},
        {"certificate inside the image", certInsideImage},
        {"certificate past the end", certPastEnd},
        {"bytes after the record", recordPlusGarbage},
        {"span larger than any record", oversized},
        {"a few bytes", Bytes(good.begin(), good.begin() + 40)},
    };
    for (const Case& c : cases) {
        uninstall::UninstallRecord r;
        EXPECT_EQ(0, ReadRecordFile(c.file, &r)) << c.what;
    }
    for (size_t n = image.size(); n < good.size(); ++n) {
        Bytes cut(good.begin(), good.begin() + n);
        uninstall::UninstallRecord r;
        EXPECT_EQ(0, ReadRecordFile(cut, &r)) << "cut at " << n;
    }
}

// The contract between the two programs: the file the installer writes is
// the file the uninstaller reads.
TEST(UninstallRecordInImage, ReadsWhatTheInstallerWrites) {
    testing_support::TempDir dir;
    Bytes program = Image(ImageSpec());
    std::vector<uint8_t> packed = LzEncode(program.data(), program.size());
    Bytes setup(100, 'S');
    setup.insert(setup.end(), packed.begin(), packed.end());
    testing_support::WriteHostFile(dir.Join("setup.exe"), setup);

    CSetupInfo info;
    strcpy(info.m_szInstallDir, testing_support::Ansi(dir.path()).c_str());
    strcpy(info.m_szProductName, kProduct.c_str());
    strcpy(info.m_szVersion, "2.1");
    info.m_nShortcuts = 3;
    info.m_Uninstaller.position = 100;
    info.m_Uninstaller.size = static_cast<int32_t>(packed.size());
    char links[kMaxShortcuts][kFieldSize] = {};
    strcpy(links[0], kDesktopLink.c_str());  // links[1]: an entry that was skipped
    strcpy(links[2], (kMenu + "\\a.lnk").c_str());
    {
        CFileStream in(testing_support::Ansi(dir.Join("setup.exe")).c_str(), CFileStream::kRead);
        ASSERT_EQ(1, info.WriteUninstaller(in, links, kMenu.c_str()));
    }

    Bytes written =
        testing_support::ReadHostFile(dir.Join("\xE5\x8D\xB8\xE8\xBD\xBD.exe"));  // 卸载.exe
    ASSERT_GT(written.size(), program.size());
    uninstall::UninstallRecord r;
    ASSERT_EQ(1, ReadRecordFile(written, &r));
    EXPECT_EQ(kProduct, r.productName);
    EXPECT_STREQ("2.1", r.version);
    ASSERT_EQ(3, r.linkCount);
    EXPECT_EQ(kDesktopLink, r.linkPaths[0]);
    EXPECT_STREQ("", r.linkPaths[1]);
    EXPECT_EQ(kMenu + "\\a.lnk", r.linkPaths[2]);
    EXPECT_EQ(kMenu, r.menuFolder);
}

}  // namespace
