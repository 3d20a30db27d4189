#pragma once
// The clerk's desk for issued invoices, without a window: the invoices with
// their NF-e state (filtered by state, refreshed while the poller changes
// them), and the commands on the current one (transmit again, print the
// DANFE, ask its status, locate, cancel). The management form binds its grid
// and buttons to this; the cancellation dialog to NFeCancellation.
//
// Messages go through the configuration's Notify (the program's message
// boxes); a failure of the NF-e routines is shown with the caption "Erro"
// and never leaves a command half done.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "billing/nfe/AnswerWait.h"
#include "billing/nfe/Monitor.h"
#include "billing/nfe/Requests.h"

class TComponent;
class TSQLConnection;
class TSQLQuery;

namespace billing::nfe {

// The NF-e states the grid knows, with their image: "Em Digitação" 0,
// "Gerada" 1, "Aguardando" 2, "Autorizada" 3, "Erro" 4 (legend "Rejeitada"),
// "Cancelada" 5, "Denegada" 6; any other state has none (-1). Compared exactly.
int StatusImage(const std::string& situacao);
// The legend under the grid, by image index.
const std::vector<std::string>& StatusLegend();

// The "Mostrar" choices, the first showing every invoice.
const std::vector<std::string>& ManagementFilters();

// The management query's text for a filter ("Todas", any case, lists all):
// every invoice with its client's trade name and name ("?" for a client no
// longer in the register) and its `Status` image, by series and number.
std::string ManagementSql(const std::string& filter);

class NFeManagement {
public:
    // `owner` owns the query (the form; none: this desk does); `config` is
    // asked at each command.
    NFeManagement(TComponent* owner, TSQLConnection& db, std::function<NFeConfig()> config);
    ~NFeManagement();

    TSQLQuery* Query() const { return query_; }

    // Reloads with the filter and goes to the last invoice.
    void Mostra_Dados(const std::string& filter);
    // Reloads keeping the invoice selected (by series and number), wherever
    // the rows around it went; the last one when it is gone.
    void Atualizar_Dados();
    // Goes to the invoice whose number is the typed text; false when the
    // text is not a number or no listed invoice has it.
    bool Localizar(const std::string& typed);

    // The commands on the current invoice; on an empty list they do nothing.
    // "Transmitir": sends the NF-e again, or only the receipt query of an
    // invoice waiting for its batch; "Transmitida" is said only when a file
    // was written.
    void Transmitir();
    // Prints the current invoice's DANFE with preview; true when started.
    bool ImprimirDanfe();
    // Asks the invoice's status; `done` hears the answer's text ("" when
    // none came) or the failure. Null when the list is empty.
    std::unique_ptr<AnswerWait> ConsultarSituacao(RequestDone done,
                                                  const WaitServices& services);
    // Only an authorised invoice may be cancelled; otherwise says so.
    bool PodeCancelar();

    bool Empty() const;
    std::string Field(const char* name) const;
    // The lines of the "Ambiente" memo.
    std::vector<std::string> Ambiente() const;

private:
    TSQLConnection& db_;
    std::function<NFeConfig()> config_;
    std::unique_ptr<TSQLQuery> owned_;
    TSQLQuery* query_;
    std::string filter_ = "Todas";
};

// The cancellation of an authorised NF-e: checks the reason and the
// protocol, asks the user, writes the cancellation request and waits for the
// monitor's answer, then stores "Cancelada" with the cancellation's protocol
// or tells why the invoice could not be cancelled. The wait gives up after
// cancel_wait_ms (an answer to a request the monitor already took is then
// applied by the answer poller whenever it comes). An answer another
// station's poller applied first is told from what the database holds for
// the request. A cancellation destroyed mid-wait ends its wait, takes
// back its request when the monitor has not picked it up yet, and changes
// nothing afterwards.
class NFeCancellation {
public:
    enum class Start { ReasonRefused, Refused, NotConfirmed, Waiting };

    NFeCancellation(TSQLConnection& db, std::function<NFeConfig()> config,
                    WaitServices services);
    ~NFeCancellation();
    NFeCancellation(const NFeCancellation&) = delete;
    NFeCancellation& operator=(const NFeCancellation&) = delete;

    // "Confirmar": ReasonRefused when the reason's length is wrong (the form
    // focuses the memo), Refused or NotConfirmed when nothing was written,
    // Waiting once the request is in the send folder.
    Start Confirmar(const std::string& chave, const std::string& protocolo, const std::string& motivo);
    bool Waiting() const { return wait_ && wait_->Waiting(); }
    // Called once the wait has ended and its outcome was told.
    std::function<void()> OnFinished;

private:
    void Finish(const WaitResult& result);
    // True when the request was still there to take back.
    bool Withdraw();

    TSQLConnection& db_;
    std::function<NFeConfig()> config_;
    WaitServices services_;
    NFeConfig active_;
    std::string chave_;
    std::unique_ptr<AnswerWait> wait_;
};

}  // namespace billing::nfe
