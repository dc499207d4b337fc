// Helpers for the installation tests: ZIP archives of the payload's kind
// (made by Python's zipfile, names in GBK), shortcut files read back with
// lnkinfo, install logs, and child programs run under limits.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <linux/capability.h>

#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/support/test_support.h"
#include "tools/mksetup/gbk_text.h"

namespace install_fixture {

using testing_support::ReadHostFile;
using testing_support::TempDir;
using testing_support::WriteHostFile;

// --- Texts -------------------------------------------------------------------
inline std::string Gbk(const std::string& utf8) {
    std::string gbk;
    if (!Utf8ToGbk(utf8, &gbk)) throw std::runtime_error("not GBK: " + utf8);
    return gbk;
}

inline std::string Utf8(const std::string& gbk) {
    std::string utf8;
    if (!GbkToUtf8(gbk, &utf8)) throw std::runtime_error("not GBK text");
    return utf8;
}

inline std::string Hex(const std::string& bytes) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out.push_back(kDigits[c >> 4]);
        out.push_back(kDigits[c & 15]);
    }
    return out;
}

inline std::string ReadText(const std::string& hostPath) {
    std::vector<uint8_t> bytes = ReadHostFile(hostPath);
    return std::string(bytes.begin(), bytes.end());
}

inline bool Exists(const std::string& hostPath) {
    struct stat st;
    return lstat(hostPath.c_str(), &st) == 0;
}

inline time_t ModifiedAt(const std::string& hostPath) {
    struct stat st;
    return stat(hostPath.c_str(), &st) == 0 ? st.st_mtime : -1;
}

// --- ZIP archives --------------------------------------------------------------
struct ZipItem {
    std::string name;  // UTF-8, '/' separators; a folder's ends with '/'
    std::string data;
    bool deflate = true;
    int time[6] = {2021, 3, 14, 15, 9, 26};  // local MS-DOS time (even seconds)
    unsigned attributes = 0x20;
};

inline ZipItem File(const std::string& name, const std::string& data, bool deflate = true) {
    ZipItem item;
    item.name = name;
    item.data = data;
    item.deflate = deflate;
    return item;
}

inline ZipItem Folder(const std::string& name) {
    ZipItem item;
    item.name = name;
    item.deflate = false;
    item.attributes = 0x10;
    return item;
}

// The entry's time as the unpacker sets it: the MS-DOS time read as local time.
inline time_t LocalTimeOf(const ZipItem& item) {
    struct tm t = {};
    t.tm_year = item.time[0] - 1900;
    t.tm_mon = item.time[1] - 1;
    t.tm_mday = item.time[2];
    t.tm_hour = item.time[3];
    t.tm_min = item.time[4];
    t.tm_sec = item.time[5];
    t.tm_isdst = -1;
    return mktime(&t);
}

// An archive as the product's build writes them: MS-DOS made, no extra
// fields, GBK names without the UTF-8 flag.
inline std::vector<uint8_t> MakeZip(const std::vector<ZipItem>& items) {
    if (items.empty()) {  // the end record alone
        std::vector<uint8_t> empty(22, 0);
        empty[0] = 'P', empty[1] = 'K', empty[2] = 5, empty[3] = 6;
        return empty;
    }
    TempDir work;
    std::ostringstream spec;
    spec << "[";
    for (size_t i = 0; i < items.size(); ++i) {
        const ZipItem& e = items[i];
        spec << (i ? "," : "") << "{\"name\":\"" << Hex(e.name) << "\",\"data\":\"" << Hex(e.data)
             << "\",\"deflate\":" << (e.deflate ? "true" : "false") << ",\"attr\":" << e.attributes
             << ",\"time\":[" << e.time[0] << "," << e.time[1] << "," << e.time[2] << ","
             << e.time[3] << "," << e.time[4] << "," << e.time[5] << "]}";
    }
    spec << "]";
    WriteHostFile(work.Join("spec.json"), spec.str());
    WriteHostFile(work.Join("make_zip.py"),
                  std::string("import json, sys, zipfile\n"
                              "class GbkInfo(zipfile.ZipInfo):\n"
                              "    def _encodeFilenameFlags(self):\n"
                              "        return self.filename.encode('gbk'), self.flag_bits\n"
                              "spec = json.load(open(sys.argv[1]))\n"
                              "with zipfile.ZipFile(sys.argv[2], 'w') as z:\n"
                              "    for e in spec:\n"
                              "        name = bytes.fromhex(e['name']).decode('utf-8')\n"
                              "        info = GbkInfo(name, date_time=tuple(e['time']))\n"
                              "        info.create_system = 0\n"
                              "        info.create_version = 20\n"
                              "        info.external_attr = e['attr']\n"
                              "        info.compress_type = (zipfile.ZIP_DEFLATED if e['deflate']\n"
                              "                              else zipfile.ZIP_STORED)\n"
                              "        z.writestr(info, bytes.fromhex(e['data']))\n"));
    // The system's interpreter starts faster than a version manager's shim.
    const char* python = access("/usr/bin/python3", X_OK) == 0 ? "/usr/bin/python3" : "python3";
    std::string command = std::string(python) + " '" + work.Join("make_zip.py") + "' '" +
                          work.Join("spec.json") + "' '" + work.Join("out.zip") + "'";
    if (system(command.c_str()) != 0) throw std::runtime_error("python3 zipfile failed");
    return ReadHostFile(work.Join("out.zip"));
}

