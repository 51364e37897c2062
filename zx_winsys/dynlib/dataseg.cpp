// Copies of named sections out of executable files on disk.
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <new>

#include "zx_winsys/dynlib/pefile.h"
#include "zx_winsys/qx_dynlib.h"

namespace {

int CopySection(const qx::PeFile &file, const char *section, void **data, unsigned int *size) {
    const int wanted = static_cast<int>(strnlen(section, IMAGE_SIZEOF_SHORT_NAME + 1));
    for (const IMAGE_SECTION_HEADER &entry : file.Sections()) {
        // An eight-character name has no terminator.
        const char *name = reinterpret_cast<const char *>(entry.Name);
        const int length = static_cast<int>(strnlen(name, IMAGE_SIZEOF_SHORT_NAME));
        if (CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, name, length, section, wanted) !=
            CSTR_EQUAL)
            continue;
        const uint64_t offset = entry.PointerToRawData, bytes = entry.SizeOfRawData;
        if (bytes == 0) {
            *data = nullptr; // no raw data (.bss)
            *size = 0;
            return QX_OK;
        }
        if (!file.Holds(offset, bytes)) return QX_ERR_SYSTEM; // raw data outside the file
        unsigned char *copy = new (std::nothrow) unsigned char[bytes];
        if (!copy) {
            *size = 0;
            return QX_ERR_SYSTEM;
        }
        if (!file.Read(offset, bytes, copy)) {
            delete[] copy;
            return QX_ERR_SYSTEM;
        }
        *data = copy;
        *size = static_cast<unsigned int>(bytes);
        return QX_OK;
    }
    return QX_ERR_SYSTEM;
}

} // namespace

extern "C" {

int QX_GetDataSeg(const wchar_t *path, const char *section, void **data, unsigned int *size) try {
    if (!path || !section || !data || !size) return QX_ERR_SYSTEM;
    // The headers and the section asked for are read, nothing else: the file's size costs nothing.
    qx::PeFile file;
    bool cannotOpen = false;
    if (!file.Open(path, &cannotOpen)) return cannotOpen ? QX_ERR_CANNOT_OPEN : QX_ERR_SYSTEM;
    return CopySection(file, section, data, size);
} catch (const std::bad_alloc &) {
    return QX_ERR_SYSTEM; // a section table too large to hold
}

int QX_FreeDataSeg(void **data) {
    if (data) {
        delete[] static_cast<unsigned char *>(*data);
        *data = nullptr;
    }
    return QX_OK;
}

} // extern "C"
