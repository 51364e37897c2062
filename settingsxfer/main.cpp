// settingsxfer: exports, imports and deletes the platform's stored settings.
#include <windows.h>

#include "settingsxfer/core/driver.h"
#include "settingsxfer/core/runtypes.h"

namespace {

// The general library's run types are registered before the main function runs.
const struct RunTypeRegistration {
    RunTypeRegistration() { sx::RegisterRunTypes(); }
} g_runTypes;

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int showCommand) {
    // The line is taken whole from GetCommandLineW, not from the argument.
    return sx::RunProgram(instance, showCommand);
}
