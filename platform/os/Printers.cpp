#include "platform/os/Printers.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

extern char** environ;

namespace os {

namespace {

PrinterProvider* installed = nullptr;

void WaitFor(pid_t child, int& status) {
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
}

}  // namespace

bool ReadProgramOutput(const std::string& Program, const std::vector<std::string>& Args, std::string& Output,
                       int TimeoutMs) {
    Output.clear();
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return false;

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);

    std::vector<std::string> argvStore;
    argvStore.push_back(Program);
    argvStore.insert(argvStore.end(), Args.begin(), Args.end());
    std::vector<char*> argv;
    for (std::string& a : argvStore) argv.push_back(a.data());
    argv.push_back(nullptr);

    pid_t child = 0;
    int rc = Program.find('/') == std::string::npos
                 ? posix_spawnp(&child, Program.c_str(), &actions, nullptr, argv.data(), environ)
                 : posix_spawn(&child, Program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (rc != 0) {
        close(fds[0]);
        return false;
    }

    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(TimeoutMs);
    bool timedOut = false;
    char buffer[4096];
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            timedOut = true;
            break;
        }
        pollfd p{fds[0], POLLIN, 0};
        int ready = poll(&p, 1, static_cast<int>(left));
        if (ready < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (ready == 0) continue;  // the deadline is checked above
        ssize_t n = read(fds[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;  // end of output
        Output.append(buffer, static_cast<std::size_t>(n));
    }
    close(fds[0]);
    if (timedOut) kill(child, SIGKILL);
    int status = 0;
    WaitFor(child, status);
    if (timedOut) {
        Output.clear();
        return false;
    }
    // 127: the shell's "not found" of a spawn that could not exec.
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::vector<std::string> SystemPrinters::Printers() {
    std::string text;
    std::vector<std::string> names;
    if (!ReadProgramOutput("lpstat", {"-e"}, text, timeoutMs_)) return names;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) line.pop_back();
        if (!line.empty()) names.push_back(line);
        start = end + 1;
    }
    return names;
}

PrinterProvider& Printers() {
    static SystemPrinters system;
    return installed != nullptr ? *installed : system;
}

PrinterProvider* SetPrinterProvider(PrinterProvider* Provider) {
    PrinterProvider* previous = installed;
    installed = Provider;
    return previous;
}

}  // namespace os
