#pragma once
// The printed texts of the three listings' columns and totals: each column
// names its field, its display format and the data type the format reads
// the value as. The reports hand the same formats to their database texts
// and variables, and FormatColumn goes through the report library's display
// format in force, so that a value prints alike on every output and in the
// tests ("000,000" gives "001.234" for invoice 1234 under the Brazilian
// separators).
#include <string>
#include <vector>

#include "platform/rtl/Variant.h"
#include "billing/listings/Listing.h"
#include "report/rpTypes.h"

namespace billing::listings {

inline constexpr const char* kFormatNumeroNota = "000,000";
inline constexpr const char* kFormatValorNota = "##,###,###,##0.00";
inline constexpr const char* kFormatValorIcms = "###,###,##0.00";
inline constexpr const char* kFormatPeso = "###,##0.000";
// Every number of the sales summary, its totals too.
inline constexpr const char* kFormatResumo = "###,###,##0.00";

struct ColumnFormat {
    std::string field;
    std::string displayFormat;  // "" prints the value as it is
    TrpDataType dataType = dtString;
};



// The detail row's database texts, left to right.
const std::vector<ColumnFormat>& DetailColumns(Listing Kind);
// The summary's totals, left to right (value, ICMS and weight of the
// invoice listings; sales and both weights of the summary).
const std::vector<ColumnFormat>& TotalColumns(Listing Kind);

// Value as the report prints it under Column's format.
std::string FormatColumn(const ColumnFormat& Column, const Variant& Value);

}  // namespace billing::listings
