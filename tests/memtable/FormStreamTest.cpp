// A memory table kept on a form: written with the component stream (binary
// and text form) and read back into a new form, it comes back with its
// definitions, options and references, and opens; with StoreDataOnForm its
// rows travel in the form too. Also the names the table publishes.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "memtable/mtDelta.h"
#include "memtable/mtMemTable.h"
#include "memtable/mtStreamFormat.h"
#include "platform/rtl/Filer.h"
#include "platform/rtl/Strings.h"

namespace {

// A data module: streams the components it owns as its children.
class TModuloDados : public TComponent {
public:
    FAT_CLASS(TModuloDados)
    explicit TModuloDados(TComponent* AOwner) : TComponent(AOwner) {}
    void GetChildren(const std::function<void(TComponent*)>& Proc, TComponent*) override {
        for (int i = 0; i < ComponentCount(); ++i) Proc(Components(i));
    }
};

TClass TModuloDados::StaticClassType() {
    static const TClassInfo info = TClassBuilder<TModuloDados>("TModuloDados", TComponent::StaticClassType()).Build();
    return &info;
}

// One line per record, fields by position separated by tabs.
class TLinhasFormat : public TmtCustomStreamFormat {
public:
    FAT_CLASS(TLinhasFormat)
    explicit TLinhasFormat(TComponent* AOwner) : TmtCustomStreamFormat(AOwner) {}

    void SaveData(TmtCustomMemTable* DataSet) override {
        for (DataSet->First(); !DataSet->Eof(); DataSet->Next()) {
            std::string line;
            for (int i : SaveFieldMap())
                if (i >= 0) line += DataSet->Fields()->Fields(i)->AsString() + "\t";
            WorkStream()->WriteBytes(line + "\n");
        }
    }
    bool DetermineLoadFieldIndex(TmtCustomMemTable*, int Position, int, int& MapEntry, int) override {
        MapEntry = Position;
        return true;
    }
    void LoadData(TmtCustomMemTable* DataSet) override {
        std::string all = WorkStream()->ReadAllBytes();
        std::size_t start = 0;
        for (std::size_t nl = all.find('\n'); nl != std::string::npos; start = nl + 1, nl = all.find('\n', start)) {
            DataSet->Append();
            std::size_t at = start;
            for (int i : LoadFieldMap()) {
                std::size_t tab = all.find('\t', at);
                if (i >= 0) DataSet->Fields()->Fields(i)->SetAsString(all.substr(at, tab - at));
                at = tab + 1;
            }
            DataSet->Post();
        }
    }
};

TClass TLinhasFormat::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TLinhasFormat>("TLinhasFormat", TmtCustomStreamFormat::StaticClassType()).Build();
    return &info;
}

class TResolvedor : public TmtCustomDeltaHandler {
public:
    FAT_CLASS(TResolvedor)
    explicit TResolvedor(TComponent* AOwner) : TmtCustomDeltaHandler(AOwner) {}
};

TClass TResolvedor::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TResolvedor>("TResolvedor", TmtCustomDeltaHandler::StaticClassType()).Build();
    return &info;
}

class Registered {
public:
    Registered() {
        RegisterClasses(
            {TModuloDados::StaticClassType(), TLinhasFormat::StaticClassType(), TResolvedor::StaticClassType()});
    }
    ~Registered() {
        for (TClass c : {TModuloDados::StaticClassType(), TLinhasFormat::StaticClassType(),
                         TResolvedor::StaticClassType()})
            UnRegisterClass(c);
    }
};

struct FieldSpec {
    const char* name;
    TFieldType type;
    int size;
    bool required;
};
struct IndexSpec {
    const char* name;
    const char* fields;
    TIndexOptions options;
};

const FieldSpec kFields[] = {{"Codigo", ftInteger, 0, true}, {"Descricao", ftString, 40, false}};
const IndexSpec kIndexes[] = {{"PorDescricao", "Descricao", {ixCaseInsensitive}},
                              {"PorCodigo", "Codigo", {ixUnique, ixDescending}}};

struct Row {
    int codigo;
    std::string descricao;
    bool operator==(const Row&) const = default;
};
const std::vector<Row> kRows = {{7, "Parafuso sextavado"}, {3, "Arruela lisa ção"}, {12, "Porca M8"}};

