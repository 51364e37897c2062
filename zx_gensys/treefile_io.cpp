// Loading and saving settings trees; saves replace the target atomically.
#include <windows.h>

#include <new>
#include <string>

#include "zx_gensys/internal/convert.h"
#include "zx_gensys/internal/litevariant_impl.h"
#include "zx_gensys/qx_litevariant.h"
#include "zx_gensys/qx_treefile.h"

namespace {

using gensys::kMaxFileSize;

// What a tree held in memory may take: a file of tiny nodes costs far more in memory than on disk,
// so its nodes are counted before any is made.
const uint64_t kMaxHeldBytes = sizeof(void *) == 8 ? uint64_t(1) << 30 : uint64_t(256) << 20;

bool LoadTree(const wchar_t *path, gensys::Node *root) {
    gensysw::FileSource file;
    if (!file.Open(path)) return false;
    gensys::TreeReader reader(file);
    uint64_t nodes = 0;
    if (!reader.Validate(file.Size(), nullptr, &nodes)) {
        SetLastError(ERROR_FILE_CORRUPT);
        return false;
    }
    if (nodes > kMaxHeldBytes / sizeof(gensys::Node)) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    return gensys::ReadTree(reader, root);
}

bool LoadText(const wchar_t *path, gensys::Node *root) {
    gensysw::FileSource file;
    if (!file.Open(path)) return false;
    if (file.Size() > kMaxFileSize || file.Size() % 2 != 0) {
        SetLastError(ERROR_FILE_CORRUPT);
        return false;
    }
    // UTF-16 little-endian text, with or without a byte-order mark.
    gensysw::FileUnits units(file, 0, file.Size() / 2);
    gensys::Text text(static_cast<size_t>(file.Size() / 2), u'\0');
    for (size_t at = 0; at < text.size();) {
        const size_t got = units.Read(&text[at], text.size() - at);
        if (got == 0) return false;
        at += got;
    }
    return gensys::DecodeXml(text, root) && root->kind == gensys::NodeKind::Level;
}

bool Emit(gensys::TreeWriter &w, const gensys::Node &n) {
    if (n.kind != gensys::NodeKind::Level) return w.Value(n);
    if (!w.BeginLevel(n.name)) return false;
    for (const gensys::Node &c : n.children)
        if (!Emit(w, c)) return false;
    return w.EndLevel();
}

} // namespace

int CQxLiteVariantR::LoadFromFile(const wchar_t *path, bool textForm) {
    gensys::Node root;
    bool ok = false;
    try {
        ok = path && (textForm ? LoadText(path, &root) : LoadTree(path, &root));
    } catch (const std::bad_alloc &) {
        // A tree that does not fit in memory is refused like a damaged one.
        root = gensys::Node();
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    }
    gensysw::SetTree(*this, ok ? std::move(root) : gensys::Node());
    return ok ? 0 : -1;
}

int CQxLiteVariantR::GetDepth() const {
    return gensys::TreeDepth(gensysw::TreeOf(*this), gensys::kMaxDepth + 1);
}

int CQxLiteVariantR::SaveToFile(const wchar_t *path, bool overwrite, bool textForm) const {
    if (!path || !*path) return -1;
    // A read-only target stays as it is, even where the system would let a move replace it.
    if (!overwrite && GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES) {
        SetLastError(ERROR_FILE_EXISTS);
        return -1;
    }
    const gensys::Node &tree = gensysw::TreeOf(*this);
    // Nothing is written that LoadFromFile would refuse: too deep, or too large.
    if (gensys::TreeDepth(tree) > gensys::kMaxDepth) return -1;
    gensysw::ReplacingFile file;
    if (!file.Create(path)) return -1;
    try {
        if (!textForm) {
            if (gensys::EncodedTreeSize(tree) > kMaxFileSize) return -1;
            gensys::TreeWriter writer(file);
            bool ok = writer.Begin();
            for (size_t i = 0; ok && i < tree.children.size(); ++i)
                ok = Emit(writer, tree.children[i]);
            uint64_t size = 0;
            if (!ok || !writer.Finish(&size)) {
                if (GetLastError() == 0) SetLastError(ERROR_WRITE_FAULT);
                return -1;
            }
        } else {
            const gensys::Text text = u"\xFEFF" + gensys::EncodeXml(tree);
            if (text.size() * 2 > kMaxFileSize) return -1;
            std::string bytes;
            bytes.reserve(text.size() * 2);
            for (char16_t c : text) {
                bytes += static_cast<char>(c & 0xFF);
                bytes += static_cast<char>(c >> 8);
            }
            if (!file.WriteAt(0, bytes.data(), bytes.size())) return -1;
        }
    } catch (const std::bad_alloc &) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return -1;
    }
    return file.Commit() ? 0 : -1;
}
