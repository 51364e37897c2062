// settingsxfer_sample: a sample settings store for a machine that has none, and a summary of what
// a package holds, for the main job and for anyone trying the utility on a fresh machine.
//   settingsxfer_sample lay       lays down the sample store; exit 0, or 3 when a store is there
//                                 (it is left exactly as it is), 1 when it cannot be laid down
//   settingsxfer_sample summary FILE
//                                 prints the package's users, elements per level and size; exit 0,
//                                 or 1 when the file is no package (with the reason)
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "settingsxfer/core/elements.h"
#include "settingsxfer/core/package.h"
#include "settingsxfer/core/runtypes.h"
#include "settingsxfer/core/store.h"
#include "settingsxfer/core/users.h"
#include "zx_gensys/qx_litevariant.h"
#include "zx_winsys/zx_winsys.h"

namespace {

constexpr int kStoreThere = 3;

bool Exists(const CQxStringW &path) {
    return GetFileAttributesW(path.GetString()) != INVALID_FILE_ATTRIBUTES;
}

bool StoreThere(const CQxStringW &root) {
    HKEY key = nullptr;
    const bool branch =
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, sx::kPlatformRegistryKey, 0, KEY_READ, &key) == ERROR_SUCCESS;
    if (key) RegCloseKey(key);
    return branch || Exists(root);
}

// An element as a settings tree: a few values of each kind, nested levels.
bool WriteTree(const CQxStringW &path, const wchar_t *element, int seed) {
    CQxLiteVariantW w;
    w.Set(element, L"name");
    w.SetInt(seed, L"revision");
    for (int i = 0; i < 3; ++i) {
        w.LevelBegin((L"entry" + std::to_wstring(i)).c_str());
        w.SetDouble(seed * 0.25 + i, L"value");
        w.Set(i % 2 == 0, L"enabled");
        w.LevelEnd();
    }
    CQxLiteVariantR tree;
    w.Finalize(tree);
    return tree.SaveToFile(path.GetString(), true, false) == 0;
}

// An element as XML text: UTF-16 code units with a byte-order mark.
bool WriteText(const CQxStringW &path, const wchar_t *element, const CQxStringW &owner) {
    const std::wstring text =
        L"\xFEFF<" + std::wstring(element) + L" owner=\"" + owner.GetString() + L"\" sample=\"yes\"/>";
    HANDLE file =
        CreateFileW(path.GetString(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const DWORD size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    const bool ok = WriteFile(file, text.data(), size, &written, nullptr) && written == size;
    CloseHandle(file);
    return ok;
}

// The nineteen elements in a folder, every other one as text; a user's "Registry" is the user's
// registry branch instead of a file.
bool WriteElements(const CQxStringW &folder, const CQxStringW &owner, bool user, int seed) {
    if (QX_CreateDirectory(folder.GetString(), 1, 0) != QX_OK) return false;
    for (int i = 0; i < sx::kElementCount; ++i) {
        const wchar_t *element = sx::kElements[i].name;
        if (user && std::wstring(element) == L"Registry") continue;
        const bool ok = i % 2 == 0 ? WriteTree(sx::ElementPath(folder, element, L".bin"), element, seed + i)
                                   : WriteText(sx::ElementPath(folder, element, L".xml"), element, owner);
        if (!ok) return false;
    }
    return true;
}

bool WriteBranch(const CQxStringW &user, DWORD seed) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, sx::UserRegistryKey(user).GetString(), 0, nullptr, 0, KEY_WRITE,
                        nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    const wchar_t title[] = L"Sample settings";
    bool ok = RegSetValueExW(key, L"Title", 0, REG_SZ, reinterpret_cast<const BYTE *>(title), sizeof title) ==
              ERROR_SUCCESS;
    ok = ok && RegSetValueExW(key, L"Revision", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&seed),
                              sizeof seed) == ERROR_SUCCESS;
    HKEY window = nullptr;
    ok = ok && RegCreateKeyExW(key, L"Windows\\Main", 0, nullptr, 0, KEY_WRITE, nullptr, &window, nullptr) ==
                   ERROR_SUCCESS;
    const DWORD left = 120;
    ok = ok && RegSetValueExW(window, L"Left", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&left),
                              sizeof left) == ERROR_SUCCESS;
    if (window) RegCloseKey(window);
    RegCloseKey(key);
    return ok;
}

