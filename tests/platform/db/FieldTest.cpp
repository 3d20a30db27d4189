// Field kinds: conversions, limits, formats, events, defaults and blobs.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/db/DB.h"
#include "platform/rtl/Format.h"
#include "platform/rtl/Strings.h"
#include "tests/platform/db/VectorDataSet.h"

using testsupport::VectorDataSet;

namespace {

// One dataset with a field of every kind the billing tables use.
class FieldFixture : public ::testing::Test {
protected:
    void SetUp() override {
        auto* defs = d.FieldDefs();
        defs->Add("Nome", ftString, 5);
        defs->Add("Qtd", ftInteger);
        defs->Add("Pequeno", ftSmallint);
        defs->Add("Grande", ftLargeint);
        defs->Add("Preco", ftFloat);
        defs->Add("Valor", ftCurrency);
        defs->Add("Ativo", ftBoolean);
        defs->Add("Dia", ftDate);
        defs->Add("Hora", ftTime);
        defs->Add("Quando", ftDateTime);
        defs->Add("Obs", ftMemo);
        defs->Add("Foto", ftGraphic);
        defs->Add("Codigo", ftAutoInc);
        defs->Add("Palavra", ftWord);
        defs->Add("Texto", ftWideString, 10);
        d.Open();
        d.Append();
    }

    TField* F(const char* name) { return d.FieldByName(name); }

    VectorDataSet d;
};

TEST_F(FieldFixture, DefaultFieldsTakeTheClassAndBufferOfTheirKind) {
    EXPECT_NE(dynamic_cast<TStringField*>(F("Nome")), nullptr);
    EXPECT_NE(dynamic_cast<TSmallintField*>(F("Pequeno")), nullptr);
    EXPECT_NE(dynamic_cast<TLargeintField*>(F("Grande")), nullptr);
    EXPECT_NE(dynamic_cast<TCurrencyField*>(F("Valor")), nullptr);
    EXPECT_NE(dynamic_cast<TDateField*>(F("Dia")), nullptr);
    EXPECT_NE(dynamic_cast<TTimeField*>(F("Hora")), nullptr);
    EXPECT_NE(dynamic_cast<TMemoField*>(F("Obs")), nullptr);
    EXPECT_NE(dynamic_cast<TGraphicField*>(F("Foto")), nullptr);
    EXPECT_NE(dynamic_cast<TAutoIncField*>(F("Codigo")), nullptr);
    EXPECT_NE(dynamic_cast<TWideStringField*>(F("Texto")), nullptr);
    EXPECT_EQ(F("Nome")->DataSize(), 5 * 4 + 1);
    EXPECT_EQ(F("Pequeno")->DataSize(), 2);
    EXPECT_EQ(F("Qtd")->DataSize(), 4);
    EXPECT_EQ(F("Grande")->DataSize(), 8);
    EXPECT_EQ(F("Dia")->DataSize(), 8);
    EXPECT_EQ(F("Obs")->DataSize(), 0);
    EXPECT_TRUE(F("Obs")->IsBlob());
    EXPECT_EQ(F("Nome")->FieldNo(), 1);
    EXPECT_EQ(F("Texto")->FieldNo(), 15);
    EXPECT_EQ(F("Valor")->Alignment(), taRightJustify);
    EXPECT_EQ(F("Nome")->DisplayWidth(), 5);
}

TEST_F(FieldFixture, NullValuesReadAsZeroOrEmptyThroughTheAccessors) {
    for (TField* f : d.Fields()->List()) {
        EXPECT_TRUE(f->IsNull()) << f->FieldName();
        EXPECT_TRUE(f->Value().IsNull()) << f->FieldName();
        EXPECT_EQ(f->DisplayText().empty(), !f->IsBlob()) << f->FieldName();
    }
    EXPECT_EQ(F("Nome")->AsString(), "");
    EXPECT_EQ(F("Nome")->AsInteger(), 0);
    EXPECT_EQ(F("Qtd")->AsInteger(), 0);
    EXPECT_EQ(F("Qtd")->AsString(), "");
    EXPECT_EQ(F("Preco")->AsFloat(), 0.0);
    EXPECT_FALSE(F("Ativo")->AsBoolean());
    EXPECT_EQ(F("Dia")->AsDateTime(), 0.0);
    EXPECT_EQ(F("Obs")->AsString(), "");
}

TEST_F(FieldFixture, TextIsCutToSizeCharactersNotBytes) {
    F("Nome")->SetAsString("Conceição");
    EXPECT_EQ(F("Nome")->AsString(), "Conce");
    F("Nome")->SetAsString("çãõéí-extra");
    EXPECT_EQ(F("Nome")->AsString(), "çãõéí");
    F("Nome")->SetAsString("");
    EXPECT_FALSE(F("Nome")->IsNull());
    F("Texto")->SetAsString("Situação tributária");
    EXPECT_EQ(F("Texto")->AsString(), "Situação t");
}

TEST_F(FieldFixture, IntegerKindsRefuseTextAndValuesOutsideTheirRange) {
    F("Qtd")->SetAsInteger(7);
    try {
        F("Qtd")->SetAsString("sete");
        FAIL();
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.Message(), "O valor 'sete' não é um número inteiro válido para Qtd.");
    }
    EXPECT_EQ(F("Qtd")->AsInteger(), 7);
    F("Qtd")->SetAsString(" 12 ");
    EXPECT_EQ(F("Qtd")->AsInteger(), 12);
    F("Qtd")->SetAsString("");
    EXPECT_TRUE(F("Qtd")->IsNull());

