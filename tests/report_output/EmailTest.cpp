// E-mail of reports: file names, the checks before a message goes out, the
// hand-off to the mail client (a recording stand-in for xdg-email) and
// SMTP to a Python aiosmtpd sink whose email package decodes what arrived.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include <sys/stat.h>

#include "report/rpExcept.h"
#include "report_output/rpEmail.h"
#include "report_output/rpPDFDevice.h"
#include "report_output/rpScreenDevice.h"
#include "tests/report_output/FakeFileDevice.h"
#include "tests/support/SmtpSink.h"
#include "tests/support/TestSupport.h"
#include "tests/support/report/ReportHarness.h"

namespace {

namespace fs = std::filesystem;

using outputtest::FakeFileDevice;

std::string ReadFile(const fs::path& Path) { return testsupport::ReadAll(Path.string()); }

std::vector<std::string> Lines(const std::string& Text) {
    std::vector<std::string> out;
    std::istringstream in(Text);
    std::string line;
    while (std::getline(in, line)) out.push_back(line);
    return out;
}

class EmailTest : public ::testing::Test {
protected:
    void SetUp() override {
        RegisterDeviceClass(FakeFileDevice::StaticClassType(), "Fake");
        rpRegisterEmailDevice(FakeFileDevice::StaticClassType(), {"fak", nullptr});
        folder_ = dir_.path();
        // The stand-in records its arguments, one per line.
        standIn_ = folder_ / "xdg-email";
        std::ofstream(standIn_) << "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"" << (folder_ / "args").string() << "\"\n";
        fs::permissions(standIn_, fs::perms::owner_all);
        TrpSMTPXdgEmail::SetCommand(standIn_.string());
        rpSetUserMessage([this](const std::string& Text) { messages_.push_back(Text); });
    }
    void TearDown() override {
        rpSetUserMessage(nullptr);
        TrpSMTPXdgEmail::SetCommand("");
        TrpSMTPPlugIn::Register([] { return std::make_unique<TrpSMTPXdgEmail>(); });
        rpUnregisterEmailDevice(FakeFileDevice::StaticClassType());
        UnregisterDeviceClass(FakeFileDevice::StaticClassType());
    }
    // A report of three detail records, mailed as "Fake" to a file in the folder.
    void Prepare(reporttest::ReportRig& Rig, const std::string& Name) {
        Rig.Report()->CreateDefaultBands();
        Rig.Report()->PrinterSetup()->SetDocumentName(Name);
        Rig.AddText(Rig.Report()->DetailBand(), "Texto", 0, 0, 50000, 5000, "Relatório " + Name);
        TrpEmailSettings* s = Rig.Report()->EmailSettings();
        s->SetShowEmailDialog(false);
        s->SetReportFormat("Fake");
        s->SetFileName((folder_ / Name).string());
        s->Recipients()->Add("ana@example.com");
        s->SetSubject("Relatório de março – notas");
    }
    // The "Notas" report sent straight through the server as user "fatura".
    bool SendThroughSmtp(const std::string& Host, const std::string& Password) {
        reporttest::ReportRig rig;
        Prepare(rig, "Notas");
        TrpEmailSettings* s = rig.Report()->EmailSettings();
        s->SetHostAddress(Host);
        s->SetUserName("fatura");
        s->SetPassword(Password);
        s->SetPreviewInEmailClient(false);
        s->SetFromAddress("fatura@example.com");
        TrpEmail email;
        email.AddReport(rig.Report());
        return email.Send();
    }
    // The same report printed straight to the device, for comparison.
    void DirectRun(reporttest::ReportRig& Rig, const fs::path& Path) {
        FakeFileDevice device(nullptr);
        device.SetPublisher(Rig.Report()->Publisher());
        device.SetFileName(Path.string());
        Rig.Report()->RunPrintJob();
        device.SetPublisher(nullptr);
    }
    std::vector<std::string> Recorded() { return Lines(ReadFile(folder_ / "args")); }

