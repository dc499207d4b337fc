#include <windows.h>

#include "platform/file_stream.h"

bool CFileStream::Open(const char* path, Mode mode) {
    Close();
    m_bFailed = false;
    DWORD access = GENERIC_READ, share = FILE_SHARE_READ, disposition = OPEN_EXISTING;
    if (mode == kWrite) {
        access = GENERIC_WRITE;
        share = 0;
        disposition = CREATE_ALWAYS;
    } else if (mode == kAppend) {
        access = FILE_APPEND_DATA;  // every write lands at the end, whole
        share = FILE_SHARE_READ | FILE_SHARE_WRITE;
        disposition = OPEN_ALWAYS;
    }
    HANDLE h =
        CreateFileA(path, access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    m_hFile = (h == INVALID_HANDLE_VALUE) ? nullptr : h;
    return m_hFile != nullptr;
}

bool CFileStream::IsOpen() const { return m_hFile != nullptr; }

bool CFileStream::Seek(int64_t position) {
    if (!m_hFile || m_bFailed || position < 0) return false;
    LARGE_INTEGER to;
    to.QuadPart = position;
    return SetFilePointerEx(m_hFile, to, nullptr, FILE_BEGIN) != 0;
}

bool CFileStream::SeekBy(int64_t distance) {
    if (!m_hFile || m_bFailed) return false;
    LARGE_INTEGER by;
    by.QuadPart = distance;
    return SetFilePointerEx(m_hFile, by, nullptr, FILE_CURRENT) != 0;
}

int64_t CFileStream::Tell() const {
    if (!m_hFile) return -1;
    LARGE_INTEGER zero, at;
    zero.QuadPart = 0;
    if (!SetFilePointerEx(m_hFile, zero, &at, FILE_CURRENT)) return -1;
    return at.QuadPart;
}

size_t CFileStream::Read(void* data, size_t count) {
    if (!m_hFile || m_bFailed) {
        m_bFailed = true;
        return 0;
    }
    size_t done = 0;
    while (done < count) {
        DWORD want = static_cast<DWORD>(count - done > 0x40000000 ? 0x40000000 : count - done);
        DWORD got = 0;
        if (!ReadFile(m_hFile, static_cast<char*>(data) + done, want, &got, nullptr) || got == 0)
            break;
        done += got;
    }
    if (done < count) m_bFailed = true;
    return done;
}

size_t CFileStream::Write(const void* data, size_t count) {
    if (!m_hFile || m_bFailed) {
        m_bFailed = true;
        return 0;
    }
    size_t done = 0;
    while (done < count) {
        DWORD want = static_cast<DWORD>(count - done > 0x40000000 ? 0x40000000 : count - done);
        DWORD put = 0;
        if (!WriteFile(m_hFile, static_cast<const char*>(data) + done, want, &put, nullptr) ||
            put == 0)
            break;
        done += put;
    }
    if (done < count) m_bFailed = true;
    return done;
}

bool CFileStream::Close() {
    if (!m_hFile) return false;
    BOOL ok = CloseHandle(m_hFile);
    m_hFile = nullptr;
    return ok && !m_bFailed;
}
