#include "platform/rtl/SafeFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <ctime>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

namespace fileio {

namespace {

namespace fs = std::filesystem;

thread_local int lastFailure = 0;

std::string CreateMessage(const std::string& name, int err) {
    lastFailure = err;
    return "Cannot create file \"" + name + "\". " + SystemMessage(err);
}

std::string OpenMessage(const std::string& name, int err) {
    return "Cannot open file \"" + name + "\". " + SystemMessage(err);
}

// The process umask without changing it (umask() cannot be read without a
// write, which would race with other threads creating files).
mode_t CurrentUmask() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Umask:", 0) == 0) {
            return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8));
        }
    }
    return 022;
}

WriteStepHook& Hook() {
    static WriteStepHook hook;
    return hook;
}

std::string TempPrefix(const fs::path& target) { return "." + target.filename().string() + ".tmp-"; }

}  // namespace

int RenameNoReplace(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return errno;
    // A file system without the flag: a second link cannot replace either.
    if (::link(from.c_str(), to.c_str()) != 0) return errno;
    if (::unlink(from.c_str()) != 0) {
        int err = errno;
        ::unlink(to.c_str());
        return err;
    }
    return 0;
}

int LastFileError() { return lastFailure; }

void ClearLastFileError() { lastFailure = 0; }

std::string SaveFailureMessage(const std::string& path, int err, bool creating) {
    return std::string(creating ? "Não foi possível criar o arquivo \"" : "Não foi possível gravar o arquivo \"") + path +
           "\": " + SystemMessagePtBr(err) + ". O arquivo que havia com esse nome, se havia um, continua como estava.";
}

void SetWriteStepHook(WriteStepHook hook) { Hook() = std::move(hook); }

void NoteWriteStep(WriteStep step, int fd, const std::string& target) {
    if (Hook()) Hook()(step, fd, target);
}

long WriterOf(const std::string& name, const std::string& prefix) {
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) return 0;
    long pid = 0;
    std::size_t i = prefix.size();
    for (; i < name.size() && name[i] >= '0' && name[i] <= '9' && pid < 100000000; ++i) pid = pid * 10 + (name[i] - '0');
    return i < name.size() && name[i] == '-' ? pid : 0;
}

bool WriterGone(long pid) {
    if (pid <= 0 || pid == static_cast<long>(::getpid())) return false;
    // Another user's running process answers EPERM: it is not gone.
    return ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}

int KeepOffStandardSlots(int fd) {
    if (fd < 0 || fd > STDERR_FILENO) return fd;
    int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    if (moved < 0) return fd;
    // The lock a writer took stays with the open file, not its number.
    ::close(fd);
    for (;;) {
        int null = ::open("/dev/null", O_RDWR);
        if (null < 0) break;
        if (null > STDERR_FILENO) {
            ::close(null);
            break;
        }
    }
    return moved;
}

// The writer of a temporary file holds a lock on it from its creation to its
// rename. An open-file-description lock: closing another descriptor of the
// same file in this process (a look at a leftover) never drops it, and a
// shared folder's server that passes locks on shows it to every machine,
// whose process ids mean nothing here.
bool TakeWriterLock(int fd, long start, long length) {
    struct flock fl {};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = static_cast<off_t>(start);
    fl.l_len = static_cast<off_t>(length);
    return ::fcntl(fd, F_OFD_SETLK, &fl) == 0;
}

namespace {
std::string& MachineForTests() {
    static std::string name;
    return name;
}
}  // namespace

const std::string& ThisMachine() {
    static const std::string machine = [] {
        char host[256] = {};
        ::gethostname(host, sizeof host - 1);
        std::string id;
        if (std::FILE* f = std::fopen("/etc/machine-id", "re")) {
            char line[64] = {};
            if (std::fgets(line, sizeof line, f) != nullptr) id = line;
            std::fclose(f);
        }
        while (!id.empty() && (id.back() == '\n' || id.back() == ' ')) id.pop_back();
        std::string name = std::string(host) + (id.empty() ? "" : "/" + id);
        // One word, as records beside shared files keep it.
        for (char& c : name)
            if (static_cast<unsigned char>(c) <= ' ') c = '_';
        return name;
    }();
    return MachineForTests().empty() ? machine : MachineForTests();
}

void SetThisMachineForTests(const std::string& name) { MachineForTests() = name; }

bool UnchangedForLong(const struct stat& st) {
    struct timespec now {};
    if (::clock_gettime(CLOCK_REALTIME, &now) != 0) return false;
    // A change stamped ahead of this clock (another machine's, or the
    // server's) is a fresh one.
    return static_cast<long long>(now.tv_sec) - static_cast<long long>(st.st_mtim.tv_sec) >= kAbandonedAfterSeconds;
}

