// CQxLiteVariantR: walks a settings tree shared between copies of the reader.
#include <memory>
#include <vector>

#include "zx_gensys/internal/convert.h"
#include "zx_gensys/internal/litevariant_impl.h"
#include "zx_gensys/qx_litevariant.h"

struct CQxLiteVariantR::Impl {
    struct Frame {
        const gensys::Node *level;
        size_t next; // iteration position among the level's children
    };
    // Readers never change a tree; they replace it whole, so copies can share it.
    std::shared_ptr<const gensys::Node> tree;
    std::vector<Frame> frames;

    Impl() : tree(std::make_shared<gensys::Node>()) { Reset(); }
    void Reset() { frames.assign(1, Frame{tree.get(), 0}); }
    const gensys::Node &Current() const { return *frames.back().level; }
    const gensys::Node *Child(const wchar_t *name) const {
        if (!name) return nullptr;
        const gensys::Text wanted = gensysw::ToText(name);
        for (const gensys::Node &c : Current().children)
            if (c.name == wanted) return &c;
        return nullptr;
    }
    const gensys::Node *IterationChild() const {
        const Frame &f = frames.back();
        return f.next < f.level->children.size() ? &f.level->children[f.next] : nullptr;
    }
};

struct CQxLiteVariantAccess {
    static const gensys::Node &Tree(const CQxLiteVariantR &r) { return *r.m_impl->tree; }
    static void Set(CQxLiteVariantR &r, std::shared_ptr<const gensys::Node> tree) {
        r.m_impl->tree = std::move(tree);
        r.m_impl->Reset();
    }
};

namespace gensysw {

const gensys::Node &TreeOf(const CQxLiteVariantR &reader) {
    return CQxLiteVariantAccess::Tree(reader);
}

void SetTree(CQxLiteVariantR &reader, gensys::Node &&root) {
    root.name.clear();
    root.kind = gensys::NodeKind::Level;
    CQxLiteVariantAccess::Set(reader, std::make_shared<gensys::Node>(std::move(root)));
}

} // namespace gensysw

CQxLiteVariantR::CQxLiteVariantR() : m_impl(new Impl) {}
CQxLiteVariantR::CQxLiteVariantR(const CQxLiteVariantR &other) : m_impl(new Impl(*other.m_impl)) {}
CQxLiteVariantR &CQxLiteVariantR::operator=(const CQxLiteVariantR &other) {
    if (this != &other) *m_impl = *other.m_impl;
    return *this;
}
CQxLiteVariantR::~CQxLiteVariantR() {
    delete m_impl;
}

void CQxLiteVariantR::Reset() {
    m_impl->Reset();
}

int CQxLiteVariantR::LevelBegin(const wchar_t *name, int *index) {
    const gensys::Node *child = m_impl->Child(name);
    if (!child || child->kind != gensys::NodeKind::Level) return -1;
    if (index) *index = static_cast<int>(child - m_impl->Current().children.data());
    m_impl->frames.push_back({child, 0});
    return 0;
}

int CQxLiteVariantR::LevelEnd() {
    if (m_impl->frames.size() <= 1) return -1;
    m_impl->frames.pop_back();
    return 0;
}

bool CQxLiteVariantR::Get(const wchar_t *name, bool defaultValue) const {
    const gensys::Node *child = m_impl->Child(name);
    return child && child->kind == gensys::NodeKind::Bool ? child->boolean : defaultValue;
}

CQxStringW CQxLiteVariantR::Get(const wchar_t *name, const wchar_t *defaultValue) const {
    const gensys::Node *child = m_impl->Child(name);
    if (!child || child->kind != gensys::NodeKind::Text) return CQxStringW(defaultValue);
    return CQxStringW(reinterpret_cast<const wchar_t *>(child->text.data()),
                      static_cast<int>(child->text.size()));
}

bool CQxLiteVariantR::IsValueSet(const wchar_t *name) const {
    return m_impl->Child(name) != nullptr;
}

bool CQxLiteVariantR::IsNextValue() const {
    return m_impl->IterationChild() != nullptr;
}

int CQxLiteVariantR::GetCurrentName(wchar_t *buffer, int size) const {
    const gensys::Node *child = m_impl->IterationChild();
    if (!child || !buffer || size <= 0) return -1;
    const size_t n = child->name.size() < static_cast<size_t>(size - 1) ? child->name.size()
                                                                        : static_cast<size_t>(size - 1);
    for (size_t i = 0; i < n; ++i)
        buffer[i] = static_cast<wchar_t>(child->name[i]);
    buffer[n] = L'\0';
    return 0;
}

int CQxLiteVariantR::CurrentLevelBegin(int *index) {
    const gensys::Node *child = m_impl->IterationChild();
    if (!child || child->kind != gensys::NodeKind::Level) return -1;
    if (index) *index = static_cast<int>(m_impl->frames.back().next);
    m_impl->frames.push_back({child, 0});
    return 0;
}

void CQxLiteVariantR::NextValue() {
    Impl::Frame &f = m_impl->frames.back();
    if (f.next < f.level->children.size()) ++f.next;
}

int CQxLiteVariantR::ExtractCurrent(CQxLiteVariantR &target) const {
    gensys::Node copy = m_impl->Current();
    gensysw::SetTree(target, std::move(copy));
    return 0;
}

int CQxLiteVariantR::GetChildCount() const {
    return static_cast<int>(m_impl->Current().children.size());
}
