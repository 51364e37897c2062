// Every program and library that the build makes carries the product's version resource with the one
// version number of the build.
#include "testsupport/zxtest.h"

#include <string>
#include <vector>

namespace {

struct Version {
    bool present = false;
    VS_FIXEDFILEINFO fixed = {};
    std::wstring product, fileVersion, productVersion, description, originalName;
};

std::wstring Value(std::vector<BYTE> &data, const wchar_t *name) {
    void *text = nullptr;
    UINT length = 0;
    const std::wstring path = std::wstring(L"\\StringFileInfo\\040904b0\\") + name;
    if (!VerQueryValueW(data.data(), path.c_str(), &text, &length) || length == 0) return L"";
    return std::wstring(static_cast<const wchar_t *>(text));
}

Version Read(const std::wstring &path) {
    Version v;
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &handle);
    if (size == 0) return v;
    std::vector<BYTE> data(size);
    if (!GetFileVersionInfoW(path.c_str(), 0, size, data.data())) return v;
    void *fixed = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(data.data(), L"\\", &fixed, &length) || length < sizeof v.fixed) return v;
    v.fixed = *static_cast<const VS_FIXEDFILEINFO *>(fixed);
    v.product = Value(data, L"ProductName");
    v.fileVersion = Value(data, L"FileVersion");
    v.productVersion = Value(data, L"ProductVersion");
    v.description = Value(data, L"FileDescription");
    v.originalName = Value(data, L"OriginalFilename");
    v.present = true;
    return v;
}

// The binaries the build made, as it lists them beside them.
std::vector<std::wstring> Binaries() {
    std::vector<std::wstring> names;
    const std::string list = zxtest::ReadFileBytes(zxtest::SelfFolder() + L"\\zx_binaries.txt");
    size_t start = 0;
    for (size_t end = list.find('\n'); end != std::string::npos;
         start = end + 1, end = list.find('\n', start))
        if (end > start) names.emplace_back(list.begin() + start, list.begin() + end);
    return names;
}

} // namespace

TEST_CASE("version resources: every binary has the product, the build's version and a description") {
    const std::wstring version = ZX_VERSION_TEXT;
    const std::vector<std::wstring> names = Binaries();
    REQUIRE(names.size() > 10);
    for (const std::wstring &name : names) {
        CAPTURE(zxtest::Narrow(name));
        const Version v = Read(zxtest::SelfFolder() + L"\\" + name);
        REQUIRE(v.present);
        CHECK(v.product == L"Lumetra Platform");
        CHECK(v.fileVersion == version);
        CHECK(v.productVersion == version);
        CHECK_FALSE(v.description.empty());
        CHECK(v.fixed.dwSignature == VS_FFI_SIGNATURE);
        const std::wstring numbers = std::to_wstring(HIWORD(v.fixed.dwFileVersionMS)) + L"." +
                                     std::to_wstring(LOWORD(v.fixed.dwFileVersionMS)) + L"." +
                                     std::to_wstring(HIWORD(v.fixed.dwFileVersionLS)) + L"." +
                                     std::to_wstring(LOWORD(v.fixed.dwFileVersionLS));
        CHECK(numbers == version);
    }
}

TEST_CASE("version resources: the shipped binaries describe themselves") {
    const struct {
        const wchar_t *file, *description;
    } shipped[] = {{L"zx_winsys.dll", L"Lumetra platform services"},
                   {L"zx_pthreads.dll", L"Lumetra platform threads"},
                   {L"zx_gensys.dll", L"Lumetra platform general library"},
                   {L"setupaid.dll", L"Lumetra setup dialogs"},
                   {L"zx_tracewatch.exe", L"Lumetra trace viewer"}};
    for (const auto &s : shipped) {
        CAPTURE(zxtest::Narrow(s.file));
        const Version v = Read(zxtest::SelfFolder() + L"\\" + s.file);
        REQUIRE(v.present);
        CHECK(v.description == s.description);
        CHECK(v.originalName == s.file);
        CHECK((v.fixed.dwFileType == VFT_DLL) == (std::wstring(s.file).find(L".dll") != std::wstring::npos));
    }
    const std::wstring settingsxfer = zxtest::SelfFolder() + L"\\settingsxfer.exe";
    if (sizeof(void *) == 8) {
        const Version v = Read(settingsxfer);
        REQUIRE(v.present);
        CHECK(v.description == L"Lumetra Settings \u2013 Import/Export Utility");
        CHECK(v.fixed.dwFileType == VFT_APP);
    }
}