    EXPECT_THROW(F("Pequeno")->SetAsInteger(40000), EDatabaseError);
    F("Pequeno")->SetAsInteger(-32768);
    EXPECT_EQ(F("Pequeno")->AsInteger(), -32768);
    EXPECT_THROW(F("Palavra")->SetAsInteger(-1), EDatabaseError);
    F("Palavra")->SetAsInteger(65535);
    EXPECT_EQ(F("Palavra")->AsInteger(), 65535);
    EXPECT_THROW(F("Qtd")->SetAsLargeInt(int64_t{1} << 40), EDatabaseError);

    auto* qtd = static_cast<TIntegerField*>(F("Qtd"));
    qtd->SetMinValue(1);
    qtd->SetMaxValue(10);
    EXPECT_THROW(qtd->SetAsInteger(11), EDatabaseError);
    qtd->SetAsInteger(10);
    EXPECT_EQ(qtd->AsInteger(), 10);

    F("Grande")->SetAsString("9000000000");
    EXPECT_EQ(F("Grande")->AsLargeInt(), 9000000000LL);
    EXPECT_EQ(F("Grande")->Value().AsInt64(), 9000000000LL);
}

TEST_F(FieldFixture, NumbersFormatForDisplayAndEditing) {
    auto* preco = static_cast<TFloatField*>(F("Preco"));
    preco->SetAsFloat(1234.5);
    EXPECT_EQ(preco->AsString(), "1234,5");
    preco->SetDisplayFormat("#,##0.00");
    EXPECT_EQ(preco->DisplayText(), "1.234,50");
    // Editing falls back to the display format until an edit format is set.
    EXPECT_EQ(preco->Text(), "1.234,50");
    preco->SetEditFormat("0.000");
    EXPECT_EQ(preco->Text(), "1234,500");
    preco->SetText("2,25");
    EXPECT_DOUBLE_EQ(preco->AsFloat(), 2.25);
    EXPECT_THROW(preco->SetAsString("dois"), EDatabaseError);

    F("Valor")->SetAsFloat(1234.5);
    EXPECT_EQ(F("Valor")->DisplayText(), "R$ 1.234,50");
    EXPECT_EQ(F("Valor")->Text(), "1234,50");
    EXPECT_EQ(F("Valor")->AsCurrency(), Currency::FromDouble(1234.5));

    auto* qtd = static_cast<TIntegerField*>(F("Qtd"));
    qtd->SetAsInteger(5);
    qtd->SetDisplayFormat("000");
    EXPECT_EQ(qtd->DisplayText(), "005");
    EXPECT_EQ(qtd->AsString(), "5");
}

