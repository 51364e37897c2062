// "CQxSerializerRegistryNew": registry branches under HKEY_LOCAL_MACHINE as variant trees, and the
// same branches streamed as XML text. One walker reads a branch, one applier writes one.
#include <windows.h>

#include <new>
#include <string>
#include <unordered_set>
#include <vector>

#include "zx_gensys/internal/convert.h"
#include "zx_gensys/internal/serializers.h"
#include "zx_gensys/qx_registryxml.h"

namespace gensysw {

namespace {

// Registry keys nest at most 512 deep; branches deeper than the tree limit are refused.
const int kMaxDepth = gensys::kMaxDepth;
const DWORD kMaxValueName = 16383;

// The key path of a source or target variant, with repeated and trailing separators removed.
bool CleanPath(const wchar_t *text, std::wstring *path) {
    path->clear();
    for (const wchar_t *p = text; p && *p; ++p) {
        if (*p == L'\\' && (path->empty() || path->back() == L'\\')) continue;
        *path += *p;
    }
    while (!path->empty() && path->back() == L'\\')
        path->pop_back();
    return !path->empty();
}

bool KeyPath(const CQxVariant &v, std::wstring *path) {
    if (v.GetType() != EQxVariantType::Text || v.GetName() != L"HKEY_LOCAL_MACHINE") return false;
    return CleanPath(v.GetText().GetString(), path);
}

class Key {
public:
    Key() = default;
    ~Key() {
        if (m_key) RegCloseKey(m_key);
    }
    Key(const Key &) = delete;
    Key &operator=(const Key &) = delete;
    Key(Key &&other) noexcept : m_key(other.m_key) { other.m_key = nullptr; }
    HKEY *Out() { return &m_key; }
    HKEY Get() const { return m_key; }

private:
    HKEY m_key = nullptr;
};

bool ValidKeyName(const gensys::Text &name) {
    if (name.empty() || name.size() > 255) return false;
    for (char16_t c : name)
        if (c == u'\\' || c == 0) return false;
    return true;
}

std::wstring Folded(const gensys::Text &name) {
    std::wstring folded = ToWide(name);
    if (!folded.empty())
        LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, folded.c_str(), static_cast<int>(folded.size()),
                      &folded[0], static_cast<int>(folded.size()), nullptr, nullptr, 0);
    return folded;
}

// What the walker meets in a branch: keys (values first, then subkeys) in the registry's order.
class RegistryVisitor {
public:
    virtual ~RegistryVisitor() = default;
    virtual bool KeyBegin(const gensys::Text &name, bool empty, int depth) = 0;
    virtual bool Value(gensys::Node &&value, int depth) = 0;
    virtual bool KeyEnd(bool empty, int depth) = 0;
};

bool Walk(HKEY key, const gensys::Text &name, int depth, RegistryVisitor &visitor, const char **reason) {
    if (depth > kMaxDepth) {
        *reason = "the branch is nested deeper than a tree may be";
        return false;
    }
    DWORD subkeys = 0, maxSubkey = 0, values = 0, maxValueName = 0, maxData = 0;
    if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, &maxSubkey, nullptr, &values,
                         &maxValueName, &maxData, nullptr, nullptr) != ERROR_SUCCESS) {
        *reason = "a key cannot be read";
        return false;
    }
    const bool empty = subkeys == 0 && values == 0;
    if (!visitor.KeyBegin(name, empty, depth)) {
        *reason = "the text cannot be written";
        return false;
    }
    std::vector<wchar_t> valueName(maxValueName + 2);
    std::vector<BYTE> data(maxData + 2);
    for (DWORD i = 0;; ++i) {
        DWORD nameLength = static_cast<DWORD>(valueName.size());
        DWORD dataLength = static_cast<DWORD>(data.size());
        DWORD type = 0;
        LONG r =
            RegEnumValueW(key, i, valueName.data(), &nameLength, nullptr, &type, data.data(), &dataLength);
        if (r == ERROR_MORE_DATA) {
            // The value grew since the key was measured: measure it again.
            valueName.resize(kMaxValueName + 2);
            nameLength = static_cast<DWORD>(valueName.size());
            dataLength = 0;
            if (RegEnumValueW(key, i, valueName.data(), &nameLength, nullptr, nullptr, nullptr,
                              &dataLength) == ERROR_SUCCESS)
                data.resize(dataLength + 2);
            --i;
            continue;
        }
        if (r == ERROR_NO_MORE_ITEMS) break;
        if (r != ERROR_SUCCESS) {
            *reason = "a value cannot be read";
            return false;
        }
        gensys::Node value;
        value.kind = gensys::NodeKind::Binary;
        value.name.assign(reinterpret_cast<const char16_t *>(valueName.data()), nameLength);
        value.tag = type;
        value.bytes.assign(reinterpret_cast<const char *>(data.data()), dataLength);
        if (!visitor.Value(std::move(value), depth + 1)) {
            *reason = "the text cannot be written";
            return false;
        }
    }
    std::vector<wchar_t> subkeyName(maxSubkey + 2 > 258 ? maxSubkey + 2 : 258);
    for (DWORD i = 0;; ++i) {
        DWORD nameLength = static_cast<DWORD>(subkeyName.size());
        LONG r = RegEnumKeyExW(key, i, subkeyName.data(), &nameLength, nullptr, nullptr, nullptr, nullptr);
        if (r == ERROR_NO_MORE_ITEMS) break;
        Key sub;
        if (r != ERROR_SUCCESS ||
            RegOpenKeyExW(key, subkeyName.data(), 0, KEY_READ, sub.Out()) != ERROR_SUCCESS) {
            *reason = "a subkey cannot be read";
            return false;
        }
        const gensys::Text subName(reinterpret_cast<const char16_t *>(subkeyName.data()), nameLength);
        if (!Walk(sub.Get(), subName, depth + 1, visitor, reason)) return false;
    }
    if (!visitor.KeyEnd(empty, depth)) {
        *reason = "the text cannot be written";
        return false;
    }
    return true;
}

