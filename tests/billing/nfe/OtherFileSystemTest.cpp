// Answers set aside when the error folder lies on another file system than
// the return folder (a rename there fails with EXDEV and the file has to be
// copied), and answers that are no files at all. What stands under an
// answer's name may be a pipe nobody writes, a link to /dev/zero or a link
// to the clerk's own private database: none may hang the program, grow it
// without end or end up readable in the error folder.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <thread>

#include "billing/data/Messages.h"
#include "billing/nfe/AnswerFiles.h"
#include "billing/nfe/NFeManagement.h"
#include "billing/nfe/SendFolder.h"
#include "platform/rtl/SafeFile.h"
#include "tests/support/FaultVfs.h"
#include "tests/billing/nfe/PollerFixture.h"
#include "tests/billing/nfe/fake/FakeWaitClock.h"

using namespace billing::nfe;
namespace fs = std::filesystem;

namespace {

constexpr const char* kSecret = "senha do banco de dados";

long ResidentBytes() {
    long pages = 0, resident = 0;
    std::ifstream("/proc/self/statm") >> pages >> resident;
    return resident * ::sysconf(_SC_PAGESIZE);
}

// Runs Work in a forked child that is ended when it blocks for good (an
// alarm) or grows by 256 MB (a watchdog on its resident size): the exit
// status the parent gets is 0 only when Work returned. Nothing is asserted
// on the time taken.
int RunBounded(const std::function<void()>& Work) {
    pid_t pid = ::fork();
    if (pid == 0) {
        ::alarm(20);
        long start = ResidentBytes();
        std::thread([start] {
            for (;;) {
                if (ResidentBytes() - start > (256L << 20)) ::_exit(86);
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        }).detach();
        Work();
        ::_exit(0);
    }
    int status = -1;
    ::waitpid(pid, &status, 0);
    return status;
}

// Shows a tick's report as the main window does, each message a clerk is
// shown appended to the file `Told` (so that what a killed child showed
// counts too).
void TellInto(const std::string& Told, const std::string& Text, const std::string& Caption) {
    const std::string line = Caption + ": " + Text + '\0';
    int fd = ::open(Told.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    EXPECT_EQ(::write(fd, line.data(), line.size()), static_cast<ssize_t>(line.size()));
    ::close(fd);
}

void ShowInto(TSQLConnection& Db, const billing::nfe::TickReport& R, const std::string& Told) {
    for (const billing::nfe::PollerMessage& m : R.messages)
        if (billing::nfe::TakeNotice(Db, m)) TellInto(Told, m.text, m.caption);
}

std::vector<std::string> ToldIn(const std::string& Told) {
    std::vector<std::string> lines;
    if (!fs::exists(Told)) return lines;
    const std::string all = testsupport::ReadAll(Told);
    for (std::size_t at = 0, end; (end = all.find('\0', at)) != std::string::npos; at = end + 1)
        lines.push_back(all.substr(at, end - at));
    return lines;
}

// One tick of the answer poller, its report then shown, in a child killed at
// the step-th step of a file's safe write or, past those, as it is about to
// show the report (File), or at the step-th of the database's writes: true
// when it died there, false when the showing ended first.
bool KilledTicking(bool File, int Step, testsupport::FaultVfs& Vfs, const billing::nfe::AnswerPoller::Services& S,
                   const std::string& Told) {
    if (!File)
        return testsupport::RunKilled(Vfs, Step, [&] { ShowInto(*S.db, billing::nfe::AnswerPoller(S).Tick(), Told); });
    return testsupport::KilledInChild([&] {
        int seen = 0;
        fileio::SetWriteStepHook([&](fileio::WriteStep, int, const std::string&) {
            if (++seen == Step) ::raise(SIGKILL);
        });
        const billing::nfe::TickReport r = billing::nfe::AnswerPoller(S).Tick();
        if (++seen == Step) ::raise(SIGKILL);
        ShowInto(*S.db, r, Told);
    });
}

// The same kills in a waiting window: `Wait` asks and waits, arming the
// kill (`Arm`) once its request is written, then the window finds the
// answer, applies it and shows its boxes.
bool KilledWaiting(bool File, int Step, testsupport::FaultVfs& Vfs,
                   const std::function<void(const std::function<void()>& Arm)>& Wait) {
    return testsupport::KilledInChild([&] {
        Vfs.Off();
        int seen = 0;
        Wait([&] {
            if (!File) return Vfs.KillAfter(Step);
            fileio::SetWriteStepHook([&](fileio::WriteStep, int, const std::string&) {
                if (++seen == Step) ::raise(SIGKILL);
            });
        });
    });
}

bool HasControlCharacter(const std::string& text) {
    for (unsigned char c : text)
        if (c < 0x20 && c != '\r' && c != '\n') return true;
    return false;
}

class OtherFileSystem : public nfetest::PollerFixture {
protected:
    void SetUp() override {
        PollerFixture::SetUp();
        secret = dir.file("faturamento-privado.db");
        testsupport::WriteAll(secret, kSecret);
        fs::permissions(secret, fs::perms(0600));
        SetOtherFileSystemForTests(folders.erro);
    }
    void TearDown() override { SetOtherFileSystemForTests(""); }
    // Everything the error folder holds, hidden files included.
    std::vector<std::string> ErrorFolder() {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(folders.erro)) names.push_back(e.path().filename().string());
        return names;
    }
    // A copy of the private file's bytes, not the link itself moved there.
    bool SecretCopied() {
        for (const auto& e : fs::directory_iterator(folders.erro))
            if (fs::is_regular_file(e.symlink_status()) &&
                testsupport::ReadAll(e.path().string()).find(kSecret) != std::string::npos)
                return true;
        return false;
    }
    // Each way an answer leaves for the error folder, for each thing that
    // may stand under its name.
    void RoadsOfOneFolder(const std::string& pass);
    std::string secret;
};

}  // namespace

// The road every caller takes (the poller's bad answers, a wait's unusable
// answer, a handled answer): a regular answer is copied whole, private, and
// only then removed; a pipe, a link to a device and a link to a private file
// are never opened, stay in the return folder and are told about. Once with
// the test switch, once with the error folder on a real tmpfs (/dev/shm)
// where the machine has one apart from the temporary folder.
TEST_F(OtherFileSystem, OnlyASmallRegularAnswerIsCopiedAcrossAndTheCopyIsPrivate) {
    ::umask(022);
    struct stat tmp {}, shm {};
    bool tmpfs = ::stat(folders.retorno.c_str(), &tmp) == 0 && ::stat("/dev/shm", &shm) == 0 && tmp.st_dev != shm.st_dev;
    for (const std::string pass : {"switch", "tmpfs"}) {
        if (pass == "tmpfs" && !tmpfs) continue;
        std::string shmFolder;
        if (pass == "tmpfs") {
            char pattern[] = "/dev/shm/fat-erro-XXXXXX";
            ASSERT_NE(::mkdtemp(pattern), nullptr);
            shmFolder = pattern;
            SetOtherFileSystemForTests("");
            folders.erro = config.pasta_nfe_erro = shmFolder;
        }
        struct Cleanup {
            std::string folder;
            ~Cleanup() {
                std::error_code ec;
                if (!folder.empty()) fs::remove_all(folder, ec);
            }
        } cleanup{shmFolder};
        RoadsOfOneFolder(pass);
    }
}

void OtherFileSystem::RoadsOfOneFolder(const std::string& pass) {
    struct Case {
        const char* name;
        std::function<void(const std::string&)> make;
        bool copied;
    };
    const std::vector<Case> cases = {
        {"pipe", [](const std::string& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0); }, false},
        {"zero", [](const std::string& p) { fs::create_symlink("/dev/zero", p); }, false},
        {"private", [this](const std::string& p) { fs::create_symlink(secret, p); }, false},
        {"answer", [](const std::string& p) { testsupport::WriteAll(p, "<retCancNFe><cStat>101</cStat></retCancNFe>"); },
         true},
    };
    for (const char* road : {"invalid", "handled"}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(pass + " " + road + " " + c.name);
            std::string name = pass + "-" + c.name + "-" + road + "-can.xml";
            std::string path = folders.retorno + "/" + name;
            c.make(path);
            std::string said = dir.file("said.txt");
            int status = RunBounded([&] {
                std::string text = std::string(road) == "invalid" ? MoveInvalid(path, config) : MoveHandled(path, config);
                testsupport::WriteAll(said, text);
            });
            ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
                << (WIFSIGNALED(status) ? "hung on it" : "grew without end or failed");
            std::string text = testsupport::ReadAll(said);
            std::string copy = folders.erro + "/" + name + (std::string(road) == "invalid" ? ".invalid" : "");
            if (c.copied) {
                EXPECT_FALSE(fs::exists(fs::symlink_status(path)));
                ASSERT_TRUE(fs::is_regular_file(fs::symlink_status(copy))) << text;
                struct stat st {};
                ASSERT_EQ(::stat(copy.c_str(), &st), 0);
                EXPECT_EQ(st.st_mode & 07777, 0600u);
                EXPECT_EQ(testsupport::ReadAll(copy), "<retCancNFe><cStat>101</cStat></retCancNFe>");
            } else {
                EXPECT_FALSE(fs::exists(fs::symlink_status(copy)));
                // Left in its folder, renamed out of every later look.
                std::string left = std::string(road) == "invalid" ? text : path + ".handled";
                EXPECT_EQ(fs::path(left).parent_path(), fs::path(folders.retorno)) << text;
                EXPECT_TRUE(fs::exists(fs::symlink_status(left))) << text;
                EXPECT_FALSE(fs::exists(fs::symlink_status(path)));
                if (std::string(road) == "handled") {
                    EXPECT_NE(text.find(name), std::string::npos) << text;
                }
            }
        }
    }
    EXPECT_FALSE(SecretCopied());
    for (const std::string& n : ErrorFolder()) EXPECT_NE(n[0], '.') << "a temporary copy was left: " << n;
    EXPECT_EQ(testsupport::ReadAll(secret), kSecret);
}

