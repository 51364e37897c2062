// QX_OpenFile: dispositions, permission modes, the owner-only access list and sharing.
#include "testsupport/zxtest.h"
#include "zx_winsys/zx_winsys.h"

#include <aclapi.h>
#include <sddl.h>

using zxtest::TempDir;

TEST_CASE("open: the creation disposition follows the flag precedence") {
    struct Case {
        int flags;
        bool exists;
        int status;
        const char *contentAfter; // nullptr: the file must not exist afterwards
    };
    const Case cases[] = {
        {0x0C, true, QX_OK, ""},
        {0x0C, false, QX_OK, ""},
        {0x04, true, QX_ERR_OPEN_FILE, "old"},
        {0x04, false, QX_OK, ""},
        {0x08, true, QX_OK, "old"},
        {0x08, false, QX_OK, ""},
        {0x10, true, QX_OK, ""},
        {0x10, false, QX_ERR_OPEN_FILE, nullptr},
        {0x00, true, QX_OK, "old"},
        {0x00, false, QX_ERR_OPEN_FILE, nullptr},
        {0x1C, true, QX_OK, ""},
        {0x18, true, QX_OK, "old"},
    };
    TempDir dir;
    for (const Case &c : cases) {
        CAPTURE(c.flags);
        CAPTURE(c.exists);
        std::wstring path = dir / L"f.txt";
        DeleteFileW(path.c_str());
        if (c.exists) zxtest::WriteFileBytes(path, "old");
        void *handle = reinterpret_cast<void *>(0x1234);
        int status = QX_OpenFile(path.c_str(), c.flags | QX_OPEN_WRITE, 0, QX_PERM_DEFAULT, &handle);
        CHECK(status == c.status);
        if (status == QX_OK)
            CHECK(QX_CloseFile(handle) == QX_OK);
        else
            CHECK(handle == reinterpret_cast<void *>(0x1234));
        if (c.contentAfter)
            CHECK(zxtest::ReadFileBytes(path) == c.contentAfter);
        else
            CHECK_FALSE(zxtest::FileExists(path));
    }
}

TEST_CASE("open: flags 0 open an existing file with neither read nor write access") {
    TempDir dir;
    zxtest::WriteFileBytes(dir / L"f", "data");
    void *handle = nullptr;
    REQUIRE(QX_OpenFile((dir / L"f").c_str(), 0, 0, QX_PERM_DEFAULT, &handle) == QX_OK);
    char buffer[4];
    size_t got = 99;
    CHECK(QX_ReadFile(handle, buffer, 4, &got, nullptr) == QX_ERR_READ_FILE);
    CHECK(got == 0);
    CHECK(QX_WriteFile(handle, "x", 1, nullptr, nullptr) == QX_ERR_WRITE_FILE);
    QX_CloseFile(handle);
}

TEST_CASE("open: unknown permission modes and missing pointers are refused before anything is opened") {
    TempDir dir;
    std::wstring path = dir / L"never";
    void *handle = nullptr;
    for (int perm : {0, 448, 0x7FF, -2}) {
        CAPTURE(perm);
        CHECK(QX_OpenFile(path.c_str(), 0x0E, 0, perm, &handle) == QX_ERR_NOT_SUPPORTED);
    }
    CHECK_FALSE(zxtest::FileExists(path));
    CHECK(QX_OpenFile(L"\\\\?\\no\\such\\<path>", 0x0E, 0, QX_PERM_DEFAULT, nullptr) == QX_ERR_INVALID_ARG);
    CHECK(QX_OpenFile(nullptr, 0x0E, 0, QX_PERM_DEFAULT, &handle) == QX_ERR_INVALID_ARG);
    CHECK(QX_OpenFile(L"Z:\\no\\such\\folder\\x", 0x01, 0, QX_PERM_DEFAULT, &handle) == QX_ERR_OPEN_FILE);
}

