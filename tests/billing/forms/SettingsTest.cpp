// The settings form: its checks, the printer pick lists from the system's
// printers, the lookups with their panels (a client keeps its zeros), the
// folder and certificate choices, and a save that puts the NF-e folders and
// the environment in force at once.
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

#include "billing/forms/Nota115.h"
#include "billing/forms/Pesquisa.h"
#include "platform/os/Printers.h"
#include "tests/billing/forms/FormFixture.h"
#include "tests/platform/ui/UiTestSupport.h"

namespace {

using billtest::ErrorBox;

const std::vector<std::string> kPortas = {"[D] Rede", "[D] LPT1", "[D] LPT2", "[D] LPT3"};

class FakePrinters : public os::PrinterProvider {
public:
    std::vector<std::string> names;
    std::vector<std::string> Printers() override { return names; }
};

class Settings : public billtest::Forms {
protected:
    void SetUp() override {
        Forms::SetUp();
        previous = os::SetPrinterProvider(&printers);
    }
    void TearDown() override {
        os::SetPrinterProvider(previous);
        Forms::TearDown();
    }
    static std::vector<std::string> Items(TDBComboBox* Combo) {
        std::vector<std::string> items;
        for (int i = 0; i < Combo->Items()->Count(); ++i) items.push_back(Combo->Items()->Strings(i));
        return items;
    }
    TField* Field(TfrmNota115* f, const std::string& Name) { return f->qryOpcao->FieldByName(Name); }

    FakePrinters printers;
    os::PrinterProvider* previous = nullptr;
};

}  // namespace

TEST_F(Settings, AFreshRowShowsRetratoAndSavesItUnchangedOnceItHasCopies) {
    auto* f = Open<TfrmNota115>();
    EXPECT_EQ(f->Caption(), "Opções - NOTA115");
    EXPECT_EQ(f->PageControl1->ActivePageIndex(), 0);
    EXPECT_EQ(f->PageControl1->Pages(1)->Caption(), "Co&bança");
    EXPECT_EQ(f->DBComboBox1->Text(), "Retrato");
    EXPECT_FALSE(f->DBComboBox1->Enabled());  // browse look
    f->DBButton1->Click();
    EXPECT_TRUE(f->DBComboBox1->Enabled());

    dialogs.Expect("Foram identificados erros", mrOk, "Atenção");
    EXPECT_THROW(f->DBButton2->Click(), EAbort);  // no copies yet
    EXPECT_EQ(LastBox(), ErrorBox({TfrmNota115::kCopiasMessage}));
    Field(f, "copias_danfe")->SetAsInteger(0);
    dialogs.Expect("Foram identificados erros", mrOk, "Atenção");
    EXPECT_THROW(f->DBButton2->Click(), EAbort);
    EXPECT_EQ(LastBox(), ErrorBox({TfrmNota115::kCopiasMessage}));
    EXPECT_EQ(f->qryOpcao->State(), dsEdit);
    EXPECT_EQ(Scalar("select copias_danfe from opcao"), "");

    Field(f, "copias_danfe")->SetAsInteger(1);
    f->DBButton2->Click();
    EXPECT_EQ(f->qryOpcao->State(), dsBrowse);
    EXPECT_EQ(Scalar("select copias_danfe from opcao"), "1");
    EXPECT_EQ(Scalar("select tipo_impressao_danfe from opcao"), "Retrato");
    EXPECT_EQ(Count("select count(*) from opcao"), 1);
}

TEST_F(Settings, BothChecksAreListedInOrder) {
    auto* f = Open<TfrmNota115>();
    f->DBButton1->Click();
    Field(f, "tipo_impressao_danfe")->SetAsString("  ");
    Field(f, "copias_danfe")->Clear();
    dialogs.Expect("Foram identificados erros", mrOk, "Atenção");
    EXPECT_THROW(f->DBButton2->Click(), EAbort);
    EXPECT_EQ(LastBox(), ErrorBox({TfrmNota115::kTipoMessage, TfrmNota115::kCopiasMessage}));
    f->DBButton3->Click();
    EXPECT_EQ(f->qryOpcao->State(), dsBrowse);
    EXPECT_EQ(Scalar("select tipo_impressao_danfe from opcao"), "Retrato");
}

