// Logical drives, drive kinds, volume labels, and the network-path query.
#include <windows.h>

#include "zx_winsys/internal/critical_errors.h"
#include "zx_winsys/internal/strings.h"
#include "zx_winsys/qx_directory.h"

namespace {

int DriveKind(UINT systemType) {
    static const int kTable[][2] = {
        {DRIVE_UNKNOWN, QX_DRIVE_UNKNOWN},     {DRIVE_NO_ROOT_DIR, QX_DRIVE_NO_ROOT},
        {DRIVE_REMOVABLE, QX_DRIVE_REMOVABLE}, {DRIVE_FIXED, QX_DRIVE_FIXED},
        {DRIVE_REMOTE, QX_DRIVE_REMOTE},       {DRIVE_CDROM, QX_DRIVE_CDROM},
        {DRIVE_RAMDISK, QX_DRIVE_RAMDISK},     {-1, -1},
    };
    for (int i = 0; kTable[i][0] != -1; ++i)
        if (static_cast<UINT>(kTable[i][0]) == systemType) return kTable[i][1];
    return kTable[0][1];
}

} // namespace

extern "C" {

int QX_GetLogicalDriveStrings(wchar_t *buffer, int length, int *needed) {
    if (!buffer && length > 0) return QX_ERR_INVALID_ARG;
    const DWORD room = length > 0 ? static_cast<DWORD>(length) : 0;
    DWORD n = GetLogicalDriveStringsW(room, room ? buffer : nullptr);
    if (n == 0) return QX_ERR_LOGICAL_DRIVES;
    if (needed) *needed = static_cast<int>(n);
    return n > room ? QX_ERR_BUFFER_TOO_SMALL : QX_OK;
}

int QX_GetVolumeInformation(const wchar_t *root, SQxVolumeInfo *info) {
    if (!info) return QX_ERR_INVALID_ARG;
    info->driveKind = DriveKind(GetDriveTypeW(root));
    if (!info->label && !info->fileSystemName) return QX_OK;
    if (info->label && info->labelLength < 1) return QX_ERR_INVALID_ARG;

    // The system's label has at most MAX_PATH characters: the label is read into room of that
    // size, whatever length the caller gives (the length of an absent buffer is never used).
    wchar_t label[MAX_PATH + 1] = L"";
    DWORD serial = 0;
    BOOL ok;
    {
        qx::CriticalErrorsOff quiet;
        ok = GetVolumeInformationW(root, label, MAX_PATH + 1, &serial, nullptr, nullptr, nullptr, 0);
    }
    info->flags = 0;
    if (!ok) return QX_ERR_VOLUME_INFORMATION;

    wchar_t text[MAX_PATH + 1 + 16] = L"";
    const int kind = info->driveKind;
    if (kind == QX_DRIVE_REMOVABLE || kind == QX_DRIVE_CDROM || kind == QX_DRIVE_RAMDISK)
        swprintf(text, MAX_PATH + 1 + 16, L"%ls (%08lx)", label, static_cast<unsigned long>(serial));
    else
        swprintf(text, MAX_PATH + 1 + 16, L"%ls", label);

    if (info->label) qx::CopyBounded(info->label, info->labelLength, text, qx::Termination::Always);
    if (info->fileSystemName && info->fileSystemNameLength > 0) info->fileSystemName[0] = L'\0';
    return QX_OK;
}

int QX_GetUNCPath(const wchar_t *, wchar_t *, int) {
    return QX_ERR_NOT_AVAILABLE;
}

} // extern "C"
