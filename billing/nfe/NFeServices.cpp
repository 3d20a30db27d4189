#include "billing/nfe/NFeServices.h"

#include "billing/data/dmdbu.h"
#include "billing/nfe/DbRows.h"
#include "platform/rtl/Strings.h"

namespace billing::nfe {

using namespace rows;

namespace {

// The master code of the manual correction.
constexpr const char* kSenhaMaster = "QUORVENTALISBRAKE";

constexpr const char* kSituacoes[] = {"Autorizada", "Cancelada", "Denegada", "Erro", "Em Digitação"};

}  // namespace

void CopiarPastasNFe(Tdmdb& dm) {
    auto q = Query(*dm.ADOConnection, "select * from opcao");
    q->Open();
    if (q->IsEmpty()) return;
    for (const char* name : {"pasta_nfe_envio", "pasta_nfe_retorno", "pasta_nfe_arquivamento"})
        dm.Set_Var(name, Str(*q, name));
}

std::string MotivoInutilizacaoInvalido(const std::string& motivo) {
    int n = Length(Trim(motivo));
    if (n >= 15 && n <= 255) return {};
    return "A descrição do Motivo deve ter no minímo 15 caracteres e no máximo 255.";
}

std::string ErrosInutilizacao(TSQLConnection& db, const Inutilizacao& pedido) {
    std::string erros;
    auto q = Query(db, "select * from serie_documento where id_serie_documento = :pid_serie_documento");
    q->ParamByName("pid_serie_documento")->SetAsInteger(pedido.serie);
    q->Open();
    if (q->IsEmpty()) erros += "A série de Nota Fiscal informada não existe !\r\n";
    if (pedido.inicial < 1) erros += "O número Inicial não é válido !\r\n";
    if (pedido.final < 1) erros += "O número Final não é válido !\r\n";
    if (pedido.inicial > pedido.final) erros += "O número Inicial está maior que o Final !\r\n";
    return erros;
}

std::string PerguntaInutilizacao(const Inutilizacao& pedido) {
    return "Confirma a Inutilização da faixa de Nota Fiscal Eletrônica abaixo ?\r\n\r\nSérie NF-e: " +
           IntToStr(pedido.serie) + "\r\nNúmero Inicial: " + IntToStr(pedido.inicial) +
           "\r\nNúmero Final: " + IntToStr(pedido.final);
}

void AvancarNumeracaoInutilizada(TSQLConnection& db, int serie, int inicial, int final) {
    if (inicial > final) return;
    auto q = Query(db,
                   "update serie_documento set proximo_numero = :pfinal + 1 "
                   "where id_serie_documento = :pserie and proximo_numero between :pinicial and :pfinal");
    q->ParamByName("pfinal")->SetAsInteger(final);
    q->ParamByName("pserie")->SetAsInteger(serie);
    q->ParamByName("pinicial")->SetAsInteger(inicial);
    q->ExecSQL();
}

bool SenhaMasterConfere(const std::string& typed) { return UpperCase(typed) == kSenhaMaster; }

const char* const* SituacoesCorrecao(int* count) {
    if (count != nullptr) *count = static_cast<int>(std::size(kSituacoes));
    return kSituacoes;
}

std::optional<CorrecaoNFe> LocalizarCorrecao(TSQLConnection& db, int serie, int numero) {
    // A client gone from the register leaves its invoices correctable.
    auto q = Query(db,
                   "SELECT Nota_Fiscal.Data_Emissao, Nota_Fiscal.Protocolo_NFE, Nota_Fiscal.Situacao_NFE, "
                   "CASE WHEN Cliente.Id_Cliente IS NULL THEN '?' ELSE Cliente.Nome_Fantasia END AS Nome_Fantasia\n"
                   "FROM Nota_Fiscal LEFT JOIN Cliente ON Cliente.Id_Cliente = Nota_Fiscal.Id_Cliente\n"
                   "WHERE Nota_Fiscal.Id_Nota_Fiscal = :pid_nota_fiscal "
                   "AND Nota_Fiscal.Id_Serie_Documento = :pId_serie_documento");
    q->ParamByName("pid_nota_fiscal")->SetAsInteger(numero);
    q->ParamByName("pId_serie_documento")->SetAsInteger(serie);
    q->Open();
    if (q->IsEmpty()) return std::nullopt;
    CorrecaoNFe row;
    row.serie = serie;
    row.numero = numero;
    row.nome_fantasia = Str(*q, "Nome_Fantasia");
    row.protocolo = Str(*q, "Protocolo_NFE");
    row.situacao = Str(*q, "Situacao_NFE");
    row.data_emissao = When(*q, "Data_Emissao");
    return row;
}

int GravarCorrecao(Tdmdb& dm, const CorrecaoNFe& row) {
    TSQLConnection& db = *dm.ADOConnection;
    db.BeginTrans();
    try {
        auto changed = db.Execute(
            "update nota_fiscal set protocolo_nfe = :pprotocolo_nfe, situacao_nfe = :psituacao_nfe\n"
            "  where id_serie_documento = :pid_serie_documento and id_nota_fiscal = :pid_nota_fiscal",
            {{"pprotocolo_nfe", Variant(row.protocolo)},
             {"psituacao_nfe", Variant(row.situacao)},
             {"pid_serie_documento", Variant(row.serie)},
             {"pid_nota_fiscal", Variant(row.numero)}});
        if (changed > 0)
            dm.Usuario_Log("NOTA225", "Manutenção Manual da NF-e: Série " + IntToStr(row.serie) + ", Número " +
                                          IntToStr(row.numero) + ", Situação \"" + row.situacao +
                                          "\", Protocolo \"" + row.protocolo + "\"");
        db.CommitTrans();
        return static_cast<int>(changed);
    } catch (...) {
        db.RollbackTrans();
        throw;
    }
}

}  // namespace billing::nfe
