// The temporary folder and temporary names from "$" patterns.
#include <windows.h>

#include <stdio.h>
#include <string>
#include <time.h>

#include "zx_winsys/internal/paths.h"
#include "zx_winsys/internal/strings.h"
#include "zx_winsys/qx_directory.h"
#include "zx_winsys/qx_file.h"

namespace {

// The C library's generator, with the state kept per call: the same seed gives the same
// names on every runtime.
class NameGenerator {
public:
    explicit NameGenerator(uint32_t seed) : m_state(seed) {}
    int Next() {
        m_state = m_state * 214013u + 2531011u;
        return static_cast<int>((m_state >> 16) & 0x7FFF);
    }

private:
    uint32_t m_state;
};

// The pattern with every run of n "$" replaced by number printed with at least n digits.
std::wstring Expand(const wchar_t *pattern, int number) {
    std::wstring out;
    for (const wchar_t *p = pattern; *p;) {
        if (*p != L'$') {
            out += *p++;
            continue;
        }
        int run = 0;
        while (p[run] == L'$')
            ++run;
        p += run;
        if (run > static_cast<int>(qx::kMaxPath)) run = static_cast<int>(qx::kMaxPath); // too long anyway
        wchar_t format[16], digits[qx::kMaxPath + 8];
        swprintf(format, 16, L"%%0%dd", run);
        swprintf(digits, qx::kMaxPath + 8, format, number);
        out += digits;
    }
    return out;
}

} // namespace

extern "C" {

int QX_GetTempPath(wchar_t *buffer, int length) {
    if (!buffer) return QX_ERR_INVALID_ARG;
    return qx::FillOrEmpty(buffer, length, QX_ERR_TEMP_PATH,
                           [](wchar_t *out, DWORD room) { return GetTempPathW(room, out); });
}

int QX_GetTempFileName(const wchar_t *directory, const wchar_t *pattern, int create, wchar_t *buffer,
                       int length) {
    if (!pattern || !buffer) return QX_ERR_INVALID_ARG;
    // An empty folder would put the file in the root of the current drive.
    if (directory && !*directory) return QX_ERR_INVALID_ARG;
    wchar_t temp[qx::kMaxPath];
    if (!directory) {
        int status = QX_GetTempPath(temp, static_cast<int>(qx::kMaxPath));
        if (status != QX_OK) return status;
        directory = temp;
    }
    const size_t dirLength = wcslen(directory);
    const bool joined = dirLength > 0 && qx::IsSeparator(directory[dirLength - 1]);
    const std::wstring prefix = std::wstring(directory) + (joined ? L"" : L"\\");
    const int candidates = wcschr(pattern, L'$') ? QX_TEMPNAME_MAX_CANDIDATES : 1;

    NameGenerator generator(static_cast<uint32_t>(time(nullptr)));
    std::wstring name;
    for (int i = 0; i < candidates && name.empty(); ++i) {
        std::wstring candidate = prefix + Expand(pattern, generator.Next());
        if (candidate.size() >= qx::kMaxPath) break;
        if (QX_AccessFile(candidate.c_str(), 0) == QX_ERR_NO_ACCESS) name = candidate;
    }
    if (name.empty()) {
        if (length > 0) buffer[0] = L'\0';
        return QX_ERR_TEMP_PATH;
    }

    // A cut name could not be found again: refused before anything is created.
    if (name.size() >= static_cast<size_t>(length > 0 ? length : 0)) {
        if (length > 0) buffer[0] = L'\0';
        return QX_ERR_BUFFER_TOO_SMALL;
    }
    int result = QX_OK;
    if (create) {
        void *file = nullptr;
        result = QX_OpenFile(name.c_str(), QX_OPEN_READ | QX_OPEN_WRITE | QX_OPEN_CREATE, 0, QX_PERM_DEFAULT,
                             &file);
        if (result == QX_OK) QX_CloseFile(file);
    }
    qx::CopyBounded(buffer, length, name.c_str(), qx::Termination::Always);
    return result;
}

int QX_SearchPath(const wchar_t *searchPath, const wchar_t *fileName, const wchar_t *extension,
                  wchar_t *buffer, int length) {
    if (!fileName || !buffer) return QX_ERR_INVALID_ARG;
    return qx::FillOrEmpty(buffer, length, QX_ERR_SEARCH_PATH, [&](wchar_t *out, DWORD room) {
        return SearchPathW(searchPath, fileName, extension, room, out, nullptr);
    });
}

} // extern "C"
