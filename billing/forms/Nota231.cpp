#include "billing/forms/Nota231.h"

#include "billing/data/dmdbu.h"
#include "billing/forms/FormUtils.h"
#include "billing/forms/NFeWaits.h"
#include "billing/nfe/NFeError.h"
#include "billing/nfe/NFeLoader.h"
#include "billing/nfe/NFeServices.h"
#include "billing/nfe/NFeSettings.h"
#include "billing/nfe/Requests.h"
#include "memtable/mtMemTable.h"
#include "platform/rtl/Strings.h"

using namespace billing::forms;

TfrmNota231* frmNota231 = nullptr;

TfrmNota231::TfrmNota231(TComponent* AOwner) : TForm(AOwner) {
    SetName("frmNota231");
    SetCaption("Inutilizar Faixa Numeração NF-e - NOTA231");
    SetFormStyle(fsMDIChild);
    SetBorderStyle(bsSingle);
    SetBorderIcons(TBorderIcons{biSystemMenu, biMinimize});
    SetBounds(0, 0, 520, 380);

    auto* table = new TmtMemTable(this);
    table->SetName("tbTemp");
    table->FieldDefs()->Add("Id_serie_documento", ftInteger, 0);
    table->FieldDefs()->Add("Numero_Inicial", ftInteger, 0);
    table->FieldDefs()->Add("Numero_Final", ftInteger, 0);
    table->FieldDefs()->Add("Motivo", ftMemo, 0);
    tbTemp = table;
    tbTemp->AfterOpen = [](TDataSet* ds) {
        static_cast<TNumericField*>(ds->FieldByName("Id_serie_documento"))->SetDisplayFormat("##0");
        static_cast<TNumericField*>(ds->FieldByName("Numero_Inicial"))->SetDisplayFormat("###,###,##0");
        static_cast<TNumericField*>(ds->FieldByName("Numero_Final"))->SetDisplayFormat("###,###,##0");
    };
    dsTemp = new TDataSource(this);
    dsTemp->SetDataSet(tbTemp);

    auto* intro = Place<TLabel>(this, this, "lblInforme", 16, 12, 488, 20);
    intro->SetCaption("Informe abaixo a série e os números iniciais e finais da faixa a ser inutilizada.");
    dbeId_Serie_Documento =
        PlaceDB<TDBEdit>(this, this, "dbeId_Serie_Documento", dsTemp, "Id_serie_documento", 170, 44, 60, 23);
    PlaceLabel(this, this, "Série Nota Fiscal", 16, 48, dbeId_Serie_Documento);
    DBEdit2 = PlaceDB<TDBEdit>(this, this, "DBEdit2", dsTemp, "Numero_Inicial", 170, 74, 110, 23);
    PlaceLabel(this, this, "Inutilizar do Número", 16, 78, DBEdit2);
    DBEdit3 = PlaceDB<TDBEdit>(this, this, "DBEdit3", dsTemp, "Numero_Final", 170, 104, 110, 23);
    PlaceLabel(this, this, "ao Número", 16, 108, DBEdit3);
    dbeMotivo = PlaceDB<TDBMemo>(this, this, "dbeMotivo", dsTemp, "Motivo", 16, 160, 488, 100);
    PlaceLabel(this, this, "Motivo", 16, 140, dbeMotivo);
    PlaceLabel(this, this, "[ Motivo com minímo 15 caracteres ]  ", 200, 140);
    // Enter breaks lines inside the reason instead of moving on.
    dbeMotivo->OnEnter = [this](TObject*) { SetKeyPreview(false); };
    dbeMotivo->OnExit = [this](TObject*) { SetKeyPreview(true); };
    // The memo keeps Enter for its lines, not Esc: the window closes.
    dbeMotivo->OnKeyDown = [this](TObject*, Word& Key, TShiftState Shift) {
        if (Key != VK_ESCAPE || !Shift.Empty()) return;
        Key = 0;
        Close();
    };
    auto* warning = Place<TLabel>(this, this, "lblAtencao", 16, 270, 488, 20);
    warning->SetCaption("Atenção: Utilize esta rotina com extremo cuidado.");
    Button1 = Place<TButton>(this, this, "Button1", 308, 300, 95, 30);
    Button1->SetCaption("&Inutilizar");
    Button1->OnClick = [this](TObject* s) { Button1Click(s); };
    Button2 = Place<TButton>(this, this, "Button2", 409, 300, 95, 30);
    Button2->SetCaption("Fec&har");
    Button2->SetCancel(true);
    Button2->OnClick = [this](TObject* s) { Button2Click(s); };

    CenterForm(this);
    InstallNavigation(this);
    OnShow = [this](TObject* s) { FormShow(s); };
    OnClose = [](TObject*, TCloseAction& a) { a = caFree; };
    frmNota231 = this;
}

