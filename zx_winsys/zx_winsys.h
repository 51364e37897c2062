/* zx_winsys: the platform-services library. Includes every family header of the flat API. */
#ifndef ZX_WINSYS_H
#define ZX_WINSYS_H

#include "zx_winsys/qx_export.h"
/* The socket types come first: windows.h must not bring in the old socket header before them. */
#include "zx_winsys/qx_net.h"
#include "zx_winsys/qx_status.h"
#include "zx_winsys/qx_file.h"
#include "zx_winsys/qx_directory.h"
#include "zx_winsys/qx_storage.h"
#include "zx_winsys/qx_time.h"
#include "zx_winsys/qx_diag.h"
#include "zx_winsys/qx_text.h"
#include "zx_winsys/qx_capture.h"
#include "zx_winsys/qx_dynlib.h"

#ifdef __cplusplus
#include "zx_winsys/qx_threadpool.h"
#endif

#endif
