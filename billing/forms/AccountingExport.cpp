#include "billing/forms/AccountingExport.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <vector>

#include "billing/data/Utils.h"
#include "platform/db/SQLQuery.h"
#include "platform/os/Download.h"
#include "platform/rtl/Format.h"
#include "platform/rtl/SafeFile.h"
#include "platform/rtl/Strings.h"

namespace fs = std::filesystem;

namespace billing::forms {

namespace {

using billing::data::MessageIcon;

const char* const kErrorsHeading = "Foram identificados erros, por favor corrija: \r\n\r\n";
const char* const kNotWritten =
    "Não foi possível gravar os arquivos de exportação; nenhum arquivo foi alterado.\r\n\r\n";
std::string AnotherRunning(const std::string& Folder) {
    return "Outra exportação está gravando os arquivos desta empresa na pasta " + QuotedStr(Folder) +
           " neste momento. Aguarde que ela termine e gere os arquivos novamente; nenhum arquivo foi alterado.";
}
// A message lists this many problems at most; the rest are counted.
constexpr std::size_t kMaxListed = 30;

// A query on the connection; null columns read as "" and 0, as the dataset
// gives them.
void Prepare(TSQLQuery& q, TSQLConnection& db, const std::string& sql) {
    q.SetConnection(&db);
    q.SetSQL(sql);
}

std::string Str(const TSQLQuery& q, const char* column) { return q.FieldByName(column)->AsString(); }
double Num(const TSQLQuery& q, const char* column) { return q.FieldByName(column)->AsFloat(); }

std::optional<long long> Int(const TSQLQuery& q, const char* column) {
    TField* f = q.FieldByName(column);
    if (f->IsNull()) return std::nullopt;
    return static_cast<long long>(std::llround(f->AsFloat()));
}

std::optional<TDateTime> When(const TSQLQuery& q, const char* column) {
    TField* f = q.FieldByName(column);
    if (f->IsNull() || Trim(f->AsString()).empty()) return std::nullopt;
    return f->AsDateTime();
}

// A text of digits only, as a number; nothing for anything else.
std::optional<long long> WholeNumber(const std::string& Text) {
    std::string t = Trim(Text);
    if (t.empty() || t.size() > 18) return std::nullopt;
    for (char c : t)
        if (c < '0' || c > '9') return std::nullopt;
    return std::stoll(t);
}

std::string Money(double Value) { return FormatFloat("#,##0.00", Value); }

// One record built field by field; what does not fit its field is recorded
// as a problem of the record's owner (an invoice or a client).
class Record {
public:
    Record(std::string Owner, std::vector<std::string>& Problems) : owner_(std::move(Owner)), problems_(Problems) {}

    Record& Lit(const std::string& Text) {
        text_ += Text;
        return *this;
    }
    Record& S(int Count) { return Lit(Space(Count)); }
    Record& X(const std::string& Text, int Width) { return Lit(AccountingExport::FixLength(Text, Width)); }
    Record& Z(long long Value, int Width, const std::string& What) {
        std::string digits = IntToStrZero(Value, Width);
        if (Value < 0)
            Problem(What + " (" + std::to_string(Value) + ") é negativo.");
        else if (Length(digits) > Width)
            Problem(What + " (" + std::to_string(Value) + ") não cabe em " + std::to_string(Width) + " dígitos.");
        return Lit(FitLeft(digits, Width, '0'));
    }
    Record& V(double Value, int Width, const std::string& What) {
        std::string digits = AccountingExport::Valor(Value, Width);
        if (digits.find('-') != std::string::npos)
            Problem(What + " (" + Money(Value) + ") é negativo.");
        else if (Length(digits) > Width)
            Problem(What + " (" + Money(Value) + ") não cabe em " + std::to_string(Width) + " dígitos.");
        return Lit(FitLeft(digits, Width, '0'));
    }
    // A date as dd/mm/yyyy (any time of day left out); blanks when missing.
    Record& D(const std::optional<TDateTime>& Value) {
        return Lit(Value ? FormatDateTime("dd/mm/yyyy", std::trunc(*Value)) : Space(10));
    }

    const std::string& Text() const { return text_; }
    void Problem(const std::string& Detail) { problems_.push_back(owner_ + ": " + Detail); }

private:
    std::string owner_;
    std::string text_;
    std::vector<std::string>& problems_;
};

struct Client {
    std::string id, nome, nome_fantasia, endereco, numero_endereco, cep, cpf_cnpj, ie_rg, telefone, tributado,
        natureza, bairro, uf;
    std::optional<long long> id_municipio;

