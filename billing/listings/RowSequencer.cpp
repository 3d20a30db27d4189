#include "billing/listings/RowSequencer.h"

#include <algorithm>

#include "platform/db/DB.h"
#include "platform/rtl/Strings.h"

namespace billing::listings {

namespace {

constexpr const char* kInvoiceValues[3] = {"valor_total_nota", "valor_icms", "peso_bruto"};
constexpr const char* kSummaryValues[3] = {"Total_Venda", "Peso_Bruto", "Peso_Liquido"};

}  // namespace

ListingRow ListingRow::Read(Listing Kind, const TDataSet& Rows) { return ListingRowReader(Kind).Read(Rows); }

ListingRow ListingRowReader::Read(const TDataSet& Rows) {
    ListingRow r;
    const bool summary = kind_ == Listing::Nota409;
    const char* const* names = summary ? kSummaryValues : kInvoiceValues;
    for (int i = 0; i < 3; ++i) r.valores[i] = Field(Rows, i, names[i])->AsFloat();
    if (!summary) r.situacao = Field(Rows, 3, "situacao_nfe")->AsString();
    return r;
}

TField* ListingRowReader::Field(const TDataSet& Rows, int Index, const char* Name) {
    Slot& slot = slots_[Index];
    // A dataset that was reopened or redefined may have freed the field, or
    // put another one at its address: the remembered one is used only while
    // the dataset still lists it under the name it had. The check compares
    // pointers before it reads anything through one.
    if (slot.dataSet == &Rows && slot.field != nullptr && Rows.Fields()->IndexOf(slot.field) >= 0 &&
        slot.field->FieldName() == slot.name)
        return slot.field;
    slot.field = Rows.FieldByName(Name);
    slot.dataSet = &Rows;
    slot.name = slot.field->FieldName();
    return slot.field;
}

RowSequencer::RowSequencer(Listing Kind) : kind_(Kind) {}

void RowSequencer::StartPass() {
    counter_ = 0;
    totals_ = Totals{};
}

bool RowSequencer::Totalled(const ListingRow& Row) const {
    if (kind_ == Listing::Nota409) return true;
    // Asked twice a row: a plain ASCII state folds its case in place; only
    // an accented one needs the full case mapping.
    const std::string& state = Row.situacao;
    if (std::all_of(state.begin(), state.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
        return SameText(state, "AUTORIZADA");
    if (state != accented_) {
        accentedTotalled_ = AnsiUpperCase(state) == "AUTORIZADA";
        accented_ = state;
    }
    return accentedTotalled_;
}

void RowSequencer::Add(const ListingRow& Row) {
    if (!Totalled(Row)) return;
    for (int i = 0; i < 3; ++i) totals_.valores[i] += Row.valores[i];
}

RowLook RowSequencer::BeforePrint(const ListingRow& Row) {
    RowLook look;
    if (kind_ == Listing::Nota409) {
        // Counted first: the first row is odd, and white.
        ++counter_;
        look.zebra = counter_ % 2 == 1 ? kZebraBranco : kZebraCinza;
        Add(Row);
        return look;
    }
    look.zebra = counter_ % 2 == 0 ? kZebraCinza : kZebraBranco;
    if (!Totalled(Row)) look.asterisco = "*";
    if (kind_ == Listing::Nota300) Add(Row);
    return look;
}

void RowSequencer::AfterPrint(const ListingRow& Row) {
    if (kind_ == Listing::Nota409) return;
    if (kind_ == Listing::Nota403) Add(Row);
    ++counter_;
}

}  // namespace billing::listings
