// EnumerateUsers: normal accounts of the logon server that have a private folder.
#include "settingsxfer/core/users.h"

#include <windows.h>
#include <lm.h>

#include "settingsxfer/core/store.h"
#include "zx_winsys/zx_winsys.h"

namespace sx {

namespace {

// The logged-on user's logon server, or empty for the local machine.
std::wstring LogonServer() {
    LPBYTE buffer = nullptr;
    std::wstring server;
    if (NetWkstaUserGetInfo(nullptr, 1, &buffer) == NERR_Success && buffer) {
        const wchar_t *name = reinterpret_cast<WKSTA_USER_INFO_1 *>(buffer)->wkui1_logon_server;
        if (name) server = name;
    }
    if (buffer) NetApiBufferFree(buffer);
    return server;
}

} // namespace

std::vector<CQxStringW> NormalAccounts() {
    // An empty server name means this machine: pass null (some systems refuse "").
    const std::wstring server = LogonServer();
    const wchar_t *serverName = server.empty() ? nullptr : server.c_str();
    std::vector<CQxStringW> accounts;
    DWORD resume = 0;
    for (;;) {
        LPBYTE buffer = nullptr;
        DWORD read = 0, total = 0;
        NET_API_STATUS status = NetUserEnum(serverName, 0, FILTER_NORMAL_ACCOUNT, &buffer,
                                            MAX_PREFERRED_LENGTH, &read, &total, &resume);
        if (buffer) {
            if (status == NERR_Success || status == ERROR_MORE_DATA) {
                const USER_INFO_0 *users = reinterpret_cast<USER_INFO_0 *>(buffer);
                for (DWORD i = 0; i < read; ++i)
                    accounts.emplace_back(users[i].usri0_name);
            }
            NetApiBufferFree(buffer);
        }
        if (status != ERROR_MORE_DATA || !buffer) break;
    }
    return accounts;
}

std::vector<CQxStringW> UsersWithFolders(const CQxStringW &root, const std::vector<CQxStringW> &accounts) {
    std::vector<CQxStringW> users;
    if (root.IsEmpty() || accounts.empty()) return users;
    wchar_t pattern[260];
    if (swprintf(pattern, 260, L"%ls\\*", root.GetString()) < 0) return users;
    SQxFindData data = {};
    void *find = nullptr;
    if (QX_FindFileFirst(pattern, &find, &data) != QX_OK) return users;
    do {
        if (!data.isDirectory) continue;
        for (const CQxStringW &account : accounts) {
            if (SameName(account.GetString(), data.name)) {
                users.emplace_back(data.name);
                break;
            }
        }
    } while (QX_FindFileNext(find, &data) == QX_OK);
    QX_FindFileClose(find);
    return users;
}

std::vector<CQxStringW> EnumerateUsers() {
    return UsersWithFolders(SharedRoot(true), NormalAccounts());
}

} // namespace sx
