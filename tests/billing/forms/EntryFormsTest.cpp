// The invoice and shipping-list windows over their cores: captions, lists
// and columns as the user sees them, typing items in the grid with its
// decimal comma, Enter rules, product lookup and Ctrl+Delete, the record
// buttons, "Pesquisar", and the save question on closing.
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMouseEvent>
#include <QStyle>
#include <QStyleOptionTitleBar>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include "billing/forms/Nota200.h"
#include "billing/forms/Nota201.h"
#include "billing/forms/Pesquisa.h"
#include "tests/billing/forms/DocumentFixture.h"
#include "tests/platform/ui/UiTestSupport.h"
#include "tests/support/TextFit.h"

using namespace billing::forms;

namespace {

template <typename Form>
class EntryWindow : public billtest::DocumentSessionOn<billtest::MdiSession> {
protected:
    void TearDown() override {
        delete form;
        DocumentSessionOn::TearDown();
    }
    void Open() {
        form = new Form(nullptr);
        form->Core->Clock = [] { return EncodeDateTime(2010, 6, 15, 9, 41, 27, 0); };
        form->DoCreate();
        uitest::ShowActive(frame.get());
        form->Show();
        billtest::Pump();
    }
    std::vector<std::string> Titles() {
        std::vector<std::string> t;
        for (int i = 0; i < form->Grid->ColumnCount(); ++i) t.push_back(form->Grid->Columns(i)->Title());
        return t;
    }
    std::vector<std::string> ReadOnlyColumns() {
        std::vector<std::string> t;
        for (int i = 0; i < form->Grid->ColumnCount(); ++i)
            if (form->Grid->Columns(i)->ReadOnly()) t.push_back(form->Grid->Columns(i)->FieldName());
        return t;
    }
    static std::vector<std::string> Items(TDBComboBox* Combo) {
        std::vector<std::string> v;
        for (int i = 0; i < Combo->Items()->Count(); ++i) v.push_back(Combo->Items()->Strings(i));
        return v;
    }
    QWidget* View() { return form->Grid->View(); }
    // A new document with one item, typed but not saved.
    void Insert() {
        form->btnInsert->Click();
        AddItem(form->Core, 2, "1", 10);
    }
    // Maximising, minimising, restoring and tiling the window of a document
    // being typed saves nothing.
    void ResizingSavesNothing(const std::string& Table, const std::string& CounterSql, const std::string& Counter) {
        Insert();
        auto* sub = qobject_cast<QMdiSubWindow*>(form->Widget()->parentWidget());
        ASSERT_NE(sub, nullptr);
        // The frame's maximise button, clicked as the clerk clicks it.
        QStyleOptionTitleBar opt;
        opt.initFrom(sub);
        opt.subControls = QStyle::SC_All;
        opt.titleBarFlags = sub->windowFlags();
        opt.titleBarState = sub->windowState();
        opt.text = sub->windowTitle();
        opt.rect = QRect(0, 0, sub->width(), sub->style()->pixelMetric(QStyle::PM_TitleBarHeight, &opt, sub));
        QPoint title = sub->style()->subControlRect(QStyle::CC_TitleBar, &opt, QStyle::SC_TitleBarMaxButton, sub).center();
        auto send = [sub, title](QEvent::Type Type, Qt::MouseButton Button, Qt::MouseButtons Buttons) {
            QMouseEvent e(Type, QPointF(title), sub->mapToGlobal(QPointF(title)), Button, Buttons, Qt::NoModifier);
            QApplication::sendEvent(sub, &e);
        };
        send(QEvent::MouseMove, Qt::NoButton, Qt::NoButton);
        send(QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton);
        send(QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton);
        billtest::Pump();
        EXPECT_TRUE(sub->isMaximized());
        sub->showMinimized();
        billtest::Pump();
        sub->showNormal();
        billtest::Pump();
        frame->Tile();
        billtest::Pump();
        EXPECT_EQ(form->Core->Header()->State(), dsInsert) << "the document is still being typed";
        EXPECT_EQ(Count("select count(*) from " + Table), 0);
        EXPECT_EQ(Scalar(CounterSql), Counter);
    }
    // Types into the grid's current cell: the first key opens the editor.
    void TypeInGrid(const std::string& Text) {
        for (char c : Text) {
            QWidget* target = QApplication::focusWidget() != nullptr ? QApplication::focusWidget() : View();
            QTest::keyClick(target, c);
        }
    }
    void Enter() {
        QWidget* target = QApplication::focusWidget() != nullptr ? QApplication::focusWidget() : View();
        QTest::keyClick(target, Qt::Key_Return);
    }

