/* Export convention of zx_winsys: undecorated C names with the default calling convention. */
#ifndef QX_EXPORT_H
#define QX_EXPORT_H

#ifndef QX_API
#if defined(ZX_WINSYS_BUILD)
#define QX_API __declspec(dllexport)
#else
#define QX_API __declspec(dllimport)
#endif
#endif

#ifdef __cplusplus
#define QX_EXTERN_C_BEGIN extern "C" {
#define QX_EXTERN_C_END }
#else
#define QX_EXTERN_C_BEGIN
#define QX_EXTERN_C_END
#endif

#endif
