// Settings transfer on a synthetic store: 100 users x 19 elements (tree and text forms of about
// 64 KiB) and a registry branch of 1,000 values per user. Times export, delete and import against
// what the system's own primitives take for the same work in the same run: CopyFileW of the
// store's files, a raw RegEnumValueW / RegSetValueExW loop over the same values, and WriteFile /
// ReadFile of the package's bytes. Run on demand: transfer_bench.exe
#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <string>
#include <vector>

#include "settingsxfer/core/elements.h"
#include "settingsxfer/core/store.h"
#include "settingsxfer/core/transfer.h"
#include "zx_gensys/zx_gensys.h"
#include "bench/benchutil.h"
#include "zx_winsys/zx_winsys.h"

namespace {

const int kUsers = 100;
const int kValuesPerUser = 1000;

void WriteBytes(const std::wstring &path, const void *data, size_t size) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD put = 0;
    WriteFile(file, data, static_cast<DWORD>(size), &put, nullptr);
    CloseHandle(file);
}

void MakeElement(const std::wstring &folder, const wchar_t *element, int index) {
    std::wstring text(32 * 1024 - 1, L'a');
    for (size_t i = 0; i < text.size(); i += 97)
        text[i] = static_cast<wchar_t>(L'A' + (i + index) % 26);
    if (index % 2 == 0) {
        CQxLiteVariantW w;
        for (int g = 0; g < 4; ++g) {
            w.LevelBegin((L"group" + std::to_wstring(g)).c_str());
            w.Set(text.substr(0, text.size() / 4).c_str(), L"data");
            w.SetInt(g, L"index");
            w.LevelEnd();
        }
        CQxLiteVariantR tree;
        w.Finalize(tree);
        tree.SaveToFile((folder + L"\\" + element + L".bin").c_str(), true, false);
    } else {
        text[0] = 0xFEFF;
        WriteBytes(folder + L"\\" + element + L".xml", text.data(), text.size() * sizeof(wchar_t));
    }
}

std::wstring UserKey(const std::wstring &user) {
    return L"SOFTWARE\\Varnholt\\Platform\\" + user + L"\\Platform.INI";
}

// Writes the user's 1,000 values into keyPath, with one key handle, as a bare RegSetValueExW loop
// would.
void WriteValues(const std::wstring &keyPath) {
    HKEY key = nullptr;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                    nullptr);
    for (int i = 0; i < kValuesPerUser; ++i) {
        std::wstring name = L"Value" + std::to_wstring(i);
        if (i % 2) {
            DWORD v = static_cast<DWORD>(i);
            RegSetValueExW(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<BYTE *>(&v), sizeof v);
        } else {
            std::wstring s = L"setting number " + std::to_wstring(i);
            RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE *>(s.c_str()),
                           static_cast<DWORD>((s.size() + 1) * sizeof(wchar_t)));
        }
    }
    RegCloseKey(key);
}

// Reads every value of every user's branch, as a bare enumeration loop would.
void ReadRegistryRaw(const std::vector<std::wstring> &users) {
    std::vector<wchar_t> name(16384);
    std::vector<BYTE> data(65536);
    for (const std::wstring &user : users) {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, UserKey(user).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
            continue;
        for (DWORD i = 0;; ++i) {
            DWORD nameLength = static_cast<DWORD>(name.size()), dataLength = static_cast<DWORD>(data.size()),
                  type;
            if (RegEnumValueW(key, i, name.data(), &nameLength, nullptr, &type, data.data(), &dataLength) !=
                ERROR_SUCCESS)
                break;
        }
        RegCloseKey(key);
    }
}

// The same values written into a scratch branch per user.
void WriteRegistryRaw(const std::vector<std::wstring> &users) {
    for (size_t u = 0; u < users.size(); ++u)
        WriteValues(UserKey(L"bench-raw" + std::to_wstring(u)));
}

std::string ReadBytes(const std::wstring &path) {
    HANDLE file =
        CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    LARGE_INTEGER size = {};
    GetFileSizeEx(file, &size);
    std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
    DWORD got = 0;
    ReadFile(file, &bytes[0], static_cast<DWORD>(bytes.size()), &got, nullptr);
    CloseHandle(file);
    return bytes;
}

