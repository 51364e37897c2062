// Files read at any offset and files that replace a target in one step.
#include <windows.h>

#include <cwchar>

#include "zx_gensys/internal/sharing.h"
#include "zx_gensys/qx_treefile.h"

namespace gensysw {

namespace {

// A suffix no earlier attempt used: the process, a count and the high-resolution clock.
std::wstring TemporarySuffix() {
    static volatile LONG counter = 0;
    LARGE_INTEGER now = {};
    QueryPerformanceCounter(&now);
    wchar_t suffix[64];
    swprintf(suffix, 64, L".%lx-%lx-%lx.tmp", GetCurrentProcessId(),
             static_cast<unsigned long>(InterlockedIncrement(&counter)),
             static_cast<unsigned long>(now.LowPart ^ GetTickCount()));
    return suffix;
}

bool MoveTo(HANDLE file, uint64_t offset, uint64_t *position) {
    if (*position == offset) return true;
    LARGE_INTEGER to;
    to.QuadPart = static_cast<LONGLONG>(offset);
    if (!SetFilePointerEx(file, to, nullptr, FILE_BEGIN)) return false;
    *position = offset;
    return true;
}

} // namespace

FileSource::~FileSource() {
    Close();
}

void FileSource::Close() {
    if (m_file != INVALID_HANDLE_VALUE) CloseHandle(m_file);
    m_file = INVALID_HANDLE_VALUE;
}

bool FileSource::Open(const wchar_t *path) {
    Close();
    if (!path || !*path) {
        SetLastError(ERROR_INVALID_NAME);
        return false;
    }
    const bool opened = gensys::RetryWhileShared([&] {
        m_file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
        return m_file != INVALID_HANDLE_VALUE;
    });
    LARGE_INTEGER size;
    if (!opened || !GetFileSizeEx(m_file, &size)) {
        const DWORD error = GetLastError();
        Close();
        SetLastError(error);
        return false;
    }
    m_size = static_cast<uint64_t>(size.QuadPart);
    m_position = 0;
    return true;
}

size_t FileSource::ReadAt(uint64_t offset, void *into, size_t size) {
    if (m_file == INVALID_HANDLE_VALUE || !MoveTo(m_file, offset, &m_position)) return 0;
    size_t done = 0;
    while (done < size) {
        const DWORD chunk = static_cast<DWORD>(size - done < (1u << 30) ? size - done : (1u << 30));
        DWORD got = 0;
        if (!ReadFile(m_file, static_cast<char *>(into) + done, chunk, &got, nullptr) || got == 0) break;
        done += got;
    }
    m_position += done;
    return done;
}

ReplacingFile::~ReplacingFile() {
    Abandon();
}

bool ReplacingFile::Create(const wchar_t *target) {
    Abandon();
    if (!target || !*target) {
        SetLastError(ERROR_INVALID_NAME);
        return false;
    }
    const DWORD attributes = GetFileAttributesW(target);
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY))) {
        SetLastError((attributes & FILE_ATTRIBUTE_DIRECTORY) ? ERROR_ACCESS_DENIED : ERROR_FILE_READ_ONLY);
        return false;
    }
    m_target = target;
    for (int attempt = 0; attempt < 100; ++attempt) {
        m_temporary = m_target + TemporarySuffix();
        m_file = CreateFileW(m_temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
        if (m_file != INVALID_HANDLE_VALUE) break;
        if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
    if (m_file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        m_temporary.clear();
        SetLastError(error);
        return false;
    }
    m_position = 0;
    m_error = 0;
    return true;
}

bool ReplacingFile::WriteAt(uint64_t offset, const void *data, size_t size) {
    if (m_file == INVALID_HANDLE_VALUE) return false;
    if (!MoveTo(m_file, offset, &m_position)) {
        if (!m_error) m_error = GetLastError();
        return false;
    }
    const char *bytes = static_cast<const char *>(data);
    size_t done = 0;
    while (done < size) {
        const DWORD chunk = static_cast<DWORD>(size - done < (1u << 30) ? size - done : (1u << 30));
        DWORD put = 0;
        if (!WriteFile(m_file, bytes + done, chunk, &put, nullptr) || put != chunk) {
            if (!m_error) m_error = GetLastError() ? GetLastError() : ERROR_WRITE_FAULT;
            m_position = ~uint64_t(0); // unknown: the next write seeks
            return false;
        }
        done += put;
    }
    m_position += size;
    return true;
}

bool ReplacingFile::Truncate(uint64_t size) {
    if (m_file == INVALID_HANDLE_VALUE || !MoveTo(m_file, size, &m_position) || !SetEndOfFile(m_file)) {
        if (!m_error) m_error = GetLastError();
        return false;
    }
    return true;
}

bool ReplacingFile::Close() {
    if (m_file == INVALID_HANDLE_VALUE) {
        if (m_error) SetLastError(m_error);
        return m_error == 0 && !m_temporary.empty();
    }
    const bool ok = m_error == 0 && FlushFileBuffers(m_file);
    if (!ok && !m_error) m_error = GetLastError() ? GetLastError() : ERROR_WRITE_FAULT;
    CloseHandle(m_file);
    m_file = INVALID_HANDLE_VALUE;
    if (!ok) SetLastError(m_error);
    return ok;
}

bool ReplacingFile::Commit() {
    DWORD error = 0;
    bool ok = Close();
    if (!ok) error = GetLastError();
    // A reader of the old file may keep it from being replaced for a moment.
    if (ok && !gensys::RetryWhileShared(
                  [&] {
                      return MoveFileExW(m_temporary.c_str(), m_target.c_str(),
                                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
                  },
                  true)) {
        ok = false;
        error = GetLastError();
    }
    if (ok) {
        m_temporary.clear();
        return true;
    }
    Abandon();
    SetLastError(error ? error : ERROR_WRITE_FAULT);
    return false;
}

void ReplacingFile::Abandon() {
    if (m_file != INVALID_HANDLE_VALUE) CloseHandle(m_file);
    m_file = INVALID_HANDLE_VALUE;
    if (!m_temporary.empty()) DeleteFileW(m_temporary.c_str());
    m_temporary.clear();
}

size_t FileUnits::Read(char16_t *into, size_t max) {
    const size_t want = m_left < max ? static_cast<size_t>(m_left) : max;
    if (want == 0) return 0;
    const size_t got = m_source.ReadAt(m_offset, into, 2 * want) / 2;
    m_offset += 2 * got;
    m_left -= got;
    return got; // units as stored: little-endian, as this platform keeps them
}

} // namespace gensysw
