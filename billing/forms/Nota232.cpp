#include "billing/forms/Nota232.h"

#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QPainter>
#include <QTableView>

#include "billing/data/dmdbu.h"
#include "billing/forms/FormUtils.h"
#include "billing/forms/NFeWaits.h"
#include "billing/forms/Nota200.h"
#include "billing/nfe/NFeSettings.h"
#include "platform/rtl/Strings.h"

using namespace billing::forms;

TfrmNota232* frmNota232 = nullptr;

namespace {

// The colour of each state's image, by image index: typed, generated,
// waiting, authorised, refused, cancelled, denied.
const QColor kStatusColors[] = {QColor(150, 150, 150), QColor(70, 110, 200), QColor(235, 170, 30),
                                QColor(40, 160, 60),   QColor(210, 40, 40),  QColor(60, 60, 60),
                                QColor(140, 60, 170)};

QPixmap StatusPixmap(int index, int size) {
    QPixmap p(size, size);
    p.fill(Qt::transparent);
    QPainter painter(&p);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(kStatusColors[index]);
    painter.setPen(kStatusColors[index].darker(140));
    painter.drawEllipse(1, 1, size - 2, size - 2);
    if (index == 5) {  // cancelled: crossed out
        painter.setPen(QPen(Qt::white, 2));
        painter.drawLine(size / 4, size / 4, size * 3 / 4, size * 3 / 4);
        painter.drawLine(size * 3 / 4, size / 4, size / 4, size * 3 / 4);
    }
    return p;
}

billing::nfe::NFeConfig Config() { return billing::nfe::Config_NFe(*dmdb); }

// A read-only edit of the current invoice with its caption to the left.
TDBEdit* ShownField(TForm* Form, TWinControl* Parent, TDataSource* Source, const std::string& Name,
                    const std::string& Column, const std::string& Caption, int LabelLeft, int Top, int Width) {
    auto* e = PlaceDB<TDBEdit>(Form, Parent, Name, Source, Column, 110, Top, Width, 23);
    e->SetReadOnly(true);
    PlaceLabel(Form, Parent, Caption, LabelLeft, Top + 4, e);
    return e;
}

}  // namespace

// ---------------------------------------------------------------------------
// TfrmNota232