TmtMemTable* BuildTable(TModuloDados* module) {
    auto* table = new TmtMemTable(module);
    table->SetName("Produtos");
    for (const FieldSpec& f : kFields) table->FieldDefs()->Add(f.name, f.type, f.size, f.required);
    for (const IndexSpec& i : kIndexes) table->IndexDefs()->Add(i.name, i.fields, i.options);
    return table;
}

// Writes the module and reads it into a new one, through the text form when
// asked.
void RoundTrip(TModuloDados* from, TModuloDados* to, bool throughText) {
    TMemoryStream binary;
    WriteComponent(binary, from);
    binary.SetPosition(0);
    if (!throughText) {
        ReadComponentAnyForm(binary, to);
        return;
    }
    TMemoryStream text;
    ObjectBinaryToText(binary, text);
    text.SetPosition(0);
    ASSERT_EQ(TestStreamFormat(text), sofText);
    ReadComponentAnyForm(text, to);
}

class FormStream : public ::testing::TestWithParam<bool> {
protected:
    Registered registered_;
};

TEST_P(FormStream, TableComesBackWithItsDefinitionsOptionsAndReferencesAndOpens) {
    TModuloDados source(nullptr);
    source.SetName("Modulo");
    TmtMemTable* table = BuildTable(&source);
    auto* handler = new TResolvedor(&source);
    handler->SetName("Resolvedor");
    auto* format = new TLinhasFormat(&source);
    format->SetName("Linhas");
    table->SetDeltaHandler(handler);
    table->SetDefaultFormat(format);
    table->SetAllDataFormat(format);
    table->SetFilterOptions(TFilterOptions{foCaseInsensitive, foNoPartialCompare});
    table->SetIndexName("PorDescricao");
    table->SetEnableVersioning(true);
    table->SetReadOnly(true);
    table->Open();

    TModuloDados copy(nullptr);
    RoundTrip(&source, &copy, GetParam());

    auto* back = dynamic_cast<TmtMemTable*>(copy.FindComponent("Produtos"));
    ASSERT_NE(back, nullptr);
    EXPECT_TRUE(back->Active());
    ASSERT_EQ(back->FieldDefs()->Count(), 2);
    ASSERT_EQ(back->FieldCount(), 2);
    for (int i = 0; i < 2; ++i) {
        TFieldDef* d = back->FieldDefs()->Items(i);
        EXPECT_EQ(d->Name(), kFields[i].name);
        EXPECT_EQ(d->DataType(), kFields[i].type);
        EXPECT_EQ(d->Size(), kFields[i].size);
        EXPECT_EQ(d->Required(), kFields[i].required);
        EXPECT_EQ(back->Fields()->Fields(i)->FieldName(), kFields[i].name);
        EXPECT_EQ(back->Fields()->Fields(i)->DataType(), kFields[i].type);
    }
    ASSERT_EQ(back->IndexDefs()->Count(), 2);
    for (int i = 0; i < 2; ++i) {
        TIndexDef* d = back->IndexDefs()->Items(i);
        EXPECT_EQ(d->Name(), kIndexes[i].name);
        EXPECT_EQ(d->Fields(), kIndexes[i].fields);
        EXPECT_EQ(d->Options(), kIndexes[i].options);
        EXPECT_NE(back->Indexes()->Get(kIndexes[i].name), nullptr) << kIndexes[i].name;
    }
    EXPECT_EQ(back->IndexName(), "PorDescricao");
    EXPECT_EQ(back->CurIndex(), back->Indexes()->Get("PorDescricao"));
    EXPECT_EQ(back->FilterOptions(), (TFilterOptions{foCaseInsensitive, foNoPartialCompare}));
    EXPECT_TRUE(back->EnableVersioning());
    EXPECT_TRUE(back->ReadOnly());
    auto* backHandler = copy.FindComponent("Resolvedor");
    auto* backFormat = copy.FindComponent("Linhas");
    ASSERT_NE(backHandler, nullptr);
    ASSERT_NE(backFormat, nullptr);
    EXPECT_EQ(static_cast<TComponent*>(back->DeltaHandler()), backHandler);
    EXPECT_EQ(static_cast<TmtCustomDeltaHandler*>(backHandler)->DataSet(), back);
    EXPECT_EQ(static_cast<TComponent*>(back->DefaultFormat()), backFormat);
    EXPECT_EQ(static_cast<TComponent*>(back->AllDataFormat()), backFormat);
    EXPECT_EQ(back->FormFormat(), nullptr);
    EXPECT_EQ(back->PersistentFormat(), nullptr);
}