// Links, pipes and folders under answers' names are set aside at the first
// tick with one box, and never told again; names with line breaks, ESC or
// BEL are shown escaped. Both with the error folder on the same file
// system (moved there) and on another one (left renamed in place).
TEST_F(OtherFileSystem, AnswersThatAreNoFilesAreSetAsideOnceAndOddNamesAreEscaped) {
    for (bool across : {true, false}) {
        SCOPED_TRACE(across ? "another file system" : "the same file system");
        SetOtherFileSystemForTests(across ? folders.erro : "");
        std::string k = across ? "1" : "2";
        std::string key1 = nfetest::InsertInvoice(conn, 1, across ? 71 : 81, EncodeDate(2010, 6, 15));
        std::string key2 = nfetest::InsertInvoice(conn, 1, across ? 72 : 82, EncodeDate(2010, 6, 15));
        std::string key3 = nfetest::InsertInvoice(conn, 1, across ? 73 : 83, EncodeDate(2010, 6, 15));
        fs::create_symlink(secret, folders.retorno + "/" + key1 + "-nfe.err");
        ASSERT_EQ(::mkfifo((folders.retorno + "/" + key2 + "-num-lot.xml").c_str(), 0600), 0);
        fs::create_directory(folders.retorno + "/" + key3 + "-nfe.err");
        std::string odd = k + "\n\x1b[2J\x07-nfe.err";
        Place(odd, "Rejeição");

        billing::nfe::TickReport r = Tick();
        EXPECT_EQ(r.quarantined, 4) << Messages(r);
        ASSERT_EQ(r.messages.size(), 1u) << Messages(r);
        const std::string& text = r.messages[0].text;
        EXPECT_FALSE(HasControlCharacter(text)) << text;
        EXPECT_NE(text.find(k + "\\n\\x1B[2J\\x07-nfe.err"), std::string::npos) << text;
        EXPECT_NE(text.find(key1 + "-nfe.err\" é um atalho"), std::string::npos) << text;
        EXPECT_NE(text.find(key3 + "-nfe.err\" é uma pasta"), std::string::npos) << text;
        EXPECT_NE(text.find(key2 + "-num-lot.xml\" não é um arquivo comum"), std::string::npos) << text;
        for (const std::string& key : {key1, key2, key3}) EXPECT_EQ(State(key), "Em Digitação");
        for (const std::string& n : {key1 + "-nfe.err", key2 + "-num-lot.xml", key3 + "-nfe.err", odd})
            EXPECT_FALSE(InReturn(n)) << n;
        EXPECT_FALSE(SecretCopied());

        r = Tick();
        EXPECT_EQ(r.quarantined + r.handled + r.waiting, 0);
        EXPECT_TRUE(r.messages.empty()) << Messages(r);
    }
}

