// The shipped 32-bit library read as a data file: its message dialog and its two icons.
#include "testsupport/zxtest.h"

#include <cstring>
#include <string>

namespace {

// Walks a dialog template: fixed header, then the variable fields, word by word.
struct Reader {
    const BYTE *at;
    WORD Word() {
        WORD w;
        std::memcpy(&w, at, sizeof w);
        at += sizeof w;
        return w;
    }
    DWORD Dword() {
        DWORD d;
        std::memcpy(&d, at, sizeof d);
        at += sizeof d;
        return d;
    }
    short Short() { return static_cast<short>(Word()); }
    std::wstring String() {
        std::wstring s;
        for (WORD w = Word(); w != 0; w = Word())
            s += static_cast<wchar_t>(w);
        return s;
    }
    void AlignDword(const BYTE *start) {
        while ((at - start) % 4 != 0)
            ++at;
    }
};

class Shipped {
public:
    Shipped() {
        m_module = LoadLibraryExW(ZX_SHIPPED_SETUPAID, nullptr, LOAD_LIBRARY_AS_DATAFILE);
        REQUIRE_MESSAGE(m_module != nullptr, "the 32-bit build of setupaid (scripts/build.sh builds it)");
    }
    ~Shipped() { FreeLibrary(m_module); }
    const BYTE *Resource(LPCWSTR name, LPCWSTR type, DWORD *size = nullptr) const {
        HRSRC found = FindResourceW(m_module, name, type);
        if (found == nullptr) return nullptr;
        if (size) *size = SizeofResource(m_module, found);
        return static_cast<const BYTE *>(LockResource(LoadResource(m_module, found)));
    }

private:
    HMODULE m_module = nullptr;
};

} // namespace

TEST_CASE("shipped library: a 32-bit file") {
    HANDLE file =
        CreateFileW(ZX_SHIPPED_SETUPAID, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    REQUIRE(file != INVALID_HANDLE_VALUE);
    IMAGE_DOS_HEADER dos = {};
    IMAGE_NT_HEADERS32 nt = {};
    DWORD read = 0;
    ReadFile(file, &dos, sizeof dos, &read, nullptr);
    SetFilePointer(file, dos.e_lfanew, nullptr, FILE_BEGIN);
    ReadFile(file, &nt, sizeof nt, &read, nullptr);
    CloseHandle(file);
    CHECK(nt.FileHeader.Machine == IMAGE_FILE_MACHINE_I386);
    CHECK((nt.FileHeader.Characteristics & IMAGE_FILE_DLL) != 0);
}

TEST_CASE("shipped library: the message dialog as the installation script expects it") {
    Shipped dll;
    const BYTE *data = dll.Resource(L"MSG_DLG", MAKEINTRESOURCEW(5)); // RT_DIALOG
    REQUIRE(data != nullptr);
    Reader r{data};
    const DWORD style = r.Dword();
    CHECK((style & WS_POPUP) != 0);
    CHECK((style & WS_VISIBLE) != 0);
    CHECK((style & DS_CENTER) != 0);
    CHECK((style & DS_MODALFRAME) != 0);
    CHECK((style & DS_SETFONT) != 0);
    CHECK((style & WS_CAPTION) == 0);
    r.Dword();            // extended style
    CHECK(r.Word() == 1); // one control
    CHECK(r.Short() == 0);
    CHECK(r.Short() == 0);
    CHECK(r.Short() == 186);
    CHECK(r.Short() == 94);
    CHECK(r.Word() == 0); // no menu
    CHECK(r.Word() == 0); // the dialog class
    CHECK(r.String().empty());
    CHECK(r.Word() == 8);
    CHECK(r.String() == L"MS Sans Serif");

    r.AlignDword(data);
    const DWORD controlStyle = r.Dword();
    CHECK((controlStyle & SS_TYPEMASK) == SS_CENTER);
    CHECK((controlStyle & SS_CENTERIMAGE) != 0);
    CHECK((controlStyle & WS_CHILD) != 0);
    CHECK((controlStyle & WS_VISIBLE) != 0);
    r.Dword();
    CHECK(r.Short() == 65);
    CHECK(r.Short() == 37);
    CHECK(r.Short() == 56);
    CHECK(r.Short() == 19);
    CHECK(r.Word() == 1005);
    // The class: the predefined static class, by number or by name.
    if (r.at[0] == 0xFF && r.at[1] == 0xFF) {
        r.Word();
        CHECK(r.Word() == 0x0082);
    } else {
        CHECK(_wcsicmp(r.String().c_str(), L"Static") == 0);
    }
    CHECK(r.String() == L"Text");
}

TEST_CASE("shipped library: icons 101 and 102 with 16 x 16 images") {
    Shipped dll;
    for (int id : {101, 102}) {
        CAPTURE(id);
        DWORD size = 0;
        const BYTE *group = dll.Resource(MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(14), &size); // RT_GROUP_ICON
        REQUIRE(group != nullptr);
        const int image =
            LookupIconIdFromDirectoryEx(const_cast<BYTE *>(group), TRUE, 16, 16, LR_DEFAULTCOLOR);
        REQUIRE(image != 0);
        DWORD imageSize = 0;
        const BYTE *bits = dll.Resource(MAKEINTRESOURCEW(image), MAKEINTRESOURCEW(3), &imageSize); // RT_ICON
        REQUIRE(bits != nullptr);
        HICON icon =
            CreateIconFromResourceEx(const_cast<BYTE *>(bits), imageSize, TRUE, 0x00030000, 16, 16, 0);
        REQUIRE(icon != nullptr);
        ICONINFO info = {};
        REQUIRE(GetIconInfo(icon, &info));
        BITMAP bitmap = {};
        GetObjectW(info.hbmColor, sizeof bitmap, &bitmap);
        CHECK(bitmap.bmWidth == 16);
        CHECK(bitmap.bmHeight == 16);
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
        DestroyIcon(icon);
    }
}
