#include "report_output/rpRichTextRTTI.h"

#include "platform/rtl/Strings.h"
#include "report/rpRTTI.h"
#include "report_output/rpRichText.h"

namespace {

bool AsInt(const TrsValue& Value, int32_t& Out) {
    const TrsValue v = rsValueAs(rsInteger, Value);
    if (!std::holds_alternative<int32_t>(v)) return false;
    Out = std::get<int32_t>(v);
    return true;
}

bool AsString(const TrsValue& Value, std::string& Out) {
    const TrsValue v = rsValueAs(rsString, Value);
    if (!std::holds_alternative<std::string>(v)) return false;
    Out = std::get<std::string>(v);
    return true;
}

bool AsBool(const TrsValue& Value, bool& Out) {
    const TrsValue v = rsValueAs(rsBoolean, Value);
    if (!std::holds_alternative<bool>(v)) return false;
    Out = std::get<bool>(v);
    return true;
}

template <class T>
bool Param(TrsParamList* Params, int Index, T& Out) {
    TrsValue v;
    if (!Params->GetParamValue(Index, v)) return false;
    if constexpr (std::is_same_v<T, int32_t>) return AsInt(v, Out);
    else if constexpr (std::is_same_v<T, bool>) return AsBool(v, Out);
    else return AsString(v, Out);
}

TStream* StreamParam(TrsParamList* Params) {
    TrsValue v;
    if (!Params->GetParamValue(0, v) || !std::holds_alternative<TObject*>(v)) return nullptr;
    return dynamic_cast<TStream*>(std::get<TObject*>(v));
}

}  // namespace

// ---------------------------------------------------------------------------
// Draw command

TClass TrsTrpDrawRichTextRTTI::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TrsTrpDrawRichTextRTTI>("TrsTrpDrawRichTextRTTI", TrsTrpDrawCommandRTTI::StaticClassType())
            .Build();
    return &info;
}

const TrsTrpDrawRichTextRTTI* TrsTrpDrawRichTextRTTI::Instance() {
    static const TrsTrpDrawRichTextRTTI adapter;
    return &adapter;
}

TClass TrsTrpDrawRichTextRTTI::DescribedClass() const { return TrpDrawRichText::StaticClassType(); }

void TrsTrpDrawRichTextRTTI::GetPropList(TClass AClass, TStrings* Names) const {
    TrsTrpDrawCommandRTTI::GetPropList(AClass, Names);
    AddPropName(Names, "Color");
}

bool TrsTrpDrawRichTextRTTI::GetPropRec(TClass AClass, const std::string& Name, TrsMemberDescriptor& Rec) const {
    if (!SameText(Name, "Color")) return TrsTrpDrawCommandRTTI::GetPropRec(AClass, Name, Rec);
    FillEnumPropRec("Color", "TColor", false, Rec);
    return true;
}

bool TrsTrpDrawRichTextRTTI::GetPropValue(TObject* AObject, const std::string& Name, TrsValue& Value) const {
    auto* command = dynamic_cast<TrpDrawRichText*>(AObject);
    if (command == nullptr || !SameText(Name, "Color"))
        return TrsTrpDrawCommandRTTI::GetPropValue(AObject, Name, Value);
    Value = static_cast<int32_t>(command->Color());
    return true;
}

bool TrsTrpDrawRichTextRTTI::SetPropValue(TObject* AObject, const std::string& Name, const TrsValue& Value) const {
    auto* command = dynamic_cast<TrpDrawRichText*>(AObject);
    if (command == nullptr || !SameText(Name, "Color"))
        return TrsTrpDrawCommandRTTI::SetPropValue(AObject, Name, Value);
    int32_t colour = 0;
    if (!AsInt(Value, colour)) return false;
    command->SetColor(static_cast<TColor>(colour));
    return true;
}

// ---------------------------------------------------------------------------
// Rich text

TClass TrsTrpCustomRichTextRTTI::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TrsTrpCustomRichTextRTTI>("TrsTrpCustomRichTextRTTI", TrsTrpStretchableRTTI::StaticClassType())
            .Build();
    return &info;
}

const TrsTrpCustomRichTextRTTI* TrsTrpCustomRichTextRTTI::Instance() {
    static const TrsTrpCustomRichTextRTTI adapter;
    return &adapter;
}

TClass TrsTrpCustomRichTextRTTI::DescribedClass() const { return TrpCustomRichText::StaticClassType(); }

void TrsTrpCustomRichTextRTTI::GetPropList(TClass AClass, TStrings* Names) const {
    TrsTrpStretchableRTTI::GetPropList(AClass, Names);
    for (const char* name : {"EndCharPos", "RichText", "RichTextStream", "RichTextStrings", "StartCharPos",
                             "PlainText", "SelLength", "SelStart", "SelText"})
        AddPropName(Names, name);
    for (const char* name : {"FindText", "LoadFromFile", "LoadFromRTFStream", "SaveToFile", "SaveToRTFStream"})
        AddMethodName(Names, name);
}

