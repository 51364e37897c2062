// The test's reader of the debug-output channel.
#include "testsupport/channel.h"

#include "testsupport/zxtest.h"

#include <memory>

namespace zxtest {

DebugChannelReader::DebugChannelReader() {
    InitializeCriticalSection(&m_lock);
    // A receiver that has just stopped still answers waiting writers for a moment: the channel is
    // taken once its objects are gone, within two seconds.
    for (int tries = 0;; ++tries) {
        m_buffer =
            CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, L"DBWIN_BUFFER");
        if (!m_buffer) return;
        if (GetLastError() != ERROR_ALREADY_EXISTS) break;
        CloseHandle(m_buffer);
        m_buffer = nullptr;
        if (tries == 100) return;
        Sleep(20);
    }
    m_bufferReady = CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_BUFFER_READY");
    m_dataReady = CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_DATA_READY");
    m_stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    m_view = static_cast<const char *>(MapViewOfFile(m_buffer, FILE_MAP_READ, 0, 0, 4096));
    if (!m_bufferReady || !m_dataReady || !m_stop || !m_view) return;
    m_thread = CreateThread(nullptr, 0, Listen, this, 0, nullptr);
}

DebugChannelReader::~DebugChannelReader() {
    if (m_thread) {
        SetEvent(m_stop);
        WaitForSingleObject(m_thread, INFINITE);
        CloseHandle(m_thread);
    }
    if (m_view) UnmapViewOfFile(m_view);
    for (HANDLE h : {m_buffer, m_bufferReady, m_dataReady, m_stop})
        if (h) CloseHandle(h);
    DeleteCriticalSection(&m_lock);
}

DWORD WINAPI DebugChannelReader::Listen(void *self) {
    auto *reader = static_cast<DebugChannelReader *>(self);
    HANDLE waits[2] = {reader->m_dataReady, reader->m_stop};
    for (;;) {
        SetEvent(reader->m_bufferReady);
        if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0) return 0;
        Text text;
        text.process = *reinterpret_cast<const DWORD *>(reader->m_view);
        const char *data = reader->m_view + sizeof(DWORD);
        text.text.assign(data, strnlen(data, 4096 - sizeof(DWORD)));
        EnterCriticalSection(&reader->m_lock);
        reader->m_texts.push_back(std::move(text));
        LeaveCriticalSection(&reader->m_lock);
    }
}

std::vector<std::string> DebugChannelReader::TextsOf(DWORD process) {
    std::vector<std::string> texts;
    EnterCriticalSection(&m_lock);
    for (const Text &t : m_texts)
        if (t.process == process) texts.push_back(t.text);
    LeaveCriticalSection(&m_lock);
    return texts;
}

bool DebugChannelReader::WaitFor(DWORD process,
                                 const std::function<bool(const std::vector<std::string> &)> &done,
                                 DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (done(TextsOf(process))) return true;
        if (GetTickCount() - start > timeoutMs) return false;
        Sleep(10);
    }
}

namespace {
std::unique_ptr<DebugChannelReader> g_reader;
}

DebugChannelReader &DebugChannel() {
    if (!g_reader) g_reader.reset(new DebugChannelReader);
    REQUIRE_MESSAGE(g_reader->Active(), "another reader holds the debug-output channel");
    return *g_reader;
}

void CloseDebugChannel() {
    g_reader.reset();
}

} // namespace zxtest
