#include "platform/os/Process.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/rtl/SafeFile.h"

namespace os {

namespace {

// Where the child failed: before running the program (its working folder)
// or at running it.
enum Stage : int { kFolder = 1, kExec = 2 };

// Why the program did not start, as the user reads it.
std::string StartFailure(const std::string& program, const std::string& folder, int stage, int err) {
    if (stage == kFolder)
        return "Não foi possível entrar na pasta \"" + folder + "\" para iniciar o programa \"" + program +
               "\": " + fileio::SystemMessagePtBr(err) + ".";
    switch (err) {
    case ENOENT:
    case ENOTDIR: return "O programa \"" + program + "\" não foi encontrado neste computador.";
    case EACCES:
    case EPERM: return "O programa \"" + program + "\" não tem permissão para ser executado.";
    default:
        return "Não foi possível iniciar o programa \"" + program + "\": " + fileio::SystemMessagePtBr(err) + ".";
    }
}

std::string BaseName(const std::string& path) {
    std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string ReadSmallFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

bool IsInterpreter(const std::string& name) {
    static const char* const kNames[] = {"sh", "bash", "dash", "zsh", "ksh", "python", "python3", "perl", "env"};
    for (const char* n : kNames)
        if (name == n) return true;
    return name.rfind("python", 0) == 0;
}

// A zombie has finished; it only waits for its parent to collect it.
bool IsLive(const std::string& procDir) {
    std::string stat = ReadSmallFile(procDir + "/stat");
    std::size_t close = stat.rfind(')');
    if (close == std::string::npos || close + 2 >= stat.size()) return false;
    char state = stat[close + 2];
    return state != 'Z' && state != 'X';
}

}  // namespace

bool IsProgramRunning(const std::string& program) {
    std::string name = BaseName(program);
    if (name.empty()) return false;
    // The kernel keeps only 15 characters of the command name.
    std::string shortName = name.substr(0, 15);
    DIR* proc = opendir("/proc");
    if (!proc) return false;
    bool found = false;
    while (dirent* entry = readdir(proc)) {
        const char* d = entry->d_name;
        if (*d < '0' || *d > '9') continue;
        std::string dir = std::string("/proc/") + d;
        std::string cmdline = ReadSmallFile(dir + "/cmdline");
        std::vector<std::string> args;
        for (std::size_t start = 0; start < cmdline.size();) {
            std::size_t end = cmdline.find('\0', start);
            if (end == std::string::npos) end = cmdline.size();
            args.push_back(cmdline.substr(start, end - start));
            start = end + 1;
        }
        bool match = false;
        if (!args.empty()) {
            std::string arg0 = BaseName(args[0]);
            if (arg0 == name) match = true;
            else if (IsInterpreter(arg0) && args.size() > 1) {
                // "sh -e script": the script is the first argument that is no option.
                for (std::size_t i = 1; i < args.size(); ++i) {
                    if (!args[i].empty() && args[i][0] == '-') continue;
                    match = BaseName(args[i]) == name;
                    break;
                }
            }
        }
        if (!match && (args.empty() || name.size() <= 15)) {
            std::string comm = ReadSmallFile(dir + "/comm");
            while (!comm.empty() && (comm.back() == '\n' || comm.back() == '\r')) comm.pop_back();
            match = comm == shortName;
        }
        if (match && IsLive(dir)) {
            found = true;
            break;
        }
    }
    closedir(proc);
    return found;
}

std::string FindProgram(const std::string& program) {
    auto executable = [](const std::string& path) {
        struct stat st {};
        return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
    };
    if (program.empty()) return {};
    if (program.find('/') != std::string::npos) return executable(program) ? program : std::string();
    const char* env = getenv("PATH");
    std::string path = env ? env : "/usr/local/bin:/usr/bin:/bin";
    for (std::size_t start = 0; start <= path.size();) {
        std::size_t end = path.find(':', start);
        if (end == std::string::npos) end = path.size();
        // An empty entry is the current folder, as for the shell.
        std::string folder = end > start ? path.substr(start, end - start) : std::string(".");
        std::string candidate = folder + (folder.back() == '/' ? "" : "/") + program;
        if (executable(candidate)) return candidate;
        start = end + 1;
    }
    return {};
}

// The argument vector a child hands to exec: the program, its arguments and
// the closing null, pointing into store, which must outlive it.
static std::vector<char*> ArgvOf(const std::string& program, const std::vector<std::string>& args,
                                 std::vector<std::string>& store) {
    store.push_back(program);
    store.insert(store.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : store) argv.push_back(a.data());
    argv.push_back(nullptr);
    return argv;
}

bool StartProgram(const std::string& program, const std::vector<std::string>& args,
                  const std::string& folder, std::string* error) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        if (error) *error = StartFailure(program, folder, kExec, errno);
        return false;
    }
    std::vector<std::string> argvStore;
    std::vector<char*> argv = ArgvOf(program, args, argvStore);