    // The longest texts the form shows of its lookups and items, each whole
    // in its box: an account's description (45 characters) in its panel,
    // measured as the clerk's screen draws it, and a product's short
    // description (25 characters) in its grid cell, with the margins the
    // grid's style keeps around a cell's text.
    void LongTextsShowWhole() {
        Exec("update conta_corrente set descricao = '1 - BCO DO BRASIL S.A. / Ag. 1234 C/C 56789-0' "
             "where id_conta_corrente = 1");
        Exec("insert into produto (Id_Produto, Descricao, Descricao_Abreviada, Id_Unidade_Medida, Id_CST_Estadual, "
             "Aliq_ICMS_Estadual) values ('00099', 'Arruela de pressão', 'ARRUELA DE PRESSAO M10 ZN', 'UN', '000', 18)");
        Open();
        form->btnInsert->Click();
        AddItem(form->Core, 1, "00099", 2.5);
        billtest::Pump();
        EXPECT_EQ(form->PConta_Corrente->Caption(), "1 - BCO DO BRASIL S.A. / Ag. 1234 C/C 56789-0");
        EXPECT_EQ(testsupport::ClippedTexts(form->PConta_Corrente->Widget()), std::vector<std::string>{});
        QTableView* view = form->Grid->View();
        int column = -1;
        for (int c = 0; c < form->Grid->ColumnCount(); ++c)
            if (form->Grid->Columns(c)->FieldName() == "Descricao_Abreviada") column = c;
        ASSERT_GE(column, 0);
        const QString text = QStringLiteral("ARRUELA DE PRESSAO M10 ZN");
        ASSERT_EQ(view->model()->index(0, column).data().toString(), text);
        const int margins = 2 * (view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1);
        EXPECT_LE(QFontMetrics(view->font()).horizontalAdvance(text) + margins, view->columnWidth(column));
        // And every column still inside the grid: no sideways scrolling.
        int used = 0;
        for (int c = 0; c < form->Grid->ColumnCount(); ++c) used += view->columnWidth(c);
        EXPECT_LE(used, view->viewport()->width());
        form->DBButton1->Click();
    }
    // A new document without defaults shows its empty lookups blank, a code
    // that names nothing with "?"; the "Pedido..." button covers none of the
    // page's controls.
    void EmptyLookupsAndThePedidoButton(const std::vector<TPanel*>& Panels) {
        form->btnInsert->Click();
        billtest::Pump();
        for (TPanel* p : Panels) EXPECT_EQ(p->Caption(), "") << p->Name();
        form->Core->Field("Id_Vendedor")->SetAsInteger(99);
        form->Core->Mostra("Vendedor");
        EXPECT_EQ(form->PVendedor->Caption(), "?");
        form->DBButton1->Click();

        QWidget* button = form->btnPedido->Widget();
        int siblings = 0;
        for (QObject* o : button->parentWidget()->children()) {
            auto* w = qobject_cast<QWidget*>(o);
            if (w == nullptr || w == button || !w->isVisibleTo(button->parentWidget())) continue;
            ++siblings;
            EXPECT_FALSE(w->geometry().intersects(button->geometry()))
                << w->objectName().toStdString() << " lies under the button";
        }
        EXPECT_GT(siblings, 8);
    }
    Form* form = nullptr;
};

using InvoiceWindow = EntryWindow<TfrmNota200>;
using ListWindow = EntryWindow<TfrmNota201>;

TEST_F(InvoiceWindow, CaptionsListsAndColumnsAsLaidOut) {
    Open();
    EXPECT_EQ(form->Caption(), "Nota Fiscais Eletrônicas (NF-e) - NOTA200");
    EXPECT_EQ(form->qryNota_Fiscal->Name(), "qryNota_Fiscal");
    EXPECT_EQ(form->tbNota_Fiscal_Item->Name(), "tbNota_Fiscal_Item");
    EXPECT_EQ(form->dsDocumento_Item->Name(), "dsDocumento_Item");
    std::vector<std::string> buttons;
    for (TDBButton* b : {form->btnInsert, form->btnEdit, form->btnSave, form->DBButton1, form->btnDelete,
                         form->btnFirst, form->btnPrior, form->btnNext, form->btnLast, form->DBButton2,
                         form->DBButton3})
        buttons.push_back(b->Caption());
    // Fechar and Pesquisar take letters no menu has; the record walk has
    // keys of its own (Alt+Home...).
    EXPECT_EQ(buttons, (std::vector<std::string>{"&Novo", "&Editar", "&Salvar", "&Desfazer", "E&xcluir", "Primeiro",
                                                 "Anterior", "Próximo", "Último", "Fec&har", "&Pesquisar"}));
    EXPECT_EQ(Items(form->dbeFinalidade_Emissao),
              (std::vector<std::string>{"1 - NF-e normal", "2 - NF-e complementar", "3 - NF-e de Ajuste"}));
    EXPECT_EQ(Items(form->dbeTipo_Emissao),
              (std::vector<std::string>{"1 - Normal", "2 - Contingência", "3 - Contingência SCAN"}));
    EXPECT_EQ(Items(form->dbeForma_Pagamento),
              (std::vector<std::string>{"0 - Pagamento a Vista", "1 - Pagamento a Prazo", "2 - Outros"}));
    EXPECT_EQ(Items(form->dbeModalidade_Frete),
              (std::vector<std::string>{"0 - Por conta do Emitente", "1 - Por conta do Destinatário"}));
    EXPECT_EQ(Items(form->dbeTipo_ImpressaoDANFE), (std::vector<std::string>{"1 - Retrato", "2 - Paisagem"}));
    EXPECT_EQ(Titles(), (std::vector<std::string>{"Quantidade", "Produto", "CFOP", "Unid", "Descricao", "Aliq ICMS",
                                                 "ST", "Valor Unitário", "Valor Total", "Valor ICMS"}));
    // The product is typed in its lookup over the cell, never in the cell.
    EXPECT_EQ(ReadOnlyColumns(), (std::vector<std::string>{"Id_Produto", "Descricao_Abreviada", "Valor_Total",
                                                          "Valor_ICMS"}));
    EXPECT_EQ(form->lblExcluirItem->Caption(), "[ Ctrl+Delete para Excluir Item ]  ");
    EXPECT_EQ(form->PageControl1->PageCount(), 2);
    EXPECT_EQ(form->DBMemo2->MaxLength(), 250);
    EXPECT_TRUE(form->dbeId_Nota_Fiscal->ReadOnly());
    EXPECT_TRUE(form->dbeValor_Total_Nota->ReadOnly());
    EXPECT_FALSE(form->DBEdit2->ReadOnly());

    dialogs.Expect("Esta opção permitirá importar pedidos digitados diretamente pelos vendedores !", mrOk,
                   "Em desenvolvimento");
    form->btnPedidoClick(nullptr);
}

TEST_F(InvoiceWindow, AnInvoiceTypedThroughTheWindow) {
    Open();
    form->btnInsert->Click();
    EXPECT_EQ(form->qryNota_Fiscal->State(), dsInsert);
    EXPECT_FALSE(form->dbeId_Serie_Documento->ReadOnly());
    EXPECT_EQ(form->dbeId_Nota_Fiscal->Text(), "000.057");
    EXPECT_EQ(form->PCliente->Caption(), "Comercial Silva Ltda");
    EXPECT_EQ(form->PCliente_Fantasia->Caption(), "Silva");
    EXPECT_EQ(form->PCFOP->Caption(), "Venda de mercadoria");
    EXPECT_EQ(form->PVendedor->Caption(), "");  // no seller yet: nothing to look up
    EXPECT_EQ(form->PTransportador->Caption(), "Transportes Rápidos");
    EXPECT_EQ(form->PConta_Corrente->Caption(), "Banco do Brasil");

    // Quantity with a typed point, then Enter moves on to the product.
    form->Grid->SetFocus();
    form->Grid->SetSelectedIndex(0);
    TypeInGrid("3.5");
    Enter();
    TDataSet* items = form->tbNota_Fiscal_Item;
    EXPECT_DOUBLE_EQ(items->FieldByName("Quantidade")->AsFloat(), 3.5);
    EXPECT_EQ(form->Grid->SelectedIndex(), 1);
    ASSERT_TRUE(form->dbeId_Produto->Visible()) << "the product lookup lies over the product cell";

    // The product typed in its lookup fills the item when it is left.
    uitest::Type(form->dbeId_Produto->Widget(), "7");
    uitest::Key(form->dbeId_Produto->Widget(), Qt::Key_Return);
    EXPECT_EQ(items->FieldByName("Id_Produto")->AsString(), "00007");
    EXPECT_EQ(items->FieldByName("Descricao_Abreviada")->AsString(), "PORCA");
    EXPECT_EQ(form->Grid->SelectedIndex(), 2);

    // The unit price's Enter starts the next item on its quantity.
    form->Grid->SetSelectedIndex(7);
    TypeInGrid("2.5");
    Enter();
    EXPECT_EQ(items->State(), dsInsert);
    EXPECT_EQ(items->RecordCount(), 1);
    EXPECT_EQ(form->Grid->SelectedIndex(), 0);
    items->First();
    EXPECT_DOUBLE_EQ(items->FieldByName("Valor_Unitario")->AsFloat(), 2.5);
    EXPECT_DOUBLE_EQ(form->qryNota_Fiscal->FieldByName("Valor_Produto")->AsFloat(), 8.75);
    EXPECT_EQ(form->dbeValor_Produto->Text(), "8,75");

    // In the rate column a point stays a point.
    char32_t key = U'.';
    form->Grid->SetSelectedIndex(5);
    form->dbgNota_Fiscal_ItemKeyPress(form->Grid, key);
    EXPECT_EQ(key, U'.');

    dialogs.Expect(MsgTransmitir, mrNo, "Transmitir NF-e");
    form->btnSave->Click();
    EXPECT_EQ(form->qryNota_Fiscal->State(), dsBrowse);
    EXPECT_EQ(Scalar("select count(*) from nota_fiscal_item"), "1");
    EXPECT_EQ(Scalar("select proximo_numero from serie_documento where id_serie_documento = 1"), "58");

    // An edit keeps the series; Ctrl+Delete takes the current item away.
    form->btnEdit->Click();
    EXPECT_TRUE(form->dbeId_Serie_Documento->ReadOnly());
    form->Grid->SetFocus();
    uitest::Key(View(), Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_TRUE(items->IsEmpty());
    EXPECT_DOUBLE_EQ(form->qryNota_Fiscal->FieldByName("Valor_Total_Nota")->AsFloat(), 0);
    form->DBButton1->Click();
    EXPECT_EQ(items->RecordCount(), 1) << "undo brings the stored item back";
}

TEST_F(InvoiceWindow, ABlankLookupEditOpensItsSearchOnEnter) {
    Open();
    form->btnInsert->Click();
    form->qryNota_Fiscal->FieldByName("Id_CFOP")->Clear();
    form->dbeId_CFOP->SetFocus();
    QTimer::singleShot(0, qApp, [] {
        ASSERT_NE(frmPesquisa, nullptr);
        EXPECT_EQ(frmPesquisa->Caption(), "Pesquisar - CFOP");
        frmPesquisa->dsMain->DataSet()->Locate("id_cfop", "6102", {});
        frmPesquisa->mnuOkClick(nullptr);
    });
    uitest::Key(form->dbeId_CFOP->Widget(), Qt::Key_Return);
    EXPECT_EQ(form->qryNota_Fiscal->FieldByName("Id_CFOP")->AsString(), "6102");
    EXPECT_EQ(form->PCFOP->Caption(), "Venda fora do estado");
    billtest::Pump();
    EXPECT_EQ(form->ActiveControl(), form->dbeId_CFOP) << "the focus stays on the lookup";
}

TEST_F(InvoiceWindow, PesquisarFindsTheInvoiceBySeriesAndNumber) {
    Exec("update serie_documento set proximo_numero = 57");
    Open();
    for (int serie : {1, 2}) {
        form->btnInsert->Click();
        form->qryNota_Fiscal->FieldByName("Id_Serie_Documento")->SetAsInteger(serie);
        form->dbeId_Serie_DocumentoExit(nullptr);
        AddItem(form->Core, 1, "1", 10);
        dialogs.Expect(MsgTransmitir, mrNo);
        form->btnSave->Click();
    }
    ASSERT_TRUE(form->qryNota_Fiscal->Locate("Id_Serie_Documento", Variant(1), {}));
    QTimer::singleShot(0, qApp, [] {
        ASSERT_NE(frmPesquisa, nullptr);
        EXPECT_EQ(frmPesquisa->Caption(), "Pesquisar - Nota Fiscal");
        frmPesquisa->dsMain->DataSet()->Locate("id_registro", "0020000057", {});
        frmPesquisa->mnuOkClick(nullptr);
    });
    form->DBButton3->Click();
    EXPECT_EQ(form->qryNota_Fiscal->FieldByName("Id_Serie_Documento")->AsInteger(), 2);
    EXPECT_EQ(form->qryNota_Fiscal->FieldByName("Id_Nota_Fiscal")->AsInteger(), 57);
}

TEST_F(InvoiceWindow, ClosingWithAPendingInvoiceAsksFirst) {
    Open();
    form->btnInsert->Click();
    AddItem(form->Core, 1, "1", 10);
    dialogs.Expect("Deseja salvar as alterações ?", mrNo, "Salvar");
    bool canClose = true;
    form->FormCloseQuery(form, canClose);
    EXPECT_TRUE(canClose);
    EXPECT_EQ(Count("select count(*) from nota_fiscal"), 0);

    form->btnInsert->Click();
    form->qryNota_Fiscal->FieldByName("Id_Cliente")->Clear();
    AddItem(form->Core, 1, "1", 10);
    dialogs.Expect("Deseja salvar as alterações ?", mrYes, "Salvar");
    dialogs.Expect("O Cliente não foi informado.", mrOk);
    form->FormCloseQuery(form, canClose);
    EXPECT_FALSE(canClose) << "a refused save keeps the window and the row";
    EXPECT_EQ(form->qryNota_Fiscal->State(), dsInsert);
}

TEST_F(InvoiceWindow, AnEmptiedDateIsNoDate) {
    Open();
    form->btnInsert->Click();
    AddItem(form->Core, 1, "1", 10);
    QWidget* saida = form->dbeData_Saida->Widget();
    form->dbeData_Saida->SetFocus();
    uitest::Key(saida, Qt::Key_A, Qt::ControlModifier);
    uitest::Key(saida, Qt::Key_Delete);
    form->dbeId_CFOP->SetFocus();
    billtest::Pump();
    EXPECT_TRUE(form->qryNota_Fiscal->FieldByName("Data_Saida")->IsNull());
    dialogs.Expect("A Data da Saída não foi Informada.", mrOk, "Atenção");
    EXPECT_THROW(form->btnSave->Click(), EAbort);
    EXPECT_EQ(form->qryNota_Fiscal->State(), dsInsert);
}

TEST_F(InvoiceWindow, TheStateRuleThroughTheEditButton) {
    Exec("insert into nota_fiscal (id_nota_fiscal, id_serie_documento, situacao_nfe) values (1, 1, 'Autorizada')");
    Open();
    dialogs.Expect("A Situação \"Autorizada\" não permita Editar.", mrOk, "Atenção");
    EXPECT_THROW(form->btnEdit->Click(), EAbort);
    EXPECT_EQ(form->qryNota_Fiscal->State(), dsBrowse);
}

TEST_F(InvoiceWindow, MaximisingOrRestoringTheWindowSavesNothing) {
    Open();
    ResizingSavesNothing("nota_fiscal",
                         "select proximo_numero from serie_documento where id_serie_documento = 1", "57");
    dialogs.Expect(MsgTransmitir, mrNo, "Transmitir NF-e");
    form->btnSave->Click();
    EXPECT_EQ(Scalar("select proximo_numero from serie_documento where id_serie_documento = 1"), "58");
}

// A window left open over an invoice the monitor's answers authorised
// meanwhile shows the new state when it comes back to the front, and neither
// Editar nor Salvar changes the authorised invoice.
TEST_F(InvoiceWindow, AnInvoiceAuthorisedWhileItsWindowWasOpenCannotBeChanged) {
    Open();
    Insert();
    dialogs.Expect(MsgTransmitir, mrNo, "Transmitir NF-e");
    form->btnSave->Click();
    QMdiArea* area = frame->MdiArea();
    QMdiSubWindow* sub = area->activeSubWindow();
    ASSERT_NE(sub, nullptr);
    Exec("update nota_fiscal set situacao_nfe = 'Autorizada'");
    area->setActiveSubWindow(nullptr);
    area->setActiveSubWindow(sub);
    billtest::Pump();
    EXPECT_EQ(form->DBEdit3->Text(), "Autorizada");

    // Not brought to the front: Editar still reads the stored state.
    Exec("update nota_fiscal set situacao_nfe = 'Cancelada'");
    dialogs.Expect("A Situação \"Cancelada\" não permita Editar.", mrOk, "Atenção");
    EXPECT_THROW(form->btnEdit->Click(), EAbort);
    EXPECT_EQ(form->DBEdit3->Text(), "Cancelada");

    // Authorised between Editar and Salvar: nothing is written.
    Exec("update nota_fiscal set situacao_nfe = 'Em Digitação'");
    form->btnEdit->Click();
    ASSERT_EQ(form->qryNota_Fiscal->State(), dsEdit);
    form->qryNota_Fiscal->FieldByName("Valor_Frete")->SetAsFloat(5);
    form->Calcula_Total_Nota();
    Exec("update nota_fiscal set situacao_nfe = 'Autorizada'");
    dialogs.Expect("A Situação \"Autorizada\" não permita Salvar.", mrOk, "Erro");
    EXPECT_THROW(form->btnSave->Click(), EAbort);
    EXPECT_EQ(Scalar("select valor_frete || ' ' || valor_total_nota || ' ' || situacao_nfe from nota_fiscal"),
              "0.0 20.0 Autorizada");
    form->DBButton1->Click();

    // Nor is it deleted from a window that still shows it as typed.
    Exec("update nota_fiscal set situacao_nfe = 'Em Digitação'");
    form->Core->Refresh();
    Exec("update nota_fiscal set situacao_nfe = 'Autorizada'");
    dialogs.Expect("A Situação \"Autorizada\" não permita Excluir.", mrOk, "Atenção");
    EXPECT_THROW(form->qryNota_Fiscal->Delete(), EAbort);
    EXPECT_EQ(Count("select count(*) from nota_fiscal"), 1);
}

// The counter gives a new invoice a number below the stored ones: once
// saved it is walked in its place, Primeiro and Próximo clicked as a clerk
// clicks them, without reopening the window.
TEST_F(InvoiceWindow, ASavedNewInvoiceIsWalkedInItsPlaceAtOnce) {
    Exec("insert into nota_fiscal (id_registro, id_nota_fiscal, id_serie_documento, situacao_nfe) values "
         "('0010000100', 100, 1, 'Autorizada'), ('0010000200', 200, 1, 'Autorizada')");
    Open();
    auto number = [this] { return form->qryNota_Fiscal->FieldByName("Id_Nota_Fiscal")->AsInteger(); };
    ASSERT_EQ(number(), 200);
    Insert();
    dialogs.Expect(MsgTransmitir, mrNo, "Transmitir NF-e");
    QTest::mouseClick(form->btnSave->Widget(), Qt::LeftButton);
    ASSERT_EQ(form->qryNota_Fiscal->State(), dsBrowse);
    EXPECT_EQ(number(), 57);  // the saved invoice stays shown
    std::vector<int> walked;
    QTest::mouseClick(form->btnFirst->Widget(), Qt::LeftButton);
    walked.push_back(number());
    while (form->btnNext->Enabled()) {
        QTest::mouseClick(form->btnNext->Widget(), Qt::LeftButton);
        if (walked.back() == number()) break;
        walked.push_back(number());
    }
    EXPECT_EQ(walked, (std::vector<int>{57, 100, 200}));
}

TEST_F(InvoiceWindow, ALongAccountDescriptionAndALongItemDescriptionShowWhole) { LongTextsShowWhole(); }
TEST_F(InvoiceWindow, EmptyLookupsShowNothingAndThePedidoButtonCoversNothing) {
    Exec("update opcao set id_transportador = null, id_conta_corrente = null, id_cfop = null, id_cliente = null, "
         "id_vendedor = null");
    Open();
    EmptyLookupsAndThePedidoButton({form->PCFOP, form->PCliente, form->PCliente_Fantasia, form->PVendedor,
                                    form->PTransportador, form->PConta_Corrente});
}
TEST_F(ListWindow, EmptyLookupsShowNothingAndThePedidoButtonCoversNothing) {
    Exec("update opcao set id_transportador = null, id_conta_corrente = null, id_cfop = null, id_cliente = null, "
         "id_vendedor = null");
    Open();
    EmptyLookupsAndThePedidoButton({form->PCliente, form->PVendedor, form->PTransportador, form->PConta_Corrente});
}
TEST_F(ListWindow, ALongAccountDescriptionAndALongItemDescriptionShowWhole) { LongTextsShowWhole(); }

TEST_F(ListWindow, MaximisingOrRestoringTheWindowSavesNothing) {
    Open();
    ResizingSavesNothing("romaneio", "select numero_proximo_romaneio from opcao", "120");
    form->btnSave->Click();
    EXPECT_EQ(Scalar("select numero_proximo_romaneio from opcao"), "121");
}

TEST_F(ListWindow, AShippingListTypedThroughTheWindow) {
    Open();
    EXPECT_EQ(form->Caption(), "Romaneios - NOTA201");
    EXPECT_EQ(form->qryRomaneio->Name(), "qryRomaneio");
    EXPECT_EQ(form->dsRomaneio_Item->Name(), "dsRomaneio_Item");
    EXPECT_EQ(form->PageControl1->PageCount(), 1);
    EXPECT_EQ(Titles(), (std::vector<std::string>{"Quantidade", "Produto", "Unid", "Descricao", "Aliq ICMS", "ST",
                                                 "Valor Unitário", "Valor Total", "Valor ICMS"}));
    EXPECT_EQ(ReadOnlyColumns(), (std::vector<std::string>{"Id_Produto", "Descricao_Abreviada", "Aliquota_ICMS",
                                                          "Id_Situacao_Tributaria", "Valor_Total", "Valor_ICMS"}));
    form->btnInsert->Click();
    EXPECT_EQ(form->dbeId_Romaneio->Text(), "000.120");
    EXPECT_EQ(form->PCliente->Caption(), "Comercial Silva Ltda");
    EXPECT_EQ(form->PVendedor->Caption(), "Ana Souza");

    form->Grid->SetFocus();
    form->Grid->SetSelectedIndex(0);
    TypeInGrid("2");
    Enter();
    uitest::Type(form->dbeId_Produto->Widget(), "1");
    uitest::Key(form->dbeId_Produto->Widget(), Qt::Key_Return);
    // The unit price is column 7 here, and takes a comma for its point.
    form->Grid->SetSelectedIndex(6);
    TypeInGrid("1.25");
    Enter();
    EXPECT_EQ(form->Grid->SelectedIndex(), 0);
    form->btnSave->Click();
    EXPECT_EQ(form->qryRomaneio->State(), dsBrowse);
    EXPECT_EQ(Dump("romaneio_item"), "120|00001|UN|000|2.0|1.25|2.5|5102|18.0|0.45|\n");
    EXPECT_EQ(Scalar("select numero_proximo_romaneio from opcao"), "121");

    QTimer::singleShot(0, qApp, [] {
        ASSERT_NE(frmPesquisa, nullptr);
        EXPECT_EQ(frmPesquisa->Caption(), "Pesquisar - Romaneios");
        frmPesquisa->mnuOkClick(nullptr);
    });
    form->DBButton3->Click();
    EXPECT_EQ(form->qryRomaneio->FieldByName("Id_Romaneio")->AsInteger(), 120);
}

}  // namespace
