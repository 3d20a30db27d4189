// The two mail transports: the desktop's mail client through xdg-email,
// and SMTP over libcurl.
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstring>
#include <ctime>
#include <mutex>

#include "platform/os/CurlLibrary.h"
#include "platform/rtl/Format.h"
#include "platform/rtl/Strings.h"
#include "report_output/rpEmail.h"

extern char** environ;

namespace {

std::mutex& CommandLock() {
    static std::mutex lock;
    return lock;
}

std::string& CommandName() {
    static std::string name = "xdg-email";
    return name;
}

bool IsAscii(const std::string& Text) {
    for (unsigned char c : Text)
        if (c >= 0x80 || c < 0x20) return false;
    return true;
}

std::string Base64(const std::string& Bytes) {
    static const char* table = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    std::size_t i = 0;
    for (; i + 2 < Bytes.size(); i += 3) {
        const unsigned v = (static_cast<unsigned char>(Bytes[i]) << 16) |
                           (static_cast<unsigned char>(Bytes[i + 1]) << 8) | static_cast<unsigned char>(Bytes[i + 2]);
        out += table[(v >> 18) & 63];
        out += table[(v >> 12) & 63];
        out += table[(v >> 6) & 63];
        out += table[v & 63];
    }
    if (i < Bytes.size()) {
        unsigned v = static_cast<unsigned char>(Bytes[i]) << 16;
        if (i + 1 < Bytes.size()) v |= static_cast<unsigned char>(Bytes[i + 1]) << 8;
        out += table[(v >> 18) & 63];
        out += table[(v >> 12) & 63];
        out += i + 1 < Bytes.size() ? table[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

// "Name <address>", the name encoded when it needs to be.
std::string Mailbox(const std::string& Name, const std::string& Address) {
    if (Name.empty()) return "<" + Address + ">";
    std::string name = rpEncodeHeaderWord(Name);
    if (name == Name) name = "\"" + Name + "\"";
    return name + " <" + Address + ">";
}

std::string AddressList(TStrings* List) {
    std::string out;
    for (int i = 0; i < List->Count(); ++i) {
        if (!out.empty()) out += ", ";
        out += List->Strings(i);
    }
    return out;
}

// The address inside "Name <address>", or the text itself.
std::string BareAddress(const std::string& Text) {
    const auto open = Text.find('<');
    const auto close = Text.rfind('>');
    if (open != std::string::npos && close != std::string::npos && close > open)
        return Text.substr(open + 1, close - open - 1);
    return Text;
}

std::string RfcDate() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    static const char* days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const long offset = tm.tm_gmtoff / 60;
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%s, %02d %s %04d %02d:%02d:%02d %c%02ld%02ld", days[tm.tm_wday], tm.tm_mday,
                  months[tm.tm_mon], tm.tm_year + 1900, tm.tm_hour, tm.tm_min, tm.tm_sec, offset < 0 ? '-' : '+',
                  std::labs(offset) / 60, std::labs(offset) % 60);
    return buffer;
}

std::string JoinBody(TStrings* Body) {
    std::string out;
    for (int i = 0; i < Body->Count(); ++i) {
        out += Body->Strings(i);
        out += "\r\n";
    }
    return out;
}

// libcurl, opened on the first message; nullptr, with the reason in Error,
// when the system lacks it.
const os::CurlLibrary* OpenCurl(std::string& Error) {
    const os::CurlLibrary* lib = os::Curl(Error);
    if (lib == nullptr) Error = "Falha no envio do e-mail: " + Error;
    return lib;
}

// A fresh libcurl handle; nullptr, with the reason in Error, when the
// library is missing or cannot make one.
CURL* StartCurl(const os::CurlLibrary*& Lib, std::string& Error) {
    Lib = OpenCurl(Error);
    if (Lib == nullptr) return nullptr;
    CURL* curl = Lib->easy_init();
    if (curl == nullptr) Error = "Falha no envio do e-mail: libcurl indisponível.";
    return curl;
}

// The connection, security and log-on options every exchange shares.
void SetConnection(const os::CurlLibrary* lib, CURL* curl, const TrpSMTPCurl& Transport, char* ErrorBuffer) {
    lib->easy_setopt(curl, CURLOPT_URL, Transport.Url().c_str());
    lib->easy_setopt(curl, CURLOPT_ERRORBUFFER, ErrorBuffer);
    lib->easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    lib->easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, 30L);
    // Plain connections are upgraded when the server offers STARTTLS. A
    // log-on needs it: the user and password never travel in clear, so a
    // server without TLS is used only without a log-on.
    const bool logOn = !Transport.UserName.empty();
    lib->easy_setopt(curl, CURLOPT_USE_SSL, static_cast<long>(logOn ? CURLUSESSL_ALL : CURLUSESSL_TRY));
    lib->easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    lib->easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!Transport.TrustedCertificates.empty())
        lib->easy_setopt(curl, CURLOPT_CAINFO, Transport.TrustedCertificates.c_str());
    if (logOn) {
        lib->easy_setopt(curl, CURLOPT_USERNAME, Transport.UserName.c_str());
        lib->easy_setopt(curl, CURLOPT_PASSWORD, Transport.Password.c_str());
    }
}

