// The NF-e forms offscreen, their boxes answered by the dialog script and
// their waits moved by the manual clock: the management desk and its
// cancellation, the service status, the voiding of numbers and the manual
// correction.
#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QAbstractItemModel>
#include <QKeySequence>
#include <QLabel>
#include <QPointer>
#include <QTableView>
#include <QTest>
#include <QMessageBox>
#include <QPixmap>

#include "billing/forms/Nota200.h"
#include "billing/forms/Nota225.h"
#include "billing/forms/Nota230.h"
#include "billing/forms/Nota231.h"
#include "billing/forms/Nota232.h"
#include "billing/forms/Nota403.h"
#include "billing/forms/Nota409.h"
#include "billing/nfe/AnswerPoller.h"
#include "billing/nfe/Requests.h"
#include "platform/rtl/IniFiles.h"
#include "platform/ui/ExtCtrls.h"
#include "billing/nfe/NFeSettings.h"
#include "tests/billing/forms/BillingFixture.h"
#include "tests/platform/rtl/FileFaultSupport.h"
#include "tests/billing/nfe/fake/FakeMonitor.h"
#include "tests/billing/nfe/fake/SampleDatabase.h"
#include "tests/platform/ui/UiTestSupport.h"
#include "tests/billing/nfe/PollerFixture.h"

namespace fs = std::filesystem;

namespace {

class NFeForms : public billtest::Session {
protected:
    void SetUp() override {
        Session::SetUp();
        folders = nfetest::MakeFolders(dir.file("nfe"));
        nfetest::InsertRegisters(*dmdb->ADOConnection, folders);
        dmdb->Inicia_Banco_Dados();  // the variables take the new settings
        // This test program runs: the monitor check finds "the monitor" running.
        TIniFile(dir.file("faturamento.ini"))
            .WriteString("NFe", "Monitor", fs::read_symlink("/proc/self/exe").string());
        monitor = std::make_unique<nfetest::FakeMonitor>(
            nfetest::FakeMonitor::Folders{folders.envio, folders.retorno, folders.arquivamento});
        frame = std::make_unique<TForm>(nullptr);
        frame->SetFormStyle(fsMDIForm);
        Application->SetMainForm(frame.get());
        frame->Show();
    }
    void TearDown() override {
        for (int i = frame->MDIChildCount() - 1; i >= 0; --i) delete frame->MDIChildren(i);
        billtest::Pump();
        Application->SetMainForm(nullptr);
        frame.reset();
        Session::TearDown();
    }
    template <typename T>
    T* Open(T* form) {
        form->DoCreate();
        form->Show();
        return form;
    }
    std::string Invoice(int numero, const std::string& situacao, const std::string& cliente = nfetest::kClient) {
        return nfetest::InsertInvoice(*dmdb->ADOConnection, 1, numero, EncodeDate(2010, 6, 15), situacao, cliente);
    }
    std::string Column(int numero, const std::string& column) {
        return Scalar("select " + column + " from nota_fiscal where id_nota_fiscal = " + std::to_string(numero));
    }
    bool Sent(const std::string& name) { return fs::exists(folders.envio + "/" + name); }
    // Answers the one voiding request sent (10 to 12 of series 1) as the tax
    // authority accepts it; gives the request's file name, or "" when not
    // exactly one was sent.
    std::string AcceptTheVoiding() {
        std::vector<std::string> sent;
        for (const auto& e : fs::directory_iterator(folders.envio)) sent.push_back(e.path().filename().string());
        EXPECT_EQ(sent.size(), 1u);
        if (sent.size() != 1) return {};
        const std::string id = sent[0].substr(0, sent[0].size() - std::string("-ped-inu.xml").size());
        testsupport::WriteAll(folders.retorno + "/" + id + "-inu.xml",
                              "<?xml version=\"1.0\" encoding=\"UTF-8\"?><retInutNFe versao=\"1.07\" "
                              "xmlns=\"http://www.portalfiscal.inf.br/nfe\"><infInut><tpAmb>2</tpAmb>"
                              "<verAplic>PR-v1</verAplic><cStat>102</cStat><xMotivo>Inutilização de número homologado"
                              "</xMotivo><cUF>41</cUF><ano>10</ano><CNPJ>12345678000195</CNPJ><mod>55</mod>"
                              "<serie>1</serie><nNFIni>10</nNFIni><nNFFin>12</nNFFin>"
                              "<dhRecbto>2010-06-15T10:00:00</dhRecbto>"
                              "<nProt>141100000000123</nProt></infInut></retInutNFe>");
        return sent[0];
    }

