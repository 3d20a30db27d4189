#include "billing/nfe/AnswerPoller.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <map>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <random>

#include "billing/nfe/AnswerFiles.h"
#include "billing/nfe/AnswerWait.h"
#include "billing/nfe/AnswerXml.h"
#include "billing/nfe/ChaveNFe.h"
#include "billing/nfe/DbRows.h"
#include "billing/nfe/NFeError.h"
#include "billing/nfe/NFeServices.h"
#include "billing/nfe/Requests.h"
#include "billing/nfe/SendFolder.h"
#include "billing/nfe/XmlText.h"
#include "platform/db/SQLConnection.h"
#include "platform/os/Download.h"
#include "platform/rtl/SafeFile.h"
#include "platform/rtl/Strings.h"

namespace fs = std::filesystem;

namespace billing::nfe {

using namespace rows;

namespace {

struct Ending {
    const char* suffix;
    AnswerKind kind;
};

// Longest first, so that "-pro-rec.xml" is never taken for "-rec.xml".
constexpr std::array<Ending, 9> kEndings{{{"-pro-rec.xml", AnswerKind::ProRec},
                                          {"-pro-rec.err", AnswerKind::ProRecErr},
                                          {"-num-lot.xml", AnswerKind::NumLot},
                                          {"-nfe.err", AnswerKind::NFeErr},
                                          {"-can.xml", AnswerKind::Can},
                                          {"-can.err", AnswerKind::CanErr},
                                          {"-inu.xml", AnswerKind::Inu},
                                          {"-inu.err", AnswerKind::InuErr},
                                          {"-rec.xml", AnswerKind::Rec}}};

// The order the road goes: a batch is stored before its receipt is examined.
constexpr std::array<AnswerKind, 9> kOrder{AnswerKind::NFeErr, AnswerKind::NumLot, AnswerKind::Rec,
                                           AnswerKind::ProRec, AnswerKind::ProRecErr, AnswerKind::Can,
                                           AnswerKind::CanErr, AnswerKind::Inu, AnswerKind::InuErr};

bool AllDigits(const std::string& s, std::size_t min, std::size_t max) {
    return s.size() >= min && s.size() <= max && std::all_of(s.begin(), s.end(), [](char c) {
               return c >= '0' && c <= '9';
           });
}

// "cStat - xMotivo" in upper case, as the state's text is kept.
std::string StatusText(const std::string& cStat, const std::string& xMotivo) {
    std::string t = Trim(cStat);
    std::string reason = Trim(xMotivo);
    if (!reason.empty()) t += " - " + reason;
    return AnsiUpperCase(t);
}

// One transaction for an answer's updates: all are applied, or none.
class Work {
public:
    explicit Work(TSQLConnection& db) : db_(db) { db_.BeginTrans(); }
    ~Work() {
        // A failed write inside may have made the engine undo the whole
        // transaction, an inner one's undo taking the outer along: nothing
        // is left to undo then, and a destructor must not throw.
        if (!done_ && db_.InTransaction()) db_.RollbackTrans();
    }
    void Commit() {
        db_.CommitTrans();
        done_ = true;
    }

private:
    TSQLConnection& db_;
    bool done_ = false;
};

// Drops the mark once the file has left the return folder.
void ForgetOnceGone(TSQLConnection& db, const std::string& path, const std::string& mark) {
    if (mark.empty() || !AnswerGone(path)) return;
    try {
        db.Execute("delete from nfe_resposta_aplicada where marca = :pmarca", {{"pmarca", Variant(mark)}});
    } catch (const Exception&) {
        // A mark left behind names a file that is gone: it matches nothing.
    }
}

}  // namespace

struct AnswerPoller::Outcome {
    // Finish: applied before (a kill stopped its move, or another program
    // applied it), only the move is left; Taken: the file is gone, another
    // program took it.
    enum Kind { Applied, Leave, Invalid, Finish, Taken } kind = Applied;
    std::string text;  // Leave: what to tell (may be empty); Invalid: what is wrong
    static Outcome Done() { return {Applied, {}}; }
    static Outcome Stay(std::string why = {}) { return {Leave, std::move(why)}; }
    static Outcome Bad(std::string why) { return {Invalid, std::move(why)}; }
};

AnswerKind KindOfAnswer(const std::string& name, std::string* id) {
    std::string lower = LowerCase(name);
    for (const Ending& e : kEndings) {
        std::size_t n = std::char_traits<char>::length(e.suffix);
        if (lower.size() > n && lower.compare(lower.size() - n, n, e.suffix) == 0) {
            if (id != nullptr) *id = name.substr(0, name.size() - n);
            return e.kind;
        }
    }
    return AnswerKind::None;
}

std::string StateOfStatus(const std::string& cStat) {
    std::string s = Trim(cStat);
    if (s == "100" || s == "204") return "Autorizada";
    if (s == "110" || s == "205" || s == "301" || s == "302") return "Denegada";
    return "Erro";
}

AnswerPoller::AnswerPoller(Services services) : services_(std::move(services)) {
    if (!services_.check_monitor)
        services_.check_monitor = [](const NFeConfig& c) { return Verifica_Monitor_NFE(c); };
    if (!services_.start_danfe) services_.start_danfe = IniciarDanfe;
}

TickReport AnswerPoller::Tick() {
    TickReport report;
    if (services_.db == nullptr || !services_.db->Connected() || services_.db->Waiting() || !services_.config)
        return report;
    NFeConfig config = services_.config();
    // Whatever the routines would show waits until the file work is done.
    config.notify = [&report](const std::string& text, const std::string& caption) {
        report.messages.push_back({text, caption});
    };
    config.process_messages = nullptr;
    // A settings file that cannot be read is told once until it reads again.
    if (config.settings_problem.empty()) {
        toldSettings_.reset();
    } else if (toldSettings_ != config.settings_problem) {
        toldSettings_ = config.settings_problem;
        report.messages.push_back({config.settings_problem, "Atenção"});
    }
    {
        // The tick never waits for a monitor it starts (it runs no window
        // messages): the next tick finds it running. Each problem with the
        // monitor is told once until the monitor runs, with where to mend it.
        NFeConfig check = config;
        check.programs.start_grace_ms = 0;
        std::vector<PollerMessage> said;
        check.notify = [&said](const std::string& text, const std::string& caption) {
            said.push_back({text, caption});
        };
        report.monitor_running = services_.check_monitor(check);
        // Once it runs, a later absence is news again.
        if (report.monitor_running) toldMonitor_.clear();
        for (PollerMessage& m : said) {
            if (m.text != MsgMonitorAtivado && !toldMonitor_.insert(m.text).second) continue;
            if (m.text == MsgMonitorNaoInstalado || m.text == MsgMonitorNaoIniciou)
                m.text += "\r\nO programa do Monitor (\"" + config.programs.monitor + "\") é informado no arquivo \"" +
                          config.settings_file + "\", seção [NFe], chave Monitor.";
            report.messages.push_back(std::move(m));
        }
    }

    std::error_code ec;
    const std::string& folder = config.pasta_nfe_retorno;
    if (folder.empty() || !fs::is_directory(folder, ec)) {
        if (missingReturnFolder_ != folder) {
            std::string text = folder.empty() ? std::string("A pasta de retorno dos arquivos NF-e não foi informada.")
                                              : "A pasta de retorno \"" + folder + "\" não existe !";
            report.messages.push_back(
                {text + "\r\nInforme a pasta em Ferramentas > Opções..., página \"NF-e\"; ela vale assim que for salva.",
                 "Atenção"});
        }
        missingReturnFolder_ = folder;
        return report;
    }
    missingReturnFolder_.reset();

    // The list is taken once; each class is handled in name order. What
    // stands under an answer's name without being a file (a link, a pipe, a
    // folder) is never opened: it is set aside like any unusable answer.
    struct Found {
        std::string name, id, notAFile;
        bool operator<(const Found& o) const { return name < o.name; }
    };
    std::map<AnswerKind, std::vector<Found>> found;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::string name = it->path().filename().string();
        if (name.empty() || name[0] == '.') continue;
        std::string id;
        AnswerKind kind = KindOfAnswer(name, &id);
        // A window still waiting for this answer takes it itself.
        if (kind == AnswerKind::None || AnswerAwaited(JoinPath(folder, name))) continue;
        std::error_code sec;
        fs::file_type type = it->symlink_status(sec).type();
        if (sec) continue;
        std::string notAFile = type == fs::file_type::regular     ? ""
                               : type == fs::file_type::symlink   ? "é um atalho, não um arquivo"
                               : type == fs::file_type::directory ? "é uma pasta, não um arquivo"
                                                                  : "não é um arquivo comum";
        found[kind].push_back({name, id, notAFile});
    }

