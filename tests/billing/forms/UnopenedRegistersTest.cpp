// The registers no menu opens yet (suppliers, printer models, bank codes,
// titles receivable): each opens, inserts and saves a row, and closes with
// (printer models, bank codes) or without (suppliers, titles) the save
// question; the bank codes keep their logo file.
#include <QImage>

#include <algorithm>
#include <map>
#include <regex>
#include <set>

#include "billing/forms/Nota109.h"
#include "billing/forms/Nota112.h"
#include "billing/forms/Nota116.h"
#include "billing/forms/Nota117.h"
#include "billing/listings/ReportLibrary.h"
#include "report/rpBands.h"
#include "report/rpDBPipeline.h"
#include "report/rpMainReport.h"
#include "report/rpMemo.h"
#include "report_output/rpBarCode.h"
#include "report_output/rpDBText.h"
#include "report_output/rpGraphics.h"
#include "report_output/rpImages.h"
#include "tests/billing/forms/FormFixture.h"
#include "tests/report_output/PdfTestSupport.h"

namespace {

class UnopenedRegisters : public billtest::Forms {
protected:
    // The titles form's slip layout registers the report library when made.
    void TearDown() override {
        billtest::Forms::TearDown();
        billing::listings::ReleaseReportLibrary();
    }
    // The pattern's furniture these four share: no search, "&Cancelar" (Alt+C).
    void ExpectFurniture(billing::forms::RegisterForm* f) {
        EXPECT_FALSE(f->DBButton2->Visible());
        EXPECT_EQ(f->DBButton1->Caption(), "&Cancelar");
        EXPECT_TRUE(f->qry->Active());
    }
};

}  // namespace

TEST_F(UnopenedRegisters, SuppliersSaveAndCloseWithoutAsking) {
    Exec("insert into uf(id_uf, uf) values(35, 'SP')");
    Exec("insert into municipio(id_municipio, nome, id_uf) values(3550308, 'São Paulo', 35)");
    auto* f = Open<TfrmNota109>();
    EXPECT_EQ(f->Caption(), "Fornecedores - NOTA109");
    ExpectFurniture(f);
    EXPECT_EQ(f->PageControl1->PageCount(), 3);
    f->PageControl1->SetActivePageIndex(2);
    f->btnInsert->Click();  // from another page: back to the first, in the key
    EXPECT_EQ(f->PageControl1->ActivePageIndex(), 0);
    EXPECT_EQ(f->ActiveControl(), f->dbeId_Fornecedor);
    f->qry->FieldByName("Id_Fornecedor")->SetAsString("0000042");
    f->qry->FieldByName("Nome")->SetAsString("Papelaria Central");
    f->qry->FieldByName("Id_Municipio")->SetAsInteger(3550308);
    f->dbeId_Municipio->OnExit(f->dbeId_Municipio);
    EXPECT_EQ(f->PMunicipio->Caption(), "São Paulo");
    EXPECT_EQ(f->PUf_Municipio->Caption(), "SP");
    f->btnSave->Click();
    EXPECT_EQ(Scalar("select nome from fornecedor where id_fornecedor = '0000042'"), "Papelaria Central");

    f->btnEdit->Click();
    f->qry->FieldByName("Nome")->SetAsString("Não salvo");
    TCloseAction action = caHide;
    bool canClose = true;
    if (f->OnCloseQuery) f->OnCloseQuery(f, canClose);
    f->OnClose(f, action);  // no question: the scripted boxes would fail the test
    EXPECT_TRUE(canClose);
    EXPECT_EQ(action, caFree);
    EXPECT_EQ(f->qry->State(), dsBrowse);
    EXPECT_EQ(Scalar("select nome from fornecedor"), "Papelaria Central");
}

TEST_F(UnopenedRegisters, PrinterModelsSaveAndAskOnClose) {
    auto* f = Open<TfrmNota112>();
    EXPECT_EQ(f->Caption(), "Modelo de Impressoras - NOTA112");
    ExpectFurniture(f);
    f->btnInsert->Click();
    f->qry->FieldByName("Id_Modelo_Impressora")->SetAsString("Epson LX-300");
    f->qry->FieldByName("Condensa_15cpp")->SetAsString("#27#15");
    f->qry->FieldByName("Impressao_Normal")->SetAsString("#18");
    f->btnSave->Click();
    EXPECT_EQ(Scalar("select condensa_15cpp from modelo_impressora where id_modelo_impressora = 'Epson LX-300'"),
              "#27#15");
    f->btnEdit->Click();
    f->qry->FieldByName("Condensa_20cpp")->SetAsString("#27#77");
    TCloseAction action = caHide;
    dialogs.Expect("Deseja salvar as alterações ?", mrYes, "Salvar");
    f->OnClose(f, action);
    EXPECT_EQ(action, caFree);
    EXPECT_EQ(Scalar("select condensa_20cpp from modelo_impressora"), "#27#77");
}