    ui::ManualTimerClock clock;
    nfetest::NFeFolders folders;
    std::unique_ptr<nfetest::FakeMonitor> monitor;
    std::unique_ptr<TForm> frame;
};

// --- management -------------------------------------------------------------

class Management : public NFeForms {
protected:
    void SetUp() override {
        NFeForms::SetUp();
        Invoice(10, "Aguardando");
        Invoice(20, "Autorizada");
        Invoice(30, "Erro");
        dmdb->ADOConnection->Execute("update nota_fiscal set protocolo_nfe = '141000000000020' where id_nota_fiscal = 20");
        form = Open(new TfrmNota232(nullptr));
        form->ShowCancellation = [this](TfrmNota232B* d) {
            dialog = d;
            d->FormShow(d);
        };
    }
    void TearDown() override {
        delete dialog;
        NFeForms::TearDown();
    }
    int Current() { return form->qryNota_Fiscal->FieldByName("Id_Nota_Fiscal")->AsInteger(); }
    TfrmNota232* form = nullptr;
    TfrmNota232B* dialog = nullptr;
};

TEST_F(Management, ShowsEveryInvoiceWithTheLastSelectedAndTheEnvironment) {
    EXPECT_EQ(form->cbMostrar->Text(), "Todas");
    EXPECT_EQ(form->qryNota_Fiscal->RecordCount(), 3);
    EXPECT_EQ(Current(), 30);
    EXPECT_EQ(form->mAmbiente->Lines()->Strings(0), "Ambiente: 2 - Homologação");
    EXPECT_EQ(form->mAmbiente->Lines()->Strings(1), "Pasta Envio: " + folders.envio);
    EXPECT_EQ(form->mAmbiente->Lines()->Strings(4), "Pasta Temporária: " + folders.erro);
    EXPECT_EQ(form->exDBGrid1->Columns(1)->Title(), "Série");
    EXPECT_EQ(form->exDBGrid1->CellText(form->exDBGrid1->RowCount() - 1, 1), "001");
    form->cbMostrar->SetItemIndex(2);  // "Erro"
    form->cbMostrarChange(form->cbMostrar);
    EXPECT_EQ(form->qryNota_Fiscal->RecordCount(), 1);
    EXPECT_EQ(form->qryNota_Fiscal->FieldByName("Status")->AsInteger(), 4);
}

// The state is a picture: no number beside it, and the legend's words are
// not covered by the picture that follows them.
TEST_F(Management, EachStateShowsAsItsPictureAloneWithALegendThatReadsWhole) {
    TexDBGrid* grid = form->exDBGrid1;
    QAbstractItemModel* model = grid->Model();
    for (int row = 0; row < grid->RowCount(); ++row) {
        EXPECT_EQ(grid->CellText(row, 0), "") << row;
        EXPECT_FALSE(model->data(model->index(row, 0), Qt::DecorationRole).value<QPixmap>().isNull()) << row;
    }
    std::vector<QRect> images;
    std::vector<std::pair<QString, QRect>> words;
    for (int i = 0; i < form->ComponentCount(); ++i) {
        if (auto* image = dynamic_cast<TImage*>(form->Components(i)))
            if (image->Name().rfind("imgLegenda", 0) == 0) images.push_back(image->Widget()->geometry());
    }
    ASSERT_EQ(images.size(), 7u);
    for (QLabel* l : form->Widget()->findChildren<QLabel*>()) {
        for (const char* legend : {"Autorizada", "Rejeitada", "Cancelada", "Digitada", "Gerada", "Aguardando", "Denegada"})
            if (l->text() == legend) words.emplace_back(l->text(), QRect(l->pos(), l->sizeHint()));
    }
    ASSERT_EQ(words.size(), 7u);
    for (const auto& [word, box] : words)
        for (const QRect& image : images)
            EXPECT_FALSE(box.intersects(image)) << word.toStdString() << " coberta por uma figura";
}

// Every 4 seconds the grid shows what the poller changed, on the invoice the
// clerk had selected, however many invoices came before it meanwhile.
TEST_F(Management, TheRefreshKeepsTheSelectionWhileRowsAreAddedBeforeIt) {
    ASSERT_TRUE(form->qryNota_Fiscal->Locate("Id_Nota_Fiscal", 20, {}));
    Invoice(5, "Em Digitação");
    Invoice(15, "Em Digitação");
    dmdb->ADOConnection->Execute("update nota_fiscal set situacao_nfe = 'Cancelada' where id_nota_fiscal = 20");
    clock.Advance(3999);
    EXPECT_EQ(form->qryNota_Fiscal->RecordCount(), 3);
    clock.Advance(1);
    EXPECT_EQ(form->qryNota_Fiscal->RecordCount(), 5);
    EXPECT_EQ(Current(), 20);
    EXPECT_EQ(form->qryNota_Fiscal->FieldByName("Status")->AsInteger(), 5);
}

TEST_F(Management, LocateSelectsTheNumberOrSaysItWasNotFound) {
    dialogs.AnswerText("10");
    form->Button6Click(nullptr);
    EXPECT_EQ(Current(), 10);
    dialogs.AnswerText("12");
    dialogs.Expect("A Nota Fiscal \"12\" não foi encontrada !", mrOk);
    form->Button6Click(nullptr);
    dialogs.AnswerText("dez");
    dialogs.Expect("A Nota Fiscal \"dez\" não foi encontrada !", mrOk);
    form->Button6Click(nullptr);
    EXPECT_EQ(Current(), 10);
    dialogs.Cancel();
    form->Button6Click(nullptr);
}

TEST_F(Management, TransmitSendsAgainAndSaysSo) {
    dialogs.Expect("Nota Fiscal foi Transmitida para a SEFAZ !", mrOk, "Transmitida");
    form->Button1Click(nullptr);  // invoice 30, in "Erro"
    EXPECT_TRUE(Sent(Column(30, "numero_nfe") + "-nfe.xml"));
}

TEST_F(Management, TheInvoiceStatusIsShownWhenTheAnswerComes) {
    form->Button4Click(nullptr);
    EXPECT_TRUE(Sent(Column(30, "numero_nfe") + "-ped-sit.xml"));
    monitor->Step();
    dialogs.Expect("NF-e não consta na base de dados da SEFAZ", mrOk);
    clock.Advance(2000);
}

TEST_F(Management, OnlyAnAuthorisedInvoiceOpensTheCancellation) {
    dialogs.Expect("Somente NF-e com situação \"Autorizada\" pode ser Cancelada.", mrOk, "Atenção");
    form->Button5Click(nullptr);
    EXPECT_EQ(dialog, nullptr);
    ASSERT_TRUE(form->qryNota_Fiscal->Locate("Id_Nota_Fiscal", 20, {}));
    form->Button5Click(nullptr);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->dbeProtocolo_NFe->Text(), "141000000000020");
    EXPECT_EQ(dialog->ActiveControl(), dialog->mMotivo);
}

