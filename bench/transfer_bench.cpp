// Settings transfer against the system's own primitives in one run, and its memory against the
// package's size. Every export and import runs in a child process of its own that reports its peak
// memory (commit charge and resident set) beside an idle child's. Cases:
//   realistic  100 users x 19 elements of about 64 KiB, 1,000 registry values each
//   files      48 users x 19 elements of 1 MiB (about 900 MiB): export and import against a CopyFileW
//              loop over the same files
//   large      elements of 300 and 2 x 400 MiB, more than a package may hold
//   tiny       packages of 16 and 64 MiB made of empty nodes (one element of millions of nodes)
//   registry   1,000,000 registry values of one user: export and import
//   onekey     100,000 values in one key imported over the same branch, against `reg import`
//   hostile    a file of 1 GiB that is no valid tree
// Run on demand: transfer_bench.exe [CASE...] (all when none is named).
#include <windows.h>
#include <psapi.h>
#include <shlobj.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench/benchutil.h"
#include "settingsxfer/core/elements.h"
#include "settingsxfer/core/store.h"
#include "settingsxfer/core/transfer.h"
#include "zx_gensys/core/treestream.h"
#include "zx_gensys/qx_treefile.h"
#include "zx_gensys/zx_gensys.h"
#include "zx_winsys/zx_winsys.h"

namespace {

const wchar_t kStorage[] = L"ZxBench\\Platform";

std::wstring Base() {
    wchar_t common[MAX_PATH];
    SHGetFolderPathW(nullptr, 35, nullptr, SHGFP_TYPE_CURRENT, common);
    return std::wstring(common) + L"\\ZxBench";
}

void WriteBytes(const std::wstring &path, const void *data, size_t size) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    for (size_t done = 0; done < size;) {
        DWORD put = 0;
        const DWORD chunk = static_cast<DWORD>(size - done < (1u << 28) ? size - done : (1u << 28));
        if (!WriteFile(file, static_cast<const char *>(data) + done, chunk, &put, nullptr) || put == 0) break;
        done += put;
    }
    CloseHandle(file);
}

std::wstring UserKey(const std::wstring &user) {
    return L"SOFTWARE\\Varnholt\\Platform\\" + user + L"\\Platform.INI";
}

// An element of about size bytes: the tree form (one binary value) or the text form.
void MakeElement(const std::wstring &folder, const wchar_t *element, int index, size_t size) {
    if (index % 2 == 0) {
        std::string bytes(size, '\0');
        for (size_t i = 0; i < size; i += 97)
            bytes[i] = static_cast<char>(i + index);
        CQxLiteVariantW w;
        w.SetBinary(bytes.data(), bytes.size(), 3, L"data");
        w.SetInt(index, L"index");
        CQxLiteVariantR tree;
        w.Finalize(tree);
        tree.SaveToFile((folder + L"\\" + element + L".bin").c_str(), true, false);
    } else {
        std::wstring text(size / 2, L'a');
        text[0] = 0xFEFF;
        for (size_t i = 1; i < text.size(); i += 97)
            text[i] = static_cast<wchar_t>(L'A' + (i + index) % 26);
        WriteBytes(folder + L"\\" + element + L".xml", text.data(), text.size() * sizeof(wchar_t));
    }
}

void WriteValues(const std::wstring &keyPath, int count) {
    HKEY key = nullptr;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                    nullptr);
    for (int i = 0; i < count; ++i) {
        const std::wstring name = L"Value" + std::to_wstring(i);
        if (i % 2) {
            DWORD v = static_cast<DWORD>(i);
            RegSetValueExW(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<BYTE *>(&v), sizeof v);
        } else {
            const std::wstring s = L"setting number " + std::to_wstring(i);
            RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE *>(s.c_str()),
                           static_cast<DWORD>((s.size() + 1) * sizeof(wchar_t)));
        }
    }
    RegCloseKey(key);
}

