// Language texts: the own table, modules per language in their order, the
// module file format, and tags filled by position.
#include <gtest/gtest.h>

#include <cctype>
#include <set>

#include "platform/rtl/Strings.h"
#include "report/rpLanguage.h"
#include "tests/report/ReportTestSupport.h"
#include "tests/support/TestSupport.h"

namespace {

TEST(LanguageTexts, TheOwnTableAnswersWhenNoModuleIsLoaded) {
    EXPECT_EQ(rpLanguageText(16), "de");
    EXPECT_EQ(rpLanguageText(18), "Página");
    EXPECT_EQ(rpLanguageText(1069), "<FindText>");
    EXPECT_EQ(rpLanguageText(1023), "Não foi possível gerar o relatório.");
    EXPECT_EQ(rpLanguageText(309), "") << "a number no table holds";
    EXPECT_EQ(rpLanguageText(-1), "");
}

TEST(LanguageTexts, ModulesOfTheLanguageAnswerFirstInTheirOrder) {
    testsupport::TempDir dir;
    testsupport::WriteAll(dir.file("txPrint.ptb"), "18=Pág.\n16=\n500=do primeiro\n");
    testsupport::WriteAll(dir.file("extra.ptb"), "500=do segundo\n501=só no segundo\n");
    testsupport::WriteAll(dir.file("txPrint.eng"), "18=Page\n");
    TrpResourceManager m;
    m.AddModule(dir.file("txPrint"));
    m.AddModule(dir.file("extra"));
    m.AddModule(dir.file("TXPRINT"));  // the same base name again
    EXPECT_EQ(m.Modules().size(), 2u);
    EXPECT_EQ(m.LoadedCount(), 0) << "no \".dft\" files for the default language";

    EXPECT_TRUE(m.SetLanguage(lgPortugueseBrazil));
    EXPECT_EQ(m.LoadedCount(), 2);
    EXPECT_EQ(m.Text(18), "Pág.");
    EXPECT_EQ(m.Text(16), "de") << "an empty module text gives way to the next";
    EXPECT_EQ(m.Text(500), "do primeiro");
    EXPECT_EQ(m.Text(501), "só no segundo");

    EXPECT_TRUE(m.SetLanguage(lgEnglish));
    EXPECT_EQ(m.LoadedCount(), 1);
    EXPECT_EQ(m.Text(18), "Page");
    EXPECT_EQ(m.Text(500), "");

    // A language without modules is refused and the language stays; the
    // own table answers meanwhile.
    EXPECT_FALSE(m.SetLanguage(lgSwedish));
    EXPECT_EQ(m.Language(), lgEnglish);
    EXPECT_EQ(m.Text(18), "Página");
    EXPECT_TRUE(m.SetLanguage(lgDefault));

    m.SetLanguage(lgPortugueseBrazil);
    m.RemoveModule(dir.file("txPrint"));
    EXPECT_EQ(m.LoadedCount(), 1);
    EXPECT_EQ(m.Text(500), "do segundo");
}

TEST(LanguageTexts, TheProcessManagerServesTheLibraryUntilItIsFinalized) {
    testsupport::TempDir dir;
    testsupport::WriteAll(dir.file("txTeste.ptb"), "18=Folha\n");
    auto manager = rpResourceManager();
    ASSERT_NE(manager, nullptr);
    manager->AddModule(dir.file("txTeste"));
    ASSERT_TRUE(manager->SetLanguage(lgPortugueseBrazil));
    EXPECT_EQ(rpLanguageText(18), "Folha");
    EXPECT_EQ(rpSystemVariableText(vtPageNoDesc, 4, 9, 0, true), "Folha 4");
    manager->RemoveModule(dir.file("txTeste"));
    manager->SetLanguage(lgDefault);
    EXPECT_EQ(rpLanguageText(18), "Página");

    report::FinalizeLanguage();
    EXPECT_EQ(rpResourceManager(), nullptr) << "not made again once finalized";
    EXPECT_EQ(rpLanguageText(16), "de") << "the own table still answers";
    report::InitializeLanguage();
    EXPECT_NE(rpResourceManager(), nullptr);
}

TEST(LanguageModules, TheFileFormatIsReadLineByLine) {
    const std::string longText(1500, 'x');
    const auto texts = report::ParseLanguageModule("\xEF\xBB\xBF" "1=um\r\n"
                                                   "  2 = dois = mais\n"
                                                   "# comentário\n"
                                                   "3\n"
                                                   "=sem número\n"
                                                   "4=\n"
                                                   "1234567890=número grande\n"
                                                   "5=Relat\xF3rio\n"
                                                   "6=" + longText + "\n"
                                                   "7=sem fim de linha");
    EXPECT_EQ(texts.size(), 5u);
    EXPECT_EQ(texts.at(1), "um");
    EXPECT_EQ(texts.at(2), " dois = mais");
    EXPECT_EQ(texts.at(5), "Relatório") << "a stray code page 1252 byte becomes its character";
    EXPECT_EQ(texts.at(6).size(), 1023u);
    EXPECT_EQ(texts.at(7), "sem fim de linha");
    EXPECT_EQ(texts.count(4), 0u) << "empty texts are none";
}

TEST(LanguageTags, TagsBecomeFormatPlaceholdersOrAreFilledInTheirOrder) {
    EXPECT_EQ(rpTagsToFormat("Página <page> de <pagecount> do Relatório <documentname>"),
              "Página %s de %s do Relatório %s");
    EXPECT_EQ(rpFillTags("<page> de <pagecount>", {3, 10}), "3 de 10");
    // Arguments go to the tags in the order the tags stand, whatever their names.
    EXPECT_EQ(rpFillTags("<pagecount> páginas; esta é a <page>", {3, 10}), "3 páginas; esta é a 10");
    EXPECT_EQ(rpFillTags("100% de <page> e <no>", {7}), "100% de 7 e ") << "a literal % stays";
    EXPECT_EQ(rpFillTags("<Page> <pag", {1}), "<Page> <pag") << "only the exact tags";
    EXPECT_EQ(rpFillTags("<filename>: <message>", {"a.pdf", "sem espaço"}), "a.pdf: sem espaço");
    EXPECT_EQ(rpFormatLanguageText(67, {"/tmp/x.cch"}), "Não foi possível abrir o arquivo: /tmp/x.cch.");
    EXPECT_EQ(rpFormatLanguageText(28, {2, 9, "Notas"}),
              "Imprimindo a Página 2 de 9 do Relatório Notas em ");
}

// The numbers in "rpLanguageText(N" and "rpFormatLanguageText(N" calls.
std::set<int> MessageNumbersIn(const std::string& source) {
    std::set<int> out;
    for (const std::string call : {"rpLanguageText(", "rpFormatLanguageText("}) {
        for (std::size_t at = source.find(call); at != std::string::npos; at = source.find(call, at + 1)) {
            std::size_t i = at + call.size();
            std::string digits;
            while (i < source.size() && std::isdigit(static_cast<unsigned char>(source[i]))) digits += source[i++];
            if (!digits.empty()) out.insert(std::stoi(digits));
        }
    }
    return out;
}

// Every message number the library's code asks for has a text.
TEST(LanguageTexts, EveryMessageNumberTheCodeUsesHasAText) {
    std::set<int> used;
    for (const char* folder : {"report", "report_output", "preview", "toolbar"}) {
        const std::filesystem::path root = std::filesystem::path(FAT_SOURCE_DIR) / folder;
        if (!std::filesystem::exists(root)) continue;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
            const std::string ext = entry.path().extension().string();
            if (ext != ".cpp" && ext != ".h") continue;
            for (int n : MessageNumbersIn(testsupport::ReadAll(entry.path().string()))) used.insert(n);
        }
    }
    EXPECT_TRUE(used.count(16) && used.count(18)) << "the system variables' texts are found";
    for (int n : used) EXPECT_FALSE(rpLanguageText(n).empty()) << "message " << n;
    for (int n : rpOwnLanguageNumbers()) EXPECT_TRUE(utf8::IsValid(rpOwnLanguageText(n))) << n;
}

}  // namespace
