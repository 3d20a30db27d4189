#include "billing/listings/SalesByGroup.h"

#include <cmath>
#include <map>
#include <vector>

#include "billing/nfe/NFeWriter.h"

#include "memtable/mtMemTable.h"
#include "platform/db/SQLConnection.h"
#include "platform/db/SQLQuery.h"
#include "platform/rtl/Strings.h"
#include "report_output/rpExactTotal.h"

namespace billing::listings {

using billing::data::MessageIcon;

void PrepareSalesQuery(TSQLQuery& Query, TDateTime DataInicial, TDateTime DataFinal) {
    // One row per item: the summary adds each item's value as its invoice
    // states it, to the cent, which a sum of the stored (unrounded) values
    // would miss by a cent here and there. The period filters the items of
    // the invoices issued in it.
    Query.Close();
    Query.SetSQL(
        "SELECT Produto.Id_Produto_estrutura, Nota_Fiscal_Item.Quantidade, Nota_Fiscal_Item.Valor_Total\n"
        "FROM (Nota_Fiscal INNER JOIN Nota_Fiscal_Item ON Nota_Fiscal.Id_Registro = Nota_Fiscal_Item.Id_Registro) "
        "INNER JOIN Produto ON Nota_Fiscal_Item.Id_Produto = Produto.Id_Produto\n"
        "WHERE Nota_Fiscal.Data_Emissao >= :pData_Inicial AND Nota_Fiscal.Data_Emissao < :pData_Final\n"
        "ORDER BY Produto.Id_Produto_estrutura");
    Query.ParamByName("pData_Inicial")->SetAsDate(std::trunc(DataInicial));
    // The day after the last one, left out: the whole last day is in.
    Query.ParamByName("pData_Final")->SetAsDate(std::trunc(DataFinal) + 1);
}

SalesByGroup::SalesByGroup(TSQLConnection& Db, billing::data::IMessages& Messages, TComponent* Owner)
    : db_(Db), messages_(Messages) {
    if (Owner == nullptr) {
        ownOwner_ = std::make_unique<TComponent>(nullptr);
        Owner = ownOwner_.get();
    }
    resumo_ = new TmtMemTable(Owner);
    resumo_->SetName("tbResumo");
    resumo_->FieldDefs()->Add("Id_Grupo", ftString, 3);
    resumo_->FieldDefs()->Add("Descricao", ftString, 50);
    resumo_->FieldDefs()->Add("Total_Venda", ftFloat);
    resumo_->FieldDefs()->Add("Peso_Bruto", ftFloat);
    resumo_->FieldDefs()->Add("Peso_Liquido", ftFloat);
}

SalesByGroup::~SalesByGroup() = default;

bool SalesByGroup::Gerar_Relatorio(const Criteria& C, const std::string& Usuario) {
    if (!CheckCriteria(Listing::Nota409, C, messages_)) return false;
    header_ = MakeHeader(db_, Listing::Nota409, C, Usuario);
    if (!resumo_->Active()) resumo_->Open();
    resumo_->EmptyTable();

    TSQLQuery sales;
    sales.SetConnection(&db_);
    PrepareSalesQuery(sales, C.dataInicial, C.dataFinal);
    sales.Open();
    if (sales.IsEmpty()) {
        messages_.MessageBox(kSemNotas, kAtencao, MessageIcon::Exclamation);
        return false;
    }
    // Each group summed before it is written, in the order the query meets
    // the groups: the sales total kept exact (a double sum drifts off the
    // cent once it passes about 10^12) beside the double it stands for.
    struct Sums {
        std::string grupo;
        rptotal::Exact exact;
        double venda = 0;
        double quantidade = 0;
    };
    std::vector<Sums> groups;
    std::map<std::string, std::size_t> index;
    TField* estrutura = sales.FieldByName("Id_Produto_estrutura");
    TField* quantidade = sales.FieldByName("Quantidade");
    TField* valor = sales.FieldByName("Valor_Total");
    for (; !sales.Eof(); sales.Next()) {
        const std::string grupo = Copy(estrutura->AsString(), 1, 1);
        auto [at, added] = index.try_emplace(grupo, groups.size());
        if (added) groups.emplace_back().grupo = grupo;
        Sums& sums = groups[at->second];
        sums.venda = rptotal::Add(sums.exact, sums.venda, billing::nfe::StatedAmount(valor->AsFloat()));
        sums.quantidade += quantidade->AsFloat();
    }
    for (const Sums& sums : groups) {
        resumo_->Append();
        resumo_->FieldByName("Id_Grupo")->SetAsString(sums.grupo);
        resumo_->FieldByName("Total_Venda")->SetAsFloat(sums.venda);
        resumo_->FieldByName("Peso_Bruto")->SetAsFloat(sums.quantidade);
        resumo_->FieldByName("Peso_Liquido")->SetAsFloat(sums.quantidade);
        resumo_->Post();
    }
    Describe();
    resumo_->First();
    return true;
}

void SalesByGroup::Describe() {
    TSQLQuery produto;
    produto.SetConnection(&db_);
    produto.SetSQL("select descricao from produto where id_produto_estrutura = :pid_produto_estrutura");
    for (resumo_->First(); !resumo_->Eof(); resumo_->Next()) {
        // The products without a structured code gather in a group without
        // a code, which no product describes.
        const std::string grupo = resumo_->FieldByName("Id_Grupo")->AsString();
        if (grupo.empty()) continue;
        produto.Close();
        produto.ParamByName("pid_produto_estrutura")->SetAsString(grupo);
        produto.Open();
        if (produto.IsEmpty()) continue;
        resumo_->Edit();
        resumo_->FieldByName("Descricao")->SetAsString(produto.FieldByName("descricao")->AsString());
        resumo_->Post();
    }
}

}  // namespace billing::listings
