// Loading and saving settings trees; saves replace the target atomically.
#include <windows.h>

#include <string>

#include "zx_gensys/internal/convert.h"
#include "zx_gensys/internal/litevariant_impl.h"
#include "zx_gensys/internal/sharing.h"
#include "zx_gensys/qx_filereplace.h"
#include "zx_gensys/qx_litevariant.h"

namespace {

using gensys::kMaxFileSize;

bool ReadWholeFile(const wchar_t *path, std::string *bytes) {
    // Sharing delete, so that where the system allows it another process may replace the file
    // while it is read (the read keeps the old bytes); a replacement that has just happened may
    // still hold it for an instant.
    HANDLE file = INVALID_HANDLE_VALUE;
    const bool opened = gensys::RetryWhileShared([&] {
        file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
        return file != INVALID_HANDLE_VALUE;
    });
    if (!opened) return false;
    LARGE_INTEGER size;
    bool ok = GetFileSizeEx(file, &size) && static_cast<uint64_t>(size.QuadPart) <= kMaxFileSize;
    if (ok) {
        bytes->resize(static_cast<size_t>(size.QuadPart));
        size_t done = 0;
        while (ok && done < bytes->size()) {
            DWORD got = 0;
            ok = ReadFile(file, &(*bytes)[done], static_cast<DWORD>(bytes->size() - done), &got, nullptr) &&
                 got > 0;
            done += got;
        }
    }
    CloseHandle(file);
    return ok;
}

} // namespace

int CQxLiteVariantR::LoadFromFile(const wchar_t *path, bool textForm) {
    gensys::Node root;
    std::string bytes;
    bool ok = path && ReadWholeFile(path, &bytes);
    if (ok && !textForm) {
        ok = gensys::DecodeTree(reinterpret_cast<const unsigned char *>(bytes.data()), bytes.size(), &root);
    } else if (ok) {
        // UTF-16 little-endian text, with or without a byte-order mark.
        ok = bytes.size() % 2 == 0;
        gensys::Text text(bytes.size() / 2, u'\0');
        for (size_t i = 0; ok && i < text.size(); ++i)
            text[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                            static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
        ok = ok && gensys::DecodeXml(text, &root) && root.kind == gensys::NodeKind::Level;
    }
    gensysw::SetTree(*this, ok ? std::move(root) : gensys::Node());
    return ok ? 0 : -1;
}

int CQxLiteVariantR::GetDepth() const {
    return gensys::TreeDepth(gensysw::TreeOf(*this), gensys::kMaxDepth + 1);
}

int CQxLiteVariantR::SaveToFile(const wchar_t *path, bool overwrite, bool textForm) const {
    if (!path || !*path) return -1;
    // A read-only target stays as it is, even where the system would let a move replace it
    // (QX_WriteFileReplacing refuses it).
    if (!overwrite && GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES) {
        SetLastError(ERROR_FILE_EXISTS);
        return -1;
    }
    const gensys::Node &tree = gensysw::TreeOf(*this);
    // Nothing is written that LoadFromFile would refuse: too deep, or too large.
    if (gensys::TreeDepth(tree) > gensys::kMaxDepth) return -1;
    std::string bytes;
    if (!textForm) {
        if (gensys::EncodedTreeSize(tree) > kMaxFileSize) return -1;
        bytes = gensys::EncodeTree(tree);
    } else {
        const gensys::Text text = u"\xFEFF" + gensys::EncodeXml(tree);
        bytes.reserve(text.size() * 2);
        for (char16_t c : text) {
            bytes += static_cast<char>(c & 0xFF);
            bytes += static_cast<char>(c >> 8);
        }
        if (bytes.size() > kMaxFileSize) return -1;
    }
    return QX_WriteFileReplacing(path, bytes.data(), bytes.size());
}
