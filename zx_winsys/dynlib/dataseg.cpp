// Copies of named sections out of executable files on disk.
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <new>

#include "zx_winsys/qx_dynlib.h"

namespace {

// The mapped file, with every read checked against its size.
struct Image {
    const unsigned char *base;
    uint64_t size;
    bool Holds(uint64_t offset, uint64_t length) const { return offset <= size && length <= size - offset; }
};

int CopySection(const Image &image, const char *section, void **data, unsigned int *size) {
    if (!image.Holds(0, sizeof(IMAGE_DOS_HEADER))) return QX_ERR_SYSTEM;
    const auto *dos = reinterpret_cast<const IMAGE_DOS_HEADER *>(image.base);
    if (dos->e_magic != IMAGE_DOS_SIGNATURE || dos->e_lfanew < 0) return QX_ERR_SYSTEM;
    const uint64_t nt = static_cast<uint64_t>(dos->e_lfanew);
    // Signature and file header; the section table follows the optional header, whose size the
    // file header gives (224 bytes for 32-bit files, 240 for 64-bit ones).
    if (!image.Holds(nt, 4 + sizeof(IMAGE_FILE_HEADER))) return QX_ERR_SYSTEM;
    if (std::memcmp(image.base + nt, "PE\0\0", 4) != 0) return QX_ERR_SYSTEM;
    const auto *file = reinterpret_cast<const IMAGE_FILE_HEADER *>(image.base + nt + 4);
    const uint64_t table = nt + 4 + sizeof(IMAGE_FILE_HEADER) + file->SizeOfOptionalHeader;
    const uint64_t count = file->NumberOfSections;
    if (!image.Holds(table, count * sizeof(IMAGE_SECTION_HEADER))) return QX_ERR_SYSTEM;
    const int wanted = static_cast<int>(strnlen(section, IMAGE_SIZEOF_SHORT_NAME + 1));
    for (uint64_t i = 0; i < count; ++i) {
        const auto *entry = reinterpret_cast<const IMAGE_SECTION_HEADER *>(image.base + table) + i;
        // An eight-character name has no terminator.
        const char *name = reinterpret_cast<const char *>(entry->Name);
        const int length = static_cast<int>(strnlen(name, IMAGE_SIZEOF_SHORT_NAME));
        if (CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, name, length, section, wanted) != CSTR_EQUAL)
            continue;
        const uint64_t offset = entry->PointerToRawData, bytes = entry->SizeOfRawData;
        if (bytes == 0) {
            *data = nullptr; // no raw data (.bss)
            *size = 0;
            return QX_OK;
        }
        if (!image.Holds(offset, bytes)) return QX_ERR_SYSTEM;
        void *copy = new (std::nothrow) unsigned char[bytes];
        if (!copy) {
            *size = 0;
            return QX_ERR_SYSTEM;
        }
        std::memcpy(copy, image.base + offset, bytes);
        *data = copy;
        *size = static_cast<unsigned int>(bytes);
        return QX_OK;
    }
    return QX_ERR_SYSTEM;
}

} // namespace

extern "C" {

int QX_GetDataSeg(const wchar_t *path, const char *section, void **data, unsigned int *size) {
    if (!path || !section || !data || !size) return QX_ERR_SYSTEM;
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return QX_ERR_CANNOT_OPEN;
    LARGE_INTEGER length;
    int status = QX_ERR_SYSTEM;
    HANDLE mapping = nullptr;
    const void *view = nullptr;
    if (GetFileSizeEx(file, &length) && length.QuadPart > 0 &&
        (mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr)) != nullptr &&
        (view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0)) != nullptr) {
        const Image image = {static_cast<const unsigned char *>(view), static_cast<uint64_t>(length.QuadPart)};
        status = CopySection(image, section, data, size);
    }
    if (view) UnmapViewOfFile(view);
    if (mapping) CloseHandle(mapping);
    CloseHandle(file);
    return status;
}

int QX_FreeDataSeg(void **data) {
    if (data) {
        delete[] static_cast<unsigned char *>(*data);
        *data = nullptr;
    }
    return QX_OK;
}

} // extern "C"
