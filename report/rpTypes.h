#pragma once
// Every enumeration of the report library, declared once: the C++ type and,
// from the same text, the runtime's type information (value names in
// declaration order), which streams a property by name and lets the
// scripting layer show a value. rpTypeInfo<TrpUnitType>() gives that
// information; the platform's enumerations that reports publish (Boolean,
// alignment, brush and pen style) answer the platform's own.
//
// The value order is the stored order: ordinals reach the scripting layer
// and the page cache, so a value is never inserted before another.
#include "platform/db/DB.h"
#include "platform/gfx/Graphics.h"
#include "platform/rtl/TypInfo.h"

template <class E>
struct rpEnumDecl;

namespace report::detail {
// An enumeration type made from "Name" and the declaration's text "a, b, c".
const TTypeInfo* MakeEnumType(const char* Name, const char* Values);
}  // namespace report::detail

// Declares an enumeration and remembers its names for rpTypeInfo.
#define RP_ENUM(Name, ...)                                \
    enum Name { __VA_ARGS__ };                            \
    template <>                                           \
    struct rpEnumDecl<Name> {                             \
        static constexpr const char* TypeName = #Name;    \
        static constexpr const char* Values = #__VA_ARGS__; \
    };

// The runtime type of an enumeration of this header (or of the platform).
template <class E>
const TTypeInfo* rpTypeInfo() {
    static const TTypeInfo* t = report::detail::MakeEnumType(rpEnumDecl<E>::TypeName, rpEnumDecl<E>::Values);
    return t;
}
template <>
inline const TTypeInfo* rpTypeInfo<bool>() {
    return TypeInfoBoolean();
}
template <>
inline const TTypeInfo* rpTypeInfo<TAlignment>() {
    return TypeInfoAlignment();
}
template <>
inline const TTypeInfo* rpTypeInfo<TBrushStyle>() {
    return TypeInfoBrushStyle();
}
template <>
inline const TTypeInfo* rpTypeInfo<TPenStyle>() {
    return TypeInfoPenStyle();
}

// ---------------------------------------------------------------------------
// Units, text and layout.

RP_ENUM(TrpUnitType, utScreenPixels, utInches, utMillimeters, utPrinterPixels, utMMThousandths)
RP_ENUM(TrpTextAlignment, taLeftJustified, taRightJustified, taCentered, taFullJustified)
RP_ENUM(TrpLanguageType, lgDefault, lgDanish, lgDutch, lgEnglish, lgFrench, lgGerman, lgItalian,
        lgPortugueseBrazil, lgPortuguese, lgSpanish, lgSpanishMexico, lgSwedish, lgNorwegian, lgCustom)
RP_ENUM(TrpBorderPositionType, bpLeft, bpTop, bpRight, bpBottom)
RP_ENUM(TrpAnchorType, atLeft, atTop, atRight, atBottom)

// ---------------------------------------------------------------------------
// Report, bands, groups, components.

RP_ENUM(TrpBandType, btHeader, btTitle, btColumnHeader, btGroupHeader, btDetail, btGroupFooter, btColumnFooter,
        btSummary, btFooter, btPageStyle)
RP_ENUM(TrpPassSettingType, psOnePass, psTwoPass)
RP_ENUM(TrpPrintHeightType, phStatic, phDynamic)
RP_ENUM(TrpPrintBehaviorType, pbChild, pbSection, pbFixed)
RP_ENUM(TrpBreakType, btDataField, btCustomField)
RP_ENUM(TrpNoDataBehaviorType, ndMessageOnPage, ndBlankPage, ndBlankReport, ndMessageDialog)
RP_ENUM(TrpPageSettingType, psAll, psPageList, psSinglePage, psFirstPage, psLastPage, psPageRange)
RP_ENUM(TrpPageRangeType, prAll, prOddPages, prEvenPages)

// ---------------------------------------------------------------------------
// Data, variables and calculations.

