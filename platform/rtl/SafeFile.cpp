#include "platform/rtl/SafeFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

namespace fileio {

namespace {

namespace fs = std::filesystem;

std::string CreateMessage(const std::string& name, int err) {
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

std::vector<std::string> OrphanedTemporaries(const std::string& target) {
    std::vector<std::string> found;
    fs::path t(target);
    fs::path dir = t.parent_path().empty() ? fs::path(".") : t.parent_path();
    const std::string prefix = TempPrefix(t);
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        std::string name = it->path().filename().string();
        if (WriterGone(WriterOf(name, prefix))) found.push_back(it->path().string());
    }
    return found;
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

[[noreturn]] void RefuseNonRegular(const std::string& path, const struct stat& st) {
    const char* what = S_ISFIFO(st.st_mode) ? "um pipe (FIFO)" : S_ISSOCK(st.st_mode) ? "um socket" : "um dispositivo";
    throw EFCreateError("O arquivo \"" + path + "\" não foi gravado: com esse nome existe " + what +
                        ", não um arquivo comum, e nada é gravado nele. Escolha outro nome de arquivo.");
}

}  // namespace

void RefuseNonRegularTarget(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || S_ISREG(st.st_mode) || S_ISDIR(st.st_mode)) return;
    RefuseNonRegular(path, st);
}

AtomicFile::AtomicFile(std::string target, bool regularFileOnly)
    : target_(target), shownName_(std::move(target)) {
    // Renaming over a device or a pipe would put a plain file in its place:
    // those are written directly.
    auto openDirect = [this](int follow) {
        int fd = ::open(target_.c_str(), O_RDWR | O_CLOEXEC | follow);
        if (fd < 0 && (errno == EACCES || errno == EINVAL || errno == EPERM)) {
            fd = ::open(target_.c_str(), O_WRONLY | O_CLOEXEC | follow);
        }
        if (fd < 0) throw EFCreateError(CreateMessage(shownName_, errno));
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
    for (const std::string& orphan : OrphanedTemporaries(target_)) ::unlink(orphan.c_str());
    std::string pattern = (dir.empty() ? std::string() : dir.string() + "/") + TempPrefix(t) +
                          std::to_string(::getpid()) + "-XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    int fd = ::mkostemp(buf.data(), O_CLOEXEC);
    if (fd < 0) throw EFCreateError(CreateMessage(shownName_, errno));
    fd_ = fd;
    temp_ = buf.data();
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
    int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) fail(errno);
    NoteWriteStep(WriteStep::BeforeRename, -1, target_);
    if (replace) {
        if (::rename(temp_.c_str(), target_.c_str()) != 0) fail(errno);
    } else if (int err = RenameNoReplace(temp_, target_); err != 0) {
        if (err != EEXIST) fail(err);
        Discard();
        return false;
    }
    committed_ = true;
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
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw EFOpenError(OpenMessage(path, errno));
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        throw EFOpenError(OpenMessage(path, EISDIR));
    }
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
