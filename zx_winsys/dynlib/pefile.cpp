// An executable file's headers and resource tree, read a piece at a time and checked as read.
#include "zx_winsys/dynlib/pefile.h"

#include <cstring>
#include <set>

namespace qx {

namespace {

constexpr WORD kPe32 = 0x10b, kPe32Plus = 0x20b;
// Where NumberOfRvaAndSizes stands in the optional header; the directories follow it.
constexpr uint32_t kDirectoryCountAt32 = 92, kDirectoryCountAt64 = 108;

} // namespace

PeFile::~PeFile() {
    if (m_file != INVALID_HANDLE_VALUE) CloseHandle(m_file);
}

bool PeFile::Read(uint64_t offset, uint64_t length, void *into) const {
    if (!Holds(offset, length) || length > 0xFFFFFFFFu) return false;
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(offset);
    OVERLAPPED where = {};
    where.Offset = at.LowPart;
    where.OffsetHigh = static_cast<DWORD>(at.HighPart);
    DWORD got = 0;
    return length == 0 || (ReadFile(m_file, into, static_cast<DWORD>(length), &got, &where) &&
                           got == static_cast<DWORD>(length));
}

bool PeFile::Open(const wchar_t *path, bool *cannotOpen) {
    *cannotOpen = false;
    m_file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (m_file == INVALID_HANDLE_VALUE) {
        *cannotOpen = true;
        return false;
    }
    LARGE_INTEGER size;
    if (!GetFileSizeEx(m_file, &size) || size.QuadPart <= 0) return false;
    m_size = static_cast<uint64_t>(size.QuadPart);
    IMAGE_DOS_HEADER dos;
    if (!Read(0, sizeof dos, &dos) || dos.e_magic != IMAGE_DOS_SIGNATURE || dos.e_lfanew < 0) return false;
    const uint64_t nt = static_cast<uint64_t>(dos.e_lfanew);
    char signature[4];
    IMAGE_FILE_HEADER header;
    if (!Read(nt, 4, signature) || std::memcmp(signature, "PE\0\0", 4) != 0 ||
        !Read(nt + 4, sizeof header, &header))
        return false;
    // The section table follows the optional header, whose size the file header gives.
    const uint64_t optional = nt + 4 + sizeof header;
    const uint64_t table = optional + header.SizeOfOptionalHeader;
    const uint64_t count = header.NumberOfSections;
    if (table > m_size || count * sizeof(IMAGE_SECTION_HEADER) > m_size - table) return false;
    m_sections.resize(static_cast<size_t>(count));
    if (!Read(table, count * sizeof(IMAGE_SECTION_HEADER), m_sections.data())) return false;
    // The data directories, where the optional header is of a form we know and holds them.
    WORD magic = 0;
    if (header.SizeOfOptionalHeader >= sizeof magic && Read(optional, sizeof magic, &magic) &&
        (magic == kPe32 || magic == kPe32Plus)) {
        const uint32_t countAt = magic == kPe32 ? kDirectoryCountAt32 : kDirectoryCountAt64;
        uint32_t directories = 0;
        if (header.SizeOfOptionalHeader >= countAt + sizeof directories &&
            Read(optional + countAt, sizeof directories, &directories)) {
            const uint32_t room = (header.SizeOfOptionalHeader - countAt - 4) / sizeof(IMAGE_DATA_DIRECTORY);
            directories = directories < room ? directories : room;
            directories = directories < IMAGE_NUMBEROF_DIRECTORY_ENTRIES ? directories
                                                                         : IMAGE_NUMBEROF_DIRECTORY_ENTRIES;
            m_directories.resize(directories);
            if (!Read(optional + countAt + 4, directories * sizeof(IMAGE_DATA_DIRECTORY),
                      m_directories.data()))
                m_directories.clear();
        }
    }
    return true;
}

bool PeFile::FileOffsetOf(uint32_t rva, uint64_t *offset, uint64_t *available) const {
    for (const IMAGE_SECTION_HEADER &section : m_sections) {
        if (rva < section.VirtualAddress) continue;
        const uint64_t into = rva - section.VirtualAddress;
        if (into >= section.SizeOfRawData) continue;
        const uint64_t start = static_cast<uint64_t>(section.PointerToRawData) + into;
        if (start >= m_size) continue;
        *offset = start;
        const uint64_t raw = section.SizeOfRawData - into, inFile = m_size - start;
        *available = raw < inFile ? raw : inFile;
        return true;
    }
    return false;
}

IMAGE_DATA_DIRECTORY PeFile::Directory(unsigned index) const {
    return index < m_directories.size() ? m_directories[index] : IMAGE_DATA_DIRECTORY{};
}

namespace {

// Walks the resource tree inside [base, base + limit) of the file.
class TreeCheck {
public:
    TreeCheck(const PeFile &file, uint64_t base, uint64_t limit)
        : m_file(file), m_base(base), m_limit(limit) {}

    // The directory at offset (from the tree's start) at depth 0 (types), 1 (names), 2 (languages).
    bool Directory(uint32_t offset, int depth) {
        if (depth > 2 || !m_seen.insert(offset).second) return false; // too deep, or reached twice
        IMAGE_RESOURCE_DIRECTORY directory;
        if (!Get(offset, sizeof directory, &directory)) return false;
        const uint64_t entries =
            static_cast<uint64_t>(directory.NumberOfNamedEntries) + directory.NumberOfIdEntries;
        const uint64_t first = static_cast<uint64_t>(offset) + sizeof directory;
        if (first > m_limit || entries * sizeof(IMAGE_RESOURCE_DIRECTORY_ENTRY) > m_limit - first)
            return false;
        for (uint64_t i = 0; i < entries; ++i) {
            IMAGE_RESOURCE_DIRECTORY_ENTRY entry;
            if (!Get(first + i * sizeof entry, sizeof entry, &entry)) return false;
            if (entry.NameIsString && !Name(entry.NameOffset)) return false;
            if (entry.DataIsDirectory ? !Directory(entry.OffsetToDirectory, depth + 1)
                                      : !Data(entry.OffsetToData))
                return false;
        }
        return true;
    }

private:
    bool Get(uint64_t offset, uint64_t length, void *into) const {
        return offset <= m_limit && length <= m_limit - offset && m_file.Read(m_base + offset, length, into);
    }

    bool Name(uint32_t offset) const {
        WORD length = 0;
        return Get(offset, sizeof length, &length) &&
               static_cast<uint64_t>(offset) + 2 + 2ull * length <= m_limit;
    }

    bool Data(uint32_t offset) const {
        IMAGE_RESOURCE_DATA_ENTRY data;
        if (!Get(offset, sizeof data, &data)) return false;
        uint64_t at = 0, available = 0;
        return data.Size == 0 ||
               (m_file.FileOffsetOf(data.OffsetToData, &at, &available) && data.Size <= available);
    }

    const PeFile &m_file;
    const uint64_t m_base, m_limit;
    std::set<uint32_t> m_seen;
};

} // namespace

bool ResourceTreeIsSound(const PeFile &file) {
    const IMAGE_DATA_DIRECTORY resources = file.Directory(IMAGE_DIRECTORY_ENTRY_RESOURCE);
    if (resources.VirtualAddress == 0) return true;
    uint64_t base = 0, available = 0;
    if (!file.FileOffsetOf(resources.VirtualAddress, &base, &available)) return false;
    return TreeCheck(file, base, available).Directory(0, 0);
}

} // namespace qx
