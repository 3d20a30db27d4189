#include "billing/nfe/NFeServices.h"

#include "billing/data/Schema.h"
#include "billing/data/dmdbu.h"
#include "billing/nfe/AnswerXml.h"
#include "billing/nfe/DbRows.h"
#include "platform/rtl/DateUtils.h"
#include "platform/rtl/Strings.h"

#include <limits>

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

int ProximoNumeroNaoInutilizado(TSQLConnection& db, int serie, int numero) {
    auto q = Query(db, std::string("select max(numero_final) as fim from ") + billing::data::kVoidedRangeTable +
                           " where id_serie_documento = :pserie and :pnumero between numero_inicial and numero_final");
    // Each pass leaves one range behind; the next may start right after it.
    for (;;) {
        q->Close();
        q->ParamByName("pserie")->SetAsInteger(serie);
        q->ParamByName("pnumero")->SetAsInteger(numero);
        q->Open();
        TField* fim = q->FieldByName("fim");
        if (q->IsEmpty() || fim->IsNull() || fim->AsInteger() >= std::numeric_limits<int>::max()) return numero;
        numero = fim->AsInteger() + 1;
    }
}

void AvancarNumeracaoInutilizada(TSQLConnection& db, int serie, int inicial, int final,
                                 const std::string& protocolo, TDateTime dataProtocolo) {
    if (inicial > final) return;
    // Inside a caller's transaction its outcome decides for both.
    const bool own = !db.InTransaction();
    if (own) db.BeginTrans();
    try {
        db.Execute(std::string("insert or ignore into ") + billing::data::kVoidedRangeTable +
                       " (id_serie_documento, numero_inicial, numero_final, protocolo, data_protocolo) "
                       "values (:pserie, :pinicial, :pfinal, :pprotocolo, :pdata)",
                   {{"pserie", Variant(serie)},
                    {"pinicial", Variant(inicial)},
                    {"pfinal", Variant(final)},
                    {"pprotocolo", Variant(protocolo)},
                    {"pdata", dataProtocolo == 0 ? Variant::MakeNull() : Variant::FromDateTime(dataProtocolo)}});
        auto q = Query(db, "select proximo_numero from serie_documento where id_serie_documento = :pserie");
        q->ParamByName("pserie")->SetAsInteger(serie);
        q->Open();
        if (!q->IsEmpty()) {
            // A series never used numbers its first invoice 1.
            TField* proximo = q->FieldByName("proximo_numero");
            const int atual = proximo->IsNull() ? 1 : proximo->AsInteger();
            const int livre = ProximoNumeroNaoInutilizado(db, serie, atual);
            if (livre != atual)
                db.Execute("update serie_documento set proximo_numero = :pproximo where id_serie_documento = :pserie",
                           {{"pproximo", Variant(livre)}, {"pserie", Variant(serie)}});
        }
        if (own) db.CommitTrans();
    } catch (...) {
        if (own) db.RollbackTrans();
        throw;
    }
}

namespace {

bool AllDigits(const std::string& s, std::size_t min, std::size_t max) {
    if (s.size() < min || s.size() > max) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

// "2010-06-15T10:00:00", with or without a zone after it (the authority's
// own clock is what counts); 0 for anything else.
TDateTime DataRecebimento(const std::string& text) {
    if (text.size() < 19 || text[4] != '-' || text[7] != '-' || (text[10] != 'T' && text[10] != ' ') ||
        text[13] != ':' || text[16] != ':')
        return 0;
    int part[6];
    const int at[6] = {0, 5, 8, 11, 14, 17}, len[6] = {4, 2, 2, 2, 2, 2};
    for (int i = 0; i < 6; ++i) {
        const std::string digits = text.substr(at[i], len[i]);
        if (!AllDigits(digits, len[i], len[i])) return 0;
        part[i] = std::stoi(digits);
    }
    TDateTime when = 0;
    if (!TryEncodeDateTime(part[0], part[1], part[2], part[3], part[4], part[5], 0, when))
        return 0;
    return when;
}

}  // namespace

std::optional<InutilizacaoAceita> LerInutilizacaoAceita(const std::string& answer) {
    std::optional<XmlElement> doc = ParseXml(answer);
    if (!doc) return std::nullopt;
    const std::string cStat = doc->Text("cStat").value_or("");
    if (cStat != "102") return std::nullopt;
    const std::string serie = doc->Text("serie").value_or(""), ini = doc->Text("nNFIni").value_or(""),
                      fin = doc->Text("nNFFin").value_or("");
    if (!AllDigits(serie, 1, 3) || !AllDigits(ini, 1, 9) || !AllDigits(fin, 1, 9)) return std::nullopt;
    InutilizacaoAceita aceita;
    aceita.serie = std::stoi(serie);
    aceita.inicial = std::stoi(ini);
    aceita.final = std::stoi(fin);
    aceita.protocolo = doc->Text("nProt").value_or("");
    aceita.data = DataRecebimento(doc->Text("dhRecbto").value_or(""));
    aceita.mensagem = cStat + " " + AnsiUpperCase(doc->Text("xMotivo").value_or(""));
    return aceita;
}

void AplicarInutilizacao(TSQLConnection& db, const InutilizacaoAceita& aceita) {
    const bool own = !db.InTransaction();
    if (own) db.BeginTrans();
    try {
        // Only numbers never issued are voided: an invoice the tax authority
        // knows keeps its own state.
        db.Execute(
            "update nota_fiscal set situacao_nfe = :psituacao, protocolo_nfe = :pprotocolo_nfe, erro_nfe = :perro_nfe "
            "where id_serie_documento = :pserie and id_nota_fiscal between :pini and :pfin and "
            "coalesce(situacao_nfe, '') in ('', 'Em Digitação', 'Gerada', 'Erro')",
            {{"psituacao", Variant("Inutilizada")},
             {"pprotocolo_nfe", Variant(aceita.protocolo)},
             {"perro_nfe", Variant(aceita.mensagem)},
             {"pserie", Variant(aceita.serie)},
             {"pini", Variant(aceita.inicial)},
             {"pfin", Variant(aceita.final)}});
        AvancarNumeracaoInutilizada(db, aceita.serie, aceita.inicial, aceita.final, aceita.protocolo, aceita.data);
        if (own) db.CommitTrans();
    } catch (...) {
        if (own && db.InTransaction()) db.RollbackTrans();
        throw;
    }
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
