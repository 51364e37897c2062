// Settings-store test support.
#include "settingsxfer/tests/storefixture.h"

#include <shlobj.h>

#include "settingsxfer/core/store.h"
#include "zx_gensys/qx_litevariant.h"
#include "zx_winsys/zx_winsys.h"

namespace sxtest {

namespace {

void ListFiles(const std::wstring &folder, const std::wstring &relative, Snapshot *s) {
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        std::wstring name = data.cFileName;
        if (name == L"." || name == L"..") continue;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            ListFiles(folder + L"\\" + name, relative + name + L"\\", s);
        else
            s->files[relative + name] = zxtest::ReadFileBytes(folder + L"\\" + name);
    } while (FindNextFileW(find, &data));
    FindClose(find);
}

// Recurses once per key level: the buffers live on the heap.
void ListKey(HKEY key, const std::wstring &path, Snapshot *s) {
    std::vector<wchar_t> buffer(16384);
    wchar_t *name = buffer.data();
    std::vector<BYTE> data(1 << 16);
    for (DWORD i = 0;; ++i) {
        DWORD nameLength = 16384, size = static_cast<DWORD>(data.size()), type = 0;
        const LONG r = RegEnumValueW(key, i, name, &nameLength, nullptr, &type, data.data(), &size);
        if (r == ERROR_MORE_DATA) {
            data.resize(size);
            --i;
            continue;
        }
        if (r != ERROR_SUCCESS) break;
        s->registry[path + L"|" + name] =
            std::to_string(type) + ":" + std::string(reinterpret_cast<char *>(data.data()), size);
    }
    for (DWORD i = 0;; ++i) {
        DWORD nameLength = 256;
        if (RegEnumKeyExW(key, i, name, &nameLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        HKEY sub = nullptr;
        if (RegOpenKeyExW(key, name, 0, KEY_READ, &sub) != ERROR_SUCCESS) continue;
        s->registry[path + L"\\" + name] = "[key]";
        ListKey(sub, path + L"\\" + name, s);
        RegCloseKey(sub);
    }
}

void SetRaw(HKEY key, const wchar_t *name, DWORD type, const void *data, DWORD size) {
    REQUIRE(zxtest::SetValue(key, name, type, data, size));
}

HKEY CreateKey(const std::wstring &path) {
    HKEY key = zxtest::CreateKey(path);
    REQUIRE(key != nullptr);
    return key;
}

} // namespace

std::wstring UserKey(const std::wstring &user) {
    return L"SOFTWARE\\Varnholt\\Platform\\" + user + L"\\Platform.INI";
}

std::wstring TestUser(const wchar_t *name) {
    return std::wstring(L"zxt-") + name + L"-" + std::to_wstring(GetCurrentProcessId());
}

Snapshot Take(const std::wstring &root, const std::vector<std::wstring> &users) {
    Snapshot s;
    if (!root.empty()) ListFiles(root, L"", &s); // an empty root: registry only
    for (const std::wstring &user : users) {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, (L"SOFTWARE\\Varnholt\\Platform\\" + user).c_str(), 0, KEY_READ,
                          &key) != ERROR_SUCCESS)
            continue;
        ListKey(key, user, &s);
        RegCloseKey(key);
    }
    return s;
}

std::string Describe(const Snapshot &s) {
    std::string out;
    for (const auto &f : s.files)
        out += "file " + zxtest::Narrow(f.first) + " (" + std::to_string(f.second.size()) + " bytes)\n";
    for (const auto &r : s.registry)
        out += "reg " + zxtest::Narrow(r.first) + " (" + std::to_string(r.second.size()) + ")\n";
    return out;
}

std::string TextElement(const std::wstring &text, bool byteOrderMark) {
    std::wstring units = (byteOrderMark ? L"\xFEFF" : L"") + text;
    return std::string(reinterpret_cast<const char *>(units.data()), units.size() * sizeof(wchar_t));
}

void WriteTreeElement(const std::wstring &path, int seed) {
    CQxLiteVariantW w;
    w.SetInt(seed, L"seed");
    w.Set(L"Caf\u00e9 \u4e2d\u6587 <settings/>", L"title");
    for (int i = 0; i < 3; ++i) {
        w.LevelBegin((L"group" + std::to_wstring(i)).c_str());
        w.SetDouble(seed * 0.5 + i, L"value");
        w.SetBinary("\0\1\2\3", 4, static_cast<uint32_t>(i), L"blob");
        w.LevelBegin(L"nested");
        w.Set(i % 2 == 0, L"on");
        w.LevelEnd();
        w.LevelEnd();
    }
    w.LevelBegin(L"empty");
    w.LevelEnd();
    SaveTree(w, path);
}

void AddTextElement(CQxLiteVariantW &writer, const wchar_t *element, const std::wstring &text) {
    writer.LevelBegin(element);
    writer.Set(true, L"useXMLstring");
    writer.Set(text.c_str(), L"content");
    writer.LevelEnd();
}

void SaveTree(CQxLiteVariantW &writer, const std::wstring &path) {
    CQxLiteVariantR tree;
    writer.Finalize(tree);
    REQUIRE(tree.SaveToFile(path.c_str(), true, false) == 0);
}