TEST_F(Management, ACancellationAcceptedShowsCancelledWithImageFive) {
    ASSERT_TRUE(form->qryNota_Fiscal->Locate("Id_Nota_Fiscal", 20, {}));
    form->Button5Click(nullptr);
    ASSERT_NE(dialog, nullptr);
    dialog->mMotivo->SetText("  Cliente desis  ");  // 14 characters once trimmed
    dialogs.Expect("deve ter no minímo 15 caracteres !", mrOk, "Atenção");
    dialog->Button1Click(nullptr);
    dialog->mMotivo->SetText(std::string(256, 'x'));
    dialogs.Expect("deve ter no máximo 255 caracteres !", mrOk, "Atenção");
    dialog->Button1Click(nullptr);
    EXPECT_TRUE(fs::is_empty(folders.envio));

    dialog->mMotivo->SetText("Cliente desist.");  // 15
    dialogs.Expect("Confirma o Cancelamento ?", mrYes, "Cancelar NF-e");
    dialog->Button1Click(nullptr);
    EXPECT_TRUE(dialog->Waiting());
    EXPECT_EQ(dialog->StatusBar1->SimpleText(), "Comunicando servidor SEFAZ ... Aguarde !");
    EXPECT_FALSE(dialog->Button1->Enabled());
    monitor->Step();
    dialogs.Expect("A Nota Fiscal foi cancelada com Sucesso !", mrOk, "Sucesso");
    clock.Advance(2000);
    EXPECT_FALSE(dialog->Waiting());
    EXPECT_EQ(dialog->StatusBar1->SimpleText(), "");
    EXPECT_EQ(Column(20, "situacao_nfe"), "Cancelada");
    clock.Advance(2000);  // the grid's next refresh
    EXPECT_EQ(Current(), 20);
    EXPECT_EQ(form->qryNota_Fiscal->FieldByName("Status")->AsInteger(), 5);
}

// The box that tells the answer is up once the server has answered: the
// line under the dialog no longer says to wait, and an invoice window open
// behind already shows the invoice cancelled, its Editar off.
TEST_F(Management, WhenTheCancellationIsToldTheWaitIsOverAndTheInvoiceWindowFollows) {
    TfrmNota200* invoice = Open(new TfrmNota200(nullptr));
    ASSERT_TRUE(invoice->qryNota_Fiscal->Locate("Id_Nota_Fiscal", 20, {}));
    EXPECT_EQ(invoice->DBEdit3->Text(), "Autorizada");
    ASSERT_TRUE(form->qryNota_Fiscal->Locate("Id_Nota_Fiscal", 20, {}));
    form->Button5Click(nullptr);
    ASSERT_NE(dialog, nullptr);
    dialog->mMotivo->SetText("Cliente desistiu da compra");
    dialogs.Expect("Confirma o Cancelamento ?", mrYes, "Cancelar NF-e");
    dialog->Button1Click(nullptr);
    ASSERT_EQ(dialog->StatusBar1->SimpleText(), "Comunicando servidor SEFAZ ... Aguarde !");
    monitor->Step();
    billtest::RealBoxes boxes;
    std::string statusWhileTold = "<no box>";
    boxes.WhenShown([this, &statusWhileTold](QMessageBox* box) {
        statusWhileTold = dialog->StatusBar1->SimpleText();
        box->accept();
    });
    clock.Advance(2000);
    EXPECT_EQ(statusWhileTold, "");
    EXPECT_EQ(Column(20, "situacao_nfe"), "Cancelada");
    EXPECT_EQ(invoice->DBEdit3->Text(), "Cancelada");
    EXPECT_FALSE(invoice->btnEdit->Enabled());
    EXPECT_FALSE(invoice->btnDelete->Enabled());
}

TEST_F(Management, ACancellationRefusedFailsAndChangesNothing) {
    ASSERT_TRUE(form->qryNota_Fiscal->Locate("Id_Nota_Fiscal", 20, {}));
    monitor->ScriptCancel(Column(20, "numero_nfe"), "220");
    form->Button5Click(nullptr);
    dialog->mMotivo->SetText("Cliente desistiu da compra");
    dialogs.Expect("Confirma o Cancelamento ?", mrYes);
    dialog->Button1Click(nullptr);
    monitor->Step();
    dialogs.Expect("A Nota Fiscal não pode ser Cancelada !\r\n\r\n220 ", mrOk, "Falhou");
    clock.Advance(2000);
    EXPECT_EQ(Column(20, "situacao_nfe"), "Autorizada");
    EXPECT_EQ(Column(20, "protocolo_nfe"), "141000000000020");
}

