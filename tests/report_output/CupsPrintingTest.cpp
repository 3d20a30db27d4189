// Printing end to end: a private print service on 127.0.0.1 with a queue
// that writes PDF files, whose output pdfinfo and pdftoppm judge.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include "report/rpBands.h"
#include "report/rpExcept.h"
#include "report/rpPrinterList.h"
#include "report/rpPrinterSetup.h"
#include "report_output/rpCupsBackend.h"
#include "tests/support/TestSupport.h"
#include "tests/support/report/ReportHarness.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

int FreePort() {
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    int port = 0;
    if (bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) == 0)
        port = ntohs(a.sin_port);
    close(s);
    return port;
}

std::string Shell(const std::string& Command) {
    std::string out;
    if (FILE* p = popen(Command.c_str(), "r")) {
        char buf[4096];
        std::size_t n;
        while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
        pclose(p);
    }
    return out;
}

void Write(const fs::path& File, const std::string& Text) { std::ofstream(File) << Text; }

// The print service with one PDF queue, for the whole suite.
struct PrivateSpooler {
    testsupport::TempDir dir;
    std::string queue = "FatPdf" + std::to_string(getpid());
    std::string config = "/etc/cups/cups-pdf-" + queue + ".conf";
    int port = 0;
    pid_t pid = 0;
    std::string problem;  // why it could not start

