#include "billing/forms/ProductListing.h"

#include <QWidget>


#include "billing/controls/JLPSay.h"
#include "billing/data/dmdbu.h"
#include "platform/db/SQLQuery.h"
#include "platform/rtl/Format.h"
#include "platform/ui/Mask.h"

namespace billing::forms {

namespace {

constexpr int kLeft = 19;      // the table's left edge, as the header's box
constexpr int kWidth = 120;
constexpr int kLastRow = 57;   // a product below this row needs a new page

std::string Text(const TSQLQuery& q, const char* column) {
    TField* f = q.FieldByName(column);
    return f->IsNull() ? std::string() : f->AsString();
}

}  // namespace

std::vector<ProductRow> ReadProducts(TSQLConnection& Db, const std::string& From, const std::string& To) {
    TSQLQuery q;
    q.SetConnection(&Db);
    q.SetSQL("select * from produto where (id_produto_estrutura >= :pId_produto_inicial and "
             "id_produto_estrutura <= :pid_produto_final) order by id_produto_estrutura");
    q.ParamByName("pId_produto_inicial")->SetAsString(From);
    q.ParamByName("pid_produto_final")->SetAsString(To);
    q.Open();
    std::vector<ProductRow> rows;
    for (; !q.Eof(); q.Next())
        rows.push_back({Text(q, "id_produto_estrutura"), Text(q, "id_produto"), Text(q, "descricao_abreviada"),
                        Text(q, "descricao")});
    return rows;
}

ProductListing::ProductListing(TSay& Say, std::string Mask) : say_(Say), mask_(std::move(Mask)) {}

std::string ProductListing::ShownCode(const std::string& Code) const { return ui::EditMask(mask_).Shown(Code); }

void ProductListing::MyHeader() {
    if (say_.Row() > kLastRow) {
        say_.Say(say_.Row() + 1, kLeft, kRule);
        say_.NewPage();
    }
    dmdb->TopHeader(&say_, kWidth, "NOTA301", "RELATÓRIO DE PRODUTOS", "Ordem de Código", kLeft, true);
    say_.Say(say_.Row() + 1, kLeft, kRule);
    say_.Say(say_.Row() + 1, kLeft, kHeading);
    say_.Say(say_.Row() + 1, kLeft, kRule);
}

void ProductListing::Add(const ProductRow& Row) {
    if (say_.Row() == 0 || say_.Row() > kLastRow) MyHeader();
    int row = say_.Row() + 1;
    say_.Say(row, 19, "|");
    say_.Say(row, 23, ShownCode(Row.id_produto_estrutura));
    say_.Say(row, 38, "|");
    say_.Say(row, 43, Row.id_produto);
    say_.Say(row, 53, "|");
    say_.Say(row, 57, Row.descricao_abreviada);
    say_.Say(row, 85, "|");
    say_.Say(row, 87, Row.descricao);
    say_.Say(row, 138, "|");
    ++count_;
}

void ProductListing::Total() {
    int row = say_.Row() + 1;
    say_.Say(row, kLeft, kRule);
    say_.Say(row, kLeft, "|");
    say_.Say(row, 57, "Total de Produtos Listados.: " + FormatFloat("###,###", count_));
    say_.Say(row, 138, "|");
    say_.Say(row, kLeft, kRule);
}

void WriteProductListing(TSay& Say, const std::vector<ProductRow>& Rows, const std::string& Mask) {
    ProductListing listing(Say, Mask);
    for (const ProductRow& row : Rows) listing.Add(row);
    listing.Total();
    Say.EndReport();
}

}  // namespace billing::forms
