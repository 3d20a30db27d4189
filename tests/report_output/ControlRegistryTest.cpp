// The output library's controls on the component registry and their
// variables' scripting adapter.
#include <gtest/gtest.h>

#include <cctype>
#include <memory>
#include <vector>

#include "platform/rtl/Filer.h"
#include "platform/rtl/Streams.h"
#include "report/rpComponent.h"
#include "report/rpPrinterSetup.h"
#include "report/rpRegComponents.h"
#include "report_output/rpBarCode.h"
#include "report_output/rpGraphics.h"
#include "report_output/rpRichText.h"
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

// The output library's own adapters answer as every other adapter does: a
// published name wins over a relative's, a barcode is a component, a
// method with a result is a function.
TEST(ControlRegistryTest, OutputAdaptersDescribeTheirMembersLikeTheLibrarysOwn) {
    struct Case {
        TClass cls;
        const char* name;
        int type;
        const char* enumName;
        TClass classType;
        bool readOnly;
        int event;
    };
    const Case cases[] = {
        {TrpLine::StaticClassType(), "position", rsEnum, "TrpLinePositionType", nullptr, false, -1},
        {TrpBarCode::StaticClassType(), "anchorrightbottom", rsBoolean, "", nullptr, false, -1},
        {TrpBarCode::StaticClassType(), "OnPrint", rsMethod, "", nullptr, true, 32},
        {TrpBarCode::StaticClassType(), "barcolor", rsEnum, "TColor", nullptr, false, -1},
        {TrpBarCode::StaticClassType(), "ChildCount", rsInteger, "", nullptr, true, -1},
        {TrpPrinterSetup::StaticClassType(), "units", rsEnum, "TrpUnitType", nullptr, false, -1},
        {TrpPrinterSetup::StaticClassType(), "PageDef", rsClass, "", TrpPageDef::StaticClassType(), true, -1},
        {TrpPrinterSetup::StaticClassType(), "printableheight", rsSingle, "", nullptr, true, -1},
        {TrpPrinterSetup::StaticClassType(), "PrinterInfo", rsClass, "", nullptr, true, -1},
        {TrpRichText::StaticClassType(), "onGetRichText", rsMethod, "", nullptr, true, 53},
        {TrpRichText::StaticClassType(), "richtextstream", rsClass, "", TMemoryStream::StaticClassType(), true, -1},
        {TrpRichText::StaticClassType(), "SelText", rsString, "", nullptr, false, -1},
        {TrpDBRichText::StaticClassType(), "autodisplay", rsBoolean, "", nullptr, false, -1},
        {TrpDrawRichText::StaticClassType(), "color", rsEnum, "TColor", nullptr, false, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.cls->Name + "." + c.name);
        TrsRTTIClass adapter = TrsRTTIClassRegistry::GetRTTIClass(c.cls);
        ASSERT_NE(adapter, nullptr);
        TrsMemberDescriptor rec;
        ASSERT_TRUE(adapter->GetPropRec(c.cls, c.name, rec));
        EXPECT_EQ(rec.DataType, c.type);
        EXPECT_EQ(rec.EnumTypeName, c.enumName);
        EXPECT_EQ(rec.ClassType, c.classType);
        EXPECT_EQ(rec.ReadOnly, c.readOnly);
        EXPECT_EQ(rec.EventNumber, c.event);
    }
    TrsMemberDescriptor find;
    ASSERT_TRUE(TrsRTTIClassRegistry::GetRTTIClass(TrpRichText::StaticClassType())
                    ->GetPropRec(TrpRichText::StaticClassType(), "FindText", find));
    EXPECT_TRUE(find.IsFunction) << "its last parameter is its result";
}

TEST(ControlRegistryTest, OutputAdaptersWriteThroughTheSettersAndRefuseWhatTheyCannotTake) {
    TrpPrinterSetup setup;
    TrsRTTIClass setupAdapter = TrsRTTIClassRegistry::GetRTTIClass(setup.ClassType());
    setup.SetUnits(utMillimeters);
    EXPECT_FALSE(setupAdapter->SetPropValue(&setup, "Units", int32_t{99}));
    EXPECT_FALSE(setupAdapter->SetPropValue(&setup, "Orientation", int32_t{2}));
    EXPECT_EQ(setup.Units(), utMillimeters);
    EXPECT_EQ(setup.Orientation(), poPortrait);
    ASSERT_TRUE(setupAdapter->SetPropValue(&setup, "units", int32_t{utInches}));
    EXPECT_EQ(setup.Units(), utInches);
    // Only the published options, Bin, Units and DelegateCopies are listed.
    TStringList names;
    setupAdapter->GetPropList(setup.ClassType(), &names);
    EXPECT_LT(names.IndexOf("Active"), 0);
    EXPECT_LT(names.IndexOf("PrintableWidth"), 0);
    EXPECT_GE(names.IndexOf("Copies"), 0);

    TrpBarCode bc(nullptr);
    TrsRTTIClass barcodes = TrsRTTIClassRegistry::GetRTTIClass(bc.ClassType());
    ASSERT_TRUE(barcodes->SetPropValue(&bc, "ANCHORRIGHTBOTTOM", false));
    const TrpAnchors corner{atRight, atBottom};
    EXPECT_TRUE(bc.Anchors() == corner);
    ASSERT_TRUE(barcodes->SetPropValue(&bc, "widebarratio", 2.5f));
    EXPECT_NEAR(bc.WideBarRatio(), 2.5f, 1e-4);
}

}  // namespace