// Characters that break a line or turn its direction around (NEL and the
// other C1 controls, the line and paragraph separators, the direction
// overrides and isolates) in an answer's name reach the clerk's box as
// "\uHHHH", each of them, never raw; letters with accents stay as they are.
TEST_F(OtherFileSystem, AnswerNamesThatBreakOrTurnTheLineAreShownEscaped) {
    SetOtherFileSystemForTests("");
    auto encode = [](char32_t c) {
        std::string s;
        if (c < 0x800) {
            s += static_cast<char>(0xC0 | (c >> 6));
        } else {
            s += static_cast<char>(0xE0 | (c >> 12));
            s += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        }
        s += static_cast<char>(0x80 | (c & 0x3F));
        return s;
    };
    std::vector<char32_t> named;
    for (char32_t c = 0x80; c <= 0x9F; ++c) named.push_back(c);
    for (char32_t c : {0x2028, 0x2029, 0x202A, 0x202B, 0x202C, 0x202D, 0x202E, 0x2066, 0x2067, 0x2068, 0x2069})
        named.push_back(c);
    for (char32_t c : named) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "%04X", static_cast<unsigned>(c));
        SCOPED_TRACE(hex);
        const std::string raw = encode(c);
        Place("Ação" + raw + "-nfe.err", "Rejeição");
        billing::nfe::TickReport r = Tick();
        ASSERT_EQ(r.messages.size(), 1u) << Messages(r);
        const std::string& text = r.messages[0].text;
        EXPECT_EQ(text.find(raw), std::string::npos) << text;
        EXPECT_NE(text.find("\"Ação\\u" + std::string(hex) + "-nfe.err\""), std::string::npos) << text;
    }
}

// Direction marks and the other characters that show nothing (zero-width
// spaces and joiners, the byte order mark, soft hyphen, word joiner,
// invisible operators, fillers, variation selectors, tags) in an answer's
// name reach the clerk as "\uHHHH" like the controls: "789<RLM>987" never
// shows as "789987" read backwards.
TEST_F(OtherFileSystem, AnswerNamesWithDirectionMarksOrInvisibleCharactersAreShownEscaped) {
    SetOtherFileSystemForTests("");
    auto encode = [](char32_t c) {
        std::string s;
        if (c < 0x800) {
            s += static_cast<char>(0xC0 | (c >> 6));
        } else if (c < 0x10000) {
            s += static_cast<char>(0xE0 | (c >> 12));
            s += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        } else {
            s += static_cast<char>(0xF0 | (c >> 18));
            s += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            s += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        }
        s += static_cast<char>(0x80 | (c & 0x3F));
        return s;
    };
    const std::vector<std::pair<char32_t, const char*>> hidden = {
        {0x200E, "200E"}, {0x200F, "200F"}, {0x061C, "061C"}, {0x200B, "200B"}, {0x200C, "200C"},
        {0x200D, "200D"}, {0xFEFF, "FEFF"}, {0x00AD, "00AD"}, {0x2060, "2060"}, {0x2062, "2062"},
        {0x180E, "180E"}, {0x3164, "3164"}, {0xFE0F, "FE0F"}, {0xE0041, "E0041"},
    };
    for (const auto& [c, hex] : hidden) {
        SCOPED_TRACE(hex);
        const std::string raw = encode(c);
        Place("NF 123-456-789" + raw + " 987-nfe.err", "Rejeição");
        billing::nfe::TickReport r = Tick();
        ASSERT_EQ(r.messages.size(), 1u) << Messages(r);
        const std::string& text = r.messages[0].text;
        EXPECT_EQ(text.find(raw), std::string::npos) << text;
        EXPECT_NE(text.find("\"NF 123-456-789\\u" + std::string(hex) + " 987-nfe.err\""), std::string::npos) << text;
    }
}

