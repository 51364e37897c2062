// DeleteSettings: elements out of the shared root and private folders.
#include "settingsxfer/core/transfer.h"

#include "settingsxfer/core/guard.h"
#include "settingsxfer/core/serializer.h"
#include "settingsxfer/core/store.h"
#include "zx_gensys/qx_filereplace.h"
#include "zx_gensys/qx_variant.h"
#include "zx_winsys/zx_winsys.h"

namespace sx {

namespace {

// Removes an element file that is there; false (traced) when it stays.
bool RemoveElementFile(const CQxStringW &path) {
    if (GetFileAttributesW(path.GetString()) == INVALID_FILE_ATTRIBUTES) return true;
    QX_RemoveFile(path.GetString(), 1);
    const DWORD error = GetLastError();
    if (GetFileAttributesW(path.GetString()) == INVALID_FILE_ATTRIBUTES) return true;
    TraceFailure("settingsxfer/delete", __LINE__, L"Delete: cannot remove", path, error);
    return false;
}

} // namespace

int DeleteElements(const std::vector<CQxStringW> &elements, const CQxStringW &folder, const CQxStringW *user,
                   int *failed) {
    // A private folder needs a plain user name: an empty one would name the shared root.
    if (folder.IsEmpty() || (user && !IsPlainName(user->GetString()))) return kTransferFailed;
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    QX_RemoveStaleTemporaries(folder.GetString(), nullptr, &now);
    int failures = 0;
    for (const CQxStringW &element : elements) {
        if (!IsPlainName(element.GetString())) continue;
        if (element != L"Registry") {
            failures += RemoveElementFile(ElementPath(folder, element, L".xml")) ? 0 : 1;
            failures += RemoveElementFile(ElementPath(folder, element, L".bin")) ? 0 : 1;
        } else if (user) {
            // An empty list under the user's name empties the user's whole key.
            Serializer registry(SX_REGISTRY_SERIALIZER, SX_HERE);
            if (!registry) continue;
            CQxVariant empty;
            const CQxVariant value(*empty.GetCQxListVariant(nullptr), user->GetString());
            if (registry->Write(CQxVariant(kPlatformRegistryKey, L"HKEY_LOCAL_MACHINE"), value) != 0) {
                TraceFailure("settingsxfer/delete", __LINE__, L"Delete: cannot empty the registry branch",
                             UserRegistryKey(*user), GetLastError());
                ++failures;
            }
        }
        // The shared "Registry" file stays: deleting settings never removes it.
    }
    if (failed) *failed += failures;
    return 0;
}

int DeleteSettings(const TransferOptions &options, TransferReport *report) {
    const CQxStringW root = SharedRoot(false);
    if (root.IsEmpty()) return kTransferFailed;
    StoreLock lock(root);
    if (!lock.Held()) return kStoreBusy;
    int result = 0, failed = 0;
    if (options.deleteShared && DeleteElements(options.elements, root, nullptr, &failed) != 0)
        result = kTransferFailed;
    if (options.deletePrivate) {
        if (!options.allUsers) {
            if (DeleteElements(options.elements, PrivateFolder(root, options.userName), &options.userName,
                               &failed) != 0)
                result = kTransferFailed;
        } else {
            for (const CQxStringW &user : options.users)
                if (DeleteElements(options.elements, PrivateFolder(root, user), &user, &failed) != 0)
                    result = kTransferFailed;
        }
    }
    if (report) report->failedElements = failed;
    return result != 0 ? result : failed ? kTransferPartly : 0;
}

} // namespace sx
