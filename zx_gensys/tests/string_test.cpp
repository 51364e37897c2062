// CQxStringW, run types and the object factory.
#include "testsupport/zxtest.h"
#include "zx_gensys/zx_gensys.h"

TEST_CASE("string: formatting, appending, comparison") {
    CQxStringW s;
    CHECK(s.IsEmpty());
    CHECK(s.Format(L"%ls\\%ls.bin", L"C:\\root", L"Layouts") > 0);
    CHECK(s == L"C:\\root\\Layouts.bin");
    s.AppendFormat(L" %d-%u", -5, 7u);
    CHECK(s == L"C:\\root\\Layouts.bin -5-7");
    CHECK(s.GetLength() == 24);
    CQxStringW t = L"a" + CQxStringW(L"b") + L"c";
    t += L'd';
    t += CQxStringW(L"e");
    CHECK(t == CQxStringW(L"abcde"));
    CHECK(t != L"abcdf");
    CQxStringW big;
    std::wstring longText(100000, L'x');
    CHECK(big.Format(L"<%ls>", longText.c_str()) == 100002);
    CQxStringW nul(L"a\0b", 3);
    CHECK(nul.GetLength() == 3);
    CQxStringW fromNull(static_cast<const wchar_t *>(nullptr));
    CHECK(fromNull.IsEmpty());
}

TEST_CASE("string: formats follow the platform's wide printf rules") {
    CQxStringW s;
    CHECK(s.Format(L"%s\\%s.bin", L"C", L"Layouts") == 13);
    CHECK(s == L"C\\Layouts.bin");
    CHECK(s.Format(L"[%ls|%hs|%I64d|%I64u]", L"wide", "narrow", -(int64_t(1) << 40), ~uint64_t(0)) > 0);
    CHECK(s == L"[wide|narrow|-1099511627776|18446744073709551615]");
    CHECK(s.AppendFormat(L"%s%c", L"!", L'?') > 0);
    CHECK(s == L"[wide|narrow|-1099511627776|18446744073709551615]!?");
    CHECK(s.Format(nullptr) == -1);
    CHECK(s.IsEmpty());
}

TEST_CASE("run types: structures are registered once by name") {
    const CQxVariant rect[] = {CQxVariant(0, L"left"), CQxVariant(0, L"top"), CQxVariant(0, L"right"),
                               CQxVariant(0, L"bottom"), CQxVariant()};
    CQxVariant data = CQxVariant::CreateStruct(L"data", rect);
    CHECK(data.GetCount() == 4);
    const CQxVariant members[] = {data, CQxVariant()};
    CQxVariant type = CQxVariant::CreateStruct(L"ZxtRect", members);
    int id = CQxVariant::RegisterRunType(type);
    CHECK(id >= 1);
    CHECK(CQxVariant::RegisterRunType(type) == id);
    CHECK(CQxVariant::FindRunType(L"ZxtRect") == id);
    CHECK(CQxVariant::FindRunType(L"ZxtNothing") == -1);
    CHECK(CQxVariant::RegisterRunType(CQxVariant()) == -1);
}

TEST_CASE("factory: known classes for the serializer interface, null for anything else") {
    SQxFileLine here = {__FILE__, __LINE__};
    for (const wchar_t *name : {L"CQxSerializerRegistryNew", L"CQxSerializerXMLString"}) {
        IQxInterface *object = CQxRTTI::CreateAndQuery(name, "IQxSerializer", here);
        REQUIRE(object != nullptr);
        CHECK(object->QueryInterface("IQxSerializer") == object);
        CHECK(object->QueryInterface("IQxOther") == nullptr);
        CQxRTTI::Release(object);
    }
    CHECK(CQxRTTI::CreateAndQuery(L"CQxNoSuchClass", "IQxSerializer", here) == nullptr);
    CHECK(CQxRTTI::CreateAndQuery(L"CQxSerializerXMLString", "IQxOther", here) == nullptr);
    CQxRTTI::Release(nullptr);
    CHECK(std::wstring(QX_GetTranslation(L"Settings exported.", __FILE__)) == L"Settings exported.");
}

TEST_CASE("variant: lists, type changes and assignment") {
    CQxVariant empty;
    CHECK(empty.IsEmpty());
    CQxListVariant *list = empty.GetCQxListVariant(nullptr);
    REQUIRE(list != nullptr);
    CHECK(empty.GetType() == EQxVariantType::List);
    CHECK(empty.IsEmpty());
    list->Add(CQxVariant(L"x", L"text"));
    CHECK(empty.GetCount() == 1);
    CHECK(empty[0].GetText() == L"x");
    CHECK(empty[5].GetType() == EQxVariantType::Empty); // out of range: an empty variant

    CQxVariant number(5, L"n");
    int error = 0;
    CHECK(number.GetCQxListVariant(&error) == nullptr);
    CHECK(error == -1);
    CHECK(number.Assign(CQxVariant(L"t", L"other")) == -1);
    number.EnableTypeChange(true);
    CHECK(number.Assign(CQxVariant(L"t", L"other")) == 0);
    CHECK(number.GetType() == EQxVariantType::Text);
    CHECK(number.GetName() == L"n");
}
