// DeleteSettings: elements out of the shared root and private folders.
#include "settingsxfer/core/transfer.h"

#include "settingsxfer/core/serializer.h"
#include "settingsxfer/core/store.h"
#include "zx_gensys/qx_variant.h"
#include "zx_winsys/zx_winsys.h"

namespace sx {

int DeleteElements(const std::vector<CQxStringW> &elements, const CQxStringW &folder,
                   const CQxStringW *user) {
    // A private folder needs a plain user name: an empty one would name the shared root.
    if (folder.IsEmpty() || (user && !IsPlainName(user->GetString()))) return kTransferFailed;
    for (const CQxStringW &element : elements) {
        if (!IsPlainName(element.GetString())) continue;
        if (element != L"Registry") {
            QX_RemoveFile(ElementPath(folder, element, L".xml").GetString(), 1);
            QX_RemoveFile(ElementPath(folder, element, L".bin").GetString(), 1);
        } else if (user) {
            // An empty list under the user's name empties the user's whole key.
            Serializer registry(SX_REGISTRY_SERIALIZER, SX_HERE);
            if (!registry) continue;
            CQxVariant empty;
            const CQxVariant value(*empty.GetCQxListVariant(nullptr), user->GetString());
            registry->Write(CQxVariant(kPlatformRegistryKey, L"HKEY_LOCAL_MACHINE"), value);
        }
        // The shared "Registry" file stays: deleting settings never removes it.
    }
    return 0;
}

int DeleteSettings(const TransferOptions &options) {
    const CQxStringW root = SharedRoot(false);
    if (root.IsEmpty()) return kTransferFailed;
    int result = 0;
    if (options.deleteShared && DeleteElements(options.elements, root, nullptr) != 0)
        result = kTransferFailed;
    if (!options.deletePrivate) return result;
    if (!options.allUsers) {
        return DeleteElements(options.elements, PrivateFolder(root, options.userName), &options.userName) != 0
                   ? kTransferFailed
                   : result;
    }
    for (const CQxStringW &user : options.users)
        if (DeleteElements(options.elements, PrivateFolder(root, user), &user) != 0) result = kTransferFailed;
    return result;
}

} // namespace sx
