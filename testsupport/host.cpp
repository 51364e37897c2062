// Host paths, host links and mapped drive letters for tests.
#include "testsupport/host.h"

#include "testsupport/zxtest.h"

namespace zxtest {

std::wstring UnixPath(const std::wstring &path) {
    FARPROC found = GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name");
    if (!found) return L"";
    char *unix =
        reinterpret_cast<char *(CDECL *)(const wchar_t *)>(reinterpret_cast<void *>(found))(path.c_str());
    if (!unix) return L"";
    std::string narrow = unix;
    HeapFree(GetProcessHeap(), 0, unix);
    return std::wstring(narrow.begin(), narrow.end());
}

bool IsLink(const std::wstring &path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

HostLink::HostLink(const std::wstring &link, const std::wstring &target) : m_link(link) {
    const std::wstring from = UnixPath(target), to = UnixPath(link);
    m_made = !from.empty() &&
             HostCommand(L"Z:\\bin\\ln -s \"" + from + L"\" \"" + to + L"\"", [&] { return IsLink(link); });
}

HostLink::~HostLink() {
    if (m_made && IsLink(m_link))
        HostCommand(L"Z:\\bin\\rm -f \"" + UnixPath(m_link) + L"\"", [&] { return !IsLink(m_link); });
}

MappedDrive::MappedDrive(const std::wstring &folder) : m_folder(folder) {
    wchar_t name[64];
    swprintf(name, 64, L"zx-drive-%lu-%lu.mark", GetCurrentProcessId(), GetTickCount());
    m_marker = name;
    WriteFileBytes(folder + L"\\" + m_marker, "");
    // Wine's drive links live beside the link of C: (".../dosdevices/c:/").
    std::wstring devices = UnixPath(L"C:\\");
    const size_t cut = devices.rfind(L"/c:");
    devices = cut == std::wstring::npos ? L"" : devices.substr(0, cut + 1);
    const std::wstring target = UnixPath(folder);
    for (wchar_t letter = L'T'; letter <= L'Y' && m_root.empty(); ++letter) {
        const std::wstring root = std::wstring(1, letter) + L":\\";
        if (GetFileAttributesW(root.c_str()) != INVALID_FILE_ATTRIBUTES) continue;
        auto mapped = [&] { return FileExists(root + m_marker); };
        if (DefineDosDeviceW(0, root.substr(0, 2).c_str(), folder.c_str())) {
            if (mapped()) {
                m_defined = true;
                m_root = root;
                break;
            }
            DefineDosDeviceW(DDD_REMOVE_DEFINITION | DDD_EXACT_MATCH_ON_REMOVE, root.substr(0, 2).c_str(),
                             folder.c_str());
        }
        if (devices.empty() || target.empty()) continue;
        // ln refuses a letter that another test program took in the meantime: the marker then
        // never shows, and the next letter is tried.
        const std::wstring link = devices + static_cast<wchar_t>(towlower(letter)) + L":";
        if (HostCommand(L"Z:\\bin\\ln -s \"" + target + L"\" \"" + link + L"\"", mapped, 3000)) {
            m_link = link;
            m_root = root;
        }
    }
}

MappedDrive::~MappedDrive() {
    if (m_root.empty()) return;
    const std::wstring marker = m_root + m_marker;
    if (m_defined)
        DefineDosDeviceW(DDD_REMOVE_DEFINITION | DDD_EXACT_MATCH_ON_REMOVE, Letter().c_str(),
                         m_folder.c_str());
    else
        HostCommand(L"Z:\\bin\\rm -f \"" + m_link + L"\"", [&] { return !FileExists(marker); });
    DeleteFileW((m_folder + L"\\" + m_marker).c_str());
}

} // namespace zxtest
