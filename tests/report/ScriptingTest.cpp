// The scripting adapters: which adapter a class gets, member descriptors,
// typed values and texts of published properties, parameter lists bound to
// the caller's variables, and the root adapters' methods.
#include <gtest/gtest.h>

#include <thread>

#include "report/rpRTTI.h"
#include "report/rpRelatv.h"
#include "report/rpTypes.h"
#include "tests/report/ReportTestSupport.h"

namespace {

// A component with one published property of every kind the adapters read.
class TSampleItem : public TComponent {
public:
    FAT_CLASS(TSampleItem)
    explicit TSampleItem(TComponent* AOwner) : TComponent(AOwner) {}
    int count = 0;
    float ratio = 0;
    double amount = 0;
    long double precise = 0;
    Currency price;
    char letter = 'A';
    std::string title;
    TDateTime when = 0;
    bool active = false;
    TrpUnitType units = utInches;
    TComponent* link = nullptr;
    int readOnly = 7;
    TNotifyEvent OnChange;

    int Count() const { return count; }
    void SetCount(int v) { count = v; }
};

TClass TSampleItem::StaticClassType() {
    static const TClassInfo info = TClassBuilder<TSampleItem>("TSampleItem", TComponent::StaticClassType())
                                       .Integer("Count", &TSampleItem::Count, &TSampleItem::SetCount)
                                       .Float("Ratio", &TSampleItem::ratio, &TSampleItem::ratio, TypeInfoSingle())
                                       .Float("Amount", &TSampleItem::amount, &TSampleItem::amount)
                                       .Float("Precise", &TSampleItem::precise, &TSampleItem::precise,
                                              TypeInfoExtended())
                                       .CurrencyProp("Price", &TSampleItem::price, &TSampleItem::price)
                                       .Ordinal("Letter", TypeInfoChar(), &TSampleItem::letter, &TSampleItem::letter)
                                       .String("Title", &TSampleItem::title, &TSampleItem::title)
                                       .DateTime("When", &TSampleItem::when, &TSampleItem::when)
                                       .Boolean("Active", &TSampleItem::active, &TSampleItem::active)
                                       .Enum("Units", rpTypeInfo<TrpUnitType>(), &TSampleItem::units,
                                             &TSampleItem::units)
                                       .Object("Link", TComponent::StaticClassType(), &TSampleItem::link,
                                               &TSampleItem::link)
                                       .Integer("ReadOnly", &TSampleItem::readOnly, nullptr)
                                       .Event("OnChange", &TSampleItem::OnChange)
                                       .Build();
    return &info;
}

class TSampleChild : public TSampleItem {
public:
    FAT_CLASS(TSampleChild)
    using TSampleItem::TSampleItem;
};

TClass TSampleChild::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TSampleChild>("TSampleChild", TSampleItem::StaticClassType()).Build();
    return &info;
}

class TPlainPersistent : public TPersistent {
public:
    FAT_CLASS(TPlainPersistent)
};

TClass TPlainPersistent::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TPlainPersistent>("TPlainPersistent", TPersistent::StaticClassType()).Build();
    return &info;
}

// An adapter of a unit of its own for the sample class.
class TrsTSampleItemRTTI : public TrsTComponentRTTI {
public:
    FAT_CLASS(TrsTSampleItemRTTI)
    static const TrsTSampleItemRTTI* Instance() {
        static const TrsTSampleItemRTTI a;
        return &a;
    }
    TClass DescribedClass() const override { return TSampleItem::StaticClassType(); }
};

TClass TrsTSampleItemRTTI::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TrsTSampleItemRTTI>("TrsTSampleItemRTTI", TrsTComponentRTTI::StaticClassType()).Build();
    return &info;
}

class TrsTOtherSampleRTTI : public TrsTComponentRTTI {
public:
    FAT_CLASS(TrsTOtherSampleRTTI)
    static const TrsTOtherSampleRTTI* Instance() {
        static const TrsTOtherSampleRTTI a;
        return &a;
    }
    TClass DescribedClass() const override { return TSampleItem::StaticClassType(); }
};

TClass TrsTOtherSampleRTTI::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TrsTOtherSampleRTTI>("TrsTOtherSampleRTTI", TrsTComponentRTTI::StaticClassType()).Build();
    return &info;
}

