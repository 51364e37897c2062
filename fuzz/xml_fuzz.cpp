// Fuzz target: the XML text reader (input bytes are UTF-16 little-endian units). A text that
// reads must write and read back to the same tree.
#include <cstdlib>

#include "zx_gensys/core/tree.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    gensys::Text text(size / 2, u'\0');
    for (size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<char16_t>(data[2 * i] | data[2 * i + 1] << 8);
    gensys::Node root;
    if (!gensys::DecodeXml(text, &root)) return 0;
    gensys::Node second;
    if (!gensys::DecodeXml(gensys::EncodeXml(root), &second) || second != root) std::abort();
    return 0;
}
