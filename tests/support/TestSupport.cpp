#include "tests/support/TestSupport.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <thread>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <ctime>
#include <unistd.h>

#include <cerrno>
#include <csignal>

namespace testsupport {

bool KilledInChild(const std::function<void()>& Work) {
    pid_t child = ::fork();
    if (child < 0) throw std::runtime_error("fork failed");
    if (child == 0) {
        try {
            Work();
        } catch (...) {
        }
        ::_exit(0);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

int EndedProcess() {
    pid_t child = ::fork();
    if (child < 0) throw std::runtime_error("fork failed");
    if (child == 0) ::_exit(0);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return child;
}

void AgeFile(const std::string& Path, long Seconds) {
    struct timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    struct timespec times[2] = {now, now};
    times[0].tv_sec -= Seconds;
    times[1].tv_sec -= Seconds;
    ::utimensat(AT_FDCWD, Path.c_str(), times, AT_SYMLINK_NOFOLLOW);
}

void AgeFolder(const std::filesystem::path& Folder, long Seconds) {
    std::error_code ec;
    for (std::filesystem::directory_iterator it(Folder, ec), end; !ec && it != end; it.increment(ec))
        AgeFile(it->path().string(), Seconds);
}

void WithWatchdog(int Seconds, const std::function<void()>& Work) {
    struct State {
        std::mutex m;
        std::condition_variable cv;
        bool done = false;
    };
    auto state = std::make_shared<State>();
    std::thread dog([state, Seconds] {
        std::unique_lock<std::mutex> lock(state->m);
        if (!state->cv.wait_for(lock, std::chrono::seconds(Seconds), [&] { return state->done; })) {
            std::fprintf(stderr, "\nwatchdog: the work under test never returned (it waits for ever)\n");
            std::fflush(stderr);
            ::_exit(99);
        }
    });
    auto finish = [&] {
        {
            std::lock_guard<std::mutex> lock(state->m);
            state->done = true;
        }
        state->cv.notify_all();
        dog.join();
    };
    try {
        Work();
    } catch (...) {
        finish();
        throw;
    }
    finish();
}

TempDir::TempDir() {
    static std::atomic<unsigned> counter{0};
    std::random_device rd;
    auto base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        auto candidate = base / ("fat-test-" + std::to_string(::getpid()) + "-" +
                                 std::to_string(counter++) + "-" + std::to_string(rd() % 100000));
        std::error_code ec;
        if (std::filesystem::create_directory(candidate, ec)) {
            path_ = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void WriteAll(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::string> CrLfLines(const std::string& text) {
    std::vector<std::string> out;
    std::size_t at = 0;
    for (std::size_t end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2)
        out.push_back(text.substr(at, end - at));
    return out;
}

std::string DataPath(const std::string& relative) {
    return std::string(FAT_TEST_DATA_DIR) + "/" + relative;
}

std::vector<std::string> Split(const std::string& s, char sep) {
    std::vector<std::string> out;
    std::size_t start = 0;
    for (;;) {
        const std::size_t p = s.find(sep, start);
        if (p == std::string::npos) {
            out.push_back(s.substr(start));
            return out;
        }
        out.push_back(s.substr(start, p - start));
        start = p + 1;
    }
}

std::vector<TableRow> LoadTable(const std::string& relative) {
    std::istringstream in(ReadAll(DataPath(relative)));
    std::vector<TableRow> rows;
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (line.empty()) continue;
        rows.push_back(TableRow{number, Split(line, '\t')});
    }
    return rows;
}

double DoubleFromHex(const std::string& hex) {
    const std::uint64_t bits = std::stoull(hex, nullptr, 16);
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

}  // namespace testsupport
