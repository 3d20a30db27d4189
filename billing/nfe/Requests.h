#pragma once
// The request files besides the NF-e itself: batch receipt query, service
// status, invoice status, number voiding, cancellation, and the monitor's
// last-batch file. The builders give the text (UTF-8, CR LF lines); the
// routines write it into the send folder, complete or not at all.
#include <optional>
#include <string>

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

// Writes time stamp + "-ped-sta.xml" naming the issuer's state and waits for
// the monitor's answer (3 waits). The answer's reasons, each followed by
// CR LF; the error file's text; or, when no answer came, the no-connection
// message. An answer file that cannot be read or understood is moved to the
// error folder (never deleted) and ENFeError says what is wrong with it.
std::string Consultar_Status_Servico(const NFeConfig& config, const std::string& cUF, TDateTime now = Now());

// Writes key + "-ped-sit.xml" and waits for the answer (4 waits); empty when
// none came. An unusable answer is handled as for the service status.
std::string Consultar_Situacao_NFE(const NFeConfig& config, const std::string& chave);

// Writes identifier + "-ped-inu.xml"; true once the file is in place.
bool Inutilizar_NFE(const NFeConfig& config, const RequestIssuer& issuer, int serie, int inicial, int final,
                    const std::string& justificativa, TDateTime today = Date());

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