    testsupport::TempDir dir_;
    fs::path folder_;
    fs::path standIn_;
    std::vector<std::string> messages_;
};

}  // namespace

TEST(EmailFileName, FolderAndExtensionAreCompletedOnPathsOnly) {
    struct Case {
        const char* name;
        const char* expected;
    } cases[] = {
        {"Notas", "/tmp/x/Notas.pdf"},
        {"/srv/rel/Notas", "/srv/rel/Notas.pdf"},
        {"Notas.txt", "/tmp/x/Notas.txt"},
        {"/srv/a.b/Notas", "/srv/a.b/Notas.pdf"},  // a dotted folder does not count as an extension
        {"C:\\rel\\Notas", "C:\\rel\\Notas.pdf"},
        {"/srv/rel/Notas.v2", "/srv/rel/Notas.v2"},
    };
    for (const Case& c : cases) EXPECT_EQ(rpEmailFileName(c.name, "/tmp/x/", "pdf"), c.expected) << c.name;
}

TEST(EmailHeaders, NonAsciiTextsBecomeUtf8EncodedWordsCutBetweenCharacters) {
    EXPECT_EQ(rpEncodeHeaderWord("Notas de marco"), "Notas de marco");
    EXPECT_EQ(rpEncodeHeaderWord("ação"), "=?UTF-8?B?YcOnw6Nv?=");
    const std::string longText(44, 'a');
    // 44 ASCII bytes then a two-byte "é": the cut moves before it.
    const std::string words = rpEncodeHeaderWord(longText + "é");
    EXPECT_EQ(words.substr(words.find(' ') + 1), "=?UTF-8?B?w6k=?=");
}

TEST_F(EmailTest, SendRefusesAMissingReportAndDevicesThatWriteNoFile) {
    TrpEmail empty;
    try {
        empty.Send();
        FAIL() << "sent without a report";
    } catch (const EEmailError& e) {
        EXPECT_STREQ(e.what(), "Report Not Found");
    }
    for (const char* format : {"Screen", "Printer", "Nenhum"}) {
        reporttest::ReportRig rig;
        Prepare(rig, "Notas");
        rig.Report()->EmailSettings()->SetReportFormat(format);
        TrpEmail email;
        email.AddReport(rig.Report());
        try {
            email.Send();
            ADD_FAILURE() << format;
        } catch (const EEmailError& e) {
            EXPECT_STREQ(e.what(), "Invalid Device") << format;
        }
    }
    EXPECT_FALSE(fs::exists(folder_ / "args"));
}

TEST_F(EmailTest, TheMailClientGetsEveryFieldAndTwoReportsInOrderAndTheFilesStay) {
    reporttest::ReportRig first, second;
    Prepare(first, "Notas");
    Prepare(second, "Resumo");
    TrpEmailSettings* s = first.Report()->EmailSettings();
    s->CarbonCopy()->Add("bia@example.com");
    s->BlindCarbonCopy()->Add("caio@example.com");
    s->Body()->Add("Segue o relatório.");
    TrpEmail email;
    email.AddReport(first.Report());
    email.AddReport(second.Report());
    ASSERT_TRUE(email.Send());

    const std::string a = (folder_ / "Notas.fak").string(), b = (folder_ / "Resumo.fak").string();
    const std::vector<std::string> expected{"--utf8",  "--cc",       "bia@example.com",           "--bcc",
                                            "caio@example.com", "--subject", "Relatório de março – notas",
                                            "--body",  "Segue o relatório.", "",  "--attach", a,
                                            "--attach", b,          "ana@example.com"};
    EXPECT_EQ(Recorded(), expected);
    // The client reads the attachments after the hand-off returned.
    EXPECT_TRUE(fs::exists(a));
    EXPECT_EQ(ReadFile(b).substr(0, 7), "page 1\n");
    EXPECT_EQ(first.Report()->EmailSettings()->FileName(), a);
}

