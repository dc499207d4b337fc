// Makes the ZIP archives that the installer unpacks from folders on the build
// host. Written here rather than with minizip's zip.c, which fixes "version
// needed" at 2.0 for every entry and deflates inside its one sequential
// writer: we want exactly the installer's archive form and the files
// deflated on every core. The form:
//   - deflate (method 8), or stored (method 0) for empty folders, empty files
//     and files that deflate does not shrink;
//   - version made by 2.0 on MS-DOS, version needed 1.0 stored / 2.0 deflated;
//     general-purpose flags 0, no extra fields, no comments, no ZIP64;
//   - GBK names with '/', a folder's entry (ending in '/', attribute 0x10)
//     before its contents, empty folders kept, files with attribute 0x20;
//   - MS-DOS times from the files' modification times in local time;
//   - entries sorted by their GBK names at each level, so the bytes depend on
//     the files alone, never on the order of the directory listing.
#pragma once

#include <stdint.h>
#include <time.h>

#include <functional>
#include <string>
#include <vector>

#include "tools/mksetup/payload_writer.h"

struct ZipSource {
    std::string hostPath;  // the file or folder on the build host
    std::string name;      // GBK, '/' separators; a folder's ends with '/'
    uint32_t dosTime = 0;  // MS-DOS date in the high 16 bits, time in the low 16
    uint64_t size = 0;     // of a file, as listed
    bool folder = false;
};

// Modification time as an MS-DOS date-time in local time: 2-second steps
// (rounded down), clamped to 1980-01-01 .. 2107-12-31.
uint32_t DosDateTime(time_t seconds);

// Lists everything under root (a host folder), folders before their contents.
// Each problem is "HOSTPATH: what is wrong"; entries with a problem are left
// out and the listing goes on, so that one run reports them all.
void CollectFolder(const std::string& root, std::vector<ZipSource>* entries,
                   std::vector<std::string>* problems);

// Reads and deflates the files on up to `threads` threads and writes the
// archive in the listed order. progress, if set, is called on the calling
// thread after each entry with the count of entries written and their bytes.
typedef std::function<void(size_t entries, uint64_t bytes)> ZipProgressFn;
bool WriteZipArchive(const std::vector<ZipSource>& entries, int threads,
                     const ZipProgressFn& progress, Bytes* out, std::string* error);

// An archive with no entries: the end record alone.
Bytes EmptyZipArchive();
