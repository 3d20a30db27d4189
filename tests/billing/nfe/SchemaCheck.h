#pragma once
// Validation of written files against the official layout schemas with
// xmllint, run as an outside program.
#include <string>

namespace nfetest {

// The schema folder (PL_005f), or "" when neither copy exists.
std::string SchemaDir();
// True when xmllint can be run.
bool HaveXmllint();
// Why schema tests cannot run, "" when they can.
std::string SchemaSkipReason();

struct CheckResult {
    bool ok = false;
    std::string output;  // xmllint's messages
};

// Validates `file` against `xsd` (a name inside SchemaDir()). With
// `signature`, a copy of the file gets a placeholder signature element of the
// shape the schema requires before the root's closing tag, as the monitor
// signs the files before sending them.
CheckResult ValidateFile(const std::string& file, const std::string& xsd, bool signature = false);
// xmllint's well-formedness check (which includes the declared encoding).
CheckResult WellFormed(const std::string& file);

}  // namespace nfetest

#define NFE_REQUIRE_SCHEMAS()                                         \
    do {                                                              \
        std::string reason_ = nfetest::SchemaSkipReason();            \
        if (!reason_.empty()) GTEST_SKIP() << reason_;                \
    } while (0)
