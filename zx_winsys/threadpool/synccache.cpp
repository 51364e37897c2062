// CSyncCache: a first-in, first-out queue of short narrow texts between threads.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <new>

#include "zx_winsys/qx_capture.h"

CSyncCacheMember::CSyncCacheMember(char *text) {
    // At most 1023 bytes, always terminated, the rest of the buffer zero.
    std::memset(m_szText, 0, sizeof m_szText);
    if (text) std::strncpy(m_szText, text, sizeof m_szText - 1);
}

CSyncCache::CSyncCache() {
    InitializeCriticalSection(&m_Lock);
}

CSyncCache::~CSyncCache() {
    DeleteCriticalSection(&m_Lock);
    m_List.clear();
}

int CSyncCache::PushBack(char *text) {
    EnterCriticalSection(&m_Lock);
    int status = QX_OK;
    try {
        m_List.emplace_back(text);
    } catch (const std::bad_alloc &) {
        status = QX_ERR_SYSTEM;
    }
    LeaveCriticalSection(&m_Lock);
    return status;
}

int CSyncCache::PopFrontW(wchar_t *out) {
    EnterCriticalSection(&m_Lock);
    if (m_List.empty() || !out) {
        LeaveCriticalSection(&m_Lock);
        return -1;
    }
    const CSyncCacheMember &front = m_List.front();
    // The entry's own length bounds the conversion; the output is terminated whatever happens.
    const size_t length = strnlen(front.m_szText, sizeof front.m_szText);
    const size_t converted = std::mbstowcs(out, front.m_szText, length < 1023 ? length + 1 : 1023);
    if (converted == static_cast<size_t>(-1))
        out[0] = L'\0';
    else
        out[converted < 1023 ? converted : 1023] = L'\0';
    m_List.pop_front();
    LeaveCriticalSection(&m_Lock);
    return 0;
}
