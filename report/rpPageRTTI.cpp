#include "report/rpPageRTTI.h"

#include "platform/rtl/Strings.h"
#include "report/rpDrawCommand.h"
#include "report/rpPage.h"

// ---------------------------------------------------------------------------
// Draw commands

TClass TrsTrpDrawCommandRTTI::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TrsTrpDrawCommandRTTI>("TrsTrpDrawCommandRTTI", TrsTrpRelativeRTTI::StaticClassType()).Build();
    return &info;
}

const TrsTrpDrawCommandRTTI* TrsTrpDrawCommandRTTI::Instance() {
    static const TrsTrpDrawCommandRTTI adapter;
    return &adapter;
}

void TrsTrpDrawCommandRTTI::GetPropList(TClass AClass, TStrings* Names) const {
    TrsTrpRelativeRTTI::GetPropList(AClass, Names);
    AddPropName(Names, "Page");
    AddPropName(Names, "Clickable");
    AddPropName(Names, "RedrawPage");
}

TClass TrsTrpDrawCommandRTTI::DescribedClass() const { return TrpDrawCommand::StaticClassType(); }

bool TrsTrpDrawCommandRTTI::GetPropRec(TClass AClass, const std::string& Name, TrsMemberDescriptor& Rec) const {
    if (SameText(Name, "Page"))
        FillClassPropRec("Page", TrpPage::StaticClassType(), false, Rec);
    else if (SameText(Name, "Clickable"))
        FillPropRec("Clickable", rsBoolean, true, Rec);
    else if (SameText(Name, "RedrawPage"))
        FillPropRec("RedrawPage", rsBoolean, false, Rec);
    else
        return TrsTrpRelativeRTTI::GetPropRec(AClass, Name, Rec);
    return true;
}

bool TrsTrpDrawCommandRTTI::GetPropValue(TObject* AObject, const std::string& Name, TrsValue& Value) const {
    auto* c = dynamic_cast<TrpDrawCommand*>(AObject);
    if (c == nullptr) return TrsTrpRelativeRTTI::GetPropValue(AObject, Name, Value);
    if (SameText(Name, "Page"))
        Value = static_cast<TObject*>(c->Page());
    else if (SameText(Name, "Clickable"))
        Value = c->Clickable();
    else if (SameText(Name, "RedrawPage"))
        Value = c->RedrawPage;
    else
        return TrsTrpRelativeRTTI::GetPropValue(AObject, Name, Value);
    return true;
}

bool TrsTrpDrawCommandRTTI::SetPropValue(TObject* AObject, const std::string& Name, const TrsValue& Value) const {
    auto* c = dynamic_cast<TrpDrawCommand*>(AObject);
    if (c == nullptr) return TrsTrpRelativeRTTI::SetPropValue(AObject, Name, Value);
    if (SameText(Name, "Page")) {
        const TrsValue v = rsValueAs(rsClass, Value);
        if (!std::holds_alternative<TObject*>(v)) return false;
        TObject* o = std::get<TObject*>(v);
        auto* page = dynamic_cast<TrpPage*>(o);
        if (o != nullptr && page == nullptr) return false;
        c->SetPage(page);
        return true;
    }
    if (SameText(Name, "RedrawPage")) {
        const TrsValue v = rsValueAs(rsBoolean, Value);
        if (!std::holds_alternative<bool>(v)) return false;
        c->RedrawPage = std::get<bool>(v);
        return true;
    }
    if (SameText(Name, "Clickable")) return false;
    return TrsTrpRelativeRTTI::SetPropValue(AObject, Name, Value);
}

TClass TrsTrpDrawTextRTTI::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TrsTrpDrawTextRTTI>("TrsTrpDrawTextRTTI", TrsTrpDrawCommandRTTI::StaticClassType()).Build();
    return &info;
}

const TrsTrpDrawTextRTTI* TrsTrpDrawTextRTTI::Instance() {
    static const TrsTrpDrawTextRTTI adapter;
    return &adapter;
}

TClass TrsTrpDrawTextRTTI::DescribedClass() const { return TrpDrawText::StaticClassType(); }

// ---------------------------------------------------------------------------
// Pages

TClass TrsTrpPageRTTI::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TrsTrpPageRTTI>("TrsTrpPageRTTI", TrsTrpRelativeRTTI::StaticClassType()).Build();
    return &info;
}

const TrsTrpPageRTTI* TrsTrpPageRTTI::Instance() {
    static const TrsTrpPageRTTI adapter;
    return &adapter;
}

