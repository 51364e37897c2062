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

// The path limit of texts the library composes itself, terminator included.
const size_t kMaxPath = 260;

} // namespace qx
