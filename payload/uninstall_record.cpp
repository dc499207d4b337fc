#include "payload/uninstall_record.h"

#include <string.h>

#include "payload/byte_order.h"
namespace uninstall {
namespace {

// A read position in the record that never runs past its end.
struct Cursor {
    const uint8_t* data;
    size_t left;
};

int TakeU32(Cursor* c, uint32_t* value) {
    if (c->left < 4) return 0;
    *value = Le32(c->data);
    c->data += 4;
    c->left -= 4;
    return 1;
}

// A length-prefixed text. A count that claims more than the bytes left or
// more than a path buffer holds marks a damaged record, and so does a zero
// byte inside the text: it would cut the path short and name another file.
int TakeText(Cursor* c, char text[kRecordText]) {
    uint32_t count = 0;
    if (!TakeU32(c, &count)) return 0;
    if (count >= static_cast<uint32_t>(kRecordText) || count > c->left) return 0;
    if (memchr(c->data, 0, count)) return 0;
    memcpy(text, c->data, count);
    text[count] = '\0';
    c->data += count;
    c->left -= count;
    return 1;
}

int OnlyZeros(const uint8_t* data, size_t size) {
    for (size_t i = 0; i < size; ++i) {
        if (data[i]) return 0;
    }
    return 1;
}

int ParseFields(Cursor* c, UninstallRecord* record) {
    if (!TakeText(c, record->productName) || !TakeText(c, record->version)) return 0;
    uint32_t count = 0;
    if (!TakeU32(c, &count)) return 0;
    // Read as the signed count it was written from: a negative one is damage.
    int32_t links = static_cast<int32_t>(count);
    if (links < 0 || links > kMaxLinks) return 0;
    record->linkCount = links;
    for (int32_t i = 0; i < links; ++i) {
        if (!TakeText(c, record->linkPaths[i])) return 0;
    }
    return TakeText(c, record->menuFolder);
}

// --- The PE headers, only as far as the image's extent needs them ---------
const uint64_t kDosHeaderBytes = 64;
const uint64_t kCoffHeaderBytes = 20;
const uint64_t kSectionHeaderBytes = 40;
const uint64_t kSymbolBytes = 18;
const uint16_t kMaxSections = 96;
const int kSecurityDirectory = 4;
const size_t kCertificateAlignment = 8;

struct ImageLayout {
    uint64_t imageEnd;
    uint32_t certificateOffset;
    uint32_t certificateSize;
};

int ReadExactly(ReadAtFunction read, void* context, uint64_t fileSize, uint64_t offset,
                void* buffer, size_t count) {
    if (offset > fileSize || count > fileSize - offset) return 0;
    return read(context, offset, buffer, count);
}

// Offset of the data directories in the optional header by its magic, and
// of their count; 0 for an unknown magic.
int DirectoryOffsets(uint16_t magic, uint32_t* countAt, uint32_t* directoriesAt) {
    if (magic == 0x10B) {  // PE32
        *countAt = 92;
        *directoriesAt = 96;
        return 1;
    }
    if (magic == 0x20B) {  // PE32+
        *countAt = 108;
        *directoriesAt = 112;
        return 1;
    }
    return 0;
}

int ReadCertificateEntry(const uint8_t* optional, uint32_t optionalSize, ImageLayout* layout) {
    layout->certificateOffset = 0;
    layout->certificateSize = 0;
    if (optionalSize < 2) return 0;
    uint32_t countAt = 0, directoriesAt = 0;
    if (!DirectoryOffsets(Le16(optional), &countAt, &directoriesAt)) return 0;
    if (optionalSize < countAt + 4) return 0;
    uint32_t entryAt = directoriesAt + 8 * kSecurityDirectory;
    if (Le32(optional + countAt) <= static_cast<uint32_t>(kSecurityDirectory) ||
        optionalSize < entryAt + 8) {
        return 1;  // no certificate entry at all
    }
    layout->certificateOffset = Le32(optional + entryAt);
    layout->certificateSize = Le32(optional + entryAt + 4);
    return 1;
}

// The image ends with the last byte of raw section data; a linker that kept
// its COFF symbol table puts it and its string table behind the sections.
int ReadImageEnd(ReadAtFunction read, void* context, uint64_t fileSize, uint64_t sectionsAt,
                 uint16_t sections, const uint8_t* coff, uint64_t* imageEnd) {
    uint64_t end = 0;
    for (uint16_t i = 0; i < sections; ++i) {
        uint8_t header[kSectionHeaderBytes];
        if (!ReadExactly(read, context, fileSize, sectionsAt + i * kSectionHeaderBytes, header,
                         sizeof(header))) {
            return 0;
        }
        uint64_t rawSize = Le32(header + 16);
        uint64_t rawAt = Le32(header + 20);
        if (rawSize && rawAt + rawSize > end) end = rawAt + rawSize;
    }
    uint64_t symbolsAt = Le32(coff + 8);
    uint64_t symbols = Le32(coff + 12);
    if (symbolsAt && symbols) {
        uint64_t stringsAt = symbolsAt + symbols * kSymbolBytes;
        uint8_t size[4];
        if (!ReadExactly(read, context, fileSize, stringsAt, size, sizeof(size))) return 0;
        uint64_t stringBytes = Le32(size) < 4 ? 4 : Le32(size);
        if (stringsAt + stringBytes > end) end = stringsAt + stringBytes;
    }
    if (end == 0 || end > fileSize) return 0;
    *imageEnd = end;
    return 1;
}

int ReadLayout(ReadAtFunction read, void* context, uint64_t fileSize, ImageLayout* layout) {
    uint8_t dos[kDosHeaderBytes];
    if (!ReadExactly(read, context, fileSize, 0, dos, sizeof(dos))) return 0;
    if (dos[0] != 'M' || dos[1] != 'Z') return 0;
    uint64_t ntAt = Le32(dos + 0x3C);

    uint8_t nt[4 + kCoffHeaderBytes];
    if (!ReadExactly(read, context, fileSize, ntAt, nt, sizeof(nt))) return 0;
    if (memcmp(nt, "PE\0\0", 4) != 0) return 0;
    const uint8_t* coff = nt + 4;
    uint16_t sections = Le16(coff + 2);
    uint16_t optionalSize = Le16(coff + 16);
    if (sections == 0 || sections > kMaxSections) return 0;

    // Only the start of the optional header up to the certificate entry.
    uint8_t optional[160];
    uint32_t wanted = optionalSize < sizeof(optional) ? optionalSize : sizeof(optional);
    uint64_t optionalAt = ntAt + sizeof(nt);
    if (!ReadExactly(read, context, fileSize, optionalAt, optional, wanted)) return 0;
    if (!ReadCertificateEntry(optional, wanted, layout)) return 0;

    return ReadImageEnd(read, context, fileSize, optionalAt + optionalSize, sections, coff,
                        &layout->imageEnd);
}

}  // namespace

int ParseUninstallRecord(const uint8_t* data, size_t size, size_t zeroPadding,
                         UninstallRecord* record) {
    memset(record, 0, sizeof(*record));
    if (!data) return 0;
    Cursor cursor = {data, size};
    int whole = ParseFields(&cursor, record) && cursor.left <= zeroPadding &&
                OnlyZeros(cursor.data, cursor.left);
    if (!whole) memset(record, 0, sizeof(*record));
    return whole;
}

int LocateUninstallRecord(ReadAtFunction read, void* context, uint64_t fileSize, RecordSpan* span) {
    ImageLayout layout;
    if (!read || !ReadLayout(read, context, fileSize, &layout)) return 0;
    span->begin = layout.imageEnd;
    span->end = fileSize;
    span->zeroPadding = 0;
    if (layout.certificateOffset || layout.certificateSize) {
        uint64_t certificateEnd =
            static_cast<uint64_t>(layout.certificateOffset) + layout.certificateSize;
        // A certificate table inside the image or past the file is no
        // table that a signing tool wrote: the file is damaged.
        if (layout.certificateOffset < layout.imageEnd || certificateEnd > fileSize) return 0;
        if (certificateEnd < fileSize) {
            span->begin = certificateEnd;
        } else {
            span->end = layout.certificateOffset;
            span->zeroPadding = kCertificateAlignment - 1;
        }
    }
    uint64_t size = span->end - span->begin;
    const uint64_t kMinRecordBytes = 16;  // four counts of empty fields
    return size >= kMinRecordBytes && size <= kMaxRecordBytes + span->zeroPadding;
}

int ReadUninstallRecord(ReadAtFunction read, void* context, uint64_t fileSize,
                        UninstallRecord* record) {
    memset(record, 0, sizeof(*record));
    RecordSpan span;
    if (!LocateUninstallRecord(read, context, fileSize, &span)) return 0;
    uint8_t bytes[kMaxRecordBytes + kCertificateAlignment];
    size_t size = static_cast<size_t>(span.end - span.begin);
    if (!read(context, span.begin, bytes, size)) return 0;
    return ParseUninstallRecord(bytes, size, span.zeroPadding, record);
}

}  // namespace uninstall
