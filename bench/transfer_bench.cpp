// Settings transfer on a synthetic store: 100 users x 19 elements (tree and text forms of about
// 64 KiB) and a registry branch of 1,000 values per user. Times export, delete and import, and a
// plain CopyFileW of the same files for comparison. Run on demand: transfer_bench.exe
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

void MakeRegistry(const std::wstring &user) {
    HKEY key = nullptr;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE,
                    (L"SOFTWARE\\Varnholt\\Platform\\" + user + L"\\Platform.INI").c_str(), 0, nullptr, 0,
                    KEY_ALL_ACCESS, nullptr, &key, nullptr);
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
        MakeRegistry(user);
        options.users.emplace_back(user.c_str());
    }
    const std::wstring package = base + L"\\settings.bin";
    options.outputFile = package.c_str();
    options.inputFile = package.c_str();

    bench::Stopwatch watch;
    CopyTree(root, base + L"\\copy");
    const double copy = watch.Seconds();

    watch.Restart();
    int exported = sx::ExportSettings(options);
    const double exportTime = watch.Seconds();

    options.deleteShared = options.deletePrivate = true;
    watch.Restart();
    int deleted = sx::DeleteSettings(options);
    const double deleteTime = watch.Seconds();

    watch.Restart();
    int imported = sx::ImportSettings(options);
    const double importTime = watch.Seconds();

    WIN32_FILE_ATTRIBUTE_DATA info = {};
    GetFileAttributesExW(package.c_str(), GetFileExInfoStandard, &info);
    std::printf("package: %.1f MiB (export %d, delete %d, import %d)\n", info.nFileSizeLow / 1048576.0,
                exported, deleted, imported);
    std::printf("CopyFileW of the store files: %7.2f s\n", copy);
    std::printf("export:                       %7.2f s  (%.2f x the copy)\n", exportTime, exportTime / copy);
    std::printf("delete:                       %7.2f s\n", deleteTime);
    std::printf("import:                       %7.2f s  (%.2f x the copy)\n", importTime, importTime / copy);

    for (int u = 0; u < kUsers; ++u)
        RegDeleteTreeW(HKEY_LOCAL_MACHINE,
                       (L"SOFTWARE\\Varnholt\\Platform\\bench-u" + std::to_wstring(u)).c_str());
    bench::RemoveTree(base);
    return 0;
}
