// The uninstall record that the installer appends to "卸载.exe", and where the
// uninstaller finds it behind its own program image. Portable: the caller
// supplies the file through a read function, so no operating system is needed.
#pragma once

#include <stddef.h>
#include <stdint.h>

namespace uninstall {

const int kMaxLinks = 8;      // the installer makes at most eight shortcuts
const int kRecordText = 260;  // every text: at most 259 bytes and the zero
const size_t kMaxRecordBytes = 4 * (kMaxLinks + 4) + (kMaxLinks + 3) * (kRecordText - 1);

struct UninstallRecord {
    char productName[kRecordText];
    char version[kRecordText];
    int32_t linkCount;
    char linkPaths[kMaxLinks][kRecordText];  // "" for a shortcut that was not made
    char menuFolder[kRecordText];
};

// Reads the record from exactly `size` bytes: 1 when every field is whole,
// each count fits both the bytes left and a 259-byte text, the texts hold no
// zero byte, the shortcut count lies in 0..8 and the record uses every byte
// except at most `zeroPadding` trailing zero bytes. 0 otherwise, with *record
// cleared.
int ParseUninstallRecord(const uint8_t* data, size_t size, size_t zeroPadding,
                         UninstallRecord* record);

// Where the record lies in a program file: bytes [begin, end), of which up to
// zeroPadding trailing zero bytes are not part of it.
struct RecordSpan {
    uint64_t begin;
    uint64_t end;
    size_t zeroPadding;
};

// Reads `count` bytes at `offset`; 1 only when all of them were read.
typedef int (*ReadAtFunction)(void* context, uint64_t offset, void* buffer, size_t count);

// Finds the record behind a PE image: the image ends where the raw data of
// its last section (or a COFF symbol table left in it) ends. An Authenticode
// certificate table is stepped over: when bytes follow it, the record is those
// bytes (the program was signed before the record was appended); when it ends
// the file, the record lies between the image and the certificate, which may
// be preceded by its 8-byte alignment padding. 0 for a file that is no PE
// image, headers that contradict the file size, or a span that cannot hold a
// record.
int LocateUninstallRecord(ReadAtFunction read, void* context, uint64_t fileSize, RecordSpan* span);

// Both steps on one program file.
int ReadUninstallRecord(ReadAtFunction read, void* context, uint64_t fileSize,
                        UninstallRecord* record);

}  // namespace uninstall