TEST_F(UnopenedRegisters, BankCodesKeepTheirLogoAndAskOnClose) {
    std::string logo = dir.file("banco.png");
    QImage picture(8, 6, QImage::Format_RGB32);
    picture.fill(Qt::blue);
    ASSERT_TRUE(picture.save(QString::fromStdString(logo)));
    std::string notPicture = dir.file("leia-me.jpg");
    testsupport::WriteAll(notPicture, "nada de imagem");

    auto* f = Open<TfrmNota116>();
    EXPECT_EQ(f->Caption(), "Códigos Febraban  - NOTA116");
    ExpectFurniture(f);
    EXPECT_EQ(f->PageControl1->PageCount(), 5);
    EXPECT_EQ(f->PageControl1->ActivePageIndex(), 0);
    EXPECT_FALSE(f->Button3->Enabled());  // browse look: nothing to write the logo into
    f->btnInsert->Click();
    EXPECT_TRUE(f->Button3->Enabled());
    f->qry->FieldByName("id_febraban")->SetAsInteger(1);
    f->qry->FieldByName("Nome")->SetAsString("Banco do Brasil S.A.");
    f->qry->FieldByName("Nome_Fantasia")->SetAsString("BANCO DO BRASIL");

    dialogs.AnswerText(notPicture);
    dialogs.Expect("Não foi possível carregar o logotipo", mrOk, "Atenção");
    f->Button3->Click();  // as the issuer's logo: kept, reported, no picture
    EXPECT_TRUE(f->imgLogotipo->Empty());
    dialogs.AnswerText(logo);
    f->Button3->Click();
    EXPECT_EQ(dialogs.Shown().back().filter,
              "JPEG Image File (*.jpg)|*.jpg|JPEG Image File (*.jpeg)|*.jpeg|Bitmaps (*.bmp)|*.bmp");
    EXPECT_EQ(f->qry->FieldByName("arquivo_logotipo")->AsString(), logo);
    EXPECT_FALSE(f->imgLogotipo->Empty());
    f->btnSave->Click();
    EXPECT_EQ(Scalar("select arquivo_logotipo from febraban where id_febraban = 1"), logo);

    f->btnEdit->Click();
    EXPECT_EQ(f->ActiveControl(), f->dbeId_Febraban);
    EXPECT_TRUE(f->dbeId_Febraban->ReadOnly());
    f->Button4->Click();
    EXPECT_TRUE(f->imgLogotipo->Empty());
    TCloseAction action = caHide;
    dialogs.Expect("Deseja salvar as alterações ?", mrNo, "Salvar");
    f->OnClose(f, action);
    EXPECT_EQ(action, caFree);
    EXPECT_EQ(Scalar("select arquivo_logotipo from febraban"), logo);
    f->Mostra_Logotipo();
    EXPECT_FALSE(f->imgLogotipo->Empty());
}

TEST_F(UnopenedRegisters, TitlesAreNumberedByTheDatabaseAndCloseWithoutAsking) {
    Exec("insert into cliente(id_cliente, nome) values('0000007', 'Mercado Bom Preço')");
    auto* f = Open<TfrmNota117>();
    EXPECT_EQ(f->Caption(), "Título Receber - NOTA117");
    ExpectFurniture(f);
    EXPECT_TRUE(f->dbeId_Titulo_Receber->ReadOnly());
    for (const char* cliente : {"0000007", "0000008"}) {
        f->btnInsert->Click();
        f->qry->FieldByName("Id_Cliente")->SetAsString(cliente);
        f->qry->FieldByName("Valor_Titulo")->SetAsFloat(150.75);
        f->qry->FieldByName("Gerou_Arquivo")->SetAsString("Não");
        f->btnSave->Click();
    }
    EXPECT_EQ(Scalar("select group_concat(id_titulo_receber || '=' || id_cliente) from (select * from "
                     "titulo_receber order by id_titulo_receber)"),
              "1=0000007,2=0000008");
    ASSERT_TRUE(f->qry->Locate("Id_Cliente", "0000007", {}));
    EXPECT_EQ(f->PCliente->Caption(), "Mercado Bom Preço");

    f->btnInsert->Click();
    TCloseAction action = caHide;
    f->OnClose(f, action);
    EXPECT_EQ(action, caFree);
    EXPECT_EQ(Count("select count(*) from titulo_receber"), 2);
}