// A kill at any moment of an answer's handling, with the error folder on
// another file system: at each write of the database and at each step of the
// copy into the error folder (before and after its write, before and after
// its rename, which comes before the original goes). After the next start
// the answer was applied exactly once (in the killed program or at the
// start, never in both), it is told to a clerk once (by the killed program
// before the kill, else by the next start), it is no longer in the return
// folder, and one copy of it is in the error folder.
TEST_F(OtherFileSystem, AKillAtAnyStepOfAnAnswersMoveLeavesItAppliedOnceAndOneCopy) {
    testsupport::FaultVfs vfs;
    conn.Close();
    conn.Open();
    const std::string answer =
        "<retCancNFe><infCanc><cStat>101</cStat><xMotivo>Cancelamento homologado</xMotivo>"
        "<nProt>135100000000001</nProt></infCanc></retCancNFe>";
    const billing::nfe::AnswerPoller::Services s = nfetest::RunningMonitorServices(&conn, [this] { return config; });
    int number = 300, fileKills = 0, databaseKills = 0;
    for (const char* where : {"file", "database"}) {
        for (int step = 1; step < 400; ++step) {
            SCOPED_TRACE(std::string(where) + " step " + std::to_string(step));
            const std::string key = nfetest::InsertInvoice(conn, 1, ++number, EncodeDate(2010, 6, 15), "Autorizada");
            const std::string name = key + "-can.xml";
            Place(name, answer);
            const std::string told = dir.file("told-" + std::to_string(number));
            const bool killed = KilledTicking(std::string(where) == "file", step, vfs, s, told);
            vfs.Off();
            const bool appliedBefore = State(key) == "Cancelada";
            // The next start, a day later: the copy a kill left under its
            // temporary name is provably abandoned by then (fileio::ClaimAbandoned).
            testsupport::AgeFolder(folders.erro);
            billing::nfe::TickReport r = billing::nfe::AnswerPoller(s).Tick();
            ShowInto(conn, r, told);
            const bool appliedNow = r.handled == 1;
            EXPECT_EQ(State(key), "Cancelada");
            EXPECT_NE(appliedBefore, appliedNow) << (appliedBefore ? "applied twice" : "never applied") << "\n"
                                                 << Messages(r);
            EXPECT_EQ(ToldIn(told), std::vector<std::string>{"Sucesso: A NF-e " + key +
                                                             " foi cancelada com Sucesso !\r\n\r\nProtocolo: "
                                                             "135100000000001"})
                << "told once, by the killed program or the next start";
            EXPECT_FALSE(InReturn(name));
            int copies = 0;
            for (const auto& e : fs::directory_iterator(folders.erro))
                if (testsupport::ReadAll(e.path().string()) == answer) ++copies;
            EXPECT_EQ(copies, 1) << "copies of the answer in the error folder";
            for (const auto& e : fs::directory_iterator(folders.erro)) fs::remove(e.path());
            if (!killed) break;
            ++(std::string(where) == "file" ? fileKills : databaseKills);
        }
    }
    // Every step was reached: the four of the copy, the showing after them,
    // and the database's writes.
    EXPECT_EQ(fileKills, 5);
    EXPECT_GT(databaseKills, 0);
}

