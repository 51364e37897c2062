// RunProgram: the command-line run and the start of the windows.
#include "settingsxfer/core/driver.h"

#include "settingsxfer/core/cmdline.h"
#include "settingsxfer/core/elements.h"
#include "settingsxfer/core/store.h"
#include "settingsxfer/core/transfer.h"
#include "settingsxfer/core/users.h"
#include "zx_gensys/qx_translation.h"

namespace sx {

namespace {

const wchar_t *T(const wchar_t *text) {
    return QX_GetTranslation(text, __FILE__);
}

} // namespace

void CompleteOptions(TransferOptions &options) {
    if (options.userName.IsEmpty()) {
        options.allUsers = true;
    } else if (options.allUsers) {
        MessageBoxW(nullptr, T(L"switch -all and -user set together, using -all"), T(L"Command line options"),
                    MB_OK);
        options.userName.Empty();
    }
    if (options.outputFile.IsEmpty()) options.outputFile = L"settings.bin";
    if (!options.inputFile.IsEmpty()) options.exportMode = false;
    if (options.elements.empty()) options.allElements = true;
    if (options.allElements) {
        for (const CQxStringW &element : AllElements())
            options.elements.push_back(element);
    }
    if (options.userName.IsEmpty() && !options.useCurrentUserFolder) {
        MessageBoxW(nullptr, T(L"User not specified. Using current."), T(L"Command line options"), MB_OK);
        options.useCurrentUserFolder = true;
    }
}

int RunProgram(HINSTANCE instance, int showCommand) {
    CQxStringW message;
    TransferOptions options;
    switch (ParseCommandLine(options, GetCommandLineW(), message)) {
    case kParseError:
        MessageBoxW(nullptr, message.GetString(), T(L"Error"), MB_ICONERROR);
        return 0;
    case kParseUsage:
        MessageBoxW(nullptr, message.GetString(), T(L"Command line options"), MB_OK);
        return 0;
    default:
        break;
    }
    UsePlatformStorage();
    options.users = EnumerateUsers();
    if (options.showWindow) return RunWindows(instance, showCommand, options);

    CompleteOptions(options);
    return options.exportMode ? ExportSettings(options) : ImportSettings(options);
}

} // namespace sx
