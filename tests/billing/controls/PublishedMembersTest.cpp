// What the text-report printer and the record buttons publish, as their
// descriptions list them (the shared table of published members): the
// settings a form stores for them.
#include <gtest/gtest.h>

#include "billing/controls/DBBButton.h"
#include "billing/controls/JLPSay.h"
#include "platform/rtl/Strings.h"
#include "platform/rtl/TypInfo.h"
#include "tests/support/PublishedTable.h"

TEST(ControlsPublished, TheTextPrinterAndTheRecordButtonsPublishWhatTheirListsName) {
    std::size_t checked = 0;
    const std::vector<std::string> failures = testsupport::CheckPublishedSubjects(
        {"text-printer", "action-buttons"},
        [](const std::string& Name) {
            // The printer is created by name from stored forms; the buttons
            // are made by the forms' code and asked of their own metadata,
            // the data-aware kind the forms place included.
            if (TClass c = GetClass(Name)) return std::vector<TClass>{c};
            if (SameText(Name, "TDBBitBtn"))
                return std::vector<TClass>{TDBBitBtn::StaticClassType(), TDBButton::StaticClassType()};
            return std::vector<TClass>{};
        },
        &checked);
    ASSERT_GE(checked, 14u);
    std::string text;
    for (const std::string& f : failures) text += "\n  " + f;
    EXPECT_TRUE(failures.empty()) << failures.size() << " missing:" << text;
}
