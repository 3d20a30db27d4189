// The product listing: the text report against golden files (fixed clock,
// temporary folder), the page layout it must keep, and the form's range
// checks and messages.
#include <QTimer>

#include "billing/controls/JLPSay.h"
#include "billing/data/Utils.h"
#include "billing/forms/Nota301.h"
#include "billing/forms/ProductListing.h"
#include "platform/rtl/Format.h"
#include "tests/billing/forms/BillingFixture.h"

using billing::forms::ProductRow;

namespace {

TDateTime FixedNow() { return EncodeDateTime(2024, 3, 5, 14, 30, 5, 0); }

// Products 1..n with nine-digit codes; a few carry what the layout must cope
// with: a short code, accented texts and a description longer than its column.
std::vector<ProductRow> Products(int n) {
    std::vector<ProductRow> rows;
    for (int i = 1; i <= n; ++i) {
        ProductRow r{"10100" + IntToStrZero(i, 4), IntToStrZero(i, 5), "PRODUTO " + std::to_string(i),
                     "Descrição do produto " + std::to_string(i)};
        if (i == 3) r.descricao = "Descrição longa que passa da coluna reservada para ela no relatório";
        if (i == 5) r.id_produto_estrutura = "1234";
        if (i == 7) {
            r.descricao_abreviada = "AÇÚCAR CRISTAL";
            r.descricao = "Açúcar cristal, saco de 5 kg";
        }
        rows.push_back(r);
    }
    return rows;
}

class ProductListing : public billtest::Session {
protected:
    void SetUp() override {
        Session::SetUp();
        say.SetWorkFolder(dir.path().string());
        say.SetClock(FixedNow);
    }
    // The report's bytes for the rows.
    std::string Report(const std::vector<ProductRow>& rows) {
        EXPECT_TRUE(say.StartReport());
        billing::forms::WriteProductListing(say, rows, "#.##.###.###;0; ");
        return testsupport::ReadAll(say.WorkFile());
    }
    TSay say{nullptr};
};

}  // namespace

TEST_F(ProductListing, FiftyTwoProductsMatchTheGoldenReport) {
    std::string report = Report(Products(52));
    EXPECT_EQ(report, testsupport::ReadAll(testsupport::DataPath("billing/listings/produtos-52.prn")));
}

TEST_F(ProductListing, APageHoldsFiftyOneProductsInSixtyLinesAndTheNextBeginsWithTheHeader) {
    std::vector<std::string> lines = testsupport::CrLfLines(Report(Products(52)));
    std::string rule = std::string(19, ' ') + billing::forms::ProductListing::kRule;
    std::string stars = std::string(19, ' ') + std::string(120, '*');
    ASSERT_EQ(lines.size(), 60u + 9u);
    EXPECT_EQ(lines[0], stars);
    EXPECT_EQ(lines[5], rule);
    EXPECT_EQ(lines[7], rule);
    int products = 0;
    for (int i = 8; i <= 58; ++i) products += lines[i].rfind(std::string(19, ' ') + "|   1", 0) == 0;
    EXPECT_EQ(products, 51);
    // Row 59 closes the table; the form feed and the next page's first row share its line.
    EXPECT_EQ(lines[59], rule + "\f\r" + stars);
    // Page 2's row r is line 59 + r.
    EXPECT_NE(lines[60].find("Pag. : 0000000002 *"), std::string::npos);
    EXPECT_EQ(lines[66], rule);
    EXPECT_NE(lines[67].find("|   1.01.000.052   |    00052     |"), std::string::npos) << lines[67];
    // The 52nd product, then the total printed over a closing rule.
    EXPECT_EQ(lines[68], rule + "\r" + std::string(19, ' ') + "|" + std::string(37, ' ') +
                             "Total de Produtos Listados.: 52" + std::string(50, ' ') + "|\r" + rule);
    // Every printed line is 139 characters wide (the code page gives one byte each).
    for (const std::string& line : lines) {
        std::size_t at = 0;
        for (std::size_t end; at <= line.size(); at = end + 1) {
            end = line.find_first_of("\r\f", at);
            if (end == std::string::npos) end = line.size();
            std::string piece = line.substr(at, end - at);
            if (!piece.empty() && piece.find("Descri\xE7\xE3o longa") == std::string::npos)
                EXPECT_EQ(piece.size(), 139u) << piece;
        }
    }
}

TEST_F(ProductListing, CodesShowThroughTheProductMaskAndALongDescriptionIsOverprinted) {
    std::vector<std::string> lines = testsupport::CrLfLines(Cp1252ToUtf8(Report(Products(7))));
    // Product 1 on row 8: the code through the mask at 23, the reduced code at 43.
    EXPECT_EQ(lines[8].substr(19, 35), "|   1.01.000.001   |    00001     |");
    // A short code fills the mask's places from the left, without the
    // separators of the places it leaves empty.
    EXPECT_EQ(lines[12].substr(19, 20), "|   1.23.4         |");
    EXPECT_EQ(Pos("|   AÇÚCAR CRISTAL              | Açúcar cristal,", lines[14]), 54) << "column 53, from 0";
    // A description past column 137 runs on; the closing bar is printed over it.
    std::size_t cr = lines[10].find('\r');
    ASSERT_NE(cr, std::string::npos);
    EXPECT_EQ(lines[10].substr(cr + 1), std::string(138, ' ') + "|");
}

