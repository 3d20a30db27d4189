#include "billing/nfe/NFeLoader.h"

#include <cerrno>
#include <cmath>
#include <cstdio>

#include <unistd.h>
#include <memory>

#include "billing/nfe/AnswerPoller.h"
#include "billing/nfe/ChaveNFe.h"
#include "billing/nfe/DbRows.h"
#include "billing/nfe/NFeError.h"
#include "billing/nfe/NFeWriter.h"
#include "billing/nfe/SendFolder.h"
#include "billing/nfe/XmlText.h"
#include "platform/db/SQLQuery.h"
#include "platform/rtl/SafeFile.h"
#include "platform/rtl/Strings.h"

namespace billing::nfe {

namespace {

using namespace rows;

std::string StateCode(int id_uf) { return IntToStrZero(id_uf, 2); }

// A text column as stored. A text longer than its column (written around the
// forms: another program, an older release, a hand edit) would be read cut
// and sent differing from the register, so it is refused naming the field,
// as the writer refuses what the layout cannot take.
std::string Text(const TSQLQuery& q, const char* column, const std::string& field) {
    TField* f = q.FieldByName(column);
    if (f->IsNull()) return {};
    std::string read = f->AsString();
    std::string whole = q.StoredText(f);
    if (whole.size() > read.size() && whole.compare(0, read.size(), read) == 0)
        throw ENFeError("NF-e não gerada. " + field + ": o texto gravado tem " +
                        IntToStr(static_cast<int>(utf8::CharCount(whole))) + " caracteres e o campo aceita " +
                        IntToStr(f->Size()) + " (\"" + whole + "\"); corrija o cadastro.");
    return read;
}

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
    em.municipio_nome = Text(*q, "Municipio_Nome", "Emitente - Nome do município");
    em.cnpj = Text(*q, "Cnpj", "Emitente - CNPJ");
    em.nome = Text(*q, "Nome", "Emitente - Razão social");
    em.nome_fantasia = Text(*q, "Nome_Fantasia", "Emitente - Nome fantasia");
    em.endereco = Text(*q, "Endereco", "Emitente - Endereço");
    em.numero_endereco = Text(*q, "Numero_Endereco", "Emitente - Número");
    em.bairro = Text(*q, "Bairro", "Emitente - Bairro");
    em.cep = Text(*q, "Cep", "Emitente - CEP");
    em.telefone = Text(*q, "Telefone", "Emitente - Telefone");
    em.inscricao_estadual = Text(*q, "Inscricao_Estadual", "Emitente - Inscrição Estadual");
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
    de.natureza = Text(*q, "Natureza", "Destinatário - Natureza");
    de.cpf_cnpj = Text(*q, "CPF_CNPJ", "Destinatário - CPF/CNPJ");
    de.nome = Text(*q, "Nome", "Destinatário - Nome");
    de.endereco = Text(*q, "Endereco", "Destinatário - Endereço");
    de.numero_endereco = Text(*q, "Numero_Endereco", "Destinatário - Número");
    de.bairro = Text(*q, "Bairro", "Destinatário - Bairro");
    de.id_municipio = Int(*q, "Id_Municipio");
    de.municipio_nome = Text(*q, "Municipio_Nome", "Destinatário - Nome do município");
    de.uf = Str(*q, "Sigla_UF");
    de.cep = Text(*q, "Cep", "Destinatário - CEP");
    de.telefone = Text(*q, "Telefone", "Destinatário - Telefone");
    de.ie_rg = Text(*q, "IE_RG", "Destinatário - Inscrição Estadual");
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
                   "Produto.Id_Produto AS Produto_Cadastrado, Produto.Descricao, Produto.RBC_Estadual "
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
        const std::string f = "Item " + IntToStr(static_cast<int>(items.size()) + 1);
        it.id_produto = Text(*q, "Id_Produto", f + " - Código do produto");
        if (q->FieldByName("Produto_Cadastrado")->IsNull())
            throw ENFeError("NF-e não gerada. Item " + IntToStr(static_cast<int>(items.size()) + 1) +
                            ": o produto \"" + it.id_produto + "\" não está no cadastro de produtos.");
        it.descricao = Text(*q, "Descricao", f + " - Descrição do produto");
        it.id_cfop = Text(*q, "Id_CFOP", f + " - CFOP");
        it.id_unidade_medida = Text(*q, "Id_Unidade_Medida", f + " - Unidade de medida");
        it.id_situacao_tributaria = Text(*q, "Id_Situacao_Tributaria", f + " - Situação tributária");
        it.quantidade = Num(*q, "Quantidade");
        it.valor_unitario = Num(*q, "Valor_Unitario");
        it.valor_total = Num(*q, "Valor_Total");
        it.aliquota_icms = Num(*q, "Aliquota_icms");
        it.valor_icms = Num(*q, "Valor_icms");
        it.reducao_base_calculo = Num(*q, "RBC_Estadual");
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
    tr.natureza = Text(*q, "Natureza", "Transportador - Natureza");
    tr.cpf_cnpj = Text(*q, "CPF_CNPJ", "Transportador - CPF/CNPJ");
    tr.nome = Text(*q, "Nome", "Transportador - Nome");
    tr.endereco = Text(*q, "Endereco", "Transportador - Endereço");
    tr.municipio_nome = Text(*q, "Municipio_Nome", "Transportador - Município");
    tr.uf = Str(*q, "Sigla_UF");
    tr.placa_veiculo = Text(*q, "Placa_Veiculo", "Transportador - Placa do veículo");
    tr.uf_veiculo = Text(*q, "UF_Veiculo", "Transportador - UF do veículo");
    return tr;
}

std::string SettingsEnvironment(TSQLConnection& db) {
    auto q = Query(db, "select Ambiente from opcao");
    q->Open();
    return q->IsEmpty() ? std::string() : Str(*q, "Ambiente");
}

// A re-send that is refused must not leave the invoice's earlier file waiting
// in the send folder: the monitor would still send the content the clerk has
// changed since. The file is renamed away first (one step, so the monitor
// either took it already or never sees it again), then deleted. Returns what
// the refusal adds: nothing when there was no file.
std::string TakeBackUnsent(const std::string& folder, const std::string& name) {
    if (Trim(folder).empty()) return {};
    const std::string path = JoinPath(folder, name);
    const std::string taken = JoinPath(folder, "." + name + ".retirado-" + IntToStr(static_cast<int>(::getpid())));
    if (std::rename(path.c_str(), taken.c_str()) != 0) {
        int err = errno;
        if (err == ENOENT) return {};
        return "\r\n\r\nAtenção: o arquivo enviado antes (\"" + path +
               "\") não pôde ser retirado da pasta de envio (" + fileio::SystemMessagePtBr(err) +
               "); retire-o antes que o monitor o transmita.";
    }
    std::remove(taken.c_str());
    return "\r\n\r\nO arquivo desta NF-e que aguardava o monitor (\"" + path +
           "\") foi retirado da pasta de envio: nada será transmitido até a NF-e ser corrigida e enviada de novo.";
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
    nf.id_cfop = Text(*q, "Id_CFOP", "Nota fiscal - CFOP");
    nf.forma_pagamento = Text(*q, "Forma_Pagamento", "Nota fiscal - Forma de pagamento");
    nf.tipo_impressao_danfe = Text(*q, "Tipo_Impressao_DANFE", "Nota fiscal - Impressão do DANFE");
    nf.tipo_emissao = Text(*q, "Tipo_Emissao", "Nota fiscal - Tipo de emissão");
    nf.finalidade_emissao = Text(*q, "Finalidade_Emissao", "Nota fiscal - Finalidade da emissão");
    nf.modalidade_frete = Text(*q, "Modalidade_Frete", "Nota fiscal - Modalidade do frete");
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

void ExpectRequestAnswers(TSQLConnection& db, const NFeConfig& config, std::initializer_list<AnswerKind> kinds,
                          const std::string& id, int awaitedForMs) {
    try {
        ExpectAnswers(db, config, kinds, id, awaitedForMs);
    } catch (const EDatabaseError& e) {
        throw ENFeError("Pedido não gerado. Não foi possível gravar no Banco de Dados: " + e.Message());
    }
}

std::string Transmitir_NFE(TSQLConnection& db, const NFeConfig& config, const std::string& chave) {
    Verifica_Monitor_NFE(config);
    LoadResult loaded;
    std::string text;
    try {
        loaded = LoadNFeDocument(db, chave);
        if (loaded.document) text = BuildNFeXml(*loaded.document);
    } catch (const ENFeError& e) {
        throw ENFeError(e.Message() + TakeBackUnsent(config.pasta_nfe_envio, NFeFileName(chave)));
    }
    if (!loaded.document) {
        config.Notify("A NFE \"" + chave + " não foi encontrada, não pode Enviar", "Erro Interno Sistema");
        return {};
    }
    if (loaded.carrier_missing)
        config.Notify("Erro interno do Aplicativo. O transportador da NF não foi encontrado !", "Atenção");
    ExpectRequestAnswers(db, config, {AnswerKind::NFeErr, AnswerKind::NumLot}, chave);
    return WriteToFolder(config.pasta_nfe_envio, NFeFileName(chave), text);
}

std::unique_ptr<AnswerWait> Consultar_Status_Servico(TSQLConnection& db, const NFeConfig& config, RequestDone done,
                                                     const WaitServices& services) {
    return Consultar_Status_Servico(config, LoadIssuer(db).id_uf, std::move(done), Now(), services);
}

bool Inutilizar_NFE(TSQLConnection& db, const NFeConfig& config, int serie, int inicial, int final,
                    const std::string& justificativa, std::string* identifier) {
    const RequestIssuer issuer = LoadIssuer(db);
    const TDateTime today = Date();
    std::string id;
    // The identifier first, with nothing written, so that its answers are
    // expected before the request can be answered.
    BuildInutilizacao(AmbienteCode(config), issuer, today, serie, inicial, final, justificativa, &id);
    ExpectRequestAnswers(db, config, {AnswerKind::Inu, AnswerKind::InuErr}, id, VoidingWaitMs(config));
    return Inutilizar_NFE(config, issuer, serie, inicial, final, justificativa, today, identifier);
}

std::unique_ptr<AnswerWait> Aguardar_Inutilizacao(TSQLConnection& db, const NFeConfig& config,
                                                  const Inutilizacao& sent, const std::string& identifier,
                                                  VoidingDone done, const WaitServices& services) {
    // The box the window shows for what the wait heard.
    auto box = [](const std::string& text, const std::string& failure) -> PollerMessage {
        if (!failure.empty()) return {failure, "Erro"};
        if (InutilizacaoHomologada(text)) return {"A numeração foi inutilizada.\r\n\r\n" + text, "Sucesso"};
        return {"A numeração não foi inutilizada.\r\n\r\n" + text, "Falhou"};
    };
    struct Taken {
        std::vector<PollerMessage> told;
        bool voided = false;
    };
    auto taken = std::make_shared<std::optional<Taken>>();
    auto take = [&db, config, sent, identifier, box, taken](const WaitResult& r, const std::string& text,
                                                            const std::string& failure) {
        Taken t;
        t.told.push_back(box(text, failure));
        const bool accepted = failure.empty() && InutilizacaoHomologada(text);
        try {
            const std::string problem = ApplyWaitedAnswer(
                db, config, AnswerKind::Inu, identifier, r,
                [&] {
                    if (!accepted) return;
                    // The protocol and its date are the only proof of the voiding.
                    std::optional<InutilizacaoAceita> aceita = LerInutilizacaoAceita(r.bytes);
                    if (!aceita) {
                        aceita.emplace();
                        aceita->serie = sent.serie;
                        aceita->inicial = sent.inicial;
                        aceita->final = sent.final;
                        const std::string mark = "Protocolo: ";
                        if (std::size_t at = text.find(mark); at != std::string::npos)
                            aceita->protocolo =
                                Trim(text.substr(at + mark.size(), text.find('\r', at) - at - mark.size()));
                    }
                    AplicarInutilizacao(db, *aceita);
                },
                t.told);
            t.voided = accepted;
            if (!problem.empty()) t.told.insert(t.told.begin(), PollerMessage{problem, "Atenção"});
        } catch (const Exception& e) {
            // Left in the return folder: a poller applies it and tells it.
            t.told = {{e.Message(), "Erro"}};
        }
        *taken = std::move(t);
    };
    auto finished = [&db, done, box, taken](const std::string& text, const std::string& failure) {
        std::vector<PollerMessage> shown;
        bool voided = false;
        if (*taken) {
            voided = (*taken)->voided;
            for (const PollerMessage& m : (*taken)->told)
                if (TakeNotice(db, m)) shown.push_back(m);
        } else {
            shown.push_back(box(text, failure));
        }
        if (done) done(shown, voided);
    };
    std::unique_ptr<AnswerWait> wait = Aguardar_Inutilizacao(config, identifier, finished, services, take);
    wait->AlsoAsk([&db, identifier] { return AnswerAppliedElsewhere(db, AnswerKind::Inu, identifier); },
                  [&db, identifier] { StopAwaiting(db, AnswerKind::Inu, identifier); });
    return wait;
}

bool Consultar_Situacao_Lote(TSQLConnection& db, const NFeConfig& config, const std::string& recibo) {
    ExpectRequestAnswers(db, config, {AnswerKind::ProRec, AnswerKind::ProRecErr}, recibo);
    return Consultar_Situacao_Lote(config, recibo);
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
    const std::string protocolo = Str(*q, "protocolo_nfe");
    if (!Trim(protocolo).empty()) ExpectRequestAnswers(db, config, {AnswerKind::Can, AnswerKind::CanErr}, chave);
    return Cancelar_NFE(config, chave, protocolo, justificativa);
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
