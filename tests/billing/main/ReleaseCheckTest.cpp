// The release check against a site served on 127.0.0.1: which versions are
// offered, what each answer does, and that the installed program (a
// stand-in in a temporary folder) changes only for a complete download
// whose digest the site publishes, as the sha256sum program computes it.
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <functional>

#include "billing/main/ReleaseCheck.h"
#include "billing/main/uoskerun.h"
#include "platform/rtl/IniFiles.h"
#include "tests/billing/forms/BillingFixture.h"
#include "tests/platform/rtl/FileFaultSupport.h"
#include "tests/support/HttpServer.h"

namespace fs = std::filesystem;
using billing::main::ReleaseCheck;
using Outcome = ReleaseCheck::Outcome;

namespace {

const char* const kQuestion =
    "Existe uma nova versão do OSKE.\r\nVersão Atual: 1.44\r\nVersão Disponível: 1.5\r\n\r\n"
    "Deseja fazer a atualização ?";

// What sha256sum prints for the bytes, as a site would publish it.
std::string Sha256sumLine(const std::string& bytes, const std::string& name) {
    testsupport::TempDir tmp;
    std::string file = tmp.file(name);
    testsupport::WriteAll(file, bytes);
    std::string out;
    FILE* p = ::popen(("cd '" + tmp.path().string() + "' && sha256sum '" + name + "'").c_str(), "r");
    char buf[512];
    std::size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    ::pclose(p);
    return out;
}

class Release : public ::testing::Test {
protected:
    void SetUp() override {
        ui::EnsureQtApplication();
        program = dir.file("faturamento");
        testsupport::WriteAll(program, "programa antigo");
        fs::permissions(program, fs::perms(0755));
        settings.address = server.Url("/site");
        settings.trustedCertificates = testsupport::HttpServer::CertificateFile();
        settings.programPath = program;
        settings.arguments = {"outra.ini"};
        settings.currentVersion = "1.44";
    }
    void TearDown() override { dialogs.Verify(); }
    void Publish(const std::string& version) {
        server.Serve("/site/versao.inf", "[Versao]\r\nAplicativo=" + version + "\r\n");
    }
    void PublishProgram(const std::string& bytes, const std::string& digestOf) {
        server.Serve("/site/faturamento", bytes);
        server.Serve("/site/faturamento.sha256", Sha256sumLine(digestOf, "faturamento"));
    }
    Outcome Check() {
        ReleaseCheck check(settings);
        check.StartProgram = [this](const std::string& p, const std::vector<std::string>& a) {
            started.push_back(p);
            startedArgs = a;
            return startOk;
        };
        if (readOnly) check.FolderWritable = [](const std::string&) { return false; };
        return check.Run();
    }
    // The installed program is as it was and nothing else is in its folder.
    void ExpectUntouched() {
        EXPECT_EQ(testsupport::ReadAll(program), "programa antigo");
        EXPECT_EQ(filefaults::Entries(dir.path()), std::vector<std::string>{"faturamento"});
        EXPECT_TRUE(started.empty());
    }

    testsupport::TempDir dir;
    testsupport::HttpServer server{testsupport::HttpServer::Security::Tls};
    std::string program;
    ReleaseCheck::Settings settings;
    billtest::Dialogs dialogs;
    std::vector<std::string> started;
    std::vector<std::string> startedArgs;
    bool startOk = true;
    bool readOnly = false;
};

}  // namespace

TEST(ReleaseVersions, VersionsCompareAsTrimmedUpperCaseText) {
    EXPECT_TRUE(ReleaseCheck::Newer("1.5", "1.44"));
    EXPECT_FALSE(ReleaseCheck::Newer("1.44", "1.44"));
    EXPECT_FALSE(ReleaseCheck::Newer(" 1.44 ", "1.44"));
    EXPECT_FALSE(ReleaseCheck::Newer("", "1.44"));
    EXPECT_FALSE(ReleaseCheck::Newer("1.10", "1.9")) << "text, not numbers";
    EXPECT_FALSE(ReleaseCheck::Newer("1.44b", "1.44B"));
    EXPECT_EQ(ReleaseCheck::FileAddress("http://site/pasta", "versao.inf"), "http://site/pasta/versao.inf");
    EXPECT_EQ(ReleaseCheck::FileAddress("http://site/pasta/ ", "x"), "http://site/pasta/x");
}