// The name completed by Send itself: a bare name goes into a folder made
// for that send under the temporary folder (TMPDIR), readable by this user
// only, never at a name another user could foresee and take first
// ("/tmp/Report.pdf"); the device's extension after a name without one; an
// empty name is the document's. The settings keep the name as given, so the
// next send gets a folder of its own again.
TEST_F(EmailTest, SendPutsABareAttachmentNameInAFreshPrivateFolderAndCompletesTheExtension) {
    const char* previous = std::getenv("TMPDIR");
    const std::string saved = previous != nullptr ? previous : "";
    setenv("TMPDIR", (folder_ / "tmp").string().c_str(), 1);
    fs::create_directories(folder_ / "tmp");
    // What another user left at the names a bare send used to write.
    for (const char* taken : {"Notas.fak", "Extrato.txt", "Documento.fak"})
        fs::create_symlink(folder_ / "vitima", folder_ / "tmp" / taken);
    struct Case {
        std::string name;
        std::string expected;  // the full path, or the file's name in a private folder
        bool privateFolder;
    } cases[] = {
        {"Notas", "Notas.fak", true},
        {(folder_ / "Resumo").string(), (folder_ / "Resumo.fak").string(), false},
        {"Extrato.txt", "Extrato.txt", true},
        {"", "Documento.fak", true},
        {"Notas", "Notas.fak", true},
    };
    std::set<fs::path> folders;
    for (const Case& c : cases) {
        reporttest::ReportRig rig;
        Prepare(rig, "Documento");
        rig.Report()->EmailSettings()->SetFileName(c.name);
        TrpEmail email;
        email.AddReport(rig.Report());
        ASSERT_TRUE(email.Send()) << c.name;
        const std::vector<std::string> args = Recorded();
        const auto attach = std::find(args.begin(), args.end(), "--attach");
        ASSERT_NE(attach, args.end());
        const fs::path sent = *(attach + 1);
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(sent))) << c.name;
        EXPECT_EQ(rig.Report()->EmailSettings()->FileName(), c.privateFolder ? c.name : c.expected);
        if (!c.privateFolder) {
            EXPECT_EQ(sent.string(), c.expected);
            continue;
        }
        EXPECT_EQ(sent.filename(), c.expected) << c.name;
        EXPECT_EQ(sent.parent_path().parent_path(), folder_ / "tmp") << c.name;
        struct stat st {};
        ASSERT_EQ(::lstat(sent.parent_path().c_str(), &st), 0);
        EXPECT_TRUE(S_ISDIR(st.st_mode)) << c.name;
        EXPECT_EQ(st.st_mode & 07777, 0700u) << c.name;
        EXPECT_TRUE(folders.insert(sent.parent_path()).second) << "a folder used twice: " << sent;
    }
    EXPECT_FALSE(fs::exists(folder_ / "vitima"));
    if (previous != nullptr)
        setenv("TMPDIR", saved.c_str(), 1);
    else
        unsetenv("TMPDIR");
}

TEST_F(EmailTest, AMissingAttachmentStopsTheSendBeforeAnythingGoesOut) {
    reporttest::ReportRig rig;
    Prepare(rig, "Notas");
    rig.Report()->EmailSettings()->Attachments()->Add((folder_ / "sumiu.pdf").string());
    TrpEmail email;
    email.AddReport(rig.Report());
    try {
        email.Send();
        FAIL() << "sent with a missing attachment";
    } catch (const EEmailError& e) {
        EXPECT_EQ(std::string(e.what()), "Attachment Not Found: " + (folder_ / "sumiu.pdf").string());
    }
    EXPECT_FALSE(fs::exists(folder_ / "args"));
}

TEST_F(EmailTest, TheScreenDeviceIsReattachedAlsoWhenPrintingFails) {
    reporttest::ReportRig rig;
    Prepare(rig, "Notas");
    TrpScreenDevice screen(nullptr);
    screen.SetPublisher(rig.Report()->Publisher());
    TrpEmail ok;
    ok.AddReport(rig.Report());
    EXPECT_TRUE(ok.Send());
    EXPECT_EQ(screen.Publisher(), rig.Report()->Publisher());

    FakeFileDevice::FailNext = true;
    TrpEmail failing;
    failing.AddReport(rig.Report());
    EXPECT_THROW(failing.Send(), EPrintError);
    EXPECT_EQ(screen.Publisher(), rig.Report()->Publisher());
    screen.SetPublisher(nullptr);
}

