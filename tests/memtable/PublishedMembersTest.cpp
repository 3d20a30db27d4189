// What the memory table placed on forms publishes, as its description lists
// it (the shared table of published members), asked of the class registry:
// a stored form names these properties, and a name the class lacks fails
// the form's load.
#include <gtest/gtest.h>

#include "memtable/mtMemTable.h"
#include "platform/rtl/TypInfo.h"
#include "tests/support/PublishedTable.h"

TEST(MemTablePublished, EveryListedPropertyAndEventIsPublishedByTheTablePlacedOnForms) {
    std::size_t checked = 0;
    const std::vector<std::string> failures = testsupport::CheckPublishedSubjects(
        {"memory-table"},
        [](const std::string& Name) {
            TClass c = GetClass(Name);
            return c != nullptr ? std::vector<TClass>{c} : std::vector<TClass>{};
        },
        &checked);
    ASSERT_GT(checked, 50u);
    std::string text;
    for (const std::string& f : failures) text += "\n  " + f;
    EXPECT_TRUE(failures.empty()) << failures.size() << " missing:" << text;
}
