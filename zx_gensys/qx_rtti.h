// The object factory: named classes created for a named interface.
#pragma once

#include "zx_gensys/qx_gensys_export.h"

class CQxVariant;

// Where a creation was asked for (for diagnostics).
struct SQxFileLine {
    const char *file;
    int line;
};

struct IQxInterface {
    // Slot 0: the object's pointer for another interface name, or null.
    virtual IQxInterface *QueryInterface(const char *interfaceName) = 0;

protected:
    ~IQxInterface() = default;
};

struct IQxSerializer : IQxInterface {
    // Reads what source names into out. 0 on success; out is unchanged on failure.
    virtual int Read(CQxVariant &out, const CQxVariant &source) = 0;
    // Writes value to what target names. 0 on success.
    virtual int Write(const CQxVariant &target, const CQxVariant &value) = 0;

protected:
    ~IQxSerializer() = default;
};

class QXG_API CQxRTTI {
public:
    // Creates an object of the named class ("CQxSerializerRegistryNew", "CQxSerializerXMLString")
    // and returns it for the named interface ("IQxSerializer"), or null when either is unknown.
    static IQxInterface *CreateAndQuery(const wchar_t *className, const char *interfaceName,
                                        const SQxFileLine &where);
    // Destroys an object made by CreateAndQuery; null is ignored.
    static void Release(IQxInterface *object);
};
