#pragma once
// The sales summary by product group (Nota409): the period's invoice items
// summed per group (the first character of the product's structured code)
// into a memory table the report walks.
//
// Each item adds its value as its invoice states it, to the cent (as the
// invoice's totals and its NF-e add it), so that the summary adds up to the
// invoices it sums; the stored item value keeps its decimals.
//
// Invoices of every NF-e state count. The summed item quantities fill both
// weight columns, since the items carry no weight. A group is described by
// the product whose structured code is exactly the group's character, and
// stays without a description when there is none. Products without a
// structured code gather in one group without a code and a description.
// Groups come in the order of their codes.
#include <memory>
#include <string>

#include "billing/data/Messages.h"
#include "billing/listings/Listing.h"

class TComponent;
class TSQLConnection;
class TSQLQuery;
class TmtMemTable;

namespace billing::listings {

// Sets Query's text and date parameters for the items sold in the period,
// one row per item in the order of the products' structured codes; the
// query is left closed.
void PrepareSalesQuery(TSQLQuery& Query, TDateTime DataInicial, TDateTime DataFinal);

class SalesByGroup {
public:
    // tbResumo is owned by Owner when given, else by this object.
    SalesByGroup(TSQLConnection& Db, billing::data::IMessages& Messages, TComponent* Owner = nullptr);
    ~SalesByGroup();

    // Checks the period, fills tbResumo and makes the header texts; false
    // when a message was shown (refused period, or no sale), and then
    // nothing is to print. On success tbResumo stands on its first group.
    bool Gerar_Relatorio(const Criteria& C, const std::string& Usuario);

    // Id_Grupo (3), Descricao (50), Total_Venda, Peso_Bruto, Peso_Liquido.
    TmtMemTable* tbResumo() const { return resumo_; }
    const HeaderTexts& Header() const { return header_; }

private:
    void Describe();

    TSQLConnection& db_;
    billing::data::IMessages& messages_;
    std::unique_ptr<TComponent> ownOwner_;
    TmtMemTable* resumo_ = nullptr;
    HeaderTexts header_;
};

}  // namespace billing::listings