namespace {

bool SameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

}  // namespace

int ClaimAbandoned(const std::string& path) {
    // Looked at by name first: a file being written is never opened, so no
    // descriptor of this process comes near another writer's file (closing
    // one would drop the engine's own locks on it, were it this process's).
    struct stat before {};
    if (::lstat(path.c_str(), &before) != 0 || !S_ISREG(before.st_mode) || !UnchangedForLong(before)) return -1;
    int fd = ::open(path.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return -1;
    // Judged again once the lock is held: a writer that took the file up
    // meanwhile has changed it, or holds the lock.
    struct stat st {}, now {};
    if (!TakeWriterLock(fd) || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || !SameFile(st, before) ||
        !UnchangedForLong(st) || ::lstat(path.c_str(), &now) != 0 || !SameFile(st, now)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

namespace {

std::vector<std::string> TemporaryNames(const std::string& target) {
    std::vector<std::string> found;
    fs::path t(target);
    fs::path dir = t.parent_path().empty() ? fs::path(".") : t.parent_path();
    const std::string prefix = TempPrefix(t);
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        std::string name = it->path().filename().string();
        if (WriterOf(name, prefix) > 0) found.push_back(it->path().string());
    }
    return found;
}

}  // namespace

std::vector<std::string> OrphanedTemporaries(const std::string& target) {
    std::vector<std::string> found;
    for (const std::string& path : TemporaryNames(target)) {
        int fd = ClaimAbandoned(path);
        if (fd < 0) continue;
        ::close(fd);
        found.push_back(path);
    }
    return found;
}

void RemoveOrphanedTemporaries(const std::string& target) {
    // Removed while its lock is held here: a writer that has just made a
    // file of that name and not yet locked it finds, once it holds the
    // lock, that its name is gone, and makes another.
    for (const std::string& path : TemporaryNames(target)) {
        int fd = ClaimAbandoned(path);
        if (fd < 0) continue;
        ::unlink(path.c_str());
        ::close(fd);
    }
}

std::string SystemMessage(int err) {
    char buf[256];
    // GNU strerror_r returns the message, which may not be in buf.
    const char* msg = strerror_r(err, buf, sizeof buf);
    return msg ? std::string(msg) : std::string("Error ") + std::to_string(err);
}

std::string SystemMessagePtBr(int err) {
    switch (err) {
    case ENOENT: return "arquivo ou pasta inexistente";
    case EACCES:
    case EPERM: return "permissão negada";
    case EROFS: return "o disco ou a pasta é somente leitura";
    case ENOSPC: return "não há espaço livre no disco";
    case EDQUOT: return "a cota de disco do usuário se esgotou";
    case EISDIR: return "o nome é de uma pasta";
    case ENOTDIR: return "uma parte do caminho não é uma pasta";
    case EEXIST: return "o arquivo já existe";
    case ENOEXEC: return "o arquivo não é um programa que este computador execute";
    case ETXTBSY: return "o arquivo está em uso por um programa em execução";
    case EBUSY: return "o recurso está em uso";
    case EIO: return "erro de leitura ou gravação no disco";
    case ENAMETOOLONG: return "o nome do arquivo é longo demais";
    case ELOOP: return "o caminho tem atalhos (links) demais";
    case EMFILE:
    case ENFILE: return "há arquivos abertos demais";
    case ENOMEM: return "falta memória";
    case EAGAIN: return "o sistema está sem recursos no momento; tente novamente";
    case ENOLCK: return "a pasta não oferece travas de arquivo (uma pasta compartilhada sem esse serviço)";
    case EOPNOTSUPP: return "a operação não é permitida nessa pasta";
    default: return "erro " + std::to_string(err) + " do sistema (" + SystemMessage(err) + ")";
    }
}

unsigned PrivateFileMode(const std::string& path) {
    fs::path folder = fs::path(path).parent_path();
    struct stat st {};
    if (::stat(folder.empty() ? "." : folder.c_str(), &st) == 0 && (st.st_mode & S_ISGID) != 0) return 0660;
    return 0600;
}

unsigned PrivateFolderMode(const std::string& path) {
    return PrivateFileMode(path) == 0660 ? 02770 : 0700;
}

int MakeFolders(const std::string& path) {
    fs::path full = fs::path(path).lexically_normal();
    fs::path made;
    for (const fs::path& part : full) {
        made /= part;
        if (part.empty() || part == "/" || part == "." || part == "..") continue;
        if (::mkdir(made.c_str(), 0700) == 0) {
            // mkdir's mode passes through the umask; the rule's does not.
            if (::chmod(made.c_str(), PrivateFolderMode(made.string())) != 0) return errno;
            continue;
        }
        int err = errno;
        struct stat st {};
        if (err == EEXIST && ::stat(made.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) continue;
        return err == EEXIST ? ENOTDIR : err;
    }
    return 0;
}

namespace {

const char* NonRegularKind(const struct stat& st) {
    return S_ISFIFO(st.st_mode) ? "um pipe (FIFO)" : S_ISSOCK(st.st_mode) ? "um socket" : "um dispositivo";
}

[[noreturn]] void RefuseNonRegular(const std::string& path, const struct stat& st) {
    const char* what = NonRegularKind(st);
    throw EFCreateError("O arquivo \"" + path + "\" não foi gravado: com esse nome existe " + what +
                        ", não um arquivo comum, e nada é gravado nele. Escolha outro nome de arquivo.");
}

}  // namespace

std::string NotAFileMessage(const std::string& path, const struct stat& st) {
    return "O arquivo \"" + path + "\" não pode ser lido: com esse nome existe " + std::string(NonRegularKind(st)) +
           ", não um arquivo comum.";
}

void RefuseNonRegularTarget(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || S_ISREG(st.st_mode) || S_ISDIR(st.st_mode)) return;
    RefuseNonRegular(path, st);
}

AtomicFile::AtomicFile(std::string target, bool regularFileOnly)
    : target_(target), shownName_(std::move(target)) {
    // Renaming over a device or a pipe would put a plain file in its place:
    // those are written directly.
    // The open never waits (a pipe nobody reads, a line without carrier):
    // what cannot be opened at once is refused. A device is then written as
    // usual (a printer takes its time); a pipe never: what its reader does
    // not take at once fails the write instead of holding the program.
    auto openDirect = [this](int follow) {
        int fd = ::open(target_.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC | follow);
        if (fd < 0 && (errno == EACCES || errno == EINVAL || errno == EPERM)) {
            fd = ::open(target_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | follow);
        }
        if (fd < 0) throw EFCreateError(CreateMessage(shownName_, errno));
        fd = KeepOffStandardSlots(fd);
        struct stat opened {};
        int flags = ::fcntl(fd, F_GETFL);
        if (::fstat(fd, &opened) == 0 && !S_ISFIFO(opened.st_mode) && flags >= 0)
            ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
        return fd;
    };
    // A link at the name is never followed to a file: in a shared folder it
    // may be another user's, pointing at a file of ours, and the kernel's
    // guard against that only covers links it follows itself. The rename
    // puts the new file in the link's place.
    struct stat st {};
    if (::lstat(target_.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        // A device's other name (a printer's under /dev) is opened by the
        // kernel following the link, with that guard; what turns out to be
        // a file after all is not written through.
        struct stat to {};
        if (::stat(target_.c_str(), &to) == 0 && !S_ISREG(to.st_mode) && !S_ISDIR(to.st_mode)) {
            if (regularFileOnly) RefuseNonRegular(shownName_, to);
            int fd = openDirect(0);
            if (::fstat(fd, &to) == 0 && !S_ISREG(to.st_mode)) {
                fd_ = fd;
                direct_ = true;
                return;
            }
            ::close(fd);
        }
    } else if (::lstat(target_.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) throw EFCreateError(CreateMessage(shownName_, EISDIR));
        if (!S_ISREG(st.st_mode)) {
            if (regularFileOnly) RefuseNonRegular(shownName_, st);
            fd_ = openDirect(O_NOFOLLOW);
            direct_ = true;
            return;
        }
        // A read-only file stays read-only: renaming over it would bypass that.
        if (::access(target_.c_str(), W_OK) != 0) throw EFCreateError(CreateMessage(shownName_, errno));
        targetExisted_ = true;
        oldMode_ = st.st_mode & 07777;
        oldUid_ = st.st_uid;
        oldGid_ = st.st_gid;
    }

    fs::path t(target_);
    fs::path dir = t.parent_path();
    std::string base = t.filename().string();
    if (base.empty()) throw EFCreateError(CreateMessage(shownName_, EISDIR));
    RemoveOrphanedTemporaries(target_);
    std::string pattern = (dir.empty() ? std::string() : dir.string() + "/") + TempPrefix(t) +
                          std::to_string(::getpid()) + "-XXXXXX";
    for (int attempt = 0;; ++attempt) {
        std::vector<char> buf(pattern.begin(), pattern.end());
        buf.push_back('\0');
        int fd = KeepOffStandardSlots(::mkostemp(buf.data(), O_CLOEXEC));
        if (fd < 0) throw EFCreateError(CreateMessage(shownName_, errno));
        // Locked before anything is written, and held until the rename: the
        // lock, not the process id in the name, tells another machine's
        // writer that this file is being written. A file system that keeps
        // no locks (ENOLCK) cannot tell anyone, and nobody removes the file.
        struct stat mine {}, now {};
        bool locked = TakeWriterLock(fd);
        if ((!locked && errno != ENOLCK && errno != EINVAL && errno != EOPNOTSUPP) ||
            (locked && (::fstat(fd, &mine) != 0 || ::lstat(buf.data(), &now) != 0 || !SameFile(mine, now)))) {
            // Taken for a leftover by a writer that looked in between: removed or about to be.
            ::close(fd);
            if (attempt < 100) continue;
            throw EFCreateError(CreateMessage(shownName_, EBUSY));
        }
        fd_ = fd;
        temp_ = buf.data();
        return;
    }
}

AtomicFile::~AtomicFile() { Discard(); }

void AtomicFile::Write(const void* data, std::size_t size) {
    if (fd_ < 0) throw EWriteError("Cannot write file \"" + shownName_ + "\". " + SystemMessage(EBADF));
    const char* p = static_cast<const char*>(data);
    NoteWriteStep(WriteStep::BeforeWrite, fd_, target_);
    while (size > 0) {
        ssize_t n = ::write(fd_, p, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            int err = errno;
            lastFailure = err;
            NoteWriteStep(WriteStep::AfterWrite, fd_, target_);
            throw EWriteError("Cannot write file \"" + shownName_ + "\". " + SystemMessage(err));
        }
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    NoteWriteStep(WriteStep::AfterWrite, fd_, target_);
}

void AtomicFile::Commit() { Finish(true); }

bool AtomicFile::CommitNoReplace() {
    if (direct_) {
        Discard();
        return false;
    }
    return Finish(false);
}

bool AtomicFile::Finish(bool replace) {
    if (committed_) return true;
    auto fail = [this](int err) {
        lastFailure = err;
        Discard();
        throw EWriteError("Cannot write file \"" + shownName_ + "\". " + SystemMessage(err));
    };
    if (fd_ < 0) fail(EBADF);
    if (direct_) {
        int fd = fd_;
        fd_ = -1;
        committed_ = true;
        if (::close(fd) != 0) throw EWriteError("Cannot write file \"" + shownName_ + "\". " + SystemMessage(errno));
        return true;
    }

    if (targetExisted_) {
        // Ownership can only be kept by a privileged process; the mode always.
        if (::fchown(fd_, oldUid_, oldGid_) != 0) { /* not ours to change */ }
        if (::fchmod(fd_, oldMode_) != 0) fail(errno);
    } else {
        unsigned mode = newFileModeExact_ ? newFileMode_ : newFileMode_ & ~CurrentUmask();
        if (::fchmod(fd_, mode & 07777) != 0) fail(errno);
    }
    if (::fsync(fd_) != 0) fail(errno);
    // The descriptor, and with it the writer's lock, stays open until the
    // rename: until then another writer must not take the file for a leftover.
    NoteWriteStep(WriteStep::BeforeRename, -1, target_);
    if (replace) {
        if (::rename(temp_.c_str(), target_.c_str()) != 0) fail(errno);
    } else if (int err = RenameNoReplace(temp_, target_); err != 0) {
        if (err != EEXIST) fail(err);
        Discard();
        return false;
    }
    committed_ = true;
    int fd = fd_;
    fd_ = -1;
    // Synced already: what close could still report concerns nothing unwritten.
    ::close(fd);
    NoteWriteStep(WriteStep::AfterRename, -1, target_);

    // The rename itself reaches the disk with the folder.
    std::string dir = fs::path(target_).parent_path().string();
    int dfd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
    return true;
}

void AtomicFile::Discard() noexcept {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!committed_ && !temp_.empty()) {
        ::unlink(temp_.c_str());
        temp_.clear();
    }
}

std::string ReadFileBytes(const std::string& path) {
    // Opened without waiting: a pipe at the name would hold the open (or the
    // first read) until some other program wrote into it.
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) throw EFOpenError(OpenMessage(path, errno));
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        throw EFOpenError(OpenMessage(path, EISDIR));
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        throw EFOpenError(NotAFileMessage(path, st));
    }
    int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    std::string out;
    if (st.st_size > 0) out.reserve(static_cast<std::size_t>(st.st_size));
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            int err = errno;
            ::close(fd);
            throw EReadError("Cannot read file \"" + path + "\". " + SystemMessage(err));
        }
        if (n == 0) break;
        out.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return out;
}

void WriteFileAtomic(const std::string& path, std::string_view bytes, bool privateNewFile) {
    AtomicFile file(path);
    if (privateNewFile) file.SetNewFileMode(PrivateFileMode(path), true);
    file.Write(bytes);
    file.Commit();
}

}  // namespace fileio