// Copies every file of a tree, as a plain file copy would.
void CopyTree(const std::wstring &from, const std::wstring &to) {
    CreateDirectoryW(to.c_str(), nullptr);
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((from + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        const std::wstring name = data.cFileName;
        if (name == L"." || name == L"..") continue;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            CopyTree(from + L"\\" + name, to + L"\\" + name);
        else
            CopyFileW((from + L"\\" + name).c_str(), (to + L"\\" + name).c_str(), FALSE);
    } while (FindNextFileW(find, &data));
    FindClose(find);
}

unsigned long long FileSize(const std::wstring &path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    return (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// --- the child: one transfer, and what it took ---

int RunChild(int argc, wchar_t **argv) {
    const std::wstring what = argv[2];
    QX_SetStorageFolder(kStorage, 35);
    sx::TransferOptions options;
    options.allUsers = true;
    options.elements = sx::AllElements();
    if (argc > 3) options.outputFile = options.inputFile = argv[3];
    const int users = argc > 4 ? _wtoi(argv[4]) : 0;
    for (int u = 0; u < users; ++u)
        options.users.emplace_back((L"bench-u" + std::to_wstring(u)).c_str());
    bench::Stopwatch watch;
    sx::TransferReport report;
    int result = 0;
    if (what == L"hog") { // calibration: the measure sees 256 MiB held
        static std::vector<char> held(256u << 20, 1);
        result = held[12345];
    }
    if (what == L"export") result = sx::ExportSettings(options, &report);
    if (what == L"import") result = sx::ImportSettings(options, &report);
    if (what == L"delete") {
        options.deleteShared = options.deletePrivate = true;
        result = sx::DeleteSettings(options, &report);
    }
    const double seconds = watch.Seconds();
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    std::printf("%d %.3f %.1f %.1f %d\n", result, seconds, counters.PeakPagefileUsage / 1048576.0,
                counters.PeakWorkingSetSize / 1048576.0, report.failedElements);
    return 0;
}

struct Measured {
    int result = -99;
    double seconds = 0;
    double peakCommit = 0, peakResident = 0;
    int failed = 0;
};

Measured Child(const std::wstring &what, const std::wstring &package = L"", int users = 0) {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::wstring output = Base() + L"\\child.txt";
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE out =
        CreateFileW(output.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
    std::wstring line =
        L"\"" + std::wstring(self) + L"\" --run " + what + L" \"" + package + L"\" " + std::to_wstring(users);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = out;
    startup.hStdError = out;
    PROCESS_INFORMATION info = {};
    Measured m;
    if (CreateProcessW(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &info)) {
        WaitForSingleObject(info.hProcess, INFINITE);
        CloseHandle(info.hThread);
        CloseHandle(info.hProcess);
    }
    CloseHandle(out);
    if (FILE *f = _wfopen(output.c_str(), L"r")) {
        if (std::fscanf(f, "%d %lf %lf %lf %d", &m.result, &m.seconds, &m.peakCommit, &m.peakResident,
                        &m.failed) != 5)
            m.result = -99;
        std::fclose(f);
    }
    return m;
}

void Report(const char *what, const Measured &m, const Measured &idle, unsigned long long package,
            unsigned long long largest) {
    std::printf("  %-34s result %3d  %7.2f s  peak commit %7.1f MiB (idle %5.1f)  peak resident %7.1f MiB "
                "(idle %5.1f)  package %8.1f MiB  goal <= %.0f MiB%s\n",
                what, m.result, m.seconds, m.peakCommit, idle.peakCommit, m.peakResident, idle.peakResident,
                package / 1048576.0, (64.0 + 2.0 * largest / 1048576.0) + idle.peakCommit,
                m.failed ? "  (items failed)" : "");
}

// --- the cases ---

void RemoveBenchKeys() {
    for (int u = 0; u < 100; ++u)
        RegDeleteTreeW(HKEY_LOCAL_MACHINE,
                       (L"SOFTWARE\\Varnholt\\Platform\\bench-u" + std::to_wstring(u)).c_str());
}

void Reset() {
    bench::RemoveTree(Base());
    QX_SetStorageFolder(kStorage, 35);
    QX_CreateDirectory(sx::SharedRoot().GetString(), 1, 0);
    RemoveBenchKeys();
}

void Store(int users, size_t elementSize, int values) {
    Reset();
    const std::wstring root = sx::SharedRoot().GetString();
    for (int u = 0; u < users; ++u) {
        const std::wstring user = L"bench-u" + std::to_wstring(u);
        const std::wstring folder = root + L"\\" + user;
        CreateDirectoryW(folder.c_str(), nullptr);
        for (int e = 0; e < sx::kElementCount; ++e)
            if (std::wstring(sx::kElements[e].name) != L"Registry")
                MakeElement(folder, sx::kElements[e].name, u + e, elementSize);
        if (values) WriteValues(UserKey(user), values);
    }
}

void CaseStore(const char *title, int users, size_t elementSize, int values, const Measured &idle) {
    std::printf("%s\n", title);
    Store(users, elementSize, values);
    const std::wstring root = sx::SharedRoot().GetString();
    const std::wstring package = Base() + L"\\settings.bin";
    bench::Stopwatch watch;
    CopyTree(root, Base() + L"\\copy");
    const double copy = watch.Seconds();
    bench::RemoveTree(Base() + L"\\copy");
    const Measured exported = Child(L"export", package, users);
    const Measured deleted = Child(L"delete", package, users);
    const Measured imported = Child(L"import", package, users);
    const unsigned long long size = FileSize(package);
    Report("export", exported, idle, size, elementSize);
    Report("delete", deleted, idle, size, elementSize);
    Report("import", imported, idle, size, elementSize);
    std::printf("  CopyFileW of the store's files  %7.2f s: export %.2f x, import %.2f x\n", copy,
                exported.seconds / copy, imported.seconds / copy);
}

// A package whose shared Devices holds count empty nodes.
void TinyPackage(const std::wstring &path, uint64_t count) {
    gensysw::ReplacingFile file;
    file.Create(path.c_str());
    gensys::TreeWriter w(file);
    w.Begin();
    w.BeginLevel(u"Settings");
    w.BeginLevel(u"shared");
    w.BeginLevel(u"Devices");
    w.BeginLevel(u"content");
    std::string nodes(5 * 65536, '\0'); // an empty node with an empty name is five zero bytes
    for (uint64_t done = 0; done < count; done += 65536)
        w.RawNodes(nodes.data(), nodes.size(), 65536);
    uint64_t size = 0;
    w.Finish(&size);
    file.Commit();
}

// Elements of hundreds of MiB, more than a package may hold: a text element of 300 MiB goes in, one
// of two tree elements of 400 MiB does not fit and is refused before it is read.
void CaseLarge(const Measured &idle) {
    std::printf("elements of 300 and 2 x 400 MiB (more than a package holds)\n");
    Reset();
    const std::wstring root = sx::SharedRoot().GetString();
    MakeElement(root, L"Layouts", 1, 300u << 20);
    MakeElement(root, L"Devices", 0, 400u << 20);
    MakeElement(root, L"Objectives", 2, 400u << 20);
    const std::wstring package = Base() + L"\\large.bin";
    const Measured exported = Child(L"export", package, 0);
    RemoveBenchKeys();
    const Measured imported = Child(L"import", package, 0);
    Report("export (-10: one element left out)", exported, idle, FileSize(package), 400u << 20);
    Report("import", imported, idle, FileSize(package), 400u << 20);
}

void CaseTiny(const Measured &idle) {
    std::printf("packages of empty nodes, imported\n");
    for (int mib : {16, 64}) {
        Reset();
        const std::wstring package = Base() + L"\\tiny.bin";
        TinyPackage(package, uint64_t(mib) * 1048576 / 5);
        const Measured imported = Child(L"import", package, 0);
        Report((std::to_string(mib) + " MiB of empty nodes").c_str(), imported, idle, FileSize(package),
               FileSize(package));
    }
}

void CaseRegistry(const Measured &idle) {
    std::printf("1,000,000 registry values of one user\n");
    Reset();
    for (int k = 0; k < 10; ++k)
        WriteValues(UserKey(L"bench-u0") + L"\\Key" + std::to_wstring(k), 100000);
    CreateDirectoryW((std::wstring(sx::SharedRoot().GetString()) + L"\\bench-u0").c_str(), nullptr);
    const std::wstring package = Base() + L"\\registry.bin";
    const Measured exported = Child(L"export", package, 1);
    RemoveBenchKeys();
    const Measured imported = Child(L"import", package, 1);
    Report("export", exported, idle, FileSize(package), FileSize(package));
    Report("import into an empty branch", imported, idle, FileSize(package), FileSize(package));
}

void CaseOneKey(const Measured &idle) {
    std::printf("100,000 values in one key, imported over the same branch\n");
    Reset();
    WriteValues(UserKey(L"bench-u0"), 100000);
    CreateDirectoryW((std::wstring(sx::SharedRoot().GetString()) + L"\\bench-u0").c_str(), nullptr);
    const std::wstring package = Base() + L"\\onekey.bin";
    Child(L"export", package, 1);
    const Measured imported = Child(L"import", package, 1);
    // The same values as a .reg file for the system's own import.
    const std::wstring reg = Base() + L"\\onekey.reg";
    std::wstring text = L"\xFEFFWindows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\" +
                        UserKey(L"bench-u0") + L"]\r\n";
    for (int i = 0; i < 100000; ++i) {
        wchar_t line[96];
        if (i % 2)
            swprintf(line, 96, L"\"Value%d\"=dword:%08x\r\n", i, i);
        else
            swprintf(line, 96, L"\"Value%d\"=\"setting number %d\"\r\n", i, i);
        text += line;
    }
    WriteBytes(reg, text.data(), text.size() * sizeof(wchar_t));
    std::wstring command = L"reg.exe import \"" + reg + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    bench::Stopwatch watch;
    if (CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
        WaitForSingleObject(info.hProcess, INFINITE);
        CloseHandle(info.hThread);
        CloseHandle(info.hProcess);
    }
    const double system = watch.Seconds();
    Report("import over the branch", imported, idle, FileSize(package), FileSize(package));
    std::printf("  reg import of the same values      %7.2f s: import %.2f x\n", system,
                imported.seconds / system);
}

void CaseHostile(const Measured &idle) {
    std::printf("a file of 1 GiB that is no valid tree\n");
    Reset();
    const std::wstring package = Base() + L"\\hostile.bin";
    HANDLE file = CreateFileW(package.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    unsigned char header[16] = {'Q', 'X', 'T', 'R', 1, 0, 0, 0};
    const uint32_t length = (1u << 30) - 16;
    std::string block(1 << 20, '\x01'); // levels that claim children on and on, with a true checksum
    uint32_t crc = 0;
    for (int i = 0; i < 1023; ++i)
        crc = gensys::Crc32Update(crc, reinterpret_cast<const unsigned char *>(block.data()), block.size());
    crc = gensys::Crc32Update(crc, reinterpret_cast<const unsigned char *>(block.data()), block.size() - 16);
    for (int i = 0; i < 4; ++i) {
        header[8 + i] = static_cast<unsigned char>(length >> (8 * i));
        header[12 + i] = static_cast<unsigned char>(crc >> (8 * i));
    }
    DWORD put = 0;
    WriteFile(file, header, sizeof header, &put, nullptr);
    for (int i = 0; i < 1023; ++i)
        WriteFile(file, block.data(), static_cast<DWORD>(block.size()), &put, nullptr);
    WriteFile(file, block.data(), static_cast<DWORD>(block.size() - 16), &put, nullptr);
    CloseHandle(file);
    Report("import (refused: -9)", Child(L"import", package, 0), idle, FileSize(package), 0);
}

bool Wanted(int argc, wchar_t **argv, const wchar_t *name) {
    if (argc < 2) return true;
    for (int i = 1; i < argc; ++i)
        if (wcscmp(argv[i], name) == 0) return true;
    return false;
}

} // namespace

int wmain(int argc, wchar_t **argv) {
    if (argc > 2 && wcscmp(argv[1], L"--run") == 0) return RunChild(argc, argv);
    Reset();
    const Measured idle = Child(L"idle");
    std::printf("an idle child: peak commit %.1f MiB, peak resident %.1f MiB\n", idle.peakCommit,
                idle.peakResident);
    const Measured hog = Child(L"hog");
    std::printf("a child holding 256 MiB: peak commit %.1f MiB, peak resident %.1f MiB\n", hog.peakCommit,
                hog.peakResident);
    if (Wanted(argc, argv, L"realistic"))
        CaseStore("100 users x 19 elements of 64 KiB, 1,000 registry values each", 100, 64 * 1024, 1000,
                  idle);
    if (Wanted(argc, argv, L"elements"))
        CaseStore("100 users x 19 elements of 64 KiB, no registry", 100, 64 * 1024, 0, idle);
    if (Wanted(argc, argv, L"files")) CaseStore("48 users x 19 elements of 1 MiB", 48, 1 << 20, 0, idle);
    if (Wanted(argc, argv, L"large")) CaseLarge(idle);
    if (Wanted(argc, argv, L"tiny")) CaseTiny(idle);
    if (Wanted(argc, argv, L"registry")) CaseRegistry(idle);
    if (Wanted(argc, argv, L"onekey")) CaseOneKey(idle);
    if (Wanted(argc, argv, L"hostile")) CaseHostile(idle);
    Reset();
    bench::RemoveTree(Base());
    return 0;
}