// Builds the variant tree of the registry serializer's Read.
class VariantBuilder : public RegistryVisitor {
public:
    bool KeyBegin(const gensys::Text &name, bool, int) override {
        m_open.push_back({CQxListVariant(), name});
        return true;
    }
    bool Value(gensys::Node &&value, int) override {
        CQxVariant item = CQxVariant::FromBinary(value.bytes.data(), value.bytes.size(), value.tag, L"");
        item.SetName(ToWide(value.name).c_str());
        m_open.back().items.Add(item);
        return true;
    }
    bool KeyEnd(bool, int) override {
        Level level = std::move(m_open.back());
        m_open.pop_back();
        CQxVariant list(level.items, L"");
        list.SetName(CQxStringW(reinterpret_cast<const wchar_t *>(level.name.data()),
                                static_cast<int>(level.name.size())));
        if (m_open.empty())
            result = list;
        else
            m_open.back().items.Add(list);
        return true;
    }
    CQxVariant result;

private:
    struct Level {
        CQxListVariant items;
        gensys::Text name;
    };
    std::vector<Level> m_open;
};

// Writes the XML text form as the branch is read.
class XmlEmitter : public RegistryVisitor {
public:
    explicit XmlEmitter(gensys::XmlWriter &writer) : m_writer(writer) {}
    bool KeyBegin(const gensys::Text &name, bool empty, int depth) override {
        return m_writer.LevelBegin(name, depth, empty);
    }
    bool Value(gensys::Node &&value, int depth) override { return m_writer.Value(value, depth); }
    bool KeyEnd(bool empty, int depth) override { return empty || m_writer.LevelEnd(depth); }

private:
    gensys::XmlWriter &m_writer;
};

// Why a value from an untrusted source must not reach the registry, or null when it may.
const char *RefusedValue(const gensys::Node &n) {
    if (n.name.size() > kMaxValueName) return "a value name longer than the registry takes";
    for (char16_t c : n.name)
        if (c == 0) return "a value name with a zero character";
    if (n.kind == gensys::NodeKind::Empty) return "an empty node is no value";
    if (n.kind != gensys::NodeKind::Binary) return nullptr;
    const size_t size = n.bytes.size();
    const auto unit = [&](size_t fromEnd) {
        return static_cast<unsigned char>(n.bytes[size - 2 * fromEnd]) |
               static_cast<unsigned char>(n.bytes[size - 2 * fromEnd + 1]) << 8;
    };
    switch (n.tag) {
    case REG_NONE:
    case REG_BINARY:
    case REG_RESOURCE_LIST:
    case REG_FULL_RESOURCE_DESCRIPTOR:
    case REG_RESOURCE_REQUIREMENTS_LIST:
        return nullptr;
    case REG_SZ:
    case REG_EXPAND_SZ:
        return size >= 2 && size % 2 == 0 && unit(1) == 0 ? nullptr : "a string without its terminator";
    case REG_MULTI_SZ:
        return size >= 2 && size % 2 == 0 && unit(1) == 0 && (size == 2 || unit(2) == 0)
                   ? nullptr
                   : "a string list without its terminators";
    case REG_DWORD:
    case REG_DWORD_BIG_ENDIAN:
        return size == 4 ? nullptr : "a REG_DWORD of other than 4 bytes";
    case REG_QWORD:
        return size == 8 ? nullptr : "a REG_QWORD of other than 8 bytes";
    case REG_LINK:
        return "a link";
    default:
        return "a value of unknown type";
    }
}

