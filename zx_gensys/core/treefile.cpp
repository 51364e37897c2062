// The settings-tree file format as a whole tree in memory, on top of the streaming reader and writer.
#include "zx_gensys/core/tree.h"

#include <cstring>

#include "zx_gensys/core/treestream.h"

namespace gensys {

namespace {

bool Emit(TreeWriter &w, const Node &n) {
    if (n.kind != NodeKind::Level) return w.Value(n);
    if (!w.BeginLevel(n.name)) return false;
    for (const Node &c : n.children)
        if (!Emit(w, c)) return false;
    return w.EndLevel();
}

bool Build(TreeReader &r, uint64_t offset, Node *n, uint64_t *after) {
    Entry e;
    if (!r.Read(offset, &e, ~size_t(0))) return false;
    n->name = std::move(e.name);
    n->kind = e.kind;
    switch (e.kind) {
    case NodeKind::Level: {
        uint64_t at = e.end;
        // Children are added as they are read: the count only says how many to expect.
        for (uint32_t i = 0; i < e.count; ++i) {
            n->children.emplace_back();
            if (!Build(r, at, &n->children.back(), &at)) return false;
        }
        *after = at;
        return true;
    }
    case NodeKind::Bool:
        n->boolean = e.boolean;
        break;
    case NodeKind::Int32:
    case NodeKind::Int64:
        n->integer = e.integer;
        break;
    case NodeKind::UInt32:
    case NodeKind::UInt64:
        n->unsignedValue = e.unsignedValue;
        break;
    case NodeKind::Double:
        std::memcpy(&n->real, &e.bits, sizeof n->real);
        break;
    case NodeKind::Text:
        if (!r.Units(e.dataOffset, e.dataLength, &n->text)) return false;
        break;
    case NodeKind::Binary:
        n->tag = e.tag;
        if (!r.Bytes(e.dataOffset, e.dataLength, &n->bytes)) return false;
        break;
    case NodeKind::Empty:
        break;
    }
    *after = e.end;
    return true;
}

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

uint64_t EncodedTreeSize(const Node &root) {
    return kHeaderSize + EncodedNodeSize(root);
}

std::string EncodeTree(const Node &root) {
    MemorySink sink;
    TreeWriter w(sink);
    if (!w.Begin()) return std::string();
    for (const Node &c : root.children)
        if (!Emit(w, c)) return std::string();
    uint64_t size = 0;
    if (!w.Finish(&size)) return std::string();
    return std::move(sink.bytes);
}

bool ReadTree(TreeReader &reader, Node *root) {
    Node parsed;
    uint64_t after = 0;
    if (!Build(reader, reader.Root(), &parsed, &after)) return false;
    *root = std::move(parsed);
    return true;
}

bool DecodeTree(const unsigned char *data, size_t size, Node *root) {
    MemorySource source(data, size);
    TreeReader reader(source);
    return reader.Validate(size) && ReadTree(reader, root);
}

} // namespace gensys
