#include "billing/forms/Nota110.h"

#include "billing/data/Utils.h"
#include "billing/data/dmdbu.h"
#include "billing/forms/FormUtils.h"
#include "billing/forms/RegisterExtras.h"
#include "platform/rtl/Strings.h"

using namespace billing::forms;

TfrmNota110* frmNota110 = nullptr;

TfrmNota110::TfrmNota110(TComponent* AOwner)
    : RegisterForm(AOwner, "Emitente - NOTA110", "emitente", "select * from emitente", "") {
    SetName("frmNota110");
    qryEmitente = qry;
    qryEmitente->SetName("qryEmitente");
    SetBounds(0, 0, 760, 470);
    // One row: only edit, save, undo and close.
    for (TDBButton* b : {btnInsert, btnDelete, btnFirst, btnPrior, btnNext, btnLast, DBButton2}) b->SetVisible(false);
    btnEdit->SetLeft(4);
    btnSave->SetLeft(81);
    btnCancel->SetLeft(158);
    DBButton1->SetLeft(235);

    auto edit = [this](const std::string& Field, const std::string& Caption, int Left, int Top, int Width) {
        return PlaceField<TDBEdit>(this, pnlDados, Field, Caption, Left, Top, Width);
    };
    dbeNome = edit("Nome", "Nome", 12, 8, 440);
    dbeNome_Fantasia = edit("Nome_Fantasia", "Nome Fantasia", 464, 8, 200);
    dbeCnpj = edit("Cnpj", "CNPJ", 12, 52, 150);
    dbeInscricao_Estadual = edit("Inscricao_Estadual", "Inscrição Estadual", 174, 52, 140);
    dbeInscricao_Estadual_ST =
        edit("Inscricao_Estadual_ST", "Inscrição Estadual (Subst. Tributário)", 326, 52, 230);
    dbeInscricao_Municipal = edit("Inscricao_Municipal", "Inscrição Municipal", 572, 52, 140);
    dbeEndereco = edit("Endereco", "Endereço", 12, 96, 380);
    dbeNumero_Endereco = edit("Numero_Endereco", "Número", 404, 96, 90);
    dbeBairro = edit("Bairro", "Bairro", 506, 96, 200);
    exDBComboDlg1 =
        PlaceField<TexDBComboDlg>(this, pnlDados, "Id_Municipio", "Município", 12, 140, 90, "exDBComboDlg1");
    PMunicipio = PlaceDescricao(this, pnlDados, "PMunicipio", 108, 140, 300);
    PUF = PlaceDescricao(this, pnlDados, "PUF", 414, 140, 40);
    dbeCep = edit("Cep", "CEP", 466, 140, 90);
    dbeTelefone = edit("Telefone", "Telefone", 12, 184, 120);
    dbeTelefax = edit("Telefax", "Telefax", 144, 184, 120);
    dbeEmail = edit("email", "eMail", 12, 228, 340);
    dbeWebsite = edit("website", "WebSite", 364, 228, 340);

    PlaceLabel(this, pnlDados, "Logotipo", 12, 272);
    pnlLogotipo = Place<TPanel>(this, pnlDados, "pnlLogotipo", 12, 288, 240, 90);
    pnlLogotipo->SetBevelOuter(bvLowered);
    imgLogoTipo = Place<TImage>(this, pnlLogotipo, "imgLogoTipo", 0, 0, 240, 90);
    imgLogoTipo->SetAlign(alClient);
    imgLogoTipo->SetCenter(true);
    imgLogoTipo->SetStretch(true);
    imgLogoTipo->SetProportional(true);
    btnSelecionar = Place<TButton>(this, pnlDados, "btnSelecionar", 264, 288, 100, 28);
    btnSelecionar->SetCaption("Selecion&ar...");
    btnLimpar = Place<TButton>(this, pnlDados, "btnLimpar", 264, 322, 100, 28);
    btnLimpar->SetCaption("Lim&par");
    btnSelecionar->OnClick = [this](TObject* s) { btnSelecionarClick(s); };
    btnLimpar->OnClick = [this](TObject* s) { btnLimparClick(s); };
    OpenDialog = NewLogoDialog(this);

    SetEdits(nullptr, dbeNome);
    DressFields(qry, {{"Cnpj", "##.###.###/####-##;0; ", ""},
                      {"Inscricao_Estadual", ">a#############;0; ", ""},
                      {"Inscricao_Estadual_ST", "##############;0; ", ""},
                      {"Cep", "#####-###;0; ", ""},
                      {"Telefone", kTelefoneMask, ""},
                      {"Telefax", kTelefoneMask, ""}});
    // An empty table gets its row, left for the user to fill in: posting
    // it at once would only meet the checks before the form could be used.
    TDataSetNotifyEvent dressed = qry->AfterOpen;
    qry->AfterOpen = [dressed](TDataSet* ds) {
        if (dressed) dressed(ds);
        if (ds->IsEmpty()) ds->Append();
    };
    // One row: nothing to follow on a scroll; the show displays it.
    qry->AfterScroll = nullptr;
    // The main window names the issuer as saved, at once.
    qry->AfterPost = [](TDataSet*) { dmdb->Mostra_Emitente(); };
    BindMunicipio(qry, exDBComboDlg1, PMunicipio, PUF);

    AddCheck("O Nome não foi informado.", [this] { return !Blank("nome"); });
    AddCheck("O CNPJ não foi informado.", [this] { return !Blank("cnpj"); });
    AddCheck("O CNPJ não é válido.", [this] { return ValidCgc(qry->FieldByName("cnpj")->AsString()); });
    AddCheck("A Inscrição Estadual não foi informada.", [this] { return !Blank("Inscricao_Estadual"); });
    AddCheck("O Endereço não foi informado.", [this] { return !Blank("endereco"); });
    AddCheck("O Número do Endereço não foi informado.", [this] { return !Blank("numero_endereco"); });
    AddCheck("O Município não foi informado.", [this] { return !Missing(PMunicipio); });

    OnShow = [this](TObject* s) { IssuerShow(s); };
    // The pattern's save question first; the main window then shows the
    // issuer as saved.
    auto baseClose = OnClose;
    OnClose = [this, baseClose](TObject* s, TCloseAction& a) {
        baseClose(s, a);
        if (a == caFree && dmdb->ADOConnection->Connected()) dmdb->Mostra_Emitente();
    };
    frmNota110 = this;
}

