#pragma once
// C++ stand-ins for the classes of tests/data/rtl/streams/makestreams.pas:
// the same published properties, defaults, defined properties and children.
#include <string>

#include "platform/rtl/Currency.h"
#include "platform/rtl/DateUtils.h"
#include "platform/rtl/Filer.h"
#include "platform/rtl/Lists.h"

namespace streamtest {

enum TSampleKind { skNone, skSmall, skLarge, skHuge };
enum TSampleOption { soBold, soItalic, soUnderline, soStrike };
using TSampleOptions = TSet<TSampleOption>;

const TTypeInfo* KindType();
const TTypeInfo* OptionsType();

class TSampleFont : public TPersistent {
public:
    FAT_CLASS(TSampleFont)
    std::string Name;
    int Size = 10;
    TSampleOptions Style;
    void Assign(TPersistent* Source) override;
};

class TSampleItem : public TCollectionItem {
public:
    explicit TSampleItem(TCollection* Collection) : TCollectionItem(Collection) {}
    FAT_CLASS(TSampleItem)
    std::string Caption;
    int Width = 64;
    TSampleKind Kind = skNone;
};

class TSample : public TComponent {
public:
    explicit TSample(TComponent* AOwner);
    FAT_CLASS(TSample)

    int Count = 0;
    std::int64_t Big = 0;
    double Ratio = 0;
    float Small = 0;
    long double Wide = 0;
    Currency Price;
    TDateTime When = 0;
    std::string Title;
    bool Enabled = true;
    bool Visible = false;
    TSampleKind Kind = skSmall;
    TSampleOptions Options{soBold};
    TSampleFont Font;
    TCollection Items{TSampleItem::StaticClassType(), this};
    TNotifyEvent OnClick;
    TNotifyEvent OnChange;
    TStringList Lines;
    std::string Caption;
    std::string Note;
    std::string Data;
    int Clicks = 0;
    int LoadedCalls = 0;

    TSampleFont* GetFont() const { return const_cast<TSampleFont*>(&Font); }
    TCollection* GetItems() const { return const_cast<TCollection*>(&Items); }
    TStrings* GetLines() const { return const_cast<TStringList*>(&Lines); }
    TComponent* Buddy() const { return buddy_; }
    void SetBuddy(TComponent* Value);

    void DefineProperties(TFiler* Filer) override;
    void GetChildren(const std::function<void(TComponent*)>& Proc, TComponent* Root) override;
    TComponent* GetChildOwner() override { return this; }
    void Notification(TComponent* AComponent, TOperation Operation) override;
    void Loaded() override;

private:
    TComponent* buddy_ = nullptr;
};

}  // namespace streamtest
