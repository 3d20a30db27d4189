// Edit masks: the class library's notation read, Qt's written (with "0" and
// "9" swapped), values with and without their literals.
#include <QLineEdit>

#include "platform/ui/Mask.h"
#include "tests/platform/ui/UiTestSupport.h"

TEST(EditMask, TranslatesToQtInputMasks) {
    struct Case { const char* mask; const char* qt; };
    for (const Case& c : {Case{"99999-999;0; ", "00000-000; "},           // optional digits
                          Case{"00000-000;1;_", "99999-999;_"},           // required digits
                          Case{"(##) ####-####;0; ", "(##) ####-####; "},
                          Case{"######-#;0; ", "######-#; "},
                          Case{"##.###.###/####-##;0; ", "##.###.###/####-##; "},
                          Case{">LLL-0000;1;_", ">AAA-9999;_"},          // plate: letters upper-cased
                          Case{"Aa Cc Ll", "Nn Xx Aa;_"},                 // required / optional kinds
                          Case{"\\A\\0-0", "\\A\\0-9;_"},                 // escaped literals stay literals
                          Case{"<>l", "!a;_"}}) {
        EXPECT_EQ(ui::EditMask(c.mask).QtMask(), c.qt) << c.mask;
    }
    EXPECT_TRUE(ui::EditMask("").Empty());
}

TEST(EditMask, ValuesLeaveOutTheLiteralsUnlessTheMaskSavesThem) {
    ui::EditMask cep("99999-999;0; ");
    EXPECT_EQ(cep.ValueOf("01310-100"), "01310100");
    EXPECT_EQ(cep.ValueOf("0131 -   "), "0131");
    EXPECT_EQ(cep.ValueOf("     -   "), "") << "nothing typed";
    EXPECT_EQ(cep.Format("01310100"), "01310-100");
    ui::EditMask saved("99999-999;1;_");
    EXPECT_EQ(saved.ValueOf("01310-100"), "01310-100");
    EXPECT_EQ(saved.Format("01310-100"), "01310-100");
    ui::EditMask phone("(##) ####-####;0; ");
    EXPECT_EQ(phone.Format("1134567890"), "(11) 3456-7890");
    EXPECT_EQ(phone.ValueOf("(11) 3456-7890"), "1134567890");
}

TEST(EditMask, RequiredPlacesMustBeFilledOnceSomethingIsTyped) {
    ui::EditMask plate(">LLL-0000;1;_");
    EXPECT_TRUE(plate.Complete("___-____"));
    EXPECT_FALSE(plate.Complete("AB_-____"));
    EXPECT_TRUE(plate.Complete("ABC-1234"));
    EXPECT_TRUE(ui::EditMask("99999-999;0; ").Complete("1    -   ")) << "optional places";
}

TEST(MaskEdit, TypedDigitsFillTheLayoutAndTheValueKeepsOnlyThem) {
    TForm form(nullptr);
    auto* e = new TMaskEdit(&form);
    e->SetParent(&form);
    e->SetEditMask("99999-999;0; ");
    uitest::ShowActive(&form);
    e->SetFocus();
    uitest::Type(e->LineEdit(), "04567890");
    EXPECT_EQ(e->EditText(), "04567-890");
    EXPECT_EQ(e->Text(), "04567890");
    e->SetText("12345678");
    EXPECT_EQ(e->EditText(), "12345-678");
}

TEST(MaskEdit, LeavingWithARequiredPlaceEmptyIsRefused) {
    uitest::Dialogs d;
    TForm form(nullptr);
    auto* e = new TMaskEdit(&form);
    e->SetParent(&form);
    e->SetEditMask(">LLL-0000;1;_");
    auto* other = new TEdit(&form);
    other->SetParent(&form);
    other->SetTop(40);
    uitest::ShowActive(&form);
    e->SetFocus();
    uitest::Pump();
    uitest::Type(e->LineEdit(), "ab");
    EXPECT_EQ(e->EditText(), "AB_-____");
    d.Expect("Valor inválido", mrOk, "Erro");
    other->SetFocus();
    uitest::Pump();
    EXPECT_TRUE(e->Focused());
    EXPECT_THROW(e->ValidateEdit(), EDBEditError);
}