namespace {

// An answer for the kill tests: its file's name and bytes, and the invoice
// it is for.
struct KillCase {
    std::string key, name, bytes;
    // Whether applying it changes the invoice's state (a refused
    // cancellation only tells the clerk).
    bool changesState = true;
    // What a clerk is told of it, "caption: text"; empty for nothing.
    std::string told;
    // What the window that asked for it shows instead, once it applied it;
    // empty when no window asks for it. `serie` and `numero` name a voiding's range.
    std::string toldByWindow;
    int serie = 0, numero = 0;
};

class Killed : public OtherFileSystem {
protected:
    void SetUp() override {
        OtherFileSystem::SetUp();
        // Every write of the database goes through it, to be killed at.
        vfs = std::make_unique<testsupport::FaultVfs>();
        conn.Close();
        conn.Open();
        // Each time an answer changes an invoice's state, the database itself
        // keeps a row: an answer applied twice leaves two.
        conn.Execute("create table aplicacao_teste (chave text)");
        conn.Execute("create trigger aplicacao_teste after update of situacao_nfe on nota_fiscal "
                     "begin insert into aplicacao_teste values (new.numero_nfe); end");
        conn.Execute("update opcao set ia_danfe = 'Sim'");
        config.programs.danfe = fs::read_symlink("/proc/self/exe").string();
        danfes = dir.file("danfes.txt");
    }
    void TearDown() override {
        SetDeviceShiftForTests(0);
        OtherFileSystem::TearDown();
    }
    billing::nfe::AnswerPoller::Services Services() {
        billing::nfe::AnswerPoller::Services s = nfetest::RunningMonitorServices(&conn, [this] { return config; });
        // Started in the killed child or at the next start: one line each.
        s.start_danfe = [this](const billing::nfe::NFeConfig&, const billing::nfe::DanfeCommand& c) {
            int fd = ::open(danfes.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
            std::string line = c.args.at(0) + "\n";
            EXPECT_EQ(::write(fd, line.data(), line.size()), static_cast<ssize_t>(line.size()));
            ::close(fd);
            return true;
        };
        return s;
    }
    KillCase ErrorAnswer(int number) {
        KillCase c;
        c.key = nfetest::InsertInvoice(conn, 1, number, EncodeDate(2010, 6, 15));
        c.name = c.key + "-nfe.err";
        c.bytes = "Rejeição: Falha no Schema XML da NF-e " + std::to_string(number);
        return c;
    }
    KillCase Authorisation(int number) {
        KillCase c;
        c.key = nfetest::InsertInvoice(conn, 1, number, EncodeDate(2010, 6, 15), "Aguardando");
        const std::string recibo = "4110000000" + std::to_string(10000 + number);
        conn.Execute("update nota_fiscal set recibo_nfe = :pr where numero_nfe = :pk",
                     {{"pr", Variant(recibo)}, {"pk", Variant(c.key)}});
        monitor->Archive(c.key);
        c.name = recibo + "-pro-rec.xml";
        c.bytes = monitor->RetConsReciNFe("2", "41", recibo, "104",
                                          {{c.key, "100", "Autorizado o uso da NF-e", "1411000000" +
                                                                                          std::to_string(10000 + number)}});
        return c;
    }
    // An authorised NF-e whose cancellation the monitor refuses.
    KillCase RefusedCancellation(int number) {
        KillCase c;
        c.key = nfetest::InsertInvoice(conn, 1, number, EncodeDate(2010, 6, 15), "Autorizada");
        conn.Execute("update nota_fiscal set protocolo_nfe = '141000000000077' where numero_nfe = :pk",
                     {{"pk", Variant(c.key)}});
        c.name = c.key + "-can.xml";
        c.bytes = monitor->RetCancNFe("2", c.key, "220", "");
        c.changesState = false;
        c.told = "Falhou: A NF-e " + c.key +
                 " não pode ser Cancelada !\r\n\r\n220 REJEIÇÃO: NF-E AUTORIZADA HÁ MAIS DE 7 DIAS (168 HORAS)\r\n";
        c.toldByWindow = "Falhou: A Nota Fiscal não pode ser Cancelada !\r\n\r\n220 REJEIÇÃO: NF-E AUTORIZADA HÁ MAIS "
                         "DE 7 DIAS (168 HORAS)\r\n";
        return c;
    }
    // A cancellation refused in the monitor's error file.
    KillCase CancellationError(int number) {
        KillCase c = RefusedCancellation(number);
        c.name = c.key + "-can.err";
        c.bytes = "Falha na comunicação com a SEFAZ " + std::to_string(number);
        c.told = "Falhou: A NF-e " + c.key + " não pode ser Cancelada !\r\n\r\n" + c.bytes;
        c.toldByWindow = "Falhou: A Nota Fiscal não pode ser Cancelada !\r\n\r\n" + c.bytes;
        return c;
    }
    KillCase AcceptedCancellation(int number) {
        KillCase c = RefusedCancellation(number);
        const std::string protocol = "1410000000" + std::to_string(10000 + number);
        c.bytes = monitor->RetCancNFe("2", c.key, "101", protocol);
        c.changesState = true;
        c.told = "Sucesso: A NF-e " + c.key + " foi cancelada com Sucesso !\r\n\r\nProtocolo: " + protocol;
        c.toldByWindow = "Sucesso: A Nota Fiscal foi cancelada com Sucesso !\r\n\r\nProtocolo: " + protocol;
        return c;
    }
    // A voiding asked by a program gone since (its window, when one waits,
    // is another program's): nothing changes when it is refused.
    KillCase Voiding(int number, bool accepted) {
        KillCase c;
        c.serie = 1;
        c.numero = number;
        Inutilizar_NFE(conn, config, c.serie, number, number, "Numeração pulada na emissão", &c.key);
        ForgetThisProgramForTests();
        c.changesState = false;
        if (!accepted) {
            c.name = c.key + "-inu.err";
            c.bytes = "Serviço paralisado momentaneamente " + std::to_string(number);
            c.told = "Falhou: A Inutilização \"" + c.key + "\" não foi aceita !\r\n\r\n" + c.bytes;
            c.toldByWindow = "Falhou: A numeração não foi inutilizada.\r\n\r\n" + c.bytes;
            return c;
        }
        const std::string n = std::to_string(number), protocol = "1411000000" + std::to_string(10000 + number);
        c.name = c.key + "-inu.xml";
        c.bytes = "<retInutNFe versao=\"1.07\"><infInut><tpAmb>2</tpAmb><cStat>102</cStat>"
                  "<xMotivo>Inutilizacao de numero homologado</xMotivo><cUF>41</cUF><ano>10</ano><mod>55</mod>"
                  "<serie>1</serie><nNFIni>" + n + "</nNFIni><nNFFin>" + n + "</nNFFin><nProt>" + protocol +
                  "</nProt></infInut></retInutNFe>";
        c.told = "Sucesso: A numeração de " + n + " a " + n + " da série 1 foi inutilizada.\r\n\r\nProtocolo: " +
                 protocol;
        c.toldByWindow = "Sucesso: A numeração foi inutilizada.\r\n\r\nSituação: 102 - Inutilizacao de numero "
                         "homologado\r\nProtocolo: " + protocol + "\r\n";
        return c;
    }
    KillCase RefusedVoiding(int number) { return Voiding(number, false); }
    // The window that asked for `c` waits for it in a child killed as
    // KilledWaiting says; its boxes go to `told`.
    bool WindowKilled(bool file, int step, const KillCase& c, const std::string& told) {
        return KilledWaiting(file, step, *vfs, [&](const std::function<void()>& arm) {
            nfetest::FakeWaitClock clock;
            billing::nfe::NFeConfig shown = config;
            shown.notify = [&](const std::string& text, const std::string& caption) { TellInto(told, text, caption); };
            if (c.serie != 0) {
                auto wait = Aguardar_Inutilizacao(
                    conn, shown, {c.serie, c.numero, c.numero, "Numeração pulada na emissão"}, c.key,
                    [&](const std::vector<PollerMessage>& boxes, bool) {
                        for (const PollerMessage& m : boxes) TellInto(told, m.text, m.caption);
                    },
                    clock.Services());
                arm();
                clock.Advance(VoidingWaitMs(shown));
                return;
            }
            NFeCancellation window(conn, [&] { return shown; }, clock.Services());
            billing::data::DefaultMessages().QueueAnswer(true);
            window.Confirmar(c.key, "141000000000077", "Cliente desistiu da compra");
            arm();
            clock.Advance(shown.cancel_wait_ms);
        });
    }
    // The request is sent again (by the clerk, or by the poller itself) and
    // the monitor answers it with the same name and bytes as the answer
    // applied before: that answer is applied, not taken for the earlier one.
    void SendAgainAndRedeliver(const KillCase& c, const std::function<void()>& sendAgain) {
        sendAgain();
        Place(c.name, c.bytes);
        billing::nfe::TickReport r = Shown(conn, billing::nfe::AnswerPoller(Services()).Tick());
        EXPECT_EQ(r.handled, 1) << "the answer to the request sent again was applied\n" << Messages(r);
        EXPECT_FALSE(InReturn(c.name));
    }
    int Applications(const std::string& key) {
        return std::stoi(Scalar("select count(*) from aplicacao_teste where chave = ?1", key));
    }
    int DanfesOf(const std::string& key) {
        int n = 0;
        for (const std::string& line : testsupport::Split(testsupport::ReadAll(danfes), '\n'))
            if (line.find(key) != std::string::npos) ++n;
        return n;
    }
    // Places each answer `make` gives and runs a tick in a child killed at
    // one step after another: each write step of the copy into the error
    // folder and the showing of the tick's report (all after the answer's
    // transaction), then each write of the database; `restart` runs before
    // the next start's tick, `check` after it, told where the kill came and
    // what the tick said. Whatever the kill, the clerk was told what the
    // answer has to tell exactly once, by the child or the next start.
    // With `window`, the killed program is the window that asked for the
    // answer, its own showing the last step: the clerk is told either what
    // the window shows or, when a kill came before its transaction, what the
    // poller that applies it shows. Returns the kills of each kind.
    std::pair<int, int> KillAtEachStep(
        const std::function<KillCase(int)>& make, const std::function<void(const KillCase&)>& restart,
        const std::function<void(const KillCase&, bool file, const billing::nfe::TickReport&)>& check,
        bool window = false) {
        int fileKills = 0, databaseKills = 0;
        for (bool file : {true, false}) {
            for (int step = 1; step < 400; ++step) {
                SCOPED_TRACE(std::string(file ? "file" : "database") + " step " + std::to_string(step));
                const KillCase c = make(++number);
                Place(c.name, c.bytes);
                const billing::nfe::AnswerPoller::Services s = Services();
                const std::string told = dir.file("told-" + std::to_string(number));
                const bool killed =
                    window ? WindowKilled(file, step, c, told) : KilledTicking(file, step, *vfs, s, told);
                vfs->Off();
                // The next start a day later: a copy the kill left under its
                // temporary name is provably abandoned by then.
                testsupport::AgeFolder(folders.erro);
                restart(c);
                billing::nfe::TickReport r = billing::nfe::AnswerPoller(s).Tick();
                // Another poller ticks before the start's boxes come up: what
                // the killed program left is in both reports, shown by one.
                ShowInto(conn, billing::nfe::AnswerPoller(s).Tick(), told);
                ShowInto(conn, r, told);
                SetDeviceShiftForTests(0);
                const std::vector<std::string> toldIn = ToldIn(told);
                if (!window || toldIn != std::vector<std::string>{c.toldByWindow})
                    EXPECT_EQ(toldIn, c.told.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.told})
                        << "told once, by the killed program or the next start";
                if (c.changesState)
                    EXPECT_EQ(Applications(c.key), 1) << "applied once, in the killed program or at the start\n"
                                                      << Messages(r);
                EXPECT_FALSE(InReturn(c.name));
                int copies = 0;
                for (const auto& e : fs::directory_iterator(folders.erro))
                    if (testsupport::ReadAll(e.path().string()) == c.bytes) ++copies;
                EXPECT_EQ(copies, 1) << "copies of the answer in the error folder";
                check(c, file, r);
                for (const auto& e : fs::directory_iterator(folders.erro)) fs::remove(e.path());
                if (!killed) break;
                ++(file ? fileKills : databaseKills);
            }
        }
        return {fileKills, databaseKills};
    }

