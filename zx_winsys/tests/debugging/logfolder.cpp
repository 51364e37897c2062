// The log folder of a test program.
#include "zx_winsys/tests/debugging/logfolder.h"

#include <shlobj.h>

#include <algorithm>

#include "testsupport/zxtest.h"

namespace zxtest_log {

std::wstring LogFolder() {
    wchar_t root[MAX_PATH] = L"";
    SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, root);
    HMODULE self = GetModuleHandleW(nullptr);
    HRSRC found = FindResourceW(self, L"LogFileDir", L"LOGFILEDIR");
    std::wstring name = L"Varnholt\\Platform";
    if (found) {
        const wchar_t *text = static_cast<const wchar_t *>(LockResource(LoadResource(self, found)));
        name.assign(text, wcsnlen(text, SizeofResource(self, found) / sizeof(wchar_t)));
    }
    return std::wstring(root) + L"\\" + name + L"\\Logfiles";
}

void ClearLogFolder() {
    const std::wstring folder = LogFolder();
    SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        const std::wstring name = data.cFileName;
        if (name != L"." && name != L"..") zxtest::RemoveTree(folder + L"\\" + name);
    } while (FindNextFileW(find, &data));
    FindClose(find);
}

std::vector<std::wstring> LogFiles() {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((LogFolder() + L"\\*.log").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(data.cFileName);
        } while (FindNextFileW(find, &data));
        FindClose(find);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string RunTag() {
    static const std::string tag = [] {
        FILETIME created = {}, unused = {};
        GetProcessTimes(GetCurrentProcess(), &created, &unused, &unused, &unused);
        return std::to_string(GetCurrentProcessId()) + "." + std::to_string(created.dwLowDateTime);
    }();
    return tag;
}

std::string ReadAllLogs() {
    std::string all;
    for (const std::wstring &name : LogFiles()) {
        HANDLE file = CreateFileW((LogFolder() + L"\\" + name).c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) continue;
        char buffer[65536];
        DWORD got = 0;
        while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
            all.append(buffer, got);
        CloseHandle(file);
    }
    return all;
}

std::wstring DayName(int daysFromToday, unsigned continuation) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    FILETIME asFile;
    SystemTimeToFileTime(&now, &asFile);
    ULARGE_INTEGER value;
    value.LowPart = asFile.dwLowDateTime;
    value.HighPart = asFile.dwHighDateTime;
    value.QuadPart += static_cast<ULONGLONG>(static_cast<LONGLONG>(daysFromToday) * 864000000000LL);
    asFile.dwLowDateTime = value.LowPart;
    asFile.dwHighDateTime = value.HighPart;
    SYSTEMTIME day;
    FileTimeToSystemTime(&asFile, &day);
    wchar_t name[64];
    if (continuation == 0)
        swprintf(name, 64, L"qxapp_%04u-%02u-%02u.log", day.wYear, day.wMonth, day.wDay);
    else
        swprintf(name, 64, L"qxapp_%04u-%02u-%02u_(%04u).log", day.wYear, day.wMonth, day.wDay, continuation);
    return name;
}

void SetLimits(long long maxMBytes, long long maxDays) {
    HKEY key = zxtest::CreateKey(L"Software\\Varnholt\\Misc\\LogFile");
    if (!key) return;
    const struct {
        const wchar_t *name;
        long long value;
    } limits[] = {{L"MaxLogMBytes", maxMBytes}, {L"MaxLogDays", maxDays}};
    for (const auto &limit : limits) {
        if (limit.value < 0) {
            RegDeleteValueW(key, limit.name);
        } else {
            const DWORD v = static_cast<DWORD>(limit.value);
            RegSetValueExW(key, limit.name, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&v), sizeof v);
        }
    }
    RegCloseKey(key);
}

} // namespace zxtest_log
