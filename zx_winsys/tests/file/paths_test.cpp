// File, directory and storage calls beside the system calls they wrap, on paths users bring: a
// drive letter leads into a fresh folder, so that a call that climbs to a root can only empty that.
#include <algorithm>
#include <functional>

#include "testsupport/zxtest.h"
#include "zx_winsys/zx_winsys.h"

namespace {

using Call = std::function<int(const std::wstring &root)>;

const wchar_t kUnchanged[] = L"(unchanged)";

struct Row {
    const char *what;
    std::wstring setup; // "a.txt=1|sub\\|sub\\b.txt=2": files with their bytes, folders ending in "\"
    const wchar_t *cwd; // the current folder, below the drive's root, or null
    Call qx;
    Call system; // the plain call on the same path, or null
    int status;
    const wchar_t *after; // what is left: null as the system call left it, or kUnchanged
};

class Drive {
public:
    Drive() : m_drive(m_dir.path()) {}
    const std::wstring &Root() const { return m_drive.Root(); }

    void Setup(const std::wstring &setup) {
        CreateDirectoryW(m_dir.path().c_str(), nullptr); // a call that removed the drive's root took it
        WIN32_FIND_DATAW data;
        HANDLE find = FindFirstFileW(Literal(L"*").c_str(), &data);
        REQUIRE(find != INVALID_HANDLE_VALUE);
        do {
            if (wcscmp(data.cFileName, L".") && wcscmp(data.cFileName, L"..") &&
                wcsncmp(data.cFileName, L"zx-drive-", 9))
                zxtest::RemoveTree(Literal(data.cFileName));
        } while (FindNextFileW(find, &data));
        FindClose(find);
        for (const std::wstring &entry : Entries(setup)) {
            const size_t equals = entry.find(L'=');
            if (equals == std::wstring::npos)
                REQUIRE(CreateDirectoryW(Literal(entry).c_str(), nullptr));
            else
                zxtest::WriteFileBytes(Literal(entry.substr(0, equals)),
                                       zxtest::Narrow(entry.substr(equals + 1)));
        }
    }

    // Every name under the folder as it is spelt, sorted: "name=bytes" for a file, "name\" for a folder.
    std::wstring Listing(const std::wstring &below = L"") const {
        std::vector<std::wstring> names;
        WIN32_FIND_DATAW data;
        HANDLE find = FindFirstFileW((Literal(below) + L"*").c_str(), &data);
        if (find != INVALID_HANDLE_VALUE) {
            do {
                const std::wstring name = below + data.cFileName;
                if (!wcscmp(data.cFileName, L".") || !wcscmp(data.cFileName, L"..") ||
                    !wcsncmp(data.cFileName, L"zx-drive-", 9))
                    continue;
                if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                    names.push_back(name + L"\\");
                    const std::wstring inner = Listing(name + L"\\");
                    if (!inner.empty()) names.push_back(inner);
                } else {
                    const std::string bytes = zxtest::ReadFileBytes(Literal(name));
                    names.push_back(name + L"=" + std::wstring(bytes.begin(), bytes.end()));
                }
            } while (FindNextFileW(find, &data));
            FindClose(find);
        }
        std::sort(names.begin(), names.end());
        std::wstring out;
        for (const std::wstring &name : names)
            out += (out.empty() ? L"" : L"|") + name;
        return out;
    }

private:
    static std::vector<std::wstring> Entries(const std::wstring &list) {
        std::vector<std::wstring> entries;
        for (size_t at = 0; at < list.size();) {
            size_t end = list.find(L'|', at);
            if (end == std::wstring::npos) end = list.size();
            if (end > at) entries.push_back(list.substr(at, end - at));
            at = end + 1;
        }
        return entries;
    }
    std::wstring Literal(const std::wstring &name) const { return L"\\\\?\\" + m_dir.path() + L"\\" + name; }

    zxtest::TempDir m_dir;
    zxtest::MappedDrive m_drive;
};

// Sets a variable of the environment for the scope, as a user's session would have it.
class Variable {
public:
    Variable(const wchar_t *name, const std::wstring &value) : m_name(name) {
        wchar_t old[MAX_PATH * 2];
        const DWORD n = GetEnvironmentVariableW(name, old, MAX_PATH * 2);
        m_had = n > 0 && n < MAX_PATH * 2;
        if (m_had) m_old = old;
        SetEnvironmentVariableW(name, value.c_str());
    }
    ~Variable() { SetEnvironmentVariableW(m_name, m_had ? m_old.c_str() : nullptr); }

private:
    const wchar_t *m_name;
    std::wstring m_old;
    bool m_had = false;
};

int Boolean(BOOL ok) {
    return ok ? 0 : -1;
}

