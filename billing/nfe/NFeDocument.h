#pragma once
// One invoice as the NF-e writer sees it: plain values read from the
// registers and the invoice (members named after their database columns).
// The loader (NFeLoader.h) fills it from the database; tests fill it by hand.
#include <optional>
#include <string>
#include <vector>

#include "platform/rtl/DateUtils.h"

namespace billing::nfe {

struct NFeIssuer {
    std::string id_uf;           // the state's code, "41"
    std::string uf;              // the state's abbreviation, "PR"
    int id_municipio = 0;        // 7-digit municipality code
    std::string municipio_nome;
    std::string cnpj;
    std::string nome;
    std::string nome_fantasia;
    std::string endereco;
    std::string numero_endereco;
    std::string bairro;
    std::string cep;
    std::string telefone;
    std::string inscricao_estadual;
};

struct NFeRecipient {
    std::string natureza;        // "Jurídica" or "Física"
    std::string cpf_cnpj;
    std::string nome;
    std::string endereco;
    std::string numero_endereco;
    std::string bairro;
    int id_municipio = 0;
    std::string municipio_nome;
    std::string uf;
    std::string cep;
    std::string telefone;
    std::string ie_rg;
};

struct NFeItem {
    std::string id_produto;
    std::string descricao;       // the product's description
    std::string id_cfop;
    std::string id_unidade_medida;
    std::string id_situacao_tributaria;  // origin digit + ICMS treatment, "020"
    double quantidade = 0;
    double valor_unitario = 0;
    double valor_total = 0;
    double aliquota_icms = 0;
    double valor_icms = 0;
    // The product's base reduction in percent (its state rate's, as the
    // invoice takes the state tax situation and rate): what a reduced-base
    // situation (20, 51, 70) states.
    double reducao_base_calculo = 0;
};

struct NFeCarrier {
    std::string natureza;
    std::string cpf_cnpj;
    std::string nome;
    std::string endereco;
    std::string municipio_nome;
    std::string uf;
    std::string placa_veiculo;
    std::string uf_veiculo;
};

struct NFeInvoice {
    std::string numero_nfe;      // the access key
    int id_serie_documento = 0;
    int id_nota_fiscal = 0;
    std::string id_cfop;
    std::string forma_pagamento;       // coded texts: "0 - Pagamento a Vista"
    std::string tipo_impressao_danfe;
    std::string tipo_emissao;
    std::string finalidade_emissao;
    std::string modalidade_frete;
    TDateTime data_emissao = 0;
    TDateTime data_saida = 0;    // 0: none
    double valor_base_calculo = 0;
    double valor_icms = 0;
    double valor_produto = 0;
    double valor_frete = 0;
    double valor_seguro = 0;
    double valor_desconto = 0;
    // Amounts the system never issues (the invoice form does not set them):
    // an invoice that holds one is refused rather than sent without it.
    double valor_bc_icms_st = 0;
    double valor_icms_st = 0;
    double valor_outras_despesas = 0;
    double valor_ipi = 0;
    double valor_total_nota = 0;
    double peso_liquido = 0;
    double peso_bruto = 0;
    std::string dados_adicionais_fisco;
    std::string dados_adicionais_contribuinte;
};

struct NFeDocument {
    std::string ambiente;        // settings' environment, "2 - Homologação"
    NFeInvoice nota;
    NFeIssuer emitente;
    std::optional<NFeRecipient> destinatario;   // none: the client is missing
    std::vector<NFeItem> itens;
    std::optional<NFeCarrier> transportador;    // none: no carrier
};

}  // namespace billing::nfe
