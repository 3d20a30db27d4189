#include "tests/support/HttpServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fcntl.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include <openssl/ssl.h>

namespace testsupport {

namespace {

const char* Reason(int status) {
    switch (status) {
    case 200: return "OK";
    case 404: return "Not Found";
    case 500: return "Internal Server Error";
    default: return "Status";
    }
}

}  // namespace

std::string HttpServer::CertificateFile() { return std::string(FAT_TEST_DATA_DIR) + "/tls/localhost.crt"; }

void HttpServer::SendAll(int fd, void* tls, const char* data, std::size_t size) {
    while (size > 0) {
        ssize_t n = tls != nullptr ? SSL_write(static_cast<SSL*>(tls), data, static_cast<int>(size))
                                   : ::send(fd, data, size, MSG_NOSIGNAL);
        if (n <= 0) {
            if (tls == nullptr && n < 0 && errno == EINTR) continue;
            return;  // the client went away; nothing to tell it
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
}

bool HttpServer::Receive(int fd, void* tls, char* buf, std::size_t size, std::size_t& got) {
    got = 0;
    if (tls != nullptr && SSL_pending(static_cast<SSL*>(tls)) <= 0) {
        pollfd p[2] = {{fd, POLLIN, 0}, {wakeFds_[0], POLLIN, 0}};
        if (::poll(p, 2, 5000) <= 0 || (p[1].revents & POLLIN)) return false;
    } else if (tls == nullptr) {
        pollfd p[2] = {{fd, POLLIN, 0}, {wakeFds_[0], POLLIN, 0}};
        if (::poll(p, 2, 5000) <= 0 || (p[1].revents & POLLIN)) return false;
    }
    ssize_t n = tls != nullptr ? SSL_read(static_cast<SSL*>(tls), buf, static_cast<int>(size)) : ::recv(fd, buf, size, 0);
    if (n <= 0) return false;
    got = static_cast<std::size_t>(n);
    return true;
}

HttpServer::HttpServer(Security Mode) {
    if (Mode != Security::Plain) {
        SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
        const std::string base = std::string(FAT_TEST_DATA_DIR) + "/tls/" + (Mode == Security::Tls ? "localhost" : "other");
        if (ctx == nullptr || SSL_CTX_use_certificate_file(ctx, (base + ".crt").c_str(), SSL_FILETYPE_PEM) != 1 ||
            SSL_CTX_use_PrivateKey_file(ctx, (base + ".key").c_str(), SSL_FILETYPE_PEM) != 1)
            throw std::runtime_error("cannot load the test certificate " + base);
        tlsContext_ = ctx;
    }
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0) throw std::runtime_error("socket failed");
    int one = 1;
    ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(listenFd_, 16) != 0)
        throw std::runtime_error("cannot listen on 127.0.0.1");
    socklen_t len = sizeof addr;
    ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    if (::pipe2(wakeFds_, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    thread_ = std::thread([this] { Run(); });
}

HttpServer::~HttpServer() {
    stop_ = true;
    char c = 0;
    (void)!::write(wakeFds_[1], &c, 1);
    if (thread_.joinable()) thread_.join();
    for (int fd : stalled_) ::close(fd);
    ::close(listenFd_);
    ::close(wakeFds_[0]);
    ::close(wakeFds_[1]);
    SSL_CTX_free(static_cast<SSL_CTX*>(tlsContext_));
}

void HttpServer::Serve(const std::string& path, Response response) {
    std::lock_guard<std::mutex> lock(mutex_);
    routes_[path] = std::move(response);
}

void HttpServer::Remove(const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    routes_.erase(path);
}

std::string HttpServer::Url(const std::string& path) const {
    return (tlsContext_ != nullptr ? "https://127.0.0.1:" : "http://127.0.0.1:") + std::to_string(port_) + path;
}

std::vector<std::string> HttpServer::Requests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

void HttpServer::Run() {
    while (!stop_) {
        pollfd fds[2] = {{listenFd_, POLLIN, 0}, {wakeFds_[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (stop_ || (fds[1].revents & POLLIN)) return;
        if (!(fds[0].revents & POLLIN)) continue;
        int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        Handle(fd);
    }
}

void HttpServer::Handle(int fd) {
    SSL* tls = nullptr;
    if (tlsContext_ != nullptr) {
        // A client that refuses the certificate ends here: no request is noted.
        timeval limit{5, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        tls = SSL_new(static_cast<SSL_CTX*>(tlsContext_));
        SSL_set_fd(tls, fd);
        if (SSL_accept(tls) != 1) {
            SSL_free(tls);
            ::close(fd);
            return;
        }
    }
    std::string request;
    char buf[4096];
    std::size_t got = 0;
    while (request.find("\r\n\r\n") == std::string::npos && request.size() < 65536 &&
           Receive(fd, tls, buf, sizeof buf, got))
        request.append(buf, got);
    std::string path;
    std::size_t sp1 = request.find(' ');
    std::size_t sp2 = sp1 == std::string::npos ? sp1 : request.find(' ', sp1 + 1);
    if (sp2 != std::string::npos) path = request.substr(sp1 + 1, sp2 - sp1 - 1);

    Response response{404, "not found"};
    {
        std::lock_guard<std::mutex> lock(mutex_);
        requests_.push_back(path);
        auto it = routes_.find(path);
        if (it != routes_.end()) response = it->second;
        if (response.stall) {
            if (tls != nullptr) SSL_free(tls);  // the socket stays open, silent
            stalled_.push_back(fd);
            return;
        }
    }
    std::string head = "HTTP/1.1 " + std::to_string(response.status) + " " + Reason(response.status) +
                       "\r\nContent-Type: application/octet-stream\r\nContent-Length: " +
                       std::to_string(response.body.size()) + "\r\nConnection: close\r\n\r\n";
    SendAll(fd, tls, head.data(), head.size());
    std::size_t size = response.body.size() < response.cutAfter ? response.body.size() : response.cutAfter;
    SendAll(fd, tls, response.body.data(), size);
    if (tls != nullptr) {
        if (size == response.body.size()) SSL_shutdown(tls);
        SSL_free(tls);
    }
    ::shutdown(fd, SHUT_RDWR);
    ::close(fd);
}

}  // namespace testsupport
