#include "billing/nfe/NFeManagement.h"

#include <sys/stat.h>

#include "billing/data/Messages.h"
#include "billing/nfe/AnswerFiles.h"
#include "billing/nfe/AnswerXml.h"
#include "billing/nfe/Danfe.h"
#include "billing/nfe/DbRows.h"
#include "billing/nfe/NFeError.h"
#include "billing/nfe/NFeLoader.h"
#include "billing/nfe/SendFolder.h"
#include "billing/nfe/XmlText.h"
#include "platform/db/SQLQuery.h"
#include "platform/rtl/Strings.h"

namespace billing::nfe {

namespace {

const std::vector<std::string> kStates = {"Em Digitação", "Gerada",    "Aguardando", "Autorizada",
                                          "Erro",         "Cancelada", "Denegada"};

bool Exists(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0;
}

// Runs a command of the NF-e routines: a failure is told, never half done.
template <typename Command>
void Guard(const NFeConfig& config, Command command) {
    try {
        command();
    } catch (const ENFeError& e) {
        config.Notify(e.Message(), "Erro");
    }
}

}  // namespace

int StatusImage(const std::string& situacao) {
    for (std::size_t i = 0; i < kStates.size(); ++i)
        if (kStates[i] == situacao) return static_cast<int>(i);
    return -1;
}

const std::vector<std::string>& StatusLegend() {
    static const std::vector<std::string> legend = {"Digitada", "Gerada",    "Aguardando", "Autorizada",
                                                    "Rejeitada", "Cancelada", "Denegada"};
    return legend;
}

const std::vector<std::string>& ManagementFilters() {
    static const std::vector<std::string> filters = {"Todas",     "Aguardando", "Erro",
                                                     "Autorizada", "Cancelada", "Denegada"};
    return filters;
}

std::string ManagementSql(const std::string& filter) {
    // The image follows the stored state exactly, whatever the column's collation.
    std::string status = "CASE Nota_Fiscal.Situacao_NFE COLLATE BINARY";
    for (std::size_t i = 0; i < kStates.size(); ++i)
        status += " WHEN '" + kStates[i] + "' THEN " + std::to_string(i);
    status += " END AS Status";
    // A client gone from the register must not hide its invoices.
    std::string sql =
        "SELECT Nota_Fiscal.*, "
        "CASE WHEN Cliente.Id_Cliente IS NULL THEN '?' ELSE Cliente.Nome_Fantasia END AS Nome_Fantasia, "
        "CASE WHEN Cliente.Id_Cliente IS NULL THEN '?' ELSE Cliente.Nome END AS Nome, " +
        status +
        "\nFROM Nota_Fiscal LEFT JOIN Cliente ON Cliente.Id_Cliente = Nota_Fiscal.Id_Cliente\n";
    if (UpperCase(Trim(filter)) != "TODAS") sql += "where situacao_nfe = :psituacao_nfe\n";
    return sql + "ORDER BY Nota_Fiscal.Id_Serie_Documento, Nota_Fiscal.Id_Nota_Fiscal";
}

// ---------------------------------------------------------------------------
// NFeManagement

NFeManagement::NFeManagement(TComponent* owner, TSQLConnection& db, std::function<NFeConfig()> config)
    : db_(db),
      config_(std::move(config)),
      owned_(owner == nullptr ? std::make_unique<TSQLQuery>() : nullptr),
      query_(owner == nullptr ? owned_.get() : new TSQLQuery(owner)) {
    query_->SetName("qryNota_Fiscal");
    query_->SetConnection(&db_);
    query_->AfterOpen = [](TDataSet* ds) {
        if (auto* f = dynamic_cast<TNumericField*>(ds->FindField("Id_Serie_Documento"))) f->SetDisplayFormat("00#");
        if (auto* f = dynamic_cast<TNumericField*>(ds->FindField("Id_Nota_Fiscal"))) f->SetDisplayFormat("000,00#");
        if (TField* f = ds->FindField("Id_Cliente")) f->SetEditMask("######-#;0; ");
    };
}

NFeManagement::~NFeManagement() = default;

void NFeManagement::Mostra_Dados(const std::string& filter) {
    filter_ = filter;
    query_->Close();
    query_->SetSQL(ManagementSql(filter));
    if (UpperCase(Trim(filter)) != "TODAS")
        query_->ParamByName("psituacao_nfe")->SetAsString(UpperCase(Trim(filter)));
    query_->Open();
    query_->Last();
}

void NFeManagement::Atualizar_Dados() {
    if (!query_->Active()) return;
    bool had = !query_->IsEmpty();
    int serie = had ? query_->FieldByName("Id_Serie_Documento")->AsInteger() : 0;
    int numero = had ? query_->FieldByName("Id_Nota_Fiscal")->AsInteger() : 0;
    // The controls follow the close and the open (the fields are made anew).
    query_->Close();
    query_->Open();
    if (!had || !query_->Locate("Id_Serie_Documento;Id_Nota_Fiscal", VarArrayOf({serie, numero}), {}))
        query_->Last();
}

bool NFeManagement::Localizar(const std::string& typed) {
    std::string t = Trim(typed);
    int numero = 0;
    if (t.empty() || OnlyDigits(t) != t || !TryStrToInt(t, numero)) return false;
    return query_->Active() && query_->Locate("Id_Nota_Fiscal", numero, {});
}

bool NFeManagement::Empty() const { return !query_->Active() || query_->IsEmpty(); }

std::string NFeManagement::Field(const char* name) const {
    return Empty() ? std::string() : rows::Str(*query_, name);
}

std::vector<std::string> NFeManagement::Ambiente() const {
    NFeConfig c = config_();
    return {"Ambiente: " + c.ambiente, "Pasta Envio: " + c.pasta_nfe_envio, "Pasta Retorno: " + c.pasta_nfe_retorno,
            "Pasta Arquivo: " + c.pasta_nfe_arquivamento, "Pasta Temporária: " + c.pasta_nfe_erro};
}

void NFeManagement::Transmitir() {
    if (Empty()) return;
    NFeConfig config = config_();
    std::string state = AnsiUpperCase(Field("Situacao_NFE"));
    std::string recibo = Trim(Field("Recibo_NFE"));
    if (state == "AUTORIZADA" || state == "CANCELADA") {
        config.Notify("A situação desta NF-e não permite Retransmitir !", "Atenção");
        return;
    }
    bool written = false;
    Guard(config, [&] {
        if (state == "AGUARDANDO") {
            if (recibo.empty()) {
                config.Notify("Erro Interno de Aplicativo, esta situação de NFE deveria ter um número de recibo.",
                              "Erro");
                return;
            }
            written = Consultar_Situacao_Lote(db_, config, recibo);
        } else {
            written = !Transmitir_NFE(db_, config, Field("Numero_NFe")).empty();
        }
    });
    if (written) config.Notify("Nota Fiscal foi Transmitida para a SEFAZ !", "Transmitida");
}

bool NFeManagement::ImprimirDanfe() {
    if (Empty()) return false;
    NFeConfig config = config_();
    std::optional<DanfeCommand> command = Imprimir_Danfe(db_, config, Field("Numero_NFe"), 1);
    return command && IniciarDanfe(config, *command);
}

std::unique_ptr<AnswerWait> NFeManagement::ConsultarSituacao(RequestDone done, const WaitServices& services) {
    if (Empty()) return nullptr;
    NFeConfig config = config_();
    std::unique_ptr<AnswerWait> wait;
    Guard(config, [&] { wait = Consultar_Situacao_NFE(config, Field("Numero_NFe"), std::move(done), services); });
    return wait;
}

bool NFeManagement::PodeCancelar() {
    if (Empty()) return false;
    if (Field("Situacao_NFE") == "Autorizada") return true;
    config_().Notify("Somente NF-e com situação \"Autorizada\" pode ser Cancelada.", "Atenção");
    return false;
}

// ---------------------------------------------------------------------------
// NFeCancellation

NFeCancellation::NFeCancellation(TSQLConnection& db, std::function<NFeConfig()> config, WaitServices services)
    : db_(db), config_(std::move(config)), services_(std::move(services)) {}

NFeCancellation::~NFeCancellation() {
    if (Waiting()) {
        wait_->Cancel();
        Withdraw();
    }
}

NFeCancellation::Start NFeCancellation::Confirmar(const std::string& chave, const std::string& protocolo,
                                                  const std::string& motivo) {
    if (Waiting()) return Start::Waiting;
    NFeConfig config = config_();
    std::string reason = Trim(motivo);
    if (Length(reason) < 15) {
        config.Notify("A descrição para o motivo de cancelamento deve ter no minímo 15 caracteres !", "Atenção");
        return Start::ReasonRefused;
    }
    if (Length(reason) > 255) {
        config.Notify("A descrição para o motivo de cancelamento deve ter no máximo 255 caracteres !", "Atenção");
        return Start::ReasonRefused;
    }
    std::string prot = Trim(protocolo);
    std::string key = Trim(chave);
    if (prot.empty()) {
        config.Notify("A NF-e não possui protocolo, não pode Cancelar !", "Atenção");
        return Start::Refused;
    }
    if (!billing::data::Messages().Confirm("Atenção: Esta operação não poderá ser de desfeita.\r\nConfirma o Cancelamento ?",
                                           "Cancelar NF-e"))
        return Start::NotConfirmed;
    try {
        std::string text = BuildCancelamento(AmbienteCode(config), key, prot, reason);
        ExpectRequestAnswers(db_, config, {AnswerKind::Can, AnswerKind::CanErr}, key, config.cancel_wait_ms);
        WriteToFolder(config.pasta_nfe_envio, key + "-ped-can.xml", text);
        auto check = [](const std::string& bytes, bool errorFile, std::string& problem) {
            if (errorFile) {
                if (Trim(JoinedLines(bytes)).empty()) problem = "está vazia";
            } else {
                std::optional<XmlElement> doc = ParseXml(bytes, &problem);
                if (doc && !doc->Text("cStat")) problem = "não traz a situação do pedido (cStat)";
            }
            return problem.empty();
        };
        active_ = config;
        chave_ = key;
        wait_ = std::make_unique<AnswerWait>(services_, JoinPath(config.pasta_nfe_retorno, key + "-can.xml"),
                                             JoinPath(config.pasta_nfe_retorno, key + "-can.err"),
                                             config.answer_wait_ms, config.cancel_wait_ms, check,
                                             [this](const WaitResult& r) { Finish(r); });
        wait_->AlsoAsk([this] { return AnswerAppliedElsewhere(db_, AnswerKind::Can, chave_); },
                       [this] { StopAwaiting(db_, AnswerKind::Can, chave_); });
        wait_->Start();
    } catch (const ENFeError& e) {
        Withdraw();
        config.Notify(e.Message(), "Erro");
        return Start::Refused;
    }
    return Start::Waiting;
}

bool NFeCancellation::Withdraw() {
    // The monitor has not taken the request yet: it is not sent behind the user's back.
    std::string request = JoinPath(active_.pasta_nfe_envio, chave_ + "-ped-can.xml");
    if (chave_.empty() || !Exists(request)) return false;
    MoveHandled(request, active_);
    return true;
}

void NFeCancellation::Finish(const WaitResult& result) {
    const NFeConfig& config = active_;
    try {
        bool accepted = false;
        std::string message, protocolo;
        switch (result.outcome) {
        case WaitOutcome::TimedOut:
            if (Withdraw())
                config.Notify("Não houve resposta do Monitor de NF-e. A NF-e não foi alterada.", "Atenção");
            else
                // The monitor took the request: its answer may still come.
                config.Notify("Não houve resposta do Monitor de NF-e a tempo. O pedido de cancelamento já foi "
                              "enviado: a resposta ainda pode chegar e será aplicada assim que chegar. Até lá a "
                              "NF-e continua \"Autorizada\".",
                              "Atenção");
            break;
        case WaitOutcome::Unusable: {
            std::string kept = MoveInvalid(result.path, config);
            Withdraw();
            config.Notify("A resposta do Monitor de NF-e \"" + ShownName(ExtractFileName(result.path)) + "\" " +
                              result.problem + ". O arquivo foi guardado em \"" + ShownName(kept) +
                              "\".\r\nA NF-e não foi alterada.",
                          "Erro");
            break;
        }
        case WaitOutcome::Error:
            message = JoinedLines(result.bytes);
            break;
        case WaitOutcome::Answer: {
            std::optional<XmlElement> doc = ParseXml(result.bytes);
            std::string cStat = doc ? doc->Text("cStat").value_or("") : "";
            std::string reason = doc ? doc->Text("xMotivo").value_or("") : "";
            accepted = cStat == "101";
            message = cStat + " " + (reason.empty() ? "" : AnsiUpperCase(reason) + "\r\n");
            protocolo = doc ? doc->Text("nProt").value_or("") : "";
            break;
        }
        }
        if (result.outcome == WaitOutcome::Answer || result.outcome == WaitOutcome::Error) {
            // What is shown is kept with the cancellation it tells: a kill
            // before the box leaves it to the next tick of any program.
            std::vector<PollerMessage> told;
            if (!accepted)
                told.push_back({"A Nota Fiscal não pode ser Cancelada !\r\n\r\n" + message, "Falhou"});
            else if (protocolo.empty())
                told.push_back({"Atenção: Não retornou protocolo NF-e, não pode Cancelar", "Erro"});
            else
                told.push_back({"A Nota Fiscal foi cancelada com Sucesso !\r\n\r\nProtocolo: " + protocolo, "Sucesso"});
            // Applied by another program's poller: what it said is told here.
            const std::string problem = ApplyWaitedAnswer(
                db_, config, AnswerKind::Can, chave_, result,
                [&] {
                    if (accepted && !protocolo.empty())
                        db_.Execute("update nota_fiscal set situacao_nfe = :psituacao, protocolo_nfe = :pprotocolo_nfe, "
                                    "erro_nfe = :perro_nfe where numero_nfe = :pnumero_nfe",
                                    {{"psituacao", Variant("Cancelada")},
                                     {"pprotocolo_nfe", Variant(protocolo)},
                                     {"perro_nfe", Variant(message)},
                                     {"pnumero_nfe", Variant(chave_)}});
                },
                told);
            Withdraw();
            if (!problem.empty()) config.Notify(problem, "Atenção");
            for (const PollerMessage& m : told)
                if (TakeNotice(db_, m)) config.Notify(m.text, m.caption);
        }
    } catch (const Exception& e) {
        config.Notify(e.Message(), "Erro");
    }
    if (OnFinished) OnFinished();
}

}  // namespace billing::nfe
