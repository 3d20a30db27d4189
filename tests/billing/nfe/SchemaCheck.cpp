#include "tests/billing/nfe/SchemaCheck.h"

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>

#include "tests/support/TestSupport.h"

namespace nfetest {

namespace {

CheckResult Run(const std::string& command) {
    CheckResult r;
    FILE* p = popen((command + " 2>&1").c_str(), "r");
    if (!p) return r;
    char buf[4096];
    std::size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.output.append(buf, n);
    int status = pclose(p);
    r.ok = status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return r;
}

std::string Quote(const std::string& s) {
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

const char* const kSignature =
    "<Signature xmlns=\"http://www.w3.org/2000/09/xmldsig#\"><SignedInfo>"
    "<CanonicalizationMethod Algorithm=\"http://www.w3.org/TR/2001/REC-xml-c14n-20010315\"/>"
    "<SignatureMethod Algorithm=\"http://www.w3.org/2000/09/xmldsig#rsa-sha1\"/>"
    "<Reference URI=\"#placeholder\"><Transforms>"
    "<Transform Algorithm=\"http://www.w3.org/2000/09/xmldsig#enveloped-signature\"/>"
    "<Transform Algorithm=\"http://www.w3.org/TR/2001/REC-xml-c14n-20010315\"/></Transforms>"
    "<DigestMethod Algorithm=\"http://www.w3.org/2000/09/xmldsig#sha1\"/>"
    "<DigestValue>AAAAAAAAAAAAAAAAAAAAAAAAAAA=</DigestValue></Reference></SignedInfo>"
    "<SignatureValue>AAAA</SignatureValue><KeyInfo><X509Data><X509Certificate>AAAA</X509Certificate>"
    "</X509Data></KeyInfo></Signature>";

}  // namespace

std::string SchemaDir() {
    namespace fs = std::filesystem;
    for (const std::string& dir : {std::string(FAT_SOURCE_DIR "/../shared/nfe-schemas/PL_005f"),
                                   std::string("/work/shared/nfe-schemas/PL_005f")}) {
        std::error_code ec;
        if (fs::exists(dir + "/nfe_v1.10.xsd", ec)) return dir;
    }
    return {};
}

bool HaveXmllint() {
    static const bool have = Run("xmllint --version").ok;
    return have;
}

std::string SchemaSkipReason() {
    if (SchemaDir().empty())
        return "PL_005f schemas not found (neither ../shared/nfe-schemas beside the source tree nor "
               "/work/shared/nfe-schemas)";
    if (!HaveXmllint()) return "xmllint is not installed (libxml2-utils)";
    return {};
}

CheckResult ValidateFile(const std::string& file, const std::string& xsd, bool signature) {
    std::string target = file;
    std::string copy;
    if (signature) {
        std::string text = testsupport::ReadAll(file);
        std::size_t close = text.rfind("</");
        if (close == std::string::npos) return {false, "no closing tag in " + file};
        text.insert(close, kSignature);
        copy = file + ".signed";
        testsupport::WriteAll(copy, text);
        target = copy;
    }
    CheckResult r = Run("xmllint --noout --schema " + Quote(SchemaDir() + "/" + xsd) + " " + Quote(target));
    if (!copy.empty()) std::filesystem::remove(copy);
    return r;
}

CheckResult WellFormed(const std::string& file) { return Run("xmllint --noout " + Quote(file)); }

}  // namespace nfetest