TEST(ReleaseVersions, ThePublishedDigestIsTheFirstWordOfTheChecksumFile) {
    std::string hex(64, 'a');
    EXPECT_EQ(ReleaseCheck::PublishedDigest(hex + "  faturamento\n"), hex);
    EXPECT_EQ(ReleaseCheck::PublishedDigest(std::string(64, 'F')), std::string(64, 'f'));
    EXPECT_EQ(ReleaseCheck::PublishedDigest(std::string(63, 'a') + "  faturamento"), "");
    EXPECT_EQ(ReleaseCheck::PublishedDigest(std::string(63, 'a') + "g"), "");
    EXPECT_EQ(ReleaseCheck::PublishedDigest("<html>not found</html>"), "");
}

TEST_F(Release, TheSameVersionOrNoneOffersNothing) {
    for (const char* version : {"1.44", "1.44 ", "1.3"}) {
        Publish(version);
        EXPECT_EQ(Check(), Outcome::UpToDate) << version;
    }
    server.Serve("/site/versao.inf", "[Versao]\r\nOutra=9\r\n");
    EXPECT_EQ(Check(), Outcome::UpToDate);
    server.Remove("/site/versao.inf");
    EXPECT_EQ(Check(), Outcome::NoVersion);
    for (const std::string& path : server.Requests()) EXPECT_EQ(path, "/site/versao.inf");
    settings.address = "  ";
    EXPECT_EQ(Check(), Outcome::NoAddress);
    EXPECT_EQ(server.Requests().size(), 5u) << "no address, no request";
    ExpectUntouched();
}

TEST_F(Release, ANewerVersionIsOfferedAndNoLeavesEverythingAsItWas) {
    Publish("1.5");
    PublishProgram("programa novo", "programa novo");
    dialogs.Expect(kQuestion, mrNo, "Nova versão Disponível");
    EXPECT_EQ(Check(), Outcome::Declined);
    EXPECT_EQ(server.Requests(), std::vector<std::string>{"/site/versao.inf"});
    ExpectUntouched();
}

TEST_F(Release, YesWithoutTheProgramOnTheSiteChangesNothing) {
    Publish("1.5");
    dialogs.Expect(kQuestion, mrYes);
    dialogs.Expect("\"faturamento.sha256\" não pôde ser baixado: o arquivo não existe no site (HTTP 404)", mrOk,
                   "Atenção");
    EXPECT_EQ(Check(), Outcome::Unavailable);
    // A digest without its program.
    server.Serve("/site/faturamento.sha256", Sha256sumLine("x", "faturamento"));
    dialogs.Expect(kQuestion, mrYes);
    dialogs.Expect("o arquivo não existe no site (HTTP 404).\r\nO programa não foi alterado.", mrOk, "Atenção");
    EXPECT_EQ(Check(), Outcome::Unavailable);
    ExpectUntouched();
}

