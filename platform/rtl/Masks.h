#pragma once
// File-name masks: "*" any run of characters, "?" one character, "[a-z]" a
// set of characters or ranges, "[!x]" any character outside the set. Letter
// case is ignored (accented letters too); characters, not bytes, are matched.
#include <string>
#include <vector>

#include "platform/rtl/SysUtils.h"

FAT_DECLARE_EXCEPTION(EMaskException, Exception)

// A compiled mask. Raises EMaskException "Invalid mask ..." for an unclosed
// or empty set or a range without its end.
class TMask {
public:
    explicit TMask(const std::string& MaskValue);
    // Time proportional to the mask's length times the name's: no mask can
    // make it backtrack without end.
    bool Matches(const std::string& FileName) const;

    struct Token {
        enum Kind { Literal, AnyChar, AnyRun, Set } kind = Literal;
        char32_t ch = 0;
        bool negate = false;
        std::vector<std::pair<char32_t, char32_t>> ranges;
    };

private:
    std::vector<Token> tokens_;
};

bool MatchesMask(const std::string& FileName, const std::string& Mask);
