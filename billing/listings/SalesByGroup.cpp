#include "billing/listings/SalesByGroup.h"

#include <cmath>
#include <cstdint>
#include <map>

#include "memtable/mtMemTable.h"
#include "platform/db/SQLConnection.h"
#include "platform/db/SQLQuery.h"
#include "platform/rtl/Strings.h"
#include "report_output/rpExactTotal.h"

namespace billing::listings {

using billing::data::MessageIcon;

void PrepareSalesQuery(TSQLQuery& Query, TDateTime DataInicial, TDateTime DataFinal) {
    // The period filters the rows before they are grouped: the same groups
    // as filtering the grouped days, without summing days left out. Money is
    // summed in whole ten-thousandths: a sum of doubles drifts off the cent
    // once a day's sales pass about 10^12.
    Query.Close();
    Query.SetSQL(
        "SELECT Produto.Id_Produto_estrutura, Produto.Descricao, Sum(Nota_Fiscal_Item.Quantidade) AS "
        "SomaDeQuantidade, Sum(CAST(round(Nota_Fiscal_Item.Valor_Total * 10000) AS INTEGER)) AS "
        "SomaDeValor_Total_DezMilesimos\n"
        "FROM (Nota_Fiscal INNER JOIN Nota_Fiscal_Item ON Nota_Fiscal.Id_Registro = Nota_Fiscal_Item.Id_Registro) "
        "INNER JOIN Produto ON Nota_Fiscal_Item.Id_Produto = Produto.Id_Produto\n"
        "WHERE Nota_Fiscal.Data_Emissao >= :pData_Inicial AND Nota_Fiscal.Data_Emissao < :pData_Final\n"
        "GROUP BY Nota_Fiscal.Data_Emissao, Produto.Id_Produto_estrutura, Produto.Descricao\n"
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
    // Each group's total as exact ten-thousandths, shown as the nearest double.
    std::map<std::string, std::int64_t> totals;
    for (; !sales.Eof(); sales.Next()) {
        const std::string grupo = Copy(sales.FieldByName("Id_Produto_estrutura")->AsString(), 1, 1);
        if (!resumo_->Locate("Id_Grupo", Variant(grupo), TLocateOptions())) {
            resumo_->Append();
            resumo_->FieldByName("Id_Grupo")->SetAsString(grupo);
            resumo_->Post();
        }
        const double quantidade = sales.FieldByName("SomaDeQuantidade")->AsFloat();
        resumo_->Edit();
        TField* total = resumo_->FieldByName("Total_Venda");
        std::int64_t& exact = totals[grupo];
        exact += sales.FieldByName("SomaDeValor_Total_DezMilesimos")->AsLargeInt();
        total->SetAsFloat(rptotal::ToDouble(exact));
        for (const char* peso : {"Peso_Bruto", "Peso_Liquido"}) {
            TField* f = resumo_->FieldByName(peso);
            f->SetAsFloat(f->AsFloat() + quantidade);
        }
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
