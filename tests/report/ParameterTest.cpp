// Report parameters: typed values, the list with its insert mode, copies,
// the stream form and what scripts see.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "platform/rtl/Filer.h"
#include "report/rpExcept.h"
#include "report/rpParameters.h"

namespace {

std::string ErrorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const Exception& e) {
        return e.Message();
    }
    return "(no error)";
}

TEST(Parameters, ANewParameterIsAnEmptyText) {
    TrpParameter p(nullptr);
    EXPECT_EQ(p.DataType(), dtString);
    EXPECT_EQ(p.Value().VarType(), varString);
    EXPECT_EQ(p.Value().AsString(), "");
    EXPECT_FALSE(p.IsNull());
}

TEST(Parameters, ChangingTheTypeConvertsTheValue) {
    struct Row {
        TrpDataType from;
        Variant value;
        TrpDataType to;
        TVarType kind;
        std::string text;  // the converted value's text
    };
    const Row rows[] = {
        {dtString, Variant(""), dtInteger, varInteger, "0"},
        {dtString, Variant(""), dtBoolean, varBoolean, "False"},
        {dtString, Variant(""), dtDouble, varDouble, "0"},
        {dtString, Variant(""), dtDateTime, varDate, "30/12/1899"},
        {dtString, Variant("12"), dtInteger, varInteger, "12"},
        {dtInteger, Variant(0), dtString, varString, ""},
        {dtDouble, Variant(0.0), dtString, varString, ""},
        {dtBoolean, Variant(false), dtString, varString, ""},
        {dtInteger, Variant(5), dtString, varString, "5"},
        {dtInteger, Variant(7), dtCurrency, varCurrency, "7"},
        {dtInteger, Variant(7), dtLargeInt, varInt64, "7"},
        {dtDouble, Variant(2.5), dtSingle, varSingle, "2,5"},
        {dtBoolean, Variant(true), dtInteger, varInteger, "-1"},
    };
    for (const Row& r : rows) {
        TrpParameter p(nullptr);
        p.SetDataType(r.from);
        p.SetValue(r.value);
        p.SetDataType(r.to);
        SCOPED_TRACE(VarToStr(r.value) + " to " + std::to_string(r.to));
        EXPECT_EQ(p.DataType(), r.to);
        EXPECT_EQ(p.Value().VarType(), r.kind);
        EXPECT_EQ(VarToStr(p.Value()), r.text);
    }
    // Back and forth between text and integer.
    TrpParameter p(nullptr);
    p.SetDataType(dtInteger);
    p.SetDataType(dtString);
    EXPECT_EQ(p.Value().AsString(), "");
}

TEST(Parameters, TypesWithoutAVariantKindAreRefusedAndChangeNothing) {
    for (TrpDataType t : {dtDate, dtTime, dtExtended, dtChar, dtMemo, dtBLOB, dtGraphic, dtVariant, dtNotKnown,
                          dtLongint, dtGUID}) {
        TrpParameter p(nullptr);
        p.SetDataType(dtInteger);
        p.SetValue(Variant(3));
        const std::string name = GetEnumName(rpTypeInfo<TrpDataType>(), t);
        EXPECT_EQ(ErrorOf([&] { p.SetDataType(t); }),
                  "TrpParameter.SetDataType: " + name + " data type is not supported");
        EXPECT_THROW(p.SetDataType(t), EParameterError);
        EXPECT_EQ(p.DataType(), dtInteger) << name;
        EXPECT_EQ(p.Value().AsInteger(), 3) << name;
    }
}

TEST(Parameters, AValueThatDoesNotConvertLeavesTypeAndValue) {
    TrpParameter p(nullptr);
    p.SetValue(Variant("abc"));
    EXPECT_THROW(p.SetDataType(dtInteger), EVariantError);
    EXPECT_EQ(p.DataType(), dtString);
    EXPECT_EQ(p.Value().AsString(), "abc");
    EXPECT_EQ(p.Value().VarType(), varString);
}