TfrmNota231::~TfrmNota231() {
    wait_.reset();
    if (frmNota231 == this) frmNota231 = nullptr;
}

void TfrmNota231::FormShow(TObject*) {
    if (!tbTemp->Active()) tbTemp->Open();
    if (tbTemp->IsEmpty() && tbTemp->State() == dsBrowse) tbTemp->Append();
    SetActiveControl(dbeId_Serie_Documento);
}

void TfrmNota231::Button1Click(TObject*) {
    if (Waiting()) return;
    if (tbTemp->State() == dsEdit || tbTemp->State() == dsInsert) tbTemp->UpdateRecord();
    billing::nfe::Inutilizacao pedido;
    pedido.serie = tbTemp->FieldByName("Id_serie_documento")->AsInteger();
    pedido.inicial = tbTemp->FieldByName("Numero_Inicial")->AsInteger();
    pedido.final = tbTemp->FieldByName("Numero_Final")->AsInteger();
    pedido.motivo = Trim(tbTemp->FieldByName("Motivo")->AsString());
    std::string reason = billing::nfe::MotivoInutilizacaoInvalido(pedido.motivo);
    if (!reason.empty()) {
        Box(reason, "Atenção");
        if (dbeMotivo->CanFocus()) dbeMotivo->SetFocus();
        return;
    }
    std::string errors = billing::nfe::ErrosInutilizacao(*dmdb->ADOConnection, pedido);
    if (!errors.empty()) {
        Box("Foram identificados erros, por favor corrija: \r\n\r\n" + errors, "Atenção");
        return;
    }
    if (!AskYesNo(billing::nfe::PerguntaInutilizacao(pedido), "Inutilizar")) return;
    try {
        const billing::nfe::NFeConfig config = billing::nfe::Config_NFe(*dmdb);
        std::string identifier;
        billing::nfe::Inutilizar_NFE(*dmdb->ADOConnection, config, pedido.serie, pedido.inicial, pedido.final,
                                     pedido.motivo, &identifier);
        wait_ = billing::nfe::Aguardar_Inutilizacao(
            *dmdb->ADOConnection, config, pedido, identifier,
            [this](const std::vector<billing::nfe::PollerMessage>& shown, bool voided) { Answered(shown, voided); },
            TimerWaitServices());
        Button1->SetEnabled(false);
    } catch (const billing::nfe::ENFeError& e) {
        Box(e.Message(), "Erro");
    }
}

void TfrmNota231::Answered(const std::vector<billing::nfe::PollerMessage>& Shown, bool Voided) {
    Button1->SetEnabled(true);
    for (const billing::nfe::PollerMessage& m : Shown)
        Box(m.text, m.caption,
            m.caption == "Sucesso" ? mtInformation : m.caption == "Erro" ? mtError : mtWarning);
    if (Voided) ClearVoidedRange();
}

void TfrmNota231::ClearVoidedRange() {
    // The range is spent: the next Enter must not send it again. The series
    // and the reason stay for the next range.
    if (tbTemp->State() == dsBrowse) tbTemp->Edit();
    for (const char* field : {"Numero_Inicial", "Numero_Final"}) tbTemp->FieldByName(field)->Clear();
    if (DBEdit2->CanFocus()) DBEdit2->SetFocus();
}

void TfrmNota231::Button2Click(TObject*) { Close(); }