TEST_P(FormStream, RowsStoredOnTheFormComeBackThroughItsFormFormat) {
    TModuloDados source(nullptr);
    source.SetName("Modulo");
    TmtMemTable* table = BuildTable(&source);
    auto* format = new TLinhasFormat(&source);
    format->SetName("Linhas");
    table->SetFormFormat(format);
    table->SetStoreDataOnForm(true);
    table->Open();
    for (const Row& r : kRows) {
        table->Append();
        table->FieldByName("Codigo")->SetAsInteger(r.codigo);
        table->FieldByName("Descricao")->SetAsString(r.descricao);
        table->Post();
    }

    TModuloDados copy(nullptr);
    RoundTrip(&source, &copy, GetParam());

    auto* back = dynamic_cast<TmtMemTable*>(copy.FindComponent("Produtos"));
    ASSERT_NE(back, nullptr);
    ASSERT_TRUE(back->Active());
    std::vector<Row> rows;
    for (back->First(); !back->Eof(); back->Next())
        rows.push_back({back->FieldByName("Codigo")->AsInteger(), back->FieldByName("Descricao")->AsString()});
    EXPECT_EQ(rows, kRows);
}

// A closed table has no rows to keep: the form is written without them and
// the table reads back closed, with its definitions.
TEST_P(FormStream, ClosedTableStoredOnTheFormWritesAndReadsBackClosed) {
    TModuloDados source(nullptr);
    source.SetName("Modulo");
    TmtMemTable* table = BuildTable(&source);
    auto* format = new TLinhasFormat(&source);
    format->SetName("Linhas");
    table->SetFormFormat(format);
    table->SetStoreDataOnForm(true);

    TModuloDados copy(nullptr);
    RoundTrip(&source, &copy, GetParam());

    auto* back = dynamic_cast<TmtMemTable*>(copy.FindComponent("Produtos"));
    ASSERT_NE(back, nullptr);
    EXPECT_FALSE(back->Active());
    EXPECT_EQ(back->FieldDefs()->Count(), 2);
    back->Open();
    EXPECT_EQ(back->RecordCount(), 0);
}

// A table attached to another reads back open or closed as it was written,
// whichever of the two the stream holds first; the attached table shares
// the store of the table it names.
TEST_P(FormStream, AttachedTableReadsBackInTheStateItWasWritten) {
    struct Case {
        bool attachedFirst;
        bool ownerOpen, viewOpen;
    };
    const Case cases[] = {{false, true, true}, {true, true, true}, {false, true, false}, {true, true, false},
                          {false, false, false}, {true, false, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.attachedFirst) + std::to_string(c.ownerOpen) + std::to_string(c.viewOpen));
        TModuloDados source(nullptr);
        source.SetName("Modulo");
        TmtMemTable* view = nullptr;
        if (c.attachedFirst) {
            view = new TmtMemTable(&source);
            view->SetName("Visao");
        }
        TmtMemTable* table = BuildTable(&source);
        if (!c.attachedFirst) {
            view = new TmtMemTable(&source);
            view->SetName("Visao");
        }
        view->SetAttachedTo(table);
        if (c.ownerOpen) table->Open();
        if (c.viewOpen) view->Open();

        TModuloDados copy(nullptr);
        RoundTrip(&source, &copy, GetParam());
        auto* backTable = dynamic_cast<TmtMemTable*>(copy.FindComponent("Produtos"));
        auto* backView = dynamic_cast<TmtMemTable*>(copy.FindComponent("Visao"));
        ASSERT_NE(backTable, nullptr);
        ASSERT_NE(backView, nullptr);
        EXPECT_EQ(backView->AttachedTo(), backTable);
        EXPECT_EQ(backTable->Active(), c.ownerOpen);
        EXPECT_EQ(backView->Active(), c.viewOpen);
        if (!c.viewOpen) continue;
        EXPECT_EQ(backView->Common(), backTable->Common());
        backTable->Append();
        backTable->FieldByName("Codigo")->SetAsInteger(5);
        backTable->Post();
        backView->Refresh();
        EXPECT_EQ(backView->RecordCount(), 1);
    }
}

