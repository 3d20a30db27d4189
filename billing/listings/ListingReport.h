#pragma once
// The banded reports of the three listings, built in code as the forms
// define them: A4 portrait with margins of 6.35 mm, two passes, Brazilian
// Portuguese, a page header with the issuer, the program, the user, the
// period and "Página n de m", one detail row per invoice (or per product
// group in the sales summary), the totals in the summary and a credit line
// in the page footer. Positions are in millimetres from the band's top-left.
//
// The detail band's handlers apply the row rules of RowSequencer: the
// zebra stripe, the asterisk beside an invoice that is not authorised, and
// the totals. Counter and totals start from zero at each pass, so every
// output (preview, print from the preview, a second run) shows the same
// totals.
#include <cstdint>
#include <memory>
#include <string>

#include "billing/listings/ColumnFit.h"
#include "billing/listings/Listing.h"
#include "billing/listings/RowSequencer.h"

class TComponent;
class TDataSource;
class TStream;
class TrpReport;
class TrpDBPipeline;
class TrpLabel;
class TrpShape;
class TrpVariable;

namespace billing::listings {

class ListingReport {
public:
    // Rows: the invoice query's source (dsNota_Fiscal), or the summary's
    // (dsResumo).
    ListingReport(Listing Kind, TDataSource* Rows);
    ~ListingReport();
    ListingReport(const ListingReport&) = delete;
    ListingReport& operator=(const ListingReport&) = delete;

    Listing Kind() const { return kind_; }
    TrpReport* Report() const { return report_; }
    TrpDBPipeline* Pipeline() const { return pipeline_; }
    // The component of the layout with that name (as the tables call them:
    // "lblEmitente", "rpDBText2", "PZebrado", "vValor_Total_Nota"...).
    TComponent* Find(const std::string& Name) const;

    // The header's texts of a run and the footer's credit line.
    void SetHeader(const HeaderTexts& Header, const std::string& Credit);
    // Replaces the layout with one stored as a template (a ".rtm" stream,
    // binary or text) naming the same components; the row rules and the
    // totals follow the loaded stripe, asterisk and variables.
    void LoadLayout(TStream& Stream);

    // "Zebrar Relatório": the stripe behind the rows shows.
    void SetZebra(bool On);
    // Runs the report on a device ("Screen" opens the preview, maximised
    // at 100 %; "Printer" prints; a file device writes its file).
    void Print(const std::string& DeviceType);

    const RowSequencer& Sequencer() const { return sequencer_; }

private:
    void BuildHeader();
    void BuildInvoiceRows();
    void BuildSummaryRows();
    void BuildInvoiceSummary();
    void BuildSalesSummary();
    void BuildFooter();
    void Bind();
    void StartPass();
    void AddToTotals(const ListingRow& Row);
    ListingRow CurrentRow();

    Listing kind_;
    std::unique_ptr<TComponent> owner_;
    TrpReport* report_ = nullptr;
    TrpDBPipeline* pipeline_ = nullptr;
    TrpShape* zebra_ = nullptr;
    TrpLabel* asterisk_ = nullptr;
    TrpVariable* totals_[3] = {nullptr, nullptr, nullptr};
    RowSequencer sequencer_;
    std::unique_ptr<ColumnFit> fit_;
    ListingRowReader reader_;
    // The row read last, kept while its table's change stamp stays: each
    // row is read before and after it prints.
    const TDataSet* readFrom_ = nullptr;
    std::uint64_t readStamp_ = 0;
    ListingRow lastRead_;
    bool zebraOn_ = false;
};

}  // namespace billing::listings
