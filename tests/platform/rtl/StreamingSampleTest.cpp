#include "StreamingSample.h"

namespace streamtest {

const TTypeInfo* KindType() {
    static const TTypeInfo t = MakeEnumTypeInfo("TSampleKind", {"skNone", "skSmall", "skLarge", "skHuge"});
    return &t;
}

const TTypeInfo* OptionsType() {
    static const TTypeInfo elements = MakeEnumTypeInfo("TSampleOption", {"soBold", "soItalic", "soUnderline", "soStrike"});
    static const TTypeInfo t = MakeSetTypeInfo("TSampleOptions", elements);
    return &t;
}

TClass TSampleFont::StaticClassType() {
    static const TClassInfo info = TClassBuilder<TSampleFont>("TSampleFont", TPersistent::StaticClassType())
                                       .String("Name", &TSampleFont::Name, &TSampleFont::Name)
                                       .Integer("Size", &TSampleFont::Size, &TSampleFont::Size, 10)
                                       .Set("Style", OptionsType(), &TSampleFont::Style, &TSampleFont::Style, 0)
                                       .Build();
    return &info;
}

void TSampleFont::Assign(TPersistent* Source) {
    if (auto* f = dynamic_cast<TSampleFont*>(Source)) {
        Name = f->Name;
        Size = f->Size;
        Style = f->Style;
        return;
    }
    TPersistent::Assign(Source);
}

TClass TSampleItem::StaticClassType() {
    static const TClassInfo info = TClassBuilder<TSampleItem>("TSampleItem", TCollectionItem::StaticClassType())
                                       .String("Caption", &TSampleItem::Caption, &TSampleItem::Caption)
                                       .Integer("Width", &TSampleItem::Width, &TSampleItem::Width, 64)
                                       .Enum("Kind", KindType(), &TSampleItem::Kind, &TSampleItem::Kind, skNone)
                                       .Build();
    return &info;
}

TClass TSample::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TSample>("TSample", TComponent::StaticClassType())
            .Integer("Count", &TSample::Count, &TSample::Count, 0)
            .Int64("Big", &TSample::Big, &TSample::Big)
            .Float("Ratio", &TSample::Ratio, &TSample::Ratio)
            .Float("Small", &TSample::Small, &TSample::Small, TypeInfoSingle())
            .Float("Wide", &TSample::Wide, &TSample::Wide, TypeInfoExtended())
            .CurrencyProp("Price", &TSample::Price, &TSample::Price)
            .DateTime("When", &TSample::When, &TSample::When)
            .String("Title", &TSample::Title, &TSample::Title)
            .Boolean("Enabled", &TSample::Enabled, &TSample::Enabled, 1)
            .Boolean("Visible", &TSample::Visible, &TSample::Visible)
            .Enum("Kind", KindType(), &TSample::Kind, &TSample::Kind, skSmall)
            .Set("Options", OptionsType(), &TSample::Options, &TSample::Options, 1)
            .Object("Font", TSampleFont::StaticClassType(), &TSample::GetFont, nullptr)
            .Object("Items", TCollection::StaticClassType(), &TSample::GetItems, nullptr)
            .Object("Buddy", TComponent::StaticClassType(), &TSample::Buddy, &TSample::SetBuddy)
            .Event("OnClick", &TSample::OnClick)
            .Event("OnChange", &TSample::OnChange)
            .Object("Lines", TStrings::StaticClassType(), &TSample::GetLines, nullptr)
            .String("Caption", &TSample::Caption, &TSample::Caption)
            .Build();
    return &info;
}

TSample::TSample(TComponent* AOwner) : TComponent(AOwner) {
    RegisterMethod("SampleClick", TNotifyEvent([this](TObject*) { ++Clicks; }));
    RegisterMethod("SampleChange", TNotifyEvent([this](TObject*) { ++Clicks; }));
}

void TSample::SetBuddy(TComponent* Value) {
    if (buddy_ != nullptr && buddy_ != Value) buddy_->RemoveFreeNotification(this);
    buddy_ = Value;
    if (Value != nullptr) Value->FreeNotification(this);
}

void TSample::Notification(TComponent* AComponent, TOperation Operation) {
    TComponent::Notification(AComponent, Operation);
    if (Operation == opRemove && AComponent == buddy_) buddy_ = nullptr;
}

void TSample::DefineProperties(TFiler* Filer) {
    TComponent::DefineProperties(Filer);
    Filer->DefineProperty(
        "Note", [this](TReader* r) { Note = r->ReadString(); }, [this](TWriter* w) { w->WriteString(Note); },
        !Note.empty());
    Filer->DefineBinaryProperty(
        "Data", [this](TStream* s) { Data = s->ReadAllBytes(); }, [this](TStream* s) { s->WriteBytes(Data); },
        !Data.empty());
}

void TSample::GetChildren(const std::function<void(TComponent*)>& Proc, TComponent*) {
    for (int i = 0; i < ComponentCount(); ++i) Proc(Components(i));
}

void TSample::Loaded() {
    TComponent::Loaded();
    ++LoadedCalls;
}

}  // namespace streamtest
