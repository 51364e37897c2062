// CQxLiteVariantW: builds a settings tree level by level.
#include "zx_gensys/internal/convert.h"
#include "zx_gensys/internal/litevariant_impl.h"
#include "zx_gensys/qx_litevariant.h"

struct CQxLiteVariantW::Impl {
    gensys::Node root;
    // Open levels, the root first. Only the innermost level gains children, so the pointers to
    // its ancestors stay valid.
    std::vector<gensys::Node *> open;
    Impl() { open.push_back(&root); }

    // A child of the innermost level sits at depth open.size() + 1.
    bool Fits(int childDepth) const {
        return open.size() + static_cast<size_t>(childDepth) <= static_cast<size_t>(gensys::kMaxDepth);
    }

    gensys::Node *Add(const wchar_t *name, gensys::NodeKind kind) {
        if (!name || !Fits(1)) return nullptr;
        gensys::Node &child = open.back()->children.emplace_back();
        child.name = gensysw::ToText(name);
        child.kind = kind;
        return &child;
    }
};

static_assert(kQxMaxTreeDepth == gensys::kMaxDepth, "one depth limit for writers and readers");

CQxLiteVariantW::CQxLiteVariantW() : m_impl(new Impl) {}
CQxLiteVariantW::~CQxLiteVariantW() {
    delete m_impl;
}

int CQxLiteVariantW::LevelBegin(const wchar_t *name) {
    gensys::Node *level = m_impl->Add(name, gensys::NodeKind::Level);
    if (!level) return -1;
    m_impl->open.push_back(level);
    return 0;
}

int CQxLiteVariantW::LevelEnd() {
    if (m_impl->open.size() <= 1) return -1;
    m_impl->open.pop_back();
    return 0;
}

int CQxLiteVariantW::Set(bool value, const wchar_t *name) {
    gensys::Node *n = m_impl->Add(name, gensys::NodeKind::Bool);
    if (!n) return -1;
    n->boolean = value;
    return 0;
}

int CQxLiteVariantW::Set(const wchar_t *text, const wchar_t *name) {
    if (!text) return -1;
    gensys::Node *n = m_impl->Add(name, gensys::NodeKind::Text);
    if (!n) return -1;
    n->text = gensysw::ToText(text);
    return 0;
}

int CQxLiteVariantW::SetInt(int32_t value, const wchar_t *name) {
    gensys::Node *n = m_impl->Add(name, gensys::NodeKind::Int32);
    if (!n) return -1;
    n->integer = value;
    return 0;
}

int CQxLiteVariantW::SetUnsigned(uint32_t value, const wchar_t *name) {
    gensys::Node *n = m_impl->Add(name, gensys::NodeKind::UInt32);
    if (!n) return -1;
    n->unsignedValue = value;
    return 0;
}

int CQxLiteVariantW::SetInt64(int64_t value, const wchar_t *name) {
    gensys::Node *n = m_impl->Add(name, gensys::NodeKind::Int64);
    if (!n) return -1;
    n->integer = value;
    return 0;
}

int CQxLiteVariantW::SetUInt64(uint64_t value, const wchar_t *name) {
    gensys::Node *n = m_impl->Add(name, gensys::NodeKind::UInt64);
    if (!n) return -1;
    n->unsignedValue = value;
    return 0;
}

int CQxLiteVariantW::SetDouble(double value, const wchar_t *name) {
    gensys::Node *n = m_impl->Add(name, gensys::NodeKind::Double);
    if (!n) return -1;
    n->real = value;
    return 0;
}

int CQxLiteVariantW::SetBinary(const void *data, size_t size, uint32_t tag, const wchar_t *name) {
    if (!data && size) return -1;
    gensys::Node *n = m_impl->Add(name, gensys::NodeKind::Binary);
    if (!n) return -1;
    if (size) n->bytes.assign(static_cast<const char *>(data), size);
    n->tag = tag;
    return 0;
}

int CQxLiteVariantW::GetDepth() const {
    return static_cast<int>(m_impl->open.size());
}

int CQxLiteVariantW::Append(const CQxLiteVariantR &reader) {
    const gensys::Node &source = gensysw::TreeOf(reader);
    // The source's root is not copied: its children land one level below the current one.
    if (!m_impl->Fits(gensys::TreeDepth(source, gensys::kMaxDepth + 1) - 1)) return -1;
    std::vector<gensys::Node> &target = m_impl->open.back()->children;
    target.insert(target.end(), source.children.begin(), source.children.end());
    return 0;
}

int CQxLiteVariantW::Finalize(CQxLiteVariantR &reader) {
    gensysw::SetTree(reader, std::move(m_impl->root));
    m_impl->root = gensys::Node();
    m_impl->open.assign(1, &m_impl->root);
    return 0;
}
