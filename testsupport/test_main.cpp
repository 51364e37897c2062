// The main function of every test program: child scenarios first, then doctest.
#define DOCTEST_CONFIG_IMPLEMENT
#include "testsupport/zxtest.h"

#include <cstring>

int main(int argc, char **argv) {
    // Critical-error and fault dialogs would stop an unattended run.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    const char kChild[] = "--zx-child=";
    const char kArgument[] = "--zx-arg=";
    const char *scenario = nullptr;
    const char *argument = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], kChild, sizeof(kChild) - 1) == 0) scenario = argv[i] + sizeof(kChild) - 1;
        if (std::strncmp(argv[i], kArgument, sizeof(kArgument) - 1) == 0) argument = argv[i] + sizeof(kArgument) - 1;
    }
    if (scenario) return zxtest::RunChildScenario(scenario, argument);
    doctest::Context context(argc, argv);
    return context.run();
}
