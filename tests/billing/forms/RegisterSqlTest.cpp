// Every SQL text the new registers and the settings run is prepared against
// a database made at the current schema: a wrong table or column name fails
// here rather than in front of a clerk.
#include "billing/forms/Nota102.h"
#include "billing/forms/Nota104.h"
#include "billing/forms/Nota106.h"
#include "billing/forms/Nota107.h"
#include "billing/forms/Nota108.h"
#include "billing/forms/Nota109.h"
#include "billing/forms/Nota112.h"
#include "billing/forms/Nota115.h"
#include "billing/forms/Nota116.h"
#include "billing/forms/Nota117.h"
#include "billing/forms/Nota118.h"
#include "billing/forms/Nota119.h"
#include "billing/forms/RegisterExtras.h"
#include "tests/billing/forms/BillingFixture.h"

namespace {

class RegisterSql : public billtest::Session {};

}  // namespace

TEST_F(RegisterSql, EveryTextPreparesAgainstTheSchema) {
    std::vector<std::string> texts = {
        TfrmNota102::kSql, TfrmNota104::kSql, TfrmNota104::kCountSql, TfrmNota106::kSql, TfrmNota106::kCountSql,
        TfrmNota107::kSql, TfrmNota108::kSql, TfrmNota108::kSelectParcelas, TfrmNota108::kDeleteParcelas,
        TfrmNota108::kInsertParcela, TfrmNota109::kSql, TfrmNota112::kSql, TfrmNota115::kSql, TfrmNota116::kSql,
        TfrmNota117::kSql, TfrmNota118::kSql, TfrmNota118::kCountSql, TfrmNota119::kSql, TfrmNota119::kCountSql,
        billing::forms::kMunicipioSql};
    // The description panels (dbGetFieldValue) and duplicate tests
    // (JaExisteChave) of these forms, as those routines word them.
    const struct {
        const char* table;
        const char* key;
        const char* description;
    } lookups[] = {{"vendedor", "id_vendedor", "nome"},
                   {"transportador", "id_transportador", "nome"},
                   {"cfop", "id_cfop", "descricao"},
                   {"Unidade_Medida", "id_unidade_Medida", "descricao"},
                   {"cliente", "id_cliente", "nome"},
                   {"condicao_pagamento", "id_condicao_pagamento", "descricao"},
                   {"conta_corrente", "id_conta_corrente", "descricao"},
                   {"Febraban", "id_febraban", "nome_fantasia"},
                   {"Situacao_Tributaria", "id_situacao_tributaria", "descricao"},
                   {"Serie_Documento", "id_serie_documento", "proximo_numero"}};
    for (const auto& l : lookups) {
        texts.push_back(std::string("select ") + l.description + " from " + l.table + " where " + l.key +
                        " = :PValue");
        texts.push_back(std::string("select ") + l.key + " from " + l.table + " where " + l.key + " = :p0");
    }
    for (const std::string& sql : texts) {
        EXPECT_NO_THROW(sqlite::Statement(dmdb->ADOConnection->Database(), sql)) << sql;
    }
    // The settings form's columns, each one a control binds.
    for (const char* column :
         {"Id_Municipio", "Id_CFOP", "Id_Unidade_Medida", "Id_Vendedor", "Id_Transportador", "Id_Cliente",
          "Id_Condicao_Pagamento", "Limite_Credito", "Numero_Proximo_Romaneio", "Id_Serie_Documento",
          "pode_alterar_serie", "Id_Conta_Corrente", "Dias_Protesto", "Juros_Mora", "Impressora_Danfe",
          "Impressora_Romaneio", "Impressora_Boleto", "Impressora_Relatorio", "Impressora_Promissoria", "IA_Danfe",
          "IA_Romaneio", "IA_Boleto", "IA_Promissoria", "Pasta_NFe_Envio", "Pasta_NFe_Arquivamento",
          "Pasta_NFe_Retorno", "Pasta_NFe_Erro", "Arquivo_Certificado_Digital", "Tipo_Impressao_DANFE", "Ambiente",
          "copias_danfe", "Contabil"}) {
        EXPECT_NO_THROW(sqlite::Statement(dmdb->ADOConnection->Database(), std::string("select ") + column +
                                                                               " from opcao"))
            << column;
    }
}

TEST_F(RegisterSql, AWrongColumnWouldFailHere) {
    EXPECT_ANY_THROW(sqlite::Statement(dmdb->ADOConnection->Database(), "select id_cfop from cfop_errada"));
}