void TrsTrpCustomRichTextRTTI::GetEventList(TClass AClass, TStrings* Names) const {
    TrsTrpStretchableRTTI::GetEventList(AClass, Names);
    if (Names->IndexOf("OnGetRichText") < 0) Names->Add("OnGetRichText");
}

bool TrsTrpCustomRichTextRTTI::GetPropRec(TClass AClass, const std::string& Name, TrsMemberDescriptor& Rec) const {
    if (SameText(Name, "EndCharPos") || SameText(Name, "StartCharPos"))
        FillPropRec(SameText(Name, "EndCharPos") ? "EndCharPos" : "StartCharPos", rsInteger, true, Rec);
    else if (SameText(Name, "RichText"))
        FillPropRec("RichText", rsString, false, Rec);
    else if (SameText(Name, "RichTextStream"))
        FillClassPropRec("RichTextStream", TMemoryStream::StaticClassType(), true, Rec);
    else if (SameText(Name, "RichTextStrings"))
        FillClassPropRec("RichTextStrings", TStrings::StaticClassType(), true, Rec);
    else if (SameText(Name, "PlainText"))
        FillPropRec("PlainText", rsString, true, Rec);
    else if (SameText(Name, "SelLength") || SameText(Name, "SelStart"))
        FillPropRec(SameText(Name, "SelLength") ? "SelLength" : "SelStart", rsInteger, false, Rec);
    else if (SameText(Name, "SelText"))
        FillPropRec("SelText", rsString, false, Rec);
    else if (SameText(Name, "OnGetRichText")) {
        FillEventRec("OnGetRichText", rpevGetRichText, true, Rec);
        Rec.Params = GetParams("OnGetRichText");
    } else if (SameText(Name, "FindText") || SameText(Name, "LoadFromFile") || SameText(Name, "LoadFromRTFStream") ||
               SameText(Name, "SaveToFile") || SameText(Name, "SaveToRTFStream")) {
        FillMethodRec(Name, true, Rec);
        Rec.Params = GetParams(Name);
    } else {
        return TrsTrpStretchableRTTI::GetPropRec(AClass, Name, Rec);
    }
    return true;
}

std::unique_ptr<TrsParamList> TrsTrpCustomRichTextRTTI::GetParams(const std::string& Name) const {
    auto list = std::make_unique<TrsParamList>();
    if (SameText(Name, "OnGetRichText")) {
        list->AddParam("Text", rsString, true, false);
    } else if (SameText(Name, "FindText")) {
        list->AddParam("SearchStr", rsString, false, false);
        list->AddParam("StartPos", rsInteger, false, false);
        list->AddParam("Length", rsInteger, false, false);
        list->AddParam("WholeWord", rsBoolean, false, false);
        list->AddParam("MatchCase", rsBoolean, false, false);
        list->AddParam("Result", rsInteger, false, false);
    } else if (SameText(Name, "LoadFromFile") || SameText(Name, "SaveToFile")) {
        list->AddParam("aFileName", rsString, false, false);
    } else if (SameText(Name, "LoadFromRTFStream") || SameText(Name, "SaveToRTFStream")) {
        list->AddParam("aStream", rsClass, false, false, "", TStream::StaticClassType());
    } else {
        return TrsTrpStretchableRTTI::GetParams(Name);
    }
    return list;
}

bool TrsTrpCustomRichTextRTTI::CallMethod(TObject* AObject, const std::string& Name, bool Flag,
                                          TrsParamList* Params) const {
    auto* rich = dynamic_cast<TrpCustomRichText*>(AObject);
    if (rich == nullptr || Params == nullptr) return TrsTrpStretchableRTTI::CallMethod(AObject, Name, Flag, Params);
    if (SameText(Name, "FindText")) {
        std::string text;
        int32_t start = 0, length = 0;
        bool whole = false, match = false;
        if (!Param(Params, 0, text) || !Param(Params, 1, start) || !Param(Params, 2, length) ||
            !Param(Params, 3, whole) || !Param(Params, 4, match))
            return false;
        return Params->SetParamValue(5, static_cast<int32_t>(rich->FindText(text, start, length, whole, match)));
    }
    if (SameText(Name, "LoadFromFile") || SameText(Name, "SaveToFile")) {
        std::string file;
        if (!Param(Params, 0, file)) return false;
        if (SameText(Name, "LoadFromFile")) rich->LoadFromFile(file);
        else rich->SaveToFile(file);
        return true;
    }
    if (SameText(Name, "LoadFromRTFStream") || SameText(Name, "SaveToRTFStream")) {
        TStream* stream = StreamParam(Params);
        if (stream == nullptr) return false;
        if (SameText(Name, "LoadFromRTFStream")) rich->LoadFromRTFStream(stream);
        else rich->SaveToRTFStream(stream);
        return true;
    }
    return TrsTrpStretchableRTTI::CallMethod(AObject, Name, Flag, Params);
}

