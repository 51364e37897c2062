// The XML text form of a tree: a strict reader for exactly the elements the writer produces, both
// working a node at a time. Texts that XML cannot carry (control characters, lone surrogates) are
// written as hexadecimal UTF-16 units, so every node survives the round trip.
#include "zx_gensys/core/xmlstream.h"

#include <cstring>
#include <utility>

namespace gensys {

namespace {

const char *const kKindNames[] = {"empty", "level",  "bool",   "int32", "uint32",
                                  "int64", "uint64", "double", "text",  "binary"};
const int kKindCount = 10;

Text Ascii(const char *s) {
    Text t;
    while (*s)
        t += static_cast<char16_t>(*s++);
    return t;
}

bool IsHighSurrogate(char16_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLowSurrogate(char16_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

// True when every unit is an XML character (surrogates only as pairs).
bool XmlSafe(const Text &t) {
    for (size_t i = 0; i < t.size(); ++i) {
        char16_t c = t[i];
        if (c == 0x9 || c == 0xA || c == 0xD) continue;
        if (c < 0x20 || c == 0xFFFE || c == 0xFFFF || IsLowSurrogate(c)) return false;
        if (IsHighSurrogate(c)) {
            if (i + 1 >= t.size() || !IsLowSurrogate(t[i + 1])) return false;
            ++i;
        }
    }
    return true;
}

void HexUnits(const Text &t, Text *out) {
    static const char kDigits[] = "0123456789abcdef";
    for (char16_t c : t)
        for (int shift = 12; shift >= 0; shift -= 4)
            *out += static_cast<char16_t>(kDigits[(c >> shift) & 0xF]);
}

void HexBytes(const std::string &b, Text *out) {
    static const char kDigits[] = "0123456789abcdef";
    for (unsigned char c : b) {
        *out += static_cast<char16_t>(kDigits[c >> 4]);
        *out += static_cast<char16_t>(kDigits[c & 0xF]);
    }
}

// Escapes for attribute values (inAttribute) or element content. Tab, line feed and carriage
// return are written as references where a reader would otherwise normalise them.
void Escape(const Text &t, bool inAttribute, Text *out) {
    for (char16_t c : t) {
        switch (c) {
        case u'&':
            *out += u"&amp;";
            break;
        case u'<':
            *out += u"&lt;";
            break;
        case u'>':
            *out += u"&gt;";
            break;
        case u'"':
            *out += inAttribute ? u"&quot;" : u"\"";
            break;
        case 0x9:
            *out += inAttribute ? u"&#9;" : u"\t";
            break;
        case 0xA:
            *out += inAttribute ? u"&#10;" : u"\n";
            break;
        case 0xD:
            *out += u"&#13;";
            break;
        default:
            *out += c;
            break;
        }
    }
}

std::string Decimal(uint64_t v, bool negative) {
    char digits[24];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v);
    std::string s = negative ? "-" : "";
    while (n)
        s += digits[--n];
    return s;
}

// The start tag of a node and, for a value, its content and end tag.
void OpenTag(const Node &n, int depth, Text *out) {
    *out += u"\n";
    out->append(static_cast<size_t>(2 * depth), u' ');
    *out += u"<" + Ascii(kKindNames[static_cast<int>(n.kind)]);
    if (XmlSafe(n.name)) {
        *out += u" name=\"";
        Escape(n.name, true, out);
    } else {
        *out += u" name-hex=\"";
        HexUnits(n.name, out);
    }
    *out += u"\"";
}

void ValueElement(const Node &n, int depth, Text *out) {
    OpenTag(n, depth, out);
    const char *kind = kKindNames[static_cast<int>(n.kind)];
    Text content;
    switch (n.kind) {
    case NodeKind::Empty:
    case NodeKind::Level:
        *out += u"/>";
        return;
    case NodeKind::Bool:
        content = n.boolean ? u"true" : u"false";
        break;
    case NodeKind::Int32:
    case NodeKind::Int64: {
        const bool negative = n.integer < 0;
        const uint64_t magnitude =
            negative ? 0 - static_cast<uint64_t>(n.integer) : static_cast<uint64_t>(n.integer);
        content = Ascii(Decimal(magnitude, negative).c_str());
        break;
    }
    case NodeKind::UInt32:
    case NodeKind::UInt64:
        content = Ascii(Decimal(n.unsignedValue, false).c_str());
        break;
    case NodeKind::Double: {
        uint64_t bits;
        std::memcpy(&bits, &n.real, sizeof bits);
        std::string b(8, '\0');
        for (int i = 0; i < 8; ++i)
            b[static_cast<size_t>(i)] = static_cast<char>(bits >> (56 - 8 * i));
        HexBytes(b, &content);
        break;
    }
    case NodeKind::Text:
        if (XmlSafe(n.text)) {
            Escape(n.text, false, &content);
        } else {
            *out += u" enc=\"hex\"";
            HexUnits(n.text, &content);
        }
        break;
    case NodeKind::Binary:
        *out += u" tag=\"" + Ascii(Decimal(n.tag, false).c_str()) + u"\"";
        HexBytes(n.bytes, &content);
        break;
    }
    *out += u">" + content + u"</" + Ascii(kind) + u">";
}

// The text through a window: a few units of look-ahead, refilled from the source as the reader
// moves on.
class Cursor {
public:
    explicit Cursor(UnitSource &source) : m_source(source), m_buffer(kSize) {}
    // The unit offset units ahead, or 0 past the end.
    char16_t At(size_t offset) {
        if (m_pos + offset >= m_used && !Fill(offset + 1)) return 0;
        return m_buffer[m_pos + offset];
    }
    void Advance(size_t n) { m_pos += n; }
    bool AtEnd() { return At(0) == 0 && m_pos >= m_used; }
    bool StartsWith(const char16_t *literal) {
        for (size_t i = 0; literal[i]; ++i)
            if (At(i) != literal[i]) return false;
        return true;
    }

private:
    static const size_t kSize = 1 << 16;
    bool Fill(size_t need) {
        if (m_ended) return false;
        if (m_pos > 0) {
            std::memmove(m_buffer.data(), m_buffer.data() + m_pos, (m_used - m_pos) * sizeof(char16_t));
            m_used -= m_pos;
            m_pos = 0;
        }
        while (m_used < need && !m_ended) {
            const size_t got = m_source.Read(m_buffer.data() + m_used, m_buffer.size() - m_used);
            if (got == 0) m_ended = true;
            m_used += got;
        }
        return m_used >= need;
    }
    UnitSource &m_source;
    std::vector<char16_t> m_buffer;
    size_t m_pos = 0, m_used = 0;
    bool m_ended = false;
};

class Parser {
public:
    Parser(UnitSource &source, XmlHandler &handler) : m_c(source), m_handler(handler) {}

    bool Document() {
        if (At(0) == 0xFEFF) Advance(1);
        if (StartsWith(u"<?xml")) {
            while (!(At(0) == u'?' && At(1) == u'>')) {
                if (At(0) == 0) return Fail("the declaration does not end");
                Advance(1);
            }
            Advance(2);
        }
        SkipSpace();
        Text name;
        Attributes attrs;
        bool selfClosing = false;
        if (!StartTag(&name, &attrs, &selfClosing) || name != u"tree" || selfClosing)
            return Fail("no tree element");
        if (attrs.size() != 1 || attrs[0].first != u"version" || attrs[0].second != u"1")
            return Fail("another version of the text form");
        SkipSpace();
        if (!ParseNode(1)) return Fail("a node is malformed");
        SkipSpace();
        if (!EndTag(u"tree")) return Fail("more than one node in the tree");
        SkipSpace();
        if (!m_c.AtEnd()) return Fail("text after the tree");
        return true;
    }
    const char *Reason() const { return m_reason; }

private:
    using Attributes = std::vector<std::pair<Text, Text>>;

    bool Fail(const char *reason) {
        if (!*m_reason) m_reason = reason;
        return false;
    }
    char16_t At(size_t offset) { return m_c.At(offset); }
    void Advance(size_t n) { m_c.Advance(n); }
    bool StartsWith(const char16_t *literal) { return m_c.StartsWith(literal); }
    void SkipSpace() {
        for (char16_t c = At(0); c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; c = At(0))
            Advance(1);
    }
    static bool NameChar(char16_t c) {
        return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
               c == u'-' || c == u'_';
    }
    bool Name(Text *out) {
        out->clear();
        for (char16_t c = At(0); NameChar(c) && out->size() < 64; c = At(0)) {
            *out += c;
            Advance(1);
        }
        return !out->empty() && !NameChar(At(0));
    }

    // Appends one XML character (a unit, or a surrogate pair) from the raw text, or a reference.
    bool Character(Text *out) {
        char16_t c = At(0);
        if (c == u'&') return Reference(out);
        if (c == u'<' || c == 0) return false;
        if (c < 0x20 && c != 0x9 && c != 0xA && c != 0xD) return false;
        if (c == 0xFFFE || c == 0xFFFF || IsLowSurrogate(c)) return false;
        if (IsHighSurrogate(c)) {
            if (!IsLowSurrogate(At(1))) return false;
            *out += c;
            *out += At(1);
            Advance(2);
            return true;
        }
        *out += c;
        Advance(1);
        return true;
    }

    bool Reference(Text *out) {
        size_t end = 1;
        while (At(end) != u';') {
            if (At(end) == 0 || end > 12) return false;
            ++end;
        }
        Text ref;
        for (size_t i = 1; i < end; ++i)
            ref += At(i);
        Advance(end + 1);
        if (ref == u"amp")
            *out += u'&';
        else if (ref == u"lt")
            *out += u'<';
        else if (ref == u"gt")
            *out += u'>';
        else if (ref == u"quot")
            *out += u'"';
        else if (ref == u"apos")
            *out += u'\'';
        else if (ref.size() >= 2 && ref[0] == u'#') {
            const bool hex = ref[1] == u'x';
            uint32_t value = 0;
            size_t i = hex ? 2 : 1;
            if (i >= ref.size()) return false;
            for (; i < ref.size(); ++i) {
                int digit = Digit(ref[i], hex ? 16 : 10);
                if (digit < 0) return false;
                value = value * (hex ? 16 : 10) + static_cast<uint32_t>(digit);
                if (value > 0x10FFFF) return false;
            }
            if (value != 0x9 && value != 0xA && value != 0xD && value < 0x20) return false;
            if ((value >= 0xD800 && value <= 0xDFFF) || value == 0xFFFE || value == 0xFFFF) return false;
            if (value >= 0x10000) {
                value -= 0x10000;
                *out += static_cast<char16_t>(0xD800 + (value >> 10));
                *out += static_cast<char16_t>(0xDC00 + (value & 0x3FF));
            } else {
                *out += static_cast<char16_t>(value);
            }
        } else {
            return false;
        }
        return true;
    }

    static int Digit(char16_t c, int base) {
        if (c >= u'0' && c <= u'9') return c - u'0';
        if (base == 16 && c >= u'a' && c <= u'f') return c - u'a' + 10;
        if (base == 16 && c >= u'A' && c <= u'F') return c - u'A' + 10;
        return -1;
    }

    bool StartTag(Text *name, Attributes *attrs, bool *selfClosing) {
        if (At(0) != u'<' || !(Advance(1), Name(name))) return false;
        for (;;) {
            const bool spaced = At(0) == u' ' || At(0) == u'\t' || At(0) == u'\r' || At(0) == u'\n';
            SkipSpace();
            if (At(0) == u'/' && At(1) == u'>') {
                Advance(2);
                *selfClosing = true;
                return true;
            }
            if (At(0) == u'>') {
                Advance(1);
                *selfClosing = false;
                return true;
            }
            if (!spaced || attrs->size() >= 4) return false; // attributes are separated by space
            Text attrName, value;
            if (!Name(&attrName) || At(0) != u'=' || At(1) != u'"') return false;
            Advance(2);
            while (At(0) != u'"') {
                if (!Character(&value)) return false;
            }
            Advance(1);
            for (const auto &a : *attrs)
                if (a.first == attrName) return false;
            attrs->emplace_back(attrName, value);
        }
    }

    bool EndTag(const Text &name) {
        if (!StartsWith(u"</")) return false;
        Advance(2);
        Text closing;
        if (!Name(&closing) || closing != name) return false;
        SkipSpace();
        if (At(0) != u'>') return false;
        Advance(1);
        return true;
    }

    static bool FromHexUnits(const Text &hex, Text *out) {
        if (hex.size() % 4 != 0) return false;
        out->clear();
        for (size_t i = 0; i < hex.size(); i += 4) {
            uint32_t v = 0;
            for (size_t k = 0; k < 4; ++k) {
                int d = Digit(hex[i + k], 16);
                if (d < 0) return false;
                v = v * 16 + static_cast<uint32_t>(d);
            }
            *out += static_cast<char16_t>(v);
        }
        return true;
    }

    static bool FromHexBytes(const Text &hex, std::string *out) {
        if (hex.size() % 2 != 0) return false;
        out->clear();
        for (size_t i = 0; i < hex.size(); i += 2) {
            int hi = Digit(hex[i], 16), lo = Digit(hex[i + 1], 16);
            if (hi < 0 || lo < 0) return false;
            *out += static_cast<char>(hi * 16 + lo);
        }
        return true;
    }

    static bool FromDecimal(const Text &t, bool allowNegative, uint64_t limit, uint64_t *magnitude,
                            bool *negative) {
        size_t i = 0;
        *negative = false;
        if (allowNegative && !t.empty() && t[0] == u'-') {
            *negative = true;
            i = 1;
        }
        if (i >= t.size()) return false;
        uint64_t v = 0;
        for (; i < t.size(); ++i) {
            int d = Digit(t[i], 10);
            if (d < 0 || v > (limit - static_cast<uint64_t>(d)) / 10) return false;
            v = v * 10 + static_cast<uint64_t>(d);
        }
        *magnitude = v;
        return true;
    }

    bool Scalar(Node *n, const Text &content, const Attributes &attrs) {
        bool negative = false;
        uint64_t v = 0;
        switch (n->kind) {
        case NodeKind::Bool:
            if (content == u"true")
                n->boolean = true;
            else if (content == u"false")
                n->boolean = false;
            else
                return false;
            return true;
        case NodeKind::Int32:
            if (!FromDecimal(content, true, 0x80000000ull, &v, &negative) || (!negative && v > 0x7FFFFFFFull))
                return false;
            n->integer = negative ? -static_cast<int64_t>(v) : static_cast<int64_t>(v);
            return true;
        case NodeKind::Int64:
            if (!FromDecimal(content, true, 0x8000000000000000ull, &v, &negative) ||
                (!negative && v > 0x7FFFFFFFFFFFFFFFull))
                return false;
            n->integer = negative ? static_cast<int64_t>(0 - v) : static_cast<int64_t>(v);
            return true;
        case NodeKind::UInt32:
            if (!FromDecimal(content, false, 0xFFFFFFFFull, &v, &negative)) return false;
            n->unsignedValue = v;
            return true;
        case NodeKind::UInt64:
            return FromDecimal(content, false, ~0ull, &n->unsignedValue, &negative);
        case NodeKind::Double: {
            std::string bytes;
            if (content.size() != 16 || !FromHexBytes(content, &bytes)) return false;
            uint64_t bits = 0;
            for (unsigned char c : bytes)
                bits = bits << 8 | c;
            std::memcpy(&n->real, &bits, sizeof bits);
            return true;
        }
        case NodeKind::Text: {
            const Text *enc = Find(attrs, u"enc");
            if (!enc) {
                n->text = content;
                return true;
            }
            return *enc == u"hex" && FromHexUnits(content, &n->text);
        }
        case NodeKind::Binary: {
            const Text *tag = Find(attrs, u"tag");
            if (!tag || !FromDecimal(*tag, false, 0xFFFFFFFFull, &v, &negative)) return false;
            n->tag = static_cast<uint32_t>(v);
            return FromHexBytes(content, &n->bytes);
        }
        default:
            return false;
        }
    }

    static const Text *Find(const Attributes &attrs, const char16_t *name) {
        for (const auto &a : attrs)
            if (a.first == name) return &a.second;
        return nullptr;
    }

    bool ParseNode(int depth) {
        if (depth > kMaxDepth) return Fail("nested deeper than a tree may be");
        Text element;
        Attributes attrs;
        bool selfClosing = false;
        if (!StartTag(&element, &attrs, &selfClosing)) return false;
        int kind = -1;
        for (int k = 0; k < kKindCount; ++k)
            if (element == Ascii(kKindNames[k])) kind = k;
        if (kind < 0) return false;
        Node n;
        n.kind = static_cast<NodeKind>(kind);

        // Allowed attributes: exactly one of name and name-hex; tag for binary; enc for text.
        const Text *name = Find(attrs, u"name");
        const Text *nameHex = Find(attrs, u"name-hex");
        if ((name != nullptr) == (nameHex != nullptr)) return false;
        for (const auto &a : attrs) {
            const bool known = a.first == u"name" || a.first == u"name-hex" ||
                               (a.first == u"tag" && n.kind == NodeKind::Binary) ||
                               (a.first == u"enc" && n.kind == NodeKind::Text);
            if (!known) return false;
        }
        if (name)
            n.name = *name;
        else if (!FromHexUnits(*nameHex, &n.name))
            return false;

        if (n.kind == NodeKind::Level) {
            if (!m_handler.LevelBegin(n.name, depth)) return Fail("the reader refused a node");
            if (!selfClosing) {
                for (;;) {
                    SkipSpace();
                    if (StartsWith(u"</")) {
                        if (!EndTag(element)) return false;
                        break;
                    }
                    if (!ParseNode(depth + 1)) return false;
                }
            }
            return m_handler.LevelEnd(depth) || Fail("the reader refused a node");
        }
        Text content;
        if (!selfClosing) {
            while (!StartsWith(u"</")) {
                if (!Character(&content)) return false;
            }
            if (!EndTag(element)) return false;
        }
        if (n.kind == NodeKind::Empty ? !content.empty() : !Scalar(&n, content, attrs)) return false;
        return m_handler.Value(std::move(n), depth) || Fail("the reader refused a node");
    }

    Cursor m_c;
    XmlHandler &m_handler;
    const char *m_reason = "";
};

// Builds the tree in memory.
class TreeBuilder : public XmlHandler {
public:
    bool LevelBegin(const Text &name, int) override {
        Node *level = Add(Node());
        level->name = name;
        level->kind = NodeKind::Level;
        m_open.push_back(level);
        return true;
    }
    bool LevelEnd(int) override {
        m_open.pop_back();
        return true;
    }
    bool Value(Node &&value, int) override {
        Add(std::move(value));
        return true;
    }
    Node root;

private:
    Node *Add(Node &&n) {
        if (m_open.empty()) {
            root = std::move(n);
            return &root;
        }
        m_open.back()->children.push_back(std::move(n));
        return &m_open.back()->children.back();
    }
    std::vector<Node *> m_open; // only the innermost level gains children, so these stay valid
};

class TextSource : public UnitSource {
public:
    explicit TextSource(const Text &text) : m_text(text) {}
    size_t Read(char16_t *into, size_t max) override {
        const size_t n = m_text.size() - m_at < max ? m_text.size() - m_at : max;
        std::memcpy(into, m_text.data() + m_at, n * sizeof(char16_t));
        m_at += n;
        return n;
    }

private:
    const Text &m_text;
    size_t m_at = 0;
};

class TextSink : public UnitSink {
public:
    bool Put(const char16_t *units, size_t count) override {
        text.append(units, count);
        return true;
    }
    Text text;
};

void Emit(XmlWriter &w, const Node &n, int depth) {
    if (n.kind != NodeKind::Level) {
        w.Value(n, depth);
        return;
    }
    w.LevelBegin(n.name, depth, n.children.empty());
    for (const Node &c : n.children)
        Emit(w, c, depth + 1);
    if (!n.children.empty()) w.LevelEnd(depth);
}

} // namespace

bool XmlWriter::Begin() {
    return Put(u"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n<tree version=\"1\">");
}

bool XmlWriter::LevelBegin(const Text &name, int depth, bool empty) {
    Node level;
    level.name = name;
    Text out;
    OpenTag(level, depth, &out);
    out += empty ? u"/>" : u">";
    return Put(out);
}

bool XmlWriter::LevelEnd(int depth) {
    Text out = u"\n";
    out.append(static_cast<size_t>(2 * depth), u' ');
    out += u"</level>";
    return Put(out);
}

bool XmlWriter::Value(const Node &value, int depth) {
    Text out;
    ValueElement(value, depth, &out);
    return Put(out);
}

bool XmlWriter::End() {
    return Put(u"\n</tree>\n");
}

bool ParseXml(UnitSource &source, XmlHandler &handler, const char **reason) {
    Parser parser(source, handler);
    const bool ok = parser.Document();
    if (reason) *reason = ok ? "" : parser.Reason();
    return ok;
}

Text EncodeXml(const Node &root) {
    TextSink sink;
    XmlWriter writer(sink);
    writer.Begin();
    Emit(writer, root, 1);
    writer.End();
    return std::move(sink.text);
}

bool DecodeXml(const Text &xml, Node *root) {
    TextSource source(xml);
    TreeBuilder builder;
    if (!ParseXml(source, builder)) return false;
    *root = std::move(builder.root);
    return true;
}

} // namespace gensys
