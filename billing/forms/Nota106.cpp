#include "billing/forms/Nota106.h"

#include <algorithm>

#include <QFrame>
#include <QPlainTextEdit>

#include "billing/data/Utils.h"
#include "billing/forms/FormUtils.h"
#include "billing/forms/RegisterExtras.h"
#include "billing/forms/Pesquisa.h"
#include "platform/rtl/Strings.h"

using namespace billing::forms;

TfrmNota106* frmNota106 = nullptr;
TfrmNota106a* frmNota106a = nullptr;

bool Valida_CST(std::string_view Code) {
    std::string code = Trim(std::string(Code));
    if (code.size() != 3) return false;
    if (code[0] != '0' && code[0] != '1' && code[0] != '2') return false;
    static const char* const kTreatments[] = {"00", "10", "20", "30", "40", "41", "50", "51", "60", "70", "90"};
    std::string treatment = code.substr(1);
    for (const char* t : kTreatments)
        if (treatment == t) return true;
    return false;
}

TfrmNota106::TfrmNota106(TComponent* AOwner)
    : RegisterForm(AOwner, "Situação Tributária - NOTA106", "Situacao_Tributaria", kSql,
                   "Id_Situacao_Tributaria") {
    SetName("frmNota106");
    qrySituacao_Tributaria = qry;
    qrySituacao_Tributaria->SetName("qrySituacao_Tributaria");
    SetBounds(0, 0, 860, 200);
    dbeId_Situacao_Tributaria = PlaceLabeled<TDBEdit>(this, pnlDados, "dbeId_Situacao_Tributaria", dsMain, "Id_Situacao_Tributaria", "Código", 12, 110, 12, 50);
    dbeId_Situacao_Tributaria->OnExit = [this](TObject* s) { dbeId_Situacao_TributariaExit(s); };
    dbeDescricao = PlaceLabeled<TDBEdit>(this, pnlDados, "dbeDescricao", dsMain, "Descricao", "Descrição", 12, 110, 40, 400);
    // The help beside the code it explains, by its letter; Tab reaches it
    // after the description, so that the space of a description typed after
    // the code never presses it.
    SpeedButton1 = Place<TButton>(this, pnlDados, "SpeedButton1", 166, 12, 60, 23);
    SpeedButton1->SetCaption("Aj&uda");
    SpeedButton1->SetWidth(std::max(SpeedButton1->Width(), SpeedButton1->FittingWidth()));
    SpeedButton1->SetHint("Ajuda da tabela de CST");
    SpeedButton1->OnClick = [this](TObject* s) { SpeedButton1Click(s); };
    SetEdits(dbeId_Situacao_Tributaria, dbeDescricao);
    DressFields(qry, {{"Id_Situacao_Tributaria", "999;0; ", ""}});

    AddCheck("O Código da CST é inválido, verifique a ajuda da tabela.",
             [this] { return Valida_CST(qry->FieldByName("id_situacao_tributaria")->AsString()); });
    AddCheck("A Descrição não foi informada.", [this] { return !Blank("descricao"); });
    AddCheck("O Código da Situação Tributária deve ter 3 digítos.",
             [this] { return Length(Trim(qry->FieldByName("id_situacao_tributaria")->AsString())) == 3; });
    AddUniqueKey("id_situacao_tributaria", "O Código de CST ");
    // Bound as the stored text: "010" must find the items that hold "010".
    AddDeleteRefusal(kCountSql,
                     " Item(s) de Nota(s) Fiscai(s) com esta Situação Tributária. Não pode Excluir.");
    frmNota106 = this;
}

TfrmNota106::~TfrmNota106() {
    if (frmNota106 == this) frmNota106 = nullptr;
}

std::string TfrmNota106::Search() { return Pesquisa_Situacao_Tributaria(); }

void TfrmNota106::dbeId_Situacao_TributariaExit(TObject*) {
    if (qry->State() != dsInsert) return;
    std::string text = Trim(dbeId_Situacao_Tributaria->Text());
    int value = 0;
    if (text.empty() || !TryStrToInt(text, value)) return;
    qry->FieldByName("id_situacao_tributaria")->SetAsString(IntToStrZero(value, 3));
}

void TfrmNota106::SpeedButton1Click(TObject*) {
    auto* help = new TfrmNota106a(Application);
    help->ShowModal();
    delete help;
}

// ---------------------------------------------------------------------------
// TfrmNota106a

const char* const TfrmNota106a::kText =
    "Códigos de Situação Tributária (CST)\n"
    "\n"
    "O código da situação tributária será composto de três dígitos, onde o 1° dígito indicará a origem da "
    "mercadoria, com base na Tabela A e os dois últimos dígitos a tributação pelo ICMS, com base na Tabela B.\n"
    "\n"
    "Tabela A - Origem da Mercadoria\n"
    "0 - Nacional\n"
    "1 - Estrangeira - Importação Direta\n"
    "2 - Estrangeira - Adquirida no mercado interno\n"
    "\n"
    "Tabela B - Tributação pelo ICMS\n"
    "00 - Tributada Integralmente\n"
    "10 - Tributada e com cobrança do ICMS por substituição tributária\n"
    "20 - Com redução de base de cálculo\n"
    "30 - Isenta ou não tributada e com cobrança do ICMS por substituição tributária\n"
    "40 - Isenta\n"
    "41 - Não tributada\n"
    "50 - Suspensão\n"
    "51 - Diferimento\n"
    "60 - ICMS cobrado anteriormente por substituição tributária\n"
    "70 - Com redução de base de cálculo e cobrança do ICMS por substituição tributária\n"
    "90 - Outras";

TfrmNota106a::TfrmNota106a(TComponent* AOwner) : TForm(AOwner) {
    SetName("frmNota106a");
    SetCaption("Ajuda CST - NOTA106A");
    SetBorderStyle(bsDialog);
    SetPosition(poDesktopCenter);
    SetBounds(0, 0, 620, 520);
    SetColor(kColor);
    RichEdit1 = Place<TMemo>(this, this, "RichEdit1", 12, 12, 596, 450);
    RichEdit1->SetReadOnly(true);
    RichEdit1->SetWordWrap(true);
    RichEdit1->SetColor(kColor);
    RichEdit1->TextEdit()->setFrameStyle(QFrame::NoFrame);
    RichEdit1->SetText(kText);
    Button1 = Place<TButton>(this, this, "Button1", 266, 476, 88, 30);
    Button1->SetCaption("Fec&har");
    Button1->SetCancel(true);
    Button1->OnClick = [this](TObject* s) { Button1Click(s); };
    OnClose = [this](TObject* s, TCloseAction& a) { FormClose(s, a); };
    frmNota106a = this;
}

TfrmNota106a::~TfrmNota106a() {
    if (frmNota106a == this) frmNota106a = nullptr;
}

void TfrmNota106a::Button1Click(TObject*) { Close(); }

void TfrmNota106a::FormClose(TObject*, TCloseAction& Action) { Action = caFree; }
