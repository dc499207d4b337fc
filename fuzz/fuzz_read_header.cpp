// The payload reader on arbitrary bytes: whatever a damaged or hostile
// installer file holds, reading it must neither crash nor leave a record
// that points outside the file.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>

#include "payload/setup_info.h"
#include "platform/file_stream.h"
#include "platform/platform.h"

namespace {

// One file per fuzzing process, rewritten for every input.
struct InputFile {
    InputFile() {
        char pattern[] = "/tmp/fuzz_read_header_XXXXXX";
        fd = mkstemp(pattern);
        if (fd < 0) abort();
        host = pattern;
        char buffer[plat::kMaxPath];
        if (!plat::HostToAnsi(pattern, buffer, sizeof buffer)) abort();
        ansi = buffer;
    }
    ~InputFile() {
        close(fd);
        unlink(host.c_str());
    }
    void Write(const uint8_t* data, size_t size) {
        if (ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != ssize_t(size)) abort();
    }
    int fd;
    std::string host, ansi;
};

void Check(bool condition) {
    if (!condition) __builtin_trap();
}

bool Terminated(const char* field) { return memchr(field, 0, kFieldSize) != nullptr; }

void CheckSegment(const ArchiveSegment& s, size_t fileSize) {
    Check(s.position >= 0 && s.size >= 0);
    Check(uint64_t(s.position) + uint64_t(s.size) <= fileSize);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static InputFile file;
    file.Write(data, size);
    CFileStream in(file.ansi.c_str(), CFileStream::kRead);
    Check(in.IsOpen());

    CSetupInfo info;
    int result = info.ReadHeader(in);
    Check(result == 0 || result == 1);
    Check(info.m_nShortcuts >= 0 && info.m_nShortcuts <= kMaxShortcuts);
    for (const char* field : {info.m_szProductName, info.m_szVersion, info.m_szPublisherKey,
                              info.m_szInstallDir, info.m_szMenuFolder})
        Check(Terminated(field));
    for (const ShortcutEntry& s : info.m_Shortcuts)
        Check(Terminated(s.linkName) && Terminated(s.target) && Terminated(s.icon));
    CheckSegment(info.m_Archives[0], size);
    CheckSegment(info.m_Archives[1], size);
    CheckSegment(info.m_Uninstaller, size);
    if (result == 1) {
        // The segments follow one another, the uninstaller last.
        Check(info.m_Archives[1].position >= info.m_Archives[0].position + info.m_Archives[0].size);
        Check(info.m_Uninstaller.position >= info.m_Archives[1].position + info.m_Archives[1].size);
    }
    return 0;
}
