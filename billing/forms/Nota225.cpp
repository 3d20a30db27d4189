#include "billing/forms/Nota225.h"

#include "billing/data/dmdbu.h"
#include "billing/forms/FormUtils.h"
#include "billing/forms/InformaSenha.h"
#include "billing/nfe/NFeServices.h"
#include "memtable/mtMemTable.h"

using namespace billing::forms;

TfrmNota225* frmNota225 = nullptr;

TfrmNota225::TfrmNota225(TComponent* AOwner) : TForm(AOwner) {
    SetName("frmNota225");
    SetCaption("Manutenção Manual (Master) - NOTA225");
    SetFormStyle(fsMDIChild);
    SetBorderStyle(bsSingle);
    SetBorderIcons(TBorderIcons{biSystemMenu, biMinimize});
    SetBounds(0, 0, 500, 330);

    auto* table = new TmtMemTable(this);
    table->SetName("tbTemp");
    table->FieldDefs()->Add("Id_serie_documento", ftInteger, 0);
    table->FieldDefs()->Add("id_nota_fiscal", ftInteger, 0);
    table->FieldDefs()->Add("nome_fantasia", ftString, 25);
    table->FieldDefs()->Add("protocolo_nfe", ftString, 50);
    table->FieldDefs()->Add("situacao_nfe", ftString, 15);
    table->FieldDefs()->Add("data_emissao", ftDate, 0);
    tbTemp = table;
    dsTemp = new TDataSource(this);
    dsTemp->SetDataSet(tbTemp);

    dbeId_Serie_Documento =
        PlaceDB<TDBEdit>(this, this, "dbeId_Serie_Documento", dsTemp, "Id_serie_documento", 110, 14, 60, 23);
    PlaceLabel(this, this, "Série:", 16, 18, dbeId_Serie_Documento);
    dbeId_Nota_Fiscal = PlaceDB<TDBEdit>(this, this, "dbeId_Nota_Fiscal", dsTemp, "id_nota_fiscal", 110, 44, 110, 23);
    PlaceLabel(this, this, "Número NF:", 16, 48, dbeId_Nota_Fiscal);
    Button1 = Place<TButton>(this, this, "Button1", 230, 42, 90, 27);
    Button1->SetCaption("L&ocalizar");
    Button1->OnClick = [this](TObject* s) { Button1Click(s); };
    DBEdit3 = PlaceDB<TDBEdit>(this, this, "DBEdit3", dsTemp, "nome_fantasia", 110, 74, 250, 23);
    DBEdit3->SetReadOnly(true);
    PlaceLabel(this, this, "Cliente:", 16, 78, DBEdit3);
    DBEdit4 = PlaceDB<TDBEdit>(this, this, "DBEdit4", dsTemp, "data_emissao", 110, 104, 110, 23);
    DBEdit4->SetReadOnly(true);
    PlaceLabel(this, this, "Emissão:", 16, 108, DBEdit4);
    dbeProtocolo_nfe = PlaceDB<TDBEdit>(this, this, "dbeProtocolo_nfe", dsTemp, "protocolo_nfe", 110, 134, 250, 23);
    PlaceLabel(this, this, "Protocolo:", 16, 138, dbeProtocolo_nfe);
    DBComboBox1 = PlaceDB<TDBComboBox>(this, this, "DBComboBox1", dsTemp, "situacao_nfe", 110, 164, 160, 23);
    DBComboBox1->SetStyle(csDropDownList);
    int count = 0;
    const char* const* states = billing::nfe::SituacoesCorrecao(&count);
    for (int i = 0; i < count; ++i) DBComboBox1->Items()->Add(states[i]);
    PlaceLabel(this, this, "Situação:", 16, 168, DBComboBox1);
    // The search beside the number is pressed by its letter; Tab goes on
    // through the fields and reaches it after them.
    Button1->SetTabOrder(DBComboBox1->TabOrder());
    auto* warning = Place<TLabel>(this, this, "lblAtencao", 16, 200, 468, 48);
    warning->SetWordWrap(true);
    warning->SetAutoSize(false);
    warning->SetCaption("Atenção:\nEsta rotina deve ser usada com extremo cuidado. Seu uso está autorizado somente "
                        "pelo responsável pelo Sistema.");
    btnNova = Place<TButton>(this, this, "btnNova", 188, 252, 95, 30);
    btnNova->SetCaption("&Nova");
    btnNova->OnClick = [this](TObject*) { Nova(); };
    btnOk = Place<TButton>(this, this, "btnOk", 289, 252, 95, 30);
    btnOk->SetCaption("&Salvar");
    btnOk->OnClick = [this](TObject* s) { btnOkClick(s); };
    btnCancel = Place<TButton>(this, this, "btnCancel", 390, 252, 95, 30);
    btnCancel->SetCaption("Fec&har");
    btnCancel->SetCancel(true);
    btnCancel->OnClick = [this](TObject* s) { btnCancelClick(s); };

    AskAccessCode = [](std::string& typed) {
        TfrmInformaSenha prompt(nullptr);
        if (prompt.ShowModal() != mrOk) return false;
        typed = prompt.edtSenha->Text();
        return true;
    };

    CenterForm(this);
    InstallNavigation(this);
    OnShow = [this](TObject* s) { FormShow(s); };
    OnClose = [](TObject*, TCloseAction& a) { a = caFree; };
    frmNota225 = this;
}