TEST_F(Management, NoAnswerInTimeIsToldAndChangesNothing) {
    ASSERT_TRUE(form->qryNota_Fiscal->Locate("Id_Nota_Fiscal", 20, {}));
    form->Button5Click(nullptr);
    dialog->mMotivo->SetText("Cliente desistiu da compra");
    dialogs.Expect("Confirma o Cancelamento ?", mrYes);
    dialog->Button1Click(nullptr);
    clock.Advance(118000);
    EXPECT_TRUE(dialog->Waiting());
    dialogs.Expect("Não houve resposta do Monitor de NF-e. A NF-e não foi alterada.", mrOk, "Atenção");
    clock.Advance(2000);
    EXPECT_FALSE(dialog->Waiting());
    EXPECT_TRUE(dialog->Button1->Enabled());
    EXPECT_FALSE(Sent(Column(20, "numero_nfe") + "-ped-can.xml"));
}

TEST_F(Management, ClosingTheDialogMidWaitEndsTheWait) {
    ASSERT_TRUE(form->qryNota_Fiscal->Locate("Id_Nota_Fiscal", 20, {}));
    form->Button5Click(nullptr);
    dialog->mMotivo->SetText("Cliente desistiu da compra");
    dialogs.Expect("Confirma o Cancelamento ?", mrYes);
    dialog->Button1Click(nullptr);
    std::string key = Column(20, "numero_nfe");
    dialog->Button2Click(nullptr);
    billtest::Pump();  // the dialog frees itself
    dialog = nullptr;
    // The answer that comes now is nobody's: nothing is stored, no box shows.
    testsupport::WriteAll(folders.retorno + "/" + key + "-can.xml",
                          monitor->RetCancNFe("2", key, "101", "141000000000999"));
    clock.Advance(10000);
    EXPECT_EQ(Column(20, "situacao_nfe"), "Autorizada");
    EXPECT_FALSE(Sent(key + "-ped-can.xml"));
}

// --- service status ---------------------------------------------------------

TEST_F(NFeForms, TheServiceStatusShowsTheWaitingLineABlankLineAndTheAnswer) {
    std::string other = dir.file("nfe/outra-envio");
    fs::create_directories(other);
    dmdb->ADOConnection->Execute("update opcao set pasta_nfe_envio = :p", {{"p", Variant(other)}});
    auto* form = Open(new TfrmNota230(nullptr));
    EXPECT_EQ(dmdb->Get_Var("pasta_nfe_envio"), other) << "the folders come from the settings at showing";
    dmdb->ADOConnection->Execute("update opcao set pasta_nfe_envio = :p", {{"p", Variant(folders.envio)}});
    form->FormShow(form);

    form->Button1Click(nullptr);
    EXPECT_EQ(form->mStatus->Lines()->Count(), 2);
    EXPECT_EQ(form->mStatus->Lines()->Strings(0), "Comunicando com o Servidor SEFAZ, aguarde...");
    EXPECT_EQ(form->mStatus->Lines()->Strings(1), "");
    EXPECT_FALSE(form->Button1->Enabled());
    monitor->Step();
    clock.Advance(2000);
    EXPECT_EQ(form->mStatus->Lines()->Strings(2), "Serviço em Operação");
    EXPECT_TRUE(form->Button1->Enabled());

    // No answer: after three steps, the connection message.
    form->Button1Click(nullptr);
    clock.Advance(6000);
    EXPECT_EQ(form->mStatus->Lines()->Strings(2), "Não foi possível a conexão com o servidor !");
}

// The grid shows where the focus is: the current row is drawn otherwise
// while the grid has the focus than while a field beside it has it, also
// when the clerk clicked into it (the style draws a focus only once a key
// moved it).
TEST_F(Management, TheGridDrawsTheFocusOnItsCurrentRow) {
    uitest::ShowActive(frame.get());
    QTableView* view = form->exDBGrid1->View();
    QWidget* rows = view->viewport();
    form->cbMostrar->SetFocus();
    billtest::Pump();
    form->Widget()->window()->setAttribute(Qt::WA_KeyboardFocusChange, false);
    const QImage without = rows->grab().toImage();
    const int current = Current();
    ASSERT_TRUE(view->currentIndex().isValid());
    // A click on the row already current: the selection stays as it was.
    QTest::mouseClick(rows, Qt::LeftButton, Qt::NoModifier, view->visualRect(view->currentIndex()).center());
    billtest::Pump();
    ASSERT_TRUE(form->exDBGrid1->Focused());
    ASSERT_EQ(Current(), current);
    // Drawn round the whole row, to be seen: not a dot in its first cell.
    const QImage with = rows->grab().toImage();
    const QRect row = view->visualRect(view->currentIndex()).united(
        view->visualRect(view->model()->index(view->currentIndex().row(), view->model()->columnCount() - 1)));
    int left = with.width(), right = -1;
    for (int y = 0; y < with.height(); ++y)
        for (int x = 0; x < with.width(); ++x)
            if (with.pixel(x, y) != without.pixel(x, y)) {
                left = std::min(left, x);
                right = std::max(right, x);
            }
    EXPECT_GT(right - left, row.width() * 9 / 10) << "no focus drawn round the row (" << left << ".." << right << ")";
    form->cbMostrar->SetFocus();
    billtest::Pump();
    form->Widget()->window()->setAttribute(Qt::WA_KeyboardFocusChange, false);
    EXPECT_EQ(rows->grab().toImage(), without) << "the focus left, its frame stays";
}

