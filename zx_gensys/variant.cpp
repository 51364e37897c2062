// CQxVariant and CQxListVariant.
#include "zx_gensys/qx_variant.h"

#include <string>
#include <vector>

struct CQxListVariant::Items {
    std::vector<CQxVariant> items;
};

struct CQxVariant::Impl {
    CQxStringW name;
    EQxVariantType type = EQxVariantType::Empty;
    bool typeChange = false;
    bool boolean = false;
    int64_t integer = 0;
    uint64_t unsignedValue = 0;
    double real = 0.0;
    CQxStringW text;
    std::string bytes;
    uint32_t tag = 0;
    void *pointer = nullptr;
    CQxListVariant list;
};

namespace {

// What an out-of-range index refers to (callers must stay below GetCount()).
CQxVariant &NullVariant() {
    static CQxVariant null;
    null = CQxVariant();
    return null;
}

} // namespace

CQxListVariant::CQxListVariant() : m_items(new Items) {}
CQxListVariant::CQxListVariant(const CQxListVariant &other) : m_items(new Items(*other.m_items)) {}
CQxListVariant &CQxListVariant::operator=(const CQxListVariant &other) {
    if (this != &other) *m_items = *other.m_items;
    return *this;
}
CQxListVariant::~CQxListVariant() {
    delete m_items;
}

int CQxListVariant::GetCount() const {
    return static_cast<int>(m_items->items.size());
}

CQxVariant &CQxListVariant::operator[](int index) {
    if (index < 0 || index >= GetCount()) return NullVariant();
    return m_items->items[static_cast<size_t>(index)];
}

const CQxVariant &CQxListVariant::operator[](int index) const {
    if (index < 0 || index >= GetCount()) return NullVariant();
    return m_items->items[static_cast<size_t>(index)];
}

void CQxListVariant::Add(const CQxVariant &item) {
    m_items->items.push_back(item);
}
void CQxListVariant::RemoveAll() {
    m_items->items.clear();
}

CQxVariant::CQxVariant() : m_impl(new Impl) {}

CQxVariant::CQxVariant(const wchar_t *text, const wchar_t *name) : m_impl(new Impl) {
    m_impl->name = name;
    m_impl->type = EQxVariantType::Text;
    m_impl->text = text;
}

CQxVariant::CQxVariant(const CQxStringW &text, const wchar_t *name) : m_impl(new Impl) {
    m_impl->name = name;
    m_impl->type = EQxVariantType::Text;
    m_impl->text = text;
}

CQxVariant::CQxVariant(void *pointer, const wchar_t *name) : m_impl(new Impl) {
    m_impl->name = name;
    m_impl->type = EQxVariantType::Pointer;
    m_impl->pointer = pointer;
}

CQxVariant::CQxVariant(int value, const wchar_t *name) : m_impl(new Impl) {
    m_impl->name = name;
    m_impl->type = EQxVariantType::Int;
    m_impl->integer = value;
}

CQxVariant::CQxVariant(unsigned value, const wchar_t *name) : m_impl(new Impl) {
    m_impl->name = name;
    m_impl->type = EQxVariantType::Unsigned;
    m_impl->unsignedValue = value;
}

CQxVariant::CQxVariant(const CQxListVariant &list, const wchar_t *name) : m_impl(new Impl) {
    m_impl->name = name;
    m_impl->type = EQxVariantType::List;
    m_impl->list = list;
}

CQxVariant::CQxVariant(const CQxVariant &other) : m_impl(new Impl(*other.m_impl)) {}

CQxVariant &CQxVariant::operator=(const CQxVariant &other) {
    if (this != &other) *m_impl = *other.m_impl;
    return *this;
}

CQxVariant::~CQxVariant() {
    delete m_impl;
}

CQxVariant CQxVariant::FromBool(bool value, const wchar_t *name) {
    CQxVariant v;
    v.m_impl->name = name;
    v.m_impl->type = EQxVariantType::Bool;
    v.m_impl->boolean = value;
    return v;
}

