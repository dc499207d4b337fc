#include "tools/mksetup/zip_writer.h"

#include <dirent.h>
#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

#include "tools/mksetup/entry_names.h"

namespace {

const uint32_t kLocalHeaderSig = 0x04034B50;
const uint32_t kCentralHeaderSig = 0x02014B50;
const uint32_t kEndRecordSig = 0x06054B50;
const uint16_t kMadeByDos20 = 20;  // high byte 0: MS-DOS
const uint16_t kNeedStored = 10;
const uint16_t kNeedDeflated = 20;
const uint32_t kAttrFolder = 0x10;
const uint32_t kAttrArchive = 0x20;
const size_t kMaxProblems = 100;

void Put16(uint16_t v, Bytes* out) {
    out->push_back(uint8_t(v));
    out->push_back(uint8_t(v >> 8));
}

void Put32(uint32_t v, Bytes* out) {
    for (int i = 0; i < 4; ++i) out->push_back(uint8_t(v >> (8 * i)));
}

void PutName(const std::string& name, Bytes* out) {
    out->insert(out->end(), name.begin(), name.end());
}

std::string SystemError(const std::string& what) { return what + ": " + strerror(errno); }

// --- Listing -----------------------------------------------------------------

struct Child {
    std::string hostName;  // as the host spells it (UTF-8)
    std::string gbkName;
};

class FolderWalker {
  public:
    FolderWalker(std::vector<ZipSource>* entries, std::vector<std::string>* problems)
        : m_entries(entries), m_problems(problems) {}

    void Walk(const std::string& hostDir, const std::string& namePrefix) {
        std::vector<Child> children;
        if (!ListChildren(hostDir, &children)) return;
        for (const Child& child : children) {
            if (m_problems->size() >= kMaxProblems) return;
            Visit(hostDir + "/" + child.hostName, namePrefix + child.gbkName);
        }
    }

  private:
    void Problem(const std::string& hostPath, const std::string& what) {
        if (m_problems->size() < kMaxProblems) m_problems->push_back(hostPath + ": " + what);
    }

    // The folder's children sorted by their GBK names; names that cannot be
    // GBK or that Windows would take for the same file are reported.
    bool ListChildren(const std::string& hostDir, std::vector<Child>* children) {
        DIR* dir = opendir(hostDir.c_str());
        if (!dir) {
            Problem(hostDir, SystemError("cannot list"));
            return false;
        }
        while (struct dirent* e = readdir(dir)) {
            std::string name = e->d_name;
            if (name == "." || name == "..") continue;
            Child child{name, std::string()};
            std::string error;
            if (!ToGbk(name, &child.gbkName, &error)) {
                Problem(hostDir + "/" + name, "the name " + error);
                continue;
            }
            children->push_back(child);
        }
        closedir(dir);
        std::sort(children->begin(), children->end(),
                  [](const Child& a, const Child& b) { return a.gbkName < b.gbkName; });
        std::map<std::string, std::string> seen;  // folded name -> host name
        for (const Child& c : *children) {
            auto inserted = seen.emplace(FoldCase(c.gbkName), c.hostName);
            if (!inserted.second)
                Problem(hostDir + "/" + c.hostName, "the same name on Windows as '" +
                                                        inserted.first->second +
                                                        "' (names there ignore case)");
        }
        return true;
    }

    void Visit(const std::string& hostPath, const std::string& name) {
        struct stat st;
        if (lstat(hostPath.c_str(), &st) != 0) {
            Problem(hostPath, SystemError("cannot read"));
            return;
        }
        if (S_ISLNK(st.st_mode)) {
            // A link to a file brings the file; links to folders could loop.
            if (stat(hostPath.c_str(), &st) != 0) {
                Problem(hostPath, "symbolic link to nothing");
                return;
            }
            if (S_ISDIR(st.st_mode)) {
                Problem(hostPath, "symbolic link to a folder (not followed)");
                return;
            }
        }
        bool folder = S_ISDIR(st.st_mode);
        if (!folder && !S_ISREG(st.st_mode)) {
            Problem(hostPath, "neither a file nor a folder");
            return;
        }
        std::string entryName = folder ? name + "/" : name;
        std::string problem = EntryNameProblem(entryName);
        if (!problem.empty()) {
            Problem(hostPath, problem);
            return;
        }
        if (!folder && uint64_t(st.st_size) > 0xFFFFFFFFull) {
            Problem(hostPath, "4 GiB or larger: too large for a ZIP archive without ZIP64");
            return;
        }
        ZipSource source;
        source.hostPath = hostPath;
        source.name = entryName;
        source.dosTime = DosDateTime(st.st_mtime);
        source.size = folder ? 0 : uint64_t(st.st_size);
        source.folder = folder;
        m_entries->push_back(source);
        if (folder) Walk(hostPath, entryName);
    }

