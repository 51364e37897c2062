/* Dynamic libraries, module paths, sections of executable files, raw-data resources, and the
 * byte arrays that carry resource data.
 *
 * Whoever loads a library unloads it (QX_LoadLibrary / QX_UnloadLibrary); data from
 * QX_GetDataSeg belongs to the caller until QX_FreeDataSeg. */
#ifndef QX_DYNLIB_H
#define QX_DYNLIB_H

#include <stddef.h>

#include "zx_winsys/qx_export.h"
#include "zx_winsys/qx_status.h"

/* A loaded module: the system's module handle as an opaque value; null means none. */
typedef void *__qx_hmodule;

/* Where CQxByteArrayW32::SetData writes. Any value other than 1 acts as 0. */
enum EQxByteArrayModeOp {
    eQxByteArraySet = 0,    /* from the start; the old contents are replaced */
    eQxByteArrayAppend = 1  /* after the bytes in use */
};

/* How CQxByteArrayW32::SetData may grow the block. Any other value acts as 0. */
enum EQxByteArrayModeAlloc {
    eQxByteArrayAllocExact = 0, /* to exactly the bytes needed */
    eQxByteArrayAllocNone = 1,  /* never */
    eQxByteArrayAllocStep = 2   /* by whole growth steps */
};

#ifdef __cplusplus
extern "C" {
#endif

/* Loads the library ("/" and "\\" both separate) with the system's search order. Null on
 * failure; a null or empty path is reported as an assertion. */
QX_API __qx_hmodule QX_LoadLibrary(const wchar_t *path);
/* 0; QX_ERR_INVALID_ARG for a null handle; QX_ERR_SYSTEM when the system refuses. */
QX_API int QX_UnloadLibrary(__qx_hmodule lib);
/* Address of the exported symbol, or null. name may be an ordinal (a value below 65,536), as the
 * system takes it. */
QX_API void *QX_GetSymbol(__qx_hmodule lib, const char *name);
/* The platform's library file-name extension (".dll") and prefix (""). */
QX_API const wchar_t *QX_GetDllExt(void);
QX_API const wchar_t *QX_GetDllPref(void);
/* Full path of module (null: the program) into buffer of length characters, cut at length and
 * always terminated. 0, or QX_ERR_SYSTEM (buffer "") when the system gives no path. */
QX_API int QX_GetModuleFileName(__qx_hmodule module, wchar_t *buffer, int length);

/* Copies the raw data of the first section named section (compared without regard to case, at
 * most 8 characters) out of the 32- or 64-bit executable file at path into a new block: *data
 * and *size. A section without raw data gives 0 with *data null and *size 0. 0;
 * QX_ERR_CANNOT_OPEN when the file cannot be opened; QX_ERR_SYSTEM otherwise, also for a file
 * whose headers or section table point outside it. */
QX_API int QX_GetDataSeg(const wchar_t *path, const char *section, void **data,
                         unsigned int *size);
/* Frees a block from QX_GetDataSeg and sets *data to null. Always 0 (also for null pointers). */
QX_API int QX_FreeDataSeg(void **data);
/* Copies the data file into the library as the language-neutral raw-data resource name, and
 * back. 0 or QX_ERR_SYSTEM; the reason is then in QX_GetResCopyError().
 * QX_ResourceToDll updates a copy of the library and replaces the library only once the new
 * resource reads back byte for byte: a failed update leaves the library as it was. An empty data
 * file is refused ("Updating resource failed."). QX_DllToResource writes the data file only once
 * it has the resource's bytes; a write that fails gives "Cannot write the data file.". */
QX_API int QX_ResourceToDll(const wchar_t *name, const wchar_t *libraryPath, const wchar_t *dataPath);
QX_API int QX_DllToResource(const wchar_t *name, const wchar_t *libraryPath, const wchar_t *dataPath);
/* Text of the most recent failure of the two calls above, or null before the first one.
 * Success does not clear it. */
QX_API const wchar_t *QX_GetResCopyError(void);

#ifdef __cplusplus
}

/* A growable byte buffer with a cursor. Sizes and offsets are unsigned 32-bit; the growth step
 * is never 0. */
class QX_API CQxByteArrayW32 {
public:
    explicit CQxByteArrayW32(unsigned int growStep = 1024);
    CQxByteArrayW32(const void *data, unsigned int length, unsigned int growStep);
    CQxByteArrayW32(const CQxByteArrayW32 &source);
    ~CQxByteArrayW32();