TEST(Parameters, NullKeepsTheValueAndFiresNothing) {
    TrpParameter p(nullptr);
    int changes = 0;
    p.OnChange = [&](TObject* sender) {
        EXPECT_EQ(sender, &p);
        ++changes;
    };
    p.SetDataType(dtInteger);
    p.SetValue(Variant("42"));  // converted to the parameter's type
    EXPECT_EQ(p.Value().VarType(), varInteger);
    EXPECT_EQ(p.Value().AsInteger(), 42);
    EXPECT_EQ(changes, 1);
    for (const Variant& none : {Null(), Unassigned()}) {
        p.SetValue(none);
        EXPECT_TRUE(p.IsNull());
        EXPECT_EQ(p.Value().AsInteger(), 42);
    }
    EXPECT_EQ(changes, 1);
    p.SetValue(Variant(1));
    EXPECT_FALSE(p.IsNull());
    EXPECT_EQ(changes, 2);
    EXPECT_THROW(p.SetValue(Variant("x")), EVariantError);
    EXPECT_EQ(p.Value().AsInteger(), 1);
}

TEST(Parameters, AssignCopiesEverythingAndKeepsTheNullFlag) {
    TrpParameter source(nullptr);
    source.SetName("Inicio");
    source.SetDataType(dtCurrency);
    source.SetValue(Variant(12.5));
    source.PickList()->Add("10");
    source.PickList()->Add("20");
    source.SetValue(Null());

    TrpParameter copy(nullptr);
    copy.Assign(&source);
    EXPECT_EQ(copy.Name(), "Inicio");
    EXPECT_EQ(copy.DataType(), dtCurrency);
    EXPECT_EQ(copy.Value().VarType(), varCurrency);
    EXPECT_EQ(copy.Value().AsCurrency().Raw(), 125000);
    EXPECT_TRUE(copy.IsNull());
    EXPECT_EQ(copy.PickList()->Text(), source.PickList()->Text());

    // A source without a pick list empties the copy's.
    TrpParameter bare(nullptr);
    bare.SetName("Bare");
    copy.Assign(&bare);
    EXPECT_EQ(copy.PickList()->Count(), 0);
    EXPECT_FALSE(copy.IsNull());
    EXPECT_EQ(copy.DataType(), dtString);

    TStringList other;
    EXPECT_THROW(copy.Assign(&other), EConvertError);
}

// --- The list --------------------------------------------------------------

TEST(ParameterList, NamesAreFoundAndRefusedRegardlessOfCase) {
    TrpParameterList list(nullptr);
    TrpParameter* a = list.Add("Cliente");
    list.Add("Periodo");
    EXPECT_EQ(list.Count(), 2);
    EXPECT_EQ(list.FindItem("CLIENTE"), a);
    EXPECT_TRUE(list.InList("periodo"));
    EXPECT_FALSE(list.InList("Outro"));
    EXPECT_EQ(ErrorOf([&] { list.Add("cliente"); }),
              "TrpParameterList.Add: a Parameter named, cliente, already exists.");
    EXPECT_THROW(list.Add("CLIENTE", dtInteger, Variant(1)), EParameterError);
    EXPECT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Items(0), a);
    EXPECT_EQ(list.Items(2), nullptr);
    EXPECT_EQ(a->Owner(), &list);

    list.Remove("CLIENTE");
    EXPECT_EQ(list.Count(), 1);
    list.Remove("nobody");
    EXPECT_EQ(list.Count(), 1);
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
}

TEST(ParameterList, AddWithATypeChecksBeforeAdding) {
    TrpParameterList list(nullptr);
    TrpParameter* p = list.Add("Total", dtDouble, Variant("2,5"));
    EXPECT_EQ(p->Value().VarType(), varDouble);
    EXPECT_EQ(p->Value().AsDouble(), 2.5);

    EXPECT_THROW(list.Add("Dia", dtDate, Variant(1)), EParameterError);
    EXPECT_THROW(list.Add("Quantidade", dtInteger, Variant("muitos")), EVariantError);
    EXPECT_EQ(list.Count(), 1);
    EXPECT_FALSE(list.InList("Dia"));
    EXPECT_FALSE(list.InList("Quantidade"));
    // The names stay free for a later, sound attempt.
    EXPECT_NO_THROW(list.Add("Dia", dtDateTime, Variant(1)));
}