TEST(ScriptingRegistry, AClassGetsItsOwnAdapterOrItsNearestAncestors) {
    EXPECT_EQ(TrsRTTIClassRegistry::GetRTTIClass(TComponent::StaticClassType()), TrsTComponentRTTI::Instance());
    EXPECT_EQ(TrsRTTIClassRegistry::GetRTTIClass(TSampleChild::StaticClassType()), TrsTComponentRTTI::Instance());
    EXPECT_EQ(TrsRTTIClassRegistry::GetRTTIClass(TrpRelative::StaticClassType()), TrsTrpRelativeRTTI::Instance());
    // The persistent adapter is not registered: a plain persistent falls back to TObject's.
    EXPECT_EQ(TrsRTTIClassRegistry::GetRTTIClass(TPlainPersistent::StaticClassType()), TrsTObjectRTTI::Instance());
    EXPECT_EQ(TrsRTTIClassRegistry::GetRTTIClass(nullptr), nullptr);

    RegisterRTTIClass(TrsTSampleItemRTTI::Instance());
    EXPECT_EQ(TrsRTTIClassRegistry::GetRTTIClass(TSampleChild::StaticClassType()), TrsTSampleItemRTTI::Instance());
    EXPECT_EQ(GetClass("TrsTSampleItemRTTI"), TrsTSampleItemRTTI::StaticClassType())
        << "adapters join the class registry";
    // A second adapter for the same class is ignored, and cannot remove the first.
    RegisterRTTIClass(TrsTOtherSampleRTTI::Instance());
    UnregisterRTTIClass(TrsTOtherSampleRTTI::Instance());
    EXPECT_EQ(TrsRTTIClassRegistry::GetRTTIClass(TSampleItem::StaticClassType()), TrsTSampleItemRTTI::Instance());
    UnregisterRTTIClass(TrsTSampleItemRTTI::Instance());
    EXPECT_EQ(TrsRTTIClassRegistry::GetRTTIClass(TSampleItem::StaticClassType()), TrsTComponentRTTI::Instance());
    EXPECT_EQ(GetClass("TrsTSampleItemRTTI"), nullptr);
}

TEST(ScriptingRegistry, ThreadsRegisteringAndLookingUpAtOnceAgree) {
    std::vector<std::thread> threads;
    std::atomic<int> wrong{0};
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&wrong, t] {
            for (int i = 0; i < 500; ++i) {
                if (t % 2 == 0) {
                    RegisterRTTIClass(TrsTSampleItemRTTI::Instance());
                    UnregisterRTTIClass(TrsTSampleItemRTTI::Instance());
                }
                TrsRTTIClass a = TrsRTTIClassRegistry::GetRTTIClass(TSampleChild::StaticClassType());
                if (a != TrsTSampleItemRTTI::Instance() && a != TrsTComponentRTTI::Instance()) ++wrong;
            }
        });
    for (auto& th : threads) th.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(TrsRTTIClassRegistry::GetRTTIClass(TSampleChild::StaticClassType()), TrsTComponentRTTI::Instance());
}

TEST(ScriptingDescriptors, PublishedPropertiesGetTheirCodes) {
    const TrsRTTI* a = TrsTComponentRTTI::Instance();
    struct Case {
        const char* name;
        int code;
    };
    for (const Case& c : {Case{"Count", rsInteger}, Case{"Ratio", rsSingle}, Case{"Amount", rsDouble},
                          Case{"Precise", rsExtended}, Case{"Price", rsCurrency}, Case{"Letter", rsChar},
                          Case{"Title", rsString}, Case{"When", rsDouble}, Case{"Active", rsBoolean},
                          Case{"Units", rsEnum}, Case{"Link", rsClass}}) {
        TrsMemberDescriptor rec;
        ASSERT_TRUE(a->GetPropRec(TSampleItem::StaticClassType(), c.name, rec)) << c.name;
        EXPECT_EQ(rec.DataType, c.code) << c.name;
        EXPECT_TRUE(rec.Published);
        EXPECT_EQ(rec.EventNumber, -1);
    }
    TrsMemberDescriptor rec;
    ASSERT_TRUE(a->GetPropRec(TSampleItem::StaticClassType(), "units", rec)) << "any letter case";
    EXPECT_EQ(rec.EnumTypeName, "TrpUnitType");
    ASSERT_TRUE(a->GetPropRec(TSampleItem::StaticClassType(), "Link", rec));
    EXPECT_EQ(rec.ClassType, TComponent::StaticClassType());
    ASSERT_TRUE(a->GetPropRec(TSampleItem::StaticClassType(), "ReadOnly", rec));
    EXPECT_TRUE(rec.ReadOnly);
    EXPECT_FALSE(a->GetPropRec(TSampleItem::StaticClassType(), "Nothing", rec));

    TStringList props, events;
    a->GetPropList(TSampleItem::StaticClassType(), &props);
    a->GetEventList(TSampleItem::StaticClassType(), &events);
    EXPECT_GE(props.IndexOf("Price"), 0);
    EXPECT_GE(props.IndexOf("ClassName"), 0) << "TObject's methods";
    EXPECT_GE(props.IndexOf("Owner"), 0);
    EXPECT_LT(props.IndexOf("OnChange"), 0);
    EXPECT_EQ(events.Count(), 1);
    EXPECT_EQ(events[0], "OnChange");
}

