// The installer's payload reader against payloads made by the builder's
// writer and by hand: layout, limits, and payloads cut off anywhere.
#include <gtest/gtest.h>
#include <string.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "payload/lz_decoder.h"
#include "payload/setup_info.h"
#include "platform/file_stream.h"
#include "tests/support/test_support.h"
#include "tools/mksetup/payload_writer.h"
#include "tools/mksetup/setup_file.h"

namespace {

using testing_support::Ansi;
using testing_support::TempDir;
using testing_support::WriteHostFile;

const char kProductGbk[] = "\xB2\xE2\xCA\xD4\xB2\xFA\xC6\xB7";  // 测试产品
const char kMenuGbk[] = "\xBF\xAA\xCA\xBC\xB2\xCB\xB5\xA5";     // 开始菜单

// An item of stored blocks: decodes to data without needing the encoder.
Bytes StoredItem(const Bytes& data) {
    Bytes item;
    for (size_t at = 0; at < data.size(); at += kBlockSize) {
        size_t n = std::min(data.size() - at, size_t(kBlockSize));
        uint8_t lo = uint8_t(n), hi = uint8_t(n >> 8);  // 65,536 is written as 0
        item.insert(item.end(), {lo, hi, lo, hi});
        item.insert(item.end(), data.begin() + at, data.begin() + at + n);
    }
    return item;
}

Bytes Filled(size_t size, uint8_t seed) {
    Bytes bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = uint8_t(seed + i * 7);
    return bytes;
}

// "aaaa" as one packed block: a literal and a three-byte match.
const Bytes kPackedAaaa = {0x04, 0x00, 0x02, 0x00, 0x30, 0xE0};

Payload SamplePayload() {
    Payload p;
    p.productName = kProductGbk;
    p.version = "1.2.3";
    p.publisherKey = "Example\\Key";
    p.installDir = "C:\\Program Files\\Example";
    p.menuFolder = kMenuGbk;
    p.shortcuts.push_back({"Example.lnk", "bin\\example.exe", "", kOnDesktop});
    p.shortcuts.push_back({"Uninstall.lnk", "", "res\\u.ico", kInProgramsMenu});
    p.images[0] = StoredItem(Filled(70, 1));
    p.images[2] = kPackedAaaa;
    p.images[3] = p.images[0];  // same packed bytes as picture 0
    p.images[5] = StoredItem(Filled(3, 9));
    p.archives[0] = Filled(25, 3);
    p.uninstaller = StoredItem({'M', 'Z', 0x90, 0x00});
    return p;
}

Bytes Serialized(const Payload& payload) {
    Bytes bytes;
    std::string error;
    EXPECT_TRUE(SerializePayload(payload, &bytes, &error)) << error;
    return bytes;
}

// Hand-made payload bytes, for what the writer refuses to produce.
struct Raw {
    Bytes bytes;
    Raw& U32(uint32_t v) {
        for (int s = 0; s < 32; s += 8) bytes.push_back(uint8_t(v >> s));
        return *this;
    }
    Raw& Text(const std::string& t) {
        U32(uint32_t(t.size()));
        bytes.insert(bytes.end(), t.begin(), t.end());
        return *this;
    }
    Raw& Data(const Bytes& d) {
        U32(uint32_t(d.size()));
        bytes.insert(bytes.end(), d.begin(), d.end());
        return *this;
    }
    Raw& Strings() { return Text("p").Text("v").Text("k").Text("d").Text("m"); }
    Raw& NoPictures() {
        for (int i = 0; i < kImageCount; ++i) U32(0);
        return *this;
    }
    Raw& NoSegments() { return U32(0).U32(0).U32(0); }
};

class PayloadReaderTest : public ::testing::Test {
  protected:
    // Reads bytes as a payload that starts at file offset start.
    int Read(const Bytes& file, CSetupInfo* info, int64_t start = 0) {
        std::string path = m_dir.Join("setup.bin");
        WriteHostFile(path, file);
        CFileStream in(Ansi(path).c_str(), CFileStream::kRead);
        EXPECT_TRUE(in.Seek(start));
        return info->ReadHeader(in);
    }

