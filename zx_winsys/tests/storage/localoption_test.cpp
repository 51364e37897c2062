// The local-options switch against the real registry value (one child process per scenario;
// the value is restored afterwards).
#include "testsupport/zxtest.h"
#include "zx_winsys/zx_winsys.h"

namespace {

const wchar_t kKey[] = L"SOFTWARE\\Varnholt\\Misc";
const wchar_t kValue[] = L"LocalOptions";

// Writes the value (type and bytes), or deletes it when bytes is null. Used by child scenarios
// too, so it reports failure by its result, not through doctest.
bool SetValue(DWORD type, const void *bytes, DWORD size) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return false;
    bool ok =
        bytes ? RegSetValueExW(key, kValue, 0, type, static_cast<const BYTE *>(bytes), size) == ERROR_SUCCESS
              : RegDeleteValueW(key, kValue) != ERROR_ACCESS_DENIED;
    RegCloseKey(key);
    return ok;
}

bool SetNumber(DWORD number) {
    return SetValue(REG_DWORD, &number, sizeof number);
}

// Keeps the value as it was before the test and puts it back at the end.
class SavedValue {
public:
    SavedValue() {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return;
        DWORD size = 0;
        if (RegQueryValueExW(key, kValue, nullptr, &m_type, nullptr, &size) == ERROR_SUCCESS) {
            m_bytes.resize(size);
            m_present =
                RegQueryValueExW(key, kValue, nullptr, &m_type, m_bytes.data(), &size) == ERROR_SUCCESS;
        }
        RegCloseKey(key);
    }
    ~SavedValue() {
        SetValue(m_type, m_present ? m_bytes.data() : nullptr, static_cast<DWORD>(m_bytes.size()));
    }

private:
    bool m_present = false;
    DWORD m_type = REG_DWORD;
    std::vector<BYTE> m_bytes;
};

} // namespace

ZXTEST_CHILD(local_option_true_is_cached) {
    ZXTEST_EXPECT(QX_IsLocalOption(nullptr));
    ZXTEST_EXPECT(SetNumber(0)); // the registry changes; the answer does not
    ZXTEST_EXPECT(QX_IsLocalOption(L"ignored"));
    return 0;
}

ZXTEST_CHILD(local_option_false) {
    ZXTEST_EXPECT(!QX_IsLocalOption(nullptr));
    return 0;
}

ZXTEST_CHILD(local_option_set_before_first_query) {
    QX_SetLocalOption(true);
    ZXTEST_EXPECT(!QX_IsLocalOption(nullptr)); // the registry's 0 replaces the value set
    return 0;
}

ZXTEST_CHILD(local_option_set_after_query) {
    ZXTEST_EXPECT(!QX_IsLocalOption(nullptr));
    QX_SetLocalOption(true);
    ZXTEST_EXPECT(QX_IsLocalOption(nullptr));
    QX_SetLocalOption(false);
    ZXTEST_EXPECT(!QX_IsLocalOption(nullptr));
    return 0;
}

TEST_CASE("local options: true only for the 4-byte number 1, read once per process") {
    SavedValue saved;
    REQUIRE(SetNumber(1));
    CHECK(zxtest::RunChild("local_option_true_is_cached") == 0);

    const DWORD two = 2, zero = 0;
    const unsigned long long wide = 1;
    const BYTE binaryOne[4] = {1, 0, 0, 0};
    REQUIRE(SetValue(REG_DWORD, &two, 4));
    CHECK(zxtest::RunChild("local_option_false") == 0);
    REQUIRE(SetValue(REG_DWORD, &zero, 4));
    CHECK(zxtest::RunChild("local_option_false") == 0);
    REQUIRE(SetValue(REG_QWORD, &wide, 8)); // longer than 4 bytes
    CHECK(zxtest::RunChild("local_option_false") == 0);
    REQUIRE(SetValue(REG_DWORD, nullptr, 0)); // no value at all
    CHECK(zxtest::RunChild("local_option_false") == 0);
    REQUIRE(SetValue(REG_BINARY, binaryOne, 4)); // the number 1 in 4 bytes, whatever the type
    CHECK(zxtest::RunChild("local_option_true_is_cached") == 0);
}

TEST_CASE("local options: a set before the first query is replaced by the registry's answer") {
    SavedValue saved;
    REQUIRE(SetNumber(0));
    CHECK(zxtest::RunChild("local_option_set_before_first_query") == 0);
    CHECK(zxtest::RunChild("local_option_set_after_query") == 0);
}