TfrmNota232::TfrmNota232(TComponent* AOwner) : TForm(AOwner) {
    SetName("frmNota232");
    SetCaption("Gerenciamento de NF-e - NOTA232");
    SetFormStyle(fsMDIChild);
    SetBorderStyle(bsSingle);
    SetBorderIcons(TBorderIcons{biSystemMenu, biMinimize});
    SetBounds(0, 0, 900, 600);

    management_ = std::make_unique<billing::nfe::NFeManagement>(this, *dmdb->ADOConnection, Config);
    qryNota_Fiscal = management_->Query();
    dsMain = new TDataSource(this);
    dsMain->SetAutoEdit(false);
    dsMain->SetDataSet(qryNota_Fiscal);

    exDBGrid1 = Place<TexDBGrid>(this, this, "exDBGrid1", 8, 8, 884, 270);
    exDBGrid1->SetDataSource(dsMain);
    exDBGrid1->SetReadOnly(true);
    exDBGrid1->SetOptions(TDBGridOptions{dgTitles, dgIndicator, dgColumnResize, dgColLines, dgRowLines, dgTabs,
                                         dgRowSelect, dgAlwaysShowSelection});
    exDBGrid1->AddColumn("Status", " ", 30);
    exDBGrid1->AddColumn("Id_Serie_Documento", "Série", 50);
    exDBGrid1->AddColumn("Id_Nota_Fiscal", "Número", 80);
    exDBGrid1->AddColumn("Data_Emissao", "Emissão", 90);
    exDBGrid1->AddColumn("Id_Cliente", "Cliente", 80);
    exDBGrid1->AddColumn("Nome", "Nome", 260);
    exDBGrid1->AddColumn("Tipo_Emissao", "Tipo", 110);
    exDBGrid1->AddColumn("Situacao_NFE", "Situação", 110);
    // The state as its picture only: the number behind it is the program's.
    std::vector<QPixmap> pictures;
    for (int i = 0; i < static_cast<int>(std::size(kStatusColors)); ++i) pictures.push_back(StatusPixmap(i, 16));
    exDBGrid1->Columns(0)->SetImages(std::move(pictures));

    GroupBox1 = Place<TGroupBox>(this, this, "GroupBox1", 8, 286, 560, 232);
    GroupBox1->SetCaption(" Dados Adicionais ");
    auto field = [this](const std::string& name, const std::string& column, const std::string& caption, int top,
                        int width) { return ShownField(this, GroupBox1, dsMain, name, column, caption, 10, top, width); };
    dbeNumero_NFe = field("dbeNumero_NFe", "Numero_NFe", "Chave Acesso:", 22, 360);
    // A button Tab stops at, beside the key it copies.
    SpeedButton1 = Place<TButton>(this, GroupBox1, "SpeedButton1", 476, 22, 70, 23);
    SpeedButton1->SetCaption("C&opiar");
    SpeedButton1->OnClick = [this](TObject* s) { SpeedButton1Click(s); };
    dbeProtocolo_NFe = field("dbeProtocolo_NFe", "Protocolo_NFe", "Protocolo:", 50, 180);
    dbeNumero_Lote_NFE = field("dbeNumero_Lote_NFE", "Numero_Lote_NFE", "Lote:", 78, 180);
    dbeData_Protocolo_NFe = field("dbeData_Protocolo_NFe", "Data_Protocolo_NFe", "Data Protocolo:", 106, 180);
    dbeRecibo_NFE = field("dbeRecibo_NFE", "Recibo_NFE", "Recibo:", 134, 180);
    dbmErro_NFE = PlaceDB<TDBMemo>(this, GroupBox1, "dbmErro_NFE", dsMain, "Erro_NFE", 110, 162, 436, 60);
    dbmErro_NFE->SetReadOnly(true);
    PlaceLabel(this, GroupBox1, "Motivo/Erro:", 10, 166, dbmErro_NFE);

    cbMostrar = Place<TComboBox>(this, this, "cbMostrar", 640, 290, 150, 23);
    cbMostrar->SetStyle(csDropDownList);
    for (const std::string& f : billing::nfe::ManagementFilters()) cbMostrar->Items()->Add(f);
    cbMostrar->OnChange = [this](TObject* s) { cbMostrarChange(s); };
    PlaceLabel(this, this, "Mostrar", 580, 294, cbMostrar);
    mAmbiente = Place<TMemo>(this, this, "mAmbiente", 580, 346, 312, 100);
    mAmbiente->SetReadOnly(true);
    PlaceLabel(this, this, "Ambiente", 580, 326, mAmbiente);

    // The legend of the images.
    const std::vector<std::string>& legend = billing::nfe::StatusLegend();
    for (std::size_t i = 0; i < legend.size(); ++i) {
        // Three to a row: "Aguardando" needs more than a quarter of the width.
        int left = 580 + static_cast<int>(i % 3) * 104, top = 452 + static_cast<int>(i / 3) * 22;
        auto* image = Place<TImage>(this, this, "imgLegenda" + std::to_string(i), left, top, 16, 16);
        QByteArray png;
        {
            QBuffer buffer(&png);
            buffer.open(QIODevice::WriteOnly);
            StatusPixmap(static_cast<int>(i), 16).save(&buffer, "PNG");
        }
        image->LoadFromBytes(png.toStdString());
        PlaceLabel(this, this, legend[i], left + 19, top + 1);
    }

    auto button = [this](const std::string& name, const std::string& caption, int left,
                         void (TfrmNota232::*handler)(TObject*)) {
        auto* b = Place<TButton>(this, this, name, left, 528, 130, 30);
        b->SetCaption(caption);
        b->OnClick = [this, handler](TObject* s) { (this->*handler)(s); };
        return b;
    };
    Button1 = button("Button1", "&Transmitir", 8, &TfrmNota232::Button1Click);
    Button3 = button("Button3", "&Imprimir DANFE", 144, &TfrmNota232::Button3Click);
    Button4 = button("Button4", "Consultar &Situação", 280, &TfrmNota232::Button4Click);
    Button5 = button("Button5", "Cancelar &NF-e", 416, &TfrmNota232::Button5Click);
    Button6 = button("Button6", "Localizar NF&e", 552, &TfrmNota232::Button6Click);
    Button2 = button("Button2", "Fec&har", 762, &TfrmNota232::Button2Click);
    Button2->SetCancel(true);

    Timer1 = new TTimer(this);
    Timer1->SetName("Timer1");
    Timer1->SetInterval(4000);
    Timer1->OnTimer = [this](TObject* s) { Timer1Timer(s); };
    Timer1->SetEnabled(true);

    ShowCancellation = [](TfrmNota232B* dialog) { dialog->ShowModal(); };

    CenterForm(this);
    InstallNavigation(this);
    OnShow = [this](TObject* s) { FormShow(s); };
    OnClose = [](TObject*, TCloseAction& a) { a = caFree; };
    frmNota232 = this;
}

