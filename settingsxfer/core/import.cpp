// ImportSettings: a package back into the store.
#include "settingsxfer/core/transfer.h"

#include <windows.h>

#include "settingsxfer/core/guard.h"
#include "settingsxfer/core/serializer.h"
#include "settingsxfer/core/store.h"
#include "zx_gensys/qx_filereplace.h"
#include "zx_gensys/qx_variant.h"
#include "zx_winsys/zx_winsys.h"

namespace sx {

namespace {

// Writes the text's units as they are to base + ".xml", replacing the element in one step (a
// read-only element stays as it is). 0, or the system's error.
DWORD WriteTextElement(const CQxStringW &base, const CQxStringW &text) {
    const CQxStringW target = base + L".xml";
    const size_t bytes = static_cast<size_t>(text.GetLength()) * sizeof(wchar_t);
    return QX_WriteFileReplacing(target.GetString(), text.GetString(), bytes) == 0 ? 0 : GetLastError();
}

// Writes a registry node's branch (XML text) into the user's registry branch; false when a value
// could not be written.
bool ImportRegistry(CQxLiteVariantR &reader, const CQxStringW &user) {
    if (reader.LevelBegin(L"content", nullptr) != 0) return true;
    bool written = true;
    Serializer registry(SX_REGISTRY_SERIALIZER, SX_HERE);
    if (registry) {
        CQxStringW text = reader.Get(L"Platform.INI", L"");
        CQxVariant branch;
        branch.EnableTypeChange(true);
        {
            Serializer xml(SX_XML_SERIALIZER, SX_HERE);
            if (xml) xml->Read(branch, CQxVariant(static_cast<void *>(&text), L"string"));
        }
        const CQxVariant key(UserRegistryKey(user).GetString(), L"HKEY_LOCAL_MACHINE");
        for (int i = 0; i < branch.GetCount(); ++i)
            written = registry->Write(key, CQxVariant(branch[i])) == 0 && written;
    }
    reader.LevelEnd();
    return written;
}

} // namespace

int ImportElementFile(CQxLiteVariantR &reader, const CQxStringW &base) {
    DWORD error = 0;
    CQxStringW path = base + L".xml";
    if (reader.Get(L"useXMLstring", false)) {
        error = WriteTextElement(base, reader.Get(L"content", L""));
    } else {
        CQxLiteVariantR element;
        if (reader.LevelBegin(L"content", nullptr) == 0) {
            reader.ExtractCurrent(element);
            reader.LevelEnd();
        }
        // Also without "content": the element then holds an empty tree.
        path = base + L".bin";
        if (element.SaveToFile(path.GetString(), true, false) != 0) error = GetLastError();
    }
    if (error == 0) return 0;
    TraceFailure("settingsxfer/import", __LINE__, L"Import: cannot write", path, error);
    return kTransferFailed;
}

int ImportElements(const TransferOptions &options, CQxLiteVariantR &reader, const CQxStringW &user,
                   int *failed) {
    const CQxStringW root = SharedRoot(true);
    // Nothing is written without a root, nor for a user name that would leave it.
    if (root.IsEmpty() || (!user.IsEmpty() && !IsPlainName(user.GetString()))) return kTransferFailed;
    const CQxStringW folder = user.IsEmpty() ? root + L"\\" : PrivateFolder(root, user) + L"\\";
    QX_CreateDirectory(folder.GetString(), 1, 0);
    // What killed transfers left in the folder goes first (this transfer's own files come later).
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    QX_RemoveStaleTemporaries(folder.GetString(), nullptr, &now);
    int failures = 0;
    for (const CQxStringW &element : options.elements) {
        if (!IsPlainName(element.GetString()) || reader.LevelBegin(element.GetString(), nullptr) != 0)
            continue;
        // A private "Registry" is the user's registry branch; the shared one is a file element,
        // written back as the file it was exported from.
        if (element == L"Registry" && !user.IsEmpty()) {
            if (!ImportRegistry(reader, user)) {
                TraceFailure("settingsxfer/import", __LINE__, L"Import: cannot write the registry branch",
                             UserRegistryKey(user), GetLastError());
                ++failures;
            }
        } else if (ImportElementFile(reader, folder + element) != 0) {
            ++failures;
        }
        reader.LevelEnd();
    }
    if (failed) *failed += failures;
    return 0;
}

int ImportSettings(const TransferOptions &options, TransferReport *report) {
    const CQxStringW root = SharedRoot(true);
    StoreLock lock(root);
    if (!lock.Held()) return kStoreBusy;
    int failed = 0;
    CQxLiteVariantR reader;
    if (options.packageReader) {
        reader = *options.packageReader;
        reader.Reset();
    } else if (reader.LoadFromFile(options.inputFile.GetString(), false) != 0) {
        return kTransferFailed;
    }
    if (reader.LevelBegin(L"Settings", nullptr) != 0) return kTransferFailed;

    if (reader.LevelBegin(L"shared", nullptr) == 0) {
        ImportElements(options, reader, CQxStringW(), &failed);
        reader.LevelEnd();
    }
    if (reader.LevelBegin(L"private", nullptr) == 0) {
        if (options.allUsers) {
            while (reader.IsNextValue()) {
                wchar_t name[256];
                // A name that is no plain folder name (an empty one would even name the shared
                // root) is skipped; the other users still import.
                if (reader.GetCurrentName(name, 255) == 0 && IsPlainName(name) &&
                    reader.CurrentLevelBegin(nullptr) == 0) {
                    ImportElements(options, reader, CQxStringW(name), &failed);
                    reader.LevelEnd();
                }
                reader.NextValue();
            }
        } else {
            const CQxStringW current = CurrentUserName();
            bool found =
                !options.userName.IsEmpty() && reader.LevelBegin(options.userName.GetString(), nullptr) == 0;
            found = found || reader.LevelBegin(current.GetString(), nullptr) == 0;
            if (found) {
                // Without a user name the settings go to the current user, never to the shared root.
                const bool toCurrent = options.useCurrentUserFolder || options.userName.IsEmpty();
                ImportElements(options, reader, toCurrent ? current : options.userName, &failed);
                reader.LevelEnd();
            }
        }
        reader.LevelEnd();
    }
    reader.LevelEnd();
    if (report) report->failedElements = failed;
    return failed ? kTransferPartly : 0;
}

} // namespace sx