TEST(ParameterList, InsertModeCreatesOnAssignmentOnly) {
    TrpParameterList list(nullptr);
    list.SetInsertMode(false);
    EXPECT_EQ(ErrorOf([&] { list.GetItemForName("Ano"); }),
              "TrpParameterList.GetItemForName: No parameter named, Ano, exists");
    Variant v;
    EXPECT_THROW(list.GetValue("Ano", v), EParameterError);

    list.SetInsertMode(true);
    list.GetValue("Ano", v);
    EXPECT_EQ(v.AsString(), "");
    TrpParameter* pending = list.GetItemForName("Ano");
    EXPECT_EQ(pending->Value().AsString(), "");
    EXPECT_EQ(list.Count(), 0);
    EXPECT_FALSE(list.InList("Ano"));

    pending->SetValue(Variant("2024"));
    ASSERT_EQ(list.Count(), 1);
    EXPECT_EQ(list.Items(0), pending);
    EXPECT_EQ(pending->Owner(), &list);
    EXPECT_EQ(list.GetItemForName("ANO"), pending);
    pending->SetValue(Variant("2025"));
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(list.FindItem("Ano")->Value().AsString(), "2025");
}

TEST(ParameterList, EachPendingParameterKeepsTheNameItWasAskedFor) {
    TrpParameterList list(nullptr);
    TrpParameter* a = list.GetItemForName("A");
    TrpParameter* b = list.GetItemForName("B");
    EXPECT_NE(a, b);
    EXPECT_EQ(list.GetItemForName("a"), a) << "one name asked twice";
    a->SetValue(Variant("first"));
    ASSERT_EQ(list.Count(), 1);
    EXPECT_EQ(list.Items(0)->Name(), "A");
    EXPECT_EQ(list.FindItem("A")->Value().AsString(), "first");
    EXPECT_FALSE(list.InList("B"));
    b->SetValue(Variant("second"));
    EXPECT_EQ(list.FindItem("B")->Value().AsString(), "second");
    EXPECT_EQ(list.FindItem("A")->Value().AsString(), "first");

    // A name added meanwhile: the pending parameter stands for the listed one.
    TrpParameter* c = list.GetItemForName("C");
    TrpParameter* listed = list.Add("C", dtInteger, Variant(1));
    c->SetValue(Variant("7"));
    EXPECT_EQ(list.Count(), 3);
    EXPECT_EQ(listed->Value().AsInteger(), 7);
}

TEST(ParameterList, AssignReplacesWithCopiesMadeFirst) {
    TrpParameterList source(nullptr);
    source.Add("Inicio", dtDateTime, Variant(45000));
    source.Add("Fim", dtInteger, Variant(3))->PickList()->Add("3");
    TrpParameterList target(nullptr);
    target.Add("Velho");
    target.Assign(&source);
    ASSERT_EQ(target.Count(), 2);
    EXPECT_FALSE(target.InList("Velho"));
    EXPECT_NE(target.Items(0), source.Items(0));
    EXPECT_EQ(target.Items(0)->Name(), "Inicio");
    EXPECT_EQ(target.Items(1)->Value().AsInteger(), 3);
    EXPECT_EQ(target.Items(1)->PickList()->Count(), 1);
    EXPECT_EQ(target.Items(1)->Owner(), &target);
    EXPECT_EQ(source.Count(), 2);

    // Assigned from itself, the list keeps its parameters.
    target.Assign(&target);
    ASSERT_EQ(target.Count(), 2);
    EXPECT_EQ(target.Items(1)->Name(), "Fim");
    EXPECT_EQ(target.Items(1)->Value().AsInteger(), 3);

    target.Assign(nullptr);
    EXPECT_EQ(target.Count(), 0);
    TStringList other;
    EXPECT_THROW(target.Assign(&other), EConvertError);
}

