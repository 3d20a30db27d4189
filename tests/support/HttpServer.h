#pragma once
// A small HTTP/1.1 server on 127.0.0.1 for download tests: it answers GET
// requests from a table of paths, one connection at a time, on its own
// thread, and can misbehave on purpose (close in the middle of a body, or
// accept a connection and never answer).
#include <atomic>
#include <cstddef>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

class HttpServer {
public:
    struct Response {
        int status = 200;
        std::string body;
        // Send only this many bytes of the body (the header still announces
        // the whole length), then close the connection.
        std::size_t cutAfter = static_cast<std::size_t>(-1);
        // Accept the request and never answer (until the server stops).
        bool stall = false;
    };

    enum class Security { Plain, Tls, UntrustedTls };
    // Listens on an ephemeral port of 127.0.0.1. Tls answers HTTPS with the
    // certificate CertificateFile() names; UntrustedTls with another one for
    // the same address that no client trusts.
    explicit HttpServer(Security Mode = Security::Plain);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Paths not served answer 404.
    void Serve(const std::string& path, Response response);
    void Serve(const std::string& path, const std::string& body) { Serve(path, Response{200, body}); }
    void Remove(const std::string& path);

    int Port() const { return port_; }
    // The certificate a client trusts to verify the Tls server.
    static std::string CertificateFile();
    // "http://127.0.0.1:<port>" (https:// with TLS) followed by path.
    std::string Url(const std::string& path = "/") const;
    // The paths requested so far, in order.
    std::vector<std::string> Requests() const;

private:
    void Run();
    void Handle(int fd);

    bool Receive(int fd, void* tls, char* buf, std::size_t size, std::size_t& got);
    void SendAll(int fd, void* tls, const char* data, std::size_t size);

    void* tlsContext_ = nullptr;  // SSL_CTX
    int listenFd_ = -1;
    int wakeFds_[2] = {-1, -1};
    int port_ = 0;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    std::map<std::string, Response> routes_;
    std::vector<std::string> requests_;
    std::vector<int> stalled_;
    std::thread thread_;
};

}  // namespace testsupport