TEST_F(Settings, PickListsWithoutPrinters) {
    auto* f = Open<TfrmNota115>();
    EXPECT_TRUE(Items(f->cbImpressora_Danfe).empty());
    EXPECT_TRUE(Items(f->cbImpressora_Boleto).empty());
    EXPECT_EQ(Items(f->cbImpressora_Promissoria), kPortas);
    EXPECT_EQ(Items(f->cbImpressora_Romaneio), kPortas);
    EXPECT_EQ(Items(f->cbImpressora_Relatorio), kPortas);
    EXPECT_EQ(f->cbImpressora_Danfe->Style(), csDropDownList);
}

TEST_F(Settings, PickListsWithTwoPrinters) {
    printers.names = {"Laser_Financeiro", "PDF"};
    auto* f = Open<TfrmNota115>();
    std::vector<std::string> withPorts = printers.names;
    withPorts.insert(withPorts.end(), kPortas.begin(), kPortas.end());
    EXPECT_EQ(Items(f->cbImpressora_Danfe), printers.names);
    EXPECT_EQ(Items(f->cbImpressora_Boleto), printers.names);
    EXPECT_EQ(Items(f->cbImpressora_Romaneio), withPorts);
    EXPECT_EQ(Items(f->cbImpressora_Relatorio), withPorts);
    EXPECT_EQ(Items(f->cbImpressora_Promissoria), kPortas);

    f->DBButton1->Click();
    f->cbImpressora_Danfe->SetItemIndex(1);
    Field(f, "Impressora_Danfe")->SetAsString(f->cbImpressora_Danfe->Text());
    Field(f, "copias_danfe")->SetAsInteger(2);
    f->DBButton2->Click();
    EXPECT_EQ(Scalar("select impressora_danfe from opcao"), "PDF");
}

TEST_F(Settings, AClientChosenInTheSearchKeepsItsZeros) {
    Exec("insert into cliente(id_cliente, nome, nome_fantasia) values('0000123', 'Comércio Ltda', 'Comércio')");
    Exec("insert into cliente(id_cliente, nome, nome_fantasia) values('0000456', 'Outro S.A.', 'Outro')");
    auto* f = Open<TfrmNota115>();
    EXPECT_EQ(f->PCliente->Caption(), "");  // no default client yet: nothing to look up
    f->DBButton1->Click();
    QTimer::singleShot(0, qApp, [] {
        ASSERT_NE(frmPesquisa, nullptr);
        EXPECT_EQ(frmPesquisa->Caption(), "Pesquisar - Cliente");
        frmPesquisa->dsMain->DataSet()->Locate("id_cliente", "0000123", {});
        frmPesquisa->mnuOkClick(nullptr);
    });
    f->dbeId_Cliente->DoCustomDlg();
    EXPECT_EQ(Field(f, "Id_Cliente")->AsString(), "0000123");
    EXPECT_EQ(f->PCliente->Caption(), "Comércio Ltda");
    Field(f, "copias_danfe")->SetAsInteger(1);
    f->DBButton2->Click();
    EXPECT_EQ(Scalar("select id_cliente from opcao"), "0000123");
    // What a new invoice looks its default client up with.
    EXPECT_EQ(dmdb->dbGetFieldValue("id_cliente", Variant(Scalar("select id_cliente from opcao")), "nome", "cliente"),
              "Comércio Ltda");
}

TEST_F(Settings, ASearchResultThatIsNoNumberLeavesANumberColumnAlone) {
    auto* f = Open<TfrmNota115>();
    f->DBButton1->Click();
    TField* vendedor = Field(f, "Id_Vendedor");
    vendedor->SetAsInteger(4);
    EXPECT_FALSE(billing::forms::StoreSearchResult(vendedor, "abc"));
    EXPECT_FALSE(billing::forms::StoreSearchResult(vendedor, "1,5"));
    EXPECT_EQ(vendedor->AsInteger(), 4);
    EXPECT_TRUE(billing::forms::StoreSearchResult(vendedor, " 12 "));
    EXPECT_EQ(vendedor->AsInteger(), 12);
    TField* cfop = Field(f, "Id_CFOP");
    EXPECT_TRUE(billing::forms::StoreSearchResult(cfop, "5102"));
    EXPECT_EQ(cfop->AsString(), "5102");
    f->DBButton3->Click();
}

