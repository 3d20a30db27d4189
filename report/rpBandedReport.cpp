#include "report/rpBandedReport.h"

#include "report/rpGroup.h"

TClass TrpBandedReport::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TrpBandedReport>("TrpBandedReport", TrpCustomReport::StaticClassType()).Build();
    return &info;
}

TrpBandedReport::TrpBandedReport(TComponent* AOwner) : TrpCustomReport(AOwner) {
    ReplaceEngine(std::make_unique<TrpEngine>(this));
}

TrpTitleBand* TrpBandedReport::TitleBand() const { return dynamic_cast<TrpTitleBand*>(GetBand(btTitle)); }
TrpHeaderBand* TrpBandedReport::HeaderBand() const { return dynamic_cast<TrpHeaderBand*>(GetBand(btHeader)); }
TrpColumnHeaderBand* TrpBandedReport::ColumnHeaderBand() const {
    return dynamic_cast<TrpColumnHeaderBand*>(GetBand(btColumnHeader));
}
TrpDetailBand* TrpBandedReport::DetailBand() { return dynamic_cast<TrpDetailBand*>(CreateBand(btDetail)); }
TrpColumnFooterBand* TrpBandedReport::ColumnFooterBand() const {
    return dynamic_cast<TrpColumnFooterBand*>(GetBand(btColumnFooter));
}
TrpFooterBand* TrpBandedReport::FooterBand() const { return dynamic_cast<TrpFooterBand*>(GetBand(btFooter)); }
TrpSummaryBand* TrpBandedReport::SummaryBand() const { return dynamic_cast<TrpSummaryBand*>(GetBand(btSummary)); }
TrpGroupHeaderBand* TrpBandedReport::GroupHeaderBand(int Index) const {
    return dynamic_cast<TrpGroupHeaderBand*>(GetBand(btGroupHeader, Index));
}
TrpGroupFooterBand* TrpBandedReport::GroupFooterBand(int Index) const {
    return dynamic_cast<TrpGroupFooterBand*>(GetBand(btGroupFooter, Index));
}

TrpBand* TrpBandedReport::CreateBand(TrpBandType Kind, int Index) {
    if (TrpBand* existing = GetBand(Kind, Index)) return existing;
    if (Kind == btGroupHeader || Kind == btGroupFooter) {
        TrpGroup* group = Groups(Index);
        if (group == nullptr) return nullptr;
        if (Kind == btGroupHeader) {
            auto* band = new TrpGroupHeaderBand(Owner());
            group->SetHeaderBand(band);
            return band;
        }
        auto* band = new TrpGroupFooterBand(Owner());
        group->SetFooterBand(band);
        return band;
    }
    TrpBand* band = report::CreateBandOfKind(Kind, Owner());
    if (band != nullptr) band->SetReport(this);
    return band;
}

void TrpBandedReport::CreateDefaultBands() {
    if (BandCount() == 0) TrpCustomReport::CreateDefaultBands();
    CreateBand(btDetail);
    for (int i = 0; i < GroupCount(); ++i) {
        CreateBand(btGroupHeader, i);
        CreateBand(btGroupFooter, i);
    }
}

void TrpBandedReport::StartPrintJob() {
    CreateDefaultBands();
    TrpCustomReport::StartPrintJob();
}

void TrpBandedReport::PageRequest(TObject* Sender, TrpPageRequest* Request) {
    TrpCustomReport::PageRequest(Sender, Request);
    if (Request == nullptr) return;
    SetPrinting(true);
    Engine()->Page()->SetPrinterSetup(PrinterSetup());
    // The engine clears Printing as it finishes: a report freed from one of
    // its own events is gone once the request returns.
    GenerationEngine()->ProcessPageRequest(Request);
}

void TrpBandedReport::SendPage() { Publisher()->ReceivePage(Engine()->Page()); }
