// Test support for the settings store: a private store folder, realistic contents, and snapshots
// of files and registry branches to compare before and after a transfer.
#pragma once

#include <initializer_list>
#include <map>
#include <string>
#include <vector>

#include "testsupport/zxtest.h"
#include "zx_gensys/qx_litevariant.h"
#include "zx_gensys/qx_string.h"

namespace sxtest {

// Registry branch of a user (under HKEY_LOCAL_MACHINE), without the trailing separator.
std::wstring UserKey(const std::wstring &user);

// Every file below a folder (relative path -> bytes) and every value below a key (path -> type
// and bytes), so that two states compare exactly.
struct Snapshot {
    std::map<std::wstring, std::string> files;
    std::map<std::wstring, std::string> registry;
    bool operator==(const Snapshot &o) const { return files == o.files && registry == o.registry; }
};
// An empty root takes the registry branches only.
Snapshot Take(const std::wstring &root, const std::vector<std::wstring> &users);
std::string Describe(const Snapshot &s); // for failure messages

// Element contents.
std::string TextElement(const std::wstring &text, bool byteOrderMark = true); // UTF-16 bytes
void WriteTreeElement(const std::wstring &path, int seed);                    // a nested settings tree
void FillRegistry(const std::wstring &user, int seed);                        // every value type, nested keys
void RemoveRegistry(const std::wstring &user);

// Package building: an element node in text form; closing a writer's tree into a file; a settings
// tree that is no package (its top level is not "Settings").
void AddTextElement(CQxLiteVariantW &writer, const wchar_t *element, const std::wstring &text);
void SaveTree(CQxLiteVariantW &writer, const std::wstring &path);
void WriteTreeWithoutSettings(const std::wstring &path);

// The names of the children of a level of a package file, the level given by its path of names.
std::vector<std::wstring> PackageLevel(const std::wstring &package,
                                       std::initializer_list<const wchar_t *> path);

// Fills root (shared elements) and each user's private folder and registry branch.
void BuildStore(const std::wstring &root, const std::vector<std::wstring> &users);

// The settings store of a test: by default the storage folder is pointed at a folder of this
// process under the common application data; kRealStore uses the platform's own store (that of
// the test's Wine prefix), as settingsxfer.exe sees it. The store folder is emptied at the start
// and removed at the end, with the users' registry branches.
class StoreFixture {
public:
    static const wchar_t kRealStore[];
    explicit StoreFixture(std::vector<std::wstring> users = {}, const wchar_t *storageFolder = nullptr);
    ~StoreFixture();
    const std::wstring &root() const { return m_root; }
    const std::vector<std::wstring> &users() const { return m_users; }
    std::vector<CQxStringW> UserList() const;
    std::wstring Folder(const std::wstring &user) const { return m_root + L"\\" + user; }

private:
    std::wstring m_base;
    std::wstring m_root;
    std::vector<std::wstring> m_users;
};

// Test user names unique to this process.
std::wstring TestUser(const wchar_t *name);

} // namespace sxtest
