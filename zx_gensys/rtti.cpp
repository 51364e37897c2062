// The object factory.
#include <windows.h>

#include <cstring>
#include <new>
#include <set>

#include "zx_gensys/internal/serializers.h"

namespace {

// Objects handed out and not yet released, so that Release destroys only those.
struct LiveObjects {
    CRITICAL_SECTION lock;
    std::set<IQxInterface *> objects;
    LiveObjects() { InitializeCriticalSection(&lock); }
    ~LiveObjects() { DeleteCriticalSection(&lock); }
};

LiveObjects &Live() {
    static LiveObjects live;
    return live;
}

} // namespace

namespace gensysw {

IQxInterface *SerializerBase::QueryInterface(const char *interfaceName) {
    return interfaceName && std::strcmp(interfaceName, "IQxSerializer") == 0 ? this : nullptr;
}

} // namespace gensysw

IQxInterface *CQxRTTI::CreateAndQuery(const wchar_t *className, const char *interfaceName,
                                      const SQxFileLine &) {
    if (!className || !interfaceName || std::strcmp(interfaceName, "IQxSerializer") != 0) return nullptr;
    gensysw::SerializerBase *object = nullptr;
    if (wcscmp(className, L"CQxSerializerRegistryNew") == 0)
        object = new (std::nothrow) gensysw::RegistrySerializer;
    else if (wcscmp(className, L"CQxSerializerXMLString") == 0)
        object = new (std::nothrow) gensysw::XmlStringSerializer;
    if (!object) return nullptr;
    IQxInterface *handed = object->QueryInterface(interfaceName);
    LiveObjects &live = Live();
    EnterCriticalSection(&live.lock);
    live.objects.insert(handed);
    LeaveCriticalSection(&live.lock);
    return handed;
}

void CQxRTTI::Release(IQxInterface *object) {
    if (!object) return;
    LiveObjects &live = Live();
    EnterCriticalSection(&live.lock);
    const bool known = live.objects.erase(object) == 1;
    LeaveCriticalSection(&live.lock);
    if (known) delete static_cast<gensysw::SerializerBase *>(static_cast<IQxSerializer *>(object));
}
