#include "billing/listings/InvoiceListing.h"

#include <cmath>
#include <vector>

#include "platform/db/SQLConnection.h"
#include "platform/db/SQLQuery.h"

namespace billing::listings {

using billing::data::MessageIcon;

void PrepareInvoiceQuery(TSQLQuery& Query, Listing Kind, const Criteria& C) {
    // The states left out: "Erro" always, then those whose box is clear.
    std::vector<const char*> excluded{kErro};
    if (!C.autorizada) excluded.push_back(kAutorizada);
    if (!C.denegada) excluded.push_back(kDenegada);
    if (!C.cancelada) excluded.push_back(kCancelada);

    std::string sql =
        "SELECT Nota_Fiscal.*, Cliente.Nome, Cliente.Nome_Fantasia\n"
        "FROM Cliente INNER JOIN Nota_Fiscal ON Cliente.Id_Cliente = Nota_Fiscal.Id_Cliente\n"
        "WHERE (Nota_Fiscal.Data_Emissao >= :pData_Inicial AND Nota_Fiscal.Data_Emissao < :pData_Final)\n";
    if (Kind == Listing::Nota403)
        sql += "and (nota_fiscal.id_cliente >= :pid_cliente_inicial and nota_fiscal.id_cliente <= :pid_cliente_final)\n";
    for (std::size_t i = 0; i < excluded.size(); ++i)
        sql += " and situacao_nfe <> :pSituacao" + std::to_string(i + 1) + "\n";
    sql += "ORDER BY Nota_Fiscal.Id_Serie_Documento, Nota_Fiscal.Id_Nota_Fiscal";

    Query.Close();
    Query.SetSQL(sql);
    Query.ParamByName("pData_Inicial")->SetAsDate(std::trunc(C.dataInicial));
    // The day after the last one, left out: the whole last day is in.
    Query.ParamByName("pData_Final")->SetAsDate(std::trunc(C.dataFinal) + 1);
    if (Kind == Listing::Nota403) {
        Query.ParamByName("pid_cliente_inicial")->SetAsString(C.idClienteInicial);
        Query.ParamByName("pid_cliente_final")->SetAsString(C.idClienteFinal);
    }
    for (std::size_t i = 0; i < excluded.size(); ++i)
        Query.ParamByName("pSituacao" + std::to_string(i + 1))->SetAsString(excluded[i]);
}

InvoiceListing::InvoiceListing(Listing Kind, TSQLConnection& Db, billing::data::IMessages& Messages)
    : kind_(Kind), db_(Db), messages_(Messages), query_(std::make_unique<TSQLQuery>()) {
    query_->SetName("qryNota_Fiscal");
    query_->SetConnection(&db_);
}

InvoiceListing::~InvoiceListing() = default;

bool InvoiceListing::Gerar_Relatorio(const Criteria& C, const std::string& Usuario) {
    if (!CheckCriteria(kind_, C, messages_)) return false;
    header_ = MakeHeader(db_, kind_, C, Usuario);
    PrepareInvoiceQuery(*query_, kind_, C);
    query_->Open();
    if (query_->IsEmpty()) {
        query_->Close();
        messages_.MessageBox(kSemNotas, kAtencao, MessageIcon::Exclamation);
        return false;
    }
    query_->First();
    return true;
}

}  // namespace billing::listings