// Copies every file of the store tree, as a plain file copy would.
void CopyTree(const std::wstring &from, const std::wstring &to) {
    CreateDirectoryW(to.c_str(), nullptr);
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((from + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        std::wstring name = data.cFileName;
        if (name == L"." || name == L"..") continue;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            CopyTree(from + L"\\" + name, to + L"\\" + name);
        else
            CopyFileW((from + L"\\" + name).c_str(), (to + L"\\" + name).c_str(), FALSE);
    } while (FindNextFileW(find, &data));
    FindClose(find);
}

} // namespace

int wmain() {
    QX_SetStorageFolder(L"ZxBench\\Platform", 35);
    const std::wstring root = sx::SharedRoot().GetString();
    wchar_t common[MAX_PATH];
    SHGetFolderPathW(nullptr, 35, nullptr, SHGFP_TYPE_CURRENT, common);
    const std::wstring base = std::wstring(common) + L"\\ZxBench";
    bench::RemoveTree(base);
    QX_CreateDirectory(root.c_str(), 1, 0);

    std::printf("building %d users x %d elements and %d registry values each...\n", kUsers, sx::kElementCount,
                kValuesPerUser);
    sx::TransferOptions options;
    options.allUsers = true;
    options.elements = sx::AllElements();
    for (int u = 0; u < kUsers; ++u) {
        const std::wstring user = L"bench-u" + std::to_wstring(u);
        const std::wstring folder = root + L"\\" + user;
        CreateDirectoryW(folder.c_str(), nullptr);
        for (int e = 0; e < sx::kElementCount; ++e)
            if (std::wstring(sx::kElements[e].name) != L"Registry")
                MakeElement(folder, sx::kElements[e].name, u + e);
        WriteValues(UserKey(user));
        options.users.emplace_back(user.c_str());
    }
    const std::wstring package = base + L"\\settings.bin";
    options.outputFile = package.c_str();
    options.inputFile = package.c_str();

    std::vector<std::wstring> users;
    for (const CQxStringW &user : options.users)
        users.emplace_back(user.GetString());

    bench::Stopwatch watch;
    CopyTree(root, base + L"\\copy");
    const double copy = watch.Seconds();

    watch.Restart();
    ReadRegistryRaw(users);
    const double registryRead = watch.Seconds();

    watch.Restart();
    WriteRegistryRaw(users);
    const double registryWrite = watch.Seconds();

    watch.Restart();
    int exported = sx::ExportSettings(options);
    const double exportTime = watch.Seconds();

    // The package's own bytes, read and written back raw.
    watch.Restart();
    const std::string bytes = ReadBytes(package);
    const double packageRead = watch.Seconds();
    watch.Restart();
    WriteBytes(base + L"\\raw.bin", bytes.data(), bytes.size());
    const double packageWrite = watch.Seconds();

    options.deleteShared = options.deletePrivate = true;
    watch.Restart();
    int deleted = sx::DeleteSettings(options);
    const double deleteTime = watch.Seconds();

    watch.Restart();
    int imported = sx::ImportSettings(options);
    const double importTime = watch.Seconds();

    const double exportRaw = copy + registryRead + packageWrite;
    const double importRaw = copy + registryWrite + packageRead;
    std::printf("package: %.1f MiB (export %d, delete %d, import %d)\n", bytes.size() / 1048576.0, exported,
                deleted, imported);
    std::printf("CopyFileW of the store files:  %7.2f s\n", copy);
    std::printf("RegEnumValueW loop:            %7.2f s\n", registryRead);
    std::printf("RegSetValueExW loop:           %7.2f s\n", registryWrite);
    std::printf("WriteFile of the package:      %7.2f s\n", packageWrite);
    std::printf("ReadFile of the package:       %7.2f s\n", packageRead);
    std::printf("export:                        %7.2f s  (%.2f x copy + registry read + package write)\n",
                exportTime, exportTime / exportRaw);
    std::printf("delete:                        %7.2f s\n", deleteTime);
    std::printf("import:                        %7.2f s  (%.2f x copy + registry write + package read)\n",
                importTime, importTime / importRaw);

    for (int u = 0; u < kUsers; ++u) {
        RegDeleteTreeW(HKEY_LOCAL_MACHINE,
                       (L"SOFTWARE\\Varnholt\\Platform\\bench-u" + std::to_wstring(u)).c_str());
        RegDeleteTreeW(HKEY_LOCAL_MACHINE,
                       (L"SOFTWARE\\Varnholt\\Platform\\bench-raw" + std::to_wstring(u)).c_str());
    }
    bench::RemoveTree(base);
    return 0;
}
