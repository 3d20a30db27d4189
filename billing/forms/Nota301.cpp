#include "billing/forms/Nota301.h"

#include "billing/data/dmdbu.h"
#include "billing/forms/FormUtils.h"
#include "billing/forms/ProductListing.h"
#include "memtable/mtMemTable.h"
#include "platform/rtl/Strings.h"

using namespace billing::forms;

TfrmNota301* frmNota301 = nullptr;

TfrmNota301::TfrmNota301(TComponent* AOwner) : TForm(AOwner) {
    SetName("frmNota301");
    SetCaption("Relatório Produtos - NOTA301");
    SetFormStyle(fsMDIChild);
    SetBorderStyle(bsSingle);
    SetBorderIcons(TBorderIcons{biSystemMenu, biMinimize});
    SetBounds(0, 0, 330, 170);

    auto* table = new TmtMemTable(this);
    table->SetName("tbTemp");
    table->FieldDefs()->Add("Id_Produto_Inicial", ftString, 9);
    table->FieldDefs()->Add("Id_Produto_Final", ftString, 9);
    tbTemp = table;
    dsTemp = new TDataSource(this);
    dsTemp->SetName("dsTemp");
    dsTemp->SetDataSet(tbTemp);

    DBEdit1 = PlaceDB<TDBEdit>(this, this, "DBEdit1", dsTemp, "Id_Produto_Inicial", 130, 20, 150, 23);
    PlaceLabel(this, this, "Produto Inicial", 16, 24, DBEdit1);
    DBEdit2 = PlaceDB<TDBEdit>(this, this, "DBEdit2", dsTemp, "Id_Produto_Final", 130, 52, 150, 23);
    PlaceLabel(this, this, "Produto Final", 16, 56, DBEdit2);

    Say1 = new TSay(this);
    Say1->SetName("Say1");
    Say1->SetPreviewReadOnly(true);

    qryEmitente = new TSQLQuery(this);
    qryEmitente->SetName("qryEmitente");
    qryEmitente->SetConnection(dmdb->ADOConnection);
    qryEmitente->SetSQL("select * from emitente");
    dsEmitente = new TDataSource(this);
    dsEmitente->SetName("dsEmitente");
    dsEmitente->SetDataSet(qryEmitente);

    Button1 = Place<TButton>(this, this, "Button1", 120, 100, 90, 28);
    Button1->SetCaption("&OK");
    Button1->OnClick = [this](TObject* s) { Button1Click(s); };
    Button2 = Place<TButton>(this, this, "Button2", 216, 100, 90, 28);
    Button2->SetCaption("&Cancelar");
    Button2->SetCancel(true);  // Esc
    Button2->OnClick = [this](TObject* s) { Button2Click(s); };

    CenterForm(this);
    InstallNavigation(this);
    OnShow = [this](TObject* s) { FormShow(s); };
    OnClose = [this](TObject* s, TCloseAction& a) { FormClose(s, a); };
    frmNota301 = this;
}

TfrmNota301::~TfrmNota301() {
    if (frmNota301 == this) frmNota301 = nullptr;
}

void TfrmNota301::FormShow(TObject*) {
    if (!tbTemp->Active()) tbTemp->Open();
    if (tbTemp->IsEmpty() && tbTemp->State() == dsBrowse) tbTemp->Append();
    std::string mask = dmdb->Get_Var("mascara_produto");
    tbTemp->FieldByName("Id_Produto_Inicial")->SetEditMask(mask);
    tbTemp->FieldByName("Id_Produto_Final")->SetEditMask(mask);
    tbTemp->FieldByName("Id_Produto_Inicial")->SetAsString("1");
    tbTemp->FieldByName("Id_Produto_Final")->SetAsString("999999999");
    SetActiveControl(DBEdit1);
}

void TfrmNota301::Button1Click(TObject*) {
    // What is typed but not yet written into the row counts.
    std::string from = Trim(DBEdit1->Text());
    std::string to = Trim(DBEdit2->Text());
    if (CompareStr(from, to) > 0) {
        Box("Código Produto Inicial maior que o Final.", "Atenção");
        return;
    }
    Gera_Relatorio();
}

void TfrmNota301::Button2Click(TObject*) { Close(); }

void TfrmNota301::Gera_Relatorio() {
    std::vector<ProductRow> rows =
        ReadProducts(*dmdb->ADOConnection, Trim(DBEdit1->Text()), Trim(DBEdit2->Text()));
    if (rows.empty()) {
        Box("Não existem produtos para solicitação de intervalo.", "Atenção");
        return;
    }
    Say1->SetPreviewReadOnly(true);
    if (!Say1->StartReport()) {
        Box("Não foi possível criar o arquivo do relatório na pasta \"" + Say1->WorkFolder() + "\".", "Erro",
            mtError);
        return;
    }
    WriteProductListing(*Say1, rows, dmdb->Get_Var("mascara_produto"));
    Say1->Preview();
}

void TfrmNota301::FormClose(TObject*, TCloseAction& Action) {
    dmdb->Mostra_Emitente();
    Action = caFree;
}
