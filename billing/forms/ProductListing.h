#pragma once
// The product listing as a 120-column text report: the boxed header and the
// column heading on every page, one product per row from row 8, 51 products
// to a page (the table is closed with a rule before a page ends), and a
// total line printed over a closing rule. Works on an open TSay, so that a
// test can read the report's bytes without a window.
#include <string>
#include <vector>

class TSay;
class TSQLConnection;

namespace billing::forms {

struct ProductRow {
    std::string id_produto_estrutura;  // the structured code, digits as stored
    std::string id_produto;
    std::string descricao_abreviada;
    std::string descricao;
};

// The products whose structured code lies between From and To (compared as
// text, both ends included), in code order.
std::vector<ProductRow> ReadProducts(TSQLConnection& Db, const std::string& From, const std::string& To);

class ProductListing {
public:
    // Say must hold an open report; Mask is the product mask the register's
    // edit shows codes through ("#.##.###.###;0; ").
    ProductListing(TSay& Say, std::string Mask);

    // The page header: the rule closing the page's table and a new page when
    // the page is full, then the boxed header and the column heading.
    void MyHeader();
    // One product on the next row (a header first when the page needs one).
    void Add(const ProductRow& Row);
    // The total line, printed over a closing rule.
    void Total();
    int Count() const { return count_; }

    // The code as the product register's edit shows it.
    std::string ShownCode(const std::string& Code) const;

    static constexpr const char* kRule =
        "+------------------+--------------+-------------------------------+"
        "----------------------------------------------------+";
    static constexpr const char* kHeading =
        "|      CÓDIGO      |   REDUZIDA   |       DESCRIÇÃO ABREVIADA     |"
        "                  D E S C R I C A O                 |";

private:
    TSay& say_;
    std::string mask_;
    int count_ = 0;
};

// Writes the whole listing of Rows on Say (an open report) and ends the report.
void WriteProductListing(TSay& Say, const std::vector<ProductRow>& Rows, const std::string& Mask);

}  // namespace billing::forms