    std::string databaseProblem, otherProblem;
    struct SetAside {
        std::string name, why, kept;
    };
    std::vector<SetAside> setAside;
    for (AnswerKind kind : kOrder) {
        auto& names = found[kind];
        std::sort(names.begin(), names.end());
        for (const auto& [name, id, notAFile] : names) {
            std::string path = JoinPath(folder, name);
            Outcome outcome;
            notices_.clear();
            std::string mark;
            try {
                outcome = notAFile.empty() ? HandleOnce(kind, id, path, config, mark) : Outcome::Bad(notAFile);
            } catch (const EDatabaseError& e) {
                notices_.clear();
                outcome = Outcome::Stay();
                if (databaseProblem.empty())
                    databaseProblem = "Não foi possível gravar no Banco de Dados a resposta do Monitor de NF-e \"" +
                                      ShownName(name) + "\": " + e.Message() + "\r\nO arquivo será lido novamente.";
            } catch (const Exception& e) {
                notices_.clear();
                outcome = Outcome::Stay("A resposta do Monitor de NF-e \"" + ShownName(name) +
                                        "\" não pôde ser aplicada: " +
                                        e.Message() + "\r\nO arquivo será lido novamente.");
            }
            for (PollerMessage& m : notices_) report.messages.push_back(std::move(m));
            switch (outcome.kind) {
            case Outcome::Taken:
                break;
            case Outcome::Applied:
            case Outcome::Finish: {
                if (outcome.kind == Outcome::Applied) ++report.handled;
                std::string problem = MoveHandled(path, config);
                ForgetOnceGone(*services_.db, path, mark);
                if (problem.empty()) {
                    failingErrorFolder_.reset();
                } else if (failingErrorFolder_ != config.pasta_nfe_erro) {
                    failingErrorFolder_ = config.pasta_nfe_erro;
                    report.messages.push_back({problem, "Atenção"});
                }
                break;
            }
            case Outcome::Leave:
                ++report.waiting;
                if (!outcome.text.empty() && otherProblem.empty()) otherProblem = outcome.text;
                break;
            case Outcome::Invalid: {
                ++report.quarantined;
                std::string kept = MoveInvalid(path, config);
                // Another program set it aside first: nothing to tell.
                if (kept == path && AnswerGone(path)) {
                    --report.quarantined;
                    break;
                }
                // One that cannot even be renamed is told once, not at every tick.
                if (kept == path && !stuck_.insert(path).second) break;
                setAside.push_back({name, outcome.text, kept});
                break;
            }
            }
        }
    }
    // However many were set aside, one box says so.
    if (setAside.size() == 1) {
        const SetAside& a = setAside.front();
        report.messages.push_back({"A resposta do Monitor de NF-e \"" + ShownName(a.name) + "\" " + a.why +
                                       " e não foi aplicada. O arquivo foi guardado em \"" + ShownName(a.kept) + "\".",
                                   "Atenção"});
    } else if (!setAside.empty()) {
        constexpr std::size_t kListed = 10;
        std::string text = std::to_string(setAside.size()) +
                           " respostas do Monitor de NF-e não foram aplicadas e foram guardadas à parte na pasta \"" +
                           ShownName(ExcludeTrailingPathDelimiter(ExtractFilePath(setAside.front().kept))) + "\":";
        for (std::size_t i = 0; i < setAside.size() && i < kListed; ++i)
            text += "\r\n\"" + ShownName(setAside[i].name) + "\" " + setAside[i].why;
        if (setAside.size() > kListed) text += "\r\ne mais " + std::to_string(setAside.size() - kListed) + ".";
        report.messages.push_back({text, "Atenção"});
    }
    AskAgain(config, report);
    TellKeptAnswers(report);
    TellLeftNotices(report);
    if (!databaseProblem.empty()) report.messages.push_back({databaseProblem, "Erro"});
    if (!otherProblem.empty()) report.messages.push_back({otherProblem, "Atenção"});
    try {
        PrintDanfes(config);
    } catch (const Exception& e) {
        report.messages.push_back({"Não foi possível imprimir o DANFE: " + e.Message(), "Atenção"});
    }
    return report;
}

