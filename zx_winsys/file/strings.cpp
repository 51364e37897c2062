// Bounded string copies.
#include "zx_winsys/internal/strings.h"

namespace qx {

void CopyBounded(wchar_t *dst, int length, const wchar_t *src, Termination termination) {
    if (!dst || length <= 0) return;
    const size_t room = static_cast<size_t>(length);
    size_t n = 0;
    while (n < room && src[n] != L'\0') {
        dst[n] = src[n];
        ++n;
    }
    if (n < room)
        dst[n] = L'\0';
    else if (termination == Termination::Always)
        dst[room - 1] = L'\0';
}

} // namespace qx
