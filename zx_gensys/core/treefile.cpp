// The settings-tree file format: a 16-byte header and one node, little-endian.
#include "zx_gensys/core/tree.h"

#include <cstring>
#include <stdexcept>

namespace gensys {

namespace {

const unsigned char kMagic[4] = {'Q', 'X', 'T', 'R'};
const uint16_t kVersion = 1;
const size_t kHeaderSize = 16;
// The smallest encoded node: kind and name length (an empty node with an empty name).
const size_t kMinNodeSize = 1 + 4;

static_assert(sizeof(char16_t) == 2, "text units are two bytes");

// True where a text unit's bytes lie in memory as the file stores them (little-endian), so that
// whole texts move with one copy.
bool LittleEndianUnits() {
    const char16_t probe = 1;
    unsigned char first;
    std::memcpy(&first, &probe, 1);
    return first == 1;
}

// Writes into a buffer sized beforehand with EncodedNodeSize.
class Writer {
public:
    explicit Writer(unsigned char *out) : m_out(out), m_littleEndian(LittleEndianUnits()) {}
    void U8(uint8_t v) { *m_out++ = v; }
    void U32(uint32_t v) {
        for (int i = 0; i < 4; ++i)
            *m_out++ = static_cast<unsigned char>(v >> (8 * i));
    }
    void U64(uint64_t v) {
        for (int i = 0; i < 8; ++i)
            *m_out++ = static_cast<unsigned char>(v >> (8 * i));
    }
    void Units(const Text &t) {
        U32(static_cast<uint32_t>(t.size()));
        if (m_littleEndian) {
            if (!t.empty()) std::memcpy(m_out, t.data(), 2 * t.size());
            m_out += 2 * t.size();
            return;
        }
        for (char16_t c : t) {
            *m_out++ = static_cast<unsigned char>(c & 0xFF);
            *m_out++ = static_cast<unsigned char>(c >> 8);
        }
    }
    void Bytes(const std::string &b) {
        U32(static_cast<uint32_t>(b.size()));
        if (!b.empty()) std::memcpy(m_out, b.data(), b.size());
        m_out += b.size();
    }
    void Node(const gensys::Node &n) {
        U8(static_cast<uint8_t>(n.kind));
        Units(n.name);
        switch (n.kind) {
        case NodeKind::Empty:
            break;
        case NodeKind::Level:
            U32(static_cast<uint32_t>(n.children.size()));
            for (const gensys::Node &c : n.children)
                Node(c);
            break;
        case NodeKind::Bool:
            U8(n.boolean ? 1 : 0);
            break;
        case NodeKind::Int32:
            U32(static_cast<uint32_t>(static_cast<int32_t>(n.integer)));
            break;
        case NodeKind::UInt32:
            U32(static_cast<uint32_t>(n.unsignedValue));
            break;
        case NodeKind::Int64:
            U64(static_cast<uint64_t>(n.integer));
            break;
        case NodeKind::UInt64:
            U64(n.unsignedValue);
            break;
        case NodeKind::Double: {
            uint64_t bits;
            std::memcpy(&bits, &n.real, sizeof bits);
            U64(bits);
            break;
        }
        case NodeKind::Text:
            Units(n.text);
            break;
        case NodeKind::Binary:
            U32(n.tag);
            Bytes(n.bytes);
            break;
        }
    }

private:
    unsigned char *m_out;
    const bool m_littleEndian;
};

class Reader {
public:
    Reader(const unsigned char *data, size_t size)
        : m_data(data), m_left(size), m_littleEndian(LittleEndianUnits()) {}
    size_t Left() const { return m_left; }
    bool U8(uint8_t *v) {
        if (m_left < 1) return false;
        *v = *m_data++;
        --m_left;
        return true;
    }
    bool U32(uint32_t *v) {
        if (m_left < 4) return false;
        *v = 0;
        for (int i = 0; i < 4; ++i)
            *v |= static_cast<uint32_t>(m_data[i]) << (8 * i);
        m_data += 4;
        m_left -= 4;
        return true;
    }
    bool U64(uint64_t *v) {
        if (m_left < 8) return false;
        *v = 0;
        for (int i = 0; i < 8; ++i)
            *v |= static_cast<uint64_t>(m_data[i]) << (8 * i);
        m_data += 8;
        m_left -= 8;
        return true;
    }
    bool Units(Text *t) {
        uint32_t count;
        if (!U32(&count) || count > m_left / 2) return false;
        t->resize(count);
        if (m_littleEndian && count) {
            std::memcpy(&(*t)[0], m_data, 2 * static_cast<size_t>(count));
        } else {
            for (uint32_t i = 0; i < count; ++i)
                (*t)[i] = static_cast<char16_t>(m_data[2 * i] | (m_data[2 * i + 1] << 8));
        }
        m_data += 2 * static_cast<size_t>(count);
        m_left -= 2 * static_cast<size_t>(count);
        return true;
    }
    bool Bytes(std::string *b) {
        uint32_t count;
        if (!U32(&count) || count > m_left) return false;
        b->assign(reinterpret_cast<const char *>(m_data), count);
        m_data += count;
        m_left -= count;
        return true;
    }
    bool Node(gensys::Node *n, int depth) {
        if (depth > kMaxDepth) return false;
        uint8_t kind;
        if (!U8(&kind) || kind > static_cast<uint8_t>(NodeKind::Binary)) return false;
        n->kind = static_cast<NodeKind>(kind);
        if (!Units(&n->name)) return false;
        uint32_t u32;
        uint64_t u64;
        uint8_t u8;
        switch (n->kind) {
        case NodeKind::Empty:
            return true;
        case NodeKind::Level: {
            if (!U32(&u32)) return false;
            // Every child takes at least kMinNodeSize bytes: a count the rest of the file
            // cannot hold is refused before anything is allocated for it.
            if (u32 > m_left / kMinNodeSize) return false;
            n->children.resize(u32);
            for (gensys::Node &c : n->children)
                if (!Node(&c, depth + 1)) return false;
            return true;
        }
        case NodeKind::Bool:
            if (!U8(&u8) || u8 > 1) return false;
            n->boolean = u8 == 1;
            return true;
        case NodeKind::Int32:
            if (!U32(&u32)) return false;
            n->integer = static_cast<int32_t>(u32);
            return true;
        case NodeKind::UInt32:
            if (!U32(&u32)) return false;
            n->unsignedValue = u32;
            return true;
        case NodeKind::Int64:
            if (!U64(&u64)) return false;
            n->integer = static_cast<int64_t>(u64);
            return true;
        case NodeKind::UInt64:
            return U64(&n->unsignedValue);
        case NodeKind::Double:
            if (!U64(&u64)) return false;
            std::memcpy(&n->real, &u64, sizeof u64);
            return true;
        case NodeKind::Text:
            return Units(&n->text);
        case NodeKind::Binary:
            return U32(&n->tag) && Bytes(&n->bytes);
        }
        return false;
    }

private:
    const unsigned char *m_data;
    size_t m_left;
    const bool m_littleEndian;
};

uint32_t ReadU32(const unsigned char *p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// Tables for the reflected CRC-32 (polynomial 0xEDB88320) eight bytes at a time: entries[0] is the
// classic byte table, entries[k] advances a byte's contribution by k more bytes.
struct CrcTable {
    uint32_t entries[8][256];
    CrcTable() {
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            entries[0][i] = c;
        }
        for (uint32_t i = 0; i < 256; ++i)
            for (int k = 1; k < 8; ++k)
                entries[k][i] = (entries[k - 1][i] >> 8) ^ entries[0][entries[k - 1][i] & 0xFF];
    }
};

} // namespace

uint32_t Crc32(const unsigned char *data, size_t size) {
    static const CrcTable crcTable;
    const uint32_t(*t)[256] = crcTable.entries;
    uint32_t crc = 0xFFFFFFFFu;
    for (; size >= 8; data += 8, size -= 8) {
        const uint32_t low = crc ^ ReadU32(data);
        const uint32_t high = ReadU32(data + 4);
        crc = t[7][low & 0xFF] ^ t[6][(low >> 8) & 0xFF] ^ t[5][(low >> 16) & 0xFF] ^ t[4][low >> 24] ^
              t[3][high & 0xFF] ^ t[2][(high >> 8) & 0xFF] ^ t[1][(high >> 16) & 0xFF] ^ t[0][high >> 24];
    }
    for (; size > 0; ++data, --size)
        crc = t[0][(crc ^ *data) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

int TreeDepth(const Node &n, int limit) {
    if (limit <= 0) return 1;
    int deepest = 0;
    for (const Node &c : n.children) {
        const int d = TreeDepth(c, limit - 1);
        if (d > deepest) deepest = d;
        if (deepest >= limit) break;
    }
    return 1 + deepest;
}

namespace {

uint64_t EncodedNodeSize(const Node &n) {
    uint64_t size = 1 + 4 + 2 * uint64_t(n.name.size());
    switch (n.kind) {
    case NodeKind::Empty:
        break;
    case NodeKind::Level:
        size += 4;
        for (const Node &c : n.children)
            size += EncodedNodeSize(c);
        break;
    case NodeKind::Bool:
        size += 1;
        break;
    case NodeKind::Int32:
    case NodeKind::UInt32:
        size += 4;
        break;
    case NodeKind::Int64:
    case NodeKind::UInt64:
    case NodeKind::Double:
        size += 8;
        break;
    case NodeKind::Text:
        size += 4 + 2 * uint64_t(n.text.size());
        break;
    case NodeKind::Binary:
        size += 8 + n.bytes.size();
        break;
    }
    return size;
}

} // namespace

uint64_t EncodedTreeSize(const Node &root) {
    return kHeaderSize + EncodedNodeSize(root);
}

std::string EncodeTree(const Node &root) {
    const uint64_t size = EncodedTreeSize(root);
    // The buffer is written through a pointer: a size that cannot be allocated in full is refused.
    if (size > std::string().max_size()) throw std::length_error("settings tree too large to encode");
    std::string file(static_cast<size_t>(size), '\0');
    unsigned char *out = reinterpret_cast<unsigned char *>(&file[0]);
    Writer body(out + kHeaderSize);
    body.Node(root);
    const size_t length = file.size() - kHeaderSize;
    Writer header(out);
    for (unsigned char c : kMagic)
        header.U8(c);
    header.U8(static_cast<uint8_t>(kVersion));
    header.U8(static_cast<uint8_t>(kVersion >> 8));
    header.U8(0);
    header.U8(0);
    header.U32(static_cast<uint32_t>(length));
    header.U32(Crc32(out + kHeaderSize, length));
    return file;
}

bool DecodeTree(const unsigned char *data, size_t size, Node *root) {
    if (size < kHeaderSize || std::memcmp(data, kMagic, 4) != 0) return false;
    const uint16_t version = static_cast<uint16_t>(data[4] | data[5] << 8);
    const uint16_t flags = static_cast<uint16_t>(data[6] | data[7] << 8);
    if (version != kVersion || flags != 0) return false;
    const uint32_t length = ReadU32(data + 8);
    if (length != size - kHeaderSize) return false;
    const unsigned char *payload = data + kHeaderSize;
    if (Crc32(payload, length) != ReadU32(data + 12)) return false;

    Reader reader(payload, length);
    Node parsed;
    if (!reader.Node(&parsed, 1) || reader.Left() != 0 || parsed.kind != NodeKind::Level) return false;
    *root = std::move(parsed);
    return true;
}

} // namespace gensys
