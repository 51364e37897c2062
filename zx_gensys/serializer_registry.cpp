// "CQxSerializerRegistryNew": registry branches under HKEY_LOCAL_MACHINE as variant trees.
#include <windows.h>

#include <string>
#include <vector>

#include "zx_gensys/internal/convert.h"
#include "zx_gensys/internal/serializers.h"

namespace gensysw {

namespace {

// Registry keys nest at most 512 deep; branches deeper than the tree limit are refused.
const int kMaxDepth = gensys::kMaxDepth;

// The key path of a source or target variant, with repeated and trailing separators removed.
bool KeyPath(const CQxVariant &v, std::wstring *path) {
    if (v.GetType() != EQxVariantType::Text || v.GetName() != L"HKEY_LOCAL_MACHINE") return false;
    path->clear();
    for (const wchar_t *p = v.GetText().GetString(); *p; ++p) {
        if (*p == L'\\' && (path->empty() || path->back() == L'\\')) continue;
        *path += *p;
    }
    while (!path->empty() && path->back() == L'\\')
        path->pop_back();
    return !path->empty();
}

class Key {
public:
    Key() = default;
    ~Key() {
        if (m_key) RegCloseKey(m_key);
    }
    Key(const Key &) = delete;
    Key &operator=(const Key &) = delete;
    HKEY *Out() { return &m_key; }
    HKEY Get() const { return m_key; }

private:
    HKEY m_key = nullptr;
};

bool ValidKeyName(const CQxStringW &name) {
    return !name.IsEmpty() && name.GetLength() <= 255 && wcschr(name.GetString(), L'\\') == nullptr &&
           static_cast<int>(wcslen(name.GetString())) == name.GetLength();
}

bool ReadKey(HKEY key, const CQxStringW &name, int depth, CQxVariant *out) {
    if (depth > kMaxDepth) return false;
    DWORD subkeys = 0, maxSubkey = 0, values = 0, maxValueName = 0, maxData = 0;
    if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, &maxSubkey, nullptr, &values,
                         &maxValueName, &maxData, nullptr, nullptr) != ERROR_SUCCESS)
        return false;
    CQxListVariant items;
    std::vector<wchar_t> valueName(maxValueName + 2);
    std::vector<BYTE> data(maxData + 2);
    for (DWORD i = 0; i < values; ++i) {
        DWORD nameLength = static_cast<DWORD>(valueName.size());
        DWORD dataLength = static_cast<DWORD>(data.size());
        DWORD type = 0;
        LONG r =
            RegEnumValueW(key, i, valueName.data(), &nameLength, nullptr, &type, data.data(), &dataLength);
        if (r == ERROR_NO_MORE_ITEMS) break;
        if (r != ERROR_SUCCESS) return false;
        CQxVariant item = CQxVariant::FromBinary(data.data(), dataLength, type, L"");
        item.SetName(CQxStringW(valueName.data(), static_cast<int>(nameLength)));
        items.Add(item);
    }
    std::vector<wchar_t> subkeyName(maxSubkey + 2);
    for (DWORD i = 0; i < subkeys; ++i) {
        DWORD nameLength = static_cast<DWORD>(subkeyName.size());
        LONG r = RegEnumKeyExW(key, i, subkeyName.data(), &nameLength, nullptr, nullptr, nullptr, nullptr);
        if (r == ERROR_NO_MORE_ITEMS) break;
        if (r != ERROR_SUCCESS) return false;
        Key sub;
        if (RegOpenKeyExW(key, subkeyName.data(), 0, KEY_READ, sub.Out()) != ERROR_SUCCESS) return false;
        CQxVariant child;
        if (!ReadKey(sub.Get(), CQxStringW(subkeyName.data(), static_cast<int>(nameLength)), depth + 1,
                     &child))
            return false;
        items.Add(child);
    }
    *out = CQxVariant(items, L"");
    out->SetName(name);
    return true;
}

