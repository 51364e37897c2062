// Fuzz target: the settings-tree file reader. The input is read as a whole file, and again as
// the payload behind a valid header (so that mutations reach the structure reader past the
// checksum). A tree that loads must save and load to the same tree.
#include <cstdlib>
#include <string>

#include "zx_gensys/core/tree.h"

namespace {

void RoundTrip(const unsigned char *data, size_t size) {
    gensys::Node root;
    if (!gensys::DecodeTree(data, size, &root)) return;
    const std::string again = gensys::EncodeTree(root);
    gensys::Node second;
    if (!gensys::DecodeTree(reinterpret_cast<const unsigned char *>(again.data()), again.size(), &second) ||
        second != root)
        std::abort();
}

std::string Sealed(const uint8_t *payload, size_t size) {
    std::string file = "QXTR";
    file += std::string("\x01\x00\x00\x00", 4);
    const uint32_t length = static_cast<uint32_t>(size);
    const uint32_t crc = gensys::Crc32(payload, size);
    for (int i = 0; i < 4; ++i)
        file += static_cast<char>(length >> (8 * i));
    for (int i = 0; i < 4; ++i)
        file += static_cast<char>(crc >> (8 * i));
    file.append(reinterpret_cast<const char *>(payload), size);
    return file;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    RoundTrip(data, size);
    const std::string sealed = Sealed(data, size);
    RoundTrip(reinterpret_cast<const unsigned char *>(sealed.data()), sealed.size());
    return 0;
}
