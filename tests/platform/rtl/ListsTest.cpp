#include "platform/rtl/Lists.h"

#include <gtest/gtest.h>

#include <fstream>
#include <stdexcept>

#include "platform/rtl/Filer.h"
#include "platform/rtl/Strings.h"
#include "tests/platform/rtl/FileFaultSupport.h"
#include "tests/support/TestSupport.h"

using testsupport::ReadAll;
using testsupport::TempDir;
using testsupport::WriteAll;

namespace {

// Counts how many are alive, to see who frees what.
struct Counted : TObject {
    static inline int alive = 0;
    int id;
    explicit Counted(int i) : id(i) { ++alive; }
    ~Counted() override { --alive; }
};

std::vector<std::string> ItemsOf(const TStrings& s) {
    std::vector<std::string> v;
    for (int i = 0; i < s.Count(); ++i) v.push_back(s.Get(i));
    return v;
}

template <class F>
std::string ListErrorOf(F f) {
    try {
        f();
    } catch (const EListError& e) {
        return e.Message();
    }
    return "(no error)";
}

}  // namespace

// ---------------------------------------------------------------------------
// TList, TObjectList

TEST(List, EditingAndIndexErrors) {
    int a = 1, b = 2, c = 3, d = 4;
    TList l;
    EXPECT_EQ(l.Add(&a), 0);
    l.Add(&b);
    l.Add(&c);
    l.Insert(1, &d);  // a d b c
    EXPECT_EQ(l.IndexOf(&b), 2);
    EXPECT_EQ(l.Remove(&d), 1);
    EXPECT_EQ(l.Remove(&d), -1);
    l.Exchange(0, 2);  // c b a
    EXPECT_EQ(l[0], &c);
    l.Move(0, 2);  // b a c
    EXPECT_EQ(l.First(), &b);
    EXPECT_EQ(l.Last(), &c);
    EXPECT_EQ(l.Extract(&a), &a);
    EXPECT_EQ(l.Extract(&a), nullptr);
    EXPECT_EQ(l.Count(), 2);

    EXPECT_EQ(ListErrorOf([&] { l.Items(2); }), "List index out of bounds (2)");
    EXPECT_EQ(ListErrorOf([&] { l.Delete(-1); }), "List index out of bounds (-1)");
    EXPECT_EQ(ListErrorOf([&] { l.Insert(3, &a); }), "List index out of bounds (3)");
    EXPECT_EQ(ListErrorOf([&] { l.SetCapacity(1); }), "List capacity out of bounds (1)");
    l.Insert(2, &a);  // at Count: appends
    EXPECT_EQ(l.Last(), &a);

    l.SetCount(5);
    EXPECT_EQ(l.Items(4), nullptr);
    l.Pack();
    EXPECT_EQ(l.Count(), 3);
    l.Clear();
    EXPECT_EQ(ListErrorOf([&] { l.First(); }), "List index out of bounds (0)");
}

TEST(List, SortIsStable) {
    std::vector<std::pair<int, char>> v{{2, 'a'}, {1, 'b'}, {2, 'c'}, {1, 'd'}, {0, 'e'}};
    TList l;
    for (auto& p : v) l.Add(&p);
    l.Sort([](void* x, void* y) {
        return static_cast<std::pair<int, char>*>(x)->first - static_cast<std::pair<int, char>*>(y)->first;
    });
    std::string order;
    for (void* p : l.List()) order += static_cast<std::pair<int, char>*>(p)->second;
    EXPECT_EQ(order, "ebdac");

    // A compare function that is no order at all must not run out of bounds.
    for (int i = 0; i < 40; ++i) l.Add(&v[static_cast<std::size_t>(i % 5)]);
    l.Sort([](void*, void*) { return 1; });
    EXPECT_EQ(l.Count(), 45);
}

TEST(ObjectList, FreesWhatItOwns) {
    Counted::alive = 0;
    {
        TObjectList l;
        auto* keep = new Counted(1);
        l.Add(keep);
        l.Add(new Counted(2));
        l.Add(new Counted(3));
        l.Add(new Counted(4));
        l.Delete(1);
        EXPECT_EQ(Counted::alive, 3);
        EXPECT_EQ(l.Extract(keep), keep) << "extracted objects are handed back, not freed";
        EXPECT_EQ(Counted::alive, 3);
        delete keep;
        l.SetItems(0, new Counted(5));  // replaces (and frees) 3
        EXPECT_EQ(Counted::alive, 2);
        EXPECT_EQ(static_cast<Counted*>(l.Items(0))->id, 5);
        l.Remove(l.Last());
        EXPECT_EQ(Counted::alive, 1);
    }
    EXPECT_EQ(Counted::alive, 0);

    Counted c(9);
    {
        TObjectList notOwner(false);
        notOwner.Add(&c);
        notOwner.Clear();
    }
    EXPECT_EQ(Counted::alive, 1);
}

