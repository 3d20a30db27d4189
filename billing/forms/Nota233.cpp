#include "billing/forms/Nota233.h"

#include <filesystem>

#include "billing/data/dmdbu.h"
#include "billing/forms/AccountingExport.h"
#include "billing/forms/FormUtils.h"
#include "memtable/mtMemTable.h"
#include "platform/rtl/DateUtils.h"
#include "platform/rtl/Strings.h"

using namespace billing::forms;

TfrmNota233* frmNota233 = nullptr;

TfrmNota233::TfrmNota233(TComponent* AOwner) : TForm(AOwner) {
    SetName("frmNota233");
    SetCaption("Gerar Arquivo Center Contábeis - Nota233");
    SetFormStyle(fsMDIChild);
    SetBorderStyle(bsSingle);
    SetBorderIcons(TBorderIcons{biSystemMenu, biMinimize});
    SetBounds(0, 0, 500, 290);

    auto* table = new TmtMemTable(this);
    table->SetName("tbTemp");
    table->FieldDefs()->Add("Codigo_Empresa", ftInteger, 0);
    table->FieldDefs()->Add("Data_Inicial", ftDate, 0);
    table->FieldDefs()->Add("Data_Final", ftDate, 0);
    table->FieldDefs()->Add("Pasta_Salvar", ftString, 254);
    tbTemp = table;
    dsTemp = new TDataSource(this);
    dsTemp->SetName("dsTemp");
    dsTemp->SetDataSet(tbTemp);

    auto* banner = Place<TLabel>(this, this, "lblBanner", 16, 10, 460, 36);
    banner->SetAutoSize(false);
    banner->SetWordWrap(true);
    banner->SetFontBold(true);
    banner->SetCaption("Esta rotina gera o arquivo para Integração com o Sistema da Center Contábeis.");

    DBEdit1 = PlaceDB<TDBEdit>(this, this, "DBEdit1", dsTemp, "Codigo_Empresa", 130, 56, 90, 23);
    PlaceLabel(this, this, "Código Empresa", 16, 60, DBEdit1);
    auto* hint = PlaceLabel(this, this, "(Código Junto a Center Contábeis)", 230, 60);
    hint->SetFontColor(clRed);

    dbeData_Inicial =
        PlaceDB<TexDBDateTimePicker>(this, this, "dbeData_Inicial", dsTemp, "Data_Inicial", 130, 88, 120, 23);
    dbeData_Inicial->SetEpoch(1950);
    PlaceLabel(this, this, "Data Inicial", 16, 92, dbeData_Inicial);
    dbeData_Final = PlaceDB<TexDBDateTimePicker>(this, this, "dbeData_Final", dsTemp, "Data_Final", 130, 120, 120, 23);
    dbeData_Final->SetEpoch(1950);
    PlaceLabel(this, this, "Data Final", 16, 124, dbeData_Final);
    dbePasta_Salvar = PlaceDB<TexDBComboDlg>(this, this, "dbePasta_Salvar", dsTemp, "Pasta_Salvar", 130, 152, 340, 23);
    dbePasta_Salvar->OnCustomDlg = [this](TObject* s) { dbePasta_SalvarCustomDlg(s); };
    PlaceLabel(this, this, "Pasta Salvar", 16, 156, dbePasta_Salvar);

    btnOk = Place<TButton>(this, this, "btnOk", 284, 200, 90, 28);
    btnOk->SetCaption("&OK");
    btnOk->OnClick = [this](TObject* s) { btnOkClick(s); };
    btnCancel = Place<TButton>(this, this, "btnCancel", 380, 200, 90, 28);
    btnCancel->SetCaption("&Cancelar");
    btnCancel->SetCancel(true);
    btnCancel->OnClick = [this](TObject* s) { btnCancelClick(s); };

    ProgressBar = new TProgressBar(this);
    ProgressBar->SetName("ProgressBar");
    ProgressBar->SetParent(this);
    ProgressBar->SetAlign(alBottom);
    ProgressBar->SetVisible(false);

    CenterForm(this);
    InstallNavigation(this);
    OnShow = [this](TObject* s) { FormShow(s); };
    OnClose = [this](TObject* s, TCloseAction& a) { FormClose(s, a); };
    frmNota233 = this;
}

TfrmNota233::~TfrmNota233() {
    if (frmNota233 == this) frmNota233 = nullptr;
}

std::string TfrmNota233::ProgramFolder() {
    return std::filesystem::path(billing::data::AppFiles::CurrentExecutable()).parent_path().string() + "/";
}

void TfrmNota233::FormShow(TObject*) {
    if (!tbTemp->Active()) tbTemp->Open();
    if (tbTemp->IsEmpty() && tbTemp->State() == dsBrowse) tbTemp->Append();
    // The company code is empty and asked for first; the dates come filled.
    SetActiveControl(DBEdit1);
    tbTemp->FieldByName("Data_Inicial")->SetAsDateTime(Date());
    tbTemp->FieldByName("Data_Final")->SetAsDateTime(Date());
    tbTemp->FieldByName("Pasta_Salvar")->SetAsString(ProgramFolder());
}

void TfrmNota233::dbePasta_SalvarCustomDlg(TObject*) {
    std::string folder = Trim(dbePasta_Salvar->Text());
    if (!SelectDirectory("Selecione a Pasta", folder, folder)) return;
    if (tbTemp->State() == dsBrowse) tbTemp->Edit();
    tbTemp->FieldByName("Pasta_Salvar")->SetAsString(folder);
}

void TfrmNota233::btnOkClick(TObject*) {
    AccountingExportInput input;
    int code = 0;
    input.codigoEmpresa = TryStrToInt(Trim(DBEdit1->Text()), code) ? code : 0;
    if (!dbeData_Inicial->IsEmpty()) input.dataInicial = dbeData_Inicial->Date();
    if (!dbeData_Final->IsEmpty()) input.dataFinal = dbeData_Final->Date();
    input.pastaSalvar = dbePasta_Salvar->Text();

    AccountingExport exporter(*dmdb->ADOConnection, billing::data::Messages());
    exporter.OnProgress = [this](int Position, int Max) {
        ProgressBar->SetVisible(true);
        ProgressBar->SetMax(Max);
        ProgressBar->SetPosition(Position);
        Application->ProcessMessages();
    };
    struct Hide {
        TProgressBar* bar;
        ~Hide() {
            bar->SetPosition(0);
            bar->SetVisible(false);
        }
    } hide{ProgressBar};
    exporter.Run(input);
}

void TfrmNota233::btnCancelClick(TObject*) { Close(); }

void TfrmNota233::FormClose(TObject*, TCloseAction& Action) { Action = caFree; }