TEST_F(FieldFixture, BooleanTextComesFromDisplayValues) {
    auto* ativo = static_cast<TBooleanField*>(F("Ativo"));
    ativo->SetAsBoolean(true);
    EXPECT_EQ(ativo->AsString(), "True");
    ativo->SetDisplayValues("Sim;Não");
    EXPECT_EQ(ativo->AsString(), "Sim");
    ativo->SetAsString("não");
    EXPECT_FALSE(ativo->AsBoolean());
    EXPECT_FALSE(ativo->IsNull());
    ativo->SetAsString("S");
    EXPECT_TRUE(ativo->AsBoolean());
    EXPECT_THROW(ativo->SetAsString("talvez"), EDatabaseError);
    EXPECT_TRUE(ativo->AsBoolean());
    ativo->SetValue(Variant(false));
    EXPECT_EQ(ativo->Value().VarType(), varBoolean);
    EXPECT_FALSE(ativo->Value().AsBoolean());
    try {
        ativo->AsDateTime();
        FAIL();
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.Message(), "Cannot access field 'Ativo' as type DateTime");
    }
}

TEST_F(FieldFixture, DateAndTimeKindsKeepTheirPartOfTheValue) {
    F("Dia")->SetAsDateTime(45292.75);  // 2024-01-01 18:00
    EXPECT_EQ(F("Dia")->AsDateTime(), 45292.0);
    EXPECT_EQ(F("Dia")->AsString(), "01/01/2024");
    F("Hora")->SetAsDateTime(45292.75);
    EXPECT_DOUBLE_EQ(F("Hora")->AsDateTime(), 0.75);
    EXPECT_EQ(F("Hora")->AsString(), "18:00:00");
    F("Quando")->SetAsDateTime(45292.75);
    EXPECT_EQ(F("Quando")->AsString(), "01/01/2024 18:00:00");
    static_cast<TDateTimeField*>(F("Quando"))->SetDisplayFormat("dd/mm/yy hh:nn");
    EXPECT_EQ(F("Quando")->DisplayText(), "01/01/24 18:00");
    F("Dia")->SetAsString("25/12/2023");
    EXPECT_EQ(F("Dia")->AsDateTime(), 45285.0);
    EXPECT_THROW(F("Dia")->SetAsString("31/02/2023"), EDatabaseError);
    EXPECT_EQ(F("Dia")->AsDateTime(), 45285.0);
    EXPECT_EQ(F("Dia")->Value().VarType(), varDate);
}

TEST_F(FieldFixture, DateAndTimeTextTakesTheFieldsPartOrIsRefusedInPortuguese) {
    // The text of a date-time value (as a date-time field shows it) fits a
    // date or a time field: each takes its own part.
    const struct {
        const char* field;
        const char* text;
        double value;
    } accepted[] = {
        {"Dia", "15/03/2024 10:30:00", 45366.0},
        {"Dia", "15/03/2024", 45366.0},
        {"Hora", "15/03/2024 18:00:00", 0.75},
        {"Hora", "06:00", 0.25},
        {"Quando", "15/03/2024 18:00", 45366.75},
    };
    for (const auto& a : accepted) {
        F(a.field)->SetAsString(a.text);
        EXPECT_DOUBLE_EQ(F(a.field)->AsDateTime(), a.value) << a.field << " " << a.text;
    }
    const struct {
        const char* field;
        const char* text;
        const char* message;
    } refused[] = {
        {"Dia", "31/02/2024", "'31/02/2024' não é uma data válida para o campo 'Dia'."},
        {"Dia", "15/03/2024 25:00", "'15/03/2024 25:00' não é uma data válida para o campo 'Dia'."},
        {"Hora", "25:00", "'25:00' não é uma hora válida para o campo 'Hora'."},
        {"Hora", "15/03/2024", "'15/03/2024' não é uma hora válida para o campo 'Hora'."},
        {"Quando", "amanhã", "'amanhã' não é uma data e hora válida para o campo 'Quando'."},
    };
    for (const auto& r : refused) {
        const double before = F(r.field)->AsDateTime();
        try {
            F(r.field)->SetAsString(r.text);
            ADD_FAILURE() << r.text;
        } catch (const EDatabaseError& e) {
            EXPECT_EQ(e.Message(), r.message);
        }
        EXPECT_EQ(F(r.field)->AsDateTime(), before) << r.text;
    }
}

