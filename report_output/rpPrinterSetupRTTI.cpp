#include "report_output/rpPrinterSetupRTTI.h"

#include "platform/rtl/Strings.h"
#include "report/rpPrinterList.h"
#include "report/rpPrinterSetup.h"

TClass TrsTrpPrinterSetupRTTI::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TrsTrpPrinterSetupRTTI>("TrsTrpPrinterSetupRTTI", TrsTObjectRTTI::StaticClassType()).Build();
    return &info;
}

const TrsTrpPrinterSetupRTTI* TrsTrpPrinterSetupRTTI::Instance() {
    static const TrsTrpPrinterSetupRTTI adapter;
    return &adapter;
}

TClass TrsTrpPrinterSetupRTTI::DescribedClass() const { return TrpPrinterSetup::StaticClassType(); }

void TrsTrpPrinterSetupRTTI::GetPropList(TClass AClass, TStrings* Names) const {
    TrsTObjectRTTI::GetPropList(AClass, Names);
    for (const char* n : {"BinName", "Collation", "Copies", "DocumentName", "Duplex", "MarginBottom", "MarginLeft",
                          "MarginRight", "MarginTop", "Orientation", "PaperHeight", "PaperName", "PaperWidth",
                          "PrinterName", "Bin", "Units", "DelegateCopies"})
        AddPropName(Names, n);
}

namespace {

struct Member {
    const char* Name;
    int Type;  // rs code; rsEnum with EnumType; rsClass with a class
    bool ReadOnly;
    const char* EnumType;
};

const Member kMembers[] = {
    {"Active", rsBoolean, true, nullptr},        {"Bin", rsInteger, true, nullptr},
    {"BinNames", rsClass, true, nullptr},        {"PaperNames", rsClass, true, nullptr},
    {"PrinterDescription", rsString, true, nullptr}, {"PrinterNames", rsClass, true, nullptr},
    {"PrinterInfo", rsClass, true, nullptr},     {"PageDef", rsClass, true, nullptr},
    {"PrintableHeight", rsSingle, true, nullptr}, {"PrintableWidth", rsSingle, true, nullptr},
    {"Units", rsEnum, false, "TrpUnitType"},      {"BinName", rsString, false, nullptr},
    {"Collation", rsBoolean, false, nullptr},    {"Copies", rsInteger, false, nullptr},
    {"DelegateCopies", rsBoolean, false, nullptr}, {"DocumentName", rsString, false, nullptr},
    {"Duplex", rsEnum, false, "TrpDuplexType"},   {"MarginBottom", rsSingle, false, nullptr},
    {"MarginLeft", rsSingle, false, nullptr},    {"MarginRight", rsSingle, false, nullptr},
    {"MarginTop", rsSingle, false, nullptr},     {"Orientation", rsEnum, false, "TPrinterOrientation"},
    {"PaperHeight", rsSingle, false, nullptr},   {"PaperWidth", rsSingle, false, nullptr},
    {"PaperName", rsString, false, nullptr},     {"PrinterName", rsString, false, nullptr},
};

const Member* Find(const std::string& Name) {
    for (const Member& m : kMembers)
        if (SameText(Name, m.Name)) return &m;
    return nullptr;
}

TStringList& PrinterNamesList() {
    thread_local TStringList list;
    return list;
}

TrpPrinterCapabilities* Lists(TrpPrinterSetup* S) {
    TrpPrinterInfo* info = S->PrinterInfo();
    return (info != nullptr ? info : rpNoPrinterInfo())->GetCapabilities();
}

}  // namespace

bool TrsTrpPrinterSetupRTTI::GetPropRec(TClass AClass, const std::string& Name, TrsMemberDescriptor& Rec) const {
    const Member* m = Find(Name);
    if (m == nullptr) return TrsTObjectRTTI::GetPropRec(AClass, Name, Rec);
    if (m->Type == rsEnum)
        FillEnumPropRec(m->Name, m->EnumType, m->ReadOnly, Rec);
    else if (m->Type == rsClass)
        FillClassPropRec(m->Name, SameText(Name, "PageDef") ? TrpPageDef::StaticClassType()
                                  : SameText(Name, "PrinterInfo") ? nullptr
                                                                  : TStringList::StaticClassType(),
                         true, Rec);
    else
        FillPropRec(m->Name, m->Type, m->ReadOnly, Rec);
    return true;
}

