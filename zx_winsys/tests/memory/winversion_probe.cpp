// Prints the library's version record and exits with the results of its version tests as bits
// (IsWin95 1, IsWin98 2, IsWinME 4, IsWin35 8, IsWin40 16, IsWin2k 32, IsWinXP 64, IsWinNT 128).
// The platform tests run it under names that Wine gives a version of their own.
#include "zx_winsys/qx_net.h"

#include <cstdio>

int main() {
    OSVERSIONINFOW info = {};
    CQxWinVersion::GetOSVersionInfo(info);
    std::printf("%lu %lu.%lu\n", info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion);
    int bits = 0;
    bits |= CQxWinVersion::IsWin95() ? 1 : 0;
    bits |= CQxWinVersion::IsWin98() ? 2 : 0;
    bits |= CQxWinVersion::IsWinME() ? 4 : 0;
    bits |= CQxWinVersion::IsWin35() ? 8 : 0;
    bits |= CQxWinVersion::IsWin40() ? 16 : 0;
    bits |= CQxWinVersion::IsWin2k() ? 32 : 0;
    bits |= CQxWinVersion::IsWinXP() ? 64 : 0;
    bits |= CQxWinVersion::IsWinNT() ? 128 : 0;
    return bits;
}