bool TrsTrpCustomRichTextRTTI::GetPropValue(TObject* AObject, const std::string& Name, TrsValue& Value) const {
    auto* rich = dynamic_cast<TrpCustomRichText*>(AObject);
    if (rich == nullptr) return TrsTrpStretchableRTTI::GetPropValue(AObject, Name, Value);
    if (SameText(Name, "EndCharPos"))
        Value = static_cast<int32_t>(rich->EndCharPos());
    else if (SameText(Name, "StartCharPos"))
        Value = static_cast<int32_t>(rich->StartCharPos());
    else if (SameText(Name, "RichText"))
        Value = rich->GetRichText();
    else if (SameText(Name, "RichTextStream"))
        Value = static_cast<TObject*>(rich->GetRTFStream());
    else if (SameText(Name, "RichTextStrings"))
        Value = static_cast<TObject*>(rich->RichTextStrings());
    else if (SameText(Name, "PlainText"))
        Value = rich->PlainText();
    else if (SameText(Name, "SelLength"))
        Value = static_cast<int32_t>(rich->SelLength());
    else if (SameText(Name, "SelStart"))
        Value = static_cast<int32_t>(rich->SelStart());
    else if (SameText(Name, "SelText"))
        Value = rich->SelText();
    else
        return TrsTrpStretchableRTTI::GetPropValue(AObject, Name, Value);
    return true;
}

bool TrsTrpCustomRichTextRTTI::SetPropValue(TObject* AObject, const std::string& Name, const TrsValue& Value) const {
    auto* rich = dynamic_cast<TrpCustomRichText*>(AObject);
    if (rich == nullptr) return TrsTrpStretchableRTTI::SetPropValue(AObject, Name, Value);
    if (SameText(Name, "RichText") || SameText(Name, "SelText")) {
        std::string text;
        if (!AsString(Value, text)) return false;
        if (SameText(Name, "RichText")) rich->SetRichText(text);
        else rich->SetSelText(text);
        return true;
    }
    if (SameText(Name, "SelLength") || SameText(Name, "SelStart")) {
        int32_t v = 0;
        if (!AsInt(Value, v)) return false;
        if (SameText(Name, "SelLength")) rich->SetSelLength(v);
        else rich->SetSelStart(v);
        return true;
    }
    return TrsTrpStretchableRTTI::SetPropValue(AObject, Name, Value);
}

// ---------------------------------------------------------------------------
// Data rich text

TClass TrsTrpDBRichTextRTTI::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TrsTrpDBRichTextRTTI>("TrsTrpDBRichTextRTTI", TrsTrpCustomRichTextRTTI::StaticClassType())
            .Build();
    return &info;
}

const TrsTrpDBRichTextRTTI* TrsTrpDBRichTextRTTI::Instance() {
    static const TrsTrpDBRichTextRTTI adapter;
    return &adapter;
}

TClass TrsTrpDBRichTextRTTI::DescribedClass() const { return TrpDBRichText::StaticClassType(); }

void TrsTrpDBRichTextRTTI::GetPropList(TClass AClass, TStrings* Names) const {
    TrsTrpCustomRichTextRTTI::GetPropList(AClass, Names);
    AddPropName(Names, "AutoDisplay");
}

bool TrsTrpDBRichTextRTTI::GetPropRec(TClass AClass, const std::string& Name, TrsMemberDescriptor& Rec) const {
    if (!SameText(Name, "AutoDisplay")) return TrsTrpCustomRichTextRTTI::GetPropRec(AClass, Name, Rec);
    FillPropRec("AutoDisplay", rsBoolean, false, Rec);
    return true;
}

bool TrsTrpDBRichTextRTTI::GetPropValue(TObject* AObject, const std::string& Name, TrsValue& Value) const {
    auto* rich = dynamic_cast<TrpDBRichText*>(AObject);
    if (rich == nullptr || !SameText(Name, "AutoDisplay"))
        return TrsTrpCustomRichTextRTTI::GetPropValue(AObject, Name, Value);
    Value = rich->AutoDisplay();
    return true;
}

bool TrsTrpDBRichTextRTTI::SetPropValue(TObject* AObject, const std::string& Name, const TrsValue& Value) const {
    auto* rich = dynamic_cast<TrpDBRichText*>(AObject);
    if (rich == nullptr || !SameText(Name, "AutoDisplay"))
        return TrsTrpCustomRichTextRTTI::SetPropValue(AObject, Name, Value);
    bool on = false;
    if (!AsBool(Value, on)) return false;
    rich->SetAutoDisplay(on);
    return true;
}

namespace report_output {

void RegisterRichTextAdapters() {
    RegisterRTTIClass(TrsTrpDrawRichTextRTTI::Instance());
    RegisterRTTIClass(TrsTrpCustomRichTextRTTI::Instance());
    RegisterRTTIClass(TrsTrpDBRichTextRTTI::Instance());
}

void UnregisterRichTextAdapters() {
    UnregisterRTTIClass(TrsTrpDBRichTextRTTI::Instance());
    UnregisterRTTIClass(TrsTrpCustomRichTextRTTI::Instance());
    UnregisterRTTIClass(TrsTrpDrawRichTextRTTI::Instance());
}

}  // namespace report_output