TEST_F(Settings, EveryLookupShowsItsDescriptionAndATypedCodeRefreshesOnExit) {
    Exec("insert into uf(id_uf, uf) values(41, 'PR')");
    Exec("insert into municipio(id_municipio, nome, id_uf) values(4106902, 'Curitiba', 41)");
    Exec("insert into cfop(id_cfop, descricao, tipo) values('5102', 'Venda', 'Saída')");
    Exec("insert into cfop(id_cfop, descricao, tipo) values('6102', 'Venda interestadual', 'Saída')");
    Exec("insert into unidade_medida(id_unidade_medida, descricao) values('UN', 'Unidade')");
    Exec("insert into vendedor(id_vendedor, nome) values(3, 'Bia')");
    Exec("insert into transportador(id_transportador, nome) values(5, 'Transportes Sul')");
    Exec("insert into condicao_pagamento(id_condicao_pagamento, descricao) values(2, '30/60')");
    Exec("insert into conta_corrente(id_conta_corrente, descricao) values(9, '1 - BANCO X / Ag. 1 C/C 2-3')");
    Exec("update opcao set id_municipio = 4106902, id_cfop = '5102', id_unidade_medida = 'UN', id_vendedor = 3, "
         "id_transportador = 5, id_condicao_pagamento = 2, id_conta_corrente = 9");
    auto* f = Open<TfrmNota115>();
    EXPECT_EQ(f->PMunicipio->Caption(), "Curitiba");
    EXPECT_EQ(f->PUf_Municipio->Caption(), "PR");
    EXPECT_EQ(f->PCFOP->Caption(), "Venda");
    EXPECT_EQ(f->PUnidade_Medida->Caption(), "Unidade");
    EXPECT_EQ(f->PVendedor->Caption(), "Bia");
    EXPECT_EQ(f->PTransportador->Caption(), "Transportes Sul");
    EXPECT_EQ(f->PCondicao_Pagamento->Caption(), "30/60");
    EXPECT_EQ(f->PConta_Corrente->Caption(), "1 - BANCO X / Ag. 1 C/C 2-3");

    f->DBButton1->Click();
    struct Typed {
        TexDBComboDlg* edit;
        const char* field;
        const char* value;
        TPanel* panel;
        const char* shown;
    } typed[] = {{f->dbeId_cfop, "Id_CFOP", "6102", f->PCFOP, "Venda interestadual"},
                 {f->dbeId_vendedor, "Id_Vendedor", "99", f->PVendedor, "?"},
                 {f->dbeId_Transportador, "Id_Transportador", "", f->PTransportador, ""},  // emptied
                 {f->exDBComboDlg5, "Id_Conta_Corrente", "8", f->PConta_Corrente, "?"},
                 {f->dbeId_Municipio, "Id_Municipio", "1", f->PMunicipio, "?"}};
    for (const Typed& t : typed) {
        Field(f, t.field)->SetAsString(t.value);
        t.edit->OnExit(t.edit);
        EXPECT_EQ(t.panel->Caption(), t.shown) << t.field;
    }
    EXPECT_EQ(f->PUf_Municipio->Caption(), "?");
    f->DBButton3->Click();  // dropped: the panels show the stored codes again
    EXPECT_EQ(f->PCFOP->Caption(), "Venda");
    EXPECT_EQ(f->PMunicipio->Caption(), "Curitiba");
}

