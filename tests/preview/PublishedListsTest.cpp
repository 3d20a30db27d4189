// Every name that the report library's classes are said to publish, and
// every member their scripting adapters are said to answer, asked of the
// class registry and of the adapter registry. The names come from a table
// written from the library's description (tests/data/report/
// published_members.tsv), not from the classes' own registration, so a
// member the code never declared shows up by class and name. The rows of
// the memory table, the cipher components, the billing controls and the
// toolbar items are checked by the test binaries of their own libraries.
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/rtl/Strings.h"
#include "platform/rtl/TypInfo.h"
#include "report/rpPage.h"
#include "report/rpRTTI.h"
#include "report/rpRegComponents.h"
#include "report_output/rpMaxiCode.h"
#include "report_output/rpPDF417.h"
#include "tests/support/PublishedTable.h"
#include "tests/support/TestSupport.h"

namespace {

using Row = testsupport::PublishedRow;
using testsupport::DescendsFrom;

// Subjects whose classes live outside the report libraries.
const std::set<std::string> kElsewhere = {"memory-table", "cipher-components", "text-printer", "action-buttons",
                                          "toolbar-items"};

// Classes the lists name that are never created by name, so never
// registered: asked of their metadata directly.
TClass Unregistered(const std::string& Name) {
    if (SameText(Name, "TrpPageRequest")) return TrpPageRequest::StaticClassType();
    // The 2D encoders live only for one measurement or one painting.
    if (SameText(Name, "TrpStCustom2DBarcode")) return TrpStCustom2DBarcode::StaticClassType();
    if (SameText(Name, "TrpStPDF417Barcode")) return TrpStPDF417Barcode::StaticClassType();
    if (SameText(Name, "TrpStMaxiCodeBarcode")) return TrpStMaxiCodeBarcode::StaticClassType();
    return nullptr;
}

// The palette's components of that class or below it; without any, the
// registered class of that name.
std::vector<TClass> ClassesFor(const std::string& Name) {
    std::vector<TClass> out;
    for (const TrpRegComponent& e : rpRegisteredComponents())
        if (DescendsFrom(e.ComponentClass, Name)) out.push_back(e.ComponentClass);
    if (out.empty())
        if (TClass c = GetClass(Name)) out.push_back(c);
    if (out.empty())
        if (TClass c = Unregistered(Name)) out.push_back(c);
    return out;
}

// Empty when C answers Name as the row asks; otherwise what is wrong.
std::string Check(const Row& R, TClass C) {
    if (R.registry == "published") return testsupport::CheckPublished(R, C);
    TrsRTTIClass adapter = TrsRTTIClassRegistry::GetRTTIClass(C);
    if (adapter == nullptr) return "no scripting adapter";
    TrsMemberDescriptor rec;
    if (!adapter->GetPropRec(C, R.name, rec)) return "not answered by " + adapter->ClassName();
    TClass described = rec.ClassType;
    if (!R.type.empty() && (described == nullptr || !DescendsFrom(described, R.type)))
        return "described as " + (described ? described->Name : std::string("no class")) + ", not " + R.type;
    return {};
}

TEST(PublishedListsTest, EveryListedNameIsPublishedOrAnsweredByTheClassesTheListsName) {
    const std::vector<Row> rows = testsupport::ReadPublishedRows();
    ASSERT_GT(rows.size(), 1000u);
    std::vector<std::string> failures;
    for (const Row& r : rows) {
        if (kElsewhere.count(r.subject) != 0) continue;
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