TrpParameterList* ReadList(const std::string& text) {
    TStringStream in(text), bin;
    ObjectTextToBinary(in, bin);
    bin.SetPosition(0);
    return dynamic_cast<TrpParameterList*>(ReadComponent(bin, nullptr));
}

TEST(ParameterList, AFailedCopyLeavesTheListAsItWas) {
    // A stored value that its type cannot take stays as read...
    std::unique_ptr<TrpParameterList> odd(ReadList(
        "object L: TrpParameterList\n"
        "  object Bom: TrpParameter\n    DataType = dtInteger\n    Value = 1\n  end\n"
        "  object Ruim: TrpParameter\n    Value = 'abc'\n    DataType = dtInteger\n  end\nend\n"));
    ASSERT_NE(odd, nullptr);
    EXPECT_EQ(odd->FindItem("Ruim")->Value().AsString(), "abc");
    // ...and copying it fails before the target loses anything.
    TrpParameterList target(nullptr);
    target.Add("Mantido", dtInteger, Variant(9));
    EXPECT_THROW(target.Assign(odd.get()), EVariantError);
    ASSERT_EQ(target.Count(), 1);
    EXPECT_EQ(target.Items(0)->Value().AsInteger(), 9);
}

// --- Stream form -------------------------------------------------------------

std::string Save(TComponent* c) {
    TMemoryStream s;
    WriteComponent(s, c);
    return s.DataBytes();
}

std::string ToText(const std::string& bin) {
    TStringStream in(bin), out;
    ObjectBinaryToText(in, out);
    return out.DataString();
}

TEST(ParameterStream, EveryTypeNullAndPickListsSurviveBothForms) {
    TrpParameterList list(nullptr);
    list.SetName("Parametros");
    list.SetInsertMode(false);
    list.Add("Flag", dtBoolean, Variant(true));
    list.Add("Quando", dtDateTime, Variant(45366.5));
    list.Add("Inteiro", dtInteger, Variant(-70000));
    list.Add("Simples", dtSingle, Variant(1.5));
    list.Add("Duplo", dtDouble, Variant(2.675));
    list.Add("Dinheiro", dtCurrency, Variant(1234.5678));
    list.Add("Texto", dtString, Variant("Situa\u00e7\u00e3o"));
    list.Add("Grande", dtLargeInt, Variant(5000000000LL));
    TrpParameter* nulo = list.Add("Nulo", dtInteger, Variant(4));
    nulo->SetValue(Null());
    nulo->PickList()->Add("4");
    nulo->PickList()->Add("8");

    const std::string bin = Save(&list);
    const std::string text = ToText(bin);
    EXPECT_NE(text.find("object Flag: TrpParameter"), std::string::npos) << text;
    EXPECT_NE(text.find("InsertMode = False"), std::string::npos) << text;

    TStringStream fromText(text);
    for (int form = 0; form < 2; ++form) {
        SCOPED_TRACE(form == 0 ? "binary" : "text");
        TStringStream s(bin);
        std::unique_ptr<TComponent> read(form == 0 ? ReadComponent(s, nullptr)
                                                   : ReadComponentAnyForm(fromText, nullptr));
        auto* back = dynamic_cast<TrpParameterList*>(read.get());
        ASSERT_NE(back, nullptr);
        EXPECT_FALSE(back->InsertMode());
        ASSERT_EQ(back->Count(), list.Count());
        for (int i = 0; i < list.Count(); ++i) {
            TrpParameter* want = list.Items(i);
            TrpParameter* got = back->Items(i);
            SCOPED_TRACE(want->Name());
            EXPECT_EQ(got->Name(), want->Name());
            EXPECT_EQ(got->Owner(), back);
            EXPECT_EQ(got->DataType(), want->DataType());
            EXPECT_EQ(got->IsNull(), want->IsNull());
            if (!want->IsNull()) {
                EXPECT_EQ(got->Value().VarType(), want->Value().VarType());
                EXPECT_TRUE(VarSameValue(got->Value(), want->Value()))
                    << VarToStr(got->Value()) << " / " << VarToStr(want->Value());
            }
            EXPECT_EQ(got->PickList()->Text(), want->PickList()->Text());
        }
        EXPECT_EQ(Save(back), bin);
    }
}