std::string CurlText(const os::CurlLibrary* lib, CURLcode Code, const char* Buffer) {
    if (Code == CURLE_USE_SSL_FAILED)
        return "Falha no envio do e-mail: o servidor não oferece conexão segura (TLS); o usuário e a senha "
               "não foram enviados. Use um servidor com TLS ou envie sem usuário.";
    std::string text = Buffer != nullptr && Buffer[0] != '\0' ? Buffer : lib->easy_strerror(Code);
    return "Falha no envio do e-mail: " + text;
}

}  // namespace

std::string rpEncodeHeaderWord(const std::string& Text) {
    if (IsAscii(Text)) return Text;
    // Encoded words stay within 75 characters: at most 45 bytes each, cut
    // only between whole UTF-8 characters.
    std::string out;
    std::size_t start = 0;
    while (start < Text.size()) {
        std::size_t end = std::min(Text.size(), start + 45);
        while (end < Text.size() && (static_cast<unsigned char>(Text[end]) & 0xC0) == 0x80) --end;
        if (!out.empty()) out += ' ';
        out += "=?UTF-8?B?" + Base64(Text.substr(start, end - start)) + "?=";
        start = end;
    }
    return out;
}

// --- xdg-email ---

const std::string& TrpSMTPXdgEmail::Command() {
    std::lock_guard<std::mutex> guard(CommandLock());
    return CommandName();
}

void TrpSMTPXdgEmail::SetCommand(const std::string& Value) {
    std::lock_guard<std::mutex> guard(CommandLock());
    CommandName() = Value.empty() ? "xdg-email" : Value;
}

bool TrpSMTPXdgEmail::SendMail(TrpEmailMessage* Message) {
    SetLastError("");
    std::string command;
    {
        std::lock_guard<std::mutex> guard(CommandLock());
        command = CommandName();
    }
    std::vector<std::string> args{command, "--utf8"};
    for (int i = 0; i < Message->CarbonCopy()->Count(); ++i) args.insert(args.end(), {"--cc", Message->CarbonCopy()->Strings(i)});
    for (int i = 0; i < Message->BlindCarbonCopy()->Count(); ++i)
        args.insert(args.end(), {"--bcc", Message->BlindCarbonCopy()->Strings(i)});
    if (!Message->Subject.empty()) args.insert(args.end(), {"--subject", Message->Subject});
    const std::string body = Message->Body()->Text();
    if (!body.empty()) args.insert(args.end(), {"--body", body});
    for (int i = 0; i < Message->Attachments()->Count(); ++i)
        args.insert(args.end(), {"--attach", Message->Attachments()->Strings(i)});
    for (int i = 0; i < Message->Recipients()->Count(); ++i) args.push_back(Message->Recipients()->Strings(i));

    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, command.c_str(), nullptr, nullptr, argv.data(), environ);
    if (rc != 0) {
        SetLastError("O programa \"" + command + "\" não foi encontrado neste computador.");
        return false;
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return true;
    SetLastError(Format("O programa de e-mail \"%s\" terminou com o código %d.", command,
                        WIFEXITED(status) ? WEXITSTATUS(status) : -1));
    return false;
}

// --- SMTP ---

std::string TrpSMTPCurl::Url() const {
    if (HostAddress.rfind("smtp://", 0) == 0 || HostAddress.rfind("smtps://", 0) == 0) return HostAddress;
    return "smtp://" + HostAddress;
}

