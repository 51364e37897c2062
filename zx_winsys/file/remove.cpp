// QX_RemoveFile: deletes read-only files too.
#include <windows.h>

#include <string>

#include "zx_winsys/internal/errors.h"
#include "zx_winsys/internal/paths.h"
#include "zx_winsys/internal/strings.h"
#include "zx_winsys/qx_file.h"

namespace {

// A name the system would change (a trailing dot or blank, as listings give them back) is removed
// as it is spelt: in the literal form, so that "d.txt." never deletes "d.txt".
std::wstring AsGiven(const wchar_t *path) {
    if (!qx::HasTrailingDotOrBlank(path)) return path;
    std::wstring literal = qx::LiteralPath(path);
    return literal.empty() ? std::wstring(path) : literal;
}

// "Missing" only when the file is really not there: a plain path over the system's length limit
// is reported missing by a system without long-path support although the file exists.
bool ReallyMissing(const wchar_t *path) {
    if (qx::IsLiteralPath(path) || wcslen(path) < qx::kMaxPath) return true;
    const std::wstring literal = qx::LiteralPath(path);
    return literal.empty() || GetFileAttributesW(literal.c_str()) == INVALID_FILE_ATTRIBUTES;
}

} // namespace

extern "C" int QX_RemoveFile(const wchar_t *path, int reportMissing) {
    if (!path) return QX_ERR_INVALID_ARG;
    const std::wstring target = AsGiven(path);
    DWORD attributes = GetFileAttributesW(target.c_str());
    bool clearedReadOnly = false;
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        clearedReadOnly = SetFileAttributesW(target.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY) != 0;
    if (DeleteFileW(target.c_str())) return QX_OK;

    qx::ErrorKind kind = qx::LastErrorKind();
    // The file stays: give it its read-only attribute back.
    if (clearedReadOnly) SetFileAttributesW(target.c_str(), attributes);
    switch (kind) {
    case qx::ErrorKind::Missing:
        return reportMissing || !ReallyMissing(target.c_str()) ? QX_ERR_REMOVE_FILE : QX_OK;
    case qx::ErrorKind::Denied:
        return QX_ERR_NO_ACCESS;
    default:
        return QX_ERR_REMOVE_FILE;
    }
}