    std::vector<ZipSource>* m_entries;
    std::vector<std::string>* m_problems;
};

// --- Compression -------------------------------------------------------------

struct Packed {
    Bytes data;  // as stored in the archive
    uint32_t crc = 0;
    uint32_t size = 0;
    uint16_t method = 0;
    std::string error;
    bool done = false;
};

bool ReadWholeFile(const std::string& path, Bytes* out, std::string* error) {
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) {
        *error = path + ": " + SystemError("cannot open");
        return false;
    }
    out->clear();
    uint8_t buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0)
        out->insert(out->end(), buffer, buffer + n);
    bool ok = !ferror(f);
    fclose(f);
    if (!ok) *error = path + ": " + SystemError("cannot read");
    return ok;
}

// Raw deflate at the highest level; false when it does not shrink the data.
bool Deflate(const Bytes& in, Bytes* out) {
    z_stream z;
    memset(&z, 0, sizeof z);
    if (deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return false;
    out->resize(deflateBound(&z, in.size()));
    z.next_in = const_cast<Bytef*>(in.data());
    z.avail_in = uInt(in.size());
    z.next_out = out->data();
    z.avail_out = uInt(out->size());
    int r = deflate(&z, Z_FINISH);
    size_t produced = out->size() - z.avail_out;
    deflateEnd(&z);
    if (r != Z_STREAM_END || produced >= in.size()) return false;
    out->resize(produced);
    return true;
}

void PackEntry(const ZipSource& source, Packed* packed) {
    if (source.folder) return;
    Bytes raw;
    if (!ReadWholeFile(source.hostPath, &raw, &packed->error)) return;
    if (raw.size() > 0xFFFFFFFFull) {
        packed->error = source.hostPath + ": 4 GiB or larger: too large for a ZIP archive";
        return;
    }
    packed->size = uint32_t(raw.size());
    packed->crc = uint32_t(crc32(0, raw.data(), uInt(raw.size())));
    if (!raw.empty() && Deflate(raw, &packed->data)) {
        packed->method = 8;
    } else {
        packed->method = 0;
        packed->data.swap(raw);
    }
}

// Workers take the entries in order and hand each result to the writer,
// which appends them in list order as they become ready.
class ParallelPacker {
  public:
    ParallelPacker(const std::vector<ZipSource>& entries, int threads)
        : m_entries(entries), m_results(entries.size()) {
        int count = std::max(1, std::min<int>(threads, int(entries.size())));
        for (int t = 0; t < count; ++t) m_threads.emplace_back([this] { Work(); });
    }

    ~ParallelPacker() {
        m_stop = true;
        for (std::thread& t : m_threads) t.join();
    }

    Packed& Wait(size_t i) {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_ready.wait(lock, [&] { return m_results[i].done; });
        return m_results[i];
    }

  private:
    void Work() {
        while (!m_stop) {
            size_t i = m_next++;
            if (i >= m_entries.size()) return;
            Packed packed;
            PackEntry(m_entries[i], &packed);
            packed.done = true;
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_results[i] = std::move(packed);
            }
            m_ready.notify_all();
        }
    }

    const std::vector<ZipSource>& m_entries;
    std::vector<Packed> m_results;
    std::atomic<size_t> m_next{0};
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::vector<std::thread> m_threads;
};

