// QX_StringToDouble and QX_DoubleToString against the runtime's wcstod and _snwprintf on 10^6
// values, in the same run.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <random>
#include <string>
#include <vector>

#include "bench/benchutil.h"
#include "zx_winsys/zx_winsys.h"

int wmain() {
    const int count = 1000000;
    std::mt19937_64 random(5);
    std::vector<double> values(count);
    std::vector<std::wstring> texts(count);
    for (int i = 0; i < count; ++i) {
        values[static_cast<size_t>(i)] = static_cast<double>(random() % 100000000) / 1000.0;
        wchar_t text[64];
        _snwprintf(text, 63, L"%.3f", values[static_cast<size_t>(i)]);
        text[63] = L'\0';
        texts[static_cast<size_t>(i)] = text;
    }
    volatile double sink = 0.0;
    bench::Stopwatch watch;
    for (const std::wstring &t : texts) {
        double v = 0.0;
        QX_StringToDouble(t.c_str(), &v);
        sink = v;
    }
    const double ours = watch.Seconds();
    watch.Restart();
    for (const std::wstring &t : texts)
        sink = QX_wstrtod(t.c_str(), nullptr);
    const double raw = watch.Seconds();
    std::printf("reading 10^6 values: QX_StringToDouble %.3f s, wcstod %.3f s, ratio %.2f\n", ours, raw, ours / raw);

    wchar_t buffer[64];
    watch.Restart();
    for (double v : values)
        QX_DoubleToString(v, 3, buffer, 64);
    const double oursOut = watch.Seconds();
    watch.Restart();
    for (double v : values)
        _snwprintf(buffer, 64, L"%.*lf", 3, v);
    const double rawOut = watch.Seconds();
    std::printf("writing 10^6 values: QX_DoubleToString %.3f s, _snwprintf %.3f s, ratio %.2f\n", oursOut, rawOut,
                oursOut / rawOut);
    (void)sink;
    return 0;
}
