#pragma once
// Shared fixtures for every test binary.
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace testsupport {

// A fresh folder under the system's temporary folder, removed with its contents
// when the object goes out of scope.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

// The whole content of a file, as bytes; empty when it cannot be read.
std::string ReadAll(const std::string& path);
void WriteAll(const std::string& path, const std::string& bytes);

// The lines of a text whose lines end with CR LF (what follows the last CR LF
// is not a line). A CR or form feed inside a line stays in it.
std::vector<std::string> CrLfLines(const std::string& text);

// Runs Work in a forked child and returns true when the child was killed
// (SIGKILL, what a test's fault raises), false when it ran to its end. The
// child ends without destructors or sanitizer report: the parent judges what
// it left. Work must not touch anything the parent's other threads hold (no
// window system).
bool KilledInChild(const std::function<void()>& Work);

// A process id that runs nothing here: a child that has ended.
int EndedProcess();

// Runs Work here, with a watchdog that ends the whole test program (exit
// status 99, after saying so) when Work has not returned after Seconds: a
// regression that waits for ever fails instead of stalling the suite.
// Nothing about the time taken is asserted otherwise.
void WithWatchdog(int Seconds, const std::function<void()>& Work);

// A day and more passing for leftovers: makes the file (never followed if a
// link), or every entry of the folder, look last changed `Seconds` ago. A
// leftover is taken for abandoned only once unchanged for a day
// (fileio::ClaimAbandoned); a test of what a later run clears after a kill
// lets that day pass this way.
void AgeFile(const std::string& Path, long Seconds = 2L * 24 * 60 * 60);
void AgeFolder(const std::filesystem::path& Folder, long Seconds = 2L * 24 * 60 * 60);

// A file under tests/data/.
std::string DataPath(const std::string& relative);

// One line of a table another program printed: its fields split at TAB.
struct TableRow {
    int line = 0;
    std::vector<std::string> f;
};
// The non-empty lines of a table under tests/data/.
std::vector<TableRow> LoadTable(const std::string& relative);
std::vector<std::string> Split(const std::string& s, char sep);
// The double whose IEEE bits a table wrote in hexadecimal.
double DoubleFromHex(const std::string& hex);

}  // namespace testsupport
