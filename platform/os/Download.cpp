#include "platform/os/Download.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "platform/os/CurlLibrary.h"
#include "platform/os/SharedLibrary.h"
#include "platform/rtl/SafeFile.h"
#include "platform/rtl/SysUtils.h"

namespace os {

namespace {

struct Transfer {
    const DownloadSink* sink = nullptr;
    std::size_t received = 0;
    std::size_t maxBytes = 0;
    bool refused = false;  // the sink or the size limit stopped it
};

size_t WriteBody(char* data, size_t size, size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    std::size_t n = size * count;
    t->received += n;
    if (t->maxBytes != 0 && t->received > t->maxBytes) {
        t->refused = true;
        return 0;
    }
    if (!(*t->sink)(data, n)) {
        t->refused = true;
        return 0;
    }
    return n;
}

// What went wrong, as the user reads it: what failed, not libcurl's words.
std::string ReasonOf(CURLcode code, const std::string& detail) {
    switch (code) {
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
        return "o certificado do site não pôde ser verificado (" + detail + ")";
    case CURLE_SSL_CONNECT_ERROR:
        return "a conexão segura (TLS) com o site falhou (" + detail + ")";
    case CURLE_PARTIAL_FILE:
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
        return "a transferência foi interrompida e o arquivo chegou incompleto";
    case CURLE_OPERATION_TIMEDOUT:
        return "o site não respondeu a tempo";
    case CURLE_COULDNT_RESOLVE_HOST:
        return "o endereço do site não foi encontrado";
    case CURLE_COULDNT_CONNECT:
        return "não foi possível conectar ao site";
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_TOO_MANY_REDIRECTS:
        return "o site redirecionou para um endereço não aceito (" + detail + ")";
    default:
        return "falha na transferência (" + detail + ")";
    }
}

// The certificates file, open: its descriptor stays open while a transfer
// may need it by name.
struct Certificates {
    int fd = -1;
    std::string bytes;
    Certificates() = default;
    Certificates(const Certificates&) = delete;
    Certificates& operator=(const Certificates&) = delete;
    ~Certificates() {
        if (fd >= 0) ::close(fd);
    }
};

void ReadCertificates(const std::string& path, Certificates& out) {
    const std::string named = "o arquivo de certificados \"" + path + "\"";
    // Never a blocking open: a pipe at the name would hold it until some
    // other program wrote into it, before any time limit of the transfer.
    out.fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (out.fd < 0) throw Exception(named + " não pôde ser aberto: " + fileio::SystemMessagePtBr(errno));
    struct stat st {};
    if (::fstat(out.fd, &st) != 0) throw Exception(named + " não pôde ser lido: " + fileio::SystemMessagePtBr(errno));
    if (!S_ISREG(st.st_mode)) {
        const char* kind = S_ISDIR(st.st_mode)                           ? "uma pasta"
                           : S_ISFIFO(st.st_mode)                        ? "um pipe (FIFO)"
                           : S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode) ? "um dispositivo"
                           : S_ISSOCK(st.st_mode)                        ? "um socket"
                                                                         : "algo";
        throw Exception(named + " não é um arquivo comum: com esse nome existe " + kind + ".");
    }
    auto tooLarge = [&named] {
        return Exception(named + " tem mais de " + std::to_string(kCertificatesFileLimit / (1024 * 1024)) +
                         " MB, mais do que certificados.");
    };
    if (static_cast<std::uint64_t>(st.st_size) > kCertificatesFileLimit) throw tooLarge();
    char buffer[65536];
    for (;;) {
        ssize_t n = ::read(out.fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw Exception(named + " não pôde ser lido: " + fileio::SystemMessagePtBr(errno));
        }
        if (n == 0) break;
        out.bytes.append(buffer, static_cast<std::size_t>(n));
        if (out.bytes.size() > kCertificatesFileLimit) throw tooLarge();
    }
}

bool StartsWithHttps(const std::string& url) {
    return url.size() >= 8 && (url.compare(0, 8, "https://") == 0 || url.compare(0, 8, "HTTPS://") == 0);
}

}  // namespace

