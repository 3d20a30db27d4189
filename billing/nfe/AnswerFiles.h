#pragma once
// What happens to the monitor's answer files once read. Every handled answer
// leaves the return folder for the error folder, so that it is applied once;
// when it cannot be moved it is renamed where it lies with an ending that no
// answer has (".handled"), which takes it out of every later look just as
// surely. An answer that cannot be used at all is kept as evidence under
// "<name>.invalid". The error file's text is its lines joined.
#include <sys/stat.h>

#include <cstddef>
#include <string>
#include <vector>

#include "billing/nfe/Monitor.h"

namespace billing::nfe {

// Moves a handled answer into pasta_nfe_erro. "" when moved, or when it had
// left the return folder already (another program on the same folders took
// it first); otherwise what went wrong, the file being then renamed
// "<name>.handled" in its folder (or, when even that fails, left as it was
// and said so).
std::string MoveHandled(const std::string& path, const NFeConfig& config);

// Nothing stands at `path` any more: another program on the same folders
// moved the answer away (not a file that cannot be reached).
bool AnswerGone(const std::string& path);

// Puts an unusable answer into pasta_nfe_erro as "<name>.invalid"; where it
// cannot move it stays renamed in its folder. Returns the path it ended at.
std::string MoveInvalid(const std::string& path, const NFeConfig& config);

// The largest answer read: the monitor's answers are a few kilobytes; a
// protocol answer for a full batch of fifty stays far below this.
inline constexpr std::size_t kAnswerSizeLimit = 1024 * 1024;

// The bytes of an answer file, read without following a link at its name
// and without waiting on it; `st`, when given, gets what the open file is.
// Raises Exception with the reason (in Portuguese, to follow "a resposta
// ... ") when it is a link, not a regular file (a pipe, a device, a folder)
// or larger than kAnswerSizeLimit.
std::string ReadAnswer(const std::string& path, struct stat* st = nullptr);

// A file name as a message shows it: control characters (a line break,
// ESC, BEL...) written as "\n", "\r", "\t" or "\xHH", the characters that
// break or reorder a line (C1 controls with NEL, U+2028, U+2029, direction
// marks, overrides and isolates) and those that show nothing (zero-width
// spaces and joiners, the byte order mark, soft hyphen, fillers, variation
// selectors, tags) as "\uHHHH" ("\uHHHHH" beyond U+FFFF), so that a name
// can neither break the box's lines, read backwards, hide a difference nor
// send the terminal a command, and bytes that are not UTF-8 repaired.
std::string ShownName(const std::string& name);

// The lines of a text without their CR LF or LF endings (a last empty line
// is not a line).
std::vector<std::string> SplitLines(const std::string& text);

// The lines of an error file joined without separators, as UTF-8 (bytes that
// are not UTF-8 repaired).
std::string JoinedLines(const std::string& bytes);

}  // namespace billing::nfe
