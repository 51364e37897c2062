// The six run types.
#include "settingsxfer/core/runtypes.h"

#include "zx_gensys/qx_variant.h"

namespace sx {

void RegisterRunTypes() {
    const CQxVariant text[] = {CQxVariant(L"", L"data"), CQxVariant()};
    const CQxVariant number[] = {CQxVariant(0u, L"data"), CQxVariant()};
    const CQxVariant integer[] = {CQxVariant(0, L"data"), CQxVariant()};
    const CQxVariant corners[] = {CQxVariant(0, L"left"), CQxVariant(0, L"top"), CQxVariant(0, L"right"),
                                  CQxVariant(0, L"bottom"), CQxVariant()};
    const CQxVariant rect[] = {CQxVariant::CreateStruct(L"data", corners), CQxVariant()};
    CQxVariant::RegisterRunType(CQxVariant::CreateStruct(L"RQx_wcharPtr", text));
    for (const wchar_t *name : {L"RQxUchar8", L"RQxUint16", L"RQxCOLORREF"})
        CQxVariant::RegisterRunType(CQxVariant::CreateStruct(name, number));
    CQxVariant::RegisterRunType(CQxVariant::CreateStruct(L"RQxInt16", integer));
    CQxVariant::RegisterRunType(CQxVariant::CreateStruct(L"RQxRECT", rect));
}

} // namespace sx
