/* The public headers compile as C and the flat API links from a C program. */
#include <stdio.h>

#include "zx_winsys/zx_winsys.h"

int main(void) {
    void *handle = NULL;
    SQxAsyncIO record = {0, NULL, NULL};
    (void)record;
    if (QX_OpenFile(NULL, QX_OPEN_READ, 0, QX_PERM_DEFAULT, NULL) != QX_ERR_INVALID_ARG) return 1;
    if (QX_OpenFile(L"C:\\no\\such\\file", QX_OPEN_READ, 0, QX_PERM_DEFAULT, &handle) != QX_ERR_OPEN_FILE) return 2;
    puts("C API ok");
    return 0;
}