TEST_F(Settings, FoldersAndTheCertificateAreChosenThroughTheDialogs) {
    Exec("update opcao set pasta_nfe_envio = '/srv/nfe/envio', arquivo_certificado_digital = "
         "'/srv/cert/empresa.pfx'");
    auto* f = Open<TfrmNota115>();
    f->exDBComboDlg6->DoCustomDlg();  // browsing: nothing to write into, nothing asked
    EXPECT_TRUE(dialogs.Shown().empty());
    f->DBButton1->Click();

    dialogs.AnswerText("/srv/nfe/novo-envio");
    f->exDBComboDlg6->DoCustomDlg();
    ASSERT_EQ(dialogs.Shown().size(), 1u);
    EXPECT_EQ(dialogs.Shown()[0].kind, ui::BoxKind::Folder);
    EXPECT_EQ(dialogs.Shown()[0].caption, "Selecione a Pasta da NF-e: Envio");
    EXPECT_EQ(dialogs.Shown()[0].initialDir, "/srv/nfe/envio");
    EXPECT_EQ(Field(f, "Pasta_NFe_Envio")->AsString(), "/srv/nfe/novo-envio");

    const struct {
        TexDBComboDlg* edit;
        const char* which;
        const char* field;
    } others[] = {{f->exDBComboDlg1, "Retorno", "Pasta_NFe_Retorno"},
                  {f->exDBComboDlg7, "Arquivamento", "Pasta_NFe_Arquivamento"},
                  {f->exDBComboDlg8, "Erro", "Pasta_NFe_Erro"}};
    for (const auto& o : others) {
        dialogs.AnswerText(std::string("/srv/nfe/") + o.which);
        o.edit->DoCustomDlg();
        EXPECT_EQ(dialogs.Shown().back().caption, std::string("Selecione a Pasta da NF-e: ") + o.which);
        EXPECT_EQ(Field(f, o.field)->AsString(), std::string("/srv/nfe/") + o.which);
    }
    dialogs.Cancel();
    f->exDBComboDlg6->DoCustomDlg();
    EXPECT_EQ(Field(f, "Pasta_NFe_Envio")->AsString(), "/srv/nfe/novo-envio");

    dialogs.AnswerText("/srv/cert/nova.p12");
    f->exDBComboDlg9->DoCustomDlg();
    const ui::BoxRequest& r = dialogs.Shown().back();
    EXPECT_EQ(r.kind, ui::BoxKind::OpenFile);
    EXPECT_EQ(r.caption, "Arquivo do Certificado Digital");
    EXPECT_EQ(r.filter, "Certificado Digital (*.pfx)|*.pfx|Certificado Digital (*.p12)|*.p12");
    EXPECT_EQ(r.value, "/srv/cert/empresa.pfx");
    EXPECT_EQ(r.initialDir, "/srv/cert");
    EXPECT_EQ(Field(f, "Arquivo_Certificado_Digital")->AsString(), "/srv/cert/nova.p12");
    f->DBButton3->Click();
    EXPECT_EQ(Scalar("select pasta_nfe_envio from opcao"), "/srv/nfe/envio");
}

TEST_F(Settings, ASavedSendFolderAndEnvironmentAreInForceAtOnce) {
    auto* f = Open<TfrmNota115>();
    f->DBButton1->Click();
    Field(f, "Pasta_NFe_Envio")->SetAsString("/srv/nfe/envio-novo");
    Field(f, "Pasta_NFe_Retorno")->SetAsString("/srv/nfe/retorno-novo");
    Field(f, "Ambiente")->SetAsString("2 - Homologação");
    // A refused save changes nothing in force.
    dialogs.Expect("Foram identificados erros", mrOk, "Atenção");
    EXPECT_THROW(f->DBButton2->Click(), EAbort);
    EXPECT_EQ(dmdb->Get_Var("pasta_nfe_envio"), "");
    Field(f, "copias_danfe")->SetAsInteger(1);
    f->DBButton2->Click();
    EXPECT_EQ(dmdb->Get_Var("pasta_nfe_envio"), "/srv/nfe/envio-novo");
    EXPECT_EQ(dmdb->Get_Var("pasta_nfe_retorno"), "/srv/nfe/retorno-novo");
    EXPECT_EQ(dmdb->Get_Var("ambiente"), "2 - Homologação");
}

TEST_F(Settings, ClosingWhileEditingAsksToSave) {
    auto* f = Open<TfrmNota115>();
    f->DBButton1->Click();
    Field(f, "copias_danfe")->SetAsInteger(3);
    TCloseAction action = caHide;
    dialogs.Expect("Deseja salvar as alterações ?", mrYes, "Salvar");
    f->FormClose(f, action);
    EXPECT_EQ(action, caFree);
    EXPECT_EQ(Scalar("select copias_danfe from opcao"), "3");

    f->DBButton1->Click();
    Field(f, "copias_danfe")->SetAsInteger(0);
    dialogs.Expect("Deseja salvar as alterações ?", mrYes, "Salvar");
    dialogs.Expect("Foram identificados erros", mrOk, "Atenção");
    f->FormClose(f, action);
    EXPECT_EQ(action, caNone);  // refused: the form stays with the row in edit
    dialogs.Expect("Deseja salvar as alterações ?", mrNo, "Salvar");
    f->FormClose(f, action);
    EXPECT_EQ(action, caFree);
    EXPECT_EQ(Scalar("select copias_danfe from opcao"), "3");
}

