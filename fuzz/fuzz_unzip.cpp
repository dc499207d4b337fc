// Arbitrary bytes as an archive file: every entry is unpacked into a fresh
// folder, and any file-system write outside that folder stops the run. The
// writes are watched where they enter the C library (open, mkdir, utimensat
// and their relatives), so no path the unpacker builds can slip past.
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "install/unzipper.h"
#include "platform/platform.h"

namespace {

std::string g_base;       // host: <tmp>/fuzz-unzip-XXXXXX
std::string g_archive;    // host: <base>/in.zip
std::string g_out;        // host: <base>/out
bool g_watching = false;  // only the unpacker's writes are judged
int g_probeHits = -1;     // counts instead of stopping while the watch is tested

bool HasParentPart(const std::string& path) {
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        if (path.compare(start, end - start, "..") == 0) return true;
        start = end + 1;
    }
    return false;
}

void CheckWrite(const char* what, const char* path) {
    if (!g_watching) return;
    std::string p = path ? path : "";
    bool inside =
        (p == g_out || p.compare(0, g_out.size() + 1, g_out + "/") == 0) && !HasParentPart(p);
    if (!inside && g_probeHits >= 0) {
        ++g_probeHits;
    } else if (!inside) {
        fprintf(stderr, "write outside the output folder: %s(\"%s\")\n", what, p.c_str());
        abort();
    }
}

bool IsWriteOpen(int flags) { return (flags & (O_WRONLY | O_RDWR | O_CREAT | O_TRUNC)) != 0; }

template <typename F>
F Real(const char* name) {
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

}  // namespace

extern "C" {

int open(const char* path, int flags, ...) {
    mode_t mode = 0;
    if (flags & (O_CREAT | O_TMPFILE)) {
        va_list args;
        va_start(args, flags);
        mode = static_cast<mode_t>(va_arg(args, int));
        va_end(args);
    }
    if (IsWriteOpen(flags)) CheckWrite("open", path);
    static auto real = Real<int (*)(const char*, int, ...)>("open");
    return real(path, flags, mode);
}

int open64(const char* path, int flags, ...) {
    mode_t mode = 0;
    if (flags & (O_CREAT | O_TMPFILE)) {
        va_list args;
        va_start(args, flags);
        mode = static_cast<mode_t>(va_arg(args, int));
        va_end(args);
    }
    if (IsWriteOpen(flags)) CheckWrite("open64", path);
    static auto real = Real<int (*)(const char*, int, ...)>("open64");
    return real(path, flags, mode);
}

int openat(int dir, const char* path, int flags, ...) {
    mode_t mode = 0;
    if (flags & (O_CREAT | O_TMPFILE)) {
        va_list args;
        va_start(args, flags);
        mode = static_cast<mode_t>(va_arg(args, int));
        va_end(args);
    }
    if (IsWriteOpen(flags)) CheckWrite("openat", path);
    static auto real = Real<int (*)(int, const char*, int, ...)>("openat");
    return real(dir, path, flags, mode);
}

int creat(const char* path, mode_t mode) {
    CheckWrite("creat", path);
    static auto real = Real<int (*)(const char*, mode_t)>("creat");
    return real(path, mode);
}

int mkdir(const char* path, mode_t mode) {
    CheckWrite("mkdir", path);
    static auto real = Real<int (*)(const char*, mode_t)>("mkdir");
    return real(path, mode);
}

int utimensat(int dir, const char* path, const struct timespec times[2], int flags) {
    CheckWrite("utimensat", path);
    static auto real = Real<int (*)(int, const char*, const struct timespec*, int)>("utimensat");
    return real(dir, path, times, flags);
}

}  // extern "C"

namespace {

std::string Ansi(const std::string& host) {
    char ansi[plat::kMaxPath];
    if (!plat::HostToAnsi(host.c_str(), ansi, sizeof ansi)) abort();
    return ansi;
}

// Nothing may appear next to the archive and the output folder.
void CheckBaseHoldsOnlyOurs() {
    for (const auto& item : std::filesystem::directory_iterator(g_base)) {
        std::string name = item.path().filename().string();
        if (name != "in.zip" && name != "out") {
            fprintf(stderr, "unexpected file beside the output folder: %s\n", name.c_str());
            abort();
        }
    }
}

void Unpack(const std::string& archive, const std::string& out) {
    CUnzipper zip(archive.c_str());
    zip.SetOutputFolder(out.c_str());
    int count = zip.GetFileCount();
    if (count > 512) count = 512;  // the end record may claim far more than is there
    for (int i = 0; i < count; ++i) {
        // Past the last entry that can be reached every call would walk the
        // damaged directory again from the start; the installer stops at the
        // first failure anyway.
        if (!zip.GotoFile(i)) break;
        zip.UnzipFile(i);
        if (i < 8) zip.UnzipFile(i, out.c_str(), true);
    }
    zip.UnzipFile(count);  // beyond the end
    UnzipFileInfo info;
    if (zip.GotoFirstFile("txt")) zip.GetFileInfo(info);
    zip.CloseZip();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::string pattern = (std::filesystem::temp_directory_path() / "fuzz-unzip-XXXXXX").string();
    if (!mkdtemp(pattern.data())) abort();
    g_base = pattern;
    g_archive = g_base + "/in.zip";
    g_out = g_base + "/out";
    atexit([] {
        std::error_code ignored;
        std::filesystem::remove_all(g_base, ignored);
    });

    // The watch must see the seam's writes, or it proves nothing.
    g_probeHits = 0;
    g_watching = true;
    plat::CreateOneDirectory(Ansi(g_base + "/probe").c_str());
    g_watching = false;
    if (g_probeHits != 1) {
        fprintf(stderr, "the write watch does not see the seam's writes\n");
        abort();
    }
    g_probeHits = -1;
    rmdir((g_base + "/probe").c_str());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FILE* file = fopen(g_archive.c_str(), "wb");
    if (!file) abort();
    if (size) fwrite(data, 1, size, file);
    fclose(file);

    g_watching = true;
    Unpack(Ansi(g_archive), Ansi(g_out));
    g_watching = false;

    CheckBaseHoldsOnlyOurs();
    std::error_code ignored;
    std::filesystem::remove_all(g_out, ignored);
    return 0;
}
