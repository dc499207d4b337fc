#include "tools/mksetup/setup_file.h"

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "payload/lz_decoder.h"
#include "payload/byte_order.h"
#include "platform/file_stream.h"
#include "platform/platform.h"

namespace {

const size_t kMaxText = kFieldSize - 1;

std::string SystemError(const std::string& what) { return what + ": " + strerror(errno); }

// Reads the payload as the installer does, but says what is wrong.
class PayloadCursor {
  public:
    PayloadCursor(const Bytes& image, std::string* error) : m_image(image), m_error(error) {}

    size_t pos() const { return m_pos; }
    void Start(size_t pos) { m_pos = pos; }

    bool Take(size_t count, const std::string& what, const uint8_t** data) {
        if (m_image.size() - m_pos < count) {
            *m_error = what + ": cut off by the end of the file at offset " +
                       std::to_string(m_image.size()) + " (" + std::to_string(count) +
                       " bytes needed from offset " + std::to_string(m_pos) + ")";
            return false;
        }
        *data = m_image.data() + m_pos;
        m_pos += count;
        return true;
    }

    bool UInt32(const std::string& what, uint32_t* value) {
        const uint8_t* p;
        if (!Take(4, what, &p)) return false;
        *value = Le32(p);
        return true;
    }

    bool Text(const std::string& what, std::string* text) {
        uint32_t length;
        if (!UInt32(what, &length)) return false;
        if (length > kMaxText) {
            *m_error = what + ": length field at offset " + std::to_string(m_pos - 4) + " gives " +
                       std::to_string(length) + " bytes, more than " + std::to_string(kMaxText);
            return false;
        }
        const uint8_t* p;
        if (!Take(length, what, &p)) return false;
        text->assign(reinterpret_cast<const char*>(p), length);
        return true;
    }

    // A size field and its bytes; the installer takes sizes as signed 32-bit.
    bool Sized(const std::string& what, Bytes* data, ArchiveSegment* segment) {
        uint32_t size;
        if (!UInt32(what + " size", &size)) return false;
        if (size > static_cast<uint32_t>(INT32_MAX)) {
            *m_error = what + ": size field at offset " + std::to_string(m_pos - 4) + " gives " +
                       std::to_string(size) + ", a negative size";
            return false;
        }
        if (m_pos > static_cast<size_t>(INT32_MAX)) {
            *m_error = what + ": starts beyond 2 GiB";
            return false;
        }
        segment->position = static_cast<int32_t>(m_pos);
        segment->size = static_cast<int32_t>(size);
        const uint8_t* p;
        if (!Take(size, what, &p)) return false;
        data->assign(p, p + size);
        return true;
    }

  private:
    const Bytes& m_image;
    std::string* m_error;
    size_t m_pos = 0;
};

bool ParseShortcuts(PayloadCursor& cursor, Payload* payload, std::string* error) {
    uint32_t raw;
    if (!cursor.UInt32("shortcut count", &raw)) return false;
    int32_t count = static_cast<int32_t>(raw);
    if (count > kMaxShortcuts) {
        *error = "shortcut count at offset " + std::to_string(cursor.pos() - 4) + " gives " +
                 std::to_string(count) + ", more than " + std::to_string(kMaxShortcuts);
        return false;
    }
    for (int32_t i = 0; i < count; ++i) {
        std::string what = "shortcut " + std::to_string(i);
        PayloadShortcut s;
        uint32_t location;
        if (!cursor.Text(what + " link name", &s.linkName) ||
            !cursor.Text(what + " target", &s.target) || !cursor.Text(what + " icon", &s.icon) ||
            !cursor.UInt32(what + " location", &location))
            return false;
        s.location = static_cast<int32_t>(location);
        payload->shortcuts.push_back(s);
    }
    return true;
}

// Why the installer's reader refused a payload that parses: a picture.
std::string ExplainRefusal(const std::string& path) {
    Bytes image;
    Payload payload;
    PayloadLayout layout;
    std::string error;
    if (!LoadSetupImage(path, &image, &payload, &layout, &error)) return error;
    for (int i = 0; i < kImageCount; ++i) {
        const Bytes& packed = payload.images[i];
        Bytes decoded;
        if (!DecodeItem(packed.data(), packed.size(), kMaxImageBytes, &decoded, &error))
            return "picture " + std::to_string(i) + ": " + error;
    }
    return "the payload cannot be read";
}

}  // namespace

bool ReadFileBytes(const std::string& path, Bytes* out, std::string* error) {
    out->clear();
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) {
        *error = SystemError("cannot open");
        return false;
    }
    uint8_t buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0)
        out->insert(out->end(), buffer, buffer + n);
    bool ok = !ferror(f);
    if (!ok) *error = SystemError("cannot read");
    fclose(f);
    return ok;
}

bool HostPathToAnsi(const std::string& host, std::string* ansi, std::string* error) {
    char buffer[4096];
    if (!plat::HostToAnsi(host.c_str(), buffer, sizeof buffer)) {
        *error = "the name cannot be written in code page 936";
        return false;
    }
    ansi->assign(buffer);
    return true;
}

PendingFile::~PendingFile() {
    if (!m_temp.empty()) unlink(m_temp.c_str());
}

