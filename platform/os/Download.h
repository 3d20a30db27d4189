#pragma once
// Fetching a file over HTTP or HTTPS (libcurl), and the SHA-256 digest that
// tells a complete, untampered download from a damaged one.
//
// A download succeeds only when the whole body arrived with a 2xx status: a
// server that closes the connection before the announced length, a 404, a
// refused connection or a timeout are all failures, reported with a reason.
// HTTPS certificates and host names are always verified; a redirect never
// leaves HTTPS for plain HTTP.
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace os {

struct DownloadOptions {
    // Time allowed to reach the server.
    long connectTimeoutMs = 5000;
    // Time allowed for the whole transfer; 0 for no limit.
    long totalTimeoutMs = 15000;
    // A transfer slower than lowSpeedBytes per second for lowSpeedSeconds is
    // abandoned (0 switches the check off); a long download takes this rather
    // than a total limit, so that a slow but steady link still finishes.
    long lowSpeedBytes = 0;
    long lowSpeedSeconds = 0;
    // A body larger than this is refused (0: any size).
    std::size_t maxBytes = 0;
    // Plain http:// is refused before any connection, and so is a redirect
    // to it: for what the program runs or trusts.
    bool httpsOnly = false;
    // A file of certificates trusted in place of the system's store (a
    // company's own authority); empty for the system's. Read as
    // ReadCertificatesFile does, never by the TLS library itself.
    std::string trustedCertificates;
};

// The largest certificates file read: a whole system bundle is some 200 KB.
inline constexpr std::size_t kCertificatesFileLimit = 4 * 1024 * 1024;

// The bytes of a PEM file of trusted certificates, opened without waiting: a
// pipe nobody writes, a device (also behind a link), a folder, or a file
// larger than kCertificatesFileLimit is refused at once. Raises Exception
// with the reason in Portuguese, naming the file ("o arquivo de
// certificados \"...\" ...").
std::string ReadCertificatesFile(const std::string& path);

struct DownloadResult {
    bool ok = false;
    long status = 0;    // the HTTP status, 0 when no answer came
    std::string error;   // why it failed, for a log
    std::string reason;  // the same in Portuguese, for a message the user reads
};

// Receives the body piece by piece; false stops the transfer (a failure).
using DownloadSink = std::function<bool(const char* data, std::size_t size)>;

DownloadResult Download(const std::string& url, const DownloadSink& sink, const DownloadOptions& options = {});
// The whole body into `body` (emptied first; left as far as received on failure).
DownloadResult DownloadToString(const std::string& url, std::string& body, const DownloadOptions& options = {});

// Incremental SHA-256.
class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void Update(const void* data, std::size_t size);
    void Update(std::string_view bytes) { Update(bytes.data(), bytes.size()); }
    // The digest as 64 lower-case hexadecimal digits; the object is spent.
    std::string HexDigest();

private:
    void* ctx_;
};

// The digest of bytes, and of a file's content (raises EFOpenError/EReadError).
std::string Sha256Hex(std::string_view bytes);
std::string Sha256File(const std::string& path);

}  // namespace os
