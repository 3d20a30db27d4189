#include "billing/nfe/AnswerFiles.h"

#include <cerrno>
#include <cstdio>

#include "billing/nfe/NFeError.h"
#include "billing/nfe/SendFolder.h"
#include "platform/rtl/SafeFile.h"
#include "platform/rtl/Strings.h"

namespace billing::nfe {

namespace {

// Renames `path` to path + ending; "" when done, else the system's reason.
std::string RenameInPlace(const std::string& path, const std::string& ending) {
    std::string target = path + ending;
    if (::rename(path.c_str(), target.c_str()) == 0) return {};
    return fileio::SystemMessage(errno);
}

}  // namespace

std::string MoveHandled(const std::string& path, const NFeConfig& config) {
    try {
        MoveToFolder(path, config.pasta_nfe_erro, "erro");
        return {};
    } catch (const ENFeError& e) {
        std::string why = RenameInPlace(path, ".handled");
        if (why.empty())
            return e.Message() + " O arquivo foi renomeado para \"" + ExtractFileName(path) + ".handled\".";
        return e.Message() + " Também não foi possível renomeá-lo (" + why + ").";
    }
}

std::string MoveInvalid(const std::string& path, const NFeConfig& config) {
    // Renamed first: from then on no look at the folder takes it for an answer.
    std::string invalid = path + ".invalid";
    if (!RenameInPlace(path, ".invalid").empty()) return path;
    try {
        return MoveToFolder(invalid, config.pasta_nfe_erro, "erro");
    } catch (const ENFeError&) {
        return invalid;
    }
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (end < text.size() || !line.empty()) lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

std::string JoinedLines(const std::string& bytes) {
    std::string out;
    for (const std::string& line : SplitLines(utf8::Repair(bytes))) out += line;
    return out;
}

}  // namespace billing::nfe