namespace {

// The check digit an interleaved 2 of 5 symbol carries: weights 3 and 1
// from the rightmost digit, to the next multiple of ten.
char Mod10(const std::string& Digits) {
    int sum = 0, weight = 3;
    for (auto it = Digits.rbegin(); it != Digits.rend(); ++it, weight = 4 - weight) sum += (*it - '0') * weight;
    return static_cast<char>('0' + (10 - sum % 10) % 10);
}

}  // namespace

TEST_F(UnopenedRegisters, TheTitlesFormHoldsABankSlipLayoutThatPrintsOneSlipPerTitle) {
    const std::string logo = dir.file("banco.png");
    QImage picture(40, 12, QImage::Format_RGB32);
    picture.fill(Qt::darkBlue);
    ASSERT_TRUE(picture.save(QString::fromStdString(logo)));
    Exec("insert into uf(id_uf, uf) values(35, 'SP')");
    Exec("insert into municipio(id_municipio, nome, id_uf) values(3550308, 'São Paulo', 35)");
    Exec("update emitente set nome = 'Indústria Exemplo Ltda', cnpj = '12345678000195', endereco = 'Rua das Flores',"
         " numero_endereco = '10', bairro = null, arquivo_logotipo = '" + logo + "'");
    Exec("insert into febraban(id_febraban, nome, arquivo_logotipo) values(1, 'Banco do Brasil S.A.', '" + logo +
         "')");
    Exec("insert into conta_corrente(id_conta_corrente, id_febraban, agencia, conta, codigo_cedente, descricao) "
         "values(3, 1, '1234', '56789', '998877', 'BB 1234')");
    Exec("insert into cliente(id_cliente, nome, cpf_cnpj, endereco, numero_endereco, bairro, cep, id_municipio,"
         " endereco_cobranca) values('0000007', 'Mercado Bom Preço', '11222333000181', 'Av. Brasil', '500',"
         " 'Centro', '01001000', 3550308, '')");
    Exec("insert into cliente(id_cliente, nome, endereco, endereco_cobranca, numero_endereco_cobranca) values("
         "'0000008', 'Padaria Pão Quente', 'Rua A', 'Caixa Postal 55', '1')");
    Exec("insert into titulo_receber(id_cliente, id_nota_fiscal, id_conta_corrente, data_vencimento,"
         " valor_titulo, valor_desconto, percentual_mora, dias_protesto, nosso_numero, digito_verificador) values("
         "'0000007', 101, 3, '2026-12-20', 1234.56, 10, 2, 5, '00000012345', '6')");
    Exec("insert into titulo_receber(id_cliente, id_nota_fiscal, id_conta_corrente, valor_titulo, nosso_numero)"
         " values('0000008', 102, 3, 99.9, '00000067890')");
    auto* f = Open<TfrmNota117>();

    // What the layout is made of: one detail band and its controls, fed by
    // the titles, the holder, the client and the bank account.
    EXPECT_EQ(f->rpBloqueto, nullptr);  // made when asked for
    ASSERT_NE(f->Bloqueto(), nullptr);
    EXPECT_EQ(f->Bloqueto(), f->rpBloqueto);
    EXPECT_EQ(f->rpBloqueto->DataPipeline(), f->plTitulo_Receber);
    TrpBand* detail = f->rpBloqueto->DetailBand();
    ASSERT_NE(detail, nullptr);
    std::map<std::string, int> kinds;
    for (int i = 0; i < detail->ObjectCount(); ++i) ++kinds[detail->Objects(i)->ClassName()];
    EXPECT_EQ(kinds["TrpDBImage"], 3);
    EXPECT_EQ(kinds["TrpMemo"], 3);
    EXPECT_EQ(kinds["TrpDBBarCode"], 1);
    EXPECT_GT(kinds["TrpLabel"], 10);
    EXPECT_GT(kinds["TrpLine"], 10);
    EXPECT_GT(kinds["TrpDBText"], 10);
    std::set<TrpDataPipeline*> fed;
    for (int i = 0; i < detail->ObjectCount(); ++i)
        if (detail->Objects(i)->DataPipeline() != nullptr) fed.insert(detail->Objects(i)->DataPipeline());
    EXPECT_EQ(fed, (std::set<TrpDataPipeline*>{f->plTitulo_Receber, f->plEmitente, f->plCliente,
                                               f->plConta_Corrente}));

    const std::string pdf = dir.file("bloquetos.pdf");
    f->rpBloqueto->SetDeviceType("PDF");
    f->rpBloqueto->SetShowPrintDialog(false);
    f->rpBloqueto->SetShowCancelDialog(false);
    f->rpBloqueto->SetTextFileName(pdf);
    f->rpBloqueto->PrintReport();
    EXPECT_NE(filetest::Shell("pdfinfo " + pdf + " | tr -s ' '").Output.find("Pages: 2\n"), std::string::npos);
    const std::string first = filetest::Shell("pdftotext -f 1 -l 1 " + pdf + " -").Output;
    for (const char* text : {"Recibo do Sacado", "Indústria Exemplo Ltda", "Mercado Bom Preço - CPF/CNPJ 11222333000181",
                             "Av. Brasil, 500 - Centro", "01001000 - São Paulo/SP", "1.234,56", "20/12/2026",
                             "Banco do Brasil S.A.", "Após o vencimento, cobrar mora de 2,00% ao mês.",
                             "Conceder desconto de R$ 10,00.", "Protestar após 5 dias do vencimento.", "998877"})
        EXPECT_NE(first.find(text), std::string::npos) << text << "\n" << first;
    // The second slip is the second title's, sent to its billing address.
    const std::string second = filetest::Shell("pdftotext -f 2 -l 2 " + pdf + " -").Output;
    for (const char* text : {"Padaria Pão Quente", "Caixa Postal 55, 1", "99,90"})
        EXPECT_NE(second.find(text), std::string::npos) << text << "\n" << second;
    EXPECT_EQ(second.find("Mercado Bom Preço"), std::string::npos);
    EXPECT_EQ(second.find("cobrar mora"), std::string::npos);
    // Three logos a slip (the holder's, and the bank's on each part), then
    // the bars.
    const std::string images = filetest::Shell("pdfimages -f 1 -l 1 -list " + pdf).Output;
    EXPECT_EQ(std::count(images.begin(), images.end(), '\n'), 2 + 4) << images;
    for (const char* logo : {"1     0 image      40    12", "1     1 image      40    12", "1     2 image      40    12"})
        EXPECT_NE(images.find(logo), std::string::npos) << logo << "\n" << images;
    // The bars read back as the title's number and its check digit.
    const std::string stem = dir.file("pagina");
    ASSERT_EQ(filetest::Shell("pdftoppm -r 300 -png -f 1 -l 1 " + pdf + " " + stem).Status, 0);
    const auto read = filetest::Shell("zbarimg --raw -q " + stem + "-1.png 2>/dev/null | cat");
    EXPECT_EQ(read.Output, "00000012345" + std::string(1, Mod10("00000012345")) + "\n");
}

