// Settings-tree files on disk, read and written a node at a time (the portable reader and writer of
// zx_gensys/core over files): memory does not grow with the file. For programs that move large
// trees, such as settings packages.
#pragma once

#include <windows.h>

#include <string>

#include "zx_gensys/core/treestream.h"
#include "zx_gensys/core/xmlstream.h"

namespace gensysw {

// A file read at any offset. Opened sharing read and delete but not write: nothing changes what is
// being read, while the platform may still replace the file by a rename.
class FileSource : public gensys::ByteSource {
public:
    FileSource() = default;
    ~FileSource() override;
    FileSource(const FileSource &) = delete;
    FileSource &operator=(const FileSource &) = delete;
    // Tries a sharing conflict again for about a second (a replacement's rename holds the file for
    // an instant). false with the system's error as the last error.
    bool Open(const wchar_t *path);
    bool IsOpen() const { return m_file != INVALID_HANDLE_VALUE; }
    uint64_t Size() const { return m_size; }
    size_t ReadAt(uint64_t offset, void *into, size_t size) override;
    void Close();

private:
    HANDLE m_file = INVALID_HANDLE_VALUE;
    uint64_t m_size = 0;
    uint64_t m_position = 0; // where the next read starts without a seek
};

// A new file that takes the place of a target in one step: written under a temporary name beside
// it ("<target>.<hex>-<hex>-<hex>.tmp"), flushed, then moved over it by Commit. Deleted when the
// object goes without Commit. A read-only target or a folder is refused.
class ReplacingFile : public gensys::ByteSink {
public:
    ReplacingFile() = default;
    ~ReplacingFile() override;
    ReplacingFile(const ReplacingFile &) = delete;
    ReplacingFile &operator=(const ReplacingFile &) = delete;
    // false with the system's error as the last error.
    bool Create(const wchar_t *target);
    bool WriteAt(uint64_t offset, const void *data, size_t size) override;
    bool Truncate(uint64_t size) override;
    // Flushes and closes the temporary file; it waits for Commit (or goes with the object).
    bool Close();
    // Closes, then moves the file over the target (a reader of the old one may hold it for about a
    // second). false with the system's error as the last error; the temporary file is gone then.
    bool Commit();
    // Deletes the temporary file.
    void Abandon();
    const std::wstring &Target() const { return m_target; }
    const std::wstring &Temporary() const { return m_temporary; }

private:
    HANDLE m_file = INVALID_HANDLE_VALUE;
    std::wstring m_target, m_temporary;
    uint64_t m_position = 0;
    DWORD m_error = 0; // the first failed write's error
};

// Units of text from a file region of a tree file (a text node's units).
class FileUnits : public gensys::RewindableUnitSource {
public:
    FileUnits(gensys::ByteSource &source, uint64_t offset, uint64_t units)
        : m_source(source), m_start(offset), m_offset(offset), m_left(units) {}
    size_t Read(char16_t *into, size_t max) override;
    bool Rewind() override {
        m_left += (m_offset - m_start) / 2;
        m_offset = m_start;
        return true;
    }

private:
    gensys::ByteSource &m_source;
    uint64_t m_start, m_offset, m_left;
};

} // namespace gensysw