    std::unique_ptr<testsupport::FaultVfs> vfs;
    std::string danfes;
    int number = 400;
};

}  // namespace

// A kill at any step of an answer's handling, and the return folder's file
// system mounted again before the next start (a network or FUSE mount
// remounted after a power cut gets a new device number): an error answer and
// an authorisation are each applied once; a refused cancellation and a
// refused voiding are each told once.
TEST_F(Killed, AKillAndARemountBeforeTheNextStartLeaveEachAnswerAppliedOnce) {
    struct Kind {
        const char* what;
        std::function<KillCase(int)> make;
        const char* state;
        // Handled by the poller, by the window that asked for it (a
        // cancellation or voiding), or by both in turn.
        enum By { Poller, Window, Both } by = Poller;
    };
    const std::vector<Kind> kinds = {
        {"error answer", [&](int n) { return ErrorAnswer(n); }, "Erro"},
        {"authorisation", [&](int n) { return Authorisation(n); }, "Autorizada"},
        {"cancellation refused", [&](int n) { return RefusedCancellation(n); }, "Autorizada", Kind::Both},
        {"voiding refused", [&](int n) { return RefusedVoiding(n); }, nullptr, Kind::Both},
        {"cancellation in an error file", [&](int n) { return CancellationError(n); }, "Autorizada", Kind::Window},
        {"cancellation accepted", [&](int n) { return AcceptedCancellation(n); }, "Cancelada", Kind::Window},
        {"voiding accepted", [&](int n) { return Voiding(n, true); }, nullptr, Kind::Window},
    };
    for (const Kind& kind : kinds)
        for (bool window : {false, true}) {
            // The window that asked applies the answer it finds itself.
            if (kind.by != Kind::Both && (kind.by == Kind::Window) != window) continue;
            SCOPED_TRACE(std::string(kind.what) + (window ? ", in the window that asked" : ""));
            auto [fileKills, databaseKills] = KillAtEachStep(
                kind.make, [](const KillCase&) { SetDeviceShiftForTests(1UL << 20); },
                [&](const KillCase& c, bool, const billing::nfe::TickReport&) {
                    if (kind.state != nullptr) EXPECT_EQ(State(c.key), kind.state);
                    if (c.numero != 0 && c.bytes.find("<nProt>") != std::string::npos)
                        EXPECT_EQ(Scalar("select count(*) from numeracao_inutilizada where numero_inicial = ?1",
                                         std::to_string(c.numero)),
                                  "1");
                },
                window);
            // The poller's last kill comes before its report is shown; the
            // cancellation's window also moves its request out of the send folder.
            if (!window) EXPECT_EQ(fileKills, 5);
            else EXPECT_EQ(fileKills, kind.state != nullptr ? 8 : 4);
            EXPECT_GT(databaseKills, 0);
        }
}

