#pragma once
// A fresh billing database opened by the data module, with a few clients,
// products and invoices of March 2024 in every NF-e state, for the listings'
// tests. Messages land in the data layer's recording service.
#include <string>

#include <gtest/gtest.h>

#include "billing/data/Schema.h"
#include "billing/data/dmdbu.h"
#include "platform/rtl/DateUtils.h"
#include "platform/rtl/Format.h"
#include "tests/support/TestSupport.h"

namespace listingtest {

// Numbers as the listings print them in Brazil, while the object lives.
struct BrazilianNumbers {
    BrazilianNumbers() : previous(FormatSettings) {
        FormatSettings.DecimalSeparator = ',';
        FormatSettings.ThousandSeparator = '.';
    }
    ~BrazilianNumbers() { FormatSettings = previous; }
    BrazilianNumbers(const BrazilianNumbers&) = delete;
    BrazilianNumbers& operator=(const BrazilianNumbers&) = delete;
    TFormatSettings previous;
};

class Database : public ::testing::Test {
protected:
    void SetUp() override {
        billing::data::DefaultMessages().Clear();
        const std::string path = dir.file("fat.db");
        dm.Set_Var("nome_banco_dados", path);
        dm.Set_Var("id_usuario", "Admin");
        billing::data::CreateDatabaseFile(path);
        dm.Abrir_Banco_Dados();
        messages().Clear();
        Client("0000001", "Ana Comércio");
        Client("0000002", "Bruno & Filhos");
        Client("0000010", "Carla Ltda");
    }
    void TearDown() override { messages().Clear(); }

    static billing::data::RecordingMessages& messages() { return billing::data::DefaultMessages(); }
    TSQLConnection& db() { return *dm.ADOConnection; }

    void Client(const std::string& Id, const std::string& Nome) {
        db().Execute("insert into cliente(id_cliente, nome) values(:pid, :pnome)",
                     {{"pid", Variant(Id)}, {"pnome", Variant(Nome)}});
    }
    void Invoice(int Serie, int Numero, const std::string& Cliente, const std::string& Emissao,
                 const std::string& Situacao, double Total, double Icms, double Peso,
                 const std::string& Registro = "") {
        db().Execute(
            "insert into nota_fiscal(id_registro, id_serie_documento, id_nota_fiscal, id_cliente, data_emissao, "
            "situacao_nfe, valor_total_nota, valor_icms, peso_bruto) values(:preg, :pserie, :pnum, :pcli, "
            ":pdata, :psit, :ptotal, :picms, :ppeso)",
            {{"preg", Variant(Registro)}, {"pserie", Variant(Serie)}, {"pnum", Variant(Numero)},
             {"pcli", Variant(Cliente)}, {"pdata", Variant(Emissao)}, {"psit", Variant(Situacao)},
             {"ptotal", Variant(Total)}, {"picms", Variant(Icms)}, {"ppeso", Variant(Peso)}});
    }
    void Product(const std::string& Id, const std::string& Estrutura, const std::string& Descricao) {
        db().Execute("insert into produto(id_produto, id_produto_estrutura, descricao) values(:pid, :pest, :pdesc)",
                     {{"pid", Variant(Id)}, {"pest", Variant(Estrutura)}, {"pdesc", Variant(Descricao)}});
    }
    void Item(const std::string& Registro, const std::string& Produto, double Quantidade, double Total) {
        db().Execute(
            "insert into nota_fiscal_item(id_registro, id_produto, quantidade, valor_total) values(:preg, :pprod, "
            ":pqtd, :ptotal)",
            {{"preg", Variant(Registro)}, {"pprod", Variant(Produto)}, {"pqtd", Variant(Quantidade)},
             {"ptotal", Variant(Total)}});
    }

    static TDateTime Day(int Year, int Month, int DayOfMonth) { return EncodeDate(Year, Month, DayOfMonth); }

    testsupport::TempDir dir;
    Tdmdb dm{nullptr};
};

}  // namespace listingtest
