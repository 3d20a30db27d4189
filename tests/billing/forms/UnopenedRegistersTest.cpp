// The registers no menu opens yet (suppliers, printer models, bank codes,
// titles receivable): each opens, inserts and saves a row, and closes with
// (printer models, bank codes) or without (suppliers, titles) the save
// question; the bank codes keep their logo file.
#include <QImage>

#include "billing/forms/Nota109.h"
#include "billing/forms/Nota112.h"
#include "billing/forms/Nota116.h"
#include "billing/forms/Nota117.h"
#include "tests/billing/forms/FormFixture.h"

namespace {

class UnopenedRegisters : public billtest::Forms {
protected:
    // The pattern's furniture these four share: no search, "Cancelar".
    void ExpectFurniture(billing::forms::RegisterForm* f) {
        EXPECT_FALSE(f->DBButton2->Visible());
        EXPECT_EQ(f->DBButton1->Caption(), "Cancelar");
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
    f->btnInsert->Click();  // on another page the focus stays where it is
    EXPECT_NE(f->ActiveControl(), f->dbeId_Fornecedor);
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