void WriteTreeWithoutSettings(const std::wstring &path) {
    CQxLiteVariantW w;
    w.LevelBegin(L"Other");
    w.LevelEnd();
    SaveTree(w, path);
}

void FillRegistry(const std::wstring &user, int seed) {
    const std::wstring base = UserKey(user);
    HKEY key = CreateKey(base);
    const wchar_t sz[] = L"Gr\u00fc\u00dfe";
    SetRaw(key, L"Title", REG_SZ, sz, sizeof sz);
    const wchar_t expand[] = L"%ProgramData%\\Varnholt";
    SetRaw(key, L"Path", REG_EXPAND_SZ, expand, sizeof expand);
    const wchar_t multi[] = L"first\0\0third\0";
    SetRaw(key, L"List", REG_MULTI_SZ, multi, sizeof multi);
    DWORD dword = 0x1000 + static_cast<DWORD>(seed);
    SetRaw(key, L"Count", REG_DWORD, &dword, sizeof dword);
    unsigned long long qword = 0xFEEDFACE00000000ull + static_cast<unsigned>(seed);
    SetRaw(key, L"Big", REG_QWORD, &qword, sizeof qword);
    SetRaw(key, L"Raw", REG_BINARY, "\x00\xff\x10", 3);
    SetRaw(key, L"Nothing", REG_NONE, "", 0);
    SetRaw(key, L"", REG_SZ, L"default", 16);
    RegCloseKey(key);
    HKEY sub = CreateKey(base + L"\\Windows\\Main");
    SetRaw(sub, L"Left", REG_DWORD, &dword, sizeof dword);
    RegCloseKey(sub);
    RegCloseKey(CreateKey(base + L"\\Empty"));
}

void RemoveRegistry(const std::wstring &user) {
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, (L"SOFTWARE\\Varnholt\\Platform\\" + user).c_str());
}

void BuildStore(const std::wstring &root, const std::vector<std::wstring> &users) {
    REQUIRE(QX_CreateDirectory(root.c_str(), 1, 0) == QX_OK);
    WriteTreeElement(root + L"\\Devices.bin", 1);
    WriteTreeElement(root + L"\\ND_Complex.bin", 2);
    zxtest::WriteFileBytes(root + L"\\Layouts.xml", TextElement(L"<layout name=\"Haupt\u00fcbersicht\"/>"));
    zxtest::WriteFileBytes(root + L"\\Registry.xml", TextElement(L"<shared-registry/>"));
    int seed = 10;
    for (const std::wstring &user : users) {
        const std::wstring folder = root + L"\\" + user;
        REQUIRE(QX_CreateDirectory(folder.c_str(), 1, 0) == QX_OK);
        WriteTreeElement(folder + L"\\OpticalConfigs.bin", seed);
        WriteTreeElement(folder + L"\\Objectives.bin", seed + 1);
        zxtest::WriteFileBytes(folder + L"\\GUILayouts.xml",
                               TextElement(L"<gui user=\"" + user + L"\">\u00e9</gui>"));
        zxtest::WriteFileBytes(folder + L"\\UserManager.xml", TextElement(L"<users/>", false));
        FillRegistry(user, seed);
        seed += 10;
    }
}

const wchar_t StoreFixture::kRealStore[] = L"Varnholt\\Platform";

StoreFixture::StoreFixture(std::vector<std::wstring> users, const wchar_t *storageFolder)
    : m_users(std::move(users)) {
    wchar_t common[MAX_PATH];
    REQUIRE(SHGetFolderPathW(nullptr, 35, nullptr, SHGFP_TYPE_CURRENT, common) == S_OK);
    if (storageFolder) {
        QX_SetStorageFolder(storageFolder, 35);
        m_base = std::wstring(common) + L"\\" + storageFolder;
    } else {
        const std::wstring folder = L"ZxTest-" + std::to_wstring(GetCurrentProcessId());
        QX_SetStorageFolder((folder + L"\\Platform").c_str(), 35);
        m_base = std::wstring(common) + L"\\" + folder;
    }
    m_root = sx::SharedRoot().GetString();
    REQUIRE(m_root.compare(0, m_base.size(), m_base) == 0);
    zxtest::RemoveTree(m_base);
    for (const std::wstring &user : m_users)
        RemoveRegistry(user);
}

StoreFixture::~StoreFixture() {
    zxtest::RemoveTree(m_base);
    for (const std::wstring &user : m_users)
        RemoveRegistry(user);
    sx::UsePlatformStorage();
}

std::vector<std::wstring> PackageLevel(const std::wstring &package,
                                       std::initializer_list<const wchar_t *> path) {
    CQxLiteVariantR reader;
    REQUIRE(reader.LoadFromFile(package.c_str(), false) == 0);
    for (const wchar_t *level : path)
        REQUIRE(reader.LevelBegin(level, nullptr) == 0);
    std::vector<std::wstring> names;
    for (; reader.IsNextValue(); reader.NextValue()) {
        wchar_t name[256];
        reader.GetCurrentName(name, 256);
        names.push_back(name);
    }
    return names;
}

std::vector<CQxStringW> StoreFixture::UserList() const {
    std::vector<CQxStringW> list;
    for (const std::wstring &user : m_users)
        list.emplace_back(user.c_str());
    return list;
}

} // namespace sxtest