// Esc closes each of these windows, and so does the letter of its Fechar,
// which no menu of the main window takes (C, L, R, F, M, A) and no other
// button of the window either.
TEST_F(NFeForms, EscAndTheLetterOfFecharCloseTheWindowsThatHaveOne) {
    uitest::ShowActive(frame.get());
    const std::vector<std::pair<const char*, std::function<TForm*()>>> windows = {
        {"Notas Fiscais Emitidas", [] { return new TfrmNota403(nullptr); }},
        {"Resumo de Vendas", [] { return new TfrmNota409(nullptr); }},
        {"Verificar Status", [] { return new TfrmNota230(nullptr); }},
        {"Inutilizar Numeração", [] { return new TfrmNota231(nullptr); }},
        {"Gerenciar NF-e", [] { return new TfrmNota232(nullptr); }},
    };
    for (const auto& [name, make] : windows) {
        for (const bool byLetter : {false, true}) {
            SCOPED_TRACE(std::string(name) + (byLetter ? ", Alt+H" : ", Esc"));
            TForm* form = Open(make());
            billtest::Pump();
            if (TWinControl* first = form->FindNextControl(nullptr, true, true)) first->SetFocus();
            billtest::Pump();
            QPointer<QWidget> alive = form->Widget();
            if (!byLetter) {
                std::map<QChar, std::string> letters;
                bool fechar = false;
                for (QAbstractButton* b : form->Widget()->findChildren<QAbstractButton*>()) {
                    const QKeySequence k = QKeySequence::mnemonic(b->text());
                    if (k.isEmpty()) continue;
                    const QChar l = QChar(k[0].key() & ~Qt::KeyboardModifierMask).toUpper();
                    EXPECT_EQ(QString("CLRFMA").indexOf(l), -1) << b->text().toStdString() << " usa a letra de um menu";
                    auto [it, fresh] = letters.emplace(l, b->text().toStdString());
                    EXPECT_TRUE(fresh) << b->text().toStdString() << " e " << it->second;
                    fechar = fechar || (b->text().remove('&') == "Fechar" && l == 'H');
                }
                EXPECT_TRUE(fechar) << "Fechar sem a letra H";
            }
            QWidget* target = QApplication::focusWidget() != nullptr ? QApplication::focusWidget() : form->Widget();
            if (byLetter) QTest::keyClick(target, Qt::Key_H, Qt::AltModifier);
            else QTest::keyClick(target, Qt::Key_Escape);
            // The letter presses the button as a click does, once drawn down.
            EXPECT_TRUE(QTest::qWaitFor([&] { return alive.isNull(); }, 2000)) << "a janela ficou aberta";
            if (!alive.isNull()) delete form;
            billtest::Pump();
        }
    }
}

// The buttons of the NF-e windows by their letters, each checked by what it
// does: Copiar, reached by Tab from the access key, puts the key on the
// clipboard; the cancellation's Confirmar and Inutilizar take what was typed
// and refuse a reason too short. A box said "Sucesso" informs.
TEST_F(Management, TheNFeWindowsButtonsActByTheirLetters) {
    uitest::ShowActive(frame.get());
    auto press = [](Qt::Key Letter) {
        QTest::keyClick(QApplication::focusWidget(), Letter, Qt::AltModifier);
    };
    auto told = [this](std::size_t Before) {
        return QTest::qWaitFor([&] { return dialogs.Shown().size() > Before; }, 2000);
    };
    ASSERT_TRUE(form->qryNota_Fiscal->Locate("Id_Nota_Fiscal", 20, {}));
    form->dbeNumero_NFe->SetFocus();
    billtest::Pump();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    billtest::Pump();
    EXPECT_TRUE(form->SpeedButton1->Focused()) << "Tab reaches Copiar";
    QApplication::clipboard()->clear();
    press(Qt::Key_O);
    const QString key = QString::fromStdString(Column(20, "numero_nfe"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::clipboard()->text() == key; }, 2000)) << "Alt+O";

    form->Button5Click(nullptr);
    ASSERT_NE(dialog, nullptr);
    uitest::ShowActive(dialog);
    dialog->mMotivo->SetFocus();
    dialog->mMotivo->SetText("Desistiu");
    std::size_t before = dialogs.Shown().size();
    dialogs.Expect("deve ter no minímo 15 caracteres !", mrOk, "Atenção");
    press(Qt::Key_C);
    EXPECT_TRUE(told(before)) << "Alt+C";
    dialog->Close();  // it frees itself
    dialog = nullptr;
    billtest::Pump();

    auto* voiding = Open(new TfrmNota231(nullptr));
    uitest::ShowActive(frame.get());
    if (voiding->tbTemp->State() == dsBrowse) voiding->tbTemp->Edit();
    voiding->tbTemp->FieldByName("Motivo")->SetAsString("Pulada");
    voiding->dbeId_Serie_Documento->SetFocus();
    billtest::Pump();
    before = dialogs.Shown().size();
    dialogs.Expect("A descrição do Motivo deve ter no minímo 15 caracteres e no máximo 255.", mrOk, "Atenção");
    press(Qt::Key_I);
    EXPECT_TRUE(told(before)) << "Alt+I";
    EXPECT_TRUE(fs::is_empty(folders.envio));

    // The configuration every NF-e window tells its outcome through.
    dialogs.Expect("cancelada com Sucesso", mrOk, "Sucesso");
    billing::nfe::Config_NFe(*dmdb).Notify("A Nota Fiscal foi cancelada com Sucesso !", "Sucesso");
    ASSERT_FALSE(dialogs.Shown().empty());
    EXPECT_EQ(dialogs.Shown().back().type, mtInformation);
}

