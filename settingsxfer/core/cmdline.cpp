// ParseCommandLine and the usage text.
#include "settingsxfer/core/cmdline.h"

#include <windows.h>
#include <shellapi.h>

#include <cwchar>
#include <string>

#include "settingsxfer/core/elements.h"
#include "zx_gensys/qx_translation.h"

namespace sx {

namespace {

const wchar_t kUsage[] = L"executable [switches] {-in -out} filename\n"
                         L"switches:\n"
                         L"\n"
                         L" Export\n"
                         L"  -a (-all)\t\t\tExport all users (default)\n"
                         L"  -u (-user) UserName\tSpecifies user for exporting private settings\n"
                         L"  -e (-element) E1 E2 ...\tList of exported elements. If not present,\n"
                         L"\t\t\texport all elements.\n"
                         L"  -out FileName\t\tFull path to output file (this argument must be\n"
                         L"\t\t\tspecified for exporting settings)\n"
                         L" Import\n"
                         L"  -a (-all)\t\t\tImport all users in input file (default)\n"
                         L"  -u (-user) UserName\tSpecifies user for importing private settings\n"
                         L"  -e (-element) E1 E2 ...\tList of imported elements. If not present,\n"
                         L"\t\t\timport all elements.\n"
                         L"  -in FileName\t\tFull path to input file (this argument must be \n"
                         L"\t\t\tspecified for importing settings)\n"
                         L"  -o (-originalUserName)\tIf set, user selected by -user argument\n"
                         L"\t\t\twill be used as private folder name,\n"
                         L"\t\t\telse current user will be used\n"
                         L" \n"
                         L"Supported Elements : Devices Layouts OpticalConfigs Objectives UserManager ND "
                         L"General ControlsToolbar\n";

const wchar_t kUserError[] =
    L"Error encountred while parsing command line parameters:\nSwitch '-user' must be "
    L"followed by an user name.\n\nUsage:\n%s";
const wchar_t kOutError[] = L"Error encountred while parsing command line parameters:\nSwitch '-out' must be "
                            L"followed by an output filename.\n\nUsage:\n%s";
const wchar_t kInError[] =
    L"Error encountred while parsing command line parameters:\nSwitch '-in' must be followed "
    L"by an input filename.\n\nUsage:\n%s";
const wchar_t kElementError[] =
    L"Error encountred while parsing command line parameters:\nSwitch '-element' must be "
    L"followed by list of elements (at least one).\n\nUsage:\n%s";

bool IsSwitch(const wchar_t *entry) {
    return entry[0] == L'-' || entry[0] == L'/';
}

bool Named(const wchar_t *name, const wchar_t *longName, const wchar_t *shortName) {
    return _wcsicmp(name, longName) == 0 || (shortName && _wcsicmp(name, shortName) == 0);
}

// The translated error text with the usage text in place of its "%s".
CQxStringW ErrorText(const wchar_t *text) {
    std::wstring translated = QX_GetTranslation(text, __FILE__);
    const size_t at = translated.find(L"%s");
    if (at != std::wstring::npos) translated.replace(at, 2, UsageText().GetString());
    return CQxStringW(translated.c_str());
}

class ArgumentList {
public:
    explicit ArgumentList(const wchar_t *commandLine) : m_argv(CommandLineToArgvW(commandLine, &m_argc)) {}
    ~ArgumentList() {
        if (m_argv) LocalFree(m_argv);
    }
    ArgumentList(const ArgumentList &) = delete;
    ArgumentList &operator=(const ArgumentList &) = delete;
    bool Valid() const { return m_argv != nullptr; }
    int Count() const { return m_argc; }
    const wchar_t *operator[](int i) const { return m_argv[i]; }
    // The entry after i when it exists and is no switch.
    const wchar_t *ValueAfter(int i) const {
        return i + 1 < m_argc && !IsSwitch(m_argv[i + 1]) ? m_argv[i + 1] : nullptr;
    }

private:
    int m_argc = 0;
    LPWSTR *m_argv;
};

} // namespace

const CQxStringW &UsageText() {
    static const CQxStringW usage(kUsage);
    return usage;
}

int ParseCommandLine(TransferOptions &options, const wchar_t *commandLine, CQxStringW &message) {
    UsageText();
    ArgumentList args(commandLine ? commandLine : L"");
    if (!args.Valid()) {
        message.Empty();
        return kParseError;
    }
    if (args.Count() < 2) return kParseContinue;

    for (int i = 1; i < args.Count(); ++i) {
        if (!IsSwitch(args[i])) continue;
        const wchar_t *name = args[i] + 1;
        if (Named(name, L"?", nullptr)) {
            message = UsageText();
            return kParseUsage;
        }
        if (Named(name, L"all", L"a")) {
            options.allUsers = true;
            options.showWindow = false;
        } else if (Named(name, L"originalUserName", L"o")) {
            options.useCurrentUserFolder = false;
        } else if (Named(name, L"user", L"u") || Named(name, L"out", nullptr) ||
                   Named(name, L"in", nullptr)) {
            const wchar_t *value = args.ValueAfter(i);
            const bool user = Named(name, L"user", L"u"), out = Named(name, L"out", nullptr);
            if (!value) {
                message = ErrorText(user ? kUserError : out ? kOutError : kInError);
                return kParseError;
            }
            (user ? options.userName : out ? options.outputFile : options.inputFile) = value;
            options.showWindow = false;
            ++i;
        } else if (Named(name, L"element", L"e")) {
            if (!args.ValueAfter(i)) {
                message = ErrorText(kElementError);
                return kParseError;
            }
            options.elements.clear();
            for (; args.ValueAfter(i); ++i) {
                const wchar_t *word = args[i + 1];
                const GroupInfo *group = GroupByWord(word);
                if (group) {
                    for (const CQxStringW &member : GroupMembers(group->group))
                        options.elements.push_back(member);
                } else {
                    options.elements.emplace_back(word);
                }
            }
            options.showWindow = false;
        }
    }
    return kParseContinue;
}

} // namespace sx
