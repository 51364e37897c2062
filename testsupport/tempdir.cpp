// Temporary folders and small file helpers for tests.
#include "testsupport/zxtest.h"

namespace zxtest {

void Ensure(bool ok, const char *what) {
    if (ok) return;
    if (!doctest::is_running_in_test) {
        std::fprintf(stderr, "test helper failed: %s\n", what);
        std::fflush(stderr);
        ExitProcess(99);
    }
    REQUIRE_MESSAGE(ok, what);
}

TempDir::TempDir() {
    static LONG counter = 0;
    wchar_t base[MAX_PATH];
    DWORD n = GetTempPathW(MAX_PATH, base);
    Ensure(n > 0, "the temporary folder");
    for (;;) {
        wchar_t name[64];
        swprintf(name, 64, L"zxt-%lu-%ld", GetCurrentProcessId(), InterlockedIncrement(&counter));
        std::wstring candidate = std::wstring(base) + name;
        if (CreateDirectoryW(candidate.c_str(), nullptr)) {
            m_path = candidate;
            return;
        }
        Ensure(GetLastError() == ERROR_ALREADY_EXISTS, "a new temporary folder");
    }
}

TempDir::~TempDir() {
    RemoveTree(m_path);
}

std::wstring TempDir::operator/(const std::wstring &name) const {
    return m_path + L"\\" + name;
}

void RemoveTree(const std::wstring &path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return;
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        // A link: removed itself, never followed out of the tree.
        if (!RemoveDirectoryW(path.c_str())) DeleteFileW(path.c_str());
        return;
    }
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        DeleteFileW(path.c_str());
        return;
    }
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = data.cFileName;
            if (name != L"." && name != L"..") RemoveTree(path + L"\\" + name);
        } while (FindNextFileW(find, &data));
        FindClose(find);
    }
    RemoveDirectoryW(path.c_str());
}

void WriteFileBytes(const std::wstring &path, const std::string &bytes) {
    HANDLE file =
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    Ensure(file != INVALID_HANDLE_VALUE, "a file to write");
    DWORD written = 0;
    BOOL ok =
        bytes.empty() || WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    Ensure(ok && written == bytes.size(), "all bytes written");
}

std::string ReadFileBytes(const std::wstring &path) {
    // Sharing delete as well: a file just renamed into place may still be open, with delete access,
    // in the process that renamed it (Wine's MoveFileEx closes its handle only after the rename).
    HANDLE file =
        CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    std::string bytes;
    // In a child scenario no test runs and doctest's assertions are not available: a file that
    // cannot be read reads as empty there.
    if (file == INVALID_HANDLE_VALUE) {
        if (!doctest::is_running_in_test) return bytes;
        REQUIRE_MESSAGE(file != INVALID_HANDLE_VALUE, Narrow(path));
    }
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
        bytes.append(buffer, got);
    CloseHandle(file);
    return bytes;
}

bool FileExists(const std::wstring &path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string Narrow(const std::wstring &text) {
    int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    if (n > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &out[0], n, nullptr,
                            nullptr);
    return out;
}

FileHolder::FileHolder(const std::wstring &path, DWORD access, DWORD share, DWORD holdMs)
    : m_file(CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING, 0, nullptr)), m_holdMs(holdMs) {
    if (m_file == INVALID_HANDLE_VALUE) return;
    m_thread = CreateThread(nullptr, 0, Release, this, 0, nullptr);
    if (!m_thread) CloseHandle(m_file);
}

DWORD WINAPI FileHolder::Release(void *self) {
    auto *holder = static_cast<FileHolder *>(self);
    Sleep(holder->m_holdMs);
    CloseHandle(holder->m_file);
    return 0;
}

FileHolder::~FileHolder() {
    if (!m_thread) return;
    WaitForSingleObject(m_thread, INFINITE);
    CloseHandle(m_thread);
}

} // namespace zxtest
