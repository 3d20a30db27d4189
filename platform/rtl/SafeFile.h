#pragma once
// Writing a file so that whoever reads it (this program after a crash, or an
// outside program) sees either the old content or the complete new one, never
// half a file: the bytes go into a temporary file in the same folder, which is
// flushed to disk and renamed over the target only when complete.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include <sys/stat.h>

#include "platform/rtl/SysUtils.h"

namespace fileio {

class AtomicFile {
public:
    // Creates the temporary file beside `target`. A symbolic link at
    // `target` is not followed: the commit replaces the link itself. Its name
    // is ".<name>.tmp-<pid>-XXXXXX"; the writer holds a lock on it until the
    // rename, and the temporary files provably abandoned (a program killed
    // before its rename, on any machine sharing the folder: nobody holds
    // the lock and the file has not changed for a day, see
    // ClaimAbandoned) are removed first. Raises EFCreateError
    // "Cannot create file \"<target>\". <reason>".
    // A target that exists and is not a regular file (a printer device, a
    // pipe, /dev/null) cannot be replaced: it is written directly, also when
    // named by a link (which the kernel then follows, under its own guard).
    // Neither the open nor a write waits on a pipe: one nobody reads is
    // refused (ENXIO), one whose reader takes nothing fails the write.
    // With `regularFileOnly` (a file the user names to save a report into)
    // the target is never opened: a pipe, a device or a socket at the name,
    // or behind a link there, is refused as RefuseNonRegularTarget does, and
    // whatever is written goes into the temporary file this object made
    // itself. What a racing program swaps in at the name before the rename
    // is replaced by the file, never written into.
    explicit AtomicFile(std::string target, bool regularFileOnly = false);
    // Without a Commit the temporary file is removed; the target is untouched.
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Appends at the file's current offset; EWriteError on failure (disk full...).
    void Write(const void* data, std::size_t size);
    void Write(std::string_view bytes) { Write(bytes.data(), bytes.size()); }

    // Flushes to disk, gives the file the old file's permissions (or the
    // usual ones for a new file) and renames it over the target. Raises
    // EWriteError when any step fails; the temporary file is then removed
    // and the target keeps its old content.
    void Commit();
    // The same, except that a file already at the target (of any kind) is
    // never replaced nor written: false then, with the temporary file
    // removed, so the caller can try another name.
    bool CommitNoReplace();
    // Removes the temporary file (also what the destructor does).
    void Discard() noexcept;

    // Permission bits for the file when the target does not exist yet (the
    // umask applies unless `exact`); an existing target's permissions are
    // always kept.
    void SetNewFileMode(unsigned mode, bool exact = false) {
        newFileMode_ = mode;
        newFileModeExact_ = exact;
    }

    // The descriptor of the temporary file, open for reading and writing.
    int Fd() const { return fd_; }
    const std::string& TargetPath() const { return target_; }
    const std::string& TempPath() const { return temp_; }
    bool Committed() const { return committed_; }
    bool Open() const { return fd_ >= 0; }
    // True when writing straight into a device or pipe (no temporary file).
    bool Direct() const { return direct_; }

private:
    bool Finish(bool replace);

