#include "billing/forms/Nota221.h"

#include "billing/data/dmdbu.h"
#include "billing/forms/FormUtils.h"

using namespace billing::forms;

TfrmNota221* frmNota221 = nullptr;

TfrmNota221::TfrmNota221(TComponent* AOwner) : TForm(AOwner) {
    SetName("frmNota221");
    SetCaption("Log de Usuário - NOTA221");
    SetFormStyle(fsMDIChild);
    SetBorderStyle(bsSingle);
    SetBorderIcons(TBorderIcons{biSystemMenu, biMinimize});
    SetBounds(0, 0, 720, 460);

    qryLog_Usuario = new TSQLQuery(this);
    qryLog_Usuario->SetName("qryLog_Usuario");
    qryLog_Usuario->SetConnection(dmdb->ADOConnection);
    qryLog_Usuario->SetSQL(
        "SELECT Usuario_Log.*, Programa.Tipo, Programa.Descricao as Programa_Descricao\n"
        "FROM Programa INNER JOIN Usuario_Log ON Programa.Id_Programa = Usuario_Log.Id_Programa\n"
        "ORDER BY Usuario_Log.Data, Usuario_Log.Hora;");
    dsMain = new TDataSource(this);
    dsMain->SetAutoEdit(false);
    dsMain->SetDataSet(qryLog_Usuario);

    exDBGrid1 = Place<TexDBGrid>(this, this, "exDBGrid1", 8, 8, 700, 300);
    exDBGrid1->SetDataSource(dsMain);
    exDBGrid1->SetReadOnly(true);
    Stretch(exDBGrid1);
    exDBGrid1->AddColumn("Id_Usuario", "Usuário", 140);
    exDBGrid1->AddColumn("Data", "Data", 90);
    exDBGrid1->AddColumn("Hora", "Hora", 70);
    exDBGrid1->AddColumn("Id_Programa", "Programa", 100);
    exDBGrid1->AddColumn("Programa_Descricao", "Função do Programa", 240);
    dbmDescricao = PlaceDB<TDBMemo>(this, this, "dbmDescricao", dsMain, "Descricao", 8, 334, 600, 80);
    dbmDescricao->SetReadOnly(true);
    dbmDescricao->SetAnchors(TAnchors{akLeft, akRight, akBottom});
    PlaceLabel(this, this, "Ação Executada", 8, 316, dbmDescricao)->SetAnchors(TAnchors{akLeft, akBottom});
    Button1 = Place<TButton>(this, this, "Button1", 618, 384, 90, 28);
    Button1->SetCaption("&Cancelar");
    Button1->SetCancel(true);
    Button1->SetAnchors(TAnchors{akRight, akBottom});
    Button1->OnClick = [this](TObject* s) { Button1Click(s); };

    CenterForm(this);
    InstallNavigation(this);
    OnShow = [this](TObject* s) { FormShow(s); };
    OnClose = [](TObject*, TCloseAction& a) { a = caFree; };
    frmNota221 = this;
}

TfrmNota221::~TfrmNota221() {
    if (frmNota221 == this) frmNota221 = nullptr;
}

void TfrmNota221::FormShow(TObject*) {
    if (!qryLog_Usuario->Active()) qryLog_Usuario->Open();
    qryLog_Usuario->Last();
}

void TfrmNota221::Button1Click(TObject*) { Close(); }
