// ExportSettings: the shared root and private folders into one package tree.
#include "settingsxfer/core/transfer.h"

#include <new>

#include "settingsxfer/core/guard.h"
#include "settingsxfer/core/serializer.h"
#include "settingsxfer/core/store.h"
#include "zx_gensys/qx_filereplace.h"
#include "zx_gensys/qx_variant.h"
#include "zx_winsys/zx_winsys.h"

namespace sx {

namespace {

// Text elements above this size are no settings of ours and are left out of the package.
const uint64_t kMaxTextElement = uint64_t(256) << 20;

// Adds the user's registry branch as XML text; a branch that reads as empty adds nothing.
void ExportRegistry(CQxLiteVariantW &writer, const CQxStringW &user) {
    Serializer registry(SX_REGISTRY_SERIALIZER, SX_HERE);
    if (!registry) return;
    CQxVariant branch;
    branch.EnableTypeChange(true);
    registry->Read(branch, CQxVariant(UserRegistryKey(user).GetString(), L"HKEY_LOCAL_MACHINE"));
    CQxStringW text;
    {
        Serializer xml(SX_XML_SERIALIZER, SX_HERE);
        if (xml) xml->Write(CQxVariant(static_cast<void *>(&text), L"string"), branch);
    }
    if (branch.IsEmpty()) return;
    writer.LevelBegin(L"Registry");
    writer.LevelBegin(L"content");
    writer.Set(text.GetString(), L"Platform.INI");
    writer.LevelEnd();
    writer.LevelEnd();
}

// An element that no package could carry is left out; the trace says which and why.
void LeftOut(const CQxStringW &element, const wchar_t *reason) {
    DiagOutputExW_hlp("settingsxfer/export", __LINE__);
    DiagOutputExW(L"Export: element %s left out: %s.\n", element.GetString(), reason);
}

} // namespace

int ExportElement(CQxLiteVariantW &writer, const CQxStringW &element, const CQxStringW &folder) {
    if (folder.IsEmpty() || !IsPlainName(element.GetString())) return kTransferFailed;
    CQxLiteVariantR tree;
    if (tree.LoadFromFile(ElementPath(folder, element, L".bin").GetString(), false) == 0) {
        // The element's values land two levels (element, content) below the current one. A tree
        // that would then sit deeper than any tree can is left out: the package must load.
        if (writer.GetDepth() + 1 + tree.GetDepth() > kQxMaxTreeDepth) {
            LeftOut(element, L"its tree is nested too deep for a package");
            return 0;
        }
        writer.LevelBegin(element.GetString());
        writer.LevelBegin(L"content");
        writer.Append(tree);
        writer.LevelEnd();
        writer.LevelEnd();
        return 0;
    }

    // A text element that the platform has just replaced may still be held by its rename for an
    // instant: a sharing conflict is tried again for about a second.
    const CQxStringW textPath = ElementPath(folder, element, L".xml");
    void *file = nullptr;
    int opened = QX_ERR_OPEN_FILE;
    for (int attempt = 0; attempt <= 100; ++attempt) {
        opened = QX_OpenFile(textPath.GetString(), QX_OPEN_READ, QX_SHARE_READ, QX_PERM_DEFAULT, &file);
        if (opened == QX_OK || GetLastError() != ERROR_SHARING_VIOLATION) break;
        Sleep(10);
    }
    if (opened != QX_OK) return kTransferFailed;
    // The file's bytes are the text's UTF-16 units as stored; an odd last byte is dropped and
    // the text ends at its first zero unit.
    uint64_t size = 0;
    QX_GetFileSize(file, &size);
    if (size > kMaxTextElement) LeftOut(element, L"it is larger than 256 MiB");
    const size_t units = size <= kMaxTextElement ? static_cast<size_t>(size / 2) : 0;
    wchar_t *text = size <= kMaxTextElement ? new (std::nothrow) wchar_t[units + 1] : nullptr;
    size_t read = 0;
    if (text && QX_ReadFile(file, text, units * 2, &read, nullptr) == QX_OK) {
        text[read / 2] = L'\0';
        writer.LevelBegin(element.GetString());
        writer.Set(true, L"useXMLstring");
        writer.Set(text, L"content");
        writer.LevelEnd();
    }
    delete[] text;
    QX_CloseFile(file);
    return 0;
}

int ExportSettings(const TransferOptions &options, TransferReport *report) {
    if (report) report->failedElements = 0;
    const CQxStringW root = SharedRoot(true);
    StoreLock lock(root);
    if (!lock.Held()) return kStoreBusy;
    const std::vector<CQxStringW> users =
        options.allUsers ? options.users : std::vector<CQxStringW>{options.userName};

    CQxLiteVariantW writer;
    if (writer.LevelBegin(L"Settings") == 0) {
        if (writer.LevelBegin(L"shared") == 0) {
            for (const CQxStringW &element : options.elements)
                ExportElement(writer, element, root);
            writer.LevelEnd();
        }
        if (writer.LevelBegin(L"private") == 0) {
            for (const CQxStringW &user : users) {
                if (writer.LevelBegin(user.GetString()) != 0) continue;
                // A name that is no plain folder name has no private folder to read.
                const bool plain = IsPlainName(user.GetString());
                const CQxStringW folder = plain && !root.IsEmpty() ? PrivateFolder(root, user) : CQxStringW();
                for (const CQxStringW &element : options.elements) {
                    if (element == L"Registry") {
                        if (plain) ExportRegistry(writer, user);
                    } else {
                        ExportElement(writer, element, folder);
                    }
                }
                writer.LevelEnd();
            }
            writer.LevelEnd();
        }
        writer.LevelEnd();
    }
    CQxLiteVariantR package;
    writer.Finalize(package);
    // Temporary files of this package that killed exports left beside it go first.
    wchar_t full[MAX_PATH];
    wchar_t *name = nullptr;
    const DWORD length = GetFullPathNameW(options.outputFile.GetString(), MAX_PATH, full, &name);
    if (length > 0 && length < MAX_PATH && name && name > full) {
        name[-1] = L'\0';
        QX_RemoveStaleTemporaries(full, name, &lock.Start());
    }
    // The one failure export reports: a package that could not be written.
    if (package.SaveToFile(options.outputFile.GetString(), true, false) == 0) return 0;
    TraceFailure("settingsxfer/export", __LINE__, L"Export: cannot write", options.outputFile,
                 GetLastError());
    return kTransferFailed;
}

} // namespace sx
