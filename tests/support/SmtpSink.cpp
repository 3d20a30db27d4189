#include "tests/support/SmtpSink.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace testsupport {

namespace {

std::string Quote(const std::string& Text) {
    std::string out = "'";
    for (char c : Text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

std::string ReadAll(const std::string& Path) {
    std::ifstream in(Path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

}  // namespace

std::string SmtpSink::CertificateFile() { return std::string(FAT_TEST_DATA_DIR) + "/tls/localhost.crt"; }

int SmtpSink::LogOnCount() const {
    std::ifstream in(folder_ + "/auth.txt");
    int n = 0;
    for (std::string line; std::getline(in, line);) ++n;
    return n;
}

SmtpSink::SmtpSink(const std::string& Folder, const std::string& User, const std::string& Password, Security Mode)
    : folder_(Folder) {
    std::filesystem::create_directories(folder_);
    const std::string script = std::string(FAT_TEST_DATA_DIR) + "/../support/smtp_sink.py";
    std::string command = "/usr/bin/python3 -W ignore " + Quote(script) + " " + Quote(folder_);
    if (!User.empty()) command += " " + Quote(User) + " " + Quote(Password);
    if (!User.empty() && Mode == Security::StartTls)
        command += " " + Quote(CertificateFile()) + " " + Quote(std::string(FAT_TEST_DATA_DIR) + "/tls/localhost.key");
    // The sink's standard input is our pipe: closing it stops the server;
    // its port comes back through a file.
    const std::string portFile = folder_ + "/port";
    command += " > " + Quote(portFile) + " 2>/dev/null";
    pipe_ = popen(command.c_str(), "w");
    if (pipe_ == nullptr) throw std::runtime_error("smtp sink: cannot start python");
    for (int i = 0; i < 200 && port_ == 0; ++i) {
        std::ifstream in(portFile);
        int port = 0;
        if (in >> port) port_ = port;
        else std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (port_ == 0) throw std::runtime_error("smtp sink: no port (is python3-aiosmtpd installed?)");
}

SmtpSink::~SmtpSink() {
    if (pipe_ != nullptr) pclose(pipe_);
}

int SmtpSink::MessageCount() const {
    int n = 0;
    while (std::filesystem::exists(folder_ + "/" + std::to_string(n) + ".txt")) ++n;
    return n;
}

std::vector<std::string> SmtpSink::Summary(int Index, const std::string& Key) const {
    std::vector<std::string> values;
    std::istringstream in(ReadAll(folder_ + "/" + std::to_string(Index) + ".txt"));
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(Key + "=", 0) == 0) values.push_back(line.substr(Key.size() + 1));
    return values;
}

std::string SmtpSink::Attachment(int Index, const std::string& FileName) const {
    return ReadAll(folder_ + "/" + std::to_string(Index) + "-" + FileName);
}

}  // namespace testsupport
