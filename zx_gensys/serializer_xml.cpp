// "CQxSerializerXMLString": variant trees to and from XML text.
#include "zx_gensys/internal/convert.h"
#include "zx_gensys/internal/serializers.h"

namespace gensysw {

namespace {

CQxStringW *TargetString(const CQxVariant &v) {
    if (v.GetType() != EQxVariantType::Pointer || v.GetName() != L"string") return nullptr;
    return static_cast<CQxStringW *>(v.GetPointer());
}

} // namespace

int XmlStringSerializer::Read(CQxVariant &out, const CQxVariant &source) {
    const CQxStringW *text = TargetString(source);
    if (!text) return -1;
    gensys::Node node;
    const gensys::Text xml(reinterpret_cast<const char16_t *>(text->GetString()),
                           static_cast<size_t>(text->GetLength()));
    if (!gensys::DecodeXml(xml, &node)) return -1;
    return out.Assign(NodeToVariant(node));
}

int XmlStringSerializer::Write(const CQxVariant &target, const CQxVariant &value) {
    CQxStringW *text = TargetString(target);
    gensys::Node node;
    if (!text || !VariantToNode(value, &node)) return -1;
    const gensys::Text xml = gensys::EncodeXml(node);
    *text = CQxStringW(reinterpret_cast<const wchar_t *>(xml.data()), static_cast<int>(xml.size()));
    return 0;
}

} // namespace gensysw
