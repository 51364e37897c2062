// ImportSettings: a package back into the store.
#include "settingsxfer/core/transfer.h"

#include <windows.h>

#include "settingsxfer/core/serializer.h"
#include "settingsxfer/core/store.h"
#include "zx_gensys/qx_variant.h"
#include "zx_winsys/zx_winsys.h"

namespace sx {

namespace {

// Writes the text's units as they are to base + ".xml", through a temporary file beside it that
// replaces the element in one step.
void WriteTextElement(const CQxStringW &base, const CQxStringW &text) {
    const CQxStringW target = base + L".xml";
    CQxStringW temp;
    temp.Format(L"%ls.%lx.tmp", target.GetString(), GetCurrentProcessId());
    void *file = nullptr;
    if (QX_OpenFile(temp.GetString(), QX_OPEN_WRITE | QX_OPEN_CREATE | QX_OPEN_ALWAYS,
                    QX_SHARE_READ | QX_SHARE_WRITE, QX_PERM_DEFAULT, &file) != QX_OK)
        return;
    size_t written = 0;
    const size_t bytes = static_cast<size_t>(text.GetLength()) * sizeof(wchar_t);
    bool ok = QX_WriteFile(file, text.GetString(), bytes, &written, nullptr) == QX_OK && written == bytes;
    ok = FlushFileBuffers(static_cast<HANDLE>(file)) && ok;
    QX_CloseFile(file);
    if (!ok || QX_MoveFile(temp.GetString(), target.GetString(), 0, nullptr, nullptr, nullptr) != QX_OK)
        QX_RemoveFile(temp.GetString(), 0);
}

// Writes a registry node's branch (XML text) into the user's registry branch.
void ImportRegistry(CQxLiteVariantR &reader, const CQxStringW &user) {
    if (reader.LevelBegin(L"content", nullptr) != 0) return;
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
            registry->Write(key, CQxVariant(branch[i]));
    }
    reader.LevelEnd();
}

} // namespace

int ImportElementFile(CQxLiteVariantR &reader, const CQxStringW &base) {
    if (reader.Get(L"useXMLstring", false)) {
        WriteTextElement(base, reader.Get(L"content", L""));
        return 0;
    }
    CQxLiteVariantR element;
    if (reader.LevelBegin(L"content", nullptr) == 0) {
        reader.ExtractCurrent(element);
        reader.LevelEnd();
    }
    // Also without "content": the element then holds an empty tree.
    element.SaveToFile((base + L".bin").GetString(), true, false);
    return 0;
}

int ImportElements(const TransferOptions &options, CQxLiteVariantR &reader, const CQxStringW &user) {
    const CQxStringW root = SharedRoot(true);
    // Nothing is written without a root, nor for a user name that would leave it.
    if (root.IsEmpty() || (!user.IsEmpty() && !IsPlainName(user.GetString()))) return kTransferFailed;
    const CQxStringW folder = user.IsEmpty() ? root + L"\\" : PrivateFolder(root, user) + L"\\";
    QX_CreateDirectory(folder.GetString(), 1, 0);
    for (const CQxStringW &element : options.elements) {
        if (!IsPlainName(element.GetString()) || reader.LevelBegin(element.GetString(), nullptr) != 0)
            continue;
        // A private "Registry" is the user's registry branch; the shared one is a file element,
        // written back as the file it was exported from.
        if (element == L"Registry" && !user.IsEmpty())
            ImportRegistry(reader, user);
        else
            ImportElementFile(reader, folder + element);
        reader.LevelEnd();
    }
    return 0;
}

int ImportSettings(const TransferOptions &options) {
    CQxLiteVariantR reader;
    if (options.packageReader) {
        reader = *options.packageReader;
        reader.Reset();
    } else if (reader.LoadFromFile(options.inputFile.GetString(), false) != 0) {
        return kTransferFailed;
    }
    if (reader.LevelBegin(L"Settings", nullptr) != 0) return kTransferFailed;

    if (reader.LevelBegin(L"shared", nullptr) == 0) {
        ImportElements(options, reader, CQxStringW());
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
                    ImportElements(options, reader, CQxStringW(name));
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
                ImportElements(options, reader, toCurrent ? current : options.userName);
                reader.LevelEnd();
            }
        }
        reader.LevelEnd();
    }
    reader.LevelEnd();
    return 0;
}

} // namespace sx
