// The serializer classes that the object factory creates.
#pragma once

#include <windows.h>

#include <string>

#include "zx_gensys/qx_rtti.h"
#include "zx_gensys/qx_variant.h"

namespace gensysw {

// Common base: answers QueryInterface and can be destroyed through the factory.
class SerializerBase : public IQxSerializer {
public:
    IQxInterface *QueryInterface(const char *interfaceName) override;
    virtual ~SerializerBase() = default;
};

// A registry branch under HKEY_LOCAL_MACHINE as a variant tree: keys are named lists, values
// are binary items tagged with their registry type. Source and target: a text variant named
// "HKEY_LOCAL_MACHINE" holding the key path.
class RegistrySerializer : public SerializerBase {
public:
    RegistrySerializer() = default;
    ~RegistrySerializer() override;
    RegistrySerializer(const RegistrySerializer &) = delete;
    RegistrySerializer &operator=(const RegistrySerializer &) = delete;

    int Read(CQxVariant &out, const CQxVariant &source) override;
    // A list item replaces the subkey of its name with exactly its content; a scalar item sets
    // the value of its name.
    int Write(const CQxVariant &target, const CQxVariant &value) override;

private:
    // The last target key stays open, so that a caller writing a branch value by value opens it
    // once instead of once per value (each registry call is a server round trip).
    SRWLOCK m_targetLock = SRWLOCK_INIT;
    std::wstring m_targetPath;
    HKEY m_target = nullptr;
};

// A variant tree as XML text. Source and target: a pointer variant named "string" pointing to
// a CQxStringW.
class XmlStringSerializer : public SerializerBase {
public:
    int Read(CQxVariant &out, const CQxVariant &source) override;
    int Write(const CQxVariant &target, const CQxVariant &value) override;
};

} // namespace gensysw
