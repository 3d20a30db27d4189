#include "report_output/rpPrinterSetupRTTI.h"

#include "report/rpPrinterList.h"
#include "report/rpPrinterSetup.h"

using namespace rstable;

namespace {

TStringList& PrinterNamesList() {
    thread_local TStringList list;
    return list;
}

TrpPrinterCapabilities* Lists(TrpPrinterSetup& S) {
    TrpPrinterInfo* info = S.PrinterInfo();
    return (info != nullptr ? info : rpNoPrinterInfo())->GetCapabilities();
}

}  // namespace

RP_TABLE_ADAPTER_BODY(TrsTrpPrinterSetupRTTI, TrsTObjectRTTI, TrpPrinterSetup)

// Listed: the published options, then Bin, Units and DelegateCopies; the
// rest answer when named.
const TrsMemberTable& TrsTrpPrinterSetupRTTI::MemberTable() {
    using S = TrpPrinterSetup;
    const TClass strings = TStringList::StaticClassType();
    static const TrsMemberTable table{
        WProp<S, std::string>("BinName", rsString, &S::BinName, &S::SetBinName),
        WProp<S, bool>("Collation", rsBoolean, &S::Collation, &S::SetCollation),
        WProp<S, int32_t>("Copies", rsInteger, &S::Copies, &S::SetCopies),
        WProp<S, std::string>("DocumentName", rsString, &S::DocumentName, &S::SetDocumentName),
        WEnumProp<S, TrpDuplexType>("Duplex", "TrpDuplexType", &S::Duplex, &S::SetDuplex),
        WProp<S, float>("MarginBottom", rsSingle, &S::MarginBottom, &S::SetMarginBottom),
        WProp<S, float>("MarginLeft", rsSingle, &S::MarginLeft, &S::SetMarginLeft),
        WProp<S, float>("MarginRight", rsSingle, &S::MarginRight, &S::SetMarginRight),
        WProp<S, float>("MarginTop", rsSingle, &S::MarginTop, &S::SetMarginTop),
        WEnumProp<S, TPrinterOrientation>("Orientation", "TPrinterOrientation", &S::Orientation, &S::SetOrientation),
        WProp<S, float>("PaperHeight", rsSingle, &S::PaperHeight, &S::SetPaperHeight),
        WProp<S, std::string>("PaperName", rsString, &S::PaperName, &S::SetPaperName),
        WProp<S, float>("PaperWidth", rsSingle, &S::PaperWidth, &S::SetPaperWidth),
        WProp<S, std::string>("PrinterName", rsString, &S::PrinterName, &S::SetPrinterName),
        Prop<S>("Bin", rsInteger, &S::Bin),
        WEnumProp<S, TrpUnitType>("Units", "TrpUnitType", &S::Units, &S::SetUnits),
        WProp<S, bool>("DelegateCopies", rsBoolean, &S::DelegateCopies, &S::SetDelegateCopies),
        Unlisted(Prop<S>("Active", rsBoolean, &S::Active)),
        Unlisted(ClassProp<S>("BinNames", strings, [](S& s) { return &Lists(s)->BinNames; })),
        Unlisted(ClassProp<S>("PaperNames", strings, [](S& s) { return &Lists(s)->PaperNames; })),
        Unlisted(Prop<S>("PrinterDescription", rsString, &S::PrinterDescription)),
        Unlisted(ClassProp<S>("PrinterNames", strings,
                              [](S& s) {
                                  s.GetPrinterNames(&PrinterNamesList());
                                  return &PrinterNamesList();
                              })),
        Unlisted(ClassProp<S>("PrinterInfo", nullptr, [](S&) { return static_cast<TObject*>(nullptr); })),
        Unlisted(ClassProp<S>("PageDef", TrpPageDef::StaticClassType(), &S::PageDef)),
        Unlisted(Prop<S>("PrintableHeight", rsSingle, &S::PrintableHeight)),
        Unlisted(Prop<S>("PrintableWidth", rsSingle, &S::PrintableWidth)),
    };
    return table;
}
