// Copies of a data file into a library as a raw-data resource, and back.
#include <windows.h>

#include <cwchar>
#include <new>
#include <string>
#include <vector>

#include "zx_winsys/dynlib/pefile.h"
#include "zx_winsys/dynlib/resourcebytes.h"
#include "zx_winsys/qx_dynlib.h"

namespace {

const wchar_t *volatile g_lastError = nullptr;

const WORD kNeutral = MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL);

int Fail(const wchar_t *text) {
    g_lastError = text;
    return QX_ERR_SYSTEM;
}

HMODULE LoadAsData(const wchar_t *path) {
    return LoadLibraryExW(path, nullptr, LOAD_LIBRARY_AS_DATAFILE);
}

// The bytes of the language-neutral raw-data resource name of module; false with the reason.
bool ResourceBytes(HMODULE module, const wchar_t *name, const void **bytes, DWORD *size,
                   const wchar_t **reason) {
    HRSRC found = FindResourceExW(module, MAKEINTRESOURCEW(10) /* RT_RCDATA */, name, kNeutral);
    if (!found) {
        *reason = L"Cannot locate resource.";
        return false;
    }
    if (!qx::ResourceBytes(module, found, bytes, size)) {
        *reason = L"Cannot load resource."; // not loadable, or its bytes run past the library
        return false;
    }
    return true;
}

bool ReadWhole(HANDLE file, std::vector<char> *bytes) {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file, &size) || size.QuadPart > 0x7FFFFFFF) return false;
    bytes->resize(static_cast<size_t>(size.QuadPart));
    DWORD got = 0;
    return bytes->empty() ||
           (ReadFile(file, bytes->data(), static_cast<DWORD>(bytes->size()), &got, nullptr) &&
            got == bytes->size());
}

// The file a path leads to: a link is followed to its target, so that the target is what changes.
std::wstring RealPath(const wchar_t *path) {
    HANDLE file = CreateFileW(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return path;
    std::wstring real(GetFinalPathNameByHandleW(file, nullptr, 0, FILE_NAME_NORMALIZED), L'\0');
    const DWORD length = real.empty()
                             ? 0
                             : GetFinalPathNameByHandleW(file, &real[0], static_cast<DWORD>(real.size()),
                                                         FILE_NAME_NORMALIZED);
    CloseHandle(file);
    if (length == 0 || length >= real.size()) return path;
    real.resize(length);
    // The plain form where it is within the path limit.
    if (real.compare(0, 8, L"\\\\?\\UNC\\") == 0) return L"\\" + real.substr(7);
    if (real.compare(0, 4, L"\\\\?\\") == 0 && real.size() - 4 < MAX_PATH) return real.substr(4);
    return real;
}

// Makes a new, empty file of a name no one else uses beside target ("~qx<hex>.tmp" in its folder);
// the name has fewer digits where the folder leaves less room under the path limit, and takes the
// \\?\ form only where not even one digit fits. Its path, or empty.
std::wstring CreateSibling(const std::wstring &target) {
    static volatile LONG counter = 0;
    const size_t cut = target.find_last_of(L"\\/");
    const std::wstring folder = cut == std::wstring::npos ? std::wstring() : target.substr(0, cut + 1);
    const size_t fixed = 7; // "~qx" and ".tmp"
    const bool prefixed = folder.compare(0, 4, L"\\\\?\\") == 0;
    const size_t room = MAX_PATH - 1 > folder.size() + fixed ? MAX_PATH - 1 - folder.size() - fixed : 0;
    const int digits = prefixed || room >= 8 ? 8 : static_cast<int>(room);
    for (int attempt = 0; attempt < 100; ++attempt) {
        wchar_t name[32];
        DWORD mix = GetCurrentProcessId() * 0x9E3779B1u ^ GetTickCount() ^
                    (static_cast<DWORD>(InterlockedIncrement(&counter)) << 20);
        if (digits > 0 && digits < 8) mix = (mix * 0x9E3779B1u) >> (32 - 4 * digits); // the top bits mix all
        swprintf(name, 32, L"~qx%0*lx.tmp", digits > 0 ? digits : 8, static_cast<unsigned long>(mix));
        std::wstring path = folder + name;
        if (digits == 0) {
            const DWORD need = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
            std::wstring full(need, L'\0');
            const DWORD got = need ? GetFullPathNameW(path.c_str(), need, &full[0], nullptr) : 0;
            if (got == 0 || got >= need) return std::wstring();
            full.resize(got);
            path = full.compare(0, 2, L"\\\\") == 0 ? L"\\\\?\\UNC\\" + full.substr(2) : L"\\\\?\\" + full;
        }
        HANDLE file =
            CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
            return path;
        }
        if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS)
            return std::wstring();
    }
    return std::wstring();
}

// The copy's resource tree is checked before the system's update sees it: the system is not
// trusted to survive a damaged one.
bool SoundForUpdate(const std::wstring &path) {
    qx::PeFile file;
    bool cannotOpen = false;
    return file.Open(path.c_str(), &cannotOpen) && qx::ResourceTreeIsSound(file);
}