// A fresh settings row has no yes/no flag set: each box shows plainly not
// ticked (never half-ticked, a state the clerk cannot give), and a click
// ticks it and saves "Sim"; the boxes left alone stay unset.
TEST_F(Settings, UnsetFlagsShowNotTickedAndAClickTicksThem) {
    auto* f = Open<TfrmNota115>();
    for (const char* column : {"pode_alterar_serie", "IA_Danfe", "IA_Romaneio", "IA_Boleto", "IA_Promissoria"})
        ASSERT_TRUE(Field(f, column)->IsNull()) << column;
    for (TDBCheckBox* box : {f->DBCheckBox1, f->DBCheckBox2, f->DBCheckBox3, f->DBCheckBox4, f->DBCheckBox5}) {
        SCOPED_TRACE(box->Name());
        EXPECT_EQ(qobject_cast<QCheckBox*>(box->Widget())->checkState(), Qt::Unchecked);
        EXPECT_FALSE(qobject_cast<QCheckBox*>(box->Widget())->isTristate());
    }
    f->DBButton1->Click();
    f->PageControl1->SetActivePageIndex(2);  // "Impressoras", as the clerk clicks its tab
    billtest::Pump();
    QTest::mouseClick(qobject_cast<QCheckBox*>(f->DBCheckBox2->Widget()), Qt::LeftButton);
    EXPECT_EQ(qobject_cast<QCheckBox*>(f->DBCheckBox2->Widget())->checkState(), Qt::Checked);
    Field(f, "copias_danfe")->SetAsInteger(1);
    f->DBButton2->Click();
    EXPECT_EQ(Scalar("select ia_danfe || '/' || coalesce(ia_boleto, 'nulo') from opcao"), "Sim/nulo");
}

// Once the last shipping-list number was used, the counter holds one past
// the last a list takes: the form shows that figure, not a negative one. A
// number is typed as written ("1.234"); zero, a negative number and one past
// the last are refused by name, and the counter keeps what it held.
TEST_F(Settings, TheNextShippingListNumberIsShownAsStoredAndTakenAsWritten) {
    Exec("update opcao set numero_proximo_romaneio = 2147483648, copias_danfe = 1, "
         "tipo_impressao_danfe = '1 - Retrato'");
    uitest::ShowActive(frame.get());
    auto* f = Open<TfrmNota115>();
    billtest::Pump();
    EXPECT_EQ(f->DBEdit3->Text(), "2.147.483.648");
    QTest::mouseClick(f->DBButton1->Widget(), Qt::LeftButton);
    billtest::Pump();
    QLineEdit* edit = f->DBEdit3->LineEdit();
    auto type = [&](const char* Typed) {
        f->DBEdit3->SetFocus();
        billtest::Pump();
        edit->selectAll();
        QTest::keyClicks(edit, Typed);
        QTest::keyClick(edit, Qt::Key_Tab);
        billtest::Pump();
    };
    const char* const range = "O Próximo Romaneio deve ser um número de 1 a 2.147.483.647.";
    for (const auto& [typed, told] : std::vector<std::pair<const char*, const char*>>{
             {"-7", range}, {"0", range}, {"2.147.483.649", range}, {"99999999999", range},
             {"12.34", "O Próximo Romaneio deve ser um número inteiro, como 1.234."}}) {
        SCOPED_TRACE(typed);
        dialogs.Expect(told, mrOk);
        type(typed);
        EXPECT_EQ(dialogs.Pending(), 0);
        EXPECT_EQ(f->ActiveControl(), f->DBEdit3) << "the clerk corrects it there";
    }
    EXPECT_EQ(Scalar("select numero_proximo_romaneio from opcao"), "2147483648");
    type("1.234");
    EXPECT_NE(f->ActiveControl(), f->DBEdit3);
    QTest::mouseClick(f->DBButton2->Widget(), Qt::LeftButton);
    billtest::Pump();
    EXPECT_EQ(f->qryOpcao->State(), dsBrowse);
    EXPECT_EQ(Scalar("select numero_proximo_romaneio from opcao"), "1234");
    EXPECT_EQ(f->DBEdit3->Text(), "1.234");
}