TEST(ScriptingValues, PropertiesReadWriteAndPrintByTheirCode) {
    const TrsRTTI* a = TrsTComponentRTTI::Instance();
    TSampleItem item(nullptr);
    item.price = Currency::FromRaw(123400);
    item.active = true;
    item.units = utMillimeters;
    item.amount = 1234.5;
    item.ratio = 0.1f;
    item.letter = 'B';
    item.when = EncodeDate(2024, 5, 17) + EncodeTime(8, 30, 0, 0);
    item.SetTag(42);

    TrsValue v;
    ASSERT_TRUE(a->GetPropValue(&item, "Price", v));
    EXPECT_EQ(std::get<Currency>(v).Raw(), 123400) << "12.34 read as the scaled integer";
    ASSERT_TRUE(a->GetPropValue(&item, "Active", v));
    EXPECT_TRUE(std::get<bool>(v));
    ASSERT_TRUE(a->GetPropValue(&item, "Tag", v));
    EXPECT_EQ(std::get<int32_t>(v), 42);

    struct Case {
        const char* name;
        const char* text;
    };
    for (const Case& c : {Case{"Price", "R$ 12,34"}, Case{"Active", "True"}, Case{"Units", "utMillimeters"},
                          Case{"Amount", "1234,5"}, Case{"Ratio", "0,1"}, Case{"Letter", "66"},
                          Case{"When", "45429,3541666667"},  // a date-time property is a double (code 3)
                          Case{"Count", "0"}, Case{"Nothing", ""},
                          Case{"OnChange", ""}}) {
        std::string text = "stale";
        a->GetPropText(&item, c.name, text);
        EXPECT_EQ(text, c.text) << c.name;
    }

    // An adapter that declares the member a date-time gets it printed as one.
    class TrsDatedRTTI : public TrsTComponentRTTI {
    public:
        bool GetPropRec(TClass C, const std::string& Name, TrsMemberDescriptor& Rec) const override {
            if (Name != "When") return TrsTComponentRTTI::GetPropRec(C, Name, Rec);
            FillPropRec(Name, rsDateTime, false, Rec);
            return true;
        }
    } dated;
    std::string when;
    dated.GetPropText(&item, "When", when);
    EXPECT_EQ(when, "17/05/2024 08:30:00");

    EXPECT_TRUE(a->SetPropValue(&item, "Active", false));
    EXPECT_FALSE(item.active);
    EXPECT_TRUE(a->SetPropValue(&item, "Price", Currency::FromRaw(5)));
    EXPECT_EQ(item.price.Raw(), 5);
    EXPECT_TRUE(a->SetPropValue(&item, "Units", int32_t{utMMThousandths}));
    EXPECT_EQ(item.units, utMMThousandths);
    EXPECT_TRUE(a->SetPropValue(&item, "Title", std::string("Relatório")));
    EXPECT_EQ(item.title, "Relatório");
    EXPECT_TRUE(a->SetPropValue(&item, "Link", static_cast<TObject*>(&item)));
    EXPECT_EQ(item.link, &item);
    EXPECT_FALSE(a->SetPropValue(&item, "ReadOnly", int32_t{1}));
    EXPECT_FALSE(a->SetPropValue(&item, "Owner", static_cast<TObject*>(nullptr)));
    EXPECT_FALSE(a->SetPropValue(&item, "Title", int32_t{3})) << "a value of another kind is refused";
    EXPECT_EQ(item.title, "Relatório");
}

