// A program without a "LogFileDir" resource, for the log folder tests:
//   zx_logfile_probe load OUT   loads the library and does nothing else
//   zx_logfile_probe log OUT    logs one line and writes the log file's path to OUT (UTF-16)
#include <windows.h>

#include <cstring>
#include <cwchar>

#include "zx_winsys/zx_winsys.h"

int wmain(int argc, wchar_t **argv) {
    if (argc != 3) return 2;
    if (wcscmp(argv[1], L"load") == 0) return 0;
    if (QX_Log(L"probe\r\n") != QX_OK) return 3;
    const wchar_t *name = CQxLogFile::GetLogFilename();
    if (!name) return 4;
    HANDLE out = CreateFileW(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (out == INVALID_HANDLE_VALUE) return 5;
    DWORD written = 0;
    WriteFile(out, name, static_cast<DWORD>(wcslen(name) * sizeof(wchar_t)), &written, nullptr);
    CloseHandle(out);
    return 0;
}
