// Packed items from a file: no stray access, and the same verdict and bytes
// as decoding the same item from memory.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <unistd.h>

#include "payload/lz_decoder.h"
#include "platform/file_stream.h"
#include "platform/platform.h"

namespace {

const int32_t kBufferCap = 1 << 20;

// A memory file, reachable by an ANSI path through /proc.
struct MemFile {
    int fd = memfd_create("lz", 0);
    char ansi[64] = {};
    MemFile() {
        char host[64];
        snprintf(host, sizeof host, "/proc/self/fd/%d", fd);
        if (fd < 0 || !plat::HostToAnsi(host, ansi, sizeof ansi)) abort();
    }
    ~MemFile() { close(fd); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) return 0;
    static MemFile input, output;
    if (ftruncate(input.fd, 0) != 0 || pwrite(input.fd, data, size, 0) != ssize_t(size)) abort();

    CFileStream in(input.ansi, CFileStream::kRead);
    CFileStream out(output.ansi, CFileStream::kWrite);
    if (!in.IsOpen() || !out.IsOpen()) abort();
    CLzDecoder decoder;
    int32_t written = decoder.DecodeStream(in, out, int32_t(size));
    out.Close();

    static uint8_t expected[kBufferCap];
    static uint8_t got[kBufferCap + 1];
    int32_t n = decoder.DecodeBuffer(expected, kBufferCap, data, int32_t(size));
    if (n >= 0) {
        if (written != n) abort();
        if (pread(output.fd, got, sizeof got, 0) != ssize_t(n)) abort();
        if (memcmp(got, expected, size_t(n)) != 0) abort();
    } else if (written >= 0 && written <= kBufferCap) {
        abort();  // only an output too big for the buffer may differ
    }
    return 0;
}