void PutLocalHeader(const ZipSource& s, const Packed& p, Bytes* out) {
    Put32(kLocalHeaderSig, out);
    Put16(p.method == 8 ? kNeedDeflated : kNeedStored, out);
    Put16(0, out);  // flags
    Put16(p.method, out);
    Put16(uint16_t(s.dosTime), out);
    Put16(uint16_t(s.dosTime >> 16), out);
    Put32(p.crc, out);
    Put32(uint32_t(p.data.size()), out);
    Put32(p.size, out);
    Put16(uint16_t(s.name.size()), out);
    Put16(0, out);  // extra field length
    PutName(s.name, out);
}

void PutCentralHeader(const ZipSource& s, const Packed& p, uint32_t compressed,
                      uint32_t localOffset, Bytes* out) {
    Put32(kCentralHeaderSig, out);
    Put16(kMadeByDos20, out);
    Put16(p.method == 8 ? kNeedDeflated : kNeedStored, out);
    Put16(0, out);
    Put16(p.method, out);
    Put16(uint16_t(s.dosTime), out);
    Put16(uint16_t(s.dosTime >> 16), out);
    Put32(p.crc, out);
    Put32(compressed, out);
    Put32(p.size, out);
    Put16(uint16_t(s.name.size()), out);
    Put16(0, out);  // extra field length
    Put16(0, out);  // comment length
    Put16(0, out);  // disk number
    Put16(0, out);  // internal attributes
    Put32(s.folder ? kAttrFolder : kAttrArchive, out);
    Put32(localOffset, out);
    PutName(s.name, out);
}

void PutEndRecord(uint16_t count, uint32_t centralSize, uint32_t centralOffset, Bytes* out) {
    Put32(kEndRecordSig, out);
    Put16(0, out);
    Put16(0, out);
    Put16(count, out);
    Put16(count, out);
    Put32(centralSize, out);
    Put32(centralOffset, out);
    Put16(0, out);  // comment length
}

}  // namespace

uint32_t DosDateTime(time_t seconds) {
    struct tm t;
    if (!localtime_r(&seconds, &t) || t.tm_year < 80) return (0 << 25) | (1 << 21) | (1 << 16);
    if (t.tm_year > 207)
        return (127u << 25) | (12 << 21) | (31 << 16) | (23 << 11) | (59 << 5) | 29;
    return (uint32_t(t.tm_year - 80) << 25) | (uint32_t(t.tm_mon + 1) << 21) |
           (uint32_t(t.tm_mday) << 16) | (uint32_t(t.tm_hour) << 11) | (uint32_t(t.tm_min) << 5) |
           uint32_t(t.tm_sec / 2);
}

void CollectFolder(const std::string& root, std::vector<ZipSource>* entries,
                   std::vector<std::string>* problems) {
    FolderWalker(entries, problems).Walk(root, std::string());
}

bool WriteZipArchive(const std::vector<ZipSource>& entries, int threads,
                     const ZipProgressFn& progress, Bytes* out, std::string* error) {
    out->clear();
    if (entries.size() > 0xFFFF) {
        *error = std::to_string(entries.size()) +
                 " entries: a ZIP archive without ZIP64 holds at most 65,535";
        return false;
    }
    ParallelPacker packer(entries, threads);
    Bytes central;
    uint64_t bytes = 0;
    for (size_t i = 0; i < entries.size(); ++i) {
        Packed& p = packer.Wait(i);
        if (!p.error.empty()) {
            *error = p.error;
            return false;
        }
        uint32_t localOffset = uint32_t(out->size());
        uint32_t compressed = uint32_t(p.data.size());
        PutLocalHeader(entries[i], p, out);
        out->insert(out->end(), p.data.begin(), p.data.end());
        PutCentralHeader(entries[i], p, compressed, localOffset, &central);
        Bytes().swap(p.data);  // written: keep only the archive in memory
        // The installer keeps segment sizes and positions in 32 signed bits.
        if (out->size() + central.size() > size_t(INT32_MAX)) {
            *error = "the archive would exceed 2 GiB";
            return false;
        }
        bytes += p.size;
        if (progress) progress(i + 1, bytes);
    }
    uint32_t centralOffset = uint32_t(out->size());
    out->insert(out->end(), central.begin(), central.end());
    PutEndRecord(uint16_t(entries.size()), uint32_t(central.size()), centralOffset, out);
    return true;
}

Bytes EmptyZipArchive() {
    Bytes out;
    PutEndRecord(0, 0, 0, &out);
    return out;
}
