// How the library's own code reports: trace statements and assertion reports, each naming the
// library's source path (for example "timer/rdtsc") and the line.
#pragma once

namespace qx {

// Report form of a trace statement: the source location, then the message as one trace record.
void Report(const char *source, int line, const wchar_t *message);
// Detail trace: written only when the log file reports Detail(). printf-style, with the platform's
// wide rules ("%s" takes a wide string).
void Detail(const char *source, int line, const wchar_t *format, ...);
// An assertion report with the failure option word (DiagAssertW with option word 0).
void Assert(const wchar_t *expression, const wchar_t *message, const char *source, int line);

// True while the library is being loaded into the process (inside DllMain): nothing that would
// open files or load modules under the loader lock may run then.
bool Loading();
void SetLoading(bool loading);

} // namespace qx