// An NF-e or a cancellation refused, sent again after a kill at any step
// of the refusal's handling (after the next start's tick, or before any
// tick) and refused with the same text: the first refusal is applied and
// told once, never again as the answer to the request sent again, and the
// second refusal is applied when it comes.
TEST_F(Killed, ARefusalSentAgainAfterAKillIsAppliedAgainOnlyWhenItsOwnAnswerComes) {
    for (bool cancellation : {false, true})
        for (bool beforeTick : {false, true}) {
            // The cancellation sent again after the tick goes the NF-e's road.
            if (cancellation && !beforeTick) continue;
            SCOPED_TRACE(std::string(cancellation ? "cancellation" : "NF-e") +
                         (beforeTick ? ", sent again before any tick" : ", sent again after the tick"));
            auto sendAgain = [&](const KillCase& c) {
                if (cancellation) ASSERT_TRUE(Cancelar_NFE(conn, config, c.key, "Cliente desistiu da compra"));
                else Transmit(c.key);
            };
            auto [fileKills, databaseKills] = KillAtEachStep(
                [&](int n) { return cancellation ? RefusedCancellation(n) : ErrorAnswer(n); },
                [&](const KillCase& c) {
                    if (beforeTick) sendAgain(c);
                },
                [&](const KillCase& c, bool, const billing::nfe::TickReport&) {
                    SendAgainAndRedeliver(c, [&] {
                        if (!beforeTick) sendAgain(c);
                    });
                    if (!cancellation) EXPECT_EQ(Applications(c.key), 2);
                    if (!cancellation) EXPECT_EQ(State(c.key), "Erro");
                });
            EXPECT_EQ(fileKills, 5);
            EXPECT_GT(databaseKills, 0);
        }
}