void TrsTrpPageRTTI::GetPropList(TClass AClass, TStrings* Names) const {
    TrsTrpRelativeRTTI::GetPropList(AClass, Names);
    AddPropName(Names, "DrawCommandCount");
    AddMethodName(Names, "DrawCommands");
    AddMethodName(Names, "RemoveDrawCommand");
}

TClass TrsTrpPageRTTI::DescribedClass() const { return TrpPage::StaticClassType(); }

bool TrsTrpPageRTTI::GetPropRec(TClass AClass, const std::string& Name, TrsMemberDescriptor& Rec) const {
    if (SameText(Name, "DrawCommandCount"))
        FillPropRec("DrawCommandCount", rsInteger, true, Rec);
    else if (SameText(Name, "DrawCommands"))
        FillMethodRec("DrawCommands", true, Rec);
    else if (SameText(Name, "RemoveDrawCommand"))
        FillMethodRec("RemoveDrawCommand", true, Rec);
    else
        return TrsTrpRelativeRTTI::GetPropRec(AClass, Name, Rec);
    return true;
}

std::unique_ptr<TrsParamList> TrsTrpPageRTTI::GetParams(const std::string& Name) const {
    if (SameText(Name, "DrawCommands")) {
        auto list = std::make_unique<TrsParamList>();
        list->AddParam("Index", rsInteger, false, false);
        list->AddParam("Result", rsClass, false, false, "", TrpDrawCommand::StaticClassType());
        return list;
    }
    if (SameText(Name, "RemoveDrawCommand")) {
        auto list = std::make_unique<TrsParamList>();
        list->AddParam("aDrawCommand", rsClass, false, false, "", TrpDrawCommand::StaticClassType());
        return list;
    }
    return TrsTrpRelativeRTTI::GetParams(Name);
}

bool TrsTrpPageRTTI::CallMethod(TObject* AObject, const std::string& Name, bool Flag, TrsParamList* Params) const {
    auto* page = dynamic_cast<TrpPage*>(AObject);
    if (page != nullptr && Params != nullptr && SameText(Name, "DrawCommands")) {
        TrsValue index;
        if (!Params->GetParamValue(0, index)) return false;
        const TrsValue i = rsValueAs(rsInteger, index);
        if (!std::holds_alternative<int32_t>(i)) return false;
        return Params->SetParamValue(1, static_cast<TObject*>(page->DrawCommands(std::get<int32_t>(i))));
    }
    if (page != nullptr && Params != nullptr && SameText(Name, "RemoveDrawCommand")) {
        TrsValue command;
        if (!Params->GetParamValue(0, command) || !std::holds_alternative<TObject*>(command)) return false;
        auto* c = dynamic_cast<TrpDrawCommand*>(std::get<TObject*>(command));
        if (c == nullptr || c->Page() != page) return false;
        // The command leaves the page as a whole, lists and ownership alike.
        c->SetPage(nullptr);
        return true;
    }
    return TrsTrpRelativeRTTI::CallMethod(AObject, Name, Flag, Params);
}

bool TrsTrpPageRTTI::GetPropValue(TObject* AObject, const std::string& Name, TrsValue& Value) const {
    auto* page = dynamic_cast<TrpPage*>(AObject);
    if (page != nullptr && SameText(Name, "DrawCommandCount")) {
        Value = static_cast<int32_t>(page->DrawCommandCount());
        return true;
    }
    return TrsTrpRelativeRTTI::GetPropValue(AObject, Name, Value);
}

bool TrsTrpPageRTTI::SetPropValue(TObject* AObject, const std::string& Name, const TrsValue& Value) const {
    if (SameText(Name, "DrawCommandCount")) return false;
    return TrsTrpRelativeRTTI::SetPropValue(AObject, Name, Value);
}

namespace report {

void RegisterPageAdapters() {
    RegisterRTTIClass(TrsTrpDrawCommandRTTI::Instance());
    RegisterRTTIClass(TrsTrpDrawTextRTTI::Instance());
    RegisterRTTIClass(TrsTrpPageRTTI::Instance());
}

void UnregisterPageAdapters() {
    UnregisterRTTIClass(TrsTrpPageRTTI::Instance());
    UnregisterRTTIClass(TrsTrpDrawTextRTTI::Instance());
    UnregisterRTTIClass(TrsTrpDrawCommandRTTI::Instance());
}

}  // namespace report