    std::string Name() const { return "Cliente " + id + " (" + Trim(nome) + ")"; }
    bool Located() const { return id_municipio.has_value() && !Trim(uf).empty(); }
};

// The clients of the export, each read once, with the state of its main
// municipality (a client whose municipality or state is missing still comes
// back, so that it can be named).
class Clients {
public:
    explicit Clients(TSQLConnection& Db) {
        Prepare(query_, Db,
                "SELECT Cliente.*, UF.uf AS uf_cliente FROM Cliente "
                "LEFT JOIN Municipio ON Municipio.id_municipio = Cliente.Id_Municipio "
                "LEFT JOIN UF ON UF.id_uf = Municipio.id_uf "
                "WHERE Cliente.Id_Cliente = :pid_cliente");
    }

    const Client* Find(const std::string& Id) {
        auto it = cache_.find(Id);
        if (it != cache_.end()) return it->second ? &*it->second : nullptr;
        query_.Close();
        query_.ParamByName("pid_cliente")->SetAsString(Id);
        query_.Open();
        std::optional<Client> found;
        if (!query_.IsEmpty()) {
            const TSQLQuery& q = query_;
            found = Client{Str(q, "Id_Cliente"),  Str(q, "Nome"),     Str(q, "Nome_Fantasia"), Str(q, "Endereco"),
                           Str(q, "Numero_Endereco"), Str(q, "Cep"),   Str(q, "CPF_CNPJ"),      Str(q, "IE_RG"),
                           Str(q, "Telefone"),    Str(q, "Tributado"), Str(q, "Natureza"),      Str(q, "Bairro"),
                           Str(q, "uf_cliente"),  Int(q, "Id_Municipio")};
        }
        auto& slot = cache_[Id] = found;
        return slot ? &*slot : nullptr;
    }

private:
    TSQLQuery query_;
    std::map<std::string, std::optional<Client>> cache_;
};

void NoteUnlocated(const Client& c, std::vector<std::string>& problems, std::set<std::string>& named) {
    if (c.Located() || !named.insert(c.id).second) return;
    problems.push_back(c.Name() + ": não tem Município ou UF cadastrado.");
}

std::string Encode(const std::vector<std::string>& Lines) {
    std::string bytes;
    for (const std::string& line : Lines) bytes += Utf8ToCp1252(line) + "\r\n";
    return bytes;
}

// While the two renames run, a file beside the sales file keeps the old
// one: a hard link to it ("<sales>.anterior-<pid>-<n>") or, when there was
// none, an empty file ("<sales>.ausente-<pid>-<n>"). Made before it,
// "<marker>.estado" records the state the folder is in between the two
// renames, which alone calls for a repair: the new sales file in place, the
// old client file (or none) still there, and the new client file under its
// temporary name; and the machine that wrote it. Both go once both files
// are in place.
const char* const kKeptOld = ".anterior-";
const char* const kWasAbsent = ".ausente-";
const char* const kStateSuffix = ".estado";
// A record another machine wrote this lately may belong to an export still
// running there: its locks are that machine's alone on some shares.
constexpr long long kOtherMachineBusySeconds = 10 * 60;

// Which file stands at a name while one export runs: its inode and length.
// Not its time of change, which a copy or a tool may set: a file keeps its
// inode through a rename, and no two files standing at once share one.
struct FileId {
    bool present = false;
    unsigned long long ino = 0;
    long long size = 0;
    bool operator==(const FileId&) const = default;
};
FileId IdOf(const struct stat& st) {
    return {true, static_cast<unsigned long long>(st.st_ino), static_cast<long long>(st.st_size)};
}
FileId IdAt(const std::string& Path) {
    struct stat st {};
    return ::lstat(Path.c_str(), &st) == 0 ? IdOf(st) : FileId{};
}
FileId IdOfOpen(int Fd) {
    struct stat st {};
    return Fd >= 0 && ::fstat(Fd, &st) == 0 ? IdOf(st) : FileId{};
}

// Which file stands at a name as the record keeps it from one run to
// another: the digest of its bytes and its length, which a remount that
// numbers inodes anew leaves as they are. Records of the earlier version
// name the inode instead (`digest` empty).
struct FileMark {
    bool present = false;
    std::string digest;
    unsigned long long ino = 0;
    long long size = 0;
};

std::optional<std::string> BytesOfOpen(int Fd) {
    std::string bytes;
    char buffer[65536];
    for (off_t at = 0;;) {
        const ssize_t n = ::pread(Fd, buffer, sizeof buffer, at);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return std::nullopt;
        if (n == 0) return bytes;
        bytes.append(buffer, static_cast<std::size_t>(n));
        at += n;
    }
}

FileMark MarkOfOpen(int Fd) {
    struct stat st {};
    if (Fd < 0 || ::fstat(Fd, &st) != 0 || !S_ISREG(st.st_mode)) return {};
    std::optional<std::string> bytes = BytesOfOpen(Fd);
    if (!bytes) return {};
    return {true, os::Sha256Hex(*bytes), static_cast<unsigned long long>(st.st_ino),
            static_cast<long long>(bytes->size())};
}

FileMark MarkAt(const std::string& Path) {
    const int fd = ::open(Path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        // Something that cannot be read stands there: no file the record names.
        struct stat st {};
        return ::lstat(Path.c_str(), &st) == 0 ? FileMark{true, "?", 0, -1} : FileMark{};
    }
    FileMark mark = MarkOfOpen(fd);
    ::close(fd);
    return mark;
}

// How a file matches what the record says of it: Same, Other, or Unsure (a
// record by inode whose inode is not there, the length agreeing: a remount
// may have numbered it anew).
enum class Match { Same, Other, Unsure };
Match Compare(const FileMark& Now, const FileMark& Recorded) {
    if (Now.present != Recorded.present) return Match::Other;
    if (!Now.present) return Match::Same;
    if (!Recorded.digest.empty())
        return Now.digest == Recorded.digest && Now.size == Recorded.size ? Match::Same : Match::Other;
    if (Now.size != Recorded.size) return Match::Other;
    return Now.ino == Recorded.ino ? Match::Same : Match::Unsure;
}
Match Both(Match A, Match B) {
    if (A == Match::Other || B == Match::Other) return Match::Other;
    return A == Match::Same && B == Match::Same ? Match::Same : Match::Unsure;
}

std::string StateLine(const char* What, const std::string& Name, const FileMark& Mark) {
    return std::string(What) + " " + Name + " " +
           (Mark.present ? "sha256:" + Mark.digest + " " + std::to_string(Mark.size) : std::string("ausente")) + "\n";
}

struct PairState {
    FileMark sales;    // the new sales file, in place after the first rename
    FileMark clients;  // the old client file, which the second rename replaces
    FileMark pending;  // the new client file under its temporary name
    std::string machine;  // who wrote it; empty in records of the earlier version
};

std::optional<PairState> ReadState(const std::string& Path, const std::string& SalesName,
                                   const std::string& ClientsName) {
    std::string text;
    try {
        text = fileio::ReadFileBytes(Path);
    } catch (const Exception&) {
        return std::nullopt;
    }
    PairState state;
    int seen = 0;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        std::string what, name, which;
        if (!(fields >> what >> name)) return std::nullopt;
        if (what == "maquina") {
            state.machine = name;
            continue;
        }
        if (!(fields >> which)) return std::nullopt;
        FileMark mark;
        if (which != "ausente") {
            mark.present = true;
            if (which.rfind("sha256:", 0) == 0) {
                mark.digest = which.substr(7);
                if (mark.digest.empty()) return std::nullopt;
            } else {
                try {
                    mark.ino = std::stoull(which);
                } catch (const std::exception&) {
                    return std::nullopt;
                }
            }
            if (!(fields >> mark.size)) return std::nullopt;
        }
        if (what == "vendas" && name == SalesName) state.sales = mark, seen |= 1;
        else if (what == "clientes" && name == ClientsName) state.clients = mark, seen |= 2;
        else if (what == "temporario") state.pending = mark, seen |= 4;
    }
    if (seen != 7) return std::nullopt;
    return state;
}

// Creates a file that must not exist yet with Text, on disk before it is
// used; false with errno otherwise.
bool MakeFile(const std::string& Name, const std::string& Text) {
    int fd = ::open(Name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    bool ok = ::write(fd, Text.data(), Text.size()) == static_cast<ssize_t>(Text.size()) && ::fsync(fd) == 0;
    const int err = errno;
    ::close(fd);
    if (!ok) {
        ::unlink(Name.c_str());
        errno = err == 0 ? EIO : err;
    }
    return ok;
}

// The temporary files of Target that a writer left, each opened and locked
// as its writer's lock: those taken (nobody writes them any more) in Free,
// and whether one is still locked by its writer (Busy). Pick says which.
struct Temporaries {
    std::vector<std::string> free;
    bool busy = false;
};
Temporaries TemporariesOf(const std::string& Target, const std::function<bool(const std::string&, int)>& Pick) {
    const fs::path target(Target);
    const std::string prefix = "." + target.filename().string() + ".tmp-";
    Temporaries found;
    std::error_code ec;
    for (fs::directory_iterator it(target.parent_path(), ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.compare(0, prefix.size(), prefix) != 0) continue;
        int fd = ::open(it->path().c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat st {};
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && Pick(name.substr(prefix.size()), fd)) {
            if (fileio::TakeWriterLock(fd)) found.free.push_back(it->path().string());
            else found.busy = true;
        }
        ::close(fd);
    }
    return found;
}

// True when the file at Path (or nothing) has not changed since Moment.
bool UnchangedSince(const std::string& Path, const struct timespec& Moment) {
    struct stat st {};
    if (::lstat(Path.c_str(), &st) != 0) return true;
    return st.st_mtim.tv_sec < Moment.tv_sec ||
           (st.st_mtim.tv_sec == Moment.tv_sec && st.st_mtim.tv_nsec <= Moment.tv_nsec);
}

// What the export that left a marker did, as the folder shows it.
enum class Left { Nothing, Restored, Unsure, Running };

// What an export that died left, judged while this one owns the pair.
// Killed between the two renames, it left its new sales file beside the old
// client file: when the folder still holds exactly that state, the old
// sales file is put back (Restored), so that the clerk learns of it. Cut
// before the first rename or after the second, or with the files changed
// since, the pair stays as it is and only the marker goes. When the files
// may or may not be that state (Unsure), they stay and the clerk is told.
// A marker another machine made lately may be an export running there,
// between its renames, whose lock this one cannot see: nothing is touched
// (Running), and it is judged once it is old.
Left RestoreInterruptedPair(const std::string& Sales, const std::string& Clients) {
    Left left = Left::Nothing;
    const fs::path dir = fs::path(Sales).parent_path();
    const std::string base = fs::path(Sales).filename().string();
    const std::string clientsBase = fs::path(Clients).filename().string();
    std::error_code ec;
    std::vector<std::pair<fs::path, const char*>> markers;
    std::vector<std::string> records;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        const bool record = name.size() > std::strlen(kStateSuffix) &&
                            name.compare(name.size() - std::strlen(kStateSuffix), std::string::npos, kStateSuffix) == 0;
        for (const char* kind : {kKeptOld, kWasAbsent}) {
            if (fileio::WriterOf(name, base + kind) <= 0) continue;
            if (record) records.push_back(it->path().string());
            else markers.emplace_back(it->path(), kind);
        }
    }
    // A record whose marker is gone was left by a run cut while it made or
    // dropped the two: it guards nothing.
    for (const std::string& record : records) {
        struct stat st {};
        const std::string marker = record.substr(0, record.size() - std::strlen(kStateSuffix));
        if (::lstat(marker.c_str(), &st) != 0 && errno == ENOENT) ::unlink(record.c_str());
    }
    // Looked at before anything is touched: a run elsewhere leaves all as it is.
    std::vector<std::optional<PairState>> states;
    for (const auto& [marker, kind] : markers) {
        const std::string record = marker.string() + kStateSuffix;
        states.push_back(ReadState(record, base, clientsBase));
        struct stat st {};
        if (states.back() && !states.back()->machine.empty() && states.back()->machine != fileio::ThisMachine() &&
            ::lstat(record.c_str(), &st) == 0 &&
            std::llabs(static_cast<long long>(std::time(nullptr)) - static_cast<long long>(st.st_mtim.tv_sec)) <
                kOtherMachineBusySeconds)
            return Left::Running;
    }
    for (std::size_t i = 0; i < markers.size(); ++i) {
        const auto& [marker, kind] = markers[i];
        const std::string record = marker.string() + kStateSuffix;
        Match interrupted = Match::Other;
        Temporaries pending;
        if (const std::optional<PairState>& state = states[i]) {
            interrupted = Both(Compare(MarkAt(Sales), state->sales), Compare(MarkAt(Clients), state->clients));
            Match temporary = Match::Other;
            pending = TemporariesOf(Clients, [&](const std::string&, int Fd) {
                const Match m = state->pending.present ? Compare(MarkOfOpen(Fd), state->pending) : Match::Other;
                if (m == Match::Same || (m == Match::Unsure && temporary == Match::Other)) temporary = m;
                return m != Match::Other;
            });
            // With no temporary recorded, there is none to find.
            if (!state->pending.present) temporary = Match::Same;
            interrupted = Both(interrupted, temporary);
        } else {
            // A marker of the version before the record: the run is told by
            // the process id both its marker's and its files' names carry,
            // and the state by the files' times: neither file of the pair
            // changed since the marker was made.
            const long pid = fileio::WriterOf(marker.filename().string(), base + kind);
            auto ofThatRun = [&](const std::string& Rest, int) { return fileio::WriterOf(Rest, "") == pid; };
            pending = TemporariesOf(Clients, ofThatRun);
            const Temporaries sales = TemporariesOf(Sales, ofThatRun);
            struct stat made {};
            interrupted = !pending.free.empty() && sales.free.empty() && !sales.busy &&
                                  ::lstat(marker.c_str(), &made) == 0 && UnchangedSince(Sales, made.st_ctim) &&
                                  UnchangedSince(Clients, made.st_ctim)
                              ? Match::Same
                              : Match::Other;
            pending.busy = pending.busy || sales.busy;
        }
        // Its writer still holds its client file: it runs, between its
        // renames, where this export's lock does not reach.
        if (pending.busy) continue;
        if (interrupted == Match::Same) {
            left = Left::Restored;
            if (kind == kKeptOld) ::rename(marker.c_str(), Sales.c_str());
            else ::unlink(Sales.c_str());
            // The client file that run never put in place goes with it.
            for (const std::string& t : pending.free) ::unlink(t.c_str());
        } else if (interrupted == Match::Unsure && left != Left::Restored) {
            left = Left::Unsure;
        }
        ::unlink(marker.c_str());
        ::unlink(record.c_str());
    }
    for (const std::string& target : {Sales, Clients}) fileio::RemoveOrphanedTemporaries(target);
    return left;
}

// One export at a time owns a folder's pair: it holds the lock of a file
// beside it (".<sales>.trava"), taken without waiting. The file is made for
// the while and removed by its owner while still locked; whoever locked the
// old file meanwhile finds another at the name, and starts again.
class PairLock {
public:
    explicit PairLock(std::string Path) : path_(std::move(Path)) {}
    ~PairLock() {
        if (fd_ < 0) return;
        ::unlink(path_.c_str());
        ::close(fd_);
    }
    PairLock(const PairLock&) = delete;
    PairLock& operator=(const PairLock&) = delete;

