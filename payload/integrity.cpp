#include "payload/integrity.h"

#include <string.h>
#include <zlib.h>

#include "payload/byte_order.h"
#include "payload/setup_info.h"
#include "platform/file_stream.h"

namespace {

// Whether the file holds a byte at position - 1, i.e. is at least position
// bytes long. The stream has no size query.
int FileReaches(CFileStream& exe, int64_t position) {
    uint8_t last;
    return exe.Seek(position - 1) && exe.Read(&last, 1) == 1;
}

// CRC-32 of length bytes from start; 0 in *ok when the file ends first.
uint32_t CrcOfRange(CFileStream& exe, int64_t start, int64_t length, int* ok) {
    uint8_t buffer[32768];
    uint32_t crc = 0;
    *ok = exe.Seek(start) ? 1 : 0;
    while (*ok && length > 0) {
        size_t chunk = length < int64_t(sizeof buffer) ? size_t(length) : sizeof buffer;
        if (exe.Read(buffer, chunk) != chunk) *ok = 0;
        crc = Crc32(crc, buffer, chunk);
        length -= int64_t(chunk);
    }
    return crc;
}

}  // namespace

uint32_t Crc32(uint32_t crc, const void* data, size_t size) {
    // zlib takes 32-bit lengths.
    const Bytef* p = static_cast<const Bytef*>(data);
    while (size > 0) {
        uInt chunk = size > 0x40000000 ? 0x40000000 : static_cast<uInt>(size);
        crc = static_cast<uint32_t>(crc32(crc, p, chunk));
        p += chunk;
        size -= chunk;
    }
    return crc;
}

int ParseIntegrityRecord(const uint8_t* bytes, size_t available, IntegrityRecord* record) {
    memset(record, 0, sizeof *record);
    if (available == 0) return kIntegrityAbsent;
    size_t markerBytes = available < sizeof kIntegrityMarker ? available : sizeof kIntegrityMarker;
    if (memcmp(bytes, kIntegrityMarker, markerBytes) != 0) return kIntegrityAbsent;
    // The marker, or as much of it as there is: a record was written here.
    if (available < size_t(kIntegrityRecordSize)) return kIntegrityCutOff;
    record->version = Le32(bytes + 8);
    record->payloadLength = Le32(bytes + 12);
    record->payloadCrc = Le32(bytes + 16);
    return record->version == 0 ? kIntegrityBadVersion : kIntegrityPresent;
}

void FormatIntegrityRecord(uint32_t payloadLength, uint32_t payloadCrc,
                           uint8_t out[kIntegrityRecordSize]) {
    memcpy(out, kIntegrityMarker, sizeof kIntegrityMarker);
    PutLe32(kIntegrityVersion, out + 8);
    PutLe32(payloadLength, out + 12);
    PutLe32(payloadCrc, out + 16);
}

int64_t PayloadEnd(const CSetupInfo& info) {
    if (info.m_Uninstaller.position <= 0) return 0;
    return int64_t(info.m_Uninstaller.position) + info.m_Uninstaller.size;
}

int CheckIntegrity(CFileStream& exe, int64_t payloadEnd) {
    // Without a payload there is nothing to install: the program file alone.
    if (!exe.IsOpen() || payloadEnd <= kPayloadOffset) return 0;
    if (!FileReaches(exe, payloadEnd)) return 0;

    uint8_t bytes[kIntegrityRecordSize];
    if (!exe.Seek(payloadEnd)) return 0;
    size_t available = exe.Read(bytes, sizeof bytes);
    IntegrityRecord record;
    int state = ParseIntegrityRecord(bytes, available, &record);
    if (state == kIntegrityAbsent) return 1;
    if (state != kIntegrityPresent) return 0;
    if (int64_t(record.payloadLength) != payloadEnd - kPayloadOffset) return 0;

    int ok = 0;
    uint32_t crc = CrcOfRange(exe, kPayloadOffset, payloadEnd - kPayloadOffset, &ok);
    return ok && crc == record.payloadCrc ? 1 : 0;
}
