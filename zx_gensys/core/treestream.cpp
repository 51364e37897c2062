// The tree file read and written a node at a time.
#include "zx_gensys/core/treestream.h"

#include <cstring>

#include "zx_gensys/core/crc32.h"

namespace gensys {

namespace {

const unsigned char kMagic[4] = {'Q', 'X', 'T', 'R'};
const uint16_t kVersion = 1;

uint32_t LittleU32(const unsigned char *p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

void PutU32(unsigned char *p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<unsigned char>(v >> (8 * i));
}

} // namespace

size_t MemorySource::ReadAt(uint64_t offset, void *into, size_t size) {
    if (offset >= m_size) return 0;
    const size_t n = size < m_size - offset ? size : static_cast<size_t>(m_size - offset);
    std::memcpy(into, m_data + offset, n);
    return n;
}

bool MemorySink::WriteAt(uint64_t offset, const void *data, size_t size) {
    if (offset + size > bytes.size()) bytes.resize(static_cast<size_t>(offset + size));
    if (size) std::memcpy(&bytes[static_cast<size_t>(offset)], data, size);
    return true;
}

bool MemorySink::Truncate(uint64_t size) {
    bytes.resize(static_cast<size_t>(size));
    return true;
}

// --- reading ---

TreeReader::TreeReader(ByteSource &source, size_t window)
    : m_source(source), m_windowLimit(window < 64 ? 64 : window), m_window(64) {}

bool TreeReader::Fail(const char *reason) {
    m_reason = reason;
    return false;
}

// Points *bytes at size bytes of the file at offset (size at most the window's).
bool TreeReader::Get(uint64_t offset, size_t size, const unsigned char **bytes) {
    if (offset >= m_windowStart && offset + size <= m_windowStart + m_windowUsed) {
        *bytes = m_window.data() + (offset - m_windowStart);
        return true;
    }
    if (size > m_window.size()) return Fail("a read larger than the window");
    m_windowStart = offset;
    m_windowUsed = m_source.ReadAt(offset, m_window.data(), m_window.size());
    if (m_windowUsed < size) return Fail("the file cannot be read");
    *bytes = m_window.data();
    return true;
}

bool TreeReader::U8(uint64_t *at, uint8_t *v) {
    const unsigned char *p;
    if (*at + 1 > m_end) return Fail("a node is cut off");
    if (!Get(*at, 1, &p)) return false;
    *v = p[0];
    *at += 1;
    return true;
}

bool TreeReader::U32(uint64_t *at, uint32_t *v) {
    const unsigned char *p;
    if (*at + 4 > m_end) return Fail("a node is cut off");
    if (!Get(*at, 4, &p)) return false;
    *v = LittleU32(p);
    *at += 4;
    return true;
}

bool TreeReader::U64(uint64_t *at, uint64_t *v) {
    const unsigned char *p;
    if (*at + 8 > m_end) return Fail("a node is cut off");
    if (!Get(*at, 8, &p)) return false;
    *v = static_cast<uint64_t>(LittleU32(p)) | static_cast<uint64_t>(LittleU32(p + 4)) << 32;
    *at += 8;
    return true;
}

bool TreeReader::Open(uint64_t fileSize) {
    m_reason = "";
    m_end = 0;
    m_windowUsed = 0;
    if (fileSize < kHeaderSize) return Fail("shorter than a tree file's header");
    if (fileSize > kMaxFileSize) return Fail("larger than 1 GiB");
    unsigned char header[kHeaderSize];
    if (m_source.ReadAt(0, header, kHeaderSize) != kHeaderSize) return Fail("the file cannot be read");
    if (std::memcmp(header, kMagic, 4) != 0) return Fail("not a settings tree");
    if ((header[4] | header[5] << 8) != kVersion || (header[6] | header[7] << 8) != 0)
        return Fail("another version of the tree format");
    if (LittleU32(header + 8) != fileSize - kHeaderSize)
        return Fail("the length in the header is not the file's");
    m_crc = LittleU32(header + 12);
    m_end = fileSize;
    // The window is no larger than the file: a small file costs a small buffer.
    const size_t window = fileSize < m_windowLimit ? static_cast<size_t>(fileSize) : m_windowLimit;
    m_window.resize(window < 64 ? 64 : window);
    return true;
}

bool TreeReader::CheckCrc() {
    uint32_t crc = 0;
    for (uint64_t at = kHeaderSize; at < m_end;) {
        const size_t want = m_end - at < m_window.size() ? static_cast<size_t>(m_end - at) : m_window.size();
        const size_t got = m_source.ReadAt(at, m_window.data(), want);
        if (got != want) return Fail("the file cannot be read");
        crc = Crc32Update(crc, m_window.data(), got);
        at += got;
        if (m_progress && !m_progress(at)) return Fail("stopped");
    }
    m_windowUsed = 0; // the window held the last piece at another place
    return crc == m_crc || Fail("the checksum does not match");
}

bool TreeReader::CheckStructure(int *depth, uint64_t *nodes) {
    Entry root;
    if (!Read(Root(), &root, 0)) return false;
    if (root.kind != NodeKind::Level) return Fail("the root is not a level");
    uint64_t after = 0;
    int deepest = 1;
    uint64_t count = 0;
    if (!SkipDeep(Root(), 1, &after, &deepest, &count)) return false;
    if (after != m_end) return Fail("bytes are left after the root");
    if (depth) *depth = deepest;
    if (nodes) *nodes = count;
    return true;
}

bool TreeReader::Validate(uint64_t fileSize, int *depth, uint64_t *nodes) {
    return Open(fileSize) && CheckCrc() && CheckStructure(depth, nodes);
}

bool TreeReader::Read(uint64_t offset, Entry *e, size_t nameLimit) {
    uint64_t at = offset;
    uint8_t kind;
    if (!U8(&at, &kind)) return false;
    if (kind > static_cast<uint8_t>(NodeKind::Binary)) return Fail("a node of unknown kind");
    e->kind = static_cast<NodeKind>(kind);
    e->start = offset;
    if (!U32(&at, &e->nameLength)) return false;
    if (e->nameLength > (m_end - at) / 2) return Fail("a name is longer than the bytes left");
    e->nameOffset = at;
    e->nameHeld = e->nameLength <= nameLimit;
    e->name.clear();
    if (e->nameHeld && !Units(at, e->nameLength, &e->name)) return false;
    at += 2 * uint64_t(e->nameLength);
    uint8_t b;
    uint32_t u32;
    switch (e->kind) {
    case NodeKind::Empty:
        break;
    case NodeKind::Level:
        if (!U32(&at, &e->count)) return false;
        // Every child takes at least kMinNodeSize bytes: a count the rest cannot hold is refused.
        if (e->count > (m_end - at) / kMinNodeSize)
            return Fail("a count is larger than the bytes left can hold");
        break;
    case NodeKind::Bool:
        if (!U8(&at, &b)) return false;
        if (b > 1) return Fail("a bool that is neither 0 nor 1");
        e->boolean = b == 1;
        break;
    case NodeKind::Int32:
        if (!U32(&at, &u32)) return false;
        e->integer = static_cast<int32_t>(u32);
        break;
    case NodeKind::UInt32:
        if (!U32(&at, &u32)) return false;
        e->unsignedValue = u32;
        break;
    case NodeKind::Int64: {
        uint64_t v;
        if (!U64(&at, &v)) return false;
        e->integer = static_cast<int64_t>(v);
        break;
    }
    case NodeKind::UInt64:
        if (!U64(&at, &e->unsignedValue)) return false;
        break;
    case NodeKind::Double:
        if (!U64(&at, &e->bits)) return false;
        break;
    case NodeKind::Text:
        if (!U32(&at, &e->dataLength)) return false;
        if (e->dataLength > (m_end - at) / 2) return Fail("a text is longer than the bytes left");
        e->dataOffset = at;
        at += 2 * uint64_t(e->dataLength);
        break;
    case NodeKind::Binary:
        if (!U32(&at, &e->tag) || !U32(&at, &e->dataLength)) return false;
        if (e->dataLength > m_end - at) return Fail("bytes are longer than the bytes left");
        e->dataOffset = at;
        at += e->dataLength;
        break;
    }
    e->end = at;
    return true;
}

bool TreeReader::SkipDeep(uint64_t offset, int depth, uint64_t *after, int *deepest, uint64_t *nodes) {
    if (depth > kMaxDepth) return Fail("nested deeper than a tree may be");
    if (depth > *deepest) *deepest = depth;
    ++*nodes;
    Entry e;
    if (!Read(offset, &e, 0)) return false;
    uint64_t at = e.end;
    if (e.kind == NodeKind::Level)
        for (uint32_t i = 0; i < e.count; ++i)
            if (!SkipDeep(at, depth + 1, &at, deepest, nodes)) return false;
    *after = at;
    return true;
}

bool TreeReader::Skip(uint64_t offset, int depth, uint64_t *after) {
    int deepest = depth;
    uint64_t nodes = 0;
    return SkipDeep(offset, depth, after, &deepest, &nodes);
}

bool TreeReader::Raw(uint64_t offset, void *into, size_t size) {
    if (offset + size > m_end) return Fail("a read past the end");
    unsigned char *out = static_cast<unsigned char *>(into);
    while (size) {
        const size_t got = m_source.ReadAt(offset, out, size);
        if (got == 0) return Fail("the file cannot be read");
        offset += got;
        out += got;
        size -= got;
    }
    return true;
}

bool TreeReader::Units(uint64_t offset, uint32_t count, Text *units) {
    units->resize(count);
    if (!count) return true;
    // Read through the window for short texts (names), straight into memory for long ones.
    if (2 * size_t(count) <= 4096) {
        const unsigned char *p;
        if (offset + 2 * uint64_t(count) > m_end) return Fail("a read past the end");
        if (!Get(offset, 2 * size_t(count), &p)) return false;
        for (uint32_t i = 0; i < count; ++i)
            (*units)[i] = static_cast<char16_t>(p[2 * i] | p[2 * i + 1] << 8);
        return true;
    }
    if (!Raw(offset, &(*units)[0], 2 * size_t(count))) return false;
    const char16_t probe = 1;
    unsigned char first;
    std::memcpy(&first, &probe, 1);
    if (first != 1)
        for (char16_t &c : *units)
            c = static_cast<char16_t>((c >> 8) | (c << 8));
    return true;
}

bool TreeReader::Bytes(uint64_t offset, uint32_t count, std::string *bytes) {
    bytes->resize(count);
    return count == 0 || Raw(offset, &(*bytes)[0], count);
}

// --- writing ---

TreeWriter::TreeWriter(ByteSink &sink, size_t buffer) : m_sink(sink) {
    m_buffer.reserve(buffer < 64 ? 64 : buffer);
}

bool TreeWriter::Fail(const char *reason) {
    if (!*m_reason) m_reason = reason;
    return false;
}

bool TreeWriter::Room(uint64_t more) {
    return m_size + more <= kMaxFileSize || Fail("the file would be larger than 1 GiB");
}

bool TreeWriter::Flush() {
    if (m_buffer.empty()) return true;
    if (!m_sink.WriteAt(m_bufferStart, m_buffer.data(), m_buffer.size()))
        return Fail("the file cannot be written");
    m_bufferStart += m_buffer.size();
    m_buffer.clear();
    return true;
}

bool TreeWriter::PutUnchecked(const void *bytes, size_t size, bool updateCrc) {
    if (updateCrc) m_crc = Crc32Update(m_crc, static_cast<const unsigned char *>(bytes), size);
    const unsigned char *p = static_cast<const unsigned char *>(bytes);
    if (m_buffer.size() + size > m_buffer.capacity()) {
        if (!Flush()) return false;
        if (size >= m_buffer.capacity()) {
            if (!m_sink.WriteAt(m_bufferStart, p, size)) return Fail("the file cannot be written");
            m_bufferStart += size;
            m_size += size;
            return true;
        }
    }
    m_buffer.insert(m_buffer.end(), p, p + size);
    m_size += size;
    return true;
}

bool TreeWriter::Put(const void *bytes, size_t size) {
    return Room(size) && PutUnchecked(bytes, size, true);
}

bool TreeWriter::Patch(uint64_t offset, uint32_t value) {
    unsigned char bytes[4];
    PutU32(bytes, value);
    static const unsigned char kZero[4] = {0, 0, 0, 0};
    m_crc = Crc32Patch(m_crc, kZero, bytes, 4, m_size - offset - 4);
    if (offset >= m_bufferStart) {
        std::memcpy(m_buffer.data() + (offset - m_bufferStart), bytes, 4);
        return true;
    }
    return m_sink.WriteAt(offset, bytes, 4) || Fail("the file cannot be written");
}

bool TreeWriter::Head(NodeKind kind, const Text &name) {
    if (m_open.empty() || m_inText) return Fail("no level is open");
    // The new node sits one below the current level (m_open[0] is the root's parent).
    if (static_cast<int>(m_open.size()) > kMaxDepth) return Fail("nested deeper than a tree may be");
    if (m_open.back().count == 0xFFFFFFFFu) return Fail("a level with too many children");
    if (!Room(5 + 2 * uint64_t(name.size()))) return false;
    unsigned char head[5];
    head[0] = static_cast<unsigned char>(kind);
    PutU32(head + 1, static_cast<uint32_t>(name.size()));
    if (!Put(head, 5)) return false;
    for (size_t at = 0; at < name.size();) {
        unsigned char chunk[512];
        size_t n = 0;
        for (; n < sizeof chunk && at < name.size(); n += 2, ++at) {
            chunk[n] = static_cast<unsigned char>(name[at] & 0xFF);
            chunk[n + 1] = static_cast<unsigned char>(name[at] >> 8);
        }
        if (!Put(chunk, n)) return false;
    }
    ++m_open.back().count;
    return true;
}

bool TreeWriter::Begin() {
    static const unsigned char kPlaceholder[kHeaderSize] = {};
    m_reason = "";
    if (!PutUnchecked(kPlaceholder, kHeaderSize, false)) return false;
    m_open.assign(1, Open{0, 0}); // a parent for the root, never written
    return BeginLevel(Text());
}

bool TreeWriter::BeginLevel(const Text &name) {
    static const unsigned char kZero[4] = {};
    if (!Head(NodeKind::Level, name)) return false;
    const uint64_t countOffset = m_size;
    if (!Put(kZero, 4)) return false;
    m_open.push_back({countOffset, 0});
    return true;
}

bool TreeWriter::EndLevel() {
    if (m_open.size() <= 2 || m_inText) return Fail("no level to end");
    const Open level = m_open.back();
    m_open.pop_back();
    return Patch(level.countOffset, level.count);
}

bool TreeWriter::Value(const Node &n) {
    if (n.kind == NodeKind::Level) return Fail("a level is no value");
    if (!Head(n.kind, n.name)) return false;
    unsigned char body[16];
    switch (n.kind) {
    case NodeKind::Empty:
        return true;
    case NodeKind::Bool:
        body[0] = n.boolean ? 1 : 0;
        return Put(body, 1);
    case NodeKind::Int32:
        PutU32(body, static_cast<uint32_t>(static_cast<int32_t>(n.integer)));
        return Put(body, 4);
    case NodeKind::UInt32:
        PutU32(body, static_cast<uint32_t>(n.unsignedValue));
        return Put(body, 4);
    case NodeKind::Int64:
    case NodeKind::UInt64:
    case NodeKind::Double: {
        uint64_t v = n.kind == NodeKind::Int64 ? static_cast<uint64_t>(n.integer) : n.unsignedValue;
        if (n.kind == NodeKind::Double) std::memcpy(&v, &n.real, sizeof v);
        PutU32(body, static_cast<uint32_t>(v));
        PutU32(body + 4, static_cast<uint32_t>(v >> 32));
        return Put(body, 8);
    }
    case NodeKind::Text: {
        PutU32(body, static_cast<uint32_t>(n.text.size()));
        if (n.text.size() > 0xFFFFFFFFu || !Put(body, 4)) return Fail("a text too long for the format");
        m_inText = true;
        m_textUnits = 0;
        const bool ok = TextUnits(n.text.data(), n.text.size());
        m_inText = false;
        return ok;
    }
    case NodeKind::Binary:
        PutU32(body, n.tag);
        PutU32(body + 4, static_cast<uint32_t>(n.bytes.size()));
        if (n.bytes.size() > 0xFFFFFFFFu) return Fail("bytes too long for the format");
        return Put(body, 8) && Put(n.bytes.data(), n.bytes.size());
    case NodeKind::Level:
        break;
    }
    return false;
}

bool TreeWriter::BeginText(const Text &name) {
    static const unsigned char kZero[4] = {};
    if (!Head(NodeKind::Text, name)) return false;
    m_textLengthOffset = m_size;
    m_textUnits = 0;
    if (!Put(kZero, 4)) return false;
    m_inText = true;
    return true;
}

bool TreeWriter::TextUnits(const char16_t *units, size_t count) {
    if (!m_inText) return Fail("no text is open");
    if (m_textUnits + count > 0xFFFFFFFFu) return Fail("a text too long for the format");
    unsigned char chunk[4096];
    for (size_t at = 0; at < count;) {
        size_t n = 0;
        for (; n < sizeof chunk && at < count; n += 2, ++at) {
            chunk[n] = static_cast<unsigned char>(units[at] & 0xFF);
            chunk[n + 1] = static_cast<unsigned char>(units[at] >> 8);
        }
        if (!Put(chunk, n)) return false;
    }
    m_textUnits += count;
    return true;
}

bool TreeWriter::EndText() {
    if (!m_inText) return Fail("no text is open");
    m_inText = false;
    return Patch(m_textLengthOffset, static_cast<uint32_t>(m_textUnits));
}

bool TreeWriter::AddNodes(uint32_t count) {
    if (m_open.empty() || m_inText) return Fail("no level is open");
    if (count > 0xFFFFFFFFu - m_open.back().count) return Fail("a level with too many children");
    m_open.back().count += count;
    return true;
}

bool TreeWriter::RawNodes(const void *bytes, size_t size, uint32_t count) {
    return AddNodes(count) && Put(bytes, size);
}

bool TreeWriter::RawBytes(const void *bytes, size_t size, uint32_t crc) {
    if (m_inText) return Fail("a text is open");
    if (!Room(size) || !PutUnchecked(bytes, size, false)) return false;
    m_crc = Crc32Combine(m_crc, crc, size);
    return true;
}

bool TreeWriter::Finish(uint64_t *size) {
    if (m_inText) return Fail("a text is open");
    while (m_open.size() > 2)
        if (!EndLevel()) return false;
    if (m_open.size() != 2) return Fail("the tree was not begun");
    const Open root = m_open.back();
    m_open.clear();
    if (!Patch(root.countOffset, root.count) || !Flush()) return false;
    unsigned char header[kHeaderSize];
    std::memcpy(header, kMagic, 4);
    header[4] = static_cast<unsigned char>(kVersion);
    header[5] = 0;
    header[6] = header[7] = 0;
    PutU32(header + 8, static_cast<uint32_t>(m_size - kHeaderSize));
    PutU32(header + 12, m_crc);
    if (!m_sink.WriteAt(0, header, kHeaderSize)) return Fail("the file cannot be written");
    if (size) *size = m_size;
    return true;
}

TreeWriter::Mark TreeWriter::Save() const {
    return Mark{m_size, m_crc, m_open.size(), m_open.empty() ? 0 : m_open.back().count, m_inText};
}

bool TreeWriter::Restore(const Mark &mark) {
    if (m_open.size() < mark.depth || mark.depth < 2) return Fail("the levels of the mark were ended");
    m_open.resize(mark.depth);
    m_open.back().count = mark.count;
    m_inText = mark.inText;
    if (mark.size >= m_bufferStart) {
        m_buffer.resize(static_cast<size_t>(mark.size - m_bufferStart));
    } else {
        m_buffer.clear();
        m_bufferStart = mark.size;
        if (!m_sink.Truncate(mark.size)) return Fail("the file cannot be cut back");
    }
    m_size = mark.size;
    m_crc = mark.crc;
    m_reason = "";
    return true;
}

} // namespace gensys
