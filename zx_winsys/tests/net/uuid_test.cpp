// UUIDs: new ones differ and are random-based; the text form is the system's without separators.
// The socket header comes before windows.h, which would bring in the old one.
#include "zx_winsys/qx_net.h"

#include "testsupport/zxtest.h"

#include <algorithm>
#include <cwctype>
#include <string>

namespace {

std::wstring SystemText(UUID &uuid) {
    RPC_WSTR text = nullptr;
    REQUIRE(UuidToStringW(&uuid, &text) == RPC_S_OK);
    std::wstring result(reinterpret_cast<wchar_t *>(text));
    RpcStringFreeW(&text);
    result.erase(std::remove(result.begin(), result.end(), L'-'), result.end());
    std::transform(result.begin(), result.end(), result.begin(), [](wchar_t c) { return std::towlower(c); });
    return result;
}

} // namespace

TEST_CASE("UUIDs: new ones differ, and their text is the system's in 32 lower-case digits") {
    UUID first = {}, second = {};
    REQUIRE(QX_Generate_Uuid(&first) == 0);
    REQUIRE(QX_Generate_Uuid(&second) == 0);
    CHECK(std::memcmp(&first, &second, sizeof first) != 0);
    CHECK((first.Data3 >> 12) == 4); // random-based

    wchar_t text[40];
    std::fill(std::begin(text), std::end(text), L'#');
    CHECK(QX_Type_Uuid(&first, text) == 0);
    CHECK(std::wstring(text) == SystemText(first));
    CHECK(text[33] == L'#');

    // Every field at its full width, high digits included.
    UUID wide = {0xFEDCBA98, 0x0001, 0xF00D, {0x00, 0xFF, 0x01, 0x10, 0xAB, 0xCD, 0xEF, 0x09}};
    CHECK(QX_Type_Uuid(&wide, text) == 0);
    CHECK(std::wstring(text) == L"fedcba980001f00d00ff0110abcdef09");
    CHECK(std::wstring(text) == SystemText(wide));

    const UUID nil = {};
    CHECK(QX_Type_Uuid(&nil, text) == 0);
    CHECK(std::wstring(text) == std::wstring(32, L'0'));

    CHECK(QX_Type_Uuid(nullptr, text) == QX_ERR_INVALID_ARG);
    CHECK(QX_Type_Uuid(&nil, nullptr) == QX_ERR_INVALID_ARG);
    CHECK(QX_Generate_Uuid(nullptr) == QX_ERR_INVALID_ARG);
}

TEST_CASE("UUIDs: parsing is not supported and reads nothing") {
    CHECK(QX_Parse_Uuid(nullptr, nullptr) == QX_ERR_NOT_SUPPORTED);
    UUID uuid = {1, 2, 3, {4}};
    CHECK(QX_Parse_Uuid(L"00000000000000000000000000000000", &uuid) == QX_ERR_NOT_SUPPORTED);
    CHECK(uuid.Data1 == 1);
}
