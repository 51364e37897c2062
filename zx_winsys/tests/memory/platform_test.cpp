// Bitness, the version record and its tests, and the memory figures of the running machine.
// The socket header comes before windows.h, which would bring in the old one.
#include "zx_winsys/qx_net.h"

#include "testsupport/zxtest.h"

#include <string>

namespace {

// A copy of the version probe under a name of its own, which Wine runs as the given version.
class ProbeAs {
public:
    explicit ProbeAs(const wchar_t *version) {
        const std::wstring name =
            std::wstring(L"zx_winversion_") + (QX_Is64Bit() ? L"x64_" : L"x86_") + version + L".exe";
        m_path = zxtest::SelfFolder() + L"\\" + name;
        m_key = L"Software\\Wine\\AppDefaults\\" + name;
        REQUIRE(CopyFileW(zxtest::Beside(L"zx_winversion_probe.exe").c_str(), m_path.c_str(), FALSE));
        HKEY key = nullptr;
        REQUIRE(RegCreateKeyExW(HKEY_CURRENT_USER, m_key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                                nullptr) == ERROR_SUCCESS);
        const DWORD bytes = static_cast<DWORD>((wcslen(version) + 1) * sizeof(wchar_t));
        RegSetValueExW(key, L"Version", 0, REG_SZ, reinterpret_cast<const BYTE *>(version), bytes);
        RegCloseKey(key);
    }
    ~ProbeAs() {
        DeleteFileW(m_path.c_str());
        RegDeleteKeyW(HKEY_CURRENT_USER, m_key.c_str());
    }
    DWORD Run() const {
        zxtest::Program probe(L"\"" + m_path + L"\"");
        return probe.WaitForExit();
    }

private:
    std::wstring m_path, m_key;
};

} // namespace

TEST_CASE("platform: the bitness of this build") {
    CHECK(QX_Is64Bit() == (sizeof(void *) == 8));
    CHECK(QX_Is32Bit() == !QX_Is64Bit());
}

TEST_CASE("platform: the version record is the system's, and a current system is only NT") {
    OSVERSIONINFOW system = {};
    system.dwOSVersionInfoSize = sizeof system;
    REQUIRE(GetVersionExW(&system));
    OSVERSIONINFOW copy = {};
    CQxWinVersion::GetOSVersionInfo(copy);
    CHECK(copy.dwOSVersionInfoSize == sizeof(OSVERSIONINFOW));
    CHECK(copy.dwPlatformId == system.dwPlatformId);
    CHECK(copy.dwMajorVersion == system.dwMajorVersion);
    CHECK(copy.dwMinorVersion == system.dwMinorVersion);
    CHECK(copy.dwBuildNumber == system.dwBuildNumber);
    CHECK(std::wstring(copy.szCSDVersion) == system.szCSDVersion);
    REQUIRE(copy.dwMajorVersion >= 6);
    CHECK(CQxWinVersion::IsWinNT());
    CHECK_FALSE(CQxWinVersion::IsWin95());
    CHECK_FALSE(CQxWinVersion::IsWin98());
    CHECK_FALSE(CQxWinVersion::IsWinME());
    CHECK_FALSE(CQxWinVersion::IsWin35());
    CHECK_FALSE(CQxWinVersion::IsWin40());
    CHECK_FALSE(CQxWinVersion::IsWin2k());
    CHECK_FALSE(CQxWinVersion::IsWinXP());

    // Assignment changes nothing.
    CQxWinVersion a, b;
    a = b;
    CQxWinVersion::GetOSVersionInfo(copy);
    CHECK(copy.dwMajorVersion == system.dwMajorVersion);
}

TEST_CASE("platform: each version test holds for its own system, and only there") {
    const struct {
        const wchar_t *version;
        DWORD bits;
    } cases[] = {{L"win95", 1},       {L"win98", 2},        {L"winme", 4},        {L"nt351", 8 | 128},
                 {L"nt40", 16 | 128}, {L"win2k", 32 | 128}, {L"winxp", 64 | 128}, {L"win7", 128}};
    for (const auto &c : cases) {
        CAPTURE(zxtest::Narrow(c.version));
        ProbeAs probe(c.version);
        CHECK(probe.Run() == c.bits);
    }
}

TEST_CASE("memory: the machine's figures, into the pointers given") {
    uint64_t figures[6] = {};
    CHECK(QX_GetMemoryStatus(&figures[0], &figures[1], &figures[2], &figures[3], &figures[4], &figures[5]) ==
          0);
    MEMORYSTATUSEX status = {};
    status.dwLength = sizeof status;
    REQUIRE(GlobalMemoryStatusEx(&status));
    CHECK(figures[0] == status.ullTotalPhys);
    CHECK(figures[2] == status.ullTotalVirtual);
    CHECK(figures[4] == status.ullTotalPageFile);
    CHECK(figures[1] <= figures[0]);
    CHECK(figures[3] <= figures[2]);
    CHECK(figures[5] <= figures[4]);
    uint64_t total = 0;
    CHECK(QX_GetMemoryStatus(nullptr, nullptr, &total, nullptr, nullptr, nullptr) == 0);
    CHECK(total == figures[2]);
    CHECK(QX_GetMemoryStatus(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr) == 0);
}

TEST_CASE("memory: a small document fits this test process; one above 1 000 000 000 bytes never does") {
    uint64_t excess = 77;
    CHECK_FALSE(QX_CheckSingleDocumentSizeOverflow(1000000, &excess, false));
    CHECK(excess == 77);
    CHECK(QX_CheckSingleDocumentSizeOverflow(1000000001, &excess, true));
    CHECK(excess == 0);
}