// ---------------------------------------------------------------------------
// TStringList

TEST(StringList, SortedDuplicatesAndFind) {
    TStringList l;
    l.SetSorted(true);
    for (const char* s : {"Zé", "édson", "Eduardo", "Álvaro", "banana"}) l.Add(s);
    // pt-BR order: accented letters sort with their base letter, not after "z".
    EXPECT_EQ(ItemsOf(l), (std::vector<std::string>{"Álvaro", "banana", "édson", "Eduardo", "Zé"}));

    EXPECT_EQ(l.Add("BANANA"), 1) << "dupIgnore answers the existing line";
    EXPECT_EQ(l.Count(), 5);
    l.SetDuplicates(dupError);
    EXPECT_EQ(ListErrorOf([&] { l.Add("zé"); }), "String list does not allow duplicates");
    l.SetDuplicates(dupAccept);
    l.Add("Banana");
    EXPECT_EQ(l.Count(), 6);

    int index = -1;
    EXPECT_TRUE(l.Find("BANANA", index));
    EXPECT_EQ(index, 1) << "the first of equal lines";
    EXPECT_FALSE(l.Find("carro", index));
    EXPECT_EQ(index, 3) << "where it would go";
    EXPECT_EQ(l.IndexOf("ÉDSON"), 3);

    EXPECT_EQ(ListErrorOf([&] { l.Insert(0, "x"); }), "Operation not allowed on sorted list");
    EXPECT_EQ(ListErrorOf([&] { l.Move(0, 1); }), "Operation not allowed on sorted list");

    TStringList cs;
    cs.SetCaseSensitive(true);
    cs.SetSorted(true);
    cs.Add("a");
    cs.Add("A");
    EXPECT_EQ(cs.Count(), 2) << "case-sensitive lists keep both";
    EXPECT_EQ(cs.IndexOf("A"), cs.IndexOf("a") == 0 ? 1 : 0);
    cs.SetCaseSensitive(false);
    EXPECT_EQ(cs.Count(), 2);
}

TEST(StringList, UnsortedEditing) {
    TStringList l;
    l.Add("um");
    l.Add("dois");
    l.Insert(0, "zero");
    l.Put(1, "UM");
    EXPECT_EQ(l.IndexOf("Um"), 1);
    EXPECT_EQ(l.IndexOf("três"), -1);
    l.Exchange(0, 2);
    l.Move(0, 2);
    EXPECT_EQ(ItemsOf(l), (std::vector<std::string>{"UM", "zero", "dois"}));
    EXPECT_EQ(ListErrorOf([&] { l.Get(3); }), "List index out of bounds (3)");
    EXPECT_EQ(ListErrorOf([&] { l.Delete(-1); }), "List index out of bounds (-1)");
    EXPECT_EQ(ListErrorOf([&] { l.Insert(4, ""); }), "List index out of bounds (4)");

    l.CustomSort([](TStringList& list, int a, int b) {
        return static_cast<int>(list[a].size()) - static_cast<int>(list[b].size());
    });
    EXPECT_EQ(ItemsOf(l), (std::vector<std::string>{"UM", "zero", "dois"})) << "stable by length";

    l.AddStrings(l);
    EXPECT_EQ(l.Count(), 6) << "adding a list to itself doubles it once";
    TStringList copy;
    l.SetDelimiter(';');
    copy.Assign(l);
    EXPECT_TRUE(copy.Equals(l));
    EXPECT_EQ(copy.Delimiter(), ';');

    // Through the persistent interface, as a component property is assigned.
    TStringList other;
    TPersistent* asPersistent = &l;
    other.Assign(asPersistent);
    EXPECT_TRUE(other.Equals(l));
    TPersistent plain;
    try {
        other.Assign(&plain);
        FAIL() << "assigned a TPersistent to a string list";
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), "Cannot assign a TPersistent to a TStringList");
    }
}