// A text or byte field longer than a record can hold is refused when the
// table opens, with a message that names the field and its size; the sizes
// up to the limit hold a value of that many characters.
TEST_P(FormStream, FieldSizeBeyondWhatARecordHoldsIsRefusedAtOpen) {
    struct Case {
        TFieldType type;
        int size;
        bool refused;
    };
    const Case cases[] = {{ftString, 255, false},       {ftString, 8192, false},
                          {ftString, 8193, true},       {ftString, 536870912, true},
                          {ftString, 1073741823, true}, {ftString, 1073741824, true},
                          {ftString, 2147483647, true}, {ftWideString, 600000000, true},
                          {ftFixedChar, 8193, true},    {ftBytes, 2147483647, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        TModuloDados source(nullptr);
        source.SetName("Modulo");
        auto* table = new TmtMemTable(&source);
        table->SetName("Notas");
        table->FieldDefs()->Add("Numero", ftInteger);
        table->FieldDefs()->Add("Observacao", c.type, c.size);
        TModuloDados copy(nullptr);
        RoundTrip(&source, &copy, GetParam());
        auto* back = dynamic_cast<TmtMemTable*>(copy.FindComponent("Notas"));
        ASSERT_NE(back, nullptr);
        ASSERT_EQ(back->FieldDefs()->Items(1)->Size(), c.size);
        if (c.refused) {
            try {
                back->Open();
                ADD_FAILURE() << "opened";
            } catch (const EMemTableError& e) {
                EXPECT_NE(e.Message().find("Observacao"), std::string::npos) << e.Message();
                EXPECT_NE(e.Message().find(std::to_string(c.size)), std::string::npos) << e.Message();
            }
            EXPECT_FALSE(back->Active());
            continue;
        }
        back->Open();
        std::string value;
        for (int i = 0; i < c.size; ++i) value += i % 2 == 0 ? "ç" : "a";
        back->Append();
        back->FieldByName("Numero")->SetAsInteger(1);
        back->FieldByName("Observacao")->SetAsString(value);
        back->Post();
        back->First();
        EXPECT_EQ(back->FieldByName("Observacao")->AsString(), value);
    }
}

// Two indexes on one field, one of them descending: the table reads back
// shown in the index it was shown in, in that index's order; selected by
// field names it reads back in the index they selected.
TEST_P(FormStream, TableReadsBackShownInTheIndexItWasShownIn) {
    struct Case {
        const char* name;    // the index selected by name, or
        const char* fields;  // by field names
        const char* expected;
    };
    const Case cases[] = {{"PorNomeDesc", "", "PorNomeDesc"}, {"PorNome", "", "PorNome"},
                          {"", "Nome", "PorNome"}};
    const std::vector<std::string> names = {"Bruno", "ana", "Álvaro", "Carla", "alice"};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        TModuloDados source(nullptr);
        source.SetName("Modulo");
        auto* table = new TmtMemTable(&source);
        table->SetName("Pessoas");
        table->FieldDefs()->Add("Nome", ftString, 20);
        table->IndexDefs()->Add("PorNome", "Nome", {});
        table->IndexDefs()->Add("PorNomeDesc", "Nome", {ixDescending});
        table->Open();
        if (*c.name != 0) table->SetIndexName(c.name);
        if (*c.fields != 0) table->SetIndexFieldNames(c.fields);
        TModuloDados copy(nullptr);
        RoundTrip(&source, &copy, GetParam());
        auto* back = dynamic_cast<TmtMemTable*>(copy.FindComponent("Pessoas"));
        ASSERT_NE(back, nullptr);
        ASSERT_TRUE(back->Active());
        EXPECT_EQ(back->IndexName(), c.expected);
        EXPECT_EQ(back->CurIndex(), back->Indexes()->Get(c.expected));
        for (const std::string& n : names) {
            back->Append();
            back->FieldByName("Nome")->SetAsString(n);
            back->Post();
        }
        std::vector<std::string> expected = names;
        std::sort(expected.begin(), expected.end(),
                  [](const std::string& a, const std::string& b) { return AnsiCompareStr(a, b) < 0; });
        if (std::string(c.expected) == "PorNomeDesc") std::reverse(expected.begin(), expected.end());
        std::vector<std::string> shown;
        for (back->First(); !back->Eof(); back->Next()) shown.push_back(back->FieldByName("Nome")->AsString());
        EXPECT_EQ(shown, expected);
    }
}

