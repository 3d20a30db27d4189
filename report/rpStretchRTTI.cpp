#include "report/rpStretchRTTI.h"

#include "platform/rtl/Strings.h"
#include "report/rpMemo.h"
#include "report/rpRegion.h"
#include "report/rpUnits.h"

// ---------------------------------------------------------------------------
// Memos

TClass TrsTrpCustomMemoRTTI::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TrsTrpCustomMemoRTTI>("TrsTrpCustomMemoRTTI", TrsTrpComponentRTTI::StaticClassType()).Build();
    return &info;
}

const TrsTrpCustomMemoRTTI* TrsTrpCustomMemoRTTI::Instance() {
    static const TrsTrpCustomMemoRTTI adapter;
    return &adapter;
}

TClass TrsTrpCustomMemoRTTI::DescribedClass() const { return TrpCustomMemo::StaticClassType(); }

void TrsTrpCustomMemoRTTI::GetPropList(TClass AClass, TStrings* Names) const {
    TrsTrpComponentRTTI::GetPropList(AClass, Names);
    for (const char* name : {"CharWrap", "Color", "Leading", "Lines", "MemoStream", "mmLeading", "PrintLines",
                             "spLeading", "TabStopPositions", "Text"})
        AddPropName(Names, name);
}

bool TrsTrpCustomMemoRTTI::GetPropRec(TClass AClass, const std::string& Name, TrsMemberDescriptor& Rec) const {
    if (SameText(Name, "CharWrap"))
        FillPropRec("CharWrap", rsBoolean, false, Rec);
    else if (SameText(Name, "Color"))
        FillEnumPropRec("Color", "TColor", false, Rec);
    else if (SameText(Name, "Leading"))
        FillPropRec("Leading", rsSingle, false, Rec);
    else if (SameText(Name, "Lines"))
        FillClassPropRec("Lines", TStrings::StaticClassType(), false, Rec);
    else if (SameText(Name, "MemoStream"))
        FillClassPropRec("MemoStream", TMemoryStream::StaticClassType(), true, Rec);
    else if (SameText(Name, "mmLeading"))
        FillPropRec("mmLeading", rsInteger, true, Rec);
    else if (SameText(Name, "PrintLines"))
        FillClassPropRec("PrintLines", TStrings::StaticClassType(), true, Rec);
    else if (SameText(Name, "spLeading"))
        FillPropRec("spLeading", rsInteger, true, Rec);
    else if (SameText(Name, "TabStopPositions"))
        FillClassPropRec("TabStopPositions", TStrings::StaticClassType(), false, Rec);
    else if (SameText(Name, "Text"))
        FillPropRec("Text", rsString, false, Rec);
    else
        return TrsTrpComponentRTTI::GetPropRec(AClass, Name, Rec);
    return true;
}

bool TrsTrpCustomMemoRTTI::GetPropValue(TObject* AObject, const std::string& Name, TrsValue& Value) const {
    auto* memo = dynamic_cast<TrpCustomMemo*>(AObject);
    if (memo == nullptr) return TrsTrpComponentRTTI::GetPropValue(AObject, Name, Value);
    if (SameText(Name, "CharWrap"))
        Value = memo->CharWrap();
    else if (SameText(Name, "Color"))
        Value = static_cast<int32_t>(memo->Color());
    else if (SameText(Name, "Leading"))
        Value = memo->Leading();
    else if (SameText(Name, "Lines"))
        Value = static_cast<TObject*>(memo->Lines());
    else if (SameText(Name, "MemoStream"))
        Value = static_cast<TObject*>(memo->GetMemoStream());
    else if (SameText(Name, "mmLeading"))
        Value = memo->mmLeading();
    else if (SameText(Name, "PrintLines"))
        Value = static_cast<TObject*>(memo->GetPrintLines());
    else if (SameText(Name, "spLeading"))
        Value = static_cast<int32_t>(rpRoundHalfEven(rpFromMMThousandths(memo->mmLeading(), utScreenPixels, 1, nullptr)));
    else if (SameText(Name, "TabStopPositions"))
        Value = static_cast<TObject*>(memo->TabStopPositions());
    else if (SameText(Name, "Text"))
        Value = memo->GetText();
    else
        return TrsTrpComponentRTTI::GetPropValue(AObject, Name, Value);
    return true;
}

