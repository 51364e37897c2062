// The process-wide table of run types.
#include <windows.h>

#include <vector>

#include "zx_gensys/qx_variant.h"

namespace {

struct RunTypes {
    CRITICAL_SECTION lock;
    std::vector<CQxVariant> types; // id = index + 1
    RunTypes() { InitializeCriticalSection(&lock); }
    ~RunTypes() { DeleteCriticalSection(&lock); }
};

// Made on first use, so that programs may register their types from static constructors.
RunTypes &Table() {
    static RunTypes table;
    return table;
}

int FindLocked(RunTypes &t, const wchar_t *name) {
    for (size_t i = 0; i < t.types.size(); ++i)
        if (t.types[i].GetName() == name) return static_cast<int>(i) + 1;
    return -1;
}

} // namespace

int CQxVariant::RegisterRunType(const CQxVariant &type) {
    if (type.GetName().IsEmpty()) return -1;
    RunTypes &t = Table();
    EnterCriticalSection(&t.lock);
    int id = FindLocked(t, type.GetName().GetString());
    if (id < 0) {
        t.types.push_back(type);
        id = static_cast<int>(t.types.size());
    }
    LeaveCriticalSection(&t.lock);
    return id;
}

int CQxVariant::FindRunType(const wchar_t *name) {
    if (!name) return -1;
    RunTypes &t = Table();
    EnterCriticalSection(&t.lock);
    int id = FindLocked(t, name);
    LeaveCriticalSection(&t.lock);
    return id;
}