// Another program holds the database's write lock past the busy timeout
// while an answer leaves the return folder: a request of each kind sent
// again and answered with the same name and bytes has its answer applied.
TEST_F(Killed, AnAnswerToARequestSentAgainIsAppliedAfterTheLockWasHeldWhileTheFirstLeft) {
    conn.Close();
    conn.SetBusyTimeout(200);
    conn.Open();
    auto stillProcessed = [&](int n) {
        KillCase c = Authorisation(n);
        const std::string recibo = Column(c.key, "recibo_nfe");
        c.bytes = monitor->RetConsReciNFe("2", "41", recibo, "105", {});
        return c;
    };
    struct Resent {
        const char* what;
        std::function<KillCase(int)> make;
        std::function<void(const KillCase&)> sendAgain;
    };
    const std::vector<Resent> cases = {
        {"NF-e refused", [&](int n) { return ErrorAnswer(n); }, [&](const KillCase& c) { Transmit(c.key); }},
        {"cancellation refused", [&](int n) { return RefusedCancellation(n); },
         [&](const KillCase& c) {
             ASSERT_TRUE(Cancelar_NFE(conn, config, c.key, "Cliente desistiu da compra"));
         }},
        // The poller asks again itself once the answer is gone.
        {"batch still being processed", stillProcessed,
         [&](const KillCase& c) {
             billing::nfe::AnswerPoller(Services()).Tick();
             EXPECT_TRUE(Sent(Column(c.key, "recibo_nfe") + "-ped-rec.xml")) << "asked again";
         }},
    };
    for (const Resent& r : cases) {
        SCOPED_TRACE(r.what);
        const KillCase c = r.make(++number);
        Place(c.name, c.bytes);
        TSQLConnection other;
        other.SetDatabaseName(dir.file("faturamento.db"));
        other.Open();
        // Taken as the answer's copy into the error folder starts, after its transaction.
        fileio::SetWriteStepHook([&](fileio::WriteStep, int, const std::string& target) {
            if (target.rfind(folders.erro, 0) == 0 && !other.InTransaction()) other.BeginTrans();
        });
        EXPECT_EQ(billing::nfe::AnswerPoller(Services()).Tick().handled, 1);
        fileio::SetWriteStepHook(nullptr);
        ASSERT_TRUE(other.InTransaction());
        other.RollbackTrans();
        EXPECT_FALSE(InReturn(c.name));
        SendAgainAndRedeliver(c, [&] { r.sendAgain(c); });
    }
}

// The DANFE an authorisation asks for is started once: a kill after the
// answer's transaction and before its file left the return folder leaves it
// to the next start, which starts it; a kill at any write of the database
// never has it started twice.
TEST_F(Killed, TheDanfeOfAnAuthorisationIsStartedOnceAfterAKill) {
    auto [fileKills, databaseKills] = KillAtEachStep(
        [&](int n) { return Authorisation(n); }, [](const KillCase&) {},
        [&](const KillCase& c, bool file, const billing::nfe::TickReport&) {
            if (file) EXPECT_EQ(DanfesOf(c.key), 1);
            else EXPECT_LE(DanfesOf(c.key), 1);
        });
    EXPECT_EQ(fileKills, 5);
    EXPECT_GT(databaseKills, 0);
}

// A mark written before this version ("<name>|<device>:<inode>|<size>|<mtime>")
// by a program killed before the answer's move, read after an upgrade and a
// remount: the move finishes, and the answer is not applied again.
TEST_F(Killed, AMarkOfTheEarlierKindStillHoldsAfterARemount) {
    for (bool error : {true, false}) {
        SCOPED_TRACE(error ? "error answer" : "authorisation");
        const KillCase c = error ? ErrorAnswer(++number) : Authorisation(++number);
        const std::string path = Place(c.name, c.bytes);
        struct stat st {};
        ASSERT_EQ(::lstat(path.c_str(), &st), 0);
        conn.Execute("create table if not exists nfe_resposta_aplicada (marca text not null primary key)");
        conn.Execute("insert into nfe_resposta_aplicada (marca) values (:pm)",
                     {{"pm", Variant(c.name + "|" + std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino) + "|" +
                                     std::to_string(st.st_size) + "|" + std::to_string(st.st_mtim.tv_sec) + "." +
                                     std::to_string(st.st_mtim.tv_nsec))}});
        SetDeviceShiftForTests(1UL << 20);
        billing::nfe::TickReport r = billing::nfe::AnswerPoller(Services()).Tick();
        SetDeviceShiftForTests(0);
        EXPECT_EQ(Applications(c.key), 0) << Messages(r);
        EXPECT_EQ(r.handled, 0);
        EXPECT_FALSE(InReturn(c.name));
        EXPECT_EQ(testsupport::ReadAll(folders.erro + "/" + c.name), c.bytes);
        EXPECT_EQ(Scalar("select count(*) from nfe_resposta_aplicada"), "0") << "dropped once the file left";
    }
}