bool TrsTrpCustomMemoRTTI::SetPropValue(TObject* AObject, const std::string& Name, const TrsValue& Value) const {
    auto* memo = dynamic_cast<TrpCustomMemo*>(AObject);
    if (memo == nullptr) return TrsTrpComponentRTTI::SetPropValue(AObject, Name, Value);
    if (SameText(Name, "CharWrap")) {
        const TrsValue v = rsValueAs(rsBoolean, Value);
        if (!std::holds_alternative<bool>(v)) return false;
        memo->SetCharWrap(std::get<bool>(v));
        return true;
    }
    if (SameText(Name, "Color")) {
        const TrsValue v = rsValueAs(rsInteger, Value);
        if (!std::holds_alternative<int32_t>(v)) return false;
        memo->SetColor(static_cast<TColor>(std::get<int32_t>(v)));
        return true;
    }
    if (SameText(Name, "Leading")) {
        const TrsValue v = rsValueAs(rsSingle, Value);
        if (!std::holds_alternative<float>(v)) return false;
        memo->SetLeading(std::get<float>(v));
        return true;
    }
    if (SameText(Name, "Lines") || SameText(Name, "TabStopPositions")) {
        if (!std::holds_alternative<TObject*>(Value)) return false;
        auto* list = dynamic_cast<TStrings*>(std::get<TObject*>(Value));
        if (list == nullptr) return false;
        if (SameText(Name, "Lines"))
            memo->SetLines(list);
        else
            memo->SetTabStopPositions(list);
        return true;
    }
    if (SameText(Name, "Text")) {
        const TrsValue v = rsValueAs(rsString, Value);
        if (!std::holds_alternative<std::string>(v)) return false;
        memo->SetText(std::get<std::string>(v));
        return true;
    }
    for (const char* readOnly : {"MemoStream", "mmLeading", "PrintLines", "spLeading"})
        if (SameText(Name, readOnly)) return false;
    return TrsTrpComponentRTTI::SetPropValue(AObject, Name, Value);
}

// ---------------------------------------------------------------------------
// Data memos

TClass TrsTrpDBMemoRTTI::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TrsTrpDBMemoRTTI>("TrsTrpDBMemoRTTI", TrsTrpCustomMemoRTTI::StaticClassType()).Build();
    return &info;
}

const TrsTrpDBMemoRTTI* TrsTrpDBMemoRTTI::Instance() {
    static const TrsTrpDBMemoRTTI adapter;
    return &adapter;
}

TClass TrsTrpDBMemoRTTI::DescribedClass() const { return TrpDBMemo::StaticClassType(); }

void TrsTrpDBMemoRTTI::GetPropList(TClass AClass, TStrings* Names) const {
    TrsTrpCustomMemoRTTI::GetPropList(AClass, Names);
    AddPropName(Names, "AutoDisplay");
}

void TrsTrpDBMemoRTTI::GetEventList(TClass AClass, TStrings* Names) const {
    TrsTrpCustomMemoRTTI::GetEventList(AClass, Names);
    if (Names->IndexOf("OnGetMemo") < 0) Names->Add("OnGetMemo");
}

bool TrsTrpDBMemoRTTI::GetPropRec(TClass AClass, const std::string& Name, TrsMemberDescriptor& Rec) const {
    if (SameText(Name, "AutoDisplay")) {
        FillPropRec("AutoDisplay", rsBoolean, false, Rec);
        return true;
    }
    if (SameText(Name, "OnGetMemo")) {
        FillEventRec("OnGetMemo", rpevGetMemo, true, Rec);
        Rec.Params = GetParams("OnGetMemo");
        return true;
    }
    return TrsTrpCustomMemoRTTI::GetPropRec(AClass, Name, Rec);
}

