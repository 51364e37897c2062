// The program driver: the command line, or the windows.
#pragma once

#include <windows.h>

#include "settingsxfer/core/options.h"

namespace sx {

// Runs settingsxfer and returns the process exit code: 0 after a usage or error box or a
// windowed run, else the result of the export or import.
int RunProgram(HINSTANCE instance, int showCommand);

// Fills in what the command line left open, showing the two warning boxes where it asks.
void CompleteOptions(TransferOptions &options);

// The windowed front end; returns the exit code of its message loop.
int RunWindows(HINSTANCE instance, int showCommand, TransferOptions &options);

} // namespace sx
