#include "tests/support/PrivateSpooler.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <thread>
#include <vector>

#ifdef FAT_HAVE_CUPS
#include <cups/cups.h>
#endif

extern char** environ;

namespace fs = std::filesystem;

namespace testsupport {

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

void Write(const fs::path& File, const std::string& Text) { std::ofstream(File) << Text; }

// Whether the service lists at least one destination.
bool Answers(const std::string& Server) {
#ifdef FAT_HAVE_CUPS
    const auto colon = Server.rfind(':');
    http_t* http = httpConnect2(Server.substr(0, colon).c_str(), std::stoi(Server.substr(colon + 1)), nullptr,
                                AF_UNSPEC, HTTP_ENCRYPTION_NEVER, 1, 2000, nullptr);
    if (http == nullptr) return false;
    cups_dest_t* dests = nullptr;
    const int count = cupsGetDests2(http, &dests);
    cupsFreeDests(count, dests);
    httpClose(http);
    return count > 0;
#else
    (void)Server;
    return false;
#endif
}

}  // namespace

PrivateSpooler::PrivateSpooler() : queue_("FatPdf" + std::to_string(getpid())) {
    config_ = "/etc/cups/cups-pdf-" + queue_ + ".conf";
#ifndef FAT_HAVE_CUPS
    problem_ = "the tests were built without the CUPS client library";
    return;
#endif
    if (access("/usr/sbin/cupsd", X_OK) != 0 || access("/usr/lib/cups/backend/cups-pdf", F_OK) != 0) {
        problem_ = "cupsd or the cups-pdf backend is not installed";
        return;
    }
    if (geteuid() != 0) {
        problem_ = "cups-pdf writes its files only under a spooler run as root";
        return;
    }
    const fs::path t = dir_.path();
    for (const char* d : {"etc/ppd", "spool", "tmp", "cache", "state", "log", "out", "pdfspool"})
        fs::create_directories(t / d);
    for (const char* d : {"", "out", "pdfspool", "tmp"}) chmod((t / d).c_str(), 0777);
    port_ = FreePort();
    Write(t / "cupsd.conf", "Listen 127.0.0.1:" + std::to_string(port_) +
                                "\nLogLevel info\nWebInterface No\nBrowsing Off\nDefaultAuthType None\n"
                                "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
                                "<Policy default>\n  <Limit All>\n    Order deny,allow\n  </Limit>\n</Policy>\n");
    Write(t / "cups-files.conf", "ServerRoot " + (t / "etc").string() + "\nRequestRoot " + (t / "spool").string() +
                                     "\nTempDir " + (t / "tmp").string() + "\nCacheDir " + (t / "cache").string() +
                                     "\nStateDir " + (t / "state").string() + "\nErrorLog " +
                                     (t / "log/error_log").string() + "\nAccessLog " +
                                     (t / "log/access_log").string() + "\nPageLog " + (t / "log/page_log").string() +
                                     "\nServerBin /usr/lib/cups\nDataDir /usr/share/cups\nGroup lp\n"
                                     "SystemGroup root\n");
    fs::copy_file("/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd", t / "etc/ppd" / (queue_ + ".ppd"));
    Write(t / "etc/printers.conf", "<DefaultPrinter " + queue_ + ">\nPrinterId 1\nInfo Teste\nDeviceURI cups-pdf:/" +
                                       queue_ + "\nState Idle\nAccepting Yes\nShared No\n</DefaultPrinter>\n");
    // cups-pdf reads its settings only from /etc/cups, by the name in the
    // device URI: the queue's own file sends its output here.
    {
        std::ofstream c(config_);
        if (!c) {
            problem_ = "cannot write " + config_;
            return;
        }
        c << "Out " << Out().string() << "\nAnonDirName " << Out().string() << "\nSpool "
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
    const int rc = posix_spawn(&pid_, args[0].c_str(), &fa, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    if (rc != 0) {
        pid_ = 0;
        problem_ = "cupsd could not be started";
        return;
    }
    for (int i = 0; i < 100 && !Answers(Server()); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    if (!Answers(Server())) problem_ = "cupsd did not answer on " + Server();
}

PrivateSpooler::~PrivateSpooler() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        int status = 0;
        waitpid(pid_, &status, 0);
    }
    std::remove(config_.c_str());
}

std::string PrivateSpooler::Server() const { return "127.0.0.1:" + std::to_string(port_); }

std::string PrivateSpooler::Log() const { return ReadAll((dir_.path() / "log/error_log").string()); }

std::size_t PrivateSpooler::OutputCount() const {
    std::size_t n = 0;
    std::error_code ec;
    for (fs::directory_iterator it(Out(), ec), end; !ec && it != end; it.increment(ec)) ++n;
    return n;
}

std::string PrivateSpooler::WaitForOutput(std::size_t Before, std::chrono::seconds Timeout) const {
    const auto deadline = std::chrono::steady_clock::now() + Timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        std::vector<fs::path> files;
        for (auto& e : fs::directory_iterator(Out())) files.push_back(e.path());
        if (files.size() > Before) {
            std::sort(files.begin(), files.end(), [](const fs::path& a, const fs::path& b) {
                return fs::last_write_time(a) > fs::last_write_time(b);
            });
            // The writer is done when the size stays and the file reads.
            const fs::path f = files.front();
            std::uintmax_t size = 0;
            for (int k = 0; k < 100; ++k) {
                std::this_thread::sleep_for(std::chrono::milliseconds(200));
                const std::uintmax_t now = fs::file_size(f);
                if (now == size && now > 0 &&
                    Shell("pdfinfo '" + f.string() + "' 2>&1").find("Pages:") != std::string::npos)
                    break;
                size = now;
            }
            return f.string();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return "";
}

}  // namespace testsupport
