// A serializer of the general library, created for one use and released at the end of scope.
#pragma once

#include "zx_gensys/qx_rtti.h"

namespace sx {

class Serializer {
public:
    Serializer(const wchar_t *className, const SQxFileLine &where)
        : m_object(static_cast<IQxSerializer *>(CQxRTTI::CreateAndQuery(className, "IQxSerializer", where))) {
    }
    ~Serializer() { CQxRTTI::Release(m_object); }
    Serializer(const Serializer &) = delete;
    Serializer &operator=(const Serializer &) = delete;

    // Null when the class could not be made: the step that needs it is skipped.
    IQxSerializer *operator->() const { return m_object; }
    explicit operator bool() const { return m_object != nullptr; }

private:
    IQxSerializer *m_object;
};

} // namespace sx

#define SX_HERE (SQxFileLine{__FILE__, __LINE__})
#define SX_REGISTRY_SERIALIZER L"CQxSerializerRegistryNew"
#define SX_XML_SERIALIZER L"CQxSerializerXMLString"