std::unique_ptr<TrsParamList> TrsTrpDBMemoRTTI::GetParams(const std::string& Name) const {
    if (SameText(Name, "OnGetMemo")) {
        auto list = std::make_unique<TrsParamList>();
        list->AddParam("Lines", rsClass, false, false, "", TStrings::StaticClassType());
        return list;
    }
    return TrsTrpCustomMemoRTTI::GetParams(Name);
}

bool TrsTrpDBMemoRTTI::GetPropValue(TObject* AObject, const std::string& Name, TrsValue& Value) const {
    auto* memo = dynamic_cast<TrpDBMemo*>(AObject);
    if (memo != nullptr && SameText(Name, "AutoDisplay")) {
        Value = memo->AutoDisplay();
        return true;
    }
    return TrsTrpCustomMemoRTTI::GetPropValue(AObject, Name, Value);
}

bool TrsTrpDBMemoRTTI::SetPropValue(TObject* AObject, const std::string& Name, const TrsValue& Value) const {
    auto* memo = dynamic_cast<TrpDBMemo*>(AObject);
    if (memo != nullptr && SameText(Name, "AutoDisplay")) {
        const TrsValue v = rsValueAs(rsBoolean, Value);
        if (!std::holds_alternative<bool>(v)) return false;
        memo->SetAutoDisplay(std::get<bool>(v));
        return true;
    }
    return TrsTrpCustomMemoRTTI::SetPropValue(AObject, Name, Value);
}

// ---------------------------------------------------------------------------
// Regions

TClass TrsTrpCustomRegionRTTI::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TrsTrpCustomRegionRTTI>("TrsTrpCustomRegionRTTI", TrsTrpComponentRTTI::StaticClassType())
            .Build();
    return &info;
}

const TrsTrpCustomRegionRTTI* TrsTrpCustomRegionRTTI::Instance() {
    static const TrsTrpCustomRegionRTTI adapter;
    return &adapter;
}

TClass TrsTrpCustomRegionRTTI::DescribedClass() const { return TrpCustomRegion::StaticClassType(); }

void TrsTrpCustomRegionRTTI::GetPropList(TClass AClass, TStrings* Names) const {
    TrsTrpComponentRTTI::GetPropList(AClass, Names);
    for (const char* name : {"Brush", "ObjectCount", "MaxStretchable", "ParentWidth", "Pen"}) AddPropName(Names, name);
    AddMethodName(Names, "Objects");
}

bool TrsTrpCustomRegionRTTI::GetPropRec(TClass AClass, const std::string& Name, TrsMemberDescriptor& Rec) const {
    if (SameText(Name, "Brush"))
        FillClassPropRec("Brush", TBrush::StaticClassType(), false, Rec);
    else if (SameText(Name, "Pen"))
        FillClassPropRec("Pen", TPen::StaticClassType(), false, Rec);
    else if (SameText(Name, "ObjectCount"))
        FillPropRec("ObjectCount", rsInteger, true, Rec);
    else if (SameText(Name, "MaxStretchable"))
        FillClassPropRec("MaxStretchable", TrpStretchable::StaticClassType(), true, Rec);
    else if (SameText(Name, "ParentWidth"))
        FillPropRec("ParentWidth", rsBoolean, false, Rec);
    else if (SameText(Name, "Objects"))
        FillMethodRec("Objects", true, Rec);
    else
        return TrsTrpComponentRTTI::GetPropRec(AClass, Name, Rec);
    return true;
}

std::unique_ptr<TrsParamList> TrsTrpCustomRegionRTTI::GetParams(const std::string& Name) const {
    if (SameText(Name, "Objects")) {
        auto list = std::make_unique<TrsParamList>();
        list->AddParam("Index", rsInteger, false, false);
        list->AddParam("Result", rsClass, false, false, "", TrpComponent::StaticClassType());
        return list;
    }
    return TrsTrpComponentRTTI::GetParams(Name);
}