bool SetValue(HKEY key, const gensys::Node &item) {
    const std::wstring name = ToWide(item.name);
    DWORD type = REG_BINARY;
    std::string bytes;
    switch (item.kind) {
    case gensys::NodeKind::Binary:
        bytes = item.bytes;
        type = item.tag;
        break;
    case gensys::NodeKind::Text:
        bytes.assign(reinterpret_cast<const char *>(item.text.c_str()),
                     (item.text.size() + 1) * sizeof(char16_t));
        type = REG_SZ;
        break;
    case gensys::NodeKind::Bool:
    case gensys::NodeKind::Int32:
    case gensys::NodeKind::UInt32: {
        DWORD v = item.kind == gensys::NodeKind::Bool    ? (item.boolean ? 1u : 0u)
                  : item.kind == gensys::NodeKind::Int32 ? static_cast<DWORD>(item.integer)
                                                         : static_cast<DWORD>(item.unsignedValue);
        bytes.assign(reinterpret_cast<const char *>(&v), sizeof v);
        type = REG_DWORD;
        break;
    }
    case gensys::NodeKind::Int64:
    case gensys::NodeKind::UInt64: {
        uint64_t v =
            item.kind == gensys::NodeKind::Int64 ? static_cast<uint64_t>(item.integer) : item.unsignedValue;
        bytes.assign(reinterpret_cast<const char *>(&v), sizeof v);
        type = REG_QWORD;
        break;
    }
    case gensys::NodeKind::Double:
        bytes.assign(reinterpret_cast<const char *>(&item.real), sizeof item.real);
        type = REG_BINARY;
        break;
    default:
        return false;
    }
    return RegSetValueExW(key, name.c_str(), 0, type, reinterpret_cast<const BYTE *>(bytes.data()),
                          static_cast<DWORD>(bytes.size())) == ERROR_SUCCESS;
}

