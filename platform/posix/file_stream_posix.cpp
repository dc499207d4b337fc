#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include "platform/file_stream.h"
#include "platform/posix/host_path.h"

bool CFileStream::Open(const char* path, Mode mode) {
    Close();
    m_bFailed = false;
    plat::HostPath host(path);
    if (!host.ok) return false;
    int flags = O_RDONLY;
    if (mode == kWrite) flags = O_WRONLY | O_CREAT | O_TRUNC;
    if (mode == kAppend) flags = O_WRONLY | O_CREAT | O_APPEND;
    do {
        m_nFd = ::open(host.c_str(), flags | O_CLOEXEC, 0644);
    } while (m_nFd < 0 && errno == EINTR);
    return m_nFd >= 0;
}

bool CFileStream::IsOpen() const { return m_nFd >= 0; }

bool CFileStream::Seek(int64_t position) {
    if (m_nFd < 0 || m_bFailed || position < 0) return false;
    return ::lseek(m_nFd, position, SEEK_SET) == position;
}

bool CFileStream::SeekBy(int64_t distance) {
    if (m_nFd < 0 || m_bFailed) return false;
    return ::lseek(m_nFd, distance, SEEK_CUR) >= 0;
}

int64_t CFileStream::Tell() const {
    if (m_nFd < 0) return -1;
    return ::lseek(m_nFd, 0, SEEK_CUR);
}

size_t CFileStream::Read(void* data, size_t count) {
    if (m_nFd < 0 || m_bFailed) {
        m_bFailed = true;
        return 0;
    }
    size_t done = 0;
    while (done < count) {
        ssize_t n = ::read(m_nFd, static_cast<char*>(data) + done, count - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    if (done < count) m_bFailed = true;
    return done;
}

size_t CFileStream::Write(const void* data, size_t count) {
    if (m_nFd < 0 || m_bFailed) {
        m_bFailed = true;
        return 0;
    }
    size_t done = 0;
    while (done < count) {
        ssize_t n = ::write(m_nFd, static_cast<const char*>(data) + done, count - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    if (done < count) m_bFailed = true;
    return done;
}

bool CFileStream::Close() {
    if (m_nFd < 0) return false;
    int r = ::close(m_nFd);
    m_nFd = -1;
    return r == 0 && !m_bFailed;
}