// Writes the resource into the copy of the library and checks that it reads back.
bool UpdateCopy(const std::wstring &copy, const wchar_t *name, const std::vector<char> &bytes) {
    if (!SoundForUpdate(copy)) return false;
    HANDLE update = BeginUpdateResourceW(copy.c_str(), FALSE);
    if (update == nullptr) return false;
    if (!UpdateResourceW(update, MAKEINTRESOURCEW(10), name, kNeutral, const_cast<char *>(bytes.data()),
                         static_cast<DWORD>(bytes.size()))) {
        EndUpdateResourceW(update, TRUE); // discarded
        return false;
    }
    if (!EndUpdateResourceW(update, FALSE)) return false;
    HMODULE check = LoadAsData(copy.c_str());
    const void *back = nullptr;
    DWORD size = 0;
    const wchar_t *reason = nullptr;
    const bool ok = check && ResourceBytes(check, name, &back, &size, &reason) && size == bytes.size() &&
                    memcmp(back, bytes.data(), size) == 0;
    if (check) FreeLibrary(check);
    return ok;
}

// Replaces target by bytes through a new file beside it, moved into place once it is whole.
bool ReplaceWith(const std::wstring &target, const void *bytes, DWORD size) {
    const std::wstring temporary = CreateSibling(target);
    if (temporary.empty()) return false;
    HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING, 0, nullptr);
    DWORD written = 0;
    bool ok = file != INVALID_HANDLE_VALUE &&
              (size == 0 || WriteFile(file, bytes, size, &written, nullptr)) && written == size &&
              FlushFileBuffers(file);
    if (file != INVALID_HANDLE_VALUE) ok = CloseHandle(file) && ok;
    ok = ok &&
         MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!ok) DeleteFileW(temporary.c_str());
    return ok;
}

} // namespace

extern "C" {

int QX_ResourceToDll(const wchar_t *name, const wchar_t *libraryPath, const wchar_t *dataPath) try {
    if (!name || !libraryPath || !dataPath) return Fail(L"Cannot load the dll file.");
    HMODULE library = LoadAsData(libraryPath);
    if (!library) return Fail(L"Cannot load the dll file.");
    HANDLE data = CreateFileW(dataPath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    FreeLibrary(library);
    if (data == INVALID_HANDLE_VALUE) return Fail(L"Cannot open the data file.");
    std::vector<char> bytes;
    const bool read = ReadWhole(data, &bytes);
    CloseHandle(data);
    if (!read) return Fail(L"Cannot open the data file.");
    // The system refuses an empty resource; nothing is begun for it.
    if (bytes.empty()) return Fail(L"Updating resource failed.");
    // A copy beside the library (beside a link's target) is updated, checked and moved into place;
    // the copy goes on every way out.
    const std::wstring target = RealPath(libraryPath);
    const std::wstring copy = CreateSibling(target);
    if (copy.empty()) return Fail(L"Updating resource failed.");
    const bool ok =
        CopyFileW(target.c_str(), copy.c_str(), FALSE) &&
        SetFileAttributesW(copy.c_str(), FILE_ATTRIBUTE_NORMAL) && UpdateCopy(copy, name, bytes) &&
        MoveFileExW(copy.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!ok) {
        DeleteFileW(copy.c_str());
        return Fail(L"Updating resource failed.");
    }
    return QX_OK;
} catch (const std::bad_alloc &) {
    return Fail(L"Cannot open the data file."); // no room for its bytes
}

int QX_DllToResource(const wchar_t *name, const wchar_t *libraryPath, const wchar_t *dataPath) try {
    if (!name || !libraryPath || !dataPath) return Fail(L"Cannot load the dll file.");
    HMODULE library = LoadAsData(libraryPath);
    if (!library) return Fail(L"Cannot load the dll file.");
    const void *bytes = nullptr;
    DWORD size = 0;
    const wchar_t *reason = nullptr;
    if (!ResourceBytes(library, name, &bytes, &size, &reason)) {
        FreeLibrary(library);
        return Fail(reason);
    }
    // The data file must be writable; it changes only when the new one is whole beside it.
    const bool existed = GetFileAttributesW(dataPath) != INVALID_FILE_ATTRIBUTES;
    HANDLE data =
        CreateFileW(dataPath, GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (data == INVALID_HANDLE_VALUE) {
        FreeLibrary(library);
        return Fail(L"Cannot open the data file.");
    }
    CloseHandle(data);
    const bool ok = ReplaceWith(RealPath(dataPath), bytes, size);
    FreeLibrary(library);
    if (!ok) {
        if (!existed) DeleteFileW(dataPath);
        return Fail(L"Cannot write the data file.");
    }
    return QX_OK;
} catch (const std::bad_alloc &) {
    return Fail(L"Cannot write the data file.");
}

const wchar_t *QX_GetResCopyError(void) {
    return g_lastError;
}

} // extern "C"
