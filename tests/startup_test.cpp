// Start-up: the payload is read, the default directory prepared, and the
// wizard run only for a payload that could be read.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "install/install_log.h"
#include "payload/integrity.h"
#include "payload/setup_info.h"
#include "tests/support/test_support.h"
#include "tools/mksetup/payload_writer.h"
#include "ui/startup.h"
#include "ui/texts.h"

using testing_support::Ansi;
using testing_support::TempDir;

namespace {

class RecordingShell : public ui::CStartupShell {
  public:
    void ShowMessage(const char* text) override { messages.push_back(text); }
    void RunWizard() override { ++wizardRuns; }
    std::vector<std::string> messages;
    int wizardRuns = 0;
};

bool IsDirectory(const std::string& hostPath) {
    struct stat st;
    return stat(hostPath.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

class StartupTest : public ::testing::Test {
  protected:
    void TearDown() override { SetLogOwner(nullptr); }

    // An installer file: no program image, then the payload.
    std::string WriteInstaller(const Payload& payload) {
        Bytes image;
        std::string error;
        EXPECT_TRUE(MakeSetupImage(Bytes(), payload, &image, &error)) << error;
        std::string path = m_temp.Join("setup.exe");
        testing_support::WriteHostFile(path, image);
        return path;
    }
    int Run(const std::string& exeHost) {
        return ui::RunStartup(Ansi(exeHost).c_str(), m_info, m_shell);
    }

    TempDir m_temp;
    CSetupInfo m_info;
    RecordingShell m_shell;
};

TEST_F(StartupTest, ReadablePayloadRunsTheWizardAndMakesTheDefaultDirectory) {
    Payload payload;
    payload.productName = "Demo";
    payload.installDir = Ansi(m_temp.Join("App"));
    EXPECT_EQ(1, Run(WriteInstaller(payload)));
    EXPECT_EQ(1, m_shell.wizardRuns);
    EXPECT_TRUE(m_shell.messages.empty());
    EXPECT_STREQ("Demo", m_info.m_szProductName);
    EXPECT_TRUE(IsDirectory(m_temp.Join("App")));
}

TEST_F(StartupTest, EmptyDefaultDirectoryIsRemovedAndAFullOneKept) {
    Payload payload;
    payload.installDir = Ansi(m_temp.Join("App"));
    ASSERT_EQ(0, mkdir(m_temp.Join("App").c_str(), 0755));
    std::string exe = WriteInstaller(payload);
    EXPECT_EQ(1, Run(exe));
    EXPECT_FALSE(IsDirectory(m_temp.Join("App")));

    ASSERT_EQ(0, mkdir(m_temp.Join("App").c_str(), 0755));
    testing_support::WriteHostFile(m_temp.Join("App/kept.txt"), "x");
    CSetupInfo again;
    EXPECT_EQ(1, ui::RunStartup(Ansi(exe).c_str(), again, m_shell));
    EXPECT_TRUE(IsDirectory(m_temp.Join("App")));
}

TEST_F(StartupTest, UnreadablePayloadIsToldAndNoWizardShown) {
    enum Damage { kMissing, kDamagedPicture, kCutOff, kChangedByte };
    struct Case {
        const char* what;
        Damage damage;
    };
    const Case cases[] = {{"missing executable", kMissing},
                          {"damaged picture", kDamagedPicture},
                          {"download cut off in an archive", kCutOff},
                          {"a byte changed in an archive", kChangedByte}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RecordingShell shell;
        CSetupInfo info;
        std::string exe = m_temp.Join("missing.exe");
        Payload payload;
        payload.installDir = Ansi(m_temp.Join("Never"));
        if (c.damage == kDamagedPicture) {
            // A stored block claiming more bytes than the item holds.
            payload.images[0] = {0x10, 0x00, 0x10, 0x00, 'B', 'M'};
            exe = WriteInstaller(payload);
        } else if (c.damage == kCutOff) {
            payload.archives[0] = Bytes(4096, 'Z');
            exe = WriteInstaller(payload);
            ASSERT_EQ(0, truncate(exe.c_str(), kPayloadOffset + 2048));
        } else if (c.damage == kChangedByte) {
            // Sound in its layout, with the builder's record behind it.
            payload.archives[0] = Bytes(4096, 'Z');
            Bytes image;
            std::string error;
            ASSERT_TRUE(MakeSetupImage(Bytes(), payload, &image, &error)) << error;
            size_t payloadLength = image.size() - kPayloadOffset;
            uint8_t record[kIntegrityRecordSize];
            FormatIntegrityRecord(static_cast<uint32_t>(payloadLength),
                                  Crc32(0, image.data() + kPayloadOffset, payloadLength), record);
            image.insert(image.end(), record, record + sizeof record);
            image[image.size() - sizeof record - 100] ^= 1;  // inside the first archive
            exe = m_temp.Join("changed.exe");
            testing_support::WriteHostFile(exe, image);
        }
        EXPECT_EQ(0, ui::RunStartup(Ansi(exe).c_str(), info, shell));
        EXPECT_EQ(0, shell.wizardRuns);
        EXPECT_EQ(std::vector<std::string>{texts::kPayloadDamaged}, shell.messages);
        EXPECT_FALSE(IsDirectory(m_temp.Join("Never")));
    }
}

}  // namespace