int TempName(const wchar_t *folder, int length) {
    std::vector<wchar_t> name(MAX_PATH + 1, L'#');
    const int status = QX_GetTempFileName(folder, L"t$$", 1, name.data(), length);
    const bool cut = status != QX_OK && name[0] != L'\0' && name[0] != L'#';
    if (cut || name[length] != L'#') return 1; // a cut name handed back, or a write past the buffer
    return status;
}

const std::wstring kLong(250, L'l');

const Row kRows[] = {
    // Removal of a tree never climbs to a root or into the system's and the user's folders.
    {"remove tree \"\" from inside the drive", L"a.txt=1|sub\\", L"sub",
     [](const std::wstring &) { return QX_RemoveDirectoryRecursively(L""); },
     [](const std::wstring &) { return Boolean(RemoveDirectoryW(L"")); }, QX_ERR_INVALID_ARG, kUnchanged},
    {"remove tree of the bare drive", L"a.txt=1|sub\\", L"sub",
     [](const std::wstring &r) { return QX_RemoveDirectoryRecursively(r.substr(0, 2).c_str()); },
     [](const std::wstring &r) { return Boolean(RemoveDirectoryW(r.substr(0, 2).c_str())); },
     QX_ERR_INVALID_ARG, kUnchanged},
    {"remove tree of the drive's root", L"a.txt=1|sub\\", nullptr,
     [](const std::wstring &r) { return QX_RemoveDirectoryRecursively(r.c_str()); }, nullptr,
     QX_ERR_INVALID_ARG, kUnchanged},
    {"remove tree of \"\\\" with the drive current", L"a.txt=1|sub\\", L"sub",
     [](const std::wstring &) { return QX_RemoveDirectoryRecursively(L"\\"); }, nullptr, QX_ERR_INVALID_ARG,
     kUnchanged},
    {"remove tree of a folder's \"..\" and of the literal root", L"a.txt=1|sub\\", nullptr,
     [](const std::wstring &r) {
         const int up = QX_RemoveDirectoryRecursively((r + L"sub\\..").c_str());
         return up != QX_OK ? up : QX_RemoveDirectoryRecursively((L"\\\\?\\" + r).c_str());
     },
     nullptr, QX_ERR_INVALID_ARG, kUnchanged},
    {"remove tree of the user's temporary folder and of a folder holding it",
     L"sub\\|sub\\temp\\|sub\\temp\\t=1", nullptr,
     [](const std::wstring &r) {
         Variable tmp(L"TMP", r + L"sub\\temp"), temp(L"TEMP", r + L"sub\\temp");
         const int kept = QX_RemoveDirectoryRecursively((r + L"sub\\temp").c_str());
         return kept != QX_ERR_INVALID_ARG ? kept : QX_RemoveDirectoryRecursively((r + L"sub").c_str());
     },
     nullptr, QX_ERR_INVALID_ARG, kUnchanged},
    {"remove tree: names with trailing dots and blanks go as listed, their look-alikes with them",
     L"d\\|d\\d.txt.=1|d\\d.txt=2|d\\e \\|d\\e \\f=3|keep.txt=4", nullptr,
     [](const std::wstring &r) { return QX_RemoveDirectoryRecursively((r + L"d").c_str()); }, nullptr, QX_OK,
     L"keep.txt=4"},
    // Removing a file acts on the name given, never on another one.
    {"remove \"b.txt.\" beside \"b.txt\"", L"b.txt.=1|b.txt=2", nullptr,
     [](const std::wstring &r) { return QX_RemoveFile((r + L"b.txt.").c_str(), 1); }, nullptr, QX_OK,
     L"b.txt=2"},
    {"remove \"c.txt \"", L"c.txt =1", nullptr,
     [](const std::wstring &r) { return QX_RemoveFile((r + L"c.txt ").c_str(), 1); }, nullptr, QX_OK, L""},
    {"remove with forward slashes and \"..\"", L"a.txt=1|sub\\|sub\\b=2", nullptr,
     [](const std::wstring &r) { return QX_RemoveFile((r.substr(0, 2) + L"/sub/../a.txt").c_str(), 1); },
     [](const std::wstring &r) { return Boolean(DeleteFileW((r.substr(0, 2) + L"/sub/../a.txt").c_str())); },
     QX_OK, nullptr},
    {"remove drive-relative, in another case", L"a.txt=1|sub\\|sub\\b=2", L"sub",
     [](const std::wstring &r) { return QX_RemoveFile((r.substr(0, 2) + L"B").c_str(), 1); },
     [](const std::wstring &r) { return Boolean(DeleteFileW((r.substr(0, 2) + L"B").c_str())); }, QX_OK,
     nullptr},
    {"remove a name outside the basic plane", L"\U0001F600.txt=1", nullptr,
     [](const std::wstring &r) { return QX_RemoveFile((r + L"\U0001F600.txt").c_str(), 1); },
     [](const std::wstring &r) { return Boolean(DeleteFileW((r + L"\U0001F600.txt").c_str())); }, QX_OK,
     nullptr},
    {"remove a path of 300 characters", L"x\\|x\\" + kLong + L"\\|x\\" + kLong + L"\\f=1", nullptr,
     [](const std::wstring &r) { return QX_RemoveFile((r + L"x\\" + kLong + L"\\f").c_str(), 1); },
     [](const std::wstring &r) { return Boolean(DeleteFileW((r + L"x\\" + kLong + L"\\f").c_str())); }, QX_OK,
     nullptr},
    // A replace keeps the old file or the new one, whatever the backup's spelling.
    {"replace with the backup on the replaced file", L"new.txt=N|old.txt=O", nullptr,
     [](const std::wstring &r) {
         return QX_ReplaceFile((r + L"new.txt").c_str(), (r + L"old.txt").c_str(), (r + L"OLD.txt").c_str(),
                               nullptr, nullptr, nullptr);
     },
     nullptr, QX_ERR_MOVE_FILE, kUnchanged},
    {"replace with the backup on the replacement", L"new.txt=N|old.txt=O", nullptr,
     [](const std::wstring &r) {
         return QX_ReplaceFile((r + L"new.txt").c_str(), (r + L"old.txt").c_str(), (r + L"New.TXT").c_str(),
                               nullptr, nullptr, nullptr);
     },
     nullptr, QX_ERR_MOVE_FILE, kUnchanged},
    {"replace from a missing replacement", L"old.txt=O", nullptr,
     [](const std::wstring &r) {
         return QX_ReplaceFile((r + L"new.txt").c_str(), (r + L"old.txt").c_str(), (r + L"old.bak").c_str(),
                               nullptr, nullptr, nullptr);
     },
     nullptr, QX_ERR_MOVE_FILE, kUnchanged},
    {"replace, keeping a backup", L"new.txt=N|old.txt=O", nullptr,
     [](const std::wstring &r) {
         return QX_ReplaceFile((r + L"new.txt").c_str(), (r + L"old.txt").c_str(), (r + L"old.bak").c_str(),
                               nullptr, nullptr, nullptr);
     },
     [](const std::wstring &r) {
         return Boolean(ReplaceFileW((r + L"old.txt").c_str(), (r + L"new.txt").c_str(),
                                     (r + L"old.bak").c_str(), 0, nullptr, nullptr));
     },
     QX_OK, nullptr},
    {"copy onto itself in another spelling", L"a.txt=1|sub\\", nullptr,
     [](const std::wstring &r) {
         return QX_CopyFile((r + L"a.txt").c_str(), (r + L"sub\\..\\A.TXT").c_str(), 0, nullptr, nullptr,
                            nullptr);
     },
     [](const std::wstring &r) {
         return Boolean(CopyFileW((r + L"a.txt").c_str(), (r + L"sub\\..\\A.TXT").c_str(), FALSE));
     },
     QX_ERR_COPY_FILE, nullptr},
    // Temporary names are whole or not made; folders are the ones the path needs.
    {"temporary name into a buffer too short", L"", nullptr,
     [](const std::wstring &r) { return TempName(r.c_str(), 4); }, nullptr, QX_ERR_BUFFER_TOO_SMALL,
     kUnchanged},
    {"temporary name in the folder \"\"", L"sub\\", L"sub",
     [](const std::wstring &) { return TempName(L"", MAX_PATH); }, nullptr, QX_ERR_INVALID_ARG, kUnchanged},
    {"create with parents through \"..\"", L"", nullptr,
     [](const std::wstring &r) { return QX_CreateDirectory((r + L"w\\x\\..\\n2").c_str(), 1, 0); }, nullptr,
     QX_OK, L"w\\|w\\n2\\"},
};

} // namespace

TEST_CASE("unusual paths: each call acts on the path given, as the system call does, or refuses first") {
    Drive drive;
    if (drive.Root().empty()) {
        MESSAGE("no drive letter could be mapped to a test folder: these rows would act on a real drive");
        return;
    }
    wchar_t home[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, home);
    auto run = [&](const Row &row, const Call &call) {
        drive.Setup(row.setup);
        if (row.cwd) REQUIRE(SetCurrentDirectoryW((drive.Root() + row.cwd).c_str()));
        const int status = call(drive.Root());
        SetCurrentDirectoryW(home);
        return status;
    };
    for (const Row &row : kRows) {
        CAPTURE(std::string(row.what));
        std::wstring systemAfter;
        if (row.system) {
            run(row, row.system);
            systemAfter = drive.Listing();
        }
        drive.Setup(row.setup);
        const std::wstring before = drive.Listing();
        CHECK(run(row, row.qx) == row.status);
        const std::wstring expected = !row.after ? systemAfter : row.after == kUnchanged ? before : row.after;
        CHECK(zxtest::Narrow(drive.Listing()) == zxtest::Narrow(expected));
    }
}
