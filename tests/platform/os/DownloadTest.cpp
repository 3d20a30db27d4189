// Downloads against a server on 127.0.0.1, and SHA-256 against the
// published test vectors and the sha256sum program.
#include "platform/os/Download.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <random>
#include <thread>

#include "platform/rtl/SysUtils.h"
#include "tests/support/HttpServer.h"
#include "tests/support/TestSupport.h"

extern char** environ;

namespace {

std::string Shell(const std::string& command) {
    std::string out;
    FILE* p = ::popen(command.c_str(), "r");
    if (p == nullptr) return out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    ::pclose(p);
    return out;
}

std::string RandomBytes(std::size_t size, unsigned seed) {
    std::mt19937 gen(seed);
    std::string s(size, '\0');
    for (auto& c : s) c = static_cast<char>(gen() & 0xFF);
    return s;
}

// A port nothing listens on (bound, then released).
int FreePort() {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    ::close(fd);
    return ntohs(addr.sin_port);
}

bool Connectable(int port) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    ::close(fd);
    return ok;
}

}  // namespace

TEST(Download, AServedFileArrivesWholeAndAMissingOneFailsWithItsStatus) {
    testsupport::HttpServer server;
    std::string big = RandomBytes(300000, 7);
    server.Serve("/versao.inf", "[Versao]\r\nAplicativo=1.5\r\n");
    server.Serve("/programa", big);

    std::string body;
    os::DownloadResult r = os::DownloadToString(server.Url("/versao.inf"), body);
    EXPECT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(body, "[Versao]\r\nAplicativo=1.5\r\n");

    r = os::DownloadToString(server.Url("/programa"), body);
    EXPECT_TRUE(r.ok) << r.error;
    EXPECT_EQ(body, big);

    r = os::DownloadToString(server.Url("/nada"), body);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.status, 404);
    EXPECT_NE(r.error.find("404"), std::string::npos);
}

TEST(Download, ATransferCutShortOrRefusedIsAFailure) {
    testsupport::HttpServer server;
    testsupport::HttpServer::Response cut;
    cut.body = RandomBytes(100000, 3);
    cut.cutAfter = 40000;
    server.Serve("/cortado", cut);
    server.Serve("/grande", RandomBytes(5000, 4));

    std::string body;
    os::DownloadResult r = os::DownloadToString(server.Url("/cortado"), body);
    EXPECT_FALSE(r.ok) << "a body shorter than announced is no download";
    EXPECT_FALSE(r.error.empty());

    os::DownloadOptions limited;
    limited.maxBytes = 4096;
    r = os::DownloadToString(server.Url("/grande"), body, limited);
    EXPECT_FALSE(r.ok);

    int chunks = 0;
    r = os::Download(server.Url("/grande"), [&](const char*, std::size_t) { return ++chunks < 1; });
    EXPECT_FALSE(r.ok) << "a sink that refuses stops the transfer";

    r = os::DownloadToString("http://127.0.0.1:" + std::to_string(FreePort()) + "/x", body);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.status, 0);
    EXPECT_FALSE(r.error.empty());

    r = os::DownloadToString("file:///etc/passwd", body);
    EXPECT_FALSE(r.ok) << "only http and https are fetched";
    EXPECT_TRUE(body.empty());
}

TEST(Download, AServerThatNeverAnswersIsLeftAfterTheTotalTimeout) {
    testsupport::HttpServer server;
    testsupport::HttpServer::Response stall;
    stall.stall = true;
    server.Serve("/parado", stall);
    os::DownloadOptions options;
    options.totalTimeoutMs = 300;
    std::string body;
    os::DownloadResult r = os::DownloadToString(server.Url("/parado"), body, options);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(server.Requests(), std::vector<std::string>{"/parado"});
}

TEST(Download, AnHttpsServerWithAnUntrustedCertificateIsRefused) {
    if (::access("/usr/bin/openssl", X_OK) != 0) GTEST_SKIP() << "openssl is not installed";
    testsupport::TempDir dir;
    std::string key = dir.file("key.pem"), cert = dir.file("cert.pem");
    Shell("openssl req -x509 -newkey rsa:2048 -nodes -subj /CN=127.0.0.1 -days 1 -keyout '" + key + "' -out '" +
        cert + "' 2>/dev/null");
    ASSERT_FALSE(testsupport::ReadAll(cert).empty());
    int port = FreePort();
    std::string accept = "127.0.0.1:" + std::to_string(port);
    const char* argv[] = {"openssl", "s_server", "-quiet", "-www", "-accept", accept.c_str(),
                          "-cert", cert.c_str(), "-key", key.c_str(), nullptr};
    pid_t pid = 0;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    ASSERT_EQ(posix_spawn(&pid, "/usr/bin/openssl", &actions, nullptr, const_cast<char**>(argv), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    bool up = false;
    for (int i = 0; i < 200 && !up; ++i) {
        up = Connectable(port);
        if (!up) std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    std::string body;
    os::DownloadResult r = os::DownloadToString("https://127.0.0.1:" + std::to_string(port) + "/", body);
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
    ASSERT_TRUE(up) << "the TLS server did not start";
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(body.empty());
    EXPECT_NE(r.error.find("certificate"), std::string::npos) << r.error;
}

TEST(Sha256, PublishedVectorsAndTheSha256sumProgramAgree) {
    // FIPS 180-2 examples.
    EXPECT_EQ(os::Sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(os::Sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(os::Sha256Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");

    testsupport::TempDir dir;
    std::string file = dir.file("programa");
    std::string bytes = RandomBytes(1 << 20, 11);
    testsupport::WriteAll(file, bytes);
    std::string oracle = Shell("sha256sum '" + file + "'").substr(0, 64);
    ASSERT_EQ(oracle.size(), 64u);
    EXPECT_EQ(os::Sha256File(file), oracle);
    // Fed in uneven pieces, as a download arrives.
    os::Sha256 h;
    for (std::size_t at = 0; at < bytes.size(); at += 7919) h.Update(bytes.substr(at, 7919));
    EXPECT_EQ(h.HexDigest(), oracle);

    EXPECT_THROW(os::Sha256File(dir.file("nada")), EFOpenError);
}
