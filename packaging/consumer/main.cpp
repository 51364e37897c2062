// Uses a little of each library: a UUID's text, a thread, a formatted string. Exit code 0 when all
// of it worked.
#include <zx_gensys/zx_gensys.h>
#include <zx_winsys/zx_winsys.h>

#include <cstdio>

namespace {

void *Twice(void *value) {
    *static_cast<int *>(value) *= 2;
    return nullptr;
}

} // namespace

int main() {
    int failures = 0;
    if (QX_Is64Bit() != (sizeof(void *) == 8)) ++failures;

    UUID uuid = {};
    wchar_t text[33] = {};
    if (QX_Generate_Uuid(&uuid) != 0 || QX_Type_Uuid(&uuid, text) != 0 || text[31] == L'\0') ++failures;

    int value = 21;
    pthread_t thread;
    if (pthread_create(&thread, nullptr, Twice, &value) != 0 || pthread_join(thread, nullptr) != 0 ||
        value != 42)
        ++failures;

    CQxStringW line;
    line.Format(L"%s %d", L"answer", value);
    if (line != L"answer 42") ++failures;

    std::printf("zx_consumer: %d-bit, uuid %ls, %ls, %d failures\n", QX_Is64Bit() ? 64 : 32, text,
                line.GetString(), failures);
    return failures;
}