TfrmNota110::~TfrmNota110() {
    qry->AfterOpen = nullptr;
    qry->AfterPost = nullptr;
    if (frmNota110 == this) frmNota110 = nullptr;
}

void TfrmNota110::IssuerShow(TObject*) {
    if (!qry->Active()) qry->Open();
    bool editing = qry->State() == dsInsert || qry->State() == dsEdit;
    ChangeColor(this, editing);
    Mostra_Tudo();
    if (dbeNome->CanFocus()) dbeNome->SetFocus();
}

void TfrmNota110::btnSelecionarClick(TObject*) {
    if (EscolheLogotipo(qry, "arquivo_logotipo", OpenDialog)) Mostra_Logotipo();
}

void TfrmNota110::btnLimparClick(TObject*) {
    if (qry->State() != dsEdit && qry->State() != dsInsert) return;
    qry->FieldByName("arquivo_logotipo")->SetAsString("");
    Mostra_Logotipo();
}

void TfrmNota110::Mostra_Logotipo() { MostraLogotipo(qry, "arquivo_logotipo", imgLogoTipo, reportedLogo_); }

void TfrmNota110::Mostra_Municipio() {
    MostraMunicipio(qry->Active() ? qry->FieldByName("Id_Municipio") : nullptr, PMunicipio, PUF);
}

void TfrmNota110::Mostra_Tudo() {
    Mostra_Logotipo();
    Mostra_Municipio();
}
