// Reads a shortcut back for the installer's round trip: prints its target and its working folder,
// one per line. Exit code 1 when the shortcut cannot be read.
#include <windows.h>
#include <shlobj.h>

#include <cstdio>

int wmain(int argc, wchar_t **argv) {
    if (argc != 2 || FAILED(CoInitialize(nullptr))) return 2;
    IShellLinkW *link = nullptr;
    IPersistFile *file = nullptr;
    wchar_t target[MAX_PATH] = L"", folder[MAX_PATH] = L"";
    bool read = SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                           reinterpret_cast<void **>(&link))) &&
                SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void **>(&file))) &&
                SUCCEEDED(file->Load(argv[1], STGM_READ)) &&
                SUCCEEDED(link->GetPath(target, MAX_PATH, nullptr, 0)) &&
                SUCCEEDED(link->GetWorkingDirectory(folder, MAX_PATH));
    if (file) file->Release();
    if (link) link->Release();
    CoUninitialize();
    if (!read) return 1;
    std::printf("%ls\n%ls\n", target, folder);
    return 0;
}