CQxVariant CQxVariant::FromInt64(int64_t value, const wchar_t *name) {
    CQxVariant v;
    v.m_impl->name = name;
    v.m_impl->type = EQxVariantType::Int64;
    v.m_impl->integer = value;
    return v;
}

CQxVariant CQxVariant::FromUInt64(uint64_t value, const wchar_t *name) {
    CQxVariant v;
    v.m_impl->name = name;
    v.m_impl->type = EQxVariantType::UInt64;
    v.m_impl->unsignedValue = value;
    return v;
}

CQxVariant CQxVariant::FromDouble(double value, const wchar_t *name) {
    CQxVariant v;
    v.m_impl->name = name;
    v.m_impl->type = EQxVariantType::Double;
    v.m_impl->real = value;
    return v;
}

CQxVariant CQxVariant::FromBinary(const void *data, size_t size, uint32_t tag, const wchar_t *name) {
    CQxVariant v;
    v.m_impl->name = name;
    v.m_impl->type = EQxVariantType::Binary;
    if (data && size) v.m_impl->bytes.assign(static_cast<const char *>(data), size);
    v.m_impl->tag = tag;
    return v;
}

const CQxStringW &CQxVariant::GetName() const {
    return m_impl->name;
}
void CQxVariant::SetName(const wchar_t *name) {
    m_impl->name = name;
}
void CQxVariant::SetName(const CQxStringW &name) {
    m_impl->name = name;
}
EQxVariantType CQxVariant::GetType() const {
    return m_impl->type;
}

bool CQxVariant::IsEmpty() const {
    return m_impl->type == EQxVariantType::Empty ||
           (m_impl->type == EQxVariantType::List && m_impl->list.GetCount() == 0);
}

bool CQxVariant::GetBool() const {
    return m_impl->boolean;
}
int64_t CQxVariant::GetInt() const {
    return m_impl->integer;
}
uint64_t CQxVariant::GetUnsigned() const {
    return m_impl->unsignedValue;
}
double CQxVariant::GetDouble() const {
    return m_impl->real;
}
const CQxStringW &CQxVariant::GetText() const {
    return m_impl->text;
}
void *CQxVariant::GetPointer() const {
    return m_impl->pointer;
}
uint32_t CQxVariant::GetTag() const {
    return m_impl->tag;
}

const void *CQxVariant::GetBinary(size_t *size) const {
    if (size) *size = m_impl->bytes.size();
    return m_impl->bytes.data();
}

int CQxVariant::GetCount() const {
    return m_impl->type == EQxVariantType::List ? m_impl->list.GetCount() : 0;
}

CQxVariant &CQxVariant::operator[](int index) {
    if (m_impl->type != EQxVariantType::List) return NullVariant();
    return m_impl->list[index];
}

const CQxVariant &CQxVariant::operator[](int index) const {
    if (m_impl->type != EQxVariantType::List) return NullVariant();
    return m_impl->list[index];
}

CQxListVariant *CQxVariant::GetCQxListVariant(int *error) {
    if (m_impl->type == EQxVariantType::Empty) m_impl->type = EQxVariantType::List;
    if (m_impl->type != EQxVariantType::List) {
        if (error) *error = -1;
        return nullptr;
    }
    if (error) *error = 0;
    return &m_impl->list;
}

void CQxVariant::EnableTypeChange(bool enable) {
    m_impl->typeChange = enable;
}

int CQxVariant::Assign(const CQxVariant &other) {
    if (this == &other) return 0;
    if (m_impl->type != EQxVariantType::Empty && m_impl->type != other.m_impl->type && !m_impl->typeChange)
        return -1;
    const CQxStringW name = m_impl->name;
    const bool typeChange = m_impl->typeChange;
    *m_impl = *other.m_impl;
    m_impl->name = name;
    m_impl->typeChange = typeChange;
    return 0;
}

CQxVariant CQxVariant::CreateStruct(const wchar_t *name, const CQxVariant *members) {
    CQxListVariant list;
    for (const CQxVariant *m = members; m && m->GetType() != EQxVariantType::Empty; ++m)
        list.Add(*m);
    return CQxVariant(list, name);
}
