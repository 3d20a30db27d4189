#include "billing/forms/Nota116.h"

#include "billing/forms/FormUtils.h"
#include "billing/forms/RegisterExtras.h"
#include "platform/rtl/Strings.h"

using namespace billing::forms;

TfrmNota116* frmNota116 = nullptr;

TfrmNota116::TfrmNota116(TComponent* AOwner)
    : RegisterForm(AOwner, "Códigos Febraban  - NOTA116", "Febraban", kSql, "Id_Febraban") {
    SetName("frmNota116");
    qryFebraban = qry;
    qryFebraban->SetName("qryFebraban");
    SetBounds(0, 0, 860, 400);
    PageControl1 = PlacePages();
    TTabSheet* geral = AddPage(PageControl1, "&Geral");
    int n = 0;
    for (const char* caption : {"Instr&uções Bancárias", "&Ocorrências Retorno", "Espécie &Títulos", "T&ipo Moeda"}) {
        auto* grid = Place<TexDBGrid>(this, AddPage(PageControl1, caption), "exDBGrid" + std::to_string(++n), 8, 8, 820, 290);
        grid->SetReadOnly(true);
    }
    auto edit = [this, geral](const char* name, const char* field, const char* caption, int top, int width) {
        return PlaceLabeled<TDBEdit>(this, geral, name, dsMain, field, caption, 12, 100, top, width);
    };
    dbeId_Febraban = edit("dbeId_Febraban", "id_febraban", "Código", 12, 60);
    dbeNome = edit("dbeNome", "Nome", "Nome", 40, 400);
    dbeNome_Fantasia = edit("dbeNome_Fantasia", "Nome_Fantasia", "Fantasia", 68, 240);
    PlaceLabel(this, geral, "Logotipo", 12, 100);
    auto* frame = Place<TPanel>(this, geral, "pnlLogotipo", 100, 100, 240, 160);
    imgLogotipo = Place<TImage>(this, frame, "imgLogotipo", 0, 0, 240, 160);
    imgLogotipo->SetAlign(alClient);
    imgLogotipo->SetCenter(true);
    imgLogotipo->SetProportional(true);
    imgLogotipo->SetStretch(true);
    Button3 = Place<TButton>(this, geral, "Button3", 350, 100, 100, 28);
    Button3->SetCaption("Selecion&ar...");
    Button3->OnClick = [this](TObject* s) { Button3Click(s); };
    Button4 = Place<TButton>(this, geral, "Button4", 350, 134, 100, 28);
    Button4->SetCaption("Lim&par");
    Button4->OnClick = [this](TObject* s) { Button4Click(s); };
    OpenDialog = NewLogoDialog(this);
    // The edit button puts the focus on the (then read-only) code.
    SetEdits(dbeId_Febraban, dbeId_Febraban);
    WithoutSearch();
    auto baseShow = OnShow;
    OnShow = [this, baseShow](TObject* s) {
        baseShow(s);
        PageControl1->SetActivePageIndex(0);
    };
    frmNota116 = this;
}

TfrmNota116::~TfrmNota116() {
    if (frmNota116 == this) frmNota116 = nullptr;
}

void TfrmNota116::Button3Click(TObject*) {
    if (EscolheLogotipo(qry, "arquivo_logotipo", OpenDialog)) Mostra_Logotipo();
}

void TfrmNota116::Button4Click(TObject*) {
    if (qry->State() != dsEdit && qry->State() != dsInsert) return;
    qry->FieldByName("arquivo_logotipo")->SetAsString("");
    Mostra_Logotipo();
}

void TfrmNota116::Mostra_Logotipo() { MostraLogotipo(qry, "arquivo_logotipo", imgLogotipo, reportedLogo_); }
