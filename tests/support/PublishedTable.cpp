#include "tests/support/PublishedTable.h"

#include <fstream>
#include <sstream>

#include "platform/rtl/Strings.h"
#include "tests/support/TestSupport.h"

namespace testsupport {

std::vector<PublishedRow> ReadPublishedRows() {
    std::ifstream in(DataPath("report/published_members.tsv"));
    std::vector<PublishedRow> rows;
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream cols(line);
        PublishedRow r;
        std::getline(cols, r.subject, '\t');
        std::getline(cols, r.registry, '\t');
        std::getline(cols, r.className, '\t');
        std::getline(cols, r.name, '\t');
        std::getline(cols, r.type, '\t');
        rows.push_back(r);
    }
    return rows;
}

bool DescendsFrom(TClass C, const std::string& Name) {
    for (; C != nullptr; C = C->Parent)
        if (SameText(C->Name, Name)) return true;
    return false;
}

std::string CheckPublished(const PublishedRow& R, TClass C) {
    const TPropInfo* p = C->FindProp(R.name);
    if (p == nullptr) return "not published";
    if (R.type.empty()) return {};
    TClass described = p->PropType != nullptr ? p->PropType->ClassType : nullptr;
    if (described == nullptr || !DescendsFrom(described, R.type))
        return "described as " + (described ? described->Name : std::string("no class")) + ", not " + R.type;
    return {};
}

std::vector<std::string> CheckPublishedSubjects(const std::set<std::string>& Subjects,
                                                const std::function<std::vector<TClass>(const std::string&)>& Resolve,
                                                std::size_t* Checked) {
    std::vector<std::string> failures;
    std::size_t count = 0;
    for (const PublishedRow& r : ReadPublishedRows()) {
        if (r.registry != "published" || Subjects.count(r.subject) == 0) continue;
        ++count;
        const std::vector<TClass> classes = Resolve(r.className);
        if (classes.empty()) failures.push_back(r.subject + " " + r.className + ": class not known");
        for (TClass c : classes) {
            const std::string what = CheckPublished(r, c);
            if (!what.empty()) failures.push_back(r.subject + " " + c->Name + "." + r.name + ": " + what);
        }
    }
    if (Checked != nullptr) *Checked = count;
    return failures;
}

}  // namespace testsupport
