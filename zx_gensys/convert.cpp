// Conversions between variants and tree nodes, and name comparison.
#include <windows.h>

#include "zx_gensys/internal/convert.h"

namespace gensysw {

namespace {

gensys::Text FromString(const CQxStringW &s) {
    return gensys::Text(reinterpret_cast<const char16_t *>(s.GetString()),
                        static_cast<size_t>(s.GetLength()));
}

} // namespace

bool VariantToNode(const CQxVariant &v, gensys::Node *n, int depth) {
    if (depth > gensys::kMaxDepth) return false;
    n->name = FromString(v.GetName());
    switch (v.GetType()) {
    case EQxVariantType::Empty:
        n->kind = gensys::NodeKind::Empty;
        return true;
    case EQxVariantType::Bool:
        n->kind = gensys::NodeKind::Bool;
        n->boolean = v.GetBool();
        return true;
    case EQxVariantType::Int:
        n->kind = gensys::NodeKind::Int32;
        n->integer = static_cast<int32_t>(v.GetInt());
        return true;
    case EQxVariantType::Unsigned:
        n->kind = gensys::NodeKind::UInt32;
        n->unsignedValue = static_cast<uint32_t>(v.GetUnsigned());
        return true;
    case EQxVariantType::Int64:
        n->kind = gensys::NodeKind::Int64;
        n->integer = v.GetInt();
        return true;
    case EQxVariantType::UInt64:
        n->kind = gensys::NodeKind::UInt64;
        n->unsignedValue = v.GetUnsigned();
        return true;
    case EQxVariantType::Double:
        n->kind = gensys::NodeKind::Double;
        n->real = v.GetDouble();
        return true;
    case EQxVariantType::Text:
        n->kind = gensys::NodeKind::Text;
        n->text = FromString(v.GetText());
        return true;
    case EQxVariantType::Binary: {
        n->kind = gensys::NodeKind::Binary;
        size_t size = 0;
        const void *data = v.GetBinary(&size);
        n->bytes.assign(static_cast<const char *>(data), size);
        n->tag = v.GetTag();
        return true;
    }
    case EQxVariantType::List:
        n->kind = gensys::NodeKind::Level;
        n->children.resize(static_cast<size_t>(v.GetCount()));
        for (int i = 0; i < v.GetCount(); ++i)
            if (!VariantToNode(v[i], &n->children[static_cast<size_t>(i)], depth + 1)) return false;
        return true;
    case EQxVariantType::Pointer:
        return false;
    }
    return false;
}

namespace {

CQxStringW ToString(const gensys::Text &t) {
    return CQxStringW(reinterpret_cast<const wchar_t *>(t.data()), static_cast<int>(t.size()));
}

CQxVariant Unnamed(const gensys::Node &n);

} // namespace

CQxVariant NodeToVariant(const gensys::Node &n) {
    CQxVariant v = Unnamed(n);
    v.SetName(ToString(n.name));
    return v;
}

namespace {

CQxVariant Unnamed(const gensys::Node &n) {
    const wchar_t *name = L"";
    switch (n.kind) {
    case gensys::NodeKind::Empty:
        return CQxVariant();
    case gensys::NodeKind::Level: {
        CQxListVariant list;
        for (const gensys::Node &c : n.children)
            list.Add(NodeToVariant(c));
        return CQxVariant(list, name);
    }
    case gensys::NodeKind::Bool:
        return CQxVariant::FromBool(n.boolean, name);
    case gensys::NodeKind::Int32:
        return CQxVariant(static_cast<int>(n.integer), name);
    case gensys::NodeKind::UInt32:
        return CQxVariant(static_cast<unsigned>(n.unsignedValue), name);
    case gensys::NodeKind::Int64:
        return CQxVariant::FromInt64(n.integer, name);
    case gensys::NodeKind::UInt64:
        return CQxVariant::FromUInt64(n.unsignedValue, name);
    case gensys::NodeKind::Double:
        return CQxVariant::FromDouble(n.real, name);
    case gensys::NodeKind::Text:
        return CQxVariant(ToString(n.text), name);
    case gensys::NodeKind::Binary:
        return CQxVariant::FromBinary(n.bytes.data(), n.bytes.size(), n.tag, name);
    }
    return CQxVariant();
}

} // namespace

bool SameNameIgnoringCase(const wchar_t *a, const wchar_t *b) {
    return CompareStringOrdinal(a, -1, b, -1, TRUE) == CSTR_EQUAL;
}

} // namespace gensysw
