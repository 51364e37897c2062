// Node comparison.
#include "zx_gensys/core/tree.h"

#include <cstring>

namespace gensys {

bool Node::operator==(const Node &o) const {
    if (name != o.name || kind != o.kind) return false;
    switch (kind) {
    case NodeKind::Empty:
        return true;
    case NodeKind::Level:
        return children == o.children;
    case NodeKind::Bool:
        return boolean == o.boolean;
    case NodeKind::Int32:
    case NodeKind::Int64:
        return integer == o.integer;
    case NodeKind::UInt32:
    case NodeKind::UInt64:
        return unsignedValue == o.unsignedValue;
    case NodeKind::Double:
        return std::memcmp(&real, &o.real, sizeof real) == 0; // bit for bit, NaNs included
    case NodeKind::Text:
        return text == o.text;
    case NodeKind::Binary:
        return tag == o.tag && bytes == o.bytes;
    }
    return false;
}

} // namespace gensys