TEST_F(FieldFixture, WhatAFieldCannotTakeIsToldInPortugueseByItsCaption) {
    F("Qtd")->SetDisplayLabel("Quantidade de Volumes");
    F("Preco")->SetDisplayLabel("Valor do Frete");
    F("Valor")->SetDisplayLabel("Percentual de Comissão");
    F("Grande")->SetDisplayLabel("Código do Vendedor");
    F("Nome")->SetAsString("abc");
    const struct {
        std::function<void()> act;
        const char* message;
    } refused[] = {
        {[&] { F("Preco")->SetAsString("abc"); }, "O valor 'abc' não é um número válido para Valor do Frete."},
        {[&] { F("Valor")->SetAsString("3,5%"); },
         "O valor '3,5%' não é um número válido para Percentual de Comissão."},
        {[&] { F("Qtd")->SetAsString("abcSouza"); },
         "O valor 'abcSouza' não é um número inteiro válido para Quantidade de Volumes."},
        {[&] { F("Grande")->SetAsString("7x"); }, "O valor '7x' não é um número inteiro válido para Código do Vendedor."},
        {[&] { (void)F("Nome")->AsFloat(); }, "O valor 'abc' não é um número válido para Nome."},
        {[&] { F("Pequeno")->SetAsInteger(40000); },
         "O valor 40000 não é válido para Pequeno: o permitido vai de -32768 a 32767."},
    };
    for (const auto& r : refused) {
        try {
            r.act();
            ADD_FAILURE() << r.message;
        } catch (const EDatabaseError& e) {
            EXPECT_EQ(e.Message(), r.message);
        }
    }
}

TEST_F(FieldFixture, ValidateSeesTheNewValueAndMayRefuseIt) {
    F("Qtd")->SetAsInteger(1);
    std::vector<std::string> seen;
    F("Qtd")->OnValidate = [&](TField* f) {
        seen.push_back(f->AsString());
        if (f->AsInteger() < 0) throw EDatabaseError("Quantidade negativa");
    };
    int changes = 0;
    F("Qtd")->OnChange = [&](TField*) { ++changes; };
    F("Qtd")->SetAsInteger(5);
    EXPECT_THROW(F("Qtd")->SetAsInteger(-2), EDatabaseError);
    EXPECT_EQ(F("Qtd")->AsInteger(), 5);
    EXPECT_EQ(seen, (std::vector<std::string>{"5", "-2"}));
    EXPECT_EQ(changes, 1);
    F("Qtd")->Clear();
    EXPECT_EQ(seen.back(), "");
    EXPECT_TRUE(F("Qtd")->IsNull());
}

TEST_F(FieldFixture, GetTextAndSetTextHandlersReplaceTheConversions) {
    F("Nome")->OnGetText = [](TField* f, std::string& text, bool display) {
        text = (display ? "[" : "<") + f->AsString() + (display ? "]" : ">");
    };
    F("Nome")->OnSetText = [](TField* f, const std::string& text) { f->SetAsString(UpperCase(text)); };
    F("Nome")->SetText("abc");
    EXPECT_EQ(F("Nome")->AsString(), "ABC");
    EXPECT_EQ(F("Nome")->DisplayText(), "[ABC]");
    EXPECT_EQ(F("Nome")->Text(), "<ABC>");
}

TEST_F(FieldFixture, VariantValuesRoundTripAndNullClears) {
    F("Preco")->SetValue(Variant("3,5"));
    EXPECT_DOUBLE_EQ(F("Preco")->AsFloat(), 3.5);
    F("Qtd")->SetValue(Variant(2.6));
    EXPECT_EQ(F("Qtd")->AsInteger(), 3);
    F("Nome")->SetValue(Variant(42));
    EXPECT_EQ(F("Nome")->AsString(), "42");
    F("Nome")->SetValue(Null());
    EXPECT_TRUE(F("Nome")->IsNull());
    d.SetFieldValues("Qtd;Nome", VarArrayOf({Variant(9), Variant("x")}));
    Variant both = d.FieldValues("Qtd;Nome");
    EXPECT_EQ(both.GetElement(0).AsInteger(), 9);
    EXPECT_EQ(both.GetElement(1).AsString(), "x");
}

TEST_F(FieldFixture, MemoAndBlobValuesLiveThroughPostAndScrolling) {
    std::string obs = std::string(300, 'x') + " observação";
    F("Obs")->SetAsString(obs);
    std::string bytes("\x00\x01\xff\x10", 4);
    TMemoryStream m;
    m.WriteBytes(bytes);
    static_cast<TBlobField*>(F("Foto"))->LoadFromStream(&m);
    d.Post();
    d.Append();
    F("Obs")->SetAsString("segundo");
    d.Post();
    d.First();
    EXPECT_EQ(F("Obs")->AsString(), obs);
    EXPECT_EQ(static_cast<TBlobField*>(F("Foto"))->BlobSize(), 4);
    TMemoryStream out;
    static_cast<TBlobField*>(F("Foto"))->SaveToStream(&out);
    EXPECT_EQ(out.DataBytes(), bytes);
    EXPECT_EQ(F("Obs")->DisplayText(), "(MEMO)");
    d.Next();
    EXPECT_EQ(F("Obs")->AsString(), "segundo");
    EXPECT_TRUE(F("Foto")->IsNull());
    EXPECT_EQ(F("Foto")->DisplayText(), "(Graphic)");
}