RP_ENUM(TrpDataType, dtBoolean, dtDate, dtTime, dtDateTime, dtInteger, dtSingle, dtDouble, dtExtended, dtCurrency,
        dtChar, dtString, dtMemo, dtBLOB, dtGraphic, dtVariant, dtNotKnown, dtLongint, dtLargeInt, dtGUID)
RP_ENUM(TrpDatabaseType, dtParadox, dtInterBase, dtMSSQLServer, dtSybaseASA, dtSybaseASE, dtOracle, dtMSAccess,
        dtDB2, dtMySQL, dtAdvantage, dtSQLite)
RP_ENUM(TrpCalcType, ctDate, ctDateTime, ctPrintDateTime, ctPageCount, ctPageSet, ctPageSetDesc, ctPageNo,
        ctPageNoDesc, ctTime, ctCustom)
RP_ENUM(TrpDBCalcType, dcCount, dcSum, dcMinimum, dcMaximum, dcAverage)
RP_ENUM(TrpVarType, vtDate, vtDateTime, vtDocumentName, vtPrintDateTime, vtPageCount, vtPageSet, vtPageSetDesc,
        vtPageNo, vtPageNoDesc, vtTime)
RP_ENUM(TrpVarEventType, veTraversal, veDataPipelineTraversal, vePageStart, vePageEnd, veColumnStart, veColumnEnd,
        veReportStart, veReportEnd, veGroupStart, veGroupEnd, veGroupBeforeHeader, veGroupBeforeFooter)
RP_ENUM(TrpRangeBeginType, rbFirstRecord, rbLastRecord, rbCurrentRecord)
RP_ENUM(TrpRangeEndType, reFirstRecord, reLastRecord, reCurrentRecord, reCount)
RP_ENUM(TrpSortOrderType, soAscending, soDescending)
RP_ENUM(TrpSearchOperatorType, soEqual, soNotEqual, soLessThan, soLessThanOrEqualTo, soGreaterThan,
        soGreaterThanOrEqualTo, soLike, soNotLike, soBetween, soNotBetween, soInList, soNotInList, soBlank,
        soNotBlank)
RP_ENUM(TrpCollationType, ctANSI, ctASCII, ctVariant)
RP_ENUM(TrpGuidCollationType, gcMSSQLServer, gcMSAccess, gcGuid, gcString)

// ---------------------------------------------------------------------------
// Templates, files, outline and preview.

RP_ENUM(TrpFormatType, ftBinary, ftASCII)
RP_ENUM(TrpSaveToType, stDatabase, stFile)
RP_ENUM(TrpFileType, ftComma, ftTab, ftFixedLength, ftCustom)
RP_ENUM(TrpOutlineNodeType, ntPage, ntGroup, ntDetail, ntCustom)
RP_ENUM(TrpZoomSettingType, zsWholePage, zsPageWidth, zs100Percent, zsPercentage)

// ---------------------------------------------------------------------------
// Printing, lines, shapes and barcodes.

RP_ENUM(TrpDuplexType, dpNone, dpHorizontal, dpVertical)
RP_ENUM(TrpLinePositionType, lpTop, lpBottom, lpLeft, lpRight)
RP_ENUM(TrpLineStyleType, lsSingle, lsDouble)
RP_ENUM(TrpBarCodeType, bcUPC_A, bcUPC_E, bcEAN_13, bcEAN_8, bcInt2of5, bcCode128, bcCode39, bcPostnet, bcFIM,
        bcCodabar, bcMSI)
RP_ENUM(TrpBarCodeOrientation, orLeftToRight, orRightToLeft, orTopToBottom, orBottomToTop)
RP_ENUM(Trp2DBarCodeType, bcPDF417, bcMaxiCode)
// The platform's shape kinds and paper orientation, which no layer below the
// report library needs.
RP_ENUM(TShapeType, stRectangle, stSquare, stRoundRect, stRoundSquare, stEllipse, stCircle)
RP_ENUM(TPrinterOrientation, poPortrait, poLandscape)
