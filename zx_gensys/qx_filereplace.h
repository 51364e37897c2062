// Files replaced in one step: the new bytes go to a temporary file beside the target, which then
// takes the target's place, so that a writer killed half way leaves the old file whole. What such
// a writer leaves is at most a temporary file "<name>.<hex>-<hex>-<hex>.tmp" beside it.
#pragma once

#include <windows.h>

#include <stddef.h>

#include "zx_gensys/qx_gensys_export.h"

// Replaces (or creates) path with size bytes. A read-only target stays as it is. 0, or -1 with
// the system's error of the failing step as the thread's last error (ERROR_FILE_READ_ONLY for a
// read-only target). Every attempt names its temporary file anew: a leftover never blocks it.
QXG_CAPI int QX_WriteFileReplacing(const wchar_t *path, const void *bytes, size_t size);

// Removes the temporary files of such writes in folder that were last written before *before:
// with a name, those of that file only; without one (null), those of every ".bin" and ".xml"
// file, read-only ones included. A file still open in another writer is left alone. Returns how
// many went.
QXG_CAPI int QX_RemoveStaleTemporaries(const wchar_t *folder, const wchar_t *name, const FILETIME *before);