TEST(StringList, OwnedObjectsAndNotices) {
    Counted::alive = 0;
    {
        TStringList l(true);
        l.AddObject("a", new Counted(1));
        l.AddObject("b", new Counted(2));
        l.AddObject("c", new Counted(3));
        l.Move(0, 2);  // a move never frees
        EXPECT_EQ(Counted::alive, 3);
        EXPECT_EQ(static_cast<Counted*>(l.Objects(2))->id, 1);
        EXPECT_EQ(l.IndexOfObject(l.Objects(2)), 2);
        l.Delete(0);
        EXPECT_EQ(Counted::alive, 2);
    }
    EXPECT_EQ(Counted::alive, 0);

    TStringList l;
    int changes = 0, changing = 0;
    l.OnChange = [&](TObject* sender) {
        EXPECT_EQ(sender, &l);
        ++changes;
    };
    l.OnChanging = [&](TObject*) { ++changing; };
    l.Add("x");
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(changing, 1);
    l.BeginUpdate();
    l.Add("y");
    l.SetText("a\nb\nc");
    l.Delete(0);
    l.EndUpdate();
    EXPECT_EQ(changes, 2) << "one notice for the whole batch";
    EXPECT_EQ(changing, 2);
    l.SetCommaText("p,q");
    EXPECT_EQ(changes, 3);
}

// ---------------------------------------------------------------------------
// Name=value pairs and delimited text, against the reference table made by
// another implementation of the same class (tests/data/rtl/stringlist_oracle.pas).

namespace {

std::string Unescape(std::string_view s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 1 < s.size()) {
            char c = s[++i];
            out += c == 't' ? '\t' : c == 'n' ? '\n' : c == 'r' ? '\r' : c;
        } else {
            out += s[i];
        }
    }
    return out;
}

// "[a][b\]c]" -> {"a", "b]c"}
std::vector<std::string> ParseList(std::string_view s) {
    std::vector<std::string> items;
    std::size_t i = 0;
    while (i < s.size()) {
        EXPECT_EQ(s[i], '[') << s;
        std::size_t j = ++i;
        while (j < s.size() && s[j] != ']') j += s[j] == '\\' ? 2 : 1;
        items.push_back(Unescape(s.substr(i, j - i)));
        i = j + 1;
    }
    return items;
}

// One escaped character from the front of s.
char TakeChar(std::string_view& s) {
    std::size_t n = s[0] == '\\' ? 2 : 1;
    std::string c = Unescape(s.substr(0, n));
    s.remove_prefix(n);
    return c[0];
}

void Fill(TStrings& l, const std::vector<std::string>& items) {
    for (const auto& s : items) l.Add(s);
}

}  // namespace

