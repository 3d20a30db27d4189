// The shared helpers: system variable texts on a fixed clock, page lists,
// version numbers, names and files, values compared, published properties
// by name, and the component helpers.
#include <gtest/gtest.h>

#include <thread>

#include "platform/rtl/Streams.h"
#include "report/rpCompUtils.h"
#include "report/rpRelatv.h"
#include "report/rpUtils.h"
#include "tests/report/ReportTestSupport.h"
#include "tests/support/TestSupport.h"

namespace {

using reporttest::FixedClock;

std::vector<std::string> Lines(const TStrings& list) {
    std::vector<std::string> out;
    for (int i = 0; i < list.Count(); ++i) out.push_back(list.Get(i));
    return out;
}

TEST(SystemVariables, TextsOfEveryKind) {
    const FixedClock clock(EncodeDate(2024, 5, 17) + EncodeTime(8, 30, 5, 0));
    const TDateTime printed = EncodeDate(2024, 5, 16) + EncodeTime(17, 0, 0, 0);
    struct Case {
        TrpVarType type;
        bool valid;
        const char* text;
    };
    for (const Case& c : {Case{vtDate, true, "17/05/2024"}, Case{vtDateTime, true, "17/05/2024 08:30:05"},
                          Case{vtTime, true, "08:30:05"}, Case{vtDocumentName, true, ""},
                          Case{vtPrintDateTime, true, "16/05/2024 17:00:00"},
                          Case{vtPrintDateTime, false, "17/05/2024 08:30:05"}, Case{vtPageCount, true, "10"},
                          Case{vtPageSet, true, "3 de 10"}, Case{vtPageSetDesc, true, "Página 3 de 10"},
                          Case{vtPageSetDesc, false, "Página 1 de 1"}, Case{vtPageNo, true, "3"},
                          Case{vtPageNo, false, "1"}, Case{vtPageNoDesc, true, "Página 3"}})
        EXPECT_EQ(rpSystemVariableText(c.type, 3, 10, printed, c.valid), c.text)
            << GetEnumName(rpTypeInfo<TrpVarType>(), c.type) << (c.valid ? "" : " (no page information)");
    EXPECT_EQ(rpGetSystemVariableText(vtPageSet, 2, 5, 0, true), "2 de 5");
}

TEST(SystemVariables, CalculationKindsAndVariableEvents) {
    EXPECT_EQ(rpCalcTypeToVarType(ctPageSetDesc), vtPageSetDesc);
    EXPECT_EQ(rpCalcTypeToVarType(ctTime), vtTime);
    EXPECT_EQ(rpCalcTypeToVarType(ctCustom), vtDate);
    const std::vector<std::pair<TrpVarEventType, int>> events = {
        {veTraversal, 35},  {veDataPipelineTraversal, 39}, {vePageStart, 21},         {vePageEnd, 17},
        {veColumnStart, 19}, {veColumnEnd, 15},           {veReportStart, 13},       {veReportEnd, 14},
        {veGroupStart, 28},  {veGroupEnd, 27},            {veGroupBeforeHeader, 29}, {veGroupBeforeFooter, 30}};
    for (const auto& [type, number] : events) EXPECT_EQ(rpVarEventToEventNumber(type), number);
    EXPECT_EQ(rpVarEventToEventNumber(static_cast<TrpVarEventType>(40)), 35);
}

TEST(PageLists, NumbersRangesAndSeparators) {
    struct Case {
        const char* text;
        std::vector<std::string> pages;
    };
    for (const Case& c : {Case{"1,3,5-7", {"1", "3", "5", "6", "7"}}, Case{"3-", {"3"}}, Case{"7-3", {"3", "7"}},
                          Case{"2,2", {"2"}}, Case{"10 - 12; 4", {"4", "10", "11", "12"}},
                          Case{"-5", {"5"}}, Case{"1-3-5", {"1", "2", "3", "4", "5"}}, Case{"", {}},
                          Case{"abc", {}}, Case{"123456789,99999999", {"99999999"}},
                          Case{"0012", {"12"}}}) {
        TStringList list;
        list.Add("old");
        rpTextToPageList(c.text, &list, true);
        EXPECT_EQ(Lines(list), c.pages) << c.text;
    }
    TStringList padded;
    rpTextToPageList("9,10", &padded, false);
    EXPECT_EQ(Lines(padded), (std::vector<std::string>{"       9", "      10"})) << "\"%8d\", in number order";
}

TEST(PageLists, AHugeRangeIsCappedAndHugeNumbersIgnored) {
    TStringList list;
    rpTextToPageList("1-99999999", &list, true);
    ASSERT_EQ(list.Count(), 100002) << "both ends and 100,000 between";
    EXPECT_EQ(list[100000], "100001");
    EXPECT_EQ(list[100001], "99999999");
    rpTextToPageList("5-100000000", &list, true);
    EXPECT_EQ(Lines(list), std::vector<std::string>{"5"}) << "a range to an ignored number adds nothing";
}

TEST(Versions, VersionTextsBecomeNumbers) {
    struct Case {
        const char* text;
        int32_t value;
    };
    for (const Case& c : {Case{"10.02", 10020}, Case{"4.0", 4000}, Case{"7", 70}, Case{"10.2", 10200},
                          Case{"10.02 beta", 10020}, Case{"1.2.3", 1200}, Case{"1.23456", 123456},
                          Case{"", 0}, Case{"versão", 0}, Case{".5", 500},
                          Case{"99999999999999999999", INT32_MAX}, Case{"2147483647", INT32_MAX}})
        EXPECT_EQ(rpVersionToInteger(c.text), c.value) << c.text;
}

TEST(TextHelpers, PaddingSplittingStrippingAndFolders) {
    EXPECT_EQ(rpPadText("abc", 5, 0), "abc  ");
    EXPECT_EQ(rpPadText("abc", 5, 1), "  abc");
    EXPECT_EQ(rpPadText("abc", 6, 2), " abc  ");
    EXPECT_EQ(rpPadText("ação", 2, 0), "aç") << "characters, not bytes";
    EXPECT_EQ(rpPadText("ação", 4, 1), "ação");
    TStringList parts;
    rpSplitCommaList("a,,b,", &parts);
    EXPECT_EQ(Lines(parts), (std::vector<std::string>{"a", "", "b"}));
    EXPECT_EQ(rpStripChar('.', "1.234.567"), "1234567");
    EXPECT_EQ(rpExtractFolder("C:\\Relatorios\\notas.rtm"), "C:\\Relatorios\\");
    EXPECT_EQ(rpExtractFolder("/home/caixa/notas.rtm"), "/home/caixa/");
    EXPECT_EQ(rpExtractFolder("dados/win\\notas.rtm"), "dados/win\\");
    EXPECT_EQ(rpExtractFolder("notas.rtm"), "");
    EXPECT_TRUE(rpSameText("AÇÃO", "ação"));
    EXPECT_EQ(rpClassNameWithoutT("TrpDBPipeline"), "rpDBPipeline");
    EXPECT_EQ(rpClassNameWithoutPrefix("TrpDBPipeline"), "DBPipeline");
    TStringList numbers;
    numbers.SetText("1.5\n1.2.3\n7");
    rpDecimalSeparatorInList(&numbers);
    EXPECT_EQ(numbers.Text(), "1,5\n1,2.3\n7\n");
    TMemoryStream stream;
    stream.Write("velho", 5);
    rpStringsToStream(&numbers, &stream);
    EXPECT_EQ(stream.Size(), 12) << "the text alone, no terminating zero";
    EXPECT_EQ(rpScaleToFit(200, 100, 100, 100), 0.5);
    EXPECT_EQ(rpScaleToFit(0, 100, 100, 100), 0);
}

TEST(TextHelpers, TemporaryFilesAreMadeWithTheirPrefix) {
    testsupport::TempDir dir;
    const std::string a = rpGetTempFileName(dir.path().string(), "cch");
    const std::string b = rpGetTempFileName(dir.path().string(), "cch");
    ASSERT_FALSE(a.empty());
    EXPECT_NE(a, b);
    EXPECT_TRUE(std::filesystem::exists(a));
    EXPECT_EQ(std::filesystem::path(a).filename().string().substr(0, 3), "cch");
    EXPECT_EQ(rpGetTempFileName((dir.path() / "missing").string(), "arc"), "");
    EXPECT_EQ(rpGetTempPath().back(), '/');
}

TEST(Comparisons, VariantsAndGuids) {
    EXPECT_EQ(rpCompareVariants(Null(), Null()), 0);
    EXPECT_EQ(rpCompareVariants(Null(), Variant(1)), -1);
    EXPECT_EQ(rpCompareVariants(Variant(1), Null()), 1);
    EXPECT_EQ(rpCompareVariants(Variant(1), Variant(2.5)), -1);
    EXPECT_EQ(rpCompareVariants(Variant("b"), Variant("a")), 1);
    EXPECT_EQ(rpCompareVariants(Variant("abc"), Variant(1)), 0) << "not comparable: equal";
    // The words are little-endian: byte 1 outweighs byte 0.
    TrpGuidBytes a{}, b{};
    a[0] = 1;
    b[1] = 1;
    EXPECT_EQ(rpCompareGuidWords(a, b), -1);
    EXPECT_EQ(rpCompareGuidWords(b, a), 1);
    EXPECT_EQ(rpCompareGuidNodes(a, b), 0) << "nodes are bytes 10 to 15 only";
    a[15] = 0x80;
    b[10] = 0x01;
    EXPECT_EQ(rpCompareGuidNodes(a, b), -1);
    EXPECT_EQ(rpCompareGuidNodes(a, a), 0);
}

TEST(Streams, PeekingAtAnIdentifierPropertyLeavesTheReaderInPlace) {
    TMemoryStream stream;
    auto str = [&](const std::string& s) {
        const char len = static_cast<char>(s.size());
        stream.Write(&len, 1);
        stream.Write(s.data(), static_cast<int64_t>(s.size()));
    };
    auto byte = [&](int b) {
        const char c = static_cast<char>(b);
        stream.Write(&c, 1);
    };
    str("Tag");
    byte(vaInt8);
    byte(5);
    str("DataPipeline");
    byte(vaIdent);
    str("Form1.plClientes");
    str("Width");
    byte(vaSingle);
    const float width = 12.9f;
    stream.Write(&width, 4);
    byte(0);
    stream.SetPosition(0);
    TReader reader(&stream);
    EXPECT_EQ(rpPeekIdentProperty(&reader, "datapipeline"), "plClientes");
    EXPECT_EQ(reader.Position(), 0u);
    EXPECT_EQ(rpPeekIdentProperty(&reader, "Tag"), "") << "not an identifier";
    EXPECT_EQ(rpPeekIdentProperty(&reader, "Nothing"), "");
    EXPECT_EQ(reader.Position(), 0u);
    EXPECT_EQ(reader.ReadStr(), "Tag");
    EXPECT_EQ(rpReadTruncatedInteger(&reader), 5);
    reader.ReadStr();
    reader.SkipValue();
    reader.ReadStr();
    EXPECT_EQ(rpReadTruncatedInteger(&reader), 12) << "a stored float is truncated";
}

TEST(PublishedAccess, PropertiesAndHandlersByName) {
    TComponent c(nullptr);
    c.SetTag(9);
    EXPECT_TRUE(rpHasProperty(&c, "tag"));
    EXPECT_FALSE(rpHasProperty(&c, "Caption"));
    EXPECT_EQ(rpGetOrdPropValue(&c, "Tag"), 9);
    EXPECT_EQ(rpGetOrdPropValue(&c, "Caption"), 0);
    rpSetOrdPropValue(&c, "Tag", 4);
    rpSetOrdPropValue(&c, "Caption", 4);
    EXPECT_EQ(c.Tag(), 4);
    c.SetName("rpTeste");
    EXPECT_EQ(rpGetStrPropValue(&c, "Name"), "rpTeste");
    EXPECT_EQ(rpGetStrPropValue(&c, "Caption"), "");
    c.RegisterMethod("DoIt", std::any(TNotifyEvent([](TObject*) {})));
    EXPECT_NE(rpFindMethod(&c, "doit"), nullptr);
    EXPECT_EQ(rpFindMethod(&c, "Other"), nullptr);
    rpSetMethodPropValue(&c, "OnNothing", rpFindMethod(&c, "DoIt"));
}

TEST(SharedCounters, TheThreadCounterNeverGoesBelowZero) {
    ASSERT_EQ(rpThreadCount(), 0);
    rpDecrementThreadCount();
    EXPECT_EQ(rpThreadCount(), 0);
    EXPECT_TRUE(rpThreadSafeContext()) << "the main thread";
    bool fromWorker = true;
    std::thread([&] { fromWorker = rpThreadSafeContext(); }).join();
    EXPECT_FALSE(fromWorker);
    std::vector<std::thread> workers;
    for (int i = 0; i < 8; ++i)
        workers.emplace_back([] {
            for (int k = 0; k < 1000; ++k) rpIncrementThreadCount();
        });
    for (auto& w : workers) w.join();
    EXPECT_EQ(rpThreadCount(), 8000);
    std::thread([&] { fromWorker = rpThreadSafeContext(); }).join();
    EXPECT_TRUE(fromWorker) << "a background generation runs";
    for (int k = 0; k < 9000; ++k) rpDecrementThreadCount();
    EXPECT_EQ(rpThreadCount(), 0);
    EXPECT_TRUE(rpWindowsXPOrLater());
}

TEST(ComponentHelpers, NameSuffixes) {
    TComponent form(nullptr);
    auto* c = new TrpRelative(&form);
    int n = -1;
    c->SetUserName("Label12");
    EXPECT_TRUE(rpNameSuffix("Label", c, n));
    EXPECT_EQ(n, 12);
    EXPECT_TRUE(rpNameSuffix("label", c, n)) << "any letter case";
    c->SetUserName("Label");
    EXPECT_FALSE(rpNameSuffix("Label", c, n));
    EXPECT_EQ(n, 0);
    c->SetUserName("LabelX");
    EXPECT_FALSE(rpNameSuffix("Label", c, n));
    c->SetUserName("Label0");
    EXPECT_FALSE(rpNameSuffix("Label", c, n)) << "a number above 0";
    TComponent plain(nullptr);
    EXPECT_FALSE(rpNameSuffix("", &plain, n)) << "not a communicator";
}

TEST(ComponentHelpers, CreatedComponentsGetUniqueNames) {
    TComponent form(nullptr);
    auto* report = new TrpRelative(&form);
    report->SetName("rpReport");
    TComponent* first = rpCreateComponent(report, TrpRelative::StaticClassType());
    TComponent* second = rpCreateComponent(report, TrpRelative::StaticClassType());
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->Owner(), &form) << "owned by the parent's owner";
    EXPECT_EQ(first->Name(), "rpRelative1");
    EXPECT_EQ(second->Name(), "rpRelative2");
    EXPECT_EQ(static_cast<TrpRelative*>(second)->GetUserName(), "Relative2");
    TrpRelative ownerless(nullptr);
    TComponent* inside = rpCreateComponent(&ownerless, TrpRelative::StaticClassType());
    EXPECT_EQ(inside->Owner(), &ownerless);
    EXPECT_EQ(rpCreateComponent(report, TStringList::StaticClassType()), nullptr) << "not a component class";
}

}  // namespace