bool PendingFile::Create(const std::string& path, std::string* error) {
    size_t slash = path.rfind('/');
    std::string dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string pattern = dir + "." + name + ".XXXXXX";
    int fd = mkstemp(&pattern[0]);
    if (fd < 0) {
        *error = SystemError("cannot create a file beside it");
        return false;
    }
    // mkstemp makes the file private; the output gets the usual permissions.
    mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    close(fd);
    m_path = path;
    m_temp = pattern;
    return true;
}

bool PendingFile::Commit(std::string* error) {
    if (rename(m_temp.c_str(), m_path.c_str()) != 0) {
        *error = SystemError("cannot write");
        return false;
    }
    m_temp.clear();
    return true;
}

bool WriteFileAtomically(const std::string& path, const Bytes& bytes, std::string* error) {
    PendingFile pending;
    if (!pending.Create(path, error)) return false;
    FILE* f = fopen(pending.tempPath().c_str(), "wb");
    if (!f) {
        *error = SystemError("cannot write");
        return false;
    }
    bool ok = bytes.empty() || fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    if (!ok) *error = SystemError("cannot write");
    if (fclose(f) != 0 && ok) {
        *error = SystemError("cannot write");
        ok = false;
    }
    return ok && pending.Commit(error);
}

bool DecodeItem(const uint8_t* packed, size_t size, size_t maxDecoded, Bytes* decoded,
                std::string* error) {
    decoded->clear();
    if (size > static_cast<size_t>(INT32_MAX)) {
        *error = "packed item of " + std::to_string(size) + " bytes is too large";
        return false;
    }
    if (maxDecoded > static_cast<size_t>(INT32_MAX)) maxDecoded = INT32_MAX;
    // The item has no header: its decoded size is the sum of its blocks'.
    size_t total = 0, at = 0;
    while (at < size) {
        if (size - at < 4) {
            *error = "block header cut off at byte " + std::to_string(at) + " of the item";
            return false;
        }
        uint16_t r = Le16(packed + at), k = Le16(packed + at + 2);
        size_t raw = r ? r : kBlockSize;
        size_t data = k ? k : raw;
        total += raw;
        if (total > maxDecoded) {
            *error = "decodes to more than " + std::to_string(maxDecoded) + " bytes";
            return false;
        }
        if (size - at - 4 < data) {
            *error = "block at byte " + std::to_string(at) + " runs past the end of the item";
            return false;
        }
        at += 4 + data;
    }
    decoded->resize(total);
    CLzDecoder decoder;
    int32_t n = decoder.DecodeBuffer(decoded->data(), static_cast<int32_t>(total), packed,
                                     static_cast<int32_t>(size));
    if (n != static_cast<int32_t>(total)) {
        decoded->clear();
        *error = "malformed packed item";
        return false;
    }
    return true;
}

bool DescribeBmp(const Bytes& bmp, BmpInfo* info) {
    const size_t kFileHeader = 14, kInfoHeader = 40;
    if (bmp.size() < kFileHeader + kInfoHeader || bmp[0] != 'B' || bmp[1] != 'M') return false;
    const uint8_t* h = bmp.data() + kFileHeader;
    if (Le32(h) < kInfoHeader) return false;
    info->fileSizeField = Le32(bmp.data() + 2);
    info->width = static_cast<int32_t>(Le32(h + 4));
    info->height = static_cast<int32_t>(Le32(h + 8));
    info->bitCount = Le16(h + 14);
    info->compression = Le32(h + 16);
    return true;
}

bool ParseSetupImage(const Bytes& image, Payload* payload, PayloadLayout* layout,
                     std::string* error) {
    *payload = Payload();
    *layout = PayloadLayout();
    if (image.size() < static_cast<size_t>(kPayloadOffset)) {
        *error = "no payload: the file has " + std::to_string(image.size()) +
                 " bytes, the payload starts at " + std::to_string(kPayloadOffset);
        return false;
    }
    PayloadCursor cursor(image, error);
    cursor.Start(kPayloadOffset);
    if (!cursor.Text("product name", &payload->productName) ||
        !cursor.Text("version", &payload->version) ||
        !cursor.Text("publisher key", &payload->publisherKey) ||
        !cursor.Text("installation directory", &payload->installDir) ||
        !cursor.Text("menu folder", &payload->menuFolder) ||
        !ParseShortcuts(cursor, payload, error))
        return false;
    for (int i = 0; i < kImageCount; ++i) {
        layout->imageAt[i] = cursor.pos();
        ArchiveSegment ignored;
        if (!cursor.Sized("picture " + std::to_string(i), &payload->images[i], &ignored))
            return false;
    }
    for (int k = 0; k < 2; ++k)
        if (!cursor.Sized("archive " + std::to_string(k), &payload->archives[k],
                          &layout->archives[k]))
            return false;
    if (!cursor.Sized("uninstaller", &payload->uninstaller, &layout->uninstaller)) return false;
    layout->end = cursor.pos();
    return true;
}

bool LoadSetupImage(const std::string& path, Bytes* image, Payload* payload, PayloadLayout* layout,
                    std::string* error) {
    return ReadFileBytes(path, image, error) && ParseSetupImage(*image, payload, layout, error);
}

bool LoadSetup(const std::string& path, CSetupInfo* info, std::string* error) {
    std::string ansi;
    if (!HostPathToAnsi(path, &ansi, error)) return false;
    CFileStream in;
    if (!in.Open(ansi.c_str(), CFileStream::kRead)) {
        *error = SystemError("cannot open");
        return false;
    }
    if (in.Seek(kPayloadOffset) && info->ReadHeader(in)) return true;
    *error = ExplainRefusal(path);
    return false;
}
