#include "tools/mksetup/zip_check.h"

#include <stdio.h>
#include <string.h>
#include <unzip.h>
#include <zlib.h>

#include "tools/mksetup/entry_names.h"

namespace {

const uLong kFlagEncrypted = 0x0001;
const uLong kFlagStrongEncryption = 0x0040;
const uLong kFlagUtf8 = 0x0800;

// minizip reads the archive through these callbacks, straight from memory.
struct MemoryFile {
    const uint8_t* data;
    size_t size;
    size_t pos;
};

voidpf ZCALLBACK MemOpen(voidpf opaque, const char*, int) { return opaque; }

uLong ZCALLBACK MemRead(voidpf, voidpf stream, void* buf, uLong size) {
    MemoryFile* f = static_cast<MemoryFile*>(stream);
    size_t n = f->pos < f->size ? f->size - f->pos : 0;
    if (n > size) n = size;
    memcpy(buf, f->data + f->pos, n);
    f->pos += n;
    return uLong(n);
}

uLong ZCALLBACK MemWrite(voidpf, voidpf, const void*, uLong) { return 0; }

long ZCALLBACK MemTell(voidpf, voidpf stream) {
    return long(static_cast<MemoryFile*>(stream)->pos);
}

long ZCALLBACK MemSeek(voidpf, voidpf stream, uLong offset, int origin) {
    MemoryFile* f = static_cast<MemoryFile*>(stream);
    size_t base = origin == ZLIB_FILEFUNC_SEEK_SET   ? 0
                  : origin == ZLIB_FILEFUNC_SEEK_CUR ? f->pos
                                                     : f->size;
    if (offset > f->size || base + offset > f->size) return -1;
    f->pos = base + offset;
    return 0;
}

int ZCALLBACK MemClose(voidpf, voidpf) { return 0; }
int ZCALLBACK MemError(voidpf, voidpf) { return 0; }

std::string Entry(const std::string& name) { return "entry '" + ForDisplay(name) + "'"; }

class ArchiveTester {
  public:
    ArchiveTester(std::vector<ZipIssue>* issues, ZipSummary* summary)
        : m_issues(issues), m_summary(summary) {}

    void Run(const uint8_t* data, size_t size) {
        m_size = size;
        MemoryFile file = {data, size, 0};
        zlib_filefunc_def io;
        io.zopen_file = MemOpen;
        io.zread_file = MemRead;
        io.zwrite_file = MemWrite;
        io.ztell_file = MemTell;
        io.zseek_file = MemSeek;
        io.zclose_file = MemClose;
        io.zerror_file = MemError;
        io.opaque = &file;
        unzFile zip = unzOpen2("archive", &io);
        if (!zip) {
            Issue(0,
                  "not a ZIP archive the installer can open (no valid end of central "
                  "directory)");
            return;
        }
        int r = unzGoToFirstFile(zip);
        while (r == UNZ_OK) {
            TestCurrentEntry(zip);
            r = unzGoToNextFile(zip);
        }
        if (r != UNZ_END_OF_LIST_OF_FILE)
            Issue(unzGetOffset64(zip), "central directory damaged after " +
                                           std::to_string(m_summary->entries) + " entries");
        unzClose(zip);
    }

  private:
    void Issue(uint64_t offset, const std::string& what) {
        m_issues->push_back({offset < m_size ? offset : m_size, what});
    }

    void TestCurrentEntry(unzFile zip) {
        uint64_t where = unzGetOffset64(zip);  // its central directory record
        unz_file_info64 info;
        char name[65536 + 1];
        if (unzGetCurrentFileInfo64(zip, &info, name, sizeof name - 1, nullptr, 0, nullptr, 0) !=
            UNZ_OK) {
            Issue(where, "central directory record unreadable");
            return;
        }
        name[info.size_filename < sizeof name - 1 ? info.size_filename : sizeof name - 1] = 0;
        std::string entryName(name);
        ++m_summary->entries;
        m_summary->names.push_back(entryName);
        bool folder = !entryName.empty() && entryName.back() == '/';
        if (folder) ++m_summary->folders;

        if (info.flag & (kFlagEncrypted | kFlagStrongEncryption)) {
            Issue(where, Entry(entryName) + " is encrypted; the installer has no password");
            return;
        }
        if (info.flag & kFlagUtf8)
            Issue(where, Entry(entryName) +
                             " has its name marked as UTF-8; the installer reads names as GBK");
        else if (entryName.size() != info.size_filename)
            Issue(where, Entry(entryName) + " has a zero byte in its name");
        std::string problem = EntryNameProblem(entryName);
        if (!problem.empty()) Issue(where, Entry(entryName) + ": " + problem);
        if (info.compression_method != 0 && info.compression_method != Z_DEFLATED) {
            Issue(where, Entry(entryName) + " uses compression method " +
                             std::to_string(info.compression_method) +
                             "; the installer handles 0 (stored) and 8 (deflate)");
            return;
        }
        TestData(zip, entryName, info, where);
    }

    void TestData(unzFile zip, const std::string& name, const unz_file_info64& info,
                  uint64_t where) {
        if (unzOpenCurrentFile(zip) != UNZ_OK) {
            Issue(where, Entry(name) +
                             ": local header damaged or does not match the central "
                             "directory");
            return;
        }
        // Where the entry's data starts, by its local header; a damaged
        // header may place it outside the archive: then its directory record.
        uint64_t dataAt = unzGetCurrentFileZStreamPos64(zip);
        if (dataAt >= m_size) dataAt = where;
        uint8_t buffer[65536];
        uint64_t total = 0;
        uLong crc = crc32(0, nullptr, 0);
        int n;
        while ((n = unzReadCurrentFile(zip, buffer, sizeof buffer)) > 0) {
            crc = crc32(crc, buffer, unsigned(n));
            total += unsigned(n);
        }
        unzCloseCurrentFile(zip);
        m_summary->bytes += total;
        if (n < 0) {
            Issue(dataAt, Entry(name) + ": data does not inflate (damaged)");
        } else if (total != info.uncompressed_size) {
            Issue(dataAt, Entry(name) + ": data gives " + std::to_string(total) +
                              " bytes, the directory says " +
                              std::to_string(info.uncompressed_size));
        } else if (crc != info.crc) {
            char text[64];
            snprintf(text, sizeof text, "CRC-32 %08lX, the directory says %08lX",
                     static_cast<unsigned long>(crc), static_cast<unsigned long>(info.crc));
            Issue(dataAt, Entry(name) + ": data damaged (" + text + ")");
        }
    }

    std::vector<ZipIssue>* m_issues;
    ZipSummary* m_summary;
    uint64_t m_size = 0;
};

}  // namespace

bool TestZipArchive(const uint8_t* data, size_t size, std::vector<ZipIssue>* issues,
                    ZipSummary* summary) {
    size_t before = issues->size();
    *summary = ZipSummary();
    ArchiveTester(issues, summary).Run(data, size);
    return issues->size() == before;
}
