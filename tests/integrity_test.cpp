// The integrity record after the payload and the start-up check that reads
// it through the installer's own file stream.
#include "payload/integrity.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>

#include "payload/setup_info.h"
#include "platform/file_stream.h"
#include "tests/support/test_support.h"
#include "tools/mksetup/payload_writer.h"

namespace {

using testing_support::Ansi;
using testing_support::TempDir;
using testing_support::WriteHostFile;

Bytes RandomBytes(size_t n, unsigned seed) {
    std::mt19937 random(seed);
    Bytes bytes(n);
    for (uint8_t& b : bytes) b = uint8_t(random());
    return bytes;
}

TEST(Crc32, EqualsZlibForEveryAlignmentAndInPieces) {
    Bytes data = RandomBytes(10007, 1);
    for (size_t start : {0, 1, 2, 3}) {
        for (size_t n : {0, 1, 3, 4, 5, 1000, 9999}) {
            uint32_t expected = uint32_t(crc32(0, data.data() + start, uInt(n)));
            EXPECT_EQ(Crc32(0, data.data() + start, n), expected) << start << "+" << n;
        }
    }
    uint32_t running = Crc32(0, data.data(), 4001);
    EXPECT_EQ(Crc32(running, data.data() + 4001, 6006), uint32_t(crc32(0, data.data(), 10007)));
}

TEST(ParseIntegrityRecord, TellsAbsentCutOffAndPresent) {
    uint8_t record[kIntegrityRecordSize];
    FormatIntegrityRecord(1234, 0xCAFEF00D, record);
    IntegrityRecord parsed;
    EXPECT_EQ(ParseIntegrityRecord(record, sizeof record, &parsed), kIntegrityPresent);
    EXPECT_EQ(parsed.version, kIntegrityVersion);
    EXPECT_EQ(parsed.payloadLength, 1234u);
    EXPECT_EQ(parsed.payloadCrc, 0xCAFEF00Du);
    // A file cut inside the marker or the fields: the marker's bytes are there.
    for (size_t n : {1, 7, 8, 19})
        EXPECT_EQ(ParseIntegrityRecord(record, n, &parsed), kIntegrityCutOff) << n;
    EXPECT_EQ(ParseIntegrityRecord(record, 0, &parsed), kIntegrityAbsent);
    // A certificate table or anything else right after the payload.
    const uint8_t other[] = {0x08, 0x10, 0, 0, 0, 2, 2, 0, 'S', 'E', 'T', 'U'};
    EXPECT_EQ(ParseIntegrityRecord(other, sizeof other, &parsed), kIntegrityAbsent);
    record[8] = 0;  // version 0
    EXPECT_EQ(ParseIntegrityRecord(record, sizeof record, &parsed), kIntegrityBadVersion);
}

// A setup image as mksetup writes it: program, payload, record; then what the
// test does to it; then the installer's own reading and check.
class CheckIntegrityTest : public ::testing::Test {
  protected:
    void SetUp() override {
        Payload payload;
        payload.productName = "Product";
        payload.archives[0] = RandomBytes(70000, 2);
        payload.archives[1] = RandomBytes(10, 3);
        payload.uninstaller = RandomBytes(300, 4);
        std::string error;
        ASSERT_TRUE(MakeSetupImage(Bytes(1000, 'Z'), payload, &m_image, &error)) << error;
        m_payloadEnd = int64_t(m_image.size());
        size_t length = m_image.size() - kPayloadOffset;
        uint8_t record[kIntegrityRecordSize];
        FormatIntegrityRecord(uint32_t(length), Crc32(0, m_image.data() + kPayloadOffset, length),
                              record);
        m_image.insert(m_image.end(), record, record + sizeof record);
    }

    // ReadHeader then CheckIntegrity, as start-up calls them.
    int Check(const Bytes& image) {
        std::string path = m_dir.Join("setup.exe");
        WriteHostFile(path, image);
        CFileStream in(Ansi(path).c_str(), CFileStream::kRead);
        CSetupInfo info;
        if (!in.Seek(kPayloadOffset) || !info.ReadHeader(in)) return -1;
        EXPECT_EQ(PayloadEnd(info), m_payloadEnd);
        return CheckIntegrity(in, PayloadEnd(info));
    }

    Bytes WithoutRecord() const { return Bytes(m_image.begin(), m_image.begin() + m_payloadEnd); }

    TempDir m_dir;
    Bytes m_image;
    int64_t m_payloadEnd = 0;
};

TEST_F(CheckIntegrityTest, SoundWithTheRecordAndWithout) {
    EXPECT_EQ(Check(m_image), 1);
    EXPECT_EQ(Check(WithoutRecord()), 1);
}

TEST_F(CheckIntegrityTest, DamageAnywhereInThePayloadIsFound) {
    // The record is what catches a changed byte inside an item's data: the
    // reader itself only sees sizes.
    for (int64_t at :
         {int64_t(kPayloadOffset) + 4, int64_t(kPayloadOffset) + 5000, m_payloadEnd - 1}) {
        Bytes damaged = m_image;
        damaged[size_t(at)] ^= 0x01;
        EXPECT_EQ(Check(damaged), 0) << at;
    }
    Bytes wrongLength = m_image;
    wrongLength[size_t(m_payloadEnd) + 12] ^= 0x01;
    EXPECT_EQ(Check(wrongLength), 0);
    Bytes wrongCrc = m_image;
    wrongCrc[size_t(m_payloadEnd) + 19] ^= 0x80;
    EXPECT_EQ(Check(wrongCrc), 0);
}

TEST_F(CheckIntegrityTest, ACutOffFileIsFound) {
    // Inside the record: its marker shows a record was written there.
    for (size_t keep : {1, 8, 19}) {
        Bytes cut(m_image.begin(), m_image.begin() + m_payloadEnd + int64_t(keep));
        EXPECT_EQ(Check(cut), 0) << keep;
    }
    // Inside the last segment: the record's position itself is past the end.
    CFileStream none;
    EXPECT_EQ(CheckIntegrity(none, m_payloadEnd), 0);
    std::string path = m_dir.Join("cut.exe");
    WriteHostFile(path, Bytes(m_image.begin(), m_image.begin() + m_payloadEnd - 10));
    CFileStream in(Ansi(path).c_str(), CFileStream::kRead);
    EXPECT_EQ(CheckIntegrity(in, m_payloadEnd), 0);
}

TEST_F(CheckIntegrityTest, BytesAfterTheRecordAsASignatureAddsAreIgnored) {
    // Authenticode pads the file to 8 bytes and appends the certificate table.
    Bytes signedImage = m_image;
    signedImage.resize((signedImage.size() + 7) & ~size_t(7), 0);
    Bytes certificate = RandomBytes(1500, 5);
    signedImage.insert(signedImage.end(), certificate.begin(), certificate.end());
    EXPECT_EQ(Check(signedImage), 1);
    Bytes unrecorded = WithoutRecord();
    unrecorded.insert(unrecorded.end(), certificate.begin(), certificate.end());
    EXPECT_EQ(Check(unrecorded), 1);
}

TEST(CheckIntegrity, AProgramWithoutPayloadIsNotAnInstaller) {
    TempDir dir;
    std::string path = dir.Join("bare.exe");
    WriteHostFile(path, Bytes(kPayloadOffset, 0));
    CFileStream in(Ansi(path).c_str(), CFileStream::kRead);
    CSetupInfo info;  // as ReadHeader leaves it when nothing follows the program
    EXPECT_EQ(PayloadEnd(info), 0);
    EXPECT_EQ(CheckIntegrity(in, PayloadEnd(info)), 0);
}

}  // namespace
