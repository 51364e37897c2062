// The element table, the places of the store and the users list.
#include "testsupport/zxtest.h"

#include <algorithm>

#include "settingsxfer/core/elements.h"
#include "settingsxfer/core/store.h"
#include "settingsxfer/core/users.h"
#include "zx_winsys/zx_winsys.h"

namespace {

std::vector<std::wstring> Wide(const std::vector<CQxStringW> &list) {
    std::vector<std::wstring> out;
    for (const CQxStringW &s : list)
        out.emplace_back(s.GetString());
    return out;
}

} // namespace

TEST_CASE("elements: nineteen in table order, eight groups whose members cover them once") {
    std::vector<std::wstring> all = Wide(sx::AllElements());
    REQUIRE(all.size() == 19);
    CHECK(all.front() == L"AutoConf");
    CHECK(all[17] == L"Registry");
    CHECK(all.back() == L"GUILayouts");
    size_t covered = 0;
    for (const sx::GroupInfo &g : sx::kGroups)
        covered += sx::GroupMembers(g.group).size();
    CHECK(covered == 19);
    CHECK(Wide(sx::GroupMembers(sx::Group::Layouts)) == std::vector<std::wstring>{L"Layouts", L"GUILayouts"});
    CHECK(Wide(sx::GroupMembers(sx::Group::NDAcquisition)) ==
          std::vector<std::wstring>{L"ZStack", L"NDSequence", L"ND_Complex"});
    std::vector<std::wstring> general = Wide(sx::GroupMembers(sx::Group::GeneralSettings));
    CHECK(general == std::vector<std::wstring>{L"AutoConf", L"UserKernels", L"threshold_settings", L"Kernels",
                                               L"CustomFilterData", L"MultipointSet", L"PixelClassifier",
                                               L"SystemInfo_settings", L"Registry"});
    CHECK(sx::GroupByWord(L"ND")->group == sx::Group::NDAcquisition);
    CHECK(sx::GroupByWord(L"General")->group == sx::Group::GeneralSettings);
    CHECK(sx::GroupByWord(L"Layouts")->group == sx::Group::Layouts);
    CHECK(sx::GroupByWord(L"Devices") == nullptr);
    CHECK(sx::GroupByWord(L"nd") == nullptr);
    CHECK(sx::GroupOfElement(L"Devices")->boxId == 1007);
    CHECK(sx::GroupOfElement(L"Bogus") == nullptr);
    CHECK(sx::kGroups[7].boxId == 1035);
}

TEST_CASE("places: the shared root, private folders, registry branch and backup folder") {
    sx::UsePlatformStorage();
    CQxStringW root = sx::SharedRoot();
    CHECK(root == sx::SharedRoot(false));
    CHECK(std::wstring(root.GetString()).size() > 18);
    CHECK(std::wstring(root.GetString()).find(L"\\Varnholt\\Platform") ==
          std::wstring(root.GetString()).size() - 18);
    CHECK(sx::PrivateFolder(root, L"alice") == root + L"\\alice");
    CHECK(sx::ElementPath(root, L"Devices", L".bin") == root + L"\\Devices.bin");
    CHECK(sx::UserRegistryKey(L"alice") == L"SOFTWARE\\Varnholt\\Platform\\alice\\Platform.INI\\");
    CQxStringW backup = sx::BackupFolder();
    CHECK(std::wstring(backup.GetString()).find(L"\\Varnholt\\ConfigurationBackup") != std::wstring::npos);
    CHECK(sx::SharedRoot() == root); // the storage folder is back
    CHECK(sx::SameName(L"Alice", L"aLICE"));
    CHECK_FALSE(sx::SameName(L"Alice", L"Alicia"));
}

TEST_CASE("places: the tree form of an element wins over its text form") {
    zxtest::TempDir dir;
    CQxStringW folder(dir.path().c_str());
    CHECK(sx::FindElement(folder, L"Layouts") == sx::ElementForm::None);
    zxtest::WriteFileBytes(dir / L"Layouts.xml", "x");
    CHECK(sx::FindElement(folder, L"Layouts") == sx::ElementForm::Text);
    zxtest::WriteFileBytes(dir / L"Layouts.bin", "x");
    CHECK(sx::FindElement(folder, L"Layouts") == sx::ElementForm::Tree);
}

TEST_CASE("users: only folders of known accounts, compared without regard to case") {
    zxtest::TempDir dir;
    CQxStringW root(dir.path().c_str());
    for (const wchar_t *folder : {L"ALICE", L"stranger", L"bob", L"carol.txt"}) {
        if (std::wstring(folder).find(L'.') == std::wstring::npos)
            REQUIRE(CreateDirectoryW((dir / folder).c_str(), nullptr));
        else
            zxtest::WriteFileBytes(dir / folder, "a file, not a folder");
    }
    std::vector<CQxStringW> accounts = {L"alice", L"Bob", L"carol.txt", L"dave"};
    std::vector<std::wstring> users = Wide(sx::UsersWithFolders(root, accounts));
    std::sort(users.begin(), users.end());
    CHECK(users == std::vector<std::wstring>{L"ALICE", L"bob"});
    CHECK(sx::UsersWithFolders(CQxStringW(), accounts).empty());
    CHECK(sx::UsersWithFolders(root, {}).empty());
}

TEST_CASE("users: the current account's folder in the real store is found, an unknown one is not") {
    sx::UsePlatformStorage();
    CQxStringW root = sx::SharedRoot();
    REQUIRE(QX_CreateDirectory(root.GetString(), 1, 0) == QX_OK);
    const CQxStringW me = sx::CurrentUserName();
    REQUIRE_FALSE(me.IsEmpty());
    const CQxStringW mine = sx::PrivateFolder(root, me);
    const CQxStringW stranger = sx::PrivateFolder(root, L"zx-no-such-account");
    const bool hadMine = zxtest::FileExists(mine.GetString());
    REQUIRE(QX_CreateDirectory(mine.GetString(), 0, 0) == QX_OK);
    REQUIRE(QX_CreateDirectory(stranger.GetString(), 0, 0) == QX_OK);
    std::vector<std::wstring> users = Wide(sx::EnumerateUsers());
    bool foundMe = false;
    for (const auto &u : users)
        foundMe = foundMe || sx::SameName(u.c_str(), me.GetString());
    CHECK(foundMe);
    CHECK(std::find(users.begin(), users.end(), L"zx-no-such-account") == users.end());
    RemoveDirectoryW(stranger.GetString());
    if (!hadMine) RemoveDirectoryW(mine.GetString());
}