TEST_F(FieldFixture, BlobStreamModes) {
    F("Obs")->SetAsString("antes");
    d.Post();

    // Reading is allowed while browsing; writing is not.
    auto reader = d.CreateBlobStream(F("Obs"), bmRead);
    EXPECT_EQ(reader->ReadAllBytes(), "antes");
    reader.reset();
    try {
        d.CreateBlobStream(F("Obs"), bmWrite);
        FAIL();
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.Message(), "Dataset is not in edit mode.");
    }

    d.Edit();
    std::vector<TField*> changed;
    TDataSource src(nullptr);
    src.SetDataSet(&d);
    src.OnDataChange = [&](TObject*, TField* f) {
        if (f != nullptr) changed.push_back(f);
    };
    // Read-write starts with the value; even an empty write stores it back.
    {
        auto rw = d.CreateBlobStream(F("Obs"), bmReadWrite);
        EXPECT_EQ(rw->Size(), 5);
        rw->Write("", 0);
    }
    EXPECT_EQ(changed.size(), 1u);
    EXPECT_EQ(F("Obs")->AsString(), "antes");
    // Write mode truncates: freed without writing, the field is null.
    { auto w = d.CreateBlobStream(F("Obs"), bmWrite); }
    EXPECT_TRUE(F("Obs")->IsNull());
    d.Cancel();
    EXPECT_EQ(F("Obs")->AsString(), "antes");

    d.Edit();
    F("Obs")->SetReadOnly(true);
    EXPECT_THROW(d.CreateBlobStream(F("Obs"), bmWrite), EDatabaseError);
    d.Cancel();
}

TEST(FieldDefaults, DefaultExpressionsFillNewRecordsBeforeOnNewRecord) {
    VectorDataSet d;
    auto* situacao = new TStringField(&d);
    situacao->SetFieldName("Situacao");
    situacao->SetSize(20);
    situacao->SetDefaultExpression("'Em Digitação'");
    situacao->SetDataSet(&d);
    auto* copias = new TIntegerField(&d);
    copias->SetFieldName("Copias");
    copias->SetDefaultExpression("1");
    copias->SetDataSet(&d);
    std::string seenInHandler;
    d.OnNewRecord = [&](TDataSet* ds) { seenInHandler = ds->FieldByName("Situacao")->AsString(); };
    d.Open();
    d.Append();
    EXPECT_EQ(seenInHandler, "Em Digitação");
    EXPECT_EQ(d.FieldByName("Copias")->AsInteger(), 1);
    EXPECT_FALSE(d.Modified());
}

TEST(FieldBinding, PersistentFieldsMustMatchTheData) {
    VectorDataSet d;
    d.FieldDefs()->Add("Nome", ftString, 10);
    auto* wrong = new TIntegerField(&d);
    wrong->SetFieldName("Nome");
    wrong->SetDataSet(&d);
    try {
        d.Open();
        FAIL();
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.Message(), "Type mismatch for field 'Nome', expecting: Integer actual: String");
    }
    EXPECT_FALSE(d.Active());

    auto* twin = new TIntegerField(&d);
    twin->SetFieldName("nome");
    EXPECT_THROW(twin->SetDataSet(&d), EDatabaseError);
    delete twin;
    EXPECT_THROW(d.FieldDefs()->Add("NOME", ftInteger), EDatabaseError);
}

TEST(FieldBinding, FieldsCannotJoinOrLeaveAnOpenDataset) {
    VectorDataSet d;
    d.FieldDefs()->Add("A", ftInteger);
    d.Open();
    auto* extra = new TIntegerField(&d);
    extra->SetFieldName("B");
    EXPECT_THROW(extra->SetDataSet(&d), EDatabaseError);
    EXPECT_THROW(d.FieldByName("A")->SetFieldName("C"), EDatabaseError);
    d.Close();
    // Default fields go with the close; the definitions stay.
    EXPECT_EQ(d.FieldCount(), 0);
    EXPECT_EQ(d.FieldDefs()->Count(), 1);
    extra->SetDataSet(&d);
    d.FieldDefs()->Add("B", ftInteger);
    d.Open();
    EXPECT_EQ(d.FieldCount(), 1);  // persistent fields: only those
    EXPECT_EQ(d.FieldByName("B"), extra);
}

}  // namespace

