// Every name that the report library's classes are said to publish, and
// every member their scripting adapters are said to answer, asked of the
// class registry and of the adapter registry. The names come from a table
// written from the library's description (tests/data/report/
// published_members.tsv), not from the classes' own registration, so a
// member the code never declared shows up by class and name.
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/rtl/Strings.h"
#include "platform/rtl/TypInfo.h"
#include "report/rpRTTI.h"
#include "report/rpRegComponents.h"
#include "tests/support/TestSupport.h"

namespace {

struct Row {
    std::string subject, registry, className, name, type;
};

std::vector<Row> ReadRows() {
    std::ifstream in(testsupport::DataPath("report/published_members.tsv"));
    std::vector<Row> rows;
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream cols(line);
        Row r;
        std::getline(cols, r.subject, '\t');
        std::getline(cols, r.registry, '\t');
        std::getline(cols, r.className, '\t');
        std::getline(cols, r.name, '\t');
        std::getline(cols, r.type, '\t');
        rows.push_back(r);
    }
    return rows;
}

bool Descends(TClass C, const std::string& Name) {
    for (; C != nullptr; C = C->Parent)
        if (SameText(C->Name, Name)) return true;
    return false;
}

// The palette's components of that class or below it; without any, the
// registered class of that name.
std::vector<TClass> ClassesFor(const std::string& Name) {
    std::vector<TClass> out;
    for (const TrpRegComponent& e : rpRegisteredComponents())
        if (Descends(e.ComponentClass, Name)) out.push_back(e.ComponentClass);
    if (out.empty())
        if (TClass c = GetClass(Name)) out.push_back(c);
    return out;
}

// Empty when C answers Name as the row asks; otherwise what is wrong.
std::string Check(const Row& R, TClass C) {
    TClass described = nullptr;
    if (R.registry == "published") {
        const TPropInfo* p = C->FindProp(R.name);
        if (p == nullptr) return "not published";
        described = p->PropType != nullptr ? p->PropType->ClassType : nullptr;
    } else {
        TrsRTTIClass adapter = TrsRTTIClassRegistry::GetRTTIClass(C);
        if (adapter == nullptr) return "no scripting adapter";
        TrsMemberDescriptor rec;
        if (!adapter->GetPropRec(C, R.name, rec)) return "not answered by " + adapter->ClassName();
        described = rec.ClassType;
    }
    if (!R.type.empty() && (described == nullptr || !Descends(described, R.type)))
        return "described as " + (described ? described->Name : std::string("no class")) + ", not " + R.type;
    return {};
}

TEST(PublishedListsTest, EveryListedNameIsPublishedOrAnsweredByTheClassesTheListsName) {
    const std::vector<Row> rows = ReadRows();
    ASSERT_GT(rows.size(), 1000u);
    std::vector<std::string> failures;
    for (const Row& r : rows) {
        const std::vector<TClass> classes = ClassesFor(r.className);
        if (classes.empty()) {
            failures.push_back(r.subject + " " + r.className + ": class not registered");
            continue;
        }
        for (TClass c : classes) {
            const std::string what = Check(r, c);
            if (!what.empty()) failures.push_back(r.subject + " " + r.registry + " " + c->Name + "." + r.name + ": " + what);
        }
    }
    std::string text;
    for (const std::string& f : failures) text += "\n  " + f;
    EXPECT_TRUE(failures.empty()) << failures.size() << " missing:" << text;
}

}  // namespace
