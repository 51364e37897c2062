// Settings-tree files read and written a node at a time, through a window of fixed size: memory
// does not grow with the file. Portable C++, like the rest of the core.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "zx_gensys/core/tree.h"

namespace gensys {

// Bytes to read at any offset: a file, or memory.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Reads up to size bytes at offset; how many were read (fewer only at the end or on failure).
    virtual size_t ReadAt(uint64_t offset, void *into, size_t size) = 0;
};

class MemorySource : public ByteSource {
public:
    MemorySource(const unsigned char *data, size_t size) : m_data(data), m_size(size) {}
    size_t ReadAt(uint64_t offset, void *into, size_t size) override;

private:
    const unsigned char *m_data;
    size_t m_size;
};

// Where a writer's bytes go: written at any offset, and cut back.
class ByteSink {
public:
    virtual ~ByteSink() = default;
    virtual bool WriteAt(uint64_t offset, const void *data, size_t size) = 0;
    virtual bool Truncate(uint64_t size) = 0;
};

class MemorySink : public ByteSink {
public:
    bool WriteAt(uint64_t offset, const void *data, size_t size) override;
    bool Truncate(uint64_t size) override;
    std::string bytes;
};

const size_t kHeaderSize = 16;
// The smallest encoded node: kind and name length (an empty node with an empty name).
const size_t kMinNodeSize = 1 + 4;

// One node as the reader meets it: its head, and a value's body (texts and bytes by their place in
// the file, since they may be of any size).
struct Entry {
    NodeKind kind = NodeKind::Empty;
    uint64_t start = 0;      // offset of the node in the file
    uint64_t nameOffset = 0; // offset of the name's units
    uint32_t nameLength = 0; // units
    Text name;               // the name, when it is no longer than the reader was asked to hold
    bool nameHeld = false;
    uint32_t count = 0;         // Level: children, which follow
    uint64_t dataOffset = 0;    // Text: offset of the units; Binary: of the bytes
    uint32_t dataLength = 0;    // Text: units; Binary: bytes
    bool boolean = false;       // Bool
    int64_t integer = 0;        // Int32, Int64
    uint64_t unsignedValue = 0; // UInt32, UInt64
    uint64_t bits = 0;          // Double
    uint32_t tag = 0;           // Binary
    uint64_t end = 0;           // offset after a value; after a level's count (its first child)
};

// Reads a tree file. Every length and count is checked against the bytes left before it is used.
class TreeReader {
public:
    explicit TreeReader(ByteSource &source, size_t window = size_t(1) << 20);

    // The header against the file's size: magic, version, flags, the payload length, at most
    // kMaxFileSize. The reader then stands at the root.
    bool Open(uint64_t fileSize);
    // The payload's checksum against the header's. The progress function (see SetProgress) is told
    // the bytes done after each window; when it answers false the check stops and fails.
    bool CheckCrc();
    void SetProgress(std::function<bool(uint64_t done)> progress) { m_progress = std::move(progress); }
    // Every rule of the format over the whole payload: kinds, bool bytes, lengths, counts, depth,
    // a root that is a level, nothing left over. *depth and *nodes (each may be null) get the tree's
    // depth and its number of nodes.
    bool CheckStructure(int *depth = nullptr, uint64_t *nodes = nullptr);
    // Open, CheckCrc and CheckStructure.
    bool Validate(uint64_t fileSize, int *depth = nullptr, uint64_t *nodes = nullptr);
    // Why the last call failed ("" when it did not).
    const char *Reason() const { return m_reason; }

    uint64_t Root() const { return kHeaderSize; }
    uint64_t End() const { return m_end; }
    uint32_t HeaderCrc() const { return m_crc; }

