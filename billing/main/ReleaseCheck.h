#pragma once
// The release check run when the main window is first shown: the maker's
// site publishes "versao.inf" (section "Versao", key "Aplicativo"), the
// program under the running program's own file name, and "<program>.sha256"
// with the program's SHA-256. A newer version is offered; accepted, the new
// program is downloaded beside the running one under a temporary name, kept
// only when its digest equals the published one, renamed over the running
// program (which goes on running from the old file until it ends), started,
// and the caller ends this one.
//
// What a reader must keep in mind:
// - Nothing is replaced until the download is complete and verified; any
//   failure leaves the installed program as it was and no temporary file.
// - Versions compare as plain text, character by character ("1.5" is newer
//   than "1.44"), upper-cased and trimmed.
// - The site being unreachable or a missing version file: silence, the
//   program starts as usual. Once the user has said Yes, every failure is
//   told with what failed (a download cut short, a certificate that fails). The check never waits longer than its
//   timeouts (connection 5 s, the version files 15 s).
// - The certificates file the settings name is read by the check itself,
//   opened without waiting: a pipe, a device or anything but a regular file
//   there is told once, naming the file, and nothing is checked; the
//   program starts as usual.
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/os/Download.h"

namespace billing::main {

class ReleaseCheck {
public:
    enum class Outcome {
        NoAddress,       // no site configured: nothing checked
        NotSecure,       // the site is not an https address: nothing checked, the user is told
        NoCertificates,  // the certificates file named for the site cannot be read: nothing checked, the user is told
        NoVersion,       // the version file could not be read
        UpToDate,        // nothing newer
        Declined,        // the user said No
        NotWritable,     // newer, but this user cannot replace the program
        Unavailable,     // the program or its digest could not be downloaded
        Rejected,        // the download does not match the published digest
        NotWritten,      // the new program could not be written (a full disk): the user is told
        Installed,       // replaced and started: the caller ends the program
        InstalledNotStarted,  // replaced; the user is told to open it again
    };

    struct Settings {
        std::string address;        // the site's folder address; "" for none
        std::string programPath;    // the running program
        std::vector<std::string> arguments;  // given again to the new program
        std::string currentVersion;
        // Certificates trusted for the site in place of the system's store
        // (a company's own authority); "" for the system's.
        std::string trustedCertificates;
        // The version and digest files: the check's own limits.
        os::DownloadOptions check;
        // The program: no total limit, but a stalled transfer is given up.
        os::DownloadOptions download;
        Settings();
    };

    explicit ReleaseCheck(Settings Values);

    // Starts the new program (detached); false when it could not start.
    std::function<bool(const std::string& Program, const std::vector<std::string>& Args)> StartProgram;
    // Whether this user may replace files in the program's folder.
    std::function<bool(const std::string& Folder)> FolderWritable;

    Outcome Run();

    // Available is newer than Current (both upper-cased and trimmed first).
    static bool Newer(const std::string& Available, const std::string& Current);
    // The address of a file in the site's folder.
    static std::string FileAddress(const std::string& Address, const std::string& Name);
    // The digest in a "<program>.sha256" file ("<64 hex digits>  <name>"), in
    // lower case; "" when the text holds none.
    static std::string PublishedDigest(const std::string& Text);

private:
    // The published version, upper-cased and trimmed ("" when the file has
    // none); nothing when the file cannot be read.
    std::optional<std::string> AvailableVersion();
    Outcome Install(const std::string& Digest);
    // Tells that the update the user accepted could not be downloaded.
    Outcome TellUnavailable(const std::string& What);

    Settings settings_;
};

}  // namespace billing::main
