// Reading setup images and their parts on the build host. Paths here are host
// paths (UTF-8, '/'); errors are one line saying what is wrong, without the
// file name, for ReportError.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <string>

#include "payload/setup_info.h"
#include "tools/mksetup/payload_writer.h"

// --- Host files --------------------------------------------------------------
bool ReadFileBytes(const std::string& path, Bytes* out, std::string* error);

// The core's ANSI form of a host path (code page 936, '\').
bool HostPathToAnsi(const std::string& host, std::string* ansi, std::string* error);

// An output written under a temporary name in its own directory and renamed
// into place by Commit, so a failed command leaves neither a partial file nor
// a damaged old one. Uncommitted, the temporary file goes with the object.
class PendingFile {
  public:
    PendingFile() = default;
    ~PendingFile();
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    bool Create(const std::string& path, std::string* error);
    const std::string& tempPath() const { return m_temp; }  // host path, exists after Create
    bool Commit(std::string* error);

  private:
    std::string m_path, m_temp;
};

bool WriteFileAtomically(const std::string& path, const Bytes& bytes, std::string* error);

// --- Packed items ------------------------------------------------------------
// Decodes a whole item of the block format; false for a malformed or cut-off
// item or one that decodes to more than maxDecoded bytes.
bool DecodeItem(const uint8_t* packed, size_t size, size_t maxDecoded, Bytes* decoded,
                std::string* error);

// An uninstaller larger than this is no uninstaller but a damaged size field;
// decoding stops there rather than allocate what the field claims.
const size_t kMaxUninstallerBytes = 256u << 20;

// --- Pictures ----------------------------------------------------------------
struct BmpInfo {
    int32_t width = 0;
    int32_t height = 0;  // negative: rows stored top-down
    uint16_t bitCount = 0;
    uint32_t compression = 0;
    uint32_t fileSizeField = 0;  // should equal the decoded length
};
// False when the bytes do not begin with a BMP file header and an info header.
bool DescribeBmp(const Bytes& bmp, BmpInfo* info);

// --- Setup images ------------------------------------------------------------
// Where the payload's parts lie, as file offsets.
struct PayloadLayout {
    int64_t imageAt[kImageCount] = {};  // each picture's size field
    ArchiveSegment archives[2] = {};    // data position and size, as the installer notes them
    ArchiveSegment uninstaller = {};
    int64_t end = 0;  // first byte after the payload
};

// Splits a whole setup image (program image, then the payload at
// kPayloadOffset) into the writer's form, with the same limits as the
// installer's reader, but it does not decode the pictures. A negative
// shortcut count reads as no shortcuts, as the installer reads it.
bool ParseSetupImage(const Bytes& image, Payload* payload, PayloadLayout* layout,
                     std::string* error);

// ReadFileBytes and ParseSetupImage in one.
bool LoadSetupImage(const std::string& path, Bytes* image, Payload* payload, PayloadLayout* layout,
                    std::string* error);

// Reads the payload with the installer's own reader, as the installer does at
// start-up. On failure the error says why the installer would refuse it.
bool LoadSetup(const std::string& path, CSetupInfo* info, std::string* error);
