#include "billing/forms/Sobre.h"

#include "billing/forms/FormUtils.h"

using namespace billing::forms;

TfrmSobre::TfrmSobre(TComponent* AOwner) : TForm(AOwner) {
    SetName("frmSobre");
    std::string title = Application != nullptr ? Application->Title() : std::string();
    SetCaption("Sobre o " + title);
    SetBorderStyle(bsDialog);
    SetPosition(poDesktopCenter);
    SetBounds(0, 0, 440, 172);
    lblNomeAplicativo = PlaceLabel(this, this, title, 16, 16);
    lblNomeAplicativo->SetName("lblNomeAplicativo");
    lblNomeAplicativo->SetFontBold(true);
    lblNomeAplicativo->SetFontSize(12);
    auto* text = Place<TLabel>(this, this, "lblDescricao", 16, 56, 400, 60);
    text->SetAutoSize(false);
    text->SetWordWrap(true);
    text->SetCaption("Digitação, Validação, Envio e Impressão da Nota Fiscal e seus Documentos Legais. ");
    Button1 = Place<TButton>(this, this, "Button1", 330, 130, 90, 28);
    Button1->SetCaption("&OK");
    Button1->SetDefault(true);
    Button1->SetCancel(true);
    Button1->SetModalResult(mrOk);
}