// The SMTP transport trusting the test sink's own certificate.
std::unique_ptr<TrpSMTPCustom> TrustingSink() {
    auto t = std::make_unique<TrpSMTPCurl>();
    t->TrustedCertificates = testsupport::SmtpSink::CertificateFile();
    return t;
}

TEST_F(EmailTest, SmtpDeliversEnvelopeHeadersAndAttachmentAndThenDeletesTheFile) {
    testsupport::SmtpSink sink((folder_ / "sink").string(), "fatura", "s3nha", testsupport::SmtpSink::Security::StartTls);
    TrpSMTPPlugIn::Register([] { return TrustingSink(); });
    reporttest::ReportRig rig;
    Prepare(rig, "Notas");
    TrpEmailSettings* s = rig.Report()->EmailSettings();
    s->SetHostAddress("127.0.0.1:" + std::to_string(sink.Port()));
    s->SetUserName("fatura");
    s->SetPassword("s3nha");
    // A new settings object hands the message to the mail client first.
    s->SetPreviewInEmailClient(false);
    s->SetFromAddress("fatura@example.com");
    s->SetFromName("Faturamento São José");
    s->CarbonCopy()->Add("bia@example.com");
    s->BlindCarbonCopy()->Add("caio@example.com");
    s->Body()->Add("Olá, segue o relatório.");
    s->SetReportFormat("PDF");
    // A bare name: the file goes to a folder of this send, which goes with it.
    s->SetFileName("Notas");
    const char* previous = std::getenv("TMPDIR");
    const std::string saved = previous != nullptr ? previous : "";
    setenv("TMPDIR", (folder_ / "tmp").string().c_str(), 1);
    fs::create_directories(folder_ / "tmp");
    // The same report straight to the PDF device; the rig pins the clock, so
    // the two files can only differ by what the e-mail path did to them.
    {
        TrpPDFDevice device(nullptr);
        device.SetPDFSettings(rig.Report()->PDFSettings());
        device.SetPublisher(rig.Report()->Publisher());
        device.SetFileName((folder_ / "direct.pdf").string());
        rig.Report()->RunPrintJob();
        device.SetPublisher(nullptr);
    }
    TrpEmail email;
    email.AddReport(rig.Report());
    ASSERT_TRUE(email.Send()) << (messages_.empty() ? "" : messages_.front());

    ASSERT_EQ(sink.MessageCount(), 1);
    EXPECT_EQ(sink.Summary(0, "rcpt"), std::vector<std::string>{"ana@example.com,bia@example.com,caio@example.com"});
    EXPECT_EQ(sink.Summary(0, "subject"), std::vector<std::string>{"Relatório de março – notas"});
    EXPECT_EQ(sink.Summary(0, "mailfrom"), std::vector<std::string>{"fatura@example.com"});
    EXPECT_EQ(sink.Summary(0, "from"), std::vector<std::string>{"Faturamento São José <fatura@example.com>"});
    EXPECT_EQ(sink.Summary(0, "to"), std::vector<std::string>{"ana@example.com"});
    EXPECT_EQ(sink.Summary(0, "cc"), std::vector<std::string>{"bia@example.com"});
    EXPECT_TRUE(sink.Summary(0, "bcc").empty());
    EXPECT_EQ(sink.Summary(0, "body"), std::vector<std::string>{"Olá, segue o relatório.\\n"});
    EXPECT_EQ(sink.Summary(0, "attachment"), std::vector<std::string>{"Notas.pdf application/pdf"});
    const std::string direct = ReadFile(folder_ / "direct.pdf");
    EXPECT_EQ(direct.substr(0, 5), "%PDF-");
    EXPECT_EQ(sink.Attachment(0, "Notas.pdf"), direct);
    // Sent by the transport itself: the file and its folder are no longer needed.
    EXPECT_TRUE(fs::is_empty(folder_ / "tmp"));
    if (previous != nullptr)
        setenv("TMPDIR", saved.c_str(), 1);
    else
        unsetenv("TMPDIR");
}