// --- voiding of numbers ------------------------------------------------------

class Voiding : public NFeForms {
protected:
    void SetUp() override {
        NFeForms::SetUp();
        form = Open(new TfrmNota231(nullptr));
    }
    void Fill(int serie, int first, int last, const std::string& reason) {
        if (form->tbTemp->State() == dsBrowse) form->tbTemp->Edit();
        form->tbTemp->FieldByName("Id_serie_documento")->SetAsInteger(serie);
        form->tbTemp->FieldByName("Numero_Inicial")->SetAsInteger(first);
        form->tbTemp->FieldByName("Numero_Final")->SetAsInteger(last);
        form->tbTemp->FieldByName("Motivo")->SetAsString(reason);
    }
    TfrmNota231* form = nullptr;
};

TEST_F(Voiding, AConfirmedRangeIsRequestedAndItsOutcomeIsShownWithItsProtocol) {
    // The series would number its next invoice inside the range.
    dmdb->ADOConnection->Execute("update serie_documento set proximo_numero = 11 where id_serie_documento = 1");
    Fill(1, 10, 12, "Numeração pulada");  // 16
    dialogs.Expect("Confirma a Inutilização da faixa de Nota Fiscal Eletrônica abaixo ?\r\n\r\nSérie NF-e: 1\r\n"
                   "Número Inicial: 10\r\nNúmero Final: 12",
                   mrYes, "Inutilizar");
    form->Button1Click(nullptr);
    // The monitor's answer, as the tax authority gives it for a voided range.
    const std::string sent = AcceptTheVoiding();
    ASSERT_FALSE(sent.empty());
    EXPECT_NE(sent.find("5500100000001000000001" "2-ped-inu.xml"), std::string::npos) << sent;
    const std::string id = sent.substr(0, sent.size() - std::string("-ped-inu.xml").size());
    dialogs.Expect("A numeração foi inutilizada.\r\n\r\nSituação: 102 - Inutilização de número homologado\r\n"
                   "Protocolo: 141100000000123",
                   mrOk, "Sucesso");
    clock.Advance(2000);
    EXPECT_EQ(dialogs.Pending(), 0);
    EXPECT_FALSE(fs::exists(folders.retorno + "/" + id + "-inu.xml")) << "the answer is taken once read";
    EXPECT_EQ(frmNota231, form);
    EXPECT_EQ(Scalar("select proximo_numero from serie_documento where id_serie_documento = 1"), "13")
        << "the next invoice is numbered past the voided range";
}

// The kept range is the only record of a voiding: it holds the authority's
// protocol and date whether the window read the answer (it waits for it) or
// the poller found it (the window was closed, or another instance sent it).
TEST_F(Voiding, TheRangeIsKeptWithTheAuthoritysProtocolAndDateWhicheverRoadTheAnswerCame) {
    const std::string row =
        "select group_concat(id_serie_documento || '|' || numero_inicial || '|' || numero_final || '|' || "
        "coalesce(protocolo, '') || '|' || coalesce(strftime('%Y-%m-%d %H:%M:%S', data_protocolo), ''), ' ') "
        "from (select * from numeracao_inutilizada order by numero_inicial)";
    // The window's road: 10 to 12 typed, confirmed, answered while it waits.
    Fill(1, 10, 12, "Numeração pulada");
    dialogs.Expect("Confirma a Inutilização", mrYes, "Inutilizar");
    form->Button1Click(nullptr);
    ASSERT_FALSE(AcceptTheVoiding().empty());
    dialogs.Expect("A numeração foi inutilizada.", mrOk, "Sucesso");
    clock.Advance(2000);
    EXPECT_EQ(dialogs.Pending(), 0);
    EXPECT_EQ(Scalar("select id_serie_documento || '|' || numero_inicial || '|' || numero_final || '|' || "
                     "coalesce(protocolo, '') from numeracao_inutilizada"),
              "1|10|12|141100000000123");
    EXPECT_EQ(Scalar(row), "1|10|12|141100000000123|2010-06-15 10:00:00");

    // The poller's road: an answer nobody waits for, 20 to 21.
    billing::nfe::NFeConfig config = billing::nfe::Config_NFe(*dmdb);
    billing::nfe::AnswerPoller poller(nfetest::RunningMonitorServices(dmdb->ADOConnection, [&config] { return config; }));
    testsupport::WriteAll(folders.retorno + "/ID41100000000000019555001000000020000000021-inu.xml",
                          "<retInutNFe versao=\"1.07\" xmlns=\"http://www.portalfiscal.inf.br/nfe\"><infInut>"
                          "<tpAmb>2</tpAmb><cStat>102</cStat><xMotivo>Inutilização de número homologado</xMotivo>"
                          "<cUF>41</cUF><ano>10</ano><mod>55</mod><serie>1</serie><nNFIni>20</nNFIni>"
                          "<nNFFin>21</nNFFin><dhRecbto>2010-06-16T14:05:09</dhRecbto>"
                          "<nProt>141100000000124</nProt></infInut></retInutNFe>");
    EXPECT_EQ(poller.Tick().handled, 1);
    EXPECT_EQ(Scalar(row),
              "1|10|12|141100000000123|2010-06-15 10:00:00 1|20|21|141100000000124|2010-06-16 14:05:09");
}

