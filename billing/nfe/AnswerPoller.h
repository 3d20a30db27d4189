#pragma once
// The NF-e answer poller: at every tick of the main window's answer timer it
// reads the monitor's answers in the return folder, records on each invoice
// its batch number, receipt, protocol, NF-e state and the status text, moves
// each handled answer out of the folder, writes the follow-up receipt query
// and has the DANFE of a newly authorised invoice printed when the settings
// ask for it.
//
// Answers are taken class by class, in the order the road goes (error of the
// NF-e, batch number, batch receipt, protocol answer, error of the receipt
// query), so an invoice's batch is stored before the batch's receipt is
// looked at. A tick never stops on a bad answer: one that cannot be read or
// understood, or whose name does not carry a valid identifier, is kept in
// the error folder as "<name>.invalid"; one whose database work fails stays
// for the next tick. A missing return folder and an error folder that takes
// no file are each told once per folder, each problem of the monitor once
// until it runs, with where the user sets what is missing. A
// tick runs no window messages and shows nothing: what
// it has to say comes back in its report, for the caller to show once the
// file work is done.
//
// Several programs may poll the same folders over one database (two
// stations, or two windows): each answer is applied by one of them, and an
// answer another program took first (its file gone, or marked applied) is
// no problem to tell. An applied answer is known by its name and the
// SHA-256 of its bytes, which a remount of the folder's file system does not
// change, for as long as no new request is answered under that name: every
// request forgets the marks of its answers' names before it is written
// (ExpectAnswers), so the same bytes answering it are applied again. For
// the same reason the receipt query a batch still being processed asks for
// is written only once the answer that asked for it has left the folder.
// The DANFE an authorisation asks for waits in the database until one
// program starts it, so that a kill before the start leaves it to the next
// one.
//
// A cancellation's or voiding's answer is told to a clerk once: to the
// window that waits for it while it waits (applied here for another
// program's window, it is kept in the database for it, AnswerAppliedElsewhere);
// otherwise by the program that applies it, or, kept for a window that has
// since stopped waiting or whose program ended, by the first tick that
// finds it so. What an applied answer has to tell is written as a notice in
// the answer's own transaction and taken off when a clerk is shown it
// (TakeNotice): a program killed between the two leaves it to the next tick
// of any program once it is known to be gone (at once on its own station,
// past a minute on another). The window that finds its answer applies it
// the same way, its own boxes kept as the notices (ApplyWaitedAnswer).
//
// NF-e states written here: "Aguardando", "Autorizada", "Denegada", "Erro",
// "Cancelada" (an accepted cancellation) and "Inutilizada" (an unissued
// invoice whose number was voided).
#include <functional>
#include <initializer_list>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "billing/nfe/AnswerWait.h"
#include "billing/nfe/AnswerXml.h"
#include "billing/nfe/Danfe.h"
#include "billing/nfe/Monitor.h"

class TSQLConnection;

namespace billing::nfe {

// The answer files the poller handles, by their ending (any case).
// Cancellation ("-can") and voiding ("-inu") answers come here too when no
// window of this program waits for them (the monitor answered late, or
// another program asked).
enum class AnswerKind { NFeErr, NumLot, Rec, ProRec, ProRecErr, Can, CanErr, Inu, InuErr, None };

// The kind of an answer file's name; the longest ending wins ("-pro-rec.xml"
// is never a "-rec.xml"). `id` receives the name without its ending.
AnswerKind KindOfAnswer(const std::string& name, std::string* id = nullptr);

// The state a protocol answer's status gives: 100 and 204 "Autorizada";
// 110, 205, 301, 302 "Denegada"; any other "Erro".
std::string StateOfStatus(const std::string& cStat);

struct PollerMessage {
    std::string text;
    std::string caption;
    // The notice kept in the database until a clerk is shown it; 0 for a
    // message that is only this tick's.
    long long notice = 0;
};

struct TickReport {
    bool monitor_running = false;
    std::vector<PollerMessage> messages;  // to show after the tick, in order
    int handled = 0;                      // answers applied and moved (or renamed ".handled")
    int quarantined = 0;                  // answers set aside as ".invalid"
    int waiting = 0;                      // answers left for a later tick
};

// Before a request is written whose answers come under `id` with the
// endings of `kinds`: forgets every mark of those names, in the caller's
// transaction or in one of its own, so that whatever answers the new
// request is applied however alike its bytes are to an earlier answer's.
// An answer applied before that a kill kept in the return folder is moved
// out first (ENFeError when it cannot leave): it never answers the new
// request. With `awaitedForMs`, the request is also recorded as this
// program's, whose window waits for its answer that long at most (the
// first kind names it).
void ExpectAnswers(TSQLConnection& db, const NFeConfig& config, std::initializer_list<AnswerKind> kinds,
                   const std::string& id, int awaitedForMs = 0);

// The answer of this program's awaited request (`kind` and `id` as given to
// ExpectAnswers) that another program's poller applied and kept for it;
// nullopt while there is none. It is taken off by ApplyWaitedAnswer.
std::optional<WaitResult> AnswerAppliedElsewhere(TSQLConnection& db, AnswerKind kind, const std::string& id);

// This program's window waits no more for the answer of its request: the
// poller that applies the answer tells it, and one kept for the window
// since its last look is told by the next tick of any program.
void StopAwaiting(TSQLConnection& db, AnswerKind kind, const std::string& id);

// What a poller tells of a cancellation's or voiding's answer (`kind` and
// `id` from its name); nullopt for another kind or an answer that says
// nothing.
std::optional<PollerMessage> RequestAnswerNotice(AnswerKind kind, const std::string& id, const std::string& bytes);

// Whether `message` is to be shown now, called just before it is: a kept
// notice is taken off the database, and another program (or this one's
// earlier report) that took it first leaves nothing to show.
bool TakeNotice(TSQLConnection& db, const PollerMessage& message);

// What a window's wait for its request (`kind` and `id` as given to
// ExpectAnswers) found, applied by the window: `apply` writes the answer's
// effect and `told`, what the window is about to show, is kept as notices
// in the same transaction, with the mark that keeps a poller from applying
// the file again; the file then leaves the return folder. An answer another
// program applied and kept for the window is taken off in that transaction
// instead. A kill at any point leaves the answer told once: by its notices
// at the next tick of any program, or, nothing written yet, by the poller
// that applies it. `told` is emptied when another program applied or told
// it first; the window shows each message TakeNotice lets through. Returns
// what went wrong moving the file, empty when nothing.
std::string ApplyWaitedAnswer(TSQLConnection& db, const NFeConfig& config, AnswerKind kind, const std::string& id,
                              const WaitResult& result, const std::function<void()>& apply,
                              std::vector<PollerMessage>& told);

// For tests: this process is from now on another program on the database,
// as a new start of the program is (its earlier requests are nobody's).
void ForgetThisProgramForTests();

// For tests: the device number of every answer file, as the poller sees it,
// is moved by `shift`, as when the return folder's file system is mounted
// again (a network or FUSE mount gets a new one); 0 for none.
void SetDeviceShiftForTests(unsigned long shift);

class AnswerPoller {
public:
    struct Services {
        TSQLConnection* db = nullptr;
        // The configuration at this tick (Config_NFe in the program).
        std::function<NFeConfig()> config;
        // Unset: Verifica_Monitor_NFE.
        std::function<bool(const NFeConfig&)> check_monitor;
        // Unset: IniciarDanfe.
        std::function<bool(const NFeConfig&, const DanfeCommand&)> start_danfe;
    };

