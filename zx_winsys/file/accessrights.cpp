// The access-rights pair: reading is not supported; setting only checks what a change would need.
#include <windows.h>

#include <vector>

#include "zx_winsys/qx_storage.h"

namespace {

using LookupAccountNameFn = BOOL(WINAPI *)(LPCWSTR, LPCWSTR, PSID, LPDWORD, LPWSTR, LPDWORD, PSID_NAME_USE);
using GetFileSecurityFn = BOOL(WINAPI *)(LPCWSTR, SECURITY_INFORMATION, PSECURITY_DESCRIPTOR, DWORD, LPDWORD);
using InitializeSecurityDescriptorFn = BOOL(WINAPI *)(PSECURITY_DESCRIPTOR, DWORD);
using GetSecurityDescriptorDaclFn = BOOL(WINAPI *)(PSECURITY_DESCRIPTOR, LPBOOL, PACL *, LPBOOL);
using GetAclInformationFn = BOOL(WINAPI *)(PACL, LPVOID, DWORD, ACL_INFORMATION_CLASS);
using GetLengthSidFn = DWORD(WINAPI *)(PSID);
using InitializeAclFn = BOOL(WINAPI *)(PACL, DWORD, DWORD);

template <typename F> F Find(HMODULE module, const char *name) {
    return reinterpret_cast<F>(reinterpret_cast<void *>(GetProcAddress(module, name)));
}

} // namespace

extern "C" {

int QX_GetAccessRights(const wchar_t *, unsigned int *) {
    return QX_ERR_NOT_SUPPORTED;
}

int QX_SetAccessRights(const wchar_t *path, unsigned int /*rights*/) {
    wchar_t user[257];
    DWORD userLength = 257;
    if (!GetUserNameW(user, &userLength)) return QX_ERR_ACCESS_RIGHTS;

    HMODULE advapi = GetModuleHandleW(L"advapi32.dll");
    if (!advapi) return QX_ERR_NO_SYSTEM_FUNCTION;
    auto lookupAccountName = Find<LookupAccountNameFn>(advapi, "LookupAccountNameW");
    auto getFileSecurity = Find<GetFileSecurityFn>(advapi, "GetFileSecurityW");
    auto initializeSecurityDescriptor =
        Find<InitializeSecurityDescriptorFn>(advapi, "InitializeSecurityDescriptor");
    auto getSecurityDescriptorDacl = Find<GetSecurityDescriptorDaclFn>(advapi, "GetSecurityDescriptorDacl");
    auto getAclInformation = Find<GetAclInformationFn>(advapi, "GetAclInformation");
    if (!lookupAccountName || !getFileSecurity || !initializeSecurityDescriptor ||
        !getSecurityDescriptorDacl || !getAclInformation)
        return QX_ERR_NO_SYSTEM_FUNCTION;
    auto getLengthSid = Find<GetLengthSidFn>(advapi, "GetLengthSid");
    auto initializeAcl = Find<InitializeAclFn>(advapi, "InitializeAcl");
    if (!getLengthSid || !initializeAcl) return QX_ERR_NO_SYSTEM_FUNCTION;
    if (!path) return QX_ERR_ACCESS_RIGHTS;

    DWORD sidSize = 0, domainSize = 0;
    SID_NAME_USE use;
    if (lookupAccountName(nullptr, user, nullptr, &sidSize, nullptr, &domainSize, &use) ||
        GetLastError() != ERROR_INSUFFICIENT_BUFFER)
        return QX_ERR_ACCESS_RIGHTS;
    std::vector<BYTE> sid(sidSize + 1);
    std::vector<wchar_t> domain(domainSize + 1);
    sidSize += 1;
    domainSize += 1;
    if (!lookupAccountName(nullptr, user, sid.data(), &sidSize, domain.data(), &domainSize, &use))
        return QX_ERR_ACCESS_RIGHTS;

    DWORD needed = 0;
    if (getFileSecurity(path, DACL_SECURITY_INFORMATION, nullptr, 0, &needed) ||
        GetLastError() != ERROR_INSUFFICIENT_BUFFER)
        return QX_ERR_ACCESS_RIGHTS;
    std::vector<BYTE> fileDescriptor(needed);
    if (!getFileSecurity(path, DACL_SECURITY_INFORMATION, fileDescriptor.data(), needed, &needed))
        return QX_ERR_ACCESS_RIGHTS;

    std::vector<BYTE> fresh(SECURITY_DESCRIPTOR_MIN_LENGTH);
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    ACL_SIZE_INFORMATION sizes = {};
    if (!initializeSecurityDescriptor(fresh.data(), SECURITY_DESCRIPTOR_REVISION) ||
        !getSecurityDescriptorDacl(fileDescriptor.data(), &present, &dacl, &defaulted) || !present || !dacl ||
        !getAclInformation(dacl, &sizes, sizeof sizes, AclSizeInformation))
        return QX_ERR_ACCESS_RIGHTS;

    const DWORD aclSize = getLengthSid(sid.data()) + sizes.AclBytesInUse + 8;
    std::vector<BYTE> acl(aclSize);
    if (!initializeAcl(reinterpret_cast<PACL>(acl.data()), aclSize, ACL_REVISION2))
        return QX_ERR_ACCESS_RIGHTS;
    // Everything a change would need is there; changing rights is not supported.
    return QX_ERR_NOT_SUPPORTED;
}

} // extern "C"
