// QX_IsDirectoryWritable: creates and deletes a probe file.
#include <windows.h>

#include <stdlib.h>
#include <string>

#include "zx_winsys/internal/strings.h"
#include "zx_winsys/qx_file.h"
#include "zx_winsys/qx_storage.h"

extern "C" bool QX_IsDirectoryWritable(const wchar_t *path) {
    if (!path) return false;
    wchar_t drive[qx::kMaxPath], dir[qx::kMaxPath], name[qx::kMaxPath], ext[qx::kMaxPath];
    if (_wsplitpath_s(path, drive, qx::kMaxPath, dir, qx::kMaxPath, name, qx::kMaxPath, ext, qx::kMaxPath) !=
        0)
        return false;
    // No name after the last separator: the path is the folder itself, probe inside it.
    // Otherwise the probe lies beside the named item, in its parent folder.
    std::wstring probe = name[0] == L'\0' ? std::wstring(drive) + dir + L"file_451_124_54545.tested"
                                          : std::wstring(path) + L".tested";
    if (probe.size() >= qx::kMaxPath) return false;
    void *file = nullptr;
    if (QX_OpenFile(probe.c_str(), QX_OPEN_WRITE | QX_OPEN_CREATE | QX_OPEN_ALWAYS, QX_SHARE_WRITE,
                    QX_PERM_DEFAULT, &file) != QX_OK)
        return false;
    QX_CloseFile(file);
    QX_RemoveFile(probe.c_str(), 0);
    return true;
}