TEST(ScriptingParams, BoundParametersReachTheCallersVariablesWhole) {
    TrsParamList params;
    params.AddParam("Text", rsString, true, false);
    params.AddParam("Page", rsInteger, false, true);
    params.AddParam("Owner", rsClass, true, false, "", TComponent::StaticClassType());
    params.AddParam("Code", rsMethod, false, false);
    std::string text = "antes";
    const int page = 3;
    TComponent* owner = nullptr;
    params.BindParam(0, &text);
    params.BindConstParam(1, &page);
    params.BindParam(2, &owner);

    TrsValue v;
    ASSERT_TRUE(params.GetParamValue(0, v));
    EXPECT_EQ(std::get<std::string>(v), "antes");
    EXPECT_TRUE(params.SetParamValue(0, std::string(300, 'x'))) << "texts keep their whole length";
    EXPECT_EQ(text.size(), 300u);
    EXPECT_FALSE(params.SetParamValue(1, int32_t{9})) << "a const parameter is read-only";
    ASSERT_TRUE(params.GetParamValue(1, v));
    EXPECT_EQ(std::get<int32_t>(v), 3);

    // An object reference travels as a whole pointer, not 32 bits of one.
    auto heap = std::make_unique<TComponent>(nullptr);
    ASSERT_TRUE(params.SetParamValue(2, static_cast<TObject*>(heap.get())));
    EXPECT_EQ(owner, heap.get());
    TStringList notAComponent;
    EXPECT_FALSE(params.SetParamValue(2, static_cast<TObject*>(&notAComponent))) << "wrong class refused";
    EXPECT_EQ(owner, heap.get());

    EXPECT_FALSE(params.SetParamValue(3, int32_t{1})) << "method parameters copy nothing";
    EXPECT_FALSE(params.GetParamValue(3, v));
    EXPECT_FALSE(params.GetParamValue(7, v)) << "outside the list";
    EXPECT_THROW(params.BindParam(7, &text), EListError);
    EXPECT_EQ(params.IndexOf("owner"), 2);
}

TEST(ScriptingMethods, RootAdaptersCreateNameAssignAndFree) {
    const TrsRTTI* a = TrsTComponentRTTI::Instance();
    TComponent owner(nullptr);

    TrsMemberDescriptor create;
    ASSERT_TRUE(a->GetPropRec(TSampleItem::StaticClassType(), "create", create));
    EXPECT_TRUE(create.IsFunction);
    EXPECT_EQ(create.ClassType, TSampleItem::StaticClassType());
    ASSERT_TRUE(create.Params);
    ASSERT_EQ(create.Params->Count(), 3);
    EXPECT_EQ(create.Params->Names(0), "Owner");
    EXPECT_EQ(create.Params->Names(1), "Class");
    EXPECT_EQ(create.Params->Names(2), "Result");

    TComponent* ownerVar = &owner;
    TComponent* made = nullptr;
    create.Params->BindParam(0, &ownerVar);
    create.Params->BindParam(2, &made);
    ASSERT_TRUE(a->CallMethod(nullptr, "Create", false, create.Params.get()));
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(made->ClassName(), "TSampleItem");
    EXPECT_EQ(made->Owner(), &owner);

    TrsMemberDescriptor nameRec;
    ASSERT_TRUE(a->GetPropRec(TSampleItem::StaticClassType(), "ClassName", nameRec));
    std::string name;
    nameRec.Params->BindParam(0, &name);
    ASSERT_TRUE(a->CallMethod(made, "CLASSNAME", false, nameRec.Params.get()));
    EXPECT_EQ(name, "TSampleItem");

    // TObject's own constructor makes a plain object of the class given.
    TrsMemberDescriptor plain;
    ASSERT_TRUE(TrsTObjectRTTI::Instance()->GetPropRec(TStringList::StaticClassType(), "Create", plain));
    ASSERT_EQ(plain.Params->Count(), 2);
    TStringList* list = nullptr;
    plain.Params->BindParam(1, &list);
    ASSERT_TRUE(TrsTObjectRTTI::Instance()->CallMethod(nullptr, "Create", false, plain.Params.get()));
    ASSERT_NE(list, nullptr);
    EXPECT_TRUE(TrsTObjectRTTI::Instance()->CallMethod(list, "Free", false, nullptr));

    EXPECT_TRUE(a->CallMethod(made, "Free", false, nullptr));
    EXPECT_EQ(owner.ComponentCount(), 0) << "freed and gone from its owner";
    EXPECT_FALSE(a->CallMethod(&owner, "NoSuchMethod", false, nullptr));
}

}  // namespace