INSTANTIATE_TEST_SUITE_P(BinaryAndText, FormStream, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Text" : "Binary"; });

// What the component placed on forms publishes, with the kind of each type,
// including the inherited properties it names.
TEST(FormStream, TablePublishesEveryPropertyAndEventItNames) {
    struct Published {
        const char* name;
        TTypeKind kind;
        const char* cls = nullptr;  // the class a reference or owned list is declared with
    };
    const Published expected[] = {
        {"Active", tkEnumeration}, {"FieldDefs", tkClass, "TFieldDefs"}, {"Filter", tkLString}, {"Filtered", tkEnumeration},
        {"AutoCalcFields", tkEnumeration}, {"DesignActivation", tkEnumeration}, {"AttachedTo", tkClass, "TmtCustomMemTable"},
        {"AttachedAutoRefresh", tkEnumeration}, {"AttachMaxCount", tkInteger}, {"AutoIncMinValue", tkInteger},
        {"DeltaHandler", tkClass, "TmtCustomDeltaHandler"}, {"EnableIndexes", tkEnumeration}, {"AutoAddIndexes", tkEnumeration},
        {"AutoReposition", tkEnumeration}, {"IndexFieldNames", tkLString}, {"IndexName", tkLString},
        {"IndexDefs", tkClass, "TIndexDefs"}, {"RecalcOnIndex", tkEnumeration}, {"RecalcOnFetch", tkEnumeration},
        {"SortFields", tkLString}, {"SortOptions", tkSet}, {"ReadOnly", tkEnumeration},
        {"Performance", tkEnumeration}, {"Standalone", tkEnumeration}, {"PersistentFile", tkLString},
        {"StoreDataOnForm", tkEnumeration}, {"Persistent", tkEnumeration}, {"PersistentBackup", tkEnumeration},
        {"PersistentBackupExt", tkLString}, {"ProgressFlags", tkSet}, {"LoadLimit", tkInteger},
        {"SaveLimit", tkInteger}, {"LoadedCompletely", tkEnumeration}, {"SavedCompletely", tkEnumeration},
        {"EnableVersioning", tkEnumeration}, {"VersioningMode", tkEnumeration}, {"FilterOptions", tkSet},
        {"MasterFields", tkLString}, {"DetailFields", tkLString}, {"MasterSource", tkClass, "TDataSource"}, {"Version", tkLString},
        {"LanguageID", tkInteger}, {"SortID", tkInteger}, {"SubLanguageID", tkInteger}, {"LocaleID", tkInteger},
        {"DefaultFormat", tkClass, "TmtCustomStreamFormat"}, {"CommaTextFormat", tkClass, "TmtCustomStreamFormat"}, {"PersistentFormat", tkClass, "TmtCustomStreamFormat"},
        {"AllDataFormat", tkClass, "TmtCustomStreamFormat"}, {"FormFormat", tkClass, "TmtCustomStreamFormat"}, {"RangeIgnoreNullKeyValues", tkEnumeration},
        {"BeforeInsert", tkMethod}, {"OnProgress", tkMethod}, {"OnLoadRecord", tkMethod},
        {"OnSaveRecord", tkMethod}, {"OnLoadField", tkMethod}, {"OnSaveField", tkMethod},
        {"OnCompressBlobStream", tkMethod}, {"OnDecompressBlobStream", tkMethod}, {"OnSetupField", tkMethod},
        {"OnSetupFieldProperties", tkMethod}, {"OnCompressField", tkMethod}, {"OnDecompressField", tkMethod},
        {"OnSave", tkMethod}, {"OnLoad", tkMethod}, {"OnCompareFields", tkMethod}, {"OnFilterIndex", tkMethod},
    };
    for (const Published& p : expected) {
        const TPropInfo* info = GetPropInfo(TmtMemTable::StaticClassType(), p.name);
        if (info == nullptr) {
            ADD_FAILURE() << p.name << " is not published";
            continue;
        }
        EXPECT_EQ(info->Kind(), p.kind) << p.name;
        if (p.cls != nullptr) {
            ASSERT_NE(info->PropType->ClassType, nullptr) << p.name;
            EXPECT_EQ(info->PropType->ClassType->Name, p.cls) << p.name;
        }
    }
}

}  // namespace