TEST(StringList, AgreesWithReferenceTable) {
    std::ifstream in(testsupport::DataPath("rtl/stringlist_oracle.txt"));
    ASSERT_TRUE(in) << "reference table missing";
    std::string line;
    int cases = 0;
    while (std::getline(in, line)) {
        auto t1 = line.find('\t');
        auto t2 = line.find('\t', t1 + 1);
        ASSERT_NE(t2, std::string::npos) << line;
        std::string kind = line.substr(0, t1);
        std::string_view input = std::string_view(line).substr(t1 + 1, t2 - t1 - 1);
        std::string output = line.substr(t2 + 1);
        SCOPED_TRACE(line);
        TStringList l;
        ++cases;
        if (kind == "GETCOMMA") {
            Fill(l, ParseList(input));
            EXPECT_EQ(l.CommaText(), Unescape(output));
        } else if (kind == "SETCOMMA") {
            l.SetCommaText(Unescape(input));
            EXPECT_EQ(ItemsOf(l), ParseList(output));
        } else if (kind == "GETDELIM" || kind == "SETDELIM") {
            l.SetDelimiter(TakeChar(input));
            l.SetQuoteChar(TakeChar(input));
            l.SetStrictDelimiter(input[0] == '1');
            input.remove_prefix(1);
            if (kind == "GETDELIM") {
                Fill(l, ParseList(input));
                EXPECT_EQ(l.DelimitedText(), Unescape(output));
            } else {
                l.SetDelimitedText(Unescape(input));
                EXPECT_EQ(ItemsOf(l), ParseList(output));
            }
        } else if (kind == "VALUES") {
            auto items = ParseList(input);
            std::string name = items.back();
            items.pop_back();
            Fill(l, items);
            EXPECT_EQ(l.Values(name), ParseList(output).at(0));
        } else if (kind == "NAMEAT") {
            auto items = ParseList(input);
            int index = std::stoi(items.back());
            items.pop_back();
            Fill(l, items);
            auto expected = ParseList(output);
            EXPECT_EQ(l.Names(index), expected.at(0));
            if (items[static_cast<std::size_t>(index)].find('=') == std::string::npos) {
                // The reference answers the whole line as the value of a line
                // that has no "="; a line without a separator has no value.
                EXPECT_EQ(l.ValueFromIndex(index), "");
            } else {
                EXPECT_EQ(l.ValueFromIndex(index), expected.at(1));
            }
        } else if (kind == "SETVALUE") {
            auto items = ParseList(input);
            std::string value = items.back();
            items.pop_back();
            std::string name = items.back();
            items.pop_back();
            Fill(l, items);
            l.SetValues(name, value);
            if (value.empty()) {
                // The reference keeps "name=" lines; the class library this
                // system was written against removes the line (and adds none).
                int i = 0;
                for (; i < static_cast<int>(items.size()); ++i) {
                    auto eq = items[static_cast<std::size_t>(i)].find('=');
                    if (eq != std::string::npos && AnsiSameText(items[static_cast<std::size_t>(i)].substr(0, eq), name)) break;
                }
                if (i < static_cast<int>(items.size())) items.erase(items.begin() + i);
                EXPECT_EQ(ItemsOf(l), items);
            } else {
                EXPECT_EQ(ItemsOf(l), ParseList(output));
            }
        } else if (kind == "SETTEXT") {
            l.SetText(Unescape(input));
            EXPECT_EQ(ItemsOf(l), ParseList(output));
        } else if (kind == "GETTEXT") {
            Fill(l, ParseList(input));
            EXPECT_EQ(l.Text(), Unescape(output));
        } else {
            ADD_FAILURE() << "unknown case kind " << kind;
        }
    }
    EXPECT_GE(cases, 100);
}

TEST(StringList, ValuesEditing) {
    TStringList l;
    l.SetValues("Servidor", "localhost");
    l.SetValues("Porta", "3050");
    l.SetValues("SERVIDOR", "10.0.0.1");
    EXPECT_EQ(l.Text(), "SERVIDOR=10.0.0.1\nPorta=3050\n");
    l.SetValueFromIndex(1, "3051");
    EXPECT_EQ(l.Values("porta"), "3051");
    l.SetValues("servidor", "");
    EXPECT_EQ(l.Count(), 1);
    l.SetNameValueSeparator(':');
    l.Add("Host: x");
    EXPECT_EQ(l.Values("Host"), " x");
    EXPECT_EQ(l.IndexOfName("host"), 1);
    l.AddPair("a", "b");
    EXPECT_EQ(l[2], "a:b");

    TStringList t;
    t.SetTrailingLineBreak(false);
    t.SetText("um\r\ndois");
    EXPECT_EQ(t.Text(), "um\ndois");
}

// ---------------------------------------------------------------------------
// Files

TEST(StringList, LoadAndSaveEncodings) {
    TempDir dir;
    TStringList l;
    l.Add("Razão Social");
    l.Add("São Paulo – SP");  // the dash exists in 1252 (0x96)
    l.SaveToFile(dir.file("utf8.txt"));
    EXPECT_EQ(ReadAll(dir.file("utf8.txt")), "Razão Social\nSão Paulo – SP\n");

    l.SaveToFile(dir.file("ansi.txt"), TEncoding::ANSI);
    EXPECT_EQ(ReadAll(dir.file("ansi.txt")), "Raz\xE3o Social\nS\xE3o Paulo \x96 SP\n");

    l.SetWriteBOM(true);
    l.SaveToFile(dir.file("bom.txt"));
    EXPECT_EQ(ReadAll(dir.file("bom.txt")).substr(0, 3), "\xEF\xBB\xBF");

    TStringList r;
    r.LoadFromFile(dir.file("ansi.txt"), TEncoding::ANSI);
    EXPECT_TRUE(r.Equals(l));
    r.LoadFromFile(dir.file("bom.txt"));
    EXPECT_TRUE(r.Equals(l)) << "the BOM is not part of the first line";
    // Asked for UTF-8, a file that is not valid UTF-8 is an older 1252 file.
    r.LoadFromFile(dir.file("ansi.txt"));
    EXPECT_TRUE(r.Equals(l));

    WriteAll(dir.file("crlf.txt"), "a\r\nb\rc\n\nd");
    r.LoadFromFile(dir.file("crlf.txt"));
    EXPECT_EQ(ItemsOf(r), (std::vector<std::string>{"a", "b", "c", "", "d"}));

    // A character 1252 lacks becomes "?".
    TStringList euro;
    euro.Add("€ ✓");
    euro.SaveToFile(dir.file("q.txt"), TEncoding::ANSI);
    EXPECT_EQ(ReadAll(dir.file("q.txt")), "\x80 ?\n");

    TStringStream s;
    l.SaveToStream(s);
    s.SetPosition(0);
    r.LoadFromStream(s);
    EXPECT_TRUE(r.Equals(l));
    EXPECT_THROW(r.LoadFromFile(dir.file("absent.txt")), EFOpenError);
}

