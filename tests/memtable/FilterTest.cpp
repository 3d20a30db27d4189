// Filter evaluation: texts against rows with nulls, accents and dates, the
// value rules behind them, the evaluator's own errors, and a memory table
// filtered through the evaluator.
#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <set>
#include <string>
#include <thread>

#include "memtable/mtFilter.h"
#include "memtable/mtMemTable.h"
#include "platform/rtl/Format.h"
#include "platform/rtl/Strings.h"

namespace {

using Row = std::map<std::string, Variant>;  // upper-case field names

memtable::FilterFieldReader ReaderOf(const Row& row) {
    return [&row](const std::string& name) -> Variant {
        auto it = row.find(UpperCase(name));
        if (it == row.end()) DatabaseError(Format(dbconsts::SFieldNotFound, {name}));
        return it->second;
    };
}

Variant Eval(const std::string& text, const Row& row = {}, TFilterOptions options = {}) {
    TExprParser parser(text, options);
    return memtable::EvaluateFilter(parser.Root(), ReaderOf(row));
}

Variant Date(int y, int m, int d, int h = 0, int n = 0, int s = 0) {
    return Variant::FromDateTime(EncodeDateTime(y, m, d, h, n, s, 0));
}

std::vector<Row> Rows() {
    return {
        {{"NOME", "João da Silva"}, {"CIDADE", "São Paulo"}, {"VALOR", 150.5}, {"QTD", 3},
         {"EMISSAO", Date(2026, 12, 7, 14, 30)}, {"ATIVO", true}, {"OBS", Null()}},
        {{"NOME", "ana maria"}, {"CIDADE", "Rio de Janeiro"}, {"VALOR", 20.0}, {"QTD", 0},
         {"EMISSAO", Date(2025, 1, 15)}, {"ATIVO", false}, {"OBS", "urgente"}},
        {{"NOME", "ÁLVARO"}, {"CIDADE", "Brasília"}, {"VALOR", Null()}, {"QTD", 9}, {"EMISSAO", Null()},
         {"ATIVO", Null()}, {"OBS", ""}},
        {{"NOME", "Zé"}, {"CIDADE", "São José"}, {"VALOR", 0.0}, {"QTD", 7},
         {"EMISSAO", Date(2026, 2, 28, 23, 59, 59)}, {"ATIVO", true}, {"OBS", "  espaço  "}},
    };
}

std::set<int> Passing(const std::string& text, TFilterOptions options = {}) {
    TExprParser parser(text, options);
    std::set<int> out;
    const auto rows = Rows();
    for (std::size_t i = 0; i < rows.size(); ++i)
        if (memtable::FilterResultAccepts(memtable::EvaluateFilter(parser.Root(), ReaderOf(rows[i]))))
            out.insert(static_cast<int>(i) + 1);
    return out;
}

TEST(Filter, TextsAgainstRowsWithNullsAccentsAndDates) {
    const TFilterOptions ci{foCaseInsensitive};
    struct Case {
        const char* text;
        TFilterOptions options;
        std::set<int> rows;
    } cases[] = {
        {"Nome = 'João da Silva'", {}, {1}},
        {"Nome = 'joão da silva'", {}, {}},
        {"Nome = 'JOÃO DA SILVA'", ci, {1}},
        {"Nome = 'álvaro'", ci, {3}},
        {"Nome <> 'álvaro'", ci, {1, 2, 4}},
        {"Nome = 'Jo*'", {}, {1}},
        {"Nome = 'jo*'", {}, {}},
        {"Nome = 'jo*'", ci, {1}},
        {"Nome = 'Jo*'", {foNoPartialCompare}, {}},
        {"Nome = '*'", {}, {1, 2, 3, 4}},
        {"Nome LIKE 'a*'", {}, {2}},
        {"Nome LIKE 'á*'", {}, {3}},
        {"Cidade LIKE 'São*'", {}, {1, 4}},
        {"Cidade LIKE '*o'", {}, {1, 2}},
        {"Cidade NOT LIKE '*[ée]*'", {}, {1, 3}},
        {"Valor > 100", {}, {1}},
        {"Valor >= 0", {}, {1, 2, 4}},
        {"Valor IS NULL", {}, {3}},
        {"Obs IS NOT NULL", {}, {2, 3, 4}},
        {"NOT (Valor > 100)", {}, {2, 3, 4}},
        {"Ativo OR Valor > 100", {}, {1, 4}},
        {"Qtd > 5 OR Ativo", {}, {1, 3, 4}},
        {"Ativo OR Qtd > 5", {}, {1, 3, 4}},
        {"Qtd > 5 AND Ativo", {}, {4}},
        {"NOT (Qtd > 5 AND Ativo)", {}, {1, 2}},
        {"Qtd IN (3, 7)", {}, {1, 4}},
        {"Qtd IN (7)", {}, {4}},
        {"Qtd NOT IN (3, 7)", {}, {2, 3}},
        {"Cidade IN ('São Paulo', 'Brasília')", {}, {1, 3}},
        {"Valor / Qtd > 10", {}, {1}},
        {"Qtd MOD 0 IS NULL", {}, {1, 2, 3, 4}},
        {"Qtd % 2 = 1", {}, {1, 3, 4}},
        {"Qtd * 2 + 1 = 7", {}, {1}},
        {"-Qtd < -5", {}, {3, 4}},
        {"YEAR(Emissao) = 2026", {}, {1, 4}},
        {"MONTH(Emissao) = 2 AND DAY(Emissao) = 28", {}, {4}},
        {"HOUR(Emissao) = 14 AND MINUTE(Emissao) = 30", {}, {1}},
        {"SECOND(Emissao) = 59", {}, {4}},
        {"Emissao >= '01/01/2026'", {}, {1, 4}},
        {"Emissao < DATE('2026-01-01', 'yyyy-mm-dd')", {}, {2}},
        {"UPPER(Nome) = 'JOÃO DA SILVA'", {}, {1}},
        {"lower(Nome) = 'álvaro'", {}, {3}},
        {"SUBSTRING(Nome, 1, 3) = 'Joã'", {}, {1}},
        {"SUBSTRING(Cidade, 5) = 'Paulo'", {}, {1}},
        {"TRIM(Obs) = 'espaço'", {}, {4}},
        {"TRIMLEFT(Obs) = 'espaço  ' AND TRIMRIGHT(Obs) = '  espaço'", {}, {4}},
        {"Nome + '!' = 'Zé!'", {}, {4}},
    };
    for (const Case& c : cases) EXPECT_EQ(Passing(c.text, c.options), c.rows) << c.text;
}

TEST(Filter, NullRules) {
    // Comparisons, LIKE and IN are never Null.
    for (const char* text : {"1 = NULL", "NULL <> 1", "NULL < 1", "'a' LIKE NULL", "NULL IN (1, 2)", "1 IN (NULL)"}) {
        const Variant v = Eval(text);
        ASSERT_EQ(v.VarType(), varBoolean) << text;
        EXPECT_FALSE(v.AsBoolean()) << text;
    }
    // Arithmetic, NOT, negation and the functions are.
    for (const char* text : {"NULL + 1", "2 * NULL", "NOT NULL", "-(NULL)", "UPPER(NULL)", "TRIM(NULL)",
                             "YEAR(NULL)", "SUBSTRING(NULL)", "1 / 0", "7 MOD 0", "7 % 0.4"})
        EXPECT_TRUE(Eval(text).IsNull()) << text;
    EXPECT_TRUE(Eval("NULL IS NULL").AsBoolean());
    EXPECT_FALSE(Eval("'' IS NULL").AsBoolean());
    // Three-valued AND / OR.
    EXPECT_TRUE(Eval("TRUE OR NULL").AsBoolean());
    EXPECT_TRUE(Eval("NULL OR TRUE").AsBoolean());
    EXPECT_TRUE(Eval("FALSE OR NULL").IsNull());
    EXPECT_FALSE(Eval("FALSE AND NULL").AsBoolean());
    EXPECT_TRUE(Eval("TRUE AND NULL").IsNull());
    EXPECT_FALSE(memtable::FilterResultAccepts(Null()));
    EXPECT_FALSE(memtable::FilterResultAccepts(Variant()));
}

TEST(Filter, ValuesOfOperatorsAndFunctions) {
    EXPECT_EQ(Eval("7 MOD 3").AsInteger(), 1);
    EXPECT_EQ(Eval("-7 % 3").AsInteger(), -1);
    EXPECT_DOUBLE_EQ(Eval("7 / 2").AsDouble(), 3.5);
    EXPECT_EQ(Eval("'ab' + 'cd'").AsString(), "abcd");
    EXPECT_EQ(Eval("NOT 1").AsInteger(), -2);  // bitwise for whole numbers
    EXPECT_EQ(Eval("SUBSTRING('abcdef', 0, 2)").AsString(), "ab");
    EXPECT_EQ(Eval("SUBSTRING('abcdef', 5, 10)").AsString(), "ef");
    EXPECT_EQ(Eval("SUBSTRING('abcdef', 9)").AsString(), "");
    EXPECT_EQ(Eval("SUBSTRING('ação', 2, 2)").AsString(), "çã");
    EXPECT_EQ(Eval("UPPER('ação')").AsString(), "AÇÃO");
    EXPECT_DOUBLE_EQ(Eval("TIME('10:30', 'hh:nn')").AsDouble(), 10.5 / 24);
    EXPECT_DOUBLE_EQ(Eval("DATE('07.12.2026', 'dd.mm.yyyy')").AsDouble(), EncodeDate(2026, 12, 7));
    const Row row{{"EMISSAO", Date(2026, 12, 7, 18)}};
    EXPECT_EQ(Eval("DATE(Emissao)", row).AsInt64(), static_cast<int64_t>(EncodeDate(2026, 12, 7)));
    EXPECT_DOUBLE_EQ(Eval("TIME(Emissao)", row).AsDouble(), 0.75);
    EXPECT_TRUE(Eval("GETDATE() > '01/01/2020'").AsBoolean());
    // One element reaches IN and the functions as text; longer lists end in text.
    EXPECT_EQ(Eval("UPPER(12)").VarType(), varString);
    EXPECT_TRUE(Eval("'7' IN (7)").AsBoolean());
    // An IN list far longer than any fixed array.
    std::string big = "4999 IN (";
    for (int i = 0; i < 5000; ++i) big += (i ? "," : "") + std::to_string(i);
    EXPECT_TRUE(Eval(big + ")").AsBoolean());
    EXPECT_FALSE(Eval("5000" + big.substr(4) + ")").AsBoolean());
}

TEST(Filter, DeepestAcceptedTreesEvaluate) {
    std::string chain = "1";
    for (int i = 0; i < TExprParser::MaxDepth - 2; ++i) chain += " + 1";
    EXPECT_EQ(Eval(chain).AsInteger(), TExprParser::MaxDepth - 1);
    // Each level is two nestings: the NOT and the parenthesis.
    const int levels = TExprParser::MaxNesting / 2;
    std::string nested = "A";
    for (int i = 0; i < levels; ++i) nested = "NOT (" + nested + ")";
    EXPECT_EQ(Eval(nested, {{"A", true}}).AsBoolean(), levels % 2 == 0);
    EXPECT_THROW(Eval("NOT (" + nested + ")"), EExprParserError);
}

TEST(Filter, ConversionErrorsPropagate) {
    EXPECT_THROW(Eval("DATE('not a date', 'dd/mm/yyyy')"), EConvertError);
    EXPECT_THROW(Eval("'abc' > 5"), EVariantError);
    EXPECT_THROW(Eval("Missing = 1"), EDatabaseError);
}

TExprNode* Add(TExprNode& parent, TExprNodeClass cls, TCANOperator op) {
    parent.Operands.push_back(std::make_unique<TExprNode>());
    TExprNode* n = parent.Operands.back().get();
    n->NodeClass = cls;
    n->Operator = op;
    return n;
}

std::string ErrorOf(const TExprNode& node) {
    try {
        memtable::EvaluateFilter(&node, ReaderOf({}));
    } catch (const EMemTableFilterError& e) {
        return e.Message();
    }
    return "(no error)";
}

TEST(Filter, EvaluatorErrorsOnMalformedTrees) {
    TExprNode bad;
    bad.NodeClass = static_cast<TExprNodeClass>(7);
    EXPECT_EQ(ErrorOf(bad), "iClass Out of range (7)");

    TExprNode field;
    field.NodeClass = enField;
    field.Operator = coCONST2;
    field.Name = "X";
    EXPECT_EQ(ErrorOf(field), "Unknown operator (14)");

    TExprNode binary;
    binary.NodeClass = enBinary;
    binary.Operator = coUPPER;
    Add(binary, enConst, coCONST2)->Value = 1;
    Add(binary, enConst, coCONST2)->Value = 2;
    EXPECT_EQ(ErrorOf(binary), "Operator not supported (33).");

    TExprNode compare;
    compare.NodeClass = enCompare;
    compare.Operator = coGT;
    Add(compare, enConst, coCONST2)->Value = "a";
    Add(compare, enConst, coCONST2)->Value = "b";
    EXPECT_EQ(ErrorOf(compare), "Operator not supported (5).");

    TExprNode fn;
    fn.NodeClass = enFunc;
    fn.Operator = coFUNC2;
    fn.Name = "nothing";
    EXPECT_EQ(ErrorOf(fn), "Invalid function name NOTHING");

    TExprNode substring;
    substring.NodeClass = enFunc;
    substring.Operator = coFUNC2;
    substring.Name = "SUBSTRING";
    Add(*Add(substring, enListElem, coLISTELEM2), enConst, coCONST2)->Value = "abc";
    EXPECT_EQ(ErrorOf(substring), "Invalid or missing parameter for function SUBSTRING");

    // A constant without its operator has no value.
    TExprNode empty;
    empty.NodeClass = enConst;
    empty.Operator = coFIELD2;
    empty.Value = 5;
    EXPECT_TRUE(memtable::EvaluateFilter(&empty, ReaderOf({})).IsEmpty());
}

std::unique_ptr<TmtMemTable> Clients() {
    auto t = std::make_unique<TmtMemTable>(nullptr);
    t->FieldDefs()->Add("Nome", ftString, 40);
    t->FieldDefs()->Add("Valor", ftFloat);
    t->FieldDefs()->Add("Emissao", ftDateTime);
    t->Open();
    struct R {
        const char* nome;
        Variant valor;
        Variant emissao;
    } rows[] = {{"João", 10.0, Date(2026, 12, 7)}, {"ÁLVARO", Null(), Date(2025, 3, 1)}, {"ana", 30.0, Null()}};
    for (const R& r : rows) {
        t->Append();
        t->FieldByName("Nome")->SetAsString(r.nome);
        t->FieldByName("Valor")->SetValue(r.valor);
        t->FieldByName("Emissao")->SetValue(r.emissao);
        t->Post();
    }
    return t;
}

std::vector<std::string> Names(TDataSet* t) {
    std::vector<std::string> out;
    for (t->First(); !t->Eof(); t->Next()) out.push_back(t->FieldByName("Nome")->AsString());
    return out;
}

TEST(Filter, MemoryTableFiltersThroughTheEvaluator) {
    auto t = Clients();
    t->SetFilter("Valor > 5 OR YEAR(Emissao) = 2025");
    t->SetFiltered(true);
    EXPECT_EQ(Names(t.get()), (std::vector<std::string>{"João", "ÁLVARO", "ana"}));
    t->SetFilter("Valor IS NULL OR Nome LIKE 'j*'");
    EXPECT_EQ(Names(t.get()), (std::vector<std::string>{"João", "ÁLVARO"}));
    EXPECT_EQ(t->RecordCount(), 2);
    t->SetFilterOptions({foCaseInsensitive});
    t->SetFilter("Nome = 'álvaro'");
    EXPECT_EQ(Names(t.get()), (std::vector<std::string>{"ÁLVARO"}));
    t->SetFiltered(false);
    EXPECT_EQ(t->RecordCount(), 3);
    // Bad text is refused when set, with its position.
    EXPECT_THROW(t->SetFilter("Nome = "), EExprParserError);
    // A field that is not there is reported when the records are tested.
    t->SetFiltered(true);
    EXPECT_THROW(
        {
            t->SetFilter("Nada = 1");
            Names(t.get());
        },
        EDatabaseError);
    t->SetFiltered(false);
    t->SetFilter("");
    EXPECT_EQ(Names(t.get()).size(), 3u);
}

// A filter on the clock lets more records through as time passes, the
// records unchanged: the count must follow the walk, not the first answer.
// Half the rows fall due a moment after the first count.
TEST(Filter, RecordCountFollowsAFilterOnTheClock) {
    const char* const filters[] = {"Vence <= GETDATE()", "NOT (GETDATE() < Vence)",
                                   "Id > 100 OR (HOUR(GETDATE()) >= 0 AND Vence <= getdate())"};
    for (const char* filter : filters) {
        TmtMemTable t(nullptr);
        t.FieldDefs()->Add("Id", ftInteger);
        t.FieldDefs()->Add("Vence", ftDateTime);
        t.Open();
        const TDateTime now = Now(), soon = now + 0.12 / 86400;
        for (int i = 0; i < 10; ++i) {
            t.Append();
            t.FieldByName("Id")->SetAsInteger(i + 1);
            t.FieldByName("Vence")->SetAsDateTime(i % 2 == 0 ? now - 1 : soon);
            t.Post();
        }
        t.SetFilter(filter);
        t.SetFiltered(true);
        auto walked = [&] {
            int n = 0;
            for (t.First(); !t.Eof(); t.Next()) ++n;
            return n;
        };
        const int before = t.RecordCount();
        if (Now() < soon) EXPECT_EQ(before, 5) << filter;
        while (Now() <= soon + 0.02 / 86400) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        EXPECT_EQ(t.RecordCount(), walked()) << filter;
        EXPECT_EQ(walked(), 10) << filter;
    }
}

}  // namespace