// Writes items below a target key: a value is set in the key it belongs to, a level replaces the
// subkey of its name with exactly its content. Levels and values arrive as the XML reader meets them
// (depth 1 is the branch itself, whose items go into the target); each subkey notes the names it
// held, strikes those that come again, and deletes the rest when its level ends, so that the work
// grows with the names, never with their square.
class RegistryApplier : public gensys::XmlHandler {
public:
    RegistryApplier(HKEY target, const std::wstring &targetPath, bool strict, IQxRegistryReport *report)
        : m_strict(strict), m_report(report) {
        Frame root;
        root.key = target;
        root.path = targetPath;
        root.skipping = false;
        m_frames.push_back(std::move(root));
    }
    bool LevelBegin(const gensys::Text &name, int depth) override {
        if (depth == 1) return true;
        Frame &parent = m_frames.back();
        Frame frame;
        frame.path = parent.path + L"\\" + ToWide(name);
        if (!parent.skipping) {
            if (!ValidKeyName(name)) {
                Refuse(parent.path, ToWide(name), "a key name that is empty, too long or holds a separator");
            } else {
                parent.staleKeys.erase(Folded(name));
                Key key;
                if (RegCreateKeyExW(parent.key, ToWide(name).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                    key.Out(), nullptr) != ERROR_SUCCESS) {
                    Refuse(parent.path, ToWide(name), "the key cannot be created");
                } else {
                    frame.key = key.Get();
                    *key.Out() = nullptr;
                    frame.skipping = false;
                    Note(frame);
                }
            }
        }
        m_frames.push_back(std::move(frame));
        return true;
    }
    bool Value(gensys::Node &&value, int) override {
        Frame &frame = m_frames.back();
        if (frame.skipping) return true;
        const char *refused = m_strict ? RefusedValue(value) : nullptr;
        if (refused) {
            Refuse(frame.path, ToWide(value.name), refused);
            return true;
        }
        frame.staleValues.erase(Folded(value.name));
        if (!SetValue(frame.key, value))
            Refuse(frame.path, ToWide(value.name), "the value cannot be written");
        return true;
    }
    bool LevelEnd(int depth) override {
        if (depth == 1) return true;
        Frame frame = std::move(m_frames.back());
        m_frames.pop_back();
        if (frame.skipping) return true;
        for (const std::wstring &name : frame.staleValueNames)
            if (frame.staleValues.count(Folded(ToText(name))) &&
                RegDeleteValueW(frame.key, name.c_str()) != ERROR_SUCCESS)
                Refuse(frame.path, name, "an old value cannot be deleted");
        for (const std::wstring &name : frame.staleKeyNames)
            if (frame.staleKeys.count(Folded(ToText(name))) &&
                RegDeleteTreeW(frame.key, name.c_str()) != ERROR_SUCCESS)
                Refuse(frame.path, name, "an old subkey cannot be deleted");
        RegCloseKey(frame.key);
        return true;
    }
    int Refused() const { return m_refused; }
    ~RegistryApplier() override {
        for (size_t i = 1; i < m_frames.size(); ++i)
            if (m_frames[i].key) RegCloseKey(m_frames[i].key);
    }

private:
    struct Frame {
        HKEY key = nullptr;
        std::wstring path;
        bool skipping = true; // a key that could not be written: its items are passed over
        std::unordered_set<std::wstring> staleValues, staleKeys;  // folded names not met again yet
        std::vector<std::wstring> staleValueNames, staleKeyNames; // as the registry spells them
    };
    // What the subkey held before: every name is stale until the level names it again.
    static void Note(Frame &frame) {
        DWORD subkeys = 0, maxSubkey = 0, values = 0, maxValueName = 0;
        if (RegQueryInfoKeyW(frame.key, nullptr, nullptr, nullptr, &subkeys, &maxSubkey, nullptr, &values,
                             &maxValueName, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            return;
        std::vector<wchar_t> name((maxValueName > maxSubkey ? maxValueName : maxSubkey) + 2);
        for (DWORD i = 0;; ++i) {
            DWORD length = static_cast<DWORD>(name.size());
            if (RegEnumValueW(frame.key, i, name.data(), &length, nullptr, nullptr, nullptr, nullptr) !=
                ERROR_SUCCESS)
                break;
            frame.staleValueNames.emplace_back(name.data(), length);
            frame.staleValues.insert(Folded(ToText(frame.staleValueNames.back())));
        }
        for (DWORD i = 0;; ++i) {
            DWORD length = static_cast<DWORD>(name.size());
            if (RegEnumKeyExW(frame.key, i, name.data(), &length, nullptr, nullptr, nullptr, nullptr) !=
                ERROR_SUCCESS)
                break;
            frame.staleKeyNames.emplace_back(name.data(), length);
            frame.staleKeys.insert(Folded(ToText(frame.staleKeyNames.back())));
        }
    }
    void Refuse(const std::wstring &key, const std::wstring &name, const char *reason) {
        ++m_refused;
        if (m_report) m_report->Refused(key.c_str(), name.c_str(), reason);
    }
    bool m_strict;
    IQxRegistryReport *m_report;
    std::vector<Frame> m_frames;
    int m_refused = 0;
};

// Feeds a variant item to the applier as the XML reader would meet it below the branch.
bool Feed(RegistryApplier &applier, const CQxVariant &item, int depth) {
    if (depth > kMaxDepth + 1) return false;
    gensys::Node node;
    if (item.GetType() != EQxVariantType::List) {
        if (!VariantToNode(item, &node)) return false;
        return applier.Value(std::move(node), depth);
    }
    const CQxStringW &name = item.GetName();
    applier.LevelBegin(gensys::Text(reinterpret_cast<const char16_t *>(name.GetString()),
                                    static_cast<size_t>(name.GetLength())),
                       depth);
    bool ok = true;
    for (int i = 0; i < item.GetCount(); ++i)
        ok = Feed(applier, item[i], depth + 1) && ok;
    applier.LevelEnd(depth);
    return ok;
}

// Checks that the text's node is a level before anything is written.
class BranchCheck : public gensys::XmlHandler {
public:
    bool LevelBegin(const gensys::Text &, int) override { return true; }
    bool LevelEnd(int) override { return true; }
    bool Value(gensys::Node &&, int depth) override { return depth > 1; }
};

} // namespace

int RegistrySerializer::Read(CQxVariant &out, const CQxVariant &source) {
    std::wstring path;
    if (!KeyPath(source, &path)) return -1;
    Key key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, key.Out()) != ERROR_SUCCESS) return -1;
    const size_t slash = path.rfind(L'\\');
    const std::wstring last = slash == std::wstring::npos ? path : path.substr(slash + 1);
    VariantBuilder builder;
    const char *reason = "";
    if (!Walk(key.Get(), ToText(last), 1, builder, &reason)) return -1;
    return out.Assign(builder.result);
}

