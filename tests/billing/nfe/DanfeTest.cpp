// The DANFE printer's command: the archived file of the invoice's month, the
// contingency fallback, the settings' copies and printer, and every refusal.
#include <filesystem>

#include "billing/nfe/Danfe.h"
#include "tests/billing/nfe/PollerFixture.h"

using namespace billing::nfe;
namespace fs = std::filesystem;

namespace {

class Danfe : public nfetest::PollerFixture {
protected:
    void SetUp() override {
        PollerFixture::SetUp();
        printer = dir.file("bin/unidanfe");
        fs::create_directories(dir.path() / "bin");
        testsupport::WriteAll(printer, "#!/bin/sh\n");
        fs::permissions(printer, fs::perms::owner_all);
        config.programs.danfe = printer;
    }
    // The key's NF-e file put where the monitor archives it.
    std::string ArchiveAt(const std::string& key, const std::string& month) {
        std::string path = folders.arquivamento + "/" + month + "/" + key + "-nfe.xml";
        fs::create_directories(folders.arquivamento + "/" + month);
        testsupport::WriteAll(path, "<NFe/>");
        return path;
    }
    std::string printer;
};

}  // namespace

TEST_F(Danfe, AnAuthorisedInvoiceIsLookedForInItsMonthFolder) {
    std::string key = nfetest::InsertInvoice(conn, 1, 1, EncodeDate(2009, 3, 5), "Autorizada");
    std::string file = ArchiveAt(key, "200903");
    conn.Execute("update opcao set copias_danfe = 2, impressora_danfe = 'HP LaserJet 1020'");
    std::optional<DanfeCommand> c = Imprimir_Danfe(conn, config, key, 1);
    ASSERT_TRUE(c) << (shown.empty() ? "" : shown.back());
    EXPECT_EQ(c->program, printer);
    // A printer name with blanks stays one argument.
    EXPECT_EQ(c->args, (std::vector<std::string>{"arquivo=" + file, "visualizar=1", "Copias=2",
                                                 "Impressora=HP LaserJet 1020"}));
    EXPECT_TRUE(shown.empty());
}

TEST_F(Danfe, CopiesAndPrinterFallBackToOneAndTheDefault) {
    std::string key = nfetest::InsertInvoice(conn, 1, 2, EncodeDate(2010, 6, 15), "Autorizada");
    std::string file = ArchiveAt(key, "201006");
    for (int copies : {0, -3}) {
        conn.Execute("update opcao set copias_danfe = :p, impressora_danfe = '  '", {{"p", Variant(copies)}});
        std::optional<DanfeCommand> c = Imprimir_Danfe(conn, config, key, 0);
        ASSERT_TRUE(c);
        EXPECT_EQ(c->args[2], "Copias=1") << copies;
        EXPECT_EQ(c->args[3], "Impressora=padrao");
    }
    conn.Execute("delete from opcao");
    std::optional<DanfeCommand> c = Imprimir_Danfe(conn, config, key, 0);
    ASSERT_TRUE(c);
    EXPECT_EQ(c->args, (std::vector<std::string>{"arquivo=" + file, "visualizar=0", "Copias=1", "Impressora=padrao"}));
}

TEST_F(Danfe, AContingencyInvoiceIsPrintedFromTheErrorFolder) {
    std::string key = nfetest::InsertInvoice(conn, 1, 3, EncodeDate(2010, 6, 15), "Erro");
    conn.Execute("update nota_fiscal set tipo_emissao = '2 - Contingência'");
    std::string file = folders.erro + "/" + key + "-nfe.xml";
    testsupport::WriteAll(file, "<NFe/>");
    std::optional<DanfeCommand> c = Imprimir_Danfe(conn, config, key, 0);
    ASSERT_TRUE(c);
    EXPECT_EQ(c->args[0], "arquivo=" + file);
    // Archived after all: the archive wins.
    std::string archived = ArchiveAt(key, "201006");
    EXPECT_EQ(Imprimir_Danfe(conn, config, key, 0)->args[0], "arquivo=" + archived);
}

TEST_F(Danfe, RefusalsSayWhy) {
    std::string typing = nfetest::InsertInvoice(conn, 1, 4, EncodeDate(2010, 6, 15), "Em Digitação");
    std::string waiting = nfetest::InsertInvoice(conn, 1, 5, EncodeDate(2010, 6, 15), "Aguardando");
    std::string authorised = nfetest::InsertInvoice(conn, 1, 6, EncodeDate(2010, 6, 15), "Autorizada");
    EXPECT_FALSE(Imprimir_Danfe(conn, config, typing, 1));
    EXPECT_FALSE(Imprimir_Danfe(conn, config, waiting, 1));
    EXPECT_FALSE(Imprimir_Danfe(conn, config, authorised, 1));
    ArchiveAt(authorised, "201006");
    config.programs.danfe = dir.file("nao-instalado");
    // The clerk is told where that name comes from, to put it right.
    config.settings_file = dir.file("faturamento.ini");
    EXPECT_FALSE(Imprimir_Danfe(conn, config, authorised, 1));
    EXPECT_FALSE(Imprimir_Danfe(conn, config, std::string(44, '9'), 1));
    std::string file = folders.arquivamento + "/201006/" + authorised + "-nfe.xml";
    EXPECT_EQ(shown, (std::vector<std::string>{
                         "Atenção: Esta NF-e ainda não foi transmitida não pode imprimir o DANFE.",
                         "Atenção: Somente Notas Fiscais com situação igual a \"Autorizada\" podem imprimir o DANFE.",
                         "Atenção: O arquivo de NFe \"" + file + " não foi encontrado.\r\nNão pode imprimir o DANFE.",
                         "Atenção: O Impressor de DANFE " + dir.file("nao-instalado") +
                             " não foi encontrado. Faça o Download do mesmo.\r\nO programa do Impressor de DANFE é "
                             "informado no arquivo \"" + dir.file("faturamento.ini") + "\", seção [NFe], chave Danfe.",
                         "Erro: Erro Interno do Aplicativo, a NF-e \"" + std::string(44, '9') +
                             "\" não foi encontrada !"}));
}
