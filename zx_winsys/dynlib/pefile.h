// An executable file on disk read through its headers a piece at a time: nothing is mapped, so
// the size of the file costs nothing, and every offset and size the file gives is checked against
// the file before it is read.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

namespace qx {

class PeFile {
public:
    PeFile() = default;
    ~PeFile();
    PeFile(const PeFile &) = delete;
    PeFile &operator=(const PeFile &) = delete;

    // Opens the file and reads its headers and section table; false for a file that cannot be
    // opened (*cannotOpen set) or whose headers are no PE headers lying inside it.
    bool Open(const wchar_t *path, bool *cannotOpen);
    // True when length bytes at offset lie inside the file.
    bool Holds(uint64_t offset, uint64_t length) const {
        return offset <= m_size && length <= m_size - offset;
    }
    // Reads length bytes at offset; false unless they lie inside the file.
    bool Read(uint64_t offset, uint64_t length, void *into) const;
    const std::vector<IMAGE_SECTION_HEADER> &Sections() const { return m_sections; }
    // The file offset of an address relative to the image (inside a section's raw data), with the
    // bytes of that section's raw data that follow it; false when no section holds it.
    bool FileOffsetOf(uint32_t rva, uint64_t *offset, uint64_t *available) const;
    // The data directory entry index (IMAGE_DIRECTORY_ENTRY_*), zero when the file has none.
    IMAGE_DATA_DIRECTORY Directory(unsigned index) const;

private:
    HANDLE m_file = INVALID_HANDLE_VALUE;
    uint64_t m_size = 0;
    std::vector<IMAGE_SECTION_HEADER> m_sections;
    std::vector<IMAGE_DATA_DIRECTORY> m_directories;
};

// True when the file's resource tree can be walked safely: every directory, name and data entry
// inside the resource section, no deeper than type, name and language, each directory reached
// once, and every resource's bytes inside the file. A file without resources is sound.
bool ResourceTreeIsSound(const PeFile &file);

} // namespace qx
