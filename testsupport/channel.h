// A reader of the system debug-output channel ("DBWIN_BUFFER"), as a debugger or a debug-output
// viewer reads it, for tests. There is one reader per machine (per Wine server): tests that use
// it hold the ctest resource lock "dbwin".
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace zxtest {

class DebugChannelReader {
public:
    struct Text {
        DWORD process;
        std::string text; // as the channel carries it: the system's ANSI code page
    };

    DebugChannelReader();
    ~DebugChannelReader();
    DebugChannelReader(const DebugChannelReader &) = delete;
    DebugChannelReader &operator=(const DebugChannelReader &) = delete;

    // False when another reader holds the channel (or the objects cannot be made).
    bool Active() const { return m_thread != nullptr; }
    // The texts received so far from one process.
    std::vector<std::string> TextsOf(DWORD process);
    // Waits until the texts of process satisfy done, at most timeoutMs.
    bool WaitFor(DWORD process, const std::function<bool(const std::vector<std::string> &)> &done,
                 DWORD timeoutMs = 10000);

private:
    static DWORD WINAPI Listen(void *self);

    HANDLE m_buffer = nullptr;
    HANDLE m_bufferReady = nullptr;
    HANDLE m_dataReady = nullptr;
    HANDLE m_stop = nullptr;
    HANDLE m_thread = nullptr;
    const char *m_view = nullptr;
    CRITICAL_SECTION m_lock;
    std::vector<Text> m_texts;
};

// The test program's one reader, made on first use; fails the test when another reader holds the
// channel. CloseDebugChannel lets go of it (for tests that receive the channel themselves).
DebugChannelReader &DebugChannel();
void CloseDebugChannel();

} // namespace zxtest
