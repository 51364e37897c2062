// CQxVariant: a named value or a named list of variants; CQxListVariant: the list.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "zx_gensys/qx_gensys_export.h"
#include "zx_gensys/qx_string.h"

class CQxVariant;

enum class EQxVariantType { Empty, Bool, Int, Unsigned, Int64, UInt64, Double, Text, Binary, Pointer, List };

class QXG_API CQxListVariant {
public:
    CQxListVariant();
    CQxListVariant(const CQxListVariant &other);
    CQxListVariant &operator=(const CQxListVariant &other);
    ~CQxListVariant();

    int GetCount() const;
    // index must be below GetCount().
    CQxVariant &operator[](int index);
    const CQxVariant &operator[](int index) const;
    void Add(const CQxVariant &item);
    void RemoveAll();

private:
    struct Items;
    Items *m_items;
};

class QXG_API CQxVariant {
public:
    CQxVariant(); // empty, without a name
    CQxVariant(const wchar_t *text, const wchar_t *name);
    CQxVariant(const CQxStringW &text, const wchar_t *name); // keeps zero characters inside the text
    CQxVariant(void *pointer, const wchar_t *name);
    CQxVariant(int value, const wchar_t *name);
    CQxVariant(unsigned value, const wchar_t *name);
    CQxVariant(const CQxListVariant &list, const wchar_t *name);
    CQxVariant(const CQxVariant &other);
    CQxVariant &operator=(const CQxVariant &other);
    ~CQxVariant();

    static CQxVariant FromBool(bool value, const wchar_t *name);
    static CQxVariant FromInt64(int64_t value, const wchar_t *name);
    static CQxVariant FromUInt64(uint64_t value, const wchar_t *name);
    static CQxVariant FromDouble(double value, const wchar_t *name);
    // Bytes with a 32-bit tag (the registry serializer keeps a value's type number there).
    static CQxVariant FromBinary(const void *data, size_t size, uint32_t tag, const wchar_t *name);

    const CQxStringW &GetName() const;
    void SetName(const wchar_t *name);
    void SetName(const CQxStringW &name);
    EQxVariantType GetType() const;
    // True for the empty variant and for an empty list.
    bool IsEmpty() const;

    bool GetBool() const;
    int64_t GetInt() const;       // Int and Int64
    uint64_t GetUnsigned() const; // Unsigned and UInt64
    double GetDouble() const;
    const CQxStringW &GetText() const;
    void *GetPointer() const;
    const void *GetBinary(size_t *size) const;
    uint32_t GetTag() const;

    // Items of a list (0 for other types); index must be below GetCount().
    int GetCount() const;
    CQxVariant &operator[](int index);
    const CQxVariant &operator[](int index) const;
    // The list of a list variant; an empty variant becomes an empty list first. Null (and
    // *error = -1 when error is given) for other types.
    CQxListVariant *GetCQxListVariant(int *error);

    // Whether Assign may replace a value of one type with a value of another type.
    void EnableTypeChange(bool enable);
    // Takes other's type and value (the name stays). -1 when the types differ, this variant is
    // not empty and type changes are not enabled.
    int Assign(const CQxVariant &other);

    // A structure type description: a list named name holding copies of members, an array
    // ended by an empty variant.
    static CQxVariant CreateStruct(const wchar_t *name, const CQxVariant *members);
    // Registers a run type (a structure from CreateStruct) under its name; returns its id (1 and
    // up; the same id for a name registered before) or -1 for a variant without a name.
    static int RegisterRunType(const CQxVariant &type);
    // The id of a registered run type, or -1.
    static int FindRunType(const wchar_t *name);

private:
    struct Impl;
    Impl *m_impl;
};
