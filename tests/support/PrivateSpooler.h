#pragma once
// A print service of the test's own: cupsd on an ephemeral port of
// 127.0.0.1 with one queue that writes each job as a PDF file into a
// folder, so printing tests can judge what reached the paper with pdfinfo
// and pdftoppm. It leaves the machine's own print service alone.
//
// cups-pdf writes files only under a spooler run as root and reads its
// settings only from /etc/cups, so the service starts only as root (as CI
// runs) with cupsd and cups-pdf installed; otherwise SkipReason() says why
// and the tests skip with it. One instance per test suite: starting takes
// a second or two.
#include <chrono>
#include <cstddef>
#include <filesystem>
#include <string>

#include <sys/types.h>

#include "tests/support/TestSupport.h"

namespace testsupport {

// What a shell command prints on its standard output.
std::string Shell(const std::string& Command);

class PrivateSpooler {
public:
    PrivateSpooler();
    ~PrivateSpooler();
    PrivateSpooler(const PrivateSpooler&) = delete;
    PrivateSpooler& operator=(const PrivateSpooler&) = delete;

    // Empty when the service runs; otherwise why it could not start.
    const std::string& SkipReason() const { return problem_; }
    bool Running() const { return problem_.empty(); }

    // The queue's name (also the service's default destination).
    const std::string& Queue() const { return queue_; }
    // "127.0.0.1:<port>", as a CUPS client takes a server.
    std::string Server() const;
    // Where the queue writes its PDF files.
    std::filesystem::path Out() const { return dir_.path() / "out"; }
    // A path for the test's own files, removed with the service.
    std::string File(const std::string& Name) const { return dir_.file(Name); }
    // The service's error log, for failure messages.
    std::string Log() const;

    // How many files the queue has written so far; take it before printing.
    std::size_t OutputCount() const;
    // The newest output once there are more than Before files and the newest
    // is whole (its size holds and pdfinfo reads it); empty on time-out.
    std::string WaitForOutput(std::size_t Before, std::chrono::seconds Timeout = std::chrono::seconds(60)) const;

private:
    TempDir dir_;
    std::string queue_;
    std::string config_;
    int port_ = 0;
    pid_t pid_ = 0;
    std::string problem_;
};

}  // namespace testsupport