namespace {

// Answers applied whose file had not yet left the return folder: a program
// killed between the two (a copy to an error folder on another file system
// takes a while) must not apply them again at its next start, nor another
// program on the same folders meanwhile. The mark is written in the same
// transaction as the answer's effect.
constexpr const char* kAppliedTable =
    "create table if not exists nfe_resposta_aplicada (marca text not null primary key)";
// Authorised invoices whose DANFE is still to be started, written with the
// authorisation: a kill between the two leaves it to the next start.
constexpr const char* kDanfeTable = "nfe_danfe_pendente";
constexpr const char* kDanfeTableSql =
    "create table if not exists nfe_danfe_pendente (chave text not null primary key)";

// Receipt queries asked for by an answer of a batch still being processed,
// written once that answer has left the return folder (the query's answer
// comes under the same name): a kill in between leaves them to the next tick.
constexpr const char* kAskAgainTable = "nfe_consulta_pendente";
constexpr const char* kAskAgainTableSql =
    "create table if not exists nfe_consulta_pendente (recibo text not null primary key)";
// Cancellations and voidings a window waits for: the program that wrote the
// request (`programa`), its station and process, until when its window
// waits at the latest (`aguarda_ate`, seconds of the requester's clock; 0
// once the window has stopped waiting), and the answer another program's
// poller applied for it (`arquivo`, `conteudo`), for that window to tell.
// Files of the earlier version lack the three middle columns: their rows
// are nobody's wait any more.
constexpr const char* kAwaitedTableSql =
    "create table if not exists nfe_pedido_aguardado (resposta text not null primary key, programa text not null, "
    "arquivo text, conteudo blob, estacao text, processo integer, aguarda_ate integer)";
// What applied answers have to tell, until a clerk is shown it: written in
// the answer's transaction by the program that will show it (`programa`,
// its station and process), which another program shows instead once that
// one is gone or past `aguarda_ate` (seconds of the writer's clock). The
// numbers are never used again, so a notice taken and a new one written
// are never confused by a program that read the first.
constexpr const char* kNoticeTable = "nfe_aviso_pendente";
constexpr const char* kNoticeTableSql =
    "create table if not exists nfe_aviso_pendente (id integer primary key autoincrement, texto text not null, "
    "titulo text not null, programa text not null, estacao text, processo integer, aguarda_ate integer)";
// A window that has given up waiting is told nothing more; what it gave up
// on is told by a poller. Past its own limit the requester's window waits
// no more, whatever the two clocks say within this margin.
constexpr long long kAwaitMarginSeconds = 60;

void MakeAwaitedTable(TSQLConnection& db) {
    db.Execute(kAwaitedTableSql);
    auto q = Query(db, "select count(*) as n from pragma_table_info('nfe_pedido_aguardado') where name = 'aguarda_ate'");
    q->Open();
    if (Int(*q, "n") != 0) return;
    for (const char* column : {"estacao text", "processo integer", "aguarda_ate integer"})
        db.Execute(std::string("alter table nfe_pedido_aguardado add column ") + column);
}

bool TableExists(TSQLConnection& db, const char* name) {
    auto t = Query(db, "select count(*) as n from sqlite_master where type = 'table' and name = :pnome");
    t->ParamByName("pnome")->SetAsString(name);
    t->Open();
    return Int(*t, "n") != 0;
}

bool AwaitedTableExists(TSQLConnection& db) { return TableExists(db, "nfe_pedido_aguardado"); }

// This program among those on one database; a forked child is another.
std::string& ProgramToken() {
    static std::string token;
    return token;
}
const std::string& ThisProgram() {
    static pid_t owner = 0;
    if (owner != ::getpid() || ProgramToken().empty()) {
        owner = ::getpid();
        std::random_device random;
        char hex[33];
        std::snprintf(hex, sizeof hex, "%08x%08x%08x%08x", random(), random(), random(), random());
        ProgramToken() = hex;
    }
    return ProgramToken();
}

long long WallSeconds() { return static_cast<long long>(std::time(nullptr)); }

// Whether the window that recorded a request may still be waiting for its
// answer (or the program that kept a notice may still show it): it has not
// stopped, its limit has not passed, and its program is not known to be gone (this station sees its own processes; a process id
// this program now holds under another token was a program that ended).
bool WindowMayWait(TDataSet& row) {
    const std::string programa = Str(row, "programa");
    if (row.FieldByName("aguarda_ate")->IsNull() || row.FieldByName("aguarda_ate")->AsLargeInt() <= WallSeconds())
        return false;
    if (Str(row, "estacao") != fileio::ThisMachine()) return true;
    const pid_t pid = static_cast<pid_t>(row.FieldByName("processo")->AsLargeInt());
    if (pid == ::getpid()) return programa == ThisProgram();
    return pid > 0 && (::kill(pid, 0) == 0 || errno == EPERM);
}

// Keeps `message` as a notice of this program, in the caller's transaction.
void KeepNotice(TSQLConnection& db, PollerMessage& message) {
    db.Execute(kNoticeTableSql);
    db.Execute("insert into nfe_aviso_pendente (texto, titulo, programa, estacao, processo, aguarda_ate) values "
               "(:ptexto, :ptitulo, :pprograma, :pestacao, :pprocesso, :pate)",
               {{"ptexto", Variant(message.text)},
                {"ptitulo", Variant(message.caption)},
                {"pprograma", Variant(ThisProgram())},
                {"pestacao", Variant(fileio::ThisMachine())},
                {"pprocesso", Variant(static_cast<int64_t>(::getpid()))},
                {"pate", Variant(static_cast<int64_t>(WallSeconds() + kAwaitMarginSeconds))}});
    auto q = Query(db, "select last_insert_rowid() as id");
    q->Open();
    message.notice = q->FieldByName("id")->AsLargeInt();
}

const char* EndingOf(AnswerKind kind) {
    for (const Ending& e : kEndings)
        if (e.kind == kind) return e.suffix;
    return "";
}

// The row of an awaited request: its answer's name, in lower case.
std::string AwaitedName(AnswerKind kind, const std::string& id) { return LowerCase(id) + EndingOf(kind); }

// Whether two identifiers name the same thing: a batch by its number, however
// padded; anything else by its text in any case.
bool SameId(AnswerKind kind, const std::string& a, const std::string& b) {
    if (kind == AnswerKind::Rec && AllDigits(a, 1, 20) && AllDigits(b, 1, 20)) {
        auto digits = [](const std::string& t) {
            std::size_t first = t.find_first_not_of('0');
            return first == std::string::npos ? std::string() : t.substr(first);
        };
        return digits(a) == digits(b);
    }
    return LowerCase(a) == LowerCase(b);
}

unsigned long& DeviceShift() {
    static unsigned long shift = 0;
    return shift;
}

// The mark of an answer: its name and the digest of its bytes, which neither
// a remount (a new device number) nor a copy of the folder changes.
std::string AppliedMark(const std::string& name, const std::string& bytes) {
    return name + "|sha256:" + os::Sha256Hex(bytes);
}

// A mark of the earlier kind, "<name>|<device>:<inode>|<size>|<mtime>",
// taken for the file `st` describes whatever its device number: a program
// killed before its upgrade has its answer's move finished, not applied
// again.
bool EarlierMarkOf(const std::string& mark, const std::string& name, const struct stat& st) {
    const std::string prefix = name + "|";
    const std::string tail = ":" + std::to_string(st.st_ino) + "|" + std::to_string(st.st_size) + "|" +
                             std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec);
    if (mark.size() <= prefix.size() + tail.size() || mark.compare(0, prefix.size(), prefix) != 0 ||
        mark.compare(mark.size() - tail.size(), tail.size(), tail) != 0)
        return false;
    const std::string device = mark.substr(prefix.size(), mark.size() - prefix.size() - tail.size());
    return AllDigits(device, 1, 20);
}

}  // namespace