    // 0 once owned; EAGAIN while another export owns it; otherwise the
    // reason no lock can be had there (a share that keeps none).
    int Take() {
        for (int attempt = 0; attempt < 100; ++attempt) {
            int fd = ::open(path_.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
            if (fd < 0) return errno;
            fd = fileio::KeepOffStandardSlots(fd);
            if (!fileio::TakeWriterLock(fd)) {
                const int err = errno;
                ::close(fd);
                return err == EAGAIN || err == EACCES ? EAGAIN : err;
            }
            struct stat mine {}, now {};
            if (::fstat(fd, &mine) == 0 && ::lstat(path_.c_str(), &now) == 0 && mine.st_dev == now.st_dev &&
                mine.st_ino == now.st_ino) {
                fd_ = fd;
                return 0;
            }
            ::close(fd);
        }
        return EAGAIN;
    }

private:
    std::string path_;
    int fd_ = -1;
};

// Renames both files over their targets, or neither: when the second cannot
// take its name, the first target gets its old content back (kept under a
// second name meanwhile) or, being new, is removed. False when, both
// renamed, the pair in place is not the one written: another machine's
// export wrote into it meanwhile, on a share whose locks it does not pass on.
bool CommitTogether(fileio::AtomicFile& First, fileio::AtomicFile& Second) {
    const FileId newFirst = IdOfOpen(First.Fd()), newSecond = IdOfOpen(Second.Fd());
    const bool existed = IdAt(First.TargetPath()).present;
    const std::string state = StateLine("vendas", fs::path(First.TargetPath()).filename().string(),
                                        MarkOfOpen(First.Fd())) +
                              StateLine("clientes", fs::path(Second.TargetPath()).filename().string(),
                                        MarkAt(Second.TargetPath())) +
                              StateLine("temporario", fs::path(Second.TempPath()).filename().string(),
                                        Second.Direct() ? FileMark{} : MarkOfOpen(Second.Fd())) +
                              "maquina " + fileio::ThisMachine() + "\n";
    std::string marker;
    int err = 0;
    for (int n = 0; n < 100 && marker.empty(); ++n) {
        const std::string name = First.TargetPath() + (existed ? kKeptOld : kWasAbsent) +
                                 std::to_string(::getpid()) + "-" + std::to_string(n);
        if (!MakeFile(name + kStateSuffix, state)) {
            err = errno;
            if (err == EEXIST) continue;
            break;
        }
        if (existed ? ::link(First.TargetPath().c_str(), name.c_str()) == 0 : MakeFile(name, "")) {
            marker = name;
            break;
        }
        err = errno;
        ::unlink((name + kStateSuffix).c_str());
        if (err != EEXIST) break;
    }
    if (marker.empty())
        throw EWriteError("Não foi possível guardar uma cópia de \"" + First.TargetPath() +
                          "\": " + fileio::SystemMessagePtBr(err == 0 ? EEXIST : err) + ".");
    auto dropMarker = [&] {
        ::unlink(marker.c_str());
        ::unlink((marker + kStateSuffix).c_str());
    };
    try {
        First.Commit();
    } catch (...) {
        dropMarker();
        throw;
    }
    try {
        Second.Commit();
    } catch (...) {
        if (existed) ::rename(marker.c_str(), First.TargetPath().c_str());
        else ::unlink(First.TargetPath().c_str());
        dropMarker();
        throw;
    }
    dropMarker();
    return (First.Direct() || IdAt(First.TargetPath()) == newFirst) &&
           (Second.Direct() || IdAt(Second.TargetPath()) == newSecond);
}

}  // namespace

AccountingExport::AccountingExport(TSQLConnection& Db, billing::data::IMessages& Messages)
    : db_(Db), messages_(Messages) {}

std::string AccountingExport::Valor(double Value, int Width) {
    std::string s = FormatFloat("#############.00", Value);
    s = Trim(StringReplace(StringReplace(s, ".", "", rfReplaceAll), ",", "", rfReplaceAll));
    return PadLeft(s, Width, '0');
}

std::string AccountingExport::FixLength(const std::string& Text, int Width) {
    std::string clean = Text;
    for (char& c : clean)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
    return FitRight(clean, Width);
}

AccountingExportResult AccountingExport::Run(const AccountingExportInput& Input) {
    AccountingExportResult result;
    std::string folder = Trim(Input.pastaSalvar);
    const bool noFolder = folder.empty();
    if (!noFolder && folder.back() != '/') folder += '/';

    const int empresa = Input.codigoEmpresa;
    if (empresa <= 0) {
        messages_.ShowMessage("Você deve informar o seu código de empresa junto a Center Contábeis !");
        return result;
    }
    std::string errors;
    if (!Input.dataInicial || !Input.dataFinal)
        errors += "Informe a Data Inicial e Final !\r\n";
    else if (std::trunc(*Input.dataFinal) < std::trunc(*Input.dataInicial))
        errors += "A Data Inicial é maior que a Final !\r\n";
    if (empresa > 9999999) errors += "O Código da Empresa deve ter no máximo 7 dígitos !\r\n";
    std::error_code ec;
    if (noFolder)
        errors += "Informe a Pasta Salvar !\r\n";
    else if (!fs::is_directory(folder, ec))
        errors += "A Pasta Informada " + QuotedStr(folder) + " não existe !\r\n";
    if (!errors.empty()) {
        messages_.MessageBox(kErrorsHeading + errors, "Atenção", MessageIcon::Exclamation);
        return result;
    }

    const TDateTime inicial = std::trunc(*Input.dataInicial);
    const TDateTime final = std::trunc(*Input.dataFinal);
    result.salesFile = folder + IntToStrZero(empresa, 7) + "-SAI.TXT";
    result.clientFile = folder + IntToStrZero(empresa, 7) + "-CLI.TXT";
    PairLock owner(folder + "." + IntToStrZero(empresa, 7) + "-SAI.TXT.trava");
    if (const int err = owner.Take(); err == EAGAIN) {
        messages_.MessageBox(AnotherRunning(folder), "Atenção", MessageIcon::Exclamation);
        return result;
    } else if (err != 0) {
        messages_.MessageBox(kNotWritten + std::string("Motivo: ") + fileio::SystemMessagePtBr(err) + ".", "Erro",
                             MessageIcon::Error);
        return result;
    }
    switch (RestoreInterruptedPair(result.salesFile, result.clientFile)) {
    case Left::Nothing:
        break;
    case Left::Running:
        messages_.MessageBox(AnotherRunning(folder), "Atenção", MessageIcon::Exclamation);
        return result;
    case Left::Restored:
        messages_.MessageBox("A exportação anterior para a pasta " + QuotedStr(folder) +
                                 " foi interrompida entre os dois arquivos; os arquivos anteriores foram restaurados.",
                             "Atenção", MessageIcon::Exclamation);
        break;
    case Left::Unsure:
        messages_.MessageBox("A exportação anterior para a pasta " + QuotedStr(folder) +
                                 " pode ter sido interrompida entre os dois arquivos, mas não foi possível confirmar "
                                 "(a pasta pode ter sido montada de novo); os arquivos foram deixados como estavam. "
                                 "Confira os arquivos " + QuotedStr(result.salesFile) + " e " +
                                 QuotedStr(result.clientFile) + " antes de usá-los.",
                             "Atenção", MessageIcon::Exclamation);
        break;
    }

    std::string cnpj;
    {
        TSQLQuery q;
        Prepare(q, db_, "select * from emitente");
        q.Open();
        if (!q.IsEmpty()) cnpj = Str(q, "cnpj");
    }

    // The period runs to the end of its last day: a date stored with a time
    // of day still falls inside it.
    TSQLQuery invoices;
    Prepare(invoices, db_,
            "select * from nota_fiscal where (data_emissao >= :pdata_Inicial and "
            "data_emissao < :pdata_final) and (situacao_nfe = :psituacao_nfe) "
            "order by id_serie_documento, id_nota_fiscal");
    invoices.ParamByName("pdata_Inicial")->SetAsDate(inicial);
    invoices.ParamByName("pdata_final")->SetAsDate(final + 1);
    invoices.ParamByName("psituacao_nfe")->SetAsString(kSituacao);
    invoices.Open();
    if (invoices.IsEmpty()) {
        messages_.ShowMessage("Não existem Notas Fiscais para o Intervalo solicitado !");
        return result;
    }

    std::vector<std::string> problems;
    std::set<std::string> unlocated;
    Clients clients(db_);

    // --- the sales file
    std::vector<std::string> sales;
    int total = invoices.RecordCount();
    if (OnProgress) OnProgress(0, total);
    {
        Record header("Emitente", problems);
        header.Lit("01").Z(empresa, 7, "o Código da Empresa").X(cnpj, 14).D(inicial).D(final);
        header.Lit("N").Lit("03").Lit("00000").Lit("1").Lit("17");
        sales.push_back(header.Text());
    }
    int sequence = 0;
    int done = 0;
    for (; !invoices.Eof(); invoices.Next()) {
        const TSQLQuery& n = invoices;
        std::string serie = Str(n, "id_serie_documento"), numero = Str(n, "id_nota_fiscal");
        std::string owner = "Nota Fiscal série " + serie + ", número " + numero;
        std::string idCliente = Str(n, "id_cliente");
        const Client* c = clients.Find(idCliente);
        Client none;
        if (c == nullptr) problems.push_back(owner + ": o cliente " + idCliente + " não está cadastrado.");
        else NoteUnlocated(*c, problems, unlocated);
        const Client& cli = c != nullptr ? *c : none;

        std::string cfopText = Str(n, "id_cfop");
        std::optional<long long> cfop = WholeNumber(cfopText);

        Record nota(owner, problems);
        nota.Lit("02").Z(++sequence, 7, "o número de sequência").Z(empresa, 7, "o Código da Empresa");
        nota.X(cli.cpf_cnpj, 14).Z(2, 7, "").Z(0, 2, "").Z(4, 7, "");
        if (!cfop) nota.Problem("o CFOP \"" + cfopText + "\" não é um número.");
        nota.Z(cfop.value_or(0), 7, "o CFOP").X(cli.uf, 2).Z(0, 2, "");
        nota.Z(Int(n, "id_nota_fiscal").value_or(0), 7, "o número").Z(Int(n, "id_serie_documento").value_or(0), 7, "a série");
        nota.Z(0, 7, "").D(When(n, "data_saida")).D(When(n, "data_emissao"));
        nota.V(Num(n, "valor_total_nota"), 13, "o Valor Total da Nota").Z(0, 13, "").S(30);
        nota.Lit(Copy(Str(n, "modalidade_frete"), 1, 1) == "0" ? "F" : "C");
        nota.Z(cli.id_municipio.value_or(0), 7, "o Município do cliente").Lit("EEE").Lit("4").S(1);
        nota.Z(0, 7, "").Z(0, 7, "").Z(0, 7, "").Lit("00/00/0000").Z(0, 7, "");
        nota.V(Num(n, "valor_frete"), 13, "o Valor do Frete").V(Num(n, "valor_seguro"), 13, "o Valor do Seguro");
        nota.V(0, 13, "").V(Num(n, "valor_produto"), 13, "o Valor dos Produtos").Lit("0");
        nota.Z(0, 13, "").Z(0, 13, "").Z(0, 13, "").Z(0, 13, "").Z(0, 7, "").Z(0, 7, "");
        nota.Z(2, 7, "").Z(0, 7, "").Lit("99").S(50).X(cli.ie_rg, 20).S(20);
        nota.X(Str(n, "dados_adicionais_contribuinte"), 300).X(Str(n, "numero_nfe"), 44).S(6).Lit(" ").S(93);
        sales.push_back(nota.Text());

        Record valores(owner, problems);
        valores.Lit("03").Z(++sequence, 7, "o número de sequência").Z(1, 7, "").V(41.67, 5, "");
        valores.V(Num(n, "valor_base_calculo"), 13, "a Base de Cálculo").Z(7, 5, "");
        valores.V(Num(n, "valor_icms"), 13, "o Valor do ICMS").V(0, 13, "");
        valores.V(Num(n, "valor_outras_despesas"), 13, "o Valor de Outras Despesas");
        valores.V(0, 13, "").V(0, 13, "").V(0, 13, "").S(74);
        sales.push_back(valores.Text());
        if (OnProgress) OnProgress(++done, total);
    }
    sales.push_back(std::string(100, '9'));

    // --- the client file: each client of the period's invoices once, in
    // every state of the invoice, in code order
    TSQLQuery ids;
    Prepare(ids, db_,
            "SELECT DISTINCT Cliente.Id_Cliente AS Id FROM Cliente "
            "INNER JOIN Nota_Fiscal ON Cliente.Id_Cliente = Nota_Fiscal.Id_Cliente "
            "WHERE Nota_Fiscal.Data_Emissao >= :pData_Inicial AND Nota_Fiscal.Data_Emissao < :pData_Final "
            "ORDER BY Cliente.Id_Cliente");
    ids.ParamByName("pData_Inicial")->SetAsDate(inicial);
    ids.ParamByName("pData_Final")->SetAsDate(final + 1);
    ids.Open();
    std::vector<std::string> clientLines;
    total = ids.RecordCount();
    done = 0;
    if (OnProgress) OnProgress(0, total);
    for (; !ids.Eof(); ids.Next()) {
        const Client* c = clients.Find(Str(ids, "Id"));
        if (c == nullptr) continue;
        NoteUnlocated(*c, problems, unlocated);
        long long numero = WholeNumber(c->numero_endereco).value_or(0);
        std::string tributado = AnsiUpperCase(Copy(c->tributado, 1, 1));
        Record r(c->Name(), problems);
        r.Lit("22").Z(empresa, 7, "o Código da Empresa").X(c->uf, 2).Z(0, 7, "");
        r.Z(c->id_municipio.value_or(0), 7, "o Município").X(c->nome_fantasia, 10).X(c->nome, 40);
        r.X(c->endereco, 40).Z(numero, 7, "o Número do Endereço").S(30).X(c->cep, 8).X(c->cpf_cnpj, 14);
        r.X(c->ie_rg, 20).X(c->telefone, 14).X(c->telefone, 14).Lit("N");
        r.Lit(tributado.empty() ? " " : tributado).Lit(Copy(c->natureza, 1, 1) == "F" ? "2" : "1");
        r.S(20).X(c->bairro, 20).Z(0, 4, "").V(0, 5, "").Z(30, 7, "").S(9).S(100);
        clientLines.push_back(r.Text());
        if (OnProgress) OnProgress(++done, total);
    }

    if (!problems.empty()) {
        std::string list;
        for (std::size_t i = 0; i < problems.size() && i < kMaxListed; ++i) list += problems[i] + "\r\n";
        if (problems.size() > kMaxListed)
            list += "(e mais " + std::to_string(problems.size() - kMaxListed) + " problemas)\r\n";
        messages_.MessageBox(kErrorsHeading + list + "\r\nNenhum arquivo foi gerado.", "Atenção",
                             MessageIcon::Exclamation);
        return result;
    }

    fileio::ClearLastFileError();
    try {
        fileio::AtomicFile salesFile(result.salesFile);
        fileio::AtomicFile clientFile(result.clientFile);
        clientFile.Write(Encode(clientLines));
        salesFile.Write(Encode(sales));
        if (!CommitTogether(salesFile, clientFile)) {
            messages_.MessageBox("Outra exportação gravou os arquivos desta empresa na pasta " + QuotedStr(folder) +
                                     " ao mesmo tempo que esta: os dois arquivos podem não ser da mesma "
                                     "exportação. Gere os arquivos novamente.",
                                 "Erro", MessageIcon::Error);
            return result;
        }
    } catch (const Exception& e) {
        // The clerk reads the system's reason in his own words.
        const int err = fileio::LastFileError();
        messages_.MessageBox(kNotWritten + (err != 0 ? "Motivo: " + fileio::SystemMessagePtBr(err) + "." : e.Message()),
                             "Erro", MessageIcon::Error);
        return result;
    }
    result.written = true;
    messages_.MessageBox("Foram gerados os seguintes arquivos: \r\n" + result.salesFile + "\r\n" + result.clientFile,
                         "Atenção", MessageIcon::Exclamation);
    return result;
}

}  // namespace billing::forms