    // The node at offset; a name of at most nameLimit units is held in entry->name.
    bool Read(uint64_t offset, Entry *entry, size_t nameLimit = 256);
    // The offset after the node at offset, skipping its children; depth is the node's depth, and
    // nothing deeper than kMaxDepth is accepted.
    bool Skip(uint64_t offset, int depth, uint64_t *after);
    // Text units or bytes at offset (from an entry).
    bool Units(uint64_t offset, uint32_t count, Text *units);
    bool Bytes(uint64_t offset, uint32_t count, std::string *bytes);
    // Reads size bytes at offset into the caller's memory.
    bool Raw(uint64_t offset, void *into, size_t size);

private:
    bool Fail(const char *reason);
    bool Get(uint64_t offset, size_t size, const unsigned char **bytes);
    bool U8(uint64_t *at, uint8_t *v);
    bool U32(uint64_t *at, uint32_t *v);
    bool U64(uint64_t *at, uint64_t *v);
    bool SkipDeep(uint64_t offset, int depth, uint64_t *after, int *deepest, uint64_t *nodes);

    ByteSource &m_source;
    size_t m_windowLimit;
    std::vector<unsigned char> m_window; // sized at Open: no larger than the file
    uint64_t m_windowStart = 0;
    size_t m_windowUsed = 0;
    uint64_t m_end = 0; // end of the payload
    uint32_t m_crc = 0;
    const char *m_reason = "";
    std::function<bool(uint64_t)> m_progress;
};

// The whole tree of a reader that passed Validate, in memory.
bool ReadTree(TreeReader &reader, Node *root);

// Writes a tree file front to back: a level's count is put in when the level ends, the header and
// its checksum at the end (the checksum is kept up to date as bytes are written and patched, so no
// byte is read again). Memory: the buffer and the open levels.
class TreeWriter {
public:
    explicit TreeWriter(ByteSink &sink, size_t buffer = size_t(1) << 20);

    // The header's place and the root level.
    bool Begin();
    bool BeginLevel(const Text &name);
    bool EndLevel();
    // A value node (any kind but Level).
    bool Value(const Node &value);
    // A text value written in pieces: its length is put in at EndText.
    bool BeginText(const Text &name);
    bool TextUnits(const char16_t *units, size_t count);
    bool EndText();
    // Adds count nodes already encoded (size bytes, checksum crc of those bytes) to the current
    // level: the caller writes them with RawBytes, or they are given whole here.
    bool RawNodes(const void *bytes, size_t size, uint32_t count);
    bool RawBytes(const void *bytes, size_t size, uint32_t crc);
    bool AddNodes(uint32_t count);
    // Ends the root and writes the header; *size the file's size.
    bool Finish(uint64_t *size);

    // The depth of the current level (the root: 1) and the file's size so far.
    int Depth() const { return static_cast<int>(m_open.size()) - 1; }
    uint64_t Size() const { return m_size; }
    const char *Reason() const { return m_reason; }

    // A point to come back to: what is written after it is dropped. Only while the levels that
    // were open at Save stay open.
    struct Mark {
        uint64_t size;
        uint32_t crc;
        size_t depth;
        uint32_t count;
        bool inText;
    };
    Mark Save() const;
    bool Restore(const Mark &mark);

private:
    struct Open {
        uint64_t countOffset;
        uint32_t count;
    };
    bool Fail(const char *reason);
    bool Put(const void *bytes, size_t size);
    bool PutUnchecked(const void *bytes, size_t size, bool updateCrc);
    bool Patch(uint64_t offset, uint32_t value);
    bool Flush();
    bool Head(NodeKind kind, const Text &name);
    bool Room(uint64_t more);

    ByteSink &m_sink;
    std::vector<unsigned char> m_buffer;
    uint64_t m_bufferStart = 0; // file offset of m_buffer[0]
    uint64_t m_size = 0;
    uint32_t m_crc = 0;       // of the payload written so far
    std::vector<Open> m_open; // the root's parent (never written), the root, and the levels below it
    uint64_t m_textLengthOffset = 0;
    uint64_t m_textUnits = 0;
    bool m_inText = false;
    const char *m_reason = "";
};

} // namespace gensys