TfrmNota232::~TfrmNota232() {
    Timer1->SetEnabled(false);
    situation_.reset();
    if (frmNota232 == this) frmNota232 = nullptr;
}

void TfrmNota232::FormShow(TObject*) {
    cbMostrar->SetItemIndex(0);
    Mostra_Dados();
    mAmbiente->Lines()->Clear();
    for (const std::string& line : management_->Ambiente()) mAmbiente->Lines()->Add(line);
}

void TfrmNota232::Mostra_Dados() { management_->Mostra_Dados(cbMostrar->Text()); }

void TfrmNota232::Atualizar_Dados() { management_->Atualizar_Dados(); }

void TfrmNota232::Button1Click(TObject*) { management_->Transmitir(); }

void TfrmNota232::Button3Click(TObject*) { management_->ImprimirDanfe(); }

void TfrmNota232::Button4Click(TObject*) {
    if (situation_ && situation_->Waiting()) return;
    // The window stays live while the answer is awaited; it is shown when it comes.
    situation_ = management_->ConsultarSituacao(
        [](const std::string& text, const std::string& failure) {
            if (!failure.empty()) Box(failure, "Erro");
            else ShowMessage(text);
        },
        TimerWaitServices());
}

void TfrmNota232::Button5Click(TObject*) {
    if (!management_->PodeCancelar()) return;
    auto* dialog = new TfrmNota232B(Application);
    dialog->dsMain->SetDataSet(qryNota_Fiscal);
    ShowCancellation(dialog);
}

void TfrmNota232::Button2Click(TObject*) { Close(); }

void TfrmNota232::Button6Click(TObject*) {
    std::string typed;
    if (!InputQuery("Localizar NF", "Digite o número da NF", typed)) return;
    if (!management_->Localizar(typed)) ShowMessage("A Nota Fiscal \"" + typed + "\" não foi encontrada !");
    if (exDBGrid1->CanFocus()) exDBGrid1->SetFocus();
}

void TfrmNota232::SpeedButton1Click(TObject*) {
    dbeNumero_NFe->SelectAll();
    QApplication::clipboard()->setText(QString::fromStdString(dbeNumero_NFe->Text()));
}

void TfrmNota232::cbMostrarChange(TObject*) { Mostra_Dados(); }

void TfrmNota232::Timer1Timer(TObject*) {
    // Nothing listed before the form is first shown.
    if (!qryNota_Fiscal->Active()) return;
    Atualizar_Dados();
}

// ---------------------------------------------------------------------------
// TfrmNota232B