    pid_t child = fork();
    if (child < 0) {
        if (error) *error = StartFailure(program, folder, kExec, errno);
        close(fds[0]);
        close(fds[1]);
        return false;
    }
    if (child == 0) {
        // The middle process leaves at once, so the program is nobody's child
        // here and never lingers as a zombie of this one.
        setsid();
        pid_t grandchild = fork();
        if (grandchild != 0) _exit(grandchild < 0 ? 1 : 0);
        signal(SIGPIPE, SIG_DFL);
        int failure[2] = {0, 0};  // stage, errno
        int& err = failure[1];
        if (!folder.empty() && chdir(folder.c_str()) != 0) {
            failure[0] = kFolder;
            err = errno;
        }
        if (err == 0) {
            int devnull = open("/dev/null", O_RDWR);
            if (devnull >= 0) {
                dup2(devnull, 0);
                dup2(devnull, 1);
                dup2(devnull, 2);
                if (devnull > 2) close(devnull);
            }
            // A bare name is looked up on PATH, as a shell would.
            if (program.find('/') == std::string::npos) execvp(program.c_str(), argv.data());
            else execv(program.c_str(), argv.data());
            failure[0] = kExec;
            err = errno;
        }
        ssize_t ignored = write(fds[1], failure, sizeof failure);
        (void)ignored;
        _exit(127);
    }
    close(fds[1]);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    int failure[2] = {0, 0};
    ssize_t n;
    do {
        n = read(fds[0], failure, sizeof failure);
    } while (n < 0 && errno == EINTR);
    close(fds[0]);
    if (n == static_cast<ssize_t>(sizeof failure)) {
        if (error) *error = StartFailure(program, folder, failure[0], failure[1]);
        return false;
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        if (error) *error = StartFailure(program, folder, kExec, EAGAIN);
        return false;
    }
    return true;
}

bool StartProgramChecked(const std::string& program, const std::vector<std::string>& args, int waitMs,
                         std::string* error) {
    int report[2], output[2];
    if (pipe2(report, O_CLOEXEC) != 0) {
        if (error) *error = StartFailure(program, {}, kExec, errno);
        return false;
    }
    if (pipe2(output, O_CLOEXEC) != 0) {
        if (error) *error = StartFailure(program, {}, kExec, errno);
        close(report[0]);
        close(report[1]);
        return false;
    }
    std::vector<std::string> argvStore;
    std::vector<char*> argv = ArgvOf(program, args, argvStore);

    pid_t middle = fork();
    if (middle < 0) {
        if (error) *error = StartFailure(program, {}, kExec, errno);
        for (int fd : {report[0], report[1], output[0], output[1]}) close(fd);
        return false;
    }
    if (middle == 0) {
        // The middle process watches the program for the time allowed, says
        // how it ended (or that it still runs) and leaves: the program is
        // then nobody's child here.
        setsid();
        int exec[2];
        if (pipe2(exec, O_CLOEXEC) != 0) _exit(127);
        pid_t program_pid = fork();
        if (program_pid == 0) {
            signal(SIGPIPE, SIG_DFL);
            int devnull = open("/dev/null", O_RDWR);
            if (devnull >= 0) {
                dup2(devnull, 0);
                dup2(devnull, 1);
                if (devnull > 2) close(devnull);
            }
            dup2(output[1], 2);
            if (program.find('/') == std::string::npos) execvp(program.c_str(), argv.data());
            else execv(program.c_str(), argv.data());
            int err = errno;
            ssize_t ignored = write(exec[1], &err, sizeof err);
            (void)ignored;
            _exit(127);
        }
        close(exec[1]);
        int outcome[2] = {0, 0};  // 0 still running / ended well, 1 failed (exit code), 2 exec errno
        int err = 0;
        if (program_pid < 0) {
            outcome[0] = 2;
            outcome[1] = errno;
        } else if (read(exec[0], &err, sizeof err) == static_cast<ssize_t>(sizeof err)) {
            outcome[0] = 2;
            outcome[1] = err;
        } else {
            for (int waited = 0; waited <= waitMs; waited += 20) {
                int status = 0;
                pid_t r = waitpid(program_pid, &status, WNOHANG);
                if (r == program_pid) {
                    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
                        outcome[0] = 1;
                        outcome[1] = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
                    }
                    break;
                }
                usleep(20000);
            }
        }
        ssize_t ignored = write(report[1], outcome, sizeof outcome);
        (void)ignored;
        _exit(0);
    }
    close(report[1]);
    close(output[1]);
    int status = 0;
    while (waitpid(middle, &status, 0) < 0 && errno == EINTR) {
    }
    int outcome[2] = {0, 0};
    ssize_t reported;
    do {
        reported = read(report[0], outcome, sizeof outcome);
    } while (reported < 0 && errno == EINTR);
    close(report[0]);
    // What the program said on its error output so far (it may still run and
    // hold the pipe: never wait for its end).
    std::string said;
    fcntl(output[0], F_SETFL, O_NONBLOCK);
    char buffer[512];
    ssize_t n;
    while ((n = read(output[0], buffer, sizeof buffer)) > 0 && said.size() < 4096)
        said.append(buffer, static_cast<std::size_t>(n));
    close(output[0]);
    if (reported != static_cast<ssize_t>(sizeof outcome)) {
        if (error) *error = StartFailure(program, {}, kExec, EAGAIN);
        return false;
    }
    if (outcome[0] == 2) {
        if (error) *error = StartFailure(program, {}, kExec, outcome[1]);
        return false;
    }
    if (outcome[0] == 1) {
        while (!said.empty() && (said.back() == '\n' || said.back() == '\r' || said.back() == ' ')) said.pop_back();
        if (error) *error = said;
        return false;
    }
    return true;
}

}  // namespace os