TfrmNota225::~TfrmNota225() {
    if (frmNota225 == this) frmNota225 = nullptr;
}

void TfrmNota225::FormShow(TObject*) {
    if (!tbTemp->Active()) tbTemp->Open();
    Nova();
    std::string typed;
    if (!AskAccessCode(typed)) {
        Close();
        return;
    }
    // Each wrong code only closes the form; nothing counts the attempts.
    if (!billing::nfe::SenhaMasterConfere(typed)) {
        Box("A senha informada está incorreta. 3 Tentativas e o Aplicativo será Bloqueado.", "Atenção");
        Close();
    }
}

void TfrmNota225::Lock(bool Found) {
    found_ = Found;
    dbeId_Serie_Documento->SetReadOnly(Found);
    dbeId_Nota_Fiscal->SetReadOnly(Found);
}

void TfrmNota225::Nova() {
    static_cast<TmtMemTable*>(tbTemp)->EmptyTable();
    tbTemp->Append();
    tbTemp->FieldByName("Id_serie_documento")->SetAsInteger(1);
    tbTemp->FieldByName("nome_fantasia")->SetAsString("?");
    Lock(false);
    if (dbeId_Nota_Fiscal->CanFocus()) dbeId_Nota_Fiscal->SetFocus();
}

void TfrmNota225::Button1Click(TObject*) {
    if (found_) return;  // locked until "Nova"
    if (tbTemp->State() == dsEdit || tbTemp->State() == dsInsert) tbTemp->UpdateRecord();
    if (tbTemp->State() == dsBrowse) tbTemp->Edit();
    tbTemp->FieldByName("nome_fantasia")->SetAsString("?");
    std::optional<billing::nfe::CorrecaoNFe> row = billing::nfe::LocalizarCorrecao(
        *dmdb->ADOConnection, tbTemp->FieldByName("Id_serie_documento")->AsInteger(),
        tbTemp->FieldByName("id_nota_fiscal")->AsInteger());
    if (!row) {
        ShowMessage("Nota Fiscal não encontrada");
        Nova();
        return;
    }
    tbTemp->FieldByName("nome_fantasia")->SetAsString(row->nome_fantasia);
    if (row->data_emissao != 0) tbTemp->FieldByName("data_emissao")->SetAsDateTime(row->data_emissao);
    tbTemp->FieldByName("protocolo_nfe")->SetAsString(row->protocolo);
    tbTemp->FieldByName("situacao_nfe")->SetAsString(row->situacao);
    foundSerie_ = row->serie;
    foundNumero_ = row->numero;
    Lock(true);
    if (dbeProtocolo_nfe->CanFocus()) dbeProtocolo_nfe->SetFocus();
}

void TfrmNota225::btnOkClick(TObject*) {
    if (!found_) {
        Box("Localize a Nota Fiscal antes de salvar a correção.", "Atenção");
        return;
    }
    if (tbTemp->State() == dsEdit || tbTemp->State() == dsInsert) tbTemp->UpdateRecord();
    billing::nfe::CorrecaoNFe row;
    row.serie = foundSerie_;
    row.numero = foundNumero_;
    row.protocolo = tbTemp->FieldByName("protocolo_nfe")->AsString();
    row.situacao = tbTemp->FieldByName("situacao_nfe")->AsString();
    if (billing::nfe::GravarCorrecao(*dmdb, row) == 0) {
        Box("Nenhuma Nota Fiscal foi alterada: a Nota Fiscal " + std::to_string(row.numero) + " da série " +
                std::to_string(row.serie) + " não existe mais.",
            "Atenção");
        return;
    }
    Nova();
}

void TfrmNota225::btnCancelClick(TObject*) { Close(); }
