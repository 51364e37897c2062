// Registry branches under HKEY_LOCAL_MACHINE as the XML text form, streamed: the text is written
// while the branch is read and applied while it is read, so that memory grows with a branch's depth
// and its largest value, never with its number of values.
#pragma once

#include <windows.h>

#include "zx_gensys/core/xmlstream.h"
#include "zx_gensys/qx_gensys_export.h"

// Told of each item a registry import did not write, with the key it belongs to.
class IQxRegistryReport {
public:
    virtual ~IQxRegistryReport() = default;
    virtual void Refused(const wchar_t *key, const wchar_t *name, const char *reason) = 0;
};

// Writes the branch at keyPath as the XML text that the registry serializer's Read followed by the
// XML serializer's Write give (keys as levels, values as binary items tagged with their type).
// 0 when written; 1 when the branch is missing or holds nothing (nothing is written); -1 when it
// cannot be read whole (what was written is incomplete), with *reason (may be null).
QXG_API int QX_RegistryToXml(const wchar_t *keyPath, gensys::UnitSink &sink, const char **reason);

// Reads the text twice: first to check it (the strict reader; its node must be a level), then to
// write it below keyPath as the registry serializer's Write writes each item of the level: a value
// is set, a level replaces the subkey of its name with exactly its content. Items that the registry
// must not take from an untrusted source are refused one by one and reported: a value whose size
// does not fit its type (a REG_DWORD of other than 4 bytes, a REG_QWORD of other than 8, a string
// without its terminator), an unknown type, a link, a name with a zero character, a key name that
// is empty, too long or holds a separator. -1 when the text is refused whole (nothing is written),
// with *reason; otherwise the number of items refused or not written (0: all written).
QXG_API int QX_XmlToRegistry(gensys::RewindableUnitSource &xml, const wchar_t *keyPath,
                             IQxRegistryReport *report, const char **reason);
