#pragma once
// Files handed to the monitor. The monitor may pick up a file of the send
// folder at any moment, so a file appears there only complete: it is written
// under a temporary name the monitor does not look at (a leading dot and a
// ".tmp-" ending, never a request suffix) and renamed when complete.
#include <string>

namespace billing::nfe {

// Writes `text` as the file `name` of `folder`, replacing an existing one;
// returns the file's path once it is in place. Raises ENFeError (nothing
// left in the folder) when the folder is not set or missing or the file
// cannot be written.
std::string WriteToFolder(const std::string& folder, const std::string& name, const std::string& text,
                          const char* what = "envio");

// Moves the file at `path` into `folder` under its own name, never replacing
// a file there (across file systems it is copied, and only when it is an
// answer-sized regular file read without following a link; the copy is
// private as the database is): a name already taken gets a number at its end
// ("x-nfe.err" becomes "x-nfe.err.1"), and a name too
// long for the file system is shortened at its start so the whole fits.
// Returns its new path. Raises ENFeError, the file
// staying where it was, when the folder is not set or missing or the file
// cannot be moved. `what` names the folder in messages ("erro").
std::string MoveToFolder(const std::string& path, const std::string& folder, const char* what);

// For tests: renames into or out of `folder` fail as between two file
// systems, so that moves there take the copying road ("" for none).
void SetOtherFileSystemForTests(const std::string& folder);

// Renames `from` to the name `name` + `ending` in `folder`, or the first free
// name that fits (see MoveToFolder); never replaces a file. Returns the new
// path; raises Exception with the system's reason when it cannot.
std::string RenameToFreeName(const std::string& from, const std::string& folder, const std::string& name,
                             const std::string& ending);

// folder + "/" + name, without doubling the separator.
std::string JoinPath(const std::string& folder, const std::string& name);

}  // namespace billing::nfe
