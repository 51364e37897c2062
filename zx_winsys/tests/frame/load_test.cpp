// Loading and unloading the library.
#include "testsupport/zxtest.h"

TEST_CASE("the library loads and unloads repeatedly") {
    for (int i = 0; i < 3; ++i) {
        HMODULE module = LoadLibraryW(L"zx_winsys.dll");
        REQUIRE(module != nullptr);
        CHECK(FreeLibrary(module));
    }
}