void SetDeviceShiftForTests(unsigned long shift) { DeviceShift() = shift; }

namespace {

// Whether the file at `path` is the answer `mark` names as applied: an
// answer a kill kept from leaving the folder after its commit.
bool StillLiesThere(const std::string& path, const std::string& mark) {
    std::string bytes;
    struct stat st {};
    try {
        bytes = ReadAnswer(path, &st);
    } catch (const Exception&) {
        return false;
    }
    st.st_dev += DeviceShift();
    const std::string name = ExtractFileName(path);
    return mark == AppliedMark(name, bytes) || EarlierMarkOf(mark, name, st);
}

}  // namespace

void ExpectAnswers(TSQLConnection& db, const NFeConfig& config, std::initializer_list<AnswerKind> kinds,
                   const std::string& id, int awaitedForMs) {
    const bool own = !db.InTransaction();
    if (own) db.BeginTrans();
    try {
        db.Execute(kAppliedTable);
        std::vector<std::string> forget;
        {
            auto q = Query(db, "select marca from nfe_resposta_aplicada");
            q->Open();
            for (; !q->Eof(); q->Next()) {
                const std::string mark = Str(*q, "marca");
                std::string markedId;
                const AnswerKind kind = KindOfAnswer(mark.substr(0, mark.find('|')), &markedId);
                if (std::find(kinds.begin(), kinds.end(), kind) != kinds.end() && SameId(kind, markedId, id))
                    forget.push_back(mark);
            }
        }
        for (const std::string& mark : forget) {
            // An answer applied before this request whose move a kill
            // stopped is finished here: left in the folder unmarked, it
            // would be taken for this request's answer.
            const std::string path = JoinPath(config.pasta_nfe_retorno, mark.substr(0, mark.find('|')));
            if (!config.pasta_nfe_retorno.empty() && StillLiesThere(path, mark)) {
                const std::string problem = MoveHandled(path, config);
                if (!AnswerGone(path))
                    throw ENFeError("A resposta anterior do Monitor de NF-e \"" + ShownName(path) +
                                    "\", já aplicada, não pôde sair da pasta de retorno: " + problem);
            }
            db.Execute("delete from nfe_resposta_aplicada where marca = :pmarca", {{"pmarca", Variant(mark)}});
        }
        if (awaitedForMs > 0 && kinds.size() > 0) {
            MakeAwaitedTable(db);
            db.Execute("insert or replace into nfe_pedido_aguardado (resposta, programa, arquivo, conteudo, estacao, "
                       "processo, aguarda_ate) values (:presposta, :pprograma, null, null, :pestacao, :pprocesso, "
                       ":pate)",
                       {{"presposta", Variant(AwaitedName(*kinds.begin(), id))},
                        {"pprograma", Variant(ThisProgram())},
                        {"pestacao", Variant(fileio::ThisMachine())},
                        {"pprocesso", Variant(static_cast<int64_t>(::getpid()))},
                        {"pate", Variant(static_cast<int64_t>(WallSeconds() + (awaitedForMs + 999) / 1000 +
                                                              kAwaitMarginSeconds))}});
        }
        if (own) db.CommitTrans();
    } catch (...) {
        if (own && db.InTransaction()) db.RollbackTrans();
        throw;
    }
}

std::optional<WaitResult> AnswerAppliedElsewhere(TSQLConnection& db, AnswerKind kind, const std::string& id) {
    if (!AwaitedTableExists(db)) return std::nullopt;
    auto q = Query(db, "select arquivo, conteudo from nfe_pedido_aguardado where resposta = :presposta and "
                       "programa = :pprograma and arquivo is not null");
    q->ParamByName("presposta")->SetAsString(AwaitedName(kind, id));
    q->ParamByName("pprograma")->SetAsString(ThisProgram());
    q->Open();
    if (q->IsEmpty()) return std::nullopt;
    WaitResult r;
    const AnswerKind applied = KindOfAnswer(Str(*q, "arquivo"));
    r.outcome =
        applied == AnswerKind::CanErr || applied == AnswerKind::InuErr ? WaitOutcome::Error : WaitOutcome::Answer;
    r.bytes = Str(*q, "conteudo");
    r.appliedElsewhere = true;
    return r;
}

void StopAwaiting(TSQLConnection& db, AnswerKind kind, const std::string& id) {
    if (!AwaitedTableExists(db)) return;
    const std::string name = AwaitedName(kind, id);
    const Variant program(ThisProgram());
    Work work(db);
    db.Execute("delete from nfe_pedido_aguardado where resposta = :presposta and programa = :pprograma and "
               "arquivo is null",
               {{"presposta", Variant(name)}, {"pprograma", program}});
    // An answer kept for the window since its last look is told by a poller.
    MakeAwaitedTable(db);
    db.Execute("update nfe_pedido_aguardado set aguarda_ate = 0 where resposta = :presposta and programa = :pprograma",
               {{"presposta", Variant(name)}, {"pprograma", program}});
    work.Commit();
}

void ForgetThisProgramForTests() { ProgramToken().clear(); }