    Bytes Decoded(const Bytes& packed) {
        Bytes out;
        std::string error;
        EXPECT_TRUE(DecodeItem(packed.data(), packed.size(), kMaxImageBytes, &out, &error));
        return out;
    }

    void ExpectPicture(const CSetupInfo& info, int i, const Bytes& packed) {
        if (packed.empty()) {
            EXPECT_EQ(info.m_pImages[i], nullptr) << "picture " << i;
            return;
        }
        ASSERT_NE(info.m_pImages[i], nullptr) << "picture " << i;
        Bytes want = Decoded(packed);
        EXPECT_EQ(Bytes(info.m_pImages[i], info.m_pImages[i] + want.size()), want);
    }

    TempDir m_dir;
};

TEST_F(PayloadReaderTest, ReadsWhatTheWriterWroteAtAbsolutePositions) {
    Payload p = SamplePayload();
    Bytes stub = Filled(1000, 5), image;
    std::string error;
    ASSERT_TRUE(MakeSetupImage(stub, p, &image, &error)) << error;
    CSetupInfo info;
    ASSERT_EQ(Read(image, &info, kPayloadOffset), 1);

    EXPECT_STREQ(info.m_szProductName, kProductGbk);
    EXPECT_STREQ(info.m_szVersion, "1.2.3");
    EXPECT_STREQ(info.m_szPublisherKey, "Example\\Key");
    EXPECT_STREQ(info.m_szInstallDir, "C:\\Program Files\\Example");
    EXPECT_STREQ(info.m_szMenuFolder, kMenuGbk);
    ASSERT_EQ(info.m_nShortcuts, 2);
    EXPECT_EQ(info.m_Shortcuts[0].location, kOnDesktop);
    EXPECT_STREQ(info.m_Shortcuts[0].linkName, "Example.lnk");
    EXPECT_STREQ(info.m_Shortcuts[0].target, "bin\\example.exe");
    EXPECT_STREQ(info.m_Shortcuts[0].icon, "");
    EXPECT_EQ(info.m_Shortcuts[1].location, kInProgramsMenu);
    EXPECT_STREQ(info.m_Shortcuts[1].target, "");
    EXPECT_STREQ(info.m_Shortcuts[1].icon, "res\\u.ico");
    for (int i = 0; i < kImageCount; ++i) ExpectPicture(info, i, p.images[i]);
    EXPECT_NE(info.m_pImages[0], info.m_pImages[3]);  // identical items, buffers of their own

    // Fields 1 to 8 by hand: five texts, the count, two shortcuts, six pictures.
    int64_t fields = 0;
    for (const std::string* s :
         {&p.productName, &p.version, &p.publisherKey, &p.installDir, &p.menuFolder})
        fields += 4 + s->size();
    fields += 4;
    for (const PayloadShortcut& s : p.shortcuts)
        fields += 4 + s.linkName.size() + 4 + s.target.size() + 4 + s.icon.size() + 4;
    for (const Bytes& picture : p.images) fields += 4 + picture.size();
    int32_t first = int32_t(kPayloadOffset + fields + 4);
    EXPECT_EQ(info.m_Archives[0].position, first);
    EXPECT_EQ(info.m_Archives[0].size, 25);
    EXPECT_EQ(info.m_Archives[1].position, first + 25 + 4);  // a size 0 segment
    EXPECT_EQ(info.m_Archives[1].size, 0);
    EXPECT_EQ(info.m_Uninstaller.position, first + 25 + 4 + 4);
    EXPECT_EQ(info.m_Uninstaller.size, int32_t(p.uninstaller.size()));
    EXPECT_EQ(int64_t(image.size()), info.m_Uninstaller.position + info.m_Uninstaller.size);
    // The program image before the payload is the stub padded with zeros.
    EXPECT_TRUE(std::equal(stub.begin(), stub.end(), image.begin()));
    EXPECT_EQ(std::count(image.begin() + stub.size(), image.begin() + kPayloadOffset, 0),
              kPayloadOffset - int64_t(stub.size()));
}

// Edge cases of the layout and the reader's limits. Each payload starts at
// offset 0 of its file, so positions count from there.
struct EdgeCase {
    const char* name;
    std::function<Bytes()> make;
    int result;
    std::function<void(const CSetupInfo&)> check;
};

TEST_F(PayloadReaderTest, EdgeCases) {
    const Bytes kMiB = Filled(kMaxImageBytes, 11);
    const Bytes kMiBPlusOne = Filled(kMaxImageBytes + 1, 11);
    const std::string k259(259, 'x');
    const EdgeCase cases[] = {
        {"no shortcuts: the first picture's size follows the menu folder",
         [] { return Raw().Strings().U32(0).NoPictures().NoSegments().bytes; }, 1,
         [](const CSetupInfo& info) {
             EXPECT_EQ(info.m_nShortcuts, 0);
             EXPECT_EQ(info.m_Archives[0].position, 5 * 5 + 4 + 6 * 4 + 4);
         }},
        {"negative shortcut count reads no records",
         [] { return Raw().Strings().U32(0xFFFFFFFF).NoPictures().NoSegments().bytes; }, 1,
         [](const CSetupInfo& info) {
             EXPECT_EQ(info.m_nShortcuts, 0);
             EXPECT_EQ(info.m_Archives[0].position, 5 * 5 + 4 + 6 * 4 + 4);
         }},
        {"eight shortcuts fill the table",
         [] {
             Raw r;
             r.Strings().U32(8);
             for (int i = 0; i < 8; ++i) r.Text("l" + std::to_string(i)).Text("t").Text("i").U32(1);
             return r.NoPictures().NoSegments().bytes;
         },
         1,
         [](const CSetupInfo& info) {
             EXPECT_EQ(info.m_nShortcuts, 8);
             EXPECT_STREQ(info.m_Shortcuts[7].linkName, "l7");
             EXPECT_EQ(info.m_Shortcuts[7].location, 1);
         }},
        {"nine shortcuts have no room",
         [] { return Raw().Strings().U32(9).NoPictures().NoSegments().bytes; }, 0,
         [](const CSetupInfo& info) {
             EXPECT_EQ(info.m_nShortcuts, 0);
             EXPECT_STREQ(info.m_Shortcuts[0].linkName, "");
         }},
        {"a picture size of 0: the next size field follows at once",
         [] {
             return Raw()
                 .Strings()
                 .U32(0)
                 .U32(0)
                 .Data(kPackedAaaa)
                 .U32(0)
                 .U32(0)
                 .U32(0)
                 .U32(0)
                 .NoSegments()
                 .bytes;
         },
         1,
         [](const CSetupInfo& info) {
             EXPECT_EQ(info.m_pImages[0], nullptr);
             ASSERT_NE(info.m_pImages[1], nullptr);
             EXPECT_EQ(memcmp(info.m_pImages[1], "aaaa", 4), 0);
             EXPECT_EQ(info.m_Archives[0].position, 5 * 5 + 4 + 6 * 4 + 6 + 4);
         }},
        {"a picture of exactly 1 MiB is accepted",
         [&] {
             return Raw()
                 .Strings()
                 .U32(0)
                 .Data(StoredItem(kMiB))
                 .U32(0)
                 .U32(0)
                 .U32(0)
                 .U32(0)
                 .U32(0)
                 .NoSegments()
                 .bytes;
         },
         1,
         [&](const CSetupInfo& info) {
             ASSERT_NE(info.m_pImages[0], nullptr);
             EXPECT_EQ(memcmp(info.m_pImages[0], kMiB.data(), kMiB.size()), 0);
         }},
        {"a picture of 1 MiB and one byte stops the read",
         [&] {
             return Raw()
                 .Strings()
                 .U32(0)
                 .Data(kPackedAaaa)
                 .Data(StoredItem(kMiBPlusOne))
                 .Data(kPackedAaaa)
                 .U32(0)
                 .U32(0)
                 .U32(0)
                 .NoSegments()
                 .bytes;
         },
         0,
         [](const CSetupInfo& info) {
             EXPECT_NE(info.m_pImages[0], nullptr);  // what came before stays
             EXPECT_EQ(info.m_pImages[1], nullptr);
             EXPECT_EQ(info.m_pImages[2], nullptr);  // nothing after is read
             EXPECT_EQ(info.m_Archives[0].position, 0);
         }},
        {"a malformed picture item stops the read",
         [] {
             // One stored block that claims 5 bytes but brings 1.
             return Raw()
                 .Strings()
                 .U32(0)
                 .Data({5, 0, 5, 0, 'A'})
                 .U32(0)
                 .U32(0)
                 .U32(0)
                 .U32(0)
                 .U32(0)
                 .NoSegments()
                 .bytes;
         },
         0, [](const CSetupInfo& info) { EXPECT_EQ(info.m_pImages[0], nullptr); }},
        {"a text of 259 bytes fills its field",
         [&] {
             return Raw()
                 .Text(k259)
                 .Text("v")
                 .Text("k")
                 .Text(k259)
                 .Text("m")
                 .U32(0)
                 .NoPictures()
                 .NoSegments()
                 .bytes;
         },
         1,
         [&](const CSetupInfo& info) {
             EXPECT_EQ(std::string(info.m_szProductName), k259);
             EXPECT_EQ(info.m_szInstallDir[259], '\0');
             EXPECT_STREQ(info.m_szMenuFolder, "m");
         }},
        {"a text of 260 bytes has no room",
         [] {
             return Raw()
                 .Text("p")
                 .Text(std::string(260, 'y'))
                 .Text("k")
                 .Text("d")
                 .Text("m")
                 .U32(0)
                 .NoPictures()
                 .NoSegments()
                 .bytes;
         },
         0,
         [](const CSetupInfo& info) {
             EXPECT_STREQ(info.m_szProductName, "p");
             EXPECT_STREQ(info.m_szVersion, "");
             EXPECT_STREQ(info.m_szPublisherKey, "");
         }},
        {"a shortcut text of 260 bytes has no room",
         [] {
             return Raw()
                 .Strings()
                 .U32(1)
                 .Text(std::string(260, 'y'))
                 .Text("t")
                 .Text("i")
                 .U32(0)
                 .NoPictures()
                 .NoSegments()
                 .bytes;
         },
         0, [](const CSetupInfo& info) { EXPECT_STREQ(info.m_Shortcuts[0].linkName, ""); }},
        {"a segment ending exactly at the end of the file",
         [] {
             return Raw().Strings().U32(0).NoPictures().Data({1, 2}).Data({}).Data({3}).bytes;
         },
         1,
         [](const CSetupInfo& info) {
             EXPECT_EQ(info.m_Archives[1].position, 5 * 5 + 4 + 6 * 4 + 4 + 2 + 4);
             EXPECT_EQ(info.m_Uninstaller.size, 1);
         }},
        {"a negative segment size",
         [] { return Raw().Strings().U32(0).NoPictures().U32(0x80000000).U32(0).U32(0).bytes; }, 0,
         [](const CSetupInfo& info) {
             EXPECT_EQ(info.m_Archives[0].size, 0);
             EXPECT_EQ(info.m_Archives[0].position, 0);
         }},
        {"a ZIP segment that runs past the end of the file",
         [] {
             return Raw().Strings().U32(0).NoPictures().Data({1, 2}).U32(100).bytes;
         },
         0,
         [](const CSetupInfo& info) {
             EXPECT_EQ(info.m_Archives[0].size, 2);
             EXPECT_EQ(info.m_Archives[1].size, 0);
             EXPECT_EQ(info.m_Archives[1].position, 0);
         }},
        {"an uninstaller that runs past the end of the file",
         [] { return Raw().Strings().U32(0).NoPictures().U32(0).U32(0).U32(5).U32(0).bytes; }, 0,
         [](const CSetupInfo& info) { EXPECT_EQ(info.m_Uninstaller.size, 0); }},
        {"nothing after the program image", [] { return Bytes(); }, 0,
         [](const CSetupInfo& info) {
             EXPECT_STREQ(info.m_szProductName, "");
             EXPECT_STREQ(info.m_szMenuFolder, "");
             EXPECT_EQ(info.m_nShortcuts, 0);
             for (uint8_t* image : info.m_pImages) EXPECT_EQ(image, nullptr);
             EXPECT_EQ(info.m_Archives[0].size, 0);
             EXPECT_EQ(info.m_Archives[1].size, 0);
             EXPECT_EQ(info.m_Uninstaller.size, 0);
         }},
    };
    for (const EdgeCase& c : cases) {
        SCOPED_TRACE(c.name);
        CSetupInfo info;
        EXPECT_EQ(Read(c.make(), &info), c.result);
        c.check(info);
    }
}

// The reader keeps a picture's bytes whatever they hold (whether it can be
// drawn is the wizard's concern) and records its decoded length, which is all
// that bounds a picture whose headers claim more.
TEST_F(PayloadReaderTest, PicturesAreKeptWithTheirDecodedLength) {
    Bytes claimsMore = Filled(80, 0x40);
    const uint8_t header[6] = {'B', 'M', 0, 0, 0x10, 0};  // file size 1 MiB
    std::copy(header, header + 6, claimsMore.begin());
    const struct {
        const char* name;
        Bytes picture;
    } cases[] = {
        {"a BMP whose file-size field claims 1 MiB", claimsMore},
        {"a lone \"B\"", {'B'}},
        {"not a BMP", Filled(10, 'a')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Raw r;
        r.Strings().U32(0).Data(StoredItem(c.picture));
        for (int i = 1; i < kImageCount; ++i) r.U32(0);
        CSetupInfo info;
        ASSERT_EQ(Read(r.NoSegments().bytes, &info), 1);
        ASSERT_NE(info.m_pImages[0], nullptr);
        EXPECT_EQ(info.m_nImageSizes[0], int32_t(c.picture.size()));
        EXPECT_TRUE(std::equal(c.picture.begin(), c.picture.end(), info.m_pImages[0]));
        EXPECT_EQ(info.m_nImageSizes[1], 0);
    }
}

TEST_F(PayloadReaderTest, ReadingAgainReplacesTheFirstRecord) {
    CSetupInfo info;
    ASSERT_EQ(Read(Serialized(SamplePayload()), &info), 1);
    Payload small;
    small.productName = "x";
    ASSERT_EQ(Read(Serialized(small), &info), 1);  // leak-free under ASan
    EXPECT_EQ(info.m_nShortcuts, 0);
    EXPECT_STREQ(info.m_Shortcuts[0].linkName, "");
    for (uint8_t* image : info.m_pImages) EXPECT_EQ(image, nullptr);
}

TEST_F(PayloadReaderTest, ClosedStreamFailsAtTheFirstText) {
    CSetupInfo info;
    CFileStream closed;
    uint8_t* slot = reinterpret_cast<uint8_t*>(&info);  // any stale value
    EXPECT_EQ(info.ReadImage(&slot, closed), -1);
    EXPECT_EQ(slot, nullptr);
    EXPECT_EQ(info.ReadHeader(closed), 0);
    EXPECT_STREQ(info.m_szProductName, "");
}

// What the reader must leave when the file ends at offset cut: each field read
// whole up to the cut, a text cut inside keeps the bytes that arrived, and
// everything after stays as the constructor left it.
class CutModel {
  public:
    explicit CutModel(const Payload& p) {
        for (const std::string* s :
             {&p.productName, &p.version, &p.publisherKey, &p.installDir, &p.menuFolder})
            m_textStarts.push_back(Take(4 + s->size()));
        m_countEnd = Take(4) + 4;
        for (const PayloadShortcut& s : p.shortcuts) {
            m_textStarts.push_back(Take(4 + s.linkName.size()));
            m_textStarts.push_back(Take(4 + s.target.size()));
            m_textStarts.push_back(Take(4 + s.icon.size()));
            m_locationEnds.push_back(Take(4) + 4);
        }
        for (const Bytes& image : p.images)
            m_imageEnds.push_back(Take(4 + image.size()) + 4 + image.size());
        for (const Bytes& archive : p.archives)
            m_segmentEnds.push_back(Take(4 + archive.size()) + 4 + archive.size());
        m_segmentEnds.push_back(Take(4 + p.uninstaller.size()) + 4 + p.uninstaller.size());
    }

    int64_t size() const { return m_end; }

    void Check(const CSetupInfo& info, const CSetupInfo& full, int64_t cut) const {
        for (size_t i = 0; i < m_textStarts.size(); ++i) {
            const char* want = Text(full, i);
            int64_t arrived = std::max<int64_t>(0, cut - (m_textStarts[i] + 4));
            size_t length = std::min<size_t>(strlen(want), size_t(arrived));
            EXPECT_EQ(std::string(Text(info, i)), std::string(want, length)) << "text " << i;
        }
        EXPECT_EQ(info.m_nShortcuts, cut >= m_countEnd ? full.m_nShortcuts : 0);
        for (size_t i = 0; i < m_locationEnds.size(); ++i)
            EXPECT_EQ(info.m_Shortcuts[i].location,
                      cut >= m_locationEnds[i] ? full.m_Shortcuts[i].location : 0);
        for (int i = 0; i < kImageCount; ++i)
            EXPECT_EQ(info.m_pImages[i] != nullptr,
                      cut >= m_imageEnds[i] && full.m_pImages[i] != nullptr)
                << "picture " << i;
        const ArchiveSegment* got[] = {&info.m_Archives[0], &info.m_Archives[1],
                                       &info.m_Uninstaller};
        const ArchiveSegment* want[] = {&full.m_Archives[0], &full.m_Archives[1],
                                        &full.m_Uninstaller};
        for (int k = 0; k < 3; ++k) {
            bool whole = cut >= m_segmentEnds[k];
            EXPECT_EQ(got[k]->position, whole ? want[k]->position : 0) << "segment " << k;
            EXPECT_EQ(got[k]->size, whole ? want[k]->size : 0) << "segment " << k;
        }
    }

  private:
    // Returns where the field starts.
    int64_t Take(size_t bytes) {
        int64_t start = m_end;
        m_end += int64_t(bytes);
        return start;
    }
    static const char* Text(const CSetupInfo& info, size_t i) {
        const char* header[] = {info.m_szProductName, info.m_szVersion, info.m_szPublisherKey,
                                info.m_szInstallDir, info.m_szMenuFolder};
        if (i < 5) return header[i];
        const ShortcutEntry& s = info.m_Shortcuts[(i - 5) / 3];
        return (i - 5) % 3 == 0 ? s.linkName : (i - 5) % 3 == 1 ? s.target : s.icon;
    }

    int64_t m_end = 0;
    std::vector<int64_t> m_textStarts, m_locationEnds, m_imageEnds, m_segmentEnds;
    int64_t m_countEnd = 0;
};

TEST_F(PayloadReaderTest, PayloadCutAtEveryOffsetFailsAndKeepsOnlyWhatArrived) {
    Payload p = SamplePayload();
    Bytes whole = Serialized(p);
    CutModel model(p);
    ASSERT_EQ(model.size(), int64_t(whole.size()));
    CSetupInfo full;
    ASSERT_EQ(Read(whole, &full), 1);
    Bytes stub(kPayloadOffset, 0);
    for (size_t cut = 0; cut < whole.size(); ++cut) {
        SCOPED_TRACE("cut at " + std::to_string(cut));
        CSetupInfo info;
        EXPECT_EQ(Read(Bytes(whole.begin(), whole.begin() + cut), &info), 0);
        model.Check(info, full, int64_t(cut));
        // The builder's own parser refuses the same cut setup image.
        Bytes image(stub.size() + cut, 0);
        std::copy(whole.begin(), whole.begin() + cut, image.begin() + stub.size());
        Payload parsed;
        PayloadLayout layout;
        std::string error;
        EXPECT_FALSE(ParseSetupImage(image, &parsed, &layout, &error));
        EXPECT_NE(error.find("cut off"), std::string::npos) << error;
    }
}

}  // namespace
