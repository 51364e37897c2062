// Copy, move and replace: synchronous through the system, or queued on the asynchronous engine.
#include <windows.h>

#include "zx_winsys/internal/asyncio.h"
#include "zx_winsys/internal/errors.h"
#include "zx_winsys/internal/paths.h"
#include "zx_winsys/qx_file.h"

namespace {

// True when path names an existing file that is the one open as handle (same volume, same index).
bool IsSameFile(void *handle, const wchar_t *path) {
    qx::FileIdentity open, named;
    return qx::IdentityOf(handle, &open) && qx::IdentityOf(path, &named) && open == named;
}

bool Exists(const wchar_t *path) {
    return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
}

} // namespace

extern "C" {

int QX_CopyFile(const wchar_t *source, const wchar_t *target, int failIfExists, int *cont,
                QxCopyProgressCallback callback, void *user) {
    if (!source || !target) return QX_ERR_INVALID_ARG;
    if (!cont && !callback) {
        if (CopyFileW(source, target, failIfExists ? TRUE : FALSE)) return QX_OK;
        switch (qx::LastErrorKind()) {
        case qx::ErrorKind::Exists:
            return failIfExists ? QX_ERR_FILE_EXISTS : QX_ERR_COPY_FILE;
        case qx::ErrorKind::Denied:
            return QX_ERR_NO_ACCESS;
        default:
            return QX_ERR_COPY_FILE;
        }
    }

    void *in = nullptr;
    int status = QX_OpenFile(source, QX_OPEN_READ, QX_SHARE_READ | QX_SHARE_WRITE, QX_PERM_DEFAULT, &in);
    if (status != QX_OK) return status;
    // Opening the target for overwriting truncates it: refuse a target that is the source itself
    // under another spelling, as the system copy does, before anything is lost.
    if (!failIfExists && IsSameFile(in, target)) {
        QX_CloseFile(in);
        return QX_ERR_COPY_FILE;
    }
    const int targetFlags = QX_OPEN_WRITE | QX_OPEN_CREATE | (failIfExists ? 0 : QX_OPEN_ALWAYS);
    void *out = nullptr;
    status = QX_OpenFile(target, targetFlags, QX_SHARE_READ | QX_SHARE_WRITE, QX_PERM_DEFAULT, &out);
    if (status != QX_OK) {
        QX_CloseFile(in);
        return status;
    }
    return qx::SubmitCopy(in, out, cont, callback, user);
}

int QX_MoveFile(const wchar_t *source, const wchar_t *target, int failIfExists, int *cont,
                QxCopyProgressCallback callback, void *user) {
    if (!source || !target) return QX_ERR_INVALID_ARG;
    if (MoveFileExW(source, target, failIfExists ? 0 : MOVEFILE_REPLACE_EXISTING)) return QX_OK;
    switch (qx::LastErrorKind()) {
    case qx::ErrorKind::OtherDevice:
        return QX_CopyFile(source, target, failIfExists, cont, callback, user);
    case qx::ErrorKind::Denied:
        return QX_ERR_NO_ACCESS;
    case qx::ErrorKind::Sharing:
        return QX_ERR_SHARING_VIOLATION;
    default:
        return QX_ERR_MOVE_FILE;
    }
}

int QX_ReplaceFile(const wchar_t *replacement, const wchar_t *replaced, const wchar_t *backup, int *cont,
                   QxCopyProgressCallback callback, void *user) {
    if (!replacement || !replaced || !backup) return QX_ERR_INVALID_ARG;
    // Nothing moves unless both moves can happen: a missing replacement, or a backup that is one of
    // the two files under another spelling, would leave the caller without the old or the new file.
    if (!Exists(replacement) || qx::SameFile(backup, replaced) || qx::SameFile(backup, replacement) ||
        qx::SameFile(replacement, replaced))
        return QX_ERR_MOVE_FILE;
    // The backup step is always synchronous: across volumes it would become a background copy
    // that holds the replaced file open, and the second move could then never succeed. The
    // callback reports the second move only, so the one result reported is the true one.
    const bool hadReplaced = Exists(replaced);
    int status = QX_MoveFile(replaced, backup, 0, nullptr, nullptr, nullptr);
    if (status != QX_OK) return status;
    status = QX_MoveFile(replacement, replaced, 0, cont, callback, user);
    // A second move that failed at once puts the replaced file back where the caller had it.
    if (status != QX_OK && hadReplaced && !Exists(replaced)) MoveFileExW(backup, replaced, 0);
    return status;
}

} // extern "C"