bool AnswerPoller::AnotherProgramsAnswer(AnswerKind kind, const std::string& id, const std::string& name,
                                         const std::string& bytes) {
    TSQLConnection& db = *services_.db;
    MakeAwaitedTable(db);
    const std::string awaited = AwaitedName(kind == AnswerKind::CanErr ? AnswerKind::Can
                                            : kind == AnswerKind::InuErr ? AnswerKind::Inu
                                                                         : kind,
                                            id);
    auto q = Query(db, "select programa, estacao, processo, aguarda_ate from nfe_pedido_aguardado where resposta = "
                       ":presposta");
    q->ParamByName("presposta")->SetAsString(awaited);
    q->Open();
    if (q->IsEmpty()) return false;
    if (!WindowMayWait(*q)) {
        // Nobody waits for it any more (the window gave up, or its program
        // ended): the poller that applies it tells it.
        db.Execute("delete from nfe_pedido_aguardado where resposta = :presposta", {{"presposta", Variant(awaited)}});
        return false;
    }
    db.Execute("update nfe_pedido_aguardado set arquivo = :parquivo, conteudo = :pconteudo where resposta = :presposta",
               {{"parquivo", Variant(name)}, {"pconteudo", Variant(bytes)}, {"presposta", Variant(awaited)}});
    return true;
}

void AnswerPoller::TellKeptAnswers(TickReport& report) {
    TSQLConnection& db = *services_.db;
    struct Kept {
        std::string resposta, arquivo, conteudo;
    };
    std::vector<Kept> gone;
    try {
        if (!AwaitedTableExists(db)) return;
        MakeAwaitedTable(db);
        auto q = Query(db, "select resposta, programa, estacao, processo, aguarda_ate, arquivo, conteudo from "
                           "nfe_pedido_aguardado where arquivo is not null order by rowid");
        q->Open();
        for (; !q->Eof(); q->Next())
            if (!WindowMayWait(*q)) gone.push_back({Str(*q, "resposta"), Str(*q, "arquivo"), Str(*q, "conteudo")});
    } catch (const EDatabaseError&) {
        return;  // looked at again at the next tick
    }
    for (const Kept& k : gone) {
        std::string id;
        const AnswerKind kind = KindOfAnswer(k.arquivo, &id);
        std::optional<PollerMessage> told = RequestAnswerNotice(kind, id, k.conteudo);
        try {
            // The one that takes it off tells it: a window or another
            // station that took it first leaves nothing here. It becomes
            // this program's notice in the same step, so that a kill before
            // a clerk saw it leaves it to be told still.
            Work work(db);
            if (db.Execute("delete from nfe_pedido_aguardado where resposta = :presposta and arquivo = :parquivo",
                           {{"presposta", Variant(k.resposta)}, {"parquivo", Variant(k.arquivo)}}) != 1)
                continue;
            if (told) KeepNotice(db, *told);
            work.Commit();
        } catch (const EDatabaseError&) {
            return;
        }
        if (told) report.messages.push_back(std::move(*told));
    }
}

void AnswerPoller::TellLeftNotices(TickReport& report) {
    TSQLConnection& db = *services_.db;
    std::set<long long> reported;
    for (const PollerMessage& m : report.messages) reported.insert(m.notice);
    try {
        if (!TableExists(db, kNoticeTable)) return;
        auto q = Query(db, "select id, texto, titulo, programa, estacao, processo, aguarda_ate from "
                           "nfe_aviso_pendente order by id");
        q->Open();
        // Taken off only as it is shown (TakeNotice): another program that
        // reports it too shows it only if it takes it first.
        for (; !q->Eof(); q->Next()) {
            const long long notice = q->FieldByName("id")->AsLargeInt();
            if (!WindowMayWait(*q) && !reported.count(notice))
                report.messages.push_back({Str(*q, "texto"), Str(*q, "titulo"), notice});
        }
    } catch (const EDatabaseError&) {
        // Looked at again at the next tick.
    }
}

bool TakeNotice(TSQLConnection& db, const PollerMessage& message) {
    if (message.notice == 0) return true;
    try {
        Work work(db);
        if (db.Execute("delete from nfe_aviso_pendente where id = :pid",
                       {{"pid", Variant(static_cast<int64_t>(message.notice))}}) != 1)
            return false;
        work.Commit();
        return true;
    } catch (const Exception&) {
        // Kept (a lock held too long, the database closed meanwhile): shown
        // by this program or another at a later tick.
        return false;
    }
}

std::string ApplyWaitedAnswer(TSQLConnection& db, const NFeConfig& config, AnswerKind kind, const std::string& id,
                              const WaitResult& result, const std::function<void()>& apply,
                              std::vector<PollerMessage>& told) {
    std::string mark;
    {
        Work work(db);
        if (result.appliedElsewhere) {
            // Taken off by the one that tells it: a poller that found the
            // window gone meanwhile has told it already.
            MakeAwaitedTable(db);
            if (db.Execute("delete from nfe_pedido_aguardado where resposta = :presposta and programa = :pprograma "
                           "and arquivo is not null",
                           {{"presposta", Variant(AwaitedName(kind, id))}, {"pprograma", Variant(ThisProgram())}}) !=
                1)
                told.clear();
        } else {
            mark = AppliedMark(ExtractFileName(result.path), result.bytes);
            db.Execute(kAppliedTable);
            auto q = Query(db, "select count(*) as n from nfe_resposta_aplicada where marca = :pmarca");
            q->ParamByName("pmarca")->SetAsString(mark);
            q->Open();
            // Applied already by another program's poller, which kept it for
            // this window's program to be told: only the move is left.
            if (Int(*q, "n") != 0) {
                told.clear();
            } else {
                if (apply) apply();
                db.Execute("insert into nfe_resposta_aplicada (marca) values (:pmarca)", {{"pmarca", Variant(mark)}});
            }
        }
        for (PollerMessage& m : told) KeepNotice(db, m);
        work.Commit();
    }
    if (result.appliedElsewhere) return {};
    std::string problem = MoveHandled(result.path, config);
    ForgetOnceGone(db, result.path, mark);
    return problem;
}

std::optional<std::string> AnswerPoller::NameProblem(AnswerKind kind, const std::string& id) {
    bool byKey = kind == AnswerKind::NFeErr || kind == AnswerKind::NumLot || kind == AnswerKind::Can ||
                 kind == AnswerKind::CanErr;
    if (byKey && !ChaveValida(id)) return "não traz no nome uma chave de acesso válida";
    if (kind == AnswerKind::Rec && !AllDigits(id, 1, 15))
        return "não traz no nome um número de lote válido (1 a 15 dígitos)";
    if ((kind == AnswerKind::ProRec || kind == AnswerKind::ProRecErr) && !AllDigits(id, 15, 15))
        return "não traz no nome um número de recibo válido (15 dígitos)";
    return std::nullopt;
}