TEST(ParameterStream, StoredFormsAreCheckedAsTheyLoad) {
    // A value before its type still ends in that type.
    std::unique_ptr<TrpParameterList> late(ReadList(
        "object L: TrpParameterList\n  object P: TrpParameter\n    Value = '15'\n    DataType = dtInteger\n"
        "  end\nend\n"));
    ASSERT_NE(late, nullptr);
    EXPECT_EQ(late->Items(0)->Value().VarType(), varInteger);
    EXPECT_EQ(late->Items(0)->Value().AsInteger(), 15);

    const struct {
        const char* body;
        const char* fragment;  // of the message
    } bad[] = {
        {"  object P: TrpParameter\n    DataType = dtMemo\n  end\n", "dtMemo data type is not supported"},
        {"  object P: TrpParameter\n    Value = Ident\n  end\n", "Invalid property value"},
        {"  object P: TrpParameter\n  end\n  object p: TrpParameter\n  end\n", "already exists"},
        {"  object P: TrpParameter\n    DataType = dtInteger\n    Value = 'x'\n  end\n", "Could not convert"},
    };
    for (const auto& b : bad) {
        const std::string text = std::string("object L: TrpParameterList\n") + b.body + "end\n";
        const std::string message = ErrorOf([&] { std::unique_ptr<TrpParameterList> l(ReadList(text)); });
        EXPECT_NE(message.find(b.fragment), std::string::npos) << text << "\n" << message;
    }
}

TEST(ParameterStream, MutatedStreamsLoadOrFailAsReadErrors) {
    TrpParameterList list(nullptr);
    list.SetName("L");
    list.Add("Flag", dtBoolean, Variant(true));
    list.Add("Quando", dtDateTime, Variant(45366.5));
    list.Add("Dinheiro", dtCurrency, Variant(12.5));
    list.Add("Texto", dtString, Variant("a\u00e7\u00e3o"))->PickList()->Add("x");
    list.Add("Grande", dtLargeInt, Variant(5000000000LL))->SetValue(Null());
    const std::string base = Save(&list);
    std::mt19937 random(29);
    int loaded = 0;
    for (int round = 0; round < 20000; ++round) {
        std::string bytes = base;
        for (int k = 1 + static_cast<int>(random() % 3); k > 0; --k) {
            const std::size_t at = random() % bytes.size();
            switch (random() % 4) {
                case 0: bytes[at] = static_cast<char>(random()); break;
                case 1: bytes.resize(at); break;
                case 2: bytes.insert(at, 1, static_cast<char>(random() % 24)); break;
                default: bytes.erase(at, 1 + random() % 8); break;
            }
            if (bytes.empty()) bytes = "T";
        }
        TStringStream in(bytes);
        try {
            std::unique_ptr<TComponent> read(ReadComponent(in, nullptr));
            ++loaded;
        } catch (const EReadError&) {
        } catch (const Exception& e) {
            FAIL() << "round " << round << ": " << e.ClassName() << " " << e.Message();
        }
    }
    EXPECT_GT(loaded, 0);
}

// --- Scripting -----------------------------------------------------------------

const TrsRTTI* ListAdapter() { return TrsRTTIClassRegistry::GetRTTIClass(TrpParameterList::StaticClassType()); }

// Calls a list member with its parameters bound, in order, to Args.
template <class... T>
bool Call(TrpParameterList& list, const std::string& name, bool read, T*... args) {
    TrsMemberDescriptor rec;
    if (!ListAdapter()->GetPropRec(list.ClassType(), name, rec) || !rec.Params) return false;
    int i = 0;
    (rec.Params->BindParam(i++, args), ...);
    return ListAdapter()->CallMethod(&list, name, read, rec.Params.get());
}

