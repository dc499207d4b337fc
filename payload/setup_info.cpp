// The payload reader: fills the record from the bytes appended to the
// installer's own program file.
#include "payload/setup_info.h"

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "payload/byte_order.h"
#include "payload/lz_decoder.h"
#include "platform/file_stream.h"

namespace {

const uint32_t kMaxText = kFieldSize - 1;

void FreeImages(CSetupInfo* info) {
    for (int i = 0; i < kImageCount; ++i) {
        free(info->m_pImages[i]);
        info->m_pImages[i] = nullptr;
        info->m_nImageSizes[i] = 0;
    }
}

// Member by member: the record has a vtable, so it must not be memset whole.
void ZeroRecord(CSetupInfo* info) {
    memset(info->m_szProductName, 0, sizeof info->m_szProductName);
    memset(info->m_szVersion, 0, sizeof info->m_szVersion);
    memset(info->m_szPublisherKey, 0, sizeof info->m_szPublisherKey);
    memset(info->m_szInstallDir, 0, sizeof info->m_szInstallDir);
    for (int i = 0; i < kImageCount; ++i) {
        info->m_pImages[i] = nullptr;
        info->m_nImageSizes[i] = 0;
    }
    memset(info->m_szMenuFolder, 0, sizeof info->m_szMenuFolder);
    info->m_nShortcuts = 0;
    memset(info->m_Shortcuts, 0, sizeof info->m_Shortcuts);
    memset(info->m_Archives, 0, sizeof info->m_Archives);
    memset(&info->m_Uninstaller, 0, sizeof info->m_Uninstaller);
}

// A little-endian 32-bit field; a short read leaves 0, never a part of the
// bytes, so a cut-off payload cannot produce a stray count or size.
int ReadUInt32(CFileStream& in, uint32_t* value) {
    uint8_t bytes[4] = {0, 0, 0, 0};
    *value = 0;
    if (in.Read(bytes, sizeof bytes) != sizeof bytes) return 0;
    *value = Le32(bytes);
    return 1;
}

int ReadInt32(CFileStream& in, int32_t* value) {
    uint32_t raw = 0;
    int ok = ReadUInt32(in, &raw);
    *value = static_cast<int32_t>(raw);
    return ok;
}

// Whether the file holds count more bytes from the current position. The
// stream has no size query, so the last byte is read and the position
// restored. A size field of a damaged payload may claim gigabytes: this keeps
// the reader from allocating for, or passing over, bytes that are not there.
int HasBytesAhead(CFileStream& in, int64_t count) {
    if (count <= 0) return 1;
    int64_t here = in.Tell();
    if (here < 0 || !in.Seek(here + count - 1)) return 0;
    uint8_t last;
    if (in.Read(&last, 1) != 1) return 0;
    return in.Seek(here) ? 1 : 0;
}

// A ZIP segment or the packed uninstaller: only located, then passed over.
// Positions are signed 32-bit offsets, so a segment must start below 2 GiB.
int LocateSegment(CFileStream& in, ArchiveSegment* segment) {
    uint32_t size = 0;
    if (!ReadUInt32(in, &size)) return 0;
    int64_t position = in.Tell();
    if (size > INT32_MAX || position < 0 || position > INT32_MAX) return 0;
    if (!HasBytesAhead(in, size) || !in.SeekBy(size)) return 0;
    segment->position = static_cast<int32_t>(position);
    segment->size = static_cast<int32_t>(size);
    return 1;
}

int ReadShortcut(CSetupInfo* info, ShortcutEntry* entry, CFileStream& in) {
    return info->ReadString(entry->linkName, in) && info->ReadString(entry->target, in) &&
           info->ReadString(entry->icon, in) && ReadInt32(in, &entry->location);
}

}  // namespace

CSetupInfo::CSetupInfo() { ZeroRecord(this); }

CSetupInfo::~CSetupInfo() { FreeImages(this); }

int CSetupInfo::ReadHeader(CFileStream& in) {
    // A record read twice must not keep pictures or entries of the first read.
    FreeImages(this);
    ZeroRecord(this);

    if (!ReadString(m_szProductName, in) || !ReadString(m_szVersion, in) ||
        !ReadString(m_szPublisherKey, in) || !ReadString(m_szInstallDir, in) ||
        !ReadString(m_szMenuFolder, in))
        return 0;

    int32_t count = 0;
    if (!ReadInt32(in, &count)) return 0;
    if (count > kMaxShortcuts) return 0;  // no room: the entries would overrun the table
    m_nShortcuts = count < 0 ? 0 : count;
    for (int i = 0; i < m_nShortcuts; ++i)
        if (!ReadShortcut(this, &m_Shortcuts[i], in)) return 0;

    for (int i = 0; i < kImageCount; ++i) {
        int32_t size = ReadImage(&m_pImages[i], in);
        if (size < 0) return 0;
        m_nImageSizes[i] = size;
    }

    for (int k = 0; k < 2; ++k)
        if (!LocateSegment(in, &m_Archives[k])) return 0;
    if (!LocateSegment(in, &m_Uninstaller)) return 0;
    return 1;
}

int CSetupInfo::ReadString(char field[kFieldSize], CFileStream& in) {
    memset(field, 0, kFieldSize);
    uint32_t length = 0;
    if (!ReadUInt32(in, &length)) return 0;
    if (length > kMaxText) return 0;
    // On a short read the bytes that did arrive stay, followed by zeros.
    return in.Read(field, length) == length ? 1 : 0;
}

int CSetupInfo::ReadImage(uint8_t** slot, CFileStream& in) {
    *slot = nullptr;
    if (!in.IsOpen()) return -1;

    uint32_t size = 0;
    if (!ReadUInt32(in, &size)) return -1;
    if (size == 0) return 0;
    if (size > INT32_MAX || !HasBytesAhead(in, size)) return -1;

    uint8_t* packed = static_cast<uint8_t*>(malloc(size));
    if (!packed) return -1;
    if (in.Read(packed, size) != size) {
        free(packed);
        return -1;
    }
    uint8_t* scratch = static_cast<uint8_t*>(malloc(kMaxImageBytes));
    if (!scratch) {
        free(packed);
        return -1;
    }

    CLzDecoder decoder;
    int32_t n = decoder.DecodeBuffer(scratch, kMaxImageBytes, packed, static_cast<int32_t>(size));
    free(packed);
    if (n <= 0) {
        free(scratch);
        return n;
    }
    uint8_t* image = static_cast<uint8_t*>(malloc(n));
    if (image) memcpy(image, scratch, n);
    free(scratch);
    if (!image) return -1;
    *slot = image;
    return n;
}