    /* Frees the own block and copies the source's bytes; the own growth step stays. */
    CQxByteArrayW32 &operator=(const CQxByteArrayW32 &source);

    /* Writes length bytes of data (null: only reserves room) as op and alloc say. 0;
     * QX_ERR_NO_MEMORY when the block could not be enlarged (or its size would pass 2^32 - 1,
     * then nothing is written); QX_ERR_TRUNCATED when only part was copied; QX_ERR_SYSTEM when
     * nothing could be. GetAllocated() grows exactly as the mode says; the block underneath may be
     * larger, so that appending in small pieces takes amortised constant time. */
    int SetData(const void *data, unsigned int length, EQxByteArrayModeOp op,
                EQxByteArrayModeAlloc alloc);
    /* Frees the block; every field becomes 0 except the growth step. */
    void FreeData();

    /* QX_ERR_INVALID_ARG when offset is beyond the allocated bytes. */
    int SetCurrentOffset(unsigned int offset);
    /* QX_ERR_INVALID_ARG when pointer or the data is null or pointer lies outside the block. */
    int SetCurrentOffsetPtr(const void *pointer);
    /* The cursor, or 0 when it lies beyond the allocated bytes. */
    unsigned int GetCurrentOffset() const;
    unsigned char *GetCurrentOffsetPtr() const;

    /* Equal when the bytes in use are equal. */
    bool operator==(const CQxByteArrayW32 &other) const;
    bool operator!=(const CQxByteArrayW32 &other) const;

    unsigned char *GetData() const;
    /* Sets the size to size when 0 < size <= GetAllocated(); returns the data pointer in every
     * case, for filling by the caller. */
    unsigned char *GetData(unsigned int size);
    unsigned int GetSize() const;
    unsigned int GetAllocated() const;

private:
    unsigned char *m_pData;
    unsigned int m_uCurrentOffset;
    unsigned int m_uSize;
    unsigned int m_uAllocated;
    unsigned int m_uGrowStep;
    unsigned int m_uCapacity;     /* bytes really reserved, at least m_uAllocated */
};

struct SQxRscList; /* reference-counted list of (array, key) entries */

/* A list of byte arrays, each tagged with an int key. operator= and the copy constructor share
 * the list; it is freed with its last holder. */
class QX_API CQxRscData {
public:
    CQxRscData();
    CQxRscData(const CQxRscData &source);
    ~CQxRscData();
    CQxRscData &operator=(const CQxRscData &source);

    /* Detaches the list from this object, so that its destruction does not free it (it goes with
     * the last object that shares it). Clear() also detaches before it makes a new list. */
    void UnrefDataMember();
    /* Replaces the list by a new empty one. Always 0. */
    int Clear();
    /* Appends a copy of the bytes with key. 0. */
    int AppendData(const void *data, unsigned int length, int key);
    int GetCQxByteArrayW32Count() const;
    /* The index-th array (a negative index: the first) and its key (key may be null). For an
     * index at or beyond the end (or any index of an empty list) a shared empty array, with *key
     * not written. */
    const CQxByteArrayW32 &GetCQxByteArrayW32(int index, int *key) const;

private:
    __qx_hmodule m_hModule;
    SQxRscList *m_pList;
};

/* Readers of raw-data resources; each returns data. key -1 takes the resource identifier as
 * key. A missing resource adds nothing. The path forms load the library as a data file and add
 * nothing when it cannot be loaded. These four are C++ functions (overloads); a null module
 * must be written (__qx_hmodule)0, since a bare NULL matches both forms. */
QX_API CQxRscData &QX_RCDATAToCQxRscDataByID(CQxRscData &data, __qx_hmodule module, int id,
                                             int key);
QX_API CQxRscData &QX_RCDATAToCQxRscDataByID(CQxRscData &data, const wchar_t *libraryPath, int id, int key);
/* Clears data, then reads the identifiers 0x400 + p (p = 0..126), 2052 and 3082 in this order. */
QX_API CQxRscData &QX_RCDATAToCQxRscData(CQxRscData &data, __qx_hmodule module);
QX_API CQxRscData &QX_RCDATAToCQxRscData(CQxRscData &data, const wchar_t *libraryPath);

#endif /* __cplusplus */

#endif
