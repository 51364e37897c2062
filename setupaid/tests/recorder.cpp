// Stands in for the web browser: writes its command line to the file named by SETUPAID_RECORD.
#include <windows.h>

int main() {
    char path[MAX_PATH] = {};
    if (GetEnvironmentVariableA("SETUPAID_RECORD", path, sizeof path) == 0) return 2;
    // Written under another name and then renamed: the test never sees a file half written.
    char part[MAX_PATH + 8] = {};
    lstrcpynA(part, path, MAX_PATH);
    lstrcatA(part, ".part");
    HANDLE file = CreateFileA(part, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    const char *line = GetCommandLineA();
    DWORD written = 0;
    WriteFile(file, line, lstrlenA(line), &written, nullptr);
    CloseHandle(file);
    return MoveFileExA(part, path, MOVEFILE_REPLACE_EXISTING) ? 0 : 1;
}
