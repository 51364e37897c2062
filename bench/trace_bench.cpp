// 20,000 trace records of 100 characters: with the option word 0x02 against OutputDebugStringW of
// the same finished text, with and without a reader of the channel; with 0x10 against the log
// file's own raw write of the same line. One run.
#include <windows.h>

#include <cstdio>
#include <string>

#include "bench/benchutil.h"
#include "testsupport/channel.h"
#include "zx_winsys/zx_winsys.h"

namespace {

const int kRecords = 20000;

double Records(const std::wstring &text, int count = kRecords) {
    bench::Stopwatch watch;
    for (int i = 0; i < count; ++i)
        DiagOutputExW(L"%s", text.c_str());
    return watch.Seconds();
}

double Raw(const std::wstring &finished, int count) {
    bench::Stopwatch watch;
    for (int i = 0; i < count; ++i)
        OutputDebugStringW(finished.c_str());
    return watch.Seconds();
}

} // namespace

int wmain() {
    const std::wstring text = std::wstring(100, L't');
    const std::wstring finished = L"|wndid:0 " + text + L"\r\n";
    QX_SetTraceOptions(QX_DIAG_DEBUGGER);
    std::printf("%d records of 100 characters\n", kRecords);
    for (int reader = 0; reader < 2; ++reader) {
        zxtest::DebugChannelReader *channel = reader ? new zxtest::DebugChannelReader : nullptr;
        if (channel && !channel->Active()) std::printf("  (another reader holds the channel)\n");
        // Alternating rounds, so that both see the same machine.
        double ours = 0.0, raw = 0.0;
        for (int round = 0; round < 4; ++round) {
            ours += Records(text, kRecords / 4);
            raw += Raw(finished, kRecords / 4);
        }
        std::printf("  channel, %s reader: DiagOutputExW %.3f s, OutputDebugStringW %.3f s, ratio %.2f\n",
                    reader ? "with a" : "without", ours, raw, ours / raw);
        delete channel;
    }
    QX_SetTraceOptions(QX_DIAG_LOGFILE);
    const double ours = Records(text);
    bench::Stopwatch watch;
    for (int i = 0; i < kRecords; ++i)
        QX_Log(finished.c_str());
    const double raw = watch.Seconds();
    std::printf("  log file: DiagOutputExW %.3f s, QX_Log of the finished record %.3f s, ratio %.2f\n", ours, raw,
                ours / raw);
    return 0;
}