// Two users with private settings: the accounts the system lists, the logged-on one first. Only
// an account's private settings are exported for all users, so where the system lists just one
// (as Wine does) the store holds that one.
std::vector<CQxStringW> SampleUsers() {
    std::vector<CQxStringW> users;
    const CQxStringW current = sx::CurrentUserName();
    if (!current.IsEmpty()) users.push_back(current);
    for (const CQxStringW &account : sx::NormalAccounts())
        if (users.size() < 2 && !sx::SameName(account.GetString(), current.GetString()))
            users.push_back(account);
    return users;
}

int Lay() {
    const CQxStringW root = sx::SharedRoot(true);
    if (root.IsEmpty()) {
        std::fwprintf(stderr, L"no settings store folder can be composed on this machine\n");
        return 1;
    }
    if (StoreThere(root)) {
        std::wprintf(L"a settings store is there already (%ls): it is exported as it is\n", root.GetString());
        return kStoreThere;
    }
    const std::vector<CQxStringW> users = SampleUsers();
    bool ok = WriteElements(root, L"shared", false, 1);
    std::wstring names;
    int seed = 100;
    for (const CQxStringW &user : users) {
        ok = ok && WriteElements(sx::PrivateFolder(root, user), user, true, seed) &&
             WriteBranch(user, static_cast<DWORD>(seed));
        names += (names.empty() ? L"" : L", ") + std::wstring(user.GetString());
        seed += 100;
    }
    if (!ok) {
        std::fwprintf(stderr, L"the sample settings store could not be laid down in %ls (system error %lu)\n",
                      root.GetString(), GetLastError());
        return 1;
    }
    std::wprintf(L"no settings store here: laid down a sample one in %ls (%d elements shared and for %zu "
                 L"user%ls: %ls, with their registry branches)\n",
                 root.GetString(), sx::kElementCount, users.size(), users.size() == 1 ? L"" : L"s",
                 names.c_str());
    return 0;
}

int Count(unsigned bits) {
    int n = 0;
    for (; bits; bits &= bits - 1)
        ++n;
    return n;
}

int Summary(const wchar_t *path) {
    sx::PackageSummary summary;
    std::wstring why;
    if (!sx::SummarizePackage(path, &summary, &why)) {
        std::fwprintf(stderr, L"%ls is no settings package: %ls\n", path, why.c_str());
        return 1;
    }
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    GetFileAttributesExW(path, GetFileExInfoStandard, &data);
    const unsigned long long bytes =
        (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    std::wprintf(L"the package holds %zu user%ls, %llu bytes:\n",
                 summary.users.size() + summary.usersNotListed,
                 summary.users.size() + summary.usersNotListed == 1 ? L"" : L"s", bytes);
    std::wprintf(L"  shared: %d elements\n", Count(summary.sharedElements));
    for (const sx::PackageSummary::User &user : summary.users)
        std::wprintf(L"  %ls: %d elements\n", user.name.c_str(), Count(user.elements));
    if (summary.usersNotListed) std::wprintf(L"  and %zu users more\n", summary.usersNotListed);
    return 0;
}

} // namespace

int wmain(int argc, wchar_t **argv) {
    sx::RegisterRunTypes();
    sx::UsePlatformStorage();
    if (argc == 2 && std::wstring(argv[1]) == L"lay") return Lay();
    if (argc == 3 && std::wstring(argv[1]) == L"summary") return Summary(argv[2]);
    std::fwprintf(stderr, L"usage: settingsxfer_sample lay | summary FILE\n");
    return 2;
}
