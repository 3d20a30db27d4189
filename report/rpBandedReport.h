#pragma once
// TrpBandedReport: a report whose bands are reached by kind, which makes
// its standard bands when it has none, generates its pages through the
// generation engine and hands every finished page to its publisher.
#include "report/rpBands.h"
#include "report/rpGeneration.h"
#include "report/rpReport.h"

class TrpBandedReport : public TrpCustomReport {
public:
    explicit TrpBandedReport(TComponent* AOwner);
    FAT_CLASS(TrpBandedReport)

    TrpTitleBand* TitleBand() const;
    TrpHeaderBand* HeaderBand() const;
    TrpColumnHeaderBand* ColumnHeaderBand() const;
    // Made when missing.
    TrpDetailBand* DetailBand();
    TrpColumnFooterBand* ColumnFooterBand() const;
    TrpFooterBand* FooterBand() const;
    TrpSummaryBand* SummaryBand() const;
    TrpGroupHeaderBand* GroupHeaderBand(int Index) const;
    TrpGroupFooterBand* GroupFooterBand(int Index) const;

    // Makes the band of the kind (group bands for the group at Index) unless
    // there is one; answers the band either way.
    TrpBand* CreateBand(TrpBandType Kind, int Index = 0);
    // The default set when there are no bands, then the detail band and the
    // bands of every group when missing.
    void CreateDefaultBands() override;

    // The bands every run needs are made before the job starts.
    void StartPrintJob() override;

    TrpEngine* GenerationEngine() const { return static_cast<TrpEngine*>(Engine()); }
    // Generates what the request asks for, on pages of the printer setup.
    void PageRequest(TObject* Sender, TrpPageRequest* Request) override;
    // The engine's finished page goes to the publisher.
    void SendPage() override;
};