// Flips one byte of the first occurrence of needle (say, a stored entry's
// data, whose CRC then no longer matches).
inline void DamageFirst(std::vector<uint8_t>& bytes, const std::string& needle) {
    std::string text(bytes.begin(), bytes.end());
    size_t at = text.find(needle);
    if (at == std::string::npos) throw std::runtime_error("needle not found");
    bytes[at] ^= 0x55;
}

// Deterministic bytes that do not compress away.
inline std::string NoiseBytes(size_t size, uint32_t seed) {
    std::string out(size, '\0');
    uint32_t x = seed * 2654435761u + 1;
    for (size_t i = 0; i < size; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        out[i] = static_cast<char>(x);
    }
    return out;
}

// --- Shortcuts -------------------------------------------------------------------
// The fields lnkinfo shows ("Local path", "Working directory", "Icon
// location"...), UTF-8; empty when lnkinfo cannot read the file.
inline std::map<std::string, std::string> ReadShortcut(const std::string& hostPath) {
    std::map<std::string, std::string> fields;
    std::string command = "lnkinfo -c windows-936 '" + hostPath + "' 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return fields;
    char line[4096];
    while (fgets(line, sizeof line, pipe)) {
        std::string text(line);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
        size_t colon = text.find(": ");
        if (colon == std::string::npos) continue;
        size_t begin = text.find_first_not_of('\t');
        size_t end = colon ? text.find_last_not_of("\t ", colon - 1) : std::string::npos;
        if (begin == std::string::npos || end == std::string::npos || end < begin) continue;
        fields[text.substr(begin, end - begin + 1)] = text.substr(colon + 2);
    }
    if (pclose(pipe) != 0) fields.clear();
    return fields;
}

// --- Install log -------------------------------------------------------------------
// The messages of a log file, in order, without their times.
inline std::vector<std::string> LogMessages(const std::string& hostPath) {
    std::vector<std::string> messages;
    std::string text = ReadText(hostPath);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find("\r\n", start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        messages.push_back(line.size() >= 15 ? line.substr(15) : line);
        start = end + 2;
    }
    return messages;
}

// The host path of today's log in a host directory.
inline std::string TodaysLog(const std::string& hostDir) {
    time_t now = time(nullptr);
    struct tm t;
    localtime_r(&now, &t);
    char name[64];
    snprintf(name, sizeof name, "/install%04d%02d%02d.log", t.tm_year + 1900, t.tm_mon + 1,
             t.tm_mday);
    return hostDir + name;
}

// --- Child programs ------------------------------------------------------------------
struct ChildLimits {
    long long maxFileBytes = -1;             // RLIMIT_FSIZE; writes beyond it fail (EFBIG)
    bool withoutPermissionOverride = false;  // root, too, obeys file modes
};

struct ChildResult {
    int status = -1;  // exit status; 125 when the limits could not be applied
    std::string out, err;
};

inline ChildResult RunChild(const std::vector<std::string>& argv, const ChildLimits& limits = {}) {
    TempDir work;
    const std::string outPath = work.Join("stdout"), errPath = work.Join("stderr");
    pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        int outFd = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int errFd = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (outFd < 0 || errFd < 0 || dup2(outFd, 1) < 0 || dup2(errFd, 2) < 0) _exit(125);
        if (limits.maxFileBytes >= 0) {
            struct rlimit r = {static_cast<rlim_t>(limits.maxFileBytes),
                               static_cast<rlim_t>(limits.maxFileBytes)};
            // Ignored, the signal leaves the write to fail with EFBIG, as a
            // full disk fails it with ENOSPC.
            signal(SIGXFSZ, SIG_IGN);
            if (setrlimit(RLIMIT_FSIZE, &r) != 0) _exit(125);
        }
        // For root the capability must go from the bounding set: exec gives
        // root back everything the bounding set holds.
        if (limits.withoutPermissionOverride && geteuid() == 0 &&
            (prctl(PR_CAPBSET_DROP, CAP_DAC_OVERRIDE, 0, 0, 0) != 0 ||
             prctl(PR_CAPBSET_DROP, CAP_DAC_READ_SEARCH, 0, 0, 0) != 0))
            _exit(125);
        std::vector<char*> args;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
    }
    ChildResult result;
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.out = ReadText(outPath);
    result.err = ReadText(errPath);
    return result;
}

}  // namespace install_fixture