    std::string target_;
    std::string shownName_;  // the name as given, for messages
    std::string temp_;
    int fd_ = -1;
    bool committed_ = false;
    bool direct_ = false;
    bool targetExisted_ = false;
    unsigned oldMode_ = 0;
    unsigned oldUid_ = 0;
    unsigned oldGid_ = 0;
    unsigned newFileMode_ = 0666;
    bool newFileModeExact_ = false;
};

// The permission bits of a new file that holds secrets (passwords): for its
// owner only, or also for the group when its folder is set-group-ID (a
// folder an administrator set up for a group of users to share).
unsigned PrivateFileMode(const std::string& path);

// The permission bits of a folder the program makes, by the same rule:
// 0700, or 02770 when its parent is set-group-ID (the group's folder, and
// what is made inside it stays the group's).
unsigned PrivateFolderMode(const std::string& path);

// Makes the folder and whatever parents it lacks, each with
// PrivateFolderMode whatever the umask; folders already there are left as
// they are. 0, or the errno of the step that failed.
int MakeFolders(const std::string& path);

// For a file the user names to save into (a report): raises EFCreateError,
// in Portuguese, when a pipe, a device or a socket stands at `path` (also
// behind a link). Written there, the bytes would go to whoever reads the
// pipe or the device, or wait for ever on a pipe nobody reads; it is never
// opened. A missing name, a regular file or a link to one passes.
void RefuseNonRegularTarget(const std::string& path);
// "O arquivo \"<path>\" não pode ser lido: com esse nome existe um pipe
// (FIFO), não um arquivo comum." (or a device, a socket).
std::string NotAFileMessage(const std::string& path, const struct stat& st);

// The whole content of a file. EFOpenError "Cannot open file \"%s\". <reason>",
// or NotAFileMessage when a pipe, a device or a socket stands at the name
// (never waited on), or EReadError.
std::string ReadFileBytes(const std::string& path);

// Replaces (or creates) the file with exactly `bytes`, atomically as above;
// a file it creates gets PrivateFileMode when `privateNewFile`.
void WriteFileAtomic(const std::string& path, std::string_view bytes, bool privateNewFile = false);

// rename() that never replaces what is at `to`: 0, or the errno (EEXIST
// when the name is taken).
int RenameNoReplace(const std::string& from, const std::string& to);

// The errno of the last creation, write or commit of an AtomicFile on this
// thread that failed (0 after ClearLastFileError): for a caller that says
// the reason in its own words. Refusals that are no system error (a pipe at
// a report's name) leave it as it was.
int LastFileError();
void ClearLastFileError();
// A file the user saves that could not be made (`creating`) or written, in
// his words: "Não foi possível criar|gravar o arquivo \"<path>\": <reason>.
// O arquivo que havia com esse nome, se havia um, continua como estava."
std::string SaveFailureMessage(const std::string& path, int err, bool creating);

// The system's message for an errno value ("No such file or directory").
std::string SystemMessage(int err);
// The same reason in Portuguese, for a message the user reads ("arquivo ou
// pasta inexistente"); an uncommon one keeps the system's text and number.
std::string SystemMessagePtBr(int err);

// A program started with a standard descriptor (0, 1 or 2) closed gets that
// number for the next file it opens, and whatever is then written to the
// standard error (a library's warning) lands in that file. A descriptor
// this program writes a file through is moved above them: returns the new
// descriptor (`fd` closed), and puts the null device in each standard slot
// left free, as the database engine does. `fd` itself when it is above
// them already, or when it cannot be moved.
int KeepOffStandardSlots(int fd);

// Leftovers in a shared folder (the temporary files above, a database's
// half-made copy) are judged by what every machine sees, never by the
// process id a name carries: that id means nothing on another machine or in
// another pid namespace, and may belong to someone else here. A leftover is
// provably abandoned only when both hold:
// - its writer's lock can be taken here (the writer holds one from the
//   file's creation to its rename), and
// - it has not changed for kAbandonedAfterSeconds by this machine's clock.
// The lock alone is not enough: some shares keep each mount's locks to that
// mount, so a writer on another machine holds a lock this one never sees.
// The age covers that, a clock hours off, and a file made an instant ago
// whose writer has not locked it yet; a time ahead of this clock is fresh.
inline constexpr long kAbandonedAfterSeconds = 24L * 60 * 60;

// Takes the writer's lock on an open file: an open-file-description lock
// on `length` bytes from `start` (0: to the end of the file and beyond).
// Closing another descriptor of the same file in this process (a look at a
// leftover) never drops it. True when taken; false with errno otherwise.
bool TakeWriterLock(int fd, long start = 0, long length = 0);

// This machine among those sharing a folder: its host name and machine id.
// A writer's lock is evidence only to the machine that took it (see above).
const std::string& ThisMachine();
// For tests: this process passes for the machine named `name` ("" for its own).
void SetThisMachineForTests(const std::string& name);

// True when a file whose last change is `st` has stood unchanged for
// kAbandonedAfterSeconds.
bool UnchangedForLong(const struct stat& st);

// Opens the leftover at `path` and claims it as abandoned by the rule
// above: the descriptor, holding a lock on the whole file, to remove it
// under (close it after the removal); -1 when it is not a regular file, is
// still locked by anyone, has changed lately, or cannot be looked at. A
// file that changed lately is never opened.
int ClaimAbandoned(const std::string& path);

// The temporary files beside `target` that their writer abandoned by the
// rule above (full paths). Those being written, on this machine or another
// sharing the folder, or left an instant ago, are not listed, whatever
// process id their name carries.
std::vector<std::string> OrphanedTemporaries(const std::string& target);
// Removes those, each while holding its lock.
void RemoveOrphanedTemporaries(const std::string& target);
// The process id a temporary file's or another leftover's name carries after
// `prefix` ("<prefix><pid>-..."); 0 when it carries none. It tells whose
// file it is among one's own, never whether its writer is gone.
long WriterOf(const std::string& name, const std::string& prefix);
// True when no process with this id runs any more on this machine, in this
// pid namespace.
bool WriterGone(long pid);

// The moments of an atomic write at which tests make the disk fail or stop
// the program: before and after each write, whether it went through or not
// (descriptor of the temporary file), and around the rename that puts the file in place. The program
// itself never sets a hook.
enum class WriteStep { BeforeWrite, AfterWrite, BeforeRename, AfterRename };
using WriteStepHook = std::function<void(WriteStep Step, int Fd, const std::string& Target)>;
void SetWriteStepHook(WriteStepHook Hook);
// Tells the hook, if any, of a step.
void NoteWriteStep(WriteStep Step, int Fd, const std::string& Target);

}  // namespace fileio
