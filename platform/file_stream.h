// Thin binary file stream: raw bytes, no buffering, no newline translation.
// Paths are ANSI strings of the system code page with '\' separators.
#pragma once

#include <stddef.h>
#include <stdint.h>

class CFileStream {
  public:
    enum Mode {
        kRead,    // existing file, shared for reading
        kWrite,   // created or truncated, not shared
        kAppend,  // created when absent, never truncated, shared; every write goes to the end
    };

    CFileStream() = default;
    CFileStream(const char* path, Mode mode) { Open(path, mode); }
    ~CFileStream() { Close(); }
    CFileStream(const CFileStream&) = delete;
    CFileStream& operator=(const CFileStream&) = delete;

    bool Open(const char* path, Mode mode);
    bool IsOpen() const;

    // Seeks fail (and return false) on a closed or failed stream.
    bool Seek(int64_t position);
    bool SeekBy(int64_t distance);
    int64_t Tell() const;  // -1 when closed

    // A read or write that cannot transfer every byte puts the stream into
    // the failed state; from then on reads and writes transfer nothing.
    size_t Read(void* data, size_t count);
    size_t Write(const void* data, size_t count);

    bool Failed() const { return m_bFailed; }
    // False when the file was not open or an error showed at closing.
    bool Close();

  private:
#ifdef _WIN32
    void* m_hFile = nullptr;
#else
    int m_nFd = -1;
#endif
    bool m_bFailed = false;
};
