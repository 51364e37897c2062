// The document-size test through its seams: memory figures and the registry's paging-file value
// are made up, one scenario per process (the paging ceiling is computed once per process).
// The socket header comes before windows.h, which would bring in the old one.
#include "zx_winsys/qx_net.h"

#include "testsupport/channel.h"
#include "testsupport/zxtest.h"
#include "zx_winsys/internal/memory.h"
#include "zx_winsys/qx_diag.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

constexpr uint64_t kMB = 1048576;

struct Machine {
    uint64_t totalPhysical = 2000000000;
    uint64_t totalVirtual = 0x80000000; // 2 GiB
    uint64_t used = 0;                  // address space in use, and the commit charge: both builds see it
    bool keyExists = true;
    bool valueExists = true;
    DWORD type = REG_SZ;
    std::wstring value = L"C:\\pagefile.sys 27 77"; // as Wine stores it
    bool terminated = true;
    int valueReads = 0;
};
Machine g_machine;

BOOL WINAPI FakeStatus(LPMEMORYSTATUSEX status) {
    if (status->dwLength != 64) return FALSE;
    status->ullTotalPhys = g_machine.totalPhysical;
    status->ullAvailPhys = g_machine.totalPhysical / 3;
    status->ullTotalVirtual = g_machine.totalVirtual;
    status->ullAvailVirtual = g_machine.totalVirtual - g_machine.used;
    status->ullTotalPageFile = 3000000000;
    status->ullAvailPageFile = 1000000000;
    return TRUE;
}

uint64_t FakePrivateBytes() {
    return g_machine.used;
}

LONG WINAPI FakeOpen(HKEY root, LPCWSTR path, DWORD, REGSAM, PHKEY key) {
    if (!g_machine.keyExists || root != HKEY_LOCAL_MACHINE ||
        std::wstring(path) != L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Memory Management")
        return ERROR_FILE_NOT_FOUND;
    *key = reinterpret_cast<HKEY>(static_cast<INT_PTR>(0x1234));
    return ERROR_SUCCESS;
}

LONG WINAPI FakeQuery(HKEY, LPCWSTR name, LPDWORD, LPDWORD type, LPBYTE data, LPDWORD size) {
    ++g_machine.valueReads;
    if (!g_machine.valueExists || std::wstring(name) != L"PagingFiles") return ERROR_FILE_NOT_FOUND;
    const size_t characters = g_machine.value.size() + (g_machine.terminated ? 1 : 0);
    const DWORD bytes = static_cast<DWORD>(characters * sizeof(wchar_t));
    *type = g_machine.type;
    if (data == nullptr) {
        *size = bytes;
        return ERROR_SUCCESS;
    }
    if (*size < bytes) return ERROR_MORE_DATA;
    std::copy_n(reinterpret_cast<const BYTE *>(g_machine.value.data()), bytes, data);
    *size = bytes;
    return ERROR_SUCCESS;
}

LONG WINAPI FakeClose(HKEY) {
    return ERROR_SUCCESS;
}

void UseFakeMachine() {
    qx::MemorySystem &system = qx::MemoryQueries();
    system = {FakeStatus, FakePrivateBytes, FakeOpen, FakeQuery, FakeClose};
}

// Three quarters of a ceiling.
uint64_t Threshold(uint64_t ceiling) {
    return static_cast<uint64_t>(static_cast<double>(ceiling) * 0.75);
}

constexpr uint64_t kUnset = 0xDEADBEEF;

// Over the threshold by one byte: true with that byte; at the threshold: false, excess untouched.
int ExpectThreshold(uint64_t threshold) {
    uint64_t excess = kUnset;
    g_machine.used = threshold;
    ZXTEST_EXPECT(!QX_CheckSingleDocumentSizeOverflow(1000, &excess, false));
    ZXTEST_EXPECT(excess == kUnset);
    g_machine.used = threshold + 1;
    ZXTEST_EXPECT(QX_CheckSingleDocumentSizeOverflow(1000, &excess, false));
    ZXTEST_EXPECT(excess == 1);
    ZXTEST_EXPECT(QX_CheckSingleDocumentSizeOverflow(1000, nullptr, false));
    return 0;
}

} // namespace

ZXTEST_CHILD(memory_size_limits) {
    UseFakeMachine();
    uint64_t excess = kUnset;
    // Above 1 000 000 000 bytes, whatever the memory.
    g_machine.totalPhysical = 64 * 1024 * kMB;
    ZXTEST_EXPECT(QX_CheckSingleDocumentSizeOverflow(1000000001, &excess, false));
    ZXTEST_EXPECT(excess == 0);
    ZXTEST_EXPECT(g_machine.valueReads == 0);
    // Above half the physical memory.
    g_machine.totalPhysical = 1000000001;
    excess = kUnset;
    ZXTEST_EXPECT(QX_CheckSingleDocumentSizeOverflow(500000001, &excess, false));
    ZXTEST_EXPECT(excess == 0);
    ZXTEST_EXPECT(!QX_CheckSingleDocumentSizeOverflow(500000000, &excess, false));
    // Exactly 1 000 000 000 bytes on a machine of 2 000 000 000 goes on to the address-space test.
    g_machine.totalPhysical = 2000000000;
    excess = kUnset;
    ZXTEST_EXPECT(!QX_CheckSingleDocumentSizeOverflow(1000000000, &excess, false));
    ZXTEST_EXPECT(excess == kUnset);
    return 0;
}

ZXTEST_CHILD(memory_paging_file_string) {
    UseFakeMachine();
    // 77 MB maximum + physical memory, below the 2 GiB of address space.
    return ExpectThreshold(Threshold(77 * kMB + 2000000000));
}

