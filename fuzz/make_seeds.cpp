// Writes starting inputs for the fuzzers: make_seeds TREE_FOLDER XML_FOLDER
#include <cstdio>
#include <string>

#include "zx_gensys/core/tree.h"

namespace {

gensys::Node Value(const char16_t *name, gensys::NodeKind kind) {
    gensys::Node n;
    n.name = name;
    n.kind = kind;
    return n;
}

gensys::Node Sample() {
    gensys::Node root;
    gensys::Node settings = Value(u"Settings", gensys::NodeKind::Level);
    gensys::Node shared = Value(u"shared", gensys::NodeKind::Level);
    gensys::Node text = Value(u"content", gensys::NodeKind::Text);
    text.text = u"<a b=\"c\">\u00e9 &amp; \x01\xD800</a>";
    shared.children.push_back(text);
    gensys::Node flag = Value(u"useXMLstring", gensys::NodeKind::Bool);
    flag.boolean = true;
    shared.children.push_back(flag);
    gensys::Node bin = Value(u"v\n", gensys::NodeKind::Binary);
    bin.bytes = std::string("\0\1\2", 3);
    bin.tag = 7;
    shared.children.push_back(bin);
    for (auto kind : {gensys::NodeKind::Int32, gensys::NodeKind::UInt32, gensys::NodeKind::Int64,
                      gensys::NodeKind::UInt64, gensys::NodeKind::Double, gensys::NodeKind::Empty}) {
        gensys::Node n = Value(u"n", kind);
        n.integer = -5;
        n.unsignedValue = 5;
        n.real = 2.5;
        shared.children.push_back(n);
    }
    settings.children.push_back(shared);
    settings.children.push_back(Value(u"private", gensys::NodeKind::Level));
    root.children.push_back(settings);
    return root;
}

void Write(const std::string &path, const std::string &bytes) {
    FILE *f = std::fopen(path.c_str(), "wb");
    if (!f) return;
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 3) return 2;
    const gensys::Node sample = Sample();
    Write(std::string(argv[1]) + "/sample.bin", gensys::EncodeTree(sample));
    Write(std::string(argv[1]) + "/empty.bin", gensys::EncodeTree(gensys::Node()));
    const gensys::Text xml = gensys::EncodeXml(sample);
    std::string bytes;
    for (char16_t c : xml) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
    }
    Write(std::string(argv[2]) + "/sample.xml", bytes);
    return 0;
}
