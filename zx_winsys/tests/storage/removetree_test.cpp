// Recursive removal and the access-rights pair.
#include "testsupport/zxtest.h"
#include "zx_winsys/zx_winsys.h"

using zxtest::TempDir;

namespace {

void ReadOnlyFile(const std::wstring &path) {
    zxtest::WriteFileBytes(path, "r/o");
    REQUIRE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY));
}

std::string Dacl(const std::wstring &path) {
    DWORD needed = 0;
    GetFileSecurityW(path.c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &needed);
    std::string bytes(needed, '\0');
    REQUIRE(GetFileSecurityW(path.c_str(), DACL_SECURITY_INFORMATION, &bytes[0], needed, &needed));
    return bytes;
}

} // namespace

TEST_CASE("remove tree: nested folders with read-only files go entirely") {
    TempDir dir;
    std::wstring root = dir / L"tree";
    REQUIRE(QX_CreateDirectory((root + L"\\a\\b\\c").c_str(), 1, 0) == QX_OK);
    REQUIRE(QX_CreateDirectory((root + L"\\empty").c_str(), 1, 0) == QX_OK);
    ReadOnlyFile(root + L"\\top.txt");
    ReadOnlyFile(root + L"\\a\\mid.txt");
    ReadOnlyFile(root + L"\\a\\b\\c\\deep.txt");
    CHECK(QX_RemoveDirectoryRecursively(root.c_str()) == QX_OK);
    CHECK_FALSE(zxtest::FileExists(root));
}

TEST_CASE("remove tree: a name starting with a dot stays, with its folder, and the call fails") {
    TempDir dir;
    std::wstring root = dir / L"tree";
    REQUIRE(QX_CreateDirectory((root + L"\\keep").c_str(), 1, 0) == QX_OK);
    zxtest::WriteFileBytes(root + L"\\keep\\.hidden", "dot");
    zxtest::WriteFileBytes(root + L"\\keep\\plain.txt", "x");
    zxtest::WriteFileBytes(root + L"\\other.txt", "x");
    CHECK(QX_RemoveDirectoryRecursively(root.c_str()) == QX_ERR_REMOVE_DIRECTORY);
    CHECK(zxtest::ReadFileBytes(root + L"\\keep\\.hidden") == "dot");
    CHECK_FALSE(zxtest::FileExists(root + L"\\keep\\plain.txt"));
}

TEST_CASE("remove tree: a missing folder and an overlong path fail cleanly") {
    TempDir dir;
    CHECK(QX_RemoveDirectoryRecursively((dir / L"missing").c_str()) == QX_ERR_REMOVE_DIRECTORY);
    std::wstring longPath = dir.path() + L"\\" + std::wstring(300, L'x');
    CHECK(QX_RemoveDirectoryRecursively(longPath.c_str()) == QX_ERR_REMOVE_DIRECTORY);
    CHECK(QX_RemoveDirectoryRecursively(nullptr) == QX_ERR_INVALID_ARG);
}

TEST_CASE("access rights: reading is not supported, setting changes nothing") {
    TempDir dir;
    std::wstring path = dir / L"file.txt";
    zxtest::WriteFileBytes(path, "x");
    unsigned int rights = 0xABCD;
    CHECK(QX_GetAccessRights(path.c_str(), &rights) == QX_ERR_NOT_SUPPORTED);
    CHECK(rights == 0xABCD);

    std::string before = Dacl(path);
    CHECK(QX_SetAccessRights(path.c_str(), 0x1F) == QX_ERR_NOT_SUPPORTED);
    CHECK(Dacl(path) == before);
    CHECK(QX_SetAccessRights((dir / L"missing.txt").c_str(), 0x1F) == QX_ERR_ACCESS_RIGHTS);
}

namespace {

// The host path of a Windows path under Wine, or "" elsewhere.
std::wstring UnixPath(const std::wstring &path) {
    FARPROC found = GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name");
    if (!found) return L"";
    char *unix = reinterpret_cast<char *(CDECL *)(const wchar_t *)>(reinterpret_cast<void *>(found))(path.c_str());
    if (!unix) return L"";
    std::string narrow = unix;
    HeapFree(GetProcessHeap(), 0, unix);
    return std::wstring(narrow.begin(), narrow.end());
}

bool IsLink(const std::wstring &path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// Runs a host command (Wine starts Unix programs, but hands out no process handle to wait on)
// and waits up to 10 s until the link at path exists (wanted) or is gone.
bool HostCommand(const std::wstring &command, const std::wstring &path, bool wanted) {
    zxtest::Program host(command);
    for (int i = 0; i < 1000 && IsLink(path) != wanted; ++i)
        Sleep(10);
    return IsLink(path) == wanted;
}

// A symbolic link to a folder, made as the host makes it: Wine shows it as a directory with a
// reparse point, and cannot remove it itself. Removed by the host when the object goes.
class HostLink {
public:
    HostLink(const std::wstring &link, const std::wstring &target) : m_link(link) {
        const std::wstring from = UnixPath(target), to = UnixPath(link);
        m_made = !from.empty() && HostCommand(L"Z:\\bin\\ln -s \"" + from + L"\" \"" + to + L"\"", link, true);
    }
    ~HostLink() {
        if (m_made && IsLink(m_link)) HostCommand(L"Z:\\bin\\rm -f \"" + UnixPath(m_link) + L"\"", m_link, false);
    }
    bool Made() const { return m_made; }

private:
    std::wstring m_link;
    bool m_made = false;
};

} // namespace

TEST_CASE("remove tree: a directory link is never entered, and what it leads to stays") {
    TempDir dir;
    std::wstring root = dir / L"tree", outside = dir / L"outside";
    REQUIRE(QX_CreateDirectory((root + L"\\sub").c_str(), 1, 0) == QX_OK);
    REQUIRE(QX_CreateDirectory(outside.c_str(), 1, 0) == QX_OK);
    zxtest::WriteFileBytes(outside + L"\\keep.txt", "outside");
    zxtest::WriteFileBytes(root + L"\\sub\\inside.txt", "inside");
    HostLink link(root + L"\\sub\\link", outside);
    if (!link.Made()) {
        MESSAGE("no host symbolic links here; the link case is not exercised");
        return;
    }
    const int status = QX_RemoveDirectoryRecursively(root.c_str());
    // The link's target and everything in it stay, whatever happens to the link.
    CHECK(zxtest::ReadFileBytes(outside + L"\\keep.txt") == "outside");
    if (status == QX_OK) {
        CHECK_FALSE(zxtest::FileExists(root));
    } else {
        // Wine 8 cannot remove such a link (RemoveDirectoryW gives 145, DeleteFileW 5).
        CHECK(status == QX_ERR_REMOVE_DIRECTORY);
        CHECK(zxtest::FileExists(root + L"\\sub\\link"));
    }
    // Given the link itself, the call removes at most the link.
    QX_RemoveDirectoryRecursively((root + L"\\sub\\link").c_str());
    CHECK(zxtest::ReadFileBytes(outside + L"\\keep.txt") == "outside");
}
