// Steps on a settings file that another process's replacement of it can make fail for a moment.
#pragma once

#include <windows.h>

namespace gensys {

// Runs step (a function returning true on success, setting the last error on failure) again
// while it fails with a sharing conflict, for about a second at most. A replacement's rename
// keeps the file open, with delete access, for an instant after it took its place; and a reader
// that does not share delete keeps a rename from replacing the file until it closes it, which
// the system reports as access denied (renameDenied asks to wait for that as well).
template <class Step> bool RetryWhileShared(Step step, bool renameDenied = false) {
    for (int attempt = 0;; ++attempt) {
        if (step()) return true;
        const DWORD error = GetLastError();
        const bool shared =
            error == ERROR_SHARING_VIOLATION || (renameDenied && error == ERROR_ACCESS_DENIED);
        if (!shared || attempt == 100) return false;
        Sleep(10);
        SetLastError(error);
    }
}

} // namespace gensys
