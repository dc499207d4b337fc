// The integrity record: 20 bytes that mksetup appends right after the payload
// so that the installer can tell a damaged or cut-off download from a sound
// one before it shows anything.
//
//   offset 0   8 bytes  "SETUPCRC"
//   offset 8   u32      record version (1)
//   offset 12  u32      payload length: bytes from kPayloadOffset to the end
//                       of the uninstaller segment
//   offset 16  u32      CRC-32 (as zlib's crc32) of those payload bytes
//
// All little-endian. The record sits at a position the payload itself gives
// (the end of the uninstaller segment), never at the end of the file: a code
// signature appends padding and a certificate table after it, and changes only
// the program image's PE header, which lies before kPayloadOffset.
//
// Later versions may add fields after these; they keep the first 20 bytes.
#pragma once

#include <stddef.h>
#include <stdint.h>

class CFileStream;
class CSetupInfo;

const char kIntegrityMarker[8] = {'S', 'E', 'T', 'U', 'P', 'C', 'R', 'C'};
const uint32_t kIntegrityVersion = 1;
const int kIntegrityRecordSize = 20;

struct IntegrityRecord {
    uint32_t version;
    uint32_t payloadLength;
    uint32_t payloadCrc;
};

// What follows the payload.
enum IntegrityState {
    kIntegrityAbsent = 0,      // no record: an installer built without one, or other data
    kIntegrityPresent = 1,     // a whole record, filled into *record
    kIntegrityCutOff = 2,      // the file ends inside the record
    kIntegrityBadVersion = 3,  // the marker, but version 0: never written by any builder
};

// Classifies the bytes found at the end of the payload (available of them,
// fewer than a record when the file ends early).
int ParseIntegrityRecord(const uint8_t* bytes, size_t available, IntegrityRecord* record);

void FormatIntegrityRecord(uint32_t payloadLength, uint32_t payloadCrc,
                           uint8_t out[kIntegrityRecordSize]);

// zlib's CRC-32 over any length; a running value can be passed back in.
uint32_t Crc32(uint32_t crc, const void* data, size_t size);

// First byte after the payload, from a record that ReadHeader filled: the
// end of the uninstaller segment. 0 when the record holds no segment.
int64_t PayloadEnd(const CSetupInfo& info);

// The start-up check, after ReadHeader: 1 when the payload is whole (the
// record matches it, or there is no record and the file holds every byte the
// payload claims); 0 when the file is damaged or cut off. Moves the stream.
int CheckIntegrity(CFileStream& exe, int64_t payloadEnd);
