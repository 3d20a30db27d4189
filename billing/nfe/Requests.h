#pragma once
// The request files besides the NF-e itself: batch receipt query, service
// status, invoice status, number voiding, cancellation, and the monitor's
// last-batch file. The builders give the text (UTF-8, CR LF lines); the
// routines write it into the send folder, complete or not at all.
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "billing/nfe/AnswerWait.h"
#include "billing/nfe/Monitor.h"
#include "platform/rtl/DateUtils.h"

namespace billing::nfe {

// The issuer data the requests name.
struct RequestIssuer {
    std::string id_uf;  // state code, "41"
    std::string cnpj;   // 14 digits
};

// Texts. Each raises ENFeError naming the field when a value cannot be valid.
std::string BuildConsultaRecibo(const std::string& tpAmb, const std::string& recibo);
std::string BuildStatusServico(const std::string& tpAmb, const std::string& cUF);
std::string BuildSituacaoNFe(const std::string& tpAmb, const std::string& chave);
// `id` receives the voiding identifier (41 characters).
std::string BuildInutilizacao(const std::string& tpAmb, const RequestIssuer& issuer, TDateTime today, int serie,
                              int inicial, int final, const std::string& justificativa, std::string* id = nullptr);
std::string BuildCancelamento(const std::string& tpAmb, const std::string& chave, const std::string& protocolo,
                              const std::string& justificativa);
std::string BuildUltimoLote(long long lote);

// "yyyymmdd" "T" "hhnnss".
std::string RequestTimeStamp(TDateTime when);

// The environment code (first character of `ambiente`), "1" or "2".
std::string AmbienteCode(const NFeConfig& config);

// Writes receipt + "-ped-rec.xml"; true once the file is in place.
bool Consultar_Situacao_Lote(const NFeConfig& config, const std::string& recibo);

// How a waiting request ends: the answer's text, or `failure` (Portuguese)
// when an answer came that could not be used (it is then kept in the error
// folder, never deleted, and the failure says where).
using RequestDone = std::function<void(const std::string& text, const std::string& failure)>;

// Writes time stamp + "-ped-sta.xml" naming the issuer's state and starts
// waiting for the monitor's answer (3 steps of answer_wait_ms). The text is
// the answer's reasons, each followed by CR LF; the error file's text; or,
// when no answer came, the no-connection message. The answer file is deleted
// once read. Returns the running wait, which ends when destroyed.
std::unique_ptr<AnswerWait> Consultar_Status_Servico(const NFeConfig& config, const std::string& cUF,
                                                     RequestDone done, TDateTime now,
                                                     const WaitServices& services);

// Writes key + "-ped-sit.xml" and waits for the answer (4 steps); the text is
// empty when none came. Otherwise as the service status.
std::unique_ptr<AnswerWait> Consultar_Situacao_NFE(const NFeConfig& config, const std::string& chave,
                                                   RequestDone done,
                                                   const WaitServices& services);

// Writes identifier + "-ped-inu.xml"; true once the file is in place.
// `identifier` receives the voiding identifier the answer is named by.
bool Inutilizar_NFE(const NFeConfig& config, const RequestIssuer& issuer, int serie, int inicial, int final,
                    const std::string& justificativa, TDateTime today = Date(), std::string* identifier = nullptr);

// Waits for the monitor's answer to the voiding `identifier` ("-inu.xml",
// or "-inu.err"; 4 steps of answer_wait_ms). The text says the outcome as
// the clerk needs it: "Situação: 102 - <reason>" and "Protocolo: <number>"
// lines for an answer, the error file's text for an error, the
// no-connection message when nothing came. Otherwise as the service status.
// `take`, when given, takes an answer or error file (with the text and
// failure `done` is then told) instead of its being deleted: the database's
// wait applies it before it leaves the return folder.
using AnswerTaken = std::function<void(const WaitResult& result, const std::string& text, const std::string& failure)>;
std::unique_ptr<AnswerWait> Aguardar_Inutilizacao(const NFeConfig& config, const std::string& identifier,
                                                  RequestDone done, const WaitServices& services,
                                                  AnswerTaken take = nullptr);
// How long the voiding's wait lasts.
int VoidingWaitMs(const NFeConfig& config);
// The outcome lines of a voiding answer; empty when it has no status.
std::string DescribeInutilizacao(const std::string& answer);
// Whether a voiding answer's text (as Aguardar_Inutilizacao gives it) tells
// of a voided range (status 102).
bool InutilizacaoHomologada(const std::string& text);

// Writes key + "-ped-can.xml" with the invoice's protocol. A blank protocol:
// tells the user and returns false without writing.
bool Cancelar_NFE(const NFeConfig& config, const std::string& chave, const std::string& protocolo,
                  const std::string& justificativa);

// Replaces the monitor's last-batch file with the given number.
void Verifica_Numero_Lote(const NFeConfig& config, long long ultimoLote);

// Reads an answer of the monitor: the reasons of every "<xMotivo>" element,
// each followed by CR LF; none when it holds no such element or one is cut
// off (an answer the routine cannot understand).
std::optional<std::string> ReasonsOfAnswer(const std::string& text);

extern const char* const MsgSemConexao;

}  // namespace billing::nfe
