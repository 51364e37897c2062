// The tree model shared by the settings-tree file format and the XML text form. Portable C++:
// no system headers, so the parsers also build natively for fuzzing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "zx_gensys/core/crc32.h"

namespace gensys {

using Text = std::u16string;

enum class NodeKind : uint8_t {
    Empty = 0, // a node without a value
    Level = 1, // an ordered list of named children
    Bool = 2,
    Int32 = 3,
    UInt32 = 4,
    Int64 = 5,
    UInt64 = 6,
    Double = 7,
    Text = 8,
    Binary = 9, // bytes with a 32-bit tag (a registry value keeps its type number there)
};

// Deepest nesting that the readers accept: the root is at depth 1, and no node, level or value,
// sits deeper. Writers refuse what the readers would refuse.
const int kMaxDepth = 128;
// Largest tree file (binary or text form) that is read; saving refuses anything larger.
const uint64_t kMaxFileSize = uint64_t(1) << 30;

struct Node {
    Text name;
    NodeKind kind = NodeKind::Level;
    bool boolean = false;
    int64_t integer = 0;        // Int32, Int64
    uint64_t unsignedValue = 0; // UInt32, UInt64
    double real = 0.0;
    Text text;
    std::string bytes;          // Binary
    uint32_t tag = 0;           // Binary
    std::vector<Node> children; // Level

    bool operator==(const Node &other) const;
    bool operator!=(const Node &other) const { return !(*this == other); }
};

// The depth of the deepest node below and including n (n itself at depth 1), counted no further
// than limit + 1.
int TreeDepth(const Node &n, int limit = kMaxDepth);

// Settings-tree file: see docs/tree-format.md. The root must be a level. "" for a tree that no
// file can hold (deeper than kMaxDepth, larger than kMaxFileSize).
std::string EncodeTree(const Node &root);
// The size in bytes of EncodeTree(root), header included, without encoding it.
uint64_t EncodedTreeSize(const Node &root);
// Strict: any deviation from the format makes it return false and leave *root unchanged.
bool DecodeTree(const unsigned char *data, size_t size, Node *root);

// XML text form: see docs/tree-format.md. Exact for every node.
Text EncodeXml(const Node &root);
// Strict: malformed text makes it return false and leave *root unchanged.
bool DecodeXml(const Text &xml, Node *root);

} // namespace gensys