    explicit AnswerPoller(Services services);

    // One pass over the return folder. Does nothing while the database is closed.
    TickReport Tick();

private:
    struct Outcome;
    // What is wrong with the identifier an answer's name carries, if anything.
    static std::optional<std::string> NameProblem(AnswerKind kind, const std::string& id);
    Outcome Handle(AnswerKind kind, const std::string& id, const std::string& bytes, const NFeConfig& config);
    // Reads the answer at `path` and handles it in one transaction with the
    // mark that it was applied; an answer marked already (by this program
    // before a kill stopped its move, or by another program on the same
    // folders) is not applied again. `mark` gets the mark.
    Outcome HandleOnce(AnswerKind kind, const std::string& id, const std::string& path, const NFeConfig& config,
                       std::string& mark);
    // An error file: the invoices whose `column` is `id` get "Erro" and its text.
    Outcome ErrorFile(const char* column, const std::string& id, const std::string& bytes);
    void SetError(const char* column, const std::string& value, const std::string& text);
    Outcome NumLot(const std::string& id, const std::string& bytes, const NFeConfig& config);
    Outcome Rec(const std::string& id, const std::string& bytes, const NFeConfig& config);
    Outcome ProRec(const std::string& id, const std::string& bytes, const NFeConfig& config);
    // A cancellation's or voiding's answer read: an outcome when it is not
    // usable, else its document (none for an error file) and status.
    std::optional<Outcome> ReadRequestAnswer(const std::string& bytes, bool errorFile, std::optional<XmlElement>& doc,
                                             std::string& cStat);
    Outcome Cancellation(const std::string& id, const std::string& bytes, bool errorFile);
    Outcome Voiding(const std::string& id, const std::string& bytes, bool errorFile);
    // Starts the DANFEs that authorisations left to print, each by the one
    // program that takes it off the list.
    void PrintDanfes(const NFeConfig& config);
    // Writes the receipt query of `recibo`, its answers expected anew.
    void AskForReceipt(const NFeConfig& config, const std::string& recibo);
    // Writes the receipt queries that answers of batches still being
    // processed asked for, each once the answer under its name is gone.
    void AskAgain(const NFeConfig& config, TickReport& report);
    // Tells the answers kept for windows that wait no more (given up, or
    // their program ended), each by the one program that takes it off.
    void TellKeptAnswers(TickReport& report);
    // Reports the notices left by programs that can no longer show them.
    void TellLeftNotices(TickReport& report);
    // Whether the cancellation's or voiding's answer just applied is kept
    // for the window of another program that may still wait for it.
    bool AnotherProgramsAnswer(AnswerKind kind, const std::string& id, const std::string& name,
                               const std::string& bytes);

    Services services_;
    // Problems said once per folder value, not at every tick.
    std::optional<std::string> missingReturnFolder_;
    std::set<std::string> toldMonitor_;
    std::optional<std::string> failingErrorFolder_;
    std::optional<std::string> toldSettings_;
    // What the answer being handled has to tell once it is applied.
    std::vector<PollerMessage> notices_;
    // Unusable answers that could not be set aside (told once each).
    std::set<std::string> stuck_;
};

}  // namespace billing::nfe
