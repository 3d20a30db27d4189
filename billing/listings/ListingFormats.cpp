#include "billing/listings/ListingFormats.h"

#include "report/rpDisplayFormat.h"

namespace billing::listings {

const std::vector<ColumnFormat>& DetailColumns(Listing Kind) {
    static const std::vector<ColumnFormat> invoices = {
        {"Id_Serie_Documento", "", dtInteger},
        {"Id_Nota_Fiscal", kFormatNumeroNota, dtInteger},
        {"Data_Emissao", "", dtDate},
        {"Nome", "", dtString},
        {"Valor_Total_Nota", kFormatValorNota, dtDouble},
        {"Valor_ICMS", kFormatValorIcms, dtDouble},
        {"Peso_Bruto", kFormatPeso, dtDouble},
        {"Situacao_NFE", "", dtString},
    };
    static const std::vector<ColumnFormat> summary = {
        {"Id_Grupo", "", dtString},
        {"Descricao", "", dtString},
        {"Total_Venda", kFormatValorNota, dtDouble},
        {"Peso_Bruto", kFormatResumo, dtDouble},
        {"Peso_Liquido", kFormatResumo, dtDouble},
    };
    return Kind == Listing::Nota409 ? summary : invoices;
}

const std::vector<ColumnFormat>& TotalColumns(Listing Kind) {
    static const std::vector<ColumnFormat> invoices = {
        {"vValor_Total_Nota", kFormatValorNota, dtDouble},
        {"vValor_ICMS", kFormatValorNota, dtDouble},
        {"vPeso_Bruto", kFormatPeso, dtDouble},
    };
    static const std::vector<ColumnFormat> summary = {
        {"Total_Venda", kFormatResumo, dtDouble},
        {"Peso_Bruto", kFormatResumo, dtDouble},
        {"Peso_Liquido", kFormatResumo, dtDouble},
    };
    return Kind == Listing::Nota409 ? summary : invoices;
}

std::string FormatColumn(const ColumnFormat& Column, const Variant& Value) {
    return rpDisplayFormatClass()->Format(Column.displayFormat, Column.dataType, Value);
}

}  // namespace billing::listings
