// The command line of settingsxfer.
#pragma once

#include "settingsxfer/core/options.h"
#include "zx_gensys/qx_string.h"

namespace sx {

const int kParseContinue = 0;
const int kParseError = -1; // message holds the error text with the usage text
const int kParseUsage = -9; // "-?": message holds the usage text

// The usage text, made once for the process.
const CQxStringW &UsageText();

// Fills options from a whole command line (entry 0 is the program). Switches start with "-" or
// "/" and compare without regard to case; unknown switches and plain words are skipped.
int ParseCommandLine(TransferOptions &options, const wchar_t *commandLine, CQxStringW &message);

} // namespace sx