DownloadResult Download(const std::string& url, const DownloadSink& sink, const DownloadOptions& options) {
    DownloadResult result;
    if (options.httpsOnly && !StartsWithHttps(url)) {
        result.error = "only https addresses are accepted";
        result.reason = "o endereço não começa com https://";
        return result;
    }
    Certificates certificates;
    if (!options.trustedCertificates.empty()) {
        try {
            ReadCertificates(options.trustedCertificates, certificates);
        } catch (const Exception& e) {
            result.error = result.reason = e.Message();
            return result;
        }
    }
    const CurlLibrary* lib = Curl(result.error);
    if (lib == nullptr) {
        result.reason = result.error;
        return result;
    }
    CURL* curl = lib->easy_init();
    if (curl == nullptr) {
        result.error = "libcurl could not start a transfer";
        result.reason = "a biblioteca de transferência (libcurl) não pôde iniciar";
        return result;
    }
    Transfer transfer;
    transfer.sink = &sink;
    transfer.maxBytes = options.maxBytes;
    char errorBuffer[CURL_ERROR_SIZE] = {};

    lib->easy_setopt(curl, CURLOPT_URL, url.c_str());
    lib->easy_setopt(curl, CURLOPT_ERRORBUFFER, errorBuffer);
    lib->easy_setopt(curl, CURLOPT_PROTOCOLS_STR, options.httpsOnly ? "https" : "http,https");
    lib->easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    lib->easy_setopt(curl, CURLOPT_MAXREDIRS, 5L);
    lib->easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, StartsWithHttps(url) ? "https" : "http,https");
    lib->easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    lib->easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!options.trustedCertificates.empty()) {
        // Handed over as bytes, in place of the system's store: the TLS
        // library opens nothing by name.
        curl_blob blob{certificates.bytes.data(), certificates.bytes.size(), CURL_BLOB_COPY};
        lib->easy_setopt(curl, CURLOPT_CAPATH, static_cast<char*>(nullptr));
        if (lib->easy_setopt(curl, CURLOPT_CAINFO_BLOB, &blob) == CURLE_OK) {
            lib->easy_setopt(curl, CURLOPT_CAINFO, static_cast<char*>(nullptr));
        } else {
            // A TLS library that takes no bytes reads the file already open
            // and checked here, which cannot have become a pipe since.
            const std::string opened = "/proc/self/fd/" + std::to_string(certificates.fd);
            lib->easy_setopt(curl, CURLOPT_CAINFO, opened.c_str());
        }
    }
    lib->easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    lib->easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, options.connectTimeoutMs);
    lib->easy_setopt(curl, CURLOPT_TIMEOUT_MS, options.totalTimeoutMs);
    if (options.lowSpeedBytes > 0 && options.lowSpeedSeconds > 0) {
        lib->easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, options.lowSpeedBytes);
        lib->easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, options.lowSpeedSeconds);
    }
    lib->easy_setopt(curl, CURLOPT_WRITEFUNCTION, WriteBody);
    lib->easy_setopt(curl, CURLOPT_WRITEDATA, &transfer);

    CURLcode code = lib->easy_perform(curl);
    lib->easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &result.status);
    lib->easy_cleanup(curl);

    if (code != CURLE_OK) {
        if (transfer.refused && options.maxBytes != 0 && transfer.received > options.maxBytes) {
            result.error = "the file is larger than " + std::to_string(options.maxBytes) + " bytes";
            result.reason = "o arquivo tem mais de " + std::to_string(options.maxBytes) + " bytes";
        } else if (transfer.refused) {
            result.error = "the transfer was stopped";
            result.reason = "a transferência foi interrompida pelo programa";
        } else {
            result.error = errorBuffer[0] != '\0' ? std::string(errorBuffer) : std::string(lib->easy_strerror(code));
            result.reason = ReasonOf(code, result.error);
        }
        return result;
    }
    if (result.status < 200 || result.status > 299) {
        result.error = "HTTP status " + std::to_string(result.status);
        result.reason = result.status == 404 ? "o arquivo não existe no site (HTTP 404)"
                                             : "o site respondeu com o código HTTP " + std::to_string(result.status);
        return result;
    }
    result.ok = true;
    return result;
}

DownloadResult DownloadToString(const std::string& url, std::string& body, const DownloadOptions& options) {
    body.clear();
    return Download(
        url,
        [&body](const char* data, std::size_t size) {
            body.append(data, size);
            return true;
        },
        options);
}

// ---------------------------------------------------------------------------

namespace {

// libcrypto, opened with the first digest: only a program update checks one.
struct Crypto {
    SharedLibrary library{{"libcrypto.so.3"}, "conferir arquivos baixados"};
    decltype(&::EVP_MD_CTX_new) ctxNew = nullptr;
    decltype(&::EVP_MD_CTX_free) ctxFree = nullptr;
    decltype(&::EVP_sha256) sha256 = nullptr;
    decltype(&::EVP_DigestInit_ex) init = nullptr;
    decltype(&::EVP_DigestUpdate) update = nullptr;
    decltype(&::EVP_DigestFinal_ex) final = nullptr;
    Crypto() {
        library.Bind(ctxNew, "EVP_MD_CTX_new");
        library.Bind(ctxFree, "EVP_MD_CTX_free");
        library.Bind(sha256, "EVP_sha256");
        library.Bind(init, "EVP_DigestInit_ex");
        library.Bind(update, "EVP_DigestUpdate");
        library.Bind(final, "EVP_DigestFinal_ex");
    }
};

const Crypto& OpenCrypto() { return OpenOnce<Crypto>(); }

}  // namespace

Sha256::Sha256() {
    const Crypto& c = OpenCrypto();
    ctx_ = c.ctxNew();
    if (ctx_ == nullptr || c.init(static_cast<EVP_MD_CTX*>(ctx_), c.sha256(), nullptr) != 1) {
        if (ctx_ != nullptr) c.ctxFree(static_cast<EVP_MD_CTX*>(ctx_));
        throw Exception("SHA-256 is not available");
    }
}

// Only a constructed digest reaches here, so libcrypto is open.
Sha256::~Sha256() { OpenCrypto().ctxFree(static_cast<EVP_MD_CTX*>(ctx_)); }

void Sha256::Update(const void* data, std::size_t size) {
    if (size > 0) OpenCrypto().update(static_cast<EVP_MD_CTX*>(ctx_), data, size);
}

std::string Sha256::HexDigest() {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    OpenCrypto().final(static_cast<EVP_MD_CTX*>(ctx_), digest, &length);
    static const char* const kHex = "0123456789abcdef";
    std::string out;
    out.reserve(length * 2);
    for (unsigned i = 0; i < length; ++i) {
        out += kHex[digest[i] >> 4];
        out += kHex[digest[i] & 15];
    }
    return out;
}

std::string ReadCertificatesFile(const std::string& path) {
    Certificates c;
    ReadCertificates(path, c);
    return std::move(c.bytes);
}

std::string Sha256Hex(std::string_view bytes) {
    Sha256 h;
    h.Update(bytes);
    return h.HexDigest();
}

std::string Sha256File(const std::string& path) { return Sha256Hex(fileio::ReadFileBytes(path)); }

}  // namespace os