TEST_F(Voiding, AWrongReasonIsToldAloneEvenWithAWrongRange) {
    Fill(9, 12, 10, "  Numeração pul  ");  // 14 once trimmed
    dialogs.Expect("A descrição do Motivo deve ter no minímo 15 caracteres e no máximo 255.", mrOk, "Atenção");
    form->Button1Click(nullptr);
    Fill(1, 10, 12, std::string(256, 'm'));
    dialogs.Expect("A descrição do Motivo deve ter no minímo 15 caracteres e no máximo 255.", mrOk, "Atenção");
    form->Button1Click(nullptr);
    EXPECT_TRUE(fs::is_empty(folders.envio));
    EXPECT_EQ(frmNota231, form);
}

TEST_F(Voiding, RangeAndSeriesErrorsAreListedTogether) {
    Fill(1, 12, 10, "Numeração pulada");
    dialogs.Expect("Foram identificados erros, por favor corrija: \r\n\r\nO número Inicial está maior que o Final !\r\n",
                   mrOk, "Atenção");
    form->Button1Click(nullptr);
    Fill(7, 0, 0, "Numeração pulada");
    dialogs.Expect("Foram identificados erros, por favor corrija: \r\n\r\nA série de Nota Fiscal informada não existe "
                   "!\r\nO número Inicial não é válido !\r\nO número Final não é válido !\r\n",
                   mrOk, "Atenção");
    form->Button1Click(nullptr);
    // Not confirmed: nothing sent, the input stays.
    Fill(1, 10, 12, "Numeração pulada");
    dialogs.Expect("Confirma a Inutilização", mrNo, "Inutilizar");
    form->Button1Click(nullptr);
    EXPECT_TRUE(fs::is_empty(folders.envio));
    EXPECT_EQ(form->tbTemp->FieldByName("Numero_Final")->AsInteger(), 12);
}

TEST_F(Voiding, ARequestThatCannotBeWrittenIsToldOnceAndLeavesTheSendFolderAsItWas) {
    std::vector<ui::BoxRequest> shown;
    filefaults::FileSavePath p;
    p.Prepare = [&] {
        // A form whose request was written waits for its answer: it goes.
        if (frmNota231 != nullptr && frmNota231->Waiting()) frmNota231->Close();
        billtest::Pump();
        for (const auto& e : fs::directory_iterator(folders.envio)) fs::remove(e.path());
        form = frmNota231 != nullptr ? frmNota231 : Open(new TfrmNota231(nullptr));
        Fill(1, 10, 12, "Numeração pulada");
    };
    p.Act = [&] {
        ui::ScriptedDialogs quiet([](const std::string&) {});
        quiet.Answer(mrYes);
        form->Button1Click(nullptr);
        shown = quiet.Shown();
    };
    p.Files = [&] {
        std::string all;
        for (const std::string& name : filefaults::Entries(folders.envio))
            all += name + ":" + testsupport::ReadAll(folders.envio + "/" + name) + "\n";
        return all;
    };
    p.Folders = {folders.envio};
    p.CheckFailure = [&] {
        // The question, then the one error box; the form stays for another try.
        ASSERT_EQ(shown.size(), 2u);
        EXPECT_EQ(shown[1].caption, "Erro");
        EXPECT_EQ(shown[1].text.rfind("Não foi possível gravar o arquivo \"" + folders.envio + "/", 0), 0u)
            << shown[1].text;
        EXPECT_EQ(frmNota231, form);
    };
    // The settings file is complete first: only the request is written.
    billing::nfe::Config_NFe(*dmdb);
    filefaults::FileSweepFigures f = filefaults::Sweep(filefaults::Fault::FailedWrite, p);
    EXPECT_EQ(f.writes, 1);
}

// --- manual correction --------------------------------------------------------

class Correction : public NFeForms {
protected:
    TfrmNota225* OpenWith(const std::string& code, bool typed = true) {
        auto* form = new TfrmNota225(nullptr);
        form->AskAccessCode = [code, typed](std::string& out) {
            out = code;
            return typed;
        };
        return Open(form);
    }
    void Find(TfrmNota225* form, int serie, int numero) {
        form->tbTemp->FieldByName("Id_serie_documento")->SetAsInteger(serie);
        form->tbTemp->FieldByName("id_nota_fiscal")->SetAsInteger(numero);
        form->Button1Click(nullptr);
    }
};

TEST_F(Correction, TheMasterCodeOpensTheFormInAnyCaseAndNothingElseDoes) {
    TfrmNota225* form = OpenWith("quorventalisbrake");
    billtest::Pump();
    EXPECT_EQ(frmNota225, form);
    delete form;

    dialogs.Expect("A senha informada está incorreta. 3 Tentativas e o Aplicativo será Bloqueado.", mrOk, "Atenção");
    OpenWith("QUORVENTALISBRAKE ");
    billtest::Pump();
    EXPECT_EQ(frmNota225, nullptr);

    OpenWith("", false);  // the prompt cancelled: closed without a word
    billtest::Pump();
    EXPECT_EQ(frmNota225, nullptr);
}

