#pragma once
// The logic of the three NF-e service forms, without their windows: the
// service status check (its folders taken from the settings), the voiding
// of a range of invoice numbers, and the manual correction of an invoice's
// NF-e protocol and state behind the master access code.
#include <optional>
#include <string>

#include "platform/rtl/DateUtils.h"

class Tdmdb;
class TSQLConnection;

namespace billing::nfe {

// --- service status
// Copies the settings' send, return and archive folders into the run-time
// variables; without a settings row they keep what they held.
void CopiarPastasNFe(Tdmdb& dm);

// --- voiding of a number range
struct Inutilizacao {
    int serie = 0;
    int inicial = 0;
    int final = 0;
    std::string motivo;
};

// The reason's message when it is shorter than 15 or longer than 255
// characters after trimming; "" when it will do.
std::string MotivoInutilizacaoInvalido(const std::string& motivo);
// The other errors, each followed by CR LF ("" when none): an unknown
// series, numbers below 1, the first above the last.
std::string ErrosInutilizacao(TSQLConnection& db, const Inutilizacao& pedido);
// The confirmation question, the numbers as plain digits.
std::string PerguntaInutilizacao(const Inutilizacao& pedido);
// After the authority accepted the voiding of a range: the range is kept
// for its series, and when the series' next number lies in it (or in ranges
// joining it), the next number moves past them, so that no invoice is
// numbered with a voided number. A range ahead of the counter is skipped when
// the counter reaches it (ProximoNumeroNaoInutilizado). Safe to run more
// than once.
void AvancarNumeracaoInutilizada(TSQLConnection& db, int serie, int inicial, int final,
                                 const std::string& protocolo = {}, TDateTime dataProtocolo = 0);

// A voiding the authority accepted, as its answer states it.
struct InutilizacaoAceita {
    int serie = 0;
    int inicial = 0;
    int final = 0;
    std::string protocolo;
    TDateTime data = 0;    // when the authority received it; 0 when the answer has no date
    std::string mensagem;  // status and reason, as the invoices keep them
};
// Reads a voiding answer ("-inu.xml"): nullopt unless it says status 102
// with the series and the range voided. The protocol and its date are
// those the answer holds (empty and 0 when it has none).
std::optional<InutilizacaoAceita> LerInutilizacaoAceita(const std::string& answer);
// Records an accepted voiding, whichever road its answer came by: the
// never-issued invoices of the range take "Inutilizada" with the protocol,
// the range is kept with its protocol and date, the series' counter passes
// it. All of it or nothing; inside a caller's transaction, with it.
void AplicarInutilizacao(TSQLConnection& db, const InutilizacaoAceita& aceita);
// The first number from numero on that no voided range of the series holds;
// ranges that touch or overlap are passed together.
int ProximoNumeroNaoInutilizado(TSQLConnection& db, int serie, int numero);

// --- manual correction
// The fixed code that opens the correction: the typed text upper-cased (a
// to z only) must equal it exactly.
bool SenhaMasterConfere(const std::string& typed);

struct CorrecaoNFe {
    int serie = 0;
    int numero = 0;
    std::string nome_fantasia = "?";  // "?" when the client is no longer registered
    std::string protocolo;
    std::string situacao;
    TDateTime data_emissao = 0;
};

// The states the correction may write.
const char* const* SituacoesCorrecao(int* count);

// The invoice of that series and number, whether or not its client is
// still registered; nullopt when there is none.
std::optional<CorrecaoNFe> LocalizarCorrecao(TSQLConnection& db, int serie, int numero);

// Writes protocol and state into the invoice of the row's series and number
// and records it in the user log under "NOTA225" (only when a row changed).
// Returns the rows changed.
int GravarCorrecao(Tdmdb& dm, const CorrecaoNFe& row);

}  // namespace billing::nfe