AnswerPoller::Outcome AnswerPoller::HandleOnce(AnswerKind kind, const std::string& id, const std::string& path,
                                               const NFeConfig& config, std::string& mark) {
    if (std::optional<std::string> problem = NameProblem(kind, id)) return Outcome::Bad(*problem);
    TSQLConnection& db = *services_.db;
    // Read inside the transaction: a program that finds no mark here either
    // comes first, or comes after the one that applied it has moved the
    // file and dropped its mark, and then finds no file.
    Work work(db);
    std::string bytes;
    struct stat st {};
    try {
        bytes = ReadAnswer(path, &st);
    } catch (const Exception& e) {
        if (AnswerGone(path)) return {Outcome::Taken, {}};
        return Outcome::Bad("não pôde ser lida (" + e.Message() + ")");
    }
    st.st_dev += DeviceShift();
    const std::string name = ExtractFileName(path);
    mark = AppliedMark(name, bytes);
    db.Execute(kAppliedTable);
    {
        // This answer's marks, of either kind: those of its name ('|' and '}'
        // are neighbours, so the range holds exactly the names followed by '|').
        auto q = Query(db, "select marca from nfe_resposta_aplicada where marca >= :pde and marca < :pate");
        q->ParamByName("pde")->SetAsString(name + "|");
        q->ParamByName("pate")->SetAsString(name + "}");
        q->Open();
        for (; !q->Eof(); q->Next()) {
            std::string found = Str(*q, "marca");
            if (found == mark || EarlierMarkOf(found, name, st)) {
                mark = found;
                work.Commit();
                return {Outcome::Finish, {}};
            }
        }
    }
    // What applying it has to say is kept with its effect.
    NFeConfig applying = config;
    applying.notify = [this](const std::string& text, const std::string& caption) {
        notices_.push_back({text, caption});
    };
    Outcome outcome = Handle(kind, id, bytes, applying);
    if (outcome.kind == Outcome::Applied) {
        const bool requested = kind == AnswerKind::Can || kind == AnswerKind::CanErr || kind == AnswerKind::Inu ||
                               kind == AnswerKind::InuErr;
        if (requested && AnotherProgramsAnswer(kind, id, name, bytes)) notices_.clear();
        for (PollerMessage& m : notices_) KeepNotice(db, m);
        db.Execute("insert into nfe_resposta_aplicada (marca) values (:pmarca)", {{"pmarca", Variant(mark)}});
    }
    work.Commit();
    return outcome;
}

AnswerPoller::Outcome AnswerPoller::Handle(AnswerKind kind, const std::string& id, const std::string& bytes,
                                           const NFeConfig& config) {
    switch (kind) {
    case AnswerKind::NFeErr:
        return ErrorFile("numero_nfe", id, bytes);
    case AnswerKind::NumLot:
        return NumLot(id, bytes, config);
    case AnswerKind::Rec:
        return Rec(id, bytes, config);
    case AnswerKind::ProRec:
        return ProRec(id, bytes, config);
    case AnswerKind::ProRecErr:
        return ErrorFile("recibo_nfe", id, bytes);
    case AnswerKind::Can:
    case AnswerKind::CanErr:
        return Cancellation(id, bytes, kind == AnswerKind::CanErr);
    case AnswerKind::Inu:
    case AnswerKind::InuErr:
        return Voiding(id, bytes, kind == AnswerKind::InuErr);
    case AnswerKind::None:
        break;
    }
    return Outcome::Stay();
}

void AnswerPoller::SetError(const char* column, const std::string& value, const std::string& text) {
    services_.db->Execute(std::string("update nota_fiscal set situacao_nfe = :psituacao, erro_nfe = :perro_nfe where ") +
                              column + " = :pvalor",
                          {{"psituacao", Variant("Erro")}, {"perro_nfe", Variant(text)}, {"pvalor", Variant(value)}});
}

AnswerPoller::Outcome AnswerPoller::ErrorFile(const char* column, const std::string& id, const std::string& bytes) {
    std::string text = JoinedLines(bytes);
    if (Trim(text).empty()) return Outcome::Bad("está vazia");
    SetError(column, id, text);
    return Outcome::Done();
}

AnswerPoller::Outcome AnswerPoller::NumLot(const std::string& id, const std::string& bytes,
                                           const NFeConfig& config) {
    std::string problem;
    std::optional<XmlElement> doc = ParseXml(bytes, &problem);
    if (!doc) return Outcome::Bad(problem);
    std::optional<std::string> lote = doc->Text("NumeroLoteGerado");
    if (!lote) return Outcome::Bad("não traz o número do lote (NumeroLoteGerado)");
    if (!AllDigits(*lote, 1, 15)) return Outcome::Bad("traz um número de lote inválido (\"" + *lote + "\")");
    // The batch's answer comes under its number, which a batch of long ago may have had.
    ExpectAnswers(*services_.db, config, {AnswerKind::Rec}, *lote);
    services_.db->Execute(
        "update nota_fiscal set situacao_nfe = :psituacao, numero_lote_nfe = :pnumero_lote_nfe, erro_nfe = :perro_nfe "
        "where nota_fiscal.numero_nfe = :PNumero_nfe",
        {{"psituacao", Variant("Aguardando")},
         {"pnumero_lote_nfe", Variant(IntToStrZero(StrToInt64(*lote), 15))},
         {"perro_nfe", Variant("")},
         {"PNumero_nfe", Variant(id)}});
    return Outcome::Done();
}