RegistrySerializer::~RegistrySerializer() {
    if (m_target) RegCloseKey(m_target);
}

int RegistrySerializer::Write(const CQxVariant &target, const CQxVariant &value) {
    std::wstring path;
    if (!KeyPath(target, &path)) return -1;
    AcquireSRWLockExclusive(&m_targetLock);
    bool ok = false;
    // A kept key that fails (deleted meanwhile, for one) is opened again for one more try.
    for (int attempt = 0; attempt < 2 && !ok; ++attempt) {
        const bool kept = m_target && path == m_targetPath;
        if (!kept) {
            if (m_target) RegCloseKey(m_target);
            m_target = nullptr;
            m_targetPath.clear();
            if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                &m_target, nullptr) != ERROR_SUCCESS) {
                m_target = nullptr;
                break;
            }
            m_targetPath = path;
        }
        // The serializer writes what it is given, as a program's own settings may hold anything.
        RegistryApplier applier(m_target, path, false, nullptr);
        ok = Feed(applier, value, 2) && applier.Refused() == 0;
        if (!ok && !kept) break;
        if (!ok) m_targetPath.clear();
    }
    ReleaseSRWLockExclusive(&m_targetLock);
    return ok ? 0 : -1;
}

} // namespace gensysw

namespace {

int RegistryToXml(const wchar_t *keyPath, gensys::UnitSink &sink, const char **reason) {
    const char *why = "";
    std::wstring path;
    gensysw::Key key;
    if (!gensysw::CleanPath(keyPath, &path) ||
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, key.Out()) != ERROR_SUCCESS) {
        if (reason) *reason = "the branch is missing";
        return 1;
    }
    DWORD subkeys = 0, values = 0;
    if (RegQueryInfoKeyW(key.Get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr,
                         nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
        subkeys == 0 && values == 0) {
        if (reason) *reason = "the branch is empty";
        return 1;
    }
    gensys::XmlWriter writer(sink);
    gensysw::XmlEmitter emitter(writer);
    // The branch's own level has no name, as the serializers' text has it (a variant read into
    // keeps its name).
    const bool ok = writer.Begin() && gensysw::Walk(key.Get(), gensys::Text(), 1, emitter, &why) &&
                    (writer.End() || (why = "the text cannot be written", false));
    if (reason) *reason = ok ? "" : why;
    return ok ? 0 : -1;
}

int XmlToRegistry(gensys::RewindableUnitSource &xml, const wchar_t *keyPath, IQxRegistryReport *report,
                  const char **reason) {
    const char *why = "";
    gensysw::BranchCheck check;
    std::wstring path;
    if (!gensysw::CleanPath(keyPath, &path))
        why = "no key to write to";
    else if (!gensys::ParseXml(xml, check, &why)) {
        if (!*why || std::string(why) == "the reader refused a node")
            why = "the branch is a value, not a level";
    } else if (!xml.Rewind()) {
        why = "the text cannot be read again";
    }
    if (*why) {
        if (reason) *reason = why;
        return -1;
    }
    gensysw::Key target;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        target.Out(), nullptr) != ERROR_SUCCESS) {
        if (reason) *reason = "the branch's key cannot be created";
        return -1;
    }
    gensysw::RegistryApplier applier(target.Get(), L"HKEY_LOCAL_MACHINE\\" + path, true, report);
    if (!gensys::ParseXml(xml, applier, &why)) {
        if (reason) *reason = "the text changed while it was written";
        return applier.Refused() + 1;
    }
    if (reason) *reason = "";
    return applier.Refused();
}

} // namespace

// Memory grows with a branch's depth and its largest value; a value the process cannot hold is a
// failure of the call, never of the process.
int QX_RegistryToXml(const wchar_t *keyPath, gensys::UnitSink &sink, const char **reason) {
    try {
        return RegistryToXml(keyPath, sink, reason);
    } catch (const std::bad_alloc &) {
        if (reason) *reason = "not enough memory";
        return -1;
    }
}

int QX_XmlToRegistry(gensys::RewindableUnitSource &xml, const wchar_t *keyPath, IQxRegistryReport *report,
                     const char **reason) {
    try {
        return XmlToRegistry(xml, keyPath, report, reason);
    } catch (const std::bad_alloc &) {
        if (reason) *reason = "not enough memory";
        return -1;
    }
}
