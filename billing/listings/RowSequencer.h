#pragma once
// The per-row rules of the listings' detail band: the stripe colour of the
// zebra, the asterisk beside an invoice that is not authorised, and the
// running totals of the summary. The report calls StartPass when a pass of
// a generation begins, BeforePrint and AfterPrint around every detail row,
// and reads Totals in the summary.
//
// State kept between rows: the zebra counter and the totals. Both start from
// zero at every pass, so that the first printed row always has the same
// colour (grey in the invoice listings, white in the sales summary) and the
// printed totals equal the sum of the totalled rows on every output: the
// preview, a print from the preview, a second run. Each sequencer counts for
// its own report only.
//
// Which rows are totalled: in the invoice listings the authorised invoices
// only (any other state prints with "*" and stays out, as the summary's
// footnote says), Nota403 adding a row after it prints and Nota300 before;
// in the sales summary every group.
#include <string>

#include "billing/listings/Listing.h"
#include "platform/gfx/Graphics.h"

class TDataSet;
class TField;

namespace billing::listings {

// The stripe's light grey (red, green and blue 224 each).
inline constexpr TColor kZebraCinza = 0xE0E0E0;
inline constexpr TColor kZebraBranco = clWhite;

// The values of one detail row the rules read. In the invoice listings the
// three values are the invoice's total, its ICMS and its gross weight; in
// the sales summary the sales total and the two weights.
struct ListingRow {
    std::string situacao;  // the invoice's NF-e state; unused by the summary
    double valores[3] = {0, 0, 0};

    // The current row of the listing's dataset (the invoice query, or the
    // summary's memory table).
    static ListingRow Read(Listing Kind, const TDataSet& Rows);
};

// Reads ListingRow values row after row without looking the four fields up
// by name each time (that search was a fifth of a long listing's run).
class ListingRowReader {
public:
    explicit ListingRowReader(Listing Kind) : kind_(Kind) {}
    ListingRow Read(const TDataSet& Rows);

private:
    struct Slot {
        const TDataSet* dataSet = nullptr;
        TField* field = nullptr;
        std::string name;
    };
    TField* Field(const TDataSet& Rows, int Index, const char* Name);

    Listing kind_;
    Slot slots_[4];
};

struct Totals {
    double valores[3] = {0, 0, 0};
};

// How a detail row prints.
struct RowLook {
    TColor zebra = kZebraBranco;  // the stripe's brush
    std::string asterisco;        // "*" or empty (always empty in the summary)
};

class RowSequencer {
public:
    explicit RowSequencer(Listing Kind);

    // A new pass begins: counter and totals back to zero.
    void StartPass();
    RowLook BeforePrint(const ListingRow& Row);
    void AfterPrint(const ListingRow& Row);

    const Totals& Total() const { return totals_; }
    // Rows printed in this pass.
    int Counter() const { return counter_; }
    // Whether Row counts in the totals.
    bool Totalled(const ListingRow& Row) const;

private:
    void Add(const ListingRow& Row);

    Listing kind_;
    int counter_ = 0;
    Totals totals_;
    // The last accented state and its answer: the full case mapping is
    // dear, and a listing repeats a handful of states.
    mutable std::string accented_;
    mutable bool accentedTotalled_ = false;
};

}  // namespace billing::listings
