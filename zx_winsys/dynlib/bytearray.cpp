// CQxByteArrayW32: a growable byte buffer with a cursor.
//
// GetAllocated() grows exactly as the modes say; the block underneath (m_uCapacity) grows at least
// geometrically, so that appending in small pieces stays linear.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "zx_winsys/qx_dynlib.h"

CQxByteArrayW32::CQxByteArrayW32(unsigned int growStep)
    : m_pData(nullptr), m_uCurrentOffset(0), m_uSize(0), m_uAllocated(0),
      m_uGrowStep(growStep ? growStep : 1), m_uCapacity(0) {}

CQxByteArrayW32::CQxByteArrayW32(const void *data, unsigned int length, unsigned int growStep)
    : CQxByteArrayW32(growStep) {
    SetData(data, length, eQxByteArraySet, eQxByteArrayAllocExact);
}

CQxByteArrayW32::CQxByteArrayW32(const CQxByteArrayW32 &source) : CQxByteArrayW32(source.m_uGrowStep) {
    SetData(source.m_pData, source.m_uSize, eQxByteArraySet, eQxByteArrayAllocExact);
}

CQxByteArrayW32::~CQxByteArrayW32() {
    FreeData();
}

CQxByteArrayW32 &CQxByteArrayW32::operator=(const CQxByteArrayW32 &source) {
    if (this == &source) return *this;
    FreeData();
    SetData(source.m_pData, source.m_uSize, eQxByteArraySet, eQxByteArrayAllocExact);
    return *this;
}

int CQxByteArrayW32::SetData(const void *data, unsigned int length, EQxByteArrayModeOp op,
                             EQxByteArrayModeAlloc alloc) {
    const unsigned int base = op == eQxByteArrayAppend ? m_uSize : 0;
    int result = QX_OK;
    if (m_uAllocated - base < length && alloc != eQxByteArrayAllocNone) {
        // The new allocation, checked in 32 bits: a size that does not fit is refused, unwritten.
        const uint64_t needed = uint64_t(base) + length;
        uint64_t allocated = needed;
        if (alloc == eQxByteArrayAllocStep)
            allocated = m_uAllocated + ((needed - m_uAllocated) / m_uGrowStep + 1) * uint64_t(m_uGrowStep);
        if (allocated > 0xFFFFFFFFull) return QX_ERR_NO_MEMORY;
        if (allocated > m_uCapacity) {
            uint64_t capacity = uint64_t(m_uCapacity) * 2;
            if (capacity < allocated || capacity > 0xFFFFFFFFull) capacity = allocated;
            void *grown = std::realloc(m_pData, static_cast<size_t>(capacity));
            if (!grown && capacity > allocated) {
                capacity = allocated;
                grown = std::realloc(m_pData, static_cast<size_t>(capacity));
            }
            if (grown) {
                m_pData = static_cast<unsigned char *>(grown);
                m_uCapacity = static_cast<unsigned int>(capacity);
                m_uAllocated = static_cast<unsigned int>(allocated);
            } else {
                result = QX_ERR_NO_MEMORY; // the old block stays
            }
        } else {
            m_uAllocated = static_cast<unsigned int>(allocated);
        }
    }
    if (!data) return result;
    const unsigned int room = m_uAllocated - base;
    const unsigned int copied = room < length ? room : length;
    if (copied > 0) {
        std::memcpy(m_pData + base, data, copied);
        m_uSize = base + copied;
        if (copied < length) return QX_ERR_TRUNCATED;
    } else if (length > 0) {
        return QX_ERR_SYSTEM;
    }
    return result;
}

void CQxByteArrayW32::FreeData() {
    std::free(m_pData);
    m_pData = nullptr;
    m_uCurrentOffset = m_uSize = m_uAllocated = m_uCapacity = 0;
}

int CQxByteArrayW32::SetCurrentOffset(unsigned int offset) {
    if (offset > m_uAllocated) return QX_ERR_INVALID_ARG;
    m_uCurrentOffset = offset;
    return QX_OK;
}

int CQxByteArrayW32::SetCurrentOffsetPtr(const void *pointer) {
    const unsigned char *p = static_cast<const unsigned char *>(pointer);
    if (!p || !m_pData || p < m_pData) return QX_ERR_INVALID_ARG;
    // The distance at pointer width: data + 2^32 + 5 is no offset 5.
    const size_t distance = static_cast<size_t>(p - m_pData);
    if (distance > m_uAllocated) return QX_ERR_INVALID_ARG;
    return SetCurrentOffset(static_cast<unsigned int>(distance));
}

unsigned int CQxByteArrayW32::GetCurrentOffset() const {
    return m_uCurrentOffset > m_uAllocated ? 0 : m_uCurrentOffset;
}

unsigned char *CQxByteArrayW32::GetCurrentOffsetPtr() const {
    return m_pData + GetCurrentOffset();
}

bool CQxByteArrayW32::operator==(const CQxByteArrayW32 &other) const {
    return m_uSize == other.m_uSize && (m_uSize == 0 || std::memcmp(m_pData, other.m_pData, m_uSize) == 0);
}

bool CQxByteArrayW32::operator!=(const CQxByteArrayW32 &other) const {
    return !(*this == other);
}

unsigned char *CQxByteArrayW32::GetData() const {
    return m_pData;
}

unsigned char *CQxByteArrayW32::GetData(unsigned int size) {
    if (size > 0 && size <= m_uAllocated) m_uSize = size;
    return m_pData;
}

unsigned int CQxByteArrayW32::GetSize() const {
    return m_uSize;
}

unsigned int CQxByteArrayW32::GetAllocated() const {
    return m_uAllocated;
}