bool TrsTrpPrinterSetupRTTI::GetPropValue(TObject* AObject, const std::string& Name, TrsValue& Value) const {
    auto* s = dynamic_cast<TrpPrinterSetup*>(AObject);
    const Member* m = Find(Name);
    if (s == nullptr || m == nullptr) return TrsTObjectRTTI::GetPropValue(AObject, Name, Value);
    const std::string n = m->Name;
    if (n == "Active") Value = s->Active();
    else if (n == "Bin") Value = static_cast<int32_t>(s->Bin());
    else if (n == "BinNames") Value = static_cast<TObject*>(&Lists(s)->BinNames);
    else if (n == "PaperNames") Value = static_cast<TObject*>(&Lists(s)->PaperNames);
    else if (n == "PrinterDescription") Value = s->PrinterDescription();
    else if (n == "PrinterNames") {
        s->GetPrinterNames(&PrinterNamesList());
        Value = static_cast<TObject*>(&PrinterNamesList());
    } else if (n == "PrinterInfo") Value = static_cast<TObject*>(nullptr);
    else if (n == "PageDef") Value = static_cast<TObject*>(s->PageDef());
    else if (n == "PrintableHeight") Value = s->PrintableHeight();
    else if (n == "PrintableWidth") Value = s->PrintableWidth();
    else if (n == "Units") Value = static_cast<int32_t>(s->Units());
    else if (n == "BinName") Value = s->BinName();
    else if (n == "Collation") Value = s->Collation();
    else if (n == "Copies") Value = static_cast<int32_t>(s->Copies());
    else if (n == "DelegateCopies") Value = s->DelegateCopies();
    else if (n == "DocumentName") Value = s->DocumentName();
    else if (n == "Duplex") Value = static_cast<int32_t>(s->Duplex());
    else if (n == "MarginBottom") Value = s->MarginBottom();
    else if (n == "MarginLeft") Value = s->MarginLeft();
    else if (n == "MarginRight") Value = s->MarginRight();
    else if (n == "MarginTop") Value = s->MarginTop();
    else if (n == "Orientation") Value = static_cast<int32_t>(s->Orientation());
    else if (n == "PaperHeight") Value = s->PaperHeight();
    else if (n == "PaperWidth") Value = s->PaperWidth();
    else if (n == "PaperName") Value = s->PaperName();
    else if (n == "PrinterName") Value = s->PrinterName();
    return true;
}

bool TrsTrpPrinterSetupRTTI::SetPropValue(TObject* AObject, const std::string& Name, const TrsValue& Value) const {
    auto* s = dynamic_cast<TrpPrinterSetup*>(AObject);
    const Member* m = Find(Name);
    if (s == nullptr || m == nullptr) return TrsTObjectRTTI::SetPropValue(AObject, Name, Value);
    if (m->ReadOnly) return false;
    const TrsValue v = rsValueAs(m->Type == rsEnum ? rsInteger : m->Type, Value);
    const std::string n = m->Name;
    if (const auto* b = std::get_if<bool>(&v)) {
        if (n == "Collation") s->SetCollation(*b);
        else if (n == "DelegateCopies") s->SetDelegateCopies(*b);
        return true;
    }
    if (const auto* i = std::get_if<int32_t>(&v)) {
        if (n == "Copies") s->SetCopies(*i);
        else if (n == "Units" && *i >= 0 && *i <= static_cast<int>(utMMThousandths))
            s->SetUnits(static_cast<TrpUnitType>(*i));
        else if (n == "Duplex" && *i >= 0 && *i <= static_cast<int>(dpVertical))
            s->SetDuplex(static_cast<TrpDuplexType>(*i));
        else if (n == "Orientation" && (*i == 0 || *i == 1))
            s->SetOrientation(static_cast<TPrinterOrientation>(*i));
        return true;
    }
    if (const auto* f = std::get_if<float>(&v)) {
        if (n == "MarginBottom") s->SetMarginBottom(*f);
        else if (n == "MarginLeft") s->SetMarginLeft(*f);
        else if (n == "MarginRight") s->SetMarginRight(*f);
        else if (n == "MarginTop") s->SetMarginTop(*f);
        else if (n == "PaperHeight") s->SetPaperHeight(*f);
        else if (n == "PaperWidth") s->SetPaperWidth(*f);
        return true;
    }
    if (const auto* t = std::get_if<std::string>(&v)) {
        if (n == "BinName") s->SetBinName(*t);
        else if (n == "DocumentName") s->SetDocumentName(*t);
        else if (n == "PaperName") s->SetPaperName(*t);
        else if (n == "PrinterName") s->SetPrinterName(*t);
        return true;
    }
    return false;
}