TEST(ParameterScripting, IndexedValuesItemsAndMethods) {
    ASSERT_EQ(ListAdapter(), TrsTrpParameterListRTTI::Instance());
    TrpParameterList list(nullptr);
    TrsMemberDescriptor rec;
    ASSERT_TRUE(ListAdapter()->GetPropRec(list.ClassType(), "Add", rec));
    ASSERT_EQ(rec.Params->Count(), 4);
    EXPECT_EQ(rec.Params->Items(1)->EnumTypeName, "TrpDataType");
    ASSERT_TRUE(ListAdapter()->GetPropRec(list.ClassType(), "Values", rec));
    EXPECT_TRUE(rec.IsArrayProperty);

    std::string name = "Ano";
    int32_t type = dtInteger;
    Variant value("2024");
    TObject* made = nullptr;
    ASSERT_TRUE(Call(list, "ADD", false, &name, &type, &value, &made));
    ASSERT_EQ(made, list.FindItem("Ano"));
    EXPECT_EQ(list.FindItem("Ano")->Value().AsInteger(), 2024);
    name = "Outro";
    type = 99;
    EXPECT_FALSE(Call(list, "Add", false, &name, &type, &value, &made));
    EXPECT_EQ(list.Count(), 1);

    // Values['ano'] read; Values['Mes'] written, which insert mode creates.
    std::string key = "ano";
    Variant got;
    ASSERT_TRUE(Call(list, "Values", true, &key, &got));
    EXPECT_EQ(got.AsInteger(), 2024);
    key = "Mes";
    got = Variant(11);
    ASSERT_TRUE(Call(list, "Values", false, &key, &got));
    EXPECT_EQ(list.FindItem("Mes")->Value().AsString(), "11");

    int32_t index = 1;
    TObject* item = nullptr;
    ASSERT_TRUE(Call(list, "ItemsByIndex", true, &index, &item));
    EXPECT_EQ(item, list.FindItem("Mes"));
    key = "mes";
    item = nullptr;
    ASSERT_TRUE(Call(list, "Items", true, &key, &item));
    EXPECT_EQ(item, list.FindItem("Mes"));
    bool found = false;
    ASSERT_TRUE(Call(list, "InList", false, &key, &found));
    EXPECT_TRUE(found);
    ASSERT_TRUE(Call(list, "Remove", false, &key));
    EXPECT_EQ(list.Count(), 1);
    TObject* other = &list;
    bool equal = true;
    EXPECT_FALSE(Call(list, "EqualTo", false, &other, &equal));
    EXPECT_TRUE(equal) << "described, never carried out";

    TrsValue v;
    ASSERT_TRUE(ListAdapter()->GetPropValue(&list, "count", v));
    EXPECT_EQ(std::get<int32_t>(v), 1);
    EXPECT_FALSE(ListAdapter()->SetPropValue(&list, "Count", TrsValue(int32_t{5})));
    ASSERT_TRUE(ListAdapter()->SetPropValue(&list, "InsertMode", TrsValue(false)));
    EXPECT_FALSE(list.InsertMode());
    EXPECT_TRUE(ListAdapter()->CallMethod(&list, "Clear", false, nullptr));
    EXPECT_EQ(list.Count(), 0);
}

TEST(ParameterScripting, AParametersPublishedValueIsReachedByName) {
    TrpParameterList list(nullptr);
    TrpParameter* p = list.Add("Total", dtCurrency, Variant(10));
    const TrsRTTI* a = TrsRTTIClassRegistry::GetRTTIClass(TrpParameter::StaticClassType());
    ASSERT_NE(a, nullptr);
    TrsMemberDescriptor rec;
    ASSERT_TRUE(a->GetPropRec(p->ClassType(), "Value", rec));
    EXPECT_EQ(rec.DataType, rsVariant);
    ASSERT_TRUE(a->SetPropValue(p, "Value", TrsValue(std::string("2,5"))));
    EXPECT_EQ(p->Value().VarType(), varCurrency);
    EXPECT_EQ(p->Value().AsCurrency().Raw(), 25000);
    TrsValue v;
    ASSERT_TRUE(a->GetPropValue(p, "VALUE", v));
    EXPECT_EQ(std::get<Variant>(v).AsCurrency().Raw(), 25000);
}

}  // namespace
