// Fixed platform queries: the bitness of this build and the operating system's version record.
#include "zx_winsys/qx_net.h"

#include "zx_winsys/internal/lifecycle.h"

namespace {

bool Is(DWORD platform, DWORD major, DWORD minor) {
    const OSVERSIONINFOW &info = CQxWinVersion::s_osVersionInfo;
    return info.dwPlatformId == platform && info.dwMajorVersion == major && info.dwMinorVersion == minor;
}

} // namespace

OSVERSIONINFOW CQxWinVersion::s_osVersionInfo = {sizeof(OSVERSIONINFOW), 0, 0, 0, 0, {0}};

namespace qx {

void ReadWindowsVersion() {
    OSVERSIONINFOW info = {};
    info.dwOSVersionInfoSize = sizeof info;
#if defined(_MSC_VER)
#pragma warning(suppress : 4996) // the record as the system reports it to this program
#endif
    if (GetVersionExW(&info)) CQxWinVersion::s_osVersionInfo = info;
}

} // namespace qx

extern "C" {

bool QX_Is64Bit(void) {
    return sizeof(void *) == 8;
}

bool QX_Is32Bit(void) {
    return !QX_Is64Bit();
}

} // extern "C"

void CQxWinVersion::GetOSVersionInfo(OSVERSIONINFOW &info) {
    info = s_osVersionInfo;
}

bool CQxWinVersion::IsWin95() {
    return Is(VER_PLATFORM_WIN32_WINDOWS, 4, 0);
}

bool CQxWinVersion::IsWin98() {
    return Is(VER_PLATFORM_WIN32_WINDOWS, 4, 10);
}

bool CQxWinVersion::IsWinME() {
    return Is(VER_PLATFORM_WIN32_WINDOWS, 4, 90);
}

bool CQxWinVersion::IsWin35() {
    return Is(VER_PLATFORM_WIN32_NT, 3, 51);
}

bool CQxWinVersion::IsWin40() {
    return Is(VER_PLATFORM_WIN32_NT, 4, 0);
}

bool CQxWinVersion::IsWin2k() {
    return Is(VER_PLATFORM_WIN32_NT, 5, 0);
}

bool CQxWinVersion::IsWinXP() {
    return Is(VER_PLATFORM_WIN32_NT, 5, 1);
}

bool CQxWinVersion::IsWinNT() {
    return s_osVersionInfo.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

CQxWinVersion &CQxWinVersion::operator=(const CQxWinVersion &) {
    return *this;
}