namespace {

// Forms and data modules are read from component streams: the field classes
// are found by name and their properties set by name.
TEST(FieldMetadata, FieldsAndSourcesAreReachableByName) {
    VectorDataSet d;
    d.SetName("qryCliente");
    TClass cls = GetClass("TStringField");
    ASSERT_NE(cls, nullptr);
    std::unique_ptr<TObject> made(cls->Create(nullptr));
    auto* f = dynamic_cast<TStringField*>(made.get());
    ASSERT_NE(f, nullptr);
    cls->FindProp("FieldName")->SetStr(f, "Nome");
    cls->FindProp("Size")->SetOrd(f, 40);
    cls->FindProp("DisplayLabel")->SetStr(f, "Nome do cliente");
    cls->FindProp("Required")->SetOrd(f, 1);
    EXPECT_FALSE(cls->FindProp("DisplayWidth")->IsStored(f));
    f->SetParentComponent(&d);
    made.release();  // the dataset frees its fields
    EXPECT_EQ(d.FieldByName("nome"), f);
    EXPECT_EQ(f->Size(), 40);
    EXPECT_TRUE(f->Required());
    EXPECT_EQ(f->DisplayName(), "Nome do cliente");
    EXPECT_EQ(f->GetParentComponent(), &d);

    TClass ds = GetClass("TDataSource");
    ASSERT_NE(ds, nullptr);
    TDataSource src(nullptr);
    ds->FindProp("DataSet")->SetObject(&src, &d);
    EXPECT_EQ(src.DataSet(), &d);
    EXPECT_EQ(ds->FindProp("AutoEdit")->GetOrd(&src), 1);
    EXPECT_NE(d.ClassType()->FindProp("Active"), nullptr);
    EXPECT_NE(GetClass("TCurrencyField")->FindProp("DisplayFormat"), nullptr);
}

}  // namespace

namespace {

TEST(FieldDefinitions, NumberFindCopyAndIndexLookups) {
    VectorDataSet d;
    TFieldDefs* defs = d.FieldDefs();
    defs->Add("Id_Cliente", ftString, 7, true);
    defs->Add("Nome", ftString, 60);
    defs->Add("Limite", ftCurrency);
    EXPECT_EQ(defs->Find("NOME")->FieldNo(), 2);
    EXPECT_TRUE(defs->Find("id_cliente")->Required());
    EXPECT_EQ(defs->IndexOf("Outro"), -1);
    EXPECT_THROW(defs->Find("Outro"), EDatabaseError);
    defs->Delete(0);
    EXPECT_EQ(defs->Find("Limite")->FieldNo(), 2);

    VectorDataSet copy;
    copy.FieldDefs()->Assign(defs);
    ASSERT_EQ(copy.FieldDefs()->Count(), 2);
    EXPECT_EQ(copy.FieldDefs()->Items(1)->DataType(), ftCurrency);
    EXPECT_EQ(copy.FieldDefs()->Items(0)->Size(), 60);
    EXPECT_EQ(copy.FieldDefs()->Items(1)->Collection(), copy.FieldDefs());

    TIndexDefs* idx = d.IndexDefs();
    idx->Add("PK", "Id_Cliente", {ixPrimary, ixUnique});
    idx->Add("ByName", "Nome;Cidade", {ixCaseInsensitive});
    EXPECT_EQ(idx->GetIndexForFields("id_cliente", false)->Name(), "PK");
    EXPECT_EQ(idx->GetIndexForFields("Nome", true)->Name(), "ByName");
    EXPECT_EQ(idx->GetIndexForFields("Nome", false), nullptr);
    EXPECT_EQ(idx->GetIndexForFields("Cidade", true), nullptr);
    EXPECT_TRUE(idx->Find("pk")->Options().Contains(ixUnique));
    EXPECT_THROW(idx->Add("pk", "Nome", {}), EDatabaseError);
    EXPECT_THROW(idx->Find("Nada"), EDatabaseError);
}

}  // namespace