namespace {

// A list whose lines come from elsewhere and may fail to come.
class FailingStrings : public TStrings {
public:
    int failAt = -1;
    int Count() const override { return 1000; }
    std::string Get(int index) const override {
        if (index == failAt) throw std::runtime_error("source failed");
        return "line " + std::to_string(index);
    }
    void Insert(int, const std::string&) override {}
    void Delete(int) override {}
    void Clear() override {}
};

}  // namespace

TEST(StringList, SaveToFileInterruptedKeepsThePreviousFile) {
    TempDir dir;
    std::string path = dir.file("lista.txt");
    WriteAll(path, "previous\n");

    FailingStrings f;
    f.failAt = 700;
    EXPECT_THROW(f.SaveToFile(path), std::runtime_error);
    EXPECT_EQ(ReadAll(path), "previous\n");
    EXPECT_EQ(filefaults::Entries(dir.path()), std::vector<std::string>{"lista.txt"});

    TStringList big;
    for (int i = 0; i < 2000; ++i) big.Add(std::string(50, 'k'));
    {
        filefaults::DiskFullAfter limit(8192);
        EXPECT_THROW(big.SaveToFile(path), EWriteError);
    }
    EXPECT_EQ(ReadAll(path), "previous\n");
    EXPECT_EQ(filefaults::Entries(dir.path()), std::vector<std::string>{"lista.txt"});

    f.failAt = -1;
    f.SaveToFile(path);
    EXPECT_EQ(ReadAll(path).substr(0, 14), "line 0\nline 1\n");
}

// ---------------------------------------------------------------------------
// Lines as a component property in the component stream

namespace {

class TLinesHolder : public TComponent {
public:
    explicit TLinesHolder(TComponent* owner) : TComponent(owner) {}
    FAT_CLASS(TLinesHolder)
    TStringList Lines;
    TStrings* GetLines() const { return const_cast<TStringList*>(&Lines); }
    void SetLines(TStrings* value) { Lines.Assign(value); }
};

TClass TLinesHolder::StaticClassType() {
    static const TClassInfo info = TClassBuilder<TLinesHolder>("TLinesHolder", TComponent::StaticClassType())
                                       .Object("Lines", TStrings::StaticClassType(), &TLinesHolder::GetLines,
                                               &TLinesHolder::SetLines)
                                       .Build();
    return &info;
}

}  // namespace

TEST(StringList, StreamsAsTheStringsProperty) {
    TLinesHolder holder(nullptr);
    holder.SetName("Memo1");
    holder.Lines.Add("SELECT *");
    holder.Lines.Add("FROM notas WHERE nome = 'João'");
    TMemoryStream bin;
    WriteComponent(bin, &holder);

    bin.SetPosition(0);
    TStringStream text;
    ObjectBinaryToText(bin, text);
    EXPECT_NE(text.DataString().find("Lines.Strings = (\n    'SELECT *'\n"), std::string::npos) << text.DataString();

    TLinesHolder back(nullptr);
    back.Lines.Add("replaced on reading");
    bin.SetPosition(0);
    ReadComponent(bin, &back);
    EXPECT_TRUE(back.Lines.Equals(holder.Lines)) << back.Lines.Text();

    // An empty list writes nothing at all.
    TLinesHolder empty(nullptr);
    empty.SetName("Memo2");
    TMemoryStream bin2;
    WriteComponent(bin2, &empty);
    bin2.SetPosition(0);
    TStringStream text2;
    ObjectBinaryToText(bin2, text2);
    EXPECT_EQ(text2.DataString().find("Lines."), std::string::npos) << text2.DataString();
}
