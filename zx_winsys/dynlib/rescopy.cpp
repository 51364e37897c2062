// Copies of a data file into a library as a raw-data resource, and back.
#include <windows.h>

#include <new>
#include <string>
#include <vector>

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
bool ResourceBytes(HMODULE module, const wchar_t *name, const void **bytes, DWORD *size, const wchar_t **reason) {
    HRSRC found = FindResourceExW(module, MAKEINTRESOURCEW(10) /* RT_RCDATA */, name, kNeutral);
    if (!found) {
        *reason = L"Cannot locate resource.";
        return false;
    }
    HGLOBAL loaded = LoadResource(module, found);
    if (!loaded) {
        *reason = L"Cannot load resource.";
        return false;
    }
    *bytes = LockResource(loaded);
    if (!*bytes) {
        *reason = L"Cannot lock resource.";
        return false;
    }
    *size = SizeofResource(module, found);
    return true;
}

bool ReadWhole(HANDLE file, std::vector<char> *bytes) {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file, &size) || size.QuadPart > 0x7FFFFFFF) return false;
    bytes->resize(static_cast<size_t>(size.QuadPart));
    DWORD got = 0;
    return bytes->empty() ||
           (ReadFile(file, bytes->data(), static_cast<DWORD>(bytes->size()), &got, nullptr) && got == bytes->size());
}

// Writes the resource into a copy of the library and checks that it reads back; the copy's path.
bool UpdatedCopy(const wchar_t *libraryPath, const wchar_t *name, const std::vector<char> &bytes, std::wstring *copy) {
    *copy = std::wstring(libraryPath) + L".update.tmp";
    if (!CopyFileW(libraryPath, copy->c_str(), FALSE)) return false;
    SetFileAttributesW(copy->c_str(), FILE_ATTRIBUTE_NORMAL);
    HANDLE update = BeginUpdateResourceW(copy->c_str(), FALSE);
    bool ok = update != nullptr;
    if (ok && !UpdateResourceW(update, MAKEINTRESOURCEW(10), name, kNeutral, const_cast<char *>(bytes.data()),
                               static_cast<DWORD>(bytes.size()))) {
        EndUpdateResourceW(update, TRUE); // discarded
        ok = false;
    } else if (ok) {
        ok = EndUpdateResourceW(update, FALSE) != FALSE;
    }
    if (ok) {
        HMODULE check = LoadAsData(copy->c_str());
        const void *back = nullptr;
        DWORD size = 0;
        const wchar_t *reason = nullptr;
        ok = check && ResourceBytes(check, name, &back, &size, &reason) && size == bytes.size() &&
             memcmp(back, bytes.data(), size) == 0;
        if (check) FreeLibrary(check);
    }
    if (!ok) DeleteFileW(copy->c_str());
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
    std::wstring copy;
    if (!UpdatedCopy(libraryPath, name, bytes, &copy)) return Fail(L"Updating resource failed.");
    if (!MoveFileExW(copy.c_str(), libraryPath, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileW(copy.c_str());
        return Fail(L"Updating resource failed.");
    }
    return QX_OK;
} catch (const std::bad_alloc &) {
    return Fail(L"Cannot open the data file."); // no room for its bytes
}

int QX_DllToResource(const wchar_t *name, const wchar_t *libraryPath, const wchar_t *dataPath) {
    if (!name || !libraryPath || !dataPath) return Fail(L"Cannot load the dll file.");
    HMODULE library = LoadAsData(libraryPath);
    if (!library) return Fail(L"Cannot load the dll file.");
    // The data file is opened without being emptied: it changes only once the bytes are at hand.
    const bool existed = GetFileAttributesW(dataPath) != INVALID_FILE_ATTRIBUTES;
    HANDLE data = CreateFileW(dataPath, GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (data == INVALID_HANDLE_VALUE) {
        FreeLibrary(library);
        return Fail(L"Cannot open the data file.");
    }
    const void *bytes = nullptr;
    DWORD size = 0;
    const wchar_t *reason = nullptr;
    if (!ResourceBytes(library, name, &bytes, &size, &reason)) {
        CloseHandle(data);
        if (!existed) DeleteFileW(dataPath);
        FreeLibrary(library);
        return Fail(reason);
    }
    DWORD written = 0;
    const bool ok = SetEndOfFile(data) && WriteFile(data, bytes, size, &written, nullptr) && written == size;
    const bool closed = CloseHandle(data) != FALSE;
    FreeLibrary(library);
    if (!ok || !closed) return Fail(L"Cannot write the data file.");
    return QX_OK;
}

const wchar_t *QX_GetResCopyError(void) {
    return g_lastError;
}

} // extern "C"