    PrivateSpooler() {
        if (access("/usr/sbin/cupsd", X_OK) != 0 || access("/usr/lib/cups/backend/cups-pdf", F_OK) != 0) {
            problem = "cupsd or the cups-pdf backend is not installed";
            return;
        }
        if (geteuid() != 0) {
            problem = "cups-pdf writes its files only under a spooler run as root";
            return;
        }
        const fs::path t = dir.path();
        for (const char* d : {"etc/ppd", "spool", "tmp", "cache", "state", "log", "out", "pdfspool"})
            fs::create_directories(t / d);
        for (const char* d : {"", "out", "pdfspool", "tmp"}) chmod((t / d).c_str(), 0777);
        port = FreePort();
        Write(t / "cupsd.conf", "Listen 127.0.0.1:" + std::to_string(port) +
                                    "\nLogLevel info\nWebInterface No\nBrowsing Off\nDefaultAuthType None\n"
                                    "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
                                    "<Policy default>\n  <Limit All>\n    Order deny,allow\n  </Limit>\n</Policy>\n");
        Write(t / "cups-files.conf", "ServerRoot " + (t / "etc").string() + "\nRequestRoot " + (t / "spool").string() +
                                         "\nTempDir " + (t / "tmp").string() + "\nCacheDir " + (t / "cache").string() +
                                         "\nStateDir " + (t / "state").string() + "\nErrorLog " +
                                         (t / "log/error_log").string() + "\nAccessLog " +
                                         (t / "log/access_log").string() + "\nPageLog " +
                                         (t / "log/page_log").string() +
                                         "\nServerBin /usr/lib/cups\nDataDir /usr/share/cups\nGroup lp\n"
                                         "SystemGroup root\n");
        fs::copy_file("/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd", t / "etc/ppd" / (queue + ".ppd"));
        Write(t / "etc/printers.conf", "<DefaultPrinter " + queue + ">\nPrinterId 1\nInfo Teste\nDeviceURI cups-pdf:/" +
                                           queue + "\nState Idle\nAccepting Yes\nShared No\n</DefaultPrinter>\n");
        // cups-pdf reads its settings only from /etc/cups, by the name in
        // the device URI: the queue's own file sends its output here.
        {
            std::ofstream c(config);
            if (!c) {
                problem = "cannot write " + config;
                return;
            }
            c << "Out " << (t / "out").string() << "\nAnonDirName " << (t / "out").string() << "\nSpool "
              << (t / "pdfspool").string() << "\nLog " << (t / "log").string() << "\nUserUMask 0000\n";
        }
        const std::string c = (t / "cupsd.conf").string(), s = (t / "cups-files.conf").string();
        std::vector<std::string> args = {"/usr/sbin/cupsd", "-c", c, "-s", s, "-f"};
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
        const int rc = posix_spawn(&pid, args[0].c_str(), &fa, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&fa);
        if (rc != 0) {
            pid = 0;
            problem = "cupsd could not be started";
            return;
        }
        TrpCupsBackend probe(Server());
        for (int i = 0; i < 100 && probe.Destinations().empty(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (probe.Destinations().empty()) problem = "cupsd did not answer on " + Server();
    }
    ~PrivateSpooler() {
        if (pid > 0) {
            kill(pid, SIGTERM);
            int status = 0;
            waitpid(pid, &status, 0);
        }
        std::remove(config.c_str());
    }
    std::string Server() const { return "127.0.0.1:" + std::to_string(port); }
    fs::path Out() const { return dir.path() / "out"; }
    std::string Log() const { return testsupport::ReadAll((dir.path() / "log/error_log").string()); }
};

std::vector<std::pair<double, double>> PageSizes(const std::string& Pdf) {
    std::vector<std::pair<double, double>> sizes;
    const std::string info = Shell("pdfinfo -f 1 -l 99 '" + Pdf + "' 2>/dev/null");
    const std::regex line(R"(Page\s+\d+\s+size:\s+([\d.]+) x ([\d.]+) pts)");
    for (std::sregex_iterator it(info.begin(), info.end(), line), end; it != end; ++it)
        sizes.emplace_back(std::stod((*it)[1]), std::stod((*it)[2]));
    return sizes;
}

// Dark pixels of page N, rendered small in grey.
long Ink(const std::string& Pdf, int Page) {
    const std::string pgm = Shell("pdftoppm -gray -r 20 -f " + std::to_string(Page) + " -l " + std::to_string(Page) +
                                " '" + Pdf + "' 2>/dev/null");
    // P5 header: magic, width, height, maximum, then the bytes.
    std::istringstream in(pgm);
    std::string magic;
    int w = 0, h = 0, max = 0;
    in >> magic >> w >> h >> max;
    in.get();
    long dark = 0;
    for (int i = 0; i < w * h; ++i) dark += in.get() < 128 ? 1 : 0;
    return dark;
}

class CupsPrinting : public ::testing::Test {
protected:
    static void SetUpTestSuite() { spooler_ = new PrivateSpooler(); }
    static void TearDownTestSuite() {
        delete spooler_;
        spooler_ = nullptr;
    }
    void SetUp() override {
        if (!spooler_->problem.empty()) GTEST_SKIP() << "no private print service: " << spooler_->problem;
        backend_ = std::make_unique<TrpCupsBackend>(spooler_->Server());
        previousBackend_ = rpSetPrinterBackend(backend_.get());
        list_ = std::make_unique<TrpPrinterList>(backend_.get());
        previousList_ = rpSetPrinterList(list_.get());
        std::vector<std::vector<Variant>> rows;
        for (int i = 1; i <= 100; ++i) rows.push_back({Variant("Linha " + std::to_string(i))});
        data_ = std::make_unique<reporttest::RowsTable>(std::vector<std::string>{"Key"}, rows);
        TrpBandedReport* r = rig_.Report();
        r->SetDataPipeline(data_->Pipeline());
        r->CreateDefaultBands();
        r->DetailBand()->SetmmHeight(6000);
        reporttest::TestText* key = rig_.AddText(r->DetailBand(), "KeyText", 0, 0, 60000, 5000);
        key->SetDataPipeline(data_->Pipeline());
        key->SetDataField("Key");
        rig_.Device()->SetPublisher(nullptr);
        r->SetDeviceType("Printer");
        r->SetShowPrintDialog(false);
        r->SetShowCancelDialog(false);
        r->PrinterSetup()->SetPrinterName(spooler_->queue);
    }
    void TearDown() override {
        if (list_ == nullptr) return;
        rpSetPrinterList(previousList_);
        rpSetPrinterBackend(previousBackend_);
    }
    // Prints the report and waits for the queue's PDF.
    std::string PrintAndWait() {
        std::size_t before = 0;
        for ([[maybe_unused]] auto& e : fs::directory_iterator(spooler_->Out())) ++before;
        rig_.Report()->PrintReport();
        for (int i = 0; i < 600; ++i) {
            std::vector<fs::path> files;
            for (auto& e : fs::directory_iterator(spooler_->Out())) files.push_back(e.path());
            if (files.size() > before) {
                std::sort(files.begin(), files.end(), [](const fs::path& a, const fs::path& b) {
                    return fs::last_write_time(a) > fs::last_write_time(b);
                });
                // The writer is done when the size stays and the file reads.
                const fs::path f = files.front();
                std::uintmax_t size = 0;
                for (int k = 0; k < 100; ++k) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(200));
                    const std::uintmax_t now = fs::file_size(f);
                    if (now == size && now > 0 && Shell("pdfinfo '" + f.string() + "' 2>&1").find("Pages:") !=
                                                      std::string::npos)
                        break;
                    size = now;
                }
                return f.string();
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        ADD_FAILURE() << "no output; the spooler's log:\n" << spooler_->Log();
        return "";
    }
    static void ExpectPages(const std::string& Pdf, std::size_t Count, double W, double H) {
        const auto sizes = PageSizes(Pdf);
        ASSERT_EQ(sizes.size(), Count) << Pdf;
        for (const auto& [w, h] : sizes) {
            EXPECT_NEAR(w, W, 1.0);
            EXPECT_NEAR(h, H, 1.0);
        }
    }
    static PrivateSpooler* spooler_;
    std::unique_ptr<TrpCupsBackend> backend_;
    std::unique_ptr<TrpPrinterList> list_;
    TrpPrinterBackend* previousBackend_ = nullptr;
    TrpPrinterList* previousList_ = nullptr;
    reporttest::ReportRig rig_;
    std::unique_ptr<reporttest::RowsTable> data_;
};

PrivateSpooler* CupsPrinting::spooler_ = nullptr;

TEST_F(CupsPrinting, TheQueueIsListedAndIsTheDefault) {
    TStringList names;
    list_->GetPrinterNames(&names);
    EXPECT_GE(names.IndexOf(spooler_->queue), 2);
    EXPECT_EQ(list_->DefaultPrinterName(), spooler_->queue);
    TrpPrinterInfo* info = list_->GetPrinterInfo("Default");
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->PrinterName(), spooler_->queue);
    EXPECT_EQ(info->DeviceOnPort(), "cups-pdf:/" + spooler_->queue);
    EXPECT_GE(info->GetCapabilities()->PaperCodes.IndexOf("9"), 0) << "A4 among its papers";
}

TEST_F(CupsPrinting, PapersReachThePaper) {
    struct Case {
        const char* Paper;
        double W, H;
    };
    for (const Case& c : {Case{"A4 210 x 297 mm", 595.3, 841.9}, Case{"Letter 8 1/2 x 11 in", 612, 792}}) {
        rig_.Report()->PrinterSetup()->SetPaperName(c.Paper);
        ExpectPages(PrintAndWait(), 3, c.W, c.H);
    }
}

// The queue's driver knows portrait sizes only (landscape pages come out
// turned on them) and makes a size of its own into its default: the job's
// PDF itself is judged, written to the setup's output file.
TEST_F(CupsPrinting, TheJobsPdfHasTheLandscapeAndOwnSizes) {
    struct Case {
        bool Custom;
        TPrinterOrientation Orientation;
        double W, H;
    };
    int n = 0;
    for (const Case& c : {Case{false, poLandscape, 841.9, 595.3}, Case{true, poPortrait, 283.5, 425.2},
                          Case{true, poLandscape, 425.2, 283.5}}) {
        TrpPrinterSetup* s = rig_.Report()->PrinterSetup();
        s->SetOrientation(poPortrait);
        if (c.Custom) {
            s->SetPaperName("Custom");
            s->PageDef()->SetmmWidth(100000);
            s->PageDef()->SetmmHeight(150000);
        } else {
            s->SetPaperName("A4 210 x 297 mm");
        }
        s->SetOrientation(c.Orientation);
        const std::string file = spooler_->dir.file("saida" + std::to_string(++n) + ".pdf");
        s->SetOutputFileName(file);
        rig_.Report()->PrintReport();
        const auto sizes = PageSizes(file);
        ASSERT_FALSE(sizes.empty()) << file;
        for (const auto& [w, h] : sizes) {
            EXPECT_NEAR(w, c.W, 1.0) << n;
            EXPECT_NEAR(h, c.H, 1.0) << n;
        }
    }
}

TEST_F(CupsPrinting, CollatedCopiesComeOutInDocumentOrder) {
    TrpPrinterSetup* s = rig_.Report()->PrinterSetup();
    s->SetPaperName("A4 210 x 297 mm");
    s->SetCopies(2);
    s->SetCollation(true);
    const std::string pdf = PrintAndWait();
    ExpectPages(pdf, 6, 595.3, 841.9);
    // Each page's ink tells it: page 3 holds only the last lines, and pages
    // 1 and 2 differ in their numbers. Uncollated copies would pair them.
    std::vector<long> ink;
    for (int p = 1; p <= 6; ++p) ink.push_back(Ink(pdf, p));
    for (std::size_t p = 0; p < 3; ++p) EXPECT_EQ(ink[p], ink[p + 3]) << "page " << p + 1;
    EXPECT_NE(ink[0], ink[1]);
    EXPECT_LT(2 * ink[2], ink[0]);
    EXPECT_LT(2 * ink[2], ink[1]);
}

TEST_F(CupsPrinting, AStoppedQueueIsReportedNotPrinted) {
    Shell("cupsdisable -h " + spooler_->Server() + " " + spooler_->queue + " 2>&1");
    list_->Refresh();
    try {
        rig_.Report()->PrintReport();
        ADD_FAILURE() << "a stopped queue took the job as printed";
    } catch (const EPrintError& e) {
        EXPECT_NE(e.Message().find(spooler_->queue), std::string::npos) << e.Message();
    }
    Shell("cupsenable -h " + spooler_->Server() + " " + spooler_->queue + " 2>&1");
}

}  // namespace
