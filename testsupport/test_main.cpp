// The main function of every test program: child scenarios first, then doctest.
#define DOCTEST_CONFIG_IMPLEMENT
#include "testsupport/zxtest.h"

#include <cstring>

int main(int argc, char **argv) {
    // Critical-error and fault dialogs would stop an unattended run.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    const char kChild[] = "--zx-child=";
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], kChild, sizeof(kChild) - 1) == 0)
            return zxtest::RunChildScenario(argv[i] + sizeof(kChild) - 1);
    }
    doctest::Context context(argc, argv);
    return context.run();
}
