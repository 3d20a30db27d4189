#pragma once
// The table of what each class is said to publish (tests/data/report/
// published_members.tsv), read once and checked against a class's metadata
// by every test binary whose library holds classes the table names. The
// names come from the libraries' descriptions, not from the classes' own
// registration, so a member the code never declared shows up by class and
// name.
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "platform/rtl/TypInfo.h"

namespace testsupport {

struct PublishedRow {
    std::string subject, registry, className, name, type;
};

// Every row of the table, in its order (comments and blank lines left out).
std::vector<PublishedRow> ReadPublishedRows();

// Whether C is Name or descends from it (names compared without case).
bool DescendsFrom(TClass C, const std::string& Name);

// Empty when C publishes the row's name (described with the row's class or
// a descendant of it, when the row gives one); otherwise what is wrong.
std::string CheckPublished(const PublishedRow& R, TClass C);

// Checks the "published" rows of the given subjects against the classes
// Resolve gives for each row's class name (none: the class is not known).
// Returns one line per failure; Checked counts the rows looked at.
std::vector<std::string> CheckPublishedSubjects(const std::set<std::string>& Subjects,
                                                const std::function<std::vector<TClass>(const std::string&)>& Resolve,
                                                std::size_t* Checked = nullptr);

}  // namespace testsupport
