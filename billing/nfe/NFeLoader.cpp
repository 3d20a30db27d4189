#include "billing/nfe/NFeLoader.h"

#include <cmath>
#include <memory>

#include "billing/nfe/ChaveNFe.h"
#include "billing/nfe/DbRows.h"
#include "billing/nfe/NFeError.h"
#include "billing/nfe/NFeWriter.h"
#include "billing/nfe/SendFolder.h"
#include "billing/nfe/XmlText.h"
#include "platform/db/SQLQuery.h"
#include "platform/rtl/Strings.h"

namespace billing::nfe {

namespace {

using namespace rows;

std::string StateCode(int id_uf) { return IntToStrZero(id_uf, 2); }

// The municipality and its state are joined in rather than read from the
// issuer row, as the rest of the system does.
const char* const kIssuerSql =
    "SELECT Emitente.Nome, Emitente.Nome_Fantasia, Emitente.Cnpj, Emitente.Inscricao_Estadual, "
    "Emitente.Endereco, Emitente.Numero_Endereco, Emitente.Bairro, Emitente.Cep, Emitente.Telefone, "
    "Emitente.Id_Municipio, Municipio.nome AS Municipio_Nome, UF.id_uf AS Codigo_UF, UF.uf AS Sigla_UF "
    "FROM Emitente INNER JOIN Municipio ON Municipio.id_municipio = Emitente.Id_Municipio "
    "INNER JOIN UF ON UF.id_uf = Municipio.id_uf";

std::optional<NFeIssuer> ReadIssuer(TSQLConnection& db) {
    auto q = Query(db, kIssuerSql);
    q->Open();
    if (q->IsEmpty()) return std::nullopt;
    NFeIssuer em;
    em.id_uf = StateCode(Int(*q, "Codigo_UF"));
    em.uf = Str(*q, "Sigla_UF");
    em.id_municipio = Int(*q, "Id_Municipio");
    em.municipio_nome = Str(*q, "Municipio_Nome");
    em.cnpj = Str(*q, "Cnpj");
    em.nome = Str(*q, "Nome");
    em.nome_fantasia = Str(*q, "Nome_Fantasia");
    em.endereco = Str(*q, "Endereco");
    em.numero_endereco = Str(*q, "Numero_Endereco");
    em.bairro = Str(*q, "Bairro");
    em.cep = Str(*q, "Cep");
    em.telefone = Str(*q, "Telefone");
    em.inscricao_estadual = Str(*q, "Inscricao_Estadual");
    return em;
}

std::optional<NFeRecipient> ReadRecipient(TSQLConnection& db, const std::string& id_cliente) {
    auto q = Query(db,
                   "SELECT Cliente.Natureza, Cliente.CPF_CNPJ, Cliente.Nome, Cliente.Endereco, "
                   "Cliente.Numero_Endereco, Cliente.Bairro, Cliente.Id_Municipio, Cliente.Cep, "
                   "Cliente.Telefone, Cliente.IE_RG, Municipio.nome AS Municipio_Nome, UF.uf AS Sigla_UF "
                   "FROM Cliente INNER JOIN Municipio ON Municipio.id_municipio = Cliente.Id_Municipio "
                   "INNER JOIN UF ON UF.id_uf = Municipio.id_uf WHERE Cliente.Id_Cliente = :pid_cliente");
    q->ParamByName("pid_cliente")->SetAsString(id_cliente);
    q->Open();
    if (q->IsEmpty()) return std::nullopt;
    NFeRecipient de;
    de.natureza = Str(*q, "Natureza");
    de.cpf_cnpj = Str(*q, "CPF_CNPJ");
    de.nome = Str(*q, "Nome");
    de.endereco = Str(*q, "Endereco");
    de.numero_endereco = Str(*q, "Numero_Endereco");
    de.bairro = Str(*q, "Bairro");
    de.id_municipio = Int(*q, "Id_Municipio");
    de.municipio_nome = Str(*q, "Municipio_Nome");
    de.uf = Str(*q, "Sigla_UF");
    de.cep = Str(*q, "Cep");
    de.telefone = Str(*q, "Telefone");
    de.ie_rg = Str(*q, "IE_RG");
    return de;
}

// Every item of the invoice, in the order entered. An item whose product
// left the register would silently vanish from the document with an inner
// join; it is refused instead.
std::vector<NFeItem> ReadItems(TSQLConnection& db, int serie, int numero) {
    auto q = Query(db,
                   "SELECT Nota_Fiscal_Item.Id_Produto, Nota_Fiscal_Item.Id_CFOP, "
                   "Nota_Fiscal_Item.Id_Unidade_Medida, Nota_Fiscal_Item.Id_Situacao_Tributaria, "
                   "Nota_Fiscal_Item.Quantidade, Nota_Fiscal_Item.Valor_Unitario, Nota_Fiscal_Item.Valor_Total, "
                   "Nota_Fiscal_Item.Aliquota_icms, Nota_Fiscal_Item.Valor_icms, "
                   "Produto.Id_Produto AS Produto_Cadastrado, Produto.Descricao "
                   "FROM Nota_Fiscal_Item LEFT JOIN Produto ON Nota_Fiscal_Item.Id_Produto = Produto.Id_Produto "
                   "WHERE Nota_Fiscal_Item.Id_Serie_Documento = :pId_serie_documento "
                   "AND Nota_Fiscal_Item.Id_Nota_Fiscal = :pid_Nota_fiscal "
                   "ORDER BY Nota_Fiscal_Item.rowid");
    q->ParamByName("pId_serie_documento")->SetAsInteger(serie);
    q->ParamByName("pid_Nota_fiscal")->SetAsInteger(numero);
    q->Open();
    std::vector<NFeItem> items;
    for (q->First(); !q->Eof(); q->Next()) {
        NFeItem it;
        it.id_produto = Str(*q, "Id_Produto");
        if (q->FieldByName("Produto_Cadastrado")->IsNull())
            throw ENFeError("NF-e não gerada. Item " + IntToStr(static_cast<int>(items.size()) + 1) +
                            ": o produto \"" + it.id_produto + "\" não está no cadastro de produtos.");
        it.descricao = Str(*q, "Descricao");
        it.id_cfop = Str(*q, "Id_CFOP");
        it.id_unidade_medida = Str(*q, "Id_Unidade_Medida");
        it.id_situacao_tributaria = Str(*q, "Id_Situacao_Tributaria");
        it.quantidade = Num(*q, "Quantidade");
        it.valor_unitario = Num(*q, "Valor_Unitario");
        it.valor_total = Num(*q, "Valor_Total");
        it.aliquota_icms = Num(*q, "Aliquota_icms");
        it.valor_icms = Num(*q, "Valor_icms");
        items.push_back(std::move(it));
    }
    return items;
}

std::optional<NFeCarrier> ReadCarrier(TSQLConnection& db, int id_transportador) {
    auto q = Query(db,
                   "SELECT Transportador.Natureza, Transportador.CPF_CNPJ, Transportador.Nome, "
                   "Transportador.Endereco, Transportador.Placa_Veiculo, Transportador.UF_Veiculo, "
                   "Municipio.nome AS Municipio_Nome, UF.uf AS Sigla_UF "
                   "FROM Transportador LEFT JOIN Municipio ON Municipio.id_municipio = Transportador.Id_Municipio "
                   "LEFT JOIN UF ON UF.id_uf = Municipio.id_uf "
                   "WHERE Transportador.Id_Transportador = :pid_transportador");
    q->ParamByName("pid_transportador")->SetAsInteger(id_transportador);
    q->Open();
    if (q->IsEmpty()) return std::nullopt;
    NFeCarrier tr;
    tr.natureza = Str(*q, "Natureza");
    tr.cpf_cnpj = Str(*q, "CPF_CNPJ");
    tr.nome = Str(*q, "Nome");
    tr.endereco = Str(*q, "Endereco");
    tr.municipio_nome = Str(*q, "Municipio_Nome");
    tr.uf = Str(*q, "Sigla_UF");
    tr.placa_veiculo = Str(*q, "Placa_Veiculo");
    tr.uf_veiculo = Str(*q, "UF_Veiculo");
    return tr;
}

std::string SettingsEnvironment(TSQLConnection& db) {
    auto q = Query(db, "select Ambiente from opcao");
    q->Open();
    return q->IsEmpty() ? std::string() : Str(*q, "Ambiente");
}

}  // namespace

LoadResult LoadNFeDocument(TSQLConnection& db, const std::string& chave) {
    LoadResult result;
    auto q = Query(db, "select * from Nota_Fiscal where numero_nfe = :pnumero_nfe");
    q->ParamByName("pnumero_nfe")->SetAsString(chave);
    q->Open();
    if (q->IsEmpty()) return result;

    NFeDocument doc;
    doc.ambiente = SettingsEnvironment(db);
    NFeInvoice& nf = doc.nota;
    nf.numero_nfe = Str(*q, "Numero_NFe");
    nf.id_serie_documento = Int(*q, "Id_Serie_Documento");
    nf.id_nota_fiscal = Int(*q, "Id_Nota_Fiscal");
    nf.id_cfop = Str(*q, "Id_CFOP");
    nf.forma_pagamento = Str(*q, "Forma_Pagamento");
    nf.tipo_impressao_danfe = Str(*q, "Tipo_Impressao_DANFE");
    nf.tipo_emissao = Str(*q, "Tipo_Emissao");
    nf.finalidade_emissao = Str(*q, "Finalidade_Emissao");
    nf.modalidade_frete = Str(*q, "Modalidade_Frete");
    nf.data_emissao = When(*q, "Data_Emissao");
    nf.data_saida = When(*q, "Data_Saida");
    nf.valor_base_calculo = Num(*q, "Valor_Base_Calculo");
    nf.valor_icms = Num(*q, "Valor_ICMS");
    nf.valor_produto = Num(*q, "Valor_Produto");
    nf.valor_frete = Num(*q, "Valor_Frete");
    nf.valor_seguro = Num(*q, "Valor_Seguro");
    nf.valor_desconto = Num(*q, "Valor_Desconto");
    nf.valor_bc_icms_st = Num(*q, "Valor_BC_ICMS_ST");
    nf.valor_icms_st = Num(*q, "Valor_ICMS_ST");
    nf.valor_outras_despesas = Num(*q, "Valor_Outras_Despesas");
    nf.valor_ipi = Num(*q, "Valor_IPI");
    nf.valor_total_nota = Num(*q, "Valor_Total_Nota");
    nf.peso_liquido = Num(*q, "Peso_Liquido");
    nf.peso_bruto = Num(*q, "Peso_Bruto");
    nf.dados_adicionais_fisco = Str(*q, "Dados_Adicionais_Fisco");
    nf.dados_adicionais_contribuinte = Str(*q, "Dados_Adicionais_Contribuinte");
    std::string id_cliente = Str(*q, "Id_Cliente");
    int id_transportador = Int(*q, "Id_Transportador");

    std::optional<NFeIssuer> issuer = ReadIssuer(db);
    if (!issuer)
        throw ENFeError("NF-e não gerada. Emitente: o cadastro do emitente (com seu município) não foi encontrado.");
    doc.emitente = *issuer;
    doc.destinatario = ReadRecipient(db, id_cliente);
    doc.itens = ReadItems(db, nf.id_serie_documento, nf.id_nota_fiscal);
    if (id_transportador != 0) {
        doc.transportador = ReadCarrier(db, id_transportador);
        result.carrier_missing = !doc.transportador;
    }
    result.document = std::move(doc);
    return result;
}

RequestIssuer LoadIssuer(TSQLConnection& db) {
    std::optional<NFeIssuer> issuer = ReadIssuer(db);
    if (!issuer) throw ENFeError(MsgErroChave);
    return {issuer->id_uf, issuer->cnpj};
}

std::string Gerar_Chave_NFe(TSQLConnection& db, int numero, int serie, TDateTime emissao) {
    RequestIssuer issuer = LoadIssuer(db);
    return MontarChaveNFe(issuer.id_uf, emissao, issuer.cnpj, serie, numero);
}

std::string Transmitir_NFE(TSQLConnection& db, const NFeConfig& config, const std::string& chave) {
    Verifica_Monitor_NFE(config);
    LoadResult loaded = LoadNFeDocument(db, chave);
    if (!loaded.document) {
        config.Notify("A NFE \"" + chave + " não foi encontrada, não pode Enviar", "Erro Interno Sistema");
        return {};
    }
    if (loaded.carrier_missing)
        config.Notify("Erro interno do Aplicativo. O transportador da NF não foi encontrado !", "Atenção");
    std::string text = BuildNFeXml(*loaded.document);
    return WriteToFolder(config.pasta_nfe_envio, NFeFileName(chave), text);
}

std::unique_ptr<AnswerWait> Consultar_Status_Servico(TSQLConnection& db, const NFeConfig& config, RequestDone done,
                                                     const WaitServices& services) {
    return Consultar_Status_Servico(config, LoadIssuer(db).id_uf, std::move(done), Now(), services);
}

bool Inutilizar_NFE(TSQLConnection& db, const NFeConfig& config, int serie, int inicial, int final,
                    const std::string& justificativa, std::string* identifier) {
    return Inutilizar_NFE(config, LoadIssuer(db), serie, inicial, final, justificativa, Date(), identifier);
}

bool Cancelar_NFE(TSQLConnection& db, const NFeConfig& config, const std::string& chave,
                  const std::string& justificativa) {
    auto q = Query(db, "select protocolo_nfe from nota_fiscal where numero_nfe = :pnumero_nfe");
    q->ParamByName("pnumero_nfe")->SetAsString(chave);
    q->Open();
    if (q->IsEmpty()) {
        config.Notify("Erro Interno do Aplicativo, a NF-e \"" + chave + "\" não foi encontrada !", "Erro");
        return false;
    }
    return Cancelar_NFE(config, chave, Str(*q, "protocolo_nfe"), justificativa);
}

void Verifica_Numero_Lote(TSQLConnection& db, const NFeConfig& config) {
    // The batch number is stored as text; compared as text "9" would beat "10".
    auto q = Query(db, "SELECT Max(CAST(numero_lote_nfe AS INTEGER)) AS ultimo_lote FROM nota_fiscal");
    q->Open();
    long long lote = 1;
    if (!q->IsEmpty() && !q->FieldByName("ultimo_lote")->IsNull())
        lote = std::llround(q->FieldByName("ultimo_lote")->AsFloat());
    Verifica_Numero_Lote(config, lote);
}

}  // namespace billing::nfe
