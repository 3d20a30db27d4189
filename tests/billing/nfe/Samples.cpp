#include "tests/billing/nfe/Samples.h"

#include "billing/nfe/ChaveNFe.h"
#include "platform/rtl/Strings.h"

using namespace billing::nfe;

namespace nfetest {

std::string Tricky(const std::string& base, int maxChars) {
    return Copy(base + " Ação & <Cia> \"nº\" 'ª' çã", 1, maxChars);
}

NFeItem SampleItem(const std::string& cst, int n) {
    NFeItem it;
    it.id_produto = IntToStr(n) + "&<\"";
    it.descricao = Tricky("Parafuso Sextavado " + IntToStr(n), 50);
    it.id_cfop = "5102";
    it.id_unidade_medida = "Pç&";
    it.id_situacao_tributaria = cst;
    it.quantidade = 3;
    it.valor_unitario = 10.5;
    it.valor_total = 31.5;
    it.aliquota_icms = 18;
    it.valor_icms = 5.67;
    return it;
}

NFeDocument SampleDocument(const std::string& cst) {
    NFeDocument doc;
    doc.ambiente = "2 - Homologação";

    NFeIssuer& em = doc.emitente;
    em.id_uf = "41";
    em.uf = "PR";
    em.id_municipio = 4106902;
    em.municipio_nome = Tricky("Curitiba");
    em.cnpj = "12345678000195";
    em.nome = Tricky("Indústria Exemplo Ltda");
    em.nome_fantasia = Tricky("Exemplo", 25);
    em.endereco = Tricky("Rua 1º de Maio", 50);
    em.numero_endereco = "123 & 'A'";
    em.bairro = Tricky("Centro", 30);
    em.cep = "80.020-000";
    em.telefone = "(41) 3333-4444";
    em.inscricao_estadual = "10.123.456-89";

    NFeRecipient de;
    de.natureza = "Jurídica";
    de.cpf_cnpj = "11.222.333/0001-81";
    de.nome = Tricky("Cliente São João", 50);
    de.endereco = Tricky("Av. Brasil", 30);
    de.numero_endereco = "S/Nº";
    de.bairro = Tricky("Água Verde", 20);
    de.id_municipio = 3550308;
    de.municipio_nome = Tricky("São Paulo");
    de.uf = "SP";
    de.cep = "01310100";
    de.telefone = "011 3222-1111";
    de.ie_rg = "ISENTO";
    doc.destinatario = de;

    doc.itens.push_back(SampleItem(cst));

    NFeCarrier tr;
    tr.natureza = "Jurídica";
    tr.cpf_cnpj = "33444555000181";
    tr.nome = Tricky("Transportes Ligeirão", 40);
    tr.endereco = Tricky("Rod. BR-116 km 1º", 30);
    tr.municipio_nome = Tricky("Colombo");
    tr.uf = "PR";
    tr.placa_veiculo = "ABC-1234";
    tr.uf_veiculo = "PR";
    doc.transportador = tr;

    NFeInvoice& nf = doc.nota;
    nf.id_serie_documento = 1;
    nf.id_nota_fiscal = 123;
    nf.data_emissao = EncodeDate(2010, 6, 15);
    nf.data_saida = EncodeDate(2010, 6, 16);
    nf.numero_nfe = MontarChaveNFe(em.id_uf, nf.data_emissao, em.cnpj, nf.id_serie_documento, nf.id_nota_fiscal);
    nf.id_cfop = "5102";
    nf.forma_pagamento = "0 - Pagamento a Vista";
    nf.tipo_impressao_danfe = "1 - Retrato";
    nf.tipo_emissao = "1 - Normal";
    nf.finalidade_emissao = "1 - NF-e Normal";
    nf.modalidade_frete = "0 - Por conta do Emitente";
    nf.valor_base_calculo = 31.5;
    nf.valor_icms = 5.67;
    nf.valor_produto = 31.5;
    nf.valor_total_nota = 31.5;
    nf.peso_liquido = 1.25;
    nf.peso_bruto = 1.5;
    nf.dados_adicionais_fisco = Tricky("Ref. § 2º do Art. 1º", 255);
    nf.dados_adicionais_contribuinte = Tricky("Pedido nº 77\r\nEntregar à tarde", 500);
    return doc;
}

}  // namespace nfetest