TEST_F(ProductListing, TheTotalGroupsThousandsAsTheBrazilianLocaleDoes) {
    std::vector<std::string> lines = testsupport::CrLfLines(Report(Products(1234)));
    ASSERT_FALSE(lines.empty());
    EXPECT_NE(lines.back().find("Total de Produtos Listados.: 1.234 "), std::string::npos);
    int pages = 1;
    for (const std::string& l : lines) pages += l.find('\f') != std::string::npos;
    EXPECT_EQ(pages, 25);  // 24 full pages of 51 and 10 on the last
    EXPECT_EQ(say.Page(), 25);
}

// ---------------------------------------------------------------------------
// The form

namespace {

class ProductListingForm : public billtest::Session {
protected:
    void SetUp() override {
        Session::SetUp();
        int n = 0;
        for (const char* code : {"101000001", "101000002", "201000001", "9"}) {
            dmdb->ADOConnection->Execute(
                "insert into produto(id_produto, id_produto_estrutura, descricao_abreviada, descricao) "
                "values(:p1, :p2, :p3, :p4)",
                {{"p1", Variant(IntToStrZero(++n, 5))}, {"p2", Variant(std::string(code))},
                 {"p3", Variant("Curto " + std::string(code))}, {"p4", Variant("Longo " + std::string(code))}});
        }
        form = new TfrmNota301(nullptr);
        form->Say1->SetWorkFolder(dir.path().string());
        form->Say1->SetClock(FixedNow);
        form->FormShow(form);
    }
    void TearDown() override {
        delete form;
        Session::TearDown();
    }
    void Range(const std::string& From, const std::string& To) {
        form->tbTemp->FieldByName("Id_Produto_Inicial")->SetAsString(From);
        form->tbTemp->FieldByName("Id_Produto_Final")->SetAsString(To);
    }
    // Runs OK and reads the preview's text (closing it at once).
    std::string RunAndPreview() {
        std::string shown;
        QTimer::singleShot(0, qApp, [&] {
            TForm* window = form->Say1->PreviewWindow();
            ASSERT_NE(window, nullptr);
            EXPECT_TRUE(form->Say1->PreviewEditor()->ReadOnly());
            shown = form->Say1->PreviewEditor()->Text();
            window->Close();
        });
        form->Button1->Click();
        return shown;
    }
    TfrmNota301* form = nullptr;
};

}  // namespace

TEST_F(ProductListingForm, ShowProposesTheWholeRangeThroughTheProductMask) {
    EXPECT_EQ(form->Caption(), "Relatório Produtos - NOTA301");
    EXPECT_EQ(form->tbTemp->FieldByName("Id_Produto_Inicial")->AsString(), "1");
    EXPECT_EQ(form->tbTemp->FieldByName("Id_Produto_Final")->AsString(), "999999999");
    EXPECT_EQ(form->tbTemp->FieldByName("Id_Produto_Final")->EditMask(), "#.##.###.###;0; ");
    std::string shown = RunAndPreview();
    EXPECT_NE(shown.find("1.01.000.001"), std::string::npos);
    EXPECT_NE(shown.find("2.01.000.001"), std::string::npos);
    EXPECT_NE(shown.find("Total de Produtos Listados.: 4"), std::string::npos);
}

TEST_F(ProductListingForm, CodesCompareAsTextSoNineToTenIsRefused) {
    Range("9", "10");
    dialogs.Expect("Código Produto Inicial maior que o Final.", mrOk, "Atenção");
    form->Button1->Click();
    EXPECT_TRUE(form->Say1->WorkFile().empty()) << "no report was started";
    // The query compares as text too: "2" to "3" takes 201000001 only.
    Range("2", "3");
    std::string shown = RunAndPreview();
    EXPECT_EQ(shown.find("1.01.000.001"), std::string::npos);
    EXPECT_NE(shown.find("Total de Produtos Listados.: 1"), std::string::npos);
}

TEST_F(ProductListingForm, ARangeWithoutProductsIsAMessageAndNoReport) {
    Range("3", "4");
    dialogs.Expect("Não existem produtos para solicitação de intervalo.", mrOk, "Atenção");
    form->Button1->Click();
    EXPECT_TRUE(form->Say1->WorkFile().empty());
}

TEST_F(ProductListingForm, AWorkFileThatCannotBeMadeIsAMessageInsteadOfAnEmptyPreview) {
    form->Say1->SetWorkFolder(dir.file("nao-existe"));
    dialogs.Expect("Não foi possível criar o arquivo do relatório na pasta", mrOk, "Erro");
    form->Button1->Click();
    EXPECT_FALSE(form->Say1->Active());
}
