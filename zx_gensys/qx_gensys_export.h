// Export convention of zx_gensys: exported classes, and C functions with undecorated names.
#pragma once

#if defined(ZX_GENSYS_BUILD)
#define QXG_API __declspec(dllexport)
#else
#define QXG_API __declspec(dllimport)
#endif
// Flat C functions of the library.
#define QXG_CAPI extern "C" QXG_API

#ifdef _MSC_VER
// Exported classes keep standard-library members; both sides use the same compiler.
#pragma warning(disable : 4251)
#endif