// With the preview wanted, SMTP hands the message to the mail client: no
// connection is made and the file stays for the client to read.
TEST_F(EmailTest, SmtpWithPreviewHandsTheMessageToTheMailClientAndKeepsTheFile) {
    TrpSMTPPlugIn::Register([] { return std::make_unique<TrpSMTPCurl>(); });
    reporttest::ReportRig rig;
    Prepare(rig, "Notas");
    TrpEmailSettings* s = rig.Report()->EmailSettings();
    s->SetHostAddress("127.0.0.1:1");
    s->SetPreviewInEmailClient(true);
    TrpEmail email;
    email.AddReport(rig.Report());
    ASSERT_TRUE(email.Send()) << (messages_.empty() ? "" : messages_.front());
    const std::string file = (folder_ / "Notas.fak").string();
    const std::vector<std::string> args = Recorded();
    EXPECT_NE(std::find(args.begin(), args.end(), file), args.end());
    EXPECT_EQ(args.back(), "ana@example.com");
    EXPECT_TRUE(fs::exists(file));
}

TEST_F(EmailTest, ARefusedSmtpLogOnFailsTheSendShowsWhyAndKeepsTheFile) {
    testsupport::SmtpSink sink((folder_ / "sink").string(), "fatura", "s3nha", testsupport::SmtpSink::Security::StartTls);
    TrpSMTPPlugIn::Register([] { return TrustingSink(); });
    TrpSMTPCurl probe;
    probe.TrustedCertificates = testsupport::SmtpSink::CertificateFile();
    probe.HostAddress = "smtp://127.0.0.1:" + std::to_string(sink.Port());
    probe.UserName = "fatura";
    probe.Password = "errada";
    EXPECT_FALSE(probe.LogOn());
    probe.Password = "s3nha";
    EXPECT_TRUE(probe.LogOn());

    EXPECT_FALSE(SendThroughSmtp(probe.HostAddress, "errada"));
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_NE(messages_[0].find("Falha no envio do e-mail"), std::string::npos) << messages_[0];
    EXPECT_EQ(sink.MessageCount(), 0);
    EXPECT_TRUE(fs::exists(folder_ / "Notas.fak"));
}

// A server that offers no STARTTLS never sees the user and password: the
// log-on and the send fail with a message that says why, while a server
// without TLS still takes mail that needs no log-on.
TEST_F(EmailTest, SmtpNeverSendsTheUserAndPasswordWithoutTls) {
    testsupport::SmtpSink sink((folder_ / "sink").string(), "fatura", "s3nha");
    TrpSMTPPlugIn::Register([] { return TrustingSink(); });
    TrpSMTPCurl probe;
    probe.HostAddress = "127.0.0.1:" + std::to_string(sink.Port());
    probe.UserName = "fatura";
    probe.Password = "s3nha";
    EXPECT_FALSE(probe.LogOn());
    const std::string refused =
        "Falha no envio do e-mail: o servidor não oferece conexão segura (TLS); o usuário e a senha não foram "
        "enviados. Use um servidor com TLS ou envie sem usuário.";
    EXPECT_EQ(probe.LastError(), refused);

    EXPECT_FALSE(SendThroughSmtp(probe.HostAddress, "s3nha"));
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_NE(messages_[0].find(refused), std::string::npos) << messages_[0];
    EXPECT_EQ(sink.MessageCount(), 0);
    EXPECT_EQ(sink.LogOnCount(), 0) << "the credentials went in clear";

    testsupport::SmtpSink open((folder_ / "aberto").string());
    TrpSMTPCurl anonymous;
    anonymous.HostAddress = "127.0.0.1:" + std::to_string(open.Port());
    EXPECT_TRUE(anonymous.LogOn()) << anonymous.LastError();
}
