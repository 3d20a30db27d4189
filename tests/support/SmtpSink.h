#pragma once
// An SMTP server on 127.0.0.1 for the e-mail tests: smtp_sink.py beside
// this file, run by the system's Python with aiosmtpd. Each message it
// receives is decoded by Python's email package into a summary of
// "key=value" lines (mailfrom and rcpt of the envelope; subject, from, to,
// cc, bcc, reply-to, body and attachment as Python decodes them)
// and its attachments are saved beside it.
#include <cstdio>
#include <string>
#include <vector>

namespace testsupport {

class SmtpSink {
public:
    enum class Security { Plain, StartTls };
    // With a user, the server requires that log-on and refuses others. With
    // StartTls it offers STARTTLS with the certificate CertificateFile()
    // names and takes the log-on only over TLS.
    explicit SmtpSink(const std::string& Folder, const std::string& User = {}, const std::string& Password = {},
                      Security Mode = Security::Plain);
    // The certificate the STARTTLS sink shows, for the client to trust.
    static std::string CertificateFile();
    // The log-ons the server was sent, whatever their outcome.
    int LogOnCount() const;
    ~SmtpSink();
    SmtpSink(const SmtpSink&) = delete;
    SmtpSink& operator=(const SmtpSink&) = delete;

    int Port() const { return port_; }
    // The summaries received so far, in order.
    int MessageCount() const;
    std::vector<std::string> Summary(int Index, const std::string& Key) const;
    // The bytes of attachment FileName of message Index.
    std::string Attachment(int Index, const std::string& FileName) const;

private:
    std::string folder_;
    FILE* pipe_ = nullptr;
    int port_ = 0;
};

}  // namespace testsupport