namespace {

// A word as pdftotext places it, in millimetres from the page's top-left corner.
struct PdfWord {
    std::string Text;
    double Left, Top, Right, Bottom;
};

std::vector<PdfWord> WordsOf(const std::string& Pdf, int Page) {
    const std::string xml =
        filetest::Shell("pdftotext -bbox -f " + std::to_string(Page) + " -l " + std::to_string(Page) + " " + Pdf + " -")
            .Output;
    std::vector<PdfWord> out;
    const std::regex word(
        R"re(<word xMin="([0-9.]+)" yMin="([0-9.]+)" xMax="([0-9.]+)" yMax="([0-9.]+)">([^<]*)</word>)re");
    const double mm = 25.4 / 72;
    for (std::sregex_iterator it(xml.begin(), xml.end(), word), end; it != end; ++it)
        out.push_back({(*it)[5].str(), std::stod((*it)[1].str()) * mm, std::stod((*it)[2].str()) * mm,
                       std::stod((*it)[3].str()) * mm, std::stod((*it)[4].str()) * mm});
    return out;
}

}  // namespace

TEST_F(UnopenedRegisters, TheBankSlipKeepsTheLongestPayerNameInsideItsBoxOnBothParts) {
    // The widest name the register takes (50 characters) and one of spaced
    // wide words, each with the longest CPF/CNPJ.
    const std::string wide(50, 'W');
    const std::string spaced = "MMMMMMMMM WWWWWWWWW MMMMMMMMM WWWWWWWWW MMMMMMMMM W";
    Exec("insert into conta_corrente(id_conta_corrente, agencia, codigo_cedente) values(3, '1234', '998877')");
    for (const auto& [id, name] : {std::pair{"0000007", wide}, std::pair{"0000008", spaced}}) {
        Exec(std::string("insert into cliente(id_cliente, nome, cpf_cnpj) values('") + id + "', '" + name +
             "', '11222333000181')");
        Exec(std::string("insert into titulo_receber(id_cliente, id_conta_corrente, valor_titulo, nosso_numero) "
                         "values('") + id + "', 3, 10, '1')");
    }
    auto* f = Open<TfrmNota117>();
    TrpReport* slip = f->Bloqueto();
    const std::string pdf = dir.file("nomes.pdf");
    slip->SetDeviceType("PDF");
    slip->SetShowPrintDialog(false);
    slip->SetShowCancelDialog(false);
    slip->SetTextFileName(pdf);
    slip->PrintReport();

    // The layout's boxes and rules on the page: the detail band starts at
    // the top margin, under the header band.
    TrpBand* detail = slip->DetailBand();
    const double left = slip->PrinterSetup()->PageDef()->mmMarginLeft() / 1000.0;
    const double top = (slip->PrinterSetup()->PageDef()->mmMarginTop() +
                        (slip->HeaderBand() != nullptr && slip->HeaderBand()->Visible() ? slip->HeaderBand()->mmHeight() : 0)) /
                       1000.0;
    struct Box {
        double Left, Top, Right, Bottom;
    };
    auto boxOf = [&](TrpComponent* C) {
        return Box{left + C->mmLeft() / 1000.0, top + C->mmTop() / 1000.0, left + (C->mmLeft() + C->mmWidth()) / 1000.0,
                   top + (C->mmTop() + C->mmHeight()) / 1000.0};
    };
    std::vector<Box> rules;  // the upright ones
    for (int i = 0; i < detail->ObjectCount(); ++i)
        if (auto* line = dynamic_cast<TrpLine*>(detail->Objects(i)); line != nullptr && line->Position() == lpLeft)
            rules.push_back(boxOf(line));
    ASSERT_GE(rules.size(), 2u);
    const Box receipt = boxOf(static_cast<TrpComponent*>(f->FindComponent("txtSacado1")));
    const Box bank = boxOf(f->mmoSacado);

    for (int page = 1; page <= 2; ++page) {
        const std::string& name = page == 1 ? wide : spaced;
        SCOPED_TRACE(name);
        const std::vector<PdfWord> words = WordsOf(pdf, page);
        for (const bool inBank : {false, true}) {
            const Box& box = inBank ? bank : receipt;
            // The payer's words on the box's first line: a start of the name
            // in whole characters, then (in the bank's part) the CPF/CNPJ.
            std::string shown;
            for (const PdfWord& w : words) {
                if (w.Top < box.Top - 0.5 || w.Top > box.Top + 3) continue;
                if (w.Left < box.Left - 0.5 || w.Left > box.Right) continue;
                EXPECT_LE(w.Right, box.Right + 0.2) << w.Text;
                for (const Box& rule : rules)
                    if (rule.Top < w.Bottom && rule.Bottom > w.Top)
                        EXPECT_FALSE(w.Left < rule.Left && w.Right > rule.Left)
                            << w.Text << " crosses the rule at " << rule.Left - left << " mm";
                shown += (shown.empty() ? "" : " ") + w.Text;
            }
            const std::string document = " - CPF/CNPJ 11222333000181";
            if (inBank) {
                ASSERT_GE(shown.size(), document.size()) << shown;
                EXPECT_EQ(shown.substr(shown.size() - document.size()), document) << shown;
                shown.resize(shown.size() - document.size());
            }
            ASSERT_FALSE(shown.empty());
            EXPECT_EQ(name.substr(0, shown.size()), shown);
        }
    }
}