bool TrsTrpCustomRegionRTTI::CallMethod(TObject* AObject, const std::string& Name, bool Flag,
                                        TrsParamList* Params) const {
    auto* region = dynamic_cast<TrpCustomRegion*>(AObject);
    if (region != nullptr && Params != nullptr && SameText(Name, "Objects")) {
        TrsValue index;
        if (!Params->GetParamValue(0, index)) return false;
        const TrsValue i = rsValueAs(rsInteger, index);
        if (!std::holds_alternative<int32_t>(i)) return false;
        return Params->SetParamValue(1, static_cast<TObject*>(region->Objects(std::get<int32_t>(i))));
    }
    return TrsTrpComponentRTTI::CallMethod(AObject, Name, Flag, Params);
}

bool TrsTrpCustomRegionRTTI::GetPropValue(TObject* AObject, const std::string& Name, TrsValue& Value) const {
    auto* region = dynamic_cast<TrpCustomRegion*>(AObject);
    if (region == nullptr) return TrsTrpComponentRTTI::GetPropValue(AObject, Name, Value);
    if (SameText(Name, "Brush"))
        Value = static_cast<TObject*>(region->Brush());
    else if (SameText(Name, "Pen"))
        Value = static_cast<TObject*>(region->Pen());
    else if (SameText(Name, "ObjectCount"))
        Value = static_cast<int32_t>(region->ObjectCount());
    else if (SameText(Name, "MaxStretchable"))
        Value = static_cast<TObject*>(region->MaxStretchable());
    else if (SameText(Name, "ParentWidth"))
        Value = region->ParentWidth();
    else
        return TrsTrpComponentRTTI::GetPropValue(AObject, Name, Value);
    return true;
}

bool TrsTrpCustomRegionRTTI::SetPropValue(TObject* AObject, const std::string& Name, const TrsValue& Value) const {
    auto* region = dynamic_cast<TrpCustomRegion*>(AObject);
    if (region == nullptr) return TrsTrpComponentRTTI::SetPropValue(AObject, Name, Value);
    if (SameText(Name, "Brush") || SameText(Name, "Pen")) {
        if (!std::holds_alternative<TObject*>(Value)) return false;
        if (SameText(Name, "Brush")) {
            auto* brush = dynamic_cast<TBrush*>(std::get<TObject*>(Value));
            if (brush == nullptr) return false;
            region->SetBrush(brush);
        } else {
            auto* pen = dynamic_cast<TPen*>(std::get<TObject*>(Value));
            if (pen == nullptr) return false;
            region->SetPen(pen);
        }
        return true;
    }
    if (SameText(Name, "ParentWidth")) {
        const TrsValue v = rsValueAs(rsBoolean, Value);
        if (!std::holds_alternative<bool>(v)) return false;
        region->SetParentWidth(std::get<bool>(v));
        return true;
    }
    for (const char* readOnly : {"ObjectCount", "MaxStretchable"})
        if (SameText(Name, readOnly)) return false;
    return TrsTrpComponentRTTI::SetPropValue(AObject, Name, Value);
}

namespace report {

void RegisterStretchAdapters() {
    RegisterRTTIClass(TrsTrpCustomMemoRTTI::Instance());
    RegisterRTTIClass(TrsTrpDBMemoRTTI::Instance());
    RegisterRTTIClass(TrsTrpCustomRegionRTTI::Instance());
}

void UnregisterStretchAdapters() {
    UnregisterRTTIClass(TrsTrpCustomRegionRTTI::Instance());
    UnregisterRTTIClass(TrsTrpDBMemoRTTI::Instance());
    UnregisterRTTIClass(TrsTrpCustomMemoRTTI::Instance());
}

}  // namespace report