TEST_F(Correction, OnlyTheLocatedInvoiceIsSavedAndTheChangeIsLogged) {
    Invoice(5, "Erro");
    Invoice(6, "Erro");
    TfrmNota225* form = OpenWith("QuorVentalisBrake");
    // Not located: nothing written.
    form->tbTemp->FieldByName("id_nota_fiscal")->SetAsInteger(5);
    form->tbTemp->FieldByName("situacao_nfe")->SetAsString("Autorizada");
    dialogs.Expect("Localize a Nota Fiscal antes de salvar a correção.", mrOk, "Atenção");
    form->btnOkClick(nullptr);
    EXPECT_EQ(Column(5, "situacao_nfe"), "Erro");

    Find(form, 1, 5);
    ASSERT_TRUE(form->Found());
    EXPECT_EQ(form->tbTemp->FieldByName("nome_fantasia")->AsString(), "São João");
    EXPECT_EQ(form->tbTemp->FieldByName("situacao_nfe")->AsString(), "Erro");
    EXPECT_TRUE(form->dbeId_Nota_Fiscal->ReadOnly()) << "locked until Nova";
    form->tbTemp->FieldByName("id_nota_fiscal")->SetAsInteger(6);  // even changed behind the lock
    form->tbTemp->FieldByName("protocolo_nfe")->SetAsString("141000000000005");
    form->tbTemp->FieldByName("situacao_nfe")->SetAsString("Autorizada");
    form->btnOkClick(nullptr);
    EXPECT_EQ(Column(5, "situacao_nfe"), "Autorizada");
    EXPECT_EQ(Column(5, "protocolo_nfe"), "141000000000005");
    EXPECT_EQ(Column(6, "situacao_nfe"), "Erro");
    EXPECT_EQ(Scalar("select id_programa from usuario_log order by rowid desc limit 1"), "NOTA225");
    std::string log = Scalar("select descricao from usuario_log order by rowid desc limit 1");
    EXPECT_NE(log.find("Série 1, Número 5, Situação \"Autorizada\""), std::string::npos) << log;
    // Reset for the next one.
    EXPECT_FALSE(form->Found());
    EXPECT_EQ(form->tbTemp->FieldByName("nome_fantasia")->AsString(), "?");
    EXPECT_EQ(form->tbTemp->FieldByName("Id_serie_documento")->AsInteger(), 1);
}

TEST_F(Correction, AnUnknownInvoiceIsToldAndAGoneOneSavesNothing) {
    Invoice(8, "Erro", "0000099");  // its client is no longer registered
    TfrmNota225* form = OpenWith("QUORVENTALISBRAKE");
    dialogs.Expect("Nota Fiscal não encontrada", mrOk);
    Find(form, 1, 99);
    EXPECT_FALSE(form->Found());
    Find(form, 1, 8);
    ASSERT_TRUE(form->Found());
    EXPECT_EQ(form->tbTemp->FieldByName("nome_fantasia")->AsString(), "?");
    dmdb->ADOConnection->Execute("delete from nota_fiscal where id_nota_fiscal = 8");
    dialogs.Expect("Nenhuma Nota Fiscal foi alterada", mrOk, "Atenção");
    form->btnOkClick(nullptr);
    EXPECT_EQ(Count("select count(*) from usuario_log where id_programa = 'NOTA225'"), 0);
}

}  // namespace

// An accepted range is spent: the numbers typed are cleared, so the Enter a
// hurried clerk presses again on "Inutilizar" sends nothing and says why.
TEST_F(Voiding, AnAcceptedRangeIsClearedSoASecondEnterSendsNothing) {
    uitest::ShowActive(frame.get());
    Fill(1, 10, 12, "Numeração pulada");
    form->Button1->SetFocus();
    billtest::Pump();
    dialogs.Expect("Confirma a Inutilização", mrYes, "Inutilizar");
    QTest::keyClick(form->Button1->Widget(), Qt::Key_Return);
    const std::string sent = AcceptTheVoiding();
    ASSERT_FALSE(sent.empty());
    dialogs.Expect("A numeração foi inutilizada.", mrOk, "Sucesso");
    clock.Advance(2000);
    EXPECT_EQ(dialogs.Pending(), 0);
    EXPECT_TRUE(form->tbTemp->FieldByName("Numero_Inicial")->IsNull());
    EXPECT_TRUE(form->tbTemp->FieldByName("Numero_Final")->IsNull());
    EXPECT_EQ(form->tbTemp->FieldByName("Id_serie_documento")->AsInteger(), 1) << "the series stays";

    form->Button1->SetFocus();
    billtest::Pump();
    dialogs.Expect("O número Inicial não é válido !", mrOk, "Atenção");
    QTest::keyClick(form->Button1->Widget(), Qt::Key_Return);
    EXPECT_EQ(dialogs.Pending(), 0);
    std::size_t files = 0;
    for (const auto& e : fs::directory_iterator(folders.envio)) files += e.path().filename().string() != sent;
    EXPECT_EQ(files, 0u) << "the same range was sent again";
}
