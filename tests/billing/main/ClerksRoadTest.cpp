// A clerk's first day from an empty folder: the program makes its database,
// Admin logs in with the default password, every register an invoice needs
// is filled through its form (the states, municipalities and banks are the
// new database's own; the bank is chosen by name in its search), an invoice
// with items is saved and transmitted, and a scripted monitor authorises it
// while its window stays in front; then a São Paulo rural producer is
// registered and invoiced. Nothing is written into the database by hand.
#include <filesystem>

#include <QLineEdit>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include "billing/forms/Nota100.h"
#include "billing/forms/Nota101.h"
#include "billing/forms/Nota102.h"
#include "billing/forms/Nota103.h"
#include "billing/forms/Nota104.h"
#include "billing/forms/Nota106.h"
#include "billing/forms/Nota107.h"
#include "billing/forms/Nota108.h"
#include "billing/forms/Nota110.h"
#include "billing/forms/Nota115.h"
#include "billing/forms/Nota118.h"
#include "billing/forms/Nota119.h"
#include "billing/forms/Nota200.h"
#include "billing/forms/DocumentPolicies.h"
#include "billing/forms/Pesquisa.h"
#include "billing/main/uoskerun.h"
#include "platform/rtl/IniFiles.h"
#include "platform/ui/ExtCtrls.h"
#include "tests/billing/main/MainFixture.h"
#include "tests/billing/nfe/SchemaCheck.h"
#include "tests/billing/nfe/fake/FakeMonitor.h"

namespace fs = std::filesystem;
using billtest::MainWindow;

namespace {

// The current form of a register opened from the menu, in insert or edit.
template <typename Form>
Form* Opened(Form* form) {
    EXPECT_NE(form, nullptr);
    return form;
}

void Set(TDataSet* q, const std::string& field, const Variant& value) { q->FieldByName(field)->SetValue(value); }

std::string Scalar(const std::string& sql) {
    sqlite::Statement st(dmdb->ADOConnection->Database(), sql);
    return st.Step() && !st.ColumnIsNull(0) ? st.ColumnText(0) : std::string();
}

}  // namespace