namespace {

std::vector<BYTE> CurrentUserSid() {
    HANDLE token = nullptr;
    REQUIRE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<BYTE> buffer(size);
    REQUIRE(GetTokenInformation(token, TokenUser, buffer.data(), size, &size));
    CloseHandle(token);
    PSID sid = reinterpret_cast<TOKEN_USER *>(buffer.data())->User.Sid;
    return std::vector<BYTE>(static_cast<BYTE *>(sid), static_cast<BYTE *>(sid) + GetLengthSid(sid));
}

} // namespace

TEST_CASE("open: owner-only mode gives the current user full control and nobody else any access") {
    TempDir dir;
    std::wstring path = dir / L"private.dat";
    void *handle = nullptr;
    REQUIRE(QX_OpenFile(path.c_str(), 0x0E, 0, QX_PERM_OWNER_ONLY, &handle) == QX_OK);
    CHECK(QX_WriteFile(handle, "secret", 6, nullptr, nullptr) == QX_OK);
    QX_CloseFile(handle);

    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    REQUIRE(GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                  &dacl, nullptr, &descriptor) == ERROR_SUCCESS);
    REQUIRE(dacl != nullptr);
    std::vector<BYTE> user = CurrentUserSid();
    BYTE systemSid[SECURITY_MAX_SID_SIZE];
    DWORD systemSize = sizeof systemSid;
    REQUIRE(CreateWellKnownSid(WinLocalSystemSid, nullptr, systemSid, &systemSize));

    bool userHasFullControl = false;
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        ACE_HEADER *header = nullptr;
        REQUIRE(GetAce(dacl, i, reinterpret_cast<void **>(&header)));
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) continue;
        auto *ace = reinterpret_cast<ACCESS_ALLOWED_ACE *>(header);
        PSID sid = &ace->SidStart;
        if (EqualSid(sid, user.data())) {
            userHasFullControl = (ace->Mask & 0x1F01FF) == 0x1F01FF;
        } else if (!EqualSid(sid, systemSid)) {
            LPWSTR text = nullptr;
            ConvertSidToStringSidW(sid, &text);
            CHECK_MESSAGE(ace->Mask == 0, "another account has access: ", zxtest::Narrow(text ? text : L"?"));
            LocalFree(text);
        }
    }
    CHECK(userHasFullControl);
    LocalFree(descriptor);
    // The owner can still use the file.
    CHECK(zxtest::ReadFileBytes(path) == "secret");
}

TEST_CASE("open: the share set decides what a second opener may do") {
    TempDir dir;
    std::wstring path = dir / L"shared";
    zxtest::WriteFileBytes(path, "abc");
    void *first = nullptr, *second = nullptr;

    REQUIRE(QX_OpenFile(path.c_str(), QX_OPEN_READ, 0, QX_PERM_DEFAULT, &first) == QX_OK);
    CHECK(QX_OpenFile(path.c_str(), QX_OPEN_READ, QX_SHARE_READ | QX_SHARE_WRITE, QX_PERM_DEFAULT, &second) ==
          QX_ERR_OPEN_FILE);
    QX_CloseFile(first);

    REQUIRE(QX_OpenFile(path.c_str(), QX_OPEN_READ, QX_SHARE_READ, QX_PERM_DEFAULT, &first) == QX_OK);
    REQUIRE(QX_OpenFile(path.c_str(), QX_OPEN_READ, QX_SHARE_READ, QX_PERM_DEFAULT, &second) == QX_OK);
    QX_CloseFile(second);
    CHECK(QX_OpenFile(path.c_str(), QX_OPEN_WRITE, QX_SHARE_READ, QX_PERM_DEFAULT, &second) ==
          QX_ERR_OPEN_FILE);
    // Deleting is never shared.
    CHECK_FALSE(DeleteFileW(path.c_str()));
    QX_CloseFile(first);

    CHECK(QX_CloseFile(reinterpret_cast<void *>(0x7ff0)) == QX_ERR_CLOSE_FILE);
}
