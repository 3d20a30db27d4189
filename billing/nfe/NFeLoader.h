#pragma once
// The NF-e routines as the program calls them: the invoice, its issuer,
// client, items and carrier read from the billing database, then handed to
// the writers. Every statement binds its parameters.
#include <memory>
#include <optional>
#include <string>

#include "billing/nfe/AnswerPoller.h"
#include "billing/nfe/Monitor.h"
#include "billing/nfe/NFeDocument.h"
#include "billing/nfe/NFeServices.h"
#include "billing/nfe/Requests.h"
#include "platform/rtl/DateUtils.h"

class TSQLConnection;

namespace billing::nfe {

struct LoadResult {
    std::optional<NFeDocument> document;  // none: no invoice has the key
    bool carrier_missing = false;         // the invoice names a carrier the register lacks
};

// ExpectAnswers for a request the clerk asks for: a database that cannot
// take it leaves the request unwritten, with ENFeError.
void ExpectRequestAnswers(TSQLConnection& db, const NFeConfig& config, std::initializer_list<AnswerKind> kinds,
                          const std::string& id, int awaitedForMs = 0);

// Reads the invoice whose access key is `chave`, with the settings' environment.
LoadResult LoadNFeDocument(TSQLConnection& db, const std::string& chave);

// The issuer's state code (2 digits) and CNPJ; ENFeError when the register
// has no issuer (or its municipality is missing).
RequestIssuer LoadIssuer(TSQLConnection& db);

// The key for a new invoice of the issuer in the database. ENFeError with
// the issuer-register message when it cannot be made.
std::string Gerar_Chave_NFe(TSQLConnection& db, int numero, int serie, TDateTime emissao);

// Writes the NF-e file of the invoice, its answers expected anew
// (ExpectAnswers). Invoice not found: tells the user and
// returns ""; otherwise the path of the file, in place. ENFeError when a value
// cannot be made valid or the file cannot be written (no file then).
std::string Transmitir_NFE(TSQLConnection& db, const NFeConfig& config, const std::string& chave);

// The requests that need the database: the issuer's state for the service
// status, the issuer for voiding, the invoice's protocol for cancelling, the
// last batch number for the monitor's last-batch file.
std::unique_ptr<AnswerWait> Consultar_Status_Servico(TSQLConnection& db, const NFeConfig& config, RequestDone done,
                                                     const WaitServices& services);
// Each request's answers are expected anew before it is written
// (ExpectAnswers); the voiding's as awaited by this program's window, whose
// wait (Aguardar_Inutilizacao with the database) also takes the answer
// another program's poller applied first. The receipt query as the clerk
// asks it again.
bool Inutilizar_NFE(TSQLConnection& db, const NFeConfig& config, int serie, int inicial, int final,
                    const std::string& justificativa, std::string* identifier = nullptr);
// What the voiding window shows as its wait ends, each message already
// taken off the database (nothing when another program told it first),
// and whether the range `sent` was voided. An answer found is applied with
// what the window shows kept as notices (ApplyWaitedAnswer).
using VoidingDone = std::function<void(const std::vector<PollerMessage>& shown, bool voided)>;
std::unique_ptr<AnswerWait> Aguardar_Inutilizacao(TSQLConnection& db, const NFeConfig& config,
                                                  const Inutilizacao& sent, const std::string& identifier,
                                                  VoidingDone done, const WaitServices& services);
bool Consultar_Situacao_Lote(TSQLConnection& db, const NFeConfig& config, const std::string& recibo);
bool Cancelar_NFE(TSQLConnection& db, const NFeConfig& config, const std::string& chave,
                  const std::string& justificativa);
void Verifica_Numero_Lote(TSQLConnection& db, const NFeConfig& config);

}  // namespace billing::nfe
