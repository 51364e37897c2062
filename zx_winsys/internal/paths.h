// Path spellings the system would change, and the identity of files behind their names.
#pragma once

#include <windows.h>

#include <string>

namespace qx {

inline bool IsSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

// True when the last component of path ends with "." or " " and is not "." or "..": the system
// drops such endings from a plain path, so the call would act on another name than the one given.
bool HasTrailingDotOrBlank(const wchar_t *path);

// True for a path in the form that the system takes literally ("\\?\..."), unchanged by it.
bool IsLiteralPath(const wchar_t *path);

// The absolute path in the literal form, with its last component kept exactly as given (trailing
// dots and blanks included); a path already in that form is returned as it is. Empty when the
// system cannot make the path absolute (an empty path, say).
std::wstring LiteralPath(const wchar_t *path);

// The same path with its "." and ".." components resolved in the text, as the system resolves them
// when it opens the path ("a\b\..\c" is "a\c"; ".." at a root stays at the root). Leading ".." of
// a relative path are kept. A literal path is returned unchanged.
std::wstring ResolveDots(const wchar_t *path);

// Volume and file index of what a path or handle names (a file or a folder), as the system opens it.
struct FileIdentity {
    DWORD volume = 0;
    DWORD indexHigh = 0;
    DWORD indexLow = 0;
    bool operator==(const FileIdentity &other) const {
        return volume == other.volume && indexHigh == other.indexHigh && indexLow == other.indexLow;
    }
};
bool IdentityOf(const wchar_t *path, FileIdentity *identity);
bool IdentityOf(HANDLE handle, FileIdentity *identity);
// True when both paths name one existing file or folder, whatever their spelling.
bool SameFile(const wchar_t *a, const wchar_t *b);

} // namespace qx