TEST_F(MainWindow, ANewFolderGoesFromLogInToAnAuthorisedInvoiceThroughTheFormsAlone) {
    NFE_REQUIRE_SCHEMAS();
    ui::ManualTimerClock clock;
    nfeAnswers = true;
    Create();
    LogInAs("Admin", "TRUVE");
    ASSERT_TRUE(window->LoginDone());
    ASSERT_TRUE(dmdb->ADOConnection->Connected());
    // The monitor program is this test program, so that it is found running.
    TIniFile(dir.file("faturamento.ini")).WriteString("NFe", "Monitor", fs::read_symlink("/proc/self/exe").string());
    const std::string nfe = dir.file("nfe");
    for (const char* f : {"envio", "retorno", "arquivo", "erro"}) fs::create_directories(nfe + "/" + f);

    // The issuer, in Curitiba (the new database knows it), with a mobile number.
    window->Emitente1Click(nullptr);
    TfrmNota110* issuer = Opened(frmNota110);
    issuer->btnEdit->Click();
    TDataSet* q = issuer->qry;
    Set(q, "Nome", "Indústria de Parafusos Ltda");
    Set(q, "Cnpj", "12345678000195");
    Set(q, "Inscricao_Estadual", "1012345689");
    Set(q, "Endereco", "Rua XV de Novembro");
    Set(q, "Numero_Endereco", "100");
    Set(q, "Bairro", "Centro");
    Set(q, "Cep", "80020000");
    Set(q, "Telefone", "41987654321");
    issuer->Mostra_Tudo();
    EXPECT_EQ(issuer->PMunicipio->Caption(), "Curitiba");
    EXPECT_EQ(issuer->PUF->Caption(), "PR");
    issuer->btnSave->Click();
    issuer->Close();

    window->mnuNota103Click(nullptr);  // sellers
    TfrmNota102* sellers = Opened(frmNota102);
    sellers->btnInsert->Click();
    Set(sellers->qry, "Nome", "Ana Souza");
    sellers->btnSave->Click();
    sellers->Close();

    window->mnuCondicao_PagamentoClick(nullptr);
    TfrmNota108* terms = Opened(frmNota108);
    terms->btnInsert->Click();
    Set(terms->qry, "descricao", "30 dias");
    terms->tbTemp->Append();
    terms->tbTemp->FieldByName("prazo_dias")->SetAsInteger(30);
    terms->tbTemp->FieldByName("percentual")->SetAsFloat(100);
    terms->tbTemp->Post();
    terms->btnSave->Click();
    terms->Close();

    window->UnidadesdeMedida1Click(nullptr);
    TfrmNota119* units = Opened(frmNota119);
    units->btnInsert->Click();
    Set(units->qry, "Id_Unidade_Medida", "UN");
    Set(units->qry, "Descricao", "Unidade");
    units->btnSave->Click();
    units->Close();

    window->mnuNota106Click(nullptr);
    TfrmNota106* taxes = Opened(frmNota106);
    taxes->btnInsert->Click();
    Set(taxes->qry, "Id_Situacao_Tributaria", "000");
    Set(taxes->qry, "Descricao", "Tributada integralmente");
    taxes->btnSave->Click();
    taxes->Close();

    window->mnuNota105Click(nullptr);
    TfrmNota104* cfops = Opened(frmNota104);
    cfops->btnInsert->Click();
    Set(cfops->qry, "Id_CFOP", "5102");
    Set(cfops->qry, "Descricao", "Venda de mercadoria");
    cfops->btnSave->Click();
    cfops->Close();

    window->SrieDocumentos1Click(nullptr);
    TfrmNota118* series = Opened(frmNota118);
    series->btnInsert->Click();
    Set(series->qry, "Proximo_Numero", 1);
    series->btnSave->Click();
    const int serie = series->qry->FieldByName("Id_Serie_Documento")->AsInteger();
    series->Close();

    // The bank account names its bank from the new database's bank codes,
    // the bank chosen by the name the clerk knows: the "..." beside Febraban,
    // a letter typed into the search, the rest of the name, Enter.
    window->mnuConta_CorrenteClick(nullptr);
    TfrmNota107* accounts = Opened(frmNota107);
    accounts->btnInsert->Click();
    QTimer::singleShot(0, qApp, [] {
        ASSERT_NE(frmPesquisa, nullptr);
        QTableView* grid = frmPesquisa->dbGrid->View();
        QTimer::singleShot(0, qApp, [grid] {
            ASSERT_NE(frmLocalizar, nullptr);
            EXPECT_EQ(frmLocalizar->cbFields->Text(), "Nome");
            QTest::keyClicks(frmLocalizar->edtLocalizar->LineEdit(), "anco do Brasil");
            frmLocalizar->btnOk->Click();
            QTimer::singleShot(0, qApp, [grid] { QTest::keyClick(grid, Qt::Key_Return); });
        });
        grid->setFocus();
        QTest::keyClick(grid, 'B');
    });
    QToolButton* dots = accounts->dbeId_Febraban->LineEdit()->findChild<QToolButton*>();
    ASSERT_NE(dots, nullptr);
    QTest::mouseClick(dots, Qt::LeftButton);
    EXPECT_EQ(accounts->qry->FieldByName("id_febraban")->AsInteger(), 1);
    EXPECT_EQ(accounts->PFebraban->Caption(), "BCO DO BRASIL S.A.");
    Set(accounts->qry, "agencia", "1234");
    Set(accounts->qry, "conta", "56789");
    Set(accounts->qry, "conta_dv", "0");
    accounts->btnSave->Click();
    const int conta = accounts->qry->FieldByName("id_conta_corrente")->AsInteger();
    accounts->Close();
    EXPECT_EQ(Scalar("select descricao from conta_corrente"), "1 - BCO DO BRASIL S.A. / Ag. 1234 C/C 56789-0");

    window->mnuTransportadorasClick(nullptr);
    TfrmNota103* carriers = Opened(frmNota103);
    carriers->btnInsert->Click();
    q = carriers->qry;
    Set(q, "Nome", "Transportes Rápidos Ltda");
    Set(q, "Natureza", "Jurídica");
    Set(q, "CPF_CNPJ", "33444555000181");
    Set(q, "Endereco", "Rodovia BR-116, km 10");
    Set(q, "Id_Municipio", 4105805);  // Colombo, PR
    carriers->Mostra_Tudo();
    carriers->btnSave->Click();
    const int transportador = q->FieldByName("Id_Transportador")->AsInteger();
    carriers->Close();

    window->mnuClientesClick(nullptr);
    TfrmNota100* clients = Opened(frmNota100);
    clients->btnInsert->Click();
    q = clients->qry;
    Set(q, "Id_Cliente", "42");
    clients->Atribui_Codigo_Cliente();
    Set(q, "Nome", "Comercial São João Ltda");
    Set(q, "Natureza", "Jurídica");
    Set(q, "CPF_CNPJ", "11222333000181");
    Set(q, "IE_RG", "9041234552");
    Set(q, "Endereco", "Av. Sete de Setembro");
    Set(q, "Numero_Endereco", "200");
    Set(q, "Bairro", "Batel");
    Set(q, "Cep", "80240000");
    Set(q, "Telefone", "41999998888");  // a mobile number, kept whole
    Set(q, "Id_Municipio", 4106902);
    Set(q, "Id_Vendedor", 1);
    Set(q, "id_condicao_pagamento", 1);
    clients->Mostra_Tudo();
    clients->btnSave->Click();
    const std::string cliente = q->FieldByName("Id_Cliente")->AsString();
    clients->Close();
    EXPECT_EQ(Scalar("select telefone from cliente"), "41999998888");
    EXPECT_EQ(Scalar("select telefone from emitente"), "41987654321");

    window->mnuProdutosClick(nullptr);
    TfrmNota101* products = Opened(frmNota101);
    products->btnInsert->Click();
    q = products->qry;
    Set(q, "Id_Produto_estrutura", "100010001");
    products->Atribui_Codigo_Produto();
    Set(q, "Descricao_Abreviada", "PARAFUSO");
    Set(q, "Descricao", "Parafuso sextavado");
    Set(q, "Id_Unidade_Medida", "UN");
    Set(q, "Id_CST_Estadual", "000");
    Set(q, "Id_CST_Interestadual", "000");
    Set(q, "Aliq_ICMS_Estadual", 18.0);
    products->Mostra_Tudo();
    products->btnSave->Click();
    const std::string produto = q->FieldByName("Id_Produto")->AsString();
    products->Close();

    // The settings: the NF-e folders, the environment and the invoice defaults.
    window->mnuCfgConfiguraClick(nullptr);
    TfrmNota115* settings = Opened(frmNota115);
    settings->DBButton1->Click();
    q = settings->qryOpcao;
    Set(q, "Pasta_NFe_Envio", nfe + "/envio");
    Set(q, "Pasta_NFe_Retorno", nfe + "/retorno");
    Set(q, "Pasta_NFe_Arquivamento", nfe + "/arquivo");
    Set(q, "Pasta_NFe_Erro", nfe + "/erro");
    Set(q, "Ambiente", "2 - Homologação");
    Set(q, "copias_danfe", 1);
    Set(q, "Id_Serie_Documento", serie);
    Set(q, "Id_CFOP", "5102");
    Set(q, "Id_Transportador", transportador);
    Set(q, "Id_Conta_Corrente", conta);
    Set(q, "Id_Cliente", cliente);
    Set(q, "Id_Vendedor", 1);
    Set(q, "Id_Condicao_Pagamento", 1);
    settings->DBButton2->Click();
    settings->Close();
    billtest::Pump();
    ASSERT_EQ(Scalar("select count(*) from nota_fiscal"), "0");

    // The invoice: two items, saved, and "Sim" to the transmit question.
    window->mnuLancar_VendaClick(nullptr);
    ASSERT_NE(frmNota200, nullptr);
    billing::forms::DocumentCore* core = frmNota200->Core;
    core->Header()->Insert();
    EXPECT_EQ(core->Field("Id_Cliente")->AsString(), cliente);
    for (auto [quantidade, preco] : {std::pair{10.0, 12.5}, std::pair{4.0, 3.25}}) {
        core->NewItemRow();
        core->Items()->FieldByName("Quantidade")->SetAsFloat(quantidade);
        ASSERT_TRUE(core->ApplyProduct(produto));
        core->Items()->FieldByName("Valor_Unitario")->SetAsFloat(preco);
        core->Items()->Post();
    }
    dialogs.Expect(billing::forms::MsgTransmitir, mrYes, "Transmitir NF-e");
    core->Header()->Post();
    billtest::Pump();
    const std::string key = Scalar("select numero_nfe from nota_fiscal");
    ASSERT_EQ(key.size(), 44u);
    EXPECT_EQ(Scalar("select valor_total_nota from nota_fiscal"), "138.0");
    const std::string sent = nfe + "/envio/" + key + "-nfe.xml";
    ASSERT_TRUE(fs::exists(sent));
    nfetest::CheckResult valid = nfetest::ValidateFile(sent, "nfe_v1.10.xsd", true);
    EXPECT_TRUE(valid.ok) << valid.output;

    // The monitor answers on its own time; the answer timer reads it.
    nfetest::FakeMonitor monitor({nfe + "/envio", nfe + "/retorno", nfe + "/arquivo"});
    monitor.Step();
    clock.Advance(4000);
    EXPECT_EQ(Scalar("select situacao_nfe from nota_fiscal"), "Aguardando");
    monitor.Step();
    clock.Advance(4000);
    EXPECT_EQ(Scalar("select situacao_nfe from nota_fiscal"), "Autorizada");
    EXPECT_EQ(Scalar("select protocolo_nfe from nota_fiscal"), monitor.ProtocolOf(key));
    EXPECT_EQ(Scalar("select proximo_numero from serie_documento"), "2");
    // The invoice's window, left open in front, followed it.
    EXPECT_EQ(frmNota200->DBEdit3->Text(), "Autorizada");
    EXPECT_FALSE(frmNota200->btnEdit->Enabled());

    // A rural producer of São Paulo, a natural person, whose registration is
    // typed with its "P" and its marks.
    window->mnuClientesClick(nullptr);
    clients = Opened(frmNota100);
    clients->btnInsert->Click();
    q = clients->qry;
    Set(q, "Id_Cliente", "43");
    clients->Atribui_Codigo_Cliente();
    Set(q, "Nome", "José Ferreira da Silva");
    Set(q, "Natureza", "Física");
    Set(q, "CPF_CNPJ", "52998224725");
    QLineEdit* ie = clients->dbeIE_RG->LineEdit();
    ie->setFocus();
    ie->setCursorPosition(0);
    QTest::keyClicks(ie, "P-01100424.3/002");
    q->UpdateRecord();
    clients->dbeIE_RGExit(clients->dbeIE_RG);
    Set(q, "Endereco", "Estrada do Sítio Boa Vista");
    Set(q, "Numero_Endereco", "km 4");
    Set(q, "Bairro", "Zona Rural");
    Set(q, "Cep", "01310100");
    Set(q, "Id_Municipio", 3550308);  // São Paulo, SP
    Set(q, "Id_Vendedor", 1);
    Set(q, "id_condicao_pagamento", 1);
    clients->Mostra_Tudo();
    clients->btnSave->Click();
    ASSERT_EQ(q->State(), dsBrowse);
    const std::string rural = q->FieldByName("Id_Cliente")->AsString();
    clients->Close();
    EXPECT_EQ(Scalar("select ie_rg from cliente where id_cliente = '" + rural + "'"), "P011004243002");

    // His invoice states the registration's digits and is authorised.
    core->Header()->Insert();
    core->ClientExit(rural);
    EXPECT_EQ(core->Field("Id_Cliente")->AsString(), rural);
    core->NewItemRow();
    core->Items()->FieldByName("Quantidade")->SetAsFloat(2);
    ASSERT_TRUE(core->ApplyProduct(produto));
    core->Items()->FieldByName("Valor_Unitario")->SetAsFloat(7.5);
    core->Items()->Post();
    dialogs.Expect(billing::forms::MsgTransmitir, mrYes, "Transmitir NF-e");
    core->Header()->Post();
    billtest::Pump();
    const std::string key2 = Scalar("select numero_nfe from nota_fiscal where id_cliente = '" + rural + "'");
    ASSERT_EQ(key2.size(), 44u);
    const std::string sent2 = nfe + "/envio/" + key2 + "-nfe.xml";
    ASSERT_TRUE(fs::exists(sent2));
    valid = nfetest::ValidateFile(sent2, "nfe_v1.10.xsd", true);
    EXPECT_TRUE(valid.ok) << valid.output;
    const std::string xml = testsupport::ReadAll(sent2);
    const std::size_t dest = xml.find("<dest>");
    ASSERT_NE(dest, std::string::npos);
    EXPECT_NE(xml.substr(dest, xml.find("</dest>") - dest).find("<IE>011004243002</IE>"), std::string::npos)
        << xml.substr(dest, 600);
    monitor.Step();
    clock.Advance(4000);
    monitor.Step();
    clock.Advance(4000);
    EXPECT_EQ(Scalar("select situacao_nfe from nota_fiscal where numero_nfe = '" + key2 + "'"), "Autorizada");
    EXPECT_EQ(frmNota200->DBEdit3->Text(), "Autorizada");
}
