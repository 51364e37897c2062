// Conversions between the Windows-side types and the portable tree model.
#pragma once

#include <string>

#include "zx_gensys/core/tree.h"
#include "zx_gensys/qx_variant.h"

namespace gensysw {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "wide strings are UTF-16 on this platform");

inline gensys::Text ToText(const wchar_t *s) {
    return s ? gensys::Text(reinterpret_cast<const char16_t *>(s)) : gensys::Text();
}
inline gensys::Text ToText(const std::wstring &s) {
    return gensys::Text(reinterpret_cast<const char16_t *>(s.data()), s.size());
}
inline std::wstring ToWide(const gensys::Text &t) {
    return std::wstring(reinterpret_cast<const wchar_t *>(t.data()), t.size());
}

// False when the variant holds something a tree cannot carry (a pointer).
bool VariantToNode(const CQxVariant &variant, gensys::Node *node, int depth = 1);
CQxVariant NodeToVariant(const gensys::Node &node);

// Case-insensitive comparison with the file system's and the registry's rules.
bool SameNameIgnoringCase(const wchar_t *a, const wchar_t *b);

} // namespace gensysw
