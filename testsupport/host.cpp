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

bool IsHostLink(const std::wstring &path) {
    const std::wstring answer = path + L".is-link";
    DeleteFileW(answer.c_str());
    const bool link = HostCommand(
        L"Z:\\bin\\sh -c \"test -L '" + UnixPath(path) + L"' && touch '" + UnixPath(answer) + L"'\"",
        [&] { return FileExists(answer); }, 3000);
    DeleteFileW(answer.c_str());
    return link;
}

HostLink::HostLink(const std::wstring &link, const std::wstring &target) : m_link(link) {
    const std::wstring from = UnixPath(target), to = UnixPath(link);
    // A link to a folder shows as a reparse point; one to a file as the file itself.
    m_made = !from.empty() && HostCommand(L"Z:\\bin\\ln -s \"" + from + L"\" \"" + to + L"\"", [&] {
        return GetFileAttributesW(link.c_str()) != INVALID_FILE_ATTRIBUTES;
    });
}

HostLink::~HostLink() {
    if (m_made && GetFileAttributesW(m_link.c_str()) != INVALID_FILE_ATTRIBUTES)
        HostCommand(L"Z:\\bin\\rm -f \"" + UnixPath(m_link) + L"\"",
                    [&] { return GetFileAttributesW(m_link.c_str()) == INVALID_FILE_ATTRIBUTES; });
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

namespace zxtest {

namespace {

uint32_t BigEndian(const std::string &bytes, size_t at) {
    if (at + 4 > bytes.size()) return 0;
    return static_cast<uint32_t>(static_cast<unsigned char>(bytes[at])) << 24 |
           static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 1])) << 16 |
           static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 2])) << 8 |
           static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 3]));
}

int Shift(uint32_t mask) {
    int shift = 0;
    while (mask && !(mask & 1)) {
        mask >>= 1;
        ++shift;
    }
    return shift;
}

} // namespace

DisplayPicture::DisplayPicture(HWND window) {
    // Wine keeps a top-level window's X window as one of the window's properties.
    const auto xid = reinterpret_cast<uintptr_t>(GetPropW(window, L"__wine_x11_whole_window"));
    if (xid == 0) {
        m_why = "the window has no X window";
        return;
    }
    RECT frame = {};
    GetWindowRect(window, &frame);
    GetClientRect(window, &m_client);
    MapWindowPoints(window, nullptr, reinterpret_cast<POINT *>(&m_client), 2);
    OffsetRect(&m_client, -frame.left, -frame.top);
    wchar_t folder[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    wchar_t name[64];
    swprintf(name, 64, L"zx-display-%lu-%lu.xwd", GetCurrentProcessId(), GetTickCount());
    const std::wstring path = std::wstring(folder) + name;
    const std::wstring unix = UnixPath(path);
    if (unix.empty()) {
        m_why = "no host path for the temporary folder";
        return;
    }
    wchar_t id[32];
    swprintf(id, 32, L"0x%llx", static_cast<unsigned long long>(xid));
    // The host writes the file whole, then it is renamed into place: no half file is read.
    HostCommand(L"Z:\\bin\\sh -c \"xwd -id " + std::wstring(id) + L" -silent -out '" + unix +
                    L".part' && mv '" + unix + L".part' '" + unix + L"'\"",
                [&] { return FileExists(path); });
    const std::string bytes = FileExists(path) ? ReadFileBytes(path) : std::string();
    DeleteFileW(path.c_str());
    // The XWD format: a header of big-endian 32-bit fields, the window's name, the colours, the pixels.
    const uint32_t headerSize = BigEndian(bytes, 0), format = BigEndian(bytes, 8);
    const uint32_t width = BigEndian(bytes, 16), height = BigEndian(bytes, 20),
                   byteOrder = BigEndian(bytes, 28);
    const uint32_t bitsPerPixel = BigEndian(bytes, 44), bytesPerLine = BigEndian(bytes, 48);
    const uint32_t red = BigEndian(bytes, 56), green = BigEndian(bytes, 60), blue = BigEndian(bytes, 64);
    const uint32_t colours = BigEndian(bytes, 76);
    const size_t pixels = static_cast<size_t>(headerSize) + 12 * static_cast<size_t>(colours);
    if (bytes.empty()) {
        m_why = "xwd made no picture (is x11-apps installed?)";
        return;
    }
    if (format != 2 || (bitsPerPixel != 32 && bitsPerPixel != 24) || width == 0 || height == 0 ||
        bytesPerLine < width * (bitsPerPixel / 8) ||
        pixels + static_cast<size_t>(bytesPerLine) * height > bytes.size()) {
        m_why = "xwd wrote a picture of a form this reader does not know";
        return;
    }
    m_width = static_cast<int>(width);
    m_height = static_cast<int>(height);
    m_pixels.resize(static_cast<size_t>(width) * height);
    const uint32_t step = bitsPerPixel / 8;
    const auto *data = reinterpret_cast<const unsigned char *>(bytes.data()) + pixels;
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x) {
            const unsigned char *p = data + static_cast<size_t>(y) * bytesPerLine + x * step;
            uint32_t v = 0;
            for (uint32_t k = 0; k < step; ++k)
                v |= static_cast<uint32_t>(p[byteOrder == 0 ? k : step - 1 - k]) << (8 * k);
            m_pixels[static_cast<size_t>(y) * width + x] =
                RGB((v & red) >> Shift(red), (v & green) >> Shift(green), (v & blue) >> Shift(blue));
        }
}

COLORREF DisplayPicture::Pixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= m_width || y >= m_height) return 0;
    return m_pixels[static_cast<size_t>(y) * m_width + x];
}

double DisplayPicture::ClientBrightness() const {
    const RECT &r = m_client;
    if (!Taken() || r.right <= r.left || r.bottom <= r.top) return -1;
    double sum = 0;
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x) {
            const COLORREF c = Pixel(x, y);
            sum += (GetRValue(c) + GetGValue(c) + GetBValue(c)) / 3.0;
        }
    return sum / (static_cast<double>(r.right - r.left) * (r.bottom - r.top));
}

} // namespace zxtest