bool SetValue(HKEY key, const CQxVariant &item) {
    const wchar_t *name = item.GetName().GetString();
    DWORD type = REG_BINARY;
    std::string bytes;
    switch (item.GetType()) {
    case EQxVariantType::Binary: {
        size_t size = 0;
        const void *data = item.GetBinary(&size);
        bytes.assign(static_cast<const char *>(data), size);
        type = item.GetTag();
        break;
    }
    case EQxVariantType::Text: {
        const CQxStringW &text = item.GetText();
        bytes.assign(reinterpret_cast<const char *>(text.GetString()),
                     (text.GetLength() + 1) * sizeof(wchar_t));
        type = REG_SZ;
        break;
    }
    case EQxVariantType::Bool:
    case EQxVariantType::Int:
    case EQxVariantType::Unsigned: {
        DWORD v = item.GetType() == EQxVariantType::Bool  ? (item.GetBool() ? 1u : 0u)
                  : item.GetType() == EQxVariantType::Int ? static_cast<DWORD>(item.GetInt())
                                                          : static_cast<DWORD>(item.GetUnsigned());
        bytes.assign(reinterpret_cast<const char *>(&v), sizeof v);
        type = REG_DWORD;
        break;
    }
    case EQxVariantType::Int64:
    case EQxVariantType::UInt64: {
        uint64_t v = item.GetType() == EQxVariantType::Int64 ? static_cast<uint64_t>(item.GetInt())
                                                             : item.GetUnsigned();
        bytes.assign(reinterpret_cast<const char *>(&v), sizeof v);
        type = REG_QWORD;
        break;
    }
    case EQxVariantType::Double: {
        double v = item.GetDouble();
        bytes.assign(reinterpret_cast<const char *>(&v), sizeof v);
        type = REG_BINARY;
        break;
    }
    default:
        return false;
    }
    return RegSetValueExW(key, name, 0, type, reinterpret_cast<const BYTE *>(bytes.data()),
                          static_cast<DWORD>(bytes.size())) == ERROR_SUCCESS;
}

bool InList(const CQxVariant &list, const wchar_t *name, bool wantList) {
    for (int i = 0; i < list.GetCount(); ++i) {
        const CQxVariant &item = list[i];
        if ((item.GetType() == EQxVariantType::List) == wantList &&
            SameNameIgnoringCase(item.GetName().GetString(), name))
            return true;
    }
    return false;
}

// Makes the subkey name of parent hold exactly what list holds. Existing values and subkeys
// that the list keeps are overwritten in place, the others are deleted; nothing is deleted
// before it is known that the subkey can be opened.
bool ReplaceKey(HKEY parent, const CQxVariant &list, int depth) {
    if (depth > kMaxDepth || !ValidKeyName(list.GetName())) return false;
    Key key;
    if (RegCreateKeyExW(parent, list.GetName().GetString(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.Out(),
                        nullptr) != ERROR_SUCCESS)
        return false;

    // The name buffer lives on the heap: this recurses once per level of the branch, and 32 KiB
    // of stack per level would overflow the stack long before the deepest branch a tree holds.
    std::vector<std::wstring> staleValues, staleKeys;
    std::vector<wchar_t> name(16384);
    for (DWORD i = 0;; ++i) {
        DWORD length = 16384;
        if (RegEnumValueW(key.Get(), i, name.data(), &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        if (!InList(list, name.data(), false)) staleValues.emplace_back(name.data(), length);
    }
    for (DWORD i = 0;; ++i) {
        DWORD length = 256;
        if (RegEnumKeyExW(key.Get(), i, name.data(), &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        if (!InList(list, name.data(), true)) staleKeys.emplace_back(name.data(), length);
    }
    bool ok = true;
    for (const std::wstring &v : staleValues)
        ok = RegDeleteValueW(key.Get(), v.c_str()) == ERROR_SUCCESS && ok;
    for (const std::wstring &k : staleKeys)
        ok = RegDeleteTreeW(key.Get(), k.c_str()) == ERROR_SUCCESS && ok;
    for (int i = 0; i < list.GetCount(); ++i) {
        const CQxVariant &item = list[i];
        ok = (item.GetType() == EQxVariantType::List ? ReplaceKey(key.Get(), item, depth + 1)
                                                     : SetValue(key.Get(), item)) &&
             ok;
    }
    return ok;
}

} // namespace

int RegistrySerializer::Read(CQxVariant &out, const CQxVariant &source) {
    std::wstring path;
    if (!KeyPath(source, &path)) return -1;
    Key key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, key.Out()) != ERROR_SUCCESS) return -1;
    const size_t slash = path.rfind(L'\\');
    const std::wstring last = slash == std::wstring::npos ? path : path.substr(slash + 1);
    CQxVariant tree;
    if (!ReadKey(key.Get(), CQxStringW(last.c_str()), 1, &tree)) return -1;
    return out.Assign(tree);
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
        ok = value.GetType() == EQxVariantType::List ? ReplaceKey(m_target, value, 1)
                                                     : SetValue(m_target, value);
        if (!ok && !kept) break;
        if (!ok) m_targetPath.clear();
    }
    ReleaseSRWLockExclusive(&m_targetLock);
    return ok ? 0 : -1;
}

} // namespace gensysw