AnswerPoller::Outcome AnswerPoller::Rec(const std::string& id, const std::string& bytes, const NFeConfig& config) {
    std::string problem;
    std::optional<XmlElement> doc = ParseXml(bytes, &problem);
    if (!doc) return Outcome::Bad(problem);
    std::optional<std::string> recibo = doc->Text("nRec");
    std::optional<std::string> cStat = doc->Text("cStat");
    if (!recibo && !cStat) return Outcome::Bad("não traz o recibo do lote (nRec) nem a situação (cStat)");
    if (recibo && !AllDigits(*recibo, 15, 15))
        return Outcome::Bad("traz um recibo inválido (\"" + *recibo + "\")");
    std::string lote = IntToStrZero(StrToInt64(id), 15);
    auto q = Query(*services_.db, "select count(*) as n from nota_fiscal where numero_lote_nfe = :pnumero_lote_nfe");
    q->ParamByName("pnumero_lote_nfe")->SetAsString(lote);
    q->Open();
    // The batch's invoices may not be known yet: the answer waits for them.
    if (Int(*q, "n") == 0) return Outcome::Stay();
    if (!recibo) {
        // The batch was refused as a whole: no receipt will ever come.
        SetError("numero_lote_nfe", lote, StatusText(*cStat, doc->Text("xMotivo").value_or("")));
        return Outcome::Done();
    }
    services_.db->Execute(
        "update nota_fiscal set situacao_nfe = :psituacao, recibo_nfe = :precibo_nfe, erro_nfe = :perro_nfe "
        "where numero_lote_nfe = :PNumero_lote_nfe",
        {{"psituacao", Variant("Aguardando")},
         {"precibo_nfe", Variant(*recibo)},
         {"perro_nfe", Variant("")},
         {"PNumero_lote_nfe", Variant(lote)}});
    try {
        AskForReceipt(config, *recibo);
    } catch (const ENFeError& e) {
        // The receipt is stored; the query is written when this answer is read again.
        return Outcome::Stay(e.Message());
    }
    return Outcome::Done();
}

AnswerPoller::Outcome AnswerPoller::ProRec(const std::string& id, const std::string& bytes, const NFeConfig& config) {
    std::string problem;
    std::optional<XmlElement> doc = ParseXml(bytes, &problem);
    if (!doc) return Outcome::Bad(problem);
    std::vector<const XmlElement*> groups = doc->FindAll("protNFe");
    TSQLConnection& db = *services_.db;

    if (groups.empty()) {
        std::optional<std::string> cStat = doc->Text("cStat");
        if (!cStat) return Outcome::Bad("não traz a situação do lote (cStat) nem protocolos (protNFe)");
        if (*cStat == "105" || *cStat == "103") {
            // Still being processed: asked again once this answer has left,
            // since the next one comes under its name (AskAgain).
            db.Execute(kAskAgainTableSql);
            db.Execute("insert or ignore into nfe_consulta_pendente (recibo) values (:precibo)",
                       {{"precibo", Variant(id)}});
            return Outcome::Done();
        }
        // Refused as a whole, so no protocol will ever come for it.
        SetError("recibo_nfe", id, StatusText(*cStat, doc->Text("xMotivo").value_or("")));
        return Outcome::Done();
    }

    struct Protocol {
        std::string chave, cStat, xMotivo, nProt;
    };
    std::vector<Protocol> protocols;
    for (const XmlElement* g : groups) {
        Protocol p;
        p.chave = g->Text("chNFe").value_or("");
        p.cStat = g->Text("cStat").value_or("");
        p.xMotivo = g->Text("xMotivo").value_or("");
        p.nProt = g->Text("nProt").value_or("");
        if (p.cStat.empty()) return Outcome::Bad("traz um protocolo sem a situação (cStat)");
        if (!p.chave.empty() && !ChaveValida(p.chave))
            return Outcome::Bad("traz uma chave de acesso inválida (\"" + p.chave + "\")");
        if (!p.nProt.empty() && !AllDigits(p.nProt, 15, 15))
            return Outcome::Bad("traz um número de protocolo inválido (\"" + p.nProt + "\")");
        protocols.push_back(std::move(p));
    }

    bool unknown = false;
    Work work(db);
    for (const Protocol& p : protocols) {
        const char* where = p.chave.empty() ? "recibo_nfe = :pchave" : "numero_nfe = :pchave";
        const std::string& target = p.chave.empty() ? id : p.chave;
        auto q = Query(db, std::string("select numero_nfe, protocolo_nfe from nota_fiscal where ") + where);
        q->ParamByName("pchave")->SetAsString(target);
        q->Open();
        if (q->IsEmpty()) {
            unknown = true;
            continue;
        }
        std::string state = StateOfStatus(p.cStat);
        // A duplicate submission keeps the first authorisation's protocol.
        std::string protocolo = p.cStat == "204" ? Str(*q, "protocolo_nfe") : p.nProt;
        db.Execute(std::string("update nota_fiscal set situacao_nfe = :psituacao, protocolo_nfe = :pprotocolo_nfe, "
                               "erro_nfe = :perro_nfe where ") +
                       where,
                   {{"psituacao", Variant(state)},
                    {"pprotocolo_nfe", Variant(protocolo)},
                    {"perro_nfe", Variant(StatusText(p.cStat, p.xMotivo))},
                    {"pchave", Variant(target)}});
        if (p.cStat == "100") {
            db.Execute(kDanfeTableSql);
            db.Execute("insert or ignore into nfe_danfe_pendente (chave) values (:pchave)",
                       {{"pchave", Variant(Str(*q, "numero_nfe"))}});
        }
    }
    work.Commit();
    if (unknown)
        config.Notify("Erro Interno do Aplicativo, o Recibo " + id + " não foi econtrado.", "Atenção");
    return Outcome::Done();
}

std::optional<PollerMessage> RequestAnswerNotice(AnswerKind kind, const std::string& id, const std::string& bytes) {
    const bool cancellation = kind == AnswerKind::Can || kind == AnswerKind::CanErr;
    if (!cancellation && kind != AnswerKind::Inu && kind != AnswerKind::InuErr) return std::nullopt;
    const std::string refused = cancellation ? "A NF-e " + id + " não pode ser Cancelada !\r\n\r\n"
                                             : "A Inutilização \"" + id + "\" não foi aceita !\r\n\r\n";
    if (kind == AnswerKind::CanErr || kind == AnswerKind::InuErr) {
        std::string text = JoinedLines(bytes);
        if (Trim(text).empty()) return std::nullopt;
        return PollerMessage{refused + text, "Falhou"};
    }
    std::optional<XmlElement> doc = ParseXml(bytes);
    if (!doc) return std::nullopt;
    std::optional<std::string> cStat = doc->Text("cStat");
    if (!cStat) return std::nullopt;
    const std::string reason = AnsiUpperCase(doc->Text("xMotivo").value_or(""));
    if (cancellation) {
        if (*cStat != "101") return PollerMessage{refused + *cStat + " " + reason + "\r\n", "Falhou"};
        return PollerMessage{
            "A NF-e " + id + " foi cancelada com Sucesso !\r\n\r\nProtocolo: " + doc->Text("nProt").value_or(""),
            "Sucesso"};
    }
    if (*cStat != "102") return PollerMessage{refused + *cStat + " " + reason, "Falhou"};
    std::optional<InutilizacaoAceita> aceita = LerInutilizacaoAceita(bytes);
    if (!aceita) return std::nullopt;
    return PollerMessage{"A numeração de " + std::to_string(aceita->inicial) + " a " + std::to_string(aceita->final) +
                             " da série " + std::to_string(aceita->serie) +
                             " foi inutilizada.\r\n\r\nProtocolo: " + aceita->protocolo,
                         "Sucesso"};
}