bool TrpSMTPCurl::LogOn() {
    SetLastError("");
    std::string startError;
    const os::CurlLibrary* lib = nullptr;
    CURL* curl = StartCurl(lib, startError);
    if (curl == nullptr) {
        SetLastError(startError);
        return false;
    }
    char error[CURL_ERROR_SIZE] = {0};
    SetConnection(lib, curl, *this, error);
    // A command that changes nothing: the connection and the log-on are the test.
    lib->easy_setopt(curl, CURLOPT_CUSTOMREQUEST, "NOOP");
    lib->easy_setopt(curl, CURLOPT_NOBODY, 1L);
    // The server's answer to it is not wanted on the standard output.
    lib->easy_setopt(curl, CURLOPT_WRITEFUNCTION,
                     +[](char*, size_t Size, size_t Count, void*) -> size_t { return Size * Count; });
    const CURLcode code = lib->easy_perform(curl);
    lib->easy_cleanup(curl);
    connected_ = code == CURLE_OK;
    if (!connected_) SetLastError(CurlText(lib, code, error));
    return connected_;
}

bool TrpSMTPCurl::LogOff() {
    connected_ = false;
    return true;
}

bool TrpSMTPCurl::SendMail(TrpEmailMessage* Message) {
    SetLastError("");
    if (PreviewInEmailClient) {
        TrpSMTPXdgEmail client;
        const bool ok = client.SendMail(Message);
        SetLastError(client.LastError());
        return ok;
    }
    std::string startError;
    const os::CurlLibrary* lib = nullptr;
    CURL* curl = StartCurl(lib, startError);
    if (curl == nullptr) {
        SetLastError(startError);
        return false;
    }
    char error[CURL_ERROR_SIZE] = {0};
    SetConnection(lib, curl, *this, error);

    const std::string from = "<" + BareAddress(Message->FromAddress) + ">";
    lib->easy_setopt(curl, CURLOPT_MAIL_FROM, from.c_str());
    curl_slist* rcpt = nullptr;
    for (TStrings* list : {static_cast<TStrings*>(Message->Recipients()), static_cast<TStrings*>(Message->CarbonCopy()),
                           static_cast<TStrings*>(Message->BlindCarbonCopy())})
        for (int i = 0; i < list->Count(); ++i)
            rcpt = lib->slist_append(rcpt, ("<" + BareAddress(list->Strings(i)) + ">").c_str());
    lib->easy_setopt(curl, CURLOPT_MAIL_RCPT, rcpt);

    // BCC travels in the envelope only.
    curl_slist* headers = nullptr;
    auto header = [&headers, lib](const std::string& Line) { headers = lib->slist_append(headers, Line.c_str()); };
    header("Date: " + RfcDate());
    header("From: " + Mailbox(Message->FromName, BareAddress(Message->FromAddress)));
    if (Message->Recipients()->Count() > 0) header("To: " + AddressList(Message->Recipients()));
    if (Message->CarbonCopy()->Count() > 0) header("Cc: " + AddressList(Message->CarbonCopy()));
    if (!Message->ReplyTo.empty()) header("Reply-To: " + Message->ReplyTo);
    header("Subject: " + rpEncodeHeaderWord(Message->Subject));
    lib->easy_setopt(curl, CURLOPT_HTTPHEADER, headers);

    curl_mime* mime = lib->mime_init(curl);
    curl_mimepart* text = lib->mime_addpart(mime);
    const std::string body = JoinBody(Message->Body());
    lib->mime_data(text, body.c_str(), body.size());
    lib->mime_type(text, "text/plain; charset=UTF-8");
    lib->mime_encoder(text, "quoted-printable");
    for (int i = 0; i < Message->Attachments()->Count(); ++i) {
        curl_mimepart* part = lib->mime_addpart(mime);
        const std::string& path = Message->Attachments()->Strings(i);
        lib->mime_filedata(part, path.c_str());
        const auto dot = path.rfind('.');
        const std::string ext = dot == std::string::npos ? "" : LowerCase(path.substr(dot + 1));
        lib->mime_type(part, ext == "pdf" ? "application/pdf" : "application/octet-stream");
        lib->mime_encoder(part, "base64");
    }
    lib->easy_setopt(curl, CURLOPT_MIMEPOST, mime);
    lib->easy_setopt(curl, CURLOPT_UPLOAD, 1L);

    const CURLcode code = lib->easy_perform(curl);
    lib->mime_free(mime);
    lib->slist_free_all(headers);
    lib->slist_free_all(rcpt);
    lib->easy_cleanup(curl);
    if (code != CURLE_OK) {
        SetLastError(CurlText(lib, code, error));
        return false;
    }
    return true;
}
