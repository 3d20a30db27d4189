#include "report/rpTypes.h"

#include <memory>
#include <string>
#include <vector>

namespace report::detail {

const TTypeInfo* MakeEnumType(const char* Name, const char* Values) {
    std::vector<std::string> names;
    std::string current;
    for (const char* p = Values;; ++p) {
        if (*p == ',' || *p == '\0') {
            if (!current.empty()) names.push_back(current);
            current.clear();
            if (*p == '\0') break;
        } else if (*p != ' ' && *p != '\n' && *p != '\t') {
            current.push_back(*p);
        }
    }
    return typinfo::Intern(std::make_shared<TTypeInfo>(MakeEnumTypeInfo(Name, std::move(names))));
}

}  // namespace report::detail