TfrmNota232B::TfrmNota232B(TComponent* AOwner) : TForm(AOwner) {
    SetName("frmNota232B");
    SetCaption("Cancelamento de NF-e");
    SetBorderStyle(bsDialog);
    SetPosition(poDesktopCenter);
    SetBounds(0, 0, 560, 380);

    dsMain = new TDataSource(this);
    dsMain->SetAutoEdit(false);
    auto field = [this](const std::string& name, const std::string& column, const std::string& caption, int top,
                        int width) { return ShownField(this, this, dsMain, name, column, caption, 12, top, width); };
    dbeNumero_NFe = field("dbeNumero_NFe", "numero_nfe", "Número NF-e", 12, 420);
    dbeNome_Fantasia = field("dbeNome_Fantasia", "nome_fantasia", "Fantasia", 40, 240);
    dbeProtocolo_NFe = field("dbeProtocolo_NFe", "protocolo_nfe", "Protocolo", 68, 240);
    dbeNome = field("dbeNome", "nome", "Nome", 96, 420);
    mMotivo = Place<TMemo>(this, this, "mMotivo", 110, 128, 420, 100);
    mMotivo->SetMaxLength(1000);
    PlaceLabel(this, this, "Motivo", 12, 132, mMotivo);
    auto* note = Place<TLabel>(this, this, "lblPrazo", 12, 236, 520, 36);
    note->SetWordWrap(true);
    note->SetAutoSize(false);
    note->SetCaption(" O prazo máximo de cancelamento de uma NF-e passa ser limitada em 7 dias (168 horas)");
    Button1 = Place<TButton>(this, this, "Button1", 330, 284, 100, 30);
    Button1->SetCaption("&Confirmar");
    Button1->OnClick = [this](TObject* s) { Button1Click(s); };
    Button2 = Place<TButton>(this, this, "Button2", 436, 284, 100, 30);
    Button2->SetCaption("Fec&har");
    Button2->SetCancel(true);
    Button2->OnClick = [this](TObject* s) { Button2Click(s); };
    StatusBar1 = new TStatusBar(this);
    StatusBar1->SetName("StatusBar1");
    StatusBar1->SetParent(this);
    StatusBar1->SetAlign(alBottom);
    StatusBar1->SetSimplePanel(true);

    // Whatever the wait ends with is told in a box: by then the server has
    // answered (or will not), so the line under it no longer says to wait.
    auto config = [this] {
        billing::nfe::NFeConfig c = Config();
        c.notify = [this, show = c.notify](const std::string& Text, const std::string& Caption) {
            StatusBar1->SetSimpleText("");
            if (show) show(Text, Caption);
        };
        return c;
    };
    cancellation_ = std::make_unique<billing::nfe::NFeCancellation>(*dmdb->ADOConnection, config, TimerWaitServices());
    cancellation_->OnFinished = [this] { Finished(); };

    InstallNavigation(this);
    OnShow = [this](TObject* s) { FormShow(s); };
    OnClose = [](TObject*, TCloseAction& a) { a = caFree; };
}

// Closing mid-wait ends the wait here: nothing is stored afterwards.
TfrmNota232B::~TfrmNota232B() { cancellation_.reset(); }

bool TfrmNota232B::Waiting() const { return cancellation_->Waiting(); }

void TfrmNota232B::FormShow(TObject*) { SetActiveControl(mMotivo); }

void TfrmNota232B::Button1Click(TObject*) {
    TDataSet* row = dsMain->DataSet();
    if (row == nullptr || !row->Active() || row->IsEmpty() || Waiting()) return;
    using Start = billing::nfe::NFeCancellation::Start;
    Start started = cancellation_->Confirmar(row->FieldByName("numero_nfe")->AsString(),
                                             row->FieldByName("protocolo_nfe")->AsString(), mMotivo->Text());
    if (started == Start::ReasonRefused) {
        if (mMotivo->CanFocus()) mMotivo->SetFocus();
        return;
    }
    if (started != Start::Waiting) return;
    StatusBar1->SetSimpleText("Comunicando servidor SEFAZ ... Aguarde !");
    Button1->SetEnabled(false);
    mMotivo->SetReadOnly(true);
}

void TfrmNota232B::Finished() {
    StatusBar1->SetSimpleText("");
    // An invoice window open behind shows the cancelled invoice as such.
    if (frmNota200 != nullptr) frmNota200->Core->Refresh();
    Button1->SetEnabled(true);
    mMotivo->SetReadOnly(false);
}

void TfrmNota232B::Button2Click(TObject*) {
    if (ModalResult() == mrNone && Visible()) SetModalResult(mrCancel);
    Close();
}
