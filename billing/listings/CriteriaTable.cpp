#include "billing/listings/CriteriaTable.h"

#include "memtable/mtMemTable.h"

namespace billing::listings {

namespace {

constexpr const char* kStateFields[] = {"Autorizada", "Cancelada", "Denegada"};

void Editing(TDataSet& Table) {
    if (Table.State() == dsBrowse) Table.Edit();
}

}  // namespace

TmtMemTable* NewCriteriaTable(TComponent* Owner, Listing Kind) {
    auto* table = new TmtMemTable(Owner);
    table->SetName("tbTemp");
    table->FieldDefs()->Add("data_inicial", ftDate, 0);
    table->FieldDefs()->Add("data_final", ftDate, 0);
    if (Kind == Listing::Nota403) {
        table->FieldDefs()->Add("id_cliente_inicial", ftString, 7);
        table->FieldDefs()->Add("id_cliente_final", ftString, 7);
    }
    if (Kind != Listing::Nota409)
        for (const char* f : kStateFields) table->FieldDefs()->Add(f, ftString, 3);
    return table;
}

void ShowCriteria(TDataSet& tbTemp, Listing Kind, TDateTime Today) {
    if (!tbTemp.Active()) tbTemp.Open();
    if (tbTemp.IsEmpty() && tbTemp.State() == dsBrowse) tbTemp.Append();
    Editing(tbTemp);
    tbTemp.FieldByName("data_inicial")->SetAsDateTime(Today);
    tbTemp.FieldByName("data_final")->SetAsDateTime(Today);
    if (Kind == Listing::Nota403) {
        const Criteria initial = Criteria::Initial(Today);
        tbTemp.FieldByName("id_cliente_inicial")->SetAsString(initial.idClienteInicial);
        tbTemp.FieldByName("id_cliente_final")->SetAsString(initial.idClienteFinal);
    }
    if (Kind != Listing::Nota409)
        for (const char* f : kStateFields) tbTemp.FieldByName(f)->SetAsString("Sim");
}

Criteria ReadCriteria(const TDataSet& tbTemp, Listing Kind, bool Autorizada, bool Cancelada, bool Denegada) {
    Criteria c;
    c.dataInicial = tbTemp.FieldByName("data_inicial")->AsDateTime();
    c.dataFinal = tbTemp.FieldByName("data_final")->AsDateTime();
    if (Kind == Listing::Nota403) {
        c.idClienteInicial = tbTemp.FieldByName("id_cliente_inicial")->AsString();
        c.idClienteFinal = tbTemp.FieldByName("id_cliente_final")->AsString();
    }
    c.autorizada = Autorizada;
    c.cancelada = Cancelada;
    c.denegada = Denegada;
    return c;
}

void ClientEditExit(TDataSet& tbTemp, const std::string& FieldName, const std::string& Typed,
                    billing::data::IMessages& Messages) {
    TField* field = tbTemp.FieldByName(FieldName);
    const std::string code = ClientCodeExit(Typed, field->AsString(), Messages);
    Editing(tbTemp);
    field->SetAsString(code);
}

}  // namespace billing::listings
