// Fuzz target: the streaming tree reader and writer. The input is (1) a file for the reader, whose
// verdict must be the in-memory decoder's, and (2) a program for the writer that makes many-node,
// wide and deep trees with marks to come back to: what the writer finishes must read back as the
// model built beside it. Run under a memory limit (fuzz/run.sh): neither side may allocate for what
// a file only claims.
#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "zx_gensys/core/treestream.h"

namespace {

using gensys::Node;
using gensys::NodeKind;

const uint64_t kMaxNodes = 100000;

struct Model {
    Node root;
    std::vector<size_t> path; // child indexes of the open levels below the root
    uint64_t nodes = 0;
    Node &Current() {
        Node *n = &root;
        for (size_t i : path)
            n = &n->children[i];
        return *n;
    }
};

struct Saved {
    gensys::TreeWriter::Mark mark;
    Model model;
};

void Program(const uint8_t *data, size_t size) {
    gensys::MemorySink sink;
    gensys::TreeWriter w(sink, 256); // a small buffer: patches and cuts reach the sink too
    Model model;
    std::vector<Saved> marks;
    if (!w.Begin()) std::abort();
    for (size_t at = 0; at + 2 < size && model.nodes < kMaxNodes; at += 3) {
        const uint8_t op = data[at] % 7, a = data[at + 1], b = data[at + 2];
        const gensys::Text name(a % 5, static_cast<char16_t>(u'a' + b % 26));
        switch (op) {
        case 0:
            if (w.BeginLevel(name)) {
                Node level;
                level.name = name;
                model.Current().children.push_back(level);
                model.path.push_back(model.Current().children.size() - 1);
                ++model.nodes;
            } else if (w.Depth() < gensys::kMaxDepth) {
                std::abort(); // refused although it fits
            }
            break;
        case 1:
            if (!model.path.empty()) {
                if (!w.EndLevel()) std::abort();
                model.path.pop_back();
            }
            break;
        case 2: { // wide: many empty nodes at once, encoded by the caller
            const uint32_t count = static_cast<uint32_t>(a) << 8 | b;
            if (w.Depth() >= gensys::kMaxDepth) break;
            if (!w.RawNodes(std::string(5 * size_t(count), '\0').data(), 5 * size_t(count), count))
                std::abort();
            model.Current().children.resize(model.Current().children.size() + count, Node());
            for (size_t i = model.Current().children.size() - count; i < model.Current().children.size(); ++i)
                model.Current().children[i].kind = NodeKind::Empty;
            model.nodes += count;
            break;
        }
        case 3: {
            Node text;
            text.kind = NodeKind::Text;
            text.name = name;
            text.text = gensys::Text(b, static_cast<char16_t>(a));
            if (w.Value(text)) {
                model.Current().children.push_back(text);
                ++model.nodes;
            }
            break;
        }
        case 4:
            if (marks.size() < 4 && model.nodes < 10000) marks.push_back({w.Save(), model});
            break;
        case 5:
            // Back to a mark while its levels are still open.
            if (!marks.empty() && marks.back().model.path.size() <= model.path.size() &&
                std::equal(marks.back().model.path.begin(), marks.back().model.path.end(),
                           model.path.begin())) {
                if (!w.Restore(marks.back().mark)) std::abort();
                model = marks.back().model;
            }
            if (!marks.empty()) marks.pop_back();
            break;
        case 6: {
            Node text;
            text.kind = NodeKind::Text;
            text.name = name;
            if (!w.BeginText(name)) break;
            for (int piece = 0; piece < a % 4; ++piece) {
                const gensys::Text units(b, static_cast<char16_t>(piece));
                w.TextUnits(units.data(), units.size());
                text.text += units;
            }
            if (!w.EndText()) std::abort();
            model.Current().children.push_back(text);
            ++model.nodes;
            break;
        }
        }
    }
    uint64_t written = 0;
    if (!w.Finish(&written) || written != sink.bytes.size()) std::abort();
    Node read;
    const auto *bytes = reinterpret_cast<const unsigned char *>(sink.bytes.data());
    if (!gensys::DecodeTree(bytes, sink.bytes.size(), &read) || read != model.root) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    gensys::MemorySource source(data, size);
    gensys::TreeReader reader(source, 64);
    gensys::Node root;
    const bool valid = reader.Validate(size);
    if (valid != gensys::DecodeTree(data, size, &root)) std::abort();
    Program(data, size);
    return 0;
}
