// The output library's controls on the component registry and their
// variables' scripting adapter.
#include <gtest/gtest.h>

#include <cctype>
#include <memory>
#include <vector>

#include "platform/rtl/Filer.h"
#include "platform/rtl/Streams.h"
#include "report/rpRegComponents.h"
#include "report_output/rpTextControls.h"
#include "report_output/rpVariableRTTI.h"
#include "report_output/rpVariables.h"

namespace {

std::unique_ptr<TComponent> ReadText(const std::string& Text) {
    TStringStream text(Text);
    TStringStream binary;
    ObjectTextToBinary(text, binary);
    binary.SetPosition(0);
    return std::unique_ptr<TComponent>(ReadComponent(binary, nullptr));
}

TEST(ControlRegistryTest, StreamsNamingALabelOrALegacyCalcLoadAfterStartUp) {
    for (const char* kind : {"TrpLabel", "TrpCalc", "TrpDBText", "TrpVariable"}) {
        SCOPED_TRACE(kind);
        std::unique_ptr<TComponent> read = ReadText(std::string("object C: ") + kind + "\nend\n");
        ASSERT_NE(read, nullptr);
        EXPECT_EQ(read->ClassName(), kind);
    }
    TrpRegComponent calc;
    EXPECT_FALSE(rpFindRegisteredComponent("TrpCalc", calc));  // streamable only, not on the palette
}

TEST(ControlRegistryTest, ControlsStandOnThePageAndPositionOfThePalette) {
    struct Case {
        const char* name;
        const char* page;
        int position;
        int text;
    };
    for (const Case& c : {Case{"TrpLabel", "Standard Components", 0, 172}, Case{"TrpVariable", "Standard Components", 4, 492},
                          Case{"TrpLine", "Standard Components", 7, 174}, Case{"TrpDBCalc", "Data Components", 3, 164},
                          Case{"TrpDBImage", "Data Components", 4, 165},
                          Case{"TrpBarCode", "Standard Components", 8, 460},
                          Case{"TrpDB2DBarCode", "Data Components", 10, 0}}) {
        SCOPED_TRACE(c.name);
        TrpRegComponent entry;
        ASSERT_TRUE(rpFindRegisteredComponent(c.name, entry));
        EXPECT_EQ(entry.PageName, c.page);
        EXPECT_EQ(entry.Position, c.position);
        EXPECT_EQ(entry.LanguageText, c.text);
    }
}

TEST(ControlRegistryTest, RegisteringALabelAgainWithAnotherPageLeavesOneEntry) {
    const auto before = rpRegisteredComponents();
    rpRegisterComponent(TrpLabel::StaticClassType(), "Advanced Components", 5, 0, "Rótulo", 0);
    int labels = 0;
    for (const TrpRegComponent& e : rpRegisteredComponents())
        if (e.ComponentClass == TrpLabel::StaticClassType()) {
            ++labels;
            EXPECT_EQ(e.PageName, "Advanced Components");
            EXPECT_EQ(e.Caption, "Rótulo");
        }
    EXPECT_EQ(labels, 1);
    EXPECT_EQ(rpRegisteredComponents().size(), before.size());
    EXPECT_NE(ReadText("object L: TrpLabel\nend\n"), nullptr);
    rpRegisterComponent(TrpLabel::StaticClassType(), "Standard Components", 0, 0, "", 172);
}

TEST(ControlRegistryTest, AVariablesValueIsReachableInEveryKindByName) {
    TComponent owner(nullptr);
    auto* variable = new TrpVariable(&owner);
    TrsRTTIClass adapter = TrsRTTIClassRegistry::GetRTTIClass(variable->ClassType());
    ASSERT_EQ(adapter, TrsTrpVariableRTTI::Instance());
    variable->SetDataType(dtInteger);
    ASSERT_TRUE(adapter->SetPropValue(variable, "asinteger", int32_t{42}));
    TrsValue v;
    ASSERT_TRUE(adapter->GetPropValue(variable, "AsInteger", v));
    EXPECT_EQ(std::get<int32_t>(v), 42);
    ASSERT_TRUE(adapter->GetPropValue(variable, "Value", v));
    EXPECT_EQ(VarToStr(std::get<Variant>(v)), "42");
    TrsMemberDescriptor rec;
    ASSERT_TRUE(adapter->GetPropRec(variable->ClassType(), "OnCalc", rec));
    EXPECT_EQ(rec.EventNumber, 33);
    ASSERT_TRUE(adapter->GetPropRec(variable->ClassType(), "onreset", rec));
    EXPECT_EQ(rec.EventNumber, 34);
    // A variable is a component: the anchors and the band answer too.
    ASSERT_TRUE(adapter->GetPropRec(variable->ClassType(), "AnchorRightBottom", rec));
    EXPECT_EQ(rec.DataType, rsBoolean);
}

// Every published property of every control on the palette and of every
// described class answers by name (in lower case) with its metadata's type.
TEST(ControlRegistryTest, EveryPublishedPropertyOfEveryRegisteredClassIsReachable) {
    std::vector<TClass> classes;
    for (const TrpRegComponent& e : rpRegisteredComponents()) classes.push_back(e.ComponentClass);
    for (TrsRTTIClass a : TrsRTTIClassRegistry::Adapters()) classes.push_back(a->DescribedClass());
    int checked = 0;
    for (TClass cls : classes) {
        TrsRTTIClass adapter = TrsRTTIClassRegistry::GetRTTIClass(cls);
        ASSERT_NE(adapter, nullptr) << cls->Name;
        for (const TPropInfo* p : cls->PropList()) {
            if (p->Kind() == tkMethod) continue;
            SCOPED_TRACE(cls->Name + "." + p->Name);
            std::string lower = p->Name;
            for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            TrsMemberDescriptor rec;
            ASSERT_TRUE(adapter->GetPropRec(cls, lower, rec));
            int code = GetRTTIDataType(p->PropType);
            if (code == rsEnum && p->PropType->Name == "Boolean") code = rsBoolean;
            // Colours are integers in the metadata and named "TColor" to scripts.
            if (code == rsInteger && rec.EnumTypeName == "TColor" && p->PropType->Name == "TColor") code = rsEnum;
            EXPECT_EQ(rec.DataType, code);
            if (code == rsClass) EXPECT_EQ(rec.ClassType, p->PropType->ClassType);
            if (code == rsEnum) EXPECT_EQ(rec.EnumTypeName, p->PropType->Name);
            ++checked;
        }
    }
    EXPECT_GT(checked, 200);
}

}  // namespace
