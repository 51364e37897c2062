// CQxRscData, a shared list of keyed byte arrays, and the readers of raw-data resources.
#include <windows.h>

#include <cwchar>
#include <list>
#include <new>
#include <utility>

#include "zx_winsys/dynlib/resourcebytes.h"
#include "zx_winsys/internal/report.h"
#include "zx_winsys/qx_dynlib.h"

struct SQxRscList {
    volatile LONG references = 1;
    std::list<std::pair<CQxByteArrayW32 *, int>> entries;

    ~SQxRscList() {
        for (auto &entry : entries)
            delete entry.first;
    }
};

namespace {

const char kSource[] = "dynlib/dynlib";

void Release(SQxRscList *list) {
    if (list && InterlockedDecrement(&list->references) == 0) delete list;
}

SQxRscList *Share(SQxRscList *list) {
    if (list) InterlockedIncrement(&list->references);
    return list;
}

// The language keys of the bulk reader: primary languages 0..126 with the default sub-language,
// then Chinese (People's Republic) and modern Spanish.
const int kExtraLanguages[] = {2052, 3082};

} // namespace

CQxRscData::CQxRscData() : m_hModule(nullptr), m_pList(new (std::nothrow) SQxRscList) {}

CQxRscData::CQxRscData(const CQxRscData &source)
    : m_hModule(source.m_hModule), m_pList(Share(source.m_pList)) {}

CQxRscData::~CQxRscData() {
    Release(m_pList);
}

CQxRscData &CQxRscData::operator=(const CQxRscData &source) {
    if (this == &source) return *this;
    SQxRscList *shared = Share(source.m_pList);
    Release(m_pList);
    m_pList = shared;
    m_hModule = source.m_hModule;
    return *this;
}

void CQxRscData::UnrefDataMember() {
    Release(m_pList);
    m_pList = nullptr;
}

int CQxRscData::Clear() {
    if (!m_pList) return QX_OK;
    Release(m_pList);
    m_pList = new (std::nothrow) SQxRscList;
    return QX_OK;
}

int CQxRscData::AppendData(const void *data, unsigned int length, int key) {
    if (!m_pList) m_pList = new (std::nothrow) SQxRscList;
    if (!m_pList) return QX_ERR_SYSTEM;
    CQxByteArrayW32 *array = new (std::nothrow) CQxByteArrayW32(1024);
    if (!array) return QX_ERR_SYSTEM;
    if (length && array->SetData(data, length, eQxByteArraySet, eQxByteArrayAllocExact) != QX_OK) {
        delete array;
        return QX_ERR_SYSTEM;
    }
    try {
        m_pList->entries.emplace_back(array, key);
    } catch (const std::bad_alloc &) {
        delete array;
        return QX_ERR_SYSTEM;
    }
    return QX_OK;
}

int CQxRscData::GetCQxByteArrayW32Count() const {
    return m_pList ? static_cast<int>(m_pList->entries.size()) : 0;
}

const CQxByteArrayW32 &CQxRscData::GetCQxByteArrayW32(int index, int *key) const {
    static const CQxByteArrayW32 empty(1024);
    if (!m_pList || m_pList->entries.empty()) return empty;
    if (index < 0) index = 0;
    if (index >= static_cast<int>(m_pList->entries.size())) return empty;
    auto entry = m_pList->entries.begin();
    std::advance(entry, index);
    if (key) *key = entry->second;
    return *entry->first;
}

namespace {

// Appends the raw-data resource with identifier id of module, if there is one.
void ReadOne(CQxRscData &data, HMODULE module, int id, int key) {
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(10) /* RT_RCDATA */);
    if (!found) return;
    const void *bytes = nullptr;
    DWORD size = 0;
    if (qx::ResourceBytes(module, found, &bytes, &size))
        data.AppendData(bytes, size, key == -1 ? id : key);
    else {
        wchar_t message[128];
        swprintf(message, 128,
                 L"QX_RCDATAToCQxRscData: resource %d cannot be read (its bytes run past its library); left "
                 L"out.\n",
                 id);
        qx::Report(kSource, __LINE__, message);
    }
}

// The library at path as a data file, or null after a trace.
HMODULE LoadForReading(const wchar_t *path) {
    HMODULE module = path ? LoadLibraryExW(path, nullptr, LOAD_LIBRARY_AS_DATAFILE) : nullptr;
    if (!module)
        qx::Report(kSource, __LINE__,
                   L"QX_RCDATAToCQxRscData: the library cannot be loaded; nothing read.\n");
    return module;
}

} // namespace

CQxRscData &QX_RCDATAToCQxRscDataByID(CQxRscData &data, __qx_hmodule module, int id, int key) {
    ReadOne(data, static_cast<HMODULE>(module), id, key);
    return data;
}

CQxRscData &QX_RCDATAToCQxRscDataByID(CQxRscData &data, const wchar_t *libraryPath, int id, int key) {
    HMODULE module = LoadForReading(libraryPath);
    if (!module) return data; // never the program's own resources
    QX_RCDATAToCQxRscDataByID(data, static_cast<__qx_hmodule>(module), id, key);
    FreeLibrary(module);
    return data;
}

CQxRscData &QX_RCDATAToCQxRscData(CQxRscData &data, __qx_hmodule module) {
    data.Clear();
    for (int primary = 0; primary <= 126; ++primary)
        ReadOne(data, static_cast<HMODULE>(module), 0x400 + primary, -1);
    for (int id : kExtraLanguages)
        ReadOne(data, static_cast<HMODULE>(module), id, -1);
    return data;
}

CQxRscData &QX_RCDATAToCQxRscData(CQxRscData &data, const wchar_t *libraryPath) {
    HMODULE module = LoadForReading(libraryPath);
    if (!module) {
        data.Clear();
        return data;
    }
    QX_RCDATAToCQxRscData(data, static_cast<__qx_hmodule>(module));
    FreeLibrary(module);
    return data;
}