ZXTEST_CHILD(memory_paging_file_list) {
    UseFakeMachine();
    g_machine.type = REG_MULTI_SZ;
    g_machine.value = std::wstring(L"D:\\pagefile.sys 512 40\0E:\\pagefile.sys 512 4096\0", 49);
    // The first file counts.
    return ExpectThreshold(Threshold(40 * kMB + 2000000000));
}

ZXTEST_CHILD(memory_paging_file_unlimited) {
    UseFakeMachine();
    g_machine.type = REG_MULTI_SZ;
    g_machine.value = std::wstring(L"C:\\pagefile.sys 0 0\0", 21);
    // A maximum of 0 has no limit of its own: the address space caps it.
    return ExpectThreshold(Threshold(0x80000000));
}

ZXTEST_CHILD(memory_paging_file_system_managed) {
    UseFakeMachine();
    g_machine.type = REG_MULTI_SZ;
    g_machine.value = std::wstring(L"?:\\pagefile.sys\0", 17);
    return ExpectThreshold(Threshold(0x80000000));
}

ZXTEST_CHILD(memory_paging_file_not_text) {
    UseFakeMachine();
    g_machine.type = REG_BINARY;
    g_machine.value = L"C:\\pagefile.sys 27 77"; // bytes that only look like the text
    return ExpectThreshold(Threshold(0x80000000));
}

ZXTEST_CHILD(memory_paging_file_unterminated) {
    UseFakeMachine();
    // Stored without a terminator and ending in digits: the number ends with the value.
    g_machine.value = L"C:\\pagefile.sys 27 7";
    g_machine.terminated = false;
    return ExpectThreshold(Threshold(7 * kMB + 2000000000));
}

ZXTEST_CHILD(memory_no_key) {
    UseFakeMachine();
    g_machine.keyExists = false;
    return ExpectThreshold(Threshold(2000000000));
}

ZXTEST_CHILD(memory_ceiling_computed_once) {
    UseFakeMachine();
    ZXTEST_EXPECT(!QX_CheckSingleDocumentSizeOverflow(1000, nullptr, false));
    ZXTEST_EXPECT(g_machine.valueReads == 2);
    // A changed value is not read again: the ceiling stays.
    g_machine.value = L"C:\\pagefile.sys 27 1";
    ZXTEST_EXPECT(ExpectThreshold(Threshold(77 * kMB + 2000000000)) == 0);
    ZXTEST_EXPECT(g_machine.valueReads == 2);
    return 0;
}

ZXTEST_CHILD(memory_value_missing) {
    UseFakeMachine();
    g_machine.valueExists = false;
    QX_SetFailifOptions(QX_DIAG_DEBUGGER);
    return ExpectThreshold(Threshold(0x80000000));
}

ZXTEST_CHILD(memory_traced) {
    UseFakeMachine();
    CQxLogFile::Initialize();
    ZXTEST_EXPECT(CQxLogFile::Detail());
    ZXTEST_EXPECT(!QX_CheckSingleDocumentSizeOverflow(1000, nullptr, true));
    return 0;
}

TEST_CASE("document size: the size limits come before the address space") {
    CHECK(zxtest::RunChild("memory_size_limits") == 0);
}

TEST_CASE("document size: the paging ceiling from the registry in each stored form") {
    for (const char *scenario :
         {"memory_paging_file_string", "memory_paging_file_list", "memory_paging_file_unlimited",
          "memory_paging_file_system_managed", "memory_paging_file_not_text",
          "memory_paging_file_unterminated", "memory_no_key", "memory_ceiling_computed_once"}) {
        CAPTURE(scenario);
        CHECK(zxtest::RunChild(scenario) == 0);
    }
}

namespace {

bool Contains(const std::vector<std::string> &texts, const std::string &piece) {
    return std::any_of(texts.begin(), texts.end(),
                       [&](const std::string &text) { return text.find(piece) != std::string::npos; });
}

} // namespace

TEST_CASE("document size: a missing paging-file value is reported twice and the size test goes on") {
    zxtest::DebugChannelReader &channel = zxtest::DebugChannel();
    zxtest::Program child(zxtest::ChildCommandLine("memory_value_missing"));
    CHECK(child.WaitForExit() == 0);
    const std::string first =
        "ERROR_SUCCESS != RegQueryValueEx(hKey, n20(L\"PagingFiles\"), NULL, &dwType, NULL, &dwValSize)";
    const std::string second = "ERROR_SUCCESS != RegQueryValueEx(hKey, n20(L\"PagingFiles\"), NULL, &dwType, "
                               "(LPBYTE)wszValue, &dwValSize)";
    CHECK(channel.WaitFor(child.Id(), [&](const std::vector<std::string> &texts) {
        return Contains(texts, first) && Contains(texts, second);
    }));
    CHECK(Contains(channel.TextsOf(child.Id()), "memory/memory"));
}

TEST_CASE("document size: the figures and the ceiling as detail traces") {
    zxtest::DebugChannelReader &channel = zxtest::DebugChannel();
    zxtest::Program child(zxtest::ChildCommandLine("memory_traced"));
    CHECK(child.WaitForExit() == 0);
    const std::string ceiling = std::to_string(77 * kMB + 2000000000);
    CHECK(channel.WaitFor(child.Id(), [&](const std::vector<std::string> &texts) {
        return Contains(texts, "Physical Memory: 2000000000 (666666666)") &&
               Contains(texts, "Virtual Memory: 2147483648 (2147483648)") &&
               Contains(texts, "Page File: 3000000000 (1000000000)") && Contains(texts, ceiling);
    }));
}