std::optional<AnswerPoller::Outcome> AnswerPoller::ReadRequestAnswer(const std::string& bytes, bool errorFile,
                                                                   std::optional<XmlElement>& doc, std::string& cStat) {
    if (errorFile) {
        if (Trim(JoinedLines(bytes)).empty()) return Outcome::Bad("está vazia");
        return std::nullopt;
    }
    std::string problem;
    doc = ParseXml(bytes, &problem);
    if (!doc) return Outcome::Bad(problem);
    std::optional<std::string> status = doc->Text("cStat");
    if (!status) return Outcome::Bad("não traz a situação do pedido (cStat)");
    cStat = *status;
    return std::nullopt;
}

AnswerPoller::Outcome AnswerPoller::Cancellation(const std::string& id, const std::string& bytes, bool errorFile) {
    std::optional<XmlElement> doc;
    std::string cStat;
    if (std::optional<Outcome> unusable = ReadRequestAnswer(bytes, errorFile, doc, cStat)) return *unusable;
    if (cStat == "101") {
        std::string protocolo = doc->Text("nProt").value_or("");
        if (!AllDigits(protocolo, 15, 15)) return Outcome::Bad("traz um número de protocolo inválido");
        auto q = Query(*services_.db, "select situacao_nfe from nota_fiscal where numero_nfe = :pnumero_nfe");
        q->ParamByName("pnumero_nfe")->SetAsString(id);
        q->Open();
        if (q->IsEmpty()) {
            notices_.push_back(
                {"A NF-e " + id + " foi cancelada, mas não foi encontrada no Banco de Dados.", "Atenção"});
            return Outcome::Done();
        }
        services_.db->Execute(
            "update nota_fiscal set situacao_nfe = :psituacao, protocolo_nfe = :pprotocolo_nfe, erro_nfe = :perro_nfe "
            "where numero_nfe = :pnumero_nfe",
            {{"psituacao", Variant("Cancelada")},
             {"pprotocolo_nfe", Variant(protocolo)},
             {"perro_nfe", Variant(cStat + " " + AnsiUpperCase(doc->Text("xMotivo").value_or("")) + "\r\n")},
             {"pnumero_nfe", Variant(id)}});
    }
    notices_.push_back(*RequestAnswerNotice(errorFile ? AnswerKind::CanErr : AnswerKind::Can, id, bytes));
    return Outcome::Done();
}

AnswerPoller::Outcome AnswerPoller::Voiding(const std::string& id, const std::string& bytes, bool errorFile) {
    std::optional<XmlElement> doc;
    std::string cStat;
    if (std::optional<Outcome> unusable = ReadRequestAnswer(bytes, errorFile, doc, cStat)) return *unusable;
    if (cStat == "102") {
        std::optional<InutilizacaoAceita> aceita = LerInutilizacaoAceita(bytes);
        if (!aceita) return Outcome::Bad("não traz a série e a faixa inutilizadas");
        // The invoices, the range kept for the series and its counter change
        // together or not at all.
        Work work(*services_.db);
        AplicarInutilizacao(*services_.db, *aceita);
        work.Commit();
    }
    notices_.push_back(*RequestAnswerNotice(errorFile ? AnswerKind::InuErr : AnswerKind::Inu, id, bytes));
    return Outcome::Done();
}

void AnswerPoller::AskForReceipt(const NFeConfig& config, const std::string& recibo) {
    ExpectAnswers(*services_.db, config, {AnswerKind::ProRec, AnswerKind::ProRecErr}, recibo);
    Consultar_Situacao_Lote(config, recibo);
}

void AnswerPoller::AskAgain(const NFeConfig& config, TickReport& report) {
    TSQLConnection& db = *services_.db;
    std::vector<std::string> receipts;
    try {
        if (!TableExists(db, kAskAgainTable)) return;
        auto q = Query(db, "select recibo from nfe_consulta_pendente order by rowid");
        q->Open();
        for (; !q->Eof(); q->Next()) receipts.push_back(Str(*q, "recibo"));
    } catch (const EDatabaseError&) {
        return;  // asked at the next tick
    }
    for (const std::string& recibo : receipts) {
        // Not while an answer under the query's answer name is there to move.
        if (!AnswerGone(JoinPath(config.pasta_nfe_retorno, recibo + "-pro-rec.xml")) ||
            !AnswerGone(JoinPath(config.pasta_nfe_retorno, recibo + "-pro-rec.err")))
            continue;
        try {
            // Taken off the list with the query written: another program
            // finds it gone, and a kill before the end leaves it listed.
            Work work(db);
            if (db.Execute("delete from nfe_consulta_pendente where recibo = :precibo", {{"precibo", Variant(recibo)}}) !=
                1)
                continue;
            AskForReceipt(config, recibo);
            work.Commit();
        } catch (const Exception& e) {
            report.messages.push_back({e.Message(), "Atenção"});
            return;
        }
    }
}

void AnswerPoller::PrintDanfes(const NFeConfig& config) {
    TSQLConnection& db = *services_.db;
    std::vector<std::string> keys;
    {
        if (!TableExists(db, kDanfeTable)) return;
        auto q = Query(db, "select chave from nfe_danfe_pendente order by rowid");
        q->Open();
        for (; !q->Eof(); q->Next()) keys.push_back(Str(*q, "chave"));
    }
    if (keys.empty()) return;
    auto q = Query(db, "select ia_danfe from opcao");
    q->Open();
    const bool print = !q->IsEmpty() && UpperCase(Trim(Str(*q, "ia_danfe"))) == "SIM";
    for (const std::string& key : keys) {
        // Taken off the list before it starts: another program that took it
        // first starts it, and a kill in between costs a print, never two.
        if (db.Execute("delete from nfe_danfe_pendente where chave = :pchave", {{"pchave", Variant(key)}}) != 1)
            continue;
        if (!print || key.empty()) continue;
        if (std::optional<DanfeCommand> command = Imprimir_Danfe(db, config, key, 0))
            services_.start_danfe(config, *command);
    }
}

}  // namespace billing::nfe
