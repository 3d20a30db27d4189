#include "billing/data/FormLook.h"

#include <gtest/gtest.h>

#include <map>

using namespace billing::data;

namespace {

// A control known only by its class name, with the three switches the
// window layer would reach.
class FakeControl : public TComponent {
public:
    FakeControl(TComponent* owner, std::string className, std::int64_t colour = 1)
        : TComponent(owner), colour(colour), className_(std::move(className)) {}
    std::string ClassName() const override { return className_; }
    std::int64_t colour;
    bool enabled = true;
    bool readOnly = false;

private:
    std::string className_;
};

class FormLook : public ::testing::Test {
protected:
    void SetUp() override {
        auto fake = [](TComponent* c) { return dynamic_cast<FakeControl*>(c); };
        ControlAccess a;
        a.GetColor = [fake](TComponent* c, std::int64_t& colour) {
            if (!fake(c)) return false;
            colour = fake(c)->colour;
            return true;
        };
        a.SetColor = [fake](TComponent* c, std::int64_t colour) { fake(c)->colour = colour; };
        a.SetEnabled = [fake](TComponent* c, bool v) { fake(c)->enabled = v; };
        a.GetReadOnly = [fake](TComponent* c) { return fake(c)->readOnly; };
        a.SetReadOnly = [fake](TComponent* c, bool v) { fake(c)->readOnly = v; };
        SetControlAccess(a);
    }
    void TearDown() override { SetControlAccess({}); }

    FakeControl form{nullptr, "TfrmNota104", 0x00C0C0C0};
    FakeControl* Add(const char* className) { return new FakeControl(&form, className); }
};

}  // namespace

TEST_F(FormLook, EditingAndBrowsingLooks) {
    FakeControl* edit = Add("TDBEdit");
    FakeControl* readOnlyEdit = Add("TDBEdit");
    readOnlyEdit->readOnly = true;
    FakeControl* check = Add("TDBCheckBox");
    FakeControl* picker = Add("TexDBDateTimePicker");
    FakeControl* grid = Add("TexDBGrid");
    FakeControl* button = Add("TButton");
    FakeControl* label = Add("TLabel");
    // Exact class names only: a descendant keeps its look.
    FakeControl* derived = Add("TMyDBEdit");

    ChangeColor(&form, true);
    EXPECT_EQ(edit->colour, kWindowColor);
    EXPECT_EQ(readOnlyEdit->colour, 1);
    EXPECT_TRUE(check->enabled);
    EXPECT_EQ(check->colour, kWindowColor);
    EXPECT_TRUE(picker->enabled);
    EXPECT_FALSE(grid->readOnly);
    EXPECT_EQ(grid->colour, kWindowColor);
    EXPECT_TRUE(button->enabled);
    EXPECT_EQ(button->colour, 1);
    EXPECT_EQ(label->colour, 1);
    EXPECT_EQ(derived->colour, 1);

    ChangeColor(&form, false);
    EXPECT_EQ(edit->colour, 0x00C0C0C0);
    EXPECT_EQ(readOnlyEdit->colour, 1);
    EXPECT_FALSE(check->enabled);
    EXPECT_EQ(check->colour, 0x00C0C0C0);
    EXPECT_FALSE(picker->enabled);
    EXPECT_TRUE(grid->readOnly);
    EXPECT_FALSE(button->enabled);
    EXPECT_EQ(form.colour, 0x00C0C0C0);
}

TEST_F(FormLook, WithoutAccessNothingHappens) {
    SetControlAccess({});
    FakeControl* edit = Add("TEdit");
    ChangeColor(&form, true);
    ChangeColor(nullptr, true);
    EXPECT_EQ(edit->colour, 1);
}
