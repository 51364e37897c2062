// Bounded string copies into caller buffers.
#pragma once

#include <stddef.h>
#include <wchar.h>

namespace qx {

enum class Termination {
    IfRoom, // terminated only when the text is shorter than the buffer
    Always  // cut if needed so that the last character is the terminator
};

// Copies src into dst of length characters, never writing past dst[length - 1].
// Nothing is written when length <= 0.
void CopyBounded(wchar_t *dst, int length, const wchar_t *src, Termination termination);

// Runs a system call that writes its answer into buffer and returns its length (without the
// terminator), the size it needs when the buffer is too small, or 0 on failure. The answer is
// kept only when it fits; otherwise buffer gets an empty string and failure is returned, so a
// caller never sees a cut path. call(buffer, length) returns the system's DWORD.
template <typename Call> int FillOrEmpty(wchar_t *buffer, int length, int failure, Call call) {
    if (length <= 0) return failure;
    const unsigned long n = call(buffer, static_cast<unsigned long>(length));
    if (n == 0 || n >= static_cast<unsigned long>(length)) {
        buffer[0] = L'\0';
        return failure;
    }
    return 0;
}

// The path limit of texts the library composes itself, terminator included.
const size_t kMaxPath = 260;

} // namespace qx
