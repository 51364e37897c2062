// UUIDs: creation and the 32-digit text form.
#include "zx_winsys/qx_net.h"

#include <cwchar>

extern "C" {

int QX_Generate_Uuid(UUID *uuid) {
    if (uuid == nullptr) return QX_ERR_INVALID_ARG;
    // A UUID that is unique on this computer only (no network address) is not good enough.
    return UuidCreate(uuid) == RPC_S_OK ? 0 : QX_ERR_SYSTEM;
}

int QX_Type_Uuid(const UUID *uuid, wchar_t *buffer) {
    if (uuid == nullptr || buffer == nullptr) return QX_ERR_INVALID_ARG;
    // Always 32 digits and the terminator: the fields are printed at their full widths.
    swprintf(buffer, 33, L"%08lx%04x%04x%02x%02x%02x%02x%02x%02x%02x%02x",
             static_cast<unsigned long>(uuid->Data1), uuid->Data2, uuid->Data3, uuid->Data4[0],
             uuid->Data4[1], uuid->Data4[2], uuid->Data4[3], uuid->Data4[4], uuid->Data4[5], uuid->Data4[6],
             uuid->Data4[7]);
    buffer[32] = L'\0';
    return 0;
}

int QX_Parse_Uuid(const wchar_t *, UUID *) {
    return QX_ERR_NOT_SUPPORTED;
}

} // extern "C"
