// The registry through which the report library finds the dialogs the
// preview layer builds.
#include "report/rpDialogRegistry.h"
#include "report/rpExcept.h"
#include "report/rpLanguage.h"
#include "tests/report/ReportTestSupport.h"

namespace {

class TestAbstractDialog : public TComponent {
public:
    FAT_CLASS(TestAbstractDialog)
    explicit TestAbstractDialog(TComponent* AOwner) : TComponent(AOwner) {}
};
class TestDialog : public TestAbstractDialog {
public:
    FAT_CLASS(TestDialog)
    using TestAbstractDialog::TestAbstractDialog;
};
class TestOtherDialog : public TestAbstractDialog {
public:
    FAT_CLASS(TestOtherDialog)
    using TestAbstractDialog::TestAbstractDialog;
};

TClass TestAbstractDialog::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TestAbstractDialog>("TestAbstractDialog", TComponent::StaticClassType()).Build();
    return &info;
}
TClass TestDialog::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TestDialog>("TestDialog", TestAbstractDialog::StaticClassType()).Build();
    return &info;
}
TClass TestOtherDialog::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TestOtherDialog>("TestOtherDialog", TestAbstractDialog::StaticClassType()).Build();
    return &info;
}

TEST(DialogRegistry, TheLastRegistrationForAnAbstractDialogHolds) {
    const TClass abstract = TestAbstractDialog::StaticClassType();
    EXPECT_EQ(GetFormClass(abstract), nullptr);
    EXPECT_EQ(GetFormClass("TrpCustomPreviewer"), nullptr) << "nothing is registered by the library itself";
    RegisterFormClass(abstract, TestDialog::StaticClassType());
    EXPECT_EQ(GetFormClass(abstract), TestDialog::StaticClassType());
    EXPECT_EQ(GetFormClass("testabstractdialog"), TestDialog::StaticClassType()) << "names ignore letter case";
    RegisterFormClass(abstract, TestOtherDialog::StaticClassType());
    EXPECT_EQ(GetFormClass(abstract), TestOtherDialog::StaticClassType());

    // The producer makes the dialog from the class it finds.
    std::unique_ptr<TObject> dialog(GetFormClass("TestAbstractDialog")->Create(nullptr));
    EXPECT_NE(dynamic_cast<TestOtherDialog*>(dialog.get()), nullptr);

    UnregisterFormClass(abstract);
    EXPECT_EQ(GetFormClass(abstract), nullptr);
    UnregisterFormClass(abstract);  // none registered: nothing happens
    UnregisterFormClass("TestAbstractDialog");
}

TEST(DialogRegistry, AClassThatIsNoSuchDialogIsRefused) {
    const TClass abstract = TestAbstractDialog::StaticClassType();
    EXPECT_THROW(RegisterFormClass(TestDialog::StaticClassType(), abstract), ETessaryError);
    EXPECT_THROW(RegisterFormClass(abstract, TComponent::StaticClassType()), ETessaryError);
    EXPECT_THROW(RegisterFormClass(abstract, nullptr), ETessaryError);
    EXPECT_THROW(RegisterFormClass(nullptr, TestDialog::StaticClassType()), ETessaryError);
    EXPECT_EQ(GetFormClass(abstract), nullptr);
    EXPECT_EQ(GetFormClass(TClass{nullptr}), nullptr);
}

TEST(DialogRegistry, TheTextsTheDialogsAndTheCacheQuoteExist) {
    for (int n : {284, 374, 1134}) EXPECT_FALSE(rpLanguageText(n).empty()) << n;
}

}  // namespace