// Once the clerk has said Yes, a failure is never silent: a download cut
// short, a certificate that fails verification on the program's address, a
// checksum file without a checksum each say what failed, and the installed
// program stays as it was.
TEST_F(Release, EveryFailureAfterYesSaysWhatFailed) {
    Publish("1.5");
    std::string bytes(200000, 'n');
    struct Case {
        const char* name;
        std::function<void()> arrange;
        const char* said;
    };
    const std::vector<Case> cases = {
        {"cut short",
         [&] {
             PublishProgram(bytes, bytes);
             testsupport::HttpServer::Response cut;
             cut.body = bytes;
             cut.cutAfter = 70000;
             server.Serve("/site/faturamento", cut);
         },
         "a transferência foi interrompida e o arquivo chegou incompleto"},
        {"certificate",
         [&] {
             PublishProgram(bytes, bytes);
             // The version and checksum files trust the site; the program's
             // download checks against the system's store, which does not.
             settings.trustedCertificates.clear();
             settings.check.trustedCertificates = testsupport::HttpServer::CertificateFile();
         },
         "o certificado do site não pôde ser verificado"},
        {"no checksum",
         [&] { server.Serve("/site/faturamento.sha256", "<html>não encontrado</html>"); },
         "o arquivo de conferência \"faturamento.sha256\" do site não traz a soma SHA-256"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.arrange();
        dialogs.Expect(kQuestion, mrYes);
        dialogs.Expect(std::string("Não foi possível baixar a nova versão do programa: ") + c.said, mrOk, "Atenção");
        EXPECT_EQ(Check(), Outcome::Unavailable);
        dialogs.Verify();
        ExpectUntouched();
    }
}

TEST_F(Release, ADownloadThatDoesNotMatchItsDigestIsDiscarded) {
    Publish("1.5");
    PublishProgram("programa adulterado", "programa novo");
    dialogs.Expect(kQuestion, mrYes);
    dialogs.Expect("não confere com a publicada e foi descartada", mrOk, "Atenção");
    EXPECT_EQ(Check(), Outcome::Rejected);
    ExpectUntouched();
}

TEST_F(Release, AServerThatClosesInTheMiddleOfTheProgramChangesNothing) {
    Publish("1.5");
    std::string bytes(200000, 'n');
    PublishProgram(bytes, bytes);
    testsupport::HttpServer::Response cut;
    cut.body = bytes;
    cut.cutAfter = 70000;
    server.Serve("/site/faturamento", cut);
    dialogs.Expect(kQuestion, mrYes);
    dialogs.Expect("o arquivo chegou incompleto.\r\nO programa não foi alterado.", mrOk, "Atenção");
    EXPECT_EQ(Check(), Outcome::Unavailable);
    ExpectUntouched();
}

TEST_F(Release, AVerifiedDownloadReplacesTheProgramKeepsItExecutableAndStartsIt) {
    Publish("1.5");
    std::string bytes = "#!/bin/sh\necho nova\n" + std::string(100000, '#');
    PublishProgram(bytes, bytes);
    dialogs.Expect(kQuestion, mrYes);
    EXPECT_EQ(Check(), Outcome::Installed);
    EXPECT_EQ(testsupport::ReadAll(program), bytes);
    EXPECT_EQ(fs::status(program).permissions() & fs::perms::all, fs::perms(0755));
    EXPECT_EQ(filefaults::Entries(dir.path()), std::vector<std::string>{"faturamento"});
    EXPECT_EQ(started, std::vector<std::string>{program});
    EXPECT_EQ(startedArgs, std::vector<std::string>{"outra.ini"});
    EXPECT_EQ(server.Requests(),
              (std::vector<std::string>{"/site/versao.inf", "/site/faturamento.sha256", "/site/faturamento"}));
}

TEST_F(Release, ANewProgramThatCannotStartIsInstalledAndTheUserIsTold) {
    Publish("1.5");
    PublishProgram("programa novo", "programa novo");
    startOk = false;
    dialogs.Expect(kQuestion, mrYes);
    dialogs.Expect("A nova versão foi instalada, mas não pôde ser iniciada.", mrOk);
    EXPECT_EQ(Check(), Outcome::InstalledNotStarted);
    EXPECT_EQ(testsupport::ReadAll(program), "programa novo");
}

// The new program against a full disk at each write and a kill between each
// step: the installed program is the old one or the verified new one, and a
// write that fails is told instead of passing for a site that was not there.
class ReleaseFaults : public Release, public ::testing::WithParamInterface<filefaults::Fault> {};

TEST_P(ReleaseFaults, TheProgramIsTheOldOneOrTheVerifiedNewOneAndAFailedWriteIsTold) {
    Publish("1.5");
    PublishProgram("programa novo", "programa novo");
    Outcome outcome = Outcome::NoAddress;
    std::vector<ui::BoxRequest> shown;
    filefaults::FileSavePath p;
    p.Prepare = [&] {
        testsupport::WriteAll(program, "programa antigo");
        started.clear();
        shown.clear();
    };
    p.Act = [&] {
        ui::ScriptedDialogs quiet([](const std::string&) {});
        quiet.Answer(mrYes);
        outcome = Check();
        shown = quiet.Shown();
    };
    p.Files = [&] { return testsupport::ReadAll(program); };
    p.Folders = {dir.path()};
    p.CheckFailure = [&] {
        EXPECT_EQ(outcome, Outcome::NotWritten);
        // The question, then the one box that says why nothing changed.
        ASSERT_EQ(shown.size(), 2u);
        EXPECT_EQ(shown[1].caption, "Atenção");
        EXPECT_EQ(shown[1].text.rfind("Não foi possível gravar a nova versão do programa. O programa não foi alterado."
                                      "\r\n\r\nCannot write file \"" + program + "\". File too large",
                                      0),
                  0u)
            << shown[1].text;
        EXPECT_TRUE(started.empty());
    };
    filefaults::FileSweepFigures f = filefaults::Sweep(GetParam(), p);
    EXPECT_EQ(f.writes, 1);
    EXPECT_EQ(f.stops, 3);
}

INSTANTIATE_TEST_SUITE_P(Faults, ReleaseFaults, filefaults::BothFaults(), filefaults::FaultName);

// Only https with a certificate the client can verify: a plain http:// site
// is refused before any request, with a box that says why, and a site whose
// certificate nobody trusts is never asked for anything.
TEST_F(Release, OnlyAnHttpsSiteWithAVerifiedCertificateIsAsked) {
    testsupport::HttpServer plain;
    plain.Serve("/site/versao.inf", "[Versao]\r\nAplicativo=1.5\r\n");
    plain.Serve("/site/faturamento", "programa falso");
    plain.Serve("/site/faturamento.sha256", Sha256sumLine("programa falso", "faturamento"));
    settings.address = plain.Url("/site");
    dialogs.Expect("não começa com https://", mrOk, "Atenção");
    EXPECT_EQ(Check(), Outcome::NotSecure);
    EXPECT_TRUE(plain.Requests().empty());
    // Straight to the download layer as well, whoever calls it.
    std::string body;
    os::DownloadOptions secure;
    secure.httpsOnly = true;
    EXPECT_FALSE(os::DownloadToString(plain.Url("/site/versao.inf"), body, secure).ok);
    EXPECT_TRUE(plain.Requests().empty());

    testsupport::HttpServer untrusted(testsupport::HttpServer::Security::UntrustedTls);
    untrusted.Serve("/site/versao.inf", "[Versao]\r\nAplicativo=1.5\r\n");
    settings.address = untrusted.Url("/site");
    EXPECT_EQ(Check(), Outcome::NoVersion);
    settings.trustedCertificates.clear();
    EXPECT_EQ(Check(), Outcome::NoVersion) << "nor by the system's store";
    EXPECT_TRUE(untrusted.Requests().empty());
    ExpectUntouched();
}

TEST_F(Release, AProgramThisUserCannotReplaceIsLeftToThePackageManager) {
    Publish("1.5");
    PublishProgram("programa novo", "programa novo");
    readOnly = true;
    dialogs.Expect("gerenciador de pacotes", mrOk, "Nova versão Disponível");
    EXPECT_EQ(Check(), Outcome::NotWritable);
    EXPECT_EQ(server.Requests(), std::vector<std::string>{"/site/versao.inf"});
    ExpectUntouched();
}

TEST_F(Release, AnUnreachableOrSilentSiteIsLeftWithinTheTimeouts) {
    // Nothing listens on the port of a stopped server: refused at once.
    std::string address;
    {
        testsupport::HttpServer gone(testsupport::HttpServer::Security::Tls);
        address = gone.Url("/site");
    }
    settings.address = address;
    EXPECT_EQ(Check(), Outcome::NoVersion);
    // A site that accepts and never answers is left after the check's limit.
    testsupport::HttpServer::Response stall;
    stall.stall = true;
    server.Serve("/site/versao.inf", stall);
    settings.address = server.Url("/site");
    settings.check.totalTimeoutMs = 200;
    EXPECT_EQ(Check(), Outcome::NoVersion);
    ExpectUntouched();
}

// What the settings name as the company's certificates is read by the check
// itself, without waiting: a pipe nobody writes, a device behind a link, a
// folder or a missing file are told once, naming the file, and the check
// ends at once without asking the site anything; the program then starts.
// Under a watchdog: a check that waits on the pipe ends the test program.
TEST_F(Release, ACertificatesFileThatIsNoFileIsToldOnceAndNothingWaitsOnIt) {
    Publish("1.5");
    PublishProgram("programa novo", "programa novo");
    struct Case {
        const char* name;
        std::function<void(const std::string&)> make;
        const char* said;
    };
    const std::vector<Case> cases = {
        {"missing", [](const std::string&) {}, "não pôde ser aberto"},
        {"folder", [](const std::string& p) { fs::create_directory(p); }, "uma pasta"},
        {"pipe", [](const std::string& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0); }, "um pipe"},
        {"device", [](const std::string& p) { fs::create_symlink("/dev/zero", p); }, "um dispositivo"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testsupport::TempDir certs;
        const std::string file = certs.file(std::string("empresa-") + c.name + ".pem");
        c.make(file);
        for (bool sameFile : {true, false}) {
            // The version files' and the program's own certificates alike.
            settings.trustedCertificates.clear();
            settings.check.trustedCertificates = sameFile ? file : testsupport::HttpServer::CertificateFile();
            settings.download.trustedCertificates = file;
            std::vector<ui::BoxRequest> shown;
            Outcome outcome = Outcome::Installed;
            testsupport::WithWatchdog(20, [&] {
                ui::ScriptedDialogs quiet([](const std::string&) {});
                quiet.Answer(mrOk);
                outcome = Check();
                shown = quiet.Shown();
            });
            EXPECT_EQ(outcome, Outcome::NoCertificates);
            ASSERT_EQ(shown.size(), 1u) << "told once, and nothing asked";
            EXPECT_EQ(shown[0].caption, "Atenção");
            EXPECT_NE(shown[0].text.find("\"" + file + "\""), std::string::npos) << shown[0].text;
            EXPECT_NE(shown[0].text.find(c.said), std::string::npos) << shown[0].text;
            EXPECT_NE(shown[0].text.find("[Atualizacao]"), std::string::npos) << shown[0].text;
            EXPECT_TRUE(server.Requests().empty()) << "the site is not asked with certificates that cannot be read";
            ExpectUntouched();
        }
    }
}

// ---------------------------------------------------------------------------
// In the main window

TEST_F(Release, TheMainWindowChecksTheSiteNamedInItsIniFileWhenFirstShown) {
    Tdmdb module(nullptr);
    dmdb = &module;
    billing::forms::InstallUiMessages();
    std::string ini = dir.file("faturamento.ini");
    TfrmOske_Nf::SetCommandLine(program, {});
    {
        auto* window = new TfrmOske_Nf(nullptr);
        window->DoCreate();
        window->FormShow(window);
        delete window;
    }
    // No address yet: nothing asked, and the key is there to be filled in.
    EXPECT_TRUE(server.Requests().empty());
    EXPECT_TRUE(TIniFile(ini).ValueExists("Atualizacao", "Endereco"));
    TIniFile(ini).WriteString("Atualizacao", "Endereco", server.Url("/site/"));
    TIniFile(ini).WriteString("Atualizacao", "Certificados", testsupport::HttpServer::CertificateFile());

    Publish("1.5");
    std::string bytes = "programa novo";
    PublishProgram(bytes, bytes);
    dialogs.Expect(kQuestion, mrYes);
    auto* window = new TfrmOske_Nf(nullptr);
    std::vector<std::string> ran;
    window->StartProgram = [&](const std::string& p, const std::vector<std::string>&) {
        ran.push_back(p);
        return true;
    };
    window->DoCreate();
    window->FormShow(window);
    EXPECT_EQ(testsupport::ReadAll(program), bytes);
    EXPECT_EQ(ran, std::vector<std::string>{program});
    EXPECT_TRUE(Application->Terminated()) << "the old program ends";
    delete window;
    dmdb = nullptr;
}
