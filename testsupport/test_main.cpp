// The main function of every test program: child scenarios first, then doctest.
#define DOCTEST_CONFIG_IMPLEMENT
#include "testsupport/zxtest.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

// Ends the program, naming the test case, when one runs far longer than any should: a hang then
// says where it is, well before ctest's time-out ends the program without a word.
class HangWatch : public doctest::IReporter {
public:
    explicit HangWatch(const doctest::ContextOptions &) {
        InitializeCriticalSection(&s_lock);
        s_changed = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        if (HANDLE thread = CreateThread(nullptr, 0, Watchdog, nullptr, 0, nullptr)) CloseHandle(thread);
    }
    void report_query(const doctest::QueryData &) override {}
    void test_run_start() override {}
    void test_run_end(const doctest::TestRunStats &) override {}
    void test_case_start(const doctest::TestCaseData &data) override { Running(data.m_name); }
    void test_case_reenter(const doctest::TestCaseData &) override {}
    void test_case_end(const doctest::CurrentTestCaseStats &) override { Running(""); }
    void test_case_exception(const doctest::TestCaseException &) override {}
    void subcase_start(const doctest::SubcaseSignature &) override {}
    void subcase_end() override {}
    void log_assert(const doctest::AssertData &) override {}
    void log_message(const doctest::MessageData &) override {}
    void test_case_skipped(const doctest::TestCaseData &) override {}

private:
    static void Running(const char *name) {
        EnterCriticalSection(&s_lock);
        s_name = name;
        LeaveCriticalSection(&s_lock);
        SetEvent(s_changed);
    }
    static DWORD WINAPI Watchdog(void *) {
        const DWORD limitMs = static_cast<DWORD>(zxtest::LoadSize(600, 3600)) * 1000;
        for (;;) {
            if (WaitForSingleObject(s_changed, limitMs) != WAIT_TIMEOUT) continue;
            EnterCriticalSection(&s_lock);
            const std::string name = s_name;
            LeaveCriticalSection(&s_lock);
            if (name.empty()) continue;
            std::fprintf(stderr, "zxtest: the test case \"%s\" has run for %lu s: it hangs\n", name.c_str(),
                         static_cast<unsigned long>(limitMs / 1000));
            std::fflush(stderr);
            TerminateProcess(GetCurrentProcess(), 3);
        }
    }
    static CRITICAL_SECTION s_lock;
    static HANDLE s_changed;
    static std::string s_name;
};
CRITICAL_SECTION HangWatch::s_lock;
HANDLE HangWatch::s_changed = nullptr;
std::string HangWatch::s_name;

REGISTER_LISTENER("hangwatch", 1, HangWatch);

} // namespace

int main(int argc, char **argv) {
    // Critical-error and fault dialogs would stop an unattended run.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    const char kChild[] = "--zx-child=";
    const char kArgument[] = "--zx-arg=";
    const char *scenario = nullptr;
    const char *argument = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], kChild, sizeof(kChild) - 1) == 0) scenario = argv[i] + sizeof(kChild) - 1;
        if (std::strncmp(argv[i], kArgument, sizeof(kArgument) - 1) == 0)
            argument = argv[i] + sizeof(kArgument) - 1;
    }
    if (scenario) return zxtest::RunChildScenario(scenario, argument);
    doctest::Context context(argc, argv);
    return context.run();
}
