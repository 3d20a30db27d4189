// The report error family and the enumerations the scripting layer shows.
#include <gtest/gtest.h>

#include "report/rpEnumRegistry.h"
#include "report/rpExcept.h"
#include "report/rpTypes.h"

namespace {

template <class E>
bool CaughtAs(const std::function<void()>& raise) {
    try {
        raise();
    } catch (const E&) {
        return true;
    } catch (...) {
        return false;
    }
    return false;
}

TEST(ReportErrors, OneHandlerCatchesTheWholeFamilyAndKindsTellApart) {
    const std::vector<std::function<void()>> raisers = {
        [] { throw EPrintError("TrpEngine.GetPageBottom: No Report assigned to this engine."); },
        [] { throw EDataError("x"); },           [] { throw EDesignError("x"); },
        [] { throw EInvalidPropertyError("x"); }, [] { throw ETemplateLoadError("x"); },
        [] { throw ETemplateSaveError("x"); },   [] { throw EInvalidTemplateError("x"); },
        [] { throw EOutlineError("x"); },        [] { throw EBackgroundPrintTimeoutError("x"); },
        [] { throw EParameterError("x"); },      [] { throw EEmailError("x"); },
        [] { throw ESearchPreviewError("x"); },  [] { throw ESearchEngineError("x"); },
        [] { throw ESearchHighlightError("x"); }, [] { throw ERichTextHighlightError("x"); },
        [] { throw E2DBarcodeError("x"); }};
    for (const auto& raise : raisers) {
        EXPECT_TRUE(CaughtAs<ETessaryError>(raise));
        EXPECT_TRUE(CaughtAs<Exception>(raise));
    }
    EXPECT_TRUE(CaughtAs<EBackgroundPrintError>([] { throw EBackgroundPrintTimeoutError("x"); }));
    EXPECT_TRUE(CaughtAs<ESearchError>([] { throw ERichTextHighlightError("x"); }));
    EXPECT_FALSE(CaughtAs<EPrintError>([] { throw EDataError("x"); }));
    EXPECT_FALSE(CaughtAs<ETessaryError>([] { throw EConvertError("x"); }));
    try {
        throw EParameterError("TrpParameterList.Add: a Parameter named, Total, already exists.");
    } catch (const Exception& e) {
        EXPECT_STREQ(e.ClassName(), "EParameterError");
        EXPECT_EQ(e.Message(), "TrpParameterList.Add: a Parameter named, Total, already exists.");
    }
}

TEST(EnumRegistry, HoldsTheLibrarysEnumerationsInTheirOrder) {
    const std::vector<std::string> expected = {
        "Boolean", "TBrushStyle", "TPenStyle", "TAlignment", "TrpBarCodeType", "TrpBarCodeOrientation",
        "Trp2DBarCodeType", "TrpBreakType", "TrpCalcType", "TrpDataType", "TrpDatabaseType", "TrpDBCalcType",
        "TrpDuplexType", "TrpFileType", "TrpFormatType", "TrpLanguageType", "TrpLinePositionType",
        "TrpLineStyleType", "TrpOutlineNodeType", "TrpPassSettingType", "TrpPrintBehaviorType",
        "TrpPrintHeightType", "TrpRangeBeginType", "TrpRangeEndType", "TrpSaveToType", "TrpSearchOperatorType",
        "TShapeType", "TrpSortOrderType", "TrpTextAlignment", "TrpUnitType", "TrpVarEventType", "TrpVarType",
        "TPrinterOrientation",
        // Registered with the option objects, after the library's own.
        "TrpZoomSettingType", "TWindowState"};
    ASSERT_EQ(EnumRegistry().Count(), static_cast<int>(expected.size()));
    for (int i = 0; i < EnumRegistry().Count(); ++i) EXPECT_EQ(EnumRegistry().Names(i), expected[i]) << i;
    // The types carry their values in declaration order.
    const TTypeInfo* units = EnumRegistry().Find("trpunittype");
    ASSERT_NE(units, nullptr) << "names are found regardless of case";
    EXPECT_EQ(units->EnumNames, (std::vector<std::string>{"utScreenPixels", "utInches", "utMillimeters",
                                                          "utPrinterPixels", "utMMThousandths"}));
    EXPECT_EQ(GetEnumName(EnumRegistry().Find("TrpDataType"), dtGUID), "dtGUID");
    EXPECT_EQ(GetEnumValue(EnumRegistry().Find("TrpVarType"), "vtPageNoDesc"), vtPageNoDesc);
    EXPECT_EQ(EnumRegistry().Find("TAlignment"), TypeInfoAlignment()) << "the platform's own type";
    EXPECT_EQ(EnumRegistry().Find("TPenStyle"), TypeInfoPenStyle());
    EXPECT_EQ(GetEnumName(EnumRegistry().Find("TBrushStyle"), bsClear), "bsClear");
}

TEST(EnumRegistry, RegisteringTwiceReplacesAndUnknownNamesAreIgnored) {
    const TTypeInfo first = MakeEnumTypeInfo("TSample", {"a", "b"});
    const TTypeInfo second = MakeEnumTypeInfo("TSample", {"c"});
    const int before = EnumRegistry().Count();
    RegisterEnum("TSample", &first);
    RegisterEnum("TSAMPLE", &second);
    EXPECT_EQ(EnumRegistry().Count(), before + 1);
    EXPECT_EQ(EnumRegistry().Find("TSample"), &second);
    UnregisterEnum("TNothing");
    EXPECT_EQ(EnumRegistry().Count(), before + 1);
    UnregisterEnum("TSample");
    EXPECT_EQ(EnumRegistry().Count(), before);
    EXPECT_EQ(EnumRegistry().Find("TSample"), nullptr);
}

}  // namespace
