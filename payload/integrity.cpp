#include "payload/integrity.h"

#include <string.h>

#include "payload/setup_info.h"
#include "platform/file_stream.h"

namespace {

// Four tables of 256 entries (slicing by four): 4 KB of zero-initialised
// data, filled on first use, so the check of a large payload at start-up
// costs little more than reading it. Start-up runs on one thread only.
uint32_t g_crcTable[4][256];
bool g_crcTableReady = false;

void BuildCrcTable() {
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        g_crcTable[0][n] = c;
    }
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = g_crcTable[0][n];
        for (int t = 1; t < 4; ++t) {
            c = g_crcTable[0][c & 0xFF] ^ (c >> 8);
            g_crcTable[t][n] = c;
        }
    }
    g_crcTableReady = true;
}

uint32_t Le32(const uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

void PutLe32(uint32_t value, uint8_t* p) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(value >> (8 * i));
}

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
    if (!g_crcTableReady) BuildCrcTable();
    const uint8_t* p = static_cast<const uint8_t*>(data);
    crc = ~crc;
    while (size >= 4) {
        crc ^= Le32(p);
        crc = g_crcTable[3][crc & 0xFF] ^ g_crcTable[2][(crc >> 8) & 0xFF] ^
              g_crcTable[1][(crc >> 16) & 0xFF] ^ g_crcTable[0][crc >> 24];
        p += 4;
        size -= 4;
    }
    while (size--) crc = g_crcTable[0][(crc ^ *p++) & 0xFF] ^ (crc >> 8);
    return ~crc;
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
