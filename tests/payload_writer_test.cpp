// The builder's payload writer and its parser of setup images.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "payload/setup_info.h"
#include "tools/mksetup/payload_writer.h"
#include "tools/mksetup/setup_file.h"

namespace {

Payload FullPayload() {
    Payload p;
    p.productName = "\xB2\xE2\xCA\xD4";  // 测试
    p.version = "2.0";
    p.publisherKey = "key";
    p.installDir = "D:\\";
    p.menuFolder = "menu";
    for (int i = 0; i < kMaxShortcuts; ++i)
        p.shortcuts.push_back({"l" + std::to_string(i), "t", std::string(259, 'i'), i % 2});
    p.images[1] = {1, 0, 1, 0, 'x'};
    p.images[4] = {4, 0, 2, 0, 0x30, 0xE0};
    p.archives[1] = Bytes(1000, 'z');
    p.uninstaller = {2, 0, 2, 0, 'M', 'Z'};
    return p;
}

void ExpectSamePayload(const Payload& a, const Payload& b) {
    EXPECT_EQ(a.productName, b.productName);
    EXPECT_EQ(a.version, b.version);
    EXPECT_EQ(a.publisherKey, b.publisherKey);
    EXPECT_EQ(a.installDir, b.installDir);
    EXPECT_EQ(a.menuFolder, b.menuFolder);
    ASSERT_EQ(a.shortcuts.size(), b.shortcuts.size());
    for (size_t i = 0; i < a.shortcuts.size(); ++i) {
        EXPECT_EQ(a.shortcuts[i].linkName, b.shortcuts[i].linkName);
        EXPECT_EQ(a.shortcuts[i].target, b.shortcuts[i].target);
        EXPECT_EQ(a.shortcuts[i].icon, b.shortcuts[i].icon);
        EXPECT_EQ(a.shortcuts[i].location, b.shortcuts[i].location);
    }
    for (int i = 0; i < kImageCount; ++i) EXPECT_EQ(a.images[i], b.images[i]) << i;
    EXPECT_EQ(a.archives[0], b.archives[0]);
    EXPECT_EQ(a.archives[1], b.archives[1]);
    EXPECT_EQ(a.uninstaller, b.uninstaller);
}

TEST(PayloadWriterTest, ParserGivesBackWhatTheWriterWrote) {
    Payload p = FullPayload();
    Bytes image, again;
    std::string error;
    ASSERT_TRUE(MakeSetupImage(Bytes(kPayloadOffset, 0xCC), p, &image, &error)) << error;
    Payload parsed;
    PayloadLayout layout;
    ASSERT_TRUE(ParseSetupImage(image, &parsed, &layout, &error)) << error;
    ExpectSamePayload(parsed, p);
    EXPECT_EQ(layout.end, int64_t(image.size()));
    EXPECT_EQ(layout.archives[1].size, 1000);
    EXPECT_EQ(layout.uninstaller.position, int64_t(image.size()) - 6);
    ASSERT_TRUE(MakeSetupImage(Bytes(kPayloadOffset, 0xCC), parsed, &again, &error));
    EXPECT_EQ(again, image);
}

TEST(PayloadWriterTest, RefusesWhatTheInstallerCouldNotRead) {
    struct Case {
        const char* name;
        std::function<void(Payload*)> spoil;
        const char* message;
    } cases[] = {
        {"text over 259 bytes", [](Payload* p) { p->menuFolder.assign(260, 'm'); },
         "menu folder: text of 260 bytes exceeds 259"},
        {"shortcut text over 259 bytes",
         [](Payload* p) { p->shortcuts[3].target.assign(260, 't'); },
         "shortcut 3 target: text of 260 bytes exceeds 259"},
        {"zero byte in a text", [](Payload* p) { p->version = std::string("1\0002", 3); },
         "version: text contains a zero byte"},
        {"nine shortcuts", [](Payload* p) { p->shortcuts.push_back(p->shortcuts[0]); },
         "9 shortcuts: at most 8"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Payload p = FullPayload();
        c.spoil(&p);
        Bytes out;
        std::string error;
        EXPECT_FALSE(SerializePayload(p, &out, &error));
        EXPECT_EQ(error, c.message);
        EXPECT_FALSE(MakeSetupImage(Bytes(), p, &out, &error));
    }
}

TEST(PayloadWriterTest, StubMustFitBeforeThePayload) {
    Bytes out;
    std::string error;
    EXPECT_TRUE(MakeSetupImage(Bytes(kPayloadOffset, 1), Payload(), &out, &error));
    EXPECT_FALSE(MakeSetupImage(Bytes(kPayloadOffset + 1, 1), Payload(), &out, &error));
    EXPECT_NE(error.find("larger than the payload offset"), std::string::npos) << error;
}

TEST(PayloadWriterTest, ParserRefusesWhatTheReaderRefuses) {
    Payload p = FullPayload();
    Bytes image;
    std::string error;
    ASSERT_TRUE(MakeSetupImage(Bytes(), p, &image, &error));
    struct Case {
        const char* name;
        size_t at;  // offset of a 32-bit field to overwrite
        uint32_t value;
        std::string message;  // each names the field's offset, as verify reports it
    } cases[] = {
        {"long text", kPayloadOffset, 260,
         "product name: length field at offset 274432 gives 260 bytes, more than 259"},
        {"too many shortcuts", kPayloadOffset + 4 * 5 + 4 + 3 + 3 + 4 + 3, 9,
         "shortcut count at offset " + std::to_string(kPayloadOffset + 4 * 5 + 4 + 3 + 3 + 4 + 3) +
             " gives 9, more than 8"},
        {"negative size", image.size() - 6 - 4, 0x80000000,
         "uninstaller: size field at offset " + std::to_string(image.size() - 6 - 4) +
             " gives 2147483648, a negative size"},
        {"past the end", image.size() - 6 - 4, 7, "uninstaller: cut off"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes spoiled = image;
        for (int s = 0; s < 4; ++s) spoiled[c.at + s] = uint8_t(c.value >> (8 * s));
        Payload parsed;
        PayloadLayout layout;
        EXPECT_FALSE(ParseSetupImage(spoiled, &parsed, &layout, &error));
        EXPECT_EQ(error.rfind(c.message, 0), 0u) << error;
    }
    Payload parsed;
    PayloadLayout layout;
    EXPECT_FALSE(ParseSetupImage(Bytes(100, 0), &parsed, &layout, &error));
    EXPECT_EQ(error.rfind("no payload", 0), 0u) << error;
}

}  // namespace
