// QX_OpenFile and QX_CloseFile, with the owner-only access list for newly created files.
#include <windows.h>
#include <aclapi.h>

#include <vector>

#include "zx_winsys/internal/asyncio.h"
#include "zx_winsys/qx_file.h"

namespace {

DWORD Disposition(int flags) {
    const bool create = (flags & QX_OPEN_CREATE) != 0;
    const bool always = (flags & QX_OPEN_ALWAYS) != 0;
    if (create) return always ? CREATE_ALWAYS : CREATE_NEW;
    if (always) return OPEN_ALWAYS;
    if (flags & QX_OPEN_TRUNCATE) return TRUNCATE_EXISTING;
    return OPEN_EXISTING;
}

// A security descriptor whose access list grants full control to the current user and no one
// else. Owns what it allocates.
class OwnerOnlySecurity {
public:
    ~OwnerOnlySecurity() {
        if (m_descriptor) LocalFree(m_descriptor);
        if (m_acl) LocalFree(m_acl);
    }

    // QX_OK or QX_ERR_SYSTEM.
    int Build() {
        wchar_t user[257];
        DWORD userLength = 257;
        if (!GetUserNameW(user, &userLength)) return QX_ERR_SYSTEM;

        DWORD sidSize = 0, domainSize = 0;
        SID_NAME_USE use;
        LookupAccountNameW(nullptr, user, nullptr, &sidSize, nullptr, &domainSize, &use);
        if (sidSize == 0) return QX_ERR_SYSTEM;
        m_sid.resize(sidSize);
        std::vector<wchar_t> domain(domainSize + 1);
        domainSize += 1;
        // Without the user's identifier there is nothing to grant access to: create nothing.
        if (!LookupAccountNameW(nullptr, user, m_sid.data(), &sidSize, domain.data(), &domainSize, &use) ||
            !IsValidSid(m_sid.data()))
            return QX_ERR_SYSTEM;

        EXPLICIT_ACCESS_W access = {};
        access.grfAccessPermissions = 0x1FFFFF;
        access.grfAccessMode = SET_ACCESS;
        access.grfInheritance = NO_INHERITANCE;
        access.Trustee.TrusteeForm = TRUSTEE_IS_SID;
        access.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
        access.Trustee.ptstrName = reinterpret_cast<LPWSTR>(m_sid.data());
        if (SetEntriesInAclW(1, &access, nullptr, &m_acl) != ERROR_SUCCESS) return QX_ERR_SYSTEM;

        m_descriptor = LocalAlloc(LPTR, SECURITY_DESCRIPTOR_MIN_LENGTH);
        if (!m_descriptor || !InitializeSecurityDescriptor(m_descriptor, SECURITY_DESCRIPTOR_REVISION) ||
            !SetSecurityDescriptorDacl(m_descriptor, TRUE, m_acl, FALSE))
            return QX_ERR_SYSTEM;
        m_attributes.nLength = sizeof m_attributes;
        m_attributes.lpSecurityDescriptor = m_descriptor;
        m_attributes.bInheritHandle = FALSE;
        return QX_OK;
    }

    SECURITY_ATTRIBUTES *Attributes() { return &m_attributes; }

private:
    std::vector<BYTE> m_sid;
    PACL m_acl = nullptr;
    PSECURITY_DESCRIPTOR m_descriptor = nullptr;
    SECURITY_ATTRIBUTES m_attributes = {};
};

} // namespace

extern "C" {

int QX_OpenFile(const wchar_t *path, int flags, int share, int perm, void **handle) {
    if (!handle) return QX_ERR_INVALID_ARG;
    if (perm != QX_PERM_DEFAULT && perm != QX_PERM_OWNER_ONLY) return QX_ERR_NOT_SUPPORTED;
    if (!path) return QX_ERR_INVALID_ARG;

    DWORD access = 0;
    if (flags & QX_OPEN_READ) access |= GENERIC_READ;
    if (flags & QX_OPEN_WRITE) access |= GENERIC_WRITE;
    DWORD shareMode = 0;
    if (share & QX_SHARE_READ) shareMode |= FILE_SHARE_READ;
    if (share & QX_SHARE_WRITE) shareMode |= FILE_SHARE_WRITE;

    OwnerOnlySecurity security;
    SECURITY_ATTRIBUTES *attributes = nullptr;
    if (perm == QX_PERM_OWNER_ONLY) {
        int status = security.Build();
        if (status != QX_OK) return status;
        attributes = security.Attributes();
    }

    HANDLE file = CreateFileW(path, access, shareMode, attributes, Disposition(flags),
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_RANDOM_ACCESS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return QX_ERR_OPEN_FILE;
    *handle = file;
    return QX_OK;
}

int QX_CloseFile(void *handle) {
    // INVALID_HANDLE_VALUE is what a failed open leaves; the system would "close" it as the
    // process's own pseudo handle and report success.
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return QX_ERR_CLOSE_FILE;
    // Reads and writes still queued on the handle would go to whatever file gets its value next.
    qx::CancelTransfers(handle, true);
    return CloseHandle(handle) ? QX_OK : QX_ERR_CLOSE_FILE;
}

} // extern "C"
