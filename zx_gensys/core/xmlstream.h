// The XML text form read and written a node at a time: memory grows with the depth and with the
// largest single value, not with the text.
#pragma once

#include <cstddef>

#include "zx_gensys/core/tree.h"

namespace gensys {

// Units of a text, in pieces.
class UnitSource {
public:
    virtual ~UnitSource() = default;
    // Up to max units; 0 at the end.
    virtual size_t Read(char16_t *into, size_t max) = 0;
};

// A source that can start again from its first unit.
class RewindableUnitSource : public UnitSource {
public:
    virtual bool Rewind() = 0;
};

class UnitSink {
public:
    virtual ~UnitSink() = default;
    virtual bool Put(const char16_t *units, size_t count) = 0;
};

// What the reader meets, in document order. A false answer stops the reading.
class XmlHandler {
public:
    virtual ~XmlHandler() = default;
    // depth: 1 for the tree's node itself.
    virtual bool LevelBegin(const Text &name, int depth) = 0;
    virtual bool LevelEnd(int depth) = 0;
    // A node of any kind but Level, without children.
    virtual bool Value(Node &&value, int depth) = 0;
};

// Reads the whole text, strictly (see docs/tree-format.md). False, with *reason (may be null), for
// malformed text, nodes deeper than kMaxDepth, or a handler that said no.
bool ParseXml(UnitSource &source, XmlHandler &handler, const char **reason = nullptr);

// Writes the text form exactly as EncodeXml does.
class XmlWriter {
public:
    explicit XmlWriter(UnitSink &sink) : m_sink(sink) {}
    bool Begin();
    // A level at depth (1: the tree's node); empty: written as one element without children.
    bool LevelBegin(const Text &name, int depth, bool empty);
    bool LevelEnd(int depth);
    bool Value(const Node &value, int depth);
    bool End();

private:
    bool Put(const Text &text) { return m_sink.Put(text.data(), text.size()); }
    UnitSink &m_sink;
};

} // namespace gensys
